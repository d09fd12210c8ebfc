/* vorn-synth-cpu-sse2.cpp: the CPU renderer's render functions built for
 * SSE2 (16-byte vectors) */
#include "vorn-synth-cpu-kernel.h"

VORN_SYNTH_CPU_DEFINE_RENDER (SSE2, 16)
