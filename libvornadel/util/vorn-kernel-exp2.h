/* vorn-kernel-exp2.h: 2^(x k) over kernel lanes, for decibel and semitone
 * conversions in the render kernels.
 *
 * Built from additions, multiplications, comparisons and bit moves only,
 * each lane doing the same IEEE operations in the same order (the kernels
 * are compiled without contraction), so every instruction set and the
 * scalar build give the same bits within one format.  Accurate to a couple
 * of units in the last place of the format: the product x k is carried in
 * two parts (an exact product split after Dekker, plus the rounding error
 * of k itself), so large arguments such as -96 dB keep their precision.
 * Internal linkage throughout, like the other kernel helpers. */
#pragma once

#include <glib.h>

#include <cstring>

namespace {
namespace kernel_exp2 {

template <typename T> struct Format;

template <>
struct Format<float>
{
  using Int = gint32;
  static constexpr float SPLIT = 4097.0f;            /* 2^12 + 1 */
  static constexpr float ROUND = 12582912.0f;        /* 1.5 * 2^23 */
  static constexpr int MANT = 23;
  static constexpr int BIAS = 127;
  static constexpr int MAX_EXP = 128;                /* 2^128 is infinite */
  static constexpr int MIN_EXP = -125;               /* smallest kept */
  static constexpr int DEGREE = 7;
};

template <>
struct Format<double>
{
  using Int = gint64;
  static constexpr double SPLIT = 134217729.0;       /* 2^27 + 1 */
  static constexpr double ROUND = 6755399441055744.0; /* 1.5 * 2^52 */
  static constexpr int MANT = 52;
  static constexpr int BIAS = 1023;
  static constexpr int MAX_EXP = 1024;
  static constexpr int MIN_EXP = -1021;
  static constexpr int DEGREE = 13;
};

/* The integer lanes matching V (a vector or a lone scalar of T). */
template <typename T, typename V, bool VECTOR = (sizeof (V) > sizeof (T))>
struct IntOf
{
  typedef typename Format<T>::Int type __attribute__ ((vector_size (sizeof (V))));
};

template <typename T, typename V>
struct IntOf<T, V, false>
{
  using type = typename Format<T>::Int;
};

/* A constant k carried as k_hi + k_lo, with k_hi split in two halves whose
 * products with a split argument are exact. */
template <typename T>
struct Factor
{
  T hi, lo, hi_h, hi_l;
};

template <typename T>
constexpr Factor<T>
factor (long double k)
{
  const T hi = T (k);
  const T lo = T (k - (long double) hi);
  const T s = hi * Format<T>::SPLIT;
  const T hi_h = s - (s - hi);
  return Factor<T>{ hi, lo, hi_h, T (hi - hi_h) };
}

/* Coefficients of 2^r = e^(r ln 2), Taylor terms (ln 2)^i / i!: with
 * |r| <= 1/2 the first omitted term is below half an ulp of the format. */
template <typename T>
struct Poly
{
  T c[Format<T>::DEGREE + 1];
  constexpr Poly () : c ()
  {
    long double term = 1.0L;
    for (int i = 0; i <= Format<T>::DEGREE; i++)
      {
        c[i] = T (term);
        term = term * 0.693147180559945309417232121458176568L / (long double) (i + 1);
      }
  }
};

/* 2^(x k) lane by lane for the factor @f (see factor()).  NaN stays NaN;
 * results beyond the format's range are infinite, results below its
 * smallest normal number are zero (never denormal, whatever the
 * processor's flush mode). */
template <typename T, typename L>
inline typename L::V
pow2 (typename L::V x, const Factor<T> &f)
{
  using V = typename L::V;
  using F = Format<T>;
  using I = typename IntOf<T, V>::type;
  static constexpr Poly<T> poly{};

  /* |x k| beyond 2000 saturates in both formats (k >= 1/12 here). */
  const auto nan = x != x;
  const V lim = L::splat (T (24000));
  V a = L::select (nan, L::splat (T (0)), x);
  a = L::select (a > lim, lim, L::select (a < -lim, -lim, a));

  /* p + e = a k exactly enough: Dekker's product a hi, then a lo. */
  const V p = a * f.hi;
  const V as = a * F::SPLIT;
  const V ah = as - (as - a);
  const V al = a - ah;
  V e = ((ah * f.hi_h - p) + ah * f.hi_l + al * f.hi_h) + al * f.hi_l;
  e = e + a * f.lo;

  /* n = p rounded to an integer (ties to even); r = p + e - n in [-1/2, 1/2]. */
  const V t = p + F::ROUND;
  const V n = t - F::ROUND;
  const V r = (p - n) + e;

  V q = L::splat (poly.c[F::DEGREE]);
  for (int i = F::DEGREE - 1; i >= 0; i--)
    q = q * r + poly.c[i];

  /* 2^n from the integer held in t's low mantissa bits. */
  const V nc = L::select (n > T (F::MAX_EXP), L::splat (T (F::MAX_EXP)),
                          L::select (n < T (F::MIN_EXP), L::splat (T (F::MIN_EXP)), n));
  const V tc = nc + F::ROUND;
  I tb, rb;
  memcpy (&tb, &tc, sizeof tb);
  const T round = F::ROUND;
  typename F::Int round_bits;
  memcpy (&round_bits, &round, sizeof round_bits);
  rb = ((tb - round_bits) + typename F::Int (F::BIAS)) << F::MANT;
  V scale;
  memcpy (&scale, &rb, sizeof scale);

  V res = L::select (n < T (F::MIN_EXP), L::splat (T (0)), q * scale);
  return L::select (nan, x, res);
}

} // namespace kernel_exp2
} // namespace
