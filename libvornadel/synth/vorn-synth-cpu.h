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

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornSynthCpu, g_object_unref)

G_END_DECLS
