/* test-ctrl.cpp: widgets bound to properties, both ways */
#include "vorn-test-log.h"
#include "zelm-ctrl.h"
#include "zelm-gui-test.h"
#include "zelm-wave-canvas.h"

#include <gtest/gtest.h>

#include <string>

using namespace zelm_test;

namespace {

/* The bound object: a curve canvas, whose properties the wave editor binds
 * and which notify only on change, as the application's objects do. */
GObject *
new_subject ()
{
  return G_OBJECT (g_object_ref_sink (zelm_wave_canvas_new ()));
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
  const char *name = nullptr;
  if (GtkWidget *image = gtk_tool_button_get_icon_widget (GTK_TOOL_BUTTON (w)))
    gtk_image_get_icon_name (GTK_IMAGE (image), &name, nullptr);
  return name ? name : "";
}

GtkWidget *
menu_item (GtkWidget *menu_button, guint i)
{
  return children (gtk_menu_tool_button_get_menu (GTK_MENU_TOOL_BUTTON (menu_button)))[i];
}

/* Each kind of widget shows a value set on the object, without writing it
 * back, and sets the property when its own value changes; the menu button
 * is the tool bar's, as the wave editor has it.  (Combo boxes, toggles,
 * labels of enumerations and disable conditions: the preferences window's
 * test drives every control both ways.) */
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
    { "spin button", "debug-render-samples",
      [] { return gtk_spin_button_new_with_range (0, 1, 1); }, 300, "300",
      [] (GtkWidget *w) { gtk_spin_button_set_value (GTK_SPIN_BUTTON (w), 500); }, 500 },
    { "menu button", "polarity", [] { return GTK_WIDGET (gtk_menu_tool_button_new (nullptr, nullptr)); },
      ZELM_WAVE_CANVAS_POLARITY_BIPOLAR, "zelm-polarity-bi",
      [] (GtkWidget *w) { gtk_menu_item_activate (GTK_MENU_ITEM (menu_item (w, 1))); },
      ZELM_WAVE_CANVAS_POLARITY_UNIPOLAR },
  };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (c.what);
      g_autoptr (GObject) subject = new_subject ();
      GtkWidget *w = GTK_WIDGET (g_object_ref_sink (c.make ()));
      zelm_ctrl_connect (w, subject, c.prop);
      int notifies = 0;
      const std::string signal = std::string ("notify::") + c.prop;
      g_signal_connect_swapped (subject, signal.c_str (), G_CALLBACK (+[] (int *n) { ++*n; }),
                                &notifies);
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
  GtkWidget *menu_button = add (GTK_WIDGET (gtk_menu_tool_button_new (nullptr, nullptr)));
  zelm_ctrl_connect (spin, subject, "debug-render-samples");
  zelm_ctrl_connect (menu_button, subject, "polarity");
  double min, max;
  gtk_spin_button_get_range (GTK_SPIN_BUTTON (spin), &min, &max);
  EXPECT_EQ (std::pair (min, max), std::pair (100.0, 10000.0));
  EXPECT_EQ (children (gtk_menu_tool_button_get_menu (GTK_MENU_TOOL_BUTTON (menu_button))).size (), 3u);
  g_object_set (subject, "polarity", ZELM_WAVE_CANVAS_POLARITY_BIPOLAR, nullptr);
  EXPECT_TRUE (gtk_check_menu_item_get_active (GTK_CHECK_MENU_ITEM (menu_item (menu_button, 2))));

  /* Uninstalled, a widget no longer follows. */
  g_object_set (subject, "debug-render-samples", 300, nullptr);
  zelm_ctrl_uninstall (spin);
  g_object_set (subject, "debug-render-samples", 200, nullptr);
  EXPECT_EQ (shown (spin), "300");

  /* Doubles as text; a destroyed widget lets go of the object at once. */
  GtkWidget *label = add (gtk_label_new (""));
  zelm_ctrl_connect (label, subject, "morph-position");
  g_object_set (subject, "morph-position", 0.25, nullptr);
  EXPECT_EQ (shown (label), "0.25");
  const guint refs = subject->ref_count;
  gtk_widget_destroy (label);
  EXPECT_EQ (subject->ref_count, refs - 1);
  g_object_set (subject, "morph-position", 0.5, nullptr); /* must not reach the dead label */
  gtk_widget_destroy (box);
  g_object_unref (box);
}

} // namespace
