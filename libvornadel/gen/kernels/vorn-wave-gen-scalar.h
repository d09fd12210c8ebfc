/* vorn-wave-gen-scalar.h: the wave generator's render algorithm in plain
 * scalar code, for comparing and timing the vector variants (not part of
 * the library) */
#pragma once

#include "vorn-gen.h"

G_BEGIN_DECLS

/* Render functions with the same results as the SIMD variants of the same
 * format, computed one sample at a time. */
gboolean vorn_wave_gen_render_scalar_F (VornGen *gen);
gboolean vorn_wave_gen_render_scalar_D (VornGen *gen);

G_END_DECLS
