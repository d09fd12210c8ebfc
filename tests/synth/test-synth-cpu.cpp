/* test-synth-cpu.cpp: the CPU renderer through the driver's render functions */
#include "test-synth-cpu.h"
#include "vorn-test-alloc.h"

#include <algorithm>
#include <cstring>
#include <random>

using namespace synth_test;

namespace {

bool
same_bits (const std::vector<float> &a, const std::vector<float> &b)
{
  return a.size () == b.size () && memcmp (a.data (), b.data (), a.size () * sizeof (float)) == 0;
}

} // namespace

class SynthCpuFormat : public ::testing::TestWithParam<VornFormat> {};

TEST_P (SynthCpuFormat, NotePitchEnvelopesAndVoiceLifecycle)
{
  Synth s (GetParam ());
  guint id = s.note_on (69);
  auto left = channel (s.render (52800), 0);
  EXPECT_EQ (s.active (), 1u);

  /* The 10 ms attack runs in decibels: half level only late in it. */
  const float full = peak (left, 24000);
  EXPECT_GT (full, 0.05f);
  EXPECT_LT (peak (left, 0, 96), full * 0.01f);
  const size_t half = size_t (std::find_if (left.begin (), left.end (),
                                            [&] (float x) { return std::fabs (x) > full / 2; })
                              - left.begin ());
  EXPECT_GT (half, size_t (RATE * 0.008));
  EXPECT_LT (half, size_t (RATE * 0.0115));
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
  EXPECT_EQ (s.active (), 1u);
  EXPECT_EQ (vorn_synth_get_sample_time (s.synth), 192u);
  add (got, s.render (1)); /* a new fragment: the voice starts at 192 */
  EXPECT_EQ (s.active (), 2u);

  std::vector<float> want = ref.render (192);
  ref.note_on (76);
  add (want, ref.render (1));
  EXPECT_TRUE (same_bits (got, want));

  /* A second in random request sizes equals it in fragment-sized ones. */
  std::mt19937 rng (1234);
  got.clear ();
  want.clear ();
  while (got.size () < 96000)
    add (got, s.render (std::min (guint (rng () % 4096 + 1), guint (48000 - got.size () / 2))));
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
  EXPECT_EQ (s.drain ().others, 4);

  VornQueue *master = nullptr;
  g_object_get (s.synth, "master-queue", &master, nullptr);
  vorn_synth_tap_pause (s.synth, TRUE);
  s.render (64);
  EXPECT_EQ (master->tap_mode, VORN_QUEUE_TAP_MODE_PAUSED);
  g_object_unref (master);

  vorn_synth_panic (s.synth);
  s.render (64);
  EXPECT_EQ (s.active (), 0u);
  Returned r = s.drain ();
  std::sort (r.voices.begin (), r.voices.end ());
  EXPECT_EQ (r.voices, std::vector<guint> (ids, ids + 3));
  EXPECT_EQ (r.others, 2); /* tap-pause and panic */
  for (VornQueue *queue : q)
    g_object_unref (queue);
}

TEST (SynthCpu, RenderCallsDoNotAllocateBeyondReturnedMessages)
{
  VORN_TEST_REQUIRE_ALLOC_COUNTER ();
  Synth s;
  std::vector<float> buf (2 * 1000);
  auto render = [&] (guint n) { (*s.inter_slot) (s.synth, buf.data (), n); };
  render (256);

  /* Posted beforehand: compiling voices allocates on the application side. */
  s.note_on (60);
  s.note_on (67);
  {
    vorn_test::AllocationCounter counter;
    render (1000);
    for (int i = 0; i < 50; i++)
      render (333);
    EXPECT_EQ (counter.count (), 0u);
  }
  EXPECT_EQ (s.active (), 2u);
  EXPECT_GT (peak (buf), 0.05f);

  vorn_synth_note_off (s.synth, 0, 0, 0, 60, 0);
  vorn_synth_note_off (s.synth, 0, 0, 0, 67, 0);
  size_t allocs;
  {
    /* Voices end here; an outbox list node per returned message is allowed. */
    vorn_test::AllocationCounter counter;
    for (int i = 0; i < 200 && s.active (); i++)
      render (512);
    allocs = counter.count ();
  }
  EXPECT_EQ (s.active (), 0u);
  Returned r = s.drain ();
  EXPECT_EQ (r.voices.size (), 2u);
  EXPECT_LE (allocs, r.voices.size () + r.others);
}

/* Each variant, split and interleaved, against SSE2; peak words against samples. */
class SynthCpuVariant : public ::testing::TestWithParam<std::tuple<VornFormat, VornSimd>> {};

namespace {

std::vector<float>
render_variant (VornFormat format, VornSimd simd, bool split, guint32 peaks[2])
{
  Synth s (format, 1, 100, 1, simd);
  s.note_on (62);
  s.note_on (69);
  std::vector<float> out;
  for (guint n : { 37u, 64u, 500u, 1u, 4096u, 7000u })
    {
      std::vector<float> l (n), r (n), frames (2 * n);
      vorn_synth_read_peak_levels (s.synth, peaks, 2);
      if (split)
        {
          float *outs[2] = { l.data (), r.data () };
          vorn_synth_cpu_render_split_float_table[format * 3 + simd] (s.synth, outs, n);
          for (guint i = 0; i < n; i++)
            frames[2 * i] = l[i], frames[2 * i + 1] = r[i];
        }
      else
        vorn_synth_cpu_render_inter_float_table[format * 3 + simd] (s.synth, frames.data (), n);
      out.insert (out.end (), frames.begin (), frames.end ());
    }
  vorn_synth_read_peak_levels (s.synth, peaks, 2);
  return out;
}

} // namespace

TEST_P (SynthCpuVariant, MatchesReferenceBitForBit)
{
  auto [format, simd] = GetParam ();
  if (simd > vorn_util_cpu_detect ())
    GTEST_SKIP () << "instruction set not available";

  guint32 peak_split[2], peak_inter[2], peak_ref[2];
  auto ref = render_variant (format, VORN_SIMD_SSE2, false, peak_ref);
  EXPECT_TRUE (same_bits (render_variant (format, simd, false, peak_inter), ref));
  EXPECT_TRUE (same_bits (render_variant (format, simd, true, peak_split), ref));
  for (int sp = 0; sp < 2; sp++)
    {
      float want = peak (channel (std::vector<float> (ref.end () - 14000, ref.end ()), sp));
      EXPECT_EQ (peak_inter[sp], peak_split[sp]);
      EXPECT_EQ (memcmp (&peak_inter[sp], &want, 4), 0);
    }
}

INSTANTIATE_TEST_SUITE_P (
  Variants, SynthCpuVariant,
  ::testing::Combine (::testing::Values (VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE),
                      ::testing::Values (VORN_SIMD_SSE2, VORN_SIMD_AVX, VORN_SIMD_AVX2)));
