/* zelm-wave-canvas-draw.cpp: the wave canvas's picture: grid and labels,
 * readout, curves, debug traces, handles and markers */
#include "zelm-wave-canvas-private.h"

#include "vorn-curve-cache.h"
#include "zelm-util.h"

#include <cmath>

#define MARGIN        ZELM_CURVE_VIEW_MARGIN
#define MARKER_HALF   4.0
#define HOVER_HALF    5.0
#define SELECT_RADIUS 6.0

void
zelm_wave_canvas_render_debug_traces (ZelmWaveCanvas *c)
{
  c->trace_double.clear ();
  c->trace_single.clear ();
  VornWave *wave = wave_of (c);
  if (!c->debug || mode_of (c) != ZELM_WAVE_CANVAS_MODE_CURVE || !wave || !wave->curve ||
      VORN_CURVE_COORD_LENGTH (wave->curve) < 4)
    return;

  VornCurve *curve = wave->curve;
  const int n = c->debug_samples;
  const double start = curve->xcoords[0], width = vorn_curve_get_width (curve);
  const VornFormat formats[2] = { VORN_FORMAT_DOUBLE, VORN_FORMAT_SINGLE };
  std::vector<double> *traces[2] = { &c->trace_double, &c->trace_single };
  for (int f = 0; f < 2; f++)
    {
      vorn_curve_cache_invalidate (curve, formats[f]);
      g_autoptr (VornCurveCache) cache = vorn_curve_cache_get (curve, formats[f]);
      traces[f]->resize (n);
      vorn_curve_cache_render (cache, traces[f]->data (), n, width, start);
    }
}

static void
screen_pos (ZelmWaveCanvas *c, VornCurve *curve, int i, double *x, double *y)
{
  zelm_curve_view_swap (view_of (c), curve->xcoords[i], curve->ycoords[i], x, y);
}

/* Strokes @curve with the current source, segment by segment: cairo
 * strokes short paths much faster than one long one, and the colours are
 * opaque, so the overlap at the joins does not show. */
static void
stroke_bezier (ZelmWaveCanvas *c, cairo_t *cr, VornCurve *curve)
{
  double x, y, x1, y1, x2, y2;
  if (curve->count == 1)
    {
      screen_pos (c, curve, 0, &x, &y);
      cairo_move_to (cr, x, y);
      cairo_line_to (cr, x, y);
      cairo_stroke (cr);
      return;
    }
  for (int s = 0; s + 1 < curve->count; s++)
    {
      screen_pos (c, curve, 3 * s, &x, &y);
      cairo_move_to (cr, x, y);
      screen_pos (c, curve, 3 * s + 1, &x1, &y1);
      screen_pos (c, curve, 3 * s + 2, &x2, &y2);
      screen_pos (c, curve, 3 * s + 3, &x, &y);
      cairo_curve_to (cr, x1, y1, x2, y2, x, y);
      cairo_stroke (cr);
    }
}

static void
diamond (cairo_t *cr, double x, double y, double half)
{
  cairo_move_to (cr, x - half, y);
  cairo_line_to (cr, x, y - half);
  cairo_line_to (cr, x + half, y);
  cairo_line_to (cr, x, y + half);
  cairo_close_path (cr);
}

static void
draw_trace (ZelmWaveCanvas *c, cairo_t *cr, const std::vector<double> &trace)
{
  const int n = int (trace.size ());
  if (n < 2)
    return;
  VornCurve *base = wave_of (c)->curve;
  const double start = base->xcoords[0], width = vorn_curve_get_width (base);
  for (int i = 0; i < n; i++)
    {
      double x, y;
      zelm_curve_view_to_canvas (view_of (c), start + width * i / (n - 1), trace[size_t (i)], &x,
                                 &y);
      if (i == 0)
        cairo_move_to (cr, x, y);
      else
        cairo_line_to (cr, x, y);
    }
  cairo_stroke (cr);
}

/* Grid lines in the canvas's own units: minor lines where snapping lands,
 * major lines labelled with their value. */
static void
draw_grid (ZelmWaveCanvas *c, cairo_t *cr)
{
  const ZelmCurveView *view = view_of (c);
  const double extent[2] = { double (view->width), double (view->height) };
  cairo_select_font_face (cr, "Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size (cr, 9.0);
  for (int axis = 0; axis < 2; axis++)
    {
      double lo, hi, major, minor;
      zelm_curve_view_axis (view, axis, &lo, &hi, &major, &minor);
      if (minor <= 0.0 || (hi - lo) / minor > 2000)
        continue;
      for (double k = std::ceil (lo / minor); k * minor <= hi; k += 1.0)
        {
          const double v = k * minor;
          const double p = std::floor (zelm_curve_view_axis_pixel (view, axis, v)) + 0.5;
          const double ratio = v / major;
          const gboolean is_major = std::abs (ratio - std::round (ratio)) < 1e-6;
          zelm_util_set_rgba_uint (cr, is_major ? 0x3a3a3aff : 0x1e1e1eff);
          if (axis == 0)
            {
              cairo_move_to (cr, p, 0);
              cairo_line_to (cr, p, extent[1]);
            }
          else
            {
              cairo_move_to (cr, 0, p);
              cairo_line_to (cr, extent[0], p);
            }
          cairo_stroke (cr);
          if (!is_major)
            continue;
          char label[32];
          g_snprintf (label, sizeof label, "%g", std::abs (v) < minor * 1e-6 ? 0.0 : v);
          zelm_util_set_rgba_uint (cr, 0x7a7a7aff);
          if (axis == 0)
            cairo_move_to (cr, p + 2, 11);
          else
            cairo_move_to (cr, 2, p - 2);
          cairo_show_text (cr, label);
          cairo_new_path (cr);
        }
    }
}

gboolean
zelm_wave_canvas_draw (GtkWidget *widget, cairo_t *cr)
{
  ZelmWaveCanvas *c = ZELM_WAVE_CANVAS (widget);
  const ZelmCurveView *view = view_of (c);
  const double w = view->width, h = view->height;
  const double morph_pos = zelm_curve_edit_get_morph_position (c->edit);

  zelm_util_set_rgba_uint (cr, 0x000000ff);
  cairo_paint (cr);
  cairo_set_line_width (cr, 1.0);

  if (wave_of (c))
    draw_grid (c, cr);

  if (c->bipolar)
    {
      /* Value 0 on the value axis, half a pixel up so that the 1-pixel line
       * covers a whole pixel row. */
      const double y = std::floor (zelm_curve_view_axis_pixel (view, 1, 0.0)) - 0.5;
      zelm_util_set_rgba_uint (cr, 0x646464ff);
      cairo_move_to (cr, 0, y);
      cairo_line_to (cr, w, y);
      cairo_stroke (cr);
    }

  if (is_morph_mode (c) && wave_of (c) && wave_of (c)->morph)
    {
      zelm_util_set_rgba_uint (cr, 0xffffffff);
      const double at = zelm_curve_view_axis_pixel (view, is_hmorph (c) ? 1 : 0, morph_pos) + 0.5;
      if (is_hmorph (c))
        {
          cairo_move_to (cr, 0, at);
          cairo_line_to (cr, w, at);
        }
      else
        {
          cairo_move_to (cr, at, 0);
          cairo_line_to (cr, at, h);
        }
      cairo_stroke (cr);
    }

  if (c->readout[0])
    {
      cairo_select_font_face (cr, "Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
      cairo_set_font_size (cr, 11.0);
      zelm_util_set_rgba_uint (cr, 0xe0e0e0ff);
      cairo_move_to (cr, MARGIN + 4, h - MARGIN - 4);
      cairo_show_text (cr, c->readout);
      cairo_new_path (cr);
    }

  VornCurve *curve = zelm_curve_edit_get_curve (c->edit);
  if (!curve || curve->count < 1)
    return TRUE;

  cairo_set_line_width (cr, 2.0);
  zelm_util_set_rgba_uint (cr, 0x8c8c8cff);
  guint n_bg;
  VornCurve *const *bg = zelm_curve_edit_get_backgrounds (c->edit, &n_bg);
  for (guint i = 0; i < n_bg; i++)
    stroke_bezier (c, cr, bg[i]);

  static const guint32 curve_colors[3] = { 0x0064ffff, 0x6400ffff, 0x64ff00ff };
  cairo_set_line_width (cr, 1.0);
  zelm_util_set_rgba_uint (cr, curve_colors[mode_of (c)]);
  stroke_bezier (c, cr, curve);

  if (!c->trace_double.empty ())
    {
      cairo_set_line_width (cr, 5.0);
      cairo_set_source_rgba (cr, 0, 1, 0, 0.3);
      draw_trace (c, cr, c->trace_double);
      cairo_set_source_rgba (cr, 1, 0, 0, 0.3);
      draw_trace (c, cr, c->trace_single);
      cairo_set_line_width (cr, 1.0);
    }

  /* Handle lines: each point to the handles it has.  Stroked one by one:
   * cairo's stroker handles many short separate lines far faster than one
   * path of them all, and only the lines' ends (under the markers) overlap. */
  const int len = VORN_CURVE_COORD_LENGTH (curve);
  const int hover = zelm_curve_edit_get_hover (c->edit);
  zelm_util_set_rgba_uint (cr, 0xffffff50);
  for (int p = 0; p < len; p += 3)
    {
      double px, py, hx, hy;
      screen_pos (c, curve, p, &px, &py);
      for (int hnd : { p - 1, p + 1 })
        if (hnd >= 0 && hnd < len)
          {
            screen_pos (c, curve, hnd, &hx, &hy);
            cairo_move_to (cr, px, py);
            cairo_line_to (cr, hx, hy);
            cairo_stroke (cr);
          }
    }

  zelm_util_set_rgba_uint (cr, 0xffffff80);
  for (int i = 0; i < len; i++)
    if (i != hover)
      {
        double x, y;
        screen_pos (c, curve, i, &x, &y);
        diamond (cr, x, y, MARKER_HALF);
      }
  cairo_fill (cr);

  if (hover >= 0 && hover < len)
    {
      double x, y;
      screen_pos (c, curve, hover, &x, &y);
      zelm_util_set_rgba_uint (cr, 0xffff00c0);
      diamond (cr, x, y, HOVER_HALF);
      cairo_fill (cr);
    }

  cairo_set_line_width (cr, 2.0);
  zelm_util_set_rgba_uint (cr, 0xffffffc0);
  if (const int s = zelm_curve_edit_get_selected (c->edit); s >= 0 && s < len)
      {
        double x, y;
        screen_pos (c, curve, s, &x, &y);
        cairo_new_sub_path (cr);
        cairo_arc (cr, x, y, SELECT_RADIUS, 0, 2 * G_PI);
        cairo_stroke (cr);
      }
  return TRUE;
}
