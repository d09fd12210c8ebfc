/* Tests of attribute records and the per-type default tables. */
#include "vorn-test-log.h"
#include "vornadel.h"

#include <cstring>

TEST (Attrib, InitSetsStateFromBuffer)
{
  alignas (64) float samples[VORN_FRAGMENT_SIZE] = {};
  VornAttribVal val;
  memset (&val, 0xff, sizeof val);   /* stale bytes must not survive */

  vorn_attrib_val_init_float (&val, nullptr, 0.25f);
  EXPECT_EQ (val.state, VORN_ATTRIB_STATE_CONST);
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
}

TEST (Attrib, DefaultTables)
{
  for (VornFormat format : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    for (int t = 0; t < VORN_ATTRIB_TYPE_COUNT; t++)
      {
        const VornAttribVal *v = vorn_attrib_get_default_value (VornAttribType (t), format);
        ASSERT_NE (v, nullptr);
        EXPECT_EQ (v->state, VORN_ATTRIB_STATE_FIXED);
        EXPECT_EQ (v->format, format);
        double value = format == VORN_FORMAT_DOUBLE ? v->value.d : v->value.f;
        double expect = t == VORN_ATTRIB_TYPE_VOLUME ? 1.0
                        : (t == VORN_ATTRIB_TYPE_TIME || t == VORN_ATTRIB_TYPE_PITCH) ? 1.0 / 48000 : 0.0;
        EXPECT_EQ (value, format == VORN_FORMAT_SINGLE ? float (expect) : expect) << "type " << t;
      }

  EXPECT_EQ (vorn_attrib_get_default_value (VornAttribType (VORN_ATTRIB_TYPE_COUNT), VORN_FORMAT_DOUBLE), nullptr);
  EXPECT_CRITICAL ("attribType < VORN_ATTRIB_TYPE_COUNT");
}
