/* zelm-tap-recorder.h: oscilloscope rows of the master output and voice taps */
#pragma once

#include <gtk/gtk.h>

#include "vorn-queue.h"
#include "vorn-synth.h"
#include "vorn-tap.h"

G_BEGIN_DECLS

#define ZELM_TYPE_TAP_RECORDER (zelm_tap_recorder_get_type ())
G_DECLARE_FINAL_TYPE (ZelmTapRecorder, zelm_tap_recorder, ZELM, TAP_RECORDER, GtkBox)

/**
 * zelm_tap_recorder_new:
 * @synth: the synthesizer whose taps are shown
 *
 * Makes the recorder with two rows bound to channels 0 and 1 of the master
 * tap (when the synthesizer is started).
 *
 * Returns: (transfer floating): the recorder.
 */
GtkWidget *zelm_tap_recorder_new (VornSynth *synth);

/* Refreshes the rows from their taps (nothing while paused); call it from
 * a periodic task, a few times a second or more. */
void zelm_tap_recorder_process (ZelmTapRecorder *recorder);

/**
 * zelm_tap_recorder_add_voice_queue:
 * @recorder: a recorder
 * @queue: (transfer none): a started voice's queue
 *
 * Remembers the voice for the tap selection (newest first, at most
 * "max-voices"); rows showing a tap of the same instrument move to the new
 * voice.  Queues without a tap generator, and calls while paused, are
 * ignored.  The recorder takes its own reference.
 */
void zelm_tap_recorder_add_voice_queue (ZelmTapRecorder *recorder, VornQueue *queue);

/* Takes the synthesizer's confirmation of a tap pause (@paused TRUE) or
 * resume: only now does the display stop or restart. */
void zelm_tap_recorder_pause_completed (ZelmTapRecorder *recorder, gboolean paused);

/* Appends an unbound row. */
void zelm_tap_recorder_add_scope (ZelmTapRecorder *recorder);

/* Removes row @index; nothing when there is no such row. */
void zelm_tap_recorder_remove_scope (ZelmTapRecorder *recorder, int index);

/**
 * zelm_tap_recorder_set_scope_tap:
 * @recorder: a recorder
 * @index: row index
 * @queue: (nullable): the queue holding @tap_gen
 * @tap_gen: (nullable): the tap generator to show; NULL with @queue NULL
 *   unbinds the row
 * @channel: channel of @tap_gen to show
 *
 * Binds a row; the row keeps references on @queue and @tap_gen, so a
 * finished voice stays viewable.
 */
void zelm_tap_recorder_set_scope_tap (ZelmTapRecorder *recorder, int index, VornQueue *queue,
                                      VornTapGen *tap_gen, guint channel);

G_END_DECLS
