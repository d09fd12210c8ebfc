/* vorn-synth-cpu-avx.cpp: the CPU renderer's render functions built for
 * AVX (32-byte vectors) */
#include "vorn-synth-cpu-kernel.h"

VORN_SYNTH_CPU_DEFINE_RENDER (AVX, 32)
