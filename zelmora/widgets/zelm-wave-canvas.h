/* zelm-wave-canvas.h: interactive editor of a wave's curve and its morph
 * curves */
#pragma once

#include <gtk/gtk.h>

#include "vorn-wave.h"

G_BEGIN_DECLS

/**
 * ZelmWaveCanvasMode:
 * @ZELM_WAVE_CANVAS_MODE_CURVE: the wave's curve, morphed to "morph-position"
 * @ZELM_WAVE_CANVAS_MODE_HMORPH: the horizontal morph curves of "curve-point";
 *   morph position runs downward, the coordinate's x value to the right
 * @ZELM_WAVE_CANVAS_MODE_VMORPH: the vertical morph curves of "curve-point";
 *   morph position runs to the right, the coordinate's y value upward
 */
typedef enum {
  ZELM_WAVE_CANVAS_MODE_CURVE = 0,
  ZELM_WAVE_CANVAS_MODE_HMORPH = 1,
  ZELM_WAVE_CANVAS_MODE_VMORPH = 2,
} ZelmWaveCanvasMode;

/**
 * ZelmWaveCanvasPolarity:
 * @ZELM_WAVE_CANVAS_POLARITY_AUTO: bipolar when the curve dips below 0
 * @ZELM_WAVE_CANVAS_POLARITY_UNIPOLAR: values 0 to 1
 * @ZELM_WAVE_CANVAS_POLARITY_BIPOLAR: values -1 to 1
 */
typedef enum {
  ZELM_WAVE_CANVAS_POLARITY_AUTO = 0,
  ZELM_WAVE_CANVAS_POLARITY_UNIPOLAR = 1,
  ZELM_WAVE_CANVAS_POLARITY_BIPOLAR = 2,
} ZelmWaveCanvasPolarity;

#define ZELM_TYPE_WAVE_CANVAS_MODE     (zelm_wave_canvas_mode_get_type ())
#define ZELM_TYPE_WAVE_CANVAS_POLARITY (zelm_wave_canvas_polarity_get_type ())
GType zelm_wave_canvas_mode_get_type (void);
GType zelm_wave_canvas_polarity_get_type (void);

#define ZELM_TYPE_WAVE_CANVAS (zelm_wave_canvas_get_type ())
G_DECLARE_FINAL_TYPE (ZelmWaveCanvas, zelm_wave_canvas, ZELM, WAVE_CANVAS, GtkDrawingArea)

/* Returns: (transfer floating): a new canvas in curve mode without a wave. */
GtkWidget *zelm_wave_canvas_new (void);

/**
 * zelm_wave_canvas_set_wave:
 * @canvas: a canvas
 * @wave: (nullable): the wave to edit; the canvas takes a reference
 *
 * A different wave cancels any drag, resets "morph-position" and
 * "selected-key" and notifies "wave".  Setting the wave it already shows
 * only rebuilds the picture (the way to tell it that someone else changed
 * the wave's data).
 */
void zelm_wave_canvas_set_wave (ZelmWaveCanvas *canvas, VornWave *wave);

/* Returns: (transfer none) (nullable): the wave being edited. */
VornWave *zelm_wave_canvas_get_wave (ZelmWaveCanvas *canvas);

/* Sets "polarity" and refits the view; notifies only on a change. */
void zelm_wave_canvas_set_polarity (ZelmWaveCanvas *canvas, ZelmWaveCanvasPolarity polarity);

/**
 * zelm_wave_canvas_value_to_pixel:
 * @canvas: a canvas
 * @x: curve x (curve mode), morph position (morph modes)
 * @y: curve y (curve mode), coordinate value (morph modes)
 * @px: (out): widget x
 * @py: (out): widget y
 *
 * Where the current view draws a value.
 */
void zelm_wave_canvas_value_to_pixel (ZelmWaveCanvas *canvas, double x, double y, double *px,
                                      double *py);

/* Zooms both axes by @factor about the middle of the canvas (above 1 zooms
 * in) and notifies the view properties that changed. */
void zelm_wave_canvas_zoom (ZelmWaveCanvas *canvas, double factor);

/* Frames the whole curve with every value its morph curves reach (the
 * polarity's range at least), as a new wave does. */
void zelm_wave_canvas_fit (ZelmWaveCanvas *canvas);

/**
 * zelm_wave_canvas_get_readout:
 * @canvas: a canvas
 *
 * The line the canvas shows in its corner: where the pointer is, in
 * values, and while dragging, where the dragged coordinate is.
 *
 * Returns: (transfer none): the text, empty when there is nothing to say
 */
const char *zelm_wave_canvas_get_readout (ZelmWaveCanvas *canvas);

/**
 * zelm_wave_canvas_get_selected_value:
 * @x: (out): x of the selected coordinate (morph position in the morph modes)
 * @y: (out): its y (coordinate value in the morph modes)
 *
 * Returns: FALSE when nothing is selected.
 */
gboolean zelm_wave_canvas_get_selected_value (ZelmWaveCanvas *canvas, double *x, double *y);

/* Moves the selected coordinate to (@x, @y) as a drag would (undoable like
 * one: "wave" is notified).  Returns: FALSE when nothing is selected. */
gboolean zelm_wave_canvas_set_selected_value (ZelmWaveCanvas *canvas, double x, double y);

G_END_DECLS
