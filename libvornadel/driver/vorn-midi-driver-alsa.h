/* vorn-midi-driver-alsa.h: MIDI input through the ALSA sequencer */
#pragma once

#include "vorn-midi-driver.h"

G_BEGIN_DECLS

/* The instance macros are VORN_ALSA_MIDI_DRIVER () and VORN_IS_ALSA_MIDI_DRIVER ():
 * VORN_MIDI_DRIVER_ALSA is the #VornMidiDriverType value. */
#define VORN_TYPE_MIDI_DRIVER_ALSA (vorn_midi_driver_alsa_get_type ())
G_DECLARE_FINAL_TYPE (VornMidiDriverAlsa, vorn_midi_driver_alsa, VORN, ALSA_MIDI_DRIVER,
                      VornMidiDriver)

/**
 * VornMidiDriverAlsa:
 *
 * While running, an ALSA sequencer client "Zelmora" with one writable,
 * subscribable port "Input": every channel message that reaches the port
 * goes to the driver's input manager (vorn_input_manager_midi_event()).
 * A thread of its own waits for the events.  Property "auto-connect"
 * (default FALSE): at start, subscribe the port to every hardware MIDI
 * output port of the system.
 */

/**
 * vorn_midi_driver_alsa_get_address:
 * @driver: a MIDI driver
 * @client: (out) (optional): the sequencer client number
 * @port: (out) (optional): the input port number
 *
 * Where other sequencer clients send to while the driver runs.
 *
 * Returns: TRUE while running (outputs set), FALSE otherwise (outputs
 *   untouched).
 */
gboolean vorn_midi_driver_alsa_get_address (VornMidiDriverAlsa *driver, int *client, int *port);

G_END_DECLS
