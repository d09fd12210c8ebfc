/* vorn-synth-cpu.cpp: the processor renderer's synthesizer */
#include "vorn-synth-cpu.h"
#include "vorn-synth-private.h"

#include "vorn-init.h"

enum {
  PROP_0,
  PROP_AUDIO_FORMAT,
  PROP_CORES,
  PROP_SIMD,
  PROP_SIMD_CURRENT,
  PROP_SIMD_DETECTED,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

/* The render thread reads simd while the application thread sets it, so it
 * is accessed atomically. */
struct VornSynthCpuPrivate {
  guint32 leftover;
  gint simd;
  gint simd_detected;
  gint cur_format;
  gint cur_simd;
  guint cur_cores;
};

G_DEFINE_TYPE_WITH_PRIVATE (VornSynthCpu, vorn_synth_cpu, VORN_TYPE_SYNTH)

static VornSynthCpuPrivate *
get_priv (VornSynthCpu *synth)
{
  return static_cast<VornSynthCpuPrivate *> (vorn_synth_cpu_get_instance_private (synth));
}

static VornSimd
current_simd (VornSynthCpuPrivate *priv)
{
  gint simd = g_atomic_int_get (&priv->simd);
  return VornSimd (simd == VORN_SIMD_AUTO ? priv->simd_detected : simd);
}

static void
vorn_synth_cpu_init (VornSynthCpu *synth)
{
  VornSynthCpuPrivate *priv = get_priv (synth);
  VornSynthPrivate *base = vorn_synth_get_private (VORN_SYNTH (synth));

  priv->simd = VORN_SIMD_AUTO;
  priv->simd_detected = vorn_util_cpu_detect ();
  priv->cur_format = -1;
  priv->cur_simd = -2;
  base->cores_detected = guint (CLAMP (g_get_num_processors (), 1u, 255u));
}

static void
vorn_synth_cpu_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornSynthCpu *synth = VORN_SYNTH_CPU (object);
  VornSynthCpuPrivate *priv = get_priv (synth);
  VornSynthPrivate *base = vorn_synth_get_private (VORN_SYNTH (synth));

  switch (prop_id)
    {
    case PROP_AUDIO_FORMAT:
      g_value_set_enum (value, g_atomic_int_get (&base->format));
      break;
    case PROP_CORES:
      g_value_set_uint (value, g_atomic_int_get (&base->cores));
      break;
    case PROP_SIMD:
      g_value_set_enum (value, g_atomic_int_get (&priv->simd));
      break;
    case PROP_SIMD_CURRENT:
      g_value_set_enum (value, current_simd (priv));
      break;
    case PROP_SIMD_DETECTED:
      g_value_set_enum (value, priv->simd_detected);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
vorn_synth_cpu_set_property (GObject *object, guint prop_id, const GValue *value,
                             GParamSpec *pspec)
{
  VornSynthCpu *synth = VORN_SYNTH_CPU (object);
  VornSynthCpuPrivate *priv = get_priv (synth);
  VornSynthPrivate *base = vorn_synth_get_private (VORN_SYNTH (synth));

  /* The render thread applies these when it handles the next optimisation
   * update; here they are only stored. */
  switch (prop_id)
    {
    case PROP_AUDIO_FORMAT:
      {
        gint format = g_value_get_enum (value);
        if (g_atomic_int_exchange (&base->format, format) != format)
          g_object_notify_by_pspec (object, pspec);
      }
      break;
    case PROP_CORES:
      {
        guint cores = g_value_get_uint (value);
        if (guint (g_atomic_int_exchange (&base->cores, cores)) != cores)
          {
            g_object_notify_by_pspec (object, pspec);
            g_object_notify (object, "cores-current");
          }
      }
      break;
    case PROP_SIMD:
      {
        gint simd = g_value_get_enum (value);
        /* Code for a level the processor lacks would fault. */
        if (simd != VORN_SIMD_AUTO)
          simd = MIN (simd, priv->simd_detected);
        if (g_atomic_int_exchange (&priv->simd, simd) != simd)
          {
            g_object_notify_by_pspec (object, pspec);
            g_object_notify_by_pspec (object, properties[PROP_SIMD_CURRENT]);
          }
      }
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
vorn_synth_cpu_class_init (VornSynthCpuClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->get_property = vorn_synth_cpu_get_property;
  object_class->set_property = vorn_synth_cpu_set_property;

  const auto base = GParamFlags (G_PARAM_STATIC_STRINGS | G_PARAM_EXPLICIT_NOTIFY);
  const auto ro = GParamFlags (base | G_PARAM_READABLE);

  g_object_class_override_property (object_class, PROP_AUDIO_FORMAT, "audio-format");
  g_object_class_override_property (object_class, PROP_CORES, "cores");

  properties[PROP_SIMD] =
    g_param_spec_enum ("simd", "Simd", "CPU SIMD instruction set to use", VORN_TYPE_SIMD,
                       VORN_SIMD_AUTO, GParamFlags (base | G_PARAM_READWRITE | VORN_PARAM_CONFIG));
  properties[PROP_SIMD_CURRENT] =
    g_param_spec_enum ("simd-current", "SimdCurrent", "Current SIMD instruction set",
                       VORN_TYPE_SIMD, VORN_SIMD_SSE2, ro);
  properties[PROP_SIMD_DETECTED] =
    g_param_spec_enum ("simd-detected", "SimdDetected", "CPU SIMD instruction set detected",
                       VORN_TYPE_SIMD, VORN_SIMD_AUTO, ro);

  g_object_class_install_property (object_class, PROP_SIMD, properties[PROP_SIMD]);
  g_object_class_install_property (object_class, PROP_SIMD_CURRENT, properties[PROP_SIMD_CURRENT]);
  g_object_class_install_property (object_class, PROP_SIMD_DETECTED,
                                   properties[PROP_SIMD_DETECTED]);
}

VornSynth *
vorn_synth_cpu_new (void)
{
  return VORN_SYNTH (g_object_new (VORN_TYPE_SYNTH_CPU, nullptr));
}

void
vorn_synth_cpu_get_render_props (VornSynth *synth, double *sample_rate, guint *speaker_count,
                                 VornFormat *format, VornSimd *simd)
{
  g_return_if_fail (VORN_IS_SYNTH_CPU (synth));

  vorn_synth_get_render_props (synth, sample_rate, speaker_count, format);
  if (simd)
    *simd = current_simd (get_priv (VORN_SYNTH_CPU (synth)));
}
