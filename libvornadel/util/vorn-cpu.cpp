/* vorn-cpu.cpp: processor feature detection and per-thread floating-point mode */
#include "vorn-cpu.h"

#if defined(__x86_64__) || defined(__i386__)
#define VORN_X86 1
#include <cpuid.h>
#include <xmmintrin.h>
#endif

G_DEFINE_ENUM_TYPE (VornSimd, vorn_simd,
  G_DEFINE_ENUM_VALUE (VORN_SIMD_AUTO, "Auto"),
  G_DEFINE_ENUM_VALUE (VORN_SIMD_SSE2, "SSE2"),
  G_DEFINE_ENUM_VALUE (VORN_SIMD_AVX, "AVX"),
  G_DEFINE_ENUM_VALUE (VORN_SIMD_AVX2, "AVX2"),
  G_DEFINE_ENUM_VALUE (VORN_SIMD_AVX512, "AVX512"))

namespace {

constexpr guint32 LEAF1_ECX_OSXSAVE = 1u << 27;
constexpr guint32 LEAF1_ECX_AVX = 1u << 28;
constexpr guint32 LEAF7_EBX_AVX2 = 1u << 5;
constexpr guint32 LEAF7_EBX_AVX512F = 1u << 16;
constexpr guint32 LEAF7_EBX_AVX512VL = 1u << 31;
/* XCR0: SSE (XMM) state and AVX (upper YMM) state enabled by the OS. */
constexpr guint64 XCR0_YMM_STATE = (1u << 1) | (1u << 2);
/* XCR0: opmask, upper halves of ZMM0-15 and ZMM16-31, on top of YMM. */
constexpr guint64 XCR0_ZMM_STATE = XCR0_YMM_STATE | (1u << 5) | (1u << 6) | (1u << 7);

/* MXCSR: denormals-are-zero (bit 6) and flush-to-zero (bit 15). */
constexpr unsigned MXCSR_DAZ = 1u << 6;
constexpr unsigned MXCSR_FTZ = 1u << 15;

guint64
read_xcr0 ()
{
#ifdef VORN_X86
  guint32 lo, hi;
  /* Raw opcode use keeps this file free of -mxsave. */
  __asm__ volatile ("xgetbv" : "=a" (lo), "=d" (hi) : "c" (0));
  return ((guint64) hi << 32) | lo;
#else
  return 0;
#endif
}

} // namespace

guint32
cpuid (guint32 regs[4], guint32 leaf)
{
  g_return_val_if_fail (regs != NULL, 0);

#ifdef VORN_X86
  unsigned a, b, c, d;
  __cpuid_count (leaf, 0, a, b, c, d);
  regs[0] = a;
  regs[1] = b;
  regs[2] = c;
  regs[3] = d;
#else
  (void) leaf;
  regs[0] = regs[1] = regs[2] = regs[3] = 0;
#endif
  return regs[0];
}

VornSimd
vorn_util_cpu_classify (guint32 max_leaf, guint32 leaf1_ecx, guint32 leaf7_ebx,
                        guint64 xcr0)
{
  if (max_leaf < 1)
    return VORN_SIMD_SSE2;

  const bool os_ymm = (leaf1_ecx & LEAF1_ECX_OSXSAVE)
                      && (xcr0 & XCR0_YMM_STATE) == XCR0_YMM_STATE;
  if (!os_ymm)
    return VORN_SIMD_SSE2;

  if (max_leaf >= 7 && (leaf7_ebx & LEAF7_EBX_AVX2))
    {
      /* The AVX-512 kernels are compiled with AVX2 enabled too, so AVX-512
       * counts only on top of it. */
      const guint32 avx512 = LEAF7_EBX_AVX512F | LEAF7_EBX_AVX512VL;
      if ((leaf7_ebx & avx512) == avx512 && (xcr0 & XCR0_ZMM_STATE) == XCR0_ZMM_STATE)
        return VORN_SIMD_AVX512;
      return VORN_SIMD_AVX2;
    }
  if (leaf1_ecx & LEAF1_ECX_AVX)
    return VORN_SIMD_AVX;
  return VORN_SIMD_SSE2;
}

VornSimd
vorn_util_cpu_detect (void)
{
  guint32 regs[4];
  const guint32 max_leaf = cpuid (regs, 0);
  guint32 leaf1_ecx = 0, leaf7_ebx = 0;
  guint64 xcr0 = 0;

  if (max_leaf >= 1)
    {
      cpuid (regs, 1);
      leaf1_ecx = regs[2];
      /* XGETBV is an invalid instruction unless the OS enabled XSAVE. */
      if (leaf1_ecx & LEAF1_ECX_OSXSAVE)
        xcr0 = read_xcr0 ();
    }
  if (max_leaf >= 7)
    {
      cpuid (regs, 7);
      leaf7_ebx = regs[1];
    }
  return vorn_util_cpu_classify (max_leaf, leaf1_ecx, leaf7_ebx, xcr0);
}

guint
vorn_util_set_ftz_daz (void)
{
#ifdef VORN_X86
  const guint saved = _mm_getcsr ();
  _mm_setcsr (saved | MXCSR_DAZ | MXCSR_FTZ);
  return saved;
#else
  return 0;
#endif
}

void
vorn_util_restore_fp_mode (guint saved)
{
#ifdef VORN_X86
  _mm_setcsr (saved);
#else
  (void) saved;
#endif
}
