/* zelm-tree-search.cpp: finding a node of the tree by name (Ctrl+F): a
 * search box over the view, made on the first search */
#include "zelm-tree-private.h"

#include <cstring>

/* A row matches when its name contains the text, in any case (GTK's
 * convention: FALSE means a match). */
static gboolean
search_equal (GtkTreeModel *model, int column, const char *key, GtkTreeIter *iter, gpointer)
{
  g_autofree char *name = nullptr;
  gtk_tree_model_get (model, iter, column, &name, -1);
  if (!name || !key)
    return TRUE;
  g_autofree char *n = g_utf8_casefold (name, -1), *k = g_utf8_casefold (key, -1);
  return strstr (n, k) == nullptr;
}

/* Enter or Escape: the found row stays selected, the keys go back to it. */
static void
search_done (GtkWidget *, ZelmTree *tree)
{
  gtk_popover_popdown (GTK_POPOVER (tree->search));
  gtk_widget_grab_focus (GTK_WIDGET (tree->view));
}

/* The search box is made on the first search: a popover attached to the
 * view from the start would be realized with the window for nothing. */
static void
make_search (ZelmTree *tree)
{
  GtkTreeView *view = tree->view;
  gtk_tree_view_set_enable_search (view, TRUE);
  gtk_tree_view_set_search_column (view, ZELM_TREE_COL_NAME);
  gtk_tree_view_set_search_equal_func (view, search_equal, nullptr, nullptr);
  tree->search_entry = gtk_search_entry_new ();
  gtk_entry_set_placeholder_text (GTK_ENTRY (tree->search_entry), "Find a node by name");
  atk_object_set_name (gtk_widget_get_accessible (tree->search_entry), "Find node");
  tree->search = GTK_WIDGET (g_object_ref_sink (gtk_popover_new (GTK_WIDGET (view))));
  gtk_popover_set_position (GTK_POPOVER (tree->search), GTK_POS_TOP);
  gtk_container_add (GTK_CONTAINER (tree->search), tree->search_entry);
  gtk_widget_show (tree->search_entry);
  gtk_tree_view_set_search_entry (view, GTK_ENTRY (tree->search_entry));
  g_signal_connect (tree->search_entry, "activate", G_CALLBACK (search_done), tree);
  g_signal_connect (tree->search_entry, "stop-search", G_CALLBACK (search_done), tree);
}

void
zelm_tree_start_search (ZelmTree *tree)
{
  g_return_if_fail (tree);
  if (!tree->search)
    make_search (tree);
  gtk_entry_set_text (GTK_ENTRY (tree->search_entry), "");
  gtk_popover_popup (GTK_POPOVER (tree->search));
  gtk_widget_grab_focus (tree->search_entry);
}

void
zelm_tree_search_free (ZelmTree *tree)
{
  if (!tree->search)
    return;
  g_signal_handlers_disconnect_by_data (tree->search_entry, tree);
  gtk_tree_view_set_search_entry (tree->view, nullptr);
  gtk_tree_view_set_enable_search (tree->view, FALSE);
  gtk_widget_destroy (tree->search);
  g_clear_object (&tree->search);
}
