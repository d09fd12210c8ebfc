/* test-level-meter.cpp: the level meter's bars, zones, labels and peak hold,
 * read back from the X server */
#include "zelm-gui-test.h"
#include "zelm-level-meter.h"

#include "vorn-test-log.h"

using namespace zelm_test;

namespace {

/* 10 pixels per dB: -50 dB at x = 0, -20 dB at 300, -6 dB at 440, 0 dB at 500. */
constexpr int WIDTH = 560, BAR_Y[2] = { 3, 12 }; /* middle rows of the 7-pixel bars */
constexpr float DB_6 = 0.50118723f, DB_20 = 0.1f;  /* -6 dB, -20 dB */

bool
lit (GdkPixbuf *pb, int x, int y)
{
  Rgb p = pixel (pb, x, y);
  return p.r >= 128 || p.g >= 128 || p.b >= 128;
}

class LevelMeter : public ::testing::Test {
protected:
  void SetUp () override { win = show_in_window (GTK_WIDGET (meter), WIDTH, 32); }
  void TearDown () override { gtk_widget_destroy (win); }

  /* Sets both channels and returns the meter's pixels once redrawn (unref). */
  GdkPixbuf *show (float c0, float c1)
  {
    const float levels[2] = { c0, c1 };
    zelm_level_meter_set_values (meter, levels);
    return grab_drawn (GTK_WIDGET (meter));
  }

  ZelmLevelMeter *meter = ZELM_LEVEL_METER (zelm_level_meter_new ());
  GtkWidget *win = nullptr;
};

/* Bars end where their level lies on the dB scale; their colours change at
 * -6 dB and 0 dB; the labels sit under their marks. */
TEST_F (LevelMeter, BarsZonesAndLabels)
{
  /* A peak held beyond full scale keeps the markers at the right edge, out of
   * the way of the bars' ends. */
  g_object_set (meter, "hold-delay", 10.0f, nullptr);
  g_autoptr (GdkPixbuf) full = show (4.0f, 4.0f);
  static const struct {
    float level[2];
    int end[2];
  } bars[] = {
    { { 0.0f, 1e-6f }, { 0, 4 } }, /* nothing; a tiny level still shows */
    { { DB_6, 1.0f }, { 440, 500 } },
    { { 2.5f, DB_20 }, { WIDTH, 300 } }, /* above +6 dB fills */
  };
  for (const auto &tc : bars)
    {
      g_autoptr (GdkPixbuf) pb = show (tc.level[0], tc.level[1]);
      for (int c = 0; c < 2; c++)
        {
          int end = 0;
          while (end < WIDTH && lit (pb, end, BAR_Y[c]))
            end++;
          EXPECT_EQ (end, tc.end[c]) << "channel " << c << " level " << tc.level[c];
        }
    }

  /* Rectangles of the full-scale bars that must (or must not) hold a colour. */
  static const struct {
    int x0, x1, y0, y1;
    Rgb colour;
    bool present;
  } cases[] = {
    { 437, 438, 3, 4, { 0, 255, 0 }, true },               /* green up to -6 dB */
    { 441, 442, 12, 13, { 255, 255, 0 }, true },           /* yellow from -6 dB ... */
    { 497, 498, 3, 4, { 255, 255, 0 }, true },             /* ... to 0 dB */
    { 501, 502, 12, 13, { 255, 0, 0 }, true },             /* red above */
    { 200, 201, 8, 9, { 0, 0, 0 }, true },                 /* gap between the bars */
    { 0, 12, 16, 32, { 255, 255, 255 }, true },            /* "-50" from the left edge */
    { 436, 444, 16, 32, { 255, 255, 255 }, true },         /* "-6" */
    { 497, 503, 16, 32, { 255, 255, 255 }, true },         /* "0" */
    { WIDTH - 8, WIDTH, 16, 32, { 255, 255, 255 }, true }, /* "6" at the right edge */
    { 140, 160, 0, 32, { 255, 255, 255 }, false },         /* between labels */
  };
  for (const auto &tc : cases)
    {
      bool found = false;
      for (int x = tc.x0; x < tc.x1; x++)
        for (int y = tc.y0; y < tc.y1; y++)
          found = found || pixel (full, x, y) == tc.colour;
      EXPECT_EQ (found, tc.present) << "at " << tc.x0 << "," << tc.y0;
    }
}

TEST_F (LevelMeter, PeakMarkerHoldsThenFollows)
{
  /* Between 0 dB (x = 500) and -20 dB (x = 300): a marker on either lights
   * that pixel, a bar ends just before it.  Delays are far from the time a
   * case takes, or waited out: a loaded machine gives the same answers. */
  static const struct {
    float hold_delay, from;
    bool wait_out;
    float to;
    bool lit_500, lit_300;
  } cases[] = {
    { 10.0f, 1.0f, false, DB_20, true, false }, /* held after a drop */
    { 0.05f, 1.0f, true, DB_20, false, true },  /* follows once the delay is over */
    { 0.0f, 1.0f, false, DB_20, false, true },  /* no delay: follows every update */
    { 10.0f, DB_20, false, 1.0f, true, true },  /* a rise takes the peak at once */
  };
  for (const auto &tc : cases)
    {
      g_object_set (meter, "hold-delay", tc.hold_delay, nullptr);
      g_object_unref (show (tc.from, tc.from));
      if (tc.wait_out)
        g_usleep (gulong (tc.hold_delay * 2e6f));
      g_autoptr (GdkPixbuf) pb = show (tc.to, tc.to);
      for (int c = 0; c < 2; c++)
        {
          SCOPED_TRACE (testing::Message () << "hold " << tc.hold_delay << " from " << tc.from
                                            << " channel " << c);
          EXPECT_EQ (lit (pb, 500, BAR_Y[c]), tc.lit_500);
          EXPECT_EQ (lit (pb, 300, BAR_Y[c]), tc.lit_300);
        }
      /* The next case starts without a held peak. */
      g_object_set (meter, "hold-delay", 0.0f, nullptr);
      g_object_unref (show (0.0f, 0.0f));
    }
}

/* A press on the meter ends there, never reaching the window. */
TEST_F (LevelMeter, SwallowsPresses)
{
  int window_presses = 0;
  g_signal_connect_swapped (win, "button-press-event",
                            G_CALLBACK (+[] (int *n) { ++*n; return FALSE; }), &window_presses);
  click (GTK_WIDGET (meter), 100, 5);
  EXPECT_EQ (window_presses, 0);
}

} // namespace
