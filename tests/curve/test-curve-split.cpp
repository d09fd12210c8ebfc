/* test-curve-split.cpp: splitting a segment keeps the curve's shape */
#include "vorn-curve-cache.h"
#include "vorn-morph.h"
#include "vorn-test-log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

/* Three segments with handles of every sort: long, crossing back in y,
 * lying on their points. */
VornCurve *
sample_curve ()
{
  const double x[] = { 0, 0.3, 0.2, 0.4, 0.5, 0.6, 0.6, 0.7, 0.95, 1 };
  const double y[] = { 0.1, 0.9, -0.7, 0.2, 1.3, 0.6, 0.6, -0.2, 0.4, 0.1 };
  VornCurve *c = vorn_curve_new (4);
  std::copy (x, x + 10, c->xcoords);
  std::copy (y, y + 10, c->ycoords);
  return c;
}

std::vector<double>
render (VornCurve *curve)
{
  std::vector<double> out (1000);
  vorn_curve_cache_invalidate (curve, VORN_FORMAT_DOUBLE);
  g_autoptr (VornCurveCache) cache = vorn_curve_cache_get (curve, VORN_FORMAT_DOUBLE);
  return vorn_curve_cache_render (cache, out.data (), 1000, 1.0, 0.0), out;
}

void
expect_same (const std::vector<double> &a, const std::vector<double> &b, const char *what)
{
  for (size_t i = 0; i < a.size (); i++)
    ASSERT_NEAR (a[i], b[i], 1e-9) << what << " at sample " << i;
}

TEST (CurveSplit, KeepsTheShapeEverywhere)
{
  struct {
    int segment;
    double t;
  } cases[] = { { 0, 0.5 }, { 0, 0.01 }, { 1, 0.3 }, { 2, 0.99 } };
  for (auto c : cases)
    {
      g_autoptr (VornCurve) curve = sample_curve ();
      const std::vector<double> before = render (curve);
      double x, y;
      vorn_curve_eval_segment (curve, c.segment, c.t, &x, &y);
      ASSERT_EQ (vorn_curve_split_segment (curve, c.segment, c.t), c.segment + 1);
      ASSERT_EQ (curve->count, 5);
      /* The new point lies on the old curve, the old points stay. */
      EXPECT_NEAR (curve->xcoords[3 * c.segment + 3], x, 1e-12);
      EXPECT_NEAR (curve->ycoords[3 * c.segment + 3], y, 1e-12);
      expect_same (render (curve), before, "split");
    }

  /* A split morph curve morphs its coordinate the same at every position. */
  g_autoptr (VornCurve) base = sample_curve ();
  VornMorph *morph = vorn_morph_new (base);
  VornCurve *mc = vorn_curve_new (3);
  const double mx[] = { 0, 0.2, 0.3, 0.5, 0.6, 0.9, 1 }, my[] = { 0, 0.9, -0.5, 0.4, 0.8, 0, 0.3 };
  std::copy (mx, mx + 7, mc->xcoords);
  std::copy (my, my + 7, mc->ycoords);
  vorn_morph_set_point_curve (morph, 4, FALSE, mc);
  auto morphed = [&] {
    std::vector<double> out;
    for (int i = 0; i < 1000; i++)
      {
        std::vector<double> xs (base->xcoords, base->xcoords + 10), ys = xs;
        vorn_morph_transform (morph, i / 999.0, xs.data (), ys.data (), 10, VORN_FORMAT_DOUBLE);
        out.push_back (ys[4]);
      }
    return out;
  };
  const std::vector<double> before = morphed ();
  EXPECT_EQ (vorn_curve_split_segment (mc, 1, 0.35), 2);
  vorn_morph_invalidate_cache (morph);
  expect_same (morphed (), before, "morph");
  g_object_unref (mc);
  vorn_morph_free (morph);
}

} // namespace
