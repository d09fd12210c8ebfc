/* vorn-midi-driver-jack.h: MIDI input from a JACK MIDI port */
#pragma once

#include "vorn-midi-driver.h"

G_BEGIN_DECLS

/* The instance macros are VORN_JACK_MIDI_DRIVER () and VORN_IS_JACK_MIDI_DRIVER ():
 * VORN_MIDI_DRIVER_JACK is the #VornMidiDriverType value. */
#define VORN_TYPE_MIDI_DRIVER_JACK (vorn_midi_driver_jack_get_type ())
G_DECLARE_FINAL_TYPE (VornMidiDriverJack, vorn_midi_driver_jack, VORN, JACK_MIDI_DRIVER,
                      VornMidiDriver)

G_END_DECLS
