/* vorn-curve.h: piecewise cubic Bezier curves */
#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

/**
 * VornCurvePointType:
 * @VORN_CURVE_POINT_ENDPOINT: an endpoint (coordinate index mod 3 == 0)
 * @VORN_CURVE_POINT_RIGHT: a right handle (index mod 3 == 1)
 * @VORN_CURVE_POINT_LEFT: a left handle (index mod 3 == 2)
 *
 * Kind of a coordinate of a curve, given by its index.
 */
typedef enum {
  VORN_CURVE_POINT_ENDPOINT = 0,
  VORN_CURVE_POINT_RIGHT = 1,
  VORN_CURVE_POINT_LEFT = 2,
} VornCurvePointType;

/**
 * VornCurveMethod:
 *
 * Names of curve evaluation methods (kept for the editor and for files).
 */
typedef enum {
  VORN_CURVE_METHOD_NONE = 0,
  VORN_CURVE_METHOD_LINEAR = 1,
  VORN_CURVE_METHOD_QUADRATIC1 = 2,
  VORN_CURVE_METHOD_QUADRATIC2 = 3,
  VORN_CURVE_METHOD_CUBIC_ROOT1 = 4,
  VORN_CURVE_METHOD_CUBIC_ROOT3_1 = 5,
  VORN_CURVE_METHOD_CUBIC_ROOT3_2 = 6,
  VORN_CURVE_METHOD_CUBIC_ROOT3_3 = 7,
} VornCurveMethod;

#define VORN_TYPE_CURVE_POINT_TYPE (vorn_curve_point_type_get_type ())
#define VORN_TYPE_CURVE_METHOD     (vorn_curve_method_get_type ())

GType vorn_curve_point_type_get_type (void);
GType vorn_curve_method_get_type (void);

#define VORN_TYPE_CURVE            (vorn_curve_get_type ())
#define VORN_CURVE(obj)            (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_CURVE, VornCurve))
#define VORN_CURVE_CLASS(klass)    (G_TYPE_CHECK_CLASS_CAST ((klass), VORN_TYPE_CURVE, VornCurveClass))
#define VORN_IS_CURVE(obj)         (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_CURVE))
#define VORN_IS_CURVE_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), VORN_TYPE_CURVE))
#define VORN_CURVE_GET_CLASS(obj)  (G_TYPE_INSTANCE_GET_CLASS ((obj), VORN_TYPE_CURVE, VornCurveClass))

/**
 * VORN_CURVE_COORD_LENGTH:
 * @curve: a #VornCurve
 *
 * Number of entries of @curve's xcoords and ycoords: 3 * count - 2.
 * Point i has its endpoint at 3i, its left handle at 3i - 1 (i > 0) and its
 * right handle at 3i + 1 (i < count - 1).
 */
#define VORN_CURVE_COORD_LENGTH(curve) ((curve)->count * 3 - 2)

typedef struct _VornCurve VornCurve;
typedef struct _VornCurveClass VornCurveClass;

/**
 * VornCurve:
 * @xcoords: X coordinates, VORN_CURVE_COORD_LENGTH() entries
 * @ycoords: Y coordinates, same length and indexing
 * @count: number of points (endpoints)
 *
 * A piecewise cubic Bezier curve.  Segment s uses the coordinates 3s to
 * 3s + 3.  The pointers change whenever the point count changes.
 */
struct _VornCurve
{
  GObject parent_instance;

  double *xcoords;
  double *ycoords;
  gint32 count;
};

struct _VornCurveClass
{
  GObjectClass parent_class;
};

GType vorn_curve_get_type (void);

/**
 * vorn_curve_new:
 * @count: number of points
 *
 * Creates a curve of @count points whose coordinates are all 0; the caller
 * sets every point.
 *
 * Returns: (transfer full): a new curve
 */
VornCurve *vorn_curve_new (guint count);

/**
 * vorn_curve_duplicate:
 * @curve: a curve
 *
 * Returns: (transfer full): a new curve with a copy of the points and the
 * name of @curve, or NULL when @curve is not a curve
 */
VornCurve *vorn_curve_duplicate (VornCurve *curve);

/**
 * vorn_curve_insert_point:
 * @curve: a curve of at least 2 points
 * @xpos: X of the new point (inside the curve's X range)
 * @ypos: Y of the new point
 *
 * Inserts a point with both handles on it into the segment that contains
 * @xpos.  Neighbouring handles that would cross the new point are pulled
 * back along their own lines to x = @xpos.
 *
 * Returns: the index of the new point, or -1 (also when @xpos lies beyond
 * the last endpoint)
 */
int vorn_curve_insert_point (VornCurve *curve, double xpos, double ypos);

/**
 * vorn_curve_split_segment:
 * @curve: a curve of at least 2 points
 * @segment: the segment to split (0 .. count - 2)
 * @t: Bezier parameter of the split, strictly between 0 and 1
 *
 * Inserts a point at parameter @t of @segment without changing the curve's
 * shape: the segment becomes two whose control points come from de
 * Casteljau's construction, so the new point's handles and the neighbours'
 * facing handles are those of the two halves.
 *
 * Returns: the index of the new point (@segment + 1), or -1 for a segment
 * or parameter out of range
 */
int vorn_curve_split_segment (VornCurve *curve, int segment, double t);

/**
 * vorn_curve_nearest:
 * @curve: a curve of at least 2 points
 * @x: X of the position
 * @y: Y of the position
 * @segment: (out) (optional): the segment of the nearest curve point
 * @t: (out) (optional): its Bezier parameter in that segment
 *
 * Finds the point of the drawn curve nearest to (@x, @y), Euclidean in the
 * curve's own units (pass a curve in screen units for on-screen distance).
 *
 * Returns: the distance, or -1.0 for a curve of fewer than 2 points
 */
double vorn_curve_nearest (VornCurve *curve, double x, double y, int *segment, double *t);

/**
 * vorn_curve_eval_segment:
 * @curve: a curve
 * @segment: a segment (0 .. count - 2)
 * @t: Bezier parameter, 0 to 1
 * @x: (out): X of the curve there
 * @y: (out): Y of the curve there
 *
 * Evaluates the segment's cubic Bezier directly (no cache).
 */
void vorn_curve_eval_segment (VornCurve *curve, int segment, double t, double *x, double *y);

/**
 * vorn_curve_insert_point_by_index:
 * @curve: a curve
 * @point: index of the point before which a new point is inserted
 *
 * Inserts a point with all coordinates 0 at index @point; the caller sets it.
 */
void vorn_curve_insert_point_by_index (VornCurve *curve, int point);

/**
 * vorn_curve_delete_point:
 * @curve: a curve of more than 2 points
 * @point: an interior point index
 *
 * Removes an interior point with its handles.  The first and the last point
 * are never removed.
 */
void vorn_curve_delete_point (VornCurve *curve, int point);

/**
 * vorn_curve_set_point:
 * @curve: a curve
 * @point: point index
 *
 * Sets a point's endpoint and those of its handles that exist.
 */
void vorn_curve_set_point (VornCurve *curve, int point, double left_x,
                           double left_y, double x, double y, double right_x,
                           double right_y);

/**
 * vorn_curve_set_start_point:
 *
 * Sets the first endpoint and its right handle.
 */
void vorn_curve_set_start_point (VornCurve *curve, double x, double y,
                                 double right_x, double right_y);

/**
 * vorn_curve_set_end_point:
 *
 * Sets the last endpoint and its left handle.
 */
void vorn_curve_set_end_point (VornCurve *curve, double left_x, double left_y,
                               double x, double y);

/**
 * vorn_curve_get_width:
 * @curve: a curve
 *
 * Returns: X of the last endpoint minus X of the first, 0.0 for an empty
 * curve
 */
double vorn_curve_get_width (VornCurve *curve);

/**
 * vorn_curve_find_point:
 * @curve: a curve with non-decreasing endpoint X
 * @x: an X position
 *
 * Returns: the segment s with x(endpoint s) <= @x < x(endpoint s + 1) (an
 * @x on an interior endpoint m gives m - 1, on the last endpoint the last
 * segment), or -1 when @x lies outside the curve
 */
int vorn_curve_find_point (VornCurve *curve, double x);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornCurve, g_object_unref)

G_END_DECLS
