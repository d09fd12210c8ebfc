/* vorn-wave-gen-kernel-lanes.h: the lanes the wave generator's kernel
 * computes in: W values of the sample type in one vector (or one scalar),
 * with lane masks, selection, table lookups and the tests the walk needs.
 *
 * Compiled once per instruction set with the kernel (internal linkage, see
 * vorn-wave-gen-kernel.h). */
#pragma once

#include "vorn-kernel-lanes.h"

#include <glib.h>

#include <cstring>
#include <immintrin.h>

namespace {
namespace wave_kernel {

/* ---- lane abstractions ------------------------------------------------ */

#if defined(__AVX__)
/* The 256-bit register of a format, and its blend by mask sign bits. */
template <typename T> struct AvxRegister;
template <> struct AvxRegister<float> { using type = __m256; };
template <> struct AvxRegister<double> { using type = __m256d; };
inline __m256 avx_blend (__m256 b, __m256 a, __m256 m) { return _mm256_blendv_ps (b, a, m); }
inline __m256d avx_blend (__m256d b, __m256d a, __m256d m) { return _mm256_blendv_pd (b, a, m); }
#endif
#if defined(__AVX512F__)
/* The 512-bit register of a format, and its lookup in two of them. */
template <typename T> struct Avx512Register;
template <> struct Avx512Register<float> { using type = __m512; };
template <> struct Avx512Register<double> { using type = __m512d; };
inline __m512 avx512_lookup (__m512 a, __m512i i, __m512 b) { return _mm512_permutex2var_ps (a, i, b); }
inline __m512d avx512_lookup (__m512d a, __m512i i, __m512d b) { return _mm512_permutex2var_pd (a, i, b); }
#endif

/* W lanes of T in one GCC vector of BYTES bytes, with lane masks.
 * Comparisons yield integer lane masks (all ones or zero); `m ? a : b`
 * selects lane-wise. */
template <typename T, int BYTES>
struct VecLanes : kernel_lanes::Lanes<T, BYTES>
{
  using typename kernel_lanes::Lanes<T, BYTES>::V;
  using kernel_lanes::Lanes<T, BYTES>::W;
  using M = decltype (V{} < V{});

  /* Lane masks are all ones or zero, so a bitwise blend selects: no
   * comparison of the mask with zero as `m ? a : b` would make. */
  static inline V select (M m, V a, V b)
  {
#if defined(__AVX__)
    if constexpr (BYTES == 32)
      {
        /* Each format blends as itself: a single blend of double lanes
         * splits their masks on AVX. */
        using R = typename AvxRegister<T>::type;
        R x, y, z;
        memcpy (&x, &b, sizeof x);
        memcpy (&y, &a, sizeof y);
        memcpy (&z, &m, sizeof z);
        const R r = avx_blend (x, y, z);
        V v;
        memcpy (&v, &r, sizeof v);
        return v;
      }
#endif
#if defined(__AVX512F__)
    /* Here GCC keeps a comparison's mask in its mask register and blends
     * under it in one instruction; the bitwise form costs two and makes
     * masks that live on into vector registers. */
    if constexpr (BYTES == 64)
      return m ? a : b;
#endif
    M ai, bi;
    memcpy (&ai, &a, sizeof ai);
    memcpy (&bi, &b, sizeof bi);
    const M ri = (ai & m) | (bi & ~m);
    V v;
    memcpy (&v, &ri, sizeof v);
    return v;
  }
  static inline M select_mask (M m, M a, M b) { return (m & a) | (~m & b); }
  static inline M mnot (M m) { return ~m; }
  /* |x| by clearing the sign bit (-0 becomes +0, NaN stays NaN). */
  static inline V abs (V x)
  {
    V negative_zero; /* not V{} + -0.0, which is +0 */
    for (int l = 0; l < W; l++)
      negative_zero[l] = T (-0.0);
    M bits, sign;
    memcpy (&bits, &x, sizeof bits);
    memcpy (&sign, &negative_zero, sizeof sign);
    bits &= ~sign;
    memcpy (&x, &bits, sizeof x);
    return x;
  }
  static inline M mand (M a, M b) { return a & b; }
  static inline M mor (M a, M b) { return a | b; }
  static inline M mtrue () { return V{} == V{}; }
  static inline T lane (V v, int l) { return v[l]; }
  static inline bool lane (M m, int l) { return m[l] != 0; }
  /* Tests of whole masks read the sign bits (one per 32-bit element) of each
   * register at once, instead of lane after lane. */
  static inline guint64 signs (M m)
  {
    guint64 bits = 0;
#if defined(__AVX512F__)
    if constexpr (BYTES == 64)
      {
        __m512i x;
        memcpy (&x, &m, sizeof x);
        return _mm512_cmplt_epi32_mask (x, _mm512_setzero_si512 ());
      }
#endif
#if defined(__AVX__)
    if constexpr (BYTES % 32 == 0)
      {
        for (int i = 0; i < BYTES / 32; i++)
          {
            __m256 x;
            memcpy (&x, reinterpret_cast<const char *> (&m) + 32 * i, sizeof x);
            bits |= guint64 (_mm256_movemask_ps (x)) << (8 * i);
          }
        return bits;
      }
#endif
    for (int i = 0; i < BYTES / 16; i++)
      {
        __m128 x;
        memcpy (&x, reinterpret_cast<const char *> (&m) + 16 * i, sizeof x);
        bits |= guint64 (_mm_movemask_ps (x)) << (4 * i);
      }
    return bits;
  }
  static constexpr guint64 ALL_SIGNS = (guint64 (1) << (BYTES / 4)) - 1;

  /* Whether lookup() exists: eight single lanes with AVX2's permutes, or
   * any 64-byte lanes with AVX-512's. */
#if defined(__AVX512F__)
  static constexpr bool LOOKUP = BYTES == 64 || (BYTES == 32 && sizeof (T) == sizeof (float));
#elif defined(__AVX2__)
  static constexpr bool LOOKUP = BYTES == 32 && sizeof (T) == sizeof (float);
#else
  static constexpr bool LOOKUP = false;
#endif

  /* Entry idx (per lane) of the values of lo followed by those of hi:
   * sixteen entries, thirty-two for sixteen lanes. */
  static inline V lookup (V lo, V hi, M idx)
  {
#if defined(__AVX512F__)
    if constexpr (BYTES == 64)
      {
        using R = typename Avx512Register<T>::type;
        R a, b;
        __m512i i;
        memcpy (&a, &lo, sizeof a);
        memcpy (&b, &hi, sizeof b);
        memcpy (&i, &idx, sizeof i);
        const R r = avx512_lookup (a, i, b);
        V v;
        memcpy (&v, &r, sizeof v);
        return v;
      }
#endif
#if defined(__AVX2__)
    if constexpr (LOOKUP && BYTES == 32)
      {
        __m256 a, b;
        __m256i i;
        memcpy (&a, &lo, sizeof a);
        memcpy (&b, &hi, sizeof b);
        memcpy (&i, &idx, sizeof i);
        const __m256 r = _mm256_blendv_ps (_mm256_permutevar8x32_ps (a, i),
                                           _mm256_permutevar8x32_ps (b, i),
                                           _mm256_castsi256_ps (_mm256_cmpgt_epi32 (i, _mm256_set1_epi32 (7))));
        V v;
        memcpy (&v, &r, sizeof v);
        return v;
      }
#endif
    (void) hi;
    (void) idx;
    return lo;
  }
#if defined(__AVX512F__)
  /* The lanes where a PRED b, in a mask register (64-byte lanes). */
  template <int PRED>
  static inline guint32 cmp_mask (V a, V b)
  {
    if constexpr (sizeof (T) == sizeof (float))
      {
        __m512 x, y;
        memcpy (&x, &a, sizeof x);
        memcpy (&y, &b, sizeof y);
        return _mm512_cmp_ps_mask (x, y, PRED);
      }
    else
      {
        __m512d x, y;
        memcpy (&x, &a, sizeof x);
        memcpy (&y, &b, sizeof y);
        return _mm512_cmp_pd_mask (x, y, PRED);
      }
  }
#endif
  /* Per lane, how many of the nine values of tab x reaches (x >= tab[j],
   * false for NaN). */
  static inline M count_reached (V x, const V *tab)
  {
#if defined(__AVX512F__)
    if constexpr (BYTES == 64)
      {
        /* One masked addition per entry, from the comparison's mask
         * register. */
        __m512i n = _mm512_setzero_si512 ();
        _Pragma ("GCC unroll 9") for (int j = 0; j < 9; j++)
          {
            if constexpr (sizeof (T) == sizeof (float))
              n = _mm512_mask_sub_epi32 (n, cmp_mask<_CMP_GE_OQ> (x, tab[j]), n, _mm512_set1_epi32 (-1));
            else
              n = _mm512_mask_sub_epi64 (n, cmp_mask<_CMP_GE_OQ> (x, tab[j]), n, _mm512_set1_epi64 (-1));
          }
        M m;
        memcpy (&m, &n, sizeof m);
        return m;
      }
#endif
    M n{};
    _Pragma ("GCC unroll 9") for (int j = 0; j < 9; j++)
      n -= x >= tab[j];
    return n;
  }
  /* The lanes where a <= limit and x is outside [0, hi), one bit per lane
   * from lane 0: the samples of a walk that leave their segment.  Tested
   * for every W samples, so on AVX-512 the comparisons stay in mask
   * registers instead of going through a vector and back. */
  static inline guint64 leaving (V x, V hi, V a, V limit)
  {
#if defined(__AVX512F__)
    if constexpr (BYTES == 64)
      return cmp_mask<_CMP_LE_OQ> (a, limit) & (cmp_mask<_CMP_GE_OQ> (x, hi) | cmp_mask<_CMP_LT_OQ> (x, V{}));
#endif
    guint64 bits = signs (mand (a <= limit, mor (x >= hi, x < V{})));
    if constexpr (sizeof (T) == sizeof (double))
      {
        /* signs() gives both halves of a double lane: keep every other bit
         * (at most sixteen). */
        bits &= 0x5555;
        bits = (bits | bits >> 1) & 0x3333;
        bits = (bits | bits >> 2) & 0x0f0f;
        bits = (bits | bits >> 4) & 0x00ff;
      }
    return bits;
  }
  static inline bool any (M m) { return signs (m) != 0; }
  static inline bool all (M m) { return signs (m) == ALL_SIGNS; }
};

/* One lane of plain scalars: the same algorithm without vector code. */
template <typename T>
struct ScalarLanes
{
  using V = T;
  using M = bool;
  static constexpr int W = 1;
  static constexpr bool LOOKUP = false;

  static inline V splat (T x) { return x; }
  static inline V load (const T *p) { return *p; }
  static inline void store (T *p, V v) { *p = v; }
  static inline V select (M m, V a, V b) { return m ? a : b; }
  static inline M select_mask (M m, M a, M b) { return m ? a : b; }
  static inline M mnot (M m) { return !m; }
  static inline V abs (V x) { return x < T (0) ? -x : x; }
  static inline M mand (M a, M b) { return a && b; }
  static inline M mor (M a, M b) { return a || b; }
  static inline M mtrue () { return true; }
  static inline T lane (V v, int) { return v; }
  static inline bool lane (M m, int) { return m; }
  static inline guint64 leaving (V x, V hi, V a, V limit) { return a <= limit && (x >= hi || x < T (0)); }
  static inline bool any (M m) { return m; }
  static inline bool all (M m) { return m; }
};

} // namespace wave_kernel
} // namespace
