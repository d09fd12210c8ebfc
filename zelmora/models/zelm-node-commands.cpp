/* zelm-node-commands.cpp: the editing commands of the node tree, free of
 * widgets */
#include "zelm-node-commands.h"

#include <initializer_list>

#include <cstring>
#include <utility>

/* ---- changes and the clipboard ------------------------------------------------- */

ZelmNodeChange *
zelm_node_change_new (void)
{
  auto *change = g_new0 (ZelmNodeChange, 1);
  for (GPtrArray **a : { &change->made, &change->removed, &change->reordered, &change->restatus,
                         &change->files, &change->closed, &change->kept })
    *a = g_ptr_array_new_with_free_func (g_object_unref);
  return change;
}

void
zelm_node_change_free (ZelmNodeChange *change)
{
  if (!change)
    return;
  for (GPtrArray *a : { change->made, change->removed, change->reordered, change->restatus,
                        change->files, change->closed, change->kept })
    g_ptr_array_unref (a);
  g_free (change);
}

static void
add_once (GPtrArray *array, gpointer object)
{
  if (object && !g_ptr_array_find (array, object, nullptr))
    g_ptr_array_add (array, g_object_ref (object));
}

static VornFile *
file_of (VornNode *node)
{
  VornNode *file = node ? vorn_node_get_parent_by_type (node, VORN_TYPE_FILE) : nullptr;
  return file ? VORN_FILE (file) : nullptr;
}

/* The file of @node changed. */
static void
touch (ZelmNodeChange *change, VornNode *node)
{
  add_once (change->files, file_of (node));
}

ZelmClipboard *
zelm_clipboard_new (void)
{
  return g_new0 (ZelmClipboard, 1);
}

void
zelm_clipboard_free (ZelmClipboard *clipboard)
{
  if (!clipboard)
    return;
  vorn_list_free (clipboard->nodes);
  g_free (clipboard);
}

void
zelm_clipboard_copy (ZelmClipboard *clipboard, GPtrArray *nodes)
{
  g_return_if_fail (clipboard && nodes);
  if (nodes->len == 0)
    return;
  vorn_list_free (clipboard->nodes);
  clipboard->nodes = nullptr;
  for (guint i = nodes->len; i-- > 0;)
    clipboard->nodes = g_list_prepend (
        clipboard->nodes, vorn_node_duplicate (static_cast<VornNode *> (g_ptr_array_index (nodes, i))));
}

/* ---- taps ------------------------------------------------------------------------ */

/* A tap records the node right before it: the two move and go together. */
static gboolean
has_tap (VornNode *node)
{
  return !VORN_IS_TAP (node) && node->next && VORN_IS_TAP (node->next);
}

static gboolean
is_owned_tap (VornNode *node)
{
  return VORN_IS_TAP (node) && node->prev && !VORN_IS_TAP (node->prev);
}

/* Where a node goes that is put "before" @target: a tap's own node keeps
 * its tap, so before a tap means after it. */
static int
position_before (VornNode *target)
{
  return vorn_node_position (target) + (is_owned_tap (target) ? 1 : 0);
}

/* Inserting numbers every node but a tap, which is runtime-only to the
 * engine; in a file the user edits it is saved like any node and gets an ID
 * here, so saving, reloading and undo all give the same text. */
static void
insert_numbered (VornNode *parent, VornNode *node, int pos)
{
  vorn_node_insert (parent, node, pos);
  VornNode *root = vorn_node_get_root (node);
  if (node->id == 0 && VORN_IS_FILE (root))
    g_object_set (node, "id", vorn_file_get_next_id (VORN_FILE (root)), nullptr);
}

static void
insert_made (ZelmNodeChange *change, VornNode *parent, VornNode *node, int pos)
{
  insert_numbered (parent, node, pos);
  g_ptr_array_add (change->made, g_object_ref (node));
  touch (change, node);
}

static void
unlink_removed (ZelmNodeChange *change, VornNode *node)
{
  touch (change, node);
  g_ptr_array_add (change->removed, g_object_ref (node));
  vorn_node_unlink (node);
}

/* ---- new nodes --------------------------------------------------------------------- */

static const struct {
  const char *kind, *label;
} kinds[] = {
  /* the wave presets, in their own order */
  { "sine", "Sine Wave" },
  { "triangle", "Triangle Wave" },
  { "square", "Square Wave" },
  { "saw-up", "Saw Wave Up" },
  { "saw-down", "Saw Wave Down" },
  { "volume-attack", "Volume Attack" },
  { "volume-release", "Volume Release" },
  { "volume-modulation", "Volume Modulation" },
  { "pitch-attack", "Pitch Attack" },
  { "pitch-release", "Pitch Release" },
  { "pitch-modulation", "Pitch Modulation" },
  { "balance-attack", "Balance Attack" },
  { "balance-release", "Balance Release" },
  { "balance-modulation", "Balance Modulation" },
  { "morph-attack", "Morph Attack" },
  { "morph-release", "Morph Release" },
  { "morph-modulation", "Morph Modulation" },
  /* control waves, by attribute */
  { "control-volume", "Volume Control" },
  { "control-pitch", "Pitch Control" },
  { "control-balance", "Balance Control" },
  { "control-morph", "Morph Control" },
  { "control-time", "Time Control" },
  { "rbj-bandpass", "RBJ Bandpass" },
  { "rbj-lowpass", "RBJ Lowpass" },
  { "rbj-highpass", "RBJ Highpass" },
  { "noise", "White Noise" },
  { "instrument", nullptr },
};

static const int FIRST_CONTROL = VORN_WAVE_PRESET_COUNT;

static int
kind_index (const char *kind)
{
  for (guint i = 0; kind && i < G_N_ELEMENTS (kinds); i++)
    if (strcmp (kinds[i].kind, kind) == 0)
      return int (i);
  return -1;
}

/* A parameter of a new filter: the name and value of the control wave
 * that feeds it. */
struct FilterParam {
  const char *name;
  double value;
};

/* Takes @filter and gives it control waves for its frequency and its Q (or
 * width), read through effect attributes of its own: a filter whose
 * parameters nothing writes filters at 20 Hz and silences the instrument.
 * The waves are ordinary rows the user sees and edits. */
static VornNode *
new_filter (VornNode *filter, const char *q_prop, FilterParam freq, FilterParam q)
{
  g_object_set (filter, "freq-attrib", VORN_ATTRIB_TYPE_EFFECT1, q_prop, VORN_ATTRIB_TYPE_EFFECT2,
                nullptr);
  for (auto [param, attrib] : { std::pair (freq, VORN_ATTRIB_TYPE_EFFECT1),
                                std::pair (q, VORN_ATTRIB_TYPE_EFFECT2) })
    {
      g_autoptr (VornWave) wave
          = vorn_wave_new_control (param.name, attrib, VORN_WAVE_OP_SET, param.value);
      vorn_node_insert (filter, VORN_NODE (wave), -1);
    }
  return filter;
}

gboolean
zelm_node_kind_is_valid (const char *kind)
{
  return kind_index (kind) >= 0;
}

VornNode *
zelm_node_new_of_kind (const char *kind)
{
  static const VornAttribType controls[] = { VORN_ATTRIB_TYPE_VOLUME, VORN_ATTRIB_TYPE_PITCH,
                                             VORN_ATTRIB_TYPE_BALANCE, VORN_ATTRIB_TYPE_MORPH,
                                             VORN_ATTRIB_TYPE_TIME };
  const int i = kind_index (kind);
  if (i < 0)
    return nullptr;
  if (i < VORN_WAVE_PRESET_COUNT)
    return VORN_NODE (vorn_wave_new_from_preset (VornWavePreset (i)));
  if (i < FIRST_CONTROL + int (G_N_ELEMENTS (controls)))
    return VORN_NODE (vorn_wave_new_control_default (kinds[i].label, controls[i - FIRST_CONTROL]));
  const char *k = kinds[i].kind;
  VornNode *node;
  if (strcmp (k, "instrument") == 0)
    return VORN_NODE (vorn_inst_new_default ());
  else if (strcmp (k, "rbj-bandpass") == 0)
    node = new_filter (VORN_NODE (vorn_filter_rbj_bandpass_new ()), "width-attrib",
                       { "Center", 1000.0 }, { "Width", 1.0 });
  else if (strcmp (k, "rbj-lowpass") == 0)
    node = new_filter (VORN_NODE (vorn_filter_rbj_lowpass_new ()), "q-attrib",
                       { "Cutoff", 2000.0 }, { "Q", G_SQRT2 / 2 });
  else if (strcmp (k, "rbj-highpass") == 0)
    node = new_filter (VORN_NODE (vorn_filter_rbj_highpass_new ()), "q-attrib",
                       { "Cutoff", 2000.0 }, { "Q", G_SQRT2 / 2 });
  else
    node = VORN_NODE (vorn_filter_noise_new ());
  /* A row of several "Untitled" nodes says nothing: name them as chosen. */
  g_object_set (node, "name", kinds[i].label, nullptr);
  return node;
}

void
zelm_node_target_context (VornNode *target, VornFile **file, VornInst **inst, VornNode **node)
{
  VornNode *i = target ? vorn_node_get_parent_by_type (target, VORN_TYPE_INST) : nullptr;
  if (file)
    *file = file_of (target);
  if (inst)
    *inst = i ? VORN_INST (i) : nullptr;
  if (node)
    *node = target && !VORN_IS_FILE (target) && !VORN_IS_INST (target) ? target : nullptr;
}

VornNode *
zelm_node_commands_new (VornNode *target, const char *kind, ZelmNodeChange *change)
{
  g_return_val_if_fail (change, nullptr);
  VornFile *cur_file;
  VornInst *cur_inst;
  VornNode *cur_node;
  zelm_node_target_context (target, &cur_file, &cur_inst, &cur_node);
  VornNode *parent = nullptr;
  int pos = -1;
  if (g_strcmp0 (kind, "instrument") == 0)
    parent = VORN_NODE (cur_file);
  else if (cur_node && cur_node->parent)
    {
      parent = cur_node->parent;
      pos = position_before (cur_node);
    }
  else if (cur_inst)
    parent = VORN_NODE (cur_inst);
  if (!parent)
    return nullptr;
  g_autoptr (VornNode) node = zelm_node_new_of_kind (kind);
  if (!node)
    return nullptr;
  insert_made (change, parent, node, pos);
  return node;
}

/* ---- rename, move ------------------------------------------------------------------- */

gboolean
zelm_node_commands_rename (VornNode *node, const char *name, ZelmNodeChange *change)
{
  g_return_val_if_fail (VORN_IS_NODE (node) && change, FALSE);
  if (!name || !*name)
    return FALSE;
  g_autofree char *old = nullptr;
  g_object_get (node, "name", &old, nullptr);
  if (g_strcmp0 (old, name) == 0)
    return FALSE;
  g_object_set (node, "name", name, nullptr);
  touch (change, node);
  return TRUE;
}

/* Returns: (transfer full): a copy of @owner's open files, each referenced;
 * free it with vorn_list_free(). */
static GList *
open_files (GObject *owner)
{
  GValue value = G_VALUE_INIT;
  g_value_init (&value, VORN_TYPE_LIST);
  g_object_get_property (owner, "files", &value);
  GList *files = vorn_value_dup_list (&value);
  g_value_unset (&value);
  return files;
}

static void
set_open_files (GObject *owner, GList *files)
{
  GValue value = G_VALUE_INIT;
  g_value_init (&value, VORN_TYPE_LIST);
  vorn_value_set_list (&value, files);
  g_object_set_property (owner, "files", &value);
  g_value_unset (&value);
}

/* Puts the open files in the order of @order. */
static void
set_file_order (GObject *owner, GList *order, ZelmNodeChange *change)
{
  set_open_files (owner, order);
  change->files_reordered = TRUE;
}

static gboolean
in_array (GPtrArray *array, gpointer item)
{
  return g_ptr_array_find (array, item, nullptr);
}

static void
move_file (GObject *owner, VornFile *file, gboolean up, GPtrArray *selected, ZelmNodeChange *change)
{
  GList *order = open_files (owner);
  GList *link = g_list_find (order, file);
  GList *other = link ? (up ? link->prev : link->next) : nullptr;
  if (other && !in_array (selected, other->data))
    {
      std::swap (link->data, other->data);
      set_file_order (owner, order, change);
    }
  vorn_list_free (order);
}

/* The first node of the unit (a node with its tap) right before @node. */
static VornNode *
unit_before (VornNode *node)
{
  VornNode *p = node->prev;
  if (p && is_owned_tap (p))
    p = p->prev;
  return p;
}

static VornNode *
unit_after (VornNode *node)
{
  return has_tap (node) ? node->next->next : node->next;
}

/* Moves @node with its tap right before @target, a sibling. */
static void
move_unit_before (VornNode *node, VornNode *target)
{
  VornNode *parent = node->parent;
  g_autoptr (VornNode) self = VORN_NODE (g_object_ref (node));
  g_autoptr (VornNode) tap = has_tap (node) ? VORN_NODE (g_object_ref (node->next)) : nullptr;
  if (tap)
    vorn_node_unlink (tap);
  vorn_node_unlink (node);
  int pos = vorn_node_position (target);
  vorn_node_insert (parent, node, pos);
  if (tap)
    insert_numbered (parent, tap, pos + 1);
}

void
zelm_node_commands_move (GObject *owner, GPtrArray *nodes, gboolean up, ZelmNodeChange *change)
{
  g_return_if_fail (nodes && change);
  /* The top one first going up, the bottom one first going down: a block
   * of selected rows moves as one, and stays put at the end of its list. */
  for (guint k = 0; k < nodes->len; k++)
    {
      auto *node = static_cast<VornNode *> (g_ptr_array_index (nodes, up ? k : nodes->len - 1 - k));
      if (VORN_IS_FILE (node))
        {
          if (owner)
            move_file (owner, VORN_FILE (node), up, nodes, change);
          continue;
        }
      if (!node->parent || (is_owned_tap (node) && in_array (nodes, node->prev)))
        continue;
      VornNode *other = up ? unit_before (node) : unit_after (node);
      if (!other || in_array (nodes, other))
        continue;
      if (up)
        move_unit_before (node, other);
      else
        move_unit_before (other, node);
      add_once (change->reordered, node->parent);
      touch (change, node);
    }
}

/* ---- paste, delete ---------------------------------------------------------------------- */

void
zelm_node_commands_paste (ZelmClipboard *clipboard, VornNode *target, gboolean within,
                          ZelmNodeChange *change)
{
  g_return_if_fail (clipboard && change);
  if (!target)
    return;
  const gboolean target_inst = VORN_IS_INST (target), target_gen = vorn_node_can_gen (target);
  for (GList *l = clipboard->nodes; l; l = l->next)
    {
      auto *src = VORN_NODE (l->data);
      const gboolean inst = VORN_IS_INST (src), gen = vorn_node_can_gen (src);
      VornNode *parent = nullptr;
      int pos = -1;
      if ((inst && VORN_IS_FILE (target)) || (gen && !inst && target_inst)
          || (within && gen && !inst && target_gen && !VORN_IS_TAP (target)))
        parent = target;
      else if (target->parent
               && ((inst && target_inst) || (!inst && !target_inst && gen && target_gen)))
        {
          parent = target->parent;
          pos = position_before (target);
        }
      if (!parent)
        continue;
      g_autoptr (VornNode) copy = vorn_node_duplicate (src);
      insert_made (change, parent, copy, pos);
    }
}

/* TRUE while @node is still in one of @owner's files. */
static gboolean
is_open (GObject *owner, VornNode *node)
{
  GList *files = open_files (owner);
  gboolean open = g_list_find (files, vorn_node_get_root (node)) != nullptr;
  vorn_list_free (files);
  return open;
}

void
zelm_node_commands_delete (GObject *owner, GPtrArray *nodes, ZelmNodeChange *change)
{
  g_return_if_fail (owner && nodes && change);
  for (guint i = 0; i < nodes->len; i++)
    {
      auto *node = static_cast<VornNode *> (g_ptr_array_index (nodes, i));
      if (!is_open (owner, node))
        continue; /* gone with an ancestor or its node */
      g_autoptr (VornNode) keep = VORN_NODE (g_object_ref (node));
      if (VORN_IS_FILE (node))
        {
          add_once (change->closed, node);
          GList *files = vorn_list_remove (open_files (owner), node);
          set_open_files (owner, files);
          vorn_list_free (files);
          continue;
        }
      if (vorn_node_can_gen (node) && has_tap (node))
        unlink_removed (change, node->next);
      /* A tap going alone: its node no longer records. */
      if (VORN_IS_TAP (node) && node->prev)
        add_once (change->restatus, node->prev);
      unlink_removed (change, node);
    }
}

/* ---- mute, recording ------------------------------------------------------------------------ */

void
zelm_node_commands_mute (GPtrArray *nodes, ZelmNodeChange *change)
{
  g_return_if_fail (nodes && change);
  for (guint i = 0; i < nodes->len; i++)
    {
      auto *node = static_cast<VornNode *> (g_ptr_array_index (nodes, i));
      if (!vorn_node_can_gen (node))
        continue;
      g_object_set (node, "mute", !node->mute, nullptr);
      touch (change, node);
    }
}

static VornAttribType
dest_attrib (VornNode *node)
{
  int attrib = VORN_ATTRIB_TYPE_SIGNAL;
  if (g_object_class_find_property (G_OBJECT_GET_CLASS (node), "dest-attrib"))
    g_object_get (node, "dest-attrib", &attrib, nullptr);
  return VornAttribType (attrib);
}

void
zelm_node_commands_toggle_recording (GPtrArray *nodes, ZelmNodeChange *change)
{
  g_return_if_fail (nodes && change);
  for (guint i = 0; i < nodes->len; i++)
    {
      auto *node = static_cast<VornNode *> (g_ptr_array_index (nodes, i));
      /* Taps record generators of a voice: not an instrument, not a tap. */
      if (!vorn_node_can_gen (node) || VORN_IS_INST (node) || VORN_IS_TAP (node) || !node->parent)
        continue;
      if (has_tap (node))
        unlink_removed (change, node->next);
      else
        {
          g_autoptr (VornTap) tap = vorn_tap_new (dest_attrib (node), 0);
          insert_made (change, node->parent, VORN_NODE (tap), vorn_node_position (node) + 1);
        }
      add_once (change->restatus, node);
    }
}

/* ---- drag and drop ------------------------------------------------------------------------- */

static gboolean
is_within (VornNode *node, VornNode *ancestor)
{
  for (; node; node = node->parent)
    if (node == ancestor)
      return TRUE;
  return FALSE;
}

gboolean
zelm_node_drop_allowed (VornNode *node, VornNode *dest, ZelmDropPosition where)
{
  g_return_val_if_fail (VORN_IS_NODE (node) && VORN_IS_NODE (dest), FALSE);
  const gboolean into = where == ZELM_DROP_INTO;
  /* Never into itself, nor next to itself: the move would be lost with
   * the original. */
  if (is_within (dest, node))
    return FALSE;
  if (VORN_IS_FILE (node))
    return VORN_IS_FILE (dest) && !into;
  if (VORN_IS_INST (node))
    return VORN_IS_INST (dest) ? !into : VORN_IS_FILE (dest) && into;
  if (!vorn_node_can_gen (node) || !vorn_node_can_gen (dest) || VORN_IS_TAP (dest))
    return FALSE;
  return into || !VORN_IS_INST (dest);
}

/* TRUE when another of the dragged @nodes takes @node along. */
static gboolean
dragged_ancestor (GPtrArray *nodes, VornNode *node)
{
  for (guint i = 0; i < nodes->len; i++)
    {
      auto *other = static_cast<VornNode *> (g_ptr_array_index (nodes, i));
      if (other != node && (is_within (node, other) || (is_owned_tap (node) && node->prev == other)))
        return TRUE;
    }
  return FALSE;
}

/* Moves @file before or after @dest among @owner's open files (files are
 * moved, not copied: their place on disk and history stay theirs). */
static gboolean
drop_file (GObject *owner, VornFile *file, VornFile *dest, gboolean after, ZelmNodeChange *change)
{
  if (file == dest)
    return FALSE;
  /* The open files without @file, then @file again beside @dest; the
   * list holds one reference each, @file's moved along with its link. */
  GList *order = open_files (owner);
  GList *self = g_list_find (order, file);
  if (!self)
    {
      vorn_list_free (order);
      return FALSE;
    }
  order = g_list_remove_link (order, self);
  GList *link = g_list_find (order, dest);
  if (link)
    {
      order = g_list_insert_before_link (order, after ? link->next : link, self);
      set_file_order (owner, order, change);
    }
  else
    order = g_list_concat (order, self);
  vorn_list_free (order);
  return link != nullptr;
}

gboolean
zelm_node_commands_drop (GObject *owner, GPtrArray *nodes, VornNode *dest, ZelmDropPosition where,
                         ZelmNodeChange *change)
{
  g_return_val_if_fail (owner && nodes && VORN_IS_NODE (dest) && change, FALSE);
  const gboolean into = where == ZELM_DROP_INTO, after = where == ZELM_DROP_AFTER;
  VornNode *parent = into ? dest : dest->parent;
  int pos = -1;
  if (!into && parent)
    pos = after ? vorn_node_position (dest) + (has_tap (dest) ? 2 : 1) : position_before (dest);

  gboolean done = FALSE;
  for (guint i = 0; i < nodes->len; i++)
    {
      auto *node = static_cast<VornNode *> (g_ptr_array_index (nodes, i));
      if (dragged_ancestor (nodes, node) || !zelm_node_drop_allowed (node, dest, where))
        continue;
      if (VORN_IS_FILE (node))
        {
          /* Moved in place right away: the delete that follows must not
           * take it out again. */
          if (drop_file (owner, VORN_FILE (node), VORN_FILE (dest), after, change))
            {
              add_once (change->kept, node);
              done = TRUE;
            }
          continue;
        }
      if (!parent)
        continue;
      g_autoptr (VornNode) copy = vorn_node_duplicate (node);
      insert_made (change, parent, copy, pos);
      if (pos >= 0)
        pos++;
      if (has_tap (node))
        {
          g_autoptr (VornNode) tap = vorn_node_duplicate (node->next);
          insert_made (change, parent, tap, vorn_node_position (copy) + 1);
          add_once (change->restatus, copy);
          if (pos >= 0)
            pos++;
        }
      done = TRUE;
    }
  return done;
}
