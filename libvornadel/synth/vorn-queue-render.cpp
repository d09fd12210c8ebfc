/* vorn-queue-render.cpp: attaching voice queues to a master, their
 * controls and note-off, and rendering the master with its voices */
#include "vorn-queue-internal.h"

#include "vorn-aligned.h"
#include "vorn-wave.h"
#include "vorn-wave-gen.h"

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>

/* Render flags of one voice for one fragment. */
enum {
  RENDER_FLAGS_NONE = 0,
  RENDER_FLAGS_RESOLVE = 1,
  RENDER_FLAGS_FINISHED = 2,
};

/* ---- controls and note-off -------------------------------------------- */

void
vorn_queue_set_control (VornQueue *queue, int control_id, double value, VornWaveOp op)
{
  g_return_if_fail (VORN_IS_QUEUE (queue));

  VornQueuePrivate *priv = vorn_queue_priv (queue);
  if (control_id < 0 || control_id >= priv->control_count)
    return;

  VornAttribVal *val = &priv->controls[control_id];
  const bool dbl = val->format == VORN_FORMAT_DOUBLE;
  double cur = dbl ? val->value.d : double (val->value.f);
  switch (op)
    {
    case VORN_WAVE_OP_ADD:
      cur += value;
      break;
    case VORN_WAVE_OP_MUL:
      cur *= value;
      break;
    case VORN_WAVE_OP_SET:
    default:
      cur = value;
      break;
    }
  if (dbl)
    val->value.d = cur;
  else
    val->value.f = float (cur);
  val->state = VORN_ATTRIB_STATE_CONST;
}

/* The generator of a plain wave node, which note-offs release; NULL for
 * any other (other nodes with a release trigger keep waiting). */
static VornWaveGen *
released_wave (VornGen *gen)
{
  if (!gen->node || G_OBJECT_TYPE (gen->node) != VORN_TYPE_WAVE || !VORN_IS_WAVE_GEN (gen))
    return nullptr;
  return reinterpret_cast<VornWaveGen *> (gen);
}

void
vorn_queue_note_off (VornQueue *queue, guint voice_id)
{
  vorn_queue_note_off_at (queue, voice_id, 0);
}

void
vorn_queue_note_off_at (VornQueue *queue, guint voice_id, guint frame)
{
  g_return_if_fail (VORN_IS_QUEUE (queue));
  VornQueuePrivate *priv = vorn_queue_priv (queue);
  g_return_if_fail (priv->parentAttach != NULL);
  g_return_if_fail (frame < VORN_FRAGMENT_SIZE);
  (void) voice_id;

  for (gint i = 0; i < priv->slot_count; i++)
    priv->slots[i].type = 0;

  for (VornGen *gen = priv->first_gen; gen; gen = gen->next)
    {
      VornWaveGen *wave_gen = released_wave (gen);
      if (!wave_gen)
        continue;
      if (wave_gen->trig_mode == VORN_WAVE_TRIG_MODE_PRESSED && !wave_gen->finished)
        {
          if (frame)
            wave_gen->hold_at = guint8 (frame);
          else
            wave_gen->finished = TRUE;
        }
      else if (wave_gen->trig_mode == VORN_WAVE_TRIG_MODE_RELEASE
               && gen->state == VORN_GEN_STATE_WAIT)
        {
          /* Only the wave itself waits for @frame: the generators of its
           * subtree start with the fragment. */
          gen->state = VORN_GEN_STATE_ACTIVE;
          wave_gen->pre_roll = guint8 (frame);
        }
    }
  if (frame)
    priv->offs_pending = TRUE;

  vorn_queue_build_chain (priv);
  vorn_queue_route (queue);
}

guint
vorn_queue_get_output_delay (VornQueue *queue)
{
  g_return_val_if_fail (VORN_IS_QUEUE (queue), 0);
  for (VornGen *gen = vorn_queue_priv (queue)->first_gen; gen; gen = gen->next)
    if (VORN_IS_WAVE_GEN (gen) && reinterpret_cast<VornWaveGen *> (gen)->aa)
      return VORN_WAVE_ANTIALIAS_DELAY;
  return 0;
}

/* ---- attaching --------------------------------------------------------- */

static gpointer
render_worker (gpointer pit)
{
  return vorn_queue_render_thread_func (static_cast<VornThreadPit *> (pit));
}

gboolean
vorn_queue_set_cpu_cores (VornQueue *queue, guint cores, GError **error)
{
  g_return_val_if_fail (VORN_IS_QUEUE (queue), FALSE);
  g_return_val_if_fail (!error || !*error, FALSE);

  VornQueuePrivate *priv = vorn_queue_priv (queue);
  if (cores <= 1)
    {
      g_clear_pointer (&priv->pit, vorn_thread_pit_free);
      return TRUE;
    }

  /* The render thread takes a share of the voices itself, so it is one
   * of the cores. */
  const int count = int (MIN (cores, 1024u)) - 1;
  GError *local = nullptr;
  if (!priv->pit)
    priv->pit = vorn_thread_pit_new (render_worker, priv, count, MAX (priv->block_capacity - 1, 1), &local);
  else if (!vorn_thread_pit_set_count (priv->pit, count, &local) && priv->pit->thread_count == 0)
    g_clear_pointer (&priv->pit, vorn_thread_pit_free);
  if (!local)
    return TRUE;

  /* The voices still render, on the threads there are. */
  if (error)
    g_propagate_error (error, local);
  else
    {
      g_warning ("%s", local->message);
      g_error_free (local);
    }
  return FALSE;
}

void
vorn_queue_attach (VornQueue *queue, VornQueue *subQueue, int attachIndex)
{
  g_return_if_fail (VORN_IS_QUEUE (queue));
  g_return_if_fail (VORN_IS_QUEUE (subQueue));
  VornQueuePrivate *priv = vorn_queue_priv (queue);
  g_return_if_fail (attachIndex < priv->attachPointCount);
  g_return_if_fail (attachIndex >= 0);
  VornQueuePrivate *sub_priv = vorn_queue_priv (subQueue);
  g_return_if_fail (sub_priv->parentAttach == NULL);

  VornAttachPoint *ap = &priv->attach_points[attachIndex];
  if (!ap->first_sub)
    {
      /* The live list stays in index order (the points are one array). */
      if (!priv->first_live || ap < priv->first_live)
        {
          ap->prev_live = nullptr;
          ap->next_live = priv->first_live;
          if (priv->first_live)
            priv->first_live->prev_live = ap;
          else
            priv->last_live = ap;
          priv->first_live = ap;
        }
      else if (ap > priv->last_live)
        {
          ap->next_live = nullptr;
          ap->prev_live = priv->last_live;
          priv->last_live->next_live = ap;
          priv->last_live = ap;
        }
      else
        {
          VornAttachPoint *after = priv->first_live;
          while (after < ap)
            after = after->next_live;
          ap->next_live = after;
          ap->prev_live = after->prev_live;
          after->prev_live->next_live = ap;
          after->prev_live = ap;
        }
      vorn_queue_relink_chain (priv);
    }

  sub_priv->prev_sub = nullptr;
  sub_priv->next_sub = ap->first_sub;
  if (ap->first_sub)
    vorn_queue_priv (ap->first_sub)->prev_sub = subQueue;
  ap->first_sub = subQueue;

  sub_priv->parentAttach = ap;
  subQueue->active = TRUE;
  vorn_queue_route (subQueue);
}

static void
detach_voice (VornQueue *sub_queue)
{
  VornQueuePrivate *sub_priv = vorn_queue_priv (sub_queue);
  VornAttachPoint *ap = sub_priv->parentAttach;
  if (!ap)
    return;

  if (sub_priv->prev_sub)
    vorn_queue_priv (sub_priv->prev_sub)->next_sub = sub_priv->next_sub;
  else
    ap->first_sub = sub_priv->next_sub;
  if (sub_priv->next_sub)
    vorn_queue_priv (sub_priv->next_sub)->prev_sub = sub_priv->prev_sub;

  if (!ap->first_sub)
    {
      /* The chain keeps the point's generators until the next attach
       * relinks it: detaching happens in the middle of a render. */
      VornQueuePrivate *owner = vorn_queue_priv (ap->queue);
      if (ap->prev_live)
        ap->prev_live->next_live = ap->next_live;
      else
        owner->first_live = ap->next_live;
      if (ap->next_live)
        ap->next_live->prev_live = ap->prev_live;
      else
        owner->last_live = ap->prev_live;
      ap->next_live = ap->prev_live = nullptr;
    }

  sub_priv->parentAttach = nullptr;
  sub_priv->next_sub = sub_priv->prev_sub = nullptr;
  sub_queue->active = FALSE;
}

void
vorn_queue_detach (VornQueue *subQueue)
{
  g_return_if_fail (VORN_IS_QUEUE (subQueue));
  detach_voice (subQueue);
}

static void
detach_all (VornQueue *queue)
{
  VornQueuePrivate *priv = vorn_queue_priv (queue);
  for (gint k = 0; k < priv->attachPointCount; k++)
    {
      VornAttachPoint *ap = &priv->attach_points[k];
      for (VornQueue *sub = ap->first_sub; sub;)
        {
          VornQueuePrivate *sub_priv = vorn_queue_priv (sub);
          VornQueue *next = sub_priv->next_sub;
          sub_priv->parentAttach = nullptr;
          sub_priv->next_sub = sub_priv->prev_sub = nullptr;
          sub->active = FALSE;
          sub = next;
        }
      ap->first_sub = nullptr;
      ap->next_live = ap->prev_live = nullptr;
    }
  priv->chain = nullptr;
  priv->first_live = priv->last_live = nullptr;
}

void
vorn_queue_detach_all (VornQueue *queue)
{
  g_return_if_fail (VORN_IS_QUEUE (queue));
  detach_all (queue);
}

/* ---- rendering --------------------------------------------------------- */

static guint
render_voice (VornQueuePrivate *priv)
{
  guint flags = RENDER_FLAGS_NONE;
  for (VornGen *gen = priv->chain; gen; gen = gen->chain_next)
    {
      /* A wave that settled on an identity or a constant says so every
       * fragment; only the fragment where that changes needs the routing
       * resolved again. */
      const guint8 settled = gen->render (gen) ? FALSE : TRUE;
      if (settled && gen->state == VORN_GEN_STATE_STOP)
        flags = RENDER_FLAGS_FINISHED;
      else if (settled != gen->settled && flags != RENDER_FLAGS_FINISHED)
        flags = RENDER_FLAGS_RESOLVE;
      gen->settled = settled;
    }
  if (G_UNLIKELY (priv->offs_pending))
    {
      /* Waves the chain did not reach this fragment release as from its
       * start. */
      priv->offs_pending = FALSE;
      for (VornGen *gen = priv->first_gen; gen; gen = gen->next)
        if (VornWaveGen *wave_gen = released_wave (gen))
          {
            if (wave_gen->hold_at)
              wave_gen->finished = TRUE;
            wave_gen->hold_at = 0;
            wave_gen->pre_roll = 0;
          }
    }
  return flags;
}

/* Beyond this a voice's samples are garbage (some 300 dB over full scale),
 * and a few thousand of them would overflow single precision in the sum. */
constexpr double VOICE_SAMPLE_LIMIT = 1e15;

/* One pass over a fragment, as cheap as a copy of it: NaN fails the
 * "less than" comparison as well as infinity does, so a single unordered
 * compare per lane finds both. */
template <typename T>
static inline bool
fragment_finite (const void *src)
{
  const T *__restrict s = static_cast<const T *> (__builtin_assume_aligned (src, 64));
#if defined(__SSE2__)
  if constexpr (sizeof (T) == sizeof (float))
    {
      const __m128 limit = _mm_set1_ps (float (VOICE_SAMPLE_LIMIT));
      const __m128 abs_mask = _mm_castsi128_ps (_mm_set1_epi32 (0x7fffffff));
      __m128 bad = _mm_setzero_ps ();
      for (int i = 0; i < VORN_FRAGMENT_SIZE; i += 4)
        bad = _mm_or_ps (bad, _mm_cmpnlt_ps (_mm_and_ps (_mm_load_ps (s + i), abs_mask), limit));
      return _mm_movemask_ps (bad) == 0;
    }
  else
    {
      const __m128d limit = _mm_set1_pd (VOICE_SAMPLE_LIMIT);
      const __m128d abs_mask = _mm_castsi128_pd (_mm_set1_epi64x (0x7fffffffffffffffLL));
      __m128d bad = _mm_setzero_pd ();
      for (int i = 0; i < VORN_FRAGMENT_SIZE; i += 2)
        bad = _mm_or_pd (bad, _mm_cmpnlt_pd (_mm_and_pd (_mm_load_pd (s + i), abs_mask), limit));
      return _mm_movemask_pd (bad) == 0;
    }
#else
  int bad = 0;
  for (int i = 0; i < VORN_FRAGMENT_SIZE; i++)
    bad |= !(std::fabs (s[i]) < T (VOICE_SAMPLE_LIMIT));
  return bad == 0;
#endif
}

/* The voice's speakers output (the first output of its last generator) as
 * its block sums it, or NULL when the voice does not end in a speakers
 * output of the master's format; *n is then the speakers to add. */
static const VornAttribVal *
voice_output (const VornVoiceBlock *b, VornQueue *voice, guint *n)
{
  VornGen *last = vorn_queue_priv (voice)->last_gen;
  if (b->width == 0 || !last || last->dest_count == 0
      || last->attribs[last->src_count] != VORN_ATTRIB_TYPE_SPEAKERS)
    return nullptr;
  const VornAttribVal *src = last->attrib_vals[last->src_count];
  if (!src || voice->format != b->ap->queue->format)
    return nullptr;
  *n = MIN (b->width, guint (voice->speaker_count));
  return src;
}

/* TRUE when every speaker of @src holds only sane samples. */
static bool
output_finite (const VornAttribVal *src, guint n, bool dbl)
{
  for (guint k = 0; k < n; k++)
    if (!(dbl ? fragment_finite<double> (src[k].buffer) : fragment_finite<float> (src[k].buffer)))
      return false;
  return true;
}

void
vorn_queue_set_start_offset (VornQueue *queue, guint frames)
{
  VornQueuePrivate *priv = vorn_queue_priv (queue);
  priv->lead = priv->carry ? frames % VORN_FRAGMENT_SIZE : 0;
  priv->skip = priv->carry && frames % (2 * VORN_FRAGMENT_SIZE) >= VORN_FRAGMENT_SIZE;
}

/* Adds a fragment that starts @lead frames late: what was carried over from
 * the voice's previous fragment, then the head of this one.  The tail is
 * carried by keep_tail() once the block's sum is final (it may be made
 * twice). */
template <typename T>
static void
add_shifted (T *dst, const T *src, const T *carry, guint lead)
{
  const guint head = VORN_FRAGMENT_SIZE - lead;
  for (guint i = 0; i < lead; i++)
    dst[i] += carry[i];
  for (guint i = 0; i < head; i++)
    dst[lead + i] += src[i];
}

/* Carries the tail of @voice's fragment in @src (@n speakers) to the
 * master's next fragment. */
static void
keep_tail (VornQueue *voice, const VornAttribVal *src, guint n, bool dbl)
{
  VornQueuePrivate *vp = vorn_queue_priv (voice);
  if (!vp->lead)
    return;
  const gsize sample = dbl ? sizeof (double) : sizeof (float);
  const gsize frag_bytes = VORN_FRAGMENT_SIZE * sample;
  const guint head = VORN_FRAGMENT_SIZE - vp->lead;
  for (guint k = 0; k < n; k++)
    memcpy (static_cast<guint8 *> (vp->carry) + k * frag_bytes,
            static_cast<const guint8 *> (src[k].buffer) + head * sample, vp->lead * sample);
}

/* Adds @n speakers of @src, the output of @voice, into the block's partial
 * sum. */
static void
add_output (VornVoiceBlock *b, VornQueue *voice, const VornAttribVal *src, guint n, bool dbl)
{
  const gsize frag_bytes = VORN_FRAGMENT_SIZE * (dbl ? sizeof (double) : sizeof (float));
  VornQueuePrivate *vp = vorn_queue_priv (voice);
  auto *partial = static_cast<guint8 *> (b->partial);
  if (vp->lead)
    {
      const auto *carry = static_cast<const guint8 *> (vp->carry);
      for (guint k = 0; k < n; k++)
        if (dbl)
          add_shifted (reinterpret_cast<double *> (partial + k * frag_bytes),
                       static_cast<const double *> (src[k].buffer),
                       reinterpret_cast<const double *> (carry + k * frag_bytes), vp->lead);
        else
          add_shifted (reinterpret_cast<float *> (partial + k * frag_bytes),
                       static_cast<const float *> (src[k].buffer),
                       reinterpret_cast<const float *> (carry + k * frag_bytes), vp->lead);
    }
  else
    {
      const VornQueueAddFunc add = vorn_queue_priv (b->ap->queue)->add_fragment;
      for (guint k = 0; k < n; k++)
        add (partial + k * frag_bytes, src[k].buffer);
    }
  b->summed = TRUE;
}

/* TRUE when the block's partial sum holds only sane samples. */
static bool
partial_finite (const VornVoiceBlock *b, bool dbl)
{
  const gsize frag_bytes = VORN_FRAGMENT_SIZE * (dbl ? sizeof (double) : sizeof (float));
  for (guint k = 0; k < b->width; k++)
    {
      const guint8 *p = static_cast<const guint8 *> (b->partial) + k * frag_bytes;
      if (!(dbl ? fragment_finite<double> (p) : fragment_finite<float> (p)))
        return false;
    }
  return true;
}

/* Renders a block's voices and sums them: touches the block and its voices
 * only, so any thread may do it.  Finished voices are left attached, for
 * the render thread to detach.
 *
 * An instrument with absurd values (a filter pushed past its limits, a
 * curve evaluated beyond range) can render NaN, infinity or samples too
 * large for the output format; such a voice is silenced and ended before
 * it reaches the master, so the output never holds NaN or infinity
 * whatever the instrument.  The partial sum is checked once per block (a
 * bad voice makes it bad); only then are the voices checked one by one and
 * the sum made again without the bad ones. */
static void
render_block (VornVoiceBlock *b)
{
  const bool dbl = b->ap->queue->format == VORN_FORMAT_DOUBLE;
  const gsize frag_bytes = VORN_FRAGMENT_SIZE * (dbl ? sizeof (double) : sizeof (float));
  memset (b->partial, 0, b->width * frag_bytes);
  b->summed = FALSE;
  b->active = TRUE;

  /* Each voice's output as it was rendered: resolving may point the voice
   * at other records for the next fragment. */
  const VornAttribVal *outs[VOICE_BLOCK];
  guint widths[VOICE_BLOCK];
  VornQueue *voices[VOICE_BLOCK];
  VornQueue *voice = b->first;
  for (guint i = 0; i < b->count; i++, voice = vorn_queue_priv (voice)->next_sub)
    {
      voices[i] = voice;
      widths[i] = 0;
      outs[i] = nullptr;
      if (G_UNLIKELY (vorn_queue_priv (voice)->skip))
        {
          /* Starts in the master's next fragment. */
          vorn_queue_priv (voice)->skip = FALSE;
          continue;
        }
      const guint flags = render_voice (vorn_queue_priv (voice));
      outs[i] = voice_output (b, voice, &widths[i]);
      if (outs[i])
        add_output (b, voices[i], outs[i], widths[i], dbl);
      if (flags == RENDER_FLAGS_RESOLVE)
        vorn_queue_route (voice);
      else if (flags == RENDER_FLAGS_FINISHED)
        {
          voice->active = FALSE;
          b->active = FALSE;
        }
    }

  if (G_LIKELY (!b->summed || partial_finite (b, dbl)))
    {
      for (guint i = 0; i < b->count; i++)
        if (outs[i])
          keep_tail (voices[i], outs[i], widths[i], dbl);
      return;
    }

  memset (b->partial, 0, b->width * frag_bytes);
  b->summed = FALSE;
  for (guint i = 0; i < b->count; i++)
    {
      if (!outs[i])
        continue;
      if (output_finite (outs[i], widths[i], dbl))
        {
          add_output (b, voices[i], outs[i], widths[i], dbl);
          keep_tail (voices[i], outs[i], widths[i], dbl);
        }
      else
        {
          voices[i]->active = FALSE;
          b->active = FALSE;
        }
    }
}

/* Starts a block at @voice of @ap: up to VOICE_BLOCK voices.  Returns the
 * voice after the block. */
static VornQueue *
fill_block (VornVoiceBlock *b, VornAttachPoint *ap, VornQueue *voice)
{
  b->ap = ap;
  b->first = voice;
  b->count = 0;
  VornAttribVal *dst = ap->attach_vals[VORN_ATTRIB_TYPE_SPEAKERS - 1];
  b->width = dst && dst->buffer ? MIN (guint (dst->group_rest) + 1, guint (ap->queue->speaker_count)) : 0;
  for (; voice && b->count < VOICE_BLOCK; voice = vorn_queue_priv (voice)->next_sub)
    b->count++;
  return voice;
}

/* Adds a rendered block's partial sum into its attach point's speakers and
 * detaches its finished voices: render thread only.  Returns FALSE when a
 * voice was detached. */
static gboolean
finish_block (VornVoiceBlock *b)
{
  if (b->summed)
    {
      VornAttribVal *dst = b->ap->attach_vals[VORN_ATTRIB_TYPE_SPEAKERS - 1];
      const bool dbl = b->ap->queue->format == VORN_FORMAT_DOUBLE;
      const gsize frag_bytes = VORN_FRAGMENT_SIZE * (dbl ? sizeof (double) : sizeof (float));
      const VornQueueAddFunc add = vorn_queue_priv (b->ap->queue)->add_fragment;
      for (guint k = 0; k < b->width; k++)
        {
          dst[k].state = VORN_ATTRIB_STATE_DYNAMIC;
          add (dst[k].buffer, static_cast<const guint8 *> (b->partial) + k * frag_bytes);
        }
    }
  if (b->active)
    return TRUE;
  VornQueue *voice = b->first;
  for (guint i = 0; i < b->count; i++)
    {
      VornQueue *next = vorn_queue_priv (voice)->next_sub;
      if (!voice->active)
        detach_voice (voice);
      voice = next;
    }
  return FALSE;
}

gpointer
vorn_queue_render_thread_func (VornThreadPit *pit)
{
  while (gpointer block = vorn_thread_pit_catch_prey (pit))
    render_block (static_cast<VornVoiceBlock *> (block));
  return nullptr;
}

/* Renders every voice on this thread, block by block. */
static gboolean
render_voices_alone (VornQueuePrivate *priv)
{
  VornVoiceBlock *b = &priv->blocks[0];
  gboolean kept = TRUE;
  for (VornAttachPoint *ap = priv->first_live, *next_ap; ap; ap = next_ap)
    {
      next_ap = ap->next_live;
      for (VornQueue *voice = ap->first_sub; voice;)
        {
          voice = fill_block (b, ap, voice);
          render_block (b);
          if (!finish_block (b))
            kept = FALSE;
        }
    }
  return kept;
}

/* Renders every voice with the thread pit's help when there are enough of
 * them.  Blocks beyond what the pit holds (only when more than max-voices
 * voices were attached by hand) are rendered here afterwards, in their
 * place in the sum. */
static gboolean
render_voices_spread (VornQueuePrivate *priv)
{
  VornThreadPit *pit = priv->pit;
  const guint capacity = MIN (guint (pit->capacity), guint (priv->block_capacity) - 1);
  guint count = 0;
  VornAttachPoint *rest_ap = nullptr;
  VornQueue *rest = nullptr;
  for (VornAttachPoint *ap = priv->first_live; ap && !rest_ap; ap = ap->next_live)
    for (VornQueue *voice = ap->first_sub; voice;)
      {
        if (count == capacity)
          {
            rest_ap = ap;
            rest = voice;
            break;
          }
        VornVoiceBlock *b = &priv->blocks[count + 1];
        voice = fill_block (b, ap, voice);
        pit->prey[count++] = b;
      }

  /* A single block is never worth sharing, nor worth timing. */
  if (count == 1)
    render_block (static_cast<VornVoiceBlock *> (pit->prey[0]));
  else
    {
      vorn_thread_pit_hand_out (pit, count);
      while (gpointer block = vorn_thread_pit_take (pit))
        render_block (static_cast<VornVoiceBlock *> (block));
      vorn_thread_pit_wait_done (pit);
    }

  gboolean kept = TRUE;
  for (guint i = 0; i < count; i++)
    if (!finish_block (static_cast<VornVoiceBlock *> (pit->prey[i])))
      kept = FALSE;

  VornVoiceBlock *b = &priv->blocks[0];
  for (VornAttachPoint *ap = rest_ap, *next_ap; ap; ap = next_ap)
    {
      next_ap = ap->next_live;
      for (VornQueue *voice = ap == rest_ap ? rest : ap->first_sub; voice;)
        {
          voice = fill_block (b, ap, voice);
          render_block (b);
          if (!finish_block (b))
            kept = FALSE;
        }
    }
  return kept;
}

gboolean
vorn_queue_render (VornQueue *queue)
{
  g_return_val_if_fail (VORN_IS_QUEUE (queue), FALSE);

  VornQueuePrivate *priv = vorn_queue_priv (queue);
  gboolean detached = FALSE;

  if (VornAttribVal *outputs = priv->context.speaker_outputs)
    {
      const gsize bytes = VORN_FRAGMENT_SIZE * sample_size (queue);
      for (guint k = 0; k < queue->speaker_count; k++)
        {
          VornAttribVal *out = &outputs[k];
          out->state = VORN_ATTRIB_STATE_DYNAMIC;
          if (out->buffer)
            memset (out->buffer, 0, bytes);
        }
    }

  /* Results of master generators change nothing: its routing is fixed. */
  for (VornGen *gen = priv->chain; gen; gen = gen->chain_next)
    gen->render (gen);

  if (priv->first_live && priv->blocks
      && !(priv->pit ? render_voices_spread (priv) : render_voices_alone (priv)))
    detached = TRUE;

  for (VornGen *gen = priv->post_chain; gen; gen = gen->chain_next)
    gen->render (gen);

  return !detached;
}

void
vorn_queue_set_speaker_outputs (VornQueue *queue, VornAttribVal *outputs)
{
  g_return_if_fail (VORN_IS_QUEUE (queue));
  vorn_queue_priv (queue)->context.speaker_outputs = outputs;
}

VornAttribVal *
vorn_queue_get_speaker_outputs (VornQueue *queue)
{
  g_return_val_if_fail (VORN_IS_QUEUE (queue), NULL);
  return vorn_queue_priv (queue)->context.speaker_outputs;
}
