/* vorn-midi-driver-jack.cpp: MIDI input as a JACK client */
#include "vorn-midi-driver-jack.h"

#include "vorn-cpu.h"
#include "vorn-init.h"
#include "vorn-jack-private.h"

#include <glib-unix.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <unistd.h>

enum {
  PROP_0,
  PROP_CLIENT_NAME,
  PROP_SERVER_NAME,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

/* Room for a few thousand short messages: far more than one period brings. */
constexpr size_t RING_BYTES = 64 * 1024;
constexpr guint32 MAX_EVENT_BYTES = 1024;

struct _VornMidiDriverJack {
  VornMidiDriver parent_instance;

  char *client_name;
  char *server_name;

  jack_client_t *client;
  jack_port_t *port;
  /* Each event is a guint32 length followed by its bytes; the process
   * thread is the only writer, the main context the only reader. */
  jack_ringbuffer_t *ring;
  guint dropped;      /* atomic: events the process thread could not keep */
  gint server_gone;   /* atomic */
  /* Written by the process thread after it queued events, and by the
   * shutdown callback; read by @source on the main context. */
  int wake_fd;
  GSource *source;
  VornInputManager *manager;
};

G_DEFINE_FINAL_TYPE (VornMidiDriverJack, vorn_midi_driver_jack, VORN_TYPE_MIDI_DRIVER)

/* JACK's process thread: copies, never allocates, locks or logs. */
static int
jack_process (jack_nframes_t frames, void *data)
{
  auto *self = static_cast<VornMidiDriverJack *> (data);
  void *buffer = jack_port_get_buffer (self->port, frames);
  const guint32 count = jack_midi_get_event_count (buffer);
  bool queued = false;

  for (guint32 i = 0; i < count; i++)
    {
      jack_midi_event_t event;
      if (jack_midi_event_get (&event, buffer, i) != 0 || event.size == 0)
        continue;
      const guint32 size = guint32 (event.size);
      if (size > MAX_EVENT_BYTES || jack_ringbuffer_write_space (self->ring) < sizeof size + size)
        {
          __atomic_add_fetch (&self->dropped, 1u, __ATOMIC_RELAXED);
          continue;
        }
      jack_ringbuffer_write (self->ring, reinterpret_cast<const char *> (&size), sizeof size);
      jack_ringbuffer_write (self->ring, reinterpret_cast<const char *> (event.buffer), size);
      queued = true;
    }
  if (queued)
    vorn_jack_wake (self->wake_fd);
  return 0;
}

static void
jack_thread_init (void *)
{
  vorn_util_set_ftz_daz ();
}

static void
jack_shutdown (jack_status_t, const char *, void *data)
{
  auto *self = static_cast<VornMidiDriverJack *> (data);
  g_atomic_int_set (&self->server_gone, 1);
  vorn_jack_wake (self->wake_fd);
}

/* Main context: hands the queued events to the input manager. */
static gboolean
events_dispatch (gint fd, GIOCondition, gpointer data)
{
  auto *self = VORN_JACK_MIDI_DRIVER (data);
  vorn_jack_wake_clear (fd);

  guint8 msg[MAX_EVENT_BYTES];
  for (;;)
    {
      guint32 size = 0;
      const size_t readable = jack_ringbuffer_read_space (self->ring);
      /* The body may still be on its way; the writer wakes us again. */
      if (readable < sizeof size
          || jack_ringbuffer_peek (self->ring, reinterpret_cast<char *> (&size), sizeof size)
               != sizeof size
          || readable < sizeof size + size)
        break;
      jack_ringbuffer_read_advance (self->ring, sizeof size);
      jack_ringbuffer_read (self->ring, reinterpret_cast<char *> (msg), size);
      vorn_input_manager_midi_event (self->manager, msg, size);
    }

  if (guint dropped = __atomic_exchange_n (&self->dropped, 0u, __ATOMIC_RELAXED))
    g_warning ("JACK MIDI input dropped %u events", dropped);

  if (g_atomic_int_get (&self->server_gone))
    {
      g_debug ("JACK server went away; MIDI input stopped");
      /* Stopping destroys this source; GLib keeps it alive until we return. */
      vorn_midi_driver_stop (VORN_MIDI_DRIVER (self));
      return G_SOURCE_REMOVE;
    }
  return G_SOURCE_CONTINUE;
}

static void jack_stop (VornMidiDriver *driver);

static gboolean
jack_start (VornMidiDriver *driver, GError **err)
{
  auto *self = VORN_JACK_MIDI_DRIVER (driver);

  self->client = vorn_jack_client_open (self->client_name, "Zelmora MIDI", self->server_name, err);
  if (!self->client)
    return FALSE;

  self->port = jack_port_register (self->client, "midi_in", JACK_DEFAULT_MIDI_TYPE,
                                   JackPortIsInput | JackPortIsTerminal, 0);
  if (!self->port)
    {
      g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Error registering JACK port midi_in");
      jack_stop (driver);
      return FALSE;
    }
  self->ring = jack_ringbuffer_create (RING_BYTES);
  self->wake_fd = vorn_jack_wake_fd_new (err);
  if (!self->ring || self->wake_fd < 0)
    {
      if (!self->ring)
        g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Error creating the MIDI event ring");
      jack_stop (driver);
      return FALSE;
    }
  /* Keeps the process thread from faulting pages in. */
  jack_ringbuffer_mlock (self->ring);
  self->server_gone = 0;
  self->dropped = 0;
  self->manager = vorn_midi_driver_get_input_manager (driver);

  self->source = g_unix_fd_source_new (self->wake_fd, G_IO_IN);
  /* Notes before redraws: a GUI main loop keeps latency low. */
  g_source_set_priority (self->source, G_PRIORITY_HIGH);
  g_source_set_callback (self->source, G_SOURCE_FUNC (events_dispatch), self, nullptr);
  g_source_set_static_name (self->source, "JACK MIDI input");
  g_autoptr (GMainContext) context = g_main_context_ref_thread_default ();
  g_source_attach (self->source, context);

  jack_set_thread_init_callback (self->client, jack_thread_init, nullptr);
  jack_set_process_callback (self->client, jack_process, self);
  jack_on_info_shutdown (self->client, jack_shutdown, self);
  if (jack_activate (self->client) != 0)
    {
      g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Error activating JACK client");
      jack_stop (driver);
      return FALSE;
    }
  return TRUE;
}

static void
jack_stop (VornMidiDriver *driver)
{
  auto *self = VORN_JACK_MIDI_DRIVER (driver);

  /* No process call runs after the close, so the ring can go. */
  if (self->client)
    {
      jack_client_close (self->client);
      self->client = nullptr;
      self->port = nullptr;
    }
  if (self->source)
    {
      g_source_destroy (self->source);
      g_clear_pointer (&self->source, g_source_unref);
    }
  if (self->wake_fd >= 0)
    {
      close (self->wake_fd);
      self->wake_fd = -1;
    }
  g_clear_pointer (&self->ring, jack_ringbuffer_free);
  g_clear_object (&self->manager);
}

static void
vorn_midi_driver_jack_get_property (GObject *object, guint prop_id, GValue *value,
                                    GParamSpec *pspec)
{
  auto *self = VORN_JACK_MIDI_DRIVER (object);

  switch (prop_id)
    {
    case PROP_CLIENT_NAME:
      g_value_set_string (value, self->client_name);
      break;
    case PROP_SERVER_NAME:
      g_value_set_string (value, self->server_name);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
vorn_midi_driver_jack_set_property (GObject *object, guint prop_id, const GValue *value,
                                    GParamSpec *pspec)
{
  auto *self = VORN_JACK_MIDI_DRIVER (object);
  char **field;

  switch (prop_id)
    {
    case PROP_CLIENT_NAME:
      field = &self->client_name;
      break;
    case PROP_SERVER_NAME:
      field = &self->server_name;
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      return;
    }
  /* Takes effect at the next start. */
  if (g_strcmp0 (*field, g_value_get_string (value)) != 0)
    {
      g_free (*field);
      *field = g_value_dup_string (value);
      g_object_notify_by_pspec (object, pspec);
    }
}

static void
vorn_midi_driver_jack_finalize (GObject *object)
{
  auto *self = VORN_JACK_MIDI_DRIVER (object);

  /* The base class stopped the driver in dispose. */
  g_free (self->client_name);
  g_free (self->server_name);
  G_OBJECT_CLASS (vorn_midi_driver_jack_parent_class)->finalize (object);
}

static void
vorn_midi_driver_jack_class_init (VornMidiDriverJackClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  VornMidiDriverClass *driver_class = VORN_MIDI_DRIVER_CLASS (klass);

  object_class->get_property = vorn_midi_driver_jack_get_property;
  object_class->set_property = vorn_midi_driver_jack_set_property;
  object_class->finalize = vorn_midi_driver_jack_finalize;
  driver_class->start = jack_start;
  driver_class->stop = jack_stop;

  const auto rw = GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY
                               | G_PARAM_STATIC_STRINGS);
  properties[PROP_CLIENT_NAME] =
    g_param_spec_string ("client-name", "ClientName", "JACK client name", "Zelmora MIDI", rw);
  properties[PROP_SERVER_NAME] =
    g_param_spec_string ("server-name", "ServerName", "JACK server name (NULL for the default)",
                         nullptr, rw);
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
vorn_midi_driver_jack_init (VornMidiDriverJack *self)
{
  self->client_name = g_strdup ("Zelmora MIDI");
  self->wake_fd = -1;
}
