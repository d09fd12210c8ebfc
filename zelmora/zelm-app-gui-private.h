/* zelm-app-gui-private.h: the application's state, shared by its class and
 * its actions */
#pragma once

#include "zelm-app-gui.h"
#include "zelm-window.h"

G_BEGIN_DECLS

struct _ZelmAppGui {
  ZelmApp parent_instance;

  ZelmKeyboard *keyboard;
  char *gtk_theme;
  char *icon_theme;
  int stat_divider;

  ZelmWindow *window; /* NULL before activation and after quitting */
  GtkWidget *prefs;   /* weak */
};

/* zelm-app-actions.cpp: installs the "app." actions and the accelerators
 * of every action. */
void zelm_app_gui_actions_init (ZelmAppGui *self);

/* Takes the windows down and quits, from an idle callback: not inside the
 * handler that asked, whose menu item or dialog goes with them. */
void zelm_app_gui_quit_now (ZelmAppGui *self);

/* zelm-app-gui.cpp: destroys the main window and those that belong to it. */
void zelm_app_gui_destroy_windows (ZelmAppGui *self);

G_END_DECLS
