/* zelm-keyboard.cpp: the computer keyboard as two manuals */
#include "zelm-keyboard.h"

#include <cstring>

/* One key of a manual. */
typedef struct {
  guint32 keyval;  /* GDK key value */
  guint16 keycode; /* hardware key code recorded at the press */
  guint8 pressed;
  guint8 note;     /* note the press played, released by the key's release */
} KeyBinding;

struct _ZelmKeyboard {
  GArray *keys[ZELM_N_MANUALS]; /* KeyBinding */
  guint8 start[ZELM_N_MANUALS];
};

static const char *const default_keys[ZELM_N_MANUALS] = { "zsxdcvgbhnjm,l.;/",
                                                           "q2w3er5t6y7ui9o0p[=]" };
static const char *const start_props[ZELM_N_MANUALS] = { "lower-note", "upper-note" };
static const char *const keys_props[ZELM_N_MANUALS] = { "lower-keys", "upper-keys" };

ZelmKeyboard *
zelm_keyboard_new (void)
{
  auto *kb = g_new0 (ZelmKeyboard, 1);
  kb->start[ZELM_MANUAL_LOWER] = 48;
  kb->start[ZELM_MANUAL_UPPER] = 60;
  for (int m = 0; m < ZELM_N_MANUALS; m++)
    {
      kb->keys[m] = g_array_new (FALSE, TRUE, sizeof (KeyBinding));
      for (const char *c = default_keys[m]; *c; c++)
        {
          KeyBinding b = { gdk_unicode_to_keyval (guchar (*c)), 0, 0, 0 };
          g_array_append_val (kb->keys[m], b);
        }
    }
  return kb;
}

void
zelm_keyboard_free (ZelmKeyboard *kb)
{
  if (!kb)
    return;
  for (GArray *keys : kb->keys)
    g_array_unref (keys);
  g_free (kb);
}

static ZelmKeyResult
octave (ZelmKeyboard *kb, ZelmManual manual, int delta)
{
  ZelmKeyResult r = {};
  if (!zelm_keyboard_set_start (kb, manual, kb->start[manual] + delta))
    return r;
  r.action = ZELM_KEY_OCTAVE;
  r.manual = manual;
  r.note = kb->start[manual];
  return r;
}

ZelmKeyResult
zelm_keyboard_press (ZelmKeyboard *kb, guint keyval, guint16 keycode, guint mods)
{
  ZelmKeyResult r = {};
  if (keyval == GDK_KEY_Escape && !mods)
    {
      r.action = ZELM_KEY_PANIC;
      return r;
    }
  /* Shift with the first keys of a manual moves it an octave; any other
   * modifier belongs to shortcuts. */
  if (mods)
    {
      if (mods != GDK_SHIFT_MASK)
        return r;
      switch (keyval)
        {
        case GDK_KEY_Z:
          return octave (kb, ZELM_MANUAL_LOWER, -12);
        case GDK_KEY_S:
          return octave (kb, ZELM_MANUAL_LOWER, 12);
        case GDK_KEY_Q:
          return octave (kb, ZELM_MANUAL_UPPER, -12);
        case GDK_KEY_at:
          return octave (kb, ZELM_MANUAL_UPPER, 12);
        default:
          return r;
        }
    }

  for (int m = 0; m < ZELM_N_MANUALS; m++)
    for (guint i = 0; i < kb->keys[m]->len; i++)
      {
        KeyBinding &b = g_array_index (kb->keys[m], KeyBinding, i);
        if (b.keyval != keyval)
          continue;
        guint note = kb->start[m] + i;
        if (note > 127 || b.pressed)
          return r;
        b.keycode = keycode;
        b.note = guint8 (note);
        b.pressed = TRUE;
        r.action = ZELM_KEY_NOTE_ON;
        r.manual = ZelmManual (m);
        r.keycode = keycode;
        r.note = b.note;
        return r;
      }
  return r;
}

ZelmKeyResult
zelm_keyboard_release (ZelmKeyboard *kb, guint16 keycode)
{
  ZelmKeyResult r = {};
  for (int m = 0; m < ZELM_N_MANUALS; m++)
    for (guint i = 0; i < kb->keys[m]->len; i++)
      {
        KeyBinding &b = g_array_index (kb->keys[m], KeyBinding, i);
        if (!b.pressed || b.keycode != keycode)
          continue;
        b.pressed = FALSE;
        r.action = ZELM_KEY_NOTE_OFF;
        r.manual = ZelmManual (m);
        r.keycode = keycode;
        r.note = b.note;
        return r;
      }
  return r;
}

/* Keys that move the focus or work a control. */
static gboolean
is_navigation (guint keyval)
{
  switch (keyval)
    {
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
    case GDK_KEY_KP_Tab:
    case GDK_KEY_Left:
    case GDK_KEY_Right:
    case GDK_KEY_Up:
    case GDK_KEY_Down:
    case GDK_KEY_KP_Left:
    case GDK_KEY_KP_Right:
    case GDK_KEY_KP_Up:
    case GDK_KEY_KP_Down:
    case GDK_KEY_Page_Up:
    case GDK_KEY_Page_Down:
    case GDK_KEY_Home:
    case GDK_KEY_End:
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_space:
      return TRUE;
    default:
      return FALSE;
    }
}

gboolean
zelm_keyboard_takes_key (ZelmKeyFocus focus, guint keyval)
{
  switch (focus)
    {
    case ZELM_FOCUS_TEXT:
      return FALSE;
    case ZELM_FOCUS_CONTROL:
      return !is_navigation (keyval);
    case ZELM_FOCUS_NONE:
    default:
      return TRUE;
    }
}

int
zelm_keyboard_get_start (ZelmKeyboard *kb, ZelmManual manual)
{
  return kb->start[manual];
}

gboolean
zelm_keyboard_set_start (ZelmKeyboard *kb, ZelmManual manual, int note)
{
  if (note < 0 || note > 127 || note == kb->start[manual])
    return FALSE;
  kb->start[manual] = guint8 (note);
  return TRUE;
}

GArray *
zelm_keyboard_get_keys (ZelmKeyboard *kb, ZelmManual manual)
{
  GArray *keys = kb->keys[manual];
  GArray *out = g_array_sized_new (FALSE, TRUE, sizeof (GValue), keys->len);
  g_array_set_clear_func (out, reinterpret_cast<GDestroyNotify> (g_value_unset));
  for (guint i = 0; i < keys->len; i++)
    {
      GValue v = G_VALUE_INIT;
      g_value_init (&v, G_TYPE_UINT);
      g_value_set_uint (&v, g_array_index (keys, KeyBinding, i).keyval);
      g_array_append_val (out, v);
    }
  return out;
}

void
zelm_keyboard_set_keys (ZelmKeyboard *kb, ZelmManual manual, GArray *values)
{
  GArray *keys = kb->keys[manual];
  g_array_set_size (keys, 0);
  for (guint i = 0; values && i < values->len; i++)
    {
      GValue *v = &g_array_index (values, GValue, i);
      GValue u = G_VALUE_INIT;
      g_value_init (&u, G_TYPE_UINT);
      if (G_IS_VALUE (v) && g_value_transform (v, &u))
        {
          KeyBinding b = { g_value_get_uint (&u), 0, 0, 0 };
          g_array_append_val (keys, b);
        }
      g_value_unset (&u);
    }
}

const char *
zelm_keyboard_start_property (ZelmManual manual)
{
  return start_props[manual];
}

const char *
zelm_keyboard_keys_property (ZelmManual manual)
{
  return keys_props[manual];
}

gboolean
zelm_keyboard_is_keys_property (const char *name)
{
  return strcmp (name, keys_props[0]) == 0 || strcmp (name, keys_props[1]) == 0;
}

JsonNode *
zelm_keyboard_keys_to_json (const GValue *value)
{
  JsonArray *array = json_array_new ();
  auto *values = static_cast<GArray *> (g_value_get_boxed (value));
  for (guint i = 0; values && i < values->len; i++)
    {
      const char *key = gdk_keyval_name (g_value_get_uint (&g_array_index (values, GValue, i)));
      if (key)
        json_array_add_string_element (array, key);
    }
  JsonNode *node = json_node_new (JSON_NODE_ARRAY);
  json_node_take_array (node, array);
  return node;
}

void
zelm_keyboard_keys_from_json (JsonNode *node, GValue *value)
{
  GArray *values = g_array_new (FALSE, TRUE, sizeof (GValue));
  g_array_set_clear_func (values, reinterpret_cast<GDestroyNotify> (g_value_unset));
  JsonArray *array = JSON_NODE_HOLDS_ARRAY (node) ? json_node_get_array (node) : nullptr;
  for (guint i = 0; array && i < json_array_get_length (array); i++)
    {
      JsonNode *el = json_array_get_element (array, i);
      if (!JSON_NODE_HOLDS_VALUE (el) || json_node_get_value_type (el) != G_TYPE_STRING)
        {
          g_warning ("Invalid GDK key while reading config file");
          continue;
        }
      const char *key = json_node_get_string (el);
      guint keyval = gdk_keyval_from_name (key);
      if (keyval == GDK_KEY_VoidSymbol || keyval == 0)
        {
          g_warning ("Invalid GDK key '%s' while reading config file", key);
          continue;
        }
      GValue v = G_VALUE_INIT;
      g_value_init (&v, G_TYPE_UINT);
      g_value_set_uint (&v, keyval);
      g_array_append_val (values, v);
    }
  g_value_take_boxed (value, values);
}
