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

/* The meter's rules, free of any display. */

/* Width in pixels of the bar for linear @level on a meter @width wide
 * (-50 dB at the left, +6 dB at the right); any level above 0 shows at
 * least a sliver. */
double zelm_level_meter_bar_width (float level, int width);

/* RGBA colour of the bars at @db: green, yellow from -6 dB, red from 0 dB. */
guint32 zelm_level_meter_zone_color (double db);

/* Peak hold at time @now (microseconds): a @level above *@peak, or any level
 * once *@peak is @hold_delay seconds old, becomes the peak.  Returns whether
 * *@peak and *@peak_time changed. */
gboolean zelm_level_meter_hold_peak (float level, gint64 now, float hold_delay, float *peak,
                                     gint64 *peak_time);

G_END_DECLS
