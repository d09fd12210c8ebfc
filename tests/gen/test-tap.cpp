/* Tap generator: recording, read positions, wrapping, clearing, concurrent reading. */
#include "gen-harness.h"
#include "vorn-test-log.h"

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

using namespace vorn_test;

static VornTapGen *
make_tap_gen (GenHarness &h, VornAttribType attrib, int size)
{
  g_autoptr (VornTap) tap = vorn_tap_new (attrib, size); /* the generator holds its node */
  return reinterpret_cast<VornTapGen *> (h.create_gen (VORN_NODE (tap)));
}

class TapFormat : public testing::TestWithParam<VornFormat> {};

/* Frame @frame of channel @c: distinct per channel, exact in float. */
static double
ramp (guint64 frame, guint c)
{
  return double (frame) + 0.5 * c;
}

/* Up to @max frames read from @pos give @count frames from absolute frame @start, each value (frame). */
struct Read
{
  int max, pos;
  guint64 start;
  std::size_t count;
};

static void
expect_reads (VornTapGen *gen, guint channel, std::initializer_list<Read> reads,
              const std::function<double (guint64)> &value)
{
  for (const Read &r : reads)
    {
      SCOPED_TRACE (testing::Message () << "max " << r.max << " pos " << r.pos);
      guint64 start = 0;
      std::vector<double> got (std::size_t (MAX (r.max, 0)));
      got.resize (std::size_t (vorn_tap_gen_read (gen, got.data (), r.max, channel, r.pos, &start)));
      ASSERT_EQ (got.size (), r.count);
      EXPECT_EQ (r.count ? start : 0u, r.start);
      for (std::size_t i = 0; i < got.size (); i++)
        ASSERT_EQ (got[i], value (start + i)) << i;
    }
}

TEST_P (TapFormat, FragmentsWrapInEveryChannelAndReadsFollowPositions)
{
  GenHarness h (GetParam (), VORN_SIMD_SSE2, 2);
  VornTapGen *gen = make_tap_gen (h, VORN_ATTRIB_TYPE_SPEAKERS, 100);
  AttribRecords in (GetParam (), 2);
  h.bind (0, in);

  for (guint64 f = 0; f < 2; f++)
    {
      for (guint c = 0; c < 2; c++)
        in.set_dynamic ([&] (int i) { return ramp (f * 64 + guint64 (i), c); }, c);
      EXPECT_TRUE (h.render ());
    }

  guint64 oldest = 0;
  EXPECT_EQ (vorn_tap_gen_get_data_size_time (gen, &oldest), 100u);
  EXPECT_EQ (oldest, 28u);

  /* Wrapped at frame 100: pos 0 is the oldest frame held (28); reads cross the region end. */
  expect_reads (gen, 1, { { 1000, 0, 28, 100 }, { 1000, -10, 118, 10 }, { 5, 99, 127, 1 }, { 5, 100, 0, 0 },
                          { 5, -101, 0, 0 }, { 0, 0, 0, 0 } },
                [] (guint64 frame) { return ramp (frame, 1); });

  /* Clearing forgets everything and restarts time at the next fragment. */
  vorn_tap_gen_clear (gen);
  EXPECT_EQ (vorn_tap_gen_get_data_size_time (gen, &oldest), 0u);
  EXPECT_EQ (oldest, 0u);
  expect_reads (gen, 1, { { 10, -1, 0, 0 } }, nullptr);
  h.render ();
  expect_reads (gen, 1, { { 100, 0, 0, 64 } }, [] (guint64 frame) { return ramp (64 + frame, 1); });
}

/* Constant and missing inputs recorded per sample; positions count from the first frame. */
TEST_P (TapFormat, ConstantAndMissingInputsBeforeTheRingFills)
{
  GenHarness h (GetParam (), VORN_SIMD_SSE2);
  VornTapGen *gen = make_tap_gen (h, VORN_ATTRIB_TYPE_VOLUME, 0);
  EXPECT_EQ (gen->size, 96000); /* size 0: two seconds at 48000 Hz */
  AttribRecords in (GetParam ());
  in.set_const (0.75, VORN_ATTRIB_STATE_FIXED);
  h.bind (0, in);
  EXPECT_TRUE (h.render ());
  h.unbind (0);
  EXPECT_TRUE (h.render ());

  expect_reads (gen, 0, { { 200, 0, 0, 128 }, { 500, -10, 118, 10 }, { 500, 40, 40, 88 } },
                [] (guint64 frame) { return frame < 64 ? 0.75 : 0.0; });

  /* Anything but speakers is one channel; a ring is never shorter than a fragment. */
  gen = make_tap_gen (h, VORN_ATTRIB_TYPE_SIGNAL, 10);
  EXPECT_EQ (gen->size, 64);
  double buf[4];
  EXPECT_EQ (vorn_tap_gen_read (gen, buf, 4, 1, 0, nullptr), 0);
  EXPECT_CRITICAL ("channel < guint (gen->channels)");
}

INSTANTIATE_TEST_SUITE_P (Formats, TapFormat,
                          testing::Values (VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE),
                          [] (const testing::TestParamInfo<VornFormat> &info) {
                            return std::string (info.param == VORN_FORMAT_DOUBLE ? "Double" : "Single");
                          });

/* Frames read while the render thread writes are whole (those it may have lapped are skipped). */
TEST (Tap, ConcurrentReaderNeverSeesPartialFrames)
{
  for (VornFormat format : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    {
      GenHarness h (format, VORN_SIMD_SSE2, 2);
      const int size = 320;
      VornTapGen *gen = make_tap_gen (h, VORN_ATTRIB_TYPE_SPEAKERS, size);
      AttribRecords in (format, 2);
      h.bind (0, in);

      const guint64 fragments = 4000;
      std::atomic<bool> done{ false };
      std::thread writer ([&] {
        for (guint64 f = 0; f < fragments; f++)
          {
            for (guint c = 0; c < 2; c++)
              in.set_dynamic ([&] (int i) { return ramp (f * 64 + guint64 (i), c); }, c);
            h.render ();
          }
        done.store (true);
      });

      std::vector<double> buf (size);
      guint64 bad = 0;
      int round = 0;
      while (!done.load ())
        {
          /* The oldest frames (pos 0, where the writer goes next) or newer ones. */
          const guint channel = guint (round & 1);
          const int pos = (round % 3 == 0) ? 0 : -(1 + round % size);
          round++;

          guint64 start = 0;
          int n = vorn_tap_gen_read (gen, buf.data (), size, channel, pos, &start);
          guint64 held = 0;
          const guint64 after = vorn_tap_gen_get_data_size_time (gen, &held) + held;
          const guint64 safe_from = after > guint64 (size - 64) ? after - guint64 (size - 64) : 0;
          for (int i = 0; i < n; i++)
            bad += start + guint64 (i) >= safe_from && buf[std::size_t (i)] != ramp (start + guint64 (i), channel);
        }
      writer.join ();

      EXPECT_EQ (bad, 0u);
      expect_reads (gen, 1, { { size, 0, fragments * 64 - size, std::size_t (size) } },
                    [] (guint64 frame) { return ramp (frame, 1); });
    }
}
