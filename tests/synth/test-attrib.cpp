/* Tests of attribute records and the per-type default tables. */
#include "vorn-test-log.h"
#include "vornadel.h"

#include <cstring>
#include <string>

TEST (Attrib, InitSetsStateFromBuffer)
{
  alignas (64) float samples[VORN_FRAGMENT_SIZE] = {};
  VornAttribVal val;
  memset (&val, 0xff, sizeof val);   /* stale bytes must not survive */

  vorn_attrib_val_init_float (&val, nullptr, 0.25f);
  EXPECT_EQ (val.state, VORN_ATTRIB_STATE_CONST);
  EXPECT_EQ (val.format, VORN_FORMAT_SINGLE);
  EXPECT_EQ (val.group_rest, 0);
  EXPECT_EQ (val.value.f, 0.25f);
  EXPECT_EQ (val.value.bits >> 32, 0u) << "bytes behind the float are cleared";

  vorn_attrib_val_init_float (&val, samples, 1.0f);
  EXPECT_EQ (val.state, VORN_ATTRIB_STATE_DYNAMIC);
  EXPECT_EQ (val.buffer, samples);

  const double exact = 0.1 + 1e-17;
  vorn_attrib_val_init_double (&val, nullptr, exact);
  EXPECT_EQ (val.format, VORN_FORMAT_DOUBLE);
  EXPECT_EQ (val.state, VORN_ATTRIB_STATE_CONST);
  EXPECT_EQ (val.value.d, exact);

  vorn_attrib_val_init_float (nullptr, nullptr, 0);
  EXPECT_CRITICAL ("val != NULL");
  vorn_attrib_val_init_double (nullptr, nullptr, 0);
  EXPECT_CRITICAL ("val != NULL");
}

TEST (Attrib, DefaultTables)
{
  for (VornFormat format : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    for (int t = 0; t < VORN_ATTRIB_TYPE_COUNT; t++)
      {
        const VornAttribVal *v = vorn_attrib_get_default_value (VornAttribType (t), format);
        ASSERT_NE (v, nullptr);
        EXPECT_EQ (v->state, VORN_ATTRIB_STATE_FIXED);
        EXPECT_EQ (v->buffer, nullptr);
        EXPECT_EQ (v->format, format);
        double value = format == VORN_FORMAT_DOUBLE ? v->value.d : v->value.f;
        double expect = t == VORN_ATTRIB_TYPE_VOLUME ? 1.0
                        : (t == VORN_ATTRIB_TYPE_TIME || t == VORN_ATTRIB_TYPE_PITCH) ? 1.0 / 48000 : 0.0;
        if (format == VORN_FORMAT_SINGLE)
          expect = float (expect);
        EXPECT_EQ (value, expect) << "type " << t;
      }

  /* Anything but double picks the single table; the tables are shared. */
  EXPECT_EQ (vorn_attrib_get_default_value (VORN_ATTRIB_TYPE_PITCH, VornFormat (7)),
             vorn_attrib_get_default_value (VORN_ATTRIB_TYPE_PITCH, VORN_FORMAT_SINGLE));

  EXPECT_EQ (vorn_attrib_get_default_value (VornAttribType (VORN_ATTRIB_TYPE_COUNT), VORN_FORMAT_DOUBLE), nullptr);
  EXPECT_CRITICAL ("attribType < VORN_ATTRIB_TYPE_COUNT");
}

/* Enumeration nicks are the vocabulary of files and settings. */
TEST (Attrib, EnumNicksErrorDomainAndSoftwareName)
{
  g_autoptr (GEnumClass) types = G_ENUM_CLASS (g_type_class_ref (VORN_TYPE_ATTRIB_TYPE));
  std::string nicks;
  for (guint t = 0; t < types->n_values; t++)
    nicks += std::string (t ? " " : "") + g_enum_get_value (types, int (t))->value_nick;
  EXPECT_EQ (nicks, "none time pitch volume signal effect1 effect2 effect3 effect4 balance latitude "
                    "speakers morph control");
  EXPECT_EQ (types->n_values, guint (VORN_ATTRIB_TYPE_COUNT));
  auto nick = [] (GType type, int value) {
    g_autoptr (GEnumClass) klass = G_ENUM_CLASS (g_type_class_ref (type));
    return std::string (g_enum_get_value (klass, value)->value_nick);
  };
  EXPECT_EQ (nick (VORN_TYPE_FORMAT, VORN_FORMAT_DOUBLE), "double");
  EXPECT_EQ (nick (VORN_TYPE_UNIT, VORN_UNIT_RADIANS), "radians");
  EXPECT_EQ (nick (VORN_TYPE_ATTRIB_STATE, VORN_ATTRIB_STATE_DYNAMIC), "dynamic");
  EXPECT_EQ (nick (VORN_TYPE_ERROR, VORN_ERROR_INVALID_DATA), "invalid-data");

  EXPECT_STREQ (g_quark_to_string (VORN_ERROR), "libvornadel-error-quark");
  EXPECT_STREQ (vorn_app_name, "Zelmora 0.9.0");
  /* Node types are found by name before any instance exists. */
  EXPECT_NE (g_type_from_name ("VornFile"), G_TYPE_INVALID);
  EXPECT_NE (g_type_from_name ("VornParamSpecList"), G_TYPE_INVALID);
}
