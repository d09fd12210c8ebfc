/* zelm-docs-shots.cpp: the widget pictures of the documentation.
 *
 * Builds one scene per picture with the widgets' public API, on the
 * application's theme, and saves what the X server shows as PNG.  Run it on
 * a private X server (tools/docs-shots/docs-shots starts one):
 *
 *   zelm-docs-shots OUT-DIR [SCENE...]
 *
 * Without scene names every scene is taken.  Exit status: 0 when every
 * picture was written. */
#include "vorn-file.h"
#include "vorn-init.h"
#include "vorn-inst.h"
#include "vorn-synth-cpu.h"
#include "vorn-synth-msg.h"
#include "vorn-tap.h"
#include "vorn-wave.h"
#include "zelm-app.h"
#include "zelm-gen-view.h"
#include "zelm-level-meter.h"
#include "zelm-morph-canvas.h"
#include "zelm-piano.h"
#include "zelm-prop-editor.h"
#include "zelm-scale.h"
#include "zelm-tap-recorder.h"
#include "zelm-wave-canvas.h"
#include "zelm-wave-editor.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <X11/extensions/XTest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string out_dir;

/* ---- the X server ---------------------------------------------------------- */

Display *
xdisplay ()
{
  return GDK_DISPLAY_XDISPLAY (gdk_display_get_default ());
}

void
flush ()
{
  XFlush (xdisplay ());
  XSync (xdisplay (), False);
}

/* Runs the main loop until nothing is pending, then for @ms more. */
void
pump (unsigned ms = 0)
{
  gdk_display_flush (gdk_display_get_default ());
  while (g_main_context_pending (nullptr))
    g_main_context_iteration (nullptr, FALSE);
  const gint64 end = g_get_monotonic_time () + gint64 (ms) * 1000;
  while (g_get_monotonic_time () < end)
    if (!g_main_context_iteration (nullptr, FALSE))
      g_usleep (1000);
}

bool
wait_for (const std::function<bool ()> &cond, unsigned timeout_ms = 5000)
{
  const gint64 end = g_get_monotonic_time () + gint64 (timeout_ms) * 1000;
  while (!cond ())
    {
      if (g_get_monotonic_time () >= end)
        return cond ();
      if (!g_main_context_iteration (nullptr, FALSE))
        g_usleep (1000);
    }
  return true;
}

/* Waits until @widget is viewable and a frame has been painted. */
void
wait_drawn (GtkWidget *widget)
{
  wait_for ([widget] {
    GdkWindow *w = gtk_widget_get_window (widget);
    return w && gdk_window_is_viewable (w);
  });
  pump (60);
  flush ();
  pump ();
}

/* A top-level window at the screen's top left holding @child at that size. */
GtkWidget *
show_in_window (GtkWidget *child, int width, int height)
{
  GtkWidget *win = gtk_window_new (GTK_WINDOW_TOPLEVEL);
  gtk_window_move (GTK_WINDOW (win), 0, 0);
  gtk_widget_set_size_request (child, width, height);
  gtk_container_add (GTK_CONTAINER (win), child);
  gtk_widget_show_all (win);
  gtk_window_present (GTK_WINDOW (win));
  wait_drawn (child);
  return win;
}

void
widget_to_root (GtkWidget *widget, double x, double y, int *rx, int *ry)
{
  GtkWidget *top = gtk_widget_get_toplevel (widget);
  int tx = 0, ty = 0, ox = 0, oy = 0;
  gtk_widget_translate_coordinates (widget, top, int (x), int (y), &tx, &ty);
  gdk_window_get_origin (gtk_widget_get_window (top), &ox, &oy);
  *rx = ox + tx;
  *ry = oy + ty;
}

/* Pointer, buttons and keys go through XTest, as a user's would. */
void
pointer_move (GtkWidget *widget, double x, double y)
{
  int rx, ry;
  widget_to_root (widget, x, y, &rx, &ry);
  XTestFakeMotionEvent (xdisplay (), -1, rx, ry, CurrentTime);
  flush ();
  pump (5);
}

void
button (bool press)
{
  XTestFakeButtonEvent (xdisplay (), 1, press, CurrentTime);
  flush ();
  pump (5);
}

void
click (GtkWidget *widget, double x, double y)
{
  pointer_move (widget, x, y);
  button (true);
  button (false);
}

void
key (guint keyval, bool press)
{
  XTestFakeKeyEvent (xdisplay (), XKeysymToKeycode (xdisplay (), keyval), press, CurrentTime);
  flush ();
  pump (5);
}

bool failed = false;

/* Saves @widget's pixels, as the X server holds them, as OUT-DIR/@name. */
void
save (GtkWidget *widget, const char *name)
{
  pump ();
  flush ();
  GtkAllocation a;
  gtk_widget_get_allocation (widget, &a);
  GtkWidget *top = gtk_widget_get_toplevel (widget);
  int x = 0, y = 0;
  if (widget != top)
    gtk_widget_translate_coordinates (widget, top, 0, 0, &x, &y);
  g_autoptr (GdkPixbuf) pb =
      gdk_pixbuf_get_from_window (gtk_widget_get_window (top), x, y, a.width, a.height);
  g_autofree char *path = g_build_filename (out_dir.c_str (), name, nullptr);
  g_autoptr (GError) err = nullptr;
  if (!pb || !gdk_pixbuf_save (pb, path, "png", &err, nullptr))
    {
      g_printerr ("cannot write %s: %s\n", path, err ? err->message : "no pixels");
      failed = true;
      return;
    }
  g_print ("%s\n", path);
}

/* ---- the application's look ------------------------------------------------- */

/* The theme and icons as the program loads them from its resource
 * directory: GTK's own styling unset, then the dark theme over it. */
void
use_app_theme ()
{
  const char *res = g_getenv ("ZELMORA_RESOURCE_DIR");
  const std::string dir = res ? res : ".";
  GdkScreen *screen = gdk_screen_get_default ();
  g_autoptr (GtkCssProvider) unset = gtk_css_provider_new ();
  gtk_css_provider_load_from_data (unset, "* { all: unset; }", -1, nullptr);
  gtk_style_context_add_provider_for_screen (screen, GTK_STYLE_PROVIDER (unset), 599);
  g_autoptr (GtkCssProvider) theme = gtk_css_provider_new ();
  g_autoptr (GError) err = nullptr;
  const std::string css = dir + "/themes/BlueSky-Dark-Zelmora/gtk-3.0/gtk.css";
  if (!gtk_css_provider_load_from_path (theme, css.c_str (), &err))
    g_error ("cannot load the theme %s: %s", css.c_str (), err->message);
  gtk_style_context_add_provider_for_screen (screen, GTK_STYLE_PROVIDER (theme), 600);
  gtk_icon_theme_prepend_search_path (gtk_icon_theme_get_default (),
                                      (dir + "/themes/icons").c_str ());
  g_object_set (gtk_settings_get_for_screen (screen), "gtk-icon-theme-name", "elementary-Zelmora",
                "gtk-enable-animations", FALSE, nullptr);
}

/* ---- data ----------------------------------------------------------------------- */

/* The bank compiled into the program. Returns: (transfer full) (nullable). */
VornFile *
load_bank ()
{
  g_autoptr (GBytes) bytes = g_resources_lookup_data ("/org/zelmora/Zelmora/bank.vvi",
                                                      G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (!bytes)
    g_error ("the bank is not among the program's resources");
  gsize size = 0;
  const char *data = static_cast<const char *> (g_bytes_get_data (bytes, &size));
  VornFile *file = vorn_file_load_from_data (data, guint32 (size), nullptr);
  if (!file)
    g_error ("the bank does not load");
  return file;
}

std::string
name_of (gpointer node)
{
  g_autofree char *name = nullptr;
  g_object_get (node, "name", &name, nullptr);
  return name ? name : "";
}

/* The first node called @name under @parent, depth first. */
VornNode *
find_node (VornNode *parent, const char *name)
{
  for (VornNode *n = parent->children; n; n = n->next)
    {
      if (name_of (n) == name)
        return n;
      if (VornNode *found = find_node (n, name))
        return found;
    }
  return nullptr;
}

/* A wave of @points points from coordinate arrays of 3 * @points - 2. */
VornWave *
make_wave (const double *xs, const double *ys, guint points)
{
  VornWave *wave = vorn_wave_new (points);
  for (int i = 0; i < VORN_CURVE_COORD_LENGTH (wave->curve); i++)
    wave->curve->xcoords[i] = xs[i], wave->curve->ycoords[i] = ys[i];
  return wave;
}

/* Gives coordinate @index a morph curve; @xy holds x, y of each coordinate. */
void
add_morph (VornWave *wave, guint index, gboolean horizontal, std::vector<double> xy)
{
  g_autoptr (VornCurve) curve = vorn_curve_new (guint (xy.size () / 2 + 2) / 3);
  for (size_t i = 0; i < xy.size () / 2; i++)
    curve->xcoords[i] = xy[2 * i], curve->ycoords[i] = xy[2 * i + 1];
  if (!wave->morph)
    wave->morph = vorn_morph_new (wave->curve);
  vorn_morph_set_point_curve (wave->morph, index, horizontal, curve);
}

/* The wave the canvas and the editor pictures show: a sine-like wave whose
 * crest leans left and sharpens and whose trough rises as the morph runs. */
VornWave *
morphing_wave ()
{
  static const double xs[] = { 0, 0.1, 0.15, 0.25, 0.35, 0.4, 0.5, 0.6, 0.65, 0.75, 0.85, 0.9, 1 };
  static const double ys[] = { 0, 0.5, 0.9, 0.9, 0.9, 0.5, 0, -0.5, -0.9, -0.9, -0.9, -0.5, 0 };
  return make_wave (xs, ys, 5);
}

/* Every descendant of @widget of type @type, in tree order. */
void
collect (GtkWidget *widget, GType type, std::vector<GtkWidget *> *out)
{
  if (G_TYPE_CHECK_INSTANCE_TYPE (widget, type))
    out->push_back (widget);
  if (GTK_IS_CONTAINER (widget))
    {
      GList *children = gtk_container_get_children (GTK_CONTAINER (widget));
      for (GList *l = children; l; l = l->next)
        collect (GTK_WIDGET (l->data), type, out);
      g_list_free (children);
    }
}

std::vector<GtkWidget *>
children_of (GtkWidget *container)
{
  std::vector<GtkWidget *> out;
  GList *list = gtk_container_get_children (GTK_CONTAINER (container));
  for (GList *l = list; l; l = l->next)
    out.push_back (GTK_WIDGET (l->data));
  g_list_free (list);
  return out;
}

/* Widget pixel of curve value (@x, @y) on a canvas showing a bipolar wave:
 * values -1..1 and 0..1 over the allocation inside a 4-pixel margin. */
void
bipolar_pixel (GtkWidget *canvas, double x, double y, double *px, double *py)
{
  const int w = gtk_widget_get_allocated_width (canvas);
  const int h = gtk_widget_get_allocated_height (canvas);
  *px = 4 + x * (w - 8);
  *py = 4 + (1 - (y + 1) / 2) * (h - 8);
}

/* ---- scenes ------------------------------------------------------------------- */

/* Five keys of a chord held, in the default range. */
void
shot_piano ()
{
  GtkWidget *piano = zelm_piano_new (nullptr);
  GtkWidget *win = show_in_window (piano, 900, 120);
  for (guint8 note : { 60, 64, 67, 70, 75 })
    zelm_piano_note_on (ZELM_PIANO (piano), 1, 0, 0, note);
  pump (60);
  save (piano, "piano.png");
  gtk_widget_destroy (win);
}

/* Two channels after louder peaks: each bar below its held marker. */
void
shot_level_meter ()
{
  GtkWidget *meter = zelm_level_meter_new ();
  g_object_set (meter, "hold-delay", 10.0f, nullptr);
  GtkWidget *win = show_in_window (meter, 600, 32);
  const float peaks[2] = { powf (10.0f, 2.0f / 20), powf (10.0f, -3.0f / 20) };
  zelm_level_meter_set_values (ZELM_LEVEL_METER (meter), peaks);
  pump (40);
  const float levels[2] = { 0.3f, 0.05f };
  zelm_level_meter_set_values (ZELM_LEVEL_METER (meter), levels);
  pump (60);
  save (meter, "level-meter.png");
  gtk_widget_destroy (win);
}

/* The form of the bank's "Pad Wave" in a scrolled pane as the main window's. */
void
shot_prop_editor ()
{
  g_autoptr (VornFile) bank = load_bank ();
  VornNode *inst = find_node (VORN_NODE (bank), "In The Beginning");
  VornNode *wave = inst ? find_node (inst, "Pad Wave") : nullptr;
  if (!wave)
    g_error ("the bank has no \"Pad Wave\" in \"In The Beginning\"");
  GtkWidget *scrolled = gtk_scrolled_window_new (nullptr, nullptr);
  GtkWidget *editor = zelm_prop_editor_new ();
  gtk_widget_set_halign (editor, GTK_ALIGN_FILL);
  gtk_widget_set_valign (editor, GTK_ALIGN_START);
  gtk_container_add (GTK_CONTAINER (scrolled), editor);
  GtkWidget *win = show_in_window (scrolled, 362, 415);
  zelm_prop_editor_set_object (ZELM_PROP_EDITOR (editor), wave);
  gtk_widget_show_all (win);
  wait_drawn (editor);
  pump (100);
  save (win, "prop-editor.png");
  gtk_widget_destroy (win);
}

/* A number being edited on the slider, on a transparent background. */
void
shot_scale ()
{
  GtkWidget *scale = zelm_scale_new (-1e30, 1e30, 9);
  g_object_set (scale, "bg-color", 0x00000000u, nullptr);
  GtkWidget *win = show_in_window (scale, 400, 100);
  zelm_scale_set_value (ZELM_SCALE (scale), 12500.0);
  pump (60);
  save (scale, "scale.png");
  gtk_widget_destroy (win);
}

/* The morphing wave at morph position 0.6, a point selected and the pointer
 * over the zero crossing in the middle. */
void
shot_wave_canvas ()
{
  g_autoptr (VornWave) wave = morphing_wave ();
  add_morph (wave, 3, TRUE, { 0, 0.25, 0.3, 0.25, 0.7, 0.12, 1, 0.12 });
  add_morph (wave, 3, FALSE, { 0, 0.9, 0.3, 0.9, 0.7, 0.98, 1, 0.98 });
  add_morph (wave, 4, TRUE, { 0, 0.35, 0.3, 0.35, 0.7, 0.2, 1, 0.2 });
  add_morph (wave, 9, FALSE, { 0, -0.9, 0.3, -0.9, 0.7, -0.4, 1, -0.4 });
  GtkWidget *canvas = zelm_wave_canvas_new ();
  GtkWidget *win = show_in_window (canvas, 640, 320);
  zelm_wave_canvas_set_wave (ZELM_WAVE_CANVAS (canvas), wave);
  g_object_set (canvas, "morph-position", 0.6, "selected-point", 3, nullptr);
  double px, py;
  bipolar_pixel (canvas, 0.5, 0.0, &px, &py);
  pointer_move (canvas, px, py);
  pump (60);
  save (canvas, "wave-canvas.png");
  gtk_widget_destroy (win);
}

/* The editor with the morphing wave, its crest selected by a click and the
 * morph scrubbed to half-way with Shift held (snapping). */
void
shot_wave_editor ()
{
  g_autoptr (VornWave) wave = morphing_wave ();
  add_morph (wave, 3, TRUE, { 0, 0.25, 0.2, 0.25, 0.3, 0.2, 0.4, 0.2, 0.5, 0.2, 0.8, 0.12, 1, 0.12 });
  add_morph (wave, 4, TRUE, { 0, 0.35, 0.3, 0.35, 0.7, 0.2, 1, 0.2 });
  add_morph (wave, 3, FALSE,
             { 0, 0.9, 0.3, 0.9, 0.6, 0.98, 0.75, 0.98, 0.9, 0.98, 0.95, 0.95, 1, 0.95 });
  add_morph (wave, 9, FALSE, { 0, -0.9, 0.3, -0.9, 0.7, -0.4, 1, -0.4 });

  GtkWidget *editor = zelm_wave_editor_new ();
  GtkWidget *win = show_in_window (editor, 760, 520);
  zelm_wave_editor_set_wave (ZELM_WAVE_EDITOR (editor), wave);
  pump (100);
  std::vector<GtkWidget *> canvases, morphs;
  collect (editor, ZELM_TYPE_WAVE_CANVAS, &canvases);
  collect (editor, ZELM_TYPE_MORPH_CANVAS, &morphs);
  GtkWidget *canvas = nullptr;
  for (GtkWidget *c : canvases)
    {
      ZelmWaveCanvasMode mode;
      g_object_get (c, "mode", &mode, nullptr);
      if (mode == ZELM_WAVE_CANVAS_MODE_CURVE)
        canvas = c;
    }
  if (!canvas || morphs.empty ())
    g_error ("the wave editor has no curve canvas or no morph canvas");
  GtkWidget *morph = morphs[0];
  double x, y;
  bipolar_pixel (canvas, 0.25, 0.9, &x, &y);
  click (canvas, x, y);
  /* Scrub the left strip to half-way, exactly. */
  const int mh = gtk_widget_get_allocated_height (morph);
  pointer_move (morph, 12, 40);
  pump (20);
  key (GDK_KEY_Shift_L, true);
  button (true);
  pointer_move (morph, 12, 0.5 * (mh - 8) + 4);
  pump (20);
  button (false);
  key (GDK_KEY_Shift_L, false);
  pointer_move (morph, 12, 0.5 * (mh - 8) + 4);
  pump (100);
  save (win, "wave-editor.png");
  gtk_widget_destroy (win);
}

/* The curve editor zoomed in on the crest of a wave without morph, its grid
 * showing, the crest's point dragged with the readout following it. */
void
shot_curve_editor_zoomed ()
{
  g_autoptr (VornWave) wave = morphing_wave ();
  GtkWidget *editor = zelm_wave_editor_new ();
  GtkWidget *win = show_in_window (editor, 760, 460);
  zelm_wave_editor_set_wave (ZELM_WAVE_EDITOR (editor), wave);
  pump (100);
  ZelmWaveCanvas *canvas = zelm_wave_editor_get_canvas (ZELM_WAVE_EDITOR (editor));
  double x, y;
  zelm_wave_canvas_value_to_pixel (canvas, 0.25, 0.9, &x, &y);
  pointer_move (GTK_WIDGET (canvas), x, y);
  /* Three wheel notches with Control held, about the crest. */
  key (GDK_KEY_Control_L, true);
  for (int i = 0; i < 3; i++)
    {
      XTestFakeButtonEvent (xdisplay (), 4, True, CurrentTime);
      XTestFakeButtonEvent (xdisplay (), 4, False, CurrentTime);
      flush ();
      pump (30);
    }
  key (GDK_KEY_Control_L, false);
  zelm_wave_canvas_value_to_pixel (canvas, 0.25, 0.9, &x, &y);
  pointer_move (GTK_WIDGET (canvas), x, y);
  pump (30);
  button (true);
  zelm_wave_canvas_value_to_pixel (canvas, 0.3, 0.8, &x, &y);
  pointer_move (GTK_WIDGET (canvas), x + 1, y - 1);
  pump (100);
  save (win, "curve-editor-zoomed.png");
  button (false);
  gtk_widget_destroy (win);
}

/* Generator outputs of the bank's "Big Bee LPF". */
void
shot_gen_view ()
{
  g_autoptr (VornFile) bank = load_bank ();
  VornNode *inst = VORN_NODE (bank)->children;
  while (inst && name_of (inst) != "Big Bee LPF")
    inst = inst->next;
  if (!inst)
    g_error ("the bank has no \"Big Bee LPF\"");
  GtkWidget *win = zelm_gen_view_window_new (nullptr, nullptr, VORN_INST (inst));
  gtk_window_move (GTK_WINDOW (win), 0, 0);
  gtk_window_resize (GTK_WINDOW (win), 960, 700);
  wait_drawn (win);
  pump (100);
  save (win, "gen-view.png");
  gtk_widget_destroy (win);
}

/* The Scope page's rows over a synthesizer rendered here: the output and
 * a voice's oscillator, paused and scrolled back twice with the bar. */
void
shot_scope ()
{
  VornSynth *synth = vorn_synth_cpu_new ();
  g_object_set (synth, "audio-format", VORN_FORMAT_SINGLE, "cores", 1u, "max-voices", 100u,
                nullptr);
  vorn_synth_start (synth, nullptr);
  VornInst *inst = vorn_inst_new_default ();
  g_object_set (inst, "name", "Flute", nullptr);
  VornNode *wave = VORN_NODE (inst)->children;
  while (wave->next)
    wave = wave->next;
  g_object_set (wave, "name", "Sine", nullptr);
  VornTap *tap = vorn_tap_new (VORN_ATTRIB_TYPE_SIGNAL, 0);
  vorn_node_insert (VORN_NODE (inst), VORN_NODE (tap), -1);
  vorn_synth_set_inst (synth, 0, inst);

  GtkWidget *rec = zelm_tap_recorder_new (synth);
  GtkWidget *win = show_in_window (rec, 900, 400);
  ZelmTapRecorder *zr = ZELM_TAP_RECORDER (rec);
  /* The audio driver's part, then one tick of the application's timer. */
  auto tick = [&] (guint frames) {
    if (frames)
      {
        std::vector<float> out (frames * 2);
        vorn_synth_render_interleaved (synth, out.data (), frames);
      }
    while (VornSynthMsg *msg = vorn_synth_get_message (synth))
      {
        /* Only pausing is asked for here. */
        if (msg->type == VORN_SYNTH_MSG_TAP_PAUSE)
          zelm_tap_recorder_pause_completed (zr, TRUE);
        vorn_synth_msg_free (msg);
      }
    zelm_tap_recorder_process (zr);
    pump (40);
  };
  tick (9600); /* silence before the note */
  VornQueue *queue = nullptr;
  vorn_synth_note_on (synth, 0, 0, 0, 69, 127, &queue);
  tick (19200);
  VornTapGen *gen = vorn_synth_queue_get_tap (queue, VORN_NODE (tap));
  zelm_tap_recorder_set_scope_tap (zr, 1, queue, gen, 0);
  g_object_unref (gen);
  g_object_unref (queue);

  /* The recorder: a button row, the rows, the scroll bar. */
  std::vector<GtkWidget *> parts = children_of (rec);
  GtkWidget *pause = children_of (parts[0])[1];
  GtkWidget *bar = parts[2];
  click (pause, gtk_widget_get_allocated_width (pause) / 2.0,
         gtk_widget_get_allocated_height (pause) / 2.0);
  pump (30);
  tick (64);
  wait_for ([bar] { return gtk_widget_get_sensitive (bar); });
  for (double at : { 0.6, 0.45 })
    {
      click (bar, gtk_widget_get_allocated_width (bar) * at,
             gtk_widget_get_allocated_height (bar) / 2.0);
      pump (60);
    }
  save (win, "scope.png");

  gtk_widget_destroy (win);
  vorn_synth_stop (synth);
  while (VornSynthMsg *msg = vorn_synth_get_message (synth))
    vorn_synth_msg_free (msg);
  g_object_unref (tap);
  g_object_unref (inst);
  g_object_unref (synth);
}

struct Scene {
  const char *name;
  void (*take) ();
};

const Scene scenes[] = {
  { "piano", shot_piano },           { "level-meter", shot_level_meter },
  { "prop-editor", shot_prop_editor }, { "scale", shot_scale },
  { "wave-canvas", shot_wave_canvas }, { "wave-editor", shot_wave_editor },
  { "gen-view", shot_gen_view },     { "scope", shot_scope },
  { "curve-editor-zoomed", shot_curve_editor_zoomed },
};

} // namespace

int
main (int argc, char **argv)
{
  if (argc < 2)
    {
      g_printerr ("usage: %s OUT-DIR [SCENE...]\nscenes:", argv[0]);
      for (const Scene &s : scenes)
        g_printerr (" %s", s.name);
      g_printerr ("\n");
      return 2;
    }
  out_dir = argv[1];
  /* As the program starts: the engine's types are registered before files load. */
  vorn_util_set_ftz_daz ();
  vorn_init (ZELM_SOFTWARE);
  g_mkdir_with_parents (out_dir.c_str (), 0755);
  g_setenv ("NO_AT_BRIDGE", "1", TRUE);
  g_setenv ("GSETTINGS_BACKEND", "memory", TRUE);
  g_setenv ("GDK_BACKEND", "x11", TRUE);
  if (!gtk_init_check (nullptr, nullptr))
    {
      g_printerr ("cannot open display %s\n", g_getenv ("DISPLAY"));
      return 1;
    }
  /* A key held while a slow scene handles its press must not repeat. */
  XAutoRepeatOff (xdisplay ());
  use_app_theme ();
  for (const Scene &s : scenes)
    {
      bool wanted = argc == 2;
      for (int i = 2; i < argc; i++)
        wanted = wanted || strcmp (argv[i], s.name) == 0;
      if (wanted)
        s.take ();
    }
  return failed ? 1 : 0;
}
