/* Fuzz target: zelmora-render's MIDI file reader on untrusted bytes.
 *
 * Any input must either parse or fail with a message; a crash, a sanitizer
 * report or a GLib critical is a bug.  What parses must be playable: events
 * in time order, and every note-on ended by exactly one later note-off of
 * its own key, so no voice can stay stuck.  The events are then played on a
 * synthesizer for a bounded number of fragments (gaps between them are
 * shortened), and the output must be finite. */
#include "render-midi.h"
#include "fuzz-synth.h"
#include "vornadel.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <tuple>

/* Bounded work per input. */
constexpr guint MAX_EVENTS = 256, MAX_GAP = 2, TAIL = 4;
constexpr double RATE = 48000.0;

/* Every note-on is ended by one note-off of its key, none before it. */
static void
check_pairs (const std::vector<RenderEvent> &events)
{
  std::map<std::tuple<guint, guint8, guint8>, int> open;
  guint64 frame = 0;
  for (const RenderEvent &e : events)
    {
      if (e.frame < frame)
        fuzz::fail ("events out of time order");
      frame = e.frame;
      if (e.chan > 15 || e.note > 127 || e.velocity > 127 || !e.midi)
        fuzz::fail ("an event out of range");
      int &count = open[{ e.source, e.chan, e.note }];
      count += e.on ? 1 : -1;
      if (count < 0 || count > 1)
        fuzz::fail (count < 0 ? "a note-off without its note" : "two notes share one key");
    }
  for (const auto &[key, count] : open)
    if (count != 0)
      fuzz::fail ("a note is never released");
}

static void
play (const std::vector<RenderEvent> &events, bool double_format)
{
  static VornInst *inst = vorn_inst_new_default ();
  VornSynth *synth = fuzz::synth_new (double_format, 16u);
  for (int c = 0; c < 16; c++)
    vorn_synth_set_inst (synth, c, inst);

  guint64 pos = 0;
  for (size_t i = 0; i < events.size () && i < MAX_EVENTS; i++)
    {
      const RenderEvent &e = events[i];
      if (e.frame > pos)
        fuzz::render (synth, guint (MIN ((e.frame - pos + fuzz::FRAGMENT - 1) / fuzz::FRAGMENT, guint64 (MAX_GAP))));
      pos = e.frame;
      if (e.on)
        vorn_synth_note_on (synth, 1, e.source, e.chan, e.note, e.velocity, nullptr);
      else
        vorn_synth_note_off (synth, 1, e.source, e.chan, e.note, e.velocity);
    }
  fuzz::render (synth, TAIL);

  fuzz::synth_free (synth);
}

extern "C" int
LLVMFuzzerTestOneInput (const uint8_t *data, size_t size)
{
  fuzz::init ();

  if (size > RENDER_MIDI_MAX_SIZE)
    return 0;
  std::vector<RenderEvent> events;
  GError *error = nullptr;
  if (!render_parse_midi (data, size, "input", 0, RATE, events, &error))
    {
      if (!error || !error->message || !*error->message)
        fuzz::fail ("a failure must say why");
      g_error_free (error);
      return 0;
    }
  check_pairs (events);
  play (events, size % 2 == 1);
  return 0;
}
