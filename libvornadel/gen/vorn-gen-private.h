/* vorn-gen-private.h: helpers shared by the generator subclasses (not
 * installed) */
#pragma once

#include "vorn-gen.h"
#include "vorn-cpu.h"

G_BEGIN_DECLS

/* Entries of a render variant table: SSE2, AVX, AVX2 of the single-precision
 * function, then the same three of the double-precision function. */
#define VORN_GEN_RENDER_TABLE_SIZE 6

/**
 * vorn_gen_select_render:
 * @table: six variants, indexed by format * 3 + level
 * @format: the render format
 * @simd: an effective level (%VORN_SIMD_AUTO and out-of-range values are
 *   treated as %VORN_SIMD_SSE2, which every x86-64 processor has)
 *
 * Returns: the variant for @format and @simd.
 */
VornGenRenderFunc vorn_gen_select_render (const VornGenRenderFunc table[VORN_GEN_RENDER_TABLE_SIZE],
                                          VornFormat format, VornSimd simd);

/**
 * vorn_gen_get_render_props:
 * @gen: a generator whose "queue" is set
 * @sample_rate: (out) (optional): sample rate in Hz
 * @speaker_count: (out) (optional): speaker outputs of the synthesizer
 * @format: (out) (optional): render format
 * @simd: (out) (optional): effective SIMD level, never %VORN_SIMD_AUTO
 *
 * Asks the synthesizer that owns @gen's queue for its render properties
 * (for use in constructed).  Without a CPU synthesizer the outputs get the
 * synthesizer defaults (48000 Hz, 2 speakers, single, SSE2).
 */
void vorn_gen_get_render_props (VornGen *gen, double *sample_rate, guint *speaker_count,
                                VornFormat *format, VornSimd *simd);

G_END_DECLS
