/* vorn-kernel-table.h: how every render kernel is chosen.  A kernel exists in
 * one variant per sample format and instruction set (each compiled in its own
 * translation unit, see the kernels/ folders); a table lists the variants best
 * first with the format each renders and the level each needs, and the first
 * variant that matches the format and that the processor's level allows wins.
 * The choice is made once, when a generator or renderer is set up.  Not
 * installed. */
#pragma once

#include "vorn-attrib.h"
#include "vorn-cpu.h"

#ifdef __cplusplus

/* One variant of a kernel of function type F. */
template <typename F>
struct VornKernelVariant {
  VornFormat format;
  VornSimd needs;
  F func;
};

/* The eight variants NAME_AVX512_F, NAME_AVX2_F, NAME_AVX_F, NAME_SSE2_F,
 * then the same for double, best first: the initialiser of a
 * VornKernelVariant array. */
#define VORN_KERNEL_VARIANTS(name)                         \
  { VORN_FORMAT_SINGLE, VORN_SIMD_AVX512, name##_AVX512_F }, \
  { VORN_FORMAT_SINGLE, VORN_SIMD_AVX2, name##_AVX2_F },     \
  { VORN_FORMAT_SINGLE, VORN_SIMD_AVX, name##_AVX_F },       \
  { VORN_FORMAT_SINGLE, VORN_SIMD_SSE2, name##_SSE2_F },     \
  { VORN_FORMAT_DOUBLE, VORN_SIMD_AVX512, name##_AVX512_D }, \
  { VORN_FORMAT_DOUBLE, VORN_SIMD_AVX2, name##_AVX2_D },     \
  { VORN_FORMAT_DOUBLE, VORN_SIMD_AVX, name##_AVX_D },       \
  { VORN_FORMAT_DOUBLE, VORN_SIMD_SSE2, name##_SSE2_D }

/* The best variant of @table for @format on a processor of @level.  A level
 * that is not resolved (auto) or out of range counts as SSE2, which every
 * x86-64 processor has; a format other than double is single.  NULL only
 * when the table has no SSE2 variant of the format. */
template <typename F, gsize N>
static inline F
vorn_kernel_pick (const VornKernelVariant<F> (&table)[N], VornFormat format, VornSimd level)
{
  if (int (level) < int (VORN_SIMD_SSE2) || int (level) > int (VORN_SIMD_AVX512))
    level = VORN_SIMD_SSE2;
  if (format != VORN_FORMAT_DOUBLE)
    format = VORN_FORMAT_SINGLE;
  for (const VornKernelVariant<F> &v : table)
    if (v.format == format && int (v.needs) <= int (level))
      return v.func;
  return nullptr;
}

#endif
