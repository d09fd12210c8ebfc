/* test-a11y.cpp: every control of the main window has a name a screen
 * reader can say, read in-process through ATK: not empty, and not its own
 * value (a combo box named after its choice, an entry after its text). */
#include "vorn-test-log.h"
#include "zelm-app-run.h"
#include "zelm-gui-test.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace zelm_test;

namespace {

bool
is_control (GtkWidget *w)
{
  if (GTK_IS_COMBO_BOX (w) || GTK_IS_DRAWING_AREA (w))
    return true;
  return gtk_widget_get_can_focus (w) && !GTK_IS_SCROLLED_WINDOW (w) && !GTK_IS_VIEWPORT (w);
}

/* What the control shows as its value, "" when it has none to confuse. */
std::string
value_of (AtkObject *acc)
{
  if (atk_object_get_role (acc) == ATK_ROLE_COMBO_BOX && atk_object_get_n_accessible_children (acc))
    {
      AtkObject *menu = atk_object_ref_accessible_child (acc, 0);
      AtkObject *item = ATK_IS_SELECTION (menu) ? atk_selection_ref_selection (ATK_SELECTION (menu), 0)
                                                : nullptr;
      std::string v = item && atk_object_get_name (item) ? atk_object_get_name (item) : "";
      g_clear_object (&item);
      g_object_unref (menu);
      return v;
    }
  if (ATK_IS_TEXT (acc) && atk_object_get_role (acc) != ATK_ROLE_LABEL
      && atk_object_get_role (acc) != ATK_ROLE_PUSH_BUTTON)
    {
      g_autofree char *text = atk_text_get_text (ATK_TEXT (acc), 0, -1);
      return text ? text : "";
    }
  return "";
}

struct Walk {
  std::string area; /* the nearest ancestor of the program's own types */
  std::set<std::string> *faults;
};

/* The faults under @w: "area/type: name" of every control without a
 * proper name. */
void
check (GtkWidget *w, gpointer data)
{
  Walk walk = *static_cast<Walk *> (data);
  std::string &area = walk.area;
  std::set<std::string> &faults = *walk.faults;
  if (!gtk_widget_get_visible (w))
    return;
  if (g_str_has_prefix (G_OBJECT_TYPE_NAME (w), "Zelm"))
    area = G_OBJECT_TYPE_NAME (w);
  if (is_control (w))
    {
      AtkObject *acc = gtk_widget_get_accessible (w);
      const char *name = atk_object_get_name (acc);
      const std::string value = value_of (acc);
      if (!name || !*name || (!value.empty () && value == name))
        faults.insert (area + "/" + G_OBJECT_TYPE_NAME (w) + ": " + (name ? name : ""));
    }
  if (GTK_IS_CONTAINER (w) && !GTK_IS_COMBO_BOX (w) && !GTK_IS_BUTTON (w))
    gtk_container_forall (GTK_CONTAINER (w), check, &walk);
}

} // namespace

/* The whole window with an instrument selected, then one of its waves (the
 * curve editor's controls), and with the Scope page shown. */
TEST (A11y, EveryControlHasAName)
{
  run_app ({ "--disable-audio" }, [] (ZelmAppGui *app) {
    dismiss_splash (app);
    std::set<std::string> faults;
    Walk walk { "", &faults };
    check (GTK_WIDGET (main_window (app)), &walk);
    auto *bank = VORN_NODE (zelm_app_get_files_no_copy (ZELM_APP (app))->data);
    select_row (app, bank->children->children);
    gtk_notebook_set_current_page (GTK_NOTEBOOK (widget (app, "CurveScopeNotebook")), 1);
    pump (100);
    check (GTK_WIDGET (main_window (app)), &walk);
    EXPECT_TRUE (faults.empty ()) << [&] {
      std::string all;
      for (const auto &f : faults)
        all += f + "\n";
      return all;
    }();
  });
}
