/* vorn-json-read.h: reading JSON files that may hold anything (a FIFO, a
 * huge file, nesting deep enough to exhaust the parser's stack) without
 * blocking or crashing; internal, not installed */
#pragma once

#include <json-glib/json-glib.h>

G_BEGIN_DECLS

/**
 * vorn_json_read_contents:
 * @path: a file name
 * @max_size: the largest content accepted, in bytes
 * @kind: what the file is, plural, for the size message ("instrument files")
 * @length: (out): the content's size
 * @error: return location for a #GError (G_FILE_ERROR or VORN_ERROR)
 *
 * Reads a whole file, refusing anything that is not a regular file (a FIFO
 * would block, a device never end) and, without reading past it, content
 * larger than @max_size.
 *
 * Returns: (transfer full): the content, NUL-terminated, or %NULL with
 * @error set.
 */
char *vorn_json_read_contents (const char *path, gsize max_size, const char *kind, gsize *length,
                               GError **error);

/**
 * vorn_json_nesting:
 * @data: JSON text
 * @size: its length
 * @limit: where to stop counting
 * @end: (out) (optional): the index after the first top-level object or
 *   array, or @size
 *
 * Measures how deeply objects and arrays nest in @data, as the parser will
 * read it (strings and comments skipped), stopping once past @limit.
 *
 * Returns: the deepest nesting, at most @limit + 1.
 */
int vorn_json_nesting (const char *data, gsize size, int limit, gsize *end);

/**
 * vorn_json_read_file:
 * @path: a file name
 * @max_size: as for vorn_json_read_contents()
 * @max_depth: the deepest nesting accepted
 * @kind: as for vorn_json_read_contents()
 * @error: return location for a #GError
 *
 * Reads and parses a JSON file with the guards of vorn_json_read_contents()
 * and a nesting limit checked before parsing.
 *
 * Returns: (transfer full): the root node, or %NULL with @error set.
 */
JsonNode *vorn_json_read_file (const char *path, gsize max_size, int max_depth, const char *kind,
                               GError **error);

G_END_DECLS
