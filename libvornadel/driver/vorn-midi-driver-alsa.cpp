/* vorn-midi-driver-alsa.cpp: MIDI input through the ALSA sequencer */
#include "vorn-midi-driver-alsa.h"

#include "vorn-init.h"
#include "vorn-midi-alsa-event.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#define SEQ_DEVICE "/dev/snd/seq"

enum {
  PROP_0,
  PROP_AUTO_CONNECT,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

/* Everything but auto_connect is set by start before the thread exists and
 * released by stop after it has ended; in between only the thread uses the
 * sequencer handle. */
struct _VornMidiDriverAlsa {
  VornMidiDriver parent_instance;

  gboolean auto_connect;
  snd_seq_t *seq;
  int client;
  int port;
  int wake_fd;
  GThread *thread;
  VornInputManager *manager;
  VornSynth *synth;
};

G_DEFINE_FINAL_TYPE (VornMidiDriverAlsa, vorn_midi_driver_alsa, VORN_TYPE_MIDI_DRIVER)

/* Input thread: reads every event waiting, until the wake-up descriptor
 * says stop. */
static gpointer
input_thread (gpointer data)
{
  VornMidiDriverAlsa *self = static_cast<VornMidiDriverAlsa *> (data);

  const int count = snd_seq_poll_descriptors_count (self->seq, POLLIN);
  if (count <= 0)
    return nullptr;
  struct pollfd *fds = g_new0 (struct pollfd, gsize (count) + 1);
  snd_seq_poll_descriptors (self->seq, fds, guint (count), POLLIN);
  fds[count].fd = self->wake_fd;
  fds[count].events = POLLIN;

  for (;;)
    {
      if (poll (fds, nfds_t (count + 1), -1) < 0)
        {
          if (errno == EINTR)
            continue;
          break;
        }
      if (fds[count].revents)
        break;

      for (;;)
        {
          snd_seq_event_t *ev = nullptr;
          const int r = snd_seq_event_input (self->seq, &ev);
          /* -ENOSPC: the kernel's queue overflowed and lost events; the
           * ones after the loss are still worth playing. */
          if (r == -ENOSPC)
            continue;
          if (r < 0 || !ev)
            break;
          guint8 bytes[3];
          gsize len = vorn_midi_alsa_event_to_bytes (ev, bytes);
          if (!len)
            continue;
          /* Notes are stamped on arrival and play a constant latency
           * later, at their offset from each other; once the synthesizer
           * renders, that is. */
          const guint64 at = self->synth && vorn_synth_event_is_timed (bytes, len)
                             ? vorn_synth_stamp_event_time (self->synth) : 0;
          if (!at || !vorn_synth_post_event (self->synth, at, bytes, len))
            vorn_input_manager_midi_event (self->manager, bytes, len);
        }
    }
  g_free (fds);
  return nullptr;
}

/* Subscribes our port to every hardware port that other clients may read. */
static void
connect_hardware (VornMidiDriverAlsa *self)
{
  snd_seq_client_info_t *cinfo;
  snd_seq_port_info_t *pinfo;
  snd_seq_client_info_alloca (&cinfo);
  snd_seq_port_info_alloca (&pinfo);

  snd_seq_client_info_set_client (cinfo, -1);
  while (snd_seq_query_next_client (self->seq, cinfo) >= 0)
    {
      const int client = snd_seq_client_info_get_client (cinfo);
      if (client == SND_SEQ_CLIENT_SYSTEM || client == self->client)
        continue;
      snd_seq_port_info_set_client (pinfo, client);
      snd_seq_port_info_set_port (pinfo, -1);
      while (snd_seq_query_next_port (self->seq, pinfo) >= 0)
        {
          const unsigned caps = snd_seq_port_info_get_capability (pinfo);
          const unsigned type = snd_seq_port_info_get_type (pinfo);
          const unsigned want = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
          if ((caps & want) != want || !(type & SND_SEQ_PORT_TYPE_HARDWARE)
              || !(type & SND_SEQ_PORT_TYPE_MIDI_GENERIC))
            continue;
          /* A port that refuses (gone, exclusive) is skipped: the others
           * still play. */
          (void) snd_seq_connect_from (self->seq, self->port, client,
                                       snd_seq_port_info_get_port (pinfo));
        }
    }
}

static void
close_all (VornMidiDriverAlsa *self)
{
  if (self->wake_fd >= 0)
    close (self->wake_fd);
  self->wake_fd = -1;
  if (self->seq)
    snd_seq_close (self->seq);
  self->seq = nullptr;
  self->client = self->port = -1;
  g_clear_object (&self->manager);
  g_clear_object (&self->synth);
}

static gboolean
alsa_error (VornMidiDriverAlsa *self, GError **err, const char *what, int code)
{
  g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "%s: %s", what, snd_strerror (code));
  close_all (self);
  return FALSE;
}

static gboolean
vorn_midi_driver_alsa_start (VornMidiDriver *driver, GError **err)
{
  VornMidiDriverAlsa *self = VORN_ALSA_MIDI_DRIVER (driver);

  /* Checked first: alsa-lib would otherwise print its own complaint to
   * standard error before returning the failure. */
  if (!g_file_test (SEQ_DEVICE, G_FILE_TEST_EXISTS))
    {
      g_set_error_literal (err, VORN_ERROR, VORN_ERROR_GENERAL,
                           "No ALSA sequencer device (" SEQ_DEVICE "): is the snd-seq kernel "
                           "module loaded?");
      return FALSE;
    }

  int r = snd_seq_open (&self->seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
  if (r < 0)
    {
      self->seq = nullptr;
      return alsa_error (self, err, "Cannot open the ALSA sequencer", r);
    }
  if ((r = snd_seq_set_client_name (self->seq, "Zelmora")) < 0)
    return alsa_error (self, err, "Cannot name the ALSA sequencer client", r);
  self->client = snd_seq_client_id (self->seq);
  self->port = snd_seq_create_simple_port (
    self->seq, "Input", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
    SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (self->port < 0)
    return alsa_error (self, err, "Cannot create the ALSA sequencer input port", self->port);
  if (self->auto_connect)
    connect_hardware (self);

  self->wake_fd = eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (self->wake_fd < 0)
    {
      const int e = errno;
      g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Cannot start MIDI input: %s",
                   g_strerror (e));
      close_all (self);
      return FALSE;
    }

  self->manager = vorn_midi_driver_get_input_manager (driver);
  g_object_get (driver, "synth", &self->synth, nullptr);
  if (self->synth)
    vorn_synth_prepare_voices (self->synth);
  GError *thread_err = nullptr;
  self->thread = g_thread_try_new ("zelmora-midi", input_thread, self, &thread_err);
  if (!self->thread)
    {
      g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Cannot start the MIDI input thread: %s",
                   thread_err->message);
      g_error_free (thread_err);
      close_all (self);
      return FALSE;
    }
  return TRUE;
}

static void
vorn_midi_driver_alsa_stop (VornMidiDriver *driver)
{
  VornMidiDriverAlsa *self = VORN_ALSA_MIDI_DRIVER (driver);

  if (self->thread)
    {
      const guint64 one = 1;
      ssize_t w = write (self->wake_fd, &one, sizeof one);
      (void) w; /* an eventfd write fails only when its counter is full */
      g_thread_join (self->thread);
      self->thread = nullptr;
    }
  close_all (self);
}

static void
vorn_midi_driver_alsa_get_property (GObject *object, guint prop_id, GValue *value,
                                    GParamSpec *pspec)
{
  if (prop_id == PROP_AUTO_CONNECT)
    g_value_set_boolean (value, VORN_ALSA_MIDI_DRIVER (object)->auto_connect);
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
vorn_midi_driver_alsa_set_property (GObject *object, guint prop_id, const GValue *value,
                                    GParamSpec *pspec)
{
  VornMidiDriverAlsa *self = VORN_ALSA_MIDI_DRIVER (object);

  if (prop_id == PROP_AUTO_CONNECT)
    {
      const gboolean on = g_value_get_boolean (value);
      if (on != self->auto_connect)
        {
          self->auto_connect = on;
          g_object_notify_by_pspec (object, pspec);
        }
    }
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
vorn_midi_driver_alsa_class_init (VornMidiDriverAlsaClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  VornMidiDriverClass *driver_class = VORN_MIDI_DRIVER_CLASS (klass);

  object_class->get_property = vorn_midi_driver_alsa_get_property;
  object_class->set_property = vorn_midi_driver_alsa_set_property;
  driver_class->start = vorn_midi_driver_alsa_start;
  driver_class->stop = vorn_midi_driver_alsa_stop;

  properties[PROP_AUTO_CONNECT] =
    g_param_spec_boolean ("auto-connect", "AutoConnect",
                          "Connect every hardware MIDI input at start", FALSE,
                          GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY
                                       | G_PARAM_STATIC_STRINGS));
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
vorn_midi_driver_alsa_init (VornMidiDriverAlsa *self)
{
  self->client = self->port = -1;
  self->wake_fd = -1;
}

gboolean
vorn_midi_driver_alsa_get_address (VornMidiDriverAlsa *driver, int *client, int *port)
{
  g_return_val_if_fail (VORN_IS_ALSA_MIDI_DRIVER (driver), FALSE);
  if (!driver->thread)
    return FALSE;
  if (client)
    *client = driver->client;
  if (port)
    *port = driver->port;
  return TRUE;
}
