/* zelm-wave-scope.cpp: one oscilloscope trace of recorded samples */
#include "zelm-wave-scope.h"

#include "zelm-util.h"
#include "zelm-widget-geometry.h"

#include <algorithm>
#include <new>
#include <vector>

enum {
  PROP_0,
  PROP_X_ZOOM,
  PROP_Y_ZOOM,
  PROP_BG_COLOR,
  PROP_FG_COLOR,
  PROP_LINE_COLOR,
  PROP_NO_DATA_COLOR,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

/* Colour properties in PROP order, starting with PROP_BG_COLOR. */
enum {
  COLOR_BG,
  COLOR_FG,
  COLOR_LINE,
  COLOR_NO_DATA,
  N_COLORS
};

static const struct {
  const char *name, *nick, *blurb;
  guint32 def;
} color_props[N_COLORS] = {
  { "bg-color", "BgColor", "Background color", 0x000000ff },
  { "fg-color", "FgColor", "Foreground color", 0x00b400ff },
  { "line-color", "LineColor", "Line color", 0x808080ff },
  { "no-data-color", "NoDataColor", "No data background color", 0x101010ff },
};

typedef struct {
  std::vector<double> buffer;
  int count;  /* valid samples at the start of buffer */
  int offset; /* samples between the left edge and the first valid one */
  float x_zoom;
  float y_zoom;
  guint32 colors[N_COLORS];
  int width, height;
} ZelmWaveScopePrivate;

G_DEFINE_FINAL_TYPE_WITH_PRIVATE (ZelmWaveScope, zelm_wave_scope, GTK_TYPE_DRAWING_AREA)

static ZelmWaveScopePrivate *
get_priv (ZelmWaveScope *scope)
{
  return static_cast<ZelmWaveScopePrivate *> (zelm_wave_scope_get_instance_private (scope));
}

/* One sample per x-zoom pixels, both edges included. */
static void
update_len (ZelmWaveScope *scope)
{
  ZelmWaveScopePrivate *priv = get_priv (scope);
  scope->len = zelm_wave_scope_length (priv->width, priv->x_zoom);
}

static void
zelm_wave_scope_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmWaveScopePrivate *priv = get_priv (ZELM_WAVE_SCOPE (object));

  switch (prop_id)
    {
    case PROP_X_ZOOM:
      g_value_set_double (value, priv->x_zoom);
      break;
    case PROP_Y_ZOOM:
      g_value_set_double (value, priv->y_zoom);
      break;
    case PROP_BG_COLOR:
    case PROP_FG_COLOR:
    case PROP_LINE_COLOR:
    case PROP_NO_DATA_COLOR:
      g_value_set_uint (value, priv->colors[prop_id - PROP_BG_COLOR]);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
zelm_wave_scope_set_property (GObject *object, guint prop_id, const GValue *value,
                              GParamSpec *pspec)
{
  ZelmWaveScope *scope = ZELM_WAVE_SCOPE (object);
  ZelmWaveScopePrivate *priv = get_priv (scope);
  bool changed = false;

  switch (prop_id)
    {
    case PROP_X_ZOOM:
      {
        /* Below one pixel per sample the trace would fold onto itself. */
        float zoom = float (std::max (g_value_get_double (value), 1.0));
        changed = zoom != priv->x_zoom;
        priv->x_zoom = zoom;
        update_len (scope);
      }
      break;
    case PROP_Y_ZOOM:
      {
        float zoom = float (g_value_get_double (value));
        changed = zoom != priv->y_zoom;
        priv->y_zoom = zoom;
      }
      break;
    case PROP_BG_COLOR:
    case PROP_FG_COLOR:
    case PROP_LINE_COLOR:
    case PROP_NO_DATA_COLOR:
      {
        guint32 color = g_value_get_uint (value);
        changed = color != priv->colors[prop_id - PROP_BG_COLOR];
        priv->colors[prop_id - PROP_BG_COLOR] = color;
      }
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      return;
    }

  if (changed)
    g_object_notify_by_pspec (object, pspec);
  gtk_widget_queue_draw (GTK_WIDGET (scope));
}

static void
zelm_wave_scope_size_allocate (GtkWidget *widget, GtkAllocation *allocation)
{
  ZelmWaveScope *scope = ZELM_WAVE_SCOPE (widget);
  ZelmWaveScopePrivate *priv = get_priv (scope);

  GTK_WIDGET_CLASS (zelm_wave_scope_parent_class)->size_allocate (widget, allocation);
  priv->width = allocation->width;
  priv->height = allocation->height;
  update_len (scope);
  gtk_widget_queue_draw (widget);
}

static gboolean
zelm_wave_scope_draw (GtkWidget *widget, cairo_t *cr)
{
  ZelmWaveScopePrivate *priv = get_priv (ZELM_WAVE_SCOPE (widget));
  const int width = priv->width, height = priv->height;
  const int mid = height / 2;
  const double xz = priv->x_zoom;

  zelm_util_set_rgba_uint (cr, priv->colors[COLOR_BG]);
  cairo_paint (cr);
  if (priv->buffer.empty () || priv->count <= 0)
    {
      zelm_util_set_rgba_uint (cr, priv->colors[COLOR_NO_DATA]);
      cairo_paint (cr);
      return FALSE;
    }

  int left = 0, right = 0;
  zelm_wave_scope_columns (priv->count, priv->offset, xz, width, &left, &right);

  zelm_util_set_rgba_uint (cr, priv->colors[COLOR_NO_DATA]);
  if (left > 0)
    cairo_rectangle (cr, 0, 0, left, height);
  if (right < width)
    cairo_rectangle (cr, right, 0, width - right, height);
  cairo_fill (cr);

  /* Lines run through pixel centres so that a 1-pixel line stays one pixel
   * wide and sample i sits on pixel column left + i at x-zoom 1. */
  cairo_set_line_width (cr, 1.0);
  zelm_util_set_rgba_uint (cr, priv->colors[COLOR_LINE]);
  cairo_move_to (cr, left, mid + 0.5);
  cairo_line_to (cr, right, mid + 0.5);
  cairo_stroke (cr);

  cairo_rectangle (cr, left, 0, right - left, height);
  cairo_clip (cr);
  const double scale = mid * priv->y_zoom;
  const int count = std::min (priv->count, int (priv->buffer.size ()));
  double x = left;
  for (int i = 0; i < count && x < right + xz; i++, x = left + i * xz)
    {
      const double y = mid - priv->buffer[gsize (i)] * scale + 0.5;
      if (i == 0)
        cairo_move_to (cr, x + 0.5, y);
      else
        cairo_line_to (cr, x + 0.5, y);
    }
  zelm_util_set_rgba_uint (cr, priv->colors[COLOR_FG]);
  cairo_stroke (cr);
  return FALSE;
}

static void
zelm_wave_scope_finalize (GObject *object)
{
  get_priv (ZELM_WAVE_SCOPE (object))->buffer.~vector ();
  G_OBJECT_CLASS (zelm_wave_scope_parent_class)->finalize (object);
}

static void
zelm_wave_scope_class_init (ZelmWaveScopeClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  GtkWidgetClass *widget_class = GTK_WIDGET_CLASS (klass);

  object_class->get_property = zelm_wave_scope_get_property;
  object_class->set_property = zelm_wave_scope_set_property;
  object_class->finalize = zelm_wave_scope_finalize;
  widget_class->size_allocate = zelm_wave_scope_size_allocate;
  widget_class->draw = zelm_wave_scope_draw;

  const GParamFlags flags =
    GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY | G_PARAM_STATIC_STRINGS);
  properties[PROP_X_ZOOM] = g_param_spec_double ("x-zoom", "XZoom", "X axis zoom multiplier",
                                                 -G_MAXDOUBLE, G_MAXDOUBLE, 1.0, flags);
  properties[PROP_Y_ZOOM] = g_param_spec_double ("y-zoom", "YZoom", "Y axis zoom multiplier",
                                                 -G_MAXDOUBLE, G_MAXDOUBLE, 0.5, flags);
  for (int c = 0; c < N_COLORS; c++)
    properties[PROP_BG_COLOR + c] =
      g_param_spec_uint (color_props[c].name, color_props[c].nick, color_props[c].blurb, 0,
                         G_MAXUINT32, color_props[c].def, flags);
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
zelm_wave_scope_init (ZelmWaveScope *scope)
{
  ZelmWaveScopePrivate *priv = get_priv (scope);

  new (&priv->buffer) std::vector<double> ();
  priv->x_zoom = 1.0f;
  priv->y_zoom = 0.5f;
  for (int c = 0; c < N_COLORS; c++)
    priv->colors[c] = color_props[c].def;
  update_len (scope);
  gtk_widget_set_size_request (GTK_WIDGET (scope), 64, 32);
}

GtkWidget *
zelm_wave_scope_new (void)
{
  return GTK_WIDGET (g_object_new (ZELM_TYPE_WAVE_SCOPE, nullptr));
}

double *
zelm_wave_scope_get_buffer (ZelmWaveScope *scope, int *len)
{
  g_return_val_if_fail (ZELM_IS_WAVE_SCOPE (scope), nullptr);
  ZelmWaveScopePrivate *priv = get_priv (scope);

  priv->buffer.resize (gsize (std::max (scope->len, 0)));
  priv->count = std::min (priv->count, scope->len);
  if (len)
    *len = scope->len;
  return priv->buffer.data ();
}

void
zelm_wave_scope_update (ZelmWaveScope *scope, int count, int offset)
{
  g_return_if_fail (ZELM_IS_WAVE_SCOPE (scope));
  ZelmWaveScopePrivate *priv = get_priv (scope);

  priv->count = std::clamp (count, 0, int (priv->buffer.size ()));
  priv->offset = std::max (offset, 0);
  gtk_widget_queue_draw (GTK_WIDGET (scope));
}
