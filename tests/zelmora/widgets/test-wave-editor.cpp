/* test-wave-editor.cpp: real pointer and key events reach the curve
 * canvas's editing session, the canvases draw where their views map the
 * values, the editor keeps them in step, the morph canvas scrubs, snaps and
 * draws its keys, and the morph animation runs */
#include "vorn-test-log.h"
#include "zelm-gui-test.h"
#include "zelm-wave-editor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace zelm_test;

namespace {

constexpr int W = 640, H = 480;

const double base_x[] = { 0.0, 0.1, 0.2, 0.3, 0.4, 0.55, 0.6, 0.65, 0.9, 1.0 };
const double base_y[] = { 0.5, 0.8, 0.9, 0.9, 0.9, 0.2, 0.2, 0.2, 0.5, 0.5 };

/* Morph keys: horizontally at 0.4, vertically at 0.25 (besides the ends). */
constexpr double HKEY = 0.4, VKEY = 0.25;

/* Coordinate 3 morphs through (HKEY, 0.35) horizontally and (VKEY, 0.7)
 * vertically, coordinate 6 horizontally from end to end. */
VornWave *
test_wave (bool with_morph)
{
  VornWave *wave = make_wave (base_x, base_y, 4);
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

/* A 1-pixel line of @colour within 2 pixels across (@x, @y). */
bool
grey (Rgb c)
{
  return c.r > 100 && c.g > 100 && c.b > 100;
}

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

gint64 fake_now = 0; /* the animation's clock, set by the tests */

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
  GtkWidget *child (int col, int row) { return gtk_grid_get_child_at (GTK_GRID (widget), col, row); }
  ZelmWaveCanvas *main () { return ZELM_WAVE_CANVAS (canvas ()); }
  GtkWidget *canvas () { return child (0, 1); }
  GtkWidget *vmorph () { return child (1, 1); }
  GtkWidget *hmorph () { return child (0, 2); }
  GtkWidget *morph () { return child (1, 2); }
  GtkToolItem *tool (int n) { return gtk_toolbar_get_nth_item (GTK_TOOLBAR (child (0, 0)), n); }
  std::vector<GtkWidget *> positioned () { return { morph (), canvas (), hmorph (), vmorph () }; }

  void show (VornWave *w)
  {
    g_set_object (&wave, w);
    if (w)
      g_object_unref (w);
    zelm_wave_editor_set_wave (ZELM_WAVE_EDITOR (widget), wave);
    pump (60);
  }
  template <typename T = int> T get (GtkWidget *w, const char *name)
  {
    T v;
    g_object_get (w, name, &v, nullptr);
    return v;
  }
  double position (GtkWidget *w) { return get<double> (w, "morph-position"); }
  void move (GtkWidget *w, double x, double y)
  {
    pointer_move (w, x, y);
    pump (15);
  }
  void px (GtkWidget *c, double x, double y, double *wx, double *wy)
  {
    zelm_wave_canvas_value_to_pixel (ZELM_WAVE_CANVAS (c), x, y, wx, wy);
  }
  void press (GtkWidget *w) { click (w, width (w) / 2.0, height (w) / 2.0); }
  int width (GtkWidget *w) { return gtk_widget_get_allocated_width (w); }
  int height (GtkWidget *w) { return gtk_widget_get_allocated_height (w); }
  /* Chooses item @n of a menu tool button's menu with the pointer. */
  void choose (GtkToolItem *item, int n)
  {
    g_autoptr (GList) parts =
      gtk_container_get_children (GTK_CONTAINER (gtk_bin_get_child (GTK_BIN (item))));
    press (GTK_WIDGET (g_list_last (parts)->data));
    GtkWidget *menu = gtk_menu_tool_button_get_menu (GTK_MENU_TOOL_BUTTON (item));
    ASSERT_TRUE (wait_for ([&] { return gtk_widget_get_mapped (menu); }));
    g_autoptr (GList) items = gtk_container_get_children (GTK_CONTAINER (menu));
    GtkWidget *entry = GTK_WIDGET (g_list_nth_data (items, guint (n)));
    wait_drawn (entry);
    press (entry);
    ASSERT_TRUE (wait_for ([&] { return !gtk_widget_get_mapped (menu); }));
    pump (40);
  }
};

/* Each input path reaches its session call: a drag moves the point under
 * the pointer, a modifier key restarts it, Escape puts everything back, a
 * double click inserts, BackSpace deletes, the arrows step. */
TEST_F (WaveEditor, PointerAndKeysReachTheSession)
{
  g_object_set (gtk_settings_get_default (), "gtk-double-click-time", 150, nullptr);
  show (test_wave (false));
  double sx, sy, tx, ty;
  px (canvas (), 0.6, 0.2, &sx, &sy);
  px (canvas (), 0.7, 0.5, &tx, &ty);
  move (canvas (), sx, sy);
  button_press ();
  move (canvas (), tx, ty); /* to within a pixel */
  EXPECT_TRUE (std::abs (wave->curve->xcoords[6] - 0.7) < 0.01 &&
               std::abs (wave->curve->ycoords[6] - 0.5) < 0.01);
  key_press (GDK_KEY_Shift_L); /* handle-swap pulls out the right handle */
  pump (15);
  EXPECT_EQ (get (canvas (), "selected-point"), 7);
  EXPECT_EQ (wave->curve->xcoords[6], 0.6);
  key_tap (GDK_KEY_Escape);
  key_release (GDK_KEY_Shift_L);
  button_release ();
  EXPECT_EQ (get (canvas (), "selected-point"), 6);
  for (int i = 0; i < 10; i++)
    EXPECT_TRUE (wave->curve->xcoords[i] == base_x[i] && wave->curve->ycoords[i] == base_y[i]);

  px (canvas (), 0.45, 0.5, &sx, &sy);
  move (canvas (), sx, sy);
  for (int i = 0; i < 2; i++)
    button_press (), button_release ();
  pump (350);
  ASSERT_EQ (wave->curve->count, 5);
  EXPECT_EQ (get (canvas (), "selected-point"), 6);
  key_tap (GDK_KEY_BackSpace);
  EXPECT_EQ (wave->curve->count, 4);
  key_tap (GDK_KEY_Left);
  EXPECT_EQ (get (canvas (), "selected-point"), 9);
}

/* Markers, hover, selection ring, the curve, handle lines, the zero line
 * and the debug traces, each where the view puts it. */
TEST_F (WaveEditor, CurveIsDrawnWhereTheViewMapsIt)
{
  show (test_wave (false));
  g_object_set (canvas (), "selected-point", 3, nullptr);
  double x, y;
  px (canvas (), 0.6, 0.2, &x, &y);
  move (canvas (), x, y); /* hover point 2 */
  GdkPixbuf *pb = grab (canvas ());
  for (int i = 0; i < 10; i++)
    {
      px (canvas (), base_x[i], base_y[i], &x, &y);
      Rgb c = pixel (pb, int (x), int (y));
      EXPECT_TRUE (i == 6 ? c.r > 150 && c.g > 150 && c.b < 90 : grey (c)) << "marker " << i;
    }
  px (canvas (), 0.3, 0.9, &x, &y);
  EXPECT_TRUE (grey (pixel (pb, int (x) + 6, int (y)))) << "selection ring";
  /* The middle of the last segment (its Bezier at t = 0.5) is blue, with
   * nothing around it; a handle line beside the curve's start. */
  double mx, my;
  px (canvas (), (0.6 + 3 * 0.65 + 3 * 0.9 + 1.0) / 8, (0.2 + 3 * 0.2 + 3 * 0.5 + 0.5) / 8, &mx,
      &my);
  Rgb mid = pixel (pb, int (mx), int (my));
  EXPECT_TRUE (mid.b > 100 && mid.b > mid.r + 60);
  for (int dy : { -30, -4, 30 })
    EXPECT_EQ (pixel (pb, int (mx), int (my) + dy), BLACK);
  px (canvas (), 0.05, 0.65, &x, &y);
  Rgb line = pixel (pb, int (x), int (y));
  EXPECT_TRUE (line.r > 10 && line.r == line.g && line.g == line.b);
  px (canvas (), 0.29, 0.0, &x, &y);
  EXPECT_EQ (pixel (pb, int (x), int (y) - 1), BLACK) << "no zero line";
  g_object_unref (pb);

  /* Bipolar: the zero line; only the view values that changed are told. */
  int told = 0;
  g_signal_connect_swapped (canvas (), "notify", G_CALLBACK (+[] (int *n) { ++*n; }), &told);
  zelm_wave_canvas_set_polarity (main (), ZELM_WAVE_CANVAS_POLARITY_BIPOLAR);
  EXPECT_EQ (told, 2) << "y-zoom and polarity";
  g_signal_handlers_disconnect_by_data (canvas (), &told);
  pump (40);
  pb = grab (canvas ());
  px (canvas (), 0.29, 0.0, &x, &y);
  EXPECT_EQ (pixel (pb, int (x), int (y) - 1), (Rgb { 0x64, 0x64, 0x64 })) << "zero line";
  g_object_unref (pb);

  zelm_wave_canvas_set_polarity (main (), ZELM_WAVE_CANVAS_POLARITY_AUTO);
  g_object_set (canvas (), "debug-render", TRUE, nullptr);
  pump (40);
  pb = grab (canvas ());
  Rgb trace = pixel (pb, int (mx), int (my) - 2);
  g_object_unref (pb);
  EXPECT_TRUE (trace.r > 40 && trace.g > 30 && trace.b < 20) << "debug traces";
}

/* The main canvas's selection, by pointer or key, makes the morph-mode
 * canvases draw that coordinate's morph curves; an edit on one canvas is
 * seen on the others and reported by the main one. */
TEST_F (WaveEditor, SelectionAndEditsReachTheOtherCanvases)
{
  show (test_wave (true));
  double x3, y3, x6, y6, hx, hy, vx, vy;
  px (canvas (), base_x[3], base_y[3], &x3, &y3);
  px (canvas (), base_x[6], base_y[6], &x6, &y6);
  /* Coordinate 3's morph curves away from their keys. */
  px (hmorph (), 0.7, 0.3, &hx, &hy);
  px (vmorph (), 0.6, 0.7 + (0.6 - 0.7) * (0.6 - VKEY) / (1 - VKEY), &vx, &vy);
  struct {
    const char *what;
    double click_x, click_y; /* main canvas pixel, or < 0 for a key */
    int point;
    Rgb h, v;
  } steps[] = {
    { "click on point 1", x3, y3, 3, HMORPH_OWN, VMORPH_OWN },
    { "Right to its handle, which has no morph", -1, -1, 4, BLACK, BLACK },
    { "click on point 2", x6, y6, 6, BACKGROUND, BLACK },
    { "click on point 1 again", x3, y3, 3, HMORPH_OWN, VMORPH_OWN },
  };
  for (auto s : steps)
    {
      if (s.click_x >= 0)
        click (canvas (), s.click_x, s.click_y);
      else
        key_tap (GDK_KEY_Right);
      pump (70);
      for (GtkWidget *w : { hmorph (), vmorph (), morph () })
        EXPECT_EQ (get (w, "curve-point"), s.point) << s.what;
      GdkPixbuf *h = grab (hmorph ()), *v = grab (vmorph ());
      EXPECT_TRUE (s.h == BLACK ? pixel (h, int (hx), int (hy)) == BLACK
                                : line_near (h, hx, hy, true, s.h)) << s.what;
      EXPECT_TRUE (s.v == BLACK ? pixel (v, int (vx), int (vy)) == BLACK
                                : line_near (v, vx, vy, false, s.v)) << s.what;
      g_object_unref (h);
      g_object_unref (v);
    }

  /* The vmorph curve's start is coordinate 3's own y: dragging it down to
   * 0.5 moves the point, and the main canvas reports it. */
  int heard = 0;
  g_signal_connect_swapped (canvas (), "notify::wave", G_CALLBACK (+[] (int *n) { ++*n; }),
                            &heard);
  double sx, sy, tx, ty;
  px (vmorph (), 0.0, base_y[3], &sx, &sy);
  px (vmorph (), 0.0, 0.5, &tx, &ty);
  move (vmorph (), sx, sy);
  button_press ();
  move (vmorph (), sx, ty);
  button_release ();
  pump (70);
  EXPECT_NEAR (wave->curve->ycoords[3], 0.5, 0.01);
  EXPECT_GE (heard, 1);
  double mx, my;
  px (canvas (), base_x[3], wave->curve->ycoords[3], &mx, &my);
  GdkPixbuf *pb = grab (canvas ());
  EXPECT_TRUE (grey (pixel (pb, int (mx), int (my)))) << "redrawn";
  g_object_unref (pb);
  g_signal_handlers_disconnect_by_data (canvas (), &heard);

  show (test_wave (true)); /* a new wave clears the selection everywhere */
  for (GtkWidget *w : { hmorph (), vmorph (), morph () })
    EXPECT_EQ (get (w, "curve-point"), -1);
}

/* The polarity menu sets both value axes; the morph mode shows the morph
 * widgets for no wave or a morphing wave (Auto) or as told. */
TEST_F (WaveEditor, ToolbarMenusSetPolarityAndMorphWidgets)
{
  show (test_wave (true));
  choose (tool (0), 2);
  for (GtkWidget *w : { canvas (), vmorph () })
    {
      EXPECT_EQ (get (w, "polarity"), ZELM_WAVE_CANVAS_POLARITY_BIPOLAR);
      EXPECT_EQ (get<double> (w, "y-zoom"), 0.5);
    }
  EXPECT_EQ (get (hmorph (), "polarity"), ZELM_WAVE_CANVAS_POLARITY_AUTO);

  enum { NONE, PLAIN, MORPHING };
  struct {
    int wave;
    int menu_item; /* morph mode chosen first, or -1 */
    bool shown;
  } cases[] = {
    { NONE, -1, true }, { PLAIN, -1, false }, { MORPHING, -1, true },
    { PLAIN, ZELM_WAVE_EDITOR_MORPH_MODE_SHOW, true },
    { MORPHING, ZELM_WAVE_EDITOR_MORPH_MODE_HIDE, false },
    { PLAIN, ZELM_WAVE_EDITOR_MORPH_MODE_AUTO, false },
  };
  for (auto c : cases)
    {
      if (c.menu_item >= 0)
        choose (tool (1), c.menu_item);
      show (c.wave == NONE ? nullptr : test_wave (c.wave == MORPHING));
      for (GtkWidget *w : { hmorph (), vmorph (), morph () })
        EXPECT_EQ (bool (gtk_widget_get_mapped (w)), c.shown) << c.wave << " " << c.menu_item;
      EXPECT_EQ (width (canvas ()) > W * 3 / 4, !c.shown);
    }
  gtk_widget_show_all (win); /* leaves them as the mode says */
  pump (30);
  EXPECT_FALSE (gtk_widget_get_visible (morph ()));
}

/* Scrubbing a strip sets the position on every canvas and the release
 * snaps to that strip's key unless Shift is held (the rules: the models
 * suite); the strips draw
 * their edges, key ticks and the position where their geometry puts them. */
TEST_F (WaveEditor, MorphCanvasScrubsSnapsAndDraws)
{
  show (test_wave (true));
  GtkWidget *m = morph ();
  const int mw = width (m), mh = height (m);
  struct {
    bool left;
    double target;
    bool shift;
    double want; /* after the release; < 0: where dragged */
  } cases[] = {
    { true, 0.47, false, HKEY }, { false, 0.62, true, -1 },
  };
  for (auto c : cases)
    {
      const double size = c.left ? mh : mw, along = c.target * (size - 8) + 4;
      move (m, c.left ? 12 : 40, c.left ? 40 : 12); /* makes the strip active */
      if (c.shift)
        key_press (GDK_KEY_Shift_L);
      button_press ();
      move (m, c.left ? 12 : along, c.left ? along : 12);
      const double dragged = std::clamp ((std::floor (along) - 4) / (size - 8), 0.0, 1.0);
      for (GtkWidget *w : positioned ())
        EXPECT_DOUBLE_EQ (position (w), dragged) << c.target << " while dragging";
      button_release ();
      if (c.shift)
        key_release (GDK_KEY_Shift_L);
      pump (20);
      for (GtkWidget *w : positioned ())
        EXPECT_DOUBLE_EQ (position (w), c.want < 0 ? dragged : c.want) << c.target;
    }

  /* The top strip is active, the position exactly where it was dragged. */
  auto at = [] (double p, int size) { return int (p * (size - 8) + 4.5) - 1; };
  const double p = position (m);
  const Rgb white { 0xff, 0xff, 0xff }, gray { 0x40, 0x40, 0x40 }, yellow { 0xff, 0xff, 0x00 };
  struct {
    int x, y;
    Rgb colour;
  } pixels[] = {
    { mw / 2, 23, white }, { 23, mh / 2, gray }, { 23, 20, BLACK },
    { at (VKEY, mw), 10, VMORPH_OWN }, { at (VKEY, mw) + 1, 10, BLACK }, { 0, 10, VMORPH_OWN },
    { 10, at (HKEY, mh), HMORPH_OWN }, { 10, mh - 1, HMORPH_OWN }, { 10, 0, BLACK },
    { at (p, mw), 10, yellow }, { 10, at (p, mh), yellow },
  };
  pump (40);
  GdkPixbuf *pb = grab (m);
  for (auto &e : pixels)
    EXPECT_EQ (pixel (pb, e.x, e.y), e.colour) << e.x << "," << e.y;
  g_object_unref (pb);
  /* The morph-mode canvases draw the position as a white line. */
  for (GtkWidget *w : { hmorph (), vmorph () })
    {
      double x, y;
      px (w, p, w == hmorph () ? 0.9 : 0.05, &x, &y);
      pb = grab (w);
      EXPECT_TRUE (line_near (pb, x, y, w == vmorph (), white)) << "position line";
      g_object_unref (pb);
    }
}

/* Play runs the animation on the editor's clock (here the test's) at the
 * speed slider's rate, every canvas following; stop goes back to 0.  The
 * stepping rules: the models suite. */
TEST_F (WaveEditor, AnimationRunsOnTheClock)
{
  show (test_wave (true));
  zelm_wave_editor_set_clock (ZELM_WAVE_EDITOR (widget), +[] (gpointer) { return fake_now; },
                              nullptr);
  GtkWidget *play = GTK_WIDGET (tool (2)), *rate = gtk_bin_get_child (GTK_BIN (tool (4)));
  gtk_widget_grab_focus (rate);
  key_tap (GDK_KEY_End); /* rate 3, with ping-pong */
  fake_now = 5000000;
  press (play);
  for (auto [t, want] : { std::pair<gint64, double> { 500000, 0.5 }, { 600000, 0.2 } })
    {
      fake_now = 5000000 + t;
      EXPECT_TRUE (wait_for ([&] { return std::abs (position (morph ()) - want) < 1e-9; }))
        << t << ": " << position (morph ()) << ", not " << want;
      for (GtkWidget *w : { canvas (), hmorph (), vmorph () })
        EXPECT_NEAR (position (w), want, 1e-9) << t;
    }
  press (play);
  fake_now += 300000;
  pump (100);
  for (GtkWidget *w : positioned ())
    EXPECT_EQ (position (w), 0.0);
}

} // namespace
