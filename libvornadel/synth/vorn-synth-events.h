/* vorn-synth-events.h: note events posted from input threads for the render
 * thread, stamped with the sample time they play at (not installed) */
#pragma once

#include <glib.h>

#include <atomic>

/* One posted event: the sample time it plays at and its MIDI bytes. */
struct VornPostedEvent {
  guint64 time;
  guint8 data[3];
};

/* A bounded ring for any number of input threads and one reader, the render
 * thread: each cell's sequence number tells whose turn it is, so neither
 * side ever waits. */
struct VornEventInbox {
  static constexpr guint SIZE = 4096;
  struct Cell {
    std::atomic<guint> seq;
    VornPostedEvent event;
  };
  Cell cells[SIZE];
  std::atomic<guint> head;
  std::atomic<guint> tail;

  void init ()
  {
    for (guint i = 0; i < SIZE; i++)
      cells[i].seq.store (i, std::memory_order_relaxed);
    head.store (0, std::memory_order_relaxed);
    tail.store (0, std::memory_order_relaxed);
  }

  bool push (const VornPostedEvent &event)
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

  /* Render thread only: the next event, unless it is still being written. */
  bool peek (VornPostedEvent *event) const
  {
    const guint pos = tail.load (std::memory_order_relaxed);
    const Cell &cell = cells[pos % SIZE];
    if (int (cell.seq.load (std::memory_order_acquire) - (pos + 1)) < 0)
      return false;
    *event = cell.event;
    return true;
  }

  void drop ()
  {
    const guint pos = tail.load (std::memory_order_relaxed);
    cells[pos % SIZE].seq.store (pos + SIZE, std::memory_order_release);
    tail.store (pos + 1, std::memory_order_relaxed);
  }
};

/* Where the render thread was: the sample time at the start of its last
 * call, the wall time of that moment and, when an audio driver counts
 * frames on a clock of its own (JACK), that clock's reading.  Written by
 * the render thread, read by input threads through a sequence count. */
struct VornRenderClock {
  std::atomic<guint> seq{ 0 };
  std::atomic<guint64> sample_time{ 0 };
  std::atomic<gint64> wall_us{ 0 };
  std::atomic<guint64> frame_time{ 0 };
  std::atomic<gboolean> has_frames{ FALSE };
  std::atomic<guint> longest_call{ 0 };
  std::atomic<double> rate{ 48000.0 };
};
