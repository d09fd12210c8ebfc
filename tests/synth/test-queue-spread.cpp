/* test-queue-spread.cpp: the render thread allocates nothing while it hands
 * voices to the thread pit */
#include "test-queue-util.h"
#include "vorn-test-alloc.h"
#include "vorn-test-log.h"

using namespace queue_test;

TEST (QueueSpread, RenderingWithThePitDoesNotAllocate)
{
  VORN_TEST_REQUIRE_ALLOC_COUNTER ();
  VornSynth *synth = new_synth (VORN_FORMAT_SINGLE, 2);
  {
    Master master (synth, 2);
    std::vector<VornQueue *> voices;
    for (int i = 0; i < 24; i++)
      {
        voices.push_back (new_voice (synth, 0.01 * i, i % 4 == 0 ? 3 + i : 0));
        vorn_queue_attach (master.queue, voices.back (), i % 2);
      }
    vorn_queue_set_cpu_cores (master.queue, 2);
    VornThreadPit *pit = vorn_queue_get_private (master.queue)->pit;
    ASSERT_NE (pit, nullptr);

    /* Every fragment handed out, then none, then as the pit judges. */
    for (gint64 min_batch : { gint64 (0), G_MAXINT64, VORN_THREAD_PIT_MIN_BATCH_NS })
      {
        pit->min_batch_ns = min_batch;
        vorn_test::AllocationCounter counter;
        for (int f = 0; f < 40; f++)
          vorn_queue_render (master.queue);
        EXPECT_EQ (counter.count (), 0u) << "min_batch_ns " << min_batch;
        EXPECT_EQ (counter.frees (), 0u) << "min_batch_ns " << min_batch;
      }
    EXPECT_GT (master.speaker (0), 0.0);

    vorn_queue_detach_all (master.queue);
    for (VornQueue *v : voices)
      g_object_unref (v);
  }
  g_object_unref (synth);
}
