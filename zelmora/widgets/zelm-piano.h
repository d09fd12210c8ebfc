/* zelm-piano.h: the on-screen piano keyboard */
#pragma once

#include <gtk/gtk.h>

#include "vorn-synth.h"
#include "zelm-gui-enums.h"

G_BEGIN_DECLS

#define ZELM_TYPE_PIANO (zelm_piano_get_type ())
G_DECLARE_FINAL_TYPE (ZelmPiano, zelm_piano, ZELM, PIANO, GtkDrawingArea)

/* Returns: (transfer floating): a piano playing on @synth (may be NULL). */
GtkWidget *zelm_piano_new (VornSynth *synth);

/* Shows that source (@device, @sub_id) holds @note on @channel; plays nothing. */
void zelm_piano_note_on (ZelmPiano *piano, guint16 device, guint sub_id, int channel, guint8 note);

/* Drops one hold of @note by that source; the key goes dark when no source holds it. */
void zelm_piano_note_off (ZelmPiano *piano, guint16 device, guint sub_id, int channel, guint8 note);

/* Forgets every held note. */
void zelm_piano_all_notes_off (ZelmPiano *piano);

/* Returns: the MIDI note under widget coordinate (@x, @y), or -1. */
int zelm_piano_get_note_at (ZelmPiano *piano, double x, double y);

/* The registry of named note markers; strings are copied, @icon referenced. */
void zelm_piano_add_pointer (ZelmPiano *piano, const char *name, GdkPixbuf *icon, const char *text,
                             ZelmPianoPointerPriority priority, guint8 note);
void zelm_piano_remove_pointer (ZelmPiano *piano, const char *name);
void zelm_piano_set_pointer (ZelmPiano *piano, const char *name, guint8 note);
/* Returns: the note of the pointer @name, or -1 when there is none. */
int zelm_piano_get_pointer (ZelmPiano *piano, const char *name);

G_END_DECLS
