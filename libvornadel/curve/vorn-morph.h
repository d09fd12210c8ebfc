/* vorn-morph.h: per-coordinate morph curves of a wave's curve */
#pragma once

#include <glib-object.h>
#include <json-glib/json-glib.h>

#include "vorn-attrib.h"
#include "vorn-curve.h"
#include "vorn-curve-cache.h"

G_BEGIN_DECLS

/**
 * VornMorphPoint:
 * @curve: the morph curve: x is the morph position 0 .. 1, y the value of
 *   the coordinate (strong reference)
 * @cache: (nullable): private evaluation cache of @curve, made on demand
 * @index: coordinate index in the base curve
 * @horizontal: TRUE when the entry animates the X coordinate at @index,
 *   FALSE for the Y coordinate
 *
 * One morphed coordinate.
 */
typedef struct {
  VornCurve *curve;
  VornCurveCache *cache;
  guint32 index;
  guint8 horizontal;
} VornMorphPoint;

/**
 * VornMorph:
 * @curve: (nullable): the base curve whose coordinates are animated
 * @points: the entries, sorted by index, for one index the horizontal entry
 *   before the vertical one
 * @count: number of entries
 *
 * Morph curves for single coordinates of a curve.  Pointers to entries stay
 * valid only until the next insertion or removal of an entry.
 */
typedef struct {
  VornCurve *curve;
  VornMorphPoint *points;
  guint16 count;
} VornMorph;

#define VORN_TYPE_MORPH (vorn_morph_get_type ())

GType vorn_morph_get_type (void);

/**
 * vorn_morph_new:
 * @curve: (nullable): the base curve
 *
 * Returns: (transfer full) (nullable): a new morph without entries, holding
 * a reference on @curve; NULL when @curve is not a curve
 */
VornMorph *vorn_morph_new (VornCurve *curve);

/**
 * vorn_morph_copy:
 * @morph: a morph
 *
 * Copies the entry array; the base curve and every entry's curve and cache
 * are shared (new references), so curve edits through either morph are seen
 * by both.
 *
 * Returns: (transfer full) (nullable): the copy, NULL for a NULL @morph
 */
VornMorph *vorn_morph_copy (const VornMorph *morph);

/**
 * vorn_morph_free:
 * @morph: (nullable): a morph
 *
 * Releases the entries' curves and caches, the base curve and the morph.
 */
void vorn_morph_free (VornMorph *morph);

/**
 * vorn_morph_set_curve:
 * @morph: a morph
 * @curve: (nullable): the new base curve, NULL to clear it
 */
void vorn_morph_set_curve (VornMorph *morph, VornCurve *curve);

/**
 * vorn_morph_insert_point:
 * @morph: a morph
 * @index: coordinate index in the base curve
 * @horizontal: TRUE for the X coordinate, FALSE for Y
 * @morphX: morph position of the new point, 0 < @morphX <= 1
 * @morphY: coordinate value at that position
 * @point_out: (out) (optional): the entry
 *
 * Adds the point (@morphX, @morphY) to the entry's morph curve, creating the
 * entry when needed: a new morph curve starts at (0, base value) and ends at
 * (1, @morphY).
 *
 * Returns: the index of the new point in the morph curve (1 for a new
 * entry), or -1 when the entry exists and @morphX is 1.0 or the point could
 * not be inserted
 */
int vorn_morph_insert_point (VornMorph *morph, guint index, gboolean horizontal,
                             double morphX, double morphY,
                             VornMorphPoint **point_out);

/**
 * vorn_morph_set_point_curve:
 * @morph: a morph
 * @index: coordinate index
 * @horizontal: TRUE for the X coordinate, FALSE for Y
 * @curve: the morph curve (the morph takes a reference)
 *
 * Installs @curve as the entry's morph curve, creating the entry if needed.
 */
void vorn_morph_set_point_curve (VornMorph *morph, guint index,
                                 gboolean horizontal, VornCurve *curve);

/**
 * vorn_morph_find_point:
 * @morph: a morph
 * @index: coordinate index
 * @horizontal: TRUE for the X coordinate, FALSE for Y
 *
 * Returns: (transfer none) (nullable): the entry, or NULL
 */
VornMorphPoint *vorn_morph_find_point (VornMorph *morph, guint index,
                                       gboolean horizontal);

/**
 * vorn_morph_find_point_index:
 * @morph: a morph
 * @index: coordinate index
 * @horizontal: TRUE for the X coordinate, FALSE for Y
 * @point: a point index of the entry's morph curve
 * @point_out: (out) (optional): the entry, when found
 *
 * Returns: TRUE when the entry exists and @point is 0 or @point - 1 is below
 * the coordinate length of its morph curve
 */
gboolean vorn_morph_find_point_index (VornMorph *morph, guint index,
                                      gboolean horizontal, guint point,
                                      VornMorphPoint **point_out);

/**
 * vorn_morph_find_point_position:
 * @morph: a morph
 * @index: coordinate index
 * @horizontal: TRUE for the X coordinate, FALSE for Y
 * @position: morph position, 0 .. 1
 * @point_out: (out) (optional): the entry, when found
 *
 * Returns: 0 for @position 0, otherwise the index of the morph-curve point
 * that ends the segment containing @position; -1 when there is no entry or
 * no such segment
 */
int vorn_morph_find_point_position (VornMorph *morph, guint index,
                                    gboolean horizontal, double position,
                                    VornMorphPoint **point_out);

/**
 * vorn_morph_remove_point:
 * @morph: a morph
 * @index: coordinate index
 * @horizontal: TRUE for the X coordinate, FALSE for Y
 * @point: point index in the entry's morph curve
 *
 * Removes an interior point of the entry's morph curve; removing any point
 * of a two-point morph curve removes the whole entry.  The ends of a longer
 * morph curve are kept.
 */
void vorn_morph_remove_point (VornMorph *morph, guint index,
                              gboolean horizontal, guint point);

/**
 * vorn_morph_remove_point_curve:
 * @morph: a morph
 * @index: coordinate index
 * @horizontal: TRUE for the X coordinate, FALSE for Y
 *
 * Removes the entry, if there is one.
 */
void vorn_morph_remove_point_curve (VornMorph *morph, guint index,
                                    gboolean horizontal);

/**
 * vorn_morph_remove_point_curve_by_index:
 * @morph: a morph
 * @index: position of the entry in @morph->points
 */
void vorn_morph_remove_point_curve_by_index (VornMorph *morph, guint index);

/**
 * vorn_morph_cache:
 * @morph: a morph
 * @format: sample format of the caches
 * @force: rebuild caches that already exist in @format
 *
 * Prepares every entry's private cache.  Each morph curve's start is first
 * tied to its coordinate's base value.
 */
void vorn_morph_cache (VornMorph *morph, VornFormat format, gboolean force);

/**
 * vorn_morph_cache_point:
 * @morph: a morph
 * @index: coordinate index
 * @horizontal: TRUE for the X coordinate, FALSE for Y
 * @format: sample format of the cache
 * @force: rebuild a cache that already exists in @format
 *
 * Prepares one entry's private cache, as vorn_morph_cache().
 */
void vorn_morph_cache_point (VornMorph *morph, guint index, gboolean horizontal,
                             VornFormat format, gboolean force);

/**
 * vorn_morph_invalidate_cache:
 * @morph: a morph
 *
 * Drops every entry's private cache and the shared caches of the morph
 * curves; call it after editing morph curves directly.
 */
void vorn_morph_invalidate_cache (VornMorph *morph);

/**
 * vorn_morph_invalidate_cache_point:
 * @morph: a morph
 * @index: coordinate index
 * @horizontal: TRUE for the X coordinate, FALSE for Y
 *
 * vorn_morph_invalidate_cache() for one entry.
 */
void vorn_morph_invalidate_cache_point (VornMorph *morph, guint index,
                                        gboolean horizontal);

/**
 * vorn_morph_transform:
 * @morph: a morph
 * @morphPos: morph position, 0 .. 1
 * @xcoord: X coordinates to morph (a copy of the base curve's)
 * @ycoord: Y coordinates to morph
 * @count: number of coordinates, at least 4
 * @format: sample format of the caches used
 *
 * Overwrites every coordinate that has an entry with its morph curve's
 * value at @morphPos; the others are left untouched.  Prepares missing
 * caches on the way.
 */
void vorn_morph_transform (VornMorph *morph, double morphPos, double *xcoord,
                           double *ycoord, guint count, VornFormat format);

/**
 * vorn_morph_serialize:
 * @morph: (nullable): a morph
 *
 * Returns: (transfer full) (nullable): the JSON object of @morph, or NULL
 * for a NULL or empty morph
 */
JsonNode *vorn_morph_serialize (const VornMorph *morph);

/**
 * vorn_morph_deserialize:
 * @wave: (nullable): the object that will own the morph
 * @node: (nullable): a JSON node
 *
 * Reads a morph written by vorn_morph_serialize().  Entries out of order are
 * sorted; duplicate entries, entries whose curve has fewer than 2 points and
 * any malformed member reject the whole morph.  The result has no base curve
 * and no caches.
 *
 * Returns: (transfer full) (nullable): the morph, or NULL
 */
VornMorph *vorn_morph_deserialize (gpointer wave, JsonNode *node);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornMorph, vorn_morph_free)

G_END_DECLS
