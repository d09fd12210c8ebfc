/* zelmora-vvi: inspect and create instrument files from the command line.
 *
 *   zelmora-vvi show FILE.vvi    print the node tree of an instrument file
 *   zelmora-vvi demo FILE.vvi    write a small example file
 */
#include "vornadel.h"

#include <cstdio>
#include <cstring>

static gboolean
print_node (VornNode *node, gpointer)
{
  g_autofree char *name = nullptr;
  g_object_get (node, "name", &name, nullptr);
  guint level = vorn_node_level (node);
  g_print ("%*s%s \"%s\"", int (level * 2), "", G_OBJECT_TYPE_NAME (node), name);
  if (node->id)
    g_print (" #%u", node->id);
  if (node->mute)
    g_print (" (muted)");
  g_print ("\n");
  return TRUE;
}

static int
show (const char *path)
{
  g_autoptr (GError) error = nullptr;
  g_autoptr (VornFile) file = vorn_file_load (path, &error);
  if (!file)
    {
      g_printerr ("zelmora-vvi: %s\n", error->message);
      return 1;
    }

  g_autofree char *format = nullptr, *version = nullptr, *created = nullptr, *uuid = nullptr;
  guint next_id = 0;
  g_object_get (file, "format", &format, "format-version", &version, "software-created", &created,
                "uuid", &uuid, "next-id", &next_id, nullptr);
  g_print ("%s: %s %s, created by %s, uuid %s, next id %u\n", path, format, version,
           created ? created : "?", uuid ? uuid : "none", next_id);
  vorn_node_pre_traverse (VORN_NODE (file), print_node, nullptr);
  return 0;
}

static int
demo (const char *path)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  g_object_set (file, "name", "Demo bank", "author", "Zelmora", nullptr);

  const char *instruments[] = { "Soft pad", "Pluck" };
  for (const char *inst_name : instruments)
    {
      g_autoptr (VornNode) inst = vorn_node_new ();
      g_object_set (inst, "name", inst_name, nullptr);
      const char *parts[] = { "Attack", "Release", "Tone" };
      for (const char *part : parts)
        {
          g_autoptr (VornNode) child = vorn_node_new ();
          g_object_set (child, "name", part, nullptr);
          vorn_node_insert (inst, child, -1);
        }
      vorn_node_insert (VORN_NODE (file), inst, -1);
    }

  g_autoptr (GError) error = nullptr;
  if (!vorn_file_save (file, path, &error))
    {
      g_printerr ("zelmora-vvi: %s\n", error->message);
      return 1;
    }
  g_print ("wrote %s\n", path);
  return 0;
}

int
main (int argc, char **argv)
{
  vorn_init ("Zelmora 0.9.0");

  if (argc == 3 && strcmp (argv[1], "show") == 0)
    return show (argv[2]);
  if (argc == 3 && strcmp (argv[1], "demo") == 0)
    return demo (argv[2]);

  g_printerr ("Usage: zelmora-vvi show FILE.vvi\n"
              "       zelmora-vvi demo FILE.vvi\n");
  return argc == 2 && (strcmp (argv[1], "--help") == 0 || strcmp (argv[1], "-h") == 0) ? 0 : 2;
}
