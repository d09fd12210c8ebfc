/* zelm-prop-editor.h: a form for any object, built from its properties */
#pragma once

#include <gtk/gtk.h>

G_BEGIN_DECLS

#define ZELM_TYPE_PROP_EDITOR (zelm_prop_editor_get_type ())
G_DECLARE_FINAL_TYPE (ZelmPropEditor, zelm_prop_editor, ZELM, PROP_EDITOR, GtkGrid)

/* Returns: (transfer floating): an empty property editor. */
GtkWidget *zelm_prop_editor_new (void);

/**
 * zelm_prop_editor_set_object:
 * @editor: the editor
 * @object: (nullable): the object to edit; NULL empties the form
 *
 * Builds one row per property of @object's class that is not hidden, in
 * the order the class lists them: booleans as check buttons, numbers as
 * scale sliders over the property's range, enumerations as combo boxes,
 * strings as entries (other kinds get no row).  Form and object stay in
 * step both ways until the next call.  A reference to @object is held.
 */
void zelm_prop_editor_set_object (ZelmPropEditor *editor, gpointer object);

G_END_DECLS
