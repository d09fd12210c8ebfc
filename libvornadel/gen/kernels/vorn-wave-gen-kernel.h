/* vorn-wave-gen-kernel.h: the wave generator's render algorithm, written
 * once over the sample type and a lane abstraction.
 *
 * Each instruction set compiles this header in its own translation unit with
 * its own code generation flags.  Everything here has internal linkage (an
 * unnamed namespace, no standard library templates), so the linker can never
 * merge a copy built for AVX2 into the SSE2 variant.
 *
 * Exactness: every lane performs the same IEEE operations, in the same order,
 * as a one-sample-at-a-time evaluation would (the kernels are built with
 * -ffp-contract=off and without FMA), so all variants of one format produce
 * identical bits. */
#pragma once

#include "vorn-kernel-exp2.h"
#include "vorn-wave-gen-kernel-solve.h"
#include "vorn-wave-gen.h"
#include "vorn-wave-gen-antialias.h"
#include "vorn-wave.h"

#include <cmath>
#include <cstring>
#include <immintrin.h>

namespace {
namespace wave_kernel {

/* A position walk that wraps this often within one sample is on a curve of
 * (nearly) zero width; it gives up instead of spinning. */
constexpr int MAX_WRAPS = 64;


/* ---- access to values held in the render format ------------------------ */

template <typename T> struct Fmt;

template <>
struct Fmt<float>
{
  static inline float &get (VornWaveGenValue &v) { return v.f; }
  static inline float val (const VornAttribVal *a) { return a->value.f; }
  static inline void set (VornAttribVal *a, float x) { a->value.f = x; }
  static inline void update_morph (VornWaveGen *gen) { vorn_wave_gen_update_morph_F (gen); }
  static inline void aa_events (VornWaveGen *gen, float *cv, const float *pos, const guint8 *run, const float *const *seg,
                                const float *inc, bool steady, int a, int b, const float *next, float next_pos,
                                gboolean seam)
  {
    vorn_wave_gen_antialias_events_F (gen, cv, pos, run, seg, inc, steady, a, b, next, next_pos, seam);
  }
  static inline void aa_output (VornWaveGen *gen, float *cv) { vorn_wave_gen_antialias_output_F (gen, cv); }
  static inline float *aa_tail (VornWaveGen *gen) { return gen->aa->tail.f; }
};

template <>
struct Fmt<double>
{
  static inline double &get (VornWaveGenValue &v) { return v.d; }
  static inline double val (const VornAttribVal *a) { return a->value.d; }
  static inline void set (VornAttribVal *a, double x) { a->value.d = x; }
  static inline void update_morph (VornWaveGen *gen) { vorn_wave_gen_update_morph_D (gen); }
  static inline void aa_events (VornWaveGen *gen, double *cv, const double *pos, const guint8 *run, const double *const *seg,
                                const double *inc, bool steady, int a, int b, const double *next, double next_pos,
                                gboolean seam)
  {
    vorn_wave_gen_antialias_events_D (gen, cv, pos, run, seg, inc, steady, a, b, next, next_pos, seam);
  }
  static inline void aa_output (VornWaveGen *gen, double *cv) { vorn_wave_gen_antialias_output_D (gen, cv); }
  static inline double *aa_tail (VornWaveGen *gen) { return gen->aa->tail.d; }
};

/* ---- fragment passes --------------------------------------------------- */

template <typename T, typename L>
inline void
fill (T *out, T v)
{
  const typename L::V x = L::splat (v);
  for (int i = 0; i < FRAG; i += L::W)
    L::store (out + i, x);
}

template <typename T, typename L>
inline void
scale (T *out, const T *in, T s)
{
  const typename L::V x = L::splat (s);
  for (int i = 0; i < FRAG; i += L::W)
    L::store (out + i, L::load (in + i) * x);
}

/* Decibels or semitones to a factor: 10^(x / 20) = 2^(x log2(10) / 20) and
 * 2^(x / 12), the same polynomial in every variant of a format. */
template <typename T, typename L>
inline void
transform (T *out, const T *in, guint8 kind)
{
  static constexpr kernel_exp2::Factor<T> db =
    kernel_exp2::factor<T> (3.321928094887362347870319429489390175865L / 20.0L);
  static constexpr kernel_exp2::Factor<T> semitones = kernel_exp2::factor<T> (1.0L / 12.0L);
  const kernel_exp2::Factor<T> &f = kind == VORN_WAVE_GEN_TRANSFORM_DB ? db : semitones;
  for (int i = 0; i < FRAG; i += L::W)
    L::store (out + i, kernel_exp2::pow2<T, L> (L::load (in + i), f));
}

/* out = op (D, Y * v); a null buffer means the scalar beside it. */
template <typename T, typename L>
inline void
operate (T *out, const T *v, guint8 op, const T *yb, T y, const T *db, T d)
{
  using V = typename L::V;
  constexpr int W = L::W;

  if (!yb && (op == VORN_WAVE_OP_SET || !db))
    {
      /* Scalar amplitude (and destination): one factor and one offset. */
      T f = y, o = T (0);
      if (op == VORN_WAVE_OP_MUL)
        f = d * y;
      else if (op == VORN_WAVE_OP_ADD)
        o = d;
      if (f == T (1) && op != VORN_WAVE_OP_ADD)
        {
          if (out != v)
            memcpy (out, v, FRAG * sizeof (T));
          return;
        }
      const V fv = L::splat (f), ov = L::splat (o);
      if (op == VORN_WAVE_OP_ADD)
        for (int i = 0; i < FRAG; i += W)
          L::store (out + i, ov + fv * L::load (v + i));
      else
        for (int i = 0; i < FRAG; i += W)
          L::store (out + i, fv * L::load (v + i));
      return;
    }

  const V ys = L::splat (y), ds = L::splat (d);
  switch (op)
    {
    case VORN_WAVE_OP_SET:
      for (int i = 0; i < FRAG; i += W)
        L::store (out + i, L::load (yb + i) * L::load (v + i));
      break;
    case VORN_WAVE_OP_ADD:
      for (int i = 0; i < FRAG; i += W)
        {
          const V yy = yb ? L::load (yb + i) : ys;
          const V dd = db ? L::load (db + i) : ds;
          L::store (out + i, dd + yy * L::load (v + i));
        }
      break;
    default:
      for (int i = 0; i < FRAG; i += W)
        {
          const V yy = yb ? L::load (yb + i) : ys;
          const V dd = db ? L::load (db + i) : ds;
          L::store (out + i, dd * yy * L::load (v + i));
        }
      break;
    }
}

/* The band-limiting delay: the fragment moves VORN_WAVE_AA_HALF samples
 * later and the previous fragment's last ones come first.  Whole lanes,
 * from the top down: every load meets exactly one earlier store of the same
 * width, as do the next stage's loads (scalar or narrower stores there
 * would stall them). */
template <typename T, typename L>
inline void
aa_delay (T *cv, T *tail)
{
  constexpr int H = VORN_WAVE_AA_HALF;
  static_assert (H % L::W == 0 && FRAG % L::W == 0 && H < FRAG);
  typename L::V keep[H / L::W];
  for (int k = 0; k < H / L::W; k++)
    keep[k] = L::load (cv + FRAG - H + k * L::W);
  for (int i = FRAG - L::W; i >= H; i -= L::W)
    L::store (cv + i, L::load (cv + i - H));
  for (int k = 0; k < H / L::W; k++)
    {
      L::store (cv + k * L::W, L::load (tail + k * L::W));
      L::store (tail + k * L::W, keep[k]);
    }
}

/* Steps 4 to 7 for a wave with a curve that has not finished. */
template <typename T, typename L>
inline gboolean
render_curve (VornWaveGen *gen, const VornAttribVal *X, const VornAttribVal *Mv,
              VornAttribVal *OUT, guint8 op, const T *yb, T y, const T *db, T d,
              bool need_op)
{
  using F = Fmt<T>;
  VornCurveCache *cache = gen->cache;
  const bool need_tf = gen->transform != VORN_WAVE_GEN_TRANSFORM_NONE;
  T *const obuf = static_cast<T *> (OUT->buffer);

  alignas (VORN_ALIGNMENT) T inc[FRAG];
  alignas (VORN_ALIGNMENT) T val[FRAG];
  Walk<T, L> w;

  /* Step 4: increments and the morph position. */
  if (X && X->state == VORN_ATTRIB_STATE_DYNAMIC)
    {
      const T *xb = static_cast<const T *> (X->buffer);
      const T xs = F::get (gen->x_scale);
      if (xs == T (1))
        memcpy (inc, xb, sizeof inc);
      else
        scale<T, L> (inc, xb, xs);
    }
  else
    fill<T, L> (inc, X ? F::val (X) * F::get (gen->x_scale) : T (0));
  /* A wave that starts in the middle of the fragment stays at its start
   * until then. */
  const int pre = gen->pre_roll;
  for (int i = 0; i < pre; i++)
    inc[i] = T (0);

  bool pending = false;
  if (Mv)
    {
      T m = Mv->state == VORN_ATTRIB_STATE_DYNAMIC ? static_cast<const T *> (Mv->buffer)[0]
                                                   : F::val (Mv);
      m = !(m >= T (0)) ? T (0) : (m > T (1) ? T (1) : m);
      F::get (gen->morph_pos) = m;
      pending = gen->morph_count > 0;
    }

  /* Step 5: the sequential walk, solved in vector chunks. */
  T *cv = (need_tf || need_op) ? val : obuf;
  const T ys = F::get (gen->y_scale), yo = F::get (gen->y_ofs);
  const T *const first = static_cast<const T *> (cache->segments);
  const T *const last = first + (gsize) (cache->seg_count - 1) * REC;
  const bool loop = gen->play_mode == VORN_WAVE_PLAY_MODE_LOOP;
  T p = F::get (gen->seg_pos);
  const T *s = static_cast<const T *> (gen->seg);
  int start = 0, end_at = FRAG;
  int ended = 0; /* 1 forward, -1 backward */
  guint8 run = 0;

  /* The segment's width, kept out of memory that the stores to w.pos
   * might alias. */
  T width = s[VORN_CURVE_CACHE_DX];
  w.seg[0] = s;
  w.first = first;
  w.prep = curve_eval::prepared<T> (cache);

  /* With a steady increment the position of sample j is base + (j - i0)
   * times it, counted from the last segment change: W samples are walked
   * at once, with no chain of additions from one sample to the next and
   * no rounding carried along it. */
  const bool steady = !(X && X->state == VORN_ATTRIB_STATE_DYNAMIC);
  using V = typename L::V;
  alignas (VORN_ALIGNMENT) T index[L::W];
  for (int l = 0; l < L::W; l++)
    index[l] = T (l + 1);
  const V ahead = L::load (index);
  const V stepv = L::splat (inc[pre]);
  T base = p;
  int i0 = pre;
  for (int i = 0; i < pre; i++)
    {
      w.pos[i] = p;
      w.run[i] = 0;
    }

  for (int i = pre; i < FRAG; i++)
    {
      w.pos[i] = p;
      w.run[i] = run;
      if (steady)
        {
          /* Samples i + 1 .. i + W, or up to the position after the
           * fragment (sample FRAG). */
          const V q = L::splat (base) + (ahead + L::splat (T (i - i0))) * stepv;
          const guint64 cross = L::leaving (q, L::splat (width), ahead, L::splat (T (FRAG - i)));
          L::store (w.pos + i + 1, q);
          memset (w.run + i + 1, run, L::W);
          if (G_LIKELY (!cross))
            {
              const int n = FRAG - i < L::W ? FRAG - i : L::W;
              p = L::lane (q, n - 1);
              i += n - 1;
              continue;
            }
          const int f = __builtin_ctzll (cross);
          p = L::lane (q, f);
          i += f;
        }
      else
        {
          p += inc[i];
          if (G_LIKELY (!(p >= width || p < T (0))))
            continue;
        }

      run++;
      const T E = T (cache->end_pos);
      if (E > T (0))
        {
          if (p >= T (2) * E)
            p = T (std::fmod (p, E)) + E;
          else if (p <= -(T (2) * E))
            p = -(T (std::fmod (-p, E)) + E);
        }

      int wraps = 0;
      while (p >= s[VORN_CURVE_CACHE_DX])
        {
          p -= s[VORN_CURVE_CACHE_DX];
          if (s != last)
            {
              s += REC;
              continue;
            }
          if (!loop)
            {
              ended = 1;
              break;
            }
          s = first;
          if (pending)
            {
              /* Samples so far were walked on the records before the
               * morph: solve them before the records change. */
              solve_range<T, L> (w, start, i + 1, cv, ys, yo);
              if (gen->aa)
                F::aa_events (gen, cv, w.pos, w.run, w.seg, inc, steady, start, i + 1, nullptr, T (0), TRUE);
              start = i + 1;
              F::update_morph (gen);
              pending = false;
            }
          if (G_UNLIKELY (++wraps > MAX_WRAPS))
            {
              p = T (0);
              break;
            }
        }
      while (!ended && p < T (0))
        {
          if (s != first)
            s -= REC;
          else if (!loop)
            {
              ended = -1;
              break;
            }
          else
            {
              s = last;
              if (pending)
                {
                  solve_range<T, L> (w, start, i + 1, cv, ys, yo);
                  if (gen->aa)
                    F::aa_events (gen, cv, w.pos, w.run, w.seg, inc, steady, start, i + 1, nullptr, T (0), TRUE);
                  start = i + 1;
                  F::update_morph (gen);
                  pending = false;
                }
              if (G_UNLIKELY (++wraps > MAX_WRAPS))
                {
                  p = T (0);
                  break;
                }
            }
          p += s[VORN_CURVE_CACHE_DX];
        }
      if (ended)
        {
          end_at = i + 1;
          break;
        }
      width = s[VORN_CURVE_CACHE_DX];
      w.seg[run] = s;
      base = p;
      i0 = i + 1;
    }

  solve_range<T, L> (w, start, end_at, cv, ys, yo);
  if (gen->aa)
    F::aa_events (gen, cv, w.pos, w.run, w.seg, inc, steady && !pre, start, end_at, ended ? nullptr : s, p, FALSE);

  gboolean result = TRUE;
  if (ended)
    {
      /* Step 6: hold the end point from here on. */
      const double *ycoords = gen->coords + gen->coord_count;
      const double ey = ended > 0 ? ycoords[gen->coord_count - 1] : ycoords[0];
      const T hold = ys * T (ey) + yo;
      for (int i = end_at; i < FRAG; i++)
        cv[i] = hold;
      F::get (gen->held) = hold;
      /* A release before the end holds instead of stopping the voice. */
      if (gen->play_mode == VORN_WAVE_PLAY_MODE_STOP && !(gen->hold_at && end_at >= gen->hold_at))
        gen->parent_instance.state = VORN_GEN_STATE_STOP;
      else
        gen->finished = TRUE;
      result = FALSE;
    }
  else
    {
      F::get (gen->seg_pos) = p;
      gen->seg = s;
    }

  /* Band-limiting: the corrections, and the delay they need. */
  if (gen->aa)
    {
      aa_delay<T, L> (cv, F::aa_tail (gen));
      F::aa_output (gen, cv);
    }

  /* Step 7: transform and operation. */
  if (need_tf)
    {
      T *to = need_op ? val : obuf;
      transform<T, L> (to, val, gen->transform);
      cv = to;
    }
  if (const int h = gen->hold_at)
    {
      /* Released in this fragment: hold the value the output reached, in
       * the output's timeline (after the band-limiting delay). */
      for (int i = h; i < FRAG; i++)
        cv[i] = cv[h - 1];
      gen->finished = TRUE;
      gen->hold_at = 0;
    }
  F::get (gen->held) = cv[FRAG - 1];
  if (need_op)
    operate<T, L> (obuf, val, op, yb, y, db, d);

  OUT->state = VORN_ATTRIB_STATE_DYNAMIC;
  return result;
}

/* ---- the render function ----------------------------------------------- */

/* A control, or a finished wave under a moving amplitude or destination:
 * op (D, Y * g) with g its held value.  Kept out of render(), whose every
 * call would otherwise align its stack for the buffer. */
template <typename T, typename L>
[[gnu::noinline]] gboolean
held_output (VornAttribVal *OUT, T g, guint8 op, const T *yb, T y, const T *db, T d)
{
  alignas (VORN_ALIGNMENT) T gb[FRAG];
  fill<T, L> (gb, g);
  operate<T, L> (static_cast<T *> (OUT->buffer), gb, op, yb, y, db, d);
  OUT->state = VORN_ATTRIB_STATE_DYNAMIC;
  return TRUE;
}

template <typename T>
inline gboolean
constant_output (VornAttribVal *OUT, guint8 op, T y, bool y_fixed, T d, bool d_fixed)
{
  using F = Fmt<T>;
  const T yp = y;

  switch (op)
    {
    case VORN_WAVE_OP_SET:
      F::set (OUT, yp);
      OUT->state = y_fixed ? VORN_ATTRIB_STATE_FIXED : VORN_ATTRIB_STATE_CONST;
      return TRUE;
    case VORN_WAVE_OP_ADD:
      F::set (OUT, d + yp);
      OUT->state = y_fixed && d_fixed ? VORN_ATTRIB_STATE_FIXED : VORN_ATTRIB_STATE_CONST;
      return !(y_fixed && yp == T (0));
    default:
      F::set (OUT, d * yp);
      OUT->state = y_fixed && (yp == T (0) || d_fixed) ? VORN_ATTRIB_STATE_FIXED
                                                       : VORN_ATTRIB_STATE_CONST;
      return !(y_fixed && yp == T (1));
    }
}

/* One fragment of a wave generator (steps 1 to 7). */
template <typename T, typename L>
gboolean
render_fragment (VornGen *base)
{
  using F = Fmt<T>;
  VornWaveGen *gen = reinterpret_cast<VornWaveGen *> (base);
  VornAttribVal *const *vals = base->attrib_vals;
  const VornAttribVal *X = vals[VORN_WAVE_GEN_SLOT_X];
  const VornAttribVal *Y = vals[VORN_WAVE_GEN_SLOT_Y];
  const VornAttribVal *D = vals[VORN_WAVE_GEN_SLOT_DEST];
  const VornAttribVal *Mv = vals[VORN_WAVE_GEN_SLOT_MORPH];
  VornAttribVal *OUT = vals[VORN_WAVE_GEN_SLOT_OUT];
  const guint8 op = gen->dest_op;

  if (G_UNLIKELY (!OUT))
    return TRUE;

  /* An absent amplitude is the fixed 1.0; an absent destination input of
   * add or mul is the operation's fixed identity. */
  const bool y_dyn = Y && Y->state == VORN_ATTRIB_STATE_DYNAMIC;
  const bool y_fixed = !Y || Y->state == VORN_ATTRIB_STATE_FIXED;
  const T y = Y && !y_dyn ? F::val (Y) : T (1);
  const bool uses_d = op != VORN_WAVE_OP_SET;
  const bool d_dyn = uses_d && D && D->state == VORN_ATTRIB_STATE_DYNAMIC;
  const bool d_fixed = !uses_d || !D || D->state == VORN_ATTRIB_STATE_FIXED;
  const T d = uses_d && D && !d_dyn ? F::val (D) : (op == VORN_WAVE_OP_MUL ? T (1) : T (0));

  /* Step 1: a fixed zero amplitude. */
  if (y_fixed && y == T (0))
    {
      if (op == VORN_WAVE_OP_ADD)
        return FALSE;
      F::set (OUT, T (0));
      OUT->state = VORN_ATTRIB_STATE_FIXED;
      return TRUE;
    }

  /* Step 2: the constant paths. */
  const bool has_curve = gen->cache != nullptr;
  if (op == VORN_WAVE_OP_MUL && !y_dyn && y == T (0))
    return constant_output<T> (OUT, op, T (0), y_fixed, d_dyn ? T (0) : d, d_fixed);
  if (!y_dyn && !d_dyn && (gen->finished || !has_curve))
    {
      const T g = gen->finished && has_curve ? F::get (gen->held) : T (1);
      return constant_output<T> (OUT, op, y * g, y_fixed, d, d_fixed);
    }

  const T *yb = y_dyn ? static_cast<const T *> (Y->buffer) : nullptr;
  const T *db = d_dyn ? static_cast<const T *> (D->buffer) : nullptr;

  if (!has_curve || gen->finished)
    return held_output<T, L> (OUT, gen->finished && has_curve ? F::get (gen->held) : T (1), op, yb, y, db, d);

  const bool identity = op == VORN_WAVE_OP_SET || (op == VORN_WAVE_OP_ADD && !db && d == T (0))
                        || (op == VORN_WAVE_OP_MUL && !db && d == T (1));
  const bool need_op = !(!yb && y == T (1) && identity);
  return render_curve<T, L> (gen, X, Mv, OUT, op, yb, y, db, d, need_op);
}

/* The fragment in which a wave becomes active at frame gen->pre_roll: its
 * frames before that are what its consumers read while it waited, the
 * destination input (an absent one is the operation's identity; "set"
 * passes it too, as the routing hands it on). */
template <typename T, typename L>
[[gnu::noinline]] gboolean
render_pre_roll (VornGen *base)
{
  using F = Fmt<T>;
  VornWaveGen *gen = reinterpret_cast<VornWaveGen *> (base);
  const int pre = gen->pre_roll;
  const VornAttribVal *Y = base->attrib_vals[VORN_WAVE_GEN_SLOT_Y];
  const bool nothing = gen->dest_op == VORN_WAVE_OP_ADD && Y && Y->state == VORN_ATTRIB_STATE_FIXED
                       && F::val (Y) == T (0);
  const gboolean result = render_fragment<T, L> (base);
  gen->pre_roll = 0;
  /* Adding nothing writes no output, before or after its start. */
  if (nothing)
    return result;

  VornAttribVal *OUT = base->attrib_vals[VORN_WAVE_GEN_SLOT_OUT];
  const VornAttribVal *D = base->attrib_vals[VORN_WAVE_GEN_SLOT_DEST];
  if (!OUT || !OUT->buffer)
    return TRUE;
  T *out = static_cast<T *> (OUT->buffer);
  if (OUT->state != VORN_ATTRIB_STATE_DYNAMIC)
    fill<T, L> (out, F::val (OUT));
  if (D && D->state == VORN_ATTRIB_STATE_DYNAMIC)
    memcpy (out, D->buffer, gsize (pre) * sizeof (T));
  else
    {
      const T v = D ? F::val (D) : (gen->dest_op == VORN_WAVE_OP_MUL ? T (1) : T (0));
      for (int i = 0; i < pre; i++)
        out[i] = v;
    }
  OUT->state = VORN_ATTRIB_STATE_DYNAMIC;
  return TRUE;
}

template <typename T, typename L>
gboolean
render (VornGen *base)
{
  if (G_UNLIKELY (reinterpret_cast<VornWaveGen *> (base)->pre_roll))
    return render_pre_roll<T, L> (base);
  return render_fragment<T, L> (base);
}

} // namespace wave_kernel
} // namespace
