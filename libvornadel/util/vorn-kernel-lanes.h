/* vorn-kernel-lanes.h: small helpers shared by the render kernels (vector
 * lanes over GCC vector extensions, access to values held in the render
 * format).
 *
 * The kernels are compiled once per instruction set, each with its own code
 * generation flags, so everything here has internal linkage (an unnamed
 * namespace, no standard library templates): the linker must never merge a
 * copy built for one set into another. */
#pragma once

#include "vorn-aligned.h"
#include "vorn-attrib.h"

#include <cstring>
#include <immintrin.h>

namespace {
namespace kernel_lanes {

/* W lanes of T in one GCC vector of BYTES bytes, loaded and stored without
 * alignment requirements. */
template <typename T, int BYTES>
struct Lanes
{
  typedef T V __attribute__ ((vector_size (BYTES)));
  static constexpr int W = BYTES / int (sizeof (T));

  static inline V load (const T *p)
  {
    V v;
    memcpy (&v, p, sizeof v);
    return v;
  }
  static inline void store (T *p, V v) { memcpy (p, &v, sizeof v); }
  /* x in every lane, -0 included (V{} + x would make it +0). */
  static inline V splat (T x)
  {
    V v;
#if defined(__SSE2__)
    if constexpr (BYTES == 16)
      {
        /* Built lane by lane, GCC moves it through an integer register
         * here, which costs more than the float shuffle. */
        if constexpr (sizeof (T) == sizeof (float))
          {
            const __m128 r = _mm_set1_ps (x);
            memcpy (&v, &r, sizeof v);
          }
        else
          {
            const __m128d r = _mm_set1_pd (x);
            memcpy (&v, &r, sizeof v);
          }
        return v;
      }
#endif
    for (int l = 0; l < W; l++)
      v[l] = x;
    return v;
  }
};

/* The member of a float/double union (with members f and d) that holds T. */
template <typename T, typename U>
inline T &
get (U &v)
{
  if constexpr (sizeof (T) == sizeof (double))
    return v.d;
  else
    return v.f;
}

template <typename T>
inline T
value_of (const VornAttribVal *val)
{
  if constexpr (sizeof (T) == sizeof (double))
    return val->value.d;
  else
    return val->value.f;
}

template <typename T>
inline void
set_value (VornAttribVal *val, T x)
{
  if constexpr (sizeof (T) == sizeof (double))
    val->value.d = x;
  else
    val->value.f = x;
}

/* True for a record whose samples are in its buffer. */
inline bool
is_dynamic (const VornAttribVal *val)
{
  return val && val->state == VORN_ATTRIB_STATE_DYNAMIC && val->buffer;
}

} // namespace kernel_lanes
} // namespace
