/* vorn-synth.h: the synthesizer the application and the drivers talk to */
#pragma once

#include <glib-object.h>

#include "vorn-attrib.h"
#include "vorn-gen.h"
#include "vorn-node.h"
#include "vorn-queue.h"
#include "vorn-synth-msg.h"

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
typedef struct _VornCurve VornCurve;
typedef struct _VornWave VornWave;
typedef struct _VornTapGen VornTapGen;

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
 *   (kept for old drivers; use vorn_synth_render_interleaved())
 * @render_interleaved: renders interleaved frames (render thread)
 * @render_split: renders one buffer per speaker (render thread)
 */
struct _VornSynthClass {
  GObjectClass parent_class;

  gboolean (*start) (VornSynth *synth, GError **error);
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
  void (*render_interleaved) (VornSynth *synth, float *out, guint frames);
  void (*render_split) (VornSynth *synth, float **out, guint frames);
};

GType vorn_synth_get_type (void);

/*
 * Control ids of a voice queue.  Every queue begins with the three
 * queue-level controls "Pitch" (id 0), "Volume" (id 1) and "Balance"
 * (id 2); a voice start sets control 0 to the pitch ratio of the note
 * against the instrument's "root-note" and control 1 to the volume, op set.
 * The instrument's own control waves follow with ids 3, 4, ... in post-order
 * (vorn_synth_inst_get_control_id()).  Playing a note never changes the
 * instrument tree.
 *
 * Speakers: the panning curves cover 1 to 8 speakers; with more, speakers
 * 1 to 8 get the 8-speaker curves and speakers 9 and up flat curves (gain 1),
 * while "speaker-count" keeps reporting what was set.
 *
 * Stopping a synthesizer whose voices still sound returns their start-voice
 * messages to the outbox, so that the application's free releases the voice
 * queues.
 *
 * Threads: the note, voice, control, panic and tap calls may be made from
 * several threads at once (say the GUI and a MIDI input thread); they take
 * a short lock of their own that the render thread never takes.  Start,
 * stop and property changes belong to one thread and must not overlap a
 * render call for start and stop.  One thread at a time renders.
 *
 * Messages travel on two bounded rings made at start: the inbox (API threads
 * to the render thread) and the outbox (back), sized from "max-voices".
 * Nothing ever waits on them.  A message the inbox has no room for comes
 * straight back through the outbox unapplied; when the outbox is full too
 * it is freed and counted (vorn_synth_get_dropped_messages()).  When the
 * outbox is full the render thread keeps what it returns and stops taking
 * inbox messages until the outbox is drained, so messages queue up rather
 * than get lost: drain the outbox regularly (vorn_synth_outbox_source_new()).
 */

/**
 * vorn_synth_note_key:
 * @device_id: input device id (vorn_synth_get_device_id())
 * @source_id: key of the device (hardware key code, 0 for the piano)
 * @chan: channel (low 8 bits used)
 * @note: MIDI note
 *
 * Packs a sounding note's identity: @note in bits 0 to 7, @chan in bits 8 to
 * 15, @device_id + 1 (16 bits) in bits 16 to 31, @source_id from bit 32.
 *
 * Returns: the key.
 */
guint64 vorn_synth_note_key (guint16 device_id, guint source_id, int chan, guint8 note);

/**
 * vorn_synth_start:
 * @synth: a synthesizer
 * @error: return location for a #GError
 *
 * Class operation start: builds the master tree, speaker curves and peak
 * words (stopping first when started).
 *
 * Returns: %TRUE when started; %FALSE with @error set when the system
 * refuses what rendering needs (a render thread), and @synth stays stopped.
 */
gboolean vorn_synth_start (VornSynth *synth, GError **error);

/* Class operation stop: releases what start built; no-op when stopped. */
void vorn_synth_stop (VornSynth *synth);

/* Returns: whether @synth is started (FALSE on a wrong argument). */
gboolean vorn_synth_is_started (VornSynth *synth);

/**
 * vorn_synth_set_inst:
 * @synth: a started synthesizer
 * @chan: channel below "channel-count"
 * @inst: the instrument to play on @chan (the synthesizer takes a reference)
 *
 * Assigns the instrument of a channel.  Only valid while started.
 */
void vorn_synth_set_inst (VornSynth *synth, int chan, VornInst *inst);

/**
 * vorn_synth_get_inst:
 * @synth: a synthesizer
 * @chan: channel
 *
 * Returns: (transfer none) (nullable): the instrument of @chan, NULL when
 *   there is none, the synthesizer is stopped or an argument is wrong.
 */
VornInst *vorn_synth_get_inst (VornSynth *synth, int chan);

/**
 * vorn_synth_note_on:
 * @synth: a started synthesizer
 * @device_id: input device id
 * @source_id: key of the device
 * @chan: channel
 * @note: MIDI note
 * @velocity: 1 to 127; 0 acts as a note-off of the same key
 * @queue_out: (out) (optional) (transfer full): the voice queue, NULL when
 *   nothing started
 *
 * Starts a voice of the channel's instrument with volume @velocity / 127
 * and remembers it under the note key.  A second note-on with the same key
 * releases the voice it replaces, as a note-off with velocity 0 would.
 *
 * Returns: the voice id, 0 when nothing was started.
 */
guint vorn_synth_note_on (VornSynth *synth, guint16 device_id, guint source_id, int chan,
                          guint8 note, guint8 velocity, VornQueue **queue_out);

/* Releases the voice recorded under the note key with velocity / 127 as
 * release velocity; unknown keys are ignored. */
void vorn_synth_note_off (VornSynth *synth, guint16 device_id, guint source_id, int chan,
                          guint8 note, guint8 velocity);

/**
 * vorn_synth_start_voice:
 * @synth: a started synthesizer
 * @voice_id: the voice id, or 0 to take the next one
 * @chan: channel
 * @note: note number (fractional notes allowed by the caller's choice)
 * @volume: 0..1
 * @queue_out: (out) (optional) (transfer full): the voice queue
 *
 * Returns: the voice id, or 0 when the channel has no instrument.
 */
guint vorn_synth_start_voice (VornSynth *synth, guint voice_id, int chan, double note,
                              double volume, VornQueue **queue_out);

/* Posts a note-off of one voice with release @velocity (0..1). */
void vorn_synth_stop_voice (VornSynth *synth, guint voice_id, double velocity);

/* Posts a set of master control @control_id to @value. */
void vorn_synth_set_control (VornSynth *synth, guint16 control_id, double value);

/* Posts a set of control @control_id of one voice to @value. */
void vorn_synth_set_voice_control (VornSynth *synth, guint voice_id, guint16 control_id,
                                   double value);

/**
 * vorn_synth_set_node_control:
 * @synth: a synthesizer
 * @node: the node the voices were compiled from (normally an instrument)
 * @control_id: control id within the voice queues
 * @chan: channel, or %VORN_SYNTH_MSG_ALL_CHANNELS
 * @max_count: at most this many voices, newest first; 0 for all (values
 *   above 255 count as all)
 * @value: the value
 * @op: how @value combines with the control
 *
 * Posts a control change for the voices of @node.
 */
void vorn_synth_set_node_control (VornSynth *synth, VornNode *node, guint16 control_id,
                                  guint16 chan, int max_count, double value, VornWaveOp op);

/* set_node_control on the instrument of @chan; nothing when there is none. */
void vorn_synth_set_inst_control (VornSynth *synth, guint16 control_id, int chan, int max_count,
                                  double value, VornWaveOp op);

/* Posts the end of every voice. */
void vorn_synth_panic (VornSynth *synth);

/* Posts the pause state of the master tap; the message's return through the
 * outbox confirms it. */
void vorn_synth_tap_pause (VornSynth *synth, gboolean pause);

/**
 * vorn_synth_inst_get_control_id:
 * @inst: an instrument
 * @ctrl: a control wave of @inst
 *
 * Returns: the id of @ctrl in the voice queues of @inst (its post-order
 *   position among the instrument's control waves plus 3), or -1 when
 *   @ctrl is not in @inst.
 */
int vorn_synth_inst_get_control_id (VornInst *inst, VornWave *ctrl);

/* Pushes @msg (ownership passes) to the inbox; never waits.  Returns: FALSE
 * when the inbox was full (the message then comes back through the outbox
 * unapplied, or is freed when the outbox is full too). */
gboolean vorn_synth_send_message (VornSynth *synth, VornSynthMsg *msg);

/* Returns: the messages freed unapplied because the inbox and the outbox
 * were both full, since the synthesizer was made. */
guint vorn_synth_get_dropped_messages (VornSynth *synth);

/**
 * VornSynthOutboxFunc:
 * @synth: the synthesizer
 * @msg: (transfer full): a message from the outbox; free it with
 *   vorn_synth_msg_free() (after taking a start-voice-notify's queue)
 * @user_data: the data given to g_source_set_callback()
 *
 * Returns: %G_SOURCE_REMOVE to destroy the source (messages not yet
 *   handed out stay in the outbox), else %G_SOURCE_CONTINUE.
 */
typedef gboolean (*VornSynthOutboxFunc) (VornSynth *synth, VornSynthMsg *msg,
                                         gpointer user_data);

/**
 * vorn_synth_outbox_source_new:
 * @synth: a synthesizer
 *
 * Makes a source that dispatches every outbox message to its callback, a
 * #VornSynthOutboxFunc set with g_source_set_callback() (cast with
 * G_SOURCE_FUNC()).  The render thread wakes it through an eventfd at most
 * once per render call, so a main loop needs no polling timer.  The source
 * holds a reference on @synth.  Without a callback, messages are freed.
 *
 * Returns: (transfer full): the source; attach it with g_source_attach().
 */
GSource *vorn_synth_outbox_source_new (VornSynth *synth);

/**
 * vorn_synth_get_message: (skip)
 * @synth: a synthesizer
 *
 * Returns: (transfer full) (nullable): the next message of the outbox, NULL
 *   when it is empty; never waits.  Free it with vorn_synth_msg_free().
 */
VornSynthMsg *vorn_synth_get_message (VornSynth *synth);

/* Returns: the synthesizer's sample time in frames. */
guint64 vorn_synth_get_sample_time (VornSynth *synth);

/* Atomically adds @frames to the sample time. Returns: the new time. */
guint64 vorn_synth_advance_sample_time (VornSynth *synth, guint frames);

/**
 * vorn_synth_voice_stats:
 * @synth: a synthesizer
 * @active: (out) (optional): voices sounding
 * @peak: (out) (optional): most voices sounding at once since the last reset
 * @reset_peak: set the peak count to 0 after reading it
 */
void vorn_synth_voice_stats (VornSynth *synth, guint *active, guint *peak, gboolean reset_peak);

/* Returns: a new id for an input source (1, 2, 3, ...), 0 on a wrong
 * argument. */
guint vorn_synth_get_device_id (VornSynth *synth);

/**
 * vorn_synth_read_peak_levels:
 * @synth: a synthesizer
 * @levels: (out caller-allocates) (array length=count): receives the peak
 *   words, the bits of a 32-bit float each
 * @count: entries of @levels
 *
 * Reads and resets the peak word of each speaker; entries beyond the
 * speaker count (or all, when stopped) get 0.
 */
void vorn_synth_read_peak_levels (VornSynth *synth, guint32 *levels, int count);

/**
 * vorn_synth_get_speaker_curves:
 * @synth: a synthesizer
 * @balance: (out) (optional) (transfer none): the balance curve of each
 *   speaker, NULL when stopped
 * @latitude: (out) (optional) (transfer none): the latitude curves
 *
 * Returns: the number of curves in each array (the speaker count while
 *   started, else 0).
 */
guint vorn_synth_get_speaker_curves (VornSynth *synth, VornCurve ***balance,
                                     VornCurve ***latitude);

/* Class operation get_render_funcs: stores the addresses of the split and
 * the interleaved render-function slots (NULL when the class has none).
 * Kept for old drivers: vorn_synth_render_interleaved() replaces it. */
void vorn_synth_get_render_funcs (VornSynth *synth, gpointer *split_slot, gpointer *inter_slot);

/**
 * vorn_synth_render_interleaved: (skip)
 * @synth: a synthesizer
 * @out: (array): @frames × "speaker-count" floats (the count the running
 *   synthesizer was started with), speakers interleaved
 * @frames: frames wanted, any number
 *
 * Renders exactly @frames frames: applies waiting inbox messages, runs the
 * master queue and returns finished voices.  Silence while stopped.  Call
 * it from one render thread at a time (the audio callback); it never
 * allocates, frees, locks or logs.  Language bindings render with
 * vorn_synth_render_interleaved_bytes() instead.
 */
void vorn_synth_render_interleaved (VornSynth *synth, float *out, guint frames);

/**
 * vorn_synth_render_split: (skip)
 * @synth: a synthesizer
 * @out: (array): one buffer of @frames floats per speaker
 * @frames: frames wanted, any number
 *
 * As vorn_synth_render_interleaved(), one buffer per speaker.
 */
void vorn_synth_render_split (VornSynth *synth, float **out, guint frames);

/**
 * VornSynthEvent:
 * @frame: frame of the render call's block the event belongs to
 * @size: bytes of @data used
 * @data: a MIDI channel message; note-on and note-off are played, the
 *   rest is ignored
 *
 * An event for vorn_synth_render_events_interleaved().
 */
typedef struct {
  guint32 frame;
  guint8 size;
  guint8 data[3];
} VornSynthEvent;

/* Frames from an event's frame to the first frame of the voice it starts
 * (or the frame its release begins): two fragments, the same for every
 * event and every block length.  One is the most the renderer runs ahead
 * of the frames it delivered; the other lets note events be known a
 * fragment before they sound, so that a release lands on its frame in a
 * voice whose fragments straddle the master's. */
#define VORN_SYNTH_EVENT_LATENCY 128

/**
 * vorn_synth_render_events_interleaved: (skip)
 * @synth: a synthesizer
 * @out: as for vorn_synth_render_interleaved()
 * @frames: frames wanted
 * @events: (array length=n_events) (nullable): events in frame order, each
 *   @frame below @frames (later ones count as the last frame)
 * @n_events: entries of @events
 *
 * Renders like vorn_synth_render_interleaved() and plays @events on the
 * render thread: a note-on starts a voice exactly VORN_SYNTH_EVENT_LATENCY
 * frames after its frame, from the voices the synthesizer compiled ahead
 * for the channel's instrument (vorn_synth_prepare_voices()); a note-off
 * releases the oldest voice of its key at its frame plus the same latency
 * (a key struck again stacks its voices).  The sustain pedal holds
 * released keys; all notes off and all sound off release the channel's
 * keys.  Pitch bend (+-vorn_synth_set_bend_range() semitones, through the
 * channel's "Channel Pitch" control) and the modulation wheel (the morph
 * controls of the voices' instrument) apply from the start of the fragment
 * they fall in, to the channel's sounding voices and to those its note
 * events start later.  MIDI channel n plays channel n.  Never allocates,
 * locks or logs.  Events beyond what
 * can wait are counted (vorn_synth_get_event_overflow()); a note-on with
 * no prepared voice left is counted there too.
 */
void vorn_synth_render_events_interleaved (VornSynth *synth, float *out, guint frames,
                                           const VornSynthEvent *events, guint n_events);

/* As vorn_synth_render_events_interleaved(), one buffer per speaker. */
void vorn_synth_render_events_split (VornSynth *synth, float **out, guint frames,
                                     const VornSynthEvent *events, guint n_events);

/* Returns: the note events lost on the render thread (no room to wait, or
 * no prepared voice) since the synthesizer was made. */
guint vorn_synth_get_event_overflow (VornSynth *synth);

/**
 * vorn_synth_event_is_timed:
 * @msg: (array length=len): a MIDI message
 * @len: its bytes
 *
 * Returns: whether the render thread plays @msg at its frame (note-on,
 *   note-off, pitch bend, the modulation wheel, the sustain pedal, all
 *   notes off, all sound off); the rest is for the input manager.
 */
gboolean vorn_synth_event_is_timed (const guint8 *msg, gsize len);

/**
 * vorn_synth_set_bend_range:
 * @synth: a synthesizer (only a #VornSynthCpu bends)
 * @semitones: the pitch change of a full bend either way; 2 until set
 *
 * Sets the bend range of pitch bends played on the render thread; bends
 * held now follow at the next fragment.  Any thread; the input manager
 * passes its "bend-range" down.
 */
void vorn_synth_set_bend_range (VornSynth *synth, double semitones);

/**
 * vorn_synth_post_event:
 * @synth: a #VornSynthCpu
 * @time: the sample time to play @msg at; it starts VORN_SYNTH_EVENT_LATENCY
 *   frames later (earlier than the render thread has come counts as its
 *   next fragment)
 * @msg: (array length=len): a MIDI message
 * @len: its bytes
 *
 * Hands a note event to the render thread from any thread: never waits,
 * allocates or locks, so a real-time input thread may call it.  An event
 * the inbox has no room for is counted (vorn_synth_get_event_overflow()).
 *
 * Returns: FALSE when @msg is not played at its frame
 *   (vorn_synth_event_is_timed()) and was left alone.
 */
gboolean vorn_synth_post_event (VornSynth *synth, guint64 time, const guint8 *msg, gsize len);

/**
 * vorn_synth_set_frame_reference:
 * @synth: a #VornSynthCpu
 * @frame_time: the audio clock's frame count at the first frame of the
 *   render call about to be made
 *
 * Called by an audio driver whose server counts frames (JACK) on the render
 * thread before each render call, so that input on that server can tell
 * the sample time of its events (vorn_synth_frame_to_sample_time()).
 */
void vorn_synth_set_frame_reference (VornSynth *synth, guint64 frame_time);

/**
 * vorn_synth_frame_to_sample_time:
 * @synth: a #VornSynthCpu
 * @frame_time: a frame count of the audio server's clock
 * @sample_time: (out): the synthesizer's sample time of that frame
 *
 * Any thread; never waits.  Frame counts may wrap at 32 bits, as JACK's
 * do; @frame_time must lie within 2^31 frames of the reference.
 *
 * Returns: FALSE when no audio driver gave a frame reference.
 */
gboolean vorn_synth_frame_to_sample_time (VornSynth *synth, guint64 frame_time,
                                          guint64 *sample_time);

/**
 * vorn_synth_stamp_event_time:
 * @synth: a #VornSynthCpu
 *
 * For input without timestamps of the audio clock (the ALSA sequencer):
 * the sample time for an event arriving now, estimated from the wall time
 * of the last render call plus the longest render call so far, which is
 * the constant latency that lets every such event play at its offset.
 * Any thread; never waits.
 *
 * Returns: the sample time, 0 before the first render call.
 */
guint64 vorn_synth_stamp_event_time (VornSynth *synth);

/**
 * vorn_synth_prepare_voices:
 * @synth: a started synthesizer
 *
 * Compiles voices ahead for the note events of the render thread: tops up
 * every channel's prepared voices ("prepared-voices" of them) and replaces
 * them all when the channel's instrument changed or anything was edited
 * since they were compiled (vorn_util_edit_serial()).  API thread.
 *
 * Nothing is compiled ahead until the first call, which is how a program
 * that plays note events (a MIDI driver at its start) asks for it; from
 * then on starting, vorn_synth_set_inst() and the outbox source on every
 * main loop iteration that needs it keep the voices fresh, so a program
 * with a main loop calls it once, one without one between render calls.
 */
void vorn_synth_prepare_voices (VornSynth *synth);

/**
 * vorn_synth_get_master_tap:
 * @synth: a synthesizer
 *
 * The recorder of the master output ("Master Tap", speakers).  A settings
 * change that rebuilds the master (format, SIMD level, cores) or a restart
 * makes a new one; the one returned stays valid and readable for as long
 * as it is held, but stops recording then.  "notify::master-queue" tells
 * when to ask again.
 *
 * Returns: (transfer full) (nullable): the tap generator of the newest
 *   master, NULL while stopped.
 */
VornTapGen *vorn_synth_get_master_tap (VornSynth *synth);

/**
 * vorn_synth_queue_get_tap:
 * @queue: a voice queue (from vorn_synth_note_on() or a start-voice-notify
 *   message) or a master queue
 * @tap: the tap node inside the queue's tree
 *
 * Returns: (transfer full) (nullable): the generator that records @tap in
 *   @queue, valid for as long as it is held; NULL when @tap is not in it.
 */
VornTapGen *vorn_synth_queue_get_tap (VornQueue *queue, VornNode *tap);

/**
 * vorn_util_midi_note_freq:
 * @note: MIDI note 0 to 255
 *
 * Returns: 440 * 2^((@note - 69) / 12) in Hz.
 */
double vorn_util_midi_note_freq (guint8 note);

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
