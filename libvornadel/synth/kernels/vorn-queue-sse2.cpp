/* vorn-queue-sse2.cpp: voice output sums built for SSE2 (16-byte vectors) */
#include "vorn-queue-kernel.h"

VORN_QUEUE_DEFINE_KERNELS (SSE2, 16)
