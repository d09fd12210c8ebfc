/* vorn-synth.cpp: synthesizer configuration and render properties */
#include "vorn-synth.h"
#include "vorn-synth-private.h"

#include "vorn-init.h"

enum {
  PROP_0,
  PROP_SAMPLE_RATE,
  PROP_MAX_VOICES,
  PROP_CHANNEL_COUNT,
  PROP_SPEAKER_COUNT,
  PROP_AUDIO_FORMAT,
  PROP_CORES,
  PROP_CORES_CURRENT,
  PROP_CORES_DETECTED,
  PROP_NODE_TREE,
  PROP_MASTER_QUEUE,
  PROP_START_VOICE_NOTIFY,
  PROP_PEAK_ENABLE,
  PROP_RESTART_NEEDED,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

G_DEFINE_TYPE_WITH_PRIVATE (VornSynth, vorn_synth, G_TYPE_OBJECT)

static VornSynthPrivate *
get_priv (VornSynth *synth)
{
  return static_cast<VornSynthPrivate *> (vorn_synth_get_instance_private (synth));
}

VornSynthPrivate *
vorn_synth_get_private (VornSynth *synth)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), NULL);
  return get_priv (synth);
}

static void
vorn_synth_init (VornSynth *synth)
{
  VornSynthPrivate *priv = get_priv (synth);

  priv->chanCount = 16;
  priv->speaker_count = 2;
  priv->max_voices = 100;
  priv->sample_rate = 48000.0;
  priv->format = VORN_FORMAT_SINGLE;
  priv->cores = 0;
  priv->cores_detected = 1;
  priv->peak_enable = TRUE;
  priv->next_voice_id = 1;
  priv->next_device_id = 1;
}

/* A changed restart property only takes effect at the next start, which the
 * application learns from "restart-needed". */
static void
restart_property_changed (VornSynth *synth, GParamSpec *pspec)
{
  VornSynthPrivate *priv = get_priv (synth);

  g_object_notify_by_pspec (G_OBJECT (synth), pspec);
  if (!priv->restart_needed)
    {
      priv->restart_needed = TRUE;
      g_object_notify_by_pspec (G_OBJECT (synth), properties[PROP_RESTART_NEEDED]);
    }
}

static void
vorn_synth_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornSynth *synth = VORN_SYNTH (object);
  VornSynthPrivate *priv = get_priv (synth);

  switch (prop_id)
    {
    case PROP_SAMPLE_RATE:
      g_value_set_double (value, priv->sample_rate);
      break;
    case PROP_MAX_VOICES:
      g_value_set_uint (value, priv->max_voices);
      break;
    case PROP_CHANNEL_COUNT:
      g_value_set_uint (value, priv->chanCount);
      break;
    case PROP_SPEAKER_COUNT:
      g_value_set_uint (value, priv->speaker_count);
      break;
    case PROP_AUDIO_FORMAT:
      g_value_set_enum (value, g_atomic_int_get (&priv->format));
      break;
    case PROP_CORES:
      g_value_set_uint (value, g_atomic_int_get (&priv->cores));
      break;
    case PROP_CORES_CURRENT:
      {
        guint cores = g_atomic_int_get (&priv->cores);
        g_value_set_uint (value, cores ? cores : priv->cores_detected);
      }
      break;
    case PROP_CORES_DETECTED:
      g_value_set_uint (value, priv->cores_detected);
      break;
    case PROP_NODE_TREE:
      g_value_set_object (value, priv->node_tree);
      break;
    case PROP_MASTER_QUEUE:
      g_value_set_object (value, priv->master_queue);
      break;
    case PROP_START_VOICE_NOTIFY:
      g_value_set_boolean (value, priv->start_voice_notify);
      break;
    case PROP_PEAK_ENABLE:
      g_value_set_boolean (value, g_atomic_int_get (&priv->peak_enable));
      break;
    case PROP_RESTART_NEEDED:
      g_value_set_boolean (value, priv->restart_needed);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
vorn_synth_set_property (GObject *object, guint prop_id, const GValue *value, GParamSpec *pspec)
{
  VornSynth *synth = VORN_SYNTH (object);
  VornSynthPrivate *priv = get_priv (synth);

  switch (prop_id)
    {
    case PROP_SAMPLE_RATE:
      {
        double rate = g_value_get_double (value);
        if (rate != priv->sample_rate)
          {
            priv->sample_rate = rate;
            restart_property_changed (synth, pspec);
          }
      }
      break;
    case PROP_MAX_VOICES:
    case PROP_CHANNEL_COUNT:
    case PROP_SPEAKER_COUNT:
      {
        guint *field = prop_id == PROP_MAX_VOICES ? &priv->max_voices
                     : prop_id == PROP_CHANNEL_COUNT ? &priv->chanCount
                     : &priv->speaker_count;
        guint v = g_value_get_uint (value);
        if (v != *field)
          {
            *field = v;
            restart_property_changed (synth, pspec);
          }
      }
      break;
    case PROP_AUDIO_FORMAT:
      {
        gint format = g_value_get_enum (value);
        if (g_atomic_int_exchange (&priv->format, format) != format)
          g_object_notify_by_pspec (object, pspec);
      }
      break;
    case PROP_CORES:
      {
        guint cores = g_value_get_uint (value);
        if (guint (g_atomic_int_exchange (reinterpret_cast<gint *> (&priv->cores), gint (cores))) != cores)
          {
            g_object_notify_by_pspec (object, pspec);
            g_object_notify_by_pspec (object, properties[PROP_CORES_CURRENT]);
          }
      }
      break;
    case PROP_START_VOICE_NOTIFY:
      {
        gboolean on = g_value_get_boolean (value);
        if (on != priv->start_voice_notify)
          {
            priv->start_voice_notify = on;
            g_object_notify_by_pspec (object, pspec);
          }
      }
      break;
    case PROP_PEAK_ENABLE:
      {
        gboolean on = g_value_get_boolean (value);
        if (g_atomic_int_exchange (&priv->peak_enable, on) != on)
          g_object_notify_by_pspec (object, pspec);
      }
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
vorn_synth_class_init (VornSynthClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->get_property = vorn_synth_get_property;
  object_class->set_property = vorn_synth_set_property;

  const auto base = GParamFlags (G_PARAM_STATIC_STRINGS | G_PARAM_EXPLICIT_NOTIFY);
  const auto ro = GParamFlags (base | G_PARAM_READABLE);
  const auto rw = GParamFlags (base | G_PARAM_READWRITE);
  const auto rw_config = GParamFlags (rw | VORN_PARAM_CONFIG);
  const auto rw_restart = GParamFlags (rw_config | VORN_PARAM_RESTART);

  properties[PROP_SAMPLE_RATE] =
    g_param_spec_double ("sample-rate", "SampleRate", "Synthesis audio sample rate in Hz",
                         1000.0, 1000000.0, 48000.0, rw_restart);
  properties[PROP_MAX_VOICES] =
    g_param_spec_uint ("max-voices", "MaxVoices", "Maximum synthesis voices",
                       1, 65535, 100, rw_restart);
  properties[PROP_CHANNEL_COUNT] =
    g_param_spec_uint ("channel-count", "ChannelCount", "Count of synthesis channels",
                       1, 256, 16, rw_restart);
  properties[PROP_SPEAKER_COUNT] =
    g_param_spec_uint ("speaker-count", "SpeakerCount", "Count of speaker outputs",
                       1, 256, 2, rw_restart);
  properties[PROP_AUDIO_FORMAT] =
    g_param_spec_enum ("audio-format", "AudioFormat", "Audio floating point format",
                       VORN_TYPE_FORMAT, VORN_FORMAT_SINGLE, rw_config);
  properties[PROP_CORES] =
    g_param_spec_uint ("cores", "Cores", "Number of cores to utilize", 0, 255, 0, rw_config);
  properties[PROP_CORES_CURRENT] =
    g_param_spec_uint ("cores-current", "CoresCurrent", "Current number of cores to use",
                       1, 255, 1, ro);
  properties[PROP_CORES_DETECTED] =
    g_param_spec_uint ("cores-detected", "CoresDetected", "Number of cores detected",
                       1, 255, 1, ro);
  properties[PROP_NODE_TREE] =
    g_param_spec_object ("node-tree", "NodeTree", "Synthesizer node tree", VORN_TYPE_NODE,
                         GParamFlags (ro | VORN_PARAM_HIDDEN));
  properties[PROP_MASTER_QUEUE] =
    g_param_spec_object ("master-queue", "MasterQueue", "Master synthesis queue", VORN_TYPE_QUEUE,
                         GParamFlags (ro | VORN_PARAM_HIDDEN));
  properties[PROP_START_VOICE_NOTIFY] =
    g_param_spec_boolean ("start-voice-notify", "StartVoiceNotify", "Start voice notify enable",
                          FALSE, GParamFlags (rw | VORN_PARAM_HIDDEN));
  properties[PROP_PEAK_ENABLE] =
    g_param_spec_boolean ("peak-enable", "PeakEnable", "Peak level calculation enable",
                          TRUE, GParamFlags (rw | VORN_PARAM_HIDDEN));
  properties[PROP_RESTART_NEEDED] =
    g_param_spec_boolean ("restart-needed", "RestartNeeded",
                          "Properties have changed which require a restart",
                          FALSE, GParamFlags (ro | VORN_PARAM_HIDDEN));

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

void
vorn_synth_get_render_props (VornSynth *synth, double *sample_rate, guint *speaker_count,
                             VornFormat *format)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));

  VornSynthPrivate *priv = get_priv (synth);
  if (sample_rate)
    *sample_rate = priv->sample_rate;
  if (speaker_count)
    *speaker_count = priv->speaker_count;
  if (format)
    *format = VornFormat (g_atomic_int_get (&priv->format));
}
