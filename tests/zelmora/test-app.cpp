/* The application object: command line, files from the command line, the
 * configuration file and driver restarts, run through g_application_run. */
#include "vorn-test-log.h"
#include "zelm-app-run.h"
#include "zelm-gui-test.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/resource.h>
#include <vector>

using zelm_test::run_app;

namespace {

const char banner[] = "Zelmora 0.9.0\nCurve-morphing synthesizer and instrument editor";

std::string
read_file (const std::string &path)
{
  g_autofree char *text = nullptr;
  if (!g_file_get_contents (path.c_str (), &text, nullptr, nullptr))
    return {};
  return text;
}

JsonObject *
parse_object (const std::string &text)
{
  g_autoptr (JsonParser) parser = json_parser_new ();
  if (!json_parser_load_from_data (parser, text.c_str (), -1, nullptr))
    return nullptr;
  JsonNode *root = json_parser_get_root (parser);
  return JSON_NODE_HOLDS_OBJECT (root) ? json_object_ref (json_node_get_object (root)) : nullptr;
}

std::vector<std::string>
member_names (JsonObject *obj)
{
  std::vector<std::string> names;
  JsonObjectIter iter;
  const char *name;
  json_object_iter_init_ordered (&iter, obj);
  while (json_object_iter_next_ordered (&iter, &name, nullptr))
    names.push_back (name);
  return names;
}

std::string
write_instrument_file (const char *name, const char *inst_name)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  g_object_set (file, "name", name, nullptr);
  g_autoptr (VornInst) inst = vorn_inst_new_default ();
  g_object_set (inst, "name", inst_name, nullptr);
  vorn_node_insert (VORN_NODE (file), VORN_NODE (inst), -1);
  std::string path = zelm_test::scratch_dir () + "/" + name + ".vvi";
  EXPECT_TRUE (vorn_file_save (file, path.c_str (), nullptr));
  return path;
}

class AppTest : public ::testing::Test {
protected:
  void SetUp () override { zelm_test::remove_config (); }
};

} // namespace

/* Options that end the program before any window: their output, status, and
 * that nothing was written. */
TEST_F (AppTest, CommandLineExits)
{
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  } cases[] = {
    { { "--version" }, 0, std::string (banner) + "\n" },
    { { "-v" }, 0, std::string (banner) + "\n" },
    { { "--audio", "help" },
      0,
      std::string (banner) + "\n-a, --audio options (audio driver):\nAuto\nPortAudio\nJACK\n" },
    { { "-m", "help" },
      0,
      std::string (banner) + "\n-m, --midi options (MIDI driver):\nAuto\nALSA\nJACK\n" },
    { { "--audio", "pulseaudio" }, 1, "Invalid audio driver 'pulseaudio'\n" },
    { { "-a", "" }, 1, "Invalid audio driver ''\n" },
    { { "--midi", "oss" }, 1, "Invalid MIDI driver name 'oss'\n" },
    { { "-m", "" }, 1, "Invalid MIDI driver name ''\n" },
    { { "--midi", "alsa2" }, 1, "Invalid MIDI driver name 'alsa2'\n" },
  };
  for (const auto &c : cases)
    {
      auto run = run_app (c.args);
      SCOPED_TRACE (c.args[0]);
      EXPECT_EQ (run.status, c.status);
      EXPECT_EQ (run.out, c.out);
      EXPECT_FALSE (run.activated);
      EXPECT_FALSE (g_file_test (zelm_test::config_path ().c_str (), G_FILE_TEST_EXISTS));
    }
}

TEST_F (AppTest, DisableAudioStartsNoDrivers)
{
  auto run = run_app ({ "--disable-audio", "-r", "synth.example", "-p", "512", "-s", "64" },
                      [] (ZelmAppGui *app) {
    gboolean enabled = TRUE;
    int pad = 0, packet = 0;
    g_autofree char *host = nullptr;
    g_object_get (app, "audio-enabled", &enabled, "remote-host", &host, "pad-size", &pad,
                  "packet-size", &packet, nullptr);
    EXPECT_FALSE (enabled);
    EXPECT_STREQ (host, "synth.example");
    EXPECT_EQ (pad, 512);
    EXPECT_EQ (packet, 64);
    EXPECT_EQ (zelm_app_get_audio_driver (ZELM_APP (app)), nullptr);
    g_autoptr (VornSynth) synth = zelm_app_get_synth (ZELM_APP (app));
    EXPECT_TRUE (vorn_synth_is_started (synth));
    /* The window says why there is no sound. */
    GtkWidget *bar = zelm_test::widget (app, "AudioInfoBar");
    EXPECT_TRUE (gtk_widget_get_visible (bar));
    EXPECT_STREQ (gtk_label_get_text (GTK_LABEL (zelm_test::widget (app, "AudioInfoLabel"))),
                  "Audio output is off: it was disabled on the command line.");
  });
  EXPECT_EQ (run.status, 0);
  EXPECT_TRUE (run.activated);
}

/* --midi takes the listed names in any case.  A MIDI input that cannot
 * start leaves the program running, says why in the window, and the choice
 * is still what the configuration saves. */
TEST_F (AppTest, MidiDriverFromTheCommandLine)
{
  const bool have_seq = g_file_test ("/dev/snd/seq", G_FILE_TEST_EXISTS);
  /* No JACK server to find: never the user's. */
  g_setenv ("JACK_DEFAULT_SERVER", "zelmora-no-such-server", TRUE);

  auto run = run_app ({ "--midi", "jack" }, [] (ZelmAppGui *app) {
    int midi = -1;
    g_object_get (app, "midi-driver", &midi, nullptr);
    EXPECT_EQ (midi, VORN_MIDI_DRIVER_AVAILABLE_JACK);
    EXPECT_EQ (zelm_app_get_midi_driver (ZELM_APP (app)), nullptr);
    EXPECT_STREQ (zelm_app_get_midi_error (ZELM_APP (app)),
                  "Error opening JACK client: cannot connect to the JACK server");
    EXPECT_NE (zelm_app_get_audio_driver (ZELM_APP (app)), nullptr) << "sound is unaffected";
    GtkWidget *bar = zelm_test::widget (app, "AudioInfoBar");
    EXPECT_TRUE (gtk_widget_get_visible (bar));
    EXPECT_STREQ (gtk_label_get_text (GTK_LABEL (zelm_test::widget (app, "AudioInfoLabel"))),
                  "MIDI input is off: Error opening JACK client: cannot connect to the JACK server");
    g_autoptr (GError) err = nullptr;
    EXPECT_TRUE (zelm_app_save_config (ZELM_APP (app), &err)) << err->message;
  });
  EXPECT_EQ (run.status, 0);
  EXPECT_TRUE (run.activated);
  g_autoptr (JsonObject) doc = parse_object (read_file (zelm_test::config_path ()));
  ASSERT_NE (doc, nullptr);
  EXPECT_STREQ (json_object_get_string_member (doc, "midi-driver"), "JACK");

  zelm_test::remove_config ();
  run = run_app ({ "-m", "ALSA" }, [have_seq] (ZelmAppGui *app) {
    int midi = -1;
    g_object_get (app, "midi-driver", &midi, nullptr);
    EXPECT_EQ (midi, VORN_MIDI_DRIVER_AVAILABLE_ALSA);
    VornMidiDriver *driver = zelm_app_get_midi_driver (ZELM_APP (app));
    const char *error = zelm_app_get_midi_error (ZELM_APP (app));
    if (have_seq)
      {
        ASSERT_NE (driver, nullptr);
        EXPECT_TRUE (vorn_midi_driver_is_running (driver));
      }
    else
      {
        EXPECT_EQ (driver, nullptr);
        ASSERT_NE (error, nullptr);
        EXPECT_NE (strstr (error, "/dev/snd/seq"), nullptr) << error;
      }
  });
  EXPECT_EQ (run.status, 0);

  /* Auto without a sequencer is no MIDI and no complaint. */
  run = run_app ({ "--midi", "AUTO" }, [have_seq] (ZelmAppGui *app) {
    EXPECT_EQ (zelm_app_get_midi_error (ZELM_APP (app)), nullptr);
    EXPECT_EQ (zelm_app_get_midi_driver (ZELM_APP (app)) != nullptr, have_seq);
    EXPECT_FALSE (gtk_widget_get_visible (zelm_test::widget (app, "AudioInfoBar")));
  });
  EXPECT_EQ (run.status, 0);
}

/* Files named on the command line open before the bank; one that fails is
 * reported on standard output and the others still open; the first
 * instrument of the first file is the one that plays. */
TEST_F (AppTest, OpensFilesFromTheCommandLine)
{
  std::string first = write_instrument_file ("first", "Lead");
  std::string second = write_instrument_file ("second", "Pad");
  std::string broken = zelm_test::scratch_dir () + "/broken.vvi";
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

    /* The first instrument of the first file plays at once. */
    g_autoptr (VornSynth) synth = zelm_app_get_synth (ZELM_APP (app));
    VornInst *cur = vorn_synth_get_inst (synth, 0);
    ASSERT_NE (cur, nullptr);
    g_autofree char *inst_name = nullptr;
    g_object_get (cur, "name", &inst_name, nullptr);
    EXPECT_STREQ (inst_name, "Lead");
  });
  EXPECT_EQ (run.status, 0);
  /* One line: the loader's message for the broken file. */
  ASSERT_FALSE (run.out.empty ());
  EXPECT_EQ (run.out.find ('\n'), run.out.size () - 1) << run.out;
  EXPECT_NE (run.out.find ("broken.vvi"), std::string::npos) << run.out;
}

/* No file: defaults and not a word in the log (unclaimed warnings fail the
 * test).  Saving writes the documented layout, member by member. */
TEST_F (AppTest, DefaultsAndSavedLayout)
{
  run_app ({}, [] (ZelmAppGui *app) {
    int lower = 0, upper = 0, audio = -1;
    g_autofree char *theme = nullptr;
    g_object_get (app, "lower-note", &lower, "upper-note", &upper, "audio-driver", &audio,
                  "gtk-theme", &theme, nullptr);
    EXPECT_EQ (lower, 48);
    EXPECT_EQ (upper, 60);
    EXPECT_EQ (audio, 0);
    EXPECT_STREQ (theme, "BlueSky-Dark");
    ASSERT_NE (zelm_app_get_audio_driver (ZELM_APP (app)), nullptr);

    g_autoptr (GError) err = nullptr;
    EXPECT_TRUE (zelm_app_save_config (ZELM_APP (app), &err)) << err->message;
  });

  g_autoptr (JsonObject) doc = parse_object (read_file (zelm_test::config_path ()));
  ASSERT_NE (doc, nullptr);
  EXPECT_EQ (member_names (doc),
             (std::vector<std::string>{ "type", "config-version", "software-created",
                                        "software-edited", "audio-driver", "midi-driver",
                                        "lower-note", "upper-note", "lower-keys", "upper-keys",
                                        "gtk-theme", "icon-theme", "synths" }));
  EXPECT_STREQ (json_object_get_string_member (doc, "type"), "ZelmConfig");
  EXPECT_STREQ (json_object_get_string_member (doc, "config-version"), "1.0");
  EXPECT_STREQ (json_object_get_string_member (doc, "software-created"), "0.9.0");
  EXPECT_STREQ (json_object_get_string_member (doc, "software-edited"), "0.9.0");
  EXPECT_STREQ (json_object_get_string_member (doc, "audio-driver"), "Auto");
  EXPECT_STREQ (json_object_get_string_member (doc, "midi-driver"), "Auto");
  EXPECT_EQ (json_object_get_int_member (doc, "lower-note"), 48);
  EXPECT_STREQ (json_object_get_string_member (doc, "icon-theme"), "elementary");

  /* The keys as names (the naming itself is the keyboard model's). */
  JsonArray *lower = json_object_get_array_member (doc, "lower-keys");
  ASSERT_EQ (json_array_get_length (lower), 17u);
  EXPECT_STREQ (json_array_get_string_element (lower, 12), "comma");

  JsonArray *synths = json_object_get_array_member (doc, "synths");
  ASSERT_EQ (json_array_get_length (synths), 1u);
  JsonObject *synth = json_array_get_object_element (synths, 0);
  auto synth_members = member_names (synth);
  EXPECT_EQ (synth_members.front (), "type");
  EXPECT_EQ (synth_members.back (), "audio-driver-config");
  EXPECT_STREQ (json_object_get_string_member (synth, "type"), "VornSynthCpu");
  JsonObject *drv = json_object_get_object_member (synth, "audio-driver-config");
  EXPECT_EQ (member_names (drv).front (), "type");
  EXPECT_STREQ (json_object_get_string_member (drv, "type"), "VornAudioDriverPort");
}

/* What a configuration file sets, and what it cannot. */
TEST_F (AppTest, LoadsConfiguration)
{
  zelm_test::write_config (R"({
    "type": "ZelmConfig", "software-created": "0.1.0",
    "lower-note": 36, "upper-note": 72,
    "lower-keys": ["a", "b"],
    "upper-keys": "q",
    "synths": [ { "type": "VornSynthCpu", "max-voices": 32,
                  "audio-driver-config": { "type": "VornAudioDriverPort" } } ]
  })");
  run_app ({}, [] (ZelmAppGui *app) {
    int lower = 0, upper = 0;
    g_autoptr (GArray) lower_keys = nullptr;
    g_autoptr (GArray) upper_keys = nullptr;
    g_object_get (app, "lower-note", &lower, "upper-note", &upper, "lower-keys", &lower_keys,
                  "upper-keys", &upper_keys, nullptr);
    EXPECT_EQ (lower, 36);
    EXPECT_EQ (upper, 72);
    ASSERT_EQ (lower_keys->len, 2u);
    EXPECT_EQ (g_value_get_uint (&g_array_index (lower_keys, GValue, 0)), guint (GDK_KEY_a));
    EXPECT_EQ (g_value_get_uint (&g_array_index (lower_keys, GValue, 1)), guint (GDK_KEY_b));
    EXPECT_EQ (upper_keys->len, 0u);

    g_autoptr (VornSynth) synth = zelm_app_get_synth (ZELM_APP (app));
    guint max_voices = 0;
    g_object_get (synth, "max-voices", &max_voices, nullptr);
    EXPECT_EQ (max_voices, 32u);

    /* The first writer's version survives every later save. */
    for (int i = 0; i < 2; i++)
      EXPECT_TRUE (zelm_app_save_config (ZELM_APP (app), nullptr));
  });
  g_autoptr (JsonObject) doc = parse_object (read_file (zelm_test::config_path ()));
  EXPECT_STREQ (json_object_get_string_member (doc, "software-created"), "0.1.0");
  JsonArray *keys = json_object_get_array_member (doc, "lower-keys");
  ASSERT_EQ (json_array_get_length (keys), 2u);
  EXPECT_STREQ (json_array_get_string_element (keys, 1), "b");
}

TEST_F (AppTest, ConfigurationOfAnotherSynthesizerIsIgnored)
{
  zelm_test::write_config (R"({ "synths": [ { "type": "VornSynthGpu", "max-voices": 32 } ] })");
  run_app ({}, [] (ZelmAppGui *app) {
    g_autoptr (VornSynth) synth = zelm_app_get_synth (ZELM_APP (app));
    guint max_voices = 0;
    g_object_get (synth, "max-voices", &max_voices, nullptr);
    EXPECT_NE (max_voices, 32u);
  });
}

TEST_F (AppTest, BadConfigurationIsLoggedAndDefaultsStay)
{
  zelm_test::write_config ("[ 1, 2 ]");
  run_app ({}, [] (ZelmAppGui *app) {
    EXPECT_WARNING ("Failed to load configuration file: Unexpected config file JSON data");
    int lower = 0;
    g_object_get (app, "lower-note", &lower, nullptr);
    EXPECT_EQ (lower, 48);

    /* A direct load reports the same error to the caller. */
    g_autoptr (GError) err = nullptr;
    EXPECT_FALSE (zelm_app_load_config (ZELM_APP (app), &err));
    EXPECT_TRUE (g_error_matches (err, VORN_ERROR, VORN_ERROR_INVALID_DATA));
  });

  zelm_test::write_config ("{ \"lower-note\": ");
  run_app ({}, [] (ZelmAppGui *) { EXPECT_WARNING ("Failed to load configuration file: "); });
}

/* A failed save leaves the previous file as it was. */
TEST_F (AppTest, FailedSaveKeepsThePreviousFile)
{
  const std::string before = "{ \"type\": \"ZelmConfig\", \"lower-note\": 24 }";
  zelm_test::write_config (before);
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    /* A file size limit makes the write fail part way, as a full disk
     * would (and works even for root). */
    struct rlimit old_limit, limit;
    getrlimit (RLIMIT_FSIZE, &old_limit);
    limit = old_limit;
    limit.rlim_cur = 16;
    auto old_handler = signal (SIGXFSZ, SIG_IGN);
    setrlimit (RLIMIT_FSIZE, &limit);
    g_autoptr (GError) err = nullptr;
    gboolean ok = zelm_app_save_config (ZELM_APP (app), &err);
    setrlimit (RLIMIT_FSIZE, &old_limit);
    signal (SIGXFSZ, old_handler);
    EXPECT_FALSE (ok);
    EXPECT_NE (err, nullptr);
  });
  EXPECT_EQ (read_file (zelm_test::config_path ()), before);
}

TEST_F (AppTest, RestartNeededFollowsDriverSettings)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    auto restart_needed = [app] {
      gboolean r = FALSE;
      g_object_get (app, "restart-needed", &r, nullptr);
      return r;
    };
    EXPECT_FALSE (restart_needed ());
    int notified = 0;
    gulong id = g_signal_connect_swapped (app, "notify::restart-needed",
                                          G_CALLBACK (+[] (int *n) { ++*n; }), &notified);
    /* Every write counts, even of the same value. */
    g_object_set (app, "audio-driver", 0, nullptr);
    EXPECT_TRUE (restart_needed ());
    EXPECT_EQ (notified, 1);

    g_object_set (app, "audio-enabled", TRUE, nullptr);
    zelm_app_restart_synth (ZELM_APP (app));
    EXPECT_FALSE (restart_needed ());
    EXPECT_NE (zelm_app_get_audio_driver (ZELM_APP (app)), nullptr);

    /* The synthesizer's own flag shows through. */
    g_autoptr (VornSynth) synth = zelm_app_get_synth (ZELM_APP (app));
    int before = notified;
    g_object_set (synth, "sample-rate", 44100.0, nullptr);
    EXPECT_TRUE (restart_needed ());
    EXPECT_GT (notified, before);
    zelm_app_restart_synth (ZELM_APP (app));
    EXPECT_FALSE (restart_needed ());
    g_signal_handler_disconnect (app, id);
  });
}

TEST (AppResources, ResolvesUnderTheResourceDirectory)
{
  g_autoptr (ZelmApp) app = zelm_app_new ();
  g_autofree char *path = zelm_app_get_resource_path (app, "ui/zelmora-splash.png");
  EXPECT_TRUE (g_str_has_suffix (path, "/share/zelmora/ui/zelmora-splash.png")) << path;
  EXPECT_TRUE (g_file_test (path, G_FILE_TEST_EXISTS)) << path;
}
