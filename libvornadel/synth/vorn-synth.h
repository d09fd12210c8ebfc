/* vorn-synth.h: the synthesizer the application and the drivers talk to */
#pragma once

#include <glib-object.h>

#include "vorn-attrib.h"
#include "vorn-gen.h"
#include "vorn-node.h"
#include "vorn-queue.h"

G_BEGIN_DECLS

#define VORN_TYPE_SYNTH            (vorn_synth_get_type ())
#define VORN_SYNTH(obj)            (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_SYNTH, VornSynth))
#define VORN_SYNTH_CLASS(klass)    (G_TYPE_CHECK_CLASS_CAST ((klass), VORN_TYPE_SYNTH, VornSynthClass))
#define VORN_IS_SYNTH(obj)         (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_SYNTH))
#define VORN_IS_SYNTH_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), VORN_TYPE_SYNTH))
#define VORN_SYNTH_GET_CLASS(obj)  (G_TYPE_INSTANCE_GET_CLASS ((obj), VORN_TYPE_SYNTH, VornSynthClass))

typedef struct _VornSynth VornSynth;
typedef struct _VornSynthClass VornSynthClass;
typedef struct _VornInst VornInst;

struct _VornSynth {
  GObject parent_instance;
};

/**
 * VornSynthClass:
 * @start: builds the master tree and starts rendering
 * @stop: tears down what start built
 * @set_inst: stores the instrument of a channel
 * @start_voice: compiles and posts a voice (no default)
 * @stop_voice: posts a note-off for one voice
 * @set_control: posts a control change of the master queue
 * @set_voice_control: posts a control change of one voice
 * @set_node_control: posts a control change of every voice of an instrument
 * @panic: posts the end of all voices
 * @tap_pause: posts the pause state of the master tap
 * @get_render_funcs: stores the addresses of the renderer's function slots
 */
struct _VornSynthClass {
  GObjectClass parent_class;

  void (*start) (VornSynth *synth);
  void (*stop) (VornSynth *synth);
  void (*set_inst) (VornSynth *synth, int chan, VornInst *inst);
  void (*start_voice) (VornSynth *synth, guint voice_id, int chan, double note, double volume,
                       VornQueue **queue_out);
  void (*stop_voice) (VornSynth *synth, guint voice_id, double velocity);
  void (*set_control) (VornSynth *synth, guint16 control_id, double value);
  void (*set_voice_control) (VornSynth *synth, guint voice_id, guint16 control_id, double value);
  void (*set_node_control) (VornSynth *synth, VornNode *node, guint16 control_id, guint16 chan,
                            int max_count, double value, VornWaveOp op);
  void (*panic) (VornSynth *synth);
  void (*tap_pause) (VornSynth *synth, gboolean pause);
  void (*get_render_funcs) (VornSynth *synth, gpointer *split_slot, gpointer *inter_slot);
};

GType vorn_synth_get_type (void);

/**
 * vorn_synth_get_render_props:
 * @synth: a synthesizer
 * @sample_rate: (out) (optional): "sample-rate" in Hz
 * @speaker_count: (out) (optional): "speaker-count"
 * @format: (out) (optional): "audio-format"
 *
 * Reads the properties that shape rendering.  On a wrong argument the
 * outputs are left untouched.
 */
void vorn_synth_get_render_props (VornSynth *synth, double *sample_rate, guint *speaker_count,
                                  VornFormat *format);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornSynth, g_object_unref)

G_END_DECLS
