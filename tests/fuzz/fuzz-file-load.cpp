/* Fuzz target: instrument file loading from untrusted bytes.
 *
 * Any input must either load or fail with a GError; a crash, a sanitizer
 * report or a GLib critical (which means an engine call was misused on the
 * way) is a bug.  Files that load are also written back and duplicated, the
 * operations a user performs right after opening a file. */
#include "vornadel.h"

#include <json-glib/json-glib.h>

#include <cstdint>
#include <cstdlib>

static GLogWriterOutput
fuzz_writer (GLogLevelFlags level, const GLogField *fields, gsize n_fields, gpointer)
{
  if (level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL))
    {
      g_log_writer_standard_streams (level, fields, n_fields, nullptr);
      abort ();
    }
  return G_LOG_WRITER_HANDLED;   /* warnings about bad enum values are expected */
}

extern "C" int
LLVMFuzzerTestOneInput (const uint8_t *data, size_t size)
{
  static const bool initialized = [] {
    g_log_set_writer_func (fuzz_writer, nullptr, nullptr);
    vorn_init ("Zelmora 0.9.0");
    return true;
  }();
  (void) initialized;

  if (size == 0 || size > G_MAXUINT32)
    return 0;

  GError *error = nullptr;
  VornFile *file = vorn_file_load_from_data (reinterpret_cast<const char *> (data),
                                             guint32 (size), &error);
  if (!file)
    {
      if (!error || !error->message || !*error->message)
        abort ();   /* a failure must say why */
      g_error_free (error);
      return 0;
    }

  JsonNode *json = json_gobject_serialize (G_OBJECT (file));
  g_free (json_to_string (json, TRUE));
  json_node_unref (json);

  VornNode *copy = vorn_node_duplicate (VORN_NODE (file));
  g_object_unref (copy);
  g_object_unref (file);
  return 0;
}
