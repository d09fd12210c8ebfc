/* Wave generator, every render variant: curve following, shortcuts, ends, transforms,
 * folding, morphs, bit equality with the scalar build, no allocation. */
#include "gen-harness.h"
#include "kernels/vorn-wave-gen-scalar.h"
#include "vorn-test-log.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
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

struct MorphEntry { guint index; gboolean horizontal; double x, y; };

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

using WavePtr = std::unique_ptr<VornWave, void (*) (gpointer)>;

WavePtr
new_wave (VornCurve *curve, const WaveSpec &s, const std::vector<MorphEntry> &morph)
{
  auto *w = static_cast<VornWave *> (g_object_new (
    VORN_TYPE_WAVE, "curve", curve, "x-attrib", s.x, "y-attrib", s.y, "dest-attrib", s.dest, "dest-op", s.op,
    "play-mode", s.play, "x-scale", s.x_scale, "y-scale", s.y_scale, "y-ofs", s.y_ofs, "anti-alias", FALSE,
    nullptr));
  for (const MorphEntry &e : morph)
    EXPECT_EQ (vorn_wave_insert_morph_point (w, e.index, e.horizontal, e.x, e.y, nullptr), 1);
  return { w, g_object_unref };
}

/* A generator and its x, y, destination, morph (if any) and output records. */
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
    if (wave->morph)
      h.bind (VORN_WAVE_GEN_SLOT_MORPH, m);
    h.bind (VORN_WAVE_GEN_SLOT_OUT, out);
    x.set_const (0.01, VORN_ATTRIB_STATE_FIXED);
    y.set_const (1.0, VORN_ATTRIB_STATE_FIXED);
    d.set_const (0.0, VORN_ATTRIB_STATE_FIXED);
    m.set_const (0.0, VORN_ATTRIB_STATE_FIXED);
  }
  Rig (const GenVariant &v, VornCurve *curve, const WaveSpec &s, const std::vector<MorphEntry> &morph = {})
      : Rig (v, new_wave (curve, s, morph).get ())
  {
  }

  gboolean render ()
  {
    out.poison ();
    return h.render ();
  }
  std::pair<VornAttribState, double> scalar () const { return { out.state (), out.value () }; }
  double tol () const { return h.format () == VORN_FORMAT_SINGLE ? 2e-5 : 1e-12; }
};

constexpr auto FIXED = VORN_ATTRIB_STATE_FIXED, CONST = VORN_ATTRIB_STATE_CONST;

using WaveGenTest = VariantTest;

/* A backward loop follows the curve at the accumulated position (forward
 * loops are every bank instrument's signal); then Y scales and D adds. */
TEST_P (WaveGenTest, BackwardLoopFollowsTheCurve)
{
  g_autoptr (VornCurve) zigzag = sharp ({ { 0, 0 }, { 0.25, 1 }, { 0.5, 0 }, { 1, -1 } });
  Rig r (GetParam (), zigzag, { .op = VORN_WAVE_OP_ADD });
  r.x.set_const (-0.03125, CONST); /* exact in float */
  g_autoptr (VornCurveCache) cache = vorn_curve_cache_new_from_curve (zigzag, VORN_FORMAT_DOUBLE);
  auto curve_at = [&] (double pos) {
    const double x = std::fmod (pos, 1.0);
    return vorn_curve_cache_plot_point (cache, x < 0 ? x + 1.0 : x);
  };
  double pos = 0.0;
  for (int f = 0; f < 6; f++)
    {
      ASSERT_TRUE (r.render ());
      for (int i = 0; i < N; i++, pos -= 0.03125)
        ASSERT_NEAR (r.out.at (i), curve_at (pos), r.tol ()) << "fragment " << f << " sample " << i;
    }
  r.y.set_dynamic ([] (int i) { return 0.5 + i / 128.0; });
  r.d.set_dynamic ([] (int i) { return i * 0.25; });
  ASSERT_TRUE (r.render ());
  for (int i = 0; i < N; i++, pos -= 0.03125)
    EXPECT_NEAR (r.out.at (i), i * 0.25 + (0.5 + i / 128.0) * curve_at (pos), r.tol () * 40);
}

TEST_P (WaveGenTest, AmplitudeShortcutsAndConstants)
{
  g_autoptr (VornCurve) curve = sharp ({ { 0, 0 }, { 1, 1 } });
  /* Adding a fixed zero: FALSE and the output record untouched. */
  Rig add (GetParam (), curve, { .op = VORN_WAVE_OP_ADD });
  add.y.set_const (0.0, FIXED);
  EXPECT_FALSE (add.render ());
  EXPECT_EQ (add.out.state (), VORN_ATTRIB_STATE_UNSET);

  /* Multiplying by a zero amplitude gives a zero of its state and does not advance the position. */
  Rig m (GetParam (), curve, { .op = VORN_WAVE_OP_MUL });
  m.y.set_const (0.0, FIXED);
  EXPECT_TRUE (m.render ());
  EXPECT_EQ (m.scalar (), std::pair (FIXED, 0.0));
  m.y.set_const (0.0, CONST);
  m.d.set_dynamic ([] (int i) { return double (i); });
  EXPECT_TRUE (m.render ());
  EXPECT_EQ (m.scalar (), std::pair (CONST, 0.0));
  m.y.set_const (1.0, FIXED);
  EXPECT_TRUE (m.render ());
  EXPECT_NEAR (m.out.at (0), 0.0, 1e-12);
  EXPECT_NEAR (m.out.at (10), 10 * 0.1, 1e-5);

  /* A control outputs op (D, Y): fixed only if all inputs are; times a fixed 1 is an identity. */
  g_autoptr (VornWave) ctrl = vorn_wave_new_control ("c", VORN_ATTRIB_TYPE_EFFECT1, VORN_WAVE_OP_MUL, 1.0);
  Rig c (GetParam (), ctrl);
  c.y.set_const (2.0, CONST);
  c.d.set_const (3.0, FIXED);
  EXPECT_TRUE (c.render ());
  EXPECT_EQ (c.scalar (), std::pair (CONST, 6.0));
  c.y.set_const (1.0, FIXED);
  EXPECT_FALSE (c.render ());
  EXPECT_EQ (c.scalar (), std::pair (FIXED, 3.0));
  c.y.set_dynamic ([] (int i) { return i * 0.5; });
  EXPECT_TRUE (c.render ());
  EXPECT_EQ (c.out.state (), VORN_ATTRIB_STATE_DYNAMIC);
  for (int i = 0; i < N; i++)
    EXPECT_EQ (c.out.at (i), 3.0 * i * 0.5);
}

/* A once envelope ends inside a fragment: the rest holds the end, FALSE once, then a constant. */
TEST_P (WaveGenTest, OnceEnvelopeHoldsEnd)
{
  g_autoptr (VornCurve) curve = sharp ({ { 0, 0 }, { 1.5, 0.25 }, { 3, 1 } });
  WaveSpec s{ .x = VORN_ATTRIB_TYPE_TIME, .y = VORN_ATTRIB_TYPE_NONE, .play = VORN_WAVE_PLAY_MODE_ONCE,
              .y_scale = 2.0, .y_ofs = 0.5 };
  Rig r (GetParam (), curve, s);
  r.h.unbind (VORN_WAVE_GEN_SLOT_Y);
  r.x.set_const (1.0 / 32.0, FIXED);
  EXPECT_TRUE (r.render ());
  EXPECT_NEAR (r.out.at (10), 2.0 * 0.25 * (10 / 32.0) / 1.5 + 0.5, 1e-6);
  EXPECT_FALSE (r.render ());
  EXPECT_TRUE (r.gen->finished);
  EXPECT_EQ (r.gen->parent_instance.state, VORN_GEN_STATE_ACTIVE);
  /* The end comes after sample 95 (31 of this fragment), still on the curve. */
  EXPECT_NEAR (r.out.at (31), 2.0 * 0.984375 + 0.5, 1e-6);
  for (int i = 32; i < N; i++)
    ASSERT_EQ (r.out.at (i), 2.5) << i;
  EXPECT_TRUE (r.render ());
  EXPECT_EQ (r.scalar (), std::pair (FIXED, 2.5));
}

TEST_P (WaveGenTest, EndsAndMissingInputs)
{
  g_autoptr (VornCurve) curve = sharp ({ { 0, 0.75 }, { 1, -0.5 } });
  Rig stop (GetParam (), curve, { .play = VORN_WAVE_PLAY_MODE_STOP });
  stop.x.set_const (0.05, FIXED);
  /* Backward from the start: the first sample is the start, then the wave ends at its first point. */
  Rig back (GetParam (), curve, { .play = VORN_WAVE_PLAY_MODE_ONCE });
  back.x.set_const (-0.05, FIXED);
  /* Both play the curve as it was when they were made, through an edit that drops the shared cache. */
  vorn_curve_set_point (curve, 0, 0, 0.1, 0, 0.1, 0, 0.1);
  vorn_curve_set_point (curve, 1, 1, 0.2, 1, 0.2, 1, 0.2);
  vorn_curve_cache_invalidate (curve, GetParam ().format);
  EXPECT_FALSE (back.render ());
  EXPECT_TRUE (back.gen->finished);
  for (int i = 0; i < N; i++)
    ASSERT_EQ (back.out.at (i), 0.75);
  EXPECT_FALSE (stop.render ());
  EXPECT_EQ (stop.gen->parent_instance.state, VORN_GEN_STATE_STOP);
  EXPECT_EQ (stop.out.at (N - 1), -0.5);

  /* A new generator sees the edit; without x it stays at the start; add without D is a set. */
  Rig s (GetParam (), curve, { .x = VORN_ATTRIB_TYPE_NONE, .dest = VORN_ATTRIB_TYPE_NONE,
                               .op = VORN_WAVE_OP_ADD, .y_scale = 2.0 });
  EXPECT_EQ (s.gen->attribs_buf[VORN_WAVE_GEN_SLOT_DEST], VORN_ATTRIB_TYPE_NONE);
  s.h.unbind (VORN_WAVE_GEN_SLOT_X);
  s.y.set_const (0.5, CONST);
  for (int f = 0; f < 2; f++)
    {
      ASSERT_TRUE (s.render ());
      for (int i = 0; i < N; i++)
        ASSERT_NEAR (s.out.at (i), 0.5 * 2.0 * 0.1, 1e-7) << i;
    }
}

/* An increment of many curve lengths is folded back before the walk and lands where modulo arithmetic says. */
TEST_P (WaveGenTest, PositionFolding)
{
  g_autoptr (VornCurve) curve = sharp ({ { 0, 0 }, { 2, 1 } });
  Rig r (GetParam (), curve, {});
  r.x.set_dynamic ([] (int i) { return i == 0 ? 1000.5 : (i == 1 ? -3001.0 : 0.0); });
  ASSERT_TRUE (r.render ());
  EXPECT_EQ (r.out.at (0), 0.0);
  /* 1000.5 folds to 2.5 past the start, one wrap: position 0.5. */
  EXPECT_NEAR (r.out.at (1), 0.25, 1e-5);
  /* 0.5 - 3001 = -3000.5 folds to -(0.5 + 2) = -2.5: position 1.5. */
  for (int i = 2; i < N; i++)
    ASSERT_NEAR (r.out.at (i), 0.75, 1e-4) << i;
}

/* Multiplying the volume works in decibels, the pitch in semitones, to within two units in the last place of the format over the whole useful
 * range: each output against the exact power of the same curve value, taken from a twin wave
 * that sets a signal instead. */
TEST_P (WaveGenTest, DecibelAndSemitoneTransforms)
{
  g_autoptr (VornCurve) curve = sharp ({ { 0, 0 }, { 1, 1 } });
  const struct { VornAttribType dest; double lo, hi; long double base_log2; } cases[] = {
    { VORN_ATTRIB_TYPE_VOLUME, -150.0, 40.0, 3.321928094887362347870319429489390175865L / 20 },
    { VORN_ATTRIB_TYPE_PITCH, -100.0, 100.0, 1.0L / 12 },
  };
  const bool single = GetParam ().format == VORN_FORMAT_SINGLE;
  for (const auto &c : cases)
    {
      const WaveSpec spec = { .x = VORN_ATTRIB_TYPE_TIME, .dest = c.dest, .op = VORN_WAVE_OP_MUL,
                              .y_scale = c.hi - c.lo, .y_ofs = c.lo };
      WaveSpec plain = spec;
      plain.dest = VORN_ATTRIB_TYPE_SIGNAL;
      plain.op = VORN_WAVE_OP_SET;
      Rig r (GetParam (), curve, spec), v (GetParam (), curve, plain);
      for (Rig *p : { &r, &v })
        p->x.set_const (1.0 / 640, VORN_ATTRIB_STATE_FIXED);
      r.d.set_const (1.0, VORN_ATTRIB_STATE_FIXED);
      double worst = 0;
      for (int f = 0; f < 10; f++)
        {
          ASSERT_TRUE (r.render ());
          ASSERT_TRUE (v.render ());
          for (int i = 0; i < N; i++)
            {
              const long double exact = std::exp2 ((long double) v.out.at (i) * c.base_log2);
              const double ulp = single ? std::nextafter (float (exact), INFINITY) - float (exact)
                                        : std::nextafter (double (exact), INFINITY) - double (exact);
              worst = std::max (worst, double (std::fabs (r.out.at (i) - exact) / ulp));
            }
        }
      EXPECT_LE (worst, 2.0) << c.dest;
    }
  /* Far below the format's range: silence, never a denormal. */
  Rig r (GetParam (), curve, { .x = VORN_ATTRIB_TYPE_TIME, .dest = VORN_ATTRIB_TYPE_VOLUME,
                               .op = VORN_WAVE_OP_MUL, .y_scale = 0.0, .y_ofs = -20000.0 });
  r.d.set_dynamic ([] (int i) { return 0.5 + i; });
  ASSERT_TRUE (r.render ());
  for (int i = 0; i < N; i++)
    ASSERT_EQ (r.out.at (i), 0.0) << i;
}

/* The morph lifts a ramp's end to 3; it applies at wraps, read once per fragment, clamped to [0, 1]. */
TEST_P (WaveGenTest, MorphAppliedAtWraps)
{
  g_autoptr (VornCurve) curve = sharp ({ { 0, 0 }, { 1, 1 } });
  Rig r (GetParam (), curve, {}, { { 2, FALSE, 1.0, 3.0 }, { 3, FALSE, 1.0, 3.0 } });
  r.x.set_const (1.0 / 32.0, FIXED);

  /* Only the first sample counts, and 5 acts as 1: unmorphed until the wrap after sample 31. */
  r.m.set_dynamic ([] (int i) { return i == 0 ? 5.0 : -1.0; });
  ASSERT_TRUE (r.render ());
  EXPECT_NEAR (r.out.at (20), 20 / 32.0, 1e-6);
  EXPECT_NEAR (r.out.at (50), 3.0 * 18 / 32.0, 1e-5);

  /* A new position (-2 acts as 0) waits for the next wrap. */
  r.m.set_const (-2.0, CONST);
  ASSERT_TRUE (r.render ());
  EXPECT_NEAR (r.out.at (10), 3.0 * 10 / 32.0, 1e-5);
  EXPECT_NEAR (r.out.at (40), 8 / 32.0, 1e-6);

  /* Without a wrap the morph is never applied. */
  Rig s (GetParam (), curve, {}, { { 3, FALSE, 1.0, 3.0 } });
  s.m.set_const (1.0, CONST);
  s.x.set_const (1.0 / 128.0, FIXED);
  ASSERT_TRUE (s.render ());
  EXPECT_NEAR (s.out.at (63), 63 / 128.0, 1e-6);
}

/* A morph curve may end before position 1 (a file can hold one): beyond its
 * end it holds its end value, up to position 1 and beyond, never snapping
 * back to the base curve. */
TEST_P (WaveGenTest, MorphHoldsItsLastKeyUpToTheEnd)
{
  g_autoptr (VornCurve) curve = sharp ({ { 0, 0 }, { 1, 1 } });
  for (double end : { 0.1, 0.7, 0.999 })
    for (double pos : { end, (end + 1) / 2, 1.0, 7.0 })
      {
        WavePtr w = new_wave (curve, {}, {});
        g_autoptr (VornCurve) lift = sharp ({ { 0, 1 }, { end, 3 } });
        w->morph = vorn_morph_new (w->curve);
        for (guint index : { 2u, 3u })
          vorn_morph_set_point_curve (w->morph, index, FALSE, lift);
        Rig r (GetParam (), w.get ());
        r.x.set_const (1.0 / 32.0, FIXED);
        r.m.set_const (pos, CONST);
        ASSERT_TRUE (r.render ());
        ASSERT_TRUE (r.render ());
        EXPECT_NEAR (r.out.at (16), 1.5, 1e-5) << "morph curve ending at " << end << ", position " << pos;
      }
}

/* Each variant gives the scalar build's bits over 40 fragments on curved segments, rising,
 * falling and level (level ones with both, one or no handle off their line), with a moving
 * increment and with a steady one (walked W samples at a time). */
TEST_P (WaveGenTest, MatchesTheScalarBuild)
{
  const GenVariant v = GetParam ();
  g_autoptr (VornCurve) curve = vorn_curve_new (3);
  vorn_curve_set_point (curve, 0, 0.0, 0.0, 0.0, 0.0, 0.3, 0.9);
  vorn_curve_set_point (curve, 1, 0.35, 1.0, 0.5, 0.6, 0.55, -0.2);
  vorn_curve_set_point (curve, 2, 0.9, 0.1, 1.0, 0.0, 1.0, 0.0);
  g_autoptr (VornCurve) level = vorn_curve_new (5);
  vorn_curve_set_point (level, 0, 0.0, 0.0, 0.0, 0.0, 0.1, 0.9);
  vorn_curve_set_point (level, 1, 0.15, -0.8, 0.3, 0.0, 0.4, 0.7);
  vorn_curve_set_point (level, 2, 0.45, 0.0, 0.5, 0.0, 0.6, 0.0);
  vorn_curve_set_point (level, 3, 0.7, 0.0, 0.75, 0.0, 0.8, 0.0);
  vorn_curve_set_point (level, 4, 0.9, -0.6, 1.0, 0.0, 1.0, 0.0);
  const struct { const char *name; WaveSpec spec; std::vector<MorphEntry> morph; } scenarios[] = {
    { "sine", {}, {} },
    { "envelope", { .x = VORN_ATTRIB_TYPE_TIME, .dest = VORN_ATTRIB_TYPE_VOLUME, .op = VORN_WAVE_OP_MUL,
                    .play = VORN_WAVE_PLAY_MODE_ONCE, .y_scale = 30.0, .y_ofs = -30.0 }, {} },
    { "morph-mod", { .op = VORN_WAVE_OP_ADD, .x_scale = 3.7 },
      { { 3, TRUE, 1.0, 0.7 }, { 4, FALSE, 0.6, 0.9 }, { 6, FALSE, 1.0, -1.0 } } },
    { "backward", { .dest = VORN_ATTRIB_TYPE_PITCH, .op = VORN_WAVE_OP_MUL, .x_scale = -1.3 }, {} },
    { "level", { .x_scale = 1.7 }, {} },
    /* The morph lifts and lowers the ends of level segments, making them rise and fall. */
    { "level-morph", { .op = VORN_WAVE_OP_ADD, .x_scale = -2.3 }, { { 3, FALSE, 1.0, 0.4 }, { 9, FALSE, 0.5, -0.3 } } },
  };
  for (bool steady : { false, true })
    for (const auto &sc : scenarios)
      {
        SCOPED_TRACE (std::string (sc.name) + (steady ? ", steady increment" : ", moving increment"));
        const std::string name = sc.name;
        WavePtr wave = name == "sine"
                         ? WavePtr (vorn_wave_new_from_preset (VORN_WAVE_PRESET_SIGNAL_SINE), g_object_unref)
                         : new_wave (name.rfind ("level", 0) == 0 ? level : curve, sc.spec, sc.morph);
        Rig t (v, wave.get ()), r (v, wave.get ());
        r.gen->parent_instance.render = v.format == VORN_FORMAT_SINGLE ? vorn_wave_gen_render_scalar_F
                                                                       : vorn_wave_gen_render_scalar_D;
        for (int f = 0; f < 40; f++)
          {
            for (Rig *p : { &t, &r })
              {
                if (steady)
                  p->x.set_const (0.0057, CONST);
                else
                  p->x.set_dynamic ([f] (int i) { return 0.004 + 0.003 * std::sin (0.05 * (f * N + i)); });
                p->y.set_dynamic ([f] (int i) { return 0.5 + 0.25 * std::cos (0.01 * (f * N + i)); });
                p->d.set_dynamic ([] (int i) { return 1.0 + i / 64.0; });
                p->m.set_const ((f % 7) / 6.0, CONST);
                p->render ();
              }
            const std::size_t bytes = N * (v.format == VORN_FORMAT_SINGLE ? sizeof (float) : sizeof (double));
            ASSERT_EQ (memcmp (t.out.buffer (), r.out.buffer (), bytes), 0) << "fragment " << f;
          }
      }
}

VORN_GEN_VARIANTS (WaveGenTest);

} // namespace
