/* Wave node: kind, presets, point editing with morph renumbering, duplication. */
#include "vorn-test-log.h"
#include "vorn-test-model.h"

#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

/* Counts "notify::@property" emissions of @obj into @n. */
void
watch (gpointer obj, const char *property, int *n)
{
  g_autofree char *signal = g_strconcat ("notify::", property, nullptr);
  g_signal_connect_swapped (obj, signal, G_CALLBACK (+[] (int *c) { (*c)++; }), n);
}

using Entries = vorn_test::MorphEntries;
using vorn_test::morph_entries;

/* A straight wave from (0, 0) to (1, 1) with sharp points. */
VornWave *
line_wave (int n)
{
  VornWave *wave = vorn_wave_new (guint (n));
  for (int i = 0; i < n; i++)
    {
      double v = double (i) / (n - 1);
      vorn_curve_set_point (wave->curve, i, v, v, v, v, v, v);
    }
  return wave;
}

} // namespace

/* The kind follows routing and (except for controls) modes; notified exactly when it changes. */
TEST (Wave, KindFollowsRoutingAndModes)
{
#define A(name) VORN_ATTRIB_TYPE_##name
#define K(name) VORN_WAVE_KIND_##name
  constexpr auto LOOP = VORN_WAVE_PLAY_MODE_LOOP, ONCE = VORN_WAVE_PLAY_MODE_ONCE, STOP = VORN_WAVE_PLAY_MODE_STOP;
  constexpr auto PRESS = VORN_WAVE_TRIG_MODE_PRESSED, REL = VORN_WAVE_TRIG_MODE_RELEASE;
  const struct { VornAttribType y, dest; VornWavePlayMode play; VornWaveTrigMode trig; VornWaveKind kind; } steps[] = {
    { A (VOLUME), A (VOLUME), LOOP, PRESS, K (VOLUME_MOD) },    { A (CONTROL), A (VOLUME), LOOP, PRESS, K (CTRL_VOLUME) },
    { A (CONTROL), A (VOLUME), ONCE, REL, K (CTRL_VOLUME) },    { A (NONE), A (PITCH), ONCE, REL, K (PITCH_RELEASE) },
    { A (CONTROL), A (MORPH), STOP, PRESS, K (CTRL_MORPH) },    { A (CONTROL), A (SIGNAL), STOP, PRESS, K (UNDEFINED) },
  };
#undef A
#undef K
  int notified = 0;
  g_autoptr (VornWave) wave = VORN_WAVE (g_object_new (VORN_TYPE_WAVE, nullptr));
  watch (wave, "kind", &notified);
  VornWaveKind before = wave->kind;
  for (const auto &s : steps)
    {
      SCOPED_TRACE (testing::Message () << "y " << s.y << " dest " << s.dest << " play " << s.play);
      g_object_set (wave, "y-attrib", s.y, "dest-attrib", s.dest, "play-mode", s.play, "trig-mode", s.trig,
                    nullptr);
      EXPECT_EQ (wave->kind, s.kind);
      EXPECT_EQ (std::exchange (notified, 0), s.kind != before);
      before = s.kind;
    }
}

/* Every preset builds a curve over 0..1 with its kind; only the sine shapes
 * have curved handles. */
TEST (Wave, PresetsBuildTheirCurvesAndRouting)
{
  for (int i = 0; i < VORN_WAVE_PRESET_COUNT; i++)
    {
      g_autoptr (VornWave) wave = vorn_wave_new_from_preset (VornWavePreset (i));
      ASSERT_NE (wave, nullptr) << i;
      SCOPED_TRACE (vorn_wave_preset_get_nick (VornWavePreset (i)));
      VornCurve *c = wave->curve;
      const int last = VORN_CURVE_COORD_LENGTH (c) - 1;
      EXPECT_EQ (std::pair (c->xcoords[0], c->xcoords[last]), std::pair (0.0, 1.0));
      EXPECT_NE (wave->kind, VORN_WAVE_KIND_UNDEFINED);
      bool sharp = true;
      for (int k = 0; k <= last; k++)
        {
          const int owner = 3 * ((k + 1) / 3);
          sharp = sharp && c->xcoords[k] == c->xcoords[owner] && c->ycoords[k] == c->ycoords[owner];
        }
      const bool is_sine = i == 0 || i == 7 || i == 10 || i == 13;
      EXPECT_EQ (sharp, !is_sine);
    }
  EXPECT_EQ (vorn_wave_new_from_preset (VornWavePreset (VORN_WAVE_PRESET_COUNT)), nullptr);
}

TEST (Wave, PointEditingRenumbersMorph)
{
  int notified = 0;
  g_autoptr (VornWave) wave = line_wave (5);
  watch (wave, "morph", &notified);
  for (guint c : { 1u, 4u, 5u, 7u, 8u, 12u })
    ASSERT_GE (vorn_wave_insert_morph_point (wave, c, FALSE, 0.5, 0.5, nullptr), 0);
  EXPECT_EQ (std::exchange (notified, 0), 6);

  /* Entries after each step; point i owns coordinates 3i-1..3i+1, so a new point 2 takes 5..7. */
  const struct { const char *what; std::function<void ()> edit; Entries entries; int notified; } steps[] = {
    { "insert 2", [&] { vorn_wave_insert_point_by_index (wave, 2); },
      { { 1, false }, { 4, false }, { 8, false }, { 10, false }, { 11, false }, { 15, false } }, 1 },
    { "delete 2", [&] { vorn_wave_delete_point (wave, 2); },
      { { 1, false }, { 4, false }, { 5, false }, { 7, false }, { 8, false }, { 12, false } }, 1 },
    { "delete 2 again", [&] { vorn_wave_delete_point (wave, 2); },
      { { 1, false }, { 4, false }, { 5, false }, { 9, false } }, 1 },
    { "drop 9", [&] { vorn_wave_remove_morph_point_curve (wave, 9, FALSE); },
      { { 1, false }, { 4, false }, { 5, false } }, 1 },
    { "insert at 0.1", [&] { EXPECT_EQ (vorn_wave_insert_point (wave, 0.1, 0.1), 1); },
      { { 1, false }, { 7, false }, { 8, false } }, 1 },
    { "insert point 0", [&] { vorn_wave_insert_point_by_index (wave, 0); },
      { { 4, false }, { 10, false }, { 11, false } }, 1 },
  };
  for (const auto &s : steps)
    {
      SCOPED_TRACE (s.what);
      s.edit ();
      EXPECT_EQ (morph_entries (wave->morph), s.entries);
      EXPECT_EQ (std::exchange (notified, 0), s.notified);
      EXPECT_EQ (wave->morph->curve, wave->curve);
    }

  vorn_wave_delete_point (wave, 0);
  EXPECT_CRITICAL ("endpointIndex > 0 && endpointIndex < wave->curve->count - 1");
}

TEST (Wave, MorphEditing)
{
  int notified = 0;
  g_autoptr (VornWave) wave = line_wave (2);
  watch (wave, "morph", &notified);

  VornMorphPoint *entry = nullptr;
  EXPECT_EQ (vorn_wave_insert_morph_point (wave, 3, FALSE, 0.5, 0.2, &entry), 1);
  ASSERT_NE (entry, nullptr);
  EXPECT_EQ (entry->curve->ycoords[0], 1.0); /* tied to the base curve's value */
  EXPECT_EQ (vorn_wave_find_morph_point (wave, 3, FALSE), entry);
  EXPECT_EQ (vorn_wave_find_morph_point_position (wave, 3, FALSE, 0.75, nullptr), 2);
  EXPECT_EQ (std::exchange (notified, 0), 1);

  /* Only real changes notify (no duplicate end point, an end of a longer curve kept). */
  const struct { std::function<void ()> edit; int notified; } steps[] = {
    { [&] { EXPECT_EQ (vorn_wave_insert_morph_point (wave, 3, FALSE, 1.0, 0.2, nullptr), -1); }, 0 },
    { [&] { vorn_wave_remove_morph_point (wave, 3, FALSE, 0); }, 0 },
    { [&] { vorn_wave_remove_morph_point (wave, 3, FALSE, 1); EXPECT_EQ (entry->curve->count, 2); }, 1 },
    { [&] { vorn_wave_remove_morph_point_curve (wave, 3, TRUE); }, 0 },
    { [&] { vorn_wave_remove_morph_point_curve (wave, 3, FALSE); EXPECT_EQ (wave->morph->count, 0); }, 1 },
    /* An empty morph is not written. */
    { [&] { EXPECT_EQ (vorn_test::json_text (wave).find ("morph"), std::string::npos); }, 0 },
    { [&] { vorn_wave_remove_morph (wave); EXPECT_EQ (wave->morph, nullptr); }, 1 },
  };
  for (std::size_t i = 0; i < G_N_ELEMENTS (steps); i++)
    {
      steps[i].edit ();
      EXPECT_EQ (std::exchange (notified, 0), steps[i].notified) << "step " << i;
    }

  /* "morph" takes a copy tied to the wave's curve; a new curve re-ties it. */
  g_autoptr (VornCurve) other = vorn_curve_new (2);
  g_autoptr (VornMorph) m = vorn_morph_new (other);
  vorn_morph_insert_point (m, 1, TRUE, 1.0, 0.5, nullptr);
  g_object_set (wave, "morph", m, nullptr);
  ASSERT_NE (wave->morph, m);
  EXPECT_EQ (wave->morph->curve, wave->curve);
  g_object_set (wave, "curve", other, nullptr);
  EXPECT_EQ (wave->morph->curve, other);
}

TEST (Wave, DuplicateIsDeep)
{
  g_autoptr (VornWave) wave = line_wave (3);
  g_object_set (wave, "y-attrib", VORN_ATTRIB_TYPE_CONTROL, "dest-attrib", VORN_ATTRIB_TYPE_BALANCE, nullptr);
  ASSERT_EQ (vorn_wave_insert_morph_point (wave, 4, FALSE, 0.5, 0.9, nullptr), 1);

  g_autoptr (VornWave) copy = VORN_WAVE (vorn_node_duplicate (VORN_NODE (wave)));
  ASSERT_TRUE (copy->curve && copy->morph && copy->morph->count == 1);
  EXPECT_EQ (copy->morph->curve, copy->curve);

  /* Editing the copy leaves the original untouched. */
  copy->curve->ycoords[4] = -0.25;
  copy->morph->points[0].curve->ycoords[3] = -0.75;
  ASSERT_EQ (vorn_wave_insert_point (copy, 0.25, 0.1), 1);
  EXPECT_EQ (wave->curve->count, 3);
  EXPECT_EQ (wave->curve->ycoords[4], 0.5);
  EXPECT_EQ (wave->morph->points[0].index, 4u);
  EXPECT_EQ (wave->morph->points[0].curve->ycoords[3], 0.9);
  EXPECT_EQ (copy->morph->points[0].index, 7u);
}
