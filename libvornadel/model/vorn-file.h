/* vorn-file.h: the root node of an instrument file */
#pragma once

#include "vorn-node.h"

G_BEGIN_DECLS

#define VORN_TYPE_FILE (vorn_file_get_type ())
G_DECLARE_FINAL_TYPE (VornFile, vorn_file, VORN, FILE, VornNode)

/* The "format" every instrument file carries. */
#define VORN_FILE_FORMAT "Vornadel:Waves"
#define VORN_FILE_FORMAT_VERSION "1.0"

/**
 * VORN_FILE_MAX_SIZE:
 *
 * Largest instrument file vorn_file_load() reads (64 MiB).  Real files are
 * kilobytes; a curve of 10^5 points takes a few megabytes.  Larger files,
 * and anything that is not a regular file, are refused before any content
 * is read.
 */
#define VORN_FILE_MAX_SIZE (64 * 1024 * 1024)

/**
 * VORN_FILE_MAX_NODES:
 *
 * Most nodes an instrument file may hold.  Each node is an object with its
 * own properties and generator state, so this bounds what loading a file of
 * %VORN_FILE_MAX_SIZE can cost in time and memory; the largest real banks
 * hold a few thousand.
 */
#define VORN_FILE_MAX_NODES 150000

/**
 * VORN_FILE_MAX_VALUES:
 *
 * Most JSON values (numbers, strings, objects, arrays...) an instrument file
 * may hold: each costs tens of bytes while it is parsed.  A curve of a
 * million points takes six million.
 */
#define VORN_FILE_MAX_VALUES 8000000

/**
 * VORN_FILE_MAX_ID:
 *
 * Largest node ID a loaded file keeps (2^31 - 1).  After loading, the ID
 * counter lies above every ID in the file; when that would pass this limit
 * (a "next-id" or an ID near 2^32), every node is renumbered 1, 2, ... in
 * pre-order, which leaves the counter more room than any editing session
 * uses, so it never wraps and hands out IDs that are taken.  Nothing refers
 * to nodes by ID, so renumbering changes no sound.
 */
#define VORN_FILE_MAX_ID 2147483647u

/* Returns: (transfer full): a new empty file named "Untitled.vvi". */
VornFile *vorn_file_new (void);

/**
 * vorn_file_save:
 * @file: the file to save
 * @filename: (nullable): where to write; NULL writes to "file-name"
 * @error: return location for an error
 *
 * Writes @file as JSON, objects indented and arrays of numbers on one line
 * (see vorn_file_to_data()).  Before anything is written, a file whose text
 * would be larger than %VORN_FILE_MAX_SIZE is refused with a
 * %VORN_ERROR_GENERAL error: it could not be loaded again.  The old content at the destination is
 * replaced atomically (a temporary file in the same directory, renamed over
 * it): when writing fails it is left as it was.  A symbolic link is followed
 * and its target replaced, so the link stays a link.  An existing file keeps
 * its mode (and, when the caller may set them, its owner and group).
 * Saving refuses, with a %G_FILE_ERROR: a destination that is not a regular
 * file (directory, device, FIFO, socket), and a read-only file: one whose
 * mode grants nobody write permission (0444) or that the caller may not
 * write.  The mode is checked even for root, who could otherwise write
 * anything, as an editor does.  "file-name" changes to @filename only after
 * a successful write.
 *
 * Returns: TRUE on success.
 */
gboolean vorn_file_save (VornFile *file, const char *filename, GError **error);

/**
 * vorn_file_to_data:
 * @file: the file to write out
 * @length: (out) (optional): length of the result in bytes
 *
 * The JSON vorn_file_save() would write for @file as it is now: readable
 * but compact, with each number in the fewest digits that read back as the
 * same value, so that whatever loads saves into a file no larger than the
 * one it came from (apart from indentation and default members).  Unlike
 * saving it stamps nothing into the file (version, software, UUID), so
 * calling it changes no property.
 *
 * Returns: (transfer full): the NUL-terminated JSON.
 */
char *vorn_file_to_data (VornFile *file, gsize *length);

/**
 * vorn_file_load:
 * @filename: the instrument file to read
 * @error: return location for an error
 *
 * Refuses, before reading any content, anything that is not a regular file
 * (a FIFO, a device, a directory) and files larger than
 * %VORN_FILE_MAX_SIZE.  Otherwise as vorn_file_load_from_data().
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
 * The data must be UTF-8 text without comments or NUL bytes and hold one
 * JSON object and nothing after it but white space.  Integers must fit in 64
 * bits, and the file may hold at most %VORN_FILE_MAX_NODES nodes and
 * %VORN_FILE_MAX_VALUES JSON values; all of this is checked before the JSON
 * is parsed.  Every error message is valid UTF-8.
 * Sizes a file sets are bounded by what the engine can serve and numbers
 * must be finite and within %VORN_VALUE_MAX; anything else fails with a
 * %VORN_ERROR_INVALID_DATA error naming the member and the node type.
 * Duplicate node IDs are renumbered with a warning; see %VORN_FILE_MAX_ID.
 *
 * Returns: (transfer full) (nullable): the loaded file, or NULL with @error.
 */
VornFile *vorn_file_load_from_data (const char *data, guint32 size, GError **error);

/**
 * vorn_file_restore:
 * @file: the file to change
 * @data: instrument file JSON, as vorn_file_to_data() gives
 * @size: number of bytes in @data
 * @error: return location for an error
 *
 * Replaces everything @file holds (its nodes, writable metadata, name and ID
 * counter) by what @data describes, keeping the object itself, its
 * "file-name" and the read-only members that record who wrote it last:
 * whoever holds the file keeps holding it.  The old nodes are unlinked and
 * new ones take their place.  Nothing changes when @data does not load.
 *
 * Returns: TRUE on success.
 */
gboolean vorn_file_restore (VornFile *file, const char *data, guint32 size, GError **error);

/* Hands out the next node ID (atomic fetch-and-increment of "next-id").
 * The counter never wraps: once it is exhausted the result is 0, so a node
 * stays unnumbered rather than share an ID. */
guint32 vorn_file_get_next_id (VornFile *file);

G_END_DECLS
