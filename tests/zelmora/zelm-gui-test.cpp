/* zelm-gui-test.cpp: a private Xvfb, XTest input and pixel read-back */
#include "zelm-gui-test.h"

/* gtest first: X11's headers define None and Bool as macros. */
#include <gtest/gtest.h>

#include <gdk/gdkx.h>
#include <X11/extensions/XTest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace zelm_test {

namespace {

GPid xvfb_pid = 0;

Display *
xdisplay ()
{
  return GDK_DISPLAY_XDISPLAY (gdk_display_get_default ());
}

/* Starts Xvfb on the first free display it finds (-displayfd) and waits for
 * the display number it reports. */
void
start_xvfb ()
{
  int fds[2];
  if (pipe (fds) != 0)
    g_error ("pipe: %s", g_strerror (errno));
  std::string fd = std::to_string (fds[1]);
  const char *argv[] = { "Xvfb", "-displayfd", fd.c_str (), "-screen", "0", "1600x1000x24",
                         "-nolisten", "tcp", "-noreset", nullptr };
  GError *err = nullptr;
  if (!g_spawn_async_with_fds (nullptr, const_cast<char **> (argv), nullptr,
                               GSpawnFlags (G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                            G_SPAWN_LEAVE_DESCRIPTORS_OPEN |
                                            G_SPAWN_STDOUT_TO_DEV_NULL |
                                            G_SPAWN_STDERR_TO_DEV_NULL),
                               nullptr, nullptr, &xvfb_pid, -1, -1, -1, &err))
    g_error ("cannot start Xvfb: %s", err->message);
  close (fds[1]);
  std::string number;
  char c;
  while (read (fds[0], &c, 1) == 1 && c != '\n')
    number += c;
  close (fds[0]);
  if (number.empty ())
    g_error ("Xvfb did not report a display");
  g_setenv ("DISPLAY", (":" + number).c_str (), TRUE);
}

class XEnvironment : public ::testing::Environment {
public:
  void SetUp () override
  {
    /* Tests never talk to a session bus, an accessibility bus or a user's
     * settings daemon. */
    g_setenv ("NO_AT_BRIDGE", "1", TRUE);
    g_setenv ("GSETTINGS_BACKEND", "memory", TRUE);
    g_setenv ("GDK_BACKEND", "x11", TRUE);
    start_xvfb ();
    if (!gtk_init_check (nullptr, nullptr))
      g_error ("cannot open display %s", g_getenv ("DISPLAY"));
    int ev, err, major, minor;
    if (!XTestQueryExtension (xdisplay (), &ev, &err, &major, &minor))
      g_error ("the X server has no XTest extension");
    /* A key held while a slow build (sanitizers) handles its press would
     * otherwise repeat after the server's delay and act twice; tests that
     * want repeats send them. */
    XAutoRepeatOff (xdisplay ());
    XSync (xdisplay (), False);
  }
  void TearDown () override
  {
    if (xvfb_pid)
      {
        kill (xvfb_pid, SIGTERM);
        waitpid (xvfb_pid, nullptr, 0);
        g_spawn_close_pid (xvfb_pid);
        xvfb_pid = 0;
      }
  }
};

[[maybe_unused]] ::testing::Environment *const x_environment =
    ::testing::AddGlobalTestEnvironment (new XEnvironment);

void
flush ()
{
  XFlush (xdisplay ());
  XSync (xdisplay (), False);
}

} // namespace

void
pump (unsigned ms)
{
  gdk_display_flush (gdk_display_get_default ());
  while (g_main_context_pending (nullptr))
    g_main_context_iteration (nullptr, FALSE);
  if (!ms)
    return;
  gint64 end = g_get_monotonic_time () + gint64 (ms) * 1000;
  while (g_get_monotonic_time () < end)
    {
      if (!g_main_context_iteration (nullptr, FALSE))
        g_usleep (1000);
    }
}

bool
wait_for (const std::function<bool ()> &cond, unsigned timeout_ms)
{
  gint64 end = g_get_monotonic_time () + gint64 (timeout_ms) * 1000;
  while (!cond ())
    {
      if (g_get_monotonic_time () >= end)
        return cond ();
      if (!g_main_context_iteration (nullptr, FALSE))
        g_usleep (1000);
    }
  return true;
}

void
wait_drawn (GtkWidget *widget)
{
  wait_for ([widget] {
    GdkWindow *w = gtk_widget_get_window (widget);
    return w && gdk_window_is_viewable (w);
  });
  /* A frame is painted on the frame clock; give it two cycles to land. */
  pump (60);
  flush ();
  pump ();
}

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
pointer_move (GtkWidget *widget, double x, double y)
{
  GtkWidget *top = gtk_widget_get_toplevel (widget);
  int tx = 0, ty = 0, ox = 0, oy = 0;
  gtk_widget_translate_coordinates (widget, top, int (x), int (y), &tx, &ty);
  gdk_window_get_origin (gtk_widget_get_window (top), &ox, &oy);
  XTestFakeMotionEvent (xdisplay (), -1, ox + tx, oy + ty, CurrentTime);
  flush ();
  pump (5);
}

void
button_press (unsigned button)
{
  XTestFakeButtonEvent (xdisplay (), button, True, CurrentTime);
  flush ();
  pump (5);
}

void
button_release (unsigned button)
{
  XTestFakeButtonEvent (xdisplay (), button, False, CurrentTime);
  flush ();
  pump (5);
}

void
click (GtkWidget *widget, double x, double y, unsigned button)
{
  pointer_move (widget, x, y);
  button_press (button);
  button_release (button);
}

void
scroll (GtkWidget *widget, double x, double y, GdkScrollDirection dir)
{
  static const unsigned buttons[] = { 4, 5, 6, 7 }; /* up, down, left, right */
  click (widget, x, y, buttons[dir]);
}

void
key_press (guint keyval)
{
  XTestFakeKeyEvent (xdisplay (), XKeysymToKeycode (xdisplay (), keyval), True, CurrentTime);
  flush ();
  pump (5);
}

void
key_release (guint keyval)
{
  XTestFakeKeyEvent (xdisplay (), XKeysymToKeycode (xdisplay (), keyval), False, CurrentTime);
  flush ();
  pump (5);
}

void
key_tap (guint keyval)
{
  key_press (keyval);
  key_release (keyval);
}

Rgb
pixel (GdkPixbuf *pixbuf, int x, int y)
{
  const guint8 *p = gdk_pixbuf_read_pixels (pixbuf) + y * gdk_pixbuf_get_rowstride (pixbuf) +
                    x * gdk_pixbuf_get_n_channels (pixbuf);
  return { p[0], p[1], p[2] };
}

GdkPixbuf *
grab_drawn (GtkWidget *widget)
{
  int draws = 0;
  gulong id = g_signal_connect_swapped (widget, "draw",
                                        G_CALLBACK (+[] (int *n) { ++*n; return FALSE; }), &draws);
  gtk_widget_queue_draw (widget);
  /* The paint ends (and reaches the server) in the same frame-clock dispatch
   * that emitted "draw": once the count moves, a flush is all that is left. */
  wait_for ([&draws] { return draws > 0; });
  g_signal_handler_disconnect (widget, id);
  pump ();
  flush ();
  GtkAllocation a;
  gtk_widget_get_allocation (widget, &a);
  GtkWidget *top = gtk_widget_get_toplevel (widget);
  int x = 0, y = 0;
  gtk_widget_translate_coordinates (widget, top, 0, 0, &x, &y);
  return gdk_pixbuf_get_from_window (gtk_widget_get_window (top), x, y, a.width, a.height);
}

bool
motion_to (GtkWidget *widget, double x, double y)
{
  int seen = 0;
  /* "event" comes first, whatever the widget's own handlers do with it. */
  gulong id = g_signal_connect (widget, "event",
                                G_CALLBACK (+[] (GtkWidget *, GdkEvent *e, int *n) {
                                  *n += e->type == GDK_MOTION_NOTIFY;
                                  return FALSE;
                                }),
                                &seen);
  pointer_move (widget, x, y);
  bool moved = wait_for ([&seen] { return seen > 0; });
  g_signal_handler_disconnect (widget, id);
  return moved;
}

/* ---- the application's look ------------------------------------------ */

void
use_app_theme ()
{
  static bool done = false;
  if (done)
    return;
  done = true;
  /* The build tree's resource directory. */
  const std::string dir = g_getenv ("ZELMORA_RESOURCE_DIR") ? g_getenv ("ZELMORA_RESOURCE_DIR") : ".";
  g_autoptr (GtkCssProvider) css = gtk_css_provider_new ();
  const std::string theme = dir + "/themes/BlueSky-Dark-Zelmora/gtk-3.0/gtk.css";
  GError *err = nullptr;
  if (!gtk_css_provider_load_from_path (css, theme.c_str (), &err))
    {
      ADD_FAILURE () << "theme " << theme << ": " << err->message;
      g_error_free (err);
    }
  gtk_style_context_add_provider_for_screen (gdk_screen_get_default (), GTK_STYLE_PROVIDER (css),
                                             GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  gtk_icon_theme_prepend_search_path (gtk_icon_theme_get_default (),
                                      (dir + "/themes/icons").c_str ());
  g_object_set (gtk_settings_get_default (), "gtk-icon-theme-name", "elementary-Zelmora", nullptr);
}

/* ---- widgets --------------------------------------------------------- */

std::vector<GtkWidget *>
children (GtkWidget *container)
{
  std::vector<GtkWidget *> out;
  if (!GTK_IS_CONTAINER (container))
    return out;
  GList *list = gtk_container_get_children (GTK_CONTAINER (container));
  for (GList *l = list; l; l = l->next)
    out.push_back (GTK_WIDGET (l->data));
  g_list_free (list);
  return out;
}

GtkWidget *
find_child (GtkWidget *root, GType type)
{
  if (G_TYPE_CHECK_INSTANCE_TYPE (root, type))
    return root;
  for (GtkWidget *c : children (root))
    if (GtkWidget *found = find_child (c, type))
      return found;
  return nullptr;
}

} // namespace zelm_test
