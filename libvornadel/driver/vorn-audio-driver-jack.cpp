/* vorn-audio-driver-jack.cpp: audio output as a JACK client */
#include "vorn-audio-driver-jack.h"

#include "vorn-init.h"
#include "vorn-inst.h"
#include "vorn-jack-private.h"

#include <cerrno>
#include <cstring>
#include <vector>

enum {
  PROP_0,
  PROP_CLIENT_NAME,
  PROP_SERVER_NAME,
  PROP_AUTO_CONNECT,
  PROP_BUFFER_SIZE,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

struct _VornAudioDriverJack {
  VornAudioDriver parent_instance;

  VornJackClient jc;
  gboolean auto_connect;

  /* Both sized by the speaker count at start; the process callback only
   * fills in the buffer addresses of the current period. */
  jack_port_t **ports;
  float **buffers;
  guint port_count;
  /* Copied at start for the process callback, which must not call into
   * GObject. */
  VornSynth *synth;
  guint buffer_size;  /* atomic: written by JACK's notification thread */
};

G_DEFINE_FINAL_TYPE (VornAudioDriverJack, vorn_audio_driver_jack, VORN_TYPE_AUDIO_DRIVER)

/* JACK's process thread: the synthesizer's render thread while active.  The
 * port buffers are rendered into directly, one per speaker. */
static int
jack_process (jack_nframes_t frames, void *data)
{
  auto *self = static_cast<VornAudioDriverJack *> (data);

  for (guint s = 0; s < self->port_count; s++)
    self->buffers[s] = static_cast<float *> (jack_port_get_buffer (self->ports[s], frames));
  if (self->synth)
    {
      /* Input on this server stamps its events by this cycle's frames. */
      vorn_synth_set_frame_reference (self->synth, jack_last_frame_time (self->jc.client));
      vorn_synth_render_split (self->synth, self->buffers, frames);
    }
  else
    for (guint s = 0; s < self->port_count; s++)
      memset (self->buffers[s], 0, sizeof (float) * frames);
  return 0;
}

/* The renderer takes any number of frames, so a new period size needs no
 * new buffers; it is only recorded. */
static int
jack_buffer_size (jack_nframes_t frames, void *data)
{
  auto *self = static_cast<VornAudioDriverJack *> (data);
  __atomic_store_n (&self->buffer_size, guint (frames), __ATOMIC_RELAXED);
  return 0;
}

/* Only the shutdown callback wakes the source. */
static gboolean
shutdown_dispatch (gint, GIOCondition, gpointer data)
{
  auto *self = VORN_JACK_AUDIO_DRIVER (data);
  g_debug ("JACK server '%s' went away; audio output stopped",
           self->jc.server_name ? self->jc.server_name : "default");
  /* Stopping destroys this source; GLib keeps it alive until we return. */
  vorn_audio_driver_stop (VORN_AUDIO_DRIVER (self));
  return G_SOURCE_REMOVE;
}

/* Sets the rate of @synth, restarting it when started (the channels keep
 * their instruments).  Returns: whether it was restarted. */
static bool
follow_server_rate (VornSynth *synth, double rate)
{
  if (!vorn_synth_is_started (synth))
    {
      g_object_set (synth, "sample-rate", rate, nullptr);
      return false;
    }
  guint channels = 0;
  g_object_get (synth, "channel-count", &channels, nullptr);
  std::vector<VornInst *> insts (channels);
  for (guint c = 0; c < channels; c++)
    if (VornInst *inst = vorn_synth_get_inst (synth, int (c)))
      insts[c] = VORN_INST (g_object_ref (inst));
  g_object_set (synth, "sample-rate", rate, nullptr);
  g_autoptr (GError) err = nullptr;
  if (!vorn_synth_start (synth, &err))
    g_warning ("The synthesizer did not restart at %u Hz: %s", guint (rate), err->message);
  for (guint c = 0; c < channels; c++)
    if (insts[c])
      {
        vorn_synth_set_inst (synth, int (c), insts[c]);
        g_object_unref (insts[c]);
      }
  return true;
}

/* Connects the outputs to the server's playback ports in order; a single
 * speaker feeds the first two, so that mono reaches both sides. */
static void
connect_outputs (VornAudioDriverJack *self)
{
  const char **playback = jack_get_ports (self->jc.client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                          JackPortIsPhysical | JackPortIsInput);
  if (!playback)
    return;
  guint count = 0;
  while (playback[count])
    count++;
  const guint links = self->port_count == 1 ? MIN (count, 2u) : MIN (count, self->port_count);
  for (guint i = 0; i < links; i++)
    {
      const char *from = jack_port_name (self->ports[MIN (i, self->port_count - 1)]);
      int code = jack_connect (self->jc.client, from, playback[i]);
      if (code != 0 && code != EEXIST)
        g_warning ("Cannot connect JACK port %s to %s", from, playback[i]);
    }
  jack_free (playback);
}

static void jack_stop (VornAudioDriver *driver);

static gboolean
jack_start (VornAudioDriver *driver, GError **err)
{
  auto *self = VORN_JACK_AUDIO_DRIVER (driver);

  if (!vorn_jack_client_open_watched (&self->jc, "Zelmora", shutdown_dispatch, self, G_PRIORITY_DEFAULT,
                                      "JACK audio shutdown", err))
    return FALSE;

  self->synth = vorn_audio_driver_get_synth (driver);
  const double rate = jack_get_sample_rate (self->jc.client);
  double synth_rate = rate;
  if (self->synth)
    {
      vorn_synth_get_render_props (self->synth, &synth_rate, nullptr, nullptr);
      if (synth_rate != rate && follow_server_rate (self->synth, rate))
        {
          /* The restart took the synthesizer's current speaker property. */
          guint speakers = 0;
          vorn_synth_get_render_props (self->synth, nullptr, &speakers, nullptr);
          g_object_set (driver, "speaker-count", speakers, nullptr);
        }
    }
  g_object_set (driver, "sample-rate", rate, nullptr);
  g_object_get (driver, "speaker-count", &self->port_count, nullptr);

  self->ports = g_new0 (jack_port_t *, self->port_count);
  self->buffers = g_new0 (float *, self->port_count);
  for (guint s = 0; s < self->port_count; s++)
    {
      g_autofree char *name = g_strdup_printf ("out_%u", s + 1);
      self->ports[s] = vorn_jack_port_register (&self->jc, name, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, err);
      if (!self->ports[s])
        {
          jack_stop (driver);
          return FALSE;
        }
    }

  __atomic_store_n (&self->buffer_size, guint (jack_get_buffer_size (self->jc.client)), __ATOMIC_RELAXED);
  jack_set_buffer_size_callback (self->jc.client, jack_buffer_size, self);
  if (!vorn_jack_client_activate (&self->jc, jack_process, self, err))
    {
      jack_stop (driver);
      return FALSE;
    }
  if (self->auto_connect)
    connect_outputs (self);
  return TRUE;
}

static void
jack_stop (VornAudioDriver *driver)
{
  auto *self = VORN_JACK_AUDIO_DRIVER (driver);

  vorn_jack_client_close (&self->jc);
  g_clear_pointer (&self->ports, g_free);
  g_clear_pointer (&self->buffers, g_free);
  self->port_count = 0;
  self->synth = nullptr;
  __atomic_store_n (&self->buffer_size, 0u, __ATOMIC_RELAXED);
}

static void
vorn_audio_driver_jack_get_property (GObject *object, guint prop_id, GValue *value,
                                     GParamSpec *pspec)
{
  auto *self = VORN_JACK_AUDIO_DRIVER (object);

  switch (prop_id)
    {
    case PROP_CLIENT_NAME:
      g_value_set_string (value, self->jc.client_name);
      break;
    case PROP_SERVER_NAME:
      g_value_set_string (value, self->jc.server_name);
      break;
    case PROP_AUTO_CONNECT:
      g_value_set_boolean (value, self->auto_connect);
      break;
    case PROP_BUFFER_SIZE:
      g_value_set_uint (value, __atomic_load_n (&self->buffer_size, __ATOMIC_RELAXED));
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
vorn_audio_driver_jack_set_property (GObject *object, guint prop_id, const GValue *value,
                                     GParamSpec *pspec)
{
  auto *self = VORN_JACK_AUDIO_DRIVER (object);

  /* All take effect at the next start. */
  switch (prop_id)
    {
    case PROP_CLIENT_NAME:
      vorn_jack_set_name (object, &self->jc.client_name, value, pspec);
      break;
    case PROP_SERVER_NAME:
      vorn_jack_set_name (object, &self->jc.server_name, value, pspec);
      break;
    case PROP_AUTO_CONNECT:
      if (self->auto_connect != g_value_get_boolean (value))
        {
          self->auto_connect = g_value_get_boolean (value);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
vorn_audio_driver_jack_finalize (GObject *object)
{
  auto *self = VORN_JACK_AUDIO_DRIVER (object);

  /* The base class stopped the driver in dispose. */
  vorn_jack_client_clear (&self->jc);
  G_OBJECT_CLASS (vorn_audio_driver_jack_parent_class)->finalize (object);
}

static void
vorn_audio_driver_jack_class_init (VornAudioDriverJackClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  VornAudioDriverClass *driver_class = VORN_AUDIO_DRIVER_CLASS (klass);

  object_class->get_property = vorn_audio_driver_jack_get_property;
  object_class->set_property = vorn_audio_driver_jack_set_property;
  object_class->finalize = vorn_audio_driver_jack_finalize;
  driver_class->start = jack_start;
  driver_class->stop = jack_stop;

  const auto rw = GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY
                               | G_PARAM_STATIC_STRINGS);
  properties[PROP_CLIENT_NAME] = vorn_jack_client_name_pspec ("Zelmora");
  properties[PROP_SERVER_NAME] = vorn_jack_server_name_pspec ();
  properties[PROP_AUTO_CONNECT] =
    g_param_spec_boolean ("auto-connect", "AutoConnect",
                          "Connect the outputs to the playback ports", TRUE, rw);
  properties[PROP_BUFFER_SIZE] =
    g_param_spec_uint ("buffer-size", "BufferSize", "Frames per JACK period (0 while stopped)",
                       0, G_MAXUINT, 0, GParamFlags (G_PARAM_READABLE | G_PARAM_STATIC_STRINGS));
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
vorn_audio_driver_jack_init (VornAudioDriverJack *self)
{
  vorn_jack_client_init (&self->jc, "Zelmora");
  self->auto_connect = TRUE;
}

gboolean
vorn_audio_driver_jack_server_running (const char *server_name)
{
  g_autoptr (GError) ignored = nullptr;
  jack_client_t *probe = vorn_jack_client_open ("Zelmora probe", nullptr, server_name, &ignored);
  if (!probe)
    return FALSE;
  jack_client_close (probe);
  return TRUE;
}
