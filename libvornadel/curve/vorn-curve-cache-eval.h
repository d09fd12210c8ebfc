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
 * table's first guess), below the format's precision.  From the Hermite
 * guess (hermite_guess()) most single-precision samples stop after the
 * first step. */
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

/* Slope X'(t) of the normalised x polynomial, with A3 = 3 Ax, B2 = 2 Bx. */
template <typename T>
inline T
x_slope (T A3, T B2, T C, T t)
{
  return (A3 * t + B2) * t + C;
}

/* X(t) - u, in two halves that do not wait for each other: the chain of
 * dependent operations is four long instead of Horner's six, and it is
 * the Newton step's. */
template <typename T>
inline T
x_residual (T A, T B, T C, T t, T u)
{
  return (A * t + B) * (t * t) + (C * t - u);
}

/* The first guess within the table bracket k, [T(k), T(k+1)] of width w:
 * the cubic Hermite curve of the inverse t(u) through the bracket's ends,
 * with the slopes X' has there.  It sits much closer to the root than the
 * straight line between the ends, so that one Newton step usually meets the
 * tolerance instead of two.  In bracket units the inverse's slope at an end
 * is w * 10 / X'(t); bend is that slope less 1 (0: the straight line),
 * with the slope held to [0, 3], the range in which the curve cannot fold
 * back, and a meaningless one (a flat or falling X) taken as straight. */
template <typename T>
inline T
hermite_bend (T w, T slope)
{
  T m = w * T (10) / slope;
  m = m > T (3) ? T (3) : m;
  return (m >= T (0) ? m : T (1)) - T (1);
}

/* t at s = (u - T(k)) / w within bracket k (kf = k), with the bends of its
 * two ends; s alone (both bends 0) is the straight line.  Written once for
 * scalars and vectors alike. */
template <typename T, typename S>
inline T
hermite_guess (T s, T bend0, T bend1, T kf)
{
  const T q = S (1) - s;
  return (kf + (s + (s * q) * (bend0 * q - bend1 * s))) * S (0.1);
}

/* Evaluation tables derived from each record, kept in the cache's storage
 * after the records (see prepared()), so that a generator loads them
 * instead of deriving them again whenever it meets the record.  Rows of 16
 * values load whole into registers of every width. */
constexpr int PREP_EXT = 0;      /* 0, T1 .. T9, 1 (then 1): the bracket ends */
constexpr int PREP_INV = 16;     /* 1 / (ext[k + 1] - ext[k]), k = 0 .. 9 */
constexpr int PREP_BEND0 = 32;   /* hermite_bend of each bracket's start */
constexpr int PREP_BEND1 = 48;   /* and of its end */
constexpr int PREP_SCALARS = 64; /* the values below */
/* A smooth segment's values straight from u (see fit_value()): FIT_PIECES
 * pieces of equal width in u, each a polynomial of degree FIT_DEGREE in
 * its own coordinate; row j holds every piece's coefficient of s^j. */
constexpr int PREP_FIT = 80;
constexpr int FIT_PIECES = 16;
constexpr int FIT_DEGREE = 4;
constexpr int PREP_LEN = PREP_FIT + (FIT_DEGREE + 1) * FIT_PIECES;

/* Slots of the scalar row: the polynomial coefficients as solve_segment()
 * derives them, 1 or 0 for whether the record is straight and whether its
 * table rises (never falls). */
enum { PREP_A, PREP_B, PREP_C, PREP_A3, PREP_B2, PREP_AY, PREP_BY, PREP_CY, PREP_YS, PREP_RDX,
       PREP_STRAIGHT, PREP_RISES, PREP_FITTED };

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

/* Fills the evaluation tables p of record r, with the arithmetic of
 * solve_segment(), which computes the same values for its own bracket. */
template <typename T>
inline void
prepare_record (const T *r, T *p)
{
  const T dx = r[VORN_CURVE_CACHE_DX], dy = r[VORN_CURVE_CACHE_DY];
  const T ax = r[VORN_CURVE_CACHE_AX], bx = r[VORN_CURVE_CACHE_BX];
  const T ay = r[VORN_CURVE_CACHE_AY], by = r[VORN_CURVE_CACHE_BY];
  const T A = T (1) + ax - bx, B = bx - T (2) * ax, C = ax;
  const T A3 = T (3) * A, B2 = T (2) * B;
  const T *tab = r + VORN_CURVE_CACHE_T1;

  T *ext = p + PREP_EXT;
  ext[0] = T (0);
  for (int k = 1; k < 16; k++)
    ext[k] = k <= 9 ? tab[k - 1] : T (1);
  for (int k = 0; k < 16; k++)
    {
      T inv = T (0), bend0 = T (0), bend1 = T (0);
      if (k < 10)
        {
          const T w = ext[k + 1] - ext[k];
          inv = T (1) / w;
          bend0 = hermite_bend (w, x_slope (A3, B2, C, T (k) * T (0.1)));
          bend1 = hermite_bend (w, x_slope (A3, B2, C, T (k + 1) * T (0.1)));
        }
      p[PREP_INV + k] = inv;
      p[PREP_BEND0 + k] = bend0;
      p[PREP_BEND1 + k] = bend1;
    }

  bool rises = true;
  for (int j = 1; j < 9; j++)
    rises = rises && tab[j] >= tab[j - 1];
  T *sc = p + PREP_SCALARS;
  for (int j = 0; j < 16; j++)
    sc[j] = T (0);
  sc[PREP_A] = A;
  sc[PREP_B] = B;
  sc[PREP_C] = C;
  sc[PREP_A3] = A3;
  sc[PREP_B2] = B2;
  sc[PREP_AY] = y_rise (dy) + ay - by;
  sc[PREP_BY] = by - T (2) * ay;
  sc[PREP_CY] = ay;
  sc[PREP_YS] = y_scale (dy);
  sc[PREP_RDX] = reciprocal_width (dx);
  sc[PREP_STRAIGHT] = is_straight (ax, bx, ay, by, dy) ? T (1) : T (0);
  sc[PREP_RISES] = rises ? T (1) : T (0);
  /* Fitting is the cache's to do where it may take the time. */
  sc[PREP_FITTED] = T (0);
  for (int j = 0; j < (FIT_DEGREE + 1) * FIT_PIECES; j++)
    p[PREP_FIT + j] = T (0);
}

/* Whether tables p hold a fit (fit_value() answers the segment). */
template <typename T>
inline bool
fitted (const T *p)
{
  return p && p[PREP_SCALARS + PREP_FITTED] != T (0);
}

/* The piece of u * FIT_PIECES (0 for NaN, the last one for the end), as
 * the kernels compute it lane by lane. */
template <typename T>
inline int
fit_piece (T u16)
{
  return u16 >= T (0) && u16 < T (FIT_PIECES) ? int (u16) : FIT_PIECES - 1;
}

/* The fitted value at u in (0, 1): the piece's polynomial at s, u's
 * position within the piece, by Horner's rule.  For a smooth segment this
 * replaces the root search with five lookups and four multiply-adds; the
 * cache fits a segment only where the polynomial meets the root search's
 * precision everywhere (vorn-curve-cache.cpp). */
template <typename T>
inline T
fit_value (const T *p, T u)
{
  const T u16 = u * T (FIT_PIECES);
  const int k = fit_piece (u16);
  const T s = u16 - T (k);
  const T *c = p + PREP_FIT + k;
  T y = c[FIT_DEGREE * FIT_PIECES];
  for (int j = FIT_DEGREE - 1; j >= 0; j--)
    y = y * s + c[j * FIT_PIECES];
  return y;
}

/* Bytes of a cache's storage: the records, then from the next 64-byte
 * boundary the evaluation tables of each. */
inline gsize
records_bytes (guint32 seg_count, gsize value)
{
  return ((gsize) seg_count * VORN_CURVE_CACHE_RECORD_LEN * value + 63) & ~gsize (63);
}

inline gsize
storage_bytes (guint32 seg_count, gsize value)
{
  return records_bytes (seg_count, value) + (gsize) seg_count * PREP_LEN * value;
}

/* The evaluation tables of the cache's first record (64-byte aligned);
 * record s has its tables at s * PREP_LEN. */
template <typename T>
inline const T *
prepared (const VornCurveCache *cache)
{
  return reinterpret_cast<const T *> (static_cast<const char *> (cache->segments)
                                      + records_bytes (cache->seg_count, sizeof (T)));
}

/* Value of record r, with evaluation tables p (null for none), at
 * normalised position u (u = (x - x0) / dx, or any u when dx is 0).  This
 * is the audio hot path: no allocation, no branches beyond the ones the
 * method needs, a fixed amount of work per sample. */
template <typename T>
inline T
solve_segment (const T *r, const T *p, T u)
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
  if (fitted (p))
    return fit_value (p, u);

  /* Bracket u in the table of X(0.1 k) and interpolate a first t.  T(0) = 0
   * and T(10) = 1 are implied; tab[k] is T(k) for k = 1 .. 9. */
  const T *tab = r + VORN_CURVE_CACHE_T1 - 1;
  int k = 0;
  while (k < 9 && u >= tab[k + 1])
    k++;
  const T lo_x = k ? tab[k] : T (0);
  const T hi_x = k < 9 ? tab[k + 1] : T (1);
  const T w = hi_x - lo_x;
  const T A = T (1) + ax - bx, B = bx - T (2) * ax, C = ax;
  const T A3 = T (3) * A, B2 = T (2) * B;
  /* The reciprocal of the bracket's width, as the kernels keep it per
   * table entry. */
  const T s = (u - lo_x) * (T (1) / w);
  T t = hermite_guess<T, T> (s, hermite_bend (w, x_slope (A3, B2, C, T (k) * T (0.1))),
                             hermite_bend (w, x_slope (A3, B2, C, T (k + 1) * T (0.1))), T (k));

  T d = x_slope (A3, B2, C, t);

  if (d >= T (NEWTON_MIN_SLOPE))
    {
      for (int i = 0; i < 4; i++)
        {
          if (i)
            {
              d = x_slope (A3, B2, C, t);
              if (d == T (0))
                break;
            }
          const T step = x_residual (A, B, C, t, u) / d;
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
