/* Noise: exact xorshift64 sequence, twister against GRand, operations, render variants. */
#include "gen-harness.h"
#include "vorn-test-log.h"

#include <cmath>
#include <cstring>

using namespace vorn_test;

namespace {

enum { Y, DEST, OUT };

/* One noise generator with its own records; Y and D start unbound. */
struct Rig
{
  GenHarness h;
  AttribRecords y, d, out;
  VornFilterNoiseGen *gen;

  Rig (VornFormat format, VornWaveOp op, VornFilterNoiseType type = VORN_FILTER_NOISE_TYPE_XORSHIFT64,
       guint seed = 1, VornSimd simd = VORN_SIMD_SSE2, double y_scale = 1.0)
      : h (format, simd), y (format), d (format), out (format)
  {
    g_autoptr (VornFilterNoise) node = vorn_filter_noise_new ();
    g_object_set (node, "dest-op", op, "noise-type", type, "seed", seed, "y-scale", y_scale,
                  nullptr);
    gen = VORN_FILTER_NOISE_GEN (h.create_gen (VORN_NODE (node)));
    h.bind (OUT, out);
  }
};

/* The draw of xorshift state @s: its sign bit and top mantissa bits on 1.0. */
double
xorshift_value (guint64 s)
{
  const guint64 bits = (s & G_GUINT64_CONSTANT (0x8000000000000000)) | (s >> 12)
                       | G_GUINT64_CONSTANT (0x3ff0000000000000);
  double v;
  memcpy (&v, &bits, sizeof v);
  return v;
}

} // namespace

/* Release-triggered noise waits; set reads no destination.  The first draws
 * of seed 1 are exact. */
TEST (FilterNoise, TriggerRoutingAndXorshiftSequence)
{
  g_autoptr (VornFilterNoise) noise = vorn_filter_noise_new ();
  g_object_set (noise, "trig-mode", VORN_WAVE_TRIG_MODE_RELEASE, "dest-attrib", VORN_ATTRIB_TYPE_EFFECT1,
                nullptr);
  GenHarness h (VORN_FORMAT_DOUBLE, VORN_SIMD_SSE2);
  VornGen *gen = h.create_gen (VORN_NODE (noise));
  EXPECT_EQ (gen->state, VORN_GEN_STATE_WAIT);
  EXPECT_EQ (gen->attribs[DEST], VORN_ATTRIB_TYPE_EFFECT1);
  g_object_set (noise, "dest-op", VORN_WAVE_OP_SET, nullptr);
  EXPECT_EQ (h.create_gen (VORN_NODE (noise))->attribs[DEST], VORN_ATTRIB_TYPE_NONE);

  const guint64 states[] = { G_GUINT64_CONSTANT (1082269761), G_GUINT64_CONSTANT (1152992998833853505),
                             G_GUINT64_CONSTANT (11177516664432764457) };
  for (VornFormat format : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    {
      Rig r (format, VORN_WAVE_OP_SET, VORN_FILTER_NOISE_TYPE_XORSHIFT64, 1, VORN_SIMD_SSE2, 0.5);
      EXPECT_TRUE (r.h.render ());
      EXPECT_EQ (r.out.state (), VORN_ATTRIB_STATE_DYNAMIC);
      for (int i = 0; i < 3; i++)
        {
          const double v = 0.5 * xorshift_value (states[i]);
          EXPECT_EQ (r.out.at (i), format == VORN_FORMAT_SINGLE ? double (float (v)) : v) << i;
        }
    }
}

/* The twister draws exactly what GRand's Mersenne Twister gives for the same seed. */
TEST (FilterNoise, TwisterFollowsGRand)
{
  Rig r (VORN_FORMAT_DOUBLE, VORN_WAVE_OP_SET, VORN_FILTER_NOISE_TYPE_TWISTER, 12345);
  g_autoptr (GRand) ref = g_rand_new_with_seed (12345);
  int differ = 0;
  for (int frag = 0; frag < 20; frag++)
    {
      r.h.render ();
      for (double v : r.out.fragment ())
        differ += v != g_rand_double_range (ref, -1.0, 1.0);
    }
  EXPECT_EQ (differ, 0);
}

/* Zero-amplitude shortcuts, then each operation against the raw noise of a twin generator. */
TEST (FilterNoise, AmplitudeAndDestinationRules)
{
  for (VornFormat format : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    {
      SCOPED_TRACE (format);
      /* A zero amplitude draws nothing; add of a fixed zero writes nothing, others a zero. */
      const struct { VornWaveOp op; VornAttribState st; gboolean ret; VornAttribState out; } zeros[] = {
        { VORN_WAVE_OP_ADD, VORN_ATTRIB_STATE_FIXED, FALSE, VORN_ATTRIB_STATE_UNSET },
        { VORN_WAVE_OP_SET, VORN_ATTRIB_STATE_FIXED, TRUE, VORN_ATTRIB_STATE_FIXED },
        { VORN_WAVE_OP_MUL, VORN_ATTRIB_STATE_FIXED, TRUE, VORN_ATTRIB_STATE_FIXED },
        { VORN_WAVE_OP_MUL, VORN_ATTRIB_STATE_CONST, TRUE, VORN_ATTRIB_STATE_CONST },
      };
      for (const auto &z : zeros)
        {
          Rig r (format, z.op);
          r.h.bind (Y, r.y);
          r.h.bind (DEST, r.d);
          r.d.set_const (0.0, VORN_ATTRIB_STATE_FIXED);
          r.y.set_const (0.0, z.st);
          EXPECT_EQ (r.h.render (), z.ret) << z.op << " " << z.st;
          EXPECT_EQ (r.out.state (), z.out);
          EXPECT_TRUE (z.out == VORN_ATTRIB_STATE_UNSET || r.out.value () == 0.0);
          EXPECT_EQ (r.gen->rng.xorshift, 1u);
        }
      /* Add without an amplitude input: the raw noise on the zero destination. */
      Rig add (format, VORN_WAVE_OP_ADD), raw (format, VORN_WAVE_OP_SET);
      add.h.bind (DEST, add.d);
      add.d.set_const (0.0, VORN_ATTRIB_STATE_FIXED);
      EXPECT_TRUE (add.h.render ());
      raw.h.render ();
      EXPECT_EQ (add.out.fragment (), raw.out.fragment ());

      /* Dynamic and scalar operands, computed in the render format. */
      auto yfn = [] (int i) { return 0.25 * (i % 5) - 0.5; };
      auto dfn = [] (int i) { return 3.0 - 0.1 * i; };
      for (VornWaveOp op : { VORN_WAVE_OP_SET, VORN_WAVE_OP_ADD, VORN_WAVE_OP_MUL })
        for (int kind = 0; kind < 3; kind++)
          {
            SCOPED_TRACE (testing::Message () << "op " << op << " kind " << kind);
            Rig r (format, op), n (format, VORN_WAVE_OP_SET);
            r.h.bind (Y, r.y);
            r.h.bind (DEST, r.d);
            kind == 1 ? r.y.set_const (0.75) : r.y.set_dynamic (yfn);
            kind == 2 ? r.d.set_const (2.0) : r.d.set_dynamic (dfn);
            EXPECT_TRUE (r.h.render ());
            n.h.render ();
            EXPECT_EQ (r.out.state (), VORN_ATTRIB_STATE_DYNAMIC);
            /* Rounded to the format after each operation. */
            auto R = [format] (double x) { return format == VORN_FORMAT_SINGLE ? double (float (x)) : x; };
            for (int i = 0; i < 64; i++)
              {
                const double y = r.y.at (i), d = r.d.at (i), v = n.out.at (i);
                const double want = op == VORN_WAVE_OP_SET   ? R (y * v)
                                    : op == VORN_WAVE_OP_ADD ? R (d + R (y * v))
                                                             : R (R (d * y) * v);
                ASSERT_EQ (r.out.at (i), want) << i;
              }
          }
    }
}

using FilterNoiseVariant = VariantTest;

TEST_P (FilterNoiseVariant, MatchesSse2AndDoesNotAllocate)
{
  const GenVariant v = GetParam ();
  for (VornFilterNoiseType type : { VORN_FILTER_NOISE_TYPE_XORSHIFT64, VORN_FILTER_NOISE_TYPE_TWISTER })
    for (VornWaveOp op : { VORN_WAVE_OP_SET, VORN_WAVE_OP_ADD, VORN_WAVE_OP_MUL })
      {
        Rig test (v.format, op, type, 99, v.simd, 0.3), ref (v.format, op, type, 99, VORN_SIMD_SSE2, 0.3);
        for (Rig *r : { &test, &ref })
          r->h.bind (Y, r->y), r->h.bind (DEST, r->d);
        for (int frag = 0; frag < 6; frag++)
          {
            for (Rig *r : { &test, &ref })
              {
                frag % 2 ? r->y.set_dynamic ([frag] (int i) { return 0.01 * i - 0.2 * frag; })
                         : r->y.set_const (0.5 + frag);
                frag % 3 ? r->d.set_dynamic ([] (int i) { return 1.0 - 0.03 * i; }) : r->d.set_const (-0.25);
                r->h.render ();
              }
            ASSERT_EQ (test.out.fragment (), ref.out.fragment ()) << type << " " << op << " " << frag;
          }
      }
}

VORN_GEN_VARIANTS (FilterNoiseVariant);
