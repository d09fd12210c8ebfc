/* The ALSA sequencer back end: event translation on its own, driver
 * creation and start failures, and (where the system has a sequencer) a
 * second client playing through it. */
#include "vorn-test-log.h"
#include "test-synth-cpu.h"
#include "vornadel.h"
#include "vorn-midi-alsa-event.h"

#include <functional>
#include <vector>

using synth_test::Synth;

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

TEST (MidiDriver, AnotherClientPlaysThroughTheSequencer)
{
  if (!g_file_test (SEQ, G_FILE_TEST_EXISTS))
    GTEST_SKIP () << "no ALSA sequencer device (/dev/snd/seq)";

  Synth s;
  g_autoptr (VornMidiDriver) driver = vorn_midi_driver_new (VORN_MIDI_DRIVER_ALSA, s.synth);
  g_object_set (driver, "auto-connect", TRUE, nullptr);

  /* The test's client: a "hardware" port that auto-connect finds, and a
   * plain one connected by hand. */
  snd_seq_t *seq = nullptr;
  ASSERT_GE (snd_seq_open (&seq, "default", SND_SEQ_OPEN_OUTPUT, 0), 0);
  snd_seq_set_client_name (seq, "Zelmora test keys");
  const int hw = snd_seq_create_simple_port (
    seq, "Keys", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
    SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE);
  const int plain = snd_seq_create_simple_port (
    seq, "Pads", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
    SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  ASSERT_GE (hw, 0);
  ASSERT_GE (plain, 0);

  g_autoptr (GError) err = nullptr;
  ASSERT_TRUE (vorn_midi_driver_start (driver, &err)) << err->message;
  int client = -1, port = -1;
  ASSERT_TRUE (vorn_midi_driver_alsa_get_address (VORN_ALSA_MIDI_DRIVER (driver), &client, &port));

  ASSERT_GE (snd_seq_connect_to (seq, plain, client, port), 0);
  auto send = [&] (int from, const std::function<void (snd_seq_event_t *)> &fill) {
    snd_seq_event_t ev;
    snd_seq_ev_clear (&ev);
    fill (&ev);
    snd_seq_ev_set_source (&ev, from);
    snd_seq_ev_set_subs (&ev);
    snd_seq_ev_set_direct (&ev);
    ASSERT_GE (snd_seq_event_output_direct (seq, &ev), 0);
  };
  auto wait_active = [&] (guint want_active) {
    for (int i = 0; i < 2000 && s.active () != want_active; i++)
      {
        g_main_context_iteration (nullptr, FALSE);
        s.render (64);
        g_usleep (1000);
      }
    return s.active ();
  };

  send (hw, [] (auto ev) { snd_seq_ev_set_noteon (ev, 0, 60, 100); });
  EXPECT_EQ (wait_active (1), 1u) << "auto-connect subscribed the hardware port";
  send (plain, [] (auto ev) { snd_seq_ev_set_noteon (ev, 0, 64, 100); });
  EXPECT_EQ (wait_active (2), 2u);
  send (plain, [] (auto ev) { snd_seq_ev_set_controller (ev, 0, 123, 0); });
  EXPECT_EQ (wait_active (0), 0u);

  /* Stopped: the client is gone and nothing more arrives. */
  vorn_midi_driver_stop (driver);
  EXPECT_FALSE (vorn_midi_driver_is_running (driver));
  snd_seq_client_info_t *info;
  snd_seq_client_info_alloca (&info);
  EXPECT_LT (snd_seq_get_any_client_info (seq, client, info), 0);
  snd_seq_close (seq);
}
