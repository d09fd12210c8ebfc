/* The sine-shaped presets are clean sines: played as an oscillator, every
 * harmonic of their curve stays 60 dB below the fundamental. */
#include "vorn-test-audio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

using namespace vorn_test;

constexpr double BIN_HZ = double (AUDIO_RATE) / 4096;

/* Power around @hz: the Hann window spreads a partial over a few bins. */
double
partial_power (const std::vector<double> &spectrum, double hz)
{
  const int centre = int (std::lround (hz / BIN_HZ));
  double power = 0;
  for (int k = std::max (1, centre - 3); k <= centre + 3 && k < int (spectrum.size ()); k++)
    power += spectrum[k];
  return power;
}

TEST (CleanSine, EveryHarmonicOfTheSineShapesIsBelowMinus60dB)
{
  for (auto preset : { VORN_WAVE_PRESET_SIGNAL_SINE, VORN_WAVE_PRESET_VOLUME_MODULATION,
                       VORN_WAVE_PRESET_PITCH_MODULATION, VORN_WAVE_PRESET_BALANCE_MODULATION })
    {
      SCOPED_TRACE (vorn_wave_preset_get_nick (preset));
      /* The preset's curve as the one oscillator (440 Hz at note 69) of a
       * bare instrument. */
      g_autoptr (VornWave) shape = vorn_wave_new_from_preset (preset);
      g_autoptr (VornWave) osc = vorn_wave_new_from_preset (VORN_WAVE_PRESET_SIGNAL_SINE);
      g_object_set (osc, "curve", shape->curve, "y-scale", 0.5, nullptr);
      g_autoptr (VornInst) inst = vorn_inst_new ();
      vorn_node_insert (VORN_NODE (inst), VORN_NODE (osc), -1);

      Player player (inst, VORN_FORMAT_DOUBLE);
      std::vector<float> out;
      player.on (69);
      player.render (out, 1.0);
      const auto spectrum = power_spectrum (mono (out, AUDIO_RATE / 10, out.size () / AUDIO_SPEAKERS));
      const double fundamental = partial_power (spectrum, 440.0);
      ASSERT_GT (fundamental, 0.0);
      for (int h = 2; h * 440.0 < AUDIO_RATE / 2 - 4 * BIN_HZ; h++)
        EXPECT_LE (10 * std::log10 (partial_power (spectrum, h * 440.0) / fundamental), -60.0)
            << "harmonic " << h;
    }
}

} // namespace
