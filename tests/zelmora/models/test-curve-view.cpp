/* test-curve-view.cpp: zooming, scrolling, fitting, grid steps and
 * snapping of the curve view, and the session's on-curve insertion,
 * snapped drags and typed values */
#include "vorn-curve-cache.h"
#include "vorn-test-log.h"
#include "zelm-curve-edit.h"
#include "zelm-test-waves.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace zelm_test;

namespace {

constexpr double EPS = 1e-9;

ZelmCurveView
sized (gboolean transposed, double x_zoom, double y_zoom, double x_ofs, double y_ofs)
{
  return ZelmCurveView { 408, 208, transposed, x_zoom, y_zoom, x_ofs, y_ofs };
}

/* A zoom keeps the value under its pixel, a scroll moves every value by
 * its pixels, both ways round. */
TEST (CurveView, ZoomAboutThePointerAndScroll)
{
  struct {
    gboolean transposed;
    double fx, fy, px, py, dx, dy;
  } cases[] = { { FALSE, 2, 2, 100, 50, 30, -20 }, { FALSE, 0.5, 1, 300, 200, 0, 7 },
                { TRUE, 1, 4, 10, 180, -12, 40 } };
  for (auto c : cases)
    {
      ZelmCurveView v = sized (c.transposed, 1.0, 0.5, -0.2, 1.0), before = v;
      double vx, vy, cx, cy, px, py;
      zelm_curve_view_swap (&v, c.px, c.py, &cx, &cy);
      zelm_curve_view_from_canvas (&v, cx, cy, &vx, &vy);
      zelm_curve_view_zoom_at (&v, c.px, c.py, c.fx, c.fy);
      EXPECT_NEAR (v.x_zoom * v.y_zoom, before.x_zoom * c.fx * before.y_zoom * c.fy, EPS);
      zelm_curve_view_scroll (&v, c.dx, c.dy);
      zelm_curve_view_to_pixel (&v, vx, vy, &px, &py);
      EXPECT_NEAR (std::hypot (px - c.px - c.dx, py - c.py - c.dy), 0.0, EPS) << c.transposed;
    }
}

/* Grid steps are 1, 2, 5 times a power of ten at least 60 pixels apart;
 * the visible range and the snapping follow them. */
TEST (CurveView, GridStepsRangesAndSnapping)
{
  struct {
    double scale, major, minor;
  } steps[] = { { 600, 0.1, 0.02 }, { 400, 0.2, 0.05 }, { 100, 1, 0.2 }, { 25, 5, 1 },
                { 6e5, 1e-4, 2e-5 }, { 0, 0, 0 } };
  for (auto s : steps)
    {
      double minor;
      EXPECT_NEAR (zelm_curve_view_grid_step (s.scale, &minor), s.major, s.major * EPS);
      EXPECT_NEAR (minor, s.minor, s.minor * EPS) << s.scale;
    }

  /* 400 x 200 pixels of x -0.5 to 0.5 (grid 0.2 / 0.05), y 2 to -2 (2 / 0.5) */
  ZelmCurveView v = sized (FALSE, 1.0, 0.25, -0.5, 2.0);
  double lo, hi;
  zelm_curve_view_axis (&v, 1, &lo, &hi, nullptr, nullptr);
  EXPECT_NEAR (hi - lo, 4.16, EPS) << "the margins included";
  double x = 0.123, y = -0.77;
  zelm_curve_view_snap (&v, &x, &y);
  EXPECT_NEAR (x, 0.1, EPS);
  EXPECT_NEAR (y, -1.0, EPS);
}

/* The bank's "Pad Wave" reaches beyond ±1 and its morph targets further:
 * the fit frames them all, exactly at the drawing's edges. */
TEST (CurveView, FitFramesTheCurveAndItsMorphTargets)
{
  g_autoptr (VornFile) bank = load_bank ();
  ASSERT_NE (bank, nullptr);
  VornWave *pad = VORN_WAVE (find_node (VORN_NODE (bank), "Pad Wave"));
  ASSERT_TRUE (pad && pad->morph);
  double lo = 0, hi = 0;
  auto extend = [&] (VornCurve *c) {
    for (int i = 0; i < VORN_CURVE_COORD_LENGTH (c); i++)
      lo = std::min (lo, c->ycoords[i]), hi = std::max (hi, c->ycoords[i]);
  };
  extend (pad->curve);
  for (guint e = 0; e < pad->morph->count; e++)
    if (!pad->morph->points[e].horizontal)
      extend (pad->morph->points[e].curve);
  ASSERT_GT (hi, 2.0);
  ASSERT_LT (lo, -2.0);
  ZelmCurveView v = sized (FALSE, 1, 1, 0, 0);
  EXPECT_TRUE (zelm_curve_view_fit_morph (&v, ZELM_CURVE_VIEW_FIT_AUTO, pad->curve, pad->morph,
                                          TRUE));
  EXPECT_NEAR (zelm_curve_view_axis_pixel (&v, 1, hi), 4, EPS);
  EXPECT_NEAR (zelm_curve_view_axis_pixel (&v, 1, lo), 204, EPS);
}

const double base_x[] = { 0.0, 0.1, 0.2, 0.3, 0.4, 0.55, 0.6, 0.65, 0.9, 1.0 };
const double base_y[] = { 0.5, 0.8, 0.9, 0.9, 0.9, 0.2, 0.2, 0.2, 0.5, 0.5 };

/* Inserting on the curve keeps its shape and its morph entries on their
 * coordinates; a snapped drag lands on the grid unless Alt is held; typed
 * values go past the view's edges. */
TEST (CurveEditView, InsertOnTheCurveSnapAndTypedValues)
{
  VornWave *wave = make_wave (base_x, base_y, 4);
  add_morph (wave, 9, FALSE, { 0, 0.5, 0, 0.5, 1, 0.9, 1, 0.9 });
  ZelmCurveEdit *edit = zelm_curve_edit_new ();
  zelm_curve_edit_set_wave (edit, wave);
  ZelmCurveView v = sized (FALSE, 1, 1, 0, 1);
  zelm_curve_edit_set_view (edit, &v);
  auto render = [&] { return curve_samples (wave->curve); };
  const std::vector<double> before = render ();
  EXPECT_NE (zelm_curve_edit_insert (edit, 184, 160), 0u); /* below segment 1 */
  ASSERT_EQ (wave->curve->count, 5);
  EXPECT_EQ (zelm_curve_edit_get_selected (edit), 6);
  for (size_t i = 0; const double y : render ())
    ASSERT_NEAR (y, before[i++], 1e-9) << i;
  EXPECT_NE (vorn_wave_find_morph_point (wave, 12, FALSE), nullptr);
  EXPECT_EQ (zelm_curve_edit_insert (edit, 4 + 400 * 0.6, 4 + 200 * 0.8), 0u) << "on point 2";

  zelm_curve_edit_set_snap (edit, TRUE);
  for (guint mods : { 0u, guint (ZELM_CURVE_EDIT_NO_SNAP) })
    {
      zelm_curve_edit_begin (edit, 6, 0, 0);
      zelm_curve_edit_move (edit, 4 + 400 * 0.461, 4 + 200 * 0.333, mods);
      zelm_curve_edit_commit (edit);
      EXPECT_NEAR (wave->curve->xcoords[6], mods ? 0.461 : 0.45, EPS);
      EXPECT_NEAR (wave->curve->ycoords[6], mods ? 0.667 : 0.7, EPS);
    }
  EXPECT_NE (zelm_curve_edit_set_value (edit, 6, 0.5, 1.75), 0u);
  EXPECT_NEAR (wave->curve->xcoords[6], 0.5, EPS);
  EXPECT_NEAR (wave->curve->ycoords[6], 1.75, EPS);
  EXPECT_EQ (zelm_curve_edit_set_value (edit, 6, NAN, 0), 0u);
  zelm_curve_edit_free (edit);
  g_object_unref (wave);
}

} // namespace
