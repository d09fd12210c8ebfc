/* vorn-wave-gen-kernel-solve.h: the curve values of a fragment's walk,
 * chunk by chunk of lanes: fitted segments by their polynomial pieces, the
 * others by the table-guided root search, every lane with the arithmetic of
 * the cache's one-sample evaluation (vorn-curve-cache-eval.h).
 *
 * Compiled once per instruction set with the kernel (internal linkage, see
 * vorn-wave-gen-kernel.h). */
#pragma once

#include "vorn-curve-cache.h"
#include "vorn-curve-cache-eval.h"
#include "vorn-wave-gen-kernel-lanes.h"

namespace {
namespace wave_kernel {

constexpr int FRAG = VORN_FRAGMENT_SIZE;
constexpr int REC = VORN_CURVE_CACHE_RECORD_LEN;

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
  if constexpr (L::W == 1)
    (void) w, (void) at, (void) out;
  else
    for (int l = 0; l < L::W; l++)
      {
        const T *r = w.seg[w.run[at + l]];
        const T *p = tables_of (w.first, w.prep, r);
        /* The one-sample evaluation answers a fitted record by its fit. */
        if (curve_eval::fitted (p))
          out[l] = solve_segment (r, p, w.pos[at + l] * p[curve_eval::PREP_SCALARS + curve_eval::PREP_RDX]);
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

} // namespace wave_kernel
} // namespace
