/* test-scale.cpp: the scale slider's value arithmetic, and the pointer and
 * key events that reach it */
#include "vorn-test-log.h"
#include "scale-layout.h"
#include "zelm-gui-test.h"
#include "zelm-scale.h"
#include "zelm-widget-geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace zelm_test;

namespace {

constexpr double BIG = 1e30;

#define EXPECT_VALUE(got, want) EXPECT_NEAR (got, want, std::fabs (want) * 1e-12)

/* ---- arithmetic ---------------------------------------------------------- */

/* A key's result on a scale over ±BIG, NaN when the key makes no edit (and
 * so reports nothing). */
double
key (guint keyval, double start)
{
  double v = 0;
  gboolean edit = FALSE;
  if (!zelm_scale_key_value (keyval, start, -BIG, BIG, &v, &edit))
    ADD_FAILURE () << gdk_keyval_name (keyval) << " not handled";
  return edit ? v : NAN;
}

/* Equal within rounding; NaN matches NaN. */
bool
same (double got, double want)
{
  return got == want || (std::isnan (got) && std::isnan (want))
         || std::fabs (got - want) <= std::fabs (want) * 1e-12;
}

/* Each row is one call, named in the failure message by its own text. */
#define ROW(call, want) { #call, call, want }

/* The fine slider: a full track (360 here) at sensitivity 1 moves by the
 * span of the decade, 9 × 10^E; rounding keeps four significant digits.
 * The coefficient bar (a 400-pixel track): the position sets the leading
 * digits, each track beyond an end a decade.  The exponent boxes, the
 * decade steps, the signs, and the keys: arrows step a digit (Left/Right
 * two places below the decade the value moves into, Up/Down one), Page
 * Up/Down step the decade, plus and minus set the sign. */
TEST (ScaleArithmetic, RowsButtonsAndKeys)
{
  const gboolean F = FALSE, T = TRUE;
  const struct {
    const char *call;
    double got, want;
  } rows[] = {
    ROW (zelm_scale_fine_value (1.0, 100, 360, 1.0, F), 1 + 9 * 100 / 360.0),
    ROW (zelm_scale_fine_value (2e3, -60, 360, 0.5, F), 2e3 - 9e3 * 60 * 0.5 / 360),
    ROW (zelm_scale_fine_value (0.0, 50, 360, 1.0, F), 9 * 50 / 360.0), /* the units decade */
    ROW (zelm_scale_fine_value (1.0, 51, 360, 0.37, T), 1.472),        /* 1.47175 */
    ROW (zelm_scale_fine_value (-5e6, -33, 360, 0.37, T), -5.305e6),   /* -5.30525e6 */
    ROW (zelm_scale_coeff_value (5e3, 100, 400, F), 2.5e3),
    ROW (zelm_scale_coeff_value (5e3, 900, 400, F), 2.5e5), /* past the right end: up */
    ROW (zelm_scale_coeff_value (5e3, -200, 400, F), 5e2),  /* left of the track: down */
    ROW (zelm_scale_coeff_value (5e3, 2, 400, F), 1e3),     /* below 1 becomes 1 */
    ROW (zelm_scale_coeff_value (-5e3, 300, 400, F), -7.5e3), /* negative: same way */
    ROW (zelm_scale_coeff_value (-5e3, -120, 400, F), -7e2),  /* smaller */
    ROW (zelm_scale_coeff_value (0.0, 120, 400, F), 3),
    ROW (zelm_scale_coeff_value (5e3, 100, 360, T), 2778.0), /* 2777.77... */
    ROW (zelm_scale_coeff_value (7.0, 50, 0, F), 7.0), /* no track */
    ROW (zelm_scale_exp_value (2.5, 3, F), 2.5e3),
    ROW (zelm_scale_exp_value (2.5, -2, F), 2.5e-2),
    ROW (zelm_scale_exp_value (2.5e3, 0, T), 2.5), /* the circle keeps the coefficient */
    ROW (zelm_scale_exp_value (2.5, 0, T), 0),     /* ... or clears it at exponent 0 */
    ROW (zelm_scale_exp_value (2.5, 0, F), 2.5),   /* but only on the press */
    ROW (zelm_scale_exp_value (0, 4, T), 0),       /* zero has no coefficient */
    ROW (zelm_scale_exp_value (2.5, 99, F), 2.5e18),
    ROW (zelm_scale_step_exponent (2.5, 1), 25),
    ROW (zelm_scale_step_exponent (-2.5e-3, -1), -2.5e-4),
    ROW (zelm_scale_step_exponent (5e18, 1), 5e18), /* 18 is the last */
    ROW (zelm_scale_step_exponent (5e19, -1), 5e18), /* beyond may come back */
    ROW (zelm_scale_step_exponent (0, 1), 0),
    ROW (zelm_scale_step_exponent (HUGE_VAL, -1), HUGE_VAL),
    ROW (zelm_scale_step_exponent (NAN, 1), NAN),
    ROW (zelm_scale_sign_value (-3, T, -10, 10), 3),
    ROW (zelm_scale_sign_value (3, T, -10, 10), 3),
    ROW (zelm_scale_sign_value (3, F, -10, 10), -3),
    ROW (zelm_scale_sign_value (-3, T, -10, 2), -3), /* +3 would leave the range */
    ROW (key (GDK_KEY_Right, 1.23), 1.24),
    ROW (key (GDK_KEY_KP_Left, 1.23), 1.22),
    ROW (key (GDK_KEY_Right, 1.234), 1.24), /* onto the grid */
    ROW (key (GDK_KEY_Left, 1.0), 0.999),
    ROW (key (GDK_KEY_Up, 440), 450),
    ROW (key (GDK_KEY_KP_Down, 440), 430),
    ROW (key (GDK_KEY_Down, 10), 9.9),
    ROW (key (GDK_KEY_Left, -2), -2.01),
    ROW (key (GDK_KEY_Right, 0), 0.01),
    ROW (key (GDK_KEY_Down, 0), -0.1),
    ROW (key (GDK_KEY_Page_Up, 2.5), 25),
    ROW (key (GDK_KEY_minus, 2.5), -2.5),
    ROW (key (GDK_KEY_equal, -2.5), 2.5),
    ROW (key (GDK_KEY_Up, 9.95e29), BIG),        /* clamped */
    ROW (key (GDK_KEY_minus, -2.5), NAN),        /* a sign that changes nothing */
    ROW (key (GDK_KEY_Right, HUGE_VAL), NAN),    /* no digit to step */
  };
  for (const auto &r : rows)
    EXPECT_TRUE (same (r.got, r.want)) << r.call << " gave " << r.got << ", not " << r.want;
  double v = 0;
  gboolean edit = FALSE;
  EXPECT_FALSE (zelm_scale_key_value (GDK_KEY_a, 1, -BIG, BIG, &v, &edit));
}

/* ---- the widget ---------------------------------------------------------- */

constexpr int WIDTH = 400, HEIGHT = 100;
constexpr Rgb COEFF { 0x60, 0x80, 0xff }, OFF { 0x40, 0x40, 0x40 };

/* A drag on the coefficient bar reaches the arithmetic above with the
 * widget's geometry and reports the edit; Escape ends it where it began;
 * the bar is drawn as long as the value asks.  (Real Page Up/Down keys
 * reach the key rules in the property editor's and the node controls'
 * tests.) */
TEST (Scale, DragReachesTheArithmetic)
{
  GtkWidget *widget = zelm_scale_new (-BIG, BIG, 9);
  ZelmScale *scale = ZELM_SCALE (widget);
  std::vector<double> reported; /* "value-changed" arguments */
  g_object_set (widget, "bg-color", 0x000000ffu, nullptr);
  g_signal_connect (widget, "value-changed",
                    G_CALLBACK (+[] (GtkWidget *, double v, std::vector<double> *list) {
                      list->push_back (v);
                    }),
                    &reported);
  GtkWidget *win = show_in_window (widget, WIDTH, HEIGHT);

  const ZelmScaleLayout l = scale_layout (widget, WIDTH, HEIGHT);
  const double track = l.track_w;
  const int track0 = int (l.track_x), centre = int (l.centre);
  const int coeff_mid = int (l.coeff_y + l.k / 2);
  auto value = [&] { return zelm_scale_get_value (scale); };

  zelm_scale_set_value (scale, 5e3);
  reported.clear ();
  pointer_move (widget, centre, coeff_mid);
  button_press ();
  pointer_move (widget, track0 + int (track / 4), coeff_mid);
  /* The press sets the bar where it lands; the move then takes it on. */
  const double quarter = zelm_scale_coeff_value (5e3, int (track / 4), track, FALSE);
  EXPECT_TRUE (wait_for ([&] { return value () == quarter; }));
  g_autoptr (GdkPixbuf) pb = grab_drawn (widget);
  EXPECT_EQ (pixel (pb, int (track0 + track / 4) - 3, int (l.coeff_y) + 1), COEFF);
  EXPECT_EQ (pixel (pb, int (track0 + track / 4) + 3, int (l.coeff_y) + 1), OFF);
  key_tap (GDK_KEY_Escape);
  EXPECT_TRUE (wait_for ([&] { return value () == 5e3 && reported.back () == 5e3; }));
  pointer_move (widget, centre - 50, coeff_mid); /* the drag is over */
  button_release ();
  EXPECT_EQ (value (), 5e3);
  gtk_widget_destroy (win);
}

} // namespace
