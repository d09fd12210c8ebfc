/* zelm-curve-edit-private.h: the state of a curve-editing session, shared
 * by the files that implement it */
#pragma once

#include "zelm-curve-edit.h"

#include "vorn-curve-trans.h"

#include <vector>

#define SNAP_DIST 4.0 /* a handle this close to its point counts as the point */

/* Drag kinds: which transformation a drag runs, so that a change of
 * modifiers can be told from a continued drag. */
enum {
  DRAG_NONE = 0,
  DRAG_CLAMP = 1,
  DRAG_KEEP_SLOPE = 2,
  DRAG_WRAP_POS = 3,
  DRAG_SET_SLOPE = 4,
  DRAG_SET_SLOPE_DIST = 5,
  DRAG_HANDLE_SWAP = 6,
};

/* A morph curve point dragged along with a base curve coordinate, and what
 * is needed to put its curve back exactly as it was. */
struct MorphDrag {
  VornCurveTrans *trans;
  guint index;
  gboolean horizontal;
  gboolean created_entry; /* the drag created the whole morph curve */
  int inserted_point;     /* point the drag inserted, or -1 */
  VornCurve *before;      /* the curve before that insertion, or NULL */
};

struct _ZelmCurveEdit {
  ZelmCurveEditMode mode;
  VornWave *wave;
  ZelmCurveView view;
  int curve_point;
  double morph_pos;

  VornCurve *curve;                   /* the edited curve in canvas pixels */
  std::vector<VornCurve *> bg_curves; /* the other morph curves, in pixels */
  int selected;
  int hover;

  VornCurveTrans *trans;
  std::vector<MorphDrag> morph_trans;
  gboolean dragging;
  int drag_kind;
  int drag_origin; /* the coordinate the drag was started on */
  double last_x, last_y;
  gboolean snap;

  /* State of the current drag kind: the coordinates it touched, the
   * picture and the edited data as they were when it began (for exact
   * restores). */
  gboolean trans_moved;
  std::vector<guint> touched;
  std::vector<double> orig_cx, orig_cy;
  std::vector<double> snap_x, snap_y;
  double snap_base;
  gboolean had_morph;
};



static inline gboolean
is_hmorph (ZelmCurveEdit *c)
{
  return c->mode == ZELM_CURVE_EDIT_HMORPH;
}

static inline gboolean
is_morph_mode (ZelmCurveEdit *c)
{
  return c->mode != ZELM_CURVE_EDIT_CURVE;
}

static inline int
coord_length (VornCurve *curve)
{
  return curve ? VORN_CURVE_COORD_LENGTH (curve) : 0;
}

static inline VornMorph *
wave_morph (ZelmCurveEdit *c)
{
  return c->wave ? c->wave->morph : nullptr;
}

static inline void
update_ranges (ZelmCurveEdit *c)
{
  double x0, x1, y0, y1;
  zelm_curve_view_canvas_range (&c->view, &x0, &x1, &y0, &y1);
  vorn_curve_trans_set_xrange (c->trans, x0, x1);
  vorn_curve_trans_set_yrange (c->trans, y0, y1);
}

static inline void
map_curve_to_canvas (ZelmCurveEdit *c, VornCurve *curve)
{
  const int n = coord_length (curve);
  for (int i = 0; i < n; i++)
    zelm_curve_view_to_canvas (&c->view, curve->xcoords[i], curve->ycoords[i], &curve->xcoords[i],
                               &curve->ycoords[i]);
}

static inline void
canvas_to_value (ZelmCurveEdit *c, double cx, double cy, double *vx, double *vy)
{
  zelm_curve_view_from_canvas (&c->view, cx, cy, vx, vy);
}

/* The base value a morph curve of @index starts from. */
static inline double
base_value (ZelmCurveEdit *c, guint index, gboolean horizontal)
{
  VornCurve *base = c->wave->curve;
  if (int (index) >= coord_length (base))
    return 0.0;
  return horizontal ? base->xcoords[index] : base->ycoords[index];
}


/* Writing a drag back into the wave (zelm-curve-edit-write.cpp). */
void zelm_curve_edit_write_coord (ZelmCurveEdit *c, guint i, gboolean follow_morph);
void zelm_curve_edit_follow_morph (ZelmCurveEdit *c, guint index, gboolean horizontal);
void zelm_curve_edit_restore_morph (ZelmCurveEdit *c);
void zelm_curve_edit_drop_morph_drags (ZelmCurveEdit *c);
