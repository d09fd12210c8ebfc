/* zelm-wave-canvas.cpp: interactive editor of a wave's curve and its morph
 * curves */
#include "zelm-wave-canvas.h"

#include "vorn-curve-cache.h"
#include "vorn-curve-trans.h"
#include "vorn-init.h"
#include "zelm-util.h"

#include <cmath>
#include <new>
#include <vector>

enum {
  PROP_0,
  PROP_MODE,
  PROP_WAVE,
  PROP_POLARITY,
  PROP_SELECTED_POINT,
  PROP_SELECTED_KEY,
  PROP_MORPH_POSITION,
  PROP_CURVE_POINT,
  PROP_X_ZOOM,
  PROP_Y_ZOOM,
  PROP_X_OFS,
  PROP_Y_OFS,
  PROP_DEBUG_RENDER,
  PROP_DEBUG_RENDER_SAMPLES,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

#define MARGIN        4.0 /* on every side of the drawing */
#define SNAP_DIST     4.0 /* a handle this close to its point counts as the point */
#define MARKER_HALF   4.0
#define HOVER_HALF    5.0
#define SELECT_RADIUS 6.0

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

namespace {

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

} // namespace

struct _ZelmWaveCanvas {
  GtkDrawingArea parent_instance;

  ZelmWaveCanvasMode mode;
  VornWave *wave;
  VornCurve *curve;                    /* the edited curve in canvas pixels */
  std::vector<VornCurve *> bg_curves;  /* the other morph curves, in pixels */
  ZelmWaveCanvasPolarity polarity;
  gboolean bipolar;
  std::vector<guint> selection;        /* coordinate indices; at most one used */
  VornCurveTrans *trans;
  std::vector<MorphDrag> morph_trans;
  double morph_pos;
  int selected_key;
  int width, height;
  int hover;
  gboolean dragging;
  int drag_kind;
  int drag_origin; /* the coordinate the drag was started on */
  int curve_point;
  double last_x, last_y;
  gboolean inside;
  double x_zoom, y_zoom, x_ofs, y_ofs;
  double x_scale, y_scale;
  gboolean debug;
  int debug_samples;

  /* State of the current drag kind: the coordinates it touched, the canvas
   * and the edited data as they were when it began (for exact restores). */
  gboolean trans_moved;
  std::vector<guint> touched;
  std::vector<double> orig_cx, orig_cy;
  std::vector<double> snap_x, snap_y;
  double snap_base;
  gboolean had_morph;

  /* Debug traces, rendered when the canvas curve is rebuilt. */
  std::vector<double> trace_double, trace_single;
};

G_DEFINE_FINAL_TYPE (ZelmWaveCanvas, zelm_wave_canvas, GTK_TYPE_DRAWING_AREA)

GType
zelm_wave_canvas_mode_get_type (void)
{
  static gsize type_id = 0;
  if (g_once_init_enter (&type_id))
    {
      static const GEnumValue values[] = {
        { ZELM_WAVE_CANVAS_MODE_CURVE, "ZELM_WAVE_CANVAS_MODE_CURVE", "curve" },
        { ZELM_WAVE_CANVAS_MODE_HMORPH, "ZELM_WAVE_CANVAS_MODE_HMORPH", "hmorph" },
        { ZELM_WAVE_CANVAS_MODE_VMORPH, "ZELM_WAVE_CANVAS_MODE_VMORPH", "vmorph" },
        { 0, nullptr, nullptr },
      };
      g_once_init_leave (&type_id, g_enum_register_static ("ZelmWaveCanvasMode", values));
    }
  return type_id;
}

GType
zelm_wave_canvas_polarity_get_type (void)
{
  static gsize type_id = 0;
  if (g_once_init_enter (&type_id))
    {
      static const GEnumValue values[] = {
        { ZELM_WAVE_CANVAS_POLARITY_AUTO, "ZELM_WAVE_CANVAS_POLARITY_AUTO", "Auto" },
        { ZELM_WAVE_CANVAS_POLARITY_UNIPOLAR, "ZELM_WAVE_CANVAS_POLARITY_UNIPOLAR", "Unipolar" },
        { ZELM_WAVE_CANVAS_POLARITY_BIPOLAR, "ZELM_WAVE_CANVAS_POLARITY_BIPOLAR", "Bipolar" },
        { 0, nullptr, nullptr },
      };
      g_once_init_leave (&type_id, g_enum_register_static ("ZelmWaveCanvasPolarity", values));
    }
  return type_id;
}

/* ---- view mapping ------------------------------------------------------ */

static gboolean
is_hmorph (ZelmWaveCanvas *c)
{
  return c->mode == ZELM_WAVE_CANVAS_MODE_HMORPH;
}

static gboolean
is_morph_mode (ZelmWaveCanvas *c)
{
  return c->mode != ZELM_WAVE_CANVAS_MODE_CURVE;
}

/* Value (curve x and y, or morph position and coordinate value) to canvas
 * orientation: in hmorph mode the canvas is the screen transposed, so one
 * hit test and one transformation serve all modes. */
static void
value_to_canvas (ZelmWaveCanvas *c, double vx, double vy, double *cx, double *cy)
{
  if (is_hmorph (c))
    {
      *cx = (vx - c->y_ofs) * c->y_scale + MARGIN;
      *cy = (vy - c->x_ofs) * c->x_scale + MARGIN;
    }
  else
    {
      *cx = (vx - c->x_ofs) * c->x_scale + MARGIN;
      *cy = (c->y_ofs - vy) * c->y_scale + MARGIN;
    }
}

static double
unscale (double v, double scale)
{
  /* A degenerate view maps everything onto the offset. */
  return scale != 0.0 ? (v - MARGIN) / scale : 0.0;
}

static void
canvas_to_value (ZelmWaveCanvas *c, double cx, double cy, double *vx, double *vy)
{
  if (is_hmorph (c))
    {
      *vx = unscale (cx, c->y_scale) + c->y_ofs;
      *vy = unscale (cy, c->x_scale) + c->x_ofs;
    }
  else
    {
      *vx = unscale (cx, c->x_scale) + c->x_ofs;
      *vy = c->y_ofs - unscale (cy, c->y_scale);
    }
}

/* Widget pixels to canvas orientation and back (the same swap). */
static void
swap_if_hmorph (ZelmWaveCanvas *c, double x, double y, double *ox, double *oy)
{
  if (is_hmorph (c))
    {
      *ox = y;
      *oy = x;
    }
  else
    {
      *ox = x;
      *oy = y;
    }
}

static void
update_scales (ZelmWaveCanvas *c)
{
  c->x_scale = (c->width - 2 * MARGIN) * c->x_zoom;
  c->y_scale = (c->height - 2 * MARGIN) * c->y_zoom;
}

static void
update_ranges (ZelmWaveCanvas *c)
{
  double w = c->width, h = c->height;
  if (is_hmorph (c))
    std::swap (w, h);
  vorn_curve_trans_set_xrange (c->trans, MARGIN, w - MARGIN);
  vorn_curve_trans_set_yrange (c->trans, MARGIN, h - MARGIN);
}

/* ---- canvas curve ------------------------------------------------------ */

static int
coord_length (VornCurve *curve)
{
  return curve ? VORN_CURVE_COORD_LENGTH (curve) : 0;
}

static VornMorph *
wave_morph (ZelmWaveCanvas *c)
{
  return c->wave ? c->wave->morph : nullptr;
}

static void
map_curve_to_canvas (ZelmWaveCanvas *c, VornCurve *curve)
{
  const int n = coord_length (curve);
  for (int i = 0; i < n; i++)
    value_to_canvas (c, curve->xcoords[i], curve->ycoords[i], &curve->xcoords[i],
                     &curve->ycoords[i]);
}

/* The base value a morph curve of @index starts from. */
static double
base_value (ZelmWaveCanvas *c, guint index, gboolean horizontal)
{
  VornCurve *base = c->wave->curve;
  if (int (index) >= coord_length (base))
    return 0.0;
  return horizontal ? base->xcoords[index] : base->ycoords[index];
}

static void
render_debug_traces (ZelmWaveCanvas *c)
{
  c->trace_double.clear ();
  c->trace_single.clear ();
  if (!c->debug || c->mode != ZELM_WAVE_CANVAS_MODE_CURVE || coord_length (c->wave->curve) < 4)
    return;

  VornCurve *curve = c->wave->curve;
  const int n = c->debug_samples;
  const double start = curve->xcoords[0], width = vorn_curve_get_width (curve);
  const VornFormat formats[2] = { VORN_FORMAT_DOUBLE, VORN_FORMAT_SINGLE };
  std::vector<double> *traces[2] = { &c->trace_double, &c->trace_single };
  for (int f = 0; f < 2; f++)
    {
      vorn_curve_cache_invalidate (curve, formats[f]);
      g_autoptr (VornCurveCache) cache = vorn_curve_cache_get (curve, formats[f]);
      traces[f]->resize (n);
      vorn_curve_cache_render (cache, traces[f]->data (), n, width, start);
    }
}

static void
clear_canvas_curves (ZelmWaveCanvas *c)
{
  g_clear_object (&c->curve);
  for (VornCurve *bg : c->bg_curves)
    g_object_unref (bg);
  c->bg_curves.clear ();
}

/* Rebuilds the pixel copies of what the canvas shows from the wave. */
static void
rebuild (ZelmWaveCanvas *c)
{
  clear_canvas_curves (c);
  c->trace_double.clear ();
  c->trace_single.clear ();
  if (!c->wave || !c->wave->curve)
    return;

  VornCurve *base = c->wave->curve;
  VornMorph *morph = wave_morph (c);
  if (c->mode == ZELM_WAVE_CANVAS_MODE_CURVE)
    {
      c->curve = vorn_curve_duplicate (base);
      const int n = coord_length (c->curve);
      if (morph && c->morph_pos > 0.0 && n >= 4)
        vorn_morph_transform (morph, c->morph_pos, c->curve->xcoords, c->curve->ycoords,
                              guint (n), VORN_FORMAT_DOUBLE);
      map_curve_to_canvas (c, c->curve);
      render_debug_traces (c);
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

static void
refresh (ZelmWaveCanvas *c)
{
  rebuild (c);
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

/* ---- hit testing ------------------------------------------------------- */

static double
distance (VornCurve *curve, int i, double x, double y)
{
  return std::hypot (curve->xcoords[i] - x, curve->ycoords[i] - y);
}

/* The coordinate nearest to (@x, @y) in canvas orientation, or -1. */
static int
find_coord (ZelmWaveCanvas *c, double x, double y)
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

static void
set_hover (ZelmWaveCanvas *c, int hover)
{
  if (c->hover == hover)
    return;
  c->hover = hover;
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

static void
rehover (ZelmWaveCanvas *c)
{
  if (!c->inside)
    {
      set_hover (c, -1);
      return;
    }
  double x, y;
  swap_if_hmorph (c, c->last_x, c->last_y, &x, &y);
  set_hover (c, find_coord (c, x, y));
}

static int
get_selected (ZelmWaveCanvas *c)
{
  return c->selection.empty () ? -1 : int (c->selection[0]);
}

static void
select_coord (ZelmWaveCanvas *c, int index)
{
  if (get_selected (c) == index)
    return;
  c->selection.clear ();
  if (index >= 0)
    c->selection.push_back (guint (index));
  g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_SELECTED_POINT]);
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

static void
notify_wave (ZelmWaveCanvas *c)
{
  g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_WAVE]);
}

/* ---- writing back ------------------------------------------------------ */

static void
add_touched (ZelmWaveCanvas *c, guint index)
{
  for (guint t : c->touched)
    if (t == index)
      return;
  c->touched.push_back (index);
}

/* The value of canvas coordinate @i; a coordinate back where the drag found
 * it gives exactly the value it had, not a round trip through pixels. */
static void
coord_value (ZelmWaveCanvas *c, guint i, double *vx, double *vy)
{
  const double cx = c->curve->xcoords[i], cy = c->curve->ycoords[i];
  if (i < c->orig_cx.size () && c->snap_x.size () == c->orig_cx.size () &&
      cx == c->orig_cx[i] && cy == c->orig_cy[i])
    {
      if (c->mode == ZELM_WAVE_CANVAS_MODE_CURVE && c->morph_pos == 0.0)
        {
          *vx = c->snap_x[i];
          *vy = c->snap_y[i];
          return;
        }
      if (c->mode != ZELM_WAVE_CANVAS_MODE_CURVE)
        {
          *vx = c->snap_x[i];
          *vy = i == 0 ? c->snap_base : c->snap_y[i];
          return;
        }
    }
  canvas_to_value (c, cx, cy, vx, vy);
}

static MorphDrag *
find_morph_drag (ZelmWaveCanvas *c, guint index, gboolean horizontal)
{
  for (MorphDrag &md : c->morph_trans)
    if (md.index == index && bool (md.horizontal) == bool (horizontal))
      return &md;
  return nullptr;
}

/* Makes the morph curve of (@index, @horizontal) follow the drag: finds or
 * inserts its point at the current morph position and starts a
 * transformation of that point. */
static void
ensure_morph_drag (ZelmWaveCanvas *c, guint index, gboolean horizontal)
{
  if (find_morph_drag (c, index, horizontal) || int (index) >= coord_length (c->wave->curve))
    return;

  VornMorphPoint *entry = nullptr;
  MorphDrag md = { nullptr, index, horizontal, FALSE, -1, nullptr };
  int point;
  if (c->morph_pos == 0.0)
    {
      /* Position 0 is the base curve itself: only existing morph curves
       * need their start kept in step. */
      entry = vorn_wave_find_morph_point (c->wave, index, horizontal);
      if (!entry)
        return;
      point = 0;
    }
  else
    {
      point = vorn_wave_find_morph_point_position (c->wave, index, horizontal, c->morph_pos,
                                                   &entry);
      if (point < 0 || entry->curve->xcoords[3 * point] != c->morph_pos)
        {
          /* The new point starts at the value the coordinate shows now, so a
           * new morph curve holds that value up to its end. */
          double vx, vy;
          if (index < c->orig_cx.size ())
            canvas_to_value (c, c->orig_cx[index], c->orig_cy[index], &vx, &vy);
          else
            vx = vy = 0.0;
          md.created_entry = entry == nullptr;
          md.before = entry ? vorn_curve_duplicate (entry->curve) : nullptr;
          point = vorn_wave_insert_morph_point (c->wave, index, horizontal, c->morph_pos,
                                                horizontal ? vx : vy, &entry);
          if (point < 0)
            {
              g_clear_object (&md.before);
              return;
            }
          md.inserted_point = point;
        }
    }

  md.trans = vorn_curve_trans_new (entry->curve);
  VornCurve *base = c->wave->curve;
  if (horizontal)
    vorn_curve_trans_set_yrange (md.trans, base->xcoords[0],
                                 base->xcoords[coord_length (base) - 1]);
  else
    vorn_curve_trans_set_yrange (md.trans, -1.0, 1.0);
  vorn_curve_trans_add_point (md.trans, guint (3 * point), VORN_CURVE_TRANS_MODE_KEEP_SLOPE);
  md.trans->tag = index;
  c->morph_trans.push_back (md);
}

static gboolean
morph_aware (ZelmWaveCanvas *c)
{
  return c->mode == ZELM_WAVE_CANVAS_MODE_CURVE && c->drag_kind != DRAG_NONE &&
         (c->morph_pos > 0.0 || !c->morph_trans.empty ());
}

/* Stores canvas coordinate @i into the wave's curve (curve mode). */
static void
write_curve_coord (ZelmWaveCanvas *c, guint i, gboolean follow_morph)
{
  VornCurve *base = c->wave->curve;
  VornMorph *morph = wave_morph (c);
  if (int (i) >= coord_length (base) || (c->morph_pos > 0.0 && !morph))
    return;

  double v[2];
  coord_value (c, i, &v[0], &v[1]);
  double *arrays[2] = { base->xcoords, base->ycoords };
  for (int d = 0; d < 2; d++)
    {
      const gboolean horizontal = d == 0;
      if (follow_morph)
        {
          ensure_morph_drag (c, i, horizontal);
          morph = wave_morph (c);
        }
      /* Away from position 0 the picture is the morphed curve: a coordinate
       * with a morph curve changes there, the base keeps its shape. */
      if (!(c->morph_pos > 0.0 && morph && vorn_morph_find_point (morph, i, horizontal)))
        arrays[d][i] = v[d];
      if (!follow_morph)
        continue;
      if (MorphDrag *md = find_morph_drag (c, i, horizontal))
        {
          vorn_curve_trans_translate (md->trans, c->morph_pos, v[d]);
          if (c->morph_pos == 0.0)
            arrays[d][i] = md->trans->curve->ycoords[0];
        }
      if (morph)
        vorn_morph_invalidate_cache_point (morph, i, horizontal);
    }
}

/* Stores canvas coordinate @i into the morph curve of "curve-point". */
static void
write_morph_coord (ZelmWaveCanvas *c, guint i)
{
  const gboolean horizontal = is_hmorph (c);
  VornMorphPoint *entry = vorn_wave_find_morph_point (c->wave, guint (c->curve_point), horizontal);
  if (!entry || int (i) >= coord_length (entry->curve))
    return;
  vorn_morph_invalidate_cache_point (c->wave->morph, guint (c->curve_point), horizontal);

  double p, v;
  coord_value (c, i, &p, &v);
  if (i == 0)
    {
      /* A morph curve starts at its coordinate's own value. */
      VornCurve *base = c->wave->curve;
      if (c->curve_point < coord_length (base))
        (horizontal ? base->xcoords : base->ycoords)[c->curve_point] = v;
      entry->curve->ycoords[0] = v;
      return;
    }
  entry->curve->xcoords[i] = p;
  entry->curve->ycoords[i] = v;
}

static void
write_coord (ZelmWaveCanvas *c, guint i, gboolean follow_morph)
{
  if (c->mode == ZELM_WAVE_CANVAS_MODE_CURVE)
    write_curve_coord (c, i, follow_morph);
  else
    write_morph_coord (c, i);
}

/* ---- dragging ---------------------------------------------------------- */

/* Records what the coming drag kind may change, for exact restores. */
static void
take_snapshot (ZelmWaveCanvas *c)
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
drop_morph_drags (ZelmWaveCanvas *c)
{
  for (MorphDrag &md : c->morph_trans)
    {
      vorn_curve_trans_free (md.trans);
      g_clear_object (&md.before);
    }
  c->morph_trans.clear ();
}

/* Puts every morph curve the drag touched back as it was, newest first. */
static void
restore_morph (ZelmWaveCanvas *c)
{
  for (auto it = c->morph_trans.rbegin (); it != c->morph_trans.rend (); ++it)
    {
      MorphDrag &md = *it;
      vorn_curve_trans_undo (md.trans);
      if (md.created_entry)
        vorn_wave_remove_morph_point_curve (c->wave, md.index, md.horizontal);
      else if (md.inserted_point >= 0 && md.before)
        {
          VornCurve *curve = md.trans->curve;
          vorn_curve_delete_point (curve, md.inserted_point);
          const int n = coord_length (curve);
          if (n == coord_length (md.before))
            for (int i = 0; i < n; i++)
              {
                curve->xcoords[i] = md.before->xcoords[i];
                curve->ycoords[i] = md.before->ycoords[i];
              }
        }
      if (VornMorph *morph = wave_morph (c))
        vorn_morph_invalidate_cache_point (morph, md.index, md.horizontal);
    }
  drop_morph_drags (c);
  if (!c->had_morph && c->wave->morph && c->wave->morph->count == 0)
    vorn_wave_remove_morph (c->wave);
}

/* Undoes the drag kind in progress: the canvas, the wave's data and the
 * morph curves return exactly to how the drag found them. */
static void
restore_drag (ZelmWaveCanvas *c)
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
  restore_morph (c);
  vorn_curve_trans_clear (c->trans);
  vorn_curve_trans_set_curve (c->trans, nullptr);
  c->touched.clear ();
  c->trans_moved = FALSE;
  c->drag_kind = DRAG_NONE;
}

static void
forget_drag (ZelmWaveCanvas *c)
{
  vorn_curve_trans_clear (c->trans);
  vorn_curve_trans_set_curve (c->trans, nullptr);
  drop_morph_drags (c);
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

/* Ends a drag keeping what it did. */
static void
commit_drag (ZelmWaveCanvas *c)
{
  forget_drag (c);
}

/* Ends a drag undoing what it did. */
static void
cancel_drag (ZelmWaveCanvas *c)
{
  const gboolean changed = c->drag_kind != DRAG_NONE;
  const int origin = c->drag_origin;
  if (changed)
    restore_drag (c);
  forget_drag (c);
  /* Handle-swap may have moved the selection; it returns with the curve. */
  if (origin >= 0 && get_selected (c) != origin)
    select_coord (c, origin);
  if (changed)
    {
      rebuild (c);
      notify_wave (c);
    }
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

static void
choose_drag (ZelmWaveCanvas *c, guint sel, GdkModifierType state, int *kind,
             VornCurveTransMode *mode)
{
  const gboolean shift = (state & GDK_SHIFT_MASK) != 0;
  const gboolean ctrl = (state & GDK_CONTROL_MASK) != 0;
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

/* Moves the drag to widget position (@x, @y) under modifier @state. */
static void
drag_to (ZelmWaveCanvas *c, double x, double y, GdkModifierType state)
{
  if (!c->curve || c->selection.empty () || int (c->selection[0]) >= coord_length (c->curve))
    return;

  /* The kind follows from the coordinate the drag began on: handle-swap
   * may have moved the selection to a handle since. */
  if (c->drag_origin < 0 || c->drag_origin >= coord_length (c->curve))
    c->drag_origin = int (c->selection[0]);
  const guint sel = guint (c->drag_origin);
  int kind;
  VornCurveTransMode mode;
  choose_drag (c, sel, state, &kind, &mode);
  double cx, cy;
  swap_if_hmorph (c, x, y, &cx, &cy);

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
      if (c->selection[0] != sel)
        {
          c->selection[0] = sel;
          g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_SELECTED_POINT]);
        }
      vorn_curve_trans_clear (c->trans);
      vorn_curve_trans_set_curve (c->trans, c->curve);
      if (!vorn_curve_trans_add_point (c->trans, sel, mode))
        return;
      c->drag_kind = kind;
      const gboolean existing = vorn_wave_find_morph_point (c->wave, sel, TRUE) ||
                                vorn_wave_find_morph_point (c->wave, sel, FALSE);
      if (c->mode == ZELM_WAVE_CANVAS_MODE_CURVE && (c->morph_pos > 0.0 || existing))
        for_each_trans_coord (c->trans, [c] (guint i) {
          ensure_morph_drag (c, i, TRUE);
          ensure_morph_drag (c, i, FALSE);
        });
    }
  vorn_curve_trans_translate (c->trans, cx, cy);
  c->trans_moved = TRUE;

  /* Handle-swap may have moved on to the other handle. */
  guint count = 0;
  VornCurveTransPoint *pts = vorn_curve_trans_get_points (c->trans, &count);
  if (count > 0 && pts[0].index != c->selection[0])
    {
      c->selection[0] = pts[0].index;
      g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_SELECTED_POINT]);
    }

  for_each_trans_coord (c->trans, [c] (guint i) { add_touched (c, i); });
  const gboolean follow = morph_aware (c);
  for (guint i : c->touched)
    write_coord (c, i, follow);
  c->hover = get_selected (c);
  notify_wave (c);
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

/* ---- editing ----------------------------------------------------------- */

static gboolean
far_from_edges (ZelmWaveCanvas *c, double x, double y)
{
  double cx, cy;
  swap_if_hmorph (c, x, y, &cx, &cy);
  return cx >= MARGIN && cy >= MARGIN;
}

static void
create_morph_curve (ZelmWaveCanvas *c)
{
  const gboolean horizontal = is_hmorph (c);
  double value = base_value (c, guint (c->curve_point), horizontal);
  if (vorn_wave_insert_morph_point (c->wave, guint (c->curve_point), horizontal, 1.0, value,
                                    nullptr) < 0)
    return;
  notify_wave (c);
  refresh (c);
}

static void
insert_point (ZelmWaveCanvas *c, double x, double y)
{
  if (!c->wave || !c->wave->curve || !far_from_edges (c, x, y))
    return;
  if (is_morph_mode (c))
    {
      if (c->curve_point < 0 || c->curve_point >= coord_length (c->wave->curve))
        return;
      if (!c->curve)
        {
          create_morph_curve (c);
          return;
        }
    }
  if (!c->curve || c->curve->count < 2)
    return;

  /* The press that began this double click started a drag that has not
   * moved; the new point takes over the gesture. */
  if (c->dragging)
    {
      commit_drag (c);
      c->dragging = TRUE;
    }

  double cx, cy;
  swap_if_hmorph (c, x, y, &cx, &cy);
  const int i = vorn_curve_insert_point (c->curve, cx, cy);
  if (i < 0)
    return;
  if (is_morph_mode (c))
    {
      VornMorphPoint *entry = vorn_morph_find_point (c->wave->morph, guint (c->curve_point),
                                                     is_hmorph (c));
      if (!entry)
        return;
      vorn_curve_insert_point_by_index (entry->curve, i);
    }
  else
    vorn_wave_insert_point_by_index (c->wave, i);

  for (int k = MAX (3 * i - 2, 0); k <= 3 * i + 2 && k < coord_length (c->curve); k++)
    write_coord (c, guint (k), FALSE);
  rebuild (c);
  notify_wave (c);
  c->selection.clear ();
  c->selection.push_back (guint (3 * i));
  c->hover = 3 * i;
  c->drag_origin = 3 * i;
  g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_SELECTED_POINT]);
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

static void
delete_selected (ZelmWaveCanvas *c)
{
  if (c->selection.size () != 1 || !c->curve || !c->wave)
    return;
  int k = int (c->selection[0]);
  if (k % 3 == 1)
    k -= 1;
  else if (k % 3 == 2)
    k += 1;
  const int point = k / 3, n = c->curve->count;
  if (point >= n)
    return;
  if (c->mode == ZELM_WAVE_CANVAS_MODE_CURVE && (point == 0 || point == n - 1))
    return;

  if (c->dragging)
    cancel_drag (c);
  if (c->mode == ZELM_WAVE_CANVAS_MODE_CURVE)
    vorn_wave_delete_point (c->wave, point);
  else
    vorn_wave_remove_morph_point (c->wave, guint (c->curve_point), is_hmorph (c), guint (point));
  rebuild (c);
  notify_wave (c);
  c->hover = -1;
  rehover (c);
  select_coord (c, -1);
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

static void
step_selection (ZelmWaveCanvas *c, int step)
{
  const int len = coord_length (c->curve);
  if (len == 0)
    return;
  int sel = get_selected (c);
  if (sel < 0 || sel >= len)
    sel = step > 0 ? 0 : len - 1;
  else
    sel = (sel + step + len) % len;
  c->hover = sel;
  c->selection.clear ();
  c->selection.push_back (guint (sel));
  g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_SELECTED_POINT]);
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

/* ---- events ------------------------------------------------------------ */

static void
on_motion (ZelmWaveCanvas *c, GdkEventMotion *event)
{
  c->last_x = event->x;
  c->last_y = event->y;
  c->inside = TRUE;
  if (c->dragging)
    drag_to (c, event->x, event->y, GdkModifierType (event->state));
  else
    rehover (c);
}

static void
on_button_press (ZelmWaveCanvas *c, GdkEventButton *event)
{
  if (event->button != GDK_BUTTON_PRIMARY)
    return;
  c->last_x = event->x;
  c->last_y = event->y;
  if (event->type == GDK_2BUTTON_PRESS)
    {
      insert_point (c, event->x, event->y);
      return;
    }
  if (event->type != GDK_BUTTON_PRESS)
    return;
  gtk_widget_grab_focus (GTK_WIDGET (c));
  if (c->hover < 0 || c->dragging)
    return;
  c->dragging = TRUE;
  c->drag_origin = c->hover;
  if (get_selected (c) != c->hover)
    {
      c->selection.clear ();
      c->selection.push_back (guint (c->hover));
      g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_SELECTED_POINT]);
    }
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

static void
on_button_release (ZelmWaveCanvas *c, GdkEventButton *event)
{
  if (event->button != GDK_BUTTON_PRIMARY)
    return;
  commit_drag (c);
  rehover (c);
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

static gboolean
is_modifier_key (guint keyval, GdkModifierType *mask)
{
  switch (keyval)
    {
    case GDK_KEY_Shift_L:
    case GDK_KEY_Shift_R:
      *mask = GDK_SHIFT_MASK;
      return TRUE;
    case GDK_KEY_Control_L:
    case GDK_KEY_Control_R:
      *mask = GDK_CONTROL_MASK;
      return TRUE;
    default:
      return FALSE;
    }
}

static gboolean
on_key (ZelmWaveCanvas *c, GdkEventKey *event)
{
  const gboolean press = event->type == GDK_KEY_PRESS;
  GdkModifierType mask;
  if (is_modifier_key (event->keyval, &mask))
    {
      /* The state of a key event is the one before it: a modifier changed
       * in mid-drag takes effect at once, without waiting for motion. */
      if (c->dragging)
        {
          guint state = event->state;
          state = press ? (state | mask) : (state & ~guint (mask));
          drag_to (c, c->last_x, c->last_y, GdkModifierType (state));
        }
      return FALSE;
    }
  if (!press)
    return FALSE;

  switch (event->keyval)
    {
    case GDK_KEY_Escape:
      if (c->dragging && !c->selection.empty ())
        {
          cancel_drag (c);
          rehover (c);
        }
      return TRUE;
    case GDK_KEY_BackSpace:
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete:
      delete_selected (c);
      return TRUE;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
      if (!c->dragging)
        step_selection (c, -1);
      return TRUE;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
      if (!c->dragging)
        step_selection (c, 1);
      return TRUE;
    default:
      return FALSE;
    }
}

static gboolean
zelm_wave_canvas_event (GtkWidget *widget, GdkEvent *event)
{
  ZelmWaveCanvas *c = ZELM_WAVE_CANVAS (widget);

  switch (event->type)
    {
    case GDK_MOTION_NOTIFY:
      on_motion (c, &event->motion);
      return TRUE;
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
      on_button_press (c, &event->button);
      return TRUE;
    case GDK_BUTTON_RELEASE:
      on_button_release (c, &event->button);
      return TRUE;
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE:
      return on_key (c, &event->key);
    case GDK_ENTER_NOTIFY:
      c->inside = TRUE;
      return TRUE;
    case GDK_LEAVE_NOTIFY:
      c->inside = FALSE;
      if (!c->dragging)
        set_hover (c, -1);
      return TRUE;
    case GDK_GRAB_BROKEN:
      /* The release will never come: keep what the drag did so far. */
      if (c->dragging)
        commit_drag (c);
      return FALSE;
    default:
      return GTK_WIDGET_CLASS (zelm_wave_canvas_parent_class)->event
               ? GTK_WIDGET_CLASS (zelm_wave_canvas_parent_class)->event (widget, event)
               : FALSE;
    }
}

/* ---- drawing ----------------------------------------------------------- */

static void
screen_pos (ZelmWaveCanvas *c, VornCurve *curve, int i, double *x, double *y)
{
  swap_if_hmorph (c, curve->xcoords[i], curve->ycoords[i], x, y);
}

/* Strokes @curve with the current source, segment by segment: cairo
 * strokes short paths much faster than one long one, and the colours are
 * opaque, so the overlap at the joins does not show. */
static void
stroke_bezier (ZelmWaveCanvas *c, cairo_t *cr, VornCurve *curve)
{
  double x, y, x1, y1, x2, y2;
  if (curve->count == 1)
    {
      screen_pos (c, curve, 0, &x, &y);
      cairo_move_to (cr, x, y);
      cairo_line_to (cr, x, y);
      cairo_stroke (cr);
      return;
    }
  for (int s = 0; s + 1 < curve->count; s++)
    {
      screen_pos (c, curve, 3 * s, &x, &y);
      cairo_move_to (cr, x, y);
      screen_pos (c, curve, 3 * s + 1, &x1, &y1);
      screen_pos (c, curve, 3 * s + 2, &x2, &y2);
      screen_pos (c, curve, 3 * s + 3, &x, &y);
      cairo_curve_to (cr, x1, y1, x2, y2, x, y);
      cairo_stroke (cr);
    }
}

static void
diamond (cairo_t *cr, double x, double y, double half)
{
  cairo_move_to (cr, x - half, y);
  cairo_line_to (cr, x, y - half);
  cairo_line_to (cr, x + half, y);
  cairo_line_to (cr, x, y + half);
  cairo_close_path (cr);
}

static void
draw_trace (ZelmWaveCanvas *c, cairo_t *cr, const std::vector<double> &trace)
{
  const int n = int (trace.size ());
  if (n < 2)
    return;
  VornCurve *base = c->wave->curve;
  const double start = base->xcoords[0], width = vorn_curve_get_width (base);
  for (int i = 0; i < n; i++)
    {
      double x, y;
      value_to_canvas (c, start + width * i / (n - 1), trace[size_t (i)], &x, &y);
      if (i == 0)
        cairo_move_to (cr, x, y);
      else
        cairo_line_to (cr, x, y);
    }
  cairo_stroke (cr);
}

static gboolean
zelm_wave_canvas_draw (GtkWidget *widget, cairo_t *cr)
{
  ZelmWaveCanvas *c = ZELM_WAVE_CANVAS (widget);
  const double w = c->width, h = c->height;

  zelm_util_set_rgba_uint (cr, 0x000000ff);
  cairo_paint (cr);
  cairo_set_line_width (cr, 1.0);

  if (c->bipolar)
    {
      const double y = c->y_ofs * c->y_scale + 3.5;
      zelm_util_set_rgba_uint (cr, 0x646464ff);
      cairo_move_to (cr, 0, y);
      cairo_line_to (cr, w, y);
      cairo_stroke (cr);
    }

  if (is_morph_mode (c) && wave_morph (c))
    {
      zelm_util_set_rgba_uint (cr, 0xffffffff);
      if (is_hmorph (c))
        {
          const double y = (h - 2 * MARGIN) * c->morph_pos + 4.5;
          cairo_move_to (cr, 0, y);
          cairo_line_to (cr, w, y);
        }
      else
        {
          const double x = (w - 2 * MARGIN) * c->morph_pos + 4.5;
          cairo_move_to (cr, x, 0);
          cairo_line_to (cr, x, h);
        }
      cairo_stroke (cr);
    }

  VornCurve *curve = c->curve;
  if (!curve || curve->count < 1)
    return TRUE;

  cairo_set_line_width (cr, 2.0);
  zelm_util_set_rgba_uint (cr, 0x8c8c8cff);
  for (VornCurve *bg : c->bg_curves)
    stroke_bezier (c, cr, bg);

  static const guint32 curve_colors[3] = { 0x0064ffff, 0x6400ffff, 0x64ff00ff };
  cairo_set_line_width (cr, 1.0);
  zelm_util_set_rgba_uint (cr, curve_colors[c->mode]);
  stroke_bezier (c, cr, curve);

  if (!c->trace_double.empty ())
    {
      cairo_set_line_width (cr, 5.0);
      cairo_set_source_rgba (cr, 0, 1, 0, 0.3);
      draw_trace (c, cr, c->trace_double);
      cairo_set_source_rgba (cr, 1, 0, 0, 0.3);
      draw_trace (c, cr, c->trace_single);
      cairo_set_line_width (cr, 1.0);
    }

  /* Handle lines: each point to the handles it has.  Stroked one by one:
   * cairo's stroker handles many short separate lines far faster than one
   * path of them all, and only the lines' ends (under the markers) overlap. */
  const int len = coord_length (curve);
  zelm_util_set_rgba_uint (cr, 0xffffff50);
  for (int p = 0; p < len; p += 3)
    {
      double px, py, hx, hy;
      screen_pos (c, curve, p, &px, &py);
      for (int hnd : { p - 1, p + 1 })
        if (hnd >= 0 && hnd < len)
          {
            screen_pos (c, curve, hnd, &hx, &hy);
            cairo_move_to (cr, px, py);
            cairo_line_to (cr, hx, hy);
            cairo_stroke (cr);
          }
    }

  zelm_util_set_rgba_uint (cr, 0xffffff80);
  for (int i = 0; i < len; i++)
    if (i != c->hover)
      {
        double x, y;
        screen_pos (c, curve, i, &x, &y);
        diamond (cr, x, y, MARKER_HALF);
      }
  cairo_fill (cr);

  if (c->hover >= 0 && c->hover < len)
    {
      double x, y;
      screen_pos (c, curve, c->hover, &x, &y);
      zelm_util_set_rgba_uint (cr, 0xffff00c0);
      diamond (cr, x, y, HOVER_HALF);
      cairo_fill (cr);
    }

  cairo_set_line_width (cr, 2.0);
  zelm_util_set_rgba_uint (cr, 0xffffffc0);
  for (guint s : c->selection)
    if (int (s) < len)
      {
        double x, y;
        screen_pos (c, curve, int (s), &x, &y);
        cairo_new_sub_path (cr);
        cairo_arc (cr, x, y, SELECT_RADIUS, 0, 2 * G_PI);
        cairo_stroke (cr);
      }
  return TRUE;
}

/* ---- view and properties ----------------------------------------------- */

static gboolean
curve_dips_below_zero (VornWave *wave)
{
  VornCurve *curve = wave->curve;
  const int n = coord_length (curve);
  for (int i = 0; i < n; i++)
    if (curve->ycoords[i] < 0.0)
      return TRUE;
  return FALSE;
}

/* Stores a view value; TRUE when it changed. */
static gboolean
store_view (ZelmWaveCanvas *c, double *field, double value, int prop)
{
  if (*field == value)
    return FALSE;
  *field = value;
  g_object_notify_by_pspec (G_OBJECT (c), properties[prop]);
  return TRUE;
}

/* Fits the view to the polarity and the wave. */
static void settle_drag (ZelmWaveCanvas *c);

static void
apply_polarity (ZelmWaveCanvas *c)
{
  settle_drag (c);
  double y_zoom, y_ofs;
  if (is_hmorph (c))
    {
      c->bipolar = FALSE;
      y_zoom = 1.0;
      y_ofs = 0.0;
    }
  else
    {
      if (c->polarity == ZELM_WAVE_CANVAS_POLARITY_AUTO)
        c->bipolar = !c->wave || !c->wave->curve || curve_dips_below_zero (c->wave);
      else
        c->bipolar = c->polarity == ZELM_WAVE_CANVAS_POLARITY_BIPOLAR;
      y_zoom = c->bipolar ? 0.5 : 1.0;
      y_ofs = 1.0;
    }
  double x_zoom = 1.0;
  if (c->mode != ZELM_WAVE_CANVAS_MODE_VMORPH && c->wave && c->wave->curve)
    {
      double width = vorn_curve_get_width (c->wave->curve);
      if (width > 0.0)
        x_zoom = 1.0 / width;
    }

  g_object_freeze_notify (G_OBJECT (c));
  store_view (c, &c->x_zoom, x_zoom, PROP_X_ZOOM);
  store_view (c, &c->y_zoom, y_zoom, PROP_Y_ZOOM);
  store_view (c, &c->x_ofs, 0.0, PROP_X_OFS);
  store_view (c, &c->y_ofs, y_ofs, PROP_Y_OFS);
  g_object_thaw_notify (G_OBJECT (c));
  update_scales (c);
  refresh (c);
}

/* A change under a running drag ends it, keeping what it did: its
 * transformation works on a picture that is about to be replaced. */
static void
settle_drag (ZelmWaveCanvas *c)
{
  if (c->dragging || c->drag_kind != DRAG_NONE)
    commit_drag (c);
}

static void
set_view_value (ZelmWaveCanvas *c, double *field, double value, GParamSpec *pspec)
{
  if (*field == value)
    return;
  settle_drag (c);
  *field = value;
  update_scales (c);
  refresh (c);
  g_object_notify_by_pspec (G_OBJECT (c), pspec);
}

static void
set_mode (ZelmWaveCanvas *c, ZelmWaveCanvasMode mode)
{
  if (c->mode == mode)
    return;
  settle_drag (c);
  c->mode = mode;
  c->hover = -1;
  update_ranges (c);
  apply_polarity (c);
  g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_MODE]);
}

static void
set_selected_point (ZelmWaveCanvas *c, int index)
{
  if (c->dragging || c->drag_kind != DRAG_NONE)
    cancel_drag (c);
  if (get_selected (c) == index)
    return;
  c->selection.clear ();
  if (index >= 0)
    c->selection.push_back (guint (index));
  g_object_notify_by_pspec (G_OBJECT (c), properties[PROP_SELECTED_POINT]);
  gtk_widget_queue_draw (GTK_WIDGET (c));
}

static void
zelm_wave_canvas_init (ZelmWaveCanvas *c)
{
  new (&c->bg_curves) std::vector<VornCurve *> ();
  new (&c->selection) std::vector<guint> ();
  new (&c->morph_trans) std::vector<MorphDrag> ();
  new (&c->touched) std::vector<guint> ();
  new (&c->orig_cx) std::vector<double> ();
  new (&c->orig_cy) std::vector<double> ();
  new (&c->snap_x) std::vector<double> ();
  new (&c->snap_y) std::vector<double> ();
  new (&c->trace_double) std::vector<double> ();
  new (&c->trace_single) std::vector<double> ();

  c->trans = vorn_curve_trans_new (nullptr);
  c->trans->snap_dist = SNAP_DIST;
  c->hover = -1;
  c->drag_origin = -1;
  c->curve_point = -1;
  c->x_zoom = c->y_zoom = 1.0;
  c->y_ofs = 1.0;
  c->bipolar = TRUE;
  c->debug_samples = 2000;

  gtk_widget_set_can_focus (GTK_WIDGET (c), TRUE);
  gtk_widget_add_events (GTK_WIDGET (c),
                         GDK_POINTER_MOTION_MASK | GDK_BUTTON1_MOTION_MASK |
                           GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_KEY_PRESS_MASK |
                           GDK_KEY_RELEASE_MASK | GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK);
}

static void
zelm_wave_canvas_finalize (GObject *object)
{
  ZelmWaveCanvas *c = ZELM_WAVE_CANVAS (object);

  drop_morph_drags (c);
  vorn_curve_trans_free (c->trans);
  clear_canvas_curves (c);
  g_clear_object (&c->wave);
  c->bg_curves.~vector ();
  c->selection.~vector ();
  c->morph_trans.~vector ();
  c->touched.~vector ();
  c->orig_cx.~vector ();
  c->orig_cy.~vector ();
  c->snap_x.~vector ();
  c->snap_y.~vector ();
  c->trace_double.~vector ();
  c->trace_single.~vector ();
  G_OBJECT_CLASS (zelm_wave_canvas_parent_class)->finalize (object);
}

static void
zelm_wave_canvas_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmWaveCanvas *c = ZELM_WAVE_CANVAS (object);

  switch (prop_id)
    {
    case PROP_MODE:
      g_value_set_enum (value, c->mode);
      break;
    case PROP_WAVE:
      g_value_set_object (value, c->wave);
      break;
    case PROP_POLARITY:
      g_value_set_enum (value, c->polarity);
      break;
    case PROP_SELECTED_POINT:
      g_value_set_int (value, get_selected (c));
      break;
    case PROP_SELECTED_KEY:
      g_value_set_int (value, c->selected_key);
      break;
    case PROP_MORPH_POSITION:
      g_value_set_double (value, c->morph_pos);
      break;
    case PROP_CURVE_POINT:
      g_value_set_int (value, c->curve_point);
      break;
    case PROP_X_ZOOM:
      g_value_set_double (value, c->x_zoom);
      break;
    case PROP_Y_ZOOM:
      g_value_set_double (value, c->y_zoom);
      break;
    case PROP_X_OFS:
      g_value_set_double (value, c->x_ofs);
      break;
    case PROP_Y_OFS:
      g_value_set_double (value, c->y_ofs);
      break;
    case PROP_DEBUG_RENDER:
      g_value_set_boolean (value, c->debug);
      break;
    case PROP_DEBUG_RENDER_SAMPLES:
      g_value_set_int (value, c->debug_samples);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
zelm_wave_canvas_set_property (GObject *object, guint prop_id, const GValue *value,
                               GParamSpec *pspec)
{
  ZelmWaveCanvas *c = ZELM_WAVE_CANVAS (object);

  switch (prop_id)
    {
    case PROP_MODE:
      set_mode (c, ZelmWaveCanvasMode (g_value_get_enum (value)));
      break;
    case PROP_WAVE:
      zelm_wave_canvas_set_wave (c, static_cast<VornWave *> (g_value_get_object (value)));
      break;
    case PROP_POLARITY:
      zelm_wave_canvas_set_polarity (c, ZelmWaveCanvasPolarity (g_value_get_enum (value)));
      break;
    case PROP_SELECTED_POINT:
      set_selected_point (c, g_value_get_int (value));
      break;
    case PROP_SELECTED_KEY:
      if (c->selected_key != g_value_get_int (value))
        {
          c->selected_key = g_value_get_int (value);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_MORPH_POSITION:
      set_view_value (c, &c->morph_pos, g_value_get_double (value), pspec);
      break;
    case PROP_CURVE_POINT:
      if (c->curve_point != g_value_get_int (value))
        {
          settle_drag (c);
          c->curve_point = g_value_get_int (value);
          refresh (c);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_X_ZOOM:
      set_view_value (c, &c->x_zoom, g_value_get_double (value), pspec);
      break;
    case PROP_Y_ZOOM:
      set_view_value (c, &c->y_zoom, g_value_get_double (value), pspec);
      break;
    case PROP_X_OFS:
      set_view_value (c, &c->x_ofs, g_value_get_double (value), pspec);
      break;
    case PROP_Y_OFS:
      set_view_value (c, &c->y_ofs, g_value_get_double (value), pspec);
      break;
    case PROP_DEBUG_RENDER:
      if (c->debug != g_value_get_boolean (value))
        {
          c->debug = g_value_get_boolean (value);
          refresh (c);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    case PROP_DEBUG_RENDER_SAMPLES:
      if (c->debug_samples != g_value_get_int (value))
        {
          c->debug_samples = g_value_get_int (value);
          refresh (c);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
zelm_wave_canvas_size_allocate (GtkWidget *widget, GtkAllocation *allocation)
{
  ZelmWaveCanvas *c = ZELM_WAVE_CANVAS (widget);

  GTK_WIDGET_CLASS (zelm_wave_canvas_parent_class)->size_allocate (widget, allocation);
  if (c->width == allocation->width && c->height == allocation->height)
    return;
  settle_drag (c);
  c->width = allocation->width;
  c->height = allocation->height;
  update_ranges (c);
  apply_polarity (c);
}

static void
zelm_wave_canvas_class_init (ZelmWaveCanvasClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  GtkWidgetClass *widget_class = GTK_WIDGET_CLASS (klass);

  object_class->finalize = zelm_wave_canvas_finalize;
  object_class->get_property = zelm_wave_canvas_get_property;
  object_class->set_property = zelm_wave_canvas_set_property;
  widget_class->size_allocate = zelm_wave_canvas_size_allocate;
  widget_class->draw = zelm_wave_canvas_draw;
  widget_class->event = zelm_wave_canvas_event;

  const auto flags = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                  G_PARAM_EXPLICIT_NOTIFY);
  const auto hidden = GParamFlags (flags | VORN_PARAM_HIDDEN);

  properties[PROP_MODE] =
    g_param_spec_enum ("mode", "Mode", "Canvas mode", ZELM_TYPE_WAVE_CANVAS_MODE,
                       ZELM_WAVE_CANVAS_MODE_CURVE, hidden);
  properties[PROP_WAVE] =
    g_param_spec_object ("wave", "Wave", "Waveform", VORN_TYPE_WAVE, flags);
  properties[PROP_POLARITY] =
    g_param_spec_enum ("polarity", "Polarity", "Canvas amplitude polarity",
                       ZELM_TYPE_WAVE_CANVAS_POLARITY, ZELM_WAVE_CANVAS_POLARITY_AUTO, flags);
  static const char *const polarity_icons[] = { "zelm-polarity-auto", "zelm-polarity-uni",
                                                "zelm-polarity-bi", nullptr };
  g_param_spec_set_qdata (properties[PROP_POLARITY], g_quark_from_static_string ("zelm-icons"),
                          const_cast<char **> (polarity_icons));
  properties[PROP_SELECTED_POINT] =
    g_param_spec_int ("selected-point", "SelectedPoint", "Selected point or -1", -1, G_MAXINT,
                      -1, hidden);
  properties[PROP_SELECTED_KEY] =
    g_param_spec_int ("selected-key", "SelectedKey", "Selected morph key or -1", 0, G_MAXINT, 0,
                      hidden);
  properties[PROP_MORPH_POSITION] =
    g_param_spec_double ("morph-position", "MorphPosition", "Morph time transform position",
                         0.0, 1.0, 0.0, flags);
  properties[PROP_CURVE_POINT] =
    g_param_spec_int ("curve-point", "CurvePoint", "Selected curve point or -1", -1, G_MAXINT,
                      -1, hidden);
  properties[PROP_X_ZOOM] =
    g_param_spec_double ("x-zoom", "XZoom", "X axis zoom multiplier", -G_MAXDOUBLE, G_MAXDOUBLE,
                         1.0, flags);
  properties[PROP_Y_ZOOM] =
    g_param_spec_double ("y-zoom", "YZoom", "Y axis zoom multiplier", -G_MAXDOUBLE, G_MAXDOUBLE,
                         1.0, flags);
  properties[PROP_X_OFS] =
    g_param_spec_double ("x-ofs", "XOfs", "X axis offset", -G_MAXDOUBLE, G_MAXDOUBLE, 0.0, flags);
  properties[PROP_Y_OFS] =
    g_param_spec_double ("y-ofs", "YOfs", "Y axis offset", -G_MAXDOUBLE, G_MAXDOUBLE, 1.0, flags);
  properties[PROP_DEBUG_RENDER] =
    g_param_spec_boolean ("debug-render", "DebugRender", "Debug rendering output", FALSE, flags);
  properties[PROP_DEBUG_RENDER_SAMPLES] =
    g_param_spec_int ("debug-render-samples", "DebugRenderSamples",
                      "Number of samples for debug rendering", 100, 10000, 2000, flags);

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

GtkWidget *
zelm_wave_canvas_new (void)
{
  return GTK_WIDGET (g_object_new (ZELM_TYPE_WAVE_CANVAS, nullptr));
}

void
zelm_wave_canvas_set_wave (ZelmWaveCanvas *canvas, VornWave *wave)
{
  g_return_if_fail (ZELM_IS_WAVE_CANVAS (canvas));
  g_return_if_fail (!wave || VORN_IS_WAVE (wave));

  if (canvas->wave == wave)
    {
      /* The same wave: someone changed its data, show it. */
      if (!canvas->dragging && canvas->drag_kind == DRAG_NONE)
        {
          apply_polarity (canvas);
          rehover (canvas);
        }
      return;
    }

  if (canvas->dragging || canvas->drag_kind != DRAG_NONE)
    cancel_drag (canvas);
  g_object_freeze_notify (G_OBJECT (canvas));
  g_set_object (&canvas->wave, wave);
  if (canvas->morph_pos != 0.0)
    {
      canvas->morph_pos = 0.0;
      g_object_notify_by_pspec (G_OBJECT (canvas), properties[PROP_MORPH_POSITION]);
    }
  if (canvas->selected_key != 0)
    {
      canvas->selected_key = 0;
      g_object_notify_by_pspec (G_OBJECT (canvas), properties[PROP_SELECTED_KEY]);
    }
  canvas->hover = -1;
  apply_polarity (canvas);
  g_object_notify_by_pspec (G_OBJECT (canvas), properties[PROP_WAVE]);
  g_object_thaw_notify (G_OBJECT (canvas));
}

VornWave *
zelm_wave_canvas_get_wave (ZelmWaveCanvas *canvas)
{
  g_return_val_if_fail (ZELM_IS_WAVE_CANVAS (canvas), nullptr);
  return canvas->wave;
}

void
zelm_wave_canvas_set_polarity (ZelmWaveCanvas *canvas, ZelmWaveCanvasPolarity polarity)
{
  g_return_if_fail (ZELM_IS_WAVE_CANVAS (canvas));

  const gboolean changed = canvas->polarity != polarity;
  canvas->polarity = polarity;
  apply_polarity (canvas);
  if (changed)
    g_object_notify_by_pspec (G_OBJECT (canvas), properties[PROP_POLARITY]);
}

void
zelm_wave_canvas_value_to_pixel (ZelmWaveCanvas *canvas, double x, double y, double *px,
                                 double *py)
{
  g_return_if_fail (ZELM_IS_WAVE_CANVAS (canvas));
  g_return_if_fail (px != nullptr && py != nullptr);

  double cx, cy;
  value_to_canvas (canvas, x, y, &cx, &cy);
  swap_if_hmorph (canvas, cx, cy, px, py);
}
