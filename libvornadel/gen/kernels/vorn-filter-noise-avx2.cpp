/* vorn-filter-noise-avx2.cpp: the noise generator's render functions built
 * for AVX2 (32-byte vectors) */
#include "vorn-filter-noise-kernel.h"

gboolean
vorn_filter_noise_gen_render_AVX2_F (VornGen *gen)
{
  return noise_kernel::render<float, 32> (gen);
}

gboolean
vorn_filter_noise_gen_render_AVX2_D (VornGen *gen)
{
  return noise_kernel::render<double, 32> (gen);
}
