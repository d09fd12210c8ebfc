/* vorn-thread-pit.h: pool of worker threads fed through two message queues */
#pragma once

#include <glib-object.h>

#include "vorn-msg-queue.h"

G_BEGIN_DECLS

/**
 * VornThreadPit:
 * @threads: one handle per worker
 * @thread_count: number of workers
 * @prey: queue of pointers: work items for the workers; a NULL item stops
 *   the one worker that takes it
 * @done: queue of pointers: finished work items
 * @func: run by every worker with the pit as its argument
 * @user_data: given at creation, for @func
 *
 * Workers share both queues: any worker may take any item.  The thread that
 * hands out work pushes N items to @prey (in one batch: lock, push_unlocked
 * each, unlock) and pops exactly N items from @done, in the order they
 * finish.  A worker loop is: take an item with vorn_thread_pit_catch_prey(),
 * leave on NULL, process it, push it to @done.
 *
 * The fields are read-only for users of the pit; only the thread that owns
 * the pit may call vorn_thread_pit_set_count() and vorn_thread_pit_free().
 */
typedef struct _VornThreadPit VornThreadPit;
struct _VornThreadPit {
  GThread **threads;
  gint32 thread_count;
  VornMsgQueue *prey;
  VornMsgQueue *done;
  GThreadFunc func;
  gpointer user_data;
};

/**
 * vorn_thread_pit_new:
 * @func: worker function; it receives the pit
 * @user_data: kept in the pit's user_data field for @func
 * @threadCount: number of workers, at least 1
 * @queue_size: capacity of the prey and done queues, at least 1
 *
 * Creates the two queues and starts @threadCount threads named "thread-pit".
 * Each worker sets flush-to-zero and denormals-are-zero for itself before
 * it runs @func.
 *
 * Returns: (transfer full): the new pit, to be released with
 * vorn_thread_pit_free(); NULL when an argument is out of range.
 */
VornThreadPit *vorn_thread_pit_new (GThreadFunc func, gpointer user_data,
                                    int threadCount, int queue_size);

/**
 * vorn_thread_pit_set_count:
 * @pit: a pit with no work in flight
 * @count: the new number of workers, at least 1
 *
 * Changes the number of workers.  Growing keeps the running workers and adds
 * new ones; shrinking stops and joins every worker, then starts @count fresh
 * ones.  An unchanged count does nothing.
 */
void vorn_thread_pit_set_count (VornThreadPit *pit, int count);

/**
 * vorn_thread_pit_free:
 * @pit: (nullable): a pit
 *
 * Stops every worker (each one first finishes the items queued ahead of its
 * stop signal), joins them, and frees the queues and the pit.  Items left in
 * the done queue are not freed.
 */
void vorn_thread_pit_free (VornThreadPit *pit);

/**
 * vorn_thread_pit_catch_prey:
 * @pit: a pit
 *
 * Takes the next work item, waiting while there is none.  For workers.
 *
 * Returns: (transfer none): the item, or NULL when the worker is to stop.
 */
gpointer vorn_thread_pit_catch_prey (VornThreadPit *pit);

/**
 * vorn_thread_pit_wait_done:
 * @pit: a pit
 *
 * Takes the next finished item, waiting while there is none.  For the thread
 * that handed out the work.
 *
 * Returns: (transfer none): the item.
 */
gpointer vorn_thread_pit_wait_done (VornThreadPit *pit);

G_END_DECLS
