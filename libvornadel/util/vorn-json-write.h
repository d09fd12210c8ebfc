/* vorn-json-write.h: the JSON text of instrument files; internal, not
 * installed */
#pragma once

#include <json-glib/json-glib.h>

G_BEGIN_DECLS

/**
 * vorn_json_write:
 * @root: the JSON tree to write
 * @length: (out) (optional): length of the result in bytes
 *
 * Writes @root as readable but compact JSON: an object puts each member on
 * its own line, indented two spaces per level, and so does an array that
 * holds objects or arrays; an array of plain values (a curve's numbers)
 * stays on one line without spaces.  Doubles take the fewest significant
 * digits that read back as the same double, with a fraction part ("1.0")
 * so that they stay doubles.  Text written this way and read back writes
 * the same bytes again.
 *
 * Returns: (transfer full): the NUL-terminated text.
 */
char *vorn_json_write (JsonNode *root, gsize *length);

/**
 * vorn_json_format_double:
 * @value: a finite double
 * @buffer: at least 32 bytes
 *
 * Writes @value with the fewest significant digits ("%.Ng" for the smallest
 * N) that read back as @value, followed by ".0" when the text would
 * otherwise read as an integer.
 *
 * Returns: the number of bytes written (no NUL is added).
 */
gsize vorn_json_format_double (double value, char *buffer);

G_END_DECLS
