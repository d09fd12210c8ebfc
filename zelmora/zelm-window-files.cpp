/* zelm-window-files.cpp: opening and saving files from the main window, and
 * the question before closing files with unsaved changes */
#include "zelm-window-private.h"

#include "zelm-file-commands.h"

static void
error_dialog (ZelmWindow *self, const char *format, const char *path, const char *message)
{
  GtkWidget *dialog = gtk_message_dialog_new (
      GTK_WINDOW (self), GtkDialogFlags (GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, format, path, message);
  g_signal_connect (dialog, "response", G_CALLBACK (gtk_widget_destroy), nullptr);
  gtk_widget_show (dialog);
}

/* A modal chooser of instrument files over the window; Enter in its name
 * field accepts, as users expect. */
static GtkWidget *
vvi_chooser (ZelmWindow *self, const char *title, GtkFileChooserAction action, const char *accept)
{
  GtkWidget *chooser = gtk_file_chooser_dialog_new (title, GTK_WINDOW (self), action, "_Cancel",
                                                    GTK_RESPONSE_CANCEL, accept,
                                                    GTK_RESPONSE_ACCEPT, nullptr);
  gtk_window_set_modal (GTK_WINDOW (chooser), TRUE);
  gtk_dialog_set_default_response (GTK_DIALOG (chooser), GTK_RESPONSE_ACCEPT);
  GtkFileFilter *vvi = gtk_file_filter_new ();
  gtk_file_filter_set_name (vvi, "Zelmora instruments (*.vvi)");
  gtk_file_filter_add_pattern (vvi, "*.vvi");
  gtk_file_chooser_add_filter (GTK_FILE_CHOOSER (chooser), vvi);
  GtkFileFilter *all = gtk_file_filter_new ();
  gtk_file_filter_set_name (all, "All files");
  gtk_file_filter_add_pattern (all, "*");
  gtk_file_chooser_add_filter (GTK_FILE_CHOOSER (chooser), all);
  return chooser;
}

static GtkWidget *save_as_chooser (ZelmWindow *self, VornFile *file, ZelmCloseFlow *flow,
                                   const char *title, const char *accept);

/* --- open -------------------------------------------------------------------- */

void
zelm_window_open_path (ZelmWindow *self, const char *path)
{
  g_autoptr (GError) err = nullptr;
  g_autoptr (VornFile) file = vorn_file_load (path, &err);
  if (!file)
    {
      error_dialog (self, "Error occurred opening file '%s': %s", path, err->message);
      return;
    }
  zelm_app_add_file (ZELM_APP (self->app), file);
  zelm_tree_add_node (self->tree, VORN_NODE (file));
}

static void
open_response (GtkDialog *chooser, int response, ZelmWindow *self)
{
  g_autofree char *path = response == GTK_RESPONSE_ACCEPT
      ? gtk_file_chooser_get_filename (GTK_FILE_CHOOSER (chooser))
      : nullptr;
  gtk_widget_destroy (GTK_WIDGET (chooser));
  if (path)
    zelm_window_open_path (self, path);
}

void
zelm_window_choose_open (ZelmWindow *self)
{
  GtkWidget *chooser = vvi_chooser (self, "Open File", GTK_FILE_CHOOSER_ACTION_OPEN, "_Open");
  g_signal_connect_object (chooser, "response", G_CALLBACK (open_response), self,
                           GConnectFlags (0));
  gtk_widget_show (chooser);
}

/* --- save -------------------------------------------------------------------- */

/* The state saved is the one the history marks as on disk. */
gboolean
zelm_window_save_to (ZelmWindow *self, VornFile *file, const char *path)
{
  zelm_edits_flush (self->edits);
  g_autoptr (GError) err = nullptr;
  if (!vorn_file_save (file, path, &err))
    {
      zelm_history_restamp (zelm_edits_get_history (self->edits, file));
      g_autofree char *name = nullptr;
      if (!path)
        g_object_get (file, "file-name", &name, nullptr);
      error_dialog (self, "Error occurred saving file '%s': %s", path ? path : name, err->message);
      return FALSE;
    }
  zelm_history_set_saved (zelm_edits_get_history (self->edits, file));
  return TRUE;
}

static void
save_file (ZelmWindow *self, VornFile *file, gboolean as)
{
  /* A file that never had a place on disk (new, or the built-in bank) is
   * saved as. */
  if (as || !zelm_close_flow_has_path (file))
    zelm_window_save_as (self, file, nullptr);
  else
    zelm_window_save_to (self, file, nullptr);
}

static void
save_chosen_file (VornFile *file, gpointer data)
{
  auto *self = ZELM_WINDOW (data);
  const gboolean as = GPOINTER_TO_INT (g_object_get_data (G_OBJECT (self), "zelm-save-as"));
  if (file)
    save_file (self, file, as);
}

static void
choice_response (GtkDialog *dialog, int response, ZelmFileChoice *choice)
{
  GtkListBoxRow *row = gtk_list_box_get_selected_row (
      GTK_LIST_BOX (g_object_get_data (G_OBJECT (dialog), "zelm-list")));
  /* The dialog goes first: the answer may open the file chooser. */
  const int index = response == GTK_RESPONSE_ACCEPT && row ? gtk_list_box_row_get_index (row) : -1;
  gtk_widget_hide (GTK_WIDGET (dialog));
  zelm_file_choice_answer (choice, index);
  gtk_widget_destroy (GTK_WIDGET (dialog));
}

static void
choice_row_activated (GtkListBox *, GtkListBoxRow *, GtkDialog *dialog)
{
  gtk_dialog_response (dialog, GTK_RESPONSE_ACCEPT);
}

GtkWidget *
zelm_window_ask_save_target (ZelmWindow *self, gboolean as)
{
  g_object_set_data (G_OBJECT (self), "zelm-save-as", GINT_TO_POINTER (as));
  ZelmFileChoice *choice
      = zelm_file_choice_new (zelm_app_get_files_no_copy (ZELM_APP (self->app)),
                              zelm_edits_get_last_file (self->edits), save_chosen_file, self);
  GtkWidget *dialog = gtk_dialog_new_with_buttons (
      as ? "Save As" : "Save", GTK_WINDOW (self),
      GtkDialogFlags (GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), "_Cancel",
      GTK_RESPONSE_CANCEL, as ? "_Save As…" : "_Save", GTK_RESPONSE_ACCEPT, nullptr);
  gtk_widget_set_name (dialog, "SaveTargetDialog");
  gtk_dialog_set_default_response (GTK_DIALOG (dialog), GTK_RESPONSE_ACCEPT);
  GtkWidget *box = gtk_dialog_get_content_area (GTK_DIALOG (dialog));
  gtk_box_set_spacing (GTK_BOX (box), 6);
  gtk_container_set_border_width (GTK_CONTAINER (box), 12);
  GtkWidget *label = gtk_label_new ("Which file do you want to save?");
  gtk_label_set_xalign (GTK_LABEL (label), 0);
  gtk_container_add (GTK_CONTAINER (box), label);
  GtkWidget *list = gtk_list_box_new ();
  gtk_label_set_mnemonic_widget (GTK_LABEL (label), list);
  atk_object_set_name (gtk_widget_get_accessible (list), "Open files");
  for (guint i = 0; i < zelm_file_choice_count (choice); i++)
    {
      g_autofree char *text = zelm_file_choice_label (choice, i);
      GtkWidget *row_label = gtk_label_new (text);
      gtk_label_set_xalign (GTK_LABEL (row_label), 0);
      gtk_widget_set_margin_start (row_label, 6);
      gtk_widget_set_margin_end (row_label, 6);
      gtk_widget_set_margin_top (row_label, 4);
      gtk_widget_set_margin_bottom (row_label, 4);
      gtk_container_add (GTK_CONTAINER (list), row_label);
    }
  gtk_list_box_select_row (
      GTK_LIST_BOX (list),
      gtk_list_box_get_row_at_index (GTK_LIST_BOX (list), int (zelm_file_choice_get_default (choice))));
  gtk_container_add (GTK_CONTAINER (box), list);
  g_object_set_data (G_OBJECT (dialog), "zelm-list", list);
  /* Closing the dialog any way cancels the question. */
  g_object_set_data_full (G_OBJECT (dialog), "zelm-choice", choice,
                          reinterpret_cast<GDestroyNotify> (zelm_file_choice_free));
  g_signal_connect (list, "row-activated", G_CALLBACK (choice_row_activated), dialog);
  g_signal_connect (dialog, "response", G_CALLBACK (choice_response), choice);
  gtk_widget_show_all (dialog);
  return dialog;
}

void
zelm_window_save (ZelmWindow *self, gboolean as)
{
  VornFile *file;
  switch (zelm_save_target (zelm_tree_get_current_file (self->tree),
                            zelm_app_get_files_no_copy (ZELM_APP (self->app)), &file))
    {
    case ZELM_SAVE_TARGET_FILE:
      save_file (self, file, as);
      break;
    case ZELM_SAVE_TARGET_ASK:
      zelm_window_ask_save_target (self, as);
      break;
    case ZELM_SAVE_TARGET_NONE:
      break;
    }
}

static void
finish_save_as (GtkWidget *chooser, gboolean saved)
{
  auto *flow = static_cast<ZelmCloseFlow *> (g_object_get_data (G_OBJECT (chooser), "zelm-flow"));
  gtk_widget_destroy (chooser);
  if (flow)
    zelm_close_flow_saved (flow, saved);
}

gboolean
zelm_window_save_renamed (ZelmWindow *self, VornFile *file, const char *path)
{
  /* The file takes the name it has on disk, in the file too: reopened, it
   * shows as the name the user gave it. */
  g_autofree char *old = nullptr;
  g_object_get (file, "name", &old, nullptr);
  g_autofree char *name = zelm_file_name_from_path (path);
  const gboolean renamed = *name && g_strcmp0 (old, name) != 0;
  if (renamed)
    {
      g_object_set (file, "name", name, nullptr);
      zelm_edits_touch (self->edits, file);
    }
  if (zelm_window_save_to (self, file, path))
    return TRUE;
  if (renamed)
    {
      g_object_set (file, "name", old, nullptr);
      zelm_edits_touch (self->edits, file);
      zelm_edits_flush (self->edits);
    }
  return FALSE;
}

static gboolean
save_chosen (ZelmWindow *self, GtkWidget *chooser)
{
  auto *file = static_cast<VornFile *> (g_object_get_data (G_OBJECT (chooser), "zelm-file"));
  g_autofree char *path = gtk_file_chooser_get_filename (GTK_FILE_CHOOSER (chooser));
  if (!file || !path)
    return FALSE;
  auto *inst = static_cast<VornInst *> (g_object_get_data (G_OBJECT (chooser), "zelm-export"));
  if (inst)
    return zelm_window_export_to (self, inst, path);
  return zelm_window_save_renamed (self, file, path);
}

static void
replace_response (GtkDialog *ask, int response, ZelmWindow *self)
{
  auto *chooser = static_cast<GtkWidget *> (g_object_get_data (G_OBJECT (ask), "zelm-chooser"));
  gtk_widget_destroy (GTK_WIDGET (ask));
  /* Cancel leaves the chooser open for another name. */
  if (response == GTK_RESPONSE_ACCEPT)
    finish_save_as (chooser, save_chosen (self, chooser));
}

/* Save As answers asynchronously so the main loop (and the periodic task)
 * keeps running while the chooser is open; the question before replacing a
 * file is asked the same way, not in a nested loop. */
static void
save_as_response (GtkDialog *chooser, int response, ZelmWindow *self)
{
  if (response != GTK_RESPONSE_ACCEPT)
    {
      finish_save_as (GTK_WIDGET (chooser), FALSE);
      return;
    }
  g_autofree char *path = gtk_file_chooser_get_filename (GTK_FILE_CHOOSER (chooser));
  if (path && g_file_test (path, G_FILE_TEST_EXISTS))
    {
      g_autofree char *base = g_filename_display_basename (path);
      GtkWidget *ask = gtk_message_dialog_new (
          GTK_WINDOW (chooser), GtkDialogFlags (GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
          GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE,
          "A file named \u201c%s\u201d already exists.  Do you want to replace it?", base);
      gtk_message_dialog_format_secondary_text (GTK_MESSAGE_DIALOG (ask),
                                                "Replacing it will overwrite its contents.");
      gtk_dialog_add_buttons (GTK_DIALOG (ask), "_Cancel", GTK_RESPONSE_CANCEL, "_Replace",
                              GTK_RESPONSE_ACCEPT, nullptr);
      gtk_dialog_set_default_response (GTK_DIALOG (ask), GTK_RESPONSE_CANCEL);
      g_object_set_data (G_OBJECT (ask), "zelm-chooser", chooser);
      g_signal_connect_object (ask, "response", G_CALLBACK (replace_response), self,
                               GConnectFlags (0));
      gtk_widget_show (ask);
      return;
    }
  finish_save_as (GTK_WIDGET (chooser), save_chosen (self, GTK_WIDGET (chooser)));
}

static GtkWidget *
save_as_chooser (ZelmWindow *self, VornFile *file, ZelmCloseFlow *flow, const char *title,
                 const char *accept)
{
  GtkWidget *chooser = vvi_chooser (self, title, GTK_FILE_CHOOSER_ACTION_SAVE, accept);
  g_autofree char *current = nullptr;
  g_object_get (file, "file-name", &current, nullptr);
  if (current && g_path_is_absolute (current))
    gtk_file_chooser_set_filename (GTK_FILE_CHOOSER (chooser), current);
  else
    {
      g_autofree char *name = nullptr;
      g_object_get (file, "name", &name, nullptr);
      g_autofree char *suggested = g_strconcat (name && *name ? name : "Untitled", ".vvi", nullptr);
      gtk_file_chooser_set_current_name (GTK_FILE_CHOOSER (chooser), suggested);
    }
  g_object_set_data_full (G_OBJECT (chooser), "zelm-file", g_object_ref (file), g_object_unref);
  g_object_set_data (G_OBJECT (chooser), "zelm-flow", flow);
  g_signal_connect_object (chooser, "response", G_CALLBACK (save_as_response), self,
                           GConnectFlags (0));
  gtk_widget_show (chooser);
  return chooser;
}

void
zelm_window_save_as (ZelmWindow *self, VornFile *file, ZelmCloseFlow *flow)
{
  save_as_chooser (self, file, flow, "Save File", "_Save");
}

/* --- export and import of instruments ----------------------------------------- */

gboolean
zelm_window_export_to (ZelmWindow *self, VornInst *inst, const char *path)
{
  g_autoptr (VornFile) file = zelm_file_new_for_instrument (inst, path);
  g_autoptr (GError) err = nullptr;
  if (vorn_file_save (file, path, &err))
    return TRUE;
  error_dialog (self, "Error occurred exporting to '%s': %s", path, err->message);
  return FALSE;
}

void
zelm_window_export_instrument (ZelmWindow *self)
{
  VornInst *inst = zelm_tree_get_current_inst (self->tree);
  if (!inst)
    return;
  /* The same chooser and replace question as Save As, for a file that is
   * made from the instrument once the name is known. */
  g_autoptr (VornFile) file = vorn_file_new ();
  g_autofree char *name = nullptr;
  g_object_get (inst, "name", &name, nullptr);
  g_object_set (file, "name", name, nullptr);
  GtkWidget *chooser = save_as_chooser (self, file, nullptr, "Export Instrument", "_Export");
  g_object_set_data_full (G_OBJECT (chooser), "zelm-export", g_object_ref (inst), g_object_unref);
}

void
zelm_window_import_into (ZelmWindow *self, VornFile *file, const char *path)
{
  g_autoptr (GError) err = nullptr;
  g_autoptr (VornFile) source = vorn_file_load (path, &err);
  if (!source)
    {
      error_dialog (self, "Error occurred opening file '%s': %s", path, err->message);
      return;
    }
  g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
  if (zelm_file_import_instruments (file, source, change) == 0)
    {
      error_dialog (self, "No instruments to import from '%s': %s", path, "the file holds none");
      return;
    }
  /* One step in the file's history, however many instruments came. */
  zelm_tree_apply (self->tree, change);
  zelm_edits_flush (self->edits);
}

static void
import_response (GtkDialog *chooser, int response, ZelmWindow *self)
{
  auto *file = static_cast<VornFile *> (g_object_get_data (G_OBJECT (chooser), "zelm-file"));
  g_autoptr (VornFile) target = file ? VORN_FILE (g_object_ref (file)) : nullptr;
  g_autofree char *path = response == GTK_RESPONSE_ACCEPT
      ? gtk_file_chooser_get_filename (GTK_FILE_CHOOSER (chooser))
      : nullptr;
  gtk_widget_destroy (GTK_WIDGET (chooser));
  if (path && target && g_list_find (zelm_app_get_files_no_copy (ZELM_APP (self->app)), target))
    zelm_window_import_into (self, target, path);
}

void
zelm_window_import_instruments (ZelmWindow *self)
{
  VornFile *file = zelm_tree_get_current_file (self->tree);
  if (!file)
    return;
  GtkWidget *chooser =
      vvi_chooser (self, "Import Instruments", GTK_FILE_CHOOSER_ACTION_OPEN, "_Import");
  g_object_set_data_full (G_OBJECT (chooser), "zelm-file", g_object_ref (file), g_object_unref);
  g_signal_connect_object (chooser, "response", G_CALLBACK (import_response), self,
                           GConnectFlags (0));
  gtk_widget_show (chooser);
}

/* --- closing with unsaved changes -------------------------------------------- */

static void
close_response (GtkDialog *dialog, int response, gpointer)
{
  auto *flow = static_cast<ZelmCloseFlow *> (g_object_steal_data (G_OBJECT (dialog), "zelm-flow"));
  gtk_widget_destroy (GTK_WIDGET (dialog));
  if (flow)
    zelm_close_flow_answer (flow, response == GTK_RESPONSE_YES  ? ZELM_CLOSE_SAVE
                                  : response == GTK_RESPONSE_NO ? ZELM_CLOSE_DISCARD
                                                                : ZELM_CLOSE_CANCEL);
}

/* A dialog gone unanswered (its window closed) closes nothing. */
static void
close_flow_drop (gpointer flow)
{
  zelm_close_flow_answer (static_cast<ZelmCloseFlow *> (flow), ZELM_CLOSE_CANCEL);
}

static void
flow_ask (ZelmCloseFlow *flow, GList *files, gpointer data)
{
  auto *self = ZELM_WINDOW (data);
  g_autofree char *primary = nullptr;
  if (!files->next)
    {
      g_autofree char *name = nullptr;
      g_object_get (files->data, "name", &name, nullptr);
      primary = g_strdup_printf ("Save changes to \u201c%s\u201d before closing?", name);
    }
  else
    primary = g_strdup_printf ("Save changes to %u files before closing?", g_list_length (files));
  GtkWidget *dialog = gtk_message_dialog_new (
      GTK_WINDOW (self), GtkDialogFlags (GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE, "%s", primary);
  gtk_message_dialog_format_secondary_text (GTK_MESSAGE_DIALOG (dialog),
                                            "Changes that are not saved will be lost.");
  gtk_dialog_add_buttons (GTK_DIALOG (dialog), "Close _without Saving", GTK_RESPONSE_NO,
                          "_Cancel", GTK_RESPONSE_CANCEL, "_Save", GTK_RESPONSE_YES, nullptr);
  gtk_dialog_set_default_response (GTK_DIALOG (dialog), GTK_RESPONSE_YES);
  gtk_widget_set_name (dialog, "CloseDialog");
  g_object_set_data_full (G_OBJECT (dialog), "zelm-flow", flow, close_flow_drop);
  g_signal_connect (dialog, "response", G_CALLBACK (close_response), nullptr);
  gtk_widget_show (dialog);
}

static gboolean
flow_modified (VornFile *file, gpointer data)
{
  auto *self = ZELM_WINDOW (data);
  return zelm_history_get_modified (zelm_edits_get_history (self->edits, file));
}

static gboolean
flow_save (VornFile *file, gpointer data)
{
  return zelm_window_save_to (ZELM_WINDOW (data), file, nullptr);
}

static void
flow_save_as (ZelmCloseFlow *flow, VornFile *file, gpointer data)
{
  zelm_window_save_as (ZELM_WINDOW (data), file, flow);
}

static const ZelmCloseFlowIface window_flow = { flow_ask, flow_modified, flow_save, flow_save_as };

void
zelm_window_close_files (ZelmWindow *self, GList *files, ZelmCloseDone done, gpointer data)
{
  g_return_if_fail (ZELM_IS_WINDOW (self));
  zelm_edits_flush (self->edits);
  zelm_close_flow_start (files, &window_flow, self, done, data);
}
