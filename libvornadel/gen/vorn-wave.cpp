/* vorn-wave.cpp: the curve-driven wave node */
#include "vorn-wave.h"
#include "vorn-wave-gen.h"
#include "vorn-init.h"
#include "vorn-node-private.h"
#include "vorn-value.h"

#include <json-glib/json-glib.h>

G_DEFINE_ENUM_TYPE (VornWaveTrigMode, vorn_wave_trig_mode,
  G_DEFINE_ENUM_VALUE (VORN_WAVE_TRIG_MODE_PRESS, "press"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_TRIG_MODE_PRESSED, "pressed"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_TRIG_MODE_RELEASE, "release"))

G_DEFINE_ENUM_TYPE (VornWavePosMode, vorn_wave_pos_mode,
  G_DEFINE_ENUM_VALUE (VORN_WAVE_POS_MODE_RELATIVE, "relative"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_POS_MODE_ABSOLUTE, "absolute"))

G_DEFINE_ENUM_TYPE (VornWavePlayMode, vorn_wave_play_mode,
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PLAY_MODE_ONCE, "once"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PLAY_MODE_STOP, "stop"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_PLAY_MODE_LOOP, "loop"))

G_DEFINE_ENUM_TYPE (VornWaveKind, vorn_wave_kind,
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_UNDEFINED, "undefined"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_CTRL_VOLUME, "ctrl-volume"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_CTRL_PITCH, "ctrl-pitch"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_CTRL_BALANCE, "ctrl-balance"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_CTRL_MORPH, "ctrl-morph"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_CTRL_TIME, "ctrl-time"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_VOLUME_ATTACK, "volume-attack"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_VOLUME_RELEASE, "volume-release"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_VOLUME_MOD, "volume-mod"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_PITCH_ATTACK, "pitch-attack"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_PITCH_RELEASE, "pitch-release"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_PITCH_MOD, "pitch-mod"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_BALANCE_ATTACK, "balance-attack"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_BALANCE_RELEASE, "balance-release"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_BALANCE_MOD, "balance-mod"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_MORPH_ATTACK, "morph-attack"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_MORPH_RELEASE, "morph-release"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_MORPH_MOD, "morph-mod"),
  G_DEFINE_ENUM_VALUE (VORN_WAVE_KIND_SIGNAL, "signal"))

enum {
  PROP_0,
  PROP_X_ATTRIB,
  PROP_Y_ATTRIB,
  PROP_DEST_ATTRIB,
  PROP_DEST_OP,
  PROP_TRIG_MODE,
  PROP_POS_MODE,
  PROP_PLAY_MODE,
  PROP_X_SCALE,
  PROP_Y_SCALE,
  PROP_Y_OFS,
  PROP_INIT_VALUE,
  PROP_CURVE,
  PROP_MORPH,
  PROP_KIND,
  PROP_ANTI_ALIAS,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

static JsonSerializableIface *parent_serializable_iface;

static void vorn_wave_serializable_init (JsonSerializableIface *iface);

G_DEFINE_TYPE_WITH_CODE (VornWave, vorn_wave, VORN_TYPE_NODE,
                         G_IMPLEMENT_INTERFACE (JSON_TYPE_SERIALIZABLE,
                                                vorn_wave_serializable_init))

/* ---- kind -------------------------------------------------------------- */

/* First of the attack, release and mod kinds of an envelope destination. */
static VornWaveKind
envelope_kind_base (VornAttribType dest)
{
  switch (dest)
    {
    case VORN_ATTRIB_TYPE_VOLUME: return VORN_WAVE_KIND_VOLUME_ATTACK;
    case VORN_ATTRIB_TYPE_PITCH: return VORN_WAVE_KIND_PITCH_ATTACK;
    case VORN_ATTRIB_TYPE_BALANCE: return VORN_WAVE_KIND_BALANCE_ATTACK;
    case VORN_ATTRIB_TYPE_MORPH: return VORN_WAVE_KIND_MORPH_ATTACK;
    default: return VORN_WAVE_KIND_UNDEFINED;
    }
}

static VornWaveKind
derive_kind (const VornWave *wave)
{
  if (wave->y_attrib == VORN_ATTRIB_TYPE_CONTROL)
    switch (wave->dest_attrib)
      {
      case VORN_ATTRIB_TYPE_VOLUME: return VORN_WAVE_KIND_CTRL_VOLUME;
      case VORN_ATTRIB_TYPE_PITCH: return VORN_WAVE_KIND_CTRL_PITCH;
      case VORN_ATTRIB_TYPE_BALANCE: return VORN_WAVE_KIND_CTRL_BALANCE;
      case VORN_ATTRIB_TYPE_MORPH: return VORN_WAVE_KIND_CTRL_MORPH;
      case VORN_ATTRIB_TYPE_TIME: return VORN_WAVE_KIND_CTRL_TIME;
      default: return VORN_WAVE_KIND_UNDEFINED;
      }

  if (wave->dest_attrib == VORN_ATTRIB_TYPE_SIGNAL)
    return VORN_WAVE_KIND_SIGNAL;

  VornWaveKind base = envelope_kind_base (wave->dest_attrib);
  if (base == VORN_WAVE_KIND_UNDEFINED)
    return base;
  /* attack, release and mod follow each other in every group */
  if (wave->play_mode == VORN_WAVE_PLAY_MODE_LOOP)
    return VornWaveKind (base + 2);
  if (wave->trig_mode == VORN_WAVE_TRIG_MODE_RELEASE)
    return VornWaveKind (base + 1);
  return base;
}

static void
update_kind (VornWave *wave)
{
  VornWaveKind kind = derive_kind (wave);
  if (kind == wave->kind)
    return;
  wave->kind = kind;
  g_object_notify_by_pspec (G_OBJECT (wave), properties[PROP_KIND]);
}

/* ---- GObject ----------------------------------------------------------- */

static void
vorn_wave_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornWave *wave = VORN_WAVE (object);

  switch (prop_id)
    {
    case PROP_X_ATTRIB: g_value_set_enum (value, wave->x_attrib); break;
    case PROP_Y_ATTRIB: g_value_set_enum (value, wave->y_attrib); break;
    case PROP_DEST_ATTRIB: g_value_set_enum (value, wave->dest_attrib); break;
    case PROP_DEST_OP: g_value_set_enum (value, wave->dest_op); break;
    case PROP_TRIG_MODE: g_value_set_enum (value, wave->trig_mode); break;
    case PROP_POS_MODE: g_value_set_enum (value, wave->pos_mode); break;
    case PROP_PLAY_MODE: g_value_set_enum (value, wave->play_mode); break;
    case PROP_X_SCALE: g_value_set_double (value, wave->x_scale); break;
    case PROP_Y_SCALE: g_value_set_double (value, wave->y_scale); break;
    case PROP_Y_OFS: g_value_set_double (value, wave->y_ofs); break;
    case PROP_INIT_VALUE: g_value_set_double (value, wave->init_value); break;
    case PROP_CURVE: g_value_set_object (value, wave->curve); break;
    case PROP_MORPH: g_value_set_boxed (value, wave->morph); break;
    case PROP_KIND: g_value_set_enum (value, wave->kind); break;
    case PROP_ANTI_ALIAS: g_value_set_boolean (value, wave->anti_alias); break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

template <typename T>
static bool
store (T *field, T value)
{
  if (*field == value)
    return false;
  *field = value;
  return true;
}

static void
vorn_wave_set_property (GObject *object, guint prop_id, const GValue *value, GParamSpec *pspec)
{
  VornWave *wave = VORN_WAVE (object);
  bool changed = false;
  bool affects_kind = false;

  switch (prop_id)
    {
    case PROP_X_ATTRIB:
      changed = store (&wave->x_attrib, VornAttribType (g_value_get_enum (value)));
      break;
    case PROP_Y_ATTRIB:
      changed = store (&wave->y_attrib, VornAttribType (g_value_get_enum (value)));
      affects_kind = true;
      break;
    case PROP_DEST_ATTRIB:
      changed = store (&wave->dest_attrib, VornAttribType (g_value_get_enum (value)));
      affects_kind = true;
      break;
    case PROP_DEST_OP:
      changed = store (&wave->dest_op, guint8 (g_value_get_enum (value)));
      break;
    case PROP_TRIG_MODE:
      changed = store (&wave->trig_mode, guint8 (g_value_get_enum (value)));
      affects_kind = true;
      break;
    case PROP_POS_MODE:
      changed = store (&wave->pos_mode, guint8 (g_value_get_enum (value)));
      break;
    case PROP_PLAY_MODE:
      changed = store (&wave->play_mode, guint8 (g_value_get_enum (value)));
      affects_kind = true;
      break;
    case PROP_X_SCALE:
      changed = store (&wave->x_scale, g_value_get_double (value));
      break;
    case PROP_Y_SCALE:
      changed = store (&wave->y_scale, g_value_get_double (value));
      break;
    case PROP_Y_OFS:
      changed = store (&wave->y_ofs, g_value_get_double (value));
      break;
    case PROP_INIT_VALUE:
      changed = store (&wave->init_value, g_value_get_double (value));
      break;
    case PROP_ANTI_ALIAS:
      changed = store (&wave->anti_alias, g_value_get_boolean (value));
      break;
    case PROP_CURVE:
      {
        auto *curve = static_cast<VornCurve *> (g_value_get_object (value));
        changed = g_set_object (&wave->curve, curve);
        if (changed && wave->morph)
          vorn_morph_set_curve (wave->morph, wave->curve);
        break;
      }
    case PROP_MORPH:
      {
        auto *morph = static_cast<const VornMorph *> (g_value_get_boxed (value));
        changed = morph || wave->morph;
        vorn_morph_free (wave->morph);
        wave->morph = morph ? vorn_morph_copy (morph) : nullptr;
        if (wave->morph)
          vorn_morph_set_curve (wave->morph, wave->curve);
        break;
      }
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      return;
    }

  if (changed)
    g_object_notify_by_pspec (object, pspec);
  if (affects_kind)
    update_kind (wave);
}

static void
vorn_wave_finalize (GObject *object)
{
  VornWave *wave = VORN_WAVE (object);

  g_clear_object (&wave->curve);
  g_clear_pointer (&wave->morph, vorn_morph_free);

  G_OBJECT_CLASS (vorn_wave_parent_class)->finalize (object);
}

/* A morph that shares nothing with @src: the entries' curves are copied
 * too, since vorn_morph_copy() only shares them. */
static VornMorph *
morph_deep_copy (const VornMorph *src, VornCurve *base)
{
  VornMorph *copy = vorn_morph_copy (src);
  for (guint i = 0; i < copy->count; i++)
    {
      VornMorphPoint &p = copy->points[i];
      VornCurve *dup = vorn_curve_duplicate (p.curve);
      g_object_unref (p.curve);
      p.curve = dup;
      g_clear_object (&p.cache);
    }
  vorn_morph_set_curve (copy, base);
  return copy;
}

static VornNode *
vorn_wave_duplicate (VornNode *node)
{
  VornWave *wave = VORN_WAVE (node);
  VornNode *result = VORN_NODE_CLASS (vorn_wave_parent_class)->duplicate (node);
  VornWave *copy = VORN_WAVE (result);

  if (wave->curve)
    copy->curve = vorn_curve_duplicate (wave->curve);
  if (wave->morph)
    copy->morph = morph_deep_copy (wave->morph, copy->curve);

  copy->x_scale = wave->x_scale;
  copy->y_scale = wave->y_scale;
  copy->y_ofs = wave->y_ofs;
  copy->init_value = wave->init_value;
  copy->x_attrib = wave->x_attrib;
  copy->y_attrib = wave->y_attrib;
  copy->dest_attrib = wave->dest_attrib;
  copy->trig_mode = wave->trig_mode;
  copy->pos_mode = wave->pos_mode;
  copy->play_mode = wave->play_mode;
  copy->dest_op = wave->dest_op;
  copy->kind = wave->kind;
  copy->anti_alias = wave->anti_alias;
  return result;
}

static void
vorn_wave_class_init (VornWaveClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  VornNodeClass *node_class = VORN_NODE_CLASS (klass);

  object_class->get_property = vorn_wave_get_property;
  object_class->set_property = vorn_wave_set_property;
  object_class->finalize = vorn_wave_finalize;

  node_class->duplicate = vorn_wave_duplicate;
  /* The generator class installs its constructor here when it registers. */
  node_class->create_gen = [] (VornNode *node, VornQueue *queue) { return VORN_GEN (g_object_new (VORN_TYPE_WAVE_GEN, "node", node, "queue", queue, NULL)); };

  const auto rw = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | G_PARAM_EXPLICIT_NOTIFY);

  properties[PROP_X_ATTRIB] =
    g_param_spec_enum ("x-attrib", "XAttrib", "X attribute", VORN_TYPE_ATTRIB_TYPE,
                       VORN_ATTRIB_TYPE_PITCH, rw);
  properties[PROP_Y_ATTRIB] =
    g_param_spec_enum ("y-attrib", "YAttrib", "Y attribute", VORN_TYPE_ATTRIB_TYPE,
                       VORN_ATTRIB_TYPE_VOLUME, rw);
  properties[PROP_DEST_ATTRIB] =
    g_param_spec_enum ("dest-attrib", "DestAttrib", "Destination attribute",
                       VORN_TYPE_ATTRIB_TYPE, VORN_ATTRIB_TYPE_SIGNAL, rw);
  properties[PROP_DEST_OP] =
    g_param_spec_enum ("dest-op", "DestOp", "Destination attribute math operation",
                       VORN_TYPE_WAVE_OP, VORN_WAVE_OP_ADD, rw);
  properties[PROP_TRIG_MODE] =
    g_param_spec_enum ("trig-mode", "TrigMode", "Trigger mode", VORN_TYPE_WAVE_TRIG_MODE,
                       VORN_WAVE_TRIG_MODE_PRESS, rw);
  properties[PROP_POS_MODE] =
    g_param_spec_enum ("pos-mode", "PosMode", "Playback position mode",
                       VORN_TYPE_WAVE_POS_MODE, VORN_WAVE_POS_MODE_RELATIVE,
                       GParamFlags (rw | VORN_PARAM_HIDDEN));
  properties[PROP_PLAY_MODE] =
    g_param_spec_enum ("play-mode", "PlayMode", "Playback mode", VORN_TYPE_WAVE_PLAY_MODE,
                       VORN_WAVE_PLAY_MODE_LOOP, rw);
  properties[PROP_X_SCALE] =
    g_param_spec_double ("x-scale", "XScale",
                         "X coordinate waveform playback position scale factor",
                         -VORN_VALUE_MAX, VORN_VALUE_MAX, 1.0, rw);
  properties[PROP_Y_SCALE] =
    g_param_spec_double ("y-scale", "YScale",
                         "Y coordinate waveform output amplitude scale factor",
                         -VORN_VALUE_MAX, VORN_VALUE_MAX, 1.0, rw);
  properties[PROP_Y_OFS] =
    g_param_spec_double ("y-ofs", "YOfs", "Y coordinate waveform amplitude offset",
                         -VORN_VALUE_MAX, VORN_VALUE_MAX, 0.0, rw);
  properties[PROP_INIT_VALUE] =
    g_param_spec_double ("init-value", "InitValue", "Initial control value",
                         -VORN_VALUE_MAX, VORN_VALUE_MAX, 0.0, rw);
  properties[PROP_CURVE] =
    g_param_spec_object ("curve", "Curve", "Curve object", VORN_TYPE_CURVE, rw);
  properties[PROP_MORPH] =
    g_param_spec_boxed ("morph", "Morph", "Morph information", VORN_TYPE_MORPH, rw);
  properties[PROP_KIND] =
    g_param_spec_enum ("kind", "Kind", "Kind of wave", VORN_TYPE_WAVE_KIND,
                       VORN_WAVE_KIND_UNDEFINED,
                       GParamFlags (G_PARAM_READABLE | G_PARAM_STATIC_STRINGS | VORN_PARAM_HIDDEN));

  properties[PROP_ANTI_ALIAS] =
    g_param_spec_boolean ("anti-alias", "AntiAlias",
                          "Band-limit the curve where it plays as an oscillator", TRUE, rw);

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
vorn_wave_init (VornWave *wave)
{
  wave->x_scale = 1.0;
  wave->y_scale = 1.0;
  wave->y_ofs = 0.0;
  wave->init_value = 0.0;
  wave->x_attrib = VORN_ATTRIB_TYPE_PITCH;
  wave->y_attrib = VORN_ATTRIB_TYPE_VOLUME;
  wave->dest_attrib = VORN_ATTRIB_TYPE_SIGNAL;
  wave->trig_mode = VORN_WAVE_TRIG_MODE_PRESS;
  wave->pos_mode = VORN_WAVE_POS_MODE_RELATIVE;
  wave->play_mode = VORN_WAVE_PLAY_MODE_LOOP;
  wave->dest_op = VORN_WAVE_OP_ADD;
  wave->anti_alias = TRUE;
  /* Nobody can be connected yet, so the kind needs no notification. */
  wave->kind = derive_kind (wave);
}

/* ---- JSON -------------------------------------------------------------- */

static JsonNode *
vorn_wave_serialize_property (JsonSerializable *serializable, const char *property_name,
                              const GValue *value, GParamSpec *pspec)
{
  if (pspec == properties[PROP_MORPH])
    return vorn_morph_serialize (static_cast<const VornMorph *> (g_value_get_boxed (value)));
  return vorn_node_serialize_property_default (serializable, property_name, value, pspec);
}

static void
report_invalid (JsonSerializable *serializable, const char *member, const char *problem)
{
  VornJsonLoadScope::report (g_error_new (VORN_ERROR, VORN_ERROR_INVALID_DATA,
                                          "Invalid member '%s' of node type '%s': %s", member,
                                          G_OBJECT_TYPE_NAME (serializable), problem));
}

static gboolean
vorn_wave_deserialize_property (JsonSerializable *serializable, const char *property_name,
                                GValue *value, GParamSpec *pspec, JsonNode *property_node)
{
  if (pspec == properties[PROP_MORPH])
    {
      g_value_take_boxed (value, vorn_morph_deserialize (serializable, property_node));
      return TRUE;
    }

  if (pspec == properties[PROP_CURVE])
    {
      if (JSON_NODE_HOLDS_NULL (property_node))
        {
          g_value_set_object (value, nullptr);
          return TRUE;
        }
      if (!JSON_NODE_HOLDS_OBJECT (property_node))
        {
          g_autofree char *problem =
            g_strdup_printf ("expected an object, found %s", vorn_json_describe (property_node));
          report_invalid (serializable, property_name, problem);
          g_value_set_object (value, nullptr);
          return TRUE;
        }
      GObject *curve = json_gobject_deserialize (VORN_TYPE_CURVE, property_node);
      /* Generators evaluate segments; a curve without one would be read
       * out of bounds, so it is refused here. */
      if (!curve || VORN_CURVE (curve)->count < 2)
        {
          report_invalid (serializable, property_name, "a curve needs at least 2 points");
          g_clear_object (&curve);
        }
      g_value_take_object (value, curve);
      return TRUE;
    }

  return vorn_node_deserialize_property_default (serializable, property_name, value, pspec,
                                                 property_node);
}

static void
vorn_wave_serializable_init (JsonSerializableIface *iface)
{
  parent_serializable_iface =
    static_cast<JsonSerializableIface *> (g_type_interface_peek_parent (iface));
  iface->list_properties = parent_serializable_iface->list_properties;
  iface->serialize_property = vorn_wave_serialize_property;
  iface->deserialize_property = vorn_wave_deserialize_property;
}

/* ---- construction ------------------------------------------------------ */

VornWave *
vorn_wave_new (guint n_points)
{
  g_autoptr (VornCurve) curve = vorn_curve_new (n_points);
  return vorn_wave_new_from_curve (curve);
}

VornWave *
vorn_wave_new_from_curve (VornCurve *curve)
{
  g_return_val_if_fail (VORN_IS_CURVE (curve), NULL);
  return static_cast<VornWave *> (g_object_new (VORN_TYPE_WAVE, "curve", curve, nullptr));
}

VornWave *
vorn_wave_new_control (const char *name, VornAttribType dest_attrib, VornWaveOp dest_op,
                       double init_value)
{
  return static_cast<VornWave *> (g_object_new (VORN_TYPE_WAVE,
                                                "name", name,
                                                "x-attrib", VORN_ATTRIB_TYPE_NONE,
                                                "y-attrib", VORN_ATTRIB_TYPE_CONTROL,
                                                "dest-attrib", dest_attrib,
                                                "dest-op", dest_op,
                                                "init-value", init_value,
                                                nullptr));
}

VornWave *
vorn_wave_new_control_default (const char *name, VornAttribType dest_attrib)
{
  /* Scaling attributes start neutral at a factor of one, offsets at zero. */
  bool scaling = dest_attrib == VORN_ATTRIB_TYPE_TIME || dest_attrib == VORN_ATTRIB_TYPE_PITCH
                 || dest_attrib == VORN_ATTRIB_TYPE_VOLUME;
  return vorn_wave_new_control (name, dest_attrib, scaling ? VORN_WAVE_OP_MUL : VORN_WAVE_OP_ADD,
                                scaling ? 1.0 : 0.0);
}

/* ---- point editing ----------------------------------------------------- */

/* Moves every morph entry at or after coordinate @from up by @shift
 * coordinates.  Returns TRUE when an entry moved. */
static gboolean
shift_morph_entries (VornWave *wave, gint64 from, gint64 shift)
{
  VornMorph *morph = wave->morph;
  gboolean moved = FALSE;
  if (!morph)
    return FALSE;
  for (guint i = 0; i < morph->count; i++)
    if (gint64 (morph->points[i].index) >= from)
      {
        morph->points[i].index = guint32 (gint64 (morph->points[i].index) + shift);
        moved = TRUE;
      }
  return moved;
}

static void
after_point_inserted (VornWave *wave, int point)
{
  /* The three new coordinates start at 3p - 1: the new point's left handle. */
  if (shift_morph_entries (wave, gint64 (point) * 3 - 1, 3))
    g_object_notify_by_pspec (G_OBJECT (wave), properties[PROP_MORPH]);
}

int
vorn_wave_insert_point (VornWave *wave, double x, double y)
{
  g_return_val_if_fail (VORN_IS_WAVE (wave), -1);
  g_return_val_if_fail (wave->curve != NULL, -1);

  int point = vorn_curve_insert_point (wave->curve, x, y);
  if (point >= 0)
    after_point_inserted (wave, point);
  return point;
}

void
vorn_wave_insert_point_by_index (VornWave *wave, int pointIndex)
{
  g_return_if_fail (VORN_IS_WAVE (wave));
  g_return_if_fail (wave->curve != NULL);
  g_return_if_fail (pointIndex >= 0 && pointIndex < wave->curve->count);

  vorn_curve_insert_point_by_index (wave->curve, pointIndex);
  after_point_inserted (wave, pointIndex);
}

void
vorn_wave_delete_point (VornWave *wave, int endpointIndex)
{
  g_return_if_fail (VORN_IS_WAVE (wave));
  g_return_if_fail (wave->curve != NULL);
  g_return_if_fail (wave->curve->count > 2);
  g_return_if_fail (endpointIndex > 0 && endpointIndex < wave->curve->count - 1);

  vorn_curve_delete_point (wave->curve, endpointIndex);

  VornMorph *morph = wave->morph;
  if (!morph)
    return;

  /* The point's left handle, endpoint and right handle disappear with
   * their morph entries; later coordinates move down by three. */
  const gint64 first = gint64 (endpointIndex) * 3 - 1;
  const gint64 last = first + 2;
  gboolean changed = FALSE;
  for (guint i = morph->count; i-- > 0;)
    {
      gint64 index = morph->points[i].index;
      if (index >= first && index <= last)
        {
          vorn_morph_remove_point_curve_by_index (morph, i);
          changed = TRUE;
        }
    }
  if (shift_morph_entries (wave, last + 1, -3))
    changed = TRUE;
  if (changed)
    g_object_notify_by_pspec (G_OBJECT (wave), properties[PROP_MORPH]);
}

/* ---- morph editing ----------------------------------------------------- */

int
vorn_wave_insert_morph_point (VornWave *wave, guint pointIndex, gboolean horizontal,
                              double morphX, double morphY, VornMorphPoint **point_out)
{
  g_return_val_if_fail (VORN_IS_WAVE (wave), -1);
  g_return_val_if_fail (wave->curve != NULL, -1);
  g_return_val_if_fail (morphX > 0.0 && morphX <= 1.0, -1);
  /* Spelled out rather than g_return_val_if_fail(): the unsigned index
   * against the signed length would not compile cleanly. */
  if (G_UNLIKELY (gint64 (pointIndex) >= gint64 (VORN_CURVE_COORD_LENGTH (wave->curve))))
    {
      g_return_if_fail_warning (nullptr, G_STRFUNC,
                                "pointIndex < VORN_CURVE_COORD_LENGTH (wave->curve)");
      return -1;
    }

  if (!wave->morph)
    wave->morph = vorn_morph_new (wave->curve);

  int result = vorn_morph_insert_point (wave->morph, pointIndex, horizontal, morphX, morphY,
                                        point_out);
  if (result >= 0)
    g_object_notify_by_pspec (G_OBJECT (wave), properties[PROP_MORPH]);
  return result;
}

/* Identifies the morph's state well enough to tell whether a removal did
 * anything: entry count plus the point count of the addressed curve. */
static gint64
morph_signature (VornMorph *morph, guint index, gboolean horizontal)
{
  VornMorphPoint *p = vorn_morph_find_point (morph, index, horizontal);
  return (gint64 (morph->count) << 32) | (p ? gint64 (p->curve->count) : 0);
}

void
vorn_wave_remove_morph_point (VornWave *wave, guint index, gboolean horizontal, guint point)
{
  g_return_if_fail (VORN_IS_WAVE (wave));
  if (!wave->morph)
    return;

  gint64 before = morph_signature (wave->morph, index, horizontal);
  vorn_morph_remove_point (wave->morph, index, horizontal, point);
  if (morph_signature (wave->morph, index, horizontal) != before)
    g_object_notify_by_pspec (G_OBJECT (wave), properties[PROP_MORPH]);
}

void
vorn_wave_remove_morph_point_curve (VornWave *wave, guint index, gboolean horizontal)
{
  g_return_if_fail (VORN_IS_WAVE (wave));
  if (!wave->morph)
    return;

  guint16 before = wave->morph->count;
  vorn_morph_remove_point_curve (wave->morph, index, horizontal);
  if (wave->morph->count != before)
    g_object_notify_by_pspec (G_OBJECT (wave), properties[PROP_MORPH]);
}

void
vorn_wave_remove_morph (VornWave *wave)
{
  g_return_if_fail (VORN_IS_WAVE (wave));
  if (!wave->morph)
    return;

  g_clear_pointer (&wave->morph, vorn_morph_free);
  g_object_notify_by_pspec (G_OBJECT (wave), properties[PROP_MORPH]);
}

VornMorphPoint *
vorn_wave_find_morph_point (VornWave *wave, guint index, gboolean horizontal)
{
  g_return_val_if_fail (VORN_IS_WAVE (wave), NULL);
  return wave->morph ? vorn_morph_find_point (wave->morph, index, horizontal) : nullptr;
}

gboolean
vorn_wave_find_morph_point_index (VornWave *wave, guint index, gboolean horizontal, guint point,
                                  VornMorphPoint **point_out)
{
  g_return_val_if_fail (VORN_IS_WAVE (wave), FALSE);
  if (!wave->morph)
    return FALSE;
  return vorn_morph_find_point_index (wave->morph, index, horizontal, point, point_out);
}

int
vorn_wave_find_morph_point_position (VornWave *wave, guint index, gboolean horizontal,
                                     double position, VornMorphPoint **point_out)
{
  g_return_val_if_fail (VORN_IS_WAVE (wave), -1);
  if (!wave->morph)
    return -1;
  return vorn_morph_find_point_position (wave->morph, index, horizontal, position, point_out);
}
