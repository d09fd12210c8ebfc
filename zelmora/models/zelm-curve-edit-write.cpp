/* zelm-curve-edit-write.cpp: a curve-editing session writes its picture
 * back into the wave, and keeps the morph curves in step */
#include "zelm-curve-edit-private.h"

/* ---- writing back ------------------------------------------------------ */

/* The value of picture coordinate @i; a coordinate back where the drag
 * found it gives exactly the value it had, not a round trip through
 * pixels. */
static void
coord_value (ZelmCurveEdit *c, guint i, double *vx, double *vy)
{
  const double cx = c->curve->xcoords[i], cy = c->curve->ycoords[i];
  if (i < c->orig_cx.size () && c->snap_x.size () == c->orig_cx.size () &&
      cx == c->orig_cx[i] && cy == c->orig_cy[i])
    {
      if (c->mode == ZELM_CURVE_EDIT_CURVE && c->morph_pos == 0.0)
        {
          *vx = c->snap_x[i];
          *vy = c->snap_y[i];
          return;
        }
      if (c->mode != ZELM_CURVE_EDIT_CURVE)
        {
          *vx = c->snap_x[i];
          *vy = i == 0 ? c->snap_base : c->snap_y[i];
          return;
        }
    }
  canvas_to_value (c, cx, cy, vx, vy);
}

static MorphDrag *
find_morph_drag (ZelmCurveEdit *c, guint index, gboolean horizontal)
{
  for (MorphDrag &md : c->morph_trans)
    if (md.index == index && bool (md.horizontal) == bool (horizontal))
      return &md;
  return nullptr;
}

/* Makes the morph curve of (@index, @horizontal) follow the drag: finds or
 * inserts its point at the current morph position and starts a
 * transformation of that point. */
void
zelm_curve_edit_follow_morph (ZelmCurveEdit *c, guint index, gboolean horizontal)
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

/* Stores picture coordinate @i into the wave's curve (curve mode). */
static void
write_curve_coord (ZelmCurveEdit *c, guint i, gboolean follow_morph)
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
          zelm_curve_edit_follow_morph (c, i, horizontal);
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

/* Stores picture coordinate @i into the morph curve of the curve point. */
static void
write_morph_coord (ZelmCurveEdit *c, guint i)
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

void
zelm_curve_edit_write_coord (ZelmCurveEdit *c, guint i, gboolean follow_morph)
{
  if (c->mode == ZELM_CURVE_EDIT_CURVE)
    write_curve_coord (c, i, follow_morph);
  else
    write_morph_coord (c, i);
}


void
zelm_curve_edit_drop_morph_drags (ZelmCurveEdit *c)
{
  for (MorphDrag &md : c->morph_trans)
    {
      vorn_curve_trans_free (md.trans);
      g_clear_object (&md.before);
    }
  c->morph_trans.clear ();
}

/* Puts every morph curve the drag touched back as it was, newest first. */
void
zelm_curve_edit_restore_morph (ZelmCurveEdit *c)
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
  zelm_curve_edit_drop_morph_drags (c);
  if (!c->had_morph && c->wave->morph && c->wave->morph->count == 0)
    vorn_wave_remove_morph (c->wave);
}

/* Undoes the drag kind in progress: the picture, the wave's data and the
 * morph curves return exactly to how the drag found them. */
