/* vorn-synth-cpu-avx512.cpp: the CPU renderer's render functions built for
 * AVX-512 (64-byte vectors) */
#include "vorn-synth-cpu-kernel.h"

VORN_SYNTH_CPU_DEFINE_RENDER (AVX512, 64)
