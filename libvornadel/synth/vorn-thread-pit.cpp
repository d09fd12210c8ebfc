/* vorn-thread-pit.cpp: pool of worker threads that share batches of work with
 * the thread handing them out, without locks */
#include "vorn-thread-pit.h"

#include "vorn-aligned.h"
#include "vorn-cpu.h"

#include <atomic>
#include <climits>
#include <ctime>
#include <new>

#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define cpu_relax() _mm_pause ()
#else
#define cpu_relax() ((void) 0)
#endif

namespace {

/* A worker that found no work spins this long before it sleeps: fragments
 * of one audio period follow each other closely, periods do not. */
constexpr gint64 WORKER_SPIN_NS = 50000;
/* The hand-out thread waits for items being processed, normally well under
 * this; past it a worker has probably lost its processor. */
constexpr gint64 WAIT_SPIN_NS = 200000;
/* Solo batches are timed only now and then: reading the clock is not free
 * next to a batch of one or two cheap items. */
constexpr guint32 SOLO_TIMING_EVERY = 4;
/* Both hysteresis and smoothing keep one odd fragment from flipping the
 * decision back and forth. */
constexpr double KEEP_SPREADING = 0.75;
constexpr double COST_SMOOTHING = 0.125;
/* Shared batches must finish clearly faster than the hand-out thread alone
 * would (on a loaded machine the workers may get no processor, and waiting
 * for a preempted worker costs a whole time slice); when SLOW_STREAK of
 * them in a row do not, batches stay with the hand-out thread for a while
 * before the workers get another try, twice as long after each try that
 * failed.  A single slow batch (a worker preempted once) changes nothing. */
constexpr double WORTHWHILE = 0.9;
constexpr guint32 SLOW_STREAK = 8;
constexpr guint32 BACK_OFF_BATCHES = 128;
constexpr guint32 MAX_BACK_OFF_BATCHES = 8192;
constexpr guint32 PROVEN_BATCHES = 512;
/* Runs stay short enough that a worker losing its processor holds back
 * little of a batch, long enough to keep claims rare. */
constexpr guint32 MAX_RUN = 8;

gint64
now_ns ()
{
  struct timespec ts;
  clock_gettime (CLOCK_MONOTONIC, &ts);
  return gint64 (ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

/* A claim word: generation (32 bits) | end (16) | next item (16).  The
 * batch word has the item count as its end and no next item; each party's
 * range word holds the items of the batch still unclaimed in its range. */
constexpr guint64
make_word (guint32 gen, guint32 end, guint32 next = 0)
{
  return guint64 (gen) << 32 | guint64 (end) << 16 | next;
}
constexpr guint32
word_end (guint64 w)
{
  return guint32 (w >> 16) & 0xffff;
}
constexpr guint32
word_next (guint64 w)
{
  return guint32 (w) & 0xffff;
}

/* A worker's current run of items: [next, end) of the batch it was
 * claimed from, how many items it caught without reporting them, and its
 * party (its range in every batch). */
struct WorkerRun {
  guint32 next;
  guint32 end;
  guint32 pending;
  guint32 party;
};
thread_local WorkerRun worker_run;

/* Parties the range words are first made for: growing beyond restarts the
 * workers. */
constexpr gint32 MIN_PARTY_SLOTS = 16;

struct alignas (64) PartyRange {
  std::atomic<guint64> word;
};

} // namespace

/* Shared words on lines of their own, so that spinning on one does not
 * steal the line another thread writes. */
struct _VornThreadPitSync {
  alignas (64) std::atomic<guint64> word; /* the batch: published last */
  PartyRange *ranges;                     /* one per party, the hand-out thread's first */
  gint32 range_slots;
  std::atomic<gint32> next_party; /* handed to workers as they start */
  alignas (64) std::atomic<guint32> done;     /* items the workers finished */
  alignas (64) std::atomic<guint32> wake_seq; /* futex word */
  std::atomic<gint32> sleepers;
  std::atomic<gint32> stop;
  std::atomic<gint32> parties; /* workers + the hand-out thread */

  /* The hand-out thread's own state. */
  alignas (64) guint32 gen;
  guint32 count;
  guint32 own;      /* items it claimed in this batch */
  guint32 own_next; /* its current run */
  guint32 own_end;
  guint32 solo_batches;
  guint32 back_off;   /* batches left before the workers get another try */
  guint32 back_off_next; /* the back-off after the next failed try */
  guint32 shared_run; /* batches shared since the last try began */
  guint32 slow_streak; /* shared batches in a row that did not pay */
  double solo_ns;     /* item cost in batches it kept, smoothed */
  bool shared;
  bool spreading;
  bool timing;
  gint64 started;
  gint64 own_finished;
  double item_ns;
};

namespace {

static_assert (sizeof (std::atomic<guint32>) == sizeof (guint32)
                   && std::atomic<guint32>::is_always_lock_free,
               "a futex needs a plain 32-bit word");

void
futex_wait (std::atomic<guint32> *word, guint32 expected)
{
  syscall (SYS_futex, reinterpret_cast<guint32 *> (word), FUTEX_WAIT_PRIVATE, expected,
           nullptr, nullptr, 0);
}

void
futex_wake_all (std::atomic<guint32> *word)
{
  syscall (SYS_futex, reinterpret_cast<guint32 *> (word), FUTEX_WAKE_PRIVATE, INT_MAX,
           nullptr, nullptr, 0);
}

/* Being preempted while timed makes a batch look a thousand times dearer
 * than it is: one sample may at most double the estimate, so a real rise in
 * cost is followed within a few batches and a preemption hardly counts. */
double
smooth (double estimate, double sample)
{
  if (estimate <= 0)
    return sample;
  return estimate + (MIN (sample, 2 * estimate) - estimate) * COST_SMOOTHING;
}

void
wake_sleepers (VornThreadPitSync *s)
{
  s->wake_seq.fetch_add (1, std::memory_order_seq_cst);
  futex_wake_all (&s->wake_seq);
}

/* Claims a run from the front of one party's range (its owner) or from its
 * back (another party that has finished its own): half of what is left, at
 * most MAX_RUN.  FALSE when the range is empty. */
bool
claim_range (PartyRange *range, bool owner, guint32 *first, guint32 *end)
{
  guint64 w = range->word.load (std::memory_order_acquire);
  for (;;)
    {
      const guint32 stop = word_end (w), next = word_next (w);
      if (next >= stop)
        return false;
      const guint32 run = CLAMP ((stop - next) / 2, 1u, MAX_RUN);
      const guint64 claimed = owner ? w + run : w - (guint64 (run) << 16);
      if (range->word.compare_exchange_weak (w, claimed, std::memory_order_acq_rel,
                                             std::memory_order_acquire))
        {
          *first = owner ? next : stop - run;
          *end = *first + run;
          return true;
        }
    }
}

/* Claims a run of the published batch for @party: from its own range while
 * there is any, so that an item (a voice) stays with the same thread from
 * batch to batch and its state stays in that processor's cache; then from
 * the others' ranges, from their back ends. */
bool
claim (VornThreadPitSync *s, guint32 party, guint32 *first, guint32 *end)
{
  const guint32 parties = guint32 (MAX (s->parties.load (std::memory_order_relaxed), 1));
  if (party < parties && claim_range (&s->ranges[party], true, first, end))
    return true;
  for (guint32 i = 1; i < parties; i++)
    {
      const guint32 other = (party + i) % parties;
      if (claim_range (&s->ranges[other], false, first, end))
        return true;
    }
  return false;
}

/* Waits until the claim word differs from @seen or the pit stops: spins,
 * then sleeps on the futex.  The sleeper count and the word are both
 * sequentially consistent, so either the hand-out thread sees the sleeper
 * and wakes it, or the sleeper sees the new word and does not sleep. */
void
wait_for_batch (VornThreadPitSync *s, guint64 seen)
{
  gint64 spin_start = 0;
  for (guint32 i = 1;; i++)
    {
      if (s->word.load (std::memory_order_relaxed) != seen
          || s->stop.load (std::memory_order_relaxed))
        return;
      cpu_relax ();
      if ((i & 63) == 0)
        {
          const gint64 t = now_ns ();
          if (spin_start == 0)
            spin_start = t;
          else if (t - spin_start > WORKER_SPIN_NS)
            break;
        }
    }

  const guint32 seq = s->wake_seq.load (std::memory_order_seq_cst);
  s->sleepers.fetch_add (1, std::memory_order_seq_cst);
  if (s->word.load (std::memory_order_seq_cst) == seen && !s->stop.load (std::memory_order_seq_cst))
    futex_wait (&s->wake_seq, seq);
  s->sleepers.fetch_sub (1, std::memory_order_seq_cst);
}

gpointer
worker_main (gpointer data)
{
  auto *pit = static_cast<VornThreadPit *> (data);

  /* Workers render audio: denormals must not slow them down, and the
   * control register is per thread. */
  vorn_util_set_ftz_daz ();
  worker_run = WorkerRun {};
  worker_run.party = guint32 (pit->sync->next_party.fetch_add (1, std::memory_order_relaxed));
  return pit->func (pit);
}

/* Starts workers @first to @count - 1 and returns how many run in all:
 * @count, or fewer when the system refuses a thread (@error says why). */
int
start_workers (VornThreadPit *pit, int first, int count, GError **error)
{
  pit->sync->next_party.store (first + 1, std::memory_order_relaxed);
  for (int i = first; i < count; i++)
    {
      GError *local = nullptr;
      pit->threads[i] = g_thread_try_new ("thread-pit", worker_main, pit, &local);
      if (!pit->threads[i])
        {
          g_propagate_prefixed_error (error, local, "Cannot start render thread %d of %d: ", i + 1,
                                      count);
          return i;
        }
    }
  return count;
}

void
stop_workers (VornThreadPit *pit)
{
  VornThreadPitSync *s = pit->sync;
  s->stop.store (1, std::memory_order_seq_cst);
  wake_sleepers (s);
  for (int i = 0; i < pit->thread_count; i++)
    {
      g_thread_join (pit->threads[i]);
      pit->threads[i] = nullptr;
    }
  s->stop.store (0, std::memory_order_seq_cst);
}

/* With no worker running. */
void
alloc_ranges (VornThreadPitSync *s, gint32 parties)
{
  vorn_util_free_aligned (s->ranges);
  s->range_slots = MAX (parties, MIN_PARTY_SLOTS);
  s->ranges = static_cast<PartyRange *> (vorn_util_alloc_aligned (sizeof (PartyRange) * gsize (s->range_slots)));
  for (gint32 i = 0; i < s->range_slots; i++)
    new (&s->ranges[i]) PartyRange { 0 };
}

} // namespace

VornThreadPit *
vorn_thread_pit_new (GThreadFunc func, gpointer user_data, int threadCount, int capacity,
                     GError **error)
{
  g_return_val_if_fail (func != NULL, NULL);
  g_return_val_if_fail (threadCount > 0, NULL);
  g_return_val_if_fail (capacity > 0 && capacity <= 0xffff, NULL);
  g_return_val_if_fail (!error || !*error, NULL);

  VornThreadPit *pit = g_slice_new0 (VornThreadPit);
  pit->sync = new (vorn_util_alloc_aligned (sizeof (VornThreadPitSync))) VornThreadPitSync ();
  pit->sync->parties.store (threadCount + 1, std::memory_order_relaxed);
  alloc_ranges (pit->sync, threadCount + 1);
  pit->prey = g_new0 (gpointer, capacity);
  pit->capacity = capacity;
  pit->func = func;
  pit->user_data = user_data;
  pit->min_batch_ns = VORN_THREAD_PIT_MIN_BATCH_NS;
  pit->threads = g_new0 (GThread *, threadCount);
  pit->thread_count = start_workers (pit, 0, threadCount, error);
  if (pit->thread_count < threadCount)
    {
      vorn_thread_pit_free (pit);
      return nullptr;
    }
  return pit;
}

gboolean
vorn_thread_pit_set_count (VornThreadPit *pit, int count, GError **error)
{
  g_return_val_if_fail (pit != NULL, FALSE);
  g_return_val_if_fail (count > 0, FALSE);
  g_return_val_if_fail (!error || !*error, FALSE);

  if (count == pit->thread_count)
    return TRUE;

  int running;
  if (count < pit->thread_count)
    {
      /* The stop flag reaches every worker, so there is no way to stop
       * only some of them: stop all and start the wanted number afresh. */
      stop_workers (pit);
      pit->threads = g_renew (GThread *, pit->threads, count);
      running = start_workers (pit, 0, count, error);
    }
  else if (count + 1 > pit->sync->range_slots)
    {
      stop_workers (pit);
      alloc_ranges (pit->sync, count + 1);
      pit->threads = g_renew (GThread *, pit->threads, count);
      running = start_workers (pit, 0, count, error);
    }
  else
    {
      pit->threads = g_renew (GThread *, pit->threads, count);
      running = start_workers (pit, pit->thread_count, count, error);
    }
  pit->thread_count = running;
  pit->sync->parties.store (running + 1, std::memory_order_relaxed);
  return running == count;
}

void
vorn_thread_pit_free (VornThreadPit *pit)
{
  if (pit == nullptr)
    return;

  stop_workers (pit);
  g_free (pit->threads);
  g_free (pit->prey);
  vorn_util_free_aligned (pit->sync->ranges);
  pit->sync->~VornThreadPitSync ();
  vorn_util_free_aligned (pit->sync);
  g_slice_free (VornThreadPit, pit);
}

gboolean
vorn_thread_pit_hand_out (VornThreadPit *pit, guint count)
{
  g_return_val_if_fail (pit != NULL, FALSE);
  g_return_val_if_fail (count <= guint (pit->capacity), FALSE);

  VornThreadPitSync *s = pit->sync;
  const double estimate = s->item_ns * count;
  bool spread;
  if (pit->min_batch_ns <= 0)
    spread = count > 0;
  else if (s->back_off > 0)
    {
      s->back_off--;
      spread = false;
    }
  else
    spread = count >= 2
             && estimate >= double (pit->min_batch_ns) * (s->spreading ? KEEP_SPREADING : 1.0);
  if (spread && !s->spreading)
    {
      s->slow_streak = 0;
      s->shared_run = 0;
    }

  s->count = count;
  s->own = 0;
  s->shared = spread;
  s->spreading = spread;
  s->timing = count >= 2 && (spread || ++s->solo_batches % SOLO_TIMING_EVERY == 0);
  s->own_finished = 0;
  if (s->timing)
    s->started = now_ns ();

  if (!spread)
    {
      s->own_next = 0;
      s->own_end = count;
      return FALSE;
    }

  s->own_next = s->own_end = 0;
  s->gen++;
  /* No worker holds an item of the last batch any more (wait_done saw them
   * all), so the count can start over; publishing the word releases it
   * together with the prey slots. */
  s->done.store (0, std::memory_order_relaxed);
  const guint32 parties = guint32 (s->parties.load (std::memory_order_relaxed));
  for (guint32 i = 0; i < parties; i++)
    s->ranges[i].word.store (make_word (s->gen, count * (i + 1) / parties, count * i / parties),
                             std::memory_order_release);
  s->word.store (make_word (s->gen, count), std::memory_order_seq_cst);
  if (s->sleepers.load (std::memory_order_seq_cst) > 0)
    wake_sleepers (s);
  return TRUE;
}

gpointer
vorn_thread_pit_take (VornThreadPit *pit)
{
  VornThreadPitSync *s = pit->sync;
  if (s->own_next == s->own_end)
    {
      guint32 first, end;
      if (!s->shared || !claim (s, 0, &first, &end))
        {
          if (s->timing && s->own_finished == 0)
            s->own_finished = now_ns ();
          return nullptr;
        }
      s->own_next = first;
      s->own_end = end;
    }
  s->own++;
  return pit->prey[s->own_next++];
}

void
vorn_thread_pit_wait_done (VornThreadPit *pit)
{
  g_return_if_fail (pit != NULL);

  VornThreadPitSync *s = pit->sync;
  if (s->shared)
    {
      const guint32 theirs = s->count - s->own;
      gint64 spin_start = 0;
      for (guint32 i = 1; s->done.load (std::memory_order_acquire) != theirs; i++)
        {
          cpu_relax ();
          if ((i & 63) != 0)
            continue;
          if (spin_start == 0)
            spin_start = now_ns ();
          else if (now_ns () - spin_start > WAIT_SPIN_NS)
            sched_yield ();
        }
    }

  if (s->timing && s->own > 0 && s->own_finished > 0)
    {
      const double sample = double (s->own_finished - s->started) / s->own;
      s->item_ns = smooth (s->item_ns, sample);
      if (!s->shared)
        s->solo_ns = smooth (s->solo_ns, sample);
      else if (pit->min_batch_ns > 0)
        {
          /* Items may cost the hand-out thread more while others work
           * beside it: the cheaper figure judges the workers strictly. */
          const double alone = (s->solo_ns > 0 ? MIN (s->solo_ns, sample) : sample) * s->count;
          const double cost = double (now_ns () - s->started) / alone;
          s->slow_streak = cost > WORTHWHILE ? s->slow_streak + 1 : 0;
          if (s->back_off_next == 0 || ++s->shared_run == PROVEN_BATCHES)
            s->back_off_next = BACK_OFF_BATCHES;
          if (s->slow_streak >= SLOW_STREAK)
            {
              s->back_off = s->back_off_next;
              s->back_off_next = MIN (s->back_off_next * 2, MAX_BACK_OFF_BATCHES);
              s->spreading = false;
            }
        }
    }
  s->timing = false;
}

gpointer
vorn_thread_pit_catch_prey (VornThreadPit *pit)
{
  g_return_val_if_fail (pit != NULL, NULL);

  WorkerRun &run = worker_run;
  if (run.next < run.end)
    {
      run.pending++;
      return pit->prey[run.next++];
    }

  /* The run is used up and its last item processed: report the run, so
   * the hand-out thread sees the results of all of it. */
  VornThreadPitSync *s = pit->sync;
  if (run.pending > 0)
    {
      s->done.fetch_add (run.pending, std::memory_order_release);
      run.pending = 0;
    }

  for (;;)
    {
      /* The batch word is read before the ranges: a batch published after
       * they were found empty changes it, so the wait below returns. */
      const guint64 seen = s->word.load (std::memory_order_acquire);
      guint32 first, end;
      if (claim (s, run.party, &first, &end))
        {
          run.next = first + 1;
          run.end = end;
          run.pending = 1;
          return pit->prey[first];
        }
      if (s->stop.load (std::memory_order_acquire))
        return nullptr;
      wait_for_batch (s, seen);
    }
}

double
vorn_thread_pit_get_item_ns (VornThreadPit *pit)
{
  g_return_val_if_fail (pit != NULL, 0.0);
  return pit->sync->item_ns;
}
