/* zelm-wave-canvas.cpp: interactive editor of a wave's curve and its morph
 * curves: hit tests, turns events into calls of its editing session, keeps
 * its view (drawing in zelm-wave-canvas-draw.cpp) */
#include "zelm-wave-canvas-private.h"

#include "vorn-init.h"

#include <cmath>
#include <cstdio>
#include <new>

enum {
  PROP_0,
  PROP_MODE,
  PROP_WAVE,
  PROP_POLARITY,
  PROP_SELECTED_POINT,
  PROP_SELECTED_KEY,
  PROP_MORPH_POSITION,
  PROP_CURVE_POINT,
  PROP_X_ZOOM, /* the view properties, in ZelmCurveView's order */
  PROP_Y_ZOOM,
  PROP_X_OFS,
  PROP_Y_OFS,
  PROP_DEBUG_RENDER,
  PROP_DEBUG_RENDER_SAMPLES,
  PROP_SNAP,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

#define ZOOM_STEP   1.25 /* one wheel notch or key press */
#define SCROLL_STEP 40.0 /* pixels per wheel notch */

G_DEFINE_FINAL_TYPE (ZelmWaveCanvas, zelm_wave_canvas, GTK_TYPE_DRAWING_AREA)

GType
zelm_wave_canvas_mode_get_type (void)
{
  static gsize type_id = 0;
  if (g_once_init_enter (&type_id))
    {
      static const GEnumValue values[] = {
        { ZELM_WAVE_CANVAS_MODE_CURVE, "ZELM_WAVE_CANVAS_MODE_CURVE", "curve" },
        { ZELM_WAVE_CANVAS_MODE_HMORPH, "ZELM_WAVE_CANVAS_MODE_HMORPH", "hmorph" },
        { ZELM_WAVE_CANVAS_MODE_VMORPH, "ZELM_WAVE_CANVAS_MODE_VMORPH", "vmorph" },
        { 0, nullptr, nullptr },
      };
      g_once_init_leave (&type_id, g_enum_register_static ("ZelmWaveCanvasMode", values));
    }
  return type_id;
}

GType
zelm_wave_canvas_polarity_get_type (void)
{
  static gsize type_id = 0;
  if (g_once_init_enter (&type_id))
    {
      static const GEnumValue values[] = {
        { ZELM_WAVE_CANVAS_POLARITY_AUTO, "ZELM_WAVE_CANVAS_POLARITY_AUTO", "Auto" },
        { ZELM_WAVE_CANVAS_POLARITY_UNIPOLAR, "ZELM_WAVE_CANVAS_POLARITY_UNIPOLAR", "Unipolar" },
        { ZELM_WAVE_CANVAS_POLARITY_BIPOLAR, "ZELM_WAVE_CANVAS_POLARITY_BIPOLAR", "Bipolar" },
        { 0, nullptr, nullptr },
      };
      g_once_init_leave (&type_id, g_enum_register_static ("ZelmWaveCanvasPolarity", values));
    }
  return type_id;
}

/* ---- session ----------------------------------------------------------- */

/* Announces what a session call changed and redraws. */
static void
announce (ZelmWaveCanvas *c, guint changes)
{
  if (changes & ZELM_CURVE_EDIT_CHANGED_SELECTION)
    g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_SELECTED_POINT]);
  if (changes & ZELM_CURVE_EDIT_CHANGED_WAVE)
    {
      zelm_wave_canvas_render_debug_traces (c);
      g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_WAVE]);
    }
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

/* The picture was rebuilt by a change of view or data. */
static void
refresh (ZelmWaveCanvas *c)
{
  zelm_wave_canvas_render_debug_traces (c);
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

static void
rehover (ZelmWaveCanvas *c)
{
  const int hover = c->inside ? zelm_curve_edit_find_coord (c->edit, c->last_x, c->last_y) : -1;
  if (hover == zelm_curve_edit_get_hover (c->edit))
    return;
  zelm_curve_edit_set_hover (c->edit, hover);
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

/* Values of widget pixel (@x, @y) in the canvas's own terms. */
static void
pixel_value (ZelmWaveCanvas *c, double x, double y, double *vx, double *vy)
{
  double cx, cy;
  zelm_curve_view_swap (view_of (c), x, y, &cx, &cy);
  zelm_curve_view_from_canvas (view_of (c), cx, cy, vx, vy);
}

static void
update_readout (ZelmWaveCanvas *c)
{
  c->readout[0] = '\0';
  if (!wave_of (c) || !zelm_curve_edit_get_curve (c->edit))
    return;
  const char *xn = is_morph_mode (c) ? "pos" : "x", *yn = is_morph_mode (c) ? "value" : "y";
  double vx, vy;
  int n = 0;
  if (c->inside)
    {
      pixel_value (c, c->last_x, c->last_y, &vx, &vy);
      n = g_snprintf (c->readout, READOUT_SIZE, "%s %.4g  %s %.4g", xn, vx, yn, vy);
    }
  const int sel = zelm_curve_edit_get_selected (c->edit);
  if (zelm_curve_edit_is_dragging (c->edit) && n >= 0 && n < READOUT_SIZE &&
      zelm_curve_edit_get_value (c->edit, sel, &vx, &vy))
    g_snprintf (c->readout + n, READOUT_SIZE - size_t (n), "%s%s %d: %s %.4g  %s %.4g",
                n ? "    " : "", sel % 3 ? "handle" : "point", sel, xn, vx, yn, vy);
}

/* Takes a new view, announcing the view properties it changed. */
static void
apply_view (ZelmWaveCanvas *c, const ZelmCurveView *view)
{
  ZelmCurveView old = *view_of (c), next = *view;
  zelm_curve_edit_set_view (c->edit, &next);
  g_object_freeze_notify (G_OBJECT (c));
  for (guint p = 0; p < ZELM_CURVE_VIEW_N_PROPS; p++)
    if (*zelm_curve_view_field (&old, p) != *zelm_curve_view_field (&next, p))
      g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_X_ZOOM + p]);
  g_object_thaw_notify (G_OBJECT (c));
  update_readout (c);
  refresh (c);
}

/* The user's own zoom or scroll: kept until the next fit. */
static void
user_view (ZelmWaveCanvas *c, const ZelmCurveView *view)
{
  c->fitted = FALSE;
  apply_view (c, view);
}

static void
zoom_at (ZelmWaveCanvas *c, double x, double y, double factor)
{
  ZelmCurveView view = *view_of (c);
  /* The morph position axis of a morph canvas keeps its 0 to 1. */
  const double fx = mode_of (c) == ZELM_WAVE_CANVAS_MODE_VMORPH ? 1.0 : factor;
  const double fy = is_hmorph (c) ? 1.0 : factor;
  zelm_curve_view_zoom_at (&view, x, y, fx, fy);
  user_view (c, &view);
}

/* ---- events ------------------------------------------------------------ */

/* Alt suspends snapping: Shift and Control already choose how a drag
 * moves handles. */
static guint
modifiers_of (guint state)
{
  return ((state & GDK_SHIFT_MASK) ? guint (ZELM_CURVE_EDIT_SHIFT) : 0u) |
         ((state & GDK_CONTROL_MASK) ? guint (ZELM_CURVE_EDIT_CONTROL) : 0u) |
         ((state & GDK_MOD1_MASK) ? guint (ZELM_CURVE_EDIT_NO_SNAP) : 0u);
}

static void
on_motion (ZelmWaveCanvas *c, GdkEventMotion *event)
{
  c->last_x = event->x;
  c->last_y = event->y;
  c->inside = TRUE;
  if (c->panning)
    {
      ZelmCurveView view = *view_of (c);
      zelm_curve_view_scroll (&view, event->x - c->pan_x, event->y - c->pan_y);
      c->pan_x = event->x;
      c->pan_y = event->y;
      user_view (c, &view);
      return;
    }
  if (zelm_curve_edit_is_dragging (c->edit))
    announce (c, zelm_curve_edit_move (c->edit, event->x, event->y, modifiers_of (event->state)));
  else
    rehover (c);
  update_readout (c);
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

static void
on_scroll (ZelmWaveCanvas *c, GdkEventScroll *event)
{
  double dy = 0.0, dx = 0.0;
  switch (event->direction)
    {
    case GDK_SCROLL_UP:
      dy = -1.0;
      break;
    case GDK_SCROLL_DOWN:
      dy = 1.0;
      break;
    case GDK_SCROLL_LEFT:
      dx = -1.0;
      break;
    case GDK_SCROLL_RIGHT:
      dx = 1.0;
      break;
    case GDK_SCROLL_SMOOTH:
      gdk_event_get_scroll_deltas ((GdkEvent *) event, &dx, &dy);
      break;
    default:
      return;
    }
  if (event->state & GDK_CONTROL_MASK)
    {
      if (dy != 0.0)
        zoom_at (c, event->x, event->y, std::pow (ZOOM_STEP, -dy));
      return;
    }
  if (event->state & GDK_SHIFT_MASK)
    std::swap (dx, dy);
  ZelmCurveView view = *view_of (c);
  zelm_curve_view_scroll (&view, -dx * SCROLL_STEP, -dy * SCROLL_STEP);
  user_view (c, &view);
}

static void
on_button_press (ZelmWaveCanvas *c, GdkEventButton *event)
{
  if (event->button == GDK_BUTTON_MIDDLE && event->type == GDK_BUTTON_PRESS)
    {
      c->panning = TRUE;
      c->pan_x = event->x;
      c->pan_y = event->y;
      return;
    }
  if (event->button != GDK_BUTTON_PRIMARY)
    return;
  c->last_x = event->x;
  c->last_y = event->y;
  if (event->type == GDK_2BUTTON_PRESS)
    {
      const guint changes = zelm_curve_edit_insert (c->edit, event->x, event->y);
      if (changes)
        announce (c, changes);
      return;
    }
  if (event->type != GDK_BUTTON_PRESS)
    return;
  gtk_widget_grab_focus (GTK_WIDGET (c));
  const int hover = zelm_curve_edit_get_hover (c->edit);
  if (hover < 0 || zelm_curve_edit_is_dragging (c->edit))
    return;
  announce (c, zelm_curve_edit_begin (c->edit, hover, event->x, event->y));
}

static void
on_button_release (ZelmWaveCanvas *c, GdkEventButton *event)
{
  if (event->button == GDK_BUTTON_MIDDLE)
    c->panning = FALSE;
  if (event->button != GDK_BUTTON_PRIMARY)
    return;
  zelm_curve_edit_commit (c->edit);
  rehover (c);
  update_readout (c);
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

static gboolean
is_modifier_key (guint keyval, GdkModifierType *mask)
{
  switch (keyval)
    {
    case GDK_KEY_Shift_L:
    case GDK_KEY_Shift_R:
      *mask = GDK_SHIFT_MASK;
      return TRUE;
    case GDK_KEY_Control_L:
    case GDK_KEY_Control_R:
      *mask = GDK_CONTROL_MASK;
      return TRUE;
    default:
      return FALSE;
    }
}

static gboolean
on_key (ZelmWaveCanvas *c, GdkEventKey *event)
{
  const gboolean press = event->type == GDK_KEY_PRESS;
  GdkModifierType mask;
  if (is_modifier_key (event->keyval, &mask))
    {
      /* The state of a key event is the one before it: a modifier changed
       * in mid-drag takes effect at once, without waiting for motion. */
      if (zelm_curve_edit_is_dragging (c->edit))
        {
          guint state = event->state;
          state = press ? (state | mask) : (state & ~guint (mask));
          announce (c, zelm_curve_edit_set_modifiers (c->edit, modifiers_of (state)));
        }
      return FALSE;
    }
  if (!press)
    return FALSE;

  if (event->state & GDK_CONTROL_MASK)
    switch (event->keyval)
      {
      case GDK_KEY_plus:
      case GDK_KEY_equal:
      case GDK_KEY_KP_Add:
        zelm_wave_canvas_zoom (c, ZOOM_STEP);
        return TRUE;
      case GDK_KEY_minus:
      case GDK_KEY_KP_Subtract:
        zelm_wave_canvas_zoom (c, 1.0 / ZOOM_STEP);
        return TRUE;
      case GDK_KEY_0:
      case GDK_KEY_KP_0:
        zelm_wave_canvas_fit (c);
        return TRUE;
      default:
        break;
      }

  switch (event->keyval)
    {
    case GDK_KEY_Escape:
      if (zelm_curve_edit_is_dragging (c->edit))
        {
          announce (c, zelm_curve_edit_cancel (c->edit));
          rehover (c);
        }
      return TRUE;
    case GDK_KEY_BackSpace:
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete:
      if (const guint changes = zelm_curve_edit_delete_selected (c->edit))
        {
          rehover (c);
          announce (c, changes);
        }
      return TRUE;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
      announce (c, zelm_curve_edit_step (c->edit, -1));
      return TRUE;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
      announce (c, zelm_curve_edit_step (c->edit, 1));
      return TRUE;
    default:
      return FALSE;
    }
}

static gboolean
zelm_wave_canvas_event (GtkWidget *widget, GdkEvent *event)
{
  ZelmWaveCanvas *c = ZELM_WAVE_CANVAS (widget);

  switch (event->type)
    {
    case GDK_MOTION_NOTIFY:
      on_motion (c, &event->motion);
      return TRUE;
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
      on_button_press (c, &event->button);
      return TRUE;
    case GDK_BUTTON_RELEASE:
      on_button_release (c, &event->button);
      return TRUE;
    case GDK_SCROLL:
      on_scroll (c, &event->scroll);
      return TRUE;
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE:
      return on_key (c, &event->key);
    case GDK_ENTER_NOTIFY:
      c->inside = TRUE;
      return TRUE;
    case GDK_LEAVE_NOTIFY:
      c->inside = FALSE;
      if (!zelm_curve_edit_is_dragging (c->edit))
        rehover (c);
      update_readout (c);
      gtk_widget_queue_draw (widget);
      return TRUE;
    case GDK_GRAB_BROKEN:
      /* The release will never come: keep what the drag did so far. */
      zelm_curve_edit_commit (c->edit);
      c->panning = FALSE;
      return FALSE;
    default:
      return GTK_WIDGET_CLASS (zelm_wave_canvas_parent_class)->event
               ? GTK_WIDGET_CLASS (zelm_wave_canvas_parent_class)->event (widget, event)
               : FALSE;
    }
}

/* ---- view and properties ----------------------------------------------- */

/* Fits the view to the polarity and the wave, announcing the view values
 * that changed. */
static void
apply_polarity (ZelmWaveCanvas *c)
{
  ZelmCurveView view = *view_of (c);
  VornWave *wave = wave_of (c);
  c->bipolar = zelm_curve_view_fit_morph (&view, ZelmCurveViewFit (c->polarity),
                                          wave ? wave->curve : nullptr,
                                          wave ? wave->morph : nullptr,
                                          mode_of (c) != ZELM_WAVE_CANVAS_MODE_VMORPH);
  c->fitted = TRUE;
  apply_view (c, &view);
}

static void
set_view_value (ZelmWaveCanvas *c, guint which, double value, GParamSpec *pspec)
{
  ZelmCurveView view = *view_of (c);
  double *field = zelm_curve_view_field (&view, which);
  if (*field == value)
    return;
  *field = value;
  c->fitted = FALSE;
  zelm_curve_edit_set_view (c->edit, &view);
  refresh (c);
  g_object_notify_by_pspec (G_OBJECT (c), pspec);
}

static void
set_mode (ZelmWaveCanvas *c, ZelmWaveCanvasMode mode)
{
  if (mode_of (c) == mode)
    return;
  zelm_curve_edit_set_mode (c->edit, ZelmCurveEditMode (mode));
  apply_polarity (c);
  g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_MODE]);
}

static void
zelm_wave_canvas_init (ZelmWaveCanvas *c)
{
  new (&c->trace_double) std::vector<double> ();
  new (&c->trace_single) std::vector<double> ();

  c->edit = zelm_curve_edit_new ();
  zelm_curve_edit_set_snap (c->edit, TRUE);
  c->bipolar = TRUE;
  c->fitted = TRUE;
  c->debug_samples = 2000;

  gtk_widget_set_can_focus (GTK_WIDGET (c), TRUE);
  gtk_widget_add_events (GTK_WIDGET (c),
                         GDK_POINTER_MOTION_MASK | GDK_BUTTON1_MOTION_MASK |
                           GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_KEY_PRESS_MASK |
                           GDK_KEY_RELEASE_MASK | GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK |
                           GDK_BUTTON2_MOTION_MASK | GDK_SCROLL_MASK);
}

static void
zelm_wave_canvas_finalize (GObject *object)
{
  ZelmWaveCanvas *c = ZELM_WAVE_CANVAS (object);

  zelm_curve_edit_free (c->edit);
  c->trace_double.~vector ();
  c->trace_single.~vector ();
  G_OBJECT_CLASS (zelm_wave_canvas_parent_class)->finalize (object);
}

static void
zelm_wave_canvas_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmWaveCanvas *c = ZELM_WAVE_CANVAS (object);

  switch (prop_id)
    {
    case PROP_MODE:
      g_value_set_enum (value, mode_of (c));
      break;
    case PROP_WAVE:
      g_value_set_object (value, wave_of (c));
      break;
    case PROP_POLARITY:
      g_value_set_enum (value, c->polarity);
      break;
    case PROP_SELECTED_POINT:
      g_value_set_int (value, zelm_curve_edit_get_selected (c->edit));
      break;
    case PROP_SELECTED_KEY:
      g_value_set_int (value, c->selected_key);
      break;
    case PROP_MORPH_POSITION:
      g_value_set_double (value, zelm_curve_edit_get_morph_position (c->edit));
      break;
    case PROP_CURVE_POINT:
      g_value_set_int (value, zelm_curve_edit_get_curve_point (c->edit));
      break;
    case PROP_X_ZOOM:
    case PROP_Y_ZOOM:
    case PROP_X_OFS:
    case PROP_Y_OFS:
      {
        ZelmCurveView view = *view_of (c);
        g_value_set_double (value, *zelm_curve_view_field (&view, prop_id - PROP_X_ZOOM));
      }
      break;
    case PROP_DEBUG_RENDER:
      g_value_set_boolean (value, c->debug);
      break;
    case PROP_DEBUG_RENDER_SAMPLES:
      g_value_set_int (value, c->debug_samples);
      break;
    case PROP_SNAP:
      g_value_set_boolean (value, zelm_curve_edit_get_snap (c->edit));
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
zelm_wave_canvas_set_property (GObject *object, guint prop_id, const GValue *value,
                               GParamSpec *pspec)
{
  ZelmWaveCanvas *c = ZELM_WAVE_CANVAS (object);

  switch (prop_id)
    {
    case PROP_MODE:
      set_mode (c, ZelmWaveCanvasMode (g_value_get_enum (value)));
      break;
    case PROP_WAVE:
      zelm_wave_canvas_set_wave (c, static_cast<VornWave *> (g_value_get_object (value)));
      break;
    case PROP_POLARITY:
      zelm_wave_canvas_set_polarity (c, ZelmWaveCanvasPolarity (g_value_get_enum (value)));
      break;
    case PROP_SELECTED_POINT:
      announce (c, zelm_curve_edit_set_selected (c->edit, g_value_get_int (value)));
      break;
    case PROP_SELECTED_KEY:
      if (c->selected_key != g_value_get_int (value))
        {
          c->selected_key = g_value_get_int (value);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_MORPH_POSITION:
      if (zelm_curve_edit_get_morph_position (c->edit) != g_value_get_double (value))
        {
          zelm_curve_edit_set_morph_position (c->edit, g_value_get_double (value));
          refresh (c);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_CURVE_POINT:
      if (zelm_curve_edit_get_curve_point (c->edit) != g_value_get_int (value))
        {
          zelm_curve_edit_set_curve_point (c->edit, g_value_get_int (value));
          refresh (c);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_X_ZOOM:
    case PROP_Y_ZOOM:
    case PROP_X_OFS:
    case PROP_Y_OFS:
      set_view_value (c, prop_id - PROP_X_ZOOM, g_value_get_double (value), pspec);
      break;
    case PROP_DEBUG_RENDER:
      if (c->debug != g_value_get_boolean (value))
        {
          c->debug = g_value_get_boolean (value);
          refresh (c);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_DEBUG_RENDER_SAMPLES:
      if (c->debug_samples != g_value_get_int (value))
        {
          c->debug_samples = g_value_get_int (value);
          refresh (c);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_SNAP:
      if (zelm_curve_edit_get_snap (c->edit) != g_value_get_boolean (value))
        {
          zelm_curve_edit_set_snap (c->edit, g_value_get_boolean (value));
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
zelm_wave_canvas_size_allocate (GtkWidget *widget, GtkAllocation *allocation)
{
  ZelmWaveCanvas *c = ZELM_WAVE_CANVAS (widget);

  GTK_WIDGET_CLASS (zelm_wave_canvas_parent_class)->size_allocate (widget, allocation);
  ZelmCurveView view = *view_of (c);
  if (view.width == allocation->width && view.height == allocation->height)
    return;
  view.width = allocation->width;
  view.height = allocation->height;
  zelm_curve_edit_set_view (c->edit, &view);
  /* The zoom is relative to the size, so a resized view shows the same
   * values; a fitted one is fitted anew. */
  if (c->fitted)
    apply_polarity (c);
  else
    refresh (c);
}

static void
zelm_wave_canvas_class_init (ZelmWaveCanvasClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  GtkWidgetClass *widget_class = GTK_WIDGET_CLASS (klass);

  object_class->finalize = zelm_wave_canvas_finalize;
  object_class->get_property = zelm_wave_canvas_get_property;
  object_class->set_property = zelm_wave_canvas_set_property;
  widget_class->size_allocate = zelm_wave_canvas_size_allocate;
  widget_class->draw = zelm_wave_canvas_draw;
  widget_class->event = zelm_wave_canvas_event;

  const auto flags = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                  G_PARAM_EXPLICIT_NOTIFY);
  const auto hidden = GParamFlags (flags | VORN_PARAM_HIDDEN);

  properties[PROP_MODE] =
    g_param_spec_enum ("mode", "Mode", "Canvas mode", ZELM_TYPE_WAVE_CANVAS_MODE,
                       ZELM_WAVE_CANVAS_MODE_CURVE, hidden);
  properties[PROP_WAVE] =
    g_param_spec_object ("wave", "Wave", "Waveform", VORN_TYPE_WAVE, flags);
  properties[PROP_POLARITY] =
    g_param_spec_enum ("polarity", "Polarity", "Canvas amplitude polarity",
                       ZELM_TYPE_WAVE_CANVAS_POLARITY, ZELM_WAVE_CANVAS_POLARITY_AUTO, flags);
  static const char *const polarity_icons[] = { "zelm-polarity-auto", "zelm-polarity-uni",
                                                "zelm-polarity-bi", nullptr };
  g_param_spec_set_qdata (properties[PROP_POLARITY], g_quark_from_static_string ("zelm-icons"),
                          const_cast<char **> (polarity_icons));
  properties[PROP_SELECTED_POINT] =
    g_param_spec_int ("selected-point", "SelectedPoint", "Selected point or -1", -1, G_MAXINT,
                      -1, hidden);
  properties[PROP_SELECTED_KEY] =
    g_param_spec_int ("selected-key", "SelectedKey", "Selected morph key or -1", 0, G_MAXINT, 0,
                      hidden);
  properties[PROP_MORPH_POSITION] =
    g_param_spec_double ("morph-position", "MorphPosition", "Morph time transform position",
                         0.0, 1.0, 0.0, flags);
  properties[PROP_CURVE_POINT] =
    g_param_spec_int ("curve-point", "CurvePoint", "Selected curve point or -1", -1, G_MAXINT,
                      -1, hidden);
  zelm_curve_view_param_specs (&properties[PROP_X_ZOOM], 0.0, 1.0);
  properties[PROP_DEBUG_RENDER] =
    g_param_spec_boolean ("debug-render", "DebugRender", "Debug rendering output", FALSE, flags);
  properties[PROP_DEBUG_RENDER_SAMPLES] =
    g_param_spec_int ("debug-render-samples", "DebugRenderSamples",
                      "Number of samples for debug rendering", 100, 10000, 2000, flags);
  properties[PROP_SNAP] =
    g_param_spec_boolean ("snap", "Snap", "Snap dragged points to the grid", TRUE, flags);

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

GtkWidget *
zelm_wave_canvas_new (void)
{
  return GTK_WIDGET (g_object_new (ZELM_TYPE_WAVE_CANVAS, nullptr));
}

void
zelm_wave_canvas_set_wave (ZelmWaveCanvas *canvas, VornWave *wave)
{
  g_return_if_fail (ZELM_IS_WAVE_CANVAS (canvas));
  g_return_if_fail (!wave || VORN_IS_WAVE (wave));

  if (wave_of (canvas) == wave)
    {
      /* The same wave: someone changed its data, show it. */
      if (!zelm_curve_edit_is_dragging (canvas->edit))
        {
          zelm_curve_edit_set_wave (canvas->edit, wave);
          if (canvas->fitted)
            apply_polarity (canvas);
          else
            refresh (canvas);
          rehover (canvas);
        }
      return;
    }

  /* The drag's wave is put back and announced while it is still shown. */
  announce (canvas, zelm_curve_edit_cancel (canvas->edit));
  g_object_freeze_notify (G_OBJECT (canvas));
  zelm_curve_edit_set_wave (canvas->edit, wave);
  if (zelm_curve_edit_get_morph_position (canvas->edit) != 0.0)
    {
      zelm_curve_edit_set_morph_position (canvas->edit, 0.0);
      g_object_notify_by_pspec (G_OBJECT (canvas), properties[PROP_MORPH_POSITION]);
    }
  if (canvas->selected_key != 0)
    {
      canvas->selected_key = 0;
      g_object_notify_by_pspec (G_OBJECT (canvas), properties[PROP_SELECTED_KEY]);
    }
  apply_polarity (canvas);
  g_object_notify_by_pspec (G_OBJECT (canvas), properties[PROP_WAVE]);
  g_object_thaw_notify (G_OBJECT (canvas));
}

VornWave *
zelm_wave_canvas_get_wave (ZelmWaveCanvas *canvas)
{
  g_return_val_if_fail (ZELM_IS_WAVE_CANVAS (canvas), nullptr);
  return wave_of (canvas);
}

void
zelm_wave_canvas_set_polarity (ZelmWaveCanvas *canvas, ZelmWaveCanvasPolarity polarity)
{
  g_return_if_fail (ZELM_IS_WAVE_CANVAS (canvas));

  const gboolean changed = canvas->polarity != polarity;
  canvas->polarity = polarity;
  apply_polarity (canvas);
  if (changed)
    g_object_notify_by_pspec (G_OBJECT (canvas), properties[PROP_POLARITY]);
}

void
zelm_wave_canvas_value_to_pixel (ZelmWaveCanvas *canvas, double x, double y, double *px,
                                 double *py)
{
  g_return_if_fail (ZELM_IS_WAVE_CANVAS (canvas));
  g_return_if_fail (px != nullptr && py != nullptr);

  zelm_curve_view_to_pixel (view_of (canvas), x, y, px, py);
}

void
zelm_wave_canvas_zoom (ZelmWaveCanvas *canvas, double factor)
{
  g_return_if_fail (ZELM_IS_WAVE_CANVAS (canvas));
  g_return_if_fail (factor > 0.0);

  const ZelmCurveView *view = view_of (canvas);
  zoom_at (canvas, view->width / 2.0, view->height / 2.0, factor);
}

void
zelm_wave_canvas_fit (ZelmWaveCanvas *canvas)
{
  g_return_if_fail (ZELM_IS_WAVE_CANVAS (canvas));
  apply_polarity (canvas);
}

const char *
zelm_wave_canvas_get_readout (ZelmWaveCanvas *canvas)
{
  g_return_val_if_fail (ZELM_IS_WAVE_CANVAS (canvas), "");
  return canvas->readout;
}

gboolean
zelm_wave_canvas_get_selected_value (ZelmWaveCanvas *canvas, double *x, double *y)
{
  g_return_val_if_fail (ZELM_IS_WAVE_CANVAS (canvas), FALSE);
  g_return_val_if_fail (x != nullptr && y != nullptr, FALSE);
  return zelm_curve_edit_get_value (canvas->edit, zelm_curve_edit_get_selected (canvas->edit), x,
                                    y);
}

gboolean
zelm_wave_canvas_set_selected_value (ZelmWaveCanvas *canvas, double x, double y)
{
  g_return_val_if_fail (ZELM_IS_WAVE_CANVAS (canvas), FALSE);
  const int sel = zelm_curve_edit_get_selected (canvas->edit);
  if (sel < 0)
    return FALSE;
  announce (canvas, zelm_curve_edit_set_value (canvas->edit, sel, x, y));
  rehover (canvas);
  return TRUE;
}
