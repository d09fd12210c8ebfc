/* vorn-filter-rbj-avx2.cpp: the biquad filters' render functions built for
 * AVX2 */
#include "vorn-filter-rbj-kernel.h"

VORN_FILTER_RBJ_DEFINE_RENDERS (AVX2)
