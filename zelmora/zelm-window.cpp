/* zelm-window.cpp: the main window: template, the tree's selection feeding
 * the editors, the periodic task and the render thread's messages */
#include "zelm-window-private.h"

#include "zelm-level-meter.h"
#include "zelm-node-ctrl.h"
#include "zelm-piano.h"
#include "zelm-prop-editor.h"
#include "zelm-tap-recorder.h"
#include "zelm-wave-editor.h"

#include <cstring>
#include <ctime>

#define PERIODIC_MS 50

G_DEFINE_FINAL_TYPE (ZelmWindow, zelm_window, GTK_TYPE_APPLICATION_WINDOW)

/* --- periodic task ----------------------------------------------------------- */

static double
process_clock_ms (void)
{
  return double (clock ()) * 1000.0 / CLOCKS_PER_SEC;
}

static void
update_statistics (ZelmWindow *self)
{
  guint active = 0, peak = 0;
  vorn_synth_voice_stats (self->synth, &active, &peak, FALSE);
  if (!self->stats_shown || active != self->last_active || peak != self->last_peak)
    {
      guint max_voices = 0;
      g_object_get (self->synth, "max-voices", &max_voices, nullptr);
      char text[64];
      g_snprintf (text, sizeof text, "%03d/%03d/%03d", int (active), int (peak), int (max_voices));
      gtk_label_set_text (self->voice_label, text);
      self->last_active = active;
      self->last_peak = peak;
      self->stats_shown = TRUE;
    }

  double now_clock = process_clock_ms ();
  gint64 now_mono = g_get_monotonic_time ();
  if (now_mono > self->last_mono_us)
    {
      char text[32];
      g_snprintf (text, sizeof text, "%05.1f%%",
                  (now_clock - self->last_clock_ms) * 99999.99999999999 /
                      double (now_mono - self->last_mono_us));
      gtk_label_set_text (self->cpu_label, text);
    }
  self->last_clock_ms = now_clock;
  self->last_mono_us = now_mono;
}

static gboolean
periodic_task (gpointer data)
{
  auto *self = static_cast<ZelmWindow *> (data);

  int divider = 5;
  g_object_get (self->app, "stat-divider", &divider, nullptr);
  if (self->tick >= divider)
    {
      update_statistics (self);
      self->tick = 0;
    }
  else
    self->tick++;

  guint32 words[2];
  vorn_synth_read_peak_levels (self->synth, words, 2);
  float levels[2];
  memcpy (levels, words, sizeof levels);
  zelm_level_meter_set_values (ZELM_LEVEL_METER (self->level_meter), levels);
  zelm_tap_recorder_process (ZELM_TAP_RECORDER (self->tap_recorder));

  /* A drag ended outside the window, or under a grab: its step waits for
   * the button to come up. */
  zelm_edits_poll (self->edits);
  return G_SOURCE_CONTINUE;
}

/* Messages coming back from the render thread, as soon as they arrive: the
 * outbox is bounded, so it is drained by its own source, not by polling. */
static gboolean
outbox_message (VornSynth *, VornSynthMsg *msg, gpointer data)
{
  auto *self = static_cast<ZelmWindow *> (data);
  auto *recorder = self->tap_recorder ? ZELM_TAP_RECORDER (self->tap_recorder) : nullptr;
  /* Voice notifications hand over a queue reference; the recorder keeps
   * its own for the voices whose taps it captures. */
  if (msg->type == VORN_SYNTH_MSG_START_VOICE_NOTIFY && msg->start_voice_notify.queue)
    {
      if (recorder)
        zelm_tap_recorder_add_voice_queue (recorder, msg->start_voice_notify.queue);
      g_object_unref (msg->start_voice_notify.queue);
    }
  else if (msg->type == VORN_SYNTH_MSG_TAP_PAUSE && recorder)
    zelm_tap_recorder_pause_completed (recorder, msg->tap_pause.pause != FALSE);
  vorn_synth_msg_free (msg);
  return G_SOURCE_CONTINUE;
}

/* --- the tree and the editors ------------------------------------------------ */

static void
tree_selected (VornFile *file, VornInst *inst, VornNode *node, gpointer data)
{
  auto *self = static_cast<ZelmWindow *> (data);
  /* The row itself: a node, else the instrument or file row; nothing for
   * no row or several. */
  gpointer selected = node ? static_cast<gpointer> (node)
                           : inst ? static_cast<gpointer> (inst) : static_cast<gpointer> (file);
  zelm_prop_editor_set_object (ZELM_PROP_EDITOR (self->prop_editor), selected);
  zelm_node_ctrl_set_node (ZELM_NODE_CTRL (self->node_ctrl), inst ? VORN_NODE (inst) : nullptr);
  zelm_wave_editor_set_wave (ZELM_WAVE_EDITOR (self->wave_editor),
                             node && VORN_IS_WAVE (node) ? VORN_WAVE (node) : nullptr);
  /* The instrument of the selection is the one that plays. */
  if (inst)
    vorn_synth_set_inst (self->synth, 0, inst);
  if (self->edits)
    zelm_edits_watch (self->edits, file, inst, selected);
  zelm_window_update_actions (self);
}

static void
tree_edited (VornFile *file, gpointer data)
{
  auto *self = static_cast<ZelmWindow *> (data);
  if (self->edits)
    zelm_edits_touch (self->edits, file);
}

/* The tree asks before deleting the rows of modified files. */
static void
tree_close_check (GList *files, ZelmTreeCloseDone done, gpointer done_data, gpointer data)
{
  zelm_window_close_files (ZELM_WINDOW (data), files, done, done_data);
}

/* The editor changed its wave's curve or morph: the voices of the next note
 * compile from the curve cache, which must be rebuilt in the format the
 * synthesizer renders. */
static void
edited_wave_changed (ZelmWaveCanvas *canvas, GParamSpec *, ZelmWindow *self)
{
  VornWave *wave = nullptr;
  g_object_get (canvas, "wave", &wave, nullptr);
  /* The same wave again is an edit; another one is a new selection. */
  gboolean edit = wave && wave == self->edited_wave;
  self->edited_wave = wave;
  if (!wave)
    return;
  if (edit)
    if (VornNode *file = vorn_node_get_parent_by_type (VORN_NODE (wave), VORN_TYPE_FILE))
      zelm_edits_touch (self->edits, VORN_FILE (file));
  VornFormat format = VORN_FORMAT_SINGLE;
  g_object_get (self->synth, "audio-format", &format, nullptr);
  if (wave->curve)
    vorn_curve_cache_invalidate (wave->curve, format);
  if (wave->morph)
    vorn_morph_invalidate_cache (wave->morph);
  g_object_unref (wave);
}

static void
edits_state (VornFile *file, ZelmHistory *history, gpointer data)
{
  auto *self = static_cast<ZelmWindow *> (data);
  if (self->tree)
    zelm_tree_set_modified (self->tree, file, zelm_history_get_modified (history));
  zelm_window_update_actions (self);
}

/* Every open file has a history from the moment it is opened, so its first
 * state is the file as opened; closed files lose theirs. */
static void
files_changed (ZelmApp *app, GParamSpec *, ZelmWindow *self)
{
  zelm_edits_track (self->edits, zelm_app_get_files_no_copy (app));
}

static void
show_audio_state (ZelmWindow *self)
{
  gboolean enabled = TRUE;
  g_object_get (self->app, "audio-enabled", &enabled, nullptr);
  const char *error = zelm_app_get_audio_error (ZELM_APP (self->app));
  const char *midi_error = zelm_app_get_midi_error (ZELM_APP (self->app));
  g_autoptr (GString) text = g_string_new (nullptr);
  if (error)
    g_string_append_printf (text, "Audio output is off: %s", error);
  else if (!enabled)
    g_string_append (text, "Audio output is off: it was disabled on the command line.");
  if (midi_error)
    g_string_append_printf (text, "%sMIDI input is off: %s", text->len ? "\n" : "", midi_error);
  gtk_label_set_text (self->audio_info_label, text->str);
  gtk_widget_set_visible (GTK_WIDGET (self->audio_info_bar), text->len > 0);
  if (text->len > 0)
    gtk_widget_show_all (GTK_WIDGET (self->audio_info_bar));
}

/* Files that did not open (named on the command line, or sent by a second
 * start) are listed until the bar is closed. */
static void
show_open_errors (ZelmWindow *self)
{
  g_auto (GStrv) errors = zelm_app_take_open_errors (ZELM_APP (self->app));
  if (!errors)
    return;
  g_autoptr (GString) text = g_string_new (nullptr);
  if (gtk_widget_get_visible (GTK_WIDGET (self->open_info_bar)))
    g_string_append (text, gtk_label_get_text (self->open_info_label));
  else
    g_string_append (text, "Some files could not be opened:");
  for (char **e = errors; *e; e++)
    g_string_append_printf (text, "\n%s", *e);
  gtk_label_set_text (self->open_info_label, text->str);
  gtk_widget_show (GTK_WIDGET (self->open_info_bar));
}

static void
open_info_response (GtkInfoBar *bar, int, ZelmWindow *)
{
  gtk_widget_hide (GTK_WIDGET (bar));
}

/* The first instrument of the first file, so a key plays at once. */
static void
select_first_inst (ZelmWindow *self)
{
  for (GList *l = zelm_app_get_files_no_copy (ZELM_APP (self->app)); l; l = l->next)
    for (VornNode *n = VORN_NODE (l->data)->children; n; n = n->next)
      if (VORN_IS_INST (n))
        {
          zelm_tree_select (self->tree, n);
          return;
        }
}

/* The computer keyboard plays from anywhere in the window, with the keys
 * that neither a shortcut nor the focused widget took. */
static gboolean
window_key_press (GtkWidget *, GdkEventKey *event, ZelmWindow *self)
{
  return zelm_window_key_event (self, event);
}

/* Every release, handled or not, so the note of a held key ends. */
static void
window_event_after (GtkWidget *, GdkEvent *event, ZelmWindow *self)
{
  if (event->type == GDK_KEY_RELEASE)
    zelm_window_key_event (self, &event->key);
}

/* --- panes ------------------------------------------------------------------- */

/* The application's properties that keep the panes' positions. */
static const char *const pane_properties[2] = { "tree-width", "tree-height" };

static int
pane_index (ZelmWindow *self, GtkPaned *paned)
{
  return paned == self->panes[0] ? 0 : 1;
}

static int
pane_length (GtkPaned *paned)
{
  GtkWidget *w = GTK_WIDGET (paned);
  return gtk_orientable_get_orientation (GTK_ORIENTABLE (paned)) == GTK_ORIENTATION_HORIZONTAL
             ? gtk_widget_get_allocated_width (w)
             : gtk_widget_get_allocated_height (w);
}

static void
pane_allocated (GtkWidget *paned, GdkRectangle *, ZelmWindow *self)
{
  self->pane_lengths[pane_index (self, GTK_PANED (paned))] = pane_length (GTK_PANED (paned));
}

/* A new size moves the divider too, while the pane takes that size: only
 * a move within the same size is the user's, and remembered. */
static void
pane_moved (GtkPaned *paned, GParamSpec *, ZelmWindow *self)
{
  int i = pane_index (self, paned);
  if (pane_length (paned) != self->pane_lengths[i])
    return;
  g_object_set (self->app, pane_properties[i], gtk_paned_get_position (paned), nullptr);
  self->panes_moved = TRUE;
}

static void
panes_init (ZelmWindow *self)
{
  for (int i = 0; i < 2; i++)
    {
      int position = -1;
      g_object_get (self->app, pane_properties[i], &position, nullptr);
      if (position >= 0)
        gtk_paned_set_position (self->panes[i], position);
      g_signal_connect_after (self->panes[i], "size-allocate", G_CALLBACK (pane_allocated), self);
      g_signal_connect (self->panes[i], "notify::position", G_CALLBACK (pane_moved), self);
    }
}

/* The configuration keeps what the user moved; nothing else is written. */
static void
panes_save (ZelmWindow *self)
{
  if (!self->panes_moved || !self->app)
    return;
  self->panes_moved = FALSE;
  g_autoptr (GError) err = nullptr;
  if (!zelm_app_save_config (ZELM_APP (self->app), &err))
    g_warning ("Failed to save configuration file: %s", err->message);
}

/* Closing the window is quitting: the same question first. */
static gboolean
window_delete (GtkWidget *, GdkEvent *, ZelmWindow *self)
{
  g_action_group_activate_action (G_ACTION_GROUP (self->app), "quit", nullptr);
  return TRUE;
}

/* The shortcuts window, made once: the keys it lists are the same for
 * every window, and GTK leaves its key labels watching the settings after
 * they are destroyed. */
static GtkWidget *
shortcuts_window (void)
{
  static GtkWidget *window;
  if (!window)
    {
      g_autoptr (GtkBuilder) builder =
          gtk_builder_new_from_resource ("/org/zelmora/Zelmora/ui/zelm-shortcuts.ui");
      window = GTK_WIDGET (g_object_ref (gtk_builder_get_object (builder, "help_overlay")));
      /* A definition cannot name a themed icon: the mouse gesture gets it here. */
      g_autoptr (GIcon) mouse = g_themed_icon_new ("input-mouse-symbolic");
      g_object_set (gtk_builder_get_object (builder, "insert_point"), "icon", mouse, nullptr);
    }
  return window;
}

/* The default size suits a common laptop screen; a smaller screen (or a
 * large one at a scale of 2) gets a window that fits its work area. */
static void
fit_default_size (ZelmWindow *self)
{
  GdkDisplay *display = gtk_widget_get_display (GTK_WIDGET (self));
  GdkMonitor *monitor = gdk_display_get_primary_monitor (display);
  if (!monitor && gdk_display_get_n_monitors (display) > 0)
    monitor = gdk_display_get_monitor (display, 0);
  if (!monitor)
    return;
  GdkRectangle area;
  gdk_monitor_get_workarea (monitor, &area);
  int width = 0, height = 0;
  gtk_window_get_default_size (GTK_WINDOW (self), &width, &height);
  gtk_window_set_default_size (GTK_WINDOW (self), MIN (width, area.width * 95 / 100),
                               MIN (height, area.height * 95 / 100));
}

/* --- public ------------------------------------------------------------------ */

ZelmWindow *
zelm_window_new (ZelmAppGui *app)
{
  g_return_val_if_fail (ZELM_IS_APP_GUI (app), nullptr);
  auto *self = ZELM_WINDOW (g_object_new (ZELM_TYPE_WINDOW, "application", app, nullptr));
  self->app = app;
  self->synth = zelm_app_get_synth (ZELM_APP (app));
  self->keyboard = zelm_app_gui_get_keyboard (app);
  self->device_id = guint16 (vorn_synth_get_device_id (self->synth));

  /* The menu bar sits in the window, as the program always had it. */
  GtkWidget *menubar = gtk_menu_bar_new_from_model (self->menubar);
  gtk_box_pack_start (self->main_box, menubar, FALSE, TRUE, 0);
  gtk_box_reorder_child (self->main_box, menubar, 0);

  self->node_ctrl = zelm_node_ctrl_new (self->synth);
  gtk_widget_set_valign (self->node_ctrl, GTK_ALIGN_START);
  gtk_container_add (GTK_CONTAINER (self->ctrl_view_port), self->node_ctrl);
  self->piano = zelm_piano_new (self->synth);
  /* Small enough for the window to fit 960 × 540 (1920 × 1080 at a scale of 2). */
  gtk_widget_set_size_request (self->piano, -1, 80);
  gtk_box_pack_start (self->synth_box, self->piano, TRUE, TRUE, 0);
  /* Voice starts come back as messages, so the scope can follow the taps
   * of the voices that play. */
  g_object_set (self->synth, "start-voice-notify", TRUE, nullptr);
  self->tap_recorder = zelm_tap_recorder_new (self->synth);
  gtk_notebook_append_page (self->notebook, self->tap_recorder, gtk_label_new ("Scope"));
  g_signal_connect_object (zelm_wave_editor_get_canvas (ZELM_WAVE_EDITOR (self->wave_editor)),
                           "notify::wave", G_CALLBACK (edited_wave_changed), self,
                           GConnectFlags (0));

  zelm_window_actions_init (self);
  /* GTK's own "win.show-help-overlay" action shows it. */
  gtk_application_window_set_help_overlay (GTK_APPLICATION_WINDOW (self),
                                           GTK_SHORTCUTS_WINDOW (shortcuts_window ()));
  self->tree = zelm_tree_new (self->tree_view, ZELM_APP (app), tree_selected, tree_edited, self);
  zelm_tree_set_close_check (self->tree, tree_close_check, self);
  self->edits = zelm_edits_new (edits_state, self);
  zelm_edits_track (self->edits, zelm_app_get_files_no_copy (ZELM_APP (app)));
  g_signal_connect_object (app, "notify::files", G_CALLBACK (files_changed), self,
                           GConnectFlags (0));
  /* A restart from the preferences starts the drivers anew. */
  g_signal_connect_object (app, "notify::restart-needed", G_CALLBACK (show_audio_state), self,
                           G_CONNECT_SWAPPED);

  g_signal_connect_object (app, "open-failed", G_CALLBACK (show_open_errors), self,
                           G_CONNECT_SWAPPED);
  g_signal_connect (self->open_info_bar, "response", G_CALLBACK (open_info_response), self);

  fit_default_size (self);
  panes_init (self);
  gtk_widget_show_all (GTK_WIDGET (self));
  show_audio_state (self);
  show_open_errors (self);
  zelm_tree_fill (self->tree, zelm_app_get_files_no_copy (ZELM_APP (app)));
  select_first_inst (self);
  gtk_widget_grab_focus (GTK_WIDGET (self->tree_view));

  self->last_clock_ms = process_clock_ms ();
  self->last_mono_us = g_get_monotonic_time ();
  self->periodic_id = g_timeout_add (PERIODIC_MS, periodic_task, self);
  self->outbox_source = vorn_synth_outbox_source_new (self->synth);
  g_source_set_callback (self->outbox_source, G_SOURCE_FUNC (outbox_message), self, nullptr);
  g_source_attach (self->outbox_source, nullptr);
  return self;
}

void
zelm_window_stop (ZelmWindow *self)
{
  g_return_if_fail (ZELM_IS_WINDOW (self));
  panes_save (self);
  g_clear_handle_id (&self->periodic_id, g_source_remove);
  if (self->outbox_source)
    {
      /* What came back already holds voice queues: hand them over now. */
      while (VornSynthMsg *msg = vorn_synth_get_message (self->synth))
        outbox_message (self->synth, msg, self);
      g_source_destroy (self->outbox_source);
      g_clear_pointer (&self->outbox_source, g_source_unref);
    }
  g_clear_handle_id (&self->splash_timeout, g_source_remove);
  if (self->splash)
    gtk_widget_destroy (self->splash);
  /* The shortcuts window is shared: not destroyed with this one. */
  gtk_application_window_set_help_overlay (GTK_APPLICATION_WINDOW (self), nullptr);
  gtk_widget_hide (shortcuts_window ());
  gtk_window_set_transient_for (GTK_WINDOW (shortcuts_window ()), nullptr);
}

/* --- GObject ----------------------------------------------------------------- */

static void
zelm_window_dispose (GObject *object)
{
  ZelmWindow *self = ZELM_WINDOW (object);
  zelm_window_stop (self);
  if (self->app)
    g_signal_handlers_disconnect_by_data (self->app, self);
  g_clear_pointer (&self->tree, zelm_tree_free);
  g_clear_pointer (&self->edits, zelm_edits_free);
  g_clear_object (&self->synth);
  G_OBJECT_CLASS (zelm_window_parent_class)->dispose (object);
}

static void
zelm_window_class_init (ZelmWindowClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  GtkWidgetClass *widget_class = GTK_WIDGET_CLASS (klass);
  object_class->dispose = zelm_window_dispose;

  /* The template's own widgets must be known types before it is read. */
  g_type_ensure (ZELM_TYPE_PROP_EDITOR);
  g_type_ensure (ZELM_TYPE_WAVE_EDITOR);
  g_type_ensure (ZELM_TYPE_LEVEL_METER);

  gtk_widget_class_set_template_from_resource (widget_class,
                                               "/org/zelmora/Zelmora/ui/zelm-window.ui");
  gtk_widget_class_bind_template_child_full (widget_class, "menubar", FALSE,
                                             G_STRUCT_OFFSET (ZelmWindow, menubar));
#define BIND(id, member)                                                                         \
  gtk_widget_class_bind_template_child_full (widget_class, id, FALSE,                          \
                                             G_STRUCT_OFFSET (ZelmWindow, member))
  BIND ("MainBox", main_box);
  BIND ("AudioInfoBar", audio_info_bar);
  BIND ("AudioInfoLabel", audio_info_label);
  BIND ("OpenInfoBar", open_info_bar);
  BIND ("OpenInfoLabel", open_info_label);
  BIND ("TreeView", tree_view);
  BIND ("PropViewScrollWin", prop_view_scroll_win);
  BIND ("PropEditor", prop_editor);
  BIND ("WaveEditor", wave_editor);
  BIND ("CurveScopeNotebook", notebook);
  BIND ("CtrlViewPort", ctrl_view_port);
  BIND ("PanicButton", panic_button);
  BIND ("VoiceStatLabel", voice_label);
  BIND ("CpuStatLabel", cpu_label);
  BIND ("SynthBox", synth_box);
  BIND ("LevelMeter", level_meter);
  BIND ("MainPaned", panes[0]);
  BIND ("LeftPaned", panes[1]);
#undef BIND
}

static void
zelm_window_init (ZelmWindow *self)
{
  gtk_widget_init_template (GTK_WIDGET (self));
  gtk_window_maximize (GTK_WINDOW (self));
  g_signal_connect_after (self, "key-press-event", G_CALLBACK (window_key_press), self);
  g_signal_connect (self, "event-after", G_CALLBACK (window_event_after), self);
  g_signal_connect (self, "delete-event", G_CALLBACK (window_delete), self);
  gtk_widget_add_events (GTK_WIDGET (self), GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK);
}
