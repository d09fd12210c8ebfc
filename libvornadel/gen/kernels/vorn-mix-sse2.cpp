/* vorn-mix-sse2.cpp: the speaker mix's render functions built for SSE2
 * (16-byte vectors) */
#include "vorn-mix-kernel.h"

gboolean
vorn_mix_gen_render_SSE2_F (VornGen *gen)
{
  return mix_kernel::render<float, 16> (gen);
}

gboolean
vorn_mix_gen_render_SSE2_D (VornGen *gen)
{
  return mix_kernel::render<double, 16> (gen);
}
