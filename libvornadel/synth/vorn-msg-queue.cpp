/* vorn-msg-queue.cpp: fixed-capacity ring buffer guarded by a POSIX mutex
 * and condition variable */
#include "vorn-msg-queue.h"

#include <pthread.h>
#include <string.h>

struct _VornMsgQueue {
  pthread_mutex_t mutex;
  pthread_cond_t cond;    /* signalled when an item is pushed */
  guint8 *buffer;         /* (capacity + 1) slots: one always stays empty */
  gint32 item_size;
  gint32 buffer_size;
  guint32 write_pos;      /* byte offset of the next slot to write */
  guint32 read_pos;       /* byte offset of the next slot to read */
};

static inline guint32
advance (const VornMsgQueue *queue, guint32 pos)
{
  pos += (guint32) queue->item_size;
  return pos == (guint32) queue->buffer_size ? 0 : pos;
}

VornMsgQueue *
vorn_msg_queue_new (int item_size, int capacity)
{
  g_return_val_if_fail (item_size > 0, NULL);
  g_return_val_if_fail (capacity > 0, NULL);
  g_return_val_if_fail (((gint64) capacity + 1) * item_size <= G_MAXINT32, NULL);

  VornMsgQueue *queue = g_slice_new0 (VornMsgQueue);
  pthread_mutex_init (&queue->mutex, nullptr);
  pthread_cond_init (&queue->cond, nullptr);
  queue->item_size = item_size;
  queue->buffer_size = (capacity + 1) * item_size;
  queue->buffer = static_cast<guint8 *> (g_malloc ((gsize) queue->buffer_size));
  queue->write_pos = 0;
  queue->read_pos = 0;
  return queue;
}

void
vorn_msg_queue_free (VornMsgQueue *queue)
{
  if (queue == nullptr)
    return;

  pthread_cond_destroy (&queue->cond);
  pthread_mutex_destroy (&queue->mutex);
  g_free (queue->buffer);
  g_slice_free (VornMsgQueue, queue);
}

gboolean
vorn_msg_queue_push_unlocked (VornMsgQueue *queue, const void *item)
{
  g_return_val_if_fail (queue != NULL, FALSE);
  g_return_val_if_fail (item != NULL, FALSE);

  guint32 next = advance (queue, queue->write_pos);
  if (next == queue->read_pos)
    return FALSE;

  memcpy (queue->buffer + queue->write_pos, item, (size_t) queue->item_size);
  queue->write_pos = next;
  return TRUE;
}

gboolean
vorn_msg_queue_pop_unlocked (VornMsgQueue *queue, void *item_out)
{
  g_return_val_if_fail (queue != NULL, FALSE);
  g_return_val_if_fail (item_out != NULL, FALSE);

  if (queue->read_pos == queue->write_pos)
    return FALSE;

  memcpy (item_out, queue->buffer + queue->read_pos, (size_t) queue->item_size);
  queue->read_pos = advance (queue, queue->read_pos);
  return TRUE;
}

gboolean
vorn_msg_queue_push (VornMsgQueue *queue, const void *item)
{
  g_return_val_if_fail (queue != NULL, FALSE);
  g_return_val_if_fail (item != NULL, FALSE);

  pthread_mutex_lock (&queue->mutex);
  gboolean pushed = vorn_msg_queue_push_unlocked (queue, item);
  if (pushed)
    pthread_cond_signal (&queue->cond);
  pthread_mutex_unlock (&queue->mutex);
  return pushed;
}

void
vorn_msg_queue_pop (VornMsgQueue *queue, void *item_out)
{
  g_return_if_fail (queue != NULL);
  g_return_if_fail (item_out != NULL);

  pthread_mutex_lock (&queue->mutex);
  /* A loop, not an if: wake-ups may be spurious, and after a broadcast
   * another consumer may have taken the item first. */
  while (queue->read_pos == queue->write_pos)
    pthread_cond_wait (&queue->cond, &queue->mutex);
  vorn_msg_queue_pop_unlocked (queue, item_out);
  pthread_mutex_unlock (&queue->mutex);
}

void
vorn_msg_queue_lock (VornMsgQueue *queue)
{
  g_return_if_fail (queue != NULL);

  pthread_mutex_lock (&queue->mutex);
}

void
vorn_msg_queue_unlock (VornMsgQueue *queue)
{
  g_return_if_fail (queue != NULL);

  pthread_cond_broadcast (&queue->cond);
  pthread_mutex_unlock (&queue->mutex);
}

void
vorn_msg_queue_broadcast (VornMsgQueue *queue)
{
  g_return_if_fail (queue != NULL);

  pthread_cond_broadcast (&queue->cond);
}
