/* vorn-json-write.cpp: readable, compact JSON text */
#include "vorn-json-write.h"

#include <charconv>
#include <cmath>
#include <cstring>

gsize
vorn_json_format_double (double value, char *buffer)
{
  if (!std::isfinite (value))
    {
      /* JSON has no text for these; the loader refuses them anyway. */
      memcpy (buffer, "0.0", 3);
      return 3;
    }
  /* The shortest scientific form tells how many digits are needed; the
   * general form with that precision is what "%.Ng" prints. */
  char *end = std::to_chars (buffer, buffer + 32, value, std::chars_format::scientific).ptr;
  int digits = 0;
  for (char *c = buffer; c < end && *c != 'e'; c++)
    digits += g_ascii_isdigit (*c) ? 1 : 0;
  for (;; digits++)
    {
      end = std::to_chars (buffer, buffer + 32, value, std::chars_format::general, digits).ptr;
      double back = 0;
      std::from_chars (buffer, end, back);
      if (back == value || digits >= 17)
        break;
    }
  if (!memchr (buffer, '.', gsize (end - buffer)) && !memchr (buffer, 'e', gsize (end - buffer)))
    {
      memcpy (end, ".0", 2);
      end += 2;
    }
  return gsize (end - buffer);
}

static void
write_string (GString *out, const char *text)
{
  g_string_append_c (out, '"');
  for (const char *c = text; *c; c++)
    {
      const char *escape = nullptr;
      switch (*c)
        {
        case '"': escape = "\\\""; break;
        case '\\': escape = "\\\\"; break;
        case '\b': escape = "\\b"; break;
        case '\f': escape = "\\f"; break;
        case '\n': escape = "\\n"; break;
        case '\r': escape = "\\r"; break;
        case '\t': escape = "\\t"; break;
        default: break;
        }
      if (escape)
        g_string_append (out, escape);
      else if (guchar (*c) < 0x20)
        g_string_append_printf (out, "\\u%04x", guint (guchar (*c)));
      else
        g_string_append_c (out, *c);
    }
  g_string_append_c (out, '"');
}

static void
write_value (GString *out, JsonNode *node)
{
  switch (json_node_get_value_type (node))
    {
    case G_TYPE_INT64:
      g_string_append_printf (out, "%" G_GINT64_FORMAT, json_node_get_int (node));
      break;
    case G_TYPE_DOUBLE:
      {
        char number[40];
        g_string_append_len (out, number,
                             gssize (vorn_json_format_double (json_node_get_double (node), number)));
        break;
      }
    case G_TYPE_BOOLEAN:
      g_string_append (out, json_node_get_boolean (node) ? "true" : "false");
      break;
    case G_TYPE_STRING:
      write_string (out, json_node_get_string (node));
      break;
    default:
      g_string_append (out, "null");
    }
}

static void
indent (GString *out, guint level)
{
  g_string_append_c (out, '\n');
  for (guint i = 0; i < level; i++)
    g_string_append (out, "  ");
}

static void
write_node (GString *out, JsonNode *node, guint level)
{
  switch (json_node_get_node_type (node))
    {
    case JSON_NODE_OBJECT:
      {
        JsonObject *object = json_node_get_object (node);
        GList *members = json_object_get_members (object);
        if (!members)
          {
            g_string_append (out, "{}");
            break;
          }
        g_string_append_c (out, '{');
        for (GList *m = members; m; m = m->next)
          {
            indent (out, level + 1);
            write_string (out, static_cast<const char *> (m->data));
            g_string_append (out, " : ");
            write_node (out, json_object_get_member (object, static_cast<const char *> (m->data)),
                        level + 1);
            if (m->next)
              g_string_append_c (out, ',');
          }
        g_list_free (members);
        indent (out, level);
        g_string_append_c (out, '}');
        break;
      }
    case JSON_NODE_ARRAY:
      {
        JsonArray *array = json_node_get_array (node);
        const guint n = json_array_get_length (array);
        bool flat = true;
        for (guint i = 0; i < n && flat; i++)
          flat = !JSON_NODE_HOLDS_OBJECT (json_array_get_element (array, i))
                 && !JSON_NODE_HOLDS_ARRAY (json_array_get_element (array, i));
        g_string_append_c (out, '[');
        for (guint i = 0; i < n; i++)
          {
            if (!flat)
              indent (out, level + 1);
            write_node (out, json_array_get_element (array, i), level + 1);
            if (i + 1 < n)
              g_string_append_c (out, ',');
          }
        if (!flat && n)
          indent (out, level);
        g_string_append_c (out, ']');
        break;
      }
    case JSON_NODE_VALUE:
      write_value (out, node);
      break;
    case JSON_NODE_NULL:
      g_string_append (out, "null");
      break;
    }
}

char *
vorn_json_write (JsonNode *root, gsize *length)
{
  g_return_val_if_fail (root != NULL, nullptr);

  GString *out = g_string_new (nullptr);
  write_node (out, root, 0);
  if (length)
    *length = out->len;
  return g_string_free (out, FALSE);
}
