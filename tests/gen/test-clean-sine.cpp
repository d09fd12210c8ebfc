/* The sine-shaped presets are clean sines: played as an oscillator, every
 * harmonic of their curve stays 60 dB below the fundamental. */
#include "vorn-test-audio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

using namespace vorn_test;

constexpr double BIN_HZ = double (AUDIO_RATE) / 4096;
constexpr double FUNDAMENTAL = 440.0; /* note 69 at the sine's own x-scale */

/* Power of the spectrum around @hz: the Hann window spreads a partial over
 * a few bins. */
double
partial_power (const std::vector<double> &spectrum, double hz)
{
  const int centre = int (std::lround (hz / BIN_HZ));
  double power = 0;
  for (int k = std::max (1, centre - 3); k <= centre + 3 && k < int (spectrum.size ()); k++)
    power += spectrum[k];
  return power;
}

/* A preset whose curve has a handle off its point is one of the sine shapes. */
bool
is_curved (VornCurve *curve)
{
  for (int k = 0; k < VORN_CURVE_COORD_LENGTH (curve); k++)
    {
      const int owner = 3 * ((k + 1) / 3);
      if (curve->xcoords[k] != curve->xcoords[owner] || curve->ycoords[k] != curve->ycoords[owner])
        return true;
    }
  return false;
}

TEST (CleanSine, EveryHarmonicOfTheSineShapesIsBelowMinus60dB)
{
  int measured = 0;
  for (int i = 0; i < VORN_WAVE_PRESET_COUNT; i++)
    {
      const auto preset = VornWavePreset (i);
      g_autoptr (VornWave) shape = vorn_wave_new_from_preset (preset);
      if (!is_curved (shape->curve))
        continue;
      SCOPED_TRACE (vorn_wave_preset_get_nick (preset));
      measured++;
      /* The preset's curve as the one oscillator of a bare instrument. */
      g_autoptr (VornWave) osc = vorn_wave_new_from_preset (VORN_WAVE_PRESET_SIGNAL_SINE);
      g_object_set (osc, "curve", shape->curve, "y-scale", 0.5, nullptr);
      g_autoptr (VornInst) inst = vorn_inst_new ();
      vorn_node_insert (VORN_NODE (inst), VORN_NODE (osc), -1);

      Player player (inst, VORN_FORMAT_DOUBLE);
      std::vector<float> out;
      player.on (69);
      player.render (out, 1.0);
      const std::vector<double> spectrum
          = power_spectrum (mono (out, AUDIO_RATE / 10, out.size () / AUDIO_SPEAKERS));
      const double fundamental = partial_power (spectrum, FUNDAMENTAL);
      ASSERT_GT (fundamental, 0.0);
      for (int h = 2; h * FUNDAMENTAL < AUDIO_RATE / 2 - 4 * BIN_HZ; h++)
        EXPECT_LE (10 * std::log10 (partial_power (spectrum, h * FUNDAMENTAL) / fundamental), -60.0)
            << "harmonic " << h;
    }
  /* The signal sine and the volume, pitch and balance modulations. */
  EXPECT_EQ (measured, 4);
}

} // namespace
