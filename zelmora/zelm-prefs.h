/* zelm-prefs.h: the preferences window: driver and synthesizer settings */
#pragma once

#include "zelm-app.h"

G_BEGIN_DECLS

#define ZELM_TYPE_PREFS (zelm_prefs_get_type ())
G_DECLARE_FINAL_TYPE (ZelmPrefs, zelm_prefs, ZELM, PREFS, GtkWindow)

/**
 * zelm_prefs_new:
 * @app: the application whose settings it shows (a reference is held)
 *
 * Creates the preferences window, its controls bound to the properties of
 * @app and its synthesizer.  Closing it saves the configuration file.
 *
 * Returns: (transfer full): the window, not yet shown (a toplevel: GTK
 *   holds it until it is destroyed).
 */
GtkWidget *zelm_prefs_new (ZelmApp *app);

G_END_DECLS
