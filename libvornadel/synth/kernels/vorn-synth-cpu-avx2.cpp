/* vorn-synth-cpu-avx2.cpp: the CPU renderer's render functions built for
 * AVX2 (32-byte vectors) */
#include "vorn-synth-cpu-kernel.h"

VORN_SYNTH_CPU_DEFINE_RENDER (AVX2, 32)
