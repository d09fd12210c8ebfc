/* vorn-test-audio.cpp: offline playing and measuring of instruments */
#include "vorn-test-audio.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace vorn_test {

Player::Player (VornInst *inst, VornFormat format, VornSimd simd, guint cores)
{
  synth = vorn_synth_cpu_new ();
  g_object_set (synth, "speaker-count", guint (AUDIO_SPEAKERS), "sample-rate", double (AUDIO_RATE),
                "audio-format", format, nullptr);
  if (simd != VORN_SIMD_AUTO)
    g_object_set (synth, "simd", simd, nullptr);
  if (cores)
    g_object_set (synth, "cores", cores, nullptr);
  vorn_synth_start (synth, nullptr);
  vorn_synth_set_inst (synth, 0, inst);
}

Player::~Player ()
{
  drain ();
  vorn_synth_stop (synth);
  drain ();
  g_object_unref (synth);
}

void
Player::on (int note, int velocity)
{
  vorn_synth_note_on (synth, 0, 0, 0, guint8 (note), guint8 (velocity), nullptr);
}

void
Player::off (int note)
{
  vorn_synth_note_off (synth, 0, 0, 0, guint8 (note), 0);
}

void
Player::render (std::vector<float> &out, double seconds)
{
  const size_t frames = size_t (std::lround (seconds * AUDIO_RATE)), at = out.size ();
  out.resize (at + frames * AUDIO_SPEAKERS);
  vorn_synth_render_interleaved (synth, out.data () + at, guint (frames));
  drain ();
}

guint
Player::sounding ()
{
  guint active = 0;
  vorn_synth_voice_stats (synth, &active, nullptr, FALSE);
  return active;
}

VornSimd
Player::simd ()
{
  VornSimd level = VORN_SIMD_SSE2;
  vorn_synth_cpu_get_render_props (synth, nullptr, nullptr, nullptr, &level);
  return level;
}

void
Player::drain ()
{
  while (VornSynthMsg *msg = vorn_synth_get_message (synth))
    vorn_synth_msg_free (msg);
}

std::vector<double>
mono (const std::vector<float> &x, size_t from, size_t to)
{
  std::vector<double> out;
  to = std::min (to, x.size () / AUDIO_SPEAKERS);
  for (size_t i = from; i < to; i++)
    out.push_back (double (x[i * AUDIO_SPEAKERS]) + x[i * AUDIO_SPEAKERS + 1]);
  return out;
}

void
fft (std::vector<std::complex<double>> &f)
{
  const size_t N = f.size ();
  for (size_t i = 1, j = 0; i < N; i++)
    {
      size_t bit = N >> 1;
      for (; j & bit; bit >>= 1)
        j ^= bit;
      j ^= bit;
      if (i < j)
        std::swap (f[i], f[j]);
    }
  /* Twiddles from std::polar each, not by recurrence: the alias tests
   * read components 120 dB down. */
  for (size_t len = 2; len <= N; len <<= 1)
    for (size_t i = 0; i < N; i += len)
      for (size_t k = 0; k < len / 2; k++)
        {
          const auto u = f[i + k], v = f[i + k + len / 2] * std::polar (1.0, -2 * M_PI * double (k) / double (len));
          f[i + k] = u + v;
          f[i + k + len / 2] = u - v;
        }
}

std::vector<double>
power_spectrum (const std::vector<double> &x)
{
  constexpr size_t N = 4096;
  std::vector<double> power (N / 2);
  size_t windows = 0;
  for (size_t start = 0; start + N <= x.size (); start += N / 2, windows++)
    {
      std::vector<std::complex<double>> f (N);
      for (size_t i = 0; i < N; i++)
        f[i] = (0.5 - 0.5 * std::cos (2 * M_PI * double (i) / N)) * x[start + i];
      fft (f);
      for (size_t k = 0; k < N / 2; k++)
        power[k] += std::norm (f[k]);
    }
  for (double &p : power)
    p /= double (std::max<size_t> (windows, 1));
  return power;
}

double
peak (const std::vector<float> &x)
{
  double p = 0;
  for (float v : x)
    p = std::max (p, double (std::fabs (v)));
  return p;
}

double
db (double amplitude)
{
  return 20 * std::log10 (std::max (amplitude, 1e-12));
}

} // namespace vorn_test
