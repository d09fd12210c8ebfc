/* vorn-filter-rbj.cpp: the biquad filter nodes and the construction of their
 * generators (the render variants are in kernels/vorn-filter-rbj-*.cpp) */
#include "vorn-filter-rbj.h"

#include "vorn-gen-private.h"
#include "vorn-node-private.h"

/* ---- nodes ---------------------------------------------------------------- */

enum {
  PROP_0,
  PROP_FREQ_ATTRIB,
  PROP_Q_ATTRIB, /* "width-attrib" on the band-pass */
  PROP_SRC_ATTRIB,
  PROP_DEST_ATTRIB,
  N_PROPS
};

static GParamSpec *lowpass_properties[N_PROPS];
static GParamSpec *highpass_properties[N_PROPS];
static GParamSpec *bandpass_properties[N_PROPS];

G_DEFINE_TYPE (VornFilterRbjLowpass, vorn_filter_rbj_lowpass, VORN_TYPE_NODE)
G_DEFINE_TYPE (VornFilterRbjHighpass, vorn_filter_rbj_highpass, VORN_TYPE_NODE)
G_DEFINE_TYPE (VornFilterRbjBandpass, vorn_filter_rbj_bandpass, VORN_TYPE_NODE)
G_DEFINE_TYPE (VornFilterRbjLowpassGen, vorn_filter_rbj_lowpass_gen, VORN_TYPE_GEN)
G_DEFINE_TYPE (VornFilterRbjHighpassGen, vorn_filter_rbj_highpass_gen, VORN_TYPE_GEN)
G_DEFINE_TYPE (VornFilterRbjBandpassGen, vorn_filter_rbj_bandpass_gen, VORN_TYPE_GEN)

/* The attribute field of property @prop_id; the three node structures have
 * the same four fields, only the band-pass names its Q "width". */
template <typename N, VornAttribType N::*Q>
static VornAttribType *
node_field (N *node, guint prop_id)
{
  switch (prop_id)
    {
    case PROP_FREQ_ATTRIB: return &node->freq_attrib;
    case PROP_Q_ATTRIB: return &(node->*Q);
    case PROP_SRC_ATTRIB: return &node->src_attrib;
    case PROP_DEST_ATTRIB: return &node->dest_attrib;
    default: return nullptr;
    }
}

static VornAttribType *
rbj_field (gpointer object, guint prop_id)
{
  if (VORN_IS_FILTER_RBJ_LOWPASS (object))
    return node_field<VornFilterRbjLowpass, &VornFilterRbjLowpass::q_attrib> (
      VORN_FILTER_RBJ_LOWPASS (object), prop_id);
  if (VORN_IS_FILTER_RBJ_HIGHPASS (object))
    return node_field<VornFilterRbjHighpass, &VornFilterRbjHighpass::q_attrib> (
      VORN_FILTER_RBJ_HIGHPASS (object), prop_id);
  if (VORN_IS_FILTER_RBJ_BANDPASS (object))
    return node_field<VornFilterRbjBandpass, &VornFilterRbjBandpass::width_attrib> (
      VORN_FILTER_RBJ_BANDPASS (object), prop_id);
  return nullptr;
}

static void
rbj_node_init (gpointer node)
{
  *rbj_field (node, PROP_FREQ_ATTRIB) = VORN_ATTRIB_TYPE_CONTROL;
  *rbj_field (node, PROP_Q_ATTRIB) = VORN_ATTRIB_TYPE_CONTROL;
  *rbj_field (node, PROP_SRC_ATTRIB) = VORN_ATTRIB_TYPE_SIGNAL;
  *rbj_field (node, PROP_DEST_ATTRIB) = VORN_ATTRIB_TYPE_SIGNAL;
}

static void vorn_filter_rbj_lowpass_init (VornFilterRbjLowpass *node) { rbj_node_init (node); }
static void vorn_filter_rbj_highpass_init (VornFilterRbjHighpass *node) { rbj_node_init (node); }
static void vorn_filter_rbj_bandpass_init (VornFilterRbjBandpass *node) { rbj_node_init (node); }

static void
rbj_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornAttribType *field = rbj_field (object, prop_id);

  if (field)
    g_value_set_enum (value, *field);
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
rbj_set_property (GObject *object, guint prop_id, const GValue *value, GParamSpec *pspec)
{
  VornAttribType *field = rbj_field (object, prop_id);

  if (field)
    vorn_node_set_attrib_property (object, field, value, pspec);
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static VornNode *
rbj_duplicate (VornNode *node, gpointer parent_class)
{
  VornNode *copy = VORN_NODE_CLASS (parent_class)->duplicate (node);

  for (guint id = PROP_FREQ_ATTRIB; id < N_PROPS; id++)
    *rbj_field (copy, id) = *rbj_field (node, id);
  return copy;
}

static VornNode *
vorn_filter_rbj_lowpass_duplicate (VornNode *node)
{
  return rbj_duplicate (node, vorn_filter_rbj_lowpass_parent_class);
}

static VornNode *
vorn_filter_rbj_highpass_duplicate (VornNode *node)
{
  return rbj_duplicate (node, vorn_filter_rbj_highpass_parent_class);
}

static VornNode *
vorn_filter_rbj_bandpass_duplicate (VornNode *node)
{
  return rbj_duplicate (node, vorn_filter_rbj_bandpass_parent_class);
}

static VornGen *
vorn_filter_rbj_lowpass_create_gen (VornNode *node, VornQueue *queue)
{
  return VORN_GEN (g_object_new (VORN_TYPE_FILTER_RBJ_LOWPASS_GEN, "node", node, "queue", queue,
                                 nullptr));
}

static VornGen *
vorn_filter_rbj_highpass_create_gen (VornNode *node, VornQueue *queue)
{
  return VORN_GEN (g_object_new (VORN_TYPE_FILTER_RBJ_HIGHPASS_GEN, "node", node, "queue", queue,
                                 nullptr));
}

static VornGen *
vorn_filter_rbj_bandpass_create_gen (VornNode *node, VornQueue *queue)
{
  return VORN_GEN (g_object_new (VORN_TYPE_FILTER_RBJ_BANDPASS_GEN, "node", node, "queue", queue,
                                 nullptr));
}

static void
rbj_node_class_init (gpointer klass, GParamSpec **props, bool bandpass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->get_property = rbj_get_property;
  object_class->set_property = rbj_set_property;

  const auto flags = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                  G_PARAM_EXPLICIT_NOTIFY);
  props[PROP_FREQ_ATTRIB] =
    g_param_spec_enum ("freq-attrib", "FreqAttrib", "Cutoff frequency attribute",
                       VORN_TYPE_ATTRIB_TYPE, VORN_ATTRIB_TYPE_CONTROL, flags);
  if (bandpass)
    props[PROP_Q_ATTRIB] =
      g_param_spec_enum ("width-attrib", "WidthAttrib", "Filter bandwidth attribute",
                         VORN_TYPE_ATTRIB_TYPE, VORN_ATTRIB_TYPE_CONTROL, flags);
  else
    props[PROP_Q_ATTRIB] =
      g_param_spec_enum ("q-attrib", "QAttrib", "Filter Q attribute", VORN_TYPE_ATTRIB_TYPE,
                         VORN_ATTRIB_TYPE_CONTROL, flags);
  props[PROP_SRC_ATTRIB] =
    g_param_spec_enum ("src-attrib", "SrcAttrib", "Source attribute", VORN_TYPE_ATTRIB_TYPE,
                       VORN_ATTRIB_TYPE_SIGNAL, flags);
  props[PROP_DEST_ATTRIB] =
    g_param_spec_enum ("dest-attrib", "DestAttrib", "Destination attribute",
                       VORN_TYPE_ATTRIB_TYPE, VORN_ATTRIB_TYPE_SIGNAL, flags);

  g_object_class_install_properties (object_class, N_PROPS, props);
}

static void
vorn_filter_rbj_lowpass_class_init (VornFilterRbjLowpassClass *klass)
{
  VORN_NODE_CLASS (klass)->duplicate = vorn_filter_rbj_lowpass_duplicate;
  VORN_NODE_CLASS (klass)->create_gen = vorn_filter_rbj_lowpass_create_gen;
  rbj_node_class_init (klass, lowpass_properties, false);
}

static void
vorn_filter_rbj_highpass_class_init (VornFilterRbjHighpassClass *klass)
{
  VORN_NODE_CLASS (klass)->duplicate = vorn_filter_rbj_highpass_duplicate;
  VORN_NODE_CLASS (klass)->create_gen = vorn_filter_rbj_highpass_create_gen;
  rbj_node_class_init (klass, highpass_properties, false);
}

static void
vorn_filter_rbj_bandpass_class_init (VornFilterRbjBandpassClass *klass)
{
  VORN_NODE_CLASS (klass)->duplicate = vorn_filter_rbj_bandpass_duplicate;
  VORN_NODE_CLASS (klass)->create_gen = vorn_filter_rbj_bandpass_create_gen;
  rbj_node_class_init (klass, bandpass_properties, true);
}

VornFilterRbjLowpass *
vorn_filter_rbj_lowpass_new (void)
{
  return VORN_FILTER_RBJ_LOWPASS (g_object_new (VORN_TYPE_FILTER_RBJ_LOWPASS, nullptr));
}

VornFilterRbjHighpass *
vorn_filter_rbj_highpass_new (void)
{
  return VORN_FILTER_RBJ_HIGHPASS (g_object_new (VORN_TYPE_FILTER_RBJ_HIGHPASS, nullptr));
}

VornFilterRbjBandpass *
vorn_filter_rbj_bandpass_new (void)
{
  return VORN_FILTER_RBJ_BANDPASS (g_object_new (VORN_TYPE_FILTER_RBJ_BANDPASS, nullptr));
}

/* ---- generators ---------------------------------------------------------- */

static const VornKernelVariant<VornGenRenderFunc> lowpass_render_table[] = {
  VORN_KERNEL_VARIANTS (vorn_filter_rbj_lowpass_gen_render),
};

static const VornKernelVariant<VornGenRenderFunc> highpass_render_table[] = {
  VORN_KERNEL_VARIANTS (vorn_filter_rbj_highpass_gen_render),
};

static const VornKernelVariant<VornGenRenderFunc> bandpass_render_table[] = {
  VORN_KERNEL_VARIANTS (vorn_filter_rbj_bandpass_gen_render),
};

static void
rbj_gen_init (VornGen *gen, VornFilterRbjGenData *rbj)
{
  gen->attribs = rbj->attribs;
  gen->attrib_vals = rbj->attrib_vals;
  gen->src_count = 3;
  gen->dest_count = 1;
  rbj->channels = 1;
}

static void
vorn_filter_rbj_lowpass_gen_init (VornFilterRbjLowpassGen *gen)
{
  rbj_gen_init (VORN_GEN (gen), &gen->rbj);
}

static void
vorn_filter_rbj_highpass_gen_init (VornFilterRbjHighpassGen *gen)
{
  rbj_gen_init (VORN_GEN (gen), &gen->rbj);
}

static void
vorn_filter_rbj_bandpass_gen_init (VornFilterRbjBandpassGen *gen)
{
  rbj_gen_init (VORN_GEN (gen), &gen->rbj);
}

static void
set_value (VornFilterRbjValue *v, VornFormat format, double x)
{
  if (format == VORN_FORMAT_DOUBLE)
    v->d = x;
  else
    v->f = float (x);
}

static void
rbj_gen_setup (VornGen *gen, VornFilterRbjGenData *rbj,
               const VornKernelVariant<VornGenRenderFunc> (&table)[8])
{
  /* Without a filter node (a misuse) the generator still renders: it reads
   * its default routing. */
  for (guint id = PROP_FREQ_ATTRIB; id < N_PROPS; id++)
    {
      VornAttribType *field = gen->node ? rbj_field (gen->node, id) : nullptr;
      static const VornAttribType defaults[] = { VORN_ATTRIB_TYPE_CONTROL, VORN_ATTRIB_TYPE_CONTROL,
                                                 VORN_ATTRIB_TYPE_SIGNAL, VORN_ATTRIB_TYPE_SIGNAL };
      rbj->attribs[id - 1] = field ? *field : defaults[id - 1];
    }

  double rate = 48000.0;
  const VornRenderContext *ctx = vorn_gen_get_context (gen);
  rate = ctx->sample_rate;
  const guint speakers = ctx->speaker_count;
  const VornFormat format = ctx->format;
  const VornSimd simd = ctx->simd;

  set_value (&rbj->nyquist, format, 0.5 * rate);
  set_value (&rbj->omega_per_hz, format, 6.283185307179586 / rate);
  rbj->channels = rbj->attribs[VORN_FILTER_RBJ_SLOT_DEST] == VORN_ATTRIB_TYPE_SPEAKERS
                    ? MAX (speakers, 1u) : 1u;
  rbj->coef_mode = VORN_FILTER_RBJ_COEF_NONE;
  rbj->delay = g_malloc0 (gsize (rbj->channels) * 2
                          * (format == VORN_FORMAT_DOUBLE ? sizeof (double) : sizeof (float)));
  gen->render = vorn_kernel_pick (table, format, simd);
}

static void
vorn_filter_rbj_lowpass_gen_constructed (GObject *object)
{
  G_OBJECT_CLASS (vorn_filter_rbj_lowpass_gen_parent_class)->constructed (object);
  rbj_gen_setup (VORN_GEN (object), &VORN_FILTER_RBJ_LOWPASS_GEN (object)->rbj,
                 lowpass_render_table);
}

static void
vorn_filter_rbj_highpass_gen_constructed (GObject *object)
{
  G_OBJECT_CLASS (vorn_filter_rbj_highpass_gen_parent_class)->constructed (object);
  rbj_gen_setup (VORN_GEN (object), &VORN_FILTER_RBJ_HIGHPASS_GEN (object)->rbj,
                 highpass_render_table);
}

static void
vorn_filter_rbj_bandpass_gen_constructed (GObject *object)
{
  G_OBJECT_CLASS (vorn_filter_rbj_bandpass_gen_parent_class)->constructed (object);
  rbj_gen_setup (VORN_GEN (object), &VORN_FILTER_RBJ_BANDPASS_GEN (object)->rbj,
                 bandpass_render_table);
}

static void
vorn_filter_rbj_lowpass_gen_finalize (GObject *object)
{
  g_clear_pointer (&VORN_FILTER_RBJ_LOWPASS_GEN (object)->rbj.delay, g_free);
  G_OBJECT_CLASS (vorn_filter_rbj_lowpass_gen_parent_class)->finalize (object);
}

static void
vorn_filter_rbj_highpass_gen_finalize (GObject *object)
{
  g_clear_pointer (&VORN_FILTER_RBJ_HIGHPASS_GEN (object)->rbj.delay, g_free);
  G_OBJECT_CLASS (vorn_filter_rbj_highpass_gen_parent_class)->finalize (object);
}

static void
vorn_filter_rbj_bandpass_gen_finalize (GObject *object)
{
  g_clear_pointer (&VORN_FILTER_RBJ_BANDPASS_GEN (object)->rbj.delay, g_free);
  G_OBJECT_CLASS (vorn_filter_rbj_bandpass_gen_parent_class)->finalize (object);
}

static void
vorn_filter_rbj_lowpass_gen_class_init (VornFilterRbjLowpassGenClass *klass)
{
  G_OBJECT_CLASS (klass)->constructed = vorn_filter_rbj_lowpass_gen_constructed;
  G_OBJECT_CLASS (klass)->finalize = vorn_filter_rbj_lowpass_gen_finalize;
}

static void
vorn_filter_rbj_highpass_gen_class_init (VornFilterRbjHighpassGenClass *klass)
{
  G_OBJECT_CLASS (klass)->constructed = vorn_filter_rbj_highpass_gen_constructed;
  G_OBJECT_CLASS (klass)->finalize = vorn_filter_rbj_highpass_gen_finalize;
}

static void
vorn_filter_rbj_bandpass_gen_class_init (VornFilterRbjBandpassGenClass *klass)
{
  G_OBJECT_CLASS (klass)->constructed = vorn_filter_rbj_bandpass_gen_constructed;
  G_OBJECT_CLASS (klass)->finalize = vorn_filter_rbj_bandpass_gen_finalize;
}
