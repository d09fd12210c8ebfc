/* Speaker mix: gains from the panning curves, clamping and caching, the
 * source/destination combinations, and agreement of the render variants. */
#include "gen-harness.h"
#include "vorn-test-log.h"

#include <cmath>

using vorn_test::AttribRecords;
using vorn_test::GenHarness;
using vorn_test::GenVariant;

/* Slots of the mix generator. */
enum { SIG, BAL, LAT, SRC, DEST };

static VornMixGen *
make_mix_gen (GenHarness &h)
{
  g_autoptr (VornMix) mix = vorn_mix_new ();
  return reinterpret_cast<VornMixGen *> (h.create_gen (VORN_NODE (mix)));
}

static double
gain (VornMixGen *gen, guint s, VornFormat format)
{
  return format == VORN_FORMAT_DOUBLE ? static_cast<double *> (gen->gains)[s]
                                      : double (static_cast<float *> (gen->gains)[s]);
}

TEST (Mix, NodeDefaultsDuplicateAndGenerator)
{
  g_autoptr (VornMix) mix = vorn_mix_new ();
  EXPECT_EQ (vorn_test::json_text (mix), R"({"type":"VornMix","sig-attrib":"signal",)"
                                         R"("bal-attrib":"balance","lat-attrib":"latitude",)"
                                         R"("src-attrib":"speakers","dest-attrib":"speakers"})");
  int notified = 0; /* only on change */
  g_signal_connect_swapped (mix, "notify::sig-attrib", G_CALLBACK (+[] (int *n) { (*n)++; }), &notified);
  g_object_set (mix, "sig-attrib", VORN_ATTRIB_TYPE_EFFECT2, "src-attrib", VORN_ATTRIB_TYPE_NONE,
                nullptr);
  g_object_set (mix, "sig-attrib", VORN_ATTRIB_TYPE_EFFECT2, nullptr);
  EXPECT_EQ (notified, 1);
  g_autoptr (VornNode) copy = vorn_node_duplicate (VORN_NODE (mix));
  EXPECT_EQ (vorn_test::json_text (copy), R"({"type":"VornMix","sig-attrib":"effect2",)"
                                          R"("bal-attrib":"balance","lat-attrib":"latitude",)"
                                          R"("src-attrib":"none","dest-attrib":"speakers"})");

  GenHarness h (VORN_FORMAT_SINGLE, VORN_SIMD_SSE2, 3);
  VornMixGen *gen = make_mix_gen (h);
  ASSERT_TRUE (VORN_IS_MIX_GEN (gen));
  EXPECT_EQ (VORN_GEN (gen)->src_count, 4);
  EXPECT_EQ (VORN_GEN (gen)->dest_count, 1);
  EXPECT_EQ (gen->speaker_count, 3u);
  EXPECT_EQ (gen->cached_bal, -2.0);
}

TEST (Mix, GainsFollowCurvesClampAndAreCached)
{
  GenHarness h (VORN_FORMAT_DOUBLE, VORN_SIMD_SSE2, 4);
  VornMixGen *gen = make_mix_gen (h);
  AttribRecords sig (VORN_FORMAT_DOUBLE), bal (VORN_FORMAT_DOUBLE), lat (VORN_FORMAT_DOUBLE);
  AttribRecords dest (VORN_FORMAT_DOUBLE, 4);
  h.bind (SIG, sig);
  h.bind (BAL, bal);
  h.bind (LAT, lat);
  h.bind (DEST, dest);
  sig.set_const (1.0);

  /* Four speakers: balance fall, rise, fall, rise; latitude rise, rise,
   * fall, fall.  Balance 5 acts as 1 (right), latitude -3 as -1 (rear). */
  bal.set_const (5.0);
  lat.set_const (-3.0);
  EXPECT_TRUE (h.render ());
  EXPECT_EQ (gen->cached_bal, 1.0);
  EXPECT_EQ (gen->cached_lat, -1.0);
  const double right_rear[4] = { 0.0, 0.0, 0.0, 1.0 };
  for (guint s = 0; s < 4; s++)
    {
      EXPECT_NEAR (gain (gen, s, VORN_FORMAT_DOUBLE), right_rear[s], 1e-12) << s;
      EXPECT_EQ (dest.state (s), VORN_ATTRIB_STATE_CONST);
      EXPECT_DOUBLE_EQ (dest.value (s), right_rear[s]);
    }

  /* Unchanged position: the gains are not recomputed (a planted value
   * survives); the first sample of a dynamic input counts. */
  static_cast<double *> (gen->gains)[0] = 0.25;
  bal.set_dynamic ([] (int i) { return i == 0 ? 1.0 : -1.0; });
  h.render ();
  EXPECT_EQ (gain (gen, 0, VORN_FORMAT_DOUBLE), 0.25);

  bal.set_const (0.0);
  lat.set_const (0.0);
  h.render ();
  EXPECT_NE (gain (gen, 0, VORN_FORMAT_DOUBLE), 0.25);
  for (guint s = 0; s < 4; s++)
    EXPECT_GT (gain (gen, s, VORN_FORMAT_DOUBLE), 0.0);
}

TEST (Mix, TwoSpeakersHardLeft)
{
  GenHarness h (VORN_FORMAT_SINGLE, VORN_SIMD_SSE2, 2);
  VornMixGen *gen = make_mix_gen (h);
  AttribRecords sig (VORN_FORMAT_SINGLE), bal (VORN_FORMAT_SINGLE), dest (VORN_FORMAT_SINGLE, 2);
  h.bind (SIG, sig);
  h.bind (BAL, bal);
  h.bind (DEST, dest); /* latitude unbound: read as 0 */
  sig.set_dynamic ([] (int i) { return std::sin (i * 0.1); });
  bal.set_const (-1.0);
  h.render ();
  EXPECT_EQ (gain (gen, 0, VORN_FORMAT_SINGLE), 1.0);
  EXPECT_EQ (gain (gen, 1, VORN_FORMAT_SINGLE), 0.0);
  EXPECT_EQ (dest.fragment (0), sig.fragment ());
  EXPECT_EQ (dest.state (1), VORN_ATTRIB_STATE_DYNAMIC);
  EXPECT_EQ (dest.at (10, 1), 0.0);
}

/* Every row of the source/destination table for both signal kinds. */
TEST (Mix, SourceDestinationTable)
{
  GenHarness h (VORN_FORMAT_DOUBLE, VORN_SIMD_SSE2, 1);
  make_mix_gen (h);
  AttribRecords sig (VORN_FORMAT_DOUBLE), src (VORN_FORMAT_DOUBLE), dest (VORN_FORMAT_DOUBLE);
  h.bind (SIG, sig);
  h.bind (DEST, dest);
  auto ramp = [] (int i) { return 0.5 * i; };
  auto sine = [] (int i) { return std::sin (i * 0.2); };

  /* Source kinds: 0 absent, 1 scalar 0, 2 scalar 3, 3 dynamic, 4 dynamic without a buffer. */
  for (int src_kind = 0; src_kind < 5; src_kind++)
    for (bool sig_dyn : { false, true })
      {
        SCOPED_TRACE (testing::Message () << "src kind " << src_kind << " sig dynamic " << sig_dyn);
        h.unbind (SRC);
        if (src_kind > 0)
          h.bind (SRC, src);
        if (src_kind == 1)
          src.set_const (0.0);
        else if (src_kind == 2)
          src.set_const (3.0);
        else if (src_kind >= 3)
          src.set_dynamic (ramp);
        gpointer keep = src.val ()->buffer;
        if (src_kind == 4)
          src.val ()->buffer = nullptr;

        if (sig_dyn)
          sig.set_dynamic (sine);
        else
          sig.set_const (2.0);
        dest.poison ();
        h.render ();
        src.val ()->buffer = keep;

        /* One speaker: gain 1. */
        const bool src_dyn = src_kind == 3;
        const double v = src_kind == 2 ? 3.0 : 0.0;
        EXPECT_EQ (dest.state (), sig_dyn || src_dyn ? VORN_ATTRIB_STATE_DYNAMIC
                                                     : VORN_ATTRIB_STATE_CONST);
        for (int i = 0; i < 64; i++)
          EXPECT_EQ (dest.at (i), (sig_dyn ? sine (i) : 2.0) + (src_dyn ? ramp (i) : v)) << i;
      }
}

using MixVariant = vorn_test::VariantTest;

/* Each variant against the same arithmetic done one sample at a time. */
TEST_P (MixVariant, MatchesScalarBitForBitWithoutAllocating)
{
  const GenVariant v = GetParam ();
  GenHarness h (v, 3);
  VornMixGen *gen = make_mix_gen (h);
  AttribRecords sig (v.format), bal (v.format), lat (v.format), src (v.format, 3),
    dest (v.format, 3);
  h.bind (SIG, sig);
  h.bind (BAL, bal);
  h.bind (LAT, lat);
  h.bind (SRC, src, 0);
  h.bind (DEST, dest);
  sig.set_dynamic ([] (int i) { return std::sin (i * 0.37) * 0.8; });
  bal.set_const (0.3);
  lat.set_const (-0.2);
  src.set_dynamic ([] (int i) { return std::cos (i * 0.11); }, 0);
  src.set_const (0.125, VORN_ATTRIB_STATE_CONST, 1);
  src.set_dynamic ([] (int i) { return 1.0 / (i + 1); }, 2);

  h.render ();
  auto round = [&] (double x) { return v.format == VORN_FORMAT_SINGLE ? double (float (x)) : x; };
  for (guint s = 0; s < 3; s++)
    for (int i = 0; i < 64; i++)
      {
        double g = gain (gen, s, v.format);
        double expect = v.format == VORN_FORMAT_SINGLE
                          ? double (float (sig.at (i)) * float (g) + float (src.at (i, s)))
                          : sig.at (i) * g + src.at (i, s);
        ASSERT_EQ (dest.at (i, s), round (expect)) << "speaker " << s << " sample " << i;
      }

  bal.set_const (-0.7); /* forces the curve evaluation too */
  h.render ();
  h.render ();
  EXPECT_EQ (h.allocations (), 0u);
}

VORN_GEN_VARIANTS (MixVariant);
