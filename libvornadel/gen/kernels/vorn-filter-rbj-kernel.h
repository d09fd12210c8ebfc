/* vorn-filter-rbj-kernel.h: the biquad filters' render algorithm, written
 * once over the sample type and the filter type.
 *
 * Each instruction set compiles this header in its own translation unit with
 * its own flags; everything has internal linkage so that the linker never
 * merges a copy built for one set into another.  The recursion is
 * sequential per channel; the per-sample coefficient passes are plain loops
 * the compiler may vectorise.  Built with -ffp-contract=off, every variant
 * of one format performs the same IEEE operations in the same order and the
 * same libm calls, so their outputs agree bit for bit. */
#pragma once

#include "vorn-filter-rbj.h"
#include "vorn-kernel-lanes.h"

#include <cmath>

namespace {
namespace rbj_kernel {

constexpr int FRAG = VORN_FRAGMENT_SIZE;

enum Kind { LOWPASS, HIGHPASS, BANDPASS };

using kernel_lanes::get;
using kernel_lanes::value_of;
using kernel_lanes::is_dynamic;

/* An unbound input reads as the fixed value 0: silence for the source, and
 * (after conditioning) 20 Hz and the smallest Q for the parameters. */
template <typename T>
inline T
scalar_of (const VornAttribVal *val)
{
  return val && !is_dynamic (val) ? value_of<T> (val) : T (0);
}

/* Normalised coefficients (every one divided by a0). */
template <typename T>
struct Coefs
{
  T a0, a1, a2, b0, b1, b2;
};

/* Cutoff into [20, nyquist]; above the Nyquist frequency (or NaN) the
 * filter sits at Nyquist. */
template <typename T>
inline T
condition_freq (T f, T nyquist)
{
  if (f <= nyquist)
    return f > T (20) ? f : T (20);
  return nyquist;
}

/* Q into [0.001, 1000]; NaN acts as the lower bound. */
template <typename T>
inline T
condition_q (T q)
{
  if (!(q >= T (0.001)))
    return T (0.001);
  return q < T (1000) ? q : T (1000);
}

template <typename T, Kind K>
inline Coefs<T>
coefs_from (T s, T c, T q_in)
{
  const T q = condition_q (q_in);
  const T alpha = s * T (0.5) / q;
  const T a0 = T (1) + alpha;
  Coefs<T> k;
  k.a0 = a0;
  k.a1 = (T (-2) * c) / a0;
  k.a2 = (T (1) - alpha) / a0;
  if constexpr (K == LOWPASS)
    {
      const T b = (T (1) - c) / T (2);
      k.b0 = b / a0;
      k.b1 = (T (1) - c) / a0;
      k.b2 = b / a0;
    }
  else if constexpr (K == HIGHPASS)
    {
      const T b = (T (1) + c) / T (2);
      k.b0 = b / a0;
      k.b1 = -(T (1) + c) / a0;
      k.b2 = b / a0;
    }
  else
    {
      k.b0 = alpha / a0;
      k.b1 = T (0);
      k.b2 = -k.b0;
    }
  return k;
}

/* Coefficients for every sample of the fragment. */
template <typename T>
struct CoefBuf
{
  alignas (VORN_ALIGNMENT) T a1[FRAG];
  alignas (VORN_ALIGNMENT) T a2[FRAG];
  alignas (VORN_ALIGNMENT) T b0[FRAG];
  alignas (VORN_ALIGNMENT) T b1[FRAG];
  alignas (VORN_ALIGNMENT) T b2[FRAG];
};

template <typename T, Kind K>
inline void
store (CoefBuf<T> &cb, int i, const Coefs<T> &k)
{
  cb.a1[i] = k.a1;
  cb.a2[i] = k.a2;
  cb.b0[i] = k.b0;
  cb.b1[i] = k.b1;
  cb.b2[i] = k.b2;
}

/* One channel through Direct Form II.  The alternating +-1e-8 added to the
 * input keeps the recursion away from denormal numbers when the input is
 * silent.  @k is used when @cb is NULL. */
template <typename T, Kind K>
inline void
filter_channel (T *delay, const VornAttribVal *src, T *out, const CoefBuf<T> *cb,
                const Coefs<T> &k)
{
  const T offset[2] = { T (1e-8), T (-1e-8) };
  const T *x = is_dynamic (src) ? static_cast<const T *> (src->buffer) : nullptr;
  const T xs = scalar_of<T> (src);
  T w1 = delay[0], w2 = delay[1];

  for (int i = 0; i < FRAG; i++)
    {
      const T a1 = cb ? cb->a1[i] : k.a1, a2 = cb ? cb->a2[i] : k.a2;
      const T b0 = cb ? cb->b0[i] : k.b0;
      const T w = (x ? x[i] : xs) + offset[i & 1] - a1 * w1 - a2 * w2;
      T y;
      if constexpr (K == BANDPASS)
        y = b0 * (w - w2);
      else
        {
          const T b1 = cb ? cb->b1[i] : k.b1, b2 = cb ? cb->b2[i] : k.b2;
          y = b0 * w + b1 * w1 + b2 * w2;
        }
      w2 = w1;
      w1 = w;
      out[i] = y;
    }
  delay[0] = w1;
  delay[1] = w2;
}

template <typename T, Kind K>
gboolean
render_data (VornFilterRbjGenData *rbj)
{
  const VornAttribVal *fv = rbj->attrib_vals[VORN_FILTER_RBJ_SLOT_FREQ];
  const VornAttribVal *qv = rbj->attrib_vals[VORN_FILTER_RBJ_SLOT_Q];
  const VornAttribVal *src = rbj->attrib_vals[VORN_FILTER_RBJ_SLOT_SRC];
  VornAttribVal *dest = rbj->attrib_vals[VORN_FILTER_RBJ_SLOT_DEST];

  if (G_UNLIKELY (!dest))
    return TRUE;

  const T nyquist = get<T> (rbj->nyquist);
  const T omega = get<T> (rbj->omega_per_hz);
  const bool f_dyn = is_dynamic (fv), q_dyn = is_dynamic (qv);
  const T *fb = f_dyn ? static_cast<const T *> (fv->buffer) : nullptr;
  const T *qb = q_dyn ? static_cast<const T *> (qv->buffer) : nullptr;
  const T f = scalar_of<T> (fv), q = scalar_of<T> (qv);

  Coefs<T> k{};
  CoefBuf<T> buf;
  const CoefBuf<T> *cb = nullptr;

  if (f_dyn)
    {
      /* Everything per sample; the cache stays as it is. */
      for (int i = 0; i < FRAG; i++)
        {
          const T w0 = condition_freq (fb[i], nyquist) * omega;
          store<T, K> (buf, i, coefs_from<T, K> (std::sin (w0), std::cos (w0), qb ? qb[i] : q));
        }
      cb = &buf;
    }
  else
    {
      const guint8 mode = q_dyn ? VORN_FILTER_RBJ_COEF_SINCOS : VORN_FILTER_RBJ_COEF_ALL;
      if (rbj->coef_mode != mode || f != get<T> (rbj->cached_freq)
          || (!q_dyn && q != get<T> (rbj->cached_q)))
        {
          const T w0 = condition_freq (f, nyquist) * omega;
          const T s = std::sin (w0), c = std::cos (w0);
          get<T> (rbj->sin_w0) = s;
          get<T> (rbj->cos_w0) = c;
          get<T> (rbj->cached_freq) = f;
          if (!q_dyn)
            {
              k = coefs_from<T, K> (s, c, q);
              get<T> (rbj->cached_q) = q;
              get<T> (rbj->a0) = k.a0;
              get<T> (rbj->a1) = k.a1;
              get<T> (rbj->a2) = k.a2;
              get<T> (rbj->b0) = k.b0;
              get<T> (rbj->b1) = k.b1;
              get<T> (rbj->b2) = k.b2;
            }
          rbj->coef_mode = mode;
        }
      if (q_dyn)
        {
          const T s = get<T> (rbj->sin_w0), c = get<T> (rbj->cos_w0);
          for (int i = 0; i < FRAG; i++)
            store<T, K> (buf, i, coefs_from<T, K> (s, c, qb[i]));
          cb = &buf;
        }
      else
        {
          k.a1 = get<T> (rbj->a1);
          k.a2 = get<T> (rbj->a2);
          k.b0 = get<T> (rbj->b0);
          k.b1 = get<T> (rbj->b1);
          k.b2 = get<T> (rbj->b2);
        }
    }

  T *delay = static_cast<T *> (rbj->delay);
  for (guint32 ch = 0; ch < rbj->channels; ch++)
    {
      VornAttribVal *dv = dest + ch;
      if (G_UNLIKELY (!dv->buffer))
        continue;
      filter_channel<T, K> (delay + 2 * ch, src ? src + ch : nullptr, static_cast<T *> (dv->buffer),
                            cb, k);
      dv->state = VORN_ATTRIB_STATE_DYNAMIC;
    }
  return TRUE;
}

/* The three generator structures share one layout. */
template <typename T, Kind K>
gboolean
render (VornGen *gen)
{
  return render_data<T, K> (&reinterpret_cast<VornFilterRbjLowpassGen *> (gen)->rbj);
}

} // namespace rbj_kernel
} // namespace

/* Defines the six render functions of one instruction set. */
#define VORN_FILTER_RBJ_DEFINE_RENDERS(ISA)                                                   \
  gboolean vorn_filter_rbj_lowpass_gen_render_##ISA##_F (VornGen *gen)                        \
  { return rbj_kernel::render<float, rbj_kernel::LOWPASS> (gen); }                            \
  gboolean vorn_filter_rbj_lowpass_gen_render_##ISA##_D (VornGen *gen)                        \
  { return rbj_kernel::render<double, rbj_kernel::LOWPASS> (gen); }                           \
  gboolean vorn_filter_rbj_highpass_gen_render_##ISA##_F (VornGen *gen)                       \
  { return rbj_kernel::render<float, rbj_kernel::HIGHPASS> (gen); }                           \
  gboolean vorn_filter_rbj_highpass_gen_render_##ISA##_D (VornGen *gen)                       \
  { return rbj_kernel::render<double, rbj_kernel::HIGHPASS> (gen); }                          \
  gboolean vorn_filter_rbj_bandpass_gen_render_##ISA##_F (VornGen *gen)                       \
  { return rbj_kernel::render<float, rbj_kernel::BANDPASS> (gen); }                           \
  gboolean vorn_filter_rbj_bandpass_gen_render_##ISA##_D (VornGen *gen)                       \
  { return rbj_kernel::render<double, rbj_kernel::BANDPASS> (gen); }
