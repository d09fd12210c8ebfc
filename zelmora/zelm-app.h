/* zelm-app.h: the application object: files, synthesizer, drivers, configuration */
#pragma once

#include <gtk/gtk.h>

#include "vornadel.h"

G_BEGIN_DECLS

#define ZELM_VERSION "0.9.0"
#define ZELM_SOFTWARE "Zelmora " ZELM_VERSION

#define ZELM_TYPE_APP (zelm_app_get_type ())
G_DECLARE_DERIVABLE_TYPE (ZelmApp, zelm_app, ZELM, APP, GtkApplication)

struct _ZelmAppClass {
  GtkApplicationClass parent_class;
};

/* Returns: (transfer full): a new application object. */
ZelmApp *zelm_app_new (void);

/* Returns: (transfer none): the list of open VornFile objects, not copied. */
GList *zelm_app_get_files_no_copy (ZelmApp *app);

/* Appends @file (the list takes a reference) and notifies "files". */
void zelm_app_add_file (ZelmApp *app, VornFile *file);

/* Removes @file from the list and notifies "files". */
void zelm_app_remove_file (ZelmApp *app, VornFile *file);

/* Returns: (transfer full) (nullable): the synthesizer, NULL before activate. */
VornSynth *zelm_app_get_synth (ZelmApp *app);

/* Returns: (transfer none) (nullable): the running audio driver, if any. */
VornAudioDriver *zelm_app_get_audio_driver (ZelmApp *app);

/* Returns: (transfer none) (nullable): why the audio output did not start
 * (the driver's message), NULL when it runs or is disabled. */
const char *zelm_app_get_audio_error (ZelmApp *app);

/* Returns: (transfer none) (nullable): the running MIDI driver, if any. */
VornMidiDriver *zelm_app_get_midi_driver (ZelmApp *app);

/* Returns: (transfer none) (nullable): why the chosen MIDI input did not
 * start (the driver's message), NULL when it runs or none was chosen. */
const char *zelm_app_get_midi_error (ZelmApp *app);

/* Returns: (transfer full) (nullable): the messages of the files that did
 * not open since the last call (each names its file and the reason), NULL
 * when there are none. */
char **zelm_app_take_open_errors (ZelmApp *app);

/* Stops and releases the drivers, restarts the synthesizer with its current
 * settings and builds the drivers again. */
void zelm_app_restart_synth (ZelmApp *app);

/* Reads <user config dir>/zelmora/config.json into the configuration
 * properties.  Returns: TRUE on success, FALSE with @err set. */
gboolean zelm_app_load_config (ZelmApp *app, GError **err);

/* Writes the configuration of the application, synthesizer and audio
 * driver.  The previous file stays intact when writing fails.
 * Returns: TRUE on success, FALSE with @err set. */
gboolean zelm_app_save_config (ZelmApp *app, GError **err);

/* Returns: (transfer full): the path of @relative_path in the resource
 * directory, share/zelmora under the installation prefix (the parent of the
 * executable's directory).  ZELMORA_RESOURCE_DIR overrides the directory. */
char *zelm_app_get_resource_path (ZelmApp *app, const char *relative_path);

/* Returns: (transfer full): the path of the configuration file. */
char *zelm_app_get_config_path (void);


G_END_DECLS
