/* zelm-app.cpp: the application object: files, synthesizer, drivers, configuration */
#include "zelm-app.h"
#include "vorn-file-replace.h"
#include "vorn-json-read.h"

#include <cstdio>

#define ZELM_APP_ID "org.zelmora.Zelmora"
#define ZELM_BANNER ZELM_SOFTWARE "\nCurve-morphing synthesizer and instrument editor"
#define ZELM_BANK_RESOURCE "/org/zelmora/Zelmora/bank.vvi"
/* A configuration is a few kilobytes and a few levels deep; anything far
 * beyond is not one, and must not stop the program from starting. */
#define ZELM_CONFIG_MAX_SIZE (1u << 20)
#define ZELM_CONFIG_MAX_DEPTH 64

typedef struct {
  GList *files;
  JsonObject *config;
  VornSynth *synth;
  VornAudioDriver *audio_driver;
  VornMidiDriver *midi_driver;
  char *audio_error;
  char *midi_error;
  GPtrArray *open_errors; /* messages of files that did not open, not shown yet */
  gboolean restart;
  gboolean audio_enabled;
  int audio_driver_type;
  int midi_driver_type;
  char *remote_host;
  int pad_size;
  int packet_size;
  int tree_width;
  int tree_height;
} ZelmAppPrivate;

enum {
  PROP_0,
  PROP_FILES,
  PROP_AUDIO_ENABLED,
  PROP_AUDIO_DRIVER,
  PROP_MIDI_DRIVER,
  PROP_TREE_WIDTH,
  PROP_TREE_HEIGHT,
  PROP_REMOTE_HOST,
  PROP_PAD_SIZE,
  PROP_PACKET_SIZE,
  PROP_CONFIG,
  PROP_RESTART_NEEDED,
  N_PROPS
};

enum {
  SIGNAL_OPEN_FAILED,
  N_SIGNALS
};

static guint signals[N_SIGNALS];

static GParamSpec *properties[N_PROPS];

static void zelm_app_serializable_init (JsonSerializableIface *iface);

G_DEFINE_TYPE_WITH_CODE (ZelmApp, zelm_app, GTK_TYPE_APPLICATION,
                         G_ADD_PRIVATE (ZelmApp)
                         G_IMPLEMENT_INTERFACE (JSON_TYPE_SERIALIZABLE,
                                                zelm_app_serializable_init))

static const GOptionEntry option_entries[] = {
  { "audio", 'a', 0, G_OPTION_ARG_STRING, nullptr,
    "Audio driver ('help' to show available drivers)", nullptr },
  { "disable-audio", 'd', 0, G_OPTION_ARG_NONE, nullptr, "Disable audio output", nullptr },
  { "midi", 'm', 0, G_OPTION_ARG_STRING, nullptr,
    "MIDI driver ('help' to show available drivers)", nullptr },
  { "packet-size", 's', 0, G_OPTION_ARG_INT, nullptr,
    "Remote synthesizer audio packet size in frames (default: 128)", nullptr },
  { "pad-size", 'p', 0, G_OPTION_ARG_INT, nullptr,
    "Remote synthesizer audio padding in frames (default: 256)", nullptr },
  { "remote-host", 'r', 0, G_OPTION_ARG_STRING, nullptr, "Remote synthesizer host to connect to",
    nullptr },
  { "version", 'v', 0, G_OPTION_ARG_NONE, nullptr, "Print application version and exit", nullptr },
  {},
};

static void
set_restart (ZelmApp *app, gboolean restart)
{
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  priv->restart = restart;
  g_object_notify_by_pspec (G_OBJECT (app), properties[PROP_RESTART_NEEDED]);
}

/* --- JsonSerializable: the configuration properties only ------------------ */

static GParamSpec **
serializable_list_properties (JsonSerializable *serializable, guint *n_pspecs)
{
  guint n = 0;
  GParamSpec **all = g_object_class_list_properties (G_OBJECT_GET_CLASS (serializable), &n);
  GParamSpec **out = g_new0 (GParamSpec *, n + 1);
  guint count = 0;
  for (guint i = 0; i < n; i++)
    if (all[i]->flags & VORN_PARAM_CONFIG)
      out[count++] = all[i];
  g_free (all);
  *n_pspecs = count;
  return out;
}

static JsonNode *
serializable_serialize_property (JsonSerializable *, const char *, const GValue *value,
                                 GParamSpec *)
{
  return vorn_util_value_to_json (value);
}

static gboolean
serializable_deserialize_property (JsonSerializable *serializable, const char *name,
                                   GValue *value, GParamSpec *pspec, JsonNode *node)
{
  g_autoptr (GError) err = nullptr;
  if (vorn_util_json_to_value (value, node, &err))
    return TRUE;
  g_warning ("Failed to deserialize property '%s' for object of type '%s': %s", name,
             G_OBJECT_TYPE_NAME (serializable), err ? err->message : "");
  /* The property is skipped: hand back what it holds now. */
  g_value_reset (value);
  g_object_get_property (G_OBJECT (serializable), pspec->name, value);
  return TRUE;
}

static GParamSpec *
serializable_find_property (JsonSerializable *serializable, const char *name)
{
  GParamSpec *pspec = g_object_class_find_property (G_OBJECT_GET_CLASS (serializable), name);
  return pspec && (pspec->flags & VORN_PARAM_CONFIG) ? pspec : nullptr;
}

static void
serializable_get_property (JsonSerializable *serializable, GParamSpec *pspec, GValue *value)
{
  g_object_get_property (G_OBJECT (serializable), pspec->name, value);
}

static void
serializable_set_property (JsonSerializable *serializable, GParamSpec *pspec,
                           const GValue *value)
{
  g_object_set_property (G_OBJECT (serializable), pspec->name, value);
}

static void
zelm_app_serializable_init (JsonSerializableIface *iface)
{
  iface->list_properties = serializable_list_properties;
  iface->serialize_property = serializable_serialize_property;
  iface->deserialize_property = serializable_deserialize_property;
  iface->find_property = serializable_find_property;
  iface->get_property = serializable_get_property;
  iface->set_property = serializable_set_property;
}

/* --- command line ---------------------------------------------------------- */

/* Prints the nicks of @enum_type after a heading; for "help" arguments. */
static void
print_driver_list (const char *heading, GType enum_type)
{
  printf ("%s\n%s\n", ZELM_BANNER, heading);
  g_autoptr (GEnumClass) klass = static_cast<GEnumClass *> (g_type_class_ref (enum_type));
  for (guint i = 0; i < klass->n_values; i++)
    printf ("%s\n", klass->values[i].value_nick);
}

static int
zelm_app_handle_local_options (GApplication *gapp, GVariantDict *options)
{
  ZelmApp *app = ZELM_APP (gapp);
  const char *str = nullptr;
  int num = 0;

  if (g_variant_dict_contains (options, "version"))
    {
      printf ("%s\n", ZELM_BANNER);
      return 0;
    }
  if (g_variant_dict_contains (options, "disable-audio"))
    g_object_set (app, "audio-enabled", FALSE, nullptr);

  if (g_variant_dict_lookup (options, "audio", "&s", &str))
    {
      if (g_strcmp0 (str, "help") == 0)
        {
          print_driver_list ("-a, --audio options (audio driver):",
                             VORN_TYPE_AUDIO_DRIVER_AVAILABLE);
          return 0;
        }
      gboolean found = FALSE;
      int value = vorn_util_enum_lookup_nocase (VORN_TYPE_AUDIO_DRIVER_AVAILABLE, str, &found);
      if (!found)
        {
          printf ("Invalid audio driver '%s'\n", str);
          return 1;
        }
      g_object_set (app, "audio-driver", value, nullptr);
    }

  if (g_variant_dict_lookup (options, "midi", "&s", &str))
    {
      if (g_strcmp0 (str, "help") == 0)
        {
          print_driver_list ("-m, --midi options (MIDI driver):", VORN_TYPE_MIDI_DRIVER_AVAILABLE);
          return 0;
        }
      gboolean found = FALSE;
      int value = vorn_util_enum_lookup_nocase (VORN_TYPE_MIDI_DRIVER_AVAILABLE, str, &found);
      if (!found)
        {
          printf ("Invalid MIDI driver name '%s'\n", str);
          return 1;
        }
      g_object_set (app, "midi-driver", value, nullptr);
    }

  if (g_variant_dict_lookup (options, "remote-host", "&s", &str))
    g_object_set (app, "remote-host", str, nullptr);
  if (g_variant_dict_lookup (options, "pad-size", "i", &num))
    g_object_set (app, "pad-size", num, nullptr);
  if (g_variant_dict_lookup (options, "packet-size", "i", &num))
    g_object_set (app, "packet-size", num, nullptr);

  return -1;
}

/* Files named on the command line (or sent by a second start): the ones
 * that do not open are reported on standard error at once and kept for the
 * window, which may not exist yet. */
static void
zelm_app_open (GApplication *gapp, GFile **files, int n_files, const char *)
{
  ZelmApp *app = ZELM_APP (gapp);
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  guint failed = 0;
  for (int i = 0; i < n_files; i++)
    {
      g_autofree char *path = g_file_get_path (files[i]);
      g_autoptr (GError) err = nullptr;
      VornFile *file = path ? vorn_file_load (path, &err) : nullptr;
      if (!file)
        {
          g_autofree char *uri = g_file_get_uri (files[i]);
          char *message = err ? g_strdup (err->message)
                              : g_strdup_printf ("%s: not a local file", uri);
          g_printerr ("zelmora: %s\n", message);
          if (!priv->open_errors)
            priv->open_errors = g_ptr_array_new_with_free_func (g_free);
          g_ptr_array_add (priv->open_errors, message);
          failed++;
          continue;
        }
      zelm_app_add_file (app, file);
      g_object_unref (file);
    }
  if (failed)
    g_signal_emit (app, signals[SIGNAL_OPEN_FAILED], 0);
  g_application_activate (gapp);
}

/* --- drivers --------------------------------------------------------------- */

/* The synthesizer's entry of the configuration when it belongs to this
 * synthesizer's class: "synths"[0] with a matching "type". */
static JsonObject *
synth_config (ZelmApp *app, JsonObject *config)
{
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  if (!config || !priv->synth)
    return nullptr;
  JsonArray *synths = vorn_util_json_object_get_array_member (config, "synths");
  JsonObject *obj = synths ? vorn_util_json_array_get_object (synths, 0) : nullptr;
  const char *type = obj ? vorn_util_json_object_get_string_member (obj, "type") : nullptr;
  return type && g_strcmp0 (type, G_OBJECT_TYPE_NAME (priv->synth)) == 0 ? obj : nullptr;
}

static void
start_drivers (ZelmApp *app, JsonObject *synth_obj)
{
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  g_clear_pointer (&priv->audio_error, g_free);
  g_clear_pointer (&priv->midi_error, g_free);
  if (!priv->audio_enabled)
    return;

  priv->audio_driver =
      vorn_audio_driver_new (VornAudioDriverType (priv->audio_driver_type), priv->synth);
  if (priv->audio_driver)
    {
      JsonObject *drv = synth_obj
          ? vorn_util_json_object_get_object_member (synth_obj, "audio-driver-config")
          : nullptr;
      if (drv)
        vorn_util_config_object_load_json (G_OBJECT (priv->audio_driver), drv);
      /* A driver that cannot start leaves the program running without sound;
       * the window tells the user why. */
      g_autoptr (GError) err = nullptr;
      if (!vorn_audio_driver_start (priv->audio_driver, &err))
        priv->audio_error = g_strdup (err ? err->message : "The audio output failed to start");
    }
  else
    priv->audio_error = g_strdup ("No audio driver is available");

  /* The choices share their values with the driver types.  Without MIDI
   * the computer keyboard and the piano still play, so a failed start is
   * reported and the program goes on. */
  priv->midi_driver =
      vorn_midi_driver_new (VornMidiDriverType (priv->midi_driver_type), priv->synth);
  g_autoptr (GError) err = nullptr;
  if (priv->midi_driver && !vorn_midi_driver_start (priv->midi_driver, &err))
    {
      priv->midi_error = g_strdup (err ? err->message : "The MIDI input failed to start");
      g_printerr ("MIDI input is off: %s\n", priv->midi_error);
      g_clear_object (&priv->midi_driver);
    }
}

/* Starts the synthesizer, then the drivers that play it.  A synthesizer the
 * system refuses to start (no render thread) leaves the program running
 * silent; the window and standard error say why. */
static void
start_sound (ZelmApp *app, JsonObject *synth_obj)
{
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  g_autoptr (GError) err = nullptr;
  if (vorn_synth_start (priv->synth, &err))
    {
      start_drivers (app, synth_obj);
      return;
    }
  g_clear_pointer (&priv->midi_error, g_free);
  g_free (priv->audio_error);
  priv->audio_error = g_strdup_printf ("the synthesizer did not start: %s", err->message);
  g_printerr ("Sound is off: %s\n", priv->audio_error);
}

static void
stop_drivers (ZelmApp *app)
{
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  if (priv->audio_driver)
    vorn_audio_driver_stop (priv->audio_driver);
  g_clear_object (&priv->audio_driver);
  g_clear_object (&priv->midi_driver);
}

static void
synth_restart_notify (ZelmApp *app)
{
  g_object_notify_by_pspec (G_OBJECT (app), properties[PROP_RESTART_NEEDED]);
}

static void
zelm_app_activate (GApplication *gapp)
{
  ZelmApp *app = ZELM_APP (gapp);
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));

  /* Activation happens once per process; a second one (a file opened from
   * the desktop while running) only brings the window forward. */
  if (priv->synth)
    return;

  g_autoptr (GBytes) bank =
      g_resources_lookup_data (ZELM_BANK_RESOURCE, G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (bank)
    {
      gsize size = 0;
      const char *data = static_cast<const char *> (g_bytes_get_data (bank, &size));
      g_autoptr (GError) err = nullptr;
      VornFile *file = vorn_file_load_from_data (data, guint32 (size), &err);
      if (file)
        {
          zelm_app_add_file (app, file);
          g_object_unref (file);
        }
      else
        g_warning ("Failed to load the built-in instrument bank: %s", err->message);
    }

  g_autoptr (GError) err = nullptr;
  if (!zelm_app_load_config (app, &err) &&
      !g_error_matches (err, G_FILE_ERROR, G_FILE_ERROR_NOENT))
    g_warning ("Failed to load configuration file: %s", err->message);

  priv->synth = vorn_synth_cpu_new ();
  JsonObject *synth_obj = synth_config (app, priv->config);
  if (synth_obj)
    vorn_util_config_object_load_json (G_OBJECT (priv->synth), synth_obj);
  start_sound (app, synth_obj);

  set_restart (app, FALSE);
  g_signal_connect_object (priv->synth, "notify::restart-needed",
                           G_CALLBACK (synth_restart_notify), app, G_CONNECT_SWAPPED);
}

/* --- GObject --------------------------------------------------------------- */

static void
zelm_app_finalize (GObject *object)
{
  ZelmApp *app = ZELM_APP (object);
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));

  vorn_list_free (priv->files);
  priv->files = nullptr;
  /* The output stream renders from the synthesizer until it is stopped. */
  stop_drivers (app);
  if (priv->synth)
    vorn_synth_stop (priv->synth);
  /* Messages left in the outbox hold queues: free them with the synthesizer. */
  if (priv->synth)
    while (VornSynthMsg *msg = vorn_synth_get_message (priv->synth))
      vorn_synth_msg_free (msg);
  g_clear_object (&priv->synth);
  g_clear_pointer (&priv->config, json_object_unref);
  g_clear_pointer (&priv->remote_host, g_free);
  g_clear_pointer (&priv->audio_error, g_free);
  g_clear_pointer (&priv->midi_error, g_free);
  g_clear_pointer (&priv->open_errors, g_ptr_array_unref);

  G_OBJECT_CLASS (zelm_app_parent_class)->finalize (object);
}

static void
zelm_app_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmApp *app = ZELM_APP (object);
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));

  switch (prop_id)
    {
    case PROP_FILES:
      vorn_value_set_list (value, priv->files);
      break;
    case PROP_AUDIO_ENABLED:
      g_value_set_boolean (value, priv->audio_enabled);
      break;
    case PROP_AUDIO_DRIVER:
      g_value_set_enum (value, priv->audio_driver_type);
      break;
    case PROP_MIDI_DRIVER:
      g_value_set_enum (value, priv->midi_driver_type);
      break;
    case PROP_TREE_WIDTH:
      g_value_set_int (value, priv->tree_width);
      break;
    case PROP_TREE_HEIGHT:
      g_value_set_int (value, priv->tree_height);
      break;
    case PROP_REMOTE_HOST:
      g_value_set_string (value, priv->remote_host);
      break;
    case PROP_PAD_SIZE:
      g_value_set_int (value, priv->pad_size);
      break;
    case PROP_PACKET_SIZE:
      g_value_set_int (value, priv->packet_size);
      break;
    case PROP_CONFIG:
      g_value_set_boxed (value, priv->config);
      break;
    case PROP_RESTART_NEEDED:
      {
        gboolean synth_restart = FALSE;
        if (priv->synth)
          g_object_get (priv->synth, "restart-needed", &synth_restart, nullptr);
        g_value_set_boolean (value, priv->restart || synth_restart);
        break;
      }
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
zelm_app_set_property (GObject *object, guint prop_id, const GValue *value, GParamSpec *pspec)
{
  ZelmApp *app = ZELM_APP (object);
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));

  switch (prop_id)
    {
    case PROP_FILES:
      vorn_list_free (priv->files);
      priv->files = vorn_value_dup_list (value);
      g_object_notify_by_pspec (object, pspec);
      break;
    /* Driver settings take effect on the next restart, which the user is
     * told about whenever one of them is written. */
    case PROP_AUDIO_ENABLED:
      priv->audio_enabled = g_value_get_boolean (value);
      g_object_notify_by_pspec (object, pspec);
      set_restart (app, TRUE);
      break;
    case PROP_AUDIO_DRIVER:
      priv->audio_driver_type = g_value_get_enum (value);
      g_object_notify_by_pspec (object, pspec);
      set_restart (app, TRUE);
      break;
    case PROP_MIDI_DRIVER:
      priv->midi_driver_type = g_value_get_enum (value);
      g_object_notify_by_pspec (object, pspec);
      set_restart (app, TRUE);
      break;
    case PROP_REMOTE_HOST:
      if (g_strcmp0 (priv->remote_host, g_value_get_string (value)) != 0)
        {
          g_free (priv->remote_host);
          priv->remote_host = g_value_dup_string (value);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_TREE_WIDTH:
    case PROP_TREE_HEIGHT:
      {
        int &field = prop_id == PROP_TREE_WIDTH ? priv->tree_width : priv->tree_height;
        if (field != g_value_get_int (value))
          {
            field = g_value_get_int (value);
            g_object_notify_by_pspec (object, pspec);
          }
        break;
      }
    case PROP_PAD_SIZE:
      if (priv->pad_size != g_value_get_int (value))
        {
          priv->pad_size = g_value_get_int (value);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_PACKET_SIZE:
      if (priv->packet_size != g_value_get_int (value))
        {
          priv->packet_size = g_value_get_int (value);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_CONFIG:
      g_clear_pointer (&priv->config, json_object_unref);
      priv->config = static_cast<JsonObject *> (g_value_dup_boxed (value));
      g_object_notify_by_pspec (object, pspec);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
zelm_app_class_init (ZelmAppClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  GApplicationClass *app_class = G_APPLICATION_CLASS (klass);

  object_class->finalize = zelm_app_finalize;
  object_class->get_property = zelm_app_get_property;
  object_class->set_property = zelm_app_set_property;
  app_class->handle_local_options = zelm_app_handle_local_options;
  app_class->open = zelm_app_open;
  app_class->activate = zelm_app_activate;

  const GParamFlags rw = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                      G_PARAM_EXPLICIT_NOTIFY);
  const GParamFlags rw_config = GParamFlags (rw | VORN_PARAM_CONFIG);

  properties[PROP_FILES] = vorn_param_spec_list ("files", "Files", "Files", VORN_TYPE_FILE, rw);
  properties[PROP_AUDIO_ENABLED] = g_param_spec_boolean (
      "audio-enabled", "AudioEnabled", "Audio enabled", TRUE, rw);
  properties[PROP_AUDIO_DRIVER] = g_param_spec_enum (
      "audio-driver", "AudioDriver", "Audio driver", VORN_TYPE_AUDIO_DRIVER_AVAILABLE, 0,
      rw_config);
  properties[PROP_MIDI_DRIVER] = g_param_spec_enum (
      "midi-driver", "MidiDriver", "MIDI driver", VORN_TYPE_MIDI_DRIVER_AVAILABLE, 0, rw_config);
  /* Where the user put the panes of the main window, in pixels; -1 leaves
   * them where the window's layout puts them. */
  properties[PROP_TREE_WIDTH] = g_param_spec_int (
      "tree-width", "TreeWidth", "Width of the node tree and property editor pane in pixels",
      -1, G_MAXINT, -1, GParamFlags (rw_config | VORN_PARAM_HIDDEN));
  properties[PROP_TREE_HEIGHT] = g_param_spec_int (
      "tree-height", "TreeHeight", "Height of the node tree above the property editor in pixels",
      -1, G_MAXINT, -1, GParamFlags (rw_config | VORN_PARAM_HIDDEN));
  properties[PROP_REMOTE_HOST] = g_param_spec_string (
      "remote-host", "RemoteHost", "Remote synthesizer host name", nullptr, rw);
  properties[PROP_PAD_SIZE] = g_param_spec_int (
      "pad-size", "PadSize", "Audio delay padding in audio frames", 64, 65536, 256, rw);
  properties[PROP_PACKET_SIZE] = g_param_spec_int (
      "packet-size", "PacketSize", "UDP audio packet size in audio frames", 8, 8000, 128, rw);
  properties[PROP_CONFIG] = g_param_spec_boxed (
      "config", "Config", "Latest configuration JSON object", JSON_TYPE_OBJECT,
      GParamFlags (rw | VORN_PARAM_HIDDEN));
  properties[PROP_RESTART_NEEDED] = g_param_spec_boolean (
      "restart-needed", "RestartNeeded",
      "Synth/driver restart needed for changes to take effect", FALSE,
      GParamFlags (G_PARAM_READABLE | G_PARAM_STATIC_STRINGS | VORN_PARAM_HIDDEN));

  g_object_class_install_properties (object_class, N_PROPS, properties);

  /**
   * ZelmApp::open-failed:
   *
   * Files given to open did not open; zelm_app_take_open_errors() says
   * which and why.
   */
  signals[SIGNAL_OPEN_FAILED] = g_signal_new ("open-failed", G_TYPE_FROM_CLASS (klass),
                                              G_SIGNAL_RUN_LAST, 0, nullptr, nullptr, nullptr,
                                              G_TYPE_NONE, 0);
}

static void
zelm_app_init (ZelmApp *app)
{
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  priv->audio_enabled = TRUE;
  priv->pad_size = 256;
  priv->packet_size = 128;
  priv->tree_width = -1;
  priv->tree_height = -1;

  g_application_add_main_option_entries (G_APPLICATION (app), option_entries);
  g_application_set_option_context_parameter_string (G_APPLICATION (app),
                                                     "FILES - Zelmora synthesizer suite");
  g_application_set_option_context_summary (G_APPLICATION (app), ZELM_BANNER);
}

/* --- public ---------------------------------------------------------------- */

ZelmApp *
zelm_app_new (void)
{
  return ZELM_APP (g_object_new (ZELM_TYPE_APP, "application-id", ZELM_APP_ID, "flags",
                                 G_APPLICATION_HANDLES_OPEN, nullptr));
}

GList *
zelm_app_get_files_no_copy (ZelmApp *app)
{
  g_return_val_if_fail (ZELM_IS_APP (app), nullptr);
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  return priv->files;
}

void
zelm_app_add_file (ZelmApp *app, VornFile *file)
{
  g_return_if_fail (ZELM_IS_APP (app));
  g_return_if_fail (VORN_IS_FILE (file));
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  priv->files = vorn_list_append (priv->files, file);
  g_object_notify_by_pspec (G_OBJECT (app), properties[PROP_FILES]);
}

void
zelm_app_remove_file (ZelmApp *app, VornFile *file)
{
  g_return_if_fail (ZELM_IS_APP (app));
  g_return_if_fail (VORN_IS_FILE (file));
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  priv->files = vorn_list_remove (priv->files, file);
  g_object_notify_by_pspec (G_OBJECT (app), properties[PROP_FILES]);
}

VornSynth *
zelm_app_get_synth (ZelmApp *app)
{
  g_return_val_if_fail (ZELM_IS_APP (app), nullptr);
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  return priv->synth ? VORN_SYNTH (g_object_ref (priv->synth)) : nullptr;
}

VornAudioDriver *
zelm_app_get_audio_driver (ZelmApp *app)
{
  g_return_val_if_fail (ZELM_IS_APP (app), nullptr);
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  return priv->audio_driver;
}

const char *
zelm_app_get_audio_error (ZelmApp *app)
{
  g_return_val_if_fail (ZELM_IS_APP (app), nullptr);
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  return priv->audio_error;
}

VornMidiDriver *
zelm_app_get_midi_driver (ZelmApp *app)
{
  g_return_val_if_fail (ZELM_IS_APP (app), nullptr);
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  return priv->midi_driver;
}

const char *
zelm_app_get_midi_error (ZelmApp *app)
{
  g_return_val_if_fail (ZELM_IS_APP (app), nullptr);
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  return priv->midi_error;
}

void
zelm_app_restart_synth (ZelmApp *app)
{
  g_return_if_fail (ZELM_IS_APP (app));
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  g_return_if_fail (priv->synth != nullptr);

  stop_drivers (app);
  start_sound (app, synth_config (app, priv->config));
  set_restart (app, FALSE);
}

char **
zelm_app_take_open_errors (ZelmApp *app)
{
  g_return_val_if_fail (ZELM_IS_APP (app), nullptr);
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));
  if (!priv->open_errors)
    return nullptr;
  g_ptr_array_add (priv->open_errors, nullptr);
  return reinterpret_cast<char **> (g_ptr_array_free (g_steal_pointer (&priv->open_errors), FALSE));
}

char *
zelm_app_get_config_path (void)
{
  return g_build_filename (g_get_user_config_dir (), "zelmora", "config.json", nullptr);
}

gboolean
zelm_app_load_config (ZelmApp *app, GError **err)
{
  g_return_val_if_fail (ZELM_IS_APP (app), FALSE);
  g_return_val_if_fail (!err || !*err, FALSE);

  g_autofree char *path = zelm_app_get_config_path ();
  g_autoptr (JsonNode) root = vorn_json_read_file (path, ZELM_CONFIG_MAX_SIZE, ZELM_CONFIG_MAX_DEPTH,
                                                   "configuration files", err);
  if (!root)
    return FALSE;
  if (!JSON_NODE_HOLDS_OBJECT (root))
    {
      g_set_error (err, VORN_ERROR, VORN_ERROR_INVALID_DATA, "Unexpected config file JSON data");
      return FALSE;
    }

  JsonObject *obj = json_node_get_object (root);
  vorn_util_config_object_load_json (G_OBJECT (app), obj);
  g_object_set (app, "config", obj, nullptr);
  return TRUE;
}

gboolean
zelm_app_save_config (ZelmApp *app, GError **err)
{
  g_return_val_if_fail (ZELM_IS_APP (app), FALSE);
  g_return_val_if_fail (!err || !*err, FALSE);
  ZelmAppPrivate *priv = static_cast<ZelmAppPrivate *> (zelm_app_get_instance_private (app));

  g_autoptr (JsonObject) obj = json_object_new ();
  json_object_set_string_member (obj, "type", "ZelmConfig");
  json_object_set_string_member (obj, "config-version", "1.0");
  const char *created = priv->config
      ? vorn_util_json_object_get_string_member (priv->config, "software-created")
      : nullptr;
  json_object_set_string_member (obj, "software-created", created ? created : ZELM_VERSION);
  json_object_set_string_member (obj, "software-edited", ZELM_VERSION);
  vorn_util_config_object_save_json (G_OBJECT (app), obj);

  if (priv->synth)
    {
      JsonObject *synth_obj = json_object_new ();
      json_object_set_string_member (synth_obj, "type", G_OBJECT_TYPE_NAME (priv->synth));
      vorn_util_config_object_save_json (G_OBJECT (priv->synth), synth_obj);
      if (priv->audio_driver)
        {
          JsonObject *drv = json_object_new ();
          json_object_set_string_member (drv, "type", G_OBJECT_TYPE_NAME (priv->audio_driver));
          vorn_util_config_object_save_json (G_OBJECT (priv->audio_driver), drv);
          json_object_set_object_member (synth_obj, "audio-driver-config", drv);
        }
      JsonArray *synths = json_array_new ();
      json_array_add_object_element (synths, synth_obj);
      json_object_set_array_member (obj, "synths", synths);
    }

  g_object_set (app, "config", obj, nullptr);

  g_autofree char *path = zelm_app_get_config_path ();
  g_autofree char *dir = g_path_get_dirname (path);
  if (g_mkdir_with_parents (dir, 0755) != 0)
    {
      int e = errno;
      g_set_error (err, G_FILE_ERROR, g_file_error_from_errno (e),
                   "Failed to create directory '%s': %s", dir, g_strerror (e));
      return FALSE;
    }

  g_autoptr (JsonNode) root = json_node_new (JSON_NODE_OBJECT);
  json_node_set_object (root, obj);
  g_autoptr (JsonGenerator) gen = json_generator_new ();
  json_generator_set_pretty (gen, TRUE);
  json_generator_set_root (gen, root);
  gsize len = 0;
  g_autofree char *text = json_generator_to_data (gen, &len);
  /* Replaced all at once, as instrument files are: a failed write never
   * leaves a truncated configuration, a link stays a link, the mode stays. */
  return vorn_file_replace_contents (path, text, len, err);
}

char *
zelm_app_get_resource_path (ZelmApp *app, const char *relative_path)
{
  g_return_val_if_fail (ZELM_IS_APP (app), nullptr);
  g_return_val_if_fail (relative_path != nullptr, nullptr);

  /* Computed once: a thread-safe static holds it for the life of the process. */
  static const char *const resource_dir = [] {
    const char *env = g_getenv ("ZELMORA_RESOURCE_DIR");
    if (env && *env)
      return g_strdup (env);
    /* The running executable, however it was started (PATH, a relative
     * path, the build tree). */
    g_autofree char *exe = g_file_read_link ("/proc/self/exe", nullptr);
    g_autofree char *bindir = exe ? g_path_get_dirname (exe) : g_get_current_dir ();
    g_autofree char *prefix = g_path_get_dirname (bindir);
    return g_build_filename (prefix, "share", "zelmora", nullptr);
  }();
  return g_build_filename (resource_dir, relative_path, nullptr);
}
