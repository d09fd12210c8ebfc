/* The node tree as a user works with it: its context menu, keys, several
 * selected rows and drag and drop, in the running application on the
 * built-in bank.  Every command is checked against the engine tree it
 * edits (order, parents, IDs handed out by the file, taps) and against the
 * edit notifications, one per changed file. */
#include "vorn-test-log.h"
#include "zelm-app-run.h"
#include "zelm-gui-test.h"
#include "zelm-tree.h"
#include "zelm-util.h"

#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

using namespace zelm_test;

namespace {

/* The selection as the window's editors see it: the selected node (not a
 * file or instrument row) and its instrument. */
VornNode *
current_node (ZelmAppGui *app)
{
  VornNode *n = selected_row (app);
  return n && !VORN_IS_FILE (n) && !VORN_IS_INST (n) ? n : nullptr;
}

VornInst *
current_inst (ZelmAppGui *app)
{
  VornNode *n = selected_row (app);
  VornNode *inst = n ? (VORN_IS_INST (n) ? n : vorn_node_get_parent_by_type (n, VORN_TYPE_INST))
                     : nullptr;
  return inst ? VORN_INST (inst) : nullptr;
}

constexpr double BEFORE = 0.1, INTO = 0.5, AFTER = 0.9;

std::string
name_of (VornNode *node)
{
  g_autofree char *name = nullptr;
  g_object_get (node, "name", &name, nullptr);
  return name ? name : "";
}

/* The children of @parent by ID, "t" for a tap, "!" after a muted node,
 * descendants in parentheses: the bank's first instrument is FIRST. */
std::string
shape (VornNode *parent)
{
  std::string s;
  for (VornNode *n = parent->children; n; n = n->next)
    {
      s += s.empty () ? "" : " ";
      s += VORN_IS_TAP (n) ? "t" : std::to_string (n->id) + (n->mute ? "!" : "");
      if (n->children && !VORN_IS_TAP (n))
        s += '(' + shape (n) + ')';
    }
  return s;
}
const char *const FIRST = "2 3 4 5(6 7)"; /* Volume Attack, Volume Release, Slow Drift, Pad Wave */

VornNode *
last_child (VornNode *parent)
{
  VornNode *n = parent->children;
  while (n && n->next)
    n = n->next;
  return n;
}

guint
n_children (VornNode *parent)
{
  guint n = 0;
  for (VornNode *c = parent->children; c; c = c->next)
    n++;
  return n;
}

/* Saves @pixbuf (taken) under $ZELM_TEST_SHOTS when that is set. */
void
shot (GdkPixbuf *pixbuf, const char *name)
{
  const char *dir = g_getenv ("ZELM_TEST_SHOTS");
  if (dir && *dir)
    {
      g_mkdir_with_parents (dir, 0755);
      g_autofree char *path = g_build_filename (dir, name, nullptr);
      gdk_pixbuf_save (pixbuf, path, "png", nullptr, nullptr);
    }
  g_object_unref (pixbuf);
}

struct Ui {
  ZelmAppGui *app;
  GtkTreeView *view;
  ZelmTree *tree;
  VornNode *bank; /* the first file at start */
  GtkWidget *menu;
  std::map<std::string, int> edits; /* file name -> notifications */

  explicit Ui (ZelmAppGui *a)
    : app (a), view (GTK_TREE_VIEW (widget (a, "TreeView"))),
      tree (zelm_tree_from_view (view)),
      bank (VORN_NODE (zelm_app_get_files_no_copy (ZELM_APP (a))->data)),
      menu (zelm_tree_get_menu (tree))
  {
    dismiss_splash (app);
    /* Rows must stay where they are measured. */
    g_object_set (gtk_settings_get_default (), "gtk-enable-animations", FALSE, nullptr);
    zelm_tree_set_edit_observer (tree, [] (VornFile *file, gpointer data) {
      static_cast<Ui *> (data)->edits[name_of (VORN_NODE (file))]++;
    }, this);
  }
  ~Ui () { zelm_tree_set_edit_observer (tree, nullptr, nullptr); }

  VornNode *inst (int i = 0)
  {
    VornNode *n = bank->children;
    for (; n && i > 0; i--)
      n = n->next;
    return n;
  }
  /* The first node named @name below the first instrument (or @root). */
  VornNode *find (const char *name, VornNode *root = nullptr)
  {
    std::pair<const char *, VornNode *> ctx (name, nullptr);
    vorn_node_pre_traverse (root ? root : inst (), [] (VornNode *n, gpointer data) -> gboolean {
      auto *c = static_cast<std::pair<const char *, VornNode *> *> (data);
      if (!VORN_IS_TAP (n) && name_of (n) == c->first)
        c->second = n;
      return c->second == nullptr;
    }, &ctx);
    EXPECT_NE (ctx.second, nullptr) << name;
    return ctx.second;
  }
  /* "file:count ..." since the last call. */
  std::string edited ()
  {
    std::string s;
    for (auto &[file, count] : edits)
      s += (s.empty () ? "" : " ") + file + ':' + std::to_string (count);
    edits.clear ();
    return s;
  }
  GtkTreePath *path_of (VornNode *node)
  {
    GtkTreeModel *model = gtk_tree_view_get_model (view);
    std::function<GtkTreePath *(GtkTreeIter *)> walk = [&] (GtkTreeIter *parent) -> GtkTreePath * {
      GtkTreeIter it;
      for (gboolean ok = gtk_tree_model_iter_children (model, &it, parent); ok;
           ok = gtk_tree_model_iter_next (model, &it))
        {
          g_autoptr (VornNode) n = nullptr;
          gtk_tree_model_get (model, &it, ZELM_TREE_COL_NODE, &n, -1);
          if (n == node)
            return gtk_tree_model_get_path (model, &it);
          if (GtkTreePath *p = walk (&it))
            return p;
        }
      return nullptr;
    };
    return walk (nullptr);
  }
  std::string status (VornNode *node)
  {
    g_autoptr (GtkTreePath) path = path_of (node);
    GtkTreeIter iter;
    gtk_tree_model_get_iter (gtk_tree_view_get_model (view), &iter, path);
    g_autofree char *icon = nullptr;
    gtk_tree_model_get (gtk_tree_view_get_model (view), &iter, ZELM_TREE_COL_STATUS, &icon, -1);
    return icon ? icon : "";
  }
  /* The row of @node in view coordinates, its parents opened, scrolled to. */
  GdkRectangle row (VornNode *node)
  {
    g_autoptr (GtkTreePath) path = path_of (node);
    GdkRectangle r{};
    if (!path)
      {
        ADD_FAILURE () << "no row for " << name_of (node);
        return r;
      }
    g_autoptr (GtkTreePath) parent = gtk_tree_path_copy (path);
    if (gtk_tree_path_up (parent) && gtk_tree_path_get_depth (parent) > 0)
      gtk_tree_view_expand_to_path (view, parent);
    gtk_tree_view_scroll_to_cell (view, path, nullptr, FALSE, 0, 0);
    /* The view scrolls once its rows are measured, maybe later. */
    auto measure = [&] {
      gtk_tree_view_get_background_area (view, path, gtk_tree_view_get_column (view, 1), &r);
      gtk_tree_view_convert_bin_window_to_widget_coords (view, r.x, r.y, &r.x, &r.y);
      return r.height > 0 && r.y >= 0
          && r.y + r.height <= gtk_widget_get_allocated_height (GTK_WIDGET (view));
    };
    EXPECT_TRUE (wait_for (measure)) << name_of (node);
    wait_drawn (GTK_WIDGET (view));
    measure ();
    return r;
  }
  void click_row (VornNode *node, unsigned button = 1, bool ctrl = false, int clicks = 1)
  {
    GdkRectangle r = row (node);
    pointer_move (GTK_WIDGET (view), r.x + 20, r.y + r.height / 2);
    if (ctrl)
      key_press (GDK_KEY_Control_L);
    /* Press and release at once, as a hand clicks: a release reaching an
     * open menu long after its press would choose the entry under it. */
    Display *dpy = GDK_DISPLAY_XDISPLAY (gdk_display_get_default ());
    for (int i = 0; i < clicks; i++)
      {
        XTestFakeButtonEvent (dpy, button, True, CurrentTime);
        XTestFakeButtonEvent (dpy, button, False, CurrentTime);
      }
    XFlush (dpy);
    pump (30);
    if (ctrl)
      key_release (GDK_KEY_Control_L);
  }
  static GtkWidget *item_of (GtkWidget *menu, int index)
  {
    GtkWidget *found = nullptr;
    g_autoptr (GList) items = gtk_container_get_children (GTK_CONTAINER (menu));
    for (GList *l = items; l && !found; l = l->next)
      if (zelm_util_get_menu_item_index (GTK_MENU_ITEM (l->data)) == index)
        found = GTK_WIDGET (l->data);
      else if (GtkWidget *sub = gtk_menu_item_get_submenu (GTK_MENU_ITEM (l->data)))
        found = item_of (sub, index);
    return found;
  }
  bool menu_open (bool open = true)
  {
    return wait_for ([this, open] { return gtk_widget_get_mapped (menu) == open; });
  }
  /* Right-clicks @node's row and clicks entry @index, through its submenu. */
  void choose (VornNode *node, int index)
  {
    SCOPED_TRACE ("entry " + std::to_string (index) + " on " + name_of (node));
    click_row (node, 3);
    ASSERT_TRUE (menu_open ());
    GtkWidget *item = item_of (menu, index);
    GtkWidget *parent = gtk_widget_get_parent (item);
    if (parent != menu)
      {
        /* Resting on the head opens its submenu after GTK's delay.  (Clicking
         * it cancels that timer, which GTK 3 does without freeing its data:
         * a leak of the toolkit's, not ours, that would fail the sanitizer
         * runs.) */
        GtkWidget *head = gtk_menu_get_attach_widget (GTK_MENU (parent));
        pointer_move (head, 30, gtk_widget_get_allocated_height (head) / 2);
        wait_drawn (item);
        pointer_move (item, 5, gtk_widget_get_allocated_height (item) / 2);
      }
    wait_drawn (item);
    click (item, 30, gtk_widget_get_allocated_height (item) / 2);
    EXPECT_TRUE (menu_open (false));
    pump (30);
  }
  void keys (std::initializer_list<guint> keys)
  {
    chord (keys);
    pump (30);
  }
  /* Press on @from, move in steps, release at @frac of @to's row. */
  void drag (VornNode *from, VornNode *to, double frac)
  {
    /* Away from the edges, where a drag scrolls; and no double click. */
    gtk_tree_view_scroll_to_point (view, -1, 0);
    GtkAdjustment *adj = gtk_scrollable_get_vadjustment (GTK_SCROLLABLE (view));
    EXPECT_TRUE (wait_for ([adj] { return gtk_adjustment_get_value (adj) == 0; }));
    pump (500);
    GdkRectangle a = row (from), b = row (to);
    GtkWidget *w = GTK_WIDGET (view);
    double x = a.x + 40, y0 = a.y + a.height / 2.0, y1 = b.y + frac * b.height;
    pointer_move (w, x, y0);
    button_press ();
    for (int i = 1; i <= 10; i++)
      {
        pointer_move (w, x + (i < 10 ? 3 : 0), y0 + (y1 - y0) * i / 10);
        pump (40);
      }
    pump (150);
    button_release ();
    pump (300);
  }
  guint next_id ()
  {
    guint id = 0;
    g_object_get (bank, "next-id", &id, nullptr);
    return id;
  }
  guint selected () { return gtk_tree_selection_count_selected_rows (gtk_tree_view_get_selection (view)); }
  GtkWidget *focus () { return gtk_window_get_focus (GTK_WINDOW (main_window (app))); }
};

void
run (const std::function<void (Ui &)> &body)
{
  auto result = run_app ({ "--disable-audio" }, [&body] (ZelmAppGui *app) {
    Ui ui (app);
    body (ui);
  });
  EXPECT_EQ (result.status, 0);
}

class TreeTest : public ::testing::Test {
protected:
  void SetUp () override { remove_config (); }
};

} // namespace

/* Every new-node entry puts its node before the chosen one (appended to a
 * chosen instrument), numbered by the file and selected; a file row takes
 * only a new instrument. */
TEST_F (TreeTest, NewEntries)
{
  run ([] (Ui &ui) {
    VornNode *drift = ui.find ("Slow Drift");
    ui.click_row (drift, 3);
    ASSERT_TRUE (ui.menu_open ());
    pointer_move (Ui::item_of (ui.menu, ZELM_TREE_MENU_NEW_SIGNAL), 30, 8);
    GtkWidget *sine = Ui::item_of (ui.menu, 2);
    EXPECT_TRUE (wait_for ([sine] { return gtk_widget_get_mapped (sine); }));
    pump (300);
    shot (gdk_pixbuf_get_from_window (gdk_get_default_root_window (), 0, 0, 900, 860), "menu.png");
    ui.keys ({ GDK_KEY_Escape });
    ui.keys ({ GDK_KEY_Escape });
    ASSERT_TRUE (ui.menu_open (false));

    struct Case {
      int entry;
      const char *type, *icon, *name; /* nullptr: the preset's own name */
    } cases[] = {
      { 2, "VornWave", "zelm-signal-sine", "Sine Wave" },
      { 6, "VornWave", "zelm-signal-sine", nullptr },
      { 8, "VornWave", "zelm-vol-attack", nullptr },
      { 10, "VornWave", "zelm-vol-mod", nullptr },
      { 13, "VornWave", "zelm-pitch-release", nullptr },
      { 18, "VornWave", "zelm-balance-mod", nullptr },
      { 20, "VornWave", "zelm-morph-attack", nullptr },
      { 22, "VornWave", "zelm-morph-mod", nullptr },
      { 24, "VornWave", "zelm-ctrl-vol", "Volume Control" },
      { 28, "VornWave", "zelm-ctrl-time", "Time Control" },
      { 30, "VornFilterRbjBandpass", "audio-x-generic", "RBJ Bandpass" },
      { 32, "VornFilterRbjHighpass", "audio-x-generic", "RBJ Highpass" },
      { 34, "VornFilterNoise", "audio-x-generic", "White Noise" },
    };
    for (const auto &c : cases)
      {
        SCOPED_TRACE (c.entry);
        guint id = ui.next_id ();
        ui.choose (drift, c.entry);
        VornNode *made = drift->prev;
        ASSERT_NE (made, nullptr);
        EXPECT_STREQ (G_OBJECT_TYPE_NAME (made), c.type);
        EXPECT_EQ (made->id, id);
        EXPECT_EQ (made->parent, ui.inst ());
        EXPECT_EQ (current_node (ui.app), made);
        EXPECT_STREQ (zelm_tree_node_icon (made), c.icon);
        EXPECT_EQ (name_of (made), c.name ? c.name : name_of (made));
        EXPECT_EQ (ui.edited (), "Zelmora bank:1");
      }
    ui.choose (ui.inst (1), 34);
    EXPECT_TRUE (VORN_IS_FILTER_NOISE (last_child (ui.inst (1))));

    guint count = n_children (ui.bank);
    ui.edited ();
    ui.choose (ui.bank, 2);
    EXPECT_EQ (n_children (ui.bank), count);
    EXPECT_EQ (ui.edited (), "");
    guint id = ui.next_id ();
    ui.choose (ui.bank, ZELM_TREE_MENU_NEW_INST);
    VornNode *made = last_child (ui.bank);
    EXPECT_TRUE (VORN_IS_INST (made));
    EXPECT_EQ (made->id, id);
    EXPECT_EQ (VORN_NODE (current_inst (ui.app)), made);
    g_autoptr (GtkTreePath) path = ui.path_of (made);
    EXPECT_TRUE (gtk_tree_view_row_expanded (ui.view, path));
    EXPECT_EQ (ui.edited (), "Zelmora bank:1");
  });
}

/* The editing entries, one after another on the first instrument; the
 * same again by their keys. */
TEST_F (TreeTest, EditEntriesAndKeys)
{
  struct Step {
    const char *row;
    int entry;
    std::initializer_list<guint> chord;
    const char *after, *edits;
  };
  const guint C = GDK_KEY_Control_L, A = GDK_KEY_Alt_L, S = GDK_KEY_Shift_L;
  const Step menu_steps[] = {
    { "Slow Drift", ZELM_TREE_MENU_MOVE_UP, {}, "2 4 3 5(6 7)", "Zelmora bank:1" },
    { "Volume Attack", ZELM_TREE_MENU_MOVE_DOWN, {}, "4 2 3 5(6 7)", "Zelmora bank:1" },
    { "Slow Drift", ZELM_TREE_MENU_MOVE_UP, {}, "4 2 3 5(6 7)", "" },
    { "Morph Release", ZELM_TREE_MENU_MOVE_DOWN, {}, "4 2 3 5(6 7)", "" },
    { "Slow Drift", ZELM_TREE_MENU_COPY, {}, "4 2 3 5(6 7)", "" },
    { "Pad Wave", ZELM_TREE_MENU_PASTE, {}, "4 2 3 160 5(6 7)", "Zelmora bank:1" },
    { "Pad Wave", ZELM_TREE_MENU_PASTE_WITHIN, {}, "4 2 3 160 5(6 7 161)", "Zelmora bank:1" },
    { "Volume Attack", ZELM_TREE_MENU_CUT, {}, "4 3 160 5(6 7 161)", "Zelmora bank:1" },
    { "Morph Attack", ZELM_TREE_MENU_PASTE, {}, "4 3 160 5(162 6 7 161)", "Zelmora bank:1" },
    { "Morph Release", ZELM_TREE_MENU_DELETE, {}, "4 3 160 5(162 6 161)", "Zelmora bank:1" },
    { "Volume Release", ZELM_TREE_MENU_MUTE, {}, "4 3! 160 5(162 6 161)", "Zelmora bank:1" },
    { "Volume Release", ZELM_TREE_MENU_MUTE, {}, "4 3 160 5(162 6 161)", "Zelmora bank:1" },
    /* A tap follows its node, also when the node or its neighbours move. */
    { "Volume Release", ZELM_TREE_MENU_TOGGLE_RECORDING, {}, "4 3 t 160 5(162 6 161)", "Zelmora bank:1" },
    { "Volume Release", ZELM_TREE_MENU_MOVE_DOWN, {}, "4 160 3 t 5(162 6 161)", "Zelmora bank:1" },
    { "Pad Wave", ZELM_TREE_MENU_MOVE_UP, {}, "4 160 5(162 6 161) 3 t", "Zelmora bank:1" },
    { "Volume Release", ZELM_TREE_MENU_TOGGLE_RECORDING, {}, "4 160 5(162 6 161) 3", "Zelmora bank:1" },
    /* Recording again, then deleting the node takes its tap along. */
    { "Volume Release", ZELM_TREE_MENU_TOGGLE_RECORDING, {}, "4 160 5(162 6 161) 3 t", "Zelmora bank:1" },
    { "Volume Release", ZELM_TREE_MENU_DELETE, {}, "4 160 5(162 6 161)", "Zelmora bank:1" },
  };
  const Step key_steps[] = {
    { "Slow Drift", -1, { A, GDK_KEY_Up }, "2 4 3 5(6 7)", "Zelmora bank:1" },
    { "Slow Drift", -1, { A, GDK_KEY_Down }, "2 3 4 5(6 7)", "Zelmora bank:1" },
    { "Volume Attack", -1, { C, GDK_KEY_c }, "2 3 4 5(6 7)", "" },
    { "Pad Wave", -1, { C, GDK_KEY_v }, "2 3 4 160 5(6 7)", "Zelmora bank:1" },
    { "Morph Attack", -1, { C, S, GDK_KEY_v }, "2 3 4 160 5(6(161) 7)", "Zelmora bank:1" },
    { "Slow Drift", -1, { C, GDK_KEY_x }, "2 3 160 5(6(161) 7)", "Zelmora bank:1" },
    { "Volume Release", -1, { C, GDK_KEY_m }, "2 3! 160 5(6(161) 7)", "Zelmora bank:1" },
    { "Volume Attack", -1, { C, GDK_KEY_t }, "2 t 3! 160 5(6(161) 7)", "Zelmora bank:1" },
    { "Morph Release", -1, { C, GDK_KEY_d }, "2 t 3! 160 5(6(161))", "Zelmora bank:1" },
    { "Morph Attack", -1, { C, GDK_KEY_i }, "2 t 3! 160 5(163 6(161))", "Zelmora bank:1" },
  };
  for (const auto *steps : { menu_steps, key_steps })
    run ([steps, &menu_steps, &key_steps] (Ui &ui) {
      ASSERT_EQ (shape (ui.inst ()), FIRST);
      size_t n = steps == menu_steps ? std::size (menu_steps) : std::size (key_steps);
      for (size_t i = 0; i < n; i++)
        {
          const Step &s = steps[i];
          SCOPED_TRACE (std::string (s.row) + " step " + std::to_string (i));
          VornNode *node = ui.find (s.row);
          if (s.entry >= 0)
            ui.choose (node, s.entry);
          else
            {
              ui.click_row (node);
              ui.keys (s.chord);
            }
          EXPECT_EQ (shape (ui.inst ()), s.after);
          EXPECT_EQ (ui.edited (), s.edits);
          if (s.entry == ZELM_TREE_MENU_MUTE || s.entry == ZELM_TREE_MENU_TOGGLE_RECORDING)
            {
              bool tap = node->next && VORN_IS_TAP (node->next);
              EXPECT_EQ (ui.status (node), node->mute ? "audio-volume-muted" : tap ? "media-record" : "");
              EXPECT_EQ (tap ? int (VORN_TAP (node->next)->attrib) : 0, tap ? int (VORN_ATTRIB_TYPE_VOLUME) : 0);
              /* Saved like any node, so numbered like one: reloading must
               * not renumber it. */
              EXPECT_TRUE (!tap || node->next->id != 0);
            }
        }
      if (steps == key_steps)
        return;

      /* Instruments paste before an instrument and at the end of a file; a
       * wave does not paste onto a file. */
      VornNode *first = ui.inst (0), *second = ui.inst (1);
      guint count = n_children (ui.bank);
      ui.choose (first, ZELM_TREE_MENU_COPY);
      ui.choose (second, ZELM_TREE_MENU_PASTE);
      EXPECT_EQ (ui.inst (1)->next, second);
      EXPECT_EQ (name_of (ui.inst (1)), name_of (first));
      ui.choose (ui.bank, ZELM_TREE_MENU_PASTE);
      EXPECT_EQ (n_children (ui.bank), count + 2);
      EXPECT_EQ (name_of (last_child (ui.bank)), name_of (first));
      ui.edited ();
      ui.choose (ui.find ("Slow Drift"), ZELM_TREE_MENU_COPY);
      ui.choose (ui.bank, ZELM_TREE_MENU_PASTE);
      EXPECT_EQ (n_children (ui.bank), count + 2);
      EXPECT_EQ (ui.edited (), "");
    });
}

/* Names: Rename and F2 edit in place, the typed name reaches the node once
 * Return ends the edit; Escape keeps the old one; keys typed there stay
 * there, as they do in any other text entry. */
TEST_F (TreeTest, NamesAndFocus)
{
  run ([] (Ui &ui) {
    VornNode *pad = ui.find ("Pad Wave");
    ui.choose (pad, ZELM_TREE_MENU_RENAME);
    ASSERT_TRUE (GTK_IS_ENTRY (ui.focus ()));
    EXPECT_STREQ (gtk_entry_get_text (GTK_ENTRY (ui.focus ())), "Pad Wave");
    ui.keys ({ GDK_KEY_Control_L, GDK_KEY_a });
    for (guint k : { GDK_KEY_p, GDK_KEY_a, GDK_KEY_d, GDK_KEY_Return })
      key_tap (k);
    pump (50);
    EXPECT_EQ (name_of (pad), "pad");
    EXPECT_EQ (ui.edited (), "Zelmora bank:1");

    ui.click_row (pad);
    ui.keys ({ GDK_KEY_F2 });
    ASSERT_TRUE (GTK_IS_ENTRY (ui.focus ()));
    ui.keys ({ GDK_KEY_Control_L, GDK_KEY_d });
    ui.keys ({ GDK_KEY_x, GDK_KEY_Escape });
    EXPECT_EQ (shape (ui.inst ()), FIRST);
    EXPECT_EQ (name_of (pad), "pad");
    EXPECT_EQ (ui.edited (), "");

    /* The property editor's name entry has the focus. */
    VornNode *release = ui.find ("Volume Release");
    ui.click_row (release);
    pump (300);
    GtkWidget *entry = nullptr;
    std::function<void (GtkWidget *)> walk = [&] (GtkWidget *w) {
      if (!entry && GTK_IS_ENTRY (w) && gtk_widget_is_drawable (w)
          && g_strcmp0 (gtk_entry_get_text (GTK_ENTRY (w)), "Volume Release") == 0)
        entry = w;
      if (GTK_IS_CONTAINER (w))
        gtk_container_foreach (GTK_CONTAINER (w), [] (GtkWidget *c, gpointer f) {
          (*static_cast<std::function<void (GtkWidget *)> *> (f)) (c);
        }, &walk);
    };
    walk (widget (ui.app, "PropEditor"));
    ASSERT_NE (entry, nullptr);
    click (entry, 20, gtk_widget_get_allocated_height (entry) / 2);
    ASSERT_TRUE (wait_for ([entry] { return gtk_widget_has_focus (entry); }));
    for (guint k : { GDK_KEY_d, GDK_KEY_m, GDK_KEY_t })
      ui.keys ({ GDK_KEY_Control_L, k });
    EXPECT_EQ (shape (ui.inst ()), FIRST);

    /* The menu key opens the menu for the row. */
    ui.click_row (release);
    ui.keys ({ GDK_KEY_Menu });
    EXPECT_TRUE (ui.menu_open ());
    ui.keys ({ GDK_KEY_Escape });
    EXPECT_TRUE (ui.menu_open (false));

    /* A double click on the row edits the name.  Its two clicks go at once:
     * the server stamps them, so a slow build cannot pull them apart. */
    ui.click_row (release);
    pump (600); /* not part of the double click */
    ui.click_row (release, 1, false, 2);
    ASSERT_TRUE (wait_for ([&ui] { return GTK_IS_ENTRY (ui.focus ()); }));
    EXPECT_STREQ (gtk_entry_get_text (GTK_ENTRY (ui.focus ())), "Volume Release");
    ui.keys ({ GDK_KEY_Escape });
  });
}

/* Several rows: the menu keeps the entries that work on all of them, and
 * those act on each; a plain click on one of them selects it alone once
 * the button comes up. */
TEST_F (TreeTest, SeveralRows)
{
  run ([] (Ui &ui) {
    VornNode *attack = ui.find ("Volume Attack"), *drift = ui.find ("Slow Drift");
    ui.click_row (attack);
    ui.click_row (drift, 1, true);
    ASSERT_EQ (ui.selected (), 2u);
    EXPECT_EQ (current_node (ui.app), nullptr);

    ui.click_row (drift, 3);
    ASSERT_TRUE (ui.menu_open ());
    EXPECT_EQ (ui.selected (), 2u);
    std::string shown;
    g_autoptr (GList) items = gtk_container_get_children (GTK_CONTAINER (ui.menu));
    for (GList *l = items; l; l = l->next)
      if (gtk_widget_get_visible (GTK_WIDGET (l->data)))
        shown += std::to_string (zelm_util_get_menu_item_index (GTK_MENU_ITEM (l->data))) + ' ';
    EXPECT_EQ (shown, "36 37 38 41 42 43 44 ");
    ui.keys ({ GDK_KEY_Escape });
    ASSERT_TRUE (ui.menu_open (false));

    struct Step {
      int entry;
      const char *after, *edits;
    } steps[] = {
      { ZELM_TREE_MENU_MUTE, "2! 3 4! 5(6 7)", "Zelmora bank:1" },
      { ZELM_TREE_MENU_MOVE_DOWN, "3 2! 5(6 7) 4!", "Zelmora bank:1" },
      { ZELM_TREE_MENU_CUT, "3 5(6 7)", "Zelmora bank:1" },
    };
    for (const auto &s : steps)
      {
        SCOPED_TRACE (s.entry);
        ui.choose (drift, s.entry);
        EXPECT_EQ (shape (ui.inst ()), s.after);
        EXPECT_EQ (ui.edited (), s.edits);
      }

    /* Both come back in their order, both selected; and go again. */
    VornNode *pad = ui.find ("Pad Wave");
    ui.click_row (pad);
    ui.keys ({ GDK_KEY_Control_L, GDK_KEY_v });
    EXPECT_EQ (shape (ui.inst ()), "3 160! 161! 5(6 7)");
    EXPECT_EQ (ui.selected (), 2u);
    ui.keys ({ GDK_KEY_Control_L, GDK_KEY_d });
    EXPECT_EQ (shape (ui.inst ()), "3 5(6 7)");
    EXPECT_EQ (ui.edited (), "Zelmora bank:2");

    /* The pending click: the press keeps both, the release picks one. */
    ui.click_row (ui.find ("Volume Release"));
    ui.click_row (pad, 1, true);
    ASSERT_EQ (ui.selected (), 2u);
    pump (600); /* not a double click */
    button_press ();
    pump (30);
    EXPECT_EQ (ui.selected (), 2u);
    button_release ();
    pump (30);
    EXPECT_EQ (ui.selected (), 1u);
    EXPECT_EQ (current_node (ui.app), pad);
  });
}

/* Dropping rows before, after and into others moves the nodes there; a
 * node's tap goes along and stays after it; what does not fit is refused;
 * files change places. */
TEST_F (TreeTest, DragAndDrop)
{
  run ([] (Ui &ui) {
    struct Step {
      const char *from, *to;
      double where;
      const char *after;
    } steps[] = {
      { "Slow Drift", "Volume Attack", BEFORE, "160 2 3 5(6 7)" },
      { "Slow Drift", "Volume Release", AFTER, "2 3 161 5(6 7)" },
      { "Volume Attack", "Pad Wave", INTO, "3 161 5(6 7 162)" },
      /* After a node with a tap (Volume Release records): after the tap. */
      { "Pad Wave", "Volume Release", AFTER, "3 t 164(165 166 167) 161" },
      { "Volume Release", "Slow Drift", AFTER, "164(165 166 167) 161 168 t" },
    };
    for (const auto &s : steps)
      {
        SCOPED_TRACE (std::string (s.from) + " to " + s.to);
        if (std::string (s.from) == "Pad Wave")
          {
            ui.click_row (ui.find ("Volume Release"));
            ui.keys ({ GDK_KEY_Control_L, GDK_KEY_t });
            ui.edited ();
          }
        VornNode *from = ui.find (s.from);
        ui.click_row (from);
        ui.drag (from, ui.find (s.to), s.where);
        EXPECT_EQ (shape (ui.inst ()), s.after);
        EXPECT_EQ (ui.edited (), "Zelmora bank:1");
      }
    EXPECT_EQ (ui.status (ui.find ("Volume Release")), "media-record");

    /* Two rows at once, into a node. */
    ui.click_row (ui.find ("Slow Drift"));
    ui.click_row (ui.find ("Volume Release"), 1, true);
    ui.drag (ui.find ("Volume Release"), ui.find ("Morph Attack"), INTO);
    EXPECT_EQ (shape (ui.inst ()), "164(165(170 171 t) 166 167)");
    EXPECT_EQ (ui.edited (), "Zelmora bank:1");

    /* An instrument does not go into another; it goes into a file. */
    VornNode *second = ui.inst (1);
    const std::string name = name_of (second);
    const guint count = n_children (ui.bank), size = n_children (second);
    ui.click_row (second);
    ui.drag (second, ui.inst (2), INTO);
    EXPECT_EQ (ui.inst (1), second);
    EXPECT_EQ (ui.edited (), "");
    ui.drag (second, ui.bank, INTO);
    EXPECT_EQ (n_children (ui.bank), count);
    EXPECT_NE (ui.inst (1), second);
    EXPECT_EQ (name_of (last_child (ui.bank)), name);
    EXPECT_EQ (n_children (last_child (ui.bank)), size);
    EXPECT_EQ (ui.edited (), "Zelmora bank:1");

    /* A second file: it takes the first place (and keeps its object); a
     * node dropped into it from the bank is news for both files. */
    g_autoptr (VornFile) other = vorn_file_new ();
    g_object_set (other, "name", "Other", nullptr);
    for (int i = 0; i < 2; i++)
      {
        g_autoptr (VornInst) made = vorn_inst_new_default ();
        vorn_node_insert (VORN_NODE (other), VORN_NODE (made), -1);
      }
    VornNode *target = last_child (VORN_NODE (other));
    zelm_app_add_file (ZELM_APP (ui.app), other);
    zelm_tree_add_node (ui.tree, VORN_NODE (other));
    g_autoptr (GtkTreePath) bank_path = ui.path_of (ui.bank);
    gtk_tree_view_collapse_row (ui.view, bank_path);
    ui.click_row (VORN_NODE (other));
    ui.drag (VORN_NODE (other), ui.bank, BEFORE);
    GList *files = zelm_app_get_files_no_copy (ZELM_APP (ui.app));
    ASSERT_EQ (g_list_length (files), 2u);
    EXPECT_EQ (files->data, static_cast<gpointer> (other));
    g_autoptr (GtkTreePath) top = ui.path_of (VORN_NODE (other));
    g_autofree char *top_text = gtk_tree_path_to_string (top);
    EXPECT_STREQ (top_text, "0");
    EXPECT_EQ (ui.edited (), "");

    VornNode *wave = ui.find ("Morph Release");
    ui.row (target);
    ui.click_row (wave);
    ui.drag (wave, target, INTO);
    EXPECT_EQ (name_of (last_child (target)), "Morph Release");
    EXPECT_EQ (ui.edited (), "Other:1 Zelmora bank:1");

    /* Deleting a file row closes the file; this one was changed, so it
     * asks first. */
    ui.click_row (VORN_NODE (other));
    ui.keys ({ GDK_KEY_Control_L, GDK_KEY_d });
    GtkWidget *ask = message_dialog ();
    ASSERT_NE (ask, nullptr);
    wait_drawn (ask);
    click_button (ask, "Close _without Saving");
    pump (60);
    EXPECT_EQ (g_list_length (zelm_app_get_files_no_copy (ZELM_APP (ui.app))), 1u);
  });
}

/* The unsaved mark is drawn after a file's name but never edited with it;
 * reloading a file's nodes keeps the open rows and the selected one. */
TEST_F (TreeTest, MarkAndReload)
{
  run ([] (Ui &ui) {
    GdkRectangle r = ui.row (ui.bank);
    /* Without the right edge, where the overlay scrollbar fades in and out
     * with the pointer's moves. */
    auto grab_row = [&] {
      g_autoptr (GdkPixbuf) all = grab (GTK_WIDGET (ui.view));
      return gdk_pixbuf_new_subpixbuf (all, r.x, r.y, MAX (r.width - 16, 1), r.height);
    };
    auto differing = [] (GdkPixbuf *a, GdkPixbuf *b) {
      int n = 0;
      for (int y = 0; y < gdk_pixbuf_get_height (a); y++)
        for (int x = 0; x < gdk_pixbuf_get_width (a); x++)
          n += !(pixel (a, x, y) == pixel (b, x, y));
      return n;
    };
    ui.click_row (ui.find ("Slow Drift"));
    g_autoptr (GdkPixbuf) plain = grab_row ();
    zelm_tree_set_modified (ui.tree, VORN_FILE (ui.bank), TRUE);
    g_autoptr (GdkPixbuf) marked = grab_row ();
    EXPECT_GT (differing (plain, marked), 10);
    shot (grab (GTK_WIDGET (ui.view)), "marked.png");

    ui.click_row (ui.bank);
    ui.keys ({ GDK_KEY_F2 });
    ASSERT_TRUE (GTK_IS_ENTRY (ui.focus ()));
    EXPECT_STREQ (gtk_entry_get_text (GTK_ENTRY (ui.focus ())), "Zelmora bank");
    ui.keys ({ GDK_KEY_Escape });

    zelm_tree_set_modified (ui.tree, VORN_FILE (ui.bank), FALSE);
    ui.click_row (ui.find ("Slow Drift"));
    /* The row as it was, once the view has redrawn it (a slow build takes
     * a while after the rename's end). */
    int left = -1;
    wait_for ([&] {
      g_autoptr (GdkPixbuf) again = grab_row ();
      left = differing (plain, again);
      return left == 0;
    });
    EXPECT_EQ (left, 0);

    /* New nodes in the same places, as an undo brings them. */
    VornNode *release = ui.find ("Morph Release");
    ui.click_row (release);
    g_autoptr (GtkTreePath) selected = ui.path_of (release);
    GList *copies = nullptr;
    for (VornNode *n = ui.bank->children; n; n = n->next)
      copies = g_list_append (copies, vorn_node_duplicate (n));
    vorn_node_unlink_children (ui.bank);
    for (GList *l = copies; l; l = l->next)
      vorn_node_insert (ui.bank, VORN_NODE (l->data), -1);
    vorn_list_free (copies);
    zelm_tree_reload_file (ui.tree, VORN_FILE (ui.bank));
    pump (50);

    VornNode *now = current_node (ui.app);
    ASSERT_NE (now, nullptr);
    EXPECT_NE (now, release);
    EXPECT_EQ (name_of (now), "Morph Release");
    g_autoptr (GtkTreePath) path = ui.path_of (now);
    EXPECT_EQ (gtk_tree_path_compare (path, selected), 0);
    g_autoptr (GtkTreePath) parent = gtk_tree_path_copy (path);
    gtk_tree_path_up (parent);
    EXPECT_TRUE (gtk_tree_view_row_expanded (ui.view, parent));
    g_autoptr (GtkTreePath) closed = ui.path_of (ui.inst (3));
    EXPECT_FALSE (gtk_tree_view_row_expanded (ui.view, closed));
  });
}
