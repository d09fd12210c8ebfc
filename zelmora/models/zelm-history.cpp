/* zelm-history.cpp: undo and redo of an instrument file
 *
 * Every state is the file's whole text, compressed: a file is a few hundred
 * kilobytes at most and compresses about tenfold, so hundreds of steps cost
 * a few megabytes, and a state restores exactly what saving wrote, however
 * the change was made (tree command, property, curve drag). */
#include "zelm-history.h"

#include <zlib.h>

struct State {
  GBytes *packed; /* zlib */
  gsize length;   /* of the text */
};

struct _ZelmHistory {
  GObject parent_instance;

  VornFile *file;
  GArray *states; /* State, oldest first */
  int index;      /* the current state */
  int saved;      /* the state on disk, -1 when no state is */
  guint max_steps;
  GBytes *current; /* text of the current state */
};

enum {
  PROP_0,
  PROP_FILE,
  PROP_MAX_STEPS,
  PROP_CAN_UNDO,
  PROP_CAN_REDO,
  PROP_MODIFIED,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

G_DEFINE_FINAL_TYPE (ZelmHistory, zelm_history, G_TYPE_OBJECT)

static void
state_clear (gpointer data)
{
  g_bytes_unref (static_cast<State *> (data)->packed);
}

static State
pack (GBytes *text)
{
  gsize length = 0;
  auto *data = static_cast<const Bytef *> (g_bytes_get_data (text, &length));
  uLongf size = compressBound (length);
  auto *buf = static_cast<Bytef *> (g_malloc (size));
  /* Level 1: a few milliseconds for the largest bank, most of the gain. */
  if (compress2 (buf, &size, data, length, 1) != Z_OK)
    {
      g_free (buf);
      return { g_bytes_ref (text), 0 };
    }
  return { g_bytes_new_take (g_realloc (buf, size), size), length };
}

/* Returns: (transfer full) (nullable): the text of @state. */
static GBytes *
unpack (const State &state)
{
  if (state.length == 0) /* stored as it was */
    return g_bytes_ref (state.packed);
  gsize size = 0;
  auto *data = static_cast<const Bytef *> (g_bytes_get_data (state.packed, &size));
  uLongf length = state.length;
  auto *buf = static_cast<Bytef *> (g_malloc (length + 1));
  if (uncompress (buf, &length, data, size) != Z_OK || length != state.length)
    {
      g_free (buf);
      return nullptr;
    }
  buf[length] = 0;
  return g_bytes_new_take (buf, length);
}

static GBytes *
file_text (VornFile *file)
{
  gsize length = 0;
  char *text = vorn_file_to_data (file, &length);
  return g_bytes_new_take (text, length);
}

/* Notifies the three derived properties that changed between @before and
 * now. */
struct Flags {
  gboolean undo, redo, modified;
};

static Flags
flags (ZelmHistory *h)
{
  return { h->index > 0, h->index + 1 < int (h->states->len), h->saved != h->index };
}

static void
notify_changes (ZelmHistory *h, Flags before)
{
  Flags now = flags (h);
  if (now.undo != before.undo)
    g_object_notify_by_pspec (G_OBJECT (h), properties[PROP_CAN_UNDO]);
  if (now.redo != before.redo)
    g_object_notify_by_pspec (G_OBJECT (h), properties[PROP_CAN_REDO]);
  if (now.modified != before.modified)
    g_object_notify_by_pspec (G_OBJECT (h), properties[PROP_MODIFIED]);
}

static void
trim (ZelmHistory *h)
{
  guint excess = h->states->len > h->max_steps + 1 ? h->states->len - h->max_steps - 1 : 0;
  if (!excess)
    return;
  g_array_remove_range (h->states, 0, excess);
  h->index -= int (excess);
  h->saved = h->saved >= int (excess) ? h->saved - int (excess) : -1;
}

gboolean
zelm_history_commit (ZelmHistory *h)
{
  g_return_val_if_fail (ZELM_IS_HISTORY (h), FALSE);

  g_autoptr (GBytes) text = file_text (h->file);
  if (g_bytes_equal (text, h->current))
    return FALSE;

  Flags before = flags (h);
  if (h->index + 1 < int (h->states->len))
    {
      if (h->saved > h->index)
        h->saved = -1;
      g_array_set_size (h->states, guint (h->index + 1));
    }
  State state = pack (text);
  g_array_append_val (h->states, state);
  h->index++;
  trim (h);
  g_bytes_unref (h->current);
  h->current = g_steal_pointer (&text);
  notify_changes (h, before);
  return TRUE;
}

static gboolean
go_to (ZelmHistory *h, int index, GError **error)
{
  g_autoptr (GBytes) text = unpack (g_array_index (h->states, State, index));
  if (!text)
    {
      g_set_error (error, G_IO_ERROR, G_IO_ERROR_INVALID_DATA, "The undo history is damaged");
      return FALSE;
    }
  gsize length = 0;
  auto *data = static_cast<const char *> (g_bytes_get_data (text, &length));
  if (!vorn_file_restore (h->file, data, guint32 (length), error))
    return FALSE;
  Flags before = flags (h);
  h->index = index;
  g_bytes_unref (h->current);
  h->current = g_steal_pointer (&text);
  notify_changes (h, before);
  return TRUE;
}

gboolean
zelm_history_undo (ZelmHistory *h, GError **error)
{
  g_return_val_if_fail (ZELM_IS_HISTORY (h), FALSE);
  g_return_val_if_fail (!error || !*error, FALSE);
  return h->index > 0 && go_to (h, h->index - 1, error);
}

gboolean
zelm_history_redo (ZelmHistory *h, GError **error)
{
  g_return_val_if_fail (ZELM_IS_HISTORY (h), FALSE);
  g_return_val_if_fail (!error || !*error, FALSE);
  return h->index + 1 < int (h->states->len) && go_to (h, h->index + 1, error);
}

gboolean
zelm_history_can_undo (ZelmHistory *h)
{
  g_return_val_if_fail (ZELM_IS_HISTORY (h), FALSE);
  return flags (h).undo;
}

gboolean
zelm_history_can_redo (ZelmHistory *h)
{
  g_return_val_if_fail (ZELM_IS_HISTORY (h), FALSE);
  return flags (h).redo;
}

gboolean
zelm_history_get_modified (ZelmHistory *h)
{
  g_return_val_if_fail (ZELM_IS_HISTORY (h), FALSE);
  return flags (h).modified;
}

void
zelm_history_restamp (ZelmHistory *h)
{
  g_return_if_fail (ZELM_IS_HISTORY (h));
  g_autoptr (GBytes) text = file_text (h->file);
  if (g_bytes_equal (text, h->current))
    return;
  State &state = g_array_index (h->states, State, h->index);
  state_clear (&state);
  state = pack (text);
  g_bytes_unref (h->current);
  h->current = g_steal_pointer (&text);
}

void
zelm_history_set_saved (ZelmHistory *h)
{
  g_return_if_fail (ZELM_IS_HISTORY (h));
  zelm_history_restamp (h);
  Flags before = flags (h);
  h->saved = h->index;
  notify_changes (h, before);
}

VornFile *
zelm_history_get_file (ZelmHistory *h)
{
  g_return_val_if_fail (ZELM_IS_HISTORY (h), nullptr);
  return h->file;
}

/* ---- GObject -------------------------------------------------------------- */

static void
zelm_history_constructed (GObject *object)
{
  ZelmHistory *h = ZELM_HISTORY (object);
  G_OBJECT_CLASS (zelm_history_parent_class)->constructed (object);
  g_return_if_fail (h->file);
  h->current = file_text (h->file);
  State state = pack (h->current);
  g_array_append_val (h->states, state);
}

static void
zelm_history_finalize (GObject *object)
{
  ZelmHistory *h = ZELM_HISTORY (object);
  g_clear_object (&h->file);
  g_array_unref (h->states);
  g_clear_pointer (&h->current, g_bytes_unref);
  G_OBJECT_CLASS (zelm_history_parent_class)->finalize (object);
}

static void
zelm_history_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmHistory *h = ZELM_HISTORY (object);
  switch (prop_id)
    {
    case PROP_FILE:
      g_value_set_object (value, h->file);
      break;
    case PROP_MAX_STEPS:
      g_value_set_uint (value, h->max_steps);
      break;
    case PROP_CAN_UNDO:
      g_value_set_boolean (value, flags (h).undo);
      break;
    case PROP_CAN_REDO:
      g_value_set_boolean (value, flags (h).redo);
      break;
    case PROP_MODIFIED:
      g_value_set_boolean (value, flags (h).modified);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
zelm_history_set_property (GObject *object, guint prop_id, const GValue *value,
                           GParamSpec *pspec)
{
  ZelmHistory *h = ZELM_HISTORY (object);
  switch (prop_id)
    {
    case PROP_FILE:
      h->file = VORN_FILE (g_value_dup_object (value));
      break;
    case PROP_MAX_STEPS:
      if (h->max_steps != g_value_get_uint (value))
        {
          Flags before = flags (h);
          h->max_steps = g_value_get_uint (value);
          if (h->states->len)
            trim (h);
          g_object_notify_by_pspec (object, pspec);
          notify_changes (h, before);
        }
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
zelm_history_class_init (ZelmHistoryClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  object_class->constructed = zelm_history_constructed;
  object_class->finalize = zelm_history_finalize;
  object_class->get_property = zelm_history_get_property;
  object_class->set_property = zelm_history_set_property;

  const auto ro = GParamFlags (G_PARAM_READABLE | G_PARAM_STATIC_STRINGS);
  properties[PROP_FILE] = g_param_spec_object (
      "file", "File", "File whose changes are recorded", VORN_TYPE_FILE,
      GParamFlags (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY | G_PARAM_STATIC_STRINGS));
  properties[PROP_MAX_STEPS] = g_param_spec_uint (
      "max-steps", "MaxSteps", "Most undo steps kept", 1, 100000, ZELM_HISTORY_DEFAULT_STEPS,
      GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | G_PARAM_EXPLICIT_NOTIFY));
  properties[PROP_CAN_UNDO] =
      g_param_spec_boolean ("can-undo", "CanUndo", "A step can be undone", FALSE, ro);
  properties[PROP_CAN_REDO] =
      g_param_spec_boolean ("can-redo", "CanRedo", "A step can be redone", FALSE, ro);
  properties[PROP_MODIFIED] =
      g_param_spec_boolean ("modified", "Modified", "The file has unsaved changes", FALSE, ro);
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
zelm_history_init (ZelmHistory *h)
{
  h->states = g_array_new (FALSE, FALSE, sizeof (State));
  g_array_set_clear_func (h->states, state_clear);
  h->max_steps = ZELM_HISTORY_DEFAULT_STEPS;
}

ZelmHistory *
zelm_history_new (VornFile *file)
{
  g_return_val_if_fail (VORN_IS_FILE (file), nullptr);
  return ZELM_HISTORY (g_object_new (ZELM_TYPE_HISTORY, "file", file, nullptr));
}
