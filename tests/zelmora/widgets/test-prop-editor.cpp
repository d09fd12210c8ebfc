/* test-prop-editor.cpp: the property form and the node controls, edited with
 * real pointer and key events and checked against the objects and against
 * what a sounding note does */
#include "test-synth-cpu.h"
#include "vorn-test-log.h"
#include "zelm-gui-test.h"
#include "zelm-node-ctrl.h"
#include "zelm-prop-editor.h"
#include "zelm-scale.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace zelm_test;

namespace {

/* The form's rows as (label text, widget). */
struct FormRow {
  std::string label;
  GtkWidget *widget;
};

std::vector<FormRow>
form_rows (GtkWidget *editor)
{
  std::vector<FormRow> rows;
  for (int top = 0;; top++)
    {
      GtkWidget *label = gtk_grid_get_child_at (GTK_GRID (editor), 0, top);
      GtkWidget *widget = gtk_grid_get_child_at (GTK_GRID (editor), 1, top);
      if (!label || !widget)
        break;
      rows.push_back ({ gtk_label_get_text (GTK_LABEL (label)), widget });
    }
  return rows;
}

GtkWidget *
row_widget (GtkWidget *editor, GObject *object, const char *property)
{
  const char *nick = g_param_spec_get_nick (g_object_class_find_property (G_OBJECT_GET_CLASS (object), property));
  for (const FormRow &r : form_rows (editor))
    if (r.label == nick)
      return r.widget;
  return nullptr;
}

/* Nicks of the properties a form for @object must show: readable, not
 * hidden, of a kind the form edits. */
std::set<std::string>
expected_nicks (GObject *object)
{
  std::set<std::string> nicks;
  guint n = 0;
  g_autofree GParamSpec **pspecs = g_object_class_list_properties (G_OBJECT_GET_CLASS (object), &n);
  for (guint i = 0; i < n; i++)
    {
      const GType t = G_TYPE_FUNDAMENTAL (pspecs[i]->value_type);
      const bool editable_kind = t == G_TYPE_BOOLEAN || t == G_TYPE_INT || t == G_TYPE_UINT
                                 || t == G_TYPE_FLOAT || t == G_TYPE_DOUBLE || t == G_TYPE_ENUM
                                 || t == G_TYPE_STRING;
      if (editable_kind && (pspecs[i]->flags & G_PARAM_READABLE)
          && !(pspecs[i]->flags & VORN_PARAM_HIDDEN))
        nicks.insert (g_param_spec_get_nick (pspecs[i]));
    }
  return nicks;
}

class PropEditor : public ::testing::Test {
protected:
  GtkWidget *editor = zelm_prop_editor_new ();
  GtkWidget *win = show_in_window (editor, 520, 700);
  ~PropEditor () override { gtk_widget_destroy (win); }

  void show_object (gpointer object)
  {
    zelm_prop_editor_set_object (ZELM_PROP_EDITOR (editor), object);
    pump ();
  }
};

/* A form for a wave, a filter and the synthesizer has one row per visible
 * property of the kinds it edits, and never a hidden one; emptying it
 * removes every row. */
TEST_F (PropEditor, RowsForEveryVisibleProperty)
{
  g_autoptr (VornInst) inst = vorn_inst_new_default ();
  VornNode *wave = VORN_NODE (inst)->children;
  ASSERT_TRUE (VORN_IS_WAVE (wave));
  g_autoptr (VornNode) filter = VORN_NODE (vorn_filter_rbj_lowpass_new ());
  g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();

  for (GObject *object : { G_OBJECT (wave), G_OBJECT (filter), G_OBJECT (synth) })
    {
      SCOPED_TRACE (G_OBJECT_TYPE_NAME (object));
      show_object (object);
      std::set<std::string> shown;
      for (const FormRow &r : form_rows (editor))
        shown.insert (r.label);
      EXPECT_EQ (shown, expected_nicks (object));
    }

  show_object (nullptr);
  EXPECT_TRUE (form_rows (editor).empty ());
}

/* Each kind of widget writes what the user does to the property, and a
 * change made elsewhere shows in the widget. */
TEST_F (PropEditor, EditsGoBothWays)
{
  g_autoptr (VornInst) inst = vorn_inst_new_default ();
  GObject *wave = G_OBJECT (VORN_NODE (inst)->children);
  show_object (wave);

  /* Text entry and enumeration combo box (entries are the capitalised
   * nicks): GTK's own widgets, edited through their API. */
  GtkWidget *name = row_widget (editor, wave, "name");
  ASSERT_TRUE (name && GTK_IS_ENTRY (name));
  gtk_entry_set_text (GTK_ENTRY (name), "reed");
  g_autofree char *text = nullptr;
  g_object_get (wave, "name", &text, nullptr);
  EXPECT_STREQ (text, "reed");
  g_object_set (wave, "name", "Bell", nullptr);
  EXPECT_STREQ (gtk_entry_get_text (GTK_ENTRY (name)), "Bell");

  GtkWidget *play = row_widget (editor, wave, "play-mode");
  ASSERT_TRUE (play && GTK_IS_COMBO_BOX_TEXT (play));
  g_object_set (wave, "play-mode", VORN_WAVE_PLAY_MODE_ONCE, nullptr);
  g_autofree char *shown = gtk_combo_box_text_get_active_text (GTK_COMBO_BOX_TEXT (play));
  EXPECT_STREQ (shown, "Once");
  gtk_combo_box_set_active_id (GTK_COMBO_BOX (play), "stop");
  guint mode = 0;
  g_object_get (wave, "play-mode", &mode, nullptr);
  EXPECT_EQ (mode, guint (VORN_WAVE_PLAY_MODE_STOP));

  /* Number: a scale slider over the property's range, the widget of this
   * program, edited with a key: Page Up steps the exponent, a tenfold
   * value. */
  GtkWidget *xscale = row_widget (editor, wave, "x-scale");
  ASSERT_TRUE (xscale && ZELM_IS_SCALE (xscale));
  g_object_set (wave, "x-scale", 2.0, nullptr);
  EXPECT_EQ (zelm_scale_get_value (ZELM_SCALE (xscale)), 2.0);
  gtk_widget_grab_focus (xscale);
  key_tap (GDK_KEY_Page_Up);
  double x = 0;
  EXPECT_TRUE (wait_for ([&] {
    g_object_get (wave, "x-scale", &x, nullptr);
    return x == 20.0;
  })) << x;
}

/* ---- node controls ------------------------------------------------------- */

/* An instrument's control waves become labelled sliders; moving one stores
 * the wave's initial value and changes the note already sounding. */
TEST (NodeCtrl, SlidersDriveSoundingNotes)
{
  synth_test::Synth s;
  g_autoptr (VornWave) loudness = vorn_wave_new_control_default ("Loudness", VORN_ATTRIB_TYPE_VOLUME);
  vorn_node_insert (VORN_NODE (s.inst), VORN_NODE (loudness), 0);
  vorn_synth_set_inst (s.synth, 0, s.inst);

  GtkWidget *ctrl = zelm_node_ctrl_new (s.synth);
  GtkWidget *win = show_in_window (ctrl, 300, 120);
  zelm_node_ctrl_set_node (ZELM_NODE_CTRL (ctrl), VORN_NODE (s.inst));
  pump ();
  g_autoptr (GList) children = gtk_container_get_children (GTK_CONTAINER (ctrl));
  ASSERT_EQ (g_list_length (children), 2u);
  EXPECT_STREQ (gtk_label_get_text (GTK_LABEL (children->data)), "Loudness");
  GtkWidget *slider = GTK_WIDGET (children->next->data);

  s.note_on (69);
  s.render (9600);
  const float before = synth_test::peak (synth_test::channel (s.render (4800), 0));
  ASSERT_GT (before, 0.05f);

  gtk_widget_grab_focus (slider);
  key_tap (GDK_KEY_Page_Down); /* 1.0 -> 0.1 */
  double init = 0;
  EXPECT_TRUE (wait_for ([&] {
    g_object_get (loudness, "init-value", &init, nullptr);
    return init == 0.1;
  })) << init;
  s.render (4800);
  const float after = synth_test::peak (synth_test::channel (s.render (4800), 0));
  EXPECT_NEAR (after / before, 0.1, 0.02) << before << " -> " << after;

  zelm_node_ctrl_set_node (ZELM_NODE_CTRL (ctrl), nullptr);
  g_autoptr (GList) none = gtk_container_get_children (GTK_CONTAINER (ctrl));
  EXPECT_EQ (none, nullptr);
  gtk_widget_destroy (win);
}

} // namespace
