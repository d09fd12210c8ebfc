/* test-model-alone.cpp: the node model linked without the rest of the engine.
 * Node types of the layers above (waves, taps, mixes) are not linked in, so
 * loading relies on finding types by name alone. */
#include "vorn-file.h"
#include "vorn-init.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <string>

namespace {

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
