/* Generator base: render variant selection, allocation counting. */
#include "gen-harness.h"
#include "vorn-gen-private.h"
#include "vorn-test-alloc.h"
#include "vorn-test-log.h"

namespace {

/* The speaker mix's render variants, best first. */
const VornKernelVariant<VornGenRenderFunc> mix_table[] = {
  VORN_KERNEL_VARIANTS (vorn_mix_gen_render),
};

/* format * 4 + level of a mix variant, from its name. */
int
variant_of (VornGenRenderFunc f)
{
  const VornGenRenderFunc named[] = {
    vorn_mix_gen_render_SSE2_F, vorn_mix_gen_render_AVX_F, vorn_mix_gen_render_AVX2_F, vorn_mix_gen_render_AVX512_F,
    vorn_mix_gen_render_SSE2_D, vorn_mix_gen_render_AVX_D, vorn_mix_gen_render_AVX2_D, vorn_mix_gen_render_AVX512_D,
  };
  for (int i = 0; i < 8; i++)
    if (named[i] == f)
      return i;
  return -1;
}

} // namespace

/* Variant index format * 4 + level, the level limited to the processor's; unresolved is SSE2. */
TEST (Gen, RenderVariantFollowsTheSynthesizer)
{
  const VornSimd detected = vorn_util_cpu_detect ();
  for (const auto &v : vorn_test::gen_variants ())
    {
      vorn_test::GenHarness h (v);
      g_autoptr (VornMix) mix = vorn_mix_new ();
      EXPECT_EQ (variant_of (h.create_gen (VORN_NODE (mix))->render), v.format * 4 + MIN (v.simd, detected))
        << v.format << " " << v.simd;
    }
  EXPECT_EQ (variant_of (vorn_kernel_pick (mix_table, VORN_FORMAT_DOUBLE, VORN_SIMD_AUTO)), 4);

  /* A kernel without a variant for some level falls back to the best one
   * below it, never to one the processor lacks. */
  const VornKernelVariant<VornGenRenderFunc> sparse[] = {
    { VORN_FORMAT_SINGLE, VORN_SIMD_AVX2, vorn_mix_gen_render_AVX2_F },
    { VORN_FORMAT_SINGLE, VORN_SIMD_SSE2, vorn_mix_gen_render_SSE2_F },
    { VORN_FORMAT_DOUBLE, VORN_SIMD_SSE2, vorn_mix_gen_render_SSE2_D },
  };
  const struct {
    VornFormat format;
    VornSimd level;
    int variant;
  } picks[] = {
    { VORN_FORMAT_SINGLE, VORN_SIMD_AVX512, 2 }, { VORN_FORMAT_SINGLE, VORN_SIMD_AVX2, 2 },
    { VORN_FORMAT_SINGLE, VORN_SIMD_AVX, 0 },    { VORN_FORMAT_DOUBLE, VORN_SIMD_AVX512, 4 },
  };
  for (const auto &p : picks)
    EXPECT_EQ (variant_of (vorn_kernel_pick (sparse, p.format, p.level)), p.variant)
      << p.format << " " << p.level;

  /* A new synthesizer renders with the detected level. */
  g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();
  VornSimd simd = VORN_SIMD_AUTO;
  vorn_synth_cpu_get_render_props (synth, nullptr, nullptr, nullptr, &simd);
  EXPECT_EQ (simd, detected);
}

/* The zero-allocation checks need a counter that sees GLib's and the engine's allocations. */
TEST (AllocationCounter, SeesEngineAndLibraryAllocations)
{
  VORN_TEST_REQUIRE_ALLOC_COUNTER ();
  vorn_test::AllocationCounter counter;
  g_free (g_malloc (24));
  vorn_util_free_aligned (vorn_util_alloc_aligned (100));
  EXPECT_EQ (counter.count (), 2u);
  EXPECT_EQ (counter.frees (), 2u);
}
