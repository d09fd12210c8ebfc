/* gen-harness.h: runs one generator outside a compiled queue.
 *
 * A GenHarness owns a CPU synthesizer with a chosen format and SIMD level, a
 * queue on it, and the generator a node creates for that queue.  Tests own
 * the attribute records, bind them to the generator's slots and render. */
#pragma once

#include "vornadel.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace vorn_test {

/* One or more consecutive attribute records (a speaker group when more than
 * one), each with its own aligned fragment buffer; @index picks the record. */
class AttribRecords
{
public:
  explicit AttribRecords (VornFormat format, guint count = 1);
  ~AttribRecords ();
  AttribRecords (const AttribRecords &) = delete;
  AttribRecords &operator= (const AttribRecords &) = delete;

  VornAttribVal *val (guint index = 0);
  gpointer buffer (guint index = 0) { return val (index)->buffer; }
  void set_const (double value, VornAttribState state = VORN_ATTRIB_STATE_CONST, guint index = 0);
  /* Sample i is fn(i), rounded to the format. */
  void set_dynamic (const std::function<double (int)> &fn, guint index = 0);
  /* NaN everywhere and state unset: a record the generator fails to write
   * is caught. */
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

/* One render variant: its index in a render table is format * 3 + simd. */
struct GenVariant
{
  VornFormat format;
  VornSimd simd;
};

/* The six variants in table order (single SSE2, AVX, AVX2, then double). */
std::vector<GenVariant> gen_variants ();
std::string gen_variant_name (const testing::TestParamInfo<GenVariant> &info);

inline bool simd_supported (VornSimd simd) { return simd <= vorn_util_cpu_detect (); }

/* Fixture of tests run once per variant, skipping instruction sets this
 * processor lacks.  Instantiate with VORN_GEN_VARIANTS (Fixture). */
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

  VornQueue *queue () const { return queue_; }
  VornFormat format () const { return format_; }
  /* The level generators render with: the request limited to the processor. */
  VornSimd simd () const { return simd_; }

  /* @node's generator, kept by the harness (replacing any earlier one) and
   * returned borrowed, or NULL.  Every slot starts unbound. */
  VornGen *create_gen (VornNode *node);

  /* Slots count sources first, then destinations. */
  void bind (guint slot, AttribRecords &records, guint index = 0) { slot_ref (slot) = records.val (index); }
  void unbind (guint slot) { slot_ref (slot) = nullptr; }

  /* One fragment through the generator's render function.  Its heap
   * allocations add up in allocations() (0 where they cannot be counted):
   * render functions must never allocate. */
  gboolean render ();
  std::size_t allocations () const { return allocations_; }

private:
  VornAttribVal *&slot_ref (guint slot);
  VornSynth *synth_ = nullptr;
  VornQueue *queue_ = nullptr;
  VornGen *gen_ = nullptr;
  VornFormat format_;
  VornSimd simd_;
  std::size_t allocations_ = 0;
};

} // namespace vorn_test
