/* vorn-wave-presets.cpp: the factory waves offered by the editor */
#include "vorn-wave.h"

#include <initializer_list>
#include <utility>

G_DEFINE_ENUM_TYPE (VornWavePreset, vorn_wave_preset,
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_SIGNAL_SINE, "signal-sine"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_SIGNAL_TRIANGLE, "signal-triangle"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_SIGNAL_SQUARE, "signal-square"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_SIGNAL_SAW_UP, "signal-saw-up"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_SIGNAL_SAW_DOWN, "signal-saw-down"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_VOLUME_ATTACK, "volume-attack"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_VOLUME_RELEASE, "volume-release"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_VOLUME_MODULATION, "volume-modulation"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_PITCH_ATTACK, "pitch-attack"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_PITCH_RELEASE, "pitch-release"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_PITCH_MODULATION, "pitch-modulation"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_BALANCE_ATTACK, "balance-attack"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_BALANCE_RELEASE, "balance-release"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_BALANCE_MODULATION, "balance-modulation"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_MORPH_ATTACK, "morph-attack"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_MORPH_RELEASE, "morph-release"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PRESET_MORPH_MODULATION, "morph-modulation"))

namespace {

enum class Shape { SINE, TRIANGLE, SQUARE, SAW_UP, SAW_DOWN, RISE, FALL, PEAK };

struct Preset {
  const char *name;
  const char *nick;
  Shape shape;
  VornAttribType x_attrib;
  VornAttribType y_attrib;
  VornAttribType dest_attrib;
  VornWaveOp dest_op;
  VornWaveTrigMode trig_mode;
  VornWavePlayMode play_mode;
  double x_scale;
  double y_scale;
  double y_ofs;
};

constexpr auto T = VORN_ATTRIB_TYPE_TIME;
constexpr auto P = VORN_ATTRIB_TYPE_PITCH;
constexpr auto V = VORN_ATTRIB_TYPE_VOLUME;
constexpr auto NONE = VORN_ATTRIB_TYPE_NONE;
constexpr auto PRESS = VORN_WAVE_TRIG_MODE_PRESS;
constexpr auto PRESSED = VORN_WAVE_TRIG_MODE_PRESSED;
constexpr auto RELEASE = VORN_WAVE_TRIG_MODE_RELEASE;
constexpr auto ONCE = VORN_WAVE_PLAY_MODE_ONCE;
constexpr auto STOP = VORN_WAVE_PLAY_MODE_STOP;
constexpr auto LOOP = VORN_WAVE_PLAY_MODE_LOOP;

/* Indexed by VornWavePreset.  Volume presets work in decibels (0..1 maps to
 * -96..0 dB), pitch presets in semitones (12: one octave). */
constexpr Preset presets[VORN_WAVE_PRESET_COUNT] = {
  { "Sine Wave", "sine-wave", Shape::SINE, P, V, VORN_ATTRIB_TYPE_SIGNAL, VORN_WAVE_OP_ADD, PRESS, LOOP, 440.0, 1.0, 0.0 },
  { "Triangle Wave", "triangle-wave", Shape::TRIANGLE, P, V, VORN_ATTRIB_TYPE_SIGNAL, VORN_WAVE_OP_ADD, PRESS, LOOP, 440.0, 1.0, 0.0 },
  { "Square Wave", "square-wave", Shape::SQUARE, P, V, VORN_ATTRIB_TYPE_SIGNAL, VORN_WAVE_OP_ADD, PRESS, LOOP, 440.0, 1.0, 0.0 },
  { "Saw Wave Up", "saw-up-wave", Shape::SAW_UP, P, V, VORN_ATTRIB_TYPE_SIGNAL, VORN_WAVE_OP_ADD, PRESS, LOOP, 440.0, 1.0, 0.0 },
  { "Saw Wave Down", "saw-down-wave", Shape::SAW_DOWN, P, V, VORN_ATTRIB_TYPE_SIGNAL, VORN_WAVE_OP_ADD, PRESS, LOOP, 440.0, 1.0, 0.0 },
  { "Volume Attack", "vol-attack", Shape::RISE, T, NONE, V, VORN_WAVE_OP_MUL, PRESS, ONCE, 100.0, 96.0, -96.0 },
  { "Volume Release", "vol-release", Shape::FALL, T, NONE, V, VORN_WAVE_OP_MUL, RELEASE, STOP, 1.0, 96.0, -96.0 },
  { "Volume Modulation", "vol-mod", Shape::SINE, T, NONE, V, VORN_WAVE_OP_MUL, PRESS, LOOP, 5.0, 3.0, 0.0 },
  { "Pitch Attack", "pitch-attack", Shape::RISE, T, NONE, P, VORN_WAVE_OP_MUL, PRESSED, ONCE, 5.0, 12.0, 0.0 },
  { "Pitch Release", "pitch-release", Shape::FALL, T, NONE, P, VORN_WAVE_OP_MUL, RELEASE, ONCE, 2.0, 12.0, 0.0 },
  { "Pitch Modulation", "pitch-mod", Shape::SINE, T, NONE, P, VORN_WAVE_OP_MUL, PRESS, LOOP, 5.0, 12.0, 0.0 },
  { "Balance Attack", "balance-attack", Shape::RISE, T, NONE, VORN_ATTRIB_TYPE_BALANCE, VORN_WAVE_OP_ADD, PRESSED, ONCE, 2.0, 2.0, 0.0 },
  { "Balance Release", "balance-release", Shape::FALL, T, NONE, VORN_ATTRIB_TYPE_BALANCE, VORN_WAVE_OP_ADD, RELEASE, ONCE, 2.0, 2.0, 0.0 },
  { "Balance Modulation", "balance-mod", Shape::SINE, T, NONE, VORN_ATTRIB_TYPE_BALANCE, VORN_WAVE_OP_ADD, PRESS, LOOP, 5.0, 2.0, 0.0 },
  { "Morph Attack", "morph-attack", Shape::RISE, T, NONE, VORN_ATTRIB_TYPE_MORPH, VORN_WAVE_OP_SET, PRESS, ONCE, 2.0, 1.0, 0.0 },
  { "Morph Release", "morph-release", Shape::FALL, T, NONE, VORN_ATTRIB_TYPE_MORPH, VORN_WAVE_OP_SET, RELEASE, ONCE, 2.0, 1.0, 0.0 },
  { "Morph Modulation", "morph-mod", Shape::PEAK, T, NONE, VORN_ATTRIB_TYPE_MORPH, VORN_WAVE_OP_SET, PRESS, LOOP, 5.0, 1.0, 0.0 },
};

/* A curve of straight segments through the given endpoints: every handle
 * sits on its own point. */
VornCurve *
sharp_curve (std::initializer_list<std::pair<double, double>> points)
{
  VornCurve *curve = vorn_curve_new (guint (points.size ()));
  int i = 0;
  for (auto [x, y] : points)
    {
      vorn_curve_set_point (curve, i, x, y, x, y, x, y);
      i++;
    }
  return curve;
}

VornCurve *
make_curve (Shape shape)
{
  switch (shape)
    {
    case Shape::SINE:
      {
        /* One Bezier segment per quarter cycle.  The handle lengths are
         * fitted numerically (the parametric counterpart of the circle's
         * 4/3 tan (pi/8)): every harmonic stays below -85 dB, where handles
         * of a plain cubic Hermite fit leave the third at -46 dB. */
        constexpr double ZERO = 0.0817;         /* along the slope 2 pi */
        constexpr double ZERO_Y = ZERO * 2.0 * G_PI;
        constexpr double PEAK = 0.0904;         /* flat */
        VornCurve *curve = vorn_curve_new (5);
        vorn_curve_set_start_point (curve, 0.0, 0.0, ZERO, ZERO_Y);
        vorn_curve_set_point (curve, 1, 0.25 - PEAK, 1.0, 0.25, 1.0, 0.25 + PEAK, 1.0);
        vorn_curve_set_point (curve, 2, 0.5 - ZERO, ZERO_Y, 0.5, 0.0, 0.5 + ZERO, -ZERO_Y);
        vorn_curve_set_point (curve, 3, 0.75 - PEAK, -1.0, 0.75, -1.0, 0.75 + PEAK, -1.0);
        vorn_curve_set_end_point (curve, 1.0 - ZERO, -ZERO_Y, 1.0, 0.0);
        return curve;
      }
    case Shape::TRIANGLE: return sharp_curve ({ { 0, 0 }, { 0.25, 1 }, { 0.75, -1 }, { 1, 0 } });
    case Shape::SQUARE: return sharp_curve ({ { 0, -1 }, { 0.5, -1 }, { 0.5, 1 }, { 1, 1 } });
    case Shape::SAW_UP: return sharp_curve ({ { 0, 0 }, { 0.5, 1 }, { 0.5, -1 }, { 1, 0 } });
    case Shape::SAW_DOWN: return sharp_curve ({ { 0, 0 }, { 0.5, -1 }, { 0.5, 1 }, { 1, 0 } });
    case Shape::RISE: return sharp_curve ({ { 0, 0 }, { 1, 1 } });
    case Shape::FALL: return sharp_curve ({ { 0, 1 }, { 1, 0 } });
    case Shape::PEAK: return sharp_curve ({ { 0, 0 }, { 0.5, 1 }, { 1, 0 } });
    }
  return nullptr;
}

} // namespace

VornWave *
vorn_wave_new_from_preset (VornWavePreset preset)
{
  if (guint (preset) >= VORN_WAVE_PRESET_COUNT)
    return nullptr;

  const Preset &p = presets[preset];
  g_autoptr (VornCurve) curve = make_curve (p.shape);
  return static_cast<VornWave *> (g_object_new (VORN_TYPE_WAVE,
                                                "name", p.name,
                                                "curve", curve,
                                                "x-attrib", p.x_attrib,
                                                "y-attrib", p.y_attrib,
                                                "dest-attrib", p.dest_attrib,
                                                "dest-op", p.dest_op,
                                                "trig-mode", p.trig_mode,
                                                "play-mode", p.play_mode,
                                                "x-scale", p.x_scale,
                                                "y-scale", p.y_scale,
                                                "y-ofs", p.y_ofs,
                                                nullptr));
}

const char *
vorn_wave_preset_get_name (VornWavePreset preset)
{
  return guint (preset) < VORN_WAVE_PRESET_COUNT ? presets[preset].name : nullptr;
}

const char *
vorn_wave_preset_get_nick (VornWavePreset preset)
{
  return guint (preset) < VORN_WAVE_PRESET_COUNT ? presets[preset].nick : nullptr;
}
