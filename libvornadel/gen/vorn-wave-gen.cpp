/* vorn-wave-gen.cpp: construction of wave generators, the render variant
 * table and the morph application */
#include "vorn-wave-gen.h"

#include "vorn-gen-private.h"
#include "vorn-init.h"
#include "vorn-morph.h"
#include "vorn-wave.h"

#include "kernels/vorn-wave-gen-kernel.h"

G_DEFINE_ENUM_TYPE (VornWaveGenTransform, vorn_wave_gen_transform,
  G_DEFINE_ENUM_VALUE (VORN_WAVE_GEN_TRANSFORM_NONE, "none"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_GEN_TRANSFORM_DB, "db"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_GEN_TRANSFORM_SEMITONES, "semitones"))

G_DEFINE_TYPE (VornWaveGen, vorn_wave_gen, VORN_TYPE_GEN)

namespace {

using wave_kernel::REC;

/* The render variants, best first (vorn_kernel_pick()).
 *
 * All eight come from one template (kernels/vorn-wave-gen-kernel.h) written
 * against a small lane abstraction over GCC vector extensions: a vector of
 * 16, 32 or 64 bytes of float or double with ordinary arithmetic operators
 * and lane-wise selects.  Each instruction set instantiates it in its own
 * translation unit built with -msse2, -mavx, -mavx2 or -mavx512f -mavx512vl,
 * so the compiler emits that set's instructions for the same source, and
 * the arithmetic stays identical across variants (no FMA, no contraction).
 * Hand-written intrinsics would need four copies of the algorithm; letting the
 * auto-vectoriser find the parallelism in the sequential segment walk does
 * not work. */
const VornKernelVariant<VornGenRenderFunc> render_table[] = {
  VORN_KERNEL_VARIANTS (vorn_wave_gen_render),
};

template <typename T>
inline void
set_value (VornWaveGenValue &v, double x)
{
  if constexpr (sizeof (T) == sizeof (float))
    v.f = float (x);
  else
    v.d = x;
}

template <typename T>
inline T &
get (VornWaveGenValue &v)
{
  return wave_kernel::Fmt<T>::get (v);
}

/* Value of a morph entry's curve at m, continuing from the segment the last
 * evaluation ended in.  FALSE (and a reset to the first segment) when m is
 * outside the morph curve. */
template <typename T>
bool
eval_morph_point (VornWaveGenMorphPt *e, T m, double *out)
{
  VornCurveCache *cache = e->cache;
  if (!cache || !cache->segments || cache->seg_count == 0)
    return false;

  const T *first = static_cast<const T *> (cache->segments);
  const T *last = first + (gsize) (cache->seg_count - 1) * REC;
  const T *s = e->seg ? static_cast<const T *> (e->seg) : first;

  /* One direction per search: rounding may leave hairline gaps between
   * single-precision segments, which a two-way search could bounce in.
   * Before the morph curve's first point the coordinate keeps its own
   * value; past its last point (a curve that ends before position 1, or
   * an end rounded just below it) it holds the last point's value. */
  if (m < s[VORN_CURVE_CACHE_X0])
    {
      while (m < s[VORN_CURVE_CACHE_X0] && s != first)
        s -= REC;
      if (m < s[VORN_CURVE_CACHE_X0])
        {
          e->seg = first;
          return false;
        }
    }
  else
    while (m >= s[VORN_CURVE_CACHE_X0] + s[VORN_CURVE_CACHE_DX] && s != last)
      s += REC;

  e->seg = s;
  const T dx = s[VORN_CURVE_CACHE_DX];
  T u = dx == T (0) ? T (0) : (m - s[VORN_CURVE_CACHE_X0]) * curve_eval::reciprocal_width (dx);
  if (u > T (1))
    u = T (1);
  *out = double (wave_kernel::solve_segment (s, curve_eval::prepared<T> (cache) + gsize (s - first) / REC * curve_eval::PREP_LEN, u));
  return true;
}

/* Keeps a segment's X coordinates monotonic, its start not left of b. */
inline void
clamp_segment (double *xs, double b)
{
  xs[0] = xs[0] > b ? xs[0] : b;
  xs[3] = xs[3] > xs[0] ? xs[3] : xs[0];
  for (int j = 1; j < 3; j++)
    xs[j] = xs[j] < xs[0] ? xs[0] : (xs[j] > xs[3] ? xs[3] : xs[j]);
}

inline int
segment_of (guint32 index)
{
  return index == 0 ? 0 : int ((index - 1) / 3);
}

/* Step M: rebuilds the segments of the private cache that the morph moves
 * (and the segments their moved ends push right). */
template <typename T>
void
update_morph (VornWaveGen *gen)
{
  T &pos = get<T> (gen->morph_pos);
  T &applied = get<T> (gen->morph_applied);

  if (pos == applied || gen->morph_count == 0 || !gen->cache || !gen->coords)
    return;
  applied = pos;

  VornCurveCache *cache = gen->cache;
  const guint32 n = gen->coord_count;
  const int nseg = int (cache->seg_count);
  const double *bx = gen->coords;
  const double *by = gen->coords + n;
  VornWaveGenMorphPt *pts = gen->morph_pts;
  const guint count = gen->morph_count;
  double xs[4], ys[4];

  auto load = [&] (int k) {
    for (int j = 0; j < 4; j++)
      {
        xs[j] = bx[3 * k + j];
        ys[j] = by[3 * k + j];
      }
  };
  auto valid = [&] (guint i) {
    return i < count && pts[i].index < n && segment_of (pts[i].index) < nseg;
  };
  int last_seg = -1; /* last segment rebuilt, and its end x */
  double last_end = 0.0;
  auto rebuild = [&] (int k) {
    vorn_curve_cache_update (cache, k, xs, ys);
    last_seg = k;
    last_end = xs[3];
  };

  guint i = 0;
  int cur = -1;
  double b = 0.0;
  while (valid (i))
    {
      const int k = segment_of (pts[i].index);
      if (k != cur)
        {
          load (k);
          b = xs[0];
          if (last_seg == k - 1 && last_end > b)
            b = last_end;
          cur = k;
        }

      int last_off = -1;
      for (; valid (i) && segment_of (pts[i].index) == k; i++)
        {
          double v;
          if (!eval_morph_point (&pts[i], pos, &v))
            continue;
          const int off = int (pts[i].index) - 3 * k;
          (pts[i].horizontal ? xs : ys)[off] = v;
          last_off = off;
        }

      clamp_segment (xs, b);
      rebuild (k);
      gen->pushed[k] = 0;
      cur = -1;
      b = xs[3];
      int next = k + 1;

      if (last_off == 3 && k + 1 < nseg)
        {
          /* The moved end point starts the next segment. */
          const double ex = xs[3], ey = ys[3];
          load (k + 1);
          xs[0] = ex;
          ys[0] = ey;
          b = ex;
          cur = k + 1;
          if (valid (i) && segment_of (pts[i].index) == k + 1)
            continue;
          clamp_segment (xs, b);
          rebuild (k + 1);
          gen->pushed[k + 1] = 1;
          cur = -1;
          b = xs[3];
          next = k + 2;
        }

      /* Segments without entries follow a moved end while it lies right of
       * their start, and go back to their own shape once it no longer
       * does. */
      const int stop = valid (i) ? segment_of (pts[i].index) : nseg;
      for (int j = next; j < stop; j++)
        {
          if (!(b > bx[3 * j]) && !gen->pushed[j])
            break;
          load (j);
          gen->pushed[j] = b > xs[0];
          if (gen->pushed[j])
            for (int m = 0; m < 4; m++)
              xs[m] = xs[m] > b ? xs[m] : b;
          rebuild (j);
          b = xs[3];
        }
    }
}

/* The wave's curve value at its start, as a fragment would output it. */
template <typename T>
T
start_value (VornWaveGen *gen)
{
  const T v = get<T> (gen->y_scale) * T (gen->coords[gen->coord_count]) + get<T> (gen->y_ofs);
  if (gen->transform == VORN_WAVE_GEN_TRANSFORM_NONE)
    return v;
  alignas (VORN_ALIGNMENT) T in[wave_kernel::FRAG] = {}, out[wave_kernel::FRAG];
  in[0] = v;
  wave_kernel::transform<T, wave_kernel::ScalarLanes<T>> (out, in, gen->transform);
  return out[0];
}

} // namespace

static void
vorn_wave_gen_constructed (GObject *object)
{
  VornWaveGen *gen = VORN_WAVE_GEN (object);
  VornGen *base = VORN_GEN (object);

  G_OBJECT_CLASS (vorn_wave_gen_parent_class)->constructed (object);

  const VornRenderContext *ctx = vorn_gen_get_context (base);
  const VornFormat format = ctx->format;
  const VornSimd simd = ctx->simd;
  base->render = vorn_kernel_pick (render_table, format, simd);

  g_return_if_fail (VORN_IS_WAVE (base->node));
  VornWave *wave = VORN_WAVE (base->node);
  VornCurve *curve = wave->curve;

  if (curve && curve->count >= 2)
    {
      /* The coordinates as they are now: the cache is built from them, so
       * morphs and end values must use the same ones even if the curve is
       * edited while the generator plays. */
      const guint32 n = guint32 (VORN_CURVE_COORD_LENGTH (curve));
      gen->coord_count = n;
      gen->coords = g_new (double, 2 * (gsize) n);
      memcpy (gen->coords, curve->xcoords, n * sizeof (double));
      memcpy (gen->coords + n, curve->ycoords, n * sizeof (double));

      if (wave->morph)
        {
          VornMorph *morph = wave->morph;
          gen->cache = vorn_curve_cache_private_new (curve, format);
          vorn_morph_cache (morph, format, FALSE);
          gen->morph_count = morph->count;
          gen->morph_pts = g_new0 (VornWaveGenMorphPt, morph->count ? morph->count : 1);
          for (guint i = 0; i < morph->count; i++)
            {
              VornMorphPoint *mp = &morph->points[i];
              VornWaveGenMorphPt *e = &gen->morph_pts[i];
              if (mp->cache)
                {
                  e->cache = VORN_CURVE_CACHE (g_object_ref (mp->cache));
                  e->seg = e->cache->segments;
                }
              e->index = mp->index;
              e->horizontal = mp->horizontal ? 1 : 0;
            }
          if (gen->cache)
            gen->pushed = g_new0 (guint8, gen->cache->seg_count);
        }
      else
        gen->cache = vorn_curve_cache_get (curve, format);

      if (gen->cache)
        gen->seg = gen->cache->segments;
    }

  const double y_scale = wave->y_scale, y_ofs = wave->y_ofs;
  if (format == VORN_FORMAT_DOUBLE)
    {
      set_value<double> (gen->x_scale, wave->x_scale);
      set_value<double> (gen->y_scale, y_scale);
      set_value<double> (gen->y_ofs, y_ofs);
      set_value<double> (gen->morph_applied, -1.0);
      set_value<double> (gen->seg_pos, 0.0);
      set_value<double> (gen->morph_pos, 0.0);
    }
  else
    {
      set_value<float> (gen->x_scale, wave->x_scale);
      set_value<float> (gen->y_scale, y_scale);
      set_value<float> (gen->y_ofs, y_ofs);
      set_value<float> (gen->morph_applied, -1.0);
      set_value<float> (gen->seg_pos, 0.0);
      set_value<float> (gen->morph_pos, 0.0);
    }

  /* An add or mul with nothing to combine with is a plain set. */
  VornWaveOp op = VornWaveOp (wave->dest_op);
  if (op != VORN_WAVE_OP_SET && wave->dest_attrib == VORN_ATTRIB_TYPE_NONE)
    op = VORN_WAVE_OP_SET;

  gen->attribs_buf[VORN_WAVE_GEN_SLOT_X] = wave->x_attrib;
  gen->attribs_buf[VORN_WAVE_GEN_SLOT_Y] = wave->y_attrib;
  gen->attribs_buf[VORN_WAVE_GEN_SLOT_DEST] =
      op == VORN_WAVE_OP_SET ? VORN_ATTRIB_TYPE_NONE : wave->dest_attrib;
  gen->attribs_buf[VORN_WAVE_GEN_SLOT_MORPH] = VORN_ATTRIB_TYPE_MORPH;
  gen->attribs_buf[VORN_WAVE_GEN_SLOT_OUT] = wave->dest_attrib;
  gen->dest_op = guint8 (op);
  gen->trig_mode = wave->trig_mode;
  gen->pos_mode = wave->pos_mode;
  gen->play_mode = wave->play_mode;

  if (op == VORN_WAVE_OP_MUL && wave->dest_attrib == VORN_ATTRIB_TYPE_VOLUME)
    gen->transform = VORN_WAVE_GEN_TRANSFORM_DB;
  else if (op == VORN_WAVE_OP_MUL && wave->dest_attrib == VORN_ATTRIB_TYPE_PITCH)
    gen->transform = VORN_WAVE_GEN_TRANSFORM_SEMITONES;
  else
    gen->transform = VORN_WAVE_GEN_TRANSFORM_NONE;

  /* Until it renders, a wave holds the value its curve starts with (what a
   * "pressed" wave released before its first fragment keeps). */
  if (gen->coords)
    {
      if (format == VORN_FORMAT_DOUBLE)
        gen->held.d = start_value<double> (gen);
      else
        gen->held.f = start_value<float> (gen);
    }

  /* Band-limiting is for waves played at audio rate: oscillators, whose
   * position advances with the pitch. */
  if (wave->anti_alias && gen->cache && wave->x_attrib == VORN_ATTRIB_TYPE_PITCH)
    {
      const double *yc = gen->coords + gen->coord_count;
      double lo = yc[0], hi = yc[0];
      for (guint32 i = 3; i < gen->coord_count; i += 3) /* endpoints */
        lo = MIN (lo, yc[i]), hi = MAX (hi, yc[i]);
      gen->aa = vorn_wave_gen_antialias_new (gen->cache, gen->morph_count > 0, y_scale,
                                             y_scale * yc[0] + y_ofs, y_scale * (hi - lo));
    }

  if (wave->trig_mode == VORN_WAVE_TRIG_MODE_RELEASE)
    base->state = VORN_GEN_STATE_WAIT;
}

static void
vorn_wave_gen_finalize (GObject *object)
{
  VornWaveGen *gen = VORN_WAVE_GEN (object);

  g_clear_object (&gen->cache);
  for (guint i = 0; gen->morph_pts && i < gen->morph_count; i++)
    g_clear_object (&gen->morph_pts[i].cache);
  g_clear_pointer (&gen->morph_pts, g_free);
  g_clear_pointer (&gen->coords, g_free);
  g_clear_pointer (&gen->pushed, g_free);
  g_clear_pointer (&gen->aa, g_free);

  G_OBJECT_CLASS (vorn_wave_gen_parent_class)->finalize (object);
}

static void
vorn_wave_gen_class_init (VornWaveGenClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->constructed = vorn_wave_gen_constructed;
  object_class->finalize = vorn_wave_gen_finalize;
}

static void
vorn_wave_gen_init (VornWaveGen *gen)
{
  VornGen *base = VORN_GEN (gen);

  base->attribs = gen->attribs_buf;
  base->attrib_vals = gen->attrib_vals_buf;
  base->src_count = 4;
  base->dest_count = 1;
}

void
vorn_wave_gen_update_morph_D (VornWaveGen *gen)
{
  update_morph<double> (gen);
}

void
vorn_wave_gen_update_morph_F (VornWaveGen *gen)
{
  update_morph<float> (gen);
}
