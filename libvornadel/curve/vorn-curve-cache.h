/* vorn-curve-cache.h: prepared curve segments for fast evaluation */
#pragma once

#include <glib-object.h>

#include "vorn-attrib.h"
#include "vorn-curve.h"

G_BEGIN_DECLS

/**
 * VORN_CURVE_CACHE_RECORD_LEN:
 *
 * Number of values (all double or all float, per the cache's format) in one
 * segment record.
 */
#define VORN_CURVE_CACHE_RECORD_LEN 17

/**
 * VornCurveCacheSlot:
 *
 * Positions of the values inside a segment record.  With u = (x - x0) / dx
 * and t the Bezier parameter, the segment is u = X(t), value = y0 + dy * Y(t)
 * where X and Y are the cubic Bezier polynomials with the control values
 * 0, a/3, b/3, 1.  The table holds X(0.1) .. X(0.9).
 *
 * A level segment (dy = 0) cannot be normalised in y: its ay and by hold the
 * handle heights 3 (y1 - y0) and 3 (y2 - y0), and its value is y0 plus the
 * Bezier of control values 0, ay/3, by/3, 0, so that it still follows its
 * handles.  A rise too small for the handles to be divided by it is stored
 * as level.
 */
typedef enum {
  VORN_CURVE_CACHE_X0 = 0,
  VORN_CURVE_CACHE_DX = 1,
  VORN_CURVE_CACHE_Y0 = 2,
  VORN_CURVE_CACHE_DY = 3,
  VORN_CURVE_CACHE_AX = 4,
  VORN_CURVE_CACHE_BX = 5,
  VORN_CURVE_CACHE_AY = 6,
  VORN_CURVE_CACHE_BY = 7,
  VORN_CURVE_CACHE_T1 = 8,
} VornCurveCacheSlot;

#define VORN_TYPE_CURVE_CACHE            (vorn_curve_cache_get_type ())
#define VORN_CURVE_CACHE(obj)            (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_CURVE_CACHE, VornCurveCache))
#define VORN_CURVE_CACHE_CLASS(klass)    (G_TYPE_CHECK_CLASS_CAST ((klass), VORN_TYPE_CURVE_CACHE, VornCurveCacheClass))
#define VORN_IS_CURVE_CACHE(obj)         (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_CURVE_CACHE))
#define VORN_IS_CURVE_CACHE_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), VORN_TYPE_CURVE_CACHE))
#define VORN_CURVE_CACHE_GET_CLASS(obj)  (G_TYPE_INSTANCE_GET_CLASS ((obj), VORN_TYPE_CURVE_CACHE, VornCurveCacheClass))

typedef struct _VornCurveCache VornCurveCache;
typedef struct _VornCurveCacheClass VornCurveCacheClass;

/**
 * VornCurveCache:
 * @segments: @seg_count records of %VORN_CURVE_CACHE_RECORD_LEN values,
 *   double or float per @format, 64-byte aligned
 * @end_pos: X of the curve's last endpoint
 * @seg_count: number of segments
 * @format: a #VornFormat, the precision of the records
 * @unfitted: updates leave their segments without a polynomial fit (see
 *   vorn_curve_cache_update()); set on private caches, and on caches of
 *   curves of more than 4,096 segments, which are not fitted at all
 *
 * A curve converted for evaluation in the sample format.  Shared caches
 * (vorn_curve_cache_get()) are read-only; a private cache may be updated by
 * its single owner.
 */
struct _VornCurveCache
{
  GObject parent_instance;

  gpointer segments;
  double end_pos;
  guint32 seg_count;
  guint8 format;
  guint8 unfitted;
};

struct _VornCurveCacheClass
{
  GObjectClass parent_class;
};

GType vorn_curve_cache_get_type (void);

/**
 * vorn_curve_cache_new_from_coords:
 * @xcoord: X coordinates in the curve layout (endpoint i at 3i)
 * @ycoord: Y coordinates, same layout
 * @count: number of coordinates, at least 4
 * @format: precision of the records
 *
 * Builds a cache of (@count - 1) / 3 segments.
 *
 * Returns: (transfer full) (nullable): a new cache, or NULL when an array is
 * NULL or @count is below 4
 */
VornCurveCache *vorn_curve_cache_new_from_coords (const double *xcoord,
                                                  const double *ycoord,
                                                  int count,
                                                  VornFormat format);

/**
 * vorn_curve_cache_new_from_curve:
 * @curve: a curve of at least 2 points
 * @format: precision of the records
 *
 * Returns: (transfer full) (nullable): a new unshared cache of @curve, or
 * NULL when @curve is not a curve or has fewer than 2 points
 */
VornCurveCache *vorn_curve_cache_new_from_curve (VornCurve *curve,
                                                 VornFormat format);

/**
 * vorn_curve_cache_get:
 * @curve: a curve
 * @format: precision of the records
 *
 * Returns the process-wide shared cache of @curve in @format, building it
 * on first request.  Safe from any thread.  The shared cache must not be
 * modified.  Whoever changes or destroys @curve calls
 * vorn_curve_cache_invalidate().
 *
 * Returns: (transfer full) (nullable): the shared cache, or NULL when
 * @curve is not a curve
 */
VornCurveCache *vorn_curve_cache_get (VornCurve *curve, VornFormat format);

/**
 * vorn_curve_cache_private_new:
 * @curve: a curve
 * @format: precision of the records
 *
 * Returns: (transfer full) (nullable): a copy of the shared cache that
 * belongs to the caller alone (it may be updated), or NULL when @curve is
 * not a curve
 */
VornCurveCache *vorn_curve_cache_private_new (VornCurve *curve,
                                              VornFormat format);

/**
 * vorn_curve_cache_duplicate:
 * @cache: a cache
 *
 * Returns: (transfer full) (nullable): a new cache with copies of all fields
 * and records, or NULL when @cache is not a cache
 */
VornCurveCache *vorn_curve_cache_duplicate (VornCurveCache *cache);

/**
 * vorn_curve_cache_invalidate:
 * @curve: (type VornCurve): the curve whose cache is dropped; only its
 *   address is used, so it may be in finalization
 * @format: which shared cache to drop
 *
 * Removes the shared cache of @curve in @format from the registry; the next
 * vorn_curve_cache_get() builds a new one.  Holders of the old cache keep
 * using it until they release it.
 */
void vorn_curve_cache_invalidate (VornCurve *curve, VornFormat format);

/**
 * vorn_curve_cache_update:
 * @cache: a private cache
 * @segment: segment index
 * @xs: the segment's 4 X control values (endpoint, right handle, left
 *   handle, endpoint)
 * @ys: the 4 Y control values
 *
 * Recomputes one record in place (and the end position when @segment is the
 * last).  Does not allocate, lock or log; ignores an out-of-range @segment.
 * A cache marked @unfitted (a private cache, which its render thread
 * updates) keeps the record without a polynomial fit: fitting takes far
 * longer than a render thread may spend; the segment is then evaluated
 * by its root search.
 */
void vorn_curve_cache_update (VornCurveCache *cache, int segment,
                              const double *xs, const double *ys);

/**
 * vorn_curve_cache_plot_point:
 * @cache: a cache
 * @x: position
 *
 * Returns: the curve value at @x; 0.0 beyond the last endpoint or for a
 * NULL cache.  Does not allocate, lock or log.
 */
double vorn_curve_cache_plot_point (VornCurveCache *cache, double x);

/**
 * vorn_curve_cache_render:
 * @cache: a cache
 * @out: @count output samples
 * @count: number of samples; nothing is written when below 1
 * @width: distance from the first to the last sample position
 * @start: position of the first sample
 *
 * Evaluates the curve at @count evenly spaced positions from @start to
 * @start + @width (increasing).  Once the positions pass the last endpoint
 * the remaining samples repeat the last value written (0.0 if none).  Does
 * not allocate, lock or log.
 */
void vorn_curve_cache_render (VornCurveCache *cache, double *out, int count,
                              double width, double start);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornCurveCache, g_object_unref)

G_END_DECLS
