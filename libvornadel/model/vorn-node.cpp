/* vorn-node.cpp: the element of every instrument tree */
#include "vorn-node.h"
#include "vorn-node-private.h"
#include "vorn-file.h"
#include "vorn-init.h"
#include "vorn-render-context.h"

#include <json-glib/json-glib.h>

#include <cinttypes>
#include <cmath>

enum {
  PROP_0,
  PROP_TYPE,
  PROP_ID,
  PROP_NAME,
  PROP_MUTE,
  PROP_ATTACH_POINT,
  PROP_NODES,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

struct VornNodePrivate {
  char *name;
  VornNode *last_child;   /* weak; appending must not walk the siblings */
};

static void vorn_node_serializable_init (JsonSerializableIface *iface);

G_DEFINE_TYPE_WITH_CODE (VornNode, vorn_node, G_TYPE_OBJECT,
                         G_ADD_PRIVATE (VornNode)
                         G_IMPLEMENT_INTERFACE (JSON_TYPE_SERIALIZABLE,
                                                vorn_node_serializable_init))

static inline VornNodePrivate *
node_priv (VornNode *node)
{
  return static_cast<VornNodePrivate *> (vorn_node_get_instance_private (node));
}

/* ---- ID assignment ----------------------------------------------------- */

static void
assign_ids (VornFile *file, VornNode *node)
{
  /* Pre-order: a subtree root is numbered before its descendants. */
  if (node->id == 0)
    node->id = vorn_file_get_next_id (file);
  for (VornNode *child = node->children; child; child = child->next)
    assign_ids (file, child);
}

static inline VornNode *&
last_child (VornNode *node)
{
  return node_priv (node)->last_child;
}

static VornFile *
root_file (VornNode *node)
{
  VornNode *root = node;
  while (root->parent)
    root = root->parent;
  return VORN_IS_FILE (root) ? VORN_FILE (root) : nullptr;
}

/* ---- GObject ----------------------------------------------------------- */

static void
vorn_node_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornNode *node = VORN_NODE (object);

  switch (prop_id)
    {
    case PROP_TYPE:
      g_value_set_string (value, G_OBJECT_TYPE_NAME (object));
      break;
    case PROP_ID:
      g_value_set_uint (value, node->id);
      break;
    case PROP_NAME:
      g_value_set_string (value, node_priv (node)->name);
      break;
    case PROP_MUTE:
      g_value_set_boolean (value, node->mute);
      break;
    case PROP_ATTACH_POINT:
      g_value_set_boolean (value, node->attach_point);
      break;
    case PROP_NODES:
      /* The children travel through JSON as the node itself. */
      g_value_set_object (value, node);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
set_flag (VornNode *node, guint8 *field, gboolean value, GParamSpec *pspec)
{
  if (*field == (value ? 1 : 0))
    return;
  *field = value ? 1 : 0;
  g_object_notify_by_pspec (G_OBJECT (node), pspec);
}

static void
vorn_node_set_property (GObject *object, guint prop_id, const GValue *value, GParamSpec *pspec)
{
  VornNode *node = VORN_NODE (object);
  VornNodePrivate *priv = node_priv (node);

  switch (prop_id)
    {
    case PROP_ID:
      if (node->id != g_value_get_uint (value))
        {
          node->id = g_value_get_uint (value);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_NAME:
      if (g_strcmp0 (priv->name, g_value_get_string (value)) != 0)
        {
          g_free (priv->name);
          priv->name = g_value_dup_string (value);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_MUTE:
      set_flag (node, &node->mute, g_value_get_boolean (value), pspec);
      break;
    case PROP_ATTACH_POINT:
      set_flag (node, &node->attach_point, g_value_get_boolean (value), pspec);
      break;
    case PROP_NODES:
      {
        auto *src = static_cast<VornNode *> (g_value_get_object (value));
        vorn_node_unlink_children (node);
        if (src && src != node)
          vorn_node_steal_children (node, src);
        g_object_notify_by_pspec (object, pspec);
        break;
      }
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
vorn_node_finalize (GObject *object)
{
  VornNode *node = VORN_NODE (object);

  g_free (node_priv (node)->name);
  vorn_node_unlink_children (node);

  G_OBJECT_CLASS (vorn_node_parent_class)->finalize (object);
}

static VornNode *
vorn_node_real_duplicate (VornNode *node)
{
  auto *copy = static_cast<VornNode *> (g_object_new (G_OBJECT_TYPE (node), nullptr));

  g_free (node_priv (copy)->name);
  node_priv (copy)->name = g_strdup (node_priv (node)->name);
  copy->mute = node->mute;
  copy->attach_point = node->attach_point;

  /* IDs are not copied: the copy is numbered when it joins a file. */
  VornNode *last = nullptr;
  for (VornNode *child = node->children; child; child = child->next)
    {
      VornNode *dup = VORN_NODE_GET_CLASS (child)->duplicate (child);
      dup->parent = copy;
      dup->prev = last;
      if (last)
        last->next = dup;
      else
        copy->children = dup;
      last = dup;
    }
  last_child (copy) = last;
  return copy;
}

/* Every property change of any node is an edit of its tree. */
static void
vorn_node_dispatch_properties_changed (GObject *object, guint n_pspecs, GParamSpec **pspecs)
{
  vorn_util_edit_serial_bump ();
  G_OBJECT_CLASS (vorn_node_parent_class)->dispatch_properties_changed (object, n_pspecs, pspecs);
}

static void
vorn_node_class_init (VornNodeClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->dispatch_properties_changed = vorn_node_dispatch_properties_changed;
  object_class->get_property = vorn_node_get_property;
  object_class->set_property = vorn_node_set_property;
  object_class->finalize = vorn_node_finalize;

  klass->duplicate = vorn_node_real_duplicate;
  klass->create_gen = nullptr;
  klass->transient = 0;

  const auto rw = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | G_PARAM_EXPLICIT_NOTIFY);

  properties[PROP_TYPE] =
    g_param_spec_string ("type", "Type", "Node type", nullptr,
                         GParamFlags (G_PARAM_READABLE | G_PARAM_STATIC_STRINGS | VORN_PARAM_HIDDEN));
  properties[PROP_ID] =
    g_param_spec_uint ("id", "ID", "Unique ID", 0, G_MAXUINT32, 0,
                       GParamFlags (rw | VORN_PARAM_HIDDEN));
  properties[PROP_NAME] =
    g_param_spec_string ("name", "Name", "Name", "Untitled", rw);
  properties[PROP_MUTE] =
    g_param_spec_boolean ("mute", "Mute", "Mute or disable node", FALSE, rw);
  properties[PROP_ATTACH_POINT] =
    g_param_spec_boolean ("attach-point", "AttachPoint", "Sub-queue attachment point enable",
                          FALSE, GParamFlags (rw | VORN_PARAM_HIDDEN));
  properties[PROP_NODES] =
    g_param_spec_object ("nodes", "Nodes", "Nodes", VORN_TYPE_NODE,
                         GParamFlags (rw | VORN_PARAM_HIDDEN));

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
vorn_node_init (VornNode *node)
{
  node_priv (node)->name = g_strdup ("Untitled");
}

/* ---- JSON -------------------------------------------------------------- */

static GParamSpec **
vorn_node_list_properties (JsonSerializable *serializable, guint *n_pspecs)
{
  GParamSpec **pspecs = g_object_class_list_properties (G_OBJECT_GET_CLASS (serializable), n_pspecs);

  /* "nodes" goes last so that a node's children follow its own members. */
  if (*n_pspecs >= 7)
    {
      GParamSpec *nodes = pspecs[5];
      for (guint i = 5; i + 1 < *n_pspecs; i++)
        pspecs[i] = pspecs[i + 1];
      pspecs[*n_pspecs - 1] = nodes;
    }
  return pspecs;
}

JsonNode *
vorn_node_serialize_property_default (JsonSerializable *serializable,
                                      const char *property_name,
                                      const GValue *value,
                                      GParamSpec *pspec)
{
  VornNode *node = VORN_NODE (serializable);

  if (pspec == properties[PROP_NODES])
    {
      if (!node->children || VORN_NODE_GET_CLASS (node)->transient)
        return nullptr;

      JsonArray *array = json_array_new ();
      for (VornNode *child = node->children; child; child = child->next)
        json_array_add_element (array, json_gobject_serialize (G_OBJECT (child)));

      JsonNode *result = json_node_new (JSON_NODE_ARRAY);
      json_node_take_array (result, array);
      return result;
    }

  /* Enumerations are always written, as nicks, so files stay readable and
   * keep their meaning if a default changes. */
  if (G_IS_PARAM_SPEC_ENUM (pspec))
    {
      g_autoptr (GEnumClass) klass = G_ENUM_CLASS (g_type_class_ref (pspec->value_type));
      GEnumValue *ev = g_enum_get_value (klass, g_value_get_enum (value));
      JsonNode *result = json_node_new (JSON_NODE_VALUE);
      json_node_set_string (result, ev ? ev->value_nick : "");
      return result;
    }

  /* json-glib would write a NULL string as a string node without text, which
   * its own generator cannot print; NULL is written as JSON null instead. */
  if (G_IS_PARAM_SPEC_STRING (pspec) && !g_value_get_string (value))
    {
      if (!G_PARAM_SPEC_STRING (pspec)->default_value)
        return nullptr;
      return json_node_new (JSON_NODE_NULL);
    }

  return json_serializable_default_serialize_property (serializable, property_name, value, pspec);
}

static JsonNode *
vorn_node_serialize_property (JsonSerializable *serializable,
                              const char *property_name,
                              const GValue *value,
                              GParamSpec *pspec)
{
  return vorn_node_serialize_property_default (serializable, property_name, value, pspec);
}

static gboolean check_member (const char *type_name, GParamSpec *pspec, JsonNode *property_node,
                              GError **error);

/* json-glib sets construct-only properties without asking the class, so
 * their members are checked here, before the object is made. */
static gboolean
check_construct_members (GType type, JsonObject *object)
{
  gpointer klass = g_type_class_ref (type);
  guint n = 0;
  g_autofree GParamSpec **pspecs = g_object_class_list_properties (G_OBJECT_CLASS (klass), &n);
  gboolean ok = TRUE;
  for (guint i = 0; i < n && ok; i++)
    {
      JsonNode *member = (pspecs[i]->flags & G_PARAM_CONSTRUCT_ONLY)
                           ? json_object_get_member (object, pspecs[i]->name) : nullptr;
      GError *error = nullptr;
      if (member && !check_member (g_type_name (type), pspecs[i], member, &error))
        {
          VornJsonLoadScope::report (error);
          ok = FALSE;
        }
    }
  g_type_class_unref (klass);
  return ok;
}

static gboolean
deserialize_children (GValue *value, JsonNode *property_node)
{
  VornNode *container = vorn_node_new ();
  JsonArray *array = json_node_get_array (property_node);
  guint n = json_array_get_length (array);

  for (guint i = 0; i < n; i++)
    {
      JsonNode *element = json_array_get_element (array, i);
      if (!JSON_NODE_HOLDS_OBJECT (element))
        continue;
      JsonObject *object = json_node_get_object (element);
      JsonNode *type_node = json_object_get_member (object, "type");
      if (!type_node || !JSON_NODE_HOLDS_VALUE (type_node)
          || json_node_get_value_type (type_node) != G_TYPE_STRING)
        continue;

      /* Unknown or unsuitable classes are skipped so that files from newer
       * versions still load what this one understands. */
      GType type = g_type_from_name (json_node_get_string (type_node));
      if (type == G_TYPE_INVALID || !g_type_is_a (type, VORN_TYPE_NODE)
          || G_TYPE_IS_ABSTRACT (type))
        continue;

      if (!check_construct_members (type, object))
        continue;
      GObject *child = json_gobject_deserialize (type, element);
      if (child)
        {
          vorn_node_insert (container, VORN_NODE (child), -1);
          g_object_unref (child);
        }
    }

  g_value_take_object (value, container);
  return TRUE;
}

static gboolean
deserialize_enum (JsonSerializable *serializable, GValue *value, GParamSpec *pspec,
                  JsonNode *property_node)
{
  g_autoptr (GEnumClass) klass = G_ENUM_CLASS (g_type_class_ref (pspec->value_type));
  GEnumValue *ev = nullptr;

  if (JSON_NODE_HOLDS_VALUE (property_node)
      && json_node_get_value_type (property_node) == G_TYPE_STRING)
    ev = g_enum_get_value_by_nick (klass, json_node_get_string (property_node));

  if (ev)
    g_value_set_enum (value, ev->value);
  else
    {
      g_autofree char *text = json_to_string (property_node, FALSE);
      g_warning ("Invalid JSON enum value '%s' for property '%s' of node type '%s'",
                 text, pspec->name, G_OBJECT_TYPE_NAME (serializable));
      g_param_value_set_default (pspec, value);
    }
  return TRUE;
}

const char *
vorn_json_describe (JsonNode *node)
{
  if (!node)
    return "nothing";
  switch (json_node_get_node_type (node))
    {
    case JSON_NODE_OBJECT: return "an object";
    case JSON_NODE_ARRAY: return "an array";
    case JSON_NODE_NULL: return "null";
    case JSON_NODE_VALUE:
      switch (json_node_get_value_type (node))
        {
        case G_TYPE_STRING: return "a string";
        case G_TYPE_BOOLEAN: return "a boolean";
        case G_TYPE_INT64: return "an integer";
        default: return "a number";
        }
    }
  return "unknown data";
}

/* Checks that a member's JSON type suits the property before json-glib's
 * lenient conversion (which would, for instance, drop a string given for a
 * boolean without a word).  Returns FALSE with an error when it does not. */
static gboolean
check_member (const char *type_name, GParamSpec *pspec, JsonNode *property_node,
              GError **error)
{
  GType fundamental = G_TYPE_FUNDAMENTAL (pspec->value_type);
  const char *expected = nullptr;
  gboolean ok = TRUE;

  GType json_type = JSON_NODE_HOLDS_VALUE (property_node)
                      ? json_node_get_value_type (property_node) : G_TYPE_INVALID;
  gboolean is_null = JSON_NODE_HOLDS_NULL (property_node);

  switch (fundamental)
    {
    case G_TYPE_STRING:
      expected = "a string";
      ok = is_null || json_type == G_TYPE_STRING;
      break;
    case G_TYPE_BOOLEAN:
      expected = "a boolean";
      ok = json_type == G_TYPE_BOOLEAN;
      break;
    case G_TYPE_CHAR: case G_TYPE_UCHAR: case G_TYPE_INT: case G_TYPE_UINT:
    case G_TYPE_LONG: case G_TYPE_ULONG: case G_TYPE_INT64: case G_TYPE_UINT64:
      expected = "an integer";
      ok = json_type == G_TYPE_INT64;
      break;
    case G_TYPE_FLOAT: case G_TYPE_DOUBLE:
      expected = "a number";
      ok = json_type == G_TYPE_INT64 || json_type == G_TYPE_DOUBLE;
      break;
    default:
      return TRUE;   /* objects, boxed and variants check themselves */
    }

  if (!ok)
    {
      g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                   "Invalid member '%s' of node type '%s': expected %s, found %s",
                   pspec->name, type_name, expected,
                   vorn_json_describe (property_node));
      return FALSE;
    }

  /* Out-of-range numbers would otherwise wrap or be clamped silently. */
  if (json_type == G_TYPE_INT64 || json_type == G_TYPE_DOUBLE)
    {
      double min = 0, max = 0;
      double v = json_node_get_double (property_node);
      if (json_type == G_TYPE_INT64)
        v = double (json_node_get_int (property_node));
      else if (!std::isfinite (v))
        {
          /* JSON has no infinity, but the parser reads 1e999 as one. */
          g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                       "Invalid member '%s' of node type '%s': expected a finite number, found %s",
                       pspec->name, type_name,
                       std::isnan (v) ? "NaN" : v > 0 ? "infinity" : "-infinity");
          return FALSE;
        }
      switch (fundamental)
        {
        case G_TYPE_INT: min = G_PARAM_SPEC_INT (pspec)->minimum; max = G_PARAM_SPEC_INT (pspec)->maximum; break;
        case G_TYPE_UINT: min = G_PARAM_SPEC_UINT (pspec)->minimum; max = G_PARAM_SPEC_UINT (pspec)->maximum; break;
        case G_TYPE_DOUBLE: min = G_PARAM_SPEC_DOUBLE (pspec)->minimum; max = G_PARAM_SPEC_DOUBLE (pspec)->maximum; break;
        case G_TYPE_FLOAT: min = G_PARAM_SPEC_FLOAT (pspec)->minimum; max = G_PARAM_SPEC_FLOAT (pspec)->maximum; break;
        default: return TRUE;
        }
      if (!(v >= min && v <= max))
        {
          char number[G_ASCII_DTOSTR_BUF_SIZE];
          g_autofree char *text = json_type == G_TYPE_DOUBLE
                                    ? g_strdup (g_ascii_formatd (number, sizeof number, "%g", v))
                                    : json_to_string (property_node, FALSE);
          g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA,
                       "Value %s out of range for member '%s' of node type '%s'",
                       text, pspec->name, type_name);
          return FALSE;
        }
    }
  return TRUE;
}

gboolean
vorn_node_deserialize_property_default (JsonSerializable *serializable,
                                        const char *property_name,
                                        GValue *value,
                                        GParamSpec *pspec,
                                        JsonNode *property_node)
{
  if (pspec == properties[PROP_NODES])
    {
      if (JSON_NODE_HOLDS_ARRAY (property_node))
        return deserialize_children (value, property_node);
      VornJsonLoadScope::report (
        g_error_new (VORN_ERROR, VORN_ERROR_INVALID_DATA,
                     "Invalid member 'nodes' of node type '%s': expected an array, found %s",
                     G_OBJECT_TYPE_NAME (serializable), vorn_json_describe (property_node)));
      g_value_set_object (value, nullptr);
      return TRUE;
    }

  if (G_IS_PARAM_SPEC_ENUM (pspec))
    return deserialize_enum (serializable, value, pspec, property_node);

  GError *error = nullptr;
  if (!check_member (G_OBJECT_TYPE_NAME (serializable), pspec, property_node, &error))
    {
      VornJsonLoadScope::report (error);
      /* Keep what the object has rather than a zero value. */
      g_object_get_property (G_OBJECT (serializable), pspec->name, value);
      return TRUE;
    }

  return json_serializable_default_deserialize_property (serializable, property_name, value,
                                                         pspec, property_node);
}

static gboolean
vorn_node_deserialize_property (JsonSerializable *serializable,
                                const char *property_name,
                                GValue *value,
                                GParamSpec *pspec,
                                JsonNode *property_node)
{
  return vorn_node_deserialize_property_default (serializable, property_name, value, pspec,
                                                 property_node);
}

static void
vorn_node_serializable_init (JsonSerializableIface *iface)
{
  iface->list_properties = vorn_node_list_properties;
  iface->serialize_property = vorn_node_serialize_property;
  iface->deserialize_property = vorn_node_deserialize_property;
}

/* ---- load scope -------------------------------------------------------- */

static thread_local VornJsonLoadScope *current_scope = nullptr;

VornJsonLoadScope::VornJsonLoadScope () : outer (current_scope)
{
  current_scope = this;
}

VornJsonLoadScope::~VornJsonLoadScope ()
{
  current_scope = outer;
  g_clear_error (&error);
}

GError *
VornJsonLoadScope::steal_error ()
{
  return g_steal_pointer (&error);
}

void
VornJsonLoadScope::report (GError *err)
{
  if (current_scope)
    {
      if (!current_scope->error)
        current_scope->error = err;
      else
        g_error_free (err);
      return;
    }
  g_warning ("%s", err->message);
  g_error_free (err);
}

bool
VornJsonLoadScope::active ()
{
  return current_scope != nullptr;
}

bool
VornJsonLoadScope::ids_deferred ()
{
  return current_scope && current_scope->deferring_ids;
}

/* ---- tree operations --------------------------------------------------- */

VornNode *
vorn_node_new (void)
{
  return static_cast<VornNode *> (g_object_new (VORN_TYPE_NODE, nullptr));
}

VornNode *
vorn_node_duplicate (VornNode *node)
{
  g_return_val_if_fail (VORN_IS_NODE (node), NULL);
  return VORN_NODE_GET_CLASS (node)->duplicate (node);
}

static gboolean
is_ancestor_or_self (VornNode *candidate, VornNode *node)
{
  for (VornNode *n = node; n; n = n->parent)
    if (n == candidate)
      return TRUE;
  return FALSE;
}

void
vorn_node_insert (VornNode *parent, VornNode *node, int position)
{
  g_return_if_fail (VORN_IS_NODE (parent));
  g_return_if_fail (VORN_IS_NODE (node));
  g_return_if_fail (node->parent == NULL);
  g_return_if_fail (!is_ancestor_or_self (node, parent));

  VornNode *before = nullptr;   /* insert in front of this one; NULL = append */
  if (position >= 0)
    {
      int index = position < 1 ? 0 : position;
      before = parent->children;
      for (int i = 0; i < index && before; i++)
        before = before->next;
    }
  else if (position != -1)
    before = parent->children;   /* every other negative value: first */

  vorn_util_edit_serial_bump ();
  g_object_ref (node);
  node->parent = parent;
  if (before)
    {
      node->next = before;
      node->prev = before->prev;
      if (before->prev)
        before->prev->next = node;
      else
        parent->children = node;
      before->prev = node;
    }
  else
    {
      VornNode *last = last_child (parent);
      node->prev = last;
      node->next = nullptr;
      if (last)
        last->next = node;
      else
        parent->children = node;
      last_child (parent) = node;
    }

  if (!VORN_NODE_GET_CLASS (node)->transient && !VornJsonLoadScope::ids_deferred ())
    if (VornFile *file = root_file (parent))
      assign_ids (file, node);
}

void
vorn_node_unlink (VornNode *node)
{
  g_return_if_fail (VORN_IS_NODE (node));
  g_return_if_fail (node->parent != NULL);

  vorn_util_edit_serial_bump ();
  if (node->prev)
    node->prev->next = node->next;
  else
    node->parent->children = node->next;
  if (node->next)
    node->next->prev = node->prev;
  else
    last_child (node->parent) = node->prev;

  node->parent = nullptr;
  node->next = nullptr;
  node->prev = nullptr;
  g_object_unref (node);
}

void
vorn_node_unlink_children (VornNode *node)
{
  g_return_if_fail (VORN_IS_NODE (node));

  VornNode *child = node->children;
  node->children = nullptr;
  last_child (node) = nullptr;
  vorn_util_edit_serial_bump ();
  while (child)
    {
      VornNode *next = child->next;
      child->parent = nullptr;
      child->next = nullptr;
      child->prev = nullptr;
      g_object_unref (child);
      child = next;
    }
}

void
vorn_node_steal_children (VornNode *dest, VornNode *src)
{
  g_return_if_fail (VORN_IS_NODE (dest));
  g_return_if_fail (VORN_IS_NODE (src));
  g_return_if_fail (!is_ancestor_or_self (src, dest));

  vorn_util_edit_serial_bump ();
  VornNode *first = src->children;
  VornNode *src_last = last_child (src);
  src->children = nullptr;
  last_child (src) = nullptr;
  if (!first)
    return;

  VornNode *last = last_child (dest);
  first->prev = last;
  if (last)
    last->next = first;
  else
    dest->children = first;
  last_child (dest) = src_last;

  VornFile *file = VornJsonLoadScope::ids_deferred () ? nullptr : root_file (dest);
  for (VornNode *child = first; child; child = child->next)
    {
      child->parent = dest;
      if (file)
        assign_ids (file, child);
    }
}

VornNode *
vorn_node_get_root (VornNode *node)
{
  g_return_val_if_fail (VORN_IS_NODE (node), NULL);

  while (node->parent)
    node = node->parent;
  return node;
}

VornNode *
vorn_node_get_parent_by_type (VornNode *node, GType type)
{
  g_return_val_if_fail (VORN_IS_NODE (node), NULL);

  for (VornNode *n = node; n; n = n->parent)
    if (g_type_is_a (G_OBJECT_TYPE (n), type))
      return n;
  return nullptr;
}

int
vorn_node_position (VornNode *node)
{
  g_return_val_if_fail (VORN_IS_NODE (node), -1);

  if (!node->parent)
    return -1;
  int index = 0;
  for (VornNode *n = node->parent->children; n && n != node; n = n->next)
    index++;
  return index;
}

guint
vorn_node_level (VornNode *node)
{
  g_return_val_if_fail (VORN_IS_NODE (node), G_MAXUINT);

  guint level = 0;
  for (VornNode *n = node->parent; n; n = n->parent)
    level++;
  return level;
}

static gboolean
pre_walk (VornNode *node, VornNodeTraverseFunc func, gpointer data)
{
  if (!func (node, data))
    return FALSE;
  for (VornNode *child = node->children; child;)
    {
      /* Read the link first: the callback may unlink the child. */
      VornNode *next = child->next;
      if (!pre_walk (child, func, data))
        return FALSE;
      child = next;
    }
  return TRUE;
}

static gboolean
post_walk (VornNode *node, VornNodeTraverseFunc func, gpointer data)
{
  for (VornNode *child = node->children; child;)
    {
      VornNode *next = child->next;
      if (!post_walk (child, func, data))
        return FALSE;
      child = next;
    }
  return func (node, data);
}

void
vorn_node_pre_traverse (VornNode *node, VornNodeTraverseFunc func, gpointer data)
{
  g_return_if_fail (VORN_IS_NODE (node));
  g_return_if_fail (func != NULL);
  pre_walk (node, func, data);
}

void
vorn_node_post_traverse (VornNode *node, VornNodeTraverseFunc func, gpointer data)
{
  g_return_if_fail (VORN_IS_NODE (node));
  g_return_if_fail (func != NULL);
  post_walk (node, func, data);
}

gboolean
vorn_node_can_gen (VornNode *node)
{
  g_return_val_if_fail (VORN_IS_NODE (node), FALSE);
  return VORN_NODE_GET_CLASS (node)->create_gen != nullptr;
}
