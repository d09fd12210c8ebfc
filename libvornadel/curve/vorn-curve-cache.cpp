/* vorn-curve-cache.cpp: prepared curve segments, their evaluation and the
 * process-wide registry of shared caches */
#include "vorn-curve-cache.h"

#include "vorn-aligned.h"
#include "vorn-curve-cache-eval.h"
#include "vorn-init.h"
#include "vorn-render-context.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

enum {
  PROP_0,
  PROP_SEG_COUNT,
  PROP_FORMAT,
  PROP_END_POS,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

G_DEFINE_TYPE (VornCurveCache, vorn_curve_cache, G_TYPE_OBJECT)

namespace {

constexpr int REC = VORN_CURVE_CACHE_RECORD_LEN;

inline gsize
value_bytes (guint8 format)
{
  return format == VORN_FORMAT_SINGLE ? sizeof (float) : sizeof (double);
}

/* The value of record r at u to double precision: the root of X(t) = u
 * (X rises wherever a record is fitted), then Y(t), both from the record's
 * own rounded coefficients. */
template <typename T>
double
exact_value (const T *r, const T *p, double u)
{
  const T *sc = p + curve_eval::PREP_SCALARS;
  const double A = sc[curve_eval::PREP_A], B = sc[curve_eval::PREP_B], C = sc[curve_eval::PREP_C];
  /* Newton's method kept inside a shrinking bracket of the root. */
  double lo = 0.0, hi = 1.0, t = u < 0.0 ? 0.0 : (u > 1.0 ? 1.0 : u);
  for (int i = 0; i < 60; i++)
    {
      const double f = ((A * t + B) * t + C) * t - u;
      if (f == 0.0)
        break;
      (f < 0.0 ? lo : hi) = t;
      const double d = (3.0 * A * t + 2.0 * B) * t + C;
      double next = d > 0.0 ? t - f / d : 0.5 * (lo + hi);
      if (!(next > lo && next < hi))
        next = 0.5 * (lo + hi);
      if (std::fabs (next - t) <= 1e-16)
        break;
      t = next;
    }
  return ((double (sc[curve_eval::PREP_AY]) * t + double (sc[curve_eval::PREP_BY])) * t
          + double (sc[curve_eval::PREP_CY]))
             * (t * double (sc[curve_eval::PREP_YS]))
         + double (r[VORN_CURVE_CACHE_Y0]);
}

/* Fits record r's pieces (see curve_eval::fit_value()) into its tables p
 * and keeps the fit only when it is as precise as the root search: within
 * 2^-22 of the segment's largest value or rise at every point checked, as
 * the kernels evaluate it.  Single precision only: a double record's root
 * search is precise to far more than a polynomial of this degree.  Each
 * piece interpolates its Chebyshev points, in double precision; the
 * coefficients are then rounded, and the check sees the rounding too. */
template <typename T>
void
fit_record (const T *r, T *p)
{
  using namespace curve_eval;
  constexpr int N = FIT_DEGREE + 1;
  const T *sc = p + PREP_SCALARS;
  if (sizeof (T) != sizeof (float) || r[VORN_CURVE_CACHE_DX] == T (0) || sc[PREP_STRAIGHT] != T (0)
      || sc[PREP_RISES] == T (0))
    return;
  /* X must rise through the whole segment for the bisection to find the
   * root search's t. */
  for (int j = 0; j <= 20; j++)
    if (!(x_slope<double> (sc[PREP_A3], sc[PREP_B2], sc[PREP_C], j / 20.0) > 0.0))
      return;

  T coef[N][FIT_PIECES];
  double scale = std::fabs (double (r[VORN_CURVE_CACHE_DY]));
  for (int k = 0; k < FIT_PIECES; k++)
    {
      double node[N], val[N];
      for (int j = 0; j < N; j++)
        {
          node[j] = 0.5 - 0.5 * std::cos ((2 * j + 1) * G_PI / (2 * N));
          val[j] = exact_value (r, p, (k + node[j]) / FIT_PIECES);
          scale = std::max (scale, std::fabs (val[j]));
        }
      /* Newton's divided differences, then the monomial coefficients. */
      for (int j = 1; j < N; j++)
        for (int i = N - 1; i >= j; i--)
          val[i] = (val[i] - val[i - 1]) / (node[i] - node[i - j]);
      double mono[N] = {};
      for (int j = N - 1; j >= 0; j--)
        {
          for (int i = N - 1; i > 0; i--)
            mono[i] = mono[i - 1] - node[j] * mono[i];
          mono[0] = -node[j] * mono[0] + val[j];
        }
      for (int j = 0; j < N; j++)
        {
          if (!std::isfinite (mono[j]) || std::fabs (mono[j]) > 1e30)
            return;
          coef[j][k] = T (mono[j]);
        }
    }

  T *fit = p + PREP_FIT;
  for (int j = 0; j < N; j++)
    for (int k = 0; k < FIT_PIECES; k++)
      fit[j * FIT_PIECES + k] = coef[j][k];
  const double tol = std::ldexp (scale, -22);
  constexpr int CHECKS = 12;
  for (int k = 0; k < FIT_PIECES; k++)
    for (int i = 0; i <= CHECKS; i++)
      {
        const T u = T ((k + double (i) / CHECKS) / FIT_PIECES);
        if (!(u > T (0) && u < T (1)))
          continue;
        if (!(std::fabs (double (fit_value (p, u)) - exact_value (r, p, double (u))) <= tol))
          {
            for (int j = 0; j < N * FIT_PIECES; j++)
              fit[j] = T (0);
            return;
          }
      }
  p[PREP_SCALARS + PREP_FITTED] = T (1);
}

/* Curves with more segments than this are not fitted (see
 * vorn_curve_cache_new_from_coords()). */
constexpr guint32 FIT_MAX_SEGMENTS = 4096;

/* Fills the evaluation tables of record s from the record, with a fit
 * where the cache takes them. */
template <typename T>
inline void
prepare (VornCurveCache *cache, guint32 s)
{
  T *prep = const_cast<T *> (curve_eval::prepared<T> (cache)) + (gsize) s * curve_eval::PREP_LEN;
  const T *r = static_cast<const T *> (cache->segments) + (gsize) s * REC;
  curve_eval::prepare_record (r, prep);
  if (!cache->unfitted)
    fit_record (r, prep);
}

/* Rounds a double into the record type; absurd handle ratios on very narrow
 * segments would not fit a float, and a float conversion out of range is
 * undefined. */
template <typename T>
inline T
store (double v)
{
  constexpr double lim = std::numeric_limits<T>::max ();
  return T (v > lim ? lim : (v < -lim ? -lim : v));
}

/* Largest normalised coefficient a record may hold: the polynomial
 * coefficients derived from it (sums of up to three of them) and every
 * Horner step then stay finite in the record's precision. */
template <typename T>
constexpr double
coef_limit ()
{
  return double (std::numeric_limits<T>::max ()) / 16.0;
}

template <typename T>
inline T
store_coef (double v)
{
  constexpr double lim = coef_limit<T> ();
  return T (v > lim ? lim : (v < -lim ? -lim : v));
}

/* Fills one record from the segment's four control points.  The
 * coefficients are rounded to the record's precision first and the table is
 * computed from the rounded values, so that table and polynomial agree.
 *
 * Y is normalised by the rise dy like X by the width.  A segment that ends
 * at its start height (dy = 0) cannot be normalised that way, yet its
 * handles still shape it: its record keeps dy = 0 and holds the handle
 * heights themselves, ay = 3 (y1 - y0) and by = 3 (y2 - y0), and evaluation
 * then drops the rise term (see curve_eval::solve_segment).  A rise so small
 * against the handles that the normalised coefficients would not fit the
 * precision is treated as none: the end point moves by less than the
 * precision can tell. */
template <typename T>
void
fill_record (T *r, const double *xs, const double *ys)
{
  const double x0 = xs[0], dx = xs[3] - xs[0];
  const double y0 = ys[0], dy = ys[3] - ys[0];

  r[VORN_CURVE_CACHE_X0] = store<T> (x0);
  r[VORN_CURVE_CACHE_DX] = store<T> (dx);
  r[VORN_CURVE_CACHE_Y0] = store<T> (y0);
  r[VORN_CURVE_CACHE_DY] = store<T> (dy);

  /* The zero tests are made on the stored values, which are what evaluation
   * sees: a width that rounds to 0 must not leave huge coefficients. */
  const bool flat_x = r[VORN_CURVE_CACHE_DX] == T (0);
  r[VORN_CURVE_CACHE_AX] = flat_x ? T (0) : store_coef<T> (3.0 * (xs[1] - x0) / dx);
  r[VORN_CURVE_CACHE_BX] = flat_x ? T (0) : store_coef<T> (3.0 * (xs[2] - x0) / dx);

  const double ha = 3.0 * (ys[1] - y0), hb = 3.0 * (ys[2] - y0);
  bool flat_y = r[VORN_CURVE_CACHE_DY] == T (0);
  if (!flat_y)
    {
      const double ay = ha / dy, by = hb / dy;
      constexpr double lim = coef_limit<T> ();
      flat_y = !(std::fabs (ay) <= lim && std::fabs (by) <= lim);
      r[VORN_CURVE_CACHE_AY] = T (ay);
      r[VORN_CURVE_CACHE_BY] = T (by);
    }
  if (flat_y)
    {
      r[VORN_CURVE_CACHE_DY] = T (0);
      r[VORN_CURVE_CACHE_AY] = store_coef<T> (ha);
      r[VORN_CURVE_CACHE_BY] = store_coef<T> (hb);
    }

  const T ax = r[VORN_CURVE_CACHE_AX], bx = r[VORN_CURVE_CACHE_BX];
  const T A = T (1) + ax - bx, B = bx - T (2) * ax, C = ax;
  for (int k = 1; k <= 9; k++)
    {
      const T t = T (k) / T (10);
      r[VORN_CURVE_CACHE_T1 + k - 1] = ((A * t + B) * t + C) * t;
    }
}

/* Value of one record at x, for an x that selected this record. */
template <typename T>
inline T
eval_record (const T *r, const T *p, T x)
{
  const T dx = r[VORN_CURVE_CACHE_DX];

  if (dx == T (0))
    return r[VORN_CURVE_CACHE_Y0];
  return curve_eval::solve_segment (r, p, (x - r[VORN_CURVE_CACHE_X0]) * curve_eval::reciprocal_width (dx));
}

template <typename T>
double
plot_records (const T *segs, const T *prep, guint32 nseg, double end_pos, double x)
{
  const T xt = T (x);
  const T *r = segs;

  for (guint32 s = 0; s < nseg; s++, r += REC)
    {
      if (xt < r[VORN_CURVE_CACHE_X0] + r[VORN_CURVE_CACHE_DX])
        return eval_record (r, prep + (gsize) s * curve_eval::PREP_LEN, xt);
    }

  /* The last segment also owns its end point. */
  r -= REC;
  if (xt <= r[VORN_CURVE_CACHE_X0] + r[VORN_CURVE_CACHE_DX] || x <= end_pos)
    return eval_record (r, prep + (gsize) (nseg - 1) * curve_eval::PREP_LEN, xt);
  return 0.0;
}

template <typename T>
void
render_records (const T *segs, const T *prep, guint32 nseg, double end_pos, double *out,
                int n, double width, double start)
{
  const T step = n > 1 ? T (width / (n - 1)) : T (0);
  const T *r = segs;
  const T *last = segs + (gsize) (nseg - 1) * REC;
  const T last_end = last[VORN_CURVE_CACHE_X0] + last[VORN_CURVE_CACHE_DX];
  const T tail = last_end > T (end_pos) ? last_end : T (end_pos);
  T x = T (start);
  int i = 0;

  for (; i < n; i++, x += step)
    {
      /* Forward-only search from the previous sample's segment. */
      while (!(x < r[VORN_CURVE_CACHE_X0] + r[VORN_CURVE_CACHE_DX]))
        {
          if (r == last)
            {
              if (x <= tail)
                break;
              goto past_end;
            }
          r += REC;
        }
      out[i] = eval_record (r, prep + gsize (r - segs) / REC * curve_eval::PREP_LEN, x);
    }
  return;

past_end:
  const double hold = i ? out[i - 1] : 0.0;
  for (; i < n; i++)
    out[i] = hold;
}

template <typename T>
void
fill_all (VornCurveCache *cache, const double *xcoord, const double *ycoord)
{
  T *r = static_cast<T *> (cache->segments);
  for (guint32 s = 0; s < cache->seg_count; s++, r += REC)
    {
      fill_record (r, xcoord + 3 * s, ycoord + 3 * s);
      prepare<T> (cache, s);
    }
}

/* Registry of shared caches: one table per format, keyed by curve address,
 * each holding one reference on its cache.  A pthread-based mutex rather
 * than GMutex, whose futex fast path race detectors cannot see. */
std::mutex registry_lock;
GHashTable *registry[2];

inline int
registry_slot (VornFormat format)
{
  return format == VORN_FORMAT_SINGLE ? 0 : 1;
}

} // namespace

static void
vorn_curve_cache_constructed (GObject *object)
{
  VornCurveCache *cache = VORN_CURVE_CACHE (object);
  gsize bytes = curve_eval::storage_bytes (cache->seg_count, value_bytes (cache->format));

  G_OBJECT_CLASS (vorn_curve_cache_parent_class)->constructed (object);

  cache->segments = vorn_util_alloc_aligned (bytes);
  memset (cache->segments, 0, bytes);
}

static void
vorn_curve_cache_finalize (GObject *object)
{
  VornCurveCache *cache = VORN_CURVE_CACHE (object);

  vorn_util_free_aligned (cache->segments);
  cache->segments = nullptr;

  G_OBJECT_CLASS (vorn_curve_cache_parent_class)->finalize (object);
}

static void
vorn_curve_cache_get_property (GObject *object, guint prop_id, GValue *value,
                               GParamSpec *pspec)
{
  VornCurveCache *cache = VORN_CURVE_CACHE (object);

  switch (prop_id)
    {
    case PROP_SEG_COUNT:
      g_value_set_uint (value, cache->seg_count);
      break;
    case PROP_FORMAT:
      g_value_set_enum (value, cache->format);
      break;
    case PROP_END_POS:
      g_value_set_double (value, cache->end_pos);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
vorn_curve_cache_set_property (GObject *object, guint prop_id,
                               const GValue *value, GParamSpec *pspec)
{
  VornCurveCache *cache = VORN_CURVE_CACHE (object);

  switch (prop_id)
    {
    case PROP_SEG_COUNT:
      cache->seg_count = g_value_get_uint (value);
      break;
    case PROP_FORMAT:
      cache->format = (guint8) g_value_get_enum (value);
      break;
    case PROP_END_POS:
      {
        double pos = g_value_get_double (value);
        if (pos != cache->end_pos)
          {
            cache->end_pos = pos;
            g_object_notify_by_pspec (object, pspec);
          }
      }
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
vorn_curve_cache_class_init (VornCurveCacheClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->constructed = vorn_curve_cache_constructed;
  object_class->finalize = vorn_curve_cache_finalize;
  object_class->get_property = vorn_curve_cache_get_property;
  object_class->set_property = vorn_curve_cache_set_property;

  properties[PROP_SEG_COUNT] = g_param_spec_uint (
      "seg-count", "SegCount", "Segment count", 1, G_MAXUINT32, 1,
      GParamFlags (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY
                   | G_PARAM_STATIC_STRINGS | VORN_PARAM_HIDDEN));
  properties[PROP_FORMAT] = g_param_spec_enum (
      "format", "Format", "Audio format", VORN_TYPE_FORMAT, VORN_FORMAT_DOUBLE,
      GParamFlags (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY
                   | G_PARAM_STATIC_STRINGS | VORN_PARAM_HIDDEN));
  properties[PROP_END_POS] = g_param_spec_double (
      "end-pos", "EndPos", "End position", 0.0, G_MAXDOUBLE, 0.0,
      GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY
                   | G_PARAM_STATIC_STRINGS | VORN_PARAM_HIDDEN));

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
vorn_curve_cache_init (VornCurveCache *cache)
{
  cache->seg_count = 1;
  cache->format = VORN_FORMAT_DOUBLE;
}

VornCurveCache *
vorn_curve_cache_new_from_coords (const double *xcoord, const double *ycoord,
                                  int count, VornFormat format)
{
  g_return_val_if_fail (xcoord != NULL, NULL);
  g_return_val_if_fail (ycoord != NULL, NULL);
  g_return_val_if_fail (count >= 4, NULL);

  guint32 nseg = (guint32) ((count - 1) / 3);
  VornCurveCache *cache = VORN_CURVE_CACHE (
      g_object_new (VORN_TYPE_CURVE_CACHE, "seg-count", nseg, "format",
                    format, NULL));

  /* Set directly: a curve may start left of 0, which the property's range
   * would refuse. */
  cache->end_pos = xcoord[nseg * 3];

  /* Fitting costs about 15 us a segment: a curve of thousands (a file's
   * pathological one) is left to the root search rather than hold up the
   * thread that builds its cache for seconds. */
  cache->unfitted = nseg > FIT_MAX_SEGMENTS;
  if (cache->format == VORN_FORMAT_SINGLE)
    fill_all<float> (cache, xcoord, ycoord);
  else
    fill_all<double> (cache, xcoord, ycoord);
  return cache;
}

VornCurveCache *
vorn_curve_cache_new_from_curve (VornCurve *curve, VornFormat format)
{
  g_return_val_if_fail (VORN_IS_CURVE (curve), NULL);

  return vorn_curve_cache_new_from_coords (curve->xcoords, curve->ycoords,
                                           VORN_CURVE_COORD_LENGTH (curve),
                                           format);
}

VornCurveCache *
vorn_curve_cache_get (VornCurve *curve, VornFormat format)
{
  g_return_val_if_fail (VORN_IS_CURVE (curve), NULL);

  const int slot = registry_slot (format);
  VornCurveCache *cache = nullptr;

  registry_lock.lock ();
  if (!registry[0])
    {
      registry[0] = g_hash_table_new (g_direct_hash, g_direct_equal);
      registry[1] = g_hash_table_new (g_direct_hash, g_direct_equal);
    }
  cache = static_cast<VornCurveCache *> (
      g_hash_table_lookup (registry[slot], curve));
  if (cache)
    g_object_ref (cache);
  registry_lock.unlock ();

  if (cache)
    return cache;

  /* Build without the lock: construction is the slow part and must not
   * hold up other threads looking up their caches. */
  VornCurveCache *built = vorn_curve_cache_new_from_curve (curve, format);
  if (!built)
    return nullptr;

  registry_lock.lock ();
  cache = static_cast<VornCurveCache *> (
      g_hash_table_lookup (registry[slot], curve));
  if (cache)
    g_object_ref (cache);
  else
    {
      /* The table keeps the construction reference, the caller gets one. */
      g_hash_table_insert (registry[slot], curve, built);
      cache = VORN_CURVE_CACHE (g_object_ref (built));
      built = nullptr;
    }
  registry_lock.unlock ();

  /* Another thread won the race: its cache is the shared one. */
  if (built)
    g_object_unref (built);
  return cache;
}

VornCurveCache *
vorn_curve_cache_private_new (VornCurve *curve, VornFormat format)
{
  g_return_val_if_fail (VORN_IS_CURVE (curve), NULL);

  g_autoptr (VornCurveCache) shared = vorn_curve_cache_get (curve, format);
  if (!shared)
    return nullptr;
  VornCurveCache *copy = vorn_curve_cache_duplicate (shared);
  copy->unfitted = TRUE;
  return copy;
}

VornCurveCache *
vorn_curve_cache_duplicate (VornCurveCache *cache)
{
  g_return_val_if_fail (VORN_IS_CURVE_CACHE (cache), NULL);

  VornCurveCache *copy = VORN_CURVE_CACHE (
      g_object_new (VORN_TYPE_CURVE_CACHE, "seg-count", cache->seg_count,
                    "format", (VornFormat) cache->format, NULL));
  copy->end_pos = cache->end_pos;
  memcpy (copy->segments, cache->segments,
          curve_eval::storage_bytes (cache->seg_count, value_bytes (cache->format)));
  return copy;
}

void
vorn_curve_cache_invalidate (VornCurve *curve, VornFormat format)
{
  g_return_if_fail (curve != NULL);

  /* The curve changed: voices compiled ahead from it are stale. */
  vorn_util_edit_serial_bump ();
  gpointer old = nullptr;

  registry_lock.lock ();
  if (registry[0])
    g_hash_table_steal_extended (registry[registry_slot (format)], curve,
                                 nullptr, &old);
  registry_lock.unlock ();

  /* Released outside the lock; holders keep their own references. */
  if (old)
    g_object_unref (old);
}

void
vorn_curve_cache_update (VornCurveCache *cache, int segment, const double *xs,
                         const double *ys)
{
  if (G_UNLIKELY (!cache || !cache->segments || !xs || !ys || segment < 0
                  || (guint32) segment >= cache->seg_count))
    return;

  if (cache->format == VORN_FORMAT_SINGLE)
    {
      fill_record (static_cast<float *> (cache->segments) + (gsize) segment * REC, xs, ys);
      prepare<float> (cache, segment);
    }
  else
    {
      fill_record (static_cast<double *> (cache->segments) + (gsize) segment * REC, xs, ys);
      prepare<double> (cache, segment);
    }

  if ((guint32) segment == cache->seg_count - 1)
    cache->end_pos = xs[3];
}

double
vorn_curve_cache_plot_point (VornCurveCache *cache, double x)
{
  if (G_UNLIKELY (!cache || !cache->segments || cache->seg_count == 0))
    return 0.0;

  if (cache->format == VORN_FORMAT_SINGLE)
    return plot_records (static_cast<const float *> (cache->segments), curve_eval::prepared<float> (cache),
                         cache->seg_count, cache->end_pos, x);
  return plot_records (static_cast<const double *> (cache->segments), curve_eval::prepared<double> (cache),
                       cache->seg_count, cache->end_pos, x);
}

void
vorn_curve_cache_render (VornCurveCache *cache, double *out, int count,
                         double width, double start)
{
  if (G_UNLIKELY (count < 1 || !out))
    return;
  if (G_UNLIKELY (!cache || !cache->segments || cache->seg_count == 0))
    {
      for (int i = 0; i < count; i++)
        out[i] = 0.0;
      return;
    }

  if (cache->format == VORN_FORMAT_SINGLE)
    render_records (static_cast<const float *> (cache->segments), curve_eval::prepared<float> (cache),
                    cache->seg_count, cache->end_pos, out, count, width, start);
  else
    render_records (static_cast<const double *> (cache->segments), curve_eval::prepared<double> (cache),
                    cache->seg_count, cache->end_pos, out, count, width, start);
}
