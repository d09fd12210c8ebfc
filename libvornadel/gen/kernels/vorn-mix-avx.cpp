/* vorn-mix-avx.cpp: the speaker mix's render functions built for AVX
 * (32-byte vectors) */
#include "vorn-mix-kernel.h"

gboolean
vorn_mix_gen_render_AVX_F (VornGen *gen)
{
  return mix_kernel::render<float, 32> (gen);
}

gboolean
vorn_mix_gen_render_AVX_D (VornGen *gen)
{
  return mix_kernel::render<double, 32> (gen);
}
