/* test-synth-notes.cpp: note events played on the render thread at their
 * frame, from voices compiled ahead */
#include "test-synth-cpu.h"
#include "vorn-synth-cpu-private.h"
#include "vorn-test-alloc.h"
#include "vorn-queue-private.h"
#include "vorn-wave.h"

#include <random>

using namespace synth_test;

namespace {

/* Started, with voices compiled ahead for note events. */
struct NoteSynth : Synth {
  explicit NoteSynth (guint channels = 1) : Synth (VORN_FORMAT_SINGLE, 1, 100, channels)
  {
    vorn_synth_prepare_voices (synth);
  }
};

VornSynthEvent
ev (guint32 frame, guint8 status, guint8 note, guint8 vel = 100)
{
  return { frame, 3, { status, note, vel } };
}

/* Renders @total frames in blocks of the lengths @next gives, each event
 * handed to the block its frame (counted from the first) falls in; adds
 * the allocations of the render calls to @allocs. */
template <typename Next>
std::vector<float>
render_blocks (NoteSynth &s, guint total, std::vector<VornSynthEvent> events, Next next,
               size_t *allocs = nullptr)
{
  std::vector<float> out (total * 2);
  std::vector<VornSynthEvent> block;
  block.reserve (events.size ());
  size_t e = 0;
  for (guint done = 0; done < total;)
    {
      const guint n = std::min (next (), total - done);
      block.clear ();
      for (; e < events.size () && events[e].frame < done + n; e++)
        {
          block.push_back (events[e]);
          block.back ().frame -= done;
        }
      vorn_test::AllocationCounter counter;
      vorn_synth_render_events_interleaved (s.synth, out.data () + done * 2, n, block.data (),
                                            guint (block.size ()));
      if (allocs)
        *allocs += counter.count ();
      done += n;
    }
  return out;
}

std::vector<float>
render_fixed (NoteSynth &s, guint total, std::vector<VornSynthEvent> events, guint block)
{
  return render_blocks (s, total, std::move (events), [block] { return block; });
}

/* The largest difference of @b from @a moved @shift frames later. */
float
max_diff (const std::vector<float> &a, size_t shift, const std::vector<float> &b)
{
  float d = 0;
  for (size_t i = 0; i < b.size (); i++)
    d = std::max (d, std::fabs (a[shift + i] - b[i]));
  return d;
}

/* Note 69 on at @on and off at @off (none: G_MAXUINT), in blocks of 64. */
std::vector<float>
note (NoteSynth &s, guint on, guint off, guint total, size_t *allocs = nullptr)
{
  std::vector<VornSynthEvent> events = { ev (on, 0x90, 69) };
  if (off != G_MAXUINT)
    events.push_back (ev (off, 0x80, 69));
  return render_blocks (s, total, events, [] { return 64u; }, allocs);
}


} // namespace

/* A note at any frame sounds as the same note at frame 0, moved by its
 * frame plus the constant latency: every frame of a fragment, block
 * lengths that do and do not divide the fragment. */
TEST (SynthNotes, OnsetAtItsFrame)
{
  NoteSynth ref_synth;
  const std::vector<float> ref = render_fixed (ref_synth, 4096, { ev (0, 0x90, 69) }, 64);
  /* Its first sample is 0: a sine from phase 0. */
  const size_t onset = signal_test::first_sound (channel (ref, 0), 0.0f);
  EXPECT_EQ (onset, size_t (VORN_SYNTH_EVENT_LATENCY + VORN_WAVE_ANTIALIAS_DELAY) + 1);

  const struct {
    guint frame, block;
  } cases[] = { { 1, 64 }, { 17, 64 }, { 63, 64 }, { 64, 64 }, { 100, 256 }, { 5, 1 },
                { 333, 100 }, { 511, 1024 }, { 700, 37 } };
  for (const auto &c : cases)
    {
      NoteSynth s;
      const std::vector<float> out = render_fixed (s, 4096 + c.frame, { ev (c.frame, 0x90, 69) },
                                                   c.block);
      EXPECT_EQ (signal_test::first_sound (channel (out, 0), 0.0f), onset + c.frame)
        << "frame " << c.frame << ", blocks of " << c.block;
      /* The whole sound, not only its start: the carried tails are right. */
      EXPECT_LT (max_diff (out, 2 * c.frame, ref), 1e-6f)
        << "frame " << c.frame << ", blocks of " << c.block;
    }
}

/* Events posted from input threads play at their sample time plus the same
 * latency; one posted in the past plays at once. */
TEST (SynthNotes, PostedEventsPlayAtTheirTime)
{
  for (guint64 time : { 0u, 300u, 1000u })
    {
      NoteSynth s;
      const guint8 on[] = { 0x90, 69, 100 };
      render_fixed (s, 256, {}, 256);
      EXPECT_TRUE (vorn_synth_post_event (s.synth, time, on, 3));
      const std::vector<float> out = render_fixed (s, 2048, {}, 100);
      const guint64 expect = MAX (time + VORN_SYNTH_EVENT_LATENCY, guint64 (256)) + 1 - 256
                             + VORN_WAVE_ANTIALIAS_DELAY;
      EXPECT_EQ (signal_test::first_sound (channel (out, 0), 0.0f), expect) << "time " << time;
    }
  const guint8 volume[] = { 0xb0, 7, 64 };
  EXPECT_FALSE (vorn_synth_post_event (NoteSynth ().synth, 0, volume, 3));
}

/* Blocks of random lengths render what one block renders, chords, note-offs
 * and a repeated key included; the render thread allocates nothing. */
TEST (SynthNotes, RandomBlocks)
{
  const std::vector<VornSynthEvent> events = {
    ev (10, 0x90, 60), ev (10, 0x90, 64), ev (11, 0x90, 67), ev (900, 0x80, 64),
    ev (1500, 0x90, 60, 50), ev (2500, 0x80, 60), ev (2501, 0xb0, 123, 0), ev (3000, 0x91, 72),
  };
  NoteSynth whole (2);
  const std::vector<float> ref = render_fixed (whole, 6000, events, 6000);
  EXPECT_GT (peak (ref), 0.05f);

  for (unsigned seed : { 1u, 2u, 3u })
    {
      VORN_TEST_REQUIRE_ALLOC_COUNTER ();
      NoteSynth s (2);
      std::mt19937 rng (seed);
      size_t allocs = 0;
      const std::vector<float> out
        = render_blocks (s, 6000, events, [&rng] { return guint (rng () % 300) + 1; }, &allocs);
      EXPECT_EQ (allocs, 0u) << "seed " << seed;
      EXPECT_TRUE (same_bits (out, ref)) << "seed " << seed;
    }
}

/* Note-ons beyond the prepared voices, and events beyond what can wait, are
 * counted, not lost in silence. */
TEST (SynthNotes, OverflowCounted)
{
  NoteSynth s;
  std::vector<VornSynthEvent> chord;
  for (guint8 n = 0; n < 20; n++)
    chord.push_back (ev (0, 0x90, guint8 (40 + n)));
  render_fixed (s, 128, chord, 64);
  EXPECT_EQ (s.active (), 16u);
  EXPECT_EQ (vorn_synth_get_event_overflow (s.synth), 4u);
  render_fixed (s, 64, std::vector (VORN_SYNTH_CPU_TIMED_EVENTS + 10, ev (0, 0x80, 1)), 64);
  EXPECT_EQ (vorn_synth_get_event_overflow (s.synth), 14u);
}

/* With notifications on, a note event's voice is announced with its id; a
 * voice dropped as stale comes back as a plain start-voice. */
TEST (SynthNotes, NotifiesItsVoices)
{
  NoteSynth s;
  g_object_set (s.synth, "start-voice-notify", TRUE, nullptr);
  render_fixed (s, 128, { ev (0, 0x90, 60) }, 128);
  guint notified = 0;
  while (VornSynthMsg *msg = vorn_synth_get_message (s.synth))
    {
      if (msg->type == VORN_SYNTH_MSG_START_VOICE_NOTIFY)
        {
          notified = msg->start_voice_notify.voice_id;
          g_object_unref (msg->start_voice_notify.queue);
        }
      vorn_synth_msg_free (msg);
    }
  EXPECT_NE (notified, 0u);
  g_object_set (s.inst, "root-note", 50.0, nullptr);
  vorn_synth_prepare_voices (s.synth);
  render_fixed (s, 128, {}, 128);
  const Returned r = s.drain ();
  EXPECT_EQ (r.voices.size (), 30u) << "the 15 voices left, and their notifications";
}

/* An edit reaches the next note once the voices are compiled again; until
 * then the note plays what was prepared. */
TEST (SynthNotes, EditPlaysAtTheNextNote)
{
  NoteSynth s;
  auto sound = [&s] {
    const std::vector<VornSynthEvent> on = { ev (0, 0x90, 69) }, off = { ev (0, 0x80, 69) };
    std::vector<float> out = render_fixed (s, 2048, on, 512);
    render_fixed (s, 4800, off, 4800);
    for (int i = 0; i < 200 && s.active (); i++)
      render_fixed (s, 4800, {}, 4800);
    return out;
  };
  const std::vector<float> before = sound ();
  g_object_set (s.inst, "root-note", 57.0, nullptr);
  EXPECT_TRUE (same_bits (sound (), before)) << "stale voices were dropped before a new one was made";
  vorn_synth_prepare_voices (s.synth);
  EXPECT_FALSE (same_bits (sound (), before));
  EXPECT_EQ (vorn_synth_get_event_overflow (s.synth), 0u);
}

/* The sustain pedal keeps released keys sounding until it comes up; all
 * notes off ends held and sustained keys alike. */
TEST (SynthNotes, PedalAndAllNotesOff)
{
  NoteSynth s;
  const struct {
    std::vector<VornSynthEvent> events;
    guint sounding; /* voices held, not released: still there 10 s later */
  } cases[] = {
    { { ev (0, 0x90, 60), ev (10, 0x80, 60) }, 0 },
    { { ev (0, 0xb0, 64, 127), ev (0, 0x90, 60), ev (10, 0x80, 60) }, 1 },
    { { ev (0, 0xb0, 64, 127), ev (0, 0x90, 60), ev (10, 0x80, 60), ev (20, 0x90, 60) }, 1 },
    { { ev (0, 0xb0, 64, 127), ev (0, 0x90, 60), ev (10, 0x80, 60), ev (20, 0xb0, 64, 0) }, 0 },
    { { ev (0, 0xb0, 64, 127), ev (0, 0x90, 60), ev (1, 0x90, 62), ev (10, 0x80, 60),
        ev (20, 0xb0, 123, 0), ev (30, 0xb0, 64, 0) }, 0 },
    /* A key struck again stacks: one note-off leaves one voice. */
    { { ev (0, 0x90, 60), ev (1, 0x90, 60), ev (2, 0x80, 60) }, 1 },
  };
  for (size_t i = 0; i < G_N_ELEMENTS (cases); i++)
    {
      render_fixed (s, 480000, cases[i].events, 4800);
      EXPECT_EQ (s.active (), cases[i].sounding) << "case " << i;
      render_fixed (s, 64, { ev (0, 0xb0, 120, 0), ev (0, 0xb0, 64, 0) }, 64);
      for (int n = 0; n < 100 && s.active (); n++)
        render_fixed (s, 4800, {}, 4800);
      vorn_synth_prepare_voices (s.synth);
    }
}

/* A bend reaches the voice sounding and the one started after it, on its
 * channel, with the synthesizer's range; centred again, the pitch is back. */
TEST (SynthNotes, BendReachesEveryVoice)
{
  const struct { std::vector<VornSynthEvent> events; double range, semis; } cases[] = {
    { { ev (0, 0x90, 69), ev (1000, 0xe0, 0x7f, 0x7f) }, 2, 2 },
    { { ev (0, 0xe0, 0x7f, 0x7f), ev (1000, 0x90, 69) }, 2, 2 },
    { { ev (0, 0xe0, 0, 0), ev (1000, 0x90, 69) }, 2, -2 },
    { { ev (0, 0xe1, 0, 0), ev (1000, 0x90, 69) }, 2, 0 },
    { { ev (0, 0xe0, 0x7f, 0x7f), ev (10, 0xe0, 0, 64), ev (1000, 0x90, 69) }, 2, 0 },
    { { ev (0, 0x90, 69), ev (1000, 0xe0, 0x7f, 0x7f) }, 12, 12 },
  };
  for (size_t i = 0; i < G_N_ELEMENTS (cases); i++)
    {
      VORN_TEST_REQUIRE_ALLOC_COUNTER ();
      NoteSynth s (2);
      vorn_synth_set_bend_range (s.synth, cases[i].range);
      size_t allocs = 0;
      const auto out = render_blocks (s, 24000, cases[i].events, [] { return 100u; }, &allocs);
      EXPECT_EQ (allocs, 0u) << "case " << i;
      EXPECT_NEAR (signal_test::frequency (channel (out, 0), RATE, 8000),
                   440 * std::exp2 (cases[i].semis / 12), 1.0) << "case " << i;
    }
}

/* The wheel's value reaches the voices sounding and those started after it
 * moved, of its channel only. */
TEST (SynthNotes, WheelReachesLaterVoices)
{
  NoteSynth s (2);
  VornWave *morph = VORN_WAVE (g_object_new (
    VORN_TYPE_WAVE, "y-attrib", VORN_ATTRIB_TYPE_CONTROL, "dest-attrib", VORN_ATTRIB_TYPE_MORPH,
    "play-mode", VORN_WAVE_PLAY_MODE_STOP, "trig-mode", VORN_WAVE_TRIG_MODE_PRESSED, nullptr));
  vorn_node_insert (VORN_NODE (s.inst), VORN_NODE (morph), -1);
  g_object_unref (morph);
  vorn_synth_prepare_voices (s.synth);
  const int id = vorn_synth_inst_get_control_id (s.inst, morph);
  VORN_TEST_REQUIRE_ALLOC_COUNTER ();
  size_t allocs = 0;
  render_blocks (s, 512, { ev (0, 0x90, 60), ev (0, 0x91, 60), ev (10, 0xb0, 1, 100),
                           ev (100, 0x90, 64), ev (100, 0x91, 64) }, [] { return 64u; }, &allocs);
  EXPECT_EQ (allocs, 0u);
  EXPECT_EQ (s.active (), 4u);
  const VornSynthCpuRender *rt = vorn_synth_cpu_get_private (s.synth)->rt;
  for (guint16 idx = rt->active_head; idx != VORN_SYNTH_CPU_NO_VOICE; idx = rt->voices[idx].next)
    EXPECT_FLOAT_EQ (vorn_queue_get_private (rt->voices[idx].queue)->controls[id].value.f,
                     rt->voices[idx].chan == 0 ? 100 / 127.0f : 0.0f) << "voice " << idx;
}

/* Per instrument (default; a "pressed" tremolo; release-triggered square
 * and pitch, first so that the sine reads them): a note moved by any d
 * within two fragments sounds moved by d, release included; the release
 * begins exactly at its frame plus the latency its onset has, band-limiting
 * delay included (tol: a dynamic pitch makes
 * the sine's walk round otherwise); where smooth, its largest step stays
 * within the sustained note's (no click). */
TEST (SynthNotes, NoteOffsAtTheirFrame)
{
  const struct { std::vector<std::pair<VornWavePreset, VornWaveTrigMode>> extra; guint after; float tol; } insts[] = {
    { {}, 1, 0 },
    { { { VORN_WAVE_PRESET_VOLUME_MODULATION, VORN_WAVE_TRIG_MODE_PRESSED } }, 0, 0 },
    { { { VORN_WAVE_PRESET_SIGNAL_SQUARE, VORN_WAVE_TRIG_MODE_RELEASE },
        { VORN_WAVE_PRESET_PITCH_RELEASE, VORN_WAVE_TRIG_MODE_RELEASE } }, 0, 1e-5f },
  };
  const bool counting = vorn_test::AllocationCounter::available ();
  for (size_t k = 0; k < G_N_ELEMENTS (insts); k++)
    {
      auto make = [&] (NoteSynth &s) {
        for (const auto &[preset, trig] : insts[k].extra)
          {
            g_autoptr (VornWave) wave = vorn_wave_new_from_preset (preset);
            g_object_set (wave, "trig-mode", trig, nullptr);
            vorn_node_insert (VORN_NODE (s.inst), VORN_NODE (wave), 0);
          }
        vorn_synth_prepare_voices (s.synth);
      };
      for (const auto &[on, off] : { std::pair (10u, 500u), { 40u, 1030u }, { 20u, 50u }, { 50u, 70u } })
        {
          NoteSynth r;
          make (r);
          const std::vector<float> ref = note (r, on, off, off + 3000);
          for (guint d = 1; d < 128; d++)
            {
              NoteSynth s;
              make (s);
              size_t allocs = 0;
              const std::vector<float> out = note (s, on + d, off + d, off + 3000 + d, &allocs);
              ASSERT_LT (max_diff (out, 2 * d, ref), 1e-6f) << k << ": " << on << ", " << off << " + " << d;
              EXPECT_TRUE (!counting || allocs == 0);
            }
        }
      for (guint off : { 700u, 701u, 727u, 763u, 1000u })
        {
          NoteSynth held, released;
          make (held);
          make (released);
          const std::vector<float> a = note (held, 0, G_MAXUINT, off + 2000);
          const std::vector<float> b = note (released, 0, off, off + 2000);
          size_t first = 0;
          while (first < b.size () / 2 && std::fabs (a[2 * first] - b[2 * first]) <= insts[k].tol)
            first++;
          EXPECT_EQ (first, off + VORN_SYNTH_EVENT_LATENCY + VORN_WAVE_ANTIALIAS_DELAY + insts[k].after)
            << k << ": off " << off;
          float step_held = 0, step_released = 0;
          for (size_t i = 2 * (off + 64); i + 2 < a.size (); i += 2)
            step_held = std::max (step_held, std::fabs (a[i + 2] - a[i])),
            step_released = std::max (step_released, std::fabs (b[i + 2] - b[i]));
          EXPECT_TRUE (insts[k].tol > 0 || step_released <= step_held * 1.001f) << k << ": off " << off;
        }
    }
}
