/* zelm-ctrl.h: binds one widget to one property of an object, both ways */
#pragma once

#include <gtk/gtk.h>

G_BEGIN_DECLS

typedef enum {
  ZELM_CTRL_KIND_VALUE,   /* the widget shows and sets the value */
  ZELM_CTRL_KIND_TOGGLE,  /* a toggle button sets one of two values */
  ZELM_CTRL_KIND_DISABLE, /* the widget is insensitive while the property has a value */
} ZelmCtrlKind;

#define ZELM_TYPE_CTRL (zelm_ctrl_get_type ())
G_DECLARE_FINAL_TYPE (ZelmCtrl, zelm_ctrl, ZELM, CTRL, GObject)

/**
 * zelm_ctrl_install:
 * @widg: the widget
 * @object: the object whose property it is bound to (a reference is held)
 * @propertyName: the property
 * @kind: the binding
 * @...: for a toggle binding the active and the inactive value, for a
 *   disable condition the value, each in the property's own type
 *
 * Binds @widg, replacing its earlier binding of the same sort (value and
 * toggle bindings share one place, disable conditions have their own).
 * The binding lives as data on the widget; it ends with the widget, or
 * with zelm_ctrl_uninstall().
 *
 * Value bindings, by widget: a spin button is given the property's range
 * and sets the property; a text combo box lists an enumeration's nicks (or
 * keeps its own entries for strings and numbers) and sets the property from
 * its active entry; a menu button offers an enumeration's values in a menu
 * (with the icons listed under the parameter-data key "zelm-icons", when
 * there are any); a toggle button sets 1 or 0; a label shows the value.
 */
void zelm_ctrl_install (GtkWidget *widg, gpointer object, const char *propertyName,
                        ZelmCtrlKind kind, ...);

/* Value binding of @widg to @propertyName of @object. */
void zelm_ctrl_connect (GtkWidget *widg, gpointer object, const char *propertyName);

/* Toggle binding: @widg (a GtkToggleButton) is active exactly while the
 * property equals the first value; activating it sets that value,
 * deactivating it the second (radio buttons ignore their deactivation). */
void zelm_ctrl_connect_toggle (GtkWidget *widg, gpointer object, const char *propertyName, ...);

/* @widg is insensitive while the property equals the value given. */
void zelm_ctrl_set_disable_cond (GtkWidget *widg, gpointer object, const char *propertyName, ...);

/* The same, with the widget looked up by @id in @builder. */
void zelm_ctrl_connect_builder (GtkBuilder *builder, const char *id, gpointer object,
                                const char *propertyName);
void zelm_ctrl_connect_builder_toggle (GtkBuilder *builder, const char *id, gpointer object,
                                       const char *propertyName, ...);
void zelm_ctrl_set_builder_disable (GtkBuilder *builder, const char *id, gpointer object,
                                    const char *propertyName, ...);

/* Removes both bindings of @widg. */
void zelm_ctrl_uninstall (GtkWidget *widg);

G_END_DECLS
