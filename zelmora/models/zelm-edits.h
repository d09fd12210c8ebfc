/* zelm-edits.h: notices changes to open instrument files and records them
 * as undo steps, one per finished gesture */
#pragma once

#include <gtk/gtk.h>

#include "vornadel.h"
#include "zelm-history.h"

G_BEGIN_DECLS

typedef struct _ZelmEdits ZelmEdits;

/* Called when @file's history changed what it can undo or redo or whether
 * the file has unsaved changes. */
typedef void (*ZelmEditsStateFunc) (VornFile *file, ZelmHistory *history, gpointer user_data);

/* Returns: (transfer full): a new tracker; free it with zelm_edits_free. */
ZelmEdits *zelm_edits_new (ZelmEditsStateFunc state_func, gpointer user_data);
void zelm_edits_free (ZelmEdits *edits);

/* Returns: (transfer none): @file's history, made on first use with the
 * file as it is now as its saved state. */
ZelmHistory *zelm_edits_get_history (ZelmEdits *edits, VornFile *file);

/* Keeps histories for exactly the files of @files: new files get one with
 * their state now as the saved one, the histories of files no longer open
 * are dropped. */
void zelm_edits_track (ZelmEdits *edits, GList *files);

/* @file may have changed: a step is recorded once the gesture is over (no
 * mouse button is held), so a drag is one step however many motions it
 * took.  Ignored while a step is being undone or redone. */
void zelm_edits_touch (ZelmEdits *edits, VornFile *file);

/* Records the steps of touched files now, even with a button held (before
 * saving, undoing or redoing). */
void zelm_edits_flush (ZelmEdits *edits);

/* Retries waiting steps when no button is held any more; call it
 * periodically. */
void zelm_edits_poll (ZelmEdits *edits);

/* Watches what the editors can change while this selection lasts: the
 * selected object's properties and those of every node of @inst. */
void zelm_edits_watch (ZelmEdits *edits, VornFile *file, VornInst *inst, gpointer selected);

/* Undoes (or redoes) one step of @file.  Returns: TRUE when the file
 * changed; an error is reported as a warning. */
gboolean zelm_edits_undo (ZelmEdits *edits, VornFile *file, gboolean redo);

/* Returns: (transfer none) (nullable): the file changed last. */
VornFile *zelm_edits_get_last_file (ZelmEdits *edits);

/* Whether any file with a history has unsaved changes. */
gboolean zelm_edits_any_modified (ZelmEdits *edits);

G_END_DECLS
