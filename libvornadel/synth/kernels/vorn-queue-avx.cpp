/* vorn-queue-avx.cpp: voice output sums built for AVX (32-byte vectors) */
#include "vorn-queue-kernel.h"

VORN_QUEUE_DEFINE_KERNELS (AVX, 32)
