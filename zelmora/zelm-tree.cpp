/* zelm-tree.cpp: the main window's tree of open files and their nodes, and
 * the editing commands of its context menu, keys and drag and drop */
#include "zelm-tree.h"

#include "zelm-util.h"

#include <utility>

struct _ZelmTree {
  GtkTreeView *view;
  GtkTreeStore *store;
  GtkTreeViewColumn *name_col;
  GtkCellRenderer *name_cell;
  GHashTable *rows; /* VornNode (ref) -> GtkTreeRowReference */
  ZelmApp *app;
  ZelmTreeSelectFunc select_func;
  ZelmTreeEditFunc edit_func;
  gpointer user_data;
  ZelmTreeEditFunc observer;
  gpointer observer_data;
  ZelmTreeCloseFunc close_check;
  gpointer close_check_data;
  VornFile *cur_file;
  VornInst *cur_inst;
  VornNode *cur_node;
  GtkWidget *menu;          /* held */
  GtkAccelGroup *accels;    /* the menu's accelerators, activated from the view */
  GList *clipboard;         /* VornList of node copies */
  GList *drag_rows;         /* GtkTreeRowReference, in selection order */
  GPtrArray *drop_files;    /* VornFile refs a drop changed, told once it ends */
  GHashTable *modified;     /* VornFile (ref) set: shown with a mark */
  gboolean pending_click;
  gboolean renaming;        /* the name cell shows the plain name */
};

#define CTRL GDK_CONTROL_MASK
#define ALT GDK_MOD1_MASK
#define SUB ZELM_UTIL_MENU_INFO_SUBMENU
#define MULTI ZELM_UTIL_MENU_INFO_MULTI
#define NONE ZelmUtilMenuInfoFlags (0)
#define NOMOD GdkModifierType (0)

static const ZelmUtilMenuInfo menu_infos[ZELM_TREE_MENU_N_ENTRIES] = {
  { "New Instrument", "zelm-inst", 0, NOMOD, NONE },
  { "New Signal", "zelm-signal-sine", 0, NOMOD, NONE },
  { "Sine Wave", "zelm-signal-sine", GDK_KEY_i, CTRL, SUB },
  { "Triangle Wave", "zelm-signal-triangle", 0, NOMOD, SUB },
  { "Square Wave", "zelm-signal-square", 0, NOMOD, SUB },
  { "Saw Wave Up", "zelm-signal-saw-up", 0, NOMOD, SUB },
  { "Saw Wave Down", "zelm-signal-saw-down", 0, NOMOD, SUB },
  { "New Volume Node", "zelm-vol-attack", 0, NOMOD, NONE },
  { "Volume Attack", "zelm-vol-attack", 0, NOMOD, SUB },
  { "Volume Release", "zelm-vol-release", 0, NOMOD, SUB },
  { "Volume Modulation", "zelm-vol-mod", 0, NOMOD, SUB },
  { "New Pitch Node", "zelm-pitch-mod", 0, NOMOD, NONE },
  { "Pitch Attack", "zelm-pitch-attack", 0, NOMOD, SUB },
  { "Pitch Release", "zelm-pitch-release", 0, NOMOD, SUB },
  { "Pitch Modulation", "zelm-pitch-mod", 0, NOMOD, SUB },
  { "New Balance Node", "zelm-balance-mod", 0, NOMOD, NONE },
  { "Balance Attack", "zelm-balance-attack", 0, NOMOD, SUB },
  { "Balance Release", "zelm-balance-release", 0, NOMOD, SUB },
  { "Balance Modulation", "zelm-balance-mod", 0, NOMOD, SUB },
  { "New Morph Node", "zelm-morph-mod", 0, NOMOD, NONE },
  { "Morph Attack", "zelm-morph-attack", 0, NOMOD, SUB },
  { "Morph Release", "zelm-morph-release", 0, NOMOD, SUB },
  { "Morph Modulation", "zelm-morph-mod", 0, NOMOD, SUB },
  { "New Control", "zelm-ctrl-vol", 0, NOMOD, NONE },
  { "Volume Control", "zelm-ctrl-vol", 0, NOMOD, SUB },
  { "Pitch Control", "zelm-ctrl-pitch", 0, NOMOD, SUB },
  { "Balance Control", "zelm-ctrl-balance", 0, NOMOD, SUB },
  { "Morph Control", "zelm-ctrl-morph", 0, NOMOD, SUB },
  { "Time Control", "zelm-ctrl-time", 0, NOMOD, SUB },
  { "New Filter", "insert-object", 0, NOMOD, NONE },
  { "RBJ Bandpass", "insert-object", 0, NOMOD, SUB },
  { "RBJ Lowpass", "insert-object", 0, NOMOD, SUB },
  { "RBJ Highpass", "insert-object", 0, NOMOD, SUB },
  { "New Generator", "insert-object", 0, NOMOD, NONE },
  { "White Noise", "insert-object", 0, NOMOD, SUB },
  { "Rename", "insert-text", GDK_KEY_F2, NOMOD, NONE },
  { "Move Up", "go-up", GDK_KEY_Up, ALT, MULTI },
  { "Move Down", "go-down", GDK_KEY_Down, ALT, MULTI },
  { "Copy", "edit-copy", GDK_KEY_c, CTRL, MULTI },
  { "Paste", "edit-paste", GDK_KEY_v, CTRL, NONE },
  { "Paste Within", "insert-object", GDK_KEY_v, GdkModifierType (CTRL | GDK_SHIFT_MASK), NONE },
  { "Cut", "edit-cut", GDK_KEY_x, CTRL, MULTI },
  { "Delete", "list-remove", GDK_KEY_d, CTRL, MULTI },
  { "Mute", "audio-volume-muted", GDK_KEY_m, CTRL, MULTI },
  { "Toggle Recording", "media-record", GDK_KEY_t, CTRL, MULTI },
};

#undef CTRL
#undef ALT
#undef SUB
#undef MULTI
#undef NONE
#undef NOMOD

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

static gboolean
row_iter (ZelmTree *tree, VornNode *node, GtkTreeIter *iter)
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

static VornNode *
path_node (ZelmTree *tree, GtkTreePath *path)
{
  GtkTreeIter iter;
  if (!gtk_tree_model_get_iter (GTK_TREE_MODEL (tree->store), &iter, path))
    return nullptr;
  return iter_node (tree, &iter);
}

/* A tap records the node right before it: the two move and go together. */
static gboolean
has_tap (VornNode *node)
{
  return !VORN_IS_TAP (node) && node->next && VORN_IS_TAP (node->next);
}

static gboolean
is_owned_tap (VornNode *node)
{
  return VORN_IS_TAP (node) && node->prev && !VORN_IS_TAP (node->prev);
}

static const char *
status_icon (VornNode *node, gboolean with_tap)
{
  if (node->mute)
    return "audio-volume-muted";
  if (with_tap && has_tap (node))
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
  if (node && shows_status (node) && row_iter (tree, node, &iter))
    gtk_tree_store_set (tree->store, &iter, ZELM_TREE_COL_STATUS, status_icon (node, TRUE), -1);
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
  update_status (tree, node);
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
  if (!has_parent && VORN_IS_FILE (node))
    pos = g_list_index (zelm_app_get_files_no_copy (tree->app), node);
  gtk_tree_store_insert (tree->store, &iter, has_parent ? &parent_iter : nullptr, pos);

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
  g_return_if_fail (tree && VORN_IS_NODE (node));
  GtkTreeIter iter;
  gboolean found = row_iter (tree, node, &iter);
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
      if (!row_iter (tree, static_cast<VornNode *> (g_ptr_array_index (order, i)), &iter))
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

/* Returns: a new GPtrArray of the selected nodes in tree order (no refs). */
static GPtrArray *
selected_nodes (ZelmTree *tree)
{
  GPtrArray *nodes = g_ptr_array_new ();
  GList *paths = selected_paths (tree);
  for (GList *l = paths; l; l = l->next)
    if (VornNode *node = path_node (tree, static_cast<GtkTreePath *> (l->data)))
      g_ptr_array_add (nodes, node);
  free_paths (paths);
  return nodes;
}

static void
selection_changed (GtkTreeSelection *sel, ZelmTree *tree)
{
  set_current (tree, nullptr, nullptr, nullptr);

  GList *rows = gtk_tree_selection_get_selected_rows (sel, nullptr);
  guint count = g_list_length (rows);
  if (count == 1)
    if (VornNode *node = path_node (tree, static_cast<GtkTreePath *> (rows->data)))
      {
        VornNode *inst = vorn_node_get_parent_by_type (node, VORN_TYPE_INST);
        VornNode *file = vorn_node_get_parent_by_type (node, VORN_TYPE_FILE);
        set_current (tree, file ? VORN_FILE (file) : nullptr, inst ? VORN_INST (inst) : nullptr,
                     VORN_IS_FILE (node) || VORN_IS_INST (node) ? nullptr : node);
      }
  free_paths (rows);

  /* Hidden items do not answer their accelerators either: keep the menu in
   * step with the selection, not only when it pops up. */
  zelm_util_update_menu_multi_visible (tree->menu, menu_infos, ZELM_TREE_MENU_N_ENTRIES,
                                       count != 1);
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

static void
select_only (ZelmTree *tree, VornNode *node)
{
  GtkTreeIter iter;
  if (!row_iter (tree, node, &iter))
    return;
  g_autoptr (GtkTreePath) path = gtk_tree_model_get_path (GTK_TREE_MODEL (tree->store), &iter);
  gtk_tree_view_expand_to_path (tree->view, path);
  gtk_tree_view_set_cursor (tree->view, path, nullptr, FALSE);
  GtkTreeSelection *sel = gtk_tree_view_get_selection (tree->view);
  gtk_tree_selection_unselect_all (sel);
  gtk_tree_selection_select_path (sel, path);
  gtk_tree_view_scroll_to_cell (tree->view, path, nullptr, FALSE, 0, 0);
}

static void
select_also (ZelmTree *tree, VornNode *node)
{
  GtkTreeIter iter;
  if (!row_iter (tree, node, &iter))
    return;
  g_autoptr (GtkTreePath) path = gtk_tree_model_get_path (GTK_TREE_MODEL (tree->store), &iter);
  gtk_tree_view_expand_to_path (tree->view, path);
  gtk_tree_selection_select_path (gtk_tree_view_get_selection (tree->view), path);
}

void
zelm_tree_select (ZelmTree *tree, VornNode *node)
{
  g_return_if_fail (tree && VORN_IS_NODE (node));
  tree->pending_click = FALSE;
  select_only (tree, node);
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

/* ---- edit notifications ------------------------------------------------------ */

static VornFile *
file_of (VornNode *node)
{
  VornNode *file = node ? vorn_node_get_parent_by_type (node, VORN_TYPE_FILE) : nullptr;
  return file ? VORN_FILE (file) : nullptr;
}

/* Collects the files one command changed, each once, in order. */
static void
touch (GPtrArray *files, VornNode *node)
{
  VornFile *file = file_of (node);
  if (file && !g_ptr_array_find (files, file, nullptr))
    g_ptr_array_add (files, g_object_ref (file));
}

static GPtrArray *
files_new (void)
{
  return g_ptr_array_new_with_free_func (g_object_unref);
}

/* Tells the listeners about every file of @files that is still open, then
 * frees @files. */
static void
tell_edited (ZelmTree *tree, GPtrArray *files)
{
  GList *open = zelm_app_get_files_no_copy (tree->app);
  for (guint i = 0; i < files->len; i++)
    {
      auto *file = static_cast<VornFile *> (g_ptr_array_index (files, i));
      if (!g_list_find (open, file))
        continue;
      if (tree->edit_func)
        tree->edit_func (file, tree->user_data);
      if (tree->observer)
        tree->observer (file, tree->observer_data);
    }
  g_ptr_array_unref (files);
}

void
zelm_tree_set_edit_observer (ZelmTree *tree, ZelmTreeEditFunc func, gpointer user_data)
{
  g_return_if_fail (tree);
  tree->observer = func;
  tree->observer_data = user_data;
}

/* ---- commands ------------------------------------------------------------------- */

/* Where a node goes that is put "before" @target: a tap's own node keeps
 * its tap, so before a tap means after it. */
static int
position_before (VornNode *target)
{
  return vorn_node_position (target) + (is_owned_tap (target) ? 1 : 0);
}

/* Inserts @node into @parent at @pos (-1 appends) and adds its rows. */
/* Inserting numbers every node but a tap, which is runtime-only to the
 * engine; in a file the user edits it is saved like any node and gets an ID
 * here, so saving, reloading and undo all give the same text. */
static void
insert_numbered (VornNode *parent, VornNode *node, int pos)
{
  vorn_node_insert (parent, node, pos);
  VornNode *root = vorn_node_get_root (node);
  if (node->id == 0 && VORN_IS_FILE (root))
    g_object_set (node, "id", vorn_file_get_next_id (VORN_FILE (root)), nullptr);
}

static void
insert_node (ZelmTree *tree, VornNode *parent, VornNode *node, int pos)
{
  insert_numbered (parent, node, pos);
  zelm_tree_add_node (tree, node);
}

/* Removes @node (and the tap recording it) from its parent and the tree; a
 * file leaves the application.  The file it was in goes into @files. */
static void
delete_node (ZelmTree *tree, VornNode *node, GPtrArray *files)
{
  g_object_ref (node);
  if (VORN_IS_FILE (node))
    {
      zelm_tree_remove_node (tree, node);
      g_hash_table_remove (tree->modified, node);
      zelm_app_remove_file (tree->app, VORN_FILE (node));
    }
  else if (node->parent)
    {
      touch (files, node);
      if (vorn_node_can_gen (node) && has_tap (node))
        {
          VornNode *tap = node->next;
          zelm_tree_remove_node (tree, tap);
          vorn_node_unlink (tap);
        }
      VornNode *prev = node->prev;
      zelm_tree_remove_node (tree, node);
      vorn_node_unlink (node);
      /* A tap going alone: its node no longer records. */
      if (VORN_IS_TAP (node))
        update_status (tree, prev);
    }
  g_object_unref (node);
}

static void
delete_rows (ZelmTree *tree, GList *refs, GPtrArray *files)
{
  for (GList *l = refs; l; l = l->next)
    {
      GtkTreeIter iter;
      if (zelm_util_tree_row_reference_iter (static_cast<GtkTreeRowReference *> (l->data), &iter))
        if (VornNode *node = iter_node (tree, &iter))
          delete_node (tree, node, files);
    }
}

static GList *
selected_refs (ZelmTree *tree)
{
  GList *refs = nullptr;
  GList *paths = selected_paths (tree);
  for (GList *l = paths; l; l = l->next)
    refs = g_list_prepend (refs, gtk_tree_row_reference_new (GTK_TREE_MODEL (tree->store),
                                                             static_cast<GtkTreePath *> (l->data)));
  free_paths (paths);
  return g_list_reverse (refs);
}

static void
free_refs (GList *refs)
{
  g_list_free_full (refs, reinterpret_cast<GDestroyNotify> (gtk_tree_row_reference_free));
}

static void
cmd_new_inst (ZelmTree *tree)
{
  if (!tree->cur_file)
    return;
  g_autoptr (VornInst) inst = vorn_inst_new_default ();
  insert_node (tree, VORN_NODE (tree->cur_file), VORN_NODE (inst), -1);
  GtkTreeIter iter;
  if (row_iter (tree, VORN_NODE (inst), &iter))
    {
      g_autoptr (GtkTreePath) path = gtk_tree_model_get_path (GTK_TREE_MODEL (tree->store), &iter);
      gtk_tree_view_expand_to_path (tree->view, path);
      gtk_tree_view_expand_row (tree->view, path, TRUE);
    }
  GPtrArray *files = files_new ();
  touch (files, VORN_NODE (inst));
  select_only (tree, VORN_NODE (inst));
  tell_edited (tree, files);
}

static VornNode *
new_node_for (int index)
{
  static const VornAttribType controls[] = { VORN_ATTRIB_TYPE_VOLUME, VORN_ATTRIB_TYPE_PITCH,
                                             VORN_ATTRIB_TYPE_BALANCE, VORN_ATTRIB_TYPE_MORPH,
                                             VORN_ATTRIB_TYPE_TIME };
  /* The preset entries follow the preset order, skipping the submenu heads. */
  static const struct {
    int first, count, preset;
  } presets[] = { { 2, 5, VORN_WAVE_PRESET_SIGNAL_SINE },
                  { 8, 3, VORN_WAVE_PRESET_VOLUME_ATTACK },
                  { 12, 3, VORN_WAVE_PRESET_PITCH_ATTACK },
                  { 16, 3, VORN_WAVE_PRESET_BALANCE_ATTACK },
                  { 20, 3, VORN_WAVE_PRESET_MORPH_ATTACK } };
  for (const auto &p : presets)
    if (index >= p.first && index < p.first + p.count)
      return VORN_NODE (vorn_wave_new_from_preset (VornWavePreset (p.preset + index - p.first)));
  if (index >= 24 && index <= 28)
    return VORN_NODE (vorn_wave_new_control_default (menu_infos[index].label, controls[index - 24]));
  VornNode *node = nullptr;
  switch (index)
    {
    case 30:
      node = VORN_NODE (vorn_filter_rbj_bandpass_new ());
      break;
    case 31:
      node = VORN_NODE (vorn_filter_rbj_lowpass_new ());
      break;
    case 32:
      node = VORN_NODE (vorn_filter_rbj_highpass_new ());
      break;
    case 34:
      node = VORN_NODE (vorn_filter_noise_new ());
      break;
    default:
      return nullptr;
    }
  /* A row of several "Untitled" nodes says nothing: name them as chosen. */
  g_object_set (node, "name", menu_infos[index].label, nullptr);
  return node;
}

static void
cmd_new_node (ZelmTree *tree, int index)
{
  VornNode *parent = nullptr;
  int pos = -1;
  if (tree->cur_node && tree->cur_node->parent)
    {
      parent = tree->cur_node->parent;
      pos = position_before (tree->cur_node);
    }
  else if (tree->cur_inst)
    parent = VORN_NODE (tree->cur_inst);
  if (!parent)
    return;
  g_autoptr (VornNode) node = new_node_for (index);
  if (!node)
    return;
  insert_node (tree, parent, node, pos);
  GPtrArray *files = files_new ();
  touch (files, node);
  select_only (tree, node);
  tell_edited (tree, files);
}

static void
start_rename (ZelmTree *tree, GtkTreePath *path)
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

static void
cmd_rename (ZelmTree *tree)
{
  VornNode *node = tree->cur_node ? tree->cur_node
      : tree->cur_inst ? VORN_NODE (tree->cur_inst) : VORN_NODE (tree->cur_file);
  GtkTreeIter iter;
  if (!node || !row_iter (tree, node, &iter))
    return;
  g_autoptr (GtkTreePath) path = gtk_tree_model_get_path (GTK_TREE_MODEL (tree->store), &iter);
  start_rename (tree, path);
}

static void
name_edited (GtkCellRendererText *, const char *path_str, const char *text, ZelmTree *tree)
{
  g_autoptr (GtkTreePath) path = gtk_tree_path_new_from_string (path_str);
  VornNode *node = path ? path_node (tree, path) : nullptr;
  if (!node || !text || !*text)
    return;
  g_autofree char *old = nullptr;
  g_object_get (node, "name", &old, nullptr);
  if (g_strcmp0 (old, text) == 0)
    return;
  GtkTreeIter iter;
  gtk_tree_model_get_iter (GTK_TREE_MODEL (tree->store), &iter, path);
  gtk_tree_store_set (tree->store, &iter, ZELM_TREE_COL_NAME, text, -1);
  g_signal_handlers_block_by_func (node, reinterpret_cast<gpointer> (node_name_changed), tree);
  g_object_set (node, "name", text, nullptr);
  g_signal_handlers_unblock_by_func (node, reinterpret_cast<gpointer> (node_name_changed), tree);
  GPtrArray *files = files_new ();
  touch (files, node);
  tell_edited (tree, files);
}

/* Puts @files into the application's list in the order of @order. */
static void
set_file_order (ZelmTree *tree, GList *order)
{
  GValue value = G_VALUE_INIT;
  g_value_init (&value, VORN_TYPE_LIST);
  vorn_value_set_list (&value, order);
  g_object_set_property (G_OBJECT (tree->app), "files", &value);
  g_value_unset (&value);
  sync_order (tree, nullptr);
}

/* Moves file @file one place up or down in the application's list. */
static gboolean
move_file (ZelmTree *tree, VornFile *file, gboolean up, GHashTable *selected)
{
  GList *order = g_list_copy (zelm_app_get_files_no_copy (tree->app));
  GList *link = g_list_find (order, file);
  GList *other = link ? (up ? link->prev : link->next) : nullptr;
  gboolean moved = other && !g_hash_table_contains (selected, other->data);
  if (moved)
    {
      std::swap (link->data, other->data);
      set_file_order (tree, order);
    }
  g_list_free (order);
  return moved;
}

/* The first node of the unit (a node with its tap) right before @node. */
static VornNode *
unit_before (VornNode *node)
{
  VornNode *p = node->prev;
  if (p && is_owned_tap (p))
    p = p->prev;
  return p;
}

static VornNode *
unit_after (VornNode *node)
{
  return has_tap (node) ? node->next->next : node->next;
}

/* Moves @node with its tap right before @target, a sibling. */
static void
move_unit_before (VornNode *node, VornNode *target)
{
  VornNode *parent = node->parent;
  g_autoptr (VornNode) self = VORN_NODE (g_object_ref (node));
  g_autoptr (VornNode) tap = has_tap (node) ? VORN_NODE (g_object_ref (node->next)) : nullptr;
  if (tap)
    vorn_node_unlink (tap);
  vorn_node_unlink (node);
  int pos = vorn_node_position (target);
  vorn_node_insert (parent, node, pos);
  if (tap)
    insert_numbered (parent, tap, pos + 1);
}

static void
cmd_move (ZelmTree *tree, gboolean up)
{
  GPtrArray *nodes = selected_nodes (tree);
  GHashTable *selected = g_hash_table_new (g_direct_hash, g_direct_equal);
  for (guint i = 0; i < nodes->len; i++)
    g_hash_table_add (selected, g_ptr_array_index (nodes, i));
  GPtrArray *files = files_new ();
  /* The top one first going up, the bottom one first going down: a block
   * of selected rows moves as one, and stays put at the end of its list. */
  for (guint k = 0; k < nodes->len; k++)
    {
      auto *node = static_cast<VornNode *> (g_ptr_array_index (nodes, up ? k : nodes->len - 1 - k));
      if (VORN_IS_FILE (node))
        {
          move_file (tree, VORN_FILE (node), up, selected);
          continue;
        }
      if (!node->parent || (is_owned_tap (node) && g_hash_table_contains (selected, node->prev)))
        continue;
      VornNode *other = up ? unit_before (node) : unit_after (node);
      if (!other || g_hash_table_contains (selected, other))
        continue;
      if (up)
        move_unit_before (node, other);
      else
        move_unit_before (other, node);
      sync_order (tree, node->parent);
      touch (files, node);
    }
  g_hash_table_unref (selected);
  g_ptr_array_unref (nodes);
  tell_edited (tree, files);
}

static void
cmd_copy (ZelmTree *tree)
{
  GPtrArray *nodes = selected_nodes (tree);
  if (nodes->len > 0)
    {
      vorn_list_free (tree->clipboard);
      tree->clipboard = nullptr;
      for (guint i = 0; i < nodes->len; i++)
        tree->clipboard = g_list_prepend (
            tree->clipboard, vorn_node_duplicate (static_cast<VornNode *> (g_ptr_array_index (nodes, i))));
      tree->clipboard = g_list_reverse (tree->clipboard);
    }
  g_ptr_array_unref (nodes);
}

static void
cmd_paste (ZelmTree *tree, gboolean within)
{
  VornNode *target = tree->cur_node ? tree->cur_node
      : tree->cur_inst ? VORN_NODE (tree->cur_inst) : VORN_NODE (tree->cur_file);
  if (!target || !tree->clipboard)
    return;
  g_autoptr (VornNode) keep = VORN_NODE (g_object_ref (target));
  tree->pending_click = FALSE;
  gtk_tree_selection_unselect_all (gtk_tree_view_get_selection (tree->view));

  GPtrArray *files = files_new ();
  gboolean target_inst = VORN_IS_INST (target), target_gen = vorn_node_can_gen (target);
  for (GList *l = tree->clipboard; l; l = l->next)
    {
      auto *src = VORN_NODE (l->data);
      gboolean inst = VORN_IS_INST (src), gen = vorn_node_can_gen (src);
      VornNode *parent = nullptr;
      int pos = -1;
      if ((inst && VORN_IS_FILE (target)) || (gen && !inst && target_inst)
          || (within && gen && !inst && target_gen && !VORN_IS_TAP (target)))
        parent = target;
      else if (target->parent
               && ((inst && target_inst) || (!inst && !target_inst && gen && target_gen)))
        {
          parent = target->parent;
          pos = position_before (target);
        }
      if (!parent)
        continue;
      g_autoptr (VornNode) copy = vorn_node_duplicate (src);
      insert_node (tree, parent, copy, pos);
      select_also (tree, copy);
      touch (files, copy);
    }
  tell_edited (tree, files);
}

static void
delete_refs (ZelmTree *tree, GList *refs)
{
  GPtrArray *files = files_new ();
  delete_rows (tree, refs, files);
  tell_edited (tree, files);
}

/* Rows waiting for the answer about unsaved files. */
struct PendingDelete {
  ZelmTree *tree;
  GList *refs; /* GtkTreeRowReference: rows gone meanwhile are skipped */
};

static void
close_answered (gboolean close, gpointer data)
{
  auto *pending = static_cast<PendingDelete *> (data);
  if (close)
    delete_refs (pending->tree, pending->refs);
  free_refs (pending->refs);
  g_free (pending);
}

/* Deleting a file's row closes the file: unsaved changes are asked about
 * first. */
static void
cmd_delete (ZelmTree *tree)
{
  GList *refs = selected_refs (tree);
  g_autoptr (GList) unsaved = nullptr;
  for (GList *l = refs; l && tree->close_check; l = l->next)
    {
      GtkTreeIter iter;
      if (zelm_util_tree_row_reference_iter (static_cast<GtkTreeRowReference *> (l->data), &iter))
        if (VornNode *node = iter_node (tree, &iter))
          if (VORN_IS_FILE (node) && g_hash_table_contains (tree->modified, node))
            unsaved = g_list_append (unsaved, node);
    }
  if (!unsaved)
    {
      delete_refs (tree, refs);
      free_refs (refs);
      return;
    }
  auto *pending = g_new0 (PendingDelete, 1);
  pending->tree = tree;
  pending->refs = refs;
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
cmd_mute (ZelmTree *tree)
{
  GPtrArray *nodes = selected_nodes (tree);
  GPtrArray *files = files_new ();
  for (guint i = 0; i < nodes->len; i++)
    {
      auto *node = static_cast<VornNode *> (g_ptr_array_index (nodes, i));
      if (!vorn_node_can_gen (node))
        continue;
      g_object_set (node, "mute", !node->mute, nullptr);
      touch (files, node);
    }
  g_ptr_array_unref (nodes);
  tell_edited (tree, files);
}

static int
dest_attrib (VornNode *node)
{
  int attrib = VORN_ATTRIB_TYPE_SIGNAL;
  if (g_object_class_find_property (G_OBJECT_GET_CLASS (node), "dest-attrib"))
    g_object_get (node, "dest-attrib", &attrib, nullptr);
  return attrib;
}

static void
cmd_toggle_recording (ZelmTree *tree)
{
  GPtrArray *nodes = selected_nodes (tree);
  GPtrArray *files = files_new ();
  for (guint i = 0; i < nodes->len; i++)
    {
      auto *node = static_cast<VornNode *> (g_ptr_array_index (nodes, i));
      /* Taps record generators of a voice: not an instrument, not a tap. */
      if (!vorn_node_can_gen (node) || VORN_IS_INST (node) || VORN_IS_TAP (node) || !node->parent)
        continue;
      if (has_tap (node))
        {
          VornNode *tap = node->next;
          zelm_tree_remove_node (tree, tap);
          vorn_node_unlink (tap);
        }
      else
        {
          g_autoptr (VornTap) tap = vorn_tap_new (VornAttribType (dest_attrib (node)), 0);
          insert_node (tree, node->parent, VORN_NODE (tap), vorn_node_position (node) + 1);
        }
      update_status (tree, node);
      touch (files, node);
    }
  g_ptr_array_unref (nodes);
  tell_edited (tree, files);
}

static void
menu_activate (GtkMenuItem *item, ZelmTree *tree)
{
  const int index = zelm_util_get_menu_item_index (item);
  switch (index)
    {
    case ZELM_TREE_MENU_NEW_INST:
      cmd_new_inst (tree);
      break;
    case ZELM_TREE_MENU_RENAME:
      cmd_rename (tree);
      break;
    case ZELM_TREE_MENU_MOVE_UP:
    case ZELM_TREE_MENU_MOVE_DOWN:
      cmd_move (tree, index == ZELM_TREE_MENU_MOVE_UP);
      break;
    case ZELM_TREE_MENU_COPY:
      cmd_copy (tree);
      break;
    case ZELM_TREE_MENU_PASTE:
    case ZELM_TREE_MENU_PASTE_WITHIN:
      cmd_paste (tree, index == ZELM_TREE_MENU_PASTE_WITHIN);
      break;
    case ZELM_TREE_MENU_CUT:
      cmd_copy (tree);
      cmd_delete (tree);
      break;
    case ZELM_TREE_MENU_DELETE:
      cmd_delete (tree);
      break;
    case ZELM_TREE_MENU_MUTE:
      cmd_mute (tree);
      break;
    case ZELM_TREE_MENU_TOGGLE_RECORDING:
      cmd_toggle_recording (tree);
      break;
    default:
      /* Submenu heads only open their submenus. */
      if (!gtk_menu_item_get_submenu (item))
        cmd_new_node (tree, index);
      break;
    }
}

/* ---- mouse and keys ------------------------------------------------------------ */

static void
popup_menu (ZelmTree *tree, const GdkEvent *event)
{
  GtkTreeSelection *sel = gtk_tree_view_get_selection (tree->view);
  zelm_util_update_menu_multi_visible (tree->menu, menu_infos, ZELM_TREE_MENU_N_ENTRIES,
                                       gtk_tree_selection_count_selected_rows (sel) != 1);
  if (event)
    {
      gtk_menu_popup_at_pointer (GTK_MENU (tree->menu), event);
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
      gtk_menu_popup_at_rect (GTK_MENU (tree->menu), gtk_widget_get_window (GTK_WIDGET (tree->view)),
                              &r, GDK_GRAVITY_SOUTH_WEST, GDK_GRAVITY_NORTH_WEST, nullptr);
    }
  else
    gtk_menu_popup_at_widget (GTK_MENU (tree->menu), GTK_WIDGET (tree->view), GDK_GRAVITY_NORTH_WEST,
                              GDK_GRAVITY_NORTH_WEST, nullptr);
}

static gboolean
view_popup_menu (GtkWidget *, ZelmTree *tree)
{
  popup_menu (tree, nullptr);
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
      start_rename (tree, path);
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
      popup_menu (tree, reinterpret_cast<GdkEvent *> (event));
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

/* The menu's accelerators act only while the tree itself has the focus (not
 * a name being edited): elsewhere Ctrl+C and Ctrl+V belong to text entries,
 * so they are not installed on the window. */
static gboolean
view_key_press (GtkWidget *view, GdkEventKey *event, ZelmTree *tree)
{
  if (!gtk_widget_has_focus (view))
    return FALSE;
  guint key = gdk_keyval_to_lower (event->keyval);
  auto mods = GdkModifierType (event->state & gtk_accelerator_get_default_mod_mask ());
  if (!gtk_accelerator_valid (key, mods))
    return FALSE;
  g_autofree char *name = gtk_accelerator_name (key, mods);
  return gtk_accel_group_activate (tree->accels, g_quark_from_string (name), G_OBJECT (view), key,
                                   mods);
}

/* ---- drag and drop ----------------------------------------------------------------- */

static const GtkTargetEntry drag_targets[] = {
  { const_cast<char *> ("TREEVIEW"), GTK_TARGET_SAME_APP, 0 },
};

static void
drag_begin (GtkWidget *, GdkDragContext *, ZelmTree *tree)
{
  tree->pending_click = FALSE;
}

static void
drag_data_get (GtkWidget *view, GdkDragContext *, GtkSelectionData *data, guint, guint,
               ZelmTree *tree)
{
  free_refs (tree->drag_rows);
  tree->drag_rows = selected_refs (tree);
  /* The rows travel in this object; the data only says which tree. */
  static const guchar mark = 1;
  gtk_selection_data_set (data, gtk_selection_data_get_target (data), 8, &mark, 1);
  g_signal_stop_emission_by_name (view, "drag-data-get");
}

static gboolean
is_within (VornNode *node, VornNode *ancestor)
{
  for (; node; node = node->parent)
    if (node == ancestor)
      return TRUE;
  return FALSE;
}

static gboolean
dragged_ancestor (GPtrArray *nodes, VornNode *node)
{
  for (guint i = 0; i < nodes->len; i++)
    {
      auto *other = static_cast<VornNode *> (g_ptr_array_index (nodes, i));
      if (other != node && (is_within (node, other) || (is_owned_tap (node) && node->prev == other)))
        return TRUE;
    }
  return FALSE;
}

/* Moves @file before or after @dest in the application's list (files are
 * moved, not copied: their place on disk and history stay theirs). */
static gboolean
drop_file (ZelmTree *tree, VornFile *file, VornFile *dest, gboolean after)
{
  if (file == dest)
    return FALSE;
  GList *order = g_list_remove (g_list_copy (zelm_app_get_files_no_copy (tree->app)), file);
  GList *link = g_list_find (order, dest);
  if (!link)
    {
      g_list_free (order);
      return FALSE;
    }
  order = after ? g_list_insert_before (order, link->next, file)
                : g_list_insert_before (order, link, file);
  set_file_order (tree, order);
  g_list_free (order);
  return TRUE;
}

static void
drag_data_received (GtkWidget *view, GdkDragContext *context, int x, int y, GtkSelectionData *,
                    guint, guint time, ZelmTree *tree)
{
  g_signal_stop_emission_by_name (view, "drag-data-received");
  GtkTreePath *dest_path = nullptr;
  GtkTreeViewDropPosition where = GTK_TREE_VIEW_DROP_BEFORE;
  VornNode *dest = nullptr;
  if (gtk_tree_view_get_dest_row_at_pos (tree->view, x, y, &dest_path, &where))
    {
      dest = path_node (tree, dest_path);
      gtk_tree_path_free (dest_path);
    }
  if (!dest || !tree->drag_rows)
    {
      gtk_drag_finish (context, FALSE, FALSE, time);
      return;
    }
  g_autoptr (VornNode) keep = VORN_NODE (g_object_ref (dest));

  GPtrArray *nodes = g_ptr_array_new_with_free_func (g_object_unref);
  for (GList *l = tree->drag_rows; l; l = l->next)
    {
      GtkTreeIter iter;
      if (zelm_util_tree_row_reference_iter (static_cast<GtkTreeRowReference *> (l->data), &iter))
        if (VornNode *node = iter_node (tree, &iter))
          g_ptr_array_add (nodes, g_object_ref (node));
    }

  const gboolean into = where == GTK_TREE_VIEW_DROP_INTO_OR_BEFORE
      || where == GTK_TREE_VIEW_DROP_INTO_OR_AFTER;
  const gboolean after = where == GTK_TREE_VIEW_DROP_AFTER;
  VornNode *parent = into ? dest : dest->parent;
  int pos = -1;
  if (!into)
    pos = after ? vorn_node_position (dest) + (has_tap (dest) ? 2 : 1) : position_before (dest);

  if (!tree->drop_files)
    tree->drop_files = files_new ();
  gboolean done = FALSE;
  GPtrArray *copies = g_ptr_array_new_with_free_func (g_object_unref);
  for (guint i = 0; i < nodes->len; i++)
    {
      auto *node = static_cast<VornNode *> (g_ptr_array_index (nodes, i));
      if (dragged_ancestor (nodes, node))
        continue;
      if (VORN_IS_FILE (node))
        {
          /* Moved in place right away: the delete that follows must not
           * take it out again. */
          if (VORN_IS_FILE (dest) && !into
              && drop_file (tree, VORN_FILE (node), VORN_FILE (dest), after))
            {
              for (GList *l = tree->drag_rows; l; l = l->next)
                {
                  GtkTreeIter iter;
                  if (zelm_util_tree_row_reference_iter (static_cast<GtkTreeRowReference *> (l->data), &iter)
                      && iter_node (tree, &iter) == node)
                    {
                      gtk_tree_row_reference_free (static_cast<GtkTreeRowReference *> (l->data));
                      tree->drag_rows = g_list_delete_link (tree->drag_rows, l);
                      break;
                    }
                }
              done = TRUE;
            }
          continue;
        }
      gboolean ok;
      if (VORN_IS_INST (node))
        ok = VORN_IS_INST (dest) ? !into : VORN_IS_FILE (dest) && into;
      else if (vorn_node_can_gen (node))
        ok = vorn_node_can_gen (dest) && !VORN_IS_TAP (dest) ? (into || !VORN_IS_INST (dest))
                                                             : FALSE;
      else
        ok = FALSE;
      /* Never into itself, nor next to itself: the move would be lost with
       * the original. */
      if (!ok || !parent || is_within (dest, node))
        continue;

      VornNode *copy = vorn_node_duplicate (node);
      vorn_node_insert (parent, copy, pos);
      if (pos >= 0)
        pos++;
      if (has_tap (node))
        {
          VornNode *tap = vorn_node_duplicate (node->next);
          insert_numbered (parent, tap, vorn_node_position (copy) + 1);
          g_object_unref (tap);
          if (pos >= 0)
            pos++;
        }
      g_ptr_array_add (copies, copy);
    }

  if (copies->len > 0)
    {
      tree->pending_click = FALSE;
      gtk_tree_selection_unselect_all (gtk_tree_view_get_selection (tree->view));
      for (guint i = 0; i < copies->len; i++)
        {
          auto *copy = static_cast<VornNode *> (g_ptr_array_index (copies, i));
          zelm_tree_add_node (tree, copy);
          if (has_tap (copy))
            {
              zelm_tree_add_node (tree, copy->next);
              update_status (tree, copy);
            }
          select_also (tree, copy);
          touch (tree->drop_files, copy);
        }
      done = TRUE;
    }
  g_ptr_array_unref (copies);
  g_ptr_array_unref (nodes);
  gtk_drag_finish (context, done, done, time);
}

static void
flush_drop (ZelmTree *tree)
{
  if (tree->drop_files)
    {
      GPtrArray *files = tree->drop_files;
      tree->drop_files = nullptr;
      tell_edited (tree, files);
    }
}

static void
drag_data_delete (GtkWidget *view, GdkDragContext *, ZelmTree *tree)
{
  g_signal_stop_emission_by_name (view, "drag-data-delete");
  if (!tree->drop_files)
    tree->drop_files = files_new ();
  GList *refs = tree->drag_rows;
  tree->drag_rows = nullptr;
  delete_rows (tree, refs, tree->drop_files);
  free_refs (refs);
  flush_drop (tree);
}

static void
drag_end (GtkWidget *, GdkDragContext *, ZelmTree *tree)
{
  free_refs (tree->drag_rows);
  tree->drag_rows = nullptr;
  tree->pending_click = FALSE;
  flush_drop (tree);
}

/* ---- set-up ------------------------------------------------------------------------ */

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
  tree->store = gtk_tree_store_new (ZELM_TREE_N_COLS, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                    VORN_TYPE_NODE);
  tree->rows = g_hash_table_new_full (g_direct_hash, g_direct_equal, g_object_unref,
                                      reinterpret_cast<GDestroyNotify> (gtk_tree_row_reference_free));
  tree->modified = g_hash_table_new_full (g_direct_hash, g_direct_equal, g_object_unref, nullptr);

  gtk_tree_view_set_model (view, GTK_TREE_MODEL (tree->store));
  gtk_tree_view_set_headers_visible (view, FALSE);
  gtk_tree_view_set_enable_tree_lines (view, TRUE);
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
  col = gtk_tree_view_column_new_with_attributes (
      "Status", gtk_cell_renderer_pixbuf_new (), "icon-name", ZELM_TREE_COL_STATUS, nullptr);
  gtk_tree_view_append_column (view, col);

  GtkTreeSelection *sel = gtk_tree_view_get_selection (view);
  gtk_tree_selection_set_mode (sel, GTK_SELECTION_MULTIPLE);
  gtk_tree_selection_set_select_function (sel, may_select, tree, nullptr);
  g_signal_connect (sel, "changed", G_CALLBACK (selection_changed), tree);

  /* No window: the accelerators are activated from the view's own keys. */
  tree->menu = GTK_WIDGET (g_object_ref_sink (zelm_util_create_menu (
      nullptr, menu_infos, ZELM_TREE_MENU_N_ENTRIES, G_CALLBACK (menu_activate), tree)));
  gtk_menu_attach_to_widget (GTK_MENU (tree->menu), GTK_WIDGET (view), nullptr);
  g_autoptr (GList) items = gtk_container_get_children (GTK_CONTAINER (tree->menu));
  for (GList *l = items; l && !tree->accels; l = l->next)
    if (GList *closures = gtk_widget_list_accel_closures (GTK_WIDGET (l->data)))
      {
        tree->accels = gtk_accel_group_from_accel_closure (static_cast<GClosure *> (closures->data));
        g_list_free (closures);
      }

  gtk_tree_view_enable_model_drag_source (view, GDK_BUTTON1_MASK, drag_targets,
                                          G_N_ELEMENTS (drag_targets), GDK_ACTION_MOVE);
  gtk_tree_view_enable_model_drag_dest (view, drag_targets, G_N_ELEMENTS (drag_targets),
                                        GDK_ACTION_MOVE);
  g_signal_connect (view, "button-press-event", G_CALLBACK (view_button_press), tree);
  g_signal_connect (view, "button-release-event", G_CALLBACK (view_button_release), tree);
  g_signal_connect (view, "key-press-event", G_CALLBACK (view_key_press), tree);
  g_signal_connect (view, "popup-menu", G_CALLBACK (view_popup_menu), tree);
  g_signal_connect (view, "drag-begin", G_CALLBACK (drag_begin), tree);
  g_signal_connect (view, "drag-data-get", G_CALLBACK (drag_data_get), tree);
  g_signal_connect (view, "drag-data-received", G_CALLBACK (drag_data_received), tree);
  g_signal_connect (view, "drag-data-delete", G_CALLBACK (drag_data_delete), tree);
  g_signal_connect (view, "drag-end", G_CALLBACK (drag_end), tree);
  g_object_set_data (G_OBJECT (view), "zelm-tree", tree);
  return tree;
}

void
zelm_tree_free (ZelmTree *tree)
{
  if (!tree)
    return;
  g_object_set_data (G_OBJECT (tree->view), "zelm-tree", nullptr);
  g_signal_handlers_disconnect_by_data (tree->view, tree);
  g_signal_handlers_disconnect_by_data (gtk_tree_view_get_selection (tree->view), tree);
  gtk_tree_selection_set_select_function (gtk_tree_view_get_selection (tree->view), nullptr,
                                          nullptr, nullptr);
  g_signal_handlers_disconnect_by_data (tree->name_cell, tree);
  /* The name column's data function points at the tree. */
  gtk_tree_view_column_set_cell_data_func (tree->name_col, tree->name_cell, nullptr, nullptr,
                                           nullptr);
  g_hash_table_foreach (tree->rows, disconnect_node, tree);
  g_hash_table_destroy (tree->rows);
  g_hash_table_destroy (tree->modified);
  set_current (tree, nullptr, nullptr, nullptr);
  gtk_widget_destroy (tree->menu);
  g_object_unref (tree->menu);
  vorn_list_free (tree->clipboard);
  free_refs (tree->drag_rows);
  if (tree->drop_files)
    g_ptr_array_unref (tree->drop_files);
  g_object_unref (tree->store);
  g_free (tree);
}

ZelmTree *
zelm_tree_from_view (GtkTreeView *view)
{
  g_return_val_if_fail (GTK_IS_TREE_VIEW (view), nullptr);
  return static_cast<ZelmTree *> (g_object_get_data (G_OBJECT (view), "zelm-tree"));
}

GtkWidget *
zelm_tree_get_menu (ZelmTree *tree)
{
  g_return_val_if_fail (tree, nullptr);
  return tree->menu;
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
  if (!row_iter (tree, VORN_NODE (file), &iter))
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
  if (row_iter (tree, VORN_NODE (file), &iter))
    {
      GtkTreeModel *model = GTK_TREE_MODEL (tree->store);
      g_autoptr (GtkTreePath) path = gtk_tree_model_get_path (model, &iter);
      gtk_tree_model_row_changed (model, path, &iter);
    }
}
