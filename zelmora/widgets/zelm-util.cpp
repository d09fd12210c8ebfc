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

GType
zelm_util_menu_info_flags_get_type (void)
{
  static gsize type_id = 0;
  if (g_once_init_enter (&type_id))
    {
      static const GFlagsValue values[] = {
        { ZELM_UTIL_MENU_INFO_SUBMENU, "ZELM_UTIL_MENU_INFO_SUBMENU", "submenu" },
        { ZELM_UTIL_MENU_INFO_MULTI, "ZELM_UTIL_MENU_INFO_MULTI", "multi" },
        { 0, nullptr, nullptr },
      };
      GType t = g_flags_register_static ("ZelmUtilMenuInfoFlags", values);
      g_once_init_leave (&type_id, t);
    }
  return type_id;
}

/* ---- menus ------------------------------------------------------------- */

static GtkWidget *
new_menu_item (const ZelmUtilMenuInfo *info, guint position, GtkWidget *window,
               GtkAccelGroup **accel_group)
{
  GtkWidget *item = gtk_menu_item_new ();
  g_object_set_data (G_OBJECT (item), "index", GUINT_TO_POINTER (position));

  GtkWidget *box = gtk_box_new (GTK_ORIENTATION_HORIZONTAL, 6);
  GtkWidget *image = gtk_image_new_from_icon_name (info->icon, GTK_ICON_SIZE_MENU);
  GtkWidget *label = gtk_accel_label_new (info->label ? info->label : "");
  gtk_label_set_use_underline (GTK_LABEL (label), TRUE);
  gtk_label_set_xalign (GTK_LABEL (label), 0.0f);
  gtk_box_pack_start (GTK_BOX (box), image, FALSE, FALSE, 0);
  gtk_box_pack_end (GTK_BOX (box), label, TRUE, TRUE, 0);
  gtk_container_add (GTK_CONTAINER (item), box);

  if (info->accel_key != 0)
    {
      if (!*accel_group)
        {
          *accel_group = gtk_accel_group_new ();
          if (window && GTK_IS_WINDOW (window))
            gtk_window_add_accel_group (GTK_WINDOW (window), *accel_group);
        }
      gtk_widget_add_accelerator (item, "activate", *accel_group, info->accel_key,
                                  info->accel_mods, GTK_ACCEL_VISIBLE);
      gtk_accel_label_set_accel_widget (GTK_ACCEL_LABEL (label), item);
    }
  gtk_widget_show_all (item);
  return item;
}

/* Menus whose submenus open as soon as their item is selected.  GTK 3's
 * delayed opening leaks its timer's data whenever the item is left or
 * clicked before the delay ends; opening at once is what menu bars do. */
typedef GtkMenu ZelmUtilMenu;
typedef GtkMenuClass ZelmUtilMenuClass;
G_DEFINE_TYPE (ZelmUtilMenu, zelm_util_menu, GTK_TYPE_MENU)

static int
zelm_util_menu_get_popup_delay (GtkMenuShell *)
{
  return 0;
}

static void
zelm_util_menu_class_init (ZelmUtilMenuClass *klass)
{
  GTK_MENU_SHELL_CLASS (klass)->get_popup_delay = zelm_util_menu_get_popup_delay;
}

static void
zelm_util_menu_init (ZelmUtilMenu *)
{
}

GtkWidget *
zelm_util_create_menu (GtkWidget *window, const ZelmUtilMenuInfo *infos, guint count,
                       GCallback callback, gpointer user_data)
{
  g_return_val_if_fail (infos != nullptr || count == 0, nullptr);

  GtkWidget *menu = GTK_WIDGET (g_object_new (zelm_util_menu_get_type (), nullptr));
  GtkAccelGroup *accel_group = nullptr;
  GtkWidget *parent_item = nullptr; /* last top-level item */
  GtkWidget *submenu = nullptr;
  for (guint i = 0; i < count; i++)
    {
      GtkWidget *item = new_menu_item (&infos[i], i + 1, window, &accel_group);
      if (callback)
        g_signal_connect (item, "activate", callback, user_data);

      if ((infos[i].flags & ZELM_UTIL_MENU_INFO_SUBMENU) && parent_item)
        {
          if (!submenu)
            {
              submenu = GTK_WIDGET (g_object_new (zelm_util_menu_get_type (), nullptr));
              gtk_menu_item_set_submenu (GTK_MENU_ITEM (parent_item), submenu);
            }
          gtk_menu_shell_append (GTK_MENU_SHELL (submenu), item);
        }
      else
        {
          gtk_menu_shell_append (GTK_MENU_SHELL (menu), item);
          parent_item = item;
          submenu = nullptr;
        }
    }
  /* The window holds the group; the menu only keeps it alive with it. */
  if (accel_group)
    g_object_set_data_full (G_OBJECT (menu), "zelm-accel-group", accel_group, g_object_unref);
  return menu;
}

int
zelm_util_get_menu_item_index (GtkMenuItem *item)
{
  g_return_val_if_fail (GTK_IS_MENU_ITEM (item), -1);
  return int (GPOINTER_TO_UINT (g_object_get_data (G_OBJECT (item), "index"))) - 1;
}

void
zelm_util_update_menu_multi_visible (GtkWidget *menu, const ZelmUtilMenuInfo *infos, guint count,
                                     gboolean multi)
{
  g_return_if_fail (GTK_IS_MENU_SHELL (menu));

  g_autoptr (GList) items = gtk_container_get_children (GTK_CONTAINER (menu));
  for (GList *l = items; l; l = l->next)
    {
      if (!GTK_IS_MENU_ITEM (l->data))
        continue;
      const int index = zelm_util_get_menu_item_index (GTK_MENU_ITEM (l->data));
      if (index < 0 || guint (index) >= count)
        continue;
      gtk_widget_set_visible (GTK_WIDGET (l->data),
                              !multi || (infos[index].flags & ZELM_UTIL_MENU_INFO_MULTI));
    }
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
