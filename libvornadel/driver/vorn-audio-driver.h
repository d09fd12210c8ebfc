/* vorn-audio-driver.h: base of audio output back-ends */
#pragma once

#include "vorn-synth.h"

G_BEGIN_DECLS

typedef enum {
  VORN_AUDIO_DRIVER_AUTO = 0,
  VORN_AUDIO_DRIVER_PULSEAUDIO = 1,
  VORN_AUDIO_DRIVER_PORTAUDIO = 2,
  VORN_AUDIO_DRIVER_JACK = 3,
  VORN_AUDIO_DRIVER_UDP = 4,
} VornAudioDriverType;

/* The back-ends this build offers (for preference choosers); the values are
 * those of #VornAudioDriverType, the nicks are display names. */
typedef enum {
  VORN_AUDIO_DRIVER_AVAILABLE_AUTO = VORN_AUDIO_DRIVER_AUTO,
  VORN_AUDIO_DRIVER_AVAILABLE_PORTAUDIO = VORN_AUDIO_DRIVER_PORTAUDIO,
  VORN_AUDIO_DRIVER_AVAILABLE_JACK = VORN_AUDIO_DRIVER_JACK,
} VornAudioDriverAvailable;

#define VORN_TYPE_AUDIO_DRIVER_TYPE (vorn_audio_driver_type_get_type ())
#define VORN_TYPE_AUDIO_DRIVER_AVAILABLE (vorn_audio_driver_available_get_type ())
GType vorn_audio_driver_type_get_type (void);
GType vorn_audio_driver_available_get_type (void);

#define VORN_TYPE_AUDIO_DRIVER (vorn_audio_driver_get_type ())
G_DECLARE_DERIVABLE_TYPE (VornAudioDriver, vorn_audio_driver, VORN, AUDIO_DRIVER, GObject)

/**
 * VornAudioDriverClass:
 * @start: opens and starts the output; the driver's sample rate and speaker
 *   count have been copied from the synthesizer just before
 * @stop: closes the output; no render call happens after it returns
 */
struct _VornAudioDriverClass {
  GObjectClass parent_class;

  gboolean (*start) (VornAudioDriver *driver, GError **err);
  void (*stop) (VornAudioDriver *driver);
};

/* Returns: (transfer full) (nullable): a driver of @type playing @synth:
 * portaudio a PortAudio driver, jack a JACK driver, auto a JACK driver when a
 * JACK server is running (probed quietly, without starting one) and a
 * PortAudio driver otherwise; NULL for types this build lacks. */
VornAudioDriver *vorn_audio_driver_new (VornAudioDriverType type, VornSynth *synth);

/* Returns: the GType implementing @type: G_TYPE_NONE for auto, the PortAudio
 * driver's type for portaudio, the JACK driver's for jack, G_TYPE_INVALID
 * otherwise. */
GType vorn_audio_driver_get_type_from_enum (VornAudioDriverType type);

/* Starts the output, stopping it first when running.  Sample rate and speaker
 * count are taken from the synthesizer.  Returns: TRUE on success; FALSE with
 * @err set (VORN_ERROR_GENERAL) when the device cannot be opened or started. */
gboolean vorn_audio_driver_start (VornAudioDriver *driver, GError **err);

/* Stops a running output. */
void vorn_audio_driver_stop (VornAudioDriver *driver);

/* Returns: TRUE while the driver runs. */
gboolean vorn_audio_driver_is_running (VornAudioDriver *driver);

/**
 * vorn_audio_driver_get_synth:
 * @driver: an audio driver
 *
 * Returns: (transfer none): the synthesizer the driver plays.
 */
VornSynth *vorn_audio_driver_get_synth (VornAudioDriver *driver);

/* Returns: the address of the synthesizer's interleaved render-function slot
 * (a #VornSynthCpuInterFunc for the CPU renderer), NULL if it has none.  The
 * slot is read on every render call, so the synthesizer may switch functions.
 * Kept for old callers; drivers call vorn_synth_render_interleaved(). */
gpointer vorn_audio_driver_get_inter_slot (VornAudioDriver *driver);

G_END_DECLS
