/* MIDI messages reach voices through the input manager and the synth's
 * message path, measured from rendered audio and from voice controls; input
 * threads never wait for the main context (run under TSan too); ALSA
 * sequencer events as MIDI bytes, and the drivers' start failures. */
#include "vorn-test-log.h"
#include "test-synth-cpu.h"
#include "vornadel.h"
#include "vorn-midi-alsa-event.h"

#include <atomic>
#include <functional>
#include <initializer_list>
#include <thread>

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

/* Pitch bend and program change, heard as the pitch of the one voice
 * sounding.  Each row sets the bend range, sends its messages (an empty one
 * renders past the release of what was let go) and measures; rows build on
 * the state the earlier ones left.  Channel 0 starts on the first of two
 * instruments of one file, the second playing an octave up. */
TEST (InputManager, BendAndProgramChangeSetThePitch)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 100, 2);
  g_autoptr (VornFile) file = vorn_file_new ();
  g_autoptr (VornInst) low = vorn_inst_new_default ();
  g_autoptr (VornInst) high = vorn_inst_new_default ();
  g_object_set (high, "root-note", 57.0, nullptr);
  vorn_node_insert (VORN_NODE (file), VORN_NODE (low), -1);
  vorn_node_insert (VORN_NODE (file), VORN_NODE (high), -1);
  vorn_synth_set_inst (s.synth, 0, low);
  g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);

  const double up = std::exp2 (2.0 / 12.0);
  const struct {
    const char *what;
    double range;
    std::vector<std::vector<guint8>> msgs;
    double hz, tol;
  } rows[] = {
    { "unbent", 2, { { 0x90, 69, 127 } }, 440.0, 0.1 },
    { "full up is the range", 2, { { 0xe0, 0x7f, 0x7f } }, 440.0 * up, 0.1 },
    { "full down is the range", 2, { { 0xe0, 0, 0 } }, 440.0 / up, 0.1 },
    { "a voice started while bent", 2, { { 0x80, 69, 0 }, {}, { 0x90, 81, 127 } }, 880.0 / up, 0.2 },
    { "a new range applies to the bend in force", 12, {}, 440.0, 0.1 },
    { "channel 1 is not bent by channel 0", 12, { { 0x80, 81, 0 }, {}, { 0x91, 69, 127 } }, 440.0, 0.1 },
    /* An up scale of 1/8192 would be 2 Hz short over four octaves. */
    { "full up is the whole of a wide range", 48,
      { { 0xe0, 0x7f, 0x7f }, { 0x81, 69, 0 }, {}, { 0x90, 45, 127 } }, 110.0 * 16, 0.5 },
    { "program 1 is the second instrument", 48,
      { { 0xe0, 0, 0x40 }, { 0x80, 45, 0 }, {}, { 0xc0, 1 }, { 0x90, 69, 127 } }, 880.0, 0.2 },
    { "a program beyond the file changes nothing", 48,
      { { 0xc0, 2 }, { 0x80, 69, 0 }, {}, { 0x90, 69, 127 } }, 880.0, 0.2 },
    { "program 0 is the first", 48, { { 0xc0, 0 }, { 0x80, 69, 0 }, {}, { 0x90, 69, 127 } }, 440.0, 0.1 },
    { "an instrument in no file keeps its program", 48,
      { { 0xc1, 1 }, { 0x80, 69, 0 }, {}, { 0x91, 69, 127 } }, 440.0, 0.1 },
  };
  for (const auto &row : rows)
    {
      g_object_set (manager, "bend-range", row.range, nullptr);
      for (const auto &msg : row.msgs)
        if (msg.empty ())
          past_release (s);
        else
          {
            EXPECT_TRUE (vorn_input_manager_midi_event (manager, msg.data (), msg.size ()));
            pump ();
          }
      EXPECT_NEAR (frequency_of (s), row.hz, row.tol) << row.what;
    }
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

/* Input threads hand their messages to the main context that made the
 * manager and never wait for it: a voice compiled on an input thread would
 * race with the instrument edits below. */
TEST (InputManagerThreads, InputThreadsNeverWaitAndVoicesStartOnTheContextThread)
{
  /* Room for every voice of the burst: nothing renders while it applies. */
  Synth s (VORN_FORMAT_SINGLE, 1, 400, 16);
  g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);

  /* Two threads (channels 0-7 and 8-15) send while the context is not
   * iterated at all; each channel ends with its last note on. */
  auto burst = [&] (guint8 first) {
    for (int round = 0; round < 20; round++)
      for (guint8 chan = first; chan < first + 8; chan++)
        {
          EXPECT_TRUE (send (manager, { guint8 (0x90 | chan), 60, 100 }));
          EXPECT_TRUE (send (manager, { guint8 (0xe0 | chan), guint8 (round), 64 }));
          if (round < 19)
            {
              EXPECT_TRUE (send (manager, { guint8 (0x80 | chan), 60, 0 }));
            }
        }
  };
  std::thread low (burst, 0), high (burst, 8);
  low.join ();
  high.join ();
  s.render (64);
  EXPECT_EQ (s.active (), 0u) << "nothing applied before the context runs";
  while (g_main_context_iteration (nullptr, FALSE))
    ;
  s.render (64);
  EXPECT_EQ (s.active (), 320u);
  s.render (guint (1.5 * synth_test::RATE));
  EXPECT_EQ (s.active (), 16u);
  for (guint8 chan = 0; chan < 16; chan++)
    EXPECT_TRUE (send (manager, { guint8 (0xb0 | chan), 123, 0 }));

  /* Notes from a thread while this one edits the instrument and renders,
   * as the GUI thread and the audio callback do. */
  VornWave *wave = VORN_WAVE (VORN_NODE (s.inst)->children->next->next);
  std::atomic<bool> done { false };
  std::thread input ([&] {
    for (int i = 0; i < 2000; i++)
      {
        EXPECT_TRUE (send (manager, { 0x90, guint8 (48 + i % 24), 100 }));
        EXPECT_TRUE (send (manager, { 0xb0, 1, guint8 (i & 0x7f) }));
        EXPECT_TRUE (send (manager, { 0x80, guint8 (48 + i % 24), 0 }));
        if (i % 100 == 0)
          g_usleep (100);
      }
    done = true;
  });
  for (double scale = 0.5; !done.load (); scale = scale > 0.9 ? 0.5 : scale + 0.01)
    {
      g_main_context_iteration (nullptr, FALSE);
      g_object_set (wave, "y-scale", scale, nullptr);
      s.render (64);
      s.drain ();
    }
  input.join ();
  while (g_main_context_iteration (nullptr, FALSE))
    ;
  for (int i = 0; i < 300 && s.active (); i++)
    {
      s.render (480);
      s.drain ();
    }
  EXPECT_EQ (s.active (), 0u) << "every note off arrived after its note on";
}

namespace {

constexpr const char *SEQ = "/dev/snd/seq";

std::vector<guint8>
translate (const std::function<void (snd_seq_event_t *)> &fill)
{
  snd_seq_event_t ev;
  snd_seq_ev_clear (&ev);
  fill (&ev);
  guint8 out[3] = { 0xaa, 0xaa, 0xaa };
  gsize len = vorn_midi_alsa_event_to_bytes (&ev, out);
  EXPECT_LE (len, 3u);
  return std::vector<guint8> (out, out + MIN (len, gsize (3)));
}

using Bytes = std::vector<guint8>;

} // namespace

TEST (AlsaEvent, ChannelMessagesBecomeMidiBytes)
{
  using Fill = std::function<void (snd_seq_event_t *)>;
  const std::pair<Fill, Bytes> good[] = {
    { [] (auto ev) { snd_seq_ev_set_noteon (ev, 0, 60, 100); }, { 0x90, 60, 100 } },
    /* Velocity 0 stays a note on: the input manager makes it a note off. */
    { [] (auto ev) { snd_seq_ev_set_noteon (ev, 15, 127, 0); }, { 0x9f, 127, 0 } },
    { [] (auto ev) { snd_seq_ev_set_noteoff (ev, 9, 36, 64); }, { 0x89, 36, 64 } },
    { [] (auto ev) { snd_seq_ev_set_keypress (ev, 2, 60, 5); }, { 0xa2, 60, 5 } },
    { [] (auto ev) { snd_seq_ev_set_controller (ev, 3, 64, 127); }, { 0xb3, 64, 127 } },
    { [] (auto ev) { snd_seq_ev_set_pgmchange (ev, 4, 17); }, { 0xc4, 17 } },
    { [] (auto ev) { snd_seq_ev_set_chanpress (ev, 5, 90); }, { 0xd5, 90 } },
    /* Bend: signed around 0 in the sequencer, 14 bits around 8192 in MIDI,
     * least significant 7 bits first. */
    { [] (auto ev) { snd_seq_ev_set_pitchbend (ev, 0, 0); }, { 0xe0, 0x00, 0x40 } },
    { [] (auto ev) { snd_seq_ev_set_pitchbend (ev, 1, -8192); }, { 0xe1, 0x00, 0x00 } },
    { [] (auto ev) { snd_seq_ev_set_pitchbend (ev, 2, 8191); }, { 0xe2, 0x7f, 0x7f } },
    { [] (auto ev) { snd_seq_ev_set_pitchbend (ev, 0, -129); }, { 0xe0, 0x7f, 0x3e } },
  };
  for (const auto &[fill, bytes] : good)
    EXPECT_EQ (translate (fill), bytes) << int (bytes[0]);

  /* What MIDI cannot carry, and what is no channel message. */
  static guint8 sysex[] = { 0xf0, 0x7e, 0x7f, 0x09, 0x01, 0xf7 };
  const Fill bad[] = {
    [] (auto ev) { snd_seq_ev_set_noteon (ev, 16, 60, 100); },
    [] (auto ev) { snd_seq_ev_set_noteon (ev, 0, 128, 100); },
    [] (auto ev) { snd_seq_ev_set_noteon (ev, 0, 60, 200); },
    [] (auto ev) { snd_seq_ev_set_controller (ev, 0, 128, 1); },
    [] (auto ev) { snd_seq_ev_set_controller (ev, 0, 7, 128); },
    [] (auto ev) { snd_seq_ev_set_controller (ev, 0, 7, -1); },
    [] (auto ev) { snd_seq_ev_set_pgmchange (ev, 0, 128); },
    [] (auto ev) { snd_seq_ev_set_pitchbend (ev, 0, 8192); },
    [] (auto ev) { snd_seq_ev_set_pitchbend (ev, 0, -8193); },
    [] (auto ev) { snd_seq_ev_set_note (ev, 0, 60, 100, 480); },
    [] (auto ev) { ev->type = SND_SEQ_EVENT_CLOCK; },
    [] (auto ev) { ev->type = SND_SEQ_EVENT_CONTROL14; },
    [] (auto ev) { ev->type = SND_SEQ_EVENT_PORT_SUBSCRIBED; },
    [] (auto ev) { snd_seq_ev_set_sysex (ev, sizeof sysex, sysex); },
  };
  for (size_t i = 0; i < G_N_ELEMENTS (bad); i++)
    EXPECT_EQ (translate (bad[i]), Bytes ()) << "case " << i;
  guint8 out[3];
  EXPECT_EQ (vorn_midi_alsa_event_to_bytes (nullptr, out), 0u);
}

/* Start failures are errors, not crashes. */
TEST (MidiDriver, StartFailures)
{
  Synth s;

  /* Never a user's server: one that does not exist. */
  g_setenv ("JACK_DEFAULT_SERVER", "zelmora-no-such-server", TRUE);
  g_autoptr (VornMidiDriver) jack = vorn_midi_driver_new (VORN_MIDI_DRIVER_JACK, s.synth);
  ASSERT_TRUE (G_TYPE_CHECK_INSTANCE_TYPE (jack, vorn_midi_driver_jack_get_type ()));
  g_autoptr (GError) err = nullptr;
  EXPECT_FALSE (vorn_midi_driver_start (jack, &err));
  ASSERT_NE (err, nullptr);
  EXPECT_TRUE (g_str_has_prefix (err->message, "Error opening JACK client")) << err->message;
  EXPECT_FALSE (vorn_midi_driver_is_running (jack));

  /* Auto is ALSA exactly when the system has a sequencer. */
  const bool have_seq = g_file_test (SEQ, G_FILE_TEST_EXISTS);
  g_autoptr (VornMidiDriver) any = vorn_midi_driver_new (VORN_MIDI_DRIVER_AUTO, s.synth);
  EXPECT_EQ (any != nullptr, have_seq);
  EXPECT_TRUE (!any || VORN_IS_ALSA_MIDI_DRIVER (any));
  if (have_seq)
    GTEST_SKIP () << "this system has an ALSA sequencer; its absence cannot be tested";

  g_autoptr (VornMidiDriver) alsa = vorn_midi_driver_new (VORN_MIDI_DRIVER_ALSA, s.synth);
  ASSERT_TRUE (VORN_IS_ALSA_MIDI_DRIVER (alsa));
  for (int attempt = 0; attempt < 2; attempt++)
    {
      g_clear_error (&err);
      EXPECT_FALSE (vorn_midi_driver_start (alsa, &err));
      ASSERT_NE (err, nullptr);
      EXPECT_NE (strstr (err->message, SEQ), nullptr) << err->message;
      EXPECT_FALSE (vorn_midi_driver_alsa_get_address (VORN_ALSA_MIDI_DRIVER (alsa), nullptr,
                                                       nullptr));
    }
}
