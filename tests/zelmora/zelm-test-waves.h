/* zelm-test-waves.h: waves, instruments and node look-ups for tests, without
 * a display (the model tests and the GUI tests share them) */
#pragma once

#include "vorn-file.h"
#include "vorn-wave.h"

#include <string>
#include <vector>

namespace zelm_test {

/* Returns: (transfer full): a wave of @points points whose curve takes its
 * 3 * @points - 2 coordinates from @xs and @ys. */
VornWave *make_wave (const double *xs, const double *ys, guint points);

/* Gives coordinate @index of @wave a morph curve (creating the morph when it
 * has none); @xy holds x, y of each of the curve's coordinates in turn. */
void add_morph (VornWave *wave, guint index, gboolean horizontal, const std::vector<double> &xy);

/* Every number of @wave's curve and morph in order, for exact comparison. */
std::vector<double> wave_numbers (VornWave *wave);

/* @curve rendered afresh at 1,000 evenly spaced points of one period, in
 * double precision. */
std::vector<double> curve_samples (VornCurve *curve);

/* Returns: (transfer none): the first node named @name below @root (depth
 * first, @root itself included), or NULL. */
VornNode *find_node (VornNode *root, const char *name);

/* Returns: (transfer full): the instrument bank compiled into the program
 * (bank.vvi), or NULL when it cannot be read. */
VornFile *load_bank ();

/* The name of @node ("" when it has none). */
std::string name_of (VornNode *node);

/* Returns: (transfer full): the nodes named in @names, separated by commas,
 * each as find_node() finds it below @root (NULL for an unknown name); free
 * with g_ptr_array_unref. */
GPtrArray *named_nodes (VornNode *root, const char *names);

} // namespace zelm_test
