/* vorn-file-replace.h: replacing a file all at once, so that a failure
 * never leaves it half written; internal, not installed */
#pragma once

#include <glib.h>

#include <sys/stat.h>

G_BEGIN_DECLS

/* An unfinished replacement: a temporary file beside the file to replace. */
typedef struct _VornFileReplace VornFileReplace;

/**
 * vorn_file_resolve_links:
 * @path: a file name
 * @exists: (out): whether the file at the end of the links exists
 * @st: (out): that file's status, when it exists
 * @error: return location for a #GError (G_FILE_ERROR)
 *
 * Follows symbolic links from @path to the file they name; a dangling link
 * names the file it would point at.
 *
 * Returns: (transfer full): that file's name, or %NULL with @error set when a
 * link cannot be read or the chain is too long.
 */
char *vorn_file_resolve_links (const char *path, gboolean *exists, struct stat *st, GError **error);

/**
 * vorn_file_replace_begin:
 * @path: the file to replace or create
 * @error: return location for a #GError (G_FILE_ERROR)
 *
 * Starts replacing @path: links are followed (the link stays, the file it
 * names is replaced) and a temporary file, hidden, is made in that file's
 * directory.  Its name carries this process's ID; temporaries of the same
 * file left by processes that no longer run (a killed save) are removed.  Write the new content to vorn_file_replace_get_fd(), then
 * commit or abort.  Refuses what is not a regular file and a file nobody
 * may write (read-only even for root, as in an editor).  Messages read
 * "Cannot save '@path': ...".
 *
 * Returns: (transfer full): the replacement, or %NULL with @error set.
 */
VornFileReplace *vorn_file_replace_begin (const char *path, GError **error);

/* The temporary file's descriptor, open for reading and writing; it stays
 * owned by @replace. */
int vorn_file_replace_get_fd (VornFileReplace *replace);

/**
 * vorn_file_replace_commit:
 * @replace: (transfer full): a replacement
 * @error: return location for a #GError (G_FILE_ERROR)
 *
 * Gives the temporary file the replaced file's mode (and, where permitted,
 * owner; a new file keeps the default mode), writes it to the disk and
 * renames it over the target.  Frees @replace whatever happens; on failure
 * the temporary file is removed and the old file is left as it was.
 *
 * Returns: %TRUE when the file was replaced.
 */
gboolean vorn_file_replace_commit (VornFileReplace *replace, GError **error);

/* Removes the temporary file and frees @replace (nullable); the old file
 * stays as it was. */
void vorn_file_replace_abort (VornFileReplace *replace);

/**
 * vorn_file_replace_contents:
 * @path: the file to replace or create
 * @data: (array length=length): the new content
 * @length: its size in bytes
 * @error: return location for a #GError (G_FILE_ERROR)
 *
 * Replaces @path by @data all at once, as vorn_file_replace_begin() and
 * vorn_file_replace_commit() do.
 *
 * Returns: %TRUE on success.
 */
gboolean vorn_file_replace_contents (const char *path, const char *data, gsize length, GError **error);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornFileReplace, vorn_file_replace_abort)

G_END_DECLS
