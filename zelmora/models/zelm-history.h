/* zelm-history.h: undo and redo of an instrument file, and whether it has
 * unsaved changes */
#pragma once

#include "vornadel.h"

G_BEGIN_DECLS

#define ZELM_TYPE_HISTORY (zelm_history_get_type ())
G_DECLARE_FINAL_TYPE (ZelmHistory, zelm_history, ZELM, HISTORY, GObject)

/* Steps kept per file unless "max-steps" says otherwise. */
#define ZELM_HISTORY_DEFAULT_STEPS 256

/**
 * zelm_history_new:
 * @file: the file whose changes are recorded
 *
 * The file as it is now is the first state, and the saved one.
 *
 * Returns: (transfer full): the history.
 */
ZelmHistory *zelm_history_new (VornFile *file);

/* Returns: (transfer none): the file. */
VornFile *zelm_history_get_file (ZelmHistory *history);

/**
 * zelm_history_commit:
 * @history: a history
 *
 * Ends a step: when the file's text differs from the current state, the
 * new text becomes a state after it (redo states are dropped, and the
 * oldest state once there are more than "max-steps" steps).
 *
 * Returns: TRUE when a step was recorded.
 */
gboolean zelm_history_commit (ZelmHistory *history);

/**
 * zelm_history_undo:
 * @history: a history
 * @error: return location for an error
 *
 * Puts the file back into the state before the current one.  The file
 * object stays; its nodes are replaced by new ones.  Changes since the last
 * commit are lost: commit first.
 *
 * Returns: FALSE when there is nothing to undo (@error unset) or the state
 *   could not be restored (@error set; nothing changed).
 */
gboolean zelm_history_undo (ZelmHistory *history, GError **error);

/* As zelm_history_undo(), towards the newest state. */
gboolean zelm_history_redo (ZelmHistory *history, GError **error);

gboolean zelm_history_can_undo (ZelmHistory *history);
gboolean zelm_history_can_redo (ZelmHistory *history);

/* Whether the current state differs from the one last saved. */
gboolean zelm_history_get_modified (ZelmHistory *history);

/* Takes the file's text as the current state without a step: saving
 * stamps the file (version, UUID), which is no change to undo. */
void zelm_history_restamp (ZelmHistory *history);

/* Records that the current state is what the file on disk holds (after a
 * successful save; commit before saving).  Restamps first. */
void zelm_history_set_saved (ZelmHistory *history);

G_END_DECLS
