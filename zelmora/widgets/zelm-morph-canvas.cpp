/* zelm-morph-canvas.cpp: scrubs a wave's morph position along either morph
 * direction and snaps it to the morph keys */
#include "zelm-morph-canvas.h"

#include "zelm-curve-view.h"
#include "zelm-morph-position.h"
#include "zelm-util.h"

#include <cmath>
#include <initializer_list>

enum {
  PROP_0,
  PROP_WAVE,
  PROP_CURVE_POINT,
  PROP_MORPH_POSITION,
  PROP_X_ZOOM, /* the view properties, in ZelmCurveView's order */
  PROP_Y_ZOOM,
  PROP_X_OFS,
  PROP_Y_OFS,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

#define STRIP  ZELM_MORPH_STRIP_BREADTH
#define TICK   23.0 /* length of a key tick across its strip */

#define COLOUR_EDGE_INACTIVE 0x404040ffu
#define COLOUR_EDGE_ACTIVE   0xffffffffu
#define COLOUR_TICK_LEFT     0x6400ffffu /* the hmorph canvas's colour */
#define COLOUR_TICK_TOP      0x64ff00ffu /* the vmorph canvas's colour */
#define COLOUR_MARKER        0xffff00ffu

typedef ZelmMorphStrip Strip;
#define STRIP_LEFT ZELM_MORPH_STRIP_LEFT
#define STRIP_TOP  ZELM_MORPH_STRIP_TOP

struct _ZelmMorphCanvas {
  GtkDrawingArea parent_instance;

  VornWave *wave;
  int curve_point;
  double morph_pos;
  Strip strip;
  gboolean dragging;
  int width, height;
  ZelmCurveView view; /* stored and reported only: the strips have their own */
};

G_DEFINE_FINAL_TYPE (ZelmMorphCanvas, zelm_morph_canvas, GTK_TYPE_DRAWING_AREA)

static gboolean
has_curve (ZelmMorphCanvas *c)
{
  return c->wave && c->wave->curve;
}

static gboolean
strip_is_horizontal_morph (Strip strip)
{
  return strip == STRIP_LEFT;
}

/* Length of @strip along its positions. */
static int
strip_size (ZelmMorphCanvas *c, Strip strip)
{
  return strip == STRIP_LEFT ? c->height : c->width;
}

static void
set_position (ZelmMorphCanvas *c, double pos)
{
  if (c->morph_pos == pos)
    return;
  c->morph_pos = pos;
  gtk_widget_queue_draw (GTK_WIDGET (c));
  g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_MORPH_POSITION]);
}

static void
set_curve_point (ZelmMorphCanvas *c, int point)
{
  if (c->curve_point == point)
    return;
  c->curve_point = point;
  g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_CURVE_POINT]);
}

/* ---- drawing ----------------------------------------------------------- */

/* The mapping of @strip: positions 0 to 1 along it, drawn the way the
 * morph canvas beside it draws them (transposed for the left strip). */
static ZelmCurveView
strip_view (ZelmMorphCanvas *c, Strip strip)
{
  return zelm_morph_strip_view (strip, c->width, c->height);
}

/* Pixel along @strip where position @x falls. */
static double
position_to_pixel (ZelmMorphCanvas *c, Strip strip, double x)
{
  const ZelmCurveView view = strip_view (c, strip);
  double px, py;
  zelm_curve_view_to_pixel (&view, x, 0.0, &px, &py);
  return strip == STRIP_LEFT ? py : px;
}

/* Pixel index (1-based) where position @x falls along @strip. */
static int
tick_index (ZelmMorphCanvas *c, Strip strip, double x)
{
  return int (position_to_pixel (c, strip, x) + 0.5);
}

/* A line across @strip at 1-based pixel @k; the corner square belongs to
 * the active strip only. */
static void
strip_line (cairo_t *cr, Strip strip, int k, gboolean active)
{
  const int pos = k - 1;
  if (pos <= STRIP && !active)
    return;
  if (strip == STRIP_LEFT)
    {
      cairo_move_to (cr, 0.0, pos + 0.5);
      cairo_line_to (cr, TICK, pos + 0.5);
    }
  else
    {
      cairo_move_to (cr, pos + 0.5, 0.0);
      cairo_line_to (cr, pos + 0.5, TICK);
    }
}

/* The key ticks of @strip: every inner coordinate of its direction's morph
 * curves and the strip's two ends.  Ticks that fall on the same pixel are
 * drawn over each other in an opaque colour, which looks like one. */
static void
draw_ticks (ZelmMorphCanvas *c, cairo_t *cr, Strip strip)
{
  const VornMorph *morph = c->wave->morph;
  const gboolean horizontal = strip_is_horizontal_morph (strip);
  const gboolean active = strip == c->strip;
  const int size = strip_size (c, strip);

  zelm_util_set_rgba_uint (cr, strip == STRIP_LEFT ? COLOUR_TICK_LEFT : COLOUR_TICK_TOP);
  strip_line (cr, strip, 1, active);
  strip_line (cr, strip, size, active);
  for (guint e = 0; e < morph->count; e++)
    {
      const VornMorphPoint &entry = morph->points[e];
      if (bool (entry.horizontal) != bool (horizontal) || !entry.curve)
        continue;
      const int n = VORN_CURVE_COORD_LENGTH (entry.curve);
      for (int i = 1; i < n - 1; i++)
        {
          const int k = tick_index (c, strip, entry.curve->xcoords[i]);
          if (k >= 1 && k <= size)
            strip_line (cr, strip, k, active);
        }
    }
  cairo_stroke (cr);
}

static gboolean
zelm_morph_canvas_draw (GtkWidget *widget, cairo_t *cr)
{
  ZelmMorphCanvas *c = ZELM_MORPH_CANVAS (widget);
  const double w = c->width, h = c->height;

  zelm_util_set_rgba_uint (cr, 0x000000ffu);
  cairo_paint (cr);
  cairo_set_line_width (cr, 1.0);

  /* The inner edges: white marks the strip the pointer last chose. */
  const double edge = STRIP - 0.5;
  zelm_util_set_rgba_uint (cr, COLOUR_EDGE_INACTIVE);
  if (c->strip == STRIP_LEFT)
    {
      cairo_move_to (cr, STRIP, edge);
      cairo_line_to (cr, w, edge);
    }
  else
    {
      cairo_move_to (cr, edge, STRIP);
      cairo_line_to (cr, edge, h);
    }
  cairo_stroke (cr);
  zelm_util_set_rgba_uint (cr, COLOUR_EDGE_ACTIVE);
  if (c->strip == STRIP_LEFT)
    {
      cairo_move_to (cr, edge, 0.0);
      cairo_line_to (cr, edge, h);
    }
  else
    {
      cairo_move_to (cr, 0.0, edge);
      cairo_line_to (cr, w, edge);
    }
  cairo_stroke (cr);

  if (!has_curve (c))
    return TRUE;
  if (c->wave->morph)
    {
      draw_ticks (c, cr, STRIP_LEFT);
      draw_ticks (c, cr, STRIP_TOP);
    }

  /* The current position, in both strips (it is one position for both
   * directions), on the pixel a key at that position would have. */
  zelm_util_set_rgba_uint (cr, COLOUR_MARKER);
  for (Strip s : { STRIP_LEFT, STRIP_TOP })
    strip_line (cr, s, tick_index (c, s, c->morph_pos), s == c->strip);
  cairo_stroke (cr);
  return TRUE;
}

/* ---- interaction ------------------------------------------------------- */

static gboolean
zelm_morph_canvas_motion_notify_event (GtkWidget *widget, GdkEventMotion *event)
{
  ZelmMorphCanvas *c = ZELM_MORPH_CANVAS (widget);
  if (!has_curve (c))
    return TRUE;

  if (c->dragging)
    {
      double pos;
      if (zelm_morph_strip_position (c->strip, c->width, c->height, event->x, event->y, &pos))
        set_position (c, pos);
      return TRUE;
    }

  const Strip strip = zelm_morph_strip_at (c->strip, event->x, event->y);
  if (strip != c->strip)
    {
      c->strip = strip;
      gtk_widget_queue_draw (widget);
    }
  return TRUE;
}

static gboolean
zelm_morph_canvas_button_press_event (GtkWidget *widget, GdkEventButton *event)
{
  ZelmMorphCanvas *c = ZELM_MORPH_CANVAS (widget);
  if (!has_curve (c) || event->button != 1 || event->type != GDK_BUTTON_PRESS)
    return TRUE;
  if (zelm_morph_strip_grabs (c->strip, event->x, event->y))
    c->dragging = TRUE;
  return TRUE;
}

static gboolean
zelm_morph_canvas_button_release_event (GtkWidget *widget, GdkEventButton *event)
{
  ZelmMorphCanvas *c = ZELM_MORPH_CANVAS (widget);
  if (!has_curve (c) || event->button != 1)
    return TRUE;
  /* Shift keeps the exact position scrubbed to. */
  if (c->dragging && !(event->state & GDK_SHIFT_MASK) && c->wave->morph)
    set_position (c, zelm_morph_nearest_key (c->wave->morph, strip_is_horizontal_morph (c->strip),
                                             c->morph_pos));
  c->dragging = FALSE;
  return TRUE;
}

/* ---- object ------------------------------------------------------------ */

static void
zelm_morph_canvas_size_allocate (GtkWidget *widget, GtkAllocation *allocation)
{
  ZelmMorphCanvas *c = ZELM_MORPH_CANVAS (widget);

  GTK_WIDGET_CLASS (zelm_morph_canvas_parent_class)->size_allocate (widget, allocation);
  c->width = allocation->width;
  c->height = allocation->height;
}

static void
set_view_value (ZelmMorphCanvas *c, guint which, double value, GParamSpec *pspec)
{
  double *field = zelm_curve_view_field (&c->view, which);
  if (*field == value)
    return;
  *field = value;
  g_object_notify_by_pspec (G_OBJECT (c), pspec);
}

static void
zelm_morph_canvas_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmMorphCanvas *c = ZELM_MORPH_CANVAS (object);

  switch (prop_id)
    {
    case PROP_WAVE:
      g_value_set_object (value, c->wave);
      break;
    case PROP_CURVE_POINT:
      g_value_set_int (value, c->curve_point);
      break;
    case PROP_MORPH_POSITION:
      g_value_set_double (value, c->morph_pos);
      break;
    case PROP_X_ZOOM:
    case PROP_Y_ZOOM:
    case PROP_X_OFS:
    case PROP_Y_OFS:
      g_value_set_double (value, *zelm_curve_view_field (&c->view, prop_id - PROP_X_ZOOM));
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
zelm_morph_canvas_set_property (GObject *object, guint prop_id, const GValue *value,
                                GParamSpec *pspec)
{
  ZelmMorphCanvas *c = ZELM_MORPH_CANVAS (object);

  switch (prop_id)
    {
    case PROP_WAVE:
      zelm_morph_canvas_set_wave (c, static_cast<VornWave *> (g_value_get_object (value)));
      break;
    case PROP_CURVE_POINT:
      set_curve_point (c, g_value_get_int (value));
      break;
    case PROP_MORPH_POSITION:
      set_position (c, g_value_get_double (value));
      break;
    case PROP_X_ZOOM:
    case PROP_Y_ZOOM:
    case PROP_X_OFS:
    case PROP_Y_OFS:
      set_view_value (c, prop_id - PROP_X_ZOOM, g_value_get_double (value), pspec);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
zelm_morph_canvas_finalize (GObject *object)
{
  ZelmMorphCanvas *c = ZELM_MORPH_CANVAS (object);

  g_clear_object (&c->wave);
  G_OBJECT_CLASS (zelm_morph_canvas_parent_class)->finalize (object);
}

static void
zelm_morph_canvas_init (ZelmMorphCanvas *c)
{
  c->curve_point = -1;
  zelm_curve_view_init (&c->view);
  c->view.x_ofs = 1.0;

  gtk_widget_set_can_focus (GTK_WIDGET (c), TRUE);
  gtk_widget_add_events (GTK_WIDGET (c),
                         GDK_POINTER_MOTION_MASK | GDK_BUTTON1_MOTION_MASK |
                           GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_KEY_PRESS_MASK |
                           GDK_KEY_RELEASE_MASK | GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK);
}

static void
zelm_morph_canvas_class_init (ZelmMorphCanvasClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  GtkWidgetClass *widget_class = GTK_WIDGET_CLASS (klass);

  object_class->finalize = zelm_morph_canvas_finalize;
  object_class->get_property = zelm_morph_canvas_get_property;
  object_class->set_property = zelm_morph_canvas_set_property;
  widget_class->size_allocate = zelm_morph_canvas_size_allocate;
  widget_class->draw = zelm_morph_canvas_draw;
  widget_class->motion_notify_event = zelm_morph_canvas_motion_notify_event;
  widget_class->button_press_event = zelm_morph_canvas_button_press_event;
  widget_class->button_release_event = zelm_morph_canvas_button_release_event;

  const auto flags = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                  G_PARAM_EXPLICIT_NOTIFY);

  properties[PROP_WAVE] =
    g_param_spec_object ("wave", "Wave", "Waveform", VORN_TYPE_WAVE, flags);
  properties[PROP_CURVE_POINT] =
    g_param_spec_int ("curve-point", "CurvePoint", "Selected wave curve point or -1", -1,
                      G_MAXINT, -1, flags);
  properties[PROP_MORPH_POSITION] =
    g_param_spec_double ("morph-position", "MorphPosition", "Morph time key position", 0.0, 1.0,
                         0.0, flags);
  zelm_curve_view_param_specs (&properties[PROP_X_ZOOM], 1.0, 1.0);

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

GtkWidget *
zelm_morph_canvas_new (void)
{
  return GTK_WIDGET (g_object_new (ZELM_TYPE_MORPH_CANVAS, nullptr));
}

void
zelm_morph_canvas_set_wave (ZelmMorphCanvas *canvas, VornWave *wave)
{
  g_return_if_fail (ZELM_IS_MORPH_CANVAS (canvas));
  g_return_if_fail (!wave || VORN_IS_WAVE (wave));

  gtk_widget_queue_draw (GTK_WIDGET (canvas));
  if (canvas->wave == wave)
    return;

  g_object_freeze_notify (G_OBJECT (canvas));
  g_set_object (&canvas->wave, wave);
  canvas->dragging = FALSE;
  set_curve_point (canvas, -1);
  set_position (canvas, 0.0);
  g_object_notify_by_pspec (G_OBJECT (canvas), properties[PROP_WAVE]);
  g_object_thaw_notify (G_OBJECT (canvas));
}

VornWave *
zelm_morph_canvas_get_wave (ZelmMorphCanvas *canvas)
{
  g_return_val_if_fail (ZELM_IS_MORPH_CANVAS (canvas), nullptr);
  return canvas->wave;
}
