/* test-synth-cpu.cpp: the CPU renderer through the driver's render functions */
#include "test-synth-cpu.h"
#include "vorn-file.h"
#include "vorn-test-log.h"
#include "vorn-test-alloc.h"
#include "vorn-synth-private.h"
#include "vorn-tap.h"

#include <algorithm>
#include <cstring>
#include <random>

using namespace synth_test;

class SynthCpuFormat : public ::testing::TestWithParam<VornFormat> {};

TEST_P (SynthCpuFormat, NotePitchEnvelopesAndVoiceLifecycle)
{
  Synth s (GetParam ());
  guint id = s.note_on (69);
  auto left = channel (s.render (52800), 0);

  /* The 10 ms attack starts silent and is done by 12 ms. */
  const float full = peak (left, 24000);
  EXPECT_GT (full, 0.05f);
  EXPECT_LT (peak (left, 0, 96), full * 0.01f);
  EXPECT_GT (peak (left, 576, 960), full * 0.9f);
  EXPECT_NEAR (signal_test::frequency (left, RATE, 4800), 440.0, 0.1);

  /* Note-off: the one-second release ends the voice, the slot is recycled
   * and the start message comes back with the stop message. */
  vorn_synth_note_off (s.synth, 0, 0, 0, 69, 0);
  guint frames = 0;
  std::vector<float> tail;
  for (; s.active () && frames < 3 * 48000; frames += 480)
    tail = channel (s.render (480), 0);
  EXPECT_EQ (s.active (), 0u);
  EXPECT_GT (frames, 48000u * 8 / 10);
  EXPECT_LT (peak (tail), full * 0.01f);
  Returned r = s.drain ();
  EXPECT_EQ (r.voices, std::vector<guint> ({ id }));
  EXPECT_EQ (r.others, 1);

  /* An octave up, panned fully to speaker 1. */
  vorn_synth_set_voice_control (s.synth, s.note_on (81), VORN_QUEUE_CONTROL_BALANCE, -1.0);
  auto out = s.render (52800);
  EXPECT_NEAR (signal_test::frequency (channel (out, 0), RATE, 4800), 880.0, 0.1);
  EXPECT_EQ (peak (channel (out, 1)), 0.0f);
}

INSTANTIATE_TEST_SUITE_P (Formats, SynthCpuFormat,
                          ::testing::Values (VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE));

TEST (SynthCpu, LeftoverAndRequestSizes)
{
  Synth s, ref;
  s.note_on (69);
  ref.note_on (69);
  std::vector<float> got = s.render (64);
  auto add = [] (std::vector<float> &to, const std::vector<float> &f) {
    to.insert (to.end (), f.begin (), f.end ());
  };

  add (got, s.render (100)); /* two fragments, 28 samples left over */
  s.note_on (76);
  add (got, s.render (20)); /* from the leftover only: the voice waits */
  add (got, s.render (8));  /* the last 8: still no new fragment */
  add (got, s.render (1)); /* a new fragment: the voice starts at 192 */

  std::vector<float> want = ref.render (192);
  ref.note_on (76);
  add (want, ref.render (1));
  EXPECT_TRUE (same_bits (got, want));

  /* A second in random request sizes, interleaved and split by turns,
   * equals it in fragment-sized ones. */
  std::mt19937 rng (1234);
  got.clear ();
  want.clear ();
  for (int turn = 0; got.size () < 96000; turn++)
    {
      const guint n = std::min (guint (rng () % 4096 + 1), guint (48000 - got.size () / 2));
      if (turn % 2)
        {
          add (got, s.render (n));
          continue;
        }
      std::vector<float> l (n + 1, NAN), r (n + 1, NAN);
      float *outs[2] = { l.data (), r.data () };
      vorn_synth_render_split (s.synth, outs, n);
      EXPECT_TRUE (std::isnan (l[n]) && std::isnan (r[n])) << "split render wrote past the buffer";
      for (guint i = 0; i < n; i++)
        got.insert (got.end (), { l[i], r[i] });
    }
  while (want.size () < 96000)
    add (want, ref.render (64));
  EXPECT_GT (peak (want), 0.05f);
  EXPECT_TRUE (same_bits (got, want));
}

TEST (SynthCpu, VoiceLimitPanicAndNodeControls)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 3, 2);
  VornQueue *q[3];
  guint ids[3] = { s.note_on (60, 0, &q[0]), s.note_on (62, 1, &q[1]), s.note_on (64, 0, &q[2]) };
  guint refused = s.note_on (67);
  s.render (64);
  EXPECT_EQ (s.active (), 3u);
  EXPECT_EQ (s.drain ().voices, std::vector<guint> ({ refused })); /* nothing stolen */

  auto balances = [&] {
    std::vector<float> b;
    for (VornQueue *queue : q)
      b.push_back (vorn_queue_get_private (queue)->controls[VORN_QUEUE_CONTROL_BALANCE].value.f);
    return b;
  };
  auto set = [&] (VornNode *node, guint16 chan, int max, double v, VornWaveOp op) {
    vorn_synth_set_node_control (s.synth, node, VORN_QUEUE_CONTROL_BALANCE, chan, max, v, op);
    s.render (64);
  };
  VornNode *node = VORN_NODE (s.inst);
  set (node, VORN_SYNTH_MSG_ALL_CHANNELS, 1, 0.5, VORN_WAVE_OP_SET); /* newest only */
  EXPECT_EQ (balances (), (std::vector<float> { 0.0f, 0.0f, 0.5f }));
  set (node, 0, 0, 0.25, VORN_WAVE_OP_SET); /* channel 0, no limit */
  EXPECT_EQ (balances (), (std::vector<float> { 0.25f, 0.0f, 0.25f }));
  set (node, VORN_SYNTH_MSG_ALL_CHANNELS, 0, 0.5, VORN_WAVE_OP_ADD);
  g_autoptr (VornInst) other = vorn_inst_new_default ();
  set (VORN_NODE (other), VORN_SYNTH_MSG_ALL_CHANNELS, 0, 9.0, VORN_WAVE_OP_SET);
  EXPECT_EQ (balances (), (std::vector<float> { 0.75f, 0.5f, 0.75f }));
  /* One voice's own control (an id other than the control's). */
  ASSERT_NE (ids[2], guint (VORN_QUEUE_CONTROL_BALANCE));
  vorn_synth_set_voice_control (s.synth, ids[2], VORN_QUEUE_CONTROL_BALANCE, -0.5);
  s.render (64);
  EXPECT_EQ (balances (), (std::vector<float> { 0.75f, 0.5f, -0.5f }));
  EXPECT_EQ (s.drain ().others, 5);

  vorn_synth_panic (s.synth);
  s.render (64);
  EXPECT_EQ (s.active (), 0u);
  Returned r = s.drain ();
  std::sort (r.voices.begin (), r.voices.end ());
  EXPECT_EQ (r.voices, std::vector<guint> (ids, ids + 3));
  EXPECT_EQ (r.others, 1); /* the panic */
  for (VornQueue *queue : q)
    g_object_unref (queue);
}

/* The whole life of voices and settings on the render thread: not one
 * allocation or free there.  Everything that needs memory happens in the
 * API calls between the counted render calls. */
TEST (SynthCpu, RenderThreadNeverAllocatesOrFrees)
{
  VORN_TEST_REQUIRE_ALLOC_COUNTER ();
  Synth s (VORN_FORMAT_SINGLE, 1, 100, 2);
  std::vector<float> buf (2 * 1000);
  size_t allocs = 0, frees = 0;
  auto render = [&] (guint n, bool split = false) {
    float *outs[2] = { buf.data (), buf.data () + 500 };
    vorn_test::AllocationCounter counter;
    if (split)
      vorn_synth_render_split (s.synth, outs, n);
    else
      vorn_synth_render_interleaved (s.synth, buf.data (), n);
    allocs += counter.count ();
    frees += counter.frees ();
  };

  render (256);
  s.note_on (60);
  s.note_on (67, 1);
  render (1000);
  for (int i = 0; i < 20; i++)
    render (333);
  EXPECT_EQ (s.active (), 2u);
  EXPECT_GT (peak (buf), 0.05f);

  /* A same-key note-on releases the old voice; a note-off ends the rest. */
  s.note_on (60);
  vorn_synth_note_off (s.synth, 0, 0, 1, 67, 0);
  vorn_synth_tap_pause (s.synth, TRUE);
  for (int i = 0; i < 200 && s.active () > 1; i++)
    render (480, true);
  EXPECT_EQ (s.active (), 1u);
  vorn_synth_tap_pause (s.synth, FALSE);

  /* Settings changes that rebuild the master: cores (voices move over) and
   * format (voices are released), then panic. */
  g_object_set (s.synth, "cores", 2u, nullptr);
  render (512);
  EXPECT_EQ (s.active (), 1u);
  EXPECT_GT (peak (buf), 0.05f) << "the voice moved to the new master sounds on";
  g_object_set (s.synth, "cores", 1u, "audio-format", VORN_FORMAT_DOUBLE, nullptr);
  render (512);
  EXPECT_EQ (s.active (), 0u);
  s.note_on (64);
  s.note_on (65);
  render (512);
  EXPECT_EQ (s.active (), 2u);
  vorn_synth_set_control (s.synth, VORN_QUEUE_CONTROL_VOLUME, 0.5);
  vorn_synth_panic (s.synth);
  render (512);
  EXPECT_EQ (s.active (), 0u);

  EXPECT_EQ (allocs, 0u);
  EXPECT_EQ (frees, 0u);
  Returned r = s.drain ();
  EXPECT_EQ (r.voices.size (), 5u);
  EXPECT_EQ (vorn_synth_get_dropped_messages (s.synth), 0u);
}

/* Files found by fuzzing with instruments whose voices render NaN or
 * samples far beyond any sane level (unstable filters, runaway modulation):
 * such a voice is silenced and ended while its note is still held, and the
 * output stays finite throughout, in both formats. */
TEST (SynthCpu, VoicesWithNonFiniteOutputAreSilencedAndEnded)
{
  for (const char *name : { "nonfinite-2.vvi", "nonfinite-4.vvi" })
    for (VornFormat format : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
      {
        SCOPED_TRACE (testing::Message () << name << ", format " << format);
        g_autofree char *path = g_build_filename (VORN_FUZZ_CORPUS, name, nullptr);
        GError *error = nullptr;
        VornFile *file = vorn_file_load (path, &error);
        ASSERT_NE (file, nullptr) << error->message;
        /* Fuzzed files also hold bad enum names and duplicate ids, which
         * loading warns about. */
        vorn_test::take_all ();

        int bad = 0, ended_while_held = 0;
        for (VornNode *inst = VORN_NODE (file)->children; inst; inst = inst->next)
          {
            if (!VORN_IS_INST (inst))
              continue;
            Synth s (format);
            vorn_synth_set_inst (s.synth, 0, VORN_INST (inst));
            const guint voice = s.note_on (60);
            std::vector<guint> ended;
            for (int i = 0; i < 50 && ended.empty (); i++)
              {
                for (float v : s.render (480))
                  bad += !std::isfinite (v);
                ended = s.drain ().voices;
              }
            if (!ended.empty ())
              {
                EXPECT_EQ (ended, std::vector<guint> ({ voice }));
                EXPECT_EQ (s.active (), 0u);
                ended_while_held++;
              }
          }
        EXPECT_EQ (bad, 0);
        EXPECT_GE (ended_while_held, 1);
        g_object_unref (file);
      }
}

/* Full rings: nothing blocks, nothing is lost.  An outbox nobody drains
 * holds the inbox back; a full inbox returns messages unapplied. */
TEST (SynthCpu, FullRingsHoldBackOrReturnUnapplied)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 1);
  VornSynthPrivate *base = vorn_synth_get_private (s.synth);
  const guint in_cap = vorn_synth_ring_capacity (base->inbox);
  const guint out_cap = vorn_synth_ring_capacity (base->outbox);

  /* Fill the outbox with control returns, then some more. */
  guint posted = 0;
  while (posted < out_cap + 10)
    {
      for (guint i = 0; i < in_cap / 2; i++, posted++)
        vorn_synth_set_control (s.synth, VORN_QUEUE_CONTROL_BALANCE, 0.0);
      s.render (64);
    }
  EXPECT_EQ (vorn_synth_ring_count (base->outbox), out_cap);
  const guint waiting = vorn_synth_ring_count (base->inbox);
  EXPECT_GT (waiting, 0u) << "the inbox waits while the outbox is full";

  /* The inbox fills too: a message comes back unapplied, then once the
   * outbox is full as well, it is freed and counted. */
  while (vorn_synth_ring_count (base->inbox) < in_cap)
    vorn_synth_set_control (s.synth, VORN_QUEUE_CONTROL_BALANCE, 0.0), posted++;
  EXPECT_FALSE (vorn_synth_send_message (s.synth, vorn_synth_msg_new (VORN_SYNTH_MSG_PANIC)));
  EXPECT_EQ (vorn_synth_get_dropped_messages (s.synth), 1u);

  /* Drained and rendered, every message comes back exactly once. */
  guint returned = 0;
  for (int i = 0; i < 100 && returned < posted; i++)
    {
      returned += guint (s.drain ().others);
      s.render (64);
    }
  returned += guint (s.drain ().others);
  EXPECT_EQ (returned, posted);
}

/* The master tap handed out stays valid across a rebuild of the master and
 * keeps what it recorded; the getter then gives the new master's tap. */
TEST (SynthCpu, MasterTapSurvivesARebuild)
{
  Synth s;
  s.note_on (69);
  s.render (4800);
  VornTapGen *tap = vorn_synth_get_master_tap (s.synth);
  ASSERT_NE (tap, nullptr);
  std::vector<double> before (4800);
  ASSERT_EQ (vorn_tap_gen_read (tap, before.data (), 4800, 0, -4800, nullptr), 4800);
  EXPECT_GT (*std::max_element (before.begin (), before.end ()), 0.05);

  int notified = 0;
  g_signal_connect_swapped (s.synth, "notify::master-queue", G_CALLBACK (+[] (int *n) { ++*n; }),
                            &notified);
  VornQueue *old = nullptr;
  g_object_get (s.synth, "master-queue", &old, nullptr);
  g_object_add_weak_pointer (G_OBJECT (old), reinterpret_cast<gpointer *> (&old));
  g_object_unref (old);
  g_object_set (s.synth, "audio-format", VORN_FORMAT_DOUBLE, nullptr);
  EXPECT_EQ (notified, 1);
  s.render (4800);
  EXPECT_EQ (s.drain ().others, 1) << "the update comes back with the master it replaced";
  EXPECT_EQ (old, nullptr) << "which is freed with it: the tap held here must survive it";

  std::vector<double> after (4800);
  ASSERT_EQ (vorn_tap_gen_read (tap, after.data (), 4800, 0, -4800, nullptr), 4800);
  EXPECT_EQ (after, before) << "the old tap records no more and keeps its history";

  g_autoptr (VornTapGen) now = vorn_synth_get_master_tap (s.synth);
  EXPECT_NE (now, tap);
  EXPECT_GE (vorn_tap_gen_get_data_size_time (now, nullptr), 4800u);
  g_object_unref (tap);
}
