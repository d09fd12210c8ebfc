/* vorn-cpu.h: processor feature detection and per-thread floating-point mode */
#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

/**
 * VornSimd:
 * @VORN_SIMD_AUTO: use the level detected on this processor
 * @VORN_SIMD_SSE2: SSE2 (always present on x86-64)
 * @VORN_SIMD_AVX: AVX
 * @VORN_SIMD_AVX2: AVX2
 * @VORN_SIMD_AVX512: AVX-512 F and VL
 *
 * Instruction set levels of the render functions.  The order is the order of
 * capability: a level implies every lower one.
 */
typedef enum {
  VORN_SIMD_AUTO = -1,
  VORN_SIMD_SSE2 = 0,
  VORN_SIMD_AVX = 1,
  VORN_SIMD_AVX2 = 2,
  VORN_SIMD_AVX512 = 3,
} VornSimd;

#define VORN_TYPE_SIMD (vorn_simd_get_type ())
GType vorn_simd_get_type (void);

/**
 * cpuid:
 * @regs: (out caller-allocates) (array fixed-size=4): receives EAX, EBX, ECX
 *   and EDX
 * @leaf: the CPUID leaf to query; the sub-leaf is 0
 *
 * Runs the processor's CPUID instruction.  On processors without it @regs is
 * filled with zeros.
 *
 * Returns: EAX.
 */
guint32 cpuid (guint32 regs[4], guint32 leaf);

/**
 * vorn_util_cpu_classify:
 * @max_leaf: EAX of CPUID leaf 0 (the highest standard leaf)
 * @leaf1_ecx: ECX of leaf 1 (ignored when @max_leaf is below 1)
 * @leaf7_ebx: EBX of leaf 7, sub-leaf 0 (ignored when @max_leaf is below 7)
 * @xcr0: the XCR0 register (XGETBV 0) when ECX bit 27 (OSXSAVE) of leaf 1 is
 *   set, else 0
 *
 * The selection rule of vorn_util_cpu_detect() applied to given register
 * values, for diagnostics and tests.  AVX and AVX2 count only when the
 * operating system saves the YMM registers (XCR0 bits 1 and 2), because
 * their instructions fault otherwise.  AVX-512 needs AVX2, both F and VL
 * (leaf 7 EBX bits 16 and 31) and the opmask and ZMM state saved as well
 * (XCR0 bits 5, 6 and 7); without them the level is AVX2 at most.
 *
 * Returns: the highest usable level, never %VORN_SIMD_AUTO.
 */
VornSimd vorn_util_cpu_classify (guint32 max_leaf, guint32 leaf1_ecx,
                                 guint32 leaf7_ebx, guint64 xcr0);

/**
 * vorn_util_cpu_detect:
 *
 * Detects the highest SIMD level that this processor and operating system
 * support, from CPUID leaves 0, 1 and 7.
 *
 * Returns: %VORN_SIMD_AVX512, %VORN_SIMD_AVX2, %VORN_SIMD_AVX or
 *   %VORN_SIMD_SSE2.
 */
VornSimd vorn_util_cpu_detect (void);

/**
 * vorn_util_set_ftz_daz:
 *
 * Sets the flush-to-zero and denormals-are-zero bits of the calling thread's
 * floating-point control register (MXCSR), so that denormal numbers never
 * reach the slow microcode paths while rendering.  Every thread that renders
 * calls it once; the worker threads of a #VornThreadPit do so themselves.
 * Does nothing on processors without MXCSR.
 *
 * Returns: the register's previous value, for
 * vorn_util_restore_fp_mode() on a thread that is not the renderer's own
 * (a plugin host's); 0 without MXCSR
 */
guint vorn_util_set_ftz_daz (void);

/**
 * vorn_util_restore_fp_mode:
 * @saved: what vorn_util_set_ftz_daz() returned on this thread
 *
 * Puts the calling thread's floating-point control register back as it
 * was.  Does nothing on processors without MXCSR.
 */
void vorn_util_restore_fp_mode (guint saved);

G_END_DECLS
