/* vorn-jack-server.cpp: a private JACK server and a recording test client */
#include "vorn-jack-server.h"

#include <glib/gstdio.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cstring>
#include <thread>

namespace vorn_test {

namespace {

constexpr int SERVER_SLOTS = 8;

jack_client_t *
open_client (const std::string &server, const char *name)
{
  jack_status_t status;
  return jack_client_open (name, jack_options_t (JackNoStartServer | JackServerName), &status,
                           server.c_str ());
}

void
quiet (const char *)
{
}

/* Port buffers pass between clients through the JACK server, whose
 * ordering ThreadSanitizer cannot see: the test client's own accesses to
 * them are left out of its view (those of the program under test stay in). */
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_ignore_thread_begin (void);
extern "C" void __tsan_ignore_thread_end (void);
struct PortAccess {
  PortAccess () { __tsan_ignore_thread_begin (); }
  ~PortAccess () { __tsan_ignore_thread_end (); }
};
#else
struct PortAccess {
  PortAccess () {}
};
#endif

} // namespace

bool
JackServer::available ()
{
  g_autofree char *path = g_find_program_in_path ("jackd");
  return path != nullptr;
}

bool
JackServer::start (guint rate, guint period, std::string *problem)
{
  g_autofree char *jackd = g_find_program_in_path ("jackd");
  if (!jackd)
    return *problem = "jackd is not installed", false;

  /* libjack reports every failed attempt on stderr. */
  jack_set_error_function (quiet);
  jack_set_info_function (quiet);

  /* JACK keeps a machine-wide table of a few servers, and frees the entry
   * of a server that died without cleaning up (killed, or its test timed
   * out) only when a server of the same name starts: so the names come from
   * a small fixed set, skipping the ones in use. */
  for (int slot = 0; slot < SERVER_SLOTS; slot++)
    {
      server_name = "zelmora-test-" + std::to_string (slot);
      if (jack_client_t *c = open_client (server_name, "zelmora-test-probe"))
        {
          jack_client_close (c);
          continue;
        }
      if (launch (jackd, rate, period, problem))
        return true;
    }
  return false;
}

bool
JackServer::launch (const char *jackd, guint rate, guint period, std::string *problem)
{
  const std::string r = std::to_string (rate), p = std::to_string (period);
  const char *argv[] = { jackd, "--no-realtime", "--sync", "-n", server_name.c_str (), "-d", "dummy",
                         "-r", r.c_str (), "-p", p.c_str (), nullptr };
  g_autoptr (GError) error = nullptr;
  if (!g_spawn_async (nullptr, const_cast<char **> (argv), nullptr,
                      GSpawnFlags (G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL
                                   | G_SPAWN_STDERR_TO_DEV_NULL),
                      nullptr, nullptr, &pid, &error))
    {
      pid = 0;
      return *problem = std::string ("cannot run jackd: ") + error->message, false;
    }

  for (int i = 0; i < 400; i++)
    {
      int status;
      if (waitpid (pid, &status, WNOHANG) == pid)
        {
          pid = 0;
          return *problem = "jackd exited at start (name " + server_name + " taken?)", false;
        }
      if (jack_client_t *c = open_client (server_name, "zelmora-test-probe"))
        {
          jack_client_close (c);
          return true;
        }
      std::this_thread::sleep_for (std::chrono::milliseconds (25));
    }
  stop (true);
  return *problem = "jackd did not accept clients within 10 s", false;
}

void
JackServer::stop (bool hard)
{
  if (pid <= 0)
    return;
  kill (pid, hard ? SIGKILL : SIGTERM);
  /* A server that ignores SIGTERM for 5 s is killed. */
  for (int i = 0; waitpid (pid, nullptr, WNOHANG) != pid; i++)
    {
      if (i == 500)
        kill (pid, SIGKILL);
      std::this_thread::sleep_for (std::chrono::milliseconds (10));
    }
  pid = 0;
  remove_leftovers ();
}

/* A killed server leaves its semaphores and sockets in /dev/shm. */
void
JackServer::remove_leftovers ()
{
  g_autoptr (GDir) dir = g_dir_open ("/dev/shm", 0, nullptr);
  if (!dir)
    return;
  const std::string sem = "jack_sem." + std::to_string (getuid ()) + "_" + server_name + "_";
  const std::string sock = "jack_" + server_name + "_";
  while (const char *name = g_dir_read_name (dir))
    if (g_str_has_prefix (name, sem.c_str ()) || g_str_has_prefix (name, sock.c_str ()))
      g_unlink (("/dev/shm/" + std::string (name)).c_str ());
}

bool
JackTestClient::open (const std::string &server, guint count, std::string *problem)
{
  jack = open_client (server, "zelmora-test");
  if (!jack)
    return *problem = "cannot open the test client", false;
  midi_out = jack_port_register (jack, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  for (guint i = 0; i < count; i++)
    inputs.push_back (jack_port_register (jack, ("in_" + std::to_string (i + 1)).c_str (),
                                          JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0));
  room.assign (count, std::vector<float> (RECORD_ROOM));
  rec.channels.assign (count, {});
  jack_set_process_callback (jack, process, this);
  if (jack_activate (jack) != 0)
    return *problem = "cannot activate the test client", false;
  return true;
}

void
JackTestClient::close ()
{
  if (jack)
    jack_client_close (jack);
  jack = nullptr;
  inputs.clear ();
}

int
JackTestClient::process (jack_nframes_t frames, void *data)
{
  auto *self = static_cast<JackTestClient *> (data);
  const guint64 now = jack_last_frame_time (self->jack);
  PortAccess ports;

  void *midi = jack_port_get_buffer (self->midi_out, frames);
  jack_midi_clear_buffer (midi);
  size_t t = self->taken.load (std::memory_order_relaxed);
  for (const size_t q = self->queued.load (std::memory_order_acquire); t < q; t++)
    {
      const Message &m = self->queue[t % QUEUE];
      const guint32 offset = MIN (m.offset, frames - 1);
      jack_midi_event_write (midi, offset, m.bytes, m.size);
      self->sent_frame.store (now + offset);
    }
  self->taken.store (t, std::memory_order_release);

  if (self->restart.load (std::memory_order_acquire))
    {
      self->recorded.store (0, std::memory_order_relaxed);
      self->restart.store (false, std::memory_order_release);
    }
  const size_t at = self->recorded.load (std::memory_order_relaxed);
  const size_t n = MIN (size_t (frames), RECORD_ROOM - at);
  if (at == 0)
    self->first_frame.store (now, std::memory_order_relaxed);
  for (size_t c = 0; c < self->inputs.size (); c++)
    memcpy (self->room[c].data () + at, jack_port_get_buffer (self->inputs[c], frames), sizeof (float) * n);
  self->recorded.store (at + n, std::memory_order_release);
  return 0;
}

bool
JackTestClient::connect_midi (const std::string &port)
{
  return jack_connect (jack, jack_port_name (midi_out), port.c_str ()) == 0;
}

bool
JackTestClient::connect_inputs (const std::vector<std::string> &ports)
{
  for (size_t i = 0; i < ports.size () && i < inputs.size (); i++)
    if (jack_connect (jack, ports[i].c_str (), jack_port_name (inputs[i])) != 0)
      return false;
  return true;
}

void
JackTestClient::send (std::initializer_list<guint8> msg, guint offset)
{
  Message m = { offset, guint32 (msg.size ()), {} };
  g_assert (msg.size () <= sizeof m.bytes);
  std::copy (msg.begin (), msg.end (), m.bytes);
  const size_t q = queued.load (std::memory_order_relaxed);
  while (q - taken.load (std::memory_order_acquire) == QUEUE)
    std::this_thread::sleep_for (std::chrono::milliseconds (1));
  queue[q % QUEUE] = m;
  queued.store (q + 1, std::memory_order_release);
}

void
JackTestClient::restart_recording ()
{
  restart.store (true, std::memory_order_release);
  for (int i = 0; i < 2000 && restart.load (std::memory_order_acquire); i++)
    std::this_thread::sleep_for (std::chrono::milliseconds (1));
  for (auto &ch : rec.channels)
    ch.clear ();
}

const JackRecording &
JackTestClient::recording ()
{
  const size_t n = restart.load (std::memory_order_acquire) ? 0 : recorded.load (std::memory_order_acquire);
  for (size_t c = 0; c < room.size (); c++)
    rec.channels[c].assign (room[c].begin (), room[c].begin () + gssize (n));
  rec.first_frame = first_frame.load (std::memory_order_relaxed);
  return rec;
}

const JackRecording &
JackTestClient::record (size_t frames, double timeout_s)
{
  const auto until = std::chrono::steady_clock::now ()
                     + std::chrono::milliseconds (gint64 (timeout_s * 1000));
  while (recorded.load () < frames && recorded.load () < RECORD_ROOM
         && std::chrono::steady_clock::now () < until)
    std::this_thread::sleep_for (std::chrono::milliseconds (5));
  return recording ();
}
std::vector<std::string>
JackTestClient::ports_of (const std::string &client, const char *type, unsigned long flags) const
{
  std::vector<std::string> out;
  g_autofree char *escaped = g_regex_escape_string (client.c_str (), -1);
  const std::string pattern = "^" + std::string (escaped) + ":";
  const char **ports = jack_get_ports (jack, pattern.c_str (), type, flags);
  for (size_t i = 0; ports && ports[i]; i++)
    out.emplace_back (ports[i]);
  if (ports)
    jack_free (ports);
  return out;
}

std::vector<std::string>
JackTestClient::connections (const std::string &port) const
{
  std::vector<std::string> out;
  jack_port_t *p = jack_port_by_name (jack, port.c_str ());
  if (!p)
    return out;
  const char **names = jack_port_get_all_connections (jack, p);
  for (size_t i = 0; names && names[i]; i++)
    out.emplace_back (names[i]);
  if (names)
    jack_free (names);
  return out;
}

} // namespace vorn_test
