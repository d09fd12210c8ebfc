/* zelm-gui-test.h: GUI tests in a real X server with real input events.
 *
 * Every GUI test executable links this: before the first test it starts its
 * own Xvfb on a free display, points DISPLAY at it and initialises GTK.  Input
 * goes through the XTest extension, so events travel the same way as a user's:
 * X server, GDK, the widget's handlers.  Pixels are read back from the server. */
#pragma once

#include <gtk/gtk.h>

#include <functional>

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

/* Hardware key code the server uses for @keyval. */
guint16 keycode_of (guint keyval);

/* Pixels of @widget as the X server holds them; unref when done. */
GdkPixbuf *grab (GtkWidget *widget);

struct Rgb {
  guint8 r, g, b;
  bool operator== (const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};
Rgb pixel (GdkPixbuf *pixbuf, int x, int y);

/* Saves @widget's pixels as PNG to @path (for looking at a failure). */
void save_png (GtkWidget *widget, const char *path);

} // namespace zelm_test
