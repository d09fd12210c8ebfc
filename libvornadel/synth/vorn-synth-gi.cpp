/* vorn-synth-gi.cpp: render entry points for language bindings */
#include "vorn-synth-gi.h"

GBytes *
vorn_synth_render_interleaved_bytes (VornSynth *synth, guint frames)
{
  g_return_val_if_fail (VORN_IS_SYNTH (synth), nullptr);

  /* The render functions write as many speakers as the synthesizer was
   * started with, which "speaker-count" no longer tells once it was changed
   * without a restart. */
  guint speakers = vorn_synth_get_speaker_curves (synth, nullptr, nullptr);
  if (speakers == 0)
    return nullptr;

  gsize count = gsize (frames) * speakers;
  float *out = static_cast<float *> (g_malloc0_n (MAX (count, gsize (1)), sizeof (float)));
  if (frames > 0)
    vorn_synth_render_interleaved (synth, out, frames);
  return g_bytes_new_take (out, count * sizeof (float));
}
