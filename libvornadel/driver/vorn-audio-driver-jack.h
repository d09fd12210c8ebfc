/* vorn-audio-driver-jack.h: audio output as a JACK client */
#pragma once

#include "vorn-audio-driver.h"

G_BEGIN_DECLS

/**
 * VornAudioDriverJack:
 *
 * Plays the synthesizer through a JACK server: one output port per speaker
 * ("out_1", "out_2", ...), connected to the server's playback ports unless
 * "auto-connect" is FALSE.  The synthesizer follows the server: when their
 * sample rates differ, start sets the synthesizer's "sample-rate" and, if it
 * was started, restarts it (the channels keep their instruments).  When the
 * server goes away the driver stops itself from the main context that was
 * the thread default at start; vorn_audio_driver_stop() and finalization stay
 * safe either way.
 *
 * Properties: "client-name" (string, default "Zelmora"), "server-name"
 * (string, NULL for the default server, which libjack takes from
 * JACK_DEFAULT_SERVER), "auto-connect" (boolean, default TRUE), all read at
 * start, and the read-only "buffer-size" (frames per JACK period, 0 while
 * stopped; not notified).
 */
#define VORN_TYPE_AUDIO_DRIVER_JACK (vorn_audio_driver_jack_get_type ())
/* VORN_AUDIO_DRIVER_JACK names the driver type value, so the instance macros are
 * VORN_JACK_AUDIO_DRIVER () and VORN_IS_JACK_AUDIO_DRIVER (). */
G_DECLARE_FINAL_TYPE (VornAudioDriverJack, vorn_audio_driver_jack, VORN, JACK_AUDIO_DRIVER,
                      VornAudioDriver)

/**
 * vorn_audio_driver_jack_server_running:
 * @server_name: (nullable): a server name, NULL for the default server
 *
 * Asks whether a JACK server runs by opening and closing a client that may
 * not start one.  libjack's messages are kept quiet meanwhile.
 *
 * Returns: TRUE when a client could connect.
 */
gboolean vorn_audio_driver_jack_server_running (const char *server_name);

G_END_DECLS
