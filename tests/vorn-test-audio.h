/* vorn-test-audio.h: playing an instrument offline and measuring what it
 * sounds like, for the tests that listen to whole instruments. */
#pragma once

#include "vornadel.h"

#include <complex>
#include <vector>

namespace vorn_test {

constexpr int AUDIO_RATE = 48000;
constexpr int AUDIO_SPEAKERS = 2;

/* One CPU synthesizer playing @inst on channel 0, at AUDIO_RATE with
 * AUDIO_SPEAKERS speakers; @simd VORN_SIMD_AUTO and @cores 0 keep the
 * synthesizer's defaults. */
class Player
{
public:
  explicit Player (VornInst *inst, VornFormat format = VORN_FORMAT_SINGLE,
                   VornSimd simd = VORN_SIMD_AUTO, guint cores = 0);
  ~Player ();
  Player (const Player &) = delete;
  Player &operator= (const Player &) = delete;

  void on (int note, int velocity = 127);
  void off (int note);
  /* Appends @seconds of interleaved frames to @out. */
  void render (std::vector<float> &out, double seconds);
  /* Voices still sounding. */
  guint sounding ();
  /* The instruction set the synthesizer renders with. */
  VornSimd simd ();

private:
  void drain ();
  VornSynth *synth;
};

/* Left plus right of interleaved frames [from, to). */
std::vector<double> mono (const std::vector<float> &x, size_t from, size_t to);

/* In-place radix-2 FFT; @f's size is a power of two. */
void fft (std::vector<std::complex<double>> &f);

/* Power spectrum of @x (bin k at k * AUDIO_RATE / 4096 Hz): Hann windows of
 * 4096 samples, half overlapping, averaged. */
std::vector<double> power_spectrum (const std::vector<double> &x);

double peak (const std::vector<float> &x);

/* Decibels of an amplitude, floored at -240 dB. */
double db (double amplitude);

} // namespace vorn_test
