/* zelm-tree.cpp: the main window's tree of open files and their nodes: its
 * rows, the selection, name editing and the context menu.  The commands are
 * the "tree." actions (zelm-tree-actions.cpp), drag and drop is in
 * zelm-tree-dnd.cpp. */
#include "zelm-tree-private.h"

#include "zelm-util.h"

#include <initializer_list>

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

/* ---- rows ----------------------------------------------------------------- */

gboolean
zelm_tree_row_iter (ZelmTree *tree, VornNode *node, GtkTreeIter *iter)
{
  auto *ref = static_cast<GtkTreeRowReference *> (g_hash_table_lookup (tree->rows, node));
  return ref && zelm_util_tree_row_reference_iter (ref, iter);
}

static VornNode *
iter_node (ZelmTree *tree, GtkTreeIter *iter)
{
  VornNode *node = nullptr;
  gtk_tree_model_get (GTK_TREE_MODEL (tree->store), iter, ZELM_TREE_COL_NODE, &node, -1);
  if (node)
    g_object_unref (node); /* the store keeps it */
  return node;
}

VornNode *
zelm_tree_path_node (ZelmTree *tree, GtkTreePath *path)
{
  GtkTreeIter iter;
  if (!gtk_tree_model_get_iter (GTK_TREE_MODEL (tree->store), &iter, path))
    return nullptr;
  return iter_node (tree, &iter);
}

static GtkTreePath *
node_path (ZelmTree *tree, VornNode *node)
{
  GtkTreeIter iter;
  if (!zelm_tree_row_iter (tree, node, &iter))
    return nullptr;
  return gtk_tree_model_get_path (GTK_TREE_MODEL (tree->store), &iter);
}

static const char *
status_icon (VornNode *node, gboolean with_tap)
{
  if (node->mute)
    return "audio-volume-muted";
  if (with_tap && !VORN_IS_TAP (node) && node->next && VORN_IS_TAP (node->next))
    return "media-record";
  return nullptr;
}

static gboolean
shows_status (VornNode *node)
{
  return !VORN_IS_FILE (node) && !VORN_IS_INST (node);
}

static void
update_status (ZelmTree *tree, VornNode *node)
{
  GtkTreeIter iter;
  if (node && shows_status (node) && zelm_tree_row_iter (tree, node, &iter))
    gtk_tree_store_set (tree->store, &iter, ZELM_TREE_COL_STATUS, status_icon (node, TRUE), -1);
}

static void
node_name_changed (VornNode *node, GParamSpec *, ZelmTree *tree)
{
  GtkTreeIter iter;
  if (!zelm_tree_row_iter (tree, node, &iter))
    return;
  g_autofree char *name = nullptr;
  g_object_get (node, "name", &name, nullptr);
  gtk_tree_store_set (tree->store, &iter, ZELM_TREE_COL_NAME, name, -1);
}

static void
node_mute_changed (VornNode *node, GParamSpec *, ZelmTree *tree)
{
  update_status (tree, node);
}

static void
node_kind_changed (VornNode *node, GParamSpec *, ZelmTree *tree)
{
  GtkTreeIter iter;
  if (zelm_tree_row_iter (tree, node, &iter))
    gtk_tree_store_set (tree->store, &iter, ZELM_TREE_COL_ICON, zelm_tree_node_icon (node), -1);
}

static void
disconnect_node (gpointer key, gpointer, gpointer tree)
{
  g_signal_handlers_disconnect_by_data (key, tree);
}

/* The row goes after the row of the nearest earlier sibling that has one,
 * so rows can be added in any order. */
static void
add_row (ZelmTree *tree, VornNode *node)
{
  GtkTreeIter parent_iter, sibling, iter;
  if (node->parent && zelm_tree_row_iter (tree, node->parent, &parent_iter))
    {
      VornNode *prev = node->prev;
      while (prev && !zelm_tree_row_iter (tree, prev, &sibling))
        prev = prev->prev;
      if (prev)
        gtk_tree_store_insert_after (tree->store, &iter, &parent_iter, &sibling);
      else
        gtk_tree_store_prepend (tree->store, &iter, &parent_iter);
    }
  else
    {
      int pos = VORN_IS_FILE (node) ? g_list_index (zelm_app_get_files_no_copy (tree->app), node)
                                    : -1;
      gtk_tree_store_insert (tree->store, &iter, nullptr, pos);
    }

  g_autofree char *name = nullptr;
  g_object_get (node, "name", &name, nullptr);
  gboolean plain = shows_status (node);
  gtk_tree_store_set (tree->store, &iter, ZELM_TREE_COL_ICON, zelm_tree_node_icon (node),
                      ZELM_TREE_COL_NAME, name, ZELM_TREE_COL_STATUS,
                      plain ? status_icon (node, FALSE) : nullptr, ZELM_TREE_COL_NODE, node, -1);

  g_hash_table_replace (tree->rows, g_object_ref (node),
                        zelm_util_tree_iter_get_row_reference (GTK_TREE_MODEL (tree->store), &iter));

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
  g_return_if_fail (tree && VORN_IS_NODE (node));
  vorn_node_pre_traverse (node, add_row_cb, tree);
}

void
zelm_tree_fill (ZelmTree *tree, GList *files)
{
  g_return_if_fail (tree);
  g_hash_table_foreach (tree->rows, disconnect_node, tree);
  g_hash_table_remove_all (tree->rows);
  gtk_tree_store_clear (tree->store);
  for (GList *l = files; l; l = l->next)
    zelm_tree_add_node (tree, VORN_NODE (l->data));
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
  gboolean found = zelm_tree_row_iter (tree, node, &iter);
  vorn_node_pre_traverse (node, forget_row_cb, tree);
  if (!found)
    return;
  /* GTK 3 loses (and leaks) the view's child tree of an expanded row whose
   * last child goes: such a parent is collapsed first. */
  GtkTreeModel *model = GTK_TREE_MODEL (tree->store);
  GtkTreeIter parent;
  if (gtk_tree_model_iter_parent (model, &parent, &iter)
      && gtk_tree_model_iter_n_children (model, &parent) == 1)
    {
      g_autoptr (GtkTreePath) path = gtk_tree_model_get_path (model, &parent);
      gtk_tree_view_collapse_row (tree->view, path);
    }
  gtk_tree_store_remove (tree->store, &iter);
}

/* Puts the rows under @parent (the top level for NULL) into the order of
 * the nodes, moving rows so their expansion and selection stay. */
static void
sync_order (ZelmTree *tree, VornNode *parent)
{
  GPtrArray *order = g_ptr_array_new ();
  if (parent)
    for (VornNode *n = parent->children; n; n = n->next)
      g_ptr_array_add (order, n);
  else
    for (GList *l = zelm_app_get_files_no_copy (tree->app); l; l = l->next)
      g_ptr_array_add (order, l->data);

  GtkTreeIter prev;
  gboolean have_prev = FALSE;
  for (guint i = 0; i < order->len; i++)
    {
      GtkTreeIter iter;
      if (!zelm_tree_row_iter (tree, static_cast<VornNode *> (g_ptr_array_index (order, i)), &iter))
        continue;
      gtk_tree_store_move_after (tree->store, &iter, have_prev ? &prev : nullptr);
      prev = iter; /* tree store iterators persist */
      have_prev = TRUE;
    }
  g_ptr_array_unref (order);
}

/* ---- selection -------------------------------------------------------------- */

static void
set_current (ZelmTree *tree, VornFile *file, VornInst *inst, VornNode *node)
{
  g_set_object (&tree->cur_file, file);
  g_set_object (&tree->cur_inst, inst);
  g_set_object (&tree->cur_node, node);
}

static GList *
selected_paths (ZelmTree *tree)
{
  return gtk_tree_selection_get_selected_rows (gtk_tree_view_get_selection (tree->view), nullptr);
}

static void
free_paths (GList *paths)
{
  g_list_free_full (paths, reinterpret_cast<GDestroyNotify> (gtk_tree_path_free));
}

GPtrArray *
zelm_tree_selected_nodes (ZelmTree *tree)
{
  GPtrArray *nodes = g_ptr_array_new_with_free_func (g_object_unref);
  GList *paths = selected_paths (tree);
  for (GList *l = paths; l; l = l->next)
    if (VornNode *node = zelm_tree_path_node (tree, static_cast<GtkTreePath *> (l->data)))
      g_ptr_array_add (nodes, g_object_ref (node));
  free_paths (paths);
  return nodes;
}

static void
selection_changed (GtkTreeSelection *sel, ZelmTree *tree)
{
  set_current (tree, nullptr, nullptr, nullptr);
  GList *rows = gtk_tree_selection_get_selected_rows (sel, nullptr);
  if (rows && !rows->next)
    if (VornNode *node = zelm_tree_path_node (tree, static_cast<GtkTreePath *> (rows->data)))
      {
        VornFile *file;
        VornInst *inst;
        zelm_node_target_context (node, &file, &inst, &node);
        set_current (tree, file, inst, node);
      }
  free_paths (rows);
  zelm_tree_actions_update (tree);
  if (tree->select_func)
    tree->select_func (tree->cur_file, tree->cur_inst, tree->cur_node, tree->user_data);
}

/* While a click on a selected row is pending, the press must not change the
 * selection, so that a drag takes every selected row along. */
static gboolean
may_select (GtkTreeSelection *, GtkTreeModel *, GtkTreePath *, gboolean, gpointer data)
{
  return !static_cast<ZelmTree *> (data)->pending_click;
}

void
zelm_tree_select (ZelmTree *tree, VornNode *node)
{
  g_return_if_fail (tree && VORN_IS_NODE (node));
  tree->pending_click = FALSE;
  g_autoptr (GtkTreePath) path = node_path (tree, node);
  if (!path)
    return;
  gtk_tree_view_expand_to_path (tree->view, path);
  gtk_tree_view_set_cursor (tree->view, path, nullptr, FALSE);
  GtkTreeSelection *sel = gtk_tree_view_get_selection (tree->view);
  gtk_tree_selection_unselect_all (sel);
  gtk_tree_selection_select_path (sel, path);
  gtk_tree_view_scroll_to_cell (tree->view, path, nullptr, FALSE, 0, 0);
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

GActionGroup *
zelm_tree_get_action_group (ZelmTree *tree)
{
  g_return_val_if_fail (tree, nullptr);
  return G_ACTION_GROUP (tree->actions);
}

/* ---- changes ------------------------------------------------------------------ */

void
zelm_tree_apply_change (ZelmTree *tree, ZelmNodeChange *change, gboolean select)
{
  for (guint i = 0; i < change->removed->len; i++)
    zelm_tree_remove_node (tree, VORN_NODE (g_ptr_array_index (change->removed, i)));
  for (guint i = 0; i < change->closed->len; i++)
    {
      auto *file = VORN_NODE (g_ptr_array_index (change->closed, i));
      zelm_tree_remove_node (tree, file);
      g_hash_table_remove (tree->modified, file);
    }
  for (guint i = 0; i < change->reordered->len; i++)
    sync_order (tree, VORN_NODE (g_ptr_array_index (change->reordered, i)));
  if (change->files_reordered)
    sync_order (tree, nullptr);
  for (guint i = 0; i < change->made->len; i++)
    zelm_tree_add_node (tree, VORN_NODE (g_ptr_array_index (change->made, i)));
  for (guint i = 0; i < change->restatus->len; i++)
    update_status (tree, VORN_NODE (g_ptr_array_index (change->restatus, i)));

  GPtrArray *chosen = g_ptr_array_new ();
  for (guint i = 0; select && i < change->made->len; i++)
    if (!VORN_IS_TAP (g_ptr_array_index (change->made, i)))
      g_ptr_array_add (chosen, g_ptr_array_index (change->made, i));
  if (chosen->len > 0)
    {
      tree->pending_click = FALSE;
      GtkTreeSelection *sel = gtk_tree_view_get_selection (tree->view);
      gtk_tree_selection_unselect_all (sel);
      for (guint i = 0; i < chosen->len; i++)
        {
          auto *node = VORN_NODE (g_ptr_array_index (chosen, i));
          g_autoptr (GtkTreePath) path = node_path (tree, node);
          gtk_tree_view_expand_to_path (tree->view, path);
          /* A new instrument or filter opens to show what it holds. */
          if (node->children)
            gtk_tree_view_expand_row (tree->view, path, TRUE);
          if (i == 0)
            {
              gtk_tree_view_set_cursor (tree->view, path, nullptr, FALSE);
              gtk_tree_view_scroll_to_cell (tree->view, path, nullptr, FALSE, 0, 0);
            }
          gtk_tree_selection_select_path (sel, path);
        }
    }
  g_ptr_array_unref (chosen);
}

void
zelm_tree_apply (ZelmTree *tree, ZelmNodeChange *change)
{
  g_return_if_fail (tree && change);
  zelm_tree_apply_change (tree, change, TRUE);
  zelm_tree_tell_edited (tree, change->files);
}

void
zelm_tree_tell_edited (ZelmTree *tree, GPtrArray *files)
{
  GList *open = zelm_app_get_files_no_copy (tree->app);
  for (guint i = 0; tree->edit_func && i < files->len; i++)
    if (g_list_find (open, g_ptr_array_index (files, i)))
      tree->edit_func (VORN_FILE (g_ptr_array_index (files, i)), tree->user_data);
}

/* ---- names ---------------------------------------------------------------------- */

static void
start_rename_at (ZelmTree *tree, GtkTreePath *path)
{
  gtk_tree_view_expand_to_path (tree->view, path);
  gtk_widget_grab_focus (GTK_WIDGET (tree->view));
  /* Editable only while the edit starts: a plain click never edits. */
  g_object_set (tree->name_cell, "editable", TRUE, nullptr);
  tree->renaming = TRUE;
  gtk_tree_view_set_cursor_on_cell (tree->view, path, tree->name_col, tree->name_cell, TRUE);
  tree->renaming = FALSE;
  g_object_set (tree->name_cell, "editable", FALSE, nullptr);
}

void
zelm_tree_start_rename (ZelmTree *tree, VornNode *node)
{
  g_autoptr (GtkTreePath) path = node ? node_path (tree, node) : nullptr;
  if (path)
    start_rename_at (tree, path);
}

static void
set_editing (ZelmTree *tree, gboolean editing)
{
  tree->editing = editing;
  zelm_tree_actions_update (tree);
}

static void
name_editing_started (GtkCellRenderer *, GtkCellEditable *, const char *, ZelmTree *tree)
{
  set_editing (tree, TRUE);
}

static void
name_editing_canceled (GtkCellRenderer *, ZelmTree *tree)
{
  set_editing (tree, FALSE);
}

static void
name_edited (GtkCellRendererText *, const char *path_str, const char *text, ZelmTree *tree)
{
  set_editing (tree, FALSE);
  g_autoptr (GtkTreePath) path = gtk_tree_path_new_from_string (path_str);
  VornNode *node = path ? zelm_tree_path_node (tree, path) : nullptr;
  if (!node)
    return;
  g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
  /* The row shows the text at once; the notification would set it again. */
  g_signal_handlers_block_by_func (node, reinterpret_cast<gpointer> (node_name_changed), tree);
  gboolean renamed = zelm_node_commands_rename (node, text, change);
  g_signal_handlers_unblock_by_func (node, reinterpret_cast<gpointer> (node_name_changed), tree);
  if (!renamed)
    return;
  GtkTreeIter iter;
  gtk_tree_model_get_iter (GTK_TREE_MODEL (tree->store), &iter, path);
  gtk_tree_store_set (tree->store, &iter, ZELM_TREE_COL_NAME, text, -1);
  zelm_tree_tell_edited (tree, change->files);
}

static void
name_cell_data (GtkTreeViewColumn *, GtkCellRenderer *cell, GtkTreeModel *model, GtkTreeIter *iter,
                gpointer data)
{
  auto *tree = static_cast<ZelmTree *> (data);
  g_autofree char *name = nullptr;
  VornNode *node = nullptr;
  gtk_tree_model_get (model, iter, ZELM_TREE_COL_NAME, &name, ZELM_TREE_COL_NODE, &node, -1);
  /* The store keeps the plain name; the unsaved mark is only drawn, and an
   * edit starts from the plain name. */
  if (node && !tree->renaming && g_hash_table_contains (tree->modified, node))
    {
      g_autofree char *marked = g_strconcat (name ? name : "", " *", nullptr);
      g_object_set (cell, "text", marked, nullptr);
    }
  else
    g_object_set (cell, "text", name, nullptr);
  g_clear_object (&node);
}

/* ---- mouse and the context menu --------------------------------------------------- */

void
zelm_tree_popup_menu (ZelmTree *tree, const GdkEvent *event)
{
  GtkTreeSelection *sel = gtk_tree_view_get_selection (tree->view);
  GtkMenu *menu = GTK_MENU (gtk_tree_selection_count_selected_rows (sel) == 1 ? tree->menu
                                                                              : tree->multi_menu);
  if (event)
    {
      gtk_menu_popup_at_pointer (menu, event);
      return;
    }
  /* From the keyboard: below the cursor row. */
  GtkTreePath *path = nullptr;
  gtk_tree_view_get_cursor (tree->view, &path, nullptr);
  if (path)
    {
      GdkRectangle r;
      gtk_tree_view_get_cell_area (tree->view, path, tree->name_col, &r);
      gtk_tree_view_convert_bin_window_to_widget_coords (tree->view, r.x, r.y, &r.x, &r.y);
      gtk_tree_path_free (path);
      gtk_menu_popup_at_rect (menu, gtk_widget_get_window (GTK_WIDGET (tree->view)), &r,
                              GDK_GRAVITY_SOUTH_WEST, GDK_GRAVITY_NORTH_WEST, nullptr);
    }
  else
    gtk_menu_popup_at_widget (menu, GTK_WIDGET (tree->view), GDK_GRAVITY_NORTH_WEST,
                              GDK_GRAVITY_NORTH_WEST, nullptr);
}

static gboolean
view_popup_menu (GtkWidget *, ZelmTree *tree)
{
  zelm_tree_popup_menu (tree, nullptr);
  return TRUE;
}

static gboolean
view_button_press (GtkWidget *, GdkEventButton *event, ZelmTree *tree)
{
  if (event->window != gtk_tree_view_get_bin_window (tree->view))
    return FALSE;
  GtkTreePath *path = nullptr;
  if (!gtk_tree_view_get_path_at_pos (tree->view, int (event->x), int (event->y), &path, nullptr,
                                      nullptr, nullptr))
    {
      tree->pending_click = FALSE;
      return FALSE;
    }
  g_autoptr (GtkTreePath) owned = path;
  GtkTreeSelection *sel = gtk_tree_view_get_selection (tree->view);
  gboolean selected = gtk_tree_selection_path_is_selected (sel, path);
  guint mods = event->state & gtk_accelerator_get_default_mod_mask ();

  if (event->type == GDK_2BUTTON_PRESS && event->button == GDK_BUTTON_PRIMARY)
    {
      tree->pending_click = FALSE;
      gtk_tree_selection_unselect_all (sel);
      gtk_tree_selection_select_path (sel, path);
      start_rename_at (tree, path);
      return TRUE;
    }
  if (event->type != GDK_BUTTON_PRESS)
    return FALSE;

  if (event->button == GDK_BUTTON_PRIMARY)
    /* Ctrl and Shift clicks change the selection at once, as usual. */
    tree->pending_click = selected && !(mods & (GDK_CONTROL_MASK | GDK_SHIFT_MASK));
  else if (event->button == GDK_BUTTON_SECONDARY)
    {
      tree->pending_click = FALSE;
      gtk_widget_grab_focus (GTK_WIDGET (tree->view));
      if (!selected)
        {
          gtk_tree_view_set_cursor (tree->view, path, nullptr, FALSE);
          gtk_tree_selection_unselect_all (sel);
          gtk_tree_selection_select_path (sel, path);
        }
      zelm_tree_popup_menu (tree, reinterpret_cast<GdkEvent *> (event));
      return TRUE;
    }
  return FALSE;
}

static gboolean
view_button_release (GtkWidget *, GdkEventButton *event, ZelmTree *tree)
{
  if (event->button != GDK_BUTTON_PRIMARY || !tree->pending_click)
    return FALSE;
  tree->pending_click = FALSE;
  GtkTreePath *path = nullptr;
  if (event->window == gtk_tree_view_get_bin_window (tree->view)
      && gtk_tree_view_get_path_at_pos (tree->view, int (event->x), int (event->y), &path, nullptr,
                                        nullptr, nullptr))
    {
      GtkTreeSelection *sel = gtk_tree_view_get_selection (tree->view);
      gtk_tree_selection_unselect_all (sel);
      gtk_tree_selection_select_path (sel, path);
      gtk_tree_path_free (path);
    }
  return FALSE;
}

/* ---- set-up ------------------------------------------------------------------------ */

/* Collects the "icon" of every submenu head in @model (sections included),
 * by label. */
static void
collect_submenu_icons (GMenuModel *model, GHashTable *icons)
{
  for (int i = 0; i < g_menu_model_get_n_items (model); i++)
    {
      if (g_autoptr (GMenuModel) section =
              g_menu_model_get_item_link (model, i, G_MENU_LINK_SECTION))
        collect_submenu_icons (section, icons);
      g_autoptr (GMenuModel) sub = g_menu_model_get_item_link (model, i, G_MENU_LINK_SUBMENU);
      char *label = nullptr, *icon = nullptr;
      if (sub && g_menu_model_get_item_attribute (model, i, G_MENU_ATTRIBUTE_LABEL, "s", &label)
          && g_menu_model_get_item_attribute (model, i, "icon", "s", &icon))
        g_hash_table_insert (icons, label, icon);
      else
        g_free (label), g_free (icon);
    }
}

/* GTK 3 shows the icons of a model's items but not of its submenu heads;
 * the heads get theirs here so the menu reads as its entries do. */
static void
show_submenu_icons (GtkWidget *menu, GMenuModel *model)
{
  g_autoptr (GHashTable) icons = g_hash_table_new_full (g_str_hash, g_str_equal, g_free, g_free);
  collect_submenu_icons (model, icons);
  g_autoptr (GList) items = gtk_container_get_children (GTK_CONTAINER (menu));
  for (GList *l = items; l; l = l->next)
    {
      GtkMenuItem *item = GTK_MENU_ITEM (l->data);
      const char *label = gtk_menu_item_get_submenu (item) ? gtk_menu_item_get_label (item) : nullptr;
      const char *icon = label ? static_cast<const char *> (g_hash_table_lookup (icons, label))
                               : nullptr;
      if (icon && g_object_class_find_property (G_OBJECT_GET_CLASS (item), "icon"))
        {
          g_autoptr (GIcon) gicon = g_themed_icon_new (icon);
          g_object_set (item, "icon", gicon, nullptr);
        }
    }
}

static GtkWidget *
menu_from_model (ZelmTree *tree, GtkBuilder *builder, const char *id)
{
  GMenuModel *model = G_MENU_MODEL (gtk_builder_get_object (builder, id));
  GtkWidget *menu = GTK_WIDGET (g_object_ref_sink (gtk_menu_new_from_model (model)));
  show_submenu_icons (menu, model);
  /* Attached to the view, the items find the "tree." actions there. */
  gtk_menu_attach_to_widget (GTK_MENU (menu), GTK_WIDGET (tree->view), nullptr);
  return menu;
}

ZelmTree *
zelm_tree_new (GtkTreeView *view, ZelmApp *app, ZelmTreeSelectFunc select_func,
               ZelmTreeEditFunc edit_func, gpointer user_data)
{
  g_return_val_if_fail (GTK_IS_TREE_VIEW (view), nullptr);
  ZelmTree *tree = g_new0 (ZelmTree, 1);
  tree->view = view;
  tree->app = app;
  tree->select_func = select_func;
  tree->edit_func = edit_func;
  tree->user_data = user_data;
  tree->clipboard = zelm_clipboard_new ();
  tree->store = gtk_tree_store_new (ZELM_TREE_N_COLS, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                    VORN_TYPE_NODE);
  tree->rows = g_hash_table_new_full (g_direct_hash, g_direct_equal, g_object_unref,
                                      reinterpret_cast<GDestroyNotify> (gtk_tree_row_reference_free));
  tree->modified = g_hash_table_new_full (g_direct_hash, g_direct_equal, g_object_unref, nullptr);

  gtk_tree_view_set_model (view, GTK_TREE_MODEL (tree->store));
  gtk_tree_view_set_headers_visible (view, FALSE);
  gtk_tree_view_set_enable_tree_lines (view, TRUE);
  /* Letters typed on the tree play notes; Ctrl+F searches the names. */
  gtk_tree_view_set_enable_search (view, FALSE);

  GtkTreeViewColumn *col = gtk_tree_view_column_new_with_attributes (
      "Icon", gtk_cell_renderer_pixbuf_new (), "icon-name", ZELM_TREE_COL_ICON, nullptr);
  gtk_tree_view_append_column (view, col);
  tree->name_cell = gtk_cell_renderer_text_new ();
  tree->name_col = gtk_tree_view_column_new ();
  gtk_tree_view_column_set_title (tree->name_col, "Name");
  gtk_tree_view_column_pack_start (tree->name_col, tree->name_cell, TRUE);
  gtk_tree_view_column_set_cell_data_func (tree->name_col, tree->name_cell, name_cell_data, tree,
                                           nullptr);
  gtk_tree_view_column_set_expand (tree->name_col, TRUE);
  gtk_tree_view_column_set_resizable (tree->name_col, TRUE);
  gtk_tree_view_append_column (view, tree->name_col);
  g_signal_connect (tree->name_cell, "edited", G_CALLBACK (name_edited), tree);
  g_signal_connect (tree->name_cell, "editing-started", G_CALLBACK (name_editing_started), tree);
  g_signal_connect (tree->name_cell, "editing-canceled", G_CALLBACK (name_editing_canceled), tree);
  col = gtk_tree_view_column_new_with_attributes (
      "Status", gtk_cell_renderer_pixbuf_new (), "icon-name", ZELM_TREE_COL_STATUS, nullptr);
  gtk_tree_view_append_column (view, col);

  zelm_tree_actions_init (tree);
  g_autoptr (GtkBuilder) builder =
      gtk_builder_new_from_resource ("/org/zelmora/Zelmora/ui/zelm-tree-menu.ui");
  tree->menu = menu_from_model (tree, builder, "tree-menu");
  tree->multi_menu = menu_from_model (tree, builder, "tree-menu-multi");

  GtkTreeSelection *sel = gtk_tree_view_get_selection (view);
  gtk_tree_selection_set_mode (sel, GTK_SELECTION_MULTIPLE);
  gtk_tree_selection_set_select_function (sel, may_select, tree, nullptr);
  g_signal_connect (sel, "changed", G_CALLBACK (selection_changed), tree);

  g_signal_connect (view, "button-press-event", G_CALLBACK (view_button_press), tree);
  g_signal_connect (view, "button-release-event", G_CALLBACK (view_button_release), tree);
  g_signal_connect (view, "popup-menu", G_CALLBACK (view_popup_menu), tree);
  zelm_tree_dnd_init (tree);
  zelm_tree_actions_update (tree);
  return tree;
}

void
zelm_tree_free (ZelmTree *tree)
{
  if (!tree)
    return;
  g_signal_handlers_disconnect_by_data (tree->view, tree);
  g_signal_handlers_disconnect_by_data (gtk_tree_view_get_selection (tree->view), tree);
  gtk_tree_selection_set_select_function (gtk_tree_view_get_selection (tree->view), nullptr,
                                          nullptr, nullptr);
  g_signal_handlers_disconnect_by_data (tree->name_cell, tree);
  /* The name column's data function points at the tree. */
  gtk_tree_view_column_set_cell_data_func (tree->name_col, tree->name_cell, nullptr, nullptr,
                                           nullptr);
  gtk_widget_insert_action_group (GTK_WIDGET (tree->view), "tree", nullptr);
  g_object_unref (tree->actions);
  g_hash_table_foreach (tree->rows, disconnect_node, tree);
  g_hash_table_destroy (tree->rows);
  g_hash_table_destroy (tree->modified);
  set_current (tree, nullptr, nullptr, nullptr);
  zelm_tree_search_free (tree);
  for (GtkWidget *menu : { tree->menu, tree->multi_menu })
    {
      gtk_widget_destroy (menu);
      g_object_unref (menu);
    }
  zelm_clipboard_free (tree->clipboard);
  zelm_tree_dnd_free (tree);
  g_object_unref (tree->store);
  g_free (tree);
}

/* ---- reloading and marks ------------------------------------------------------------- */

static void
collect_expanded (GtkTreeView *, GtkTreePath *path, gpointer data)
{
  g_ptr_array_add (static_cast<GPtrArray *> (data), gtk_tree_path_copy (path));
}

void
zelm_tree_reload_file (ZelmTree *tree, VornFile *file)
{
  g_return_if_fail (tree && VORN_IS_FILE (file));
  GtkTreeIter iter;
  if (!zelm_tree_row_iter (tree, VORN_NODE (file), &iter))
    return;
  GtkTreeModel *model = GTK_TREE_MODEL (tree->store);
  g_autoptr (GtkTreePath) file_path = gtk_tree_model_get_path (model, &iter);

  /* Rows are kept by position: the nodes are new objects. */
  g_autoptr (GPtrArray) expanded =
      g_ptr_array_new_with_free_func (reinterpret_cast<GDestroyNotify> (gtk_tree_path_free));
  gtk_tree_view_map_expanded_rows (tree->view, collect_expanded, expanded);
  GList *selected = selected_paths (tree);
  GtkTreeSelection *sel = gtk_tree_view_get_selection (tree->view);
  g_signal_handlers_block_by_func (sel, reinterpret_cast<gpointer> (selection_changed), tree);
  tree->pending_click = FALSE;

  /* Collapsed first (see zelm_tree_remove_node); opened again below. */
  gtk_tree_view_collapse_row (tree->view, file_path);
  GtkTreeIter child;
  while (gtk_tree_model_iter_children (model, &child, &iter))
    {
      if (VornNode *node = iter_node (tree, &child))
        zelm_tree_remove_node (tree, node);
      else
        gtk_tree_store_remove (tree->store, &child);
    }
  for (VornNode *n = VORN_NODE (file)->children; n; n = n->next)
    zelm_tree_add_node (tree, n);
  node_name_changed (VORN_NODE (file), nullptr, tree);

  for (guint i = 0; i < expanded->len; i++)
    {
      auto *path = static_cast<GtkTreePath *> (g_ptr_array_index (expanded, i));
      if (gtk_tree_path_is_ancestor (file_path, path) || gtk_tree_path_compare (file_path, path) == 0)
        gtk_tree_view_expand_row (tree->view, path, FALSE);
    }
  gtk_tree_selection_unselect_all (sel);
  for (GList *l = selected; l; l = l->next)
    {
      auto *path = static_cast<GtkTreePath *> (l->data);
      GtkTreeIter it;
      if (gtk_tree_model_get_iter (model, &it, path))
        {
          gtk_tree_view_expand_to_path (tree->view, path);
          gtk_tree_selection_select_path (sel, path);
        }
    }
  free_paths (selected);
  g_signal_handlers_unblock_by_func (sel, reinterpret_cast<gpointer> (selection_changed), tree);
  selection_changed (sel, tree);
}

void
zelm_tree_set_modified (ZelmTree *tree, VornFile *file, gboolean modified)
{
  g_return_if_fail (tree && VORN_IS_FILE (file));
  gboolean was = g_hash_table_contains (tree->modified, file);
  if (!was == !modified)
    return;
  if (modified)
    g_hash_table_add (tree->modified, g_object_ref (file));
  else
    g_hash_table_remove (tree->modified, file);
  GtkTreeIter iter;
  if (zelm_tree_row_iter (tree, VORN_NODE (file), &iter))
    {
      GtkTreeModel *model = GTK_TREE_MODEL (tree->store);
      g_autoptr (GtkTreePath) path = gtk_tree_model_get_path (model, &iter);
      gtk_tree_model_row_changed (model, path, &iter);
    }
}
