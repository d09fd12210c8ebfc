/* vorn-queue-private.h: the queue's compiled state, for the renderer and
 * tests (not installed) */
#pragma once

#include "vorn-queue.h"
#include "vorn-thread-pit.h"
#include "vorn-render-context.h"

G_BEGIN_DECLS

/* Slot entry type of an output record reserved for one attach point's
 * subtree: never reused by later outputs, never matched by type. */
#define VORN_QUEUE_SLOT_RESERVED 0xffffffffu

/**
 * VornQueueSlot:
 * @type: attribute type of the output that holds the record; 0 when free
 * @order: creation counter of that output (larger is more recent)
 * @level: tree level of the generator that owns the output
 *
 * Bookkeeping of one output record, for routing.
 */
typedef struct {
  guint32 type;
  guint16 order;
  guint8 level;
} VornQueueSlot;

/**
 * VornQueuePrivate:
 * @pit: (nullable): worker pool of a master rendering on several cores
 * @first_gen: first generator in creation (post-) order
 * @last_gen: last generator in creation order
 * @chain: (nullable): head of the render chain (#VornGen.chain_next)
 * @slots: one entry per output record
 * @slot_vals: the output records; record i owns buffer i
 * @slot_count: entries of @slots and @slot_vals
 * @buffers: @slot_count fragments of the queue's format, 64-byte aligned
 * @controls: one record per control input, in control-id order
 * @control_count: entries of @controls
 * @attach_points: master queue: its attach points in tree order
 * @attachPointCount: entries of @attach_points
 * @first_live: first attach point that has voices (index order)
 * @last_live: last attach point that has voices
 * @parentAttach: voice queue: the point it is attached to, else NULL
 * @next_sub: next voice queue of the same attach point
 * @prev_sub: previous voice queue of the same attach point
 * @pre_first: master: first generator before the first attach point that
 *   renders
 * @pre_last: master: last such generator
 * @post_chain: master: first generator after the last attach point that
 *   renders (the rest follows through chain_next)
 * @lead: voice queue: frames from the start of the master's fragment to
 *   the voice's first frame (0 to VORN_FRAGMENT_SIZE - 1)
 * @carry: voice queue: the last @lead samples of each speaker of its
 *   previous fragment, which belong to the master's next fragment
 * @skip: voice queue: sits out the master's next fragment (no render, no
 *   output, no carry) and starts @lead frames into the one after
 * @offs_pending: voice queue: a note-off in the middle of the next
 *   fragment left per-fragment marks on its wave generators
 * @context: what the queue was compiled with; its generators point here
 * @add_fragment: the sum of the context's format and instruction set
 */
typedef struct _VornVoiceBlock VornVoiceBlock;

/* Adds one fragment of samples of the queue's format from @src into @dst
 * (both 64-byte aligned). */
typedef void (*VornQueueAddFunc) (void *dst, const void *src);

typedef struct {
  VornThreadPit *pit;
  VornGen *first_gen;
  VornGen *last_gen;
  VornGen *chain;
  VornQueueSlot *slots;
  VornAttribVal *slot_vals;
  gint32 slot_count;
  gpointer buffers;
  VornAttribVal *controls;
  gint32 control_count;
  VornAttachPoint *attach_points;
  gint32 attachPointCount;
  VornAttachPoint *first_live;
  VornAttachPoint *last_live;
  VornAttachPoint *parentAttach;
  VornQueue *next_sub;
  VornQueue *prev_sub;

  /* Masters: partial sums of runs of voices (see vorn-queue-internal.h). */
  VornVoiceBlock *blocks;
  gint32 block_capacity;
  gpointer block_buffers;

  VornGen *pre_first;
  VornGen *pre_last;
  VornGen *post_chain;

  guint lead;
  gpointer carry;
  guint8 skip;
  guint8 offs_pending;

  VornRenderContext context;
  VornQueueAddFunc add_fragment;
} VornQueuePrivate;

/* The fragment sums of each instruction set (kernels/vorn-queue-kernel.h). */
#define VORN_QUEUE_DECLARE_KERNELS(ISA)                                 \
  void vorn_queue_add_fragment_##ISA##_F (void *dst, const void *src); \
  void vorn_queue_add_fragment_##ISA##_D (void *dst, const void *src);
VORN_QUEUE_DECLARE_KERNELS (SSE2)
VORN_QUEUE_DECLARE_KERNELS (AVX)
VORN_QUEUE_DECLARE_KERNELS (AVX2)
VORN_QUEUE_DECLARE_KERNELS (AVX512)

/* Returns: (transfer none): the compiled state of @queue. */
VornQueuePrivate *vorn_queue_get_private (VornQueue *queue);

/**
 * vorn_queue_new_with_context:
 * @node: the tree to compile
 * @synth: (nullable): the synthesizer the queue is for (not referenced)
 * @ctx: what to compile for; copied (its speaker records and tap mode are
 *   replaced by the queue's own)
 *
 * Compiles @node as vorn_queue_new() does, without asking anyone for
 * settings.  A master (a tree with attach points) renders its voices on
 * @ctx->cores cores.
 *
 * Returns: (transfer full): the queue, NULL on a wrong argument.
 */
VornQueue *vorn_queue_new_with_context (VornNode *node, VornSynth *synth,
                                        const VornRenderContext *ctx);

/* Sets the speaker records a master clears before every fragment (the
 * first output of its speakers control; NULL for none). */
void vorn_queue_set_speaker_outputs (VornQueue *queue, VornAttribVal *outputs);

/**
 * vorn_queue_set_start_offset:
 * @queue: a voice queue that is not attached and has not rendered
 * @frames: frames from the start of the master's next fragment to the
 *   voice's first frame, below 2 * VORN_FRAGMENT_SIZE (taken modulo that)
 *
 * Lets a voice start in the middle of a fragment: its output lands @frames
 * later in the master's fragments.  From VORN_FRAGMENT_SIZE on, the voice
 * sits out the master's next fragment entirely and starts @frames -
 * VORN_FRAGMENT_SIZE into the one after.  The voice renders whole fragments of
 * its own; the samples that spill over are carried into the master's next
 * fragment.  Never allocates (render thread).
 */
void vorn_queue_set_start_offset (VornQueue *queue, guint frames);

/* Returns: (transfer none) (nullable): the records set above. */
VornAttribVal *vorn_queue_get_speaker_outputs (VornQueue *queue);

G_END_DECLS
