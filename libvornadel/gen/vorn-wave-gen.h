/* vorn-wave-gen.h: the generator that plays a wave node's curve as an
 * oscillator, envelope or modulator */
#pragma once

#include <glib-object.h>

#include "vorn-attrib.h"
#include "vorn-curve-cache.h"
#include "vorn-gen.h"
#include "vorn-wave-gen-antialias.h"

G_BEGIN_DECLS

/**
 * VornWaveGenTransform:
 * @VORN_WAVE_GEN_TRANSFORM_NONE: the curve value is used as it is
 * @VORN_WAVE_GEN_TRANSFORM_DB: the value v is in decibels and becomes
 *   10^(v/20)
 * @VORN_WAVE_GEN_TRANSFORM_SEMITONES: the value v is in semitones and
 *   becomes 2^(v/12)
 *
 * Conversion of the curve value into a factor, chosen from the destination:
 * multiplying the volume works in decibels, multiplying the pitch in
 * semitones.
 */
typedef enum {
  VORN_WAVE_GEN_TRANSFORM_NONE = 0,
  VORN_WAVE_GEN_TRANSFORM_DB = 1,
  VORN_WAVE_GEN_TRANSFORM_SEMITONES = 2,
} VornWaveGenTransform;

#define VORN_TYPE_WAVE_GEN_TRANSFORM (vorn_wave_gen_transform_get_type ())
GType vorn_wave_gen_transform_get_type (void);

#define VORN_TYPE_WAVE_GEN            (vorn_wave_gen_get_type ())
#define VORN_WAVE_GEN(obj)            (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_WAVE_GEN, VornWaveGen))
#define VORN_WAVE_GEN_CLASS(klass)    (G_TYPE_CHECK_CLASS_CAST ((klass), VORN_TYPE_WAVE_GEN, VornWaveGenClass))
#define VORN_IS_WAVE_GEN(obj)         (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_WAVE_GEN))
#define VORN_IS_WAVE_GEN_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), VORN_TYPE_WAVE_GEN))
#define VORN_WAVE_GEN_GET_CLASS(obj)  (G_TYPE_INSTANCE_GET_CLASS ((obj), VORN_TYPE_WAVE_GEN, VornWaveGenClass))

typedef struct _VornWaveGen VornWaveGen;
typedef struct _VornWaveGenClass VornWaveGenClass;

/**
 * VornWaveGenValue:
 *
 * A number held in the render format: @f for single, @d for double.
 */
typedef union {
  float f;
  double d;
} VornWaveGenValue;

/**
 * VornWaveGenMorphPt:
 * @cache: (nullable): reference on the morph point's evaluation cache
 * @seg: the cache's segment the last evaluation ended in
 * @index: coordinate index in the wave's curve
 * @horizontal: TRUE when the entry moves the X coordinate
 *
 * One morphed coordinate of the generator's private cache.
 */
typedef struct {
  VornCurveCache *cache;
  gconstpointer seg;
  guint32 index;
  guint8 horizontal;
} VornWaveGenMorphPt;

/* Slots of the attribute arrays: x, y, destination and morph inputs, then
 * the output. */
enum {
  VORN_WAVE_GEN_SLOT_X = 0,
  VORN_WAVE_GEN_SLOT_Y = 1,
  VORN_WAVE_GEN_SLOT_DEST = 2,
  VORN_WAVE_GEN_SLOT_MORPH = 3,
  VORN_WAVE_GEN_SLOT_OUT = 4,
  VORN_WAVE_GEN_SLOT_COUNT = 5,
};

/**
 * VornWaveGen:
 * @cache: (nullable): the cache the curve is rendered from: private when the
 *   wave has a morph, else the curve's shared cache; NULL without a curve
 * @seg: current segment record of @cache
 * @morph_pts: @morph_count morph entries, in the morph's order
 * @seg_pos: position relative to the start of @seg
 * @morph_pos: morph position of the current fragment, in [0, 1]
 * @morph_applied: morph position last applied to @cache (-1: none yet)
 * @x_scale: the node's "x-scale"
 * @y_scale: the node's "y-scale"
 * @y_ofs: the node's "y-ofs"
 * @held: last output of the curve stage (after the transform); the value a
 *   finished wave holds
 * @attribs_buf: storage of the base's @attribs
 * @attrib_vals_buf: storage of the base's @attrib_vals
 * @morph_count: number of @morph_pts
 * @dest_op: a #VornWaveOp
 * @trig_mode: a #VornWaveTrigMode
 * @pos_mode: a #VornWavePosMode
 * @play_mode: a #VornWavePlayMode
 * @transform: a #VornWaveGenTransform
 * @finished: the wave stopped playing and outputs @held
 * @hold_at: for the next fragment only: the frame (1 to 63) from which a
 *   wave released in the middle of it holds its value, then finishes; 0
 *   when none
 * @pre_roll: for the next fragment only: the frames (1 to 63) before a
 *   wave that became active in the middle of it starts; they pass the
 *   destination input through; 0 when none
 * @coords: (nullable): the curve's X coordinates when the generator was
 *   built, followed by its Y coordinates (what morphs start from and what a
 *   finished wave holds)
 * @coord_count: number of X coordinates in @coords
 * @pushed: (nullable): per segment of a morphed cache, whether its start was
 *   pushed right by the end of the segment before it
 * @aa: (nullable): band-limiting state of an oscillator that has it
 *
 * Render state of one wave.  The numeric fields use the render format.
 */
struct _VornWaveGen {
  VornGen parent_instance;

  VornCurveCache *cache;
  gconstpointer seg;
  VornWaveGenMorphPt *morph_pts;
  VornWaveGenValue seg_pos;
  VornWaveGenValue morph_pos;
  VornWaveGenValue morph_applied;
  VornWaveGenValue x_scale;
  VornWaveGenValue y_scale;
  VornWaveGenValue y_ofs;
  VornWaveGenValue held;
  VornAttribType attribs_buf[VORN_WAVE_GEN_SLOT_COUNT];
  VornAttribVal *attrib_vals_buf[VORN_WAVE_GEN_SLOT_COUNT];
  guint16 morph_count;
  guint8 dest_op;
  guint8 trig_mode;
  guint8 pos_mode;
  guint8 play_mode;
  guint8 transform;
  guint8 finished;
  guint8 hold_at;
  guint8 pre_roll;

  double *coords;
  guint32 coord_count;
  guint8 *pushed;
  VornWaveGenAntialias *aa;
};

struct _VornWaveGenClass {
  VornGenClass parent_class;
};

GType vorn_wave_gen_get_type (void);

/**
 * vorn_wave_gen_update_morph_D:
 * @gen: a double-format wave generator
 *
 * Applies @gen's morph position to its private cache, unless it is the
 * position applied last.  Called by the render functions where a looping
 * wave wraps.  Does not allocate, lock or log.
 */
void vorn_wave_gen_update_morph_D (VornWaveGen *gen);

/**
 * vorn_wave_gen_update_morph_F:
 * @gen: a single-format wave generator
 *
 * vorn_wave_gen_update_morph_D() for the single format.
 */
void vorn_wave_gen_update_morph_F (VornWaveGen *gen);

/* The render variants (a #VornGenRenderFunc each); the generator picks one
 * from its synthesizer's format and instruction set when it is built. */
gboolean vorn_wave_gen_render_SSE2_F (VornGen *gen);
gboolean vorn_wave_gen_render_AVX_F (VornGen *gen);
gboolean vorn_wave_gen_render_AVX2_F (VornGen *gen);
gboolean vorn_wave_gen_render_AVX512_F (VornGen *gen);
gboolean vorn_wave_gen_render_SSE2_D (VornGen *gen);
gboolean vorn_wave_gen_render_AVX_D (VornGen *gen);
gboolean vorn_wave_gen_render_AVX2_D (VornGen *gen);
gboolean vorn_wave_gen_render_AVX512_D (VornGen *gen);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornWaveGen, g_object_unref)

G_END_DECLS
