/* vorn-synth-notes.cpp: notes played on the render thread at their frame:
 * the voices compiled ahead on the API thread for each channel, and the
 * note events a render call brings, waiting for the fragment they start in */
#include "vorn-synth-cpu.h"
#include "vorn-synth-cpu-private.h"
#include "vorn-synth-events.h"
#include "vorn-queue-private.h"

#include "vorn-inst.h"
#include "vorn-render-context.h"
#include "vorn-wave.h"

#include <cmath>
#include <cstring>

/* ---- API thread --------------------------------------------------------- */

void
vorn_synth_cpu_pools_setup (VornSynthCpuPrivate *priv)
{
  const guint chans = priv->rt->chan_count;
  /* "prepared-voices": a chord of this many notes plays within one block
   * before the API thread has to compile more. */
  priv->pool_depth = MIN (MAX (priv->prepared_voices, 1u), MAX (priv->base->max_voices, 1u));
  priv->pools = g_new0 (VornSynthPool, MAX (chans, 1u));
  /* Room for one set of stale entries (and more) besides a fresh one. */
  for (guint c = 0; c < chans; c++)
    {
      priv->pools[c].cap = 4 * priv->pool_depth;
      priv->pools[c].slots = g_new0 (VornSynthPrepared, priv->pools[c].cap);
    }
  priv->rt->timed = g_new0 (VornSynthTimedEvent, VORN_SYNTH_CPU_TIMED_EVENTS);
  priv->rt->timed_count = 0;
  priv->rt->sustain = 0;
  priv->rt->pending_releases = 0;
  for (guint c = 0; c < 16; c++)
    {
      priv->rt->bend[c] = 8192;
      priv->rt->wheel[c] = -1;
    }
  priv->rt->bend_range = 2.0;
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
          {
            VornSynthPrepared *p = &pool->slots[i % pool->cap];
            vorn_synth_msg_free (p->msg);
            if (p->notify)
              {
                g_object_unref (p->notify->start_voice_notify.queue);
                vorn_synth_msg_free (p->notify);
              }
          }
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

struct WheelIds {
  VornInst *inst;
  guint16 ids[VORN_SYNTH_CPU_WHEEL_IDS];
  guint count;
};

static gboolean
collect_wheel_id (VornNode *node, gpointer data)
{
  auto *w = static_cast<WheelIds *> (data);
  if (w->count < VORN_SYNTH_CPU_WHEEL_IDS && VORN_IS_WAVE (node) && !node->mute
      && VORN_WAVE (node)->kind == VORN_WAVE_KIND_CTRL_MORPH)
    {
      const int id = vorn_synth_inst_get_control_id (w->inst, VORN_WAVE (node));
      if (id >= 0 && id <= G_MAXUINT16)
        w->ids[w->count++] = guint16 (id);
    }
  return TRUE;
}

/* The master's "Channel Pitch" control of attach point @chan: it scales
 * the pitch of every voice of the channel, sounding or to come.  -1 for
 * none. */
static int
channel_pitch_id (VornNode *tree, guint chan)
{
  guint point = 0;
  for (VornNode *node = tree ? tree->children : nullptr; node; node = node->next)
    {
      if (!node->attach_point || point++ != chan)
        continue;
      for (VornNode *child = node->children; child; child = child->next)
        if (VORN_IS_WAVE (child) && VORN_WAVE (child)->kind == VORN_WAVE_KIND_CTRL_PITCH)
          {
            const int pos = vorn_queue_node_get_control_id (tree, VORN_WAVE (child));
            return pos < 0 || pos + 3 > G_MAXUINT16 ? -1 : pos + 3;
          }
      return -1;
    }
  return -1;
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
  WheelIds wheel {};
  wheel.inst = inst;
  vorn_node_post_traverse (VORN_NODE (inst), collect_wheel_id, &wheel);
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
      VornSynthMsg *notify = nullptr;
      if (base->start_voice_notify)
        {
          notify = vorn_synth_msg_new (VORN_SYNTH_MSG_START_VOICE_NOTIFY);
          notify->start_voice_notify = msg->start_voice;
          notify->start_voice_notify.queue = VORN_QUEUE (g_object_ref (queue));
        }
      VornSynthPrepared *slot = &pool->slots[pool->head % pool->cap];
      *slot = { msg, notify, freq, serial, {}, wheel.count, vorn_queue_get_output_delay (queue) };
      memcpy (slot->wheel_ids, wheel.ids, sizeof wheel.ids);
      g_atomic_int_set (reinterpret_cast<gint *> (&pool->head), gint (pool->head + 1));
    }
}

void
vorn_synth_refresh_voices (VornSynth *synth)
{
  if (vorn_synth_get_private (synth)->prepare_voices)
    vorn_synth_prepare_voices (synth);
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
  base->prepare_voices = TRUE;
  g_atomic_int_set (&base->want_prepare, 0);
  if (base->started && priv->pools)
    {
      const guint serial = vorn_util_edit_serial ();
      base->prepared_serial = serial;
      for (guint c = 0; c < priv->rt->chan_count; c++)
        fill_pool (priv, c, serial);
      for (guint c = 0; c < 16; c++)
        g_atomic_int_set (&priv->pitch_ids[c], c < priv->rt->chan_count ? channel_pitch_id (base->node_tree, c) : -1);
    }
  g_rec_mutex_unlock (&base->api_lock);
}

void
vorn_synth_set_bend_range (VornSynth *synth, double semitones)
{
  g_return_if_fail (VORN_IS_SYNTH (synth));
  if (!VORN_IS_SYNTH_CPU (synth) || !std::isfinite (semitones))
    return;
  __atomic_store (&vorn_synth_cpu_get_private (synth)->bend_range, &semitones, __ATOMIC_RELAXED);
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

/* Hands an unplayed prepared voice back to the API thread: its notify
 * message goes as a start-voice, which frees the reference it holds.  Needs
 * room for two messages. */
static void
send_unplayed (VornSynthCpuPrivate *priv, const VornSynthPrepared *p)
{
  vorn_synth_render_send (priv->base, p->msg);
  if (p->notify)
    {
      p->notify->type = VORN_SYNTH_MSG_START_VOICE;
      vorn_synth_render_send (priv->base, p->notify);
    }
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
         && vorn_synth_render_room (priv->base) >= 2)
    send_unplayed (priv, &pool->slots[tail++ % pool->cap]);
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
apply_bend (VornSynthCpuPrivate *priv, guint chan)
{
  VornQueue *master = priv->base->rt->master;
  const int id = g_atomic_int_get (&priv->pitch_ids[chan]);
  if (!master || id < 0)
    return;
  /* Full range both ways: 0 is -range, 16383 is +range. */
  const int offset = int (priv->rt->bend[chan]) - 8192;
  const double semis = priv->rt->bend_range * offset / (offset < 0 ? 8192.0 : 8191.0);
  vorn_queue_set_control (master, id, std::exp2 (semis / 12.0), VORN_WAVE_OP_SET);
}

void
vorn_synth_cpu_apply_bends (VornSynthCpuPrivate *priv)
{
  for (guint c = 0; c < MIN (priv->rt->chan_count, 16u); c++)
    if (priv->rt->bend[c] != 8192)
      apply_bend (priv, c);
}

/* Sets the wheel's value on a voice of ours. */
static void
apply_wheel (const VornSynthCpuVoice *v, gint8 value)
{
  for (guint i = 0; i < v->wheel_count; i++)
    vorn_queue_set_control (v->queue, v->wheel_ids[i], value / 127.0, VORN_WAVE_OP_SET);
}

/* Bits of a voice's note key above the channel and note. */
constexpr guint32 KEY_HELD = 1u << 16;      /* the key is down */
constexpr guint32 KEY_SUSTAINED = 1u << 17; /* released while the pedal was down */

/* Marks a voice for release at sample time @time; release_due() releases
 * it in the fragment that holds that time. */
static void
release_one (VornSynthCpuRender *rt, VornSynthCpuVoice *v, bool pedal, guint64 time)
{
  if (pedal)
    v->note_key = (v->note_key & ~KEY_HELD) | KEY_SUSTAINED;
  else
    {
      v->note_key = 0;
      if (!v->queue->active)
        return;
      if (v->release_time == G_MAXUINT64)
        rt->pending_releases++;
      /* Where the sound is: a band-limited oscillator lags the envelopes
       * that release it. */
      v->release_time = MIN (v->release_time, time + v->release_delay);
    }
}

/* Releases the voices whose stored release falls before the end of the
 * fragment they render during the master's fragment at @frag_time: a voice
 * that started at sample time s renders [frag_time + (s - frag_time) mod
 * FRAG, + FRAG) then, or [s, s + FRAG) when it has not started yet. */
static void
release_due (VornSynthCpuPrivate *priv, guint64 frag_time)
{
  VornSynthCpuRender *rt = priv->rt;
  VornSynthCpuVoice *voices = rt->voices;
  for (guint16 idx = rt->active_head; idx != VORN_SYNTH_CPU_NO_VOICE && rt->pending_releases;
       idx = voices[idx].next)
    {
      VornSynthCpuVoice *v = voices + idx;
      if (v->release_time == G_MAXUINT64)
        continue;
      guint64 own = v->start_time;
      if (own < frag_time)
        {
          const guint64 back = (frag_time - own) % VORN_FRAGMENT_SIZE;
          own = back ? frag_time + VORN_FRAGMENT_SIZE - back : frag_time;
        }
      if (v->release_time >= own + VORN_FRAGMENT_SIZE)
        continue;
      const guint frame = v->release_time > own ? guint (v->release_time - own) : 0;
      v->release_time = G_MAXUINT64;
      rt->pending_releases--;
      if (v->queue->active)
        vorn_queue_note_off_at (v->queue, v->voice_id, frame);
    }
}

/* Releases the voices whose key masked with @mask is @key; when @mask
 * covers everything (a note-off) only the oldest, so that the note-offs of
 * a key struck again end its notes in the order they started.  With the
 * channel's pedal down (@pedal) a held key is marked sustained instead. */
static void
release_key (VornSynthCpuPrivate *priv, guint64 time, guint32 key, guint32 mask, bool pedal = false)
{
  VornSynthCpuVoice *voices = priv->rt->voices;
  VornSynthCpuVoice *oldest = nullptr;
  for (guint16 idx = priv->rt->active_head; idx != VORN_SYNTH_CPU_NO_VOICE; idx = voices[idx].next)
    if (voices[idx].note_key && (voices[idx].note_key & mask) == key)
      {
        if (mask == G_MAXUINT32)
          oldest = voices + idx; /* newest first: the last match is the oldest */
        else
          release_one (priv->rt, voices + idx, pedal, time);
      }
  if (oldest)
    release_one (priv->rt, oldest, pedal, time);
}

static void
note_on (VornSynthCpuPrivate *priv, guint64 frag_time, guint chan, guint8 note, guint8 velocity,
         guint lead)
{
  /* Room for what may go back: the voice and its notification. */
  VornSynthPrepared prep;
  if (vorn_synth_render_room (priv->base) < 2 || !take_prepared (priv, chan, &prep))
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

  /* A key the pedal holds restarts rather than doubling up; a key that is
   * down stacks, so that a sequencer's overlapping notes each sound. */
  release_key (priv, frag_time + lead, KEY_SUSTAINED | (chan << 8) | note, KEY_SUSTAINED | 0xffffu);
  const guint32 key = KEY_HELD | (chan << 8) | note;
  if (!vorn_synth_cpu_accept_voice (priv, msg))
    {
      send_unplayed (priv, &prep);
      count_lost (priv);
      return;
    }
  VornSynthCpuVoice *v = &priv->rt->voices[priv->rt->active_head];
  v->note_key = key;
  v->start_time = frag_time + lead;
  v->release_delay = prep.release_delay;
  v->wheel_count = guint8 (prep.wheel_count);
  memcpy (v->wheel_ids, prep.wheel_ids, sizeof v->wheel_ids);
  if (priv->rt->wheel[chan] >= 0)
    apply_wheel (v, priv->rt->wheel[chan]);
  if (prep.notify)
    {
      prep.notify->start_voice_notify.voice_id = voice_id;
      vorn_synth_render_send (priv->base, prep.notify);
    }
}

/* Applies one event at @frag_time + @lead (@lead below 2 * FRAG). */
static void
apply_event (VornSynthCpuPrivate *priv, const VornSynthTimedEvent *ev, guint64 frag_time, guint lead)
{
  const guint64 time = frag_time + lead;
  const guint chan = ev->data[0] & 0x0f;
  const guint8 kind = ev->data[0] & 0xf0;
  if (chan >= priv->rt->chan_count)
    return;
  const guint32 key = KEY_HELD | (chan << 8) | (ev->data[1] & 0x7f);
  const guint16 bit = guint16 (1u << chan);
  if (kind == 0x90 && ev->data[2])
    note_on (priv, frag_time, chan, ev->data[1] & 0x7f, ev->data[2] & 0x7f, lead);
  else if (kind == 0x80 || kind == 0x90)
    release_key (priv, time, key, G_MAXUINT32, (priv->rt->sustain & bit) != 0);
  else if (kind == 0xb0 && ev->data[1] == 64)
    {
      if (ev->data[2] >= 64)
        priv->rt->sustain |= bit;
      else
        {
          priv->rt->sustain &= guint16 (~bit);
          release_key (priv, time, KEY_SUSTAINED | (chan << 8), KEY_SUSTAINED | 0xff00u);
        }
    }
  else if (kind == 0xe0)
    {
      priv->rt->bend[chan] = guint16 ((ev->data[1] & 0x7f) | (ev->data[2] & 0x7f) << 7);
      apply_bend (priv, chan);
    }
  else if (kind == 0xb0 && ev->data[1] == 1)
    {
      /* The voices our note events started; others follow the input
       * manager's wheel. */
      const gint8 value = gint8 (ev->data[2] & 0x7f);
      priv->rt->wheel[chan] = value;
      const VornSynthCpuVoice *voices = priv->rt->voices;
      for (guint16 idx = priv->rt->active_head; idx != VORN_SYNTH_CPU_NO_VOICE; idx = voices[idx].next)
        if (voices[idx].chan == chan && voices[idx].wheel_count && voices[idx].queue->active)
          apply_wheel (voices + idx, value);
    }
  else if (kind == 0xb0 && (ev->data[1] == 120 || ev->data[1] == 123))
    {
      /* Every key of the channel, held or sustained. */
      release_key (priv, time, chan << 8, 0xff00u);
    }
}

/* Files one event to play at sample time @time. */
static void
file_event (VornSynthCpuPrivate *priv, guint64 time, const guint8 *data)
{
  VornSynthCpuRender *rt = priv->rt;
  if (rt->timed_count == VORN_SYNTH_CPU_TIMED_EVENTS)
    {
      count_lost (priv);
      return;
    }
  const VornSynthTimedEvent ev = { time, { data[0], data[1], data[2] } };
  /* In time order; events come sorted, so this rarely moves any. */
  guint at = rt->timed_count;
  while (at > 0 && rt->timed[at - 1].time > ev.time)
    at--;
  memmove (rt->timed + at + 1, rt->timed + at, (rt->timed_count - at) * sizeof ev);
  rt->timed[at] = ev;
  rt->timed_count++;
}

/* The events the render thread plays: notes, bend, the wheel, the pedal
 * and the two all-notes messages. */
static bool
played (const guint8 *data, gsize size)
{
  if (size < 3)
    return false;
  const guint8 kind = data[0] & 0xf0;
  return kind == 0x80 || kind == 0x90 || kind == 0xe0
         || (kind == 0xb0 && (data[1] == 1 || data[1] == 64 || data[1] == 120 || data[1] == 123));
}

gboolean
vorn_synth_event_is_timed (const guint8 *msg, gsize len)
{
  return msg && played (msg, len);
}

/* Records where rendering is, for input threads to stamp their events. */
static void
update_clock (VornSynthPrivate *base, guint64 call_time, guint frames)
{
  VornRenderClock *clock = base->clock;
  const guint seq = clock->seq.load ();
  clock->seq.store (seq + 1);
  clock->sample_time.store (call_time);
  clock->wall_us.store (g_get_monotonic_time ());
  if (frames > clock->longest_call.load ())
    clock->longest_call.store (frames);
  clock->rate.store (base->rt->master->sample_rate);
  clock->seq.store (seq + 2);
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

  update_clock (priv->base, call_time, frames);
  for (guint i = 0; i < n; i++)
    if (played (events[i].data, events[i].size))
      {
        const guint frame = frames ? MIN (events[i].frame, frames - 1) : 0;
        file_event (priv, call_time + frame + VORN_SYNTH_EVENT_LATENCY, events[i].data);
      }

  /* Posted events wait in the inbox until the call that covers them, so
   * that the ones filed here are few. */
  VornEventInbox *inbox = priv->base->posted;
  VornPostedEvent pe;
  while (inbox->peek (&pe) && pe.time < call_time + frames)
    {
      file_event (priv, pe.time + VORN_SYNTH_EVENT_LATENCY, pe.data);
      inbox->drop ();
    }
}

void
vorn_synth_cpu_apply_events (VornSynthCpuPrivate *priv, guint64 frag_time)
{
  VornSynthCpuRender *rt = priv->rt;
  if (priv->pools)
    for (guint c = 0; c < rt->chan_count; c++)
      drop_stale (priv, &priv->pools[c]);
  double range;
  __atomic_load (&priv->bend_range, &range, __ATOMIC_RELAXED);
  if (range != rt->bend_range)
    {
      rt->bend_range = range;
      vorn_synth_cpu_apply_bends (priv);
    }
  /* Note events a fragment early, in time order; bend and the wheel keep
   * their place in the list until their own fragment. */
  guint done = 0, kept = 0;
  for (; done < rt->timed_count && rt->timed[done].time < frag_time + 2 * VORN_FRAGMENT_SIZE; done++)
    {
      const VornSynthTimedEvent ev = rt->timed[done];
      const guint8 kind = ev.data[0] & 0xf0;
      const bool control = kind == 0xe0 || (kind == 0xb0 && ev.data[1] == 1);
      if (control && ev.time >= frag_time + VORN_FRAGMENT_SIZE)
        rt->timed[kept++] = ev;
      else
        apply_event (priv, &ev, frag_time, ev.time > frag_time ? guint (ev.time - frag_time) : 0);
    }
  if (done > kept)
    {
      memmove (rt->timed + kept, rt->timed + done, (rt->timed_count - done) * sizeof *rt->timed);
      rt->timed_count -= done - kept;
    }
  if (G_UNLIKELY (rt->pending_releases))
    release_due (priv, frag_time);
}

/* ---- input threads -------------------------------------------------------- */

gboolean
vorn_synth_post_event (VornSynth *synth, guint64 time, const guint8 *msg, gsize len)
{
  g_return_val_if_fail (synth != NULL, FALSE);
  if (!played (msg, len))
    return FALSE;
  VornSynthPrivate *base = vorn_synth_render_get_private (synth);
  if (!base->posted->push ({ time, { msg[0], msg[1], msg[2] } }))
    g_atomic_int_inc (&base->event_overflow);
  return TRUE;
}

void
vorn_synth_set_frame_reference (VornSynth *synth, guint64 frame_time)
{
  VornSynthPrivate *base = vorn_synth_render_get_private (synth);
  VornRenderClock *clock = base->clock;
  const guint seq = clock->seq.load ();
  clock->seq.store (seq + 1);
  clock->sample_time.store (__atomic_load_n (&base->sample_time, __ATOMIC_RELAXED));
  clock->wall_us.store (g_get_monotonic_time ());
  clock->frame_time.store (frame_time);
  clock->has_frames.store (TRUE);
  clock->seq.store (seq + 2);
}

/* Reads the clock consistently.  Every access to the clock is sequentially
 * consistent: no field's load or store can move across the count's, which
 * is what a sequence lock needs, without the fences ThreadSanitizer cannot
 * follow.  A few ordered stores per render call cost nothing here. */
static void
read_clock (VornRenderClock *clock, guint64 *sample_time, gint64 *wall_us, guint64 *frame_time,
            gboolean *has_frames)
{
  for (;;)
    {
      const guint seq = clock->seq.load ();
      *sample_time = clock->sample_time.load ();
      *wall_us = clock->wall_us.load ();
      *frame_time = clock->frame_time.load ();
      *has_frames = clock->has_frames.load ();
      if (!(seq & 1) && clock->seq.load () == seq)
        return;
    }
}

gboolean
vorn_synth_frame_to_sample_time (VornSynth *synth, guint64 frame_time, guint64 *sample_time)
{
  g_return_val_if_fail (synth != NULL && sample_time != NULL, FALSE);
  guint64 ref_sample, ref_frame;
  gint64 wall;
  gboolean has_frames;
  read_clock (vorn_synth_render_get_private (synth)->clock, &ref_sample, &wall, &ref_frame,
              &has_frames);
  if (!has_frames)
    return FALSE;
  /* The server's frame count wraps at 32 bits. */
  *sample_time = ref_sample + guint64 (gint64 (gint32 (guint32 (frame_time) - guint32 (ref_frame))));
  return TRUE;
}

guint64
vorn_synth_stamp_event_time (VornSynth *synth)
{
  g_return_val_if_fail (synth != NULL, 0);
  VornSynthPrivate *base = vorn_synth_render_get_private (synth);
  guint64 ref_sample, ref_frame;
  gint64 wall;
  gboolean has_frames;
  read_clock (base->clock, &ref_sample, &wall, &ref_frame, &has_frames);
  if (!wall)
    return 0;
  const double rate = base->clock->rate.load (std::memory_order_relaxed);
  const gint64 since = MAX (g_get_monotonic_time () - wall, gint64 (0));
  const guint longest = base->clock->longest_call.load (std::memory_order_relaxed);
  /* The call after the one running now covers it: one longest call late. */
  return MAX (ref_sample + guint64 (double (since) * rate * 1e-6) + longest, guint64 (1));
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
