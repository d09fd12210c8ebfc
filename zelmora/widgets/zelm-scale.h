/* zelm-scale.h: a slider for one floating-point value over many decades */
#pragma once

#include <gtk/gtk.h>

#include "zelm-scale-value.h"

G_BEGIN_DECLS

#define ZELM_TYPE_SCALE (zelm_scale_get_type ())
G_DECLARE_FINAL_TYPE (ZelmScale, zelm_scale, ZELM, SCALE, GtkDrawingArea)

/* Returns: (transfer floating): a scale limited to @min..@max; @digits 0
 * makes it take and show whole numbers.  Its "unit" property (a
 * ZelmValueUnit) sets how the value is shown and typed. */
GtkWidget *zelm_scale_new (double min, double max, int digits);

/* Stores @value as is (not clamped to the range) and notifies "value" when it
 * changed.  Does not emit "value-changed", which reports the user's edits. */
void zelm_scale_set_value (ZelmScale *scale, double value);

/* Returns: the current value, or 0 for an instance that is not a scale. */
double zelm_scale_get_value (ZelmScale *scale);

G_END_DECLS
