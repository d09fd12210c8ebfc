/* test-queue.cpp: compiling, routing, attaching and rendering synthesis queues */
#include "test-queue-util.h"
#include "vorn-test-alloc.h"
#include "vorn-test-log.h"

using namespace queue_test;

namespace {

constexpr auto PITCH = VORN_ATTRIB_TYPE_PITCH;
constexpr auto VOLUME = VORN_ATTRIB_TYPE_VOLUME;
constexpr auto SIGNAL = VORN_ATTRIB_TYPE_SIGNAL;
constexpr auto SPEAKERS = VORN_ATTRIB_TYPE_SPEAKERS;

struct Queue : testing::Test {
  VornSynth *synth = new_synth ();
  ~Queue () override { g_object_unref (synth); }
};

TEST_F (Queue, SiblingSubtreesReuseOutputsAndScopesEnd)
{
  g_autoptr (VornNode) root = test_node ({ VOLUME }, {});
  VornNode *s1 = add (root, vorn_node_new ());
  VornNode *w1 = add (s1, test_node ({}, { VOLUME }));
  VornNode *s2 = add (root, test_node ({ VOLUME }, { SIGNAL }));
  VornNode *w2 = add (s2, test_node ({ VOLUME }, { VOLUME }));
  VornNode *muted = add (root, test_node ({}, { SIGNAL }));
  VornNode *child = add (muted, test_node ({}, { PITCH }));
  g_object_set (muted, "mute", TRUE, nullptr);
  g_autoptr (VornQueue) q = vorn_queue_new (root, synth);
  vorn_queue_resolve_attributes (q);

  EXPECT_EQ (out (gen_of (q, w1)), out (gen_of (q, w2)));
  VornAttribVal *queue_volume = out (vorn_queue_get_gens (q)->next);
  /* w2 does not see its cousin w1, s2 sees its child, the root neither. */
  EXPECT_EQ (in (gen_of (q, w2), 0), queue_volume);
  EXPECT_EQ (in (gen_of (q, s2), 0), out (gen_of (q, w2)));
  EXPECT_EQ (in (gen_of (q, vorn_queue_get_private (q)->last_gen->node), 0), queue_volume);
  EXPECT_EQ (gen_of (q, muted), nullptr);
  EXPECT_NE (gen_of (q, child), nullptr);
}

TEST_F (Queue, MasterRoutingAndVoiceRoutingFromItsPoint)
{
  Master m (synth, 2);
  VornQueuePrivate *mp = vorn_queue_get_private (m.queue);
  ASSERT_EQ (mp->attachPointCount, 2);
  VornAttachPoint *ap = mp->attach_points;
  VornGen *ch0 = gen_of (m.queue, m.channel[0]), *ch1 = gen_of (m.queue, m.channel[1]);

  /* Each channel control reads the main pitch and keeps its own output. */
  EXPECT_EQ (in (ch1, 0), out (gen_of (m.queue, m.main_pitch)));
  EXPECT_NE (out (ch0), out (ch1));
  EXPECT_EQ (ap[1].attach_vals[PITCH - 1], out (ch1));
  EXPECT_EQ (ap[1].attach_vals[SPEAKERS - 1], out (gen_of (m.queue, m.speakers)));
  EXPECT_EQ (ap[1].attach_vals[SPEAKERS - 1]->group_rest, 1);
  /* The post-attach reader sees the speakers written at its own level. */
  EXPECT_EQ (in (gen_of (m.queue, m.post), 0), out (gen_of (m.queue, m.speakers)));
  EXPECT_TRUE (chain_of (m.queue).empty ());

  /* Voice: two sibling mixes after a pitch reader, under a plain root. */
  g_autoptr (VornNode) inst = vorn_node_new ();
  VornNode *reader = add (inst, test_node ({ PITCH }, { SIGNAL }));
  VornNode *mix1 = add (inst, test_node ({ SIGNAL, SPEAKERS }, { SPEAKERS }));
  VornNode *mix2 = add (inst, test_node ({ SIGNAL, SPEAKERS }, { SPEAKERS }));
  g_autoptr (VornQueue) v = vorn_queue_new (inst, synth);
  vorn_queue_attach (m.queue, v, 1);
  VornGen *pitch_ctl = vorn_queue_get_gens (v);
  EXPECT_EQ (in (pitch_ctl, 2), out (ch1));
  EXPECT_EQ (in (gen_of (v, reader), 0), out (pitch_ctl));
  EXPECT_EQ (in (gen_of (v, mix1), 1), nullptr);
  EXPECT_EQ (in (gen_of (v, mix2), 1), out (gen_of (v, mix1)));
  vorn_queue_detach (v);
}

TEST_F (Queue, ControlIdsAndSetControl)
{
  g_autoptr (VornNode) inst = vorn_node_new ();
  VornNode *group = add (inst, vorn_node_new ());
  auto *c1 = VORN_WAVE (add (group, VORN_NODE (vorn_wave_new_control_default ("A", VOLUME))));
  auto *c2 = VORN_WAVE (add (group, VORN_NODE (vorn_wave_new_control_default ("B", PITCH))));
  auto *c3 = VORN_WAVE (add (inst, VORN_NODE (vorn_wave_new_control ("C", PITCH, VORN_WAVE_OP_ADD, 0.5))));
  g_object_set (c2, "mute", TRUE, nullptr);
  g_autoptr (VornWave) stray = vorn_wave_new_control_default ("D", PITCH);

  EXPECT_EQ (vorn_queue_node_get_control_id (inst, c1), 0);
  EXPECT_EQ (vorn_queue_node_get_control_id (inst, c3), 1);
  EXPECT_EQ (vorn_queue_node_get_control_id (inst, stray), -1);

  g_autoptr (VornQueue) q = vorn_queue_new (inst, synth);
  VornQueuePrivate *p = vorn_queue_get_private (q);
  ASSERT_EQ (p->control_count, 5);
  EXPECT_EQ (in (gen_of (q, VORN_NODE (c3)), 1), &p->controls[3 + 1]);
  EXPECT_EQ (p->controls[4].value.f, 0.5f);

  vorn_queue_set_control (q, 4, 0.1, VORN_WAVE_OP_ADD);
  EXPECT_EQ (p->controls[4].value.f, float (double (0.5f) + 0.1));
  EXPECT_EQ (p->controls[4].state, VORN_ATTRIB_STATE_CONST);
}

TEST_F (Queue, NoteOffStartsReleaseWavesAndFinishesPressedOnes)
{
  Master m (synth, 1);
  g_autoptr (VornNode) inst = test_node ({ VOLUME, SPEAKERS }, { SPEAKERS });
  auto *pressed = VORN_WAVE (add (inst, VORN_NODE (vorn_wave_new_from_preset (VORN_WAVE_PRESET_VOLUME_ATTACK))));
  auto *release = VORN_WAVE (add (inst, VORN_NODE (vorn_wave_new_from_preset (VORN_WAVE_PRESET_VOLUME_RELEASE))));
  VornNode *under = add (VORN_NODE (release), test_node ({ VOLUME }, { VOLUME }));
  g_object_set (pressed, "trig-mode", VORN_WAVE_TRIG_MODE_PRESSED, nullptr);
  g_object_set (release, "trig-mode", VORN_WAVE_TRIG_MODE_RELEASE, nullptr);
  g_autoptr (VornQueue) v = vorn_queue_new (inst, synth);
  VornGen *rel = gen_of (v, VORN_NODE (release));
  auto in_chain = [&v] (VornGen *g) {
    auto c = chain_of (v);
    return std::find (c.begin (), c.end (), g) != c.end ();
  };

  EXPECT_FALSE (in_chain (rel) || in_chain (gen_of (v, under)));
  vorn_queue_attach (m.queue, v, 0);
  /* The root reads the pressed wave's volume until the release joins the chain. */
  EXPECT_EQ (in (gen_of (v, inst), 0), out (gen_of (v, VORN_NODE (pressed))));
  vorn_queue_note_off (v, 1);
  EXPECT_TRUE (in_chain (rel) && in_chain (gen_of (v, under)));
  EXPECT_EQ (rel->state, VORN_GEN_STATE_ACTIVE);
  EXPECT_TRUE (reinterpret_cast<VornWaveGen *> (gen_of (v, VORN_NODE (pressed)))->finished);
  EXPECT_EQ (in (gen_of (v, inst), 0), out (rel));
  EXPECT_EQ (in (gen_of (v, under), 0), out (gen_of (v, VORN_NODE (pressed))));
}

TEST_F (Queue, AttachKeepsLiveListInOrderAndRelinksChain)
{
  Master m (synth, 4);
  VornQueuePrivate *mp = vorn_queue_get_private (m.queue);
  VornQueue *v[4];
  for (auto &voice : v)
    voice = new_voice (synth, 0.0);
  vorn_queue_attach (m.queue, v[0], 2);
  vorn_queue_attach (m.queue, v[1], 0);
  vorn_queue_attach (m.queue, v[2], 1);

  /* The master's own nodes in its chain, after the three queue-level controls. */
  auto nodes = [&m] {
    std::vector<VornNode *> n;
    for (VornGen *g : chain_of (m.queue))
      if (!VORN_IS_WAVE_GEN (g))
        n.push_back (g->node);
    return n;
  };
  VornAttachPoint *ap = mp->attach_points;
  EXPECT_TRUE (mp->first_live == ap && ap[0].next_live == ap + 1 && ap[1].next_live == ap + 2
               && ap[2].next_live == nullptr);
  EXPECT_EQ (chain_of (m.queue)[2]->node, vorn_queue_inst_nodes[2]);
  EXPECT_EQ (nodes (), (std::vector<VornNode *> { m.speakers, m.main_pitch, m.channel[0],
                                                  m.channel[1], m.channel[2] }));

  /* Detaching leaves the chain; the next attach skips the emptied point. */
  vorn_queue_detach (v[2]);
  EXPECT_FALSE (v[2]->active);
  EXPECT_EQ (ap[0].next_live, ap + 2);
  vorn_queue_attach (m.queue, v[3], 3);
  EXPECT_EQ (nodes (), (std::vector<VornNode *> { m.speakers, m.main_pitch, m.channel[0],
                                                  m.channel[2], m.channel[3] }));

  vorn_queue_attach (m.queue, v[2], 4);
  EXPECT_CRITICAL ("attachIndex < priv->attachPointCount");
  EXPECT_FALSE (v[2]->active);

  vorn_queue_detach_all (m.queue);
  EXPECT_TRUE (chain_of (m.queue).empty ());
  for (VornQueue *voice : v)
    {
      EXPECT_FALSE (voice->active);
      g_object_unref (voice);
    }
}

TEST_F (Queue, RenderSumsVoicesAndDetachesFinishedOnesInTheirLastFragment)
{
  Master m (synth, 2);
  std::vector<VornNode *> log;
  log.reserve (256);
  render_log = &log;
  /* Without voices only the post-attach segment runs; outputs are silent. */
  EXPECT_TRUE (vorn_queue_render (m.queue));
  EXPECT_EQ (log, std::vector<VornNode *> { m.post });
  EXPECT_EQ (m.speaker (1, 63), 0.0);

  g_autoptr (VornQueue) a = new_voice (synth, 0.25);
  g_autoptr (VornQueue) b = new_voice (synth, 0.5, 2);
  vorn_queue_attach (m.queue, a, 1);
  vorn_queue_attach (m.queue, b, 0);
  log.clear ();
  EXPECT_TRUE (vorn_queue_render (m.queue));
  ASSERT_GE (log.size (), 4u);
  EXPECT_TRUE (log[2] == m.channel[0] && log[3] == m.channel[1] && log.back () == m.post);
  EXPECT_DOUBLE_EQ (m.speaker (0, 0), 0.75);
  EXPECT_DOUBLE_EQ (m.speaker (1, 63), 0.75);

  /* b stops in its second fragment: it still sounds in it. */
  EXPECT_FALSE (vorn_queue_render (m.queue));
  EXPECT_DOUBLE_EQ (m.speaker (1, 0), 0.75);
  EXPECT_TRUE (a->active && !b->active);
  EXPECT_TRUE (vorn_queue_render (m.queue));
  EXPECT_DOUBLE_EQ (m.speaker (0, 5), 0.25);
  render_log = nullptr;
}

} // namespace

/* The render thread allocates nothing while it hands voices to the pit. */
TEST_F (Queue, RenderingWithThePitDoesNotAllocate)
{
  VORN_TEST_REQUIRE_ALLOC_COUNTER ();
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
