/* zelm-node-ctrl.h: an instrument's control waves as live sliders */
#pragma once

#include "vornadel.h"

#include <gtk/gtk.h>

G_BEGIN_DECLS

#define ZELM_TYPE_NODE_CTRL (zelm_node_ctrl_get_type ())
G_DECLARE_FINAL_TYPE (ZelmNodeCtrl, zelm_node_ctrl, ZELM, NODE_CTRL, GtkBox)

/* Returns: (transfer floating): empty node controls playing through
 * @synth. */
GtkWidget *zelm_node_ctrl_new (VornSynth *synth);

/**
 * zelm_node_ctrl_set_node:
 * @ctrl: the node controls
 * @node: (nullable): normally an instrument; NULL empties the list
 *
 * Lists every control wave of @node's tree (post-order) that the voices
 * compiled from it can be reached by, as its name and a slider set to its
 * "init-value".  Moving a slider stores the value as the wave's
 * "init-value" and sends it at once to the voices sounding on every
 * channel, so playing notes change as the slider moves.
 */
void zelm_node_ctrl_set_node (ZelmNodeCtrl *ctrl, VornNode *node);

G_END_DECLS
