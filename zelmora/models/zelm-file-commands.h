/* zelm-file-commands.h: the rules of the File menu, free of widgets: which
 * file Save acts on, the question when that is unclear, the name a file
 * takes from its place on disk, and moving instruments between files. */
#pragma once

#include "vornadel.h"
#include "zelm-node-commands.h"

G_BEGIN_DECLS

typedef enum {
  ZELM_SAVE_TARGET_NONE, /* no file is open */
  ZELM_SAVE_TARGET_FILE, /* the file is known */
  ZELM_SAVE_TARGET_ASK,  /* several files are open and none is selected */
} ZelmSaveTarget;

/* Which file Save and Save As act on: the file of the selection
 * (@selected, nullable), else the only one of @files (the open files, in
 * order), else the user is asked.  @file (nullable out, transfer none) is
 * set for ZELM_SAVE_TARGET_FILE, else NULL. */
ZelmSaveTarget zelm_save_target (VornFile *selected, GList *files, VornFile **file);

/* The question "which file?" while it is open: the choices and their
 * labels, for a dialog to show and answer. */
typedef struct _ZelmFileChoice ZelmFileChoice;

/* Called once with the chosen file (transfer none), or NULL when the
 * question was cancelled. */
typedef void (*ZelmFileChosen) (VornFile *file, gpointer data);

/* Returns: (transfer full): a question offering @files (each referenced),
 * with @preferred (nullable; the file changed last, say) chosen at first,
 * else the first.  Free it with zelm_file_choice_free, which cancels it if
 * it was not answered. */
ZelmFileChoice *zelm_file_choice_new (GList *files, VornFile *preferred, ZelmFileChosen chosen,
                                      gpointer data);
void zelm_file_choice_free (ZelmFileChoice *choice);
G_DEFINE_AUTOPTR_CLEANUP_FUNC (ZelmFileChoice, zelm_file_choice_free)

guint zelm_file_choice_count (ZelmFileChoice *choice);
/* Returns: (transfer full): the label of choice @index: the file's name,
 * followed by where it lives on disk ("not saved yet" when nowhere). */
char *zelm_file_choice_label (ZelmFileChoice *choice, guint index);
/* Returns: the index chosen at first. */
guint zelm_file_choice_get_default (ZelmFileChoice *choice);
/* Answers the question: @index of a choice, or -1 to cancel.  Only the
 * first answer counts. */
void zelm_file_choice_answer (ZelmFileChoice *choice, int index);

/* Returns: (transfer full): the name a file saved at @path takes: the base
 * name without its ".vvi" extension ("pluck.vvi" gives "pluck"). */
char *zelm_file_name_from_path (const char *path);

/* Returns: (transfer full): a new file holding a copy of @inst, named
 * after @path, for exporting the instrument on its own. */
VornFile *zelm_file_new_for_instrument (VornInst *inst, const char *path);

/* Appends copies of the instruments of @source to @file, recording them in
 * @change.  Returns: the number of instruments added. */
guint zelm_file_import_instruments (VornFile *file, VornFile *source, ZelmNodeChange *change);

G_END_DECLS
