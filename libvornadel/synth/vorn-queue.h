/* vorn-queue.h: a node tree compiled into generators for rendering */
#pragma once

#include <glib-object.h>

#include "vorn-node.h"
#include "vorn-gen.h"

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

/**
 * VornQueueTapMode:
 * @VORN_QUEUE_TAP_MODE_ACTIVE: taps record
 * @VORN_QUEUE_TAP_MODE_CLEAR: taps are cleared, then record
 * @VORN_QUEUE_TAP_MODE_PAUSED: taps keep what they hold
 */
typedef enum {
  VORN_QUEUE_TAP_MODE_ACTIVE = 0,
  VORN_QUEUE_TAP_MODE_CLEAR = 1,
  VORN_QUEUE_TAP_MODE_PAUSED = 2,
} VornQueueTapMode;

#define VORN_TYPE_QUEUE_TAP_MODE (vorn_queue_tap_mode_get_type ())
GType vorn_queue_tap_mode_get_type (void);

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
 */
struct _VornQueue {
  GObject parent_instance;

  VornSynth *synth;
  VornNode *node;
  guint64 start_time;
  double sample_rate;
  guint32 voice_id;
  guint16 max_voices;
  guint8 speaker_count;
  guint8 format;
  guint8 active;
  guint8 tap_mode;
};

struct _VornQueueClass {
  GObjectClass parent_class;
};

GType vorn_queue_get_type (void);

/**
 * vorn_queue_new:
 * @node: the tree root to compile (the queue takes a reference)
 * @synth: the owning synthesizer (not referenced)
 *
 * Creates a queue for @node with the synthesizer's current sample rate,
 * voice limit, speaker count and format.
 *
 * Returns: (transfer full) (nullable): the queue, NULL on a wrong argument.
 */
VornQueue *vorn_queue_new (VornNode *node, VornSynth *synth);

/* Returns: (transfer none) (nullable): the first generator in creation
 * order (follow #VornGen.next), or NULL for an empty queue or bad input. */
VornGen *vorn_queue_get_gens (VornQueue *queue);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornQueue, g_object_unref)

G_END_DECLS
