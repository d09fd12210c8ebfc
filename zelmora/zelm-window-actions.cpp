/* zelm-window-actions.cpp: the "win." actions: files, undo and redo, panic,
 * generator outputs */
#include "zelm-window-private.h"

#include "zelm-gen-view.h"

static void
action_new (GSimpleAction *, GVariant *, gpointer data)
{
  auto *self = ZELM_WINDOW (data);
  g_autoptr (VornFile) file = vorn_file_new ();
  zelm_app_add_file (ZELM_APP (self->app), file);
  zelm_tree_add_node (self->tree, VORN_NODE (file));
  zelm_tree_select (self->tree, VORN_NODE (file));
}

static void
action_open (GSimpleAction *, GVariant *, gpointer data)
{
  zelm_window_choose_open (ZELM_WINDOW (data));
}

static void
action_save (GSimpleAction *, GVariant *, gpointer data)
{
  zelm_window_save (ZELM_WINDOW (data), FALSE);
}

static void
action_save_as (GSimpleAction *, GVariant *, gpointer data)
{
  zelm_window_save (ZELM_WINDOW (data), TRUE);
}

static void
action_export_instrument (GSimpleAction *, GVariant *, gpointer data)
{
  zelm_window_export_instrument (ZELM_WINDOW (data));
}

static void
action_import_instruments (GSimpleAction *, GVariant *, gpointer data)
{
  zelm_window_import_instruments (ZELM_WINDOW (data));
}

static void
undo_redo (ZelmWindow *self, gboolean redo)
{
  VornFile *file = zelm_window_undo_target (self);
  if (!file || !zelm_edits_undo (self->edits, file, redo))
    return;
  /* New nodes took the old ones' places: the rows, and through the
   * selection the editors, follow them. */
  zelm_tree_reload_file (self->tree, file);
  zelm_window_update_actions (self);
}

static void
action_undo (GSimpleAction *, GVariant *, gpointer data)
{
  undo_redo (ZELM_WINDOW (data), FALSE);
}

static void
action_redo (GSimpleAction *, GVariant *, gpointer data)
{
  undo_redo (ZELM_WINDOW (data), TRUE);
}

static void
action_panic (GSimpleAction *, GVariant *, gpointer data)
{
  vorn_synth_panic (ZELM_WINDOW (data)->synth);
}

static void
action_gen_outputs (GSimpleAction *, GVariant *, gpointer data)
{
  auto *self = ZELM_WINDOW (data);
  if (VornInst *inst = zelm_tree_get_current_inst (self->tree))
    zelm_gen_view_window_new (GTK_WINDOW (self), self->synth, inst);
}

static const GActionEntry win_entries[] = {
  { "new", action_new, nullptr, nullptr, nullptr, { 0 } },
  { "open", action_open, nullptr, nullptr, nullptr, { 0 } },
  { "save", action_save, nullptr, nullptr, nullptr, { 0 } },
  { "save-as", action_save_as, nullptr, nullptr, nullptr, { 0 } },
  { "export-instrument", action_export_instrument, nullptr, nullptr, nullptr, { 0 } },
  { "import-instruments", action_import_instruments, nullptr, nullptr, nullptr, { 0 } },
  { "undo", action_undo, nullptr, nullptr, nullptr, { 0 } },
  { "redo", action_redo, nullptr, nullptr, nullptr, { 0 } },
  { "panic", action_panic, nullptr, nullptr, nullptr, { 0 } },
  { "gen-outputs", action_gen_outputs, nullptr, nullptr, nullptr, { 0 } },
};

void
zelm_window_actions_init (ZelmWindow *self)
{
  g_action_map_add_action_entries (G_ACTION_MAP (self), win_entries, G_N_ELEMENTS (win_entries),
                                   self);
  zelm_window_update_actions (self);
}

static void
set_enabled (ZelmWindow *self, const char *name, gboolean enabled)
{
  GAction *action = g_action_map_lookup_action (G_ACTION_MAP (self), name);
  if (action)
    g_simple_action_set_enabled (G_SIMPLE_ACTION (action), enabled);
}

VornFile *
zelm_window_undo_target (ZelmWindow *self)
{
  VornFile *file = self->tree ? zelm_tree_get_current_file (self->tree) : nullptr;
  return file || !self->edits ? file : zelm_edits_get_last_file (self->edits);
}

void
zelm_window_update_actions (ZelmWindow *self)
{
  VornFile *target = zelm_window_undo_target (self);
  ZelmHistory *history = target && self->edits ? zelm_edits_get_history (self->edits, target)
                                               : nullptr;
  set_enabled (self, "undo", history && zelm_history_can_undo (history));
  set_enabled (self, "redo", history && zelm_history_can_redo (history));

  VornFile *file = self->tree ? zelm_tree_get_current_file (self->tree) : nullptr;
  /* Without a selection Save still has a file to act on, or asks which. */
  const gboolean any_open = self->app && zelm_app_get_files_no_copy (ZELM_APP (self->app));
  set_enabled (self, "save", any_open);
  set_enabled (self, "save-as", any_open);
  set_enabled (self, "export-instrument", self->tree && zelm_tree_get_current_inst (self->tree));
  set_enabled (self, "import-instruments", file != nullptr);
  set_enabled (self, "gen-outputs", self->tree && zelm_tree_get_current_inst (self->tree));

  g_autofree char *title = nullptr;
  if (file)
    {
      g_autofree char *name = nullptr;
      g_object_get (file, "name", &name, nullptr);
      gboolean modified = self->edits &&
          zelm_history_get_modified (zelm_edits_get_history (self->edits, file));
      title = g_strdup_printf ("%s%s \u2014 Zelmora", name, modified ? " *" : "");
    }
  gtk_window_set_title (GTK_WINDOW (self), title ? title : "Zelmora");
}
