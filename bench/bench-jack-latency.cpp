/* bench-jack-latency: MIDI-in to audio-out latency through the JACK drivers.
 *
 * A private jackd (dummy backend) runs the synthesizer's audio and MIDI
 * clients and a test client that sends note-ons at known frame times and
 * records the audio output.  The delay is the distance from the note-on's
 * frame to the first non-silent output frame, in JACK frame time (the
 * output buffer of a period carries that period's start time).  A note
 * cannot sound before the period after the one that carried it (the MIDI
 * event reaches the synthesizer through the main loop), so counted from the
 * start of the carrying period one period is the floor; counted from the
 * note-on itself the delay depends on where in its period it fell.
 *
 * The spread (latest minus earliest onset, counted from the note-on) is
 * what a sequencer hears as timing jitter: zero when every note starts at
 * its frame plus a constant latency.
 *
 * Usage: bench-jack-latency [NOTES] [--period FRAMES] [--play ZELMORA-PLAY FILE.vvi]
 * (default 20 notes per period size).  With --play the synthesizer is that
 * program, run as `ZELMORA-PLAY -a jack -m jack FILE.vvi` on the private
 * server; without, the library's drivers in this process.  Takes a few
 * minutes, most of it waiting out note releases.  Prints figures only;
 * needs jackd on PATH. */
#include "test-signal.h"
#include "vorn-jack-server.h"
#include "vornadel.h"

#include <glib/gstdio.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <cmath>
#include <cstring>

namespace {

struct Figures {
  guint period;
  std::vector<double> from_note;    /* frames from the note-on's frame */
  std::vector<double> from_period;  /* frames from the start of its period */
};

/* The synthesizer's drivers deliver on this loop's context, on a thread of
 * their own, as an idle application main loop would. */
struct LoopThread {
  GMainContext *context = g_main_context_new ();
  GMainLoop *loop = g_main_loop_new (context, FALSE);
  std::thread thread;

  void run () { thread = std::thread ([this] { g_main_loop_run (loop); }); }
  ~LoopThread ()
  {
    g_main_loop_quit (loop);
    if (thread.joinable ())
      thread.join ();
    g_main_loop_unref (loop);
    g_main_context_unref (context);
  }
};

gboolean
free_message (VornSynth *, VornSynthMsg *msg, gpointer)
{
  vorn_synth_msg_free (msg);
  return G_SOURCE_CONTINUE;
}

/* The program under test when it is zelmora-play. */
struct Player {
  const char *program = nullptr;
  const char *file = nullptr;
};

/* Runs zelmora-play on @server and waits for its ports.  Returns 0 when it
 * did not start. */
GPid
spawn_player (const Player &player, const std::string &server, vorn_test::JackTestClient &probe)
{
  g_auto (GStrv) env = g_environ_setenv (g_get_environ (), "JACK_DEFAULT_SERVER", server.c_str (), TRUE);
  const char *argv[] = { player.program, "-a", "jack", "-m", "jack", player.file, nullptr };
  GPid pid = 0;
  g_autoptr (GError) error = nullptr;
  if (!g_spawn_async (nullptr, const_cast<char **> (argv), env,
                      GSpawnFlags (G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL),
                      nullptr, nullptr, &pid, &error))
    {
      fprintf (stderr, "bench-jack-latency: %s\n", error->message);
      return 0;
    }
  for (int tries = 0; tries < 1000; tries++)
    {
      if (!probe.ports_of ("Zelmora MIDI", JACK_DEFAULT_MIDI_TYPE).empty ()
          && !probe.ports_of ("Zelmora", JACK_DEFAULT_AUDIO_TYPE).empty ())
        return pid;
      std::this_thread::sleep_for (std::chrono::milliseconds (10));
    }
  fprintf (stderr, "bench-jack-latency: %s made no ports\n", player.program);
  kill (pid, SIGKILL);
  g_spawn_close_pid (pid);
  return 0;
}

/* Waits until the last @quiet frames of the recording are silent. */
void
wait_silence (vorn_test::JackTestClient &probe, size_t quiet)
{
  for (int tries = 0; tries < 2000; tries++)
    {
      const vorn_test::JackRecording &rec = probe.recording ();
      const std::vector<float> &x = rec.channels[0];
      bool silent = x.size () >= quiet;
      for (size_t i = x.size () - std::min (quiet, x.size ()); silent && i < x.size (); i++)
        silent = std::fabs (x[i]) <= 1e-6f;
      if (silent)
        return;
      std::this_thread::sleep_for (std::chrono::milliseconds (5));
    }
}

bool
measure (guint period, int notes, const Player &player, Figures *out)
{
  vorn_test::JackServer server;
  std::string problem;
  if (!server.start (48000, period, &problem))
    return fprintf (stderr, "bench-jack-latency: %s\n", problem.c_str ()), false;
  vorn_test::JackTestClient probe;
  if (!probe.open (server.name (), 1, &problem))
    return fprintf (stderr, "bench-jack-latency: %s\n", problem.c_str ()), false;

  if (player.program)
    {
      GPid pid = spawn_player (player, server.name (), probe);
      if (!pid)
        return false;
      /* The ports may be there before the program has finished starting. */
      bool audio_linked = false, midi_linked = false;
      for (int tries = 0; tries < 500 && !(audio_linked && midi_linked); tries++)
        {
          /* Each once: a second connection of the same ports fails. */
          audio_linked = audio_linked || probe.connect_inputs ({ "Zelmora:out_1" });
          midi_linked = midi_linked || probe.connect_midi ("Zelmora MIDI:midi_in");
          if (!(audio_linked && midi_linked))
            std::this_thread::sleep_for (std::chrono::milliseconds (10));
        }
      if (!(audio_linked && midi_linked))
        fprintf (stderr, "bench-jack-latency: cannot connect to %s\n", player.program);
      probe.record (4 * period);
      for (int n = 0; n < notes; n++)
        {
          const guint offset = guint (n) * period / guint (notes);
          probe.restart_recording ();
          probe.send ({ 0x90, 69, 127 }, offset);
          const vorn_test::JackRecording *rec = nullptr;
          size_t at = 0;
          for (int tries = 0; tries < 2000; tries++)
            {
              rec = &probe.recording ();
              at = signal_test::first_sound (rec->channels[0], 0.0f);
              if (at < rec->frames () && probe.last_sent_frame ())
                break;
              std::this_thread::sleep_for (std::chrono::milliseconds (1));
            }
          if (rec && at < rec->frames ())
            {
              const double delay = double (rec->first_frame + at) - double (probe.last_sent_frame ());
              out->from_note.push_back (delay);
              out->from_period.push_back (delay + offset);
            }
          probe.send ({ 0x80, 69, 0 });
          wait_silence (probe, 8192);
        }
      out->period = period;
      kill (pid, SIGTERM);
      int status = 0;
      waitpid (pid, &status, 0);
      g_spawn_close_pid (pid);
      probe.close ();
      server.stop ();
      return true;
    }

  g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();
  g_object_set (synth, "speaker-count", 1u, nullptr);
  vorn_synth_start (synth, nullptr);
  g_autoptr (VornInst) inst = vorn_inst_new_default ();
  vorn_synth_set_inst (synth, 0, inst);

  LoopThread loop;
  g_main_context_push_thread_default (loop.context);
  g_autoptr (VornAudioDriver) audio = VORN_AUDIO_DRIVER (
    g_object_new (VORN_TYPE_AUDIO_DRIVER_JACK, "synth", synth, "server-name", server.name ().c_str (),
                  "auto-connect", FALSE, nullptr));
  g_autoptr (VornMidiDriver) midi = VORN_MIDI_DRIVER (g_object_new (
    VORN_TYPE_MIDI_DRIVER_JACK, "synth", synth, "server-name", server.name ().c_str (), nullptr));
  g_autoptr (GError) error = nullptr;
  const bool started = vorn_audio_driver_start (audio, &error) && vorn_midi_driver_start (midi, &error);
  GSource *outbox = vorn_synth_outbox_source_new (synth);
  g_source_set_callback (outbox, G_SOURCE_FUNC (free_message), nullptr, nullptr);
  g_source_attach (outbox, loop.context);
  g_main_context_pop_thread_default (loop.context);
  if (!started)
    return fprintf (stderr, "bench-jack-latency: %s\n", error->message), false;
  loop.run ();

  probe.connect_inputs ({ "Zelmora:out_1" });
  probe.connect_midi ("Zelmora MIDI:midi_in");
  probe.record (4 * period);

  out->period = period;
  for (int n = 0; n < notes; n++)
    {
      /* Offsets spread over the period: the delay depends on where in its
       * period the note-on falls. */
      const guint offset = guint (n) * period / guint (notes);
      probe.restart_recording ();
      probe.send ({ 0x90, 69, 127 }, offset);
      const vorn_test::JackRecording *rec = nullptr;
      size_t at = 0;
      for (int tries = 0; tries < 2000; tries++)
        {
          rec = &probe.recording ();
          at = signal_test::first_sound (rec->channels[0], 0.0f);
          if (at < rec->frames () && probe.last_sent_frame ())
            break;
          std::this_thread::sleep_for (std::chrono::milliseconds (1));
        }
      if (rec && at < rec->frames ())
        {
          const double delay = double (rec->first_frame + at) - double (probe.last_sent_frame ());
          out->from_note.push_back (delay);
          out->from_period.push_back (delay + offset);
        }
      probe.send ({ 0x80, 69, 0 });
      /* Wait out the release: the next note starts from silence. */
      guint active = 1;
      for (int tries = 0; tries < 5000 && active; tries++)
        {
          vorn_synth_voice_stats (synth, &active, nullptr, FALSE);
          std::this_thread::sleep_for (std::chrono::milliseconds (1));
        }
      probe.record (probe.recording ().frames () + 2 * period);
    }

  vorn_midi_driver_stop (midi);
  vorn_audio_driver_stop (audio);
  g_source_destroy (outbox);
  g_source_unref (outbox);
  probe.close ();
  server.stop ();
  vorn_synth_stop (synth);
  while (VornSynthMsg *msg = vorn_synth_get_message (synth))
    vorn_synth_msg_free (msg);
  return true;
}

double
at_fraction (std::vector<double> v, double f)
{
  std::sort (v.begin (), v.end ());
  return v.empty () ? 0 : v[size_t (f * double (v.size () - 1) + 0.5)];
}

} // namespace

int
main (int argc, char **argv)
{
  vorn_init ("Zelmora 0.9.0");
  if (!vorn_test::JackServer::available ())
    {
      fprintf (stderr, "bench-jack-latency: jackd is not installed (package jackd2)\n");
      return 77;
    }
  /* Never the user's server. */
  g_setenv ("JACK_DEFAULT_SERVER", "zelmora-bench-no-such-server", TRUE);
  int notes = 20;
  Player player;
  std::vector<guint> periods = { 64u, 128u, 256u, 512u, 1024u, 2048u };
  for (int i = 1; i < argc; i++)
    if (strcmp (argv[i], "--period") == 0 && i + 1 < argc)
      periods = { guint (atoi (argv[++i])) };
    else if (strcmp (argv[i], "--play") == 0 && i + 2 < argc)
      {
        player.program = argv[i + 1];
        player.file = argv[i + 2];
        i += 2;
      }
    else
      notes = std::max (1, atoi (argv[i]));

  printf ("MIDI-in to audio-out latency of %s, JACK dummy backend at 48000 Hz, %d notes per row\n",
          player.program ? player.program : "the library's drivers", notes);
  printf ("%7s %6s | %-35s | %-26s\n", "period", "notes", "from the note-on (frames)",
          "from its period's start (periods)");
  printf ("%7s %6s | %8s %8s %8s %8s | %8s %8s %8s\n", "frames", "heard", "min", "median", "max",
          "spread", "min", "median", "max");
  for (guint period : periods)
    {
      Figures f;
      if (!measure (period, notes, player, &f))
        return 1;
      printf ("%7u %6zu | %8.0f %8.0f %8.0f %8.0f | %8.2f %8.2f %8.2f\n", period,
              f.from_note.size (), at_fraction (f.from_note, 0), at_fraction (f.from_note, 0.5),
              at_fraction (f.from_note, 1), at_fraction (f.from_note, 1) - at_fraction (f.from_note, 0),
              at_fraction (f.from_period, 0) / period,
              at_fraction (f.from_period, 0.5) / period, at_fraction (f.from_period, 1) / period);
      fflush (stdout);
    }
  return 0;
}
