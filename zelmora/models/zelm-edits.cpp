/* zelm-edits.cpp: changes of open files become undo steps */
#include "zelm-edits.h"

#include <initializer_list>

struct _ZelmEdits {
  GHashTable *histories; /* VornFile (ref) -> ZelmHistory (ref) */
  GHashTable *pending;   /* VornFile (ref) touched since the last step */
  GPtrArray *watched;    /* GObject (ref) whose "notify" is watched */
  VornFile *watched_file;
  VornFile *last_file;
  guint idle_id;
  guint buttons;     /* held, as the events processed so far say */
  int released_polls; /* polls that found no button held on the server */
  gboolean restoring;
  ZelmEditsStateFunc state_func;
  gpointer user_data;
};

static void
history_state (ZelmHistory *history, GParamSpec *, ZelmEdits *edits)
{
  if (edits->state_func)
    edits->state_func (zelm_history_get_file (history), history, edits->user_data);
}

ZelmHistory *
zelm_edits_get_history (ZelmEdits *edits, VornFile *file)
{
  auto *history = static_cast<ZelmHistory *> (g_hash_table_lookup (edits->histories, file));
  if (history)
    return history;
  history = zelm_history_new (file);
  for (const char *signal : { "notify::can-undo", "notify::can-redo", "notify::modified" })
    g_signal_connect (history, signal, G_CALLBACK (history_state), edits);
  g_hash_table_insert (edits->histories, g_object_ref (file), history);
  return history;
}

void
zelm_edits_track (ZelmEdits *edits, GList *files)
{
  for (GList *l = files; l; l = l->next)
    zelm_edits_get_history (edits, VORN_FILE (l->data));
  GHashTableIter iter;
  gpointer file, history;
  g_hash_table_iter_init (&iter, edits->histories);
  while (g_hash_table_iter_next (&iter, &file, &history))
    if (!g_list_find (files, file))
      {
        g_signal_handlers_disconnect_by_data (history, edits);
        g_hash_table_remove (edits->pending, file);
        if (edits->last_file == file)
          g_clear_object (&edits->last_file);
        g_hash_table_iter_remove (&iter);
      }
}

/* Whether the server has a button down now.  It runs ahead of the events
 * processed so far, so it only unsticks a release that never came. */
static gboolean
server_button_held (void)
{
  GdkDisplay *display = gdk_display_get_default ();
  GdkDevice *pointer = display ? gdk_seat_get_pointer (gdk_display_get_default_seat (display))
                               : nullptr;
  if (!pointer)
    return FALSE;
  GdkModifierType mask = GdkModifierType (0);
  gdk_device_get_state (pointer, gdk_get_default_root_window (), nullptr, &mask);
  return (mask & (GDK_BUTTON1_MASK | GDK_BUTTON2_MASK | GDK_BUTTON3_MASK)) != 0;
}

static ZelmEdits *event_edits; /* the one tracker that watches the events */

static gboolean idle_commit (gpointer data);

static void
plain_event (GdkEvent *event, gpointer)
{
  gtk_main_do_event (event);
}

/* Sees every event before GTK does, to know whether a gesture is still
 * going on as of the event being handled, not as of the server's now. */
static void
track_event (GdkEvent *event, gpointer)
{
  if (ZelmEdits *edits = event_edits)
    {
      if (event->type == GDK_BUTTON_PRESS && event->button.button <= 32)
        edits->buttons |= 1u << (event->button.button - 1);
      else if (event->type == GDK_BUTTON_RELEASE && event->button.button <= 32)
        {
          edits->buttons &= ~(1u << (event->button.button - 1));
          if (!edits->buttons && g_hash_table_size (edits->pending) && !edits->idle_id)
            edits->idle_id = g_idle_add (idle_commit, edits);
        }
    }
  gtk_main_do_event (event);
}

static void
commit_pending (ZelmEdits *edits)
{
  GHashTableIter iter;
  gpointer file;
  g_hash_table_iter_init (&iter, edits->pending);
  while (g_hash_table_iter_next (&iter, &file, nullptr))
    if (zelm_history_commit (zelm_edits_get_history (edits, VORN_FILE (file))))
      {
        g_set_object (&edits->last_file, VORN_FILE (file));
      }
  g_hash_table_remove_all (edits->pending);
}

void
zelm_edits_poll (ZelmEdits *edits)
{
  if (edits->buttons && !server_button_held ())
    {
      /* A release lost to a grab or a closed window: give it a moment to
       * arrive before the gesture counts as over. */
      if (++edits->released_polls >= 3)
        edits->buttons = 0;
    }
  else
    edits->released_polls = 0;
  if (g_hash_table_size (edits->pending) && !edits->buttons)
    commit_pending (edits);
}

static gboolean
idle_commit (gpointer data)
{
  auto *edits = static_cast<ZelmEdits *> (data);
  edits->idle_id = 0;
  zelm_edits_poll (edits);
  return G_SOURCE_REMOVE;
}

void
zelm_edits_touch (ZelmEdits *edits, VornFile *file)
{
  if (edits->restoring || !file)
    return;
  zelm_edits_get_history (edits, file);
  g_hash_table_add (edits->pending, g_object_ref (file));
  if (!edits->idle_id)
    edits->idle_id = g_idle_add (idle_commit, edits);
}

void
zelm_edits_flush (ZelmEdits *edits)
{
  commit_pending (edits);
}

static void
watched_notify (GObject *, GParamSpec *, ZelmEdits *edits)
{
  zelm_edits_touch (edits, edits->watched_file);
}

static void
unwatch (ZelmEdits *edits)
{
  for (guint i = 0; i < edits->watched->len; i++)
    g_signal_handlers_disconnect_by_data (g_ptr_array_index (edits->watched, i), edits);
  g_ptr_array_set_size (edits->watched, 0);
  g_clear_object (&edits->watched_file);
}

static void
watch_one (ZelmEdits *edits, gpointer object)
{
  g_ptr_array_add (edits->watched, g_object_ref (object));
  g_signal_connect (object, "notify", G_CALLBACK (watched_notify), edits);
}

static gboolean
watch_node (VornNode *node, gpointer data)
{
  watch_one (static_cast<ZelmEdits *> (data), node);
  return TRUE;
}

void
zelm_edits_watch (ZelmEdits *edits, VornFile *file, VornInst *inst, gpointer selected)
{
  unwatch (edits);
  if (!file)
    return;
  edits->watched_file = VORN_FILE (g_object_ref (file));
  if (inst)
    vorn_node_pre_traverse (VORN_NODE (inst), watch_node, edits);
  if (selected && selected != static_cast<gpointer> (inst) &&
      !(VORN_IS_NODE (selected) && inst &&
        vorn_node_get_parent_by_type (VORN_NODE (selected), VORN_TYPE_INST) == VORN_NODE (inst)))
    watch_one (edits, selected);
}

gboolean
zelm_edits_undo (ZelmEdits *edits, VornFile *file, gboolean redo)
{
  commit_pending (edits);
  ZelmHistory *history = zelm_edits_get_history (edits, file);
  g_autoptr (GError) error = nullptr;
  edits->restoring = TRUE;
  gboolean done = redo ? zelm_history_redo (history, &error) : zelm_history_undo (history, &error);
  edits->restoring = FALSE;
  if (error)
    g_warning ("Cannot %s: %s", redo ? "redo" : "undo", error->message);
  if (done)
    g_set_object (&edits->last_file, file);
  return done;
}

VornFile *
zelm_edits_get_last_file (ZelmEdits *edits)
{
  return edits->last_file;
}

gboolean
zelm_edits_any_modified (ZelmEdits *edits)
{
  GHashTableIter iter;
  gpointer history;
  g_hash_table_iter_init (&iter, edits->histories);
  while (g_hash_table_iter_next (&iter, nullptr, &history))
    if (zelm_history_get_modified (ZELM_HISTORY (history)))
      return TRUE;
  return FALSE;
}

ZelmEdits *
zelm_edits_new (ZelmEditsStateFunc state_func, gpointer user_data)
{
  ZelmEdits *edits = g_new0 (ZelmEdits, 1);
  edits->histories = g_hash_table_new_full (g_direct_hash, g_direct_equal, g_object_unref,
                                            g_object_unref);
  edits->pending = g_hash_table_new_full (g_direct_hash, g_direct_equal, g_object_unref, nullptr);
  edits->watched = g_ptr_array_new_with_free_func (g_object_unref);
  edits->state_func = state_func;
  edits->user_data = user_data;
  if (!event_edits)
    {
      event_edits = edits;
      gdk_event_handler_set (track_event, nullptr, nullptr);
    }
  return edits;
}

void
zelm_edits_free (ZelmEdits *edits)
{
  if (!edits)
    return;
  g_clear_handle_id (&edits->idle_id, g_source_remove);
  if (event_edits == edits)
    {
      gdk_event_handler_set (plain_event, nullptr, nullptr);
      event_edits = nullptr;
    }
  unwatch (edits);
  GHashTableIter iter;
  gpointer history;
  g_hash_table_iter_init (&iter, edits->histories);
  while (g_hash_table_iter_next (&iter, nullptr, &history))
    g_signal_handlers_disconnect_by_data (history, edits);
  g_hash_table_destroy (edits->histories);
  g_hash_table_destroy (edits->pending);
  g_ptr_array_unref (edits->watched);
  g_clear_object (&edits->last_file);
  g_free (edits);
}
