/* vorn-list.cpp: boxed list of objects and its GParamSpec type */
#include "vorn-list.h"

G_DEFINE_BOXED_TYPE (VornList, vorn_list, vorn_list_duplicate, vorn_list_free)

void
vorn_list_free (GList *list)
{
  g_list_free_full (list, g_object_unref);
}

static gpointer
ref_element (gconstpointer src, gpointer)
{
  return g_object_ref (G_OBJECT (src));
}

GList *
vorn_list_duplicate (GList *list)
{
  return g_list_copy_deep (list, ref_element, nullptr);
}

GList *
vorn_list_append (GList *list, gpointer object)
{
  g_return_val_if_fail (G_IS_OBJECT (object), list);

  return g_list_append (list, g_object_ref (object));
}

GList *
vorn_list_insert (GList *list, gpointer object, int position)
{
  g_return_val_if_fail (G_IS_OBJECT (object), list);

  return g_list_insert (list, g_object_ref (object), position);
}

GList *
vorn_list_insert_before (GList *list, GList *sibling, gpointer object)
{
  g_return_val_if_fail (G_IS_OBJECT (object), list);

  return g_list_insert_before (list, sibling, g_object_ref (object));
}

GList *
vorn_list_remove (GList *glist, gpointer object)
{
  g_return_val_if_fail (g_list_find (glist, object), glist);

  GList *link = g_list_find (glist, object);
  glist = g_list_delete_link (glist, link);
  g_object_unref (object);
  return glist;
}

GList *
vorn_list_delete_link (GList *list, GList *link)
{
  g_return_val_if_fail (list != NULL, list);
  g_return_val_if_fail (link != NULL, list);
  g_return_val_if_fail (G_IS_OBJECT (link->data), list);

  gpointer object = link->data;
  list = g_list_delete_link (list, link);
  g_object_unref (object);
  return list;
}

void
vorn_value_set_list (GValue *value, GList *list)
{
  g_return_if_fail (VORN_VALUE_HOLDS_LIST (value));

  g_value_set_boxed (value, list);
}

void
vorn_value_take_list (GValue *value, GList *list)
{
  g_return_if_fail (VORN_VALUE_HOLDS_LIST (value));

  g_value_take_boxed (value, list);
}

GList *
vorn_value_get_list (const GValue *value)
{
  g_return_val_if_fail (VORN_VALUE_HOLDS_LIST (value), NULL);

  return static_cast<GList *> (g_value_get_boxed (value));
}

GList *
vorn_value_dup_list (const GValue *value)
{
  g_return_val_if_fail (VORN_VALUE_HOLDS_LIST (value), NULL);

  return static_cast<GList *> (g_value_dup_boxed (value));
}

GType
vorn_param_spec_list_get_type (void)
{
  static gsize type_id = 0;

  if (g_once_init_enter (&type_id))
    {
      /* No default, validation or comparison hooks: an empty list is the
       * default and GLib's defaults compare the list pointers. */
      const GParamSpecTypeInfo info = {
        sizeof (VornParamSpecList),   /* instance_size */
        0,                            /* n_preallocs */
        nullptr,                      /* instance_init */
        VORN_TYPE_LIST,               /* value_type */
        nullptr,                      /* finalize */
        nullptr,                      /* value_set_default */
        nullptr,                      /* value_validate */
        nullptr,                      /* values_cmp */
      };
      GType type = g_param_type_register_static (
          g_intern_static_string ("VornParamSpecList"), &info);
      g_once_init_leave (&type_id, type);
    }

  return type_id;
}

GParamSpec *
vorn_param_spec_list (const char *name, const char *nick, const char *blurb,
                      GType object_type, GParamFlags flags)
{
  g_return_val_if_fail (g_type_is_a (object_type, G_TYPE_OBJECT), NULL);

  auto *lspec = static_cast<VornParamSpecList *> (
      g_param_spec_internal (VORN_TYPE_PARAM_SPEC_LIST, name, nick, blurb, flags));
  if (!lspec)
    return nullptr;

  lspec->object_type = object_type;
  return G_PARAM_SPEC (lspec);
}
