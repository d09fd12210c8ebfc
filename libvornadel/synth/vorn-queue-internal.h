/* vorn-queue-internal.h: what the queue's compiling (vorn-queue-compile.cpp)
 * and rendering (vorn-queue-render.cpp) halves share; included by nothing
 * else */
#pragma once

#include "vorn-queue.h"
#include "vorn-queue-private.h"
#include "vorn-thread-pit.h"

/* Set when the class is made; vorn_queue_priv() reads it without the type
 * check of vorn_queue_get_private(), for the render paths. */
extern gint vorn_queue_private_offset;

static inline VornQueuePrivate *
vorn_queue_priv (VornQueue *queue)
{
  return static_cast<VornQueuePrivate *> (G_STRUCT_MEMBER_P (queue, vorn_queue_private_offset));
}

static inline gsize
sample_size (const VornQueue *queue)
{
  return queue->format == VORN_FORMAT_DOUBLE ? sizeof (double) : sizeof (float);
}

/* Voices are summed into the master in blocks of up to VOICE_BLOCK
 * neighbours of one attach point: the block's voices are added in order
 * into its own partial sum by whichever thread renders the block, and the
 * render thread adds the partial sums in order.  The result is the same bit
 * for bit on any number of cores, and a worker's voices never leave its
 * processor's cache: only one partial sum per block crosses to the render
 * thread. */
constexpr guint VOICE_BLOCK = 8;

struct alignas (64) _VornVoiceBlock {
  VornAttachPoint *ap;
  VornQueue *first;
  guint count;
  guint width;      /* speakers of the partial sum */
  gboolean summed;  /* some voice added to the partial sum */
  gboolean active;  /* every voice of the block is still active */
  gpointer partial; /* width fragments */
};

/* Links every active generator whose ancestors' generators are all active,
 * in creation order, into @priv's render chain. */
void vorn_queue_build_chain (VornQueuePrivate *priv);

/* Chains the pre-attach segment and the segments of the live attach points
 * of a master in index order. */
void vorn_queue_relink_chain (VornQueuePrivate *priv);

/* Routes the attributes of @queue's chain (vorn_queue_resolve_attributes()
 * without the argument check). */
void vorn_queue_route (VornQueue *queue);
