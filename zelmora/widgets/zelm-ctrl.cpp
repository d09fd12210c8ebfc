/* zelm-ctrl.cpp: binds one widget to one property of an object, both ways */
#include "zelm-ctrl.h"

#include "vornadel.h"
#include "zelm-util.h"

#include <gobject/gvaluecollector.h>

struct _ZelmCtrl {
  GObject parent_instance;

  GtkWidget *widget; /* the binding lives as data on it */
  GObject *object;
  GParamSpec *pspec;
  ZelmCtrlKind kind;
  GValue active;   /* toggle: the active value; disable: the condition */
  GValue inactive; /* toggle: the inactive value */
  gulong notify_id;
  GtkWidget *menu;  /* menu buttons: the menu this binding made */
  gboolean updating; /* the widget is being set from the object */
};

G_DEFINE_FINAL_TYPE (ZelmCtrl, zelm_ctrl, G_TYPE_OBJECT)

static const char *
data_key (ZelmCtrlKind kind)
{
  return kind == ZELM_CTRL_KIND_DISABLE ? "ZelmCtrlDis" : "ZelmCtrl";
}

static void
zelm_ctrl_finalize (GObject *gobject)
{
  ZelmCtrl *self = ZELM_CTRL (gobject);

  if (self->notify_id)
    g_signal_handler_disconnect (self->object, self->notify_id);
  /* Gone already when the widget is being finalized. */
  g_signal_handlers_disconnect_by_data (self->widget, self);
  if (self->menu)
    {
      g_autoptr (GList) items = gtk_container_get_children (GTK_CONTAINER (self->menu));
      for (GList *l = items; l; l = l->next)
        g_signal_handlers_disconnect_by_data (l->data, self);
      g_object_unref (self->menu);
    }
  g_clear_object (&self->object);
  g_clear_pointer (&self->pspec, g_param_spec_unref);
  if (G_IS_VALUE (&self->active))
    g_value_unset (&self->active);
  if (G_IS_VALUE (&self->inactive))
    g_value_unset (&self->inactive);

  G_OBJECT_CLASS (zelm_ctrl_parent_class)->finalize (gobject);
}

static void
zelm_ctrl_class_init (ZelmCtrlClass *klass)
{
  G_OBJECT_CLASS (klass)->finalize = zelm_ctrl_finalize;
}

static void
zelm_ctrl_init (ZelmCtrl *)
{
}

/* ---- reading and writing the property ---------------------------------- */

static void
get_value (ZelmCtrl *self, GValue *value)
{
  g_value_init (value, self->pspec->value_type);
  g_object_get_property (self->object, self->pspec->name, value);
}

static void
set_double (ZelmCtrl *self, double d)
{
  g_auto (GValue) value = G_VALUE_INIT;
  g_value_init (&value, self->pspec->value_type);
  if (G_VALUE_HOLDS_ENUM (&value))
    g_value_set_enum (&value, int (d));
  else if (!vorn_util_value_set_double (&value, d))
    return;
  g_object_set_property (self->object, self->pspec->name, &value);
}

static gboolean
is_enum (ZelmCtrl *self)
{
  return G_TYPE_IS_ENUM (self->pspec->value_type);
}

static gboolean
is_numeric (ZelmCtrl *self)
{
  return vorn_util_pspec_double (self->pspec, nullptr, nullptr, nullptr, nullptr);
}

/* The enumeration's class, referenced: callers unref. */
static GEnumClass *
enum_class (ZelmCtrl *self)
{
  return static_cast<GEnumClass *> (g_type_class_ref (self->pspec->value_type));
}

/* Icon names of an enumeration property's values, if its GParamSpec
 * lists them. */
static const char *const *
enum_icons (ZelmCtrl *self)
{
  return static_cast<const char *const *> (
    g_param_spec_get_qdata (self->pspec, g_quark_from_static_string ("zelm-icons")));
}

/* ---- object to widget -------------------------------------------------- */

static void
update_menu_button (ZelmCtrl *self, const GValue *value)
{
  g_autoptr (GEnumClass) klass = enum_class (self);
  const int v = g_value_get_enum (value);
  const char *const *icons = enum_icons (self);
  const char *nick = nullptr, *icon = nullptr;
  for (guint i = 0; i < klass->n_values; i++)
    if (klass->values[i].value == v)
      {
        nick = klass->values[i].value_nick;
        icon = icons ? icons[i] : nullptr;
      }

  if (GTK_IS_MENU_TOOL_BUTTON (self->widget))
    {
      GtkToolButton *button = GTK_TOOL_BUTTON (self->widget);
      if (icon)
        {
          GtkWidget *image = gtk_image_new_from_icon_name (icon, GTK_ICON_SIZE_LARGE_TOOLBAR);
          gtk_widget_show (image);
          gtk_tool_button_set_icon_widget (button, image);
        }
      gtk_tool_button_set_label (button, nick);
    }
  else if (icon)
    gtk_button_set_image (GTK_BUTTON (self->widget),
                          gtk_image_new_from_icon_name (icon, GTK_ICON_SIZE_LARGE_TOOLBAR));
  else
    gtk_button_set_label (GTK_BUTTON (self->widget), nick);

  g_autoptr (GList) items = gtk_container_get_children (GTK_CONTAINER (self->menu));
  for (GList *l = items; l; l = l->next)
    gtk_check_menu_item_set_active (
      GTK_CHECK_MENU_ITEM (l->data),
      GPOINTER_TO_INT (g_object_get_data (G_OBJECT (l->data), "zelm-value")) == v);
}

static void
update_widget (ZelmCtrl *self)
{
  g_auto (GValue) value = G_VALUE_INIT;
  get_value (self, &value);
  GtkWidget *w = self->widget;
  self->updating = TRUE;

  switch (self->kind)
    {
    case ZELM_CTRL_KIND_DISABLE:
      gtk_widget_set_sensitive (w, vorn_util_compare_values (&value, &self->active) != 0);
      break;
    case ZELM_CTRL_KIND_TOGGLE:
      gtk_toggle_button_set_active (GTK_TOGGLE_BUTTON (w),
                                    vorn_util_compare_values (&value, &self->active) == 0);
      break;
    case ZELM_CTRL_KIND_VALUE:
      if (GTK_IS_SPIN_BUTTON (w))
        gtk_spin_button_set_value (GTK_SPIN_BUTTON (w), vorn_util_value_get_double (&value, nullptr));
      else if (GTK_IS_COMBO_BOX_TEXT (w))
        zelm_util_set_combo_box_text_from_value (GTK_COMBO_BOX_TEXT (w), &value, 4);
      else if (self->menu)
        update_menu_button (self, &value);
      else if (GTK_IS_TOGGLE_BUTTON (w))
        gtk_toggle_button_set_active (GTK_TOGGLE_BUTTON (w),
                                      vorn_util_value_get_double (&value, nullptr) != 0);
      else if (GTK_IS_LABEL (w))
        {
          g_autofree char *text = nullptr;
          if (G_VALUE_HOLDS_ENUM (&value))
            {
              g_autoptr (GEnumClass) klass = enum_class (self);
              GEnumValue *ev = g_enum_get_value (klass, g_value_get_enum (&value));
              text = g_strdup (ev ? ev->value_nick : "");
            }
          else if (G_VALUE_HOLDS_DOUBLE (&value) || G_VALUE_HOLDS_FLOAT (&value))
            text = vorn_util_double_to_str_clean (vorn_util_value_get_double (&value, nullptr), 6);
          else
            {
              g_auto (GValue) str = G_VALUE_INIT;
              g_value_init (&str, G_TYPE_STRING);
              if (g_value_transform (&value, &str))
                text = g_value_dup_string (&str);
            }
          gtk_label_set_text (GTK_LABEL (w), text ? text : "");
        }
      break;
    }
  self->updating = FALSE;
}

static void
object_notify (GObject *, GParamSpec *, ZelmCtrl *self)
{
  update_widget (self);
}

/* ---- widget to object -------------------------------------------------- */

static void
spin_changed (GtkSpinButton *spin, ZelmCtrl *self)
{
  if (!self->updating)
    set_double (self, gtk_spin_button_get_value (spin));
}

static void
combo_changed (GtkComboBoxText *combo, ZelmCtrl *self)
{
  if (self->updating)
    return;

  g_auto (GValue) wanted = G_VALUE_INIT;
  g_value_init (&wanted, self->pspec->value_type);
  g_autofree char *text = gtk_combo_box_text_get_active_text (combo);
  if (is_enum (self))
    {
      const int index = gtk_combo_box_get_active (GTK_COMBO_BOX (combo));
      g_autoptr (GEnumClass) klass = enum_class (self);
      if (index < 0 || guint (index) >= klass->n_values)
        return;
      g_value_set_enum (&wanted, klass->values[index].value);
    }
  else if (G_VALUE_HOLDS_STRING (&wanted))
    g_value_set_string (&wanted, text ? text : "");
  else
    {
      char *end = nullptr;
      const double d = text ? g_ascii_strtod (text, &end) : 0.0;
      if (!text || end == text || *end != '\0' || !vorn_util_value_set_double (&wanted, d))
        return; /* not (yet) a number */
    }
  g_object_set_property (self->object, self->pspec->name, &wanted);

  /* The object may have clamped or refused the value. */
  g_auto (GValue) actual = G_VALUE_INIT;
  get_value (self, &actual);
  if (vorn_util_compare_values (&actual, &wanted) != 0)
    update_widget (self);
}

static void
menu_item_activated (GtkMenuItem *item, ZelmCtrl *self)
{
  if (!self->updating)
    set_double (self, GPOINTER_TO_INT (g_object_get_data (G_OBJECT (item), "zelm-value")));
}

static void
toggle_toggled (GtkToggleButton *toggle, ZelmCtrl *self)
{
  if (self->updating)
    return;
  const gboolean on = gtk_toggle_button_get_active (toggle);
  if (self->kind == ZELM_CTRL_KIND_VALUE)
    set_double (self, on ? 1.0 : 0.0);
  else if (on)
    g_object_set_property (self->object, self->pspec->name, &self->active);
  else if (!GTK_IS_RADIO_BUTTON (toggle))
    g_object_set_property (self->object, self->pspec->name, &self->inactive);
}

/* ---- installing -------------------------------------------------------- */

static GtkWidget *
build_enum_menu (ZelmCtrl *self)
{
  g_autoptr (GEnumClass) klass = enum_class (self);
  const char *const *icons = enum_icons (self);
  GtkWidget *menu = gtk_menu_new ();
  for (guint i = 0; i < klass->n_values; i++)
    {
      GtkWidget *item = gtk_check_menu_item_new ();
      gtk_check_menu_item_set_draw_as_radio (GTK_CHECK_MENU_ITEM (item), TRUE);
      g_object_set_data (G_OBJECT (item), "zelm-value", GINT_TO_POINTER (klass->values[i].value));
      GtkWidget *label = gtk_label_new (klass->values[i].value_nick);
      gtk_label_set_xalign (GTK_LABEL (label), 0.0f);
      if (icons && icons[i])
        {
          GtkWidget *box = gtk_box_new (GTK_ORIENTATION_HORIZONTAL, 6);
          gtk_box_pack_start (GTK_BOX (box),
                              gtk_image_new_from_icon_name (icons[i], GTK_ICON_SIZE_MENU), FALSE,
                              FALSE, 0);
          gtk_box_pack_start (GTK_BOX (box), label, TRUE, TRUE, 0);
          gtk_container_add (GTK_CONTAINER (item), box);
        }
      else
        gtk_container_add (GTK_CONTAINER (item), label);
      g_signal_connect (item, "activate", G_CALLBACK (menu_item_activated), self);
      gtk_widget_show_all (item);
      gtk_menu_shell_append (GTK_MENU_SHELL (menu), item);
    }
  return menu;
}

static void
setup_value_widget (ZelmCtrl *self)
{
  GtkWidget *w = self->widget;
  if (GTK_IS_SPIN_BUTTON (w))
    {
      double min = 0, max = 0;
      gboolean is_float = FALSE;
      if (vorn_util_pspec_double (self->pspec, &min, &max, nullptr, &is_float))
        {
          gtk_spin_button_configure (GTK_SPIN_BUTTON (w), nullptr, 1.0, is_float ? 4 : 0);
          gtk_spin_button_set_increments (GTK_SPIN_BUTTON (w), 1.0, 10.0);
          gtk_spin_button_set_range (GTK_SPIN_BUTTON (w), min, max);
        }
      g_signal_connect (w, "value-changed", G_CALLBACK (spin_changed), self);
    }
  else if (GTK_IS_COMBO_BOX_TEXT (w))
    {
      if (is_enum (self))
        {
          gtk_combo_box_text_remove_all (GTK_COMBO_BOX_TEXT (w));
          g_autoptr (GEnumClass) klass = enum_class (self);
          for (guint i = 0; i < klass->n_values; i++)
            gtk_combo_box_text_append_text (GTK_COMBO_BOX_TEXT (w), klass->values[i].value_nick);
        }
      g_signal_connect (w, "changed", G_CALLBACK (combo_changed), self);
    }
  else if ((GTK_IS_MENU_BUTTON (w) || GTK_IS_MENU_TOOL_BUTTON (w)) && is_enum (self))
    {
      self->menu = GTK_WIDGET (g_object_ref_sink (build_enum_menu (self)));
      if (GTK_IS_MENU_BUTTON (w))
        gtk_menu_button_set_popup (GTK_MENU_BUTTON (w), self->menu);
      else
        gtk_menu_tool_button_set_menu (GTK_MENU_TOOL_BUTTON (w), self->menu);
    }
  else if (GTK_IS_TOGGLE_BUTTON (w) && !GTK_IS_MENU_BUTTON (w) && is_numeric (self))
    g_signal_connect (w, "toggled", G_CALLBACK (toggle_toggled), self);
}

/* Collects the next argument as a value of @pspec's type. */
static gboolean
collect (ZelmCtrl *self, GValue *value, va_list *args)
{
  g_autofree char *error = nullptr;
  G_VALUE_COLLECT_INIT (value, self->pspec->value_type, *args, 0, &error);
  if (error)
    {
      g_warning ("Error collecting value for toggle widget using property '%s': %s",
                 self->pspec->name, error);
      return FALSE;
    }
  return TRUE;
}

static void
widget_destroyed (GtkWidget *widget, gpointer key)
{
  /* Freed now rather than when the widget is finalized, which may be much
   * later: the object must not update a dead widget meanwhile. */
  g_object_set_data (G_OBJECT (widget), static_cast<const char *> (key), nullptr);
}

static void
install_valist (GtkWidget *widg, gpointer object, const char *propertyName, ZelmCtrlKind kind,
                va_list *args)
{
  g_return_if_fail (GTK_IS_WIDGET (widg));
  g_return_if_fail (G_IS_OBJECT (object));
  g_return_if_fail (propertyName != NULL);
  GParamSpec *pspec = g_object_class_find_property (G_OBJECT_GET_CLASS (object), propertyName);
  g_return_if_fail (pspec != NULL);
  g_return_if_fail (kind != ZELM_CTRL_KIND_TOGGLE || GTK_IS_TOGGLE_BUTTON (widg));

  const char *key = data_key (kind);
  g_object_set_data (G_OBJECT (widg), key, nullptr);

  ZelmCtrl *self = ZELM_CTRL (g_object_new (ZELM_TYPE_CTRL, nullptr));
  self->widget = widg;
  self->object = G_OBJECT (g_object_ref (object));
  self->pspec = g_param_spec_ref (pspec);
  self->kind = kind;

  if (kind != ZELM_CTRL_KIND_VALUE)
    {
      if (!collect (self, &self->active, args)
          || (kind == ZELM_CTRL_KIND_TOGGLE && !collect (self, &self->inactive, args)))
        {
          g_object_unref (self);
          return;
        }
    }

  g_object_set_data_full (G_OBJECT (widg), key, self, g_object_unref);
  g_signal_connect (widg, "destroy", G_CALLBACK (widget_destroyed), const_cast<char *> (key));

  if (kind == ZELM_CTRL_KIND_VALUE)
    setup_value_widget (self);
  else if (kind == ZELM_CTRL_KIND_TOGGLE)
    g_signal_connect (widg, "toggled", G_CALLBACK (toggle_toggled), self);

  g_autofree char *signal = g_strconcat ("notify::", pspec->name, nullptr);
  self->notify_id = g_signal_connect (object, signal, G_CALLBACK (object_notify), self);
  update_widget (self);
}

void
zelm_ctrl_install (GtkWidget *widg, gpointer object, const char *propertyName, ZelmCtrlKind kind, ...)
{
  va_list args;
  va_start (args, kind);
  install_valist (widg, object, propertyName, kind, &args);
  va_end (args);
}

void
zelm_ctrl_connect (GtkWidget *widg, gpointer object, const char *propertyName)
{
  zelm_ctrl_install (widg, object, propertyName, ZELM_CTRL_KIND_VALUE);
}

void
zelm_ctrl_connect_toggle (GtkWidget *widg, gpointer object, const char *propertyName, ...)
{
  va_list args;
  va_start (args, propertyName);
  install_valist (widg, object, propertyName, ZELM_CTRL_KIND_TOGGLE, &args);
  va_end (args);
}

void
zelm_ctrl_set_disable_cond (GtkWidget *widg, gpointer object, const char *propertyName, ...)
{
  va_list args;
  va_start (args, propertyName);
  install_valist (widg, object, propertyName, ZELM_CTRL_KIND_DISABLE, &args);
  va_end (args);
}

static GtkWidget *
builder_widget (GtkBuilder *builder, const char *id)
{
  g_return_val_if_fail (GTK_IS_BUILDER (builder), nullptr);
  g_return_val_if_fail (id != nullptr, nullptr);
  GObject *obj = gtk_builder_get_object (builder, id);
  return obj && GTK_IS_WIDGET (obj) ? GTK_WIDGET (obj) : nullptr;
}

void
zelm_ctrl_connect_builder (GtkBuilder *builder, const char *id, gpointer object,
                           const char *propertyName)
{
  zelm_ctrl_connect (builder_widget (builder, id), object, propertyName);
}

void
zelm_ctrl_connect_builder_toggle (GtkBuilder *builder, const char *id, gpointer object,
                                  const char *propertyName, ...)
{
  va_list args;
  va_start (args, propertyName);
  install_valist (builder_widget (builder, id), object, propertyName, ZELM_CTRL_KIND_TOGGLE, &args);
  va_end (args);
}

void
zelm_ctrl_set_builder_disable (GtkBuilder *builder, const char *id, gpointer object,
                               const char *propertyName, ...)
{
  va_list args;
  va_start (args, propertyName);
  install_valist (builder_widget (builder, id), object, propertyName, ZELM_CTRL_KIND_DISABLE, &args);
  va_end (args);
}

void
zelm_ctrl_uninstall (GtkWidget *widg)
{
  g_return_if_fail (GTK_IS_WIDGET (widg));
  g_object_set_data (G_OBJECT (widg), "ZelmCtrl", nullptr);
  g_object_set_data (G_OBJECT (widg), "ZelmCtrlDis", nullptr);
}
