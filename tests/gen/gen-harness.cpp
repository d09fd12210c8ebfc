/* gen-harness.cpp: runs one generator outside a compiled queue */
#include "gen-harness.h"
#include "vorn-test-alloc.h"

#include <cmath>

namespace vorn_test {

AttribRecords::AttribRecords (VornFormat format, guint n) : fmt (format), count (n ? n : 1)
{
  vals = g_new0 (VornAttribVal, count);
  for (guint i = 0; i < count; i++)
    {
      vals[i].buffer = vorn_util_alloc_aligned (VORN_FRAGMENT_SIZE * sizeof (double));
      vals[i].format = guint8 (fmt);
      vals[i].group_rest = guint8 (count - 1 - i);
      poison (i);
    }
}

AttribRecords::~AttribRecords ()
{
  for (guint i = 0; i < count; i++)
    vorn_util_free_aligned (vals[i].buffer);
  g_free (vals);
}

void
AttribRecords::set_const (double value, VornAttribState state, guint index)
{
  VornAttribVal *v = val (index);
  v->value.bits = 0;
  if (fmt == VORN_FORMAT_DOUBLE)
    v->value.d = value;
  else
    v->value.f = float (value);
  v->state = guint8 (state);
}

void
AttribRecords::set_dynamic (const std::function<double (int)> &fn, guint index)
{
  VornAttribVal *v = val (index);
  for (int i = 0; i < VORN_FRAGMENT_SIZE; i++)
    if (fmt == VORN_FORMAT_DOUBLE)
      static_cast<double *> (v->buffer)[i] = fn (i);
    else
      static_cast<float *> (v->buffer)[i] = float (fn (i));
  v->state = VORN_ATTRIB_STATE_DYNAMIC;
}

void
AttribRecords::poison (guint index)
{
  set_dynamic ([] (int) { return NAN; }, index);
  set_const (NAN, VORN_ATTRIB_STATE_UNSET, index);
}

double
AttribRecords::value (guint index) const
{
  g_assert (index < count);
  return fmt == VORN_FORMAT_DOUBLE ? vals[index].value.d : double (vals[index].value.f);
}

double
AttribRecords::at (int i, guint index) const
{
  g_assert (index < count && i >= 0 && i < VORN_FRAGMENT_SIZE);
  const VornAttribVal &v = vals[index];
  if (v.state != VORN_ATTRIB_STATE_DYNAMIC)
    return value (index);
  return fmt == VORN_FORMAT_DOUBLE ? static_cast<const double *> (v.buffer)[i]
                                   : double (static_cast<const float *> (v.buffer)[i]);
}

std::vector<double>
AttribRecords::fragment (guint index) const
{
  std::vector<double> out;
  for (int i = 0; i < VORN_FRAGMENT_SIZE; i++)
    out.push_back (at (i, index));
  return out;
}

std::vector<GenVariant>
gen_variants ()
{
  std::vector<GenVariant> out;
  for (VornFormat f : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    for (VornSimd s : { VORN_SIMD_SSE2, VORN_SIMD_AVX, VORN_SIMD_AVX2, VORN_SIMD_AVX512 })
      out.push_back ({ f, s });
  return out;
}

std::string
gen_variant_name (const testing::TestParamInfo<GenVariant> &info)
{
  static const char *const levels[] = { "SSE2", "AVX", "AVX2", "AVX512" };
  return std::string (levels[info.param.simd]) + (info.param.format == VORN_FORMAT_DOUBLE ? "_D" : "_F");
}

GenHarness::GenHarness (VornFormat format, VornSimd simd, guint speakers, double sample_rate)
    : format_ (format)
{
  synth_ = vorn_synth_cpu_new ();
  g_object_set (synth_, "audio-format", format, "simd", simd, "speaker-count", speakers,
                "sample-rate", sample_rate, nullptr);
  g_autoptr (VornNode) root = vorn_node_new ();
  queue_ = vorn_queue_new (root, synth_);
}

GenHarness::~GenHarness ()
{
  EXPECT_EQ (allocations_, 0u) << "the render allocated";
  g_clear_object (&gen_);
  g_clear_object (&queue_);
  g_clear_object (&synth_);
}

VornGen *
GenHarness::create_gen (VornNode *node)
{
  g_clear_object (&gen_);
  gen_ = vorn_node_create_gen (node, queue_);
  if (gen_)
    for (guint i = 0; i < guint (gen_->src_count) + gen_->dest_count; i++)
      gen_->attrib_vals[i] = nullptr;
  return gen_;
}

gboolean
GenHarness::render ()
{
  AllocationCounter counter;
  const gboolean result = gen_->render (gen_);
  if (AllocationCounter::available ())
    allocations_ += counter.count ();
  return result;
}

} // namespace vorn_test
