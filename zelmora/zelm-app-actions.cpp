/* zelm-app-actions.cpp: the "app." actions (quit, about, preferences,
 * splash) and the keyboard shortcuts of all actions */
#include "zelm-app-gui-private.h"

#include "zelm-prefs.h"

static gboolean
quit_idle (gpointer data)
{
  auto *self = ZELM_APP_GUI (data);
  zelm_app_gui_destroy_windows (self);
  g_application_quit (G_APPLICATION (self));
  return G_SOURCE_REMOVE;
}

void
zelm_app_gui_quit_now (ZelmAppGui *self)
{
  g_idle_add_full (G_PRIORITY_HIGH, quit_idle, g_object_ref (self), g_object_unref);
}

static void
quit_done (gboolean go, gpointer data)
{
  if (go)
    zelm_app_gui_quit_now (ZELM_APP_GUI (data));
}

/* Files with unsaved changes are asked about first. */
static void
action_quit (GSimpleAction *, GVariant *, gpointer data)
{
  auto *self = ZELM_APP_GUI (data);
  if (self->window)
    zelm_window_close_files (self->window, zelm_app_get_files_no_copy (ZELM_APP (self)),
                             quit_done, self);
  else
    zelm_app_gui_quit_now (self);
}

static void
action_about (GSimpleAction *, GVariant *, gpointer data)
{
  auto *self = ZELM_APP_GUI (data);
  g_autoptr (GtkBuilder) builder =
      gtk_builder_new_from_resource ("/org/zelmora/Zelmora/ui/zelm-about-dialog.ui");
  GtkWidget *dialog = GTK_WIDGET (gtk_builder_get_object (builder, "AboutDialog"));
  g_autofree char *header = zelm_app_get_resource_path (ZELM_APP (self), "ui/zelmora-header.png");
  gtk_image_set_from_file (GTK_IMAGE (gtk_builder_get_object (builder, "HeaderImage")), header);
  gtk_label_set_markup (GTK_LABEL (gtk_builder_get_object (builder, "LabelAbout")),
                        "<span size=\"x-large\" weight=\"bold\">Zelmora</span>\n"
                        "Version " ZELM_VERSION);
  g_signal_connect_swapped (gtk_builder_get_object (builder, "BtnClose"), "clicked",
                            G_CALLBACK (gtk_widget_destroy), dialog);
  gtk_window_set_transient_for (GTK_WINDOW (dialog), GTK_WINDOW (self->window));
  gtk_window_set_application (GTK_WINDOW (dialog), GTK_APPLICATION (self));
  gtk_widget_show_all (dialog);
}

static void
action_preferences (GSimpleAction *, GVariant *, gpointer data)
{
  auto *self = ZELM_APP_GUI (data);
  /* One preferences window: asking again brings it forward. */
  if (!self->prefs)
    {
      self->prefs = zelm_prefs_new (ZELM_APP (self));
      g_object_add_weak_pointer (G_OBJECT (self->prefs), reinterpret_cast<gpointer *> (&self->prefs));
      gtk_window_set_transient_for (GTK_WINDOW (self->prefs), GTK_WINDOW (self->window));
      gtk_window_set_application (GTK_WINDOW (self->prefs), GTK_APPLICATION (self));
    }
  gtk_window_present (GTK_WINDOW (self->prefs));
}

static void
action_splash (GSimpleAction *, GVariant *, gpointer data)
{
  auto *self = ZELM_APP_GUI (data);
  if (self->window)
    zelm_window_toggle_splash (self->window, FALSE);
}

static const GActionEntry app_entries[] = {
  { "quit", action_quit, nullptr, nullptr, nullptr, { 0 } },
  { "about", action_about, nullptr, nullptr, nullptr, { 0 } },
  { "preferences", action_preferences, nullptr, nullptr, nullptr, { 0 } },
  { "splash", action_splash, nullptr, nullptr, nullptr, { 0 } },
};

static const struct {
  const char *action;
  const char *accels[2];
} shortcuts[] = {
  { "app.quit", { "<Control>q", nullptr } },
  { "app.preferences", { "<Control>comma", nullptr } },
  { "win.new", { "<Control>n", nullptr } },
  { "win.open", { "<Control>o", nullptr } },
  { "win.save", { "<Control>s", nullptr } },
  { "win.save-as", { "<Control><Shift>s", nullptr } },
  { "win.undo", { "<Control>z", nullptr } },
  { "win.redo", { "<Control><Shift>z", nullptr } },
  { "win.gen-outputs", { "<Control>g", nullptr } },
  { "win.show-help-overlay", { "<Control>question", nullptr } },
};

void
zelm_app_gui_actions_init (ZelmAppGui *self)
{
  g_action_map_add_action_entries (G_ACTION_MAP (self), app_entries, G_N_ELEMENTS (app_entries),
                                   self);
  for (const auto &s : shortcuts)
    gtk_application_set_accels_for_action (GTK_APPLICATION (self), s.action, s.accels);
}
