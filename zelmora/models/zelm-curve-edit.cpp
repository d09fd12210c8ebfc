/* zelm-curve-edit.cpp: the editing session of a wave's curve or of one
 * coordinate's morph curves, free of widgets */
#include "zelm-curve-edit-private.h"

#include <cmath>
#include <new>

#define MARGIN ZELM_CURVE_VIEW_MARGIN

/* ---- picture ----------------------------------------------------------- */

static void
clear_picture (ZelmCurveEdit *c)
{
  g_clear_object (&c->curve);
  for (VornCurve *bg : c->bg_curves)
    g_object_unref (bg);
  c->bg_curves.clear ();
}

/* Rebuilds the pixel copies of what is edited from the wave. */
static void
rebuild (ZelmCurveEdit *c)
{
  clear_picture (c);
  if (!c->wave || !c->wave->curve)
    return;

  VornCurve *base = c->wave->curve;
  VornMorph *morph = wave_morph (c);
  if (c->mode == ZELM_CURVE_EDIT_CURVE)
    {
      c->curve = vorn_curve_duplicate (base);
      const int n = coord_length (c->curve);
      if (morph && c->morph_pos > 0.0 && n >= 4)
        vorn_morph_transform (morph, c->morph_pos, c->curve->xcoords, c->curve->ycoords,
                              guint (n), VORN_FORMAT_DOUBLE);
      map_curve_to_canvas (c, c->curve);
      return;
    }

  if (!morph || c->curve_point < 0)
    return;
  const gboolean horizontal = is_hmorph (c);
  for (guint i = 0; i < morph->count; i++)
    {
      const VornMorphPoint &entry = morph->points[i];
      if (bool (entry.horizontal) != bool (horizontal))
        continue;
      VornCurve *copy = vorn_curve_duplicate (entry.curve);
      if (coord_length (copy) > 0)
        copy->ycoords[0] = base_value (c, entry.index, horizontal);
      map_curve_to_canvas (c, copy);
      if (entry.index == guint (c->curve_point) && !c->curve)
        c->curve = copy;
      else
        c->bg_curves.push_back (copy);
    }
}

/* ---- hit testing ------------------------------------------------------- */

static double
distance (VornCurve *curve, int i, double x, double y)
{
  return std::hypot (curve->xcoords[i] - x, curve->ycoords[i] - y);
}

/* The coordinate nearest to (@x, @y) in canvas orientation, or -1. */
static int
find_coord (ZelmCurveEdit *c, double x, double y)
{
  VornCurve *curve = c->curve;
  if (!curve || curve->count < 2)
    return -1;
  const int last = coord_length (curve) - 1;
  const double *xs = curve->xcoords;

  int lo = 0, hi = last, start = 0;
  while (lo <= hi)
    {
      int mid = (lo + hi) / 2;
      if (xs[mid] == x)
        {
          start = mid;
          break;
        }
      if (xs[mid] < x)
        {
          start = mid;
          lo = mid + 1;
        }
      else
        hi = mid - 1;
    }

  int best = start;
  double best_d = distance (curve, start, x, y);
  for (int i = MAX (start - 4, 0); i <= MIN (start + 4, last); i++)
    {
      double d = distance (curve, i, x, y);
      if (d < best_d)
        {
          best = i;
          best_d = d;
        }
    }

  /* A handle lying on its point is reached through the point. */
  int point = best % 3 == 1 ? best - 1 : best % 3 == 2 ? best + 1 : best;
  if (point != best &&
      distance (curve, point, curve->xcoords[best], curve->ycoords[best]) <= SNAP_DIST)
    return point;
  return best;
}

/* Makes @index the only selection; TRUE when that changed it. */
static gboolean
select_coord (ZelmCurveEdit *c, int index)
{
  if (index < 0)
    index = -1;
  if (c->selected == index)
    return FALSE;
  c->selected = index;
  return TRUE;
}

static guint
selection_change (gboolean changed)
{
  return changed ? ZELM_CURVE_EDIT_CHANGED_SELECTION : 0;
}

/* ---- dragging ---------------------------------------------------------- */

static void
add_touched (ZelmCurveEdit *c, guint index)
{
  for (guint t : c->touched)
    if (t == index)
      return;
  c->touched.push_back (index);
}

static gboolean
morph_aware (ZelmCurveEdit *c)
{
  return c->mode == ZELM_CURVE_EDIT_CURVE && c->drag_kind != DRAG_NONE &&
         (c->morph_pos > 0.0 || !c->morph_trans.empty ());
}

/* Records what the coming drag kind may change, for exact restores. */
static void
take_snapshot (ZelmCurveEdit *c)
{
  const int n = coord_length (c->curve);
  c->orig_cx.assign (c->curve->xcoords, c->curve->xcoords + n);
  c->orig_cy.assign (c->curve->ycoords, c->curve->ycoords + n);
  c->had_morph = wave_morph (c) != nullptr;
  c->snap_x.clear ();
  c->snap_y.clear ();
  VornCurve *src = c->wave->curve;
  if (is_morph_mode (c))
    {
      VornMorphPoint *entry = vorn_wave_find_morph_point (c->wave, guint (c->curve_point),
                                                          is_hmorph (c));
      src = entry ? entry->curve : nullptr;
      c->snap_base = base_value (c, guint (c->curve_point), is_hmorph (c));
    }
  if (coord_length (src) == n)
    {
      c->snap_x.assign (src->xcoords, src->xcoords + n);
      c->snap_y.assign (src->ycoords, src->ycoords + n);
    }
}

static void
restore_drag (ZelmCurveEdit *c)
{
  if (c->trans_moved)
    {
      vorn_curve_trans_undo (c->trans);
      VornCurve *dst = c->wave->curve;
      if (is_morph_mode (c))
        {
          VornMorphPoint *entry = vorn_wave_find_morph_point (c->wave, guint (c->curve_point),
                                                              is_hmorph (c));
          dst = entry ? entry->curve : nullptr;
          VornCurve *base = c->wave->curve;
          if (c->curve_point < coord_length (base))
            (is_hmorph (c) ? base->xcoords : base->ycoords)[c->curve_point] = c->snap_base;
          if (VornMorph *morph = wave_morph (c))
            vorn_morph_invalidate_cache_point (morph, guint (c->curve_point), is_hmorph (c));
        }
      const size_t n = size_t (coord_length (dst));
      if (n == c->snap_x.size ())
        for (size_t i = 0; i < n; i++)
          {
            dst->xcoords[i] = c->snap_x[i];
            dst->ycoords[i] = c->snap_y[i];
          }
      if (VornMorph *morph = wave_morph (c); morph && !is_morph_mode (c))
        for (guint i : c->touched)
          {
            vorn_morph_invalidate_cache_point (morph, i, TRUE);
            vorn_morph_invalidate_cache_point (morph, i, FALSE);
          }
    }
  zelm_curve_edit_restore_morph (c);
  vorn_curve_trans_clear (c->trans);
  vorn_curve_trans_set_curve (c->trans, nullptr);
  c->touched.clear ();
  c->trans_moved = FALSE;
  c->drag_kind = DRAG_NONE;
}

static void
forget_drag (ZelmCurveEdit *c)
{
  vorn_curve_trans_clear (c->trans);
  vorn_curve_trans_set_curve (c->trans, nullptr);
  zelm_curve_edit_drop_morph_drags (c);
  c->touched.clear ();
  c->orig_cx.clear ();
  c->orig_cy.clear ();
  c->snap_x.clear ();
  c->snap_y.clear ();
  c->trans_moved = FALSE;
  c->drag_kind = DRAG_NONE;
  c->dragging = FALSE;
  c->drag_origin = -1;
}

/* Ends a drag undoing what it did. */
static guint
cancel_drag (ZelmCurveEdit *c)
{
  const gboolean changed = c->drag_kind != DRAG_NONE;
  const int origin = c->drag_origin;
  if (changed)
    restore_drag (c);
  forget_drag (c);
  guint result = 0;
  /* Handle-swap may have moved the selection; it returns with the curve. */
  if (origin >= 0 && select_coord (c, origin))
    result |= ZELM_CURVE_EDIT_CHANGED_SELECTION;
  if (changed)
    {
      rebuild (c);
      result |= ZELM_CURVE_EDIT_CHANGED_WAVE;
    }
  return result;
}

/* A change under a running drag ends it, keeping what it did: its
 * transformation works on a picture that is about to be replaced. */
static void
settle_drag (ZelmCurveEdit *c)
{
  if (c->dragging || c->drag_kind != DRAG_NONE)
    forget_drag (c);
}

static void
choose_drag (ZelmCurveEdit *c, guint sel, guint modifiers, int *kind, VornCurveTransMode *mode)
{
  const gboolean shift = (modifiers & ZELM_CURVE_EDIT_SHIFT) != 0;
  const gboolean ctrl = (modifiers & ZELM_CURVE_EDIT_CONTROL) != 0;
  const gboolean point = sel % 3 == 0;
  const gboolean end = sel == 0 || int (sel) == coord_length (c->curve) - 1;

  if (shift && !ctrl)
    {
      *kind = DRAG_HANDLE_SWAP;
      *mode = VORN_CURVE_TRANS_MODE_HANDLE_SWAP;
    }
  else if (point && ctrl && end)
    {
      *kind = DRAG_WRAP_POS;
      *mode = VORN_CURVE_TRANS_MODE_WRAP_POS;
    }
  else if (point)
    {
      *kind = DRAG_KEEP_SLOPE;
      *mode = VORN_CURVE_TRANS_MODE_KEEP_SLOPE;
    }
  else if (ctrl && shift)
    {
      *kind = DRAG_SET_SLOPE_DIST;
      *mode = VORN_CURVE_TRANS_MODE_SET_SLOPE_DIST;
    }
  else if (ctrl)
    {
      *kind = DRAG_SET_SLOPE;
      *mode = VORN_CURVE_TRANS_MODE_SET_SLOPE;
    }
  else
    {
      *kind = DRAG_CLAMP;
      *mode = VORN_CURVE_TRANS_MODE_CLAMP;
    }
}

template <typename Fn>
static void
for_each_trans_coord (VornCurveTrans *trans, Fn fn)
{
  guint count = 0;
  VornCurveTransPoint *pts = vorn_curve_trans_get_points (trans, &count);
  for (guint i = 0; i < count; i++)
    {
      fn (pts[i].index);
      const guint32 links[3] = { pts[i].link1, pts[i].link2, pts[i].link3 };
      for (guint l = 0; l < pts[i].link_count && l < 3; l++)
        fn (links[l]);
    }
}

/* Moves the drag to widget position (@x, @y) under @modifiers. */
static guint
drag_to (ZelmCurveEdit *c, double x, double y, guint modifiers)
{
  if (!c->curve || c->selected < 0 || c->selected >= coord_length (c->curve))
    return 0;

  /* The kind follows from the coordinate the drag began on: handle-swap
   * may have moved the selection to a handle since. */
  if (c->drag_origin < 0 || c->drag_origin >= coord_length (c->curve))
    c->drag_origin = c->selected;
  const guint sel = guint (c->drag_origin);
  int kind;
  VornCurveTransMode mode;
  choose_drag (c, sel, modifiers, &kind, &mode);
  double cx, cy;
  zelm_curve_view_swap (&c->view, x, y, &cx, &cy);
  if (c->snap && !(modifiers & ZELM_CURVE_EDIT_NO_SNAP))
    {
      double vx, vy;
      canvas_to_value (c, cx, cy, &vx, &vy);
      zelm_curve_view_snap (&c->view, &vx, &vy);
      zelm_curve_view_to_canvas (&c->view, vx, vy, &cx, &cy);
    }

  guint result = 0;
  if (kind != c->drag_kind)
    {
      /* A new kind starts over from the curve as the drag found it. */
      if (c->drag_kind != DRAG_NONE)
        {
          restore_drag (c);
          rebuild (c);
        }
      else
        take_snapshot (c);
      if (select_coord (c, int (sel)))
        result |= ZELM_CURVE_EDIT_CHANGED_SELECTION;
      vorn_curve_trans_clear (c->trans);
      vorn_curve_trans_set_curve (c->trans, c->curve);
      if (!vorn_curve_trans_add_point (c->trans, sel, mode))
        return result;
      c->drag_kind = kind;
      const gboolean existing = vorn_wave_find_morph_point (c->wave, sel, TRUE) ||
                                vorn_wave_find_morph_point (c->wave, sel, FALSE);
      if (c->mode == ZELM_CURVE_EDIT_CURVE && (c->morph_pos > 0.0 || existing))
        for_each_trans_coord (c->trans, [c] (guint i) {
          zelm_curve_edit_follow_morph (c, i, TRUE);
          zelm_curve_edit_follow_morph (c, i, FALSE);
        });
    }
  vorn_curve_trans_translate (c->trans, cx, cy);
  c->trans_moved = TRUE;

  /* Handle-swap may have moved on to the other handle. */
  guint count = 0;
  VornCurveTransPoint *pts = vorn_curve_trans_get_points (c->trans, &count);
  if (count > 0 && select_coord (c, int (pts[0].index)))
    result |= ZELM_CURVE_EDIT_CHANGED_SELECTION;

  for_each_trans_coord (c->trans, [c] (guint i) { add_touched (c, i); });
  const gboolean follow = morph_aware (c);
  for (guint i : c->touched)
    zelm_curve_edit_write_coord (c, i, follow);
  c->hover = c->selected;
  return result | ZELM_CURVE_EDIT_CHANGED_WAVE;
}

/* ---- editing ----------------------------------------------------------- */

static guint
create_morph_curve (ZelmCurveEdit *c)
{
  const gboolean horizontal = is_hmorph (c);
  double value = base_value (c, guint (c->curve_point), horizontal);
  if (vorn_wave_insert_morph_point (c->wave, guint (c->curve_point), horizontal, 1.0, value,
                                    nullptr) < 0)
    return 0;
  rebuild (c);
  return ZELM_CURVE_EDIT_CHANGED_WAVE;
}

guint
zelm_curve_edit_insert (ZelmCurveEdit *c, double x, double y)
{
  g_return_val_if_fail (c != nullptr, 0);

  double cx, cy;
  zelm_curve_view_swap (&c->view, x, y, &cx, &cy);
  if (!c->wave || !c->wave->curve || cx < MARGIN || cy < MARGIN)
    return 0;
  if (is_morph_mode (c))
    {
      if (c->curve_point < 0 || c->curve_point >= coord_length (c->wave->curve))
        return 0;
      if (!c->curve)
        return create_morph_curve (c);
    }
  if (!c->curve || c->curve->count < 2)
    return 0;

  /* The press that began this double click started a drag that has not
   * moved; the new point takes over the gesture. */
  if (c->dragging)
    {
      forget_drag (c);
      c->dragging = TRUE;
    }

  /* On the curve where it passes nearest, splitting its segment so that
   * the shape stays; not onto a point that is already there. */
  int segment;
  double t;
  if (vorn_curve_nearest (c->curve, cx, cy, &segment, &t) < 0.0 || t <= 0.0 || t >= 1.0)
    return 0;
  double nx, ny;
  vorn_curve_eval_segment (c->curve, segment, t, &nx, &ny);
  for (int end : { 3 * segment, 3 * segment + 3 })
    if (std::hypot (c->curve->xcoords[end] - nx, c->curve->ycoords[end] - ny) < SNAP_DIST)
      return 0;
  const int i = vorn_curve_split_segment (c->curve, segment, t);
  if (i < 0)
    return 0;
  if (is_morph_mode (c))
    {
      VornMorphPoint *entry = vorn_morph_find_point (c->wave->morph, guint (c->curve_point),
                                                     is_hmorph (c));
      if (!entry)
        return 0;
      vorn_curve_insert_point_by_index (entry->curve, i);
    }
  else
    vorn_wave_insert_point_by_index (c->wave, i);

  for (int k = MAX (3 * i - 2, 0); k <= 3 * i + 2 && k < coord_length (c->curve); k++)
    zelm_curve_edit_write_coord (c, guint (k), FALSE);
  rebuild (c);
  c->selected = 3 * i;
  c->hover = 3 * i;
  c->drag_origin = 3 * i;
  return ZELM_CURVE_EDIT_CHANGED_WAVE | ZELM_CURVE_EDIT_CHANGED_SELECTION;
}

void
zelm_curve_edit_set_snap (ZelmCurveEdit *c, gboolean snap)
{
  g_return_if_fail (c != nullptr);
  c->snap = snap != FALSE;
}

gboolean
zelm_curve_edit_get_snap (ZelmCurveEdit *c)
{
  g_return_val_if_fail (c != nullptr, FALSE);
  return c->snap;
}

gboolean
zelm_curve_edit_get_value (ZelmCurveEdit *c, int coord, double *vx, double *vy)
{
  g_return_val_if_fail (c != nullptr && vx != nullptr && vy != nullptr, FALSE);
  if (coord < 0 || coord >= coord_length (c->curve))
    return FALSE;
  canvas_to_value (c, c->curve->xcoords[coord], c->curve->ycoords[coord], vx, vy);
  return TRUE;
}

guint
zelm_curve_edit_set_value (ZelmCurveEdit *c, int coord, double vx, double vy)
{
  g_return_val_if_fail (c != nullptr, 0);
  if (coord < 0 || coord >= coord_length (c->curve) || !std::isfinite (vx) ||
      !std::isfinite (vy))
    return 0;
  settle_drag (c);

  /* A drag to the typed place, with the view's limits lifted: a typed
   * value need not be in sight. */
  double cx, cy, px, py;
  zelm_curve_view_to_canvas (&c->view, vx, vy, &cx, &cy);
  zelm_curve_view_swap (&c->view, cx, cy, &px, &py);
  const gboolean snap = c->snap;
  c->snap = FALSE;
  guint result = zelm_curve_edit_begin (c, coord, px, py);
  vorn_curve_trans_set_xrange (c->trans, -G_MAXDOUBLE, G_MAXDOUBLE);
  vorn_curve_trans_set_yrange (c->trans, -G_MAXDOUBLE, G_MAXDOUBLE);
  result |= zelm_curve_edit_move (c, px, py, 0);
  forget_drag (c);
  update_ranges (c);
  rebuild (c);
  c->snap = snap;
  return result;
}

guint
zelm_curve_edit_delete_selected (ZelmCurveEdit *c)
{
  g_return_val_if_fail (c != nullptr, 0);

  if (c->selected < 0 || !c->curve || !c->wave)
    return 0;
  int k = c->selected;
  if (k % 3 == 1)
    k -= 1;
  else if (k % 3 == 2)
    k += 1;
  const int point = k / 3, n = c->curve->count;
  if (point >= n)
    return 0;
  if (c->mode == ZELM_CURVE_EDIT_CURVE && (point == 0 || point == n - 1))
    return 0;

  guint result = 0;
  if (c->dragging)
    result |= cancel_drag (c);
  if (c->mode == ZELM_CURVE_EDIT_CURVE)
    vorn_wave_delete_point (c->wave, point);
  else
    vorn_wave_remove_morph_point (c->wave, guint (c->curve_point), is_hmorph (c), guint (point));
  rebuild (c);
  c->hover = -1;
  return result | ZELM_CURVE_EDIT_CHANGED_WAVE | selection_change (select_coord (c, -1));
}

guint
zelm_curve_edit_step (ZelmCurveEdit *c, int step)
{
  g_return_val_if_fail (c != nullptr, 0);

  const int len = coord_length (c->curve);
  if (len == 0 || c->dragging)
    return 0;
  int sel = c->selected;
  if (sel < 0 || sel >= len)
    sel = step > 0 ? 0 : len - 1;
  else
    sel = (sel + step + len) % len;
  c->hover = sel;
  return selection_change (select_coord (c, sel));
}

/* ---- session ----------------------------------------------------------- */

ZelmCurveEdit *
zelm_curve_edit_new (void)
{
  ZelmCurveEdit *c = g_new0 (ZelmCurveEdit, 1);
  new (&c->bg_curves) std::vector<VornCurve *> ();
  new (&c->morph_trans) std::vector<MorphDrag> ();
  new (&c->touched) std::vector<guint> ();
  new (&c->orig_cx) std::vector<double> ();
  new (&c->orig_cy) std::vector<double> ();
  new (&c->snap_x) std::vector<double> ();
  new (&c->snap_y) std::vector<double> ();
  zelm_curve_view_init (&c->view);
  c->trans = vorn_curve_trans_new (nullptr);
  c->trans->snap_dist = SNAP_DIST;
  c->curve_point = -1;
  c->selected = -1;
  c->hover = -1;
  c->drag_origin = -1;
  update_ranges (c);
  return c;
}

void
zelm_curve_edit_free (ZelmCurveEdit *c)
{
  if (!c)
    return;
  zelm_curve_edit_drop_morph_drags (c);
  vorn_curve_trans_free (c->trans);
  clear_picture (c);
  g_clear_object (&c->wave);
  c->bg_curves.~vector ();
  c->morph_trans.~vector ();
  c->touched.~vector ();
  c->orig_cx.~vector ();
  c->orig_cy.~vector ();
  c->snap_x.~vector ();
  c->snap_y.~vector ();
  g_free (c);
}

guint
zelm_curve_edit_set_wave (ZelmCurveEdit *c, VornWave *wave)
{
  g_return_val_if_fail (c != nullptr, 0);
  g_return_val_if_fail (!wave || VORN_IS_WAVE (wave), 0);

  guint result = 0;
  if (c->wave != wave)
    {
      if (zelm_curve_edit_is_dragging (c))
        result = cancel_drag (c);
      g_set_object (&c->wave, wave);
      c->hover = -1;
    }
  rebuild (c);
  return result;
}

VornWave *
zelm_curve_edit_get_wave (ZelmCurveEdit *c)
{
  g_return_val_if_fail (c != nullptr, nullptr);
  return c->wave;
}

void
zelm_curve_edit_set_mode (ZelmCurveEdit *c, ZelmCurveEditMode mode)
{
  g_return_if_fail (c != nullptr);
  settle_drag (c);
  c->mode = mode;
  c->view.transposed = mode == ZELM_CURVE_EDIT_HMORPH;
  c->hover = -1;
  update_ranges (c);
  rebuild (c);
}

ZelmCurveEditMode
zelm_curve_edit_get_mode (ZelmCurveEdit *c)
{
  g_return_val_if_fail (c != nullptr, ZELM_CURVE_EDIT_CURVE);
  return c->mode;
}

void
zelm_curve_edit_set_curve_point (ZelmCurveEdit *c, int point)
{
  g_return_if_fail (c != nullptr);
  settle_drag (c);
  c->curve_point = point;
  rebuild (c);
}

int
zelm_curve_edit_get_curve_point (ZelmCurveEdit *c)
{
  g_return_val_if_fail (c != nullptr, -1);
  return c->curve_point;
}

void
zelm_curve_edit_set_morph_position (ZelmCurveEdit *c, double position)
{
  g_return_if_fail (c != nullptr);
  settle_drag (c);
  c->morph_pos = position;
  rebuild (c);
}

double
zelm_curve_edit_get_morph_position (ZelmCurveEdit *c)
{
  g_return_val_if_fail (c != nullptr, 0.0);
  return c->morph_pos;
}

void
zelm_curve_edit_set_view (ZelmCurveEdit *c, const ZelmCurveView *view)
{
  g_return_if_fail (c != nullptr && view != nullptr);
  settle_drag (c);
  c->view = *view;
  c->view.transposed = is_hmorph (c);
  update_ranges (c);
  rebuild (c);
}

const ZelmCurveView *
zelm_curve_edit_get_view (ZelmCurveEdit *c)
{
  g_return_val_if_fail (c != nullptr, nullptr);
  return &c->view;
}

VornCurve *
zelm_curve_edit_get_curve (ZelmCurveEdit *c)
{
  g_return_val_if_fail (c != nullptr, nullptr);
  return c->curve;
}

VornCurve *const *
zelm_curve_edit_get_backgrounds (ZelmCurveEdit *c, guint *n_curves)
{
  g_return_val_if_fail (c != nullptr && n_curves != nullptr, nullptr);
  *n_curves = guint (c->bg_curves.size ());
  return c->bg_curves.data ();
}

int
zelm_curve_edit_find_coord (ZelmCurveEdit *c, double x, double y)
{
  g_return_val_if_fail (c != nullptr, -1);
  double cx, cy;
  zelm_curve_view_swap (&c->view, x, y, &cx, &cy);
  return find_coord (c, cx, cy);
}

int
zelm_curve_edit_get_hover (ZelmCurveEdit *c)
{
  g_return_val_if_fail (c != nullptr, -1);
  return c->hover;
}

void
zelm_curve_edit_set_hover (ZelmCurveEdit *c, int coord)
{
  g_return_if_fail (c != nullptr);
  c->hover = coord < 0 ? -1 : coord;
}

int
zelm_curve_edit_get_selected (ZelmCurveEdit *c)
{
  g_return_val_if_fail (c != nullptr, -1);
  return c->selected;
}

guint
zelm_curve_edit_set_selected (ZelmCurveEdit *c, int coord)
{
  g_return_val_if_fail (c != nullptr, 0);
  guint result = 0;
  if (zelm_curve_edit_is_dragging (c))
    result = cancel_drag (c);
  return result | selection_change (select_coord (c, coord));
}

gboolean
zelm_curve_edit_is_dragging (ZelmCurveEdit *c)
{
  g_return_val_if_fail (c != nullptr, FALSE);
  return c->dragging || c->drag_kind != DRAG_NONE;
}

guint
zelm_curve_edit_begin (ZelmCurveEdit *c, int coord, double x, double y)
{
  g_return_val_if_fail (c != nullptr, 0);
  c->last_x = x;
  c->last_y = y;
  if (coord < 0 || c->dragging)
    return 0;
  c->dragging = TRUE;
  c->drag_origin = coord;
  return selection_change (select_coord (c, coord));
}

guint
zelm_curve_edit_move (ZelmCurveEdit *c, double x, double y, guint modifiers)
{
  g_return_val_if_fail (c != nullptr, 0);
  c->last_x = x;
  c->last_y = y;
  return c->dragging ? drag_to (c, x, y, modifiers) : 0;
}

guint
zelm_curve_edit_set_modifiers (ZelmCurveEdit *c, guint modifiers)
{
  g_return_val_if_fail (c != nullptr, 0);
  return c->dragging ? drag_to (c, c->last_x, c->last_y, modifiers) : 0;
}

guint
zelm_curve_edit_commit (ZelmCurveEdit *c)
{
  g_return_val_if_fail (c != nullptr, 0);
  forget_drag (c);
  return 0;
}

guint
zelm_curve_edit_cancel (ZelmCurveEdit *c)
{
  g_return_val_if_fail (c != nullptr, 0);
  return zelm_curve_edit_is_dragging (c) ? cancel_drag (c) : 0;
}
