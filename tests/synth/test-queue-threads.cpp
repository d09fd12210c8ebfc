/* test-queue-threads.cpp: master rendering with voices spread over the thread pit */
#include "test-queue-util.h"
#include "vorn-test-log.h"

#include <memory>

using namespace queue_test;

namespace {

/* A master with @points channels and voices of the given values, the i-th
 * on channel i % points, stopping in the given fragments (0: never). */
struct Rig {
  VornSynth *synth;
  std::unique_ptr<Master> m;
  Master &master;
  std::vector<VornQueue *> voices;

  Rig (VornFormat format, guint cores, const std::vector<double> &values,
       const std::vector<int> &stops, int points = 3, guint max_voices = 100)
    : synth (new_synth (format, 3)), m (make_master (synth, points, max_voices)), master (*m)
  {
    set_cores (cores);
    for (gsize i = 0; i < values.size (); i++)
      {
        voices.push_back (new_voice (synth, values[i], stops[i]));
        vorn_queue_attach (master.queue, voices.back (), int (i % gsize (points)));
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

  static Master *
  make_master (VornSynth *synth, int points, guint max_voices)
  {
    g_object_set (synth, "max-voices", max_voices, nullptr);
    return new Master (synth, points);
  }

  /* Cores with every fragment handed to the workers, however little work
   * it holds, so that the hand-off is what is tested. */
  void
  set_cores (guint cores)
  {
    vorn_queue_set_cpu_cores (master.queue, cores);
    if (VornThreadPit *pit = vorn_queue_get_private (master.queue)->pit)
      pit->min_batch_ns = 0;
  }

  VornThreadPit *pit () const { return vorn_queue_get_private (master.queue)->pit; }
};

/* Values whose float sums depend on the order of the additions. */
std::vector<double>
awkward_values (int n)
{
  std::vector<double> v;
  for (int i = 0; i < n; i++)
    v.push_back (1.0 / (i + 3) + (i % 5) * 1e4);
  return v;
}

/* Every sample of every speaker, bit for bit. */
int
differing_samples (const Rig &a, const Rig &b)
{
  int bad = 0;
  for (guint k = 0; k < 3; k++)
    for (int i = 0; i < VORN_FRAGMENT_SIZE; i++)
      {
        const double x = a.master.speaker (k, i), y = b.master.speaker (k, i);
        bad += memcmp (&x, &y, sizeof x) != 0;
      }
  return bad;
}

} // namespace

/* Many cores sum the voices bit for bit as one core does, stopped voices
 * leave in the same fragment, and voices beyond max-voices (attached by
 * hand) render on the render thread in their place in the sum. */
TEST (QueueThreads, SumsAreBitIdenticalToOneCore)
{
  /* Adding these in any other order than one core's changes the result. */
  const std::vector<double> values = awkward_values (90);
  float forward = 0, backward = 0;
  for (gsize i = 0; i < values.size (); i += 3)
    forward += float (values[i]);
  for (gsize i = values.size (); i >= 3; i -= 3)
    backward += float (values[i - 3]);
  ASSERT_NE (forward, backward);

  std::vector<int> stops (values.size ());
  for (gsize i = 0; i < stops.size (); i++)
    stops[i] = i % 7 == 0 ? int (2 + i % 11) : 0;

  struct Case {
    VornFormat format;
    guint cores;
    bool every_fragment; /* FALSE: the pit decides from the cost */
    int points;
    guint max_voices;
  } cases[] = {
    { VORN_FORMAT_SINGLE, 2, true, 3, 100 },
    { VORN_FORMAT_SINGLE, 4, true, 3, 100 },
    { VORN_FORMAT_DOUBLE, 3, true, 3, 100 },
    { VORN_FORMAT_SINGLE, 2, false, 3, 100 },
    /* Blocks of eight voices: 45 on each channel make twelve, more than
     * the pit holds. */
    { VORN_FORMAT_SINGLE, 2, true, 2, 4 },
  };
  for (const Case &c : cases)
    {
      SCOPED_TRACE (testing::Message () << "cores " << c.cores << ", format " << c.format
                                        << ", max voices " << c.max_voices);
      Rig one (c.format, 1, values, stops, c.points, c.max_voices);
      Rig many (c.format, c.cores, values, stops, c.points, c.max_voices);
      ASSERT_EQ (one.pit (), nullptr);
      /* The render thread is one of the cores. */
      ASSERT_EQ (many.pit ()->thread_count, int (c.cores) - 1);
      ASSERT_LT (many.pit ()->capacity, c.max_voices < 100 ? 12 : 1000);
      if (!c.every_fragment)
        many.pit ()->min_batch_ns = VORN_THREAD_PIT_MIN_BATCH_NS;
      for (int f = 1; f <= 16; f++)
        {
          EXPECT_EQ (vorn_queue_render (one.master.queue), vorn_queue_render (many.master.queue))
              << "fragment " << f;
          EXPECT_EQ (differing_samples (one, many), 0) << "fragment " << f;
        }
      for (gsize i = 0; i < values.size (); i++)
        {
          EXPECT_EQ (one.voices[i]->active, many.voices[i]->active) << "voice " << i;
          if (!many.voices[i]->active)
            {
              EXPECT_EQ (vorn_queue_get_private (many.voices[i])->parentAttach, nullptr) << "voice " << i;
            }
        }
      /* Back to one core: rendered on the calling thread again. */
      many.set_cores (1);
      EXPECT_EQ (many.pit (), nullptr);
      vorn_queue_render (one.master.queue);
      vorn_queue_render (many.master.queue);
      EXPECT_EQ (differing_samples (one, many), 0);
    }
}

TEST (QueueThreads, CoreCountChangesBetweenFragments)
{
  /* On its own thread, as in the synthesizer: the render thread creates,
   * resizes and frees the pit between fragments while voices come and go. */
  struct Run {
    int bad = 0, mismatched_returns = 0;
  } run;
  GThread *thread = g_thread_new ("render", [] (gpointer data) -> gpointer {
    auto *r = static_cast<Run *> (data);
    const std::vector<double> values = awkward_values (40);
    std::vector<int> stops (values.size ());
    for (gsize i = 0; i < stops.size (); i++)
      stops[i] = int (i % 9) * 7;
    Rig one (VORN_FORMAT_SINGLE, 1, values, stops), many (VORN_FORMAT_SINGLE, 2, values, stops);
    const guint cores[] = { 2, 3, 1, 4, 2, 0, 3, 3, 2 };
    for (int f = 0; f < 120; f++)
      {
        many.set_cores (cores[f % G_N_ELEMENTS (cores)]);
        r->mismatched_returns += vorn_queue_render (one.master.queue) != vorn_queue_render (many.master.queue);
        r->bad += differing_samples (one, many);
      }
    return nullptr;
  }, &run);
  g_thread_join (thread);
  EXPECT_EQ (run.bad, 0);
  EXPECT_EQ (run.mismatched_returns, 0);
}
