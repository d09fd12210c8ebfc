/* vorn-wave-gen-sse2.cpp: the wave generator's render functions built for
 * SSE2 (16-byte lanes) */
#include "vorn-wave-gen-kernel.h"

using namespace wave_kernel;

gboolean
vorn_wave_gen_render_SSE2_F (VornGen *gen)
{
  return render<float, VecLanes<float, 16>> (gen);
}

gboolean
vorn_wave_gen_render_SSE2_D (VornGen *gen)
{
  return render<double, VecLanes<double, 16>> (gen);
}
