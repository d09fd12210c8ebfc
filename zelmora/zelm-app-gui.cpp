/* zelm-app-gui.cpp: the application with its main window: the settings of
 * the window's side (keyboard, themes), styling and the window's life */
#include "zelm-app-gui-private.h"

#include <cstring>

enum {
  PROP_0,
  PROP_LOWER_NOTE,
  PROP_UPPER_NOTE,
  PROP_LOWER_KEYS,
  PROP_UPPER_KEYS,
  PROP_GTK_THEME,
  PROP_ICON_THEME,
  PROP_STAT_DIVIDER,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];
static JsonSerializableIface *parent_serializable;

static void zelm_app_gui_serializable_init (JsonSerializableIface *iface);

G_DEFINE_FINAL_TYPE_WITH_CODE (ZelmAppGui, zelm_app_gui, ZELM_TYPE_APP,
                               G_IMPLEMENT_INTERFACE (JSON_TYPE_SERIALIZABLE,
                                                      zelm_app_gui_serializable_init))

/* --- JsonSerializable: key arrays as GDK key names --------------------------- */

static JsonNode *
serializable_serialize_property (JsonSerializable *serializable, const char *name,
                                 const GValue *value, GParamSpec *pspec)
{
  if (!zelm_keyboard_is_keys_property (name))
    return parent_serializable->serialize_property (serializable, name, value, pspec);
  return zelm_keyboard_keys_to_json (value);
}

static gboolean
serializable_deserialize_property (JsonSerializable *serializable, const char *name,
                                   GValue *value, GParamSpec *pspec, JsonNode *node)
{
  if (!zelm_keyboard_is_keys_property (name))
    return parent_serializable->deserialize_property (serializable, name, value, pspec, node);
  zelm_keyboard_keys_from_json (node, value);
  return TRUE;
}

static void
zelm_app_gui_serializable_init (JsonSerializableIface *iface)
{
  parent_serializable = static_cast<JsonSerializableIface *> (g_type_interface_peek_parent (iface));
  iface->list_properties = parent_serializable->list_properties;
  iface->find_property = parent_serializable->find_property;
  iface->get_property = parent_serializable->get_property;
  iface->set_property = parent_serializable->set_property;
  iface->serialize_property = serializable_serialize_property;
  iface->deserialize_property = serializable_deserialize_property;
}

/* --- the window -------------------------------------------------------------- */

static void
apply_styling (ZelmAppGui *self)
{
  GdkScreen *screen = gdk_screen_get_default ();
  if (self->gtk_theme && *self->gtk_theme)
    {
      g_autoptr (GtkCssProvider) unset = gtk_css_provider_new ();
      gtk_css_provider_load_from_data (unset, "* { all: unset; }", -1, nullptr);
      gtk_style_context_add_provider_for_screen (screen, GTK_STYLE_PROVIDER (unset), 599);

      g_autofree char *rel = g_strdup_printf ("themes/%s-Zelmora/gtk-3.0/gtk.css", self->gtk_theme);
      g_autofree char *css = zelm_app_get_resource_path (ZELM_APP (self), rel);
      g_autoptr (GtkCssProvider) theme = gtk_css_provider_new ();
      g_autoptr (GError) err = nullptr;
      /* Read here rather than by path: GTK keeps the error of a file it
       * cannot open, and a missing theme is worth its own words. */
      g_autofree char *text = nullptr;
      if (!g_file_get_contents (css, &text, nullptr, &err)
          || !gtk_css_provider_load_from_data (theme, text, -1, &err))
        g_warning ("Failed to load theme '%s': %s", css, err->message);
      gtk_style_context_add_provider_for_screen (screen, GTK_STYLE_PROVIDER (theme), 600);
    }

  g_autofree char *icons = zelm_app_get_resource_path (ZELM_APP (self), "themes/icons");
  gtk_icon_theme_prepend_search_path (gtk_icon_theme_get_default (), icons);
  if (self->icon_theme && *self->icon_theme)
    {
      g_autofree char *name = g_strconcat (self->icon_theme, "-Zelmora", nullptr);
      g_object_set (gtk_settings_get_for_screen (screen), "gtk-icon-theme-name", name, nullptr);
    }
}

static void
zelm_app_gui_startup (GApplication *gapp)
{
  G_APPLICATION_CLASS (zelm_app_gui_parent_class)->startup (gapp);
  zelm_app_gui_actions_init (ZELM_APP_GUI (gapp));
}

static void
zelm_app_gui_activate (GApplication *gapp)
{
  ZelmAppGui *self = ZELM_APP_GUI (gapp);
  if (self->window)
    {
      gtk_window_present (GTK_WINDOW (self->window));
      return;
    }

  G_APPLICATION_CLASS (zelm_app_gui_parent_class)->activate (gapp);
  apply_styling (self);
  self->window = zelm_window_new (self);
  g_object_add_weak_pointer (G_OBJECT (self->window), reinterpret_cast<gpointer *> (&self->window));
  zelm_window_toggle_splash (self->window, TRUE);
}

void
zelm_app_gui_destroy_windows (ZelmAppGui *self)
{
  /* It holds the application: left open, it would keep it alive. */
  if (self->prefs)
    gtk_widget_destroy (self->prefs);
  if (self->window)
    {
      ZelmWindow *window = self->window;
      zelm_window_stop (window);
      g_object_remove_weak_pointer (G_OBJECT (window), reinterpret_cast<gpointer *> (&self->window));
      self->window = nullptr;
      gtk_widget_destroy (GTK_WIDGET (window));
    }
}

static void
zelm_app_gui_shutdown (GApplication *gapp)
{
  zelm_app_gui_destroy_windows (ZELM_APP_GUI (gapp));
  G_APPLICATION_CLASS (zelm_app_gui_parent_class)->shutdown (gapp);
}

/* --- GObject ----------------------------------------------------------------- */

static void
zelm_app_gui_dispose (GObject *object)
{
  zelm_app_gui_destroy_windows (ZELM_APP_GUI (object));
  G_OBJECT_CLASS (zelm_app_gui_parent_class)->dispose (object);
}

static void
zelm_app_gui_finalize (GObject *object)
{
  ZelmAppGui *self = ZELM_APP_GUI (object);
  zelm_keyboard_free (self->keyboard);
  g_free (self->gtk_theme);
  g_free (self->icon_theme);
  G_OBJECT_CLASS (zelm_app_gui_parent_class)->finalize (object);
}

static ZelmManual
manual_of (guint prop_id)
{
  return prop_id == PROP_LOWER_NOTE || prop_id == PROP_LOWER_KEYS ? ZELM_MANUAL_LOWER
                                                                  : ZELM_MANUAL_UPPER;
}

static void
zelm_app_gui_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmAppGui *self = ZELM_APP_GUI (object);
  switch (prop_id)
    {
    case PROP_LOWER_NOTE:
    case PROP_UPPER_NOTE:
      g_value_set_int (value, zelm_keyboard_get_start (self->keyboard, manual_of (prop_id)));
      break;
    case PROP_LOWER_KEYS:
    case PROP_UPPER_KEYS:
      g_value_take_boxed (value, zelm_keyboard_get_keys (self->keyboard, manual_of (prop_id)));
      break;
    case PROP_GTK_THEME:
      g_value_set_string (value, self->gtk_theme);
      break;
    case PROP_ICON_THEME:
      g_value_set_string (value, self->icon_theme);
      break;
    case PROP_STAT_DIVIDER:
      g_value_set_int (value, self->stat_divider);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
set_string (GObject *object, GParamSpec *pspec, char **field, const GValue *value)
{
  if (g_strcmp0 (*field, g_value_get_string (value)) == 0)
    return;
  g_free (*field);
  *field = g_value_dup_string (value);
  g_object_notify_by_pspec (object, pspec);
}


static void
zelm_app_gui_set_property (GObject *object, guint prop_id, const GValue *value,
                           GParamSpec *pspec)
{
  ZelmAppGui *self = ZELM_APP_GUI (object);
  switch (prop_id)
    {
    case PROP_LOWER_NOTE:
    case PROP_UPPER_NOTE:
      if (zelm_keyboard_set_start (self->keyboard, manual_of (prop_id), g_value_get_int (value)))
        g_object_notify_by_pspec (object, pspec);
      break;
    case PROP_LOWER_KEYS:
    case PROP_UPPER_KEYS:
      zelm_keyboard_set_keys (self->keyboard, manual_of (prop_id),
                              static_cast<GArray *> (g_value_get_boxed (value)));
      g_object_notify_by_pspec (object, pspec);
      break;
    case PROP_GTK_THEME:
      set_string (object, pspec, &self->gtk_theme, value);
      break;
    case PROP_ICON_THEME:
      set_string (object, pspec, &self->icon_theme, value);
      break;
    case PROP_STAT_DIVIDER:
      if (self->stat_divider != g_value_get_int (value))
        {
          self->stat_divider = g_value_get_int (value);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
zelm_app_gui_class_init (ZelmAppGuiClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  GApplicationClass *app_class = G_APPLICATION_CLASS (klass);

  object_class->dispose = zelm_app_gui_dispose;
  object_class->finalize = zelm_app_gui_finalize;
  object_class->get_property = zelm_app_gui_get_property;
  object_class->set_property = zelm_app_gui_set_property;
  app_class->startup = zelm_app_gui_startup;
  app_class->activate = zelm_app_gui_activate;
  app_class->shutdown = zelm_app_gui_shutdown;

  const GParamFlags rw = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                      G_PARAM_EXPLICIT_NOTIFY);
  const GParamFlags rw_config = GParamFlags (rw | VORN_PARAM_CONFIG);

  properties[PROP_LOWER_NOTE] = g_param_spec_int (
      "lower-note", "LowerNote", "Lower keyboard start MIDI note", 0, 127, 48, rw_config);
  properties[PROP_UPPER_NOTE] = g_param_spec_int (
      "upper-note", "UpperNote", "Upper keyboard start MIDI note", 0, 127, 60, rw_config);
  properties[PROP_LOWER_KEYS] = g_param_spec_boxed (
      "lower-keys", "LowerKeys",
      "Lower MIDI keyboard keys (array of GDK key unsigned integer values)", G_TYPE_ARRAY,
      rw_config);
  properties[PROP_UPPER_KEYS] = g_param_spec_boxed (
      "upper-keys", "UpperKeys",
      "Upper MIDI keyboard keys (array of GDK key unsigned integer values)", G_TYPE_ARRAY,
      rw_config);
  properties[PROP_GTK_THEME] = g_param_spec_string (
      "gtk-theme", "GtkTheme", "Bundled GTK theme name or blank to use system theme",
      "BlueSky-Dark", GParamFlags (rw_config | VORN_PARAM_HIDDEN));
  properties[PROP_ICON_THEME] = g_param_spec_string (
      "icon-theme", "IconTheme", "Bundled icon theme name or blank to use system theme",
      "elementary", GParamFlags (rw_config | VORN_PARAM_HIDDEN));
  properties[PROP_STAT_DIVIDER] = g_param_spec_int (
      "stat-divider", "StatDivider", "Statistic update divider", 0, 100, 5, rw);

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
zelm_app_gui_init (ZelmAppGui *self)
{
  self->keyboard = zelm_keyboard_new ();
  self->gtk_theme = g_strdup ("BlueSky-Dark");
  self->icon_theme = g_strdup ("elementary");
  self->stat_divider = 5;
}

/* --- public ------------------------------------------------------------------ */

ZelmAppGui *
zelm_app_gui_new (void)
{
  return ZELM_APP_GUI (g_object_new (ZELM_TYPE_APP_GUI, "application-id", "org.zelmora.Zelmora",
                                     "flags", G_APPLICATION_HANDLES_OPEN, nullptr));
}

ZelmKeyboard *
zelm_app_gui_get_keyboard (ZelmAppGui *gui)
{
  g_return_val_if_fail (ZELM_IS_APP_GUI (gui), nullptr);
  return gui->keyboard;
}
