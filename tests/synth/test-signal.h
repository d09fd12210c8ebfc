/* test-signal.h: level, pitch and extent of rendered sample streams, shared
 * by the renderer, driver and tool tests */
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace signal_test {

/* One speaker of interleaved frames. */
inline std::vector<float>
channel (const std::vector<float> &frames, int speaker, int speakers = 2)
{
  std::vector<float> out;
  for (size_t i = size_t (speaker); i < frames.size (); i += size_t (speakers))
    out.push_back (frames[i]);
  return out;
}

inline float
peak (const std::vector<float> &v, size_t from = 0, size_t to = SIZE_MAX)
{
  float m = 0;
  for (size_t i = from; i < std::min (to, v.size ()); i++)
    m = std::max (m, std::fabs (v[i]));
  return m;
}

/* Frequency from the interpolated upward zero crossings of x[from, to). */
inline double
frequency (const std::vector<float> &x, double rate, size_t from, size_t to = SIZE_MAX)
{
  double first = -1, last = -1;
  int count = 0;
  for (size_t i = from + 1; i < std::min (to, x.size ()); i++)
    if (x[i - 1] < 0 && x[i] >= 0)
      {
        last = double (i - 1) + double (-x[i - 1]) / double (x[i] - x[i - 1]);
        first = first < 0 ? last : first;
        count++;
      }
  return count > 1 ? (count - 1) / (last - first) * rate : 0.0;
}

/* Index of the first sample louder than @threshold, or the size. */
inline size_t
first_sound (const std::vector<float> &x, float threshold = 1e-6f)
{
  for (size_t i = 0; i < x.size (); i++)
    if (std::fabs (x[i]) > threshold)
      return i;
  return x.size ();
}

} // namespace signal_test
