/* vorn-audio-driver-port.h: audio output through PortAudio's default device */
#pragma once

#include "vorn-audio-driver.h"

G_BEGIN_DECLS

#define VORN_TYPE_AUDIO_DRIVER_PORT (vorn_audio_driver_port_get_type ())
G_DECLARE_FINAL_TYPE (VornAudioDriverPort, vorn_audio_driver_port, VORN, AUDIO_DRIVER_PORT,
                      VornAudioDriver)

G_END_DECLS
