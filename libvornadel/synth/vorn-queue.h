/* vorn-queue.h: a node tree compiled into generators for rendering */
#pragma once

#include <glib-object.h>

#include "vorn-attrib.h"
#include "vorn-node.h"
#include "vorn-gen.h"
#include "vorn-tap.h"

G_BEGIN_DECLS

#define VORN_TYPE_QUEUE            (vorn_queue_get_type ())
#define VORN_QUEUE(obj)            (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_QUEUE, VornQueue))
#define VORN_QUEUE_CLASS(klass)    (G_TYPE_CHECK_CLASS_CAST ((klass), VORN_TYPE_QUEUE, VornQueueClass))
#define VORN_IS_QUEUE(obj)         (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_QUEUE))
#define VORN_IS_QUEUE_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), VORN_TYPE_QUEUE))
#define VORN_QUEUE_GET_CLASS(obj)  (G_TYPE_INSTANCE_GET_CLASS ((obj), VORN_TYPE_QUEUE, VornQueueClass))

typedef struct _VornQueue VornQueue;
typedef struct _VornQueueClass VornQueueClass;
typedef struct _VornSynth VornSynth;
typedef struct _VornWave VornWave;
typedef struct _VornThreadPit VornThreadPit;


/* Routed attribute types: time (1) to morph (12). */
#define VORN_QUEUE_ROUTED_TYPES 12

/* Control ids of the queue-level controls every queue begins with; the
 * tree's own control waves follow from VORN_QUEUE_FIRST_TREE_CONTROL. */
#define VORN_QUEUE_CONTROL_PITCH 0
#define VORN_QUEUE_CONTROL_VOLUME 1
#define VORN_QUEUE_CONTROL_BALANCE 2
#define VORN_QUEUE_FIRST_TREE_CONTROL 3

/**
 * VornAttachPoint:
 * @queue: the master queue that owns the point
 * @first_sub: (nullable): first attached voice queue
 * @attach_vals: for types 1 to 12 (index type - 1): the record current at
 *   the end of the point's subtree, or the type's default; the speakers
 *   entry is NULL when nothing writes speakers before the point
 * @first_gen: (nullable): first generator of the point's subtree
 * @last_gen: (nullable): last generator of the point's subtree
 * @next_live: next point that has voices, in index order
 * @prev_live: previous point that has voices
 * @chain_first: (nullable): first generator of the subtree that renders
 *   (private)
 * @chain_last: (nullable): last generator of the subtree that renders
 *   (private)
 *
 * One node with "attach-point" TRUE of a master tree: where the voices of a
 * channel plug in.  Owned by the master queue; touched only by the render
 * thread.
 */
typedef struct _VornAttachPoint VornAttachPoint;
struct _VornAttachPoint {
  VornQueue *queue;
  VornQueue *first_sub;
  VornAttribVal *attach_vals[VORN_QUEUE_ROUTED_TYPES];
  VornGen *first_gen;
  VornGen *last_gen;
  VornAttachPoint *next_live;
  VornAttachPoint *prev_live;
  VornGen *chain_first;
  VornGen *chain_last;
};

/**
 * VornQueue:
 * @synth: owning synthesizer (not referenced)
 * @node: the compiled tree root (referenced)
 * @start_time: voice queue: sample time at attachment; master: sample time
 *   after the last render call
 * @sample_rate: the synthesizer's "sample-rate" when the queue was made
 * @voice_id: voice id of a voice queue, 0 for the master
 * @max_voices: the synthesizer's "max-voices" when the queue was made
 * @speaker_count: the synthesizer's "speaker-count"
 * @format: #VornFormat of every record and buffer of the queue
 * @active: TRUE while attached and sounding
 * @tap_mode: #VornQueueTapMode of the master queue
 * @note: MIDI note a voice queue was started for, 0 for the master
 *
 * A node tree compiled for rendering: its generators in post-order (children
 * before their parent), the output records that connect them, the control
 * records that can be set from outside and, in a master queue, the attach
 * points where voice queues plug in.
 *
 * Control ids: every queue begins with three queue-level controls, "Pitch"
 * (id 0, multiplies pitch), "Volume" (id 1, multiplies volume) and "Balance"
 * (id 2, adds to balance).  Starting a voice sets control 0 to the pitch
 * ratio and control 1 to the volume; no control wave is ever inserted into
 * the instrument.  The tree's own control waves therefore have the ids 3, 4,
 * ... in post-order: vorn_queue_node_get_control_id() + 3.
 */
struct _VornQueue {
  GObject parent_instance;

  VornSynth *synth;
  VornNode *node;
  guint64 start_time;
  double sample_rate;
  guint32 voice_id;
  guint16 max_voices;
  guint16 speaker_count;
  guint8 format;
  guint8 active;
  guint8 tap_mode;
  guint8 note;
};

struct _VornQueueClass {
  GObjectClass parent_class;
};

GType vorn_queue_get_type (void);

/* The three queue-level control waves "Pitch", "Volume" and "Balance"
 * (#VornWave nodes without parent), compiled at the start of every queue.
 * Created when the queue class initialises; owned by the engine. */
extern VornNode *vorn_queue_inst_nodes[3];

/**
 * vorn_queue_new:
 * @node: the tree root to compile (the queue takes a reference)
 * @synth: the owning synthesizer (not referenced)
 *
 * Compiles @node with the synthesizer's current sample rate, voice limit,
 * speaker count, format and core count: one generator per node that makes
 * one (muted nodes make none, their children do), output records shared
 * between subtrees that are not live at the same time, one control record
 * per control input.  A tree with attach points becomes a master queue
 * (routed now, rendering on "cores-current" cores); any other tree is a
 * voice queue, routed when it is attached.
 *
 * Returns: (transfer full) (nullable): the queue, NULL on a wrong argument.
 */
VornQueue *vorn_queue_new (VornNode *node, VornSynth *synth);

/**
 * vorn_queue_get_gens:
 * @queue: a queue
 *
 * Returns: (transfer none) (nullable): the first generator in creation
 *   order (follow #VornGen.next), or NULL for an empty queue or bad input.
 */
VornGen *vorn_queue_get_gens (VornQueue *queue);

/**
 * vorn_queue_node_get_control_id:
 * @node: a tree root
 * @ctrl: a control wave
 *
 * Returns: the position of @ctrl among the unmuted control waves (y-attrib
 *   control) of @node's tree in post-order, counted from 0; -1 when @ctrl
 *   is not in the tree or an argument is wrong.  A queue compiled from
 *   @node addresses the wave's control with this value + 3.
 */
int vorn_queue_node_get_control_id (VornNode *node, VornWave *ctrl);

/**
 * vorn_queue_set_control:
 * @queue: a queue
 * @control_id: a control id (see #VornQueue); out of range does nothing
 * @value: the operand
 * @op: replace, add to or multiply the control's value (in double
 *   arithmetic; single-format controls store the rounded result)
 *
 * Changes a control record; it takes effect at the next fragment the queue
 * renders.  Render thread only once the queue is attached.
 */
void vorn_queue_set_control (VornQueue *queue, int control_id, double value, VornWaveOp op);

/**
 * vorn_queue_note_off:
 * @queue: an attached voice queue
 * @voice_id: the voice being released (informational)
 *
 * Releases the voice: wave generators triggered "pressed" are marked
 * finished (they hold their last value), wave generators triggered
 * "release" that still wait become active and join the render chain with
 * their subtrees; then the routing is resolved again.  Render thread only.
 */
void vorn_queue_note_off (VornQueue *queue, guint voice_id);

/**
 * vorn_queue_note_off_at:
 * @queue: an attached voice queue
 * @voice_id: the voice being released (informational)
 * @frame: the frame of the queue's next fragment the release falls on,
 *   below VORN_FRAGMENT_SIZE; 0 is vorn_queue_note_off()
 *
 * Releases the voice from @frame of its next fragment on: wave generators
 * triggered "pressed" render that fragment and hold the value of the
 * frame before @frame from there; wave generators triggered "release"
 * that wait become active with their curve at its start until @frame,
 * passing their destination input through before it.  Subtrees of such
 * waves start with the fragment.  Render thread only; never allocates.
 */
void vorn_queue_note_off_at (VornQueue *queue, guint voice_id, guint frame);

/**
 * vorn_queue_get_output_delay:
 * @queue: a compiled voice queue
 *
 * How many frames the voice's sound lags its own timeline: a band-limited
 * oscillator sounds VORN_WAVE_ANTIALIAS_DELAY frames after its envelopes
 * and modulators act, so a release meant for a frame of the sound is due
 * that much later on the timeline.  Walks the generators; not for every
 * fragment.
 *
 * Returns: VORN_WAVE_ANTIALIAS_DELAY when a wave of @queue is band-limited,
 * else 0
 */
guint vorn_queue_get_output_delay (VornQueue *queue);

/**
 * vorn_queue_resolve_attributes:
 * @queue: a queue
 *
 * Recomputes which record every input of the render chain reads: the most
 * recent output of its type still in scope, else (attached voice) the
 * attach point's record, else the type's default.  Does not allocate; safe
 * on the render thread.
 */
void vorn_queue_resolve_attributes (VornQueue *queue);

/**
 * vorn_queue_set_cpu_cores:
 * @queue: a master queue
 * @cores: cores to render voices on; above 1 a thread pit with @cores
 *   workers renders the voices, 0 or 1 renders them on the calling thread
 * @error: (nullable): return location for a #GError; without one a failure
 *   is logged as a warning
 *
 * Not while a fragment renders: starting threads allocates, so the API
 * thread calls this, never the render thread.  When the system refuses a
 * thread the voices render on the threads there are.
 *
 * Returns: %TRUE when @queue renders on @cores cores.
 */
gboolean vorn_queue_set_cpu_cores (VornQueue *queue, guint cores, GError **error);

/**
 * vorn_queue_attach:
 * @queue: a master queue
 * @subQueue: a compiled voice queue that is not attached
 * @attachIndex: index of the attach point (tree order)
 *
 * Attaches @subQueue in front of the point's voices, makes the point live
 * (its channel generators render from now on), marks the voice active and
 * routes it from the point's records.  Render thread only.  The master does
 * not take a reference.
 */
void vorn_queue_attach (VornQueue *queue, VornQueue *subQueue, int attachIndex);

/**
 * vorn_queue_detach:
 * @subQueue: a voice queue
 *
 * Removes @subQueue from its attach point (nothing when not attached) and
 * clears its active flag.  The point's generators stay in the render chain
 * until the next attach relinks it.  Render thread only.
 */
void vorn_queue_detach (VornQueue *subQueue);

/**
 * vorn_queue_detach_all:
 * @queue: a master queue
 *
 * Detaches every voice queue of @queue and empties the render chain, so
 * only the generators after the last attach point render until the next
 * attach.  Render thread only.
 */
void vorn_queue_detach_all (VornQueue *queue);

/**
 * vorn_queue_render:
 * @queue: a master queue
 *
 * Renders one fragment: zeroes the synthesizer's speaker outputs, runs the
 * master generators before the attach points and those of the live attach
 * points, renders every attached voice (on the thread pit when there is
 * one) and adds its speakers output into its attach point's speakers
 * records, then runs the generators after the last attach point.  A voice
 * whose generator stopped contributes its last fragment and is detached.
 * Never allocates, logs or locks (apart from the thread pit's hand-out).
 *
 * Returns: FALSE when at least one voice was detached, else TRUE.
 */
gboolean vorn_queue_render (VornQueue *queue);

/**
 * vorn_queue_render_thread_func:
 * @pit: the master queue's thread pit
 *
 * Worker loop of the thread pit: renders the voice queues handed out until
 * it receives the stop item.  A voice whose generator stopped gets its
 * active flag cleared; the render thread detaches it.
 *
 * Returns: NULL.
 */
gpointer vorn_queue_render_thread_func (VornThreadPit *pit);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornQueue, g_object_unref)

G_END_DECLS
