/* Generator base: creation through the node, render variant selection, and
 * the synthesizer properties generators rely on. */
#include "gen-harness.h"
#include "vorn-gen-private.h"
#include "vorn-test-alloc.h"
#include "vorn-test-log.h"

namespace {

/* The speaker mix's render variants, in table order. */
const VornGenRenderFunc mix_table[VORN_GEN_RENDER_TABLE_SIZE] = {
  vorn_mix_gen_render_SSE2_F, vorn_mix_gen_render_AVX_F, vorn_mix_gen_render_AVX2_F,
  vorn_mix_gen_render_SSE2_D, vorn_mix_gen_render_AVX_D, vorn_mix_gen_render_AVX2_D,
};

int
variant_of (VornGenRenderFunc f)
{
  for (int i = 0; i < VORN_GEN_RENDER_TABLE_SIZE; i++)
    if (mix_table[i] == f)
      return i;
  return -1;
}

} // namespace

TEST (Gen, CreatedThroughTheNodeWithLevelStateAndReferences)
{
  vorn_test::GenHarness h (VORN_FORMAT_SINGLE, VORN_SIMD_SSE2);
  g_autoptr (VornNode) root = vorn_node_new ();
  VornNode *mid = vorn_node_new ();
  VornNode *leaf = VORN_NODE (vorn_mix_new ());
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
    EXPECT_EQ (variant_of (vorn_gen_select_render (mix_table, v.format, v.simd)), v.format * 3 + v.simd);
  /* An unresolved level falls back to the one every processor has. */
  EXPECT_EQ (variant_of (vorn_gen_select_render (mix_table, VORN_FORMAT_DOUBLE, VORN_SIMD_AUTO)), 3);
}

class GenVariants : public testing::TestWithParam<vorn_test::GenVariant> {};

/* A generator renders with the synthesizer's variant, limited to what the
 * processor can run. */
TEST_P (GenVariants, ConstructedPicksTheSynthesizersVariant)
{
  const auto v = GetParam ();
  vorn_test::GenHarness h (v);
  const VornSimd expected_level = VornSimd (MIN (v.simd, vorn_util_cpu_detect ()));
  EXPECT_EQ (h.simd (), expected_level);
  g_autoptr (VornMix) mix = vorn_mix_new ();
  VornGen *gen = h.create_gen (VORN_NODE (mix));
  ASSERT_NE (gen, nullptr);
  EXPECT_EQ (variant_of (gen->render), v.format * 3 + expected_level);
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
