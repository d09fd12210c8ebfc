/* test-piano.cpp: the on-screen piano, played with real pointer events and
 * heard through a synthesizer rendered on the test thread */
#include "test-synth-cpu.h"
#include "vorn-value.h"
#include "vorn-test-log.h"
#include "zelm-gui-test.h"
#include "zelm-piano.h"

#include <gtest/gtest.h>

using namespace zelm_test;

namespace {

constexpr int WIDTH = 900, HEIGHT = 120;
constexpr Rgb WHITE { 0xff, 0xff, 0xff }, WHITE_SEL { 0x30, 0x78, 0xff };
constexpr Rgb BLACK_TOP { 0x26, 0x26, 0x2e }, BLACK_TOP_SEL { 0x20, 0x4e, 0xa4 };
constexpr Rgb BG { 0, 0, 0 }, ZOOM { 0x2b, 0x54, 0x89 };

/* Where to aim at @note in a piano of the default range (five octaves from
 * MIDI octave 3) 900 pixels wide: an octave is 161.4 units plus a 1-unit gap. */
struct Point {
  double x, y;
};
Point
key_point (int note)
{
  static const double centres[12] = { 11.1, 20.3, 34.3, 48.3, 57.5, 80.7,
                                      88.7, 103.9, 115.5, 127.1, 142.3, 150.3 };
  static const bool black[12] = { 0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0 };
  const double unit = (WIDTH - 4) / (5 * 161.4 + 4);
  double x = 2 + ((note / 12 - 3) * 162.4 + centres[note % 12]) * unit;
  return { x, black[note % 12] ? 40.0 : HEIGHT - 15.0 };
}

struct Heard {
  guint voices;
  double freq;
};

class Piano : public ::testing::Test {
protected:
  synth_test::Synth s { VORN_FORMAT_SINGLE, 1 };
  GtkWidget *piano = zelm_piano_new (s.synth);
  GtkWidget *win = show_in_window (piano, WIDTH, HEIGHT);

  ~Piano () override { gtk_widget_destroy (win); }

  ZelmPiano *zp () { return ZELM_PIANO (piano); }

  /* Renders long enough for released voices to finish, then reports the
   * voices left and the pitch of the tail. */
  Heard listen ()
  {
    constexpr guint frames = 60000;
    auto left = synth_test::channel (s.render (frames), 0);
    s.drain ();
    return { s.active (), signal_test::frequency (left, synth_test::RATE, frames - 9600) };
  }
  void expect_playing (int note)
  {
    Heard h = listen ();
    EXPECT_EQ (h.voices, 1u) << "note " << note;
    EXPECT_NEAR (h.freq, vorn_util_midi_note_freq (guint8 (note)),
                 vorn_util_midi_note_freq (guint8 (note)) * 0.003)
      << "note " << note;
  }
  /* Motion events and repaints wait for the next frame. */
  void move (double x, double y)
  {
    pointer_move (piano, x, y);
    pump (40);
  }
  Rgb key_pixel (int note)
  {
    pump (40);
    Point p = key_point (note);
    GdkPixbuf *pb = grab (piano);
    Rgb c = pixel (pb, int (p.x), int (p.y));
    g_object_unref (pb);
    return c;
  }
  void set_range (int start, int count)
  {
    g_object_set (piano, "octave-start", start, "octave-count", count, nullptr);
    pump (30);
  }
  int range (const char *prop)
  {
    int v;
    g_object_get (piano, prop, &v, nullptr);
    return v;
  }
};

TEST_F (Piano, ClickPlaysTheKeyUnderThePointerAndReleaseStopsIt)
{
  struct {
    int note, channel;
    bool sounds; /* channel 1 has no instrument */
  } cases[] = {
    { 36, 0, true }, { 37, 0, true }, { 59, 0, true }, { 61, 0, true },
    { 70, 0, true }, { 95, 0, true }, { 64, 1, false },
  };
  for (auto c : cases)
    {
      g_object_set (piano, "channel", c.channel, nullptr);
      Point p = key_point (c.note);
      pointer_move (piano, p.x, p.y);
      button_press ();
      if (c.sounds)
        expect_playing (c.note);
      else
        EXPECT_EQ (listen ().voices, 0u);
      bool white = vorn_util_midi_note_is_white (guint8 (c.note));
      EXPECT_EQ (key_pixel (c.note), white ? WHITE_SEL : BLACK_TOP_SEL) << "note " << c.note;
      button_release ();
      EXPECT_EQ (listen ().voices, 0u) << "note " << c.note;
      EXPECT_EQ (key_pixel (c.note), white ? WHITE : BLACK_TOP) << "note " << c.note;
    }
}

TEST_F (Piano, SweepHandsTheNoteOnFromKeyToKey)
{
  Point c4 = key_point (60);
  pointer_move (piano, c4.x, c4.y);
  button_press ();
  expect_playing (60);

  struct {
    double x, y;
    int note;
  } path[] = {
    { key_point (62).x, c4.y, 62 },
    { key_point (64).x, c4.y, 64 },
    { key_point (64).x + 3, c4.y, 64 },         /* same key: the voice goes on */
    { key_point (66).x, HEIGHT + 30.0, 66 },    /* below the widget: black band */
    { key_point (61).x, -8.0, 61 },             /* over the top strip: black band */
    { key_point (59).x, key_point (59).y, 59 }, /* back into the widget */
    { -40, c4.y, 59 },                          /* left of every key: nothing new */
  };
  for (auto step : path)
    {
      move (step.x, step.y);
      expect_playing (step.note);
    }
  button_release ();
  EXPECT_EQ (listen ().voices, 0u);
  EXPECT_EQ (key_pixel (59), WHITE);
}

TEST_F (Piano, KeyStaysLitUntilEverySourceHasReleasedIt)
{
  Point c4 = key_point (60);
  pointer_move (piano, c4.x, c4.y);
  button_press ();
  zelm_piano_note_on (zp (), 9, 38, 0, 60); /* the computer keyboard, same note */
  zelm_piano_note_on (zp (), 9, 39, 2, 70);
  EXPECT_EQ (key_pixel (60), WHITE_SEL);
  EXPECT_EQ (key_pixel (70), BLACK_TOP_SEL);
  if (const char *dir = g_getenv ("ZELM_TEST_SHOTS"))
    save_png (piano, (std::string (dir) + "/piano.png").c_str ());

  button_release ();
  EXPECT_EQ (listen ().voices, 0u);
  EXPECT_EQ (key_pixel (60), WHITE_SEL) << "the keyboard still holds it";

  zelm_piano_note_off (zp (), 9, 40, 0, 60); /* another key of that source */
  zelm_piano_note_off (zp (), 9, 38, 1, 60); /* another channel */
  EXPECT_EQ (key_pixel (60), WHITE_SEL);
  zelm_piano_note_off (zp (), 9, 38, 0, 60);
  EXPECT_EQ (key_pixel (60), WHITE);
  EXPECT_EQ (key_pixel (70), BLACK_TOP_SEL);

  zelm_piano_all_notes_off (zp ());
  EXPECT_EQ (key_pixel (70), BLACK_TOP);
}

TEST (PianoAlone, NotesHeldBeforeItIsShownAppearWhenItIs)
{
  GtkWidget *piano = zelm_piano_new (nullptr);
  zelm_piano_note_on (ZELM_PIANO (piano), 1, 0, 0, 60);
  zelm_piano_note_on (ZELM_PIANO (piano), 1, 0, 0, 62);
  zelm_piano_note_off (ZELM_PIANO (piano), 1, 0, 0, 62);
  GtkWidget *win = show_in_window (piano, WIDTH, HEIGHT);
  GdkPixbuf *pb = grab (piano);
  EXPECT_EQ (pixel (pb, int (key_point (60).x), int (key_point (60).y)), WHITE_SEL);
  EXPECT_EQ (pixel (pb, int (key_point (62).x), int (key_point (62).y)), WHITE);
  g_object_unref (pb);
  gtk_widget_destroy (win);
}

TEST_F (Piano, HitTesting)
{
  /* Pixels per unit of the default range and of octaves 9 to 11. */
  const double u = (WIDTH - 4) / 811.0, c4 = 2 + 2 * 162.4 * u, u3 = (WIDTH - 4) / 486.2;
  struct {
    int start, count;
    double x, y;
    int note;
  } cases[] = {
    { 3, 5, 0.5, 100, -1 },                   /* left of the first key */
    { 3, 5, 2.0, 100, 36 },
    { 3, 5, WIDTH - 3.0, 100, 95 },
    { 3, 5, WIDTH - 1.0, 100, -1 },           /* right of the last key */
    { 3, 5, c4 + 14.0 * u, 30, 61 },          /* C#, half a gap left of its body */
    { 3, 5, c4 + 13.8 * u, 30, 60 },
    { 3, 5, c4 + 26.6 * u, 30, 61 },          /* C#, half a gap right of its body */
    { 3, 5, c4 + 26.8 * u, 30, 62 },          /* between C# and D#: the white D */
    { 3, 5, c4 + 20.0 * u, 82, 60 },          /* below the black keys */
    { 3, 5, c4 + 68.5 * u, 30, 64 },          /* E|F, where no black key is */
    { 3, 5, c4 + 69.5 * u, 30, 65 },
    { 9, 2, WIDTH - 3.0, 100, 127 },          /* the top G fills the width */
    { 9, 2, WIDTH - 3.0, 30, 127 },           /* where G# would be */
    { 9, 3, 2 + (162.4 + 127.1) * u3, 100, -1 }, /* A of octave 10 */
    { 9, 3, WIDTH - 10.0, 100, -1 },          /* octave 11 */
    { 11, 5, WIDTH / 2.0, 100, -1 },
    { 10, 1, 4.0, 100, 120 },
  };
  for (auto c : cases)
    {
      set_range (c.start, c.count);
      EXPECT_EQ (zelm_piano_get_note_at (zp (), c.x, c.y), c.note)
        << c.start << "+" << c.count << " at " << c.x << "," << c.y;
    }
}

TEST_F (Piano, VisibleRangeFillsTheWidth)
{
  /* Is any pixel of a row of white keys' height white, near the right edge
   * and around the middle? */
  struct {
    int start, count;
    bool right, middle;
  } cases[] = {
    { 9, 2, true, true },   /* ends on note 127: the layout drops A and B */
    { 9, 3, false, true },  /* octave 11 is laid out but empty */
    { 11, 5, false, false }, /* nothing at all */
  };
  auto any_white = [] (GdkPixbuf *pb, int x0, int x1) {
    for (int x = x0; x < x1; x++)
      if (pixel (pb, x, HEIGHT - 8) == WHITE)
        return true;
    return false;
  };
  for (auto c : cases)
    {
      set_range (c.start, c.count);
      GdkPixbuf *pb = grab (piano);
      EXPECT_EQ (any_white (pb, WIDTH - 12, WIDTH), c.right) << c.start << "+" << c.count;
      EXPECT_EQ (any_white (pb, WIDTH / 2 - 20, WIDTH / 2 + 20), c.middle)
        << c.start << "+" << c.count;
      g_object_unref (pb);
    }
}

TEST_F (Piano, DraggingTheZoomBarEdgesChangesTheRange)
{
  auto edge = [] (int octave) { return octave * double (WIDTH) / 11; };
  struct {
    int start0, count0;
    double from, to;
    int start, count;
  } drags[] = {
    { 3, 5, edge (3) + 10, edge (1) + 10, 1, 7 },  /* left edge out */
    { 1, 7, edge (8) - 10, edge (10) - 20, 1, 9 }, /* right edge out */
    { 1, 9, edge (1) + 20, edge (9) + 10, 9, 1 },  /* left edge up to the right one */
    { 9, 1, edge (10) + 30, edge (5), 9, 1 },      /* the right edge cannot cross it */
    { 3, 5, WIDTH / 2.0, edge (10), 3, 7 },        /* halfway: the right edge */
  };
  for (auto d : drags)
    {
      set_range (d.start0, d.count0);
      pointer_move (piano, d.from, 8);
      button_press ();
      pointer_move (piano, d.to, 8);
      button_release ();
      pointer_move (piano, WIDTH / 2.0, 8); /* released: no longer dragging */
      EXPECT_EQ (range ("octave-start"), d.start) << d.from << "->" << d.to;
      EXPECT_EQ (range ("octave-count"), d.count) << d.from << "->" << d.to;
      pump (30);
      GdkPixbuf *pb = grab (piano);
      EXPECT_EQ (pixel (pb, int (edge (d.start)) - 3, 8), BG);
      EXPECT_EQ (pixel (pb, int (edge (d.start)) + 3, 8), ZOOM);
      EXPECT_EQ (pixel (pb, int (edge (d.start + d.count)) - 3, 8), ZOOM);
      if (d.start + d.count < 11)
        {
          EXPECT_EQ (pixel (pb, int (edge (d.start + d.count)) + 3, 8), BG);
        }
      g_object_unref (pb);
      EXPECT_EQ (zelm_piano_get_note_at (zp (), 3, 100), d.start * 12);
    }
}

TEST_F (Piano, ScrollingZoomsAndShifts)
{
  struct {
    int start, count;
    GdkScrollDirection dir;
    bool shift;
    int new_start, new_count;
  } cases[] = {
    { 3, 5, GDK_SCROLL_UP, false, 3, 4 },    { 3, 2, GDK_SCROLL_UP, false, 3, 2 },
    { 3, 5, GDK_SCROLL_DOWN, false, 3, 6 },  { 6, 5, GDK_SCROLL_DOWN, false, 5, 6 },
    { 0, 11, GDK_SCROLL_DOWN, false, 0, 11 }, { 3, 5, GDK_SCROLL_LEFT, false, 2, 5 },
    { 0, 5, GDK_SCROLL_LEFT, false, 0, 5 },  { 3, 5, GDK_SCROLL_UP, true, 2, 5 },
    { 5, 5, GDK_SCROLL_RIGHT, false, 6, 5 }, { 6, 5, GDK_SCROLL_RIGHT, false, 6, 5 },
    { 5, 5, GDK_SCROLL_DOWN, true, 6, 5 },   { 6, 5, GDK_SCROLL_DOWN, true, 6, 5 },
  };
  for (auto c : cases)
    {
      set_range (c.start, c.count);
      if (c.shift)
        key_press (GDK_KEY_Shift_L);
      scroll (piano, WIDTH / 2.0, 60, c.dir);
      if (c.shift)
        key_release (GDK_KEY_Shift_L);
      EXPECT_EQ (range ("octave-start"), c.new_start)
        << c.start << "+" << c.count << " dir " << c.dir << " shift " << c.shift;
      EXPECT_EQ (range ("octave-count"), c.new_count)
        << c.start << "+" << c.count << " dir " << c.dir << " shift " << c.shift;
    }
}

TEST_F (Piano, RangeIsClampedAndNotifiedOnlyOnChange)
{
  int notified = 0;
  gulong id = g_signal_connect_swapped (piano, "notify", G_CALLBACK (+[] (int *n) { ++*n; }),
                                        &notified);
  struct {
    const char *prop;
    int value, stored, notifies;
  } cases[] = {
    { "octave-start", 15, 11, 1 }, { "octave-start", 11, 11, 0 }, { "octave-start", -3, 0, 1 },
    { "octave-count", 0, 1, 1 },   { "octave-count", 40, 11, 1 }, { "octave-count", 11, 11, 0 },
  };
  for (auto c : cases)
    {
      notified = 0;
      g_object_set (piano, c.prop, c.value, nullptr);
      EXPECT_EQ (range (c.prop), c.stored) << c.prop << " " << c.value;
      EXPECT_EQ (notified, c.notifies) << c.prop << " " << c.value;
    }
  g_signal_handler_disconnect (piano, id);
}

} // namespace
