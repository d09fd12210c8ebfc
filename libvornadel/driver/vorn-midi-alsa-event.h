/* vorn-midi-alsa-event.h: ALSA sequencer events as MIDI bytes (private to
 * the ALSA driver and its tests) */
#pragma once

#include <alsa/asoundlib.h>
#include <glib.h>

G_BEGIN_DECLS

/**
 * vorn_midi_alsa_event_to_bytes:
 * @ev: a sequencer event
 * @out: receives the MIDI channel message, status byte first
 *
 * Translates note on and off, key pressure, controller, program change,
 * channel pressure and pitch bend (the sequencer's signed -8192..8191 to
 * the 14-bit 0..16383).  Everything else, and values MIDI cannot carry
 * (channel above 15, a note, controller or value above 127, a bend out of
 * range), is not a channel message.
 *
 * Returns: the bytes written to @out (2 or 3), 0 when @ev is no channel
 *   message.
 */
gsize vorn_midi_alsa_event_to_bytes (const snd_seq_event_t *ev, guint8 out[3]);

G_END_DECLS
