/* vorn-input-manager.cpp: MIDI control changes to synthesizer controls */
#include "vorn-input-manager.h"

#include <cmath>

enum {
  PROP_0,
  PROP_SYNTH,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

struct _VornInputManager {
  GObject parent_instance;

  VornSynth *synth;
  double step_scale;
  guint16 device_id;  /* taken from the synthesizer at the first note */
};

G_DEFINE_FINAL_TYPE (VornInputManager, vorn_input_manager, G_TYPE_OBJECT)

static void
vorn_input_manager_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornInputManager *manager = VORN_INPUT_MANAGER (object);

  if (prop_id == PROP_SYNTH)
    g_value_set_object (value, manager->synth);
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
vorn_input_manager_set_property (GObject *object, guint prop_id, const GValue *value,
                                 GParamSpec *pspec)
{
  VornInputManager *manager = VORN_INPUT_MANAGER (object);

  if (prop_id == PROP_SYNTH)
    g_set_object (&manager->synth, static_cast<VornSynth *> (g_value_get_object (value)));
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
vorn_input_manager_dispose (GObject *object)
{
  g_clear_object (&VORN_INPUT_MANAGER (object)->synth);
  G_OBJECT_CLASS (vorn_input_manager_parent_class)->dispose (object);
}

static void
vorn_input_manager_class_init (VornInputManagerClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->get_property = vorn_input_manager_get_property;
  object_class->set_property = vorn_input_manager_set_property;
  object_class->dispose = vorn_input_manager_dispose;

  properties[PROP_SYNTH] =
    g_param_spec_object ("synth", "Synth", "Synthesizer object", VORN_TYPE_SYNTH,
                         GParamFlags (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY
                                      | G_PARAM_STATIC_STRINGS));
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
vorn_input_manager_init (VornInputManager *manager)
{
  manager->step_scale = 0.01;
}

VornInputManager *
vorn_input_manager_new (VornSynth *synth)
{
  return static_cast<VornInputManager *> (
    g_object_new (VORN_TYPE_INPUT_MANAGER, "synth", synth, nullptr));
}

void
vorn_input_manager_midi_cc (VornInputManager *manager, guint8 chan, guint8 cc, guint8 value)
{
  if (!VORN_IS_INPUT_MANAGER (manager))
    {
      g_return_if_fail_warning (nullptr, G_STRFUNC, "VORN_INPUT_MANAGER (manager)");
      return;
    }

  if (cc >= 70 && cc <= 77)
    {
      /* Two's-complement style relative encoder: 1..63 up, 64..127 down. */
      double step = value < 64 ? value * 0.015625 : -(128 - value) * 0.015625;
      if (manager->synth)
        vorn_synth_set_inst_control (manager->synth, guint16 (cc - 70), chan, 0, step,
                                     VORN_WAVE_OP_ADD);
    }
  else if (cc == 78)
    manager->step_scale = std::exp ((value * 0.031496062992125984 - 3) * 2.302585092994046);
}

gboolean
vorn_input_manager_midi_event (VornInputManager *manager, const guint8 *msg, gsize len)
{
  g_return_val_if_fail (VORN_IS_INPUT_MANAGER (manager), FALSE);
  g_return_val_if_fail (msg != nullptr || len == 0, FALSE);

  if (len < 3 || !manager->synth)
    return FALSE;
  const guint8 kind = msg[0] & 0xf0, chan = msg[0] & 0x0f;
  if (kind != 0x90 && kind != 0x80)
    return FALSE;
  if (!manager->device_id)
    manager->device_id = guint16 (vorn_synth_get_device_id (manager->synth));
  /* A note-on of velocity 0 is a note-off; note_on knows that itself. */
  if (kind == 0x90)
    vorn_synth_note_on (manager->synth, manager->device_id, 0, chan, msg[1] & 0x7f,
                        msg[2] & 0x7f, nullptr);
  else
    vorn_synth_note_off (manager->synth, manager->device_id, 0, chan, msg[1] & 0x7f,
                         msg[2] & 0x7f);
  return TRUE;
}

double
vorn_input_manager_get_step_scale (VornInputManager *manager)
{
  g_return_val_if_fail (VORN_IS_INPUT_MANAGER (manager), 0.0);
  return manager->step_scale;
}
