/* vorn-input-manager.h: MIDI control changes to synthesizer controls */
#pragma once

#include "vorn-synth.h"

G_BEGIN_DECLS

#define VORN_TYPE_INPUT_MANAGER (vorn_input_manager_get_type ())
G_DECLARE_FINAL_TYPE (VornInputManager, vorn_input_manager, VORN, INPUT_MANAGER, GObject)

/* Returns: (transfer full): an input manager posting to @synth. */
VornInputManager *vorn_input_manager_new (VornSynth *synth);

/**
 * vorn_input_manager_midi_cc:
 * @manager: the input manager
 * @chan: MIDI channel, the synthesizer channel whose instrument is addressed
 * @cc: controller number
 * @value: controller value 0..127
 *
 * Controllers 70 to 77 are relative encoders: each adds a step to queue
 * control id cc - 70 of every voice of the channel's instrument (ids 0 to 2
 * are the voice's Pitch, Volume and Balance, 3 on the instrument's own
 * control waves).  Values below 64 step up by value/64, values from 64 step
 * down by (128 - value)/64.  Controller 78 sets the step scale (0.001 at 0
 * to 10 at 127).  Other controllers are ignored.
 */
void vorn_input_manager_midi_cc (VornInputManager *manager, guint8 chan, guint8 cc, guint8 value);

/**
 * vorn_input_manager_midi_event:
 * @manager: the input manager
 * @msg: (array length=len): one raw MIDI message, status byte first
 * @len: bytes in @msg
 *
 * Plays a MIDI message on the synthesizer: the message's channel is the
 * synthesizer channel.  Note-on and note-off are played under the manager's
 * own input device id.
 *
 * Returns: TRUE when the message was understood and acted on.
 */
gboolean vorn_input_manager_midi_event (VornInputManager *manager, const guint8 *msg, gsize len);

/* Returns: the step scale last set by controller 78 (0.01 initially). */
double vorn_input_manager_get_step_scale (VornInputManager *manager);

G_END_DECLS
