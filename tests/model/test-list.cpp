/* test-list.cpp: VornList reference ownership and the list parameter type */
#include "vornadel.h"
#include "vorn-test-log.h"

namespace {

/* Objects created with one reference owned by the test. */
struct Objects {
  GObject *a = G_OBJECT (g_object_new (G_TYPE_OBJECT, nullptr));
  GObject *b = G_OBJECT (g_object_new (G_TYPE_OBJECT, nullptr));
  GObject *c = G_OBJECT (g_object_new (G_TYPE_OBJECT, nullptr));
  ~Objects () { g_object_unref (a); g_object_unref (b); g_object_unref (c); }
};

guint
refs (GObject *obj)
{
  return g_atomic_int_get (&obj->ref_count);
}

TEST (List, InsertionsReferenceAndFreeReleases)
{
  Objects o;
  GList *list = vorn_list_append (nullptr, o.a);
  list = vorn_list_insert (list, o.b, 0);
  list = vorn_list_insert_before (list, g_list_last (list), o.c);
  ASSERT_EQ (g_list_length (list), 3u);
  EXPECT_EQ (list->next->data, o.c);
  EXPECT_EQ (refs (o.a), 2u);

  GList *copy = vorn_list_duplicate (list);
  EXPECT_EQ (refs (o.a), 3u);
  vorn_list_free (copy);
  vorn_list_free (list);
  EXPECT_EQ (refs (o.a), 1u);
  EXPECT_EQ (refs (o.b), 1u);
  EXPECT_EQ (refs (o.c), 1u);
}

TEST (List, RemoveAndDeleteLink)
{
  Objects o;
  GList *list = vorn_list_append (vorn_list_append (nullptr, o.a), o.b);
  list = vorn_list_remove (list, o.a);
  EXPECT_EQ (refs (o.a), 1u);
  EXPECT_EQ (vorn_list_remove (list, o.c), list);   /* absent: untouched */
  EXPECT_CRITICAL ("g_list_find (glist, object)");
  list = vorn_list_delete_link (list, list);
  EXPECT_EQ (list, nullptr);
  EXPECT_EQ (refs (o.b), 1u);

  /* A type instance that is not an object. */
  GParamSpec *not_object = g_param_spec_ref_sink (
      g_param_spec_int ("n", "N", "b", 0, 1, 0, G_PARAM_READWRITE));
  GList *bad = g_list_append (nullptr, not_object);
  EXPECT_EQ (vorn_list_delete_link (bad, bad), bad);
  EXPECT_CRITICAL ("G_IS_OBJECT (link->data)");
  g_list_free (bad);
  EXPECT_EQ (vorn_list_append (nullptr, not_object), nullptr);
  g_param_spec_unref (not_object);
  EXPECT_CRITICAL ("G_IS_OBJECT (object)");
}

TEST (List, ValueSetCopiesTakeAdopts)
{
  Objects o;
  GList *list = vorn_list_append (nullptr, o.a);

  g_auto (GValue) value = G_VALUE_INIT;
  g_value_init (&value, VORN_TYPE_LIST);
  vorn_value_set_list (&value, list);
  EXPECT_NE (vorn_value_get_list (&value), list);
  EXPECT_EQ (refs (o.a), 3u);

  vorn_value_take_list (&value, list);   /* drops the copy, adopts list */
  EXPECT_EQ (vorn_value_get_list (&value), list);
  EXPECT_EQ (refs (o.a), 2u);

  GList *dup = vorn_value_dup_list (&value);
  EXPECT_EQ (refs (o.a), 3u);
  vorn_list_free (dup);

  g_value_unset (&value);
  EXPECT_EQ (refs (o.a), 1u);

  g_auto (GValue) ival = G_VALUE_INIT;
  g_value_init (&ival, G_TYPE_INT);
  EXPECT_EQ (vorn_value_get_list (&ival), nullptr);
  EXPECT_CRITICAL ("VORN_VALUE_HOLDS_LIST (value)");
}

TEST (List, ParamSpec)
{
  GParamSpec *pspec = g_param_spec_ref_sink (
      vorn_param_spec_list ("files", "Files", "Open files", G_TYPE_OBJECT,
                            G_PARAM_READWRITE));
  ASSERT_TRUE (VORN_IS_PARAM_SPEC_LIST (pspec));
  EXPECT_EQ (pspec->value_type, VORN_TYPE_LIST);
  EXPECT_EQ (VORN_PARAM_SPEC_LIST (pspec)->object_type, G_TYPE_OBJECT);
  g_param_spec_unref (pspec);

  EXPECT_EQ (vorn_param_spec_list ("n", "N", "b", G_TYPE_INT, G_PARAM_READWRITE), nullptr);
  EXPECT_CRITICAL ("g_type_is_a (object_type, G_TYPE_OBJECT)");
}

} // namespace
