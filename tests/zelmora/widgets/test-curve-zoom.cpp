/* test-curve-zoom.cpp: Ctrl+wheel zooms the curve canvas about the pointer
 * and a double click inserts a point on the curve, through real events */
#include "vorn-curve-cache.h"
#include "vorn-test-log.h"
#include "zelm-gui-test.h"
#include "zelm-wave-editor.h"

#include <gtest/gtest.h>

#include <vector>

using namespace zelm_test;

namespace {

const double base_x[] = { 0.0, 0.1, 0.2, 0.3, 0.4, 0.55, 0.6, 0.65, 0.9, 1.0 };
const double base_y[] = { 0.5, 0.8, 0.9, 0.9, 0.9, 0.2, 0.2, 0.2, 0.5, 0.5 };

class CurveZoom : public ::testing::Test {
protected:
  GtkWidget *editor = zelm_wave_editor_new ();
  GtkWidget *win = show_in_window (editor, 640, 480);
  VornWave *wave = make_wave (base_x, base_y, 4);
  ZelmWaveCanvas *canvas = zelm_wave_editor_get_canvas (ZELM_WAVE_EDITOR (editor));

  CurveZoom ()
  {
    zelm_wave_editor_set_wave (ZELM_WAVE_EDITOR (editor), wave);
    pump (60);
  }
  ~CurveZoom () override
  {
    gtk_widget_destroy (win);
    g_object_unref (wave);
  }
  double zoom (const char *name)
  {
    double v;
    g_object_get (canvas, name, &v, nullptr);
    return v;
  }
};

TEST_F (CurveZoom, ControlWheelZoomsAboutThePointer)
{
  double px, py;
  zelm_wave_canvas_value_to_pixel (canvas, 0.3, 0.9, &px, &py);
  const double xz = zoom ("x-zoom"), yz = zoom ("y-zoom");
  ASSERT_TRUE (motion_to (GTK_WIDGET (canvas), px, py));
  key_press (GDK_KEY_Control_L);
  scroll (GTK_WIDGET (canvas), px, py, GDK_SCROLL_UP);
  key_release (GDK_KEY_Control_L);
  ASSERT_TRUE (wait_for ([&] { return zoom ("x-zoom") > xz; }));
  EXPECT_DOUBLE_EQ (zoom ("x-zoom"), xz * 1.25);
  EXPECT_DOUBLE_EQ (zoom ("y-zoom"), yz * 1.25);
  double qx, qy;
  zelm_wave_canvas_value_to_pixel (canvas, 0.3, 0.9, &qx, &qy);
  EXPECT_NEAR (qx, px, 1.0);
  EXPECT_NEAR (qy, py, 1.0);
}

TEST_F (CurveZoom, DoubleClickInsertsOnTheCurve)
{
  auto render = [&] { return curve_samples (wave->curve); };
  const std::vector<double> before = render ();
  double x, y, px, py;
  vorn_curve_eval_segment (wave->curve, 2, 0.5, &x, &y);
  zelm_wave_canvas_value_to_pixel (canvas, x + 0.01, y + 0.03, &px, &py); /* a little off */
  ASSERT_TRUE (motion_to (GTK_WIDGET (canvas), px, py));
  for (int i = 0; i < 2; i++)
    button_press (), button_release ();
  ASSERT_TRUE (wait_for ([&] { return wave->curve->count == 5; }));
  int selected = -1;
  g_object_get (canvas, "selected-point", &selected, nullptr);
  EXPECT_EQ (selected, 9);
  for (size_t i = 0; const double y : render ())
    ASSERT_NEAR (y, before[i++], 1e-9) << i;
}

} // namespace
