/* test-window.cpp: the main window.  Its commands are driven through their
 * actions, dialogs answered through their own API; real input (XTest) only
 * where the path from the user is the point: a key to its manual.
 * What is heard is rendered here from the window's synthesizer (audio is
 * disabled, so this thread is its only renderer). */
#include "test-signal.h"
#include "vorn-test-log.h"
#include "zelm-app-run.h"
#include "zelm-gui-test.h"
#include "zelm-wave-canvas.h"
#include "zelm-wave-editor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zelm_test;

namespace {

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
  bool falls_silent ()
  {
    for (int i = 0; i < 100; i++)
      if (render (2400), active () == 0)
        return true;
    return false;
  }
};

std::string
text_of (VornFile *file)
{
  g_autofree char *data = vorn_file_to_data (file, nullptr);
  return data;
}

VornFile *
file_named (ZelmAppGui *app, const std::string &path)
{
  for (GList *l = zelm_app_get_files_no_copy (ZELM_APP (app)); l; l = l->next)
    {
      g_autofree char *name = nullptr;
      g_object_get (l->data, "file-name", &name, nullptr);
      if (name && path == name)
        return VORN_FILE (l->data);
    }
  return nullptr;
}

bool
muted_on_disk (const std::string &path)
{
  g_autoptr (VornFile) file = vorn_file_load (path.c_str (), nullptr);
  return file && VORN_NODE (file)->children->children->mute;
}

std::string
title (ZelmAppGui *app)
{
  return gtk_window_get_title (GTK_WINDOW (main_window (app)));
}

std::string
dialog_text (GtkWidget *dialog)
{
  g_autofree char *text = nullptr;
  g_object_get (dialog, "text", &text, nullptr);
  return text ? text : "";
}

/* Selects the first node of @path's file and mutes it, as its editor would. */
VornNode *
mute_first_node (ZelmAppGui *app, const std::string &path)
{
  VornNode *node = VORN_NODE (file_named (app, path))->children->children;
  select_row (app, node);
  g_object_set (node, "mute", TRUE, nullptr);
  pump (60);
  return node;
}

class WindowTest : public ::testing::Test {
protected:
  void SetUp () override { remove_config (); }
};

} // namespace

/* The first key after start closes the splash and already plays; Escape
 * silences; a text field with the focus takes the keys; a selected row's
 * instrument is the one that plays.  (Which note a key plays: the keyboard's
 * own tests; its pitch and the lit piano key: the end-to-end test.) */
TEST_F (WindowTest, KeyReachesItsManual)
{
  /* The splash must not close by itself while a loaded machine is slow to
   * deliver the key. */
  g_setenv ("ZELMORA_SPLASH_MS", "600000", TRUE);
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    Ear ear (app);
    GtkWidget *s = splash ();
    ASSERT_NE (s, nullptr);
    wait_drawn (s);
    pointer_move (s, 30, 30);
    key_press (GDK_KEY_z);
    EXPECT_TRUE (wait_for ([] { return splash () == nullptr; }));
    EXPECT_EQ (ear.active (), 1u);
    pointer_move (widget (app, "CurveScopeNotebook"), 200, 200);
    key_release (GDK_KEY_z);
    EXPECT_TRUE (ear.falls_silent ());

    key_press (GDK_KEY_q);
    key_press (GDK_KEY_e);
    EXPECT_EQ (ear.active (), 2u);
    key_tap (GDK_KEY_Escape);
    EXPECT_TRUE (ear.falls_silent ());
    key_release (GDK_KEY_q);
    key_release (GDK_KEY_e);

    GtkWidget *entry = find_child (widget (app, "PropEditor"), GTK_TYPE_ENTRY);
    ASSERT_NE (entry, nullptr);
    gtk_widget_grab_focus (entry);
    gtk_editable_delete_text (GTK_EDITABLE (entry), 0, -1);
    key_tap (GDK_KEY_z);
    EXPECT_STREQ (gtk_entry_get_text (GTK_ENTRY (entry)), "z");
    EXPECT_EQ (ear.active (), 0u);

    VornNode *organ = VORN_NODE (zelm_app_get_files_no_copy (ZELM_APP (app))->data)->children;
    organ = organ->next->next->next;
    select_row (app, organ->children);
    EXPECT_EQ (VORN_NODE (vorn_synth_get_inst (ear.synth, 0)), organ);
  });
  g_unsetenv ("ZELMORA_SPLASH_MS");
}

/* new adds and selects a file; open of a broken file says why and adds
 * nothing; save writes the selected file, a failed save says why; save-as
 * onto an existing file asks before replacing it. */
TEST_F (WindowTest, FileActions)
{
  const std::string path = write_instrument_file ("mine", "Mine");
  const std::string other = write_instrument_file ("other", "Other");
  const std::string broken = scratch_dir () + "/broken.vvi";
  ASSERT_TRUE (g_file_set_contents (broken.c_str (), "[]", -1, nullptr));
  run_app ({ "--disable-audio", path }, [&] (ZelmAppGui *app) {
    dismiss_splash (app);
    auto count = [app] { return g_list_length (zelm_app_get_files_no_copy (ZELM_APP (app))); };
    guint files = count ();
    VornFile *mine = file_named (app, path);
    activate (app, "win.new");
    EXPECT_EQ (count (), files + 1);
    EXPECT_EQ (title (app), "Untitled \u2014 Zelmora");

    activate (app, "win.open");
    GtkWidget *chooser = wait_toplevel (GTK_TYPE_FILE_CHOOSER_DIALOG);
    ASSERT_NE (chooser, nullptr);
    gtk_file_chooser_set_filename (GTK_FILE_CHOOSER (chooser), broken.c_str ());
    pump (200);
    gtk_dialog_response (GTK_DIALOG (chooser), GTK_RESPONSE_ACCEPT);
    GtkWidget *error = wait_toplevel (GTK_TYPE_MESSAGE_DIALOG);
    ASSERT_NE (error, nullptr);
    EXPECT_EQ (dialog_text (error).rfind ("Error occurred opening file '" + broken + "': ", 0), 0u);
    gtk_dialog_response (GTK_DIALOG (error), GTK_RESPONSE_CLOSE);
    EXPECT_EQ (count (), files + 1);

    VornNode *node = mute_first_node (app, path);
    activate (app, "win.save");
    EXPECT_TRUE (muted_on_disk (path));

    /* Save As: Cancel in the replace question leaves the other file. */
    for (int answer : { GTK_RESPONSE_CANCEL, GTK_RESPONSE_ACCEPT })
      {
        activate (app, "win.save-as");
        chooser = wait_toplevel (GTK_TYPE_FILE_CHOOSER_DIALOG);
        ASSERT_NE (chooser, nullptr);
        gtk_file_chooser_set_filename (GTK_FILE_CHOOSER (chooser), other.c_str ());
        pump (200);
        gtk_dialog_response (GTK_DIALOG (chooser), GTK_RESPONSE_ACCEPT);
        GtkWidget *ask = wait_toplevel (GTK_TYPE_MESSAGE_DIALOG);
        ASSERT_NE (ask, nullptr);
        EXPECT_EQ (dialog_text (ask), "A file named \u201cother.vvi\u201d already exists.  "
                                      "Do you want to replace it?");
        gtk_dialog_response (GTK_DIALOG (ask), answer);
        pump (60);
        EXPECT_EQ (muted_on_disk (other), answer == GTK_RESPONSE_ACCEPT);
        if (answer == GTK_RESPONSE_CANCEL)
          gtk_widget_destroy (chooser);
      }
    g_autoptr (VornFile) saved = vorn_file_load (other.c_str (), nullptr);
    EXPECT_EQ (name_of (VORN_NODE (saved)->children), "Mine");

    /* The directory is gone: the save fails and says so. */
    g_object_set (node, "mute", FALSE, nullptr);
    g_autofree char *dir = g_build_filename (scratch_dir ().c_str (), "gone", nullptr);
    g_autofree char *gone = g_build_filename (dir, "x.vvi", nullptr);
    g_object_set (mine, "file-name", gone, nullptr);
    activate (app, "win.save");
    error = wait_toplevel (GTK_TYPE_MESSAGE_DIALOG);
    ASSERT_NE (error, nullptr);
    EXPECT_EQ (dialog_text (error).rfind (std::string ("Error occurred saving file '") + gone, 0), 0u);
    gtk_dialog_response (GTK_DIALOG (error), GTK_RESPONSE_CLOSE);
  });
}

/* win.undo and win.redo reach the file's history: a property of the
 * selection and a curve point the editor reports go back and come again.
 * The actions are enabled when they can act, and the title marks unsaved
 * changes until a save.  (Every state of a long random sequence: the
 * history's own tests.) */
TEST_F (WindowTest, UndoAndRedoReachTheHistory)
{
  const std::string path = write_instrument_file ("undo", "Undo");
  run_app ({ "--disable-audio", path }, [&] (ZelmAppGui *app) {
    dismiss_splash (app);
    VornFile *file = file_named (app, path);
    std::vector<std::string> states{ text_of (file) };
    VornNode *node = mute_first_node (app, path);
    states.push_back (text_of (file));
    auto *canvas = zelm_wave_editor_get_canvas (ZELM_WAVE_EDITOR (widget (app, "WaveEditor")));
    VORN_WAVE (node)->curve->ycoords[0] += 0.125;
    g_object_notify (G_OBJECT (canvas), "wave");
    pump (30);
    states.push_back (text_of (file));
    EXPECT_EQ (title (app), "undo * \u2014 Zelmora");

    /* Back to the file as opened, then forward again. */
    const struct {
      const char *action;
      size_t state;
    } steps[] = { { "win.undo", 1 }, { "win.undo", 0 }, { "win.redo", 1 }, { "win.redo", 2 } };
    for (const auto &step : steps)
      {
        SCOPED_TRACE (std::string (step.action) + " to state " + std::to_string (step.state));
        activate (app, step.action);
        EXPECT_EQ (text_of (file), states[step.state]);
        EXPECT_EQ (enabled (app, "win.undo"), step.state > 0);
        EXPECT_EQ (enabled (app, "win.redo"), step.state < 2);
        EXPECT_EQ (title (app), step.state ? "undo * \u2014 Zelmora"
                                           : "undo \u2014 Zelmora");
      }

    activate (app, "win.save");
    EXPECT_EQ (title (app), "undo \u2014 Zelmora");
    activate (app, "win.undo");
    EXPECT_EQ (title (app), "undo * \u2014 Zelmora");
  });
}

/* With unsaved changes the window's close button and app.quit both ask
 * first, and the answer reaches the close flow: Cancel keeps the window and
 * the disk as they were, Save writes and quits.  (Every answer and order of
 * saves: the close flow's own tests.) */
TEST_F (WindowTest, CloseAndQuitAskFirst)
{
  const std::string path = write_instrument_file ("close", "Close");
  run_app ({ "--disable-audio", path }, [&] (ZelmAppGui *app) {
    dismiss_splash (app);
    mute_first_node (app, path);
    for (int answer : { GTK_RESPONSE_CANCEL, GTK_RESPONSE_YES })
      {
        if (answer == GTK_RESPONSE_CANCEL)
          gtk_window_close (GTK_WINDOW (main_window (app)));
        else
          activate (app, "app.quit");
        GtkWidget *dialog = wait_toplevel (GTK_TYPE_MESSAGE_DIALOG);
        ASSERT_NE (dialog, nullptr);
        EXPECT_EQ (dialog_text (dialog), "Save changes to \u201cclose\u201d before closing?");
        gtk_dialog_response (GTK_DIALOG (dialog), answer);
        pump (100);
        EXPECT_EQ (muted_on_disk (path), answer == GTK_RESPONSE_YES) << answer;
        EXPECT_EQ (main_window (app) == nullptr, answer == GTK_RESPONSE_YES) << answer;
      }
  });
}

/* An edit in the curve editor reaches the next note: the window rebuilds
 * the curve's cache when the editor reports a change.  Halving the
 * oscillator's curve halves the next note's level. */
TEST_F (WindowTest, CurveEditReachesTheNextNote)
{
  const std::string path = write_instrument_file ("edit", "Edit");
  run_app ({ "--disable-audio", path }, [&] (ZelmAppGui *app) {
    Ear ear (app);
    dismiss_splash (app);
    /* The default instrument's oscillator is its third node. */
    VornNode *osc = VORN_NODE (file_named (app, path))->children->children->next->next;
    ASSERT_TRUE (VORN_IS_WAVE (osc));
    select_row (app, osc);
    auto level = [&] {
      vorn_synth_note_on (ear.synth, 1, 1, 0, 48, 127, nullptr);
      ear.render (9600);
      auto left = signal_test::channel (ear.render (24000), 0);
      vorn_synth_note_off (ear.synth, 1, 1, 0, 48, 127);
      EXPECT_TRUE (ear.falls_silent ());
      return signal_test::peak (left);
    };
    const double before = level ();
    VornCurve *curve = VORN_WAVE (osc)->curve;
    for (gint32 i = 0; i < 3 * curve->count - 2; i++)
      curve->ycoords[i] *= 0.5;
    auto *canvas = zelm_wave_editor_get_canvas (ZELM_WAVE_EDITOR (widget (app, "WaveEditor")));
    g_object_notify (G_OBJECT (canvas), "wave");
    EXPECT_NEAR (level () / before, 0.5, 0.05);
  });
}
