/* zelm-widget-geometry.h: where the scale slider and the wave scope put
 * things, in pixels, free of any display */
#pragma once

#include <glib.h>

G_BEGIN_DECLS

/* The scale's rows from top to bottom: fine slider, coefficient bar (the
 * printed value in it), exponent boxes; buttons at both ends of each. */
typedef struct {
  double m;                /* margin */
  double slider_y, s;      /* slider row top and height */
  double coeff_y, k;       /* coefficient row */
  double exp_y, x;         /* exponent row */
  double b;                /* button width */
  double track_x, track_w; /* the rows' active part */
  double centre;           /* horizontal centre of the track */
  double box_w, box_gap;   /* exponent boxes */
} ZelmScaleLayout;

/* Lays out a scale @width × @height with @margin, the slider row taking
 * @slider_portion of the rows' height left by a text @text_h high. */
void zelm_scale_layout (ZelmScaleLayout *l, double width, double height, double margin,
                        double slider_portion, double text_h);

/* Row under @y: 1 slider, 2 coefficient, 3 exponent, 0 none. */
int zelm_scale_row_at (const ZelmScaleLayout *l, double y);

/* Left edge of exponent box @pos: 1 .. ZELM_SCALE_EXP_LIMIT right of the
 * circle, -1 .. -ZELM_SCALE_EXP_LIMIT left of it. */
double zelm_scale_exp_box_left (const ZelmScaleLayout *l, int pos);

/* The exponent box under @px (clamped to the track): 0 the circle, else
 * as zelm_scale_exp_box_left () numbers them. */
int zelm_scale_exp_box_at (const ZelmScaleLayout *l, double px);

/* Samples a scope @width pixels wide holds at @x_zoom pixels per sample
 * (one more than the columns, rounded). */
int zelm_wave_scope_length (int width, double x_zoom);

/* Columns [*@left, *@right) of a scope @width wide that show @count samples
 * starting @offset samples from its left edge; empty when *@left >= *@right. */
void zelm_wave_scope_columns (int count, int offset, double x_zoom, int width, int *left,
                              int *right);

G_END_DECLS
