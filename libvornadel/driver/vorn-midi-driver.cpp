/* vorn-midi-driver.cpp: base of MIDI input back-ends */
#include "vorn-midi-driver.h"

#include "vorn-midi-driver-alsa.h"
#include "vorn-midi-driver-jack.h"

G_DEFINE_ENUM_TYPE (VornMidiDriverType, vorn_midi_driver_type,
  G_DEFINE_ENUM_VALUE (VORN_MIDI_DRIVER_AUTO, "auto"),
  G_DEFINE_ENUM_VALUE (VORN_MIDI_DRIVER_ALSA, "alsa"),
  G_DEFINE_ENUM_VALUE (VORN_MIDI_DRIVER_JACK, "jack"))

G_DEFINE_ENUM_TYPE (VornMidiDriverAvailable, vorn_midi_driver_available,
  G_DEFINE_ENUM_VALUE (VORN_MIDI_DRIVER_AVAILABLE_AUTO, "Auto"),
  G_DEFINE_ENUM_VALUE (VORN_MIDI_DRIVER_AVAILABLE_ALSA, "ALSA"),
  G_DEFINE_ENUM_VALUE (VORN_MIDI_DRIVER_AVAILABLE_JACK, "JACK"))

enum {
  PROP_0,
  PROP_SYNTH,
  PROP_INPUT_MANAGER,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

struct VornMidiDriverPrivate {
  VornSynth *synth;
  VornInputManager *input_manager;
  gboolean running;
};

G_DEFINE_ABSTRACT_TYPE_WITH_PRIVATE (VornMidiDriver, vorn_midi_driver, G_TYPE_OBJECT)

static inline VornMidiDriverPrivate *
driver_priv (VornMidiDriver *driver)
{
  return static_cast<VornMidiDriverPrivate *> (vorn_midi_driver_get_instance_private (driver));
}

static void
vorn_midi_driver_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornMidiDriverPrivate *priv = driver_priv (VORN_MIDI_DRIVER (object));

  switch (prop_id)
    {
    case PROP_SYNTH:
      g_value_set_object (value, priv->synth);
      break;
    case PROP_INPUT_MANAGER:
      g_value_set_object (value, priv->input_manager);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
vorn_midi_driver_set_property (GObject *object, guint prop_id, const GValue *value,
                               GParamSpec *pspec)
{
  VornMidiDriverPrivate *priv = driver_priv (VORN_MIDI_DRIVER (object));

  if (prop_id == PROP_SYNTH)
    g_set_object (&priv->synth, static_cast<VornSynth *> (g_value_get_object (value)));
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
vorn_midi_driver_constructed (GObject *object)
{
  G_OBJECT_CLASS (vorn_midi_driver_parent_class)->constructed (object);

  VornMidiDriverPrivate *priv = driver_priv (VORN_MIDI_DRIVER (object));
  priv->input_manager = vorn_input_manager_new (priv->synth);
}

static void
vorn_midi_driver_dispose (GObject *object)
{
  VornMidiDriver *driver = VORN_MIDI_DRIVER (object);
  VornMidiDriverPrivate *priv = driver_priv (driver);

  vorn_midi_driver_stop (driver);
  g_clear_object (&priv->input_manager);
  g_clear_object (&priv->synth);

  G_OBJECT_CLASS (vorn_midi_driver_parent_class)->dispose (object);
}

static void
vorn_midi_driver_class_init (VornMidiDriverClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->get_property = vorn_midi_driver_get_property;
  object_class->set_property = vorn_midi_driver_set_property;
  object_class->constructed = vorn_midi_driver_constructed;
  object_class->dispose = vorn_midi_driver_dispose;

  properties[PROP_SYNTH] =
    g_param_spec_object ("synth", "Synth", "Synthesizer object", VORN_TYPE_SYNTH,
                         GParamFlags (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY
                                      | G_PARAM_STATIC_STRINGS));
  properties[PROP_INPUT_MANAGER] =
    g_param_spec_object ("input-manager", "InputManager", "Input manager object",
                         VORN_TYPE_INPUT_MANAGER,
                         GParamFlags (G_PARAM_READABLE | G_PARAM_STATIC_STRINGS));
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
vorn_midi_driver_init (VornMidiDriver *)
{
}

VornMidiDriver *
vorn_midi_driver_new (VornMidiDriverType type, VornSynth *synth)
{
  /* Auto: a desktop with a sound card has the ALSA sequencer, and it is
   * what hardware keyboards appear in; without it there is nothing to
   * listen to, which is no error. */
  if (type == VORN_MIDI_DRIVER_AUTO)
    type = g_file_test ("/dev/snd/seq", G_FILE_TEST_EXISTS) ? VORN_MIDI_DRIVER_ALSA
                                                            : VORN_MIDI_DRIVER_AUTO;
  GType gtype = vorn_midi_driver_get_type_from_enum (type);
  if (!g_type_is_a (gtype, VORN_TYPE_MIDI_DRIVER))
    return nullptr;
  return VORN_MIDI_DRIVER (g_object_new (gtype, "synth", synth, nullptr));
}

GType
vorn_midi_driver_get_type_from_enum (VornMidiDriverType type)
{
  switch (type)
    {
    case VORN_MIDI_DRIVER_AUTO:
      return G_TYPE_NONE;
    case VORN_MIDI_DRIVER_ALSA:
      return VORN_TYPE_MIDI_DRIVER_ALSA;
    case VORN_MIDI_DRIVER_JACK:
      return vorn_midi_driver_jack_get_type ();
    default:
      return G_TYPE_INVALID;
    }
}

gboolean
vorn_midi_driver_start (VornMidiDriver *driver, GError **err)
{
  g_return_val_if_fail (VORN_IS_MIDI_DRIVER (driver), FALSE);
  g_return_val_if_fail (!err || !*err, FALSE);

  VornMidiDriverPrivate *priv = driver_priv (driver);
  vorn_midi_driver_stop (driver);

  auto start = VORN_MIDI_DRIVER_GET_CLASS (driver)->start;
  if (start && !start (driver, err))
    return FALSE;
  priv->running = TRUE;
  return TRUE;
}

void
vorn_midi_driver_stop (VornMidiDriver *driver)
{
  g_return_if_fail (VORN_IS_MIDI_DRIVER (driver));

  VornMidiDriverPrivate *priv = driver_priv (driver);
  if (!priv->running)
    return;
  if (auto stop = VORN_MIDI_DRIVER_GET_CLASS (driver)->stop)
    stop (driver);
  priv->running = FALSE;
}

gboolean
vorn_midi_driver_is_running (VornMidiDriver *driver)
{
  g_return_val_if_fail (VORN_IS_MIDI_DRIVER (driver), FALSE);
  return driver_priv (driver)->running;
}

VornInputManager *
vorn_midi_driver_get_input_manager (VornMidiDriver *driver)
{
  g_return_val_if_fail (VORN_IS_MIDI_DRIVER (driver), NULL);
  VornInputManager *manager = driver_priv (driver)->input_manager;
  return manager ? VORN_INPUT_MANAGER (g_object_ref (manager)) : nullptr;
}
