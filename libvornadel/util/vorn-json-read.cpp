/* vorn-json-read.cpp: guarded reading of JSON files */
#include "vorn-json-read.h"
#include "vorn-init.h"

#include <glib/gstdio.h>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

/* File names in messages are shown as UTF-8, whatever their encoding. */
static void
set_errno_error (GError **error, int err, const char *what, const char *path)
{
  g_autofree char *display = g_filename_display_name (path);
  g_set_error (error, G_FILE_ERROR, g_file_error_from_errno (err), "%s '%s': %s", what, display,
               g_strerror (err));
}

char *
vorn_json_read_contents (const char *path, gsize max_size, const char *kind, gsize *length,
                         GError **error)
{
  g_return_val_if_fail (path != NULL && kind != NULL && length != NULL, NULL);
  g_return_val_if_fail (!error || !*error, NULL);

  int fd = g_open (path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
  if (fd < 0)
    {
      set_errno_error (error, errno, "Cannot open", path);
      return nullptr;
    }

  struct stat st;
  if (fstat (fd, &st) != 0)
    {
      set_errno_error (error, errno, "Cannot read", path);
      close (fd);
      return nullptr;
    }
  if (!S_ISREG (st.st_mode))
    {
      g_autofree char *display = g_filename_display_name (path);
      g_set_error (error, G_FILE_ERROR, S_ISDIR (st.st_mode) ? G_FILE_ERROR_ISDIR : G_FILE_ERROR_FAILED,
                   "Cannot read '%s': it is not a regular file", display);
      close (fd);
      return nullptr;
    }

  gsize used = 0;
  g_autofree char *data = nullptr;
  if (guint64 (st.st_size) <= max_size)
    {
      /* The file may grow while it is read: never read past the limit. */
      gsize capacity = gsize (st.st_size) + 1;
      data = static_cast<char *> (g_malloc (capacity + 1));
      while (used < capacity)
        {
          gssize n = read (fd, data + used, capacity - used);
          if (n < 0 && errno == EINTR)
            continue;
          if (n < 0)
            {
              set_errno_error (error, errno, "Cannot read", path);
              close (fd);
              return nullptr;
            }
          if (n == 0)
            break;
          used += gsize (n);
          if (used == capacity && capacity <= max_size)
            {
              capacity = MIN (2 * capacity, max_size + 1);
              data = static_cast<char *> (g_realloc (data, capacity + 1));
            }
        }
    }
  close (fd);

  if (!data || used > max_size)
    {
      g_autofree char *display = g_filename_display_name (path);
      if (max_size >= 1u << 20)
        g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                     "File '%s' is too large: %s are limited to %" G_GSIZE_FORMAT " MiB", display, kind,
                     max_size >> 20);
      else
        g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                     "File '%s' is too large: %s are limited to %" G_GSIZE_FORMAT " KiB", display, kind,
                     max_size >> 10);
      return nullptr;
    }
  data[used] = '\0';
  *length = used;
  return g_steal_pointer (&data);
}

/* Where a C comment starting at @i ends (the index after it), or @i when
 * none starts there. */
static gsize
skip_comment (const char *data, gsize size, gsize i)
{
  if (i + 1 >= size || data[i] != '/' || data[i + 1] != '*')
    return i;
  for (gsize j = i + 2; j + 1 < size; j++)
    if (data[j] == '*' && data[j + 1] == '/')
      return j + 2;
  return size;
}

int
vorn_json_nesting (const char *data, gsize size, int limit, gsize *end)
{
  int depth = 0, deepest = 0;
  bool in_string = false;

  if (end)
    *end = size;
  for (gsize i = 0; i < size; i++)
    {
      char c = data[i];
      if (in_string)
        {
          if (c == '\\')
            i++;
          else if (c == '"')
            in_string = false;
          continue;
        }
      if (gsize after = skip_comment (data, size, i); after != i)
        {
          i = after - 1;
          continue;
        }
      if (c == '"')
        in_string = true;
      else if (c == '{' || c == '[')
        {
          if (++depth > deepest && (deepest = depth) > limit)
            break;
        }
      else if ((c == '}' || c == ']') && depth > 0 && --depth == 0)
        {
          if (end)
            *end = i + 1;
          break;
        }
    }
  return deepest;
}

JsonNode *
vorn_json_read_file (const char *path, gsize max_size, int max_depth, const char *kind,
                     GError **error)
{
  g_return_val_if_fail (path != NULL && kind != NULL, NULL);
  g_return_val_if_fail (!error || !*error, NULL);

  gsize length = 0;
  g_autofree char *data = vorn_json_read_contents (path, max_size, kind, &length, error);
  if (!data)
    return nullptr;
  g_autofree char *display = g_filename_display_name (path);
  if (vorn_json_nesting (data, length, max_depth, nullptr) > max_depth)
    {
      g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                   "'%s': JSON data nested more than %d levels deep", display, max_depth);
      return nullptr;
    }
  g_autoptr (JsonParser) parser = json_parser_new_immutable ();
  if (!json_parser_load_from_data (parser, data, gssize (length), error))
    {
      g_prefix_error (error, "'%s': ", display);
      return nullptr;
    }
  JsonNode *root = json_parser_get_root (parser);
  if (!root)
    {
      g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA, "'%s' is empty", display);
      return nullptr;
    }
  return json_node_ref (root);
}
