/* Instrument node: properties, JSON omissions, and a default instrument
 * through a complete file save and load. */
#include "vornadel.h"
#include "vorn-test-log.h"

#include <json-glib/json-glib.h>

#include <cstring>
#include <string>

/* The serialized member @name of @obj as text ("" when it is left out). */
static std::string
member (GObject *obj, const char *name)
{
  g_autoptr (JsonNode) node = json_gobject_serialize (obj);
  JsonNode *m = json_object_get_member (json_node_get_object (node), name);
  if (!m)
    return "";
  g_autofree char *text = json_to_string (m, FALSE);
  return text;
}

TEST (Inst, PropertiesJsonAndDuplicate)
{
  g_autoptr (VornInst) inst = vorn_inst_new ();
  ASSERT_TRUE (VORN_IS_MIX (inst));
  double root = 0;
  g_autofree char *category = nullptr;
  g_object_get (inst, "root-note", &root, "category", &category, nullptr);
  EXPECT_EQ (root, 69.0);
  EXPECT_STREQ (category, "Electronic");
  EXPECT_EQ (inst->parent_instance.dest_attrib, VORN_ATTRIB_TYPE_SPEAKERS);

  /* Defaults are left out; the mix routing (enumerations) always written. */
  EXPECT_EQ (member (G_OBJECT (inst), "root-note"), "");
  EXPECT_EQ (member (G_OBJECT (inst), "category"), "");
  EXPECT_EQ (member (G_OBJECT (inst), "sig-attrib"), "\"signal\"");

  g_object_set (inst, "root-note", 60.0, "category", "Bass", "bal-attrib",
                VORN_ATTRIB_TYPE_EFFECT1, nullptr);
  EXPECT_EQ (member (G_OBJECT (inst), "root-note"), "60.0");
  EXPECT_EQ (member (G_OBJECT (inst), "category"), "\"Bass\"");

  g_autoptr (VornNode) copy = vorn_node_duplicate (VORN_NODE (inst));
  ASSERT_TRUE (VORN_IS_INST (copy));
  EXPECT_EQ (vorn_inst_get_root_note (VORN_INST (copy)), 60.0);
  EXPECT_EQ (VORN_MIX (copy)->bal_attrib, VORN_ATTRIB_TYPE_EFFECT1);
  g_autofree char *copy_category = nullptr;
  g_object_get (copy, "category", &copy_category, nullptr);
  EXPECT_STREQ (copy_category, "Bass");

  EXPECT_EQ (vorn_inst_get_root_note (nullptr), 69.0);
  EXPECT_CRITICAL ("VORN_IS_INST (inst)");
}

/* The default instrument (attack, release and sine waves) saved in a file
 * and loaded again writes the same text: nothing is lost or renumbered. */
TEST (Inst, DefaultInstrumentSurvivesAFileRoundTrip)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  g_autoptr (VornInst) inst = vorn_inst_new_default ();
  g_object_set (inst, "name", "Lead", "root-note", 57.0, nullptr);
  vorn_node_insert (VORN_NODE (file), VORN_NODE (inst), -1);
  VornNode *w = VORN_NODE (inst)->children;
  for (VornWavePreset p : { VORN_WAVE_PRESET_VOLUME_ATTACK, VORN_WAVE_PRESET_VOLUME_RELEASE,
                            VORN_WAVE_PRESET_SIGNAL_SINE })
    {
      ASSERT_TRUE (VORN_IS_WAVE (w));
      EXPECT_EQ (member (G_OBJECT (w), "name"), std::string ("\"") + vorn_wave_preset_get_name (p) + "\"");
      w = w->next;
    }
  EXPECT_EQ (w, nullptr);

  g_autofree char *saved = json_gobject_to_data (G_OBJECT (file), nullptr);
  g_autoptr (GError) error = nullptr;
  g_autoptr (VornFile) loaded = vorn_file_load_from_data (saved, guint32 (strlen (saved)), &error);
  ASSERT_TRUE (loaded) << error->message;
  ASSERT_TRUE (VORN_IS_INST (VORN_NODE (loaded)->children));
  g_autofree char *again = json_gobject_to_data (G_OBJECT (loaded), nullptr);
  EXPECT_STREQ (again, saved);
}
