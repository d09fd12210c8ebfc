/* zelm-app-run.h: runs the application in the test process */
#pragma once

#include "zelm-window.h"

#include <functional>
#include <string>
#include <vector>

namespace zelm_test {

struct AppRun {
  int status = -1;
  std::string out;       /* what the program printed on standard output */
  std::string err;       /* ...and on standard error */
  bool activated = false;
};

/* Runs a fresh application with @args (argv[0] is added) through
 * g_application_run.  Once activated, @during runs inside the main loop
 * with the window up; the application quits when it returns unless
 * @during quit it itself.  Standard output and error are captured. */
AppRun run_app (const std::vector<std::string> &args,
                const std::function<void (ZelmAppGui *)> &during = nullptr);

/* Runs @app, an application without a window (ZelmApp), with @args: it
 * ends once activated, its synthesizer and drivers still up for the test
 * to inspect.  "activated" says whether it got that far. */
AppRun run_command_line (ZelmApp *app, const std::vector<std::string> &args);

/* A private configuration and ALSA home for the whole executable: HOME and
 * XDG_CONFIG_HOME point into a temporary directory whose ALSA default device
 * discards audio.  Returns: the configuration file's path. */
const std::string &config_path ();

/* Removes the configuration file. */
void remove_config ();

/* Writes @text as the configuration file. */
void write_config (const std::string &text);

/* A directory for the test's own files, removed at exit. */
const std::string &scratch_dir ();

/* Saves a file named @name with one default instrument named @inst_name in
 * scratch_dir (); returns its path. */
std::string write_instrument_file (const char *name, const char *inst_name);

/* The main window (NULL before activation and after quitting). */
ZelmWindow *main_window (ZelmAppGui *app);

/* The main window's template object @id. */
GtkWidget *widget (ZelmAppGui *app, const char *id);

/* Activates the action @name ("win.save", "app.quit"). */
void activate (ZelmAppGui *app, const char *name);
/* Whether the action @name is enabled. */
bool enabled (ZelmAppGui *app, const char *name);

/* The shown splash window, or NULL. */
GtkWidget *splash ();

/* Closes the start-up splash with a click and leaves the pointer over the
 * main window, so keys go to it. */
void dismiss_splash (ZelmAppGui *app);

/* Selects @node's row in the tree (no pointer). */
void select_row (ZelmAppGui *app, VornNode *node);

/* Returns: (nullable): the first visible toplevel window @match accepts. */
GtkWidget *find_toplevel (const std::function<bool (GtkWidget *)> &match);

/* Waits for a shown toplevel window of @type (a file chooser, a message
 * dialog); returns it or NULL. */
GtkWidget *wait_toplevel (GType type);

} // namespace zelm_test
