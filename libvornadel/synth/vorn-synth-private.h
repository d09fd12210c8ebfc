/* vorn-synth-private.h: the synthesizer state shared with the renderer
 * (not installed) */
#pragma once

#include "vorn-synth.h"
#include "vorn-curve.h"
#include "vorn-curve-cache.h"
#include "vorn-synth-ring.h"
#include "vorn-render-context.h"

G_BEGIN_DECLS

/**
 * VornSynthRender:
 * @master: the master queue being rendered (a reference handed over by
 *   start and by update messages; the one it replaces goes back in the
 *   message)
 * @tap_paused: the tap pause state applied to @master
 * @pending: returned messages the outbox had no room for, oldest first
 * @pending_count: entries used in @pending
 * @pending_cap: entries of @pending: the voice slots plus two, so that one
 *   message (a panic returns every voice and itself) always fits
 * @pushed: something reached the outbox since the last wake-up
 * @speaker_outputs: the speaker records of @master (its render clears them
 *   every fragment), which the renderer converts to output frames
 *
 * What only the render thread touches while the synthesizer is started:
 * allocated once with the synthesizer, apart from the API state so that the
 * two never share a cache line.  Start and stop set it up and tear it down
 * on the API thread, which is why they must not run while a render call is
 * in progress.
 */
typedef struct {
  VornQueue *master;
  gboolean tap_paused;
  VornSynthMsg **pending;
  guint pending_count;
  guint pending_cap;
  gboolean pushed;
  VornAttribVal *speaker_outputs;
  /* The events of the render call being made. */
  const VornSynthEvent *events;
  guint n_events;
} VornSynthRender;

/* The synthesizer's state in three parts, by the thread that owns it:
 * - API threads: everything under "API threads" (under api_lock where
 *   several API threads can meet: note-on/off, controls, settings);
 * - the render thread: the VornSynthRender behind rt, allocated once with
 *   the synthesizer (set up and torn down by start and stop);
 * - crossing: the rings, the wake-up descriptor and the counters, each
 *   written by one side and read with atomic operations by the other.
 * Nothing else is shared. */
typedef struct {
  /* ---- API threads ---- */
  GRecMutex api_lock;
  VornNode *node_tree;
  VornNode *speakers_wave;
  VornCurve **balance_curves;
  VornCurve **latitude_curves;
  VornCurveCache **balance_caches;
  VornCurveCache **latitude_caches;
  /* The newest master built (what "master-queue" reports); the render
   * thread may still be on the one before until the update reaches it. */
  VornQueue *master_queue;
  GHashTable *voice_map;       /* api_lock: note key -> voice id */
  GHashTable *master_controls; /* api_lock: master control id -> value */
  VornInst **channel_insts;    /* api_lock */
  gint chanCount;              /* signed: channel arguments are int */
  guint speaker_count;
  guint max_voices;
  double sample_rate;
  guint cores_detected;
  gboolean started;
  gboolean start_voice_notify;
  gboolean restart_needed;
  /* Speaker and channel counts the running state was built with (0 while
   * stopped).  The restart properties may change meanwhile; arrays made at
   * start (curves, caches, peak words, channel instruments) have these
   * sizes. */
  guint started_speakers;
  gint started_channels;
  /* api_lock: what queues compiled now render with; rebuilt whenever a
   * setting changes (the renderer keeps its simd field). */
  VornRenderContext context;

  /* ---- render thread (the only pointer to its part) ---- */
  VornSynthRender *rt;

  /* ---- crossing ---- */
  VornSynthRing *inbox;
  VornSynthRing *outbox;
  int wake_fd;
  gint dropped;
  gint event_overflow;
  /* Note events from input threads, and where rendering is for them to
   * stamp theirs (vorn-synth-events.h). */
  struct VornEventInbox *posted;
  struct VornRenderClock *clock;
  /* Set by the render thread when it took or dropped prepared voices: the
   * outbox source then tops them up. */
  gint want_prepare;
  /* API thread: the edit serial the prepared voices were last checked at,
   * and whether anyone asked for them (vorn_synth_prepare_voices()). */
  guint prepared_serial;
  gboolean prepare_voices;
  gint format;
  guint cores;
  guint64 sample_time;
  gint active_voices;
  gint peak_voices;
  gboolean peak_enable;
  guint32 *peak_levels;
  guint next_voice_id;
  guint next_device_id;
} VornSynthPrivate;

/* Returns: (transfer none): the private state of @synth, for the renderer. */
VornSynthPrivate *vorn_synth_get_private (VornSynth *synth);

/* The same without the type check, for the render path. */
VornSynthPrivate *vorn_synth_render_get_private (VornSynth *synth);

/* ---- render thread side of the message protocol (no checks, no logging,
 * no allocation) ---- */

/* Returns @msg through the outbox, or keeps it in rt.pending when the outbox
 * is full or older messages wait there; the caller makes sure there is room
 * (vorn_synth_render_room()). */
void vorn_synth_render_send (VornSynthPrivate *priv, VornSynthMsg *msg);

/* Returns: how many more messages vorn_synth_render_send() can take now. */
guint vorn_synth_render_room (const VornSynthPrivate *priv);

/* Returns: (nullable): the next inbox message to apply, or NULL when the
 * inbox is empty or returned messages still wait for outbox room (the inbox
 * then waits for the API side to drain the outbox). */
VornSynthMsg *vorn_synth_render_next (VornSynthPrivate *priv);

/* Wakes outbox sources when something was returned since the last call:
 * one eventfd write, no allocation, no lock. */
void vorn_synth_render_wake (VornSynthPrivate *priv);

/* Signals the wake-up descriptor that the outbox has messages. */
void vorn_synth_wake_outbox (VornSynthPrivate *priv);

/* ---- API thread helpers for subclasses ---- */

/* Sets up rt for a started synthesizer with @slots voice slots and hands it
 * @master (a new reference is taken). */
void vorn_synth_render_setup (VornSynthPrivate *priv, VornQueue *master, guint slots);

/* Tears rt down after the subclass returned its voices: pending messages go
 * to the outbox, the rendered master is released. */
void vorn_synth_render_teardown (VornSynthPrivate *priv);

/* Pushes @msg straight to the outbox and wakes its sources; when the outbox
 * is full, frees it (dropping a notification's queue) and counts it. */
void vorn_synth_post_outbox (VornSynthPrivate *priv, VornSynthMsg *msg);

/* API thread: rebuilds priv->context from the current settings (takes
 * api_lock); the simd field is left to the renderer. */
void vorn_synth_refresh_render_context (VornSynthPrivate *priv);

/**
 * vorn_synth_get_render_context:
 * @synth: a synthesizer
 * @ctx: (out caller-allocates): receives a copy of the context queues
 *   compile with now
 *
 * Fills @ctx for compiling a queue for @synth; the cache arrays in it stay
 * valid until the synthesizer stops.  On a wrong argument @ctx gets the
 * defaults.
 */
void vorn_synth_get_render_context (VornSynth *synth, VornRenderContext *ctx);

/* Sets the recorded master control values on a freshly built @master. */
/* API thread: vorn_synth_prepare_voices() once someone asked for prepared
 * voices, else nothing. */
void vorn_synth_refresh_voices (VornSynth *synth);

void vorn_synth_apply_master_controls (VornSynthPrivate *priv, VornQueue *master);

G_END_DECLS
