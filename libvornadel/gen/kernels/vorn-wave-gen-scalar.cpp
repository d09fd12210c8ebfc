/* vorn-wave-gen-scalar.cpp: the wave generator's render algorithm with
 * one-lane "vectors", built without auto-vectorisation */
#include "vorn-wave-gen-scalar.h"

#include "vorn-wave-gen-kernel.h"

using namespace wave_kernel;

gboolean
vorn_wave_gen_render_scalar_F (VornGen *gen)
{
  return render<float, ScalarLanes<float>> (gen);
}

gboolean
vorn_wave_gen_render_scalar_D (VornGen *gen)
{
  return render<double, ScalarLanes<double>> (gen);
}
