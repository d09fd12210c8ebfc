/* zelmora-play: plays the instruments of a .vvi file from MIDI input in real
 * time, through an audio driver, until interrupted.
 *
 * Everything runs on one GLib main loop: the MIDI driver delivers its events
 * there, the synthesizer's outbox is drained there, and a timer shows the
 * voices and the output level.  SIGINT and SIGTERM end the loop, after which
 * the drivers and the synthesizer are stopped in order. */
#include "vornadel.h"
#include "tool-instruments.h"

#include <glib-unix.h>

#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int G_GNUC_PRINTF (1, 2)
fail (const char *format, ...)
{
  va_list args;
  va_start (args, format);
  g_autofree char *text = g_strdup_vprintf (format, args);
  va_end (args);
  g_printerr ("zelmora-play: %s\n", text);
  return 1;
}

/* ---- drivers -------------------------------------------------------------- */

/* The lower-case nicks of @type, the names the options take. */
std::vector<std::string>
driver_names (GType type)
{
  g_autoptr (GEnumClass) klass = G_ENUM_CLASS (g_type_class_ref (type));
  std::vector<std::string> out;
  for (guint i = 0; i < klass->n_values; i++)
    {
      g_autofree char *lower = g_ascii_strdown (klass->values[i].value_nick, -1);
      out.emplace_back (lower);
    }
  return out;
}

bool
enum_lookup (GType type, const char *name, int *value)
{
  gboolean found = FALSE;
  *value = vorn_util_enum_lookup_nocase (type, name, &found);
  return found;
}

void
print_names (const char *heading, const std::vector<std::string> &names)
{
  printf ("%s\n", heading);
  for (const auto &n : names)
    printf ("%s\n", n.c_str ());
}

/* Returns NULL for a back-end this build lacks (and for "auto" without a
 * sequencer). */
VornMidiDriver *
new_midi_driver (const char *name, VornSynth *synth)
{
  int value = 0;
  enum_lookup (VORN_TYPE_MIDI_DRIVER_TYPE, name, &value);
  return vorn_midi_driver_new (VornMidiDriverType (value), synth);
}

/* ---- instruments ---------------------------------------------------------- */

/* ---- the running player --------------------------------------------------- */

struct Player
{
  VornSynth *synth = nullptr;
  VornAudioDriver *audio = nullptr;
  VornMidiDriver *midi = nullptr;
  GMainLoop *loop = nullptr;
  bool tty = false;
  int status = 0;
  guint ticks = 0;
  float level = 0.0f;  /* peak since the last line */
  guint lost = 0;      /* note events the render thread had to drop */

  ~Player ()
  {
    if (midi)
      vorn_midi_driver_stop (midi);
    if (audio)
      vorn_audio_driver_stop (audio);
    g_clear_object (&midi);
    g_clear_object (&audio);
    if (synth)
      {
        /* Sounding voices come back through the outbox to be freed. */
        vorn_synth_stop (synth);
        while (VornSynthMsg *msg = vorn_synth_get_message (synth))
          vorn_synth_msg_free (msg);
        g_object_unref (synth);
      }
    if (loop)
      g_main_loop_unref (loop);
  }
};

gboolean
on_outbox (VornSynth *, VornSynthMsg *msg, gpointer)
{
  vorn_synth_msg_free (msg);
  return G_SOURCE_CONTINUE;
}

gboolean
on_signal (gpointer data)
{
  g_main_loop_quit (static_cast<Player *> (data)->loop);
  return G_SOURCE_CONTINUE;
}

/* Every 100 ms: the status line on a terminal, a plain line every 5 s
 * otherwise.  A driver that stopped by itself (its server went away) ends
 * the program with an error. */
gboolean
on_tick (gpointer data)
{
  auto *p = static_cast<Player *> (data);

  if (!vorn_audio_driver_is_running (p->audio) || (p->midi && !vorn_midi_driver_is_running (p->midi)))
    {
      if (p->tty)
        printf ("\n");
      p->status = fail ("the %s driver stopped (its server went away?)",
                        vorn_audio_driver_is_running (p->audio) ? "MIDI" : "audio");
      g_main_loop_quit (p->loop);
      return G_SOURCE_REMOVE;
    }

  const guint lost = vorn_synth_get_event_overflow (p->synth);
  if (lost != p->lost)
    {
      if (p->tty)
        printf ("\n");
      g_printerr ("zelmora-play: %u note events lost (too many at once)\n", lost - p->lost);
      p->lost = lost;
    }

  guint32 words[8] = {};
  vorn_synth_read_peak_levels (p->synth, words, G_N_ELEMENTS (words));
  for (guint32 w : words)
    {
      float f;
      memcpy (&f, &w, sizeof f);
      p->level = std::max (p->level, f);
    }

  p->ticks++;
  if (!p->tty && p->ticks % 50 != 0)
    return G_SOURCE_CONTINUE;
  guint active = 0, most = 0;
  vorn_synth_voice_stats (p->synth, &active, &most, TRUE);
  const double db = p->level > 0 ? 20 * std::log10 (p->level) : -INFINITY;
  if (p->tty)
    printf ("\rvoices %3u (most %3u)  level %6.1f dB ", active, most, db);
  else
    printf ("voices %u (most %u) level %.1f dB\n", active, most, db);
  fflush (stdout);
  p->level = 0.0f;
  return G_SOURCE_CONTINUE;
}

int
run (int argc, char **argv)
{
  g_autofree char *audio_name = nullptr, *midi_name = nullptr;
  g_auto (GStrv) wanted = nullptr;
  const GOptionEntry entries[] = {
    { "audio", 'a', 0, G_OPTION_ARG_STRING, &audio_name,
      "Audio driver: auto, portaudio or jack ('help' to list them)", "DRIVER" },
    { "midi", 'm', 0, G_OPTION_ARG_STRING, &midi_name,
      "MIDI driver: auto, alsa or jack ('help' to list them)", "DRIVER" },
    { "instrument", 'i', 0, G_OPTION_ARG_STRING_ARRAY, &wanted,
      "Instrument by name or 0-based index for the next MIDI channel, from channel 1 "
      "(default: the first instrument on channel 1)", "NAME|INDEX" },
    { nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr },
  };
  g_autoptr (GOptionContext) context = g_option_context_new ("FILE.vvi");
  g_option_context_set_summary (context,
                                "Plays the instruments of a .vvi file from MIDI input until "
                                "interrupted (Ctrl+C).");
  g_option_context_add_main_entries (context, entries, nullptr);
  g_autoptr (GError) error = nullptr;
  if (!g_option_context_parse (context, &argc, &argv, &error))
    return fail ("%s", error->message);

  if (g_strcmp0 (audio_name, "help") == 0 || g_strcmp0 (midi_name, "help") == 0)
    {
      if (g_strcmp0 (audio_name, "help") == 0)
        print_names ("-a, --audio options (audio driver):",
                     driver_names (VORN_TYPE_AUDIO_DRIVER_AVAILABLE));
      if (g_strcmp0 (midi_name, "help") == 0)
        print_names ("-m, --midi options (MIDI driver):", driver_names (VORN_TYPE_MIDI_DRIVER_TYPE));
      return 0;
    }
  int audio_type = VORN_AUDIO_DRIVER_AUTO;
  if (audio_name && !enum_lookup (VORN_TYPE_AUDIO_DRIVER_AVAILABLE, audio_name, &audio_type))
    return fail ("unknown audio driver '%s' (try -a help)", audio_name);
  const std::vector<std::string> midis = driver_names (VORN_TYPE_MIDI_DRIVER_TYPE);
  g_autofree char *midi_lower = midi_name ? g_ascii_strdown (midi_name, -1) : nullptr;
  if (midi_lower && std::find (midis.begin (), midis.end (), midi_lower) == midis.end ())
    return fail ("unknown MIDI driver '%s' (try -m help)", midi_name);
  if (argc != 2)
    return fail ("expected one instrument file (try --help)");

  /* ---- the instruments, one per channel ---- */
  g_autoptr (VornFile) file = vorn_file_load (argv[1], &error);
  if (!file)
    return fail ("cannot load %s: %s", argv[1], error->message);
  const std::vector<VornInst *> insts = tool_file_instruments (file);
  if (insts.empty ())
    return fail ("%s holds no instrument", argv[1]);

  Player p;
  p.synth = vorn_synth_cpu_new ();
  guint channels = 0;
  g_object_get (p.synth, "channel-count", &channels, nullptr);
  std::vector<VornInst *> chosen;
  for (guint i = 0; wanted && wanted[i]; i++)
    {
      std::string available;
      VornInst *inst = tool_find_instrument (insts, wanted[i], &available);
      if (!inst)
        return fail ("%s: no instrument \"%s\"; available: %s", argv[1], wanted[i],
                     available.c_str ());
      chosen.push_back (inst);
    }
  if (chosen.empty ())
    chosen.push_back (insts[0]);
  if (chosen.size () > channels)
    return fail ("%zu instruments for %u channels", chosen.size (), channels);

  g_autoptr (GError) start_err = nullptr;
  if (!vorn_synth_start (p.synth, &start_err))
    return fail ("cannot start the synthesizer: %s", start_err->message);
  for (size_t c = 0; c < chosen.size (); c++)
    vorn_synth_set_inst (p.synth, int (c), chosen[c]);

  /* ---- drivers ---- */
  p.audio = vorn_audio_driver_new (VornAudioDriverType (audio_type), p.synth);
  if (!p.audio)
    return fail ("the audio driver '%s' is not available", audio_name);
  if (!vorn_audio_driver_start (p.audio, &error))
    return fail ("cannot start the audio driver: %s", error->message);
  const char *midi = midi_name ? midi_name : "auto";
  p.midi = new_midi_driver (midi, p.synth);
  if (!p.midi && midi_name && g_ascii_strcasecmp (midi_name, "auto") != 0)
    return fail ("the MIDI driver '%s' is not available in this build", midi_name);
  if (!p.midi)
    g_printerr ("zelmora-play: no MIDI input available; playing nothing\n");
  else if (!vorn_midi_driver_start (p.midi, &error))
    return fail ("cannot start the MIDI driver: %s", error->message);

  double rate = 0;
  guint speakers = 0;
  g_object_get (p.audio, "sample-rate", &rate, "speaker-count", &speakers, nullptr);
  printf ("Playing through %s at %.0f Hz, %u speakers, MIDI from %s; Ctrl+C ends\n",
          G_OBJECT_TYPE_NAME (p.audio), rate, speakers,
          p.midi ? G_OBJECT_TYPE_NAME (p.midi) : "nowhere");
  for (size_t c = 0; c < chosen.size (); c++)
    {
      g_autofree char *name = nullptr;
      g_object_get (chosen[c], "name", &name, nullptr);
      printf ("  channel %zu: %s\n", c + 1, name ? name : "");
    }
  fflush (stdout);

  /* ---- the loop ---- */
  p.loop = g_main_loop_new (nullptr, FALSE);
  p.tty = isatty (STDOUT_FILENO);
  GSource *outbox = vorn_synth_outbox_source_new (p.synth);
  g_source_set_callback (outbox, G_SOURCE_FUNC (on_outbox), nullptr, nullptr);
  g_source_attach (outbox, nullptr);
  const guint sigint = g_unix_signal_add (SIGINT, on_signal, &p);
  const guint sigterm = g_unix_signal_add (SIGTERM, on_signal, &p);
  const guint tick = g_timeout_add (100, on_tick, &p);

  g_main_loop_run (p.loop);

  if (p.tty && p.status == 0)
    printf ("\n");
  g_source_remove (sigint);
  g_source_remove (sigterm);
  if (p.status == 0)
    g_source_remove (tick);
  g_source_destroy (outbox);
  g_source_unref (outbox);
  return p.status;
}

} // namespace

int
main (int argc, char **argv)
{
  setlocale (LC_ALL, "");
  g_set_prgname ("zelmora-play");
  vorn_init ("Zelmora 0.9.0");
  return run (argc, argv);
}
