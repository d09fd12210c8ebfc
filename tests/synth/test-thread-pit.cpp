/* test-thread-pit.cpp: worker pool, CPU detection and floating-point mode */
#include "vorn-cpu.h"
#include "vorn-thread-pit.h"
#include "vorn-test-log.h"

#include <xmmintrin.h>

#include <atomic>
#include <set>

namespace {

constexpr unsigned MXCSR_DAZ = 1u << 6;
constexpr unsigned MXCSR_FTZ = 1u << 15;

struct Job {
  std::atomic<int> hits{0};
  int fragment = -1;
  unsigned mxcsr = 0;
  bool flushed = false;
};
struct Workers {
  std::atomic<int> started{0}, exited{0};
};

/* The worker loop the renderer uses: take, process, give back. */
gpointer
job_worker (gpointer data)
{
  auto *pit = static_cast<VornThreadPit *> (data);
  auto *w = static_cast<Workers *> (pit->user_data);

  w->started++;
  while (auto *job = static_cast<Job *> (vorn_thread_pit_catch_prey (pit)))
    {
      job->hits++;
      job->mxcsr = _mm_getcsr ();
      /* A denormal input (DAZ) and a denormal result (FTZ) both give 0. */
      volatile float denormal = 1e-40f, small = 1e-30f;
      job->flushed = denormal * 1.0f == 0.0f && small * 1e-10f == 0.0f;
      vorn_msg_queue_push (pit->done, &job);
    }
  w->exited++;
  return nullptr;
}

void
wait_started (const Workers &w, int n)
{
  while (w.started.load () < n)
    g_thread_yield ();
}

/* Hands @jobs out as one batch; counts those not handed out or back twice. */
int
run_fragment (VornThreadPit *pit, Job *jobs, int count, int fragment)
{
  vorn_msg_queue_lock (pit->prey);
  for (int i = 0; i < count; i++)
    {
      jobs[i].fragment = fragment;
      jobs[i].hits = 0;
      Job *p = &jobs[i];
      vorn_msg_queue_push_unlocked (pit->prey, &p);
    }
  vorn_msg_queue_unlock (pit->prey);

  std::set<Job *> back;
  int bad = 0;
  for (int i = 0; i < count; i++)
    {
      auto *job = static_cast<Job *> (vorn_thread_pit_wait_done (pit));
      bad += job < jobs || job >= jobs + count || job->fragment != fragment
             || !back.insert (job).second;
    }
  for (int i = 0; i < count; i++)
    bad += jobs[i].hits.load () != 1;
  return bad;
}

/* Clears FTZ and DAZ here so workers cannot pass by inheriting this mode. */
struct PlainFloatMode {
  unsigned saved = _mm_getcsr ();
  PlainFloatMode () { _mm_setcsr (saved & ~(MXCSR_DAZ | MXCSR_FTZ)); }
  ~PlainFloatMode () { _mm_setcsr (saved); }
};

} // namespace

TEST (ThreadPit, EveryItemExactlyOnceWithFlushToZero)
{
  PlainFloatMode plain;
  constexpr int CAPACITY = 16;
  Workers w;
  VornThreadPit *pit = vorn_thread_pit_new (job_worker, &w, 3, CAPACITY);

  Job jobs[CAPACITY];
  int bad = 0, not_flushing = 0;
  for (int f = 0; f < 2000; f++)
    {
      int count = (f * 7) % (CAPACITY + 1);
      bad += run_fragment (pit, jobs, count, f);
      for (int i = 0; i < count; i++)
        not_flushing += (jobs[i].mxcsr & (MXCSR_DAZ | MXCSR_FTZ)) != (MXCSR_DAZ | MXCSR_FTZ) || !jobs[i].flushed;
    }
  EXPECT_EQ (bad, 0);
  EXPECT_EQ (not_flushing, 0);
  EXPECT_EQ (_mm_getcsr () & (MXCSR_DAZ | MXCSR_FTZ), 0u)
      << "workers must not change the creating thread's mode";

  vorn_thread_pit_free (pit);
  EXPECT_EQ (w.exited.load (), 3);
}

TEST (ThreadPit, FreeFinishesQueuedWork)
{
  /* With the queue full the stop signals have to wait for room. */
  constexpr int N = 8;
  Workers busy;
  Job jobs[N];
  VornThreadPit *pit = vorn_thread_pit_new (job_worker, &busy, 2, N);
  for (Job *p = jobs; p < jobs + N; p++)
    ASSERT_TRUE (vorn_msg_queue_push (pit->prey, &p));
  vorn_thread_pit_free (pit);
  EXPECT_EQ (busy.exited.load (), 2);
  for (Job &job : jobs)
    EXPECT_EQ (job.hits.load (), 1);
}

TEST (ThreadPit, SetCount)
{
  Workers w;
  Job jobs[8];
  VornThreadPit *pit = vorn_thread_pit_new (job_worker, &w, 4, 8);
  wait_started (w, 4);

  /* Shrinking replaces every worker. */
  vorn_thread_pit_set_count (pit, 2);
  EXPECT_EQ (w.exited.load (), 4);
  EXPECT_EQ (pit->thread_count, 2);
  wait_started (w, 6);
  EXPECT_EQ (run_fragment (pit, jobs, 8, 0), 0);

  /* Growing keeps the running ones. */
  GThread *first[2] = {pit->threads[0], pit->threads[1]};
  vorn_thread_pit_set_count (pit, 4);
  EXPECT_TRUE (pit->threads[0] == first[0] && pit->threads[1] == first[1]);
  wait_started (w, 8);
  EXPECT_EQ (w.exited.load (), 4);
  EXPECT_EQ (run_fragment (pit, jobs, 8, 1), 0);

  vorn_thread_pit_free (pit);
  EXPECT_EQ (w.started.load (), 8);
  EXPECT_EQ (w.exited.load (), 8);
}

TEST (Cpu, DetectionMatchesCompiler)
{
  __builtin_cpu_init ();
  VornSimd expected = __builtin_cpu_supports ("avx2") ? VORN_SIMD_AVX2
                      : __builtin_cpu_supports ("avx") ? VORN_SIMD_AVX
                                                       : VORN_SIMD_SSE2;
  EXPECT_EQ (vorn_util_cpu_detect (), expected);
}

TEST (Cpu, ClassifyRule)
{
  const guint32 osxsave = 1u << 27, avx = 1u << 28, avx2 = 1u << 5;
  const guint64 ymm = 0x7;
  struct {
    guint32 max_leaf, ecx, ebx;
    guint64 xcr0;
    VornSimd want;
  } cases[] = {
    {13, osxsave | avx, avx2, ymm, VORN_SIMD_AVX2},
    {13, osxsave | avx, 0, ymm, VORN_SIMD_AVX},
    {6, osxsave | avx, avx2, ymm, VORN_SIMD_AVX},   /* leaf 7 absent */
    {13, 0, 0, 0, VORN_SIMD_SSE2},
    {0, osxsave | avx, avx2, ymm, VORN_SIMD_SSE2},  /* leaf 1 absent */
    {13, avx, avx2, 0, VORN_SIMD_SSE2},             /* OS without XSAVE */
    {13, osxsave | avx, avx2, 0x3, VORN_SIMD_SSE2}, /* YMM state not saved */
  };
  for (const auto &c : cases)
    EXPECT_EQ (vorn_util_cpu_classify (c.max_leaf, c.ecx, c.ebx, c.xcr0), c.want)
        << c.max_leaf << " " << c.ecx << " " << c.ebx << " " << c.xcr0;
}
