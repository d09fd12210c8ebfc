/* Speaker mix: panning gains, clamping and caching, source/destination cases, render variants. */
#include "gen-harness.h"
#include "vorn-test-log.h"

#include <algorithm>
#include <cmath>
#include <vector>

using namespace vorn_test;

namespace {

/* Slots of the mix generator. */
enum { SIG, BAL, LAT, SRC, DEST };

/* A mix over @speakers with its records; all but the source bound. */
struct Rig
{
  GenHarness h;
  AttribRecords sig, bal, lat, src, dest;
  VornMixGen *gen;

  Rig (const GenVariant &v, guint speakers)
      : h (v, speakers), sig (v.format), bal (v.format), lat (v.format), src (v.format, speakers),
        dest (v.format, speakers)
  {
    g_autoptr (VornMix) mix = vorn_mix_new ();
    gen = reinterpret_cast<VornMixGen *> (h.create_gen (VORN_NODE (mix)));
    for (auto [slot, rec] : { std::pair (SIG, &sig), { BAL, &bal }, { LAT, &lat }, { DEST, &dest } })
      h.bind (slot, *rec);
  }
  double gain (guint s) const
  {
    return h.format () == VORN_FORMAT_DOUBLE ? static_cast<double *> (gen->gains)[s]
                                             : double (static_cast<float *> (gen->gains)[s]);
  }
};

} // namespace

TEST (Mix, GainsFollowCurvesAndClamp)
{
  Rig r ({ VORN_FORMAT_DOUBLE, VORN_SIMD_SSE2 }, 4);
  r.sig.set_const (1.0);
  /* Balance 5 acts as 1 (right), latitude -3 as -1 (rear): only the right rear speaker. */
  r.bal.set_const (5.0);
  r.lat.set_const (-3.0);
  EXPECT_TRUE (r.h.render ());
  const double right_rear[4] = { 0.0, 0.0, 0.0, 1.0 };
  for (guint s = 0; s < 4; s++)
    {
      EXPECT_NEAR (r.gain (s), right_rear[s], 1e-12) << s;
      EXPECT_EQ (r.dest.state (s), VORN_ATTRIB_STATE_CONST);
      EXPECT_DOUBLE_EQ (r.dest.value (s), right_rear[s]);
    }

  /* A new position gives new gains. */
  r.bal.set_const (0.0);
  r.lat.set_const (0.0);
  r.h.render ();
  EXPECT_GT (r.gain (0), 0.0);

  /* Two speakers hard left; latitude unbound is read as 0. */
  Rig two ({ VORN_FORMAT_SINGLE, VORN_SIMD_SSE2 }, 2);
  two.h.unbind (LAT);
  two.sig.set_dynamic ([] (int i) { return std::sin (i * 0.1); });
  two.bal.set_const (-1.0);
  two.h.render ();
  EXPECT_EQ (two.gain (0), 1.0);
  EXPECT_EQ (two.gain (1), 0.0);
  EXPECT_EQ (two.dest.fragment (0), two.sig.fragment ());
  EXPECT_EQ (two.dest.state (1), VORN_ATTRIB_STATE_DYNAMIC);
  EXPECT_EQ (two.dest.at (10, 1), 0.0);
}

/* Every row of the source/destination table for both signal kinds. */
TEST (Mix, SourceDestinationTable)
{
  Rig r ({ VORN_FORMAT_DOUBLE, VORN_SIMD_SSE2 }, 1);
  r.h.unbind (BAL);
  r.h.unbind (LAT);
  auto ramp = [] (int i) { return 0.5 * i; };
  auto sine = [] (int i) { return std::sin (i * 0.2); };

  /* Source kinds: 0 absent, 1 scalar 0, 2 scalar 3, 3 dynamic, 4 dynamic without a buffer. */
  for (int src_kind = 0; src_kind < 5; src_kind++)
    for (bool sig_dyn : { false, true })
      {
        SCOPED_TRACE (testing::Message () << "src kind " << src_kind << " sig dynamic " << sig_dyn);
        r.h.unbind (SRC);
        if (src_kind > 0)
          r.h.bind (SRC, r.src);
        if (src_kind == 1 || src_kind == 2)
          r.src.set_const (src_kind == 2 ? 3.0 : 0.0);
        else if (src_kind >= 3)
          r.src.set_dynamic (ramp);
        gpointer keep = r.src.val ()->buffer;
        if (src_kind == 4)
          r.src.val ()->buffer = nullptr;
        if (sig_dyn)
          r.sig.set_dynamic (sine);
        else
          r.sig.set_const (2.0);
        r.dest.poison ();
        r.h.render ();
        r.src.val ()->buffer = keep;

        /* One speaker: gain 1. */
        const bool src_dyn = src_kind == 3;
        const double v = src_kind == 2 ? 3.0 : 0.0;
        EXPECT_EQ (r.dest.state (), sig_dyn || src_dyn ? VORN_ATTRIB_STATE_DYNAMIC : VORN_ATTRIB_STATE_CONST);
        for (int i = 0; i < 64; i++)
          EXPECT_EQ (r.dest.at (i), (sig_dyn ? sine (i) : 2.0) + (src_dyn ? ramp (i) : v)) << i;
      }
}

using MixVariant = VariantTest;

/* Each variant against the same arithmetic done one sample at a time. */
TEST_P (MixVariant, MatchesScalarBitForBitWithoutAllocating)
{
  const GenVariant v = GetParam ();
  Rig r (v, 3);
  r.h.bind (SRC, r.src, 0);
  r.sig.set_dynamic ([] (int i) { return std::sin (i * 0.37) * 0.8; });
  r.bal.set_const (0.3);
  r.lat.set_const (-0.2);
  r.src.set_dynamic ([] (int i) { return std::cos (i * 0.11); }, 0);
  r.src.set_const (0.125, VORN_ATTRIB_STATE_CONST, 1);
  r.src.set_dynamic ([] (int i) { return 1.0 / (i + 1); }, 2);
  for (double bal : { 0.3, -0.7 })
    {
      r.bal.set_const (bal);
      r.h.render ();
      for (guint s = 0; s < 3; s++)
        for (int i = 0; i < 64; i++)
          {
            const double g = r.gain (s);
            const double expect = v.format == VORN_FORMAT_SINGLE
                                    ? double (float (r.sig.at (i)) * float (g) + float (r.src.at (i, s)))
                                    : r.sig.at (i) * g + r.src.at (i, s);
            ASSERT_EQ (r.dest.at (i, s), expect) << "balance " << bal << " speaker " << s << " sample " << i;
          }
    }
}

VORN_GEN_VARIANTS (MixVariant);
