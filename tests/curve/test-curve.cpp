/* test-curve.cpp: curve storage, point editing, segment search, JSON */
#include "vorn-test-log.h"
#include "vornadel.h"

#include <json-glib/json-glib.h>

#include <vector>

namespace {

/* Two points (0, 0) and (1, 1) with the handles (0.8, 0.8) and (0.2, 0.2). */
VornCurve *
diagonal_curve ()
{
  VornCurve *c = vorn_curve_new (2);
  vorn_curve_set_start_point (c, 0.0, 0.0, 0.8, 0.8);
  vorn_curve_set_end_point (c, 0.2, 0.2, 1.0, 1.0);
  return c;
}

std::vector<double>
get_points (VornCurve *c)
{
  GVariant *v = nullptr;
  g_object_get (c, "points", &v, nullptr);
  gsize n = 0;
  auto *d = static_cast<const double *> (
      g_variant_get_fixed_array (v, &n, sizeof (double)));
  std::vector<double> out (d, d + n);
  g_variant_unref (v);
  return out;
}

void
set_points (VornCurve *c, const std::vector<double> &pts)
{
  GVariant *v = g_variant_new_fixed_array (G_VARIANT_TYPE_DOUBLE, pts.data (),
                                           pts.size (), sizeof (double));
  g_object_set (c, "points", v, nullptr);
}

std::vector<double> xs (VornCurve *c) { return { c->xcoords, c->xcoords + VORN_CURVE_COORD_LENGTH (c) }; }
std::vector<double> ys (VornCurve *c) { return { c->ycoords, c->ycoords + VORN_CURVE_COORD_LENGTH (c) }; }

/* Curve with endpoints at the given x and handles a third of the way in. */
VornCurve *
curve_with_endpoints (const std::vector<double> &ex)
{
  VornCurve *c = vorn_curve_new (guint (ex.size ()));
  for (size_t i = 0; i < ex.size (); i++)
    {
      double l = i > 0 ? ex[i] - (ex[i] - ex[i - 1]) / 3 : 0;
      double r = i + 1 < ex.size () ? ex[i] + (ex[i + 1] - ex[i]) / 3 : 0;
      vorn_curve_set_point (c, int (i), l, 0.5, ex[i], 0.5, r, 0.5);
    }
  return c;
}

} // namespace

TEST (Curve, PointsAreInterleavedByCoordinateIndex)
{
  g_autoptr (VornCurve) c = diagonal_curve (); /* "points" interleaved: see JsonRoundTrip */
  EXPECT_EQ (VORN_CURVE_COORD_LENGTH (c), 4);

  g_autoptr (VornCurve) three = vorn_curve_new (3);
  vorn_curve_set_start_point (three, 0, 1, 2, 3);
  vorn_curve_set_point (three, 1, 4, 5, 6, 7, 8, 9);
  vorn_curve_set_end_point (three, 10, 11, 12, 13);
  EXPECT_EQ (xs (three), (std::vector<double>{0, 2, 4, 6, 8, 10, 12}));
  EXPECT_EQ (ys (three), (std::vector<double>{1, 3, 5, 7, 9, 11, 13}));

  /* The first point has no left handle, the last no right handle. */
  vorn_curve_set_point (three, 0, -1, -1, 0.5, 0.5, 1.5, 1.5);
  vorn_curve_set_point (three, 2, 9.5, 9.5, 12.5, 12.5, -1, -1);
  EXPECT_EQ (xs (three), (std::vector<double>{0.5, 1.5, 4, 6, 8, 9.5, 12.5}));

  vorn_curve_set_point (three, 3, 0, 0, 0, 0, 0, 0);
  EXPECT_CRITICAL ("point < curve->count");
  EXPECT_EQ (vorn_curve_get_width (three), 12.0);
}

TEST (Curve, PointsPropertyAcceptsOnlyWholePointCounts)
{
  g_autoptr (VornCurve) c = diagonal_curve ();
  int notified = 0;
  g_signal_connect_swapped (c, "notify::points", G_CALLBACK (+[] (int *n) {
                              ++*n;
                            }),
                            &notified);

  for (size_t bad : {0u, 2u, 6u, 10u, 12u, 16u})
    {
      set_points (c, std::vector<double> (bad, 9.0));
      EXPECT_WARNING ("invalid GVariant array size "
                      + std::to_string (bad) + " for 'points' property");
      EXPECT_EQ (c->count, 2);
      EXPECT_EQ (xs (c), (std::vector<double>{0, 0.8, 0.2, 1}));
    }
  EXPECT_EQ (notified, 0);

  for (auto [n, count] : {std::pair{14u, 3}, {20u, 4}, {8u, 2}})
    {
      std::vector<double> pts (n);
      for (size_t i = 0; i < n; i++)
        pts[i] = double (i);
      set_points (c, pts);
      ASSERT_EQ (c->count, count);
      EXPECT_EQ (get_points (c), pts);
      EXPECT_EQ (c->xcoords[VORN_CURVE_COORD_LENGTH (c) - 1], double (n - 2));
    }
  EXPECT_EQ (notified, 3);
}

TEST (Curve, FindPointReturnsContainingSegment)
{
  g_autoptr (VornCurve) c = curve_with_endpoints ({0.0, 0.5, 1.0});
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
  ASSERT_EQ (c->count, 3);
  EXPECT_EQ (xs (c), (std::vector<double>{0, 0.5, 0.5, 0.5, 0.5, 0.5, 1}));
  EXPECT_EQ (ys (c), (std::vector<double>{0, 0.5, 0.3, 0.3, 0.3, 0.5, 1}));

  /* Handles that stay on their own side are left alone. */
  g_autoptr (VornCurve) d = vorn_curve_new (2);
  vorn_curve_set_start_point (d, 0.0, 0.0, 0.1, 0.4);
  vorn_curve_set_end_point (d, 0.9, 0.7, 1.0, 1.0);
  ASSERT_EQ (vorn_curve_insert_point (d, 0.5, 0.3), 1);
  EXPECT_EQ (xs (d), (std::vector<double>{0, 0.1, 0.5, 0.5, 0.5, 0.9, 1}));
  EXPECT_EQ (ys (d), (std::vector<double>{0, 0.4, 0.3, 0.3, 0.3, 0.7, 1}));

  /* Into the second segment, then on an existing endpoint. */
  ASSERT_EQ (vorn_curve_insert_point (d, 0.75, 0.1), 2);
  EXPECT_EQ (d->xcoords[6], 0.75);
  EXPECT_EQ (vorn_curve_insert_point (d, 0.5, 0.9), 1);
  EXPECT_EQ (d->count, 5);
  for (int k = 3; k < VORN_CURVE_COORD_LENGTH (d); k += 3)
    EXPECT_LE (d->xcoords[k - 3], d->xcoords[k]);

  EXPECT_EQ (vorn_curve_insert_point (d, 1.5, 0.0), -1); /* beyond the end */
  EXPECT_EQ (vorn_curve_insert_point (d, -0.5, 0.0), -1);
  EXPECT_CRITICAL ("xpos >= 0.0");
  EXPECT_EQ (d->count, 5);
}

TEST (Curve, InsertByIndexAndDeleteKeepLayout)
{
  g_autoptr (VornCurve) c = vorn_curve_new (2);
  vorn_curve_set_start_point (c, 0.0, 0.0, 0.25, 0.1);
  vorn_curve_set_end_point (c, 0.75, 0.9, 1.0, 1.0);

  vorn_curve_insert_point_by_index (c, 1);
  ASSERT_EQ (c->count, 3);
  EXPECT_EQ (xs (c), (std::vector<double>{0, 0.25, 0, 0, 0, 0.75, 1}));
  vorn_curve_set_point (c, 1, 0.4, 0.5, 0.5, 0.5, 0.6, 0.5);

  /* At 0 the new point comes first; the old first point gains a left handle
   * slot. */
  vorn_curve_insert_point_by_index (c, 0);
  ASSERT_EQ (c->count, 4);
  EXPECT_EQ (xs (c),
             (std::vector<double>{0, 0, 0, 0, 0.25, 0.4, 0.5, 0.6, 0.75, 1}));

  vorn_curve_insert_point_by_index (c, 4);
  EXPECT_CRITICAL ("point >= 0 && point < curve->count");

  vorn_curve_delete_point (c, 1);
  ASSERT_EQ (c->count, 3);
  EXPECT_EQ (xs (c), (std::vector<double>{0, 0, 0.4, 0.5, 0.6, 0.75, 1}));
  vorn_curve_delete_point (c, 1);
  EXPECT_EQ (xs (c), (std::vector<double>{0, 0, 0.75, 1}));
  EXPECT_EQ (ys (c), (std::vector<double>{0, 0, 0.9, 1}));

  vorn_curve_delete_point (c, 1);
  EXPECT_CRITICAL ("curve->count > 2");

  vorn_curve_insert_point_by_index (c, 1);
  vorn_curve_delete_point (c, 0);
  EXPECT_CRITICAL ("point > 0 && point < curve->count");
  vorn_curve_delete_point (c, 2);
  EXPECT_CRITICAL ("point > 0 && point < curve->count");
  EXPECT_EQ (c->count, 3);
}

TEST (Curve, DuplicateIsIndependent)
{
  g_autoptr (VornCurve) c = diagonal_curve ();
  g_object_set (c, "name", "saw", nullptr);
  g_autoptr (VornCurve) d = vorn_curve_duplicate (c);
  vorn_curve_insert_point (c, 0.5, 0.5);
  c->ycoords[0] = 0.25;

  EXPECT_EQ (d->count, 2);
  EXPECT_EQ (get_points (d),
             (std::vector<double>{0, 0, 0.8, 0.8, 0.2, 0.2, 1, 1}));
  g_autofree char *name = nullptr;
  g_object_get (d, "name", &name, nullptr);
  EXPECT_STREQ (name, "saw");

  EXPECT_EQ (vorn_curve_duplicate (nullptr), nullptr);
  EXPECT_CRITICAL ("VORN_IS_CURVE (curve)");
  g_autoptr (VornCurve) empty = vorn_curve_new (0);
  EXPECT_EQ (vorn_curve_get_width (empty), 0.0);
  EXPECT_CRITICAL ("curve->count != 0");
}

TEST (Curve, JsonRoundTrip)
{
  g_autoptr (VornCurve) c = diagonal_curve ();
  g_autoptr (JsonNode) node = json_gobject_serialize (G_OBJECT (c));
  g_autofree char *json = json_to_string (node, FALSE);
  EXPECT_STREQ (json, "{\"points\":[0.0,0.0,0.80000000000000004,"
                      "0.80000000000000004,0.20000000000000001,"
                      "0.20000000000000001,1.0,1.0]}");

  g_object_set (c, "name", "tri", nullptr);
  vorn_curve_insert_point (c, 1.0 / 3.0, 2.0 / 3.0);
  g_free (json);
  json = json_gobject_to_data (G_OBJECT (c), nullptr);
  g_autoptr (GObject) back = json_gobject_from_data (VORN_TYPE_CURVE, json, -1, nullptr);
  ASSERT_TRUE (VORN_IS_CURVE (back));
  EXPECT_EQ (get_points (VORN_CURVE (back)), get_points (c)); /* bit-exact through text */
  g_autofree char *again = json_gobject_to_data (back, nullptr);
  EXPECT_STREQ (again, json); /* the name too */

  /* Integers are numbers too; a non-numeric array leaves the points unset. */
  g_autoptr (GObject) ints = json_gobject_from_data (
      VORN_TYPE_CURVE, "{\"points\":[0,0,1,1,0,0,1,1]}", -1, nullptr);
  EXPECT_EQ (VORN_CURVE (ints)->count, 2);
  g_autoptr (GObject) bad = json_gobject_from_data (
      VORN_TYPE_CURVE, "{\"points\":[\"a\",0,1,1,0,0,1,1]}", -1, nullptr);
  EXPECT_WARNING ("Failed to deserialize \"points\"");
  ASSERT_TRUE (VORN_IS_CURVE (bad));
  EXPECT_EQ (VORN_CURVE (bad)->count, 0);
  g_autoptr (GObject) odd = json_gobject_from_data (
      VORN_TYPE_CURVE, "{\"points\":[0,0,1,1,0,0]}", -1, nullptr);
  EXPECT_WARNING ("invalid GVariant array size 6");
  EXPECT_EQ (VORN_CURVE (odd)->count, 0);
}
