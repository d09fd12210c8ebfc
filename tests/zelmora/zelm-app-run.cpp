/* zelm-app-run.cpp: runs the application in the test process */
#include "zelm-app-run.h"
#include "zelm-gui-test.h"
#include "zelm-window-private.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
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

/* Redirects a standard stream (its descriptor @fd) into a temporary file
 * while alive. */
struct StreamCapture {
  FILE *stream;
  int fd;
  int saved = -1;
  FILE *tmp = nullptr;
  StreamCapture (FILE *stream_, int fd_) : stream (stream_), fd (fd_)
  {
    fflush (stream);
    tmp = tmpfile ();
    saved = dup (fd);
    dup2 (fileno (tmp), fd);
  }
  std::string finish ()
  {
    fflush (stream);
    dup2 (saved, fd);
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
};

gboolean
run_during (gpointer data)
{
  auto *d = static_cast<During *> (data);
  d->run->activated = true;
  try
    {
      if (*d->func)
        (*d->func) (d->app);
    }
  catch (...)
    {
      ADD_FAILURE () << "exception in the application run";
    }
  g_application_quit (G_APPLICATION (d->app));
  return G_SOURCE_REMOVE;
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

std::string
write_instrument_file (const char *name, const char *inst_name)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  g_object_set (file, "name", name, nullptr);
  g_autoptr (VornInst) inst = vorn_inst_new_default ();
  g_object_set (inst, "name", inst_name, nullptr);
  vorn_node_insert (VORN_NODE (file), VORN_NODE (inst), -1);
  std::string path = scratch_dir () + "/" + name + ".vvi";
  EXPECT_TRUE (vorn_file_save (file, path.c_str (), nullptr));
  return path;
}

/* Runs @app with @args through g_application_run, standard output captured;
 * @d, when given, runs once the application is activated. */
static AppRun
run (GApplication *app, const std::vector<std::string> &args, During *d)
{
  home ();
  AppRun result;
  /* Every run is its own instance, whatever else runs on the bus. */
  g_application_set_flags (app, GApplicationFlags (G_APPLICATION_HANDLES_OPEN |
                                                   G_APPLICATION_NON_UNIQUE));
  StreamCapture capture (stdout, STDOUT_FILENO), capture_err (stderr, STDERR_FILENO);
  if (d)
    {
      d->run = &result;
      g_signal_connect_after (app, "activate",
                              G_CALLBACK (+[] (GApplication *, During *dd) { g_idle_add (run_during, dd); }), d);
    }

  std::vector<char *> argv;
  argv.push_back (const_cast<char *> ("zelmora"));
  for (const auto &a : args)
    argv.push_back (const_cast<char *> (a.c_str ()));
  argv.push_back (nullptr);

  result.status = g_application_run (app, int (argv.size () - 1), argv.data ());
  result.out = capture.finish ();
  result.err = capture_err.finish ();
  /* The test's own messages went there too: show them on failure. */
  if (::testing::Test::HasFailure ())
    printf ("%s%s", result.out.c_str (), result.err.c_str ());
  return result;
}

AppRun
run_app (const std::vector<std::string> &args, const std::function<void (ZelmAppGui *)> &during)
{
  ZelmAppGui *app = zelm_app_gui_new ();
  During d = { &during, nullptr, app };
  AppRun result = run (G_APPLICATION (app), args, &d);
  g_object_unref (app);
  /* Windows go away on the next iterations. */
  pump ();
  return result;
}

AppRun
run_command_line (ZelmApp *app, const std::vector<std::string> &args)
{
  AppRun result = run (G_APPLICATION (app), args, nullptr);
  g_autoptr (VornSynth) synth = zelm_app_get_synth (app);
  result.activated = synth != nullptr;
  return result;
}

/* ---- the main window under test ------------------------------------------ */

ZelmWindow *
main_window (ZelmAppGui *app)
{
  for (GList *l = gtk_application_get_windows (GTK_APPLICATION (app)); l; l = l->next)
    if (ZELM_IS_WINDOW (l->data))
      return ZELM_WINDOW (l->data);
  return nullptr;
}

GtkWidget *
widget (ZelmAppGui *app, const char *id)
{
  return GTK_WIDGET (gtk_widget_get_template_child (GTK_WIDGET (main_window (app)),
                                                    ZELM_TYPE_WINDOW, id));
}

static GActionGroup *
action_group (ZelmAppGui *app, const char **name)
{
  bool win = g_str_has_prefix (*name, "win.");
  *name += 4;
  return win ? G_ACTION_GROUP (main_window (app)) : G_ACTION_GROUP (app);
}

void
activate (ZelmAppGui *app, const char *name)
{
  GActionGroup *group = action_group (app, &name);
  g_action_group_activate_action (group, name, nullptr);
  pump ();
}

bool
enabled (ZelmAppGui *app, const char *name)
{
  GActionGroup *group = action_group (app, &name);
  return g_action_group_get_action_enabled (group, name);
}

GtkWidget *
splash ()
{
  return find_toplevel ([] (GtkWidget *w) {
    return gtk_window_get_type_hint (GTK_WINDOW (w)) == GDK_WINDOW_TYPE_HINT_SPLASHSCREEN;
  });
}

void
dismiss_splash (ZelmAppGui *app)
{
  /* The splash may close itself at any moment: only a live one is clicked. */
  GtkWidget *s = splash ();
  if (s)
    {
      g_object_add_weak_pointer (G_OBJECT (s), reinterpret_cast<gpointer *> (&s));
      wait_for ([&s] {
        GdkWindow *w = s ? gtk_widget_get_window (s) : nullptr;
        return !s || (w && gdk_window_is_viewable (w));
      });
      if (s)
        click (s, 10, 10);
      EXPECT_TRUE (wait_for ([] { return splash () == nullptr; }));
      if (s)
        g_object_remove_weak_pointer (G_OBJECT (s), reinterpret_cast<gpointer *> (&s));
    }
  wait_drawn (GTK_WIDGET (main_window (app)));
  pointer_move (widget (app, "CurveScopeNotebook"), 200, 200);
}

GtkWidget *
find_toplevel (const std::function<bool (GtkWidget *)> &match)
{
  GList *all = gtk_window_list_toplevels ();
  GtkWidget *found = nullptr;
  for (GList *l = all; l && !found; l = l->next)
    if (gtk_widget_get_visible (GTK_WIDGET (l->data)) && match (GTK_WIDGET (l->data)))
      found = GTK_WIDGET (l->data);
  g_list_free (all);
  return found;
}

GtkWidget *
wait_toplevel (GType type)
{
  GtkWidget *found = nullptr;
  wait_for ([&found, type] {
    found = find_toplevel ([type] (GtkWidget *w) { return G_TYPE_CHECK_INSTANCE_TYPE (w, type); });
    return found != nullptr;
  });
  return found;
}

void
select_row (ZelmAppGui *app, VornNode *node)
{
  zelm_tree_select (main_window (app)->tree, node);
  pump ();
}

} // namespace zelm_test
