/* zelm-tap-selector.h: dialog that picks a tap (queue, generator, channel) */
#pragma once

#include <gtk/gtk.h>

#include "vorn-list.h"
#include "vorn-queue.h"
#include "vorn-tap.h"

G_BEGIN_DECLS

#define ZELM_TYPE_TAP_SELECTOR (zelm_tap_selector_get_type ())
G_DECLARE_FINAL_TYPE (ZelmTapSelector, zelm_tap_selector, ZELM, TAP_SELECTOR, GtkDialog)

/* Columns of the selector's list store. */
enum {
  ZELM_TAP_SELECTOR_COL_VOICE_ID, /* int: the queue's voice id, 0 for the master */
  ZELM_TAP_SELECTOR_COL_NODE,     /* string: instrument name, "Main" for the master */
  ZELM_TAP_SELECTOR_COL_WAVE,     /* string: the wave recorded by the tap, or "" */
  ZELM_TAP_SELECTOR_COL_ATTRIB,   /* string: nick of the recorded attribute */
  ZELM_TAP_SELECTOR_COL_QUEUE,    /* VornQueue */
  ZELM_TAP_SELECTOR_COL_TAP_GEN,  /* VornTapGen */
  ZELM_TAP_SELECTOR_COL_CHANNEL,  /* int */
  ZELM_TAP_SELECTOR_N_COLUMNS
};

/**
 * zelm_tap_selector_new:
 * @queue_list: (nullable) (transfer none) (element-type VornQueue): queues
 *   whose tap generators are listed, in this order
 * @tap_gen: (nullable): the generator to preselect
 * @channel: the channel to preselect
 *
 * Builds the modal "Select tap recorder" dialog with one row per tap
 * generator and channel of the queues (a speakers tap gives channels 0 and
 * 1).  Responses: %GTK_RESPONSE_OK and %GTK_RESPONSE_CANCEL.
 *
 * Returns: (transfer floating): the dialog, not shown yet.
 */
GtkWidget *zelm_tap_selector_new (GList *queue_list, VornTapGen *tap_gen, guint channel);

/**
 * zelm_tap_selector_get_selected_tap:
 * @selector: a selector
 * @queue: (out) (optional) (transfer full): the queue of the selected tap;
 *   NULL when nothing is selected
 * @channel: (out) (optional): the selected channel
 *
 * Returns: (transfer full) (nullable): the selected tap generator, NULL when
 *   no row is selected.
 */
VornTapGen *zelm_tap_selector_get_selected_tap (ZelmTapSelector *selector, VornQueue **queue,
                                                guint *channel);

G_END_DECLS
