/* test-model-alone.cpp: the node model linked without the rest of the engine.
 * Node types of the layers above (waves, taps, mixes) are not linked in, so
 * loading relies on finding types by name alone. */
#include "vorn-file.h"
#include "vorn-init.h"

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

/* Types of the layers above are simply unknown here: their nodes are dropped
 * and plain nodes load. */
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
  EXPECT_EQ (a->next->next, nullptr);
}
