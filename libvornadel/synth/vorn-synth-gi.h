/* vorn-synth-gi.h: render entry points for language bindings */
#pragma once

#include <glib-object.h>

#include "vorn-synth.h"

G_BEGIN_DECLS

/**
 * vorn_synth_render_interleaved_bytes:
 * @synth: a started synthesizer
 * @frames: frames to render, any number
 *
 * Renders @frames frames with vorn_synth_render_interleaved() into a new
 * buffer.  Meant for bindings and offline rendering: it allocates, so an
 * audio callback must not call it.  Like every render call, only one thread
 * may render a synthesizer at a time.
 *
 * Returns: (transfer full) (nullable): @frames × speakers 32-bit floats in
 *   native byte order, speakers interleaved, where speakers is the
 *   "speaker-count" @synth was started with; NULL when @synth is stopped.
 */
GBytes *vorn_synth_render_interleaved_bytes (VornSynth *synth, guint frames);

G_END_DECLS
