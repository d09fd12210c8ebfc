/* vorn-file-scan.cpp: the checks an instrument file passes before parsing */
#include "vorn-file-scan.h"
#include "vorn-file.h"
#include "vorn-init.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

/* What the scan knows about one open object or array. */
struct Level {
  bool object = false;
  bool nodes = false;        /* an array of nodes */
  std::string_view key;      /* an object's latest member name, raw */
  std::string_view type;     /* an object's "type", raw */
};

/* An integer beyond 64 bits, reported once its object has been read, so
 * that the message can name the node type even when "type" comes later. */
struct Overflow {
  bool found = false;
  gsize depth = 0;           /* of the object holding the member */
  std::string_view text, key;
};

gboolean G_GNUC_PRINTF (2, 3)
fail (GError **error, const char *format, ...)
{
  va_list args;
  va_start (args, format);
  g_autofree char *message = g_strdup_vprintf (format, args);
  va_end (args);
  g_set_error_literal (error, VORN_ERROR, VORN_ERROR_INVALID_DATA, message);
  return FALSE;
}

/* Text of the file for a message: valid UTF-8 already, but kept short. */
std::string
quoted (std::string_view text)
{
  if (text.size () <= 64)
    return std::string (text);
  const char *cut = g_utf8_find_prev_char (text.data (), text.data () + 61);
  return std::string (text.data (), gsize (cut - text.data ())) + "\xe2\x80\xa6";
}

const char *
wide_encoding (const guchar *d, gsize n)
{
  if (n >= 4 && ((!d[0] && !d[1] && d[2] == 0xfe && d[3] == 0xff)
                 || (d[0] == 0xff && d[1] == 0xfe && !d[2] && !d[3])))
    return "UTF-32";
  if (n >= 2 && ((d[0] == 0xff && d[1] == 0xfe) || (d[0] == 0xfe && d[1] == 0xff)))
    return "UTF-16";
  /* Without a mark, ASCII text shows its width in the pattern of zeros. */
  if (n >= 4 && ((!d[0] && !d[1] && !d[2] && d[3]) || (d[0] && !d[1] && !d[2] && !d[3])))
    return "UTF-32";
  if (n >= 2 && ((!d[0] && d[1]) || (d[0] && !d[1])))
    return "UTF-16";
  return nullptr;
}

bool
hex4 (const char *p, gsize left, guint *value)
{
  if (left < 4)
    return false;
  *value = 0;
  for (int k = 0; k < 4; k++)
    {
      if (!g_ascii_isxdigit (p[k]))
        return false;
      *value = *value * 16 + guint (g_ascii_xdigit_value (p[k]));
    }
  return true;
}

/* Index after the string that opens at @i, @size + 1 when it never closes,
 * or 0 with @error set. */
gsize
skip_string (const char *data, gsize size, gsize i, GError **error)
{
  for (i++; i < size; i++)
    {
      if (data[i] == '"')
        return i + 1;
      if (data[i] != '\\')
        continue;
      guint unit = 0, low = 0;
      if (i + 1 < size && data[i + 1] == 'u' && hex4 (data + i + 2, size - i - 2, &unit)
          && unit >= 0xd800 && unit <= 0xdfff)
        {
          const bool paired = unit < 0xdc00 && i + 11 < size && data[i + 6] == '\\'
                              && data[i + 7] == 'u' && hex4 (data + i + 8, size - i - 8, &low)
                              && low >= 0xdc00 && low <= 0xdfff;
          if (!paired)
            {
              fail (error, "Invalid string escape at byte %" G_GSIZE_FORMAT ": \\u%.4s is half of "
                    "a UTF-16 surrogate pair, without the other half", i, data + i + 2);
              return 0;
            }
          i += 6;
        }
      i++;
    }
  return size + 1;
}

bool
integer_fits (std::string_view text)
{
  const bool negative = text[0] == '-';
  guint64 value = 0;
  for (char c : text.substr (negative ? 1 : 0))
    {
      if (value > (G_MAXUINT64 - 9) / 10)
        return false;
      value = value * 10 + guint64 (c - '0');
    }
  return value <= guint64 (G_MAXINT64) + (negative ? 1 : 0);
}

gboolean
report_overflow (const Overflow &o, const Level &object, GError **error)
{
  std::string text (o.text);
  if (text.size () > 24)
    text = text.substr (0, 20) + "\xe2\x80\xa6 (" + std::to_string (text.size ()) + " characters)";
  if (object.type.empty ())
    return fail (error, "Value %s out of range for member '%s'", text.c_str (), quoted (o.key).c_str ());
  return fail (error, "Value %s out of range for member '%s' of node type '%s'", text.c_str (),
               quoted (o.key).c_str (), quoted (object.type).c_str ());
}

} // namespace

gboolean
vorn_file_scan (const char *data, gsize size, int max_depth, GError **error)
{
  if (const char *encoding = wide_encoding (reinterpret_cast<const guchar *> (data), size))
    return fail (error, "The file is %s; instrument files are UTF-8", encoding);
  if (const void *nul = memchr (data, 0, size))
    return fail (error, "The file holds a NUL byte at byte %" G_GSIZE_FORMAT
                 "; instrument files are UTF-8 text", gsize (static_cast<const char *> (nul) - data));
  const char *bad = nullptr;
  if (!g_utf8_validate_len (data, size, &bad))
    return fail (error, "The file is not valid UTF-8: byte %" G_GSIZE_FORMAT
                 " starts no UTF-8 character", gsize (bad - data));

  std::vector<Level> stack (gsize (max_depth) + 2);
  gsize depth = 0, nodes = 0, values = 0;
  bool nodes_key = false;   /* the member name just read is "nodes" */
  Overflow overflow;

  auto count_value = [&] () {
    nodes_key = false;
    return ++values <= VORN_FILE_MAX_VALUES;
  };
  auto too_many_values = [&] () {
    return fail (error, "Too many values: instrument files are limited to %d JSON values",
                 VORN_FILE_MAX_VALUES);
  };

  gsize i = 0;
  while (i < size)
    {
      const char c = data[i];
      if (c == '/')
        return fail (error, "Comments are not allowed in instrument files (one starts at byte %"
                     G_GSIZE_FORMAT ")", i);
      if (c == '"')
        {
          const gsize start = i;
          if (!(i = skip_string (data, size, i, error)))
            return FALSE;
          if (i > size)
            break;   /* unterminated: the parser says so */
          gsize next = i;
          while (next < size && g_ascii_isspace (data[next]))
            next++;
          std::string_view text (data + start + 1, i - start - 2);
          Level &level = stack[depth];
          if (next < size && data[next] == ':')
            {
              /* A member costs about what a value does. */
              if (++values > VORN_FILE_MAX_VALUES)
                return too_many_values ();
              level.key = text;
              /* An escaped name may spell "nodes": counted as one. */
              nodes_key = text == "nodes" || text.find ('\\') != text.npos;
              continue;
            }
          if (level.object && level.key == "type")
            level.type = text;
          if (!count_value ())
            return too_many_values ();
          continue;
        }
      if (c == '{' || c == '[')
        {
          const bool nodes_array = c == '[' && nodes_key;
          if (stack[depth].nodes && c == '{' && ++nodes > VORN_FILE_MAX_NODES)
            return fail (error, "Too many nodes: instrument files are limited to %d nodes",
                         VORN_FILE_MAX_NODES);
          if (!count_value ())
            return too_many_values ();
          if (++depth > gsize (max_depth))
            return fail (error, "JSON data nested more than %d levels deep", max_depth);
          stack[depth] = Level { c == '{', nodes_array, {}, {} };
          i++;
          continue;
        }
      if (c == '}' || c == ']')
        {
          if (overflow.found && overflow.depth == depth && stack[depth].object)
            return report_overflow (overflow, stack[depth], error);
          i++;
          if (depth > 0 && --depth == 0)
            break;
          continue;
        }
      if (c == '-' || g_ascii_isdigit (c))
        {
          const gsize start = i;
          bool integer = true;
          while (++i < size && (g_ascii_isdigit (data[i]) || strchr (".eE+-", data[i])))
            integer &= g_ascii_isdigit (data[i]) != 0;
          std::string_view text (data + start, i - start);
          if (integer && !overflow.found && text != "-" && !integer_fits (text))
            {
              gsize at = depth;
              while (at > 0 && !stack[at].object)
                at--;
              overflow = { true, at, text, stack[at].key };
            }
          if (!count_value ())
            return too_many_values ();
          continue;
        }
      if (g_ascii_isalpha (c))
        {
          while (++i < size && g_ascii_isalpha (data[i]))
            ;
          if (!count_value ())
            return too_many_values ();
          continue;
        }
      i++;
    }

  if (overflow.found)
    return report_overflow (overflow, overflow.depth <= depth ? stack[overflow.depth] : Level (), error);
  for (; i < size; i++)
    {
      if (data[i] == '/')
        return fail (error, "Comments are not allowed in instrument files (one starts at byte %"
                     G_GSIZE_FORMAT ")", i);
      if (!g_ascii_isspace (data[i]))
        return fail (error, "Unexpected data after the end of the instrument file, at byte %"
                     G_GSIZE_FORMAT, i);
    }
  return TRUE;
}
