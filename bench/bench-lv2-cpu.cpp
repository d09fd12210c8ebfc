/* bench-lv2-cpu: CPU per voice of LV2 instruments, all through one lilv host.
 *
 * Each plugin is instantiated at 48 kHz and run in blocks of 256 frames;
 * N notes (spread over the keyboard, velocity 100) start in the first block
 * and are held while SECONDS of audio are rendered.  The figure is CPU
 * seconds of the rendering thread per second of audio, per voice.  The host
 * offers what instruments ask for: urid map and unmap, a worker run
 * synchronously (work at once, responses after run()), options with the
 * block length and sample rate, bounded block lengths; presets are
 * restored with lilv's state API.
 *
 * Usage: bench-lv2-cpu [SECONDS] [--voices 1,8,32] [--plugin LABEL=URI[#PRESET]]...
 * Without --plugin: Zelmora's default instrument and its "Organic" preset
 * (LV2_PATH must reach the bundle; the build tree's is added), synthv1 and
 * ZynAddSubFX, then the ratios of Zelmora to the others. */
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/presets/presets.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <glib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#ifndef BUILD_ROOT
#define BUILD_ROOT "build"
#endif

namespace {

constexpr double RATE = 48000.0;
constexpr uint32_t BLOCK = 256;
constexpr size_t ATOM_ROOM = 65536;

/* ---- urid ------------------------------------------------------------------ */

struct Urids {
  std::map<std::string, LV2_URID> ids;
  std::vector<std::string> uris;

  static LV2_URID map (LV2_URID_Map_Handle h, const char *uri)
  {
    auto *self = static_cast<Urids *> (h);
    auto [it, fresh] = self->ids.emplace (uri, LV2_URID (self->uris.size () + 1));
    if (fresh)
      self->uris.push_back (uri);
    return it->second;
  }
  static const char *unmap (LV2_URID_Unmap_Handle h, LV2_URID id)
  {
    auto *self = static_cast<Urids *> (h);
    return id >= 1 && id <= self->uris.size () ? self->uris[id - 1].c_str () : nullptr;
  }
};

/* ---- worker, run synchronously ---------------------------------------------- */

struct Worker {
  const LV2_Worker_Interface *iface = nullptr;
  LV2_Handle handle = nullptr;
  std::vector<std::vector<char>> responses;

  static LV2_Worker_Status respond (LV2_Worker_Respond_Handle h, uint32_t size, const void *data)
  {
    auto *self = static_cast<Worker *> (h);
    const char *bytes = static_cast<const char *> (data);
    self->responses.emplace_back (bytes, bytes + size);
    return LV2_WORKER_SUCCESS;
  }
  static LV2_Worker_Status schedule (LV2_Worker_Schedule_Handle h, uint32_t size, const void *data)
  {
    auto *self = static_cast<Worker *> (h);
    if (!self->iface)
      return LV2_WORKER_ERR_UNKNOWN;
    return self->iface->work (self->handle, respond, self, size, data);
  }
  /* After run(): what the work sent back, then the end of the cycle. */
  void deliver ()
  {
    if (!iface)
      return;
    for (const std::vector<char> &r : responses)
      iface->work_response (handle, uint32_t (r.size ()), r.data ());
    responses.clear ();
    if (iface->end_run)
      iface->end_run (handle);
  }
};

/* ---- one plugin instance ------------------------------------------------------ */

struct Row {
  std::string label, uri, preset;
};

struct Host {
  LilvWorld *world;
  Urids urids;
  LV2_URID_Map map{ &urids, Urids::map };
  LV2_URID_Unmap unmap{ &urids, Urids::unmap };
};

/* Everything an instance's ports point to, for the instance's life. */
struct Instance {
  Host &host;
  const LilvPlugin *plugin = nullptr;
  LilvInstance *instance = nullptr;
  Worker worker;
  LV2_Worker_Schedule schedule{ &worker, Worker::schedule };
  int32_t block = int32_t (BLOCK), min_block = 1, seq_size = int32_t (ATOM_ROOM);
  float rate = float (RATE);
  std::vector<LV2_Options_Option> options;
  std::vector<float> controls;
  std::map<std::string, uint32_t> by_symbol;
  std::vector<std::vector<float>> audio;  /* per port, empty when not audio */
  std::vector<uint32_t> outputs;          /* audio output ports */
  std::vector<uint32_t> midi_in;          /* atom inputs */
  std::vector<std::vector<uint64_t>> atoms;

  explicit Instance (Host &h) : host (h) {}
  ~Instance ()
  {
    if (instance)
      {
        lilv_instance_deactivate (instance);
        lilv_instance_free (instance);
      }
  }

  /* Returns: an empty string, or why the plugin cannot be run. */
  std::string open (const Row &row)
  {
    LilvWorld *w = host.world;
    LilvNode *uri = lilv_new_uri (w, row.uri.c_str ());
    plugin = lilv_plugins_get_by_uri (lilv_world_get_all_plugins (w), uri);
    lilv_node_free (uri);
    if (!plugin)
      return "not installed (lv2ls does not list it)";

    const LV2_URID atom_int = host.map.map (&host.urids, LV2_ATOM__Int);
    const LV2_URID atom_float = host.map.map (&host.urids, LV2_ATOM__Float);
    auto opt = [&] (const char *key, LV2_URID type, const void *value) {
      options.push_back ({ LV2_OPTIONS_INSTANCE, 0, host.map.map (&host.urids, key), sizeof (int32_t),
                           type, value });
    };
    opt (LV2_BUF_SIZE__maxBlockLength, atom_int, &block);
    opt (LV2_BUF_SIZE__minBlockLength, atom_int, &min_block);
    opt (LV2_BUF_SIZE__nominalBlockLength, atom_int, &block);
    opt (LV2_BUF_SIZE__sequenceSize, atom_int, &seq_size);
    opt (LV2_PARAMETERS__sampleRate, atom_float, &rate);
    options.push_back ({ LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr });

    static LV2_Feature bounded{ LV2_BUF_SIZE__boundedBlockLength, nullptr };
    LV2_Feature f_map{ LV2_URID__map, &host.map }, f_unmap{ LV2_URID__unmap, &host.unmap },
      f_sched{ LV2_WORKER__schedule, &schedule }, f_opts{ LV2_OPTIONS__options, options.data () };
    const LV2_Feature *features[] = { &f_map, &f_unmap, &f_sched, &f_opts, &bounded, nullptr };

    LilvNodes *required = lilv_plugin_get_required_features (plugin);
    std::string missing;
    LILV_FOREACH (nodes, i, required)
      {
        const char *f = lilv_node_as_uri (lilv_nodes_get (required, i));
        bool have = false;
        for (const LV2_Feature *const *p = features; *p; p++)
          have = have || strcmp ((*p)->URI, f) == 0;
        if (!have && strcmp (f, LV2_CORE__isLive) != 0 && strcmp (f, LV2_CORE__inPlaceBroken) != 0)
          missing += missing.empty () ? f : std::string (", ") + f;
      }
    lilv_nodes_free (required);
    if (!missing.empty ())
      return "needs features this host lacks: " + missing;

    instance = lilv_plugin_instantiate (plugin, RATE, features);
    if (!instance)
      return "did not instantiate";
    worker.handle = lilv_instance_get_handle (instance);
    worker.iface = static_cast<const LV2_Worker_Interface *> (
      lilv_instance_get_extension_data (instance, LV2_WORKER__interface));

    connect_ports ();
    if (!row.preset.empty ())
      if (std::string problem = restore_preset (row.preset); !problem.empty ())
        return problem;
    lilv_instance_activate (instance);
    return {};
  }

  void connect_ports ()
  {
    LilvWorld *w = host.world;
    LilvNode *audio_class = lilv_new_uri (w, LV2_CORE__AudioPort);
    LilvNode *cv_class = lilv_new_uri (w, LV2_CORE__CVPort);
    LilvNode *control_class = lilv_new_uri (w, LV2_CORE__ControlPort);
    LilvNode *atom_class = lilv_new_uri (w, LV2_ATOM__AtomPort);
    LilvNode *input_class = lilv_new_uri (w, LV2_CORE__InputPort);
    const uint32_t n = lilv_plugin_get_num_ports (plugin);
    std::vector<float> defaults (n, 0.0f);
    lilv_plugin_get_port_ranges_float (plugin, nullptr, nullptr, defaults.data ());
    controls.assign (n, 0.0f);
    audio.assign (n, {});
    atoms.assign (n, {});
    for (uint32_t p = 0; p < n; p++)
      {
        const LilvPort *port = lilv_plugin_get_port_by_index (plugin, p);
        by_symbol[lilv_node_as_string (lilv_port_get_symbol (plugin, port))] = p;
        const bool input = lilv_port_is_a (plugin, port, input_class);
        if (lilv_port_is_a (plugin, port, audio_class) || lilv_port_is_a (plugin, port, cv_class))
          {
            audio[p].assign (BLOCK, 0.0f);
            lilv_instance_connect_port (instance, p, audio[p].data ());
            if (!input && lilv_port_is_a (plugin, port, audio_class))
              outputs.push_back (p);
          }
        else if (lilv_port_is_a (plugin, port, atom_class))
          {
            atoms[p].assign (ATOM_ROOM / sizeof (uint64_t), 0);
            lilv_instance_connect_port (instance, p, atoms[p].data ());
            if (input)
              midi_in.push_back (p);
          }
        else
          {
            controls[p] = std::isnan (defaults[p]) ? 0.0f : defaults[p];
            lilv_instance_connect_port (instance, p, &controls[p]);
          }
        (void) control_class;
      }
    for (LilvNode *node : { audio_class, cv_class, control_class, atom_class, input_class })
      lilv_node_free (node);
  }

  static void set_port (const char *symbol, void *data, const void *value, uint32_t size, uint32_t type)
  {
    auto *self = static_cast<Instance *> (data);
    auto it = self->by_symbol.find (symbol);
    if (it == self->by_symbol.end () || size != sizeof (float)
        || type != self->host.map.map (&self->host.urids, LV2_ATOM__Float))
      return;
    memcpy (&self->controls[it->second], value, sizeof (float));
  }

  /* Finds the preset labelled @label among the plugin's and restores it. */
  std::string restore_preset (const std::string &label)
  {
    LilvWorld *w = host.world;
    LilvNode *preset_class = lilv_new_uri (w, LV2_PRESETS__Preset);
    LilvNode *rdfs_label = lilv_new_uri (w, "http://www.w3.org/2000/01/rdf-schema#label");
    LilvNodes *presets = lilv_plugin_get_related (plugin, preset_class);
    std::string found;
    LILV_FOREACH (nodes, i, presets)
      {
        const LilvNode *preset = lilv_nodes_get (presets, i);
        lilv_world_load_resource (w, preset);
        LilvNodes *labels = lilv_world_find_nodes (w, preset, rdfs_label, nullptr);
        if (labels && lilv_nodes_size (labels) && label == lilv_node_as_string (lilv_nodes_get_first (labels)))
          found = lilv_node_as_uri (preset);
        lilv_nodes_free (labels);
      }
    lilv_nodes_free (presets);
    lilv_node_free (preset_class);
    lilv_node_free (rdfs_label);
    if (found.empty ())
      return "has no preset \"" + label + "\"";
    LilvNode *uri = lilv_new_uri (w, found.c_str ());
    LilvState *state = lilv_state_new_from_world (w, &host.map, uri);
    lilv_node_free (uri);
    if (!state)
      return "cannot read preset \"" + label + "\"";
    LV2_Feature f_map{ LV2_URID__map, &host.map }, f_sched{ LV2_WORKER__schedule, &schedule };
    const LV2_Feature *features[] = { &f_map, &f_sched, nullptr };
    lilv_state_restore (state, instance, set_port, this, 0, features);
    lilv_state_free (state);
    worker.deliver ();
    return {};
  }

  /* Fills the atom inputs with @events (MIDI, at frame 0) and makes room in
   * the outputs; the host does this before every run(). */
  void prepare_atoms (const std::vector<std::array<uint8_t, 3>> &events)
  {
    const LV2_URID chunk = host.map.map (&host.urids, LV2_ATOM__Chunk);
    const LV2_URID sequence = host.map.map (&host.urids, LV2_ATOM__Sequence);
    const LV2_URID midi = host.map.map (&host.urids, LV2_MIDI__MidiEvent);
    for (size_t p = 0; p < atoms.size (); p++)
      {
        if (atoms[p].empty ())
          continue;
        auto *seq = reinterpret_cast<LV2_Atom_Sequence *> (atoms[p].data ());
        if (std::find (midi_in.begin (), midi_in.end (), p) == midi_in.end ())
          {
            seq->atom = { uint32_t (ATOM_ROOM - sizeof (LV2_Atom)), chunk };
            continue;
          }
        seq->atom = { sizeof (LV2_Atom_Sequence_Body), sequence };
        seq->body = { 0, 0 };
        for (const auto &e : events)
          {
            struct {
              LV2_Atom_Event head;
              uint8_t msg[3];
            } ev{ { { 0 }, { 3, midi } }, { e[0], e[1], e[2] } };
            lv2_atom_sequence_append_event (seq, ATOM_ROOM, &ev.head);
          }
      }
  }
};

double
cpu_seconds (clockid_t clock)
{
  timespec t;
  clock_gettime (clock, &t);
  return double (t.tv_sec) + 1e-9 * double (t.tv_nsec);
}

struct Result {
  double cpu_per_voice = NAN;  /* CPU seconds per audio second per voice */
  double process_share = NAN;  /* the whole process's CPU over the rendering thread's */
  float peak = 0;
  std::string problem;
};

Result
measure (Host &host, const Row &row, int voices, double seconds)
{
  Result r;
  Instance inst (host);
  r.problem = inst.open (row);
  if (!r.problem.empty ())
    return r;
  if (inst.midi_in.empty () || inst.outputs.empty ())
    return r.problem = "has no MIDI input or no audio output", r;
  /* Keys spread over five octaves from C2, distinct up to 60 voices. */
  std::vector<std::array<uint8_t, 3>> on;
  for (int v = 0; v < voices; v++)
    on.push_back ({ 0x90, uint8_t (36 + v * 60 / voices), 100 });
  const uint64_t blocks = uint64_t (seconds * RATE / BLOCK);
  double cpu = 0;
  const double process0 = cpu_seconds (CLOCK_PROCESS_CPUTIME_ID);
  for (uint64_t b = 0; b < blocks; b++)
    {
      inst.prepare_atoms (b == 0 ? on : std::vector<std::array<uint8_t, 3>> ());
      const double t0 = cpu_seconds (CLOCK_THREAD_CPUTIME_ID);
      lilv_instance_run (inst.instance, BLOCK);
      inst.worker.deliver ();
      cpu += cpu_seconds (CLOCK_THREAD_CPUTIME_ID) - t0;
      /* Past the attacks: every voice sounds. */
      if (b * BLOCK >= RATE / 2)
        for (uint32_t p : inst.outputs)
          for (float x : inst.audio[p])
            r.peak = std::max (r.peak, std::fabs (x));
    }
  r.cpu_per_voice = cpu / (double (blocks * BLOCK) / RATE) / voices;
  /* Other threads of the plugin's (or the host's bookkeeping) show here. */
  r.process_share = (cpu_seconds (CLOCK_PROCESS_CPUTIME_ID) - process0) / cpu;
  return r;
}

} // namespace

int
main (int argc, char **argv)
{
#if defined(__SSE__)
  /* Flush-to-zero and denormals-are-zero, as hosts set on their audio threads. */
  _mm_setcsr (_mm_getcsr () | 0x8040);
#endif
  /* synthv1 starts Qt when instantiated, window or not. */
  g_setenv ("QT_QPA_PLATFORM", "offscreen", FALSE);
  const std::string lv2_path = g_getenv ("LV2_PATH") ? g_getenv ("LV2_PATH") : "/usr/lib/lv2";
  g_setenv ("LV2_PATH", (std::string (BUILD_ROOT) + "/lv2:" + lv2_path).c_str (), TRUE);

  double seconds = 10;
  std::vector<int> voice_counts = { 1, 8, 32 };
  std::vector<Row> rows;
  for (int i = 1; i < argc; i++)
    if (strcmp (argv[i], "--voices") == 0 && i + 1 < argc)
      {
        voice_counts.clear ();
        g_auto (GStrv) parts = g_strsplit (argv[++i], ",", -1);
        for (char **p = parts; *p; p++)
          voice_counts.push_back (std::max (1, atoi (*p)));
      }
    else if (strcmp (argv[i], "--plugin") == 0 && i + 1 < argc)
      {
        std::string spec = argv[++i];
        const size_t eq = spec.find ('='), hash = spec.find ('#', eq == std::string::npos ? 0 : eq);
        if (eq == std::string::npos)
          return fprintf (stderr, "bench-lv2-cpu: --plugin takes LABEL=URI[#PRESET]\n"), 2;
        rows.push_back ({ spec.substr (0, eq), spec.substr (eq + 1, hash == std::string::npos ? hash : hash - eq - 1),
                          hash == std::string::npos ? "" : spec.substr (hash + 1) });
      }
    else if (g_ascii_isdigit (argv[i][0]))
      seconds = std::max (0.1, atof (argv[i]));
    else
      return fprintf (stderr, "bench-lv2-cpu: unknown argument %s\n", argv[i]), 2;
  const bool defaults = rows.empty ();
  if (defaults)
    rows = { { "Zelmora (default instrument)", "urn:zelmora:synth", "" },
             { "Zelmora (Organic)", "urn:zelmora:synth", "Organic" },
             { "synthv1", "http://synthv1.sourceforge.net/lv2", "" },
             { "ZynAddSubFX", "http://zynaddsubfx.sourceforge.net", "" } };

  Host host;
  host.world = lilv_world_new ();
  lilv_world_load_all (host.world);

  printf ("CPU seconds per audio second per voice (rendering thread, x 1e-3), 48000 Hz, blocks of %u, "
          "%.0f s per cell\n",
          BLOCK, seconds);
  printf ("%-34s", "plugin");
  for (int v : voice_counts)
    printf (" %9d v", v);
  printf ("    peak  process/thread\n");
  std::vector<std::vector<double>> table;
  for (const Row &row : rows)
    {
      /* The line is printed whole: plugins write to stdout too. */
      g_autofree char *head = g_strdup_printf ("%-34s", row.label.c_str ());
      std::string line = head;
      std::vector<double> cells;
      float peak = 0;
      double share = NAN;
      std::string problem;
      for (int v : voice_counts)
        {
          const Result r = measure (host, row, v, seconds);
          problem = r.problem;
          if (!problem.empty ())
            break;
          cells.push_back (r.cpu_per_voice);
          peak = std::max (peak, r.peak);
          share = r.process_share;
          g_autofree char *cell = g_strdup_printf (" %11.4f", 1e3 * r.cpu_per_voice);
          line += cell;
        }
      g_autofree char *tail = problem.empty () ? g_strdup_printf ("   %5.2f  %6.2f", double (peak), share)
                                               : g_strdup_printf ("  %s", problem.c_str ());
      printf ("%s%s\n", line.c_str (), tail);
      fflush (stdout);
      cells.resize (voice_counts.size (), NAN);
      table.push_back (cells);
    }

  if (defaults)
    {
      printf ("\n%-34s", "ratio");
      for (int v : voice_counts)
        printf (" %9d v", v);
      printf ("\n");
      const char *names[] = { "Zelmora / synthv1", "Zelmora / ZynAddSubFX" };
      for (size_t zel : { size_t (0), size_t (1) })
        for (size_t other : { size_t (2), size_t (3) })
          {
            printf ("%-34s", (std::string (names[other - 2]) + (zel ? " (Organic)" : "")).c_str ());
            for (size_t c = 0; c < voice_counts.size (); c++)
              printf (" %11.2f", table[zel][c] / table[other][c]);
            printf ("\n");
          }
    }
  lilv_world_free (host.world);
  return 0;
}
