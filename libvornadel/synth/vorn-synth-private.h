/* vorn-synth-private.h: the synthesizer state shared with the renderer
 * (not installed) */
#pragma once

#include "vorn-synth.h"
#include "vorn-curve.h"
#include "vorn-curve-cache.h"

G_BEGIN_DECLS

/* Counters read across threads (cores, format, sample time, voice counts,
 * peak words, ids) are accessed with the g_atomic operations. */
typedef struct {
  VornNode *node_tree;
  VornNode *speakers_wave;
  VornCurve **balance_curves;
  VornCurve **latitude_curves;
  VornCurveCache **balance_caches;
  VornCurveCache **latitude_caches;
  VornQueue *master_queue;
  VornAttribVal *speaker_outputs;
  GHashTable *voice_map;
  GAsyncQueue *inbox;
  GAsyncQueue *outbox;
  gint chanCount;             /* signed: channel arguments are int */
  guint speaker_count;
  guint max_voices;
  double sample_rate;
  gint format;
  guint cores;
  guint cores_detected;
  guint64 sample_time;
  gboolean started;
  gboolean tap_paused;
  VornInst **channel_insts;
  gint active_voices;
  gint peak_voices;
  gboolean peak_enable;
  guint32 *peak_levels;
  guint next_voice_id;
  guint next_device_id;
  gboolean start_voice_notify;
  gboolean restart_needed;

  /* Speaker and channel counts the running state was built with (0 while
   * stopped).  The restart properties may change meanwhile; arrays made at
   * start (curves, caches, peak words, channel instruments) have these
   * sizes. */
  guint started_speakers;
  gint started_channels;
} VornSynthPrivate;

/* Returns: (transfer none): the private state of @synth, for the renderer. */
VornSynthPrivate *vorn_synth_get_private (VornSynth *synth);

/**
 * vorn_synth_get_speaker_caches:
 * @synth: a synthesizer
 * @balance: (out) (optional) (transfer none): the double-format cache of each
 *   speaker's balance curve
 * @latitude: (out) (optional) (transfer none): the latitude curve caches
 *
 * For the speaker mix: the curve caches of a started synthesizer, valid
 * until it stops (take references to keep them longer).
 *
 * Returns: the number of caches in each array, 0 when stopped.
 */
guint vorn_synth_get_speaker_caches (VornSynth *synth, VornCurveCache ***balance,
                                     VornCurveCache ***latitude);

/**
 * vorn_synth_speaker_curve_new:
 * @speaker_count: speakers of the layout (1 or more)
 * @speaker: index below @speaker_count
 * @latitude: TRUE for the latitude curve, FALSE for the balance curve
 *
 * Returns: (transfer full): the panning curve the synthesizer uses for
 *   @speaker of @speaker_count.
 */
VornCurve *vorn_synth_speaker_curve_new (guint speaker_count, guint speaker, gboolean latitude);

G_END_DECLS
