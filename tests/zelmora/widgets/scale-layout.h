/* scale-layout.h: where a scale of the widget tests lays out its rows */
#pragma once

#include "zelm-widget-geometry.h"

#include <gtk/gtk.h>

/* The rows of @widget, @width × @height, as it lays them out around its
 * "Monospace" 12-pixel text (four exponent boxes, the fine slider at 0.5). */
inline ZelmScaleLayout
scale_layout (GtkWidget *widget, int width, int height)
{
  g_autoptr (PangoLayout) text = gtk_widget_create_pango_layout (widget, "0");
  PangoFontDescription *font = pango_font_description_from_string ("Monospace 12px");
  pango_layout_set_font_description (text, font);
  pango_font_description_free (font);
  int th = 0;
  pango_layout_get_pixel_size (text, nullptr, &th);
  ZelmScaleLayout l;
  zelm_scale_layout (&l, width, height, 4, 0.5, th);
  return l;
}
