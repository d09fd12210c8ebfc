/* zelm-curve-view.h: where a curve editor draws its values, and the view
 * properties the curve and morph canvases share */
#pragma once

#include <glib-object.h>

#include "vorn-curve.h"
#include "vorn-morph.h"

G_BEGIN_DECLS

/* Blank pixels on every side of a curve drawing: values at the ends of the
 * view land this far inside the widget. */
#define ZELM_CURVE_VIEW_MARGIN 4.0

/**
 * ZelmCurveView:
 * @width: widget width in pixels
 * @height: widget height in pixels
 * @transposed: values are drawn with x downward and y to the right (the
 *   horizontal morph view); "canvas orientation" below is the untransposed
 *   picture, in which editing and hit testing happen
 * @x_zoom: x axis zoom multiplier
 * @y_zoom: y axis zoom multiplier
 * @x_ofs: value at the left edge (x, or the coordinate value when
 *   transposed)
 * @y_ofs: value at the top edge (y, or the morph position when transposed)
 *
 * A plain value; copy it freely.  Fill it with zelm_curve_view_init().
 */
typedef struct {
  int width, height;
  gboolean transposed;
  double x_zoom, y_zoom, x_ofs, y_ofs;
} ZelmCurveView;

/* The view of an unsized widget: zoom 1, x offset 0, y offset 1 (values 0
 * to 1 upward), not transposed. */
void zelm_curve_view_init (ZelmCurveView *view);

/* Pixels per x (y) value unit: the drawable extent times the zoom.  The
 * x scale runs along the width, the y scale along the height. */
double zelm_curve_view_x_scale (const ZelmCurveView *view);
double zelm_curve_view_y_scale (const ZelmCurveView *view);

/**
 * zelm_curve_view_to_canvas:
 * @vx: curve x, or morph position in the morph views
 * @vy: curve y, or coordinate value in the morph views
 * @cx: (out): x in canvas orientation
 * @cy: (out): y in canvas orientation
 *
 * Untransposed, y grows upward from y-ofs at the top edge.  Transposed, the
 * morph position @vx runs down the height from y-ofs and the value @vy
 * right along the width from x-ofs.
 */
void zelm_curve_view_to_canvas (const ZelmCurveView *view, double vx, double vy, double *cx,
                                double *cy);

/* The inverse of zelm_curve_view_to_canvas(); a view with a zero scale maps
 * every pixel onto its offset. */
void zelm_curve_view_from_canvas (const ZelmCurveView *view, double cx, double cy, double *vx,
                                  double *vy);

/* Widget pixels to canvas orientation and back: a swap when transposed. */
void zelm_curve_view_swap (const ZelmCurveView *view, double x, double y, double *ox,
                           double *oy);

/* Where a value is drawn, in widget pixels. */
void zelm_curve_view_to_pixel (const ZelmCurveView *view, double vx, double vy, double *px,
                               double *py);

/* Allowed area of a dragged coordinate, in canvas orientation: the
 * drawing inside the margin. */
void zelm_curve_view_canvas_range (const ZelmCurveView *view, double *xmin, double *xmax,
                                   double *ymin, double *ymax);

/**
 * ZelmCurveViewFit:
 * @ZELM_CURVE_VIEW_FIT_AUTO: bipolar when there is no curve or any of its y
 *   values is below 0
 * @ZELM_CURVE_VIEW_FIT_UNIPOLAR: values 0 to 1
 * @ZELM_CURVE_VIEW_FIT_BIPOLAR: values -1 to 1
 *
 * Same values as ZelmWaveCanvasPolarity.
 */
typedef enum {
  ZELM_CURVE_VIEW_FIT_AUTO = 0,
  ZELM_CURVE_VIEW_FIT_UNIPOLAR = 1,
  ZELM_CURVE_VIEW_FIT_BIPOLAR = 2,
} ZelmCurveViewFit;

/**
 * zelm_curve_view_fit:
 * @view: the view; its zooms and offsets are rewritten
 * @fit: the polarity asked for
 * @curve: (nullable): the wave's curve
 * @whole_width: fit the x axis to @curve's width (FALSE: positions 0 to 1,
 *   the vertical morph view)
 *
 * A transposed view ignores @fit: positions 0 to 1 downward, unipolar.
 * Otherwise y-ofs is 1 and y-zoom 1 (unipolar) or 0.5 (bipolar); x-ofs is
 * 0 and x-zoom 1 / the curve's width, or 1.
 *
 * Returns: whether the view is bipolar (it then draws a zero line).
 */
gboolean zelm_curve_view_fit (ZelmCurveView *view, ZelmCurveViewFit fit, VornCurve *curve,
                              gboolean whole_width);

/**
 * zelm_curve_view_fit_morph:
 * @view: the view; its zooms and offsets are rewritten
 * @fit: the polarity asked for
 * @curve: (nullable): the wave's curve
 * @morph: (nullable): the wave's morph; the values its morph curves reach
 *   are framed too (vertical ones on the value axis of an untransposed
 *   view, horizontal ones on the x axis)
 * @whole_width: as for zelm_curve_view_fit()
 *
 * zelm_curve_view_fit() that also frames values beyond the polarity's
 * range: the y range grows to hold every y of @curve and of @morph's
 * vertical targets, the x range every x of @curve and its horizontal
 * targets.
 *
 * Returns: whether the view is bipolar (it then draws a zero line).
 */
gboolean zelm_curve_view_fit_morph (ZelmCurveView *view, ZelmCurveViewFit fit, VornCurve *curve,
                                    VornMorph *morph, gboolean whole_width);

/**
 * zelm_curve_view_frame:
 * @x0, @x1: values to show across the width, low to high
 * @y0, @y1: values to show down the height, low to high (upward
 *   untransposed, downward transposed)
 *
 * Zooms and scrolls so that the box fills the drawing; a box of no extent
 * on an axis leaves that axis alone.
 */
void zelm_curve_view_frame (ZelmCurveView *view, double x0, double x1, double y0, double y1);

/* Zoom limits relative to a view of one value unit across the drawing. */
#define ZELM_CURVE_VIEW_ZOOM_MIN 1e-3
#define ZELM_CURVE_VIEW_ZOOM_MAX 1e4

/**
 * zelm_curve_view_zoom_at:
 * @px, @py: widget pixel that keeps its value
 * @fx: factor for the zoom across the width (1: unchanged)
 * @fy: factor for the zoom down the height
 *
 * Zooms about a widget pixel, within the zoom limits.
 */
void zelm_curve_view_zoom_at (ZelmCurveView *view, double px, double py, double fx, double fy);

/* Moves the picture by (@dx, @dy) widget pixels: what was drawn at (x, y)
 * is then drawn at (x + @dx, y + @dy). */
void zelm_curve_view_scroll (ZelmCurveView *view, double dx, double dy);

/* Least distance between major grid lines, in pixels. */
#define ZELM_CURVE_VIEW_GRID_PIXELS 60.0

/**
 * zelm_curve_view_grid_step:
 * @scale: pixels per value unit
 * @minor: (out) (optional): the step of the minor lines, which snapping
 *   uses: a quarter of a major step of 2, a fifth of 1 and 5
 *
 * Returns: the major step, 1, 2 or 5 times a power of ten, the least at
 * least ZELM_CURVE_VIEW_GRID_PIXELS apart; 0 for a scale of 0.
 */
double zelm_curve_view_grid_step (double scale, double *minor);

/**
 * zelm_curve_view_axis:
 * @axis: 0 across the width, 1 down the height
 * @lo: (out): least value visible on that axis
 * @hi: (out): greatest value visible
 * @major: (out) (optional): major grid step
 * @minor: (out) (optional): minor grid step
 */
void zelm_curve_view_axis (const ZelmCurveView *view, int axis, double *lo, double *hi,
                           double *major, double *minor);

/* Returns: the widget pixel along @axis (as above) of value @v. */
double zelm_curve_view_axis_pixel (const ZelmCurveView *view, int axis, double v);

/**
 * zelm_curve_view_snap:
 * @vx: (inout): curve x, or morph position when transposed
 * @vy: (inout): curve y, or coordinate value when transposed
 *
 * Rounds both values to the nearest minor grid line of their axes.
 */
void zelm_curve_view_snap (const ZelmCurveView *view, double *vx, double *vy);

/* The view properties "x-zoom", "y-zoom", "x-ofs", "y-ofs", in this order. */
enum {
  ZELM_CURVE_VIEW_PROP_X_ZOOM,
  ZELM_CURVE_VIEW_PROP_Y_ZOOM,
  ZELM_CURVE_VIEW_PROP_X_OFS,
  ZELM_CURVE_VIEW_PROP_Y_OFS,
  ZELM_CURVE_VIEW_N_PROPS
};

/**
 * zelm_curve_view_param_specs:
 * @pspecs: (out caller-allocates): ZELM_CURVE_VIEW_N_PROPS new specs
 * @x_ofs_default: default of "x-ofs"
 * @y_ofs_default: default of "y-ofs"
 *
 * The view properties as a widget exposes them (read-write, explicit
 * notify, any double).
 */
void zelm_curve_view_param_specs (GParamSpec **pspecs, double x_ofs_default,
                                  double y_ofs_default);

/* Returns: (transfer none): the field behind view property @which. */
double *zelm_curve_view_field (ZelmCurveView *view, guint which);

G_END_DECLS
