/* zelm-prop-editor.cpp: a form for any object, built from its properties */
#include "zelm-prop-editor.h"

#include "vornadel.h"
#include "zelm-scale.h"
#include "zelm-value-text.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

/* LABEL shows a number that is not the user's to edit. */
enum class RowKind { CHECK, SCALE, COMBO, ENTRY, LABEL };

/* Numbers the program keeps, shown but never edited. */
const char *const shown_only[] = { "next-id" };

struct Row {
  GParamSpec *pspec;
  GtkWidget *widget;
  RowKind kind;
  gulong widget_handler;
  gulong notify_handler;
};

} // namespace

struct _ZelmPropEditor {
  GtkGrid parent_instance;

  GObject *object;
  std::vector<Row> *rows;
};

G_DEFINE_FINAL_TYPE (ZelmPropEditor, zelm_prop_editor, GTK_TYPE_GRID)

/* ---- object to widget -------------------------------------------------- */

static void
fill_widget (ZelmPropEditor *self, Row &row)
{
  g_auto (GValue) value = G_VALUE_INIT;
  g_value_init (&value, row.pspec->value_type);
  g_object_get_property (self->object, row.pspec->name, &value);

  if (row.widget_handler)
    g_signal_handler_block (row.widget, row.widget_handler);
  switch (row.kind)
    {
    case RowKind::CHECK:
      gtk_toggle_button_set_active (GTK_TOGGLE_BUTTON (row.widget), g_value_get_boolean (&value));
      break;
    case RowKind::SCALE:
      zelm_scale_set_value (ZELM_SCALE (row.widget), vorn_util_value_get_double (&value, nullptr));
      break;
    case RowKind::COMBO:
      {
        GEnumValue *ev = g_enum_get_value (G_PARAM_SPEC_ENUM (row.pspec)->enum_class,
                                           g_value_get_enum (&value));
        if (!ev || !gtk_combo_box_set_active_id (GTK_COMBO_BOX (row.widget), ev->value_nick))
          gtk_combo_box_set_active (GTK_COMBO_BOX (row.widget), -1);
      }
      break;
    case RowKind::ENTRY:
      {
        const char *text = g_value_get_string (&value);
        gtk_entry_set_text (GTK_ENTRY (row.widget), text ? text : "");
      }
      break;
    case RowKind::LABEL:
      {
        g_autofree char *text = zelm_value_text_format (
          vorn_util_value_get_double (&value, nullptr),
          zelm_value_unit_for (self->object, row.pspec->name),
          G_TYPE_FUNDAMENTAL (row.pspec->value_type) != G_TYPE_DOUBLE
            && G_TYPE_FUNDAMENTAL (row.pspec->value_type) != G_TYPE_FLOAT,
          6);
        gtk_label_set_text (GTK_LABEL (row.widget), text);
      }
      break;
    }
  if (row.widget_handler)
    g_signal_handler_unblock (row.widget, row.widget_handler);
}

static Row *
find_row (ZelmPropEditor *self, GParamSpec *pspec)
{
  for (Row &row : *self->rows)
    if (row.pspec == pspec || g_strcmp0 (row.pspec->name, pspec->name) == 0)
      return &row;
  return nullptr;
}

/* Units follow the object's other properties (a wave's destination sets
 * what its scale factor means). */
static void
update_units (ZelmPropEditor *self)
{
  for (Row &row : *self->rows)
    if (row.kind == RowKind::SCALE)
      g_object_set (row.widget, "unit", int (zelm_value_unit_for (self->object, row.pspec->name)),
                    nullptr);
}

static void
object_notify (GObject *, GParamSpec *pspec, ZelmPropEditor *self)
{
  if (Row *row = find_row (self, pspec))
    fill_widget (self, *row);
  update_units (self);
}

/* ---- widget to object -------------------------------------------------- */

/* Sets the property with this editor's notify handler blocked, so the
 * change does not come back to the widget the user is working. */
static void
write_property (ZelmPropEditor *self, Row &row, const GValue *value)
{
  g_signal_handler_block (self->object, row.notify_handler);
  g_object_set_property (self->object, row.pspec->name, value);
  g_signal_handler_unblock (self->object, row.notify_handler);
}

static Row *
row_of_widget (ZelmPropEditor *self, gpointer widget)
{
  for (Row &row : *self->rows)
    if (row.widget == widget)
      return &row;
  return nullptr;
}

static void
check_toggled (GtkToggleButton *button, ZelmPropEditor *self)
{
  Row *row = row_of_widget (self, button);
  g_auto (GValue) value = G_VALUE_INIT;
  g_value_init (&value, G_TYPE_BOOLEAN);
  g_value_set_boolean (&value, gtk_toggle_button_get_active (button));
  write_property (self, *row, &value);
}

static void
scale_changed (ZelmScale *scale, double v, ZelmPropEditor *self)
{
  Row *row = row_of_widget (self, scale);
  g_auto (GValue) value = G_VALUE_INIT;
  g_value_init (&value, row->pspec->value_type);
  if (vorn_util_value_set_double (&value, v))
    write_property (self, *row, &value);
}

static void
combo_changed (GtkComboBox *combo, ZelmPropEditor *self)
{
  Row *row = row_of_widget (self, combo);
  const char *nick = gtk_combo_box_get_active_id (combo);
  GEnumValue *ev = nick ? g_enum_get_value_by_nick (G_PARAM_SPEC_ENUM (row->pspec)->enum_class, nick)
                        : nullptr;
  if (!ev)
    return;
  g_auto (GValue) value = G_VALUE_INIT;
  g_value_init (&value, row->pspec->value_type);
  g_value_set_enum (&value, ev->value);
  write_property (self, *row, &value);
}

static void
entry_changed (GtkEntry *entry, ZelmPropEditor *self)
{
  Row *row = row_of_widget (self, entry);
  g_auto (GValue) value = G_VALUE_INIT;
  g_value_init (&value, G_TYPE_STRING);
  g_value_set_string (&value, gtk_entry_get_text (entry));
  write_property (self, *row, &value);
}

/* ---- building the form ------------------------------------------------- */

/* A combo box whose long entries shorten rather than widen the form. */
static GtkWidget *
new_combo (void)
{
  GtkWidget *w = gtk_combo_box_text_new ();
  g_autoptr (GList) cells = gtk_cell_layout_get_cells (GTK_CELL_LAYOUT (w));
  for (GList *l = cells; l; l = l->next)
    if (GTK_IS_CELL_RENDERER_TEXT (l->data))
      g_object_set (l->data, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
  return w;
}

static bool
is_shown_only (GParamSpec *pspec)
{
  for (const char *name : shown_only)
    if (strcmp (pspec->name, name) == 0)
      return true;
  return false;
}

/* The editing widget for @pspec, or NULL for a kind without one. */
static GtkWidget *
new_widget (ZelmPropEditor *self, GParamSpec *pspec, RowKind *kind, gulong *handler)
{
  const GType type = G_TYPE_FUNDAMENTAL (pspec->value_type);
  const bool number = type == G_TYPE_INT || type == G_TYPE_UINT || type == G_TYPE_FLOAT
                      || type == G_TYPE_DOUBLE;
  const bool writable =
    (pspec->flags & G_PARAM_WRITABLE) && !(pspec->flags & G_PARAM_CONSTRUCT_ONLY);
  GtkWidget *w = nullptr;
  if (number && (!writable || is_shown_only (pspec)))
    {
      w = gtk_label_new (nullptr);
      gtk_label_set_xalign (GTK_LABEL (w), 0.0f);
      gtk_label_set_selectable (GTK_LABEL (w), TRUE);
      *kind = RowKind::LABEL;
      *handler = 0;
    }
  else if (type == G_TYPE_BOOLEAN)
    {
      w = gtk_check_button_new ();
      *kind = RowKind::CHECK;
      *handler = g_signal_connect (w, "toggled", G_CALLBACK (check_toggled), self);
    }
  else if (number)
    {
      double min = 0, max = 0;
      gboolean is_float = FALSE;
      vorn_util_pspec_double (pspec, &min, &max, nullptr, &is_float);
      w = zelm_scale_new (min, max, is_float ? 9 : 0);
      g_object_set (w, "unit", int (zelm_value_unit_for (self->object, pspec->name)), nullptr);
      *kind = RowKind::SCALE;
      *handler = g_signal_connect (w, "value-changed", G_CALLBACK (scale_changed), self);
    }
  else if (type == G_TYPE_ENUM)
    {
      w = new_combo ();
      GEnumClass *klass = G_PARAM_SPEC_ENUM (pspec)->enum_class;
      /* Attribute choices name what reads them. */
      const bool attrib = pspec->value_type == VORN_TYPE_ATTRIB_TYPE;
      for (guint i = 0; i < klass->n_values; i++)
        {
          const char *nick = klass->values[i].value_nick;
          g_autofree char *text = attrib ? zelm_value_text_attrib_label (klass->values[i].value,
                                                                         self->object)
                                         : g_strdup (nick);
          if (text[0])
            text[0] = g_ascii_toupper (text[0]);
          gtk_combo_box_text_append (GTK_COMBO_BOX_TEXT (w), nick, text);
        }
      *kind = RowKind::COMBO;
      *handler = g_signal_connect (w, "changed", G_CALLBACK (combo_changed), self);
    }
  else if (type == G_TYPE_STRING)
    {
      w = gtk_entry_new ();
      *kind = RowKind::ENTRY;
      *handler = g_signal_connect (w, "changed", G_CALLBACK (entry_changed), self);
    }
  return w;
}

static void
clear (ZelmPropEditor *self)
{
  if (self->object)
    for (Row &row : *self->rows)
      g_signal_handler_disconnect (self->object, row.notify_handler);
  self->rows->clear ();
  g_autoptr (GList) children = gtk_container_get_children (GTK_CONTAINER (self));
  for (GList *l = children; l; l = l->next)
    gtk_widget_destroy (GTK_WIDGET (l->data));
  g_clear_object (&self->object);
}

void
zelm_prop_editor_set_object (ZelmPropEditor *self, gpointer object)
{
  g_return_if_fail (ZELM_IS_PROP_EDITOR (self));
  g_return_if_fail (!object || G_IS_OBJECT (object));

  clear (self);
  if (!object)
    return;
  self->object = G_OBJECT (g_object_ref (object));

  guint n = 0;
  g_autofree GParamSpec **pspecs = g_object_class_list_properties (G_OBJECT_GET_CLASS (object), &n);
  int top = 0;
  for (guint i = 0; i < n; i++)
    {
      GParamSpec *pspec = pspecs[i];
      if ((pspec->flags & VORN_PARAM_HIDDEN) || !(pspec->flags & G_PARAM_READABLE))
        continue;
      RowKind kind;
      gulong handler = 0;
      GtkWidget *w = new_widget (self, pspec, &kind, &handler);
      if (!w)
        continue;
      const bool writable = (pspec->flags & G_PARAM_WRITABLE) && !(pspec->flags & G_PARAM_CONSTRUCT_ONLY);
      gtk_widget_set_sensitive (w, writable || kind == RowKind::LABEL);
      gtk_widget_set_hexpand (w, TRUE);

      const char *nick = g_param_spec_get_nick (pspec);
      GtkWidget *label = gtk_label_new (nick);
      gtk_label_set_xalign (GTK_LABEL (label), 0.0f);
      gtk_widget_set_tooltip_text (label, g_param_spec_get_blurb (pspec));
      /* Named after the label, never after a combo box's current value. */
      gtk_label_set_mnemonic_widget (GTK_LABEL (label), w);
      atk_object_set_name (gtk_widget_get_accessible (w), nick);
      atk_object_set_description (gtk_widget_get_accessible (w), g_param_spec_get_blurb (pspec));
      gtk_grid_attach (GTK_GRID (self), label, 0, top, 1, 1);
      gtk_grid_attach (GTK_GRID (self), w, 1, top, 1, 1);
      top++;

      g_autofree char *signal = g_strconcat ("notify::", pspec->name, nullptr);
      const gulong notify = g_signal_connect (object, signal, G_CALLBACK (object_notify), self);
      self->rows->push_back ({ pspec, w, kind, handler, notify });
      fill_widget (self, self->rows->back ());
    }
  gtk_widget_show_all (GTK_WIDGET (self));
}

GtkWidget *
zelm_prop_editor_new (void)
{
  return GTK_WIDGET (g_object_new (ZELM_TYPE_PROP_EDITOR, nullptr));
}

static void
zelm_prop_editor_dispose (GObject *object)
{
  ZelmPropEditor *self = ZELM_PROP_EDITOR (object);
  if (self->object)
    {
      for (Row &row : *self->rows)
        g_signal_handler_disconnect (self->object, row.notify_handler);
      self->rows->clear ();
      g_clear_object (&self->object);
    }
  G_OBJECT_CLASS (zelm_prop_editor_parent_class)->dispose (object);
}

static void
zelm_prop_editor_finalize (GObject *object)
{
  ZelmPropEditor *self = ZELM_PROP_EDITOR (object);
  self->rows->~vector ();
  g_free (self->rows);
  G_OBJECT_CLASS (zelm_prop_editor_parent_class)->finalize (object);
}

static void
zelm_prop_editor_class_init (ZelmPropEditorClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  object_class->dispose = zelm_prop_editor_dispose;
  object_class->finalize = zelm_prop_editor_finalize;
}

static void
zelm_prop_editor_init (ZelmPropEditor *self)
{
  self->rows = new (g_malloc (sizeof (std::vector<Row>))) std::vector<Row> ();
  gtk_grid_set_row_spacing (GTK_GRID (self), 2);
  gtk_grid_set_column_spacing (GTK_GRID (self), 2);
}
