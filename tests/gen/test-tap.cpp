/* Tap node and tap generator: recording, reading positions, wrapping,
 * clearing, and concurrent reading while the render thread writes. */
#include "gen-harness.h"
#include "vorn-test-alloc.h"
#include "vorn-test-log.h"

#include <atomic>
#include <thread>
#include <vector>

using vorn_test::AttribRecords;
using vorn_test::GenHarness;

static VornTapGen *
make_tap_gen (GenHarness &h, VornAttribType attrib, int size, VornTap **node_out = nullptr)
{
  VornTap *tap = vorn_tap_new (attrib, size);
  auto *gen = reinterpret_cast<VornTapGen *> (h.create_gen (VORN_NODE (tap)));
  if (node_out)
    *node_out = tap;
  else
    g_object_unref (tap); /* the generator holds its node */
  return gen;
}

static std::vector<double>
read_frames (VornTapGen *gen, int max, guint channel, int pos, guint64 *start = nullptr)
{
  std::vector<double> out (std::size_t (MAX (max, 0)));
  int n = vorn_tap_gen_read (gen, out.data (), max, channel, pos, start);
  out.resize (std::size_t (n));
  return out;
}

TEST (Tap, NodeSizesChannelsAndDuplicate)
{
  g_autoptr (VornTap) zero = vorn_tap_new (VORN_ATTRIB_TYPE_VOLUME, 0);
  EXPECT_EQ (zero->size, 96000);
  g_autoptr (VornTap) tiny = vorn_tap_new (VORN_ATTRIB_TYPE_SIGNAL, 10);
  EXPECT_EQ (tiny->size, 64); /* never less than one fragment */
  g_autoptr (VornTap) tap = vorn_tap_new (VORN_ATTRIB_TYPE_SPEAKERS, 1234);
  g_autoptr (VornNode) copy = vorn_node_duplicate (VORN_NODE (tap));
  ASSERT_TRUE (VORN_IS_TAP (copy));
  EXPECT_EQ (VORN_TAP (copy)->attrib, VORN_ATTRIB_TYPE_SPEAKERS);
  EXPECT_EQ (VORN_TAP (copy)->size, 1234);

  /* A speaker tap records every speaker; anything else one channel. */
  GenHarness h (VORN_FORMAT_SINGLE, VORN_SIMD_SSE2, 3);
  VornTapGen *speakers = make_tap_gen (h, VORN_ATTRIB_TYPE_SPEAKERS, 500);
  ASSERT_TRUE (VORN_IS_TAP_GEN (speakers));
  EXPECT_EQ (VORN_GEN (speakers)->dest_count, 0);
  EXPECT_EQ (speakers->channels, 3);
  EXPECT_EQ (vorn_tap_gen_get_data_size_time (speakers, nullptr), 0u);
  VornTapGen *signal = make_tap_gen (h, VORN_ATTRIB_TYPE_SIGNAL, 500);
  EXPECT_EQ (signal->channels, 1);

  double buf[4];
  EXPECT_EQ (vorn_tap_gen_read (signal, buf, 4, 1, 0, nullptr), 0);
  EXPECT_CRITICAL ("channel < guint (gen->channels)");
  EXPECT_EQ (vorn_tap_gen_read (nullptr, buf, 4, 0, 0, nullptr), 0);
  EXPECT_CRITICAL ("VORN_IS_TAP_GEN (gen)");
}

class TapFormat : public testing::TestWithParam<VornFormat> {};

/* Value of absolute frame @frame in channel @c: distinct per channel and
 * exact in float for the frame counts used here. */
static double
ramp (guint64 frame, guint c)
{
  return double (frame) + 0.5 * c;
}

TEST_P (TapFormat, FragmentsWrapInEveryChannelAndReadsFollowPositions)
{
  GenHarness h (GetParam (), VORN_SIMD_SSE2, 2);
  VornTapGen *gen = make_tap_gen (h, VORN_ATTRIB_TYPE_SPEAKERS, 100);
  AttribRecords in (GetParam (), 2);
  h.bind (0, in);

  std::size_t allocs = 0;
  double buf[64];
  for (guint64 f = 0; f < 2; f++)
    {
      for (guint c = 0; c < 2; c++)
        in.set_dynamic ([&] (int i) { return ramp (f * 64 + guint64 (i), c); }, c);
      vorn_test::AllocationCounter counter;
      EXPECT_TRUE (h.render ());
      vorn_tap_gen_read (gen, buf, 64, 1, -64, nullptr);
      allocs += counter.count ();
    }
  /* Counted only where the allocator can be replaced. */
  EXPECT_EQ (vorn_test::AllocationCounter::available () ? allocs : 0u, 0u) << "render or read allocated";

  /* The second fragment started at 64: 36 frames at the end of each region,
   * the other 28 from its start. */
  for (guint c = 0; c < 2; c++)
    {
      const double *region = gen->ring + c * 100;
      EXPECT_EQ (region[63], ramp (63, c));
      EXPECT_EQ (region[64], ramp (64, c));
      EXPECT_EQ (region[99], ramp (99, c));
      EXPECT_EQ (region[0], ramp (100, c));
      EXPECT_EQ (region[27], ramp (127, c));
      EXPECT_EQ (region[28], ramp (28, c)); /* first fragment, not yet overwritten */
    }

  guint64 oldest = 0;
  EXPECT_EQ (vorn_tap_gen_get_data_size_time (gen, &oldest), 100u);
  EXPECT_EQ (oldest, 28u);

  /* pos 0 is the oldest frame held; reads wrap across the region end. */
  guint64 start = 0;
  auto all = read_frames (gen, 1000, 1, 0, &start);
  EXPECT_EQ (start, 28u);
  ASSERT_EQ (all.size (), 100u);
  for (std::size_t i = 0; i < all.size (); i++)
    EXPECT_EQ (all[i], ramp (28 + i, 1)) << i;

  auto newest = read_frames (gen, 1000, 0, -10, &start);
  EXPECT_EQ (start, 118u);
  ASSERT_EQ (newest.size (), 10u);
  EXPECT_EQ (newest.back (), ramp (127, 0));

  EXPECT_EQ (read_frames (gen, 5, 0, 99).size (), 1u);  /* the newest frame */
  EXPECT_EQ (read_frames (gen, 5, 0, 100).size (), 0u); /* not written yet */
  EXPECT_EQ (read_frames (gen, 5, 0, -101).size (), 0u); /* older than the ring */
  EXPECT_EQ (read_frames (gen, 0, 0, 0).size (), 0u);
}

/* Constant and missing inputs are recorded per sample; before the ring fills,
 * positions count from the first frame written. */
TEST_P (TapFormat, ConstantAndMissingInputsBeforeTheRingFills)
{
  GenHarness h (GetParam (), VORN_SIMD_SSE2);
  VornTapGen *gen = make_tap_gen (h, VORN_ATTRIB_TYPE_VOLUME, 0);
  EXPECT_EQ (gen->size, 96000); /* two seconds at 48000 Hz */
  AttribRecords in (GetParam ());
  in.set_const (0.75, VORN_ATTRIB_STATE_FIXED);
  h.bind (0, in);
  EXPECT_TRUE (h.render ());
  h.unbind (0);
  EXPECT_TRUE (h.render ());

  guint64 start = 1;
  auto frames = read_frames (gen, 200, 0, 0, &start);
  EXPECT_EQ (start, 0u);
  ASSERT_EQ (frames.size (), 128u);
  for (int i = 0; i < 64; i++)
    {
      EXPECT_EQ (frames[std::size_t (i)], 0.75);
      EXPECT_EQ (frames[std::size_t (i + 64)], 0.0);
    }
  EXPECT_EQ (read_frames (gen, 500, 0, -10, &start).size (), 10u);
  EXPECT_EQ (start, 118u);
  EXPECT_EQ (read_frames (gen, 500, 0, 40, &start).size (), 88u);
  EXPECT_EQ (start, 40u);
  EXPECT_EQ (h.allocations (), 0u);
}

INSTANTIATE_TEST_SUITE_P (Formats, TapFormat,
                          testing::Values (VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE),
                          [] (const testing::TestParamInfo<VornFormat> &info) {
                            return std::string (info.param == VORN_FORMAT_DOUBLE ? "Double" : "Single");
                          });

TEST (Tap, ClearForgetsEverythingUntilTheNextFragment)
{
  GenHarness h (VORN_FORMAT_SINGLE, VORN_SIMD_SSE2);
  VornTapGen *gen = make_tap_gen (h, VORN_ATTRIB_TYPE_SIGNAL, 256);
  AttribRecords in (VORN_FORMAT_SINGLE);
  in.set_dynamic ([] (int i) { return i; });
  h.bind (0, in);
  for (int i = 0; i < 5; i++)
    h.render ();
  EXPECT_EQ (vorn_tap_gen_get_data_size_time (gen, nullptr), 256u);

  vorn_tap_gen_clear (gen);
  guint64 oldest = 7;
  EXPECT_EQ (vorn_tap_gen_get_data_size_time (gen, &oldest), 0u);
  EXPECT_EQ (oldest, 0u);
  EXPECT_EQ (read_frames (gen, 10, 0, -1).size (), 0u);

  h.render ();
  EXPECT_EQ (vorn_tap_gen_get_data_size_time (gen, &oldest), 64u);
  EXPECT_EQ (oldest, 0u);
  auto frames = read_frames (gen, 100, 0, 0);
  ASSERT_EQ (frames.size (), 64u);
  EXPECT_EQ (frames[5], 5.0);
}

/* The render thread writes a ramp while a reader copies concurrently: every
 * frame the reader gets must be whole, in every channel.  A reader that was
 * lapped may hold frames that were overwritten during the copy; those are
 * recognised by a second snapshot of the counter and not checked. */
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
          /* Alternate between the newest frames and the oldest ones, the
           * latter being where the writer is about to overwrite. */
          const guint channel = guint (round & 1);
          const int pos = (round % 3 == 0) ? 0 : -(1 + round % size);
          round++;

          guint64 start = 0;
          int n = vorn_tap_gen_read (gen, buf.data (), size, channel, pos, &start);
          guint64 held = 0;
          const guint64 after = vorn_tap_gen_get_data_size_time (gen, &held) + held;
          /* Frames below this may be overwritten by now (the writer may be
           * inside the fragment after the snapshot). */
          const guint64 safe_from = after > guint64 (size - 64) ? after - guint64 (size - 64) : 0;
          for (int i = 0; i < n; i++)
            {
              const guint64 frame = start + guint64 (i);
              if (frame < safe_from)
                continue;
              if (buf[std::size_t (i)] != ramp (frame, channel))
                bad++;
            }
        }
      writer.join ();

      EXPECT_EQ (bad, 0u);
      EXPECT_EQ (vorn_tap_gen_get_data_size_time (gen, nullptr), guint64 (size));
      /* The final state is whole too. */
      guint64 start = 0;
      int n = vorn_tap_gen_read (gen, buf.data (), size, 1, 0, &start);
      ASSERT_EQ (n, size);
      EXPECT_EQ (start, fragments * 64 - guint64 (size));
      for (int i = 0; i < n; i++)
        EXPECT_EQ (buf[std::size_t (i)], ramp (start + guint64 (i), 1));
    }
}
