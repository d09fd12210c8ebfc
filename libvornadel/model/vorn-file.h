/* vorn-file.h: the root node of an instrument file */
#pragma once

#include "vorn-node.h"

G_BEGIN_DECLS

#define VORN_TYPE_FILE (vorn_file_get_type ())
G_DECLARE_FINAL_TYPE (VornFile, vorn_file, VORN, FILE, VornNode)

/* The "format" every instrument file carries. */
#define VORN_FILE_FORMAT "Vornadel:Waves"
#define VORN_FILE_FORMAT_VERSION "1.0"

/* Returns: (transfer full): a new empty file named "Untitled.vvi". */
VornFile *vorn_file_new (void);

/**
 * vorn_file_save:
 * @file: the file to save
 * @filename: (nullable): where to write; NULL writes to "file-name"
 * @error: return location for an error
 *
 * Writes @file as pretty-printed JSON.  The old content at the destination is
 * replaced atomically: when writing fails it is left as it was.  "file-name"
 * changes to @filename only after a successful write.
 *
 * Returns: TRUE on success.
 */
gboolean vorn_file_save (VornFile *file, const char *filename, GError **error);

/**
 * vorn_file_load:
 * @filename: the instrument file to read
 * @error: return location for an error
 *
 * Returns: (transfer full) (nullable): the loaded file with "file-name" set to
 *   @filename, or NULL with @error set.
 */
VornFile *vorn_file_load (const char *filename, GError **error);

/**
 * vorn_file_load_from_data:
 * @data: instrument file JSON (need not be NUL-terminated)
 * @size: number of bytes in @data
 * @error: return location for an error
 *
 * Returns: (transfer full) (nullable): the loaded file, or NULL with @error.
 */
VornFile *vorn_file_load_from_data (const char *data, guint32 size, GError **error);

/* Hands out the next node ID (atomic fetch-and-increment of "next-id"). */
guint32 vorn_file_get_next_id (VornFile *file);

G_END_DECLS
