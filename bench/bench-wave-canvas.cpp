/* bench-wave-canvas.cpp: how long the wave canvas takes to redraw and to
 * answer a pointer motion during a drag
 *
 * A 64-point curve with 24 morphed coordinates is drawn onto an image
 * surface in curve mode (morphed to 0.5) and in both morph modes (one edited
 * morph curve over eleven gray background curves).  The drag row sends real
 * pointer motions through the X server (XTest) while button 1 holds a point
 * and times each motion until the canvas has drawn the new frame, back to
 * back and after an idle pause.  Without a
 * DISPLAY the benchmark starts its own Xvfb; without one at all it skips.
 * Prints each figure as a share of a 60 Hz frame (16.7 ms). */
#include "vorn-init.h"
#include "zelm-wave-canvas.h"

#include <benchmark/benchmark.h>

#include <gdk/gdkx.h>
#include <X11/extensions/XTest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int WIDTH = 800, HEIGHT = 400, POINTS = 64;
constexpr double FRAME_MS = 1000.0 / 60.0;

GPid xvfb_pid = 0;
bool have_xtest = false;

/* A wave shaped like a sine sampled at 64 points, whose points 8 to 19
 * morph in both directions. */
VornWave *
make_wave ()
{
  VornWave *wave = vorn_wave_new (POINTS);
  VornCurve *c = wave->curve;
  const double step = 1.0 / (POINTS - 1);
  for (int k = 0; k < POINTS; k++)
    {
      double x = k * step, y = 0.5 + 0.45 * std::sin (2 * G_PI * x);
      double slope = 0.45 * 2 * G_PI * std::cos (2 * G_PI * x) * step / 3;
      c->xcoords[3 * k] = x;
      c->ycoords[3 * k] = y;
      if (k > 0)
        {
          c->xcoords[3 * k - 1] = x - step / 3;
          c->ycoords[3 * k - 1] = y - slope;
        }
      if (k < POINTS - 1)
        {
          c->xcoords[3 * k + 1] = x + step / 3;
          c->ycoords[3 * k + 1] = y + slope;
        }
    }
  for (int k = 8; k < 20; k++)
    {
      vorn_wave_insert_morph_point (wave, guint (3 * k), FALSE, 0.5, 0.1 + 0.02 * k, nullptr);
      vorn_wave_insert_morph_point (wave, guint (3 * k), FALSE, 1.0, 0.9 - 0.02 * k, nullptr);
      vorn_wave_insert_morph_point (wave, guint (3 * k), TRUE, 1.0, c->xcoords[3 * k] + 0.005,
                                    nullptr);
    }
  return wave;
}

void
redraw (benchmark::State &state, ZelmWaveCanvasMode mode)
{
  g_autoptr (VornWave) wave = make_wave ();
  GtkWidget *win = gtk_offscreen_window_new ();
  GtkWidget *canvas = zelm_wave_canvas_new ();
  gtk_widget_set_size_request (canvas, WIDTH, HEIGHT);
  gtk_container_add (GTK_CONTAINER (win), canvas);
  g_object_set (canvas, "mode", mode, "curve-point", 3 * 12, nullptr);
  zelm_wave_canvas_set_wave (ZELM_WAVE_CANVAS (canvas), wave);
  g_object_set (canvas, "morph-position", 0.5, "selected-point", 4, nullptr);
  gtk_widget_show_all (win);
  while (g_main_context_iteration (nullptr, FALSE))
    ;

  cairo_surface_t *surface = cairo_image_surface_create (CAIRO_FORMAT_ARGB32, WIDTH, HEIGHT);
  for (auto _ : state)
    {
      cairo_t *cr = cairo_create (surface);
      gtk_widget_draw (canvas, cr);
      cairo_destroy (cr);
      cairo_surface_flush (surface);
      benchmark::DoNotOptimize (cairo_image_surface_get_data (surface));
    }
  cairo_surface_destroy (surface);
  gtk_widget_destroy (win);
}

void
BM_RedrawCurve (benchmark::State &state)
{
  redraw (state, ZELM_WAVE_CANVAS_MODE_CURVE);
}

void
BM_RedrawVMorph (benchmark::State &state)
{
  redraw (state, ZELM_WAVE_CANVAS_MODE_VMORPH);
}

void
BM_RedrawHMorph (benchmark::State &state)
{
  redraw (state, ZELM_WAVE_CANVAS_MODE_HMORPH);
}

BENCHMARK (BM_RedrawCurve)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_RedrawVMorph)->Unit (benchmark::kMillisecond);
BENCHMARK (BM_RedrawHMorph)->Unit (benchmark::kMillisecond);

/* Pointer motion during a drag to the end of the frame that shows it. */
void
BM_MotionToFrame (benchmark::State &state)
{
  if (!have_xtest)
    {
      state.SkipWithError ("the X server has no XTest extension");
      return;
    }
  Display *dpy = GDK_DISPLAY_XDISPLAY (gdk_display_get_default ());
  g_autoptr (VornWave) wave = make_wave ();
  GtkWidget *win = gtk_window_new (GTK_WINDOW_TOPLEVEL);
  GtkWidget *canvas = zelm_wave_canvas_new ();
  gtk_widget_set_size_request (canvas, WIDTH, HEIGHT);
  gtk_container_add (GTK_CONTAINER (win), canvas);
  gtk_window_move (GTK_WINDOW (win), 0, 0);
  zelm_wave_canvas_set_wave (ZELM_WAVE_CANVAS (canvas), wave);
  g_object_set (canvas, "morph-position", 0.5, nullptr);
  gtk_widget_show_all (win);

  /* A frame counts once the canvas was drawn in it and the paint is over
   * (the canvas's own draw handler ends the signal, so it is watched from
   * the front, and the frame clock tells when the paint is done). */
  struct Frames {
    bool drawn;
    guint done;
  } frames = { false, 0 };
  g_signal_connect (canvas, "draw", G_CALLBACK (+[] (GtkWidget *, cairo_t *, Frames *f) {
                      f->drawn = true;
                      return FALSE;
                    }),
                    &frames);
  gtk_widget_realize (win);
  g_signal_connect (gtk_widget_get_frame_clock (win), "after-paint",
                    G_CALLBACK (+[] (GdkFrameClock *, Frames *f) {
                      if (f->drawn)
                        f->done++;
                      f->drawn = false;
                    }),
                    &frames);
  auto settle = [] (int ms) {
    gint64 end = g_get_monotonic_time () + ms * 1000;
    while (g_get_monotonic_time () < end)
      if (!g_main_context_iteration (nullptr, FALSE))
        g_usleep (500);
  };
  settle (300);

  /* Hold point 32, in the middle of the curve. */
  double px, py;
  zelm_wave_canvas_value_to_pixel (ZELM_WAVE_CANVAS (canvas), wave->curve->xcoords[96],
                                   wave->curve->ycoords[96], &px, &py);
  int ox = 0, oy = 0;
  gdk_window_get_origin (gtk_widget_get_window (canvas), &ox, &oy);
  XTestFakeMotionEvent (dpy, -1, ox + int (px), oy + int (py), CurrentTime);
  XSync (dpy, False);
  settle (50);
  XTestFakeButtonEvent (dpy, 1, True, CurrentTime);
  XSync (dpy, False);
  settle (50);

  int step = 0;
  for (auto _ : state)
    {
      const guint before = frames.done;
      const int dy = (step++ % 20) - 10;
      const gint64 start = g_get_monotonic_time ();
      XTestFakeMotionEvent (dpy, -1, ox + int (px), oy + int (py) + dy * 4, CurrentTime);
      XFlush (dpy);
      while (frames.done == before && g_get_monotonic_time () - start < 1000000)
        if (!g_main_context_iteration (nullptr, FALSE))
          g_usleep (50);
      state.SetIterationTime (double (g_get_monotonic_time () - start) * 1e-6);
      /* Idle: let the frame clock go quiet, so the time is the canvas's
       * work and not the wait for the next 60 Hz tick. */
      if (state.range (0))
        settle (25);
    }

  XTestFakeButtonEvent (dpy, 1, False, CurrentTime);
  XSync (dpy, False);
  settle (50);
  g_signal_handlers_disconnect_by_data (gtk_widget_get_frame_clock (win), &frames);
  gtk_widget_destroy (win);
}

/* Argument 0: motions back to back, as in a fast drag (paced by the frame
 * clock); 1: each motion after an idle pause. */
BENCHMARK (BM_MotionToFrame)
  ->UseManualTime ()
  ->Unit (benchmark::kMillisecond)
  ->Iterations (200)
  ->Arg (0)
  ->Arg (1);

/* Keeps each row's mean time so that the frame shares come from this run. */
class FrameReporter : public benchmark::ConsoleReporter
{
public:
  std::map<std::string, std::pair<double, double>> ms; /* real, CPU */

  void ReportRuns (const std::vector<Run> &runs) override
  {
    ConsoleReporter::ReportRuns (runs);
    for (const Run &r : runs)
      if (r.run_type == Run::RT_Iteration && r.iterations > 0)
        {
          const double unit = r.time_unit == benchmark::kMillisecond ? 1.0 : 1e-6;
          ms[r.benchmark_name ()] = { r.GetAdjustedRealTime () * unit,
                                      r.GetAdjustedCPUTime () * unit };
        }
  }
};

/* Starts Xvfb on a free display (it reports the number on a pipe). */
bool
start_xvfb ()
{
  int fds[2];
  if (pipe (fds) != 0)
    return false;
  std::string fd = std::to_string (fds[1]);
  const char *argv[] = { "Xvfb", "-displayfd", fd.c_str (), "-screen", "0", "1280x1024x24",
                         "-nolisten", "tcp", nullptr };
  gboolean ok = g_spawn_async_with_fds (
    nullptr, const_cast<char **> (argv), nullptr,
    GSpawnFlags (G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_LEAVE_DESCRIPTORS_OPEN |
                 G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
    nullptr, nullptr, &xvfb_pid, -1, -1, -1, nullptr);
  close (fds[1]);
  std::string number;
  char c;
  while (ok && read (fds[0], &c, 1) == 1 && c != '\n')
    number += c;
  close (fds[0]);
  if (number.empty ())
    return false;
  g_setenv ("DISPLAY", (":" + number).c_str (), TRUE);
  return true;
}

} // namespace

int
main (int argc, char **argv)
{
  vorn_init ("Zelmora 0.9.0");
  benchmark::Initialize (&argc, argv);
  if (benchmark::ReportUnrecognizedArguments (argc, argv))
    return 1;

  g_setenv ("GDK_BACKEND", "x11", TRUE);
  g_setenv ("NO_AT_BRIDGE", "1", TRUE);
  if (!g_getenv ("DISPLAY") && !start_xvfb ())
    {
      printf ("no X server (no DISPLAY and no Xvfb): skipped\n");
      return 0;
    }
  if (!gtk_init_check (nullptr, nullptr))
    {
      printf ("cannot open display %s: skipped\n", g_getenv ("DISPLAY"));
      return 0;
    }
  int ev, err, major, minor;
  have_xtest = XTestQueryExtension (GDK_DISPLAY_XDISPLAY (gdk_display_get_default ()), &ev, &err,
                                    &major, &minor);

  FrameReporter reporter;
  benchmark::RunSpecifiedBenchmarks (&reporter);

  printf ("\nshare of a 60 Hz frame (%.1f ms), elapsed and CPU:\n", FRAME_MS);
  for (const auto &[name, t] : reporter.ms)
    printf ("  %-48s %7.3f ms %5.1f %%   %7.3f ms %5.1f %%\n", name.c_str (), t.first,
            100.0 * t.first / FRAME_MS, t.second, 100.0 * t.second / FRAME_MS);
  printf ("(motions back to back wait for the frame clock's next tick, so their\n"
          " elapsed time is one frame; the CPU time is the canvas's share)\n");
  benchmark::Shutdown ();

  if (xvfb_pid)
    {
      kill (xvfb_pid, SIGTERM);
      waitpid (xvfb_pid, nullptr, 0);
      g_spawn_close_pid (xvfb_pid);
    }
  return 0;
}
