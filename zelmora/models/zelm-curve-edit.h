/* zelm-curve-edit.h: the editing session of a wave's curve or of one
 * coordinate's morph curves, free of widgets */
#pragma once

#include <glib-object.h>

#include "vorn-wave.h"
#include "zelm-curve-view.h"

G_BEGIN_DECLS

/**
 * ZelmCurveEditMode:
 * @ZELM_CURVE_EDIT_CURVE: the wave's curve, morphed to the morph position
 * @ZELM_CURVE_EDIT_HMORPH: the horizontal morph curves of the curve point
 *   (the view is transposed)
 * @ZELM_CURVE_EDIT_VMORPH: the vertical morph curves of the curve point
 *
 * Same values as ZelmWaveCanvasMode.
 */
typedef enum {
  ZELM_CURVE_EDIT_CURVE = 0,
  ZELM_CURVE_EDIT_HMORPH = 1,
  ZELM_CURVE_EDIT_VMORPH = 2,
} ZelmCurveEditMode;

/* Modifier keys held during a drag. */
typedef enum {
  ZELM_CURVE_EDIT_SHIFT = 1 << 0,
  ZELM_CURVE_EDIT_CONTROL = 1 << 1,
  ZELM_CURVE_EDIT_NO_SNAP = 1 << 2, /* snapping off while held (Alt) */
} ZelmCurveEditModifiers;

/* What an operation changed, for the caller to announce. */
typedef enum {
  ZELM_CURVE_EDIT_CHANGED_WAVE = 1 << 0,      /* the wave's curve or morph */
  ZELM_CURVE_EDIT_CHANGED_SELECTION = 1 << 1, /* the selected coordinate */
} ZelmCurveEditChange;

/**
 * ZelmCurveEdit:
 *
 * One editor's session over a wave.  It keeps the picture of what it edits
 * in view pixels, canvas orientation (see ZelmCurveView): the curve being
 * edited and, in the morph modes, the other morph curves of the same
 * direction.  Drags run the engine's curve transformation on that picture,
 * so that snapping and handle lengths are measured on screen, and write the
 * result back into the wave; cancelling puts the wave back bit for bit,
 * morph curves included.  Positions passed in are widget pixels.
 */
typedef struct _ZelmCurveEdit ZelmCurveEdit;

/* Returns: (transfer full): a session in curve mode without a wave; free
 * with zelm_curve_edit_free(). */
ZelmCurveEdit *zelm_curve_edit_new (void);

/* Frees @edit (NULL is fine); a running drag is kept as it is. */
void zelm_curve_edit_free (ZelmCurveEdit *edit);

/**
 * zelm_curve_edit_set_wave:
 * @wave: (nullable): the wave to edit; the session takes a reference
 *
 * A different wave first cancels a running drag.  Either way the picture
 * is rebuilt; call it with the same wave after changing its data elsewhere.
 *
 * Returns: the changes (a cancelled drag changes the wave back).
 */
guint zelm_curve_edit_set_wave (ZelmCurveEdit *edit, VornWave *wave);

/* Returns: (transfer none) (nullable): the wave. */
VornWave *zelm_curve_edit_get_wave (ZelmCurveEdit *edit);

/* Mode, curve point (coordinate whose morph curves the morph modes edit,
 * or -1) and morph position (0 to 1, the curve mode's morph).  Each setter
 * keeps a running drag's work, ends it, and rebuilds the picture. */
void zelm_curve_edit_set_mode (ZelmCurveEdit *edit, ZelmCurveEditMode mode);
ZelmCurveEditMode zelm_curve_edit_get_mode (ZelmCurveEdit *edit);
void zelm_curve_edit_set_curve_point (ZelmCurveEdit *edit, int point);
int zelm_curve_edit_get_curve_point (ZelmCurveEdit *edit);
void zelm_curve_edit_set_morph_position (ZelmCurveEdit *edit, double position);
double zelm_curve_edit_get_morph_position (ZelmCurveEdit *edit);

/**
 * zelm_curve_edit_set_view:
 * @view: the new view; its transposed flag is taken from the mode
 *
 * Keeps a running drag's work, ends it, and rebuilds the picture.
 */
void zelm_curve_edit_set_view (ZelmCurveEdit *edit, const ZelmCurveView *view);

/* Returns: (transfer none): the view. */
const ZelmCurveView *zelm_curve_edit_get_view (ZelmCurveEdit *edit);

/* Returns: (transfer none) (nullable): the edited curve in canvas pixels,
 * NULL when there is nothing to edit. */
VornCurve *zelm_curve_edit_get_curve (ZelmCurveEdit *edit);

/* Returns: (transfer none) (array length=n_curves): the other morph curves
 * of the mode's direction, in canvas pixels. */
VornCurve *const *zelm_curve_edit_get_backgrounds (ZelmCurveEdit *edit, guint *n_curves);

/**
 * zelm_curve_edit_find_coord:
 * @x, @y: widget pixels
 *
 * Returns: the coordinate nearest to the position among the nine around
 * its place along the curve (a handle lying on its point counts as the
 * point), or -1 when there is no curve.
 */
int zelm_curve_edit_find_coord (ZelmCurveEdit *edit, double x, double y);

/* The highlighted coordinate, or -1; the session moves it with the
 * selection while dragging, inserting and stepping. */
int zelm_curve_edit_get_hover (ZelmCurveEdit *edit);
void zelm_curve_edit_set_hover (ZelmCurveEdit *edit, int coord);

/* Returns: the selected coordinate or -1. */
int zelm_curve_edit_get_selected (ZelmCurveEdit *edit);

/* Selects @coord (or nothing for a negative value), cancelling a running
 * drag first.  Returns: the changes. */
guint zelm_curve_edit_set_selected (ZelmCurveEdit *edit, int coord);

/* Returns: whether a drag is running. */
gboolean zelm_curve_edit_is_dragging (ZelmCurveEdit *edit);

/**
 * zelm_curve_edit_begin:
 * @coord: the coordinate grabbed (a point or a handle)
 * @x, @y: where the pointer is
 *
 * Selects @coord and starts a drag; nothing moves until the first
 * zelm_curve_edit_move() or modifier change.  Ignored while dragging.
 *
 * Returns: the changes.
 */
guint zelm_curve_edit_begin (ZelmCurveEdit *edit, int coord, double x, double y);

/**
 * zelm_curve_edit_move:
 * @x, @y: the pointer position
 * @modifiers: ZelmCurveEditModifiers held
 *
 * Drags the coordinate the drag began on.  The modifiers choose the
 * transformation: a point keeps its handles' slopes, a handle is clamped;
 * Shift swaps handles; Control moves the first and last point together
 * (wrap), and makes a handle set its opposite's slope (with Shift also its
 * length).  A change of that choice restarts the drag from the wave as the
 * drag found it.  Away from morph position 0, or for a coordinate that
 * already morphs, the coordinates moved get morph curves holding the new
 * values at the morph position.
 *
 * Returns: the changes.
 */
guint zelm_curve_edit_move (ZelmCurveEdit *edit, double x, double y, guint modifiers);

/* Modifiers changed without motion: the drag continues at the last
 * position.  Returns: the changes. */
guint zelm_curve_edit_set_modifiers (ZelmCurveEdit *edit, guint modifiers);

/* Ends the drag keeping what it did.  Returns: the changes (none). */
guint zelm_curve_edit_commit (ZelmCurveEdit *edit);

/* Ends the drag putting the wave back exactly, morph curves included, and
 * the selection on the coordinate the drag began on.  Returns: the
 * changes. */
guint zelm_curve_edit_cancel (ZelmCurveEdit *edit);

/**
 * zelm_curve_edit_insert:
 * @x, @y: where the new point goes
 *
 * Inserts a point on the edited curve where it passes nearest to the
 * position (a double click) and selects it; the curve keeps its shape (the
 * segment is split, see vorn_curve_split_segment()).  Nothing happens
 * within 4 pixels of an existing point.  A running drag goes on with the
 * new point.  In a morph mode whose curve
 * point has no morph curve yet, creates that curve instead: from the
 * coordinate's value to the same value at position 1.  Nothing happens
 * within the margin at the left and top (canvas orientation).
 *
 * Returns: the changes.
 */
guint zelm_curve_edit_insert (ZelmCurveEdit *edit, double x, double y);

/* Snapping of dragged coordinates to the view's minor grid lines (off in
 * a new session); ZELM_CURVE_EDIT_NO_SNAP suspends it for one move. */
void zelm_curve_edit_set_snap (ZelmCurveEdit *edit, gboolean snap);
gboolean zelm_curve_edit_get_snap (ZelmCurveEdit *edit);

/**
 * zelm_curve_edit_get_value:
 * @coord: a coordinate of the edited curve
 * @vx: (out): its x (morph position in the morph modes)
 * @vy: (out): its y (coordinate value in the morph modes)
 *
 * Returns: FALSE when there is no such coordinate.
 */
gboolean zelm_curve_edit_get_value (ZelmCurveEdit *edit, int coord, double *vx, double *vy);

/**
 * zelm_curve_edit_set_value:
 * @coord: a coordinate of the edited curve
 * @vx, @vy: where it goes, in values
 *
 * Moves a coordinate as a drag without modifiers and without snapping
 * would (a point takes its handles along; x stays between the neighbours),
 * but not limited to the visible part of the view; selects it.  A running
 * drag is kept as it is and ended first.
 *
 * Returns: the changes.
 */
guint zelm_curve_edit_set_value (ZelmCurveEdit *edit, int coord, double vx, double vy);

/* Deletes the point of the selected coordinate (never a curve's first or
 * last point); clears the selection and the hover.  Returns: the changes. */
guint zelm_curve_edit_delete_selected (ZelmCurveEdit *edit);

/* Selects the next (@step > 0) or previous coordinate, wrapping around;
 * from no selection the first or the last.  Not while dragging.  Returns:
 * the changes. */
guint zelm_curve_edit_step (ZelmCurveEdit *edit, int step);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (ZelmCurveEdit, zelm_curve_edit_free)

G_END_DECLS
