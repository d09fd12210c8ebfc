/* Synthesizer base: speaker curves, note bookkeeping and posted messages; a
 * stub subclass records the voices it is asked to start. */
#include "vornadel.h"
#include "vorn-synth-private.h"
#include "vorn-test-log.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

struct StartCall { guint voice; int chan; double note; double volume; };
static std::vector<StartCall> start_calls;

typedef struct { VornSynth parent_instance; } StubSynth;
typedef struct { VornSynthClass parent_class; } StubSynthClass;
G_DEFINE_TYPE (StubSynth, stub_synth, VORN_TYPE_SYNTH)

static void stub_synth_init (StubSynth *) {}

static void
stub_start_voice (VornSynth *, guint voice, int chan, double note, double volume, VornQueue **)
{
  start_calls.push_back ({ voice, chan, note, volume });
}
static void stub_synth_class_init (StubSynthClass *klass) { VORN_SYNTH_CLASS (klass)->start_voice = stub_start_voice; }

using Msg = std::unique_ptr<VornSynthMsg, decltype (&vorn_synth_msg_free)>;

class Synth : public testing::Test
{
protected:
  void SetUp () override
  {
    start_calls.clear ();
    synth = VORN_SYNTH (g_object_new (stub_synth_get_type (), nullptr));
  }
  void TearDown () override { g_object_unref (synth); }

  /* Pops the next inbox message (the renderer's side), or none. */
  Msg inbox_pop ()
  {
    VornSynthMsg *msg = vorn_synth_ring_pop (vorn_synth_get_private (synth)->inbox);
    return Msg (msg, vorn_synth_msg_free);
  }

  VornSynth *synth = nullptr;
};

/* Gains of each speaker's curves at -1, 0 and 1 as a shape letter. */
static std::string
shapes (VornCurve **curves, guint n)
{
  std::string out;
  for (guint s = 0; s < n; s++)
    {
      g_autoptr (VornCurveCache) c = vorn_curve_cache_new_from_curve (curves[s], VORN_FORMAT_DOUBLE);
      double a = vorn_curve_cache_plot_point (c, -1.0), m = vorn_curve_cache_plot_point (c, 0.0),
             b = vorn_curve_cache_plot_point (c, 1.0);
      out += a == 1 && b == 1 && m == 1 ? 'F' : a == 1 && b == 0 ? 'D' : a == 0 && b == 1 ? 'R'
             : a == 0 && b == 0 && std::fabs (m - 1) < 1e-9 ? 'P' : '?';
    }
  return out;
}

TEST_F (Synth, SpeakerCurveTable)
{
  struct Row { guint n; const char *bal; const char *lat; };
  const Row rows[] = {
    { 1, "F", "F" }, { 2, "DR", "FF" }, { 3, "DRP", "FFF" },
    { 8, "DRPDRDRP", "RRRPPDDD" }, { 10, "DRPDRDRPFF", "RRRPPDDDFF" },
  };
  for (const Row &r : rows)
    {
      g_object_set (synth, "speaker-count", r.n, nullptr);
      vorn_synth_start (synth, nullptr);
      VornCurve **bal = nullptr, **lat = nullptr;
      ASSERT_EQ (vorn_synth_get_speaker_curves (synth, &bal, &lat), r.n);
      EXPECT_EQ (shapes (bal, r.n), r.bal) << r.n;
      EXPECT_EQ (shapes (lat, r.n), r.lat) << r.n;
    }
  vorn_synth_stop (synth);
  EXPECT_EQ (vorn_synth_get_private (synth)->node_tree, nullptr);
  EXPECT_EQ (vorn_synth_get_speaker_curves (synth, nullptr, nullptr), 0u);
}

TEST_F (Synth, NoteOnOff)
{
  vorn_synth_start (synth, nullptr);
  EXPECT_EQ (vorn_synth_note_on (synth, 1, 0, 0, 60, 127, nullptr), 0u); /* no instrument */
  g_autoptr (VornInst) inst = vorn_inst_new ();
  vorn_synth_set_inst (synth, 0, inst);

  EXPECT_EQ (vorn_synth_note_on (synth, 1, 7, 0, 60, 127, nullptr), 1u);
  guint second = vorn_synth_note_on (synth, 1, 7, 0, 60, 64, nullptr);
  guint other = vorn_synth_note_on (synth, 2, 7, 0, 60, 100, nullptr);
  ASSERT_EQ (start_calls.size (), 3u);
  EXPECT_NEAR (start_calls[0].volume, 1.0, 1e-15);
  EXPECT_TRUE (start_calls[1].note == 60.0 && start_calls[1].volume == 64 * (1.0 / 127.0));

  /* The second note-on replaced the first under the same key and released
   * it, as a note-off with velocity 0 would. */
  vorn_synth_note_off (synth, 1, 7, 0, 60, 127);
  vorn_synth_note_off (synth, 1, 7, 0, 60, 127); /* nothing left */
  vorn_synth_note_on (synth, 2, 7, 0, 60, 0, nullptr); /* velocity 0 releases */
  Msg m0 = inbox_pop (), m1 = inbox_pop (), m2 = inbox_pop ();
  ASSERT_TRUE (m0 && m1 && m2);
  EXPECT_EQ (inbox_pop (), nullptr);
  EXPECT_TRUE (m0->type == VORN_SYNTH_MSG_STOP_VOICE && m0->stop_voice.voice_id == 1u && m0->stop_voice.velocity == 0.0);
  EXPECT_TRUE (m1->type == VORN_SYNTH_MSG_STOP_VOICE && m1->stop_voice.voice_id == second
               && m1->stop_voice.velocity == 1.0);
  EXPECT_TRUE (m2->stop_voice.voice_id == other && m2->stop_voice.velocity == 0.0);

  EXPECT_EQ (vorn_synth_start_voice (synth, 0, 0, 61.5, 0.5, nullptr), 4u);
  EXPECT_EQ (vorn_synth_note_on (synth, 1, 0, 16, 60, 1, nullptr), 0u);
  EXPECT_CRITICAL ("chan >= 0 && chan < priv->chanCount");
}

TEST_F (Synth, PostedMessagesAndOutbox)
{
  vorn_synth_start (synth, nullptr);
  g_autoptr (VornInst) inst = vorn_inst_new ();
  vorn_synth_set_inst (synth, 3, inst);
  vorn_synth_set_control (synth, 4, 0.5);
  vorn_synth_set_inst_control (synth, 6, 3, 1, 0.25, VORN_WAVE_OP_ADD);
  vorn_synth_set_inst_control (synth, 6, 2, 1, 0.25, VORN_WAVE_OP_ADD); /* no instrument */

  Msg m = inbox_pop ();
  ASSERT_TRUE (m);
  EXPECT_TRUE (m->type == VORN_SYNTH_MSG_SET_CONTROL && m->set_control.control_id == 4 && m->set_control.value == 0.5);
  m = inbox_pop ();
  ASSERT_TRUE (m);
  const VornSynthMsgSetNodeControl &p = m->set_node_control;
  EXPECT_TRUE (m->type == VORN_SYNTH_MSG_SET_NODE_CONTROL && p.node == VORN_NODE (inst) && p.control_id == 6
               && p.chan_filter == 3 && p.max_count == 1 && p.op == VORN_WAVE_OP_ADD && p.value == 0.25);
  EXPECT_EQ (inbox_pop (), nullptr);

  /* A start-voice message frees its queue. */

  VornSynthMsg *sv = vorn_synth_msg_new (VORN_SYNTH_MSG_START_VOICE);
  g_autoptr (VornNode) root = vorn_node_new ();
  sv->start_voice.queue = vorn_queue_new (root, synth);
  GObject *queue = G_OBJECT (sv->start_voice.queue);
  g_object_add_weak_pointer (queue, reinterpret_cast<gpointer *> (&queue));
  vorn_synth_send_message (synth, sv); /* left in the inbox: freed with the synth */
  g_clear_object (&synth);
  EXPECT_EQ (queue, nullptr);
  synth = VORN_SYNTH (g_object_new (stub_synth_get_type (), nullptr)); /* for TearDown */
}
