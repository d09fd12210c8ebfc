/* test-widget-geometry.cpp: the scope's length and columns */
#include "zelm-widget-geometry.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

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
