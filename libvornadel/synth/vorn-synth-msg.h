/* vorn-synth-msg.h: the fixed-size messages between the application and the
 * render thread */
#pragma once

#include <glib-object.h>

#include "vorn-gen.h"
#include "vorn-node.h"

G_BEGIN_DECLS

/**
 * VornSynthMsgType:
 * @VORN_SYNTH_MSG_START: reserved; returned unchanged
 * @VORN_SYNTH_MSG_STOP: reserved; returned unchanged
 * @VORN_SYNTH_MSG_START_VOICE: attach the voice queue in @target.queue for
 *   the voice and channel in @data.voice; returned when the voice ends, is
 *   refused or is flushed
 * @VORN_SYNTH_MSG_START_VOICE_NOTIFY: sent straight to the outbox; carries a
 *   new queue reference (owned by the receiver) and the voice and channel
 * @VORN_SYNTH_MSG_STOP_VOICE: note-off of voice @target.voice_id with the
 *   release velocity @data.value (0..1)
 * @VORN_SYNTH_MSG_SET_CONTROL: set master control @target.control_id to
 *   @data.value
 * @VORN_SYNTH_MSG_SET_VOICE_CONTROL: set control @control_id of voice
 *   @target.voice_id to @data.value
 * @VORN_SYNTH_MSG_SET_NODE_CONTROL: combine @data.value by @op into control
 *   @node_control_id of every voice compiled from @target.node, filtered by
 *   @chan_filter and limited by @max_count
 * @VORN_SYNTH_MSG_SET_ALARM: reserved; returned unchanged
 * @VORN_SYNTH_MSG_PANIC: end all voices
 * @VORN_SYNTH_MSG_TAP_PAUSE: pause (@target.pause nonzero) or resume the
 *   master tap; its return confirms the change
 * @VORN_SYNTH_MSG_UPDATE_OPTIMIZATION: hand over the master queue in
 *   @target.queue, built on the API thread for a new format, SIMD level or
 *   core count (renderer-specific fields in @data, @control_id,
 *   @node_control_id and @op); it returns with the master it replaced in
 *   @target.queue, which vorn_synth_msg_free() releases
 *
 * Every message sent to the inbox comes back through the outbox.
 */
typedef enum {
  VORN_SYNTH_MSG_START = 0,
  VORN_SYNTH_MSG_STOP = 1,
  VORN_SYNTH_MSG_START_VOICE = 2,
  VORN_SYNTH_MSG_START_VOICE_NOTIFY = 3,
  VORN_SYNTH_MSG_STOP_VOICE = 4,
  VORN_SYNTH_MSG_SET_CONTROL = 5,
  VORN_SYNTH_MSG_SET_VOICE_CONTROL = 6,
  VORN_SYNTH_MSG_SET_NODE_CONTROL = 7,
  VORN_SYNTH_MSG_SET_ALARM = 8,
  VORN_SYNTH_MSG_PANIC = 9,
  VORN_SYNTH_MSG_TAP_PAUSE = 10,
  VORN_SYNTH_MSG_UPDATE_OPTIMIZATION = 11,
} VornSynthMsgType;

#define VORN_TYPE_SYNTH_MSG_TYPE (vorn_synth_msg_type_get_type ())
GType vorn_synth_msg_type_get_type (void);

/* Channel filter of a set-node-control message that matches every channel. */
#define VORN_SYNTH_MSG_ALL_CHANNELS 65535

/**
 * VornSynthMsg:
 * @type: a #VornSynthMsgType
 * @target: what the message acts on: the voice queue (start-voice,
 *   start-voice-notify), the node (set-node-control), a voice id
 *   (stop-voice, set-voice-control), a master control id (set-control) or the
 *   pause flag (tap-pause)
 * @control_id: control id of set-voice-control
 * @data: the voice id and channel (start-voice, start-voice-notify) or the
 *   value (stop-voice: release velocity; the set-control messages: value)
 * @node_control_id: control id of set-node-control
 * @chan_filter: channel of set-node-control, %VORN_SYNTH_MSG_ALL_CHANNELS for
 *   every channel
 * @max_count: voices set-node-control changes at most; 0 means all
 * @op: #VornWaveOp of set-node-control
 *
 * One plain record for every message type, from the slice allocator.  The
 * message does not hold a reference on @target.node; the sender keeps the
 * node alive while voices made from it may sound.
 */
typedef struct _VornSynthMsg {
  guint8 type;
  union {
    gpointer ptr;
    VornQueue *queue;
    VornNode *node;
    guint32 voice_id;
    guint16 control_id;
    guint32 pause;
    guint64 bits;
  } target;
  guint16 control_id;
  union {
    struct {
      guint32 voice_id;
      guint16 channel;
    } voice;
    double value;
    guint64 bits;
  } data;
  guint16 node_control_id;
  guint16 chan_filter;
  guint8 max_count;
  guint8 op;
} VornSynthMsg;

/**
 * vorn_synth_msg_new: (skip)
 * @type: the message type
 *
 * Returns: (transfer full): a zero-filled message of @type.
 */
VornSynthMsg *vorn_synth_msg_new (VornSynthMsgType type);

/**
 * vorn_synth_msg_free:
 * @msg: a message
 *
 * Frees @msg; for start-voice and update-optimization it also drops the
 * queue reference the message holds.  A start-voice-notify message's queue reference belongs to
 * the receiver and is left alone.
 */
void vorn_synth_msg_free (VornSynthMsg *msg);

G_END_DECLS
