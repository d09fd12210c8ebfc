/* test-level-meter.cpp: the level meter's widths, zones and peak hold as
 * functions, and its bars and zones read back from the X server */
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

/* The bars as wide as their level asks, a held peak's marker and the zones'
 * colours (their edges: the rules below). */
TEST_F (LevelMeter, BarsZonesAndLabels)
{
  g_object_set (meter, "hold-delay", 10.0f, nullptr);
  g_object_unref (show (1.0f, 1.0f));
  g_autoptr (GdkPixbuf) held = show (DB_20, DB_20);
  for (int c = 0; c < 2; c++)
    {
      EXPECT_TRUE (lit (held, 299, BAR_Y[c]) && !lit (held, 301, BAR_Y[c])) << "bar end " << c;
      EXPECT_TRUE (lit (held, 500, BAR_Y[c]) && !lit (held, 450, BAR_Y[c])) << "marker " << c;
    }

  /* Full-scale bars (the peak held beyond full scale keeps its marker at
   * the right edge). */
  g_autoptr (GdkPixbuf) full = show (4.0f, 4.0f);
  EXPECT_EQ (pixel (full, 400, BAR_Y[0]), (Rgb { 0, 255, 0 }));
  EXPECT_EQ (pixel (full, 470, BAR_Y[1]), (Rgb { 255, 255, 0 }));
  EXPECT_EQ (pixel (full, 530, BAR_Y[0]), (Rgb { 255, 0, 0 }));
  EXPECT_EQ (pixel (full, 200, 8), (Rgb { 0, 0, 0 })) << "gap between the bars";
}

/* Widths on a meter 560 pixels wide, zones at their edges. */
TEST (LevelMeterRules, BarsAndZones)
{
  static const struct {
    float level;
    double width;
  } bars[] = {
    { 0.0f, 0 },   { -1.0f, 0 },  { 1e-6f, 4 }, /* a tiny level still shows */
    { DB_6, 440 }, { 1.0f, 500 }, { 2.5f, WIDTH }, /* above +6 dB fills */
  };
  for (const auto &tc : bars)
    EXPECT_NEAR (zelm_level_meter_bar_width (tc.level, WIDTH), tc.width, 0.01) << tc.level;

  const guint32 green = 0x00ff00ff, yellow = 0xffff00ff, red = 0xff0000ff;
  EXPECT_EQ (zelm_level_meter_zone_color (-6.01), green);
  EXPECT_EQ (zelm_level_meter_zone_color (-6.0), yellow);
  EXPECT_EQ (zelm_level_meter_zone_color (-0.01), yellow);
  EXPECT_EQ (zelm_level_meter_zone_color (0.0), red);
}

/* The held peak over an explicit clock (microseconds). */
TEST (LevelMeterRules, PeakHoldsThenFollows)
{
  static const struct {
    float peak;
    gint64 since;
    float level, delay;
    bool changed;
  } cases[] = {
    { 1.0f, 1999999, DB_20, 2.0f, false }, /* held after a drop */
    { 1.0f, 2000000, DB_20, 2.0f, true },  /* follows once the delay is over */
    { 1.0f, 0, DB_20, 0.0f, true },        /* no delay: follows every update */
    { DB_20, 0, 1.0f, 2.0f, true },        /* a rise takes the peak at once */
  };
  for (const auto &tc : cases)
    {
      float peak = tc.peak;
      gint64 time = 5000000;
      const gint64 now = time + tc.since;
      EXPECT_EQ (bool (zelm_level_meter_hold_peak (tc.level, now, tc.delay, &peak, &time)),
                 tc.changed)
        << tc.peak << " to " << tc.level << " after " << tc.since;
      EXPECT_EQ (peak, tc.changed ? tc.level : tc.peak);
      EXPECT_EQ (time, tc.changed ? now : 5000000);
    }
}

} // namespace
