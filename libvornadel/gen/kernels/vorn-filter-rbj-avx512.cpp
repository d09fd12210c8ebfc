/* vorn-filter-rbj-avx512.cpp: the biquad filters' render functions built
 * for AVX-512 */
#include "vorn-filter-rbj-kernel.h"

VORN_FILTER_RBJ_DEFINE_RENDERS (AVX512)
