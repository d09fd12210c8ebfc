/* vorn-input-manager.cpp: MIDI channel messages to synthesizer notes and controls
 *
 * Threads.  A note-on compiles a voice queue from the channel's instrument
 * tree, and the GUI thread edits that tree (properties, curves, morphs,
 * children) without any lock: the synthesizer's API lock only guards its
 * own bookkeeping.  Starting voices on a back end's input thread would race
 * with every edit, so vorn_input_manager_midi_event() only checks a message
 * and queues it; a GSource in the main context the manager was made in
 * applies the queue there, in arrival order.  The input thread never waits
 * for that context, nor takes a lock or allocates (a JACK process callback
 * is a real-time thread): it pushes to a bounded lock-free ring and wakes
 * the source through an eventfd.  Everything below "main context"
 * therefore runs on one thread and needs no locking. */
#include "vorn-input-manager.h"

#include "vorn-event-ring.h"
#include "vorn-inst.h"
#include "vorn-wave.h"

#include <atomic>
#include <cmath>
#include <new>
#include <sys/eventfd.h>
#include <unistd.h>

enum {
  PROP_0,
  PROP_SYNTH,
  PROP_BEND_RANGE,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

namespace {

constexpr guint MIDI_CHANNELS = 16;
constexpr guint BEND_CENTER = 8192;
/* Events applied per dispatch, so that a flood cannot starve the GUI. */
constexpr guint DISPATCH_BATCH = 256;
/* Events waiting at most: seconds of the densest playing.  Beyond, the main
 * context has stalled and new events are dropped. */
constexpr guint RING_SIZE = 4096;

/* Events from input threads for the main context. */
using EventRing = VornEventRing<guint32, RING_SIZE>;

struct ChannelState {
  guint64 down[2];   /* keys with a voice of ours: pressed, or held by the pedal */
  guint64 held[2];   /* keys released while the pedal was down */
  guint voice[128];  /* newest voice id of each key in down */
  guint bend;        /* 14-bit pitch bend, BEND_CENTER when centred */
  int mod;           /* modulation wheel 0..127, -1 until it moves */
  gboolean sustain;
};

inline bool
bit_get (const guint64 *set, guint8 note)
{
  return (set[note >> 6] >> (note & 63)) & 1;
}

inline void
bit_put (guint64 *set, guint8 note, bool on)
{
  const guint64 mask = guint64 (1) << (note & 63);
  set[note >> 6] = on ? set[note >> 6] | mask : set[note >> 6] & ~mask;
}

struct EventSource {
  GSource source;
  VornInputManager *manager; /* cleared by dispose */
};

} // namespace

struct _VornInputManager {
  GObject parent_instance;

  VornSynth *synth;
  double step_scale;
  double bend_range;
  guint16 device_id;
  gboolean disposed;

  /* Crossing threads: queued events (packed, see pack_event), the eventfd
   * that wakes the source that applies them, and whether a wake-up is on
   * its way already.  All live from init to finalize. */
  EventRing *ring;
  int wake_fd;
  std::atomic<int> wake_pending;
  GSource *source;

  /* Main context only. */
  ChannelState chans[MIDI_CHANNELS];
};

G_DEFINE_FINAL_TYPE (VornInputManager, vorn_input_manager, G_TYPE_OBJECT)

/* ---- main context: applying messages ------------------------------------- */

static guint
channel_count (VornInputManager *manager)
{
  guint count = 0;
  g_object_get (manager->synth, "channel-count", &count, nullptr);
  return count;
}

/* The id of the master queue's "Channel Pitch" control of @chan: that
 * control scales the pitch of every voice attached to the channel, so a
 * bend set there reaches the sounding voices and the ones started later
 * alike.  -1 while the synthesizer is stopped. */
static int
channel_pitch_control (VornSynth *synth, guint chan)
{
  VornNode *tree = nullptr;
  g_object_get (synth, "node-tree", &tree, nullptr);
  if (!tree)
    return -1;

  int id = -1;
  guint point = 0;
  for (VornNode *node = tree->children; node && id < 0; node = node->next)
    {
      if (!node->attach_point)
        continue;
      if (point++ != chan)
        continue;
      for (VornNode *child = node->children; child; child = child->next)
        if (VORN_IS_WAVE (child) && VORN_WAVE (child)->kind == VORN_WAVE_KIND_CTRL_PITCH)
          {
            int pos = vorn_queue_node_get_control_id (tree, VORN_WAVE (child));
            id = pos < 0 ? -1 : pos + 3;
            break;
          }
      break;
    }
  g_object_unref (tree);
  return id;
}

static void
apply_bend (VornInputManager *manager, guint chan)
{
  const int id = channel_pitch_control (manager->synth, chan);
  if (id < 0 || id > G_MAXUINT16)
    return;
  /* Full range both ways: 0 is -range, 16383 is +range. */
  const int offset = int (manager->chans[chan].bend) - int (BEND_CENTER);
  const double semis = manager->bend_range * offset / (offset < 0 ? 8192.0 : 8191.0);
  vorn_synth_set_control (manager->synth, guint16 (id), std::exp2 (semis / 12.0));
}

struct MorphControls {
  VornInst *inst;
  int ids[16];
  guint count;
};

static gboolean
collect_morph_control (VornNode *node, gpointer data)
{
  auto *mc = static_cast<MorphControls *> (data);
  if (mc->count < G_N_ELEMENTS (mc->ids) && VORN_IS_WAVE (node) && !node->mute
      && VORN_WAVE (node)->kind == VORN_WAVE_KIND_CTRL_MORPH)
    {
      int id = vorn_synth_inst_get_control_id (mc->inst, VORN_WAVE (node));
      if (id >= 0 && id <= G_MAXUINT16)
        mc->ids[mc->count++] = id;
    }
  return TRUE;
}

/* The voice control ids of the morph control waves of @chan's instrument,
 * read from the tree as it is now (the user may have added or removed one
 * since the last event). */
static MorphControls
morph_controls (VornInputManager *manager, guint chan)
{
  MorphControls mc {};
  mc.inst = vorn_synth_get_inst (manager->synth, int (chan));
  if (mc.inst)
    vorn_node_post_traverse (VORN_NODE (mc.inst), collect_morph_control, &mc);
  return mc;
}

static void
release_key (VornInputManager *manager, guint chan, guint8 note, guint8 velocity)
{
  ChannelState *cs = &manager->chans[chan];
  bit_put (cs->down, note, false);
  bit_put (cs->held, note, false);
  cs->voice[note] = 0;
  vorn_synth_note_off (manager->synth, manager->device_id, 0, int (chan), note, velocity);
}

static void
note_on (VornInputManager *manager, guint chan, guint8 note, guint8 velocity)
{
  ChannelState *cs = &manager->chans[chan];
  /* A held key struck again: the synthesizer releases the old voice when
   * the same key starts a new one, so the note restarts rather than
   * doubling up.  The key is down again, no longer waiting for the pedal. */
  bit_put (cs->held, note, false);
  guint voice = vorn_synth_note_on (manager->synth, manager->device_id, 0, int (chan), note,
                                    velocity, nullptr);
  bit_put (cs->down, note, voice != 0);
  cs->voice[note] = voice;
  if (voice && cs->mod >= 0)
    {
      MorphControls mc = morph_controls (manager, chan);
      for (guint i = 0; i < mc.count; i++)
        vorn_synth_set_voice_control (manager->synth, voice, guint16 (mc.ids[i]),
                                      cs->mod / 127.0);
    }
}

static void
note_off (VornInputManager *manager, guint chan, guint8 note, guint8 velocity)
{
  ChannelState *cs = &manager->chans[chan];
  if (!bit_get (cs->down, note))
    return;
  if (cs->sustain)
    bit_put (cs->held, note, true);
  else
    release_key (manager, chan, note, velocity);
}

static void
all_notes_off (VornInputManager *manager, guint chan)
{
  ChannelState *cs = &manager->chans[chan];
  for (guint n = 0; n < 128; n++)
    if (bit_get (cs->down, guint8 (n)))
      release_key (manager, chan, guint8 (n), 0);
}

/* Silence now, then let the voices end: their Volume control goes to 0
 * before the note-offs, so release envelopes play out unheard.  Our own
 * voices are addressed one by one (one may belong to an instrument the
 * channel no longer plays); the channel's instrument catches the rest,
 * release tails and other devices' notes included. */
static void
all_sound_off (VornInputManager *manager, guint chan)
{
  ChannelState *cs = &manager->chans[chan];
  for (guint n = 0; n < 128; n++)
    if (cs->voice[n])
      vorn_synth_set_voice_control (manager->synth, cs->voice[n], VORN_QUEUE_CONTROL_VOLUME, 0.0);
  vorn_synth_set_inst_control (manager->synth, VORN_QUEUE_CONTROL_VOLUME, int (chan), 0, 0.0,
                               VORN_WAVE_OP_SET);
  all_notes_off (manager, chan);
}

static void
sustain (VornInputManager *manager, guint chan, gboolean down)
{
  ChannelState *cs = &manager->chans[chan];
  cs->sustain = down;
  if (down)
    return;
  for (guint n = 0; n < 128; n++)
    if (bit_get (cs->held, guint8 (n)))
      release_key (manager, chan, guint8 (n), 0);
}

static void
modulation (VornInputManager *manager, guint chan, guint8 value)
{
  manager->chans[chan].mod = value;
  MorphControls mc = morph_controls (manager, chan);
  for (guint i = 0; i < mc.count; i++)
    vorn_synth_set_inst_control (manager->synth, guint16 (mc.ids[i]), int (chan), 0, value / 127.0,
                                 VORN_WAVE_OP_SET);
}

struct InstIndex {
  guint8 wanted;
  guint seen;
  VornInst *found;
};

static gboolean
find_inst (VornNode *node, gpointer data)
{
  auto *ii = static_cast<InstIndex *> (data);
  if (VORN_IS_INST (node) && ii->seen++ == ii->wanted)
    {
      ii->found = VORN_INST (node);
      return FALSE;
    }
  return TRUE;
}

static void
program_change (VornInputManager *manager, guint chan, guint8 program)
{
  VornInst *current = vorn_synth_get_inst (manager->synth, int (chan));
  if (!current)
    return;
  /* Instruments in file order: a pre-order walk of the file's tree. */
  InstIndex ii { program, 0, nullptr };
  vorn_node_pre_traverse (vorn_node_get_root (VORN_NODE (current)), find_inst, &ii);
  if (ii.found && ii.found != current)
    vorn_synth_set_inst (manager->synth, int (chan), ii.found);
}

/* Events travel as status | data1 << 8 | data2 << 16, with bit 24 set so
 * that no event is a NULL pointer. */
static inline guint32
pack_event (guint8 status, guint8 d1, guint8 d2)
{
  return guint32 (status) | guint32 (d1) << 8 | guint32 (d2) << 16 | guint32 (1) << 24;
}

static void
apply_event (VornInputManager *manager, guint32 event)
{
  const guint8 status = guint8 (event), d1 = guint8 (event >> 8), d2 = guint8 (event >> 16);
  const guint chan = status & 0x0f;
  if (!manager->synth || chan >= channel_count (manager))
    return;

  switch (status & 0xf0)
    {
    case 0x80:
      note_off (manager, chan, d1, d2);
      break;
    case 0x90:
      if (d2 == 0)
        note_off (manager, chan, d1, 0);
      else
        note_on (manager, chan, d1, d2);
      break;
    case 0xb0:
      if (d1 == 1)
        modulation (manager, chan, d2);
      else if (d1 == 64)
        sustain (manager, chan, d2 >= 64);
      else if (d1 == 120)
        all_sound_off (manager, chan);
      else if (d1 == 123)
        all_notes_off (manager, chan);
      else
        vorn_input_manager_midi_cc (manager, guint8 (chan), d1, d2);
      break;
    case 0xc0:
      program_change (manager, chan, d1);
      break;
    case 0xe0:
      manager->chans[chan].bend = guint (d1) | guint (d2) << 7;
      apply_bend (manager, chan);
      break;
    default:
      break;
    }
}

static gboolean
event_source_dispatch (GSource *source, GSourceFunc, gpointer)
{
  g_source_set_ready_time (source, -1);
  VornInputManager *manager = reinterpret_cast<EventSource *> (source)->manager;
  if (!manager)
    return G_SOURCE_CONTINUE;

  /* Both cleared before the ring is read: an event pushed after this point
   * wakes the source again, so none is left behind. */
  guint64 count;
  if (manager->wake_fd >= 0 && read (manager->wake_fd, &count, sizeof count) < 0)
    {
      /* EAGAIN: woken by the ready time, not the descriptor. */
    }
  manager->wake_pending.store (0);

  guint32 event;
  for (guint n = 0; n < DISPATCH_BATCH; n++)
    {
      if (!manager->ring->pop (&event))
        return G_SOURCE_CONTINUE;
      apply_event (manager, event);
    }
  /* More waiting: come back after the other sources had their turn. */
  g_source_set_ready_time (source, 0);
  return G_SOURCE_CONTINUE;
}

static GSourceFuncs event_source_funcs = {
  nullptr, nullptr, event_source_dispatch, nullptr, nullptr, nullptr,
};

/* ---- object ---------------------------------------------------------------- */

static void
vorn_input_manager_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  VornInputManager *manager = VORN_INPUT_MANAGER (object);

  switch (prop_id)
    {
    case PROP_SYNTH:
      g_value_set_object (value, manager->synth);
      break;
    case PROP_BEND_RANGE:
      g_value_set_double (value, manager->bend_range);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
vorn_input_manager_set_property (GObject *object, guint prop_id, const GValue *value,
                                 GParamSpec *pspec)
{
  VornInputManager *manager = VORN_INPUT_MANAGER (object);

  switch (prop_id)
    {
    case PROP_SYNTH:
      g_set_object (&manager->synth, static_cast<VornSynth *> (g_value_get_object (value)));
      break;
    case PROP_BEND_RANGE:
      {
        const double range = g_value_get_double (value);
        if (range == manager->bend_range)
          break;
        manager->bend_range = range;
        /* Bends from MIDI drivers play on the render thread. */
        if (manager->synth)
          vorn_synth_set_bend_range (manager->synth, range);
        /* Channels bent now take the new range at once. */
        if (manager->synth && !manager->disposed)
          for (guint c = 0; c < MIDI_CHANNELS; c++)
            if (manager->chans[c].bend != BEND_CENTER)
              apply_bend (manager, c);
        g_object_notify_by_pspec (object, pspec);
      }
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
vorn_input_manager_constructed (GObject *object)
{
  G_OBJECT_CLASS (vorn_input_manager_parent_class)->constructed (object);

  VornInputManager *manager = VORN_INPUT_MANAGER (object);
  if (manager->synth)
    {
      manager->device_id = guint16 (vorn_synth_get_device_id (manager->synth));
      vorn_synth_set_bend_range (manager->synth, manager->bend_range);
    }

  g_autoptr (GMainContext) context = g_main_context_ref_thread_default ();
  g_source_attach (manager->source, context);
}

static void
vorn_input_manager_dispose (GObject *object)
{
  VornInputManager *manager = VORN_INPUT_MANAGER (object);

  if (!manager->disposed)
    {
      manager->disposed = TRUE;
      g_source_destroy (manager->source);
      reinterpret_cast<EventSource *> (manager->source)->manager = nullptr;
      /* Nothing will release our keys or straighten our bends later. */
      if (manager->synth && vorn_synth_is_started (manager->synth))
        {
          const guint count = MIN (channel_count (manager), MIDI_CHANNELS);
          for (guint c = 0; c < count; c++)
            {
              all_notes_off (manager, c);
              if (manager->chans[c].bend != BEND_CENTER)
                {
                  manager->chans[c].bend = BEND_CENTER;
                  apply_bend (manager, c);
                }
            }
        }
    }
  g_clear_object (&manager->synth);
  G_OBJECT_CLASS (vorn_input_manager_parent_class)->dispose (object);
}

static void
vorn_input_manager_finalize (GObject *object)
{
  VornInputManager *manager = VORN_INPUT_MANAGER (object);

  g_source_unref (manager->source);
  if (manager->wake_fd >= 0)
    close (manager->wake_fd);
  manager->wake_pending.~atomic ();
  manager->ring->~EventRing ();
  g_free (manager->ring);
  G_OBJECT_CLASS (vorn_input_manager_parent_class)->finalize (object);
}

static void
vorn_input_manager_class_init (VornInputManagerClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->get_property = vorn_input_manager_get_property;
  object_class->set_property = vorn_input_manager_set_property;
  object_class->constructed = vorn_input_manager_constructed;
  object_class->dispose = vorn_input_manager_dispose;
  object_class->finalize = vorn_input_manager_finalize;

  properties[PROP_SYNTH] =
    g_param_spec_object ("synth", "Synth", "Synthesizer object", VORN_TYPE_SYNTH,
                         GParamFlags (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY
                                      | G_PARAM_STATIC_STRINGS));
  properties[PROP_BEND_RANGE] =
    g_param_spec_double ("bend-range", "BendRange",
                         "Pitch bend range in semitones at full deflection", 0.0,
                         VORN_INPUT_MANAGER_MAX_BEND_RANGE, 2.0,
                         GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY
                                      | G_PARAM_STATIC_STRINGS));
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
vorn_input_manager_init (VornInputManager *manager)
{
  manager->step_scale = 0.01;
  manager->bend_range = 2.0;
  for (ChannelState &cs : manager->chans)
    {
      cs.bend = BEND_CENTER;
      cs.mod = -1;
    }
  manager->ring = new (g_malloc0 (sizeof (EventRing))) EventRing ();
  manager->ring->init ();
  new (&manager->wake_pending) std::atomic<int> (0);
  manager->wake_fd = eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK);
  manager->source = g_source_new (&event_source_funcs, sizeof (EventSource));
  /* Without a descriptor (none left) producers mark the source ready
   * instead, which takes the context's lock: slower, still correct. */
  if (manager->wake_fd >= 0)
    g_source_add_unix_fd (manager->source, manager->wake_fd, G_IO_IN);
  reinterpret_cast<EventSource *> (manager->source)->manager = manager;
  g_source_set_priority (manager->source, G_PRIORITY_HIGH);
  g_source_set_static_name (manager->source, "VornInputManager events");
}

/* ---- public ------------------------------------------------------------------ */

VornInputManager *
vorn_input_manager_new (VornSynth *synth)
{
  return static_cast<VornInputManager *> (
    g_object_new (VORN_TYPE_INPUT_MANAGER, "synth", synth, nullptr));
}

/* Any thread: the checks need nothing but the bytes. */
static gboolean
message_supported (const guint8 *msg, gsize len)
{
  const guint8 status = msg[0];
  if (status < 0x80 || status >= 0xf0)
    return FALSE;
  const guint8 type = status & 0xf0;
  const gsize want = type == 0xc0 || type == 0xd0 ? 2 : 3;
  if (len != want)
    return FALSE;
  for (gsize i = 1; i < len; i++)
    if (msg[i] > 0x7f)
      return FALSE;

  switch (type)
    {
    case 0x80:
    case 0x90:
    case 0xc0:
    case 0xe0:
      return TRUE;
    case 0xb0:
      {
        const guint8 cc = msg[1];
        return cc == 1 || cc == 64 || (cc >= 70 && cc <= 78) || cc == 120 || cc == 123;
      }
    default:
      /* Polyphonic and channel aftertouch. */
      return FALSE;
    }
}

gboolean
vorn_input_manager_midi_event (VornInputManager *manager, const guint8 *msg, gsize len)
{
  g_return_val_if_fail (VORN_IS_INPUT_MANAGER (manager), FALSE);
  g_return_val_if_fail (msg != NULL || len == 0, FALSE);

  if (len == 0 || !message_supported (msg, len))
    return FALSE;

  /* A full ring means the main context has not run for thousands of
   * events; the message is dropped, though understood. */
  if (!manager->ring->push (pack_event (msg[0], msg[1], len > 2 ? msg[2] : 0)))
    return TRUE;
  /* After the push: the dispatch clears the mark before it reads.  One
   * write per batch the context has not taken yet. */
  if (!manager->wake_pending.exchange (1))
    {
      const guint64 one = 1;
      if (manager->wake_fd < 0)
        g_source_set_ready_time (manager->source, 0);
      else if (write (manager->wake_fd, &one, sizeof one) < 0)
        {
          /* Only when the counter is full, so a wake-up is due anyway. */
        }
    }
  return TRUE;
}

void
vorn_input_manager_midi_cc (VornInputManager *manager, guint8 chan, guint8 cc, guint8 value)
{
  if (!VORN_IS_INPUT_MANAGER (manager))
    {
      g_return_if_fail_warning (nullptr, G_STRFUNC, "VORN_INPUT_MANAGER (manager)");
      return;
    }

  if (cc >= 70 && cc <= 77)
    {
      /* Two's-complement style relative encoder: 1..63 up, 64..127 down. */
      double step = value < 64 ? value * 0.015625 : -(128 - value) * 0.015625;
      if (manager->synth)
        vorn_synth_set_inst_control (manager->synth, guint16 (cc - 70), chan, 0, step,
                                     VORN_WAVE_OP_ADD);
    }
  else if (cc == 78)
    manager->step_scale = std::exp ((value * 0.031496062992125984 - 3) * 2.302585092994046);
}

double
vorn_input_manager_get_step_scale (VornInputManager *manager)
{
  g_return_val_if_fail (VORN_IS_INPUT_MANAGER (manager), 0.0);
  return manager->step_scale;
}
