/* vorn-synth-cpu.h: the synthesizer that renders on the processor */
#pragma once

#include <glib-object.h>

#include "vorn-cpu.h"
#include "vorn-synth.h"

G_BEGIN_DECLS

#define VORN_TYPE_SYNTH_CPU            (vorn_synth_cpu_get_type ())
#define VORN_SYNTH_CPU(obj)            (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_SYNTH_CPU, VornSynthCpu))
#define VORN_SYNTH_CPU_CLASS(klass)    (G_TYPE_CHECK_CLASS_CAST ((klass), VORN_TYPE_SYNTH_CPU, VornSynthCpuClass))
#define VORN_IS_SYNTH_CPU(obj)         (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_SYNTH_CPU))
#define VORN_IS_SYNTH_CPU_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), VORN_TYPE_SYNTH_CPU))
#define VORN_SYNTH_CPU_GET_CLASS(obj)  (G_TYPE_INSTANCE_GET_CLASS ((obj), VORN_TYPE_SYNTH_CPU, VornSynthCpuClass))

typedef struct _VornSynthCpu VornSynthCpu;
typedef struct _VornSynthCpuClass VornSynthCpuClass;

/**
 * VornSynthCpu:
 *
 * The synthesizer that renders on the processor.  A voice start compiles
 * the channel's instrument as it is (nothing is inserted into the tree),
 * sets the queue-level control 0 ("Pitch") to freq(note) / freq(root note),
 * both notes truncated toward zero and taken modulo 256, and control 1
 * ("Volume") to the volume, and posts the voice to the render thread.  The
 * render thread keeps a table of "max-voices" slots; a voice that finds no
 * free slot or has another format is refused, never stolen.  Stopping (or
 * finalizing) a synthesizer with voices sounding returns their start-voice
 * messages to the outbox, so that the application's free releases the
 * voice queues.  The render functions set flush-to-zero and
 * denormals-are-zero once on every thread that calls them.
 */
struct _VornSynthCpu {
  VornSynth parent_instance;
};

struct _VornSynthCpuClass {
  VornSynthClass parent_class;
};

GType vorn_synth_cpu_get_type (void);

/* Returns: (transfer full): a new, stopped CPU synthesizer. */
VornSynth *vorn_synth_cpu_new (void);

/**
 * vorn_synth_cpu_get_render_props:
 * @synth: a CPU synthesizer
 * @sample_rate: (out) (optional): "sample-rate" in Hz
 * @speaker_count: (out) (optional): "speaker-count"
 * @format: (out) (optional): "audio-format"
 * @simd: (out) (optional): the level to render with: "simd", or the
 *   detected level when that is automatic; never %VORN_SIMD_AUTO
 *
 * What generators need to pick their render variant.  On a wrong argument
 * the outputs are left untouched.
 */
void vorn_synth_cpu_get_render_props (VornSynth *synth, double *sample_rate, guint *speaker_count,
                                      VornFormat *format, VornSimd *simd);

/**
 * VornSynthCpuSplitFunc:
 * @synth: the synthesizer (a #VornSynthCpu)
 * @outputs: (array): "speaker-count" float buffers of @frames samples each
 * @frames: frames wanted, any number
 *
 * Renders exactly @frames frames, one buffer per speaker.  Called from the
 * audio callback thread only; never allocates, frees, locks or logs (the
 * inbox and outbox are lock-free rings).  Reach it through
 * vorn_synth_render_split().
 */
typedef void (*VornSynthCpuSplitFunc) (VornSynth *synth, float **outputs, guint frames);

/**
 * VornSynthCpuInterFunc:
 * @synth: the synthesizer (a #VornSynthCpu)
 * @output: @frames × "speaker-count" floats, speakers interleaved
 * @frames: frames wanted, any number
 *
 * As #VornSynthCpuSplitFunc, writing interleaved frames.
 */
typedef void (*VornSynthCpuInterFunc) (VornSynth *synth, float *output, guint frames);

/* Variants per table: SSE2, AVX, AVX2, AVX512 rendering single-format
 * queues, then the same four for double-format queues (index format × 4 +
 * level). */
#define VORN_SYNTH_CPU_RENDER_TABLE_SIZE 8

extern const VornSynthCpuSplitFunc vorn_synth_cpu_render_split_float_table[VORN_SYNTH_CPU_RENDER_TABLE_SIZE];
extern const VornSynthCpuInterFunc vorn_synth_cpu_render_inter_float_table[VORN_SYNTH_CPU_RENDER_TABLE_SIZE];

void vorn_synth_cpu_render_split_float_SSE2_F (VornSynth *synth, float **outputs, guint frames);
void vorn_synth_cpu_render_split_float_AVX_F (VornSynth *synth, float **outputs, guint frames);
void vorn_synth_cpu_render_split_float_AVX2_F (VornSynth *synth, float **outputs, guint frames);
void vorn_synth_cpu_render_split_float_AVX512_F (VornSynth *synth, float **outputs, guint frames);
void vorn_synth_cpu_render_split_float_SSE2_D (VornSynth *synth, float **outputs, guint frames);
void vorn_synth_cpu_render_split_float_AVX_D (VornSynth *synth, float **outputs, guint frames);
void vorn_synth_cpu_render_split_float_AVX2_D (VornSynth *synth, float **outputs, guint frames);
void vorn_synth_cpu_render_split_float_AVX512_D (VornSynth *synth, float **outputs, guint frames);
void vorn_synth_cpu_render_inter_float_SSE2_F (VornSynth *synth, float *output, guint frames);
void vorn_synth_cpu_render_inter_float_AVX_F (VornSynth *synth, float *output, guint frames);
void vorn_synth_cpu_render_inter_float_AVX2_F (VornSynth *synth, float *output, guint frames);
void vorn_synth_cpu_render_inter_float_AVX512_F (VornSynth *synth, float *output, guint frames);
void vorn_synth_cpu_render_inter_float_SSE2_D (VornSynth *synth, float *output, guint frames);
void vorn_synth_cpu_render_inter_float_AVX_D (VornSynth *synth, float *output, guint frames);
void vorn_synth_cpu_render_inter_float_AVX2_D (VornSynth *synth, float *output, guint frames);
void vorn_synth_cpu_render_inter_float_AVX512_D (VornSynth *synth, float *output, guint frames);

/**
 * vorn_synth_cpu_process_synth_messages:
 * @synth: a started CPU synthesizer
 *
 * Applies every message waiting in the inbox (start and stop voices,
 * controls, panic, tap pause, optimisation updates) and returns each to the
 * outbox; a start-voice message returns when its voice ends or is refused.
 * Render thread only (the render functions call it themselves).
 */
void vorn_synth_cpu_process_synth_messages (VornSynth *synth);

/**
 * vorn_synth_cpu_detach_voices:
 * @synth: a started CPU synthesizer
 *
 * Frees the voice slots of voices that finished (their queue is no longer
 * active) and returns their start-voice messages to the outbox.  Render
 * thread only.
 */
void vorn_synth_cpu_detach_voices (VornSynth *synth);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornSynthCpu, g_object_unref)

G_END_DECLS
