/* Biquad filters: magnitude response, parameter conditioning and caching, speaker
 * channels, silence without denormals, agreement of the render variants. */
#include "gen-harness.h"
#include "vorn-test-log.h"

#include <cmath>

using namespace vorn_test;

namespace {

enum Kind { LOWPASS, HIGHPASS, BANDPASS };
enum { FREQ, Q, SRC, DEST };

constexpr double RATE = 48000.0;

VornNode *
new_filter (Kind kind)
{
  switch (kind)
    {
    case LOWPASS: return VORN_NODE (vorn_filter_rbj_lowpass_new ());
    case HIGHPASS: return VORN_NODE (vorn_filter_rbj_highpass_new ());
    default: return VORN_NODE (vorn_filter_rbj_bandpass_new ());
    }
}

/* One filter generator with its own input and output records. */
struct Rig
{
  GenHarness h;
  AttribRecords freq, q, src, dest;
  VornGen *gen;

  Rig (Kind kind, VornFormat format, VornSimd simd = VORN_SIMD_SSE2, guint speakers = 1)
      : h (format, simd, speakers, RATE), freq (format), q (format), src (format, speakers),
        dest (format, speakers)
  {
    g_autoptr (VornNode) node = new_filter (kind);
    if (speakers > 1)
      g_object_set (node, "src-attrib", VORN_ATTRIB_TYPE_SPEAKERS, "dest-attrib",
                    VORN_ATTRIB_TYPE_SPEAKERS, nullptr);
    gen = h.create_gen (node);
    for (auto [slot, rec] : { std::pair (FREQ, &freq), { Q, &q }, { SRC, &src }, { DEST, &dest } })
      h.bind (slot, *rec);
  }
  /* The three generator structures share their layout. */
  VornFilterRbjGenData *rbj () { return &reinterpret_cast<VornFilterRbjLowpassGen *> (gen)->rbj; }
};

/* Deterministic white noise in [-1, 1). */
double
noise (guint64 n)
{
  n = (n + 1) * G_GUINT64_CONSTANT (0x9E3779B97F4A7C15);
  n ^= n >> 29;
  n *= G_GUINT64_CONSTANT (0xBF58476D1CE4E5B9);
  n ^= n >> 32;
  return double (n >> 11) / double (G_GUINT64_CONSTANT (1) << 52) - 1.0;
}

/* Amplitude of the filter's steady-state response to a unit sine at f. */
double
measured_magnitude (Kind kind, VornFormat format, double fc, double q, double f)
{
  Rig r (kind, format);
  r.freq.set_const (fc);
  r.q.set_const (q);
  /* Whole periods after 75 fragments of settling. */
  const double w = 2 * M_PI * f / RATE;
  const int settle = 75 * VORN_FRAGMENT_SIZE, len = int (std::lround (std::ceil (8192 * f / RATE) * RATE / f));
  double s = 0, c = 0;
  for (int base = 0; base < settle + len; base += VORN_FRAGMENT_SIZE)
    {
      r.src.set_dynamic ([&] (int i) { return std::sin (w * (base + i)); });
      r.h.render ();
      for (int i = 0, n = base - settle; i < VORN_FRAGMENT_SIZE; i++, n++)
        if (n >= 0 && n < len)
          s += r.dest.at (i) * std::sin (w * (base + i)), c += r.dest.at (i) * std::cos (w * (base + i));
    }
  return 2.0 / len * std::hypot (s, c);
}

const Kind kinds[] = { LOWPASS, HIGHPASS, BANDPASS };

} // namespace

/* Sine responses in the pass band, at the cutoff (where the low and high
 * passes peak at their Q and the band pass at 0 dB), on the skirts and deep
 * in the stop band, in decibels of the cookbook transfer functions. */
TEST (FilterRbj, MagnitudeResponse)
{
  const struct { Kind kind; double fc, q, f, db; } rows[] = {
    { LOWPASS, 200, 0.707, 50, -0.02 },     { LOWPASS, 200, 0.707, 200, -3.01 },
    { LOWPASS, 200, 0.707, 2000, -40.10 },  { LOWPASS, 200, 0.707, 15000, -82.33 },
    { HIGHPASS, 1000, 4.0, 100, -39.94 },   { HIGHPASS, 1000, 4.0, 1000, 12.04 },
    { BANDPASS, 6000, 0.3, 600, -10.34 },   { BANDPASS, 6000, 0.3, 6000, 0.0 },
    { BANDPASS, 6000, 0.3, 18000, -5.89 },
  };
  for (VornFormat format : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    for (const auto &row : rows)
      {
        SCOPED_TRACE (testing::Message () << "kind " << row.kind << " format " << format
                                          << " fc " << row.fc << " q " << row.q << " f " << row.f);
        const double got = 20 * std::log10 (measured_magnitude (row.kind, format, row.fc, row.q, row.f));
        /* Below -60 dB single precision meets its noise floor. */
        if (row.db > -60.0)
          EXPECT_NEAR (got, row.db, 0.5);
        else
          EXPECT_LT (got, -55.0);
      }
}

/* A parameter given as a constant or as that value in every sample. */
void
set_param (AttribRecords &rec, double value, bool per_sample)
{
  if (per_sample)
    rec.set_dynamic ([value] (int) { return value; });
  else
    rec.set_const (value);
}

/* Identical bits from filter pairs: out-of-range values against their limits, and changing
 * scalars against the same values per sample (no coefficient outlives a change). */
TEST (FilterRbj, ParametersConditionedAndNeverStale)
{
  struct Case { double f, q, f_ref, q_ref; bool f_dyn; };
  const Case limits[] = {
    { 30000, 1, 24000, 1, false }, { 0, 1, 20, 1, false },          { -5, 1, 20, 1, false },
    { 1000, 0, 1000, 0.001, false }, { 1000, 5000, 1000, 1000, false }, { 30000, 1, 24000, 1, true },
    { -100, 5000, 20, 1000, true },
  };
  const double steps[][2] = { { 1000, 1 }, { 1000, 1 }, { 1000, 2 }, { 2000, 2 }, { 2000, 0.5 }, { 300, 0.5 } };
  for (VornFormat format : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    for (Kind kind : kinds)
      for (std::size_t n = 0; n < G_N_ELEMENTS (limits) + 3; n++)
        {
          SCOPED_TRACE (testing::Message () << "kind " << kind << " format " << format << " case " << n);
          Rig a (kind, format), b (kind, format);
          for (int frag = 0; frag < 6; frag++)
            {
              if (n < G_N_ELEMENTS (limits))
                {
                  const Case &c = limits[n];
                  set_param (a.freq, c.f, c.f_dyn), a.q.set_const (c.q);
                  b.freq.set_const (c.f_ref), b.q.set_const (c.q_ref);
                }
              else /* per sample: 1 frequency, 2 Q, 3 both */
                {
                  const int dyn = int (n - G_N_ELEMENTS (limits)) + 1;
                  a.freq.set_const (steps[frag][0]), a.q.set_const (steps[frag][1]);
                  set_param (b.freq, steps[frag][0], dyn & 1), set_param (b.q, steps[frag][1], dyn & 2);
                }
              for (Rig *r : { &a, &b })
                {
                  r->src.set_dynamic ([frag] (int i) { return noise (guint64 (frag * 64 + i)); });
                  EXPECT_TRUE (r->h.render ());
                }
              ASSERT_EQ (a.dest.fragment (), b.dest.fragment ()) << "fragment " << frag;
            }
        }
}

/* After an impulse, long silence settles on a tiny offset instead of decaying into denormals. */
TEST (FilterRbj, SilenceStaysOutOfDenormals)
{
  for (VornFormat format : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    for (Kind kind : kinds)
      {
        SCOPED_TRACE (testing::Message () << "kind " << kind << " format " << format);
        Rig r (kind, format);
        r.freq.set_const (1000.0);
        r.q.set_const (0.707);
        r.src.set_dynamic ([] (int i) { return i == 0 ? 1.0 : 0.0; });
        r.h.render ();
        r.src.set_const (0.0);
        auto subnormal = [format] (double y) {
          return std::fpclassify (format == VORN_FORMAT_DOUBLE ? y : float (y)) == FP_SUBNORMAL;
        };
        int subnormals = 0;
        for (int frag = 0; frag < 800; frag++)
          {
            r.h.render ();
            for (double y : r.dest.fragment ())
              subnormals += subnormal (y);
            for (int k = 0; k < 2; k++)
              subnormals += subnormal (format == VORN_FORMAT_DOUBLE ? static_cast<double *> (r.rbj ()->delay)[k]
                                                                    : static_cast<float *> (r.rbj ()->delay)[k]);
          }
        EXPECT_EQ (subnormals, 0);
        for (double y : r.dest.fragment ())
          EXPECT_LE (std::fabs (y), 1e-7);
      }
}

/* Every variant matches SSE2 bit for bit over all parameter paths, without allocating. */
using FilterRbjVariant = vorn_test::VariantTest;

TEST_P (FilterRbjVariant, MatchesSse2AndDoesNotAllocate)
{
  const GenVariant v = GetParam ();
  for (Kind kind : kinds)
    {
      Rig test (kind, v.format, v.simd, 2), ref (kind, v.format, VORN_SIMD_SSE2, 2);
      for (int frag = 0; frag < 16; frag++)
        {
          for (Rig *r : { &test, &ref })
            {
              if (frag % 4 < 2)
                r->freq.set_const (frag < 8 ? 700.0 : 9000.0);
              else
                r->freq.set_dynamic ([frag] (int i) { return 50.0 + 300.0 * (i + frag); });
              if (frag % 2)
                r->q.set_dynamic ([] (int i) { return 0.2 + 0.3 * i; });
              else
                r->q.set_const (3.0);
              for (guint ch = 0; ch < 2; ch++)
                r->src.set_dynamic ([frag, ch] (int i) { return noise (guint64 (frag * 64 + i) + ch * 9999); }, ch);
            }
          test.h.render ();
          ref.h.render ();
          for (guint ch = 0; ch < 2; ch++)
            ASSERT_EQ (test.dest.fragment (ch), ref.dest.fragment (ch)) << kind << " " << frag;
        }
    }
}

VORN_GEN_VARIANTS (FilterRbjVariant);
