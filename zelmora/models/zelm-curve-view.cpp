/* zelm-curve-view.cpp: where a curve editor draws its values, and the view
 * properties the curve and morph canvases share */
#include "zelm-curve-view.h"

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

gboolean
zelm_curve_view_fit (ZelmCurveView *view, ZelmCurveViewFit fit, VornCurve *curve,
                     gboolean whole_width)
{
  g_return_val_if_fail (view != nullptr, FALSE);

  gboolean bipolar = FALSE;
  view->y_zoom = 1.0;
  view->y_ofs = 0.0;
  if (!view->transposed)
    {
      if (fit == ZELM_CURVE_VIEW_FIT_AUTO)
        bipolar = !curve || dips_below_zero (curve);
      else
        bipolar = fit == ZELM_CURVE_VIEW_FIT_BIPOLAR;
      view->y_zoom = bipolar ? 0.5 : 1.0;
      view->y_ofs = 1.0;
    }
  view->x_zoom = 1.0;
  if (whole_width && curve)
    {
      const double width = vorn_curve_get_width (curve);
      if (width > 0.0)
        view->x_zoom = 1.0 / width;
    }
  view->x_ofs = 0.0;
  return bipolar;
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
