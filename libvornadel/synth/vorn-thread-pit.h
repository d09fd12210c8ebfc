/* vorn-thread-pit.h: pool of worker threads that share batches of work with
 * the thread handing them out, without locks */
#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

typedef struct _VornThreadPitSync VornThreadPitSync;

/**
 * VornThreadPit:
 * @threads: one handle per worker
 * @thread_count: number of workers
 * @prey: @capacity slots: the hand-out thread writes the items of the next
 *   batch here before vorn_thread_pit_hand_out()
 * @capacity: slots of @prey; a batch holds at most this many items
 * @func: run by every worker with the pit as its argument
 * @user_data: given at creation, for @func
 * @min_batch_ns: a batch is spread over the workers only when rendering it
 *   alone is estimated to take at least this long (from what earlier
 *   batches cost per item); 0 spreads every batch.  Set by the owner
 *   between batches.
 * @sync: the shared counters (opaque)
 *
 * One thread (the hand-out thread) fills @prey, calls
 * vorn_thread_pit_hand_out(), processes items itself while
 * vorn_thread_pit_take() returns them, and calls vorn_thread_pit_wait_done();
 * after that every item of the batch has been processed exactly once, by it
 * or by a worker.  A worker loop is: item = vorn_thread_pit_catch_prey();
 * leave on NULL; process item.  Each thread (the hand-out thread and every
 * worker) claims runs of items from its own range of the batch, so the
 * same item of consecutive batches stays with the same thread while their
 * numbers do not change; a thread done with its range takes runs from the
 * back of the others'.  A worker waits for work by spinning briefly before
 * it sleeps, so a batch costs no lock and, while the workers are awake, no
 * system call.
 *
 * Fields other than @prey and @min_batch_ns are read-only for users; only
 * the hand-out thread may call vorn_thread_pit_set_count() and
 * vorn_thread_pit_free(), and only between batches.
 */
typedef struct _VornThreadPit VornThreadPit;
struct _VornThreadPit {
  GThread **threads;
  gint32 thread_count;
  gpointer *prey;
  gint32 capacity;
  GThreadFunc func;
  gpointer user_data;
  gint64 min_batch_ns;
  VornThreadPitSync *sync;
};

/* Default of #VornThreadPit.min_batch_ns: well above what waking a worker
 * and handing its share back costs. */
#define VORN_THREAD_PIT_MIN_BATCH_NS G_GINT64_CONSTANT (20000)

/**
 * vorn_thread_pit_new:
 * @func: worker function; it receives the pit
 * @user_data: kept in the pit's user_data field for @func
 * @threadCount: number of workers, at least 1
 * @capacity: most items in one batch, 1 to 65535
 * @error: return location for a #GError (G_THREAD_ERROR)
 *
 * Starts @threadCount threads named "thread-pit".  Each worker sets
 * flush-to-zero and denormals-are-zero for itself before it runs @func.
 *
 * Returns: (transfer full): the new pit, to be released with
 * vorn_thread_pit_free(); NULL when an argument is out of range, or with
 * @error set when the system refuses a thread (the ones started are
 * stopped again).
 */
VornThreadPit *vorn_thread_pit_new (GThreadFunc func, gpointer user_data,
                                    int threadCount, int capacity, GError **error);

/**
 * vorn_thread_pit_set_count:
 * @pit: a pit with no batch in flight
 * @count: the new number of workers, at least 1
 *
 * Changes the number of workers.  Growing keeps the running workers and adds
 * new ones (unless the pit has to make room for more ranges than it ever
 * had); shrinking stops and joins every worker, then starts @count fresh
 * ones.  An unchanged count does nothing.  When the system refuses a
 * thread, the pit keeps the workers it has (at least one: with none it
 * could not share any batch) and @error says why.
 *
 * Returns: %TRUE when @pit has @count workers.
 */
gboolean vorn_thread_pit_set_count (VornThreadPit *pit, int count, GError **error);

/**
 * vorn_thread_pit_free:
 * @pit: (nullable): a pit with no batch in flight
 *
 * Stops and joins every worker and frees the pit.
 */
void vorn_thread_pit_free (VornThreadPit *pit);

/**
 * vorn_thread_pit_hand_out:
 * @pit: a pit whose previous batch is done
 * @count: items in @pit's prey slots, at most its capacity
 *
 * Starts a batch of the first @count prey items.  When the batch is big
 * enough to be worth spreading (see #VornThreadPit.min_batch_ns) it is
 * published to the workers, and sleeping workers are woken; otherwise the
 * calling thread gets every item from vorn_thread_pit_take().  Never
 * allocates, locks or waits.
 *
 * Returns: TRUE when the workers share the batch.
 */
gboolean vorn_thread_pit_hand_out (VornThreadPit *pit, guint count);

/**
 * vorn_thread_pit_take:
 * @pit: a pit with a batch handed out by the calling thread
 *
 * Claims the next unclaimed item of the batch, for the hand-out thread.
 * Never waits.
 *
 * Returns: (transfer none) (nullable): the item, or NULL when every item
 * has been claimed.
 */
gpointer vorn_thread_pit_take (VornThreadPit *pit);

/**
 * vorn_thread_pit_wait_done:
 * @pit: a pit whose batch the calling thread has taken until NULL
 *
 * Waits until the workers have processed every item they claimed (spinning,
 * then yielding the processor), so that their results are visible to the
 * caller.  Also updates the per-item cost estimate.
 */
void vorn_thread_pit_wait_done (VornThreadPit *pit);

/**
 * vorn_thread_pit_catch_prey:
 * @pit: a pit
 *
 * Takes the next item of the current batch, for workers; the item the
 * worker caught before counts as processed.  While there is none it spins
 * briefly, then sleeps until a batch is handed out.
 *
 * Returns: (transfer none) (nullable): the item, or NULL when the worker is
 * to stop.
 */
gpointer vorn_thread_pit_catch_prey (VornThreadPit *pit);

/**
 * vorn_thread_pit_get_item_ns:
 * @pit: a pit
 *
 * Returns: the estimated cost of one item on the hand-out thread in
 * nanoseconds, 0 before anything was measured.  Hand-out thread only.
 */
double vorn_thread_pit_get_item_ns (VornThreadPit *pit);

G_END_DECLS
