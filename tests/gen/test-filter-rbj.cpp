/* Biquad filters: measured magnitude response against the cookbook
 * formula, parameter conditioning, coefficient caching, per-speaker delay
 * lines, silence without denormals, and agreement of the render variants. */
#include "gen-harness.h"
#include "vorn-test-log.h"

#include <cmath>
#include <complex>

using vorn_test::AttribRecords;
using vorn_test::GenHarness;
using vorn_test::GenVariant;

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

/* The three generator structures share their layout. */
VornFilterRbjGenData *
data_of (VornGen *gen)
{
  return &reinterpret_cast<VornFilterRbjLowpassGen *> (gen)->rbj;
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
    h.bind (FREQ, freq);
    h.bind (Q, q);
    h.bind (SRC, src);
    h.bind (DEST, dest);
  }
  ~Rig () { EXPECT_EQ (h.allocations (), 0u) << "the render allocated"; }
  VornFilterRbjGenData *rbj () { return data_of (gen); }
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

/* |H| of the cookbook filter with cutoff fc and quality q at frequency f. */
double
cookbook_magnitude (Kind kind, double fc, double q, double f)
{
  const double w0 = 2 * M_PI * fc / RATE, c = std::cos (w0), alpha = std::sin (w0) / (2 * q);
  double b0, b1, b2;
  switch (kind)
    {
    case LOWPASS: b0 = b2 = (1 - c) / 2; b1 = 1 - c; break;
    case HIGHPASS: b0 = b2 = (1 + c) / 2; b1 = -(1 + c); break;
    default: b0 = alpha; b1 = 0; b2 = -alpha; break;
    }
  const std::complex<double> z1 = std::polar (1.0, -2 * M_PI * f / RATE), z2 = z1 * z1;
  return std::abs ((b0 + b1 * z1 + b2 * z2) / (1 + alpha - 2 * c * z1 + (1 - alpha) * z2));
}

/* Amplitude of the filter's steady-state response to a unit sine at f. */
double
measured_magnitude (Kind kind, VornFormat format, double fc, double q, double f)
{
  Rig r (kind, format);
  r.freq.set_const (fc);
  r.q.set_const (q);
  const double w = 2 * M_PI * f / RATE;
  const int settle = 75 * VORN_FRAGMENT_SIZE;
  const int periods = int (std::ceil (8192 * f / RATE));
  const int len = int (std::lround (periods * RATE / f));
  double s = 0, c = 0;
  for (int base = 0; base < settle + len; base += VORN_FRAGMENT_SIZE)
    {
      r.src.set_dynamic ([&] (int i) { return std::sin (w * (base + i)); });
      r.h.render ();
      for (int i = 0; i < VORN_FRAGMENT_SIZE; i++)
        {
          const int n = base + i - settle;
          if (n >= 0 && n < len)
            {
              s += r.dest.at (i) * std::sin (w * (base + i));
              c += r.dest.at (i) * std::cos (w * (base + i));
            }
        }
    }
  return 2.0 / len * std::hypot (s, c);
}

const Kind kinds[] = { LOWPASS, HIGHPASS, BANDPASS };

} // namespace

TEST (FilterRbj, NodesGeneratorsAndJson)
{
  for (Kind kind : kinds)
    {
      g_autoptr (VornNode) node = new_filter (kind);
      const char *qname = kind == BANDPASS ? "width-attrib" : "q-attrib";
      /* Enumerations are written as nicks, defaults included. */
      EXPECT_EQ (vorn_test::json_text (node),
                 std::string (R"({"type":")") + G_OBJECT_TYPE_NAME (node) + R"(","freq-attrib":"control",")"
                   + qname + R"(":"control","src-attrib":"signal","dest-attrib":"signal"})");
      EXPECT_EQ (g_object_class_find_property (G_OBJECT_GET_CLASS (node), "q-attrib") != nullptr,
                 kind != BANDPASS);

      g_object_set (node, qname, VORN_ATTRIB_TYPE_EFFECT3, "dest-attrib",
                    VORN_ATTRIB_TYPE_SPEAKERS, nullptr);
      g_autoptr (VornNode) copy = vorn_node_duplicate (node);
      EXPECT_EQ (vorn_test::json_text (copy), vorn_test::json_text (node));

      /* Speakers as destination: one delay line per speaker. */
      GenHarness h (VORN_FORMAT_DOUBLE, VORN_SIMD_SSE2, 4);
      VornGen *gen = h.create_gen (copy);
      ASSERT_NE (gen, nullptr);
      EXPECT_EQ (gen->attribs[1], VORN_ATTRIB_TYPE_EFFECT3);
      EXPECT_EQ (gen->attribs[3], VORN_ATTRIB_TYPE_SPEAKERS);
      EXPECT_EQ (data_of (gen)->channels, 4u);
      g_object_set (node, "dest-attrib", VORN_ATTRIB_TYPE_SIGNAL, nullptr);
      EXPECT_EQ (data_of (h.create_gen (node))->channels, 1u);
    }
}

/* Sine responses at cutoffs and Q values spread over the range, from 20 Hz
 * to 20 kHz, against the cookbook's transfer function. */
TEST (FilterRbj, MagnitudeResponseMatchesCookbook)
{
  const double settings[][2] = { { 200.0, 0.707 }, { 1000.0, 4.0 }, { 6000.0, 0.3 } };
  for (VornFormat format : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    for (Kind kind : kinds)
      for (const auto &set : settings)
        for (double f = 20.0; f <= 20000.0; f *= 1.6)
          {
            SCOPED_TRACE (testing::Message () << "kind " << kind << " format " << format
                                              << " fc " << set[0] << " q " << set[1] << " f " << f);
            const double want = 20 * std::log10 (cookbook_magnitude (kind, set[0], set[1], f));
            const double got = 20 * std::log10 (measured_magnitude (kind, format, set[0], set[1], f));
            if (want > -60.0)
              EXPECT_NEAR (got, want, 0.5);
            else
              EXPECT_LT (got, -55.0);
          }
}

/* Out-of-range parameters behave exactly like their limits, whether they
 * arrive as scalars (cached) or per sample. */
TEST (FilterRbj, ParametersAreConditioned)
{
  struct Case { double f, q, f_ref, q_ref; bool f_dyn; };
  const Case cases[] = {
    { 30000.0, 1.0, 24000.0, 1.0, false }, { 0.0, 1.0, 20.0, 1.0, false },
    { -5.0, 1.0, 20.0, 1.0, false },       { 1000.0, 0.0, 1000.0, 0.001, false },
    { 1000.0, 5000.0, 1000.0, 1000.0, false }, { 30000.0, 1.0, 24000.0, 1.0, true },
    { -100.0, 5000.0, 20.0, 1000.0, true },
  };
  for (VornFormat format : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    for (Kind kind : kinds)
      for (const Case &c : cases)
        {
          SCOPED_TRACE (testing::Message () << "kind " << kind << " f " << c.f << " q " << c.q);
          Rig a (kind, format), b (kind, format);
          if (c.f_dyn)
            a.freq.set_dynamic ([&] (int) { return c.f; });
          else
            a.freq.set_const (c.f);
          a.q.set_const (c.q);
          b.freq.set_const (c.f_ref);
          b.q.set_const (c.q_ref);
          for (int frag = 0; frag < 4; frag++)
            {
              auto in = [frag] (int i) { return noise (guint64 (frag * 64 + i)); };
              a.src.set_dynamic (in);
              b.src.set_dynamic (in);
              EXPECT_TRUE (a.h.render ());
              b.h.render ();
              ASSERT_EQ (a.dest.fragment (), b.dest.fragment ()) << "fragment " << frag;
              EXPECT_EQ (a.dest.state (), VORN_ATTRIB_STATE_DYNAMIC);
            }
        }
}

TEST (FilterRbj, CoefficientCache)
{
  Rig r (LOWPASS, VORN_FORMAT_DOUBLE);
  VornFilterRbjGenData *d = r.rbj ();
  r.src.set_const (0.0);
  r.freq.set_const (1000.0);
  r.q.set_const (1.0);
  r.h.render ();
  EXPECT_EQ (d->coef_mode, VORN_FILTER_RBJ_COEF_ALL);
  EXPECT_EQ (d->cached_freq.d, 1000.0);

  /* Unchanged scalars reuse the cache: a planted coefficient survives. */
  d->b0.d = 123.0;
  r.h.render ();
  EXPECT_EQ (d->b0.d, 123.0);
  r.q.set_const (2.0);
  r.h.render ();
  EXPECT_NE (d->b0.d, 123.0);

  /* Per-sample Q: only the sine and cosine are cached. */
  r.q.set_dynamic ([] (int i) { return 0.5 + i; });
  r.h.render ();
  EXPECT_EQ (d->coef_mode, VORN_FILTER_RBJ_COEF_SINCOS);
  d->sin_w0.d = 0.5;
  r.h.render ();
  EXPECT_EQ (d->sin_w0.d, 0.5);
  r.freq.set_const (2000.0);
  r.h.render ();
  EXPECT_DOUBLE_EQ (d->sin_w0.d, std::sin (2 * M_PI * 2000.0 / RATE));

  /* Per-sample frequency leaves the cache alone. */
  r.freq.set_dynamic ([] (int i) { return 100.0 * (i + 1); });
  r.h.render ();
  EXPECT_EQ (d->coef_mode, VORN_FILTER_RBJ_COEF_SINCOS);
  EXPECT_EQ (d->cached_freq.d, 2000.0);
}

/* Each speaker has its own delay line: three channels fed like a mono
 * filter follow it exactly while the fourth gets another signal. */
TEST (FilterRbj, SpeakerChannelsAreIndependent)
{
  Rig mono (BANDPASS, VORN_FORMAT_SINGLE), four (BANDPASS, VORN_FORMAT_SINGLE, VORN_SIMD_SSE2, 4);
  for (Rig *r : { &mono, &four })
    {
      r->freq.set_const (800.0);
      r->q.set_const (2.0);
    }
  for (int frag = 0; frag < 3; frag++)
    {
      auto in = [frag] (int i) { return noise (guint64 (frag * 64 + i)); };
      mono.src.set_dynamic (in);
      for (guint ch = 0; ch < 4; ch++)
        four.src.set_dynamic (in, ch);
      four.src.set_dynamic ([] (int i) { return i % 2 ? 1.0 : -1.0; }, 2);
      mono.h.render ();
      four.h.render ();
      for (guint ch : { 0u, 1u, 3u })
        EXPECT_EQ (four.dest.fragment (ch), mono.dest.fragment ()) << ch;
      EXPECT_NE (four.dest.fragment (2), mono.dest.fragment ());
    }
}

/* An impulse, then long silence: the recursion settles on the tiny
 * alternating offset instead of decaying into denormal numbers. */
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
        int subnormals = 0;
        for (int frag = 0; frag < 800; frag++)
          {
            r.h.render ();
            for (double y : r.dest.fragment ())
              subnormals += std::fpclassify (format == VORN_FORMAT_DOUBLE ? y : float (y))
                            == FP_SUBNORMAL;
            for (int k = 0; k < 2; k++)
              subnormals += format == VORN_FORMAT_DOUBLE
                              ? std::fpclassify (static_cast<double *> (r.rbj ()->delay)[k]) == FP_SUBNORMAL
                              : std::fpclassify (static_cast<float *> (r.rbj ()->delay)[k]) == FP_SUBNORMAL;
          }
        EXPECT_EQ (subnormals, 0);
        for (double y : r.dest.fragment ())
          EXPECT_LE (std::fabs (y), 1e-7);
      }
}

/* Every variant agrees bit for bit with the SSE2 variant of its format over
 * all parameter paths, and renders without allocating (the rig checks). */
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
