/* zelm-file-commands.cpp: the rules of the File menu, free of widgets */
#include "zelm-file-commands.h"

#include "zelm-close-flow.h"

#include <cstring>

ZelmSaveTarget
zelm_save_target (VornFile *selected, GList *files, VornFile **file)
{
  VornFile *target = selected ? selected : files && !files->next ? VORN_FILE (files->data) : nullptr;
  if (file)
    *file = target;
  return target ? ZELM_SAVE_TARGET_FILE : files ? ZELM_SAVE_TARGET_ASK : ZELM_SAVE_TARGET_NONE;
}

struct _ZelmFileChoice {
  GPtrArray *files; /* VornFile refs */
  guint preferred;
  ZelmFileChosen chosen;
  gpointer data;
};

ZelmFileChoice *
zelm_file_choice_new (GList *files, VornFile *preferred, ZelmFileChosen chosen, gpointer data)
{
  auto *choice = g_new0 (ZelmFileChoice, 1);
  choice->files = g_ptr_array_new_with_free_func (g_object_unref);
  for (GList *l = files; l; l = l->next)
    {
      if (l->data == preferred)
        choice->preferred = choice->files->len;
      g_ptr_array_add (choice->files, g_object_ref (l->data));
    }
  choice->chosen = chosen;
  choice->data = data;
  return choice;
}

void
zelm_file_choice_free (ZelmFileChoice *choice)
{
  if (!choice)
    return;
  zelm_file_choice_answer (choice, -1);
  g_ptr_array_unref (choice->files);
  g_free (choice);
}

guint
zelm_file_choice_count (ZelmFileChoice *choice)
{
  g_return_val_if_fail (choice, 0);
  return choice->files->len;
}

char *
zelm_file_choice_label (ZelmFileChoice *choice, guint index)
{
  g_return_val_if_fail (choice && index < choice->files->len, nullptr);
  auto *file = VORN_FILE (g_ptr_array_index (choice->files, index));
  g_autofree char *name = nullptr, *path = nullptr;
  g_object_get (file, "name", &name, "file-name", &path, nullptr);
  /* Two files may share a name (two copies of one bank): where they live
   * tells them apart. */
  if (!zelm_close_flow_has_path (file))
    return g_strdup_printf ("%s (not saved yet)", name);
  g_autofree char *where = g_filename_display_name (path);
  return g_strdup_printf ("%s (%s)", name, where);
}

guint
zelm_file_choice_get_default (ZelmFileChoice *choice)
{
  g_return_val_if_fail (choice, 0);
  return choice->preferred;
}

void
zelm_file_choice_answer (ZelmFileChoice *choice, int index)
{
  g_return_if_fail (choice);
  ZelmFileChosen chosen = choice->chosen;
  if (!chosen)
    return;
  choice->chosen = nullptr;
  VornFile *file = index >= 0 && guint (index) < choice->files->len
      ? VORN_FILE (g_ptr_array_index (choice->files, index))
      : nullptr;
  chosen (file, choice->data);
}

char *
zelm_file_name_from_path (const char *path)
{
  g_return_val_if_fail (path, nullptr);
  g_autofree char *base = g_path_get_basename (path);
  g_autofree char *name = g_filename_display_name (base);
  if (g_str_has_suffix (name, ".vvi") && strlen (name) > 4)
    name[strlen (name) - 4] = '\0';
  return g_steal_pointer (&name);
}

VornFile *
zelm_file_new_for_instrument (VornInst *inst, const char *path)
{
  g_return_val_if_fail (VORN_IS_INST (inst) && path, nullptr);
  VornFile *file = vorn_file_new ();
  g_autofree char *name = zelm_file_name_from_path (path);
  g_object_set (file, "name", name, nullptr);
  g_autoptr (VornNode) copy = vorn_node_duplicate (VORN_NODE (inst));
  vorn_node_insert (VORN_NODE (file), copy, -1);
  return file;
}

guint
zelm_file_import_instruments (VornFile *file, VornFile *source, ZelmNodeChange *change)
{
  g_return_val_if_fail (VORN_IS_FILE (file) && VORN_IS_FILE (source) && change, 0);
  guint count = 0;
  for (VornNode *node = VORN_NODE (source)->children; node; node = node->next)
    {
      if (!VORN_IS_INST (node))
        continue;
      g_autoptr (VornNode) copy = vorn_node_duplicate (node);
      vorn_node_insert (VORN_NODE (file), copy, -1);
      g_ptr_array_add (change->made, g_object_ref (copy));
      count++;
    }
  if (count > 0 && !g_ptr_array_find (change->files, file, nullptr))
    g_ptr_array_add (change->files, g_object_ref (file));
  return count;
}
