/* vorn-synth.cpp: the synthesizer: configuration, master tree, speaker
 * curves, note bookkeeping and the API side of the message protocol */
#include "vorn-synth.h"
#include "vorn-synth-events.h"
#include "vorn-synth-private.h"
#include "vorn-mix-private.h"
#include "vorn-tsan.h"

#include "vorn-init.h"
#include "vorn-render-context.h"
#include "vorn-inst.h"
#include "vorn-tap.h"
#include "vorn-value.h"
#include "vorn-wave.h"

#include <json-glib/json-glib.h>

#include <cmath>
#include <cstring>

#include <sys/eventfd.h>
#include <unistd.h>

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

static void vorn_synth_serializable_init (JsonSerializableIface *iface);

G_DEFINE_TYPE_WITH_CODE (VornSynth, vorn_synth, G_TYPE_OBJECT,
                         G_ADD_PRIVATE (VornSynth)
                         G_IMPLEMENT_INTERFACE (JSON_TYPE_SERIALIZABLE,
                                                vorn_synth_serializable_init))

G_DEFINE_ENUM_TYPE (VornSynthMsgType, vorn_synth_msg_type,
  G_DEFINE_ENUM_VALUE (VORN_SYNTH_MSG_START_VOICE, "start-voice"),
  G_DEFINE_ENUM_VALUE (VORN_SYNTH_MSG_START_VOICE_NOTIFY, "start-voice-notify"),
  G_DEFINE_ENUM_VALUE (VORN_SYNTH_MSG_STOP_VOICE, "stop-voice"),
  G_DEFINE_ENUM_VALUE (VORN_SYNTH_MSG_SET_CONTROL, "set-control"),
  G_DEFINE_ENUM_VALUE (VORN_SYNTH_MSG_SET_VOICE_CONTROL, "set-voice-control"),
  G_DEFINE_ENUM_VALUE (VORN_SYNTH_MSG_SET_NODE_CONTROL, "set-node-control"),
  G_DEFINE_ENUM_VALUE (VORN_SYNTH_MSG_PANIC, "panic"),
  G_DEFINE_ENUM_VALUE (VORN_SYNTH_MSG_TAP_PAUSE, "tap-pause"),
  G_DEFINE_ENUM_VALUE (VORN_SYNTH_MSG_UPDATE_OPTIMIZATION, "update-optimization"))

static VornSynthPrivate *
get_priv (VornSynth *synth)
{
  return static_cast<VornSynthPrivate *> (vorn_synth_get_instance_private (synth));
}

VornSynthPrivate *
vorn_synth_render_get_private (VornSynth *synth)
{
  return get_priv (synth);
}

VornSynthPrivate *
vorn_synth_get_private (VornSynth *synth)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), NULL);
  return get_priv (synth);
}

/* The inbox holds a start and a stop per voice plus ample room for control
 * changes (16 bytes a cell); the outbox also takes back every sounding voice
 * at once (panic). */
static void
ring_sizes (guint max_voices, guint *inbox, guint *outbox)
{
  const guint voices = MIN (max_voices, 65535u);
  *inbox = MAX (1024u, 4 * voices + 256);
  *outbox = *inbox + 2 * voices + 64;
}

/* A ring of at least @cap cells holding what @ring held, in order (API
 * thread, while nothing renders). */
static VornSynthRing *
ring_grow (VornSynthRing *ring, guint cap)
{
  if (vorn_synth_ring_capacity (ring) >= cap)
    return ring;
  VornSynthRing *bigger = vorn_synth_ring_new (cap);
  while (VornSynthMsg *msg = vorn_synth_ring_pop (ring))
    vorn_synth_ring_push (bigger, msg);
  vorn_synth_ring_free (ring);
  return bigger;
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
  g_rec_mutex_init (&priv->api_lock);
  priv->rt = g_new0 (VornSynthRender, 1);
  priv->voice_map = g_hash_table_new (g_direct_hash, g_direct_equal);
  priv->master_controls = g_hash_table_new_full (g_direct_hash, g_direct_equal, nullptr, g_free);
  guint in_cap, out_cap;
  ring_sizes (priv->max_voices, &in_cap, &out_cap);
  priv->inbox = vorn_synth_ring_new (in_cap);
  priv->outbox = vorn_synth_ring_new (out_cap);
  priv->wake_fd = eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK);
  priv->posted = new VornEventInbox ();
  priv->posted->init ();
  priv->clock = new VornRenderClock ();
  vorn_render_context_init (&priv->context);
  vorn_synth_refresh_render_context (priv);
}

static void
vorn_synth_finalize (GObject *object)
{
  VornSynth *synth = VORN_SYNTH (object);
  VornSynthPrivate *priv = get_priv (synth);

  /* Through the class operation, so that subclasses release their part
   * (and return sounding voices to the outbox) first. */
  if (priv->started)
    VORN_SYNTH_GET_CLASS (synth)->stop (synth);

  g_clear_pointer (&priv->voice_map, g_hash_table_unref);
  g_clear_pointer (&priv->master_controls, g_hash_table_unref);
  g_clear_pointer (&priv->inbox, vorn_synth_ring_free);
  delete priv->posted;
  priv->posted = nullptr;
  delete priv->clock;
  priv->clock = nullptr;
  g_clear_pointer (&priv->outbox, vorn_synth_ring_free);
  if (priv->wake_fd >= 0)
    close (priv->wake_fd);
  g_clear_pointer (&priv->rt, g_free);
  g_rec_mutex_clear (&priv->api_lock);

  G_OBJECT_CLASS (vorn_synth_parent_class)->finalize (object);
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
      g_value_set_uint (value, guint (priv->chanCount));
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
    case PROP_SPEAKER_COUNT:
      {
        guint *field = prop_id == PROP_MAX_VOICES ? &priv->max_voices : &priv->speaker_count;
        guint v = g_value_get_uint (value);
        if (v != *field)
          {
            *field = v;
            restart_property_changed (synth, pspec);
          }
      }
      break;
    case PROP_CHANNEL_COUNT:
      {
        gint v = gint (g_value_get_uint (value));
        if (v != priv->chanCount)
          {
            priv->chanCount = v;
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
            /* The voices compiled ahead come with notifications or not. */
            vorn_util_edit_serial_bump ();
            vorn_synth_refresh_voices (VORN_SYNTH (object));
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
  vorn_synth_refresh_render_context (priv);
}

/* ---- JSON ---------------------------------------------------------------- */

static JsonNode *
vorn_synth_serialize_property (JsonSerializable *, const char *, const GValue *value,
                               GParamSpec *pspec)
{
  /* Read-only state (the trees, counters) cannot be restored; leave it out. */
  if (!(pspec->flags & G_PARAM_WRITABLE))
    return nullptr;
  return vorn_util_value_to_json (value);
}

static gboolean
vorn_synth_deserialize_property (JsonSerializable *serializable, const char *property_name,
                                 GValue *value, GParamSpec *pspec, JsonNode *property_node)
{
  if (G_VALUE_TYPE (value) == G_TYPE_INVALID)
    g_value_init (value, G_PARAM_SPEC_VALUE_TYPE (pspec));

  g_autoptr (GError) error = nullptr;
  if (!vorn_util_json_to_value (value, property_node, &error))
    {
      g_warning ("Failed to deserialize property '%s' for object of type '%s': %s",
                 property_name, G_OBJECT_TYPE_NAME (serializable),
                 error ? error->message : "unknown error");
      /* Hand back the current value so that the property stays as it is
       * (json-glib would log a second warning for a FALSE result). */
      g_value_reset (value);
      g_object_get_property (G_OBJECT (serializable), property_name, value);
    }
  return TRUE;
}

static void
vorn_synth_serializable_init (JsonSerializableIface *iface)
{
  iface->serialize_property = vorn_synth_serialize_property;
  iface->deserialize_property = vorn_synth_deserialize_property;
}

/* ---- default class operations -------------------------------------------- */

static void
add_control (VornNode *parent, const char *name, VornAttribType attrib, VornWaveOp op,
             double init_value, VornNode **out = nullptr)
{
  VornWave *wave = vorn_wave_new_control (name, attrib, op, init_value);
  vorn_node_insert (parent, VORN_NODE (wave), -1);
  if (out)
    *out = VORN_NODE (wave);
  g_object_unref (wave);
}

static VornNode *
build_master_tree (VornSynthPrivate *priv)
{
  VornNode *root = vorn_node_new ();
  g_object_set (root, "name", "Master", nullptr);

  const double tick = 1.0 / priv->sample_rate;
  add_control (root, "Speakers", VORN_ATTRIB_TYPE_SPEAKERS, VORN_WAVE_OP_SET, 0.0,
               &priv->speakers_wave);
  add_control (root, "Time", VORN_ATTRIB_TYPE_TIME, VORN_WAVE_OP_SET, tick);
  add_control (root, "Main Pitch", VORN_ATTRIB_TYPE_PITCH, VORN_WAVE_OP_SET, tick);
  add_control (root, "Main Volume", VORN_ATTRIB_TYPE_VOLUME, VORN_WAVE_OP_SET, 0.5);
  add_control (root, "Main Balance", VORN_ATTRIB_TYPE_BALANCE, VORN_WAVE_OP_SET, 0.0);
  add_control (root, "Main Latitude", VORN_ATTRIB_TYPE_LATITUDE, VORN_WAVE_OP_SET, 0.0);

  for (gint chan = 0; chan < priv->chanCount; chan++)
    {
      VornNode *point = vorn_node_new ();
      g_autofree char *name = g_strdup_printf ("Channel %d", chan + 1);
      g_object_set (point, "name", name, "attach-point", TRUE, nullptr);
      add_control (point, "Channel Pitch", VORN_ATTRIB_TYPE_PITCH, VORN_WAVE_OP_MUL, 1.0);
      add_control (point, "Channel Volume", VORN_ATTRIB_TYPE_VOLUME, VORN_WAVE_OP_MUL, 1.0);
      add_control (point, "Channel Balance", VORN_ATTRIB_TYPE_BALANCE, VORN_WAVE_OP_ADD, 0.0);
      add_control (point, "Channel Latitude", VORN_ATTRIB_TYPE_LATITUDE, VORN_WAVE_OP_ADD, 0.0);
      vorn_node_insert (root, point, -1);
      g_object_unref (point);
    }

  VornTap *tap = vorn_tap_new (VORN_ATTRIB_TYPE_SPEAKERS, 0);
  g_object_set (tap, "name", "Master Tap", nullptr);
  vorn_node_insert (root, VORN_NODE (tap), -1);
  g_object_unref (tap);

  return root;
}

void
vorn_synth_refresh_render_context (VornSynthPrivate *priv)
{
  g_rec_mutex_lock (&priv->api_lock);
  VornRenderContext *ctx = &priv->context;
  const guint cores = guint (g_atomic_int_get (reinterpret_cast<gint *> (&priv->cores)));
  ctx->sample_rate = priv->sample_rate;
  ctx->speaker_count = MIN (priv->speaker_count, guint (G_MAXUINT16));
  ctx->max_voices = CLAMP (priv->max_voices, 1u, guint (G_MAXUINT16));
  ctx->cores = cores ? cores : priv->cores_detected;
  ctx->format = VornFormat (CLAMP (g_atomic_int_get (&priv->format), 0, 1));
  const gboolean cached = priv->started && priv->balance_caches;
  ctx->balance_caches = cached ? priv->balance_caches : nullptr;
  ctx->latitude_caches = cached ? priv->latitude_caches : nullptr;
  ctx->cache_count = cached ? priv->started_speakers : 0;
  ctx->speaker_outputs = nullptr;
  ctx->tap_mode = nullptr;
  g_rec_mutex_unlock (&priv->api_lock);
}

void
vorn_synth_get_render_context (VornSynth *synth, VornRenderContext *ctx)
{
  g_return_if_fail (ctx != NULL);
  vorn_render_context_init (ctx);
  g_return_if_fail (VORN_IS_SYNTH (synth));

  VornSynthPrivate *priv = get_priv (synth);
  g_rec_mutex_lock (&priv->api_lock);
  *ctx = priv->context;
  g_rec_mutex_unlock (&priv->api_lock);
}

static gboolean
vorn_synth_real_start (VornSynth *synth, GError **)
{
  VornSynthPrivate *priv = get_priv (synth);

  if (priv->started)
    VORN_SYNTH_GET_CLASS (synth)->stop (synth);

  guint in_cap, out_cap;
  ring_sizes (priv->max_voices, &in_cap, &out_cap);
  priv->inbox = ring_grow (priv->inbox, in_cap);
  priv->outbox = ring_grow (priv->outbox, out_cap);

  priv->node_tree = build_master_tree (priv);
  priv->started_channels = priv->chanCount;
  priv->channel_insts = g_new0 (VornInst *, priv->started_channels);

  const guint n = priv->speaker_count;
  priv->balance_curves = g_new0 (VornCurve *, n);
  priv->latitude_curves = g_new0 (VornCurve *, n);
  priv->balance_caches = g_new0 (VornCurveCache *, n);
  priv->latitude_caches = g_new0 (VornCurveCache *, n);
  for (guint s = 0; s < n; s++)
    {
      priv->balance_curves[s] = vorn_mix_speaker_curve_new (n, s, FALSE);
      priv->latitude_curves[s] = vorn_mix_speaker_curve_new (n, s, TRUE);
      /* Panning gains are computed in double whatever the sample format. */
      priv->balance_caches[s] = vorn_curve_cache_get (priv->balance_curves[s], VORN_FORMAT_DOUBLE);
      priv->latitude_caches[s] = vorn_curve_cache_get (priv->latitude_curves[s], VORN_FORMAT_DOUBLE);
    }

  priv->peak_levels = g_new0 (guint32, n);
  priv->started_speakers = n;
  priv->started = TRUE;
  vorn_synth_refresh_render_context (priv);
  g_object_notify_by_pspec (G_OBJECT (synth), properties[PROP_NODE_TREE]);
  if (priv->restart_needed)
    {
      priv->restart_needed = FALSE;
      g_object_notify_by_pspec (G_OBJECT (synth), properties[PROP_RESTART_NEEDED]);
    }
  return TRUE;
}

void
vorn_synth_wake_outbox (VornSynthPrivate *priv)
{
  if (priv->wake_fd < 0)
    return;
  const guint64 one = 1;
  /* A full counter (never in practice) already means "readable". */
  ssize_t r = write (priv->wake_fd, &one, sizeof one);
  (void) r;
}

/* API thread: a message that cannot (or need not) be applied goes straight
 * back; with the outbox full it is freed and counted. */
static void
return_unapplied (VornSynthPrivate *priv, VornSynthMsg *msg)
{
  if (vorn_synth_ring_push (priv->outbox, msg))
    vorn_synth_wake_outbox (priv);
  else
    {
      g_atomic_int_inc (&priv->dropped);
      /* A notification's reference was meant for the receiver. */
      if (msg->type == VORN_SYNTH_MSG_START_VOICE_NOTIFY && msg->start_voice_notify.queue)
        g_object_unref (msg->start_voice_notify.queue);
      vorn_synth_msg_free (msg);
    }
}

void
vorn_synth_post_outbox (VornSynthPrivate *priv, VornSynthMsg *msg)
{
  return_unapplied (priv, msg);
}

static void
vorn_synth_real_stop (VornSynth *synth)
{
  VornSynthPrivate *priv = get_priv (synth);

  if (!priv->started)
    return;

  const guint n = priv->started_speakers;
  for (guint s = 0; s < n; s++)
    {
      g_clear_object (&priv->balance_caches[s]);
      g_clear_object (&priv->latitude_caches[s]);
      g_clear_object (&priv->balance_curves[s]);
      g_clear_object (&priv->latitude_curves[s]);
    }
  g_clear_pointer (&priv->balance_caches, g_free);
  g_clear_pointer (&priv->latitude_caches, g_free);
  g_clear_pointer (&priv->balance_curves, g_free);
  g_clear_pointer (&priv->latitude_curves, g_free);

  vorn_synth_render_teardown (priv);
  /* Messages not applied yet come back unapplied (a stopped synthesizer
   * renders nothing), so that the application frees their queues. */
  while (VornSynthMsg *msg = vorn_synth_ring_pop (priv->inbox))
    return_unapplied (priv, msg);
  g_hash_table_remove_all (priv->master_controls);

  gboolean had_queue = priv->master_queue != nullptr;
  g_clear_object (&priv->master_queue);
  priv->speakers_wave = nullptr;
  g_clear_object (&priv->node_tree);

  for (gint chan = 0; chan < priv->started_channels; chan++)
    g_clear_object (&priv->channel_insts[chan]);
  g_clear_pointer (&priv->channel_insts, g_free);

  g_hash_table_remove_all (priv->voice_map);
  g_clear_pointer (&priv->peak_levels, g_free);
  priv->started_speakers = 0;
  priv->started_channels = 0;
  priv->started = FALSE;
  vorn_synth_refresh_render_context (priv);

  if (had_queue)
    g_object_notify_by_pspec (G_OBJECT (synth), properties[PROP_MASTER_QUEUE]);
  g_object_notify_by_pspec (G_OBJECT (synth), properties[PROP_NODE_TREE]);
}

static void
vorn_synth_real_set_inst (VornSynth *synth, int chan, VornInst *inst)
{
  VornSynthPrivate *priv = get_priv (synth);

  if (chan < priv->started_channels)
    g_set_object (&priv->channel_insts[chan], inst);
}

static void
vorn_synth_real_stop_voice (VornSynth *synth, guint voice_id, double velocity)
{
  VornSynthMsg *msg = vorn_synth_msg_new (VORN_SYNTH_MSG_STOP_VOICE);
  msg->stop_voice.voice_id = voice_id;
  msg->stop_voice.velocity = velocity;
  vorn_synth_send_message (synth, msg);
}

static void
vorn_synth_real_set_control (VornSynth *synth, guint16 control_id, double value)
{
  /* Remembered for masters built later (settings changes rebuild it). */
  VornSynthPrivate *priv = get_priv (synth);
  g_rec_mutex_lock (&priv->api_lock);
  g_hash_table_insert (priv->master_controls, GUINT_TO_POINTER (guint (control_id)),
                       g_memdup2 (&value, sizeof value));
  g_rec_mutex_unlock (&priv->api_lock);

  VornSynthMsg *msg = vorn_synth_msg_new (VORN_SYNTH_MSG_SET_CONTROL);
  msg->set_control.control_id = control_id;
  msg->set_control.value = value;
  vorn_synth_send_message (synth, msg);
}

static void
vorn_synth_real_set_voice_control (VornSynth *synth, guint voice_id, guint16 control_id,
                                   double value)
{
  VornSynthMsg *msg = vorn_synth_msg_new (VORN_SYNTH_MSG_SET_VOICE_CONTROL);
  msg->set_voice_control.voice_id = voice_id;
  msg->set_voice_control.control_id = control_id;
  msg->set_voice_control.value = value;
  vorn_synth_send_message (synth, msg);
}

static void
vorn_synth_real_set_node_control (VornSynth *synth, VornNode *node, guint16 control_id,
                                  guint16 chan, int max_count, double value, VornWaveOp op)
{
  VornSynthMsg *msg = vorn_synth_msg_new (VORN_SYNTH_MSG_SET_NODE_CONTROL);
  VornSynthMsgSetNodeControl *p = &msg->set_node_control;
  p->node = node;
  p->control_id = control_id;
  p->chan_filter = chan;
  /* The record has 8 bits for the limit; larger limits mean every voice. */
  p->max_count = max_count > 0 && max_count <= G_MAXUINT8 ? guint8 (max_count) : 0;
  p->value = value;
  p->op = guint8 (op);
  vorn_synth_send_message (synth, msg);
}

static void
vorn_synth_real_panic (VornSynth *synth)
{
  vorn_synth_send_message (synth, vorn_synth_msg_new (VORN_SYNTH_MSG_PANIC));
}

static void
vorn_synth_real_tap_pause (VornSynth *synth, gboolean pause)
{
  VornSynthMsg *msg = vorn_synth_msg_new (VORN_SYNTH_MSG_TAP_PAUSE);
  /* The render thread keeps the applied state (tap_paused) itself. */
  msg->tap_pause.pause = pause ? TRUE : FALSE;
  vorn_synth_send_message (synth, msg);
}

static void
vorn_synth_class_init (VornSynthClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->get_property = vorn_synth_get_property;
  object_class->set_property = vorn_synth_set_property;
  object_class->finalize = vorn_synth_finalize;

  klass->start = vorn_synth_real_start;
  klass->stop = vorn_synth_real_stop;
  klass->set_inst = vorn_synth_real_set_inst;
  klass->stop_voice = vorn_synth_real_stop_voice;
  klass->set_control = vorn_synth_real_set_control;
  klass->set_voice_control = vorn_synth_real_set_voice_control;
  klass->set_node_control = vorn_synth_real_set_node_control;
  klass->panic = vorn_synth_real_panic;
  klass->tap_pause = vorn_synth_real_tap_pause;

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
