/* zelm-level-meter.cpp: two-channel output level meter */
#include "zelm-level-meter.h"

#include "zelm-util.h"

#include <algorithm>
#include <cmath>

/* The scale spans -50 dB to +6 dB, 56 dB over the full width. */
#define METER_DB_MIN -50.0
#define METER_DB_SPAN 56.0
/* Height of the label strip under the bars. */
#define SCALE_HEIGHT 16
#define MIN_BAR_WIDTH 4.0
#define N_CHANNELS 2

enum {
  PROP_0,
  PROP_HOLD_DELAY,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

struct _ZelmLevelMeter {
  GtkDrawingArea parent_instance;

  float hold_delay;
  /* Linear amplitudes of the current level and the held peak per channel. */
  float level[N_CHANNELS];
  float peak[N_CHANNELS];
  gint64 peak_time[N_CHANNELS]; /* monotonic, microseconds */
  int width;
  int height;
};

G_DEFINE_FINAL_TYPE (ZelmLevelMeter, zelm_level_meter, GTK_TYPE_DRAWING_AREA)

/* Position of linear level @v on the scale, 0 (-50 dB or less) to 56 (+6 dB). */
static double
level_to_scale (float v)
{
  if (!(v > 0.0f))
    return 0.0;
  double l = std::log10 (double (v));
  if (l > 0.3)
    return METER_DB_SPAN;
  return std::max (20.0 * l, METER_DB_MIN) - METER_DB_MIN;
}

/* Colour zones from their lowest dB: green, yellow from -6 dB, red from 0. */
static const struct {
  double from_db;
  guint32 rgba;
} zones[] = { { METER_DB_MIN, 0x00ff00ff }, { -6.0, 0xffff00ff }, { 0.0, 0xff0000ff } };

double
zelm_level_meter_bar_width (float level, int width)
{
  const double w = level_to_scale (level) * width / METER_DB_SPAN;
  return level > 0.0f && w < MIN_BAR_WIDTH ? MIN_BAR_WIDTH : w;
}

guint32
zelm_level_meter_zone_color (double db)
{
  guint32 rgba = zones[0].rgba;
  for (const auto &z : zones)
    if (db >= z.from_db)
      rgba = z.rgba;
  return rgba;
}

gboolean
zelm_level_meter_hold_peak (float level, gint64 now, float hold_delay, float *peak,
                            gint64 *peak_time)
{
  if (!(level > *peak) && (now - *peak_time) * 1e-6 < hold_delay)
    return FALSE;
  *peak = level;
  *peak_time = now;
  return TRUE;
}

static void
zelm_level_meter_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmLevelMeter *meter = ZELM_LEVEL_METER (object);

  if (prop_id == PROP_HOLD_DELAY)
    g_value_set_float (value, meter->hold_delay);
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
zelm_level_meter_set_property (GObject *object, guint prop_id, const GValue *value,
                               GParamSpec *pspec)
{
  ZelmLevelMeter *meter = ZELM_LEVEL_METER (object);

  if (prop_id == PROP_HOLD_DELAY)
    {
      float delay = g_value_get_float (value);
      if (delay != meter->hold_delay)
        {
          meter->hold_delay = delay;
          g_object_notify_by_pspec (object, pspec);
        }
    }
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
zelm_level_meter_size_allocate (GtkWidget *widget, GtkAllocation *allocation)
{
  ZelmLevelMeter *meter = ZELM_LEVEL_METER (widget);

  GTK_WIDGET_CLASS (zelm_level_meter_parent_class)->size_allocate (widget, allocation);
  meter->width = allocation->width;
  meter->height = allocation->height;
}

/* The meter is display only; presses stop here so they do not reach the
 * containers around it. */
static gboolean
zelm_level_meter_button_press_event (GtkWidget *, GdkEventButton *)
{
  return TRUE;
}

static void
draw_scale (ZelmLevelMeter *meter, cairo_t *cr)
{
  static const double labels[] = { -50, -40, -30, -20, -10, -6, -3, 0, 3, 6 };

  PangoLayout *layout = pango_cairo_create_layout (cr);
  PangoFontDescription *font = pango_font_description_new ();
  pango_font_description_set_family_static (font, "Monospace");
  pango_font_description_set_absolute_size (font, 12 * PANGO_SCALE);
  pango_layout_set_font_description (layout, font);
  pango_font_description_free (font);

  zelm_util_set_rgba_uint (cr, 0xffffffff);
  for (double db : labels)
    {
      char text[16];
      g_snprintf (text, sizeof text, "%.0f", db);
      pango_layout_set_text (layout, text, -1);
      int tw, th;
      pango_layout_get_pixel_size (layout, &tw, &th);

      double x;
      if (db == labels[0])
        x = 0;
      else if (db == labels[G_N_ELEMENTS (labels) - 1])
        x = meter->width - tw;
      else
        x = (db - METER_DB_MIN) * meter->width / METER_DB_SPAN - tw / 2.0;
      cairo_move_to (cr, std::round (x), meter->height - th);
      pango_cairo_show_layout (cr, layout);
    }
  g_object_unref (layout);
}

static gboolean
zelm_level_meter_draw (GtkWidget *widget, cairo_t *cr)
{
  ZelmLevelMeter *meter = ZELM_LEVEL_METER (widget);
  const int width = meter->width, height = meter->height;

  zelm_util_set_rgba_uint (cr, 0x000000ff);
  cairo_paint (cr);
  if (height <= SCALE_HEIGHT + 3)
    return FALSE;

  const int bar_height = (height - SCALE_HEIGHT - 2) / 2;
  for (int c = 0; c < N_CHANNELS; c++)
    {
      double y = c * (bar_height + 2);
      const double w = zelm_level_meter_bar_width (meter->level[c], width);
      cairo_rectangle (cr, 0, y, w, bar_height);

      double p = width * level_to_scale (meter->peak[c]) / METER_DB_SPAN;
      if (p > 0)
        cairo_rectangle (cr, p - 1, y, 2, bar_height);
    }

  /* One gradient for all bars and markers, with hard stops between zones. */
  cairo_pattern_t *gradient = cairo_pattern_create_linear (0, 0, width - 1, 0);
  for (gsize i = 0; i < G_N_ELEMENTS (zones); i++)
    {
      const double to = i + 1 < G_N_ELEMENTS (zones) ? zones[i + 1].from_db : 6.0;
      zelm_util_add_color_stop_rgba (gradient, (zones[i].from_db - METER_DB_MIN) / METER_DB_SPAN,
                                     zones[i].rgba);
      zelm_util_add_color_stop_rgba (gradient, (to - METER_DB_MIN) / METER_DB_SPAN,
                                     zones[i].rgba);
    }
  cairo_set_source (cr, gradient);
  cairo_fill (cr);
  cairo_pattern_destroy (gradient);

  /* Level updates invalidate only the bars; skip the text when it is not
   * part of this redraw. */
  double x1, y1, x2, y2;
  cairo_clip_extents (cr, &x1, &y1, &x2, &y2);
  if (y2 > height - SCALE_HEIGHT)
    draw_scale (meter, cr);
  return FALSE;
}

static void
zelm_level_meter_class_init (ZelmLevelMeterClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  GtkWidgetClass *widget_class = GTK_WIDGET_CLASS (klass);

  object_class->get_property = zelm_level_meter_get_property;
  object_class->set_property = zelm_level_meter_set_property;
  widget_class->size_allocate = zelm_level_meter_size_allocate;
  widget_class->button_press_event = zelm_level_meter_button_press_event;
  widget_class->draw = zelm_level_meter_draw;

  properties[PROP_HOLD_DELAY] =
    g_param_spec_float ("hold-delay", "HoldDelay", "Peak hold delay in seconds", 0.0f, 10.0f,
                        2.0f,
                        GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY
                                     | G_PARAM_STATIC_STRINGS));
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
zelm_level_meter_init (ZelmLevelMeter *meter)
{
  GtkWidget *widget = GTK_WIDGET (meter);

  meter->hold_delay = 2.0f;
  gtk_widget_set_size_request (widget, -1, 32);
  gtk_widget_add_events (widget, GDK_BUTTON_PRESS_MASK);
  atk_object_set_name (gtk_widget_get_accessible (widget), "Output level");
}

GtkWidget *
zelm_level_meter_new (void)
{
  return GTK_WIDGET (g_object_new (ZELM_TYPE_LEVEL_METER, nullptr));
}

void
zelm_level_meter_set_values (ZelmLevelMeter *meter, const float *levels)
{
  g_return_if_fail (ZELM_IS_LEVEL_METER (meter));
  g_return_if_fail (levels != nullptr);

  const gint64 now = g_get_monotonic_time ();
  bool changed = false;
  for (int c = 0; c < N_CHANNELS; c++)
    {
      if (levels[c] != meter->level[c])
        {
          meter->level[c] = levels[c];
          changed = true;
        }
      if (zelm_level_meter_hold_peak (levels[c], now, meter->hold_delay, &meter->peak[c],
                                      &meter->peak_time[c]))
        changed = true;
    }

  /* The label strip never changes with the levels. */
  if (changed && meter->height > SCALE_HEIGHT)
    gtk_widget_queue_draw_area (GTK_WIDGET (meter), 0, 0, meter->width,
                                meter->height - SCALE_HEIGHT);
}
