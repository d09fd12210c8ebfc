/* Wave generator: every render variant against the curve, the constant and
 * shortcut paths, ends of once and stop waves, transforms, folding, backward
 * play, morphs; bit equality of the instruction sets with the scalar build
 * of the same algorithm, rendering without allocating. */
#include "gen-harness.h"
#include "kernels/vorn-wave-gen-scalar.h"
#include "vorn-test-log.h"

#include <cmath>
#include <cstring>
#include <vector>

using namespace vorn_test;

namespace {

constexpr int N = 64;

struct WaveSpec
{
  VornAttribType x = VORN_ATTRIB_TYPE_PITCH;
  VornAttribType y = VORN_ATTRIB_TYPE_VOLUME;
  VornAttribType dest = VORN_ATTRIB_TYPE_SIGNAL;
  VornWaveOp op = VORN_WAVE_OP_SET;
  VornWavePlayMode play = VORN_WAVE_PLAY_MODE_LOOP;
  double x_scale = 1.0, y_scale = 1.0, y_ofs = 0.0;
};

VornWave *
make_wave (VornCurve *curve, const WaveSpec &s)
{
  return static_cast<VornWave *> (g_object_new (
      VORN_TYPE_WAVE, "curve", curve, "x-attrib", s.x, "y-attrib", s.y, "dest-attrib", s.dest,
      "dest-op", s.op, "play-mode", s.play, "x-scale", s.x_scale, "y-scale", s.y_scale,
      "y-ofs", s.y_ofs, nullptr));
}

/* Straight segments through the points (handles on the endpoints). */
VornCurve *
sharp (std::initializer_list<std::pair<double, double>> pts)
{
  VornCurve *c = vorn_curve_new (guint (pts.size ()));
  int i = 0;
  for (auto [x, y] : pts)
    vorn_curve_set_point (c, i++, x, y, x, y, x, y);
  return c;
}

/* A generator with its five records: x, y, destination, morph, output. */
struct Rig
{
  GenHarness h;
  AttribRecords x, y, d, m, out;
  VornWaveGen *gen = nullptr;

  Rig (const GenVariant &v, VornWave *wave)
      : h (v), x (v.format), y (v.format), d (v.format), m (v.format), out (v.format)
  {
    gen = VORN_WAVE_GEN (h.create_gen (VORN_NODE (wave)));
    h.bind (VORN_WAVE_GEN_SLOT_X, x);
    h.bind (VORN_WAVE_GEN_SLOT_Y, y);
    if (gen->attribs_buf[VORN_WAVE_GEN_SLOT_DEST] != VORN_ATTRIB_TYPE_NONE)
      h.bind (VORN_WAVE_GEN_SLOT_DEST, d);
    h.bind (VORN_WAVE_GEN_SLOT_OUT, out);
    x.set_const (0.01, VORN_ATTRIB_STATE_FIXED);
    y.set_const (1.0, VORN_ATTRIB_STATE_FIXED);
    d.set_const (0.0, VORN_ATTRIB_STATE_FIXED);
    m.set_const (0.0, VORN_ATTRIB_STATE_FIXED);
  }
  ~Rig () { EXPECT_EQ (h.allocations (), 0u) << "the render allocated"; }
  gboolean render ()
  {
    out.poison ();
    return h.render ();
  }
  double tol () const { return h.format () == VORN_FORMAT_SINGLE ? 2e-5 : 1e-12; }
};

using WaveGenTest = VariantTest;

/* Looping forwards (the sine oscillator) and backwards (walking the
 * segments in reverse, wrapping from the first to the last) follows the curve
 * cache's own evaluation at the accumulated position; a dynamic amplitude
 * then scales and a dynamic destination is added. */
TEST_P (WaveGenTest, LoopsFollowTheCurve)
{
  g_autoptr (VornWave) sine = vorn_wave_new_from_preset (VORN_WAVE_PRESET_SIGNAL_SINE);
  g_autoptr (VornCurve) zigzag = sharp ({ { 0, 0 }, { 0.25, 1 }, { 0.5, 0 }, { 1, -1 } });
  g_autoptr (VornWave) backward = make_wave (zigzag, { .op = VORN_WAVE_OP_ADD });
  const bool single = GetParam ().format == VORN_FORMAT_SINGLE;
  /* The sine's x-scale makes 440 Hz of 1/48000; -1/32 is exact in float. */
  const struct { VornWave *wave; double x, inc; } loops[] = {
    { sine, 1.0 / 48000.0, single ? double (float (440.0 / 48000.0)) : 440.0 / 48000.0 },
    { backward, -0.03125, -0.03125 },
  };
  for (const auto &loop : loops)
    {
      Rig r (GetParam (), loop.wave);
      r.x.set_const (loop.x, VORN_ATTRIB_STATE_CONST);
      g_autoptr (VornCurveCache) cache = vorn_curve_cache_new_from_curve (loop.wave->curve, VORN_FORMAT_DOUBLE);
      auto curve_at = [&] (double pos) {
        const double x = std::fmod (pos, 1.0);
        return vorn_curve_cache_plot_point (cache, x < 0 ? x + 1.0 : x);
      };
      double pos = 0.0;
      for (int f = 0; f < 6; f++)
        {
          ASSERT_TRUE (r.render ());
          ASSERT_EQ (r.out.state (), VORN_ATTRIB_STATE_DYNAMIC);
          for (int i = 0; i < N; i++, pos += loop.inc)
            ASSERT_NEAR (r.out.at (i), curve_at (pos), r.tol () * 20) << "fragment " << f << " sample " << i;
        }
      r.y.set_dynamic ([] (int i) { return 0.5 + i / 128.0; });
      r.d.set_dynamic ([] (int i) { return i * 0.25; });
      ASSERT_TRUE (r.render ());
      for (int i = 0; i < N; i++, pos += loop.inc)
        EXPECT_NEAR (r.out.at (i), i * 0.25 + (0.5 + i / 128.0) * curve_at (pos), r.tol () * 40);
    }
}

TEST_P (WaveGenTest, AmplitudeShortcutsAndConstants)
{
  g_autoptr (VornCurve) curve = sharp ({ { 0, 0 }, { 1, 1 } });
  g_autoptr (VornWave) add = make_wave (curve, { .op = VORN_WAVE_OP_ADD });
  Rig r (GetParam (), add);

  /* Adding a fixed zero: FALSE and the output record untouched. */
  r.y.set_const (0.0, VORN_ATTRIB_STATE_FIXED);
  EXPECT_FALSE (r.render ());
  EXPECT_EQ (r.out.state (), VORN_ATTRIB_STATE_UNSET);

  g_autoptr (VornWave) mul = make_wave (curve, { .op = VORN_WAVE_OP_MUL });
  Rig m (GetParam (), mul);
  m.y.set_const (0.0, VORN_ATTRIB_STATE_FIXED);
  EXPECT_TRUE (m.render ());
  EXPECT_EQ (m.out.state (), VORN_ATTRIB_STATE_FIXED);
  EXPECT_EQ (m.out.value (), 0.0);

  /* A const zero amplitude of mul is a const zero and does not advance. */
  m.y.set_const (0.0, VORN_ATTRIB_STATE_CONST);
  m.d.set_dynamic ([] (int i) { return double (i); });
  EXPECT_TRUE (m.render ());
  EXPECT_EQ (m.out.state (), VORN_ATTRIB_STATE_CONST);
  EXPECT_EQ (m.out.value (), 0.0);
  m.y.set_const (1.0, VORN_ATTRIB_STATE_FIXED);
  EXPECT_TRUE (m.render ());
  EXPECT_NEAR (m.out.at (0), 0.0, 1e-12);
  EXPECT_NEAR (m.out.at (10), 10 * 0.1, 1e-5);

  /* A control (no curve) outputs op (D, Y): constants fold, fixed only
   * when every input is; multiplying by a fixed 1 is an identity. */
  g_autoptr (VornWave) ctrl = vorn_wave_new_control ("c", VORN_ATTRIB_TYPE_EFFECT1, VORN_WAVE_OP_MUL, 1.0);
  Rig c (GetParam (), ctrl);
  c.y.set_const (2.0, VORN_ATTRIB_STATE_CONST);
  c.d.set_const (3.0, VORN_ATTRIB_STATE_FIXED);
  EXPECT_TRUE (c.render ());
  EXPECT_EQ (c.out.state (), VORN_ATTRIB_STATE_CONST);
  EXPECT_EQ (c.out.value (), 6.0);
  c.y.set_const (1.0, VORN_ATTRIB_STATE_FIXED);
  EXPECT_FALSE (c.render ());
  EXPECT_EQ (c.out.state (), VORN_ATTRIB_STATE_FIXED);
  EXPECT_EQ (c.out.value (), 3.0);
  c.y.set_dynamic ([] (int i) { return i * 0.5; });
  EXPECT_TRUE (c.render ());
  EXPECT_EQ (c.out.state (), VORN_ATTRIB_STATE_DYNAMIC);
  for (int i = 0; i < N; i++)
    EXPECT_EQ (c.out.at (i), 3.0 * i * 0.5);
}

/* A once envelope reaches its end inside a fragment: the rest holds the
 * end value, the render says FALSE once, then the wave is a constant. */
TEST_P (WaveGenTest, OnceEnvelopeHoldsEnd)
{
  g_autoptr (VornCurve) curve = sharp ({ { 0, 0 }, { 1.5, 0.25 }, { 3, 1 } });
  WaveSpec s{ .x = VORN_ATTRIB_TYPE_TIME, .y = VORN_ATTRIB_TYPE_NONE,
              .play = VORN_WAVE_PLAY_MODE_ONCE, .y_scale = 2.0, .y_ofs = 0.5 };
  g_autoptr (VornWave) wave = make_wave (curve, s);
  Rig r (GetParam (), wave);
  r.h.unbind (VORN_WAVE_GEN_SLOT_Y);
  r.x.set_const (1.0 / 32.0, VORN_ATTRIB_STATE_FIXED);

  EXPECT_TRUE (r.render ());
  EXPECT_NEAR (r.out.at (10), 2.0 * 0.25 * (10 / 32.0) / 1.5 + 0.5, 1e-6);
  EXPECT_FALSE (r.render ());
  EXPECT_TRUE (r.gen->finished);
  EXPECT_EQ (r.gen->parent_instance.state, VORN_GEN_STATE_ACTIVE);
  /* The end is reached after sample 95, i.e. sample 31 of fragment 2; that
   * sample is still evaluated on the curve. */
  EXPECT_NEAR (r.out.at (31), 2.0 * 0.984375 + 0.5, 1e-6);
  for (int i = 32; i < N; i++)
    ASSERT_EQ (r.out.at (i), 2.5) << i;

  EXPECT_TRUE (r.render ());
  EXPECT_EQ (r.out.state (), VORN_ATTRIB_STATE_FIXED);
  EXPECT_EQ (r.out.value (), 2.5);

  /* Under a moving destination the held value keeps being applied. */
  s.op = VORN_WAVE_OP_ADD;
  g_autoptr (VornWave) addw = make_wave (curve, s);
  Rig a (GetParam (), addw);
  a.x.set_const (0.5, VORN_ATTRIB_STATE_FIXED);
  EXPECT_FALSE (a.render ());
  a.d.set_const (1.0, VORN_ATTRIB_STATE_CONST);
  EXPECT_TRUE (a.render ());
  EXPECT_EQ (a.out.state (), VORN_ATTRIB_STATE_CONST);
  a.d.set_dynamic ([] (int i) { return double (i); });
  EXPECT_TRUE (a.render ());
  for (int i = 0; i < N; i++)
    ASSERT_EQ (a.out.at (i), i + 2.5);
}

TEST_P (WaveGenTest, EndsAndMissingInputs)
{
  g_autoptr (VornCurve) curve = sharp ({ { 0, 0.75 }, { 1, -0.5 } });
  g_autoptr (VornWave) stop = make_wave (curve, { .play = VORN_WAVE_PLAY_MODE_STOP });
  Rig r (GetParam (), stop);
  r.x.set_const (0.05, VORN_ATTRIB_STATE_FIXED);
  /* Backward from the start: the first sample is the start, then the wave
   * ends at its first point. */
  g_autoptr (VornWave) once = make_wave (curve, { .play = VORN_WAVE_PLAY_MODE_ONCE });
  Rig b (GetParam (), once);
  b.x.set_const (-0.05, VORN_ATTRIB_STATE_FIXED);
  /* Both play the curve as it was when they were made. */
  vorn_curve_set_point (curve, 0, 0, 0.1, 0, 0.1, 0, 0.1);
  vorn_curve_set_point (curve, 1, 1, 0.2, 1, 0.2, 1, 0.2);
  EXPECT_FALSE (b.render ());
  EXPECT_TRUE (b.gen->finished);
  for (int i = 0; i < N; i++)
    ASSERT_EQ (b.out.at (i), 0.75);
  EXPECT_FALSE (r.render ());
  EXPECT_EQ (r.gen->parent_instance.state, VORN_GEN_STATE_STOP);
  EXPECT_EQ (r.out.at (N - 1), -0.5);

  /* Without an x input the wave stays at its start; add with no
   * destination is a set (the destination slot is not even asked for). */
  g_autoptr (VornCurve) rise = sharp ({ { 0, 0.1 }, { 1, 0.2 } });
  g_autoptr (VornWave) still = make_wave (rise, { .x = VORN_ATTRIB_TYPE_NONE, .dest = VORN_ATTRIB_TYPE_NONE,
                                                   .op = VORN_WAVE_OP_ADD, .y_scale = 2.0 });
  Rig s (GetParam (), still);
  EXPECT_EQ (s.gen->attribs_buf[VORN_WAVE_GEN_SLOT_DEST], VORN_ATTRIB_TYPE_NONE);
  s.h.unbind (VORN_WAVE_GEN_SLOT_X);
  s.y.set_const (0.5, VORN_ATTRIB_STATE_CONST);
  for (int f = 0; f < 2; f++)
    {
      ASSERT_TRUE (s.render ());
      for (int i = 0; i < N; i++)
        ASSERT_NEAR (s.out.at (i), 0.5 * 2.0 * 0.1, 1e-7) << i;
    }
}

/* An increment of many curve lengths is folded back before the walk, so
 * it costs a few steps and lands where modulo arithmetic says. */
TEST_P (WaveGenTest, PositionFolding)
{
  g_autoptr (VornCurve) curve = sharp ({ { 0, 0 }, { 2, 1 } });
  g_autoptr (VornWave) wave = make_wave (curve, WaveSpec ());
  Rig r (GetParam (), wave);
  r.x.set_dynamic ([] (int i) { return i == 0 ? 1000.5 : (i == 1 ? -3001.0 : 0.0); });
  ASSERT_TRUE (r.render ());
  EXPECT_EQ (r.out.at (0), 0.0);
  /* 1000.5 folds to 2.5 past the start, one wrap: position 0.5. */
  EXPECT_NEAR (r.out.at (1), 0.25, 1e-5);
  /* 0.5 - 3001 = -3000.5 folds to -(0.5 + 2) = -2.5: position 1.5. */
  for (int i = 2; i < N; i++)
    ASSERT_NEAR (r.out.at (i), 0.75, 1e-4) << i;
}

/* Multiplying the volume works in decibels (-20 dB is a factor 0.1), the
 * pitch in semitones (+12 doubles it). */
TEST_P (WaveGenTest, DecibelAndSemitoneTransforms)
{
  g_autoptr (VornCurve) curve = sharp ({ { 0, 0 }, { 1, 0 } });
  const struct { VornAttribType dest; double y_ofs; VornWaveGenTransform transform; double factor; } cases[] = {
    { VORN_ATTRIB_TYPE_VOLUME, -20.0, VORN_WAVE_GEN_TRANSFORM_DB, 0.1 },
    { VORN_ATTRIB_TYPE_PITCH, 12.0, VORN_WAVE_GEN_TRANSFORM_SEMITONES, 2.0 },
  };
  for (const auto &c : cases)
    {
      g_autoptr (VornWave) wave = make_wave (curve, { .x = VORN_ATTRIB_TYPE_TIME, .dest = c.dest,
                                                      .op = VORN_WAVE_OP_MUL, .y_ofs = c.y_ofs });
      Rig r (GetParam (), wave);
      EXPECT_EQ (r.gen->transform, c.transform);
      r.d.set_dynamic ([] (int i) { return 0.5 + i; });
      ASSERT_TRUE (r.render ());
      for (int i = 0; i < N; i++)
        ASSERT_NEAR (r.out.at (i), c.factor * (0.5 + i), 2e-6 * c.factor * (0.5 + i)) << c.dest << " " << i;
    }
}

/* The morph moves the end point of a ramp; it takes effect where the loop
 * wraps, reads the position once per fragment and clamps it to [0, 1]. */
TEST_P (WaveGenTest, MorphAppliedAtWraps)
{
  g_autoptr (VornCurve) curve = sharp ({ { 0, 0 }, { 1, 1 } });
  g_autoptr (VornWave) wave = make_wave (curve, WaveSpec ());
  /* Both the end point's y and its left handle's: the ramp stays straight
   * and ends at 3 when the morph is complete. */
  ASSERT_EQ (vorn_wave_insert_morph_point (wave, 2, FALSE, 1.0, 3.0, nullptr), 1);
  ASSERT_EQ (vorn_wave_insert_morph_point (wave, 3, FALSE, 1.0, 3.0, nullptr), 1);
  Rig r (GetParam (), wave);
  r.h.bind (VORN_WAVE_GEN_SLOT_MORPH, r.m);
  r.x.set_const (1.0 / 32.0, VORN_ATTRIB_STATE_FIXED);

  /* Only the first sample counts, and 5 acts as 1: unmorphed until the
   * wrap after sample 31. */
  r.m.set_dynamic ([] (int i) { return i == 0 ? 5.0 : -1.0; });
  ASSERT_TRUE (r.render ());
  EXPECT_NEAR (r.out.at (20), 20 / 32.0, 1e-6);
  EXPECT_NEAR (r.out.at (50), 3.0 * 18 / 32.0, 1e-5);

  /* A new position (-2 acts as 0) waits for the next wrap. */
  r.m.set_const (-2.0, VORN_ATTRIB_STATE_CONST);
  ASSERT_TRUE (r.render ());
  EXPECT_NEAR (r.out.at (10), 3.0 * 10 / 32.0, 1e-5);
  EXPECT_NEAR (r.out.at (40), 8 / 32.0, 1e-6);
  EXPECT_EQ (r.h.format () == VORN_FORMAT_DOUBLE ? r.gen->morph_applied.d : r.gen->morph_applied.f, 0.0);

  /* Without a wrap the morph is never applied. */
  g_autoptr (VornWave) slow = make_wave (curve, WaveSpec ());
  ASSERT_EQ (vorn_wave_insert_morph_point (slow, 3, FALSE, 1.0, 3.0, nullptr), 1);
  Rig s (GetParam (), slow);
  s.h.bind (VORN_WAVE_GEN_SLOT_MORPH, s.m);
  s.m.set_const (1.0, VORN_ATTRIB_STATE_CONST);
  s.x.set_const (1.0 / 128.0, VORN_ATTRIB_STATE_FIXED);
  ASSERT_TRUE (s.render ());
  EXPECT_NEAR (s.out.at (63), 63 / 128.0, 1e-6);
}

VORN_GEN_VARIANTS (WaveGenTest);

/* ---- the instruction sets against the scalar build ------------------- */

/* Curved segments (handles off the diagonal) for a real solve. */
VornCurve *
bent_curve ()
{
  VornCurve *c = vorn_curve_new (3);
  vorn_curve_set_point (c, 0, 0.0, 0.0, 0.0, 0.0, 0.3, 0.9);
  vorn_curve_set_point (c, 1, 0.35, 1.0, 0.5, 0.6, 0.55, -0.2);
  vorn_curve_set_point (c, 2, 0.9, 0.1, 1.0, 0.0, 1.0, 0.0);
  return c;
}

struct MorphEntry { guint index; gboolean horizontal; double x, y; };
struct Scenario { const char *name; bool sine; WaveSpec spec; std::vector<MorphEntry> morph; };

const Scenario scenarios[] = {
  { "sine", true, {}, {} },
  { "envelope", false, { .x = VORN_ATTRIB_TYPE_TIME, .dest = VORN_ATTRIB_TYPE_VOLUME, .op = VORN_WAVE_OP_MUL,
                         .play = VORN_WAVE_PLAY_MODE_ONCE, .y_scale = 30.0, .y_ofs = -30.0 }, {} },
  { "morph-mod", false, { .op = VORN_WAVE_OP_ADD, .x_scale = 3.7 },
    { { 3, TRUE, 1.0, 0.7 }, { 4, FALSE, 0.6, 0.9 }, { 6, FALSE, 1.0, -1.0 } } },
  { "backward", false, { .dest = VORN_ATTRIB_TYPE_PITCH, .op = VORN_WAVE_OP_MUL, .x_scale = -1.3 }, {} },
};

/* Renders 40 fragments with varying inputs (the rig checks that nothing is
 * allocated) and returns the output bytes. */
std::vector<unsigned char>
run_scenario (const Scenario &sc, VornFormat fmt, VornSimd simd, bool scalar)
{
  g_autoptr (VornCurve) curve = bent_curve ();
  g_autoptr (VornWave) wave = sc.sine ? vorn_wave_new_from_preset (VORN_WAVE_PRESET_SIGNAL_SINE)
                                      : make_wave (curve, sc.spec);
  for (const MorphEntry &e : sc.morph)
    vorn_wave_insert_morph_point (wave, e.index, e.horizontal, e.x, e.y, nullptr);
  Rig r (GenVariant{ fmt, simd }, wave);
  if (scalar)
    r.gen->parent_instance.render = fmt == VORN_FORMAT_SINGLE ? vorn_wave_gen_render_scalar_F
                                                              : vorn_wave_gen_render_scalar_D;
  r.h.bind (VORN_WAVE_GEN_SLOT_MORPH, r.m);
  std::vector<unsigned char> bytes;
  const size_t sz = fmt == VORN_FORMAT_SINGLE ? sizeof (float) : sizeof (double);
  for (int f = 0; f < 40; f++)
    {
      r.x.set_dynamic ([f] (int i) { return 0.004 + 0.003 * std::sin (0.05 * (f * N + i)); });
      r.y.set_dynamic ([f] (int i) { return 0.5 + 0.25 * std::cos (0.01 * (f * N + i)); });
      r.d.set_dynamic ([] (int i) { return 1.0 + i / 64.0; });
      r.m.set_const ((f % 7) / 6.0, VORN_ATTRIB_STATE_CONST);
      r.render ();
      const unsigned char *p = static_cast<const unsigned char *> (r.out.buffer ());
      bytes.insert (bytes.end (), p, p + N * sz);
    }
  return bytes;
}

class WaveGenFormatTest : public testing::TestWithParam<VornFormat> {};

TEST_P (WaveGenFormatTest, InstructionSetsGiveIdenticalBits)
{
  const VornFormat fmt = GetParam ();
  for (const Scenario &sc : scenarios)
    {
      SCOPED_TRACE (sc.name);
      const auto ref = run_scenario (sc, fmt, VORN_SIMD_SSE2, true);
      for (VornSimd simd : { VORN_SIMD_SSE2, VORN_SIMD_AVX, VORN_SIMD_AVX2 })
        {
          if (!simd_supported (simd))
            continue;
          const auto got = run_scenario (sc, fmt, simd, false);
          ASSERT_EQ (got.size (), ref.size ());
          EXPECT_TRUE (memcmp (got.data (), ref.data (), ref.size ()) == 0)
              << "simd " << int (simd);
        }
    }
}

INSTANTIATE_TEST_SUITE_P (Formats, WaveGenFormatTest,
                          testing::Values (VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE),
                          [] (const testing::TestParamInfo<VornFormat> &i) {
                            return std::string (i.param == VORN_FORMAT_SINGLE ? "F" : "D");
                          });

/* A single-precision oscillator stays within 1e-4 of the double one over
 * 100 fragments of a 440 Hz sine (about 60 periods): phase rounding in the
 * segment-relative float position grows slowly. */
TEST (WaveGenPrecision, SingleTracksDouble)
{
  g_autoptr (VornWave) wave = vorn_wave_new_from_preset (VORN_WAVE_PRESET_SIGNAL_SINE);
  Rig s (GenVariant{ VORN_FORMAT_SINGLE, VORN_SIMD_SSE2 }, wave);
  Rig d (GenVariant{ VORN_FORMAT_DOUBLE, VORN_SIMD_SSE2 }, wave);
  /* The same increment in both formats. */
  const float inc = float (1.0 / 48000.0) * 440.0f;
  s.x.set_const (1.0 / 48000.0, VORN_ATTRIB_STATE_CONST);
  d.x.set_const (double (inc) / 440.0, VORN_ATTRIB_STATE_CONST);
  double worst = 0.0;
  for (int f = 0; f < 100; f++)
    {
      s.render ();
      d.render ();
      for (int i = 0; i < N; i++)
        worst = std::fmax (worst, std::fabs (s.out.at (i) - d.out.at (i)));
    }
  EXPECT_LT (worst, 1e-4);
}

} // namespace
