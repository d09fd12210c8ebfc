/* zelm-tree-dnd.cpp: moving rows of the node tree by drag and drop: the drop
 * copies the dragged nodes where the rules allow, the drag's source then
 * deletes the originals */
#include "zelm-tree-private.h"

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
  g_clear_pointer (&tree->drag_nodes, g_ptr_array_unref);
  tree->drag_nodes = zelm_tree_selected_nodes (tree);
  /* The nodes travel in this object; the data only says which tree. */
  static const guchar mark = 1;
  gtk_selection_data_set (data, gtk_selection_data_get_target (data), 8, &mark, 1);
  g_signal_stop_emission_by_name (view, "drag-data-get");
}

static ZelmDropPosition
drop_position (GtkTreeViewDropPosition where)
{
  switch (where)
    {
    case GTK_TREE_VIEW_DROP_INTO_OR_BEFORE:
    case GTK_TREE_VIEW_DROP_INTO_OR_AFTER:
      return ZELM_DROP_INTO;
    case GTK_TREE_VIEW_DROP_AFTER:
      return ZELM_DROP_AFTER;
    default:
      return ZELM_DROP_BEFORE;
    }
}

static void
add_files (ZelmTree *tree, GPtrArray *files)
{
  if (!tree->drop_files)
    tree->drop_files = g_ptr_array_new_with_free_func (g_object_unref);
  for (guint i = 0; i < files->len; i++)
    if (!g_ptr_array_find (tree->drop_files, g_ptr_array_index (files, i), nullptr))
      g_ptr_array_add (tree->drop_files, g_object_ref (g_ptr_array_index (files, i)));
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
      dest = zelm_tree_path_node (tree, dest_path);
      gtk_tree_path_free (dest_path);
    }
  if (!dest || !tree->drag_nodes)
    {
      gtk_drag_finish (context, FALSE, FALSE, time);
      return;
    }
  g_autoptr (VornNode) keep = VORN_NODE (g_object_ref (dest));
  g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
  gboolean done =
      zelm_node_commands_drop (G_OBJECT (tree->app), tree->drag_nodes, dest, drop_position (where), change);
  /* Files moved in place: the delete that follows must not close them. */
  for (guint i = 0; i < change->kept->len; i++)
    g_ptr_array_remove (tree->drag_nodes, g_ptr_array_index (change->kept, i));
  zelm_tree_apply_change (tree, change, TRUE);
  add_files (tree, change->files);
  gtk_drag_finish (context, done, done, time);
}

static void
flush_drop (ZelmTree *tree)
{
  if (tree->drop_files)
    {
      g_autoptr (GPtrArray) files = tree->drop_files;
      tree->drop_files = nullptr;
      zelm_tree_tell_edited (tree, files);
    }
}

static void
drag_data_delete (GtkWidget *view, GdkDragContext *, ZelmTree *tree)
{
  g_signal_stop_emission_by_name (view, "drag-data-delete");
  if (tree->drag_nodes)
    {
      g_autoptr (GPtrArray) nodes = tree->drag_nodes;
      tree->drag_nodes = nullptr;
      g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
      zelm_node_commands_delete (G_OBJECT (tree->app), nodes, change);
      zelm_tree_apply_change (tree, change, FALSE);
      add_files (tree, change->files);
      /* The originals' rows went from above the copies: keep these in sight. */
      GtkTreePath *cursor = nullptr;
      gtk_tree_view_get_cursor (tree->view, &cursor, nullptr);
      if (cursor)
        {
          gtk_tree_view_scroll_to_cell (tree->view, cursor, nullptr, FALSE, 0, 0);
          gtk_tree_path_free (cursor);
        }
    }
  flush_drop (tree);
}

static void
drag_end (GtkWidget *, GdkDragContext *, ZelmTree *tree)
{
  g_clear_pointer (&tree->drag_nodes, g_ptr_array_unref);
  tree->pending_click = FALSE;
  flush_drop (tree);
}

void
zelm_tree_dnd_init (ZelmTree *tree)
{
  GtkTreeView *view = tree->view;
  gtk_tree_view_enable_model_drag_source (view, GDK_BUTTON1_MASK, drag_targets,
                                          G_N_ELEMENTS (drag_targets), GDK_ACTION_MOVE);
  gtk_tree_view_enable_model_drag_dest (view, drag_targets, G_N_ELEMENTS (drag_targets),
                                        GDK_ACTION_MOVE);
  g_signal_connect (view, "drag-begin", G_CALLBACK (drag_begin), tree);
  g_signal_connect (view, "drag-data-get", G_CALLBACK (drag_data_get), tree);
  g_signal_connect (view, "drag-data-received", G_CALLBACK (drag_data_received), tree);
  g_signal_connect (view, "drag-data-delete", G_CALLBACK (drag_data_delete), tree);
  g_signal_connect (view, "drag-end", G_CALLBACK (drag_end), tree);
}

void
zelm_tree_dnd_free (ZelmTree *tree)
{
  g_clear_pointer (&tree->drag_nodes, g_ptr_array_unref);
  g_clear_pointer (&tree->drop_files, g_ptr_array_unref);
}
