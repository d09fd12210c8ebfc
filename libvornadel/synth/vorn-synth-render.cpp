/* vorn-synth-render.cpp: the synthesizer's render-thread side: the message
 * protocol as the renderer applies it, the render API, taps and the outbox
 * source that brings returned messages to a main loop */
#include "vorn-synth.h"
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

/* ---- render thread side of the message protocol -------------------------- */

guint
vorn_synth_render_room (const VornSynthPrivate *priv)
{
  return priv->rt->pending_cap - priv->rt->pending_count;
}

void
vorn_synth_render_send (VornSynthPrivate *priv, VornSynthMsg *msg)
{
  VornSynthRender *rt = priv->rt;
  /* Behind waiting messages, so that the order of returns holds. */
  if (rt->pending_count == 0 && vorn_synth_ring_push (priv->outbox, msg))
    rt->pushed = TRUE;
  else if (rt->pending_count < rt->pending_cap)
    rt->pending[rt->pending_count++] = msg;
}

static void
render_flush (VornSynthPrivate *priv)
{
  VornSynthRender *rt = priv->rt;
  guint sent = 0;
  while (sent < rt->pending_count && vorn_synth_ring_push (priv->outbox, rt->pending[sent]))
    sent++;
  if (sent)
    {
      rt->pushed = TRUE;
      rt->pending_count -= sent;
      memmove (rt->pending, rt->pending + sent, rt->pending_count * sizeof *rt->pending);
    }
}

VornSynthMsg *
vorn_synth_render_next (VornSynthPrivate *priv)
{
  if (priv->rt->pending_count)
    render_flush (priv);
  /* One message returns at most every voice and itself, which pending can
   * take only while it is empty. */
  if (priv->rt->pending_count)
    return nullptr;
  return vorn_synth_ring_pop (priv->inbox);
}

void
vorn_synth_render_wake (VornSynthPrivate *priv)
{
  if (!priv->rt->pushed)
    return;
  priv->rt->pushed = FALSE;
  vorn_synth_wake_outbox (priv);
}

void
vorn_synth_render_setup (VornSynthPrivate *priv, VornQueue *master, guint slots)
{
  VornSynthRender *rt = priv->rt;
  g_set_object (&rt->master, master);
  rt->pending_cap = slots + 2;
  rt->pending = g_new0 (VornSynthMsg *, rt->pending_cap);
  rt->pending_count = 0;
  rt->pushed = FALSE;
}

void
vorn_synth_render_teardown (VornSynthPrivate *priv)
{
  VornSynthRender *rt = priv->rt;
  for (guint i = 0; i < rt->pending_count; i++)
    vorn_synth_post_outbox (priv, rt->pending[i]);
  g_clear_pointer (&rt->pending, g_free);
  rt->pending_count = rt->pending_cap = 0;
  rt->pushed = FALSE;
  priv->rt->speaker_outputs = nullptr;
  g_clear_object (&rt->master);
}

void
vorn_synth_apply_master_controls (VornSynthPrivate *priv, VornQueue *master)
{
  GHashTableIter iter;
  gpointer key, value;
  g_rec_mutex_lock (&priv->api_lock);
  g_hash_table_iter_init (&iter, priv->master_controls);
  while (g_hash_table_iter_next (&iter, &key, &value))
    vorn_queue_set_control (master, int (GPOINTER_TO_UINT (key)), *static_cast<double *> (value),
                            VORN_WAVE_OP_SET);
  g_rec_mutex_unlock (&priv->api_lock);
}

/* ---- public render API ---------------------------------------------------- */

void
vorn_synth_render_interleaved (VornSynth *synth, float *out, guint frames)
{
  /* No type check on the render path; a class without renderer is silent. */
  g_return_if_fail (synth != NULL && out != NULL);
  VornSynthClass *klass = VORN_SYNTH_GET_CLASS (synth);
  if (klass->render_interleaved)
    klass->render_interleaved (synth, out, frames);
  else
    {
      VornSynthPrivate *priv = vorn_synth_get_private (synth);
      guint speakers = priv->started_speakers ? priv->started_speakers : priv->speaker_count;
      memset (out, 0, sizeof (float) * frames * speakers);
    }
}

void
vorn_synth_render_split (VornSynth *synth, float **out, guint frames)
{
  g_return_if_fail (synth != NULL && out != NULL);
  VornSynthClass *klass = VORN_SYNTH_GET_CLASS (synth);
  if (klass->render_split)
    klass->render_split (synth, out, frames);
  else
    {
      VornSynthPrivate *priv = vorn_synth_get_private (synth);
      guint speakers = priv->started_speakers ? priv->started_speakers : priv->speaker_count;
      for (guint s = 0; s < speakers; s++)
        memset (out[s], 0, sizeof (float) * frames);
    }
}

/* ---- taps ------------------------------------------------------------------ */

VornTapGen *
vorn_synth_queue_get_tap (VornQueue *queue, VornNode *tap)
{
  g_return_val_if_fail (VORN_IS_QUEUE (queue), NULL);
  g_return_val_if_fail (VORN_IS_NODE (tap), NULL);

  for (VornGen *gen = vorn_queue_get_gens (queue); gen; gen = gen->next)
    if (gen->node == tap && VORN_IS_TAP_GEN (gen))
      return VORN_TAP_GEN (g_object_ref (gen));
  return nullptr;
}

VornTapGen *
vorn_synth_get_master_tap (VornSynth *synth)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), NULL);
  VornSynthPrivate *priv = vorn_synth_get_private (synth);

  if (!priv->master_queue || !priv->node_tree)
    return nullptr;
  for (VornNode *node = priv->node_tree->children; node; node = node->next)
    if (VORN_IS_TAP (node))
      return vorn_synth_queue_get_tap (priv->master_queue, node);
  return nullptr;
}

/* ---- outbox source ---------------------------------------------------------- */

namespace {

struct OutboxSource
{
  GSource source;
  VornSynth *synth;
};

/* Messages to hand out, or prepared voices to compile: the render thread
 * took some, or an edit made them stale. */
gboolean
outbox_check (GSource *source)
{
  auto *os = reinterpret_cast<OutboxSource *> (source);
  VornSynthPrivate *priv = vorn_synth_get_private (os->synth);
  return vorn_synth_ring_count (priv->outbox) > 0 || g_atomic_int_get (&priv->want_prepare)
         || (priv->started && priv->prepare_voices
             && priv->prepared_serial != vorn_util_edit_serial ());
}

gboolean
outbox_prepare (GSource *source, int *timeout)
{
  *timeout = -1;
  return outbox_check (source);
}

gboolean
outbox_dispatch (GSource *source, GSourceFunc callback, gpointer user_data)
{
  auto *os = reinterpret_cast<OutboxSource *> (source);
  VornSynthPrivate *priv = vorn_synth_get_private (os->synth);

  /* Reset the counter first: a wake-up after it is for messages pushed
   * after the loop below may have finished. */
  if (priv->wake_fd >= 0)
    {
      guint64 n;
      ssize_t r = read (priv->wake_fd, &n, sizeof n);
      (void) r;
    }

  vorn_synth_refresh_voices (os->synth);

  auto func = reinterpret_cast<VornSynthOutboxFunc> (reinterpret_cast<void (*) (void)> (callback));
  /* Bounded, so that a busy renderer cannot starve the main loop. */
  for (guint left = vorn_synth_ring_capacity (priv->outbox); left; left--)
    {
      VornSynthMsg *msg = vorn_synth_ring_pop (priv->outbox);
      if (!msg)
        break;
      if (!func)
        {
          vorn_synth_msg_free (msg);
          continue;
        }
      if (!func (os->synth, msg, user_data))
        return G_SOURCE_REMOVE;
    }
  return G_SOURCE_CONTINUE;
}

void
outbox_finalize (GSource *source)
{
  auto *os = reinterpret_cast<OutboxSource *> (source);
  g_clear_object (&os->synth);
}

GSourceFuncs outbox_funcs = {
  outbox_prepare, outbox_check, outbox_dispatch, outbox_finalize, nullptr, nullptr,
};

} // namespace

GSource *
vorn_synth_outbox_source_new (VornSynth *synth)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), NULL);
  VornSynthPrivate *priv = vorn_synth_get_private (synth);

  GSource *source = g_source_new (&outbox_funcs, sizeof (OutboxSource));
  reinterpret_cast<OutboxSource *> (source)->synth = VORN_SYNTH (g_object_ref (synth));
  g_source_set_static_name (source, "VornSynth outbox");
  if (priv->wake_fd >= 0)
    g_source_add_unix_fd (source, priv->wake_fd, G_IO_IN);
  return source;
}
