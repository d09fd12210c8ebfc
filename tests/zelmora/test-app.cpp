/* The application object: command line, configuration and its failure
 * modes, driver choice and the restart rule, on applications that get no
 * window; one real run opens files from the command line in the window. */
#include "vorn-test-limits.h"
#include "vorn-test-log.h"
#include "zelm-app-run.h"
#include "zelm-gui-test.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace zelm_test;

namespace {

/* Returns: (transfer full) (nullable): the configuration file's object. */
JsonObject *
saved_config ()
{
  g_autoptr (JsonParser) parser = json_parser_new ();
  if (!json_parser_load_from_file (parser, config_path ().c_str (), nullptr))
    return nullptr;
  JsonNode *root = json_parser_get_root (parser);
  return JSON_NODE_HOLDS_OBJECT (root) ? json_object_ref (json_node_get_object (root)) : nullptr;
}

/* @obj's members in order, "name=value", arrays by their length. */
std::string
flat (JsonObject *obj)
{
  std::string text;
  JsonObjectIter iter;
  const char *name;
  JsonNode *node;
  json_object_iter_init_ordered (&iter, obj);
  while (json_object_iter_next_ordered (&iter, &name, &node))
    {
      g_autofree char *value = JSON_NODE_HOLDS_ARRAY (node)
          ? g_strdup_printf ("[%u]", json_array_get_length (json_node_get_array (node)))
          : json_to_string (node, FALSE);
      text += std::string (text.empty () ? "" : " ") + name + "=" + value;
    }
  return text;
}

class AppTest : public ::testing::Test {
protected:
  void SetUp () override
  {
    remove_config ();
    /* No JACK server to find: never the user's. */
    g_setenv ("JACK_DEFAULT_SERVER", "zelmora-no-such-server", TRUE);
  }
};

} // namespace

/* Every kind of option: what it prints, the status, whether the program goes
 * on (activates), and what it sets. */
TEST_F (AppTest, CommandLine)
{
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
    bool activated;
    std::function<void (ZelmApp *)> check;
  } cases[] = {
    { { "--version" }, 0, "Zelmora 0.9.0\nCurve-morphing synthesizer and instrument editor\n", false, nullptr },
    { { "--audio", "pulseaudio" }, 1, "Invalid audio driver 'pulseaudio'\n", false, nullptr },
    { { "-m", "" }, 1, "Invalid MIDI driver name ''\n", false, nullptr },
    { { "--disable-audio", "-r", "synth.example", "-p", "512", "-s", "64" }, 0, "", true,
      [] (ZelmApp *app) {
        gboolean enabled = TRUE;
        int packet = 0;
        g_object_get (app, "audio-enabled", &enabled, "packet-size", &packet, nullptr);
        EXPECT_FALSE (enabled);
        EXPECT_EQ (packet, 64);
        /* No drivers, but a synthesizer that runs. */
        EXPECT_EQ (zelm_app_get_audio_driver (app), nullptr);
        EXPECT_EQ (zelm_app_get_midi_driver (app), nullptr);
        g_autoptr (VornSynth) synth = zelm_app_get_synth (app);
        EXPECT_TRUE (vorn_synth_is_started (synth));
      } },
  };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (c.args[0] + " " + (c.args.size () > 1 ? c.args[1] : ""));
      g_autoptr (ZelmApp) app = zelm_app_new ();
      auto run = run_command_line (app, c.args);
      EXPECT_EQ (run.status, c.status);
      EXPECT_EQ (run.out, c.out);
      EXPECT_EQ (run.activated, c.activated);
      if (c.check)
        c.check (app);
      EXPECT_FALSE (g_file_test (config_path ().c_str (), G_FILE_TEST_EXISTS));
    }
}

/* Saving writes the documented layout, member by member: the configuration
 * properties of the application and its window side, then the synthesizer
 * with its audio driver last. */
TEST_F (AppTest, SavedLayout)
{
  g_autoptr (ZelmAppGui) gui = zelm_app_gui_new ();
  g_autoptr (GError) err = nullptr;
  ASSERT_TRUE (zelm_app_save_config (ZELM_APP (gui), &err)) << err->message;
  g_autoptr (JsonObject) doc = saved_config ();
  ASSERT_NE (doc, nullptr);
  EXPECT_EQ (flat (doc), "type=\"ZelmConfig\" config-version=\"1.0\" software-created=\"0.9.0\" "
                        "software-edited=\"0.9.0\" audio-driver=\"Auto\" midi-driver=\"Auto\" "
                        "tree-width=-1 tree-height=-1 "
                        "lower-note=48 upper-note=60 lower-keys=[17] upper-keys=[20] "
                        "gtk-theme=\"BlueSky-Dark\" icon-theme=\"elementary\"");

  /* A running application adds its synthesizer and driver. */
  g_autoptr (ZelmApp) app = zelm_app_new ();
  run_command_line (app, {});
  ASSERT_TRUE (zelm_app_save_config (app, nullptr));
  g_clear_pointer (&doc, json_object_unref);
  doc = saved_config ();
  ASSERT_NE (doc, nullptr);
  JsonArray *synths = json_object_get_array_member (doc, "synths");
  ASSERT_EQ (json_array_get_length (synths), 1u);
  std::string synth = flat (json_array_get_object_element (synths, 0));
  EXPECT_EQ (synth.rfind ("type=\"VornSynthCpu\" ", 0), 0u) << synth;
  /* Last, the driver's part: its type first. */
  EXPECT_EQ (synth.substr (synth.rfind (' ') + 1).rfind ("audio-driver-config={\"type\":\"VornAudioDriverPort\"", 0), 0u)
      << synth;
}

/* What a configuration file sets, and what it cannot: a wrong type for a
 * key list leaves it empty, and the first writer's version survives every
 * later save. */
TEST_F (AppTest, LoadsConfiguration)
{
  write_config (R"({
    "type": "ZelmConfig", "software-created": "0.1.0",
    "lower-note": 36, "upper-note": 72, "midi-driver": "JACK",
    "lower-keys": ["a", "b"],
    "upper-keys": "q",
    "synths": [ { "type": "VornSynthCpu", "max-voices": 32,
                  "audio-driver-config": { "type": "VornAudioDriverPort" } } ]
  })");
  g_autoptr (ZelmAppGui) gui = zelm_app_gui_new ();
  g_autoptr (GError) err = nullptr;
  ASSERT_TRUE (zelm_app_load_config (ZELM_APP (gui), &err)) << err->message;
  int lower = 0, upper = 0, midi = 0;
  g_autoptr (GArray) lower_keys = nullptr;
  g_autoptr (GArray) upper_keys = nullptr;
  g_object_get (gui, "lower-note", &lower, "upper-note", &upper, "midi-driver", &midi,
                "lower-keys", &lower_keys, "upper-keys", &upper_keys, nullptr);
  EXPECT_EQ (lower, 36);
  EXPECT_EQ (upper, 72);
  EXPECT_EQ (midi, VORN_MIDI_DRIVER_AVAILABLE_JACK);
  ASSERT_EQ (lower_keys->len, 2u);
  EXPECT_EQ (g_value_get_uint (&g_array_index (lower_keys, GValue, 0)), guint (GDK_KEY_a));
  EXPECT_EQ (g_value_get_uint (&g_array_index (lower_keys, GValue, 1)), guint (GDK_KEY_b));
  EXPECT_EQ (upper_keys->len, 0u);
  for (int i = 0; i < 2; i++)
    EXPECT_TRUE (zelm_app_save_config (ZELM_APP (gui), nullptr));
  g_autoptr (JsonObject) doc = saved_config ();
  EXPECT_STREQ (json_object_get_string_member (doc, "software-created"), "0.1.0");
  EXPECT_STREQ (json_object_get_string_member (doc, "midi-driver"), "JACK");

  /* Read at start-up; the saves above kept no synthesizer part. */
  write_config (R"({ "synths": [ { "type": "VornSynthCpu", "max-voices": 32 } ] })");
  g_autoptr (ZelmApp) app = zelm_app_new ();
  run_command_line (app, { "--disable-audio" });
  g_autoptr (VornSynth) synth = zelm_app_get_synth (app);
  guint voices = 0;
  g_object_get (synth, "max-voices", &voices, nullptr);
  EXPECT_EQ (voices, 32u);
}

/* A file that is not a configuration, or not a file at all: the caller gets
 * the error, start-up logs it and keeps the defaults, and never blocks or
 * runs out of stack; a missing file is no error at start-up. */
TEST_F (AppTest, BadConfiguration)
{
  const std::string deep (200000, '[');
  struct {
    std::string text; /* empty: a FIFO */
    const char *message;
  } cases[] = {
    { "[ 1, 2 ]", "Unexpected config file JSON data" },
    { "{ \"lower-note\": ", "config.json': <data>:1:16: Parse error" },
    { deep, "JSON data nested more than 64 levels deep" },
    { std::string (2 << 20, ' '), "configuration files are limited to 1 MiB" },
    { "", "it is not a regular file" },
  };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (c.message);
      if (c.text.empty ())
        {
          remove_config ();
          ASSERT_EQ (mkfifo (config_path ().c_str (), 0600), 0);
        }
      else
        write_config (c.text);
      g_autoptr (ZelmAppGui) gui = zelm_app_gui_new ();
      g_autoptr (GError) err = nullptr;
      EXPECT_FALSE (zelm_app_load_config (ZELM_APP (gui), &err));
      ASSERT_NE (err, nullptr);
      EXPECT_NE (strstr (err->message, c.message), nullptr) << err->message;
      int lower = 0;
      g_object_get (gui, "lower-note", &lower, nullptr);
      EXPECT_EQ (lower, 48);

      g_autoptr (ZelmApp) app = zelm_app_new ();
      EXPECT_EQ (run_command_line (app, { "--disable-audio" }).status, 0);
      EXPECT_WARNING ((std::string ("Failed to load configuration file: ") + err->message).c_str ());
    }
  remove_config ();
  g_autoptr (ZelmApp) app = zelm_app_new ();
  EXPECT_EQ (run_command_line (app, { "--disable-audio" }).status, 0);
}

/* Saving replaces the file the configuration's name links to, in its mode;
 * the link stays. */
TEST_F (AppTest, SaveKeepsLinkAndMode)
{
  const std::string real = scratch_dir () + "/dotfiles-config.json";
  ASSERT_TRUE (g_file_set_contents (real.c_str (), "{}", -1, nullptr));
  ASSERT_EQ (g_chmod (real.c_str (), 0600), 0);
  remove_config ();
  ASSERT_EQ (symlink (real.c_str (), config_path ().c_str ()), 0);

  g_autoptr (ZelmAppGui) gui = zelm_app_gui_new ();
  g_autoptr (GError) err = nullptr;
  ASSERT_TRUE (zelm_app_save_config (ZELM_APP (gui), &err)) << err->message;
  g_autofree char *target = g_file_read_link (config_path ().c_str (), nullptr);
  EXPECT_STREQ (target, real.c_str ());
  struct stat st;
  ASSERT_EQ (g_stat (real.c_str (), &st), 0);
  EXPECT_EQ (st.st_mode & 0777, 0600u);
  g_autoptr (JsonObject) saved = saved_config ();
  ASSERT_NE (saved, nullptr);
  EXPECT_STREQ (json_object_get_string_member (saved, "type"), "ZelmConfig");
  remove_config ();
}

/* A failed save reports why and leaves the previous file as it was: a
 * write cut short (a file size limit, as a full disk would, and even for
 * root) and a configuration directory that cannot be made. */
TEST_F (AppTest, FailedSaveKeepsThePreviousFile)
{
  const std::string before = "{ \"type\": \"ZelmConfig\", \"lower-note\": 24 }";
  write_config (before);
  g_autoptr (ZelmAppGui) gui = zelm_app_gui_new ();
  struct rlimit old_limit, limit;
  getrlimit (RLIMIT_FSIZE, &old_limit);
  limit = old_limit;
  limit.rlim_cur = 16;
  auto old_handler = signal (SIGXFSZ, SIG_IGN);
  setrlimit (RLIMIT_FSIZE, &limit);
  g_autoptr (GError) err = nullptr;
  gboolean ok = zelm_app_save_config (ZELM_APP (gui), &err);
  setrlimit (RLIMIT_FSIZE, &old_limit);
  signal (SIGXFSZ, old_handler);
  EXPECT_FALSE (ok);
  EXPECT_NE (err, nullptr);
  g_autofree char *text = nullptr;
  ASSERT_TRUE (g_file_get_contents (config_path ().c_str (), &text, nullptr, nullptr));
  EXPECT_EQ (text, before);

  /* The configuration directory is a plain file. */
  remove_config ();
  g_autofree char *dir = g_path_get_dirname (config_path ().c_str ());
  ASSERT_EQ (g_rmdir (dir), 0);
  ASSERT_TRUE (g_file_set_contents (dir, "", 0, nullptr));
  g_clear_error (&err);
  EXPECT_FALSE (zelm_app_save_config (ZELM_APP (gui), &err));
  EXPECT_TRUE (g_error_matches (err, G_FILE_ERROR, G_FILE_ERROR_NOTDIR)) << err->message;
  g_unlink (dir);
}

/* Files named on the command line open in the window before the bank; one
 * that fails is reported in the window and on standard error, and the
 * others still open; the first instrument of the first file is the one that
 * plays; the window says why there is no sound. */
TEST_F (AppTest, WindowShowsFilesFromTheCommandLine)
{
  std::string first = write_instrument_file ("first", "Lead");
  std::string second = write_instrument_file ("second", "Pad");
  std::string broken = scratch_dir () + "/broken.vvi";
  ASSERT_TRUE (g_file_set_contents (broken.c_str (), "{ \"format\": ", -1, nullptr));

  auto run = run_app ({ "--disable-audio", first, broken, second }, [] (ZelmAppGui *app) {
    std::vector<std::string> names;
    for (GList *l = zelm_app_get_files_no_copy (ZELM_APP (app)); l; l = l->next)
      {
        g_autofree char *name = nullptr;
        g_object_get (l->data, "name", &name, nullptr);
        names.push_back (name);
      }
    ASSERT_EQ (names.size (), 3u);
    EXPECT_EQ (names[0], "first");
    EXPECT_EQ (names[1], "second");
    g_autoptr (VornSynth) synth = zelm_app_get_synth (ZELM_APP (app));
    VornInst *cur = vorn_synth_get_inst (synth, 0);
    ASSERT_NE (cur, nullptr);
    g_autofree char *inst_name = nullptr;
    g_object_get (cur, "name", &inst_name, nullptr);
    EXPECT_STREQ (inst_name, "Lead");
    EXPECT_TRUE (gtk_widget_get_visible (widget (app, "AudioInfoBar")));
    EXPECT_STREQ (gtk_label_get_text (GTK_LABEL (widget (app, "AudioInfoLabel"))),
                  "Audio output is off: it was disabled on the command line.");
    EXPECT_TRUE (gtk_widget_get_visible (widget (app, "OpenInfoBar")));
    const std::string shown = gtk_label_get_text (GTK_LABEL (widget (app, "OpenInfoLabel")));
    EXPECT_EQ (shown.rfind ("Some files could not be opened:\n", 0), 0u) << shown;
    EXPECT_NE (shown.find ("broken.vvi: "), std::string::npos) << shown;
    EXPECT_EQ (shown.find ("first.vvi"), std::string::npos) << shown;
  });
  EXPECT_EQ (run.status, 0);
  EXPECT_TRUE (run.activated);
  EXPECT_EQ (run.out, "");
  /* One line: the loader's message for the broken file. */
  ASSERT_FALSE (run.err.empty ());
  EXPECT_EQ (run.err.find ('\n'), run.err.size () - 1) << run.err;
  EXPECT_EQ (run.err.rfind ("zelmora: " + broken + ": ", 0), 0u) << run.err;
}

/* Render threads the system refuses: the program runs without sound and
 * says why, instead of aborting.  In a child process whose address space
 * has room for the heap but not for the threads' stacks; sanitizers map
 * their own memory for each thread and cannot run under such a limit. */
TEST_F (AppTest, RefusedRenderThreadsLeaveTheProgramSilent)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP () << "address-space limits do not apply under a sanitizer";
#endif
  /* More threads than the C library keeps stacks cached for. */
  write_config ("{ \"type\": \"ZelmConfig\", \"synths\": [ { \"type\": \"VornSynthCpu\", "
                "\"cores\": 64 } ] }");
  const pid_t pid = fork ();
  ASSERT_GE (pid, 0);
  if (pid == 0)
    {
      if (!vorn_test_limit_address_space (64u << 20))
        _exit (11);
      ZelmApp *app = zelm_app_new ();
      AppRun run = run_command_line (app, { "--disable-audio" });
      const char *error = zelm_app_get_audio_error (app);
      if (run.status != 0 || !run.activated)
        _exit (12);
      if (!error || !g_str_has_prefix (error, "the synthesizer did not start: Cannot start render thread"))
        _exit (13);
      if (run.err.find ("Sound is off: the synthesizer did not start") == std::string::npos)
        _exit (14);
      _exit (0);
    }
  int status = 0;
  ASSERT_EQ (waitpid (pid, &status, 0), pid);
  remove_config ();
  ASSERT_TRUE (WIFEXITED (status)) << "the child died of signal " << WTERMSIG (status);
  EXPECT_EQ (WEXITSTATUS (status), 0) << "step " << WEXITSTATUS (status) << " failed";
}
