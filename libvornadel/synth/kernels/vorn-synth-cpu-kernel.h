/* vorn-synth-cpu-kernel.h: the CPU renderer's render call, written once over
 * the queue sample type, the vector width and the output layout.
 *
 * Each instruction set compiles this header in its own translation unit with
 * its own code generation flags.  Everything here has internal linkage, so
 * the linker can never merge a copy built for AVX2 into the SSE2 variant.
 * The arithmetic (conversion to float, absolute value, maximum) is exact, so
 * every variant of one format writes the same bits. */
#pragma once

#include "vorn-kernel-lanes.h"
#include "vorn-synth-cpu-private.h"

#include <cstring>

namespace {
namespace synth_kernel {

using kernel_lanes::value_of;

constexpr guint FRAG = VORN_FRAGMENT_SIZE;

/* Largest speaker count a synthesizer accepts. */
constexpr guint MAX_SPEAKERS = 256;

/* W samples of T per vector, and the float and integer vectors of the same
 * lane count that hold them after conversion. */
template <typename T, int BYTES>
struct Lanes
{
  static constexpr int W = BYTES / int (sizeof (T));
  typedef T VT __attribute__ ((vector_size (BYTES)));
  typedef float VF __attribute__ ((vector_size (W * 4)));
  typedef guint32 VU __attribute__ ((vector_size (W * 4)));
};

inline float
abs_bits (float x)
{
  guint32 u;
  memcpy (&u, &x, sizeof u);
  u &= 0x7fffffffu;
  memcpy (&x, &u, sizeof x);
  return x;
}

/* Converts count samples to float and returns the largest absolute value
 * among them (0 for none).  The sign is cleared on the bits, which is what
 * fabs does, so the vector and the scalar tail agree. */
template <typename T, int BYTES>
inline float
convert (const T *src, float *dst, guint count)
{
  using L = Lanes<T, BYTES>;
  constexpr guint W = guint (L::W);
  float peak = 0.0f;
  guint i = 0;

  if (count >= W)
    {
      typename L::VF vmax = {};
      for (; i + W <= count; i += W)
        {
          typename L::VT v;
          memcpy (&v, src + i, sizeof v);
          typename L::VF f = __builtin_convertvector (v, typename L::VF);
          memcpy (dst + i, &f, sizeof f);
          typename L::VF a = (typename L::VF) ((typename L::VU) f & 0x7fffffffu);
          vmax = a > vmax ? a : vmax;
        }
      for (guint l = 0; l < W; l++)
        peak = vmax[l] > peak ? vmax[l] : peak;
    }
  for (; i < count; i++)
    {
      const float f = float (src[i]);
      dst[i] = f;
      const float a = abs_bits (f);
      peak = a > peak ? a : peak;
    }
  return peak;
}

inline float
fill (float *dst, guint count, float value)
{
  for (guint i = 0; i < count; i++)
    dst[i] = value;
  return count ? abs_bits (value) : 0.0f;
}

/* Copies count samples from fragment position pos of every speaker output
 * to the frames starting at done, raising peaks[speaker]. */
template <typename T, int BYTES, bool INTER, typename Out>
inline void
deliver (const VornSynthCpuPrivate *priv, guint speakers, guint pos, guint count, Out out,
         guint done, float *peaks)
{
  alignas (VORN_ALIGNMENT) float tmp[FRAG];
  const VornAttribVal *recs = priv->base->rt->speaker_outputs;

  for (guint s = 0; s < speakers; s++)
    {
      float *dst;
      if constexpr (INTER)
        dst = tmp;
      else
        dst = out[s] + done;

      float peak;
      if (recs && s < priv->rt->out_count)
        {
          const VornAttribVal *rec = recs + s;
          if (rec->state == VORN_ATTRIB_STATE_DYNAMIC)
            peak = convert<T, BYTES> (static_cast<const T *> (rec->buffer) + pos, dst, count);
          else
            peak = fill (dst, count, float (value_of<T> (rec)));
        }
      else
        peak = fill (dst, count, 0.0f);

      if constexpr (INTER)
        {
          float *o = out + gsize (done) * speakers + s;
          for (guint i = 0; i < count; i++)
            o[gsize (i) * speakers] = tmp[i];
        }
      peaks[s] = peak > peaks[s] ? peak : peaks[s];
    }
}

template <bool INTER, typename Out>
inline void
silence (Out out, guint speakers, guint frames)
{
  if constexpr (INTER)
    memset (out, 0, sizeof (float) * frames * speakers);
  else
    for (guint s = 0; s < speakers; s++)
      memset (out[s], 0, sizeof (float) * frames);
}

/* One render call: frames frames from the leftover of the last fragment and
 * from new fragments of the master queue.  Messages are applied before the
 * first new fragment of the call, never while leftover samples remain; the
 * call's note events wait for the fragments they start in. */
template <typename T, int BYTES, bool INTER, typename Out>
inline void
render (VornSynth *synth, Out out, guint frames)
{
  VornSynthCpuPrivate *priv = vorn_synth_cpu_get_private (synth);
  VornSynthPrivate *base = priv->base;
  const guint speakers = MIN (priv->rt->speakers, MAX_SPEAKERS);

  vorn_synth_cpu_render_enter (priv);

  if (!priv->rt->voices || !base->rt->master)
    {
      base->rt->events = nullptr;
      base->rt->n_events = 0;
      /* Not started: nothing to play.  Before the first start the buffers
       * are sized by the speaker property. */
      silence<INTER> (out, speakers ? speakers : MIN (base->speaker_count, MAX_SPEAKERS), frames);
      return;
    }

  float peaks[MAX_SPEAKERS];
  for (guint s = 0; s < speakers; s++)
    peaks[s] = 0.0f;

  const guint64 call_time = __atomic_load_n (&base->sample_time, __ATOMIC_RELAXED);
  vorn_synth_cpu_take_events (priv, call_time, frames);
  guint64 frag_time = call_time + priv->rt->leftover;

  guint done = 0;
  if (priv->rt->leftover == 0)
    {
      vorn_synth_cpu_process_messages (priv);
      if (frames == 0)
        {
          vorn_synth_cpu_advance_time (priv, 0);
          vorn_synth_render_wake (base);
          return;
        }
    }
  else
    {
      const guint m = MIN (priv->rt->leftover, frames);
      deliver<T, BYTES, INTER> (priv, speakers, FRAG - priv->rt->leftover, m, out, 0, peaks);
      priv->rt->leftover -= m;
      done = m;
      if (done == frames)
        {
          vorn_synth_cpu_advance_time (priv, frames);
          return;
        }
      vorn_synth_cpu_process_messages (priv);
    }

  bool detached = false;
  while (done < frames)
    {
      vorn_synth_cpu_apply_events (priv, frag_time);
      frag_time += FRAG;
      /* Messages may have rebuilt the master, so it is read per fragment. */
      if (!vorn_queue_render (base->rt->master))
        detached = true;
      const guint c = MIN (FRAG, frames - done);
      deliver<T, BYTES, INTER> (priv, speakers, 0, c, out, done, peaks);
      done += c;
      if (c < FRAG)
        priv->rt->leftover = FRAG - c;
    }

  if (g_atomic_int_get (&base->peak_enable))
    for (guint s = 0; s < speakers; s++)
      vorn_synth_cpu_store_peak (priv, s, peaks[s]);

  if (detached)
    vorn_synth_cpu_recycle_voices (priv);

  base->rt->master->start_time = vorn_synth_cpu_advance_time (priv, frames);
  vorn_synth_render_wake (base);
}

} // namespace synth_kernel
} // namespace

/* Defines the four render functions of one instruction set. */
#define VORN_SYNTH_CPU_DEFINE_RENDER(ISA, BYTES)                                              \
  void vorn_synth_cpu_render_split_float_##ISA##_F (VornSynth *synth, float **outputs,       \
                                                    guint frames)                            \
  {                                                                                          \
    synth_kernel::render<float, BYTES, false> (synth, outputs, frames);                      \
  }                                                                                          \
  void vorn_synth_cpu_render_split_float_##ISA##_D (VornSynth *synth, float **outputs,       \
                                                    guint frames)                            \
  {                                                                                          \
    synth_kernel::render<double, BYTES, false> (synth, outputs, frames);                     \
  }                                                                                          \
  void vorn_synth_cpu_render_inter_float_##ISA##_F (VornSynth *synth, float *output,         \
                                                    guint frames)                            \
  {                                                                                          \
    synth_kernel::render<float, BYTES, true> (synth, output, frames);                        \
  }                                                                                          \
  void vorn_synth_cpu_render_inter_float_##ISA##_D (VornSynth *synth, float *output,         \
                                                    guint frames)                            \
  {                                                                                          \
    synth_kernel::render<double, BYTES, true> (synth, output, frames);                       \
  }
