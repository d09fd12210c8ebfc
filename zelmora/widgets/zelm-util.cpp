/* zelm-util.cpp: small helpers shared by the application's widgets */
#include "zelm-util.h"

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

void
zelm_util_add_color_stop_rgba (cairo_pattern_t *pattern, double offset, guint32 rgba)
{
  cairo_pattern_add_color_stop_rgba (pattern, offset, channel (rgba, 24), channel (rgba, 16),
                                     channel (rgba, 8), channel (rgba, 0));
}
