/* zelm-curve-view.cpp: where a curve editor draws its values, and the view
 * properties the curve and morph canvases share */
#include "zelm-curve-view.h"

#include <algorithm>
#include <cmath>
#include <utility>

#define MARGIN ZELM_CURVE_VIEW_MARGIN

void
zelm_curve_view_init (ZelmCurveView *view)
{
  g_return_if_fail (view != nullptr);
  *view = ZelmCurveView {};
  view->x_zoom = view->y_zoom = 1.0;
  view->y_ofs = 1.0;
}

double
zelm_curve_view_x_scale (const ZelmCurveView *view)
{
  return (view->width - 2 * MARGIN) * view->x_zoom;
}

double
zelm_curve_view_y_scale (const ZelmCurveView *view)
{
  return (view->height - 2 * MARGIN) * view->y_zoom;
}

void
zelm_curve_view_to_canvas (const ZelmCurveView *view, double vx, double vy, double *cx,
                           double *cy)
{
  if (view->transposed)
    {
      *cx = (vx - view->y_ofs) * zelm_curve_view_y_scale (view) + MARGIN;
      *cy = (vy - view->x_ofs) * zelm_curve_view_x_scale (view) + MARGIN;
    }
  else
    {
      *cx = (vx - view->x_ofs) * zelm_curve_view_x_scale (view) + MARGIN;
      *cy = (view->y_ofs - vy) * zelm_curve_view_y_scale (view) + MARGIN;
    }
}

static double
unscale (double v, double scale)
{
  return scale != 0.0 ? (v - MARGIN) / scale : 0.0;
}

void
zelm_curve_view_from_canvas (const ZelmCurveView *view, double cx, double cy, double *vx,
                             double *vy)
{
  if (view->transposed)
    {
      *vx = unscale (cx, zelm_curve_view_y_scale (view)) + view->y_ofs;
      *vy = unscale (cy, zelm_curve_view_x_scale (view)) + view->x_ofs;
    }
  else
    {
      *vx = unscale (cx, zelm_curve_view_x_scale (view)) + view->x_ofs;
      *vy = view->y_ofs - unscale (cy, zelm_curve_view_y_scale (view));
    }
}

void
zelm_curve_view_swap (const ZelmCurveView *view, double x, double y, double *ox, double *oy)
{
  *ox = view->transposed ? y : x;
  *oy = view->transposed ? x : y;
}

void
zelm_curve_view_to_pixel (const ZelmCurveView *view, double vx, double vy, double *px,
                          double *py)
{
  double cx, cy;
  zelm_curve_view_to_canvas (view, vx, vy, &cx, &cy);
  zelm_curve_view_swap (view, cx, cy, px, py);
}

void
zelm_curve_view_canvas_range (const ZelmCurveView *view, double *xmin, double *xmax,
                              double *ymin, double *ymax)
{
  double w = view->width, h = view->height;
  if (view->transposed)
    std::swap (w, h);
  *xmin = MARGIN;
  *xmax = w - MARGIN;
  *ymin = MARGIN;
  *ymax = h - MARGIN;
}

static gboolean
dips_below_zero (VornCurve *curve)
{
  const int n = VORN_CURVE_COORD_LENGTH (curve);
  for (int i = 0; i < n; i++)
    if (curve->ycoords[i] < 0.0)
      return TRUE;
  return FALSE;
}

/* Grows [lo, hi] to hold the values of one axis of @curve. */
static void
extend (VornCurve *curve, gboolean use_x, double *lo, double *hi)
{
  if (!curve)
    return;
  const double *v = use_x ? curve->xcoords : curve->ycoords;
  const int n = VORN_CURVE_COORD_LENGTH (curve);
  for (int i = 0; i < n; i++)
    if (std::isfinite (v[i]))
      {
        *lo = std::min (*lo, v[i]);
        *hi = std::max (*hi, v[i]);
      }
}

/* Grows [lo, hi] to hold the values the morph curves of one direction
 * reach (their y values are the coordinate's values). */
static void
extend_morph (VornMorph *morph, gboolean horizontal, double *lo, double *hi)
{
  if (!morph)
    return;
  for (guint i = 0; i < morph->count; i++)
    if (bool (morph->points[i].horizontal) == bool (horizontal))
      extend (morph->points[i].curve, FALSE, lo, hi);
}

gboolean
zelm_curve_view_fit_morph (ZelmCurveView *view, ZelmCurveViewFit fit, VornCurve *curve,
                           VornMorph *morph, gboolean whole_width)
{
  g_return_val_if_fail (view != nullptr, FALSE);

  gboolean bipolar = FALSE;
  double ylo = 0.0, yhi = 1.0;
  if (!view->transposed)
    {
      if (fit == ZELM_CURVE_VIEW_FIT_AUTO)
        bipolar = !curve || dips_below_zero (curve);
      else
        bipolar = fit == ZELM_CURVE_VIEW_FIT_BIPOLAR;
      ylo = bipolar ? -1.0 : 0.0;
      /* Values beyond the polarity's range stay in view; a unipolar view
       * asked for keeps its floor at 0. */
      double lo = ylo;
      extend (curve, FALSE, &lo, &yhi);
      extend_morph (morph, FALSE, &lo, &yhi);
      if (fit != ZELM_CURVE_VIEW_FIT_UNIPOLAR)
        ylo = lo;
      bipolar = ylo < 0.0;
    }
  double xlo = 0.0, xhi = 1.0;
  if (whole_width && curve)
    {
      const double width = vorn_curve_get_width (curve);
      if (width > 0.0)
        xhi = width;
      if (morph)
        {
          double mlo = xlo, mhi = xhi;
          extend_morph (morph, TRUE, &mlo, &mhi);
          xlo = mlo;
          xhi = mhi;
        }
    }
  view->x_zoom = view->y_zoom = 1.0;
  zelm_curve_view_frame (view, xlo, xhi, ylo, yhi);
  return bipolar;
}

gboolean
zelm_curve_view_fit (ZelmCurveView *view, ZelmCurveViewFit fit, VornCurve *curve,
                     gboolean whole_width)
{
  return zelm_curve_view_fit_morph (view, fit, curve, nullptr, whole_width);
}

void
zelm_curve_view_frame (ZelmCurveView *view, double x0, double x1, double y0, double y1)
{
  g_return_if_fail (view != nullptr);
  if (x1 > x0)
    {
      view->x_zoom = 1.0 / (x1 - x0);
      view->x_ofs = x0;
    }
  if (y1 > y0)
    {
      view->y_zoom = 1.0 / (y1 - y0);
      view->y_ofs = view->transposed ? y0 : y1;
    }
}

/* The sign of a value step down the height: values grow upward unless
 * transposed. */
static double
y_sign (const ZelmCurveView *view)
{
  return view->transposed ? 1.0 : -1.0;
}

void
zelm_curve_view_zoom_at (ZelmCurveView *view, double px, double py, double fx, double fy)
{
  g_return_if_fail (view != nullptr);
  const double xs = zelm_curve_view_x_scale (view), ys = zelm_curve_view_y_scale (view);
  if (xs != 0.0 && fx > 0.0)
    {
      const double u = (px - MARGIN) / xs + view->x_ofs;
      view->x_zoom = std::clamp (view->x_zoom * fx, ZELM_CURVE_VIEW_ZOOM_MIN,
                                 ZELM_CURVE_VIEW_ZOOM_MAX);
      view->x_ofs = u - (px - MARGIN) / zelm_curve_view_x_scale (view);
    }
  if (ys != 0.0 && fy > 0.0)
    {
      const double u = view->y_ofs + y_sign (view) * (py - MARGIN) / ys;
      view->y_zoom = std::clamp (view->y_zoom * fy, ZELM_CURVE_VIEW_ZOOM_MIN,
                                 ZELM_CURVE_VIEW_ZOOM_MAX);
      view->y_ofs = u - y_sign (view) * (py - MARGIN) / zelm_curve_view_y_scale (view);
    }
}

void
zelm_curve_view_scroll (ZelmCurveView *view, double dx, double dy)
{
  g_return_if_fail (view != nullptr);
  const double xs = zelm_curve_view_x_scale (view), ys = zelm_curve_view_y_scale (view);
  if (xs != 0.0)
    view->x_ofs -= dx / xs;
  if (ys != 0.0)
    view->y_ofs -= y_sign (view) * dy / ys;
}

double
zelm_curve_view_grid_step (double scale, double *minor)
{
  scale = std::abs (scale);
  if (minor)
    *minor = 0.0;
  if (scale == 0.0 || !std::isfinite (scale))
    return 0.0;
  const double least = ZELM_CURVE_VIEW_GRID_PIXELS / scale;
  double decade = std::pow (10.0, std::floor (std::log10 (least)));
  for (;;)
    for (double m : { 1.0, 2.0, 5.0 })
      if (m * decade >= least * (1.0 - 1e-12))
        {
          if (minor)
            *minor = m * decade / (m == 2.0 ? 4.0 : 5.0);
          return m * decade;
        }
      else if (m == 5.0)
        decade *= 10.0;
}

void
zelm_curve_view_axis (const ZelmCurveView *view, int axis, double *lo, double *hi,
                      double *major, double *minor)
{
  g_return_if_fail (view != nullptr && lo != nullptr && hi != nullptr);
  const double scale = axis == 0 ? zelm_curve_view_x_scale (view) : zelm_curve_view_y_scale (view);
  const double extent = (axis == 0 ? view->width : view->height) - MARGIN;
  const double step = zelm_curve_view_grid_step (scale, minor);
  if (major)
    *major = step;
  if (scale == 0.0)
    {
      *lo = *hi = axis == 0 ? view->x_ofs : view->y_ofs;
      return;
    }
  /* The whole widget, margins included. */
  double a, b;
  if (axis == 0)
    {
      a = view->x_ofs - MARGIN / scale;
      b = view->x_ofs + extent / scale;
    }
  else
    {
      a = view->y_ofs + y_sign (view) * -MARGIN / scale;
      b = view->y_ofs + y_sign (view) * extent / scale;
    }
  *lo = std::min (a, b);
  *hi = std::max (a, b);
}

double
zelm_curve_view_axis_pixel (const ZelmCurveView *view, int axis, double v)
{
  if (axis == 0)
    return (v - view->x_ofs) * zelm_curve_view_x_scale (view) + MARGIN;
  return y_sign (view) * (v - view->y_ofs) * zelm_curve_view_y_scale (view) + MARGIN;
}

static double
round_to (double v, double step)
{
  return step > 0.0 ? std::round (v / step) * step : v;
}

void
zelm_curve_view_snap (const ZelmCurveView *view, double *vx, double *vy)
{
  g_return_if_fail (view != nullptr && vx != nullptr && vy != nullptr);
  double xminor, yminor;
  zelm_curve_view_grid_step (zelm_curve_view_x_scale (view), &xminor);
  zelm_curve_view_grid_step (zelm_curve_view_y_scale (view), &yminor);
  /* Transposed, the morph position runs down the height and the value
   * across the width. */
  *vx = round_to (*vx, view->transposed ? yminor : xminor);
  *vy = round_to (*vy, view->transposed ? xminor : yminor);
}

void
zelm_curve_view_param_specs (GParamSpec **pspecs, double x_ofs_default, double y_ofs_default)
{
  const auto flags = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                  G_PARAM_EXPLICIT_NOTIFY);
  pspecs[ZELM_CURVE_VIEW_PROP_X_ZOOM] =
    g_param_spec_double ("x-zoom", "XZoom", "X axis zoom multiplier", -G_MAXDOUBLE, G_MAXDOUBLE,
                         1.0, flags);
  pspecs[ZELM_CURVE_VIEW_PROP_Y_ZOOM] =
    g_param_spec_double ("y-zoom", "YZoom", "Y axis zoom multiplier", -G_MAXDOUBLE, G_MAXDOUBLE,
                         1.0, flags);
  pspecs[ZELM_CURVE_VIEW_PROP_X_OFS] = g_param_spec_double (
    "x-ofs", "XOfs", "X axis offset", -G_MAXDOUBLE, G_MAXDOUBLE, x_ofs_default, flags);
  pspecs[ZELM_CURVE_VIEW_PROP_Y_OFS] = g_param_spec_double (
    "y-ofs", "YOfs", "Y axis offset", -G_MAXDOUBLE, G_MAXDOUBLE, y_ofs_default, flags);
}

double *
zelm_curve_view_field (ZelmCurveView *view, guint which)
{
  switch (which)
    {
    case ZELM_CURVE_VIEW_PROP_X_ZOOM:
      return &view->x_zoom;
    case ZELM_CURVE_VIEW_PROP_Y_ZOOM:
      return &view->y_zoom;
    case ZELM_CURVE_VIEW_PROP_X_OFS:
      return &view->x_ofs;
    default:
      return &view->y_ofs;
    }
}
