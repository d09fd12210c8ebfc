/* vorn-tap.h: a node that records an attribute for other threads to read */
#pragma once

#include <glib-object.h>

#include "vorn-attrib.h"
#include "vorn-gen.h"
#include "vorn-node.h"

G_BEGIN_DECLS

#define VORN_TYPE_TAP            (vorn_tap_get_type ())
#define VORN_TAP(obj)            (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_TAP, VornTap))
#define VORN_IS_TAP(obj)         (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_TAP))

#define VORN_TYPE_TAP_GEN        (vorn_tap_gen_get_type ())
#define VORN_TAP_GEN(obj)        (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_TAP_GEN, VornTapGen))
#define VORN_IS_TAP_GEN(obj)     (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_TAP_GEN))

typedef struct _VornTap VornTap;
typedef struct _VornTapClass VornTapClass;
typedef struct _VornTapGen VornTapGen;
typedef struct _VornTapGenClass VornTapGenClass;

/* The tap mode lives on the queue; it is declared here because the tap
 * generator is what acts on it. */
/**
 * VornQueueTapMode:
 * @VORN_QUEUE_TAP_MODE_ACTIVE: taps record
 * @VORN_QUEUE_TAP_MODE_CLEAR: taps are cleared, then record
 * @VORN_QUEUE_TAP_MODE_PAUSED: taps keep what they hold
 *
 * Only the master queue's mode changes (on tap pause).  A tap generator
 * reads its own queue's mode every fragment: while paused it records
 * nothing, so its history and frame counter stand still; on "clear" it
 * forgets its history once, sets the mode back to active and records.
 */
typedef enum {
  VORN_QUEUE_TAP_MODE_ACTIVE = 0,
  VORN_QUEUE_TAP_MODE_CLEAR = 1,
  VORN_QUEUE_TAP_MODE_PAUSED = 2,
} VornQueueTapMode;

#define VORN_TYPE_QUEUE_TAP_MODE (vorn_queue_tap_mode_get_type ())
GType vorn_queue_tap_mode_get_type (void);

/* Ring size of a tap, in frames per channel, when none is given. */
#define VORN_TAP_DEFAULT_SIZE 96000

/**
 * VornTap:
 * @attrib: the #VornAttribType recorded (property "attrib")
 * @size: frames per channel of the record buffer (property "size")
 *
 * Runtime-only node: it gets no ID and is never saved with its children.
 */
struct _VornTap {
  VornNode parent_instance;

  VornAttribType attrib;
  gint32 size;
};

struct _VornTapClass {
  VornNodeClass parent_class;
};

/**
 * VornTapGen:
 * @attrib: the recorded attribute type (the only source)
 * @val: the record(s) read: for speakers the first of @channels records
 * @ring: @channels regions of @size doubles, region c for channel c
 * @frames: frames written since creation or the last clear; only touch it
 *   through the functions below, it is shared between threads
 * @size: frames per channel region (at least one fragment)
 * @channels: the speaker count for speakers, else 1
 */
struct _VornTapGen {
  VornGen parent_instance;

  VornAttribType attrib;
  VornAttribVal *val;
  double *ring;
  guint64 frames;
  gint32 size;
  gint32 channels;
};

struct _VornTapGenClass {
  VornGenClass parent_class;
};

GType vorn_tap_get_type (void);
GType vorn_tap_gen_get_type (void);

/**
 * vorn_tap_new:
 * @attrib: the attribute to record
 * @size: frames per channel; 0 takes %VORN_TAP_DEFAULT_SIZE, and sizes below
 *   one fragment (64) are raised to 64
 *
 * Returns: (transfer full): a new tap node.
 */
VornTap *vorn_tap_new (VornAttribType attrib, int size);

/* Render functions (chosen by format): record one fragment.  Always TRUE. */
gboolean vorn_tap_gen_write_double (VornTapGen *gen);
gboolean vorn_tap_gen_write_float (VornTapGen *gen);

/**
 * vorn_tap_gen_read:
 * @gen: a tap generator
 * @out: (array length=max_frames): receives the frames
 * @max_frames: room in @out
 * @channel: channel to read, below the generator's channel count
 * @pos: 0 or more: frames after the oldest one held; negative: frames back
 *   from the newest (-n reads the newest n)
 * @start_out: (out) (optional): absolute index of the first frame copied
 *
 * Copies recorded frames of one channel without locking; safe against the
 * render thread writing concurrently.  The oldest fragment held may already
 * be in the middle of being overwritten, so readers that need consistent
 * data stay clear of it.
 *
 * Returns: frames copied; 0 when the position is not held (or bad input).
 */
int vorn_tap_gen_read (VornTapGen *gen, double *out, int max_frames, guint channel, int pos,
                       guint64 *start_out);

/**
 * vorn_tap_gen_get_data_size_time:
 * @gen: a tap generator
 * @time_out: (out) (optional): absolute index of the oldest frame held
 *
 * Returns: the number of frames held per channel, min(frames written, size).
 */
guint64 vorn_tap_gen_get_data_size_time (VornTapGen *gen, guint64 *time_out);

/* Forgets everything recorded: the frame count restarts at 0. */
void vorn_tap_gen_clear (VornTapGen *gen);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornTap, g_object_unref)
G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornTapGen, g_object_unref)

G_END_DECLS
