/* vorn-midi-driver-jack.cpp: MIDI input as a JACK client */
#include "vorn-midi-driver-jack.h"

#include "vorn-init.h"
#include "vorn-jack-private.h"

#include <jack/midiport.h>
#include <jack/ringbuffer.h>

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

  VornJackClient jc; /* its wake-up fd: written by the process thread after
                      * it queued events, and on shutdown */
  jack_port_t *port;
  /* Each event is a guint32 length followed by its bytes; the process
   * thread is the only writer, the main context the only reader. */
  jack_ringbuffer_t *ring;
  guint dropped;      /* atomic: events the process thread could not keep */
  VornInputManager *manager;
  /* Copied at start for the process thread, which hands notes straight to
   * its render thread when the audio goes through the same server. */
  VornSynth *synth;
};

G_DEFINE_FINAL_TYPE (VornMidiDriverJack, vorn_midi_driver_jack, VORN_TYPE_MIDI_DRIVER)

/* JACK's process thread: copies, never allocates, locks or logs. */
static int
jack_process (jack_nframes_t frames, void *data)
{
  auto *self = static_cast<VornMidiDriverJack *> (data);
  void *buffer = jack_port_get_buffer (self->port, frames);
  const guint32 count = jack_midi_get_event_count (buffer);
  const jack_nframes_t cycle = jack_last_frame_time (self->jc.client);
  bool queued = false;

  for (guint32 i = 0; i < count; i++)
    {
      jack_midi_event_t event;
      if (jack_midi_event_get (&event, buffer, i) != 0 || event.size == 0)
        continue;
      /* Notes play at their frame one period later, whichever of the two
       * clients the server runs first: by then every event of this cycle
       * is in. */
      guint64 at;
      if (self->synth && vorn_synth_event_is_timed (event.buffer, event.size)
          && vorn_synth_frame_to_sample_time (self->synth, guint64 (cycle + event.time), &at))
        {
          vorn_synth_post_event (self->synth, at + frames, event.buffer, event.size);
          continue;
        }
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
    vorn_jack_wake (self->jc.wake_fd);
  return 0;
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

  if (g_atomic_int_get (&self->jc.server_gone))
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

  /* Notes before redraws: a GUI main loop keeps latency low. */
  if (!vorn_jack_client_open_watched (&self->jc, "Zelmora MIDI", events_dispatch, self, G_PRIORITY_HIGH,
                                      "JACK MIDI input", err))
    return FALSE;
  self->port = vorn_jack_port_register (&self->jc, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, err);
  self->ring = self->port ? jack_ringbuffer_create (RING_BYTES) : nullptr;
  if (self->port && !self->ring)
    g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Error creating the MIDI event ring");
  if (!self->ring)
    {
      jack_stop (driver);
      return FALSE;
    }
  /* Keeps the process thread from faulting pages in. */
  jack_ringbuffer_mlock (self->ring);
  self->dropped = 0;
  self->manager = vorn_midi_driver_get_input_manager (driver);
  g_object_get (driver, "synth", &self->synth, nullptr);
  if (self->synth)
    vorn_synth_prepare_voices (self->synth);
  if (!vorn_jack_client_activate (&self->jc, jack_process, self, err))
    {
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
  vorn_jack_client_close (&self->jc);
  self->port = nullptr;
  g_clear_pointer (&self->ring, jack_ringbuffer_free);
  g_clear_object (&self->manager);
  g_clear_object (&self->synth);
}

static void
vorn_midi_driver_jack_get_property (GObject *object, guint prop_id, GValue *value,
                                    GParamSpec *pspec)
{
  auto *self = VORN_JACK_MIDI_DRIVER (object);

  switch (prop_id)
    {
    case PROP_CLIENT_NAME:
      g_value_set_string (value, self->jc.client_name);
      break;
    case PROP_SERVER_NAME:
      g_value_set_string (value, self->jc.server_name);
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

  switch (prop_id)
    {
    case PROP_CLIENT_NAME:
      vorn_jack_set_name (object, &self->jc.client_name, value, pspec);
      break;
    case PROP_SERVER_NAME:
      vorn_jack_set_name (object, &self->jc.server_name, value, pspec);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
vorn_midi_driver_jack_finalize (GObject *object)
{
  auto *self = VORN_JACK_MIDI_DRIVER (object);

  /* The base class stopped the driver in dispose. */
  vorn_jack_client_clear (&self->jc);
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

  properties[PROP_CLIENT_NAME] = vorn_jack_client_name_pspec ("Zelmora MIDI");
  properties[PROP_SERVER_NAME] = vorn_jack_server_name_pspec ();
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
vorn_midi_driver_jack_init (VornMidiDriverJack *self)
{
  vorn_jack_client_init (&self->jc, "Zelmora MIDI");
}
