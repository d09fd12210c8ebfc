/* test-curve-cache.cpp: segment records, cached evaluation against an
 * independent root solver, the shared-cache registry */
#include "vorn-curve-cache-eval.h"
#include "vorn-test-log.h"
#include "vornadel.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

struct Pt { double x, y; };

/* A curve from its coordinates in layout order: endpoint, right handle,
 * left handle, endpoint, ... (3n - 2 entries). */
VornCurve *
make_curve (const std::vector<Pt> &coords)
{
  VornCurve *curve = vorn_curve_new (guint ((coords.size () + 2) / 3));
  for (size_t k = 0; k < coords.size (); k++)
    std::tie (curve->xcoords[k], curve->ycoords[k]) = std::pair (coords[k].x, coords[k].y);
  return curve;
}

/* Shapes drawn by hand on x = 0 .. 1.  A sine period through its extremes
 * (handles a third of the way, the outer ones along the slope 2 pi). */
const double kS = 2.0 * G_PI / 12.0;
const std::vector<Pt> kSine = {{0, 0}, {1.0 / 12, kS}, {1.0 / 6, 1}, {0.25, 1}, {1.0 / 3, 1},
                               {2.0 / 3, -1}, {0.75, -1}, {5.0 / 6, -1}, {11.0 / 12, -kS}, {1, 0}};
/* Ease in and out: flat at both ends in y, steepest in the middle. */
const std::vector<Pt> kRise = {{0, 0}, {0.5, 0}, {0.5, 1}, {1, 1}};
/* A vertical start: X is flat at t = 0 where Y is not. */
const std::vector<Pt> kPeak = {{0, 0}, {0, 0.6}, {0.3, 1}, {0.5, 1}, {0.7, 1}, {1, 0.6}, {1, 0}};
/* A shape that starts right of 0, with a zero-width segment at its end. */
const std::vector<Pt> kOffset = {{0.1, 0.2}, {0.2, 0.9}, {0.5, -0.4}, {0.6, 0.3}, {0.7, 0.5},
                                 {0.8, 0.5}, {0.8, 0.5}, {0.8, 0.5}, {0.8, -0.7}, {0.8, -0.7}};

/* How far along x, as a fraction of the width, a cached value may belong
 * (0: compared in y alone).  Where X' stays away from 0 the root converges
 * to rounding.  Near a flat end Newton only halves the error per step and
 * bisection stops within 0.1 / 2^10 in t: worst seen 8.2e-5.  At a vertical
 * inflection Newton on a cube gains a third per step: worst seen 5.2e-3. */
constexpr double kFlatEnd = 1.5e-4;
constexpr double kInflection = 6e-3;

struct Shape { const char *name; std::vector<Pt> coords; double miss; };

const Shape kShapes[] = {
  {"sine", kSine, 0}, {"rise", kRise, 0}, {"peak", kPeak, kFlatEnd}, {"offset", kOffset, kFlatEnd},
  /* Handles on their endpoints and a zero-width jump in the middle. */
  {"saw", {{0, 0}, {0, 0}, {.5, 1}, {.5, 1}, {.5, 1}, {.5, -1}, {.5, -1}, {.5, -1}, {1, 0}, {1, 0}},
   0},
  /* X(t) = 3t^2 - 2t^3 while Y rises linearly: vertical at both ends. */
  {"flat-slope", {{0, 0}, {0, 1.0 / 3}, {1, 2.0 / 3}, {1, 1}}, kFlatEnd},
  /* X'(t) = 3 (1 - 2t)^2: a vertical inflection, where Newton overshoots. */
  {"near-vertical", {{0, -1}, {1, -1}, {0, 1}, {1, 1}}, kInflection},
  /* Segments that end at their start height follow their handles: a wave
   * period in one segment, then one handle off the level line, the other,
   * and handles on the diagonal (X's handles, Y's heights: not a line). */
  {"level-wave", {{0, 0}, {0.3, 1}, {0.6, -1}, {1, 0}}, 0},
  {"level-handles", {{0, .5}, {.1, 1.5}, {.2, .5}, {.25, .5}, {.3, .5}, {.4, -.5}, {.5, .5},
                     {.6, .5}, {.7, .5}, {.75, .5}, {.8, .5}, {.9, .5}, {1, .5}}, 0},
  {"level-diagonal", {{0, 0}, {1.0 / 3, 1.0 / 3}, {2.0 / 3, 2.0 / 3}, {1, 0}}, 0},
  /* A rise far too small for its handles to be normalised by it (a
   * subnormal in double, zero in float): still the drawn curve. */
  {"tiny-rise", {{0, 0}, {0.3, 1}, {0.6, -1}, {1, 1e-310}}, 0}};

/* Independent reference: the Bernstein form, solved by bisection. */
double
bezier (double p0, double p1, double p2, double p3, double t)
{
  const double s = 1.0 - t;
  return s * s * s * p0 + 3 * s * s * t * p1 + 3 * s * t * t * p2 + t * t * t * p3;
}

struct Ref
{
  const std::vector<Pt> &c;

  int segments () const { return int ((c.size () - 1) / 3); }

  /* Same segment rule as the cache: first segment whose end lies beyond x,
   * the last one also owning its end point. */
  int segment_of (double x) const
  {
    for (int s = 0; s < segments (); s++)
      if (x < c[3 * s + 3].x)
        return s;
    return x <= c.back ().x ? segments () - 1 : -1;
  }

  double at (int s, double t, double Pt::*m) const
  {
    return bezier (c[3 * s].*m, c[3 * s + 1].*m, c[3 * s + 2].*m, c[3 * s + 3].*m, t);
  }
  double X (int s, double t) const { return at (s, t, &Pt::x); }
  double Y (int s, double t) const { return at (s, t, &Pt::y); }

  /* t of x in segment s to 1e-12 (X is non-decreasing on these shapes). */
  double solve (int s, double x) const
  {
    if (x <= X (s, 0) || x >= X (s, 1))
      return x <= X (s, 0) ? 0 : 1;
    double lo = 0, hi = 1;
    while (hi - lo > 1e-12)
      (X (s, 0.5 * (lo + hi)) < x ? lo : hi) = 0.5 * (lo + hi);
    return 0.5 * (lo + hi);
  }

  double value (double x) const
  {
    int s = segment_of (x);
    return s < 0 ? 0.0 : c[3 * s + 3].x == c[3 * s].x ? c[3 * s].y : Y (s, solve (s, x));
  }

  /* Whether v is the value at some x' within delta of x, give or take eps:
   * near a vertical stretch a large error in y is a small one in x. */
  bool near_curve (double x, double v, double delta, double eps) const
  {
    int s = segment_of (x);
    if (s < 0 || c[3 * s + 3].x == c[3 * s].x)
      return std::fabs (v - value (x)) <= eps;
    double t0 = solve (s, std::max (x - delta, c[3 * s].x));
    double t1 = solve (s, std::min (x + delta, c[3 * s + 3].x));
    std::vector<double> ys;
    for (int i = 0; i <= 64; i++)
      ys.push_back (Y (s, t0 + (t1 - t0) * i / 64));
    auto [lo, hi] = std::minmax_element (ys.begin (), ys.end ());
    return v >= *lo - eps && v <= *hi + eps;
  }
};

class CacheFormat : public ::testing::TestWithParam<VornFormat> {};

VornCurveCache *
cache_of (const std::vector<Pt> &coords, VornFormat fmt)
{
  std::vector<double> xs, ys;
  for (const Pt &p : coords)
    xs.push_back (p.x), ys.push_back (p.y);
  return vorn_curve_cache_new_from_coords (xs.data (), ys.data (), int (xs.size ()), fmt);
}

} // namespace

TEST_P (CacheFormat, AgreesWithReferenceOnShapes)
{
  const VornFormat fmt = GetParam ();
  const bool single = fmt == VORN_FORMAT_SINGLE;
  /* Rounding of the stored records (float: about 3e-7 seen). */
  const double eps = single ? 1e-6 : 1e-11;
  const int N = 4001;

  for (const Shape &shape : kShapes)
    {
      SCOPED_TRACE (shape.name);
      Ref ref{shape.coords};
      g_autoptr (VornCurveCache) cache = cache_of (shape.coords, fmt);
      ASSERT_NE (cache, nullptr);

      double x0 = shape.coords.front ().x, width = shape.coords.back ().x - x0;
      std::vector<double> out (N);
      vorn_curve_cache_render (cache, out.data (), N, width, x0);

      /* Positions as render advances them: by repeated addition, in single
       * precision for single caches. */
      double xd = x0, step = width / (N - 1);
      float xf = float (x0), stepf = float (step);
      for (int i = 0; i < N; i++, xd += step, xf += stepf)
        {
          double x = single ? double (xf) : xd;
          if (x > shape.coords.back ().x)
            break;
          double v = vorn_curve_cache_plot_point (cache, x);
          ASSERT_EQ (out[i], v) << "render and plot_point differ at " << x;
          bool ok = shape.miss == 0 ? std::fabs (v - ref.value (x)) <= eps
                                    : ref.near_curve (x, v, shape.miss * width, eps);
          EXPECT_TRUE (ok) << "x = " << x << ": cached " << v << ", exact " << ref.value (x);
          if (!ok)
            break;
        }
    }
}

/* Values that come out exactly, not by root search. */
TEST_P (CacheFormat, ExactPoints)
{
  const VornFormat fmt = GetParam ();
  /* Handles on the diagonal in both axes: the straight-line short cut. */
  g_autoptr (VornCurveCache) line = cache_of ({{0, .25}, {.25, .5}, {.5, .75}, {1, 1.25}}, fmt);
  g_autoptr (VornCurveCache) offset = cache_of (kOffset, fmt);
  g_autoptr (VornCurveCache) sine = cache_of (kSine, fmt);
  g_autoptr (VornCurveCache) dot = cache_of ({{0.5, 1}, {0.5, 3}, {0.5, 2}, {0.5, 1}}, fmt);
  /* Level with level handles, however they lie in x: exactly level. */
  g_autoptr (VornCurveCache) level = cache_of ({{0, .75}, {.9, .75}, {.05, .75}, {1, .75}}, fmt);
  const struct { VornCurveCache *c; double x, v; } cases[] = {
      {line, 0.375, 0.625}, {line, 0.5, 0.75}, {offset, 0.8 + 1e-6, 0.0}, /* beyond the end */
      {sine, 1.0, 0.0}, {sine, 1.0 + 1e-9, 0.0}, {nullptr, 0.5, 0.0},
      {dot, 0.5, 1.0}, /* zero width and height */
      {level, 0.0, 0.75}, {level, 0.3, 0.75}, {level, 0.61, 0.75}, {level, 1.0, 0.75}};
  for (const auto &k : cases)
    EXPECT_EQ (vorn_curve_cache_plot_point (k.c, k.x), k.v) << k.x;
  /* Left of the start: the first value, as the records hold it. */
  EXPECT_FLOAT_EQ (vorn_curve_cache_plot_point (offset, 0.0), 0.2);
}

TEST_P (CacheFormat, RenderBoundaries)
{
  const VornFormat fmt = GetParam ();
  g_autoptr (VornCurveCache) c = cache_of (kRise, fmt);
  double out[8];

  /* One sample: at start, whatever the width; nothing for a count below 1. */
  std::fill (out, out + 8, -7.0);
  vorn_curve_cache_render (c, out, 1, 5.0, 0.5);
  vorn_curve_cache_render (c, out + 1, 0, 1.0, 0.0);
  EXPECT_EQ (std::pair (out[0], out[1]), std::pair (vorn_curve_cache_plot_point (c, 0.5), -7.0));

  /* Starting beyond the end: all zero. */
  vorn_curve_cache_render (c, out, 8, 1.0, 1.5);
  EXPECT_EQ (std::vector<double> (out, out + 8), std::vector<double> (8, 0.0));

  /* Positions 0.5, 0.7, 0.9, 1.1: past the end the last value repeats. */
  vorn_curve_cache_render (c, out, 4, 0.6, 0.5);
  double x2 = fmt == VORN_FORMAT_SINGLE ? double (0.5f + 0.2f + 0.2f) : 0.5 + 0.2 + 0.2;
  EXPECT_EQ (out[2], vorn_curve_cache_plot_point (c, x2));
  EXPECT_EQ (out[3], out[2]);

  /* A render that starts in the last segment of a sine ignores the earlier
   * ones (the segment search never goes back). */
  g_autoptr (VornCurveCache) s = cache_of (kSine, fmt);
  vorn_curve_cache_render (s, out, 8, 0.2, 0.8);
  for (int i = 0; i < 8; i++)
    EXPECT_NEAR (out[i], vorn_curve_cache_plot_point (s, 0.8 + 0.2 * i / 7), 1e-6);
}

TEST_P (CacheFormat, RecordsAndUpdate)
{
  const VornFormat fmt = GetParam ();
  g_autoptr (VornCurveCache) c = cache_of (kPeak, fmt);
  EXPECT_EQ (reinterpret_cast<uintptr_t> (c->segments) % 64, 0u);

  /* update() of the last segment gives the record of the changed curve
   * built afresh, moves the end, and leaves the original alone. */
  g_autoptr (VornCurveCache) copy = vorn_curve_cache_duplicate (c);
  /* The evaluation tables kept after the records go with them: a copy
   * carries them and an update computes them again. */
  auto same_tables = [fmt] (VornCurveCache *a, VornCurveCache *b) {
    const bool single = fmt == VORN_FORMAT_SINGLE;
    const void *ta = single ? static_cast<const void *> (curve_eval::prepared<float> (a))
                            : static_cast<const void *> (curve_eval::prepared<double> (a));
    const void *tb = single ? static_cast<const void *> (curve_eval::prepared<float> (b))
                            : static_cast<const void *> (curve_eval::prepared<double> (b));
    return memcmp (ta, tb, a->seg_count * curve_eval::PREP_LEN * (single ? sizeof (float) : sizeof (double))) == 0;
  };
  EXPECT_TRUE (same_tables (copy, c));
  std::vector<Pt> moved = kPeak;
  const double xs[4] = {0.5, 0.6, 1.1, 1.2}, ys[4] = {1, 0.8, 0.5, 0.1};
  for (int k = 0; k < 4; k++)
    moved[size_t (3 + k)] = {xs[k], ys[k]};
  vorn_curve_cache_update (copy, 1, xs, ys);
  vorn_curve_cache_update (copy, 2, xs, ys); /* out of range: ignored */
  g_autoptr (VornCurveCache) fresh = cache_of (moved, fmt);
  gsize bytes = 2 * VORN_CURVE_CACHE_RECORD_LEN
                * (fmt == VORN_FORMAT_SINGLE ? sizeof (float) : sizeof (double));
  EXPECT_EQ (memcmp (copy->segments, fresh->segments, bytes), 0);
  EXPECT_TRUE (same_tables (copy, fresh));
  EXPECT_FALSE (same_tables (copy, c));
  EXPECT_EQ (std::pair (copy->end_pos, c->end_pos), std::pair (1.2, 1.0));
}

INSTANTIATE_TEST_SUITE_P (Formats, CacheFormat,
                          ::testing::Values (VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE),
                          [] (const auto &i) {
                            return i.param == VORN_FORMAT_SINGLE ? "single" : "double";
                          });

/* Which segments the single-precision cache answers by polynomial instead of
 * root search: smooth ones (kSine's quarter periods, not its half period,
 * whose pieces miss by 1e-5), not those with a vertical end, straight lines
 * or double records; a private cache's update drops the fit, a duplicate's
 * makes it again.  (Its precision is the shapes test's above.) */
TEST (CurveCache, FitsSmoothSegmentsOnly)
{
  auto fits = [] (VornCurveCache *c) {
    std::string s;
    for (guint32 k = 0; k < c->seg_count; k++)
      s += curve_eval::fitted (curve_eval::prepared<float> (c) + k * curve_eval::PREP_LEN) ? 'f' : '-';
    return s;
  };
  const struct { const char *name; std::vector<Pt> coords; const char *fitted; } rows[] = {
    {"sine", kSine, "f-f"},
    {"peak (vertical ends)", kPeak, "--"},
    {"flat-slope (vertical ends)", {{0, 0}, {0, 1.0 / 3}, {1, 2.0 / 3}, {1, 1}}, "-"},
    {"line", {{0, .25}, {.25, .5}, {.5, .75}, {1, 1.25}}, "-"},
    {"level-wave", {{0, 0}, {0.3, 1}, {0.6, -1}, {1, 0}}, "f"},
  };
  for (const auto &row : rows)
    {
      g_autoptr (VornCurveCache) c = cache_of (row.coords, VORN_FORMAT_SINGLE);
      EXPECT_EQ (fits (c), row.fitted) << row.name;
      g_autoptr (VornCurveCache) d = cache_of (row.coords, VORN_FORMAT_DOUBLE);
      EXPECT_FALSE (curve_eval::fitted (curve_eval::prepared<double> (d))) << row.name;
    }

  g_autoptr (VornCurve) curve = make_curve (kSine);
  g_autoptr (VornCurveCache) priv = vorn_curve_cache_private_new (curve, VORN_FORMAT_SINGLE);
  g_autoptr (VornCurveCache) copy = vorn_curve_cache_duplicate (priv);
  const double xs[4] = {0.25, 0.4, 0.6, 0.75}, ys[4] = {1, 0.5, -0.5, -1};
  vorn_curve_cache_update (priv, 1, xs, ys);
  vorn_curve_cache_update (copy, 1, xs, ys);
  EXPECT_EQ (fits (priv), "f-f");
  EXPECT_EQ (fits (copy), "fff");
  g_autoptr (VornCurveCache) fresh = cache_of (kSine, VORN_FORMAT_SINGLE);
  EXPECT_EQ (fits (fresh), "f-f");

  /* Too many segments to be worth the time: none fitted. */
  std::vector<Pt> many;
  for (int k = 0; k <= 4097 * 3; k++)
    many.push_back ({ k / 3.0, std::sin (k / 3.0) });
  g_autoptr (VornCurveCache) big = cache_of (many, VORN_FORMAT_SINGLE);
  g_autoptr (VornCurveCache) small = cache_of ({ many.begin (), many.begin () + 13 }, VORN_FORMAT_SINGLE);
  EXPECT_EQ (fits (big).find ('f'), std::string::npos);
  EXPECT_EQ (fits (small), "ffff");
  EXPECT_NEAR (vorn_curve_cache_plot_point (priv, 0.4), vorn_curve_cache_plot_point (copy, 0.4), 3e-7);
}

TEST (CurveCache, RegistrySharesInvalidatesAndForgets)
{
  g_autoptr (VornCurve) curve = make_curve (kRise);
  g_autoptr (VornCurveCache) a = vorn_curve_cache_get (curve, VORN_FORMAT_DOUBLE);
  g_autoptr (VornCurveCache) b = vorn_curve_cache_get (curve, VORN_FORMAT_DOUBLE);
  g_autoptr (VornCurveCache) f = vorn_curve_cache_get (curve, VORN_FORMAT_SINGLE);
  g_autoptr (VornCurveCache) priv = vorn_curve_cache_private_new (curve, VORN_FORMAT_DOUBLE);
  EXPECT_EQ (a, b);
  EXPECT_NE (a, f);
  EXPECT_NE (priv, a);

  /* After a change and invalidation the next get sees the new points; the
   * old object stays usable for its holders; the other format stays. */
  double before = vorn_curve_cache_plot_point (a, 0.5);
  curve->ycoords[3] = 2.0;
  vorn_curve_cache_invalidate (curve, VORN_FORMAT_DOUBLE);
  g_autoptr (VornCurveCache) c = vorn_curve_cache_get (curve, VORN_FORMAT_DOUBLE);
  g_autoptr (VornCurveCache) f2 = vorn_curve_cache_get (curve, VORN_FORMAT_SINGLE);
  EXPECT_NE (c, a);
  EXPECT_EQ (vorn_curve_cache_plot_point (a, 0.5), before);
  EXPECT_DOUBLE_EQ (vorn_curve_cache_plot_point (c, 1.0), 2.0);
  EXPECT_EQ (f2, f);

  vorn_curve_cache_invalidate (curve, VORN_FORMAT_DOUBLE);
  vorn_curve_cache_invalidate (curve, VORN_FORMAT_DOUBLE); /* absent: no-op */

  /* Caches are registered by curve address, and a freed curve's address is
   * soon reused: the newcomer must get its own segments, not the old ones. */
  VornCurve *old_curve = make_curve (kRise);
  const void *old_address = old_curve;
  g_autoptr (VornCurveCache) old_cache = vorn_curve_cache_get (old_curve, VORN_FORMAT_DOUBLE);
  g_object_unref (old_curve);

  std::vector<VornCurve *> fresh;
  do
    fresh.push_back (make_curve (kRise));
  while (fresh.back () != old_address && fresh.size () < 64);
  for (VornCurve *c : fresh)
    {
      g_autoptr (VornCurveCache) cache = vorn_curve_cache_get (c, VORN_FORMAT_DOUBLE);
      EXPECT_NE (cache, old_cache);
      g_object_unref (c);
    }
}

TEST (CurveCache, RegistryUnderThreads)
{
  const int kThreads = 4;

  /* Racing first requests: every thread must end with the one object the
   * table keeps, and the table and this test hold the only references. */
  for (int round = 0; round < 40; round++)
    {
      g_autoptr (VornCurve) curve = make_curve (kSine);
      std::atomic<int> ready{0};
      VornCurveCache *got[kThreads] = {};
      std::vector<std::jthread> threads;
      for (int i = 0; i < kThreads; i++)
        threads.emplace_back ([&, i] {
          for (ready.fetch_add (1); ready.load () < kThreads;)
            std::this_thread::yield ();
          got[i] = vorn_curve_cache_get (curve, VORN_FORMAT_SINGLE);
        });
      threads.clear (); /* joins */
      g_autoptr (VornCurveCache) shared = vorn_curve_cache_get (curve, VORN_FORMAT_SINGLE);
      for (VornCurveCache *g : got)
        {
          EXPECT_EQ (g, shared);
          g_object_unref (g);
        }
      EXPECT_EQ (G_OBJECT (shared)->ref_count, 2u);
      vorn_curve_cache_invalidate (curve, VORN_FORMAT_SINGLE);
    }

  /* Invalidation while readers hold and evaluate the old cache. */
  g_autoptr (VornCurve) curve = make_curve (kSine);
  std::atomic<int> bad{0};
  double expect[64];
  {
    g_autoptr (VornCurveCache) c = vorn_curve_cache_new_from_curve (curve, VORN_FORMAT_DOUBLE);
    vorn_curve_cache_render (c, expect, 64, 1.0, 0.0);
  }
  std::vector<std::jthread> readers;
  for (int i = 0; i < kThreads - 1; i++)
    readers.emplace_back ([&] (std::stop_token st) {
      double out[64];
      while (!st.stop_requested ())
        {
          g_autoptr (VornCurveCache) c = vorn_curve_cache_get (curve, VORN_FORMAT_DOUBLE);
          vorn_curve_cache_render (c, out, 64, 1.0, 0.0);
          bad.fetch_add (memcmp (out, expect, sizeof out) != 0);
        }
    });
  for (int i = 0; i < 2000; i++)
    vorn_curve_cache_invalidate (curve, VORN_FORMAT_DOUBLE);
  readers.clear (); /* stops and joins */
  EXPECT_EQ (bad.load (), 0);
  vorn_curve_cache_invalidate (curve, VORN_FORMAT_DOUBLE);
}
