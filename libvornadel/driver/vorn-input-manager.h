/* vorn-input-manager.h: MIDI channel messages to synthesizer notes and controls */
#pragma once

#include "vorn-synth.h"

G_BEGIN_DECLS

#define VORN_TYPE_INPUT_MANAGER (vorn_input_manager_get_type ())
G_DECLARE_FINAL_TYPE (VornInputManager, vorn_input_manager, VORN, INPUT_MANAGER, GObject)

/* Largest "bend-range" in semitones. */
#define VORN_INPUT_MANAGER_MAX_BEND_RANGE 48.0

/**
 * vorn_input_manager_new:
 * @synth: the synthesizer to play
 *
 * Makes an input manager for @synth.  Notes and the controls that depend on
 * the instrument tree are applied in the thread-default main context of the
 * calling thread (the one that edits the instruments); see
 * vorn_input_manager_midi_event().  The manager takes one device id of
 * @synth for the notes it plays.
 *
 * Properties: "synth" (construct-only) and "bend-range" (semitones of a
 * full pitch-bend deflection, 0 to 48, default 2).
 *
 * Returns: (transfer full): the input manager.
 */
VornInputManager *vorn_input_manager_new (VornSynth *synth);

/**
 * vorn_input_manager_midi_event:
 * @manager: the input manager
 * @msg: (array length=len): one MIDI channel message, status byte first
 * @len: bytes in @msg
 *
 * Handles one complete MIDI channel message (no running status, no SysEx).
 * MIDI channel n plays synthesizer channel n; channels at or beyond the
 * synthesizer's "channel-count" are ignored.  Understood messages:
 *
 * - note on / note off, velocity 0 being a note off;
 * - controller 1 (modulation wheel): value / 127 to every morph control wave
 *   of the channel's instrument, in the voices sounding and in those started
 *   later;
 * - controller 64 (sustain pedal): from 64 down, note-offs wait for the
 *   pedal's release; striking a held key again restarts its note;
 * - controllers 70 to 78: as vorn_input_manager_midi_cc();
 * - controller 120 (all sound off): silences the channel's voices at once;
 * - controller 123 (all notes off): releases the channel's notes, the
 *   sustained ones too;
 * - program change: the channel plays the instrument of that index (counted
 *   from 0) in the file of its current instrument; an index beyond the
 *   file's instruments changes nothing;
 * - pitch bend: +-"bend-range" semitones at full deflection, for every voice
 *   of the channel, those started while bent included.
 *
 * May be called from any thread and never waits for the main context: the
 * message is checked here and applied later, in order, by the main context
 * the manager was made in.
 *
 * Returns: TRUE when the message was understood (even if it has no effect),
 *   FALSE for malformed or unsupported input (other controllers, aftertouch,
 *   system messages, a wrong length, a data byte above 127).
 */
gboolean vorn_input_manager_midi_event (VornInputManager *manager, const guint8 *msg, gsize len);

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
 * to 10 at 127).  Other controllers are ignored.  Applied at once, on the
 * calling thread; it only posts messages.
 */
void vorn_input_manager_midi_cc (VornInputManager *manager, guint8 chan, guint8 cc, guint8 value);

/* Returns: the step scale last set by controller 78 (0.01 initially). */
double vorn_input_manager_get_step_scale (VornInputManager *manager);

G_END_DECLS
