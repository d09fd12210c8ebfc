/* vorn-geometry.h: small plane geometry helpers for curve editing */
#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

/**
 * vorn_util_line_distance:
 *
 * Returns: the Euclidean distance between (@x1, @y1) and (@x2, @y2)
 */
double vorn_util_line_distance (double x1, double y1, double x2, double y2);

/**
 * vorn_util_extend_line:
 * @d: distance to go beyond (@x2, @y2)
 * @out_x: (out) (optional): X of the result
 * @out_y: (out) (optional): Y of the result
 *
 * Computes the point at distance @d beyond (@x2, @y2) on the line from
 * (@x1, @y1) through (@x2, @y2), away from (@x1, @y1).  When the two points
 * coincide there is no direction and the result is (@x2, @y2).
 */
void vorn_util_extend_line (double x1, double y1, double x2, double y2,
                            double d, double *out_x, double *out_y);

/**
 * vorn_util_line_intersect:
 * @out_x: (out) (optional): X of the intersection
 * @out_y: (out) (optional): Y of the intersection
 *
 * Intersects the infinite line through points 1 and 2 with the one through
 * points 3 and 4.
 *
 * Returns: TRUE with the intersection written, FALSE (nothing written) when
 * the lines are parallel or a pair of points coincides
 */
gboolean vorn_util_line_intersect (double x1, double y1, double x2, double y2,
                                   double x3, double y3, double x4, double y4,
                                   double *out_x, double *out_y);

G_END_DECLS
