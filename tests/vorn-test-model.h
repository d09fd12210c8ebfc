/* vorn-test-model.h: builders and readers shared by the tests of nodes,
 * files, waves and morphs. */
#pragma once

#include "vornadel.h"

#include <json-glib/json-glib.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace vorn_test {

/* A new node of @type called @name (a reference the caller owns). */
inline VornNode *
named (const char *name, GType type = VORN_TYPE_NODE)
{
  return static_cast<VornNode *> (g_object_new (type, "name", name, nullptr));
}

/* Inserts @child and drops the caller's reference, as tree builders do. */
inline VornNode *
add (VornNode *parent, VornNode *child, int position = -1)
{
  vorn_node_insert (parent, child, position);
  g_object_unref (child);
  return child;
}

/* A string property, "(null)" when unset. */
inline std::string
get_string (gpointer object, const char *property = "name")
{
  g_autofree char *value = nullptr;
  g_object_get (object, property, &value, nullptr);
  return value ? value : "(null)";
}

/* The compact JSON form of a serialisable object. */
inline std::string
json_text (gpointer object)
{
  g_autoptr (JsonNode) json = json_gobject_serialize (G_OBJECT (object));
  g_autofree char *text = json_to_string (json, FALSE);
  return text;
}

/* (index, horizontal) of every morph entry, in array order; none for NULL. */
using MorphEntries = std::vector<std::pair<guint, bool>>;

inline MorphEntries
morph_entries (const VornMorph *morph)
{
  MorphEntries out;
  for (guint i = 0; morph && i < morph->count; i++)
    out.emplace_back (morph->points[i].index, morph->points[i].horizontal != 0);
  return out;
}

/* A temporary folder, removed with its contents. */
struct TempDir
{
  char *path = g_dir_make_tmp ("zelmora-test-XXXXXX", nullptr);
  ~TempDir ()
  {
    g_autofree char *cmd = g_strdup_printf ("rm -rf '%s'", path);
    (void) system (cmd);
    g_free (path);
  }
  std::string file (const char *name) const { return std::string (path) + "/" + name; }
};

/* The whole content of a file, "" when it cannot be read. */
inline std::string
read_text (const std::string &path)
{
  g_autofree char *text = nullptr;
  gsize length = 0;
  return g_file_get_contents (path.c_str (), &text, &length, nullptr) ? std::string (text, length) : "";
}

} // namespace vorn_test
