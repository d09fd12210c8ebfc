/* The preferences window: its controls bound to the synthesizer and the
 * application both ways, set through the controls' own API; one real run
 * opens it by its action, changes a driver with the pointer, restarts with
 * the button that appears, and closes with Escape, which saves. */
#include "vorn-test-log.h"
#include "zelm-app-run.h"
#include "zelm-gui-test.h"
#include "zelm-prefs.h"

#include <gtest/gtest.h>

#include <string>

using namespace zelm_test;

namespace {

/* The shown preferences window. */
GtkWidget *
find_prefs ()
{
  return find_toplevel ([] (GtkWidget *w) { return ZELM_IS_PREFS (w); });
}

/* The widget below @root whose interface id is @id. */
GtkWidget *
part (GtkWidget *root, const char *id)
{
  if (g_strcmp0 (gtk_buildable_get_name (GTK_BUILDABLE (root)), id) == 0)
    return root;
  for (GtkWidget *c : children (root))
    if (GtkWidget *found = part (c, id))
      return found;
  return nullptr;
}

/* A numeric property (enums by value), through GLib's transforms. */
double
num_prop (gpointer obj, const char *name)
{
  g_auto (GValue) v = G_VALUE_INIT;
  g_value_init (&v, G_TYPE_INT64);
  g_object_get_property (G_OBJECT (obj), name, &v);
  return double (g_value_get_int64 (&v));
}

void
set_num_prop (gpointer obj, const char *name, double value)
{
  if (G_IS_PARAM_SPEC_DOUBLE (g_object_class_find_property (G_OBJECT_GET_CLASS (obj), name)))
    g_object_set (obj, name, value, nullptr);
  else
    g_object_set (obj, name, int (value), nullptr);
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
  return "?";
}

/* One step of @w as a scroll would make it: spins up or down by their step,
 * combos to the next item. */
void
step (GtkWidget *w, bool up)
{
  if (GTK_IS_SPIN_BUTTON (w))
    {
      GtkAdjustment *adj = gtk_spin_button_get_adjustment (GTK_SPIN_BUTTON (w));
      gtk_spin_button_spin (GTK_SPIN_BUTTON (w),
                            up ? GTK_SPIN_STEP_FORWARD : GTK_SPIN_STEP_BACKWARD,
                            gtk_adjustment_get_step_increment (adj));
    }
  else
    gtk_combo_box_set_active (GTK_COMBO_BOX (w), gtk_combo_box_get_active (GTK_COMBO_BOX (w)) + 1);
}

class PrefsTest : public ::testing::Test {
protected:
  void SetUp () override { remove_config (); }
};

} // namespace

/* Each kind of control follows its property both ways; the format shows the
 * object's side only; "All" cores is the value 0 and locks the count; the
 * Close button saves and closes. */
TEST_F (PrefsTest, ControlsFollowTheirProperties)
{
  g_autoptr (ZelmApp) app = zelm_app_new ();
  run_command_line (app, { "--disable-audio" });
  g_autoptr (VornSynth) synth = zelm_app_get_synth (app);
  GtkWidget *prefs = zelm_prefs_new (app);
  g_object_add_weak_pointer (G_OBJECT (prefs), reinterpret_cast<gpointer *> (&prefs));
  EXPECT_FALSE (gtk_widget_get_visible (part (prefs, "RestartSynthBtn")));

  struct {
    const char *id;
    gpointer obj;
    const char *prop;
    bool up;           /* a step of the control up or down... */
    double by_user;    /* ...and the property's value after it */
    double by_object;  /* set on the object... */
    const char *seen;  /* ...and what the control shows then */
  } rows[] = {
    { "MaxVoicesSpin", synth, "max-voices", true, 101, 64, "64" },
    { "CoresSpin", synth, "cores", true, 2, 3, "3" },
    { "SampleRateCombo", synth, "sample-rate", false, 88200, 44100, "44100" },
    { "AccelCombo", synth, "simd", false, VORN_SIMD_SSE2, VORN_SIMD_AVX, "AVX" },
    { "MidiDriverCombo", app, "midi-driver", false, VORN_MIDI_DRIVER_AVAILABLE_ALSA,
      VORN_MIDI_DRIVER_AVAILABLE_JACK, "JACK" },
  };
  for (const auto &r : rows)
    {
      SCOPED_TRACE (r.id);
      GtkWidget *w = part (prefs, r.id);
      ASSERT_NE (w, nullptr);
      if (g_str_equal (r.prop, "cores"))
        set_num_prop (synth, "cores", 1);
      step (w, r.up);
      EXPECT_EQ (num_prop (r.obj, r.prop), r.by_user);
      /* The synthesizer's own restart flag shows, not only the drivers'. */
      EXPECT_TRUE (!g_str_equal (r.prop, "max-voices") ||
                   gtk_widget_get_visible (part (prefs, "RestartSynthBtn")));
      set_num_prop (r.obj, r.prop, r.by_object);
      EXPECT_EQ (shown (w), r.seen);
    }

  g_object_set (synth, "audio-format", VORN_FORMAT_DOUBLE, nullptr);
  EXPECT_EQ (shown (part (prefs, "FormatDoubleRadio")), "on");
  gtk_toggle_button_set_active (GTK_TOGGLE_BUTTON (part (prefs, "CoresAllCheck")), TRUE);
  EXPECT_EQ (num_prop (synth, "cores"), 0);
  EXPECT_FALSE (gtk_widget_is_sensitive (part (prefs, "CoresSpin")));

  gtk_button_clicked (GTK_BUTTON (part (prefs, "CloseBtn")));
  EXPECT_EQ (prefs, nullptr);
  EXPECT_TRUE (g_file_test (config_path ().c_str (), G_FILE_TEST_EXISTS));
}

/* From the user: app.preferences opens a window over the main window; a
 * driver chosen with the pointer shows the restart button, which restarts
 * (a MIDI input that fails is reported in the main window) and hides; other
 * keys leave the window open, Escape saves and closes. */
TEST_F (PrefsTest, ChangeRestartAndClose)
{
  /* No JACK server to find: the chosen input fails the same everywhere. */
  g_setenv ("JACK_DEFAULT_SERVER", "zelmora-no-such-server", TRUE);
  run_app ({}, [] (ZelmAppGui *app) {
    dismiss_splash (app);
    activate (app, "app.preferences");
    GtkWidget *prefs = nullptr;
    ASSERT_TRUE (wait_for ([&prefs] { return (prefs = find_prefs ()) != nullptr; }));
    wait_drawn (prefs);
    /* Keys go to the window under the pointer (no window manager). */
    pointer_move (prefs, 5, 5);
    EXPECT_EQ (gtk_window_get_transient_for (GTK_WINDOW (prefs)), GTK_WINDOW (main_window (app)));

    GtkWidget *restart = part (prefs, "RestartSynthBtn");
    GtkWidget *midi = part (prefs, "MidiDriverCombo");
    EXPECT_FALSE (gtk_widget_get_visible (restart));
    scroll (midi, 10, 10, GDK_SCROLL_DOWN);
    scroll (midi, 10, 10, GDK_SCROLL_DOWN);
    EXPECT_TRUE (wait_for ([app] {
      return num_prop (app, "midi-driver") == int (VORN_MIDI_DRIVER_AVAILABLE_JACK);
    }));
    ASSERT_TRUE (wait_for ([restart] { return gtk_widget_is_drawable (restart); }));
    wait_drawn (restart);
    click (restart, 5, 5);
    EXPECT_TRUE (wait_for ([restart] { return !gtk_widget_get_visible (restart); }));
    EXPECT_NE (zelm_app_get_audio_driver (ZELM_APP (app)), nullptr);
    EXPECT_TRUE (gtk_widget_get_visible (widget (app, "AudioInfoBar")));
    EXPECT_STREQ (gtk_label_get_text (GTK_LABEL (widget (app, "AudioInfoLabel"))),
                  "MIDI input is off: Error opening JACK client: cannot connect to the JACK "
                  "server");

    key_tap (GDK_KEY_Tab);
    pump (100);
    EXPECT_EQ (find_prefs (), prefs) << "a key other than Escape closed the window";
    key_tap (GDK_KEY_Escape);
    EXPECT_TRUE (wait_for ([] { return find_prefs () == nullptr; }));
  });
  g_autofree char *text = nullptr;
  ASSERT_TRUE (g_file_get_contents (config_path ().c_str (), &text, nullptr, nullptr));
  EXPECT_NE (strstr (text, "\"midi-driver\" : \"JACK\""), nullptr) << text;
}
