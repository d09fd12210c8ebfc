/* test-wave-canvas.cpp: the wave canvas edited with real pointer and key
 * events, checked against the engine's curve transformation and against
 * the pixels on screen */
#include "vorn-curve-trans.h"
#include "vorn-test-log.h"
#include "zelm-gui-test.h"
#include "zelm-wave-canvas.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zelm_test;

namespace {

/* 400 x 200 pixels of drawing inside the 4-pixel margin. */
constexpr int W = 408, H = 208;

/* The view a canvas of that size should have for a unipolar wave of width 1
 * (hmorph: positions 0..1 downward over 200 pixels, values 0..1 over 400). */
struct Mapper {
  ZelmWaveCanvasMode mode;

  bool hmorph () const { return mode == ZELM_WAVE_CANVAS_MODE_HMORPH; }
  void to_canvas (double vx, double vy, double *cx, double *cy) const
  {
    if (hmorph ())
      *cx = vx * 200 + 4, *cy = vy * 400 + 4;
    else
      *cx = vx * 400 + 4, *cy = (1 - vy) * 200 + 4;
  }
  void from_canvas (double cx, double cy, double *vx, double *vy) const
  {
    if (hmorph ())
      *vx = (cx - 4) / 200, *vy = (cy - 4) / 400;
    else
      *vx = (cx - 4) / 400, *vy = 1 - (cy - 4) / 200;
  }
  /* Canvas orientation <-> widget pixels (hmorph is transposed). */
  void swap (double a, double b, double *x, double *y) const
  {
    *x = hmorph () ? b : a;
    *y = hmorph () ? a : b;
  }
};

/* Four points with distinct handles; every value lands on a whole pixel. */
const double base_x[] = { 0.0, 0.1, 0.2, 0.3, 0.4, 0.55, 0.6, 0.65, 0.9, 1.0 };
const double base_y[] = { 0.5, 0.8, 0.9, 0.9, 0.9, 0.2, 0.2, 0.2, 0.5, 0.5 };

VornWave *
make_wave (const double *xs, const double *ys, int points)
{
  VornWave *wave = vorn_wave_new (guint (points));
  for (int i = 0; i < 3 * points - 2; i++)
    {
      wave->curve->xcoords[i] = xs[i];
      wave->curve->ycoords[i] = ys[i];
    }
  return wave;
}

VornWave *
make_base_wave ()
{
  return make_wave (base_x, base_y, 4);
}

/* Gives coordinate @index a morph curve from @points (x, y pairs). */
void
set_morph_curve (VornWave *wave, guint index, gboolean horizontal,
                 std::vector<std::pair<double, double>> coords)
{
  int n = int (coords.size () + 2) / 3;
  g_autoptr (VornCurve) curve = vorn_curve_new (guint (n));
  for (size_t i = 0; i < coords.size (); i++)
    {
      curve->xcoords[i] = coords[i].first;
      curve->ycoords[i] = coords[i].second;
    }
  if (!wave->morph)
    wave->morph = vorn_morph_new (wave->curve);
  vorn_morph_set_point_curve (wave->morph, index, horizontal, curve);
}

/* Every number that makes up the wave's curve and morph, in order. */
std::vector<double>
dump (VornWave *wave)
{
  std::vector<double> out;
  VornCurve *c = wave->curve;
  for (int i = 0; i < VORN_CURVE_COORD_LENGTH (c); i++)
    out.insert (out.end (), { c->xcoords[i], c->ycoords[i] });
  out.push_back (wave->morph ? 1000.0 + wave->morph->count : -1.0);
  for (guint e = 0; wave->morph && e < wave->morph->count; e++)
    {
      VornMorphPoint &p = wave->morph->points[e];
      out.insert (out.end (), { double (p.index), double (p.horizontal) });
      for (int i = 0; i < VORN_CURVE_COORD_LENGTH (p.curve); i++)
        out.insert (out.end (), { p.curve->xcoords[i], p.curve->ycoords[i] });
    }
  return out;
}

/* What the engine's transformation makes of @values (the edited curve in
 * value space) when coordinate @index is dragged in @mode to widget pixel
 * (@px, @py) on a canvas mapped by @m. */
VornCurve *
expected_drag (VornCurve *values, const Mapper &m, guint index, VornCurveTransMode mode,
               double px, double py)
{
  VornCurve *c = vorn_curve_duplicate (values);
  const int n = VORN_CURVE_COORD_LENGTH (c);
  for (int i = 0; i < n; i++)
    m.to_canvas (c->xcoords[i], c->ycoords[i], &c->xcoords[i], &c->ycoords[i]);
  g_autoptr (VornCurveTrans) t = vorn_curve_trans_new (c);
  if (m.hmorph ())
    {
      vorn_curve_trans_set_xrange (t, 4, H - 4);
      vorn_curve_trans_set_yrange (t, 4, W - 4);
    }
  else
    {
      vorn_curve_trans_set_xrange (t, 4, W - 4);
      vorn_curve_trans_set_yrange (t, 4, H - 4);
    }
  t->snap_dist = 4.0;
  EXPECT_TRUE (vorn_curve_trans_add_point (t, index, mode));
  double cx, cy;
  m.swap (px, py, &cx, &cy);
  vorn_curve_trans_translate (t, cx, cy);
  for (int i = 0; i < n; i++)
    m.from_canvas (c->xcoords[i], c->ycoords[i], &c->xcoords[i], &c->ycoords[i]);
  return c;
}

void
expect_same_curve (VornCurve *got, VornCurve *want, const std::string &what)
{
  ASSERT_EQ (got->count, want->count) << what;
  for (int i = 0; i < VORN_CURVE_COORD_LENGTH (got); i++)
    {
      EXPECT_NEAR (got->xcoords[i], want->xcoords[i], 1e-9) << what << ", x of " << i;
      EXPECT_NEAR (got->ycoords[i], want->ycoords[i], 1e-9) << what << ", y of " << i;
    }
}

struct Mods {
  bool shift, ctrl;
};

void
press_mods (Mods m)
{
  if (m.shift)
    key_press (GDK_KEY_Shift_L);
  if (m.ctrl)
    key_press (GDK_KEY_Control_L);
}

void
release_mods (Mods m)
{
  if (m.ctrl)
    key_release (GDK_KEY_Control_L);
  if (m.shift)
    key_release (GDK_KEY_Shift_L);
}

bool
near_rgb (Rgb c, int r, int g, int b, int tol)
{
  return std::abs (c.r - r) <= tol && std::abs (c.g - g) <= tol && std::abs (c.b - b) <= tol;
}

/* Double clicks are quick here, so that presses further apart than twice
 * this (a triple click counts from the first press) are never joined. */
constexpr int DOUBLE_CLICK_MS = 150;

bool
set_double_click_time ()
{
  g_object_set (gtk_settings_get_default (), "gtk-double-click-time", DOUBLE_CLICK_MS, nullptr);
  return true;
}

/* @colour at some coverage of a 1-pixel line over black. */
bool
line_of (Rgb got, Rgb colour)
{
  double k = std::max ({ got.r, got.g, got.b }) / double (std::max ({ colour.r, colour.g, colour.b }));
  return k > 0.5 && std::abs (got.r - k * colour.r) < 20 && std::abs (got.g - k * colour.g) < 20 &&
         std::abs (got.b - k * colour.b) < 20;
}

class WaveCanvas : public ::testing::Test {
protected:
  bool fast_clicks = set_double_click_time ();
  GtkWidget *widget = zelm_wave_canvas_new ();
  GtkWidget *win = show_in_window (widget, W, H);
  VornWave *wave = nullptr;

  ~WaveCanvas () override
  {
    gtk_widget_destroy (win);
    g_clear_object (&wave);
  }

  ZelmWaveCanvas *canvas () { return ZELM_WAVE_CANVAS (widget); }

  void show (VornWave *w, ZelmWaveCanvasMode mode = ZELM_WAVE_CANVAS_MODE_CURVE,
             int curve_point = -1, double morph_position = 0.0)
  {
    g_set_object (&wave, w);
    g_object_unref (w);
    g_object_set (widget, "mode", mode, "curve-point", curve_point, nullptr);
    zelm_wave_canvas_set_wave (canvas (), wave);
    g_object_set (widget, "morph-position", morph_position, nullptr);
    pump (2 * DOUBLE_CLICK_MS + 50);
  }
  int selected ()
  {
    int v;
    g_object_get (widget, "selected-point", &v, nullptr);
    return v;
  }
  double dprop (const char *name)
  {
    double v;
    g_object_get (widget, name, &v, nullptr);
    return v;
  }
  /* Pointer to widget pixel (@x, @y) and let the motion arrive. */
  void move (double x, double y)
  {
    pointer_move (widget, x, y);
    pump (15);
  }
  void double_click (double x, double y)
  {
    move (x, y);
    button_press ();
    button_release ();
    button_press ();
    button_release ();
    pump (2 * DOUBLE_CLICK_MS + 50);
  }
  GdkPixbuf *shot ()
  {
    pump (40);
    return grab (widget);
  }
  void save_shot (const char *name)
  {
    if (const char *dir = g_getenv ("ZELM_TEST_SHOTS"))
      save_png (widget, (std::string (dir) + "/" + name).c_str ());
  }
};

/* Widget pixel of value (@x, @y) in the curve-mode view. */
void
at (double x, double y, double *px, double *py)
{
  Mapper { ZELM_WAVE_CANVAS_MODE_CURVE }.to_canvas (x, y, px, py);
}

TEST_F (WaveCanvas, DragGivesExactlyTheEngineTransformation)
{
  struct {
    const char *what;
    ZelmWaveCanvasMode mode;
    guint index;
    Mods mods;
    double tx, ty;
    VornCurveTransMode trans;
    int selected_after;
  } cases[] = {
    { "point", ZELM_WAVE_CANVAS_MODE_CURVE, 3, {}, 150, 60, VORN_CURVE_TRANS_MODE_KEEP_SLOPE, 3 },
    { "point past its neighbour", ZELM_WAVE_CANVAS_MODE_CURVE, 3, {}, 300, 250,
      VORN_CURVE_TRANS_MODE_KEEP_SLOPE, 3 },
    { "handle", ZELM_WAVE_CANVAS_MODE_CURVE, 4, {}, 190, 100, VORN_CURVE_TRANS_MODE_CLAMP, 4 },
    { "handle snapping onto its point", ZELM_WAVE_CANVAS_MODE_CURVE, 4, {}, 126, 26,
      VORN_CURVE_TRANS_MODE_CLAMP, 4 },
    { "ctrl handle", ZELM_WAVE_CANVAS_MODE_CURVE, 4, { false, true }, 200, 60,
      VORN_CURVE_TRANS_MODE_SET_SLOPE, 4 },
    { "ctrl shift handle", ZELM_WAVE_CANVAS_MODE_CURVE, 5, { true, true }, 210, 170,
      VORN_CURVE_TRANS_MODE_SET_SLOPE_DIST, 5 },
    { "ctrl handle across the wrap", ZELM_WAVE_CANVAS_MODE_CURVE, 1, { false, true }, 30, 30,
      VORN_CURVE_TRANS_MODE_SET_SLOPE, 1 },
    { "shift handle", ZELM_WAVE_CANVAS_MODE_CURVE, 7, { true, false }, 320, 120,
      VORN_CURVE_TRANS_MODE_HANDLE_SWAP, 7 },
    { "shift point pulls the left handle", ZELM_WAVE_CANVAS_MODE_CURVE, 6, { true, false }, 200,
      130, VORN_CURVE_TRANS_MODE_HANDLE_SWAP, 5 },
    { "ctrl first point", ZELM_WAVE_CANVAS_MODE_CURVE, 0, { false, true }, 80, 40,
      VORN_CURVE_TRANS_MODE_WRAP_POS, 0 },
    { "ctrl shift last point", ZELM_WAVE_CANVAS_MODE_CURVE, 9, { true, true }, 350, 180,
      VORN_CURVE_TRANS_MODE_WRAP_POS, 9 },
    { "ctrl inner point", ZELM_WAVE_CANVAS_MODE_CURVE, 6, { false, true }, 260, 150,
      VORN_CURVE_TRANS_MODE_KEEP_SLOPE, 6 },
    { "vmorph point", ZELM_WAVE_CANVAS_MODE_VMORPH, 3, {}, 150, 60,
      VORN_CURVE_TRANS_MODE_KEEP_SLOPE, 3 },
    { "vmorph curve start", ZELM_WAVE_CANVAS_MODE_VMORPH, 0, {}, 40, 150,
      VORN_CURVE_TRANS_MODE_KEEP_SLOPE, 0 },
    { "hmorph handle", ZELM_WAVE_CANVAS_MODE_HMORPH, 4, { false, true }, 300, 120,
      VORN_CURVE_TRANS_MODE_SET_SLOPE, 4 },
  };
  for (auto c : cases)
    {
      const Mapper m { c.mode };
      const bool morph_mode = c.mode != ZELM_WAVE_CANVAS_MODE_CURVE;
      const gboolean horizontal = c.mode == ZELM_WAVE_CANVAS_MODE_HMORPH;
      VornWave *w = make_base_wave ();
      /* In the morph modes the edited curve is the morph curve of
       * coordinate 6, whose start is that coordinate's own value. */
      const double start = horizontal ? base_x[6] : base_y[6];
      set_morph_curve (w, 6, horizontal,
                       { { 0.0, start }, { 0.1, 0.3 }, { 0.2, 0.8 }, { 0.3, 0.8 }, { 0.4, 0.8 },
                         { 0.55, 0.1 }, { 0.6, 0.1 }, { 0.65, 0.1 }, { 0.9, 0.4 }, { 1.0, 0.4 } });
      show (w, c.mode, morph_mode ? 6 : -1);
      VornCurve *edited = morph_mode ? vorn_wave_find_morph_point (wave, 6, horizontal)->curve
                                     : wave->curve;
      g_autoptr (VornCurve) want =
        expected_drag (edited, m, c.index, c.trans, c.tx, c.ty);

      double cx, cy, px, py;
      m.to_canvas (edited->xcoords[c.index], edited->ycoords[c.index], &cx, &cy);
      m.swap (cx, cy, &px, &py);
      press_mods (c.mods);
      move (px, py);
      button_press ();
      move ((px + c.tx) / 2, (py + c.ty) / 2);
      move (c.tx, c.ty);

      g_autoptr (VornCurve) got = vorn_curve_duplicate (edited);
      if (morph_mode)
        got->ycoords[0] = horizontal ? wave->curve->xcoords[6] : wave->curve->ycoords[6];
      expect_same_curve (got, want, c.what);
      EXPECT_EQ (selected (), c.selected_after) << c.what;
      button_release ();
      release_mods (c.mods);
      EXPECT_EQ (selected (), c.selected_after) << c.what;
    }
}

TEST_F (WaveCanvas, ModifierChangeRestartsFromTheOriginalCurve)
{
  show (make_base_wave ());
  g_autoptr (VornCurve) original = vorn_curve_duplicate (wave->curve);
  double px, py;
  at (0.6, 0.2, &px, &py);

  /* Each step presses (+) or releases (-) a key, then moves (or not: a
   * modifier takes effect without waiting for motion). */
  struct {
    const char *what;
    int key; /* +keyval pressed, -keyval released, 0 none */
    bool move;
    double tx, ty;
    VornCurveTransMode trans;
    int selected;
  } steps[] = {
    { "plain", 0, true, 270, 120, VORN_CURVE_TRANS_MODE_KEEP_SLOPE, 6 },
    { "shift pressed", GDK_KEY_Shift_L, false, 270, 120, VORN_CURVE_TRANS_MODE_HANDLE_SWAP, 7 },
    { "shift held", 0, true, 300, 100, VORN_CURVE_TRANS_MODE_HANDLE_SWAP, 7 },
    { "shift released", -GDK_KEY_Shift_L, true, 230, 160, VORN_CURVE_TRANS_MODE_KEEP_SLOPE, 6 },
    { "ctrl pressed (same kind)", GDK_KEY_Control_L, true, 240, 170,
      VORN_CURVE_TRANS_MODE_KEEP_SLOPE, 6 },
    { "ctrl shift", GDK_KEY_Shift_L, true, 250, 150, VORN_CURVE_TRANS_MODE_KEEP_SLOPE, 6 },
  };
  move (px, py);
  button_press ();
  for (auto s : steps)
    {
      if (s.key > 0)
        key_press (guint (s.key));
      else if (s.key < 0)
        key_release (guint (-s.key));
      if (s.move)
        move (s.tx, s.ty);
      pump (15);
      g_autoptr (VornCurve) want = expected_drag (original, Mapper { ZELM_WAVE_CANVAS_MODE_CURVE },
                                                  6, s.trans, s.tx, s.ty);
      expect_same_curve (wave->curve, want, s.what);
      EXPECT_EQ (selected (), s.selected) << s.what;
    }
  button_release ();
  key_release (GDK_KEY_Shift_L);
  key_release (GDK_KEY_Control_L);
}

TEST_F (WaveCanvas, EscapeRestoresCurveAndMorphExactly)
{
  struct {
    const char *what;
    ZelmWaveCanvasMode mode;
    double position;
    bool existing_morph; /* coordinate 3 already morphs vertically */
    Mods mods;
    double press_x, press_y; /* value pressed on */
  } cases[] = {
    { "no morph", ZELM_WAVE_CANVAS_MODE_CURVE, 0.0, false, {}, 0.3, 0.9 },
    { "position 0 with a morph curve", ZELM_WAVE_CANVAS_MODE_CURVE, 0.0, true, {}, 0.3, 0.9 },
    { "position 0.5 creating morph curves", ZELM_WAVE_CANVAS_MODE_CURVE, 0.5, false, {}, 0.3,
      0.9 },
    { "position 0.5 into a morph curve", ZELM_WAVE_CANVAS_MODE_CURVE, 0.5, true, {}, 0.3, 0.6 },
    { "after a restart", ZELM_WAVE_CANVAS_MODE_CURVE, 0.5, true, { true, false }, 0.3, 0.6 },
    { "vmorph curve start", ZELM_WAVE_CANVAS_MODE_VMORPH, 0.0, true, {}, 0.0, 0.9 },
    { "vmorph end", ZELM_WAVE_CANVAS_MODE_VMORPH, 0.0, true, { false, true }, 1.0, 0.3 },
  };
  for (auto c : cases)
    {
      VornWave *w = make_base_wave ();
      if (c.existing_morph)
        /* Its handles cross position 0.5: inserting there pulls them. */
        set_morph_curve (w, 3, FALSE, { { 0.0, 0.9 }, { 0.8, 0.9 }, { 0.2, 0.3 }, { 1.0, 0.3 } });
      show (w, c.mode, 3, c.position);
      const std::vector<double> before = dump (wave);
      double px, py;
      zelm_wave_canvas_value_to_pixel (canvas (), c.press_x, c.press_y, &px, &py);
      move (px, py);
      button_press ();
      move (px + 20, py + 30);
      if (c.mods.shift || c.mods.ctrl)
        {
          press_mods (c.mods);
          move (px + 30, py + 10);
        }
      EXPECT_NE (dump (wave), before) << c.what;
      key_tap (GDK_KEY_Escape);
      EXPECT_EQ (dump (wave), before) << c.what;
      /* The release after Escape changes nothing more. */
      move (px + 40, py + 40);
      button_release ();
      release_mods (c.mods);
      EXPECT_EQ (dump (wave), before) << c.what;
    }
}

TEST_F (WaveCanvas, DragAtAMorphPositionMovesTheMorphPoints)
{
  struct {
    Mods mods;
    VornCurveTransMode trans;
    std::vector<guint> morphed; /* coordinates that get morph curves */
  } cases[] = {
    { {}, VORN_CURVE_TRANS_MODE_KEEP_SLOPE, { 2, 3, 4 } },
    /* The drag moves on to handle 4 (linked to 2), which was not part of
     * it at first; the point and its first link (5) keep their values. */
    { { true, false }, VORN_CURVE_TRANS_MODE_HANDLE_SWAP, { 2, 3, 4, 5 } },
  };
  for (auto &c : cases)
    {
      show (make_base_wave (), ZELM_WAVE_CANVAS_MODE_CURVE, -1, 0.5);
      g_autoptr (VornCurve) original = vorn_curve_duplicate (wave->curve);
      g_autoptr (VornCurve) want = expected_drag (
        original, Mapper { ZELM_WAVE_CANVAS_MODE_CURVE }, 3, c.trans, 160, 90);
      double px, py;
      at (0.3, 0.9, &px, &py);
      press_mods (c.mods);
      move (px, py);
      button_press ();
      move (160, 90);
      button_release ();
      release_mods (c.mods);

      /* The base curve keeps its shape; the moved coordinates morph, in
       * both directions, from their own value to the dragged place at 0.5. */
      expect_same_curve (wave->curve, original, "base curve");
      ASSERT_NE (wave->morph, nullptr);
      EXPECT_EQ (wave->morph->count, 2 * c.morphed.size ());
      for (guint index : c.morphed)
        for (gboolean horizontal : { gboolean (TRUE), gboolean (FALSE) })
          {
            VornMorphPoint *e = vorn_wave_find_morph_point (wave, index, horizontal);
            ASSERT_NE (e, nullptr) << index << " " << horizontal;
            ASSERT_EQ (e->curve->count, 3) << index;
            EXPECT_EQ (e->curve->xcoords[3], 0.5);
            EXPECT_EQ (e->curve->ycoords[0],
                       horizontal ? original->xcoords[index] : original->ycoords[index]);
          }

      /* The morphed curve at 0.5 is what the drag showed. */
      double x[10], y[10];
      std::copy (original->xcoords, original->xcoords + 10, x);
      std::copy (original->ycoords, original->ycoords + 10, y);
      vorn_morph_transform (wave->morph, 0.5, x, y, 10, VORN_FORMAT_DOUBLE);
      for (int i = 0; i < 10; i++)
        {
          EXPECT_NEAR (x[i], want->xcoords[i], 1e-9) << i;
          EXPECT_NEAR (y[i], want->ycoords[i], 1e-9) << i;
        }
    }
}

TEST_F (WaveCanvas, DoubleClickInsertsAndDeleteRemoves)
{
  show (make_base_wave ());
  g_autoptr (VornCurve) original = vorn_curve_duplicate (wave->curve);
  gtk_widget_grab_focus (widget);

  /* Between points 1 and 2: the new point is point 2, coordinate 6. */
  double_click (184, 120);
  ASSERT_EQ (wave->curve->count, 5);
  EXPECT_EQ (selected (), 6);
  EXPECT_NEAR (wave->curve->xcoords[6], 0.45, 1e-12);
  EXPECT_NEAR (wave->curve->ycoords[6], 1 - 116 / 200.0, 1e-12);
  EXPECT_EQ (wave->curve->xcoords[5], wave->curve->xcoords[6]) << "handles on the new point";
  EXPECT_EQ (wave->curve->ycoords[7], wave->curve->ycoords[6]);
  key_tap (GDK_KEY_BackSpace);
  EXPECT_EQ (selected (), -1);
  expect_same_curve (wave->curve, original, "after delete");

  /* Too close to the left edge: nothing. */
  double_click (2, 120);
  EXPECT_EQ (wave->curve->count, 4);

  /* Delete also works through a handle of the point, and with Delete. */
  g_object_set (widget, "selected-point", -1, nullptr);
  key_tap (GDK_KEY_Right);
  key_tap (GDK_KEY_Right);
  key_tap (GDK_KEY_Right);
  key_tap (GDK_KEY_Right);
  key_tap (GDK_KEY_Right); /* coordinate 4: right handle of point 1 */
  ASSERT_EQ (selected (), 4);
  key_tap (GDK_KEY_Delete);
  ASSERT_EQ (wave->curve->count, 3);
  EXPECT_EQ (wave->curve->xcoords[3], 0.6);
}

TEST_F (WaveCanvas, EndPointsAreNeverDeleted)
{
  struct {
    std::vector<guint> keys;
    int selected;
  } cases[] = {
    { { GDK_KEY_Right }, 0 },
    { { GDK_KEY_Right, GDK_KEY_Right }, 1 },
    { { GDK_KEY_Left }, 9 },
    { { GDK_KEY_Left, GDK_KEY_Left }, 8 },
  };
  for (auto &c : cases)
    {
      show (make_base_wave ());
      gtk_widget_grab_focus (widget);
      g_object_set (widget, "selected-point", -1, nullptr);
      for (guint k : c.keys)
        key_tap (k);
      ASSERT_EQ (selected (), c.selected);
      key_tap (GDK_KEY_BackSpace);
      EXPECT_EQ (wave->curve->count, 4) << c.selected;
    }

  /* A two-point curve has nothing to delete. */
  const double x2[] = { 0, 0.3, 0.7, 1 }, y2[] = { 0.2, 0.2, 0.8, 0.8 };
  show (make_wave (x2, y2, 2));
  gtk_widget_grab_focus (widget);
  for (int sel = 0; sel < 4; sel++)
    {
      g_object_set (widget, "selected-point", sel, nullptr);
      key_tap (GDK_KEY_BackSpace);
      EXPECT_EQ (wave->curve->count, 2);
    }
}

TEST_F (WaveCanvas, ArrowKeysWalkAndWrap)
{
  const double x2[] = { 0, 0.3, 0.7, 1 }, y2[] = { 0.2, 0.2, 0.8, 0.8 };
  show (make_wave (x2, y2, 2));
  gtk_widget_grab_focus (widget);
  struct {
    guint key;
    int selected;
  } steps[] = {
    { GDK_KEY_Right, 0 }, { GDK_KEY_Right, 1 }, { GDK_KEY_Right, 2 }, { GDK_KEY_Right, 3 },
    { GDK_KEY_Right, 0 }, { GDK_KEY_Left, 3 },  { GDK_KEY_Left, 2 },
  };
  for (auto s : steps)
    {
      key_tap (s.key);
      EXPECT_EQ (selected (), s.selected);
    }
  g_object_set (widget, "selected-point", -1, nullptr);
  key_tap (GDK_KEY_Left);
  EXPECT_EQ (selected (), 3);

  /* The selection is drawn where its coordinate is: coordinate 2 at
   * (0.7, 0.8), its ring 6 pixels to the right. */
  key_tap (GDK_KEY_Left);
  GdkPixbuf *pb = shot ();
  Rgb ring = pixel (pb, 4 + 280 + 6, 4 + 40);
  g_object_unref (pb);
  EXPECT_GT (ring.r, 150);
  EXPECT_GT (ring.b, 150);
}

TEST_F (WaveCanvas, PolarityChoosesTheView)
{
  const double xw[] = { 0, 0.5, 1.5, 2 };
  const double up[] = { 0.2, 0.2, 0.8, 0.8 }, down[] = { 0.2, -0.1, 0.8, 0.8 };
  struct {
    ZelmWaveCanvasMode mode;
    ZelmWaveCanvasPolarity polarity;
    bool negative;
    double x_zoom, y_zoom, y_ofs;
  } cases[] = {
    { ZELM_WAVE_CANVAS_MODE_CURVE, ZELM_WAVE_CANVAS_POLARITY_AUTO, false, 0.5, 1.0, 1.0 },
    { ZELM_WAVE_CANVAS_MODE_CURVE, ZELM_WAVE_CANVAS_POLARITY_AUTO, true, 0.5, 0.5, 1.0 },
    { ZELM_WAVE_CANVAS_MODE_CURVE, ZELM_WAVE_CANVAS_POLARITY_UNIPOLAR, true, 0.5, 1.0, 1.0 },
    { ZELM_WAVE_CANVAS_MODE_CURVE, ZELM_WAVE_CANVAS_POLARITY_BIPOLAR, false, 0.5, 0.5, 1.0 },
    { ZELM_WAVE_CANVAS_MODE_VMORPH, ZELM_WAVE_CANVAS_POLARITY_BIPOLAR, false, 1.0, 0.5, 1.0 },
    { ZELM_WAVE_CANVAS_MODE_HMORPH, ZELM_WAVE_CANVAS_POLARITY_BIPOLAR, true, 0.5, 1.0, 0.0 },
  };
  for (auto c : cases)
    {
      show (make_wave (xw, c.negative ? down : up, 2), c.mode);
      zelm_wave_canvas_set_polarity (canvas (), c.polarity);
      EXPECT_EQ (dprop ("x-zoom"), c.x_zoom);
      EXPECT_EQ (dprop ("y-zoom"), c.y_zoom);
      EXPECT_EQ (dprop ("y-ofs"), c.y_ofs);
      EXPECT_EQ (dprop ("x-ofs"), 0.0);

      /* The zero line, left of the curve's first point. */
      GdkPixbuf *pb = shot ();
      const bool bipolar = c.y_zoom == 0.5;
      Rgb line = pixel (pb, 1, 103);
      g_object_unref (pb);
      EXPECT_EQ (line, bipolar ? (Rgb { 0x64, 0x64, 0x64 }) : (Rgb { 0, 0, 0 }))
        << c.mode << " " << c.polarity;
      zelm_wave_canvas_set_polarity (canvas (), ZELM_WAVE_CANVAS_POLARITY_AUTO);
    }

  /* Only the view values that change are notified. */
  show (make_wave (xw, up, 2));
  int notified[4] = {};
  const char *names[4] = { "notify::x-zoom", "notify::y-zoom", "notify::x-ofs", "notify::y-ofs" };
  for (int i = 0; i < 4; i++)
    g_signal_connect_swapped (widget, names[i], G_CALLBACK (+[] (int *n) { ++*n; }), &notified[i]);
  zelm_wave_canvas_set_polarity (canvas (), ZELM_WAVE_CANVAS_POLARITY_BIPOLAR);
  zelm_wave_canvas_set_polarity (canvas (), ZELM_WAVE_CANVAS_POLARITY_BIPOLAR);
  EXPECT_EQ (notified[0], 0);
  EXPECT_EQ (notified[1], 1);
  EXPECT_EQ (notified[2], 0);
  EXPECT_EQ (notified[3], 0);
  g_signal_handlers_disconnect_by_data (widget, &notified[0]);
  for (int i = 1; i < 4; i++)
    g_signal_handlers_disconnect_by_data (widget, &notified[i]);
}

TEST_F (WaveCanvas, PictureShowsCurveHandlesAndMarkersWhereTheyMap)
{
  show (make_base_wave ());
  double px, py;
  at (0.6, 0.2, &px, &py);
  move (px, py); /* hover point 2 */
  GdkPixbuf *pb = shot ();
  save_shot ("wave-canvas-hover.png");

  for (int i = 0; i < 10; i++)
    {
      double x, y;
      at (base_x[i], base_y[i], &x, &y);
      Rgb c = pixel (pb, int (x), int (y));
      if (i == 6)
        EXPECT_TRUE (c.r > 150 && c.g > 150 && c.b < 90)
          << "hovered " << int (c.r) << "," << int (c.g) << "," << int (c.b);
      else
        EXPECT_TRUE (c.r > 100 && c.g > 100 && c.b > 100)
          << "marker " << i << ": " << int (c.r) << "," << int (c.g) << "," << int (c.b);
    }

  /* The middle of the last segment (its Bezier at t = 0.5) is blue; well
   * above and below it nothing is drawn. */
  double mx, my;
  at ((0.6 + 3 * 0.65 + 3 * 0.9 + 1.0) / 8, (0.2 + 3 * 0.2 + 3 * 0.5 + 0.5) / 8, &mx, &my);
  bool blue = false;
  for (int dy = -1; dy <= 1; dy++)
    {
      Rgb c = pixel (pb, int (mx), int (my) + dy);
      blue = blue || (c.b > 100 && c.b > c.r + 60);
    }
  EXPECT_TRUE (blue);
  EXPECT_EQ (pixel (pb, int (mx), int (my) - 30), (Rgb { 0, 0, 0 }));
  EXPECT_EQ (pixel (pb, int (mx), int (my) + 30), (Rgb { 0, 0, 0 }));
  EXPECT_EQ (pixel (pb, int (mx), int (my) - 3), (Rgb { 0, 0, 0 }));

  /* A handle line: halfway between point 0 and its handle, where the curve
   * has already bent 4 pixels away from it. */
  double hx, hy;
  at (0.05, 0.65, &hx, &hy);
  Rgb line = pixel (pb, int (hx), int (hy));
  EXPECT_GT (line.r, 10);
  EXPECT_TRUE (line.r == line.g && line.g == line.b);
  g_object_unref (pb);

  /* Debug traces: the cached renderings in green and red, 5 pixels wide,
   * laid over the drawn curve. */
  g_object_set (widget, "debug-render", TRUE, nullptr);
  pb = shot ();
  save_shot ("wave-canvas-debug.png");
  Rgb trace = pixel (pb, int (mx), int (my) - 3);
  g_object_unref (pb);
  EXPECT_TRUE (trace.r > 40 && trace.g > 30 && trace.b < 20)
    << int (trace.r) << "," << int (trace.g) << "," << int (trace.b);
}

TEST_F (WaveCanvas, MorphModesDrawTheirCurvesAndPosition)
{
  struct {
    ZelmWaveCanvasMode mode;
    Rgb colour;
  } cases[] = {
    { ZELM_WAVE_CANVAS_MODE_VMORPH, { 0x64, 0xff, 0x00 } },
    { ZELM_WAVE_CANVAS_MODE_HMORPH, { 0x64, 0x00, 0xff } },
  };
  for (auto c : cases)
    {
      const Mapper m { c.mode };
      const gboolean horizontal = c.mode == ZELM_WAVE_CANVAS_MODE_HMORPH;
      VornWave *w = make_base_wave ();
      /* Coordinate 3 goes straight to 0.1, coordinate 6 to 0.7. */
      double s3 = horizontal ? base_x[3] : base_y[3], s6 = horizontal ? base_x[6] : base_y[6];
      set_morph_curve (w, 3, horizontal, { { 0, s3 }, { 0, s3 }, { 1, 0.1 }, { 1, 0.1 } });
      set_morph_curve (w, 6, horizontal, { { 0, s6 }, { 0, s6 }, { 1, 0.7 }, { 1, 0.7 } });
      show (w, c.mode, 3, 0.25);
      GdkPixbuf *pb = shot ();
      save_shot (horizontal ? "wave-canvas-hmorph.png" : "wave-canvas-vmorph.png");

      /* Sample both lines at morph position 0.75 (clear of the position line). */
      auto sample = [&] (double start, double end) {
        double cx, cy, x, y;
        m.to_canvas (0.75, start + (end - start) * 0.75, &cx, &cy);
        m.swap (cx, cy, &x, &y);
        Rgb best { 0, 0, 0 };
        for (int d = -1; d <= 1; d++)
          {
            Rgb p = horizontal ? pixel (pb, int (x) + d, int (y)) : pixel (pb, int (x), int (y) + d);
            if (p.r + p.g + p.b > best.r + best.g + best.b)
              best = p;
          }
        return best;
      };
      Rgb own = sample (s3, 0.1), other = sample (s6, 0.7);
      EXPECT_TRUE (line_of (own, c.colour))
        << c.mode << ": " << int (own.r) << "," << int (own.g) << "," << int (own.b);
      EXPECT_TRUE (near_rgb (other, 0x8c, 0x8c, 0x8c, 0x08))
        << c.mode << ": " << int (other.r) << "," << int (other.g) << "," << int (other.b);

      /* The morph position line at 0.25, away from both curves. */
      Rgb pos = horizontal ? pixel (pb, 380, 54) : pixel (pb, 104, 10);
      EXPECT_EQ (pos, (Rgb { 0xff, 0xff, 0xff })) << c.mode;
      g_object_unref (pb);
    }
}

TEST_F (WaveCanvas, DoubleClickInAMorphModeCreatesTheMorphCurve)
{
  show (make_base_wave (), ZELM_WAVE_CANVAS_MODE_VMORPH, 6);
  EXPECT_EQ (wave->morph, nullptr);
  int waves = 0;
  g_signal_connect_swapped (widget, "notify::wave", G_CALLBACK (+[] (int *n) { ++*n; }), &waves);
  double_click (200, 100);
  VornMorphPoint *e = vorn_wave_find_morph_point (wave, 6, FALSE);
  ASSERT_NE (e, nullptr);
  ASSERT_EQ (e->curve->count, 2);
  EXPECT_EQ (e->curve->xcoords[3], 1.0);
  EXPECT_EQ (e->curve->ycoords[3], base_y[6]);
  EXPECT_GE (waves, 1);

  /* Now the curve is there: a further double click inserts a point on it. */
  double_click (200, 100);
  e = vorn_wave_find_morph_point (wave, 6, FALSE);
  ASSERT_EQ (e->curve->count, 3);
  EXPECT_NEAR (e->curve->xcoords[3], 196 / 400.0, 1e-12);
  EXPECT_NEAR (e->curve->ycoords[3], 1 - 96 / 200.0, 1e-12);
  EXPECT_EQ (selected (), 3);
  g_signal_handlers_disconnect_by_data (widget, &waves);
}

TEST (WaveCanvasShot, MorphingWave)
{
  /* A sine-like wave whose crest leans left and sharpens, and whose trough
   * rises, as the morph runs; shown at morph position 0.6. */
  const double xs[] = { 0, 0.1, 0.15, 0.25, 0.35, 0.4, 0.5, 0.6, 0.65, 0.75, 0.85, 0.9, 1 };
  const double ys[] = { 0, 0.5, 0.9, 0.9, 0.9, 0.5, 0, -0.5, -0.9, -0.9, -0.9, -0.5, 0 };
  g_autoptr (VornWave) w = make_wave (xs, ys, 5);
  set_morph_curve (w, 3, TRUE, { { 0, 0.25 }, { 0.3, 0.25 }, { 0.7, 0.12 }, { 1, 0.12 } });
  set_morph_curve (w, 3, FALSE, { { 0, 0.9 }, { 0.3, 0.9 }, { 0.7, 0.98 }, { 1, 0.98 } });
  set_morph_curve (w, 4, TRUE, { { 0, 0.35 }, { 0.3, 0.35 }, { 0.7, 0.2 }, { 1, 0.2 } });
  set_morph_curve (w, 9, FALSE, { { 0, -0.9 }, { 0.3, -0.9 }, { 0.7, -0.4 }, { 1, -0.4 } });
  GtkWidget *canvas = zelm_wave_canvas_new ();
  GtkWidget *win = show_in_window (canvas, 640, 320);
  zelm_wave_canvas_set_wave (ZELM_WAVE_CANVAS (canvas), w);
  g_object_set (canvas, "morph-position", 0.6, "selected-point", 3, nullptr);
  double px, py;
  zelm_wave_canvas_value_to_pixel (ZELM_WAVE_CANVAS (canvas), 0.5, 0.0, &px, &py);
  pointer_move (canvas, px, py);
  pump (60);
  if (const char *dir = g_getenv ("ZELM_TEST_SHOTS"))
    save_png (canvas, (std::string (dir) + "/wave-canvas.png").c_str ());

  /* Auto polarity: the trough is below 0, so the zero line is there. */
  GdkPixbuf *pb = grab (canvas);
  EXPECT_EQ (pixel (pb, 100, 159), (Rgb { 0x64, 0x64, 0x64 }));
  g_object_unref (pb);
  gtk_widget_destroy (win);
}

} // namespace
