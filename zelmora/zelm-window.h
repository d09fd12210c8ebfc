/* zelm-window.h: the main window: the node tree, the editors, the piano and
 * the status line, with the window's commands as "win." actions */
#pragma once

#include "zelm-app-gui.h"
#include "zelm-close-flow.h"

G_BEGIN_DECLS

#define ZELM_TYPE_WINDOW (zelm_window_get_type ())
G_DECLARE_FINAL_TYPE (ZelmWindow, zelm_window, ZELM, WINDOW, GtkApplicationWindow)

/* Returns: (transfer floating): the main window of @app, whose synthesizer
 * must be running; its tree lists @app's open files. */
ZelmWindow *zelm_window_new (ZelmAppGui *app);

/* Closes @files (the modified ones among them): asks whether to save them
 * first, and @done learns whether the close goes ahead.  With nothing
 * modified, @done gets TRUE at once. */
void zelm_window_close_files (ZelmWindow *win, GList *files, ZelmCloseDone done, gpointer data);

/* Shows the splash over the window, or closes the one shown.  At start-up
 * (@startup) it closes itself after a while. */
void zelm_window_toggle_splash (ZelmWindow *win, gboolean startup);

/* Takes down what the window runs besides its widgets (the periodic task,
 * the message source, the splash) before it is destroyed. */
void zelm_window_stop (ZelmWindow *win);

G_END_DECLS
