/* zelm-keyboard.h: the computer keyboard as two manuals: which key plays
 * which note, the octave each manual starts at, and the key bindings as the
 * configuration stores them */
#pragma once

#include <gtk/gtk.h>
#include <json-glib/json-glib.h>

G_BEGIN_DECLS

typedef struct _ZelmKeyboard ZelmKeyboard;

typedef enum {
  ZELM_MANUAL_LOWER,
  ZELM_MANUAL_UPPER,
  ZELM_N_MANUALS
} ZelmManual;

/* What a key event asks for. */
typedef enum {
  ZELM_KEY_NONE,     /* not a key of the manuals, or nothing to do */
  ZELM_KEY_NOTE_ON,  /* play @note under the voice id @keycode */
  ZELM_KEY_NOTE_OFF, /* release @note of the voice id @keycode */
  ZELM_KEY_PANIC,    /* silence every voice */
  ZELM_KEY_OCTAVE,   /* @manual now starts at @note */
} ZelmKeyAction;

typedef struct {
  ZelmKeyAction action;
  ZelmManual manual;
  guint16 keycode;
  guint8 note;
} ZelmKeyResult;

/* Returns: (transfer full): a keyboard with the default bindings (the
 * lower manual from Z, the upper from Q) starting at notes 48 and 60. */
ZelmKeyboard *zelm_keyboard_new (void);
void zelm_keyboard_free (ZelmKeyboard *kb);

/* A key went down: @keyval as typed, @keycode the hardware key (its release
 * is found by it, whatever the modifiers make of the key value then), @mods
 * the modifiers held (accelerator mask applied).  A key already held plays
 * nothing again (auto-repeat); a note above 127 plays nothing. */
ZelmKeyResult zelm_keyboard_press (ZelmKeyboard *kb, guint keyval, guint16 keycode, guint mods);

/* A key came up: the note its press played is released, even when the
 * manual changed octave meanwhile. */
ZelmKeyResult zelm_keyboard_release (ZelmKeyboard *kb, guint16 keycode);

/* What has the keyboard focus, as far as the manuals care. */
typedef enum {
  ZELM_FOCUS_NONE,    /* nothing, or a widget that takes no keys */
  ZELM_FOCUS_CONTROL, /* a button, slider, list...: moved and worked by keys */
  ZELM_FOCUS_TEXT,    /* a text entry or another editable field */
} ZelmKeyFocus;

/* Whether a press of @keyval, which the focused widget left
 * alone, goes to the manuals.  Nothing does while text is typed; Tab,
 * arrows, Return and space stay with a focused control even when unused,
 * so that moving the focus never plays a note. */
gboolean zelm_keyboard_takes_key (ZelmKeyFocus focus, guint keyval);

/* The first note of @manual (0..127). */
int zelm_keyboard_get_start (ZelmKeyboard *kb, ZelmManual manual);
/* Returns: TRUE when the start changed; out of range is refused. */
gboolean zelm_keyboard_set_start (ZelmKeyboard *kb, ZelmManual manual, int note);

/* Returns: (transfer full): the key values of @manual as a GArray of
 * unsigned-integer GValues, the form of the keys properties. */
GArray *zelm_keyboard_get_keys (ZelmKeyboard *kb, ZelmManual manual);
/* Binds @manual to the key values of @values (GValues transformable to
 * unsigned integers; others are skipped).  Held keys are forgotten. */
void zelm_keyboard_set_keys (ZelmKeyboard *kb, ZelmManual manual, GArray *values);

/* The configuration property names of a manual's start note and keys. */
const char *zelm_keyboard_start_property (ZelmManual manual);
const char *zelm_keyboard_keys_property (ZelmManual manual);
/* Whether @name is one of the keys properties. */
gboolean zelm_keyboard_is_keys_property (const char *name);

/* Returns: (transfer full): the keys property @value (a GArray of GValues)
 * as a JSON array of GDK key names; keys without a name are left out. */
JsonNode *zelm_keyboard_keys_to_json (const GValue *value);
/* Reads a JSON array of GDK key names into @value (initialised to
 * G_TYPE_ARRAY); unknown names are logged as warnings and skipped. */
void zelm_keyboard_keys_from_json (JsonNode *node, GValue *value);

G_END_DECLS
