/* zelm-app-gui.cpp: the application with its main window */
#include "zelm-app-gui.h"

#include "zelm-level-meter.h"
#include "zelm-piano.h"
#include "zelm-tap-recorder.h"
#include "zelm-prop-editor.h"
#include "zelm-node-ctrl.h"
#include "zelm-wave-editor.h"
#include "zelm-gen-view.h"
#include "zelm-prefs.h"
#include "zelm-tree.h"
#include "zelm-edits.h"

#include <cstring>
#include <ctime>

#define PERIODIC_MS 50
#define SPLASH_MS 3000
/* Where the version is drawn on the splash image: the centre of the text. */
#define SPLASH_TEXT_X 485.0
#define SPLASH_TEXT_Y 220.0

struct _ZelmAppGui {
  ZelmApp parent_instance;

  guint8 lower_note;
  guint8 upper_note;
  GArray *lower_keys; /* ZelmKeyBinding */
  GArray *upper_keys;
  char *gtk_theme;
  char *icon_theme;
  int stat_divider;

  GtkBuilder *builder;
  GtkWindow *window;
  ZelmTree *tree;
  ZelmEdits *edits;
  VornWave *edited_wave; /* compared only: the wave the editor showed last */
  GtkWidget *level_meter;
  GtkWidget *piano;
  GtkWidget *prop_editor;
  GtkWidget *node_ctrl;
  GtkWidget *wave_editor;
  GtkWidget *tap_recorder;
  GtkLabel *voice_label;
  GtkLabel *cpu_label;
  VornSynth *synth;

  guint periodic_id;
  GSource *outbox_source;
  int tick;
  guint last_active;
  guint last_peak;
  gboolean stats_shown;
  double last_clock_ms;
  gint64 last_mono_us;

  guint16 device_id;
  GtkWidget *splash; /* weak */
  GtkWidget *prefs;  /* weak */
  guint splash_timeout;
};

enum {
  PROP_0,
  PROP_LOWER_NOTE,
  PROP_UPPER_NOTE,
  PROP_LOWER_KEYS,
  PROP_UPPER_KEYS,
  PROP_GTK_THEME,
  PROP_ICON_THEME,
  PROP_STAT_DIVIDER,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];
static JsonSerializableIface *parent_serializable;

static void zelm_app_gui_serializable_init (JsonSerializableIface *iface);

G_DEFINE_FINAL_TYPE_WITH_CODE (ZelmAppGui, zelm_app_gui, ZELM_TYPE_APP,
                               G_IMPLEMENT_INTERFACE (JSON_TYPE_SERIALIZABLE,
                                                      zelm_app_gui_serializable_init))

static const char default_lower_keys[] = "zsxdcvgbhnjm,l.;/";
static const char default_upper_keys[] = "q2w3er5t6y7ui9o0p[=]";

/* --- key arrays ------------------------------------------------------------ */

static GArray *
bindings_new (void)
{
  return g_array_new (FALSE, TRUE, sizeof (ZelmKeyBinding));
}

static GArray *
bindings_from_chars (const char *chars)
{
  GArray *keys = bindings_new ();
  for (const char *c = chars; *c; c++)
    {
      ZelmKeyBinding b = { gdk_unicode_to_keyval (guchar (*c)), 0, 0 };
      g_array_append_val (keys, b);
    }
  return keys;
}

/* A GArray of unsigned-integer GValues, as the keys properties carry them. */
static GArray *
bindings_to_value_array (GArray *keys)
{
  GArray *out = g_array_sized_new (FALSE, TRUE, sizeof (GValue), keys->len);
  g_array_set_clear_func (out, reinterpret_cast<GDestroyNotify> (g_value_unset));
  for (guint i = 0; i < keys->len; i++)
    {
      GValue v = G_VALUE_INIT;
      g_value_init (&v, G_TYPE_UINT);
      g_value_set_uint (&v, g_array_index (keys, ZelmKeyBinding, i).keyval);
      g_array_append_val (out, v);
    }
  return out;
}

static GArray *
bindings_from_value_array (GArray *values)
{
  GArray *keys = bindings_new ();
  for (guint i = 0; values && i < values->len; i++)
    {
      GValue *v = &g_array_index (values, GValue, i);
      GValue u = G_VALUE_INIT;
      g_value_init (&u, G_TYPE_UINT);
      if (G_IS_VALUE (v) && g_value_transform (v, &u))
        {
          ZelmKeyBinding b = { g_value_get_uint (&u), 0, 0 };
          g_array_append_val (keys, b);
        }
      g_value_unset (&u);
    }
  return keys;
}

/* --- JsonSerializable: key arrays as GDK key names --------------------------- */

static gboolean
is_keys_property (const char *name)
{
  return strcmp (name, "lower-keys") == 0 || strcmp (name, "upper-keys") == 0;
}

static JsonNode *
serializable_serialize_property (JsonSerializable *serializable, const char *name,
                                 const GValue *value, GParamSpec *pspec)
{
  if (!is_keys_property (name))
    return parent_serializable->serialize_property (serializable, name, value, pspec);

  JsonArray *array = json_array_new ();
  auto *values = static_cast<GArray *> (g_value_get_boxed (value));
  for (guint i = 0; values && i < values->len; i++)
    {
      const char *key = gdk_keyval_name (g_value_get_uint (&g_array_index (values, GValue, i)));
      if (key)
        json_array_add_string_element (array, key);
    }
  JsonNode *node = json_node_new (JSON_NODE_ARRAY);
  json_node_take_array (node, array);
  return node;
}

static gboolean
serializable_deserialize_property (JsonSerializable *serializable, const char *name,
                                   GValue *value, GParamSpec *pspec, JsonNode *node)
{
  if (!is_keys_property (name))
    return parent_serializable->deserialize_property (serializable, name, value, pspec, node);

  GArray *values = g_array_new (FALSE, TRUE, sizeof (GValue));
  g_array_set_clear_func (values, reinterpret_cast<GDestroyNotify> (g_value_unset));
  JsonArray *array = JSON_NODE_HOLDS_ARRAY (node) ? json_node_get_array (node) : nullptr;
  for (guint i = 0; array && i < json_array_get_length (array); i++)
    {
      JsonNode *el = json_array_get_element (array, i);
      if (!JSON_NODE_HOLDS_VALUE (el) || json_node_get_value_type (el) != G_TYPE_STRING)
        {
          g_warning ("Invalid GDK key while reading config file");
          continue;
        }
      const char *key = json_node_get_string (el);
      guint keyval = gdk_keyval_from_name (key);
      if (keyval == GDK_KEY_VoidSymbol || keyval == 0)
        {
          g_warning ("Invalid GDK key '%s' while reading config file", key);
          continue;
        }
      GValue v = G_VALUE_INIT;
      g_value_init (&v, G_TYPE_UINT);
      g_value_set_uint (&v, keyval);
      g_array_append_val (values, v);
    }
  g_value_take_boxed (value, values);
  return TRUE;
}

static void
zelm_app_gui_serializable_init (JsonSerializableIface *iface)
{
  parent_serializable = static_cast<JsonSerializableIface *> (g_type_interface_peek_parent (iface));
  iface->list_properties = parent_serializable->list_properties;
  iface->find_property = parent_serializable->find_property;
  iface->get_property = parent_serializable->get_property;
  iface->set_property = parent_serializable->set_property;
  iface->serialize_property = serializable_serialize_property;
  iface->deserialize_property = serializable_deserialize_property;
}

/* --- computer keyboard ----------------------------------------------------- */

static void
set_note_prop (ZelmAppGui *self, int prop, int note)
{
  if (note >= 0 && note <= 127)
    g_object_set (self, properties[prop]->name, note, nullptr);
}

static gboolean
find_binding (GArray *keys, gboolean press, guint keyval, guint16 keycode, guint *index)
{
  for (guint i = 0; i < keys->len; i++)
    {
      const ZelmKeyBinding &b = g_array_index (keys, ZelmKeyBinding, i);
      if (press ? b.keyval == keyval : (b.pressed && b.keycode == keycode))
        {
          *index = i;
          return TRUE;
        }
    }
  return FALSE;
}

static void
window_event_after (GtkWidget *, GdkEvent *event, ZelmAppGui *self)
{
  if (event->type != GDK_KEY_PRESS && event->type != GDK_KEY_RELEASE)
    return;
  GdkEventKey *key = &event->key;
  gboolean press = event->type == GDK_KEY_PRESS;
  guint mods = key->state & gtk_accelerator_get_default_mod_mask ();

  /* Typing a name must not play notes. */
  if (press && GTK_IS_ENTRY (gtk_window_get_focus (self->window)))
    return;

  if (press && key->keyval == GDK_KEY_Escape && !mods)
    {
      vorn_synth_panic (self->synth);
      return;
    }

  if (press && mods)
    {
      if (mods != GDK_SHIFT_MASK)
        return;
      switch (key->keyval)
        {
        case GDK_KEY_Z:
          set_note_prop (self, PROP_LOWER_NOTE, self->lower_note - 12);
          break;
        case GDK_KEY_S:
          set_note_prop (self, PROP_LOWER_NOTE, self->lower_note + 12);
          break;
        case GDK_KEY_Q:
          set_note_prop (self, PROP_UPPER_NOTE, self->upper_note - 12);
          break;
        case GDK_KEY_at:
          set_note_prop (self, PROP_UPPER_NOTE, self->upper_note + 12);
          break;
        default:
          break;
        }
      return;
    }

  GArray *keys = self->lower_keys;
  guint start = self->lower_note;
  guint index = 0;
  if (!find_binding (keys, press, key->keyval, key->hardware_keycode, &index))
    {
      keys = self->upper_keys;
      start = self->upper_note;
      if (!find_binding (keys, press, key->keyval, key->hardware_keycode, &index))
        return;
    }

  ZelmKeyBinding &b = g_array_index (keys, ZelmKeyBinding, index);
  if (press)
    {
      guint note = start + index;
      if (note > 127 || b.pressed)
        return;
      b.keycode = key->hardware_keycode;
      b.note = guint8 (note);
      b.pressed = TRUE;
      vorn_synth_note_on (self->synth, self->device_id, b.keycode, 0, b.note, 127, nullptr);
      if (self->piano)
        zelm_piano_note_on (ZELM_PIANO (self->piano), self->device_id, b.keycode, 0, b.note);
    }
  else
    {
      /* The note the press played, not start + index now: an octave change
       * while the key is held must not leave the voice sounding. */
      vorn_synth_note_off (self->synth, self->device_id, b.keycode, 0, b.note, 127);
      if (self->piano)
        zelm_piano_note_off (ZELM_PIANO (self->piano), self->device_id, b.keycode, 0, b.note);
      b.pressed = FALSE;
    }
}

/* --- periodic task ----------------------------------------------------------- */

static double
process_clock_ms (void)
{
  return double (clock ()) * 1000.0 / CLOCKS_PER_SEC;
}

static void
update_statistics (ZelmAppGui *self)
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
  auto *self = static_cast<ZelmAppGui *> (data);

  if (self->tick >= self->stat_divider)
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
  if (self->level_meter)
    zelm_level_meter_set_values (ZELM_LEVEL_METER (self->level_meter), levels);

  if (self->tap_recorder)
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
  auto *self = static_cast<ZelmAppGui *> (data);
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

/* --- splash screen and about dialog ------------------------------------------ */

static gboolean
splash_draw (GtkWidget *area, cairo_t *cr, GdkPixbuf *image)
{
  if (image)
    {
      gdk_cairo_set_source_pixbuf (cr, image, 0, 0);
      cairo_paint (cr);
    }
  else
    {
      cairo_set_source_rgb (cr, 0.05, 0.08, 0.16);
      cairo_paint (cr);
    }

  PangoLayout *layout = gtk_widget_create_pango_layout (area, ZELM_VERSION);
  PangoFontDescription *font = pango_font_description_from_string ("Arial");
  pango_font_description_set_absolute_size (font, 22 * PANGO_SCALE);
  pango_layout_set_font_description (layout, font);
  pango_layout_set_alignment (layout, PANGO_ALIGN_CENTER);
  int w = 0, h = 0;
  pango_layout_get_pixel_size (layout, &w, &h);
  cairo_set_source_rgb (cr, 1, 1, 1);
  cairo_move_to (cr, SPLASH_TEXT_X - w / 2.0, SPLASH_TEXT_Y - h / 2.0);
  pango_cairo_show_layout (cr, layout);
  pango_font_description_free (font);
  g_object_unref (layout);
  return TRUE;
}

static void
splash_close (ZelmAppGui *self)
{
  if (self->splash)
    gtk_widget_destroy (self->splash);
}

static gboolean
splash_timeout (gpointer data)
{
  auto *self = static_cast<ZelmAppGui *> (data);
  self->splash_timeout = 0;
  splash_close (self);
  return G_SOURCE_REMOVE;
}

/* The start-up splash stays its full time on screen, counted from when it
 * appears: a slow start must not eat it up. */
static gboolean
splash_mapped (GtkWidget *, GdkEvent *, ZelmAppGui *self)
{
  if (!self->splash_timeout)
    self->splash_timeout = g_timeout_add (SPLASH_MS, splash_timeout, self);
  return FALSE;
}

static void
splash_destroyed (GtkWidget *, ZelmAppGui *self)
{
  self->splash = nullptr;
  if (self->splash_timeout)
    {
      g_source_remove (self->splash_timeout);
      self->splash_timeout = 0;
    }
}

static gboolean
splash_button_press (GtkWidget *, GdkEvent *, ZelmAppGui *self)
{
  splash_close (self);
  return TRUE;
}

/* A key closes the splash and still plays: the first key after start makes
 * sound.  Its release reaches the main window, which finds it by key code. */
static gboolean
splash_key_press (GtkWidget *splash, GdkEvent *event, ZelmAppGui *self)
{
  splash_close (self);
  /* Shortcuts such as Ctrl+Q still work while it is shown. */
  guint mods = event->key.state & gtk_accelerator_get_default_mod_mask ();
  if (mods & ~GDK_SHIFT_MASK)
    gtk_window_activate_key (self->window, &event->key);
  else
    window_event_after (splash, event, self);
  return TRUE;
}

static void
show_splash (ZelmAppGui *self, gboolean startup)
{
  /* Asking again while one is shown closes it. */
  if (self->splash)
    {
      splash_close (self);
      return;
    }

  g_autofree char *path = zelm_app_get_resource_path (ZELM_APP (self), "ui/zelmora-splash.png");
  g_autoptr (GError) err = nullptr;
  GdkPixbuf *image = gdk_pixbuf_new_from_file (path, &err);
  if (!image)
    g_message ("Splash image missing: %s", err->message);

  GtkWidget *win = gtk_window_new (GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title (GTK_WINDOW (win), "Zelmora");
  gtk_window_set_decorated (GTK_WINDOW (win), FALSE);
  gtk_window_set_resizable (GTK_WINDOW (win), FALSE);
  gtk_window_set_modal (GTK_WINDOW (win), TRUE);
  gtk_window_set_type_hint (GTK_WINDOW (win), GDK_WINDOW_TYPE_HINT_SPLASHSCREEN);
  gtk_window_set_transient_for (GTK_WINDOW (win), self->window);
  gtk_window_set_position (GTK_WINDOW (win), GTK_WIN_POS_CENTER_ON_PARENT);

  GtkWidget *area = gtk_drawing_area_new ();
  gtk_widget_set_size_request (area, image ? gdk_pixbuf_get_width (image) : 600,
                               image ? gdk_pixbuf_get_height (image) : 340);
  /* The image lives as long as the drawing area. */
  g_signal_connect_data (area, "draw", G_CALLBACK (splash_draw), image,
                         reinterpret_cast<GClosureNotify> (+[] (gpointer data, GClosure *) {
                           if (data)
                             g_object_unref (data);
                         }),
                         GConnectFlags (0));
  gtk_container_add (GTK_CONTAINER (win), area);

  gtk_widget_add_events (win, GDK_BUTTON_PRESS_MASK | GDK_KEY_PRESS_MASK);
  g_signal_connect (win, "button-press-event", G_CALLBACK (splash_button_press), self);
  g_signal_connect (win, "key-press-event", G_CALLBACK (splash_key_press), self);
  g_signal_connect (win, "destroy", G_CALLBACK (splash_destroyed), self);

  if (startup)
    g_signal_connect (win, "map-event", G_CALLBACK (splash_mapped), self);

  self->splash = win;
  gtk_widget_show_all (win);
}

static void
show_about (ZelmAppGui *self)
{
  g_autofree char *ui = zelm_app_get_resource_path (ZELM_APP (self), "ui/AboutDialog.ui");
  g_autoptr (GtkBuilder) builder = gtk_builder_new ();
  g_autoptr (GError) err = nullptr;
  if (!gtk_builder_add_from_file (builder, ui, &err))
    {
      g_warning ("Failed to load '%s': %s", ui, err->message);
      return;
    }
  GtkWidget *dialog = GTK_WIDGET (gtk_builder_get_object (builder, "AboutDialog"));
  g_autofree char *header = zelm_app_get_resource_path (ZELM_APP (self), "ui/zelmora-header.png");
  gtk_image_set_from_file (GTK_IMAGE (gtk_builder_get_object (builder, "HeaderImage")), header);
  gtk_label_set_markup (GTK_LABEL (gtk_builder_get_object (builder, "LabelAbout")),
                        "<span size=\"x-large\" weight=\"bold\">Zelmora</span>\n"
                        "Version " ZELM_VERSION);
  g_signal_connect_swapped (gtk_builder_get_object (builder, "BtnClose"), "clicked",
                            G_CALLBACK (gtk_widget_destroy), dialog);
  gtk_window_set_transient_for (GTK_WINDOW (dialog), self->window);
  gtk_window_set_application (GTK_WINDOW (dialog), GTK_APPLICATION (self));
  gtk_widget_show_all (dialog);
}

/* --- files ------------------------------------------------------------------- */

static void
error_dialog (ZelmAppGui *self, const char *format, const char *path, const char *message)
{
  GtkWidget *dialog = gtk_message_dialog_new (
      self->window, GtkDialogFlags (GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, format, path, message);
  g_signal_connect (dialog, "response", G_CALLBACK (gtk_widget_destroy), nullptr);
  gtk_widget_show (dialog);
}

static void
add_vvi_filters (GtkFileChooser *chooser)
{
  GtkFileFilter *vvi = gtk_file_filter_new ();
  gtk_file_filter_set_name (vvi, "Zelmora instruments (*.vvi)");
  gtk_file_filter_add_pattern (vvi, "*.vvi");
  gtk_file_chooser_add_filter (chooser, vvi);
  GtkFileFilter *all = gtk_file_filter_new ();
  gtk_file_filter_set_name (all, "All files");
  gtk_file_filter_add_pattern (all, "*");
  gtk_file_chooser_add_filter (chooser, all);
}

static void
open_path (ZelmAppGui *self, const char *path)
{
  g_autoptr (GError) err = nullptr;
  g_autoptr (VornFile) file = vorn_file_load (path, &err);
  if (!file)
    {
      error_dialog (self, "Error occurred opening file '%s': %s", path, err->message);
      return;
    }
  zelm_app_add_file (ZELM_APP (self), file);
  zelm_tree_add_node (self->tree, VORN_NODE (file));
}

/* What comes after a save that asked for a file name (closing goes on with
 * the next file). */
typedef void (*SavedFunc) (ZelmAppGui *self, gboolean saved, gpointer data);

/* Saves @file under @path (NULL: its own name); the state saved is the one
 * the history marks as on disk. */
static gboolean
save_to (ZelmAppGui *self, VornFile *file, const char *path)
{
  zelm_edits_flush (self->edits);
  g_autoptr (GError) err = nullptr;
  if (!vorn_file_save (file, path, &err))
    {
      zelm_history_restamp (zelm_edits_get_history (self->edits, file));
      g_autofree char *name = nullptr;
      if (!path)
        g_object_get (file, "file-name", &name, nullptr);
      error_dialog (self, "Error occurred saving file '%s': %s", path ? path : name, err->message);
      return FALSE;
    }
  zelm_history_set_saved (zelm_edits_get_history (self->edits, file));
  return TRUE;
}

static void
finish_save_as (ZelmAppGui *self, GtkWidget *chooser, gboolean saved)
{
  auto then = reinterpret_cast<SavedFunc> (g_object_get_data (G_OBJECT (chooser), "zelm-then"));
  gpointer data = g_object_get_data (G_OBJECT (chooser), "zelm-then-data");
  gtk_widget_destroy (chooser);
  if (then)
    then (self, saved, data);
}

static gboolean
save_chosen (ZelmAppGui *self, GtkWidget *chooser)
{
  auto *file = static_cast<VornFile *> (g_object_get_data (G_OBJECT (chooser), "zelm-file"));
  g_autofree char *path = gtk_file_chooser_get_filename (GTK_FILE_CHOOSER (chooser));
  return file && path && save_to (self, file, path);
}

static void
replace_response (GtkDialog *ask, int response, ZelmAppGui *self)
{
  auto *chooser = static_cast<GtkWidget *> (g_object_get_data (G_OBJECT (ask), "zelm-chooser"));
  gtk_widget_destroy (GTK_WIDGET (ask));
  /* Cancel leaves the chooser open for another name. */
  if (response == GTK_RESPONSE_ACCEPT)
    finish_save_as (self, chooser, save_chosen (self, chooser));
}

/* Save As answers asynchronously so the main loop (and the periodic task)
 * keeps running while the chooser is open; the question before replacing a
 * file is asked the same way, not in a nested loop. */
static void
save_as_response (GtkDialog *chooser, int response, ZelmAppGui *self)
{
  if (response != GTK_RESPONSE_ACCEPT)
    {
      finish_save_as (self, GTK_WIDGET (chooser), FALSE);
      return;
    }
  g_autofree char *path = gtk_file_chooser_get_filename (GTK_FILE_CHOOSER (chooser));
  if (path && g_file_test (path, G_FILE_TEST_EXISTS))
    {
      g_autofree char *base = g_filename_display_basename (path);
      GtkWidget *ask = gtk_message_dialog_new (
          GTK_WINDOW (chooser), GtkDialogFlags (GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
          GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE,
          "A file named \u201c%s\u201d already exists.  Do you want to replace it?", base);
      gtk_message_dialog_format_secondary_text (GTK_MESSAGE_DIALOG (ask),
                                                "Replacing it will overwrite its contents.");
      gtk_dialog_add_buttons (GTK_DIALOG (ask), "_Cancel", GTK_RESPONSE_CANCEL, "_Replace",
                              GTK_RESPONSE_ACCEPT, nullptr);
      gtk_dialog_set_default_response (GTK_DIALOG (ask), GTK_RESPONSE_CANCEL);
      g_object_set_data (G_OBJECT (ask), "zelm-chooser", chooser);
      g_signal_connect_object (ask, "response", G_CALLBACK (replace_response), self,
                               GConnectFlags (0));
      gtk_widget_show (ask);
      return;
    }
  finish_save_as (self, GTK_WIDGET (chooser), save_chosen (self, GTK_WIDGET (chooser)));
}

static void
save_file_as (ZelmAppGui *self, VornFile *file, SavedFunc then = nullptr, gpointer data = nullptr)
{
  GtkWidget *chooser = gtk_file_chooser_dialog_new (
      "Save File", self->window, GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel", GTK_RESPONSE_CANCEL,
      "_Save", GTK_RESPONSE_ACCEPT, nullptr);
  gtk_window_set_modal (GTK_WINDOW (chooser), TRUE);
  /* Enter in the name field saves, as users expect. */
  gtk_dialog_set_default_response (GTK_DIALOG (chooser), GTK_RESPONSE_ACCEPT);
  add_vvi_filters (GTK_FILE_CHOOSER (chooser));
  g_autofree char *current = nullptr;
  g_object_get (file, "file-name", &current, nullptr);
  if (current && g_path_is_absolute (current))
    gtk_file_chooser_set_filename (GTK_FILE_CHOOSER (chooser), current);
  else
    {
      g_autofree char *name = nullptr;
      g_object_get (file, "name", &name, nullptr);
      g_autofree char *suggested = g_strconcat (name && *name ? name : "Untitled", ".vvi", nullptr);
      gtk_file_chooser_set_current_name (GTK_FILE_CHOOSER (chooser), suggested);
    }
  g_object_set_data_full (G_OBJECT (chooser), "zelm-file", g_object_ref (file), g_object_unref);
  g_object_set_data (G_OBJECT (chooser), "zelm-then", reinterpret_cast<gpointer> (then));
  g_object_set_data (G_OBJECT (chooser), "zelm-then-data", data);
  g_signal_connect_object (chooser, "response", G_CALLBACK (save_as_response), self,
                           GConnectFlags (0));
  gtk_widget_show (chooser);
}

static void
open_response (GtkDialog *chooser, int response, ZelmAppGui *self)
{
  g_autofree char *path = response == GTK_RESPONSE_ACCEPT
      ? gtk_file_chooser_get_filename (GTK_FILE_CHOOSER (chooser))
      : nullptr;
  gtk_widget_destroy (GTK_WIDGET (chooser));
  if (path)
    open_path (self, path);
}

/* --- unsaved changes and undo ------------------------------------------------ */

static void destroy_windows (ZelmAppGui *self);

static gboolean
quit_idle (gpointer data)
{
  auto *self = static_cast<ZelmAppGui *> (data);
  destroy_windows (self);
  g_application_quit (G_APPLICATION (self));
  return G_SOURCE_REMOVE;
}

/* The windows go right away, as the user asked, and the loop ends after;
 * not inside the handler that asked, whose menu item or dialog is about to
 * be destroyed with them. */
static void
quit_now (ZelmAppGui *self)
{
  g_idle_add_full (G_PRIORITY_HIGH, quit_idle, g_object_ref (self), g_object_unref);
}

static gboolean
has_path (VornFile *file)
{
  g_autofree char *path = nullptr;
  g_object_get (file, "file-name", &path, nullptr);
  return path && g_path_is_absolute (path);
}

static GList *
modified_files (ZelmAppGui *self)
{
  zelm_edits_flush (self->edits);
  GList *files = nullptr;
  for (GList *l = zelm_app_get_files_no_copy (ZELM_APP (self)); l; l = l->next)
    if (zelm_history_get_modified (zelm_edits_get_history (self->edits, VORN_FILE (l->data))))
      files = g_list_append (files, l->data);
  return files;
}

/* Closing files with unsaved changes: quitting (no @done), or deleting the
 * files' rows in the tree. */
struct CloseRequest {
  ZelmAppGui *self;
  GList *files;           /* VornFile refs still to save */
  ZelmTreeCloseDone done; /* NULL: quit */
  gpointer done_data;
};

static CloseRequest *
close_request_new (ZelmAppGui *self, GList *files, ZelmTreeCloseDone done, gpointer done_data)
{
  auto *req = g_new0 (CloseRequest, 1);
  req->self = self;
  for (GList *l = files; l; l = l->next)
    req->files = g_list_prepend (req->files, g_object_ref (l->data));
  req->files = g_list_reverse (req->files);
  req->done = done;
  req->done_data = done_data;
  return req;
}

/* Ends @req: a close that goes ahead quits or closes the files; one that
 * does not leaves everything open. */
static void
close_request_finish (CloseRequest *req, gboolean go)
{
  if (req->done)
    req->done (go, req->done_data);
  else if (go)
    quit_now (req->self);
  g_list_free_full (req->files, g_object_unref);
  g_free (req);
}

/* Saving before closing goes file by file: a file without a place on disk
 * asks for one, and a cancelled or failed save closes nothing. */
static void
save_next_then_close (ZelmAppGui *self, gboolean saved, gpointer data)
{
  auto *req = static_cast<CloseRequest *> (data);
  if (!saved)
    {
      close_request_finish (req, FALSE);
      return;
    }
  while (req->files)
    {
      g_autoptr (VornFile) file = VORN_FILE (req->files->data);
      req->files = g_list_delete_link (req->files, req->files);
      if (!zelm_history_get_modified (zelm_edits_get_history (self->edits, file)))
        continue;
      if (!has_path (file))
        {
          save_file_as (self, file, save_next_then_close, req);
          return;
        }
      if (!save_to (self, file, nullptr))
        {
          close_request_finish (req, FALSE);
          return;
        }
    }
  close_request_finish (req, TRUE);
}

static void
close_response (GtkDialog *dialog, int response, ZelmAppGui *self)
{
  auto *req = static_cast<CloseRequest *> (g_object_steal_data (G_OBJECT (dialog), "zelm-close"));
  gtk_widget_destroy (GTK_WIDGET (dialog));
  if (!req)
    return;
  if (response == GTK_RESPONSE_YES)
    save_next_then_close (self, TRUE, req);
  else
    close_request_finish (req, response == GTK_RESPONSE_NO);
}

/* A dialog gone unanswered (its window closed) closes nothing. */
static void
close_request_drop (gpointer data)
{
  close_request_finish (static_cast<CloseRequest *> (data), FALSE);
}

/* Asks whether to save @files (modified, not empty) before closing them;
 * the answer goes to @req. */
static void
ask_before_closing (ZelmAppGui *self, CloseRequest *req)
{
  g_autofree char *primary = nullptr;
  if (!req->files->next)
    {
      g_autofree char *name = nullptr;
      g_object_get (req->files->data, "name", &name, nullptr);
      primary = g_strdup_printf ("Save changes to \u201c%s\u201d before closing?", name);
    }
  else
    primary = g_strdup_printf ("Save changes to %u files before closing?",
                               g_list_length (req->files));
  GtkWidget *dialog = gtk_message_dialog_new (
      self->window, GtkDialogFlags (GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE, "%s", primary);
  gtk_message_dialog_format_secondary_text (GTK_MESSAGE_DIALOG (dialog),
                                            "Changes that are not saved will be lost.");
  gtk_dialog_add_buttons (GTK_DIALOG (dialog), "Close _without Saving", GTK_RESPONSE_NO,
                          "_Cancel", GTK_RESPONSE_CANCEL, "_Save", GTK_RESPONSE_YES, nullptr);
  gtk_dialog_set_default_response (GTK_DIALOG (dialog), GTK_RESPONSE_YES);
  gtk_widget_set_name (dialog, "CloseDialog");
  g_object_set_data_full (G_OBJECT (dialog), "zelm-close", req, close_request_drop);
  g_signal_connect_object (dialog, "response", G_CALLBACK (close_response), self,
                           GConnectFlags (0));
  gtk_widget_show (dialog);
}

/* Returns: TRUE when nothing is unsaved and the application may quit now;
 * otherwise asks, and the answer quits, saves first or does nothing. */
static gboolean
confirm_close (ZelmAppGui *self)
{
  g_autoptr (GList) files = modified_files (self);
  if (!files)
    return TRUE;
  ask_before_closing (self, close_request_new (self, files, nullptr, nullptr));
  return FALSE;
}

/* The tree asks before deleting the rows of modified files. */
static void
tree_close_check (GList *files, ZelmTreeCloseDone done, gpointer done_data, gpointer data)
{
  auto *self = static_cast<ZelmAppGui *> (data);
  zelm_edits_flush (self->edits);
  ask_before_closing (self, close_request_new (self, files, done, done_data));
}

static gboolean
window_delete (GtkWidget *, GdkEvent *, ZelmAppGui *self)
{
  if (!confirm_close (self))
    return TRUE;
  quit_now (self);
  return TRUE;
}

static VornFile *
undo_target (ZelmAppGui *self)
{
  VornFile *file = zelm_tree_get_current_file (self->tree);
  return file ? file : zelm_edits_get_last_file (self->edits);
}

/* Title and Edit menu for the selected file (else the last one changed). */
static void
update_edit_state (ZelmAppGui *self)
{
  if (!self->builder)
    return;
  VornFile *target = undo_target (self);
  ZelmHistory *history = target ? zelm_edits_get_history (self->edits, target) : nullptr;
  gtk_widget_set_sensitive (GTK_WIDGET (gtk_builder_get_object (self->builder, "MenuEditUndo")),
                            history && zelm_history_can_undo (history));
  gtk_widget_set_sensitive (GTK_WIDGET (gtk_builder_get_object (self->builder, "MenuEditRedo")),
                            history && zelm_history_can_redo (history));

  VornFile *file = zelm_tree_get_current_file (self->tree);
  g_autofree char *title = nullptr;
  if (file)
    {
      g_autofree char *name = nullptr;
      g_object_get (file, "name", &name, nullptr);
      gboolean modified = zelm_history_get_modified (zelm_edits_get_history (self->edits, file));
      title = g_strdup_printf ("%s%s \u2014 Zelmora", name, modified ? " *" : "");
    }
  gtk_window_set_title (self->window, title ? title : "Zelmora");
}

static void
edits_state (VornFile *file, ZelmHistory *history, gpointer data)
{
  auto *self = static_cast<ZelmAppGui *> (data);
  if (self->tree)
    zelm_tree_set_modified (self->tree, file, zelm_history_get_modified (history));
  update_edit_state (self);
}

static void
undo_redo (ZelmAppGui *self, gboolean redo)
{
  VornFile *file = undo_target (self);
  if (!file || !zelm_edits_undo (self->edits, file, redo))
    return;
  /* New nodes took the old ones' places: the rows, and through the
   * selection the editors, follow them. */
  zelm_tree_reload_file (self->tree, file);
  update_edit_state (self);
}

/* Every open file has a history from the moment it is opened, so its first
 * state is the file as opened; closed files lose theirs. */
static void
files_changed (ZelmApp *app, GParamSpec *, ZelmAppGui *self)
{
  zelm_edits_track (self->edits, zelm_app_get_files_no_copy (app));
}

extern "C" {

G_MODULE_EXPORT void
menu_file_new (GtkMenuItem *, ZelmAppGui *self)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  zelm_app_add_file (ZELM_APP (self), file);
  zelm_tree_add_node (self->tree, VORN_NODE (file));
  zelm_tree_select (self->tree, VORN_NODE (file));
}

G_MODULE_EXPORT void
menu_file_open (GtkMenuItem *, ZelmAppGui *self)
{
  GtkWidget *chooser = gtk_file_chooser_dialog_new ("Open File", self->window,
                                                    GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                                    GTK_RESPONSE_CANCEL, "_Open",
                                                    GTK_RESPONSE_ACCEPT, nullptr);
  gtk_window_set_modal (GTK_WINDOW (chooser), TRUE);
  gtk_dialog_set_default_response (GTK_DIALOG (chooser), GTK_RESPONSE_ACCEPT);
  add_vvi_filters (GTK_FILE_CHOOSER (chooser));
  g_signal_connect_object (chooser, "response", G_CALLBACK (open_response), self,
                           GConnectFlags (0));
  gtk_widget_show (chooser);
}

G_MODULE_EXPORT void
menu_file_save (GtkMenuItem *, ZelmAppGui *self)
{
  VornFile *file = zelm_tree_get_current_file (self->tree);
  if (!file)
    return;
  g_autofree char *path = nullptr;
  g_object_get (file, "file-name", &path, nullptr);
  /* A file that never had a place on disk (new, or the built-in bank) is
   * saved as. */
  if (!path || !g_path_is_absolute (path))
    {
      save_file_as (self, file);
      return;
    }
  save_to (self, file, nullptr);
}

G_MODULE_EXPORT void
menu_file_save_as (GtkMenuItem *, ZelmAppGui *self)
{
  if (VornFile *file = zelm_tree_get_current_file (self->tree))
    save_file_as (self, file);
}

G_MODULE_EXPORT void
menu_file_quit (GtkMenuItem *, ZelmAppGui *self)
{
  if (confirm_close (self))
    quit_now (self);
}

G_MODULE_EXPORT void
menu_edit_undo (GtkMenuItem *, ZelmAppGui *self)
{
  undo_redo (self, FALSE);
}

G_MODULE_EXPORT void
menu_edit_redo (GtkMenuItem *, ZelmAppGui *self)
{
  undo_redo (self, TRUE);
}

G_MODULE_EXPORT void
menu_edit_preferences (GtkMenuItem *, ZelmAppGui *self)
{
  /* One preferences window: asking again brings it forward. */
  if (!self->prefs)
    {
      self->prefs = zelm_prefs_new (ZELM_APP (self));
      g_object_add_weak_pointer (G_OBJECT (self->prefs), reinterpret_cast<gpointer *> (&self->prefs));
      gtk_window_set_transient_for (GTK_WINDOW (self->prefs), self->window);
      gtk_window_set_application (GTK_WINDOW (self->prefs), GTK_APPLICATION (self));
    }
  gtk_window_present (GTK_WINDOW (self->prefs));
}

G_MODULE_EXPORT void
menu_help_about (GtkMenuItem *, ZelmAppGui *self)
{
  show_about (self);
}

G_MODULE_EXPORT void
menu_view_gen_outputs (GtkMenuItem *, ZelmAppGui *self)
{
  if (VornInst *inst = zelm_tree_get_current_inst (self->tree))
    zelm_gen_view_window_new (self->window, self->synth, inst);
}

G_MODULE_EXPORT void
menu_help_splash (GtkMenuItem *, ZelmAppGui *self)
{
  show_splash (self, FALSE);
}

} /* extern "C" */

/* --- window ------------------------------------------------------------------ */

static void
tree_selected (VornFile *file, VornInst *inst, VornNode *node, gpointer data)
{
  auto *self = static_cast<ZelmAppGui *> (data);
  /* The row itself: a node, else the instrument or file row; nothing for
   * no row or several. */
  gpointer selected = node ? static_cast<gpointer> (node)
                           : inst ? static_cast<gpointer> (inst) : static_cast<gpointer> (file);
  if (self->prop_editor)
    zelm_prop_editor_set_object (ZELM_PROP_EDITOR (self->prop_editor), selected);
  if (self->node_ctrl)
    zelm_node_ctrl_set_node (ZELM_NODE_CTRL (self->node_ctrl), inst ? VORN_NODE (inst) : nullptr);
  if (self->wave_editor)
    zelm_wave_editor_set_wave (ZELM_WAVE_EDITOR (self->wave_editor),
                               node && VORN_IS_WAVE (node) ? VORN_WAVE (node) : nullptr);
  if (self->builder)
    gtk_widget_set_sensitive (GTK_WIDGET (gtk_builder_get_object (self->builder, "MenuViewGenOutputs")),
                              inst != nullptr);
  /* The instrument of the selection is the one that plays. */
  if (inst)
    vorn_synth_set_inst (self->synth, 0, inst);
  zelm_edits_watch (self->edits, file, inst, selected);
  update_edit_state (self);
}

static void
tree_edited (VornFile *file, gpointer data)
{
  zelm_edits_touch (static_cast<ZelmAppGui *> (data)->edits, file);
}

/* The editor changed its wave's curve or morph: the voices of the next note
 * compile from the curve cache, which must be rebuilt in the format the
 * synthesizer renders. */
static void
edited_wave_changed (ZelmWaveCanvas *canvas, GParamSpec *, ZelmAppGui *self)
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
apply_styling (ZelmAppGui *self)
{
  GdkScreen *screen = gdk_screen_get_default ();
  if (self->gtk_theme && *self->gtk_theme)
    {
      g_autoptr (GtkCssProvider) unset = gtk_css_provider_new ();
      gtk_css_provider_load_from_data (unset, "* { all: unset; }", -1, nullptr);
      gtk_style_context_add_provider_for_screen (screen, GTK_STYLE_PROVIDER (unset), 599);

      g_autofree char *rel = g_strdup_printf ("themes/%s-Zelmora/gtk-3.0/gtk.css", self->gtk_theme);
      g_autofree char *css = zelm_app_get_resource_path (ZELM_APP (self), rel);
      g_autoptr (GtkCssProvider) theme = gtk_css_provider_new ();
      g_autoptr (GError) err = nullptr;
      if (!gtk_css_provider_load_from_path (theme, css, &err))
        g_warning ("Failed to load theme '%s': %s", css, err->message);
      gtk_style_context_add_provider_for_screen (screen, GTK_STYLE_PROVIDER (theme), 600);
    }

  g_autofree char *icons = zelm_app_get_resource_path (ZELM_APP (self), "themes/icons");
  gtk_icon_theme_prepend_search_path (gtk_icon_theme_get_default (), icons);
  if (self->icon_theme && *self->icon_theme)
    {
      g_autofree char *name = g_strconcat (self->icon_theme, "-Zelmora", nullptr);
      g_object_set (gtk_settings_get_for_screen (screen), "gtk-icon-theme-name", name, nullptr);
    }
}

static void
show_audio_state (ZelmAppGui *self)
{
  if (!self->builder)
    return;
  GtkWidget *bar = GTK_WIDGET (gtk_builder_get_object (self->builder, "AudioInfoBar"));
  GtkLabel *label = GTK_LABEL (gtk_builder_get_object (self->builder, "AudioInfoLabel"));
  gboolean enabled = TRUE;
  g_object_get (self, "audio-enabled", &enabled, nullptr);
  const char *error = zelm_app_get_audio_error (ZELM_APP (self));
  const char *midi_error = zelm_app_get_midi_error (ZELM_APP (self));
  g_autoptr (GString) text = g_string_new (nullptr);
  if (!enabled)
    g_string_append (text, "Audio output is off: it was disabled on the command line.");
  else if (error)
    g_string_append_printf (text, "Audio output is off: %s", error);
  if (midi_error)
    g_string_append_printf (text, "%sMIDI input is off: %s", text->len ? "\n" : "", midi_error);
  gtk_label_set_text (label, text->str);
  gtk_widget_set_visible (bar, text->len > 0);
  if (text->len > 0)
    gtk_widget_show_all (bar);
}

/* The first instrument of the first file, so a key plays at once. */
static void
select_first_inst (ZelmAppGui *self)
{
  for (GList *l = zelm_app_get_files_no_copy (ZELM_APP (self)); l; l = l->next)
    for (VornNode *n = VORN_NODE (l->data)->children; n; n = n->next)
      if (VORN_IS_INST (n))
        {
          zelm_tree_select (self->tree, n);
          return;
        }
}

static void
zelm_app_gui_activate (GApplication *gapp)
{
  ZelmAppGui *self = ZELM_APP_GUI (gapp);
  if (self->window)
    {
      gtk_window_present (self->window);
      return;
    }

  G_APPLICATION_CLASS (zelm_app_gui_parent_class)->activate (gapp);
  self->synth = zelm_app_get_synth (ZELM_APP (self));

  g_autofree char *ui = zelm_app_get_resource_path (ZELM_APP (self), "ui/AppGui.ui");
  self->builder = gtk_builder_new ();
  g_autoptr (GError) err = nullptr;
  if (!gtk_builder_add_from_file (self->builder, ui, &err))
    {
      g_critical ("Cannot load the main window from '%s': %s", ui, err->message);
      g_application_quit (gapp);
      return;
    }
  gtk_builder_add_callback_symbols (
      self->builder, "menu_file_new", G_CALLBACK (menu_file_new), "menu_file_open",
      G_CALLBACK (menu_file_open), "menu_file_save", G_CALLBACK (menu_file_save),
      "menu_file_save_as", G_CALLBACK (menu_file_save_as), "menu_file_quit",
      G_CALLBACK (menu_file_quit), "menu_edit_preferences", G_CALLBACK (menu_edit_preferences),
      "menu_edit_undo", G_CALLBACK (menu_edit_undo), "menu_edit_redo", G_CALLBACK (menu_edit_redo),
      "menu_help_about", G_CALLBACK (menu_help_about), "menu_view_gen_outputs",
      G_CALLBACK (menu_view_gen_outputs), "menu_help_splash",
      G_CALLBACK (menu_help_splash), nullptr);
  gtk_builder_connect_signals (self->builder, self);

  self->window = GTK_WINDOW (gtk_builder_get_object (self->builder, "AppWindow"));
  gtk_window_add_accel_group (self->window,
                              GTK_ACCEL_GROUP (gtk_builder_get_object (self->builder,
                                                                       "MainAccelGroup")));
  gtk_window_set_application (self->window, GTK_APPLICATION (self));
  gtk_window_maximize (self->window);
  g_signal_connect (self->window, "event-after", G_CALLBACK (window_event_after), self);
  g_signal_connect (self->window, "delete-event", G_CALLBACK (window_delete), self);
  gtk_widget_add_events (GTK_WIDGET (self->window), GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK);

  apply_styling (self);

  self->tree = zelm_tree_new (GTK_TREE_VIEW (gtk_builder_get_object (self->builder, "TreeView")),
                              ZELM_APP (self), tree_selected, tree_edited, self);
  zelm_tree_set_close_check (self->tree, tree_close_check, self);

  self->device_id = guint16 (vorn_synth_get_device_id (self->synth));

  /* The scrolled window of the property editor never takes focus itself. */
  g_signal_connect (gtk_builder_get_object (self->builder, "PropViewScrollWin"), "focus",
                    G_CALLBACK (gtk_true), nullptr);
  self->prop_editor = zelm_prop_editor_new ();
  gtk_widget_set_halign (self->prop_editor, GTK_ALIGN_FILL);
  gtk_widget_set_valign (self->prop_editor, GTK_ALIGN_START);
  gtk_container_add (GTK_CONTAINER (gtk_builder_get_object (self->builder, "PropViewPort")),
                     self->prop_editor);
  self->node_ctrl = zelm_node_ctrl_new (self->synth);
  gtk_widget_set_valign (self->node_ctrl, GTK_ALIGN_START);
  gtk_container_add (GTK_CONTAINER (gtk_builder_get_object (self->builder, "CtrlViewPort")),
                     self->node_ctrl);

  GtkWidget *box = gtk_box_new (GTK_ORIENTATION_VERTICAL, 4);
  self->level_meter = zelm_level_meter_new ();
  self->piano = zelm_piano_new (self->synth);
  gtk_widget_set_size_request (self->piano, -1, 110);
  gtk_box_pack_start (GTK_BOX (box), self->level_meter, FALSE, TRUE, 0);
  gtk_box_pack_start (GTK_BOX (box), self->piano, TRUE, TRUE, 0);
  gtk_container_add (GTK_CONTAINER (gtk_builder_get_object (self->builder, "SynthFrame")), box);

  GtkNotebook *notebook =
      GTK_NOTEBOOK (gtk_builder_get_object (self->builder, "CurveScopeNotebook"));
  self->wave_editor = zelm_wave_editor_new ();
  gtk_notebook_append_page (notebook, self->wave_editor, gtk_label_new ("Curve"));
  g_signal_connect_object (zelm_wave_editor_get_canvas (ZELM_WAVE_EDITOR (self->wave_editor)),
                           "notify::wave", G_CALLBACK (edited_wave_changed), self,
                           GConnectFlags (0));
  /* Voice starts come back as messages, so the scope can follow the taps
   * of the voices that play. */
  g_object_set (self->synth, "start-voice-notify", TRUE, nullptr);
  self->tap_recorder = zelm_tap_recorder_new (self->synth);
  gtk_notebook_append_page (notebook, self->tap_recorder, gtk_label_new ("Scope"));

  self->voice_label = GTK_LABEL (gtk_builder_get_object (self->builder, "VoiceStatLabel"));
  self->cpu_label = GTK_LABEL (gtk_builder_get_object (self->builder, "CpuStatLabel"));

  gtk_widget_show_all (GTK_WIDGET (self->window));
  show_audio_state (self);
  /* A restart from the preferences starts the drivers anew. */
  g_signal_connect_object (self, "notify::restart-needed", G_CALLBACK (show_audio_state), self,
                           G_CONNECT_SWAPPED);
  show_splash (self, TRUE);

  self->edits = zelm_edits_new (edits_state, self);
  zelm_edits_track (self->edits, zelm_app_get_files_no_copy (ZELM_APP (self)));
  g_signal_connect_object (self, "notify::files", G_CALLBACK (files_changed), self,
                           GConnectFlags (0));
  zelm_tree_fill (self->tree, zelm_app_get_files_no_copy (ZELM_APP (self)));
  select_first_inst (self);
  gtk_widget_grab_focus (GTK_WIDGET (gtk_builder_get_object (self->builder, "TreeView")));

  g_signal_connect_swapped (gtk_builder_get_object (self->builder, "PanicButton"), "clicked",
                            G_CALLBACK (vorn_synth_panic), self->synth);
  self->last_clock_ms = process_clock_ms ();
  self->last_mono_us = g_get_monotonic_time ();
  self->periodic_id = g_timeout_add (PERIODIC_MS, periodic_task, self);

  self->outbox_source = vorn_synth_outbox_source_new (self->synth);
  g_source_set_callback (self->outbox_source, G_SOURCE_FUNC (outbox_message), self, nullptr);
  g_source_attach (self->outbox_source, nullptr);
}

/* Stops the periodic task and takes the windows down; the window holds a
 * reference on the application, so this cannot wait for dispose. */
static void
destroy_windows (ZelmAppGui *self)
{
  g_clear_handle_id (&self->periodic_id, g_source_remove);
  if (self->outbox_source)
    {
      g_source_destroy (self->outbox_source);
      g_clear_pointer (&self->outbox_source, g_source_unref);
    }
  g_clear_handle_id (&self->splash_timeout, g_source_remove);
  if (self->splash)
    gtk_widget_destroy (self->splash);
  /* It holds the application: left open, it would keep it alive. */
  if (self->prefs)
    gtk_widget_destroy (self->prefs);
  if (self->window)
    {
      GtkWidget *window = GTK_WIDGET (self->window);
      self->window = nullptr;
      self->piano = nullptr;
      self->level_meter = nullptr;
      self->prop_editor = nullptr;
      self->node_ctrl = nullptr;
      self->wave_editor = nullptr;
      self->tap_recorder = nullptr;
      zelm_tree_free (self->tree);
      self->tree = nullptr;
      g_signal_handlers_disconnect_by_func (self, reinterpret_cast<gpointer> (files_changed), self);
      g_clear_pointer (&self->edits, zelm_edits_free);
      gtk_widget_destroy (window);
    }
  g_clear_object (&self->builder);
}

static void
zelm_app_gui_shutdown (GApplication *gapp)
{
  destroy_windows (ZELM_APP_GUI (gapp));
  G_APPLICATION_CLASS (zelm_app_gui_parent_class)->shutdown (gapp);
}

/* --- GObject ----------------------------------------------------------------- */

static void
zelm_app_gui_dispose (GObject *object)
{
  destroy_windows (ZELM_APP_GUI (object));
  G_OBJECT_CLASS (zelm_app_gui_parent_class)->dispose (object);
}

static void
zelm_app_gui_finalize (GObject *object)
{
  ZelmAppGui *self = ZELM_APP_GUI (object);
  g_clear_object (&self->synth);
  g_array_unref (self->lower_keys);
  g_array_unref (self->upper_keys);
  g_free (self->gtk_theme);
  g_free (self->icon_theme);
  G_OBJECT_CLASS (zelm_app_gui_parent_class)->finalize (object);
}

static void
zelm_app_gui_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmAppGui *self = ZELM_APP_GUI (object);
  switch (prop_id)
    {
    case PROP_LOWER_NOTE:
      g_value_set_int (value, self->lower_note);
      break;
    case PROP_UPPER_NOTE:
      g_value_set_int (value, self->upper_note);
      break;
    case PROP_LOWER_KEYS:
      g_value_take_boxed (value, bindings_to_value_array (self->lower_keys));
      break;
    case PROP_UPPER_KEYS:
      g_value_take_boxed (value, bindings_to_value_array (self->upper_keys));
      break;
    case PROP_GTK_THEME:
      g_value_set_string (value, self->gtk_theme);
      break;
    case PROP_ICON_THEME:
      g_value_set_string (value, self->icon_theme);
      break;
    case PROP_STAT_DIVIDER:
      g_value_set_int (value, self->stat_divider);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
set_string (GObject *object, GParamSpec *pspec, char **field, const GValue *value)
{
  if (g_strcmp0 (*field, g_value_get_string (value)) == 0)
    return;
  g_free (*field);
  *field = g_value_dup_string (value);
  g_object_notify_by_pspec (object, pspec);
}

static void
set_note (GObject *object, GParamSpec *pspec, guint8 *field, const GValue *value)
{
  if (*field == g_value_get_int (value))
    return;
  *field = guint8 (g_value_get_int (value));
  g_object_notify_by_pspec (object, pspec);
}

static void
zelm_app_gui_set_property (GObject *object, guint prop_id, const GValue *value,
                           GParamSpec *pspec)
{
  ZelmAppGui *self = ZELM_APP_GUI (object);
  switch (prop_id)
    {
    case PROP_LOWER_NOTE:
      set_note (object, pspec, &self->lower_note, value);
      break;
    case PROP_UPPER_NOTE:
      set_note (object, pspec, &self->upper_note, value);
      break;
    case PROP_LOWER_KEYS:
    case PROP_UPPER_KEYS:
      {
        GArray **keys = prop_id == PROP_LOWER_KEYS ? &self->lower_keys : &self->upper_keys;
        g_array_unref (*keys);
        *keys = bindings_from_value_array (static_cast<GArray *> (g_value_get_boxed (value)));
        g_object_notify_by_pspec (object, pspec);
        break;
      }
    case PROP_GTK_THEME:
      set_string (object, pspec, &self->gtk_theme, value);
      break;
    case PROP_ICON_THEME:
      set_string (object, pspec, &self->icon_theme, value);
      break;
    case PROP_STAT_DIVIDER:
      if (self->stat_divider != g_value_get_int (value))
        {
          self->stat_divider = g_value_get_int (value);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
zelm_app_gui_class_init (ZelmAppGuiClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  GApplicationClass *app_class = G_APPLICATION_CLASS (klass);

  object_class->dispose = zelm_app_gui_dispose;
  object_class->finalize = zelm_app_gui_finalize;
  object_class->get_property = zelm_app_gui_get_property;
  object_class->set_property = zelm_app_gui_set_property;
  app_class->activate = zelm_app_gui_activate;
  app_class->shutdown = zelm_app_gui_shutdown;

  const GParamFlags rw = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                      G_PARAM_EXPLICIT_NOTIFY);
  const GParamFlags rw_config = GParamFlags (rw | VORN_PARAM_CONFIG);

  properties[PROP_LOWER_NOTE] = g_param_spec_int (
      "lower-note", "LowerNote", "Lower keyboard start MIDI note", 0, 127, 48, rw_config);
  properties[PROP_UPPER_NOTE] = g_param_spec_int (
      "upper-note", "UpperNote", "Upper keyboard start MIDI note", 0, 127, 60, rw_config);
  properties[PROP_LOWER_KEYS] = g_param_spec_boxed (
      "lower-keys", "LowerKeys",
      "Lower MIDI keyboard keys (array of GDK key unsigned integer values)", G_TYPE_ARRAY,
      rw_config);
  properties[PROP_UPPER_KEYS] = g_param_spec_boxed (
      "upper-keys", "UpperKeys",
      "Upper MIDI keyboard keys (array of GDK key unsigned integer values)", G_TYPE_ARRAY,
      rw_config);
  properties[PROP_GTK_THEME] = g_param_spec_string (
      "gtk-theme", "GtkTheme", "Bundled GTK theme name or blank to use system theme",
      "BlueSky-Dark", GParamFlags (rw_config | VORN_PARAM_HIDDEN));
  properties[PROP_ICON_THEME] = g_param_spec_string (
      "icon-theme", "IconTheme", "Bundled icon theme name or blank to use system theme",
      "elementary", GParamFlags (rw_config | VORN_PARAM_HIDDEN));
  properties[PROP_STAT_DIVIDER] = g_param_spec_int (
      "stat-divider", "StatDivider", "Statistic update divider", 0, 100, 5, rw);

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
zelm_app_gui_init (ZelmAppGui *self)
{
  self->lower_note = 48;
  self->upper_note = 60;
  self->lower_keys = bindings_from_chars (default_lower_keys);
  self->upper_keys = bindings_from_chars (default_upper_keys);
  self->gtk_theme = g_strdup ("BlueSky-Dark");
  self->icon_theme = g_strdup ("elementary");
  self->stat_divider = 5;
}

/* --- public ------------------------------------------------------------------ */

ZelmAppGui *
zelm_app_gui_new (void)
{
  return ZELM_APP_GUI (g_object_new (ZELM_TYPE_APP_GUI, "application-id", "org.zelmora.Zelmora",
                                     "flags", G_APPLICATION_HANDLES_OPEN, nullptr));
}

GtkWindow *
zelm_app_gui_get_window (ZelmAppGui *gui)
{
  g_return_val_if_fail (ZELM_IS_APP_GUI (gui), nullptr);
  return gui->window;
}

GObject *
zelm_app_gui_get_object (ZelmAppGui *gui, const char *id)
{
  g_return_val_if_fail (ZELM_IS_APP_GUI (gui), nullptr);
  g_return_val_if_fail (id != nullptr, nullptr);
  return gui->builder ? gtk_builder_get_object (gui->builder, id) : nullptr;
}

GtkWidget *
zelm_app_gui_get_piano (ZelmAppGui *gui)
{
  g_return_val_if_fail (ZELM_IS_APP_GUI (gui), nullptr);
  return gui->piano;
}

GtkWidget *
zelm_app_gui_get_level_meter (ZelmAppGui *gui)
{
  g_return_val_if_fail (ZELM_IS_APP_GUI (gui), nullptr);
  return gui->level_meter;
}

GtkWidget *
zelm_app_gui_get_prop_editor (ZelmAppGui *gui)
{
  g_return_val_if_fail (ZELM_IS_APP_GUI (gui), nullptr);
  return gui->prop_editor;
}

GtkWidget *
zelm_app_gui_get_wave_editor (ZelmAppGui *gui)
{
  g_return_val_if_fail (ZELM_IS_APP_GUI (gui), nullptr);
  return gui->wave_editor;
}

GtkWidget *
zelm_app_gui_get_tap_recorder (ZelmAppGui *gui)
{
  g_return_val_if_fail (ZELM_IS_APP_GUI (gui), nullptr);
  return gui->tap_recorder;
}

GtkWidget *
zelm_app_gui_get_node_ctrl (ZelmAppGui *gui)
{
  g_return_val_if_fail (ZELM_IS_APP_GUI (gui), nullptr);
  return gui->node_ctrl;
}

GtkWidget *
zelm_app_gui_get_splash (ZelmAppGui *gui)
{
  g_return_val_if_fail (ZELM_IS_APP_GUI (gui), nullptr);
  return gui->splash;
}

VornFile *
zelm_app_gui_get_current_file (ZelmAppGui *gui)
{
  g_return_val_if_fail (ZELM_IS_APP_GUI (gui), nullptr);
  return gui->tree ? zelm_tree_get_current_file (gui->tree) : nullptr;
}

VornInst *
zelm_app_gui_get_current_inst (ZelmAppGui *gui)
{
  g_return_val_if_fail (ZELM_IS_APP_GUI (gui), nullptr);
  return gui->tree ? zelm_tree_get_current_inst (gui->tree) : nullptr;
}

VornNode *
zelm_app_gui_get_current_node (ZelmAppGui *gui)
{
  g_return_val_if_fail (ZELM_IS_APP_GUI (gui), nullptr);
  return gui->tree ? zelm_tree_get_current_node (gui->tree) : nullptr;
}
