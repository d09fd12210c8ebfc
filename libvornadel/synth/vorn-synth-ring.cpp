/* vorn-synth-ring.cpp: bounded multi-producer multi-consumer ring of message
 * pointers.  Each cell carries a sequence number telling whose turn it is:
 * pos for a producer at pos, pos + 1 for the consumer at pos.  A thread claims
 * its position by a compare-and-swap on the shared counter, then hands the
 * cell over with a release store of the next sequence value. */
#include "vorn-synth-ring.h"

#include <atomic>
#include <new>

namespace {

struct Cell
{
  std::atomic<gsize> seq;
  VornSynthMsg *msg;
};

} // namespace

struct _VornSynthRing
{
  Cell *cells;
  gsize mask;
  /* Apart, so that producers and the consumer do not share a cache line. */
  alignas (64) std::atomic<gsize> enqueue_pos;
  alignas (64) std::atomic<gsize> dequeue_pos;
};

VornSynthRing *
vorn_synth_ring_new (guint capacity)
{
  gsize size = 2;
  while (size < capacity)
    size <<= 1;

  auto *ring = new (g_aligned_alloc0 (1, sizeof (VornSynthRing), alignof (VornSynthRing)))
    VornSynthRing ();
  ring->cells = g_new (Cell, size);
  for (gsize i = 0; i < size; i++)
    {
      new (&ring->cells[i]) Cell ();
      ring->cells[i].seq.store (i, std::memory_order_relaxed);
      ring->cells[i].msg = nullptr;
    }
  ring->mask = size - 1;
  ring->enqueue_pos.store (0, std::memory_order_relaxed);
  ring->dequeue_pos.store (0, std::memory_order_release);
  return ring;
}

void
vorn_synth_ring_free (VornSynthRing *ring)
{
  if (!ring)
    return;
  while (VornSynthMsg *msg = vorn_synth_ring_pop (ring))
    vorn_synth_msg_free (msg);
  for (gsize i = 0; i <= ring->mask; i++)
    ring->cells[i].~Cell ();
  g_free (ring->cells);
  ring->~VornSynthRing ();
  g_aligned_free (ring);
}

guint
vorn_synth_ring_capacity (const VornSynthRing *ring)
{
  return guint (ring->mask + 1);
}

guint
vorn_synth_ring_count (const VornSynthRing *ring)
{
  const gsize out = ring->dequeue_pos.load (std::memory_order_acquire);
  const gsize in = ring->enqueue_pos.load (std::memory_order_acquire);
  /* Read in this order, in can only be ahead of out; clamp the rest. */
  const gsize n = in - out;
  return n > ring->mask + 1 ? guint (ring->mask + 1) : guint (n);
}

gboolean
vorn_synth_ring_push (VornSynthRing *ring, VornSynthMsg *msg)
{
  gsize pos = ring->enqueue_pos.load (std::memory_order_relaxed);
  Cell *cell;
  for (;;)
    {
      cell = &ring->cells[pos & ring->mask];
      const gsize seq = cell->seq.load (std::memory_order_acquire);
      const gssize diff = gssize (seq) - gssize (pos);
      if (diff == 0)
        {
          if (ring->enqueue_pos.compare_exchange_weak (pos, pos + 1, std::memory_order_relaxed))
            break;
        }
      else if (diff < 0)
        return FALSE; /* the consumer has not freed this cell yet: full */
      else
        pos = ring->enqueue_pos.load (std::memory_order_relaxed);
    }
  cell->msg = msg;
  cell->seq.store (pos + 1, std::memory_order_release);
  return TRUE;
}

VornSynthMsg *
vorn_synth_ring_pop (VornSynthRing *ring)
{
  gsize pos = ring->dequeue_pos.load (std::memory_order_relaxed);
  Cell *cell;
  for (;;)
    {
      cell = &ring->cells[pos & ring->mask];
      const gsize seq = cell->seq.load (std::memory_order_acquire);
      const gssize diff = gssize (seq) - gssize (pos + 1);
      if (diff == 0)
        {
          if (ring->dequeue_pos.compare_exchange_weak (pos, pos + 1, std::memory_order_relaxed))
            break;
        }
      else if (diff < 0)
        return nullptr; /* no producer has filled this cell yet: empty */
      else
        pos = ring->dequeue_pos.load (std::memory_order_relaxed);
    }
  VornSynthMsg *msg = cell->msg;
  cell->seq.store (pos + ring->mask + 1, std::memory_order_release);
  return msg;
}
