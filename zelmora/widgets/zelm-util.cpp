/* zelm-util.cpp: small helpers shared by the application's widgets */
#include "zelm-util.h"

#include "vornadel.h"

#include <cstdlib>

static inline double
channel (guint32 rgba, int shift)
{
  return double ((rgba >> shift) & 0xff) / 255.0;
}

void
zelm_util_set_rgba_uint (cairo_t *cr, guint32 rgba)
{
  cairo_set_source_rgba (cr, channel (rgba, 24), channel (rgba, 16), channel (rgba, 8),
                         channel (rgba, 0));
}

static inline guint32
byte_of (double component)
{
  return guint32 (CLAMP (component, 0.0, 1.0) * 255.0) & 0xff;
}

guint32
zelm_util_color_from_gdk_rgba (const GdkRGBA *rgba)
{
  g_return_val_if_fail (rgba != nullptr, 0);
  return byte_of (rgba->red) << 24 | byte_of (rgba->green) << 16 | byte_of (rgba->blue) << 8
         | byte_of (rgba->alpha);
}

void
zelm_util_add_color_stop_rgba (cairo_pattern_t *pattern, double offset, guint32 rgba)
{
  cairo_pattern_add_color_stop_rgba (pattern, offset, channel (rgba, 24), channel (rgba, 16),
                                     channel (rgba, 8), channel (rgba, 0));
}

/* ---- tree rows --------------------------------------------------------- */

GtkTreeRowReference *
zelm_util_tree_iter_get_row_reference (GtkTreeModel *model, GtkTreeIter *iter)
{
  g_return_val_if_fail (GTK_IS_TREE_MODEL (model), nullptr);
  g_return_val_if_fail (iter != nullptr, nullptr);

  g_autoptr (GtkTreePath) path = gtk_tree_model_get_path (model, iter);
  return gtk_tree_row_reference_new (model, path);
}

gboolean
zelm_util_tree_row_reference_iter (GtkTreeRowReference *reference, GtkTreeIter *iter)
{
  g_return_val_if_fail (iter != nullptr, FALSE);

  if (!reference || !gtk_tree_row_reference_valid (reference))
    return FALSE;
  g_autoptr (GtkTreePath) path = gtk_tree_row_reference_get_path (reference);
  return gtk_tree_model_get_iter (gtk_tree_row_reference_get_model (reference), iter, path);
}

/* ---- text combo boxes -------------------------------------------------- */

/* Calls @match on every entry's text until it returns TRUE. */
template <typename Match>
static int
find_entry (GtkComboBoxText *combo, Match match)
{
  GtkTreeModel *model = gtk_combo_box_get_model (GTK_COMBO_BOX (combo));
  const int column = gtk_combo_box_get_entry_text_column (GTK_COMBO_BOX (combo));
  GtkTreeIter iter;
  int index = 0;
  for (gboolean more = gtk_tree_model_get_iter_first (model, &iter); more;
       more = gtk_tree_model_iter_next (model, &iter), index++)
    {
      g_autofree char *text = nullptr;
      gtk_tree_model_get (model, &iter, column, &text, -1);
      if (text && match (text))
        return index;
    }
  return -1;
}

int
zelm_util_get_combo_box_text_option_index (GtkComboBoxText *combo, const char *text)
{
  g_return_val_if_fail (GTK_IS_COMBO_BOX_TEXT (combo), -1);
  g_return_val_if_fail (text != nullptr, -1);

  return find_entry (combo, [text] (const char *entry) { return g_ascii_strcasecmp (entry, text) == 0; });
}

/* Parses the whole of @text as a number. */
static bool
parse_number (const char *text, double *value)
{
  char *end = nullptr;
  *value = g_ascii_strtod (text, &end);
  return end != text && *end == '\0';
}

int
zelm_util_get_combo_box_text_numeric_option_index (GtkComboBoxText *combo, double value)
{
  g_return_val_if_fail (GTK_IS_COMBO_BOX_TEXT (combo), -1);

  return find_entry (combo, [value] (const char *entry) {
    double v;
    return parse_number (entry, &v) && v == value;
  });
}

void
zelm_util_set_combo_box_text_from_value (GtkComboBoxText *combo, const GValue *value, int digits)
{
  g_return_if_fail (GTK_IS_COMBO_BOX_TEXT (combo));
  g_return_if_fail (G_IS_VALUE (value));

  GtkWidget *entry = gtk_combo_box_get_has_entry (GTK_COMBO_BOX (combo))
      ? gtk_bin_get_child (GTK_BIN (combo))
      : nullptr;
  int index = -1;
  g_autofree char *shown = nullptr;

  if (G_VALUE_HOLDS_ENUM (value))
    {
      g_autoptr (GEnumClass) klass = static_cast<GEnumClass *> (g_type_class_ref (G_VALUE_TYPE (value)));
      const int v = g_value_get_enum (value);
      for (guint i = 0; i < klass->n_values; i++)
        if (klass->values[i].value == v)
          {
            index = int (i);
            shown = g_strdup (klass->values[i].value_nick);
            break;
          }
    }
  else if (G_VALUE_HOLDS_STRING (value))
    {
      const char *s = g_value_get_string (value);
      shown = g_strdup (s ? s : "");
      index = zelm_util_get_combo_box_text_option_index (combo, shown);
    }
  else
    {
      gboolean ok = FALSE;
      const double v = vorn_util_value_get_double (value, &ok);
      if (ok)
        {
          index = zelm_util_get_combo_box_text_numeric_option_index (combo, v);
          shown = vorn_util_double_to_str_clean (v, digits);
        }
    }

  gtk_combo_box_set_active (GTK_COMBO_BOX (combo), index);
  /* A chosen entry puts its own text into the entry; other text would
   * unselect it again. */
  if (index < 0 && entry && GTK_IS_ENTRY (entry) && shown)
    gtk_entry_set_text (GTK_ENTRY (entry), shown);
}
