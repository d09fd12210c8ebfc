/* vorn-inst.cpp: the instrument node */
#include "vorn-inst.h"

#include "vorn-wave.h"

enum {
  PROP_0,
  PROP_ROOT_NOTE,
  PROP_CATEGORY,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

#define DEFAULT_ROOT_NOTE 69.0
#define DEFAULT_CATEGORY "Electronic"

typedef struct {
  double root_note;
  char *category;
} VornInstPrivate;

G_DEFINE_TYPE_WITH_PRIVATE (VornInst, vorn_inst, VORN_TYPE_MIX)

static VornInstPrivate *
get_priv (VornInst *inst)
{
  return static_cast<VornInstPrivate *> (vorn_inst_get_instance_private (inst));
}

/* Replaces an owned string; TRUE when the text changed. */
static gboolean
replace_str (char **field, const char *text)
{
  if (g_strcmp0 (*field, text) == 0)
    return FALSE;
  g_free (*field);
  *field = g_strdup (text);
  return TRUE;
}

static void
vorn_inst_init (VornInst *inst)
{
  VornInstPrivate *priv = get_priv (inst);

  priv->root_note = DEFAULT_ROOT_NOTE;
  priv->category = g_strdup (DEFAULT_CATEGORY);
}

static void
vorn_inst_finalize (GObject *object)
{
  g_free (get_priv (VORN_INST (object))->category);
  G_OBJECT_CLASS (vorn_inst_parent_class)->finalize (object);
}

static void
vorn_inst_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornInstPrivate *priv = get_priv (VORN_INST (object));

  switch (prop_id)
    {
    case PROP_ROOT_NOTE:
      g_value_set_double (value, priv->root_note);
      break;
    case PROP_CATEGORY:
      g_value_set_string (value, priv->category);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
vorn_inst_set_property (GObject *object, guint prop_id, const GValue *value, GParamSpec *pspec)
{
  VornInstPrivate *priv = get_priv (VORN_INST (object));

  switch (prop_id)
    {
    case PROP_ROOT_NOTE:
      {
        double note = g_value_get_double (value);
        if (note != priv->root_note)
          {
            priv->root_note = note;
            g_object_notify_by_pspec (object, pspec);
          }
      }
      break;
    case PROP_CATEGORY:
      if (replace_str (&priv->category, g_value_get_string (value)))
        g_object_notify_by_pspec (object, pspec);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static VornNode *
vorn_inst_duplicate (VornNode *node)
{
  VornInstPrivate *priv = get_priv (VORN_INST (node));
  VornNode *copy = VORN_NODE_CLASS (vorn_inst_parent_class)->duplicate (node);
  VornInstPrivate *copy_priv = get_priv (VORN_INST (copy));

  copy_priv->root_note = priv->root_note;
  replace_str (&copy_priv->category, priv->category);
  return copy;
}

static void
vorn_inst_class_init (VornInstClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  VornNodeClass *node_class = VORN_NODE_CLASS (klass);

  object_class->finalize = vorn_inst_finalize;
  object_class->get_property = vorn_inst_get_property;
  object_class->set_property = vorn_inst_set_property;
  node_class->duplicate = vorn_inst_duplicate;

  const auto flags = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                  G_PARAM_EXPLICIT_NOTIFY);
  properties[PROP_ROOT_NOTE] =
    g_param_spec_double ("root-note", "RootNote", "Root MIDI note", 0.0, 127.0,
                         DEFAULT_ROOT_NOTE, flags);
  properties[PROP_CATEGORY] =
    g_param_spec_string ("category", "Category", "Category", DEFAULT_CATEGORY, flags);

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

VornInst *
vorn_inst_new (void)
{
  return VORN_INST (g_object_new (VORN_TYPE_INST, nullptr));
}

VornInst *
vorn_inst_new_default (void)
{
  static const VornWavePreset presets[] = {
    VORN_WAVE_PRESET_VOLUME_ATTACK,
    VORN_WAVE_PRESET_VOLUME_RELEASE,
    VORN_WAVE_PRESET_SIGNAL_SINE,
  };
  VornInst *inst = vorn_inst_new ();

  for (VornWavePreset preset : presets)
    {
      g_autoptr (VornWave) wave = vorn_wave_new_from_preset (preset);
      vorn_node_insert (VORN_NODE (inst), VORN_NODE (wave), -1);
    }
  return inst;
}

double
vorn_inst_get_root_note (VornInst *inst)
{
  g_return_val_if_fail (VORN_IS_INST (inst), DEFAULT_ROOT_NOTE);
  return get_priv (inst)->root_note;
}
