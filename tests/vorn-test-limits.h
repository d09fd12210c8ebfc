/* vorn-test-limits.h: resource limits for a test's child processes */
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>

/* Limits the address space of the calling process (a child of the test) to
 * what it maps now plus @room bytes: the heap in use keeps working while a
 * large new mapping, such as a thread's stack, fails.  Returns: whether the
 * limit is set. */
inline bool
vorn_test_limit_address_space (size_t room)
{
  long pages = 0;
  FILE *statm = fopen ("/proc/self/statm", "r");
  if (!statm)
    return false;
  const bool read = fscanf (statm, "%ld", &pages) == 1;
  fclose (statm);
  if (!read)
    return false;
  const rlim_t total = rlim_t (pages) * rlim_t (sysconf (_SC_PAGESIZE)) + rlim_t (room);
  struct rlimit limit = { total, total };
  return setrlimit (RLIMIT_AS, &limit) == 0;
}
