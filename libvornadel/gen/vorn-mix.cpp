/* vorn-mix.cpp: the speaker mix node and the construction of its generator
 * (the render variants are in kernels/vorn-mix-*.cpp) */
#include "vorn-mix.h"

#include "vorn-curve-cache.h"
#include "vorn-gen-private.h"
#include "vorn-node-private.h"
#include "vorn-queue.h"
#include "vorn-synth-private.h"

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

static const VornGenRenderFunc render_table[VORN_GEN_RENDER_TABLE_SIZE] = {
  vorn_mix_gen_render_SSE2_F, vorn_mix_gen_render_AVX_F, vorn_mix_gen_render_AVX2_F,
  vorn_mix_gen_render_SSE2_D, vorn_mix_gen_render_AVX_D, vorn_mix_gen_render_AVX2_D,
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
take_caches (VornMixGen *mix_gen, VornSynth *synth)
{
  const guint n = mix_gen->speaker_count;
  VornCurveCache **bal = nullptr, **lat = nullptr;
  guint have = synth ? vorn_synth_get_speaker_caches (synth, &bal, &lat) : 0;

  mix_gen->bal_caches = g_new0 (VornCurveCache *, n);
  mix_gen->lat_caches = g_new0 (VornCurveCache *, n);
  for (guint s = 0; s < n; s++)
    {
      if (have == n)
        {
          mix_gen->bal_caches[s] = VORN_CURVE_CACHE (g_object_ref (bal[s]));
          mix_gen->lat_caches[s] = VORN_CURVE_CACHE (g_object_ref (lat[s]));
          continue;
        }
      g_autoptr (VornCurve) bc = vorn_synth_speaker_curve_new (n, s, FALSE);
      g_autoptr (VornCurve) lc = vorn_synth_speaker_curve_new (n, s, TRUE);
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

  guint speakers = 2;
  VornFormat format = VORN_FORMAT_SINGLE;
  VornSimd simd = VORN_SIMD_SSE2;
  vorn_gen_get_render_props (gen, nullptr, &speakers, &format, &simd);

  mix_gen->speaker_count = speakers;
  mix_gen->gains = g_malloc0 (gsize (MAX (speakers, 1u))
                              * (format == VORN_FORMAT_DOUBLE ? sizeof (double) : sizeof (float)));
  mix_gen->cached_bal = -2.0;
  take_caches (mix_gen, gen->queue ? gen->queue->synth : nullptr);
  gen->render = vorn_gen_select_render (render_table, format, simd);
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
