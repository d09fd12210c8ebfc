/* zelm-close-flow.cpp: closing files that have unsaved changes */
#include "zelm-close-flow.h"

struct _ZelmCloseFlow {
  GList *files; /* VornFile refs still to save */
  const ZelmCloseFlowIface *iface;
  gpointer data;
  ZelmCloseDone done;
  gpointer done_data;
};

static void
finish (ZelmCloseFlow *flow, gboolean go)
{
  flow->done (go, flow->done_data);
  g_list_free_full (flow->files, g_object_unref);
  g_free (flow);
}

gboolean
zelm_close_flow_has_path (VornFile *file)
{
  g_autofree char *path = nullptr;
  g_object_get (file, "file-name", &path, nullptr);
  return path && g_path_is_absolute (path);
}

void
zelm_close_flow_start (GList *files, const ZelmCloseFlowIface *iface, gpointer data,
                       ZelmCloseDone done, gpointer done_data)
{
  auto *flow = g_new0 (ZelmCloseFlow, 1);
  flow->iface = iface;
  flow->data = data;
  flow->done = done;
  flow->done_data = done_data;
  for (GList *l = files; l; l = l->next)
    if (iface->modified (VORN_FILE (l->data), data))
      flow->files = g_list_prepend (flow->files, g_object_ref (l->data));
  flow->files = g_list_reverse (flow->files);
  if (!flow->files)
    finish (flow, TRUE);
  else
    iface->ask (flow, flow->files, data);
}

/* Saving goes file by file: a file without a place on disk asks for one,
 * and a cancelled or failed save closes nothing. */
void
zelm_close_flow_saved (ZelmCloseFlow *flow, gboolean saved)
{
  if (!saved)
    {
      finish (flow, FALSE);
      return;
    }
  while (flow->files)
    {
      g_autoptr (VornFile) file = VORN_FILE (flow->files->data);
      flow->files = g_list_delete_link (flow->files, flow->files);
      if (!flow->iface->modified (file, flow->data))
        continue;
      if (!zelm_close_flow_has_path (file))
        {
          flow->iface->save_as (flow, file, flow->data);
          return;
        }
      if (!flow->iface->save (file, flow->data))
        {
          finish (flow, FALSE);
          return;
        }
    }
  finish (flow, TRUE);
}

void
zelm_close_flow_answer (ZelmCloseFlow *flow, ZelmCloseAnswer answer)
{
  if (answer == ZELM_CLOSE_SAVE)
    zelm_close_flow_saved (flow, TRUE);
  else
    finish (flow, answer == ZELM_CLOSE_DISCARD);
}
