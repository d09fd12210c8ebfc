/* vorn-gen.cpp: generator base class and its enumerations */
#include "vorn-gen.h"
#include "vorn-gen-private.h"

#include "vorn-init.h"

G_DEFINE_ENUM_TYPE (VornGenState, vorn_gen_state,
  G_DEFINE_ENUM_VALUE (VORN_GEN_STATE_ACTIVE, "active"),
  G_DEFINE_ENUM_VALUE (VORN_GEN_STATE_WAIT, "wait"),
  G_DEFINE_ENUM_VALUE (VORN_GEN_STATE_INACTIVE, "inactive"),
  G_DEFINE_ENUM_VALUE (VORN_GEN_STATE_STOP, "stop"))

G_DEFINE_FLAGS_TYPE (VornGenTraceFlags, vorn_gen_trace_flags,
  G_DEFINE_ENUM_VALUE (VORN_GEN_TRACE_FLAG_FRAG_START, "frag-start"),
  G_DEFINE_ENUM_VALUE (VORN_GEN_TRACE_FLAG_INACTIVE, "inactive"),
  G_DEFINE_ENUM_VALUE (VORN_GEN_TRACE_FLAG_STOP, "stop"))

G_DEFINE_ENUM_TYPE (VornWaveOp, vorn_wave_op,
  G_DEFINE_ENUM_VALUE (VORN_WAVE_OP_SET, "set"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_OP_ADD, "add"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_OP_MUL, "mul"))

enum {
  PROP_0,
  PROP_NODE,
  PROP_QUEUE,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

typedef struct {
  const VornRenderContext *context;
} VornGenPrivate;

G_DEFINE_ABSTRACT_TYPE_WITH_PRIVATE (VornGen, vorn_gen, G_TYPE_OBJECT)

static void
vorn_gen_init (VornGen *gen)
{
  gen->state = VORN_GEN_STATE_ACTIVE;
}

static void
vorn_gen_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornGen *gen = VORN_GEN (object);

  switch (prop_id)
    {
    case PROP_NODE:
      g_value_set_object (value, gen->node);
      break;
    case PROP_QUEUE:
      g_value_set_object (value, gen->queue);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
vorn_gen_set_property (GObject *object, guint prop_id, const GValue *value, GParamSpec *pspec)
{
  VornGen *gen = VORN_GEN (object);

  switch (prop_id)
    {
    case PROP_NODE:
      g_set_object (&gen->node, static_cast<VornNode *> (g_value_get_object (value)));
      if (gen->node)
        /* The queue's render chain bounds levels by 256, so 255 is the
         * deepest level it can tell apart. */
        gen->level = guint8 (MIN (vorn_node_level (gen->node), 255u));
      else
        gen->level = 0;
      break;
    case PROP_QUEUE:
      g_set_object (&gen->queue, static_cast<VornQueue *> (g_value_get_object (value)));
      /* The queue attached its context before asking its nodes for
       * generators; subclasses read it in constructed. */
      static_cast<VornGenPrivate *> (vorn_gen_get_instance_private (gen))->context =
        vorn_render_context_lookup (gen->queue);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
vorn_gen_finalize (GObject *object)
{
  VornGen *gen = VORN_GEN (object);

  g_clear_object (&gen->node);
  g_clear_object (&gen->queue);

  G_OBJECT_CLASS (vorn_gen_parent_class)->finalize (object);
}

static void
vorn_gen_class_init (VornGenClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->get_property = vorn_gen_get_property;
  object_class->set_property = vorn_gen_set_property;
  object_class->finalize = vorn_gen_finalize;

  const auto flags = GParamFlags (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY |
                                  G_PARAM_STATIC_STRINGS | VORN_PARAM_HIDDEN);

  properties[PROP_NODE] =
    g_param_spec_object ("node", "Node", "Generator node", VORN_TYPE_NODE, flags);
  /* Generators sit below the queue: they know its type only by name (the
   * queue's library registers it when loaded). */
  GType queue_type = g_type_from_name ("VornQueue");
  properties[PROP_QUEUE] =
    g_param_spec_object ("queue", "Queue", "Parent queue", queue_type ? queue_type : G_TYPE_OBJECT,
                         flags);

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

const VornRenderContext *
vorn_gen_get_context (VornGen *gen)
{
  const VornRenderContext *ctx =
    gen ? static_cast<VornGenPrivate *> (vorn_gen_get_instance_private (gen))->context : nullptr;
  return ctx ? ctx : vorn_render_context_lookup (nullptr);
}

/* The queue sits above the generators, which know its type only by name. */
#define VORN_IS_QUEUE(obj) \
  (G_TYPE_CHECK_INSTANCE_TYPE ((obj), g_type_from_name ("VornQueue")))

VornGen *
vorn_node_create_gen (VornNode *node, VornQueue *queue)
{
  g_return_val_if_fail (VORN_IS_NODE (node), NULL);
  g_return_val_if_fail (VORN_IS_QUEUE (queue), NULL);

  auto create = VORN_NODE_GET_CLASS (node)->create_gen;
  return create ? create (node, queue) : nullptr;
}
