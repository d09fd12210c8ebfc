/* zelm-wave-canvas-private.h: the wave canvas's state, shared by the files
 * that make up the canvas (editing and view, drawing) */
#pragma once

#include "zelm-wave-canvas.h"

#include "zelm-curve-edit.h"

#include <vector>

#define READOUT_SIZE 128

struct _ZelmWaveCanvas {
  GtkDrawingArea parent_instance;

  ZelmCurveEdit *edit; /* wave, mode, view, picture, selection, drags */
  ZelmWaveCanvasPolarity polarity;
  gboolean bipolar;
  int selected_key;
  double last_x, last_y;
  gboolean inside;
  gboolean debug;
  int debug_samples;
  gboolean fitted;   /* the view is the fit, not the user's zoom or scroll */
  gboolean panning;  /* a middle-button drag moves the view */
  double pan_x, pan_y;
  char readout[READOUT_SIZE];

  /* Debug traces, rendered when the wave's data or the view change. */
  std::vector<double> trace_double, trace_single;
};

/* Shorthands for what the editing session holds. */

static inline const ZelmCurveView *
view_of (ZelmWaveCanvas *c)
{
  return zelm_curve_edit_get_view (c->edit);
}

static inline ZelmWaveCanvasMode
mode_of (ZelmWaveCanvas *c)
{
  return ZelmWaveCanvasMode (zelm_curve_edit_get_mode (c->edit));
}

static inline gboolean
is_hmorph (ZelmWaveCanvas *c)
{
  return mode_of (c) == ZELM_WAVE_CANVAS_MODE_HMORPH;
}

static inline gboolean
is_morph_mode (ZelmWaveCanvas *c)
{
  return mode_of (c) != ZELM_WAVE_CANVAS_MODE_CURVE;
}

static inline VornWave *
wave_of (ZelmWaveCanvas *c)
{
  return zelm_curve_edit_get_wave (c->edit);
}

/* Drawing (zelm-wave-canvas-draw.cpp). */

/* Renders the debug traces of the wave's curve, or clears them when they
 * are off or there is no curve to render. */
void zelm_wave_canvas_render_debug_traces (ZelmWaveCanvas *c);
/* The GtkWidget draw handler. */
gboolean zelm_wave_canvas_draw (GtkWidget *widget, cairo_t *cr);
