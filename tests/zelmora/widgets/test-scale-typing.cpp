/* test-scale-typing.cpp: typing a scale's value through real key events,
 * and a click on its bar */
#include "scale-layout.h"
#include "zelm-gui-test.h"
#include "zelm-scale.h"
#include "zelm-value-text.h"
#include "zelm-widget-geometry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace zelm_test;

namespace {

constexpr int WIDTH = 400, HEIGHT = 100;

void type (std::initializer_list<guint> keys) { for (guint k : keys) key_tap (k); }

/* Enter, a digit or Escape on a focused scale; the entry refuses what does
 * not parse and changes nothing; the bar takes a click where it lands, the
 * same way for a negative value. */
TEST (ScaleTyping, EnterTypeEnterAndEscape)
{
  GtkWidget *widget = zelm_scale_new (0, 20000, 9);
  ZelmScale *scale = ZELM_SCALE (widget);
  std::vector<double> reported;
  g_object_set (widget, "unit", int (ZELM_VALUE_UNIT_HZ), nullptr);
  g_signal_connect (widget, "value-changed",
                    G_CALLBACK (+[] (GtkWidget *, double v, std::vector<double> *list) {
                      list->push_back (v);
                    }),
                    &reported);
  GtkWidget *win = show_in_window (widget, WIDTH, HEIGHT);
  auto focus = [&] { return gtk_window_get_focus (GTK_WINDOW (win)); };
  auto entry_open = [&] { return wait_for ([&] { return GTK_IS_ENTRY (focus ()); }); };
  auto back_on_scale = [&] { return wait_for ([&] { return focus () == widget; }); };

  /* Focus by a press on the fine slider's centre, which moves nothing. */
  click (widget, WIDTH / 2, 10);
  ASSERT_TRUE (back_on_scale ());
  zelm_scale_set_value (scale, 440);
  reported.clear ();

  key_tap (GDK_KEY_Return);
  ASSERT_TRUE (entry_open ());
  GtkEntry *entry = GTK_ENTRY (focus ());
  EXPECT_STREQ (gtk_entry_get_text (entry), "440 Hz");
  type ({ GDK_KEY_2, GDK_KEY_k, GDK_KEY_Return });
  ASSERT_TRUE (back_on_scale ());
  EXPECT_EQ (zelm_scale_get_value (scale), 2000);
  EXPECT_EQ (reported, std::vector<double> { 2000 });

  /* Refused text: the reason in place, the entry still open; Escape
   * leaves without a change, even from valid text. */
  key_tap (GDK_KEY_Return);
  ASSERT_TRUE (entry_open ());
  type ({ GDK_KEY_a, GDK_KEY_b, GDK_KEY_Return });
  pump (50);
  EXPECT_EQ (focus (), GTK_WIDGET (entry));
  g_autofree char *why = gtk_entry_get_icon_tooltip_text (entry, GTK_ENTRY_ICON_SECONDARY);
  EXPECT_TRUE (why && strstr (why, "not a number")) << (why ? why : "(none)");
  type ({ GDK_KEY_BackSpace, GDK_KEY_BackSpace, GDK_KEY_7, GDK_KEY_Escape });
  ASSERT_TRUE (back_on_scale ());
  EXPECT_EQ (zelm_scale_get_value (scale), 2000);
  EXPECT_EQ (reported.size (), 1u);

  /* A digit starts the entry with itself (a level in dB). */
  g_object_set (widget, "unit", int (ZELM_VALUE_UNIT_GAIN), "min-val", -10.0, nullptr);
  key_tap (GDK_KEY_5);
  ASSERT_TRUE (entry_open ());
  type ({ GDK_KEY_0, GDK_KEY_Return });
  ASSERT_TRUE (back_on_scale ());
  EXPECT_EQ (zelm_scale_get_value (scale), 50);

  /* A click on the bar sets the coefficient where it lands, growing to the
   * right for a negative value as for a positive one. */
  const ZelmScaleLayout l = scale_layout (widget, WIDTH, HEIGHT);
  for (double sign : { 1, -1 })
    {
      /* Apart, so that the two clicks make no double-click. */
      const int x = int (l.track_x + l.track_w * (sign > 0 ? 0.25 : 0.75));
      zelm_scale_set_value (scale, sign * 0.5);
      click (widget, x, l.coeff_y + l.k / 2);
      const double want = zelm_scale_coeff_value (sign * 0.5, x - l.track_x, l.track_w, FALSE);
      EXPECT_TRUE (wait_for ([&] { return zelm_scale_get_value (scale) == want; })) << want;
    }
  gtk_widget_destroy (win);
}

} // namespace
