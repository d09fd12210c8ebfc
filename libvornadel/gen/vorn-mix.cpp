/* vorn-mix.cpp: the speaker mix node and the construction of its generator
 * (the render variants are in kernels/vorn-mix-*.cpp) */
#include "vorn-mix.h"

#include "vorn-curve-cache.h"
#include "vorn-gen-private.h"
#include "vorn-node-private.h"
#include "vorn-mix-private.h"

/* ---- speaker curves -------------------------------------------------------- */

namespace {

enum CurveShape : char {
  SHAPE_FLAT = 'F',
  SHAPE_FALL = 'D',
  SHAPE_RISE = 'R',
  SHAPE_PEAK = 'P',
};

/* Balance and latitude shapes of speakers 1..n for n = 1..8. */
const char *const balance_table[8] = {
  "F", "DR", "DRP", "DRDR", "DRPDR", "DRDRDR", "DRPDRDR", "DRPDRDRP",
};
const char *const latitude_table[8] = {
  "F", "FF", "FFF", "RRDD", "RRRDD", "RRPPDD", "RRRPPDD", "RRRPPDDD",
};

constexpr guint MAX_CURVE_SPEAKERS = 8;

VornCurve *
curve_from_shape (char shape)
{
  VornCurve *curve = vorn_curve_new (shape == SHAPE_PEAK ? 3 : 2);

  switch (shape)
    {
    case SHAPE_FALL:
      vorn_curve_set_start_point (curve, -1.0, 1.0, -1.0, 1.0);
      vorn_curve_set_end_point (curve, 1.0, 0.5, 1.0, 0.0);
      break;
    case SHAPE_RISE:
      vorn_curve_set_start_point (curve, -1.0, 0.0, -1.0, 0.5);
      vorn_curve_set_end_point (curve, 1.0, 1.0, 1.0, 1.0);
      break;
    case SHAPE_PEAK:
      vorn_curve_set_start_point (curve, -1.0, 0.0, -1.0, 0.0);
      vorn_curve_set_point (curve, 1, -1.0, 1.0, 0.0, 1.0, 1.0, 1.0);
      vorn_curve_set_end_point (curve, 1.0, 0.0, 1.0, 0.0);
      break;
    default:
      vorn_curve_set_start_point (curve, -1.0, 1.0, -1.0, 1.0);
      vorn_curve_set_end_point (curve, 1.0, 1.0, 1.0, 1.0);
      break;
    }
  return curve;
}

} // namespace

VornCurve *
vorn_mix_speaker_curve_new (guint speaker_count, guint speaker, gboolean latitude)
{
  g_return_val_if_fail (speaker < speaker_count, NULL);

  /* Layouts beyond the table keep the 8-speaker curves for the first eight
   * speakers and leave the rest unpanned. */
  guint row = MIN (speaker_count, MAX_CURVE_SPEAKERS);
  char shape = SHAPE_FLAT;
  if (speaker < row)
    shape = (latitude ? latitude_table : balance_table)[row - 1][speaker];
  return curve_from_shape (shape);
}

/* ---- VornMix ------------------------------------------------------------ */

enum {
  PROP_0,
  PROP_SIG_ATTRIB,
  PROP_BAL_ATTRIB,
  PROP_LAT_ATTRIB,
  PROP_SRC_ATTRIB,
  PROP_DEST_ATTRIB,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

G_DEFINE_TYPE (VornMix, vorn_mix, VORN_TYPE_NODE)
G_DEFINE_TYPE (VornMixGen, vorn_mix_gen, VORN_TYPE_GEN)

static void
vorn_mix_init (VornMix *mix)
{
  mix->sig_attrib = VORN_ATTRIB_TYPE_SIGNAL;
  mix->bal_attrib = VORN_ATTRIB_TYPE_BALANCE;
  mix->lat_attrib = VORN_ATTRIB_TYPE_LATITUDE;
  mix->src_attrib = VORN_ATTRIB_TYPE_SPEAKERS;
  mix->dest_attrib = VORN_ATTRIB_TYPE_SPEAKERS;
}

static VornAttribType *
mix_field (VornMix *mix, guint prop_id)
{
  switch (prop_id)
    {
    case PROP_SIG_ATTRIB: return &mix->sig_attrib;
    case PROP_BAL_ATTRIB: return &mix->bal_attrib;
    case PROP_LAT_ATTRIB: return &mix->lat_attrib;
    case PROP_SRC_ATTRIB: return &mix->src_attrib;
    case PROP_DEST_ATTRIB: return &mix->dest_attrib;
    default: return nullptr;
    }
}

static void
vorn_mix_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornAttribType *field = mix_field (VORN_MIX (object), prop_id);

  if (field)
    g_value_set_enum (value, *field);
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
vorn_mix_set_property (GObject *object, guint prop_id, const GValue *value, GParamSpec *pspec)
{
  VornAttribType *field = mix_field (VORN_MIX (object), prop_id);

  if (field)
    vorn_node_set_attrib_property (object, field, value, pspec);
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static VornNode *
vorn_mix_duplicate (VornNode *node)
{
  VornMix *mix = VORN_MIX (node);
  VornMix *copy = VORN_MIX (VORN_NODE_CLASS (vorn_mix_parent_class)->duplicate (node));

  copy->sig_attrib = mix->sig_attrib;
  copy->bal_attrib = mix->bal_attrib;
  copy->lat_attrib = mix->lat_attrib;
  copy->src_attrib = mix->src_attrib;
  copy->dest_attrib = mix->dest_attrib;
  return VORN_NODE (copy);
}

static VornGen *
vorn_mix_create_gen (VornNode *node, VornQueue *queue)
{
  return VORN_GEN (g_object_new (VORN_TYPE_MIX_GEN, "node", node, "queue", queue, nullptr));
}

static void
vorn_mix_class_init (VornMixClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  VornNodeClass *node_class = VORN_NODE_CLASS (klass);

  object_class->get_property = vorn_mix_get_property;
  object_class->set_property = vorn_mix_set_property;
  node_class->duplicate = vorn_mix_duplicate;
  node_class->create_gen = vorn_mix_create_gen;

  const auto flags = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                  G_PARAM_EXPLICIT_NOTIFY);
  properties[PROP_SIG_ATTRIB] =
    g_param_spec_enum ("sig-attrib", "SigAttrib", "Signal attribute", VORN_TYPE_ATTRIB_TYPE,
                       VORN_ATTRIB_TYPE_SIGNAL, flags);
  properties[PROP_BAL_ATTRIB] =
    g_param_spec_enum ("bal-attrib", "BalAttrib", "Left-right balance attribute",
                       VORN_TYPE_ATTRIB_TYPE, VORN_ATTRIB_TYPE_BALANCE, flags);
  properties[PROP_LAT_ATTRIB] =
    g_param_spec_enum ("lat-attrib", "LatAttrib", "Front-rear latitude attribute",
                       VORN_TYPE_ATTRIB_TYPE, VORN_ATTRIB_TYPE_LATITUDE, flags);
  properties[PROP_SRC_ATTRIB] =
    g_param_spec_enum ("src-attrib", "SrcAttrib", "Source attribute", VORN_TYPE_ATTRIB_TYPE,
                       VORN_ATTRIB_TYPE_SPEAKERS, flags);
  properties[PROP_DEST_ATTRIB] =
    g_param_spec_enum ("dest-attrib", "DestAttrib", "Destination attribute",
                       VORN_TYPE_ATTRIB_TYPE, VORN_ATTRIB_TYPE_SPEAKERS, flags);

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

VornMix *
vorn_mix_new (void)
{
  return VORN_MIX (g_object_new (VORN_TYPE_MIX, nullptr));
}

/* ---- VornMixGen ---------------------------------------------------------- */

static const VornKernelVariant<VornGenRenderFunc> render_table[] = {
  VORN_KERNEL_VARIANTS (vorn_mix_gen_render),
};

static void
vorn_mix_gen_init (VornMixGen *mix_gen)
{
  VornGen *gen = VORN_GEN (mix_gen);

  gen->attribs = mix_gen->attribs;
  gen->attrib_vals = mix_gen->attrib_vals;
  gen->src_count = 4;
  gen->dest_count = 1;
  mix_gen->cached_bal = -2.0;
}

/* The generator keeps its own references to the panning caches, so a voice
 * queue that outlives a restart of the synthesizer stays valid.  Without a
 * started synthesizer (a queue made for tests or tools) it builds the same
 * curves itself. */
static void
take_caches (VornMixGen *mix_gen, const VornRenderContext *ctx)
{
  const guint n = mix_gen->speaker_count;
  VornCurveCache *const *bal = ctx->balance_caches, *const *lat = ctx->latitude_caches;
  const guint have = bal && lat ? ctx->cache_count : 0;

  mix_gen->bal_caches = g_new0 (VornCurveCache *, n);
  mix_gen->lat_caches = g_new0 (VornCurveCache *, n);
  for (guint s = 0; s < n; s++)
    {
      if (have == n)
        {
          mix_gen->bal_caches[s] = VORN_CURVE_CACHE (g_object_ref (G_OBJECT (bal[s])));
          mix_gen->lat_caches[s] = VORN_CURVE_CACHE (g_object_ref (G_OBJECT (lat[s])));
          continue;
        }
      g_autoptr (VornCurve) bc = vorn_mix_speaker_curve_new (n, s, FALSE);
      g_autoptr (VornCurve) lc = vorn_mix_speaker_curve_new (n, s, TRUE);
      mix_gen->bal_caches[s] = vorn_curve_cache_new_from_curve (bc, VORN_FORMAT_DOUBLE);
      mix_gen->lat_caches[s] = vorn_curve_cache_new_from_curve (lc, VORN_FORMAT_DOUBLE);
    }
}

static void
vorn_mix_gen_constructed (GObject *object)
{
  G_OBJECT_CLASS (vorn_mix_gen_parent_class)->constructed (object);

  VornMixGen *mix_gen = VORN_MIX_GEN (object);
  VornGen *gen = VORN_GEN (object);

  if (VORN_IS_MIX (gen->node))
    {
      VornMix *mix = VORN_MIX (gen->node);
      mix_gen->attribs[0] = mix->sig_attrib;
      mix_gen->attribs[1] = mix->bal_attrib;
      mix_gen->attribs[2] = mix->lat_attrib;
      mix_gen->attribs[3] = mix->src_attrib;
      mix_gen->attribs[4] = mix->dest_attrib;
    }

  const VornRenderContext *ctx = vorn_gen_get_context (gen);
  const guint speakers = ctx->speaker_count;
  const VornFormat format = ctx->format;
  const VornSimd simd = ctx->simd;

  mix_gen->speaker_count = speakers;
  mix_gen->gains = g_malloc0 (gsize (MAX (speakers, 1u))
                              * (format == VORN_FORMAT_DOUBLE ? sizeof (double) : sizeof (float)));
  mix_gen->cached_bal = -2.0;
  take_caches (mix_gen, ctx);
  gen->render = vorn_kernel_pick (render_table, format, simd);
}

static void
vorn_mix_gen_finalize (GObject *object)
{
  VornMixGen *mix_gen = VORN_MIX_GEN (object);

  for (guint s = 0; s < mix_gen->speaker_count; s++)
    {
      if (mix_gen->bal_caches)
        g_clear_object (&mix_gen->bal_caches[s]);
      if (mix_gen->lat_caches)
        g_clear_object (&mix_gen->lat_caches[s]);
    }
  g_clear_pointer (&mix_gen->bal_caches, g_free);
  g_clear_pointer (&mix_gen->lat_caches, g_free);
  g_clear_pointer (&mix_gen->gains, g_free);

  G_OBJECT_CLASS (vorn_mix_gen_parent_class)->finalize (object);
}

static void
vorn_mix_gen_class_init (VornMixGenClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->constructed = vorn_mix_gen_constructed;
  object_class->finalize = vorn_mix_gen_finalize;
}
