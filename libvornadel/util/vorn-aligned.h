/* vorn-aligned.h: 64-byte aligned memory for render buffers and caches */
#pragma once

#include <glib.h>

G_BEGIN_DECLS

/* Alignment of every block handed out below: one cache line, and enough for
 * the aligned vector loads and stores of every instruction set in use. */
#define VORN_ALIGNMENT 64

/**
 * vorn_util_alloc_aligned:
 * @size: number of bytes
 *
 * Allocates @size bytes aligned to 64 bytes (the contents are undefined).
 * A request of 0 bytes still yields a valid block.  Failure is fatal: the
 * process ends through the GLib error log level.
 *
 * Returns: (transfer full): the block; free it with vorn_util_free_aligned()
 */
gpointer vorn_util_alloc_aligned (gsize size);

/**
 * vorn_util_free_aligned:
 * @mem: (nullable): a block from vorn_util_alloc_aligned(), or NULL
 *
 * Frees an aligned block.  NULL is ignored.
 */
void vorn_util_free_aligned (gpointer mem);

/**
 * vorn_util_realloc_aligned:
 * @mem: (nullable): an aligned block, or NULL
 * @old_size: size of @mem in bytes (0 when unknown or empty)
 * @new_size: wanted size in bytes
 *
 * Resizes an aligned block by allocating a new one and copying
 * min(@old_size, @new_size) bytes.  A @new_size of 0 frees @mem and returns
 * NULL.  Failure is fatal, as for vorn_util_alloc_aligned().
 *
 * Returns: (transfer full) (nullable): the new block (@mem is freed)
 */
gpointer vorn_util_realloc_aligned (gpointer mem, gsize old_size,
                                    gsize new_size);

G_END_DECLS
