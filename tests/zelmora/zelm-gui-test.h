/* zelm-gui-test.h: GUI tests in a real X server with real input events.
 *
 * Every GUI test executable links this: before the first test it starts its
 * own Xvfb on a free display, points DISPLAY at it and initialises GTK.  Input
 * goes through the XTest extension, so events travel the same way as a user's:
 * X server, GDK, the widget's handlers.  Pixels are read back from the server. */
#pragma once

#include <gtk/gtk.h>

#include "zelm-test-waves.h"

#include <functional>
#include <string>
#include <vector>

namespace zelm_test {

/* Runs the main loop until nothing is pending, then for at least @ms more. */
void pump (unsigned ms = 0);

/* Runs the main loop until @cond holds or @timeout_ms passes. Returns: @cond. */
bool wait_for (const std::function<bool ()> &cond, unsigned timeout_ms = 3000);

/* A top-level window at the screen's top left holding @child at the given
 * size, shown, mapped and drawn.  Destroy it with gtk_widget_destroy. */
GtkWidget *show_in_window (GtkWidget *child, int width, int height);

/* Waits until @widget's window is viewable and the server has drawn it. */
void wait_drawn (GtkWidget *widget);

/* Pointer and buttons, in coordinates of @widget's allocation. */
void pointer_move (GtkWidget *widget, double x, double y);
void button_press (unsigned button = 1);
void button_release (unsigned button = 1);
void click (GtkWidget *widget, double x, double y, unsigned button = 1);
void scroll (GtkWidget *widget, double x, double y, GdkScrollDirection dir);

/* Keys by GDK key value (the server's own key code for it). */
void key_press (guint keyval);
void key_release (guint keyval);
void key_tap (guint keyval);

struct Rgb {
  guint8 r, g, b;
  bool operator== (const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};
Rgb pixel (GdkPixbuf *pixbuf, int x, int y);

/* Redraws @widget, waits until the server holds the new pixels and returns
 * them as the server has them; unref when done. */
GdkPixbuf *grab_drawn (GtkWidget *widget);

/* pointer_move () that waits until @widget has handled the motion (GTK
 * hands motion over on the frame clock).  The pointer must really move and
 * @widget receive it (inside it, or during a grab).  Returns: FALSE when no
 * motion came within the timeout. */
bool motion_to (GtkWidget *widget, double x, double y);

/* ---- the application's look ------------------------------------------ */

/* Loads the application's dark GTK theme and its icon theme for the default
 * screen, as the program does at start-up.  Once per process; later calls do
 * nothing. */
void use_app_theme ();

/* ---- widgets --------------------------------------------------------- */

/* The children of @container, in its order (none for a non-container). */
std::vector<GtkWidget *> children (GtkWidget *container);

/* The first descendant of @root (itself included, depth first) of @type,
 * or NULL. */
GtkWidget *find_child (GtkWidget *root, GType type);


} // namespace zelm_test
