/* vorn-file.cpp: the root node of an instrument file */
#include "vorn-file.h"
#include "vorn-node-private.h"
#include "vorn-init.h"
#include "vorn-file-replace.h"
#include "vorn-file-scan.h"
#include "vorn-json-read.h"
#include "vorn-json-write.h"

#include <glib/gstdio.h>
#include <json-glib/json-glib.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <unordered_set>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

enum {
  PROP_0,
  PROP_FORMAT,
  PROP_FORMAT_VERSION,
  PROP_SOFTWARE_CREATED,
  PROP_SOFTWARE_EDITED,
  PROP_FILE_NAME,
  PROP_UUID,
  PROP_AUTHOR,
  PROP_EMAIL,
  PROP_COPYRIGHT,
  PROP_LICENSE,
  PROP_WEBSITE,
  PROP_COMMENTS,
  PROP_NEXT_ID,
  N_PROPS
};

/* The string properties, in property order, stored as one array. */
enum {
  STR_FORMAT,
  STR_FORMAT_VERSION,
  STR_SOFTWARE_CREATED,
  STR_SOFTWARE_EDITED,
  STR_FILE_NAME,
  STR_UUID,
  STR_AUTHOR,
  STR_EMAIL,
  STR_COPYRIGHT,
  STR_LICENSE,
  STR_WEBSITE,
  STR_COMMENTS,
  N_STRINGS
};

static_assert (PROP_COMMENTS - PROP_FORMAT + 1 == N_STRINGS);

/* Every voice of an instrument allocates the rings of its taps: their sizes
 * together are bounded (two taps of the largest size, 64 MiB per channel). */
#define MAX_TAP_FRAMES (guint64 (1) << 23)

/* Deeper JSON than this is refused before parsing: real files nest a few
 * dozen levels, and every level costs stack in the parser and the loader. */
#define MAX_JSON_DEPTH 256

struct _VornFile {
  VornNode parent_instance;

  char *strings[N_STRINGS];
  std::atomic<guint32> next_id;
};

static_assert (std::atomic<guint32>::is_always_lock_free);

static GParamSpec *properties[N_PROPS];
static JsonSerializableIface *parent_serializable_iface;

static void vorn_file_serializable_init (JsonSerializableIface *iface);

G_DEFINE_FINAL_TYPE_WITH_CODE (VornFile, vorn_file, VORN_TYPE_NODE,
                               G_IMPLEMENT_INTERFACE (JSON_TYPE_SERIALIZABLE,
                                                      vorn_file_serializable_init))

static void
set_string (VornFile *file, int index, const char *value)
{
  if (g_strcmp0 (file->strings[index], value) == 0)
    return;
  g_free (file->strings[index]);
  file->strings[index] = g_strdup (value);
  g_object_notify_by_pspec (G_OBJECT (file), properties[PROP_FORMAT + index]);
}

static void
vorn_file_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornFile *file = VORN_FILE (object);

  if (prop_id == PROP_FORMAT)
    g_value_set_string (value, VORN_FILE_FORMAT);
  else if (prop_id > PROP_FORMAT && prop_id <= PROP_COMMENTS)
    g_value_set_string (value, file->strings[prop_id - PROP_FORMAT]);
  else if (prop_id == PROP_NEXT_ID)
    g_value_set_uint (value, file->next_id.load ());
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
vorn_file_set_property (GObject *object, guint prop_id, const GValue *value, GParamSpec *pspec)
{
  VornFile *file = VORN_FILE (object);

  if (prop_id >= PROP_FILE_NAME && prop_id <= PROP_COMMENTS)
    set_string (file, int (prop_id - PROP_FORMAT), g_value_get_string (value));
  else if (prop_id == PROP_NEXT_ID)
    {
      guint32 next = g_value_get_uint (value);
      if (file->next_id.exchange (next) != next)
        g_object_notify_by_pspec (object, pspec);
    }
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
vorn_file_finalize (GObject *object)
{
  VornFile *file = VORN_FILE (object);

  for (char *&s : file->strings)
    g_clear_pointer (&s, g_free);

  G_OBJECT_CLASS (vorn_file_parent_class)->finalize (object);
}

static VornNode *
vorn_file_duplicate (VornNode *node)
{
  VornFile *file = VORN_FILE (node);
  VornFile *copy = VORN_FILE (VORN_NODE_CLASS (vorn_file_parent_class)->duplicate (node));

  /* A copy is a new document: it gets its own UUID when first saved. */
  for (int i = 0; i < N_STRINGS; i++)
    if (i != STR_UUID)
      {
        g_free (copy->strings[i]);
        copy->strings[i] = g_strdup (file->strings[i]);
      }
  copy->next_id.store (file->next_id.load ());
  return VORN_NODE (copy);
}

static void
vorn_file_class_init (VornFileClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  VornNodeClass *node_class = VORN_NODE_CLASS (klass);

  object_class->get_property = vorn_file_get_property;
  object_class->set_property = vorn_file_set_property;
  object_class->finalize = vorn_file_finalize;
  node_class->duplicate = vorn_file_duplicate;

  const auto ro = GParamFlags (G_PARAM_READABLE | G_PARAM_STATIC_STRINGS);
  const auto rw = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | G_PARAM_EXPLICIT_NOTIFY);

  properties[PROP_FORMAT] = g_param_spec_string ("format", "Format", "File format", nullptr, ro);
  properties[PROP_FORMAT_VERSION] =
    g_param_spec_string ("format-version", "FormatVersion", "File format version", nullptr, ro);
  properties[PROP_SOFTWARE_CREATED] =
    g_param_spec_string ("software-created", "SoftwareCreated", "Software which created this file",
                         nullptr, ro);
  properties[PROP_SOFTWARE_EDITED] =
    g_param_spec_string ("software-edited", "SoftwareEdited", "Software used for last file edit",
                         nullptr, ro);
  properties[PROP_FILE_NAME] =
    g_param_spec_string ("file-name", "FileName", "File name", "Untitled.vvi", rw);
  properties[PROP_UUID] =
    g_param_spec_string ("uuid", "UUID", "Universal unique identifier", nullptr, rw);
  properties[PROP_AUTHOR] = g_param_spec_string ("author", "Author", "Author name", nullptr, rw);
  properties[PROP_EMAIL] = g_param_spec_string ("email", "Email", "Email address", nullptr, rw);
  properties[PROP_COPYRIGHT] =
    g_param_spec_string ("copyright", "Copyright", "File copyright", nullptr, rw);
  properties[PROP_LICENSE] = g_param_spec_string ("license", "License", "License type", nullptr, rw);
  properties[PROP_WEBSITE] =
    g_param_spec_string ("website", "Website", "Website address", nullptr, rw);
  properties[PROP_COMMENTS] = g_param_spec_string ("comments", "Comments", "Comments", nullptr, rw);
  properties[PROP_NEXT_ID] =
    g_param_spec_uint ("next-id", "NextId", "Next ID", 0, G_MAXUINT32, 1, rw);

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
vorn_file_init (VornFile *file)
{
  file->strings[STR_FORMAT_VERSION] = g_strdup (VORN_FILE_FORMAT_VERSION);
  file->strings[STR_SOFTWARE_CREATED] = g_strdup (vorn_app_name);
  file->strings[STR_FILE_NAME] = g_strdup ("Untitled.vvi");
  file->next_id.store (1);
}

/* ---- JSON -------------------------------------------------------------- */

static GParamSpec *
vorn_file_find_property (JsonSerializable *serializable, const char *name)
{
  /* Where a file lives is not part of its content. */
  if (g_strcmp0 (name, "file-name") == 0)
    return nullptr;
  return g_object_class_find_property (G_OBJECT_GET_CLASS (serializable), name);
}

static JsonNode *
vorn_file_serialize_property (JsonSerializable *serializable, const char *property_name,
                              const GValue *value, GParamSpec *pspec)
{
  if (pspec == properties[PROP_FILE_NAME])
    return nullptr;
  return parent_serializable_iface->serialize_property (serializable, property_name, value, pspec);
}

static void
vorn_file_serializable_init (JsonSerializableIface *iface)
{
  parent_serializable_iface =
    static_cast<JsonSerializableIface *> (g_type_interface_peek_parent (iface));
  iface->find_property = vorn_file_find_property;
  iface->serialize_property = vorn_file_serialize_property;
}

/* ---- public API -------------------------------------------------------- */

VornFile *
vorn_file_new (void)
{
  return static_cast<VornFile *> (g_object_new (VORN_TYPE_FILE, nullptr));
}

guint32
vorn_file_get_next_id (VornFile *file)
{
  g_return_val_if_fail (VORN_IS_FILE (file), 0);

  /* 0 marks an exhausted counter: it stays there instead of wrapping. */
  guint32 id = file->next_id.load ();
  while (id != 0 && !file->next_id.compare_exchange_weak (id, id + 1))
    ;
  return id;
}

/* ---- saving ------------------------------------------------------------ */

/* File names need not be UTF-8; messages must be. */
char *
vorn_file_to_data (VornFile *file, gsize *length)
{
  g_return_val_if_fail (VORN_IS_FILE (file), nullptr);

  g_autoptr (JsonNode) root = json_gobject_serialize (G_OBJECT (file));
  return vorn_json_write (root, length);
}

gboolean
vorn_file_save (VornFile *file, const char *filename, GError **error)
{
  g_return_val_if_fail (VORN_IS_FILE (file), FALSE);
  g_return_val_if_fail (!error || !*error, FALSE);

  set_string (file, STR_FORMAT_VERSION, VORN_FILE_FORMAT_VERSION);
  set_string (file, STR_SOFTWARE_EDITED, vorn_app_name);
  if (!file->strings[STR_UUID])
    {
      g_autofree char *uuid = g_uuid_string_random ();
      set_string (file, STR_UUID, uuid);
    }

  const char *path = filename ? filename : file->strings[STR_FILE_NAME];
  if (!path || !*path)
    {
      g_set_error (error, VORN_ERROR, VORN_ERROR_GENERAL, "The file has no name to save it under");
      return FALSE;
    }

  gsize length = 0;
  g_autofree char *data = vorn_file_to_data (file, &length);
  /* What could not be opened again is not written, and the old file stays. */
  if (length > VORN_FILE_MAX_SIZE)
    {
      g_autofree char *display = g_filename_display_name (path);
      g_set_error (error, VORN_ERROR, VORN_ERROR_GENERAL,
                   "Cannot save '%s': it would take %" G_GSIZE_FORMAT " bytes (%.1f MiB), and "
                   "instrument files are limited to %d MiB", display, length,
                   double (length) / (1 << 20), VORN_FILE_MAX_SIZE >> 20);
      return FALSE;
    }
  if (!vorn_file_replace_contents (path, data, length, error))
    return FALSE;

  if (filename)
    set_string (file, STR_FILE_NAME, filename);
  return TRUE;
}

/* ---- loading ----------------------------------------------------------- */

/* Numbers the nodes of a loaded file: loaded IDs are kept when they are
 * unique, the counter is put above all of them, and nodes without an ID (or
 * with a duplicate one) are numbered from it in pre-order. */
static void
number_loaded (VornFile *file)
{
  std::vector<VornNode *> order;
  for (VornNode *child = VORN_NODE (file)->children; child; child = child->next)
    vorn_node_pre_traverse (child, [] (VornNode *node, gpointer data) -> gboolean {
      static_cast<std::vector<VornNode *> *> (data)->push_back (node);
      return TRUE;
    }, &order);

  std::unordered_set<guint32> seen;
  guint64 highest = 0;
  guint duplicates = 0, first_duplicate = 0;
  for (VornNode *node : order)
    {
      if (node->id == 0)
        continue;
      if (!seen.insert (node->id).second)
        {
          if (duplicates++ == 0)
            first_duplicate = node->id;
          node->id = 0;
        }
      highest = MAX (highest, node->id);
    }
  if (duplicates)
    g_warning ("Duplicate node ID %u in the instrument file: %u node%s renumbered", first_duplicate,
               duplicates, duplicates == 1 ? "" : "s");

  guint64 next = MAX (guint64 (file->next_id.load ()), highest + 1);
  if (next > guint64 (VORN_FILE_MAX_ID) + 1)
    {
      /* No room left above the IDs: start again from 1. */
      for (VornNode *node : order)
        node->id = 0;
      next = 1;
    }
  file->next_id.store (guint32 (next));
  for (VornNode *node : order)
    if (node->id == 0)
      node->id = vorn_file_get_next_id (file);
}

/* Taps are generator nodes, above this layer: found by type name, their
 * ring size read as a property.  Without the class nothing can be a tap. */
static gboolean
check_taps (VornFile *file, GError **error)
{
  const GType tap_type = g_type_from_name ("VornTap");
  if (!tap_type)
    return TRUE;

  for (VornNode *child = VORN_NODE (file)->children; child; child = child->next)
    {
      struct Count {
        GType type;
        guint64 frames;
      } count = { tap_type, 0 };
      vorn_node_pre_traverse (child, [] (VornNode *node, gpointer data) -> gboolean {
        auto *c = static_cast<Count *> (data);
        if (G_TYPE_CHECK_INSTANCE_TYPE (node, c->type))
          {
            gint size = 0;
            g_object_get (node, "size", &size, nullptr);
            c->frames += guint64 (MAX (size, 0));
          }
        return TRUE;
      }, &count);
      const guint64 frames = count.frames;
      if (frames > MAX_TAP_FRAMES)
        {
          g_autofree char *name = nullptr;
          g_object_get (child, "name", &name, nullptr);
          g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                       "The taps of node '%s' of type '%s' record %" G_GUINT64_FORMAT
                       " frames in all; at most %" G_GUINT64_FORMAT " are supported",
                       name, G_OBJECT_TYPE_NAME (child), frames, MAX_TAP_FRAMES);
          return FALSE;
        }
    }
  return TRUE;
}

static gboolean
check_header (JsonObject *object, GError **error)
{
  JsonNode *type = json_object_get_member (object, "type");
  if (type)
    {
      const char *name = JSON_NODE_HOLDS_VALUE (type) && json_node_get_value_type (type) == G_TYPE_STRING
                           ? json_node_get_string (type) : nullptr;
      if (g_strcmp0 (name, "VornFile") != 0)
        {
          g_autofree char *text = json_to_string (type, FALSE);
          g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                       "Not an instrument file: the top-level object has type %s", text);
          return FALSE;
        }
    }

  JsonNode *format = json_object_get_member (object, "format");
  if (format)
    {
      const char *name = JSON_NODE_HOLDS_VALUE (format) && json_node_get_value_type (format) == G_TYPE_STRING
                           ? json_node_get_string (format) : nullptr;
      if (g_strcmp0 (name, VORN_FILE_FORMAT) != 0)
        {
          g_autofree char *text = json_to_string (format, FALSE);
          g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                       "Unsupported file format %s (expected \"%s\")", text, VORN_FILE_FORMAT);
          return FALSE;
        }
    }

  JsonNode *version = json_object_get_member (object, "format-version");
  if (version)
    {
      const char *text = JSON_NODE_HOLDS_VALUE (version) && json_node_get_value_type (version) == G_TYPE_STRING
                           ? json_node_get_string (version) : nullptr;
      /* Minor versions only add members, which loading ignores. */
      if (!text || !g_str_has_prefix (text, "1.") || !text[2])
        {
          g_autofree char *json = json_to_string (version, FALSE);
          g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                       "Unsupported file format version %s", json);
          return FALSE;
        }
    }
  return TRUE;
}

VornFile *
vorn_file_load_from_data (const char *data, guint32 size, GError **error)
{
  g_return_val_if_fail (data != NULL, NULL);
  g_return_val_if_fail (size > 0, NULL);
  g_return_val_if_fail (!error || !*error, NULL);

  /* Before parsing: the parser's own messages mislead for text that is not
   * UTF-8, its cost grows with the values, and it leaks the first value when
   * it meets a second one. */
  if (!vorn_file_scan (data, size, MAX_JSON_DEPTH, error))
    return nullptr;

  g_autoptr (JsonParser) parser = json_parser_new_immutable ();
  GError *parse_error = nullptr;
  if (!json_parser_load_from_data (parser, data, gssize (size), &parse_error))
    {
      /* The parser may quote what it read; a message stays UTF-8. */
      if (!g_utf8_validate (parse_error->message, -1, nullptr))
        {
          char *valid = g_utf8_make_valid (parse_error->message, -1);
          g_free (std::exchange (parse_error->message, valid));
        }
      g_propagate_error (error, parse_error);
      return nullptr;
    }

  JsonNode *root = json_parser_get_root (parser);
  if (!root || !JSON_NODE_HOLDS_OBJECT (root))
    {
      g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                   "Instrument file data must be a JSON object, not %s",
                   root ? vorn_json_describe (root) : "empty data");
      return nullptr;
    }
  if (!check_header (json_node_get_object (root), error))
    return nullptr;

  VornJsonLoadScope scope;
  scope.defer_ids ();
  g_autoptr (GObject) object = json_gobject_deserialize (VORN_TYPE_FILE, root);
  if (GError *problem = scope.steal_error ())
    {
      g_propagate_error (error, problem);
      return nullptr;
    }
  if (!object)
    {
      g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA, "Could not read the instrument file");
      return nullptr;
    }
  if (!check_taps (VORN_FILE (object), error))
    return nullptr;
  number_loaded (VORN_FILE (object));
  return VORN_FILE (g_steal_pointer (&object));
}

gboolean
vorn_file_restore (VornFile *file, const char *data, guint32 size, GError **error)
{
  g_return_val_if_fail (VORN_IS_FILE (file), FALSE);
  g_return_val_if_fail (data != NULL, FALSE);
  g_return_val_if_fail (!error || !*error, FALSE);

  g_autoptr (VornFile) loaded = vorn_file_load_from_data (data, size, error);
  if (!loaded)
    return FALSE;

  g_object_freeze_notify (G_OBJECT (file));
  /* The read-only members say who wrote the file last; loading does not
   * read them, and they stay as they are. */
  for (int i = STR_UUID; i < N_STRINGS; i++)
    set_string (file, i, loaded->strings[i]);
  VornNode *node = VORN_NODE (file);
  const VornNode *from = VORN_NODE (loaded);
  node->id = from->id;
  g_autofree char *name = nullptr;
  g_object_get (loaded, "name", &name, nullptr);
  g_object_set (file, "name", name, "mute", gboolean (from->mute), "attach-point",
                gboolean (from->attach_point), "next-id", loaded->next_id.load (), nullptr);
  vorn_node_unlink_children (node);
  vorn_node_steal_children (node, VORN_NODE (loaded));
  g_object_thaw_notify (G_OBJECT (file));
  return TRUE;
}

VornFile *
vorn_file_load (const char *filename, GError **error)
{
  g_return_val_if_fail (filename != NULL, NULL);
  g_return_val_if_fail (!error || !*error, NULL);

  gsize length = 0;
  g_autofree char *contents =
      vorn_json_read_contents (filename, VORN_FILE_MAX_SIZE, "instrument files", &length, error);
  if (!contents)
    return nullptr;

  if (length == 0)
    {
      g_autofree char *display = g_filename_display_name (filename);
      g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA, "File '%s' is empty", display);
      return nullptr;
    }

  GError *local = nullptr;
  VornFile *file = vorn_file_load_from_data (contents, guint32 (length), &local);
  if (!file)
    {
      g_autofree char *display = g_filename_display_name (filename);
      g_propagate_prefixed_error (error, local, "%s: ", display);
      return nullptr;
    }
  set_string (file, STR_FILE_NAME, filename);
  return file;
}
