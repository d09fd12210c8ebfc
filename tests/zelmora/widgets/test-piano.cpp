/* test-piano.cpp: the on-screen piano's note mapping and visible range, its
 * keys as drawn, and notes played with real pointer events and heard through
 * a synthesizer rendered on the test thread */
#include "test-synth-cpu.h"
#include "vorn-value.h"
#include "vorn-test-log.h"
#include "zelm-gui-test.h"
#include "zelm-piano.h"

#include <gtest/gtest.h>

using namespace zelm_test;

namespace {

constexpr int WIDTH = 900, HEIGHT = 120;
constexpr Rgb BLACK_TOP { 0x26, 0x26, 0x2e }, BLACK_TOP_SEL { 0x20, 0x4e, 0xa4 };
constexpr Rgb BG { 0, 0, 0 }, ZOOM { 0x2b, 0x54, 0x89 };

/* ---- the visible range ----------------------------------------------------- */

TEST (PianoRange, WheelAndZoomBar)
{
  static const struct {
    int start, count;
    GdkScrollDirection dir;
    bool shift;
    int new_start, new_count;
  } wheel[] = {
    { 3, 5, GDK_SCROLL_UP, false, 3, 4 },     { 3, 2, GDK_SCROLL_UP, false, 3, 2 },
    { 3, 5, GDK_SCROLL_DOWN, false, 3, 6 },   { 6, 5, GDK_SCROLL_DOWN, false, 5, 6 },
    { 0, 11, GDK_SCROLL_DOWN, false, 0, 11 }, { 3, 5, GDK_SCROLL_LEFT, false, 2, 5 },
    { 0, 5, GDK_SCROLL_LEFT, false, 0, 5 },   { 3, 5, GDK_SCROLL_UP, true, 2, 5 },
    { 5, 5, GDK_SCROLL_RIGHT, false, 6, 5 },  { 6, 5, GDK_SCROLL_RIGHT, false, 6, 5 },
    { 5, 5, GDK_SCROLL_DOWN, true, 6, 5 },
  };
  for (const auto &c : wheel)
    {
      int s = c.start, n = c.count;
      zelm_piano_range_scroll (&s, &n, c.dir, c.shift);
      EXPECT_EQ (std::make_pair (s, n), std::make_pair (c.new_start, c.new_count))
        << c.start << "+" << c.count << " dir " << c.dir << " shift " << c.shift;
    }

  static const struct {
    int start, count, edge, pos, new_start, new_count;
  } drags[] = {
    { 3, 5, 1, 1, 1, 7 },   /* left edge out */
    { 1, 7, 2, 10, 1, 9 },  /* right edge out */
    { 1, 9, 1, 9, 9, 1 },   /* left edge up to the right one */
    { 9, 1, 1, 10, 9, 1 },  /* ... but not across it */
    { 9, 1, 2, 5, 9, 1 },   /* the right edge cannot cross the left */
    { 3, 5, 2, 14, 3, 8 },  /* clamped to the last boundary */
    { 3, 5, 1, -2, 0, 8 },
  };
  for (const auto &d : drags)
    {
      int s = d.start, n = d.count;
      zelm_piano_range_drag (&s, &n, d.edge, d.pos);
      EXPECT_EQ (std::make_pair (s, n), std::make_pair (d.new_start, d.new_count))
        << d.start << "+" << d.count << " edge " << d.edge << " to " << d.pos;
    }
}

/* ---- the widget ------------------------------------------------------------ */

struct Point {
  double x, y;
};

class Piano : public ::testing::Test {
protected:
  synth_test::Synth s { VORN_FORMAT_SINGLE, 1 };
  GtkWidget *piano = zelm_piano_new (s.synth);
  GtkWidget *win = show_in_window (piano, WIDTH, HEIGHT);

  ~Piano () override { gtk_widget_destroy (win); }

  ZelmPiano *zp () { return ZELM_PIANO (piano); }

  /* Where to aim at @note: the middle of the key as hit-tested along a row
   * through the black keys or below them (where keys lie: HitTesting). */
  Point key_point (int note)
  {
    static const bool black[12] = { 0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0 };
    const double y = black[note % 12] ? 40.0 : HEIGHT - 15.0;
    int first = -1, last = -1;
    for (int x = 0; x < WIDTH; x++)
      if (zelm_piano_get_note_at (zp (), x, y) == note)
        last = x, first = first < 0 ? x : first;
    return { (first + last) / 2.0, y };
  }
  Rgb key_pixel (int note)
  {
    g_autoptr (GdkPixbuf) pb = grab_drawn (piano);
    return pixel (pb, int (key_point (note).x), int (key_point (note).y));
  }

  /* Renders long enough for released voices to finish, then returns the
   * voices left; @note, when given, must be the pitch of the tail. */
  guint voices (int note = -1)
  {
    constexpr guint frames = 60000;
    auto left = synth_test::channel (s.render (frames), 0);
    s.drain ();
    if (note >= 0)
      {
        const double f = vorn_util_midi_note_freq (guint8 (note));
        EXPECT_NEAR (signal_test::frequency (left, synth_test::RATE, frames - 9600), f, f * 0.003)
          << "note " << note;
      }
    return s.active ();
  }
  int range (const char *prop)
  {
    int v;
    g_object_get (piano, prop, &v, nullptr);
    return v;
  }
};

TEST_F (Piano, HitTesting)
{
  /* Pixels per unit of the default range and of octaves 9 to 11. */
  const double u = (WIDTH - 4) / 811.0, c4 = 2 + 2 * 162.4 * u, u3 = (WIDTH - 4) / 486.2;
  static const struct {
    int start, count;
    double x, y;
    int note;
  } cases[] = {
    { 3, 5, 0.5, 100, -1 }, /* left of the first key */
    { 3, 5, 2.0, 100, 36 },
    { 3, 5, WIDTH - 3.0, 100, 95 },
    { 3, 5, WIDTH - 1.0, 100, -1 },              /* right of the last key */
    { 3, 5, c4 + 14.0 * u, 30, 61 },             /* C#, half a gap left of its body */
    { 3, 5, c4 + 13.8 * u, 30, 60 },
    { 3, 5, c4 + 26.6 * u, 30, 61 },             /* C#, half a gap right of its body */
    { 3, 5, c4 + 26.8 * u, 30, 62 },             /* between C# and D#: the white D */
    { 3, 5, c4 + 20.0 * u, 82, 60 },             /* below the black keys */
    { 3, 5, c4 + 68.5 * u, 30, 64 },             /* E|F, where no black key is */
    { 3, 5, c4 + 69.5 * u, 30, 65 },
    { 9, 2, WIDTH - 3.0, 100, 127 },             /* the top G fills the width */
    { 9, 2, WIDTH - 3.0, 30, 127 },              /* where G# would be */
    { 9, 3, 2 + (162.4 + 127.1) * u3, 100, -1 }, /* A of octave 10 */
    { 9, 3, WIDTH - 10.0, 100, -1 },             /* octave 11 */
    { 10, 1, 4.0, 100, 120 },
  };
  for (const auto &c : cases)
    {
      g_object_set (piano, "octave-start", c.start, "octave-count", c.count, nullptr);
      EXPECT_EQ (zelm_piano_get_note_at (zp (), c.x, c.y), c.note)
        << c.start << "+" << c.count << " at " << c.x << "," << c.y;
    }
}

/* A press plays the key under the pointer and draws it lit until the
 * release stops it (what stays lit: the model's rules; a lit white key: the
 * window's keyboard test); channel 1 has no instrument.  A sweep hands the
 * note on from key to key, off the top or bottom edge along the black keys. */
TEST_F (Piano, PointerPlaysSweepsAndReleases)
{
  for (int channel : { 0, 1 })
    {
      g_object_set (piano, "channel", channel, nullptr);
      pointer_move (piano, key_point (61).x, key_point (61).y);
      button_press ();
      EXPECT_TRUE (wait_for ([&] { return key_pixel (61) == BLACK_TOP_SEL; })) << channel;
      EXPECT_EQ (voices (channel ? -1 : 61), channel ? 0u : 1u) << channel;
      button_release ();
      EXPECT_TRUE (wait_for ([&] { return voices () == 0 && key_pixel (61) == BLACK_TOP; }));
    }
  g_object_set (piano, "channel", 0, nullptr);

  const double y = key_point (60).y;
  pointer_move (piano, key_point (60).x, y);
  button_press ();
  const struct {
    double x, y;
    int note;
  } path[] = {
    { key_point (62).x, y, 62 },
    { key_point (66).x, HEIGHT + 30.0, 66 },   /* below the widget: black band */
    { key_point (61).x, -8.0, 61 },            /* over the top strip: black band */
    { key_point (59).x, key_point (59).y, 59 }, /* back into the widget */
    { -40, y, 59 },                            /* left of every key: nothing new */
  };
  for (const auto &step : path)
    {
      EXPECT_TRUE (motion_to (piano, step.x, step.y));
      EXPECT_EQ (voices (step.note), 1u) << step.note;
    }
  button_release ();
  EXPECT_EQ (voices (), 0u);
}

/* The range is clamped to octaves 0 to 11 and notified only on change; the
 * zoom bar's edges and the wheel reach the range arithmetic above, and the
 * bar is drawn over the visible octaves. */
TEST_F (Piano, RangeFromPointerAndWheelAndItsDrawing)
{
  int notified = 0;
  g_signal_connect_swapped (piano, "notify", G_CALLBACK (+[] (int *n) { ++*n; }), &notified);
  g_object_set (piano, "octave-start", 15, "octave-count", 0, nullptr);
  EXPECT_EQ (std::make_pair (range ("octave-start"), range ("octave-count")), std::make_pair (11, 1));
  g_object_set (piano, "octave-start", 11, "octave-count", 1, nullptr);
  g_object_set (piano, "octave-start", -3, "octave-count", 40, nullptr);
  EXPECT_EQ (std::make_pair (range ("octave-start"), range ("octave-count")), std::make_pair (0, 11));
  EXPECT_EQ (notified, 4) << "a value that did not change was notified";
  g_signal_handlers_disconnect_by_data (piano, &notified);

  auto edge = [] (int octave) { return octave * double (WIDTH) / 11; };
  g_object_set (piano, "octave-start", 3, "octave-count", 5, nullptr);
  pointer_move (piano, edge (3) + 10, 8); /* nearer the left edge */
  button_press ();
  pointer_move (piano, edge (1) + 10, 8);
  button_release ();
  pointer_move (piano, WIDTH / 2.0, 8); /* released: no longer dragging */
  EXPECT_TRUE (wait_for ([&] { return range ("octave-start") == 1; }));
  EXPECT_EQ (range ("octave-count"), 7);
  g_autoptr (GdkPixbuf) pb = grab_drawn (piano);
  EXPECT_EQ (pixel (pb, int (edge (1)) - 3, 8), BG);
  EXPECT_EQ (pixel (pb, int (edge (8)) - 3, 8), ZOOM);

  scroll (piano, WIDTH / 2.0, 60, GDK_SCROLL_UP);
  EXPECT_TRUE (wait_for ([&] { return range ("octave-count") == 6; }));
}

} // namespace
