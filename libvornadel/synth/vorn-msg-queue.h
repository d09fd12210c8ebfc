/* vorn-msg-queue.h: fixed-capacity ring buffer of fixed-size items with one
 * mutex and one condition variable, for handing work between threads */
#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

/**
 * VornMsgQueue:
 *
 * A bounded FIFO of items of one size.  Items are copied in and out by value,
 * so after creation nothing is allocated.  Pushes never wait (a full queue
 * refuses the item); pops wait until an item arrives.  Opaque.
 */
typedef struct _VornMsgQueue VornMsgQueue;

/**
 * vorn_msg_queue_new:
 * @item_size: bytes per item (8 for a queue of pointers), greater than 0
 * @capacity: number of items the queue can hold, greater than 0
 *
 * Returns: (transfer full): a new empty queue, to be released with
 * vorn_msg_queue_free(); NULL when an argument is out of range.
 */
VornMsgQueue *vorn_msg_queue_new (int item_size, int capacity);

/**
 * vorn_msg_queue_free:
 * @queue: (nullable): a queue no thread waits on any more
 *
 * Frees the queue.  Items still inside are dropped without being freed.
 */
void vorn_msg_queue_free (VornMsgQueue *queue);

/**
 * vorn_msg_queue_push:
 * @queue: a queue
 * @item: item_size bytes to copy in
 *
 * Appends a copy of @item and wakes one thread waiting in
 * vorn_msg_queue_pop().  Never waits.
 *
 * Returns: FALSE when the queue is full (nothing is changed), else TRUE.
 */
gboolean vorn_msg_queue_push (VornMsgQueue *queue, const void *item);

/**
 * vorn_msg_queue_pop:
 * @queue: a queue
 * @item_out: item_size bytes that receive the oldest item
 *
 * Removes the oldest item, waiting without time limit while the queue is
 * empty.
 */
void vorn_msg_queue_pop (VornMsgQueue *queue, void *item_out);

/**
 * vorn_msg_queue_lock:
 * @queue: a queue
 *
 * Takes the queue's mutex, for a batch of the _unlocked operations.
 */
void vorn_msg_queue_lock (VornMsgQueue *queue);

/**
 * vorn_msg_queue_unlock:
 * @queue: a queue locked by the calling thread
 *
 * Wakes every waiting thread, then releases the mutex, so that a batch
 * pushed under the lock reaches all waiting consumers at once.
 */
void vorn_msg_queue_unlock (VornMsgQueue *queue);

/**
 * vorn_msg_queue_push_unlocked:
 * @queue: a queue locked by the calling thread (or owned exclusively)
 * @item: item_size bytes to copy in
 *
 * Appends a copy of @item without locking and without waking anyone.
 *
 * Returns: FALSE when the queue is full, else TRUE.
 */
gboolean vorn_msg_queue_push_unlocked (VornMsgQueue *queue, const void *item);

/**
 * vorn_msg_queue_pop_unlocked:
 * @queue: a queue locked by the calling thread (or owned exclusively)
 * @item_out: item_size bytes that receive the oldest item
 *
 * Removes the oldest item without locking and without waiting.
 *
 * Returns: FALSE when the queue is empty (@item_out is left untouched),
 * else TRUE.
 */
gboolean vorn_msg_queue_pop_unlocked (VornMsgQueue *queue, void *item_out);

/**
 * vorn_msg_queue_broadcast:
 * @queue: a queue
 *
 * Wakes every thread waiting in vorn_msg_queue_pop().
 */
void vorn_msg_queue_broadcast (VornMsgQueue *queue);

G_END_DECLS
