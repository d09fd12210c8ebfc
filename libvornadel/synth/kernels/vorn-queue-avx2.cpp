/* vorn-queue-avx2.cpp: voice output sums built for AVX2 (32-byte vectors) */
#include "vorn-queue-kernel.h"

VORN_QUEUE_DEFINE_KERNELS (AVX2, 32)
