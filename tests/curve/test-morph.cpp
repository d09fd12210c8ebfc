/* test-morph.cpp: morph entries and their ordering, cache preparation,
 * transformation and malformed JSON (finding and removing entries is
 * checked through the wave's morph editing) */
#include "vorn-test-log.h"
#include "vorn-test-model.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

/* Base curve with three points: coordinates 0..6, y = 0.1 * index + 0.2
 * (so y at index 5 is 0.7), x = index / 6. */
VornCurve *
base_curve ()
{
  VornCurve *c = vorn_curve_new (3);
  for (int k = 0; k < 7; k++)
    c->xcoords[k] = k / 6.0, c->ycoords[k] = 0.1 * k + 0.2;
  return c;
}

std::vector<double>
coords_of (VornCurve *c, bool x)
{
  int n = VORN_CURVE_COORD_LENGTH (c);
  const double *v = x ? c->xcoords : c->ycoords;
  return std::vector<double> (v, v + n);
}

using E = vorn_test::MorphEntries;
using vorn_test::morph_entries;

} // namespace

TEST (Morph, InsertKeepsOrderAndTiesToBase)
{
  g_autoptr (VornCurve) base = base_curve ();
  g_autoptr (VornMorph) m = vorn_morph_new (base);
  VornMorphPoint *p = nullptr;

  ASSERT_EQ (vorn_morph_insert_point (m, 5, FALSE, 0.5, 0.2, &p), 1);
  EXPECT_EQ (coords_of (p->curve, true), (std::vector<double>{0, 0, 0.5, 0.5, 0.5, 1, 1}));
  /* The start ties to the base value 0.7 (0.1 * 5 + 0.2, rounded), the rest
   * to the inserted 0.2. */
  EXPECT_EQ (coords_of (p->curve, false),
             (std::vector<double>{0.1 * 5 + 0.2, 0.1 * 5 + 0.2, 0.2, 0.2, 0.2, 0.2, 0.2}));

  /* Horizontal before vertical for one index; otherwise by index. */
  EXPECT_EQ (vorn_morph_insert_point (m, 5, TRUE, 1.0, 0.9, &p), 1);
  EXPECT_EQ (p->curve->count, 2);
  EXPECT_DOUBLE_EQ (p->curve->ycoords[0], 5 / 6.0);
  for (auto [k, h] : {std::pair{9u, FALSE}, {0u, FALSE}, {9u, TRUE}})
    EXPECT_EQ (vorn_morph_insert_point (m, k, h, 0.3, 0.0, nullptr), 1);
  EXPECT_EQ (morph_entries (m), (E{{0, false}, {5, true}, {5, false}, {9, true}, {9, false}}));
  /* Beyond the base curve's coordinates the base value is 0. */
  EXPECT_EQ (vorn_morph_find_point (m, 9, FALSE)->curve->ycoords[0], 0.0);

  /* Into an existing entry: the end point is already there; otherwise the
   * new point's index in the morph curve. */
  for (auto [x, at] : {std::pair{1.0, -1}, {0.25, 1}, {0.75, 3}})
    EXPECT_EQ (vorn_morph_insert_point (m, 5, FALSE, x, 0.4, nullptr), at) << x;
  EXPECT_EQ (vorn_morph_find_point (m, 5, FALSE)->curve->count, 5);

  EXPECT_EQ (vorn_morph_insert_point (m, 1, FALSE, 0.0, 0.1, nullptr), -1);
  EXPECT_CRITICAL ("morphX > 0.0 && morphX <= 1.0");
  EXPECT_EQ (m->count, 5);
}

class MorphFormat : public ::testing::TestWithParam<VornFormat> {};

TEST_P (MorphFormat, TransformFollowsMorphCurves)
{
  const VornFormat fmt = GetParam ();
  g_autoptr (VornCurve) base = base_curve ();
  g_autoptr (VornMorph) m = vorn_morph_new (base);
  vorn_morph_insert_point (m, 3, FALSE, 0.5, 1.0, nullptr);  /* 0.5 -> 1 */
  vorn_morph_insert_point (m, 2, TRUE, 1.0, 0.5, nullptr);   /* 1/3 -> 0.5 */
  vorn_morph_insert_point (m, 7, FALSE, 1.0, 9.0, nullptr);  /* beyond n */

  std::vector<double> xs = coords_of (base, true), ys = coords_of (base, false);
  std::vector<double> x0 = xs, y0 = ys;

  /* Position 0 gives the curve as drawn; coordinates without an entry and
   * entries beyond the array are untouched. */
  vorn_morph_transform (m, 0.0, xs.data (), ys.data (), 7, fmt);
  for (int k = 0; k < 7; k++)
    EXPECT_NEAR (std::hypot (xs[k] - x0[k], ys[k] - y0[k]), 0.0, 1e-7) << k;

  vorn_morph_transform (m, 0.5, xs.data (), ys.data (), 7, fmt);
  EXPECT_NEAR (ys[3], 1.0, 1e-6);
  EXPECT_NEAR (xs[2], (1 / 3.0 + 0.5) / 2, 1e-6); /* straight morph curve */
  vorn_morph_transform (m, 1.0, xs.data (), ys.data (), 7, fmt);
  EXPECT_NEAR (ys[3], 1.0, 1e-6);

  /* The base moved: a forced preparation ties the start to the new value
   * and does not reuse a shared cache built from the old one (held so that
   * a new cache cannot reuse its address). */
  g_autoptr (VornCurveCache) before = VORN_CURVE_CACHE (g_object_ref (m->points[1].cache));
  base->ycoords[3] = -2.0;
  vorn_morph_cache (m, fmt, FALSE);
  EXPECT_EQ (m->points[1].cache, before);
  vorn_morph_cache_point (m, 3, FALSE, fmt, TRUE);
  EXPECT_NE (m->points[1].cache, before);
  vorn_morph_transform (m, 0.0, xs.data (), ys.data (), 7, fmt);
  EXPECT_NEAR (ys[3], -2.0, 1e-6);

  /* A direct edit of a morph curve shows after invalidation. */
  m->points[1].curve->ycoords[3] = 4.0; /* the middle point's y */
  vorn_morph_invalidate_cache_point (m, 3, FALSE);
  EXPECT_EQ (m->points[1].cache, nullptr);
  vorn_morph_transform (m, 0.5, xs.data (), ys.data (), 7, fmt);
  EXPECT_NEAR (ys[3], 4.0, 1e-6);

  vorn_morph_invalidate_cache (m);
  for (guint i = 0; i < m->count; i++)
    EXPECT_EQ (m->points[i].cache, nullptr);
}

INSTANTIATE_TEST_SUITE_P (Formats, MorphFormat,
                          ::testing::Values (VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE),
                          [] (const auto &i) {
                            return i.param == VORN_FORMAT_SINGLE ? "single" : "double";
                          });

TEST (Morph, CopySharesCurvesAndCaches)
{
  g_autoptr (VornCurve) base = base_curve ();
  g_autoptr (VornMorph) m = vorn_morph_new (base);
  vorn_morph_insert_point (m, 1, FALSE, 0.5, 1.0, nullptr);
  vorn_morph_cache (m, VORN_FORMAT_DOUBLE, FALSE);

  auto *copy = static_cast<VornMorph *> (g_boxed_copy (VORN_TYPE_MORPH, m));
  ASSERT_EQ (copy->count, 1);
  EXPECT_NE (copy->points, m->points);
  EXPECT_EQ (copy->points[0].cache, m->points[0].cache);

  /* A point inserted through the copy is in the original's curve. */
  EXPECT_EQ (vorn_morph_insert_point (copy, 1, FALSE, 0.25, 0.0, nullptr), 1);
  EXPECT_EQ (m->points[0].curve->count, 4);
  g_boxed_free (VORN_TYPE_MORPH, copy);
  EXPECT_EQ (G_OBJECT (m->points[0].curve)->ref_count, 1u);
}

TEST (Morph, JsonRejectsMalformed)
{
  const char *curve = R"({"points":[0,0,0,0,1,1,1,1]})";
  auto doc = [&] (const std::string &entries, const char *type = "VornMorph") {
    return std::string (R"({"type":")") + type + R"(","points":[)" + entries + "]}";
  };
  auto entry = [&] (const std::string &index, const char *extra = "") {
    return std::string (R"({"curve":)") + curve + R"(,"index":)" + index + extra + "}";
  };

  for (const std::string &text :
       {doc (entry ("1"), "VornWave"), std::string (R"({"points":[]})"),
        std::string (R"({"type":"VornMorph","points":{}})"),
        doc (entry ("-1")), doc (entry ("4294967296")), doc (entry ("\"3\"")),
        doc (entry ("1", R"(,"horizontal":{})")),
        doc (R"({"curve":[1,2],"index":1})"), doc (R"({"index":1})"),
        doc (R"({"curve":{},"index":1})"), doc ("3"),
        doc (entry ("1") + "," + entry ("1"))})
    {
      g_autoptr (JsonNode) node = json_from_string (text.c_str (), nullptr);
      ASSERT_NE (node, nullptr) << text;
      g_autoptr (VornMorph) m = vorn_morph_deserialize (nullptr, node);
      EXPECT_EQ (m, nullptr) << text;
    }
  EXPECT_EQ (vorn_morph_deserialize (nullptr, nullptr), nullptr);

  /* Out of order in the file: put in order. */
  std::string text = doc (entry ("7") + "," + entry ("7", R"(,"horizontal":true)") + ","
                         + entry ("4294967295"));
  g_autoptr (JsonNode) node = json_from_string (text.c_str (), nullptr);
  g_autoptr (VornMorph) m = vorn_morph_deserialize (nullptr, node);
  ASSERT_NE (m, nullptr);
  EXPECT_EQ (morph_entries (m), (E{{7, true}, {7, false}, {4294967295u, false}}));
}
