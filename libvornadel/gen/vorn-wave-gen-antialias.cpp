/* vorn-wave-gen-antialias.cpp: band-limited step and ramp residuals for
 * oscillator waves.
 *
 * A curve sampled as drawn aliases because of its value jumps and its
 * corners (slope jumps): their spectra fall only as 1/f and 1/f^2.  Where
 * the walk crosses a segment join or the loop seam between two samples, the
 * difference between a band-limited step (or ramp) and the sampled one is
 * added around the crossing, scaled by the jump at that moment.  The
 * residuals come from a Kaiser-windowed sinc, linear phase, so the harmonics
 * below the cut-off keep their levels and phases; the price is a delay of
 * VORN_WAVE_AA_HALF samples, which lets the corrections reach back before a
 * crossing.
 *
 * All render variants call this one scalar code after their curve stage,
 * so they add the same numbers in the same order. */
#include "vorn-wave-gen-antialias.h"

#include "vorn-curve-cache-eval.h"
#include "vorn-curve-cache.h"
#include "vorn-wave-gen.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace {

constexpr int HALF = VORN_WAVE_AA_HALF;
constexpr int TAPS = 2 * HALF;
constexpr int OS = 64;          /* table points per sample */
constexpr double CUTOFF = 0.45; /* cycles per sample */
constexpr double BETA = 10.0;   /* Kaiser window */
constexpr int FRAG = VORN_FRAGMENT_SIZE;
constexpr int REC = VORN_CURVE_CACHE_RECORD_LEN;

/* A segment narrower than this share of the samples' spacing is taken as a
 * step at its middle: its ramp residuals would be too large to cancel
 * exactly. */
constexpr double NARROW = 0.25;

/* The same for a segment with a vertical tangent at an edge: below half a
 * spacing the root residuals of its two edges overlap worse than a step
 * (a drop 0.3 samples wide: 17 dB more aliasing). */
constexpr double NARROW_ROOT = 0.5;

/* A segment with a vertical tangent at both ends narrower than this many
 * sample spacings is taken as a staircase of STAIR_STEPS steps: the root
 * expansions of its two edges overlap there and miss each other's
 * curvature (a drop a sample wide aliased at -55 dB, one of four samples
 * at -83 dB), while steps a quarter sample apart or closer, each at the
 * centre of its part of the rise, follow the segment's own shape (-113 dB
 * or better at every width up to this). */
constexpr double STAIR = 8.0;
constexpr int STAIR_STEPS = VORN_WAVE_AA_STAIR_STEPS;

/* Joins whose value and per-sample slope change by no more than this share
 * of the curve's range are taken as smooth: rounding leaves such tiny
 * jumps at the joins of a smooth curve (a sine), and their residuals
 * (at most about 140 dB down) are not worth the work. */
constexpr double TOLERANCE = 1e-7;

/* step[j][k], ramp[j][k]: the band-limited unit step and unit ramp at
 * x = k - HALF + j / OS samples from the discontinuity. */
struct Tables
{
  double step[OS + 1][TAPS];
  double ramp[OS + 1][TAPS];
  /* The band-limited root sqrt(max(0, -x)) at x = n / OS - HALF (the
   * edge of a vertical tangent, the segment before it); smooth, unlike
   * its residual, so it interpolates well. */
  double root[TAPS * OS + 1];
  /* The same for max(0, -x)^1.5, the expansion's next term. */
  double root3[TAPS * OS + 1];
};

Tables tables;

double
bessel_i0 (double x)
{
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 50; k++)
    {
      term *= (x / (2.0 * k)) * (x / (2.0 * k));
      sum += term;
      if (term < sum * 1e-17)
        break;
    }
  return sum;
}

void
build_tables ()
{
  /* Integrated on a grid four times finer than the tables (trapezoids). */
  constexpr int FINE = 4 * OS;
  constexpr int N = TAPS * FINE;
  static double h[N + 1], step[N + 1], ramp[N + 1];
  const double i0b = bessel_i0 (BETA);
  for (int n = 0; n <= N; n++)
    {
      const double x = double (n) / FINE - HALF;
      const double r = x / HALF;
      const double w = bessel_i0 (BETA * std::sqrt (std::fmax (0.0, 1.0 - r * r))) / i0b;
      const double a = 2.0 * M_PI * CUTOFF * x;
      h[n] = 2.0 * CUTOFF * (x == 0.0 ? 1.0 : std::sin (a) / a) * w;
    }
  step[0] = 0.0;
  for (int n = 1; n <= N; n++)
    step[n] = step[n - 1] + 0.5 * (h[n - 1] + h[n]) / FINE;
  const double total = step[N];
  ramp[0] = 0.0;
  for (int n = 0; n <= N; n++)
    step[n] /= total;
  for (int n = 1; n <= N; n++)
    ramp[n] = ramp[n - 1] + 0.5 * (step[n - 1] + step[n]) / FINE;
  for (int j = 0; j <= OS; j++)
    for (int k = 0; k < TAPS; k++)
      {
        const int n = k * FINE + j * (FINE / OS);
        tables.step[j][k] = n <= N ? step[n] : 1.0;
        tables.ramp[j][k] = n <= N ? ramp[n] : ramp[N] + double (n - N) / FINE;
      }
  /* The root's convolution with the kernel, in w = sqrt(-v) where the
   * integrand is smooth: the integral of 2 w^2 h(x + w^2) over the kernel's
   * reach (Simpson's rule, h interpolated from its grid). */
  auto kernel = [&] (double x) {
    const double p = (x + HALF) * FINE;
    if (!(p >= 0.0 && p < N))
      return 0.0;
    const int n = int (p);
    return h[n] + (p - n) * (h[n + 1] - h[n]);
  };
  constexpr int STEPS = 400;
  for (int n = 0; n <= TAPS * OS; n++)
    {
      const double x = double (n) / OS - HALF;
      const double w0 = std::sqrt (std::fmax (0.0, -x - HALF)), w1 = std::sqrt (std::fmax (0.0, HALF - x));
      const double dw = (w1 - w0) / STEPS;
      double sum = 0.0, sum3 = 0.0;
      for (int k = 0; k <= STEPS; k++)
        {
          const double w = w0 + k * dw;
          const double c = (k == 0 || k == STEPS ? 1.0 : (k % 2 ? 4.0 : 2.0)) * 2.0 * w * w * kernel (x + w * w);
          sum += c;
          sum3 += c * w * w;
        }
      tables.root[n] = sum * dw / 3.0 / total;
      tables.root3[n] = sum3 * dw / 3.0 / total;
    }
}

/* Shape of a record's edge with a vertical tangent: with d the position
 * distance into the segment, its value goes as
 * edge value + c_root * sqrt (d) + c_line * d + c_root3 * d^1.5 + O(d^2).
 * FALSE when the edge has no vertical tangent. */
template <typename T>
bool
root_shape (const T *r, bool end, double *c_root, double *c_line, double *c_root3 = nullptr)
{
  const double dx = r[VORN_CURVE_CACHE_DX], dy = r[VORN_CURVE_CACHE_DY];
  const double ax = r[VORN_CURVE_CACHE_AX], bx = r[VORN_CURVE_CACHE_BX];
  const double ay = r[VORN_CURVE_CACHE_AY], by = r[VORN_CURVE_CACHE_BY];
  /* Cubic coefficients in the parameter's distance u from the edge,
   * X and Y measured from the edge inwards. */
  auto coeffs = [end] (double a, double b, double q[3]) {
    const double p1 = a, p2 = b - 2.0 * a, p3 = a - b + 1.0;
    if (end)
      q[0] = p1 + 2.0 * p2 + 3.0 * p3, q[1] = -(p2 + 3.0 * p3), q[2] = p3;
    else
      q[0] = p1, q[1] = p2, q[2] = p3;
  };
  double qx[3], qy[3];
  coeffs (ax, bx, qx);
  coeffs (ay, by, qy);
  if (dy == 0.0 || !(dx > 0.0) || std::fabs (qx[0]) > 1e-9 || !(qx[1] > 1e-9))
    return false;
  /* X = A u^2 + B u^3, so with s = sqrt (X / A),
   * u = s + k2 s^2 + k3 s^3 + ... */
  const double A = qx[1], B = qx[2];
  const double k2 = -B / (2.0 * A), k3 = 5.0 * B * B / (8.0 * A * A);
  const double side = end ? -dy : dy, da = dx * A;
  *c_root = side * qy[0] / std::sqrt (da);
  *c_line = side * (qy[0] * k2 + qy[1]) / da;
  if (c_root3)
    *c_root3 = side * (qy[0] * k3 + 2.0 * qy[1] * k2 + qy[2]) / (da * std::sqrt (da));
  return true;
}

/* The slope ratio dY/dX of a record's normalised polynomials at its start
 * or end: the ratio of the first derivatives that do not both vanish.  At a
 * vertical tangent, the line part of the value's root expansion. */
template <typename T>
double
slope_ratio (const T *r, bool end)
{
  const double ax = r[VORN_CURVE_CACHE_AX], bx = r[VORN_CURVE_CACHE_BX];
  const double ay = r[VORN_CURVE_CACHE_AY], by = r[VORN_CURVE_CACHE_BY];
  constexpr double EPS = 1e-9;
  double d1x, d1y, d2x, d2y;
  if (end)
    {
      d1x = 3.0 - bx, d1y = 3.0 - by;
      d2x = 6.0 + 2.0 * ax - 4.0 * bx, d2y = 6.0 + 2.0 * ay - 4.0 * by;
    }
  else
    {
      d1x = ax, d1y = ay;
      d2x = bx - 2.0 * ax, d2y = by - 2.0 * ay;
    }
  if (std::fabs (d1x) > EPS)
    return d1y / d1x;
  double c_root, c_line;
  if (std::fabs (d1y) > EPS && root_shape (r, end, &c_root, &c_line))
    {
      /* The root's line part (its residual carries the rest), per the
       * position's direction. */
      const double dx = r[VORN_CURVE_CACHE_DX], dy = r[VORN_CURVE_CACHE_DY];
      return (end ? -c_line : c_line) * dx / dy;
    }
  if (std::fabs (d1y) > EPS)
    return 1.0;
  if (std::fabs (d2x) > EPS)
    return d2y / d2x;
  return 1.0;
}

/* Value and slope (per position unit) of record r at its start or end. */
template <typename T>
inline void
edge (const T *r, bool end, double *y, double *slope)
{
  const double dx = r[VORN_CURVE_CACHE_DX], dy = r[VORN_CURVE_CACHE_DY];
  *y = double (r[VORN_CURVE_CACHE_Y0]) + (end ? dy : 0.0);
  *slope = dx > 0.0 && dy != 0.0 ? slope_ratio (r, end) * dy / dx : 0.0;
}

/* Adds the residuals of a jump and a change of the per-sample slope at
 * time te (samples from the fragment's start).  A join smooth to within
 * the state's tolerance (the rounding of a C1 join) adds nothing: its
 * residuals would be below the tolerance too. */
void
emit (VornWaveGenAntialias *aa, double te, double jump, double dslope)
{
  if (std::fabs (jump) <= aa->tol && std::fabs (dslope) <= aa->tol)
    return;
  /* Only times whose taps all fall inside acc: a curve or scale that is not
   * finite gives times that are not either. */
  if (!(te > -1.0 && te <= FRAG + 1.0))
    return;
  const int ms = int (std::ceil (te - HALF));
  const double p0 = (ms - te + HALF) * OS;
  int j = int (p0);
  if (j >= OS)
    j = OS - 1;
  const double f = p0 - j;
  const double x0 = p0 / OS - HALF; /* first tap's distance */
  double *acc = aa->acc + (ms + HALF);
  const double *s0 = tables.step[j], *s1 = tables.step[j + 1];
  const double *r0 = tables.ramp[j], *r1 = tables.ramp[j + 1];
  for (int k = 0; k < TAPS; k++)
    {
      const double x = x0 + k;
      const double s = s0[k] + f * (s1[k] - s0[k]) - (x >= 0.0 ? 1.0 : 0.0);
      const double r = r0[k] + f * (r1[k] - r0[k]) - (x >= 0.0 ? x : 0.0);
      acc[k] += jump * s + dslope * r;
    }
  if (ms + HALF + TAPS > aa->live)
    aa->live = ms + HALF + TAPS;
}

/* Adds the residuals of amp * sqrt (t) + amp3 * t^1.5, t the distance in
 * samples from time te, before it (exit) or after it (not exit). */
void
emit_root (VornWaveGenAntialias *aa, double te, double amp, double amp3, bool exit)
{
  if ((std::fabs (amp) <= aa->tol && std::fabs (amp3) <= aa->tol) || !(te > -1.0 && te <= FRAG + 1.0))
    return;
  const int ms = int (std::ceil (te - HALF));
  double *acc = aa->acc + (ms + HALF);
  for (int k = 0; k < TAPS; k++)
    {
      const double x = ms + k - te;
      const double p = ((exit ? x : -x) + HALF) * OS;
      if (!(p >= 0.0 && p < TAPS * OS))
        continue;
      const int n = int (p);
      const double f = p - n, t = std::fmax (0.0, exit ? -x : x), rt = std::sqrt (t);
      const double v = tables.root[n] + f * (tables.root[n + 1] - tables.root[n]);
      const double v3 = tables.root3[n] + f * (tables.root3[n + 1] - tables.root3[n]);
      acc[k] += amp * (v - rt) + amp3 * (v3 - t * rt);
    }
  if (ms + HALF + TAPS > aa->live)
    aa->live = ms + HALF + TAPS;
}

template <typename T> bool vertical (const T *r, bool end);

/* The staircase of record r (see STAIR): each step's position from the
 * record's start (position units) and its rise (curve units).  A step
 * sits at the centroid of its part of the rise, by Simpson's rule. */
template <typename T>
void
staircase (const T *r, double *at, double *rise)
{
  const double dx = r[VORN_CURVE_CACHE_DX];
  auto value = [r] (double u) { return double (curve_eval::solve_segment (r, static_cast<const T *> (nullptr), T (u))); };
  double ya = value (0.0);
  for (int k = 0; k < STAIR_STEPS; k++)
    {
      const double a = double (k) / STAIR_STEPS, b = double (k + 1) / STAIR_STEPS;
      const double ym = value (0.5 * (a + b)), yb = value (b), d = yb - ya;
      const double area = (b - a) / 6.0 * (4.0 * (ym - ya) + d);
      const double c = d != 0.0 ? b - area / d : 0.5 * (a + b);
      at[k] = dx * (c < a ? a : (c > b ? b : c));
      rise[k] = d;
      ya = yb;
    }
}

/* Walker over the joins crossed between two samples, in time order. */
template <typename T>
struct Crossing
{
  VornWaveGenAntialias *aa;
  const T *first, *last;
  double ys;    /* y scale */
  double t0;    /* time of the left sample */
  double inc;   /* position increment between the samples */
  double y, sl; /* value and slope before the next join */
  double travel;
  double tpos; /* position of the sample after the pair in its record */

  /* Share of the pair's interval at which distance d is reached (within
   * the interval: rounding of the walk may leave it just outside). */
  double frac (double d) const
  {
    const double f = d / std::fabs (inc);
    return f < 0.0 ? 0.0 : (f > 1.0 ? 1.0 : f);
  }

  /* Whether r is walked as a staircase at this pair's increment. */
  bool stair (const T *r) const
  {
    return double (r[VORN_CURVE_CACHE_DX]) < STAIR * std::fabs (inc) && vertical (r, false) && vertical (r, true);
  }

  /* The steps of the staircase entered last passed from position from to
   * position to (at distance travel from the pair's first sample): their
   * residuals, and the value y follows. */
  void climb (double from, double to)
  {
    const double *at = aa->stair_at, *rise = aa->stair_rise;
    for (int k = 0; k < STAIR_STEPS; k++)
      {
        const bool up = from < at[k] && at[k] <= to, down = to < at[k] && at[k] <= from;
        if (!up && !down)
          continue;
        const double jump = up ? rise[k] : -rise[k];
        emit (aa, t0 + frac (travel + std::fabs (at[k] - from)), jump * ys, 0.0);
        y += jump;
      }
  }

  /* Enters staircase r (see enter()).  The staircase is level between its
   * steps: the slope before it ends where it starts. */
  bool enter_stair (const T *r, const T *target)
  {
    const bool fwd = inc > 0.0;
    const double dx = r[VORN_CURVE_CACHE_DX];
    const double from = fwd ? 0.0 : dx;
    const double yin = double (r[VORN_CURVE_CACHE_Y0]) + (fwd ? 0.0 : double (r[VORN_CURVE_CACHE_DY]));
    emit (aa, t0 + frac (travel), (yin - y) * ys, -sl * inc * ys);
    y = yin;
    sl = 0.0;
    staircase (r, aa->stair_at, aa->stair_rise);
    if (r != target)
      {
        climb (from, dx - from);
        travel += dx;
        return true;
      }
    /* The next sample lands on the staircase: it takes the staircase's
     * value there, and the next pair climbs on from it. */
    climb (from, tpos);
    aa->in_at = int (t0) + 1;
    aa->in_model = aa->in_y = y;
    aa->in_slope = 0.0;
    aa->in_stair = TRUE;
    return false;
  }

  /* Enters record r (at distance travel); FALSE when r is where the walk
   * ends (target) after entering it. */
  bool enter (const T *r, const T *target)
  {
    const bool fwd = inc > 0.0;
    const double dx = r[VORN_CURVE_CACHE_DX];
    double ny, ns;
    if (stair (r))
      return enter_stair (r, target);
    if (dx < (vertical (r, true) || vertical (r, false) ? NARROW_ROOT : NARROW) * std::fabs (inc))
      {
        /* A step at the segment's middle, then the slope before it goes
         * on. */
        edge (r, fwd, &ny, &ns);
        if (r != target)
          {
            emit (aa, t0 + frac (travel + 0.5 * dx), (ny - y) * ys, 0.0);
            y = ny;
            travel += dx;
            return true;
          }
        /* The next sample lands inside: it takes the step model's value,
         * on the side of the step its position gives, and the step's time
         * agrees with that side exactly. */
        const double in = fwd ? tpos : dx - tpos;
        const double s = sl * (fwd ? 1.0 : -1.0);
        const bool before = in < 0.5 * dx;
        emit (aa, t0 + 1.0 + (0.5 * dx - in) / std::fabs (inc), (ny - y) * ys, 0.0);
        aa->in_at = int (t0) + 1;
        aa->in_model = before ? y + s * in : ny - s * (dx - in);
        aa->in_y = ny;
        aa->in_slope = sl;
        aa->in_stair = FALSE;
        return false;
      }
    edge (r, !fwd, &ny, &ns);
    emit (aa, t0 + frac (travel), (ny - y) * ys, (ns - sl) * inc * ys);
    root (r, !fwd, t0 + frac (travel), false);
    if (r == target)
      return false;
    edge (r, fwd, &y, &sl);
    travel += dx;
    root (r, fwd, t0 + frac (travel), true);
    return true;
  }

  /* Near an edge with a vertical tangent the value goes as the root of
   * the distance, which no ramp residual follows: its own residual, at
   * time te, where the walk leaves r (exit) or enters it. */
  void root (const T *r, bool end, double te, bool exit)
  {
    double c_root, c_line, c_root3;
    const double w = std::fabs (inc);
    if (root_shape (r, end, &c_root, &c_line, &c_root3))
      emit_root (aa, te, c_root * std::sqrt (w) * ys, c_root3 * w * std::sqrt (w) * ys, exit);
  }

  const T *step (const T *r) const
  {
    if (inc > 0.0)
      return r == last ? first : r + REC;
    return r == first ? last : r - REC;
  }

  /* From record r to target; with seam set, stops at the loop seam instead
   * (FALSE), else TRUE. */
  bool walk (const T *r, const T *target, bool seam)
  {
    /* Bounded: a walk passes each record at most twice. */
    const gsize limit = 2 * (gsize (last - first) / REC + 1) + 2;
    for (gsize n = 0; n < limit; n++)
      {
        const bool wraps = inc > 0.0 ? r == last : r == first;
        if (wraps && seam)
          return false;
        r = step (r);
        if (!enter (r, target))
          return true;
      }
    return true;
  }
};

/* Whether a record's edge has a vertical tangent (see slope_ratio()). */
template <typename T>
bool
vertical (const T *r, bool end)
{
  const double d1x = end ? 3.0 - r[VORN_CURVE_CACHE_BX] : r[VORN_CURVE_CACHE_AX];
  return r[VORN_CURVE_CACHE_DY] != 0.0 && std::fabs (d1x) <= 1e-9;
}

/* Finds whether every join of @cache (the seam included) is smooth to
 * within the tolerance, so that a walk at any increment up to
 * aa->narrowest / NARROW and aa->tol / aa->bend per sample adds nothing. */
template <typename T>
void
survey (VornWaveGenAntialias *aa, VornCurveCache *cache, double ys)
{
  const T *first = static_cast<const T *> (cache->segments);
  const guint32 n = cache->seg_count;
  aa->smooth = TRUE;
  aa->bend = 0.0;
  aa->narrowest = G_MAXDOUBLE;
  for (guint32 k = 0; k < n; k++)
    {
      const T *r = first + gsize (k) * REC, *q = first + gsize ((k + 1) % n) * REC;
      double y0, s0, y1, s1;
      edge (r, true, &y0, &s0);
      edge (q, false, &y1, &s1);
      if (std::fabs ((y1 - y0) * ys) > aa->tol || vertical (r, true) || vertical (r, false))
        aa->smooth = FALSE;
      aa->bend = std::fmax (aa->bend, std::fabs ((s1 - s0) * ys));
      aa->narrowest = std::fmin (aa->narrowest, double (r[VORN_CURVE_CACHE_DX]));
    }
}

/* The largest |v[i]|, i < n; NaN when one is NaN.  The magnitudes' bit
 * patterns order as the values do; integer maxima in four independent
 * chains cost a fraction of a chain of float compares (this runs per
 * fragment of every smooth oscillator). */
template <typename T>
double
largest_magnitude (const T *v, int n)
{
  using U = std::conditional_t<sizeof (T) == 4, gint32, gint64>;
  constexpr U MAG = std::numeric_limits<U>::max ();
  U most[4] = {};
  int i = 0;
  for (; i + 4 <= n; i += 4)
    for (int k = 0; k < 4; k++)
      {
        const U m = std::bit_cast<U> (v[i + k]) & MAG;
        most[k] = m > most[k] ? m : most[k];
      }
  for (; i < n; i++)
    {
      const U m = std::bit_cast<U> (v[i]) & MAG;
      most[0] = m > most[0] ? m : most[0];
    }
  const U m01 = most[0] > most[1] ? most[0] : most[1];
  const U m23 = most[2] > most[3] ? most[2] : most[3];
  return double (std::bit_cast<T> (m01 > m23 ? m01 : m23));
}

template <typename T>
void
events (VornWaveGen *gen, T *cv, const T *pos, const guint8 *run, const T *const *seg, const T *inc,
        bool steady, int a, int b, const T *next, T next_pos, gboolean seam)
{
  VornWaveGenAntialias *aa = gen->aa;
  VornCurveCache *cache = gen->cache;
  if (aa->smooth && !aa->pending && aa->in_at < 0)
    {
      /* A smooth curve (a sine) walked slowly enough that no join can add
       * anything: the same result without the walk. */
      const double most = steady && a < b ? std::fabs (double (inc[a])) : largest_magnitude (inc + a, b - a);
      if (most * aa->bend <= aa->tol && NARROW * most <= aa->narrowest)
        return;
    }
  Crossing<T> c;
  c.aa = aa;
  c.first = static_cast<const T *> (cache->segments);
  c.last = c.first + gsize (cache->seg_count - 1) * REC;
  double yo;
  if constexpr (sizeof (T) == sizeof (float))
    c.ys = gen->y_scale.f, yo = gen->y_ofs.f;
  else
    c.ys = gen->y_scale.d, yo = gen->y_ofs.d;

  auto right_of = [&] (int i) -> const T * { return i < b ? seg[run[i]] : next; };
  auto pos_of = [&] (int i) -> double { return i < b ? pos[i] : next_pos; };

  if (aa->pending)
    {
      /* The seam crossing that waited for the morphed records. */
      aa->pending = FALSE;
      const T *target = right_of (a);
      if (target)
        {
          c.t0 = aa->pend_at;
          c.inc = aa->pend_inc;
          c.y = aa->pend_y;
          c.sl = aa->pend_slope;
          c.travel = aa->pend_travel;
          c.tpos = pos_of (a);
          const T *r = c.inc > 0.0 ? c.first : c.last;
          if (c.enter (r, target))
            c.walk (r, target, false);
        }
    }

  /* The run number grows by one at every segment change, so the samples
   * before a crossing are found by bisection, not by a scan. */
  for (int i = a; i < b; i++)
    {
      /* A sample on a staircase starts a pair of its own, even where the
       * next one is on the staircase too. */
      if (i + 1 < b && aa->in_at != i)
        {
          if (run[b - 1] == run[i])
            i = b - 1;
          else
            {
              int lo = i, hi = b - 1;
              while (hi - lo > 1)
                {
                  const int mid = (lo + hi) / 2;
                  (run[mid] == run[i] ? lo : hi) = mid;
                }
              i = lo;
            }
        }
      const T *r = seg[run[i]];
      c.inc = inc[i];
      const bool fwd = c.inc > 0.0;
      bool crossed;
      if (i + 1 < b)
        crossed = true;
      else if (next)
        crossed = next != r || (fwd ? next_pos < pos[i] : next_pos > pos[i]);
      else
        crossed = seam;
      if ((!crossed && aa->in_at != i) || !(c.inc != 0.0))
        continue;
      c.t0 = i;
      const bool inside = aa->in_at == i;
      if (inside)
        {
          /* Sample i is inside a segment taken as a step: the model's
           * value replaces the raw one, and the walk goes on from the
           * step's far side with the slope from before it. */
          aa->in_at = -1;
          aa->acc[i + HALF] += aa->in_model * c.ys + yo - double (cv[i]);
          if (i + HALF + 1 > aa->live)
            aa->live = i + HALF + 1;
          c.y = aa->in_y;
          c.sl = aa->in_slope;
        }
      else
        edge (r, fwd, &c.y, &c.sl);
      c.tpos = pos_of (i + 1);
      const T *target = i + 1 < b ? seg[run[i + 1]] : next;
      if (inside && aa->in_stair)
        {
          /* Up the rest of the staircase, or to the next sample on it. */
          c.travel = 0.0;
          const double here = pos[i], exit = fwd ? double (r[VORN_CURVE_CACHE_DX]) : 0.0;
          const bool stays = target == r && (fwd ? c.tpos >= here : c.tpos <= here);
          c.climb (here, stays ? c.tpos : exit);
          if (stays)
            {
              aa->in_at = i + 1;
              aa->in_model = aa->in_y = c.y;
              continue;
            }
        }
      c.travel = fwd ? double (r[VORN_CURVE_CACHE_DX]) - double (pos[i]) : double (pos[i]);
      if (c.travel < 0.0)
        c.travel = 0.0;
      if (!inside)
        c.root (r, fwd, c.t0 + c.frac (c.travel), true);
      if (i + 1 == b && seam)
        {
          if (!c.walk (r, nullptr, true))
            {
              aa->pending = TRUE;
              aa->pend_at = i;
              aa->pend_inc = c.inc;
              aa->pend_y = c.y;
              aa->pend_slope = c.sl;
              aa->pend_travel = c.travel;
            }
          continue;
        }
      c.walk (r, target, false);
    }
}

template <typename T>
void
output (VornWaveGen *gen, T *cv)
{
  VornWaveGenAntialias *aa = gen->aa;
  if (aa->in_at >= 0)
    aa->in_at -= FRAG;
  /* Corrections reach only the first aa->live samples. */
  const int live = aa->live;
  if (live == 0)
    return;
  const int add = live < FRAG ? live : FRAG;
  for (int n = 0; n < add; n++)
    cv[n] = T (double (cv[n]) + aa->acc[n]);
  const int rest = live - add;
  if (rest > 0)
    memmove (aa->acc, aa->acc + FRAG, rest * sizeof (double));
  memset (aa->acc + rest, 0, (live - rest) * sizeof (double));
  aa->live = rest;
}

} // namespace

VornWaveGenAntialias *
vorn_wave_gen_antialias_new (VornCurveCache *cache, gboolean morphs, double y_scale, double start,
                             double range)
{
  static gsize built = 0;
  if (g_once_init_enter (&built))
    {
      build_tables ();
      g_once_init_leave (&built, 1);
    }
  VornWaveGenAntialias *aa = g_new0 (VornWaveGenAntialias, 1);
  for (int n = 0; n < HALF; n++)
    if (cache->format == VORN_FORMAT_DOUBLE)
      aa->tail.d[n] = start;
    else
      aa->tail.f[n] = float (start);
  aa->tol = TOLERANCE * std::fabs (range);
  if (!morphs && cache->format == VORN_FORMAT_DOUBLE)
    survey<double> (aa, cache, y_scale);
  else if (!morphs)
    survey<float> (aa, cache, float (y_scale));
  aa->in_at = -1;
  return aa;
}

void
vorn_wave_gen_antialias_events_F (VornWaveGen *gen, float *cv, const float *pos, const guint8 *run,
                                  const float *const *seg, const float *inc, gboolean steady, int a,
                                  int b, const float *next, float next_pos, gboolean seam)
{
  events<float> (gen, cv, pos, run, seg, inc, steady, a, b, next, next_pos, seam);
}

void
vorn_wave_gen_antialias_events_D (VornWaveGen *gen, double *cv, const double *pos, const guint8 *run,
                                  const double *const *seg, const double *inc, gboolean steady, int a,
                                  int b, const double *next, double next_pos, gboolean seam)
{
  events<double> (gen, cv, pos, run, seg, inc, steady, a, b, next, next_pos, seam);
}

void
vorn_wave_gen_antialias_output_F (VornWaveGen *gen, float *cv)
{
  output<float> (gen, cv);
}

void
vorn_wave_gen_antialias_output_D (VornWaveGen *gen, double *cv)
{
  output<double> (gen, cv);
}
