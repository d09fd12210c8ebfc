/* test-ctrl.cpp: widgets bound to properties, both ways, and the shared
 * combo box helpers */
#include "vorn-test-log.h"
#include "zelm-ctrl.h"
#include "zelm-gui-test.h"
#include "zelm-util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zelm_test;

namespace {

/* ---- an object with one property of each kind the bindings serve ------- */

enum { PROP_0, PROP_LEVEL, PROP_COUNT, PROP_SIDE, N_PROPS };

/* Values live in GValues; they notify only on change, as the
 * application's objects do. */
struct Subject {
  GObject parent;
  GValue values[N_PROPS];
};
struct SubjectClass {
  GObjectClass parent;
};

GParamSpec *subject_props[N_PROPS];
const char *const side_icons[] = { "go-previous", "go-next", "go-up", "go-down", nullptr };

GType subject_get_type ();
G_DEFINE_TYPE (Subject, subject, G_TYPE_OBJECT)

void
subject_init (Subject *s)
{
  for (int i = 1; i < N_PROPS; i++)
    {
      g_value_init (&s->values[i], subject_props[i]->value_type);
      g_param_value_set_default (subject_props[i], &s->values[i]);
    }
}

void
subject_class_init (SubjectClass *klass)
{
  GObjectClass *oc = G_OBJECT_CLASS (klass);
  oc->get_property = [] (GObject *obj, guint id, GValue *value, GParamSpec *) {
    g_value_copy (&reinterpret_cast<Subject *> (obj)->values[id], value);
  };
  oc->set_property = [] (GObject *obj, guint id, const GValue *value, GParamSpec *pspec) {
    GValue *own = &reinterpret_cast<Subject *> (obj)->values[id];
    if (g_param_values_cmp (pspec, own, value) == 0)
      return;
    g_value_copy (value, own);
    g_object_notify_by_pspec (obj, pspec);
  };
  oc->finalize = [] (GObject *obj) {
    for (int i = 1; i < N_PROPS; i++)
      g_value_unset (&reinterpret_cast<Subject *> (obj)->values[i]);
    G_OBJECT_CLASS (subject_parent_class)->finalize (obj);
  };
  const auto flags = GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY);
  subject_props[PROP_LEVEL] = g_param_spec_double ("level", "Level", "A level", 0, 10, 0, flags);
  subject_props[PROP_COUNT] = g_param_spec_int ("count", "Count", "A count", -5, 5, 0, flags);
  subject_props[PROP_SIDE] = g_param_spec_enum ("side", "Side", "A side", GTK_TYPE_POSITION_TYPE,
                                                GTK_POS_LEFT, flags);
  g_param_spec_set_qdata (subject_props[PROP_SIDE], g_quark_from_static_string ("zelm-icons"),
                          const_cast<char **> (side_icons));
  g_object_class_install_properties (oc, N_PROPS, subject_props);
}

GObject *
new_subject ()
{
  return G_OBJECT (g_object_new (subject_get_type (), nullptr));
}

int
get_int (GObject *subject, const char *prop)
{
  int v = 0;
  g_object_get (subject, prop, &v, nullptr);
  return v;
}

/* What a bound widget shows, as text. */
std::string
shown (GtkWidget *w)
{
  if (GTK_IS_LABEL (w))
    return gtk_label_get_text (GTK_LABEL (w));
  if (GTK_IS_SPIN_BUTTON (w))
    return std::to_string (gtk_spin_button_get_value_as_int (GTK_SPIN_BUTTON (w)));
  if (GTK_IS_MENU_BUTTON (w))
    {
      const char *name = nullptr;
      if (GtkWidget *image = gtk_button_get_image (GTK_BUTTON (w)))
        gtk_image_get_icon_name (GTK_IMAGE (image), &name, nullptr);
      return name ? name : "";
    }
  return gtk_toggle_button_get_active (GTK_TOGGLE_BUTTON (w)) ? "on" : "off";
}

GtkWidget *
menu_item (GtkWidget *menu_button, guint i)
{
  return children (GTK_WIDGET (gtk_menu_button_get_popup (GTK_MENU_BUTTON (menu_button))))[i];
}

/* Each kind of widget shows a value set on the object, without writing it
 * back, and sets the property when its own value changes.  (Combo boxes of
 * enumerations, spin buttons, toggles with their two values, labels, and
 * disable conditions also serve the preferences window, whose test drives
 * every control both ways.) */
TEST (Ctrl, WidgetsFollowAndSetTheirProperty)
{
  static const struct {
    const char *what, *prop;
    GtkWidget *(*make) ();
    int set;
    const char *shows;
    void (*change) (GtkWidget *);
    int sets;
  } cases[] = {
    { "spin button", "count", [] { return gtk_spin_button_new_with_range (0, 1, 1); }, 3, "3",
      [] (GtkWidget *w) { gtk_spin_button_set_value (GTK_SPIN_BUTTON (w), -2); }, -2 },
    { "spin button past the range", "count", [] { return gtk_spin_button_new_with_range (0, 1, 1); },
      5, "5", [] (GtkWidget *w) { gtk_spin_button_set_value (GTK_SPIN_BUTTON (w), 9); }, 5 },
    { "menu button", "side", gtk_menu_button_new, GTK_POS_BOTTOM, "go-down",
      [] (GtkWidget *w) { gtk_menu_item_activate (GTK_MENU_ITEM (menu_item (w, 1))); }, GTK_POS_RIGHT },
  };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (c.what);
      g_autoptr (GObject) subject = new_subject ();
      GtkWidget *w = GTK_WIDGET (g_object_ref_sink (c.make ()));
      zelm_ctrl_connect (w, subject, c.prop);
      int notifies = 0;
      g_signal_connect_swapped (subject, "notify", G_CALLBACK (+[] (int *n) { ++*n; }), &notifies);
      g_object_set (subject, c.prop, c.set, nullptr);
      EXPECT_EQ (shown (w), c.shows);
      EXPECT_EQ (notifies, 1) << "the widget wrote the value back";
      c.change (w);
      EXPECT_EQ (get_int (subject, c.prop), c.sets);
      gtk_widget_destroy (w);
      g_object_unref (w);
    }

  g_autoptr (GObject) subject = new_subject ();
  GtkWidget *box = GTK_WIDGET (g_object_ref_sink (gtk_box_new (GTK_ORIENTATION_VERTICAL, 0)));
  auto add = [box] (GtkWidget *w) { gtk_container_add (GTK_CONTAINER (box), w); return w; };

  /* The spin button takes the range; the menu button lists the values,
   * the current one checked. */
  GtkWidget *spin = add (gtk_spin_button_new_with_range (0, 1, 1));
  GtkWidget *menu_button = add (gtk_menu_button_new ());
  zelm_ctrl_connect (spin, subject, "count");
  zelm_ctrl_connect (menu_button, subject, "side");
  double min, max;
  gtk_spin_button_get_range (GTK_SPIN_BUTTON (spin), &min, &max);
  EXPECT_EQ (std::pair (min, max), std::pair (-5.0, 5.0));
  EXPECT_EQ (children (GTK_WIDGET (gtk_menu_button_get_popup (GTK_MENU_BUTTON (menu_button)))).size (), 4u);
  g_object_set (subject, "side", GTK_POS_BOTTOM, nullptr);
  EXPECT_TRUE (gtk_check_menu_item_get_active (GTK_CHECK_MENU_ITEM (menu_item (menu_button, 3))));

  /* Radio buttons ignore being deselected. */
  GtkWidget *left = add (gtk_radio_button_new (nullptr));
  GtkWidget *right = add (gtk_radio_button_new_from_widget (GTK_RADIO_BUTTON (left)));
  zelm_ctrl_connect_toggle (left, subject, "side", GTK_POS_LEFT, GTK_POS_BOTTOM);
  zelm_ctrl_connect_toggle (right, subject, "side", GTK_POS_RIGHT, GTK_POS_BOTTOM);
  g_object_set (subject, "side", GTK_POS_LEFT, nullptr);
  EXPECT_TRUE (gtk_toggle_button_get_active (GTK_TOGGLE_BUTTON (left)));
  std::vector<int> sides;
  g_signal_connect (subject, "notify::side", G_CALLBACK (+[] (GObject *o, GParamSpec *, std::vector<int> *out) {
                      out->push_back (get_int (o, "side"));
                    }),
                    &sides);
  gtk_toggle_button_set_active (GTK_TOGGLE_BUTTON (right), TRUE);
  EXPECT_EQ (sides, std::vector<int> { GTK_POS_RIGHT }) << "the deselected button wrote its value";
  g_signal_handlers_disconnect_by_data (subject, &sides);

  /* A disable condition of 0 holds until uninstalled. */
  zelm_ctrl_set_disable_cond (spin, subject, "count", 0);
  g_object_set (subject, "count", 3, nullptr);
  zelm_ctrl_uninstall (spin);
  g_object_set (subject, "count", 0, nullptr);
  EXPECT_TRUE (gtk_widget_get_sensitive (spin)) << "still bound after uninstall";
  EXPECT_EQ (shown (spin), "3");

  /* Doubles as text; a destroyed widget lets go of the object at once. */
  GtkWidget *label = add (gtk_label_new (""));
  zelm_ctrl_connect (label, subject, "level");
  g_object_set (subject, "level", 2.5, nullptr);
  EXPECT_EQ (shown (label), "2.5");
  const guint refs = subject->ref_count;
  gtk_widget_destroy (label);
  EXPECT_EQ (subject->ref_count, refs - 1);
  g_object_set (subject, "level", 3.0, nullptr); /* must not reach the dead label */
  gtk_widget_destroy (box);
  g_object_unref (box);
}

/* The user's path: a click on a bound check button sets the property. */
TEST (Ctrl, ClickSetsTheProperty)
{
  g_autoptr (GObject) subject = new_subject ();
  GtkWidget *check = gtk_check_button_new_with_label ("zero");
  GtkWidget *win = show_in_window (check, 100, 30);
  zelm_ctrl_connect_toggle (check, subject, "count", 0, 1);
  click (check, 8, 15);
  EXPECT_TRUE (wait_for ([&] { return get_int (subject, "count") == 1; }));
  gtk_widget_destroy (win);
}

/* ---- combo boxes ------------------------------------------------------------ */

TEST (UtilCombo, EntriesAreFoundByTextNumberOrValue)
{
  GtkWidget *combo = gtk_combo_box_text_new_with_entry ();
  g_object_ref_sink (combo);
  for (const char *t : { "Sine", "0.50", "2", "2.0" })
    gtk_combo_box_text_append_text (GTK_COMBO_BOX_TEXT (combo), t);
  auto *c = GTK_COMBO_BOX_TEXT (combo);
  EXPECT_EQ (zelm_util_get_combo_box_text_option_index (c, "sINE"), 0);
  EXPECT_EQ (zelm_util_get_combo_box_text_option_index (c, "Sin"), -1);
  EXPECT_EQ (zelm_util_get_combo_box_text_numeric_option_index (c, 0.5), 1);
  EXPECT_EQ (zelm_util_get_combo_box_text_numeric_option_index (c, 2.0), 2);
  EXPECT_EQ (zelm_util_get_combo_box_text_numeric_option_index (c, 3.0), -1);

  /* A number not in the list shows in the entry, cleanly written. */
  g_auto (GValue) v = G_VALUE_INIT;
  g_value_init (&v, G_TYPE_DOUBLE);
  g_value_set_double (&v, 0.126);
  zelm_util_set_combo_box_text_from_value (c, &v, 2);
  EXPECT_EQ (gtk_combo_box_get_active (GTK_COMBO_BOX (combo)), -1);
  EXPECT_STREQ (gtk_entry_get_text (GTK_ENTRY (gtk_bin_get_child (GTK_BIN (combo)))), "0.13");
  g_value_set_double (&v, 0.5);
  zelm_util_set_combo_box_text_from_value (c, &v, 4);
  EXPECT_EQ (gtk_combo_box_get_active (GTK_COMBO_BOX (combo)), 1);
  EXPECT_STREQ (gtk_entry_get_text (GTK_ENTRY (gtk_bin_get_child (GTK_BIN (combo)))), "0.50");
  g_object_unref (combo);

  GdkRGBA rgba = { 1.0, 0.5, 0.0, 0.999 };
  EXPECT_EQ (zelm_util_color_from_gdk_rgba (&rgba), 0xff7f00feu);
}

} // namespace
