/* vorn-midi-driver.h: base of MIDI input back-ends */
#pragma once

#include "vorn-input-manager.h"

G_BEGIN_DECLS

typedef enum {
  VORN_MIDI_DRIVER_AUTO = 0,
  VORN_MIDI_DRIVER_ALSA = 1,
} VornMidiDriverType;

/* The back-ends this build offers (for preference choosers): only "Auto". */
typedef enum {
  VORN_MIDI_DRIVER_AVAILABLE_AUTO = 0,
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

/* Returns: (transfer full) (nullable): a driver of @type for @synth; NULL, as
 * this build has no MIDI back-end. */
VornMidiDriver *vorn_midi_driver_new (VornMidiDriverType type, VornSynth *synth);

/* Returns: the GType implementing @type: G_TYPE_NONE for auto (no back-end),
 * G_TYPE_INVALID otherwise. */
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
