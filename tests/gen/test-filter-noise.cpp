/* Noise: the exact xorshift64 sequence, the twister against GRand, the
 * amplitude and destination rules, and agreement of the render variants. */
#include "gen-harness.h"
#include "vorn-test-log.h"

#include <json-glib/json-glib.h>

#include <cmath>
#include <cstring>

using vorn_test::AttribRecords;
using vorn_test::GenHarness;
using vorn_test::GenVariant;

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
  ~Rig () { EXPECT_EQ (h.allocations (), 0u) << "the render allocated"; }
};

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

TEST (FilterNoise, NodeGeneratorAndJson)
{
  g_autoptr (VornFilterNoise) noise = vorn_filter_noise_new ();
  EXPECT_EQ (noise->seed, 1u);
  EXPECT_EQ (vorn_test::json_text (noise), R"({"type":"VornFilterNoise","noise-type":"xorshift64",)"
                                           R"("y-attrib":"volume","dest-attrib":"signal",)"
                                           R"("dest-op":"add","trig-mode":"press"})");

  g_object_set (noise, "noise-type", VORN_FILTER_NOISE_TYPE_TWISTER, "seed", 77u, "y-ofs", 0.25,
                "trig-mode", VORN_WAVE_TRIG_MODE_RELEASE, "dest-attrib", VORN_ATTRIB_TYPE_EFFECT1,
                nullptr);
  g_autoptr (VornNode) copy = vorn_node_duplicate (VORN_NODE (noise));
  const std::string text = vorn_test::json_text (copy);
  EXPECT_EQ (text, R"({"type":"VornFilterNoise","noise-type":"twister","seed":77,"y-attrib":"volume",)"
                   R"("dest-attrib":"effect1","dest-op":"add","trig-mode":"release","y-ofs":0.25})");
  g_autoptr (JsonNode) json = json_from_string (text.c_str (), nullptr);
  g_autoptr (GObject) back = json_gobject_deserialize (VORN_TYPE_FILTER_NOISE, json);
  VornFilterNoise *loaded = VORN_FILTER_NOISE (back);
  EXPECT_EQ (vorn_test::json_text (loaded), text);

  /* Release-triggered noise waits; set reads no destination. */
  GenHarness h (VORN_FORMAT_DOUBLE, VORN_SIMD_SSE2);
  VornGen *gen = h.create_gen (VORN_NODE (loaded));
  EXPECT_EQ (gen->state, VORN_GEN_STATE_WAIT);
  EXPECT_EQ (gen->attribs[0], VORN_ATTRIB_TYPE_VOLUME);
  EXPECT_EQ (gen->attribs[1], VORN_ATTRIB_TYPE_EFFECT1);
  EXPECT_EQ (gen->attribs[2], VORN_ATTRIB_TYPE_EFFECT1);
  g_object_set (loaded, "dest-op", VORN_WAVE_OP_SET, nullptr);
  EXPECT_EQ (h.create_gen (VORN_NODE (loaded))->attribs[1], VORN_ATTRIB_TYPE_NONE);
}

TEST (FilterNoise, XorshiftSequenceFromSeedOne)
{
  const guint64 states[] = { G_GUINT64_CONSTANT (1082269761),
                             G_GUINT64_CONSTANT (1152992998833853505),
                             G_GUINT64_CONSTANT (11177516664432764457) };
  const double values[] = { 1.00000000005867, 1.062503875709812, -1.6059343925285465 };

  Rig a (VORN_FORMAT_DOUBLE, VORN_WAVE_OP_SET), b (VORN_FORMAT_DOUBLE, VORN_WAVE_OP_SET);
  Rig f (VORN_FORMAT_SINGLE, VORN_WAVE_OP_SET);
  EXPECT_TRUE (a.h.render ());
  b.h.render ();
  f.h.render ();
  for (int i = 0; i < 3; i++)
    {
      EXPECT_EQ (a.out.at (i), xorshift_value (states[i])) << i;
      EXPECT_NEAR (a.out.at (i), values[i], 1e-14) << i;
      EXPECT_EQ (f.out.at (i), double (float (values[i]))) << i;
    }
  EXPECT_EQ (a.out.state (), VORN_ATTRIB_STATE_DYNAMIC);

  /* Same seed, same fragments; the state moves on by 64 draws per
   * fragment. */
  for (int frag = 0; frag < 3; frag++)
    {
      EXPECT_EQ (a.out.fragment (), b.out.fragment ());
      for (double v : a.out.fragment ())
        EXPECT_TRUE (std::fabs (v) >= 1.0 && std::fabs (v) < 2.0) << v;
      a.h.render ();
      b.h.render ();
    }

  /* y-scale 0.5 halves the magnitudes. */
  Rig half (VORN_FORMAT_DOUBLE, VORN_WAVE_OP_SET, VORN_FILTER_NOISE_TYPE_XORSHIFT64, 5,
            VORN_SIMD_SSE2, 0.5);
  half.h.render ();
  for (double v : half.out.fragment ())
    EXPECT_TRUE (std::fabs (v) >= 0.5 && std::fabs (v) < 1.0) << v;
}

/* The twister draws exactly what GRand's Mersenne Twister gives for the
 * same seed (so its distribution is GRand's). */
TEST (FilterNoise, TwisterFollowsGRand)
{
  Rig r (VORN_FORMAT_DOUBLE, VORN_WAVE_OP_SET, VORN_FILTER_NOISE_TYPE_TWISTER, 12345);
  g_autoptr (GRand) ref = g_rand_new_with_seed (12345);
  int differ = 0;
  for (int frag = 0; frag < 200; frag++)
    {
      r.h.render ();
      for (double v : r.out.fragment ())
        differ += v != g_rand_double_range (ref, -1.0, 1.0);
    }
  EXPECT_EQ (differ, 0);
}

/* Short cuts of a zero amplitude, then the operation pass against the raw
 * noise of an identical generator. */
TEST (FilterNoise, AmplitudeAndDestinationRules)
{
  for (VornFormat format : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    {
      SCOPED_TRACE (format);
      /* Fixed zero with add: FALSE, nothing written, nothing drawn. */
      Rig add (format, VORN_WAVE_OP_ADD), raw (format, VORN_WAVE_OP_SET);
      add.h.bind (Y, add.y);
      add.h.bind (DEST, add.d);
      add.d.set_const (0.0, VORN_ATTRIB_STATE_FIXED);
      add.y.set_const (0.0, VORN_ATTRIB_STATE_FIXED);
      EXPECT_FALSE (add.h.render ());
      EXPECT_EQ (add.out.state (), VORN_ATTRIB_STATE_UNSET);
      add.h.unbind (Y);
      EXPECT_TRUE (add.h.render ());
      raw.h.render ();
      EXPECT_EQ (add.out.fragment (), raw.out.fragment ());

      /* Fixed zero with set and mul, const zero with mul. */
      for (VornWaveOp op : { VORN_WAVE_OP_SET, VORN_WAVE_OP_MUL })
        for (VornAttribState st : { VORN_ATTRIB_STATE_FIXED, VORN_ATTRIB_STATE_CONST })
          {
            if (op == VORN_WAVE_OP_SET && st == VORN_ATTRIB_STATE_CONST)
              continue;
            Rig r (format, op);
            r.h.bind (Y, r.y);
            r.y.set_const (0.0, st);
            EXPECT_TRUE (r.h.render ());
            EXPECT_EQ (r.out.state (), st);
            EXPECT_EQ (r.out.value (), 0.0);
            EXPECT_EQ (r.gen->rng.xorshift, 1u);
          }

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
            if (kind == 0)
              r.y.set_dynamic (yfn), r.d.set_dynamic (dfn);
            else if (kind == 1)
              r.y.set_const (0.75), r.d.set_dynamic (dfn);
            else
              r.y.set_dynamic (yfn), r.d.set_const (2.0);
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

using FilterNoiseVariant = vorn_test::VariantTest;

TEST_P (FilterNoiseVariant, MatchesSse2AndDoesNotAllocate)
{
  const GenVariant v = GetParam ();
  for (VornFilterNoiseType type : { VORN_FILTER_NOISE_TYPE_XORSHIFT64, VORN_FILTER_NOISE_TYPE_TWISTER })
    for (VornWaveOp op : { VORN_WAVE_OP_SET, VORN_WAVE_OP_ADD, VORN_WAVE_OP_MUL })
      {
        Rig test (v.format, op, type, 99, v.simd, 0.3), ref (v.format, op, type, 99, VORN_SIMD_SSE2, 0.3);
        for (int frag = 0; frag < 6; frag++)
          {
            for (Rig *r : { &test, &ref })
              {
                r->h.bind (Y, r->y);
                r->h.bind (DEST, r->d);
                if (frag % 2)
                  r->y.set_dynamic ([frag] (int i) { return 0.01 * i - 0.2 * frag; });
                else
                  r->y.set_const (0.5 + frag);
                if (frag % 3)
                  r->d.set_dynamic ([] (int i) { return 1.0 - 0.03 * i; });
                else
                  r->d.set_const (-0.25);
              }
            test.h.render ();
            ref.h.render ();
            ASSERT_EQ (test.out.fragment (), ref.out.fragment ()) << type << " " << op << " " << frag;
          }
      }
}

VORN_GEN_VARIANTS (FilterNoiseVariant);
