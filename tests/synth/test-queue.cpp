/* test-queue.cpp: compiling, routing, attaching and rendering synthesis queues */
#include "vornadel.h"
#include "vorn-queue-private.h"
#include "vorn-synth-private.h"
#include "vorn-test-alloc.h"
#include "vorn-test-log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace {

/* Render order log (reserve before rendering). */
std::vector<VornNode *> *render_log;

struct TestNode {
  VornNode parent_instance;
  VornAttribType attribs[8];
  guint8 src_count, dest_count;
  double value;
  int stop_at;
};
struct TestNodeClass { VornNodeClass parent_class; };
/* Reads its attribute types, value and stop fragment from its node: every
 * fragment it fills its outputs with the value (dynamic), logs its node when
 * a log is set, and in the stop fragment (1-based) stops the voice. */
struct TestGen {
  VornGen parent_instance;
  VornAttribVal *vals[8];
  int frags;
};
struct TestGenClass { VornGenClass parent_class; };

G_DEFINE_TYPE (TestNode, test_node, VORN_TYPE_NODE)
G_DEFINE_TYPE (TestGen, test_gen, VORN_TYPE_GEN)

static VornGen *
test_node_create_gen (VornNode *node, VornQueue *queue)
{
  return VORN_GEN (g_object_new (test_gen_get_type (), "node", node, "queue", queue, nullptr));
}

static void test_node_init (TestNode *) {}
static void test_node_class_init (TestNodeClass *klass) { VORN_NODE_CLASS (klass)->create_gen = test_node_create_gen; }

static gboolean
test_gen_render (VornGen *gen)
{
  auto *node = reinterpret_cast<TestNode *> (gen->node);
  if (render_log)
    render_log->push_back (gen->node);
  for (guint j = gen->src_count; j < guint (gen->src_count) + gen->dest_count; j++)
    for (guint k = 0; k < (gen->attribs[j] == VORN_ATTRIB_TYPE_SPEAKERS ? gen->queue->speaker_count : 1u); k++)
      {
        VornAttribVal *v = gen->attrib_vals[j] + k;
        for (int i = 0; i < VORN_FRAGMENT_SIZE; i++)
          if (v->format == VORN_FORMAT_DOUBLE)
            static_cast<double *> (v->buffer)[i] = node->value;
          else
            static_cast<float *> (v->buffer)[i] = float (node->value);
        v->state = VORN_ATTRIB_STATE_DYNAMIC;
      }
  if (++reinterpret_cast<TestGen *> (gen)->frags != node->stop_at)
    return TRUE;
  gen->state = VORN_GEN_STATE_STOP;
  return FALSE;
}

static void test_gen_init (TestGen *tg) { VORN_GEN (tg)->attrib_vals = tg->vals; }

static void
test_gen_constructed (GObject *object)
{
  G_OBJECT_CLASS (test_gen_parent_class)->constructed (object);
  VornGen *gen = VORN_GEN (object);
  auto *node = reinterpret_cast<TestNode *> (gen->node);
  gen->attribs = node->attribs;
  gen->src_count = node->src_count;
  gen->dest_count = node->dest_count;
  gen->render = test_gen_render;
}

static void test_gen_class_init (TestGenClass *klass) { G_OBJECT_CLASS (klass)->constructed = test_gen_constructed; }

/* A node whose generator reads @srcs and writes @dests (see TestGen). */
VornNode *
test_node (std::initializer_list<VornAttribType> srcs, std::initializer_list<VornAttribType> dests,
           double value = 0.0, int stop_at = 0)
{
  auto *node = static_cast<TestNode *> (g_object_new (test_node_get_type (), nullptr));
  for (VornAttribType t : srcs)
    node->attribs[node->src_count++] = t;
  for (VornAttribType t : dests)
    node->attribs[node->src_count + node->dest_count++] = t;
  node->value = value;
  node->stop_at = stop_at;
  return VORN_NODE (node);
}

/* Appends @child to @parent and returns it (borrowed). */
VornNode *
add (VornNode *parent, VornNode *child)
{
  vorn_node_insert (parent, child, -1);
  g_object_unref (child);
  return child;
}

/* The generator of @node in @queue, or NULL. */
VornGen *
gen_of (VornQueue *queue, VornNode *node)
{
  for (VornGen *gen = vorn_queue_get_gens (queue); gen; gen = gen->next)
    if (gen->node == node)
      return gen;
  return nullptr;
}

VornAttribVal *out (VornGen *gen) { return gen->attrib_vals[gen->src_count]; }
VornAttribVal *in (VornGen *gen, guint i) { return gen->attrib_vals[i]; }

std::vector<VornGen *>
chain_of (VornQueue *queue)
{
  std::vector<VornGen *> chain;
  for (VornGen *gen = vorn_queue_get_private (queue)->chain; gen; gen = gen->chain_next)
    chain.push_back (gen);
  return chain;
}

/* "Speakers", a pitch control, @points attach points with a channel pitch
 * control each and a post-attach speakers reader; its speakers feed the synth. */
struct Master {
  VornNode *root;
  VornNode *speakers, *main_pitch, *post;
  std::vector<VornNode *> points, channel;
  VornQueue *queue;

  Master (VornSynth *synth, int n)
  {
    root = vorn_node_new ();
    speakers = add (root, test_node ({}, { VORN_ATTRIB_TYPE_SPEAKERS }));
    main_pitch = add (root, test_node ({ VORN_ATTRIB_TYPE_PITCH }, { VORN_ATTRIB_TYPE_PITCH }, 2.0));
    for (int i = 0; i < n; i++)
      {
        points.push_back (add (root, VORN_NODE (g_object_new (VORN_TYPE_NODE, "attach-point", TRUE, nullptr))));
        channel.push_back (add (points.back (),
                                test_node ({ VORN_ATTRIB_TYPE_PITCH }, { VORN_ATTRIB_TYPE_PITCH }, 3.0)));
      }
    post = add (root, test_node ({ VORN_ATTRIB_TYPE_SPEAKERS }, {}));
    queue = vorn_queue_new (root, synth);
    vorn_queue_set_speaker_outputs (queue, out (gen_of (queue, speakers)));
  }
  ~Master ()
  {
    g_object_unref (queue);
    g_object_unref (root);
  }
  double speaker (guint k, int i = 0) const
  {
    return static_cast<const float *> (vorn_queue_get_speaker_outputs (queue)[k].buffer)[i];
  }
};

/* A mix root writing @value to the speakers over a signal writer stopping in fragment @stop_at. */
VornQueue *
new_voice (VornSynth *synth, double value, int stop_at = 0)
{
  g_autoptr (VornNode) mix = test_node ({ VORN_ATTRIB_TYPE_SIGNAL, VORN_ATTRIB_TYPE_SPEAKERS },
                                        { VORN_ATTRIB_TYPE_SPEAKERS }, value);
  add (mix, test_node ({ VORN_ATTRIB_TYPE_PITCH }, { VORN_ATTRIB_TYPE_SIGNAL }, 1.0, stop_at));
  return vorn_queue_new (mix, synth);
}



constexpr auto PITCH = VORN_ATTRIB_TYPE_PITCH;
constexpr auto VOLUME = VORN_ATTRIB_TYPE_VOLUME;
constexpr auto SIGNAL = VORN_ATTRIB_TYPE_SIGNAL;
constexpr auto SPEAKERS = VORN_ATTRIB_TYPE_SPEAKERS;

struct Queue : testing::Test {
  VornSynth *synth = vorn_synth_cpu_new ();
  Queue () { g_object_set (synth, "cores", 1u, nullptr); }
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

TEST_F (Queue, AttachKeepsLiveListInOrderAndRelinksChain)
{
  Master m (synth, 4);
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
  EXPECT_EQ (chain_of (m.queue)[2]->node, vorn_queue_inst_nodes[2]);
  EXPECT_EQ (nodes (), (std::vector<VornNode *> { m.speakers, m.main_pitch, m.channel[0],
                                                  m.channel[1], m.channel[2] }));

  /* Detaching leaves the chain; the next attach skips the emptied point. */
  vorn_queue_detach (v[2]);
  EXPECT_FALSE (v[2]->active);
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

/* The render thread allocates nothing while it hands voices to the pit, and
 * sums them bit for bit as one core does, with more voice blocks than the
 * pit holds (possible only by attaching past max-voices by hand): those
 * render on the render thread in their place in the sum. */
TEST_F (Queue, RenderingWithThePitMatchesOneCoreWithoutAllocating)
{
  VORN_TEST_REQUIRE_ALLOC_COUNTER ();
  g_object_set (synth, "max-voices", 4u, nullptr);
  Master master (synth, 2), one (synth, 2);
  std::vector<VornQueue *> voices;
  for (int i = 0; i < 48; i++)
    {
      /* Values whose float sums depend on the order of the additions. */
      const double value = 1.0 / (i / 2 + 3) + (i / 2 % 5) * 1e4;
      voices.push_back (new_voice (synth, value, i / 2 % 4 == 0 ? 3 + i / 2 : 0));
      vorn_queue_attach (i % 2 ? one.queue : master.queue, voices.back (), i / 2 % 2);
    }
  vorn_queue_set_cpu_cores (master.queue, 2, nullptr);
  VornThreadPit *pit = vorn_queue_get_private (master.queue)->pit;
  ASSERT_NE (pit, nullptr);
  ASSERT_LT (pit->capacity, 4);

  /* Every fragment handed out, then none, then as the pit judges. */
  for (gint64 min_batch : { gint64 (0), G_MAXINT64, VORN_THREAD_PIT_MIN_BATCH_NS })
    {
      pit->min_batch_ns = min_batch;
      vorn_test::AllocationCounter counter;
      for (int f = 0; f < 40; f++)
        {
          vorn_queue_render (master.queue);
          vorn_queue_render (one.queue);
          const double a = master.speaker (0), b = one.speaker (0);
          ASSERT_EQ (memcmp (&a, &b, sizeof a), 0) << "min_batch_ns " << min_batch << " fragment " << f;
        }
      EXPECT_EQ (counter.count (), 0u) << "min_batch_ns " << min_batch;
      EXPECT_EQ (counter.frees (), 0u) << "min_batch_ns " << min_batch;
    }
  EXPECT_GT (master.speaker (0), 0.0);

  vorn_queue_detach_all (master.queue);
  vorn_queue_detach_all (one.queue);
  for (VornQueue *v : voices)
    g_object_unref (v);
}
