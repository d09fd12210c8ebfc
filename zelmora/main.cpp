/* main.cpp: the entry point of zelmora */
#include "zelm-app-gui.h"

int
main (int argc, char **argv)
{
  /* Denormals would slow the main thread's curve and control work. */
  vorn_util_set_ftz_daz ();
  vorn_init (ZELM_SOFTWARE);
  g_autoptr (ZelmAppGui) app = zelm_app_gui_new ();
  return g_application_run (G_APPLICATION (app), argc, argv);
}
