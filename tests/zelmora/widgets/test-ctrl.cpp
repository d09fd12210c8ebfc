/* test-ctrl.cpp: widgets bound to properties, and the shared tree-row
 * and combo box helpers, driven with real pointer and key events */
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

enum { PROP_0, PROP_LEVEL, PROP_COUNT, PROP_SIDE, PROP_NAME, N_PROPS };

struct Subject {
  GObject parent;
  double level;
  int count;
  int side; /* GtkPositionType */
  char *name;
};
struct SubjectClass {
  GObjectClass parent;
};

GParamSpec *subject_props[N_PROPS];
const char *const side_icons[] = { "go-previous", "go-next", "go-up", "go-down", nullptr };

GType subject_get_type ();
G_DEFINE_TYPE (Subject, subject, G_TYPE_OBJECT)

void
subject_init (Subject *)
{
}

void
subject_get (GObject *obj, guint id, GValue *value, GParamSpec *)
{
  auto *s = reinterpret_cast<Subject *> (obj);
  switch (id)
    {
    case PROP_LEVEL: g_value_set_double (value, s->level); break;
    case PROP_COUNT: g_value_set_int (value, s->count); break;
    case PROP_SIDE: g_value_set_enum (value, s->side); break;
    case PROP_NAME: g_value_set_string (value, s->name); break;
    }
}

/* Notifies only on change, as the application's objects do. */
void
subject_set (GObject *obj, guint id, const GValue *value, GParamSpec *pspec)
{
  auto *s = reinterpret_cast<Subject *> (obj);
  bool changed = false;
  switch (id)
    {
    case PROP_LEVEL:
      changed = s->level != g_value_get_double (value);
      s->level = g_value_get_double (value);
      break;
    case PROP_COUNT:
      changed = s->count != g_value_get_int (value);
      s->count = g_value_get_int (value);
      break;
    case PROP_SIDE:
      changed = s->side != g_value_get_enum (value);
      s->side = g_value_get_enum (value);
      break;
    case PROP_NAME:
      changed = g_strcmp0 (s->name, g_value_get_string (value)) != 0;
      g_free (s->name);
      s->name = g_value_dup_string (value);
      break;
    }
  if (changed)
    g_object_notify_by_pspec (obj, pspec);
}

void
subject_finalize (GObject *obj)
{
  g_free (reinterpret_cast<Subject *> (obj)->name);
  G_OBJECT_CLASS (subject_parent_class)->finalize (obj);
}

void
subject_class_init (SubjectClass *klass)
{
  GObjectClass *oc = G_OBJECT_CLASS (klass);
  oc->get_property = subject_get;
  oc->set_property = subject_set;
  oc->finalize = subject_finalize;
  const auto flags = GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY);
  subject_props[PROP_LEVEL] = g_param_spec_double ("level", "Level", "A level", 0, 10, 0, flags);
  subject_props[PROP_COUNT] = g_param_spec_int ("count", "Count", "A count", -5, 5, 0, flags);
  subject_props[PROP_SIDE] = g_param_spec_enum ("side", "Side", "A side", GTK_TYPE_POSITION_TYPE,
                                                GTK_POS_LEFT, flags);
  subject_props[PROP_NAME] = g_param_spec_string ("name", "Name", "A name", nullptr, flags);
  g_param_spec_set_qdata (subject_props[PROP_SIDE], g_quark_from_static_string ("zelm-icons"),
                          const_cast<char **> (side_icons));
  g_object_class_install_properties (oc, N_PROPS, subject_props);
}

class Ctrl : public ::testing::Test {
protected:
  GObject *subject = G_OBJECT (g_object_new (subject_get_type (), nullptr));
  int notifies = 0;
  GtkWidget *box = gtk_box_new (GTK_ORIENTATION_VERTICAL, 4);
  GtkWidget *win = nullptr;

  Ctrl ()
  {
    g_signal_connect_swapped (subject, "notify", G_CALLBACK (+[] (int *n) { ++*n; }), &notifies);
  }
  ~Ctrl () override
  {
    if (win)
      gtk_widget_destroy (win);
    g_object_unref (subject);
  }
  /* Packs @w and shows the window (once). */
  GtkWidget *show (GtkWidget *w)
  {
    gtk_box_pack_start (GTK_BOX (box), w, FALSE, FALSE, 0);
    if (!win)
      win = show_in_window (box, 300, 200);
    gtk_widget_show_all (win);
    pump (30);
    return w;
  }
  int count () { return reinterpret_cast<Subject *> (subject)->count; }
  int side () { return reinterpret_cast<Subject *> (subject)->side; }
};

/* The combo box offers the enumeration's nicks and selects the current
 * value; a change made elsewhere moves the selection without being written
 * back; the user's choice (from the keyboard) sets the property. */
TEST_F (Ctrl, ComboBoxFollowsAnEnumeration)
{
  GtkWidget *combo = show (gtk_combo_box_text_new ());
  g_object_set (subject, "side", GTK_POS_TOP, nullptr);
  zelm_ctrl_connect (combo, subject, "side");

  std::vector<std::string> texts;
  GtkTreeModel *model = gtk_combo_box_get_model (GTK_COMBO_BOX (combo));
  GtkTreeIter iter;
  for (gboolean ok = gtk_tree_model_get_iter_first (model, &iter); ok; ok = gtk_tree_model_iter_next (model, &iter))
    {
      g_autofree char *t = nullptr;
      gtk_tree_model_get (model, &iter, 0, &t, -1);
      texts.push_back (t);
    }
  EXPECT_EQ (texts, (std::vector<std::string> { "left", "right", "top", "bottom" }));
  EXPECT_EQ (gtk_combo_box_get_active (GTK_COMBO_BOX (combo)), 2);

  notifies = 0;
  g_object_set (subject, "side", GTK_POS_RIGHT, nullptr);
  EXPECT_EQ (gtk_combo_box_get_active (GTK_COMBO_BOX (combo)), 1);
  EXPECT_EQ (notifies, 1) << "the selection was written back";

  gtk_widget_grab_focus (combo);
  pump (20);
  key_tap (GDK_KEY_Down);
  EXPECT_TRUE (wait_for ([&] { return side () == GTK_POS_TOP; })) << side ();
  EXPECT_EQ (gtk_combo_box_get_active (GTK_COMBO_BOX (combo)), 2);
}

/* A toggle bound with active value 0 and inactive value 1 is checked while
 * the property is 0; clicks set the two values.  Radio buttons set their
 * value when chosen and ignore being deselected. */
TEST_F (Ctrl, TogglesSetTheirTwoValues)
{
  GtkWidget *check = show (gtk_check_button_new_with_label ("zero"));
  zelm_ctrl_connect_toggle (check, subject, "count", 0, 1);
  EXPECT_TRUE (gtk_toggle_button_get_active (GTK_TOGGLE_BUTTON (check)));

  click (check, 8, 8);
  EXPECT_TRUE (wait_for ([&] { return count () == 1; }));
  EXPECT_FALSE (gtk_toggle_button_get_active (GTK_TOGGLE_BUTTON (check)));
  g_object_set (subject, "count", 0, nullptr);
  EXPECT_TRUE (gtk_toggle_button_get_active (GTK_TOGGLE_BUTTON (check)));

  GtkWidget *left = show (gtk_radio_button_new_with_label (nullptr, "left"));
  GtkWidget *right = show (gtk_radio_button_new_with_label_from_widget (GTK_RADIO_BUTTON (left), "right"));
  zelm_ctrl_connect_toggle (left, subject, "side", GTK_POS_LEFT, GTK_POS_BOTTOM);
  zelm_ctrl_connect_toggle (right, subject, "side", GTK_POS_RIGHT, GTK_POS_BOTTOM);
  EXPECT_TRUE (gtk_toggle_button_get_active (GTK_TOGGLE_BUTTON (left)));

  click (right, 8, 8);
  EXPECT_TRUE (wait_for ([&] { return side () == GTK_POS_RIGHT; })) << side ();
  pump (20);
  EXPECT_EQ (side (), GTK_POS_RIGHT) << "the deselected radio button wrote its inactive value";
  EXPECT_FALSE (gtk_toggle_button_get_active (GTK_TOGGLE_BUTTON (left)));
}

/* A spin button takes the property's range and value and sets what the
 * user types or steps; a disable condition of 0 makes it insensitive while
 * the property is 0. */
TEST_F (Ctrl, SpinButtonWithDisableCondition)
{
  GtkWidget *spin = show (gtk_spin_button_new_with_range (0, 1, 1));
  zelm_ctrl_connect (spin, subject, "count");
  zelm_ctrl_set_disable_cond (spin, subject, "count", 0);
  double min, max;
  gtk_spin_button_get_range (GTK_SPIN_BUTTON (spin), &min, &max);
  EXPECT_EQ (min, -5);
  EXPECT_EQ (max, 5);
  EXPECT_FALSE (gtk_widget_get_sensitive (spin));

  g_object_set (subject, "count", 3, nullptr);
  EXPECT_TRUE (gtk_widget_get_sensitive (spin));
  EXPECT_EQ (gtk_spin_button_get_value_as_int (GTK_SPIN_BUTTON (spin)), 3);

  gtk_widget_grab_focus (spin);
  pump (20);
  key_tap (GDK_KEY_Up);
  EXPECT_TRUE (wait_for ([&] { return count () == 4; })) << count ();
  for (int i = 0; i < 3; i++)
    key_tap (GDK_KEY_Up);
  pump (20);
  EXPECT_EQ (count (), 5) << "stepped past the property's range";

  /* Typed text is taken on Enter. */
  gtk_editable_select_region (GTK_EDITABLE (spin), 0, -1);
  key_tap (GDK_KEY_minus);
  key_tap (GDK_KEY_2);
  key_tap (GDK_KEY_Return);
  EXPECT_TRUE (wait_for ([&] { return count () == -2; })) << count ();

  /* Back to 0 from the keyboard: the condition makes it insensitive. */
  gtk_editable_select_region (GTK_EDITABLE (spin), 0, -1);
  key_tap (GDK_KEY_0);
  key_tap (GDK_KEY_Return);
  EXPECT_TRUE (wait_for ([&] { return !gtk_widget_get_sensitive (spin); }));

  zelm_ctrl_uninstall (spin);
  g_object_set (subject, "count", 2, nullptr);
  EXPECT_FALSE (gtk_widget_get_sensitive (spin)) << "still bound after uninstall";
}

/* A menu button lists the enumeration with its icons, shows the current
 * value's icon, and sets the value chosen from its menu. */
TEST_F (Ctrl, MenuButtonChoosesAnEnumerationValue)
{
  GtkWidget *button = show (gtk_menu_button_new ());
  zelm_ctrl_connect (button, subject, "side");
  auto shown_icon = [&] {
    GtkWidget *image = gtk_button_get_image (GTK_BUTTON (button));
    const char *name = nullptr;
    if (image)
      gtk_image_get_icon_name (GTK_IMAGE (image), &name, nullptr);
    return std::string (name ? name : "");
  };
  EXPECT_EQ (shown_icon (), "go-previous");

  GtkWidget *menu = GTK_WIDGET (gtk_menu_button_get_popup (GTK_MENU_BUTTON (button)));
  ASSERT_NE (menu, nullptr);
  click (button, 10, 10);
  ASSERT_TRUE (wait_for ([&] { return gtk_widget_get_mapped (menu); }));
  g_autoptr (GList) items = gtk_container_get_children (GTK_CONTAINER (menu));
  ASSERT_EQ (g_list_length (items), 4u);
  GtkWidget *bottom = GTK_WIDGET (g_list_nth_data (items, 3));
  wait_drawn (bottom);
  GtkAllocation a;
  gtk_widget_get_allocation (bottom, &a);
  click (bottom, a.width / 2.0, a.height / 2.0);
  EXPECT_TRUE (wait_for ([&] { return side () == GTK_POS_BOTTOM; })) << side ();
  EXPECT_EQ (shown_icon (), "go-down");
  EXPECT_TRUE (gtk_check_menu_item_get_active (GTK_CHECK_MENU_ITEM (bottom)));
}

/* Labels show values as text; a destroyed widget's binding lets go of the
 * object at once. */
TEST_F (Ctrl, LabelsAndLifetime)
{
  GtkWidget *side_label = show (gtk_label_new (""));
  GtkWidget *level_label = show (gtk_label_new (""));
  zelm_ctrl_connect (side_label, subject, "side");
  zelm_ctrl_connect (level_label, subject, "level");
  g_object_set (subject, "side", GTK_POS_BOTTOM, "level", 2.5, nullptr);
  EXPECT_STREQ (gtk_label_get_text (GTK_LABEL (side_label)), "bottom");
  EXPECT_STREQ (gtk_label_get_text (GTK_LABEL (level_label)), "2.5");

  const guint refs = subject->ref_count;
  gtk_widget_destroy (level_label);
  EXPECT_EQ (subject->ref_count, refs - 1);
  g_object_set (subject, "level", 3.0, nullptr); /* must not reach the dead label */
}

/* ---- tree rows and combo boxes -------------------------------------------- */

TEST (UtilTree, RowReferencesFollowTheirRowUntilItIsDeleted)
{
  GtkListStore *store = gtk_list_store_new (1, G_TYPE_STRING);
  GtkTreeIter it[3];
  for (int i = 0; i < 3; i++)
    gtk_list_store_insert_with_values (store, &it[i], -1, 0, i == 0 ? "a" : i == 1 ? "b" : "c", -1);
  GtkTreeRowReference *ref = zelm_util_tree_iter_get_row_reference (GTK_TREE_MODEL (store), &it[2]);

  gtk_list_store_remove (store, &it[0]);
  GtkTreeIter found;
  ASSERT_TRUE (zelm_util_tree_row_reference_iter (ref, &found));
  g_autofree char *text = nullptr;
  gtk_tree_model_get (GTK_TREE_MODEL (store), &found, 0, &text, -1);
  EXPECT_STREQ (text, "c");

  gtk_list_store_remove (store, &found);
  EXPECT_FALSE (zelm_util_tree_row_reference_iter (ref, &found));
  EXPECT_FALSE (zelm_util_tree_row_reference_iter (nullptr, &found));
  gtk_tree_row_reference_free (ref);
  g_object_unref (store);
}

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
