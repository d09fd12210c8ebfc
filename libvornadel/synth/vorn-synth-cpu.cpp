/* vorn-synth-cpu.cpp: the processor renderer's synthesizer: voice table,
 * message handling on the render thread and render function selection */
#include "vorn-synth-cpu.h"
#include "vorn-synth-cpu-private.h"
#include "vorn-queue-private.h"
#include "vorn-kernel-table.h"

#include "vorn-init.h"
#include "vorn-inst.h"
#include "vorn-render-context.h"

#include <cmath>
#include <cstring>

enum {
  PROP_0,
  PROP_AUDIO_FORMAT,
  PROP_CORES,
  PROP_SIMD,
  PROP_SIMD_CURRENT,
  PROP_SIMD_DETECTED,
  PROP_PREPARED_VOICES,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

G_DEFINE_TYPE_WITH_PRIVATE (VornSynthCpu, vorn_synth_cpu, VORN_TYPE_SYNTH)

const VornSynthCpuSplitFunc vorn_synth_cpu_render_split_float_table[VORN_SYNTH_CPU_RENDER_TABLE_SIZE] = {
  vorn_synth_cpu_render_split_float_SSE2_F,   vorn_synth_cpu_render_split_float_AVX_F,
  vorn_synth_cpu_render_split_float_AVX2_F,   vorn_synth_cpu_render_split_float_AVX512_F,
  vorn_synth_cpu_render_split_float_SSE2_D,   vorn_synth_cpu_render_split_float_AVX_D,
  vorn_synth_cpu_render_split_float_AVX2_D,   vorn_synth_cpu_render_split_float_AVX512_D,
};

const VornSynthCpuInterFunc vorn_synth_cpu_render_inter_float_table[VORN_SYNTH_CPU_RENDER_TABLE_SIZE] = {
  vorn_synth_cpu_render_inter_float_SSE2_F,   vorn_synth_cpu_render_inter_float_AVX_F,
  vorn_synth_cpu_render_inter_float_AVX2_F,   vorn_synth_cpu_render_inter_float_AVX512_F,
  vorn_synth_cpu_render_inter_float_SSE2_D,   vorn_synth_cpu_render_inter_float_AVX_D,
  vorn_synth_cpu_render_inter_float_AVX2_D,   vorn_synth_cpu_render_inter_float_AVX512_D,
};

/* What the renderer chooses from, best first (the tables above keep the
 * index order of the public interface). */
static const VornKernelVariant<VornSynthCpuSplitFunc> split_variants[] = {
  VORN_KERNEL_VARIANTS (vorn_synth_cpu_render_split_float),
};
static const VornKernelVariant<VornSynthCpuInterFunc> inter_variants[] = {
  VORN_KERNEL_VARIANTS (vorn_synth_cpu_render_inter_float),
};

/* Sets the render functions for @format and @level (render part: at start,
 * or on the render thread when an update arrives). */
static void
pick_render_funcs (VornSynthCpuPrivate *priv, VornFormat format, VornSimd level)
{
  priv->rt->render_split = vorn_kernel_pick (split_variants, format, level);
  priv->rt->render_inter = vorn_kernel_pick (inter_variants, format, level);
}

static VornSynthCpuPrivate *
get_priv (VornSynthCpu *synth)
{
  return static_cast<VornSynthCpuPrivate *> (vorn_synth_cpu_get_instance_private (synth));
}

VornSynthCpuPrivate *
vorn_synth_cpu_get_private (VornSynth *synth)
{
  /* Plain offset arithmetic: the render path must not run type checks. */
  return get_priv (reinterpret_cast<VornSynthCpu *> (synth));
}

static VornSimd
current_simd (VornSynthCpuPrivate *priv)
{
  gint simd = g_atomic_int_get (&priv->simd);
  return VornSimd (simd == VORN_SIMD_AUTO ? priv->simd_detected : simd);
}

/* ---- render thread helpers ---------------------------------------------- */

/* The audio callback thread is not ours, so its floating-point mode is set
 * the first time it renders.  Initial-exec TLS never allocates. */
static __thread gboolean ftz_daz_done __attribute__ ((tls_model ("initial-exec")));

void
vorn_synth_cpu_render_enter (VornSynthCpuPrivate *)
{
  if (G_UNLIKELY (!ftz_daz_done))
    {
      vorn_util_set_ftz_daz ();
      ftz_daz_done = TRUE;
    }
}

guint64
vorn_synth_cpu_advance_time (VornSynthCpuPrivate *priv, guint frames)
{
  return __atomic_add_fetch (&priv->base->sample_time, guint64 (frames), __ATOMIC_SEQ_CST);
}

void
vorn_synth_cpu_store_peak (VornSynthCpuPrivate *priv, guint speaker, float peak)
{
  /* Non-negative floats order like their bit patterns, so the words are
   * compared as integers.  The reader swaps them with 0 concurrently. */
  guint32 bits;
  memcpy (&bits, &peak, sizeof bits);
  guint32 *word = priv->base->peak_levels + speaker;
  guint32 old = __atomic_load_n (word, __ATOMIC_RELAXED);
  while (bits > old)
    if (__atomic_compare_exchange_n (word, &old, bits, TRUE, __ATOMIC_RELAXED, __ATOMIC_RELAXED))
      break;
}

static inline void
send_back (VornSynthCpuPrivate *priv, VornSynthMsg *msg)
{
  vorn_synth_render_send (priv->base, msg);
}

static void
list_unlink (VornSynthCpuPrivate *priv, guint16 idx, guint16 *head)
{
  VornSynthCpuVoice *v = priv->rt->voices + idx;
  if (v->prev != VORN_SYNTH_CPU_NO_VOICE)
    priv->rt->voices[v->prev].next = v->next;
  else
    *head = v->next;
  if (v->next != VORN_SYNTH_CPU_NO_VOICE)
    priv->rt->voices[v->next].prev = v->prev;
  v->prev = v->next = VORN_SYNTH_CPU_NO_VOICE;
}

static void
list_push_front (VornSynthCpuPrivate *priv, guint16 idx, guint16 *head)
{
  VornSynthCpuVoice *v = priv->rt->voices + idx;
  v->prev = VORN_SYNTH_CPU_NO_VOICE;
  v->next = *head;
  if (*head != VORN_SYNTH_CPU_NO_VOICE)
    priv->rt->voices[*head].prev = idx;
  *head = idx;
}

/* Frees one active entry and hands its start-voice message (with the voice
 * queue) back to the application.  The queue must be detached already. */
static void
release_voice (VornSynthCpuPrivate *priv, guint16 idx)
{
  VornSynthCpuVoice *v = priv->rt->voices + idx;
  VornSynthMsg *msg = v->msg;

  v->note_key = 0;
  if (v->release_time != G_MAXUINT64)
    priv->rt->pending_releases--;
  v->release_time = G_MAXUINT64;
  list_unlink (priv, idx, &priv->rt->active_head);
  v->msg = nullptr;
  v->queue = nullptr;
  v->voice_id = 0;
  list_push_front (priv, idx, &priv->rt->free_head);
  g_atomic_int_add (&priv->base->active_voices, -1);
  send_back (priv, msg);
}

static void
release_all_voices (VornSynthCpuPrivate *priv)
{
  if (priv->base->rt->master)
    vorn_queue_detach_all (priv->base->rt->master);
  while (priv->rt->active_head != VORN_SYNTH_CPU_NO_VOICE)
    release_voice (priv, priv->rt->active_head);
}

void
vorn_synth_cpu_recycle_voices (VornSynthCpuPrivate *priv)
{
  guint16 idx = priv->rt->active_head;
  while (idx != VORN_SYNTH_CPU_NO_VOICE)
    {
      guint16 next = priv->rt->voices[idx].next;
      if (!priv->rt->voices[idx].queue->active)
        {
          /* No room to return it: the slot waits for the next call. */
          if (!vorn_synth_render_room (priv->base))
            break;
          release_voice (priv, idx);
        }
      idx = next;
    }
}

static guint16
find_voice (VornSynthCpuPrivate *priv, guint32 voice_id)
{
  for (guint16 idx = priv->rt->active_head; idx != VORN_SYNTH_CPU_NO_VOICE; idx = priv->rt->voices[idx].next)
    if (priv->rt->voices[idx].voice_id == voice_id)
      return idx;
  return VORN_SYNTH_CPU_NO_VOICE;
}

/* Places a voice in a free slot and attaches it.  FALSE: refused (the
 * caller returns the message); a voice is never stolen. */
static gboolean
accept_voice (VornSynthCpuPrivate *priv, VornSynthMsg *msg)
{
  VornSynthPrivate *base = priv->base;
  VornQueue *master = base->rt->master;
  VornQueue *queue = msg->start_voice.queue;
  const guint chan = msg->start_voice.channel;

  /* Buffers of another format cannot be summed into the master's. */
  if (!queue || queue->format != master->format || chan >= priv->rt->chan_count
      || priv->rt->free_head == VORN_SYNTH_CPU_NO_VOICE)
    return FALSE;

  guint16 idx = priv->rt->free_head;
  list_unlink (priv, idx, &priv->rt->free_head);
  VornSynthCpuVoice *v = priv->rt->voices + idx;
  v->voice_id = msg->start_voice.voice_id;
  v->chan = guint8 (chan);
  v->msg = msg;
  v->queue = queue;
  v->note_key = 0;
  v->release_time = G_MAXUINT64;
  v->release_delay = 0;

  vorn_queue_attach (master, queue, int (chan));
  queue->start_time = __atomic_load_n (&base->sample_time, __ATOMIC_SEQ_CST);
  list_push_front (priv, idx, &priv->rt->active_head);

  gint count = g_atomic_int_add (&base->active_voices, 1) + 1;
  gint peak = g_atomic_int_get (&base->peak_voices);
  if (count > peak)
    (void) g_atomic_int_compare_and_exchange (&base->peak_voices, peak, count);
  return TRUE;
}

gboolean
vorn_synth_cpu_accept_voice (VornSynthCpuPrivate *priv, VornSynthMsg *msg)
{
  return priv->base->rt->master && accept_voice (priv, msg);
}

static void
set_node_control (VornSynthCpuPrivate *priv, const VornSynthMsg *msg)
{
  const VornSynthMsgSetNodeControl *p = &msg->set_node_control;
  guint limit = p->max_count;
  for (guint16 idx = priv->rt->active_head; idx != VORN_SYNTH_CPU_NO_VOICE; idx = priv->rt->voices[idx].next)
    {
      const VornSynthCpuVoice *v = priv->rt->voices + idx;
      if (v->queue->node != p->node || (p->chan_filter != VORN_SYNTH_MSG_ALL_CHANNELS && p->chan_filter != v->chan))
        continue;
      vorn_queue_set_control (v->queue, p->control_id, p->value, VornWaveOp (p->op));
      if (limit == 1)
        break;
      if (limit)
        limit--;
    }
}

/* Render thread: takes over the master in @msg and puts the one it replaces
 * in its place, for the API thread to free.  Voices move along when only
 * the core count changed; a new format or level needs new voice queues
 * (generators pick their variant when made), so they are released then. */
static void
apply_update (VornSynthCpuPrivate *priv, VornSynthMsg *msg)
{
  VornSynthPrivate *base = priv->base;
  VornSynthMsgUpdateOptimization *p = &msg->update_optimization;
  VornQueue *master = p->queue;
  VornQueue *old = base->rt->master;
  if (!master)
    return;

  if (p->release_voices)
    release_all_voices (priv);
  else
    {
      for (guint16 idx = priv->rt->active_head; idx != VORN_SYNTH_CPU_NO_VOICE;
           idx = priv->rt->voices[idx].next)
        priv->rt->voices[idx].moving = priv->rt->voices[idx].queue->active;
      if (old)
        vorn_queue_detach_all (old);
      for (guint16 idx = priv->rt->active_head; idx != VORN_SYNTH_CPU_NO_VOICE;
           idx = priv->rt->voices[idx].next)
        if (priv->rt->voices[idx].moving)
          vorn_queue_attach (master, priv->rt->voices[idx].queue, int (priv->rt->voices[idx].chan));
    }

  master->tap_mode = base->rt->tap_paused ? VORN_QUEUE_TAP_MODE_PAUSED : VORN_QUEUE_TAP_MODE_ACTIVE;
  if (old)
    master->start_time = old->start_time;
  base->rt->master = master;
  base->rt->speaker_outputs = vorn_queue_get_speaker_outputs (master);
  priv->rt->out_count = p->out_count;
  pick_render_funcs (priv, VornFormat (p->format), VornSimd (p->simd));
  vorn_synth_cpu_apply_bends (priv);
  p->queue = old;
}

void
vorn_synth_cpu_process_messages (VornSynthCpuPrivate *priv)
{
  VornSynthPrivate *base = priv->base;
  VornSynthMsg *msg;

  while ((msg = vorn_synth_render_next (base)))
    {
      VornQueue *master = base->rt->master;
      switch (msg->type)
        {
        case VORN_SYNTH_MSG_START_VOICE:
          if (master && accept_voice (priv, msg))
            continue; /* the message lives in the voice entry */
          break;
        case VORN_SYNTH_MSG_STOP_VOICE:
          {
            guint16 idx = find_voice (priv, msg->stop_voice.voice_id);
            if (idx != VORN_SYNTH_CPU_NO_VOICE && priv->rt->voices[idx].queue->active)
              vorn_queue_note_off (priv->rt->voices[idx].queue, msg->stop_voice.voice_id);
          }
          break;
        case VORN_SYNTH_MSG_SET_CONTROL:
          if (master)
            vorn_queue_set_control (master, msg->set_control.control_id, msg->set_control.value,
                                    VORN_WAVE_OP_SET);
          break;
        case VORN_SYNTH_MSG_SET_VOICE_CONTROL:
          {
            const VornSynthMsgSetVoiceControl *p = &msg->set_voice_control;
            guint16 idx = find_voice (priv, p->voice_id);
            if (idx != VORN_SYNTH_CPU_NO_VOICE)
              vorn_queue_set_control (priv->rt->voices[idx].queue, p->control_id, p->value,
                                      VORN_WAVE_OP_SET);
          }
          break;
        case VORN_SYNTH_MSG_SET_NODE_CONTROL:
          set_node_control (priv, msg);
          break;
        case VORN_SYNTH_MSG_PANIC:
          release_all_voices (priv);
          break;
        case VORN_SYNTH_MSG_TAP_PAUSE:
          {
            gboolean pause = msg->tap_pause.pause != FALSE;
            if (pause != base->rt->tap_paused)
              {
                base->rt->tap_paused = pause;
                if (master)
                  master->tap_mode = pause ? VORN_QUEUE_TAP_MODE_PAUSED
                                           : VORN_QUEUE_TAP_MODE_CLEAR;
              }
          }
          break;
        case VORN_SYNTH_MSG_UPDATE_OPTIMIZATION:
          apply_update (priv, msg);
          break;
        default:
          break;
        }
      send_back (priv, msg);
    }
}

void
vorn_synth_cpu_process_synth_messages (VornSynth *synth)
{
  g_return_if_fail (VORN_IS_SYNTH_CPU (synth));

  VornSynthCpuPrivate *priv = vorn_synth_cpu_get_private (synth);
  if (priv->rt->voices)
    {
      vorn_synth_cpu_process_messages (priv);
      vorn_synth_render_wake (priv->base);
    }
}

void
vorn_synth_cpu_detach_voices (VornSynth *synth)
{
  g_return_if_fail (VORN_IS_SYNTH_CPU (synth));

  VornSynthCpuPrivate *priv = vorn_synth_cpu_get_private (synth);
  if (priv->rt->voices)
    {
      vorn_synth_cpu_recycle_voices (priv);
      vorn_synth_render_wake (priv->base);
    }
}

/* ---- class operations (application thread) ------------------------------ */

/* API thread: builds a master for the current format, level and cores when
 * they differ from what the newest master was built with (or @initial),
 * and hands it to the render thread.  Compiling allocates, makes generators
 * and may start worker threads, which is why it never happens there.  The
 * first build fails when the system refuses a render thread; later ones
 * render on the threads there are and log why. */
static gboolean
build_master (VornSynthCpuPrivate *priv, gboolean initial, GError **error)
{
  VornSynthPrivate *base = priv->base;
  if (!base->started || !base->node_tree)
    return TRUE;

  const VornRenderContext *ctx = &base->context;
  const gint format = gint (ctx->format);
  const guint cores = ctx->cores;
  const gint level = CLAMP (gint (ctx->simd), 0, gint (VORN_SIMD_AVX512));
  if (!initial && format == priv->built_format && level == priv->built_level
      && cores == priv->built_cores)
    return TRUE;
  const gboolean release = !initial && (format != priv->built_format || level != priv->built_level);

  /* Compiled for one core, then given its threads, to hear why they fail. */
  VornRenderContext one_core = *ctx;
  one_core.cores = 1;
  VornQueue *master = vorn_queue_new_with_context (base->node_tree, priv->synth, &one_core);
  if (!master)
    return TRUE;
  if (!vorn_queue_set_cpu_cores (master, cores, initial ? error : nullptr) && initial)
    {
      g_object_unref (master);
      return FALSE;
    }
  vorn_synth_apply_master_controls (base, master);

  VornAttribVal *outputs = nullptr;
  for (VornGen *gen = vorn_queue_get_gens (master); gen; gen = gen->next)
    if (gen->node == base->speakers_wave && gen->dest_count)
      {
        outputs = gen->attrib_vals[gen->src_count];
        break;
      }
  vorn_queue_set_speaker_outputs (master, outputs);
  const guint out_count = outputs ? MIN (priv->rt->speakers, guint (master->speaker_count)) : 0;

  priv->built_format = format;
  priv->built_level = level;
  priv->built_cores = cores;
  g_set_object (&base->master_queue, master);

  if (initial)
    {
      master->tap_mode = VORN_QUEUE_TAP_MODE_ACTIVE;
      base->rt->tap_paused = FALSE;
      vorn_synth_render_setup (base, master, CLAMP (base->max_voices, 1u, 65535u));
      base->rt->speaker_outputs = outputs;
      priv->rt->out_count = out_count;
      pick_render_funcs (priv, VornFormat (format), VornSimd (level));
      g_object_unref (master);
    }
  else
    {
      VornSynthMsg *msg = vorn_synth_msg_new (VORN_SYNTH_MSG_UPDATE_OPTIMIZATION);
      VornSynthMsgUpdateOptimization *p = &msg->update_optimization;
      p->queue = master; /* the message takes the build's reference */
      p->format = guint8 (format);
      p->simd = guint8 (level);
      p->out_count = guint16 (out_count);
      p->release_voices = release ? TRUE : FALSE;
      /* Refused (inbox full): the next change builds again. */
      if (!vorn_synth_send_message (priv->synth, msg))
        priv->built_format = -1;
    }
  g_object_notify (G_OBJECT (priv->synth), "master-queue");
  return TRUE;
}

/* Returns all voices to the application and frees the table. */
static void
free_voice_table (VornSynthCpuPrivate *priv)
{
  if (!priv->rt->voices)
    return;
  release_all_voices (priv);
  g_clear_pointer (&priv->rt->voices, g_free);
  priv->rt->active_head = priv->rt->free_head = VORN_SYNTH_CPU_NO_VOICE;
}

static gboolean
vorn_synth_cpu_start (VornSynth *synth, GError **error)
{
  VornSynthCpuPrivate *priv = vorn_synth_cpu_get_private (synth);
  VornSynthPrivate *base = priv->base;

  if (!VORN_SYNTH_CLASS (vorn_synth_cpu_parent_class)->start (synth, error))
    return FALSE;

  const guint count = CLAMP (base->max_voices, 1u, guint (VORN_SYNTH_CPU_NO_VOICE));
  priv->rt->voices = g_new0 (VornSynthCpuVoice, count);
  for (guint i = 0; i < count; i++)
    {
      priv->rt->voices[i].prev = guint16 (i == 0 ? VORN_SYNTH_CPU_NO_VOICE : i - 1);
      priv->rt->voices[i].next = guint16 (i + 1 == count ? VORN_SYNTH_CPU_NO_VOICE : i + 1);
    }
  priv->rt->free_head = 0;
  priv->rt->active_head = VORN_SYNTH_CPU_NO_VOICE;
  /* The sizes the base built its arrays (peak words, instruments) with. */
  priv->rt->speakers = base->started_speakers;
  priv->rt->chan_count = guint (MAX (base->started_channels, 0));
  priv->rt->leftover = 0;
  vorn_synth_cpu_pools_setup (priv);

  if (build_master (priv, TRUE, error))
    {
      vorn_synth_refresh_voices (synth);
      return TRUE;
    }
  VORN_SYNTH_GET_CLASS (synth)->stop (synth);
  return FALSE;
}

static void
vorn_synth_cpu_stop (VornSynth *synth)
{
  VornSynthCpuPrivate *priv = vorn_synth_cpu_get_private (synth);

  free_voice_table (priv);
  vorn_synth_cpu_pools_teardown (priv);
  priv->rt->leftover = 0;
  priv->rt->out_count = 0;
  VORN_SYNTH_CLASS (vorn_synth_cpu_parent_class)->stop (synth);
}

/* Notes are whole MIDI numbers here: truncated toward zero, modulo 256. */
static guint8
note_byte (double note)
{
  if (!std::isfinite (note))
    return 0;
  double n = std::fmod (std::trunc (note), 256.0);
  if (n < 0)
    n += 256.0;
  return guint8 (n);
}

static void
vorn_synth_cpu_start_voice (VornSynth *synth, guint voice_id, int chan, double note, double volume,
                            VornQueue **queue_out)
{
  VornSynthCpuPrivate *priv = vorn_synth_cpu_get_private (synth);
  VornSynthPrivate *base = priv->base;

  if (queue_out)
    *queue_out = nullptr;
  if (!base->started || chan < 0 || chan >= base->started_channels || !base->channel_insts)
    return;
  VornInst *inst = base->channel_insts[chan];
  if (!inst)
    return;

  VornQueue *queue = vorn_queue_new_with_context (VORN_NODE (inst), synth, &base->context);
  if (!queue)
    return;
  queue->voice_id = voice_id;
  queue->note = note_byte (note);

  VornSynthMsg *msg = vorn_synth_msg_new (VORN_SYNTH_MSG_START_VOICE);
  msg->start_voice.queue = queue;
  msg->start_voice.voice_id = voice_id;
  msg->start_voice.channel = guint16 (chan);

  if (base->start_voice_notify)
    {
      VornSynthMsg *notify = vorn_synth_msg_new (VORN_SYNTH_MSG_START_VOICE_NOTIFY);
      notify->start_voice_notify = msg->start_voice;
      notify->start_voice_notify.queue = VORN_QUEUE (g_object_ref (queue));
      vorn_synth_post_outbox (base, notify);
    }
  if (queue_out)
    *queue_out = VORN_QUEUE (g_object_ref (queue));

  const double ratio = vorn_util_midi_note_freq (note_byte (note))
                       / vorn_util_midi_note_freq (note_byte (vorn_inst_get_root_note (inst)));
  vorn_queue_set_control (queue, VORN_QUEUE_CONTROL_PITCH, ratio, VORN_WAVE_OP_SET);
  vorn_queue_set_control (queue, VORN_QUEUE_CONTROL_VOLUME, volume, VORN_WAVE_OP_SET);

  vorn_synth_send_message (synth, msg);
}

static void
vorn_synth_cpu_get_render_funcs (VornSynth *synth, gpointer *split_slot, gpointer *inter_slot)
{
  VornSynthCpuPrivate *priv = vorn_synth_cpu_get_private (synth);

  if (split_slot)
    *split_slot = &priv->rt->render_split;
  if (inter_slot)
    *inter_slot = &priv->rt->render_inter;
}

static void
vorn_synth_cpu_render_interleaved (VornSynth *synth, float *out, guint frames)
{
  vorn_synth_cpu_get_private (synth)->rt->render_inter (synth, out, frames);
}

static void
vorn_synth_cpu_render_split (VornSynth *synth, float **out, guint frames)
{
  vorn_synth_cpu_get_private (synth)->rt->render_split (synth, out, frames);
}

/* A change builds the new master here and posts it; a stopped synthesizer
 * builds with the new settings at its next start. */
static void
post_update (VornSynthCpuPrivate *priv)
{
  g_rec_mutex_lock (&priv->base->api_lock);
  vorn_synth_refresh_render_context (priv->base);
  priv->base->context.simd = current_simd (priv);
  build_master (priv, FALSE, nullptr);
  /* Voices compiled ahead for the old settings would be refused. */
  vorn_util_edit_serial_bump ();
  vorn_synth_refresh_voices (priv->synth);
  g_rec_mutex_unlock (&priv->base->api_lock);
}

static void
vorn_synth_cpu_init (VornSynthCpu *synth)
{
  VornSynthCpuPrivate *priv = get_priv (synth);
  VornSynthPrivate *base = vorn_synth_get_private (VORN_SYNTH (synth));

  priv->synth = VORN_SYNTH (synth);
  priv->base = base;
  priv->rt = g_new0 (VornSynthCpuRender, 1);
  priv->simd = VORN_SIMD_AUTO;
  priv->simd_detected = vorn_util_cpu_detect ();
  priv->prepared_voices = 16;
  priv->bend_range = 2.0;
  for (gint &id : priv->pitch_ids)
    id = -1;
  priv->built_format = -1;
  priv->built_level = -1;
  priv->rt->active_head = priv->rt->free_head = VORN_SYNTH_CPU_NO_VOICE;
  /* A driver that calls before the first start gets silence, not a crash. */
  pick_render_funcs (priv, VORN_FORMAT_SINGLE, VORN_SIMD_SSE2);
  base->cores_detected = guint (CLAMP (g_get_num_processors (), 1u, 255u));
  vorn_synth_refresh_render_context (base);
  base->context.simd = current_simd (priv);
}

static void
vorn_synth_cpu_finalize (GObject *object)
{
  /* The voices go back to the outbox while it still exists. */
  VornSynthCpuPrivate *priv = get_priv (VORN_SYNTH_CPU (object));
  /* Stopped here, not by the base, while the render part still exists. */
  if (priv->base->started)
    vorn_synth_cpu_stop (VORN_SYNTH (object));
  free_voice_table (priv);
  g_clear_pointer (&priv->rt, g_free);

  G_OBJECT_CLASS (vorn_synth_cpu_parent_class)->finalize (object);
}

static void
vorn_synth_cpu_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornSynthCpu *synth = VORN_SYNTH_CPU (object);
  VornSynthCpuPrivate *priv = get_priv (synth);
  VornSynthPrivate *base = priv->base;

  switch (prop_id)
    {
    case PROP_AUDIO_FORMAT:
      g_value_set_enum (value, g_atomic_int_get (&base->format));
      break;
    case PROP_CORES:
      g_value_set_uint (value, guint (g_atomic_int_get (reinterpret_cast<gint *> (&base->cores))));
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
    case PROP_PREPARED_VOICES:
      g_value_set_uint (value, priv->prepared_voices);
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
  VornSynthPrivate *base = priv->base;

  /* Only stored here; the render thread applies the change when the
   * update message reaches it. */
  switch (prop_id)
    {
    case PROP_AUDIO_FORMAT:
      {
        gint format = g_value_get_enum (value);
        if (g_atomic_int_exchange (&base->format, format) != format)
          {
            post_update (priv);
            g_object_notify_by_pspec (object, pspec);
          }
      }
      break;
    case PROP_CORES:
      {
        guint cores = g_value_get_uint (value);
        if (guint (g_atomic_int_exchange (reinterpret_cast<gint *> (&base->cores), gint (cores)))
            != cores)
          {
            post_update (priv);
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
            post_update (priv);
            g_object_notify_by_pspec (object, pspec);
            g_object_notify_by_pspec (object, properties[PROP_SIMD_CURRENT]);
          }
      }
      break;
    case PROP_PREPARED_VOICES:
      if (priv->prepared_voices != g_value_get_uint (value))
        {
          priv->prepared_voices = g_value_get_uint (value);
          g_object_notify_by_pspec (object, pspec);
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
  VornSynthClass *synth_class = VORN_SYNTH_CLASS (klass);

  object_class->finalize = vorn_synth_cpu_finalize;
  object_class->get_property = vorn_synth_cpu_get_property;
  object_class->set_property = vorn_synth_cpu_set_property;

  synth_class->start = vorn_synth_cpu_start;
  synth_class->stop = vorn_synth_cpu_stop;
  synth_class->start_voice = vorn_synth_cpu_start_voice;
  synth_class->get_render_funcs = vorn_synth_cpu_get_render_funcs;
  synth_class->render_interleaved = vorn_synth_cpu_render_interleaved;
  synth_class->render_split = vorn_synth_cpu_render_split;

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
  /* Read at start, as "max-voices" is. */
  properties[PROP_PREPARED_VOICES] =
    g_param_spec_uint ("prepared-voices", "PreparedVoices",
                       "Voices compiled ahead per channel for note events of the render thread",
                       1, 1024, 16, GParamFlags (base | G_PARAM_READWRITE));
  g_object_class_install_property (object_class, PROP_PREPARED_VOICES,
                                   properties[PROP_PREPARED_VOICES]);
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
    *simd = current_simd (vorn_synth_cpu_get_private (synth));
}
