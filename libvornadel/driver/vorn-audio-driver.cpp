/* vorn-audio-driver.cpp: base of audio output back-ends */
#include "vorn-audio-driver.h"

#include "vorn-audio-driver-jack.h"
#include "vorn-audio-driver-port.h"
#include "vorn-init.h"
#include "vorn-synth-private.h"

G_DEFINE_ENUM_TYPE (VornAudioDriverType, vorn_audio_driver_type,
  G_DEFINE_ENUM_VALUE (VORN_AUDIO_DRIVER_AUTO, "auto"),
  G_DEFINE_ENUM_VALUE (VORN_AUDIO_DRIVER_PULSEAUDIO, "pulseaudio"),
  G_DEFINE_ENUM_VALUE (VORN_AUDIO_DRIVER_PORTAUDIO, "portaudio"),
  G_DEFINE_ENUM_VALUE (VORN_AUDIO_DRIVER_JACK, "jack"),
  G_DEFINE_ENUM_VALUE (VORN_AUDIO_DRIVER_UDP, "udp"))

G_DEFINE_ENUM_TYPE (VornAudioDriverAvailable, vorn_audio_driver_available,
  G_DEFINE_ENUM_VALUE (VORN_AUDIO_DRIVER_AVAILABLE_AUTO, "Auto"),
  G_DEFINE_ENUM_VALUE (VORN_AUDIO_DRIVER_AVAILABLE_PORTAUDIO, "PortAudio"),
  G_DEFINE_ENUM_VALUE (VORN_AUDIO_DRIVER_AVAILABLE_JACK, "JACK"))

enum {
  PROP_0,
  PROP_SYNTH,
  PROP_SPEAKER_COUNT,
  PROP_SAMPLE_RATE,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

struct VornAudioDriverPrivate {
  VornSynth *synth;
  gpointer split_slot;
  gpointer inter_slot;
  double sample_rate;
  guint speaker_count;
  gboolean running;
};

G_DEFINE_ABSTRACT_TYPE_WITH_PRIVATE (VornAudioDriver, vorn_audio_driver, G_TYPE_OBJECT)

static inline VornAudioDriverPrivate *
driver_priv (VornAudioDriver *driver)
{
  return static_cast<VornAudioDriverPrivate *> (vorn_audio_driver_get_instance_private (driver));
}

static void
vorn_audio_driver_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornAudioDriverPrivate *priv = driver_priv (VORN_AUDIO_DRIVER (object));

  switch (prop_id)
    {
    case PROP_SYNTH:
      g_value_set_object (value, priv->synth);
      break;
    case PROP_SPEAKER_COUNT:
      g_value_set_uint (value, priv->speaker_count);
      break;
    case PROP_SAMPLE_RATE:
      g_value_set_double (value, priv->sample_rate);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
vorn_audio_driver_set_property (GObject *object, guint prop_id, const GValue *value,
                                GParamSpec *pspec)
{
  VornAudioDriverPrivate *priv = driver_priv (VORN_AUDIO_DRIVER (object));

  switch (prop_id)
    {
    case PROP_SYNTH:
      g_set_object (&priv->synth, static_cast<VornSynth *> (g_value_get_object (value)));
      break;
    case PROP_SPEAKER_COUNT:
      if (priv->speaker_count != g_value_get_uint (value))
        {
          priv->speaker_count = g_value_get_uint (value);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_SAMPLE_RATE:
      if (priv->sample_rate != g_value_get_double (value))
        {
          priv->sample_rate = g_value_get_double (value);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
vorn_audio_driver_constructed (GObject *object)
{
  G_OBJECT_CLASS (vorn_audio_driver_parent_class)->constructed (object);

  VornAudioDriverPrivate *priv = driver_priv (VORN_AUDIO_DRIVER (object));
  if (priv->synth)
    vorn_synth_get_render_funcs (priv->synth, &priv->split_slot, &priv->inter_slot);
}

static void
vorn_audio_driver_dispose (GObject *object)
{
  VornAudioDriver *driver = VORN_AUDIO_DRIVER (object);
  VornAudioDriverPrivate *priv = driver_priv (driver);

  /* The output must be closed before the synthesizer it renders goes. */
  vorn_audio_driver_stop (driver);
  priv->split_slot = priv->inter_slot = nullptr;
  g_clear_object (&priv->synth);

  G_OBJECT_CLASS (vorn_audio_driver_parent_class)->dispose (object);
}

static void
vorn_audio_driver_class_init (VornAudioDriverClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->get_property = vorn_audio_driver_get_property;
  object_class->set_property = vorn_audio_driver_set_property;
  object_class->constructed = vorn_audio_driver_constructed;
  object_class->dispose = vorn_audio_driver_dispose;

  properties[PROP_SYNTH] =
    g_param_spec_object ("synth", "Synth", "Synthesizer object", VORN_TYPE_SYNTH,
                         GParamFlags (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY
                                      | G_PARAM_STATIC_STRINGS));
  properties[PROP_SPEAKER_COUNT] =
    g_param_spec_uint ("speaker-count", "SpeakerCount", "Count of speakers", 1, 256, 2,
                       GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY
                                    | G_PARAM_STATIC_STRINGS | VORN_PARAM_RESTART));
  properties[PROP_SAMPLE_RATE] =
    g_param_spec_double ("sample-rate", "SampleRate", "Synthesis audio sample rate in Hz",
                         1000.0, 1000000.0, 48000.0,
                         GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY
                                      | G_PARAM_STATIC_STRINGS | VORN_PARAM_RESTART));
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
vorn_audio_driver_init (VornAudioDriver *driver)
{
  VornAudioDriverPrivate *priv = driver_priv (driver);
  priv->sample_rate = 48000.0;
  priv->speaker_count = 2;
}

VornAudioDriver *
vorn_audio_driver_new (VornAudioDriverType type, VornSynth *synth)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), NULL);

  GType type_id = vorn_audio_driver_get_type_from_enum (type);
  if (type_id == G_TYPE_NONE)
    /* A running JACK server owns the sound card: play through it. */
    type_id = vorn_audio_driver_jack_server_running (nullptr) ? VORN_TYPE_AUDIO_DRIVER_JACK
                                                               : VORN_TYPE_AUDIO_DRIVER_PORT;
  if (type_id == G_TYPE_INVALID)
    return nullptr;
  return VORN_AUDIO_DRIVER (g_object_new (type_id, "synth", synth, nullptr));
}

GType
vorn_audio_driver_get_type_from_enum (VornAudioDriverType type)
{
  switch (type)
    {
    case VORN_AUDIO_DRIVER_AUTO:
      return G_TYPE_NONE;
    case VORN_AUDIO_DRIVER_PORTAUDIO:
      return VORN_TYPE_AUDIO_DRIVER_PORT;
    case VORN_AUDIO_DRIVER_JACK:
      return VORN_TYPE_AUDIO_DRIVER_JACK;
    default:
      return G_TYPE_INVALID;
    }
}

gboolean
vorn_audio_driver_start (VornAudioDriver *driver, GError **err)
{
  g_return_val_if_fail (VORN_IS_AUDIO_DRIVER (driver), FALSE);
  g_return_val_if_fail (!err || !*err, FALSE);

  VornAudioDriverPrivate *priv = driver_priv (driver);
  vorn_audio_driver_stop (driver);

  if (priv->synth)
    {
      double rate = priv->sample_rate;
      guint speakers = priv->speaker_count;
      vorn_synth_get_render_props (priv->synth, &rate, &speakers, nullptr);
      /* A running renderer writes as many channels as it was started with,
       * whatever the property says now. */
      if (guint started = vorn_synth_get_private (priv->synth)->started_speakers)
        speakers = started;
      g_object_set (driver, "sample-rate", rate, "speaker-count", speakers, nullptr);
    }

  auto start = VORN_AUDIO_DRIVER_GET_CLASS (driver)->start;
  if (start && !start (driver, err))
    return FALSE;
  priv->running = TRUE;
  return TRUE;
}

void
vorn_audio_driver_stop (VornAudioDriver *driver)
{
  g_return_if_fail (VORN_IS_AUDIO_DRIVER (driver));

  VornAudioDriverPrivate *priv = driver_priv (driver);
  if (!priv->running)
    return;
  if (auto stop = VORN_AUDIO_DRIVER_GET_CLASS (driver)->stop)
    stop (driver);
  priv->running = FALSE;
}

gboolean
vorn_audio_driver_is_running (VornAudioDriver *driver)
{
  g_return_val_if_fail (VORN_IS_AUDIO_DRIVER (driver), FALSE);
  return driver_priv (driver)->running;
}

VornSynth *
vorn_audio_driver_get_synth (VornAudioDriver *driver)
{
  g_return_val_if_fail (VORN_IS_AUDIO_DRIVER (driver), NULL);
  return driver_priv (driver)->synth;
}

gpointer
vorn_audio_driver_get_inter_slot (VornAudioDriver *driver)
{
  g_return_val_if_fail (VORN_IS_AUDIO_DRIVER (driver), NULL);
  return driver_priv (driver)->inter_slot;
}
