/* test-list.cpp: VornList reference ownership and the list value type */
#include "vornadel.h"
#include "vorn-test-log.h"

#include <string>

namespace {

/* Objects created with one reference owned by the test. */
struct Objects {
  GObject *a = G_OBJECT (g_object_new (G_TYPE_OBJECT, nullptr));
  GObject *b = G_OBJECT (g_object_new (G_TYPE_OBJECT, nullptr));
  GObject *c = G_OBJECT (g_object_new (G_TYPE_OBJECT, nullptr));
  ~Objects () { g_object_unref (a); g_object_unref (b); g_object_unref (c); }
  /* Extra references held on a, b and c, e.g. "110". */
  std::string extra () const
  {
    std::string s;
    for (GObject *o : { a, b, c })
      s += char ('0' + g_atomic_int_get (&o->ref_count) - 1);
    return s;
  }
};

/* Every list operation and the list value type hold one reference per
 * entry, and give it back when the entry goes. */
TEST (List, OneReferencePerEntry)
{
  Objects o;
  GList *list = vorn_list_append (nullptr, o.a);
  list = vorn_list_insert (list, o.b, 0);
  list = vorn_list_insert_before (list, g_list_last (list), o.c);
  EXPECT_EQ (list->next->data, o.c);
  EXPECT_EQ (o.extra (), "111");

  g_auto (GValue) value = G_VALUE_INIT;
  g_value_init (&value, VORN_TYPE_LIST);
  vorn_value_set_list (&value, list);   /* copies */
  EXPECT_EQ (o.extra (), "222");
  vorn_value_take_list (&value, vorn_list_duplicate (list));   /* drops the copy, adopts */
  EXPECT_EQ (o.extra (), "222");
  g_value_unset (&value);
  EXPECT_EQ (o.extra (), "111");

  list = vorn_list_remove (list, o.a);
  EXPECT_EQ (o.extra (), "011");
  EXPECT_EQ (vorn_list_remove (list, o.a), list);   /* absent: untouched */
  EXPECT_CRITICAL ("g_list_find (glist, object)");
  list = vorn_list_delete_link (list, list);
  EXPECT_EQ (o.extra (), "001");
  vorn_list_free (list);
  EXPECT_EQ (o.extra (), "000");
}

} // namespace
