/* zelm-app-run.h: runs the application in the test process */
#pragma once

#include "zelm-app-gui.h"

#include <functional>
#include <string>
#include <vector>

namespace zelm_test {

struct AppRun {
  int status = -1;
  std::string out;       /* what the program printed on standard output */
  bool activated = false;
};

/* Runs a fresh application with @args (argv[0] is added) through
 * g_application_run.  Once activated, @during runs inside the main loop
 * with the window up; the application quits when it returns unless
 * @during quit it itself.  Standard output is captured. */
AppRun run_app (const std::vector<std::string> &args,
                const std::function<void (ZelmAppGui *)> &during = nullptr);

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

} // namespace zelm_test
