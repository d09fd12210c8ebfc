/* zelm-app-gui.h: the application with its main window */
#pragma once

#include "zelm-app.h"

G_BEGIN_DECLS

#define ZELM_TYPE_APP_GUI (zelm_app_gui_get_type ())
G_DECLARE_FINAL_TYPE (ZelmAppGui, zelm_app_gui, ZELM, APP_GUI, ZelmApp)

/* One key of the computer keyboard's manuals. */
typedef struct {
  guint32 keyval;  /* GDK key value */
  guint16 keycode; /* hardware key code recorded at the press */
  guint8 pressed;
  guint8 note;     /* note the press played, released by the key's release */
} ZelmKeyBinding;

/* Returns: (transfer full): the application object the program runs. */
ZelmAppGui *zelm_app_gui_new (void);

/* Returns: (transfer none) (nullable): the main window, once activated. */
GtkWindow *zelm_app_gui_get_window (ZelmAppGui *gui);

/* Returns: (transfer none) (nullable): an object of the main window's
 * interface definition by id, once activated. */
GObject *zelm_app_gui_get_object (ZelmAppGui *gui, const char *id);

/* Returns: (transfer none) (nullable): the piano, the level meter and the
 * splash window (NULL when none is shown). */
GtkWidget *zelm_app_gui_get_piano (ZelmAppGui *gui);
GtkWidget *zelm_app_gui_get_level_meter (ZelmAppGui *gui);
GtkWidget *zelm_app_gui_get_splash (ZelmAppGui *gui);
/* Returns: (transfer none) (nullable): the property editor showing the
 * selected row and the node controls of the selected instrument. */
GtkWidget *zelm_app_gui_get_prop_editor (ZelmAppGui *gui);
GtkWidget *zelm_app_gui_get_node_ctrl (ZelmAppGui *gui);

/* Returns: (transfer none) (nullable): the oscilloscope of the Scope page. */
GtkWidget *zelm_app_gui_get_tap_recorder (ZelmAppGui *gui);
/* Returns: (transfer none) (nullable): the wave editor of the "Curve" page. */
GtkWidget *zelm_app_gui_get_wave_editor (ZelmAppGui *gui);

/* Returns: (transfer none) (nullable): the current file, instrument and node
 * of the tree's selection. */
VornFile *zelm_app_gui_get_current_file (ZelmAppGui *gui);
VornInst *zelm_app_gui_get_current_inst (ZelmAppGui *gui);
VornNode *zelm_app_gui_get_current_node (ZelmAppGui *gui);


G_END_DECLS
