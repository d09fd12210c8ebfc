/* test-tap-recorder.cpp: the tap selector's list, the oscilloscope rows
 * watched on screen while a synthesizer rendered by the test plays, paused
 * and scrolled back, and the pointer path from a row's button to a tap */
#include "test-synth-cpu.h"
#include "vorn-tap.h"
#include "vorn-test-log.h"
#include "zelm-gui-test.h"
#include "zelm-tap-recorder.h"
#include "zelm-tap-selector.h"
#include "zelm-wave-scope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

using namespace zelm_test;

namespace {

constexpr int WIDTH = 900, HEIGHT = 400;
constexpr Rgb BG { 0, 0, 0 }, NO_DATA { 0x10, 0x10, 0x10 }, LINE { 0x80, 0x80, 0x80 };
const std::string CH0 = "Main · speakers · channel 0", CH1 = "Main · speakers · channel 1";

/* ---- reading the trace back from the screen ------------------------------ */

/* Columns where the drawn trace rises through the zero line, interpolated
 * between pixels: the trace's height in a column is the centroid of its
 * green. */
std::vector<double>
crossings (GtkWidget *scope)
{
  g_autoptr (GdkPixbuf) pb = grab_drawn (scope);
  const int w = gdk_pixbuf_get_width (pb), h = gdk_pixbuf_get_height (pb);
  std::vector<double> v (gsize (w), NAN), at;
  for (int x = 0; x < w; x++)
    {
      double sum = 0, weight = 0;
      for (int y = 0; y < h; y++)
        {
          const Rgb c = pixel (pb, x, y);
          const double green = double (c.g) - std::max (c.r, c.b);
          if (green > 20)
            sum += green * y, weight += green;
        }
      if (weight > 0)
        v[gsize (x)] = h / 2 - sum / weight;
    }
  for (gsize x = 1; x < v.size (); x++)
    if (v[x - 1] < 0 && v[x] >= 0 && v[x] - v[x - 1] > 0.3)
      at.push_back (double (x - 1) + -v[x - 1] / (v[x] - v[x - 1]));
  return at;
}

double
period (GtkWidget *scope)
{
  auto c = crossings (scope);
  return c.size () < 3 ? NAN : (c.back () - c.front ()) / double (c.size () - 1);
}

/* ---- the selector ---------------------------------------------------------- */

/* A listed tap as the selector's list holds it: voice id, node, wave,
 * attribute, channel. */
using Listed = std::tuple<int, std::string, std::string, std::string, int>;

GtkTreeView *
view_of (GtkWidget *selector)
{
  return GTK_TREE_VIEW (find_child (selector, GTK_TYPE_TREE_VIEW));
}

std::vector<Listed>
listed (GtkWidget *selector)
{
  GtkTreeModel *model = gtk_tree_view_get_model (view_of (selector));
  std::vector<Listed> out;
  GtkTreeIter it;
  for (gboolean ok = gtk_tree_model_get_iter_first (model, &it); ok;
       ok = gtk_tree_model_iter_next (model, &it))
    {
      int id = 0, chan = 0;
      g_autofree char *node = nullptr, *wave = nullptr, *attrib = nullptr;
      gtk_tree_model_get (model, &it, ZELM_TAP_SELECTOR_COL_VOICE_ID, &id,
                          ZELM_TAP_SELECTOR_COL_NODE, &node, ZELM_TAP_SELECTOR_COL_WAVE, &wave,
                          ZELM_TAP_SELECTOR_COL_ATTRIB, &attrib, ZELM_TAP_SELECTOR_COL_CHANNEL,
                          &chan, -1);
      out.emplace_back (id, node, wave, attrib, chan);
    }
  return out;
}

int
cursor_row (GtkWidget *selector)
{
  GtkTreePath *cursor = nullptr;
  gtk_tree_view_get_cursor (view_of (selector), &cursor, nullptr);
  const int row = cursor ? gtk_tree_path_get_indices (cursor)[0] : -1;
  gtk_tree_path_free (cursor);
  return row;
}

/* The recorder's open selector, or NULL. */
GtkWidget *
open_selector ()
{
  GtkWidget *found = nullptr;
  GList *tops = gtk_window_list_toplevels ();
  for (GList *l = tops; l; l = l->next)
    if (ZELM_IS_TAP_SELECTOR (l->data) && gtk_widget_get_visible (GTK_WIDGET (l->data)))
      found = GTK_WIDGET (l->data);
  g_list_free (tops);
  return found;
}

/* Clicks the middle of @widget. */
void
click_centre (GtkWidget *widget)
{
  click (widget, gtk_widget_get_allocated_width (widget) / 2.0,
         gtk_widget_get_allocated_height (widget) / 2.0);
}

/* The scope draws its samples where the length and column rules put them
 * (the rules: the models suite): outside the no-data colour, inside the
 * background with the grey zero line and the trace. */
TEST (WaveScope, DrawsWhereTheColumnsAre)
{
  GtkWidget *scope = zelm_wave_scope_new ();
  GtkWidget *win = show_in_window (scope, 801, 101);
  auto *ws = ZELM_WAVE_SCOPE (scope);
  g_object_set (scope, "x-zoom", 0.5, nullptr); /* below 1: refused */
  EXPECT_EQ (ws->len, 802);

  /* 100 samples from sample 50 at x-zoom 2: columns 25 to 75.  A constant
   * 0.8 at y-zoom 0.5 is 0.8 * 50 * 0.5 = 20 pixels above the middle row. */
  g_object_set (scope, "x-zoom", 2.0, nullptr);
  int len = 0;
  double *buf = zelm_wave_scope_get_buffer (ws, &len);
  ASSERT_EQ (len, 402);
  std::fill (buf, buf + len, 0.8);
  zelm_wave_scope_update (ws, 100, 50);
  g_autoptr (GdkPixbuf) pb = grab_drawn (scope);
  for (int x : { 0, 24, 75, 800 })
    EXPECT_EQ (pixel (pb, x, 5), NO_DATA) << "column " << x;
  for (int x : { 25, 50, 74 })
    EXPECT_EQ (pixel (pb, x, 5), BG) << "column " << x;
  EXPECT_EQ (pixel (pb, 50, 50), LINE) << "zero line";
  const Rgb t = pixel (pb, 50, 30);
  EXPECT_TRUE (t.g > 150 && t.r < 20) << "trace";

  /* A shorter buffer request cuts what was valid. */
  gtk_widget_set_size_request (scope, 401, 101);
  EXPECT_TRUE (wait_for ([&] { return ws->len == 402; }));
  gtk_widget_destroy (win);
}

/* ---- fixture --------------------------------------------------------------- */

/* A recorder on the "Scope" page's usual size over a synthesizer whose
 * instrument "Flute" has a tap right after its wave "Sine". */
class Recorder : public ::testing::Test {
protected:
  synth_test::Synth s;
  VornTap *voice_tap = vorn_tap_new (VORN_ATTRIB_TYPE_SIGNAL, 0);
  GtkWidget *rec = zelm_tap_recorder_new (s.synth);
  GtkWidget *win = show_in_window (rec, WIDTH, HEIGHT);
  int pauses_confirmed = 0;

  Recorder ()
  {
    g_object_set (s.synth, "start-voice-notify", TRUE, nullptr);
    g_object_set (s.inst, "name", "Flute", nullptr);
    VornNode *wave = VORN_NODE (s.inst)->children;
    while (wave->next)
      wave = wave->next;
    g_object_set (wave, "name", "Sine", nullptr);
    vorn_node_insert (VORN_NODE (s.inst), VORN_NODE (voice_tap), -1);
    vorn_synth_set_inst (s.synth, 0, s.inst);
  }
  ~Recorder () override
  {
    gtk_widget_destroy (win);
    g_object_unref (voice_tap);
  }
  ZelmTapRecorder *zr () { return ZELM_TAP_RECORDER (rec); }

  /* The application's wiring: the outbox's messages reach the recorder. */
  void deliver ()
  {
    while (VornSynthMsg *msg = vorn_synth_get_message (s.synth))
      {
        if (msg->type == VORN_SYNTH_MSG_START_VOICE_NOTIFY && msg->start_voice_notify.queue)
          {
            zelm_tap_recorder_add_voice_queue (zr (), msg->start_voice_notify.queue);
            g_object_unref (msg->start_voice_notify.queue);
          }
        else if (msg->type == VORN_SYNTH_MSG_TAP_PAUSE)
          {
            zelm_tap_recorder_pause_completed (zr (), msg->tap_pause.pause != FALSE);
            pauses_confirmed++;
          }
        vorn_synth_msg_free (msg);
      }
  }
  /* One tick of the periodic task after @frames more of audio. */
  void tick (guint frames)
  {
    if (frames)
      s.render (frames);
    deliver ();
    zelm_tap_recorder_process (zr ());
  }

  /* The recorder's parts: tool bar (add, pause), the rows' grid, scrollbar. */
  GtkWidget *add_button () { return children (children (rec)[0])[0]; }
  GtkWidget *pause_button () { return children (children (rec)[0])[1]; }
  GtkWidget *scrollbar () { return children (rec)[2]; }
  /* Row @i's parts: buttons (find, up, down, delete), scope, label. */
  GtkWidget *row_box (int i) { return gtk_grid_get_child_at (GTK_GRID (children (rec)[1]), 0, i); }
  GtkWidget *button (int i, int which) { return children (children (row_box (i))[0])[which]; }
  GtkWidget *scope (int i) { return find_child (row_box (i), ZELM_TYPE_WAVE_SCOPE); }
  std::vector<std::string> labels ()
  {
    std::vector<std::string> out;
    for (int i = 0; row_box (i); i++)
      out.push_back (gtk_label_get_text (GTK_LABEL (find_child (row_box (i), GTK_TYPE_LABEL))));
    return out;
  }
  /* Binds row @index to the voice tap of @queue (taken), as the dialog would. */
  void show_voice (int index, VornQueue *queue)
  {
    g_autoptr (VornTapGen) gen = vorn_synth_queue_get_tap (queue, VORN_NODE (voice_tap));
    ASSERT_NE (gen, nullptr);
    zelm_tap_recorder_set_scope_tap (zr (), index, queue, gen, 0);
    g_object_unref (queue);
  }
  bool paused_shown ()
  {
    const char *icon = nullptr;
    gtk_image_get_icon_name (GTK_IMAGE (gtk_button_get_image (GTK_BUTTON (pause_button ()))),
                             &icon, nullptr);
    return g_strcmp0 (icon, "media-playback-start") == 0 && gtk_widget_get_sensitive (scrollbar ());
  }
};

/* The user's path: a row's find button opens the selector, modal, with one
 * row per tap and channel of the queues in order (two for the master's
 * speakers), on what the row shows; Cancel changes nothing; a row chosen
 * with OK binds the row, whose trace then has the voice's period, and is
 * preselected next time.  The row then follows the instrument's voices. */
TEST_F (Recorder, FindButtonChoosesATap)
{
  const guint voice = s.note_on (69);
  tick (9600);
  GtkWidget *sel = nullptr;
  auto open = [&] {
    click_centre (button (1, 0));
    ASSERT_TRUE (wait_for ([&] { return (sel = open_selector ()) != nullptr; }));
    wait_drawn (GTK_WIDGET (view_of (sel)));
  };
  auto press = [&] (int response) {
    click_centre (gtk_dialog_get_widget_for_response (GTK_DIALOG (sel), response));
    EXPECT_TRUE (wait_for ([] { return open_selector () == nullptr; }));
  };
  open ();
  const std::vector<Listed> expected = {
    { 0, "Main", "", "speakers", 0 },
    { 0, "Main", "", "speakers", 1 },
    { int (voice), "Flute, A4", "Sine", "signal", 0 },
  };
  EXPECT_EQ (listed (sel), expected);
  EXPECT_TRUE (gtk_window_get_modal (GTK_WINDOW (sel)));
  EXPECT_EQ (cursor_row (sel), 1);
  press (GTK_RESPONSE_CANCEL);
  EXPECT_EQ (labels ()[1], CH1);

  open ();
  g_autoptr (GtkTreePath) path = gtk_tree_path_new_from_indices (2, -1);
  gtk_tree_view_set_cursor (view_of (sel), path, nullptr, FALSE); /* GTK's own row click */
  press (GTK_RESPONSE_OK);
  g_autofree char *label = g_strdup_printf ("Voice %u  Flute · Sine · signal · channel 0", voice);
  EXPECT_EQ (labels ()[1], label);
  tick (4800);
  EXPECT_NEAR (period (scope (1)), synth_test::RATE / 440.0, 0.5);
  open ();
  EXPECT_EQ (cursor_row (sel), 2);
  press (GTK_RESPONSE_CANCEL);

  /* The row moves on to the instrument's next voice. */
  const guint next = s.note_on (76);
  tick (4800);
  g_autofree char *next_label = g_strdup_printf ("Voice %u  Flute · Sine · signal · channel 0", next);
  EXPECT_EQ (labels (), (std::vector<std::string> { CH0, next_label }));
  EXPECT_NEAR (period (scope (1)), synth_test::RATE / vorn_util_midi_note_freq (76), 0.5);
}

/* The pause button only asks: the display keeps refreshing until the
 * synthesizer's confirmation comes back, and a second press before it
 * changes nothing.  Paused, the scrollbar moves every row over the same
 * window of sample time: the master's output and the voice's wave cross
 * zero at the same columns, where the recorded samples say they should.
 * New voices are not captured while paused.  Resuming waits for its
 * confirmation too. */
TEST_F (Recorder, PauseAndScrollBack)
{
  tick (9600); /* silence before the note */
  VornQueue *queue = nullptr;
  s.note_on (69, 0, &queue);
  tick (19200);
  show_voice (1, queue);
  gtk_button_clicked (GTK_BUTTON (pause_button ()));
  gtk_button_clicked (GTK_BUTTON (pause_button ()));
  gboolean pause = FALSE;
  g_object_get (rec, "pause", &pause, nullptr);
  EXPECT_TRUE (pause);

  /* The voice's tap keeps recording; without confirmation its row moves. */
  const std::vector<double> before = crossings (scope (1));
  s.render (4032);
  zelm_tap_recorder_process (zr ());
  const std::vector<double> during = crossings (scope (1));
  ASSERT_FALSE (before.empty () || during.empty ());
  EXPECT_GT (std::fabs (before[0] - during[0]), 3.0) << "refresh stopped before confirmation";
  EXPECT_FALSE (paused_shown ());
  deliver ();
  EXPECT_EQ (pauses_confirmed, 1);
  ASSERT_TRUE (paused_shown ());

  GtkAdjustment *adj = gtk_range_get_adjustment (GTK_RANGE (scrollbar ()));
  const int len = ZELM_WAVE_SCOPE (scope (0))->len;
  EXPECT_EQ (gtk_adjustment_get_page_size (adj), len);
  EXPECT_EQ (gtk_adjustment_get_upper (adj), 9600 + 19200 + 4032);
  EXPECT_EQ (gtk_adjustment_get_value (adj), gtk_adjustment_get_upper (adj) - len);

  /* A click on the scrollbar's trough, as the user scrolls back. */
  GtkAllocation bar;
  gtk_widget_get_allocation (scrollbar (), &bar);
  const double end = gtk_adjustment_get_value (adj);
  click (scrollbar (), bar.width * 0.45, bar.height / 2.0);
  ASSERT_TRUE (wait_for ([&] { return gtk_adjustment_get_value (adj) != end; }));
  g_autoptr (VornTapGen) master = vorn_synth_get_master_tap (s.synth);
  std::vector<double> samples (static_cast<gsize> (len));
  const double pos = gtk_adjustment_get_value (adj);
  const int n = vorn_tap_gen_read (master, samples.data (), len, 0, int (pos + 0.5), nullptr);
  ASSERT_EQ (n, len);
  std::vector<double> expected;
  for (int i = 1; i < n; i++)
    if (samples[i - 1] < 0 && samples[i] >= 0)
      expected.push_back (i - 1 + -samples[i - 1] / (samples[i] - samples[i - 1]));
  const std::vector<double> master_x = crossings (scope (0)), voice_x = crossings (scope (1));
  ASSERT_EQ (master_x.size (), expected.size ());
  ASSERT_EQ (voice_x.size (), expected.size ());
  for (gsize i = 0; i < expected.size (); i++)
    {
      EXPECT_NEAR (master_x[i], expected[i], 0.6) << i;
      EXPECT_NEAR (voice_x[i], expected[i], 0.6) << i;
    }

  /* Paused, a new voice is not captured: the row keeps its own. */
  const std::string kept = labels ()[1];
  s.note_on (72);
  s.render (64);
  deliver ();
  EXPECT_EQ (labels ()[1], kept);

  /* Resume: frozen until confirmed, live after. */
  gtk_button_clicked (GTK_BUTTON (pause_button ()));
  zelm_tap_recorder_process (zr ());
  EXPECT_EQ (crossings (scope (1)), voice_x);
  EXPECT_TRUE (paused_shown ());
  tick (4000);
  EXPECT_FALSE (paused_shown ());
  tick (4000);
  const std::vector<double> live = crossings (scope (1));
  ASSERT_FALSE (live.empty ());
  EXPECT_GT (std::fabs (live[0] - voice_x[0]), 3.0) << "no refresh after resuming";
}

/* Add appends an unbound row, the buttons move and delete rows (the order
 * rules are the model's); a rebuilt master hands the rows its tap. */
TEST_F (Recorder, RowButtonsAndARebuiltMaster)
{
  gtk_button_clicked (GTK_BUTTON (add_button ()));
  EXPECT_EQ (labels (), (std::vector<std::string> { CH0, CH1, "No tap" }));
  EXPECT_FALSE (gtk_widget_get_sensitive (button (0, 1)));
  EXPECT_FALSE (gtk_widget_get_sensitive (button (2, 2)));
  gtk_button_clicked (GTK_BUTTON (button (2, 1)));
  gtk_button_clicked (GTK_BUTTON (button (0, 2)));
  EXPECT_EQ (labels (), (std::vector<std::string> { "No tap", CH0, CH1 }));
  gtk_button_clicked (GTK_BUTTON (button (2, 3)));
  EXPECT_EQ (labels (), (std::vector<std::string> { "No tap", CH0 }));
  zelm_tap_recorder_remove_scope (zr (), 5);
  EXPECT_EQ (labels ().size (), 2u);

  /* The unbound row shows no data; the other stays live, also across a
   * settings change that rebuilds the master. */
  s.note_on (69);
  tick (9600);
  g_autoptr (GdkPixbuf) pb = grab_drawn (scope (0));
  EXPECT_EQ (pixel (pb, 450, 100), NO_DATA);
  g_object_set (s.synth, "cores", 2, nullptr);
  tick (4000);
  tick (9600);
  const std::vector<double> a = crossings (scope (1));
  tick (4000);
  const std::vector<double> b = crossings (scope (1));
  ASSERT_FALSE (a.empty () || b.empty ());
  EXPECT_GT (std::fabs (a[0] - b[0]), 3.0) << "the rows kept the old master's tap";
}

} // namespace
