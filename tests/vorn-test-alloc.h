/* vorn-test-alloc.h: counts heap allocations made by the calling thread.
 *
 * The test binary that links vorn_test_alloc_dep replaces malloc, calloc,
 * realloc, free, posix_memalign, aligned_alloc and memalign with forwarding
 * versions, so allocations made inside the engine and GLib are seen too.
 * Sanitizer runtimes replace the allocator themselves; in such builds
 * counting is unavailable and tests that need it skip. */
#pragma once

#include <gtest/gtest.h>

#include <cstddef>

namespace vorn_test {

class AllocationCounter
{
public:
  /* Starts counting the allocations of the calling thread.  Counters nest:
   * an inner one sees only what happens while it lives. */
  AllocationCounter ();
  ~AllocationCounter ();
  AllocationCounter (const AllocationCounter &) = delete;
  AllocationCounter &operator= (const AllocationCounter &) = delete;

  /* Allocations (malloc, calloc, realloc, posix_memalign, aligned_alloc,
   * memalign) of the calling thread since construction or reset(). */
  std::size_t count () const;

  /* Frees of non-NULL pointers by the calling thread in the same span. */
  std::size_t frees () const;

  /* False in builds where the allocator cannot be replaced (sanitizers). */
  static bool available ();

private:
  std::size_t start_allocs;
  std::size_t start_frees;
};

} // namespace vorn_test

/* Skips the current test when allocations cannot be counted. */
#define VORN_TEST_REQUIRE_ALLOC_COUNTER()                                       \
  do                                                                           \
    {                                                                          \
      if (!vorn_test::AllocationCounter::available ())                         \
        GTEST_SKIP () << "allocation counting is unavailable in this build";   \
    }                                                                          \
  while (0)
