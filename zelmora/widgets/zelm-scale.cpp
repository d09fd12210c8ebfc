/* zelm-scale.cpp: a slider for one floating-point value over many decades.
 *
 * The value is shown as coefficient × 10^exponent and edited in three rows:
 * a fine slider that nudges it relative to its own decade, a bar that sets
 * the coefficient, and a strip of boxes that sets the exponent.  Buttons at
 * the ends of the rows flip the sign and step the exponent.  A double-click,
 * Enter or a digit opens an entry for typing the value in its unit. */
#include "zelm-scale-private.h"

#include "zelm-util.h"

#include <cmath>

enum {
  PROP_0,
  PROP_VALUE,
  PROP_MIN_VAL,
  PROP_MAX_VAL,
  PROP_DIGITS,
  PROP_SENS,
  PROP_MARGIN,
  PROP_TEXT_SIZE,
  PROP_SLIDER_PORTION,
  PROP_UNIT,
  PROP_BG_COLOR,
  PROP_FG_COLOR,
  PROP_CENTER_COLOR,
  PROP_SLIDE_COLOR1,
  PROP_SLIDE_COLOR2,
  PROP_COEFF_COLOR,
  PROP_EXP_COLOR1,
  PROP_EXP_COLOR2,
  PROP_ACTIVE_COLOR,
  PROP_INACTIVE_COLOR,
  PROP_HIGHLIGHT_COLOR,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

enum {
  VALUE_CHANGED,
  N_SIGNALS
};

static guint signals[N_SIGNALS];

static const struct {
  const char *name, *nick, *blurb;
  guint32 declared; /* the property's default */
  guint32 initial;  /* what a new scale draws with */
} color_props[N_COLORS] = {
  { "bg-color", "BgColor", "Background color", 0x00000000, 0x00000000 },
  { "fg-color", "FgColor", "Foreground color", 0xffffffff, 0xffffffff },
  { "center-color", "CenterColor", "Center line color", 0xffffff80, 0xffffff80 },
  { "slide-color1", "SlideColor1", "Slider color 1", 0x004080ff, 0x004080ff },
  { "slide-color2", "SlideColor2", "Slider color 2", 0x0060c0ff, 0x0060c0ff },
  { "coeff-color", "CoeffColor", "Coefficient control color", 0x6080ffff, 0x6080ffff },
  { "exp-color1", "ExpColor1", "Exponent control color 1", 0x00c000ff, 0x00c000ff },
  /* Merged groups of three start out yellow so they stand apart from single
   * boxes; the declared default stays green as published. */
  { "exp-color2", "ExpColor2", "Exponent control color 2", 0x00c000ff, 0xc0c000ff },
  { "active-color", "ActiveColor", "Active button color", 0x00c000ff, 0x00c000ff },
  { "inactive-color", "InactiveColor", "Inactive button color", 0x404040ff, 0x404040ff },
  { "highlight-color", "HighlightColor", "Highlight button color", 0x606060ff, 0x606060ff },
};

enum DragMode {
  DRAG_NONE,
  DRAG_FINE,
  DRAG_COEFF,
  DRAG_EXP,
};

G_DEFINE_FINAL_TYPE (ZelmScale, zelm_scale, GTK_TYPE_DRAWING_AREA)

/* Stores @v, redraws, notifies "value" when it changed and, for the user's
 * edits (@emit), reports it with "value-changed". */
static void
store_value (ZelmScale *scale, double v, gboolean emit)
{
  if (!zelm_scale_same_value (v, scale->value) || std::signbit (v) != std::signbit (scale->value))
    {
      scale->value = v;
      g_object_notify_by_pspec (G_OBJECT (scale), properties[PROP_VALUE]);
    }
  gtk_widget_queue_draw (GTK_WIDGET (scale));
  if (emit)
    g_signal_emit (scale, signals[VALUE_CHANGED], 0, scale->value);
}

static void
user_value (ZelmScale *scale, double v)
{
  store_value (scale, zelm_scale_clamp (v, scale->min_val, scale->max_val), TRUE);
}

static PangoLayout *
text_layout (ZelmScale *scale)
{
  if (!scale->text)
    {
      scale->text = gtk_widget_create_pango_layout (GTK_WIDGET (scale), nullptr);
      PangoFontDescription *font = pango_font_description_new ();
      pango_font_description_set_family_static (font, "Monospace");
      pango_font_description_set_absolute_size (font, scale->text_size * PANGO_SCALE);
      pango_layout_set_font_description (scale->text, font);
      pango_font_description_free (font);
    }
  g_autofree char *text = zelm_value_text_format (scale->value, scale->unit, scale->digits == 0, 4);
  pango_layout_set_text (scale->text, text, -1);
  return scale->text;
}

const Layout &
zelm_scale_update_layout (ZelmScale *scale)
{
  Layout &l = scale->lay;
  int tw, th;
  pango_layout_get_pixel_size (text_layout (scale), &tw, &th);
  zelm_scale_layout (&l, scale->width, scale->height, scale->margin, scale->slider_portion, th);
  l.text_w = tw;
  return l;
}

static int
button_at (ZelmScale *scale, double x, double y)
{
  const Layout &l = scale->lay;
  int row = zelm_scale_row_at (&l, y);
  if (!row)
    return BUTTON_NONE;
  if (x >= l.m && x <= l.m + l.b)
    return 2 * row - 1;
  if (x >= scale->width - l.m - l.b && x <= scale->width - l.m)
    return 2 * row;
  return BUTTON_NONE;
}

static bool
in_track (const Layout &l, double x)
{
  return x >= l.track_x && x <= l.track_x + l.track_w;
}

/* ---- editing ---------------------------------------------------------- */

static void
set_sign (ZelmScale *scale, gboolean positive)
{
  const double v = zelm_scale_sign_value (scale->value, positive, scale->min_val, scale->max_val);
  if (!zelm_scale_same_value (v, scale->value))
    store_value (scale, v, TRUE);
}

static void
step_exponent (ZelmScale *scale, int dir)
{
  user_value (scale, zelm_scale_step_exponent (scale->value, dir));
}

static void
drag_fine (ZelmScale *scale, double px)
{
  const double dx = px - scale->drag_x;
  scale->stripe_offset = dx;
  user_value (scale, zelm_scale_fine_value (scale->drag_value, dx, scale->lay.track_w, scale->sens,
                                            scale->control));
}

static void
drag_coeff (ZelmScale *scale, double px)
{
  const Layout &l = scale->lay;
  if (!(l.track_w > 0))
    return;
  user_value (scale, zelm_scale_coeff_value (scale->drag_value, px - l.track_x, l.track_w,
                                             scale->control));
}

static void
drag_exp (ZelmScale *scale, double px, gboolean press)
{
  user_value (scale, zelm_scale_exp_value (scale->value, zelm_scale_exp_box_at (&scale->lay, px), press));
}

static void
drag_to (ZelmScale *scale, double px)
{
  scale->last_x = px;
  switch (scale->drag_mode)
    {
    case DRAG_FINE:
      drag_fine (scale, px);
      break;
    case DRAG_COEFF:
      drag_coeff (scale, px);
      break;
    case DRAG_EXP:
      drag_exp (scale, px, FALSE);
      break;
    default:
      break;
    }
}

static void
end_drag (ZelmScale *scale)
{
  if (scale->drag_mode == DRAG_FINE)
    {
      scale->stripe_offset = 0;
      gtk_widget_queue_draw (GTK_WIDGET (scale));
    }
  scale->drag_mode = DRAG_NONE;
}

/* ---- typing the value -------------------------------------------------- */

static void
show_error (ZelmScale *scale, const char *why)
{
  GtkEntry *entry = GTK_ENTRY (scale->entry);
  gtk_entry_set_icon_from_icon_name (entry, GTK_ENTRY_ICON_SECONDARY,
                                     why ? "dialog-error-symbolic" : nullptr);
  gtk_entry_set_icon_tooltip_text (entry, GTK_ENTRY_ICON_SECONDARY, why);
  gtk_label_set_text (GTK_LABEL (scale->error), why ? why : "");
  gtk_widget_set_visible (scale->error, why != nullptr);
}

static void
entry_activated (GtkEntry *entry, ZelmScale *scale)
{
  double v = 0;
  g_autofree char *why = nullptr;
  if (!zelm_value_text_parse (gtk_entry_get_text (entry), scale->unit, scale->digits == 0,
                              scale->min_val, scale->max_val, &v, &why))
    {
      /* Refused text stays for correcting; the value is untouched. */
      show_error (scale, why);
      return;
    }
  gtk_popover_popdown (GTK_POPOVER (scale->popover));
  store_value (scale, v, TRUE);
}

static void
entry_changed (GtkEditable *, ZelmScale *scale)
{
  show_error (scale, nullptr);
}

/* Escape closes the popover by itself: closing without Enter takes nothing. */
static void
popover_closed (GtkPopover *, ZelmScale *scale)
{
  gtk_widget_grab_focus (GTK_WIDGET (scale));
}

static void
make_entry (ZelmScale *scale)
{
  scale->popover = gtk_popover_new (GTK_WIDGET (scale));
  gtk_popover_set_position (GTK_POPOVER (scale->popover), GTK_POS_BOTTOM);
  GtkWidget *box = gtk_box_new (GTK_ORIENTATION_VERTICAL, 4);
  g_object_set (box, "margin", 6, nullptr);
  scale->entry = gtk_entry_new ();
  gtk_entry_set_width_chars (GTK_ENTRY (scale->entry), 16);
  scale->error = gtk_label_new (nullptr);
  gtk_label_set_xalign (GTK_LABEL (scale->error), 0.0f);
  gtk_label_set_line_wrap (GTK_LABEL (scale->error), TRUE);
  gtk_label_set_max_width_chars (GTK_LABEL (scale->error), 28);
  gtk_style_context_add_class (gtk_widget_get_style_context (scale->error), "error");
  gtk_container_add (GTK_CONTAINER (box), scale->entry);
  gtk_container_add (GTK_CONTAINER (box), scale->error);
  gtk_widget_show_all (box);
  gtk_widget_hide (scale->error);
  gtk_container_add (GTK_CONTAINER (scale->popover), box);
  g_signal_connect (scale->entry, "activate", G_CALLBACK (entry_activated), scale);
  g_signal_connect (scale->entry, "changed", G_CALLBACK (entry_changed), scale);
  g_signal_connect (scale->popover, "closed", G_CALLBACK (popover_closed), scale);
}

/* Opens the entry below the value text, holding @text (the typed start) or
 * the whole value, selected for replacing. */
static void
open_entry (ZelmScale *scale, const char *text)
{
  if (!gtk_widget_get_realized (GTK_WIDGET (scale)))
    return;
  if (!scale->popover)
    make_entry (scale);
  const Layout &l = zelm_scale_update_layout (scale);
  const GdkRectangle at = { int (l.track_x), int (l.coeff_y), MAX (int (l.track_w), 1),
                            MAX (int (l.k), 1) };
  gtk_popover_set_pointing_to (GTK_POPOVER (scale->popover), &at);

  /* Ten digits: Enter on the text as shown keeps the value. */
  g_autofree char *full =
    zelm_value_text_format (scale->value, scale->unit, scale->digits == 0, 10);
  AtkObject *acc = gtk_widget_get_accessible (GTK_WIDGET (scale));
  const char *name = acc ? atk_object_get_name (acc) : nullptr;
  atk_object_set_name (gtk_widget_get_accessible (scale->entry), name && *name ? name : "Value");
  gtk_entry_set_text (GTK_ENTRY (scale->entry), text ? text : full);
  show_error (scale, nullptr);
  gtk_popover_popup (GTK_POPOVER (scale->popover));
  gtk_widget_grab_focus (scale->entry);
  if (text)
    gtk_editable_set_position (GTK_EDITABLE (scale->entry), -1);
  else
    gtk_editable_select_region (GTK_EDITABLE (scale->entry), 0, -1);
}

/* ---- events ----------------------------------------------------------- */

static gboolean
zelm_scale_button_press_event (GtkWidget *widget, GdkEventButton *event)
{
  ZelmScale *scale = ZELM_SCALE (widget);

  if (event->button != GDK_BUTTON_PRIMARY)
    return TRUE;
  if (event->type == GDK_2BUTTON_PRESS)
    {
      /* The first click of the pair may have moved the value: a
       * double-click only opens the entry. */
      end_drag (scale);
      if (!zelm_scale_same_value (scale->pair_value, scale->value))
        store_value (scale, scale->pair_value, TRUE);
      open_entry (scale, nullptr);
      return TRUE;
    }
  if (event->type != GDK_BUTTON_PRESS)
    return TRUE;
  gtk_widget_grab_focus (widget);
  const Layout &l = zelm_scale_update_layout (scale);
  scale->pair_value = scale->press_value;
  scale->press_value = scale->value;

  int row = zelm_scale_row_at (&l, event->y);
  if (row && in_track (l, event->x))
    {
      scale->drag_x = scale->last_x = event->x;
      scale->drag_value = scale->value;
      scale->control = (event->state & GDK_CONTROL_MASK) != 0;
      scale->drag_mode = row;
      if (row == DRAG_EXP)
        drag_exp (scale, event->x, TRUE);
      else if (row == DRAG_COEFF)
        drag_coeff (scale, event->x); /* a click sets the bar where it lands */
      return TRUE;
    }

  switch (button_at (scale, event->x, event->y))
    {
    case BUTTON_PLUS:
      set_sign (scale, TRUE);
      break;
    case BUTTON_MINUS:
      set_sign (scale, FALSE);
      break;
    case BUTTON_EXP_DOWN:
      step_exponent (scale, -1);
      break;
    case BUTTON_EXP_UP:
      step_exponent (scale, 1);
      break;
    default:
      break;
    }
  return TRUE;
}

static void
set_hover (ZelmScale *scale, int hover)
{
  if (hover == scale->hover)
    return;
  scale->hover = hover;
  gtk_widget_queue_draw (GTK_WIDGET (scale));
}

static gboolean
zelm_scale_motion_notify_event (GtkWidget *widget, GdkEventMotion *event)
{
  ZelmScale *scale = ZELM_SCALE (widget);

  zelm_scale_update_layout (scale);
  if (scale->drag_mode)
    {
      scale->control = (event->state & GDK_CONTROL_MASK) != 0;
      drag_to (scale, event->x);
    }
  else
    set_hover (scale, button_at (scale, event->x, event->y));
  return TRUE;
}

static gboolean
zelm_scale_button_release_event (GtkWidget *widget, GdkEventButton *event)
{
  if (event->button == GDK_BUTTON_PRIMARY)
    end_drag (ZELM_SCALE (widget));
  return TRUE;
}

static gboolean
zelm_scale_leave_notify_event (GtkWidget *widget, GdkEventCrossing *)
{
  ZelmScale *scale = ZELM_SCALE (widget);

  if (!scale->drag_mode)
    set_hover (scale, BUTTON_NONE);
  return FALSE;
}

static gboolean
zelm_scale_grab_broken_event (GtkWidget *widget, GdkEventGrabBroken *)
{
  /* The release will never come. */
  end_drag (ZELM_SCALE (widget));
  return FALSE;
}

static gboolean
is_control_key (guint keyval)
{
  return keyval == GDK_KEY_Control_L || keyval == GDK_KEY_Control_R;
}

static gboolean
zelm_scale_key_press_event (GtkWidget *widget, GdkEventKey *event)
{
  ZelmScale *scale = ZELM_SCALE (widget);

  if (scale->drag_mode)
    {
      if (event->keyval == GDK_KEY_Escape)
        {
          const double start = scale->drag_value;
          end_drag (scale);
          store_value (scale, start, TRUE);
          return TRUE;
        }
      /* Rounding follows Control at once, without waiting for motion. */
      if (is_control_key (event->keyval) && scale->drag_mode != DRAG_EXP)
        {
          zelm_scale_update_layout (scale);
          scale->control = TRUE;
          drag_to (scale, scale->last_x);
          return TRUE;
        }
      return GTK_WIDGET_CLASS (zelm_scale_parent_class)->key_press_event (widget, event);
    }

  if (event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter
      || event->keyval == GDK_KEY_ISO_Enter)
    {
      open_entry (scale, nullptr);
      return TRUE;
    }
  /* A digit starts typing the value. */
  const gunichar ch = gdk_keyval_to_unicode (event->keyval);
  if ((g_unichar_isdigit (ch) || ch == '.')
      && !(event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)))
    {
      char first[8] = { 0 };
      g_unichar_to_utf8 (ch, first);
      open_entry (scale, first);
      return TRUE;
    }

  double v;
  gboolean edit;
  if (!zelm_scale_key_value (event->keyval, scale->value, scale->min_val, scale->max_val, &v,
                             &edit))
    return GTK_WIDGET_CLASS (zelm_scale_parent_class)->key_press_event (widget, event);
  if (edit)
    store_value (scale, v, TRUE);
  return TRUE;
}

static gboolean
zelm_scale_key_release_event (GtkWidget *widget, GdkEventKey *event)
{
  ZelmScale *scale = ZELM_SCALE (widget);

  if (scale->drag_mode && scale->drag_mode != DRAG_EXP && is_control_key (event->keyval))
    {
      zelm_scale_update_layout (scale);
      scale->control = FALSE;
      drag_to (scale, scale->last_x);
      return TRUE;
    }
  return GTK_WIDGET_CLASS (zelm_scale_parent_class)->key_release_event (widget, event);
}

/* ---- object ----------------------------------------------------------- */

static void
zelm_scale_size_allocate (GtkWidget *widget, GtkAllocation *allocation)
{
  ZelmScale *scale = ZELM_SCALE (widget);

  GTK_WIDGET_CLASS (zelm_scale_parent_class)->size_allocate (widget, allocation);
  scale->width = allocation->width;
  scale->height = allocation->height;
}

static void
zelm_scale_get_preferred_width (GtkWidget *, int *minimum, int *natural)
{
  /* Narrow enough for a property pane; the rows scale with the width. */
  *minimum = 180;
  *natural = 300;
}

static void
zelm_scale_get_preferred_height (GtkWidget *, int *minimum, int *natural)
{
  *minimum = *natural = 80;
}

static void
zelm_scale_screen_changed (GtkWidget *widget, GdkScreen *previous)
{
  /* The cached text belongs to the old screen's font context. */
  g_clear_object (&ZELM_SCALE (widget)->text);
  if (GTK_WIDGET_CLASS (zelm_scale_parent_class)->screen_changed)
    GTK_WIDGET_CLASS (zelm_scale_parent_class)->screen_changed (widget, previous);
}

static void
zelm_scale_destroy (GtkWidget *widget)
{
  ZelmScale *scale = ZELM_SCALE (widget);

  if (scale->popover)
    {
      gtk_widget_destroy (scale->popover);
      scale->popover = scale->entry = scale->error = nullptr;
    }
  GTK_WIDGET_CLASS (zelm_scale_parent_class)->destroy (widget);
}

static void
zelm_scale_finalize (GObject *object)
{
  g_clear_object (&ZELM_SCALE (object)->text);
  G_OBJECT_CLASS (zelm_scale_parent_class)->finalize (object);
}

static void
zelm_scale_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmScale *scale = ZELM_SCALE (object);

  switch (prop_id)
    {
    case PROP_VALUE:
      g_value_set_double (value, scale->value);
      break;
    case PROP_MIN_VAL:
      g_value_set_double (value, scale->min_val);
      break;
    case PROP_MAX_VAL:
      g_value_set_double (value, scale->max_val);
      break;
    case PROP_DIGITS:
      g_value_set_int (value, scale->digits);
      break;
    case PROP_SENS:
      g_value_set_double (value, scale->sens);
      break;
    case PROP_MARGIN:
      g_value_set_double (value, scale->margin);
      break;
    case PROP_TEXT_SIZE:
      g_value_set_double (value, scale->text_size);
      break;
    case PROP_SLIDER_PORTION:
      g_value_set_double (value, scale->slider_portion);
      break;
    case PROP_UNIT:
      g_value_set_int (value, scale->unit);
      break;
    default:
      if (prop_id >= PROP_BG_COLOR && prop_id < N_PROPS)
        g_value_set_uint (value, scale->colors[prop_id - PROP_BG_COLOR]);
      else
        G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

/* Stores a double property, notifying only a change. */
static void
set_double (GObject *object, double *field, const GValue *value, GParamSpec *pspec)
{
  double v = g_value_get_double (value);
  if (zelm_scale_same_value (v, *field))
    return;
  *field = v;
  g_object_notify_by_pspec (object, pspec);
}

static void
zelm_scale_set_property (GObject *object, guint prop_id, const GValue *value, GParamSpec *pspec)
{
  ZelmScale *scale = ZELM_SCALE (object);

  switch (prop_id)
    {
    case PROP_VALUE:
      store_value (scale, g_value_get_double (value), FALSE);
      return;
    case PROP_MIN_VAL:
      set_double (object, &scale->min_val, value, pspec);
      break;
    case PROP_MAX_VAL:
      set_double (object, &scale->max_val, value, pspec);
      break;
    case PROP_DIGITS:
      if (scale->digits != g_value_get_int (value))
        {
          scale->digits = g_value_get_int (value);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_SENS:
      set_double (object, &scale->sens, value, pspec);
      break;
    case PROP_MARGIN:
      set_double (object, &scale->margin, value, pspec);
      break;
    case PROP_TEXT_SIZE:
      set_double (object, &scale->text_size, value, pspec);
      g_clear_object (&scale->text);
      break;
    case PROP_SLIDER_PORTION:
      set_double (object, &scale->slider_portion, value, pspec);
      break;
    case PROP_UNIT:
      if (int (scale->unit) != g_value_get_int (value))
        {
          scale->unit = ZelmValueUnit (g_value_get_int (value));
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    default:
      if (prop_id >= PROP_BG_COLOR && prop_id < N_PROPS)
        {
          guint32 &color = scale->colors[prop_id - PROP_BG_COLOR];
          if (color != g_value_get_uint (value))
            {
              color = g_value_get_uint (value);
              g_object_notify_by_pspec (object, pspec);
            }
        }
      else
        {
          G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
          return;
        }
      break;
    }
  gtk_widget_queue_draw (GTK_WIDGET (scale));
}

static void
zelm_scale_class_init (ZelmScaleClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  GtkWidgetClass *widget_class = GTK_WIDGET_CLASS (klass);

  object_class->finalize = zelm_scale_finalize;
  object_class->get_property = zelm_scale_get_property;
  object_class->set_property = zelm_scale_set_property;
  widget_class->destroy = zelm_scale_destroy;
  widget_class->size_allocate = zelm_scale_size_allocate;
  widget_class->get_preferred_width = zelm_scale_get_preferred_width;
  widget_class->get_preferred_height = zelm_scale_get_preferred_height;
  widget_class->screen_changed = zelm_scale_screen_changed;
  widget_class->draw = zelm_scale_draw;
  widget_class->button_press_event = zelm_scale_button_press_event;
  widget_class->button_release_event = zelm_scale_button_release_event;
  widget_class->motion_notify_event = zelm_scale_motion_notify_event;
  widget_class->leave_notify_event = zelm_scale_leave_notify_event;
  widget_class->grab_broken_event = zelm_scale_grab_broken_event;
  widget_class->key_press_event = zelm_scale_key_press_event;
  widget_class->key_release_event = zelm_scale_key_release_event;

  const auto flags = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                  G_PARAM_EXPLICIT_NOTIFY);
  /* Every double, infinities included: the value is never clamped on the
   * way in, and an unlimited range is -inf..inf. */
  const double inf = HUGE_VAL;
  properties[PROP_VALUE] =
    g_param_spec_double ("value", "Value", "Current value", -inf, inf, 0.0, flags);
  properties[PROP_MIN_VAL] =
    g_param_spec_double ("min-val", "MinVal", "Minimum value", -inf, inf, 0.0, flags);
  properties[PROP_MAX_VAL] =
    g_param_spec_double ("max-val", "MaxVal", "Maximum value", -inf, inf, 0.0, flags);
  properties[PROP_DIGITS] =
    g_param_spec_int ("digits", "Digits", "Number of decimal digits", 0, 18, 9, flags);
  properties[PROP_SENS] = g_param_spec_double ("sens", "Sens", "Slider sensitivity factor",
                                               0.001, 1.0, 0.001, flags);
  properties[PROP_MARGIN] = g_param_spec_double (
    "margin", "Margin", "Margin spacing around slider and text", 0.0, 20.0, 4.0, flags);
  properties[PROP_TEXT_SIZE] =
    g_param_spec_double ("text-size", "TextSize", "Size of value text", 0.0, 100.0, 12.0, flags);
  properties[PROP_SLIDER_PORTION] =
    g_param_spec_double ("slider-portion", "SliderPortion", "Slider vertical portion fraction",
                         0.0, 1.0, 0.5, flags);
  properties[PROP_UNIT] =
    g_param_spec_int ("unit", "Unit", "Unit the value is shown and typed in (ZelmValueUnit)", 0,
                      ZELM_VALUE_UNIT_LAST, ZELM_VALUE_UNIT_NONE, flags);
  for (int i = 0; i < N_COLORS; i++)
    properties[PROP_BG_COLOR + i] =
      g_param_spec_uint (color_props[i].name, color_props[i].nick, color_props[i].blurb, 0,
                         G_MAXUINT32, color_props[i].declared, flags);
  g_object_class_install_properties (object_class, N_PROPS, properties);

  /**
   * ZelmScale::value-changed:
   * @value: the new value
   *
   * Emitted for every change the user makes with pointer or keyboard.
   */
  signals[VALUE_CHANGED] = g_signal_new ("value-changed", G_TYPE_FROM_CLASS (klass),
                                         G_SIGNAL_RUN_FIRST, 0, nullptr, nullptr, nullptr,
                                         G_TYPE_NONE, 1, G_TYPE_DOUBLE);
}

static void
zelm_scale_init (ZelmScale *scale)
{
  GtkWidget *widget = GTK_WIDGET (scale);

  scale->digits = 9;
  scale->sens = 0.001;
  scale->margin = 4.0;
  scale->text_size = 12.0;
  scale->slider_portion = 0.5;
  for (int i = 0; i < N_COLORS; i++)
    scale->colors[i] = color_props[i].initial;

  gtk_widget_set_can_focus (widget, TRUE);
  gtk_widget_add_events (widget, GDK_POINTER_MOTION_MASK | GDK_BUTTON1_MOTION_MASK |
                                   GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                   GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK |
                                   GDK_LEAVE_NOTIFY_MASK);
}

GtkWidget *
zelm_scale_new (double min, double max, int digits)
{
  return GTK_WIDGET (g_object_new (ZELM_TYPE_SCALE, "min-val", min, "max-val", max, "digits",
                                   digits, nullptr));
}

void
zelm_scale_set_value (ZelmScale *scale, double value)
{
  g_return_if_fail (ZELM_IS_SCALE (scale));

  store_value (scale, value, FALSE);
}

double
zelm_scale_get_value (ZelmScale *scale)
{
  g_return_val_if_fail (ZELM_IS_SCALE (scale), 0.0);

  return scale->value;
}
