/* vorn-filter-noise-kernel.h: the noise generator's render algorithm,
 * written once over the sample type and the vector width.
 *
 * Each instruction set compiles this header in its own translation unit
 * with its own flags; everything has internal linkage.  Drawing the numbers
 * is sequential; the scaling and the destination pass work on whole
 * vectors, one multiply or add per operation in the same order in every
 * variant (built with -ffp-contract=off), so the variants of one format
 * agree bit for bit. */
#pragma once

#include "vorn-filter-noise.h"
#include "vorn-kernel-lanes.h"

#include <cstring>

namespace {
namespace noise_kernel {

constexpr int FRAG = VORN_FRAGMENT_SIZE;

using kernel_lanes::Lanes;
using kernel_lanes::get;
using kernel_lanes::value_of;
using kernel_lanes::set_value;

/* The 64 raw values of one fragment, in double precision. */
inline void
draw_xorshift (guint64 *state, double *out)
{
  guint64 s = *state;
  for (int i = 0; i < FRAG; i++)
    {
      s ^= s << 13;
      s ^= s >> 7;
      s ^= s << 17;
      /* Sign from the top bit, exponent of 1.0, mantissa from the top 52
       * bits: a magnitude in [1, 2). */
      const guint64 bits = (s & G_GUINT64_CONSTANT (0x8000000000000000)) | (s >> 12)
                           | G_GUINT64_CONSTANT (0x3ff0000000000000);
      memcpy (&out[i], &bits, sizeof bits);
    }
  *state = s;
}

inline void
draw_twister (GRand *rand, double *out)
{
  for (int i = 0; i < FRAG; i++)
    out[i] = g_rand_double_range (rand, -1.0, 1.0);
}

template <typename T, int BYTES>
gboolean
render (VornGen *base)
{
  using L = Lanes<T, BYTES>;
  using V = typename L::V;
  constexpr int W = L::W;

  VornFilterNoiseGen *gen = reinterpret_cast<VornFilterNoiseGen *> (base);
  const VornAttribVal *Y = gen->attrib_vals[VORN_FILTER_NOISE_SLOT_Y];
  const VornAttribVal *D = gen->attrib_vals[VORN_FILTER_NOISE_SLOT_DEST];
  VornAttribVal *OUT = gen->attrib_vals[VORN_FILTER_NOISE_SLOT_OUT];
  const guint8 op = gen->dest_op;

  if (G_UNLIKELY (!OUT || !OUT->buffer))
    return TRUE;

  /* An absent amplitude is the fixed 1.0; an absent destination input of
   * add or mul is the operation's identity, so the noise is simply set. */
  const bool y_dyn = Y && Y->state == VORN_ATTRIB_STATE_DYNAMIC && Y->buffer;
  const bool y_fixed = !Y || Y->state == VORN_ATTRIB_STATE_FIXED;
  const T y = Y && !y_dyn ? value_of<T> (Y) : T (1);
  const bool uses_d = op != VORN_WAVE_OP_SET;
  const bool d_dyn = uses_d && D && D->state == VORN_ATTRIB_STATE_DYNAMIC && D->buffer;
  const T d = uses_d && D && !d_dyn ? value_of<T> (D) : (op == VORN_WAVE_OP_MUL ? T (1) : T (0));

  if (y_fixed && y == T (0))
    {
      if (op == VORN_WAVE_OP_ADD)
        return FALSE;
      set_value<T> (OUT, T (0));
      OUT->state = VORN_ATTRIB_STATE_FIXED;
      return TRUE;
    }
  if (op == VORN_WAVE_OP_MUL && !y_dyn && y == T (0))
    {
      set_value<T> (OUT, T (0));
      OUT->state = VORN_ATTRIB_STATE_CONST;
      return TRUE;
    }

  const T *yb = y_dyn ? static_cast<const T *> (Y->buffer) : nullptr;
  const T *db = d_dyn ? static_cast<const T *> (D->buffer) : nullptr;
  T *out = static_cast<T *> (OUT->buffer);
  const bool identity = op == VORN_WAVE_OP_SET || (op == VORN_WAVE_OP_ADD && !db && d == T (0))
                        || (op == VORN_WAVE_OP_MUL && !db && d == T (1));
  const bool direct = !yb && y == T (1) && identity;

  alignas (VORN_ALIGNMENT) double raw[FRAG];
  if (gen->noise_type == VORN_FILTER_NOISE_TYPE_TWISTER)
    draw_twister (gen->rng.rand, raw);
  else
    draw_xorshift (&gen->rng.xorshift, raw);

  alignas (VORN_ALIGNMENT) T scratch[FRAG];
  T *n = direct ? out : scratch;
  const V ys = L::splat (get<T> (gen->y_scale)), yo = L::splat (get<T> (gen->y_ofs));
  for (int i = 0; i < FRAG; i += W)
    {
      V v;
      for (int j = 0; j < W; j++)
        v[j] = T (raw[i + j]);
      L::store (n + i, v * ys + yo);
    }

  if (!direct)
    {
      const V yv = L::splat (y), dv = L::splat (d);
      for (int i = 0; i < FRAG; i += W)
        {
          const V amp = yb ? L::load (yb + i) : yv;
          const V nv = L::load (n + i);
          V r;
          if (op == VORN_WAVE_OP_SET)
            r = amp * nv;
          else if (op == VORN_WAVE_OP_ADD)
            r = (db ? L::load (db + i) : dv) + amp * nv;
          else
            r = (db ? L::load (db + i) : dv) * amp * nv;
          L::store (out + i, r);
        }
    }

  OUT->state = VORN_ATTRIB_STATE_DYNAMIC;
  return TRUE;
}

} // namespace noise_kernel
} // namespace
