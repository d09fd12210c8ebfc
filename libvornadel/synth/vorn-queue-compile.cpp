/* vorn-queue-compile.cpp: compiling node trees into generator queues and
 * routing attributes between the generators */
#include "vorn-queue-internal.h"

#include "vorn-aligned.h"
#include "vorn-kernel-table.h"
#include "vorn-synth.h"
#include "vorn-synth-private.h"
#include "vorn-wave.h"

#include <cstring>
#include <new>
#include <vector>

G_DEFINE_TYPE_WITH_PRIVATE (VornQueue, vorn_queue, G_TYPE_OBJECT)

gint vorn_queue_private_offset;

/* Generators, a layer below, know the queue's type only by name (for their
 * "queue" property), so it exists as soon as the library is loaded. */
__attribute__ ((constructor)) static void
register_queue_type (void)
{
  g_type_ensure (VORN_TYPE_QUEUE);
}

VornNode *vorn_queue_inst_nodes[3];

VornQueuePrivate *
vorn_queue_get_private (VornQueue *queue)
{
  g_return_val_if_fail (VORN_IS_QUEUE (queue), NULL);
  return vorn_queue_priv (queue);
}

static inline bool
is_routed (guint32 type)
{
  return type >= VORN_ATTRIB_TYPE_TIME && type <= VORN_ATTRIB_TYPE_MORPH;
}

static VornAttribVal *
default_val (VornQueue *queue, guint32 type)
{
  /* Defaults are shared read-only records; generators only read inputs. */
  return const_cast<VornAttribVal *> (
    vorn_attrib_get_default_value (VornAttribType (type), VornFormat (queue->format)));
}

/* ---- object ------------------------------------------------------------ */

static void alloc_blocks (VornQueue *queue, VornQueuePrivate *priv);

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
  VornQueuePrivate *priv = vorn_queue_priv (queue);

  /* Never leave a voice pointing at a dead master, or a master at a dead
   * voice. */
  if (priv->parentAttach)
    vorn_queue_detach (queue);
  if (priv->attachPointCount > 0)
    vorn_queue_detach_all (queue);

  g_clear_pointer (&priv->pit, vorn_thread_pit_free);

  VornGen *gen = priv->first_gen;
  while (gen)
    {
      VornGen *next = gen->next;
      /* The queue dropped the reference each generator holds on it when the
       * generator was created (else the two would keep each other alive). */
      if (gen->queue == queue)
        gen->queue = nullptr;
      g_object_unref (gen);
      gen = next;
    }
  priv->first_gen = priv->last_gen = priv->chain = nullptr;

  g_clear_pointer (&priv->slots, g_free);
  g_clear_pointer (&priv->slot_vals, g_free);
  g_clear_pointer (&priv->buffers, vorn_util_free_aligned);
  g_clear_pointer (&priv->carry, vorn_util_free_aligned);
  g_clear_pointer (&priv->blocks, vorn_util_free_aligned);
  g_clear_pointer (&priv->block_buffers, vorn_util_free_aligned);
  g_clear_pointer (&priv->controls, g_free);
  g_clear_pointer (&priv->attach_points, g_free);
  priv->slot_count = priv->control_count = priv->attachPointCount = 0;

  g_clear_object (&queue->node);

  G_OBJECT_CLASS (vorn_queue_parent_class)->finalize (object);
}

static void
vorn_queue_class_init (VornQueueClass *klass)
{
  G_OBJECT_CLASS (klass)->finalize = vorn_queue_finalize;
  vorn_queue_private_offset = VornQueue_private_offset;

  /* Process-wide, like the class itself. */
  vorn_queue_inst_nodes[0] = VORN_NODE (
    vorn_wave_new_control ("Pitch", VORN_ATTRIB_TYPE_PITCH, VORN_WAVE_OP_MUL, 1.0));
  vorn_queue_inst_nodes[1] = VORN_NODE (
    vorn_wave_new_control ("Volume", VORN_ATTRIB_TYPE_VOLUME, VORN_WAVE_OP_MUL, 1.0));
  vorn_queue_inst_nodes[2] = VORN_NODE (
    vorn_wave_new_control ("Balance", VORN_ATTRIB_TYPE_BALANCE, VORN_WAVE_OP_ADD, 0.0));
}

/* ---- render chain ------------------------------------------------------ */

static bool
is_descendant (VornNode *node, VornNode *ancestor)
{
  for (VornNode *p = node ? node->parent : nullptr; p; p = p->parent)
    if (p == ancestor)
      return true;
  return false;
}

/* Links every active generator whose ancestors' generators are all active,
 * in creation order.  Going backwards, a generator that is not active hides
 * the generators just before it that belong to its subtree (post-order puts
 * a subtree right before its root).  Unlike a bound on levels alone, this
 * keeps the deeper children of a generator-less sibling. */
void
vorn_queue_build_chain (VornQueuePrivate *priv)
{
  VornGen *head = nullptr;
  VornNode *hidden = nullptr;

  for (VornGen *gen = priv->last_gen; gen; gen = gen->prev)
    {
      if (hidden && is_descendant (gen->node, hidden))
        continue;
      hidden = nullptr;
      if (gen->state != VORN_GEN_STATE_ACTIVE)
        {
          hidden = gen->node;
          continue;
        }
      gen->chain_next = head;
      head = gen;
    }
  priv->chain = head;
}

/* Chains the pre-attach segment and the segments of the live attach points
 * in index order. */
void
vorn_queue_relink_chain (VornQueuePrivate *priv)
{
  VornGen *head = nullptr, *tail = nullptr;
  auto append = [&head, &tail] (VornGen *first, VornGen *last) {
    if (!first)
      return;
    if (tail)
      tail->chain_next = first;
    else
      head = first;
    tail = last;
  };

  append (priv->pre_first, priv->pre_last);
  for (VornAttachPoint *ap = priv->first_live; ap; ap = ap->next_live)
    append (ap->chain_first, ap->chain_last);
  if (tail)
    tail->chain_next = nullptr;
  priv->chain = head;
}

/* ---- routing ----------------------------------------------------------- */

namespace {

/* The current record of every routed type during one resolution. */
struct Router
{
  VornQueue *queue;
  VornQueuePrivate *priv;
  VornAttribVal *cur[VORN_ATTRIB_TYPE_MORPH + 1];

  VornAttribVal *
  base (guint32 type) const
  {
    if (priv->parentAttach)
      return priv->parentAttach->attach_vals[type - 1];
    return default_val (queue, type);
  }

  /* Index of @val among the queue's output records, or -1. */
  gint
  slot_of (const VornAttribVal *val) const
  {
    if (!val || !priv->slot_vals || val < priv->slot_vals
        || val >= priv->slot_vals + priv->slot_count)
      return -1;
    return gint (val - priv->slot_vals);
  }

  /* Leaves scope down to @level: outputs written deeper go out of use, and
   * a type whose current record went with them falls back to the most
   * recent deepest output still in scope, else to the base record. */
  void
  climb_to (guint level)
  {
    VornQueueSlot *slots = priv->slots;
    bool freed = false;
    for (gint i = 0; i < priv->slot_count; i++)
      if (slots[i].type != 0 && slots[i].level > level)
        {
          slots[i].type = 0;
          freed = true;
        }
    if (!freed)
      return;

    for (guint32 t = VORN_ATTRIB_TYPE_TIME; t <= VORN_ATTRIB_TYPE_MORPH; t++)
      {
        gint s = slot_of (cur[t]);
        if (s < 0 || slots[s].type != 0)
          continue;
        gint best = -1;
        for (gint i = 0; i < priv->slot_count; i++)
          if (slots[i].type == t && slots[i].level <= level
              && (best < 0 || slots[i].level > slots[best].level
                  || (slots[i].level == slots[best].level && slots[i].order > slots[best].order)))
            best = i;
        cur[t] = best >= 0 ? &priv->slot_vals[best] : base (t);
      }
  }
};

} // namespace

/* The lowest level the post-order walk visits between generator nodes @a
 * (level @la) and @b (level @lb), @a first: @b's own level when @b is an
 * ancestor of @a (outputs deeper than @b's children are gone, @b still
 * reads its children's), else the level of @a's ancestor just below the
 * common ancestor (that subtree's outputs are gone).  When every node has a
 * generator this is exactly the level comparison of consecutive
 * generators. */
static guint
scope_level (VornNode *a, guint la, VornNode *b, guint lb)
{
  while (la > lb && a)
    {
      a = a->parent;
      la--;
    }
  if (a == b)
    return lb + 1;
  while (lb > la && b)
    {
      b = b->parent;
      lb--;
    }
  guint child_level = la;
  while (a && b && a != b)
    {
      child_level = la;
      a = a->parent;
      b = b->parent;
      la--;
    }
  return child_level;
}

void
vorn_queue_route (VornQueue *queue)
{
  VornQueuePrivate *priv = vorn_queue_priv (queue);
  Router r;
  r.queue = queue;
  r.priv = priv;
  r.cur[0] = nullptr;
  for (guint32 t = VORN_ATTRIB_TYPE_TIME; t <= VORN_ATTRIB_TYPE_MORPH; t++)
    r.cur[t] = r.base (t);

  for (gint i = 0; i < priv->slot_count; i++)
    priv->slots[i].type = 0;

  guint16 order = 0;
  guint prev_level = 0;
  VornGen *prev = nullptr;
  const guint speakers = queue->speaker_count;

  for (VornGen *gen = priv->chain; gen; prev = gen, gen = gen->chain_next)
    {
      /* Nodes without a generator (plain groups, attach points, muted or
       * waiting nodes) never show up in the chain, so the climb between two
       * generators is read off the tree. */
      if (prev)
        r.climb_to (scope_level (prev->node, prev->level, gen->node, gen->level));

      VornAttribVal **vals = gen->attrib_vals;
      for (guint i = 0; i < gen->src_count; i++)
        {
          guint32 t = gen->attribs[i];
          if (t == VORN_ATTRIB_TYPE_CONTROL)
            continue;
          if (t == VORN_ATTRIB_TYPE_SPEAKERS)
            {
              /* A mix only accumulates onto a sibling's speakers output. */
              gint s = r.slot_of (r.cur[t]);
              vals[i] = s >= 0 && priv->slots[s].level == gen->level ? r.cur[t] : nullptr;
            }
          else
            vals[i] = is_routed (t) ? r.cur[t] : nullptr;
        }

      for (guint j = 0; j < gen->dest_count; j++)
        {
          guint32 t = gen->attribs[gen->src_count + j];
          VornAttribVal *out = vals[gen->src_count + j];
          gint s = r.slot_of (out);
          if (s < 0)
            continue;
          guint width = 1;
          if (t == VORN_ATTRIB_TYPE_SPEAKERS)
            {
              r.cur[t] = out;
              if (speakers == 0)
                continue;
              width = MIN (speakers, guint (priv->slot_count - s));
            }
          for (guint k = 0; k < width; k++)
            {
              out[k].group_rest = guint8 (width - 1 - k);
              priv->slots[s + gint (k)] = VornQueueSlot { t, order, gen->level };
            }
          if (is_routed (t))
            r.cur[t] = out;
          order++;
        }

      if (gen->level < prev_level)
        r.climb_to (gen->level);
      prev_level = gen->level;
    }
}

void
vorn_queue_resolve_attributes (VornQueue *queue)
{
  g_return_if_fail (VORN_IS_QUEUE (queue));
  vorn_queue_route (queue);
}

/* ---- compilation ------------------------------------------------------- */

namespace {

struct Compiler
{
  VornQueue *queue;
  VornQueuePrivate *priv;
  std::vector<VornQueueSlot> slots;
  std::vector<VornAttribVal> controls;
  std::vector<VornAttachPoint> points;
  /* Per attach point: generators created before its subtree, and after. */
  std::vector<guint> point_start;
  std::vector<guint> point_end;
  guint gen_count = 0;
  guint16 order = 0;
  guint last_level = 0;

  gsize
  find_run (guint width)
  {
    guint run = 0;
    for (gsize i = 0; i < slots.size (); i++)
      {
        run = slots[i].type == 0 ? run + 1 : 0;
        if (run == width)
          return i + 1 - width;
      }
    /* A free run at the end is not extended: new entries are appended. */
    gsize start = slots.size ();
    slots.resize (start + width, VornQueueSlot { 0, 0, 0 });
    return start;
  }

  void
  add_gen (VornGen *gen, VornNode *node)
  {
    /* The generator holds a reference on its queue; the queue owns the
     * generator, so that reference would keep both alive forever. */
    if (gen->queue == queue)
      g_object_unref (queue);

    gen->next = nullptr;
    gen->chain_next = nullptr;
    gen->prev = priv->last_gen;
    if (priv->last_gen)
      priv->last_gen->next = gen;
    else
      priv->first_gen = gen;
    priv->last_gen = gen;
    gen_count++;

    for (guint i = 0; i < gen->src_count; i++)
      {
        gen->attrib_vals[i] = nullptr;
        if (gen->attribs[i] != VORN_ATTRIB_TYPE_CONTROL)
          continue;
        VornAttribVal c {};
        double init = VORN_IS_WAVE (node) ? VORN_WAVE (node)->init_value : 0.0;
        if (queue->format == VORN_FORMAT_DOUBLE)
          vorn_attrib_val_init_double (&c, nullptr, init);
        else
          vorn_attrib_val_init_float (&c, nullptr, float (init));
        c.format = queue->format;
        c.state = VORN_ATTRIB_STATE_CONST;
        controls.push_back (c);
        /* 1-based index until the array is final. */
        gen->attrib_vals[i] = reinterpret_cast<VornAttribVal *> (gsize (controls.size ()));
      }

    for (guint j = 0; j < gen->dest_count; j++)
      {
        guint32 t = gen->attribs[gen->src_count + j];
        guint width = t == VORN_ATTRIB_TYPE_SPEAKERS ? MAX (guint (queue->speaker_count), 1u) : 1;
        gsize start = find_run (width);
        for (guint k = 0; k < width; k++)
          slots[start + k] = VornQueueSlot { t, order, gen->level };
        gen->attrib_vals[gen->src_count + j] = reinterpret_cast<VornAttribVal *> (start + 1);
        order++;
      }
  }

  /* The attach point's view at the end of its subtree: per type, the
   * deepest, then most recent, output in use. */
  void
  complete_point (gsize index, guint level)
  {
    VornAttachPoint &ap = points[index];
    point_end[index] = gen_count;
    if (point_end[index] > point_start[index])
      {
        VornGen *first = priv->first_gen;
        for (guint i = 0; i < point_start[index]; i++)
          first = first->next;
        ap.first_gen = first;
        ap.last_gen = priv->last_gen;
      }

    for (guint32 t = VORN_ATTRIB_TYPE_TIME; t <= VORN_ATTRIB_TYPE_MORPH; t++)
      {
        gssize best = -1;
        for (gsize i = 0; i < slots.size (); i++)
          if (slots[i].type == t
              && (best < 0 || slots[i].level > slots[best].level
                  || (slots[i].level == slots[best].level && slots[i].order > slots[best].order)))
            best = gssize (i);
        ap.attach_vals[t - 1] = reinterpret_cast<VornAttribVal *> (gsize (best + 1));
      }

    /* The channel's own outputs stay its own: a later channel must not
     * write over the records this channel's voices read. */
    for (auto &s : slots)
      if (s.type != 0 && s.level > level)
        s.type = VORN_QUEUE_SLOT_RESERVED;
  }

  void
  visit (VornNode *node, guint level, gssize point)
  {
    if (!node->mute)
      {
        VornGen *gen = vorn_node_create_gen (node, queue);
        if (gen)
          add_gen (gen, node);
      }

    if (point >= 0)
      complete_point (gsize (point), level);

    if (last_level > level)
      for (auto &s : slots)
        if (s.type != 0 && s.type != VORN_QUEUE_SLOT_RESERVED && s.level > level)
          s.type = 0;
    last_level = level;
  }

  /* Post-order, opening an attach point when its subtree is entered, so
   * that its first generator is known even when it lies deeper down. */
  void
  walk (VornNode *node, guint level)
  {
    gssize point = -1;
    if (node->attach_point)
      {
        VornAttachPoint ap {};
        ap.queue = queue;
        point = gssize (points.size ());
        points.push_back (ap);
        point_start.push_back (gen_count);
        point_end.push_back (gen_count);
      }
    for (VornNode *child = node->children; child; child = child->next)
      walk (child, level + 1);
    visit (node, MIN (level, 255u), point);
  }
};

} // namespace

/* Finds, in the full render chain of a master, the pre-attach segment,
 * the segment of each attach point and the start of the post-attach
 * segment.  Generators between two attach points' subtrees belong to no
 * segment and render only in the full chain, which is used for routing. */
static void
find_segments (VornQueuePrivate *priv, const Compiler &c)
{
  const gsize n = gsize (priv->attachPointCount);
  VornGen *p = priv->chain;
  gsize k = 0;
  guint i = 0;

  for (VornGen *gen = priv->first_gen; gen; gen = gen->next, i++)
    {
      if (gen != p)
        continue;
      p = p->chain_next;

      VornGen **first = nullptr, **last = nullptr;
      if (i < c.point_start[0])
        first = &priv->pre_first, last = &priv->pre_last;
      else if (i >= c.point_end[n - 1])
        {
          if (!priv->post_chain)
            priv->post_chain = gen;
          continue;
        }
      else
        {
          while (k < n && i >= c.point_end[k])
            k++;
          if (k < n && i >= c.point_start[k])
            first = &priv->attach_points[k].chain_first, last = &priv->attach_points[k].chain_last;
        }
      if (first)
        {
          if (!*first)
            *first = gen;
          *last = gen;
        }
    }
}

static const VornKernelVariant<VornQueueAddFunc> add_table[] = {
  VORN_KERNEL_VARIANTS (vorn_queue_add_fragment),
};

VornQueue *
vorn_queue_new (VornNode *node, VornSynth *synth)
{
  g_return_val_if_fail (VORN_IS_NODE (node), NULL);
  g_return_val_if_fail (VORN_IS_SYNTH (synth), NULL);

  VornRenderContext ctx;
  vorn_synth_get_render_context (synth, &ctx);
  return vorn_queue_new_with_context (node, synth, &ctx);
}

VornQueue *
vorn_queue_new_with_context (VornNode *node, VornSynth *synth, const VornRenderContext *ctx)
{
  g_return_val_if_fail (VORN_IS_NODE (node), NULL);
  g_return_val_if_fail (ctx != NULL, NULL);

  auto *queue = static_cast<VornQueue *> (g_object_new (VORN_TYPE_QUEUE, nullptr));
  VornQueuePrivate *priv = vorn_queue_priv (queue);
  queue->synth = synth;
  queue->node = VORN_NODE (g_object_ref (node));

  /* The generators made below find the context through the queue. */
  priv->context = *ctx;
  priv->context.speaker_count = MIN (ctx->speaker_count, guint (G_MAXUINT16));
  priv->context.max_voices = CLAMP (ctx->max_voices, 1u, guint (G_MAXUINT16));
  priv->context.format = ctx->format == VORN_FORMAT_DOUBLE ? VORN_FORMAT_DOUBLE : VORN_FORMAT_SINGLE;
  priv->context.speaker_outputs = nullptr;
  priv->context.tap_mode = &queue->tap_mode;
  vorn_render_context_attach (queue, &priv->context);
  priv->add_fragment = vorn_kernel_pick (add_table, priv->context.format, priv->context.simd);
  const guint cores = MAX (ctx->cores, 1u);

  queue->sample_rate = priv->context.sample_rate;
  queue->max_voices = guint16 (priv->context.max_voices);
  queue->speaker_count = guint16 (priv->context.speaker_count);
  queue->format = guint8 (priv->context.format);

  Compiler c;
  c.queue = queue;
  c.priv = priv;
  for (VornNode *inst : vorn_queue_inst_nodes)
    c.visit (inst, 0, -1);
  c.walk (node, vorn_node_level (node));

  /* Fixed arrays and one aligned block of buffers. */
  priv->slot_count = gint32 (c.slots.size ());
  priv->slots = static_cast<VornQueueSlot *> (
    g_memdup2 (c.slots.data (), c.slots.size () * sizeof (VornQueueSlot)));
  priv->slot_vals = g_new0 (VornAttribVal, MAX (c.slots.size (), gsize (1)));
  const gsize frag_bytes = VORN_FRAGMENT_SIZE * sample_size (queue);
  if (priv->slot_count > 0)
    {
      priv->buffers = vorn_util_alloc_aligned (gsize (priv->slot_count) * frag_bytes);
      memset (priv->buffers, 0, gsize (priv->slot_count) * frag_bytes);
    }
  for (gint i = 0; i < priv->slot_count; i++)
    {
      priv->slot_vals[i].buffer = static_cast<guint8 *> (priv->buffers) + gsize (i) * frag_bytes;
      priv->slot_vals[i].format = queue->format;
    }
  priv->control_count = gint32 (c.controls.size ());
  priv->controls = static_cast<VornAttribVal *> (
    g_memdup2 (c.controls.data (), c.controls.size () * sizeof (VornAttribVal)));
  priv->attachPointCount = gint32 (c.points.size ());
  priv->attach_points = static_cast<VornAttachPoint *> (
    g_memdup2 (c.points.data (), c.points.size () * sizeof (VornAttachPoint)));

  vorn_queue_build_chain (priv);
  alloc_blocks (queue, priv);

  /* Indices become record pointers. */
  for (VornGen *gen = priv->first_gen; gen; gen = gen->next)
    {
      for (guint i = 0; i < gen->src_count; i++)
        if (gen->attrib_vals[i])
          gen->attrib_vals[i] = &priv->controls[reinterpret_cast<gsize> (gen->attrib_vals[i]) - 1];
      for (guint j = gen->src_count; j < guint (gen->src_count) + gen->dest_count; j++)
        gen->attrib_vals[j] = &priv->slot_vals[reinterpret_cast<gsize> (gen->attrib_vals[j]) - 1];
    }

  /* A voice queue is routed when it is attached.  Its carry lets it start
   * in the middle of a fragment without allocating then. */
  if (priv->attachPointCount == 0)
    {
      const gsize carry_bytes = MAX (gsize (queue->speaker_count), gsize (1)) * frag_bytes;
      priv->carry = vorn_util_alloc_aligned (carry_bytes);
      memset (priv->carry, 0, carry_bytes);
      return queue;
    }

  for (gint k = 0; k < priv->attachPointCount; k++)
    {
      VornAttachPoint *ap = &priv->attach_points[k];
      for (guint32 t = VORN_ATTRIB_TYPE_TIME; t <= VORN_ATTRIB_TYPE_MORPH; t++)
        {
          gsize index = reinterpret_cast<gsize> (ap->attach_vals[t - 1]);
          if (index)
            ap->attach_vals[t - 1] = &priv->slot_vals[index - 1];
          else
            ap->attach_vals[t - 1] = t == VORN_ATTRIB_TYPE_SPEAKERS ? nullptr : default_val (queue, t);
        }
    }

  /* Route over the whole tree, as if every channel were live, then cut the
   * segments apart: channels render only while they have voices, the
   * generators after the last point after the voices. */
  find_segments (priv, c);
  vorn_queue_route (queue);
  if (priv->pre_last)
    priv->pre_last->chain_next = nullptr;
  for (gint k = 0; k < priv->attachPointCount; k++)
    if (priv->attach_points[k].chain_last)
      priv->attach_points[k].chain_last->chain_next = nullptr;
  priv->chain = nullptr;

  vorn_queue_set_cpu_cores (queue, cores, nullptr);
  return queue;
}

VornGen *
vorn_queue_get_gens (VornQueue *queue)
{
  g_return_val_if_fail (VORN_IS_QUEUE (queue), NULL);
  return vorn_queue_priv (queue)->first_gen;
}

/* ---- control ids ------------------------------------------------------ */

namespace {

struct ControlCount
{
  VornWave *ctrl;
  int count;
  bool found;
};

} // namespace

static gboolean
count_control (VornNode *node, gpointer data)
{
  auto *cc = static_cast<ControlCount *> (data);
  if (node == VORN_NODE (cc->ctrl))
    {
      cc->found = true;
      return FALSE;
    }
  if (!node->mute && VORN_IS_WAVE (node) && VORN_WAVE (node)->y_attrib == VORN_ATTRIB_TYPE_CONTROL)
    cc->count++;
  return TRUE;
}

int
vorn_queue_node_get_control_id (VornNode *node, VornWave *ctrl)
{
  g_return_val_if_fail (VORN_IS_NODE (node), -1);
  g_return_val_if_fail (VORN_IS_WAVE (ctrl), -1);

  ControlCount cc { ctrl, 0, false };
  vorn_node_post_traverse (node, count_control, &cc);
  return cc.found ? cc.count : -1;
}

/* ---- voice blocks ----------------------------------------------------- */

/* Masters get blocks enough for max-voices voices however they are shared
 * out over the attach points, plus one for voices beyond (attached by
 * hand), which are rendered one block at a time. */
static void
alloc_blocks (VornQueue *queue, VornQueuePrivate *priv)
{
  if (priv->attachPointCount <= 0)
    return;
  const gsize frag_bytes = VORN_FRAGMENT_SIZE * sample_size (queue);
  const gsize speakers = MAX (queue->speaker_count, guint16 (1));
  priv->block_capacity = gint32 (MIN (queue->max_voices / VOICE_BLOCK + guint (priv->attachPointCount) + 1,
                                      0xffffu));
  priv->blocks = static_cast<VornVoiceBlock *> (
    vorn_util_alloc_aligned (sizeof (VornVoiceBlock) * gsize (priv->block_capacity)));
  priv->block_buffers = vorn_util_alloc_aligned (gsize (priv->block_capacity) * speakers * frag_bytes);
  for (gint32 i = 0; i < priv->block_capacity; i++)
    {
      VornVoiceBlock *b = new (&priv->blocks[i]) VornVoiceBlock ();
      b->partial = static_cast<guint8 *> (priv->block_buffers) + gsize (i) * speakers * frag_bytes;
    }
}

