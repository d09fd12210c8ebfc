/* zelm-scale-value.cpp: the scale slider's value arithmetic, free of any
 * display: what each row's drag, the exponent boxes, the sign and the keys
 * make of a value */
#include "zelm-scale-value.h"

#include <gdk/gdkkeysyms.h>

#include <cmath>

/* v × 10^n, dividing for negative n so that 1.25e-3 comes out as the double
 * nearest that decimal rather than one ulp off. */
static double
mul_pow10 (double v, int n)
{
  /* Beyond 10^±300 the power itself would overflow: go in steps. */
  if (n > 300)
    return mul_pow10 (v * 1e300, n - 300);
  if (n < -300)
    return mul_pow10 (v / 1e300, n + 300);
  return n >= 0 ? v * std::pow (10.0, n) : v / std::pow (10.0, -n);
}

/* Splits @v into coefficient (1 <= |c| < 10) and exponent; 0 and non-finite
 * values are their own coefficient with exponent 0. */
void
zelm_scale_decompose (double v, double *coeff, int *exp)
{
  if (v == 0.0 || !std::isfinite (v))
    {
      *coeff = v;
      *exp = 0;
      return;
    }
  int e = int (std::floor (std::log10 (std::fabs (v))));
  double c = mul_pow10 (v, -e);
  /* log10 rounds near exact powers of ten. */
  if (std::fabs (c) >= 10.0)
    c = mul_pow10 (v, -(++e));
  else if (std::fabs (c) < 1.0)
    c = mul_pow10 (v, -(--e));
  *coeff = c;
  *exp = e;
}

static int
exponent_of (double v)
{
  double c;
  int e;
  zelm_scale_decompose (v, &c, &e);
  return e;
}

/* @v rounded to a whole multiple of 10^@n, halves away from zero. */
static double
round_to_pow10 (double v, int n)
{
  return mul_pow10 (std::round (mul_pow10 (v, -n)), n);
}

/* Rounds to four significant digits when @round is set (Control held). */
static double
rounded (double v, gboolean round)
{
  if (!round || !std::isfinite (v))
    return v;
  return round_to_pow10 (v, v == 0.0 ? -3 : exponent_of (v) - 3);
}

/* ---- the value arithmetic, free of any display -------------------------- */

double
zelm_scale_fine_value (double start, double dx, double track_w, double sens, gboolean round)
{
  double step = 9.0;
  if (start != 0.0 && std::isfinite (start))
    {
      int e = exponent_of (start);
      step = std::pow (10.0, e + 1) - std::pow (10.0, e);
    }
  return rounded (start + step * dx * sens / track_w, round);
}

double
zelm_scale_coeff_value (double start, double px, double track_w, gboolean round)
{
  if (!(track_w > 0))
    return start;
  /* A negative value's bar runs the same way: its magnitude grows to the
   * right. */
  if (start < 0)
    return -zelm_scale_coeff_value (-start, px, track_w, round);
  const double p = std::trunc (px);
  double r = std::fmod (p, track_w);
  if (px < 0)
    r += track_w;
  double c = 10 * r / track_w;
  if (c > 0 && c < 1)
    c = 1;

  const int n = int (std::floor (px / track_w));
  int e = (start == 0.0 || !std::isfinite (start)) ? 0 : exponent_of (start);
  e += n;
  return rounded (mul_pow10 (c, e), round);
}

double
zelm_scale_exp_value (double value, int exp, gboolean press)
{
  double c;
  int old_e;
  zelm_scale_decompose (value, &c, &old_e);
  if (exp == 0 && press && old_e == 0)
    c = 0;
  return mul_pow10 (c, CLAMP (exp, -ZELM_SCALE_EXP_LIMIT, ZELM_SCALE_EXP_LIMIT));
}

double
zelm_scale_step_exponent (double value, int dir)
{
  if (value == 0.0 || std::isnan (value))
    return value;
  if (std::isinf (value))
    return dir > 0 ? value * 10 : value * 0.1;
  double c;
  int e;
  zelm_scale_decompose (value, &c, &e);
  /* Never past ±18, but a value already beyond may come back. */
  if ((dir > 0 && e >= ZELM_SCALE_EXP_LIMIT) || (dir < 0 && e <= -ZELM_SCALE_EXP_LIMIT))
    return value;
  return mul_pow10 (c, e + dir);
}

double
zelm_scale_key_step (double value, int place, int dir)
{
  if (!std::isfinite (value))
    return value;
  double c;
  int e;
  zelm_scale_decompose (value, &c, &e);
  if (std::fabs (c) == 1.0 && (c > 0) != (dir > 0))
    e--;
  const int n = e + place;
  return mul_pow10 (std::round (mul_pow10 (value, -n)) + dir, n);
}

double
zelm_scale_sign_value (double value, gboolean positive, double min, double max)
{
  if (positive ? !(value < 0) : !(value > 0))
    return value;
  return -value >= min && -value <= max ? -value : value;
}

double
zelm_scale_clamp (double v, double min, double max)
{
  if (v > max)
    return max;
  if (v <= min)
    return min;
  return v;
}

gboolean
zelm_scale_same_value (double a, double b)
{
  return a == b || (std::isnan (a) && std::isnan (b));
}

gboolean
zelm_scale_key_value (guint keyval, double value, double min, double max, double *result,
                      gboolean *edit)
{
  g_return_val_if_fail (result != nullptr && edit != nullptr, FALSE);
  int place = 0, dir = 0;
  double v;
  switch (keyval)
    {
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
      place = -2, dir = 1;
      break;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
      place = -2, dir = -1;
      break;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
      place = -1, dir = 1;
      break;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
      place = -1, dir = -1;
      break;
    case GDK_KEY_Page_Up:
    case GDK_KEY_KP_Page_Up:
      *result = zelm_scale_clamp (zelm_scale_step_exponent (value, 1), min, max);
      *edit = TRUE;
      return TRUE;
    case GDK_KEY_Page_Down:
    case GDK_KEY_KP_Page_Down:
      *result = zelm_scale_clamp (zelm_scale_step_exponent (value, -1), min, max);
      *edit = TRUE;
      return TRUE;
    case GDK_KEY_plus:
    case GDK_KEY_equal: /* "+" without Shift */
    case GDK_KEY_KP_Add:
    case GDK_KEY_minus:
    case GDK_KEY_KP_Subtract:
      /* A sign that changes nothing is no edit. */
      v = zelm_scale_sign_value (value, keyval != GDK_KEY_minus && keyval != GDK_KEY_KP_Subtract,
                                 min, max);
      *result = v;
      *edit = !zelm_scale_same_value (v, value);
      return TRUE;
    default:
      return FALSE;
    }
  /* Digit steps need a finite value to step from. */
  *edit = std::isfinite (value);
  *result = *edit ? zelm_scale_clamp (zelm_scale_key_step (value, place, dir), min, max) : value;
  return TRUE;
}
