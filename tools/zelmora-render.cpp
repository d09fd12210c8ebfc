/* zelmora-render: renders notes played on an instrument of a .vvi file into
 * a WAV file, offline and as fast as the engine renders.
 *
 * The synthesizer is driven as the audio driver drives it: render calls
 * through its interleaved render call.  The notes of a MIDI file go with
 * the render calls as note events, which start (and release) at their
 * exact frame VORN_SYNTH_EVENT_LATENCY later; the output begins that late,
 * so they sound at their own frames.  The notes of --note options are posted between calls;
 * the engine applies them before the next 64-frame fragment it renders, so
 * such a note sounds from the first fragment boundary at or after its
 * frame.
 * The output is streamed to a temporary file, which replaces (or, for a FIFO
 * or a device, fills) the destination only once everything has succeeded. */
#include "render-midi.h"
#include "render-output.h"
#include "tool-instruments.h"
#include "vornadel.h"

#include <glib/gstdio.h>
#include <sndfile.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr guint FRAG = VORN_FRAGMENT_SIZE;
constexpr guint BLOCK_FRAMES = 32 * FRAG;
/* Largest data chunk a WAV file can describe, less room for the headers. */
constexpr guint64 WAV_MAX_BYTES = G_GUINT64_CONSTANT (0xffffffff) - 4096;

volatile sig_atomic_t interrupted = 0;

void
on_signal (int sig)
{
  interrupted = sig;
}

int G_GNUC_PRINTF (1, 2)
fail (const char *format, ...)
{
  va_list args;
  va_start (args, format);
  g_autofree char *text = g_strdup_vprintf (format, args);
  va_end (args);
  g_printerr ("zelmora-render: %s\n", text);
  return 1;
}

/* ---- options -------------------------------------------------------------- */

struct Options
{
  char *instrument = nullptr;
  char **notes = nullptr;
  char *midi = nullptr;
  int channel = 0;
  int sample_rate = 48000;
  int speakers = 2;
  char *format = nullptr;
  char *simd = nullptr;
  int cores = 1;
  char *bits = nullptr;
  double tail = 10.0;
  gboolean quiet = FALSE;

  ~Options ()
  {
    g_free (instrument);
    g_strfreev (notes);
    g_free (midi);
    g_free (format);
    g_free (simd);
    g_free (bits);
  }
};

/* What the options resolve to. */
struct Settings
{
  VornFormat format = VORN_FORMAT_SINGLE;
  VornSimd simd = VORN_SIMD_AUTO;
  int subtype = SF_FORMAT_FLOAT;
  guint sample_bytes = 4;
};

/* Lower-case names of an enumeration's nicks, "a|b|c". */
std::string
enum_choices (GType type)
{
  g_autoptr (GEnumClass) klass = G_ENUM_CLASS (g_type_class_ref (type));
  std::string out;
  for (guint i = 0; i < klass->n_values; i++)
    {
      g_autofree char *lower = g_ascii_strdown (klass->values[i].value_nick, -1);
      out += (i ? "|" : "") + std::string (lower);
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

/* The range of an unsigned synthesizer property. */
const GParamSpecUInt *
uint_spec (VornSynth *synth, const char *property)
{
  return G_PARAM_SPEC_UINT (g_object_class_find_property (G_OBJECT_GET_CLASS (synth), property));
}

bool
in_range (const GParamSpecUInt *spec, int value)
{
  return value >= 0 && guint (value) >= spec->minimum && guint (value) <= spec->maximum;
}

int
check_options (const Options &o, VornSynth *synth, Settings *s)
{
  int value = 0;
  if (o.format)
    {
      if (!enum_lookup (VORN_TYPE_FORMAT, o.format, &value))
        return fail ("unknown --format '%s' (choose %s)", o.format, enum_choices (VORN_TYPE_FORMAT).c_str ());
      s->format = VornFormat (value);
    }
  if (o.simd)
    {
      if (!enum_lookup (VORN_TYPE_SIMD, o.simd, &value))
        return fail ("unknown --simd '%s' (choose %s)", o.simd, enum_choices (VORN_TYPE_SIMD).c_str ());
      s->simd = VornSimd (value);
    }
  if (o.bits)
    {
      const std::string bits = o.bits;
      if (bits == "16")
        s->subtype = SF_FORMAT_PCM_16, s->sample_bytes = 2;
      else if (bits == "24")
        s->subtype = SF_FORMAT_PCM_24, s->sample_bytes = 3;
      else if (bits != "32f")
        return fail ("unknown --bits '%s' (choose 16|24|32f)", o.bits);
    }

  GParamSpec *rate = g_object_class_find_property (G_OBJECT_GET_CLASS (synth), "sample-rate");
  const GParamSpecDouble *rate_spec = G_PARAM_SPEC_DOUBLE (rate);
  if (o.sample_rate < rate_spec->minimum || o.sample_rate > rate_spec->maximum)
    return fail ("--sample-rate %d is outside %.0f-%.0f Hz", o.sample_rate, rate_spec->minimum,
                 rate_spec->maximum);
  const GParamSpecUInt *speakers = uint_spec (synth, "speaker-count"), *cores = uint_spec (synth, "cores");
  if (!in_range (speakers, o.speakers))
    return fail ("--speakers %d is outside %u-%u", o.speakers, speakers->minimum, speakers->maximum);
  if (!in_range (cores, o.cores))
    return fail ("--cores %d is outside %u-%u (0: every core)", o.cores, cores->minimum, cores->maximum);
  if (o.channel < 0 || o.channel > 16)
    return fail ("--channel %d is outside 1-16", o.channel);
  if (o.channel && !o.midi)
    return fail ("--channel needs --midi");
  if (!std::isfinite (o.tail) || o.tail < 0.0 || o.tail > RENDER_MAX_SECONDS)
    return fail ("--tail must be a number of seconds, 0 or more");
  return 0;
}

/* Whether @a and @b name one existing file. */
bool
same_file (const char *a, const char *b)
{
  GStatBuf sa, sb;
  return b && g_stat (a, &sa) == 0 && g_stat (b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

/* ---- instrument ----------------------------------------------------------- */

VornInst *
choose_instrument (VornFile *file, const char *path, const char *wanted, std::string *problem)
{
  const std::vector<VornInst *> insts = tool_file_instruments (file);
  if (insts.empty ())
    {
      *problem = std::string (path) + " holds no instrument";
      return nullptr;
    }
  if (!wanted)
    return insts[0];
  std::string available;
  VornInst *inst = tool_find_instrument (insts, wanted, &available);
  if (!inst)
    *problem = std::string (path) + " has no instrument \"" + wanted + "\"; available: " + available;
  return inst;
}

/* ---- synthesizer ---------------------------------------------------------- */

/* A started CPU synthesizer played without an audio device: frames come from
 * the public render call, as the audio callback takes them. */
struct OfflineSynth
{
  VornSynth *synth;
  guint16 note_device = 0, midi_device = 0;

  explicit OfflineSynth (VornSynth *s) : synth (s) {}
  ~OfflineSynth ()
  {
    /* Stopping returns the start-voice messages of sounding voices, whose
     * release frees their queues. */
    vorn_synth_stop (synth);
    drain ();
    g_object_unref (synth);
  }

  bool start (VornInst *inst, std::string *problem)
  {
    g_autoptr (GError) err = nullptr;
    if (!vorn_synth_start (synth, &err))
      {
        *problem = std::string ("cannot start the synthesizer: ") + err->message;
        return false;
      }
    guint channels = 0;
    g_object_get (synth, "channel-count", &channels, nullptr);
    for (guint c = 0; c < MIN (channels, 16u); c++)
      vorn_synth_set_inst (synth, int (c), inst);
    note_device = guint16 (vorn_synth_get_device_id (synth));
    midi_device = guint16 (vorn_synth_get_device_id (synth));
    vorn_synth_prepare_voices (synth);
    return true;
  }
  void render (float *out, guint frames, const std::vector<VornSynthEvent> &events)
  {
    vorn_synth_render_events_interleaved (synth, out, frames, events.data (), guint (events.size ()));
  }
  void play (const RenderEvent &e)
  {
    const guint16 device = e.midi ? midi_device : note_device;
    if (e.on)
      vorn_synth_note_on (synth, device, e.source, e.chan, e.note, e.velocity, nullptr);
    else
      vorn_synth_note_off (synth, device, e.source, e.chan, e.note, e.velocity);
  }
  guint active ()
  {
    guint n = 0;
    vorn_synth_voice_stats (synth, &n, nullptr, FALSE);
    return n;
  }
  /* Frees what the render thread handed back: ended or refused voices and
   * answered messages (the application's job in the GUI). */
  void drain ()
  {
    while (VornSynthMsg *msg = vorn_synth_get_message (synth))
      vorn_synth_msg_free (msg);
    /* No main loop here: the voices taken by note events are compiled
     * again between calls. */
    vorn_synth_prepare_voices (synth);
  }
};

/* ---- rendering ------------------------------------------------------------ */

/* The most note-ons of a MIDI file on one channel at one frame: voices
 * prepared per channel, so that no chord loses a note. */
guint
most_at_once (const std::vector<RenderEvent> &events)
{
  guint most = 16, run = 0;
  for (size_t i = 0; i < events.size (); i++)
    {
      const bool same = i > 0 && events[i].frame == events[i - 1].frame;
      run = same ? run : 0;
      if (events[i].midi && events[i].on)
        run++;
      most = MAX (most, run);
    }
  return MIN (most, 1024u);
}

/* The synthesizer's sample time at which @e is handed over: a MIDI file's
 * note goes with the render call at its frame and plays
 * VORN_SYNTH_EVENT_LATENCY later, when the output reaches its frame (it
 * begins @lead frames late). */
guint64
handover_time (const RenderEvent &e, guint64 lead)
{
  return e.midi ? e.frame : e.frame + lead;
}

/* Renders the events into @out.  After the last event it goes on in whole
 * fragments until no voice sounds or @limit is reached, so the output ends
 * with the fragment in which the last voice finished.  Returns the frames
 * written, or -1 with @problem set. */
gint64
render (OfflineSynth &synth, std::vector<RenderEvent> events, guint speakers, guint64 limit,
        WavOutput &out, Progress &progress, std::string *problem)
{
  std::vector<float> buffer (size_t (BLOCK_FRAMES) * speakers);
  /* Counted in sample time, which runs @lead frames ahead of the output. */
  const bool any_midi
    = std::any_of (events.begin (), events.end (), [] (const RenderEvent &e) { return e.midi; });
  const guint64 lead = any_midi ? VORN_SYNTH_EVENT_LATENCY : 0;
  std::stable_sort (events.begin (), events.end (), [lead] (const RenderEvent &a, const RenderEvent &b) {
    return handover_time (a, lead) < handover_time (b, lead);
  });
  std::vector<VornSynthEvent> handed;
  handed.reserve (events.size ());
  guint64 pos = 0;

  auto render_to = [&] (guint64 target) {
    while (pos < target)
      {
        if (interrupted)
          return *problem = "interrupted", false;
        /* Never across the start of the output. */
        const guint64 stop = pos < lead ? MIN (target, lead) : target;
        const guint n = guint (MIN (stop - pos, guint64 (BLOCK_FRAMES)));
        synth.render (buffer.data (), n, handed);
        handed.clear ();
        if (pos >= lead && !out.write (buffer.data (), n, problem))
          return false;
        pos += n;
        synth.drain ();
        if (pos > lead)
          progress.update (pos - lead);
      }
    return true;
  };

  for (size_t next = 0; next < events.size ();)
    {
      if (!render_to (handover_time (events[next], lead)))
        return -1;
      for (; next < events.size () && handover_time (events[next], lead) == pos; next++)
        {
          const RenderEvent &e = events[next];
          if (e.midi)
            handed.push_back ({ 0, 3, { guint8 ((e.on ? 0x90 : 0x80) | e.chan), e.note, e.velocity } });
          else
            synth.play (e);
        }
    }
  /* Events handed over with no call after them yet. */
  if (!handed.empty () && !render_to (pos + FRAG))
    return -1;

  /* The last notes are applied at the first fragment boundary after they
   * were posted (the event latency later when handed over); only a fragment
   * rendered after that tells whether voices still sound. */
  const guint64 applied = (pos + FRAG - 1) / FRAG * FRAG + lead;
  const guint64 end = limit + lead;
  while (pos < end)
    {
      if (!render_to (MIN ((pos / FRAG + 1) * FRAG, end)))
        return -1;
      if (pos % FRAG == 0 && pos > applied && synth.active () == 0)
        break;
    }
  return gint64 (pos - lead);
}

int
run (int argc, char **argv)
{
  Options o;
  const GOptionEntry entries[] = {
    { "instrument", 'i', 0, G_OPTION_ARG_STRING, &o.instrument,
      "Instrument by name or 0-based index (default: the first)", "NAME|INDEX" },
    { "note", 'n', 0, G_OPTION_ARG_STRING_ARRAY, &o.notes,
      "A note: MIDI number 0-127, start and length in seconds (defaults 0 and 1), velocity 1-127 "
      "(default 100); repeatable", "NOTE[:START[:LENGTH[:VELOCITY]]]" },
    { "midi", 'm', 0, G_OPTION_ARG_FILENAME, &o.midi,
      "Notes from a Standard MIDI File; every channel plays the instrument", "FILE.mid" },
    { "channel", 0, 0, G_OPTION_ARG_INT, &o.channel, "Take only this MIDI channel's notes", "1-16" },
    { "sample-rate", 'r', 0, G_OPTION_ARG_INT, &o.sample_rate, "Sample rate (default 48000)", "HZ" },
    { "speakers", 's', 0, G_OPTION_ARG_INT, &o.speakers, "Speaker outputs, one WAV channel each (default 2)", "N" },
    { "format", 'f', 0, G_OPTION_ARG_STRING, &o.format, "Synthesis precision (default single)", "single|double" },
    { "simd", 0, 0, G_OPTION_ARG_STRING, &o.simd,
      "Instruction set (default auto: the best this processor has)", "auto|sse2|avx|avx2|avx512" },
    { "cores", 'c', 0, G_OPTION_ARG_INT, &o.cores, "Render cores, 0 for all (default 1)", "N" },
    { "bits", 'b', 0, G_OPTION_ARG_STRING, &o.bits, "WAV sample format (default 32f: 32-bit float)", "16|24|32f" },
    { "tail", 't', 0, G_OPTION_ARG_DOUBLE, &o.tail,
      "Longest release tail after the last note-off (default 10)", "SECONDS" },
    { "quiet", 'q', 0, G_OPTION_ARG_NONE, &o.quiet, "No progress bar and no summary", nullptr },
    { nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr },
  };
  g_autoptr (GOptionContext) context = g_option_context_new ("INSTRUMENT-FILE OUTPUT.wav");
  g_option_context_set_summary (context, "Renders notes played on an instrument of a .vvi file to a WAV file.");
  g_option_context_set_description (
      context,
      "The notes come from --note options, a MIDI file or both.  After the last note-off the\n"
      "render goes on until every voice has finished its release, at most --tail seconds.\n"
      "\n"
      "Examples:\n"
      "  zelmora-render bank.vvi a4.wav -n 69\n"
      "  zelmora-render -i \"Soft sine\" -n 60:0:2 -n 64:0.5:1.5:80 bank.vvi chord.wav\n"
      "  zelmora-render -m song.mid -b 16 bank.vvi song.wav\n");
  g_option_context_add_main_entries (context, entries, nullptr);
  g_autoptr (GError) error = nullptr;
  if (!g_option_context_parse (context, &argc, &argv, &error))
    return fail ("%s", error->message);
  if (argc != 3)
    return fail ("expected INSTRUMENT-FILE and OUTPUT.wav (see --help)");
  const char *inst_path = argv[1], *output = argv[2];
  if (same_file (output, inst_path) || same_file (output, o.midi))
    return fail ("%s is an input; choose another output file", output);

  VornSynth *synth_object = vorn_synth_cpu_new ();
  OfflineSynth synth (synth_object);
  Settings s;
  if (int status = check_options (o, synth.synth, &s))
    return status;
  const double rate = o.sample_rate;

  std::vector<RenderEvent> events;
  guint source = 1;
  for (char **note = o.notes; note && *note; note++)
    if (!render_parse_note (*note, source++, rate, events, &error))
      return fail ("%s", error->message);
  if (!o.notes && !o.midi)
    return fail ("no notes given: use --note or --midi (see --help)");

  g_autoptr (VornFile) file = vorn_file_load (inst_path, &error);
  if (!file)
    return fail ("%s", error->message);
  std::string problem;
  VornInst *inst = choose_instrument (file, inst_path, o.instrument, &problem);
  if (!inst)
    return fail ("%s", problem.c_str ());

  guint on_count = 0;
  if (o.midi)
    {
      const size_t before = events.size ();
      if (!render_read_midi (o.midi, o.channel, rate, events, &error))
        return fail ("%s", error->message);
      if (events.size () == before)
        return o.channel ? fail ("%s has no notes on channel %d", o.midi, o.channel)
                         : fail ("%s has no notes", o.midi);
    }
  std::stable_sort (events.begin (), events.end (),
                    [] (const RenderEvent &a, const RenderEvent &b) { return a.frame < b.frame; });
  for (const RenderEvent &e : events)
    on_count += e.on;

  const guint64 notes_end = events.back ().frame;
  const guint64 limit = notes_end + guint64 (std::llround (o.tail * rate));
  const guint64 max_frames = WAV_MAX_BYTES / (guint64 (o.speakers) * s.sample_bytes);
  if (limit > max_frames)
    return fail ("the output could run to %.0f s, more than a WAV file holds at these settings "
                 "(%.0f s); shorten the notes or --tail",
                 double (limit) / rate, double (max_frames) / rate);

  /* Enough voices that no note is refused for want of a slot. */
  g_object_set (synth.synth, "sample-rate", rate, "speaker-count", guint (o.speakers), "audio-format",
                s.format, "simd", s.simd, "cores", guint (o.cores), "max-voices",
                CLAMP (on_count, 100u, 65535u), "prepared-voices", most_at_once (events), nullptr);

  g_autofree char *inst_name = nullptr;
  g_object_get (inst, "name", &inst_name, nullptr);
  SF_INFO format = {};
  format.samplerate = o.sample_rate;
  format.channels = o.speakers;
  format.format = SF_FORMAT_WAV | s.subtype;
  struct sigaction action = {};
  action.sa_handler = on_signal;
  sigaction (SIGINT, &action, nullptr);
  sigaction (SIGTERM, &action, nullptr);
  /* A FIFO whose reader went away is a failed write, reported as such. */
  signal (SIGPIPE, SIG_IGN);
  /* Past the file size limit a write fails with EFBIG, which is reported
   * and cleaned up, instead of killing the process. */
  signal (SIGXFSZ, SIG_IGN);
  WavOutput out;
  if (!out.open (output, format, inst_name, &problem))
    return fail ("%s", problem.c_str ());

  if (!synth.start (inst, &problem))
    return fail ("%s", problem.c_str ());
  Progress progress (!o.quiet && isatty (STDERR_FILENO), rate, notes_end);
  const gint64 started = g_get_monotonic_time ();
  const gint64 frames = render (synth, events, guint (o.speakers), limit, out, progress, &problem);
  const double elapsed = double (g_get_monotonic_time () - started) / G_USEC_PER_SEC;
  progress.finish ();
  if (frames < 0 || interrupted || !out.commit (&problem))
    {
      out.discard ();
      if (interrupted)
        {
          fail ("interrupted; %s left as it was", output);
          signal (interrupted, SIG_DFL);
          raise (interrupted);
        }
      return fail ("%s", problem.c_str ());
    }

  if (guint lost = vorn_synth_get_event_overflow (synth.synth))
    g_printerr ("zelmora-render: %u notes of %s were lost (too many at once)\n", lost, o.midi);
  if (!o.quiet)
    {
      VornSimd level = VORN_SIMD_SSE2;
      guint cores = 1;
      vorn_synth_cpu_get_render_props (synth.synth, nullptr, nullptr, nullptr, &level);
      g_object_get (synth.synth, "cores-current", &cores, nullptr);
      g_autoptr (GEnumClass) simd_class = G_ENUM_CLASS (g_type_class_ref (VORN_TYPE_SIMD));
      const double seconds = double (frames) / rate;
      printf ("%s: %" G_GINT64_FORMAT " frames, %.3f s of audio (%d Hz, %d %s, %s, %s, %u %s); "
              "rendered in %.3f s, %.1fx real time\n",
              output, frames, seconds, o.sample_rate, o.speakers, o.speakers == 1 ? "speaker" : "speakers",
              s.format ? "double" : "single",
              g_enum_get_value (simd_class, level)->value_nick, cores, cores == 1 ? "core" : "cores",
              elapsed, elapsed > 0 ? seconds / elapsed : 0.0);
    }
  return 0;
}

} // namespace

int
main (int argc, char **argv)
{
  setlocale (LC_ALL, "");
  g_set_prgname ("zelmora-render");
  vorn_init ("Zelmora 0.9.0");
  return run (argc, argv);
}
