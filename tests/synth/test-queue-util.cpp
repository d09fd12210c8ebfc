/* test-queue-util.cpp: test nodes and trees for the queue tests */
#include "test-queue-util.h"

namespace queue_test {

std::vector<VornNode *> *render_log;

struct TestNode {
  VornNode parent_instance;
  VornAttribType attribs[8];
  guint8 src_count, dest_count;
  double value;
  int stop_at;
};
struct TestNodeClass { VornNodeClass parent_class; };
/* Reads its attribute types, value and stop fragment from its node. */
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

VornNode *
test_node (std::initializer_list<VornAttribType> srcs, std::initializer_list<VornAttribType> dests,
           double value, int stop_at)
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

VornNode *
add (VornNode *parent, VornNode *child)
{
  vorn_node_insert (parent, child, -1);
  g_object_unref (child);
  return child;
}

VornGen *
gen_of (VornQueue *queue, VornNode *node)
{
  for (VornGen *gen = vorn_queue_get_gens (queue); gen; gen = gen->next)
    if (gen->node == node)
      return gen;
  return nullptr;
}

std::vector<VornGen *>
chain_of (VornQueue *queue)
{
  std::vector<VornGen *> chain;
  for (VornGen *gen = vorn_queue_get_private (queue)->chain; gen; gen = gen->chain_next)
    chain.push_back (gen);
  return chain;
}

VornSynth *
new_synth (VornFormat format, guint speakers)
{
  VornSynth *synth = vorn_synth_cpu_new ();
  g_object_set (synth, "audio-format", format, "speaker-count", speakers, "cores", 1u, nullptr);
  return synth;
}

Master::Master (VornSynth *s, int n) : synth (s)
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

Master::~Master ()
{
  g_object_unref (queue);
  g_object_unref (root);
}

double
Master::speaker (guint k, int i) const
{
  const VornAttribVal *v = vorn_queue_get_speaker_outputs (queue) + k;
  if (v->format == VORN_FORMAT_DOUBLE)
    return static_cast<const double *> (v->buffer)[i];
  return static_cast<const float *> (v->buffer)[i];
}

VornQueue *
new_voice (VornSynth *synth, double value, int stop_at)
{
  g_autoptr (VornNode) mix = test_node ({ VORN_ATTRIB_TYPE_SIGNAL, VORN_ATTRIB_TYPE_SPEAKERS },
                                        { VORN_ATTRIB_TYPE_SPEAKERS }, value);
  add (mix, test_node ({ VORN_ATTRIB_TYPE_PITCH }, { VORN_ATTRIB_TYPE_SIGNAL }, 1.0, stop_at));
  return vorn_queue_new (mix, synth);
}

} // namespace queue_test
