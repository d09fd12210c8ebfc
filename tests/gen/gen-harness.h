/* gen-harness.h: runs one generator outside a compiled queue.
 *
 * A GenHarness owns a CPU synthesizer with a chosen format and SIMD level,
 * a queue on it, and the generator a node creates for that queue.  Tests
 * own the attribute records (AttribRecords), bind them to the generator's
 * slots and call render(). */
#pragma once

#include "vornadel.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace vorn_test {

/* One or more consecutive attribute records (a speaker group when more than
 * one), each with its own 64-byte aligned fragment buffer.  @index picks the
 * record everywhere. */
class AttribRecords
{
public:
  explicit AttribRecords (VornFormat format, guint count = 1);
  ~AttribRecords ();
  AttribRecords (const AttribRecords &) = delete;
  AttribRecords &operator= (const AttribRecords &) = delete;

  VornAttribVal *val (guint index = 0);
  gpointer buffer (guint index = 0) { return val (index)->buffer; }

  /* A constant record: @value stored in the format, @state CONST or FIXED. */
  void set_const (double value, VornAttribState state = VORN_ATTRIB_STATE_CONST, guint index = 0);

  /* A dynamic record whose sample i is fn(i) (rounded to float for single). */
  void set_dynamic (const std::function<double (int)> &fn, guint index = 0);

  /* NaN in the buffer and the value, state unset: a generator that fails to
   * write the record is caught. */
  void poison (guint index = 0);

  VornAttribState state (guint index = 0) const { return VornAttribState (vals[index].state); }
  /* The constant value, converted to double. */
  double value (guint index = 0) const;
  /* Sample @i: from the buffer when dynamic, else the constant value. */
  double at (int i, guint index = 0) const;
  /* The 64 samples at() gives. */
  std::vector<double> fragment (guint index = 0) const;

private:
  VornFormat fmt;
  guint count;
  VornAttribVal *vals;
};

/* One render variant: the index into a variant table is format * 3 + simd. */
struct GenVariant
{
  VornFormat format;
  VornSimd simd;
};

/* The six variants in table order (single SSE2, AVX, AVX2, then double). */
std::vector<GenVariant> gen_variants ();

/* "SSE2_F" ... "AVX2_D": names for INSTANTIATE_TEST_SUITE_P. */
std::string gen_variant_name (const testing::TestParamInfo<GenVariant> &info);

/* The JSON text @object serializes to, on one line. */
std::string json_text (gpointer object);

/* TRUE when this processor can run @simd code. */
inline bool simd_supported (VornSimd simd) { return simd <= vorn_util_cpu_detect (); }

/* Fixture of tests run once per variant; skips the instruction sets this
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
  /* A stopped CPU synthesizer with "audio-format" @format, "simd" @simd,
   * "speaker-count" @speakers and "sample-rate" @sample_rate, and a queue
   * made for it from an empty root node. */
  GenHarness (VornFormat format, VornSimd simd, guint speakers = 2, double sample_rate = 48000.0);
  explicit GenHarness (const GenVariant &variant, guint speakers = 2, double sample_rate = 48000.0)
      : GenHarness (variant.format, variant.simd, speakers, sample_rate) {}
  ~GenHarness ();
  GenHarness (const GenHarness &) = delete;
  GenHarness &operator= (const GenHarness &) = delete;

  VornQueue *queue () const { return queue_; }
  VornFormat format () const { return format_; }
  /* The level generators render with (the request limited to the detected
   * level). */
  VornSimd simd () const { return simd_; }

  /* Creates @node's generator through vorn_node_create_gen(); the harness
   * keeps it (releasing any earlier one) and returns it borrowed, or NULL
   * when the node makes none.  Every slot starts unbound (NULL). */
  VornGen *create_gen (VornNode *node);

  /* Points slot @slot (sources first, then destinations) at record @index of
   * @records, or at nothing. */
  void bind (guint slot, AttribRecords &records, guint index = 0) { slot_ref (slot) = records.val (index); }
  void unbind (guint slot) { slot_ref (slot) = nullptr; }

  /* One fragment through the generator's render function.  The heap
   * allocations it makes add up in allocations() (0 where they cannot be
   * counted): render functions must never allocate. */
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
