/* zelm-test-waves.cpp: waves, instruments and node look-ups for tests */
#include "zelm-test-waves.h"

namespace zelm_test {

VornWave *
make_wave (const double *xs, const double *ys, guint points)
{
  VornWave *wave = vorn_wave_new (points);
  for (int i = 0; i < VORN_CURVE_COORD_LENGTH (wave->curve); i++)
    wave->curve->xcoords[i] = xs[i], wave->curve->ycoords[i] = ys[i];
  return wave;
}

void
add_morph (VornWave *wave, guint index, gboolean horizontal, const std::vector<double> &xy)
{
  g_autoptr (VornCurve) curve = vorn_curve_new (guint (xy.size () / 2 + 2) / 3);
  for (size_t i = 0; i < xy.size () / 2; i++)
    curve->xcoords[i] = xy[2 * i], curve->ycoords[i] = xy[2 * i + 1];
  if (!wave->morph)
    wave->morph = vorn_morph_new (wave->curve);
  vorn_morph_set_point_curve (wave->morph, index, horizontal, curve);
}

std::vector<double>
wave_numbers (VornWave *wave)
{
  std::vector<double> out;
  VornCurve *c = wave->curve;
  for (int i = 0; i < VORN_CURVE_COORD_LENGTH (c); i++)
    out.insert (out.end (), { c->xcoords[i], c->ycoords[i] });
  out.push_back (wave->morph ? 1000.0 + wave->morph->count : -1.0);
  for (guint e = 0; wave->morph && e < wave->morph->count; e++)
    {
      const VornMorphPoint &p = wave->morph->points[e];
      out.insert (out.end (), { double (p.index), double (p.horizontal) });
      for (int i = 0; i < VORN_CURVE_COORD_LENGTH (p.curve); i++)
        out.insert (out.end (), { p.curve->xcoords[i], p.curve->ycoords[i] });
    }
  return out;
}

VornNode *
find_node (VornNode *root, const char *name)
{
  g_autofree char *own = nullptr;
  g_object_get (root, "name", &own, nullptr);
  if (g_strcmp0 (own, name) == 0)
    return root;
  for (VornNode *c = root->children; c; c = c->next)
    if (VornNode *found = find_node (c, name))
      return found;
  return nullptr;
}

std::string
name_of (VornNode *node)
{
  g_autofree char *name = nullptr;
  g_object_get (node, "name", &name, nullptr);
  return name ? name : "";
}

std::vector<double>
curve_samples (VornCurve *curve)
{
  std::vector<double> out (1000);
  vorn_curve_cache_invalidate (curve, VORN_FORMAT_DOUBLE);
  g_autoptr (VornCurveCache) cache = vorn_curve_cache_get (curve, VORN_FORMAT_DOUBLE);
  vorn_curve_cache_render (cache, out.data (), 1000, 1.0, 0.0);
  return out;
}

VornFile *
load_bank ()
{
  g_autoptr (GBytes) bytes = g_resources_lookup_data ("/org/zelmora/Zelmora/bank.vvi",
                                                      G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (!bytes)
    return nullptr;
  gsize size = 0;
  const char *data = static_cast<const char *> (g_bytes_get_data (bytes, &size));
  return vorn_file_load_from_data (data, guint32 (size), nullptr);
}

GPtrArray *
named_nodes (VornNode *root, const char *names)
{
  GPtrArray *nodes = g_ptr_array_new ();
  g_auto (GStrv) parts = g_strsplit (names, ",", -1);
  for (char **p = parts; *p; p++)
    g_ptr_array_add (nodes, find_node (root, *p));
  return nodes;
}

} // namespace zelm_test
