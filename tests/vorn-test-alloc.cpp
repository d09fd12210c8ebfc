/* vorn-test-alloc.cpp: allocator replacement that counts per thread */
#include "vorn-test-alloc.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VORN_TEST_ALLOC_INTERPOSE 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define VORN_TEST_ALLOC_INTERPOSE 0
#endif
#endif
#ifndef VORN_TEST_ALLOC_INTERPOSE
#define VORN_TEST_ALLOC_INTERPOSE 1
#endif

namespace {

/* Plain thread-locals with constant initialisers: reaching them never
 * allocates, which matters inside malloc itself. */
thread_local std::size_t tl_allocs = 0;
thread_local std::size_t tl_frees = 0;

} // namespace

#if VORN_TEST_ALLOC_INTERPOSE

/* glibc's own entry points; calling them avoids any lookup at start-up. */
extern "C" {
void *__libc_malloc (std::size_t size);
void *__libc_calloc (std::size_t n, std::size_t size);
void *__libc_realloc (void *ptr, std::size_t size);
void __libc_free (void *ptr);
void *__libc_memalign (std::size_t alignment, std::size_t size);

void *
malloc (std::size_t size)
{
  tl_allocs++;
  return __libc_malloc (size);
}

void *
calloc (std::size_t n, std::size_t size)
{
  tl_allocs++;
  return __libc_calloc (n, size);
}

void *
realloc (void *ptr, std::size_t size)
{
  tl_allocs++;
  return __libc_realloc (ptr, size);
}

void
free (void *ptr)
{
  if (ptr)
    tl_frees++;
  __libc_free (ptr);
}

void *
memalign (std::size_t alignment, std::size_t size)
{
  tl_allocs++;
  return __libc_memalign (alignment, size);
}

void *
aligned_alloc (std::size_t alignment, std::size_t size)
{
  tl_allocs++;
  return __libc_memalign (alignment, size);
}

int
posix_memalign (void **out, std::size_t alignment, std::size_t size)
{
  if (alignment < sizeof (void *) || (alignment & (alignment - 1)) != 0)
    return EINVAL;
  tl_allocs++;
  void *p = __libc_memalign (alignment, size);
  if (!p)
    return ENOMEM;
  *out = p;
  return 0;
}
}

#endif

namespace vorn_test {

AllocationCounter::AllocationCounter ()
    : start_allocs (tl_allocs), start_frees (tl_frees)
{
}

AllocationCounter::~AllocationCounter () = default;

std::size_t
AllocationCounter::count () const
{
  return tl_allocs - start_allocs;
}

std::size_t
AllocationCounter::frees () const
{
  return tl_frees - start_frees;
}

bool
AllocationCounter::available ()
{
  return VORN_TEST_ALLOC_INTERPOSE != 0;
}

} // namespace vorn_test
