/* vorn-file-scan.h: the checks an instrument file passes before its JSON is
 * parsed; engine internal */
#pragma once

#include <glib.h>

/**
 * vorn_file_scan:
 * @data: instrument file text
 * @size: its length in bytes
 * @max_depth: deepest nesting of objects and arrays allowed
 * @error: return location for a %VORN_ERROR_INVALID_DATA error
 *
 * Checks in one pass, without building anything, what the JSON parser would
 * either accept in a way the engine cannot serve or report misleadingly: the
 * text encoding (UTF-16 and UTF-32, NUL bytes, invalid UTF-8), comments,
 * unpaired surrogate escapes, integers beyond 64 bits, nesting deeper than
 * @max_depth, more than %VORN_FILE_MAX_NODES nodes or %VORN_FILE_MAX_VALUES
 * values, and data after the top-level value.  Malformed JSON otherwise
 * passes: the parser reports it.  Messages quote nothing but ASCII from the
 * file.
 *
 * Returns: TRUE when the text may be parsed.
 */
gboolean vorn_file_scan (const char *data, gsize size, int max_depth, GError **error);
