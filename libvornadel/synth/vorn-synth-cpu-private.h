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
 * @note_key: for a voice a note event started on the render thread, its
 *   channel and note plus 1 << 16 while the key is held, else 0
 * @wheel_ids: such a voice's control ids of its instrument's morph
 *   controls, which follow the modulation wheel; @wheel_count of them
 * @start_time: such a voice's sample time of its first frame
 * @release_time: the sample time its release is due at, G_MAXUINT64 when
 *   none is pending
 * @release_delay: frames from a note-off's time to its release (the
 *   voice's vorn_queue_get_output_delay())
 *
 * One slot of the voice table; it is either in the active list (newest
 * first) or in the free list.
 */
/* Morph controls of an instrument the modulation wheel drives. */
#define VORN_SYNTH_CPU_WHEEL_IDS 16

typedef struct {
  guint16 prev;
  guint16 next;
  VornQueue *queue;
  VornSynthMsg *msg;
  guint32 voice_id;
  guint8 chan;
  guint8 moving;
  guint8 wheel_count;
  guint32 note_key;
  guint16 wheel_ids[VORN_SYNTH_CPU_WHEEL_IDS];
  guint64 start_time;
  guint64 release_time;
  guint release_delay;
} VornSynthCpuVoice;

/**
 * VornSynthPrepared:
 * @msg: a start-voice message whose queue is compiled from the channel's
 *   instrument and not attached (voice id 0)
 * @notify: (nullable): its start-voice-notify message, holding a queue
 *   reference, when "start-voice-notify" was on
 * @root_freq: the frequency of the instrument's root note
 * @serial: vorn_util_edit_serial() when it was compiled
 * @wheel_ids: the voice's control ids of the instrument's morph controls
 * @wheel_count: entries of @wheel_ids
 * @release_delay: the queue's vorn_queue_get_output_delay()
 *
 * A voice compiled ahead on the API thread for a note the render thread
 * starts: the instrument as it was then, ready to attach.
 */
typedef struct {
  VornSynthMsg *msg;
  VornSynthMsg *notify;
  double root_freq;
  guint serial;
  guint16 wheel_ids[VORN_SYNTH_CPU_WHEEL_IDS];
  guint wheel_count;
  guint release_delay;
} VornSynthPrepared;

/**
 * VornSynthPool:
 * @slots: @cap entries, a ring the API thread fills (@head) and the render
 *   thread empties (@tail); both counters only grow
 * @inst: API thread: the instrument the entries were compiled from
 * @serial: the edit serial of the freshest entries; older ones are stale
 *
 * The prepared voices of one channel.
 */
typedef struct {
  VornSynthPrepared *slots;
  guint cap;
  guint head;
  guint tail;
  VornInst *inst;
  guint serial;
} VornSynthPool;

/* A note event waiting on the render thread for the fragment it starts in. */
typedef struct {
  guint64 time;
  guint8 data[3];
} VornSynthTimedEvent;

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
 * @timed: events waiting for their fragment, in time order, @timed_count
 *   of VORN_SYNTH_CPU_TIMED_EVENTS
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
  VornSynthTimedEvent *timed;
  guint timed_count;
  guint16 sustain; /* channels whose pedal is down, one bit each */
  /* Channel controls of note events, for voices sounding and to come:
   * 14-bit pitch bend (8192 centred), the modulation wheel (-1 until it
   * moves) and the bend range the bends were last applied with. */
  guint16 bend[16];
  gint8 wheel[16];
  double bend_range;
  /* Voices with a release_time set. */
  guint pending_releases;
} VornSynthCpuRender;

/* Note events that can wait on the render thread at once. */
#define VORN_SYNTH_CPU_TIMED_EVENTS 1024

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
  /* chan_count pools, made at start; the render thread takes from them. */
  VornSynthPool *pools;
  guint pool_depth;
  guint prepared_voices;
  gint starved;
  /* Per MIDI channel: the master's "Channel Pitch" control id, -1 for none
   * (written here, read by the render thread, atomically). */
  gint pitch_ids[16];
  /* Semitones of a full bend; any thread writes, the render thread reads. */
  double bend_range;

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

/* Render thread: files the call's events (frame f plays at @call_time + f +
 * VORN_SYNTH_EVENT_LATENCY).  Before the fragment at @frag_time, applies the
 * note events due before the end of the next fragment (a note-on starts its
 * voice at its frame in either; a note-off stores its time on the voice)
 * and bend and wheel events due before the end of this one, then releases
 * the voices whose release falls in their next own fragment, at its
 * frame. */
void vorn_synth_cpu_take_events (VornSynthCpuPrivate *priv, guint64 call_time, guint frames);
void vorn_synth_cpu_apply_events (VornSynthCpuPrivate *priv, guint64 frag_time);

/* Render thread: sets the channels' bends again, into a new master. */
void vorn_synth_cpu_apply_bends (VornSynthCpuPrivate *priv);

/* Render thread: places a voice; FALSE when refused. */
gboolean vorn_synth_cpu_accept_voice (VornSynthCpuPrivate *priv, VornSynthMsg *msg);

/* API thread: make and free the pools of prepared voices (start, stop). */
void vorn_synth_cpu_pools_setup (VornSynthCpuPrivate *priv);
void vorn_synth_cpu_pools_teardown (VornSynthCpuPrivate *priv);

G_END_DECLS
