/* test-synth-cpu.cpp: the CPU renderer end to end, through the render
 * functions the audio driver calls */
#include "test-synth-cpu.h"
#include "vorn-test-alloc.h"

#include <algorithm>
#include <cstring>
#include <random>

using namespace synth_test;

namespace {

/* Frequency from the upward zero crossings, each placed by linear
 * interpolation between the two samples around it. */
double
measure_freq (const std::vector<float> &x)
{
  double first = -1, last = -1;
  int count = 0;
  for (size_t i = 1; i < x.size (); i++)
    if (x[i - 1] < 0 && x[i] >= 0)
      {
        double t = double (i - 1) + double (-x[i - 1]) / double (x[i] - x[i - 1]);
        if (first < 0)
          first = t;
        last = t;
        count++;
      }
  return count > 1 ? (count - 1) / (last - first) * RATE : 0.0;
}

size_t
first_above (const std::vector<float> &x, float level)
{
  for (size_t i = 0; i < x.size (); i++)
    if (std::fabs (x[i]) > level)
      return i;
  return x.size ();
}

} // namespace

class SynthCpuFormat : public ::testing::TestWithParam<VornFormat> {};

TEST_P (SynthCpuFormat, NotePitchEnvelopesAndVoiceLifecycle)
{
  Synth s (GetParam ());

  guint id = s.note_on (69);
  ASSERT_NE (id, 0u);
  auto left = channel (s.render (48000 + 4800), 0);
  EXPECT_EQ (s.active (), 1u);

  /* The attack rises from silence to full level in about 10 ms (it runs in
   * decibels, so half the level comes late). */
  const float full = peak (left, 24000, 48000);
  EXPECT_GT (full, 0.05f);
  EXPECT_LT (peak (left, 0, 96), full * 0.01f);
  const size_t half = first_above (left, full * 0.5f);
  EXPECT_GT (half, size_t (RATE * 0.008));
  EXPECT_LT (half, size_t (RATE * 0.0115));
  EXPECT_GT (peak (left, size_t (RATE * 0.012), size_t (RATE * 0.02)), full * 0.9f);

  EXPECT_NEAR (measure_freq (std::vector<float> (left.begin () + 4800, left.end ())), 440.0, 0.1);

  /* Note-off: the release ends the voice and its start message comes back. */
  vorn_synth_note_off (s.synth, 0, 0, 0, 69, 0);
  EXPECT_TRUE (s.drain ().voices.empty ());
  guint frames = 0;
  std::vector<float> tail;
  while (s.active () && frames < 3 * 48000)
    {
      auto f = channel (s.render (480), 0);
      tail.insert (tail.end (), f.begin (), f.end ());
      frames += 480;
    }
  EXPECT_EQ (s.active (), 0u);
  EXPECT_GT (frames, 48000u * 8 / 10);
  EXPECT_LT (peak (tail, tail.size () - 480), full * 0.01f);
  Returned r = s.drain ();
  ASSERT_EQ (r.voices.size (), 1u);
  EXPECT_EQ (r.voices[0], id);
  EXPECT_EQ (r.others, 1); /* the stop-voice message */

  /* The freed slot plays again: an octave up. */
  s.note_on (81);
  auto again = channel (s.render (48000 + 4800), 0);
  EXPECT_NEAR (measure_freq (std::vector<float> (again.begin () + 4800, again.end ())), 880.0, 0.1);
}

TEST_P (SynthCpuFormat, BalanceLeftSendsEverythingToSpeakerOne)
{
  Synth s (GetParam ());
  guint id = s.note_on (60);
  vorn_synth_set_voice_control (s.synth, id, VORN_QUEUE_CONTROL_BALANCE, -1.0);
  auto out = s.render (9600);
  EXPECT_GT (peak (channel (out, 0), 4800), 0.05f);
  EXPECT_EQ (peak (channel (out, 1), 4800), 0.0f);
}

INSTANTIATE_TEST_SUITE_P (Formats, SynthCpuFormat,
                          ::testing::Values (VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE));

TEST (SynthCpu, LeftoverDeliversFragmentTailsWithoutApplyingMessages)
{
  Synth s, ref;
  s.note_on (69);
  ref.note_on (69);

  std::vector<float> got = s.render (64);
  auto add = [&] (guint n) {
    auto f = s.render (n);
    got.insert (got.end (), f.begin (), f.end ());
  };

  add (100); /* two fragments, 28 samples left over */
  s.note_on (76);
  add (20); /* from the leftover only: the new voice waits */
  EXPECT_EQ (s.active (), 1u);
  EXPECT_EQ (vorn_synth_get_sample_time (s.synth), 184u);
  add (8); /* the last 8: still no new fragment, no messages */
  EXPECT_EQ (s.active (), 1u);
  add (1); /* a new fragment: the voice starts at sample 192 */
  EXPECT_EQ (s.active (), 2u);
  EXPECT_EQ (vorn_synth_get_sample_time (s.synth), 193u);

  std::vector<float> want = ref.render (192);
  ref.note_on (76);
  auto f = ref.render (1);
  want.insert (want.end (), f.begin (), f.end ());
  ASSERT_EQ (got.size (), want.size ());
  EXPECT_EQ (memcmp (got.data (), want.data (), got.size () * sizeof (float)), 0);
}

TEST (SynthCpu, AnyRequestSizesGiveTheSameSecond)
{
  Synth a, b;
  for (Synth *s : { &a, &b })
    {
      s->note_on (57);
      s->note_on (64);
    }

  std::mt19937 rng (1234);
  std::uniform_int_distribution<guint> size (1, 4096);
  std::vector<float> got, want;
  while (got.size () < 48000 * 2)
    {
      auto f = a.render (std::min (size (rng), guint (48000 - got.size () / 2)));
      got.insert (got.end (), f.begin (), f.end ());
    }
  while (want.size () < 48000 * 2)
    {
      auto f = b.render (64);
      want.insert (want.end (), f.begin (), f.end ());
    }
  want.resize (got.size ());
  EXPECT_GT (peak (want), 0.05f);
  EXPECT_EQ (memcmp (got.data (), want.data (), got.size () * sizeof (float)), 0);
  EXPECT_EQ (vorn_synth_get_sample_time (a.synth), 48000u);
}

TEST (SynthCpu, VoiceLimitPanicAndNodeControls)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 2);
  guint first = s.note_on (60), second = s.note_on (64), third = s.note_on (67);
  s.render (64);
  EXPECT_EQ (s.active (), 2u);
  Returned r = s.drain ();
  ASSERT_EQ (r.voices.size (), 1u);
  EXPECT_EQ (r.voices[0], third);

  vorn_synth_panic (s.synth);
  s.render (64);
  EXPECT_EQ (s.active (), 0u);
  r = s.drain ();
  std::sort (r.voices.begin (), r.voices.end ());
  EXPECT_EQ (r.voices, (std::vector<guint>{ first, second }));
  EXPECT_EQ (r.others, 1);
  guint peak_voices = 0;
  vorn_synth_voice_stats (s.synth, nullptr, &peak_voices, FALSE);
  EXPECT_EQ (peak_voices, 2u);
}

TEST (SynthCpu, NodeControlCountLimitAndChannelFilter)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 100, 2);
  VornQueue *q[3];
  s.note_on (60, 0, &q[0]);
  s.note_on (62, 1, &q[1]);
  s.note_on (64, 0, &q[2]); /* newest */
  s.render (64);
  auto balance = [&] (int i) {
    return vorn_queue_get_private (q[i])->controls[VORN_QUEUE_CONTROL_BALANCE].value.f;
  };
  VornNode *node = VORN_NODE (s.inst);
  const guint16 bal = VORN_QUEUE_CONTROL_BALANCE;

  vorn_synth_set_node_control (s.synth, node, bal, VORN_SYNTH_MSG_ALL_CHANNELS, 1, 0.5,
                               VORN_WAVE_OP_SET);
  s.render (64);
  EXPECT_EQ (balance (0), 0.0f);
  EXPECT_EQ (balance (1), 0.0f);
  EXPECT_EQ (balance (2), 0.5f);

  vorn_synth_set_node_control (s.synth, node, bal, 0, 0, 0.25, VORN_WAVE_OP_SET);
  s.render (64);
  EXPECT_EQ (balance (0), 0.25f);
  EXPECT_EQ (balance (1), 0.0f);
  EXPECT_EQ (balance (2), 0.25f);

  vorn_synth_set_node_control (s.synth, node, bal, VORN_SYNTH_MSG_ALL_CHANNELS, 0, 0.5,
                               VORN_WAVE_OP_ADD);
  /* Another instrument's voices are not touched. */
  g_autoptr (VornInst) other = vorn_inst_new_default ();
  vorn_synth_set_node_control (s.synth, VORN_NODE (other), bal, VORN_SYNTH_MSG_ALL_CHANNELS, 0,
                               9.0, VORN_WAVE_OP_SET);
  s.render (64);
  EXPECT_EQ (balance (0), 0.75f);
  EXPECT_EQ (balance (1), 0.5f);
  EXPECT_EQ (balance (2), 0.75f);
  EXPECT_EQ (s.drain ().others, 4);

  for (VornQueue *queue : q)
    g_object_unref (queue);
}

TEST (SynthCpu, RenderCallsDoNotAllocateBeyondReturnedMessages)
{
  VORN_TEST_REQUIRE_ALLOC_COUNTER ();
  Synth s;
  std::vector<float> buf (2 * 1000);
  auto render = [&] (guint n) { (*s.inter_slot) (s.synth, buf.data (), n); };
  render (256); /* first call on this thread */

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
    /* Voices end inside these calls.  Handing a message back to the outbox
     * queues it in a list node, the only allocation allowed. */
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

/* Every variant against the SSE2 single-or-double reference, split against
 * interleaved, and the peak words against the written samples. */
class SynthCpuVariant : public ::testing::TestWithParam<std::tuple<VornFormat, VornSimd>> {};

namespace {

std::vector<float>
render_variant (VornFormat format, VornSimd simd, bool split, guint32 *peak_word)
{
  Synth s (format, 1, 100, 1, simd);
  s.note_on (62);
  s.note_on (69);
  std::vector<float> out;
  const int idx = format * 3 + simd;
  for (guint n : { 37u, 64u, 500u, 1u, 4096u, 7000u })
    {
      std::vector<float> l (n), r (n), frames (2 * n);
      guint32 before[2];
      vorn_synth_read_peak_levels (s.synth, before, 2);
      if (split)
        {
          float *outs[2] = { l.data (), r.data () };
          vorn_synth_cpu_render_split_float_table[idx] (s.synth, outs, n);
          for (guint i = 0; i < n; i++)
            frames[2 * i] = l[i], frames[2 * i + 1] = r[i];
        }
      else
        vorn_synth_cpu_render_inter_float_table[idx] (s.synth, frames.data (), n);
      out.insert (out.end (), frames.begin (), frames.end ());
      vorn_synth_read_peak_levels (s.synth, peak_word, 2);
    }
  return out;
}

} // namespace

TEST_P (SynthCpuVariant, MatchesReferenceBitForBit)
{
  auto [format, simd] = GetParam ();
  VornSimd detected = VORN_SIMD_SSE2;
  g_autoptr (VornSynth) probe = vorn_synth_cpu_new ();
  g_object_get (probe, "simd-detected", &detected, nullptr);
  if (simd > detected)
    GTEST_SKIP () << "instruction set not available";

  guint32 peak_split[2], peak_inter[2], peak_ref[2];
  auto inter = render_variant (format, simd, false, peak_inter);
  auto split = render_variant (format, simd, true, peak_split);
  auto ref = render_variant (format, VORN_SIMD_SSE2, false, peak_ref);
  ASSERT_EQ (inter.size (), ref.size ());
  EXPECT_EQ (memcmp (inter.data (), ref.data (), ref.size () * sizeof (float)), 0);
  EXPECT_EQ (memcmp (split.data (), ref.data (), ref.size () * sizeof (float)), 0);

  /* The last call wrote 7000 frames; its peak words hold their maxima. */
  for (int sp = 0; sp < 2; sp++)
    {
      auto ch = channel (std::vector<float> (ref.end () - 14000, ref.end ()), sp);
      float want = peak (ch);
      guint32 bits;
      memcpy (&bits, &want, sizeof bits);
      EXPECT_EQ (peak_inter[sp], bits);
      EXPECT_EQ (peak_split[sp], bits);
    }
}

INSTANTIATE_TEST_SUITE_P (
  Variants, SynthCpuVariant,
  ::testing::Combine (::testing::Values (VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE),
                      ::testing::Values (VORN_SIMD_SSE2, VORN_SIMD_AVX, VORN_SIMD_AVX2)));
