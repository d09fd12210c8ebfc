/* vorn-queue-kernel.h: summing voice outputs, written once over the sample
 * type and the vector width.
 *
 * Each instruction set compiles this header in its own translation unit;
 * everything here has internal linkage so that no copy built for one set
 * can be merged into another.  A sum is one addition per sample in every
 * variant, so all variants give the same bits. */
#pragma once

#include "vorn-kernel-lanes.h"
#include "vorn-queue-private.h"

namespace {
namespace queue_kernel {

/* dst[i] += src[i] over one fragment. */
template <typename T, int BYTES>
inline void
add (void *dst, const void *src)
{
  using L = kernel_lanes::Lanes<T, BYTES>;
  T *d = static_cast<T *> (__builtin_assume_aligned (dst, VORN_ALIGNMENT));
  const T *s = static_cast<const T *> (__builtin_assume_aligned (src, VORN_ALIGNMENT));
  for (int i = 0; i < VORN_FRAGMENT_SIZE; i += L::W)
    L::store (d + i, L::load (d + i) + L::load (s + i));
}

} // namespace queue_kernel
} // namespace

/* The variants of one instruction set: fragment sums in single and double. */
#define VORN_QUEUE_DEFINE_KERNELS(ISA, BYTES)                                  \
  void vorn_queue_add_fragment_##ISA##_F (void *dst, const void *src)          \
  {                                                                            \
    queue_kernel::add<float, BYTES> (dst, src);                                \
  }                                                                            \
  void vorn_queue_add_fragment_##ISA##_D (void *dst, const void *src)          \
  {                                                                            \
    queue_kernel::add<double, BYTES> (dst, src);                               \
  }
