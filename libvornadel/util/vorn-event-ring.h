/* vorn-event-ring.h: a bounded ring of plain values for any number of
 * producer threads and one consumer (not installed) */
#pragma once

#include <glib.h>

#include <atomic>

/* Each cell's sequence number tells whose turn it is, so neither side ever
 * waits: a full ring refuses the push, and a cell still being written looks
 * empty to the consumer until its writer is done.  SIZE is a power of two
 * (positions wrap at 2^32). */
template <typename T, guint SIZE> struct VornEventRing {
  static_assert ((SIZE & (SIZE - 1)) == 0, "SIZE must be a power of two");
  struct Cell {
    std::atomic<guint> seq;
    T event;
  };
  Cell cells[SIZE];
  std::atomic<guint> head; /* next cell to fill */
  std::atomic<guint> tail; /* next cell to read */

  void init ()
  {
    for (guint i = 0; i < SIZE; i++)
      cells[i].seq.store (i, std::memory_order_relaxed);
    head.store (0, std::memory_order_relaxed);
    tail.store (0, std::memory_order_relaxed);
  }

  /* Any thread: FALSE when the ring is full. */
  bool push (const T &event)
  {
    guint pos = head.load (std::memory_order_relaxed);
    for (;;)
      {
        Cell &cell = cells[pos % SIZE];
        const int diff = int (cell.seq.load (std::memory_order_acquire) - pos);
        if (diff == 0)
          {
            if (head.compare_exchange_weak (pos, pos + 1, std::memory_order_relaxed))
              {
                cell.event = event;
                cell.seq.store (pos + 1, std::memory_order_release);
                return true;
              }
          }
        else if (diff < 0)
          return false;
        else
          pos = head.load (std::memory_order_relaxed);
      }
  }

  /* Consumer only: the next event, unless it is still being written. */
  bool peek (T *event) const
  {
    const guint pos = tail.load (std::memory_order_relaxed);
    const Cell &cell = cells[pos % SIZE];
    if (int (cell.seq.load (std::memory_order_acquire) - (pos + 1)) < 0)
      return false;
    *event = cell.event;
    return true;
  }

  /* Consumer only: gives the cell peek() read back to the producers. */
  void drop ()
  {
    const guint pos = tail.load (std::memory_order_relaxed);
    cells[pos % SIZE].seq.store (pos + SIZE, std::memory_order_release);
    tail.store (pos + 1, std::memory_order_relaxed);
  }

  /* Consumer only: peek() and drop() in one. */
  bool pop (T *event)
  {
    if (!peek (event))
      return false;
    drop ();
    return true;
  }
};
