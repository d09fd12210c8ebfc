/* test-scale.cpp: the scale slider, edited with real pointer and key events
 * and read back from the X server's pixels */
#include "vorn-test-log.h"
#include "zelm-gui-test.h"
#include "zelm-scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace zelm_test;

namespace {

constexpr int WIDTH = 400, HEIGHT = 100;
constexpr Rgb BG { 0, 0, 0 }, SLIDE1 { 0x00, 0x40, 0x80 }, SLIDE2 { 0x00, 0x60, 0xc0 };
constexpr Rgb COEFF { 0x60, 0x80, 0xff }, EXP1 { 0x00, 0xc0, 0x00 }, EXP2 { 0xc0, 0xc0, 0x00 };
constexpr Rgb ACTIVE { 0x00, 0xc0, 0x00 }, OFF { 0x40, 0x40, 0x40 }, HIGHLIGHT { 0x60, 0x60, 0x60 };

struct Span {
  int from, to; /* pixels [from, to) */
  int mid () const { return (from + to) / 2; }
};

/* Runs of pixels differing from the background along a row or column. */
std::vector<Span>
runs (GdkPixbuf *pb, int fixed, int from, int to, bool along_x)
{
  std::vector<Span> out;
  for (int i = from; i < to; i++)
    if (!(pixel (pb, along_x ? i : fixed, along_x ? fixed : i) == BG))
      {
        if (out.empty () || out.back ().to != i)
          out.push_back ({ i, i });
        out.back ().to = i + 1;
      }
  return out;
}

class Scale : public ::testing::Test {
protected:
  GtkWidget *widget = zelm_scale_new (-1e30, 1e30, 9);
  ZelmScale *scale = ZELM_SCALE (widget);
  GtkWidget *win = nullptr;
  std::vector<double> reported; /* "value-changed" arguments */

  /* Geometry found in the drawn pixels: the track, the three rows, and the
   * exponent boxes on each side (index 0 next to the circle). */
  int track0 = 0, track1 = 0, centre = 0;
  Span rows[3] {};
  std::vector<Span> right_boxes, left_boxes;

  void SetUp () override
  {
    g_object_set (widget, "bg-color", 0x000000ffu, nullptr);
    g_signal_connect (widget, "value-changed",
                      G_CALLBACK (+[] (GtkWidget *, double v, std::vector<double> *list) {
                        list->push_back (v);
                      }),
                      &reported);
    win = show_in_window (widget, WIDTH, HEIGHT);
    /* Away from the screen's edges, so drags can go past both ends. */
    gtk_window_move (GTK_WINDOW (win), 600, 200);
    wait_for ([this] {
      int x, y;
      gdk_window_get_origin (gtk_widget_get_window (win), &x, &y);
      return x == 600;
    });
    wait_drawn (widget);

    g_autoptr (GdkPixbuf) pb = grab (widget);
    for (int x = 0; x < WIDTH; x++)
      if (pixel (pb, x, 5) == SLIDE1 || pixel (pb, x, 5) == SLIDE2)
        track0 = track0 ? track0 : x, track1 = x + 1;
    centre = (track0 + track1) / 2;
    auto column = runs (pb, track0 + 1, 0, HEIGHT, false);
    ASSERT_EQ (column.size (), 3u);
    std::copy (column.begin (), column.end (), rows);
    for (const Span &r : runs (pb, ymid (2), track0, track1, true))
      if (r.from > centre + 3)
        right_boxes.push_back (r);
      else if (r.to < centre - 3)
        left_boxes.insert (left_boxes.begin (), r);
    ASSERT_EQ (right_boxes.size (), 18u);
    ASSERT_EQ (left_boxes.size (), 18u);
  }
  void TearDown () override { gtk_widget_destroy (win); }

  double track () const { return track1 - track0; }
  int ymid (int row) const { return rows[row].mid (); }
  /* Centre of the buttons left or right of the rows. */
  int button_x (bool right) const { return right ? WIDTH - track0 / 2 : track0 / 2; }
  /* Exponent box @i: 0 the circle, positive right, negative left; beyond
   * 18, past the widget's edge. */
  int box_x (int i) const
  {
    if (std::abs (i) > 18)
      return i > 0 ? WIDTH + 20 : -20;
    return i == 0 ? centre : i > 0 ? right_boxes[i - 1].mid () : left_boxes[-i - 1].mid ();
  }

  /* The harness's input, with time for each event to be handled. */
  void move (int x, int y) { pointer_move (widget, x, y), pump (30); }
  void press () { button_press (), pump (30); }
  void release () { button_release (), pump (30); }
  void tap (guint key) { key_tap (key), pump (30); }
  void click_at (int x, int y) { move (x, y), press (), release (); }

  void set (double v) { zelm_scale_set_value (scale, v), reported.clear (); }
  double value () const { return zelm_scale_get_value (scale); }
  GdkPixbuf *shown () { return pump (40), grab (widget); }
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
    { 3.0, 0.3, 1, { OFF, OFF, OFF, OFF, OFF }, ACTIVE, ACTIVE, OFF },
    { 6e-6, 0.6, -1, { EXP2, EXP2, EXP2, EXP2, EXP2 }, OFF, ACTIVE, OFF },
  };
  for (const auto &tc : cases)
    {
      SCOPED_TRACE (testing::Message () << "value " << tc.value);
      set (tc.value);
      g_autoptr (GdkPixbuf) pb = shown ();
      const int y = rows[1].from + 1; /* above the text */
      const int from = tc.value < 0 ? -1 : 1; /* the bar's end */
      const double edge = from > 0 ? track0 + tc.bar * track () : track1 - tc.bar * track ();
      EXPECT_EQ (pixel (pb, int (edge) - 3 * from, y), tc.bar > 0 ? COEFF : BG);
      EXPECT_EQ (pixel (pb, int (edge) + 3 * from, y), OFF);

      const auto &boxes = tc.side > 0 ? right_boxes : left_boxes;
      for (int i = 0; i < 5; i++)
        EXPECT_EQ (pixel (pb, boxes[i].mid (), ymid (2)), tc.boxes[i]) << "position " << i + 1;
      /* A group of three is one box: its gaps are filled too. */
      const Span gap = tc.side > 0 ? Span { boxes[0].to, boxes[1].from }
                                   : Span { boxes[1].to, boxes[0].from };
      EXPECT_EQ (pixel (pb, gap.mid (), ymid (2)), tc.boxes[2] == EXP2 ? EXP2 : BG);
      EXPECT_EQ (pixel (pb, centre, ymid (2)), tc.circle);
      EXPECT_EQ (pixel (pb, button_x (false), ymid (1)), tc.plus);
      EXPECT_EQ (pixel (pb, button_x (true), ymid (1)), tc.minus);
    }
}

TEST_F (Scale, ButtonsHighlightUnderThePointer)
{
  set (0);
  for (int button = 0; button < 6; button++)
    {
      /* The triangles' tips are at the widget's edges; look near the base. */
      const int row = button / 2, x = button % 2 ? button_x (true) - 4 : button_x (false) + 4;
      move (x, ymid (row));
      g_autoptr (GdkPixbuf) lit = shown ();
      move (centre, rows[1].to + 1); /* between the rows: no button */
      g_autoptr (GdkPixbuf) unlit = shown ();
      EXPECT_EQ (pixel (lit, x, ymid (row)), HIGHLIGHT) << "button " << button;
      EXPECT_EQ (pixel (unlit, x, ymid (row)), OFF) << "button " << button;
    }
}

TEST_F (Scale, FineSliderNudgesWithinTheDecade)
{
  static const struct {
    double start, sens;
    int dx;
    bool control;
  } cases[] = {
    { 1.0, 1.0, 100, false }, { 2e3, 0.5, -60, false }, { -3e-4, 1.0, 37, false },
    { 0.0, 1.0, 50, false },  { 1.0, 0.3, 77, true },   { -5e6, 0.7, -33, true },
  };
  for (const auto &tc : cases)
    {
      SCOPED_TRACE (testing::Message () << tc.start << " by " << tc.dx);
      set (tc.start);
      g_object_set (widget, "sens", tc.sens, nullptr);
      /* A full track width at sensitivity 1 moves by the span of the decade. */
      const double e = tc.start ? std::floor (std::log10 (std::fabs (tc.start))) : 0;
      double expect = tc.start + 9 * std::pow (10.0, e) * tc.dx * tc.sens / track ();
      if (tc.control)
        {
          const double q = std::pow (10.0, std::floor (std::log10 (std::fabs (expect))) - 3);
          expect = std::round (expect / q) * q;
          key_press (GDK_KEY_Control_L);
        }
      move (centre, ymid (0));
      press ();
      move (centre + tc.dx, ymid (0));
      /* The stripes follow the pointer: colour 1 starts at the boundary. */
      g_autoptr (GdkPixbuf) dragging = shown ();
      EXPECT_EQ (pixel (dragging, centre + tc.dx + 5, ymid (0)), SLIDE1);
      EXPECT_EQ (pixel (dragging, centre + tc.dx - 5, ymid (0)), SLIDE2);
      release ();
      if (tc.control)
        key_release (GDK_KEY_Control_L);
      EXPECT_NEAR (value (), expect, std::fabs (expect) * 1e-12);
      ASSERT_FALSE (reported.empty ());
      EXPECT_EQ (reported.back (), value ());
      g_autoptr (GdkPixbuf) released = shown ();
      EXPECT_EQ (pixel (released, centre + 5, ymid (0)), SLIDE1) << "stripes back on release";
    }

  /* Control rounds as soon as it goes down and lets go when it comes up. */
  set (1.0);
  move (centre, ymid (0));
  press ();
  move (centre + 41, ymid (0));
  const double free = value ();
  key_press (GDK_KEY_Control_L);
  EXPECT_DOUBLE_EQ (value (), std::round (free * 1000) / 1000);
  key_release (GDK_KEY_Control_L);
  EXPECT_EQ (value (), free);
  release ();
}

TEST_F (Scale, CoefficientBarSetsLeadingDigitsAndWrapsDecades)
{
  /* Where the pointer goes, in track widths from the track start, and the
   * coefficient (roughly: it comes from whole pixels) and exponent it gives. */
  static const struct {
    double start, at, coeff;
    int exp;
    bool control;
  } cases[] = {
    { 5e3, 0.25, 2.5, 3, false },    /* sets the leading digits */
    { 5e3, 1.5, 5, 4, false },       /* past the right end: wraps, a decade up */
    { 5e3, 2.25, 2.5, 5, false },
    { 5e3, -0.5, 5, 2, false },      /* left of the track: a decade down */
    { 5e3, 0.005, 1, 3, false },     /* a coefficient below 1 becomes 1 */
    { -5e3, 0.75, -2.5, 3, false },  /* negative: the bar ends at the right */
    { -5e3, 1.5, -5, 2, false },     /* past the right end: smaller magnitude */
    { -5e3, -0.3, -3, 4, false },    /* past the left end: larger */
    { 0.0, 0.3, 3, 0, false },
    { 5e3, 0.4321, 4.321, 3, true }, /* Control: four significant digits */
  };
  const double t = track ();
  for (const auto &tc : cases)
    {
      SCOPED_TRACE (testing::Message () << tc.start << " at " << tc.at);
      set (tc.start);
      const int p = int (std::lround (tc.at * t));
      const double wrapped = p - std::floor (p / t) * t;
      double c = 10 * (tc.start < 0 ? wrapped - t : wrapped) / t;
      if (std::fabs (c) < 1)
        c = c < 0 ? -1 : 1;
      ASSERT_NEAR (c, tc.coeff, 0.05);
      double expect = c * std::pow (10.0, tc.exp);
      if (tc.control)
        expect = std::round (expect), key_press (GDK_KEY_Control_L);
      move (centre, ymid (1));
      press ();
      move (track0 + p, ymid (1));
      release ();
      if (tc.control)
        key_release (GDK_KEY_Control_L);
      EXPECT_NEAR (value (), expect, std::fabs (expect) * 1e-12);
      ASSERT_FALSE (reported.empty ());
      EXPECT_EQ (reported.back (), value ());
    }
}

TEST_F (Scale, ExponentStripSetsThePowerOfTen)
{
  static const struct {
    double start, max;
    int press, drag_to; /* boxes, see box_x () */
    double expect;
  } cases[] = {
    { 2.5, 1e30, 3, 3, 2.5e3 },   { 2.5, 1e30, -2, -2, 2.5e-2 }, { -4e-1, 1e30, 1, 1, -40 },
    { 2.5e3, 1e30, 0, 0, 2.5 },   /* the circle keeps the coefficient */
    { 2.5, 1e30, 0, 0, 0 },       /* ... or clears it at exponent 0 */
    { 0, 1e30, 4, 4, 0 },         /* zero has no coefficient to move */
    { 2.5, 1e30, 1, 5, 2.5e5 },   /* a drag follows the pointer */
    { 2.5, 1e30, 1, 99, 2.5e18 }, /* past the track: the last box */
    { 2.5, 1e30, -1, -99, 2.5e-18 },
    { 2.5, 1e3, 6, 6, 1e3 },      /* clamped to the range */
  };
  for (const auto &tc : cases)
    {
      SCOPED_TRACE (testing::Message () << tc.start << " box " << tc.press << "->" << tc.drag_to);
      g_object_set (widget, "max-val", tc.max, nullptr);
      set (tc.start);
      move (box_x (tc.press), ymid (2));
      press ();
      EXPECT_EQ (reported.size (), 1u) << "the press applies at once";
      move (box_x (tc.drag_to), ymid (2));
      release ();
      EXPECT_DOUBLE_EQ (value (), tc.expect);
    }
}

TEST_F (Scale, SignAndExponentButtons)
{
  static const struct {
    double start, min, max;
    int row;
    bool right;
    double expect;
    bool reports;
  } cases[] = {
    { -3, -10, 10, 1, false, 3, true },  /* plus */
    { 3, -10, 10, 1, false, 3, false },  /* already positive */
    { 3, -10, 10, 1, true, -3, true },   /* minus */
    { -3, -10, 2, 1, false, -3, false }, /* +3 would leave the range */
    { 0, -10, 10, 1, true, 0, false },
    { 2.5, -1e30, 1e30, 2, true, 25, true },
    { -2.5e-3, -1e30, 1e30, 2, false, -2.5e-4, true },
    { 5e18, -1e30, 1e30, 2, true, 5e18, true }, /* 18 is the last exponent */
    { 5e-18, -1e30, 1e30, 2, false, 5e-18, true },
    { 0, -1e30, 1e30, 2, true, 0, true },
    { 50, 0, 100, 2, true, 100, true },         /* clamped */
    { 2.5, -1e30, 1e30, 0, false, 2.5, false }, /* the slider's arrows */
    { 2.5, -1e30, 1e30, 0, true, 2.5, false },
  };
  for (const auto &tc : cases)
    {
      SCOPED_TRACE (testing::Message () << tc.start << " row " << tc.row << " right " << tc.right);
      g_object_set (widget, "min-val", tc.min, "max-val", tc.max, nullptr);
      set (tc.start);
      click_at (button_x (tc.right), ymid (tc.row));
      EXPECT_DOUBLE_EQ (value (), tc.expect);
      EXPECT_EQ (reported.size (), tc.reports ? 1u : 0u);
    }
}

TEST_F (Scale, EscapeRestoresTheStartingValue)
{
  const double start = 1.23456789;
  for (int row = 0; row < 3; row++)
    {
      set (start);
      move (centre + 30, ymid (row));
      press ();
      move (centre + 90, ymid (row));
      EXPECT_NE (value (), start) << "row " << row;
      tap (GDK_KEY_Escape);
      EXPECT_EQ (value (), start) << "row " << row;
      ASSERT_FALSE (reported.empty ());
      EXPECT_EQ (reported.back (), start);
      move (centre - 50, ymid (row)); /* the drag is over */
      release ();
      EXPECT_EQ (value (), start) << "row " << row;
    }
}

TEST_F (Scale, KeyboardSteps)
{
  click_at (1, 1); /* outside every row: takes the focus only */
  EXPECT_TRUE (gtk_widget_has_focus (widget));
  static const struct {
    double start;
    guint key;
    double expect;
  } cases[] = {
    { 1.23, GDK_KEY_Right, 1.24 },  { 1.23, GDK_KEY_Left, 1.22 },
    { 1.234, GDK_KEY_Right, 1.24 }, /* onto the grid of the step */
    { 1.0, GDK_KEY_Left, 0.999 },   { 0.999, GDK_KEY_Right, 1.0 },
    { 440, GDK_KEY_Up, 450 },       { 440, GDK_KEY_Down, 430 },
    { 9.9, GDK_KEY_Up, 10 },        { 10, GDK_KEY_Down, 9.9 },
    { -2, GDK_KEY_Right, -1.99 },   { -2, GDK_KEY_Left, -2.01 },
    { 0, GDK_KEY_Right, 0.01 },     { 0, GDK_KEY_Down, -0.1 },
    { 2.5, GDK_KEY_Page_Up, 25 },   { 2.5, GDK_KEY_Page_Down, 0.25 },
    { 2.5, GDK_KEY_minus, -2.5 },   { -2.5, GDK_KEY_KP_Add, 2.5 },
    { -2.5, GDK_KEY_equal, 2.5 },   { 9.95e29, GDK_KEY_Up, 1e30 }, /* clamped */
  };
  for (const auto &tc : cases)
    {
      set (tc.start);
      tap (tc.key);
      EXPECT_EQ (value (), tc.expect) << tc.start << " key " << gdk_keyval_name (tc.key);
      EXPECT_EQ (reported.size (), 1u) << tc.start << " key " << gdk_keyval_name (tc.key);
    }
}

/* The printed text, glyph for glyph the same as the text laid out in the
 * same font by the test. */
TEST_F (Scale, PrintsTheValueWithItsDigits)
{
  struct Box {
    int x0 = WIDTH, x1 = 0, y0 = HEIGHT, y1 = 0;
  };
  auto ink = [this] (GdkPixbuf *pb) {
    Box b;
    for (int y = rows[1].from; y < rows[1].to; y++)
      for (const Span &r : runs (pb, y, track0, track1, true))
        b = { std::min (b.x0, r.from), std::max (b.x1, r.to), std::min (b.y0, y), y + 1 };
    return b;
  };
  g_object_set (widget, "coeff-color", 0x000000ffu, "inactive-color", 0x000000ffu, nullptr);
  static const struct {
    double value;
    int digits;
    const char *text;
  } cases[] = { { 1.5, 9, "1.500000000" }, { -0.25, 3, "-0.250" }, { 1234.56, 0, "1235" },
                { 7e-12, 9, "0.000000000" } };
  for (const auto &tc : cases)
    {
      SCOPED_TRACE (tc.text);
      g_object_set (widget, "digits", tc.digits, nullptr);
      set (tc.value);
      g_autoptr (GdkPixbuf) pb = shown ();
      const Box g = ink (pb);
      EXPECT_NEAR (g.x0 - track0, track1 - g.x1, 3) << "centred";

      g_autoptr (PangoLayout) layout = gtk_widget_create_pango_layout (widget, tc.text);
      PangoFontDescription *font = pango_font_description_from_string ("Monospace 12px");
      pango_layout_set_font_description (layout, font);
      pango_font_description_free (font);
      int tw, th;
      pango_layout_get_pixel_size (layout, &tw, &th);
      cairo_surface_t *s = cairo_image_surface_create (CAIRO_FORMAT_RGB24, WIDTH, HEIGHT);
      cairo_t *cr = cairo_create (s);
      cairo_set_source_rgb (cr, 1, 1, 1);
      cairo_move_to (cr, std::round ((WIDTH - tw) / 2.0), rows[1].from);
      pango_cairo_show_layout (cr, layout);
      cairo_destroy (cr);
      g_autoptr (GdkPixbuf) ref = gdk_pixbuf_get_from_surface (s, 0, 0, WIDTH, HEIGHT);
      cairo_surface_destroy (s);
      const Box r = ink (ref);
      EXPECT_EQ (r.x0, g.x0);
      ASSERT_EQ (r.x1 - r.x0, g.x1 - g.x0);
      ASSERT_EQ (r.y1 - r.y0, g.y1 - g.y0);
      int differing = 0;
      for (int y = 0; y < g.y1 - g.y0; y++)
        for (int x = 0; x < g.x1 - g.x0; x++)
          differing += !(pixel (pb, g.x0 + x, g.y0 + y) == pixel (ref, r.x0 + x, r.y0 + y));
      EXPECT_EQ (differing, 0);
    }
}

/* Pictures for the documentation, on the application's dark theme. */
TEST_F (Scale, Screenshots)
{
  const char *dir = g_getenv ("ZELM_TEST_SHOTS");
  if (!dir)
    GTEST_SKIP () << "set ZELM_TEST_SHOTS to a directory";
  g_autoptr (GtkCssProvider) css = gtk_css_provider_new ();
  const char *res = g_getenv ("ZELMORA_RESOURCE_DIR");
  const std::string theme = std::string (res ? res : ".") +
                            "/themes/BlueSky-Dark-Zelmora/gtk-3.0/gtk.css";
  gtk_css_provider_load_from_path (css, theme.c_str (), nullptr);
  GdkScreen *screen = gdk_screen_get_default ();
  gtk_style_context_add_provider_for_screen (screen, GTK_STYLE_PROVIDER (css),
                                             GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_set (widget, "bg-color", 0x00000000u, nullptr);
  const std::string base = std::string (dir) + "/scale-";
  for (double v : { 440.0, 12500.0, -2.5e-7, 0.0, 1.5e16 })
    {
      set (v);
      pump (40);
      g_autofree char *name = g_strdup_printf ("%s%g.png", base.c_str (), v);
      save_png (widget, name);
    }
  move (centre, ymid (0)), press (), move (centre + 60, ymid (0));
  save_png (widget, (base + "dragging.png").c_str ());
  release ();
  gtk_style_context_remove_provider_for_screen (screen, GTK_STYLE_PROVIDER (css));
}

} // namespace
