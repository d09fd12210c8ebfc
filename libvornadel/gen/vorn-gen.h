/* vorn-gen.h: the generator base class that every sound-making node's
 * runtime counterpart derives from */
#pragma once

#include <glib-object.h>

#include "vorn-attrib.h"
#include "vorn-node.h"

G_BEGIN_DECLS

#define VORN_TYPE_GEN            (vorn_gen_get_type ())
#define VORN_GEN(obj)            (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_GEN, VornGen))
#define VORN_GEN_CLASS(klass)    (G_TYPE_CHECK_CLASS_CAST ((klass), VORN_TYPE_GEN, VornGenClass))
#define VORN_IS_GEN(obj)         (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_GEN))
#define VORN_IS_GEN_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), VORN_TYPE_GEN))
#define VORN_GEN_GET_CLASS(obj)  (G_TYPE_INSTANCE_GET_CLASS ((obj), VORN_TYPE_GEN, VornGenClass))

typedef struct _VornGenClass VornGenClass;

/**
 * VornGenRenderFunc:
 * @gen: the generator
 *
 * Renders one fragment: reads the first @src_count records of
 * @attrib_vals and writes the @dest_count records after them.  Never
 * allocates, locks or logs.
 *
 * Returns: TRUE normally; FALSE when the queue has to react (the generator
 *   stopped, settled on a constant, or its output is an identity).
 */
typedef gboolean (*VornGenRenderFunc) (VornGen *gen);

/**
 * VornGenState:
 * @VORN_GEN_STATE_ACTIVE: rendered every fragment
 * @VORN_GEN_STATE_WAIT: created, waiting for its trigger (note-off)
 * @VORN_GEN_STATE_INACTIVE: not rendered, like wait
 * @VORN_GEN_STATE_STOP: finished; the voice ends
 */
typedef enum {
  VORN_GEN_STATE_ACTIVE = 0,
  VORN_GEN_STATE_WAIT = 1,
  VORN_GEN_STATE_INACTIVE = 2,
  VORN_GEN_STATE_STOP = 3,
} VornGenState;

/* Diagnostic trace flags of generators. */
typedef enum {
  VORN_GEN_TRACE_FLAG_FRAG_START = 1 << 0,
  VORN_GEN_TRACE_FLAG_INACTIVE = 1 << 1,
  VORN_GEN_TRACE_FLAG_STOP = 1 << 2,
} VornGenTraceFlags;

/**
 * VornWaveOp:
 * @VORN_WAVE_OP_SET: the destination becomes y * g
 * @VORN_WAVE_OP_ADD: the destination becomes d + y * g
 * @VORN_WAVE_OP_MUL: the destination becomes d * y * g
 *
 * How a generated signal g, scaled by the amplitude y, is combined with the
 * current value d of the destination attribute.
 */
typedef enum {
  VORN_WAVE_OP_SET = 0,
  VORN_WAVE_OP_ADD = 1,
  VORN_WAVE_OP_MUL = 2,
} VornWaveOp;

#define VORN_TYPE_GEN_STATE (vorn_gen_state_get_type ())
#define VORN_TYPE_GEN_TRACE_FLAGS (vorn_gen_trace_flags_get_type ())
#define VORN_TYPE_WAVE_OP (vorn_wave_op_get_type ())

GType vorn_gen_state_get_type (void);
GType vorn_gen_trace_flags_get_type (void);
GType vorn_wave_op_get_type (void);

/**
 * VornGen:
 * @node: the node this generator renders (referenced; property "node")
 * @queue: the queue that owns the generator (referenced; property "queue")
 * @render: the render variant, chosen by the subclass in constructed
 * @attribs: @src_count source types, then @dest_count destination types;
 *   points into the subclass instance
 * @attrib_vals: record pointers parallel to @attribs, filled by the queue;
 *   NULL for a source that reads nothing
 * @next: next generator of the queue in creation order
 * @chain_next: next generator in the queue's render chain
 * @prev: previous generator in creation order
 * @src_count: number of source attributes
 * @dest_count: number of destination attributes
 * @state: #VornGenState, %VORN_GEN_STATE_ACTIVE initially
 * @level: number of ancestors of @node (at most 255)
 *
 * Abstract base of every generator.  Subclasses point @attribs and
 * @attrib_vals at their own instance data in their instance initialiser and
 * fill the types and @render in constructed.
 */
struct _VornGen {
  GObject parent_instance;

  VornNode *node;
  VornQueue *queue;
  VornGenRenderFunc render;
  VornAttribType *attribs;
  VornAttribVal **attrib_vals;
  VornGen *next;
  VornGen *chain_next;
  VornGen *prev;
  guint8 src_count;
  guint8 dest_count;
  guint8 state;
  guint8 level;
  /* TRUE while the last render returned FALSE: the queue reacts to the
   * change, not to every fragment that repeats it. */
  guint8 settled;
};

struct _VornGenClass {
  GObjectClass parent_class;
};

GType vorn_gen_get_type (void);

/**
 * vorn_node_create_gen:
 * @node: a node
 * @queue: the queue that will own the generator
 *
 * Returns: (transfer full) (nullable): the node's generator for @queue, or
 *   NULL.
 */
VornGen *vorn_node_create_gen (VornNode *node, VornQueue *queue);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornGen, g_object_unref)

G_END_DECLS
