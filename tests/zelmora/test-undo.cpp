/* Undo, redo and unsaved changes in the main window, driven as a user
 * would: edits by mouse and keyboard, Ctrl+Z and Ctrl+Shift+Z, the quit
 * prompt's buttons. */
#include "vorn-test-log.h"
#include "zelm-app-run.h"
#include "zelm-gui-test.h"
#include "zelm-wave-canvas.h"
#include "zelm-wave-editor.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace zelm_test;

namespace {

std::string
text_of (VornFile *file)
{
  g_autofree char *data = vorn_file_to_data (file, nullptr);
  return data;
}

/* Where two file texts part, for a failure message that fits a screen. */
std::string
first_difference (const std::string &a, const std::string &b)
{
  size_t i = 0;
  while (i < a.size () && i < b.size () && a[i] == b[i])
    i++;
  if (i == a.size () && i == b.size ())
    return "same";
  size_t from = i > 160 ? i - 160 : 0;
  auto part = [&] (const std::string &s) { return s.substr (from, 240); };
  return "at byte " + std::to_string (i) + "\n--- got:\n" + part (a) + "\n--- wanted:\n" + part (b);
}

/* A file of the first instruments of the built-in bank, saved in the
 * scratch directory under @name. */
std::string
bank_copy (const char *name, int instruments)
{
  g_autoptr (GError) error = nullptr;
  g_autoptr (VornFile) bank = vorn_file_load (ZELM_TEST_BANK, &error);
  EXPECT_NE (bank, nullptr) << error->message;
  int n = 0;
  for (VornNode *c = VORN_NODE (bank)->children, *next; c; c = next)
    {
      next = c->next;
      if (n++ >= instruments)
        vorn_node_unlink (c);
    }
  std::string path = scratch_dir () + "/" + name;
  EXPECT_TRUE (vorn_file_save (bank, path.c_str (), &error));
  return path;
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

/* Every node of @root that @keep accepts, in pre-order. */
std::vector<VornNode *>
nodes (VornNode *root, const std::function<bool (VornNode *)> &keep)
{
  std::vector<VornNode *> all;
  std::function<void (VornNode *)> walk = [&] (VornNode *n) {
    if (keep (n))
      all.push_back (n);
    for (VornNode *c = n->children; c; c = c->next)
      walk (c);
  };
  walk (root);
  return all;
}

/* Widgets of @type below @root whose left part is drawn inside @clip (a
 * scrolled window: wide rows run past its right edge). */
std::vector<GtkWidget *>
visible_children (GtkWidget *root, GType type, GtkWidget *clip)
{
  std::vector<GtkWidget *> found;
  const int cw = gtk_widget_get_allocated_width (clip);
  const int ch = gtk_widget_get_allocated_height (clip);
  std::function<void (GtkWidget *)> walk = [&] (GtkWidget *w) {
    int x, y;
    if (G_TYPE_CHECK_INSTANCE_TYPE (w, type) && gtk_widget_is_drawable (w) &&
        gtk_widget_is_sensitive (w) && gtk_widget_translate_coordinates (w, clip, 0, 0, &x, &y) &&
        x >= 0 && y >= 0 && x + 40 <= cw && y + gtk_widget_get_allocated_height (w) <= ch)
      found.push_back (w);
    if (GTK_IS_CONTAINER (w))
      {
        GList *children = gtk_container_get_children (GTK_CONTAINER (w));
        for (GList *l = children; l; l = l->next)
          walk (GTK_WIDGET (l->data));
        g_list_free (children);
      }
  };
  walk (root);
  return found;
}

void
drag (GtkWidget *w, double x0, double y0, double x1, double y1)
{
  pointer_move (w, x0, y0);
  button_press (1);
  for (int i = 1; i <= 4; i++)
    pointer_move (w, x0 + (x1 - x0) * i / 4, y0 + (y1 - y0) * i / 4);
  button_release (1);
}

class UndoTest : public ::testing::Test {
protected:
  void SetUp () override { remove_config (); }
};

} // namespace

/* Edits of every kind the window offers, in a seeded random order, each
 * made with the mouse or keyboard: after each the file's text is noted.
 * Ctrl+Z then walks back through exactly those texts to the file as
 * opened, and Ctrl+Shift+Z forward again; a curve drag of many motions is
 * one step. */
TEST_F (UndoTest, RandomEditsUndoToTheOriginalAndRedoExactly)
{
  const std::string path = bank_copy ("undo.vvi", 3);
  run_app ({ "--disable-audio", path }, [&] (ZelmAppGui *app) {
    dismiss_splash (app);
    VornFile *file = file_named (app, path);
    ASSERT_NE (file, nullptr);
    std::vector<std::string> states { text_of (file) };
    ZelmWaveCanvas *canvas =
        zelm_wave_editor_get_canvas (ZELM_WAVE_EDITOR (zelm_app_gui_get_wave_editor (app)));
    GtkWidget *props = zelm_app_gui_get_prop_editor (app);
    GtkWidget *props_clip = widget (app, "PropViewScrollWin");
    std::mt19937 rng (2026);
    auto pick = [&rng] (size_t n) { return size_t (rng () % n); };

    /* Selecting is no edit: a wave of the file, so the curve and its
     * properties are on screen. */
    auto select_wave = [&] {
      auto waves = nodes (VORN_NODE (file), [] (VornNode *n) {
        return VORN_IS_WAVE (n) && VORN_WAVE (n)->curve && VORN_WAVE (n)->curve->count >= 2;
      });
      ASSERT_FALSE (waves.empty ());
      click_tree_row (app, waves[pick (waves.size ())]);
      wait_drawn (GTK_WIDGET (canvas));
    };
    auto drag_curve = [&] {
      VornWave *wave = zelm_wave_canvas_get_wave (canvas);
      if (!wave)
        return;
      VornCurve *curve = wave->curve;
      int coord = int (pick (size_t (3 * curve->count - 2)));
      double px, py;
      zelm_wave_canvas_value_to_pixel (canvas, curve->xcoords[coord], curve->ycoords[coord], &px,
                                       &py);
      double dx = double (int (pick (41)) - 20), dy = double (int (pick (41)) - 20);
      drag (GTK_WIDGET (canvas), px, py, px + dx, py + dy);
    };
    auto toggle_check = [&] {
      auto checks = visible_children (props, GTK_TYPE_CHECK_BUTTON, props_clip);
      if (!checks.empty ())
        click (checks[pick (checks.size ())], 6, 6);
    };
    auto scroll_combo = [&] {
      auto combos = visible_children (props, GTK_TYPE_COMBO_BOX, props_clip);
      if (!combos.empty ())
        scroll (combos[pick (combos.size ())], 10, 8,
                pick (2) ? GDK_SCROLL_UP : GDK_SCROLL_DOWN);
    };
    auto drag_slider = [&] {
      GType scale_type = g_type_from_name ("ZelmScale");
      auto scales = visible_children (props, scale_type, props_clip);
      if (scales.empty ())
        return;
      GtkWidget *s = scales[pick (scales.size ())];
      double w = gtk_widget_get_allocated_width (s);
      drag (s, w / 2, 5, w / 2 + double (int (pick (61)) - 30), 5);
    };
    /* The tree's commands by their keys, on a random row. */
    auto tree_command = [&] {
      auto all = nodes (VORN_NODE (file), [file] (VornNode *n) {
        return n != VORN_NODE (file) && !VORN_IS_TAP (n);
      });
      click_tree_row (app, all[pick (all.size ())]);
      switch (pick (8))
        {
        case 0:
          chord ({ GDK_KEY_Control_L, GDK_KEY_m });
          break;
        case 1:
          chord ({ GDK_KEY_Control_L, GDK_KEY_t });
          break;
        case 2:
          chord ({ GDK_KEY_Alt_L, GDK_KEY_Up });
          break;
        case 3:
          chord ({ GDK_KEY_Alt_L, GDK_KEY_Down });
          break;
        case 4:
          chord ({ GDK_KEY_Control_L, GDK_KEY_i });
          break;
        case 5:
          chord ({ GDK_KEY_Control_L, GDK_KEY_c });
          chord ({ GDK_KEY_Control_L, GDK_KEY_v });
          break;
        case 6:
          if (all.size () > 20)
            chord ({ GDK_KEY_Control_L, GDK_KEY_d });
          break;
        default:
          key_tap (GDK_KEY_F2);
          pump (30);
          key_tap (pick (2) ? GDK_KEY_x : GDK_KEY_y);
          key_tap (GDK_KEY_Return);
        }
    };
    const std::vector<std::function<void ()>> edits { drag_curve,   drag_curve,   toggle_check,
                                                      scroll_combo, drag_slider,  tree_command,
                                                      tree_command, tree_command };

    select_wave ();
    int made = 0;
    while (made < 200)
      {
        if (pick (6) == 0)
          select_wave ();
        size_t kind = pick (edits.size ());
        edits[kind] ();
        pump (120);
        made++;
        std::string now = text_of (file);
        if (now != states.back ())
          states.push_back (now);
      }
    ASSERT_GT (states.size (), 100u) << "most edits change the file";

    /* Back to the file as opened, one Ctrl+Z per step... */
    gtk_widget_grab_focus (widget (app, "TreeView"));
    for (size_t i = states.size () - 1; i > 0; i--)
      {
        chord ({ GDK_KEY_Control_L, GDK_KEY_z });
        pump (10);
        std::string d = first_difference (text_of (file), states[i - 1]);
        ASSERT_TRUE (d == "same") << "undoing to state " << i - 1 << " " << d;
      }
    chord ({ GDK_KEY_Control_L, GDK_KEY_z });
    pump (10);
    EXPECT_EQ (first_difference (text_of (file), states[0]), "same");
    EXPECT_EQ (std::string (gtk_window_get_title (GTK_WINDOW (widget (app, "AppWindow")))).find ('*'),
               std::string::npos) << "nothing unsaved any more";

    /* ...and forward again with Ctrl+Shift+Z. */
    for (size_t i = 1; i < states.size (); i++)
      {
        chord ({ GDK_KEY_Control_L, GDK_KEY_Shift_L, GDK_KEY_Z });
        pump (10);
        std::string d = first_difference (text_of (file), states[i]);
        ASSERT_TRUE (d == "same") << "redoing to state " << i << " " << d;
      }
  });
}

namespace {

/* The file of @path opened in the window, its first instrument's first
 * node muted with Ctrl+M on its row. */
VornNode *
mute_first_node (ZelmAppGui *app, const std::string &path)
{
  VornFile *file = file_named (app, path);
  EXPECT_NE (file, nullptr);
  if (!file)
    return nullptr;
  VornNode *node = VORN_NODE (file)->children->children;
  click_tree_row (app, node);
  chord ({ GDK_KEY_Control_L, GDK_KEY_m });
  pump (60);
  EXPECT_TRUE (node->mute);
  return node;
}

std::string
title (ZelmAppGui *app)
{
  return gtk_window_get_title (GTK_WINDOW (widget (app, "AppWindow")));
}

bool
muted_on_disk (const std::string &path)
{
  g_autoptr (VornFile) file = vorn_file_load (path.c_str (), nullptr);
  return file && VORN_NODE (file)->children->children->mute;
}

} // namespace

/* The title and the tree show unsaved changes; saving clears the mark,
 * undoing past the save brings it back. */
TEST_F (UndoTest, UnsavedChangesAreShownUntilSaved)
{
  const std::string path = bank_copy ("marked.vvi", 1);
  run_app ({ "--disable-audio", path }, [&] (ZelmAppGui *app) {
    dismiss_splash (app);
    ASSERT_NE (mute_first_node (app, path), nullptr);
    EXPECT_EQ (title (app), "Zelmora bank * \u2014 Zelmora");
    EXPECT_TRUE (gtk_widget_get_sensitive (widget (app, "MenuEditUndo")));
    EXPECT_FALSE (gtk_widget_get_sensitive (widget (app, "MenuEditRedo")));

    chord ({ GDK_KEY_Control_L, GDK_KEY_s });
    pump (60);
    EXPECT_EQ (title (app), "Zelmora bank \u2014 Zelmora");
    EXPECT_TRUE (muted_on_disk (path));

    choose_menu (app, "MenuEdit", "MenuEditUndo");
    pump (60);
    EXPECT_EQ (title (app), "Zelmora bank * \u2014 Zelmora");
    EXPECT_TRUE (gtk_widget_get_sensitive (widget (app, "MenuEditRedo")));
    choose_menu (app, "MenuEdit", "MenuEditRedo");
    pump (60);
    EXPECT_EQ (title (app), "Zelmora bank \u2014 Zelmora");
  });
}

/* Quitting, or closing the file by deleting its row, with unsaved changes
 * asks first; each answer does what it says: Cancel keeps the file open and
 * as it is on disk, Close without Saving closes it and leaves the disk as it
 * was, Save writes it and closes.  Closing a file keeps the window. */
TEST_F (UndoTest, QuitOrCloseAsksAndEachAnswerDoesWhatItSays)
{
  struct {
    const char *answer;
    bool closes, saved;
  } cases[] = {
    { "_Cancel", false, false },
    { "Close _without Saving", true, false },
    { "_Save", true, true },
  };
  for (bool quit : { true, false })
    for (const auto &c : cases)
      {
        SCOPED_TRACE (std::string (quit ? "quit: " : "close: ") + c.answer);
        const std::string path = bank_copy ("close.vvi", 1);
        const std::string plain = bank_copy ("plain.vvi", 1);
        run_app ({ "--disable-audio", path, plain }, [&] (ZelmAppGui *app) {
          dismiss_splash (app);
          ASSERT_NE (mute_first_node (app, path), nullptr);
          if (!quit)
            click_tree_row (app, VORN_NODE (file_named (app, path)));
          chord ({ GDK_KEY_Control_L, guint (quit ? GDK_KEY_q : GDK_KEY_d) });
          GtkWidget *dialog = message_dialog ();
          ASSERT_NE (dialog, nullptr);
          g_autofree char *text = nullptr;
          g_object_get (dialog, "text", &text, nullptr);
          EXPECT_STREQ (text, "Save changes to \u201cZelmora bank\u201d before closing?");
          wait_drawn (dialog);
          click_button (dialog, c.answer);
          pump (100);
          EXPECT_EQ (muted_on_disk (path), c.saved);
          if (quit)
            {
              EXPECT_EQ (zelm_app_gui_get_window (app) == nullptr, c.closes);
              return;
            }
          EXPECT_EQ (file_named (app, path) == nullptr, c.closes);
          ASSERT_NE (zelm_app_gui_get_window (app), nullptr);

          /* A file without changes closes at once. */
          click_tree_row (app, VORN_NODE (file_named (app, plain)));
          chord ({ GDK_KEY_Control_L, GDK_KEY_d });
          pump (100);
          EXPECT_EQ (file_named (app, plain), nullptr);
          EXPECT_EQ (find_toplevel ([] (GtkWidget *w) { return GTK_IS_MESSAGE_DIALOG (w); }),
                     nullptr);
        });
      }
}

/* Save As onto an existing file asks before replacing it. */
TEST_F (UndoTest, SaveAsAsksBeforeReplacing)
{
  const std::string path = bank_copy ("first.vvi", 1);
  const std::string other = bank_copy ("other.vvi", 2);
  run_app ({ "--disable-audio", path }, [&] (ZelmAppGui *app) {
    dismiss_splash (app);
    ASSERT_NE (mute_first_node (app, path), nullptr);
    auto save_as = [&] {
      chord ({ GDK_KEY_Control_L, GDK_KEY_Shift_L, GDK_KEY_S });
      GtkWidget *chooser = nullptr;
      wait_for ([&] {
        chooser = find_toplevel ([] (GtkWidget *w) { return GTK_IS_FILE_CHOOSER_DIALOG (w); });
        return chooser != nullptr;
      });
      EXPECT_NE (chooser, nullptr);
      wait_drawn (chooser);
      /* The chooser opens in the file's folder with the focus in the name
       * field; Enter there saves. */
      chord ({ GDK_KEY_Control_L, GDK_KEY_a });
      g_autofree char *base = g_path_get_basename (other.c_str ());
      for (const char *ch = base; *ch; ch++)
        key_tap (gdk_unicode_to_keyval (guint32 (*ch)));
      key_tap (GDK_KEY_Return);
      GtkWidget *ask = message_dialog ();
      EXPECT_NE (ask, nullptr);
      return std::make_pair (chooser, ask);
    };

    auto [chooser, ask] = save_as ();
    ASSERT_NE (ask, nullptr);
    wait_drawn (ask);
    click_button (ask, "_Cancel");
    pump (60);
    EXPECT_FALSE (muted_on_disk (other)) << "not replaced";
    gtk_widget_destroy (chooser);
    pump (30);

    auto [chooser2, ask2] = save_as ();
    ASSERT_NE (ask2, nullptr);
    wait_drawn (ask2);
    click_button (ask2, "_Replace");
    EXPECT_TRUE (wait_for ([&] { return muted_on_disk (other); }));
    g_autoptr (VornFile) saved = vorn_file_load (other.c_str (), nullptr);
    ASSERT_NE (saved, nullptr);
    EXPECT_EQ (VORN_NODE (saved)->children->next, nullptr) << "the one-instrument file";
    (void) chooser2;
  });
}
