/* vorn-filter-rbj.h: the biquad low-pass, high-pass and band-pass filter
 * nodes and their generators */
#pragma once

#include <glib-object.h>

#include "vorn-attrib.h"
#include "vorn-gen.h"
#include "vorn-node.h"

G_BEGIN_DECLS

#define VORN_TYPE_FILTER_RBJ_LOWPASS       (vorn_filter_rbj_lowpass_get_type ())
#define VORN_FILTER_RBJ_LOWPASS(obj)       (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_FILTER_RBJ_LOWPASS, VornFilterRbjLowpass))
#define VORN_IS_FILTER_RBJ_LOWPASS(obj)    (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_FILTER_RBJ_LOWPASS))
#define VORN_TYPE_FILTER_RBJ_HIGHPASS      (vorn_filter_rbj_highpass_get_type ())
#define VORN_FILTER_RBJ_HIGHPASS(obj)      (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_FILTER_RBJ_HIGHPASS, VornFilterRbjHighpass))
#define VORN_IS_FILTER_RBJ_HIGHPASS(obj)   (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_FILTER_RBJ_HIGHPASS))
#define VORN_TYPE_FILTER_RBJ_BANDPASS      (vorn_filter_rbj_bandpass_get_type ())
#define VORN_FILTER_RBJ_BANDPASS(obj)      (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_FILTER_RBJ_BANDPASS, VornFilterRbjBandpass))
#define VORN_IS_FILTER_RBJ_BANDPASS(obj)   (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_FILTER_RBJ_BANDPASS))

#define VORN_TYPE_FILTER_RBJ_LOWPASS_GEN     (vorn_filter_rbj_lowpass_gen_get_type ())
#define VORN_FILTER_RBJ_LOWPASS_GEN(obj)     (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_FILTER_RBJ_LOWPASS_GEN, VornFilterRbjLowpassGen))
#define VORN_IS_FILTER_RBJ_LOWPASS_GEN(obj)  (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_FILTER_RBJ_LOWPASS_GEN))
#define VORN_TYPE_FILTER_RBJ_HIGHPASS_GEN    (vorn_filter_rbj_highpass_gen_get_type ())
#define VORN_FILTER_RBJ_HIGHPASS_GEN(obj)    (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_FILTER_RBJ_HIGHPASS_GEN, VornFilterRbjHighpassGen))
#define VORN_IS_FILTER_RBJ_HIGHPASS_GEN(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_FILTER_RBJ_HIGHPASS_GEN))
#define VORN_TYPE_FILTER_RBJ_BANDPASS_GEN    (vorn_filter_rbj_bandpass_gen_get_type ())
#define VORN_FILTER_RBJ_BANDPASS_GEN(obj)    (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_FILTER_RBJ_BANDPASS_GEN, VornFilterRbjBandpassGen))
#define VORN_IS_FILTER_RBJ_BANDPASS_GEN(obj) (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_FILTER_RBJ_BANDPASS_GEN))

typedef struct _VornFilterRbjLowpass VornFilterRbjLowpass;
typedef struct _VornFilterRbjHighpass VornFilterRbjHighpass;
typedef struct _VornFilterRbjBandpass VornFilterRbjBandpass;
typedef struct _VornFilterRbjLowpassGen VornFilterRbjLowpassGen;
typedef struct _VornFilterRbjHighpassGen VornFilterRbjHighpassGen;
typedef struct _VornFilterRbjBandpassGen VornFilterRbjBandpassGen;

/**
 * VornFilterRbjLowpass:
 * @freq_attrib: "freq-attrib", the cutoff frequency in Hz
 * @q_attrib: "q-attrib", the filter's Q
 * @src_attrib: "src-attrib", the filtered input
 * @dest_attrib: "dest-attrib", where the output goes; with speakers every
 *   speaker channel is filtered separately
 *
 * Second-order low-pass (RBJ cookbook).  The high-pass node has the same
 * fields; the band-pass node has @width_attrib (its Q) in place of
 * @q_attrib.
 */
struct _VornFilterRbjLowpass {
  VornNode parent_instance;

  VornAttribType freq_attrib;
  VornAttribType q_attrib;
  VornAttribType src_attrib;
  VornAttribType dest_attrib;
};

struct _VornFilterRbjHighpass {
  VornNode parent_instance;

  VornAttribType freq_attrib;
  VornAttribType q_attrib;
  VornAttribType src_attrib;
  VornAttribType dest_attrib;
};

struct _VornFilterRbjBandpass {
  VornNode parent_instance;

  VornAttribType freq_attrib;
  VornAttribType width_attrib;
  VornAttribType src_attrib;
  VornAttribType dest_attrib;
};

typedef struct { VornNodeClass parent_class; } VornFilterRbjLowpassClass;
typedef struct { VornNodeClass parent_class; } VornFilterRbjHighpassClass;
typedef struct { VornNodeClass parent_class; } VornFilterRbjBandpassClass;

/* A number in the render format: @f for single, @d for double. */
typedef union {
  float f;
  double d;
} VornFilterRbjValue;

/* What a filter generator has cached in VornFilterRbjGenData. */
typedef enum {
  VORN_FILTER_RBJ_COEF_NONE = 0,
  VORN_FILTER_RBJ_COEF_SINCOS = 1,
  VORN_FILTER_RBJ_COEF_ALL = 2,
} VornFilterRbjCoefMode;

/* Slots of the filter generators' attribute arrays. */
enum {
  VORN_FILTER_RBJ_SLOT_FREQ = 0,
  VORN_FILTER_RBJ_SLOT_Q = 1,
  VORN_FILTER_RBJ_SLOT_SRC = 2,
  VORN_FILTER_RBJ_SLOT_DEST = 3,
  VORN_FILTER_RBJ_SLOT_COUNT = 4,
};

/**
 * VornFilterRbjGenData:
 * @attribs: frequency, Q (width), source, then destination types
 * @attrib_vals: records of @attribs; source and destination address the
 *   first of @channels records
 * @delay: @channels pairs (w1, w2) in the render format, the Direct Form II
 *   delay line of each channel
 * @channels: speaker count when the destination is speakers, else 1
 * @coef_mode: a #VornFilterRbjCoefMode
 * @nyquist: half the sample rate
 * @omega_per_hz: 2 pi / sample rate
 * @cached_freq: frequency input the cache was made for
 * @cached_q: Q input the cache was made for (mode all only)
 * @sin_w0: sine of w0 (mode sincos)
 * @cos_w0: cosine of w0 (mode sincos)
 * @a0: 1 + alpha (mode all)
 * @a1: a1 / a0 (mode all; likewise the following)
 * @a2: a2 / a0
 * @b0: b0 / a0
 * @b1: b1 / a0
 * @b2: b2 / a0 (the band-pass uses -@b0)
 *
 * Render state shared by the three filter generators.  Numbers are in the
 * render format.
 */
typedef struct {
  VornAttribType attribs[VORN_FILTER_RBJ_SLOT_COUNT];
  VornAttribVal *attrib_vals[VORN_FILTER_RBJ_SLOT_COUNT];
  gpointer delay;
  guint32 channels;
  guint8 coef_mode;
  VornFilterRbjValue nyquist;
  VornFilterRbjValue omega_per_hz;
  VornFilterRbjValue cached_freq;
  VornFilterRbjValue cached_q;
  VornFilterRbjValue sin_w0;
  VornFilterRbjValue cos_w0;
  VornFilterRbjValue a0;
  VornFilterRbjValue a1;
  VornFilterRbjValue a2;
  VornFilterRbjValue b0;
  VornFilterRbjValue b1;
  VornFilterRbjValue b2;
} VornFilterRbjGenData;

struct _VornFilterRbjLowpassGen {
  VornGen parent_instance;
  VornFilterRbjGenData rbj;
};

struct _VornFilterRbjHighpassGen {
  VornGen parent_instance;
  VornFilterRbjGenData rbj;
};

struct _VornFilterRbjBandpassGen {
  VornGen parent_instance;
  VornFilterRbjGenData rbj;
};

typedef struct { VornGenClass parent_class; } VornFilterRbjLowpassGenClass;
typedef struct { VornGenClass parent_class; } VornFilterRbjHighpassGenClass;
typedef struct { VornGenClass parent_class; } VornFilterRbjBandpassGenClass;

GType vorn_filter_rbj_lowpass_get_type (void);
GType vorn_filter_rbj_highpass_get_type (void);
GType vorn_filter_rbj_bandpass_get_type (void);
GType vorn_filter_rbj_lowpass_gen_get_type (void);
GType vorn_filter_rbj_highpass_gen_get_type (void);
GType vorn_filter_rbj_bandpass_gen_get_type (void);

/* Returns: (transfer full): a new low-pass node (control frequency and Q,
 * signal in and out). */
VornFilterRbjLowpass *vorn_filter_rbj_lowpass_new (void);

/* Returns: (transfer full): a new high-pass node with the same defaults. */
VornFilterRbjHighpass *vorn_filter_rbj_highpass_new (void);

/* Returns: (transfer full): a new band-pass node with the same defaults. */
VornFilterRbjBandpass *vorn_filter_rbj_bandpass_new (void);

/* Render variants, one per format and instruction set.  Always TRUE;
 * every bound destination record is left dynamic. */
gboolean vorn_filter_rbj_lowpass_gen_render_SSE2_F (VornGen *gen);
gboolean vorn_filter_rbj_lowpass_gen_render_AVX_F (VornGen *gen);
gboolean vorn_filter_rbj_lowpass_gen_render_AVX2_F (VornGen *gen);
gboolean vorn_filter_rbj_lowpass_gen_render_AVX512_F (VornGen *gen);
gboolean vorn_filter_rbj_lowpass_gen_render_SSE2_D (VornGen *gen);
gboolean vorn_filter_rbj_lowpass_gen_render_AVX_D (VornGen *gen);
gboolean vorn_filter_rbj_lowpass_gen_render_AVX2_D (VornGen *gen);
gboolean vorn_filter_rbj_lowpass_gen_render_AVX512_D (VornGen *gen);
gboolean vorn_filter_rbj_highpass_gen_render_SSE2_F (VornGen *gen);
gboolean vorn_filter_rbj_highpass_gen_render_AVX_F (VornGen *gen);
gboolean vorn_filter_rbj_highpass_gen_render_AVX2_F (VornGen *gen);
gboolean vorn_filter_rbj_highpass_gen_render_AVX512_F (VornGen *gen);
gboolean vorn_filter_rbj_highpass_gen_render_SSE2_D (VornGen *gen);
gboolean vorn_filter_rbj_highpass_gen_render_AVX_D (VornGen *gen);
gboolean vorn_filter_rbj_highpass_gen_render_AVX2_D (VornGen *gen);
gboolean vorn_filter_rbj_highpass_gen_render_AVX512_D (VornGen *gen);
gboolean vorn_filter_rbj_bandpass_gen_render_SSE2_F (VornGen *gen);
gboolean vorn_filter_rbj_bandpass_gen_render_AVX_F (VornGen *gen);
gboolean vorn_filter_rbj_bandpass_gen_render_AVX2_F (VornGen *gen);
gboolean vorn_filter_rbj_bandpass_gen_render_AVX512_F (VornGen *gen);
gboolean vorn_filter_rbj_bandpass_gen_render_SSE2_D (VornGen *gen);
gboolean vorn_filter_rbj_bandpass_gen_render_AVX_D (VornGen *gen);
gboolean vorn_filter_rbj_bandpass_gen_render_AVX2_D (VornGen *gen);
gboolean vorn_filter_rbj_bandpass_gen_render_AVX512_D (VornGen *gen);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornFilterRbjLowpass, g_object_unref)
G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornFilterRbjHighpass, g_object_unref)
G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornFilterRbjBandpass, g_object_unref)
G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornFilterRbjLowpassGen, g_object_unref)
G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornFilterRbjHighpassGen, g_object_unref)
G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornFilterRbjBandpassGen, g_object_unref)

G_END_DECLS
