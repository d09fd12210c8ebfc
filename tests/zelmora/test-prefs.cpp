/* The preferences window as a user meets it: opened from the Edit menu, its
 * controls following the synthesizer and the application both ways, the
 * restart button, and closing with Escape, which saves the configuration. */
#include "vorn-test-log.h"
#include "zelm-app-run.h"
#include "zelm-gui-test.h"
#include "zelm-prefs.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace zelm_test;

namespace {

/* The shown preferences window, and how many there are. */
GtkWidget *
find_prefs (int *count = nullptr)
{
  GList *all = gtk_window_list_toplevels ();
  GtkWidget *found = nullptr;
  int n = 0;
  for (GList *l = all; l; l = l->next)
    if (ZELM_IS_PREFS (l->data) && gtk_widget_get_visible (GTK_WIDGET (l->data)))
      {
        found = GTK_WIDGET (l->data);
        n++;
      }
  g_list_free (all);
  if (count)
    *count = n;
  return found;
}

/* The widget of @root whose interface id is @id. */
GtkWidget *
by_id (GtkWidget *root, const char *id)
{
  if (g_strcmp0 (gtk_buildable_get_name (GTK_BUILDABLE (root)), id) == 0)
    return root;
  GtkWidget *found = nullptr;
  if (GTK_IS_CONTAINER (root))
    {
      GList *children = gtk_container_get_children (GTK_CONTAINER (root));
      for (GList *l = children; l && !found; l = l->next)
        found = by_id (GTK_WIDGET (l->data), id);
      g_list_free (children);
    }
  return found;
}

/* Opens the preferences through app.preferences.  Returns: the
 * preferences window, drawn. */
GtkWidget *
open_prefs (ZelmAppGui *app)
{
  dismiss_splash (app);
  activate (app, "app.preferences");
  GtkWidget *prefs = nullptr;
  wait_for ([&prefs] { return (prefs = find_prefs ()) != nullptr; });
  if (prefs)
    {
      wait_drawn (prefs);
      /* Keys go to the window under the pointer (no window manager). */
      pointer_move (prefs, 5, 5);
      pump (50);
    }
  return prefs;
}

GtkWidget *
part (GtkWidget *prefs, const char *id)
{
  GtkWidget *w = by_id (prefs, id);
  EXPECT_NE (w, nullptr) << "no widget " << id;
  return w;
}

double
num_prop (gpointer obj, const char *name)
{
  GParamSpec *pspec = g_object_class_find_property (G_OBJECT_GET_CLASS (obj), name);
  g_auto (GValue) v = G_VALUE_INIT;
  g_value_init (&v, G_TYPE_DOUBLE);
  g_auto (GValue) raw = G_VALUE_INIT;
  g_value_init (&raw, pspec->value_type);
  g_object_get_property (G_OBJECT (obj), name, &raw);
  if (G_VALUE_HOLDS_ENUM (&raw))
    return g_value_get_enum (&raw);
  g_value_transform (&raw, &v);
  return g_value_get_double (&v);
}

/* What a widget shows, as text. */
std::string
shown (GtkWidget *w)
{
  if (GTK_IS_SPIN_BUTTON (w))
    return std::to_string (gtk_spin_button_get_value_as_int (GTK_SPIN_BUTTON (w)));
  if (GTK_IS_COMBO_BOX_TEXT (w))
    {
      g_autofree char *text = gtk_combo_box_text_get_active_text (GTK_COMBO_BOX_TEXT (w));
      return text ? text : "";
    }
  if (GTK_IS_TOGGLE_BUTTON (w))
    return gtk_toggle_button_get_active (GTK_TOGGLE_BUTTON (w)) ? "on" : "off";
  if (GTK_IS_LABEL (w))
    return gtk_label_get_text (GTK_LABEL (w));
  return "?";
}

std::string
config_text ()
{
  g_autofree char *text = nullptr;
  if (!g_file_get_contents (config_path ().c_str (), &text, nullptr, nullptr))
    return {};
  return text;
}

/* The number saved for @member in the synthesizer's part of the file. */
double
saved_synth_number (const char *member)
{
  g_autoptr (JsonParser) parser = json_parser_new ();
  if (!json_parser_load_from_data (parser, config_text ().c_str (), -1, nullptr))
    return -1;
  JsonObject *root = json_node_get_object (json_parser_get_root (parser));
  JsonArray *synths = json_object_get_array_member (root, "synths");
  JsonObject *synth = synths ? json_array_get_object_element (synths, 0) : nullptr;
  if (!synth || !json_object_has_member (synth, member))
    return -1;
  return json_object_get_double_member (synth, member);
}

class PrefsTest : public ::testing::Test {
protected:
  void SetUp () override { remove_config (); }
};

} // namespace

/* app.preferences opens the window over the main window with every
 * setting shown and the restart button hidden; asking again brings the same
 * window forward; the close button closes it, and a later request opens a new one. */
TEST_F (PrefsTest, OneWindowFromItsAction)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    GtkWidget *prefs = open_prefs (app);
    ASSERT_NE (prefs, nullptr);
    EXPECT_STREQ (gtk_window_get_title (GTK_WINDOW (prefs)), "Preferences");
    EXPECT_EQ (gtk_window_get_transient_for (GTK_WINDOW (prefs)), GTK_WINDOW (main_window (app)));
    for (const char *id : { "MaxVoicesSpin", "ChanCountSpin", "SpeakerCountSpin", "SampleRateCombo",
                            "FormatDoubleRadio", "FormatSingleRadio", "CoresSpin", "CoresAllCheck",
                            "CoresLabel", "AccelCombo", "AccelLabel", "AudioDriverCombo",
                            "MidiDriverCombo", "CloseBtn" })
      EXPECT_TRUE (gtk_widget_is_drawable (part (prefs, id))) << id;
    EXPECT_FALSE (gtk_widget_get_visible (part (prefs, "RestartSynthBtn")));
    /* The format is shown, never chosen here. */
    EXPECT_FALSE (gtk_widget_is_sensitive (part (prefs, "FormatDoubleRadio")));
    EXPECT_FALSE (gtk_widget_is_sensitive (part (prefs, "FormatSingleRadio")));

    int count = 0;
    open_prefs (app);
    EXPECT_EQ (find_prefs (&count), prefs);
    EXPECT_EQ (count, 1);

    GtkWidget *close = part (prefs, "CloseBtn");
    click (close, 5, 5);
    EXPECT_TRUE (wait_for ([] { return find_prefs () == nullptr; }));
    EXPECT_NE (config_text (), "") << "closing saves the configuration";

    GtkWidget *again = open_prefs (app);
    ASSERT_NE (again, nullptr);
    find_prefs (&count);
    EXPECT_EQ (count, 1);
    key_tap (GDK_KEY_Escape);
    EXPECT_TRUE (wait_for ([] { return find_prefs () == nullptr; }));
  });
}

/* Every value binding both ways: a user's scroll over the control sets the
 * property, and a value set on the object shows in the control. */
TEST_F (PrefsTest, ControlsFollowTheirPropertiesBothWays)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    g_autoptr (VornSynth) synth = zelm_app_get_synth (ZELM_APP (app));
    GtkWidget *prefs = open_prefs (app);
    ASSERT_NE (prefs, nullptr);
    /* "AudioDriverCombo" and "MidiDriverCombo" list the drivers this build
     * has, by their display names. */
    struct {
      const char *id;
      gpointer obj;
      const char *prop;
      GdkScrollDirection dir; /* a scroll over the control */
      double by_user;         /* the property's value after it */
      double by_object;       /* set on the object... */
      const char *seen;       /* ...and what the control shows then */
    } rows[] = {
      { "MaxVoicesSpin", synth, "max-voices", GDK_SCROLL_UP, 101, 64, "64" },
      { "ChanCountSpin", synth, "channel-count", GDK_SCROLL_DOWN, 15, 32, "32" },
      { "SpeakerCountSpin", synth, "speaker-count", GDK_SCROLL_UP, 3, 6, "6" },
      { "SampleRateCombo", synth, "sample-rate", GDK_SCROLL_DOWN, 88200, 44100, "44100" },
      { "AccelCombo", synth, "simd", GDK_SCROLL_DOWN, VORN_SIMD_SSE2, VORN_SIMD_AVX, "AVX" },
      { "AudioDriverCombo", app, "audio-driver", GDK_SCROLL_DOWN,
        VORN_AUDIO_DRIVER_AVAILABLE_PORTAUDIO, VORN_AUDIO_DRIVER_AVAILABLE_AUTO, nullptr },
      { "MidiDriverCombo", app, "midi-driver", GDK_SCROLL_DOWN,
        VORN_MIDI_DRIVER_AVAILABLE_ALSA, VORN_MIDI_DRIVER_AVAILABLE_JACK, "JACK" },
    };
    for (const auto &r : rows)
      {
        SCOPED_TRACE (r.id);
        GtkWidget *w = part (prefs, r.id);
        ASSERT_NE (w, nullptr);
        g_autofree char *before = g_strdup (shown (w).c_str ());
        scroll (w, 10, gtk_widget_get_allocated_height (w) / 2.0, r.dir);
        EXPECT_TRUE (wait_for ([&] { return num_prop (r.obj, r.prop) == r.by_user; }))
            << num_prop (r.obj, r.prop) << " (showed " << before << ")";

        GParamSpec *pspec = g_object_class_find_property (G_OBJECT_GET_CLASS (r.obj), r.prop);
        g_auto (GValue) v = G_VALUE_INIT;
        g_value_init (&v, pspec->value_type);
        if (G_VALUE_HOLDS_ENUM (&v))
          g_value_set_enum (&v, int (r.by_object));
        else if (G_VALUE_HOLDS_UINT (&v))
          g_value_set_uint (&v, guint (r.by_object));
        else
          g_value_set_double (&v, r.by_object);
        g_object_set_property (G_OBJECT (r.obj), r.prop, &v);
        if (r.seen)
          EXPECT_EQ (shown (w), r.seen);
        else
          {
            GEnumClass *klass = G_PARAM_SPEC_ENUM (pspec)->enum_class;
            EXPECT_EQ (shown (w), g_enum_get_value (klass, int (r.by_object))->value_nick);
          }
      }

    /* Labels and the read-only format show the object's side only. */
    guint cores = 0;
    int simd = 0;
    g_object_get (synth, "cores-detected", &cores, "simd-detected", &simd, nullptr);
    EXPECT_EQ (shown (part (prefs, "CoresLabel")), std::to_string (cores));
    GEnumClass *simd_class = G_PARAM_SPEC_ENUM (
        g_object_class_find_property (G_OBJECT_GET_CLASS (synth), "simd-detected"))->enum_class;
    EXPECT_EQ (shown (part (prefs, "AccelLabel")), g_enum_get_value (simd_class, simd)->value_nick);

    struct {
      int format;
      const char *single, *dbl;
    } formats[] = { { VORN_FORMAT_DOUBLE, "off", "on" }, { VORN_FORMAT_SINGLE, "on", "off" } };
    for (const auto &f : formats)
      {
        g_object_set (synth, "audio-format", f.format, nullptr);
        EXPECT_EQ (shown (part (prefs, "FormatSingleRadio")), f.single) << f.format;
        EXPECT_EQ (shown (part (prefs, "FormatDoubleRadio")), f.dbl) << f.format;
      }
    key_tap (GDK_KEY_Escape);
    EXPECT_TRUE (wait_for ([] { return find_prefs () == nullptr; }));
  });
}

/* "All" cores is the value 0: checking it sets 0 and locks the count,
 * unchecking sets one core and frees it for the user. */
TEST_F (PrefsTest, AllCoresLocksTheCount)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    g_autoptr (VornSynth) synth = zelm_app_get_synth (ZELM_APP (app));
    g_object_set (synth, "cores", 3u, nullptr);
    GtkWidget *prefs = open_prefs (app);
    ASSERT_NE (prefs, nullptr);
    GtkWidget *all = part (prefs, "CoresAllCheck");
    GtkWidget *spin = part (prefs, "CoresSpin");
    EXPECT_EQ (shown (spin), "3");
    EXPECT_EQ (shown (all), "off");
    EXPECT_TRUE (gtk_widget_is_sensitive (spin));

    click (all, 6, gtk_widget_get_allocated_height (all) / 2.0);
    EXPECT_EQ (num_prop (synth, "cores"), 0);
    EXPECT_EQ (shown (all), "on");
    EXPECT_FALSE (gtk_widget_is_sensitive (spin));
    scroll (spin, 10, 10, GDK_SCROLL_UP);
    EXPECT_EQ (num_prop (synth, "cores"), 0) << "a locked count moved";

    click (all, 6, gtk_widget_get_allocated_height (all) / 2.0);
    EXPECT_EQ (num_prop (synth, "cores"), 1);
    EXPECT_TRUE (gtk_widget_is_sensitive (spin));
    scroll (spin, 10, 10, GDK_SCROLL_UP);
    EXPECT_TRUE (wait_for ([&] { return num_prop (synth, "cores") == 2; }));

    key_tap (GDK_KEY_Escape);
    EXPECT_TRUE (wait_for ([] { return find_prefs () == nullptr; }));
  });
}

/* A new audio driver needs the drivers rebuilt: the restart button appears,
 * and pressing it restarts and hides it again. */
TEST_F (PrefsTest, RestartButtonWhileARestartIsNeeded)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    GtkWidget *prefs = open_prefs (app);
    ASSERT_NE (prefs, nullptr);
    GtkWidget *restart = part (prefs, "RestartSynthBtn");
    GtkWidget *driver = part (prefs, "AudioDriverCombo");
    EXPECT_FALSE (gtk_widget_get_visible (restart));

    scroll (driver, 10, 10, GDK_SCROLL_DOWN);
    EXPECT_EQ (num_prop (app, "audio-driver"), VORN_AUDIO_DRIVER_AVAILABLE_PORTAUDIO);
    gboolean needed = FALSE;
    g_object_get (app, "restart-needed", &needed, nullptr);
    EXPECT_TRUE (needed);
    ASSERT_TRUE (wait_for ([restart] { return gtk_widget_is_drawable (restart); }));
    wait_drawn (restart);

    click (restart, 5, 5);
    g_object_get (app, "restart-needed", &needed, nullptr);
    EXPECT_FALSE (needed);
    EXPECT_FALSE (gtk_widget_get_visible (restart));
    EXPECT_EQ (num_prop (app, "audio-driver"), VORN_AUDIO_DRIVER_AVAILABLE_PORTAUDIO);

    /* A synthesizer setting that needs one shows it too. */
    g_autoptr (VornSynth) synth = zelm_app_get_synth (ZELM_APP (app));
    scroll (part (prefs, "MaxVoicesSpin"), 10, 10, GDK_SCROLL_UP);
    EXPECT_TRUE (wait_for ([restart] { return gtk_widget_get_visible (restart); }));

    key_tap (GDK_KEY_Escape);
    EXPECT_TRUE (wait_for ([] { return find_prefs () == nullptr; }));
  });
}

/* A MIDI input chosen in the window starts with the restart button, even
 * one that fails (the program plays on without it), and is saved. */
TEST_F (PrefsTest, MidiInputChosenAndSaved)
{
  run_app ({}, [] (ZelmAppGui *app) {
    GtkWidget *prefs = open_prefs (app);
    ASSERT_NE (prefs, nullptr);
    GtkWidget *restart = part (prefs, "RestartSynthBtn");
    scroll (part (prefs, "MidiDriverCombo"), 10, 10, GDK_SCROLL_DOWN);
    EXPECT_EQ (num_prop (app, "midi-driver"), VORN_MIDI_DRIVER_AVAILABLE_ALSA);
    ASSERT_TRUE (wait_for ([restart] { return gtk_widget_is_drawable (restart); }));
    wait_drawn (restart);
    EXPECT_EQ (zelm_app_get_midi_error (ZELM_APP (app)), nullptr);

    click (restart, 5, 5);
    EXPECT_FALSE (gtk_widget_get_visible (restart));
    VornMidiDriver *driver = zelm_app_get_midi_driver (ZELM_APP (app));
    if (g_file_test ("/dev/snd/seq", G_FILE_TEST_EXISTS))
      {
        ASSERT_NE (driver, nullptr);
        EXPECT_TRUE (VORN_IS_ALSA_MIDI_DRIVER (driver));
        EXPECT_TRUE (vorn_midi_driver_is_running (driver));
      }
    else
      {
        EXPECT_EQ (driver, nullptr);
        const char *error = zelm_app_get_midi_error (ZELM_APP (app));
        ASSERT_NE (error, nullptr);
        /* The main window says why. */
        GtkWidget *bar = GTK_WIDGET (widget (app, "AudioInfoBar"));
        EXPECT_TRUE (gtk_widget_get_visible (bar));
        EXPECT_EQ (std::string (gtk_label_get_text (
                       GTK_LABEL (widget (app, "AudioInfoLabel")))),
                   std::string ("MIDI input is off: ") + error);
      }
    EXPECT_NE (zelm_app_get_audio_driver (ZELM_APP (app)), nullptr);

    key_tap (GDK_KEY_Escape);
    EXPECT_TRUE (wait_for ([] { return find_prefs () == nullptr; }));
    EXPECT_NE (config_text ().find ("\"midi-driver\" : \"ALSA\""), std::string::npos)
        << config_text ();
  });
}

/* Escape saves what was set and closes; other keys leave the window open.
 * When the file cannot be written the window says so in the log and still
 * closes. */
TEST_F (PrefsTest, EscapeSavesAndCloses)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    g_autoptr (VornSynth) synth = zelm_app_get_synth (ZELM_APP (app));
    GtkWidget *prefs = open_prefs (app);
    ASSERT_NE (prefs, nullptr);
    scroll (part (prefs, "MaxVoicesSpin"), 10, 10, GDK_SCROLL_UP);
    scroll (part (prefs, "MaxVoicesSpin"), 10, 10, GDK_SCROLL_UP);
    ASSERT_EQ (num_prop (synth, "max-voices"), 102);
    EXPECT_EQ (config_text (), "");

    key_tap (GDK_KEY_Tab);
    pump (100);
    EXPECT_EQ (find_prefs (), prefs) << "a key other than Escape closed the window";

    key_tap (GDK_KEY_Escape);
    EXPECT_TRUE (wait_for ([] { return find_prefs () == nullptr; }));
    EXPECT_EQ (saved_synth_number ("max-voices"), 102);

    /* The configuration directory is a plain file now: saving fails. */
    remove_config ();
    g_autofree char *dir = g_path_get_dirname (config_path ().c_str ());
    ASSERT_EQ (g_rmdir (dir), 0);
    ASSERT_TRUE (g_file_set_contents (dir, "", 0, nullptr));
    prefs = open_prefs (app);
    ASSERT_NE (prefs, nullptr);
    key_tap (GDK_KEY_Escape);
    EXPECT_TRUE (wait_for ([] { return find_prefs () == nullptr; }));
    EXPECT_WARNING ("Failed to save configuration: ");
    g_unlink (dir);
  });
}
