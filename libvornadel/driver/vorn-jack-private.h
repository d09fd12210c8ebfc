/* vorn-jack-private.h: what the JACK audio and MIDI drivers share; not
 * installed */
#pragma once

#include <glib-object.h>
#include <glib-unix.h>
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

/**
 * VornJackClient:
 * @client_name: the client name asked for (NULL or "": the driver's default)
 * @server_name: the server (NULL or "": the default server)
 * @client: the open client while started
 * @wake_fd: written by JACK threads (the shutdown callback, and whatever
 *   the driver's process callback wants to hand over), read by @source
 * @source: watches @wake_fd on the main context the driver started in
 * @server_gone: set (atomically) by the shutdown callback
 *
 * What a JACK driver holds while it runs, and the two name properties it
 * shares with the other JACK driver; embedded in the driver's instance.
 */
typedef struct {
  char *client_name;
  char *server_name;
  jack_client_t *client;
  int wake_fd;
  GSource *source;
  gint server_gone;
} VornJackClient;

/* Sets the defaults: @client_name copied, no server, nothing open. */
void vorn_jack_client_init (VornJackClient *jc, const char *client_name);

/* Frees the names (the driver stopped already). */
void vorn_jack_client_clear (VornJackClient *jc);

/* Opens the client (@fallback: the name when none is set) and its wake-up
 * source, which calls @dispatch (a GUnixFDSourceFunc on @wake_fd, with
 * @data) at @priority.  Every thread libjack makes flushes denormals to
 * zero; the shutdown callback sets @server_gone and wakes the source.
 * FALSE with @err set (the client then stopped again). */
gboolean vorn_jack_client_open_watched (VornJackClient *jc, const char *fallback,
                                        GUnixFDSourceFunc dispatch, gpointer data, int priority,
                                        const char *source_name, GError **err);

/* Registers a terminal port; NULL with @err set ("Error registering JACK
 * port @name"). */
jack_port_t *vorn_jack_port_register (VornJackClient *jc, const char *name, const char *type,
                                      unsigned long flags, GError **err);

/* Sets @process and activates the client.  FALSE with @err set. */
gboolean vorn_jack_client_activate (VornJackClient *jc, JackProcessCallback process, void *data,
                                    GError **err);

/* Closes the client (no process call runs after this returns, also when
 * the server is gone), the source and the wake-up fd.  Safe to repeat. */
void vorn_jack_client_close (VornJackClient *jc);

/* The client-name (defaulting to @default_client) and server-name
 * properties, as both drivers have them. */
GParamSpec *vorn_jack_client_name_pspec (const char *default_client);
GParamSpec *vorn_jack_server_name_pspec (void);

/* Sets a name property's field from @value; notifies only on a change.
 * Takes effect at the next start. */
void vorn_jack_set_name (GObject *object, char **field, const GValue *value, GParamSpec *pspec);

G_END_DECLS
