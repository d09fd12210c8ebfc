/* zelm-gen-view.h: what every generator of an instrument produces for one
 * note, rendered offline and laid out as rows of a wave tree */
#pragma once

#include <gtk/gtk.h>

#include "vornadel.h"
#include "zelm-wave-tree.h"

G_BEGIN_DECLS

/**
 * zelm_gen_view_fill:
 * @tree: the wave tree to fill; its rows are replaced
 * @settings: (nullable): the synthesizer whose "sample-rate", "audio-format"
 *   and "speaker-count" the render uses (48000 Hz, single, 2 when NULL); it
 *   is only read, never played on
 * @inst: the instrument to play
 * @note: the MIDI note, at velocity 127
 * @hold: seconds until the note is released
 * @length: seconds rendered at most; rendering stops early when the voice
 *   ends
 *
 * Renders the note through a private synthesizer and gives every node of
 * @inst (the instrument first, nested like its tree) a row labelled with
 * its name and range, showing its icon and the samples its generator wrote
 * to its first destination, fragment by fragment.  Fragments a generator
 * did not render are left blank.  Each row is scaled to its own range
 * (the one its label gives), larger values higher, a tenth of the row
 * clear above and below.
 *
 * Returns: the number of samples rendered, 0 on a wrong argument.
 */
guint zelm_gen_view_fill (ZelmWaveTree *tree, VornSynth *settings, VornInst *inst, guint8 note,
                          double hold, double length);

/**
 * zelm_gen_view_window_new:
 * @parent: (nullable): the window it belongs to
 * @settings: (nullable): the synthesizer whose settings the render uses
 * @inst: the instrument to show (referenced while the window lives)
 *
 * A "Generator Outputs" window: a note spin button, a refresh button and a
 * wave tree with the instrument's generator outputs for that note, held
 * half a second and released (mouse wheel scrolls the rows, Shift with the
 * wheel the time, Control with the wheel zooms).  Changing the note or
 * pressing refresh renders again.
 *
 * Returns: (transfer none): the window, shown; it destroys itself when
 *   closed.
 */
GtkWidget *zelm_gen_view_window_new (GtkWindow *parent, VornSynth *settings, VornInst *inst);

/* Returns: (transfer none): the wave tree of a window made above. */
ZelmWaveTree *zelm_gen_view_window_get_tree (GtkWidget *window);

/* Returns: (transfer none): the note spin button of a window made above. */
GtkSpinButton *zelm_gen_view_window_get_note_button (GtkWidget *window);

G_END_DECLS
