/* zelm-scale-value.h: the scale slider's value arithmetic, free of any
 * display */
#pragma once

#include <glib.h>

G_BEGIN_DECLS

/* Exponent boxes on each side of the circle, and the furthest a value is
 * stepped by decades. */
#define ZELM_SCALE_EXP_LIMIT 18

/* @v as coefficient × 10^exponent with 1 <= |coefficient| < 10; 0, NaN and
 * the infinities are their own coefficient with exponent 0. */
void zelm_scale_decompose (double v, double *coeff, int *exp);

/* @v within @min..@max. */
double zelm_scale_clamp (double v, double min, double max);

/* Whether @a and @b are the same value, NaN equal to NaN. */
gboolean zelm_scale_same_value (double a, double b);

/* The value arithmetic behind the rows, free of any display.  Results are
 * not clamped to a range; the widget clamps the user's edits. */

/* A fine-slider drag of @dx pixels from @start on a track @track_w wide at
 * sensitivity @sens: a full track at 1 moves by the span of @start's decade.
 * @round (Control held) keeps four significant digits. */
double zelm_scale_fine_value (double start, double dx, double track_w, double sens,
                              gboolean round);

/* A coefficient-bar drag from @start to @px pixels right of the track's start:
 * the position sets the leading digits (of the magnitude, keeping the sign);
 * each track width beyond either end moves a decade.  Returns @start for a
 * track of no width. */
double zelm_scale_coeff_value (double start, double px, double track_w, gboolean round);

/* @value's coefficient at exponent @exp (clamped to -18..18).  A @press on the
 * circle (exponent 0) of a value already at exponent 0 gives 0. */
double zelm_scale_exp_value (double value, int exp, gboolean press);

/* @value a decade up (@dir 1) or down (-1), never past exponent ±18; 0 and
 * NaN stay. */
double zelm_scale_step_exponent (double value, int dir);

/* A keyboard step by @dir units of the digit 10^(E + @place), E being the
 * exponent of the decade the value moves into (1.00 down gives 0.999). */
double zelm_scale_key_step (double value, int place, int dir);

/* @value with the sign asked for, when its negation lies in @min..@max;
 * otherwise @value. */
double zelm_scale_sign_value (double value, gboolean positive, double min, double max);

/**
 * zelm_scale_key_value:
 * @keyval: the key pressed
 * @value: the scale's value
 * @min, @max: the scale's range
 * @result: (out): the value after the key
 * @edit: (out): whether the key edits the value (and is reported)
 *
 * The scale's keys, free of any display: Left/Right step the digit two
 * places below the decade, Up/Down one place, Page Up/Down a decade, plus
 * (or "=") and minus set the sign.  Edits are clamped to @min..@max; a sign
 * that changes nothing, or a digit step of a value that is not finite, is
 * no edit.
 *
 * Returns: FALSE for a key the scale does not handle.
 */
gboolean zelm_scale_key_value (guint keyval, double value, double min, double max,
                               double *result, gboolean *edit);

G_END_DECLS
