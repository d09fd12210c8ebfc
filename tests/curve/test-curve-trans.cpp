/* test-curve-trans.cpp: dragging curve coordinates, line intersection */
#include "vorn-test-log.h"
#include "vornadel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

/* 0: four points; index: 0 (0, .5) 1 (.1, .6) | 2 (.2, .3) 3 (.3, .4)
 *    4 (.4, .5) | 5 (.5, .7) 6 (.6, .6) 7 (.7, .5) | 8 (.9, .5) 9 (1, .5)
 * 1, 2: three points on y = .5: 0 (0) 1 (.2) | 2 3 4 | 5 (.8) 6 (1), the
 *    middle one at x = .5 with its handles .1 (1) or 0 (2) away. */
VornCurve *
make_curve (int which)
{
  VornCurve *c = vorn_curve_new (which == 0 ? 4 : 3);
  if (which == 0)
    {
      vorn_curve_set_start_point (c, 0.0, 0.5, 0.1, 0.6);
      vorn_curve_set_point (c, 1, 0.2, 0.3, 0.3, 0.4, 0.4, 0.5);
      vorn_curve_set_point (c, 2, 0.5, 0.7, 0.6, 0.6, 0.7, 0.5);
      vorn_curve_set_end_point (c, 0.9, 0.5, 1.0, 0.5);
      return c;
    }
  const double h = which == 1 ? 0.1 : 0.0;
  vorn_curve_set_start_point (c, 0, 0.5, 0.2, 0.5);
  vorn_curve_set_point (c, 1, 0.5 - h, 0.5, 0.5, 0.5, 0.5 + h, 0.5);
  vorn_curve_set_end_point (c, 0.8, 0.5, 1, 0.5);
  return c;
}

struct Snapshot {
  std::vector<double> x, y;
  explicit Snapshot (VornCurve *c)
      : x (c->xcoords, c->xcoords + VORN_CURVE_COORD_LENGTH (c)),
        y (c->ycoords, c->ycoords + VORN_CURVE_COORD_LENGTH (c))
  {
  }
  bool operator== (const Snapshot &) const = default;
};

} // namespace

/* Infinite lines: the crossing may lie outside both segments; parallel
 * lines leave the outputs alone.  (The drags reach the other geometry
 * helpers, but not every output of this one.) */
TEST (Geometry, LinesIntersect)
{
  const struct { double l[8]; bool hit; double x, y; } cross[] = {
      {{0, 0, 1, 1, 0, 1, 1, 0}, true, 0.5, 0.5}, {{0, 0, 1, 0, 5, 1, 5, 2}, true, 5, 0},
      {{0, 0, 2, 1, 1, 0, 1, 5}, true, 1, 0.5},   {{0, 0, 1, 1, 0, 1, 1, 2}, false, 7, 7}};
  for (const auto &k : cross)
    {
      double x = 7, y = 7;
      const double *l = k.l;
      EXPECT_EQ (vorn_util_line_intersect (l[0], l[1], l[2], l[3], l[4], l[5], l[6], l[7], &x, &y),
                 k.hit);
      EXPECT_EQ (std::pair (x, y), std::pair (k.x, k.y)) << &k - cross;
    }
}

/* A handle mode refuses an endpoint, and an index past the curve is refused. */
TEST (CurveTrans, AddPointChecksKindsAndRange)
{
  g_autoptr (VornCurve) c = make_curve (0);
  g_autoptr (VornCurveTrans) t = vorn_curve_trans_new (c);
  EXPECT_FALSE (vorn_curve_trans_add_point (t, 3, VORN_CURVE_TRANS_MODE_SET_SLOPE));
  EXPECT_FALSE (vorn_curve_trans_add_point (t, 10, VORN_CURVE_TRANS_MODE_CLAMP));
  EXPECT_CRITICAL ("pointIndex < length");
}

/* One coordinate dragged through a series of targets: after each, the listed
 * coordinates sit where the mode puts them; undo restores the whole curve. */
TEST (CurveTrans, DragSteps)
{
  using C = std::array<double, 3>; /* index, x, y */
  struct Step { double X, Y; std::vector<C> want; };
  struct Drag { const char *what; int curve; double snap; guint k; VornCurveTransMode mode;
                std::vector<Step> steps; };
  const double r2 = 0.1 / std::sqrt (2.0);
  const Drag drags[] = {
      {"clamp: snaps onto the endpoint, follows, stops at the ranges", 1, 0.04, 4,
       VORN_CURVE_TRANS_MODE_CLAMP,
       {{0.53, 0.52, {{4, 0.5, 0.5}}}, {0.55, 0.52, {{4, 0.55, 0.52}}}, {3, -0.07, {{4, 1, 0}}}}},
      {"handle swap pulls out the side dragged to", 2, 0, 3, VORN_CURVE_TRANS_MODE_HANDLE_SWAP,
       {{0.5, 0.9, {{2, 0.5, 0.5}, {3, 0.5, 0.5}, {4, 0.5, 0.5}}}, /* straight up: nothing */
        {0.7, 0.6, {{2, 0.5, 0.5}, {3, 0.5, 0.5}, {4, 0.7, 0.6}}},
        {0.3, 0.4, {{2, 0.3, 0.4}, {4, 0.5, 0.5}}}, /* the right handle goes back */
        {-5, 0.4, {{2, 0, 0.4}}}}},                 /* held by the previous endpoint */
      {"the first endpoint has no left handle", 2, 0, 1, VORN_CURVE_TRANS_MODE_HANDLE_SWAP,
       {{-0.5, 0.7, {{0, 0, 0.5}, {1, 0, 0.7}}}}},
      {"keep-slope moves the handles along; y clamps each", 0, 0, 3,
       VORN_CURVE_TRANS_MODE_KEEP_SLOPE,
       {{0.3, 0.5, {{2, 0.2, 0.4}, {3, 0.3, 0.5}, {4, 0.4, 0.6}}},
        {0.45, 0.95, {{2, 0.35, 0.85}, {3, 0.45, 0.95}, {4, 0.55, 1}}}}},
      {"wrap-pos moves both ends and their handles in y", 0, 0, 0, VORN_CURVE_TRANS_MODE_WRAP_POS,
       {{0.7, 0.8, {{0, 0, 0.8}, {9, 1, 0.8}, {1, 0.1, 0.9}, {8, 0.9, 0.8}}},
        {0, 0.95, {{0, 0, 0.95}, {9, 1, 0.95}, {1, 0.1, 1}, {8, 0.9, 0.95}}}}},
      {"set-slope-dist mirrors; the opposite stays in its box", 0, 0, 7,
       VORN_CURVE_TRANS_MODE_SET_SLOPE_DIST,
       {{0.72, 0.76, {{7, 0.72, 0.76}, {5, 0.48, 0.44}}},
        {0.9, 0.7, {{5, 0.3, 0.5}}},                          /* previous endpoint */
        {0.65, 0.0, {{5, 0.6 - 0.4 * (0.05 / 0.6), 1.0}}}}}, /* Y range */
      {"across the wrap the first right handle steers the last left one", 0, 0, 1,
       VORN_CURVE_TRANS_MODE_SET_SLOPE, {{0.05, 0.55, {{8, 1.0 - r2, 0.5 - r2}, {9, 1, 0.5}}}}},
  };

  for (const Drag &d : drags)
    {
      SCOPED_TRACE (d.what);
      g_autoptr (VornCurve) c = make_curve (d.curve);
      const Snapshot before (c);
      g_autoptr (VornCurveTrans) t = vorn_curve_trans_new (c);
      t->snap_dist = d.snap;
      ASSERT_TRUE (vorn_curve_trans_add_point (t, d.k, d.mode));
      for (const Step &s : d.steps)
        {
          vorn_curve_trans_translate (t, s.X, s.Y);
          for (auto [k, x, y] : s.want)
            EXPECT_NEAR (std::hypot (c->xcoords[int (k)] - x, c->ycoords[int (k)] - y), 0, 1e-12)
                << k << " at (" << c->xcoords[int (k)] << ", " << c->ycoords[int (k)]
                << ") after a drag to " << s.X << ", " << s.Y;
        }
      vorn_curve_trans_undo (t);
      EXPECT_TRUE (Snapshot (c) == before) << "undo";
    }
}
