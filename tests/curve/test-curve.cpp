/* test-curve.cpp: curve storage, point editing, segment search */
#include "vorn-test-log.h"
#include "vornadel.h"

#include <vector>

namespace {

using V = std::vector<double>;

/* Two points (0, 0) and (1, 1) with the handles (0.8, 0.8) and (0.2, 0.2). */
VornCurve *
diagonal_curve ()
{
  VornCurve *c = vorn_curve_new (2);
  vorn_curve_set_start_point (c, 0.0, 0.0, 0.8, 0.8);
  vorn_curve_set_end_point (c, 0.2, 0.2, 1.0, 1.0);
  return c;
}

V
get_points (VornCurve *c)
{
  g_autoptr (GVariant) v = nullptr;
  g_object_get (c, "points", &v, nullptr);
  gsize n = 0;
  auto *d = static_cast<const double *> (g_variant_get_fixed_array (v, &n, sizeof (double)));
  return V (d, d + n);
}

V xs (VornCurve *c) { return { c->xcoords, c->xcoords + VORN_CURVE_COORD_LENGTH (c) }; }
V ys (VornCurve *c) { return { c->ycoords, c->ycoords + VORN_CURVE_COORD_LENGTH (c) }; }

} // namespace

TEST (Curve, PointsPropertyAcceptsOnlyWholePointCounts)
{
  g_autoptr (VornCurve) c = diagonal_curve ();
  int notified = 0;
  g_signal_connect_swapped (c, "notify::points", G_CALLBACK (+[] (int *n) { ++*n; }), &notified);

  /* 3n - 2 (x, y) pairs, n >= 2; anything else is refused with the curve
   * untouched. */
  V want = get_points (c);
  for (size_t n : {0u, 2u, 6u, 14u, 10u, 12u, 16u, 20u, 8u})
    {
      V pts (n);
      for (size_t i = 0; i < n; i++)
        pts[i] = double (i);
      const bool ok = n >= 8 && (n / 2 + 2) % 3 == 0;
      g_object_set (c, "points", g_variant_new_fixed_array (G_VARIANT_TYPE_DOUBLE, pts.data (), n,
                                                            sizeof (double)), nullptr);
      if (ok)
        want = pts;
      else
        EXPECT_WARNING ("invalid GVariant array size " + std::to_string (n) + " for 'points'");
      EXPECT_EQ (get_points (c), want) << n;
      EXPECT_EQ (c->count, int (want.size () + 4) / 6) << n;
    }
  EXPECT_EQ (notified, 3);
}

TEST (Curve, FindPointReturnsContainingSegment)
{
  g_autoptr (VornCurve) c = vorn_curve_new (3);
  vorn_curve_set_start_point (c, 0.0, 0.5, 0.2, 0.5);
  vorn_curve_set_point (c, 1, 0.4, 0.5, 0.5, 0.5, 0.6, 0.5);
  vorn_curve_set_end_point (c, 0.8, 0.5, 1.0, 0.5);
  const std::pair<double, int> cases[] = {
      {0.0, 0}, {0.25, 0}, {0.5, 0}, {0.75, 1}, {1.0, 1}, {1.5, -1}, {-0.1, -1}};
  for (auto [x, seg] : cases)
    EXPECT_EQ (vorn_curve_find_point (c, x), seg) << "x = " << x;

  g_autoptr (VornCurve) empty = vorn_curve_new (0);
  EXPECT_EQ (vorn_curve_find_point (empty, 0.0), -1);
}

TEST (Curve, InsertPointPullsCrossingHandlesBack)
{
  g_autoptr (VornCurve) c = diagonal_curve ();
  ASSERT_EQ (vorn_curve_insert_point (c, 0.5, 0.3), 1);
  EXPECT_EQ (xs (c), (V{0, 0.5, 0.5, 0.5, 0.5, 0.5, 1}));
  EXPECT_EQ (ys (c), (V{0, 0.5, 0.3, 0.3, 0.3, 0.5, 1}));

  /* Handles that stay on their own side are left alone. */
  g_autoptr (VornCurve) d = vorn_curve_new (2);
  vorn_curve_set_start_point (d, 0.0, 0.0, 0.1, 0.4);
  vorn_curve_set_end_point (d, 0.9, 0.7, 1.0, 1.0);
  ASSERT_EQ (vorn_curve_insert_point (d, 0.5, 0.3), 1);
  EXPECT_EQ (xs (d), (V{0, 0.1, 0.5, 0.5, 0.5, 0.9, 1}));
  EXPECT_EQ (ys (d), (V{0, 0.4, 0.3, 0.3, 0.3, 0.7, 1}));

  /* Into the second segment, on an existing endpoint, beyond the end. */
  ASSERT_EQ (vorn_curve_insert_point (d, 0.75, 0.1), 2);
  EXPECT_EQ (d->xcoords[6], 0.75);
  EXPECT_EQ (vorn_curve_insert_point (d, 0.5, 0.9), 1);
  EXPECT_EQ (vorn_curve_insert_point (d, 1.5, 0.0), -1);
  EXPECT_EQ (d->count, 5);
  for (int k = 3; k < VORN_CURVE_COORD_LENGTH (d); k += 3)
    EXPECT_LE (d->xcoords[k - 3], d->xcoords[k]);
}

TEST (Curve, InsertByIndexAndDeleteKeepLayout)
{
  g_autoptr (VornCurve) c = vorn_curve_new (2);
  vorn_curve_set_start_point (c, 0.0, 0.0, 0.25, 0.1);
  vorn_curve_set_end_point (c, 0.75, 0.9, 1.0, 1.0);

  vorn_curve_insert_point_by_index (c, 1);
  EXPECT_EQ (xs (c), (V{0, 0.25, 0, 0, 0, 0.75, 1}));
  vorn_curve_set_point (c, 1, 0.4, 0.5, 0.5, 0.5, 0.6, 0.5);

  /* At 0 the new point comes first; the old first point gains a left
   * handle slot. */
  vorn_curve_insert_point_by_index (c, 0);
  EXPECT_EQ (xs (c), (V{0, 0, 0, 0, 0.25, 0.4, 0.5, 0.6, 0.75, 1}));

  vorn_curve_delete_point (c, 1);
  EXPECT_EQ (xs (c), (V{0, 0, 0.4, 0.5, 0.6, 0.75, 1}));
  vorn_curve_delete_point (c, 1);
  EXPECT_EQ (xs (c), (V{0, 0, 0.75, 1}));
  EXPECT_EQ (ys (c), (V{0, 0, 0.9, 1}));

  /* Two points are the least a curve has. */
  vorn_curve_delete_point (c, 1);
  EXPECT_CRITICAL ("curve->count > 2");
  EXPECT_EQ (c->count, 2);
}
