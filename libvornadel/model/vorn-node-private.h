/* vorn-node-private.h: engine-internal parts of the node JSON handling */
#pragma once

#include "vorn-attrib.h"
#include "vorn-node.h"

#include <json-glib/json-glib.h>

/* While a load scope is active on a thread, members of the wrong JSON type are
 * collected as a GError instead of being logged, so that loading a file can
 * fail with a clear message. */
class VornJsonLoadScope
{
public:
  VornJsonLoadScope ();
  ~VornJsonLoadScope ();
  VornJsonLoadScope (const VornJsonLoadScope &) = delete;
  VornJsonLoadScope &operator= (const VornJsonLoadScope &) = delete;

  /* Hands the first collected error (or NULL) to the caller. */
  GError *steal_error ();

  /* Reports a problem: kept when a scope is active, else logged as a warning. */
  static void report (GError *error);

  /* TRUE while a scope is active on this thread. */
  static bool active ();

  /* While the innermost scope defers IDs, nodes attached to a file keep ID 0:
   * the file numbers them itself once it has seen every ID it holds. */
  void defer_ids () { deferring_ids = true; }
  static bool ids_deferred ();

private:
  VornJsonLoadScope *outer;
  GError *error = nullptr;
  bool deferring_ids = false;
};

/* Names the kind of a JSON node for messages: "an object", "a string"... */
const char *vorn_json_describe (JsonNode *node);

/* Deserializes a node property the way every node class does (children,
 * enum nicks, checked JSON types); subclasses call it for the properties they
 * do not handle themselves. */
gboolean vorn_node_deserialize_property_default (JsonSerializable *serializable,
                                                 const char *property_name,
                                                 GValue *value,
                                                 GParamSpec *pspec,
                                                 JsonNode *property_node);

/* Serializes a node property the way every node class does. */
JsonNode *vorn_node_serialize_property_default (JsonSerializable *serializable,
                                                const char *property_name,
                                                const GValue *value,
                                                GParamSpec *pspec);

/* Sets an attribute-type enum property of a node: stores @value in @field
 * and notifies @pspec only when the value changed, as the node properties
 * use explicit notification. */
inline void
vorn_node_set_attrib_property (GObject *object, VornAttribType *field, const GValue *value,
                               GParamSpec *pspec)
{
  auto attrib = VornAttribType (g_value_get_enum (value));
  if (attrib != *field)
    {
      *field = attrib;
      g_object_notify_by_pspec (object, pspec);
    }
}
