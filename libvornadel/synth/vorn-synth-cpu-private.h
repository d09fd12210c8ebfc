/* vorn-synth-cpu-private.h: the CPU renderer's state, shared between the
 * class and its render kernels (not installed) */
#pragma once

#include "vorn-synth-cpu.h"
#include "vorn-synth-private.h"

G_BEGIN_DECLS

/* Voice table index meaning "no entry". */
#define VORN_SYNTH_CPU_NO_VOICE 65535

/**
 * VornSynthCpuVoice:
 * @prev: previous entry of the list this entry is in
 * @next: next entry of that list
 * @queue: the voice queue (owned through @msg)
 * @msg: the start-voice message that brought the voice; it holds the
 *   queue's reference and returns to the outbox when the entry is freed
 * @voice_id: the voice id
 * @chan: the channel (attach point index)
 * @moving: scratch flag while voices move to a rebuilt master
 *
 * One slot of the voice table; it is either in the active list (newest
 * first) or in the free list.
 */
typedef struct {
  guint16 prev;
  guint16 next;
  VornQueue *queue;
  VornSynthMsg *msg;
  guint32 voice_id;
  guint8 chan;
  guint8 moving;
} VornSynthCpuVoice;

/**
 * VornSynthCpuRender:
 * @leftover: samples of the last rendered fragment not delivered yet
 * @render_split: the split render function (its address is the driver's
 *   slot, so this part never moves)
 * @render_inter: the interleaved render function
 * @voices: the voice table, one entry per voice slot
 * @active_head: first active entry (newest)
 * @free_head: first free entry
 * @speakers: speakers the running synthesizer was started with
 * @chan_count: channels it was started with
 * @out_count: speakers that have an output record in the master (the rest
 *   are written as silence)
 *
 * The renderer's part for the render thread only, allocated once with the
 * synthesizer; start and stop set it up and tear it down while no render
 * call runs.
 */
typedef struct {
  guint32 leftover;
  VornSynthCpuSplitFunc render_split;
  VornSynthCpuInterFunc render_inter;
  VornSynthCpuVoice *voices;
  guint16 active_head;
  guint16 free_head;
  guint speakers;
  guint chan_count;
  guint out_count;
} VornSynthCpuRender;

/* Two parts again, each touched by its own thread once started: the API
 * side here (settings, what the newest master was built with; simd is
 * written by the API thread and read atomically) and the render side
 * behind rt.  base is the synthesizer's own state, split the same way. */
typedef struct {
  /* ---- API thread ---- */
  VornSynth *synth;
  VornSynthPrivate *base;
  gint simd;
  gint simd_detected;
  gint built_format;
  gint built_level;
  guint built_cores;

  /* ---- render thread ---- */
  VornSynthCpuRender *rt;
} VornSynthCpuPrivate;

/* The state of @synth without type check, for the render path. */
VornSynthCpuPrivate *vorn_synth_cpu_get_private (VornSynth *synth);

/* Render thread helpers for the kernels; no type checks, no logging. */
void vorn_synth_cpu_render_enter (VornSynthCpuPrivate *priv);
void vorn_synth_cpu_process_messages (VornSynthCpuPrivate *priv);
void vorn_synth_cpu_recycle_voices (VornSynthCpuPrivate *priv);
void vorn_synth_cpu_store_peak (VornSynthCpuPrivate *priv, guint speaker, float peak);
guint64 vorn_synth_cpu_advance_time (VornSynthCpuPrivate *priv, guint frames);

G_END_DECLS
