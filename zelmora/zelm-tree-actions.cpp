/* zelm-tree-actions.cpp: the "tree." actions, the node commands on the
 * tree's selection */
#include "zelm-tree-private.h"

#include <initializer_list>

static ZelmTree *
tree_of (gpointer data)
{
  return static_cast<ZelmTree *> (data);
}

/* The selected row's node when exactly one is selected. */
static VornNode *
target (ZelmTree *tree)
{
  return tree->cur_node ? tree->cur_node
       : tree->cur_inst ? VORN_NODE (tree->cur_inst)
                        : VORN_NODE (tree->cur_file);
}

/* Shows @change in the rows and tells the window which files changed. */
static void
finish (ZelmTree *tree, ZelmNodeChange *change, gboolean select)
{
  zelm_tree_apply_change (tree, change, select);
  zelm_tree_tell_edited (tree, change->files);
}

static void
new_node_activated (GSimpleAction *, GVariant *param, gpointer data)
{
  ZelmTree *tree = tree_of (data);
  g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
  if (zelm_node_commands_new (target (tree), g_variant_get_string (param, nullptr), change))
    finish (tree, change, TRUE);
}

static void
rename_activated (GSimpleAction *, GVariant *, gpointer data)
{
  ZelmTree *tree = tree_of (data);
  zelm_tree_start_rename (tree, target (tree));
}

static void
move (ZelmTree *tree, gboolean up)
{
  g_autoptr (GPtrArray) nodes = zelm_tree_selected_nodes (tree);
  g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
  zelm_node_commands_move (G_OBJECT (tree->app), nodes, up, change);
  finish (tree, change, FALSE);
  /* The moved rows stay selected: keep them in sight. */
  GtkTreePath *cursor = nullptr;
  gtk_tree_view_get_cursor (tree->view, &cursor, nullptr);
  if (cursor)
    {
      gtk_tree_view_scroll_to_cell (tree->view, cursor, nullptr, FALSE, 0, 0);
      gtk_tree_path_free (cursor);
    }
}

static void
move_up_activated (GSimpleAction *, GVariant *, gpointer data)
{
  move (tree_of (data), TRUE);
}

static void
move_down_activated (GSimpleAction *, GVariant *, gpointer data)
{
  move (tree_of (data), FALSE);
}

static void
copy (ZelmTree *tree)
{
  g_autoptr (GPtrArray) nodes = zelm_tree_selected_nodes (tree);
  zelm_clipboard_copy (tree->clipboard, nodes);
  zelm_tree_actions_update (tree);
}

static void
copy_activated (GSimpleAction *, GVariant *, gpointer data)
{
  copy (tree_of (data));
}

static void
paste (ZelmTree *tree, gboolean within)
{
  g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
  zelm_node_commands_paste (tree->clipboard, target (tree), within, change);
  finish (tree, change, TRUE);
}

static void
paste_activated (GSimpleAction *, GVariant *, gpointer data)
{
  paste (tree_of (data), FALSE);
}

static void
paste_within_activated (GSimpleAction *, GVariant *, gpointer data)
{
  paste (tree_of (data), TRUE);
}

static void
delete_now (ZelmTree *tree, GPtrArray *nodes)
{
  g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
  zelm_node_commands_delete (G_OBJECT (tree->app), nodes, change);
  finish (tree, change, FALSE);
}

/* Nodes waiting for the answer about unsaved files. */
struct PendingDelete {
  ZelmTree *tree;
  GPtrArray *nodes; /* those gone meanwhile are skipped */
};

static void
close_answered (gboolean close, gpointer data)
{
  auto *pending = static_cast<PendingDelete *> (data);
  if (close)
    delete_now (pending->tree, pending->nodes);
  g_ptr_array_unref (pending->nodes);
  g_free (pending);
}

/* Deleting a file's row closes the file: unsaved changes are asked about
 * first. */
void
zelm_tree_delete (ZelmTree *tree, GPtrArray *nodes)
{
  g_autoptr (GList) unsaved = nullptr;
  for (guint i = 0; tree->close_check && i < nodes->len; i++)
    if (g_hash_table_contains (tree->modified, g_ptr_array_index (nodes, i)))
      unsaved = g_list_append (unsaved, g_ptr_array_index (nodes, i));
  if (!unsaved)
    {
      delete_now (tree, nodes);
      return;
    }
  auto *pending = g_new0 (PendingDelete, 1);
  pending->tree = tree;
  pending->nodes = g_ptr_array_ref (nodes);
  tree->close_check (unsaved, close_answered, pending, tree->close_check_data);
}

void
zelm_tree_set_close_check (ZelmTree *tree, ZelmTreeCloseFunc func, gpointer user_data)
{
  g_return_if_fail (tree != nullptr);
  tree->close_check = func;
  tree->close_check_data = user_data;
}

static void
delete_activated (GSimpleAction *, GVariant *, gpointer data)
{
  ZelmTree *tree = tree_of (data);
  g_autoptr (GPtrArray) nodes = zelm_tree_selected_nodes (tree);
  zelm_tree_delete (tree, nodes);
}

static void
cut_activated (GSimpleAction *, GVariant *, gpointer data)
{
  ZelmTree *tree = tree_of (data);
  copy (tree);
  g_autoptr (GPtrArray) nodes = zelm_tree_selected_nodes (tree);
  zelm_tree_delete (tree, nodes);
}

static void
mute_activated (GSimpleAction *, GVariant *, gpointer data)
{
  ZelmTree *tree = tree_of (data);
  g_autoptr (GPtrArray) nodes = zelm_tree_selected_nodes (tree);
  g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
  zelm_node_commands_mute (nodes, change);
  finish (tree, change, FALSE);
}

static void
toggle_recording_activated (GSimpleAction *, GVariant *, gpointer data)
{
  ZelmTree *tree = tree_of (data);
  g_autoptr (GPtrArray) nodes = zelm_tree_selected_nodes (tree);
  g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
  zelm_node_commands_toggle_recording (nodes, change);
  finish (tree, change, FALSE);
}

static void
find_activated (GSimpleAction *, GVariant *, gpointer data)
{
  zelm_tree_start_search (tree_of (data));
}

static const GActionEntry entries[] = {
  { "find", find_activated, nullptr, nullptr, nullptr, {} },
  { "new-node", new_node_activated, "s", nullptr, nullptr, {} },
  { "rename", rename_activated, nullptr, nullptr, nullptr, {} },
  { "move-up", move_up_activated, nullptr, nullptr, nullptr, {} },
  { "move-down", move_down_activated, nullptr, nullptr, nullptr, {} },
  { "copy", copy_activated, nullptr, nullptr, nullptr, {} },
  { "paste", paste_activated, nullptr, nullptr, nullptr, {} },
  { "paste-within", paste_within_activated, nullptr, nullptr, nullptr, {} },
  { "cut", cut_activated, nullptr, nullptr, nullptr, {} },
  { "delete", delete_activated, nullptr, nullptr, nullptr, {} },
  { "mute", mute_activated, nullptr, nullptr, nullptr, {} },
  { "toggle-recording", toggle_recording_activated, nullptr, nullptr, nullptr, {} },
};

/* The keys act only while the tree has the focus: the view holds the
 * actions, and elsewhere Ctrl+C and Ctrl+V belong to text entries. */
static const struct {
  const char *action;
  const char *accels[2];
} accels[] = {
  { "tree.new-node::sine", { "<Primary>i", nullptr } },
  { "tree.rename", { "F2", nullptr } },
  { "tree.find", { "<Primary>f", nullptr } },
  { "tree.move-up", { "<Alt>Up", nullptr } },
  { "tree.move-down", { "<Alt>Down", nullptr } },
  { "tree.copy", { "<Primary>c", nullptr } },
  { "tree.paste", { "<Primary>v", nullptr } },
  { "tree.paste-within", { "<Primary><Shift>v", nullptr } },
  { "tree.cut", { "<Primary>x", nullptr } },
  { "tree.delete", { "<Primary>d", nullptr } },
  { "tree.mute", { "<Primary>m", nullptr } },
  { "tree.toggle-recording", { "<Primary>t", nullptr } },
};

void
zelm_tree_actions_init (ZelmTree *tree)
{
  tree->actions = g_simple_action_group_new ();
  g_action_map_add_action_entries (G_ACTION_MAP (tree->actions), entries, G_N_ELEMENTS (entries),
                                   tree);
  gtk_widget_insert_action_group (GTK_WIDGET (tree->view), "tree", G_ACTION_GROUP (tree->actions));
  if (tree->app)
    for (const auto &a : accels)
      gtk_application_set_accels_for_action (GTK_APPLICATION (tree->app), a.action, a.accels);
}

static void
enable (ZelmTree *tree, const char *name, gboolean enabled)
{
  GAction *action = g_action_map_lookup_action (G_ACTION_MAP (tree->actions), name);
  g_simple_action_set_enabled (G_SIMPLE_ACTION (action), enabled);
}

/* Commands on one row need it alone; those on several take any selection.
 * While a name is edited, the keys belong to its entry. */
void
zelm_tree_actions_update (ZelmTree *tree)
{
  if (!tree->actions)
    return;
  const int count = gtk_tree_selection_count_selected_rows (gtk_tree_view_get_selection (tree->view));
  const gboolean one = count == 1 && !tree->editing, any = count > 0 && !tree->editing;
  for (const char *name : { "new-node", "rename" })
    enable (tree, name, one);
  for (const char *name : { "paste", "paste-within" })
    enable (tree, name, one && tree->clipboard->nodes);
  for (const char *name : { "move-up", "move-down", "copy", "cut", "delete", "mute",
                            "toggle-recording" })
    enable (tree, name, any);
}
