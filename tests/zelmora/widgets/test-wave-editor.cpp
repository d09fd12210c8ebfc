/* test-wave-editor.cpp: the wave editor's canvases kept in step, the morph
 * canvas scrubbed and snapped, and the morph animation, all with real
 * pointer and key events and checked against the pixels on screen */
#include "vorn-test-log.h"
#include "zelm-gui-test.h"
#include "zelm-morph-canvas.h"
#include "zelm-wave-editor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace zelm_test;

namespace {

constexpr int W = 640, H = 480;

/* Four points with distinct handles (the wave canvas's own test wave). */
const double base_x[] = { 0.0, 0.1, 0.2, 0.3, 0.4, 0.55, 0.6, 0.65, 0.9, 1.0 };
const double base_y[] = { 0.5, 0.8, 0.9, 0.9, 0.9, 0.2, 0.2, 0.2, 0.5, 0.5 };

/* Morph keys: horizontally at 0.4, vertically at 0.25 (besides the ends). */
constexpr double HKEY = 0.4, VKEY = 0.25;

/* A wave of @points points with the given coordinates. */
VornWave *
make_curve_wave (const double *xs, const double *ys, guint points)
{
  VornWave *wave = vorn_wave_new (points);
  for (int i = 0; i < VORN_CURVE_COORD_LENGTH (wave->curve); i++)
    wave->curve->xcoords[i] = xs[i], wave->curve->ycoords[i] = ys[i];
  return wave;
}

/* Gives coordinate @index a morph curve; @xy holds x, y of every
 * coordinate in turn. */
void
add_morph (VornWave *wave, guint index, gboolean horizontal, std::vector<double> xy)
{
  g_autoptr (VornCurve) curve = vorn_curve_new (guint (xy.size () / 2 + 2) / 3);
  for (size_t i = 0; i < xy.size () / 2; i++)
    curve->xcoords[i] = xy[2 * i], curve->ycoords[i] = xy[2 * i + 1];
  if (!wave->morph)
    wave->morph = vorn_morph_new (wave->curve);
  vorn_morph_set_point_curve (wave->morph, index, horizontal, curve);
}

/* Straight morph curves: coordinate 3 through (HKEY, 0.35) horizontally and
 * (VKEY, 0.7) vertically, coordinate 6 horizontally from end to end. */
VornWave *
make_wave (bool with_morph)
{
  VornWave *wave = make_curve_wave (base_x, base_y, 4);
  if (with_morph)
    {
      const double x3 = base_x[3], y3 = base_y[3], x6 = base_x[6];
      add_morph (wave, 3, TRUE,
                 { 0, x3, 0, x3, HKEY, 0.35, HKEY, 0.35, HKEY, 0.35, 1, 0.25, 1, 0.25 });
      add_morph (wave, 3, FALSE, { 0, y3, 0, y3, VKEY, 0.7, VKEY, 0.7, VKEY, 0.7, 1, 0.6, 1, 0.6 });
      add_morph (wave, 6, TRUE, { 0, x6, 0, x6, 1, 0.7, 1, 0.7 });
    }
  return wave;
}

/* A 1-pixel line of @colour crossing near @where: the brightest pixel
 * within 2 pixels across it, at some coverage of that colour. */
bool
line_near (GdkPixbuf *pb, double x, double y, bool across_x, Rgb colour)
{
  Rgb best { 0, 0, 0 };
  for (int d = -2; d <= 2; d++)
    {
      Rgb p = across_x ? pixel (pb, int (x) + d, int (y)) : pixel (pb, int (x), int (y) + d);
      if (p.r + p.g + p.b > best.r + best.g + best.b)
        best = p;
    }
  const double k = std::max ({ best.r, best.g, best.b }) /
                   double (std::max ({ colour.r, colour.g, colour.b }));
  return k > 0.5 && std::abs (best.r - k * colour.r) < 20 && std::abs (best.g - k * colour.g) < 20 &&
         std::abs (best.b - k * colour.b) < 20;
}

constexpr Rgb HMORPH_OWN { 0x64, 0x00, 0xff }, VMORPH_OWN { 0x64, 0xff, 0x00 },
  BACKGROUND { 0x8c, 0x8c, 0x8c }, BLACK { 0, 0, 0 };

/* The animation's clock, set by the tests. */
gint64 fake_now = 0;

gint64
fake_clock (gpointer)
{
  return fake_now;
}

class WaveEditor : public ::testing::Test {
protected:
  GtkWidget *widget = zelm_wave_editor_new ();
  GtkWidget *win = show_in_window (widget, W, H);
  VornWave *wave = nullptr;

  ~WaveEditor () override
  {
    gtk_widget_destroy (win);
    g_clear_object (&wave);
  }

  ZelmWaveEditor *editor () { return ZELM_WAVE_EDITOR (widget); }
  GtkWidget *child (int col, int row) { return gtk_grid_get_child_at (GTK_GRID (widget), col, row); }
  GtkWidget *canvas () { return child (0, 1); }
  GtkWidget *vmorph () { return child (1, 1); }
  GtkWidget *hmorph () { return child (0, 2); }
  GtkWidget *morph () { return child (1, 2); }
  GtkToolItem *tool (int n) { return gtk_toolbar_get_nth_item (GTK_TOOLBAR (child (0, 0)), n); }

  void show (VornWave *w)
  {
    g_set_object (&wave, w);
    g_object_unref (w);
    zelm_wave_editor_set_wave (editor (), wave);
    pump (60);
  }
  int iprop (GtkWidget *w, const char *name)
  {
    int v;
    g_object_get (w, name, &v, nullptr);
    return v;
  }
  double position (GtkWidget *w)
  {
    double v;
    g_object_get (w, "morph-position", &v, nullptr);
    return v;
  }
  void move (GtkWidget *w, double x, double y)
  {
    pointer_move (w, x, y);
    pump (15);
  }
  /* Where a canvas draws (position or x, value or y). */
  void px (GtkWidget *c, double x, double y, double *wx, double *wy)
  {
    zelm_wave_canvas_value_to_pixel (ZELM_WAVE_CANVAS (c), x, y, wx, wy);
  }
  int width (GtkWidget *w) { return gtk_widget_get_allocated_width (w); }
  int height (GtkWidget *w) { return gtk_widget_get_allocated_height (w); }
  GdkPixbuf *shot (GtkWidget *w)
  {
    pump (40);
    return grab (w);
  }
  /* Chooses item @n of a menu tool button's menu with the pointer. */
  void choose (GtkToolItem *item, int n)
  {
    GtkWidget *box = gtk_bin_get_child (GTK_BIN (item));
    g_autoptr (GList) parts = gtk_container_get_children (GTK_CONTAINER (box));
    GtkWidget *arrow = GTK_WIDGET (g_list_last (parts)->data);
    click (arrow, width (arrow) / 2.0, height (arrow) / 2.0);
    GtkWidget *menu = gtk_menu_tool_button_get_menu (GTK_MENU_TOOL_BUTTON (item));
    ASSERT_TRUE (wait_for ([&] { return gtk_widget_get_mapped (menu); }));
    g_autoptr (GList) items = gtk_container_get_children (GTK_CONTAINER (menu));
    GtkWidget *entry = GTK_WIDGET (g_list_nth_data (items, guint (n)));
    wait_drawn (entry);
    click (entry, width (entry) / 2.0, height (entry) / 2.0);
    ASSERT_TRUE (wait_for ([&] { return !gtk_widget_get_mapped (menu); }));
    pump (40);
  }
};

/* Selecting a coordinate on the main canvas, by pointer or key, makes the
 * two morph-mode canvases draw that coordinate's morph curves. */
TEST_F (WaveEditor, SelectionReachesTheMorphCanvases)
{
  show (make_wave (true));
  double x3, y3, x6, y6;
  px (canvas (), base_x[3], base_y[3], &x3, &y3);
  px (canvas (), base_x[6], base_y[6], &x6, &y6);

  /* Coordinate 3's morph curves, sampled away from their keys: the
   * horizontal one at position 0.7 (value 0.3), the vertical one at 0.6.
   * Point 2 (coordinate 6) morphs horizontally only. */
  double hx, hy, vx, vy;
  px (hmorph (), 0.7, 0.3, &hx, &hy);
  px (vmorph (), 0.6, 0.7 + (0.6 - 0.7) * (0.6 - VKEY) / (1 - VKEY), &vx, &vy);

  struct {
    const char *what;
    double click_x, click_y; /* main canvas pixel, or < 0 for a key */
    guint key;
    int point;
    Rgb h, v; /* what is drawn at the samples */
  } steps[] = {
    { "nothing selected", -1, -1, 0, -1, BLACK, BLACK },
    { "click on point 1", x3, y3, 0, 3, HMORPH_OWN, VMORPH_OWN },
    /* A coordinate without morph curves: nothing to show, not even the
     * other coordinates' curves. */
    { "Right to its handle", -1, -1, GDK_KEY_Right, 4, BLACK, BLACK },
    { "Left back", -1, -1, GDK_KEY_Left, 3, HMORPH_OWN, VMORPH_OWN },
    { "click on point 2", x6, y6, 0, 6, BACKGROUND, BLACK },
  };
  for (auto s : steps)
    {
      if (s.click_x >= 0)
        click (canvas (), s.click_x, s.click_y);
      else if (s.key)
        key_tap (s.key);
      pump (30);
      EXPECT_EQ (iprop (canvas (), "selected-point"), s.point) << s.what;
      for (GtkWidget *w : { hmorph (), vmorph (), morph () })
        EXPECT_EQ (iprop (w, "curve-point"), s.point) << s.what;

      GdkPixbuf *h = shot (hmorph ()), *v = shot (vmorph ());
      if (s.h == BLACK)
        EXPECT_EQ (pixel (h, int (hx), int (hy)), BLACK) << s.what;
      else
        EXPECT_TRUE (line_near (h, hx, hy, true, s.h)) << s.what;
      if (s.v == BLACK)
        EXPECT_EQ (pixel (v, int (vx), int (vy)), BLACK) << s.what;
      else
        EXPECT_TRUE (line_near (v, vx, vy, false, s.v)) << s.what;
      g_object_unref (h);
      g_object_unref (v);
    }

  /* A new wave clears the selection everywhere. */
  show (make_wave (true));
  for (GtkWidget *w : { hmorph (), vmorph (), morph () })
    EXPECT_EQ (iprop (w, "curve-point"), -1);
}

/* An edit on one canvas is seen on the others, and whoever watches the
 * main canvas hears of it. */
TEST_F (WaveEditor, EditsOnOneCanvasRedrawTheOthers)
{
  show (make_wave (true));
  int heard = 0;
  g_signal_connect_swapped (canvas (), "notify::wave", G_CALLBACK (+[] (int *n) { ++*n; }),
                            &heard);
  double sx, sy, tx, ty;
  px (canvas (), base_x[3], base_y[3], &sx, &sy);
  click (canvas (), sx, sy);
  pump (30);

  /* The vmorph curve's start is coordinate 3's own y: dragging it down to
   * 0.5 moves the point on the main canvas. */
  px (vmorph (), 0.0, base_y[3], &sx, &sy);
  px (vmorph (), 0.0, 0.5, &tx, &ty);
  move (vmorph (), sx, sy);
  button_press ();
  move (vmorph (), sx, (sy + ty) / 2);
  move (vmorph (), sx, ty);
  button_release ();
  pump (30);
  EXPECT_NEAR (wave->curve->ycoords[3], 0.5, 0.01);
  EXPECT_GE (heard, 1) << "the main canvas reports edits made beside it";

  double mx, my;
  px (canvas (), wave->curve->xcoords[3], wave->curve->ycoords[3], &mx, &my);
  GdkPixbuf *pb = shot (canvas ());
  Rgb marker = pixel (pb, int (mx), int (my));
  g_object_unref (pb);
  EXPECT_TRUE (marker.r > 100 && marker.g > 100 && marker.b > 100)
    << int (marker.r) << "," << int (marker.g) << "," << int (marker.b);

  /* Dragging the point on the main canvas to the right starts its
   * horizontal morph curve further right on the hmorph canvas. */
  heard = 0;
  px (canvas (), wave->curve->xcoords[3], wave->curve->ycoords[3], &sx, &sy);
  move (canvas (), sx, sy);
  button_press ();
  move (canvas (), sx + 15, sy);
  move (canvas (), sx + 30, sy);
  button_release ();
  pump (30);
  const double new_x = wave->curve->xcoords[3];
  EXPECT_GT (new_x, base_x[3] + 0.05);
  double hx, hy;
  px (hmorph (), 0.0, new_x, &hx, &hy);
  pb = shot (hmorph ());
  marker = pixel (pb, int (hx), int (hy));
  g_object_unref (pb);
  EXPECT_TRUE (marker.r > 100 && marker.g > 100 && marker.b > 100)
    << int (marker.r) << "," << int (marker.g) << "," << int (marker.b);
  g_signal_handlers_disconnect_by_data (canvas (), &heard);
}

/* The toolbar's polarity menu sets the main canvas's polarity, and the
 * vmorph canvas follows it (it shares the value axis). */
TEST_F (WaveEditor, PolarityMenuSetsBothValueAxes)
{
  show (make_wave (true));
  struct {
    int item;
    ZelmWaveCanvasPolarity polarity;
    double y_zoom;
  } cases[] = {
    { 2, ZELM_WAVE_CANVAS_POLARITY_BIPOLAR, 0.5 },
    { 1, ZELM_WAVE_CANVAS_POLARITY_UNIPOLAR, 1.0 },
  };
  for (auto c : cases)
    {
      choose (tool (0), c.item);
      for (GtkWidget *w : { canvas (), vmorph () })
        {
          EXPECT_EQ (iprop (w, "polarity"), c.polarity);
          double y_zoom;
          g_object_get (w, "y-zoom", &y_zoom, nullptr);
          EXPECT_EQ (y_zoom, c.y_zoom);
        }
      EXPECT_EQ (iprop (hmorph (), "polarity"), ZELM_WAVE_CANVAS_POLARITY_AUTO);
    }
}

/* Auto shows the morph widgets for no wave or a morphing wave; Show and
 * Hide override; the curve takes the whole room when they are hidden. */
TEST_F (WaveEditor, MorphModeShowsAndHidesTheMorphWidgets)
{
  enum { NONE, PLAIN, MORPHING };
  struct {
    int wave;
    ZelmWaveEditorMorphMode mode;
    bool by_menu;
    bool shown;
  } cases[] = {
    { NONE, ZELM_WAVE_EDITOR_MORPH_MODE_AUTO, false, true },
    { PLAIN, ZELM_WAVE_EDITOR_MORPH_MODE_AUTO, false, false },
    { MORPHING, ZELM_WAVE_EDITOR_MORPH_MODE_AUTO, false, true },
    { PLAIN, ZELM_WAVE_EDITOR_MORPH_MODE_SHOW, true, true },
    { MORPHING, ZELM_WAVE_EDITOR_MORPH_MODE_HIDE, true, false },
    { NONE, ZELM_WAVE_EDITOR_MORPH_MODE_HIDE, false, false },
    { PLAIN, ZELM_WAVE_EDITOR_MORPH_MODE_AUTO, true, false },
  };
  for (auto c : cases)
    {
      if (c.by_menu)
        choose (tool (1), int (c.mode));
      else
        g_object_set (widget, "morph-mode", c.mode, nullptr);
      EXPECT_EQ (iprop (widget, "morph-mode"), c.mode);
      if (c.wave == NONE)
        {
          zelm_wave_editor_set_wave (editor (), nullptr);
          pump (60);
        }
      else
        show (make_wave (c.wave == MORPHING));
      for (GtkWidget *w : { hmorph (), vmorph (), morph () })
        EXPECT_EQ (bool (gtk_widget_get_mapped (w)), c.shown) << c.wave << " " << c.mode;
      EXPECT_EQ (width (canvas ()) > W * 3 / 4, !c.shown) << c.wave << " " << c.mode;
    }

  /* A show_all around the editor leaves them as the mode says. */
  gtk_widget_show_all (win);
  pump (30);
  EXPECT_FALSE (gtk_widget_get_visible (morph ()));
}

/* Scrubbing either strip sets the position on every canvas; the release
 * snaps to the nearest key of that strip's direction unless Shift is held. */
TEST_F (WaveEditor, MorphCanvasScrubsAndSnaps)
{
  show (make_wave (true));
  GtkWidget *m = morph ();
  const int mw = width (m), mh = height (m);
  ASSERT_GT (mw, 100);
  ASSERT_GT (mh, 100);

  struct {
    const char *what;
    bool left;     /* the left strip (horizontal keys) or the top one */
    double target; /* the position dragged to */
    bool shift;
    double want;   /* after the release */
  } cases[] = {
    { "left, near its key", true, 0.47, false, HKEY },
    { "left, nearer the end", true, 0.75, false, 1.0 },
    { "left, exact with Shift", true, 0.47, true, -1 },
    { "top, near its key", false, 0.3, false, VKEY },
    { "top, below the key", false, 0.15, false, VKEY },
    { "top, nearer the start", false, 0.08, false, 0.0 },
    { "top, exact with Shift", false, 0.62, true, -1 },
    { "left, dragged past the end", true, 1.4, true, 1.0 },
  };
  for (auto c : cases)
    {
      /* Enter the strip away from the corner to make it active, press,
       * then drag along it. */
      const double across = 12;
      const double size = c.left ? mh : mw;
      auto to_widget = [&] (double along, double *x, double *y) {
        *x = c.left ? across : along;
        *y = c.left ? along : across;
      };
      double x, y;
      to_widget (40, &x, &y);
      move (m, x, y);
      if (c.shift)
        key_press (GDK_KEY_Shift_L);
      button_press ();
      const double along = c.target * (size - 8) + 4;
      to_widget ((40 + along) / 2, &x, &y);
      move (m, x, y);
      to_widget (along, &x, &y);
      move (m, x, y);
      const double dragged = std::clamp ((std::floor (along) - 4) / (size - 8), 0.0, 1.0);
      for (GtkWidget *w : { m, canvas (), hmorph (), vmorph () })
        EXPECT_DOUBLE_EQ (position (w), dragged) << c.what << " while dragging";
      button_release ();
      if (c.shift)
        key_release (GDK_KEY_Shift_L);
      pump (20);
      const double want = c.want < 0 ? dragged : c.want;
      for (GtkWidget *w : { m, canvas (), hmorph (), vmorph () })
        EXPECT_DOUBLE_EQ (position (w), want) << c.what;
    }

  /* A press outside the active strip scrubs nothing. */
  move (m, 12, 60);
  move (m, 60, 60);
  button_press ();
  move (m, 80, 90);
  button_release ();
  EXPECT_DOUBLE_EQ (position (m), 1.0);

  /* Without a vertical morph curve the top strip snaps to 0. */
  VornWave *w = make_wave (true);
  vorn_wave_remove_morph_point_curve (w, 3, FALSE);
  show (w);
  move (m, 60, 12);
  button_press ();
  move (m, 0.9 * (mw - 8) + 4, 12);
  button_release ();
  pump (20);
  EXPECT_DOUBLE_EQ (position (m), 0.0);
}

/* The morph canvas draws its strips' inner edges (white for the active
 * strip), the key ticks and the position on the pixels its geometry
 * gives. */
TEST_F (WaveEditor, MorphCanvasDrawsStripsTicksAndPosition)
{
  show (make_wave (true));
  GtkWidget *m = morph ();
  const int mw = width (m), mh = height (m);
  auto row = [] (double p, int size) { return int (p * (size - 8) + 4.5) - 1; };
  const Rgb white { 0xff, 0xff, 0xff }, gray { 0x40, 0x40, 0x40 }, yellow { 0xff, 0xff, 0x00 };
  const Rgb hkey { 0x64, 0x00, 0xff }, vkey { 0x64, 0xff, 0x00 };

  /* Scrub to 0.6 exactly (Shift) in the top strip, leaving it active. */
  const double pos_x = 0.6 * (mw - 8) + 4;
  move (m, 60, 12);
  key_press (GDK_KEY_Shift_L);
  button_press ();
  move (m, pos_x, 12);
  button_release ();
  key_release (GDK_KEY_Shift_L);
  const double p = position (m);

  struct {
    bool left_active;
    struct {
      int x, y;
      Rgb colour;
    } px[14];
  } cases[] = {
    { false,
      { /* edges: white along the top strip, gray beside the left one */
        { mw / 2, 23, white }, { 5, 23, white }, { 23, mh / 2, gray }, { 23, 20, BLACK },
        /* top ticks: its key, both ends (the start in the corner) */
        { row (VKEY, mw), 10, vkey }, { mw - 1, 10, vkey }, { 0, 10, vkey },
        { row (VKEY, mw) + 1, 10, BLACK },
        /* left ticks: its key and far end; its start is in the corner */
        { 10, row (HKEY, mh), hkey }, { 10, mh - 1, hkey }, { 10, 0, BLACK },
        /* the position in both strips */
        { row (p, mw), 10, yellow }, { 10, row (p, mh), yellow }, { 23, row (p, mh), gray } } },
    { true,
      { { 23, mh / 2, white }, { 23, 5, white }, { mw / 2, 23, gray }, { 20, 23, BLACK },
        { 10, row (HKEY, mh), hkey }, { 10, mh - 1, hkey }, { 10, 0, hkey },
        { 10, row (HKEY, mh) + 1, BLACK },
        { row (VKEY, mw), 10, vkey }, { mw - 1, 10, vkey }, { 0, 10, BLACK },
        { row (p, mw), 10, yellow }, { 10, row (p, mh), yellow }, { row (p, mw), 23, gray } } },
  };
  for (auto &c : cases)
    {
      if (c.left_active)
        move (m, 12, 60);
      GdkPixbuf *pb = shot (m);
      for (auto &e : c.px)
        EXPECT_EQ (pixel (pb, e.x, e.y), e.colour)
          << (c.left_active ? "left" : "top") << " active, at " << e.x << "," << e.y;
      g_object_unref (pb);
    }
}

/* The animation advances by rate x elapsed time, turning at the ends with
 * ping-pong and wrapping without; the frames come from the frame clock,
 * the time they read from a clock the test sets. */
TEST_F (WaveEditor, AnimationAdvancesByRateTimesTime)
{
  show (make_wave (true));
  zelm_wave_editor_set_clock (editor (), fake_clock, nullptr);
  GtkWidget *play = GTK_WIDGET (tool (2)), *ping_pong = GTK_WIDGET (tool (3));
  GtkWidget *rate = gtk_bin_get_child (GTK_BIN (tool (4)));
  ASSERT_TRUE (GTK_IS_SCALE (rate));
  EXPECT_TRUE (gtk_toggle_tool_button_get_active (GTK_TOGGLE_TOOL_BUTTON (ping_pong)));
  EXPECT_EQ (gtk_range_get_value (GTK_RANGE (rate)), 1.0);

  struct {
    const char *what;
    bool ping_pong;
    guint rate_key; /* a key on the speed slider first, or 0 */
    std::vector<std::pair<gint64, double>> steps; /* microseconds after start, position */
  } cases[] = {
    { "ping-pong", true, 0,
      { { 250000, 0.25 }, { 1000000, 1.0 }, { 1200000, 0.8 }, { 1900000, 0.1 },
        { 2000000, 0.0 }, { 2300000, 0.3 } } },
    { "wrapping", false, 0,
      { { 250000, 0.25 }, { 900000, 0.9 }, { 1200000, 0.2 }, { 2050000, 0.05 } } },
    { "fastest, ping-pong", true, GDK_KEY_End,
      { { 100000, 0.3 }, { 500000, 0.5 }, { 600000, 0.2 }, { 800000, 0.4 } } },
    { "slowest, wrapping", false, GDK_KEY_Home,
      { { 10000000, 0.5 }, { 30000000, 0.5 } } },
    { "a long stall", true, GDK_KEY_End, { { 3600000000 + 100000, 0.3 } } },
  };
  for (auto &c : cases)
    {
      if (c.rate_key)
        {
          gtk_widget_grab_focus (rate);
          key_tap (c.rate_key);
        }
      if (gtk_toggle_tool_button_get_active (GTK_TOGGLE_TOOL_BUTTON (ping_pong)) != c.ping_pong)
        click (ping_pong, width (ping_pong) / 2.0, height (ping_pong) / 2.0);
      fake_now = 5000000;
      click (play, width (play) / 2.0, height (play) / 2.0);
      ASSERT_TRUE (gtk_toggle_tool_button_get_active (GTK_TOGGLE_TOOL_BUTTON (play)));
      for (auto [t, want] : c.steps)
        {
          fake_now = 5000000 + t;
          EXPECT_TRUE (wait_for ([&] { return std::abs (position (morph ()) - want) < 1e-9; }))
            << c.what << " at " << t << ": " << position (morph ()) << ", not " << want;
          for (GtkWidget *w : { canvas (), hmorph (), vmorph () })
            EXPECT_NEAR (position (w), want, 1e-9) << c.what << " at " << t;
        }

      /* Stopping goes back to 0 and stays there. */
      click (play, width (play) / 2.0, height (play) / 2.0);
      fake_now += 300000;
      pump (100);
      for (GtkWidget *w : { morph (), canvas (), hmorph (), vmorph () })
        EXPECT_EQ (position (w), 0.0) << c.what;
    }
}

/* The picture for the documentation: a morphing wave half-way through its
 * morph with a point selected, on the application's dark theme. */
TEST (WaveEditorShot, MorphingWave)
{
  const char *dir = g_getenv ("ZELM_TEST_SHOTS");
  if (!dir)
    GTEST_SKIP () << "set ZELM_TEST_SHOTS to a directory";
  const char *res = g_getenv ("ZELMORA_RESOURCE_DIR");
  const std::string root = res ? res : ".";
  g_autoptr (GtkCssProvider) css = gtk_css_provider_new ();
  gtk_css_provider_load_from_path (
    css, (root + "/themes/BlueSky-Dark-Zelmora/gtk-3.0/gtk.css").c_str (), nullptr);
  GdkScreen *screen = gdk_screen_get_default ();
  gtk_style_context_add_provider_for_screen (screen, GTK_STYLE_PROVIDER (css),
                                             GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  gtk_icon_theme_prepend_search_path (gtk_icon_theme_get_default (),
                                      (root + "/themes/icons").c_str ());
  GtkSettings *settings = gtk_settings_get_default ();
  g_autofree char *old_icons = nullptr;
  g_object_get (settings, "gtk-icon-theme-name", &old_icons, nullptr);
  g_object_set (settings, "gtk-icon-theme-name", "elementary-Zelmora", nullptr);

  /* A sine-like wave whose crest leans left and sharpens and whose trough
   * rises as the morph runs. */
  const double xs[] = { 0, 0.1, 0.15, 0.25, 0.35, 0.4, 0.5, 0.6, 0.65, 0.75, 0.85, 0.9, 1 };
  const double ys[] = { 0, 0.5, 0.9, 0.9, 0.9, 0.5, 0, -0.5, -0.9, -0.9, -0.9, -0.5, 0 };
  g_autoptr (VornWave) wave = make_curve_wave (xs, ys, 5);
  add_morph (wave, 3, TRUE, { 0, 0.25, 0.2, 0.25, 0.3, 0.2, 0.4, 0.2, 0.5, 0.2, 0.8, 0.12, 1, 0.12 });
  add_morph (wave, 4, TRUE, { 0, 0.35, 0.3, 0.35, 0.7, 0.2, 1, 0.2 });
  add_morph (wave, 3, FALSE,
             { 0, 0.9, 0.3, 0.9, 0.6, 0.98, 0.75, 0.98, 0.9, 0.98, 0.95, 0.95, 1, 0.95 });
  add_morph (wave, 9, FALSE, { 0, -0.9, 0.3, -0.9, 0.7, -0.4, 1, -0.4 });

  GtkWidget *editor = zelm_wave_editor_new ();
  GtkWidget *win = show_in_window (editor, 760, 520);
  zelm_wave_editor_set_wave (ZELM_WAVE_EDITOR (editor), wave);
  GtkWidget *canvas = GTK_WIDGET (zelm_wave_editor_get_canvas (ZELM_WAVE_EDITOR (editor)));
  GtkWidget *morph = gtk_grid_get_child_at (GTK_GRID (editor), 1, 2);
  pump (100);
  double x, y;
  zelm_wave_canvas_value_to_pixel (ZELM_WAVE_CANVAS (canvas), 0.25, 0.9, &x, &y);
  click (canvas, x, y);
  /* Scrub the left strip to half-way, exactly. */
  const int mh = gtk_widget_get_allocated_height (morph);
  pointer_move (morph, 12, 40);
  pump (20);
  key_press (GDK_KEY_Shift_L);
  button_press ();
  pointer_move (morph, 12, 0.5 * (mh - 8) + 4);
  pump (20);
  button_release ();
  key_release (GDK_KEY_Shift_L);
  pointer_move (morph, 12, 0.5 * (mh - 8) + 4);
  pump (100);
  save_png (win, (std::string (dir) + "/wave-editor.png").c_str ());

  gtk_widget_destroy (win);
  g_object_set (settings, "gtk-icon-theme-name", old_icons, nullptr);
  gtk_style_context_remove_provider_for_screen (screen, GTK_STYLE_PROVIDER (css));
}

} // namespace
