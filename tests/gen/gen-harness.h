/* gen-harness.h: one generator on a CPU synthesizer's queue, outside a compiled queue;
 * tests own the attribute records and bind them to its slots. */
#pragma once

#include "vornadel.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace vorn_test {

/* Consecutive attribute records (a speaker group if several), each with an aligned buffer. */
class AttribRecords
{
public:
  explicit AttribRecords (VornFormat format, guint count = 1);
  ~AttribRecords ();
  AttribRecords (const AttribRecords &) = delete;
  AttribRecords &operator= (const AttribRecords &) = delete;

  VornAttribVal *val (guint index = 0)
  {
    g_assert (index < count);
    return &vals[index];
  }
  gpointer buffer (guint index = 0) { return val (index)->buffer; }
  void set_const (double value, VornAttribState state = VORN_ATTRIB_STATE_CONST, guint index = 0);
  /* Sample i is fn(i), rounded to the format. */
  void set_dynamic (const std::function<double (int)> &fn, guint index = 0);
  /* NaN everywhere, state unset: catches a record the generator fails to write. */
  void poison (guint index = 0);

  VornAttribState state (guint index = 0) const { return VornAttribState (vals[index].state); }
  double value (guint index = 0) const;
  /* Sample @i: from the buffer when dynamic, else the constant value. */
  double at (int i, guint index = 0) const;
  std::vector<double> fragment (guint index = 0) const;

private:
  VornFormat fmt;
  guint count;
  VornAttribVal *vals;
};

/* One render variant: its index in a render table is format * 4 + simd. */
struct GenVariant
{
  VornFormat format;
  VornSimd simd;
};

/* The eight variants in index order (single SSE2, AVX, AVX2, AVX512, then double). */
std::vector<GenVariant> gen_variants ();
std::string gen_variant_name (const testing::TestParamInfo<GenVariant> &info);

inline bool simd_supported (VornSimd simd) { return simd <= vorn_util_cpu_detect (); }

/* Runs once per variant (VORN_GEN_VARIANTS), skipping instruction sets this processor lacks. */
class VariantTest : public testing::TestWithParam<GenVariant>
{
protected:
  void SetUp () override
  {
    if (!simd_supported (GetParam ().simd))
      GTEST_SKIP () << "instruction set not available";
  }
};

#define VORN_GEN_VARIANTS(fixture)                                                                 \
  INSTANTIATE_TEST_SUITE_P (Variants, fixture, testing::ValuesIn (vorn_test::gen_variants ()),     \
                            vorn_test::gen_variant_name)

class GenHarness
{
public:
  GenHarness (VornFormat format, VornSimd simd, guint speakers = 2, double sample_rate = 48000.0);
  explicit GenHarness (const GenVariant &variant, guint speakers = 2, double sample_rate = 48000.0)
      : GenHarness (variant.format, variant.simd, speakers, sample_rate) {}
  ~GenHarness ();
  GenHarness (const GenHarness &) = delete;
  GenHarness &operator= (const GenHarness &) = delete;

  VornFormat format () const { return format_; }

  /* @node's generator (borrowed, replacing any earlier one) or NULL; all slots unbound. */
  VornGen *create_gen (VornNode *node);

  /* Slots count sources first, then destinations. */
  void bind (guint slot, AttribRecords &records, guint index = 0) { slot_ref (slot) = records.val (index); }
  void unbind (guint slot) { slot_ref (slot) = nullptr; }

  /* Renders one fragment; a render that allocates fails the test (reported
   * when the harness goes). */
  gboolean render ();

private:
  VornAttribVal *&slot_ref (guint slot)
  {
    g_assert (gen_ && slot < guint (gen_->src_count) + gen_->dest_count);
    return gen_->attrib_vals[slot];
  }
  VornSynth *synth_ = nullptr;
  VornQueue *queue_ = nullptr;
  VornGen *gen_ = nullptr;
  VornFormat format_;
  std::size_t allocations_ = 0;
};

} // namespace vorn_test
