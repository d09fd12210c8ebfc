/* zelmora-play: its refusals, and a note played through it on a private JACK
 * server from MIDI sent by a test client (the JACK drivers end to end). */
#include "test-signal.h"
#include "tool-test.h"
#include "vorn-jack-server.h"
#include "vorn-test-log.h"
#include "vornadel.h"

#include <glib/gstdio.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

namespace {

using tool_test::Result;

class Play : public tool_test::ToolTest
{
protected:
  static void SetUpTestSuite ()
  {
    make_folder ("ZELMORA_PLAY");
  }

  void SetUp () override
  {
    /* Never the user's JACK server. */
    g_setenv ("JACK_DEFAULT_SERVER", "zelmora-test-no-such-server", TRUE);
    g_setenv ("JACK_NO_START_SERVER", "1", TRUE);
  }
};

} // namespace

/* Everything it refuses ends with status 1 and one line naming the problem,
 * before any sound (bad instrument files: the same code as zelmora-render's,
 * tested there). */
TEST_F (Play, RefusesWithAReason)
{
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
    { {}, "expected one instrument file" },
    { { "-i", "2", "bank.vvi" }, "no instrument \"2\"" },
    { { "-a", "pulse", "bank.vvi" }, "unknown audio driver 'pulse'" },
    { { "-m", "oss", "bank.vvi" }, "unknown MIDI driver 'oss'" },
    /* No server under that name: the driver cannot start. */
    { { "-a", "jack", "bank.vvi" },
      "cannot start the audio driver: Error opening JACK client: cannot connect to the JACK server" },
  };
  for (auto &c : cases)
    {
      SCOPED_TRACE (c.args.empty () ? "(none)" : c.args[0]);
      Result r = run (c.args);
      EXPECT_EQ (r.status, 1);
      EXPECT_TRUE (g_str_has_prefix (r.err.c_str (), "zelmora-play: ")) << r.err;
      EXPECT_NE (r.err.find (c.err), std::string::npos) << r.err;
      EXPECT_EQ (std::count (r.err.begin (), r.err.end (), '\n'), 1) << r.err;
    }
}

/* Channel 2's instrument plays a MIDI note from the test client at 440 Hz
 * at the server's rate (the synthesizer, started before the driver, is
 * restarted at 44.1 kHz with its instruments); SIGTERM ends the program
 * with status 0. */
TEST_F (Play, PlaysMidiFromJackUntilTerminated)
{
  VORN_TEST_REQUIRE_JACKD ();
  vorn_test::JackServer server;
  std::string problem;
  ASSERT_TRUE (server.start (44100, 256, &problem)) << problem;
  g_setenv ("JACK_DEFAULT_SERVER", server.name ().c_str (), TRUE);
  vorn_test::JackTestClient probe;
  ASSERT_TRUE (probe.open (server.name (), 1, &problem)) << problem;

  std::vector<std::string> args = { "-a", "jack", "-m", "jack", "-i", "High", "-i", "Plain",
                                    "bank.vvi" };
  std::vector<char *> argv = argv_of (args);
  GPid pid = 0;
  ASSERT_TRUE (g_spawn_async (dir, argv.data (), nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr,
                              &pid, nullptr));

  /* A port is there before its client is active, and until then it cannot
   * be connected: try until both connect. */
  bool audio = false, midi = false;
  for (int i = 0; i < 1000 && !(audio && midi); i++)
    {
      audio = audio || probe.connect_inputs ({ "Zelmora:out_1" });
      midi = midi || probe.connect_midi ("Zelmora MIDI:midi_in");
      if (!(audio && midi))
        std::this_thread::sleep_for (std::chrono::milliseconds (10));
    }
  ASSERT_TRUE (audio && midi) << "zelmora-play's ports did not become connectable";

  probe.restart_recording ();
  probe.send ({ 0x91, 69, 127 });  /* channel 2: "Plain" */
  const std::vector<float> &x = probe.record (44100).channels[0];
  const size_t start = signal_test::first_sound (x);
  ASSERT_LT (start + 36000, x.size ()) << "the note sounded";
  EXPECT_NEAR (signal_test::frequency (x, 44100, start + 4410, start + 36000), 440.0, 0.5);
  probe.send ({ 0x81, 69, 0 });

  kill (pid, SIGTERM);
  int status = -1;
  for (int i = 0; i < 1000 && waitpid (pid, &status, WNOHANG) != pid; i++)
    std::this_thread::sleep_for (std::chrono::milliseconds (10));
  ASSERT_TRUE (WIFEXITED (status)) << "still running or killed by a signal";
  EXPECT_EQ (WEXITSTATUS (status), 0);
  g_spawn_close_pid (pid);
  probe.close ();
  server.stop ();
}
