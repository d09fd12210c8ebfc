/* The JACK drivers against a private jackd with the dummy backend: what
 * reaches the server's ports, what MIDI from another client plays, and what
 * happens when the server goes away. */
#include "vorn-jack-server.h"
#include "vorn-test-alloc.h"
#include "vorn-test-log.h"
#include "vornadel.h"

#include <xmmintrin.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <new>
#include <thread>

using vorn_test::JackServer;
using vorn_test::JackTestClient;

namespace {

/* A synthesizer whose planar renderer writes speaker s as the constant
 * (s + 1) / 8 and reports what the JACK process thread looks like. */
struct FakeSynth {
  VornSynth parent_instance;
};
struct FakeSynthClass { VornSynthClass parent_class; };

G_DEFINE_TYPE (FakeSynth, fake_synth, VORN_TYPE_SYNTH)

std::atomic<guint> speakers{ 2 }, calls{ 0 }, last_frames{ 0 }, mxcsr{ 0 };
std::atomic<long> allocations{ -1 };
alignas (vorn_test::AllocationCounter) unsigned char counter_storage[sizeof (vorn_test::AllocationCounter)];
vorn_test::AllocationCounter *counter;

void
fake_render_split (VornSynth *, float **out, guint frames)
{
  for (guint s = 0; s < speakers; s++)
    for (guint i = 0; i < frames; i++)
      out[s][i] = float (s + 1) / 8.0f;

  /* Counts from the 10th call to the 60th: everything the thread does in
   * between (the driver's process callback and libjack's cycle). */
  const guint n = ++calls;
  if (n == 10)
    counter = new (counter_storage) vorn_test::AllocationCounter ();
  else if (n == 60)
    allocations = long (counter->count ());
  last_frames = frames;
  mxcsr = _mm_getcsr ();
}

void fake_synth_class_init (FakeSynthClass *klass) { VORN_SYNTH_CLASS (klass)->render_split = fake_render_split; }
void fake_synth_init (FakeSynth *) {}

template <typename Pred>
bool
wait_for (Pred pred, double seconds = 10.0)
{
  const auto until = std::chrono::steady_clock::now ()
                     + std::chrono::milliseconds (gint64 (seconds * 1000));
  while (!pred () && std::chrono::steady_clock::now () < until)
    {
      /* The MIDI driver delivers, and both drivers notice a lost server, on
       * the thread-default main context: this one. */
      while (g_main_context_iteration (nullptr, FALSE))
        ;
      std::this_thread::sleep_for (std::chrono::milliseconds (2));
    }
  return pred ();
}

std::vector<std::string>
names (const char *client, std::initializer_list<const char *> ports)
{
  std::vector<std::string> out;
  for (const char *p : ports)
    out.push_back (std::string (client) + ":" + p);
  return out;
}

class JackTest : public ::testing::Test {
protected:
  void SetUp () override
  {
    VORN_TEST_REQUIRE_JACKD ();
    /* Never the user's server, not even by accident. */
    g_setenv ("JACK_DEFAULT_SERVER", "zelmora-test-no-such-server", TRUE);
    g_setenv ("JACK_NO_START_SERVER", "1", TRUE);
    calls = 0, last_frames = 0, mxcsr = 0, allocations = -1;
  }

  /* Starts the server; everything that asks for the default server (the
   * Auto choice, zelmora-play) reaches it through JACK_DEFAULT_SERVER. */
  void start_server (guint rate = 48000)
  {
    std::string problem;
    ASSERT_TRUE (server.start (rate, 256, &problem)) << problem;
    g_setenv ("JACK_DEFAULT_SERVER", server.name ().c_str (), TRUE);
    ASSERT_TRUE (probe.open (server.name (), 2, &problem)) << problem;
  }

  void TearDown () override
  {
    probe.close ();
    server.stop ();
  }

  VornAudioDriver *new_audio (VornSynth *synth, const char *client = "Zelmora")
  {
    return VORN_AUDIO_DRIVER (g_object_new (VORN_TYPE_AUDIO_DRIVER_JACK, "synth", synth,
                                            "server-name", server.name ().c_str (),
                                            "client-name", client, nullptr));
  }

  VornMidiDriver *new_midi (VornSynth *synth)
  {
    return VORN_MIDI_DRIVER (g_object_new (VORN_TYPE_MIDI_DRIVER_JACK, "synth", synth,
                                           "server-name", server.name ().c_str (), nullptr));
  }

  JackServer server;
  JackTestClient probe;
};

/* A started CPU synthesizer with the default instrument on channel 0. */
VornSynth *
playing_synth (guint speakers)
{
  VornSynth *synth = vorn_synth_cpu_new ();
  g_object_set (synth, "speaker-count", speakers, nullptr);
  vorn_synth_start (synth);
  g_autoptr (VornInst) inst = vorn_inst_new_default ();
  vorn_synth_set_inst (synth, 0, inst);
  return synth;
}

void
free_outbox (VornSynth *synth)
{
  while (VornSynthMsg *msg = vorn_synth_get_message (synth))
    vorn_synth_msg_free (msg);
}

/* New connections carry data only from some later cycle on (long after on
 * a loaded machine): plays a note on @synth's channel 0 from @probe until
 * @probe hears it on in_1, which shows that the MIDI and audio connections
 * are live, and waits until it ended.  The recording then starts afresh. */
bool
hear_a_note (JackTestClient &probe, VornSynth *synth)
{
  bool heard = false;
  for (int attempt = 0; attempt < 20 && !heard; attempt++)
    {
      probe.restart_recording ();
      probe.send ({ 0x90, 69, 127 });
      heard = wait_for ([&] { return vorn_test::last_sound (probe.recording ().channels[0]) > 0; },
                        1.0);
      probe.send ({ 0x80, 69, 0 });
    }
  guint active = 1;
  const bool ended = wait_for ([&] {
    probe.recording ();
    free_outbox (synth);
    vorn_synth_voice_stats (synth, &active, nullptr, FALSE);
    return active == 0;
  });
  probe.restart_recording ();
  return heard && ended;
}

} // namespace

/* One port per speaker, named out_N, fed by the planar renderer on a thread
 * that flushes denormals and never allocates. */
TEST_F (JackTest, RendersEverySpeakerIntoItsPort)
{
  start_server ();
  g_autoptr (VornSynth) synth = VORN_SYNTH (g_object_new (fake_synth_get_type (), nullptr));
  g_object_set (synth, "speaker-count", 3u, nullptr);
  speakers = 3;
  g_autoptr (VornAudioDriver) driver = new_audio (synth);
  g_object_set (driver, "auto-connect", FALSE, nullptr);
  g_autoptr (GError) error = nullptr;
  ASSERT_TRUE (vorn_audio_driver_start (driver, &error)) << error->message;

  EXPECT_EQ (probe.ports_of ("Zelmora", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput),
             names ("Zelmora", { "out_1", "out_2", "out_3" }));
  guint frames = 0;
  g_object_get (driver, "buffer-size", &frames, nullptr);
  EXPECT_EQ (frames, 256u);

  ASSERT_TRUE (probe.connect_inputs (names ("Zelmora", { "out_3", "out_1" })));
  probe.restart_recording ();
  const auto &rec = probe.record (48000);
  ASSERT_GE (rec.frames (), 48000u);
  /* Connections take effect from some period on; the end is steady. */
  EXPECT_EQ (rec.channels[0].back (), 3.0f / 8);
  EXPECT_EQ (rec.channels[1].back (), 1.0f / 8);

  ASSERT_TRUE (wait_for ([] { return allocations.load () >= 0; }));
  EXPECT_EQ (last_frames.load (), 256u);
  const guint ftz_daz = (1u << 15) | (1u << 6);
  EXPECT_EQ (mxcsr.load () & ftz_daz, ftz_daz) << "flush-to-zero and denormals-are-zero";
  if (vorn_test::AllocationCounter::available ())
    {
      EXPECT_EQ (allocations.load (), 0) << "allocations on the JACK thread over 50 periods";
    }

  vorn_audio_driver_stop (driver);
  EXPECT_FALSE (vorn_audio_driver_is_running (driver));
  EXPECT_TRUE (probe.ports_of ("Zelmora", JACK_DEFAULT_AUDIO_TYPE).empty ());
  g_object_get (driver, "buffer-size", &frames, nullptr);
  EXPECT_EQ (frames, 0u);
}

/* Outputs go to the playback ports in order, a single speaker to both;
 * with auto-connect off they stay unconnected. */
TEST_F (JackTest, AutoConnectsToThePlaybackPorts)
{
  start_server ();
  g_autoptr (VornSynth) synth = VORN_SYNTH (g_object_new (fake_synth_get_type (), nullptr));
  struct Case {
    guint speakers;
    gboolean auto_connect;
    std::vector<std::vector<std::string>> expected;
  } cases[] = {
    { 3, TRUE, { { "system:playback_1" }, { "system:playback_2" }, {} } },
    { 1, TRUE, { { "system:playback_1", "system:playback_2" } } },
    { 2, FALSE, { {}, {} } },
  };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (testing::Message () << c.speakers << " speakers, auto " << c.auto_connect);
      g_object_set (synth, "speaker-count", c.speakers, nullptr);
      speakers = c.speakers;
      g_autoptr (VornAudioDriver) driver = new_audio (synth, "Zelmora Connect");
      g_object_set (driver, "auto-connect", c.auto_connect, nullptr);
      ASSERT_TRUE (vorn_audio_driver_start (driver, nullptr));
      /* Other clients see new connections once the server has told them. */
      for (guint s = 0; s < c.expected.size (); s++)
        {
          std::vector<std::string> got;
          wait_for ([&] {
            got = probe.connections ("Zelmora Connect:out_" + std::to_string (s + 1));
            std::sort (got.begin (), got.end ());
            return got == c.expected[s];
          }, 2.0);
          EXPECT_EQ (got, c.expected[s]) << "out_" << s + 1;
        }
    }
}

/* A note played from another client's MIDI: its pitch and level, velocity
 * scaling it, the note-off ending it. */
TEST_F (JackTest, MidiNotePlaysTheDefaultInstrument)
{
  start_server ();
  g_autoptr (VornSynth) synth = playing_synth (1);
  g_autoptr (VornAudioDriver) audio = new_audio (synth);
  g_object_set (audio, "auto-connect", FALSE, nullptr);
  g_autoptr (VornMidiDriver) midi = new_midi (synth);
  g_autoptr (GError) error = nullptr;
  ASSERT_TRUE (vorn_audio_driver_start (audio, &error)) << error->message;
  ASSERT_TRUE (vorn_midi_driver_start (midi, &error)) << error->message;
  ASSERT_TRUE (probe.connect_inputs ({ "Zelmora:out_1" }));
  ASSERT_TRUE (probe.connect_midi ("Zelmora MIDI:midi_in"));
  ASSERT_TRUE (hear_a_note (probe, synth)) << "MIDI in, sound out";

  auto play = [&] (guint8 velocity) {
    probe.restart_recording ();
    probe.send ({ 0x90, 69, velocity });
    EXPECT_TRUE (wait_for ([&] { return probe.recording ().frames () >= 48000; }));
    probe.send ({ 0x80, 69, 0 });
    guint active = 1;
    EXPECT_TRUE (wait_for ([&] {
      vorn_synth_voice_stats (synth, &active, nullptr, FALSE);
      return active == 0;
    })) << "the note-off released the voice";
    free_outbox (synth);
    /* The periods the voice ended in may not have reached the recording. */
    const size_t ended = probe.recording ().frames ();
    EXPECT_TRUE (wait_for ([&] { return probe.recording ().frames () >= ended + 2048; }));
    const std::vector<float> &x = probe.recording ().channels[0];
    const size_t start = vorn_test::first_sound (x);
    EXPECT_LT (start, 4096u) << "the note sounded within a few periods";
    EXPECT_EQ (x.back (), 0.0f) << "silent after the release";
    /* The held part, after the attack. */
    const size_t from = start + 4800, to = start + 40000;
    EXPECT_NEAR (vorn_test::zero_crossing_frequency (x, from, to) * 48000, 440.0, 0.5);
    return vorn_test::peak (x, from, to);
  };

  const float loud = play (127);
  EXPECT_NEAR (20 * std::log10 (loud), -6.0, 0.5);
  const float soft = play (64);
  EXPECT_NEAR (soft / loud, 64.0 / 127.0, 0.02) << "volume is velocity / 127";
}

/* The synthesizer takes the server's rate; a started one is restarted with
 * its channels' instruments, and plays in tune at the new rate. */
TEST_F (JackTest, SynthFollowsTheServerRate)
{
  start_server (44100);
  g_autoptr (VornSynth) synth = playing_synth (1);
  VornInst *inst = vorn_synth_get_inst (synth, 0);
  g_autoptr (VornAudioDriver) driver = new_audio (synth);
  g_object_set (driver, "auto-connect", FALSE, nullptr);
  ASSERT_TRUE (vorn_audio_driver_start (driver, nullptr));

  double rate = 0, driver_rate = 0;
  g_object_get (synth, "sample-rate", &rate, nullptr);
  g_object_get (driver, "sample-rate", &driver_rate, nullptr);
  EXPECT_EQ (rate, 44100.0);
  EXPECT_EQ (driver_rate, 44100.0);
  EXPECT_EQ (vorn_synth_get_inst (synth, 0), inst) << "the instrument survived the restart";

  ASSERT_TRUE (probe.connect_inputs ({ "Zelmora:out_1" }));
  probe.restart_recording ();
  vorn_synth_note_on (synth, 1, 0, 0, 69, 127, nullptr);
  const auto &rec = probe.record (44100);
  const size_t start = vorn_test::first_sound (rec.channels[0]);
  EXPECT_NEAR (vorn_test::zero_crossing_frequency (rec.channels[0], start + 4410, start + 30000)
                 * 44100,
               440.0, 0.5);
  vorn_audio_driver_stop (driver);
  vorn_synth_stop (synth);
  free_outbox (synth);
}

/* Auto plays through JACK exactly when a server answers. */
TEST_F (JackTest, AutoPicksJackWhenAServerRuns)
{
  EXPECT_EQ (vorn_audio_driver_get_type_from_enum (VORN_AUDIO_DRIVER_JACK),
             VORN_TYPE_AUDIO_DRIVER_JACK);
  g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();

  g_autoptr (VornAudioDriver) without = vorn_audio_driver_new (VORN_AUDIO_DRIVER_AUTO, synth);
  EXPECT_EQ (G_OBJECT_TYPE (without), VORN_TYPE_AUDIO_DRIVER_PORT);
  g_autoptr (VornAudioDriver) jack = vorn_audio_driver_new (VORN_AUDIO_DRIVER_JACK, synth);
  EXPECT_EQ (G_OBJECT_TYPE (jack), VORN_TYPE_AUDIO_DRIVER_JACK);
  g_autoptr (GError) error = nullptr;
  EXPECT_FALSE (vorn_audio_driver_start (jack, &error));
  ASSERT_NE (error, nullptr);
  EXPECT_STREQ (error->message, "Error opening JACK client: cannot connect to the JACK server");
  EXPECT_FALSE (vorn_audio_driver_is_running (jack));

  start_server ();
  g_autoptr (VornAudioDriver) with = vorn_audio_driver_new (VORN_AUDIO_DRIVER_AUTO, synth);
  EXPECT_EQ (G_OBJECT_TYPE (with), VORN_TYPE_AUDIO_DRIVER_JACK);
}

/* A server that dies under running drivers stops them on the main context;
 * stopping, restarting and finalising afterwards are safe. */
TEST_F (JackTest, ServerLossStopsTheDrivers)
{
  start_server ();
  g_autoptr (VornSynth) synth = playing_synth (2);
  g_autoptr (VornAudioDriver) audio = new_audio (synth);
  g_autoptr (VornMidiDriver) midi = new_midi (synth);
  ASSERT_TRUE (vorn_audio_driver_start (audio, nullptr));
  ASSERT_TRUE (vorn_midi_driver_start (midi, nullptr));
  vorn_synth_note_on (synth, 1, 0, 0, 60, 100, nullptr);
  probe.record (4096);
  probe.close ();

  server.stop (true);
  EXPECT_TRUE (wait_for ([&] {
    return !vorn_audio_driver_is_running (audio) && !vorn_midi_driver_is_running (midi);
  }));
  vorn_audio_driver_stop (audio);
  vorn_midi_driver_stop (midi);
  g_autoptr (GError) error = nullptr;
  EXPECT_FALSE (vorn_audio_driver_start (audio, &error));
  EXPECT_FALSE (vorn_midi_driver_is_running (midi));
  g_clear_object (&audio);
  g_clear_object (&midi);
  vorn_synth_stop (synth);
  free_outbox (synth);
}

namespace {

constexpr size_t RATE = 48000;
/* From a message going out to its effect on the recorded sound: the way
 * through the MIDI driver and the main context takes a few periods; this
 * is far more, so that a loaded machine does not blur the measurements. */
constexpr size_t SETTLE = RATE / 2;
/* Frames a frequency is measured over. */
constexpr size_t WINDOW = RATE / 2;

/* A started synthesizer on channel 0 playing the first of two instruments of
 * one file (the second an octave higher), its one speaker recorded and its
 * MIDI input fed by the test client.  Every step is found in the recording
 * by the frame its message went out at. */
class JackMidiTest : public JackTest {
protected:
  void start_playing ()
  {
    ASSERT_NO_FATAL_FAILURE (start_server ());
    file = vorn_file_new ();
    g_autoptr (VornInst) low = vorn_inst_new_default ();
    g_autoptr (VornInst) high = vorn_inst_new_default ();
    g_object_set (high, "root-note", 57.0, nullptr);
    vorn_node_insert (VORN_NODE (file), VORN_NODE (low), -1);
    vorn_node_insert (VORN_NODE (file), VORN_NODE (high), -1);
    synth = vorn_synth_cpu_new ();
    g_object_set (synth, "speaker-count", 1u, nullptr);
    vorn_synth_start (synth);
    vorn_synth_set_inst (synth, 0, low);

    audio = new_audio (synth);
    g_object_set (audio, "auto-connect", FALSE, nullptr);
    midi = new_midi (synth);
    g_autoptr (GError) error = nullptr;
    ASSERT_TRUE (vorn_audio_driver_start (audio, &error)) << error->message;
    ASSERT_TRUE (vorn_midi_driver_start (midi, &error)) << error->message;
    ASSERT_TRUE (probe.connect_inputs ({ "Zelmora:out_1" }));
    ASSERT_TRUE (probe.connect_midi ("Zelmora MIDI:midi_in"));
    ASSERT_TRUE (hear_a_note (probe, synth)) << "MIDI in, sound out";
  }

  void TearDown () override
  {
    if (midi)
      vorn_midi_driver_stop (midi);
    if (audio)
      vorn_audio_driver_stop (audio);
    if (synth)
      {
        vorn_synth_stop (synth);
        free_outbox (synth);
      }
    g_clear_object (&midi);
    g_clear_object (&audio);
    g_clear_object (&synth);
    g_clear_object (&file);
    JackTest::TearDown ();
  }

  const std::vector<float> &sound () { return probe.recording ().channels[0]; }

  /* Sends @msg and waits until it went out.  Returns: its frame's index in
   * the recording. */
  size_t send (std::initializer_list<guint8> msg)
  {
    const guint64 before = probe.last_sent_frame ();
    probe.send (msg);
    if (!stalled)
      stalled = !wait_for ([&] {
        return probe.last_sent_frame () != before && probe.recording ().frames () > 0;
      });
    EXPECT_FALSE (stalled) << "message " << int (*msg.begin ()) << " went out";
    return probe.recording ().index_of (probe.last_sent_frame ());
  }

  /* Plays on (the main context applying the MIDI) until frame @index is
   * recorded. */
  void until (size_t index)
  {
    const double seconds = 10.0 + double (index) / RATE;
    if (!stalled)
      stalled = !wait_for ([&] { return probe.recording ().frames () >= index; }, seconds);
    EXPECT_FALSE (stalled) << "recorded " << probe.recording ().frames () << " of " << index
                           << " frames";
  }

  /* Plays on until no voice sounds, then a little more. */
  void until_silent ()
  {
    guint active = 1;
    EXPECT_TRUE (stalled || wait_for ([&] {
      probe.recording ();
      free_outbox (synth);
      vorn_synth_voice_stats (synth, &active, nullptr, FALSE);
      return active == 0;
    })) << active << " voices still sounding";
    until (sound ().size () + 2048);
  }

  /* Plays on until sound follows frame @from.  Returns: its index. */
  size_t onset (size_t from)
  {
    size_t at = 0;
    auto sounding = [&] {
      const std::vector<float> &x = sound ();
      for (at = from; at < x.size (); at++)
        if (x[at] != 0.0f)
          return true;
      return false;
    };
    if (!stalled)
      stalled = !wait_for (sounding);
    EXPECT_FALSE (stalled) << "no sound after frame " << from;
    return at;
  }

  guint voices ()
  {
    guint active = 0;
    vorn_synth_voice_stats (synth, &active, nullptr, FALSE);
    return active;
  }

  /* Frequency in Hz over WINDOW frames from @from. */
  double hz (size_t from)
  {
    until (from + WINDOW);
    return vorn_test::zero_crossing_frequency (sound (), from, from + WINDOW) * RATE;
  }

  /* Set once a wait ran out: the server or a client is stuck, and waiting
   * on at every later step would only outlast the test's timeout. */
  bool stalled = false;
  VornFile *file = nullptr;
  VornSynth *synth = nullptr;
  VornAudioDriver *audio = nullptr;
  VornMidiDriver *midi = nullptr;
};

} // namespace

/* The sustain pedal holds a released key at full level until it rises, and
 * then lets the release play out; all notes off releases the keys down and
 * held alike; all sound off cuts the sound without a release, and leaves
 * the channel playable. */
TEST_F (JackMidiTest, PedalHoldsNotesAndChannelModeMessagesEndThem)
{
  ASSERT_NO_FATAL_FAILURE (start_playing ());
  const std::vector<float> &x = sound ();

  {
    SCOPED_TRACE ("sustain pedal");
    send ({ 0xb0, 64, 127 });
    const size_t on = send ({ 0x90, 69, 127 });
    until (on + 2 * SETTLE);
    const size_t off = send ({ 0x80, 69, 0 });
    /* Longer than the release: without the pedal the note would be over. */
    until (off + RATE + 2 * SETTLE);
    EXPECT_EQ (voices (), 1u);
    const size_t up = send ({ 0xb0, 64, 0 });
    until_silent ();

    const float held = vorn_test::peak (x, on + SETTLE, off);
    EXPECT_NEAR (20 * std::log10 (held), -6.0, 0.5);
    EXPECT_NEAR (vorn_test::peak (x, up - SETTLE, up), held, 0.01f * held)
        << "still at full level long after the note-off";
    const size_t fade = vorn_test::falls_below (x, on + SETTLE, 0.9f * held);
    EXPECT_GE (fade, up) << "faded before the pedal rose";
    EXPECT_LT (fade, up + SETTLE) << "the pedal's rise released the note";
    /* The release is a one-second fall to silence, and then the voice ends. */
    const size_t end = vorn_test::last_sound (x);
    EXPECT_NEAR (double (end - fade) / RATE, 1.0, 0.05) << "a whole release after the fade began";
    EXPECT_EQ (x.back (), 0.0f);
  }

  {
    SCOPED_TRACE ("all notes off");
    probe.restart_recording ();
    send ({ 0xb0, 64, 127 });
    const size_t a = send ({ 0x90, 69, 127 });
    until (a + SETTLE);
    send ({ 0x80, 69, 0 });   /* sustained */
    const size_t b = send ({ 0x90, 76, 127 });   /* held down */
    until (b + 2 * SETTLE);
    EXPECT_EQ (voices (), 2u);
    const size_t cc = send ({ 0xb0, 123, 0 });
    until_silent ();

    /* Both keys sound until then, and are released rather than cut. */
    const float both = vorn_test::peak (x, b + SETTLE, cc);
    EXPECT_GT (both, 1.5f * vorn_test::peak (x, a + SETTLE, b)) << "two keys sounding";
    EXPECT_NEAR (vorn_test::peak (x, cc - SETTLE / 2, cc), both, 0.1f * both);
    const size_t end = vorn_test::last_sound (x);
    EXPECT_GT (end, cc + RATE / 2) << "released, not cut";
    EXPECT_LT (end, cc + RATE + SETTLE) << "ended within the release time, pedal down";
    send ({ 0xb0, 64, 0 });
  }

  {
    SCOPED_TRACE ("all sound off");
    probe.restart_recording ();
    const size_t on = send ({ 0x90, 69, 127 });
    until (on + 2 * SETTLE);
    const size_t cut = send ({ 0xb0, 120, 0 });
    until_silent ();
    const float held = vorn_test::peak (x, on + SETTLE, cut);
    const size_t fade = vorn_test::falls_below (x, on + SETTLE, 0.9f * held);
    const size_t end = vorn_test::last_sound (x);
    EXPECT_GE (fade, cut);
    EXPECT_LT (fade, cut + SETTLE) << "all sound off took effect";
    EXPECT_LT (end - fade, 1024u) << "silent at once, with no release";

    const size_t again = send ({ 0x90, 69, 127 });
    until (again + 2 * SETTLE);
    EXPECT_NEAR (vorn_test::peak (x, again + SETTLE, again + 2 * SETTLE), held, 0.01f * held)
        << "a later note plays at full level";
    send ({ 0x80, 69, 0 });
    until_silent ();
  }
}

/* A full bend up raises the pitch by the bend range (two semitones), of the
 * sounding note and of a note started while bent, and centring it restores
 * the pitch; a program change selects that instrument of the file for the
 * notes that follow, one beyond the file's instruments nothing. */
TEST_F (JackMidiTest, PitchBendAndProgramChangeSetThePitch)
{
  ASSERT_NO_FATAL_FAILURE (start_playing ());
  const double bend = std::exp2 (2.0 / 12.0);

  {
    SCOPED_TRACE ("pitch bend");
    const size_t on = send ({ 0x90, 69, 127 });
    const double centre = hz (onset (on) + SETTLE);
    EXPECT_NEAR (centre, 440.0, 0.5);
    const size_t up = send ({ 0xe0, 0x7f, 0x7f });
    EXPECT_NEAR (hz (up + SETTLE) / centre, bend, 1e-3);
    const size_t back = send ({ 0xe0, 0x00, 0x40 });
    EXPECT_NEAR (hz (back + SETTLE) / centre, 1.0, 1e-3);

    send ({ 0xe0, 0x7f, 0x7f });
    send ({ 0x80, 69, 0 });
    until_silent ();
    const size_t bent = send ({ 0x90, 57, 127 });
    EXPECT_NEAR (hz (onset (bent) + SETTLE) / 220.0, bend, 1e-3) << "a note started while bent";
    const size_t straight = send ({ 0xe0, 0x00, 0x40 });
    EXPECT_NEAR (hz (straight + SETTLE) / 220.0, 1.0, 1e-3);
    send ({ 0x80, 57, 0 });
    until_silent ();
  }

  {
    SCOPED_TRACE ("program change");
    struct Step {
      guint8 program;
      double expected;
    } steps[] = { { 1, 880.0 }, { 0, 440.0 }, { 2, 440.0 } };
    for (const Step &step : steps)
      {
        SCOPED_TRACE (testing::Message () << "program " << int (step.program));
        probe.restart_recording ();
        send ({ 0xc0, step.program });
        const size_t on = send ({ 0x90, 69, 127 });
        EXPECT_NEAR (hz (onset (on) + SETTLE), step.expected, 1.0);
        send ({ 0x80, 69, 0 });
        until_silent ();
      }
  }
}
