/* zelm-tree-private.h: the node tree's state, shared by its view, actions
 * and drag and drop */
#pragma once

#include "zelm-node-commands.h"
#include "zelm-tree.h"

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
  ZelmTreeCloseFunc close_check;
  gpointer close_check_data;
  VornFile *cur_file;
  VornInst *cur_inst;
  VornNode *cur_node;
  GSimpleActionGroup *actions; /* "tree." on the view */
  GtkWidget *menu;             /* for one row, held */
  GtkWidget *multi_menu;       /* for several rows, held */
  GtkWidget *search;           /* popover over the view, with the search entry */
  GtkWidget *search_entry;
  ZelmClipboard *clipboard;
  GPtrArray *drag_nodes;    /* VornNode refs being dragged, in selection order */
  GPtrArray *drop_files;    /* VornFile refs a drop changed, told once it ends */
  GHashTable *modified;     /* VornFile (ref) set: shown with a mark */
  gboolean pending_click;
  gboolean renaming;        /* the name cell shows the plain name */
  gboolean editing;         /* a name is being edited: the tree's keys are the entry's */
};

/* zelm-tree.cpp */
gboolean zelm_tree_row_iter (ZelmTree *tree, VornNode *node, GtkTreeIter *iter);
VornNode *zelm_tree_path_node (ZelmTree *tree, GtkTreePath *path);
/* Returns: (transfer full): the selected nodes in tree order (refs). */
GPtrArray *zelm_tree_selected_nodes (ZelmTree *tree);
/* Brings the rows in step with @change; with @select, the nodes it made
 * (taps aside) become the selection. */
void zelm_tree_apply_change (ZelmTree *tree, ZelmNodeChange *change, gboolean select);
/* Tells the edit function about each file of @files still open. */
void zelm_tree_tell_edited (ZelmTree *tree, GPtrArray *files);
void zelm_tree_start_rename (ZelmTree *tree, VornNode *node);
/* Opens the name search over the view. */
void zelm_tree_start_search (ZelmTree *tree);
void zelm_tree_remove_node (ZelmTree *tree, VornNode *node);
void zelm_tree_popup_menu (ZelmTree *tree, const GdkEvent *event);

/* zelm-tree-actions.cpp */
void zelm_tree_actions_init (ZelmTree *tree);
/* Enables the actions that fit the selection and the clipboard. */
void zelm_tree_actions_update (ZelmTree *tree);
/* Deletes @nodes, asking first about files with unsaved changes. */
void zelm_tree_delete (ZelmTree *tree, GPtrArray *nodes);

/* zelm-tree-search.cpp: the search box goes with the tree. */
void zelm_tree_search_free (ZelmTree *tree);

/* zelm-tree-dnd.cpp */
void zelm_tree_dnd_init (ZelmTree *tree);
void zelm_tree_dnd_free (ZelmTree *tree);
