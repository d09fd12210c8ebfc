/* test-keyboard.cpp: the computer keyboard's two manuals */
#include "vorn-test-log.h"
#include "zelm-keyboard.h"

#include <gtest/gtest.h>

namespace {

struct Kb {
  ZelmKeyboard *kb = zelm_keyboard_new ();
  ~Kb () { zelm_keyboard_free (kb); }
  /* Presses @keyval (its key code is the key value, for distinct codes). */
  ZelmKeyResult press (guint keyval, guint mods = 0)
  {
    return zelm_keyboard_press (kb, keyval, guint16 (keyval), mods);
  }
  ZelmKeyResult release (guint16 keycode) { return zelm_keyboard_release (kb, keycode); }
};

} // namespace

/* Both manuals from their first key, black keys included, each key its own
 * voice; the release ends what the press played. */
TEST (Keyboard, KeysPlayTheirNotes)
{
  Kb k;
  const struct {
    guint keyval;
    ZelmManual manual;
    int note;
  } keys[] = {
    { GDK_KEY_z, ZELM_MANUAL_LOWER, 48 }, { GDK_KEY_s, ZELM_MANUAL_LOWER, 49 },
    { GDK_KEY_m, ZELM_MANUAL_LOWER, 59 }, { GDK_KEY_slash, ZELM_MANUAL_LOWER, 64 },
    { GDK_KEY_q, ZELM_MANUAL_UPPER, 60 }, { GDK_KEY_2, ZELM_MANUAL_UPPER, 61 },
    { GDK_KEY_bracketright, ZELM_MANUAL_UPPER, 79 },
  };
  for (const auto &key : keys)
    {
      ZelmKeyResult r = k.press (key.keyval);
      EXPECT_EQ (r.action, ZELM_KEY_NOTE_ON) << gdk_keyval_name (key.keyval);
      EXPECT_EQ (r.manual, key.manual) << gdk_keyval_name (key.keyval);
      EXPECT_EQ (r.note, key.note) << gdk_keyval_name (key.keyval);
      EXPECT_EQ (r.keycode, guint16 (key.keyval));
      /* Auto-repeat: a held key plays nothing more. */
      EXPECT_EQ (k.press (key.keyval).action, ZELM_KEY_NONE);
    }
  for (const auto &key : keys)
    {
      ZelmKeyResult r = k.release (guint16 (key.keyval));
      EXPECT_EQ (r.action, ZELM_KEY_NOTE_OFF);
      EXPECT_EQ (r.note, key.note);
      EXPECT_EQ (k.release (guint16 (key.keyval)).action, ZELM_KEY_NONE) << "released twice";
    }
  EXPECT_EQ (k.press (GDK_KEY_a).action, ZELM_KEY_NONE) << "not a key of the manuals";
}

/* Shift+Z/S and Shift+Q/@ move a manual an octave within 0..127; a key
 * held across the change releases the note it played; keys above 127 play
 * nothing; Escape panics; other modifiers belong to shortcuts. */
TEST (Keyboard, OctavesLimitsAndModifiers)
{
  Kb k;
  ZelmKeyResult held = k.press (GDK_KEY_x);
  const struct {
    guint keyval;
    ZelmManual manual;
    int start;
  } steps[] = {
    { GDK_KEY_S, ZELM_MANUAL_LOWER, 60 }, { GDK_KEY_Z, ZELM_MANUAL_LOWER, 48 },
    { GDK_KEY_Z, ZELM_MANUAL_LOWER, 36 }, { GDK_KEY_at, ZELM_MANUAL_UPPER, 72 },
    { GDK_KEY_Q, ZELM_MANUAL_UPPER, 60 }, { GDK_KEY_Q, ZELM_MANUAL_UPPER, 48 },
  };
  for (const auto &s : steps)
    {
      ZelmKeyResult r = k.press (s.keyval, GDK_SHIFT_MASK);
      EXPECT_EQ (r.action, ZELM_KEY_OCTAVE);
      EXPECT_EQ (r.manual, s.manual);
      EXPECT_EQ (r.note, s.start);
      EXPECT_EQ (zelm_keyboard_get_start (k.kb, s.manual), s.start);
    }
  EXPECT_EQ (k.release (guint16 (GDK_KEY_x)).note, held.note);
  EXPECT_EQ (k.press (GDK_KEY_z).note, 36);

  ASSERT_TRUE (zelm_keyboard_set_start (k.kb, ZELM_MANUAL_LOWER, 120));
  EXPECT_EQ (k.press (GDK_KEY_S, GDK_SHIFT_MASK).action, ZELM_KEY_NONE);
  EXPECT_FALSE (zelm_keyboard_set_start (k.kb, ZELM_MANUAL_LOWER, 128));
  EXPECT_FALSE (zelm_keyboard_set_start (k.kb, ZELM_MANUAL_LOWER, -1));
  ASSERT_TRUE (zelm_keyboard_set_start (k.kb, ZELM_MANUAL_LOWER, 0));
  EXPECT_EQ (k.press (GDK_KEY_Z, GDK_SHIFT_MASK).action, ZELM_KEY_NONE);
  EXPECT_EQ (zelm_keyboard_get_start (k.kb, ZELM_MANUAL_LOWER), 0);
  zelm_keyboard_set_start (k.kb, ZELM_MANUAL_LOWER, 120);
  EXPECT_EQ (k.press (GDK_KEY_b).note, 127);                   /* index 7 */
  EXPECT_EQ (k.press (GDK_KEY_h).action, ZELM_KEY_NONE);       /* index 8: 128 */

  EXPECT_EQ (k.press (GDK_KEY_Escape).action, ZELM_KEY_PANIC);
  EXPECT_EQ (k.press (GDK_KEY_Escape, GDK_SHIFT_MASK).action, ZELM_KEY_NONE);
  EXPECT_EQ (k.press (GDK_KEY_v, GDK_CONTROL_MASK).action, ZELM_KEY_NONE);
  EXPECT_EQ (k.press (GDK_KEY_S, GDK_SHIFT_MASK | GDK_CONTROL_MASK).action, ZELM_KEY_NONE);
}

/* Bindings as the keys properties carry them and the configuration file
 * stores them: key names, unknown names skipped with a warning. */
TEST (Keyboard, BindingsToAndFromConfiguration)
{
  Kb k;
  EXPECT_STREQ (zelm_keyboard_start_property (ZELM_MANUAL_UPPER), "upper-note");
  EXPECT_STREQ (zelm_keyboard_keys_property (ZELM_MANUAL_LOWER), "lower-keys");
  EXPECT_TRUE (zelm_keyboard_is_keys_property ("upper-keys"));
  EXPECT_FALSE (zelm_keyboard_is_keys_property ("upper-note"));

  g_autoptr (JsonNode) in = json_from_string ("[\"a\", \"F5\", \"nokey\", 7, \"apostrophe\"]",
                                              nullptr);
  GValue value = G_VALUE_INIT;
  g_value_init (&value, G_TYPE_ARRAY);
  zelm_keyboard_keys_from_json (in, &value);
  EXPECT_WARNING ("Invalid GDK key 'nokey'");
  EXPECT_WARNING ("Invalid GDK key while");
  zelm_keyboard_set_keys (k.kb, ZELM_MANUAL_UPPER, static_cast<GArray *> (g_value_get_boxed (&value)));
  g_value_unset (&value);

  EXPECT_EQ (k.press (GDK_KEY_F5).note, 61);
  EXPECT_EQ (k.press (GDK_KEY_apostrophe).note, 62);
  EXPECT_EQ (k.press (GDK_KEY_q).action, ZELM_KEY_NONE) << "the old binding is gone";

  g_value_init (&value, G_TYPE_ARRAY);
  g_value_take_boxed (&value, zelm_keyboard_get_keys (k.kb, ZELM_MANUAL_UPPER));
  g_autoptr (JsonNode) out = zelm_keyboard_keys_to_json (&value);
  g_value_unset (&value);
  g_autofree char *text = json_to_string (out, FALSE);
  EXPECT_STREQ (text, "[\"a\",\"F5\",\"apostrophe\"]");
}

/* The manuals stay out of typing, and out of the keys that move the focus
 * or work a focused control. */
TEST (Keyboard, FocusDecidesWhoTakesAKey)
{
  const struct {
    ZelmKeyFocus focus;
    guint keyval;
    gboolean takes;
  } rows[] = {
    { ZELM_FOCUS_NONE, GDK_KEY_z, TRUE },      { ZELM_FOCUS_CONTROL, GDK_KEY_z, TRUE },
    { ZELM_FOCUS_TEXT, GDK_KEY_z, FALSE },     { ZELM_FOCUS_TEXT, GDK_KEY_Escape, FALSE },
    { ZELM_FOCUS_CONTROL, GDK_KEY_Escape, TRUE }, { ZELM_FOCUS_CONTROL, GDK_KEY_Tab, FALSE },
    { ZELM_FOCUS_CONTROL, GDK_KEY_ISO_Left_Tab, FALSE }, { ZELM_FOCUS_CONTROL, GDK_KEY_Left, FALSE },
    { ZELM_FOCUS_CONTROL, GDK_KEY_space, FALSE }, { ZELM_FOCUS_NONE, GDK_KEY_Tab, TRUE },
  };
  for (const auto &r : rows)
    EXPECT_EQ (zelm_keyboard_takes_key (r.focus, r.keyval), r.takes)
        << int (r.focus) << " " << gdk_keyval_name (r.keyval);
}
