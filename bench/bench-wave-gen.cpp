/* bench-wave-gen.cpp: cost per sample of the wave generator's render
 * variants against the same algorithm built as plain scalar code
 *
 * Two waves: a 440 Hz oscillator (the sine preset, 4 Bezier points, written
 * straight to its output) and an envelope (the volume attack preset: a
 * 2-point rise on the straight-line short cut, multiplied into the volume in
 * decibels; looped here so that it never settles on a constant).  Each runs
 * in the scalar build and in every variant the processor supports, in both
 * formats; the table at the end gives nanoseconds per sample and the
 * speed-up of each variant over the scalar build of its format. */
#include "vornadel.h"

#include "kernels/vorn-wave-gen-scalar.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int FRAG = 64;

enum class Wave { OSC, ENV };

const char *const simd_names[] = { "SSE2", "AVX", "AVX2", "AVX512" };

/* A generator on a stopped synthesizer, with its records bound. */
struct Rig
{
  VornSynth *synth = nullptr;
  VornQueue *queue = nullptr;
  VornWave *wave = nullptr;
  VornGen *gen = nullptr;
  VornAttribVal vals[5] = {};
  void *bufs[5] = {};

  Rig (Wave kind, VornFormat fmt, int simd)
  {
    synth = vorn_synth_cpu_new ();
    g_object_set (synth, "audio-format", fmt, "simd", simd < 0 ? VORN_SIMD_SSE2 : VornSimd (simd), nullptr);
    g_autoptr (VornNode) root = vorn_node_new ();
    queue = vorn_queue_new (root, synth);

    if (kind == Wave::OSC)
      wave = vorn_wave_new_from_preset (VORN_WAVE_PRESET_SIGNAL_SINE);
    else
      {
        wave = vorn_wave_new_from_preset (VORN_WAVE_PRESET_VOLUME_ATTACK);
        g_object_set (wave, "play-mode", VORN_WAVE_PLAY_MODE_LOOP, nullptr);
      }
    gen = vorn_node_create_gen (VORN_NODE (wave), queue);
    if (simd < 0)
      gen->render = fmt == VORN_FORMAT_SINGLE ? vorn_wave_gen_render_scalar_F
                                              : vorn_wave_gen_render_scalar_D;

    /* x: the pitch (cycles per sample at 440 Hz after "x-scale") or a time
     * step of 0.2 s per curve; y fixed 1; the destination fixed (0 for the
     * added signal, 0.8 for the multiplied volume). */
    const double x = kind == Wave::OSC ? 1.0 / 48000.0 : 1.0 / (48000.0 * 0.2 * 100.0);
    const double d = kind == Wave::OSC ? 0.0 : 0.8;
    const double init[5] = { x, 1.0, d, 0.0, 0.0 };
    for (int i = 0; i < 5; i++)
      {
        bufs[i] = vorn_util_alloc_aligned (FRAG * sizeof (double));
        if (fmt == VORN_FORMAT_SINGLE)
          vorn_attrib_val_init_float (&vals[i], bufs[i], float (init[i]));
        else
          vorn_attrib_val_init_double (&vals[i], bufs[i], init[i]);
        vals[i].state = i == 0 ? VORN_ATTRIB_STATE_CONST : VORN_ATTRIB_STATE_FIXED;
        gen->attrib_vals[i] = &vals[i];
      }
    if (gen->attribs[VORN_WAVE_GEN_SLOT_DEST] == VORN_ATTRIB_TYPE_NONE)
      gen->attrib_vals[VORN_WAVE_GEN_SLOT_DEST] = nullptr;
  }

  ~Rig ()
  {
    g_clear_object (&gen);
    g_clear_object (&queue);
    g_clear_object (&wave);
    g_clear_object (&synth);
    for (void *b : bufs)
      vorn_util_free_aligned (b);
  }
};

void
render (benchmark::State &state, Wave kind, VornFormat fmt, int simd)
{
  if (simd > int (vorn_util_cpu_detect ()))
    {
      state.SkipWithError ("instruction set not available");
      return;
    }
  Rig rig (kind, fmt, simd);
  VornGen *gen = rig.gen;
  for (auto _ : state)
    {
      benchmark::DoNotOptimize (gen->render (gen));
      benchmark::ClobberMemory ();
    }
  state.SetItemsProcessed (state.iterations () * FRAG);
  state.counters["t/sample"] = benchmark::Counter (
      double (state.iterations ()) * FRAG, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

std::string
bench_name (Wave kind, VornFormat fmt, int simd)
{
  return std::string (kind == Wave::OSC ? "oscillator/" : "envelope/")
         + (simd < 0 ? "scalar" : simd_names[simd]) + (fmt == VORN_FORMAT_SINGLE ? "_F" : "_D");
}

/* Collects nanoseconds per sample of every run for the ratio table. */
class Collector : public benchmark::ConsoleReporter
{
public:
  std::map<std::string, double> ns;

  void ReportRuns (const std::vector<Run> &runs) override
  {
    for (const Run &r : runs)
      if (!r.error_occurred && r.iterations > 0)
        ns[r.benchmark_name ()] = r.GetAdjustedRealTime () / FRAG;
    ConsoleReporter::ReportRuns (runs);
  }
};

} // namespace

int
main (int argc, char **argv)
{
  vorn_init ("Zelmora 0.9.0");
  vorn_util_set_ftz_daz ();

  for (Wave kind : { Wave::OSC, Wave::ENV })
    for (VornFormat fmt : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
      for (int simd = -1; simd <= int (VORN_SIMD_AVX512); simd++)
        benchmark::RegisterBenchmark (bench_name (kind, fmt, simd).c_str (),
                                      [=] (benchmark::State &s) { render (s, kind, fmt, simd); })
            ->Unit (benchmark::kNanosecond);

  benchmark::Initialize (&argc, argv);
  Collector collector;
  benchmark::RunSpecifiedBenchmarks (&collector);

  printf ("\n%-12s %-9s %12s %10s\n", "wave", "variant", "ns/sample", "speed-up");
  for (Wave kind : { Wave::OSC, Wave::ENV })
    for (VornFormat fmt : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
      {
        const auto ref = collector.ns.find (bench_name (kind, fmt, -1));
        for (int simd = -1; simd <= int (VORN_SIMD_AVX512); simd++)
          {
            const auto it = collector.ns.find (bench_name (kind, fmt, simd));
            if (it == collector.ns.end ())
              continue;
            const std::string name = bench_name (kind, fmt, simd);
            const size_t slash = name.find ('/');
            printf ("%-12s %-9s %12.2f", name.substr (0, slash).c_str (),
                    name.substr (slash + 1).c_str (), it->second);
            if (ref != collector.ns.end () && it->second > 0)
              printf (" %9.2fx", ref->second / it->second);
            printf ("\n");
          }
      }
  benchmark::Shutdown ();
  return 0;
}
