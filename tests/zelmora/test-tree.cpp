/* test-tree.cpp: the node tree view on the built-in bank: its actions keep
 * the rows in step with the nodes, and one real event per path reaches them
 * (the commands: the models suite). */
#include "vorn-test-log.h"
#include "zelm-gui-test.h"
#include "zelm-tree.h"

#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>
#include <gtest/gtest.h>

using namespace zelm_test;

namespace {

/* Names of the rows below @parent, the status icon's first letter after a
 * name, children in parentheses. */
std::string
rows (GtkTreeModel *model, GtkTreeIter *parent)
{
  std::string s;
  GtkTreeIter it;
  for (gboolean ok = gtk_tree_model_iter_children (model, &it, parent); ok; ok = gtk_tree_model_iter_next (model, &it))
    {
      g_autofree char *name = nullptr, *status = nullptr;
      gtk_tree_model_get (model, &it, ZELM_TREE_COL_NAME, &name, ZELM_TREE_COL_STATUS, &status, -1);
      s += (s.empty () ? "" : ",") + std::string (name) + (status ? std::string (":") + status[0] : "");
      s += gtk_tree_model_iter_has_child (model, &it) ? "(" + rows (model, &it) + ")" : "";
    }
  return s;
}

class Tree : public ::testing::Test {
protected:
  ZelmApp *app = nullptr;
  VornNode *bank = nullptr;
  GtkTreeView *view = nullptr;
  GtkWidget *entry = nullptr, *win = nullptr;
  ZelmTree *tree = nullptr;
  GActionGroup *group = nullptr;
  VornNode *current = nullptr;
  int edits = 0;

  void SetUp () override
  {
    app = zelm_app_new ();
    /* Registered (without a bus name) so that it may have windows. */
    g_application_set_flags (G_APPLICATION (app), G_APPLICATION_NON_UNIQUE);
    ASSERT_TRUE (g_application_register (G_APPLICATION (app), nullptr, nullptr));
    g_autoptr (VornFile) file = vorn_file_load (ZELM_TEST_BANK, nullptr);
    zelm_app_add_file (app, file);
    bank = VORN_NODE (file);

    view = GTK_TREE_VIEW (gtk_tree_view_new ());
    tree = zelm_tree_new (view, app, [] (VornFile *, VornInst *, VornNode *node, gpointer data) {
      static_cast<Tree *> (data)->current = node;
    }, [] (VornFile *, gpointer data) { static_cast<Tree *> (data)->edits++; }, this);
    zelm_tree_fill (tree, zelm_app_get_files_no_copy (app));
    group = zelm_tree_get_action_group (tree);
    GtkWidget *box = gtk_box_new (GTK_ORIENTATION_VERTICAL, 0), *scrolled = gtk_scrolled_window_new (nullptr, nullptr);
    entry = gtk_entry_new ();
    gtk_container_add (GTK_CONTAINER (scrolled), GTK_WIDGET (view));
    gtk_box_pack_start (GTK_BOX (box), entry, FALSE, FALSE, 0);
    gtk_box_pack_start (GTK_BOX (box), scrolled, TRUE, TRUE, 0);
    g_object_set (gtk_settings_get_default (), "gtk-enable-animations", FALSE, nullptr);
    win = show_in_window (box, 400, 700);
    gtk_window_set_application (GTK_WINDOW (win), GTK_APPLICATION (app));
    select ("Slow Drift");
  }
  void TearDown () override
  {
    zelm_tree_free (tree);
    gtk_widget_destroy (win);
    g_object_unref (app);
  }
  VornNode *find (const char *name) { return find_node (bank, name); }
  void select (const char *name) { zelm_tree_select (tree, find (name)); }
  /* The rows of the first instrument. */
  std::string first ()
  {
    GtkTreeIter file, inst;
    gtk_tree_model_get_iter_first (gtk_tree_view_get_model (view), &file);
    gtk_tree_model_iter_children (gtk_tree_view_get_model (view), &inst, &file);
    return rows (gtk_tree_view_get_model (view), &inst);
  }
  void activate (const char *action, GVariant *param = nullptr)
  {
    EXPECT_TRUE (g_action_group_get_action_enabled (group, action)) << action;
    g_action_group_activate_action (group, action, param);
  }
  bool enabled (const char *action) { return g_action_group_get_action_enabled (group, action); }
  /* Selects the row of @name; returns where it is in the view. */
  GdkRectangle row (const char *name)
  {
    GdkRectangle r{};
    g_autoptr (GtkTreePath) path = nullptr;
    select (name);
    gtk_tree_view_get_cursor (view, &path, nullptr);
    wait_drawn (GTK_WIDGET (view));
    gtk_tree_view_get_background_area (view, path, gtk_tree_view_get_column (view, 1), &r);
    gtk_tree_view_convert_bin_window_to_widget_coords (view, r.x, r.y, &r.x, &r.y);
    return r;
  }
  /* Presses and releases @button on the row of @name at once, as a hand
   * clicks: a release reaching an open menu later would choose an entry. */
  void click_row (const char *name, unsigned button)
  {
    GdkRectangle r = row (name);
    pointer_move (GTK_WIDGET (view), r.x + 20, r.y + r.height / 2);
    Display *dpy = GDK_DISPLAY_XDISPLAY (gdk_display_get_default ());
    XTestFakeButtonEvent (dpy, button, True, CurrentTime);
    XTestFakeButtonEvent (dpy, button, False, CurrentTime);
    XFlush (dpy);
    pump (30);
  }
  GtkWidget *focus () { return gtk_window_get_focus (GTK_WINDOW (win)); }
};

/* The item showing @label in @menu (not in its submenus). */
GtkWidget *
item_labelled (GtkWidget *menu, const char *label)
{
  for (GtkWidget *w : children (menu))
    if (g_object_class_find_property (G_OBJECT_GET_CLASS (w), "text"))
      {
        g_autofree char *text = nullptr;
        g_object_get (w, "text", &text, nullptr);
        if (g_strcmp0 (text, label) == 0)
          return w;
      }
  return nullptr;
}

} // namespace

/* The actions change the rows with the nodes and select what they made;
 * each change is told once; a tap's mark and a mute show in the status.
 * With several rows selected only what acts on each of them is on. */
TEST_F (Tree, ActionsKeepRowsInStep)
{
  ASSERT_EQ (first (), "Volume Attack,Volume Release,Slow Drift,Pad Wave(Morph Attack,Morph Release)");
  EXPECT_FALSE (enabled ("paste"));
  activate ("new-node", g_variant_new_string ("rbj-lowpass"));
  EXPECT_EQ (name_of (current), "RBJ Lowpass");
  activate ("cut");
  select ("Pad Wave");
  activate ("paste-within");
  EXPECT_EQ (name_of (current), "RBJ Lowpass");
  select ("Volume Release");
  activate ("toggle-recording");
  select ("Morph Attack");
  activate ("mute");
  select ("Pad Wave");
  activate ("move-up");
  EXPECT_EQ (first (), "Volume Attack,Volume Release:m,Untitled,"
                       "Pad Wave(Morph Attack:a,Morph Release,RBJ Lowpass(Cutoff,Q)),Slow Drift");
  EXPECT_EQ (edits, 6);

  gtk_tree_selection_select_all (gtk_tree_view_get_selection (view));
  for (const char *name : { "new-node", "rename", "paste", "paste-within" })
    EXPECT_FALSE (enabled (name)) << name;
  for (const char *name : { "move-up", "copy", "cut", "delete", "mute", "toggle-recording" })
    EXPECT_TRUE (enabled (name)) << name;
}

/* A file with unsaved changes is asked about before its row goes; its mark
 * is never edited with its name; a rename through the action reaches the
 * node, and the tree's keys are the entry's meanwhile. */
TEST_F (Tree, FilesAndNames)
{
  zelm_tree_set_modified (tree, VORN_FILE (bank), TRUE);
  zelm_tree_select (tree, bank);
  activate ("rename");
  ASSERT_TRUE (GTK_IS_ENTRY (focus ()));
  EXPECT_STREQ (gtk_entry_get_text (GTK_ENTRY (focus ())), "Zelmora bank");
  EXPECT_FALSE (enabled ("delete"));
  gtk_entry_set_text (GTK_ENTRY (focus ()), "Renamed");
  gtk_widget_activate (focus ());
  pump (30);
  EXPECT_EQ (name_of (bank), "Renamed");
  EXPECT_EQ (edits, 1);

  std::string asked;
  zelm_tree_set_close_check (tree, [] (GList *files, ZelmTreeCloseDone done, gpointer done_data, gpointer data) {
    *static_cast<std::string *> (data) += name_of (VORN_NODE (files->data));
    done (TRUE, done_data);
  }, &asked);
  zelm_tree_select (tree, bank);
  activate ("delete");
  EXPECT_EQ (asked, "Renamed");
  EXPECT_EQ (zelm_app_get_files_no_copy (app), nullptr);
  EXPECT_EQ (gtk_tree_model_iter_n_children (gtk_tree_view_get_model (view), nullptr), 0);
}

/* One real event per path: an accelerator while the tree has the focus
 * (not while an entry has it), a right-click menu item, and a row dragged
 * onto another, which reaches the drop rule. */
TEST_F (Tree, RealEvents)
{
  VornNode *release = find ("Volume Release");
  GdkRectangle r = row ("Volume Release");
  pointer_move (GTK_WIDGET (view), r.x + 20, r.y + r.height / 2);
  for (GtkWidget *w : { entry, GTK_WIDGET (view) })
    {
      gtk_widget_grab_focus (w);
      key_press (GDK_KEY_Control_L);
      key_tap (GDK_KEY_m);
      key_release (GDK_KEY_Control_L);
      pump (30);
      EXPECT_EQ (release->mute, w == GTK_WIDGET (view));
    }

  click_row ("Slow Drift", 3);
  GtkWidget *menu = nullptr;
  ASSERT_TRUE (wait_for ([&] {
    for (GList *l = gtk_menu_get_for_attach_widget (GTK_WIDGET (view)); l; l = l->next)
      if (gtk_widget_get_mapped (GTK_WIDGET (l->data)))
        menu = GTK_WIDGET (l->data);
    return menu != nullptr;
  }));
  GtkWidget *mute = item_labelled (menu, "Mute");
  ASSERT_NE (mute, nullptr);
  click (mute, 30, gtk_widget_get_allocated_height (mute) / 2);
  EXPECT_TRUE (wait_for ([&] { return find ("Slow Drift")->mute; }));

  /* Slow Drift before Volume Attack: a copy there, the original gone. */
  GdkRectangle to = row ("Volume Attack"), from = row ("Slow Drift");
  pump (600); /* no double click with the right-click */
  edits = 0;
  pointer_move (GTK_WIDGET (view), from.x + 40, from.y + from.height / 2);
  button_press ();
  for (int i = 1; i <= 10; i++, pump (40))
    pointer_move (GTK_WIDGET (view), from.x + 40 + (i < 10 ? 3 : 0),
                  from.y + from.height / 2.0 + (to.y + 0.1 * to.height - from.y - from.height / 2.0) * i / 10);
  pump (150);
  button_release ();
  EXPECT_TRUE (wait_for ([&] { return edits == 1; }));
  EXPECT_EQ (first (), "Slow Drift:a,Volume Attack,Volume Release:a,Pad Wave(Morph Attack,Morph Release)");
}
