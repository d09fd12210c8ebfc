/* vorn-value.cpp: value conversions (JSON, doubles), comparison and small helpers */
#include "vorn-value.h"
#include "vorn-init.h"

#include <cmath>
#include <cstring>
#include <limits>

const char *
vorn_util_enum_nick (GType enum_type, int value)
{
  if (!G_TYPE_IS_ENUM (enum_type))
    return "";

  /* Enum classes of static types are never finalised, so the nick stays
   * valid after the unref. */
  auto *klass = static_cast<GEnumClass *> (g_type_class_ref (enum_type));
  GEnumValue *ev = g_enum_get_value (klass, value);
  const char *nick = ev ? ev->value_nick : "";
  g_type_class_unref (klass);
  return nick;
}

int
vorn_util_enum_lookup (GType enum_type, const char *nick, gboolean *found)
{
  if (found)
    *found = FALSE;

  if (!G_TYPE_IS_ENUM (enum_type) || !nick)
    return 0;

  auto *klass = static_cast<GEnumClass *> (g_type_class_ref (enum_type));
  GEnumValue *ev = g_enum_get_value_by_nick (klass, nick);
  int value = ev ? ev->value : 0;
  g_type_class_unref (klass);

  if (found)
    *found = ev != nullptr;
  return value;
}

int
vorn_util_enum_lookup_nocase (GType enum_type, const char *nick, gboolean *found)
{
  if (found)
    *found = FALSE;
  if (!G_TYPE_IS_ENUM (enum_type) || !nick)
    return 0;
  g_autoptr (GEnumClass) klass = static_cast<GEnumClass *> (g_type_class_ref (enum_type));
  for (guint i = 0; i < klass->n_values; i++)
    if (g_ascii_strcasecmp (klass->values[i].value_nick, nick) == 0)
      {
        if (found)
          *found = TRUE;
        return klass->values[i].value;
      }
  return 0;
}

static JsonNode *
int_node (gint64 v)
{
  JsonNode *node = json_node_new (JSON_NODE_VALUE);
  json_node_set_int (node, v);
  return node;
}

static JsonNode *
flags_to_json (const GValue *value)
{
  auto *klass = static_cast<GFlagsClass *> (g_type_class_ref (G_VALUE_TYPE (value)));
  JsonArray *array = json_array_new ();
  guint bits = g_value_get_flags (value);

  /* Name every flag value once; bits that no value covers are dropped. */
  while (bits)
    {
      GFlagsValue *fv = g_flags_get_first_value (klass, bits);
      if (!fv)
        break;
      json_array_add_string_element (array, fv->value_nick);
      bits &= ~fv->value;
    }

  g_type_class_unref (klass);
  JsonNode *node = json_node_new (JSON_NODE_ARRAY);
  json_node_take_array (node, array);
  return node;
}

JsonNode *
vorn_util_value_to_json (const GValue *value)
{
  g_return_val_if_fail (value != NULL, NULL);

  GType type = G_VALUE_TYPE (value);

  /* GType is derived from pointer, so it is matched before the fundamentals. */
  if (G_VALUE_HOLDS_GTYPE (value))
    {
      const char *name = g_type_name (g_value_get_gtype (value));
      JsonNode *node = json_node_new (name ? JSON_NODE_VALUE : JSON_NODE_NULL);
      if (name)
        json_node_set_string (node, name);
      return node;
    }

  switch (G_TYPE_FUNDAMENTAL (type))
    {
    case G_TYPE_CHAR:
      return int_node (g_value_get_schar (value));
    case G_TYPE_UCHAR:
      return int_node (g_value_get_uchar (value));
    case G_TYPE_INT:
      return int_node (g_value_get_int (value));
    case G_TYPE_UINT:
      return int_node (g_value_get_uint (value));
    case G_TYPE_LONG:
      return int_node (g_value_get_long (value));
    case G_TYPE_ULONG:
      return int_node (gint64 (g_value_get_ulong (value)));
    case G_TYPE_INT64:
      return int_node (g_value_get_int64 (value));
    case G_TYPE_UINT64:
      /* JSON integers are signed 64-bit here; the top half wraps. */
      return int_node (gint64 (g_value_get_uint64 (value)));

    case G_TYPE_BOOLEAN:
      {
        JsonNode *node = json_node_new (JSON_NODE_VALUE);
        json_node_set_boolean (node, g_value_get_boolean (value));
        return node;
      }

    case G_TYPE_FLOAT:
    case G_TYPE_DOUBLE:
      {
        JsonNode *node = json_node_new (JSON_NODE_VALUE);
        json_node_set_double (node, G_VALUE_HOLDS_FLOAT (value)
                                        ? double (g_value_get_float (value))
                                        : g_value_get_double (value));
        return node;
      }

    case G_TYPE_STRING:
      {
        const char *str = g_value_get_string (value);
        if (!str)
          return json_node_new (JSON_NODE_NULL);
        JsonNode *node = json_node_new (JSON_NODE_VALUE);
        json_node_set_string (node, str);
        return node;
      }

    case G_TYPE_ENUM:
      {
        auto *klass = static_cast<GEnumClass *> (g_type_class_ref (type));
        GEnumValue *ev = g_enum_get_value (klass, g_value_get_enum (value));
        JsonNode *node;
        /* A number outside the enumeration has no nick; keep the number so
         * that it loads back as it was. */
        if (ev)
          {
            node = json_node_new (JSON_NODE_VALUE);
            json_node_set_string (node, ev->value_nick);
          }
        else
          node = int_node (g_value_get_enum (value));
        g_type_class_unref (klass);
        return node;
      }

    case G_TYPE_FLAGS:
      return flags_to_json (value);

    case G_TYPE_BOXED:
      {
        JsonNodeType node_type;
        if (!json_boxed_can_serialize (type, &node_type))
          {
            g_warning ("Unsupported serialization for GValue boxed type '%s'",
                       g_type_name (type));
            return nullptr;
          }
        gconstpointer boxed = g_value_get_boxed (value);
        if (!boxed)
          return json_node_new (JSON_NODE_NULL);
        return json_boxed_serialize (type, boxed);
      }

    case G_TYPE_VARIANT:
      {
        GVariant *variant = g_value_get_variant (value);
        if (!variant)
          return json_node_new (JSON_NODE_NULL);
        return json_gvariant_serialize (variant);
      }

    default:
      g_warning ("Unsupported serialization of type '%s'", g_type_name (type));
      return nullptr;
    }
}

static void
json_array_to_flags (GValue *value, JsonArray *array)
{
  GType type = G_VALUE_TYPE (value);
  auto *klass = static_cast<GFlagsClass *> (g_type_class_ref (type));
  guint bits = 0;
  guint len = json_array_get_length (array);

  for (guint i = 0; i < len; i++)
    {
      JsonNode *elem = json_array_get_element (array, i);
      if (JSON_NODE_HOLDS_VALUE (elem)
          && json_node_get_value_type (elem) == G_TYPE_STRING)
        {
          const char *nick = json_node_get_string (elem);
          GFlagsValue *fv = g_flags_get_value_by_nick (klass, nick);
          if (fv)
            bits |= fv->value;
          else
            g_warning ("Invalid flags value '%s' for flags type '%s' from JSON data",
                       nick, g_type_name (type));
        }
      else
        g_warning ("Invalid flags value for flags type '%s' from JSON data",
                   g_type_name (type));
    }

  g_type_class_unref (klass);
  g_value_set_flags (value, bits);
}

static gboolean
json_value_to_enum (GValue *value, JsonNode *node, GError **err)
{
  GType type = G_VALUE_TYPE (value);
  GType jtype = json_node_get_value_type (node);
  auto *klass = static_cast<GEnumClass *> (g_type_class_ref (type));
  gboolean ok = FALSE;

  if (jtype == G_TYPE_STRING)
    {
      const char *nick = json_node_get_string (node);
      GEnumValue *ev = g_enum_get_value_by_nick (klass, nick);
      if (ev)
        {
          g_value_set_enum (value, ev->value);
          ok = TRUE;
        }
      else
        g_set_error (err, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                     "Invalid value '%s' for enum type '%s' in JSON data",
                     nick, g_type_name (type));
    }
  else if (jtype == G_TYPE_INT64)
    {
      int num = int (json_node_get_int (node));
      if (g_enum_get_value (klass, num))
        {
          g_value_set_enum (value, num);
          ok = TRUE;
        }
      else
        g_set_error (err, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                     "Invalid value %d for enum type '%s' in JSON data",
                     num, g_type_name (type));
    }
  else
    g_set_error (err, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                 "Invalid value for enum type '%s' in JSON data", g_type_name (type));

  g_type_class_unref (klass);
  return ok;
}

static gboolean
json_value_to_boxed (GValue *value, JsonNode *node, GError **err)
{
  GType type = G_VALUE_TYPE (value);
  JsonNodeType node_type = json_node_get_node_type (node);

  if (!json_boxed_can_deserialize (type, node_type))
    {
      g_set_error (err, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                   "Unsupported deserialization of value boxed type '%s' from JSON type '%s'",
                   g_type_name (type), json_node_type_name (node));
      return FALSE;
    }

  gpointer boxed = json_boxed_deserialize (type, node);
  if (!boxed)
    {
      g_set_error (err, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                   "Failed to deserialize value boxed type '%s' from JSON type '%s'",
                   g_type_name (type), json_node_type_name (node));
      return FALSE;
    }

  g_value_take_boxed (value, boxed);
  return TRUE;
}

gboolean
vorn_util_json_to_value (GValue *value, JsonNode *node, GError **err)
{
  g_return_val_if_fail (value != NULL, FALSE);
  g_return_val_if_fail (node != NULL, FALSE);
  g_return_val_if_fail (!err || !*err, FALSE);

  GType type = G_VALUE_TYPE (value);

  /* A zero-filled value takes the JSON value's own type. */
  if (type == G_TYPE_INVALID)
    {
      if (JSON_NODE_HOLDS_VALUE (node))
        {
          json_node_get_value (node, value);
          return TRUE;
        }
      g_set_error (err, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                   "Cannot auto deserialize value from JSON %s",
                   json_node_type_name (node));
      return FALSE;
    }

  if (G_TYPE_IS_FLAGS (type) && JSON_NODE_HOLDS_ARRAY (node))
    {
      json_array_to_flags (value, json_node_get_array (node));
      return TRUE;
    }

  if (JSON_NODE_HOLDS_NULL (node))
    {
      if (G_VALUE_HOLDS_GTYPE (value))
        g_value_set_gtype (value, G_TYPE_NONE);
      else if (G_TYPE_FUNDAMENTAL (type) == G_TYPE_BOXED)
        g_value_set_boxed (value, nullptr);
      else if (G_TYPE_FUNDAMENTAL (type) == G_TYPE_VARIANT)
        g_value_set_variant (value, nullptr);
      else if (G_TYPE_FUNDAMENTAL (type) == G_TYPE_STRING)
        g_value_set_string (value, nullptr);
      else
        {
          g_set_error (err, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                       "Invalid JSON null for value of type '%s'", g_type_name (type));
          return FALSE;
        }
      return TRUE;
    }

  if (!JSON_NODE_HOLDS_VALUE (node))
    {
      g_set_error (err, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                   "Invalid JSON data type '%s' for value of type '%s'",
                   json_node_type_name (node), g_type_name (type));
      return FALSE;
    }

  if (G_VALUE_HOLDS_GTYPE (value))
    {
      if (json_node_get_value_type (node) != G_TYPE_STRING)
        {
          g_set_error (err, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                       "Failed to deserialize GType from JSON type '%s'",
                       json_node_type_name (node));
          return FALSE;
        }
      g_value_set_gtype (value, g_type_from_name (json_node_get_string (node)));
      return TRUE;
    }

  switch (G_TYPE_FUNDAMENTAL (type))
    {
    case G_TYPE_ENUM:
      return json_value_to_enum (value, node, err);

    case G_TYPE_FLAGS:
      if (json_node_get_value_type (node) != G_TYPE_INT64)
        {
          g_set_error (err, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                       "Invalid value for flags type '%s' in JSON data",
                       g_type_name (type));
          return FALSE;
        }
      g_value_set_flags (value, guint (json_node_get_int (node)));
      return TRUE;

    case G_TYPE_BOXED:
      return json_value_to_boxed (value, node, err);

    case G_TYPE_VARIANT:
      {
        g_autoptr (GError) local = nullptr;
        GVariant *variant = json_gvariant_deserialize (node, nullptr, &local);
        if (!variant)
          {
            g_set_error (err, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                         "Failed to deserialize variant from JSON type '%s': %s",
                         json_node_type_name (node),
                         local ? local->message : "");
            return FALSE;
          }
        g_value_take_variant (value, variant);
        return TRUE;
      }

    default:
      {
        g_auto (GValue) src = G_VALUE_INIT;
        json_node_get_value (node, &src);
        if (!g_value_type_transformable (G_VALUE_TYPE (&src), type)
            || !g_value_transform (&src, value))
          {
            g_set_error (err, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                         "Failed to convert JSON data from type '%s' to type '%s'",
                         g_type_name (G_VALUE_TYPE (&src)), g_type_name (type));
            return FALSE;
          }
        return TRUE;
      }
    }
}

void
vorn_util_config_object_save_json (GObject *obj, JsonObject *jsonObj)
{
  g_return_if_fail (G_IS_OBJECT (obj));
  g_return_if_fail (jsonObj != NULL);

  guint n_props = 0;
  GParamSpec **props = g_object_class_list_properties (G_OBJECT_GET_CLASS (obj), &n_props);

  for (guint i = 0; i < n_props; i++)
    {
      GParamSpec *pspec = props[i];
      if (!(pspec->flags & VORN_PARAM_CONFIG) || !(pspec->flags & G_PARAM_READABLE))
        continue;

      g_auto (GValue) value = G_VALUE_INIT;
      g_value_init (&value, pspec->value_type);
      g_object_get_property (obj, pspec->name, &value);

      JsonNode *node = JSON_IS_SERIALIZABLE (obj)
          ? json_serializable_serialize_property (JSON_SERIALIZABLE (obj),
                                                  pspec->name, &value, pspec)
          : vorn_util_value_to_json (&value);
      if (node)
        json_object_set_member (jsonObj, pspec->name, node);
    }

  g_free (props);
}

void
vorn_util_config_object_load_json (GObject *obj, JsonObject *jsonObj)
{
  g_return_if_fail (G_IS_OBJECT (obj));
  g_return_if_fail (jsonObj != NULL);

  GObjectClass *klass = G_OBJECT_GET_CLASS (obj);
  const char *type_name = G_OBJECT_TYPE_NAME (obj);
  JsonObjectIter iter;
  const char *name;
  JsonNode *node;

  g_object_freeze_notify (obj);
  json_object_iter_init_ordered (&iter, jsonObj);
  while (json_object_iter_next_ordered (&iter, &name, &node))
    {
      GParamSpec *pspec = g_object_class_find_property (klass, name);
      if (!pspec)
        continue;   /* members of newer or older versions are not an error */

      if (!(pspec->flags & VORN_PARAM_CONFIG))
        {
          g_warning ("Ignoring value for non config property '%s' for object of type '%s'",
                     name, type_name);
          continue;
        }
      if (!(pspec->flags & G_PARAM_WRITABLE) || (pspec->flags & G_PARAM_CONSTRUCT_ONLY))
        continue;

      g_auto (GValue) value = G_VALUE_INIT;
      g_value_init (&value, pspec->value_type);
      gboolean ok = JSON_IS_SERIALIZABLE (obj)
          ? json_serializable_deserialize_property (JSON_SERIALIZABLE (obj), name,
                                                    &value, pspec, node)
          : vorn_util_json_to_value (&value, node, nullptr);

      /* A bad entry keeps the current setting rather than resetting it to the
       * type's zero value. */
      if (!ok)
        {
          g_warning ("Failed to load config value '%s' for object of type '%s'",
                     name, type_name);
          continue;
        }
      g_object_set_property (obj, name, &value);
    }
  g_object_thaw_notify (obj);
}

JsonArray *
vorn_util_json_object_get_array_member (JsonObject *jsonObj, const char *memberName)
{
  g_return_val_if_fail (jsonObj != NULL, NULL);
  g_return_val_if_fail (memberName != NULL, NULL);

  JsonNode *node = json_object_get_member (jsonObj, memberName);
  return node && JSON_NODE_HOLDS_ARRAY (node) ? json_node_get_array (node) : nullptr;
}

JsonObject *
vorn_util_json_object_get_object_member (JsonObject *jsonObj, const char *memberName)
{
  g_return_val_if_fail (jsonObj != NULL, NULL);
  g_return_val_if_fail (memberName != NULL, NULL);

  JsonNode *node = json_object_get_member (jsonObj, memberName);
  return node && JSON_NODE_HOLDS_OBJECT (node) ? json_node_get_object (node) : nullptr;
}

const char *
vorn_util_json_object_get_string_member (JsonObject *jsonObj, const char *memberName)
{
  g_return_val_if_fail (jsonObj != NULL, NULL);
  g_return_val_if_fail (memberName != NULL, NULL);

  JsonNode *node = json_object_get_member (jsonObj, memberName);
  if (!node || !JSON_NODE_HOLDS_VALUE (node)
      || json_node_get_value_type (node) != G_TYPE_STRING)
    return nullptr;
  return json_node_get_string (node);
}

JsonObject *
vorn_util_json_array_get_object (JsonArray *array, guint index)
{
  g_return_val_if_fail (array != NULL, NULL);

  if (index >= json_array_get_length (array))
    return nullptr;
  JsonNode *node = json_array_get_element (array, index);
  return JSON_NODE_HOLDS_OBJECT (node) ? json_node_get_object (node) : nullptr;
}

double
vorn_util_value_get_double (const GValue *val, gboolean *ok)
{
  if (ok)
    *ok = FALSE;
  g_return_val_if_fail (val != NULL, 0.0);

  double d;
  switch (G_TYPE_FUNDAMENTAL (G_VALUE_TYPE (val)))
    {
    case G_TYPE_CHAR:    d = g_value_get_schar (val); break;
    case G_TYPE_UCHAR:   d = g_value_get_uchar (val); break;
    case G_TYPE_BOOLEAN: d = g_value_get_boolean (val) ? 1.0 : 0.0; break;
    case G_TYPE_INT:     d = g_value_get_int (val); break;
    case G_TYPE_UINT:    d = g_value_get_uint (val); break;
    case G_TYPE_LONG:    d = double (g_value_get_long (val)); break;
    case G_TYPE_ULONG:   d = double (g_value_get_ulong (val)); break;
    case G_TYPE_INT64:   d = double (g_value_get_int64 (val)); break;
    case G_TYPE_UINT64:  d = double (g_value_get_uint64 (val)); break;
    case G_TYPE_FLOAT:   d = g_value_get_float (val); break;
    case G_TYPE_DOUBLE:  d = g_value_get_double (val); break;
    case G_TYPE_ENUM:    d = g_value_get_enum (val); break;
    case G_TYPE_FLAGS:   d = g_value_get_flags (val); break;
    default:
      return 0.0;
    }

  if (ok)
    *ok = TRUE;
  return d;
}

/* Clamps @d to [lo, hi] and truncates toward zero; NaN gives @hi.  The bounds
 * are compared as doubles, where the 64-bit maxima round up to 2^63 and 2^64,
 * so ">=" catches everything that would overflow the cast. */
template <typename T>
static T
clamp_trunc (double d, T lo, T hi)
{
  if (std::isnan (d) || d >= double (hi))
    return hi;
  if (d <= double (lo))
    return lo;
  return T (std::trunc (d));
}

gboolean
vorn_util_value_set_double (GValue *val, double d)
{
  g_return_val_if_fail (val != NULL, FALSE);

  constexpr gint32 i32_min = std::numeric_limits<gint32>::min ();
  constexpr gint32 i32_max = std::numeric_limits<gint32>::max ();
  constexpr guint32 u32_max = std::numeric_limits<guint32>::max ();

  switch (G_TYPE_FUNDAMENTAL (G_VALUE_TYPE (val)))
    {
    case G_TYPE_CHAR:
      g_value_set_schar (val, clamp_trunc<gint8> (d, G_MININT8, G_MAXINT8));
      break;
    case G_TYPE_UCHAR:
      g_value_set_uchar (val, clamp_trunc<guint8> (d, 0, G_MAXUINT8));
      break;
    case G_TYPE_BOOLEAN:
      g_value_set_boolean (val, d != 0.0);
      break;
    case G_TYPE_INT:
      g_value_set_int (val, clamp_trunc<gint32> (d, i32_min, i32_max));
      break;
    case G_TYPE_ENUM:
      g_value_set_enum (val, clamp_trunc<gint32> (d, i32_min, i32_max));
      break;
    case G_TYPE_LONG:
      /* Same range as int, so stored values mean the same on every platform. */
      g_value_set_long (val, clamp_trunc<gint32> (d, i32_min, i32_max));
      break;
    case G_TYPE_UINT:
      g_value_set_uint (val, clamp_trunc<guint32> (d, 0, u32_max));
      break;
    case G_TYPE_ULONG:
      g_value_set_ulong (val, clamp_trunc<guint32> (d, 0, u32_max));
      break;
    case G_TYPE_FLAGS:
      g_value_set_flags (val, clamp_trunc<guint32> (d, 0, u32_max));
      break;
    case G_TYPE_INT64:
      g_value_set_int64 (val, clamp_trunc<gint64> (d, G_MININT64, G_MAXINT64));
      break;
    case G_TYPE_UINT64:
      g_value_set_uint64 (val, clamp_trunc<guint64> (d, 0, G_MAXUINT64));
      break;
    case G_TYPE_FLOAT:
      g_value_set_float (val, float (d));
      break;
    case G_TYPE_DOUBLE:
      g_value_set_double (val, d);
      break;
    default:
      return FALSE;
    }

  return TRUE;
}

int
vorn_util_compare_values (const GValue *aval, const GValue *bval)
{
  g_return_val_if_fail (aval != NULL, -2);
  g_return_val_if_fail (bval != NULL, -2);

  gboolean a_ok, b_ok;
  double a = vorn_util_value_get_double (aval, &a_ok);
  double b = vorn_util_value_get_double (bval, &b_ok);
  if (a_ok && b_ok)
    return a < b ? -1 : (a > b ? 1 : 0);

  if (G_VALUE_HOLDS_STRING (aval) && G_VALUE_HOLDS_STRING (bval))
    {
      int cmp = g_strcmp0 (g_value_get_string (aval), g_value_get_string (bval));
      return (cmp > 0) - (cmp < 0);
    }

  return -2;
}

gboolean
vorn_util_pspec_double (GParamSpec *pspec, double *min, double *max,
                        double *def, gboolean *is_float)
{
  if (is_float)
    *is_float = FALSE;
  g_return_val_if_fail (pspec != NULL, FALSE);

  double lo, hi, dv;
  gboolean flt = FALSE;

#define VORN_PSPEC_RANGE(CHECK, CAST)      \
  else if (CHECK (pspec))                  \
    {                                      \
      auto *p = CAST (pspec);              \
      lo = double (p->minimum);            \
      hi = double (p->maximum);            \
      dv = double (p->default_value);      \
    }

  if (G_IS_PARAM_SPEC_BOOLEAN (pspec))
    {
      lo = 0.0;
      hi = 1.0;
      dv = G_PARAM_SPEC_BOOLEAN (pspec)->default_value ? 1.0 : 0.0;
    }
  VORN_PSPEC_RANGE (G_IS_PARAM_SPEC_CHAR, G_PARAM_SPEC_CHAR)
  VORN_PSPEC_RANGE (G_IS_PARAM_SPEC_UCHAR, G_PARAM_SPEC_UCHAR)
  VORN_PSPEC_RANGE (G_IS_PARAM_SPEC_INT, G_PARAM_SPEC_INT)
  VORN_PSPEC_RANGE (G_IS_PARAM_SPEC_UINT, G_PARAM_SPEC_UINT)
  VORN_PSPEC_RANGE (G_IS_PARAM_SPEC_LONG, G_PARAM_SPEC_LONG)
  VORN_PSPEC_RANGE (G_IS_PARAM_SPEC_ULONG, G_PARAM_SPEC_ULONG)
  VORN_PSPEC_RANGE (G_IS_PARAM_SPEC_INT64, G_PARAM_SPEC_INT64)
  VORN_PSPEC_RANGE (G_IS_PARAM_SPEC_UINT64, G_PARAM_SPEC_UINT64)
  else if (G_IS_PARAM_SPEC_ENUM (pspec))
    {
      GParamSpecEnum *p = G_PARAM_SPEC_ENUM (pspec);
      lo = p->enum_class->minimum;
      hi = p->enum_class->maximum;
      dv = p->default_value;
    }
  else if (G_IS_PARAM_SPEC_FLAGS (pspec))
    {
      GParamSpecFlags *p = G_PARAM_SPEC_FLAGS (pspec);
      lo = 0.0;
      hi = p->flags_class->mask;
      dv = p->default_value;
    }
  VORN_PSPEC_RANGE (G_IS_PARAM_SPEC_FLOAT, G_PARAM_SPEC_FLOAT)
  VORN_PSPEC_RANGE (G_IS_PARAM_SPEC_DOUBLE, G_PARAM_SPEC_DOUBLE)
  else
    return FALSE;

#undef VORN_PSPEC_RANGE

  if (G_IS_PARAM_SPEC_FLOAT (pspec) || G_IS_PARAM_SPEC_DOUBLE (pspec))
    flt = TRUE;

  if (min)
    *min = lo;
  if (max)
    *max = hi;
  if (def)
    *def = dv;
  if (is_float)
    *is_float = flt;
  return TRUE;
}

char *
vorn_util_double_to_str_clean (double value, int digits)
{
  char *text = g_strdup_printf ("%0.*f", digits, value);
  if (digits <= 0)
    return text;

  size_t len = strlen (text);
  int zeros = 0;
  while (zeros < digits && len > 0 && text[len - 1] == '0')
    {
      len--;
      zeros++;
    }

  /* All decimals gone: drop the decimal point too.  It is whatever the
   * locale uses (possibly several bytes), so strip back to the last digit of
   * the integer part. */
  if (zeros == digits)
    while (len > 0 && !g_ascii_isdigit (text[len - 1]))
      len--;
  text[len] = '\0';

  /* Rounding a small negative number to zero would read "-0". */
  if (strcmp (text, "-0") == 0)
    memmove (text, text + 1, 2);

  return text;
}

gboolean
vorn_util_midi_note_is_white (guint8 note)
{
  switch (note % 12)
    {
    case 1: case 3: case 6: case 8: case 10:
      return FALSE;
    default:
      return TRUE;
    }
}
