/* vorn-curve.cpp: piecewise cubic Bezier curves */
#include "vorn-curve.h"
#include "vorn-curve-cache.h"
#include "vorn-init.h"
#include "vorn-node-private.h"
#include "vorn-value.h"

#include <json-glib/json-glib.h>

#include <algorithm>
#include <cmath>
#include <cstring>

G_DEFINE_ENUM_TYPE (VornCurvePointType, vorn_curve_point_type,
  G_DEFINE_ENUM_VALUE (VORN_CURVE_POINT_ENDPOINT, "endpoint"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_POINT_RIGHT, "right"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_POINT_LEFT, "left"))

G_DEFINE_ENUM_TYPE (VornCurveMethod, vorn_curve_method,
  G_DEFINE_ENUM_VALUE (VORN_CURVE_METHOD_NONE, "none"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_METHOD_LINEAR, "linear"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_METHOD_QUADRATIC1, "quadratic1"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_METHOD_QUADRATIC2, "quadratic2"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_METHOD_CUBIC_ROOT1, "cubic-root1"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_METHOD_CUBIC_ROOT3_1, "cubic-root3-1"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_METHOD_CUBIC_ROOT3_2, "cubic-root3-2"),
  G_DEFINE_ENUM_VALUE (VORN_CURVE_METHOD_CUBIC_ROOT3_3, "cubic-root3-3"))

struct VornCurvePrivate
{
  char *name;
  GArray *xarray;   /* double; owns curve->xcoords */
  GArray *yarray;   /* double; owns curve->ycoords */
};

enum {
  PROP_0,
  PROP_NAME,
  PROP_POINTS,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

static void vorn_curve_serializable_init (JsonSerializableIface *iface);

G_DEFINE_TYPE_WITH_CODE (VornCurve, vorn_curve, G_TYPE_OBJECT,
                         G_ADD_PRIVATE (VornCurve)
                         G_IMPLEMENT_INTERFACE (JSON_TYPE_SERIALIZABLE,
                                                vorn_curve_serializable_init))

static VornCurvePrivate *
get_priv (VornCurve *curve)
{
  return static_cast<VornCurvePrivate *> (
      vorn_curve_get_instance_private (curve));
}

/* The public pointers alias the arrays' storage, which moves on resize. */
static void
refresh_coords (VornCurve *curve)
{
  VornCurvePrivate *priv = get_priv (curve);
  curve->xcoords = reinterpret_cast<double *> (priv->xarray->data);
  curve->ycoords = reinterpret_cast<double *> (priv->yarray->data);
}

/* Sets @count points, zero-filling new coordinates. */
static void
resize_points (VornCurve *curve, guint count)
{
  VornCurvePrivate *priv = get_priv (curve);
  guint len = count > 0 ? 3 * count - 2 : 0;
  g_array_set_size (priv->xarray, len);
  g_array_set_size (priv->yarray, len);
  curve->count = gint32 (count);
  refresh_coords (curve);
}

static GVariant *
points_to_variant (VornCurve *curve)
{
  int len = curve->count > 0 ? VORN_CURVE_COORD_LENGTH (curve) : 0;
  double *pairs = g_new (double, 2 * gsize (len) + 1);
  for (int k = 0; k < len; k++)
    {
      pairs[2 * k] = curve->xcoords[k];
      pairs[2 * k + 1] = curve->ycoords[k];
    }
  GVariant *v = g_variant_new_fixed_array (G_VARIANT_TYPE_DOUBLE, pairs,
                                           gsize (len) * 2, sizeof (double));
  g_free (pairs);
  return v;
}

/* Returns FALSE (and changes nothing) for an array of the wrong size. */
static gboolean
points_from_variant (VornCurve *curve, GVariant *variant)
{
  gsize n = 0;
  const double *pairs = nullptr;

  if (variant)
    pairs = static_cast<const double *> (
        g_variant_get_fixed_array (variant, &n, sizeof (double)));

  if (n <= 7 || (n - 8) % 6 != 0)
    {
      g_warning ("%s: invalid GVariant array size %llu for 'points' property",
                 G_STRLOC, (unsigned long long) n);
      return FALSE;
    }

  guint len = guint (n / 2);
  resize_points (curve, (len + 2) / 3);
  for (guint k = 0; k < len; k++)
    {
      curve->xcoords[k] = pairs[2 * k];
      curve->ycoords[k] = pairs[2 * k + 1];
    }
  return TRUE;
}

static void
vorn_curve_set_property (GObject *object, guint prop_id, const GValue *value,
                         GParamSpec *pspec)
{
  VornCurve *curve = VORN_CURVE (object);
  VornCurvePrivate *priv = get_priv (curve);

  switch (prop_id)
    {
    case PROP_NAME:
      if (g_strcmp0 (priv->name, g_value_get_string (value)) != 0)
        {
          g_free (priv->name);
          priv->name = g_value_dup_string (value);
          g_object_notify_by_pspec (object, properties[PROP_NAME]);
        }
      break;
    case PROP_POINTS:
      /* NULL comes from a "points" member that loading refused and
       * reported: the curve keeps what it has. */
      if (!g_value_get_variant (value))
        break;
      if (points_from_variant (curve, g_value_get_variant (value)))
        g_object_notify_by_pspec (object, properties[PROP_POINTS]);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
vorn_curve_get_property (GObject *object, guint prop_id, GValue *value,
                         GParamSpec *pspec)
{
  VornCurve *curve = VORN_CURVE (object);
  VornCurvePrivate *priv = get_priv (curve);

  switch (prop_id)
    {
    case PROP_NAME:
      g_value_set_string (value, priv->name);
      break;
    case PROP_POINTS:
      g_value_set_variant (value, points_to_variant (curve));
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
vorn_curve_finalize (GObject *object)
{
  VornCurve *curve = VORN_CURVE (object);
  VornCurvePrivate *priv = get_priv (curve);

  /* The cache registry is keyed by address: a later curve allocated here must
   * not be handed this one's segments. */
  vorn_curve_cache_invalidate (curve, VORN_FORMAT_SINGLE);
  vorn_curve_cache_invalidate (curve, VORN_FORMAT_DOUBLE);

  g_free (priv->name);
  g_array_unref (priv->xarray);
  g_array_unref (priv->yarray);
  curve->xcoords = nullptr;
  curve->ycoords = nullptr;

  G_OBJECT_CLASS (vorn_curve_parent_class)->finalize (object);
}

static void
vorn_curve_class_init (VornCurveClass *klass)
{
  GObjectClass *obj_class = G_OBJECT_CLASS (klass);

  obj_class->set_property = vorn_curve_set_property;
  obj_class->get_property = vorn_curve_get_property;
  obj_class->finalize = vorn_curve_finalize;

  properties[PROP_NAME] = g_param_spec_string (
      "name", "Name", "Name", nullptr,
      GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS
                   | G_PARAM_EXPLICIT_NOTIFY));
  properties[PROP_POINTS] = g_param_spec_variant (
      "points", "Points", "Coordinate points", G_VARIANT_TYPE ("ad"), nullptr,
      GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS
                   | G_PARAM_EXPLICIT_NOTIFY));

  g_object_class_install_properties (obj_class, N_PROPS, properties);
}

static void
vorn_curve_init (VornCurve *curve)
{
  VornCurvePrivate *priv = get_priv (curve);
  priv->xarray = g_array_new (FALSE, TRUE, sizeof (double));
  priv->yarray = g_array_new (FALSE, TRUE, sizeof (double));
  refresh_coords (curve);
}

/* JSON: "name" only when set, "points" as a flat array of numbers. */
static JsonNode *
vorn_curve_serialize_property (JsonSerializable *serializable,
                               const char *property_name, const GValue *value,
                               GParamSpec *pspec)
{
  if (g_strcmp0 (property_name, "points") == 0)
    {
      GVariant *v = g_value_get_variant (value);
      return v ? json_gvariant_serialize (v) : nullptr;
    }
  if (g_strcmp0 (property_name, "name") == 0 && !g_value_get_string (value))
    return nullptr;

  return json_serializable_default_serialize_property (
      serializable, property_name, value, pspec);
}

static_assert (VORN_VALUE_MAX == 1e9, "the messages below name the limit");

static void
report_points (const char *format, ...) G_GNUC_PRINTF (1, 2);

static void
report_points (const char *format, ...)
{
  /* Outside a file load json-glib's own warning says it. */
  if (!VornJsonLoadScope::active ())
    return;
  va_list args;
  va_start (args, format);
  g_autofree char *problem = g_strdup_vprintf (format, args);
  va_end (args);
  VornJsonLoadScope::report (g_error_new (VORN_ERROR, VORN_ERROR_INVALID_DATA,
                                          "Invalid member 'points' of type 'VornCurve': %s",
                                          problem));
}

/* Reads "points" straight from the JSON array into one buffer: loading
 * stays linear in the number of coordinates, and every number is checked
 * here, since the renderer works in single precision.  Returns NULL (with
 * the problem reported) for anything that is not a valid curve. */
static GVariant *
points_from_json (JsonNode *node)
{
  if (!JSON_NODE_HOLDS_ARRAY (node))
    {
      report_points ("expected an array of numbers, found %s", vorn_json_describe (node));
      return nullptr;
    }
  JsonArray *array = json_node_get_array (node);
  guint n = json_array_get_length (array);
  if (n <= 7 || (n - 8) % 6 != 0)
    {
      report_points ("%u numbers do not make a curve (2 points need 8, each further point 6)", n);
      return nullptr;
    }

  g_autofree double *values = g_new (double, n);
  for (guint i = 0; i < n; i++)
    {
      JsonNode *element = json_array_get_element (array, i);
      GType type = JSON_NODE_HOLDS_VALUE (element) ? json_node_get_value_type (element)
                                                   : G_TYPE_INVALID;
      if (type != G_TYPE_INT64 && type != G_TYPE_DOUBLE)
        {
          report_points ("element %u is %s, not a number", i, vorn_json_describe (element));
          return nullptr;
        }
      double v = json_node_get_double (element);
      if (!std::isfinite (v) || std::fabs (v) > VORN_VALUE_MAX)
        {
          char number[G_ASCII_DTOSTR_BUF_SIZE];
          report_points ("element %u is %s, outside the range -1e9 to 1e9", i,
                         std::isfinite (v) ? g_ascii_formatd (number, sizeof number, "%g", v)
                         : v > 0 ? "infinity" : "-infinity");
          return nullptr;
        }
      values[i] = v;
    }
  return g_variant_new_fixed_array (G_VARIANT_TYPE_DOUBLE, values, n, sizeof (double));
}

static gboolean
vorn_curve_deserialize_property (JsonSerializable *serializable,
                                 const char *property_name, GValue *value,
                                 GParamSpec *pspec, JsonNode *property_node)
{
  if (g_strcmp0 (property_name, "points") == 0)
    {
      GVariant *v = points_from_json (property_node);
      /* While loading a file the problem is reported already; the curve
       * then keeps what it has. */
      if (!v && !VornJsonLoadScope::active ())
        return FALSE;
      g_value_take_variant (value, v ? g_variant_ref_sink (v) : nullptr);
      return TRUE;
    }

  return json_serializable_default_deserialize_property (
      serializable, property_name, value, pspec, property_node);
}

static void
vorn_curve_serializable_init (JsonSerializableIface *iface)
{
  iface->serialize_property = vorn_curve_serialize_property;
  iface->deserialize_property = vorn_curve_deserialize_property;
}

VornCurve *
vorn_curve_new (guint count)
{
  VornCurve *curve = VORN_CURVE (g_object_new (VORN_TYPE_CURVE, nullptr));
  resize_points (curve, count);
  return curve;
}

VornCurve *
vorn_curve_duplicate (VornCurve *curve)
{
  g_return_val_if_fail (VORN_IS_CURVE (curve), nullptr);

  VornCurve *dup = vorn_curve_new (guint (std::max (curve->count, 0)));
  guint len = get_priv (curve)->xarray->len;
  if (len > 0)
    {
      memcpy (dup->xcoords, curve->xcoords, len * sizeof (double));
      memcpy (dup->ycoords, curve->ycoords, len * sizeof (double));
    }
  get_priv (dup)->name = g_strdup (get_priv (curve)->name);
  return dup;
}

static void
insert_coords (VornCurve *curve, guint index, double x, double y)
{
  VornCurvePrivate *priv = get_priv (curve);
  const double xs[3] = {x, x, x};
  const double ys[3] = {y, y, y};
  g_array_insert_vals (priv->xarray, index, xs, 3);
  g_array_insert_vals (priv->yarray, index, ys, 3);
  curve->count++;
  refresh_coords (curve);
}

int
vorn_curve_insert_point (VornCurve *curve, double xpos, double ypos)
{
  g_return_val_if_fail (curve != NULL, -1);
  g_return_val_if_fail (xpos >= 0.0, -1);
  g_return_val_if_fail (curve->count >= 2, -1);

  int s = vorn_curve_find_point (curve, xpos);
  if (s < 0)
    return -1;

  insert_coords (curve, guint (3 * s + 2), xpos, ypos);

  double *x = curve->xcoords;
  double *y = curve->ycoords;

  /* Handles that would reach across the new point are shortened along
   * their own tangent so the segments keep their direction and stay
   * monotonic in x. */
  int e = 3 * s, h = 3 * s + 1;
  if (x[h] > xpos)
    {
      y[h] = y[e] + (xpos - x[e]) * (y[h] - y[e]) / (x[h] - x[e]);
      x[h] = xpos;
    }

  e = 3 * s + 6;
  h = 3 * s + 5;
  if (x[h] < xpos)
    {
      y[h] = y[e] + (xpos - x[e]) * (y[h] - y[e]) / (x[h] - x[e]);
      x[h] = xpos;
    }

  return s + 1;
}

static double
lerp (double a, double b, double t)
{
  return a + (b - a) * t;
}

int
vorn_curve_split_segment (VornCurve *curve, int segment, double t)
{
  g_return_val_if_fail (curve != NULL, -1);
  g_return_val_if_fail (curve->count >= 2, -1);
  g_return_val_if_fail (segment >= 0 && segment < curve->count - 1, -1);
  g_return_val_if_fail (t > 0.0 && t < 1.0, -1);

  /* de Casteljau on both axes: p01, p12, p23, then their midpoints q0, q1,
   * then the new point r. */
  const guint k = guint (3 * segment);
  double q[2][3], r[2], outer[2][2];
  for (int axis = 0; axis < 2; axis++)
    {
      const double *c = axis == 0 ? curve->xcoords : curve->ycoords;
      const double p01 = lerp (c[k], c[k + 1], t), p12 = lerp (c[k + 1], c[k + 2], t);
      const double p23 = lerp (c[k + 2], c[k + 3], t);
      q[axis][0] = lerp (p01, p12, t);
      q[axis][2] = lerp (p12, p23, t);
      r[axis] = lerp (q[axis][0], q[axis][2], t);
      outer[axis][0] = p01;
      outer[axis][1] = p23;
    }
  insert_coords (curve, k + 2, r[0], r[1]);
  for (int axis = 0; axis < 2; axis++)
    {
      double *c = axis == 0 ? curve->xcoords : curve->ycoords;
      c[k + 1] = outer[axis][0]; /* right handle of the segment's start */
      c[k + 2] = q[axis][0];     /* left handle of the new point */
      c[k + 4] = q[axis][2];     /* its right handle */
      c[k + 5] = outer[axis][1]; /* left handle of the segment's end */
    }
  return segment + 1;
}

void
vorn_curve_eval_segment (VornCurve *curve, int segment, double t, double *x, double *y)
{
  g_return_if_fail (curve != NULL);
  g_return_if_fail (segment >= 0 && segment < curve->count - 1);

  const int k = 3 * segment;
  const double u = 1.0 - t;
  const double b0 = u * u * u, b1 = 3 * u * u * t, b2 = 3 * u * t * t, b3 = t * t * t;
  const double *xs = curve->xcoords + k, *ys = curve->ycoords + k;
  *x = b0 * xs[0] + b1 * xs[1] + b2 * xs[2] + b3 * xs[3];
  *y = b0 * ys[0] + b1 * ys[1] + b2 * ys[2] + b3 * ys[3];
}

static double
distance_at (VornCurve *curve, int segment, double t, double x, double y)
{
  double cx, cy;
  vorn_curve_eval_segment (curve, segment, t, &cx, &cy);
  return std::hypot (cx - x, cy - y);
}

double
vorn_curve_nearest (VornCurve *curve, double x, double y, int *segment, double *t)
{
  g_return_val_if_fail (curve != NULL, -1.0);
  if (curve->count < 2)
    return -1.0;

  /* Coarse samples find the basin of the nearest point, a golden-section
   * search narrows it: a cubic segment has at most a few local minima of
   * distance, far fewer than the samples. */
  constexpr int SAMPLES = 64;
  int best_s = 0;
  double best_t = 0.0, best_d = distance_at (curve, 0, 0.0, x, y);
  for (int s = 0; s < curve->count - 1; s++)
    for (int i = 0; i <= SAMPLES; i++)
      {
        const double u = double (i) / SAMPLES;
        const double d = distance_at (curve, s, u, x, y);
        if (d < best_d)
          {
            best_d = d;
            best_s = s;
            best_t = u;
          }
      }
  double lo = std::max (best_t - 1.0 / SAMPLES, 0.0), hi = std::min (best_t + 1.0 / SAMPLES, 1.0);
  const double ratio = (std::sqrt (5.0) - 1.0) / 2.0;
  for (int i = 0; i < 60; i++)
    {
      const double a = hi - ratio * (hi - lo), b = lo + ratio * (hi - lo);
      if (distance_at (curve, best_s, a, x, y) < distance_at (curve, best_s, b, x, y))
        hi = b;
      else
        lo = a;
    }
  const double refined = (lo + hi) / 2.0;
  const double d = distance_at (curve, best_s, refined, x, y);
  if (d < best_d)
    {
      best_d = d;
      best_t = refined;
    }
  if (segment)
    *segment = best_s;
  if (t)
    *t = best_t;
  return best_d;
}

void
vorn_curve_insert_point_by_index (VornCurve *curve, int point)
{
  g_return_if_fail (curve != NULL);
  g_return_if_fail (point >= 0 && point < curve->count);

  insert_coords (curve, point > 0 ? guint (3 * point - 1) : 0u, 0.0, 0.0);
}

void
vorn_curve_delete_point (VornCurve *curve, int point)
{
  g_return_if_fail (curve != NULL);
  g_return_if_fail (curve->count > 2);
  /* The last point is refused with the same message as the first. */
  if (!(point > 0 && point < curve->count - 1))
    {
      g_return_if_fail_warning (nullptr, G_STRFUNC,
                                "point > 0 && point < curve->count");
      return;
    }

  VornCurvePrivate *priv = get_priv (curve);
  g_array_remove_range (priv->xarray, guint (3 * point - 1), 3);
  g_array_remove_range (priv->yarray, guint (3 * point - 1), 3);
  curve->count--;
  refresh_coords (curve);
}

void
vorn_curve_set_point (VornCurve *curve, int point, double left_x,
                      double left_y, double x, double y, double right_x,
                      double right_y)
{
  g_return_if_fail (curve != NULL);
  g_return_if_fail (point >= 0);
  g_return_if_fail (point < curve->count);

  int k = 3 * point;
  if (point > 0)
    {
      curve->xcoords[k - 1] = left_x;
      curve->ycoords[k - 1] = left_y;
    }
  curve->xcoords[k] = x;
  curve->ycoords[k] = y;
  if (point < curve->count - 1)
    {
      curve->xcoords[k + 1] = right_x;
      curve->ycoords[k + 1] = right_y;
    }
}

void
vorn_curve_set_start_point (VornCurve *curve, double x, double y,
                            double right_x, double right_y)
{
  g_return_if_fail (curve != NULL);
  g_return_if_fail (curve->count >= 2);

  curve->xcoords[0] = x;
  curve->ycoords[0] = y;
  curve->xcoords[1] = right_x;
  curve->ycoords[1] = right_y;
}

void
vorn_curve_set_end_point (VornCurve *curve, double left_x, double left_y,
                          double x, double y)
{
  g_return_if_fail (curve != NULL);
  g_return_if_fail (curve->count >= 2);

  int last = VORN_CURVE_COORD_LENGTH (curve) - 1;
  curve->xcoords[last - 1] = left_x;
  curve->ycoords[last - 1] = left_y;
  curve->xcoords[last] = x;
  curve->ycoords[last] = y;
}

double
vorn_curve_get_width (VornCurve *curve)
{
  g_return_val_if_fail (curve != NULL, 0.0);
  g_return_val_if_fail (curve->count != 0, 0.0);

  return curve->xcoords[VORN_CURVE_COORD_LENGTH (curve) - 1]
         - curve->xcoords[0];
}

int
vorn_curve_find_point (VornCurve *curve, double x)
{
  g_return_val_if_fail (curve != NULL, -1);

  if (curve->count <= 0 || x < curve->xcoords[0])
    return -1;

  int lo = 0, hi = curve->count - 1;
  while (lo <= hi)
    {
      int mid = (lo + hi) / 2;
      double ex = curve->xcoords[3 * mid];
      if (x > ex)
        lo = mid + 1;
      else if (x < ex)
        hi = mid - 1;
      else
        return std::max (mid, 1) - 1;
    }

  if (lo >= curve->count)
    return -1;
  return lo - 1;
}
