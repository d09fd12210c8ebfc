/* The JACK drivers against a private jackd with the dummy backend: what
 * reaches the server's ports and what happens when the server goes away.
 * MIDI through JACK at the server's rate is played end to end by
 * tests/tools/test-play. */
#include "vorn-jack-server.h"
#include "vorn-test-alloc.h"
#include "vorn-test-log.h"
#include "vornadel.h"

#include <xmmintrin.h>

#include <atomic>
#include <chrono>
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
  void start_server ()
  {
    std::string problem;
    ASSERT_TRUE (server.start (48000, 256, &problem)) << problem;
    g_setenv ("JACK_DEFAULT_SERVER", server.name ().c_str (), TRUE);
    ASSERT_TRUE (probe.open (server.name (), 2, &problem)) << problem;
  }

  void TearDown () override
  {
    probe.close ();
    server.stop ();
  }

  VornAudioDriver *new_audio (VornSynth *synth)
  {
    return VORN_AUDIO_DRIVER (g_object_new (VORN_TYPE_AUDIO_DRIVER_JACK, "synth", synth,
                                            "server-name", server.name ().c_str (), nullptr));
  }

  VornMidiDriver *new_midi (VornSynth *synth)
  {
    return VORN_MIDI_DRIVER (g_object_new (VORN_TYPE_MIDI_DRIVER_JACK, "synth", synth,
                                           "server-name", server.name ().c_str (), nullptr));
  }

  JackServer server;
  JackTestClient probe;
};

} // namespace

/* Auto plays through JACK exactly when a server answers.  One port per
 * speaker, named out_N and connected to the playback ports in order, fed
 * by the planar renderer on a thread that flushes denormals and never
 * allocates.  A server that dies under running drivers stops them on the
 * main context; stopping, restarting and finalising afterwards are safe. */
TEST_F (JackTest, RendersEverySpeakerAndStopsWhenTheServerDies)
{
  g_autoptr (VornSynth) synth = VORN_SYNTH (g_object_new (fake_synth_get_type (), nullptr));
  g_autoptr (VornAudioDriver) without = vorn_audio_driver_new (VORN_AUDIO_DRIVER_AUTO, synth);
  EXPECT_EQ (G_OBJECT_TYPE (without), VORN_TYPE_AUDIO_DRIVER_PORT);
  start_server ();
  g_autoptr (VornAudioDriver) with = vorn_audio_driver_new (VORN_AUDIO_DRIVER_AUTO, synth);
  EXPECT_EQ (G_OBJECT_TYPE (with), VORN_TYPE_AUDIO_DRIVER_JACK);

  g_object_set (synth, "speaker-count", 3u, nullptr);
  speakers = 3;
  g_autoptr (VornAudioDriver) driver = new_audio (synth);
  g_autoptr (GError) error = nullptr;
  ASSERT_TRUE (vorn_audio_driver_start (driver, &error)) << error->message;

  EXPECT_EQ (probe.ports_of ("Zelmora", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput),
             (std::vector<std::string>{ "Zelmora:out_1", "Zelmora:out_2", "Zelmora:out_3" }));
  /* Other clients see new connections once the server has told them. */
  const std::vector<std::string> playback[] = { { "system:playback_1" }, { "system:playback_2" }, {} };
  for (guint s = 0; s < 3; s++)
    {
      std::vector<std::string> got;
      wait_for ([&] {
        got = probe.connections ("Zelmora:out_" + std::to_string (s + 1));
        return got == playback[s];
      }, 2.0);
      EXPECT_EQ (got, playback[s]) << "out_" << s + 1;
    }

  ASSERT_TRUE (probe.connect_inputs ({ "Zelmora:out_3", "Zelmora:out_1" }));
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

  g_autoptr (VornMidiDriver) midi = new_midi (synth);
  ASSERT_TRUE (vorn_audio_driver_start (driver, nullptr));
  ASSERT_TRUE (vorn_midi_driver_start (midi, nullptr));
  probe.close ();
  server.stop (true);
  EXPECT_TRUE (wait_for ([&] {
    return !vorn_audio_driver_is_running (driver) && !vorn_midi_driver_is_running (midi);
  }));
  vorn_audio_driver_stop (driver);
  vorn_midi_driver_stop (midi);
  EXPECT_FALSE (vorn_audio_driver_start (driver, nullptr));
  EXPECT_FALSE (vorn_midi_driver_is_running (midi));
  g_clear_object (&driver);
  g_clear_object (&midi);
}
