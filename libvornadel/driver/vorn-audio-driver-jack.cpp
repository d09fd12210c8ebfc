/* vorn-audio-driver-jack.cpp: audio output as a JACK client */
#include "vorn-audio-driver-jack.h"

#include "vorn-cpu.h"
#include "vorn-init.h"
#include "vorn-inst.h"
#include "vorn-jack-private.h"

#include <glib-unix.h>
#include <unistd.h>

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

  char *client_name;
  char *server_name;
  gboolean auto_connect;

  jack_client_t *client;
  /* Both sized by the speaker count at start; the process callback only
   * fills in the buffer addresses of the current period. */
  jack_port_t **ports;
  float **buffers;
  guint port_count;
  /* Copied at start for the process callback, which must not call into
   * GObject. */
  VornSynth *synth;
  guint buffer_size;  /* atomic: written by JACK's notification thread */

  /* The shutdown callback may only do async-signal-safe things: it writes
   * this eventfd, whose source stops the driver on the main context. */
  int shutdown_fd;
  GSource *shutdown_source;
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
    vorn_synth_render_split (self->synth, self->buffers, frames);
  else
    for (guint s = 0; s < self->port_count; s++)
      memset (self->buffers[s], 0, sizeof (float) * frames);
  return 0;
}

/* Called on every thread libjack makes for the client, the process thread
 * included, before it runs any callback. */
static void
jack_thread_init (void *)
{
  vorn_util_set_ftz_daz ();
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

static void
jack_shutdown (jack_status_t, const char *, void *data)
{
  vorn_jack_wake (static_cast<VornAudioDriverJack *> (data)->shutdown_fd);
}

static gboolean
shutdown_dispatch (gint, GIOCondition, gpointer data)
{
  auto *self = VORN_JACK_AUDIO_DRIVER (data);
  g_debug ("JACK server '%s' went away; audio output stopped",
           self->server_name ? self->server_name : "default");
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
  vorn_synth_start (synth);
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
  const char **playback = jack_get_ports (self->client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
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
      int code = jack_connect (self->client, from, playback[i]);
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

  self->client = vorn_jack_client_open (self->client_name, "Zelmora", self->server_name, err);
  if (!self->client)
    return FALSE;

  self->synth = vorn_audio_driver_get_synth (driver);
  const double rate = jack_get_sample_rate (self->client);
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
      self->ports[s] = jack_port_register (self->client, name, JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsOutput | JackPortIsTerminal, 0);
      if (!self->ports[s])
        {
          g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Error registering JACK port %s",
                       name);
          jack_stop (driver);
          return FALSE;
        }
    }

  self->shutdown_fd = vorn_jack_wake_fd_new (err);
  if (self->shutdown_fd < 0)
    {
      jack_stop (driver);
      return FALSE;
    }
  self->shutdown_source = g_unix_fd_source_new (self->shutdown_fd, G_IO_IN);
  g_source_set_callback (self->shutdown_source, G_SOURCE_FUNC (shutdown_dispatch), self, nullptr);
  g_source_set_static_name (self->shutdown_source, "JACK audio shutdown");
  g_autoptr (GMainContext) context = g_main_context_ref_thread_default ();
  g_source_attach (self->shutdown_source, context);

  __atomic_store_n (&self->buffer_size, guint (jack_get_buffer_size (self->client)),
                    __ATOMIC_RELAXED);
  jack_set_thread_init_callback (self->client, jack_thread_init, nullptr);
  jack_set_process_callback (self->client, jack_process, self);
  jack_set_buffer_size_callback (self->client, jack_buffer_size, self);
  jack_on_info_shutdown (self->client, jack_shutdown, self);

  if (jack_activate (self->client) != 0)
    {
      g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Error activating JACK client");
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

  /* Closing deactivates first: no process call runs after it returns, also
   * when the server has gone away already. */
  if (self->client)
    {
      jack_client_close (self->client);
      self->client = nullptr;
    }
  if (self->shutdown_source)
    {
      g_source_destroy (self->shutdown_source);
      g_clear_pointer (&self->shutdown_source, g_source_unref);
    }
  if (self->shutdown_fd >= 0)
    {
      close (self->shutdown_fd);
      self->shutdown_fd = -1;
    }
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
      g_value_set_string (value, self->client_name);
      break;
    case PROP_SERVER_NAME:
      g_value_set_string (value, self->server_name);
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
set_string (GObject *object, char **field, const GValue *value, GParamSpec *pspec)
{
  if (g_strcmp0 (*field, g_value_get_string (value)) != 0)
    {
      g_free (*field);
      *field = g_value_dup_string (value);
      g_object_notify_by_pspec (object, pspec);
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
      set_string (object, &self->client_name, value, pspec);
      break;
    case PROP_SERVER_NAME:
      set_string (object, &self->server_name, value, pspec);
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
  g_free (self->client_name);
  g_free (self->server_name);
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
  properties[PROP_CLIENT_NAME] =
    g_param_spec_string ("client-name", "ClientName", "JACK client name", "Zelmora", rw);
  properties[PROP_SERVER_NAME] =
    g_param_spec_string ("server-name", "ServerName", "JACK server name (NULL for the default)",
                         nullptr, rw);
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
  self->client_name = g_strdup ("Zelmora");
  self->auto_connect = TRUE;
  self->shutdown_fd = -1;
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
