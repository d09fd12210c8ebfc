/* vorn-synth-notes.cpp: notes played on the render thread at their frame:
 * the voices compiled ahead on the API thread for each channel, and the
 * note events a render call brings, waiting for the fragment they start in */
#include "vorn-synth-cpu.h"
#include "vorn-synth-cpu-private.h"
#include "vorn-queue-private.h"

#include "vorn-inst.h"
#include "vorn-render-context.h"

#include <cmath>
#include <cstring>

/* Prepared voices per channel: a chord of this many notes plays within one
 * block before the API thread has to compile more. */
constexpr guint POOL_DEPTH = 16;

/* ---- API thread --------------------------------------------------------- */

void
vorn_synth_cpu_pools_setup (VornSynthCpuPrivate *priv)
{
  const guint chans = priv->rt->chan_count;
  priv->pool_depth = MIN (POOL_DEPTH, MAX (priv->base->max_voices, 1u));
  priv->pools = g_new0 (VornSynthPool, MAX (chans, 1u));
  /* Room for one set of stale entries (and more) besides a fresh one. */
  for (guint c = 0; c < chans; c++)
    {
      priv->pools[c].cap = 4 * priv->pool_depth;
      priv->pools[c].slots = g_new0 (VornSynthPrepared, priv->pools[c].cap);
    }
  priv->rt->timed = g_new0 (VornSynthTimedEvent, VORN_SYNTH_CPU_TIMED_EVENTS);
  priv->rt->timed_count = 0;
  priv->base->prepared_serial = vorn_util_edit_serial () - 1;
}

void
vorn_synth_cpu_pools_teardown (VornSynthCpuPrivate *priv)
{
  if (priv->pools)
    for (guint c = 0; c < priv->rt->chan_count; c++)
      {
        VornSynthPool *pool = &priv->pools[c];
        for (guint i = pool->tail; i != pool->head; i++)
          vorn_synth_msg_free (pool->slots[i % pool->cap].msg);
        g_free (pool->slots);
        g_clear_object (&pool->inst);
      }
  g_clear_pointer (&priv->pools, g_free);
  g_clear_pointer (&priv->rt->timed, g_free);
  priv->rt->timed_count = 0;
}

static double
root_freq (VornInst *inst)
{
  double root = vorn_inst_get_root_note (inst);
  if (!std::isfinite (root))
    root = 0;
  root = std::fmod (std::trunc (root), 256.0);
  return vorn_util_midi_note_freq (guint8 (root < 0 ? root + 256 : root));
}

/* Compiles fresh voices for one channel until it has its depth of them. */
static void
fill_pool (VornSynthCpuPrivate *priv, guint chan, guint serial)
{
  VornSynthPrivate *base = priv->base;
  VornSynthPool *pool = &priv->pools[chan];
  VornInst *inst = base->channel_insts ? base->channel_insts[chan] : nullptr;

  if (inst != pool->inst || serial != pool->serial)
    {
      g_set_object (&pool->inst, inst);
      /* Stored before the entries it marks fresh are published. */
      g_atomic_int_set (reinterpret_cast<gint *> (&pool->serial), gint (serial));
    }
  if (!inst)
    return;

  const double freq = root_freq (inst);
  for (;;)
    {
      const guint tail = guint (g_atomic_int_get (reinterpret_cast<gint *> (&pool->tail)));
      guint fresh = 0;
      for (guint i = tail; i != pool->head; i++)
        if (pool->slots[i % pool->cap].serial == serial)
          fresh++;
      if (fresh >= priv->pool_depth || pool->head - tail >= pool->cap)
        return;
      VornQueue *queue = vorn_queue_new_with_context (VORN_NODE (inst), priv->synth, &base->context);
      if (!queue)
        return;
      VornSynthMsg *msg = vorn_synth_msg_new (VORN_SYNTH_MSG_START_VOICE);
      msg->start_voice.queue = queue;
      msg->start_voice.channel = guint16 (chan);
      pool->slots[pool->head % pool->cap] = { msg, freq, serial };
      g_atomic_int_set (reinterpret_cast<gint *> (&pool->head), gint (pool->head + 1));
    }
}

void
vorn_synth_prepare_voices (VornSynth *synth)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));
  if (!VORN_IS_SYNTH_CPU (synth))
    return;
  VornSynthCpuPrivate *priv = vorn_synth_cpu_get_private (synth);
  VornSynthPrivate *base = priv->base;

  g_rec_mutex_lock (&base->api_lock);
  g_atomic_int_set (&base->want_prepare, 0);
  if (base->started && priv->pools)
    {
      const guint serial = vorn_util_edit_serial ();
      base->prepared_serial = serial;
      for (guint c = 0; c < priv->rt->chan_count; c++)
        fill_pool (priv, c, serial);
    }
  g_rec_mutex_unlock (&base->api_lock);
}

guint
vorn_synth_get_event_overflow (VornSynth *synth)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), 0);
  return guint (g_atomic_int_get (&vorn_synth_get_private (synth)->event_overflow));
}

/* ---- render thread ------------------------------------------------------ */

static inline void
count_lost (VornSynthCpuPrivate *priv)
{
  g_atomic_int_inc (&priv->base->event_overflow);
}

/* Returns stale entries at the front of @pool to the API thread, while
 * there is room to. */
static void
drop_stale (VornSynthCpuPrivate *priv, VornSynthPool *pool)
{
  const guint head = guint (g_atomic_int_get (reinterpret_cast<gint *> (&pool->head)));
  const guint serial = guint (g_atomic_int_get (reinterpret_cast<gint *> (&pool->serial)));
  guint tail = pool->tail;
  while (tail != head && pool->slots[tail % pool->cap].serial != serial
         && vorn_synth_render_room (priv->base))
    {
      vorn_synth_render_send (priv->base, pool->slots[tail % pool->cap].msg);
      tail++;
    }
  if (tail != pool->tail)
    {
      g_atomic_int_set (reinterpret_cast<gint *> (&pool->tail), gint (tail));
      g_atomic_int_set (&priv->base->want_prepare, 1);
    }
}

/* Takes the next fresh prepared voice of @chan.  FALSE: none left. */
static gboolean
take_prepared (VornSynthCpuPrivate *priv, guint chan, VornSynthPrepared *out)
{
  VornSynthPool *pool = &priv->pools[chan];
  drop_stale (priv, pool);
  const guint head = guint (g_atomic_int_get (reinterpret_cast<gint *> (&pool->head)));
  if (pool->tail == head)
    return FALSE;
  *out = pool->slots[pool->tail % pool->cap];
  g_atomic_int_set (reinterpret_cast<gint *> (&pool->tail), gint (pool->tail + 1));
  g_atomic_int_set (&priv->base->want_prepare, 1);
  /* Wakes the outbox source, which compiles the next one. */
  priv->base->rt->pushed = TRUE;
  return TRUE;
}

static void
release_key (VornSynthCpuPrivate *priv, guint32 key, guint32 mask)
{
  VornSynthCpuVoice *voices = priv->rt->voices;
  for (guint16 idx = priv->rt->active_head; idx != VORN_SYNTH_CPU_NO_VOICE; idx = voices[idx].next)
    if (voices[idx].note_key && (voices[idx].note_key & mask) == key)
      {
        voices[idx].note_key = 0;
        if (voices[idx].queue->active)
          vorn_queue_note_off (voices[idx].queue, voices[idx].voice_id);
        if (mask == G_MAXUINT32)
          return;
      }
}

static void
note_on (VornSynthCpuPrivate *priv, guint chan, guint8 note, guint8 velocity, guint lead)
{
  VornSynthPrepared prep;
  if (!take_prepared (priv, chan, &prep))
    {
      count_lost (priv);
      return;
    }
  VornSynthMsg *msg = prep.msg;
  VornQueue *queue = msg->start_voice.queue;
  const guint voice_id = guint (g_atomic_int_add (&priv->base->next_voice_id, 1));
  msg->start_voice.voice_id = voice_id;
  queue->voice_id = voice_id;
  queue->note = note;
  vorn_queue_set_control (queue, VORN_QUEUE_CONTROL_PITCH,
                          vorn_util_midi_note_freq (note) / prep.root_freq, VORN_WAVE_OP_SET);
  vorn_queue_set_control (queue, VORN_QUEUE_CONTROL_VOLUME, velocity * (1.0 / 127.0),
                          VORN_WAVE_OP_SET);
  vorn_queue_set_start_offset (queue, lead);

  /* A held key pressed again ends its voice first, as a note-off would. */
  const guint32 key = (1u << 16) | (chan << 8) | note;
  release_key (priv, key, G_MAXUINT32);
  if (!vorn_synth_cpu_accept_voice (priv, msg))
    {
      vorn_synth_render_send (priv->base, msg);
      count_lost (priv);
      return;
    }
  priv->rt->voices[priv->rt->active_head].note_key = key;
}

static void
apply_event (VornSynthCpuPrivate *priv, const VornSynthTimedEvent *ev, guint lead)
{
  const guint chan = ev->data[0] & 0x0f;
  const guint8 kind = ev->data[0] & 0xf0;
  if (chan >= priv->rt->chan_count)
    return;
  const guint32 key = (1u << 16) | (chan << 8) | (ev->data[1] & 0x7f);
  if (kind == 0x90 && ev->data[2])
    note_on (priv, chan, ev->data[1] & 0x7f, ev->data[2] & 0x7f, lead);
  else if (kind == 0x80 || kind == 0x90)
    release_key (priv, key, G_MAXUINT32);
  else if (kind == 0xb0 && (ev->data[1] == 120 || ev->data[1] == 123))
    release_key (priv, key & 0x1ff00u, 0x1ff00u);
}

void
vorn_synth_cpu_take_events (VornSynthCpuPrivate *priv, guint64 call_time, guint frames)
{
  VornSynthRender *brt = priv->base->rt;
  const VornSynthEvent *events = brt->events;
  const guint n = brt->n_events;
  brt->events = nullptr;
  brt->n_events = 0;
  VornSynthCpuRender *rt = priv->rt;
  if (!rt->timed)
    return;

  for (guint i = 0; i < n; i++)
    {
      const VornSynthEvent *e = &events[i];
      const guint8 kind = e->size >= 3 ? e->data[0] & 0xf0 : 0;
      if (kind != 0x80 && kind != 0x90 && kind != 0xb0)
        continue;
      if (rt->timed_count == VORN_SYNTH_CPU_TIMED_EVENTS)
        {
          count_lost (priv);
          continue;
        }
      const guint frame = frames ? MIN (e->frame, frames - 1) : 0;
      VornSynthTimedEvent ev = { call_time + frame + VORN_SYNTH_EVENT_LATENCY,
                                 { e->data[0], e->data[1], e->data[2] } };
      /* In time order; events come sorted, so this rarely moves any. */
      guint at = rt->timed_count;
      while (at > 0 && rt->timed[at - 1].time > ev.time)
        at--;
      memmove (rt->timed + at + 1, rt->timed + at, (rt->timed_count - at) * sizeof ev);
      rt->timed[at] = ev;
      rt->timed_count++;
    }
}

void
vorn_synth_cpu_apply_events (VornSynthCpuPrivate *priv, guint64 frag_time)
{
  VornSynthCpuRender *rt = priv->rt;
  if (priv->pools)
    for (guint c = 0; c < rt->chan_count; c++)
      drop_stale (priv, &priv->pools[c]);
  guint done = 0;
  while (done < rt->timed_count && rt->timed[done].time < frag_time + VORN_FRAGMENT_SIZE)
    {
      const VornSynthTimedEvent *ev = &rt->timed[done++];
      apply_event (priv, ev, ev->time > frag_time ? guint (ev->time - frag_time) : 0);
    }
  if (done)
    {
      rt->timed_count -= done;
      memmove (rt->timed, rt->timed + done, rt->timed_count * sizeof *rt->timed);
    }
}

/* ---- render API ----------------------------------------------------------- */

void
vorn_synth_render_events_interleaved (VornSynth *synth, float *out, guint frames,
                                      const VornSynthEvent *events, guint n_events)
{
  g_return_if_fail (synth != NULL && out != NULL);
  VornSynthRender *rt = vorn_synth_render_get_private (synth)->rt;
  rt->events = events;
  rt->n_events = events ? n_events : 0;
  vorn_synth_render_interleaved (synth, out, frames);
  rt->events = nullptr;
  rt->n_events = 0;
}

void
vorn_synth_render_events_split (VornSynth *synth, float **out, guint frames,
                                const VornSynthEvent *events, guint n_events)
{
  g_return_if_fail (synth != NULL && out != NULL);
  VornSynthRender *rt = vorn_synth_render_get_private (synth)->rt;
  rt->events = events;
  rt->n_events = events ? n_events : 0;
  vorn_synth_render_split (synth, out, frames);
  rt->events = nullptr;
  rt->n_events = 0;
}
