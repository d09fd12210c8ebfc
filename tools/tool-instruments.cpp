/* tool-instruments.cpp: choosing instruments of a file by name or index */
#include "tool-instruments.h"

std::vector<VornInst *>
tool_file_instruments (VornFile *file)
{
  std::vector<VornInst *> insts;
  for (VornNode *node = VORN_NODE (file)->children; node; node = node->next)
    if (VORN_IS_INST (node))
      insts.push_back (VORN_INST (node));
  return insts;
}

VornInst *
tool_find_instrument (const std::vector<VornInst *> &insts, const char *wanted,
                      std::string *available)
{
  std::string names;
  for (size_t i = 0; i < insts.size (); i++)
    {
      g_autofree char *name = nullptr;
      g_object_get (insts[i], "name", &name, nullptr);
      if (g_strcmp0 (name, wanted) == 0)
        return insts[i];
      names += (i ? ", " : "") + std::to_string (i) + " \"" + (name ? name : "") + "\"";
    }
  guint64 index = 0;
  if (g_ascii_string_to_unsigned (wanted, 10, 0, G_MAXUINT, &index, nullptr) && index < insts.size ())
    return insts[index];
  *available = names;
  return nullptr;
}
