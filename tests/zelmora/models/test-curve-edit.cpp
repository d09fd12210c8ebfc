/* test-curve-edit.cpp: the curve-editing session and its view, checked
 * against the engine's curve transformation and plain arithmetic */
#include "vorn-curve-trans.h"
#include "vorn-test-log.h"
#include "zelm-curve-edit.h"
#include "zelm-morph-position.h"
#include "zelm-test-waves.h"

#include <gtest/gtest.h>

#include <vector>

using namespace zelm_test;

namespace {

/* 400 x 200 pixels of drawing inside the 4-pixel margin. */
constexpr int W = 408, H = 208;

/* Four points with distinct handles; every value lands on a whole pixel. */
const double base_x[] = { 0.0, 0.1, 0.2, 0.3, 0.4, 0.55, 0.6, 0.65, 0.9, 1.0 };
const double base_y[] = { 0.5, 0.8, 0.9, 0.9, 0.9, 0.2, 0.2, 0.2, 0.5, 0.5 };

VornWave *
base_wave ()
{
  return make_wave (base_x, base_y, 4);
}

/* What the engine's transformation makes of @values when coordinate
 * @index is dragged in @mode to widget pixel (@px, @py) of @view. */
VornCurve *
expected_drag (VornCurve *values, const ZelmCurveView *view, guint index,
               VornCurveTransMode mode, double px, double py)
{
  VornCurve *c = vorn_curve_duplicate (values);
  double *xs = c->xcoords, *ys = c->ycoords, x0, x1, y0, y1, cx, cy;
  for (int i = 0; i < VORN_CURVE_COORD_LENGTH (c); i++)
    zelm_curve_view_to_canvas (view, xs[i], ys[i], &xs[i], &ys[i]);
  g_autoptr (VornCurveTrans) t = vorn_curve_trans_new (c);
  zelm_curve_view_canvas_range (view, &x0, &x1, &y0, &y1);
  vorn_curve_trans_set_xrange (t, x0, x1);
  vorn_curve_trans_set_yrange (t, y0, y1);
  t->snap_dist = 4.0;
  EXPECT_TRUE (vorn_curve_trans_add_point (t, index, mode));
  zelm_curve_view_swap (view, px, py, &cx, &cy);
  vorn_curve_trans_translate (t, cx, cy);
  for (int i = 0; i < VORN_CURVE_COORD_LENGTH (c); i++)
    zelm_curve_view_from_canvas (view, xs[i], ys[i], &xs[i], &ys[i]);
  return c;
}

void
expect_same_curve (VornCurve *got, VornCurve *want, const char *what)
{
  ASSERT_EQ (got->count, want->count) << what;
  for (int i = 0; i < VORN_CURVE_COORD_LENGTH (got); i++)
    EXPECT_TRUE (std::abs (got->xcoords[i] - want->xcoords[i]) < 1e-9 &&
                 std::abs (got->ycoords[i] - want->ycoords[i]) < 1e-9) << what << ": " << i;
}

constexpr guint SHIFT = ZELM_CURVE_EDIT_SHIFT, CTRL = ZELM_CURVE_EDIT_CONTROL;
constexpr auto CLAMP = VORN_CURVE_TRANS_MODE_CLAMP, KEEP = VORN_CURVE_TRANS_MODE_KEEP_SLOPE,
               SWAP = VORN_CURVE_TRANS_MODE_HANDLE_SWAP, WRAP = VORN_CURVE_TRANS_MODE_WRAP_POS,
               SLOPE = VORN_CURVE_TRANS_MODE_SET_SLOPE,
               SLOPE_DIST = VORN_CURVE_TRANS_MODE_SET_SLOPE_DIST;
constexpr auto CURVE = ZELM_CURVE_EDIT_CURVE, HMORPH = ZELM_CURVE_EDIT_HMORPH,
               VMORPH = ZELM_CURVE_EDIT_VMORPH;

/* A session over a wave, sized and fitted as the canvas does it. */
struct Session {
  ZelmCurveEdit *edit = zelm_curve_edit_new ();
  VornWave *wave;

  Session (VornWave *w, ZelmCurveEditMode mode = CURVE, int curve_point = -1,
           double position = 0.0)
    : wave (w)
  {
    zelm_curve_edit_set_mode (edit, mode);
    zelm_curve_edit_set_curve_point (edit, curve_point);
    zelm_curve_edit_set_wave (edit, wave);
    ZelmCurveView view = *zelm_curve_edit_get_view (edit);
    view.width = W;
    view.height = H;
    zelm_curve_view_fit (&view, ZELM_CURVE_VIEW_FIT_AUTO, wave->curve, mode != VMORPH);
    zelm_curve_edit_set_view (edit, &view);
    zelm_curve_edit_set_morph_position (edit, position);
  }
  ~Session ()
  {
    zelm_curve_edit_free (edit);
    g_object_unref (wave);
  }
  void at (double x, double y, double *px, double *py) /* widget pixel of a value */
  {
    zelm_curve_view_to_pixel (view (), x, y, px, py);
  }
  void drag (guint coord, double px, double py, double tx, double ty, guint mods)
  {
    zelm_curve_edit_begin (edit, int (coord), px, py);
    zelm_curve_edit_move (edit, (px + tx) / 2, (py + ty) / 2, mods);
    zelm_curve_edit_move (edit, tx, ty, mods);
  }
  int selected () { return zelm_curve_edit_get_selected (edit); }
  const ZelmCurveView *view () { return zelm_curve_edit_get_view (edit); }
};

TEST (CurveEdit, DragGivesExactlyTheEngineTransformation)
{
  struct {
    const char *what;
    ZelmCurveEditMode mode;
    guint index;
    guint mods;
    double tx, ty;
    VornCurveTransMode trans;
    int selected_after;
  } cases[] = {
    { "point", CURVE, 3, 0, 150, 60, KEEP, 3 },
    { "point past its neighbour", CURVE, 3, 0, 300, 250, KEEP, 3 },
    { "handle", CURVE, 4, 0, 190, 100, CLAMP, 4 },
    { "handle snapping onto its point", CURVE, 4, 0, 126, 26, CLAMP, 4 },
    { "ctrl handle", CURVE, 4, CTRL, 200, 60, SLOPE, 4 },
    { "ctrl shift handle", CURVE, 5, CTRL | SHIFT, 210, 170, SLOPE_DIST, 5 },
    { "ctrl handle across the wrap", CURVE, 1, CTRL, 30, 30, SLOPE, 1 },
    { "shift handle", CURVE, 7, SHIFT, 320, 120, SWAP, 7 },
    { "shift point pulls the left handle", CURVE, 6, SHIFT, 200, 130, SWAP, 5 },
    { "ctrl first point", CURVE, 0, CTRL, 80, 40, WRAP, 0 },
    { "ctrl shift last point", CURVE, 9, CTRL | SHIFT, 350, 180, WRAP, 9 },
    { "ctrl inner point", CURVE, 6, CTRL, 260, 150, KEEP, 6 },
    { "ctrl shift inner point", CURVE, 3, CTRL | SHIFT, 140, 70, KEEP, 3 },
    { "vmorph point", VMORPH, 3, 0, 150, 60, KEEP, 3 },
    { "vmorph curve start", VMORPH, 0, 0, 40, 150, KEEP, 0 },
    { "hmorph handle", HMORPH, 4, CTRL, 300, 120, SLOPE, 4 },
  };
  for (auto c : cases)
    {
      const bool morph_mode = c.mode != CURVE;
      const gboolean horizontal = c.mode == HMORPH;
      VornWave *w = base_wave ();
      /* In the morph modes the edited curve is the morph curve of
       * coordinate 6, whose start is that coordinate's own value. */
      const double start = horizontal ? base_x[6] : base_y[6];
      add_morph (w, 6, horizontal,
                 { 0.0, start, 0.1, 0.3, 0.2, 0.8, 0.3, 0.8, 0.4, 0.8,
                   0.55, 0.1, 0.6, 0.1, 0.65, 0.1, 0.9, 0.4, 1.0, 0.4 });
      Session s (w, c.mode, morph_mode ? 6 : -1);
      VornCurve *edited = morph_mode ? vorn_wave_find_morph_point (w, 6, horizontal)->curve
                                     : w->curve;
      g_autoptr (VornCurve) want =
        expected_drag (edited, s.view (), c.index, c.trans, c.tx, c.ty);
      double px, py;
      s.at (edited->xcoords[c.index], edited->ycoords[c.index], &px, &py);
      s.drag (c.index, px, py, c.tx, c.ty, c.mods);

      g_autoptr (VornCurve) got = vorn_curve_duplicate (edited);
      if (morph_mode)
        got->ycoords[0] = horizontal ? w->curve->xcoords[6] : w->curve->ycoords[6];
      expect_same_curve (got, want, c.what);
      EXPECT_EQ (s.selected (), c.selected_after) << c.what;
      zelm_curve_edit_commit (s.edit);
      EXPECT_FALSE (zelm_curve_edit_is_dragging (s.edit));
    }
}

TEST (CurveEdit, ModifierChangeRestartsFromTheOriginalCurve)
{
  Session s (base_wave ());
  g_autoptr (VornCurve) original = vorn_curve_duplicate (s.wave->curve);
  double px, py;
  s.at (0.6, 0.2, &px, &py);

  /* Each step changes the modifiers, then moves (or not: a modifier takes
   * effect without waiting for motion). */
  struct {
    const char *what;
    guint mods;
    bool move;
    double tx, ty;
    VornCurveTransMode trans;
    int selected;
  } steps[] = {
    { "plain", 0, true, 270, 120, KEEP, 6 },
    { "shift pressed", SHIFT, false, 270, 120, SWAP, 7 },
    { "shift held", SHIFT, true, 300, 100, SWAP, 7 },
    { "shift released", 0, true, 230, 160, KEEP, 6 },
    { "ctrl pressed (same kind)", CTRL, true, 240, 170, KEEP, 6 },
    { "ctrl shift", CTRL | SHIFT, true, 250, 150, KEEP, 6 },
  };
  zelm_curve_edit_begin (s.edit, 6, px, py);
  for (auto st : steps)
    {
      if (st.move)
        zelm_curve_edit_move (s.edit, st.tx, st.ty, st.mods);
      else
        zelm_curve_edit_set_modifiers (s.edit, st.mods);
      g_autoptr (VornCurve) want =
        expected_drag (original, s.view (), 6, st.trans, st.tx, st.ty);
      expect_same_curve (s.wave->curve, want, st.what);
      EXPECT_EQ (s.selected (), st.selected) << st.what;
    }
}

TEST (CurveEdit, CancelRestoresCurveAndMorphBitForBit)
{
  struct {
    const char *what;
    ZelmCurveEditMode mode;
    double position;
    bool existing_morph; /* coordinate 3 already morphs vertically */
    guint mods;          /* pressed in mid-drag */
    double press_x, press_y;
    guint coord;
  } cases[] = {
    { "no morph", CURVE, 0.0, false, 0, 0.3, 0.9, 3 },
    { "position 0 with a morph curve", CURVE, 0.0, true, 0, 0.3, 0.9, 3 },
    { "position 0.5 creating morph curves", CURVE, 0.5, false, 0, 0.3, 0.9, 3 },
    { "position 0.5 into a morph curve", CURVE, 0.5, true, 0, 0.3, 0.6, 3 },
    { "after a restart", CURVE, 0.5, true, SHIFT, 0.3, 0.6, 3 },
    { "wrap of the ends", CURVE, 0.0, true, CTRL, 0.0, 0.5, 0 },
    { "vmorph curve start", VMORPH, 0.0, true, 0, 0.0, 0.9, 0 },
    { "vmorph end", VMORPH, 0.0, true, CTRL, 1.0, 0.3, 3 },
  };
  for (auto c : cases)
    {
      VornWave *w = base_wave ();
      if (c.existing_morph)
        /* Its handles cross position 0.5: inserting there pulls them. */
        add_morph (w, 3, FALSE, { 0.0, 0.9, 0.8, 0.9, 0.2, 0.3, 1.0, 0.3 });
      Session s (w, c.mode, 3, c.position);
      const std::vector<double> before = wave_numbers (w);
      double px, py;
      s.at (c.press_x, c.press_y, &px, &py);
      s.drag (c.coord, px, py, px + 20, py + 30, 0);
      if (c.mods)
        zelm_curve_edit_move (s.edit, px + 30, py + 10, c.mods);
      EXPECT_NE (wave_numbers (w), before) << c.what;
      const guint changes = zelm_curve_edit_cancel (s.edit);
      EXPECT_TRUE (changes & ZELM_CURVE_EDIT_CHANGED_WAVE) << c.what;
      EXPECT_EQ (wave_numbers (w), before) << c.what;
      EXPECT_EQ (s.selected (), int (c.coord)) << c.what;
      /* The motion and release after a cancel change nothing more. */
      zelm_curve_edit_move (s.edit, px + 40, py + 40, 0);
      zelm_curve_edit_commit (s.edit);
      EXPECT_EQ (wave_numbers (w), before) << c.what;
    }
}

TEST (CurveEdit, DragAtAMorphPositionMovesTheMorphPoints)
{
  struct {
    guint mods;
    VornCurveTransMode trans;
    std::vector<guint> morphed; /* coordinates that get morph curves */
  } cases[] = {
    { 0, KEEP, { 2, 3, 4 } },
    /* The drag moves on to handle 4 (linked to 2), which was not part of
     * it at first; the point and its first link (5) keep their values. */
    { SHIFT, SWAP, { 2, 3, 4, 5 } },
  };
  for (auto &c : cases)
    {
      Session s (base_wave (), CURVE, -1, 0.5);
      g_autoptr (VornCurve) original = vorn_curve_duplicate (s.wave->curve);
      g_autoptr (VornCurve) want = expected_drag (original, s.view (), 3, c.trans, 160, 90);
      double px, py;
      s.at (0.3, 0.9, &px, &py);
      s.drag (3, px, py, 160, 90, c.mods);
      zelm_curve_edit_commit (s.edit);

      /* The base curve keeps its shape; the moved coordinates morph, in
       * both directions, to the dragged place at 0.5. */
      expect_same_curve (s.wave->curve, original, "base curve");
      ASSERT_NE (s.wave->morph, nullptr);
      EXPECT_EQ (s.wave->morph->count, 2 * c.morphed.size ());
      for (guint index : c.morphed)
        EXPECT_TRUE (vorn_wave_find_morph_point (s.wave, index, TRUE) &&
                     vorn_wave_find_morph_point (s.wave, index, FALSE)) << index;
      g_autoptr (VornCurve) morphed = vorn_curve_duplicate (original);
      vorn_morph_transform (s.wave->morph, 0.5, morphed->xcoords, morphed->ycoords, 10,
                            VORN_FORMAT_DOUBLE);
      expect_same_curve (morphed, want, "at 0.5");
    }
}

TEST (CurveEdit, InsertDeleteAndStepRules)
{
  Session s (base_wave ());
  VornCurve *curve = s.wave->curve;
  g_autoptr (VornCurve) original = vorn_curve_duplicate (curve);

  /* Between points 1 and 2: the new point is point 2, coordinate 6,
   * selected. */
  EXPECT_EQ (zelm_curve_edit_insert (s.edit, 184, 120),
             guint (ZELM_CURVE_EDIT_CHANGED_WAVE | ZELM_CURVE_EDIT_CHANGED_SELECTION));
  curve = s.wave->curve;
  ASSERT_EQ (curve->count, 5);
  EXPECT_EQ (s.selected (), 6);
  EXPECT_NE (zelm_curve_edit_delete_selected (s.edit), 0u);
  EXPECT_EQ (s.selected (), -1);
  ASSERT_EQ (s.wave->curve->count, 4);
  for (int i : { 0, 3, 6, 9 }) /* the split's shortened handles stay so */
    EXPECT_NEAR (s.wave->curve->ycoords[i], original->ycoords[i], 1e-9) << "after delete " << i;

  /* Within the margin at the left: nothing. */
  EXPECT_EQ (zelm_curve_edit_insert (s.edit, 2, 120), 0u);
  EXPECT_EQ (s.wave->curve->count, 4);

  /* A handle deletes its point; the first and last points stay. */
  zelm_curve_edit_set_selected (s.edit, 4);
  zelm_curve_edit_delete_selected (s.edit);
  ASSERT_EQ (s.wave->curve->count, 3);
  EXPECT_EQ (s.wave->curve->xcoords[3], 0.6);
  for (int sel : { 0, 1, 5, 6 })
    {
      zelm_curve_edit_set_selected (s.edit, sel);
      EXPECT_EQ (zelm_curve_edit_delete_selected (s.edit), 0u) << sel;
      EXPECT_EQ (s.wave->curve->count, 3);
    }

  /* Stepping walks the coordinates and wraps, from no selection to the
   * first or the last; the hover follows. */
  int steps[][3] = { { -1, 1, 0 }, { 0, 1, 1 }, { 6, 1, 0 }, { -1, -1, 6 }, { 0, -1, 6 } };
  for (auto st : steps)
    {
      zelm_curve_edit_set_selected (s.edit, st[0]);
      zelm_curve_edit_step (s.edit, st[1]);
      EXPECT_EQ (s.selected (), st[2]);
      EXPECT_EQ (zelm_curve_edit_get_hover (s.edit), st[2]);
    }

  /* In a morph mode the first insert creates the coordinate's morph curve,
   * from its value to the same at position 1; the next inserts a point. */
  Session m (base_wave (), VMORPH, 6);
  EXPECT_EQ (zelm_curve_edit_get_curve (m.edit), nullptr);
  EXPECT_EQ (zelm_curve_edit_insert (m.edit, 200, 100), guint (ZELM_CURVE_EDIT_CHANGED_WAVE));
  VornMorphPoint *e = vorn_wave_find_morph_point (m.wave, 6, FALSE);
  ASSERT_NE (e, nullptr);
  ASSERT_EQ (e->curve->count, 2);
  EXPECT_EQ (e->curve->xcoords[3], 1.0);
  EXPECT_EQ (e->curve->ycoords[3], base_y[6]);

  zelm_curve_edit_insert (m.edit, 200, 100);
  e = vorn_wave_find_morph_point (m.wave, 6, FALSE);
  ASSERT_EQ (e->curve->count, 3);
  EXPECT_NEAR (e->curve->xcoords[3], 196 / 400.0, 1e-6);
  EXPECT_NEAR (e->curve->ycoords[3], base_y[6], 1e-9); /* on the flat curve */
  EXPECT_EQ (m.selected (), 3);
  EXPECT_NE (zelm_curve_edit_delete_selected (m.edit), 0u);
  EXPECT_EQ (vorn_wave_find_morph_point (m.wave, 6, FALSE)->curve->count, 2);
}

TEST (CurveView, MapsValuesBothWaysAndFitsThePolarity)
{
  /* An odd size, zoom and offsets, so that a swapped or dropped term shows. */
  for (gboolean transposed : { gboolean (FALSE), gboolean (TRUE) })
    {
      const ZelmCurveView v = { 317, 131, transposed, 1.5, 0.75, -0.25, 0.5 };
      double px, py;
      zelm_curve_view_to_pixel (&v, 0.3, -0.2, &px, &py);
      /* x scale 309 * 1.5 along the width, y scale 123 * 0.75 down. */
      EXPECT_DOUBLE_EQ (px, (transposed ? -0.2 + 0.25 : 0.3 + 0.25) * 463.5 + 4);
      EXPECT_DOUBLE_EQ (py, (transposed ? 0.3 - 0.5 : 0.5 + 0.2) * 92.25 + 4);
      double cx, cy, vx, vy;
      zelm_curve_view_swap (&v, px, py, &cx, &cy);
      zelm_curve_view_from_canvas (&v, cx, cy, &vx, &vy);
      EXPECT_NEAR (vx, 0.3, 1e-12) << transposed;
      EXPECT_NEAR (vy, -0.2, 1e-12) << transposed;
      double x0, x1, y0, y1;
      zelm_curve_view_canvas_range (&v, &x0, &x1, &y0, &y1);
      EXPECT_EQ (x1, (transposed ? 131 : 317) - 4);
      EXPECT_EQ (y1, (transposed ? 317 : 131) - 4);
    }

  /* Fitting: the polarity chooses the y axis, the curve's width the x. */
  const double xw[] = { 0, 0.5, 1.5, 2 };
  const double up[] = { 0.2, 0.2, 0.8, 0.8 }, down[] = { 0.2, -0.1, 0.8, 0.8 };
  constexpr auto FIT_AUTO = ZELM_CURVE_VIEW_FIT_AUTO, FIT_UNIPOLAR = ZELM_CURVE_VIEW_FIT_UNIPOLAR,
                 FIT_BIPOLAR = ZELM_CURVE_VIEW_FIT_BIPOLAR;
  struct {
    ZelmCurveViewFit fit;
    bool transposed, whole_width, negative;
    double x_zoom, y_zoom, y_ofs;
  } cases[] = {
    { FIT_AUTO, false, true, false, 0.5, 1.0, 1.0 },
    { FIT_AUTO, false, true, true, 0.5, 0.5, 1.0 },
    { FIT_UNIPOLAR, false, true, true, 0.5, 1.0, 1.0 },
    { FIT_BIPOLAR, false, true, false, 0.5, 0.5, 1.0 },
    { FIT_BIPOLAR, false, false, false, 1.0, 0.5, 1.0 },
    { FIT_BIPOLAR, true, true, true, 0.5, 1.0, 0.0 },
  };
  for (auto c : cases)
    {
      g_autoptr (VornWave) w = make_wave (xw, c.negative ? down : up, 2);
      ZelmCurveView v;
      zelm_curve_view_init (&v);
      v.transposed = c.transposed;
      v.x_ofs = 3.0;
      const gboolean bipolar = zelm_curve_view_fit (&v, c.fit, w->curve, c.whole_width);
      EXPECT_EQ (bool (bipolar), c.y_zoom == 0.5 && !c.transposed);
      EXPECT_EQ ((std::vector<double> { v.x_zoom, v.y_zoom, v.y_ofs, v.x_ofs }),
                 (std::vector<double> { c.x_zoom, c.y_zoom, c.y_ofs, 0.0 }));
    }
  ZelmCurveView v;
  zelm_curve_view_init (&v);
  EXPECT_TRUE (zelm_curve_view_fit (&v, FIT_AUTO, nullptr, TRUE)) << "no wave: bipolar";
}

TEST (CurveEdit, HitTestFindsTheNearestCoordinate)
{
  const double hx[] = { 0, 0.005, 0.3, 0.5, 0.7, 0.9, 1 };
  const double hy[] = { 0.5, 0.5, 0.2, 0.9, 0.9, 0.2, 0.5 };
  Session s (make_wave (hx, hy, 3));
  double px, py;
  s.at (0.3, 0.2, &px, &py);
  EXPECT_EQ (zelm_curve_edit_find_coord (s.edit, px + 3, py - 2), 2);
  s.at (0.7, 0.9, &px, &py);
  EXPECT_EQ (zelm_curve_edit_find_coord (s.edit, px, py + 1), 4);
  /* Handle 1 lies 2 pixels from point 0: the point is found instead. */
  s.at (0.005, 0.5, &px, &py);
  EXPECT_EQ (zelm_curve_edit_find_coord (s.edit, px + 1, py), 0);
}

} // namespace

/* Scrubbing a 108 x 208 morph canvas: the strip the pointer makes active,
 * whether a press there grabs the active strip, and the position along the
 * active strip, clamped past the ends. */
TEST (MorphPosition, StripsChooseGrabAndScrub)
{
  constexpr auto L = ZELM_MORPH_STRIP_LEFT, T = ZELM_MORPH_STRIP_TOP;
  struct {
    ZelmMorphStrip active;
    double x, y;
    ZelmMorphStrip at;
    bool grabs;
    double pos;
  } cases[] = {
    { L, 12, 104, L, true, 0.5 },  { L, 12, 250, L, true, 1.0 }, { L, 12, -10, L, true, 0.0 },
    { T, 60, 12, T, true, 0.56 },  { T, 12, 60, L, false, 0.08 }, { L, 60, 12, T, false, 0.04 },
    { T, 10, 10, T, true, 0.06 },  { L, 60, 60, L, false, 0.28 },
  };
  for (auto c : cases)
    {
      double pos = -1;
      EXPECT_EQ (zelm_morph_strip_at (c.active, c.x, c.y), c.at) << c.x << "," << c.y;
      EXPECT_EQ (bool (zelm_morph_strip_grabs (c.active, c.x, c.y)), c.grabs) << c.x << "," << c.y;
      EXPECT_TRUE (zelm_morph_strip_position (c.active, 108, 208, c.x, c.y, &pos));
      EXPECT_NEAR (pos, c.pos, 1e-12) << c.x << "," << c.y;
    }
  double pos = -1;
  EXPECT_FALSE (zelm_morph_strip_position (L, 108, 8, 12, 4, &pos)) << "too short to scrub";
  EXPECT_EQ (pos, -1);
}

/* A release snaps to the nearest key of its strip's direction, or to 0
 * when that direction has no morph curve. */
TEST (MorphPosition, SnapsToTheNearestKeyOfItsDirection)
{
  VornWave *w = base_wave ();
  add_morph (w, 3, TRUE, { 0, 0.3, 0, 0.3, 0.4, 0.35, 0.4, 0.35, 0.4, 0.35, 1, 0.25, 1, 0.25 });
  add_morph (w, 6, TRUE, { 0, 0.6, 0.5, 0.7, 0.5, 0.7, 1, 0.7 });
  const double h_only[][2] = { { 0.47, 0.5 }, { 0.42, 0.4 }, { 0.8, 1.0 }, { 0.1, 0.0 } };
  for (auto c : h_only)
    {
      EXPECT_EQ (zelm_morph_nearest_key (w->morph, TRUE, c[0]), c[1]) << c[0];
      EXPECT_EQ (zelm_morph_nearest_key (w->morph, FALSE, c[0]), 0.0) << "no vertical curve";
    }
  add_morph (w, 3, FALSE, { 0, 0.9, 0, 0.9, 0.25, 0.7, 0.25, 0.7, 0.25, 0.7, 1, 0.6, 1, 0.6 });
  EXPECT_EQ (zelm_morph_nearest_key (w->morph, FALSE, 0.15), 0.25);
  EXPECT_EQ (zelm_morph_nearest_key (w->morph, FALSE, 0.9), 1.0);
  EXPECT_EQ (zelm_morph_nearest_key (nullptr, TRUE, 0.9), 0.0);
  g_object_unref (w);
}

/* The animation advances by rate x elapsed time, turning at the ends with
 * ping-pong and wrapping without, at either end of the speed range and
 * after an hour's stall. */
TEST (MorphPosition, AnimationAdvancesByRateTimesTime)
{
  constexpr double MIN = ZELM_MORPH_ANIM_RATE_MIN, MAX = ZELM_MORPH_ANIM_RATE_MAX;
  struct {
    bool ping_pong;
    double rate;
    std::vector<std::pair<gint64, double>> steps; /* microseconds after start, position */
  } cases[] = {
    { true, 1, { { 250000, 0.25 }, { 1000000, 1.0 }, { 1200000, 0.8 }, { 1900000, 0.1 },
                 { 2000000, 0.0 }, { 2300000, 0.3 } } },
    { false, 1, { { 250000, 0.25 }, { 900000, 0.9 }, { 1200000, 0.2 }, { 2050000, 0.05 } } },
    { false, MIN, { { 10000000, 0.5 }, { 30000000, 0.5 } } },
    { true, MAX, { { 3600000000 + 100000, 0.3 }, { 3600000000 + 300000, 0.9 } } },
  };
  for (auto &c : cases)
    {
      ZelmMorphAnim anim = { 0.0, FALSE };
      gint64 last = 0;
      for (auto [t, want] : c.steps)
        {
          zelm_morph_anim_advance (&anim, c.rate, t - last, c.ping_pong);
          last = t;
          EXPECT_NEAR (anim.pos, want, 1e-9) << c.rate << " at " << t;
        }
    }
}
