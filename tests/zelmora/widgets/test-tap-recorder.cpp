/* test-tap-recorder.cpp: the oscilloscope rows, watched on screen while a
 * synthesizer rendered by the test plays, paused and scrolled back with
 * real pointer events */
#include "test-synth-cpu.h"
#include "vorn-tap.h"
#include "vorn-test-log.h"
#include "zelm-app-run.h"
#include "zelm-gui-test.h"
#include "zelm-tap-recorder.h"
#include "zelm-tap-selector.h"
#include "zelm-wave-scope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace zelm_test;

namespace {

constexpr int WIDTH = 900, HEIGHT = 400;
constexpr Rgb BG { 0, 0, 0 }, NO_DATA { 0x10, 0x10, 0x10 }, LINE { 0x80, 0x80, 0x80 };

void
use_dark_theme ()
{
  static bool done = false;
  if (done)
    return;
  done = true;
  const char *res = g_getenv ("ZELMORA_RESOURCE_DIR");
  const std::string dir = res ? res : ".";
  GtkCssProvider *css = gtk_css_provider_new ();
  const std::string theme = dir + "/themes/BlueSky-Dark-Zelmora/gtk-3.0/gtk.css";
  gtk_css_provider_load_from_path (css, theme.c_str (), nullptr);
  gtk_style_context_add_provider_for_screen (gdk_screen_get_default (), GTK_STYLE_PROVIDER (css),
                                             GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref (css);
  gtk_icon_theme_prepend_search_path (gtk_icon_theme_get_default (),
                                      (dir + "/themes/icons").c_str ());
  g_object_set (gtk_settings_get_default (), "gtk-icon-theme-name", "elementary-Zelmora", nullptr);
}

void
shot (GtkWidget *widget, const char *name)
{
  if (const char *dir = g_getenv ("ZELM_TEST_SHOTS"))
    {
      g_autofree char *path = g_build_filename (dir, name, nullptr);
      save_png (widget, path);
    }
}

/* ---- reading the trace back from the screen ------------------------------ */

/* Height of the trace above the zero line in every pixel column (NAN where
 * no trace pixel is found): the centroid of the green in the column. */
std::vector<double>
trace (GtkWidget *scope)
{
  GdkPixbuf *pb = grab (scope);
  const int w = gdk_pixbuf_get_width (pb), h = gdk_pixbuf_get_height (pb);
  const int mid = h / 2;
  std::vector<double> values (gsize (w), NAN);
  for (int x = 0; x < w; x++)
    {
      double sum = 0, weight = 0;
      for (int y = 0; y < h; y++)
        {
          const Rgb c = pixel (pb, x, y);
          const double green = double (c.g) - std::max (c.r, c.b);
          if (green > 20)
            {
              sum += green * y;
              weight += green;
            }
        }
      if (weight > 0)
        values[gsize (x)] = mid - sum / weight;
    }
  g_object_unref (pb);
  return values;
}

/* Columns where a trace rises through zero, interpolated between pixels. */
std::vector<double>
rising_crossings (const std::vector<double> &v)
{
  std::vector<double> at;
  for (gsize x = 1; x < v.size (); x++)
    if (v[x - 1] < 0 && v[x] >= 0 && v[x] - v[x - 1] > 0.3)
      at.push_back (double (x - 1) + -v[x - 1] / (v[x] - v[x - 1]));
  return at;
}

double
mean_period (const std::vector<double> &crossings)
{
  if (crossings.size () < 2)
    return NAN;
  return (crossings.back () - crossings.front ()) / double (crossings.size () - 1);
}

/* Rising zero crossings of samples, as the scope places them (sample i on
 * column offset + i). */
std::vector<double>
rising_crossings_of (const double *s, int count, int offset)
{
  std::vector<double> at;
  for (int i = 1; i < count; i++)
    if (s[i - 1] < 0 && s[i] >= 0)
      at.push_back (offset + i - 1 + -s[i - 1] / (s[i] - s[i - 1]));
  return at;
}

/* ---- the recorder's widgets ---------------------------------------------- */

struct Row {
  GtkWidget *box, *scope, *label, *slider;
  GtkWidget *find, *up, *down, *del;
};

std::vector<GtkWidget *>
children (GtkWidget *container)
{
  std::vector<GtkWidget *> out;
  GList *list = gtk_container_get_children (GTK_CONTAINER (container));
  for (GList *l = list; l; l = l->next)
    out.push_back (GTK_WIDGET (l->data));
  g_list_free (list);
  return out;
}

/* The rows top to bottom. */
std::vector<Row>
rows (GtkWidget *recorder)
{
  GtkWidget *grid = children (recorder)[1];
  std::vector<Row> out;
  for (int top = 0;; top++)
    {
      GtkWidget *box = gtk_grid_get_child_at (GTK_GRID (grid), 0, top);
      if (!box)
        break;
      auto parts = children (box);
      auto buttons = children (parts[0]);
      auto overlay = children (parts[1]);
      GtkWidget *scope = nullptr, *label = nullptr;
      for (GtkWidget *w : overlay)
        (ZELM_IS_WAVE_SCOPE (w) ? scope : label) = w;
      out.push_back (
        { box, scope, label, parts[2], buttons[0], buttons[1], buttons[2], buttons[3] });
    }
  return out;
}

const char *
icon_of (GtkWidget *button)
{
  const char *name = nullptr;
  gtk_image_get_icon_name (GTK_IMAGE (gtk_button_get_image (GTK_BUTTON (button))), &name, nullptr);
  return name;
}

void
press (GtkWidget *button)
{
  GtkAllocation a;
  gtk_widget_get_allocation (button, &a);
  click (button, a.width / 2.0, a.height / 2.0);
  pump (30);
}

GtkWidget *
find_selector ()
{
  GtkWidget *found = nullptr;
  GList *tops = gtk_window_list_toplevels ();
  for (GList *l = tops; l; l = l->next)
    if (ZELM_IS_TAP_SELECTOR (l->data) && gtk_widget_get_visible (GTK_WIDGET (l->data)))
      found = GTK_WIDGET (l->data);
  g_list_free (tops);
  return found;
}

/* A listed tap as the dialog shows it. */
struct Listed {
  int id;
  std::string node, wave, attrib;
  int channel;
  bool operator== (const Listed &o) const
  {
    return id == o.id && node == o.node && wave == o.wave && attrib == o.attrib
           && channel == o.channel;
  }
};

std::ostream &
operator<< (std::ostream &os, const Listed &l)
{
  return os << "{" << l.id << ", " << l.node << ", " << l.wave << ", " << l.attrib << ", "
            << l.channel << "}";
}

GtkTreeView *
selector_view (GtkWidget *selector)
{
  GtkWidget *content = gtk_dialog_get_content_area (GTK_DIALOG (selector));
  for (GtkWidget *w : children (content))
    if (GTK_IS_SCROLLED_WINDOW (w))
      return GTK_TREE_VIEW (gtk_bin_get_child (GTK_BIN (w)));
  return nullptr;
}

std::vector<Listed>
listed (GtkWidget *selector)
{
  GtkTreeModel *model = gtk_tree_view_get_model (selector_view (selector));
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
      out.push_back ({ id, node, wave, attrib, chan });
    }
  return out;
}

/* Clicks row @index of the dialog's list, then its button @label. */
void
choose (GtkWidget *selector, int index, const char *label)
{
  GtkTreeView *view = selector_view (selector);
  if (index >= 0)
    {
      g_autoptr (GtkTreePath) path = gtk_tree_path_new_from_indices (index, -1);
      GdkRectangle cell;
      gtk_tree_view_get_cell_area (view, path, gtk_tree_view_get_column (view, 1), &cell);
      int x = 0, y = 0;
      gtk_tree_view_convert_bin_window_to_widget_coords (view, cell.x + 4, cell.y + cell.height / 2,
                                                         &x, &y);
      click (GTK_WIDGET (view), x, y);
      pump (30);
    }
  const int response = g_str_equal (label, "OK") ? GTK_RESPONSE_OK : GTK_RESPONSE_CANCEL;
  GtkWidget *button = gtk_dialog_get_widget_for_response (GTK_DIALOG (selector), response);
  ASSERT_NE (button, nullptr);
  EXPECT_STREQ (gtk_button_get_label (GTK_BUTTON (button)), label);
  press (button);
}

/* ---- fixture ------------------------------------------------------------- */

/* A recorder on the "Scope" page's usual size, over a synthesizer whose
 * instrument has a tap right after its sine wave. */
class Recorder : public ::testing::Test {
protected:
  synth_test::Synth s;
  VornTap *voice_tap = nullptr;
  GtkWidget *rec = nullptr;
  GtkWidget *win = nullptr;
  int pauses_confirmed = 0;

  Recorder ()
  {
    use_dark_theme ();
    g_object_set (s.synth, "start-voice-notify", TRUE, nullptr);
    g_object_set (s.inst, "name", "Flute", nullptr);
    VornNode *wave = VORN_NODE (s.inst)->children;
    while (wave->next)
      wave = wave->next;
    g_object_set (wave, "name", "Sine", nullptr);
    voice_tap = vorn_tap_new (VORN_ATTRIB_TYPE_SIGNAL, 0);
    vorn_node_insert (VORN_NODE (s.inst), VORN_NODE (voice_tap), -1);
    vorn_synth_set_inst (s.synth, 0, s.inst);

    rec = zelm_tap_recorder_new (s.synth);
    win = show_in_window (rec, WIDTH, HEIGHT);
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
        if (msg->type == VORN_SYNTH_MSG_START_VOICE_NOTIFY && msg->target.queue)
          {
            zelm_tap_recorder_add_voice_queue (zr (), msg->target.queue);
            g_object_unref (msg->target.queue);
          }
        else if (msg->type == VORN_SYNTH_MSG_TAP_PAUSE)
          {
            zelm_tap_recorder_pause_completed (zr (), msg->target.pause != 0);
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
    pump (40);
  }
  GtkWidget *pause_button () { return children (children (rec)[0])[1]; }
  GtkWidget *add_button () { return children (children (rec)[0])[0]; }
  GtkWidget *scrollbar () { return children (rec)[2]; }
  GtkAdjustment *adjustment () { return gtk_range_get_adjustment (GTK_RANGE (scrollbar ())); }
  /* Binds row @index to the tap in the newest voice, as the dialog would. */
  void show_voice (int index, VornQueue *queue)
  {
    g_autoptr (VornTapGen) gen = vorn_synth_queue_get_tap (queue, VORN_NODE (voice_tap));
    ASSERT_NE (gen, nullptr);
    zelm_tap_recorder_set_scope_tap (zr (), index, queue, gen, 0);
  }
  bool paused_shown ()
  {
    return g_strcmp0 (icon_of (pause_button ()), "media-playback-start") == 0
           && gtk_widget_get_sensitive (scrollbar ());
  }
};

/* ---- tests --------------------------------------------------------------- */

/* The two default rows show the master output's two channels: a note's
 * trace repeats every sample rate / frequency pixels at x-zoom 1. */
TEST_F (Recorder, MasterRowsDrawTheNotesPeriod)
{
  auto r = rows (rec);
  ASSERT_EQ (r.size (), 2u);
  EXPECT_STREQ (gtk_label_get_text (GTK_LABEL (r[0].label)), "Main · speakers · channel 0");
  EXPECT_STREQ (gtk_label_get_text (GTK_LABEL (r[1].label)), "Main · speakers · channel 1");

  for (guint8 note : { 57, 69, 76 })
    {
      SCOPED_TRACE (int (note));
      const guint voice = s.note_on (note);
      tick (9600);
      const double expected = synth_test::RATE / vorn_util_midi_note_freq (note);
      if (note == 69)
        shot (win, "scope-note.png");
      for (const Row &row : r)
        {
          auto crossings = rising_crossings (trace (row.scope));
          ASSERT_GE (crossings.size (), 3u);
          EXPECT_NEAR (mean_period (crossings), expected, 0.5);
        }
      vorn_synth_stop_voice (s.synth, voice, 0);
      tick (48000);
    }
}

/* Samples sit one per pixel from the valid range's start; outside it the
 * no-data colour, inside the background with the grey zero line. */
TEST (WaveScope, LengthAndDrawingRules)
{
  GtkWidget *scope = zelm_wave_scope_new ();
  GtkWidget *win = show_in_window (scope, 801, 101);
  auto *ws = ZELM_WAVE_SCOPE (scope);
  EXPECT_EQ (ws->len, 802);

  static const struct {
    double x_zoom, stored;
    int len;
  } zooms[] = { { 0.5, 1.0, 802 }, { 2.0, 2.0, 402 }, { 1.0, 1.0, 802 } };
  for (const auto &z : zooms)
    {
      g_object_set (scope, "x-zoom", z.x_zoom, nullptr);
      double stored = 0;
      g_object_get (scope, "x-zoom", &stored, nullptr);
      EXPECT_EQ (stored, z.stored) << z.x_zoom;
      EXPECT_EQ (ws->len, z.len) << z.x_zoom;
    }

  /* A constant 0.8 at y-zoom 0.5: 0.8 * 50 * 0.5 = 20 pixels above the
   * middle row 50. */
  static const struct {
    int count, offset;
    double x_zoom;
    int left, right; /* drawn columns */
  } cases[] = {
    { 0, 0, 1.0, 0, 0 },       { 802, 0, 1.0, 0, 801 },  { 200, 100, 1.0, 100, 300 },
    { 300, 600, 1.0, 600, 801 }, { 100, 50, 2.0, 25, 75 },
  };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (testing::Message () << c.count << " at " << c.offset << " x" << c.x_zoom);
      g_object_set (scope, "x-zoom", c.x_zoom, nullptr);
      int len = 0;
      double *buf = zelm_wave_scope_get_buffer (ws, &len);
      ASSERT_EQ (len, ws->len);
      for (int i = 0; i < len; i++)
        buf[i] = 0.8;
      zelm_wave_scope_update (ws, c.count, c.offset);
      pump (40);
      GdkPixbuf *pb = grab (scope);
      for (int x = 0; x < 801; x++)
        {
          const bool drawn = x >= c.left && x < c.right;
          const Rgb top = pixel (pb, x, 5);
          ASSERT_EQ (top, drawn ? BG : NO_DATA) << "column " << x;
          if (drawn && x > c.left + 2 && x < c.right - 2)
            {
              ASSERT_EQ (pixel (pb, x, 50), LINE) << "zero line, column " << x;
              const Rgb t = pixel (pb, x, 30);
              ASSERT_TRUE (t.g > 150 && t.r < 20) << "trace, column " << x;
            }
        }
      g_object_unref (pb);
    }

  /* A shorter buffer request cuts what was valid. */
  gtk_widget_set_size_request (scope, 401, 101);
  pump (60);
  int len = 0;
  zelm_wave_scope_get_buffer (ws, &len);
  EXPECT_EQ (len, 402);
  gtk_widget_destroy (win);
}

/* A voice whose instrument records its wave is listed under its id with the
 * instrument, wave and attribute; choosing it binds the row, whose trace
 * then has the note's period. */
TEST_F (Recorder, SelectorListsAndBindsAVoiceTap)
{
  const guint voice = s.note_on (69);
  tick (9600);
  auto r = rows (rec);

  /* The dialog preselects what the row shows. */
  press (r[1].find);
  GtkWidget *sel = nullptr;
  ASSERT_TRUE (wait_for ([&] { return (sel = find_selector ()) != nullptr; }));
  EXPECT_STREQ (gtk_window_get_title (GTK_WINDOW (sel)), "Select tap recorder");
  EXPECT_TRUE (gtk_window_get_modal (GTK_WINDOW (sel)));
  const std::vector<Listed> expected = {
    { 0, "Main", "", "speakers", 0 },
    { 0, "Main", "", "speakers", 1 },
    { int (voice), "Flute", "Sine", "signal", 0 },
  };
  EXPECT_EQ (listed (sel), expected);
  std::vector<std::string> titles;
  GList *columns = gtk_tree_view_get_columns (selector_view (sel));
  for (GList *l = columns; l; l = l->next)
    titles.push_back (gtk_tree_view_column_get_title (GTK_TREE_VIEW_COLUMN (l->data)));
  g_list_free (columns);
  EXPECT_EQ (titles, (std::vector<std::string> { "ID", "Node", "Wave", "Attribute", "Channel" }));
  GtkTreePath *cursor = nullptr;
  gtk_tree_view_get_cursor (selector_view (sel), &cursor, nullptr);
  ASSERT_NE (cursor, nullptr);
  EXPECT_EQ (gtk_tree_path_get_indices (cursor)[0], 1);
  gtk_tree_path_free (cursor);
  shot (sel, "scope-selector.png");

  /* Cancel changes nothing. */
  choose (sel, 2, "Cancel");
  EXPECT_TRUE (wait_for ([] { return find_selector () == nullptr; }));
  EXPECT_STREQ (gtk_label_get_text (GTK_LABEL (r[1].label)), "Main · speakers · channel 1");

  press (r[1].find);
  ASSERT_TRUE (wait_for ([&] { return (sel = find_selector ()) != nullptr; }));
  choose (sel, 2, "OK");
  EXPECT_TRUE (wait_for ([] { return find_selector () == nullptr; }));
  g_autofree char *label = g_strdup_printf ("Voice %u  Flute · Sine · signal · channel 0", voice);
  EXPECT_STREQ (gtk_label_get_text (GTK_LABEL (r[1].label)), label);

  tick (4800);
  auto crossings = rising_crossings (trace (r[1].scope));
  ASSERT_GE (crossings.size (), 4u);
  EXPECT_NEAR (mean_period (crossings), synth_test::RATE / 440.0, 0.5);
  shot (win, "scope-voice.png");

  /* Reopened, the dialog points at the voice row. */
  press (r[1].find);
  ASSERT_TRUE (wait_for ([&] { return (sel = find_selector ()) != nullptr; }));
  gtk_tree_view_get_cursor (selector_view (sel), &cursor, nullptr);
  ASSERT_NE (cursor, nullptr);
  EXPECT_EQ (gtk_tree_path_get_indices (cursor)[0], 2);
  gtk_tree_path_free (cursor);
  choose (sel, -1, "Cancel");
}

/* The pause button only asks: the display keeps refreshing until the
 * synthesizer's confirmation comes back, and a second press before it
 * changes nothing.  Resuming works the same way. */
TEST_F (Recorder, PauseTakesEffectOnConfirmation)
{
  VornQueue *queue = nullptr;
  s.note_on (69, 0, &queue);
  tick (9600);
  show_voice (1, queue);
  g_object_unref (queue);
  Row voice_row = rows (rec)[1];
  tick (64);

  press (pause_button ());
  press (pause_button ());
  gboolean pause = FALSE;
  g_object_get (rec, "pause", &pause, nullptr);
  EXPECT_TRUE (pause);
  EXPECT_FALSE (paused_shown ());

  /* The voice's tap keeps recording; without confirmation its row moves. */
  std::vector<double> before = rising_crossings (trace (voice_row.scope));
  s.render (4000);
  zelm_tap_recorder_process (zr ());
  pump (40);
  std::vector<double> during = rising_crossings (trace (voice_row.scope));
  ASSERT_FALSE (before.empty () || during.empty ());
  EXPECT_GT (std::fabs (before[0] - during[0]), 3.0) << "refresh stopped before confirmation";
  EXPECT_FALSE (paused_shown ());

  deliver ();
  pump (40);
  EXPECT_EQ (pauses_confirmed, 1);
  EXPECT_TRUE (paused_shown ());
  const std::vector<double> frozen = rising_crossings (trace (voice_row.scope));
  ASSERT_FALSE (frozen.empty ());
  tick (4000);
  EXPECT_EQ (rising_crossings (trace (voice_row.scope)), frozen);

  /* Resume: frozen until confirmed, live after. */
  press (pause_button ());
  zelm_tap_recorder_process (zr ());
  pump (40);
  EXPECT_EQ (rising_crossings (trace (voice_row.scope)), frozen);
  EXPECT_TRUE (paused_shown ());
  tick (4000);
  EXPECT_FALSE (paused_shown ());
  EXPECT_EQ (icon_of (pause_button ()), std::string ("media-playback-pause"));
  tick (4000);
  const std::vector<double> live = rising_crossings (trace (voice_row.scope));
  ASSERT_FALSE (live.empty ());
  EXPECT_GT (std::fabs (live[0] - frozen[0]), 3.0) << "no refresh after resuming";
}

/* Paused, the scrollbar moves every row over the same window of sample
 * time: the master's output and the voice's wave cross zero at the same
 * columns, where the recorded samples say they should.  Before the voice
 * began its row is all no-data. */
TEST_F (Recorder, ScrollingBackKeepsRowsAligned)
{
  tick (9600); /* silence before the note */
  VornQueue *queue = nullptr;
  s.note_on (69, 0, &queue);
  const guint64 voice_start = 9600;
  tick (19200);
  show_voice (1, queue);
  g_object_unref (queue);
  auto r = rows (rec);

  press (pause_button ());
  tick (64);
  ASSERT_TRUE (paused_shown ());
  GtkAdjustment *adj = adjustment ();
  const int len = ZELM_WAVE_SCOPE (r[0].scope)->len;
  EXPECT_EQ (gtk_adjustment_get_page_size (adj), len);
  EXPECT_EQ (gtk_adjustment_get_upper (adj), 9600 + 19200 + 64);
  EXPECT_EQ (gtk_adjustment_get_value (adj), gtk_adjustment_get_upper (adj) - len);

  g_autoptr (VornTapGen) master = vorn_synth_get_master_tap (s.synth);
  std::vector<double> samples (static_cast<gsize> (len));
  GtkAllocation bar;
  gtk_widget_get_allocation (scrollbar (), &bar);
  for (double at : { 0.6, 0.45 })
    {
      SCOPED_TRACE (at);
      const double old_value = gtk_adjustment_get_value (adj);
      click (scrollbar (), bar.width * at, bar.height / 2.0);
      pump (60);
      const double value = gtk_adjustment_get_value (adj);
      ASSERT_NE (value, old_value) << "the scrollbar did not move";
      const guint64 pos = guint64 (value + 0.5); /* earliest is 0 */
      ASSERT_GT (pos, voice_start);

      const int n = vorn_tap_gen_read (master, samples.data (), len, 0, int (pos), nullptr);
      ASSERT_EQ (n, len);
      auto expected = rising_crossings_of (samples.data (), n, 0);
      auto master_x = rising_crossings (trace (r[0].scope));
      auto voice_x = rising_crossings (trace (r[1].scope));
      ASSERT_EQ (master_x.size (), expected.size ());
      ASSERT_EQ (voice_x.size (), expected.size ());
      for (gsize i = 0; i < expected.size (); i++)
        {
          EXPECT_NEAR (master_x[i], expected[i], 0.6) << i;
          EXPECT_NEAR (voice_x[i], expected[i], 0.6) << i;
        }
    }
  shot (win, "scope-paused-scrolled.png");

  /* A window across the voice's start: its row begins at that column. */
  const double upper = gtk_adjustment_get_upper (adj);
  click (scrollbar (), bar.width * double (voice_start) / upper, bar.height / 2.0);
  pump (60);
  const double value = gtk_adjustment_get_value (adj);
  ASSERT_TRUE (value > voice_start - len + 20.0 && value < voice_start - 20.0) << value;
  const int begins = int (voice_start - guint64 (value + 0.5));
  GdkPixbuf *across = grab (r[1].scope);
  const int bottom = gdk_pixbuf_get_height (across) - 3;
  EXPECT_EQ (pixel (across, begins - 1, bottom), NO_DATA) << begins;
  EXPECT_EQ (pixel (across, begins, bottom), BG) << begins;
  g_object_unref (across);

  /* Back before the note: silence in the master row, nothing yet for the
   * voice. */
  click (scrollbar (), 2, bar.height / 2.0);
  pump (60);
  ASSERT_LT (gtk_adjustment_get_value (adj) + len, double (voice_start));
  GdkPixbuf *pb = grab (r[1].scope);
  for (int x = 0; x < gdk_pixbuf_get_width (pb); x += 7)
    ASSERT_EQ (pixel (pb, x, gdk_pixbuf_get_height (pb) - 3), NO_DATA) << x;
  g_object_unref (pb);
  pb = grab (r[0].scope);
  EXPECT_EQ (pixel (pb, 400, gdk_pixbuf_get_height (pb) - 3), BG);
  g_object_unref (pb);
}

/* Captured voices are offered newest first; lowering "max-voices" and
 * capturing more keep only the newest. */
TEST_F (Recorder, MaxVoicesKeepsTheNewest)
{
  std::vector<int> ids;
  for (guint8 note = 60; note < 65; note++)
    {
      ids.insert (ids.begin (), int (s.note_on (note)));
      tick (640);
    }
  auto voice_ids = [&] {
    press (rows (rec)[0].find);
    GtkWidget *sel = nullptr;
    EXPECT_TRUE (wait_for ([&] { return (sel = find_selector ()) != nullptr; }));
    std::vector<int> out;
    for (const Listed &l : listed (sel))
      if (l.id)
        out.push_back (l.id);
    choose (sel, -1, "Cancel");
    wait_for ([] { return find_selector () == nullptr; });
    return out;
  };
  EXPECT_EQ (voice_ids (), ids);

  g_object_set (rec, "max-voices", 2, nullptr);
  EXPECT_EQ (voice_ids (), std::vector<int> (ids.begin (), ids.begin () + 2));
  const int newest = int (s.note_on (70));
  tick (640);
  EXPECT_EQ (voice_ids (), (std::vector<int> { newest, ids[0] }));

  /* Paused, new voices are not captured. */
  press (pause_button ());
  tick (64);
  ASSERT_TRUE (paused_shown ());
  s.note_on (72);
  tick (640);
  EXPECT_EQ (voice_ids (), (std::vector<int> { newest, ids[0] }));
}

/* A row showing a voice's tap moves on to the next voice of the same
 * instrument; rows of the master stay. */
TEST_F (Recorder, VoiceRowsFollowNewVoices)
{
  VornQueue *queue = nullptr;
  s.note_on (69, 0, &queue);
  tick (4800);
  show_voice (1, queue);
  g_object_unref (queue);
  const guint second = s.note_on (76);
  tick (4800);
  auto r = rows (rec);
  g_autofree char *label = g_strdup_printf ("Voice %u  Flute · Sine · signal · channel 0", second);
  EXPECT_STREQ (gtk_label_get_text (GTK_LABEL (r[1].label)), label);
  EXPECT_STREQ (gtk_label_get_text (GTK_LABEL (r[0].label)), "Main · speakers · channel 0");
  EXPECT_NEAR (mean_period (rising_crossings (trace (r[1].scope))),
               synth_test::RATE / vorn_util_midi_note_freq (76), 0.5);
}

/* The row buttons: add appends an unbound row, up and down reorder, delete
 * removes; the move buttons are off at the ends. */
TEST_F (Recorder, RowButtons)
{
  press (add_button ());
  auto labels = [&] {
    std::vector<std::string> out;
    for (const Row &row : rows (rec))
      out.push_back (gtk_label_get_text (GTK_LABEL (row.label)));
    return out;
  };
  const std::string ch0 = "Main · speakers · channel 0", ch1 = "Main · speakers · channel 1";
  EXPECT_EQ (labels (), (std::vector<std::string> { ch0, ch1, "No tap" }));
  auto r = rows (rec);
  EXPECT_FALSE (gtk_widget_get_sensitive (r[0].up));
  EXPECT_FALSE (gtk_widget_get_sensitive (r[2].down));
  EXPECT_TRUE (gtk_widget_get_sensitive (r[1].up) && gtk_widget_get_sensitive (r[1].down));

  press (r[2].up);
  EXPECT_EQ (labels (), (std::vector<std::string> { ch0, "No tap", ch1 }));
  press (rows (rec)[0].down);
  EXPECT_EQ (labels (), (std::vector<std::string> { "No tap", ch0, ch1 }));
  press (rows (rec)[2].del);
  EXPECT_EQ (labels (), (std::vector<std::string> { "No tap", ch0 }));

  /* The unbound row shows no data; the remaining ones stay live. */
  s.note_on (69);
  tick (9600);
  r = rows (rec);
  GdkPixbuf *pb = grab (r[0].scope);
  EXPECT_EQ (pixel (pb, 450, 100), NO_DATA);
  g_object_unref (pb);
  EXPECT_NEAR (mean_period (rising_crossings (trace (r[1].scope))), synth_test::RATE / 440.0, 0.5);

  zelm_tap_recorder_remove_scope (zr (), 5);
  EXPECT_EQ (rows (rec).size (), 2u);
}

/* A settings change that rebuilds the master hands the rows the new
 * master's tap: the trace keeps moving. */
TEST_F (Recorder, RowsFollowARebuiltMaster)
{
  s.note_on (69);
  tick (9600);
  g_object_set (s.synth, "cores", 2, nullptr);
  tick (4000);
  tick (9600);
  auto r = rows (rec);
  const std::vector<double> a = rising_crossings (trace (r[0].scope));
  tick (4000);
  const std::vector<double> b = rising_crossings (trace (r[0].scope));
  ASSERT_FALSE (a.empty () || b.empty ());
  EXPECT_GT (std::fabs (a[0] - b[0]), 3.0) << "the rows kept the old master's tap";
}

} // namespace

/* ---- in the main window -------------------------------------------------- */

/* As a user finds it: Toggle Recording on an instrument's oscillator, a
 * key played, and the Scope page's master rows show the note while the
 * selector offers the new voice's tap, which a row then shows. */
TEST (RecorderInWindow, ToggleRecordingAndANoteGiveAVoiceRow)
{
  g_autofree char *path = g_build_filename (scratch_dir ().c_str (), "scope.vvi", nullptr);
  {
    g_autoptr (VornFile) file = vorn_file_new ();
    g_autoptr (VornInst) inst = vorn_inst_new_default ();
    g_object_set (inst, "name", "Plain", nullptr);
    vorn_node_insert (VORN_NODE (file), VORN_NODE (inst), -1);
    ASSERT_TRUE (vorn_file_save (file, path, nullptr));
  }
  run_app ({ "--disable-audio", path }, [] (ZelmAppGui *app) {
    dismiss_splash (app);
    VornNode *osc = nullptr;
    for (GList *l = zelm_app_get_files_no_copy (ZELM_APP (app)); l; l = l->next)
      for (VornNode *inst = VORN_NODE (l->data)->children; inst; inst = inst->next)
        {
          g_autofree char *name = nullptr;
          g_object_get (inst, "name", &name, nullptr);
          for (VornNode *n = inst->children; n && g_strcmp0 (name, "Plain") == 0; n = n->next)
            if (VORN_IS_WAVE (n) && VORN_WAVE (n)->dest_attrib == VORN_ATTRIB_TYPE_SIGNAL)
              osc = n;
        }
    ASSERT_NE (osc, nullptr);
    click_tree_row (app, osc);
    chord ({ GDK_KEY_Control_L, GDK_KEY_t });
    pump (30);
    ASSERT_TRUE (osc->next && VORN_IS_TAP (osc->next)) << "Toggle Recording added a tap";

    GtkWidget *rec = find_child (widget (app, "CurveScopeNotebook"), ZELM_TYPE_TAP_RECORDER);
    GtkNotebook *notebook = GTK_NOTEBOOK (widget (app, "CurveScopeNotebook"));
    GtkWidget *tab = gtk_notebook_get_tab_label (notebook, rec);
    wait_drawn (tab);
    click (tab, 5, 5);
    ASSERT_TRUE (wait_for ([&] { return gtk_notebook_get_current_page (notebook) == 1; }));
    wait_drawn (rec);

    /* Upper manual's first key: note 60 while this thread renders. */
    g_autoptr (VornSynth) synth = zelm_app_get_synth (ZELM_APP (app));
    auto render = [&] (guint frames) {
      std::vector<float> out (frames * 2);
      vorn_synth_render_interleaved (synth, out.data (), frames);
      pump (120); /* the periodic task's refresh */
    };
    key_press (GDK_KEY_q);
    render (19200);
    const double period = synth_test::RATE / (440.0 * std::pow (2.0, -9.0 / 12.0));
    auto r = rows (rec);
    ASSERT_EQ (r.size (), 2u);
    for (const Row &row : r)
      EXPECT_NEAR (mean_period (rising_crossings (trace (row.scope))), period, 1.0);

    press (r[1].find);
    GtkWidget *sel = nullptr;
    ASSERT_TRUE (wait_for ([&] { return (sel = find_selector ()) != nullptr; }));
    auto taps = listed (sel);
    ASSERT_EQ (taps.size (), 3u);
    EXPECT_EQ (taps[2].node, "Plain");
    EXPECT_EQ (taps[2].attrib, "signal");
    choose (sel, 2, "OK");
    EXPECT_TRUE (wait_for ([] { return find_selector () == nullptr; }));
    render (9600);
    EXPECT_NEAR (mean_period (rising_crossings (trace (r[1].scope))), period, 1.0);
    key_release (GDK_KEY_q);
    render (4800);
  });
}
