/* zelm-util.h: small helpers shared by the application's widgets: colours,
 * tree rows and text combo boxes */
#pragma once

#include <cairo.h>
#include <gtk/gtk.h>

G_BEGIN_DECLS

/* Sets the source of @cr to @rgba, a colour packed as 0xRRGGBBAA. */
void zelm_util_set_rgba_uint (cairo_t *cr, guint32 rgba);

/* Packs @rgba (components 0..1) as 0xRRGGBBAA, each component times 255,
 * truncated. */
guint32 zelm_util_color_from_gdk_rgba (const GdkRGBA *rgba);

/* Adds a colour stop at @offset to a gradient @pattern, colour as above. */
void zelm_util_add_color_stop_rgba (cairo_pattern_t *pattern, double offset, guint32 rgba);

/* Returns: (transfer full): a reference to the row at @iter; free it with
 * gtk_tree_row_reference_free(). */
GtkTreeRowReference *zelm_util_tree_iter_get_row_reference (GtkTreeModel *model, GtkTreeIter *iter);

/* Sets @iter to the referenced row.  Returns: FALSE for no reference or a
 * row that was deleted (@iter is then unset). */
gboolean zelm_util_tree_row_reference_iter (GtkTreeRowReference *reference, GtkTreeIter *iter);

/* Returns: the index of the first entry of @combo equal to @text ignoring
 * case, -1 if none. */
int zelm_util_get_combo_box_text_option_index (GtkComboBoxText *combo, const char *text);

/* Returns: the index of the first entry of @combo whose whole text parses
 * as a number equal to @value, -1 if none. */
int zelm_util_get_combo_box_text_numeric_option_index (GtkComboBoxText *combo, double value);

/* Selects the entry of @combo matching @value: an enumeration by the
 * value's position in its type, a string by text ignoring case, a number by
 * parsed value.  A combo box with an entry also shows the string, or the
 * number written with @digits decimals at most. */
void zelm_util_set_combo_box_text_from_value (GtkComboBoxText *combo, const GValue *value,
                                              int digits);

G_END_DECLS
