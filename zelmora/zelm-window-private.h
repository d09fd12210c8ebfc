/* zelm-window-private.h: the main window's state, shared by the files that
 * make up the window (construction, actions, files, keys, splash) */
#pragma once

#include "zelm-window.h"

#include "zelm-edits.h"
#include "zelm-keyboard.h"
#include "zelm-tree.h"

G_BEGIN_DECLS

struct _ZelmWindow {
  GtkApplicationWindow parent_instance;

  /* template children */
  GMenuModel *menubar;
  GtkBox *main_box;
  GtkInfoBar *audio_info_bar;
  GtkLabel *audio_info_label;
  GtkInfoBar *open_info_bar;
  GtkLabel *open_info_label;
  GtkTreeView *tree_view;
  GtkWidget *prop_view_scroll_win;
  GtkWidget *prop_editor;
  GtkWidget *wave_editor;
  GtkNotebook *notebook;
  GtkViewport *ctrl_view_port;
  GtkWidget *panic_button;
  GtkLabel *voice_label;
  GtkLabel *cpu_label;
  GtkBox *synth_box;
  GtkWidget *level_meter;
  GtkPaned *panes[2]; /* MainPaned, LeftPaned: their positions are kept */

  /* made in code: they take the synthesizer at construction */
  GtkWidget *piano;
  GtkWidget *node_ctrl;
  GtkWidget *tap_recorder;

  ZelmAppGui *app; /* weak: the application holds the window */
  VornSynth *synth;
  ZelmKeyboard *keyboard; /* the application's */
  guint16 device_id;
  ZelmTree *tree;
  ZelmEdits *edits;
  VornWave *edited_wave; /* compared only: the wave the editor showed last */

  /* periodic task */
  guint periodic_id;
  GSource *outbox_source;
  int tick;
  guint last_active;
  guint last_peak;
  gboolean stats_shown;
  double last_clock_ms;
  gint64 last_mono_us;

  int pane_lengths[2];  /* each pane's size along its axis, last allocated */
  gboolean panes_moved; /* by the user, since the configuration was saved */

  GtkWidget *splash; /* weak */
  guint splash_timeout;
};

/* zelm-window-actions.cpp: installs the "win." actions. */
void zelm_window_actions_init (ZelmWindow *self);
/* Enables undo, redo and save for the file they act on; the title names
 * the selected file and marks unsaved changes. */
void zelm_window_update_actions (ZelmWindow *self);
/* The file undo and redo act on: the selected one, else the last changed. */
VornFile *zelm_window_undo_target (ZelmWindow *self);

/* zelm-window-files.cpp */
void zelm_window_choose_open (ZelmWindow *self);
void zelm_window_open_path (ZelmWindow *self, const char *path);
/* Saves @file under @path (NULL: its own name); an error is shown.
 * Returns: TRUE on success. */
gboolean zelm_window_save_to (ZelmWindow *self, VornFile *file, const char *path);
/* Asks a name for @file and saves it there; @flow (nullable) learns the
 * outcome. */
void zelm_window_save_as (ZelmWindow *self, VornFile *file, ZelmCloseFlow *flow);
/* Saves (@as: saves as) the file of the selection, else the only open
 * file, else asks which one; a file without a name is saved as. */
void zelm_window_save (ZelmWindow *self, gboolean as);
/* Returns: (transfer none): the dialog asking which file to save, shown;
 * its answer saves (@as: saves as) the chosen file. */
GtkWidget *zelm_window_ask_save_target (ZelmWindow *self, gboolean as);
/* Names @file after @path and saves it there; the name goes back when the
 * save fails.  Returns: TRUE on success. */
gboolean zelm_window_save_renamed (ZelmWindow *self, VornFile *file, const char *path);
/* Asks a name and writes the selected instrument alone to that file. */
void zelm_window_export_instrument (ZelmWindow *self);
/* Writes a copy of @inst alone to @path.  Returns: TRUE on success. */
gboolean zelm_window_export_to (ZelmWindow *self, VornInst *inst, const char *path);
/* Asks for a file and adds its instruments to the selected file. */
void zelm_window_import_instruments (ZelmWindow *self);
/* Adds the instruments of the file at @path to @file, as one step. */
void zelm_window_import_into (ZelmWindow *self, VornFile *file, const char *path);

/* zelm-window-keys.cpp: the computer keyboard.  Returns: TRUE when the
 * key played, released or changed something. */
gboolean zelm_window_key_event (ZelmWindow *self, GdkEventKey *event);

G_END_DECLS
