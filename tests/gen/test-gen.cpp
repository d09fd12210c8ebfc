/* Generator base: properties, the node-to-generator protocol, render
 * variant selection, and the synthesizer properties generators rely on. */
#include "gen-harness.h"
#include "vorn-gen-private.h"
#include "vorn-test-alloc.h"
#include "vorn-test-log.h"

/* ---- a minimal generator and its node --------------------------------- */

typedef struct {
  VornGen parent_instance;
  VornAttribType attribs[2];
  VornAttribVal *vals[2];
  int variant;
} TestGen;
typedef struct { VornGenClass parent_class; } TestGenClass;

G_DEFINE_TYPE (TestGen, test_gen, VORN_TYPE_GEN)

template <int I>
static gboolean
test_gen_render (VornGen *gen)
{
  reinterpret_cast<TestGen *> (gen)->variant = I;
  /* Copy the source to the destination so that slot binding is visible. */
  VornAttribVal *src = gen->attrib_vals[0], *dest = gen->attrib_vals[1];
  dest->value = src->value;
  dest->state = src->state == VORN_ATTRIB_STATE_FIXED ? VORN_ATTRIB_STATE_FIXED
                                                      : VORN_ATTRIB_STATE_CONST;
  return TRUE;
}

static const VornGenRenderFunc test_gen_table[VORN_GEN_RENDER_TABLE_SIZE] = {
  test_gen_render<0>, test_gen_render<1>, test_gen_render<2>,
  test_gen_render<3>, test_gen_render<4>, test_gen_render<5>,
};

static int
variant_of (VornGenRenderFunc f)
{
  for (int i = 0; i < VORN_GEN_RENDER_TABLE_SIZE; i++)
    if (test_gen_table[i] == f)
      return i;
  return -1;
}

static void
test_gen_init (TestGen *self)
{
  VornGen *gen = VORN_GEN (self);
  gen->attribs = self->attribs;
  gen->attrib_vals = self->vals;
  gen->src_count = 1;
  gen->dest_count = 1;
  self->variant = -1;
}

static void
test_gen_constructed (GObject *object)
{
  G_OBJECT_CLASS (test_gen_parent_class)->constructed (object);

  VornGen *gen = VORN_GEN (object);
  VornFormat format;
  VornSimd simd;
  vorn_gen_get_render_props (gen, nullptr, nullptr, &format, &simd);
  gen->attribs[0] = VORN_ATTRIB_TYPE_SIGNAL;
  gen->attribs[1] = VORN_ATTRIB_TYPE_VOLUME;
  gen->render = vorn_gen_select_render (test_gen_table, format, simd);
}

static void
test_gen_class_init (TestGenClass *klass)
{
  G_OBJECT_CLASS (klass)->constructed = test_gen_constructed;
}

typedef struct { VornNode parent_instance; } TestGenNode;
typedef struct { VornNodeClass parent_class; } TestGenNodeClass;

G_DEFINE_TYPE (TestGenNode, test_gen_node, VORN_TYPE_NODE)

static VornGen *
test_gen_node_create_gen (VornNode *node, VornQueue *queue)
{
  return VORN_GEN (g_object_new (test_gen_get_type (), "node", node, "queue", queue, nullptr));
}

static void test_gen_node_init (TestGenNode *) {}
static void
test_gen_node_class_init (TestGenNodeClass *klass)
{
  VORN_NODE_CLASS (klass)->create_gen = test_gen_node_create_gen;
}

/* ---- generator base ---------------------------------------------------- */

TEST (Gen, CreatedThroughTheNodeWithLevelStateAndReferences)
{
  vorn_test::GenHarness h (VORN_FORMAT_SINGLE, VORN_SIMD_SSE2);
  g_autoptr (VornNode) root = vorn_node_new ();
  VornNode *mid = vorn_node_new ();
  auto *leaf = VORN_NODE (g_object_new (test_gen_node_get_type (), nullptr));
  vorn_node_insert (root, mid, -1);
  vorn_node_insert (mid, leaf, -1);
  g_object_unref (mid); /* the tree holds them now */
  g_object_unref (leaf);

  EXPECT_TRUE (vorn_node_can_gen (leaf));
  VornGen *gen = h.create_gen (leaf);
  ASSERT_NE (gen, nullptr);
  EXPECT_EQ (gen->node, leaf);
  EXPECT_EQ (gen->queue, h.queue ());
  EXPECT_EQ (gen->level, 2);
  EXPECT_EQ (gen->state, VORN_GEN_STATE_ACTIVE);

  /* The generator keeps its node alive after the tree lets go. */
  GWeakRef weak;
  g_weak_ref_init (&weak, leaf);
  vorn_node_unlink (mid);
  {
    g_autoptr (GObject) still = static_cast<GObject *> (g_weak_ref_get (&weak));
    EXPECT_NE (still, nullptr);
  }
  g_autoptr (VornNode) plain = vorn_node_new ();
  EXPECT_EQ (h.create_gen (plain), nullptr); /* and the old generator is gone */
  EXPECT_EQ (g_weak_ref_get (&weak), nullptr);
  g_weak_ref_clear (&weak);
}

TEST (Gen, SelectRenderIndexesFormatTimesThreePlusLevel)
{
  for (const auto &v : vorn_test::gen_variants ())
    EXPECT_EQ (variant_of (vorn_gen_select_render (test_gen_table, v.format, v.simd)),
               v.format * 3 + v.simd);
  /* An unresolved level falls back to the one every processor has. */
  EXPECT_EQ (variant_of (vorn_gen_select_render (test_gen_table, VORN_FORMAT_DOUBLE, VORN_SIMD_AUTO)), 3);
}

class GenVariants : public testing::TestWithParam<vorn_test::GenVariant> {};

TEST_P (GenVariants, ConstructedPicksTheSynthesizersVariantAndRendersWithoutAllocating)
{
  const auto v = GetParam ();
  vorn_test::GenHarness h (v);
  const VornSimd expected_level = VornSimd (MIN (v.simd, vorn_util_cpu_detect ()));
  EXPECT_EQ (h.simd (), expected_level);

  g_autoptr (VornNode) node = VORN_NODE (g_object_new (test_gen_node_get_type (), nullptr));
  VornGen *gen = h.create_gen (node);
  ASSERT_NE (gen, nullptr);
  EXPECT_EQ (variant_of (gen->render), v.format * 3 + expected_level);

  vorn_test::AttribRecords src (v.format), dest (v.format);
  src.set_const (0.25, VORN_ATTRIB_STATE_FIXED);
  h.bind (0, src);
  h.bind (1, dest);

  vorn_test::AllocationCounter counter;
  EXPECT_TRUE (h.render ());
  EXPECT_EQ (vorn_test::AllocationCounter::available () ? counter.count () : 0u, 0u);
  EXPECT_EQ (reinterpret_cast<TestGen *> (gen)->variant, v.format * 3 + expected_level);
  EXPECT_EQ (dest.value (), 0.25);
  EXPECT_EQ (dest.state (), VORN_ATTRIB_STATE_FIXED);
}

INSTANTIATE_TEST_SUITE_P (Variants, GenVariants, testing::ValuesIn (vorn_test::gen_variants ()),
                          vorn_test::gen_variant_name); /* unsupported levels included */

/* ---- synthesizer and queue properties used by generators -------------- */

TEST (GenSynth, RenderPropertiesFollowTheSettings)
{
  g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();
  const VornSimd detected = vorn_util_cpu_detect ();

  double rate = 0;
  guint speakers = 0;
  VornFormat format = VORN_FORMAT_DOUBLE;
  VornSimd simd = VORN_SIMD_AUTO;
  vorn_synth_cpu_get_render_props (synth, &rate, &speakers, &format, &simd);
  EXPECT_EQ (simd, detected); /* automatic resolves to the detected level */

  g_object_set (synth, "sample-rate", 44100.0, "speaker-count", 6u, "audio-format",
                VORN_FORMAT_DOUBLE, "simd", VORN_SIMD_SSE2, nullptr);
  vorn_synth_cpu_get_render_props (synth, &rate, &speakers, &format, &simd);
  EXPECT_EQ (rate, 44100.0);
  EXPECT_EQ (speakers, 6u);
  EXPECT_EQ (format, VORN_FORMAT_DOUBLE);
  EXPECT_EQ (simd, VORN_SIMD_SSE2);

  /* Levels above the processor's are limited to it. */
  VornSimd stored = VORN_SIMD_AUTO, current = VORN_SIMD_AUTO;
  g_object_set (synth, "simd", VORN_SIMD_AVX2, nullptr);
  g_object_get (synth, "simd", &stored, "simd-current", &current, nullptr);
  EXPECT_EQ (stored, detected);
  EXPECT_EQ (current, detected);

  vorn_synth_cpu_get_render_props (synth, nullptr, nullptr, nullptr, nullptr);
  g_autoptr (VornNode) not_a_synth = vorn_node_new ();
  vorn_synth_cpu_get_render_props (reinterpret_cast<VornSynth *> (not_a_synth), &rate, nullptr,
                                   nullptr, nullptr);
  EXPECT_CRITICAL ("VORN_IS_SYNTH_CPU (synth)");
  vorn_synth_get_render_props (nullptr, &rate, nullptr, nullptr);
  EXPECT_CRITICAL ("VORN_IS_SYNTH (synth)");
}

TEST (GenSynth, QueueCopiesTheSynthesizerSettings)
{
  g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();
  g_object_set (synth, "sample-rate", 22050.0, "speaker-count", 4u, "max-voices", 7u,
                "audio-format", VORN_FORMAT_DOUBLE, nullptr);
  g_autoptr (VornNode) root = vorn_node_new ();
  g_autoptr (VornQueue) queue = vorn_queue_new (root, synth);
  ASSERT_TRUE (VORN_IS_QUEUE (queue));
  EXPECT_EQ (queue->sample_rate, 22050.0);
  EXPECT_EQ (queue->speaker_count, 4);
  EXPECT_EQ (queue->max_voices, 7);
  EXPECT_EQ (queue->format, VORN_FORMAT_DOUBLE);
  EXPECT_EQ (vorn_queue_new (root, reinterpret_cast<VornSynth *> (root)), nullptr);
  EXPECT_CRITICAL ("VORN_IS_SYNTH (synth)");
}

TEST (AllocationCounter, SeesEngineAndLibraryAllocations)
{
  VORN_TEST_REQUIRE_ALLOC_COUNTER ();
  vorn_test::AllocationCounter counter;
  g_free (g_malloc (24));
  EXPECT_EQ (counter.count (), 1u);
  EXPECT_EQ (counter.frees (), 1u);
  vorn_util_free_aligned (vorn_util_alloc_aligned (100));
  EXPECT_EQ (counter.count (), 2u);
  counter.reset ();
  EXPECT_EQ (counter.count (), 0u);
}
