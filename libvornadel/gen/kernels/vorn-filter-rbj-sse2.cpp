/* vorn-filter-rbj-sse2.cpp: the biquad filters' render functions built for
 * SSE2 (16-byte vectors) */
#include "vorn-filter-rbj-kernel.h"

VORN_FILTER_RBJ_DEFINE_RENDERS (SSE2)
