/* zelm-prefs.cpp: the preferences window */
#include "zelm-prefs.h"

#include "zelm-ctrl.h"

#include <initializer_list>

struct _ZelmPrefs {
  GtkWindow parent_instance;

  ZelmApp *app;
  GtkBuilder *builder;
  GtkWidget *restart_btn;
  gulong restart_handler;
};

enum {
  PROP_0,
  PROP_APP,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

G_DEFINE_FINAL_TYPE (ZelmPrefs, zelm_prefs, GTK_TYPE_WINDOW)

static void
update_restart_button (ZelmPrefs *self)
{
  gboolean needed = FALSE;
  g_object_get (self->app, "restart-needed", &needed, nullptr);
  gtk_widget_set_visible (self->restart_btn, needed);
}

static void
restart_needed_changed (ZelmPrefs *self)
{
  update_restart_button (self);
}

static void
restart_synth (GtkButton *, ZelmPrefs *self)
{
  zelm_app_restart_synth (self->app);
}

/* Saves what was set here, so the next start uses it; a failure leaves the
 * settings in effect for this run only. */
static void
close_prefs (ZelmPrefs *self)
{
  g_autoptr (GError) err = nullptr;
  if (!zelm_app_save_config (self->app, &err))
    g_warning ("Failed to save configuration: %s", err->message);
  gtk_widget_destroy (GTK_WIDGET (self));
}

static gboolean
key_pressed (GtkWidget *, GdkEventKey *event, ZelmPrefs *self)
{
  if (event->keyval != GDK_KEY_Escape)
    return FALSE;
  close_prefs (self);
  return TRUE;
}

static void
bind_controls (ZelmPrefs *self)
{
  GtkBuilder *b = self->builder;
  g_autoptr (VornSynth) synth = zelm_app_get_synth (self->app);
  if (synth)
    {
      zelm_ctrl_connect_builder (b, "MaxVoicesSpin", synth, "max-voices");
      zelm_ctrl_connect_builder (b, "ChanCountSpin", synth, "channel-count");
      zelm_ctrl_connect_builder (b, "SpeakerCountSpin", synth, "speaker-count");
      zelm_ctrl_connect_builder (b, "SampleRateCombo", synth, "sample-rate");
      zelm_ctrl_connect_builder_toggle (b, "FormatDoubleRadio", synth, "audio-format",
                                        int (VORN_FORMAT_DOUBLE), int (VORN_FORMAT_SINGLE));
      zelm_ctrl_connect_builder_toggle (b, "FormatSingleRadio", synth, "audio-format",
                                        int (VORN_FORMAT_SINGLE), int (VORN_FORMAT_SINGLE));
      zelm_ctrl_connect_builder (b, "CoresSpin", synth, "cores");
      zelm_ctrl_set_builder_disable (b, "CoresSpin", synth, "cores", 0u);
      zelm_ctrl_connect_builder_toggle (b, "CoresAllCheck", synth, "cores", 0u, 1u);
      zelm_ctrl_connect_builder (b, "CoresLabel", synth, "cores-detected");
      zelm_ctrl_connect_builder (b, "AccelCombo", synth, "simd");
      zelm_ctrl_connect_builder (b, "AccelLabel", synth, "simd-detected");
    }
  zelm_ctrl_connect_builder (b, "AudioDriverCombo", self->app, "audio-driver");
  zelm_ctrl_connect_builder (b, "MidiDriverCombo", self->app, "midi-driver");

  /* The sample format is shown, not chosen here. */
  for (const char *id : { "FormatDoubleRadio", "FormatSingleRadio" })
    gtk_widget_set_sensitive (GTK_WIDGET (gtk_builder_get_object (b, id)), FALSE);
}

static void
zelm_prefs_constructed (GObject *object)
{
  ZelmPrefs *self = ZELM_PREFS (object);
  G_OBJECT_CLASS (zelm_prefs_parent_class)->constructed (object);
  g_return_if_fail (ZELM_IS_APP (self->app));

  gtk_window_set_title (GTK_WINDOW (self), "Preferences");

  self->builder = gtk_builder_new ();
  g_autoptr (GError) err = nullptr;
  if (!gtk_builder_add_from_resource (self->builder, "/org/zelmora/Zelmora/ui/zelm-prefs.ui", &err))
    {
      g_warning ("Failed to load the preferences window: %s", err->message);
      return;
    }

  GtkWidget *box = GTK_WIDGET (gtk_builder_get_object (self->builder, "MainBox"));
  GtkWidget *holder = gtk_widget_get_toplevel (box);
  g_object_ref (box);
  gtk_container_remove (GTK_CONTAINER (gtk_widget_get_parent (box)), box);
  gtk_container_add (GTK_CONTAINER (self), box);
  g_object_unref (box);
  if (holder != box)
    gtk_widget_destroy (holder);

  gtk_builder_add_callback_symbol (self->builder, "restart_synth", G_CALLBACK (restart_synth));
  gtk_builder_connect_signals (self->builder, self);

  self->restart_btn = GTK_WIDGET (gtk_builder_get_object (self->builder, "RestartSynthBtn"));
  self->restart_handler = g_signal_connect_swapped (self->app, "notify::restart-needed",
                                                    G_CALLBACK (restart_needed_changed), self);

  bind_controls (self);

  g_signal_connect (self, "key-press-event", G_CALLBACK (key_pressed), self);
  g_signal_connect_swapped (gtk_builder_get_object (self->builder, "CloseBtn"), "clicked",
                            G_CALLBACK (close_prefs), self);

  /* Showing the contents must leave the restart button as the flag says. */
  gtk_widget_set_no_show_all (self->restart_btn, TRUE);
  update_restart_button (self);
  gtk_widget_show_all (box);
}

static void
zelm_prefs_finalize (GObject *object)
{
  ZelmPrefs *self = ZELM_PREFS (object);
  if (self->restart_handler)
    g_signal_handler_disconnect (self->app, self->restart_handler);
  g_clear_object (&self->builder);
  g_clear_object (&self->app);
  G_OBJECT_CLASS (zelm_prefs_parent_class)->finalize (object);
}

static void
zelm_prefs_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmPrefs *self = ZELM_PREFS (object);
  switch (prop_id)
    {
    case PROP_APP:
      g_value_set_object (value, self->app);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
zelm_prefs_set_property (GObject *object, guint prop_id, const GValue *value, GParamSpec *pspec)
{
  ZelmPrefs *self = ZELM_PREFS (object);
  switch (prop_id)
    {
    case PROP_APP:
      self->app = ZELM_APP (g_value_dup_object (value));
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
zelm_prefs_class_init (ZelmPrefsClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  object_class->constructed = zelm_prefs_constructed;
  object_class->finalize = zelm_prefs_finalize;
  object_class->get_property = zelm_prefs_get_property;
  object_class->set_property = zelm_prefs_set_property;

  properties[PROP_APP] = g_param_spec_object (
      "app", "App", "Application object", ZELM_TYPE_APP,
      GParamFlags (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY | G_PARAM_STATIC_STRINGS |
                   G_PARAM_EXPLICIT_NOTIFY | VORN_PARAM_HIDDEN));
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
zelm_prefs_init (ZelmPrefs *)
{
}

GtkWidget *
zelm_prefs_new (ZelmApp *app)
{
  g_return_val_if_fail (ZELM_IS_APP (app), nullptr);
  return GTK_WIDGET (g_object_new (ZELM_TYPE_PREFS, "app", app, nullptr));
}
