/* zelm-window-keys.cpp: the computer keyboard in the main window: key
 * events go to the keyboard model, and what it answers to the synthesizer
 * and the piano */
#include "zelm-window-private.h"

#include "zelm-piano.h"

static ZelmKeyFocus
focus_kind (GtkWidget *focus)
{
  if (!focus)
    return ZELM_FOCUS_NONE;
  if (GTK_IS_EDITABLE (focus) || GTK_IS_TEXT_VIEW (focus))
    return ZELM_FOCUS_TEXT;
  return ZELM_FOCUS_CONTROL;
}

gboolean
zelm_window_key_event (ZelmWindow *self, GdkEventKey *event)
{
  if (!self->keyboard)
    return FALSE;
  gboolean press = event->type == GDK_KEY_PRESS;
  /* Releases always go through: a note never hangs because the focus
   * moved while its key was down. */
  if (press && !zelm_keyboard_takes_key (focus_kind (gtk_window_get_focus (GTK_WINDOW (self))),
                                         event->keyval))
    return FALSE;

  guint mods = event->state & gtk_accelerator_get_default_mod_mask ();
  ZelmKeyResult r = press
      ? zelm_keyboard_press (self->keyboard, event->keyval, event->hardware_keycode, mods)
      : zelm_keyboard_release (self->keyboard, event->hardware_keycode);
  switch (r.action)
    {
    case ZELM_KEY_NONE:
      return FALSE;
    case ZELM_KEY_PANIC:
      g_action_group_activate_action (G_ACTION_GROUP (self), "panic", nullptr);
      break;
    case ZELM_KEY_OCTAVE:
      /* The model changed already; the property tells the configuration. */
      g_object_notify (G_OBJECT (self->app), zelm_keyboard_start_property (r.manual));
      break;
    case ZELM_KEY_NOTE_ON:
      vorn_synth_note_on (self->synth, self->device_id, r.keycode, 0, r.note, 127, nullptr);
      if (self->piano)
        zelm_piano_note_on (ZELM_PIANO (self->piano), self->device_id, r.keycode, 0, r.note);
      break;
    case ZELM_KEY_NOTE_OFF:
      vorn_synth_note_off (self->synth, self->device_id, r.keycode, 0, r.note, 127);
      if (self->piano)
        zelm_piano_note_off (ZELM_PIANO (self->piano), self->device_id, r.keycode, 0, r.note);
      break;
    }
  return TRUE;
}
