/* test-scale.cpp: the scale slider's value arithmetic, its drawing, and the
 * pointer and key events that reach them */
#include "vorn-test-log.h"
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

TEST (ScaleArithmetic, FineSliderNudgesWithinTheDecade)
{
  /* A full track width at sensitivity 1 moves by the span of the decade:
   * 9 × 10^E.  Rounding keeps four significant digits. */
  static const struct {
    double start, dx, sens;
    bool round;
    double expect;
  } cases[] = {
    { 1.0, 100, 1.0, false, 1 + 9 * 100 / 360.0 },
    { 2e3, -60, 0.5, false, 2e3 - 9e3 * 60 * 0.5 / 360 },
    { -3e-4, 37, 1.0, false, -3e-4 + 9e-4 * 37 / 360 },
    { 0.0, 50, 1.0, false, 9 * 50 / 360.0 }, /* zero moves as the units decade */
    { 1.0, 51, 0.37, true, 1.472 },          /* 1.47175 */
    { -5e6, -33, 0.37, true, -5.305e6 },     /* -5.30525e6 */
    { 1.0, 0, 1.0, true, 1.0 },
  };
  for (const auto &tc : cases)
    EXPECT_VALUE (zelm_scale_fine_value (tc.start, tc.dx, 360, tc.sens, tc.round), tc.expect)
      << tc.start << " by " << tc.dx;
}

TEST (ScaleArithmetic, CoefficientBarSetsLeadingDigitsAndWrapsDecades)
{
  /* Pixels from the track's start on a 400-pixel track. */
  static const struct {
    double start, px;
    bool round;
    double expect;
  } cases[] = {
    { 5e3, 100, false, 2.5e3 },     /* sets the leading digits */
    { 5e3, 600, false, 5e4 },       /* past the right end: wraps, a decade up */
    { 5e3, 900, false, 2.5e5 },
    { 5e3, -200, false, 5e2 },      /* left of the track: a decade down */
    { 5e3, 2, false, 1e3 },         /* a coefficient below 1 becomes 1 */
    { 5e3, 100.7, false, 2.5e3 },   /* whole pixels */
    { -5e3, 300, false, -2.5e3 },   /* negative: the bar ends at the right */
    { -5e3, 600, false, -5e2 },     /* past the right end: smaller magnitude */
    { -5e3, -120, false, -3e4 },    /* past the left end: larger */
    { -5e3, 399, false, -1e3 },     /* -0.025: becomes -1 */
    { 0.0, 120, false, 3 },
  };
  for (const auto &tc : cases)
    EXPECT_VALUE (zelm_scale_coeff_value (tc.start, tc.px, 400, tc.round), tc.expect)
      << tc.start << " at " << tc.px;
  /* Rounding keeps four significant digits of 2777.77... */
  EXPECT_VALUE (zelm_scale_coeff_value (5e3, 100, 360, TRUE), 2778.0);
  EXPECT_VALUE (zelm_scale_coeff_value (5e3, 100, 360, FALSE), 1e4 / 3.6);
  EXPECT_EQ (zelm_scale_coeff_value (7.0, 50, 0, FALSE), 7.0) << "no track";
}

TEST (ScaleArithmetic, ExponentsAndSigns)
{
  static const struct {
    double value;
    int exp;
    bool press;
    double expect;
  } boxes[] = {
    { 2.5, 3, false, 2.5e3 },  { 2.5, -2, false, 2.5e-2 }, { -4e-1, 1, false, -40 },
    { 2.5e3, 0, true, 2.5 },   /* the circle keeps the coefficient */
    { 2.5, 0, true, 0 },       /* ... or clears it at exponent 0 */
    { 2.5, 0, false, 2.5 },    /* but only on the press */
    { 0, 4, true, 0 },         /* zero has no coefficient to move */
    { 2.5, 99, false, 2.5e18 }, { 2.5, -99, false, 2.5e-18 },
  };
  for (const auto &tc : boxes)
    EXPECT_DOUBLE_EQ (zelm_scale_exp_value (tc.value, tc.exp, tc.press), tc.expect)
      << tc.value << " box " << tc.exp;

  static const struct {
    double value;
    int dir;
    double expect;
  } steps[] = {
    { 2.5, 1, 25 },       { -2.5e-3, -1, -2.5e-4 }, { 5e18, 1, 5e18 }, /* 18 is the last */
    { 5e-18, -1, 5e-18 }, { 5e19, -1, 5e18 },       /* beyond may come back */
    { 0, 1, 0 },          { HUGE_VAL, -1, HUGE_VAL },
  };
  for (const auto &tc : steps)
    EXPECT_DOUBLE_EQ (zelm_scale_step_exponent (tc.value, tc.dir), tc.expect) << tc.value;
  EXPECT_TRUE (std::isnan (zelm_scale_step_exponent (NAN, 1)));

  static const struct {
    double value;
    bool positive;
    double min, max, expect;
  } signs[] = {
    { -3, true, -10, 10, 3 }, { 3, true, -10, 10, 3 },  { 3, false, -10, 10, -3 },
    { -3, true, -10, 2, -3 }, /* +3 would leave the range */
    { 0, false, -10, 10, 0 },
  };
  for (const auto &tc : signs)
    EXPECT_EQ (zelm_scale_sign_value (tc.value, tc.positive, tc.min, tc.max), tc.expect)
      << tc.value << (tc.positive ? " +" : " -");
}

/* ---- the widget ---------------------------------------------------------- */

constexpr int WIDTH = 400, HEIGHT = 100;
constexpr Rgb BG { 0, 0, 0 }, SLIDE1 { 0x00, 0x40, 0x80 }, SLIDE2 { 0x00, 0x60, 0xc0 };
constexpr Rgb COEFF { 0x60, 0x80, 0xff }, EXP1 { 0x00, 0xc0, 0x00 }, EXP2 { 0xc0, 0xc0, 0x00 };
constexpr Rgb ACTIVE { 0x00, 0xc0, 0x00 }, OFF { 0x40, 0x40, 0x40 }, HIGHLIGHT { 0x60, 0x60, 0x60 };

/* The printed value as the widget lays it out: "Monospace", 12 pixels. */
PangoLayout *
value_text (GtkWidget *widget, const char *text)
{
  PangoLayout *layout = gtk_widget_create_pango_layout (widget, text);
  PangoFontDescription *font = pango_font_description_from_string ("Monospace 12px");
  pango_layout_set_font_description (layout, font);
  pango_font_description_free (font);
  return layout;
}

class Scale : public ::testing::Test {
protected:
  GtkWidget *widget = zelm_scale_new (-BIG, BIG, 9);
  ZelmScale *scale = ZELM_SCALE (widget);
  GtkWidget *win = nullptr;
  std::vector<double> reported; /* "value-changed" arguments */
  ZelmScaleLayout l {};         /* the rows, for the default margin and portion */
  int track0 = 0, track1 = 0, centre = 0;

  void SetUp () override
  {
    g_object_set (widget, "bg-color", 0x000000ffu, nullptr);
    g_signal_connect (widget, "value-changed",
                      G_CALLBACK (+[] (GtkWidget *, double v, std::vector<double> *list) {
                        list->push_back (v);
                      }),
                      &reported);
    win = show_in_window (widget, WIDTH, HEIGHT);
    g_autoptr (PangoLayout) text = value_text (widget, "0");
    int th = 0;
    pango_layout_get_pixel_size (text, nullptr, &th);
    zelm_scale_layout (&l, WIDTH, HEIGHT, 4, 0.5, th);
    track0 = int (l.track_x), track1 = int (l.track_x + l.track_w), centre = int (l.centre);
  }
  void TearDown () override { gtk_widget_destroy (win); }

  double track () const { return l.track_w; }
  /* Middle of a row: 0 slider, 1 coefficient, 2 exponent. */
  int ymid (int row) const
  {
    const double top[] = { l.slider_y, l.coeff_y, l.exp_y }, h[] = { l.s, l.k, l.x };
    return int (top[row] + h[row] / 2);
  }
  /* Middle of exponent box @pos (negative left of the circle). */
  int box_mid (int pos) const { return int (zelm_scale_exp_box_left (&l, pos) + l.box_w / 2); }
  /* Centre of the buttons left or right of the rows. */
  int button_x (bool right) const { return right ? WIDTH - track0 / 2 : track0 / 2; }

  void set (double v) { zelm_scale_set_value (scale, v), reported.clear (); }
  double value () const { return zelm_scale_get_value (scale); }
  /* Waits until the user's edits have been reported @n times. */
  void reports (size_t n) { EXPECT_TRUE (wait_for ([&] { return reported.size () >= n; })); }
};

TEST_F (Scale, DrawsCoefficientBarAndExponentBoxes)
{
  static const struct {
    double value, bar; /* the bar's share of the track */
    int side;          /* the filled boxes: +1 right of the circle, -1 left */
    Rgb boxes[5], circle, plus, minus;
  } cases[] = {
    { 0, 0, 1, { OFF, OFF, OFF, OFF, OFF }, ACTIVE, OFF, OFF },
    { 2.5e4, 0.25, 1, { EXP2, EXP2, EXP2, EXP1, OFF }, OFF, ACTIVE, OFF },
    { -7.5e-2, 0.75, -1, { EXP1, EXP1, OFF, OFF, OFF }, OFF, OFF, ACTIVE },
    { 6e-6, 0.6, -1, { EXP2, EXP2, EXP2, EXP2, EXP2 }, OFF, ACTIVE, OFF },
  };
  for (const auto &tc : cases)
    {
      SCOPED_TRACE (testing::Message () << "value " << tc.value);
      set (tc.value);
      g_autoptr (GdkPixbuf) pb = grab_drawn (widget);
      const int y = int (l.coeff_y) + 1;      /* above the text */
      const int from = tc.value < 0 ? -1 : 1; /* the bar's end */
      const double edge = from > 0 ? track0 + tc.bar * track () : track1 - tc.bar * track ();
      EXPECT_EQ (pixel (pb, int (edge) - 3 * from, y), tc.bar > 0 ? COEFF : BG);
      EXPECT_EQ (pixel (pb, int (edge) + 3 * from, y), OFF);

      for (int i = 0; i < 5; i++)
        EXPECT_EQ (pixel (pb, box_mid (tc.side * (i + 1)), ymid (2)), tc.boxes[i])
          << "position " << i + 1;
      /* A group of three is one box: its gaps are filled too. */
      const double gap = tc.side > 0 ? zelm_scale_exp_box_left (&l, 1) + l.box_w + l.box_gap / 2
                                     : zelm_scale_exp_box_left (&l, -1) - l.box_gap / 2;
      EXPECT_EQ (pixel (pb, int (gap), ymid (2)), tc.boxes[2] == EXP2 ? EXP2 : BG);
      EXPECT_EQ (pixel (pb, centre, ymid (2)), tc.circle);
      EXPECT_EQ (pixel (pb, button_x (false), ymid (1)), tc.plus);
      EXPECT_EQ (pixel (pb, button_x (true), ymid (1)), tc.minus);
    }
}

/* The printed value, with the digits asked for, rounded and centred: its
 * ink spans what the same text has in the same font. */
TEST_F (Scale, PrintsTheValueWithItsDigits)
{
  g_object_set (widget, "coeff-color", 0x000000ffu, "inactive-color", 0x000000ffu, nullptr);
  g_object_set (widget, "digits", 3, nullptr);
  set (-0.2496);
  g_autoptr (GdkPixbuf) pb = grab_drawn (widget);
  int x0 = WIDTH, x1 = 0;
  for (int y = int (l.coeff_y); y < int (l.coeff_y + l.k); y++)
    for (int x = track0; x < track1; x++)
      if (!(pixel (pb, x, y) == BG))
        x0 = std::min (x0, x), x1 = std::max (x1, x + 1);
  g_autoptr (PangoLayout) text = value_text (widget, "-0.250");
  PangoRectangle ink, logical;
  pango_layout_get_pixel_extents (text, &ink, &logical);
  const int left = int (std::round ((WIDTH - logical.width) / 2.0)) + ink.x;
  EXPECT_NEAR (x0, left, 1);
  EXPECT_NEAR (x1, left + ink.width, 1);
}

/* One path per row and per kind of pointer input, with Control and Escape
 * during a drag: each reaches the arithmetic above with the widget's
 * geometry, reports the edit and is clamped to the range.  (Real Page
 * Up/Down keys reach the key table below in the property editor's and the
 * node controls' tests.) */
TEST_F (Scale, PointerAndKeysReachTheArithmetic)
{
  auto drag = [&] (int row, int x0, int x1) {
    pointer_move (widget, x0, ymid (row));
    button_press ();
    pointer_move (widget, x1, ymid (row));
  };
  g_object_set (widget, "sens", 0.5, nullptr);

  /* Fine slider: the stripes follow the pointer while dragging; Control
   * rounds as soon as it goes down and lets go when it comes up. */
  set (1.0);
  drag (0, centre, centre + 41);
  reports (1);
  const double free = zelm_scale_fine_value (1.0, 41, track (), 0.5, FALSE);
  EXPECT_VALUE (value (), free);
  g_autoptr (GdkPixbuf) dragging = grab_drawn (widget);
  EXPECT_EQ (pixel (dragging, centre + 41 + 5, ymid (0)), SLIDE1);
  EXPECT_EQ (pixel (dragging, centre + 41 - 5, ymid (0)), SLIDE2);
  key_press (GDK_KEY_Control_L);
  EXPECT_TRUE (wait_for ([&] { return value () == std::round (free * 1000) / 1000; }));
  key_release (GDK_KEY_Control_L);
  EXPECT_TRUE (wait_for ([&] { return value () == free; }));
  button_release ();
  EXPECT_EQ (reported.back (), value ());
  g_autoptr (GdkPixbuf) released = grab_drawn (widget);
  EXPECT_EQ (pixel (released, centre + 5, ymid (0)), SLIDE1) << "stripes back on release";

  /* Coefficient bar, and Escape back to the value the drag started from. */
  set (5e3);
  drag (1, centre, track0 + int (track () / 4));
  reports (1);
  EXPECT_VALUE (value (), zelm_scale_coeff_value (5e3, int (track () / 4), track (), FALSE));
  key_tap (GDK_KEY_Escape);
  EXPECT_TRUE (wait_for ([&] { return value () == 5e3 && reported.back () == 5e3; }));
  pointer_move (widget, centre - 50, ymid (1)); /* the drag is over */
  button_release ();
  EXPECT_EQ (value (), 5e3);

  /* Exponent strip: the press applies at once; clamped to the range. */
  g_object_set (widget, "max-val", 1e3, nullptr);
  set (2.5);
  drag (2, box_mid (2), box_mid (2));
  reports (1);
  EXPECT_DOUBLE_EQ (value (), 250);
  pointer_move (widget, box_mid (6), ymid (2));
  button_release ();
  EXPECT_DOUBLE_EQ (value (), 1e3);
  g_object_set (widget, "max-val", BIG, nullptr);

  /* The buttons, lit under the pointer. */
  set (2.5);
  click (widget, button_x (true), ymid (1));
  reports (1);
  EXPECT_EQ (value (), -2.5);
  click (widget, button_x (false) + 4, ymid (2));
  reports (2);
  EXPECT_EQ (value (), -0.25);
  g_autoptr (GdkPixbuf) lit = grab_drawn (widget);
  EXPECT_EQ (pixel (lit, button_x (false) + 4, ymid (2)), HIGHLIGHT);
  EXPECT_TRUE (motion_to (widget, centre, int (l.coeff_y + l.k) + 1)); /* between the rows */
  g_autoptr (GdkPixbuf) unlit = grab_drawn (widget);
  EXPECT_EQ (pixel (unlit, button_x (false) + 4, ymid (2)), OFF);
}

/* The keys' edits: arrows step a digit (Left/Right two places below the
 * decade the value moves into, Up/Down one), Page Up/Down step the decade,
 * plus and minus set the sign.  A sign that changes nothing, or a digit
 * step of an infinite value, reports nothing. */
TEST (ScaleArithmetic, Keys)
{
  static const struct {
    guint key;
    double start, expect;
    bool edit;
  } keys[] = {
    { GDK_KEY_Right, 1.23, 1.24, true },      { GDK_KEY_KP_Left, 1.23, 1.22, true },
    { GDK_KEY_Right, 1.234, 1.24, true },     /* onto the grid */
    { GDK_KEY_Left, 1.0, 0.999, true },       { GDK_KEY_Right, 0.999, 1.0, true },
    { GDK_KEY_Up, 440, 450, true },           { GDK_KEY_KP_Down, 440, 430, true },
    { GDK_KEY_Up, 9.9, 10, true },            { GDK_KEY_Down, 10, 9.9, true },
    { GDK_KEY_Right, -2, -1.99, true },       { GDK_KEY_Left, -2, -2.01, true },
    { GDK_KEY_Right, 0, 0.01, true },         { GDK_KEY_Down, 0, -0.1, true },
    { GDK_KEY_Page_Up, 2.5, 25, true },       { GDK_KEY_KP_Page_Down, 2.5, 0.25, true },
    { GDK_KEY_minus, 2.5, -2.5, true },       { GDK_KEY_KP_Add, -2.5, 2.5, true },
    { GDK_KEY_equal, -2.5, 2.5, true },       { GDK_KEY_Up, 9.95e29, BIG, true }, /* clamped */
    { GDK_KEY_minus, -2.5, -2.5, false },     { GDK_KEY_Right, HUGE_VAL, HUGE_VAL, false },
  };
  double v = 0;
  gboolean edit = FALSE;
  for (const auto &tc : keys)
    {
      ASSERT_TRUE (zelm_scale_key_value (tc.key, tc.start, -BIG, BIG, &v, &edit));
      EXPECT_DOUBLE_EQ (v, tc.expect) << tc.start << " key " << gdk_keyval_name (tc.key);
      EXPECT_EQ (bool (edit), tc.edit) << tc.start << " key " << gdk_keyval_name (tc.key);
    }
  EXPECT_FALSE (zelm_scale_key_value (GDK_KEY_a, 1, -BIG, BIG, &v, &edit));
}

} // namespace
