/* The main window as a user meets it: the computer keyboard, the piano and
 * level meter it feeds, the splash and about windows, the file menu.  Input
 * comes through XTest; what is heard is rendered here from the synthesizer
 * the window plays (audio is disabled, so this thread is its only renderer). */
#include "test-signal.h"
#include "vorn-test-log.h"
#include "zelm-app-run.h"
#include "zelm-gui-test.h"
#include "zelm-piano.h"
#include "zelm-wave-canvas.h"
#include "zelm-wave-editor.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace zelm_test;

namespace {

constexpr double RATE = 48000.0;

double
note_freq (int note)
{
  return 440.0 * std::pow (2.0, (note - 69) / 12.0);
}

/* Renders the window's synthesizer as the audio callback would. */
struct Ear {
  VornSynth *synth;

  explicit Ear (ZelmAppGui *app) : synth (zelm_app_get_synth (ZELM_APP (app))) {}
  ~Ear () { g_object_unref (synth); }

  std::vector<float> render (guint frames)
  {
    std::vector<float> out (frames * 2);
    vorn_synth_render_interleaved (synth, out.data (), frames);
    return out;
  }
  guint active ()
  {
    render (64);
    guint n = 0;
    vorn_synth_voice_stats (synth, &n, nullptr, FALSE);
    return n;
  }
  /* Frequency of what sounds now, from a quarter second of the left channel. */
  double frequency ()
  {
    auto left = signal_test::channel (render (guint (RATE / 4)), 0);
    return signal_test::frequency (left, RATE, 0);
  }
  /* Renders until every voice has ended (at most @seconds). */
  bool falls_silent (double seconds = 5.0)
  {
    for (double t = 0; t < seconds; t += 0.05)
      {
        render (guint (RATE * 0.05));
        guint n = 0;
        vorn_synth_voice_stats (synth, &n, nullptr, FALSE);
        if (n == 0)
          return true;
      }
    return false;
  }
};

/* Is @note shown held on the piano (drawn in the held key colour)? */
bool
piano_shows (ZelmAppGui *app, int note)
{
  GtkWidget *piano = zelm_app_gui_get_piano (app);
  int h = gtk_widget_get_allocated_height (piano);
  int w = gtk_widget_get_allocated_width (piano);
  int y = h - 8; /* the white keys' lower part */
  int first = -1, last = -1;
  for (int x = 0; x < w; x++)
    if (zelm_piano_get_note_at (ZELM_PIANO (piano), x, y) == note)
      {
        if (first < 0)
          first = x;
        last = x;
      }
  if (first >= 0)
    {
      pump (30);
      g_autoptr (GdkPixbuf) pixels = grab (piano);
      return pixel (pixels, (first + last) / 2, y) == Rgb{ 0x30, 0x78, 0xff };
    }
  ADD_FAILURE () << "note " << note << " is not on the piano";
  return false;
}

int
int_prop (gpointer obj, const char *name)
{
  int v = 0;
  g_object_get (obj, name, &v, nullptr);
  return v;
}

class WindowTest : public ::testing::Test {
protected:
  void SetUp () override { remove_config (); }
};

} // namespace

/* The first key after start closes the splash and already plays; the note
 * shows on the piano until the key comes up. */
TEST_F (WindowTest, FirstKeyPlaysAndLightsThePiano)
{
  auto run = run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    Ear ear (app);
    GtkWidget *splash = zelm_app_gui_get_splash (app);
    ASSERT_NE (splash, nullptr);
    wait_drawn (splash);
    pointer_move (splash, 30, 30);
    key_press (GDK_KEY_z);
    EXPECT_TRUE (wait_for ([app] { return zelm_app_gui_get_splash (app) == nullptr; }));

    EXPECT_EQ (ear.active (), 1u);
    EXPECT_NEAR (ear.frequency (), note_freq (48), 0.5);
    wait_drawn (zelm_app_gui_get_piano (app));
    EXPECT_TRUE (piano_shows (app, 48));

    pointer_move (widget (app, "CurveScopeNotebook"), 200, 200);
    key_release (GDK_KEY_z);
    EXPECT_TRUE (ear.falls_silent ());
    EXPECT_FALSE (piano_shows (app, 48));
  });
  EXPECT_EQ (run.status, 0);
}

/* A held key repeats presses: one voice.  Shift pressed while holding turns
 * the key's value upper-case; the release still ends the note.  An octave
 * change while a key is held releases the note that key played. */
TEST_F (WindowTest, HeldKeysPlayOneNoteEach)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    Ear ear (app);
    dismiss_splash (app);

    key_press (GDK_KEY_q);
    key_press (GDK_KEY_q);
    key_press (GDK_KEY_q);
    EXPECT_EQ (ear.active (), 1u);
    EXPECT_NEAR (ear.frequency (), note_freq (60), 0.5);
    key_press (GDK_KEY_Shift_L);
    key_release (GDK_KEY_q);
    key_release (GDK_KEY_Shift_L);
    EXPECT_TRUE (ear.falls_silent ());

    key_press (GDK_KEY_x); /* note 50 */
    chord ({ GDK_KEY_Shift_L, GDK_KEY_s });
    EXPECT_EQ (int_prop (app, "lower-note"), 60);
    key_release (GDK_KEY_x);
    EXPECT_TRUE (ear.falls_silent ());
  });
}

TEST_F (WindowTest, OctaveKeysAndTheirLimits)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    Ear ear (app);
    dismiss_splash (app);

    struct Step {
      guint key;
      const char *prop;
      int expect;
    } steps[] = {
      { GDK_KEY_s, "lower-note", 60 }, { GDK_KEY_z, "lower-note", 48 },
      { GDK_KEY_z, "lower-note", 36 }, { GDK_KEY_2, "upper-note", 72 },
      { GDK_KEY_q, "upper-note", 60 }, { GDK_KEY_q, "upper-note", 48 },
    };
    for (const auto &s : steps)
      {
        chord ({ GDK_KEY_Shift_L, s.key });
        EXPECT_EQ (int_prop (app, s.prop), s.expect) << gdk_keyval_name (s.key);
      }
    /* The lower manual now starts at 36, the upper at 48. */
    key_press (GDK_KEY_z);
    EXPECT_NEAR (ear.frequency (), note_freq (36), 0.5);
    key_release (GDK_KEY_z);
    EXPECT_TRUE (ear.falls_silent ());

    /* From 120 no octave up, and keys above note 127 play nothing. */
    g_object_set (app, "lower-note", 120, nullptr);
    chord ({ GDK_KEY_Shift_L, GDK_KEY_s });
    EXPECT_EQ (int_prop (app, "lower-note"), 120);
    key_press (GDK_KEY_slash);
    EXPECT_EQ (ear.active (), 0u);
    key_release (GDK_KEY_slash);
    key_press (GDK_KEY_m); /* index 11: note 131 */
    EXPECT_EQ (ear.active (), 0u);
    key_release (GDK_KEY_m);
    key_press (GDK_KEY_j); /* index 10: note 130 */
    key_release (GDK_KEY_j);
    key_press (GDK_KEY_b); /* index 7: note 127 */
    EXPECT_EQ (ear.active (), 1u);
    key_release (GDK_KEY_b);
    EXPECT_TRUE (ear.falls_silent ());
  });
}

/* Escape and the Panic button silence held notes; Ctrl+key plays nothing. */
TEST_F (WindowTest, PanicSilencesEverything)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    Ear ear (app);
    dismiss_splash (app);

    key_press (GDK_KEY_z);
    key_press (GDK_KEY_e);
    EXPECT_EQ (ear.active (), 2u);
    key_tap (GDK_KEY_Escape);
    EXPECT_TRUE (ear.falls_silent (0.2));
    key_release (GDK_KEY_z);
    key_release (GDK_KEY_e);

    key_press (GDK_KEY_c);
    EXPECT_EQ (ear.active (), 1u);
    click (widget (app, "PanicButton"), 5, 5);
    EXPECT_TRUE (ear.falls_silent (0.2));
    key_release (GDK_KEY_c);

    chord ({ GDK_KEY_Control_L, GDK_KEY_v });
    EXPECT_EQ (ear.active (), 0u);
  });
}

/* Typing into a text field (the name in the property editor) types; it
 * does not play. */
TEST_F (WindowTest, TextEntryTakesTheKeys)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    Ear ear (app);
    dismiss_splash (app);
    VornFile *bank = VORN_FILE (zelm_app_get_files_no_copy (ZELM_APP (app))->data);
    VornNode *wave = VORN_NODE (bank)->children->children;
    click_tree_row (app, wave);
    GtkWidget *entry = gtk_grid_get_child_at (GTK_GRID (zelm_app_gui_get_prop_editor (app)), 1, 0);
    ASSERT_TRUE (entry && GTK_IS_ENTRY (entry));
    wait_drawn (entry);
    click (entry, 10, 5);
    ASSERT_TRUE (wait_for ([entry] { return gtk_widget_has_focus (entry); }));
    gtk_editable_delete_text (GTK_EDITABLE (entry), 0, -1);
    key_tap (GDK_KEY_z);
    key_tap (GDK_KEY_x);
    EXPECT_STREQ (gtk_entry_get_text (GTK_ENTRY (entry)), "zx");
    g_autofree char *name = nullptr;
    g_object_get (wave, "name", &name, nullptr);
    EXPECT_STREQ (name, "zx");
    EXPECT_EQ (ear.active (), 0u);
  });
}

/* The periodic task: voice counts, processor load and the level meter. */
TEST_F (WindowTest, StatisticsAndLevelFollowThePlaying)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    Ear ear (app);
    dismiss_splash (app);
    g_object_set (app, "stat-divider", 0, nullptr);
    GtkLabel *voices = GTK_LABEL (widget (app, "VoiceStatLabel"));
    GtkLabel *cpu = GTK_LABEL (widget (app, "CpuStatLabel"));

    key_press (GDK_KEY_z);
    key_press (GDK_KEY_c);
    ear.render (4800);
    EXPECT_TRUE (wait_for ([voices] {
      return g_strcmp0 (gtk_label_get_text (voices), "002/002/100") == 0;
    })) << gtk_label_get_text (voices);
    EXPECT_TRUE (g_regex_match_simple ("^\\d{3}\\.\\d%$", gtk_label_get_text (cpu),
                                       GRegexCompileFlags (0), GRegexMatchFlags (0)))
        << gtk_label_get_text (cpu);

    /* Two notes at full velocity, past the first instrument's slow swell:
     * the meter's bar, or its peak marker once the next tick read no new
     * frames, lies well past -20 dB. */
    GtkWidget *meter = zelm_app_gui_get_level_meter (app);
    ear.render (3 * 48000);
    for (int i = 0; i < 4; i++)
      {
        ear.render (2400);
        pump (50);
      }
    g_autoptr (GdkPixbuf) pixels = grab (meter);
    int w = gdk_pixbuf_get_width (pixels), reach = -1;
    for (int x = 0; x < w; x++)
      {
        Rgb c = pixel (pixels, x, 3);
        if (c.g > 200 && c.b == 0)
          reach = x;
      }
    EXPECT_GT (reach, w * 30 / 56) << "nothing drawn past -20 dB";

    key_release (GDK_KEY_z);
    key_release (GDK_KEY_c);
    EXPECT_TRUE (ear.falls_silent ());
    EXPECT_TRUE (wait_for ([voices] {
      return g_strcmp0 (gtk_label_get_text (voices), "000/002/100") == 0;
    })) << gtk_label_get_text (voices);
  });
}

/* The start-up splash closes itself; the one from the Help menu stays until
 * clicked.  Both show the version drawn over the image. */
TEST_F (WindowTest, SplashAndAbout)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    GtkWidget *splash = zelm_app_gui_get_splash (app);
    ASSERT_NE (splash, nullptr);
    EXPECT_TRUE (wait_for ([app] { return zelm_app_gui_get_splash (app) == nullptr; }, 4500));
    wait_drawn (widget (app, "AppWindow"));

    choose_menu (app, "MenuHelp", "MenuHelpSplash");
    ASSERT_TRUE (wait_for ([app] { return zelm_app_gui_get_splash (app) != nullptr; }));
    splash = zelm_app_gui_get_splash (app);
    wait_drawn (splash);
    g_autoptr (GdkPixbuf) pixels = grab (splash);
    int white = 0;
    for (int y = 205; y < 235; y++)
      for (int x = 455; x < 515; x++)
        white += pixel (pixels, x, y) == Rgb{ 255, 255, 255 };
    EXPECT_GT (white, 40) << "no version text at the splash's text point";
    pump (3500);
    EXPECT_EQ (zelm_app_gui_get_splash (app), splash) << "the menu's splash has no timer";
    click (splash, 20, 20);
    EXPECT_TRUE (wait_for ([app] { return zelm_app_gui_get_splash (app) == nullptr; }));

    choose_menu (app, "MenuHelp", "MenuHelpAbout");
    GtkWidget *about = nullptr;
    ASSERT_TRUE (wait_for ([&about] {
      about = find_toplevel ([] (GtkWidget *w) {
        return g_strcmp0 (gtk_window_get_title (GTK_WINDOW (w)), "About Zelmora") == 0;
      });
      return about != nullptr;
    }));
    wait_drawn (about);
    click_button (about, "_Close");
    EXPECT_TRUE (wait_for ([] {
      return find_toplevel ([] (GtkWidget *w) {
        return g_strcmp0 (gtk_window_get_title (GTK_WINDOW (w)), "About Zelmora") == 0;
      }) == nullptr;
    }));
  });
}

/* New adds a file; a file that fails to open says why and changes nothing;
 * Save writes the selected file; a failed save says why and the previous
 * content stays; Ctrl+Q quits. */
TEST_F (WindowTest, FileMenu)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  g_object_set (file, "name", "Mine", nullptr);
  g_autoptr (VornInst) inst = vorn_inst_new_default ();
  vorn_node_insert (VORN_NODE (file), VORN_NODE (inst), -1);
  std::string dir = scratch_dir () + "/files";
  g_mkdir_with_parents (dir.c_str (), 0755);
  std::string path = dir + "/mine.vvi";
  ASSERT_TRUE (vorn_file_save (file, path.c_str (), nullptr));
  std::string broken = scratch_dir () + "/broken.vvi";
  ASSERT_TRUE (g_file_set_contents (broken.c_str (), "[]", -1, nullptr));

  auto run = run_app ({ "--disable-audio", path }, [&] (ZelmAppGui *app) {
    dismiss_splash (app);
    guint files = g_list_length (zelm_app_get_files_no_copy (ZELM_APP (app)));

    chord ({ GDK_KEY_Control_L, GDK_KEY_n });
    EXPECT_EQ (g_list_length (zelm_app_get_files_no_copy (ZELM_APP (app))), files + 1);
    EXPECT_NE (zelm_app_gui_get_current_file (app), nullptr);

    chord ({ GDK_KEY_Control_L, GDK_KEY_o });
    GtkWidget *chooser = nullptr;
    ASSERT_TRUE (wait_for ([&chooser] {
      chooser = find_toplevel ([] (GtkWidget *w) { return GTK_IS_FILE_CHOOSER_DIALOG (w); });
      return chooser != nullptr;
    }));
    EXPECT_STREQ (gtk_window_get_title (GTK_WINDOW (chooser)), "Open File");
    gtk_file_chooser_set_filename (GTK_FILE_CHOOSER (chooser), broken.c_str ());
    pump (200);
    wait_drawn (chooser);
    click_button (chooser, "_Open");
    GtkWidget *dialog = message_dialog ();
    ASSERT_NE (dialog, nullptr);
    g_autofree char *text = nullptr;
    g_object_get (dialog, "text", &text, nullptr);
    EXPECT_TRUE (g_str_has_prefix (text, ("Error occurred opening file '" + broken + "': ").c_str ()))
        << text;
    wait_drawn (dialog);
    click_button (dialog, "_Close");
    EXPECT_TRUE (wait_for ([] {
      return !find_toplevel ([] (GtkWidget *w) { return GTK_IS_DIALOG (w); });
    }));
    EXPECT_EQ (g_list_length (zelm_app_get_files_no_copy (ZELM_APP (app))), files + 1);

    /* Save the file from the command line after renaming it. */
    VornFile *mine = VORN_FILE (zelm_app_get_files_no_copy (ZELM_APP (app))->data);
    g_object_set (mine, "name", "Renamed", nullptr);
    pointer_move (widget (app, "CurveScopeNotebook"), 200, 200);
    click_tree_row (app, VORN_NODE (mine));
    EXPECT_EQ (zelm_app_gui_get_current_file (app), mine);
    chord ({ GDK_KEY_Control_L, GDK_KEY_s });
    g_autoptr (VornFile) saved = vorn_file_load (path.c_str (), nullptr);
    ASSERT_NE (saved, nullptr);
    g_autofree char *name = nullptr;
    g_object_get (saved, "name", &name, nullptr);
    EXPECT_STREQ (name, "Renamed");

    /* The directory is gone: the save fails and says so. */
    g_unlink (path.c_str ());
    g_rmdir (dir.c_str ());
    chord ({ GDK_KEY_Control_L, GDK_KEY_s });
    dialog = message_dialog ();
    ASSERT_NE (dialog, nullptr);
    g_clear_pointer (&text, g_free);
    g_object_get (dialog, "text", &text, nullptr);
    EXPECT_TRUE (g_str_has_prefix (text, ("Error occurred saving file '" + path + "': ").c_str ()))
        << text;
    wait_drawn (dialog);
    click_button (dialog, "_Close");

    pointer_move (widget (app, "CurveScopeNotebook"), 200, 200);
    chord ({ GDK_KEY_Control_L, GDK_KEY_q });
  });
  EXPECT_EQ (run.status, 0);
}

/* Shortcuts reach the window while the start-up splash is up. */
TEST_F (WindowTest, ShortcutsWorkOverTheSplash)
{
  bool quit = false;
  auto run = run_app ({ "--disable-audio" }, [&quit] (ZelmAppGui *app) {
    GtkWidget *splash = zelm_app_gui_get_splash (app);
    ASSERT_NE (splash, nullptr);
    wait_drawn (splash);
    g_signal_connect_swapped (widget (app, "MenuFileQuit"), "activate",
                              G_CALLBACK (+[] (bool *q) { *q = true; }), &quit);
    pointer_move (splash, 30, 30);
    chord ({ GDK_KEY_Control_L, GDK_KEY_q });
    EXPECT_EQ (zelm_app_gui_get_splash (app), nullptr);
  });
  EXPECT_TRUE (quit);
  EXPECT_EQ (run.status, 0);
}

/* The tree lists every file and node with its icon and name, and follows
 * renames and mutes; selecting a node plays its instrument. */
TEST_F (WindowTest, TreeRowsFollowTheNodes)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    dismiss_splash (app);
    GtkTreeView *view = GTK_TREE_VIEW (widget (app, "TreeView"));
    GtkTreeModel *model = gtk_tree_view_get_model (view);
    auto row = [model] (const char *path_text, int column) {
      GtkTreeIter iter;
      std::string text;
      if (gtk_tree_model_get_iter_from_string (model, &iter, path_text))
        {
          g_autofree char *s = nullptr;
          gtk_tree_model_get (model, &iter, column, &s, -1);
          text = s ? s : "";
        }
      return text;
    };
    struct {
      const char *path, *icon, *name;
    } rows[] = {
      { "0", "zelm-file-vvi", "Zelmora bank" },
      { "0:0", "zelm-inst", "In The Beginning" },
      { "0:0:0", "zelm-vol-attack", "Volume Attack" },
      { "0:0:1", "zelm-vol-release", "Volume Release" },
      { "0:0:2", "zelm-balance-mod", "Slow Drift" },
      { "0:3:2", "zelm-vol-mod", "Rotor" },
    };
    for (const auto &r : rows)
      {
        EXPECT_EQ (row (r.path, 0), r.icon) << r.path;
        EXPECT_EQ (row (r.path, 1), r.name) << r.path;
      }

    VornFile *bank = VORN_FILE (zelm_app_get_files_no_copy (ZELM_APP (app))->data);
    VornNode *organ = VORN_NODE (bank)->children->next->next->next;
    VornNode *tremolo = organ->children->next->next;
    g_object_set (tremolo, "name", "Slow Tremolo", "mute", TRUE, nullptr);
    EXPECT_EQ (row ("0:3:2", 1), "Slow Tremolo");
    EXPECT_EQ (row ("0:3:2", 2), "audio-volume-muted");
    g_object_set (tremolo, "mute", FALSE, nullptr);
    EXPECT_EQ (row ("0:3:2", 2), "");

    click_tree_row (app, tremolo);
    EXPECT_EQ (zelm_app_gui_get_current_node (app), tremolo);
    EXPECT_EQ (VORN_NODE (zelm_app_gui_get_current_inst (app)), organ);
    g_autoptr (VornSynth) synth = zelm_app_get_synth (ZELM_APP (app));
    EXPECT_EQ (VORN_NODE (vorn_synth_get_inst (synth, 0)), organ);
  });
}

/* Level of @freq in @x (one channel), by correlation with a sine and a
 * cosine over whole samples. */
static double
partial (const std::vector<float> &x, double freq)
{
  double c = 0, s = 0;
  for (size_t i = 0; i < x.size (); i++)
    {
      const double ph = 2 * G_PI * freq * double (i) / RATE;
      c += x[i] * std::cos (ph);
      s += x[i] * std::sin (ph);
    }
  return 2 * std::hypot (c, s) / double (x.size ());
}

/* Editing while it plays: selecting the oscillator of an instrument shows
 * its curve on the Curve page; dragging the curve's peak sideways with the
 * mouse while a note sounds leaves that note as it was (no click, no change)
 * and makes the next note lopsided, which the captured audio shows as a
 * second harmonic several times stronger than before (the drawn sine has
 * a little of it). */
TEST_F (WindowTest, DraggingACurvePointChangesTheNextNote)
{
  g_autofree char *path = g_build_filename (scratch_dir ().c_str (), "edit.vvi", nullptr);
  {
    g_autoptr (VornFile) file = vorn_file_new ();
    g_autoptr (VornInst) inst = vorn_inst_new_default ();
    vorn_node_insert (VORN_NODE (file), VORN_NODE (inst), -1);
    g_autoptr (GError) error = nullptr;
    ASSERT_TRUE (vorn_file_save (file, path, &error)) << error->message;
  }
  run_app ({ "--disable-audio", path }, [] (ZelmAppGui *app) {
    Ear ear (app);
    dismiss_splash (app);
    VornFile *file = nullptr;
    for (GList *l = zelm_app_get_files_no_copy (ZELM_APP (app)); l; l = l->next)
      {
        g_autofree char *name = nullptr;
        g_object_get (l->data, "file-name", &name, nullptr);
        if (name && g_str_has_suffix (name, "edit.vvi"))
          file = VORN_FILE (l->data);
      }
    ASSERT_NE (file, nullptr);
    VornNode *osc = nullptr;
    for (VornNode *n = VORN_NODE (file)->children->children; n; n = n->next)
      {
        guint kind = 0;
        g_object_get (n, "kind", &kind, nullptr);
        if (kind == VORN_WAVE_KIND_SIGNAL)
          osc = n;
      }
    ASSERT_NE (osc, nullptr);

    /* Note 48 from the keyboard: a pure sine. */
    auto play = [&] {
      key_press (GDK_KEY_z);
      ear.render (9600);
      auto left = signal_test::channel (ear.render (48000), 0);
      key_release (GDK_KEY_z);
      EXPECT_TRUE (ear.falls_silent ());
      const double f = 130.8128;
      return partial (left, 2 * f) / partial (left, f);
    };

    click_tree_row (app, osc);
    ZelmWaveEditor *editor = ZELM_WAVE_EDITOR (zelm_app_gui_get_wave_editor (app));
    ZelmWaveCanvas *canvas = zelm_wave_editor_get_canvas (editor);
    EXPECT_EQ (zelm_wave_canvas_get_wave (canvas), VORN_WAVE (osc));
    const double before = play ();

    /* The sine's peak, a quarter of the way along, dragged to a tenth. */
    VornCurve *curve = VORN_WAVE (osc)->curve;
    double peak_x = 0, peak_y = -1;
    for (gint32 i = 0; i < curve->count; i++)
      if (curve->ycoords[3 * i] > peak_y)
        {
          peak_x = curve->xcoords[3 * i];
          peak_y = curve->ycoords[3 * i];
        }
    gtk_notebook_set_current_page (GTK_NOTEBOOK (widget (app, "CurveScopeNotebook")), 0);
    wait_drawn (GTK_WIDGET (canvas));
    double px, py, tx, ty;
    zelm_wave_canvas_value_to_pixel (canvas, peak_x, peak_y, &px, &py);
    zelm_wave_canvas_value_to_pixel (canvas, 0.1, peak_y, &tx, &ty);
    /* The drag happens while a note sounds: that voice plays on from its
     * own copy of the curve, unchanged and without a click. */
    key_press (GDK_KEY_z);
    ear.render (9600);
    std::vector<float> during;
    auto listen = [&] (guint frames) {
      auto left = signal_test::channel (ear.render (frames), 0);
      during.insert (during.end (), left.begin (), left.end ());
    };
    listen (4800);
    pointer_move (GTK_WIDGET (canvas), px, py);
    pump (30);
    button_press ();
    for (int step = 1; step <= 8; step++)
      {
        pointer_move (GTK_WIDGET (canvas), px + (tx - px) * step / 8, py);
        pump (20);
        listen (960);
      }
    button_release ();
    pump (30);
    listen (4800 + 48000 - 9600 - 8 * 960);
    key_release (GDK_KEY_z);
    EXPECT_TRUE (ear.falls_silent ());
    EXPECT_NEAR (partial (during, 2 * 130.8128) / partial (during, 130.8128), before, 0.01);
    /* No sample-to-sample jump beyond what the steady note made before
     * the drag. */
    auto max_step = [&] (size_t from, size_t to) {
      float m = 0;
      for (size_t i = from + 1; i < to; i++)
        m = std::max (m, std::fabs (during[i] - during[i - 1]));
      return m;
    };
    EXPECT_LE (max_step (4800, during.size ()), max_step (0, 4800) * 1.05f)
      << "a click while the curve changed";

    const double after = play ();
    EXPECT_GT (after, before * 3 + 0.05) << "second harmonic before " << before << ", after " << after;
  });
}
