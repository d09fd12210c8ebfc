/* vorn-jack-server.h: a private JACK server and a client that plays to and
 * records from the program under test.
 *
 * The server is Debian's jackd with the dummy backend, named uniquely, so
 * that no test ever reaches the user's default server.  Tests that need it
 * skip when jackd is not installed. */
#pragma once

#include <glib.h>
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <initializer_list>
#include <string>
#include <vector>

namespace vorn_test {

/* Skips the current test when jackd is not on PATH. */
#define VORN_TEST_REQUIRE_JACKD()                                              \
  do                                                                           \
    {                                                                          \
      if (!vorn_test::JackServer::available ())                                \
        GTEST_SKIP () << "jackd is not installed (package jackd2)";            \
    }                                                                          \
  while (0)

class JackServer
{
public:
  JackServer () = default;
  ~JackServer () { stop (); }
  JackServer (const JackServer &) = delete;
  JackServer &operator= (const JackServer &) = delete;

  static bool available ();

  /* Starts `jackd --no-realtime -n NAME -d dummy -r RATE -p PERIOD`, NAME
   * "zelmora-test-N" for the first N no server answers under, and waits
   * until a client can connect.  Returns: false with @problem set. */
  bool start (guint rate, guint period, std::string *problem);

  /* Ends the server: SIGTERM, or SIGKILL when @hard (a crash). */
  void stop (bool hard = false);

  const std::string &name () const { return server_name; }

private:
  bool launch (const char *jackd, guint rate, guint period, std::string *problem);
  void remove_leftovers ();

  GPid pid = 0;
  std::string server_name;
};

/* What the client recorded: one vector per input port, and the JACK frame
 * time of the first frame. */
struct JackRecording
{
  std::vector<std::vector<float>> channels;
  guint64 first_frame = 0;
  size_t frames () const { return channels.empty () ? 0 : channels[0].size (); }
};

/* A client with a MIDI output "midi_out" and audio inputs "in_1".."in_N".
 * The test thread queues MIDI messages and reads the recording; the process
 * thread talks to it through atomics of this program only, where
 * ThreadSanitizer sees the ordering (libjack's rings order theirs with
 * fences it does not see).  The process thread never allocates: the
 * recording has a fixed room of RECORD_ROOM frames. */
class JackTestClient
{
public:
  static constexpr size_t RECORD_ROOM = size_t (1) << 20;

  JackTestClient () = default;
  ~JackTestClient () { close (); }
  JackTestClient (const JackTestClient &) = delete;
  JackTestClient &operator= (const JackTestClient &) = delete;

  bool open (const std::string &server, guint inputs, std::string *problem);
  void close ();

  /* Connects midi_out to @port. */
  bool connect_midi (const std::string &port);
  /* Connects @ports[i] to in_(i+1). */
  bool connect_inputs (const std::vector<std::string> &ports);

  /* Queues @msg (at most 4 bytes) for the next period, @offset frames into it. */
  void send (std::initializer_list<guint8> msg, guint offset = 0);

  /* Frame time at which the last queued message went out, 0 before. */
  guint64 last_sent_frame () const { return sent_frame.load (); }

  /* Starts recording afresh from the next period. */
  void restart_recording ();
  /* Waits until @frames frames are recorded (at most @timeout_s seconds of
   * wall time).  Returns: the recording so far. */
  const JackRecording &record (size_t frames, double timeout_s = 20.0);
  const JackRecording &recording ();

  /* Port names of @client (a JACK client name) matching @type. */
  std::vector<std::string> ports_of (const std::string &client, const char *type,
                                     unsigned long flags = 0) const;
  /* Names of the ports connected to @port. */
  std::vector<std::string> connections (const std::string &port) const;

private:
  static constexpr size_t QUEUE = 256;
  struct Message {
    guint32 offset, size;
    guint8 bytes[4];
  };

  static int process (jack_nframes_t frames, void *data);

  jack_client_t *jack = nullptr;
  jack_port_t *midi_out = nullptr;
  std::vector<jack_port_t *> inputs;
  /* Messages queued - taken wait in the ring. */
  Message queue[QUEUE] = {};
  std::atomic<size_t> queued{ 0 }, taken{ 0 };
  std::atomic<guint64> sent_frame{ 0 };
  /* The process thread writes frames from @recorded on and publishes them;
   * @restart asks it to begin again, and it clears the flag when it has. */
  std::vector<std::vector<float>> room;
  std::atomic<size_t> recorded{ 0 };
  std::atomic<guint64> first_frame{ 0 };
  std::atomic<bool> restart{ false };
  JackRecording rec;
};

} // namespace vorn_test
