/* vorn-filter-noise-avx512.cpp: the noise generator's render functions
 * built for AVX-512 (64-byte vectors) */
#include "vorn-filter-noise-kernel.h"

gboolean
vorn_filter_noise_gen_render_AVX512_F (VornGen *gen)
{
  return noise_kernel::render<float, 64> (gen);
}

gboolean
vorn_filter_noise_gen_render_AVX512_D (VornGen *gen)
{
  return noise_kernel::render<double, 64> (gen);
}
