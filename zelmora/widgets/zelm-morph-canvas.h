/* zelm-morph-canvas.h: scrubs a wave's morph position along either morph
 * direction and snaps it to the morph keys */
#pragma once

#include <gtk/gtk.h>

#include "vorn-wave.h"

G_BEGIN_DECLS

#define ZELM_TYPE_MORPH_CANVAS (zelm_morph_canvas_get_type ())
G_DECLARE_FINAL_TYPE (ZelmMorphCanvas, zelm_morph_canvas, ZELM, MORPH_CANVAS, GtkDrawingArea)

/* Returns: (transfer floating): a new morph canvas without a wave. */
GtkWidget *zelm_morph_canvas_new (void);

/**
 * zelm_morph_canvas_set_wave:
 * @canvas: a morph canvas
 * @wave: (nullable): the wave whose morph keys are shown; the canvas takes
 *   a reference
 *
 * A different wave resets "curve-point" to -1 and "morph-position" to 0 and
 * ends a drag.  Setting the wave it already shows only redraws (the way to
 * tell it that the wave's morph changed).
 */
void zelm_morph_canvas_set_wave (ZelmMorphCanvas *canvas, VornWave *wave);

/* Returns: (transfer none) (nullable): the wave shown. */
VornWave *zelm_morph_canvas_get_wave (ZelmMorphCanvas *canvas);

G_END_DECLS
