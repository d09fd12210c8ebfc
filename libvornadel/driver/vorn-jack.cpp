/* vorn-jack.cpp: what the JACK audio and MIDI drivers share */
#include "vorn-jack-private.h"

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
