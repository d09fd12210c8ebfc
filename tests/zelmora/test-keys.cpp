/* test-keys.cpp: the keyboard from the user, through real key events: the
 * shortcuts window from its accelerator, Tab and Shift+Tab through the
 * property editor.  (Which keys the manuals take: the keyboard's own tests.) */
#include "vorn-test-log.h"
#include "zelm-app-run.h"
#include "zelm-gui-test.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

using namespace zelm_test;

/* Ctrl+? opens the shortcuts window over the main window, listing every
 * action that has an accelerator. */
static void
check_shortcuts_window (ZelmAppGui *app)
{
  key_press (GDK_KEY_Control_L);
  key_press (GDK_KEY_Shift_L);
  key_tap (GDK_KEY_slash);
  key_release (GDK_KEY_Shift_L);
  key_release (GDK_KEY_Control_L);
  GtkWidget *shortcuts = wait_toplevel (GTK_TYPE_SHORTCUTS_WINDOW);
  ASSERT_NE (shortcuts, nullptr);
  EXPECT_EQ (gtk_window_get_transient_for (GTK_WINDOW (shortcuts)),
             GTK_WINDOW (main_window (app)));

  std::set<std::string> listed;
  std::function<void (GtkWidget *)> walk = [&] (GtkWidget *w) {
    g_autofree char *action = nullptr;
    if (GTK_IS_SHORTCUTS_SHORTCUT (w))
      g_object_get (w, "action-name", &action, nullptr);
    if (action)
      listed.insert (action);
    if (GTK_IS_CONTAINER (w))
      gtk_container_forall (
          GTK_CONTAINER (w),
          [] (GtkWidget *c, gpointer f) {
            (*static_cast<std::function<void (GtkWidget *)> *> (f)) (c);
          },
          &walk);
  };
  walk (shortcuts);
  g_auto (GStrv) actions = gtk_application_list_action_descriptions (GTK_APPLICATION (app));
  for (char **a = actions; *a; a++)
    {
      g_auto (GStrv) accels = gtk_application_get_accels_for_action (GTK_APPLICATION (app), *a);
      if (accels[0])
        {
          EXPECT_TRUE (listed.count (*a)) << *a << " is not listed";
        }
    }
  gtk_widget_hide (shortcuts);
}

/* From the tree, Tab enters the property editor, visits its controls one
 * by one and leaves it; Shift+Tab comes back to the last one.  (One
 * application for both paths: the shortcuts window is made once a process.) */
TEST (Keys, ShortcutsWindowAndTabWalk)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    dismiss_splash (app);
    check_shortcuts_window (app);
    GtkWindow *win = GTK_WINDOW (main_window (app));
    GtkWidget *editor = widget (app, "PropEditor");
    auto inside = [&] {
      GtkWidget *f = gtk_window_get_focus (win);
      return f && gtk_widget_is_ancestor (f, editor);
    };
    gtk_widget_grab_focus (widget (app, "TreeView"));
    std::vector<GtkWidget *> visited;
    for (int i = 0; i < 60 && (visited.empty () || inside ()); i++)
      {
        key_tap (GDK_KEY_Tab);
        pump (20);
        if (inside ())
          visited.push_back (gtk_window_get_focus (win));
      }
    ASSERT_GE (std::set<GtkWidget *> (visited.begin (), visited.end ()).size (), 3u);
    EXPECT_EQ (visited.size (), std::set<GtkWidget *> (visited.begin (), visited.end ()).size ())
        << "each control once";
    ASSERT_FALSE (inside ()) << "Tab leaves the editor";
    key_press (GDK_KEY_Shift_L);
    key_tap (GDK_KEY_Tab);
    key_release (GDK_KEY_Shift_L);
    pump (20);
    EXPECT_EQ (gtk_window_get_focus (win), visited.back ());
  });
}

