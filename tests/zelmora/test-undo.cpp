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
    const std::vector<std::function<void ()>> edits { drag_curve, drag_curve, toggle_check,
                                                      scroll_combo, drag_slider };

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
