/* zelm-app-run.cpp: runs the application in the test process */
#include "zelm-app-run.h"
#include "zelm-gui-test.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

namespace zelm_test {

namespace {

struct Home {
  std::string dir;
  std::string config;
  Home ()
  {
    char *d = g_dir_make_tmp ("zelm-app-XXXXXX", nullptr);
    dir = d;
    g_free (d);
    g_setenv ("HOME", dir.c_str (), TRUE);
    g_setenv ("XDG_CONFIG_HOME", (dir + "/config").c_str (), TRUE);
    /* The audio driver opens a device that takes every frame and plays
     * nothing, so tests run without a sound card. */
    g_file_set_contents ((dir + "/.asoundrc").c_str (), "pcm.!default { type null }\n", -1,
                         nullptr);
    config = dir + "/config/zelmora/config.json";
    g_mkdir_with_parents ((dir + "/scratch").c_str (), 0755);
  }
  ~Home ()
  {
    std::string cmd = "rm -rf '" + dir + "'";
    if (system (cmd.c_str ()) != 0)
      fprintf (stderr, "could not remove %s\n", dir.c_str ());
  }
};

Home &
home ()
{
  static Home h;
  return h;
}

/* Redirects standard output into a temporary file while alive. */
struct StdoutCapture {
  int saved = -1;
  FILE *tmp = nullptr;
  StdoutCapture ()
  {
    fflush (stdout);
    tmp = tmpfile ();
    saved = dup (STDOUT_FILENO);
    dup2 (fileno (tmp), STDOUT_FILENO);
  }
  /* The test's own output (failures) goes to the real standard output. */
  void pause ()
  {
    fflush (stdout);
    dup2 (saved, STDOUT_FILENO);
  }
  void resume ()
  {
    fflush (stdout);
    dup2 (fileno (tmp), STDOUT_FILENO);
  }
  std::string finish ()
  {
    fflush (stdout);
    dup2 (saved, STDOUT_FILENO);
    close (saved);
    std::string text;
    rewind (tmp);
    char buf[4096];
    size_t n;
    while ((n = fread (buf, 1, sizeof buf, tmp)) > 0)
      text.append (buf, n);
    fclose (tmp);
    return text;
  }
};

struct During {
  const std::function<void (ZelmAppGui *)> *func;
  AppRun *run;
  ZelmAppGui *app;
  StdoutCapture *capture;
};

gboolean
run_during (gpointer data)
{
  auto *d = static_cast<During *> (data);
  d->run->activated = true;
  d->capture->pause ();
  try
    {
      if (*d->func)
        (*d->func) (d->app);
    }
  catch (...)
    {
      ADD_FAILURE () << "exception in the application run";
    }
  d->capture->resume ();
  g_application_quit (G_APPLICATION (d->app));
  return G_SOURCE_REMOVE;
}

void
activated (GApplication *, During *d)
{
  g_idle_add (run_during, d);
}

} // namespace

const std::string &
config_path ()
{
  return home ().config;
}

const std::string &
scratch_dir ()
{
  static std::string s = home ().dir + "/scratch";
  return s;
}

void
remove_config ()
{
  g_unlink (config_path ().c_str ());
}

void
write_config (const std::string &text)
{
  g_autofree char *dir = g_path_get_dirname (config_path ().c_str ());
  g_mkdir_with_parents (dir, 0755);
  ASSERT_TRUE (g_file_set_contents (config_path ().c_str (), text.c_str (), -1, nullptr));
}

AppRun
run_app (const std::vector<std::string> &args, const std::function<void (ZelmAppGui *)> &during)
{
  home ();
  AppRun run;
  ZelmAppGui *app = zelm_app_gui_new ();
  /* Every run is its own instance, whatever else runs on the bus. */
  g_application_set_flags (G_APPLICATION (app),
                           GApplicationFlags (G_APPLICATION_HANDLES_OPEN |
                                              G_APPLICATION_NON_UNIQUE));
  StdoutCapture capture;
  During d = { &during, &run, app, &capture };
  g_signal_connect_after (app, "activate", G_CALLBACK (activated), &d);

  std::vector<char *> argv;
  argv.push_back (const_cast<char *> ("zelmora"));
  for (const auto &a : args)
    argv.push_back (const_cast<char *> (a.c_str ()));
  argv.push_back (nullptr);

  run.status = g_application_run (G_APPLICATION (app), int (argv.size () - 1), argv.data ());
  run.out = capture.finish ();
  g_object_unref (app);
  /* Windows go away on the next iterations. */
  pump ();
  return run;
}

} // namespace zelm_test
