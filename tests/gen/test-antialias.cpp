/* Band-limited oscillators: what is not a harmonic of the note stays far
 * below the fundamental, the harmonics keep their levels, and every variant
 * renders the same bits. */
#include "vorn-test-audio.h"
#include "vornadel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

namespace {

constexpr size_t N = 32768; /* analysis window, from 0.25 s on */

/* How the test curve differs from its preset: a saw's jump moved by a morph
 * (the top with its handles, or the top or bottom alone, leaving a vertical
 * tangent where the walk leaves or enters a segment), drawn as a steep
 * segment 1/1000 of the period wide, or as an S-shaped drop with vertical
 * tangents at both ends, @width of the period wide. */
enum Change { PLAIN, MORPH, MORPH_END, MORPH_START, STEEP, ROUND };

/* A bare instrument with one oscillator of @preset changed by @change; a
 * morph envelope drives the morphs. */
VornInst *
instrument (VornWavePreset preset, bool aa, Change change = PLAIN, double width = 0.05)
{
  VornInst *inst = vorn_inst_new ();
  VornWave *osc = vorn_wave_new_from_preset (preset);
  g_object_set (osc, "y-scale", 0.5, "anti-alias", aa, nullptr);
  if (change == STEEP)
    {
      VornCurve *c = osc->curve;
      vorn_curve_set_point (c, 1, 0.4995, 1, 0.4995, 1, 0.4995, 1);
      vorn_curve_set_point (c, 2, 0.5005, -1, 0.5005, -1, 0.5005, -1);
    }
  if (change == ROUND)
    {
      const double a = 0.5 - width / 2, b = 0.5 + width / 2;
      vorn_curve_set_point (osc->curve, 1, a, 1, a, 1, a, 0);
      vorn_curve_set_point (osc->curve, 2, b, 0, b, -1, b, -1);
    }
  if (change == MORPH || change == MORPH_END || change == MORPH_START)
    {
      /* Y coordinates: the top's handles 2 and 4, its end 3, the bottom's
       * end 6. */
      if (change == MORPH_START)
        vorn_wave_insert_morph_point (osc, 6, FALSE, 1.0, -0.4, nullptr);
      else
        for (guint index = change == MORPH ? 2 : 3; index <= (change == MORPH ? 4u : 3u); index++)
          vorn_wave_insert_morph_point (osc, index, FALSE, 1.0, 0.4, nullptr);
      /* Morphing at every wrap for 1/8 s, then held. */
      VornWave *mod = vorn_wave_new_from_preset (VORN_WAVE_PRESET_MORPH_ATTACK);
      g_object_set (mod, "x-scale", 8.0, nullptr);
      vorn_node_insert (VORN_NODE (inst), VORN_NODE (mod), -1);
      g_object_unref (mod);
    }
  vorn_node_insert (VORN_NODE (inst), VORN_NODE (osc), -1);
  g_object_unref (osc);
  return inst;
}

std::vector<double>
play (VornInst *inst, double rate, double note, VornSimd simd = VORN_SIMD_AUTO,
      VornFormat format = VORN_FORMAT_SINGLE)
{
  g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();
  /* One core: a measurement of the sound need not depend on how the
   * machine's load spreads voices over threads. */
  g_object_set (synth, "speaker-count", 1u, "sample-rate", rate, "audio-format", format, "cores", 1u,
                nullptr);
  if (simd != VORN_SIMD_AUTO)
    g_object_set (synth, "simd", simd, nullptr);
  EXPECT_TRUE (vorn_synth_start (synth, nullptr));
  vorn_synth_set_inst (synth, 0, inst);
  vorn_synth_start_voice (synth, 0, 0, note, 1.0, nullptr);
  std::vector<float> out (size_t (rate / 4) + N);
  vorn_synth_render_interleaved (synth, out.data (), guint (out.size ()));
  while (VornSynthMsg *msg = vorn_synth_get_message (synth))
    vorn_synth_msg_free (msg);
  vorn_synth_stop (synth);
  return { out.begin (), out.end () };
}

/* Magnitude spectrum of the window after 0.25 s (four-term Blackman-Harris). */
std::vector<double>
spectrum (const std::vector<double> &x)
{
  std::vector<std::complex<double>> f (N);
  const size_t from = x.size () - N;
  for (size_t i = 0; i < N; i++)
    {
      const double a = 2 * M_PI * double (i) / (N - 1);
      f[i] = (0.35875 - 0.48829 * cos (a) + 0.14128 * cos (2 * a) - 0.01168 * cos (3 * a)) * x[from + i];
    }
  vorn_test::fft (f);
  std::vector<double> m (N / 2);
  for (size_t k = 0; k < N / 2; k++)
    m[k] = std::abs (f[k]);
  return m;
}

double
note_hz (double note)
{
  return 440.0 * std::pow (2.0, (note - 69) / 12);
}

/* Strongest component within 20 Hz..20 kHz that lies more than 30 Hz from
 * every harmonic, in dB re the fundamental. */
double
alias_db (const std::vector<double> &x, double rate, double note)
{
  const auto m = spectrum (x);
  const double bin = rate / N, f0 = note_hz (note);
  double fund = 0, worst = 0;
  for (size_t k = 1; k < m.size (); k++)
    {
      const double hz = k * bin, h = std::round (hz / f0);
      if (std::abs (hz - f0) < 30)
        fund = std::max (fund, m[k]);
      else if (hz >= 20 && hz <= 20000 && std::abs (hz - h * f0) > 30)
        worst = std::max (worst, m[k]);
    }
  return 20 * std::log10 (worst / fund);
}

TEST (Antialias, NonHarmonicComponentsStayBelowTheLimits)
{
  static const struct { VornWavePreset preset; Change change; double note; double width = 0.05; } cases[] = {
    { VORN_WAVE_PRESET_SIGNAL_SAW_UP, PLAIN, 72 },  { VORN_WAVE_PRESET_SIGNAL_SAW_UP, PLAIN, 84 },
    { VORN_WAVE_PRESET_SIGNAL_SAW_UP, PLAIN, 96 },  { VORN_WAVE_PRESET_SIGNAL_SAW_UP, PLAIN, 108 },
    { VORN_WAVE_PRESET_SIGNAL_SQUARE, PLAIN, 72 },  { VORN_WAVE_PRESET_SIGNAL_SQUARE, PLAIN, 84 },
    { VORN_WAVE_PRESET_SIGNAL_SQUARE, PLAIN, 96 },  { VORN_WAVE_PRESET_SIGNAL_SQUARE, PLAIN, 108 },
    { VORN_WAVE_PRESET_SIGNAL_TRIANGLE, PLAIN, 96 },
    { VORN_WAVE_PRESET_SIGNAL_SAW_UP, MORPH, 96 },  { VORN_WAVE_PRESET_SIGNAL_SAW_UP, MORPH_END, 84 },
    { VORN_WAVE_PRESET_SIGNAL_SAW_UP, MORPH_END, 72 },  { VORN_WAVE_PRESET_SIGNAL_SAW_UP, MORPH_END, 96 },
    { VORN_WAVE_PRESET_SIGNAL_SAW_UP, MORPH_END, 108 }, { VORN_WAVE_PRESET_SIGNAL_SAW_UP, MORPH_START, 96 },
    { VORN_WAVE_PRESET_SIGNAL_SAW_UP, STEEP, 72 },  { VORN_WAVE_PRESET_SIGNAL_SAW_UP, STEEP, 96 },
    /* S-shaped drops 0.1, 1, 3.6, 7.8 and 8.4 samples wide at note 96. */
    { VORN_WAVE_PRESET_SIGNAL_SAW_UP, ROUND, 96, 0.005 }, { VORN_WAVE_PRESET_SIGNAL_SAW_UP, ROUND, 96, 0.05 },
    { VORN_WAVE_PRESET_SIGNAL_SAW_UP, ROUND, 96, 0.17 },  { VORN_WAVE_PRESET_SIGNAL_SAW_UP, ROUND, 96, 0.37 },
    { VORN_WAVE_PRESET_SIGNAL_SAW_UP, ROUND, 96, 0.4 },   { VORN_WAVE_PRESET_SIGNAL_SAW_UP, ROUND, 108, 0.05 },
  };
  for (double rate : { 44100.0, 48000.0 })
    for (const auto &c : cases)
      {
        SCOPED_TRACE (testing::Message () << vorn_wave_preset_get_nick (c.preset) << " change " << c.change
                                          << " note " << c.note << " width " << c.width << " at " << rate);
        g_autoptr (VornInst) inst = instrument (c.preset, true, c.change, c.width);
        EXPECT_LE (alias_db (play (inst, rate, c.note), rate, c.note), c.note <= 96 ? -80.0 : -60.0);
      }
}

TEST (Antialias, HarmonicsDcAndStartAreThoseOfTheRawCurve)
{
  g_autoptr (VornInst) on = instrument (VORN_WAVE_PRESET_SIGNAL_SAW_UP, true);
  g_autoptr (VornInst) off = instrument (VORN_WAVE_PRESET_SIGNAL_SAW_UP, false);
  const auto a = play (on, 48000, 60), b = play (off, 48000, 60);
  const auto ma = spectrum (a), mb = spectrum (b);
  const double bin = 48000.0 / N;
  for (int h = 1; h <= 20; h++)
    {
      const size_t k = size_t (std::lround (h * note_hz (60) / bin));
      double pa = 0, pb = 0;
      for (size_t j = k - 4; j <= k + 4; j++)
        pa = std::max (pa, ma[j]), pb = std::max (pb, mb[j]);
      EXPECT_NEAR (20 * std::log10 (pa / pb), 0.0, 0.1) << "harmonic " << h;
    }
  double dc = 0;
  for (size_t i = a.size () - N; i < a.size (); i++)
    dc += a[i] - b[i];
  EXPECT_NEAR (dc / N, 0.0, 1e-4) << "no DC";
  /* No click: the start reaches no further than the held note. */
  double start = 0, held = 0;
  for (size_t i = 0; i < a.size (); i++)
    (i < 256 ? start : held) = std::max (i < 256 ? start : held, std::abs (a[i]));
  EXPECT_LE (start, held);
}

TEST (Antialias, EveryVariantRendersTheSameBits)
{
  g_autoptr (VornInst) square = instrument (VORN_WAVE_PRESET_SIGNAL_SQUARE, true, MORPH);
  g_autoptr (VornInst) steep = instrument (VORN_WAVE_PRESET_SIGNAL_SAW_UP, true, STEEP);
  g_autoptr (VornInst) root = instrument (VORN_WAVE_PRESET_SIGNAL_SAW_UP, true, MORPH_END);
  g_autoptr (VornInst) round = instrument (VORN_WAVE_PRESET_SIGNAL_SAW_UP, true, ROUND, 0.1);
  for (VornInst *inst : { square, steep, root, round })
    for (VornFormat format : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
      {
        const auto ref = play (inst, 48000, 100.5, VORN_SIMD_SSE2, format);
        for (VornSimd simd : { VORN_SIMD_AVX, VORN_SIMD_AVX2, VORN_SIMD_AVX512 })
          if (simd <= vorn_util_cpu_detect ())
            {
              EXPECT_EQ (play (inst, 48000, 100.5, simd, format), ref) << "simd " << simd;
            }
      }
}


/* A saw at @note whose voice pitch follows @bend (semitones by time), set
 * before every fragment, as a pitch wheel or a pitch modulator would. */
std::vector<double>
play_bent (double rate, double note, double seconds, double (*bend) (double))
{
  g_autoptr (VornInst) inst = instrument (VORN_WAVE_PRESET_SIGNAL_SAW_UP, true);
  g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();
  g_object_set (synth, "speaker-count", 1u, "sample-rate", rate, nullptr);
  EXPECT_TRUE (vorn_synth_start (synth, nullptr));
  vorn_synth_set_inst (synth, 0, inst);
  const guint voice = vorn_synth_start_voice (synth, 0, 0, note, 1.0, nullptr);
  std::vector<float> out (size_t (rate * seconds) / VORN_FRAGMENT_SIZE * VORN_FRAGMENT_SIZE);
  for (size_t i = 0; i < out.size (); i += VORN_FRAGMENT_SIZE)
    {
      vorn_synth_set_voice_control (synth, voice, VORN_QUEUE_CONTROL_PITCH,
                                    note_hz (note + bend (double (i) / rate)) / 440.0);
      vorn_synth_render_interleaved (synth, out.data () + i, VORN_FRAGMENT_SIZE);
      while (VornSynthMsg *msg = vorn_synth_get_message (synth))
        vorn_synth_msg_free (msg);
    }
  vorn_synth_stop (synth);
  return { out.begin (), out.end () };
}

/* As alias_db() over x[from, from + M), for a pitch moving between lo and
 * hi Hz: every band from h * lo to h * hi (plus the window's main lobe) is
 * harmonic h. */
double
swept_alias_db (const std::vector<double> &x, size_t from, double rate, double lo, double hi)
{
  constexpr size_t M = 4096;
  std::vector<std::complex<double>> turn (M);
  std::vector<double> w (M);
  for (size_t n = 0; n < M; n++)
    {
      const double a = 2 * M_PI * double (n) / (M - 1);
      turn[n] = std::polar (1.0, -2 * M_PI * double (n) / M);
      w[n] = (0.35875 - 0.48829 * cos (a) + 0.14128 * cos (2 * a) - 0.01168 * cos (3 * a)) * x[from + n];
    }
  double fund = 0, worst = 0;
  for (size_t k = size_t (20 * M / rate) + 1; k * rate / M <= 20000; k++)
    {
      std::complex<double> sum = 0;
      for (size_t n = 0; n < M; n++)
        sum += w[n] * turn[k * n % M];
      const double hz = double (k) * rate / M, margin = 6 * rate / M;
      bool harmonic = false;
      for (double h = 1; h * lo - margin <= hz; h++)
        harmonic |= hz <= h * hi + margin;
      if (hz <= hi + margin)
        fund = std::max (fund, std::abs (sum));
      else if (!harmonic)
        worst = std::max (worst, std::abs (sum));
    }
  return 20 * std::log10 (worst / fund);
}

/* Pitch moved after the start: the corrections follow the increment of the
 * moment, held at an odd offset and in a slow sweep (measured in short
 * windows against the harmonics the window passed through).  The sweep is
 * slow because its steps at each fragment put sidebands at the fragment
 * rate (-76 dB at four semitones a second): real, but not aliasing. */
TEST (Antialias, PitchBendKeepsNonHarmonicComponentsDown)
{
  constexpr double NOTE = 96, UP = 1.37;
  for (double rate : { 44100.0, 48000.0 })
    {
      SCOPED_TRACE (testing::Message () << "at " << rate);
      EXPECT_LE (alias_db (play_bent (rate, NOTE, 0.25 + N / rate, [] (double t) { return t < 0.1 ? 0.0 : UP; }),
                           rate, NOTE + UP), -80.0) << "held";
      const auto sweep = [] (double t) { return t - 2; };
      const auto x = play_bent (rate, NOTE, 4.0, sweep);
      for (size_t from = 4096; from + 4096 <= x.size (); from += 4 * 4096)
        EXPECT_LE (swept_alias_db (x, from, rate, note_hz (NOTE + sweep ((from - 64.0) / rate)),
                                   note_hz (NOTE + sweep ((from + 4096 + 64.0) / rate))), -80.0)
            << "sweep at " << from / rate << " s";
    }
}

} // namespace
