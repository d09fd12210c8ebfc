/* The per-type default attribute records that unconnected inputs read. */
#include "vorn-test-log.h"
#include "vornadel.h"

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
