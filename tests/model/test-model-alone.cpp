/* test-model-alone.cpp: the node model linked without the rest of the engine.
 * Node types of the layers above (waves, taps, mixes) are not linked in, so
 * loading relies on finding types by name alone. */
#include "vorn-file.h"
#include "vorn-init.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

/* A stand-in registered under the tap's type name: the file loader knows taps
 * only by that name and their "size" property. */
struct StandInTap {
  VornNode parent_instance;
  gint size;
};

void
stand_in_tap_class_init (gpointer klass, gpointer)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  object_class->set_property = [] (GObject *object, guint, const GValue *value, GParamSpec *) {
    reinterpret_cast<StandInTap *> (object)->size = g_value_get_int (value);
  };
  object_class->get_property = [] (GObject *object, guint, GValue *value, GParamSpec *) {
    g_value_set_int (value, reinterpret_cast<StandInTap *> (object)->size);
  };
  g_object_class_install_property (object_class, 1,
    g_param_spec_int ("size", "Size", "Frames", 0, G_MAXINT, 0,
                      GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
}

void
register_tap ()
{
  if (!g_type_from_name ("VornTap"))
    g_type_register_static_simple (VORN_TYPE_NODE, "VornTap", sizeof (VornNodeClass),
                                   stand_in_tap_class_init, sizeof (StandInTap), nullptr,
                                   GTypeFlags (0));
}

std::string
file_with (const std::string &nodes)
{
  return R"({ "type" : "VornFile", "format" : "Vornadel:Waves", "format-version" : "1.0",
              "nodes" : [ )" + nodes + " ] }";
}

VornFile *
load (const std::string &text, GError **error)
{
  g_type_ensure (VORN_TYPE_FILE);
  return vorn_file_load_from_data (text.c_str (), guint32 (text.size ()), error);
}

} // namespace

/* Types of the layers above are simply unknown here: their nodes are dropped,
 * plain nodes load, and the file saves and loads again. */
TEST (ModelAlone, LoadsWithoutGeneratorTypes)
{
  g_autoptr (GError) error = nullptr;
  g_autoptr (VornFile) file = load (file_with (R"(
      { "type" : "VornNode", "name" : "a", "nodes" : [ { "type" : "VornWave", "name" : "w" } ] },
      { "type" : "VornNode", "name" : "b" })"), &error);
  ASSERT_NE (file, nullptr) << error->message;

  VornNode *a = VORN_NODE (file)->children;
  ASSERT_NE (a, nullptr);
  EXPECT_EQ (a->children, nullptr);
  ASSERT_NE (a->next, nullptr);

  g_autofree char *dir = g_dir_make_tmp ("zelmora-model-XXXXXX", nullptr);
  g_autofree char *path = g_build_filename (dir, "alone.vvi", nullptr);
  ASSERT_TRUE (vorn_file_save (file, path, &error)) << error->message;
  g_autoptr (VornFile) again = vorn_file_load (path, &error);
  ASSERT_NE (again, nullptr) << error->message;
  g_autofree char *name = nullptr;
  g_object_get (VORN_NODE (again)->children->next, "name", &name, nullptr);
  EXPECT_STREQ (name, "b");
  g_unlink (path);
  g_rmdir (dir);
}

/* The limit on tap memory finds taps by type name: with a class of that name
 * registered, an instrument whose taps are too large is refused. */
TEST (ModelAlone, TapLimitFindsTapsByName)
{
  register_tap ();
  const struct {
    const char *taps;
    bool loads;
  } cases[] = {
    { R"({ "type" : "VornTap", "size" : 4194304 }, { "type" : "VornTap", "size" : 4194304 })", true },
    { R"({ "type" : "VornTap", "size" : 4194304 }, { "type" : "VornTap", "size" : 4194305 })", false },
  };
  for (const auto &c : cases)
    {
      g_autoptr (GError) error = nullptr;
      g_autoptr (VornFile) file = load (file_with (R"({ "type" : "VornNode", "name" : "i", "nodes" : [ )"
                                                   + std::string (c.taps) + " ] }"),
                                        &error);
      EXPECT_EQ (file != nullptr, c.loads) << c.taps;
      if (!c.loads)
        {
          ASSERT_NE (error, nullptr);
          EXPECT_NE (strstr (error->message, "8388609 frames"), nullptr) << error->message;
        }
    }
}
