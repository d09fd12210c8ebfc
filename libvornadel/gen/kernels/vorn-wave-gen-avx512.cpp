/* vorn-wave-gen-avx512.cpp: the wave generator's render functions built for
 * AVX-512 (64-byte lanes) */
#include "vorn-wave-gen-kernel.h"

using namespace wave_kernel;

gboolean
vorn_wave_gen_render_AVX512_F (VornGen *gen)
{
  return render<float, VecLanes<float, 64>> (gen);
}

gboolean
vorn_wave_gen_render_AVX512_D (VornGen *gen)
{
  return render<double, VecLanes<double, 64>> (gen);
}
