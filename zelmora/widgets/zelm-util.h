/* zelm-util.h: small helpers shared by the application's widgets */
#pragma once

#include <cairo.h>
#include <glib.h>

G_BEGIN_DECLS

/* Sets the source of @cr to @rgba, a colour packed as 0xRRGGBBAA. */
void zelm_util_set_rgba_uint (cairo_t *cr, guint32 rgba);

/* Adds a colour stop at @offset to a gradient @pattern, colour as above. */
void zelm_util_add_color_stop_rgba (cairo_pattern_t *pattern, double offset, guint32 rgba);

G_END_DECLS
