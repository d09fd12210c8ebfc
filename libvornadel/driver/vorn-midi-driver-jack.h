/* vorn-midi-driver-jack.h: MIDI input as a JACK client */
#pragma once

#include "vorn-midi-driver.h"

G_BEGIN_DECLS

/**
 * VornMidiDriverJack:
 *
 * Receives MIDI from a JACK server through one input port, "midi_in".  The
 * JACK process thread only copies the raw events into a lock-free ring; they
 * are handed to the driver's input manager (vorn_input_manager_midi_event())
 * on the main context that was the thread default at start, which must be
 * iterated (a GMainLoop, the GTK main loop).  Events that do not fit the
 * ring, and single events over 1 KiB (long system exclusive messages), are
 * dropped with one warning per batch.  When the server goes away the driver
 * stops itself on that context.
 *
 * Properties: "client-name" (string, default "Zelmora MIDI") and
 * "server-name" (string, NULL for the default server), both read at start.
 */
#define VORN_TYPE_MIDI_DRIVER_JACK (vorn_midi_driver_jack_get_type ())
/* VORN_MIDI_DRIVER_JACK names the driver type value, so the instance macros are
 * VORN_JACK_MIDI_DRIVER () and VORN_IS_JACK_MIDI_DRIVER (). */
G_DECLARE_FINAL_TYPE (VornMidiDriverJack, vorn_midi_driver_jack, VORN, JACK_MIDI_DRIVER,
                      VornMidiDriver)

G_END_DECLS
