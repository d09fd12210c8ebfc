/* vorn-filter-noise-sse2.cpp: the noise generator's render functions built
 * for SSE2 (16-byte vectors) */
#include "vorn-filter-noise-kernel.h"

gboolean
vorn_filter_noise_gen_render_SSE2_F (VornGen *gen)
{
  return noise_kernel::render<float, 16> (gen);
}

gboolean
vorn_filter_noise_gen_render_SSE2_D (VornGen *gen)
{
  return noise_kernel::render<double, 16> (gen);
}
