/* test-widget-geometry.cpp: the scale's rows and exponent boxes, the
 * scope's length and columns */
#include "zelm-scale-value.h"
#include "zelm-widget-geometry.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

/* A 400 × 100 scale, margin 4, half the rows' height to the slider, text
 * 14 high: the text row 22 high, the other two 31 each, margins between;
 * buttons as wide as the text row is high; the track between them. */
TEST (ScaleLayout, RowsButtonsAndBoxes)
{
  ZelmScaleLayout l;
  zelm_scale_layout (&l, 400, 100, 4, 0.5, 14);
  EXPECT_EQ (std::tuple (l.slider_y, l.s, l.coeff_y, l.k, l.exp_y, l.x),
             std::tuple (4.0, 31.0, 39.0, 22.0, 65.0, 31.0));
  EXPECT_EQ (std::tuple (l.b, l.track_x, l.track_w, l.centre), std::tuple (22.0, 30.0, 340.0, 200.0));

  static const struct {
    double y;
    int row;
  } rows[] = { { 3.9, 0 }, { 4, 1 }, { 34.9, 1 }, { 35, 0 }, { 39, 2 }, { 60.9, 2 },
               { 61, 0 }, { 65, 3 }, { 95.9, 3 }, { 96, 0 } };
  for (const auto &r : rows)
    EXPECT_EQ (zelm_scale_row_at (&l, r.y), r.row) << r.y;

  /* Every box is found where it is drawn, the circle between the first
   * two, and the ends of the track are the last boxes. */
  for (int pos = 1; pos <= ZELM_SCALE_EXP_LIMIT; pos++)
    for (int side : { 1, -1 })
      {
        const double left = zelm_scale_exp_box_left (&l, side * pos);
        EXPECT_EQ (zelm_scale_exp_box_at (&l, left + l.box_w / 2), side * pos);
        EXPECT_LT (left + l.box_w, l.track_x + l.track_w + 0.01);
        EXPECT_GT (left, l.track_x - 0.01);
      }
  EXPECT_GT (zelm_scale_exp_box_left (&l, 1), l.centre + l.x / 2);
  EXPECT_LT (zelm_scale_exp_box_left (&l, -1) + l.box_w, l.centre - l.x / 2);
  EXPECT_EQ (zelm_scale_exp_box_at (&l, l.centre), 0);
  EXPECT_EQ (zelm_scale_exp_box_at (&l, 1000), ZELM_SCALE_EXP_LIMIT);
  EXPECT_EQ (zelm_scale_exp_box_at (&l, -5), -ZELM_SCALE_EXP_LIMIT);
}

/* One sample per x-zoom pixels, both edges included; the valid samples
 * from their offset, cut at the right edge. */
TEST (ScopeColumns, LengthAndColumns)
{
  EXPECT_EQ (zelm_wave_scope_length (801, 1.0), 802);
  EXPECT_EQ (zelm_wave_scope_length (801, 2.0), 402);
  EXPECT_EQ (zelm_wave_scope_length (400, 3.0), 134);
  static const struct {
    int count, offset;
    double x_zoom;
    int left, right;
  } cases[] = {
    { 0, 0, 1.0, 0, 0 },       { 802, 0, 1.0, 0, 801 },  { 200, 100, 1.0, 100, 300 },
    { 300, 600, 1.0, 600, 801 }, { 100, 50, 2.0, 25, 75 }, { 10, 5, 3.0, 2, 5 },
  };
  for (const auto &c : cases)
    {
      int left = -1, right = -1;
      zelm_wave_scope_columns (c.count, c.offset, c.x_zoom, 801, &left, &right);
      EXPECT_EQ (std::pair (left, right), std::pair (c.left, c.right))
        << c.count << " at " << c.offset << " x" << c.x_zoom;
    }
}

} // namespace
