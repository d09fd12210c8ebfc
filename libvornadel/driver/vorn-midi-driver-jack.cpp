/* vorn-midi-driver-jack.cpp: MIDI input from a JACK MIDI port (not built in:
 * starting reports that JACK MIDI is unavailable) */
#include "vorn-midi-driver-jack.h"

#include "vorn-init.h"

struct _VornMidiDriverJack {
  VornMidiDriver parent_instance;
};

G_DEFINE_FINAL_TYPE (VornMidiDriverJack, vorn_midi_driver_jack, VORN_TYPE_MIDI_DRIVER)

static gboolean
vorn_midi_driver_jack_start (VornMidiDriver *, GError **err)
{
  g_set_error_literal (err, VORN_ERROR, VORN_ERROR_GENERAL,
                       "JACK MIDI is not available in this build");
  return FALSE;
}

static void
vorn_midi_driver_jack_class_init (VornMidiDriverJackClass *klass)
{
  VORN_MIDI_DRIVER_CLASS (klass)->start = vorn_midi_driver_jack_start;
}

static void
vorn_midi_driver_jack_init (VornMidiDriverJack *)
{
}
