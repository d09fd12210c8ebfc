/* vorn-jack.cpp: what the JACK audio and MIDI drivers share: opening and
 * closing the client, its wake-up source, shutdown, names and messages */
#include "vorn-jack-private.h"

#include "vorn-cpu.h"
#include "vorn-init.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

static void
jack_message (const char *msg)
{
  g_debug ("JACK: %s", msg);
}

/* libjack prints to stderr by default, also for a probe that finds no
 * server; its handlers are process-wide, so they are set once. */
static void
route_jack_messages (void)
{
  static gsize done = 0;
  if (g_once_init_enter (&done))
    {
      jack_set_error_function (jack_message);
      jack_set_info_function (jack_message);
      g_once_init_leave (&done, 1);
    }
}

static std::string
describe_status (jack_status_t status)
{
  static const struct {
    int bit;
    const char *text;
  } bits[] = {
    { JackServerFailed, "cannot connect to the JACK server" },
    { JackServerError, "communication error with the JACK server" },
    { JackNameNotUnique, "client name not unique" },
    { JackInvalidOption, "invalid option" },
    { JackVersionError, "client protocol version mismatch" },
    { JackShmFailure, "cannot access shared memory" },
    { JackInitFailure, "cannot initialize client" },
    { JackNoSuchClient, "no such client" },
    { JackLoadFailure, "cannot load internal client" },
  };
  std::string out;
  for (const auto &b : bits)
    if (status & b.bit)
      out += (out.empty () ? "" : ", ") + std::string (b.text);
  return out.empty () ? "failure" : out;
}

jack_client_t *
vorn_jack_client_open (const char *client_name, const char *fallback, const char *server_name,
                       GError **err)
{
  route_jack_messages ();

  const char *name = client_name && *client_name ? client_name : fallback;
  jack_status_t status = jack_status_t (0);
  jack_client_t *client;
  if (server_name && *server_name)
    client = jack_client_open (name, jack_options_t (JackNoStartServer | JackServerName), &status,
                               server_name);
  else
    client = jack_client_open (name, JackNoStartServer, &status);
  if (!client)
    g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Error opening JACK client: %s",
                 describe_status (status).c_str ());
  return client;
}

int
vorn_jack_wake_fd_new (GError **err)
{
  int fd = eventfd (0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0)
    g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Error creating an eventfd: %s",
                 g_strerror (errno));
  return fd;
}

void
vorn_jack_wake (int fd)
{
  const guint64 one = 1;
  ssize_t r = write (fd, &one, sizeof one);
  (void) r;
}

void
vorn_jack_wake_clear (int fd)
{
  guint64 count;
  ssize_t r = read (fd, &count, sizeof count);
  (void) r;
}

void
vorn_jack_client_init (VornJackClient *jc, const char *client_name)
{
  *jc = VornJackClient ();
  jc->client_name = g_strdup (client_name);
  jc->wake_fd = -1;
}

void
vorn_jack_client_clear (VornJackClient *jc)
{
  g_clear_pointer (&jc->client_name, g_free);
  g_clear_pointer (&jc->server_name, g_free);
}

/* Called on every thread libjack makes for the client, the process thread
 * included, before it runs any callback. */
static void
thread_init (void *)
{
  vorn_util_set_ftz_daz ();
}

/* Only async-signal-safe work here. */
static void
on_shutdown (jack_status_t, const char *, void *data)
{
  auto *jc = static_cast<VornJackClient *> (data);
  g_atomic_int_set (&jc->server_gone, 1);
  vorn_jack_wake (jc->wake_fd);
}

gboolean
vorn_jack_client_open_watched (VornJackClient *jc, const char *fallback, GUnixFDSourceFunc dispatch,
                               gpointer data, int priority, const char *source_name, GError **err)
{
  jc->server_gone = 0;
  jc->client = vorn_jack_client_open (jc->client_name, fallback, jc->server_name, err);
  if (!jc->client)
    return FALSE;
  jc->wake_fd = vorn_jack_wake_fd_new (err);
  if (jc->wake_fd < 0)
    {
      vorn_jack_client_close (jc);
      return FALSE;
    }
  jc->source = g_unix_fd_source_new (jc->wake_fd, G_IO_IN);
  g_source_set_priority (jc->source, priority);
  g_source_set_callback (jc->source, G_SOURCE_FUNC (dispatch), data, nullptr);
  g_source_set_static_name (jc->source, source_name);
  g_autoptr (GMainContext) context = g_main_context_ref_thread_default ();
  g_source_attach (jc->source, context);

  jack_set_thread_init_callback (jc->client, thread_init, nullptr);
  jack_on_info_shutdown (jc->client, on_shutdown, jc);
  return TRUE;
}

jack_port_t *
vorn_jack_port_register (VornJackClient *jc, const char *name, const char *type, unsigned long flags,
                         GError **err)
{
  jack_port_t *port = jack_port_register (jc->client, name, type, flags | JackPortIsTerminal, 0);
  if (!port)
    g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Error registering JACK port %s", name);
  return port;
}

gboolean
vorn_jack_client_activate (VornJackClient *jc, JackProcessCallback process, void *data, GError **err)
{
  jack_set_process_callback (jc->client, process, data);
  if (jack_activate (jc->client) == 0)
    return TRUE;
  g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Error activating JACK client");
  return FALSE;
}

void
vorn_jack_client_close (VornJackClient *jc)
{
  /* Closing deactivates first. */
  if (jc->client)
    {
      jack_client_close (jc->client);
      jc->client = nullptr;
    }
  if (jc->source)
    {
      g_source_destroy (jc->source);
      g_clear_pointer (&jc->source, g_source_unref);
    }
  if (jc->wake_fd >= 0)
    {
      close (jc->wake_fd);
      jc->wake_fd = -1;
    }
}

GParamSpec *
vorn_jack_client_name_pspec (const char *default_client)
{
  return g_param_spec_string ("client-name", "ClientName", "JACK client name", default_client,
                              GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY | G_PARAM_STATIC_STRINGS));
}

GParamSpec *
vorn_jack_server_name_pspec (void)
{
  return g_param_spec_string ("server-name", "ServerName", "JACK server name (NULL for the default)", nullptr,
                              GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY | G_PARAM_STATIC_STRINGS));
}

void
vorn_jack_set_name (GObject *object, char **field, const GValue *value, GParamSpec *pspec)
{
  if (g_strcmp0 (*field, g_value_get_string (value)) == 0)
    return;
  g_free (*field);
  *field = g_value_dup_string (value);
  g_object_notify_by_pspec (object, pspec);
}
