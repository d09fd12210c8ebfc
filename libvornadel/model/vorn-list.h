/* vorn-list.h: boxed list of objects and its GParamSpec type */
#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

/**
 * VornList:
 *
 * A GList of GObjects that owns one reference on every element.  The boxed
 * copy duplicates the list and references every element again; the boxed
 * free releases every element and the list.  The empty list is NULL.
 */
typedef GList VornList;

#define VORN_TYPE_LIST (vorn_list_get_type ())
#define VORN_VALUE_HOLDS_LIST(value) (G_VALUE_HOLDS ((value), VORN_TYPE_LIST))

#define VORN_TYPE_PARAM_SPEC_LIST (vorn_param_spec_list_get_type ())
#define VORN_IS_PARAM_SPEC_LIST(pspec) \
  (G_TYPE_CHECK_INSTANCE_TYPE ((pspec), VORN_TYPE_PARAM_SPEC_LIST))
#define VORN_PARAM_SPEC_LIST(pspec) \
  (G_TYPE_CHECK_INSTANCE_CAST ((pspec), VORN_TYPE_PARAM_SPEC_LIST, VornParamSpecList))

/**
 * VornParamSpecList:
 * @parent_instance: the GParamSpec
 * @object_type: type of the list's elements (a GObject type)
 *
 * GParamSpec for a #VornList value.
 */
typedef struct {
  GParamSpec parent_instance;
  GType object_type;
} VornParamSpecList;

GType vorn_list_get_type (void);
GType vorn_param_spec_list_get_type (void);

/**
 * vorn_list_free:
 * @list: (nullable) (transfer full) (element-type GObject): a list
 *
 * Releases every element of @list and the list itself.  NULL is the empty
 * list.
 */
void vorn_list_free (GList *list);

/**
 * vorn_list_duplicate:
 * @list: (nullable) (transfer none) (element-type GObject): a list
 *
 * Returns: (transfer full) (element-type GObject): a new list with the same
 *   elements, each referenced again; free it with vorn_list_free().
 */
GList *vorn_list_duplicate (GList *list);

/* The following return the new list head, like GLib's list functions.  The
 * inserted object gets a new reference held by the list.  On a failed check
 * the list is returned unchanged. */

/**
 * vorn_list_append:
 * @list: (nullable) (transfer full) (element-type GObject): a list
 * @object: (type GObject): the object to append
 *
 * Returns: (transfer full) (element-type GObject): the new list head.
 */
GList *vorn_list_append (GList *list, gpointer object);

/**
 * vorn_list_insert:
 * @list: (nullable) (transfer full) (element-type GObject): a list
 * @object: (type GObject): the object to insert
 * @position: as for g_list_insert()
 *
 * Returns: (transfer full) (element-type GObject): the new list head.
 */
GList *vorn_list_insert (GList *list, gpointer object, int position);

/**
 * vorn_list_insert_before:
 * @list: (nullable) (transfer full) (element-type GObject): a list
 * @sibling: (nullable) (transfer none) (element-type GObject): a link of
 *   @list, NULL to append
 * @object: (type GObject): the object to insert
 *
 * Returns: (transfer full) (element-type GObject): the new list head.
 */
GList *vorn_list_insert_before (GList *list, GList *sibling, gpointer object);

/**
 * vorn_list_remove:
 * @glist: (nullable) (transfer full) (element-type GObject): a list
 * @object: (type GObject): the object to remove
 *
 * Removes the first occurrence of @object and releases the list's reference;
 * an object that is not in the list is a failed check.
 *
 * Returns: (transfer full) (element-type GObject): the new list head.
 */
GList *vorn_list_remove (GList *glist, gpointer object);

/**
 * vorn_list_delete_link:
 * @list: (nullable) (transfer full) (element-type GObject): a list
 * @link: (transfer full) (element-type GObject): a link of @list
 *
 * Releases the object of @link and deletes @link from @list.
 *
 * Returns: (transfer full) (element-type GObject): the new list head.
 */
GList *vorn_list_delete_link (GList *list, GList *link);

/**
 * vorn_value_set_list:
 * @value: a #GValue holding a #VornList
 * @list: (nullable) (transfer none) (element-type GObject): a list
 *
 * Stores a copy of @list (elements referenced again) in @value.
 */
void vorn_value_set_list (GValue *value, GList *list);

/**
 * vorn_value_take_list:
 * @value: a #GValue holding a #VornList
 * @list: (nullable) (transfer full) (element-type GObject): a list
 *
 * Stores @list in @value, which adopts it and its references.
 */
void vorn_value_take_list (GValue *value, GList *list);

/**
 * vorn_value_get_list:
 * @value: a #GValue holding a #VornList
 *
 * Returns: (transfer none) (nullable) (element-type GObject): the list held
 *   by @value, NULL when empty or on failure.
 */
GList *vorn_value_get_list (const GValue *value);

/**
 * vorn_value_dup_list:
 * @value: a #GValue holding a #VornList
 *
 * Returns: (transfer full) (nullable) (element-type GObject): a copy of the
 *   list held by @value; free it with vorn_list_free().
 */
GList *vorn_value_dup_list (const GValue *value);

/**
 * vorn_param_spec_list:
 * @name: property name
 * @nick: nick
 * @blurb: description
 * @object_type: element type, must be a GObject type
 * @flags: property flags
 *
 * Returns: (transfer floating): a new list GParamSpec, or NULL
 * when @object_type is not a GObject type.
 */
GParamSpec *vorn_param_spec_list (const char *name, const char *nick,
                                  const char *blurb, GType object_type,
                                  GParamFlags flags);

G_END_DECLS
