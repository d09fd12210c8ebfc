/* vorn-filter-noise.h: the white noise node and its generator */
#pragma once

#include <glib-object.h>

#include "vorn-attrib.h"
#include "vorn-gen.h"
#include "vorn-node.h"

G_BEGIN_DECLS

/**
 * VornFilterNoiseType:
 * @VORN_FILTER_NOISE_TYPE_XORSHIFT64: 64-bit xorshift (shifts 13, 7, 17);
 *   values of magnitude in [1, 2) with a random sign
 * @VORN_FILTER_NOISE_TYPE_TWISTER: GLib's Mersenne Twister, uniform in
 *   [-1, 1)
 */
typedef enum {
  VORN_FILTER_NOISE_TYPE_XORSHIFT64 = 0,
  VORN_FILTER_NOISE_TYPE_TWISTER = 1,
} VornFilterNoiseType;

#define VORN_TYPE_FILTER_NOISE_TYPE (vorn_filter_noise_type_get_type ())
GType vorn_filter_noise_type_get_type (void);

#define VORN_TYPE_FILTER_NOISE         (vorn_filter_noise_get_type ())
#define VORN_FILTER_NOISE(obj)         (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_FILTER_NOISE, VornFilterNoise))
#define VORN_IS_FILTER_NOISE(obj)      (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_FILTER_NOISE))
#define VORN_TYPE_FILTER_NOISE_GEN     (vorn_filter_noise_gen_get_type ())
#define VORN_FILTER_NOISE_GEN(obj)     (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_FILTER_NOISE_GEN, VornFilterNoiseGen))
#define VORN_IS_FILTER_NOISE_GEN(obj)  (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_FILTER_NOISE_GEN))

typedef struct _VornFilterNoise VornFilterNoise;
typedef struct _VornFilterNoiseGen VornFilterNoiseGen;

/**
 * VornFilterNoise:
 * @y_scale: "y-scale", factor applied to every noise value
 * @y_ofs: "y-ofs", offset added after scaling
 * @y_attrib: "y-attrib", the amplitude input
 * @dest_attrib: "dest-attrib", where the noise goes
 * @seed: "seed", where every generator's sequence starts (1 or more)
 * @noise_type: "noise-type", a #VornFilterNoiseType
 * @trig_mode: "trig-mode", a #VornWaveTrigMode
 * @dest_op: "dest-op", a #VornWaveOp
 *
 * White noise combined with its destination like a wave's output.
 */
struct _VornFilterNoise {
  VornNode parent_instance;

  double y_scale;
  double y_ofs;
  VornAttribType y_attrib;
  VornAttribType dest_attrib;
  guint32 seed;
  guint8 noise_type;
  guint8 trig_mode;
  guint8 dest_op;
};

typedef struct { VornNodeClass parent_class; } VornFilterNoiseClass;

/* A number in the render format: @f for single, @d for double. */
typedef union {
  float f;
  double d;
} VornFilterNoiseValue;

/* Slots of the noise generator's attribute arrays. */
enum {
  VORN_FILTER_NOISE_SLOT_Y = 0,
  VORN_FILTER_NOISE_SLOT_DEST = 1,
  VORN_FILTER_NOISE_SLOT_OUT = 2,
  VORN_FILTER_NOISE_SLOT_COUNT = 3,
};

/**
 * VornFilterNoiseGen:
 * @noise_type: a #VornFilterNoiseType
 * @seed: the node's seed when the generator was built
 * @y_scale: "y-scale" in the render format
 * @y_ofs: "y-ofs" in the render format
 * @attribs: y input, destination input (none for set), output
 * @attrib_vals: records of @attribs
 * @dest_op: a #VornWaveOp
 * @trig_mode: a #VornWaveTrigMode
 * @rng: the random state: @xorshift for xorshift64, @rand (owned) for the
 *   twister
 */
struct _VornFilterNoiseGen {
  VornGen parent_instance;

  guint32 noise_type;
  guint32 seed;
  VornFilterNoiseValue y_scale;
  VornFilterNoiseValue y_ofs;
  VornAttribType attribs[VORN_FILTER_NOISE_SLOT_COUNT];
  VornAttribVal *attrib_vals[VORN_FILTER_NOISE_SLOT_COUNT];
  guint8 dest_op;
  guint8 trig_mode;
  union {
    guint64 xorshift;
    GRand *rand;
  } rng;
};

typedef struct { VornGenClass parent_class; } VornFilterNoiseGenClass;

GType vorn_filter_noise_get_type (void);
GType vorn_filter_noise_gen_get_type (void);

/* Returns: (transfer full): a new noise node: xorshift64 from seed 1, added
 * to the signal, scaled by the volume. */
VornFilterNoise *vorn_filter_noise_new (void);

/* Render variants, one per format and instruction set.  FALSE only
 * when a fixed zero amplitude makes an add a no-op (the output record is
 * then left untouched and no number is drawn). */
gboolean vorn_filter_noise_gen_render_SSE2_F (VornGen *gen);
gboolean vorn_filter_noise_gen_render_AVX_F (VornGen *gen);
gboolean vorn_filter_noise_gen_render_AVX2_F (VornGen *gen);
gboolean vorn_filter_noise_gen_render_AVX512_F (VornGen *gen);
gboolean vorn_filter_noise_gen_render_SSE2_D (VornGen *gen);
gboolean vorn_filter_noise_gen_render_AVX_D (VornGen *gen);
gboolean vorn_filter_noise_gen_render_AVX2_D (VornGen *gen);
gboolean vorn_filter_noise_gen_render_AVX512_D (VornGen *gen);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornFilterNoise, g_object_unref)
G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornFilterNoiseGen, g_object_unref)

G_END_DECLS
