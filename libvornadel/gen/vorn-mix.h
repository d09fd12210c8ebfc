/* vorn-mix.h: the speaker mix node, which pans a mono signal over the
 * speaker outputs, and its generator */
#pragma once

#include <glib-object.h>

#include "vorn-attrib.h"
#include "vorn-gen.h"
#include "vorn-node.h"

G_BEGIN_DECLS

#define VORN_TYPE_MIX            (vorn_mix_get_type ())
#define VORN_MIX(obj)            (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_MIX, VornMix))
#define VORN_MIX_CLASS(klass)    (G_TYPE_CHECK_CLASS_CAST ((klass), VORN_TYPE_MIX, VornMixClass))
#define VORN_IS_MIX(obj)         (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_MIX))
#define VORN_IS_MIX_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), VORN_TYPE_MIX))
#define VORN_MIX_GET_CLASS(obj)  (G_TYPE_INSTANCE_GET_CLASS ((obj), VORN_TYPE_MIX, VornMixClass))

#define VORN_TYPE_MIX_GEN            (vorn_mix_gen_get_type ())
#define VORN_MIX_GEN(obj)            (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_MIX_GEN, VornMixGen))
#define VORN_IS_MIX_GEN(obj)         (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_MIX_GEN))

typedef struct _VornMix VornMix;
typedef struct _VornMixClass VornMixClass;
typedef struct _VornMixGen VornMixGen;
typedef struct _VornMixGenClass VornMixGenClass;
typedef struct _VornCurveCache VornCurveCache;

/**
 * VornMix:
 * @sig_attrib: "sig-attrib", the mono signal
 * @bal_attrib: "bal-attrib", left-right balance (-1 left .. 1 right)
 * @lat_attrib: "lat-attrib", front-rear latitude (-1 rear .. 1 front)
 * @src_attrib: "src-attrib", what the panned signal is added to
 * @dest_attrib: "dest-attrib", where the result goes
 *
 * Multiplies the signal by one gain per speaker, the product of the
 * speaker's balance and latitude curves at the current balance and
 * latitude, and adds it to the source records.  An input of type none is
 * read as 0 (silence, centre).
 */
struct _VornMix {
  VornNode parent_instance;

  VornAttribType sig_attrib;
  VornAttribType bal_attrib;
  VornAttribType lat_attrib;
  VornAttribType src_attrib;
  VornAttribType dest_attrib;
};

struct _VornMixClass {
  VornNodeClass parent_class;
};

/**
 * VornMixGen:
 * @attribs: sig, bal, lat, src sources, then the destination
 * @attrib_vals: records of @attribs; src and dest address the first of
 *   @speaker_count records
 * @gains: @speaker_count gains in the render format (float or double)
 * @cached_bal: balance @gains were computed for (-2 before the first render)
 * @cached_lat: latitude @gains were computed for
 * @bal_caches: balance curve cache (double format) of each speaker
 *   (referenced)
 * @lat_caches: latitude curve cache of each speaker (referenced)
 * @speaker_count: the synthesizer's speaker count
 *
 * Panning is updated once per fragment, from the first sample of dynamic
 * balance and latitude inputs; the curves are evaluated only when either
 * changes.
 */
struct _VornMixGen {
  VornGen parent_instance;

  VornAttribType attribs[5];
  VornAttribVal *attrib_vals[5];
  gpointer gains;
  double cached_bal;
  double cached_lat;
  VornCurveCache **bal_caches;
  VornCurveCache **lat_caches;
  guint32 speaker_count;
};

struct _VornMixGenClass {
  VornGenClass parent_class;
};

GType vorn_mix_get_type (void);
GType vorn_mix_gen_get_type (void);

/* Returns: (transfer full): a new mix node with the default routing (signal,
 * balance, latitude into speakers). */
VornMix *vorn_mix_new (void);

/* Render variants, one per format and instruction set.  Always TRUE. */
gboolean vorn_mix_gen_render_SSE2_F (VornGen *gen);
gboolean vorn_mix_gen_render_AVX_F (VornGen *gen);
gboolean vorn_mix_gen_render_AVX2_F (VornGen *gen);
gboolean vorn_mix_gen_render_AVX512_F (VornGen *gen);
gboolean vorn_mix_gen_render_SSE2_D (VornGen *gen);
gboolean vorn_mix_gen_render_AVX_D (VornGen *gen);
gboolean vorn_mix_gen_render_AVX2_D (VornGen *gen);
gboolean vorn_mix_gen_render_AVX512_D (VornGen *gen);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornMix, g_object_unref)
G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornMixGen, g_object_unref)

G_END_DECLS
