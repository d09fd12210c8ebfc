/* vorn-aligned.cpp: 64-byte aligned memory */
#include "vorn-aligned.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

/* posix_memalign() may return NULL for a size of 0; one byte keeps the
 * "never NULL" promise without a special case in callers. */
static int
aligned_alloc_raw (gsize size, gpointer *out)
{
  void *mem = nullptr;
  int err = posix_memalign (&mem, VORN_ALIGNMENT, size ? size : 1);

  *out = err == 0 ? mem : nullptr;
  return err;
}

gpointer
vorn_util_alloc_aligned (gsize size)
{
  gpointer mem;
  int err = aligned_alloc_raw (size, &mem);

  if (G_UNLIKELY (err != 0))
    g_error ("%s: failed to allocate %llu aligned bytes: %s", G_STRLOC,
             (unsigned long long) size, g_strerror (err));
  return mem;
}

void
vorn_util_free_aligned (gpointer mem)
{
  free (mem);
}

gpointer
vorn_util_realloc_aligned (gpointer mem, gsize old_size, gsize new_size)
{
  gpointer block;

  if (new_size == 0)
    {
      free (mem);
      return nullptr;
    }

  if (G_UNLIKELY (aligned_alloc_raw (new_size, &block) != 0))
    g_error ("%s: failed to allocate %llu aligned bytes", G_STRLOC,
             (unsigned long long) new_size);

  if (mem && old_size)
    memcpy (block, mem, MIN (old_size, new_size));
  free (mem);
  return block;
}
