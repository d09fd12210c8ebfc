/* vorn-node.h: the element of every instrument tree */
#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

#define VORN_TYPE_NODE            (vorn_node_get_type ())
#define VORN_NODE(obj)            (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_NODE, VornNode))
#define VORN_NODE_CLASS(klass)    (G_TYPE_CHECK_CLASS_CAST ((klass), VORN_TYPE_NODE, VornNodeClass))
#define VORN_IS_NODE(obj)         (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_NODE))
#define VORN_IS_NODE_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), VORN_TYPE_NODE))
#define VORN_NODE_GET_CLASS(obj)  (G_TYPE_INSTANCE_GET_CLASS ((obj), VORN_TYPE_NODE, VornNodeClass))

typedef struct _VornNode VornNode;
typedef struct _VornNodeClass VornNodeClass;
typedef struct _VornQueue VornQueue;
typedef struct _VornGen VornGen;

/**
 * VornNode:
 * @parent: owning node, NULL for a root (weak link)
 * @next: next sibling (weak link)
 * @prev: previous sibling (weak link)
 * @children: first child; the node holds one reference on each child
 * @id: unique ID within a file tree, 0 while unassigned
 * @mute: the node is muted (disabled)
 * @attach_point: the node is a sub-queue attachment point
 */
struct _VornNode {
  GObject parent_instance;

  VornNode *parent;
  VornNode *next;
  VornNode *prev;
  VornNode *children;
  guint32 id;
  guint8 mute;
  guint8 attach_point;
};

/**
 * VornNodeClass:
 * @duplicate: returns a deep copy (new reference); overrides chain up first,
 *   then copy their own fields
 * @create_gen: returns the node's new generator for @queue, or NULL
 * @transient: nonzero for runtime-only classes: their instances get no ID
 *   when inserted and their children are never serialized
 */
struct _VornNodeClass {
  GObjectClass parent_class;

  VornNode *(*duplicate) (VornNode *node);
  VornGen *(*create_gen) (VornNode *node, VornQueue *queue);
  guint32 transient;
};

/* Called by the traversals; return FALSE to stop the whole walk at once. */
typedef gboolean (*VornNodeTraverseFunc) (VornNode *node, gpointer data);

GType vorn_node_get_type (void);

/* Returns: (transfer full): a new plain node named "Untitled". */
VornNode *vorn_node_new (void);

/**
 * vorn_node_duplicate:
 * @node: a node
 *
 * Returns: (transfer full): a deep copy of @node and its subtree; all IDs 0.
 */
VornNode *vorn_node_duplicate (VornNode *node);

/**
 * vorn_node_insert:
 * @parent: the new parent
 * @node: a node without a parent; @parent takes its own reference
 * @position: -1 appends; 0 or below inserts first; p >= 1 inserts at index p
 *   (after the p-th child), or at the end when there are fewer children
 *
 * Links @node under @parent.  When the tree's root is a #VornFile, @node and
 * its descendants without an ID are numbered from the file, in pre-order.
 */
void vorn_node_insert (VornNode *parent, VornNode *node, int position);

/* Removes @node from its parent, dropping the parent's reference. */
void vorn_node_unlink (VornNode *node);

/* Removes every child of @node, dropping the references. */
void vorn_node_unlink_children (VornNode *node);

/* Moves all children of @src to the end of @dest's children, numbering them
 * when @dest's root is a file.  References move with the children. */
void vorn_node_steal_children (VornNode *dest, VornNode *src);

/**
 * vorn_node_get_root:
 * @node: a node
 *
 * Returns: (transfer none): the topmost ancestor of @node, or @node itself.
 */
VornNode *vorn_node_get_root (VornNode *node);

/**
 * vorn_node_get_parent_by_type:
 * @node: a node
 * @type: a node type
 *
 * Returns: (transfer none) (nullable): the nearest of @node and its
 *   ancestors that is a @type, or NULL.
 */
VornNode *vorn_node_get_parent_by_type (VornNode *node, GType type);

/* Returns: the index of @node among its siblings, or -1 without a parent. */
int vorn_node_position (VornNode *node);

/* Returns: the number of ancestors of @node; (guint) -1 on bad input. */
guint vorn_node_level (VornNode *node);

/**
 * vorn_node_pre_traverse:
 * @node: the subtree's root
 * @func: (scope call) (closure data): called for every node
 * @data: for @func
 *
 * Calls @func on @node, then on its descendants in pre-order.
 */
void vorn_node_pre_traverse (VornNode *node, VornNodeTraverseFunc func, gpointer data);

/**
 * vorn_node_post_traverse:
 * @node: the subtree's root
 * @func: (scope call) (closure data): called for every node
 * @data: for @func
 *
 * Calls @func on @node's descendants in post-order, then on @node itself.
 */
void vorn_node_post_traverse (VornNode *node, VornNodeTraverseFunc func, gpointer data);

/* Returns: TRUE when @node's class can create a generator. */
gboolean vorn_node_can_gen (VornNode *node);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornNode, g_object_unref)

G_END_DECLS
