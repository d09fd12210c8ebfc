/* zelm-morph-position.cpp: scrubbing, snapping and animating the morph
 * position, free of widgets */
#include "zelm-morph-position.h"

#include <cmath>

ZelmMorphStrip
zelm_morph_strip_at (ZelmMorphStrip active, double x, double y)
{
  if (x < ZELM_MORPH_STRIP_BREADTH && y > ZELM_MORPH_STRIP_BREADTH)
    return ZELM_MORPH_STRIP_LEFT;
  if (y < ZELM_MORPH_STRIP_BREADTH && x > ZELM_MORPH_STRIP_BREADTH)
    return ZELM_MORPH_STRIP_TOP;
  return active;
}

gboolean
zelm_morph_strip_grabs (ZelmMorphStrip active, double x, double y)
{
  return (active == ZELM_MORPH_STRIP_LEFT ? x : y) < ZELM_MORPH_STRIP_BREADTH;
}

ZelmCurveView
zelm_morph_strip_view (ZelmMorphStrip strip, int width, int height)
{
  ZelmCurveView view;
  zelm_curve_view_init (&view);
  view.width = width;
  view.height = height;
  view.transposed = strip == ZELM_MORPH_STRIP_LEFT;
  view.y_ofs = 0.0;
  return view;
}

gboolean
zelm_morph_strip_position (ZelmMorphStrip strip, int width, int height, double x, double y,
                           double *pos)
{
  const int size = strip == ZELM_MORPH_STRIP_LEFT ? height : width;
  if (size <= 2 * ZELM_CURVE_VIEW_MARGIN)
    return FALSE;
  const ZelmCurveView view = zelm_morph_strip_view (strip, width, height);
  double along, unused;
  zelm_curve_view_swap (&view, x, y, &along, &unused);
  zelm_curve_view_from_canvas (&view, along, unused, &along, &unused);
  *pos = CLAMP (along, 0.0, 1.0);
  return TRUE;
}

double
zelm_morph_nearest_key (const VornMorph *morph, gboolean horizontal, double pos)
{
  double best = 0.0, best_d = 2.0;
  for (guint e = 0; morph && e < morph->count; e++)
    {
      const VornMorphPoint &entry = morph->points[e];
      if (bool (entry.horizontal) != bool (horizontal) || !entry.curve)
        continue;
      for (int i = 0; i < VORN_CURVE_COORD_LENGTH (entry.curve); i++)
        {
          const double d = std::fabs (entry.curve->xcoords[i] - pos);
          if (d < best_d)
            {
              best = entry.curve->xcoords[i];
              best_d = d;
            }
        }
    }
  return best;
}

void
zelm_morph_anim_advance (ZelmMorphAnim *anim, double rate, gint64 elapsed_us,
                         gboolean ping_pong)
{
  /* Whole back-and-forth rounds change nothing; dropping them keeps a long
   * stall (a suspended machine) from spinning below. */
  const double advance = std::fmod (rate * double (elapsed_us) * 0.000001, 2.0);
  double pos = anim->pos + (anim->backward ? -advance : advance);
  for (int round = 0; round < 4 && (pos > 1.0 || pos < 0.0); round++)
    if (pos > 1.0)
      {
        if (ping_pong)
          {
            anim->backward = TRUE;
            pos = 2.0 - pos;
          }
        else
          pos -= 1.0;
      }
    else
      {
        if (ping_pong)
          {
            anim->backward = FALSE;
            pos = -pos;
          }
        else
          pos += 1.0;
      }
  anim->pos = CLAMP (pos, 0.0, 1.0);
}
