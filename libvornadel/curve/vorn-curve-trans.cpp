/* vorn-curve-trans.cpp: interactive dragging of curve coordinates */
#include "vorn-curve-trans.h"

#include "vorn-geometry.h"

#include <algorithm>
#include <cmath>

G_DEFINE_ENUM_TYPE (VornCurveTransMode, vorn_curve_trans_mode,
  G_DEFINE_ENUM_VALUE (VORN_CURVE_TRANS_MODE_CLAMP, "clamp"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_TRANS_MODE_STOP, "stop"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_TRANS_MODE_HANDLE_SWAP, "handle-swap"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_TRANS_MODE_WRAP_POS, "wrap-pos"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_TRANS_MODE_KEEP_SLOPE, "keep-slope"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_TRANS_MODE_SET_SLOPE, "set-slope"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_TRANS_MODE_SET_SLOPE_DIST, "set-slope-dist"))

namespace {

/* Clamps with the upper bound winning when the range is empty. */
inline double
clamp_hi (double v, double lo, double hi)
{
  return std::min (std::max (v, lo), hi);
}

inline bool
is_endpoint (guint k)
{
  return k % 3 == 0;
}

inline bool
is_right_handle (guint k)
{
  return k % 3 == 1;
}

/* Endpoint a coordinate belongs to (itself for an endpoint). */
inline guint
endpoint_of (guint k)
{
  switch (k % 3)
    {
    case 1: return k - 1;
    case 2: return k + 1;
    default: return k;
    }
}

inline guint
coord_length (VornCurve *curve)
{
  return curve->count >= 1 ? guint (VORN_CURVE_COORD_LENGTH (curve)) : 0u;
}

inline guint
last_endpoint (VornCurve *curve)
{
  return coord_length (curve) - 1;
}

/* The handle on the other side of h's endpoint.  The two ends of the curve
 * are one point of a periodic wave, so the first right handle and the last
 * left handle are each other's opposite. */
guint
opposite_handle (VornCurve *curve, guint h)
{
  guint last_left = coord_length (curve) - 2;
  if (is_right_handle (h))
    return h == 1 ? last_left : h - 2;
  return h == last_left ? 1u : h + 2;
}

/* For a handle whose opposite is across the wrap, the endpoint of the other
 * end; otherwise the handle's own endpoint. */
inline bool
crosses_wrap (VornCurve *curve, guint h)
{
  return h == 1 || h == coord_length (curve) - 2;
}

void
set_coord (VornCurve *curve, guint k, double x, double y)
{
  curve->xcoords[k] = x;
  curve->ycoords[k] = y;
}

void
xrange (VornCurveTrans *trans, VornCurve *curve, guint k, bool between,
        double *out_lo, double *out_hi)
{
  const double *x = curve->xcoords;
  guint last = last_endpoint (curve);

  if (k == 0 || k == last)
    {
      *out_lo = *out_hi = x[k];
      return;
    }

  double lo, hi, a, b;   /* [a, b]: between the neighbouring endpoints */
  switch (k % 3)
    {
    case 1:
      lo = a = x[k - 1];
      hi = b = x[k + 2];
      break;
    case 2:
      lo = a = x[k - 2];
      hi = b = x[k + 1];
      break;
    default:
      a = x[k - 3];
      b = x[k + 3];
      if (between)
        {
          lo = x[k - 2];
          hi = x[k + 2];
        }
      else
        {
          lo = std::max (x[k - 2], x[k - 1]);
          hi = std::min (x[k + 1], x[k + 2]);
        }
      break;
    }

  lo = std::max (lo, trans->xmin);
  hi = std::min (hi, trans->xmax);

  /* Neither a narrow X range nor handles left out of place by earlier edits
   * may push a coordinate past a neighbouring endpoint: that would break the
   * ordering every evaluation of the curve relies on. */
  *out_lo = clamp_hi (lo, a, b);
  *out_hi = clamp_hi (hi, a, b);
}

inline double
clamp_y (VornCurveTrans *trans, double y)
{
  return clamp_hi (y, trans->ymin, trans->ymax);
}

void
translate_clamp (VornCurveTrans *trans, VornCurveTransPoint *p, double lo,
                 double hi, double X, double Y)
{
  VornCurve *curve = trans->curve;
  guint k = p->index;
  double nx = clamp_hi (X, lo, hi), ny = clamp_y (trans, Y);

  if (!is_endpoint (k) && trans->snap_dist > 0.0)
    {
      guint e = endpoint_of (k);
      double ex = curve->xcoords[e], ey = curve->ycoords[e];
      if (vorn_util_line_distance (nx, ny, ex, ey) <= trans->snap_dist)
        {
          nx = ex;
          ny = ey;
        }
    }
  set_coord (curve, k, nx, ny);
}

void
translate_stop (VornCurveTrans *trans, VornCurveTransPoint *p, double lo,
                double hi, double X, double Y)
{
  VornCurve *curve = trans->curve;
  if (lo <= X && X <= hi)
    curve->xcoords[p->index] = X;
  if (trans->ymin <= Y && Y <= trans->ymax)
    curve->ycoords[p->index] = Y;
}

void
translate_handle_swap (VornCurveTrans *trans, VornCurveTransPoint *p,
                       double X, double Y)
{
  VornCurve *curve = trans->curve;
  guint k = p->index;
  guint e = endpoint_of (k);
  guint last = last_endpoint (curve);
  double ex = curve->xcoords[e];
  guint to = k;

  if (X > ex && !is_right_handle (k) && e != last)
    to = e + 1;
  else if (X < ex && (is_right_handle (k) || is_endpoint (k)) && e != 0)
    to = e - 1;

  if (to != k)
    {
      set_coord (curve, k, p->x, p->y);
      p->index = to;
      p->x = curve->xcoords[to];
      p->y = curve->ycoords[to];
      p->link1 = opposite_handle (curve, to);
      p->link_count = 1;
      k = to;
    }

  if (is_endpoint (k))
    return;

  double lo, hi;
  xrange (trans, curve, k, false, &lo, &hi);
  set_coord (curve, k, clamp_hi (X, lo, hi), clamp_y (trans, Y));
}

void
translate_wrap_pos (VornCurveTrans *trans, VornCurveTransPoint *p, double Y)
{
  VornCurve *curve = trans->curve;
  guint last = last_endpoint (curve);

  /* Only the ends form the periodic point; an interior endpoint stays. */
  if (p->index != 0 && p->index != last)
    return;

  double first_y = p->index == 0 ? p->x : p->y;
  double last_y = p->index == 0 ? p->y : p->x;
  double yn = clamp_y (trans, Y);

  curve->ycoords[0] = yn;
  curve->ycoords[last] = yn;
  curve->ycoords[1] = clamp_y (trans, yn + (p->x1 - first_y));
  curve->ycoords[last - 1] = clamp_y (trans, yn + (p->y1 - last_y));
}

void
translate_keep_slope (VornCurveTrans *trans, VornCurveTransPoint *p,
                      double lo, double hi, double X, double Y)
{
  VornCurve *curve = trans->curve;
  guint k = p->index;
  double nx = clamp_hi (X, lo, hi), ny = clamp_y (trans, Y);
  set_coord (curve, k, nx, ny);

  const struct { guint32 index; double x, y; } links[2] = {
    {p->link1, p->x1, p->y1}, {p->link2, p->x2, p->y2}};
  for (guint i = 0; i < std::min<guint> (p->link_count, 2); i++)
    {
      double hlo, hhi;
      xrange (trans, curve, links[i].index, false, &hlo, &hhi);
      set_coord (curve, links[i].index,
                 clamp_hi (links[i].x - p->x + nx, hlo, hhi),
                 clamp_y (trans, links[i].y - p->y + ny));
    }
}

/* Brings handle o back inside its box (its X range and the Y range) along
 * the line from its endpoint, so it keeps its direction where it can. */
void
keep_in_box (VornCurveTrans *trans, VornCurve *curve, guint o)
{
  double lo, hi;
  xrange (trans, curve, o, false, &lo, &hi);
  const double ymin = trans->ymin, ymax = trans->ymax;
  double ox = curve->xcoords[o], oy = curve->ycoords[o];

  if (lo <= ox && ox <= hi && ymin <= oy && oy <= ymax)
    return;

  guint e = endpoint_of (o);
  double ex = curve->xcoords[e], ey = curve->ycoords[e];
  bool right = is_right_handle (o);

  /* Only points between the endpoint and o count: the handle is pulled
   * back, never flipped through its endpoint. */
  auto on_segment = [&] (double ix, double iy) {
    double t = std::abs (ox - ex) >= std::abs (oy - ey)
                   ? (ix - ex) / (ox - ex)
                   : (iy - ey) / (oy - ey);
    return t >= 0.0 && t <= 1.0;
  };

  bool wrong_side = right ? ox < ex : ox > ex;
  if (!wrong_side && (ox != ex || oy != ey))
    {
      double vx = right ? hi : lo, ix, iy;
      if (vorn_util_line_intersect (ex, ey, ox, oy, vx, 0.0, vx, 1.0, &ix, &iy)
          && iy >= ymin && iy <= ymax && on_segment (vx, iy))
        {
          set_coord (curve, o, vx, iy);
          return;
        }
      if (ox != ex)
        for (double hy : {ymin, ymax})
          if (vorn_util_line_intersect (ex, ey, ox, oy, 0.0, hy, 1.0, hy, &ix,
                                        &iy)
              && ix >= lo && ix <= hi && on_segment (ix, hy))
            {
              set_coord (curve, o, ix, hy);
              return;
            }
    }

  set_coord (curve, o, clamp_hi (ox, lo, hi), clamp_y (trans, oy));
}

void
translate_set_slope (VornCurveTrans *trans, VornCurveTransPoint *p, double lo,
                     double hi, double X, double Y)
{
  VornCurve *curve = trans->curve;
  guint k = p->index;
  guint e = endpoint_of (k);
  guint o = p->link1;
  guint eo = endpoint_of (o);
  bool wrap = crosses_wrap (curve, k);

  double kx = clamp_hi (X, lo, hi), ky = clamp_y (trans, Y);
  set_coord (curve, k, kx, ky);

  double ex = curve->xcoords[e], ey = curve->ycoords[e];
  double d = p->mode == VORN_CURVE_TRANS_MODE_SET_SLOPE
                 ? vorn_util_line_distance (curve->xcoords[eo],
                                            curve->ycoords[eo], p->x1, p->y1)
                 : vorn_util_line_distance (ex, ey, kx, ky);

  double nx, ny;
  vorn_util_extend_line (kx, ky, ex, ey, d, &nx, &ny);
  if (wrap)
    {
      nx += curve->xcoords[eo] - ex;
      ny += curve->ycoords[eo] - ey;
    }
  set_coord (curve, o, nx, ny);
  keep_in_box (trans, curve, o);
}

} // namespace

VornCurveTrans *
vorn_curve_trans_new (VornCurve *curve)
{
  g_return_val_if_fail (!curve || VORN_IS_CURVE (curve), nullptr);

  VornCurveTrans *trans = g_new0 (VornCurveTrans, 1);
  trans->points = g_array_new (FALSE, TRUE, sizeof (VornCurveTransPoint));
  trans->curve = curve ? VORN_CURVE (g_object_ref (curve)) : nullptr;
  trans->xmax = 1.0;
  trans->ymax = 1.0;
  return trans;
}

void
vorn_curve_trans_free (VornCurveTrans *trans)
{
  if (!trans)
    return;
  g_array_unref (trans->points);
  g_clear_object (&trans->curve);
  g_free (trans);
}

void
vorn_curve_trans_set_curve (VornCurveTrans *trans, VornCurve *curve)
{
  g_return_if_fail (trans != NULL);
  g_return_if_fail (!curve || VORN_IS_CURVE (curve));

  g_set_object (&trans->curve, curve);
}

void
vorn_curve_trans_set_xrange (VornCurveTrans *trans, double min, double max)
{
  g_return_if_fail (trans != NULL);
  trans->xmin = min;
  trans->xmax = max;
}

void
vorn_curve_trans_set_yrange (VornCurveTrans *trans, double min, double max)
{
  g_return_if_fail (trans != NULL);
  trans->ymin = min;
  trans->ymax = max;
}

gboolean
vorn_curve_trans_add_point (VornCurveTrans *trans, guint pointIndex,
                            VornCurveTransMode mode)
{
  g_return_val_if_fail (trans != NULL, FALSE);
  g_return_val_if_fail (trans->curve != NULL, FALSE);

  VornCurve *curve = trans->curve;
  guint length = coord_length (curve);
  g_return_val_if_fail (pointIndex < length, FALSE);

  const guint k = pointIndex;
  switch (mode)
    {
    case VORN_CURVE_TRANS_MODE_WRAP_POS:
    case VORN_CURVE_TRANS_MODE_KEEP_SLOPE:
      if (!is_endpoint (k))
        return FALSE;
      break;
    case VORN_CURVE_TRANS_MODE_SET_SLOPE:
    case VORN_CURVE_TRANS_MODE_SET_SLOPE_DIST:
      if (is_endpoint (k))
        return FALSE;
      break;
    case VORN_CURVE_TRANS_MODE_CLAMP:
    case VORN_CURVE_TRANS_MODE_STOP:
    case VORN_CURVE_TRANS_MODE_HANDLE_SWAP:
      break;
    default:
      return FALSE;
    }

  const double *x = curve->xcoords, *y = curve->ycoords;
  const guint last = length - 1;
  VornCurveTransPoint p = {};
  p.index = k;
  p.mode = guint8 (mode);
  p.x = x[k];
  p.y = y[k];

  switch (mode)
    {
    case VORN_CURVE_TRANS_MODE_KEEP_SLOPE:
      if (k > 0)
        {
          p.link1 = k - 1;
          p.x1 = x[k - 1];
          p.y1 = y[k - 1];
          p.link_count = 1;
          if (k != last)
            {
              p.link2 = k + 1;
              p.x2 = x[k + 1];
              p.y2 = y[k + 1];
              p.link_count = 2;
            }
        }
      else if (length > 1)
        {
          p.link1 = 1;
          p.x1 = x[1];
          p.y1 = y[1];
          p.link_count = 1;
        }
      break;
    case VORN_CURVE_TRANS_MODE_SET_SLOPE:
    case VORN_CURVE_TRANS_MODE_SET_SLOPE_DIST:
      p.link1 = opposite_handle (curve, k);
      p.x1 = x[p.link1];
      p.y1 = y[p.link1];
      p.link_count = 1;
      break;
    case VORN_CURVE_TRANS_MODE_HANDLE_SWAP:
      if (k >= 2 && k + 5 <= 3 * guint (curve->count))
        {
          p.link1 = is_right_handle (k) ? k - 2 : k + 2;
          p.link_count = 1;
        }
      break;
    case VORN_CURVE_TRANS_MODE_WRAP_POS:
      /* Only the ends link up; an interior endpoint is recorded alone. */
      if ((k == 0 || k == last) && length > 1)
        {
          p.link1 = k == 0 ? last : 0;
          p.x = y[k];
          p.y = y[p.link1];
          p.link2 = 1;
          p.link3 = last - 1;
          p.x1 = y[1];
          p.y1 = y[last - 1];
          p.link_count = 3;
        }
      break;
    default:
      break;
    }

  guint pos = trans->points->len;
  auto *pts = reinterpret_cast<VornCurveTransPoint *> (trans->points->data);
  while (pos > 0 && pts[pos - 1].index >= k)
    pos--;
  g_array_insert_val (trans->points, pos, p);
  return TRUE;
}

void
vorn_curve_trans_translate (VornCurveTrans *trans, double x, double y)
{
  g_return_if_fail (trans != NULL);
  g_return_if_fail (VORN_IS_CURVE (trans->curve));

  VornCurve *curve = trans->curve;
  guint length = coord_length (curve);
  guint n = trans->points->len;
  auto *pts = reinterpret_cast<VornCurveTransPoint *> (trans->points->data);

  /* Moving right, the rightmost coordinate goes first so the ones behind it
   * see its new position as their limit; moving left, the reverse. */
  for (guint i = 0; i < n; i++)
    {
      VornCurveTransPoint *p = &pts[x < 0.0 ? i : n - 1 - i];
      if (p->index >= length)
        continue;

      double lo, hi;
      xrange (trans, curve, p->index, true, &lo, &hi);

      switch (p->mode)
        {
        case VORN_CURVE_TRANS_MODE_CLAMP:
          translate_clamp (trans, p, lo, hi, x, y);
          break;
        case VORN_CURVE_TRANS_MODE_STOP:
          translate_stop (trans, p, lo, hi, x, y);
          break;
        case VORN_CURVE_TRANS_MODE_HANDLE_SWAP:
          translate_handle_swap (trans, p, x, y);
          break;
        case VORN_CURVE_TRANS_MODE_WRAP_POS:
          translate_wrap_pos (trans, p, y);
          break;
        case VORN_CURVE_TRANS_MODE_KEEP_SLOPE:
          translate_keep_slope (trans, p, lo, hi, x, y);
          break;
        case VORN_CURVE_TRANS_MODE_SET_SLOPE:
        case VORN_CURVE_TRANS_MODE_SET_SLOPE_DIST:
          translate_set_slope (trans, p, lo, hi, x, y);
          break;
        default:
          break;
        }
    }
}

void
vorn_curve_trans_undo (VornCurveTrans *trans)
{
  g_return_if_fail (trans != NULL);
  g_return_if_fail (VORN_IS_CURVE (trans->curve));

  VornCurve *curve = trans->curve;
  guint length = coord_length (curve);
  guint n = trans->points->len;
  auto *pts = reinterpret_cast<VornCurveTransPoint *> (trans->points->data);

  /* Restore in reverse order of selection so that a coordinate recorded by
   * more than one entry ends at the position recorded first. */
  for (guint i = n; i-- > 0;)
    {
      const VornCurveTransPoint *p = &pts[i];
      if (p->index >= length)
        continue;

      switch (p->mode)
        {
        case VORN_CURVE_TRANS_MODE_WRAP_POS:
          if (p->link_count == 3 && p->link1 < length && p->link3 < length)
            {
              curve->ycoords[p->index] = p->x;
              curve->ycoords[p->link1] = p->y;
              curve->ycoords[p->link2] = p->x1;
              curve->ycoords[p->link3] = p->y1;
            }
          break;
        case VORN_CURVE_TRANS_MODE_KEEP_SLOPE:
          set_coord (curve, p->index, p->x, p->y);
          if (p->link_count >= 1 && p->link1 < length)
            set_coord (curve, p->link1, p->x1, p->y1);
          if (p->link_count >= 2 && p->link2 < length)
            set_coord (curve, p->link2, p->x2, p->y2);
          break;
        case VORN_CURVE_TRANS_MODE_SET_SLOPE:
        case VORN_CURVE_TRANS_MODE_SET_SLOPE_DIST:
          set_coord (curve, p->index, p->x, p->y);
          if (p->link1 < length)
            set_coord (curve, p->link1, p->x1, p->y1);
          break;
        default:
          set_coord (curve, p->index, p->x, p->y);
          break;
        }
    }
}

void
vorn_curve_trans_clear (VornCurveTrans *trans)
{
  g_return_if_fail (trans != NULL);
  g_array_set_size (trans->points, 0);
}

VornCurveTransPoint *
vorn_curve_trans_get_points (VornCurveTrans *trans, guint *count)
{
  if (count)
    *count = 0;
  g_return_val_if_fail (trans != NULL, nullptr);

  if (count)
    *count = trans->points->len;
  return reinterpret_cast<VornCurveTransPoint *> (trans->points->data);
}

void
vorn_curve_trans_get_xrange (VornCurveTrans *trans, VornCurve *curve,
                             guint pointIndex, gboolean between_handles,
                             double *min, double *max)
{
  g_return_if_fail (trans != NULL);
  g_return_if_fail (!curve || VORN_IS_CURVE (curve));
  if (!curve)
    curve = trans->curve;
  g_return_if_fail (VORN_IS_CURVE (curve));
  guint length = coord_length (curve);
  g_return_if_fail (pointIndex < length);

  double lo, hi;
  xrange (trans, curve, pointIndex, between_handles, &lo, &hi);
  if (min)
    *min = lo;
  if (max)
    *max = hi;
}
