/* vorn-morph.cpp: per-coordinate morph curves of a wave's curve */
#include "vorn-morph.h"
#include "vorn-init.h"
#include "vorn-render-context.h"
#include "vorn-node-private.h"

#include <algorithm>
#include <cstring>

G_DEFINE_BOXED_TYPE (VornMorph, vorn_morph, vorn_morph_copy, vorn_morph_free)

namespace {

/* Drops the shared caches of a morph curve in both formats: the editor may
 * draw from one format while the synthesizer plays the other. */
void
drop_shared (VornCurve *curve)
{
  vorn_curve_cache_invalidate (curve, VORN_FORMAT_SINGLE);
  vorn_curve_cache_invalidate (curve, VORN_FORMAT_DOUBLE);
}

/* After a morph curve changed: nothing built from its old points survives. */
void
curve_changed (VornMorphPoint *p)
{
  drop_shared (p->curve);
  g_clear_object (&p->cache);
}

/* Releases a morph curve; the last holder also drops its shared caches so
 * that a later curve at the same address cannot find them. */
void
release_curve (VornCurve *curve)
{
  if (G_OBJECT (curve)->ref_count == 1)
    drop_shared (curve);
  g_object_unref (curve);
}

void
clear_entry (VornMorphPoint *p)
{
  g_clear_object (&p->cache);
  if (p->curve)
    release_curve (p->curve);
  p->curve = nullptr;
}

double
base_value (const VornMorph *morph, const VornMorphPoint *p)
{
  if (!morph->curve)
    return 0.0;
  int len = VORN_CURVE_COORD_LENGTH (morph->curve);
  if (len <= 0 || p->index >= guint (len))
    return 0.0;
  return p->horizontal ? morph->curve->xcoords[p->index]
                       : morph->curve->ycoords[p->index];
}

/* Entry order: by index, and for one index the horizontal entry first. */
inline bool
entry_before (guint32 index_a, bool horiz_a, guint32 index_b, bool horiz_b)
{
  return index_a < index_b || (index_a == index_b && horiz_a && !horiz_b);
}

/* Position of the entry (index, horizontal) in the sorted array, or of the
 * place where it would be inserted; *found tells which. */
guint
locate (const VornMorph *morph, guint index, gboolean horizontal, bool *found)
{
  guint lo = 0, hi = morph->count;
  const bool h = horizontal != FALSE;

  while (lo < hi)
    {
      guint mid = (lo + hi) / 2;
      const VornMorphPoint &p = morph->points[mid];
      if (entry_before (p.index, p.horizontal, index, h))
        lo = mid + 1;
      else
        hi = mid;
    }
  *found = lo < morph->count && morph->points[lo].index == index
           && bool (morph->points[lo].horizontal) == h;
  return lo;
}

VornMorphPoint *
find_entry (VornMorph *morph, guint index, gboolean horizontal)
{
  bool found;
  guint pos = locate (morph, index, horizontal, &found);
  return found ? &morph->points[pos] : nullptr;
}

VornMorphPoint *
insert_entry (VornMorph *morph, guint pos, VornCurve *curve, guint index,
              gboolean horizontal)
{
  morph->points = g_renew (VornMorphPoint, morph->points, morph->count + 1);
  memmove (&morph->points[pos + 1], &morph->points[pos],
           (morph->count - pos) * sizeof (VornMorphPoint));
  morph->count++;

  VornMorphPoint *p = &morph->points[pos];
  p->curve = curve;
  p->cache = nullptr;
  p->index = index;
  p->horizontal = horizontal ? TRUE : FALSE;
  return p;
}

void
remove_entry (VornMorph *morph, guint pos)
{
  clear_entry (&morph->points[pos]);
  memmove (&morph->points[pos], &morph->points[pos + 1],
           (morph->count - pos - 1) * sizeof (VornMorphPoint));
  morph->count--;
  if (morph->count == 0)
    g_clear_pointer (&morph->points, g_free);
  else
    morph->points = g_renew (VornMorphPoint, morph->points, morph->count);
}

void
prepare_entry (const VornMorph *morph, VornMorphPoint *p, VornFormat format,
               gboolean force)
{
  if (p->cache)
    {
      if (!force && p->cache->format == format)
        return;
      g_clear_object (&p->cache);
    }

  /* At position 0 the waveform is the curve as drawn: the morph curve
   * starts on the coordinate's own value. */
  VornCurve *c = p->curve;
  const double base = base_value (morph, p);
  if (c->xcoords[0] != 0.0 || c->ycoords[0] != base)
    {
      c->xcoords[0] = 0.0;
      c->ycoords[0] = base;
      drop_shared (c);
    }

  p->cache = vorn_curve_cache_private_new (c, format);
}

} // namespace

VornMorph *
vorn_morph_new (VornCurve *curve)
{
  g_return_val_if_fail (!curve || VORN_IS_CURVE (curve), NULL);

  VornMorph *morph = g_new0 (VornMorph, 1);
  if (curve)
    morph->curve = VORN_CURVE (g_object_ref (curve));
  return morph;
}

VornMorph *
vorn_morph_copy (const VornMorph *morph)
{
  g_return_val_if_fail (morph != NULL, NULL);

  VornMorph *copy = g_new0 (VornMorph, 1);
  if (morph->curve)
    copy->curve = VORN_CURVE (g_object_ref (morph->curve));
  copy->count = morph->count;
  if (morph->count)
    copy->points = g_new (VornMorphPoint, morph->count);
  for (guint i = 0; i < morph->count; i++)
    {
      copy->points[i] = morph->points[i];
      g_object_ref (copy->points[i].curve);
      if (copy->points[i].cache)
        g_object_ref (copy->points[i].cache);
    }
  return copy;
}

void
vorn_morph_free (VornMorph *morph)
{
  if (!morph)
    return;

  for (guint i = 0; i < morph->count; i++)
    clear_entry (&morph->points[i]);
  g_free (morph->points);
  g_clear_object (&morph->curve);
  g_free (morph);
}

void
vorn_morph_set_curve (VornMorph *morph, VornCurve *curve)
{
  g_return_if_fail (morph != NULL);
  g_return_if_fail (!curve || VORN_IS_CURVE (curve));

  g_set_object (&morph->curve, curve);
}

int
vorn_morph_insert_point (VornMorph *morph, guint index, gboolean horizontal,
                         double morphX, double morphY,
                         VornMorphPoint **point_out)
{
  g_return_val_if_fail (morph != NULL, -1);
  g_return_val_if_fail (morphX > 0.0 && morphX <= 1.0, -1);

  bool found;
  guint pos = locate (morph, index, horizontal, &found);

  if (found)
    {
      VornMorphPoint *p = &morph->points[pos];
      if (point_out)
        *point_out = p;
      /* The end point at 1 is always there. */
      if (morphX == 1.0)
        return -1;
      int point = vorn_curve_insert_point (p->curve, morphX, morphY);
      if (point >= 0)
        curve_changed (p);
      return point;
    }

  g_return_val_if_fail (morph->count < G_MAXUINT16, -1);

  VornMorphPoint probe = {nullptr, nullptr, guint32 (index),
                          guint8 (horizontal ? TRUE : FALSE)};
  const double base = base_value (morph, &probe);
  VornCurve *curve;

  if (morphX < 1.0)
    {
      curve = vorn_curve_new (3);
      vorn_curve_set_point (curve, 1, morphX, morphY, morphX, morphY, morphX,
                            morphY);
    }
  else
    curve = vorn_curve_new (2);
  vorn_curve_set_start_point (curve, 0.0, base, 0.0, base);
  vorn_curve_set_end_point (curve, 1.0, morphY, 1.0, morphY);

  VornMorphPoint *p = insert_entry (morph, pos, curve, index, horizontal);
  if (point_out)
    *point_out = p;
  return 1;
}

void
vorn_morph_set_point_curve (VornMorph *morph, guint index, gboolean horizontal,
                            VornCurve *curve)
{
  g_return_if_fail (morph != NULL);
  g_return_if_fail (VORN_IS_CURVE (curve));

  bool found;
  guint pos = locate (morph, index, horizontal, &found);

  if (found)
    {
      VornMorphPoint *p = &morph->points[pos];
      if (p->curve == curve)
        {
          curve_changed (p);
          return;
        }
      VornCurve *old = p->curve;
      p->curve = VORN_CURVE (g_object_ref (curve));
      g_clear_object (&p->cache);
      release_curve (old);
      return;
    }

  g_return_if_fail (morph->count < G_MAXUINT16);
  insert_entry (morph, pos, VORN_CURVE (g_object_ref (curve)), index,
                horizontal);
}

VornMorphPoint *
vorn_morph_find_point (VornMorph *morph, guint index, gboolean horizontal)
{
  g_return_val_if_fail (morph != NULL, NULL);

  return find_entry (morph, index, horizontal);
}

gboolean
vorn_morph_find_point_index (VornMorph *morph, guint index, gboolean horizontal,
                             guint point, VornMorphPoint **point_out)
{
  g_return_val_if_fail (morph != NULL, FALSE);

  VornMorphPoint *p = find_entry (morph, index, horizontal);
  if (!p)
    return FALSE;
  if (point_out)
    *point_out = p;
  return point == 0
         || gint64 (point) - 1 < gint64 (VORN_CURVE_COORD_LENGTH (p->curve));
}

int
vorn_morph_find_point_position (VornMorph *morph, guint index,
                                gboolean horizontal, double position,
                                VornMorphPoint **point_out)
{
  g_return_val_if_fail (morph != NULL, -1);
  g_return_val_if_fail (position >= 0.0 && position <= 1.0, -1);

  VornMorphPoint *p = find_entry (morph, index, horizontal);
  if (!p)
    return -1;
  if (point_out)
    *point_out = p;
  if (position == 0.0)
    return 0;
  int seg = vorn_curve_find_point (p->curve, position);
  return seg < 0 ? -1 : seg + 1;
}

void
vorn_morph_remove_point (VornMorph *morph, guint index, gboolean horizontal,
                         guint point)
{
  g_return_if_fail (morph != NULL);

  bool found;
  guint pos = locate (morph, index, horizontal, &found);
  if (!found)
    return;

  VornMorphPoint *p = &morph->points[pos];
  const guint n = guint (p->curve->count);
  if (point >= n)
    return;
  if (n == 2)
    remove_entry (morph, pos);
  else if (point > 0 && point < n - 1)
    {
      vorn_curve_delete_point (p->curve, int (point));
      curve_changed (p);
    }
}

void
vorn_morph_remove_point_curve (VornMorph *morph, guint index,
                               gboolean horizontal)
{
  g_return_if_fail (morph != NULL);

  bool found;
  guint pos = locate (morph, index, horizontal, &found);
  if (found)
    remove_entry (morph, pos);
}

void
vorn_morph_remove_point_curve_by_index (VornMorph *morph, guint index)
{
  g_return_if_fail (morph != NULL);
  g_return_if_fail (index < morph->count);

  remove_entry (morph, index);
}

void
vorn_morph_cache (VornMorph *morph, VornFormat format, gboolean force)
{
  g_return_if_fail (morph != NULL);

  for (guint i = 0; i < morph->count; i++)
    prepare_entry (morph, &morph->points[i], format, force);
}

void
vorn_morph_cache_point (VornMorph *morph, guint index, gboolean horizontal,
                        VornFormat format, gboolean force)
{
  g_return_if_fail (morph != NULL);

  VornMorphPoint *p = find_entry (morph, index, horizontal);
  if (p)
    prepare_entry (morph, p, format, force);
}

void
vorn_morph_invalidate_cache (VornMorph *morph)
{
  g_return_if_fail (morph != NULL);

  vorn_util_edit_serial_bump ();
  for (guint i = 0; i < morph->count; i++)
    curve_changed (&morph->points[i]);
}

void
vorn_morph_invalidate_cache_point (VornMorph *morph, guint index,
                                   gboolean horizontal)
{
  g_return_if_fail (morph != NULL);

  vorn_util_edit_serial_bump ();
  VornMorphPoint *p = find_entry (morph, index, horizontal);
  if (p)
    curve_changed (p);
}

void
vorn_morph_transform (VornMorph *morph, double morphPos, double *xcoord,
                      double *ycoord, guint count, VornFormat format)
{
  g_return_if_fail (morph != NULL);
  g_return_if_fail (morphPos >= 0.0 && morphPos <= 1.0);
  g_return_if_fail (xcoord != NULL);
  g_return_if_fail (ycoord != NULL);
  g_return_if_fail (count >= 4);

  for (guint i = 0; i < morph->count; i++)
    {
      VornMorphPoint *p = &morph->points[i];
      /* Sorted by index: every later entry is out of range too. */
      if (p->index >= count)
        break;
      prepare_entry (morph, p, format, FALSE);
      double v = vorn_curve_cache_plot_point (p->cache, morphPos);
      (p->horizontal ? xcoord : ycoord)[p->index] = v;
    }
}

JsonNode *
vorn_morph_serialize (const VornMorph *morph)
{
  if (!morph || morph->count == 0)
    return nullptr;

  g_autoptr (JsonBuilder) b = json_builder_new ();
  json_builder_begin_object (b);
  json_builder_set_member_name (b, "type");
  json_builder_add_string_value (b, "VornMorph");
  json_builder_set_member_name (b, "points");
  json_builder_begin_array (b);
  for (guint i = 0; i < morph->count; i++)
    {
      const VornMorphPoint &p = morph->points[i];
      json_builder_begin_object (b);
      json_builder_set_member_name (b, "curve");
      json_builder_add_value (b, json_gobject_serialize (G_OBJECT (p.curve)));
      json_builder_set_member_name (b, "index");
      json_builder_add_int_value (b, p.index);
      if (p.horizontal)
        {
          json_builder_set_member_name (b, "horizontal");
          json_builder_add_boolean_value (b, TRUE);
        }
      json_builder_end_object (b);
    }
  json_builder_end_array (b);
  json_builder_end_object (b);
  return json_builder_get_root (b);
}

namespace {

/* One element of "points"; false when it is malformed. */
bool
read_entry (JsonNode *node, VornMorphPoint *p)
{
  if (!JSON_NODE_HOLDS_OBJECT (node))
    return false;
  JsonObject *obj = json_node_get_object (node);

  JsonNode *cnode = json_object_get_member (obj, "curve");
  JsonNode *inode = json_object_get_member (obj, "index");
  JsonNode *hnode = json_object_get_member (obj, "horizontal");
  if (!cnode || !JSON_NODE_HOLDS_OBJECT (cnode) || !inode
      || !JSON_NODE_HOLDS_VALUE (inode)
      || json_node_get_value_type (inode) != G_TYPE_INT64
      || (hnode && !JSON_NODE_HOLDS_VALUE (hnode)))
    return false;

  gint64 index = json_node_get_int (inode);
  if (index < 0 || index > gint64 (G_MAXUINT32))
    return false;

  GObject *obj_curve = json_gobject_deserialize (VORN_TYPE_CURVE, cnode);
  if (!obj_curve)
    return false;
  VornCurve *curve = VORN_CURVE (obj_curve);
  /* A morph curve is evaluated: it needs at least one segment. */
  if (curve->count < 2)
    {
      g_object_unref (curve);
      return false;
    }

  p->curve = curve;
  p->cache = nullptr;
  p->index = guint32 (index);
  p->horizontal = hnode && json_node_get_boolean (hnode) ? TRUE : FALSE;
  return true;
}

/* While a file loads, a morph that cannot be used fails the load with a
 * message instead of vanishing; direct callers just get NULL. */
void
report (gpointer wave, const char *format, ...) G_GNUC_PRINTF (2, 3);

void
report (gpointer wave, const char *format, ...)
{
  if (!VornJsonLoadScope::active ())
    return;
  va_list args;
  va_start (args, format);
  g_autofree char *problem = g_strdup_vprintf (format, args);
  va_end (args);
  VornJsonLoadScope::report (
    g_error_new (VORN_ERROR, VORN_ERROR_INVALID_DATA, "Invalid member 'morph' of node type '%s': %s",
                 G_IS_OBJECT (wave) ? G_OBJECT_TYPE_NAME (wave) : "VornWave", problem));
}

} // namespace

VornMorph *
vorn_morph_deserialize (gpointer wave, JsonNode *node)
{
  if (!node || JSON_NODE_HOLDS_NULL (node))
    return nullptr;
  JsonObject *obj = JSON_NODE_HOLDS_OBJECT (node) ? json_node_get_object (node) : nullptr;

  JsonNode *tnode = obj ? json_object_get_member (obj, "type") : nullptr;
  JsonNode *pnode = obj ? json_object_get_member (obj, "points") : nullptr;
  if (!tnode || !JSON_NODE_HOLDS_VALUE (tnode)
      || json_node_get_value_type (tnode) != G_TYPE_STRING
      || g_strcmp0 (json_node_get_string (tnode), "VornMorph") != 0 || !pnode
      || !JSON_NODE_HOLDS_ARRAY (pnode))
    {
      report (wave, "expected an object of type \"VornMorph\" with an array \"points\"");
      return nullptr;
    }

  JsonArray *arr = json_node_get_array (pnode);
  guint n = json_array_get_length (arr);
  if (n > G_MAXUINT16)
    {
      report (wave, "%u entries, at most %u are supported", n, guint (G_MAXUINT16));
      return nullptr;
    }

  VornMorph *morph = g_new0 (VornMorph, 1);
  if (n)
    morph->points = g_new0 (VornMorphPoint, n);
  for (guint i = 0; i < n; i++)
    {
      if (!read_entry (json_array_get_element (arr, i), &morph->points[i]))
        {
          report (wave, "entry %u is not an object with an \"index\" and a \"curve\" of 2 or more points", i);
          vorn_morph_free (morph);
          return nullptr;
        }
      morph->count = guint16 (i + 1);
    }

  /* Files written by this engine are sorted; a hand-edited one is put in
   * order rather than refused, but two curves for one coordinate are
   * ambiguous. */
  auto before = [] (const VornMorphPoint &a, const VornMorphPoint &b) {
    return entry_before (a.index, a.horizontal, b.index, b.horizontal);
  };
  std::stable_sort (morph->points, morph->points + morph->count, before);
  for (guint i = 1; i < morph->count; i++)
    if (!before (morph->points[i - 1], morph->points[i]))
      {
        report (wave, "two entries for %s coordinate %u",
                morph->points[i].horizontal ? "horizontal" : "vertical", morph->points[i].index);
        vorn_morph_free (morph);
        return nullptr;
      }
  return morph;
}
