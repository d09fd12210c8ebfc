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

/* The visible range's arithmetic, free of any display: octaves *@start ..
 * *@start + *@count - 1 of MIDI octaves 0..10, updated in place. */

/* The zoom bar's left (@edge 1) or right (2) edge dragged to octave boundary
 * @pos; an edge never crosses the other. */
void zelm_piano_range_drag (int *start, int *count, int edge, int pos);

/* A wheel step: up narrows (to two octaves at least), down widens (moving
 * the start down once the end is reached), left and right shift; with
 * @shift, up and down shift. */
void zelm_piano_range_scroll (int *start, int *count, GdkScrollDirection dir, gboolean shift);

/* Writes the name of MIDI @note into @buf (@size bytes): "C4" for 60, "A#-1"
 * for 10; an empty string outside 0..127. */
void zelm_piano_note_name (int note, char *buf, gsize size);

G_END_DECLS
