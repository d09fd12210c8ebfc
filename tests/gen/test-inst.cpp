/* Instrument node: defaults, JSON omissions and copies. */
#include "vorn-test-log.h"
#include "vorn-test-model.h"

#include <string>

using vorn_test::json_text;

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
