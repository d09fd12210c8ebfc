/* vorn-synth-msg.h: the fixed-size messages between the application and the
 * render thread */
#pragma once

#include <glib-object.h>

#include "vorn-gen.h"
#include "vorn-node.h"

G_BEGIN_DECLS

/**
 * VornSynthMsgType:
 * @VORN_SYNTH_MSG_START_VOICE: attach a voice queue (payload @start_voice);
 *   returned when the voice ends, is refused or is flushed
 * @VORN_SYNTH_MSG_START_VOICE_NOTIFY: sent straight to the outbox when a
 *   voice starts (payload @start_voice_notify)
 * @VORN_SYNTH_MSG_STOP_VOICE: note-off of a voice (payload @stop_voice)
 * @VORN_SYNTH_MSG_SET_CONTROL: set a master control (payload @set_control)
 * @VORN_SYNTH_MSG_SET_VOICE_CONTROL: set a control of one voice (payload
 *   @set_voice_control)
 * @VORN_SYNTH_MSG_SET_NODE_CONTROL: combine a value into a control of the
 *   voices compiled from a node (payload @set_node_control)
 * @VORN_SYNTH_MSG_PANIC: end all voices (no payload)
 * @VORN_SYNTH_MSG_TAP_PAUSE: pause or resume the master tap (payload
 *   @tap_pause); its return confirms the change
 * @VORN_SYNTH_MSG_UPDATE_OPTIMIZATION: hand over a master queue built on the
 *   API thread for a new format, SIMD level or core count (payload
 *   @update_optimization); it returns with the master it replaced
 *
 * Every message sent to the inbox comes back through the outbox.
 */
typedef enum {
  VORN_SYNTH_MSG_START_VOICE = 0,
  VORN_SYNTH_MSG_START_VOICE_NOTIFY = 1,
  VORN_SYNTH_MSG_STOP_VOICE = 2,
  VORN_SYNTH_MSG_SET_CONTROL = 3,
  VORN_SYNTH_MSG_SET_VOICE_CONTROL = 4,
  VORN_SYNTH_MSG_SET_NODE_CONTROL = 5,
  VORN_SYNTH_MSG_PANIC = 6,
  VORN_SYNTH_MSG_TAP_PAUSE = 7,
  VORN_SYNTH_MSG_UPDATE_OPTIMIZATION = 8,
} VornSynthMsgType;

#define VORN_TYPE_SYNTH_MSG_TYPE (vorn_synth_msg_type_get_type ())
GType vorn_synth_msg_type_get_type (void);

/* Channel filter of a set-node-control message that matches every channel. */
#define VORN_SYNTH_MSG_ALL_CHANNELS 65535

/**
 * VornSynthMsgStartVoice:
 * @queue: the voice queue.  A start-voice message owns its reference
 *   (vorn_synth_msg_free() drops it); a start-voice-notify message carries
 *   a reference for the receiver, which vorn_synth_msg_free() leaves alone
 * @voice_id: the voice's id
 * @channel: the channel it plays on
 *
 * Payload of start-voice and start-voice-notify.
 */
typedef struct {
  VornQueue *queue;
  guint32 voice_id;
  guint16 channel;
} VornSynthMsgStartVoice;

/**
 * VornSynthMsgStopVoice:
 * @voice_id: the voice to release
 * @velocity: release velocity, 0..1
 */
typedef struct {
  guint32 voice_id;
  double velocity;
} VornSynthMsgStopVoice;

/**
 * VornSynthMsgSetControl:
 * @control_id: a master control id
 * @value: its new value
 */
typedef struct {
  guint16 control_id;
  double value;
} VornSynthMsgSetControl;

/**
 * VornSynthMsgSetVoiceControl:
 * @voice_id: the voice
 * @control_id: a control id of that voice
 * @value: its new value
 */
typedef struct {
  guint32 voice_id;
  guint16 control_id;
  double value;
} VornSynthMsgSetVoiceControl;

/**
 * VornSynthMsgSetNodeControl:
 * @node: voices compiled from this node are changed; the message holds no
 *   reference, the sender keeps the node alive while such voices may sound
 * @control_id: the control id within those voices
 * @chan_filter: the channel, %VORN_SYNTH_MSG_ALL_CHANNELS for every channel
 * @max_count: voices changed at most, newest first; 0 means all
 * @op: a #VornWaveOp combining @value into the control
 * @value: the value
 */
typedef struct {
  VornNode *node;
  guint16 control_id;
  guint16 chan_filter;
  guint8 max_count;
  guint8 op;
  double value;
} VornSynthMsgSetNodeControl;

/**
 * VornSynthMsgTapPause:
 * @pause: %TRUE pauses the master tap, %FALSE resumes it
 */
typedef struct {
  gboolean pause;
} VornSynthMsgTapPause;

/**
 * VornSynthMsgUpdateOptimization:
 * @queue: the new master queue, owned by the message; on return, the master
 *   it replaced (also owned: vorn_synth_msg_free() releases it)
 * @format: the #VornFormat the queue was built for
 * @simd: the #VornSimd level of its kernels
 * @out_count: the renderer's output count
 * @release_voices: %TRUE when the voices cannot move to the new master and
 *   are released instead
 */
typedef struct {
  VornQueue *queue;
  guint8 format;
  guint8 simd;
  guint16 out_count;
  gboolean release_voices;
} VornSynthMsgUpdateOptimization;

/**
 * VornSynthMsg:
 * @type: a #VornSynthMsgType, which names the payload member in use
 *
 * One plain fixed-size record for every message type, from the slice
 * allocator; the payload is the member of the union named after the type.
 */
typedef struct _VornSynthMsg {
  guint8 type;
  union {
    VornSynthMsgStartVoice start_voice;
    VornSynthMsgStartVoice start_voice_notify;
    VornSynthMsgStopVoice stop_voice;
    VornSynthMsgSetControl set_control;
    VornSynthMsgSetVoiceControl set_voice_control;
    VornSynthMsgSetNodeControl set_node_control;
    VornSynthMsgTapPause tap_pause;
    VornSynthMsgUpdateOptimization update_optimization;
  };
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
