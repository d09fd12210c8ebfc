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

#include "vorn-curve-cache.h"
#include "vorn-curve-cache-eval.h"
#include "vorn-kernel-exp2.h"
#include "vorn-kernel-lanes.h"
#include "vorn-wave-gen.h"
#include "vorn-wave-gen-antialias.h"
#include "vorn-wave.h"

#include <cmath>
#include <cstring>
#include <immintrin.h>

namespace {
namespace wave_kernel {

constexpr int FRAG = VORN_FRAGMENT_SIZE;
constexpr int REC = VORN_CURVE_CACHE_RECORD_LEN;

/* A position walk that wraps this often within one sample is on a curve of
 * (nearly) zero width; it gives up instead of spinning. */
constexpr int MAX_WRAPS = 64;


/* ---- lane abstractions ------------------------------------------------ */

#if defined(__AVX__)
/* The 256-bit register of a format, and its blend by mask sign bits. */
template <typename T> struct AvxRegister;
template <> struct AvxRegister<float> { using type = __m256; };
template <> struct AvxRegister<double> { using type = __m256d; };
inline __m256 avx_blend (__m256 b, __m256 a, __m256 m) { return _mm256_blendv_ps (b, a, m); }
inline __m256d avx_blend (__m256d b, __m256d a, __m256d m) { return _mm256_blendv_pd (b, a, m); }
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
        V v;
        if constexpr (sizeof (T) == sizeof (float))
          {
            __m512 a, b;
            __m512i i;
            memcpy (&a, &lo, sizeof a);
            memcpy (&b, &hi, sizeof b);
            memcpy (&i, &idx, sizeof i);
            const __m512 r = _mm512_permutex2var_ps (a, i, b);
            memcpy (&v, &r, sizeof v);
          }
        else
          {
            __m512d a, b;
            __m512i i;
            memcpy (&a, &lo, sizeof a);
            memcpy (&b, &hi, sizeof b);
            memcpy (&i, &idx, sizeof i);
            const __m512d r = _mm512_permutex2var_pd (a, i, b);
            memcpy (&v, &r, sizeof v);
          }
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

/* ---- scalar curve solve ------------------------------------------------ */

/* The cache's own evaluation of one record, shared so that both agree. */
using curve_eval::NEWTON_MIN_SLOPE;
using curve_eval::bisect;
using curve_eval::solve_segment;

/* ---- vector curve solve ------------------------------------------------ */

/* The values of one record per lane, as its evaluation tables hold them
 * (curve_eval::prepare_record): Ys is the scale of the Y polynomial and
 * straight the lanes answered by the line y0 + u dy. */
template <typename L>
struct Coefs
{
  using V = typename L::V;
  using M = typename L::M;
  V dx, y0, dy;
  V rdx; /* curve_eval::reciprocal_width (dx) */
  V tab[9];
  V A, B, C, A3, B2, Ay, By, Cy, Ys;
  M straight;
  /* Every lane's table rises (never falls): then the bracket is a count of
   * entries <= u.  With tables (L::LOOKUP only), lane l of bracket n reads
   * entry n + offset[l] of ext, the bracket ends 0, T(1) .. T(9), 1, of
   * inv, the reciprocals of their widths, and of bend0 and bend1, the
   * bends of each bracket's ends (curve_eval::hermite_bend).  A chunk on
   * one record has them, and so does a chunk across one segment change
   * where two records' tables fit the lookup's two registers: the second
   * record's lanes are offset past the first's entries. */
  bool sorted, tables;
  M offset;
  V ext[2], inv[2], bend0[2], bend1[2];
};

/* curve_eval::hermite_bend, lane by lane. */
template <typename T, typename L>
inline typename L::V
hermite_bend (typename L::V w, typename L::V slope)
{
  using V = typename L::V;
  const V three = L::splat (T (3));
  V m = w * L::splat (T (10)) / slope;
  m = L::select (m > three, three, m);
  return L::select (m >= L::splat (T (0)), m, L::splat (T (1))) - L::splat (T (1));
}

/* Registers that one record's tables take: entries 0 .. 10 in lanes of
 * the width. */
template <typename L>
constexpr int TABLE_REGS = L::W >= 16 ? 1 : 2;

/* The evaluation tables of record r, in a cache whose first record is
 * first and whose tables start at prep. */
template <typename T>
inline const T *
tables_of (const T *first, const T *prep, const T *r)
{
  return prep + gsize (r - first) / REC * curve_eval::PREP_LEN;
}

/* Whether record p's table rises, as its tables record it. */
template <typename T>
inline bool
rises (const T *p)
{
  return p[curve_eval::PREP_SCALARS + curve_eval::PREP_RISES] != T (0);
}

/* The lanes of take (every lane with ALL) from record r, whose tables are
 * p. */
template <typename T, bool ALL, typename L>
inline void
coefs_record (Coefs<L> &k, const T *r, const T *p, typename L::M take)
{
  auto set = [take] (typename L::V &v, T x) {
    if constexpr (ALL)
      v = L::splat (x);
    else
      v = L::select (take, L::splat (x), v);
  };
  const T *sc = p + curve_eval::PREP_SCALARS;
  set (k.dx, r[VORN_CURVE_CACHE_DX]);
  set (k.y0, r[VORN_CURVE_CACHE_Y0]);
  set (k.dy, r[VORN_CURVE_CACHE_DY]);
  set (k.rdx, sc[curve_eval::PREP_RDX]);
  set (k.A, sc[curve_eval::PREP_A]);
  set (k.B, sc[curve_eval::PREP_B]);
  set (k.C, sc[curve_eval::PREP_C]);
  set (k.A3, sc[curve_eval::PREP_A3]);
  set (k.B2, sc[curve_eval::PREP_B2]);
  set (k.Ay, sc[curve_eval::PREP_AY]);
  set (k.By, sc[curve_eval::PREP_BY]);
  set (k.Cy, sc[curve_eval::PREP_CY]);
  set (k.Ys, sc[curve_eval::PREP_YS]);
  const typename L::M straight = L::splat (sc[curve_eval::PREP_STRAIGHT]) != L::splat (T (0));
  if constexpr (ALL)
    k.straight = straight;
  else
    k.straight = L::select_mask (take, straight, k.straight);
  for (int j = 0; j < 9; j++)
    set (k.tab[j], r[VORN_CURVE_CACHE_T1 + j]);
}

/* Record p's tables into the registers from at on. */
template <typename T, typename L>
inline void
coefs_tables (Coefs<L> &k, const T *p, int at)
{
  for (int h = 0; h < TABLE_REGS<L>; h++)
    {
      k.ext[at + h] = L::load (p + curve_eval::PREP_EXT + h * L::W);
      k.inv[at + h] = L::load (p + curve_eval::PREP_INV + h * L::W);
      k.bend0[at + h] = L::load (p + curve_eval::PREP_BEND0 + h * L::W);
      k.bend1[at + h] = L::load (p + curve_eval::PREP_BEND1 + h * L::W);
    }
}

/* Every lane from record r, whose tables are p. */
template <typename T, typename L>
inline void
coefs_splat (Coefs<L> &k, const T *r, const T *p)
{
  coefs_record<T, true> (k, r, p, L::mtrue ());
  k.sorted = rises (p);
  k.tables = L::LOOKUP;
  k.offset = typename L::M{};
  if constexpr (L::LOOKUP)
    {
      coefs_tables<T> (k, p, 0);
      if constexpr (TABLE_REGS<L> == 1)
        coefs_tables<T> (k, p, 1); /* never read, but never undefined */
    }
}

/* Lane l from the record of run runs[l], where runs never decrease along
 * the lanes (a chunk across segment changes): every lane starts from the
 * first record and each later run overwrites the lanes from where it
 * starts, so a chunk across one change, the usual case, costs two records
 * and no transpose.  seg holds the runs' records, first and prep the
 * cache's first record and tables. */
template <typename T, typename L>
inline void
coefs_runs (Coefs<L> &k, const guint8 *runs, const T *const *seg, const T *first, const T *prep)
{
  using V = typename L::V;
  using M = typename L::M;
  const T *r = seg[runs[0]];
  const T *const p0 = tables_of (first, prep, r);
  const T *p = p0;
  coefs_record<T, true> (k, r, p, L::mtrue ());
  k.sorted = rises (p);

  alignas (VORN_ALIGNMENT) T index[L::W];
  for (int l = 0; l < L::W; l++)
    index[l] = T (l);
  const V lanes = L::load (index);
  /* Runs go up by one at each change: each later run starts after the
   * lanes of the runs before it, counted without a branch per lane. */
  const int changes = runs[L::W - 1] - runs[0];
  M later{};
  for (int run = runs[0] + 1; run <= runs[L::W - 1]; run++)
    {
      int start = 0;
      for (int l = 0; l < L::W; l++)
        start += runs[l] < run;
      r = seg[run];
      p = tables_of (first, prep, r);
      later = lanes >= L::splat (T (start));
      coefs_record<T, false> (k, r, p, later);
      k.sorted = k.sorted && rises (p);
    }

  k.tables = false;
  k.offset = M{};
  if constexpr (L::LOOKUP && TABLE_REGS<L> == 1)
    if (changes == 1)
      {
        coefs_tables<T> (k, p0, 0);
        coefs_tables<T> (k, p, 1);
        k.offset = later & (M{} + L::W);
        k.tables = true;
        return;
      }
  /* unused, but never undefined */
  k.ext[0] = k.ext[1] = k.inv[0] = k.inv[1] = L::splat (T (0));
  k.bend0[0] = k.bend0[1] = k.bend1[0] = k.bend1[1] = L::splat (T (0));
}

/* Runs a statement for each of the P chunks solved together. */
#define VORN_EACH_CHUNK(h) _Pragma ("GCC unroll 8") for (int h = 0; h < P; h++)

/* Curve values at segment positions p[h] on the records k[h], lane by lane
 * exactly solve_segment() of p times the reciprocal width.  P chunks go
 * through each step together: the Newton steps are a chain of dependent
 * divisions, and independent chains side by side keep the processor's
 * units busy.  Every lane's arithmetic is the same whatever P. */
template <typename T, typename L, int P>
inline void
solve (const Coefs<L> *const *k, const typename L::V *p, typename L::V *out)
{
  using V = typename L::V;
  using M = typename L::M;
  constexpr int W = L::W;
  const V zero = L::splat (T (0)), one = L::splat (T (1));

  V u[P], line[P];
  M lin[P];
  bool all_lin = true;
  VORN_EACH_CHUNK (h)
    {
      const M flat = k[h]->dx == zero;
      u[h] = p[h] * k[h]->rdx;
      u[h] = L::select (u[h] < zero, zero, L::select (u[h] > one, one, u[h]));

      /* Lanes answered by the straight line (zero width: u is 0 there). */
      u[h] = L::select (flat, zero, u[h]);
      lin[h] = L::mor (L::mor (u[h] == zero, u[h] == one), k[h]->straight);
      line[h] = L::select (flat, k[h]->y0, k[h]->y0 + u[h] * k[h]->dy);
      all_lin = all_lin && L::all (lin[h]);
    }
  if (all_lin)
    {
      VORN_EACH_CHUNK (h)
        out[h] = line[h];
      return;
    }

  /* Table bracket: kf is the number of leading table entries <= u, the
   * same scan as one sample at a time even for a table that is not
   * sorted. */
  V t[P], d[P], kf[P];
  M newton[P], slow[P];
  bool any_newton = false, any_slow = false;
  const V min_slope = L::splat (T (NEWTON_MIN_SLOPE));
  VORN_EACH_CHUNK (h)
    {
      V lo = zero, hi = k[h]->tab[0], inv, bend0, bend1;
      kf[h] = zero;
      bool counted = false, inverted = false;
      if constexpr (L::W > 1)
        if (k[h]->sorted)
          {
            /* A rising table: entries <= u lead, so counting finds k. */
            const M n = L::count_reached (u[h], k[h]->tab);
            kf[h] = __builtin_convertvector (n, V);
            if (L::LOOKUP && k[h]->tables)
              {
                const M at = n + k[h]->offset;
                lo = L::lookup (k[h]->ext[0], k[h]->ext[1], at);
                inv = L::lookup (k[h]->inv[0], k[h]->inv[1], at);
                bend0 = L::lookup (k[h]->bend0[0], k[h]->bend0[1], at);
                bend1 = L::lookup (k[h]->bend1[0], k[h]->bend1[1], at);
                inverted = true;
              }
            else
              _Pragma ("GCC unroll 9") for (int j = 0; j < 9; j++)
                {
                  const M past = n > j;
                  lo = L::select (past, k[h]->tab[j], lo);
                  hi = L::select (past, j < 8 ? k[h]->tab[j + 1] : one, hi);
                }
            counted = true;
          }
      if (!counted)
        {
          M acc = L::mtrue ();
          _Pragma ("GCC unroll 9") for (int j = 0; j < 9; j++)
            {
              acc = L::mand (acc, u[h] >= k[h]->tab[j]);
              lo = L::select (acc, k[h]->tab[j], lo);
              hi = L::select (acc, j < 8 ? k[h]->tab[j + 1] : one, hi);
              kf[h] = L::select (acc, L::splat (T (j + 1)), kf[h]);
            }
        }
      if (!inverted)
        {
          const Coefs<L> &c = *k[h];
          const V w = hi - lo, tenth = L::splat (T (0.1));
          inv = one / w;
          bend0 = hermite_bend<T, L> (w, curve_eval::x_slope (c.A3, c.B2, c.C, kf[h] * tenth));
          bend1 = hermite_bend<T, L> (w, curve_eval::x_slope (c.A3, c.B2, c.C, (kf[h] + one) * tenth));
        }
      t[h] = curve_eval::hermite_guess<V, T> ((u[h] - lo) * inv, bend0, bend1, kf[h]);

      d[h] = curve_eval::x_slope (k[h]->A3, k[h]->B2, k[h]->C, t[h]);
      newton[h] = L::mand (L::mnot (lin[h]), d[h] >= min_slope);
      slow[h] = L::mand (L::mand (L::mnot (lin[h]), L::mnot (d[h] >= min_slope)), d[h] != zero);
      any_newton = any_newton || L::any (newton[h]);
      any_slow = any_slow || L::any (slow[h]);
    }

  /* Lanes outside newton keep t through every step below; a lane leaves
   * the search after a step below the tolerance, as solve_segment() does. */
  if (any_newton)
    {
      M active[P];
      VORN_EACH_CHUNK (h)
        active[h] = newton[h];
      const V tol = L::splat (curve_eval::newton_tolerance<T> ());
      for (int i = 0; i < 4; i++)
        {
          bool searching = false;
          VORN_EACH_CHUNK (h)
            {
              const Coefs<L> &c = *k[h];
              if (i)
                {
                  d[h] = curve_eval::x_slope (c.A3, c.B2, c.C, t[h]);
                  active[h] = L::mand (active[h], d[h] != zero);
                }
              /* Inactive lanes may divide by zero: their step is dropped. */
              const V step = curve_eval::x_residual (c.A, c.B, c.C, t[h], u[h]) / d[h];
              t[h] = L::select (active[h], t[h] - step, t[h]);
              active[h] = L::mand (active[h], L::mnot (L::abs (step) < tol));
              searching = searching || L::any (active[h]);
            }
          if (!searching)
            break;
        }
      VORN_EACH_CHUNK (h)
        t[h] = L::select (newton[h], L::select (t[h] < zero, zero, L::select (t[h] > one, one, t[h])), t[h]);
    }

  if (G_UNLIKELY (any_slow))
    {
      /* Rare: redo the flat lanes one at a time with the same arithmetic. */
      VORN_EACH_CHUNK (h)
        {
          if (!L::any (slow[h]))
            continue;
          alignas (VORN_ALIGNMENT) T tt[W];
          L::store (tt, t[h]);
          for (int l = 0; l < W; l++)
            if (L::lane (slow[h], l))
              tt[l] = bisect (L::lane (k[h]->A, l), L::lane (k[h]->B, l), L::lane (k[h]->C, l),
                              L::lane (u[h], l), L::lane (kf[h], l));
          t[h] = L::load (tt);
        }
    }

  VORN_EACH_CHUNK (h)
    {
      const Coefs<L> &c = *k[h];
      const V curve = ((c.Ay * t[h] + c.By) * t[h] + c.Cy) * (t[h] * c.Ys) + c.y0;
      out[h] = L::select (lin[h], line[h], curve);
    }
}

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

/* ---- the curve stage --------------------------------------------------- */

/* Chunks of W lanes solved side by side (see solve()): four, except where
 * two measure faster: on AVX without AVX2, whose lane masks have no
 * 256-bit integer operations and whose sixteen registers four chunks
 * overflow, and for sixteen single lanes, where four chunks spill much of
 * their state. */
template <typename L>
constexpr int
chunks ()
{
#if defined(__AVX__) && !defined(__AVX2__)
  return 2;
#else
  return L::W >= 16 ? 2 : 4;
#endif
}

/* Sample positions and segments recorded by the sequential walk, solved in
 * groups of chunks() chunks of W lanes.  Arrays have padding so that the last
 * group of a range can be computed whole. */
template <typename T, typename L>
struct Walk
{
  static constexpr int PAD = chunks<L> () * L::W;
  alignas (VORN_ALIGNMENT) T pos[FRAG + PAD];
  guint8 run[FRAG + PAD];
  /* The record of each run: a run starts at every segment change, at
   * most one per sample. */
  const T *seg[FRAG + 1];
  /* Each chunk's record, loaded before use (see solve_range()). */
  Coefs<L> k[chunks<L> ()];
  /* The cache's first record and evaluation tables. */
  const T *first, *prep;
};

/* Entry k (per lane, 0 .. FIT_PIECES - 1) of a row of the fit tables. */
template <typename T, typename L>
inline typename L::V
fit_row (const T *row, typename L::M k)
{
  static_assert (curve_eval::FIT_PIECES == 16);
  if constexpr (L::LOOKUP && L::W == 16)
    return L::lookup (L::load (row), L::load (row), k);
  else if constexpr (L::LOOKUP && L::W == 8)
    return L::lookup (L::load (row), L::load (row + 8), k);
  else
    {
      typename L::V v;
      for (int l = 0; l < L::W; l++)
        v[l] = row[k[l]];
      return v;
    }
}

/* curve_eval::fit_value() lane by lane, with the same arithmetic. */
template <typename T, typename L>
inline typename L::V
fit_lanes (const T *p, typename L::V u)
{
  using V = typename L::V;
  using M = typename L::M;
  using curve_eval::FIT_DEGREE;
  using curve_eval::FIT_PIECES;
  if constexpr (L::W == 1)
    return curve_eval::fit_value (p, u);
  else
    {
      const V u16 = u * L::splat (T (FIT_PIECES));
      const M inside = L::mand (u16 >= L::splat (T (0)), u16 < L::splat (T (FIT_PIECES)));
      const M k = L::select_mask (inside, __builtin_convertvector (u16, M), M{} + (FIT_PIECES - 1));
      const V s = u16 - __builtin_convertvector (k, V);
      const T *c = p + curve_eval::PREP_FIT;
      V y = fit_row<T, L> (c + FIT_DEGREE * FIT_PIECES, k);
      for (int j = FIT_DEGREE - 1; j >= 0; j--)
        y = y * s + fit_row<T, L> (c + j * FIT_PIECES, k);
      return y;
    }
}

/* 0, 1, .. W - 1 in the lanes, from a constant: lanes stored one by one
 * and loaded whole would stall on their way through memory. */
template <typename T, typename L>
inline typename L::V
lane_index ()
{
  static constexpr struct Index
  {
    alignas (VORN_ALIGNMENT) T v[L::W];
    constexpr Index () : v{}
    {
      for (int l = 0; l < L::W; l++)
        v[l] = T (l);
    }
  } index;
  return L::load (index.v);
}

/* The W samples from at of a walk whose every record there is fitted, as
 * solve() would give them for a fitted record: the line at the segment's
 * ends, the fit inside.  A chunk across segment changes takes each run's
 * lanes from its own record.  FALSE, with out untouched, when a record
 * has no fit. */
template <typename T, typename L>
inline bool
fit_chunk (const Walk<T, L> &w, int at, typename L::V pos, typename L::V &out)
{
  using V = typename L::V;
  constexpr int W = L::W;
  const int r0 = w.run[at], r1 = w.run[at + W - 1];
  for (int run = r0; run <= r1; run++)
    if (!curve_eval::fitted (tables_of (w.first, w.prep, w.seg[run])))
      return false;

  const V zero = L::splat (T (0)), one = L::splat (T (1));
  for (int run = r0; run <= r1; run++)
    {
      const T *r = w.seg[run];
      const T *p = tables_of (w.first, w.prep, r);
      V u = pos * L::splat (p[curve_eval::PREP_SCALARS + curve_eval::PREP_RDX]);
      u = L::select (u < zero, zero, L::select (u > one, one, u));
      const V line = L::splat (r[VORN_CURVE_CACHE_Y0]) + u * L::splat (r[VORN_CURVE_CACHE_DY]);
      const V v = L::select (L::mor (u == zero, u == one), line, fit_lanes<T, L> (p, u));
      if (run == r0)
        out = v;
      else
        {
          int start = 0;
          for (int l = 0; l < W; l++)
            start += w.run[at + l] < run;
          if constexpr (W == 1)
            out = v;
          else
            out = L::select (lane_index<T, L> () >= L::splat (T (start)), v, out);
        }
    }
  return true;
}

/* Lanes of a chunk that fit_chunk() could not take whole: each lane whose
 * record is fitted gets its fitted value, one at a time. */
template <typename T, typename L>
inline void
fit_some_lanes (const Walk<T, L> &w, int at, typename L::V &out)
{
  using curve_eval::PREP_RDX;
  using curve_eval::PREP_SCALARS;
  if constexpr (L::W == 1)
    (void) w, (void) at, (void) out;
  else
    for (int l = 0; l < L::W; l++)
      {
        const T *r = w.seg[w.run[at + l]];
        const T *p = tables_of (w.first, w.prep, r);
        if (!curve_eval::fitted (p))
          continue;
        T u = w.pos[at + l] * p[PREP_SCALARS + PREP_RDX];
        u = u < T (0) ? T (0) : (u > T (1) ? T (1) : u);
        out[l] = u == T (0) || u == T (1) ? r[VORN_CURVE_CACHE_Y0] + u * r[VORN_CURVE_CACHE_DY]
                                          : curve_eval::fit_value (p, u);
      }
}

/* Solves samples [a, b) of the walk into out, scaled by ys and offset by yo.
 * A chunk inside one run (no segment change) broadcasts its record; each
 * chunk of a group keeps its own record from one group to the next. */
template <typename T, typename L>
inline void
solve_range (Walk<T, L> &w, int a, int b, T *out, T ys, T yo)
{
  using V = typename L::V;
  constexpr int W = L::W;
  constexpr int P = chunks<L> ();
  const V ysv = L::splat (ys), yov = L::splat (yo);
  Coefs<L> *const k = w.k;
  const Coefs<L> *kp[P];
  const T *loaded[P] = {};

  if (a >= b)
    return;
  /* Padding repeats the last sample: it is computed and dropped. */
  for (int l = b; l < b + P * W; l++)
    {
      w.pos[l] = w.pos[b - 1];
      w.run[l] = w.run[b - 1];
    }

  for (int c = a; c < b; c += P * W)
    {
      V pos[P], v[P] = {};
      bool fit[P], all_fit = true;
      VORN_EACH_CHUNK (h)
        {
          pos[h] = L::load (w.pos + c + h * W);
          fit[h] = fit_chunk<T, L> (w, c + h * W, pos[h], v[h]);
          all_fit = all_fit && fit[h];
        }
      if (!all_fit)
        {
          V solved[P];
          VORN_EACH_CHUNK (h)
            {
              const int at = c + h * W;
              kp[h] = &k[h];
              if (w.run[at] == w.run[at + W - 1])
                {
                  /* A record another chunk of the group holds is shared. */
                  const T *r = w.seg[w.run[at]];
                  int holder = -1;
                  for (int g = 0; g < P && holder < 0; g++)
                    if (g <= h && loaded[g] == r)
                      holder = g;
                  if (holder >= 0)
                    kp[h] = &k[holder];
                  else
                    {
                      coefs_splat<T> (k[h], r, tables_of (w.first, w.prep, r));
                      loaded[h] = r;
                    }
                }
              else
                {
                  coefs_runs<T> (k[h], w.run + at, w.seg, w.first, w.prep);
                  loaded[h] = nullptr;
                }
            }

          solve<T, L, P> (kp, pos, solved);
          VORN_EACH_CHUNK (h)
            if (!fit[h])
              {
                v[h] = solved[h];
                fit_some_lanes<T, L> (w, c + h * W, v[h]);
              }
        }

      VORN_EACH_CHUNK (h)
        {
          const int at = c + h * W;
          const V r = v[h] * ysv + yov;
          if (at + W <= b)
            L::store (out + at, r);
          else
            for (int l = 0; at + l < b; l++)
              out[at + l] = L::lane (r, l);
        }
    }
}

/* Steps 4 to 7 for a wave with a curve that has not finished. */
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
