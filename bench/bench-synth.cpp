/* bench-synth.cpp: how many voices of the default instrument one core renders
 * in real time at 48 kHz
 *
 * A started CPU synthesizer on one core renders 256-frame requests through
 * its interleaved render function, as the audio callback does, once without
 * voices and once with VOICES sounding notes, in both formats and with every
 * instruction set the processor has.  The cost of one voice is the
 * difference divided by VOICES; voices per core is the time one frame may
 * take (1/48000 s) less the empty master's cost, divided by that. */
#include "vornadel.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr guint FRAMES = 256;
constexpr guint VOICES = 32;
constexpr double RATE = 48000.0;

const char *const simd_names[] = { "SSE2", "AVX", "AVX2" };

void
render (benchmark::State &state, VornFormat fmt, int simd, guint voices)
{
  if (simd > int (vorn_util_cpu_detect ()))
    {
      state.SkipWithError ("instruction set not available");
      return;
    }
  VornSynth *synth = vorn_synth_cpu_new ();
  g_object_set (synth, "audio-format", fmt, "simd", VornSimd (simd), "cores", 1u,
                "sample-rate", RATE, "max-voices", 200u, nullptr);
  vorn_synth_start (synth);
  VornInst *inst = vorn_inst_new_default ();
  vorn_synth_set_inst (synth, 0, inst);
  for (guint v = 0; v < voices; v++)
    vorn_synth_note_on (synth, 0, v, 0, guint8 (36 + v % 48), 100, nullptr);

  gpointer split, inter;
  vorn_synth_get_render_funcs (synth, &split, &inter);
  auto *slot = static_cast<VornSynthCpuInterFunc *> (inter);
  std::vector<float> out (FRAMES * 2);
  (*slot) (synth, out.data (), FRAMES); /* attach the voices */

  for (auto _ : state)
    {
      (*slot) (synth, out.data (), FRAMES);
      benchmark::ClobberMemory ();
    }
  state.counters["t/frame"] = benchmark::Counter (
      double (state.iterations ()) * FRAMES, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);

  vorn_synth_stop (synth);
  while (VornSynthMsg *msg = vorn_synth_get_message (synth))
    vorn_synth_msg_free (msg);
  g_object_unref (inst);
  g_object_unref (synth);
}

std::string
bench_name (VornFormat fmt, int simd, guint voices)
{
  return std::string (fmt == VORN_FORMAT_SINGLE ? "single/" : "double/") + simd_names[simd] + "/"
         + std::to_string (voices) + "_voices";
}

/* Collects nanoseconds per frame of every run for the table. */
class Collector : public benchmark::ConsoleReporter
{
public:
  std::map<std::string, double> ns;

  void ReportRuns (const std::vector<Run> &runs) override
  {
    for (const Run &r : runs)
      if (!r.error_occurred && r.iterations > 0)
        ns[r.benchmark_name ()] = r.GetAdjustedCPUTime () * 1e3 / FRAMES; /* us per call */
    ConsoleReporter::ReportRuns (runs);
  }
};

} // namespace

int
main (int argc, char **argv)
{
  vorn_init ("Zelmora 0.9.0");
  vorn_util_set_ftz_daz ();

  for (VornFormat fmt : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    for (int simd = 0; simd <= 2; simd++)
      for (guint voices : { 0u, VOICES })
        benchmark::RegisterBenchmark (bench_name (fmt, simd, voices).c_str (),
                                      [=] (benchmark::State &s) { render (s, fmt, simd, voices); })
            ->Unit (benchmark::kMicrosecond);

  benchmark::Initialize (&argc, argv);
  Collector collector;
  benchmark::RunSpecifiedBenchmarks (&collector);

  const double budget = 1e9 / RATE;
  printf ("\n%-7s %-5s %14s %14s %16s\n", "format", "simd", "master ns/frm", "voice ns/frm",
          "voices per core");
  for (VornFormat fmt : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    for (int simd = 0; simd <= 2; simd++)
      {
        const auto empty = collector.ns.find (bench_name (fmt, simd, 0));
        const auto full = collector.ns.find (bench_name (fmt, simd, VOICES));
        if (empty == collector.ns.end () || full == collector.ns.end ())
          continue;
        const double voice = (full->second - empty->second) / VOICES;
        printf ("%-7s %-5s %14.1f %14.1f %16.0f\n", fmt == VORN_FORMAT_SINGLE ? "single" : "double",
                simd_names[simd], empty->second, voice,
                voice > 0 ? (budget - empty->second) / voice : 0.0);
      }
  benchmark::Shutdown ();
  return 0;
}
