/* zelm-widget-geometry.cpp: the scale's rows and boxes, the scope's
 * columns */
#include "zelm-widget-geometry.h"

#include "zelm-scale-value.h"

#include <algorithm>
#include <cmath>

#define EXP_BOXES 54.0  /* box width = (track - circle) / 54 */
#define EXP_GAPS  108.0 /* gap width = (track - circle) / 108 */

void
zelm_scale_layout (ZelmScaleLayout *l, double width, double height, double margin,
                   double slider_portion, double text_h)
{
  const double m = margin, t = text_h;
  const double r = height - 4 * m - (t + 2 * m);

  l->m = m;
  l->slider_y = m;
  l->s = slider_portion * r;
  l->coeff_y = 2 * m + l->s;
  l->k = t + 2 * m;
  l->exp_y = 3 * m + l->k + l->s;
  l->x = r - l->s;
  l->b = std::max ({ l->x / 2, l->s / 2, l->k });
  l->track_x = l->b + 2 * m;
  l->track_w = width - 2 * (l->b + 2 * m);
  l->centre = l->track_x + l->track_w / 2;
  l->box_w = (l->track_w - l->x) / EXP_BOXES;
  l->box_gap = (l->track_w - l->x) / EXP_GAPS;
}

int
zelm_scale_row_at (const ZelmScaleLayout *l, double y)
{
  if (y >= l->slider_y && y < l->slider_y + l->s)
    return 1;
  if (y >= l->coeff_y && y < l->coeff_y + l->k)
    return 2;
  if (y >= l->exp_y && y < l->exp_y + l->x)
    return 3;
  return 0;
}

double
zelm_scale_exp_box_left (const ZelmScaleLayout *l, int pos)
{
  const double inner = l->x / 2 + l->box_gap + (std::abs (pos) - 1) * (l->box_w + l->box_gap);
  return pos > 0 ? l->centre + inner : l->centre - inner - l->box_w;
}

int
zelm_scale_exp_box_at (const ZelmScaleLayout *l, double px)
{
  px = std::clamp (px, l->track_x, l->track_x + l->track_w);
  const double h = (l->x + l->m) / 2, step = l->box_w + l->box_gap;
  int e = 0;
  if (px > l->centre + h)
    e = int (std::trunc ((px - l->centre - h) / step + 1));
  else if (px < l->centre - h)
    e = int (std::trunc ((px - l->centre + h) / step - 1));
  return std::clamp (e, -ZELM_SCALE_EXP_LIMIT, ZELM_SCALE_EXP_LIMIT);
}

int
zelm_wave_scope_length (int width, double x_zoom)
{
  return int (width / x_zoom + 1.5);
}

void
zelm_wave_scope_columns (int count, int offset, double x_zoom, int width, int *left, int *right)
{
  *left = int (offset / x_zoom + 0.5);
  *right = std::min (width, int (*left + count / x_zoom + 0.5));
}
