/* vorn-queue.cpp: synthesis queue object */
#include "vorn-queue.h"
#include "vorn-synth.h"
#include "vorn-thread-pit.h"

G_DEFINE_ENUM_TYPE (VornQueueTapMode, vorn_queue_tap_mode,
  G_DEFINE_ENUM_VALUE (VORN_QUEUE_TAP_MODE_ACTIVE, "active"),
  G_DEFINE_ENUM_VALUE (VORN_QUEUE_TAP_MODE_CLEAR, "clear"),
  G_DEFINE_ENUM_VALUE (VORN_QUEUE_TAP_MODE_PAUSED, "paused"))

struct VornQueuePrivate {
  VornThreadPit *pit;
  /* Generators in creation order, linked through next and prev; the queue
   * holds one reference on each. */
  VornGen *first_gen;
  VornGen *last_gen;
  /* Head of the render chain, linked through chain_next. */
  VornGen *chain;
};

G_DEFINE_TYPE_WITH_PRIVATE (VornQueue, vorn_queue, G_TYPE_OBJECT)

static void
vorn_queue_init (VornQueue *queue)
{
  queue->speaker_count = 2;
  queue->max_voices = 100;
  queue->sample_rate = 48000.0;
}

static void
vorn_queue_finalize (GObject *object)
{
  VornQueue *queue = VORN_QUEUE (object);
  auto *priv = static_cast<VornQueuePrivate *> (vorn_queue_get_instance_private (queue));

  VornGen *gen = priv->first_gen;
  while (gen)
    {
      VornGen *next = gen->next;
      g_object_unref (gen);
      gen = next;
    }
  priv->first_gen = priv->last_gen = priv->chain = nullptr;

  g_clear_object (&queue->node);

  G_OBJECT_CLASS (vorn_queue_parent_class)->finalize (object);
}

static void
vorn_queue_class_init (VornQueueClass *klass)
{
  G_OBJECT_CLASS (klass)->finalize = vorn_queue_finalize;
}

VornQueue *
vorn_queue_new (VornNode *node, VornSynth *synth)
{
  g_return_val_if_fail (VORN_IS_NODE (node), NULL);
  g_return_val_if_fail (VORN_IS_SYNTH (synth), NULL);

  auto *queue = static_cast<VornQueue *> (g_object_new (VORN_TYPE_QUEUE, nullptr));
  queue->synth = synth;
  queue->node = VORN_NODE (g_object_ref (node));

  double sample_rate = 48000.0;
  guint max_voices = 100, speaker_count = 2;
  VornFormat format = VORN_FORMAT_SINGLE;
  g_object_get (synth, "sample-rate", &sample_rate, "max-voices", &max_voices,
                "speaker-count", &speaker_count, "audio-format", &format, nullptr);

  queue->sample_rate = sample_rate;
  queue->max_voices = guint16 (MIN (max_voices, G_MAXUINT16));
  queue->speaker_count = guint8 (MIN (speaker_count, G_MAXUINT8));
  queue->format = guint8 (format);

  return queue;
}

VornGen *
vorn_queue_get_gens (VornQueue *queue)
{
  g_return_val_if_fail (VORN_IS_QUEUE (queue), NULL);

  auto *priv = static_cast<VornQueuePrivate *> (vorn_queue_get_instance_private (queue));
  return priv->first_gen;
}
