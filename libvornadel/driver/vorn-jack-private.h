/* vorn-jack-private.h: what the JACK audio and MIDI drivers share */
#pragma once

#include <glib.h>
#include <jack/jack.h>

G_BEGIN_DECLS

/* Opens a client named @client_name (NULL: @fallback) on @server_name (NULL:
 * the default server) without starting a server.  libjack's own messages go
 * to the GLib log at debug level, so a missing server prints nothing unless
 * asked.  Returns: (transfer full) (nullable): the client, or NULL with @err
 * set (VORN_ERROR_GENERAL, "Error opening JACK client: ..."). */
jack_client_t *vorn_jack_client_open (const char *client_name, const char *fallback,
                                      const char *server_name, GError **err);

/* Returns: an eventfd (non-blocking, close-on-exec) for waking a main
 * context from a JACK thread, or -1 with @err set. */
int vorn_jack_wake_fd_new (GError **err);

/* Async-signal-safe wake-up of @fd (a failed or saturated write still
 * leaves it readable). */
void vorn_jack_wake (int fd);

/* Empties @fd after a wake-up. */
void vorn_jack_wake_clear (int fd);

G_END_DECLS
