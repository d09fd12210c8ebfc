/* vorn-midi-driver.h: base of MIDI input back-ends */
#pragma once

#include "vorn-input-manager.h"

G_BEGIN_DECLS

typedef enum {
  VORN_MIDI_DRIVER_AUTO = 0,
  VORN_MIDI_DRIVER_ALSA = 1,
  VORN_MIDI_DRIVER_JACK = 2,
} VornMidiDriverType;

/* The back-ends offered to the user (preference choosers, the command
 * line); the nicks are display names.  Values match #VornMidiDriverType. */
typedef enum {
  VORN_MIDI_DRIVER_AVAILABLE_AUTO = 0,
  VORN_MIDI_DRIVER_AVAILABLE_ALSA = 1,
  VORN_MIDI_DRIVER_AVAILABLE_JACK = 2,
} VornMidiDriverAvailable;

#define VORN_TYPE_MIDI_DRIVER_TYPE (vorn_midi_driver_type_get_type ())
#define VORN_TYPE_MIDI_DRIVER_AVAILABLE (vorn_midi_driver_available_get_type ())
GType vorn_midi_driver_type_get_type (void);
GType vorn_midi_driver_available_get_type (void);

#define VORN_TYPE_MIDI_DRIVER (vorn_midi_driver_get_type ())
G_DECLARE_DERIVABLE_TYPE (VornMidiDriver, vorn_midi_driver, VORN, MIDI_DRIVER, GObject)

struct _VornMidiDriverClass {
  GObjectClass parent_class;

  gboolean (*start) (VornMidiDriver *driver, GError **err);
  void (*stop) (VornMidiDriver *driver);
};

/**
 * vorn_midi_driver_new:
 * @type: the back-end
 * @synth: the synthesizer to play
 *
 * Makes a driver, not yet started.  Auto picks the ALSA sequencer when
 * the system has one (/dev/snd/seq) and no driver otherwise.
 *
 * Returns: (transfer full) (nullable): a driver of @type for @synth, NULL
 *   for auto without a sequencer or an unknown type.
 */
VornMidiDriver *vorn_midi_driver_new (VornMidiDriverType type, VornSynth *synth);

/* Returns: the GType implementing @type: G_TYPE_NONE for auto (decided when
 * the driver is made), the driver class for alsa and jack, G_TYPE_INVALID
 * for anything else. */
GType vorn_midi_driver_get_type_from_enum (VornMidiDriverType type);

/* Starts the driver, stopping it first when running.  Returns: TRUE on success. */
gboolean vorn_midi_driver_start (VornMidiDriver *driver, GError **err);

/* Stops a running driver. */
void vorn_midi_driver_stop (VornMidiDriver *driver);

/* Returns: TRUE while the driver runs. */
gboolean vorn_midi_driver_is_running (VornMidiDriver *driver);

/**
 * vorn_midi_driver_get_input_manager:
 * @driver: a MIDI driver
 *
 * Returns: (transfer full): the driver's input manager.
 */
VornInputManager *vorn_midi_driver_get_input_manager (VornMidiDriver *driver);

G_END_DECLS
