/* zelm-tree.h: the main window's tree of open files and their nodes */
#pragma once

#include <gtk/gtk.h>

#include "vornadel.h"
#include "zelm-app.h"
#include "zelm-node-commands.h"

G_BEGIN_DECLS

/* Columns of the tree store. */
enum {
  ZELM_TREE_COL_ICON,   /* icon name */
  ZELM_TREE_COL_NAME,   /* node name */
  ZELM_TREE_COL_STATUS, /* status icon name or NULL */
  ZELM_TREE_COL_NODE,   /* the VornNode */
  ZELM_TREE_N_COLS
};

typedef struct _ZelmTree ZelmTree;

/* Called when the selection chose another current file, instrument or node
 * (each may be NULL). */
typedef void (*ZelmTreeSelectFunc) (VornFile *file, VornInst *inst, VornNode *node,
                                    gpointer user_data);

/* Called once per file after a command of the tree (an action, a drop, a
 * finished name edit) changed the nodes of @file. */
typedef void (*ZelmTreeEditFunc) (VornFile *file, gpointer user_data);

/* Sets up @view (columns, store, selection, context menu, drag and drop,
 * the "tree." actions on the view and their accelerators on @app) and
 * returns the tree's state; free it with zelm_tree_free before the view
 * goes.  Files are added to and removed from @app's list. */
ZelmTree *zelm_tree_new (GtkTreeView *view, ZelmApp *app, ZelmTreeSelectFunc select_func,
                         ZelmTreeEditFunc edit_func, gpointer user_data);
void zelm_tree_free (ZelmTree *tree);

/* Continues a close that was asked about: @close TRUE closes the files. */
typedef void (*ZelmTreeCloseDone) (gboolean close, gpointer done_data);

/* Asked before rows of files with unsaved changes are deleted (closing
 * those files): @files (transfer none) are the modified ones.  The function
 * calls @done once, maybe later, with the answer; it may never call it when
 * the window goes meanwhile. */
typedef void (*ZelmTreeCloseFunc) (GList *files, ZelmTreeCloseDone done, gpointer done_data,
                                   gpointer user_data);

/* Sets the question asked before modified files are closed; NULL closes
 * them without asking. */
void zelm_tree_set_close_check (ZelmTree *tree, ZelmTreeCloseFunc func, gpointer user_data);

/* Clears the store and adds a row for every file of @files and every node
 * under it, in pre-order. */
void zelm_tree_fill (ZelmTree *tree, GList *files);

/* Adds rows for @node and its descendants under the row of its parent (a
 * top-level row when it has none). */
void zelm_tree_add_node (ZelmTree *tree, VornNode *node);

/* Rebuilds the rows below @file's row after its children were replaced,
 * keeping the expanded rows and the selection where the same positions
 * still exist. */
void zelm_tree_reload_file (ZelmTree *tree, VornFile *file);

/* Shows or drops the unsaved-changes mark after @file's name. */
void zelm_tree_set_modified (ZelmTree *tree, VornFile *file, gboolean modified);

/* Shows @change in the rows, selects and shows the nodes it made, and
 * tells the edit function about the files it changed. */
void zelm_tree_apply (ZelmTree *tree, ZelmNodeChange *change);

/* Selects the row of @node alone and shows it. */
void zelm_tree_select (ZelmTree *tree, VornNode *node);

/* Returns: (transfer none): the "tree." actions (new-node, rename,
 * move-up, move-down, copy, paste, paste-within, cut, delete, mute,
 * toggle-recording), inserted on the view. */
GActionGroup *zelm_tree_get_action_group (ZelmTree *tree);

/* Icon name of @node's row. */
const char *zelm_tree_node_icon (VornNode *node);

/* Returns: (transfer none) (nullable): the file holding the selected row,
 * NULL when nothing is selected. */
VornFile *zelm_tree_get_current_file (ZelmTree *tree);
VornInst *zelm_tree_get_current_inst (ZelmTree *tree);
VornNode *zelm_tree_get_current_node (ZelmTree *tree);

G_END_DECLS
