/* vorn-filter-noise.cpp: the noise node and the construction of its
 * generator (the render variants are in kernels/vorn-filter-noise-*.cpp) */
#include "vorn-filter-noise.h"

#include "vorn-gen-private.h"
#include "vorn-wave.h"
#include "vorn-value.h"

G_DEFINE_ENUM_TYPE (VornFilterNoiseType, vorn_filter_noise_type,
  G_DEFINE_ENUM_VALUE (VORN_FILTER_NOISE_TYPE_XORSHIFT64, "xorshift64"),
  G_DEFINE_ENUM_VALUE (VORN_FILTER_NOISE_TYPE_TWISTER, "twister"))

/* ---- VornFilterNoise ------------------------------------------------------ */

enum {
  PROP_0,
  PROP_NOISE_TYPE,
  PROP_SEED,
  PROP_Y_ATTRIB,
  PROP_DEST_ATTRIB,
  PROP_DEST_OP,
  PROP_TRIG_MODE,
  PROP_Y_SCALE,
  PROP_Y_OFS,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

G_DEFINE_TYPE (VornFilterNoise, vorn_filter_noise, VORN_TYPE_NODE)
G_DEFINE_TYPE (VornFilterNoiseGen, vorn_filter_noise_gen, VORN_TYPE_GEN)

static void
vorn_filter_noise_init (VornFilterNoise *noise)
{
  noise->y_scale = 1.0;
  noise->y_ofs = 0.0;
  noise->y_attrib = VORN_ATTRIB_TYPE_VOLUME;
  noise->dest_attrib = VORN_ATTRIB_TYPE_SIGNAL;
  noise->seed = 1;
  noise->noise_type = VORN_FILTER_NOISE_TYPE_XORSHIFT64;
  noise->trig_mode = VORN_WAVE_TRIG_MODE_PRESS;
  noise->dest_op = VORN_WAVE_OP_ADD;
}

static void
vorn_filter_noise_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornFilterNoise *noise = VORN_FILTER_NOISE (object);

  switch (prop_id)
    {
    case PROP_NOISE_TYPE: g_value_set_enum (value, noise->noise_type); break;
    case PROP_SEED: g_value_set_uint (value, noise->seed); break;
    case PROP_Y_ATTRIB: g_value_set_enum (value, noise->y_attrib); break;
    case PROP_DEST_ATTRIB: g_value_set_enum (value, noise->dest_attrib); break;
    case PROP_DEST_OP: g_value_set_enum (value, noise->dest_op); break;
    case PROP_TRIG_MODE: g_value_set_enum (value, noise->trig_mode); break;
    case PROP_Y_SCALE: g_value_set_double (value, noise->y_scale); break;
    case PROP_Y_OFS: g_value_set_double (value, noise->y_ofs); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec); break;
    }
}

template <typename F, typename V>
static void
update (GObject *object, GParamSpec *pspec, F &field, V value)
{
  if (field != F (value))
    {
      field = F (value);
      g_object_notify_by_pspec (object, pspec);
    }
}

static void
vorn_filter_noise_set_property (GObject *object, guint prop_id, const GValue *value,
                                GParamSpec *pspec)
{
  VornFilterNoise *noise = VORN_FILTER_NOISE (object);

  switch (prop_id)
    {
    case PROP_NOISE_TYPE: update (object, pspec, noise->noise_type, g_value_get_enum (value)); break;
    case PROP_SEED: update (object, pspec, noise->seed, g_value_get_uint (value)); break;
    case PROP_Y_ATTRIB:
      update (object, pspec, noise->y_attrib, VornAttribType (g_value_get_enum (value)));
      break;
    case PROP_DEST_ATTRIB:
      update (object, pspec, noise->dest_attrib, VornAttribType (g_value_get_enum (value)));
      break;
    case PROP_DEST_OP: update (object, pspec, noise->dest_op, g_value_get_enum (value)); break;
    case PROP_TRIG_MODE: update (object, pspec, noise->trig_mode, g_value_get_enum (value)); break;
    case PROP_Y_SCALE: update (object, pspec, noise->y_scale, g_value_get_double (value)); break;
    case PROP_Y_OFS: update (object, pspec, noise->y_ofs, g_value_get_double (value)); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec); break;
    }
}

static VornNode *
vorn_filter_noise_duplicate (VornNode *node)
{
  VornFilterNoise *noise = VORN_FILTER_NOISE (node);
  VornFilterNoise *copy =
    VORN_FILTER_NOISE (VORN_NODE_CLASS (vorn_filter_noise_parent_class)->duplicate (node));

  copy->y_scale = noise->y_scale;
  copy->y_ofs = noise->y_ofs;
  copy->y_attrib = noise->y_attrib;
  copy->dest_attrib = noise->dest_attrib;
  copy->seed = noise->seed;
  copy->noise_type = noise->noise_type;
  copy->trig_mode = noise->trig_mode;
  copy->dest_op = noise->dest_op;
  return VORN_NODE (copy);
}

static VornGen *
vorn_filter_noise_create_gen (VornNode *node, VornQueue *queue)
{
  return VORN_GEN (g_object_new (VORN_TYPE_FILTER_NOISE_GEN, "node", node, "queue", queue,
                                 nullptr));
}

static void
vorn_filter_noise_class_init (VornFilterNoiseClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  VornNodeClass *node_class = VORN_NODE_CLASS (klass);

  object_class->get_property = vorn_filter_noise_get_property;
  object_class->set_property = vorn_filter_noise_set_property;
  node_class->duplicate = vorn_filter_noise_duplicate;
  node_class->create_gen = vorn_filter_noise_create_gen;

  const auto flags = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                  G_PARAM_EXPLICIT_NOTIFY);
  properties[PROP_NOISE_TYPE] =
    g_param_spec_enum ("noise-type", "NoiseType", "Noise algorithm type",
                       VORN_TYPE_FILTER_NOISE_TYPE, VORN_FILTER_NOISE_TYPE_XORSHIFT64, flags);
  properties[PROP_SEED] =
    g_param_spec_uint ("seed", "Seed", "Noise generator seed", 1, G_MAXUINT32, 1, flags);
  properties[PROP_Y_ATTRIB] =
    g_param_spec_enum ("y-attrib", "YAttrib", "Y attribute", VORN_TYPE_ATTRIB_TYPE,
                       VORN_ATTRIB_TYPE_VOLUME, flags);
  properties[PROP_DEST_ATTRIB] =
    g_param_spec_enum ("dest-attrib", "DestAttrib", "Destination attribute",
                       VORN_TYPE_ATTRIB_TYPE, VORN_ATTRIB_TYPE_SIGNAL, flags);
  properties[PROP_DEST_OP] =
    g_param_spec_enum ("dest-op", "DestOp", "Destination attribute math operation",
                       VORN_TYPE_WAVE_OP, VORN_WAVE_OP_ADD, flags);
  properties[PROP_TRIG_MODE] =
    g_param_spec_enum ("trig-mode", "TrigMode", "Trigger mode", VORN_TYPE_WAVE_TRIG_MODE,
                       VORN_WAVE_TRIG_MODE_PRESS, flags);
  properties[PROP_Y_SCALE] =
    g_param_spec_double ("y-scale", "YScale",
                         "Y coordinate waveform output amplitude scale factor", -VORN_VALUE_MAX,
                         VORN_VALUE_MAX, 1.0, flags);
  properties[PROP_Y_OFS] =
    g_param_spec_double ("y-ofs", "YOfs", "Y coordinate waveform amplitude offset", -VORN_VALUE_MAX,
                         VORN_VALUE_MAX, 0.0, flags);

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

VornFilterNoise *
vorn_filter_noise_new (void)
{
  return VORN_FILTER_NOISE (g_object_new (VORN_TYPE_FILTER_NOISE, nullptr));
}

/* ---- VornFilterNoiseGen --------------------------------------------------- */

static const VornKernelVariant<VornGenRenderFunc> render_table[] = {
  VORN_KERNEL_VARIANTS (vorn_filter_noise_gen_render),
};

static void
vorn_filter_noise_gen_init (VornFilterNoiseGen *noise_gen)
{
  VornGen *gen = VORN_GEN (noise_gen);

  gen->attribs = noise_gen->attribs;
  gen->attrib_vals = noise_gen->attrib_vals;
  gen->src_count = 2;
  gen->dest_count = 1;
}

static void
vorn_filter_noise_gen_constructed (GObject *object)
{
  G_OBJECT_CLASS (vorn_filter_noise_gen_parent_class)->constructed (object);

  VornFilterNoiseGen *noise_gen = VORN_FILTER_NOISE_GEN (object);
  VornGen *gen = VORN_GEN (object);

  /* A generator made without a noise node renders the node defaults. */
  g_autoptr (VornFilterNoise) fallback = nullptr;
  VornFilterNoise *noise = VORN_IS_FILTER_NOISE (gen->node) ? VORN_FILTER_NOISE (gen->node)
                                                            : (fallback = vorn_filter_noise_new ());

  const VornRenderContext *ctx = vorn_gen_get_context (gen);
  const VornFormat format = ctx->format;
  const VornSimd simd = ctx->simd;

  noise_gen->noise_type = noise->noise_type;
  noise_gen->seed = noise->seed;
  if (format == VORN_FORMAT_DOUBLE)
    {
      noise_gen->y_scale.d = noise->y_scale;
      noise_gen->y_ofs.d = noise->y_ofs;
    }
  else
    {
      noise_gen->y_scale.f = float (noise->y_scale);
      noise_gen->y_ofs.f = float (noise->y_ofs);
    }
  noise_gen->attribs[VORN_FILTER_NOISE_SLOT_Y] = noise->y_attrib;
  noise_gen->attribs[VORN_FILTER_NOISE_SLOT_DEST] =
    noise->dest_op == VORN_WAVE_OP_SET ? VORN_ATTRIB_TYPE_NONE : noise->dest_attrib;
  noise_gen->attribs[VORN_FILTER_NOISE_SLOT_OUT] = noise->dest_attrib;
  noise_gen->dest_op = noise->dest_op;
  noise_gen->trig_mode = noise->trig_mode;
  if (noise->trig_mode == VORN_WAVE_TRIG_MODE_RELEASE)
    gen->state = VORN_GEN_STATE_WAIT;
  gen->render = vorn_kernel_pick (render_table, format, simd);

  if (noise_gen->noise_type == VORN_FILTER_NOISE_TYPE_TWISTER)
    noise_gen->rng.rand = g_rand_new_with_seed (noise_gen->seed);
  else
    noise_gen->rng.xorshift = noise_gen->seed;
}

static void
vorn_filter_noise_gen_finalize (GObject *object)
{
  VornFilterNoiseGen *noise_gen = VORN_FILTER_NOISE_GEN (object);

  if (noise_gen->noise_type == VORN_FILTER_NOISE_TYPE_TWISTER)
    g_clear_pointer (&noise_gen->rng.rand, g_rand_free);

  G_OBJECT_CLASS (vorn_filter_noise_gen_parent_class)->finalize (object);
}

static void
vorn_filter_noise_gen_class_init (VornFilterNoiseGenClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->constructed = vorn_filter_noise_gen_constructed;
  object_class->finalize = vorn_filter_noise_gen_finalize;
}
