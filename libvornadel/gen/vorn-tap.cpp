/* vorn-tap.cpp: tap node and its ring-buffer recording generator */
#include "vorn-tap.h"
#include "vorn-gen-private.h"
#include "vorn-node-private.h"

#include "vorn-aligned.h"
#include "vorn-init.h"

#include <atomic>
#include <cstring>

/* The render thread writes the ring while GUI threads read it, and a slow
 * reader may be lapped.  Every sample is therefore accessed with relaxed
 * atomics (plain moves on x86-64), and the frame counter publishes whole
 * fragments with release/acquire ordering. */
using AtomicSample = std::atomic_ref<double>;
using AtomicFrames = std::atomic_ref<guint64>;

/* ---- VornTap ---------------------------------------------------------- */

enum {
  PROP_0,
  PROP_ATTRIB,
  PROP_SIZE,
  N_PROPS
};

/* Frames per channel a tap may hold: about four seconds at the highest
 * sample rate the synthesizer accepts (1 MHz), 32 MiB per channel.  A file
 * cannot ask for more, since every voice that plays it allocates the ring. */
#define VORN_TAP_MAX_SIZE (1 << 22)

G_DEFINE_ENUM_TYPE (VornQueueTapMode, vorn_queue_tap_mode,
  G_DEFINE_ENUM_VALUE (VORN_QUEUE_TAP_MODE_ACTIVE, "active"),
  G_DEFINE_ENUM_VALUE (VORN_QUEUE_TAP_MODE_CLEAR, "clear"),
  G_DEFINE_ENUM_VALUE (VORN_QUEUE_TAP_MODE_PAUSED, "paused"))

static GParamSpec *properties[N_PROPS];

G_DEFINE_TYPE (VornTap, vorn_tap, VORN_TYPE_NODE)
G_DEFINE_TYPE (VornTapGen, vorn_tap_gen, VORN_TYPE_GEN)

static void
vorn_tap_init (VornTap *tap)
{
  tap->attrib = VORN_ATTRIB_TYPE_SIGNAL;
  tap->size = VORN_TAP_DEFAULT_SIZE;
}

static void
vorn_tap_constructed (GObject *object)
{
  VornTap *tap = VORN_TAP (object);

  if (tap->size == 0)
    tap->size = VORN_TAP_DEFAULT_SIZE;
  else if (tap->size < VORN_FRAGMENT_SIZE)
    /* Recording writes whole fragments and wraps at most once per fragment. */
    tap->size = VORN_FRAGMENT_SIZE;

  G_OBJECT_CLASS (vorn_tap_parent_class)->constructed (object);
}

static void
vorn_tap_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornTap *tap = VORN_TAP (object);

  switch (prop_id)
    {
    case PROP_ATTRIB:
      g_value_set_enum (value, tap->attrib);
      break;
    case PROP_SIZE:
      g_value_set_int (value, tap->size);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
vorn_tap_set_property (GObject *object, guint prop_id, const GValue *value, GParamSpec *pspec)
{
  VornTap *tap = VORN_TAP (object);

  switch (prop_id)
    {
    case PROP_ATTRIB:
      vorn_node_set_attrib_property (object, &tap->attrib, value, pspec);
      break;
    case PROP_SIZE:
      tap->size = g_value_get_int (value);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static VornNode *
vorn_tap_duplicate (VornNode *node)
{
  VornTap *tap = VORN_TAP (node);
  VornTap *copy = VORN_TAP (VORN_NODE_CLASS (vorn_tap_parent_class)->duplicate (node));

  copy->attrib = tap->attrib;
  copy->size = tap->size;
  return VORN_NODE (copy);
}

static VornGen *
vorn_tap_create_gen (VornNode *node, VornQueue *queue)
{
  return VORN_GEN (g_object_new (VORN_TYPE_TAP_GEN, "node", node, "queue", queue, nullptr));
}

static void
vorn_tap_class_init (VornTapClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  VornNodeClass *node_class = VORN_NODE_CLASS (klass);

  object_class->constructed = vorn_tap_constructed;
  object_class->get_property = vorn_tap_get_property;
  object_class->set_property = vorn_tap_set_property;
  node_class->duplicate = vorn_tap_duplicate;
  node_class->create_gen = vorn_tap_create_gen;
  node_class->transient = 1;

  properties[PROP_ATTRIB] =
    g_param_spec_enum ("attrib", "Attrib", "Attribute to monitor", VORN_TYPE_ATTRIB_TYPE,
                       VORN_ATTRIB_TYPE_SIGNAL,
                       GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                    G_PARAM_EXPLICIT_NOTIFY));
  properties[PROP_SIZE] =
    g_param_spec_int ("size", "Size", "Size of record buffer", 0, VORN_TAP_MAX_SIZE,
                      VORN_TAP_DEFAULT_SIZE,
                      GParamFlags (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY |
                                   G_PARAM_STATIC_STRINGS));

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

VornTap *
vorn_tap_new (VornAttribType attrib, int size)
{
  return VORN_TAP (g_object_new (VORN_TYPE_TAP, "attrib", attrib, "size", size, nullptr));
}

/* ---- VornTapGen ------------------------------------------------------- */

template <typename T>
static inline double
record_value (const VornAttribVal *val)
{
  if constexpr (sizeof (T) == sizeof (double))
    return val->value.d;
  else
    return double (val->value.f);
}

/* One fragment of every channel, into the ring from the current position. */
template <typename T>
static gboolean
tap_write (VornTapGen *gen)
{
  /* The tap mode is written between fragments by the thread rendering this
   * queue.  Paused: the history and its frame counter stand still so that
   * it can be browsed.  Clear (on resume): forget the history once. */
  guint8 *mode = vorn_gen_get_context (&gen->parent_instance)->tap_mode;
  if (mode && *mode != VORN_QUEUE_TAP_MODE_ACTIVE)
    {
      if (*mode == VORN_QUEUE_TAP_MODE_PAUSED)
        return TRUE;
      AtomicFrames (gen->frames).exchange (0, std::memory_order_acq_rel);
      *mode = VORN_QUEUE_TAP_MODE_ACTIVE;
    }

  /* Only this thread advances the counter, so the value read here stays
   * valid unless a reader clears it meanwhile. */
  const guint64 n = AtomicFrames (gen->frames).load (std::memory_order_relaxed);
  const gsize size = gsize (gen->size);
  const gsize p = gsize (n % size);
  const gsize head = MIN (gsize (VORN_FRAGMENT_SIZE), size - p);

  for (gint32 c = 0; c < gen->channels; c++)
    {
      double *region = gen->ring + gsize (c) * size;
      const VornAttribVal *val = gen->val ? gen->val + c : nullptr;

      if (val && val->state == VORN_ATTRIB_STATE_DYNAMIC)
        {
          const T *src = static_cast<const T *> (val->buffer);
          for (gsize i = 0; i < head; i++)
            AtomicSample (region[p + i]).store (double (src[i]), std::memory_order_relaxed);
          for (gsize i = head; i < VORN_FRAGMENT_SIZE; i++)
            AtomicSample (region[i - head]).store (double (src[i]), std::memory_order_relaxed);
        }
      else
        {
          /* A tap without an input records silence, so that readers still
           * see time pass. */
          const double k = val ? record_value<T> (val) : 0.0;
          for (gsize i = 0; i < head; i++)
            AtomicSample (region[p + i]).store (k, std::memory_order_relaxed);
          for (gsize i = head; i < VORN_FRAGMENT_SIZE; i++)
            AtomicSample (region[i - head]).store (k, std::memory_order_relaxed);
        }
    }

  /* Publish the fragment.  If a reader cleared the tap while it was being
   * written, the clear wins and this fragment is dropped: counting it would
   * expose frames written at the old position as the first ones after the
   * clear. */
  guint64 expected = n;
  AtomicFrames (gen->frames)
    .compare_exchange_strong (expected, n + VORN_FRAGMENT_SIZE, std::memory_order_release,
                              std::memory_order_relaxed);
  return TRUE;
}

gboolean
vorn_tap_gen_write_double (VornTapGen *gen)
{
  return tap_write<double> (gen);
}

gboolean
vorn_tap_gen_write_float (VornTapGen *gen)
{
  return tap_write<float> (gen);
}

/* The render slot takes the base type; these adapters avoid calling through
 * a mismatched function pointer type. */
static gboolean
render_double (VornGen *gen)
{
  return tap_write<double> (reinterpret_cast<VornTapGen *> (gen));
}

static gboolean
render_float (VornGen *gen)
{
  return tap_write<float> (reinterpret_cast<VornTapGen *> (gen));
}

static void
vorn_tap_gen_init (VornTapGen *tap_gen)
{
  VornGen *gen = VORN_GEN (tap_gen);

  tap_gen->attrib = VORN_ATTRIB_TYPE_SIGNAL;
  tap_gen->size = VORN_TAP_DEFAULT_SIZE;
  tap_gen->channels = 1;
  gen->attribs = &tap_gen->attrib;
  gen->attrib_vals = &tap_gen->val;
  gen->src_count = 1;
  gen->dest_count = 0;
}

static void
vorn_tap_gen_constructed (GObject *object)
{
  G_OBJECT_CLASS (vorn_tap_gen_parent_class)->constructed (object);

  VornTapGen *tap_gen = VORN_TAP_GEN (object);
  VornGen *gen = VORN_GEN (object);

  const VornRenderContext *ctx = vorn_gen_get_context (gen);
  const guint speakers = ctx->speaker_count;
  const VornFormat format = ctx->format;

  if (VORN_IS_TAP (gen->node))
    {
      VornTap *tap = VORN_TAP (gen->node);
      tap_gen->attrib = tap->attrib;
      tap_gen->size = MAX (tap->size, VORN_FRAGMENT_SIZE);
    }
  tap_gen->channels = tap_gen->attrib == VORN_ATTRIB_TYPE_SPEAKERS ? gint32 (MAX (speakers, 1u)) : 1;

  gsize bytes = gsize (tap_gen->channels) * gsize (tap_gen->size) * sizeof (double);
  tap_gen->ring = static_cast<double *> (vorn_util_alloc_aligned (bytes));
  memset (tap_gen->ring, 0, bytes);

  gen->render = format == VORN_FORMAT_DOUBLE ? render_double : render_float;
}

static void
vorn_tap_gen_finalize (GObject *object)
{
  VornTapGen *tap_gen = VORN_TAP_GEN (object);

  g_clear_pointer (&tap_gen->ring, vorn_util_free_aligned);

  G_OBJECT_CLASS (vorn_tap_gen_parent_class)->finalize (object);
}

static void
vorn_tap_gen_class_init (VornTapGenClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->constructed = vorn_tap_gen_constructed;
  object_class->finalize = vorn_tap_gen_finalize;
}

int
vorn_tap_gen_read (VornTapGen *gen, double *out, int max_frames, guint channel, int pos,
                   guint64 *start_out)
{
  g_return_val_if_fail (VORN_IS_TAP_GEN (gen), 0);
  g_return_val_if_fail (out != NULL || max_frames <= 0, 0);
  g_return_val_if_fail (channel < guint (gen->channels), 0);

  const guint64 n = AtomicFrames (gen->frames).load (std::memory_order_acquire);
  const guint64 size = guint64 (gen->size);

  guint64 start;
  if (pos >= 0)
    start = n < size ? guint64 (pos) : n - size + guint64 (pos);
  else
    {
      const guint64 back = guint64 (-gint64 (pos));
      if (back > n)
        return 0;
      start = n - back;
    }

  if (start >= n || n - start > size)
    return 0;

  if (start_out)
    *start_out = start;

  const guint64 count = MIN (guint64 (MAX (max_frames, 0)), n - start);
  const double *region = gen->ring + gsize (channel) * gsize (size);
  gsize p = gsize (start % size);
  for (guint64 i = 0; i < count; i++)
    {
      out[i] = AtomicSample (const_cast<double &> (region[p])).load (std::memory_order_relaxed);
      if (++p == size)
        p = 0;
    }
  return int (count);
}

guint64
vorn_tap_gen_get_data_size_time (VornTapGen *gen, guint64 *time_out)
{
  g_return_val_if_fail (VORN_IS_TAP_GEN (gen), 0);

  const guint64 n = AtomicFrames (gen->frames).load (std::memory_order_acquire);
  const guint64 held = MIN (n, guint64 (gen->size));
  if (time_out)
    *time_out = n - held;
  return held;
}

void
vorn_tap_gen_clear (VornTapGen *gen)
{
  g_return_if_fail (VORN_IS_TAP_GEN (gen));

  AtomicFrames (gen->frames).exchange (0, std::memory_order_acq_rel);
}
