/* vorn-gen-private.h: helpers shared by the generator subclasses (not
 * installed) */
#pragma once

#include "vorn-gen.h"
#include "vorn-cpu.h"
#include "vorn-render-context.h"
#include "vorn-kernel-table.h"

G_BEGIN_DECLS

/**
 * vorn_gen_get_context:
 * @gen: a generator
 *
 * The render context of the queue that owns @gen (sample rate, speakers,
 * format, SIMD level, panning caches), for use in constructed.  A generator
 * made for an object without a context gets the defaults (48000 Hz, 2
 * speakers, single, SSE2).
 *
 * Returns: (transfer none): the context, valid as long as the queue.
 */
const VornRenderContext *vorn_gen_get_context (VornGen *gen);

G_END_DECLS
