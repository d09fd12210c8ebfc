/* test-queue-threads.cpp: master rendering with voices spread over the thread pit */
#include "test-queue-util.h"
#include "vorn-test-log.h"

#include <memory>

using namespace queue_test;

namespace {

/* Eight voices on three channels, two of them stopping early; values are
 * sixteenths so that sums are exact in any order. */
struct Rig {
  VornSynth *synth = new_synth (VORN_FORMAT_DOUBLE, 3);
  std::unique_ptr<Master> m = std::make_unique<Master> (synth, 3);
  Master &master = *m;
  std::vector<VornQueue *> voices;

  explicit Rig (guint cores)
  {
    vorn_queue_set_cpu_cores (master.queue, cores);
    for (int i = 0; i < 8; i++)
      {
        voices.push_back (new_voice (synth, (i + 1) / 16.0, i == 2 ? 3 : i == 5 ? 5 : 0));
        vorn_queue_attach (master.queue, voices.back (), i % 3);
      }
  }
  ~Rig ()
  {
    vorn_queue_detach_all (master.queue);
    for (VornQueue *v : voices)
      g_object_unref (v);
    m.reset ();
    g_object_unref (synth);
  }
};

TEST (QueueThreads, SeveralCoresSumLikeOne)
{
  Rig one (1), three (3);
  ASSERT_NE (vorn_queue_get_private (three.master.queue)->pit, nullptr);
  ASSERT_EQ (vorn_queue_get_private (one.master.queue)->pit, nullptr);

  for (int f = 1; f <= 7; f++)
    {
      gboolean r1 = vorn_queue_render (one.master.queue);
      gboolean r3 = vorn_queue_render (three.master.queue);
      EXPECT_EQ (r1, r3) << "fragment " << f;
      EXPECT_EQ (r1, f != 3 && f != 5) << "fragment " << f;
      for (guint k = 0; k < 3; k++)
        {
          EXPECT_EQ (one.master.speaker (k, 17), three.master.speaker (k, 17));
          EXPECT_EQ (one.master.speaker (k, 63), three.master.speaker (k, 63));
        }
    }
  EXPECT_EQ (three.master.speaker (0, 0), (1 + 2 + 4 + 5 + 7 + 8) / 16.0);
  for (int i : { 2, 5 })
    {
      EXPECT_FALSE (three.voices[gsize (i)]->active);
      EXPECT_EQ (vorn_queue_get_private (three.voices[gsize (i)])->parentAttach, nullptr);
    }

  /* Shrinking back to one core renders on the calling thread again. */
  vorn_queue_set_cpu_cores (three.master.queue, 1);
  EXPECT_EQ (vorn_queue_get_private (three.master.queue)->pit, nullptr);
  EXPECT_TRUE (vorn_queue_render (three.master.queue));
  EXPECT_EQ (three.master.speaker (2, 0), one.master.speaker (2, 0));
}

} // namespace
