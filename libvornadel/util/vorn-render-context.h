/* vorn-render-context.h: what generators need to know about the synthesizer
 * they render for, handed to them when their queue is compiled (not
 * installed) */
#pragma once

#include <glib-object.h>

#include "vorn-attrib.h"
#include "vorn-cpu.h"

G_BEGIN_DECLS

typedef struct _VornCurveCache VornCurveCache;

/**
 * VornRenderContext:
 * @sample_rate: sample rate in Hz
 * @speaker_count: speaker outputs (the width of a speakers attribute)
 * @max_voices: voice slots of the synthesizer (bounds a master's voice work)
 * @cores: cores a master renders its voices on (1 or more)
 * @format: sample format of every record and buffer
 * @simd: effective SIMD level, never %VORN_SIMD_AUTO
 * @balance_caches: (nullable): @cache_count double-format caches of the
 *   speakers' balance curves; only read while a queue compiles (a generator
 *   that keeps one takes a reference)
 * @latitude_caches: (nullable): the latitude curve caches, likewise
 * @cache_count: entries of each cache array, 0 without caches
 * @speaker_outputs: (nullable): a master's speaker records, which its render
 *   clears every fragment; set by the synthesizer once the master is built
 * @tap_mode: (nullable): the tap mode byte of the queue the generators
 *   belong to (a #VornQueueTapMode), read and written on the render thread
 *
 * A plain record, built by the synthesizer on the API thread when its
 * settings change and copied into each queue it compiles, so nothing on the
 * render side has to ask the synthesizer for its settings.
 */
typedef struct {
  double sample_rate;
  guint speaker_count;
  guint max_voices;
  guint cores;
  VornFormat format;
  VornSimd simd;
  VornCurveCache *const *balance_caches;
  VornCurveCache *const *latitude_caches;
  guint cache_count;
  VornAttribVal *speaker_outputs;
  guint8 *tap_mode;
} VornRenderContext;

/**
 * vorn_render_context_init:
 * @ctx: the record to fill
 *
 * Fills @ctx with the values of a synthesizer with default settings:
 * 48000 Hz, 2 speakers, 100 voices, 1 core, single format, SSE2, no caches,
 * no speaker records, no tap mode.
 */
void vorn_render_context_init (VornRenderContext *ctx);

/**
 * vorn_render_context_attach:
 * @owner: the object whose generators render with @ctx (a queue)
 * @ctx: (nullable): the context, owned by @owner's private state
 *
 * Makes @ctx the context of generators created for @owner, until the owner
 * goes or another context is attached.
 */
void vorn_render_context_attach (gpointer owner, const VornRenderContext *ctx);

/**
 * vorn_render_context_lookup:
 * @owner: (nullable): an object given to vorn_render_context_attach()
 *
 * Returns: (transfer none): the context attached to @owner, or a shared
 *   record of defaults (vorn_render_context_init()) when there is none.
 */
const VornRenderContext *vorn_render_context_lookup (gpointer owner);

/**
 * vorn_util_edit_serial:
 *
 * A counter every change of a node tree or of a curve it renders from
 * raises (any thread).  Whoever compiles ahead of time, as the voices a
 * synthesizer prepares for its render thread, compares it with the value
 * it compiled at to tell whether the result is stale.
 *
 * Returns: the current value.
 */
guint vorn_util_edit_serial (void);

/* Raises the edit serial (see vorn_util_edit_serial()). */
void vorn_util_edit_serial_bump (void);

G_END_DECLS
