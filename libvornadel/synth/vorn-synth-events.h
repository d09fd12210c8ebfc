/* vorn-synth-events.h: note events posted from input threads for the render
 * thread, stamped with the sample time they play at (not installed) */
#pragma once

#include <glib.h>

#include <atomic>

#include "vorn-event-ring.h"

/* One posted event: the sample time it plays at and its MIDI bytes. */
struct VornPostedEvent {
  guint64 time;
  guint8 data[3];
};

/* Events posted by input threads for the render thread. */
struct VornEventInbox : VornEventRing<VornPostedEvent, 4096> {};

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
