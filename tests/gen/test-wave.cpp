/* test-wave.cpp: the wave node's properties, kind, JSON form, presets,
 * control waves, point editing with morph renumbering and duplication */
#include "vorn-test-log.h"
#include "vornadel.h"

#include <json-glib/json-glib.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct NotifyCounter {
  int count = 0;
  gulong id = 0;
  GObject *object;
  NotifyCounter (gpointer obj, const char *property) : object (G_OBJECT (obj))
  {
    g_autofree char *signal = g_strconcat ("notify::", property, nullptr);
    id = g_signal_connect_swapped (object, signal,
                                   G_CALLBACK (+[] (NotifyCounter *self) { self->count++; }),
                                   this);
  }
  ~NotifyCounter () { g_signal_handler_disconnect (object, id); }
  int take () { int c = count; count = 0; return c; }
};

/* (index, horizontal) of every morph entry, in array order. */
std::vector<std::pair<guint, bool>>
entries_of (const VornWave *wave)
{
  std::vector<std::pair<guint, bool>> out;
  if (wave->morph)
    for (guint i = 0; i < wave->morph->count; i++)
      out.emplace_back (wave->morph->points[i].index, wave->morph->points[i].horizontal != 0);
  return out;
}

std::vector<std::string>
member_names (JsonNode *node)
{
  std::vector<std::string> names;
  GList *members = json_object_get_members (json_node_get_object (node));
  for (GList *l = members; l; l = l->next)
    names.emplace_back (static_cast<const char *> (l->data));
  g_list_free (members);
  return names;
}

/* A straight five-point wave from (0, 0) to (1, 1) with sharp points. */
VornWave *
line_wave (int n = 5)
{
  VornWave *wave = vorn_wave_new (guint (n));
  for (int i = 0; i < n; i++)
    {
      double v = double (i) / (n - 1);
      vorn_curve_set_point (wave->curve, i, v, v, v, v, v, v);
    }
  return wave;
}

std::vector<std::pair<double, double>>
endpoints (VornCurve *c)
{
  std::vector<std::pair<double, double>> out;
  for (int i = 0; i < c->count; i++)
    out.emplace_back (c->xcoords[3 * i], c->ycoords[3 * i]);
  return out;
}

bool
is_sharp (VornCurve *c)
{
  for (int k = 0; k < VORN_CURVE_COORD_LENGTH (c); k++)
    {
      int owner = 3 * ((k + 1) / 3);
      if (c->xcoords[k] != c->xcoords[owner] || c->ycoords[k] != c->ycoords[owner])
        return false;
    }
  return true;
}

} // namespace

TEST (Wave, KindFollowsRoutingAndModes)
{
  g_autoptr (VornWave) wave = VORN_WAVE (g_object_new (VORN_TYPE_WAVE, nullptr));
  NotifyCounter kind (wave, "kind");

  g_object_set (wave, "dest-attrib", VORN_ATTRIB_TYPE_VOLUME, nullptr);
  EXPECT_EQ (wave->kind, VORN_WAVE_KIND_VOLUME_MOD);
  EXPECT_EQ (kind.take (), 1);
  g_object_set (wave, "y-attrib", VORN_ATTRIB_TYPE_CONTROL, nullptr);
  EXPECT_EQ (wave->kind, VORN_WAVE_KIND_CTRL_VOLUME);
  EXPECT_EQ (kind.take (), 1);
  g_object_set (wave, "y-attrib", VORN_ATTRIB_TYPE_CONTROL, nullptr);
  EXPECT_EQ (kind.take (), 0);
  /* Modes do not matter for controls: the kind stays and nothing fires. */
  g_object_set (wave, "play-mode", VORN_WAVE_PLAY_MODE_ONCE, nullptr);
  EXPECT_EQ (kind.take (), 0);

  g_object_set (wave, "y-attrib", VORN_ATTRIB_TYPE_NONE, "dest-attrib", VORN_ATTRIB_TYPE_PITCH,
                "trig-mode", VORN_WAVE_TRIG_MODE_RELEASE, nullptr);
  EXPECT_EQ (wave->kind, VORN_WAVE_KIND_PITCH_RELEASE);
  g_object_set (wave, "play-mode", VORN_WAVE_PLAY_MODE_LOOP, nullptr);
  EXPECT_EQ (wave->kind, VORN_WAVE_KIND_PITCH_MOD);
  g_object_set (wave, "play-mode", VORN_WAVE_PLAY_MODE_STOP, "trig-mode",
                VORN_WAVE_TRIG_MODE_PRESSED, nullptr);
  EXPECT_EQ (wave->kind, VORN_WAVE_KIND_PITCH_ATTACK);
  kind.take ();

  struct { VornAttribType y, dest; VornWaveKind kind; } table[] = {
    { VORN_ATTRIB_TYPE_CONTROL, VORN_ATTRIB_TYPE_TIME, VORN_WAVE_KIND_CTRL_TIME },
    { VORN_ATTRIB_TYPE_CONTROL, VORN_ATTRIB_TYPE_MORPH, VORN_WAVE_KIND_CTRL_MORPH },
    { VORN_ATTRIB_TYPE_CONTROL, VORN_ATTRIB_TYPE_SIGNAL, VORN_WAVE_KIND_UNDEFINED },
    { VORN_ATTRIB_TYPE_VOLUME, VORN_ATTRIB_TYPE_SIGNAL, VORN_WAVE_KIND_SIGNAL },
    { VORN_ATTRIB_TYPE_VOLUME, VORN_ATTRIB_TYPE_BALANCE, VORN_WAVE_KIND_BALANCE_ATTACK },
    { VORN_ATTRIB_TYPE_NONE, VORN_ATTRIB_TYPE_MORPH, VORN_WAVE_KIND_MORPH_ATTACK },
    { VORN_ATTRIB_TYPE_NONE, VORN_ATTRIB_TYPE_TIME, VORN_WAVE_KIND_UNDEFINED },
    { VORN_ATTRIB_TYPE_NONE, VORN_ATTRIB_TYPE_EFFECT1, VORN_WAVE_KIND_UNDEFINED },
  };
  for (auto &t : table)
    {
      g_object_set (wave, "y-attrib", t.y, "dest-attrib", t.dest, nullptr);
      EXPECT_EQ (wave->kind, t.kind) << t.y << " " << t.dest;
    }
  /* Properties outside the derivation never touch the kind; a write of
   * the current value notifies nothing. */
  kind.take ();
  NotifyCounter ofs (wave, "y-ofs");
  g_object_set (wave, "x-attrib", VORN_ATTRIB_TYPE_NONE, "dest-op", VORN_WAVE_OP_SET,
                "y-ofs", 0.25, nullptr);
  g_object_set (wave, "y-ofs", 0.25, nullptr);
  EXPECT_EQ (kind.take (), 0);
  EXPECT_EQ (ofs.take (), 1);
}

TEST (Wave, JsonFormInsideFile)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  g_autoptr (VornWave) wave = line_wave (3);
  g_object_set (wave, "name", "Env", "x-scale", 2.0, "dest-attrib", VORN_ATTRIB_TYPE_PITCH,
                "trig-mode", VORN_WAVE_TRIG_MODE_RELEASE, "play-mode", VORN_WAVE_PLAY_MODE_ONCE,
                nullptr);
  ASSERT_EQ (vorn_wave_insert_morph_point (wave, 4, TRUE, 0.5, 0.6, nullptr), 1);
  ASSERT_EQ (vorn_wave_insert_morph_point (wave, 3, FALSE, 1.0, 0.9, nullptr), 1);
  vorn_node_insert (VORN_NODE (file), VORN_NODE (wave), -1);

  g_autoptr (JsonNode) root = json_gobject_serialize (G_OBJECT (file));
  JsonNode *wnode = json_array_get_element (
    json_object_get_array_member (json_node_get_object (root), "nodes"), 0);
  /* Base members first, enums always (as nicks, defaults included), doubles
   * only when not default, then curve, morph and the derived kind. */
  std::vector<std::string> expected = {
    "type", "id", "name", "x-attrib", "y-attrib", "dest-attrib", "dest-op", "trig-mode",
    "pos-mode", "play-mode", "x-scale", "curve", "morph", "kind" };
  EXPECT_EQ (member_names (wnode), expected);
  JsonObject *w = json_node_get_object (wnode);
  EXPECT_STREQ (json_object_get_string_member (w, "pos-mode"), "relative");
  EXPECT_STREQ (json_object_get_string_member (w, "kind"), "pitch-release");

  /* Reloading restores the wave with its morph tied to its own curve. */
  g_autofree char *text = json_to_string (root, FALSE);
  g_autoptr (GError) error = nullptr;
  g_autoptr (VornFile) loaded = vorn_file_load_from_data (text, guint32 (strlen (text)), &error);
  ASSERT_NE (loaded, nullptr) << error->message;
  g_autoptr (JsonNode) again = json_gobject_serialize (G_OBJECT (loaded));
  EXPECT_TRUE (json_node_equal (again, root));
  VornWave *back = VORN_WAVE (VORN_NODE (loaded)->children);
  ASSERT_NE (back->morph, nullptr);
  EXPECT_EQ (back->morph->curve, back->curve);

  /* An empty morph and a missing curve write no member at all. */
  g_autoptr (VornWave) bare = VORN_WAVE (g_object_new (VORN_TYPE_WAVE, nullptr));
  g_autoptr (VornMorph) empty = vorn_morph_new (nullptr);
  g_object_set (bare, "morph", empty, nullptr);
  g_autoptr (JsonNode) bare_node = json_gobject_serialize (G_OBJECT (bare));
  EXPECT_FALSE (json_object_has_member (json_node_get_object (bare_node), "morph"));
  EXPECT_FALSE (json_object_has_member (json_node_get_object (bare_node), "curve"));
}

TEST (Wave, JsonRefusesCurvesWithoutSegments)
{
  const char *head = R"({ "type" : "VornFile", "format" : "Vornadel:Waves", "format-version" : "1.0",
                          "nodes" : [ { "type" : "VornWave", "curve" : )";
  for (const char *curve : { R"("sine")", "{}" })
    {
      std::string text = std::string (head) + curve + " } ] }";
      g_autoptr (GError) error = nullptr;
      g_autoptr (VornFile) file = vorn_file_load_from_data (text.data (), guint32 (text.size ()),
                                                            &error);
      EXPECT_EQ (file, nullptr) << curve;
      ASSERT_NE (error, nullptr);
      EXPECT_NE (std::string (error->message).find ("Invalid member 'curve' of node type 'VornWave'"),
                 std::string::npos) << error->message;
    }
}

TEST (Wave, PresetsBuildTheirCurvesAndRouting)
{
  struct { VornWaveKind kind; std::vector<std::pair<double, double>> points; } expected[] = {
    { VORN_WAVE_KIND_SIGNAL, { { 0, 0 }, { 0.25, 1 }, { 0.75, -1 }, { 1, 0 } } },
    { VORN_WAVE_KIND_SIGNAL, { { 0, 0 }, { 0.25, 1 }, { 0.75, -1 }, { 1, 0 } } },
    { VORN_WAVE_KIND_SIGNAL, { { 0, -1 }, { 0.5, -1 }, { 0.5, 1 }, { 1, 1 } } },
    { VORN_WAVE_KIND_SIGNAL, { { 0, 0 }, { 0.5, 1 }, { 0.5, -1 }, { 1, 0 } } },
    { VORN_WAVE_KIND_SIGNAL, { { 0, 0 }, { 0.5, -1 }, { 0.5, 1 }, { 1, 0 } } },
    { VORN_WAVE_KIND_VOLUME_ATTACK, { { 0, 0 }, { 1, 1 } } },
    { VORN_WAVE_KIND_VOLUME_RELEASE, { { 0, 1 }, { 1, 0 } } },
    { VORN_WAVE_KIND_VOLUME_MOD, { { 0, 0 }, { 0.25, 1 }, { 0.75, -1 }, { 1, 0 } } },
    { VORN_WAVE_KIND_PITCH_ATTACK, { { 0, 0 }, { 1, 1 } } },
    { VORN_WAVE_KIND_PITCH_RELEASE, { { 0, 1 }, { 1, 0 } } },
    { VORN_WAVE_KIND_PITCH_MOD, { { 0, 0 }, { 0.25, 1 }, { 0.75, -1 }, { 1, 0 } } },
    { VORN_WAVE_KIND_BALANCE_ATTACK, { { 0, 0 }, { 1, 1 } } },
    { VORN_WAVE_KIND_BALANCE_RELEASE, { { 0, 1 }, { 1, 0 } } },
    { VORN_WAVE_KIND_BALANCE_MOD, { { 0, 0 }, { 0.25, 1 }, { 0.75, -1 }, { 1, 0 } } },
    { VORN_WAVE_KIND_MORPH_ATTACK, { { 0, 0 }, { 1, 1 } } },
    { VORN_WAVE_KIND_MORPH_RELEASE, { { 0, 1 }, { 1, 0 } } },
    { VORN_WAVE_KIND_MORPH_MOD, { { 0, 0 }, { 0.5, 1 }, { 1, 0 } } },
  };
  static_assert (G_N_ELEMENTS (expected) == VORN_WAVE_PRESET_COUNT);

  for (int i = 0; i < VORN_WAVE_PRESET_COUNT; i++)
    {
      auto preset = VornWavePreset (i);
      g_autoptr (VornWave) wave = vorn_wave_new_from_preset (preset);
      ASSERT_NE (wave, nullptr) << i;
      SCOPED_TRACE (vorn_wave_preset_get_nick (preset));
      EXPECT_EQ (endpoints (wave->curve), expected[i].points);
      EXPECT_EQ (wave->kind, expected[i].kind);
      /* Only the sine shape has curved handles; they trace a sine within 0.1. */
      bool sine = i == 0 || i == 7 || i == 10 || i == 13;
      EXPECT_EQ (is_sharp (wave->curve), !sine);
      g_autoptr (VornCurveCache) cache = vorn_curve_cache_new_from_curve (wave->curve, VORN_FORMAT_DOUBLE);
      for (int k = 0; sine && k <= 32; k++)
        EXPECT_NEAR (vorn_curve_cache_plot_point (cache, k / 32.0), std::sin (2 * M_PI * k / 32.0), 0.1) << k;
      EXPECT_EQ (wave->x_attrib, i < 5 ? VORN_ATTRIB_TYPE_PITCH : VORN_ATTRIB_TYPE_TIME);
      EXPECT_EQ (wave->y_attrib, i < 5 ? VORN_ATTRIB_TYPE_VOLUME : VORN_ATTRIB_TYPE_NONE);
    }

  EXPECT_EQ (vorn_wave_new_from_preset (VornWavePreset (17)), nullptr);
  EXPECT_EQ (vorn_wave_preset_get_name (VornWavePreset (17)), nullptr);
  EXPECT_EQ (vorn_wave_preset_get_nick (VornWavePreset (-1)), nullptr);
}

/* Control waves have no curve; the default operation and value follow the
 * destination. */
TEST (Wave, ControlWaves)
{
  struct { VornAttribType dest; VornWaveOp op; double init; VornWaveKind kind; } table[] = {
    { VORN_ATTRIB_TYPE_PITCH, VORN_WAVE_OP_MUL, 1.0, VORN_WAVE_KIND_CTRL_PITCH },
    { VORN_ATTRIB_TYPE_VOLUME, VORN_WAVE_OP_MUL, 1.0, VORN_WAVE_KIND_CTRL_VOLUME },
    { VORN_ATTRIB_TYPE_TIME, VORN_WAVE_OP_MUL, 1.0, VORN_WAVE_KIND_CTRL_TIME },
    { VORN_ATTRIB_TYPE_BALANCE, VORN_WAVE_OP_ADD, 0.0, VORN_WAVE_KIND_CTRL_BALANCE },
    { VORN_ATTRIB_TYPE_EFFECT2, VORN_WAVE_OP_ADD, 0.0, VORN_WAVE_KIND_UNDEFINED },
  };
  for (auto &t : table)
    {
      g_autoptr (VornWave) w = vorn_wave_new_control_default ("x", t.dest);
      EXPECT_EQ (w->curve, nullptr);
      EXPECT_EQ (w->dest_op, t.op) << t.dest;
      EXPECT_EQ (w->init_value, t.init) << t.dest;
      EXPECT_EQ (w->kind, t.kind) << t.dest;
    }
}

TEST (Wave, PointEditingRenumbersMorph)
{
  g_autoptr (VornWave) wave = line_wave (5);
  NotifyCounter morph (wave, "morph");
  for (guint c : { 1u, 4u, 5u, 7u, 8u, 12u })
    ASSERT_GE (vorn_wave_insert_morph_point (wave, c, FALSE, 0.5, 0.5, nullptr), 0);
  EXPECT_EQ (morph.take (), 6);
  EXPECT_EQ (wave->morph->curve, wave->curve);

  /* New point 2 occupies coordinates 5..7: entries from 5 on move by 3. */
  vorn_wave_insert_point_by_index (wave, 2);
  EXPECT_EQ (wave->curve->count, 6);
  using E = std::vector<std::pair<guint, bool>>;
  EXPECT_EQ (entries_of (wave), (E { { 1, false }, { 4, false }, { 8, false }, { 10, false },
                                     { 11, false }, { 15, false } }));
  EXPECT_EQ (morph.take (), 1);

  /* Deleting it again drops entries on 5..7 (none now) and moves the rest back. */
  vorn_wave_delete_point (wave, 2);
  EXPECT_EQ (entries_of (wave), (E { { 1, false }, { 4, false }, { 5, false }, { 7, false },
                                     { 8, false }, { 12, false } }));
  EXPECT_EQ (morph.take (), 1);
  vorn_wave_delete_point (wave, 2);
  EXPECT_EQ (entries_of (wave), (E { { 1, false }, { 4, false }, { 5, false }, { 9, false } }));
  EXPECT_EQ (wave->curve->count, 4);

  /* Inserting after every entry moves nothing and stays quiet. */
  vorn_wave_remove_morph_point_curve (wave, 9, FALSE);
  morph.take ();
  EXPECT_EQ (vorn_wave_insert_point (wave, 0.9, 0.1), 3);
  EXPECT_EQ (entries_of (wave), (E { { 1, false }, { 4, false }, { 5, false } }));
  EXPECT_EQ (morph.take (), 0);
  EXPECT_EQ (vorn_wave_insert_point (wave, 0.1, 0.1), 1);
  EXPECT_EQ (entries_of (wave), (E { { 1, false }, { 7, false }, { 8, false } }));
  EXPECT_EQ (morph.take (), 1);

  /* Point 0's coordinates start at index 0, so every entry moves. */
  vorn_wave_insert_point_by_index (wave, 0);
  EXPECT_EQ (entries_of (wave), (E { { 4, false }, { 10, false }, { 11, false } }));

  vorn_wave_delete_point (wave, 0);
  EXPECT_CRITICAL ("endpointIndex > 0 && endpointIndex < wave->curve->count - 1");
  vorn_wave_delete_point (wave, wave->curve->count - 1);
  EXPECT_CRITICAL ("endpointIndex > 0 && endpointIndex < wave->curve->count - 1");
  vorn_wave_insert_point_by_index (wave, wave->curve->count);
  EXPECT_CRITICAL ("pointIndex >= 0 && pointIndex < wave->curve->count");

  g_autoptr (VornWave) two = line_wave (2);
  vorn_wave_delete_point (two, 1);
  EXPECT_CRITICAL ("wave->curve->count > 2");
  g_autoptr (VornWave) ctrl = vorn_wave_new_control_default ("c", VORN_ATTRIB_TYPE_VOLUME);
  EXPECT_EQ (vorn_wave_insert_point (ctrl, 0.5, 0.5), -1);
  EXPECT_CRITICAL ("wave->curve != NULL");
  EXPECT_EQ (vorn_wave_insert_point (nullptr, 0.5, 0.5), -1);
  EXPECT_CRITICAL ("VORN_IS_WAVE (wave)");
}

TEST (Wave, MorphEditing)
{
  g_autoptr (VornWave) wave = line_wave (2);
  NotifyCounter morph (wave, "morph");

  EXPECT_EQ (vorn_wave_insert_morph_point (wave, 4, FALSE, 0.5, 0.0, nullptr), -1);
  EXPECT_CRITICAL ("pointIndex < VORN_CURVE_COORD_LENGTH (wave->curve)");
  EXPECT_EQ (wave->morph, nullptr);
  EXPECT_EQ (vorn_wave_find_morph_point (wave, 3, FALSE), nullptr);
  EXPECT_FALSE (vorn_wave_find_morph_point_index (wave, 3, FALSE, 0, nullptr));
  EXPECT_EQ (vorn_wave_find_morph_point_position (wave, 3, FALSE, 0.5, nullptr), -1);
  vorn_wave_remove_morph (wave);
  EXPECT_EQ (morph.take (), 0);

  VornMorphPoint *entry = nullptr;
  EXPECT_EQ (vorn_wave_insert_morph_point (wave, 3, FALSE, 0.5, 0.2, &entry), 1);
  ASSERT_NE (entry, nullptr);
  EXPECT_EQ (entry->curve->ycoords[0], 1.0);   /* tied to the base curve's value */
  EXPECT_EQ (vorn_wave_find_morph_point (wave, 3, FALSE), entry);
  EXPECT_EQ (vorn_wave_find_morph_point_position (wave, 3, FALSE, 0.75, nullptr), 2);
  EXPECT_EQ (morph.take (), 1);

  /* An existing end point cannot be added twice and nothing is notified. */
  EXPECT_EQ (vorn_wave_insert_morph_point (wave, 3, FALSE, 1.0, 0.2, nullptr), -1);
  EXPECT_EQ (morph.take (), 0);
  vorn_wave_remove_morph_point (wave, 3, FALSE, 0);   /* an end of a longer curve: kept */
  EXPECT_EQ (morph.take (), 0);
  vorn_wave_remove_morph_point (wave, 3, FALSE, 1);
  EXPECT_EQ (entry->curve->count, 2);
  EXPECT_EQ (morph.take (), 1);
  vorn_wave_remove_morph_point_curve (wave, 3, TRUE);
  EXPECT_EQ (morph.take (), 0);
  vorn_wave_remove_morph_point_curve (wave, 3, FALSE);
  EXPECT_EQ (wave->morph->count, 0);
  EXPECT_EQ (morph.take (), 1);
  vorn_wave_remove_morph (wave);
  EXPECT_EQ (wave->morph, nullptr);
  EXPECT_EQ (morph.take (), 1);

  /* "morph" takes a copy tied to the wave's curve; a new curve re-ties it. */
  g_autoptr (VornCurve) other = vorn_curve_new (2);
  g_autoptr (VornMorph) m = vorn_morph_new (other);
  vorn_morph_insert_point (m, 1, TRUE, 1.0, 0.5, nullptr);
  g_object_set (wave, "morph", m, nullptr);
  EXPECT_EQ (morph.take (), 1);
  ASSERT_NE (wave->morph, m);
  EXPECT_EQ (wave->morph->curve, wave->curve);
  g_object_set (wave, "curve", other, nullptr);
  EXPECT_EQ (wave->morph->curve, other);
  g_object_set (wave, "morph", NULL, nullptr);
  g_object_set (wave, "morph", NULL, nullptr);
  EXPECT_EQ (morph.take (), 1);
}

TEST (Wave, DuplicateIsDeep)
{
  g_autoptr (VornWave) wave = line_wave (3);
  g_object_set (wave, "y-attrib", VORN_ATTRIB_TYPE_CONTROL, "dest-attrib", VORN_ATTRIB_TYPE_BALANCE,
                "y-ofs", 0.5, nullptr);
  ASSERT_EQ (vorn_wave_insert_morph_point (wave, 4, FALSE, 0.5, 0.9, nullptr), 1);

  g_autoptr (VornWave) copy = VORN_WAVE (vorn_node_duplicate (VORN_NODE (wave)));
  EXPECT_EQ (copy->kind, VORN_WAVE_KIND_CTRL_BALANCE);
  EXPECT_EQ (copy->y_ofs, 0.5);
  ASSERT_NE (copy->curve, nullptr);
  EXPECT_NE (copy->curve, wave->curve);
  ASSERT_NE (copy->morph, nullptr);
  EXPECT_EQ (copy->morph->curve, copy->curve);
  ASSERT_EQ (copy->morph->count, 1);
  EXPECT_NE (copy->morph->points[0].curve, wave->morph->points[0].curve);

  /* Editing the copy leaves the original untouched. */
  copy->curve->ycoords[4] = -0.25;
  copy->morph->points[0].curve->ycoords[3] = -0.75;
  ASSERT_EQ (vorn_wave_insert_point (copy, 0.25, 0.1), 1);
  EXPECT_EQ (wave->curve->count, 3);
  EXPECT_EQ (wave->curve->ycoords[4], 0.5);
  EXPECT_EQ (wave->morph->points[0].index, 4u);
  EXPECT_EQ (wave->morph->points[0].curve->ycoords[3], 0.9);
  EXPECT_EQ (copy->morph->points[0].index, 7u);

  g_autoptr (VornWave) ctrl = vorn_wave_new_control_default ("Volume", VORN_ATTRIB_TYPE_VOLUME);
  g_autoptr (VornWave) ctrl_copy = VORN_WAVE (vorn_node_duplicate (VORN_NODE (ctrl)));
  EXPECT_EQ (ctrl_copy->curve, nullptr);
  EXPECT_EQ (ctrl_copy->init_value, 1.0);
}
