/* bench-curve-cache.cpp: cost per sample of rendering a curve cache
 *
 * A one-period sine of four Bezier points is rendered in single and double
 * format, in 64-sample fragments (a voice at about 690 Hz at 44.1 kHz walks
 * one period in that many fragments) and as one long run over the period.
 * Prints nanoseconds per sample and the single/double ratio. */
#include "vornadel.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

VornCurve *
sine_curve ()
{
  const double s = 2.0 * G_PI / 12.0;
  const double xs[10] = {0, 1.0 / 12, 1.0 / 6, 0.25, 1.0 / 3, 2.0 / 3, 0.75, 5.0 / 6, 11.0 / 12, 1};
  const double ys[10] = {0, s, 1, 1, 1, -1, -1, -1, -s, 0};
  VornCurve *c = vorn_curve_new (4);
  for (int k = 0; k < 10; k++)
    {
      c->xcoords[k] = xs[k];
      c->ycoords[k] = ys[k];
    }
  return c;
}

void
render_fragments (benchmark::State &state, VornFormat fmt)
{
  const int frag = int (state.range (0));
  const int frags_per_period = int (state.range (1));
  VornCurve *curve = sine_curve ();
  VornCurveCache *cache = vorn_curve_cache_get (curve, fmt);
  std::vector<double> out (size_t (frag) + 64);
  const double width = 1.0 / frags_per_period;
  int f = 0;

  for (auto _ : state)
    {
      /* Each fragment covers the next slice of the period. */
      vorn_curve_cache_render (cache, out.data (), frag, width * (frag - 1) / frag,
                               f * width);
      benchmark::DoNotOptimize (out.data ());
      benchmark::ClobberMemory ();
      if (++f == frags_per_period)
        f = 0;
    }
  state.SetItemsProcessed (state.iterations () * frag);
  /* Seconds per sample (shown with an "n" prefix). */
  state.counters["t/sample"] = benchmark::Counter (
      double (state.iterations ()) * frag,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);

  g_object_unref (cache);
  vorn_curve_cache_invalidate (curve, fmt);
  g_object_unref (curve);
}

void
BM_RenderSingle (benchmark::State &state)
{
  render_fragments (state, VORN_FORMAT_SINGLE);
}

void
BM_RenderDouble (benchmark::State &state)
{
  render_fragments (state, VORN_FORMAT_DOUBLE);
}

/* (samples per call, calls per period) */
BENCHMARK (BM_RenderSingle)->Args ({64, 1})->Args ({64, 16})->Args ({4096, 1});
BENCHMARK (BM_RenderDouble)->Args ({64, 1})->Args ({64, 16})->Args ({4096, 1});

/* Keeps each run's ns/sample so that the ratios come from this one run. */
class RatioReporter : public benchmark::ConsoleReporter
{
public:
  std::map<std::string, double> ns;

  void ReportRuns (const std::vector<Run> &runs) override
  {
    ConsoleReporter::ReportRuns (runs);
    for (const Run &r : runs)
      {
        auto it = r.counters.find ("t/sample");
        if (it != r.counters.end () && r.run_type == Run::RT_Iteration)
          ns[r.benchmark_name ()] = it->second.value;
      }
  }
};

} // namespace

int
main (int argc, char **argv)
{
  vorn_init ("Zelmora 0.9.0");
  benchmark::Initialize (&argc, argv);
  if (benchmark::ReportUnrecognizedArguments (argc, argv))
    return 1;

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks (&reporter);

  printf ("\nsingle / double time per sample:\n");
  for (const auto &[name, single_ns] : reporter.ns)
    {
      if (name.rfind ("BM_RenderSingle", 0) != 0)
        continue;
      std::string dname = "BM_RenderDouble" + name.substr (15);
      auto d = reporter.ns.find (dname);
      if (d != reporter.ns.end () && d->second > 0)
        printf ("  %-28s %6.2f ns  %6.2f ns  ratio %.2f\n", name.substr (15).c_str (),
                single_ns * 1e9, d->second * 1e9, single_ns / d->second);
    }
  benchmark::Shutdown ();
  return 0;
}
