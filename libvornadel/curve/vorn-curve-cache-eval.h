/* vorn-curve-cache-eval.h: evaluation of one curve cache record, one sample
 * at a time.
 *
 * The curve cache and the wave generator's kernels both use this definition,
 * so that a wave agrees with its cache to the bit.  The kernels are compiled
 * once per instruction set with their own flags, so everything here has
 * internal linkage (an unnamed namespace, no standard library templates). */
#pragma once

#include "vorn-curve-cache.h"

namespace {
namespace curve_eval {

/* Below this derivative of X(t) a Newton step may jump far out of the
 * bracket, so the bounded bisection takes over. */
constexpr double NEWTON_MIN_SLOPE = 0.001;
/* A Newton step smaller than this ends the search: the error left after
 * it is about its square (the method converges quadratically from the
 * table's first guess), below the format's precision.  Most samples stop
 * after two steps in single precision, three in double. */
template <typename T>
constexpr T
newton_tolerance ()
{
  return sizeof (T) == sizeof (float) ? T (1.0 / 4096) : T (1.0 / 67108864);
}

/* The factor that normalises a position within a segment of width dx
 * (u = position times it): a multiplication per sample instead of a
 * division, the same in the cache and in the kernels.  A segment of no
 * width has none; 1 keeps the product finite. */
template <typename T>
inline T
reciprocal_width (T dx)
{
  return dx != T (0) ? T (1) / dx : T (1);
}

/* Residual in normalised x at which the bisection stops early. */
constexpr double BISECT_TOLERANCE = 1e-7;

/* The bounded bisection for slopes too flat for Newton: the table bracket
 * [0.1 k, 0.1 k + 0.1], at most ten midpoints. */
template <typename T>
inline T
bisect (T A, T B, T C, T u, T kf)
{
  T lo = kf * T (0.1);
  T hi = lo + T (0.1);
  T mid = lo + T (0.05);
  for (int i = 0; i < 9; i++)
    {
      const T f = ((A * mid + B) * mid + C) * mid - u;
      if ((f < T (0) ? -f : f) <= T (BISECT_TOLERANCE))
        break;
      if (f > T (0))
        hi = mid;
      else
        lo = mid;
      mid = lo + (hi - lo) * T (0.5);
    }
  return mid;
}

/* Whether record r is answered by the straight line y0 + u dy without a
 * root search.  A rising or falling segment is straight when its handles
 * are the same in both normalised axes (Y(t) = X(t)); a level one (dy = 0,
 * which holds the handle heights) when both handles are level too. */
template <typename T>
inline bool
is_straight (T ax, T bx, T ay, T by, T dy)
{
  return dy != T (0) ? (ax == ay && bx == by) : (ay == T (0) && by == T (0));
}

/* The rise term and the scale of the Y polynomial of a record: 1 and dy
 * for a normalised Y, 0 and 1 for a level segment, whose ay and by are the
 * handle heights, so that the value is y0 plus the Bezier height either way:
 *   y0 + ((rise + ay - by) t^2 + (by - 2 ay) t + ay) t * scale. */
template <typename T>
inline T
y_rise (T dy)
{
  return dy != T (0) ? T (1) : T (0);
}

template <typename T>
inline T
y_scale (T dy)
{
  return dy != T (0) ? dy : T (1);
}

/* Value of record r at normalised position u (u = (x - x0) / dx, or any u
 * when dx is 0).  This is the audio hot path: no allocation, no branches
 * beyond the ones the method needs, a fixed amount of work per sample. */
template <typename T>
inline T
solve_segment (const T *r, T u)
{
  const T dx = r[VORN_CURVE_CACHE_DX];
  const T y0 = r[VORN_CURVE_CACHE_Y0];

  if (dx == T (0))
    return y0;

  const T dy = r[VORN_CURVE_CACHE_DY];

  /* Rounding of x0 + dx (and x before the first endpoint) may put u a hair
   * outside [0, 1]; the curve's value there is its endpoint. */
  u = u < T (0) ? T (0) : (u > T (1) ? T (1) : u);
  if (u == T (0) || u == T (1))
    return y0 + u * dy;

  const T ax = r[VORN_CURVE_CACHE_AX], bx = r[VORN_CURVE_CACHE_BX];
  const T ay = r[VORN_CURVE_CACHE_AY], by = r[VORN_CURVE_CACHE_BY];

  if (is_straight (ax, bx, ay, by, dy))
    return y0 + u * dy;

  /* Bracket u in the table of X(0.1 k) and interpolate a first t.  T(0) = 0
   * and T(10) = 1 are implied; tab[k] is T(k) for k = 1 .. 9. */
  const T *tab = r + VORN_CURVE_CACHE_T1 - 1;
  int k = 0;
  while (k < 9 && u >= tab[k + 1])
    k++;
  const T lo_x = k ? tab[k] : T (0);
  const T hi_x = k < 9 ? tab[k + 1] : T (1);
  /* The reciprocal of the bracket's width, as the kernels keep it per
   * table entry. */
  T t = (T (k) + (u - lo_x) * (T (1) / (hi_x - lo_x))) * T (0.1);

  const T A = T (1) + ax - bx, B = bx - T (2) * ax, C = ax;
  T d = (T (3) * A * t + T (2) * B) * t + C;

  if (d >= T (NEWTON_MIN_SLOPE))
    {
      for (int i = 0; i < 4; i++)
        {
          if (i)
            {
              d = (T (3) * A * t + T (2) * B) * t + C;
              if (d == T (0))
                break;
            }
          const T step = (((A * t + B) * t + C) * t - u) / d;
          t -= step;
          if ((step < T (0) ? -step : step) < newton_tolerance<T> ())
            break;
        }
      /* A later step on a nearly flat stretch may overshoot the segment. */
      t = t < T (0) ? T (0) : (t > T (1) ? T (1) : t);
    }
  else if (d != T (0))
    t = bisect (A, B, C, u, T (k));

  const T Ay = y_rise (dy) + ay - by, By = by - T (2) * ay, Cy = ay;
  return ((Ay * t + By) * t + Cy) * (t * y_scale (dy)) + y0;
}

} // namespace curve_eval
} // namespace
