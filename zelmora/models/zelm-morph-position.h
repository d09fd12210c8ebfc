/* zelm-morph-position.h: how a wave's morph position moves: scrubbed along
 * the morph canvas's two strips, snapped to the morph keys, and animated */
#pragma once

#include "vorn-wave.h"

#include "zelm-curve-view.h"

G_BEGIN_DECLS

/* Breadth of each strip; the corner square is this wide and high. */
#define ZELM_MORPH_STRIP_BREADTH 24

/* The left strip scrubs along the horizontal morph curves (positions
 * downward, like the hmorph canvas beside it), the top strip along the
 * vertical ones (positions to the right, like the vmorph canvas above). */
typedef enum {
  ZELM_MORPH_STRIP_LEFT = 0,
  ZELM_MORPH_STRIP_TOP = 1,
} ZelmMorphStrip;

/* The strip the pointer at (@x, @y) makes active: the one it is over, or
 * @active over the corner and the rest of the canvas. */
ZelmMorphStrip zelm_morph_strip_at (ZelmMorphStrip active, double x, double y);

/* Whether a press at (@x, @y) starts scrubbing the @active strip: only a
 * press across that strip does. */
gboolean zelm_morph_strip_grabs (ZelmMorphStrip active, double x, double y);

/* The mapping of @strip in a @width x @height canvas: positions 0 to 1
 * along it, drawn as the morph canvas beside it draws them. */
ZelmCurveView zelm_morph_strip_view (ZelmMorphStrip strip, int width, int height);

/* Sets *@pos to the position, within 0 to 1, that the pointer at (@x, @y)
 * scrubs @strip of a @width x @height canvas to.  Returns: FALSE (and
 * leaves *@pos) when the strip is too short to scrub. */
gboolean zelm_morph_strip_position (ZelmMorphStrip strip, int width, int height, double x,
                                    double y, double *pos);

/* The morph key (a coordinate's x on a morph curve of @horizontal
 * direction) of @morph nearest to @pos, or 0 when @morph (may be NULL) has
 * no curve in that direction. */
double zelm_morph_nearest_key (const VornMorph *morph, gboolean horizontal, double pos);

/* The animation's speed range, in positions per second. */
#define ZELM_MORPH_ANIM_RATE_MIN 0.05
#define ZELM_MORPH_ANIM_RATE_MAX 3.0

/* A running morph animation: where it is and which way it goes. */
typedef struct {
  double pos;
  gboolean backward;
} ZelmMorphAnim;

/* Advances @anim by @rate positions per second over @elapsed_us
 * microseconds: ping-pong turns at the ends, otherwise it wraps.  A long
 * stall costs no more than a short one. */
void zelm_morph_anim_advance (ZelmMorphAnim *anim, double rate, gint64 elapsed_us,
                              gboolean ping_pong);

G_END_DECLS
