/* vorn-curve-trans.h: interactive dragging of curve coordinates */
#pragma once

#include <glib-object.h>

#include "vorn-curve.h"

G_BEGIN_DECLS

/**
 * VornCurveTransMode:
 * @VORN_CURVE_TRANS_MODE_CLAMP: follow the pointer, clamped to the ranges
 * @VORN_CURVE_TRANS_MODE_STOP: follow the pointer on each axis only while
 *   it is inside that axis' range
 * @VORN_CURVE_TRANS_MODE_HANDLE_SWAP: pull a handle out of its endpoint,
 *   switching to the other handle when dragged across the endpoint
 * @VORN_CURVE_TRANS_MODE_WRAP_POS: move the first and last endpoints (and
 *   their handles) up and down together, as one point of a periodic wave
 * @VORN_CURVE_TRANS_MODE_KEEP_SLOPE: move an endpoint with its handles
 * @VORN_CURVE_TRANS_MODE_SET_SLOPE: move a handle, keeping the opposite
 *   handle collinear and at its length
 * @VORN_CURVE_TRANS_MODE_SET_SLOPE_DIST: move a handle, keeping the
 *   opposite handle collinear and at the same length
 */
typedef enum {
  VORN_CURVE_TRANS_MODE_CLAMP = 0,
  VORN_CURVE_TRANS_MODE_STOP = 1,
  VORN_CURVE_TRANS_MODE_HANDLE_SWAP = 2,
  VORN_CURVE_TRANS_MODE_WRAP_POS = 3,
  VORN_CURVE_TRANS_MODE_KEEP_SLOPE = 4,
  VORN_CURVE_TRANS_MODE_SET_SLOPE = 5,
  VORN_CURVE_TRANS_MODE_SET_SLOPE_DIST = 6,
} VornCurveTransMode;

#define VORN_TYPE_CURVE_TRANS_MODE (vorn_curve_trans_mode_get_type ())
GType vorn_curve_trans_mode_get_type (void);

/**
 * VornCurveTransPoint:
 * @x: recorded X of the selected coordinate (wrap-pos: Y of it)
 * @y: recorded Y of the selected coordinate (wrap-pos: Y of the other end)
 * @x1: recorded X of the first linked coordinate (wrap-pos: Y of index 1)
 * @y1: recorded Y of the first linked coordinate (wrap-pos: Y of the last
 *   left handle)
 * @x2: recorded X of the second linked coordinate
 * @y2: recorded Y of the second linked coordinate
 * @index: coordinate index of the selection in the curve
 * @link1: first linked coordinate index
 * @link2: second linked coordinate index
 * @link3: third linked coordinate index
 * @link_count: number of links in use
 * @mode: a #VornCurveTransMode
 *
 * One selected coordinate of a #VornCurveTrans.
 */
typedef struct {
  double x, y;
  double x1, y1;
  double x2, y2;
  guint32 index;
  guint32 link1, link2, link3;
  guint8 link_count;
  guint8 mode;
} VornCurveTransPoint;

/**
 * VornCurveTrans:
 * @points: (element-type VornCurveTransPoint): the selection, sorted by
 *   coordinate index
 * @curve: the curve being edited (strong reference) or NULL
 * @tag: free for the caller
 * @xmin: lowest allowed X (0.0 by default)
 * @xmax: highest allowed X (1.0 by default)
 * @ymin: lowest allowed Y (0.0 by default)
 * @ymax: highest allowed Y (1.0 by default)
 * @snap_dist: distance within which a clamped handle snaps onto its
 *   endpoint; 0.0 disables snapping
 *
 * A drag of a selection of curve coordinates.  Every position is computed
 * from the positions recorded when the coordinates were added, so each
 * translate call is independent of the ones before it.
 */
typedef struct {
  GArray *points;
  VornCurve *curve;
  guint32 tag;
  double xmin, xmax;
  double ymin, ymax;
  double snap_dist;
} VornCurveTrans;

/**
 * vorn_curve_trans_new: (skip)
 * @curve: (nullable): the curve to edit
 *
 * Returns: (transfer full): a transformation with an empty selection, the
 * ranges [0, 1] and snapping off; free with vorn_curve_trans_free()
 */
VornCurveTrans *vorn_curve_trans_new (VornCurve *curve);

/**
 * vorn_curve_trans_free:
 * @trans: (nullable): a transformation
 *
 * Frees @trans and drops its curve reference.
 */
void vorn_curve_trans_free (VornCurveTrans *trans);

/**
 * vorn_curve_trans_set_curve:
 * @curve: (nullable): the new curve
 *
 * Replaces the curve.  The selection is kept; clear it when it belonged to
 * another curve.
 */
void vorn_curve_trans_set_curve (VornCurveTrans *trans, VornCurve *curve);

/**
 * vorn_curve_trans_set_xrange:
 * @trans: a transformation
 * @min: lowest X
 * @max: highest X
 *
 * Sets the allowed X range.
 */
void vorn_curve_trans_set_xrange (VornCurveTrans *trans, double min,
                                  double max);

/**
 * vorn_curve_trans_set_yrange:
 * @trans: a transformation
 * @min: lowest Y
 * @max: highest Y
 *
 * Sets the allowed Y range.
 */
void vorn_curve_trans_set_yrange (VornCurveTrans *trans, double min,
                                  double max);

/**
 * vorn_curve_trans_add_point:
 * @trans: a transformation with a curve
 * @pointIndex: coordinate index to select
 * @mode: a #VornCurveTransMode
 *
 * Selects a coordinate and records its position and that of the
 * coordinates the mode links to it.
 *
 * Returns: TRUE when added; FALSE when @mode does not apply to that kind of
 * coordinate (wrap-pos and keep-slope take endpoints, set-slope and
 * set-slope-dist take handles) or on invalid arguments
 */
gboolean vorn_curve_trans_add_point (VornCurveTrans *trans, guint pointIndex,
                                     VornCurveTransMode mode);

/**
 * vorn_curve_trans_translate:
 * @x: target X
 * @y: target Y
 *
 * Moves the selection towards (@x, @y), within the ranges.
 */
void vorn_curve_trans_translate (VornCurveTrans *trans, double x, double y);

/**
 * vorn_curve_trans_undo:
 *
 * Restores every selected and linked coordinate to its recorded position.
 * The selection is kept.
 */
void vorn_curve_trans_undo (VornCurveTrans *trans);

/**
 * vorn_curve_trans_clear:
 * @trans: a transformation
 *
 * Empties the selection, keeping the curve as it is.
 */
void vorn_curve_trans_clear (VornCurveTrans *trans);

/**
 * vorn_curve_trans_get_points:
 * @count: (out) (optional): number of entries
 *
 * Returns: (transfer none): the selection, valid until it next changes
 */
VornCurveTransPoint *vorn_curve_trans_get_points (VornCurveTrans *trans,
                                                  guint *count);

/**
 * vorn_curve_trans_get_xrange:
 * @trans: a transformation (its X range limits the result)
 * @curve: (nullable): the curve, or NULL for @trans' curve
 * @pointIndex: coordinate index
 * @between_handles: for an interior endpoint, allow it to move between the
 *   neighbouring points' inner handles (past its own handles); when FALSE it
 *   also stays within its own handles
 * @min: (out): lowest allowed X
 * @max: (out): highest allowed X
 *
 * Computes the X range in which a coordinate may move without crossing its
 * neighbours.  The first and the last endpoint get their own X only: they
 * never move horizontally, whatever the transformation's X range.  The
 * result may be empty (@min > @max); clamping then gives @max.
 */
void vorn_curve_trans_get_xrange (VornCurveTrans *trans, VornCurve *curve,
                                  guint pointIndex, gboolean between_handles,
                                  double *min, double *max);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornCurveTrans, vorn_curve_trans_free)

G_END_DECLS
