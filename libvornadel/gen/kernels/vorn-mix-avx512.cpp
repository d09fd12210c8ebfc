/* vorn-mix-avx512.cpp: the speaker mix's render functions built for
 * AVX-512 (64-byte vectors) */
#include "vorn-mix-kernel.h"

gboolean
vorn_mix_gen_render_AVX512_F (VornGen *gen)
{
  return mix_kernel::render<float, 64> (gen);
}

gboolean
vorn_mix_gen_render_AVX512_D (VornGen *gen)
{
  return mix_kernel::render<double, 64> (gen);
}
