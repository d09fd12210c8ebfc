/* zelm-node-test.h: node names and look-ups shared by the node tree tests */
#pragma once

#include "vornadel.h"

#include <string>

namespace zelm_test {

inline std::string
name_of (VornNode *node)
{
  g_autofree char *name = nullptr;
  g_object_get (node, "name", &name, nullptr);
  return name ? name : "";
}

/* The first node named @name below @root (depth first), taps aside, or
 * NULL. */
inline VornNode *
named_node (VornNode *root, const std::string &name)
{
  for (VornNode *n = root->children; n; n = n->next)
    {
      if (!VORN_IS_TAP (n) && name_of (n) == name)
        return n;
      if (VornNode *found = VORN_IS_TAP (n) ? nullptr : named_node (n, name))
        return found;
    }
  return nullptr;
}

/* The nodes named in @names, separated by commas (NULL for an unknown
 * name); free with g_ptr_array_unref. */
inline GPtrArray *
named_nodes (VornNode *root, const char *names)
{
  GPtrArray *nodes = g_ptr_array_new ();
  g_auto (GStrv) parts = g_strsplit (names, ",", -1);
  for (char **p = parts; *p; p++)
    g_ptr_array_add (nodes, named_node (root, *p));
  return nodes;
}

} // namespace zelm_test
