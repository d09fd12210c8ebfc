/* zelm-wave-canvas.cpp: interactive editor of a wave's curve and its morph
 * curves: hit tests, turns events into calls of its editing session, draws */
#include "zelm-wave-canvas.h"

#include "vorn-curve-cache.h"
#include "vorn-init.h"
#include "zelm-curve-edit.h"
#include "zelm-util.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

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

#define MARGIN        ZELM_CURVE_VIEW_MARGIN
#define MARKER_HALF   4.0
#define HOVER_HALF    5.0
#define SELECT_RADIUS 6.0
#define ZOOM_STEP     1.25 /* one wheel notch or key press */
#define SCROLL_STEP   40.0 /* pixels per wheel notch */
#define READOUT_SIZE  128

struct _ZelmWaveCanvas {
  GtkDrawingArea parent_instance;

  ZelmCurveEdit *edit; /* wave, mode, view, picture, selection, drags */
  ZelmWaveCanvasPolarity polarity;
  gboolean bipolar;
  int selected_key;
  double last_x, last_y;
  gboolean inside;
  gboolean debug;
  int debug_samples;
  gboolean fitted;   /* the view is the fit, not the user's zoom or scroll */
  gboolean panning;  /* a middle-button drag moves the view */
  double pan_x, pan_y;
  char readout[READOUT_SIZE];

  /* Debug traces, rendered when the wave's data or the view change. */
  std::vector<double> trace_double, trace_single;
};

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

static const ZelmCurveView *
view_of (ZelmWaveCanvas *c)
{
  return zelm_curve_edit_get_view (c->edit);
}

static ZelmWaveCanvasMode
mode_of (ZelmWaveCanvas *c)
{
  return ZelmWaveCanvasMode (zelm_curve_edit_get_mode (c->edit));
}

static gboolean
is_hmorph (ZelmWaveCanvas *c)
{
  return mode_of (c) == ZELM_WAVE_CANVAS_MODE_HMORPH;
}

static gboolean
is_morph_mode (ZelmWaveCanvas *c)
{
  return mode_of (c) != ZELM_WAVE_CANVAS_MODE_CURVE;
}

static VornWave *
wave_of (ZelmWaveCanvas *c)
{
  return zelm_curve_edit_get_wave (c->edit);
}

static void
render_debug_traces (ZelmWaveCanvas *c)
{
  c->trace_double.clear ();
  c->trace_single.clear ();
  VornWave *wave = wave_of (c);
  if (!c->debug || mode_of (c) != ZELM_WAVE_CANVAS_MODE_CURVE || !wave || !wave->curve ||
      VORN_CURVE_COORD_LENGTH (wave->curve) < 4)
    return;

  VornCurve *curve = wave->curve;
  const int n = c->debug_samples;
  const double start = curve->xcoords[0], width = vorn_curve_get_width (curve);
  const VornFormat formats[2] = { VORN_FORMAT_DOUBLE, VORN_FORMAT_SINGLE };
  std::vector<double> *traces[2] = { &c->trace_double, &c->trace_single };
  for (int f = 0; f < 2; f++)
    {
      vorn_curve_cache_invalidate (curve, formats[f]);
      g_autoptr (VornCurveCache) cache = vorn_curve_cache_get (curve, formats[f]);
      traces[f]->resize (n);
      vorn_curve_cache_render (cache, traces[f]->data (), n, width, start);
    }
}

/* Announces what a session call changed and redraws. */
static void
announce (ZelmWaveCanvas *c, guint changes)
{
  if (changes & ZELM_CURVE_EDIT_CHANGED_SELECTION)
    g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_SELECTED_POINT]);
  if (changes & ZELM_CURVE_EDIT_CHANGED_WAVE)
    {
      render_debug_traces (c);
      g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_WAVE]);
    }
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

/* The picture was rebuilt by a change of view or data. */
static void
refresh (ZelmWaveCanvas *c)
{
  render_debug_traces (c);
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

/* ---- drawing ----------------------------------------------------------- */

static void
screen_pos (ZelmWaveCanvas *c, VornCurve *curve, int i, double *x, double *y)
{
  zelm_curve_view_swap (view_of (c), curve->xcoords[i], curve->ycoords[i], x, y);
}

/* Strokes @curve with the current source, segment by segment: cairo
 * strokes short paths much faster than one long one, and the colours are
 * opaque, so the overlap at the joins does not show. */
static void
stroke_bezier (ZelmWaveCanvas *c, cairo_t *cr, VornCurve *curve)
{
  double x, y, x1, y1, x2, y2;
  if (curve->count == 1)
    {
      screen_pos (c, curve, 0, &x, &y);
      cairo_move_to (cr, x, y);
      cairo_line_to (cr, x, y);
      cairo_stroke (cr);
      return;
    }
  for (int s = 0; s + 1 < curve->count; s++)
    {
      screen_pos (c, curve, 3 * s, &x, &y);
      cairo_move_to (cr, x, y);
      screen_pos (c, curve, 3 * s + 1, &x1, &y1);
      screen_pos (c, curve, 3 * s + 2, &x2, &y2);
      screen_pos (c, curve, 3 * s + 3, &x, &y);
      cairo_curve_to (cr, x1, y1, x2, y2, x, y);
      cairo_stroke (cr);
    }
}

static void
diamond (cairo_t *cr, double x, double y, double half)
{
  cairo_move_to (cr, x - half, y);
  cairo_line_to (cr, x, y - half);
  cairo_line_to (cr, x + half, y);
  cairo_line_to (cr, x, y + half);
  cairo_close_path (cr);
}

static void
draw_trace (ZelmWaveCanvas *c, cairo_t *cr, const std::vector<double> &trace)
{
  const int n = int (trace.size ());
  if (n < 2)
    return;
  VornCurve *base = wave_of (c)->curve;
  const double start = base->xcoords[0], width = vorn_curve_get_width (base);
  for (int i = 0; i < n; i++)
    {
      double x, y;
      zelm_curve_view_to_canvas (view_of (c), start + width * i / (n - 1), trace[size_t (i)], &x,
                                 &y);
      if (i == 0)
        cairo_move_to (cr, x, y);
      else
        cairo_line_to (cr, x, y);
    }
  cairo_stroke (cr);
}

/* Grid lines in the canvas's own units: minor lines where snapping lands,
 * major lines labelled with their value. */
static void
draw_grid (ZelmWaveCanvas *c, cairo_t *cr)
{
  const ZelmCurveView *view = view_of (c);
  const double extent[2] = { double (view->width), double (view->height) };
  cairo_select_font_face (cr, "Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size (cr, 9.0);
  for (int axis = 0; axis < 2; axis++)
    {
      double lo, hi, major, minor;
      zelm_curve_view_axis (view, axis, &lo, &hi, &major, &minor);
      if (minor <= 0.0 || (hi - lo) / minor > 2000)
        continue;
      for (double k = std::ceil (lo / minor); k * minor <= hi; k += 1.0)
        {
          const double v = k * minor;
          const double p = std::floor (zelm_curve_view_axis_pixel (view, axis, v)) + 0.5;
          const double ratio = v / major;
          const gboolean is_major = std::abs (ratio - std::round (ratio)) < 1e-6;
          zelm_util_set_rgba_uint (cr, is_major ? 0x3a3a3aff : 0x1e1e1eff);
          if (axis == 0)
            {
              cairo_move_to (cr, p, 0);
              cairo_line_to (cr, p, extent[1]);
            }
          else
            {
              cairo_move_to (cr, 0, p);
              cairo_line_to (cr, extent[0], p);
            }
          cairo_stroke (cr);
          if (!is_major)
            continue;
          char label[32];
          g_snprintf (label, sizeof label, "%g", std::abs (v) < minor * 1e-6 ? 0.0 : v);
          zelm_util_set_rgba_uint (cr, 0x7a7a7aff);
          if (axis == 0)
            cairo_move_to (cr, p + 2, 11);
          else
            cairo_move_to (cr, 2, p - 2);
          cairo_show_text (cr, label);
          cairo_new_path (cr);
        }
    }
}

static gboolean
zelm_wave_canvas_draw (GtkWidget *widget, cairo_t *cr)
{
  ZelmWaveCanvas *c = ZELM_WAVE_CANVAS (widget);
  const ZelmCurveView *view = view_of (c);
  const double w = view->width, h = view->height;
  const double morph_pos = zelm_curve_edit_get_morph_position (c->edit);

  zelm_util_set_rgba_uint (cr, 0x000000ff);
  cairo_paint (cr);
  cairo_set_line_width (cr, 1.0);

  if (wave_of (c))
    draw_grid (c, cr);

  if (c->bipolar)
    {
      /* Value 0 on the value axis, half a pixel up so that the 1-pixel line
       * covers a whole pixel row. */
      const double y = std::floor (zelm_curve_view_axis_pixel (view, 1, 0.0)) - 0.5;
      zelm_util_set_rgba_uint (cr, 0x646464ff);
      cairo_move_to (cr, 0, y);
      cairo_line_to (cr, w, y);
      cairo_stroke (cr);
    }

  if (is_morph_mode (c) && wave_of (c) && wave_of (c)->morph)
    {
      zelm_util_set_rgba_uint (cr, 0xffffffff);
      const double at = zelm_curve_view_axis_pixel (view, is_hmorph (c) ? 1 : 0, morph_pos) + 0.5;
      if (is_hmorph (c))
        {
          cairo_move_to (cr, 0, at);
          cairo_line_to (cr, w, at);
        }
      else
        {
          cairo_move_to (cr, at, 0);
          cairo_line_to (cr, at, h);
        }
      cairo_stroke (cr);
    }

  if (c->readout[0])
    {
      cairo_select_font_face (cr, "Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
      cairo_set_font_size (cr, 11.0);
      zelm_util_set_rgba_uint (cr, 0xe0e0e0ff);
      cairo_move_to (cr, MARGIN + 4, h - MARGIN - 4);
      cairo_show_text (cr, c->readout);
      cairo_new_path (cr);
    }

  VornCurve *curve = zelm_curve_edit_get_curve (c->edit);
  if (!curve || curve->count < 1)
    return TRUE;

  cairo_set_line_width (cr, 2.0);
  zelm_util_set_rgba_uint (cr, 0x8c8c8cff);
  guint n_bg;
  VornCurve *const *bg = zelm_curve_edit_get_backgrounds (c->edit, &n_bg);
  for (guint i = 0; i < n_bg; i++)
    stroke_bezier (c, cr, bg[i]);

  static const guint32 curve_colors[3] = { 0x0064ffff, 0x6400ffff, 0x64ff00ff };
  cairo_set_line_width (cr, 1.0);
  zelm_util_set_rgba_uint (cr, curve_colors[mode_of (c)]);
  stroke_bezier (c, cr, curve);

  if (!c->trace_double.empty ())
    {
      cairo_set_line_width (cr, 5.0);
      cairo_set_source_rgba (cr, 0, 1, 0, 0.3);
      draw_trace (c, cr, c->trace_double);
      cairo_set_source_rgba (cr, 1, 0, 0, 0.3);
      draw_trace (c, cr, c->trace_single);
      cairo_set_line_width (cr, 1.0);
    }

  /* Handle lines: each point to the handles it has.  Stroked one by one:
   * cairo's stroker handles many short separate lines far faster than one
   * path of them all, and only the lines' ends (under the markers) overlap. */
  const int len = VORN_CURVE_COORD_LENGTH (curve);
  const int hover = zelm_curve_edit_get_hover (c->edit);
  zelm_util_set_rgba_uint (cr, 0xffffff50);
  for (int p = 0; p < len; p += 3)
    {
      double px, py, hx, hy;
      screen_pos (c, curve, p, &px, &py);
      for (int hnd : { p - 1, p + 1 })
        if (hnd >= 0 && hnd < len)
          {
            screen_pos (c, curve, hnd, &hx, &hy);
            cairo_move_to (cr, px, py);
            cairo_line_to (cr, hx, hy);
            cairo_stroke (cr);
          }
    }

  zelm_util_set_rgba_uint (cr, 0xffffff80);
  for (int i = 0; i < len; i++)
    if (i != hover)
      {
        double x, y;
        screen_pos (c, curve, i, &x, &y);
        diamond (cr, x, y, MARKER_HALF);
      }
  cairo_fill (cr);

  if (hover >= 0 && hover < len)
    {
      double x, y;
      screen_pos (c, curve, hover, &x, &y);
      zelm_util_set_rgba_uint (cr, 0xffff00c0);
      diamond (cr, x, y, HOVER_HALF);
      cairo_fill (cr);
    }

  cairo_set_line_width (cr, 2.0);
  zelm_util_set_rgba_uint (cr, 0xffffffc0);
  if (const int s = zelm_curve_edit_get_selected (c->edit); s >= 0 && s < len)
      {
        double x, y;
        screen_pos (c, curve, s, &x, &y);
        cairo_new_sub_path (cr);
        cairo_arc (cr, x, y, SELECT_RADIUS, 0, 2 * G_PI);
        cairo_stroke (cr);
      }
  return TRUE;
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
