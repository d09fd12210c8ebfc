/* vorn-synth-api.cpp: the synthesizer's public operations on the API
 * thread: notes, voices, controls, messages and the counters read across
 * threads */
#include "vorn-synth.h"
#include "vorn-synth-private.h"
#include "vorn-mix-private.h"
#include "vorn-tsan.h"

#include "vorn-init.h"
#include "vorn-inst.h"
#include "vorn-tap.h"
#include "vorn-value.h"
#include "vorn-wave.h"

#include <json-glib/json-glib.h>

#include <cmath>
#include <cstring>

#include <sys/eventfd.h>
#include <unistd.h>

/* ---- public operations ----------------------------------------------------- */

/* The instrument of a valid channel, NULL also for channels added by a
 * "channel-count" change that waits for the next start. */
static VornInst *
channel_inst (VornSynthPrivate *priv, int chan)
{
  return chan < priv->started_channels ? priv->channel_insts[chan] : nullptr;
}

guint64
vorn_synth_note_key (guint16 device_id, guint source_id, int chan, guint8 note)
{
  return guint64 (note) | (guint64 (guint8 (chan)) << 8)
         | (guint64 (guint16 (device_id + 1)) << 16) | (guint64 (source_id) << 32);
}

gboolean
vorn_synth_start (VornSynth *synth, GError **error)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), FALSE);
  g_return_val_if_fail (!error || !*error, FALSE);
  VornSynthPrivate *priv = vorn_synth_get_private (synth);
  g_rec_mutex_lock (&priv->api_lock);
  const gboolean started = VORN_SYNTH_GET_CLASS (synth)->start (synth, error);
  g_rec_mutex_unlock (&priv->api_lock);
  return started;
}

void
vorn_synth_stop (VornSynth *synth)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));
  VornSynthPrivate *priv = vorn_synth_get_private (synth);
  g_rec_mutex_lock (&priv->api_lock);
  VORN_SYNTH_GET_CLASS (synth)->stop (synth);
  g_rec_mutex_unlock (&priv->api_lock);
}

gboolean
vorn_synth_is_started (VornSynth *synth)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), FALSE);
  return vorn_synth_get_private (synth)->started;
}

void
vorn_synth_set_inst (VornSynth *synth, int chan, VornInst *inst)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));
  VornSynthPrivate *priv = vorn_synth_get_private (synth);
  g_return_if_fail (chan >= 0 && chan < priv->chanCount);
  g_return_if_fail (VORN_IS_INST (inst));

  g_rec_mutex_lock (&priv->api_lock);
  VORN_SYNTH_GET_CLASS (synth)->set_inst (synth, chan, inst);
  vorn_synth_refresh_voices (synth);
  g_rec_mutex_unlock (&priv->api_lock);
}

VornInst *
vorn_synth_get_inst (VornSynth *synth, int chan)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), NULL);
  VornSynthPrivate *priv = vorn_synth_get_private (synth);
  g_return_val_if_fail (chan >= 0 && chan < priv->chanCount, NULL);

  g_rec_mutex_lock (&priv->api_lock);
  VornInst *inst = channel_inst (priv, chan);
  g_rec_mutex_unlock (&priv->api_lock);
  return inst;
}

guint
vorn_synth_note_on (VornSynth *synth, guint16 device_id, guint source_id, int chan, guint8 note,
                    guint8 velocity, VornQueue **queue_out)
{
  if (queue_out)
    *queue_out = nullptr;
  g_return_val_if_fail (VORN_IS_SYNTH (synth), 0);
  VornSynthPrivate *priv = vorn_synth_get_private (synth);
  g_return_val_if_fail (chan >= 0 && chan < priv->chanCount, 0);

  if (velocity == 0)
    {
      vorn_synth_note_off (synth, device_id, source_id, chan, note, 0);
      return 0;
    }

  /* Held while the voice is posted, so that a note-off of the same key from
   * another thread finds the voice only once its start is in the inbox. */
  g_rec_mutex_lock (&priv->api_lock);
  if (!channel_inst (priv, chan))
    {
      g_rec_mutex_unlock (&priv->api_lock);
      return 0;
    }

  guint voice_id = guint (g_atomic_int_add (&priv->next_voice_id, 1));
  VornSynthClass *klass = VORN_SYNTH_GET_CLASS (synth);
  if (klass->start_voice)
    klass->start_voice (synth, voice_id, chan, double (note), velocity * (1.0 / 127.0), queue_out);

  gpointer key = GSIZE_TO_POINTER (vorn_synth_note_key (device_id, source_id, chan, note));
  gpointer replaced;
  if (g_hash_table_lookup_extended (priv->voice_map, key, nullptr, &replaced))
    klass->stop_voice (synth, GPOINTER_TO_UINT (replaced), 0.0);
  g_hash_table_insert (priv->voice_map, key, GUINT_TO_POINTER (voice_id));
  g_rec_mutex_unlock (&priv->api_lock);
  return voice_id;
}

void
vorn_synth_note_off (VornSynth *synth, guint16 device_id, guint source_id, int chan, guint8 note,
                     guint8 velocity)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));
  VornSynthPrivate *priv = vorn_synth_get_private (synth);
  g_return_if_fail (chan >= 0 && chan < priv->chanCount);

  gpointer key = GSIZE_TO_POINTER (vorn_synth_note_key (device_id, source_id, chan, note));
  gpointer voice;
  g_rec_mutex_lock (&priv->api_lock);
  if (g_hash_table_lookup_extended (priv->voice_map, key, nullptr, &voice))
    {
      g_hash_table_remove (priv->voice_map, key);
      VORN_SYNTH_GET_CLASS (synth)->stop_voice (synth, GPOINTER_TO_UINT (voice),
                                                velocity * (1.0 / 127.0));
    }
  g_rec_mutex_unlock (&priv->api_lock);
}

guint
vorn_synth_start_voice (VornSynth *synth, guint voice_id, int chan, double note, double volume,
                        VornQueue **queue_out)
{
  if (queue_out)
    *queue_out = nullptr;
  g_return_val_if_fail (VORN_IS_SYNTH (synth), 0);
  VornSynthPrivate *priv = vorn_synth_get_private (synth);
  g_return_val_if_fail (chan >= 0 && chan < priv->chanCount, 0);

  g_rec_mutex_lock (&priv->api_lock);
  if (channel_inst (priv, chan))
    {
      if (voice_id == 0)
        voice_id = guint (g_atomic_int_add (&priv->next_voice_id, 1));
      VornSynthClass *klass = VORN_SYNTH_GET_CLASS (synth);
      if (klass->start_voice)
        klass->start_voice (synth, voice_id, chan, note, volume, queue_out);
    }
  else
    voice_id = 0;
  g_rec_mutex_unlock (&priv->api_lock);
  return voice_id;
}

void
vorn_synth_stop_voice (VornSynth *synth, guint voice_id, double velocity)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));
  VORN_SYNTH_GET_CLASS (synth)->stop_voice (synth, voice_id, velocity);
}

void
vorn_synth_set_control (VornSynth *synth, guint16 control_id, double value)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));
  VORN_SYNTH_GET_CLASS (synth)->set_control (synth, control_id, value);
}

void
vorn_synth_set_voice_control (VornSynth *synth, guint voice_id, guint16 control_id, double value)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));
  VORN_SYNTH_GET_CLASS (synth)->set_voice_control (synth, voice_id, control_id, value);
}

void
vorn_synth_set_node_control (VornSynth *synth, VornNode *node, guint16 control_id, guint16 chan,
                             int max_count, double value, VornWaveOp op)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));
  g_return_if_fail (VORN_IS_NODE (node));
  VORN_SYNTH_GET_CLASS (synth)->set_node_control (synth, node, control_id, chan, max_count,
                                                  value, op);
}

void
vorn_synth_set_inst_control (VornSynth *synth, guint16 control_id, int chan, int max_count,
                             double value, VornWaveOp op)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));
  VornSynthPrivate *priv = vorn_synth_get_private (synth);
  g_return_if_fail (chan >= 0 && chan < priv->chanCount);

  g_rec_mutex_lock (&priv->api_lock);
  if (VornInst *inst = channel_inst (priv, chan))
    VORN_SYNTH_GET_CLASS (synth)->set_node_control (synth, VORN_NODE (inst), control_id,
                                                    guint16 (chan), max_count, value, op);
  g_rec_mutex_unlock (&priv->api_lock);
}

void
vorn_synth_panic (VornSynth *synth)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));
  VornSynthPrivate *priv = vorn_synth_get_private (synth);
  /* Every voice ends: their keys must not stop later voices. */
  g_rec_mutex_lock (&priv->api_lock);
  g_hash_table_remove_all (priv->voice_map);
  VORN_SYNTH_GET_CLASS (synth)->panic (synth);
  g_rec_mutex_unlock (&priv->api_lock);
}

void
vorn_synth_tap_pause (VornSynth *synth, gboolean pause)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));
  VORN_SYNTH_GET_CLASS (synth)->tap_pause (synth, pause);
}

int
vorn_synth_inst_get_control_id (VornInst *inst, VornWave *ctrl)
{
  g_return_val_if_fail (VORN_IS_INST (inst), -1);
  g_return_val_if_fail (VORN_IS_WAVE (ctrl), -1);

  int id = vorn_queue_node_get_control_id (VORN_NODE (inst), ctrl);
  return id < 0 ? -1 : id + 3;
}

VornSynthMsg *
vorn_synth_msg_new (VornSynthMsgType type)
{
  VornSynthMsg *msg = g_slice_new0 (VornSynthMsg);
  msg->type = guint8 (type);
  return msg;
}

void
vorn_synth_msg_free (VornSynthMsg *msg)
{
  g_return_if_fail (msg != NULL);

  if (msg->type == VORN_SYNTH_MSG_START_VOICE && msg->start_voice.queue)
    g_object_unref (msg->start_voice.queue);
  else if (msg->type == VORN_SYNTH_MSG_UPDATE_OPTIMIZATION && msg->update_optimization.queue)
    g_object_unref (msg->update_optimization.queue);
  g_slice_free (VornSynthMsg, msg);
}

gboolean
vorn_synth_send_message (VornSynth *synth, VornSynthMsg *msg)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), FALSE);
  g_return_val_if_fail (msg != NULL, FALSE);
  VornSynthPrivate *priv = vorn_synth_get_private (synth);
  if (vorn_synth_ring_push (priv->inbox, msg))
    return TRUE;
  vorn_synth_post_outbox (priv, msg);
  return FALSE;
}

VornSynthMsg *
vorn_synth_get_message (VornSynth *synth)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), NULL);
  return vorn_synth_ring_pop (vorn_synth_get_private (synth)->outbox);
}

guint
vorn_synth_get_dropped_messages (VornSynth *synth)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), 0);
  return guint (g_atomic_int_get (&vorn_synth_get_private (synth)->dropped));
}

guint64
vorn_synth_get_sample_time (VornSynth *synth)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), 0);
  return __atomic_load_n (&vorn_synth_get_private (synth)->sample_time, __ATOMIC_ACQUIRE);
}

guint64
vorn_synth_advance_sample_time (VornSynth *synth, guint frames)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), 0);
  return __atomic_add_fetch (&vorn_synth_get_private (synth)->sample_time, guint64 (frames), __ATOMIC_ACQ_REL);
}

void
vorn_synth_voice_stats (VornSynth *synth, guint *active, guint *peak, gboolean reset_peak)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));
  VornSynthPrivate *priv = vorn_synth_get_private (synth);

  if (active)
    *active = guint (g_atomic_int_get (&priv->active_voices));
  if (peak)
    *peak = guint (reset_peak ? g_atomic_int_exchange (&priv->peak_voices, 0)
                              : g_atomic_int_get (&priv->peak_voices));
  else if (reset_peak)
    g_atomic_int_set (&priv->peak_voices, 0);
}

guint
vorn_synth_get_device_id (VornSynth *synth)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), 0);
  return guint (g_atomic_int_add (&vorn_synth_get_private (synth)->next_device_id, 1));
}

void
vorn_synth_read_peak_levels (VornSynth *synth, guint32 *levels, int count)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));
  g_return_if_fail (levels != NULL);
  VornSynthPrivate *priv = vorn_synth_get_private (synth);

  const int held = priv->peak_levels ? int (priv->started_speakers) : 0;
  for (int i = 0; i < count; i++)
    levels[i] = i < held
      ? guint32 (g_atomic_int_exchange (reinterpret_cast<gint *> (&priv->peak_levels[i]), 0))
      : 0;
}

guint
vorn_synth_get_speaker_curves (VornSynth *synth, VornCurve ***balance, VornCurve ***latitude)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), 0);
  VornSynthPrivate *priv = vorn_synth_get_private (synth);

  if (balance)
    *balance = priv->balance_curves;
  if (latitude)
    *latitude = priv->latitude_curves;
  return priv->balance_curves ? priv->started_speakers : 0;
}

void
vorn_synth_get_render_funcs (VornSynth *synth, gpointer *split_slot, gpointer *inter_slot)
{
  if (split_slot)
    *split_slot = nullptr;
  if (inter_slot)
    *inter_slot = nullptr;
  g_return_if_fail (VORN_IS_SYNTH (synth));

  VornSynthClass *klass = VORN_SYNTH_GET_CLASS (synth);
  if (klass->get_render_funcs)
    klass->get_render_funcs (synth, split_slot, inter_slot);
}

double
vorn_util_midi_note_freq (guint8 note)
{
  return std::exp ((int (note) - 69) * (1.0 / 12.0) * G_LN2) * 440.0;
}
