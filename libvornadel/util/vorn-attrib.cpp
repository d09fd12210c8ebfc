/* vorn-attrib.cpp: attribute enumerations, value records and default tables */
#include "vorn-attrib.h"

#include <cstring>

G_DEFINE_ENUM_TYPE (VornAttribType, vorn_attrib_type,
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_TYPE_NONE, "none"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_TYPE_TIME, "time"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_TYPE_PITCH, "pitch"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_TYPE_VOLUME, "volume"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_TYPE_SIGNAL, "signal"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_TYPE_EFFECT1, "effect1"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_TYPE_EFFECT2, "effect2"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_TYPE_EFFECT3, "effect3"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_TYPE_EFFECT4, "effect4"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_TYPE_BALANCE, "balance"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_TYPE_LATITUDE, "latitude"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_TYPE_SPEAKERS, "speakers"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_TYPE_MORPH, "morph"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_TYPE_CONTROL, "control"))

G_DEFINE_ENUM_TYPE (VornAttribState, vorn_attrib_state,
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_STATE_UNSET, "unset"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_STATE_CONST, "const"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_STATE_FIXED, "fixed"),
  G_DEFINE_ENUM_VALUE (VORN_ATTRIB_STATE_DYNAMIC, "dynamic"))

G_DEFINE_ENUM_TYPE (VornFormat, vorn_format,
  G_DEFINE_ENUM_VALUE (VORN_FORMAT_SINGLE, "single"),
  G_DEFINE_ENUM_VALUE (VORN_FORMAT_DOUBLE, "double"))

G_DEFINE_ENUM_TYPE (VornUnit, vorn_unit,
  G_DEFINE_ENUM_VALUE (VORN_UNIT_BIPOLAR, "bipolar"),
  G_DEFINE_ENUM_VALUE (VORN_UNIT_UNIPOLAR, "unipolar"),
  G_DEFINE_ENUM_VALUE (VORN_UNIT_MSECS, "msecs"),
  G_DEFINE_ENUM_VALUE (VORN_UNIT_RADIANS, "radians"))

void
vorn_attrib_val_init_float (VornAttribVal *val, gpointer buffer, float value)
{
  g_return_if_fail (val != NULL);

  val->value.bits = 0;   /* the upper bytes read as zero in either format */
  val->value.f = value;
  val->buffer = buffer;
  val->format = VORN_FORMAT_SINGLE;
  val->state = buffer ? VORN_ATTRIB_STATE_DYNAMIC : VORN_ATTRIB_STATE_CONST;
  val->group_rest = 0;
}

void
vorn_attrib_val_init_double (VornAttribVal *val, gpointer buffer, double value)
{
  g_return_if_fail (val != NULL);

  val->value.d = value;
  val->buffer = buffer;
  val->format = VORN_FORMAT_DOUBLE;
  val->state = buffer ? VORN_ATTRIB_STATE_DYNAMIC : VORN_ATTRIB_STATE_CONST;
  val->group_rest = 0;
}

namespace {

/* A generator whose time or pitch input nothing feeds runs as if at 48 kHz
 * and 1 Hz; an unfed volume is unity gain; everything else is silent. */
constexpr double default_for (int type)
{
  switch (type)
    {
    case VORN_ATTRIB_TYPE_TIME:
    case VORN_ATTRIB_TYPE_PITCH:
      return 1.0 / 48000.0;
    case VORN_ATTRIB_TYPE_VOLUME:
      return 1.0;
    default:
      return 0.0;
    }
}

struct DefaultTables {
  VornAttribVal single_values[VORN_ATTRIB_TYPE_COUNT];
  VornAttribVal double_values[VORN_ATTRIB_TYPE_COUNT];

  DefaultTables ()
  {
    for (int t = 0; t < VORN_ATTRIB_TYPE_COUNT; t++)
      {
        vorn_attrib_val_init_float (&single_values[t], nullptr, float (default_for (t)));
        single_values[t].state = VORN_ATTRIB_STATE_FIXED;
        vorn_attrib_val_init_double (&double_values[t], nullptr, default_for (t));
        double_values[t].state = VORN_ATTRIB_STATE_FIXED;
      }
  }
};

} // namespace

const VornAttribVal *
vorn_attrib_get_default_value (VornAttribType type, VornFormat format)
{
  const unsigned attribType = type;
  g_return_val_if_fail (attribType < VORN_ATTRIB_TYPE_COUNT, NULL);

  /* Built once, thread-safely, on first use; read-only afterwards. */
  static const DefaultTables vornAttribDefaultValues;

  return format == VORN_FORMAT_DOUBLE ? &vornAttribDefaultValues.double_values[attribType]
                                      : &vornAttribDefaultValues.single_values[attribType];
}
