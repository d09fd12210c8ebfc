/* vorn-mix-kernel.h: the speaker mix's render algorithm, written once over
 * the sample type and the vector width.
 *
 * Each instruction set compiles this header in its own translation unit with
 * its own flags.  Everything has internal linkage so that the linker never
 * merges a copy built for one set into another.  Per sample the algorithm
 * is one multiply and at most one add, in the same order in every variant
 * (built with -ffp-contract=off), so the variants of one format agree
 * bit for bit. */
#pragma once

#include "vorn-curve-cache.h"
#include "vorn-kernel-lanes.h"
#include "vorn-mix.h"

namespace {
namespace mix_kernel {

constexpr int FRAG = VORN_FRAGMENT_SIZE;

using kernel_lanes::Lanes;
using kernel_lanes::value_of;
using kernel_lanes::set_value;
using kernel_lanes::is_dynamic;

/* An input's value for this fragment: the first sample when dynamic, else
 * its constant; 0 when unbound. */
template <typename T>
inline double
first_value (const VornAttribVal *val)
{
  if (!val)
    return 0.0;
  if (is_dynamic (val))
    return double (static_cast<const T *> (val->buffer)[0]);
  return double (value_of<T> (val));
}

/* Into [-1, 1]; NaN goes to -1 so that it cannot defeat the gain cache. */
inline double
clamp_unit (double v)
{
  return v > 1.0 ? 1.0 : (v >= -1.0 ? v : -1.0);
}

template <typename T, int BYTES>
gboolean
render (VornGen *base)
{
  using L = Lanes<T, BYTES>;
  using V = typename L::V;

  VornMixGen *gen = reinterpret_cast<VornMixGen *> (base);
  const VornAttribVal *sig = gen->attrib_vals[0];
  const VornAttribVal *src = gen->attrib_vals[3];
  VornAttribVal *dest = gen->attrib_vals[4];
  T *gains = static_cast<T *> (gen->gains);
  const guint32 n = gen->speaker_count;

  const double b = clamp_unit (first_value<T> (gen->attrib_vals[1]));
  const double l = clamp_unit (first_value<T> (gen->attrib_vals[2]));
  if (b != gen->cached_bal || l != gen->cached_lat)
    {
      for (guint32 s = 0; s < n; s++)
        gains[s] = T (vorn_curve_cache_plot_point (gen->bal_caches[s], b)
                      * vorn_curve_cache_plot_point (gen->lat_caches[s], l));
      gen->cached_bal = b;
      gen->cached_lat = l;
    }

  if (!dest)
    return TRUE;

  /* Never past the speaker groups the queue laid out: a group may be
   * narrower than the synthesizer's speaker count, and the speakers beyond
   * it have nowhere to go.  Source records past their group are absent. */
  const guint32 nd = MIN (n, guint32 (dest->group_rest) + 1);
  const guint32 ns = src ? MIN (nd, guint32 (src->group_rest) + 1) : 0;

  const bool sig_dyn = is_dynamic (sig);
  const T *x = sig_dyn ? static_cast<const T *> (sig->buffer) : nullptr;
  const T xs = sig && !sig_dyn ? value_of<T> (sig) : T (0);

  for (guint32 s = 0; s < nd; s++)
    {
      const T g = gains[s];
      const VornAttribVal *sv = s < ns ? src + s : nullptr;
      VornAttribVal *dv = dest + s;
      const bool src_dyn = is_dynamic (sv);
      /* A dynamic record without a buffer counts as absent. */
      const T v = sv && sv->state != VORN_ATTRIB_STATE_DYNAMIC ? value_of<T> (sv) : T (0);
      const T *sb = src_dyn ? static_cast<const T *> (sv->buffer) : nullptr;
      T *out = static_cast<T *> (dv->buffer);

      if (!sig_dyn && !src_dyn)
        {
          set_value<T> (dv, g * xs + v);
          dv->state = VORN_ATTRIB_STATE_CONST;
          continue;
        }

      const V gv = L::splat (g);
      if (sig_dyn && src_dyn)
        for (int i = 0; i < FRAG; i += L::W)
          L::store (out + i, L::load (x + i) * gv + L::load (sb + i));
      else if (sig_dyn && v != T (0))
        {
          const V vv = L::splat (v);
          for (int i = 0; i < FRAG; i += L::W)
            L::store (out + i, L::load (x + i) * gv + vv);
        }
      else if (sig_dyn)
        for (int i = 0; i < FRAG; i += L::W)
          L::store (out + i, L::load (x + i) * gv);
      else
        {
          const V gx = L::splat (g * xs);
          for (int i = 0; i < FRAG; i += L::W)
            L::store (out + i, L::load (sb + i) + gx);
        }
      dv->state = VORN_ATTRIB_STATE_DYNAMIC;
    }
  return TRUE;
}

} // namespace mix_kernel
} // namespace
