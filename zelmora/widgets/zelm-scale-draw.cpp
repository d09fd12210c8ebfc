/* zelm-scale-draw.cpp: drawing the scale's three rows and their buttons */
#include "zelm-scale-private.h"

#include "zelm-util.h"

#include <algorithm>
#include <cmath>

#define STRIPE_WIDTH 50.0
#define EXP_LIMIT    ZELM_SCALE_EXP_LIMIT

static void
draw_slider_row (ZelmScale *scale, cairo_t *cr, const Layout &l)
{
  const double boundary = scale->width / 2.0 + scale->stripe_offset;
  const double end = l.track_x + l.track_w;

  cairo_save (cr);
  cairo_rectangle (cr, l.track_x, l.slider_y, l.track_w, l.s);
  cairo_clip (cr);
  for (int pass = 0; pass < 2; pass++)
    {
      /* Stripe i covers [boundary + 50i, boundary + 50(i + 1)). */
      for (double i = std::floor ((l.track_x - boundary) / STRIPE_WIDTH);
           boundary + i * STRIPE_WIDTH < end; i++)
        if ((long (i) & 1) == pass)
          cairo_rectangle (cr, boundary + i * STRIPE_WIDTH, l.slider_y, STRIPE_WIDTH, l.s);
      zelm_util_set_rgba_uint (cr, scale->colors[pass ? COLOR_SLIDE2 : COLOR_SLIDE1]);
      cairo_fill (cr);
    }
  cairo_restore (cr);

  zelm_util_set_rgba_uint (cr, scale->colors[COLOR_CENTER]);
  cairo_rectangle (cr, scale->width / 2.0 - 1, l.slider_y, 2, l.s);
  cairo_fill (cr);
}

static void
draw_coeff_row (ZelmScale *scale, cairo_t *cr, const Layout &l)
{
  double c;
  int e;
  zelm_scale_decompose (scale->value, &c, &e);

  zelm_util_set_rgba_uint (cr, scale->colors[COLOR_INACTIVE]);
  cairo_rectangle (cr, l.track_x, l.coeff_y, l.track_w, l.k);
  cairo_fill (cr);

  /* The bar runs from the left for either sign; an infinite coefficient
   * fills the track. */
  double len = l.track_w * std::min (std::fabs (c) / 10, 1.0);
  if (len > 0)
    {
      zelm_util_set_rgba_uint (cr, scale->colors[COLOR_COEFF]);
      cairo_rectangle (cr, l.track_x, l.coeff_y, len, l.k);
      cairo_fill (cr);
    }

  zelm_util_set_rgba_uint (cr, scale->colors[COLOR_FG]);
  cairo_move_to (cr, std::round ((scale->width - l.text_w) / 2.0), std::round (l.coeff_y + l.m));
  pango_cairo_show_layout (cr, scale->text);
}

static void
draw_exp_row (ZelmScale *scale, cairo_t *cr, const Layout &l)
{
  int e = 0;
  double c;
  zelm_scale_decompose (scale->value, &c, &e);
  const guint32 *col = scale->colors;
  const double y = l.exp_y;

  zelm_util_set_rgba_uint (cr, col[e == 0 ? COLOR_ACTIVE : COLOR_INACTIVE]);
  cairo_arc (cr, l.centre, y + l.x / 2, l.x / 2, 0, 2 * G_PI);
  cairo_fill (cr);

  for (int side = -1; side <= 1; side += 2)
    {
      const int filled = (e * side > 0) ? std::min (std::abs (e), EXP_LIMIT) : 0;
      const int merged = filled / 3 * 3;
      auto left = [&] (int i) { return zelm_scale_exp_box_left (&l, side * i); };
      for (int g = 1; g <= merged; g += 3)
        {
          double x0 = side > 0 ? left (g) : left (g + 2);
          cairo_rectangle (cr, x0, y, 3 * l.box_w + 2 * l.box_gap, l.x);
        }
      zelm_util_set_rgba_uint (cr, col[COLOR_EXP2]);
      cairo_fill (cr);
      for (int i = merged + 1; i <= filled; i++)
        cairo_rectangle (cr, left (i), y, l.box_w, l.x);
      zelm_util_set_rgba_uint (cr, col[COLOR_EXP1]);
      cairo_fill (cr);
      for (int i = filled + 1; i <= EXP_LIMIT; i++)
        cairo_rectangle (cr, left (i), y, l.box_w, l.x);
      zelm_util_set_rgba_uint (cr, col[COLOR_INACTIVE]);
      cairo_fill (cr);
    }
}

/* A triangle filling the button's cell, its tip at the widget's edge. */
static void
draw_arrow (ZelmScale *scale, cairo_t *cr, int button, double y, double h)
{
  const Layout &l = scale->lay;
  const bool right = button % 2 == 0;
  const double outer = right ? scale->width - l.m : l.m;
  const double inner = right ? outer - l.b : outer + l.b;

  cairo_move_to (cr, outer, y + h / 2);
  cairo_line_to (cr, inner, y);
  cairo_line_to (cr, inner, y + h);
  cairo_close_path (cr);
  zelm_util_set_rgba_uint (cr, scale->colors[scale->hover == button ? COLOR_HIGHLIGHT
                                                                     : COLOR_INACTIVE]);
  cairo_fill (cr);
}

static void
draw_sign (ZelmScale *scale, cairo_t *cr, int button)
{
  const Layout &l = scale->lay;
  const bool plus = button == BUTTON_PLUS;
  const double cx = plus ? l.m + l.b / 2 : scale->width - l.m - l.b / 2;
  const double cy = l.coeff_y + l.k / 2, arm = std::min (l.b, l.k) * 0.4;

  cairo_set_line_width (cr, 0.2 * l.k);
  cairo_set_line_cap (cr, CAIRO_LINE_CAP_BUTT);
  cairo_move_to (cr, cx - arm, cy);
  cairo_line_to (cr, cx + arm, cy);
  if (plus)
    {
      cairo_move_to (cr, cx, cy - arm);
      cairo_line_to (cr, cx, cy + arm);
    }
  int color = scale->hover == button ? COLOR_HIGHLIGHT : COLOR_INACTIVE;
  if (plus ? scale->value > 0 : scale->value < 0)
    color = COLOR_ACTIVE;
  zelm_util_set_rgba_uint (cr, scale->colors[color]);
  cairo_stroke (cr);
}

gboolean
zelm_scale_draw (GtkWidget *widget, cairo_t *cr)
{
  ZelmScale *scale = ZELM_SCALE (widget);
  const Layout &l = zelm_scale_update_layout (scale);

  /* Over the parent's background: the transparent default shows the theme. */
  zelm_util_set_rgba_uint (cr, scale->colors[COLOR_BG]);
  cairo_paint (cr);
  if (l.track_w <= 0 || l.s < 0 || l.x < 0)
    return TRUE;

  draw_slider_row (scale, cr, l);
  draw_coeff_row (scale, cr, l);
  draw_exp_row (scale, cr, l);
  draw_arrow (scale, cr, BUTTON_SLIDE_LEFT, l.slider_y, l.s);
  draw_arrow (scale, cr, BUTTON_SLIDE_RIGHT, l.slider_y, l.s);
  draw_arrow (scale, cr, BUTTON_EXP_DOWN, l.exp_y, l.x);
  draw_arrow (scale, cr, BUTTON_EXP_UP, l.exp_y, l.x);
  draw_sign (scale, cr, BUTTON_PLUS);
  draw_sign (scale, cr, BUTTON_MINUS);
  return TRUE;
}
