/* zelm-tree.cpp: the main window's tree of open files and their nodes */
#include "zelm-tree.h"

struct _ZelmTree {
  GtkTreeView *view;
  GtkTreeStore *store;
  GHashTable *rows; /* VornNode (ref) -> GtkTreeRowReference */
  ZelmApp *app;
  ZelmTreeSelectFunc select_func;
  ZelmTreeEditFunc edit_func;
  gpointer user_data;
  VornFile *cur_file;
  VornInst *cur_inst;
  VornNode *cur_node;
};

static const struct {
  VornWaveKind kind;
  const char *icon;
} kind_icons[] = {
  { VORN_WAVE_KIND_CTRL_VOLUME, "zelm-ctrl-vol" },
  { VORN_WAVE_KIND_CTRL_PITCH, "zelm-ctrl-pitch" },
  { VORN_WAVE_KIND_CTRL_BALANCE, "zelm-ctrl-balance" },
  { VORN_WAVE_KIND_CTRL_MORPH, "zelm-ctrl-morph" },
  { VORN_WAVE_KIND_CTRL_TIME, "zelm-ctrl-time" },
  { VORN_WAVE_KIND_VOLUME_ATTACK, "zelm-vol-attack" },
  { VORN_WAVE_KIND_VOLUME_RELEASE, "zelm-vol-release" },
  { VORN_WAVE_KIND_VOLUME_MOD, "zelm-vol-mod" },
  { VORN_WAVE_KIND_PITCH_ATTACK, "zelm-pitch-attack" },
  { VORN_WAVE_KIND_PITCH_RELEASE, "zelm-pitch-release" },
  { VORN_WAVE_KIND_PITCH_MOD, "zelm-pitch-mod" },
  { VORN_WAVE_KIND_BALANCE_ATTACK, "zelm-balance-attack" },
  { VORN_WAVE_KIND_BALANCE_RELEASE, "zelm-balance-release" },
  { VORN_WAVE_KIND_BALANCE_MOD, "zelm-balance-mod" },
  { VORN_WAVE_KIND_MORPH_ATTACK, "zelm-morph-attack" },
  { VORN_WAVE_KIND_MORPH_RELEASE, "zelm-morph-release" },
  { VORN_WAVE_KIND_MORPH_MOD, "zelm-morph-mod" },
  { VORN_WAVE_KIND_SIGNAL, "zelm-signal-sine" },
};

const char *
zelm_tree_node_icon (VornNode *node)
{
  if (VORN_IS_FILE (node))
    return "zelm-file-vvi";
  if (VORN_IS_INST (node))
    return "zelm-inst";
  if (VORN_IS_WAVE (node))
    {
      int kind = 0;
      g_object_get (node, "kind", &kind, nullptr);
      for (const auto &k : kind_icons)
        if (k.kind == kind)
          return k.icon;
    }
  return "audio-x-generic";
}

static gboolean
row_iter (ZelmTree *tree, VornNode *node, GtkTreeIter *iter)
{
  auto *ref = static_cast<GtkTreeRowReference *> (g_hash_table_lookup (tree->rows, node));
  if (!ref || !gtk_tree_row_reference_valid (ref))
    return FALSE;
  g_autoptr (GtkTreePath) path = gtk_tree_row_reference_get_path (ref);
  return gtk_tree_model_get_iter (GTK_TREE_MODEL (tree->store), iter, path);
}

static const char *
status_icon (VornNode *node, gboolean with_tap)
{
  if (node->mute)
    return "audio-volume-muted";
  if (with_tap && node->next && VORN_IS_TAP (node->next))
    return "media-record";
  return nullptr;
}

static void
node_name_changed (VornNode *node, GParamSpec *, ZelmTree *tree)
{
  GtkTreeIter iter;
  if (!row_iter (tree, node, &iter))
    return;
  g_autofree char *name = nullptr;
  g_object_get (node, "name", &name, nullptr);
  gtk_tree_store_set (tree->store, &iter, ZELM_TREE_COL_NAME, name, -1);
}

static void
node_mute_changed (VornNode *node, GParamSpec *, ZelmTree *tree)
{
  GtkTreeIter iter;
  if (row_iter (tree, node, &iter))
    gtk_tree_store_set (tree->store, &iter, ZELM_TREE_COL_STATUS, status_icon (node, TRUE), -1);
}

static void
node_kind_changed (VornNode *node, GParamSpec *, ZelmTree *tree)
{
  GtkTreeIter iter;
  if (row_iter (tree, node, &iter))
    gtk_tree_store_set (tree->store, &iter, ZELM_TREE_COL_ICON, zelm_tree_node_icon (node), -1);
}

static void
disconnect_node (gpointer key, gpointer, gpointer tree)
{
  g_signal_handlers_disconnect_by_data (key, tree);
}

static void
add_row (ZelmTree *tree, VornNode *node)
{
  GtkTreeIter parent_iter, iter;
  gboolean has_parent = node->parent && row_iter (tree, node->parent, &parent_iter);
  int pos = has_parent ? vorn_node_position (node) : -1;
  gtk_tree_store_insert (tree->store, &iter, has_parent ? &parent_iter : nullptr, pos);

  g_autofree char *name = nullptr;
  g_object_get (node, "name", &name, nullptr);
  gboolean plain = !VORN_IS_FILE (node) && !VORN_IS_INST (node);
  gtk_tree_store_set (tree->store, &iter, ZELM_TREE_COL_ICON, zelm_tree_node_icon (node),
                      ZELM_TREE_COL_NAME, name, ZELM_TREE_COL_STATUS,
                      plain ? status_icon (node, FALSE) : nullptr, ZELM_TREE_COL_NODE, node, -1);

  g_autoptr (GtkTreePath) path = gtk_tree_model_get_path (GTK_TREE_MODEL (tree->store), &iter);
  g_hash_table_replace (tree->rows, g_object_ref (node),
                        gtk_tree_row_reference_new (GTK_TREE_MODEL (tree->store), path));

  g_signal_connect (node, "notify::name", G_CALLBACK (node_name_changed), tree);
  if (plain)
    g_signal_connect (node, "notify::mute", G_CALLBACK (node_mute_changed), tree);
  if (VORN_IS_WAVE (node))
    g_signal_connect (node, "notify::kind", G_CALLBACK (node_kind_changed), tree);
}

static gboolean
add_row_cb (VornNode *node, gpointer data)
{
  add_row (static_cast<ZelmTree *> (data), node);
  return TRUE;
}

void
zelm_tree_add_node (ZelmTree *tree, VornNode *node)
{
  vorn_node_pre_traverse (node, add_row_cb, tree);
}

void
zelm_tree_fill (ZelmTree *tree, GList *files)
{
  g_hash_table_foreach (tree->rows, disconnect_node, tree);
  g_hash_table_remove_all (tree->rows);
  gtk_tree_store_clear (tree->store);
  for (GList *l = files; l; l = l->next)
    zelm_tree_add_node (tree, VORN_NODE (l->data));
}

static void
set_current (ZelmTree *tree, VornFile *file, VornInst *inst, VornNode *node)
{
  g_set_object (&tree->cur_file, file);
  g_set_object (&tree->cur_inst, inst);
  g_set_object (&tree->cur_node, node);
}

static void
selection_changed (GtkTreeSelection *sel, ZelmTree *tree)
{
  set_current (tree, nullptr, nullptr, nullptr);

  GtkTreeModel *model = nullptr;
  GList *rows = gtk_tree_selection_get_selected_rows (sel, &model);
  if (g_list_length (rows) == 1)
    {
      GtkTreeIter iter;
      gtk_tree_model_get_iter (model, &iter, static_cast<GtkTreePath *> (rows->data));
      VornNode *node = nullptr;
      gtk_tree_model_get (model, &iter, ZELM_TREE_COL_NODE, &node, -1);
      if (node)
        {
          VornNode *inst = VORN_IS_INST (node)
              ? node
              : vorn_node_get_parent_by_type (node, VORN_TYPE_INST);
          VornNode *file = VORN_IS_FILE (node)
              ? node
              : vorn_node_get_parent_by_type (node, VORN_TYPE_FILE);
          set_current (tree, file ? VORN_FILE (file) : nullptr, inst ? VORN_INST (inst) : nullptr,
                       VORN_IS_FILE (node) || VORN_IS_INST (node) ? nullptr : node);
          g_object_unref (node);
        }
    }
  g_list_free_full (rows, reinterpret_cast<GDestroyNotify> (gtk_tree_path_free));

  if (tree->select_func)
    tree->select_func (tree->cur_file, tree->cur_inst, tree->cur_node, tree->user_data);
}

ZelmTree *
zelm_tree_new (GtkTreeView *view, ZelmApp *app, ZelmTreeSelectFunc select_func,
               ZelmTreeEditFunc edit_func, gpointer user_data)
{
  ZelmTree *tree = g_new0 (ZelmTree, 1);
  tree->view = view;
  tree->app = app;
  tree->select_func = select_func;
  tree->edit_func = edit_func;
  tree->user_data = user_data;
  tree->store = gtk_tree_store_new (ZELM_TREE_N_COLS, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                    VORN_TYPE_NODE);
  tree->rows = g_hash_table_new_full (g_direct_hash, g_direct_equal, g_object_unref,
                                      reinterpret_cast<GDestroyNotify> (gtk_tree_row_reference_free));

  gtk_tree_view_set_model (view, GTK_TREE_MODEL (tree->store));
  gtk_tree_view_set_headers_visible (view, FALSE);
  gtk_tree_view_set_enable_tree_lines (view, TRUE);
  gtk_tree_view_set_enable_search (view, FALSE);

  GtkTreeViewColumn *col = gtk_tree_view_column_new_with_attributes (
      "Icon", gtk_cell_renderer_pixbuf_new (), "icon-name", ZELM_TREE_COL_ICON, nullptr);
  gtk_tree_view_append_column (view, col);
  GtkCellRenderer *text = gtk_cell_renderer_text_new ();
  col = gtk_tree_view_column_new_with_attributes ("Name", text, "text", ZELM_TREE_COL_NAME,
                                                  nullptr);
  gtk_tree_view_column_set_expand (col, TRUE);
  gtk_tree_view_column_set_resizable (col, TRUE);
  gtk_tree_view_append_column (view, col);
  col = gtk_tree_view_column_new_with_attributes (
      "Status", gtk_cell_renderer_pixbuf_new (), "icon-name", ZELM_TREE_COL_STATUS, nullptr);
  gtk_tree_view_append_column (view, col);

  GtkTreeSelection *sel = gtk_tree_view_get_selection (view);
  gtk_tree_selection_set_mode (sel, GTK_SELECTION_MULTIPLE);
  g_signal_connect (sel, "changed", G_CALLBACK (selection_changed), tree);
  return tree;
}

void
zelm_tree_free (ZelmTree *tree)
{
  if (!tree)
    return;
  g_signal_handlers_disconnect_by_data (gtk_tree_view_get_selection (tree->view), tree);
  g_hash_table_foreach (tree->rows, disconnect_node, tree);
  g_hash_table_destroy (tree->rows);
  set_current (tree, nullptr, nullptr, nullptr);
  g_object_unref (tree->store);
  g_free (tree);
}

void
zelm_tree_select (ZelmTree *tree, VornNode *node)
{
  GtkTreeIter iter;
  if (!row_iter (tree, node, &iter))
    return;
  g_autoptr (GtkTreePath) path = gtk_tree_model_get_path (GTK_TREE_MODEL (tree->store), &iter);
  gtk_tree_view_expand_to_path (tree->view, path);
  GtkTreeSelection *sel = gtk_tree_view_get_selection (tree->view);
  gtk_tree_selection_unselect_all (sel);
  gtk_tree_selection_select_path (sel, path);
  gtk_tree_view_set_cursor (tree->view, path, nullptr, FALSE);
}

VornFile *
zelm_tree_get_current_file (ZelmTree *tree)
{
  return tree->cur_file;
}

VornInst *
zelm_tree_get_current_inst (ZelmTree *tree)
{
  return tree->cur_inst;
}

VornNode *
zelm_tree_get_current_node (ZelmTree *tree)
{
  return tree->cur_node;
}

static gboolean
forget_row_cb (VornNode *node, gpointer data)
{
  auto *tree = static_cast<ZelmTree *> (data);
  g_signal_handlers_disconnect_by_data (node, tree);
  g_hash_table_remove (tree->rows, node);
  return TRUE;
}

void
zelm_tree_remove_node (ZelmTree *tree, VornNode *node)
{
  GtkTreeIter iter;
  gboolean found = row_iter (tree, node, &iter);
  vorn_node_pre_traverse (node, forget_row_cb, tree);
  if (found)
    gtk_tree_store_remove (tree->store, &iter);
}

void
zelm_tree_reload_file (ZelmTree *tree, VornFile *file)
{
  GtkTreeIter iter;
  if (!row_iter (tree, VORN_NODE (file), &iter))
    return;
  GtkTreeModel *model = GTK_TREE_MODEL (tree->store);
  GtkTreeIter child;
  while (gtk_tree_model_iter_children (model, &child, &iter))
    {
      VornNode *node = nullptr;
      gtk_tree_model_get (model, &child, ZELM_TREE_COL_NODE, &node, -1);
      if (node)
        {
          zelm_tree_remove_node (tree, node);
          g_object_unref (node);
        }
      else
        gtk_tree_store_remove (tree->store, &child);
    }
  for (VornNode *n = VORN_NODE (file)->children; n; n = n->next)
    zelm_tree_add_node (tree, n);
}

void
zelm_tree_set_modified (ZelmTree *, VornFile *, gboolean)
{
}
