/* zelm-app-gui.h: the application with its main window */
#pragma once

#include "zelm-app.h"
#include "zelm-keyboard.h"

G_BEGIN_DECLS

#define ZELM_TYPE_APP_GUI (zelm_app_gui_get_type ())
G_DECLARE_FINAL_TYPE (ZelmAppGui, zelm_app_gui, ZELM, APP_GUI, ZelmApp)

/* Returns: (transfer full): the application object the program runs. */
ZelmAppGui *zelm_app_gui_new (void);

/* Returns: (transfer none): the computer keyboard whose settings are the
 * application's keyboard properties (lower-note, upper-keys, ...). */
ZelmKeyboard *zelm_app_gui_get_keyboard (ZelmAppGui *gui);

G_END_DECLS
