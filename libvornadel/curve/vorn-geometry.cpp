/* vorn-geometry.cpp: small plane geometry helpers for curve editing */
#include "vorn-geometry.h"

#include <cmath>

double
vorn_util_line_distance (double x1, double y1, double x2, double y2)
{
  return std::sqrt ((x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2));
}

void
vorn_util_extend_line (double x1, double y1, double x2, double y2, double d,
                       double *out_x, double *out_y)
{
  double dx = x2 - x1, dy = y2 - y1;
  double len = std::hypot (dx, dy);
  double rx = x2, ry = y2;

  /* Scaling the direction by its length (rather than going through its
   * angle) keeps horizontal and vertical lines exactly on their axis. */
  if (len > 0.0)
    {
      rx = x2 + d * (dx / len);
      ry = y2 + d * (dy / len);
    }

  if (out_x)
    *out_x = rx;
  if (out_y)
    *out_y = ry;
}

gboolean
vorn_util_line_intersect (double x1, double y1, double x2, double y2,
                          double x3, double y3, double x4, double y4,
                          double *out_x, double *out_y)
{
  double a1 = y2 - y1, b1 = x1 - x2, c1 = a1 * x1 + b1 * y1;
  double a2 = y4 - y3, b2 = x3 - x4, c2 = a2 * x3 + b2 * y3;
  double det = a1 * b2 - b1 * a2;

  if (det == 0.0)
    return FALSE;

  if (out_x)
    *out_x = (b2 * c1 - b1 * c2) / det;
  if (out_y)
    *out_y = (a1 * c2 - a2 * c1) / det;
  return TRUE;
}
