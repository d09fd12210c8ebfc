/* test-thread-pit.cpp: worker pool, CPU detection and floating-point mode */
#include "vorn-cpu.h"
#include "vorn-thread-pit.h"
#include "vorn-test-log.h"

#include <xmmintrin.h>

#include <atomic>
#include <ctime>
#include <vector>

namespace {

constexpr unsigned MXCSR_DAZ = 1u << 6;
constexpr unsigned MXCSR_FTZ = 1u << 15;

/* Plain fields are written by whichever thread processes the job and read
 * by the test thread after vorn_thread_pit_wait_done(): ThreadSanitizer
 * checks that the pit orders them. */
struct Job {
  std::atomic<int> hits{0};
  int batch = -1;
  int seen_batch = -1;
  unsigned mxcsr = 0;
  bool flushed = false;
  bool by_worker = false;
  gint64 busy_ns = 0;        /* work to simulate */
  gint64 worker_busy_ns = -1; /* on workers, when not -1 */
};
struct Workers {
  std::atomic<int> started{0}, exited{0}, processed{0};
};

gint64
now_ns ()
{
  struct timespec ts;
  clock_gettime (CLOCK_MONOTONIC, &ts);
  return gint64 (ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void
process (Job *job, bool by_worker)
{
  job->hits++;
  job->seen_batch = job->batch;
  job->by_worker = by_worker;
  job->mxcsr = _mm_getcsr ();
  /* A denormal input (DAZ) and a denormal result (FTZ) both give 0. */
  volatile float denormal = 1e-40f, small = 1e-30f;
  job->flushed = denormal * 1.0f == 0.0f && small * 1e-10f == 0.0f;
  const gint64 busy = by_worker && job->worker_busy_ns >= 0 ? job->worker_busy_ns : job->busy_ns;
  for (gint64 end = now_ns () + busy; now_ns () < end;)
    ;
}

/* The worker loop the renderer uses. */
gpointer
job_worker (gpointer data)
{
  auto *pit = static_cast<VornThreadPit *> (data);
  auto *w = static_cast<Workers *> (pit->user_data);

  w->started++;
  while (auto *job = static_cast<Job *> (vorn_thread_pit_catch_prey (pit)))
    {
      process (job, true);
      w->processed++;
    }
  w->exited++;
  return nullptr;
}

void
wait_for (const std::atomic<int> &counter, int n)
{
  while (counter.load () < n)
    g_thread_yield ();
}

/* Runs one batch of @count jobs the way the renderer does; the hand-out
 * thread first waits (a bounded while) for a worker to start on it when
 * @let_workers_in, so the hand-off is exercised even on a busy machine.
 * Returns the number of jobs not processed exactly once or whose results
 * did not arrive. */
int
run_batch (VornThreadPit *pit, std::vector<Job> &jobs, guint count, int batch,
           bool let_workers_in = false, gboolean *shared = nullptr)
{
  const int before = static_cast<Workers *> (pit->user_data)->processed.load ();
  for (guint i = 0; i < count; i++)
    {
      jobs[i].batch = batch;
      jobs[i].hits = 0;
      pit->prey[i] = &jobs[i];
    }
  gboolean spread = vorn_thread_pit_hand_out (pit, count);
  if (shared)
    *shared = spread;
  if (spread && let_workers_in)
    for (gint64 end = now_ns () + 2000000000; now_ns () < end
         && static_cast<Workers *> (pit->user_data)->processed.load () == before;)
      g_thread_yield ();
  while (auto *job = static_cast<Job *> (vorn_thread_pit_take (pit)))
    process (job, false);
  vorn_thread_pit_wait_done (pit);

  int bad = 0;
  for (guint i = 0; i < count; i++)
    bad += jobs[i].hits.load () != 1 || jobs[i].seen_batch != batch;
  return bad;
}

int
by_workers (const std::vector<Job> &jobs, guint count)
{
  int n = 0;
  for (guint i = 0; i < count; i++)
    n += jobs[i].by_worker;
  return n;
}

/* Clears FTZ and DAZ here so workers cannot pass by inheriting this mode. */
struct PlainFloatMode {
  unsigned saved = _mm_getcsr ();
  PlainFloatMode () { _mm_setcsr (saved & ~(MXCSR_DAZ | MXCSR_FTZ)); }
  ~PlainFloatMode () { _mm_setcsr (saved); }
};

} // namespace

/* Once items are known to cost more than the threshold batches are shared,
 * and sharing that takes longer than the hand-out thread alone (workers as
 * slow as a starved processor makes them) is dropped for a while. */
TEST (ThreadPit, SharingFollowsTheMeasuredCost)
{
  Workers w;
  VornThreadPit *pit = vorn_thread_pit_new (job_worker, &w, 1, 4, nullptr);
  std::vector<Job> jobs (4);
  for (Job &job : jobs)
    job.busy_ns = 200000;
  pit->min_batch_ns = 300000;
  int batch = 0, bad = 0;
  gboolean shared = FALSE;
  while (batch < 20 && !shared)
    bad += run_batch (pit, jobs, 2, batch++, false, &shared);
  ASSERT_TRUE (shared) << "two items of 200 us are above the threshold";

  for (Job &job : jobs)
    job.worker_busy_ns = 2000000;
  shared = TRUE;
  while (batch < 100 && shared)
    bad += run_batch (pit, jobs, 4, batch++, false, &shared);
  ASSERT_FALSE (shared) << "still sharing after " << batch << " batches";
  int shared_later = 0;
  for (int i = 0; i < 100; i++)
    {
      bad += run_batch (pit, jobs, 4, batch++, false, &shared);
      shared_later += shared;
    }
  EXPECT_EQ (shared_later, 0);
  EXPECT_EQ (bad, 0);
  vorn_thread_pit_free (pit);
}

/* Shrinking replaces every worker, growing keeps the running ones; workers
 * asleep after a pause wake for the next batch and process every item
 * exactly once with denormals flushed (whatever the creating thread's mode,
 * which they leave alone), and freeing the pit ends workers that spin
 * (right after a batch) or sleep. */
TEST (ThreadPit, SetCountSleepAndFree)
{
  PlainFloatMode plain;
  for (bool asleep_at_free : { false, true })
    {
      SCOPED_TRACE (asleep_at_free ? "asleep at free" : "spinning at free");
      Workers w;
      std::vector<Job> jobs (8);
      VornThreadPit *pit = vorn_thread_pit_new (job_worker, &w, 4, 8, nullptr);
      pit->min_batch_ns = 0;
      wait_for (w.started, 4);

      vorn_thread_pit_set_count (pit, 2, nullptr);
      EXPECT_EQ (w.exited.load (), 4);
      EXPECT_EQ (pit->thread_count, 2);
      wait_for (w.started, 6);
      EXPECT_EQ (run_batch (pit, jobs, 8, 0, true), 0);
      EXPECT_GT (by_workers (jobs, 8), 0);

      GThread *first[2] = { pit->threads[0], pit->threads[1] };
      vorn_thread_pit_set_count (pit, 4, nullptr);
      EXPECT_TRUE (pit->threads[0] == first[0] && pit->threads[1] == first[1]);
      wait_for (w.started, 8);
      EXPECT_EQ (w.exited.load (), 4);
      vorn_thread_pit_set_count (pit, 4, nullptr); /* unchanged: starts nobody */

      int bad = 0, worker_jobs = 0, not_flushing = 0;
      for (int b = 1; b < 10; b++)
        {
          g_usleep (2000);
          bad += run_batch (pit, jobs, 8, b, true);
          worker_jobs += by_workers (jobs, 8);
          for (const Job &job : jobs)
            not_flushing += job.by_worker && ((job.mxcsr & (MXCSR_DAZ | MXCSR_FTZ)) != (MXCSR_DAZ | MXCSR_FTZ)
                                              || !job.flushed);
        }
      EXPECT_EQ (bad, 0);
      EXPECT_GE (worker_jobs, 9) << "a worker took part in every batch";
      EXPECT_EQ (not_flushing, 0);
      EXPECT_EQ (_mm_getcsr () & (MXCSR_DAZ | MXCSR_FTZ), 0u);
      /* Workers spin for well under a millisecond after a batch. */
      if (asleep_at_free)
        g_usleep (20000);
      vorn_thread_pit_free (pit);
      EXPECT_EQ (w.started.load (), 8);
      EXPECT_EQ (w.exited.load (), 8);
    }
}

TEST (Cpu, DetectionMatchesCompiler)
{
  __builtin_cpu_init ();
  VornSimd expected = __builtin_cpu_supports ("avx512f") && __builtin_cpu_supports ("avx512vl")
                          ? VORN_SIMD_AVX512
                      : __builtin_cpu_supports ("avx2") ? VORN_SIMD_AVX2
                      : __builtin_cpu_supports ("avx")  ? VORN_SIMD_AVX
                                                        : VORN_SIMD_SSE2;
  EXPECT_EQ (vorn_util_cpu_detect (), expected);
}

TEST (Cpu, ClassifyRule)
{
  const guint32 osxsave = 1u << 27, avx = 1u << 28, avx2 = 1u << 5;
  const guint32 f = 1u << 16, vl = 1u << 31;
  const guint64 ymm = 0x7, zmm = 0xe7;
  struct {
    guint32 max_leaf, ecx, ebx;
    guint64 xcr0;
    VornSimd want;
  } cases[] = {
    {13, osxsave | avx, avx2, ymm, VORN_SIMD_AVX2},
    {13, osxsave | avx, 0, ymm, VORN_SIMD_AVX},
    {6, osxsave | avx, avx2, ymm, VORN_SIMD_AVX},   /* leaf 7 absent */
    {0, osxsave | avx, avx2, ymm, VORN_SIMD_SSE2},  /* leaf 1 absent */
    {13, avx, avx2, 0, VORN_SIMD_SSE2},             /* OS without XSAVE */
    {13, osxsave | avx, avx2, 0x3, VORN_SIMD_SSE2}, /* YMM state not saved */
    {13, osxsave | avx, avx2 | f | vl, zmm, VORN_SIMD_AVX512},
    {13, osxsave | avx, avx2 | f, zmm, VORN_SIMD_AVX2},        /* F without VL */
    {13, osxsave | avx, avx2 | f | vl, ymm, VORN_SIMD_AVX2},   /* no opmask or ZMM state */
    {13, osxsave | avx, avx2 | f | vl, 0x67, VORN_SIMD_AVX2},  /* upper ZMM16-31 not saved */
    {13, osxsave | avx, f | vl, zmm, VORN_SIMD_AVX},           /* no AVX2 */
  };
  for (const auto &c : cases)
    EXPECT_EQ (vorn_util_cpu_classify (c.max_leaf, c.ecx, c.ebx, c.xcr0), c.want)
        << c.max_leaf << " " << c.ecx << " " << c.ebx << " " << c.xcr0;
}
