/* vorn-wave-gen-avx2.cpp: the wave generator's render functions built for
 * AVX2 (32-byte lanes) */
#include "vorn-wave-gen-kernel.h"

using namespace wave_kernel;

gboolean
vorn_wave_gen_render_AVX2_F (VornGen *gen)
{
  return render<float, VecLanes<float, 32>> (gen);
}

gboolean
vorn_wave_gen_render_AVX2_D (VornGen *gen)
{
  return render<double, VecLanes<double, 32>> (gen);
}
