/* test-wave-canvas.cpp: real pointer and key events reach the wave canvas's
 * editing session, and the canvas draws where its view maps the values */
#include "vorn-test-log.h"
#include "zelm-gui-test.h"
#include "zelm-wave-canvas.h"

#include <gtest/gtest.h>

#include <vector>

using namespace zelm_test;

namespace {

/* 400 x 200 pixels of drawing inside the 4-pixel margin. */
constexpr int W = 408, H = 208;

const double base_x[] = { 0.0, 0.1, 0.2, 0.3, 0.4, 0.55, 0.6, 0.65, 0.9, 1.0 };
const double base_y[] = { 0.5, 0.8, 0.9, 0.9, 0.9, 0.2, 0.2, 0.2, 0.5, 0.5 };

VornWave *
make_wave (const double *xs = base_x, const double *ys = base_y, int points = 4)
{
  VornWave *wave = vorn_wave_new (guint (points));
  for (int i = 0; i < 3 * points - 2; i++)
    wave->curve->xcoords[i] = xs[i], wave->curve->ycoords[i] = ys[i];
  return wave;
}

/* A straight morph curve of coordinate @index from its value to @end. */
void
straight_morph (VornWave *wave, guint index, gboolean horizontal, double end)
{
  const double start = (horizontal ? wave->curve->xcoords : wave->curve->ycoords)[index];
  g_autoptr (VornCurve) curve = vorn_curve_new (2);
  const double xs[] = { 0, 0, 1, 1 }, ys[] = { start, start, end, end };
  for (int i = 0; i < 4; i++)
    curve->xcoords[i] = xs[i], curve->ycoords[i] = ys[i];
  if (!wave->morph)
    wave->morph = vorn_morph_new (wave->curve);
  vorn_morph_set_point_curve (wave->morph, index, horizontal, curve);
}

/* @colour at some coverage of a 1-pixel line over black. */
bool
line_of (Rgb got, Rgb colour)
{
  const double k = std::max ({ got.r, got.g, got.b }) /
                   double (std::max ({ colour.r, colour.g, colour.b }));
  return k > 0.5 && std::abs (got.r - k * colour.r) < 20 && std::abs (got.g - k * colour.g) < 20 &&
         std::abs (got.b - k * colour.b) < 20;
}

bool
grey_marker (Rgb c)
{
  return c.r > 100 && c.g > 100 && c.b > 100;
}

class WaveCanvas : public ::testing::Test {
protected:
  GtkWidget *widget = zelm_wave_canvas_new ();
  GtkWidget *win = show_in_window (widget, W, H);
  VornWave *wave = nullptr;

  ~WaveCanvas () override
  {
    gtk_widget_destroy (win);
    g_clear_object (&wave);
  }
  void show (VornWave *w, ZelmWaveCanvasMode mode = ZELM_WAVE_CANVAS_MODE_CURVE,
             int curve_point = -1, double morph_position = 0.0)
  {
    g_set_object (&wave, w);
    g_object_unref (w);
    g_object_set (widget, "mode", mode, "curve-point", curve_point, nullptr);
    zelm_wave_canvas_set_wave (ZELM_WAVE_CANVAS (widget), wave);
    g_object_set (widget, "morph-position", morph_position, nullptr);
    pump (60);
  }
  int selected ()
  {
    int v;
    g_object_get (widget, "selected-point", &v, nullptr);
    return v;
  }
  void move (double x, double y)
  {
    pointer_move (widget, x, y);
    pump (15);
  }
  /* Widget pixel of value (@x, @y). */
  void at (double x, double y, double *px, double *py)
  {
    zelm_wave_canvas_value_to_pixel (ZELM_WAVE_CANVAS (widget), x, y, px, py);
  }
};

/* Each input path reaches its session call: a drag moves the point under
 * the pointer, a modifier key restarts it, Escape puts everything back, a
 * double click inserts, BackSpace deletes, the arrows step. */
TEST_F (WaveCanvas, PointerAndKeysReachTheSession)
{
  g_object_set (gtk_settings_get_default (), "gtk-double-click-time", 150, nullptr);
  show (make_wave ());
  int waves = 0;
  g_signal_connect_swapped (widget, "notify::wave", G_CALLBACK (+[] (int *n) { ++*n; }), &waves);
  double px, py;
  at (0.6, 0.2, &px, &py);
  move (px, py);
  button_press ();
  move (270, 120);
  EXPECT_DOUBLE_EQ (wave->curve->xcoords[6], (270 - 4) / 400.0);
  EXPECT_DOUBLE_EQ (wave->curve->ycoords[6], 1 - (120 - 4) / 200.0);
  EXPECT_GE (waves, 1);
  key_press (GDK_KEY_Shift_L); /* handle-swap pulls out the right handle */
  pump (15);
  EXPECT_EQ (selected (), 7);
  EXPECT_EQ (wave->curve->xcoords[6], 0.6);
  key_tap (GDK_KEY_Escape);
  key_release (GDK_KEY_Shift_L);
  button_release ();
  EXPECT_EQ (selected (), 6);
  for (int i = 0; i < 10; i++)
    EXPECT_TRUE (wave->curve->xcoords[i] == base_x[i] && wave->curve->ycoords[i] == base_y[i]);

  move (184, 120);
  for (int i = 0; i < 2; i++)
    button_press (), button_release ();
  pump (350);
  ASSERT_EQ (wave->curve->count, 5);
  EXPECT_EQ (selected (), 6);
  key_tap (GDK_KEY_BackSpace);
  EXPECT_EQ (wave->curve->count, 4);
  key_tap (GDK_KEY_Left);
  EXPECT_EQ (selected (), 9);
  key_tap (GDK_KEY_Right);
  EXPECT_EQ (selected (), 0);
  g_signal_handlers_disconnect_by_data (widget, &waves);
}

/* Markers, hover, selection ring, the curve, handle lines, the zero line
 * and the debug traces, each where the view puts it. */
TEST_F (WaveCanvas, CurveIsDrawnWhereTheViewMapsIt)
{
  show (make_wave ());
  g_object_set (widget, "selected-point", 3, nullptr);
  double px, py, mx, my;
  at (0.6, 0.2, &px, &py);
  move (px, py); /* hover point 2 */
  GdkPixbuf *pb = grab (widget);
  for (int i = 0; i < 10; i++)
    {
      at (base_x[i], base_y[i], &px, &py);
      Rgb c = pixel (pb, int (px), int (py));
      if (i == 6)
        EXPECT_TRUE (c.r > 150 && c.g > 150 && c.b < 90) << "hovered";
      else
        EXPECT_TRUE (grey_marker (c)) << "marker " << i;
    }
  at (0.3, 0.9, &px, &py);
  EXPECT_TRUE (grey_marker (pixel (pb, int (px) + 6, int (py)))) << "selection ring";

  /* The middle of the last segment (its Bezier at t = 0.5) is blue, with
   * nothing around it; a handle line halfway from point 0 to its handle. */
  auto middle = [&] {
    at ((0.6 + 3 * 0.65 + 3 * 0.9 + 1.0) / 8, (0.2 + 3 * 0.2 + 3 * 0.5 + 0.5) / 8, &mx, &my);
  };
  middle ();
  bool blue = false;
  for (int dy = -1; dy <= 1; dy++)
    {
      Rgb c = pixel (pb, int (mx), int (my) + dy);
      blue = blue || (c.b > 100 && c.b > c.r + 60);
    }
  EXPECT_TRUE (blue);
  for (int dy : { -30, -3, 30 })
    EXPECT_EQ (pixel (pb, int (mx), int (my) + dy), (Rgb { 0, 0, 0 }));
  at (0.05, 0.65, &px, &py);
  Rgb line = pixel (pb, int (px), int (py));
  EXPECT_TRUE (line.r > 10 && line.r == line.g && line.g == line.b);
  EXPECT_EQ (pixel (pb, 120, 103), (Rgb { 0, 0, 0 })) << "no zero line";
  g_object_unref (pb);

  /* Bipolar: the zero line, below the crest; only the view values
   * that changed are notified. */
  int notified = 0;
  g_signal_connect_swapped (widget, "notify", G_CALLBACK (+[] (int *n) { ++*n; }), &notified);
  zelm_wave_canvas_set_polarity (ZELM_WAVE_CANVAS (widget), ZELM_WAVE_CANVAS_POLARITY_BIPOLAR);
  EXPECT_EQ (notified, 2) << "y-zoom and polarity";
  g_signal_handlers_disconnect_by_data (widget, &notified);
  pump (40);
  pb = grab (widget);
  EXPECT_EQ (pixel (pb, 120, 103), (Rgb { 0x64, 0x64, 0x64 }));
  g_object_unref (pb);

  zelm_wave_canvas_set_polarity (ZELM_WAVE_CANVAS (widget), ZELM_WAVE_CANVAS_POLARITY_AUTO);
  g_object_set (widget, "debug-render", TRUE, nullptr);
  pump (40);
  pb = grab (widget);
  middle ();
  Rgb trace = pixel (pb, int (mx), int (my) - 3);
  g_object_unref (pb);
  EXPECT_TRUE (trace.r > 40 && trace.g > 30 && trace.b < 20) << "debug traces";
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
      const gboolean horizontal = c.mode == ZELM_WAVE_CANVAS_MODE_HMORPH;
      VornWave *w = make_wave ();
      const double s3 = horizontal ? base_x[3] : base_y[3], s6 = horizontal ? base_x[6] : base_y[6];
      straight_morph (w, 3, horizontal, 0.1);
      straight_morph (w, 6, horizontal, 0.7);
      show (w, c.mode, 3, 0.25);
      pump (40);
      GdkPixbuf *pb = grab (widget);
      /* Both lines at morph position 0.75, clear of the position line. */
      auto sample = [&] (double start, double end) {
        double x, y;
        at (0.75, start + (end - start) * 0.75, &x, &y);
        Rgb best { 0, 0, 0 };
        for (int d = -1; d <= 1; d++)
          {
            Rgb p = horizontal ? pixel (pb, int (x) + d, int (y))
                               : pixel (pb, int (x), int (y) + d);
            if (p.r + p.g + p.b > best.r + best.g + best.b)
              best = p;
          }
        return best;
      };
      Rgb own = sample (s3, 0.1), other = sample (s6, 0.7);
      EXPECT_TRUE (line_of (own, c.colour)) << c.mode;
      EXPECT_TRUE (std::abs (other.r - 0x8c) <= 8 && other.r == other.g && other.g == other.b)
        << c.mode << " background curve";
      Rgb pos = horizontal ? pixel (pb, 380, 54) : pixel (pb, 104, 10);
      EXPECT_EQ (pos, (Rgb { 0xff, 0xff, 0xff })) << c.mode << " position line";
      g_object_unref (pb);
    }
}

} // namespace
