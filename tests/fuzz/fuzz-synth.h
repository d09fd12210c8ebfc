/* fuzz-synth.h: what the fuzz targets share: engine start-up that turns a
 * critical into a crash the fuzzer reports, and synthesizers whose bounded
 * rendering must stay finite */
#pragma once

#include "vornadel.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

constexpr guint FRAGMENT = 64;

[[noreturn]] inline void
fail (const char *why)
{
  fprintf (stderr, "%s\n", why);
  abort ();
}

/* Frees every message waiting in the outbox. */
inline void
drain (VornSynth *synth)
{
  while (VornSynthMsg *msg = vorn_synth_get_message (synth))
    vorn_synth_msg_free (msg);
}

/* Renders @fragments fragments of two speakers; the output never holds NaN
 * or infinity. */
inline void
render (VornSynth *synth, guint fragments)
{
  float out[FRAGMENT * 2];
  for (guint i = 0; i < fragments; i++)
    {
      vorn_synth_render_interleaved (synth, out, FRAGMENT);
      for (float v : out)
        if (!std::isfinite (v))
          fail ("the output holds NaN or infinity");
      drain (synth);
    }
}

/* Initializes the engine, once.  Criticals and errors mean an engine call
 * was misused: they abort, so the fuzzer keeps the input.  Warnings (bad
 * enum names and the like) are expected. */
inline void
init ()
{
  static const bool initialized = [] {
    g_log_set_writer_func ([] (GLogLevelFlags level, const GLogField *fields, gsize n_fields, gpointer) {
      if (level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL))
        {
          g_log_writer_standard_streams (level, fields, n_fields, nullptr);
          abort ();
        }
      return G_LOG_WRITER_HANDLED;
    }, nullptr, nullptr);
    vorn_init ("Zelmora 0.9.0");
    return true;
  }();
  (void) initialized;
}

/* A started synthesizer of two speakers on one core, in the sample format
 * @double_format picks; free it with synth_free(). */
inline VornSynth *
synth_new (bool double_format, guint max_voices)
{
  VornSynth *synth = vorn_synth_cpu_new ();
  g_object_set (synth, "audio-format", double_format ? VORN_FORMAT_DOUBLE : VORN_FORMAT_SINGLE,
                "cores", 1u, "max-voices", max_voices, "speaker-count", 2u, nullptr);
  vorn_synth_start (synth, nullptr);
  return synth;
}

inline void
synth_free (VornSynth *synth)
{
  vorn_synth_stop (synth);
  drain (synth);
  g_object_unref (synth);
}

} // namespace fuzz
