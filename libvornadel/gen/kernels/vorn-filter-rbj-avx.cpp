/* vorn-filter-rbj-avx.cpp: the biquad filters' render functions built for
 * AVX (32-byte vectors) */
#include "vorn-filter-rbj-kernel.h"

VORN_FILTER_RBJ_DEFINE_RENDERS (AVX)
