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

} // namespace

TEST (InputManager, RejectsMalformedAndUnsupportedMessages)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 100, 6);
  g_object_set (s.synth, "channel-count", 4u, nullptr);   /* from the next start */
  g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);

  /* The tests below send what it understands; beyond the channel count a
   * message is understood and ignored. */
  EXPECT_TRUE (send (manager, { 0x95, 60, 100 }));
  const std::vector<guint8> refused[] = {
    {}, { 60, 100 } /* running status */, { 0x90, 60 }, { 0x90, 60, 100, 0 }, { 0x90, 0x80, 1 },
    { 0x90, 60, 0xff }, { 0xc0, 5, 0 }, { 0xe0, 0 }, { 0xb0, 7, 100 }, { 0xb0, 121, 0 },
    { 0xa0, 60, 10 }, { 0xd0, 10 }, { 0xf0, 0x7e, 0xf7 }, { 0xf8 }, { 0xff },
  };
  for (const auto &m : refused)
    EXPECT_FALSE (vorn_input_manager_midi_event (manager, m.data (), m.size ()))
        << (m.empty () ? -1 : int (m[0]));
  pump ();
  s.render (64);
  EXPECT_EQ (s.active (), 0u);
}

TEST (InputManager, VelocitySetsTheLevelAndNoteOffReleases)
{
  Synth s;
  g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);
  float level[2];
  for (int i = 0; i < 2; i++)
    {
      play (manager, { 0x90, 69, guint8 (i ? 32 : 127) });
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

  /* All sound off: silent within a fragment, and the voices end. */
  play (manager, { 0x90, 60, 127 });
  play (manager, { 0x90, 64, 127 });
  s.render (4800);
  play (manager, { 0x80, 60, 0 });   /* its release tail is cut too */
  s.render (480);
  play (manager, { 0xb0, 120, 0 });
  EXPECT_EQ (peak (channel (s.render (4800), 0), 128), 0.0f);
  EXPECT_EQ ((render_until_silent (s), s.active ()), 0u);
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
    { "a voice started while bent full down", 2,
      { { 0xe0, 0, 0 }, { 0x80, 69, 0 }, {}, { 0x90, 81, 127 } }, 880.0 / up, 0.2 },
    { "channel 1 is not bent by channel 0", 12, { { 0x80, 81, 0 }, {}, { 0x91, 69, 127 } }, 440.0, 0.1 },
    /* An up scale of 1/8192 would be 2 Hz short over four octaves. */
    { "full up is the whole of a wide range", 48,
      { { 0xe0, 0x7f, 0x7f }, { 0x81, 69, 0 }, {}, { 0x90, 45, 127 } }, 110.0 * 16, 0.5 },
    { "program 1 is the second instrument", 48,
      { { 0xe0, 0, 0x40 }, { 0x80, 45, 0 }, {}, { 0xc0, 1 }, { 0x90, 69, 127 } }, 880.0, 0.2 },
    { "a program beyond the file changes nothing", 48,
      { { 0xc0, 2 }, { 0x80, 69, 0 }, {}, { 0x90, 69, 127 } }, 880.0, 0.2 },
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
    { [] (auto ev) { snd_seq_ev_set_noteoff (ev, 9, 36, 64); }, { 0x89, 36, 64 } },
    { [] (auto ev) { snd_seq_ev_set_controller (ev, 3, 64, 127); }, { 0xb3, 64, 127 } },
    { [] (auto ev) { snd_seq_ev_set_pgmchange (ev, 4, 17); }, { 0xc4, 17 } },
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
    [] (auto ev) { snd_seq_ev_set_noteon (ev, 0, 60, 200); },
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

/* A missing sequencer is an error, not a crash (a missing JACK server goes
 * through the client code the audio driver shares). */
TEST (MidiDriver, StartFailures)
{
  Synth s;
  /* Auto is ALSA exactly when the system has a sequencer. */
  const bool have_seq = g_file_test (SEQ, G_FILE_TEST_EXISTS);
  g_autoptr (VornMidiDriver) any = vorn_midi_driver_new (VORN_MIDI_DRIVER_AUTO, s.synth);
  EXPECT_EQ (any != nullptr, have_seq);
  EXPECT_TRUE (!any || VORN_IS_ALSA_MIDI_DRIVER (any));
  if (have_seq)
    GTEST_SKIP () << "this system has an ALSA sequencer; its absence cannot be tested";

  g_autoptr (VornMidiDriver) alsa = vorn_midi_driver_new (VORN_MIDI_DRIVER_ALSA, s.synth);
  ASSERT_TRUE (VORN_IS_ALSA_MIDI_DRIVER (alsa));
  g_autoptr (GError) err = nullptr;
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
