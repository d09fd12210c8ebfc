/* zelm-level-meter.h: two-channel output level meter */
#pragma once

#include <gtk/gtk.h>

G_BEGIN_DECLS

#define ZELM_TYPE_LEVEL_METER (zelm_level_meter_get_type ())
G_DECLARE_FINAL_TYPE (ZelmLevelMeter, zelm_level_meter, ZELM, LEVEL_METER, GtkDrawingArea)

/* Returns: (transfer floating): a new meter. */
GtkWidget *zelm_level_meter_new (void);

/* Takes the linear amplitudes of two channels (1.0 is full scale). */
void zelm_level_meter_set_values (ZelmLevelMeter *meter, const float *levels);

G_END_DECLS
