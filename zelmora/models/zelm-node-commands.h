/* zelm-node-commands.h: the editing commands of the node tree, free of
 * widgets: new nodes, rename, move, clipboard, delete, mute, recording taps
 * and the rules of dropping nodes onto others.
 *
 * The open files are those of an owner object's "files" property (a
 * VornList of VornFile, in order; the application's), read and written
 * through the property so the rules need nothing of the application. */
#pragma once

#include "vornadel.h"

G_BEGIN_DECLS

/* What one command changed, for the view (rows to add, remove, reorder or
 * redraw) and the window (files that want an undo step).  Every array
 * holds references. */
typedef struct {
  GPtrArray *made;      /* VornNode: inserted subtree roots, taps included, in order */
  GPtrArray *removed;   /* VornNode: unlinked subtree roots, taps included */
  GPtrArray *reordered; /* VornNode: parents whose children changed order */
  GPtrArray *restatus;  /* VornNode: nodes whose recording mark may have changed */
  GPtrArray *files;     /* VornFile: files whose nodes changed, each once */
  GPtrArray *closed;    /* VornFile: files taken out of the application */
  GPtrArray *kept;      /* VornNode: dropped nodes moved in place rather than copied */
  gboolean files_reordered; /* the application's file list changed order */
} ZelmNodeChange;

/* Returns: (transfer full): an empty change; free with zelm_node_change_free. */
ZelmNodeChange *zelm_node_change_new (void);
void zelm_node_change_free (ZelmNodeChange *change);
G_DEFINE_AUTOPTR_CLEANUP_FUNC (ZelmNodeChange, zelm_node_change_free)

/* The tree's clipboard: copies of nodes, kept apart from any file. */
typedef struct {
  GList *nodes; /* VornList of node copies, in copy order */
} ZelmClipboard;

/* Returns: (transfer full): an empty clipboard; free with zelm_clipboard_free. */
ZelmClipboard *zelm_clipboard_new (void);
void zelm_clipboard_free (ZelmClipboard *clipboard);
G_DEFINE_AUTOPTR_CLEANUP_FUNC (ZelmClipboard, zelm_clipboard_free)

/* Replaces the clipboard's content by copies of @nodes (VornNode, in
 * order); an empty array leaves it as it was. */
void zelm_clipboard_copy (ZelmClipboard *clipboard, GPtrArray *nodes);

/* Where dropped nodes go relative to the node they were dropped on. */
typedef enum {
  ZELM_DROP_BEFORE,
  ZELM_DROP_AFTER,
  ZELM_DROP_INTO,
} ZelmDropPosition;

/* Returns: TRUE when @kind names something "new-node" makes: "instrument",
 * a wave preset ("sine" .. "saw-down", "volume-attack" .. "morph-modulation"),
 * a control wave ("control-volume" .. "control-time"), a filter
 * ("rbj-bandpass", "rbj-lowpass", "rbj-highpass") or "noise". */
gboolean zelm_node_kind_is_valid (const char *kind);

/* Returns: (transfer full) (nullable): a new node of @kind, named as the
 * menu names it, ready to sound: a filter comes with control waves for its
 * frequency and Q (low- and high-pass 2 kHz and 0.707, band-pass 1 kHz and
 * width 1), an instrument with an oscillator and a volume envelope; NULL
 * for an unknown kind. */
VornNode *zelm_node_new_of_kind (const char *kind);

/* The file, instrument and node a single selected @target stands for:
 * its file, the nearest instrument at or above it, and itself unless it is
 * a file or an instrument.  Any out pointer may be NULL. */
void zelm_node_target_context (VornNode *target, VornFile **file, VornInst **inst,
                               VornNode **node);

/* Inserts a new node of @kind for the selected @target: an instrument at
 * the end of the target's file; anything else before the target node, or
 * at the end of the target instrument.
 * Returns: (transfer none) (nullable): the new node, NULL when @kind is
 * unknown or the target has no place for it. */
VornNode *zelm_node_commands_new (VornNode *target, const char *kind, ZelmNodeChange *change);

/* Sets @node's name to @name (neither empty nor the same).
 * Returns: TRUE when the name changed. */
gboolean zelm_node_commands_rename (VornNode *node, const char *name, ZelmNodeChange *change);

/* Moves each of @nodes (in tree order) one place up or down among its
 * siblings, a node with its tap; a block of selected neighbours moves as
 * one and stays put at the end of its list.  Files move in @owner's list. */
void zelm_node_commands_move (GObject *owner, GPtrArray *nodes, gboolean up,
                              ZelmNodeChange *change);

/* Inserts copies of the clipboard's nodes for the selected @target: into
 * it (an instrument into a file, a generator into an instrument, and with
 * @within a generator into a generator), else before it (an instrument
 * before an instrument, a generator before a generator); others are
 * skipped. */
void zelm_node_commands_paste (ZelmClipboard *clipboard, VornNode *target, gboolean within,
                               ZelmNodeChange *change);

/* Deletes @nodes still in one of @owner's files: a node's tap goes with it,
 * a file leaves @owner's list. */
void zelm_node_commands_delete (GObject *owner, GPtrArray *nodes, ZelmNodeChange *change);

/* Toggles "mute" of each of @nodes that can generate. */
void zelm_node_commands_mute (GPtrArray *nodes, ZelmNodeChange *change);

/* Adds a tap right after each of @nodes that is a generator of a voice
 * (not an instrument, not a tap), or removes the one it has. */
void zelm_node_commands_toggle_recording (GPtrArray *nodes, ZelmNodeChange *change);

/* Returns: TRUE when @node may be dropped at @where of @dest: a file only
 * before or after a file; an instrument before or after an instrument, or
 * into a file; another generator onto or into a generator (not a tap), but
 * not beside an instrument.  Never into the node itself. */
gboolean zelm_node_drop_allowed (VornNode *node, VornNode *dest, ZelmDropPosition where);

/* Drops @nodes (the dragged ones, in order) at @where of @dest: files
 * move in @owner's list (listed in kept), other allowed nodes are copied
 * there with their taps (after a node with a tap means after the tap);
 * nodes inside another dragged one go with it.  The originals stay; the
 * drag's source deletes them.
 * Returns: TRUE when anything moved or was copied. */
gboolean zelm_node_commands_drop (GObject *owner, GPtrArray *nodes, VornNode *dest,
                                  ZelmDropPosition where, ZelmNodeChange *change);

G_END_DECLS
