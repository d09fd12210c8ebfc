/* Instrument node: defaults, JSON omissions, copies, and a default
 * instrument through a complete file save and load. */
#include "vornadel.h"
#include "vorn-test-log.h"

#include <json-glib/json-glib.h>

#include <cstring>
#include <string>

static std::string
json_text (gpointer obj)
{
  g_autoptr (JsonNode) node = json_gobject_serialize (G_OBJECT (obj));
  g_autofree char *text = json_to_string (node, FALSE);
  return text;
}

TEST (Inst, DefaultsJsonAndDuplicate)
{
  g_autoptr (VornInst) inst = vorn_inst_new ();
  g_autofree char *category = nullptr;
  g_object_get (inst, "category", &category, nullptr);
  EXPECT_EQ (vorn_inst_get_root_note (inst), 69.0);
  EXPECT_STREQ (category, "Electronic");

  /* Defaults are left out; the mix routing (enumerations) always written. */
  const std::string routing = R"("sig-attrib":"signal","bal-attrib":"balance","lat-attrib":"latitude",)"
                              R"("src-attrib":"speakers","dest-attrib":"speakers")";
  EXPECT_EQ (json_text (inst), R"({"type":"VornInst",)" + routing + "}");

  g_object_set (inst, "root-note", 60.0, "category", "Bass", "bal-attrib", VORN_ATTRIB_TYPE_EFFECT1, nullptr);
  g_autoptr (VornNode) copy = vorn_node_duplicate (VORN_NODE (inst));
  ASSERT_TRUE (VORN_IS_INST (copy));
  EXPECT_EQ (json_text (copy), R"({"type":"VornInst","sig-attrib":"signal","bal-attrib":"effect1",)"
                               R"("lat-attrib":"latitude","src-attrib":"speakers","dest-attrib":"speakers",)"
                               R"("root-note":60.0,"category":"Bass"})");

  EXPECT_EQ (vorn_inst_get_root_note (nullptr), 69.0);
  EXPECT_CRITICAL ("VORN_IS_INST (inst)");
}

/* The default instrument (attack, release and sine waves) saved in a file
 * and loaded again writes the same text: nothing is lost or renumbered. */
TEST (Inst, DefaultInstrumentSurvivesAFileRoundTrip)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  g_autoptr (VornInst) inst = vorn_inst_new_default ();
  vorn_node_insert (VORN_NODE (file), VORN_NODE (inst), -1);
  std::string names;
  for (VornNode *w = VORN_NODE (inst)->children; w; w = w->next)
    {
      EXPECT_TRUE (VORN_IS_WAVE (w));
      g_autofree char *name = nullptr;
      g_object_get (w, "name", &name, nullptr);
      names += std::string (name) + ";";
    }
  EXPECT_EQ (names, std::string (vorn_wave_preset_get_name (VORN_WAVE_PRESET_VOLUME_ATTACK)) + ";"
                    + vorn_wave_preset_get_name (VORN_WAVE_PRESET_VOLUME_RELEASE) + ";"
                    + vorn_wave_preset_get_name (VORN_WAVE_PRESET_SIGNAL_SINE) + ";");

  g_autofree char *saved = json_gobject_to_data (G_OBJECT (file), nullptr);
  g_autoptr (GError) error = nullptr;
  g_autoptr (VornFile) loaded = vorn_file_load_from_data (saved, guint32 (strlen (saved)), &error);
  ASSERT_TRUE (loaded) << error->message;
  ASSERT_TRUE (VORN_IS_INST (VORN_NODE (loaded)->children));
  g_autofree char *again = json_gobject_to_data (G_OBJECT (loaded), nullptr);
  EXPECT_STREQ (again, saved);
}
