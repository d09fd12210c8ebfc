/* vorn-jack-server.cpp: a private JACK server and a recording test client */
#include "vorn-jack-server.h"

#include <glib/gstdio.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace vorn_test {

namespace {

constexpr int SERVER_SLOTS = 8;
constexpr size_t TO_JACK_BYTES = 16 * 1024;
constexpr size_t FROM_JACK_BYTES = 8 * 1024 * 1024;

struct PeriodHeader {
  guint64 frame_time;
  guint32 frames;
  guint32 channels;
};

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
ByteRing::write (const void *data, size_t len)
{
  if (write_space () < len)
    return false;
  const size_t at = head.load (std::memory_order_relaxed);
  const auto *src = static_cast<const unsigned char *> (data);
  for (size_t i = 0; i < len; i++)
    bytes[(at + i) % bytes.size ()] = src[i];
  head.store (at + len, std::memory_order_release);
  return true;
}

bool
ByteRing::peek (void *data, size_t len) const
{
  if (read_space () < len)
    return false;
  const size_t at = tail.load (std::memory_order_relaxed);
  auto *dst = static_cast<unsigned char *> (data);
  for (size_t i = 0; i < len; i++)
    dst[i] = bytes[(at + i) % bytes.size ()];
  return true;
}

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
  for (int i = 0; i < 500; i++)
    {
      if (waitpid (pid, nullptr, WNOHANG) == pid)
        {
          pid = 0;
          remove_leftovers ();
          return;
        }
      std::this_thread::sleep_for (std::chrono::milliseconds (10));
    }
  kill (pid, SIGKILL);
  waitpid (pid, nullptr, 0);
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
  to_jack = std::make_unique<ByteRing> (TO_JACK_BYTES);
  from_jack = std::make_unique<ByteRing> (FROM_JACK_BYTES);
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
  to_jack.reset ();
  from_jack.reset ();
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
  guint32 head[2];
  guint8 entry[sizeof head + 64];
  while (self->to_jack->peek (head, sizeof head)
         && self->to_jack->peek (entry, sizeof head + head[1]))
    {
      self->to_jack->advance (sizeof head + head[1]);
      const guint32 offset = MIN (head[0], frames - 1);
      jack_midi_event_write (midi, offset, entry + sizeof head, head[1]);
      self->sent_frame.store (now + offset);
    }

  /* Frames are staged in one go per channel; the ring copies bytewise. */
  const PeriodHeader ph = { now, frames, guint32 (self->inputs.size ()) };
  const size_t need = sizeof ph + sizeof (float) * frames * ph.channels;
  if (self->from_jack->write_space () < need)
    {
      self->lost++;
      return 0;
    }
  self->from_jack->write (&ph, sizeof ph);
  for (jack_port_t *port : self->inputs)
    self->from_jack->write (jack_port_get_buffer (port, frames), sizeof (float) * frames);
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
  if (msg.size () > 64)
    {
      ADD_FAILURE () << "the test client sends messages of at most 64 bytes";
      return;
    }
  const guint32 head[2] = { offset, guint32 (msg.size ()) };
  std::vector<guint8> bytes (msg);
  /* One write of the whole entry: the process thread never sees half. */
  std::vector<char> entry (sizeof head + bytes.size ());
  memcpy (entry.data (), head, sizeof head);
  memcpy (entry.data () + sizeof head, bytes.data (), bytes.size ());
  while (!to_jack->write (entry.data (), entry.size ()))
    std::this_thread::sleep_for (std::chrono::milliseconds (1));
}

void
JackTestClient::drain ()
{
  PeriodHeader ph;
  while (from_jack->peek (&ph, sizeof ph))
    {
      const size_t body = sizeof (float) * ph.frames * ph.channels;
      if (from_jack->read_space () < sizeof ph + body)
        break;
      from_jack->advance (sizeof ph);
      if (rec.frames () == 0)
        rec.first_frame = ph.frame_time;
      for (guint32 c = 0; c < ph.channels; c++)
        {
          std::vector<float> &ch = rec.channels[c];
          const size_t at = ch.size ();
          ch.resize (at + ph.frames);
          from_jack->peek (ch.data () + at, sizeof (float) * ph.frames);
          from_jack->advance (sizeof (float) * ph.frames);
        }
    }
}

void
JackTestClient::restart_recording ()
{
  drain ();
  for (auto &ch : rec.channels)
    ch.clear ();
  rec.first_frame = 0;
}

const JackRecording &
JackTestClient::record (size_t frames, double timeout_s)
{
  const auto until = std::chrono::steady_clock::now ()
                     + std::chrono::milliseconds (gint64 (timeout_s * 1000));
  drain ();
  while (rec.frames () < frames && std::chrono::steady_clock::now () < until)
    {
      std::this_thread::sleep_for (std::chrono::milliseconds (5));
      drain ();
    }
  EXPECT_EQ (lost.load (), 0u) << "the test client lost periods";
  return rec;
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
