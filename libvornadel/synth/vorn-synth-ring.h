/* vorn-synth-ring.h: the bounded lock-free message rings between the API
 * threads and the render thread (not installed) */
#pragma once

#include "vorn-synth-msg.h"

G_BEGIN_DECLS

/**
 * VornSynthRing:
 *
 * A fixed-capacity FIFO of message pointers that any number of threads may
 * push to and pop from at once without locks: one sequence word per cell,
 * producers and consumers claim positions with a compare-and-swap.  Pushing
 * and popping never allocate, never wait and never make system calls, so the
 * render thread may use both ends.  Opaque.
 */
typedef struct _VornSynthRing VornSynthRing;

/* Returns: (transfer full): an empty ring holding at least @capacity
 * messages (rounded up to a power of two, at least 2). */
VornSynthRing *vorn_synth_ring_new (guint capacity);

/* Frees @ring; messages still inside are freed with vorn_synth_msg_free(). */
void vorn_synth_ring_free (VornSynthRing *ring);

/* Returns: the number of cells. */
guint vorn_synth_ring_capacity (const VornSynthRing *ring);

/* Returns: the messages inside right now; only a hint while other threads
 * push or pop. */
guint vorn_synth_ring_count (const VornSynthRing *ring);

/* Appends @msg.  Returns: FALSE when the ring is full (nothing changes). */
gboolean vorn_synth_ring_push (VornSynthRing *ring, VornSynthMsg *msg);

/* Returns: (transfer full) (nullable): the oldest message, NULL when empty. */
VornSynthMsg *vorn_synth_ring_pop (VornSynthRing *ring);

G_END_DECLS
