/* bench-synth.cpp: how many voices of an instrument one core renders in real
 * time at 48 kHz
 *
 * A started CPU synthesizer on one core renders 256-frame requests through
 * its interleaved render function, as the audio callback does, once without
 * voices and once with VOICES sounding notes of each instrument below, in
 * both formats and with every instruction set the processor has.  The cost
 * of one voice is the difference divided by VOICES; voices per core is the
 * time one frame may take (1/48000 s) less the empty master's cost, divided
 * by that.  Each instrument's voice cost is also given relative to the plain
 * one of the same format and instruction set, measured in the same run.
 *
 * Instruments (all with the default attack and a waiting release envelope):
 *   plain     the default instrument: one sine oscillator
 *   filtered  the oscillator through a low-pass biquad whose cutoff (2 kHz)
 *             and Q (0.707) come from control waves: constant, so the
 *             filter computes its coefficients once and reuses them
 *   swept     the same low-pass with its cutoff swept 500..3500 Hz by a
 *             5 Hz sine wave: coefficients are recomputed every sample,
 *             the worst case of the filter (the modulating wave's own cost
 *             is included)
 *   noise     xorshift noise scaled by the envelope instead of the
 *             oscillator, through the fixed 2 kHz low-pass
 *
 * Multi-core rows (names starting "cores/"): the plain instrument with 1, 8,
 * 64 and 256 voices on "cores" 1 and 2, single format, best instruction
 * set, timed on the wall clock (the render thread waits for the workers, so
 * its processor time says nothing).  The closing table gives the time per
 * 64-frame fragment on each core count and their ratio.  Run only these
 * rows with --benchmark_filter=cores.
 *
 * With --benchmark_repetitions=N both tables use the medians, which a
 * noisy machine needs for figures that repeat to a tenth of a
 * nanosecond. */
#include "vornadel.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr guint FRAMES = 256;
constexpr guint VOICES = 32;
constexpr double RATE = 48000.0;
constexpr double CUTOFF = 2000.0;
constexpr double Q = 0.707;

const char *const simd_names[] = { "SSE2", "AVX", "AVX2", "AVX512" };

enum class Kind { PLAIN, FILTERED, SWEPT, NOISE };
constexpr Kind kinds[] = { Kind::PLAIN, Kind::FILTERED, Kind::SWEPT, Kind::NOISE };
const char *const kind_names[] = { "plain", "filtered", "swept", "noise" };

/* Inserts a new node (whose reference the instrument takes over) at
 * position as vorn_node_insert() counts it. */
void
add (VornInst *inst, gpointer node, int position)
{
  vorn_node_insert (VORN_NODE (inst), VORN_NODE (node), position);
  g_object_unref (node);
}

/* The default instrument's children come in the order attack, release,
 * oscillator: the cutoff and Q sources go in front of them, the filter
 * after the oscillator (or the noise that replaces it). */
VornInst *
make_inst (Kind kind)
{
  VornInst *inst = vorn_inst_new_default ();
  if (kind == Kind::PLAIN)
    return inst;

  if (kind == Kind::NOISE)
    {
      VornNode *osc = VORN_NODE (inst)->children;
      while (osc->next)
        osc = osc->next;
      vorn_node_unlink (osc);
      VornFilterNoise *noise = vorn_filter_noise_new ();
      g_object_set (noise, "y-scale", 0.5, nullptr);
      add (inst, noise, -1);
    }

  if (kind == Kind::SWEPT)
    {
      VornWave *lfo = vorn_wave_new_from_preset (VORN_WAVE_PRESET_SIGNAL_SINE);
      g_object_set (lfo, "name", "Cutoff sweep", "x-attrib", VORN_ATTRIB_TYPE_TIME, "x-scale", 5.0,
                    "y-attrib", VORN_ATTRIB_TYPE_NONE, "y-scale", 1500.0, "y-ofs", CUTOFF,
                    "dest-attrib", VORN_ATTRIB_TYPE_EFFECT1, "dest-op", VORN_WAVE_OP_SET, nullptr);
      add (inst, lfo, 0);
    }
  else
    add (inst, vorn_wave_new_control ("Cutoff", VORN_ATTRIB_TYPE_EFFECT1, VORN_WAVE_OP_SET, CUTOFF), 0);
  add (inst, vorn_wave_new_control ("Q", VORN_ATTRIB_TYPE_EFFECT2, VORN_WAVE_OP_SET, Q), 1);

  VornFilterRbjLowpass *filter = vorn_filter_rbj_lowpass_new ();
  g_object_set (filter, "freq-attrib", VORN_ATTRIB_TYPE_EFFECT1, "q-attrib", VORN_ATTRIB_TYPE_EFFECT2,
                nullptr);
  add (inst, filter, -1);
  return inst;
}

void
render (benchmark::State &state, VornFormat fmt, int simd, guint voices, Kind kind, guint cores = 1)
{
  VornSynth *synth = vorn_synth_cpu_new ();
  g_object_set (synth, "audio-format", fmt, "simd", VornSimd (simd), "cores", cores,
                "sample-rate", RATE, "max-voices", MAX (200u, voices), nullptr);
  vorn_synth_start (synth, nullptr);
  VornInst *inst = make_inst (kind);
  vorn_synth_set_inst (synth, 0, inst);
  for (guint v = 0; v < voices; v++)
    vorn_synth_note_on (synth, 0, v, 0, guint8 (36 + v % 48), 100, nullptr);

  std::vector<float> out (FRAMES * 2);
  vorn_synth_render_interleaved (synth, out.data (), FRAMES); /* attach the voices */

  for (auto _ : state)
    {
      vorn_synth_render_interleaved (synth, out.data (), FRAMES);
      benchmark::ClobberMemory ();
    }
  state.counters["t/frame"] = benchmark::Counter (
      double (state.iterations ()) * FRAMES, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);

  /* A figure is only worth something if the instrument really sounded. */
  bool heard = false, finite = true;
  for (float v : out)
    {
      heard |= v != 0.0f;
      finite &= std::isfinite (v);
    }
  if (voices > 0 && (!heard || !finite))
    state.SkipWithError (finite ? "the voices rendered silence" : "the voices rendered non-finite samples");

  vorn_synth_stop (synth);
  while (VornSynthMsg *msg = vorn_synth_get_message (synth))
    vorn_synth_msg_free (msg);
  g_object_unref (inst);
  g_object_unref (synth);
}

std::string
prefix (VornFormat fmt, int simd)
{
  return std::string (fmt == VORN_FORMAT_SINGLE ? "single/" : "double/") + simd_names[simd] + "/";
}

std::string
master_name (VornFormat fmt, int simd)
{
  return prefix (fmt, simd) + "master";
}

std::string
voices_name (VornFormat fmt, int simd, Kind kind)
{
  return prefix (fmt, simd) + kind_names[int (kind)] + "/" + std::to_string (VOICES) + "_voices";
}

constexpr guint CORE_VOICES[] = { 1, 8, 64, 256 };
constexpr guint FRAGMENT = 64;

std::string
cores_name (guint voices, guint cores)
{
  return "cores/" + std::to_string (voices) + "_voices/" + std::to_string (cores) + "_cores";
}

/* Puts the per-voice figures into the table.  The runs arrive in
 * registration order, so the empty master and the plain instrument of a
 * format and instruction set are known when its other instruments report. */
class Collector : public benchmark::ConsoleReporter
{
public:
  std::map<std::string, double> ns; /* nanoseconds per frame, whole render */
  std::map<std::string, double> wall_ns; /* multi-core rows: wall-clock ns per frame */

  explicit Collector (OutputOptions options) : ConsoleReporter (options) {}

  double voice_ns (VornFormat fmt, int simd, Kind kind) const
  {
    const auto empty = ns.find (master_name (fmt, simd));
    const auto full = ns.find (voices_name (fmt, simd, kind));
    if (empty == ns.end () || full == ns.end ())
      return 0.0;
    return (full->second - empty->second) / VOICES;
  }

  double voices_per_core (VornFormat fmt, int simd, Kind kind) const
  {
    const double voice = voice_ns (fmt, simd, kind);
    return voice > 0 ? (1e9 / RATE - ns.at (master_name (fmt, simd))) / voice : 0.0;
  }

  void ReportRuns (const std::vector<Run> &runs) override
  {
    std::vector<Run> shown (runs);
    for (Run &r : shown)
      {
        if (r.error_occurred || r.iterations == 0)
          continue;
        const std::string name = r.benchmark_name ();
        if (name.rfind ("cores/", 0) == 0)
          {
            /* Repetitions report the runs, then their median. */
            if (r.run_type == Run::RT_Iteration || r.aggregate_name == "median")
              wall_ns[r.run_name.function_name] = r.GetAdjustedRealTime () * 1e3 / FRAMES;
            continue;
          }
        /* With repetitions, the median (reported after the runs). */
        if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median")
          continue;
        ns[name] = r.GetAdjustedCPUTime () * 1e3 / FRAMES; /* us per call */
        for (VornFormat fmt : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
          for (int simd = 0; simd <= int (VORN_SIMD_AVX512); simd++)
            for (Kind kind : kinds)
              if (name == voices_name (fmt, simd, kind))
                {
                  const double voice = voice_ns (fmt, simd, kind);
                  const double plain = voice_ns (fmt, simd, Kind::PLAIN);
                  if (voice <= 0)
                    continue;
                  r.counters["ns/frm/voice"] = voice;
                  r.counters["voices/core"] = voices_per_core (fmt, simd, kind);
                  if (plain > 0)
                    r.counters["x_plain"] = voice / plain;
                }
      }
    ConsoleReporter::ReportRuns (shown);
  }
};

} // namespace

int
main (int argc, char **argv)
{
  vorn_init ("Zelmora 0.9.0");
  vorn_util_set_ftz_daz ();

  /* Every empty master first: the table's columns change only once. */
  const int top = int (vorn_util_cpu_detect ());
  for (VornFormat fmt : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    for (int simd = 0; simd <= top; simd++)
      benchmark::RegisterBenchmark (master_name (fmt, simd).c_str (), [=] (benchmark::State &s) {
        render (s, fmt, simd, 0, Kind::PLAIN);
      })->Unit (benchmark::kMicrosecond);
  for (VornFormat fmt : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    for (int simd = 0; simd <= top; simd++)
      for (Kind kind : kinds)
        benchmark::RegisterBenchmark (voices_name (fmt, simd, kind).c_str (),
                                      [=] (benchmark::State &s) { render (s, fmt, simd, VOICES, kind); })
            ->Unit (benchmark::kMicrosecond);

  /* Both core counts of a voice count one after the other, so that a slow
   * patch of a noisy machine hits the pair rather than one of them. */
  for (guint voices : CORE_VOICES)
    for (guint cores : { 1u, 2u })
      benchmark::RegisterBenchmark (cores_name (voices, cores).c_str (), [=] (benchmark::State &s) {
        render (s, VORN_FORMAT_SINGLE, top, voices, Kind::PLAIN, cores);
      })->Unit (benchmark::kMicrosecond)->UseRealTime ();

  benchmark::Initialize (&argc, argv);
  Collector collector (isatty (fileno (stdout)) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks (&collector);

  printf ("\nPer voice, %u voices, one core, %u-frame requests at %.0f Hz\n", VOICES, FRAMES, RATE);
  printf ("%-7s %-6s %-9s %13s %12s %16s %8s\n", "format", "simd", "instr", "master ns/frm",
          "voice ns/frm", "voices per core", "x plain");
  for (VornFormat fmt : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    for (int simd = 0; simd <= top; simd++)
      for (Kind kind : kinds)
        {
          const double voice = collector.voice_ns (fmt, simd, kind);
          if (voice <= 0)
            continue;
          const double plain = collector.voice_ns (fmt, simd, Kind::PLAIN);
          printf ("%-7s %-6s %-9s %13.1f %12.1f %16.0f", fmt == VORN_FORMAT_SINGLE ? "single" : "double",
                  simd_names[simd], kind_names[int (kind)], collector.ns.at (master_name (fmt, simd)),
                  voice, collector.voices_per_core (fmt, simd, kind));
          if (plain > 0)
            printf (" %8.2f", voice / plain);
          printf ("\n");
        }
  bool cores_shown = false;
  for (guint voices : CORE_VOICES)
    {
      const auto one = collector.wall_ns.find (cores_name (voices, 1));
      const auto two = collector.wall_ns.find (cores_name (voices, 2));
      if (one == collector.wall_ns.end () || two == collector.wall_ns.end ())
        continue;
      if (!cores_shown)
        {
          printf ("\nPlain voices on 1 and 2 cores, single %s, wall clock per %u-frame fragment\n",
                  simd_names[top], FRAGMENT);
          printf ("%6s %13s %13s %16s %16s %10s\n", "voices", "1 core us", "2 cores us",
                  "1 core ns/frm/v", "2 cores ns/frm/v", "1 / 2");
          cores_shown = true;
        }
      printf ("%6u %13.2f %13.2f %16.2f %16.2f %10.2f\n", voices, one->second * FRAGMENT / 1e3,
              two->second * FRAGMENT / 1e3, one->second / voices, two->second / voices,
              one->second / two->second);
    }
  benchmark::Shutdown ();
  return 0;
}
