/* vorn-value.h: value conversions (JSON, doubles), comparison and small helpers */
#pragma once

#include <glib-object.h>
#include <json-glib/json-glib.h>

G_BEGIN_DECLS

/**
 * VORN_VALUE_MAX:
 *
 * Largest magnitude of a number an instrument can hold (curve coordinates,
 * scales, offsets).  The renderer works in single precision and multiplies
 * a few such numbers per sample (curve height, scale, offset, volume): four
 * factors of at most 1e9 stay far below the single-precision maximum, so a
 * loaded instrument cannot overflow into infinity.  Loading refuses larger
 * and non-finite numbers.
 */
#define VORN_VALUE_MAX 1e9

/* Returns the nick of @value in the enumeration @enum_type (static string),
 * or "" when the type is not an enumeration or has no such value. */
const char *vorn_util_enum_nick (GType enum_type, int value);

/* Returns the value of @nick in the enumeration @enum_type.  @found (may be
 * NULL) tells whether the nick exists; an unknown nick gives 0. */
int vorn_util_enum_lookup (GType enum_type, const char *nick, gboolean *found);

/* As vorn_util_enum_lookup(), the nick compared without regard to ASCII
 * case: for names typed by users ("alsa" for "ALSA"). */
int vorn_util_enum_lookup_nocase (GType enum_type, const char *nick, gboolean *found);

/**
 * vorn_util_value_to_json:
 * @value: an initialised value
 *
 * Converts @value to JSON: numbers, booleans and strings as themselves,
 * GTypes by name, enumerations as their nick, flags as an array of nicks,
 * boxed types through json-glib's boxed serializers and variants through
 * json-glib's GVariant mapping.
 *
 * Returns: (transfer full): a new node, or NULL (with a warning) for an
 * unsupported type.
 */
JsonNode *vorn_util_value_to_json (const GValue *value);

/**
 * vorn_util_json_to_value:
 * @value: an initialised value, or a zero-filled one to take the JSON
 *   value's own type (int64, double, boolean or string)
 * @node: JSON to convert
 * @err: return location for a #VORN_ERROR_INVALID_DATA error
 *
 * Sets @value from @node, the reverse of vorn_util_value_to_json().
 *
 * Returns: TRUE on success; FALSE with @err set otherwise.
 */
gboolean vorn_util_json_to_value (GValue *value, JsonNode *node, GError **err);

/* Adds one member to @jsonObj for every readable property of @obj flagged
 * VORN_PARAM_CONFIG, converted with the object's JsonSerializable
 * serialize_property (vorn_util_value_to_json() when it has none). */
void vorn_util_config_object_save_json (GObject *obj, JsonObject *jsonObj);

/* Sets the configuration properties of @obj from the members of @jsonObj.
 * Unknown members are ignored; members naming a property that is not flagged
 * VORN_PARAM_CONFIG, and values that fail to convert, are logged as warnings
 * and leave the property unchanged. */
void vorn_util_config_object_load_json (GObject *obj, JsonObject *jsonObj);

/* Member lookups that return NULL (borrowed results otherwise) when the member
 * is absent or of another kind. */
JsonArray *vorn_util_json_object_get_array_member (JsonObject *jsonObj,
                                                   const char *memberName);
JsonObject *vorn_util_json_object_get_object_member (JsonObject *jsonObj,
                                                     const char *memberName);
const char *vorn_util_json_object_get_string_member (JsonObject *jsonObj,
                                                     const char *memberName);

/* Returns the element @index of @array (borrowed) when it exists and is an
 * object, else NULL. */
JsonObject *vorn_util_json_array_get_object (JsonArray *array, guint index);

/* Returns a numeric value (integers, booleans, floats, enum numbers, flag bit
 * sets) as a double with @ok (may be NULL) TRUE; 0.0 with @ok FALSE for any
 * other type. */
double vorn_util_value_get_double (const GValue *val, gboolean *ok);

/* Sets a numeric value from @d: integer types clamp to their range (NaN gives
 * the maximum) and truncate toward zero, booleans become @d != 0.  Returns
 * FALSE, leaving @val unchanged, for non-numeric types. */
gboolean vorn_util_value_set_double (GValue *val, double d);

/* Compares two numeric values (as doubles) or two strings (NULL first).
 * Returns -1, 0 or 1, or -2 when the values are not comparable. */
int vorn_util_compare_values (const GValue *aval, const GValue *bval);

/* Gives the range and default of a numeric GParamSpec as
 * doubles (each out argument may be NULL).  @is_float is set TRUE for float
 * and double GParamSpecs, FALSE otherwise.  Returns FALSE for
 * non-numeric GParamSpecs, leaving the out values untouched. */
gboolean vorn_util_pspec_double (GParamSpec *pspec, double *min, double *max,
                                 double *def, gboolean *is_float);

/* Formats @value with @digits decimals, then drops trailing zero decimals
 * (and the decimal point when all were zero).  Returns a new string. */
char *vorn_util_double_to_str_clean (double value, int digits);

/* TRUE when MIDI @note is a white key of a piano. */
gboolean vorn_util_midi_note_is_white (guint8 note);

G_END_DECLS
