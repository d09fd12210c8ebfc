/* bench-jack-latency: MIDI-in to audio-out latency of synthesizers on JACK.
 *
 * A private jackd (dummy backend, 48 kHz) runs the synthesizer under test
 * and a probe client that sends note 69 at known frames and records the
 * synthesizer's output in the same process callback.  The delay is the
 * distance from the note-on's frame to the first non-silent output frame,
 * in JACK frame time.  The spread (latest minus earliest onset) is what a
 * sequencer hears as timing jitter: zero when every note starts at its
 * frame plus a constant latency.  The pitch of each note (its strongest
 * partial near 440 Hz) is measured too.
 *
 * Hosts (--hosts, comma separated, or "all"):
 *   lib           the library's JACK drivers in this process (default)
 *   play          zelmora-play -a jack -m jack FILE
 *   app           the application with JACK audio and MIDI, under xvfb-run
 *   jalv-zelmora  jalv hosting the Zelmora LV2 plugin from the build tree
 *   fluidsynth    fluidsynth -a jack -m jack with the GM soundfont
 *   jalv-synthv1  jalv hosting synthv1
 *   jalv-zyn      jalv hosting ZynAddSubFX
 * FILE is the default instrument written to a temporary file, or the one
 * given with --play PROGRAM FILE.
 *
 * Usage: bench-jack-latency [NOTES] [--notes N] [--period FRAMES]
 *          [--hosts LIST] [--build-root DIR] [--play PROGRAM FILE]
 *          [--check-spread FRAMES] [--check-cents CENTS] [--verbose]
 * With the --check options it is a test: exit status 1 when a host's spread
 * or pitch is off, 77 (skipped) when a host cannot run here (no jackd, no
 * jalv, plugin not built).  Needs jackd on PATH. */
#include "test-signal.h"
#include "vorn-jack-server.h"
#include "vornadel.h"

#include <glib/gstdio.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>
#include <cmath>
#include <cstring>

#ifndef BUILD_ROOT
#define BUILD_ROOT "build"
#endif

namespace {

constexpr double RATE = 48000.0;
constexpr int SKIP = 77;
bool verbose = false;  /* each note's onset on stderr */

struct Figures {
  std::vector<double> from_note;  /* frames from the note-on's frame */
  std::vector<double> cents;      /* pitch against 440 Hz */
};

/* A synthesizer on the server: in this process (argv empty) or a program
 * with the JACK ports it makes. */
struct Host {
  std::string key, label;
  std::vector<std::string> argv, env;
  std::string audio_port, midi_port;
  std::string missing;  /* why it cannot run here, empty when it can */
};

struct Options {
  std::string build_root = BUILD_ROOT;
  std::string play_program, play_file;
  std::string default_file;  /* the default instrument, written at start */
  std::string home;          /* a fresh HOME for the application */
};

bool
exists (const std::string &path)
{
  return g_file_test (path.c_str (), G_FILE_TEST_EXISTS);
}

std::string
need_program (const char *name)
{
  g_autofree char *path = g_find_program_in_path (name);
  return path ? std::string () : std::string (name) + " is not installed";
}

Host
make_host (const std::string &key, const Options &o)
{
  const std::string tools = o.build_root + "/tools/", zelmora = "Zelmora";
  Host h{ key, key, {}, {}, zelmora + ":out_1", zelmora + " MIDI:midi_in", {} };
  if (key == "lib")
    h.label = "Zelmora (library drivers)";
  else if (key == "play")
    {
      h.label = "zelmora-play";
      h.argv = { o.play_program.empty () ? tools + "zelmora-play" : o.play_program, "-a", "jack",
                 "-m", "jack", o.play_file.empty () ? o.default_file : o.play_file };
      if (!exists (h.argv[0]))
        h.missing = h.argv[0] + " is not built";
    }
  else if (key == "app")
    {
      h.label = "zelmora (application)";
      const std::string exe = o.build_root + "/zelmora/zelmora";
      h.argv = { "xvfb-run", "-a", exe, "-a", "jack", "-m", "jack", o.default_file };
      h.env = { "HOME=" + o.home, "XDG_CONFIG_HOME=" + o.home + "/.config",
                "XDG_CACHE_HOME=" + o.home + "/.cache", "XDG_DATA_HOME=" + o.home + "/.local",
                "DBUS_SESSION_BUS_ADDRESS=unix:path=" + o.home + "/no-bus", "NO_AT_BRIDGE=1",
                "GDK_BACKEND=x11", "ZELMORA_RESOURCE_DIR=" + o.build_root + "/share/zelmora" };
      h.missing = !exists (exe) ? exe + " is not built" : need_program ("xvfb-run");
    }
  else if (key == "fluidsynth")
    {
      h.label = "FluidSynth";
      const char *sf2 = "/usr/share/sounds/sf2/TimGM6mb.sf2";
      /* One JACK client for audio and MIDI, named so its ports are found. */
      h.argv = { "fluidsynth", "-a", "jack", "-m", "jack", "-r", "48000",
                 "-o", "audio.jack.id=fluidsynth", "-o", "midi.jack.id=fluidsynth",
                 "-o", "audio.jack.autoconnect=0", "-o", "synth.reverb.active=0",
                 "-o", "synth.chorus.active=0", sf2 };
      h.audio_port = "fluidsynth:left";
      h.midi_port = "fluidsynth:midi_00";
      h.missing = need_program ("fluidsynth");
      if (h.missing.empty () && !exists (sf2))
        h.missing = std::string (sf2) + " is not installed (package timgm6mb-soundfont)";
    }
  else if (key.rfind ("jalv-", 0) == 0)
    {
      const std::string name = key.substr (5);
      std::string uri, audio, midi;
      if (name == "zelmora")
        {
          h.label = "Zelmora in jalv";
          uri = "urn:zelmora:synth", audio = "out_left", midi = "control";
          h.env = { "LV2_PATH=" + o.build_root + "/lv2:/usr/lib/lv2" };
          if (!exists (o.build_root + "/lv2/zelmora.lv2/manifest.ttl"))
            h.missing = "the LV2 plugin is not built (" + o.build_root + "/lv2/zelmora.lv2)";
        }
      else if (name == "synthv1")
        {
          h.label = "synthv1 in jalv";
          uri = "http://synthv1.sourceforge.net/lv2", audio = "Out_L", midi = "in";
          /* It starts Qt when instantiated, with or without a window. */
          h.env = { "QT_QPA_PLATFORM=offscreen" };
          if (!exists ("/usr/lib/lv2/synthv1.lv2"))
            h.missing = "synthv1 is not installed (package synthv1-lv2)";
        }
      else
        {
          h.label = "ZynAddSubFX in jalv";
          uri = "http://zynaddsubfx.sourceforge.net", audio = "lv2_audio_out_1", midi = "lv2_events_in";
          if (!exists ("/usr/lib/lv2/ZynAddSubFX.lv2"))
            h.missing = "ZynAddSubFX is not installed (package zynaddsubfx-lv2)";
        }
      h.argv = { "jalv", "-n", name, uri };
      h.audio_port = name + ":" + audio;
      h.midi_port = name + ":" + midi;
      if (h.missing.empty ())
        h.missing = need_program ("jalv");
    }
  else
    h.missing = "no such host";
  return h;
}

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

/* The library's JACK drivers in this process. */
struct InProcess {
  VornSynth *synth = nullptr;
  VornAudioDriver *audio = nullptr;
  VornMidiDriver *midi = nullptr;
  GSource *outbox = nullptr;
  LoopThread loop;

  bool start (const std::string &server)
  {
    synth = vorn_synth_cpu_new ();
    g_object_set (synth, "speaker-count", 1u, nullptr);
    vorn_synth_start (synth, nullptr);
    g_autoptr (VornInst) inst = vorn_inst_new_default ();
    vorn_synth_set_inst (synth, 0, inst);
    g_main_context_push_thread_default (loop.context);
    audio = VORN_AUDIO_DRIVER (g_object_new (VORN_TYPE_AUDIO_DRIVER_JACK, "synth", synth, "server-name",
                                             server.c_str (), "auto-connect", FALSE, nullptr));
    midi = VORN_MIDI_DRIVER (
      g_object_new (VORN_TYPE_MIDI_DRIVER_JACK, "synth", synth, "server-name", server.c_str (), nullptr));
    g_autoptr (GError) error = nullptr;
    const bool started = vorn_audio_driver_start (audio, &error) && vorn_midi_driver_start (midi, &error);
    outbox = vorn_synth_outbox_source_new (synth);
    g_source_set_callback (outbox, G_SOURCE_FUNC (free_message), nullptr, nullptr);
    g_source_attach (outbox, loop.context);
    g_main_context_pop_thread_default (loop.context);
    if (!started)
      return fprintf (stderr, "bench-jack-latency: %s\n", error->message), false;
    loop.run ();
    return true;
  }

  ~InProcess ()
  {
    if (!synth)
      return;
    vorn_midi_driver_stop (midi);
    vorn_audio_driver_stop (audio);
    g_source_destroy (outbox);
    g_source_unref (outbox);
    g_object_unref (midi);
    g_object_unref (audio);
    vorn_synth_stop (synth);
    while (VornSynthMsg *msg = vorn_synth_get_message (synth))
      vorn_synth_msg_free (msg);
    g_object_unref (synth);
  }
};

/* A host program in a process group of its own (xvfb-run starts a server
 * and the program: both end with the group), its stdin a pipe kept open
 * (jalv and fluidsynth read commands there and quit at its end). */
struct Child {
  GPid pid = 0;
  int stdin_fd = -1;

  bool spawn (const Host &host, const std::string &server)
  {
    gchar **env = g_environ_setenv (g_get_environ (), "JACK_DEFAULT_SERVER", server.c_str (), TRUE);
    for (const std::string &e : host.env)
      {
        const size_t eq = e.find ('=');
        env = g_environ_setenv (env, e.substr (0, eq).c_str (), e.c_str () + eq + 1, TRUE);
      }
    std::vector<char *> argv;
    for (const std::string &a : host.argv)
      argv.push_back (const_cast<char *> (a.c_str ()));
    argv.push_back (nullptr);
    g_autoptr (GError) error = nullptr;
    const bool ok = g_spawn_async_with_pipes (
      nullptr, argv.data (), env,
      GSpawnFlags (G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL
                   | G_SPAWN_STDERR_TO_DEV_NULL),
      [] (gpointer) { setpgid (0, 0); }, nullptr, &pid, &stdin_fd, nullptr, nullptr, &error);
    g_strfreev (env);
    if (!ok)
      fprintf (stderr, "bench-jack-latency: %s\n", error->message);
    return ok;
  }

  ~Child ()
  {
    if (!pid)
      return;
    kill (-pid, SIGTERM);
    int status = 0;
    for (int tries = 0; tries < 500 && waitpid (pid, &status, WNOHANG) == 0; tries++)
      std::this_thread::sleep_for (std::chrono::milliseconds (10));
    if (waitpid (pid, &status, WNOHANG) == 0)
      {
        kill (-pid, SIGKILL);
        waitpid (pid, &status, 0);
      }
    kill (-pid, SIGKILL); /* what the group leader left behind */
    close (stdin_fd);
    g_spawn_close_pid (pid);
  }
};

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

/* Frequency of the strongest partial between 0.6 and 1.6 times @expected in
 * x[from, from + n): a Hann-windowed DFT scanned in steps of 1/8 bin, the
 * peak refined on a parabola through the log magnitudes.  Harmonics above
 * the fundamental lie outside the band, so a rich tone reads as its pitch. */
double
partial_near (const std::vector<float> &x, size_t from, size_t n, double expected)
{
  const double bin = RATE / double (n), step = bin / 8;
  std::vector<double> w (n);
  for (size_t i = 0; i < n; i++)
    w[i] = x[from + i] * (0.5 - 0.5 * std::cos (2 * G_PI * double (i) / double (n)));
  auto magnitude = [&] (double f) {
    double re = 0, im = 0;
    const double d = 2 * G_PI * f / RATE;
    for (size_t i = 0; i < n; i++)
      re += w[i] * std::cos (d * double (i)), im -= w[i] * std::sin (d * double (i));
    return std::log (std::hypot (re, im) + 1e-30);
  };
  double best_f = 0, best = -1e300;
  for (double f = 0.6 * expected; f <= 1.6 * expected; f += step)
    if (const double m = magnitude (f); m > best)
      best = m, best_f = f;
  const double a = magnitude (best_f - step), c = magnitude (best_f + step);
  const double den = a - 2 * best + c;
  return den < 0 ? best_f + 0.5 * step * (a - c) / den : best_f;
}

/* Plays @notes note-ons at offsets spread over the period, each held long
 * enough to measure its pitch, on a fresh server.  Returns false when the
 * host could not be started or connected. */
bool
measure (const Host &host, guint period, int notes, Figures *out)
{
  vorn_test::JackServer server;
  std::string problem;
  if (!server.start (48000, period, &problem))
    return fprintf (stderr, "bench-jack-latency: %s\n", problem.c_str ()), false;
  vorn_test::JackTestClient probe;
  if (!probe.open (server.name (), 1, &problem))
    return fprintf (stderr, "bench-jack-latency: %s\n", problem.c_str ()), false;

  InProcess in_process;
  Child child;
  if (host.argv.empty () ? !in_process.start (server.name ()) : !child.spawn (host, server.name ()))
    return false;
  /* The ports may be there before the program has finished starting; each
   * is connected once (a second connection of the same ports fails). */
  bool audio_linked = false, midi_linked = false;
  for (int tries = 0; tries < 3000 && !(audio_linked && midi_linked); tries++)
    {
      audio_linked = audio_linked || probe.connect_inputs ({ host.audio_port });
      midi_linked = midi_linked || probe.connect_midi (host.midi_port);
      if (!(audio_linked && midi_linked))
        std::this_thread::sleep_for (std::chrono::milliseconds (10));
    }
  if (!(audio_linked && midi_linked))
    {
      fprintf (stderr, "bench-jack-latency: %s made no ports %s and %s; run it by hand to see why:",
               host.label.c_str (), host.audio_port.c_str (), host.midi_port.c_str ());
      for (const std::string &a : host.argv)
        fprintf (stderr, " %s", a.c_str ());
      fprintf (stderr, "\n");
      return false;
    }
  /* Programs still loading play nothing yet: a first note not counted. */
  probe.record (4 * period);
  probe.send ({ 0x90, 69, 100 });
  probe.record (probe.recording ().frames () + 24000, 30.0);
  probe.send ({ 0x80, 69, 0 });
  wait_silence (probe, 8192);

  /* Analysed: 8,192 frames from 50 ms after the onset, past the attack. */
  const size_t skip = 2400, window = 8192;
  for (int n = 0; n < notes; n++)
    {
      /* Spread over the period, off the 64-frame grid of the engine's
       * fragments, so that notes moved to a fragment's start show. */
      const guint offset = (guint (n) * period / guint (notes) + guint (n) * 13 % 61) % period;
      probe.restart_recording ();
      probe.send ({ 0x90, 69, 100 }, offset);
      const vorn_test::JackRecording *rec = nullptr;
      size_t at = 0;
      for (int tries = 0; tries < 5000; tries++)
        {
          rec = &probe.recording ();
          at = signal_test::first_sound (rec->channels[0]);
          if (at < rec->frames () && probe.last_sent_frame () && rec->frames () >= at + skip + window)
            break;
          std::this_thread::sleep_for (std::chrono::milliseconds (1));
        }
      if (rec && at < rec->frames ())
        {
          out->from_note.push_back (double (rec->first_frame + at) - double (probe.last_sent_frame ()));
          if (verbose)
            fprintf (stderr, "  note %d at offset %u: onset %.0f frames later\n", n, offset, out->from_note.back ());
        }
      if (rec && rec->frames () >= at + skip + window)
        out->cents.push_back (1200 * std::log2 (partial_near (rec->channels[0], at + skip, window, 440) / 440));
      probe.send ({ 0x80, 69, 0 });
      wait_silence (probe, 8192);
    }
  probe.close ();
  return true;
}

double
at_fraction (std::vector<double> v, double f)
{
  std::sort (v.begin (), v.end ());
  return v.empty () ? NAN : v[size_t (f * double (v.size () - 1) + 0.5)];
}

/* The default instrument as a file, for the programs that play a file. */
std::string
write_default_file (const std::string &dir)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  g_autoptr (VornInst) inst = vorn_inst_new_default ();
  vorn_node_insert (VORN_NODE (file), VORN_NODE (inst), -1);
  const std::string path = dir + "/default.vvi";
  g_autoptr (GError) error = nullptr;
  if (!vorn_file_save (file, path.c_str (), &error))
    fprintf (stderr, "bench-jack-latency: %s\n", error->message);
  return path;
}

} // namespace

int
main (int argc, char **argv)
{
  vorn_init ("Zelmora 0.9.0");
  signal (SIGPIPE, SIG_IGN);
  if (!vorn_test::JackServer::available ())
    {
      fprintf (stderr, "bench-jack-latency: jackd is not installed (package jackd2)\n");
      return SKIP;
    }
  /* Never the user's server. */
  g_setenv ("JACK_DEFAULT_SERVER", "zelmora-bench-no-such-server", TRUE);
  g_setenv ("JACK_NO_START_SERVER", "1", TRUE);
  int notes = 20;
  double check_spread = -1, check_cents = -1;
  Options o;
  std::string hosts = "lib";
  std::vector<guint> periods = { 64u, 128u, 256u, 512u, 1024u, 2048u };
  for (int i = 1; i < argc; i++)
    if (strcmp (argv[i], "--period") == 0 && i + 1 < argc)
      periods = { guint (atoi (argv[++i])) };
    else if (strcmp (argv[i], "--hosts") == 0 && i + 1 < argc)
      hosts = argv[++i];
    else if (strcmp (argv[i], "--notes") == 0 && i + 1 < argc)
      notes = std::max (1, atoi (argv[++i]));
    else if (strcmp (argv[i], "--build-root") == 0 && i + 1 < argc)
      o.build_root = argv[++i];
    else if (strcmp (argv[i], "--verbose") == 0)
      verbose = true;
    else if (strcmp (argv[i], "--check-spread") == 0 && i + 1 < argc)
      check_spread = atof (argv[++i]);
    else if (strcmp (argv[i], "--check-cents") == 0 && i + 1 < argc)
      check_cents = atof (argv[++i]);
    else if (strcmp (argv[i], "--play") == 0 && i + 2 < argc)
      {
        o.play_program = argv[i + 1];
        o.play_file = argv[i + 2];
        hosts = "play";
        i += 2;
      }
    else if (g_ascii_isdigit (argv[i][0]))
      notes = std::max (1, atoi (argv[i]));
    else
      return fprintf (stderr, "bench-jack-latency: unknown argument %s\n", argv[i]), 2;
  if (hosts == "all")
    hosts = "lib,play,app,jalv-zelmora,fluidsynth,jalv-synthv1,jalv-zyn";
  const bool checking = check_spread >= 0 || check_cents >= 0;

  g_autofree char *tmp = g_dir_make_tmp ("zelmora-bench-XXXXXX", nullptr);
  o.default_file = write_default_file (tmp);
  o.home = std::string (tmp) + "/home";
  g_mkdir_with_parents (o.home.c_str (), 0700);

  printf ("MIDI-in to audio-out latency on a JACK dummy server at 48000 Hz, note 69, %d notes per row\n",
          notes);
  printf ("%-26s %6s %5s | %6s %6s %6s %6s | %s\n", "host", "period", "heard", "min", "median", "max",
          "spread", "pitch (cents off 440 Hz, median)");
  int status = 0;
  g_auto (GStrv) keys = g_strsplit (hosts.c_str (), ",", -1);
  for (char **k = keys; *k; k++)
    {
      const std::string key = *k;
      const Host host = make_host (key, o);
      if (!host.missing.empty ())
        {
          fprintf (stderr, "bench-jack-latency: %s: %s\n", key.c_str (), host.missing.c_str ());
          status = status ? status : (checking ? SKIP : 0);
          continue;
        }
      for (guint period : periods)
        {
          Figures f;
          if (!measure (host, period, notes, &f))
            {
              printf ("%-26s %6u   did not run\n", host.label.c_str (), period);
              status = 1;
              continue;
            }
          const double spread = at_fraction (f.from_note, 1) - at_fraction (f.from_note, 0);
          const double cents = at_fraction (f.cents, 0.5);
          printf ("%-26s %6u %5zu | %6.0f %6.0f %6.0f %6.0f | %+.1f\n", host.label.c_str (), period,
                  f.from_note.size (), at_fraction (f.from_note, 0), at_fraction (f.from_note, 0.5),
                  at_fraction (f.from_note, 1), spread, cents);
          fflush (stdout);
          if (checking && (f.from_note.size () != size_t (notes) || f.cents.size () != size_t (notes)))
            status = 1, fprintf (stderr, "%s: %zu of %d notes heard\n", key.c_str (), f.from_note.size (), notes);
          if (check_spread >= 0 && !(spread <= check_spread))
            status = 1, fprintf (stderr, "%s: onsets spread over %.0f frames\n", key.c_str (), spread);
          for (double c : f.cents)
            if (check_cents >= 0 && !(std::fabs (c) <= check_cents))
              status = 1, fprintf (stderr, "%s: a note %+.1f cents off 440 Hz\n", key.c_str (), c);
        }
    }
  g_autofree char *leftover = g_strdup_printf ("rm -rf '%s'", tmp);
  if (system (leftover) != 0)
    fprintf (stderr, "bench-jack-latency: %s left behind\n", tmp);
  return status;
}
