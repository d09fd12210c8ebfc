/* MIDI messages reach voices through the input manager and the synth's
 * message path; measured from rendered audio and from voice controls. */
#include "vorn-test-log.h"
#include "test-synth-cpu.h"
#include "vornadel.h"

#include <initializer_list>

using synth_test::Synth;
using synth_test::RATE;
using signal_test::channel;
using signal_test::peak;

namespace {

float
control (VornQueue *queue, int id)
{
  return vorn_queue_get_private (queue)->controls[id].value.f;
}

gboolean
send (VornInputManager *manager, std::initializer_list<guint8> bytes)
{
  std::vector<guint8> msg (bytes);
  return vorn_input_manager_midi_event (manager, msg.data (), msg.size ());
}

/* Applies what the manager queued: it does so in this thread's context. */
void
pump ()
{
  while (g_main_context_iteration (nullptr, FALSE))
    ;
}

/* Sends and applies at once. */
void
play (VornInputManager *manager, std::initializer_list<guint8> bytes)
{
  EXPECT_TRUE (send (manager, bytes));
  pump ();
}

/* Renders until no voice sounds (at most 3 s); returns the frames. */
guint
render_until_silent (Synth &s)
{
  guint frames = 0;
  for (; s.active () && frames < 3 * 48000; frames += 480)
    s.render (480);
  return frames;
}

/* Renders past the one-second release of the default instrument. */
void
past_release (Synth &s)
{
  s.render (guint (1.5 * RATE));
}

double
frequency_of (Synth &s, guint frames = 9600)
{
  auto left = channel (s.render (frames), 0);
  return signal_test::frequency (left, RATE, 960);
}

/* The voice queues the synthesizer reports starting (start-voice-notify on). */
std::vector<VornQueue *>
started_queues (Synth &s)
{
  std::vector<VornQueue *> queues;
  while (VornSynthMsg *msg = vorn_synth_get_message (s.synth))
    {
      if (msg->type == VORN_SYNTH_MSG_START_VOICE_NOTIFY)
        queues.push_back (msg->start_voice_notify.queue);
      vorn_synth_msg_free (msg);
    }
  return queues;
}

} // namespace

TEST (InputManager, RejectsMalformedAndUnsupportedMessages)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 100, 6);
  g_object_set (s.synth, "channel-count", 4u, nullptr);   /* from the next start */
  g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);

  const std::vector<guint8> understood[] = {
    { 0x90, 60, 100 }, { 0x8f, 60, 0 }, { 0xb0, 64, 127 }, { 0xb0, 1, 0 }, { 0xb3, 123, 0 },
    { 0xb0, 120, 0 }, { 0xb0, 78, 127 }, { 0xc0, 5 }, { 0xe0, 0, 64 },
    { 0x95, 60, 100 },   /* beyond the channel count: understood, ignored */
  };
  const std::vector<guint8> refused[] = {
    {}, { 60, 100 } /* running status */, { 0x90, 60 }, { 0x90, 60, 100, 0 }, { 0x90, 0x80, 1 },
    { 0x90, 60, 0xff }, { 0xc0, 5, 0 }, { 0xe0, 0 }, { 0xb0, 7, 100 }, { 0xb0, 121, 0 },
    { 0xa0, 60, 10 }, { 0xd0, 10 }, { 0xf0, 0x7e, 0xf7 }, { 0xf8 }, { 0xff },
  };
  for (const auto &m : understood)
    EXPECT_TRUE (vorn_input_manager_midi_event (manager, m.data (), m.size ())) << int (m[0]);
  for (const auto &m : refused)
    EXPECT_FALSE (vorn_input_manager_midi_event (manager, m.data (), m.size ()))
        << (m.empty () ? -1 : int (m[0]));
  pump ();
  s.render (64);
  EXPECT_EQ (s.active (), 1u) << "only the first note on plays";
}

TEST (InputManager, VelocitySetsTheLevelAndNoteOffReleases)
{
  float level[2];
  const guint8 velocity[2] = { 127, 32 };
  for (int i = 0; i < 2; i++)
    {
      Synth s;
      g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);
      play (manager, { 0x90, 69, velocity[i] });
      level[i] = peak (channel (s.render (9600), 0), 4800);
      play (manager, { 0x81, 69, 0 });   /* another channel's key */
      play (manager, { 0x90, 69, 0 });   /* velocity 0 is a note off */
      EXPECT_GT (render_until_silent (s), guint (0.8 * RATE));
      EXPECT_EQ (s.active (), 0u);
    }
  EXPECT_GT (level[0], 0.05f);
  EXPECT_NEAR (level[1] / level[0], 32.0 / 127.0, 0.01);
}

TEST (InputManager, SustainPedalAndAllNotesOff)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 100, 2);
  g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);

  play (manager, { 0xb0, 64, 127 });
  play (manager, { 0x90, 60, 100 });
  play (manager, { 0x80, 60, 0 });
  play (manager, { 0x90, 64, 100 });   /* still down when the pedal rises */
  EXPECT_GT (peak (channel (s.render (3 * 48000), 0), 2 * 48000), 0.05f);
  EXPECT_EQ (s.active (), 2u);

  /* Striking the held key again restarts it: the old voice fades, and the
   * new one, released under the pedal, is held again. */
  play (manager, { 0x90, 60, 100 });
  s.render (480);
  EXPECT_EQ (s.active (), 3u);
  play (manager, { 0x80, 60, 0 });
  past_release (s);
  EXPECT_EQ (s.active (), 2u);

  /* Pedal up (below 64) releases the held key only. */
  play (manager, { 0xb0, 64, 63 });
  past_release (s);
  EXPECT_EQ (s.active (), 1u);

  /* All notes off releases the keys down (64) and held (60) on its channel;
   * the pedal stays down, and another channel plays on. */
  play (manager, { 0xb0, 64, 127 });
  play (manager, { 0x90, 60, 100 });
  play (manager, { 0x80, 60, 0 });
  play (manager, { 0x91, 67, 100 });
  play (manager, { 0xb0, 123, 0 });
  play (manager, { 0x90, 72, 100 });
  play (manager, { 0x80, 72, 0 });
  past_release (s);
  EXPECT_EQ (s.active (), 2u);
  play (manager, { 0xb0, 64, 0 });
  play (manager, { 0xb1, 123, 0 });
  EXPECT_EQ ((render_until_silent (s), s.active ()), 0u);

  /* All sound off: silent within a fragment, the voices end, another
   * channel plays on. */
  play (manager, { 0x90, 60, 127 });
  play (manager, { 0x90, 64, 127 });
  s.render (4800);
  play (manager, { 0x80, 60, 0 });   /* its release tail is cut too */
  s.render (480);
  play (manager, { 0xb0, 120, 0 });
  EXPECT_EQ (peak (channel (s.render (4800), 0), 128), 0.0f);
  EXPECT_EQ ((render_until_silent (s), s.active ()), 0u);
  play (manager, { 0x90, 60, 127 });
  play (manager, { 0x91, 67, 127 });
  s.render (4800);
  play (manager, { 0xb0, 120, 0 });
  EXPECT_GT (peak (channel (s.render (4800), 0), 128), 0.05f);
  past_release (s);
  EXPECT_EQ (s.active (), 1u);
}

TEST (InputManager, RelativeEncodersStepEveryVoiceOfTheChannel)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 100, 2);
  VornQueue *a = nullptr, *b = nullptr, *other = nullptr;
  s.note_on (60, 0, &a);
  s.note_on (64, 0, &b);
  s.note_on (60, 1, &other);
  s.render (64);
  const float volume = control (a, 1), pitch_a = control (a, 0);

  g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);
  vorn_input_manager_midi_cc (manager, 0, 71, 1);    /* Volume +1/64 */
  vorn_input_manager_midi_cc (manager, 0, 70, 127);  /* Pitch -1/64 */
  s.render (64);
  EXPECT_FLOAT_EQ (control (a, 1), volume + 0.015625f);
  EXPECT_FLOAT_EQ (control (b, 1), volume + 0.015625f);
  EXPECT_FLOAT_EQ (control (other, 1), volume) << "channel 1 is not addressed";
  EXPECT_FLOAT_EQ (control (a, 0), pitch_a - 0.015625f);

  vorn_input_manager_midi_cc (manager, 0, 71, 64);   /* -1.0 */
  s.render (64);
  EXPECT_FLOAT_EQ (control (a, 1), volume + 0.015625f - 1.0f);

  /* Neighbouring controllers and the step scale send nothing. */
  s.drain ();
  vorn_input_manager_midi_cc (manager, 0, 69, 5);
  vorn_input_manager_midi_cc (manager, 0, 79, 5);
  vorn_input_manager_midi_cc (manager, 0, 78, 127);
  s.render (64);
  EXPECT_EQ (s.drain ().others, 0);
  EXPECT_NEAR (vorn_input_manager_get_step_scale (manager), 10.0, 1e-12);
  vorn_input_manager_midi_cc (manager, 0, 78, 0);
  EXPECT_NEAR (vorn_input_manager_get_step_scale (manager), 0.001, 1e-15);

  /* cc 77 addresses control 7, which the default instrument lacks: harmless. */
  vorn_input_manager_midi_cc (manager, 0, 77, 3);
  s.render (64);
  EXPECT_EQ (s.drain ().others, 1);
  for (VornQueue *q : { a, b, other })
    g_object_unref (q);
}

TEST (InputManager, PitchBendScalesTheChannelsFrequency)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 100, 2);
  g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);
  const double up = std::exp2 (2.0 / 12.0);

  /* Full deflection both ways is exactly the bend range (2 semitones). */
  play (manager, { 0x90, 69, 127 });
  EXPECT_NEAR (frequency_of (s), 440.0, 0.1);
  play (manager, { 0xe0, 0x7f, 0x7f });
  EXPECT_NEAR (frequency_of (s), 440.0 * up, 0.1);
  play (manager, { 0xe0, 0, 0 });
  EXPECT_NEAR (frequency_of (s), 440.0 / up, 0.1);

  /* A voice started while bent is bent too; a new range applies to the
   * bend in force; channel 1 is not bent by channel 0's wheel. */
  play (manager, { 0x80, 69, 0 });
  past_release (s);
  play (manager, { 0x90, 81, 127 });
  EXPECT_NEAR (frequency_of (s), 880.0 / up, 0.2);
  g_object_set (manager, "bend-range", 12.0, nullptr);
  EXPECT_NEAR (frequency_of (s), 440.0, 0.1);
  play (manager, { 0x80, 81, 0 });
  past_release (s);
  play (manager, { 0x91, 69, 127 });
  EXPECT_NEAR (frequency_of (s), 440.0, 0.1);

  /* Full up is the whole range (4 octaves: an up scale of 1/8192 would be
   * 2 Hz short). */
  g_object_set (manager, "bend-range", 48.0, nullptr);
  play (manager, { 0xe0, 0x7f, 0x7f });
  play (manager, { 0x81, 69, 0 });
  past_release (s);
  play (manager, { 0x90, 45, 127 });
  EXPECT_NEAR (frequency_of (s), 110.0 * 16, 0.5);
}

TEST (InputManager, ProgramChangePicksAnInstrumentOfTheSameFile)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 100, 2);
  g_autoptr (VornFile) file = vorn_file_new ();
  g_autoptr (VornInst) low = vorn_inst_new_default ();
  g_autoptr (VornInst) high = vorn_inst_new_default ();
  g_object_set (high, "root-note", 57.0, nullptr);   /* plays an octave up */
  vorn_node_insert (VORN_NODE (file), VORN_NODE (low), -1);
  vorn_node_insert (VORN_NODE (file), VORN_NODE (high), -1);
  vorn_synth_set_inst (s.synth, 0, low);
  g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);

  play (manager, { 0xc0, 1 });
  play (manager, { 0x90, 69, 127 });
  EXPECT_NEAR (frequency_of (s), 880.0, 0.2);

  /* Counted from 0; beyond the file's instruments, or for an instrument in
   * no file, nothing changes. */
  play (manager, { 0xc0, 0 });
  play (manager, { 0xc0, 2 });
  EXPECT_EQ (vorn_synth_get_inst (s.synth, 0), low);
  play (manager, { 0xc1, 1 });
  EXPECT_EQ (vorn_synth_get_inst (s.synth, 1), s.inst);
}

TEST (InputManager, ModulationWheelDrivesTheMorphControls)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 100, 2);
  g_autoptr (VornInst) inst = vorn_inst_new_default ();
  g_autoptr (VornWave) level = vorn_wave_new_control ("Level", VORN_ATTRIB_TYPE_VOLUME,
                                                      VORN_WAVE_OP_MUL, 1.0);
  g_autoptr (VornWave) morph = vorn_wave_new_control ("Morph", VORN_ATTRIB_TYPE_MORPH,
                                                      VORN_WAVE_OP_SET, 0.25);
  vorn_node_insert (VORN_NODE (inst), VORN_NODE (level), -1);
  vorn_node_insert (VORN_NODE (inst), VORN_NODE (morph), -1);
  vorn_synth_set_inst (s.synth, 0, inst);
  const int id = vorn_synth_inst_get_control_id (inst, morph);
  const int level_id = vorn_synth_inst_get_control_id (inst, level);
  g_object_set (s.synth, "start-voice-notify", TRUE, nullptr);
  g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);

  play (manager, { 0x90, 60, 100 });
  play (manager, { 0x91, 60, 100 });   /* the default instrument: no morph control */
  play (manager, { 0xb1, 1, 127 });
  play (manager, { 0xb0, 1, 127 });
  s.render (64);
  std::vector<VornQueue *> queues = started_queues (s);
  ASSERT_EQ (queues.size (), 2u);
  EXPECT_FLOAT_EQ (control (queues[0], id), 1.0f);
  EXPECT_FLOAT_EQ (control (queues[0], level_id), 1.0f) << "other controls untouched";

  /* A voice started later begins at the wheel's position. */
  play (manager, { 0xb0, 1, 64 });
  play (manager, { 0x90, 62, 100 });
  s.render (64);
  queues.push_back (started_queues (s).at (0));
  EXPECT_FLOAT_EQ (control (queues[2], id), float (64 / 127.0));
  EXPECT_FLOAT_EQ (control (queues[0], id), float (64 / 127.0));
  EXPECT_EQ (morph->init_value, 0.25) << "the instrument itself is not edited";
  for (VornQueue *q : queues)
    g_object_unref (q);
}

/* A driver switched while keys are held or the wheel is bent leaves
 * nothing behind. */
TEST (InputManager, ReleasingTheManagerReleasesItsNotesAndBends)
{
  Synth s;
  VornInputManager *manager = vorn_input_manager_new (s.synth);
  g_autoptr (VornInputManager) keyboard = vorn_input_manager_new (s.synth);
  play (manager, { 0xb0, 64, 127 });
  play (manager, { 0x90, 60, 100 });
  play (manager, { 0x80, 60, 0 });
  play (manager, { 0xe0, 0, 0 });
  play (keyboard, { 0x90, 69, 100 });   /* another device: its own voice */
  EXPECT_TRUE (send (manager, { 0x90, 72, 100 }));   /* queued, dropped */
  g_object_unref (manager);
  pump ();
  past_release (s);
  EXPECT_EQ (s.active (), 1u);
  EXPECT_NEAR (frequency_of (s), 440.0, 0.1) << "bend straightened";
}
