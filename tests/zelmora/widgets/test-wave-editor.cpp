/* test-wave-editor.cpp: a drag on the curve canvas and a scrub of the morph
 * canvas reach their sessions, the canvases draw where their views map the
 * values, and the editor keeps its canvases in step (the editing and
 * scrubbing rules: the models suite) */
#include "vorn-test-log.h"
#include "zelm-gui-test.h"
#include "zelm-wave-editor.h"

#include <gtest/gtest.h>

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

bool
grey (Rgb c)
{
  return c.r > 100 && c.g > 100 && c.b > 100;
}

constexpr Rgb BLACK { 0, 0, 0 };

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
  GtkWidget *canvas () { return child (0, 1); }
  GtkWidget *vmorph () { return child (1, 1); }
  GtkWidget *hmorph () { return child (0, 2); }
  GtkWidget *morph () { return child (1, 2); }
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
};

/* A drag moves the point under the pointer and the editor hears of it;
 * Escape puts everything back and keeps the point selected. */
TEST_F (WaveEditor, DragOnTheCanvasReachesTheSession)
{
  show (test_wave (false));
  int heard = 0;
  g_signal_connect_swapped (canvas (), "notify::wave", G_CALLBACK (+[] (int *n) { ++*n; }),
                            &heard);
  double sx, sy, tx, ty;
  px (canvas (), 0.6, 0.2, &sx, &sy);
  px (canvas (), 0.7, 0.5, &tx, &ty);
  move (canvas (), sx, sy);
  button_press ();
  move (canvas (), tx, ty); /* to within a pixel */
  EXPECT_TRUE (std::abs (wave->curve->xcoords[6] - 0.7) < 0.01 &&
               std::abs (wave->curve->ycoords[6] - 0.5) < 0.01);
  EXPECT_GE (heard, 1);
  key_tap (GDK_KEY_Escape);
  button_release ();
  EXPECT_EQ (get (canvas (), "selected-point"), 6);
  for (int i = 0; i < 10; i++)
    EXPECT_TRUE (wave->curve->xcoords[i] == base_x[i] && wave->curve->ycoords[i] == base_y[i]);
  g_signal_handlers_disconnect_by_data (canvas (), &heard);
}

/* The markers and the curve on the main canvas, and the selected
 * coordinate's own morph curves on the morph canvases, each where the
 * canvas's view puts them. */
TEST_F (WaveEditor, CurvesAreDrawnWhereTheViewMapsThem)
{
  show (test_wave (true));
  g_object_set (canvas (), "selected-point", 3, nullptr);
  pump (70);
  double x, y;
  GdkPixbuf *pb = grab_drawn (canvas ());
  for (int i = 0; i < 10; i++)
    {
      px (canvas (), base_x[i], base_y[i], &x, &y);
      EXPECT_TRUE (grey (pixel (pb, int (x), int (y)))) << "marker " << i;
    }
  /* The middle of the last segment (its Bezier at t = 0.5) is blue, a
   * thin line. */
  px (canvas (), (0.6 + 3 * 0.65 + 3 * 0.9 + 1.0) / 8, (0.2 + 3 * 0.2 + 3 * 0.5 + 0.5) / 8, &x,
      &y);
  Rgb mid = pixel (pb, int (x), int (y));
  EXPECT_TRUE (mid.b > 100 && mid.b > mid.r + 60);
  EXPECT_EQ (pixel (pb, int (x), int (y) - 4), BLACK);
  g_object_unref (pb);

  /* Coordinate 3's own morph curves away from their keys, in their
   * canvases' colours (violet, green) within 2 pixels across. */
  auto line_near = [] (GtkWidget *c, double x, double y, bool across_x, bool (*is) (Rgb)) {
    g_autoptr (GdkPixbuf) shot = grab_drawn (c);
    bool found = false;
    for (int d = -2; d <= 2; d++)
      found = found || is (across_x ? pixel (shot, int (x) + d, int (y))
                                    : pixel (shot, int (x), int (y) + d));
    return found;
  };
  double hx, hy, vx, vy;
  px (hmorph (), 0.7, 0.3, &hx, &hy);
  px (vmorph (), 0.6, 0.7 + (0.6 - 0.7) * (0.6 - VKEY) / (1 - VKEY), &vx, &vy);
  EXPECT_TRUE (line_near (hmorph (), hx, hy, true, [] (Rgb p) { return p.b > 100 && p.b > p.g + 60; }));
  EXPECT_TRUE (line_near (vmorph (), vx, vy, false, [] (Rgb p) { return p.g > 100 && p.g > p.b + 60; }));
}

/* Scrubbing the left strip sets the position on every canvas; the release
 * snaps it to that strip's key. */
TEST_F (WaveEditor, MorphCanvasScrubs)
{
  show (test_wave (true));
  GtkWidget *m = morph ();
  const int mh = gtk_widget_get_allocated_height (m);
  const double along = 0.47 * (mh - 8) + 4;
  move (m, 12, 40); /* makes the strip active */
  button_press ();
  move (m, 12, along);
  const double dragged = (std::floor (along) - 4) / (mh - 8);
  for (GtkWidget *w : positioned ())
    EXPECT_DOUBLE_EQ (position (w), dragged) << "while dragging";
  button_release ();
  pump (20);
  for (GtkWidget *w : positioned ())
    EXPECT_DOUBLE_EQ (position (w), HKEY);
}

/* Without events: the main canvas's selection and polarity reach the morph
 * canvases, a new wave clears the selection, the morph mode shows the morph
 * widgets for a morphing wave (Auto) or as told. */
TEST_F (WaveEditor, EditorKeepsItsCanvasesInStep)
{
  show (test_wave (true));
  g_object_set (canvas (), "selected-point", 6, nullptr);
  for (GtkWidget *w : { hmorph (), vmorph (), morph () })
    EXPECT_EQ (get (w, "curve-point"), 6);
  zelm_wave_canvas_set_polarity (ZELM_WAVE_CANVAS (canvas ()), ZELM_WAVE_CANVAS_POLARITY_BIPOLAR);
  EXPECT_EQ (get (vmorph (), "polarity"), ZELM_WAVE_CANVAS_POLARITY_BIPOLAR);
  EXPECT_EQ (get (hmorph (), "polarity"), ZELM_WAVE_CANVAS_POLARITY_AUTO);
  show (test_wave (true));
  for (GtkWidget *w : { hmorph (), vmorph (), morph () })
    EXPECT_EQ (get (w, "curve-point"), -1);

  enum { NONE, PLAIN, MORPHING };
  constexpr int AUTO = ZELM_WAVE_EDITOR_MORPH_MODE_AUTO, SHOW = ZELM_WAVE_EDITOR_MORPH_MODE_SHOW,
                HIDE = ZELM_WAVE_EDITOR_MORPH_MODE_HIDE;
  struct {
    int wave, mode;
    bool shown;
  } cases[] = {
    { NONE, AUTO, false },  { PLAIN, AUTO, false }, { MORPHING, AUTO, true },
    { PLAIN, SHOW, true },  { MORPHING, HIDE, false },
  };
  for (auto c : cases)
    {
      g_object_set (widget, "morph-mode", c.mode, nullptr);
      show (c.wave == NONE ? nullptr : test_wave (c.wave == MORPHING));
      for (GtkWidget *w : { hmorph (), vmorph (), morph () })
        EXPECT_EQ (bool (gtk_widget_get_mapped (w)), c.shown) << c.wave << " " << c.mode;
    }
  gtk_widget_show_all (win); /* leaves them as the mode says */
  pump (30);
  EXPECT_FALSE (gtk_widget_get_visible (morph ()));
}

} // namespace
