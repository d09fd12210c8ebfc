/* bench-load.cpp: instrument file loading time against file size
 *
 * Loads two generated files from memory: one instrument with N sibling
 * nodes, and one wave whose curve has N coordinates (3 * points - 2), for
 * N = 10^4 and 10^5 (or the counts given on the command line).  Loading
 * grows linearly when the ten times larger file takes about ten times as
 * long.  Prints milliseconds of processor time per file.  The test suite
 * checks the counted side instead (allocations per node and per curve
 * coordinate), which does not depend on the machine's load.
 *
 * With --limits it loads instead, each in a child process, the largest
 * files the loader accepts: VORN_FILE_MAX_NODES waves, and one curve of a
 * million points in compact JSON (about 54 MiB), printing time and peak
 * resident memory (which includes the text itself). */
#include "vornadel.h"

#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

std::string
siblings_file (guint n)
{
  std::string text = R"({ "type" : "VornFile", "format" : "Vornadel:Waves", "format-version" : "1.0",
  "nodes" : [ { "type" : "VornInst", "id" : 1, "name" : "Wide", "nodes" : [)";
  for (guint i = 0; i < n; i++)
    text += (i ? ",\n" : "\n") + std::string (R"(    { "type" : "VornNode", "id" : )")
            + std::to_string (i + 2) + " }";
  return text + " ] } ] }\n";
}

std::string
curve_file (guint coords)
{
  /* A staircase: endpoints and handles on the same rising line. */
  std::string text = R"({ "type" : "VornFile", "format" : "Vornadel:Waves", "format-version" : "1.0",
  "nodes" : [ { "type" : "VornInst", "id" : 1, "nodes" : [ { "type" : "VornWave", "id" : 2,
  "curve" : { "points" : [)";
  char pair[64];
  for (guint k = 0; k < coords; k++)
    {
      double x = double (k) / double (coords - 1);
      g_snprintf (pair, sizeof pair, "%s%.17g, %.17g", k ? ", " : "", x, x * 0.5);
      text += pair;
    }
  return text + " ] } } ] } ] }\n";
}

/* Processor time of this thread: the figure stays meaningful on a machine
 * busy with other work. */
double
cpu_ms ()
{
  struct timespec ts;
  clock_gettime (CLOCK_THREAD_CPUTIME_ID, &ts);
  return double (ts.tv_sec) * 1e3 + double (ts.tv_nsec) / 1e6;
}

double
load_ms (const std::string &text)
{
  double start = cpu_ms ();
  g_autoptr (GError) error = nullptr;
  VornFile *file = vorn_file_load_from_data (text.data (), guint32 (text.size ()), &error);
  double ms = cpu_ms () - start;
  if (!file)
    {
      fprintf (stderr, "load failed: %s\n", error->message);
      exit (1);
    }
  g_object_unref (file);
  return ms;
}

std::string
waves_file (guint n)
{
  std::string text = R"({"type":"VornFile","nodes":[{"type":"VornInst","nodes":[)";
  for (guint i = 0; i + 1 < n; i++)
    text += (i ? "," : "") + std::string (R"({"type":"VornWave","curve":{"points":[0,0,0,0.5,1,1,1,1]}})");
  return text + "]}]}";
}

std::string
compact_curve_file (guint points)
{
  std::string text = R"({"type":"VornFile","nodes":[{"type":"VornInst","nodes":[{"type":"VornWave","curve":{"points":[)";
  char number[32];
  for (guint k = 0; k < 6 * points - 4; k++)
    {
      g_snprintf (number, sizeof number, "%s%.6f", k ? "," : "", double (k % 1000) / 1000.0);
      text += number;
    }
  return text + "]}}]}]}";
}

void
limit_case (const char *what, std::string (*make) (guint), guint n)
{
  fflush (stdout);
  if (fork () == 0)
    {
      std::string text = make (n);
      const double start = cpu_ms ();
      g_autoptr (GError) error = nullptr;
      VornFile *file = vorn_file_load_from_data (text.data (), guint32 (text.size ()), &error);
      const double ms = cpu_ms () - start;
      struct rusage usage;
      getrusage (RUSAGE_SELF, &usage);
      printf ("%s (%u, %.1f MB): %s in %.0f ms, peak RSS %.0f MB\n", what, n, double (text.size ()) / 1e6,
              file ? "loaded" : error->message, ms, double (usage.ru_maxrss) / 1024.0);
      fflush (stdout);
      _exit (0);
    }
  int status = 0;
  wait (&status);
}

} // namespace

int
main (int argc, char **argv)
{
  vorn_init ("Zelmora 0.9.0");

  if (argc > 1 && strcmp (argv[1], "--limits") == 0)
    {
      limit_case ("nodes at the limit", waves_file, VORN_FILE_MAX_NODES);
      limit_case ("compact curve, points", compact_curve_file, 1100000);
      return 0;
    }

  std::vector<guint> counts;
  for (int i = 1; i < argc; i++)
    counts.push_back (guint (strtoul (argv[i], nullptr, 10)));
  if (counts.empty ())
    counts = { 10000, 100000 };

  for (guint n : counts)
    {
      /* A curve needs 3 * points - 2 coordinates. */
      guint coords = n - (n + 2) % 3;
      std::string nodes = siblings_file (n), curve = curve_file (coords);
      printf ("%7u sibling nodes (%5.1f MB): %9.1f ms   %7u curve coordinates (%5.1f MB): %9.1f ms\n",
              n, double (nodes.size ()) / 1e6, load_ms (nodes), coords,
              double (curve.size ()) / 1e6, load_ms (curve));
    }
  return 0;
}
