/* vorn-queue-avx512.cpp: voice output sums built for AVX-512 (64-byte
 * vectors) */
#include "vorn-queue-kernel.h"

VORN_QUEUE_DEFINE_KERNELS (AVX512, 64)
