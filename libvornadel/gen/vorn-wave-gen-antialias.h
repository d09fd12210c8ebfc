/* vorn-wave-gen-antialias.h: band-limiting of oscillator waves by step and
 * ramp residuals at the curve's discontinuities (render internal) */
#pragma once

#include <glib.h>

#include "vorn-attrib.h"
#include "vorn-curve-cache.h"
#include "vorn-wave.h"

G_BEGIN_DECLS

typedef struct _VornWaveGen VornWaveGen;

/* Half the residuals' length in samples: every correction reaches this far
 * before and after its discontinuity, and the wave's output is late by as
 * much. */
#define VORN_WAVE_AA_HALF VORN_WAVE_ANTIALIAS_DELAY

/* Steps of a narrow segment taken as a staircase. */
#define VORN_WAVE_AA_STAIR_STEPS 32

/**
 * VornWaveGenAntialias:
 * @acc: corrections of the samples from VORN_WAVE_AA_HALF before the
 *   fragment on, in output units
 * @tail: the last VORN_WAVE_AA_HALF curve values of the previous fragment,
 *   not yet output, in the render format
 * @pend_y: the value before the loop seam whose crossing is pending
 * @pend_slope: the slope (per position unit) before that seam
 * @pend_travel: position distance from the pending pair's first sample to
 *   the seam
 * @pend_inc: the pending pair's increment
 * @pend_at: the pending pair's first sample, in the fragment
 * @smooth: the curve never morphs, its joins are all smooth to within @tol
 *   and it has no vertical tangent
 * @bend: the largest slope change (per position unit, output units) at a
 *   join of a smooth curve
 * @narrowest: the narrowest segment of a smooth curve
 * @in_model: the step model's value (curve units) of the sample inside a
 *   segment taken as a step
 * @in_y: the value after that step
 * @in_slope: the slope before that step
 * @in_at: that sample, in the fragment; negative when none
 * @in_stair: the segment is a staircase (a narrow one with vertical
 *   tangents at both ends), which the pair from that sample climbs on
 * @stair_at: the steps of the staircase entered last: their positions in
 *   its record
 * @stair_rise: and their rises
 * @pending: a seam crossing waits for the records after a morph
 * @tol: jumps and slope changes (per sample) up to this size, in output
 *   units, are taken as smooth and get no residuals
 * @live: @acc is zero from this index on
 *
 * Band-limiting state of one oscillator; allocated with the generator.
 */
typedef struct {
  double acc[VORN_FRAGMENT_SIZE + 2 * VORN_WAVE_AA_HALF + 1];
  union {
    double d[VORN_WAVE_AA_HALF];
    float f[VORN_WAVE_AA_HALF];
  } tail;
  double pend_y, pend_slope, pend_travel, pend_inc;
  double tol;
  double bend, narrowest;
  gboolean smooth;
  double in_model, in_y, in_slope;
  double stair_at[VORN_WAVE_AA_STAIR_STEPS], stair_rise[VORN_WAVE_AA_STAIR_STEPS];
  int in_at;
  gboolean in_stair;
  int pend_at;
  int live;
  gboolean pending;
} VornWaveGenAntialias;

/**
 * vorn_wave_gen_antialias_new:
 * @cache: the wave's curve cache
 * @morphs: the wave has a morph (its records change)
 * @y_scale: the wave's y scale
 * @start: the curve value the wave starts with
 * @range: the curve's range of values in output units (its joins are
 *   smooth when their value and slope change by less than a ten-millionth
 *   of it)
 *
 * Makes the band-limiting state of a wave (and, the first time, the residual
 * tables).  Not for the render path.
 *
 * Returns: (transfer full): the state; free with g_free().
 */
VornWaveGenAntialias *vorn_wave_gen_antialias_new (VornCurveCache *cache, gboolean morphs,
                                                   double y_scale, double start, double range);

/**
 * vorn_wave_gen_antialias_events_F:
 * @gen: a single-format wave generator with band-limiting
 * @cv: the fragment's curve values, solved up to @b (a sample that lands
 *   inside a segment that is taken as a step gets the step's value
 *   through the corrections)
 * @pos: per sample, the position within its segment
 * @run: per sample, the index in @seg of its segment record
 * @seg: segment records by run
 * @inc: per sample, the position increment after it
 * @steady: every @inc is the same
 * @a: first sample of the range
 * @b: end of the range
 * @next: (nullable): the record of the sample after the range, or NULL
 * @next_pos: that sample's position
 * @seam: the range ends where the walk crosses the loop seam and the
 *   records are about to change (a morph): the crossing is completed by the
 *   next call
 *
 * Adds the residuals of every discontinuity crossed between consecutive
 * samples of [@a, @b) (and from @b - 1 to the sample after, when @next is
 * given) to @gen's corrections.  The jumps are read from the records as
 * they are now.  Does not allocate, lock or log.
 */
void vorn_wave_gen_antialias_events_F (VornWaveGen *gen, float *cv, const float *pos, const guint8 *run,
                                       const float *const *seg, const float *inc, gboolean steady, int a,
                                       int b, const float *next, float next_pos, gboolean seam);

/**
 * vorn_wave_gen_antialias_events_D:
 *
 * vorn_wave_gen_antialias_events_F() for the double format.
 */
void vorn_wave_gen_antialias_events_D (VornWaveGen *gen, double *cv, const double *pos, const guint8 *run,
                                       const double *const *seg, const double *inc, gboolean steady, int a,
                                       int b, const double *next, double next_pos, gboolean seam);

/**
 * vorn_wave_gen_antialias_output_F:
 * @gen: a single-format wave generator with band-limiting
 * @cv: the fragment's curve values, already delayed by VORN_WAVE_AA_HALF
 *   samples through the state's tail (the render variant does that in its
 *   own lanes), replaced by the band-limited output
 *
 * Adds the corrections to the delayed values.  Does not allocate, lock or
 * log.
 */
void vorn_wave_gen_antialias_output_F (VornWaveGen *gen, float *cv);

/**
 * vorn_wave_gen_antialias_output_D:
 *
 * vorn_wave_gen_antialias_output_F() for the double format.
 */
void vorn_wave_gen_antialias_output_D (VornWaveGen *gen, double *cv);

G_END_DECLS
