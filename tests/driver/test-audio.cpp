/* The audio driver through the real PortAudio: ALSA plays to a "file" plugin
 * over "null", capturing raw float frames as fast as they are fed. */
#include "vorn-test-log.h"
#include "vorn-test-model.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace {

/* A synthesizer whose interleaved renderer writes a ramp. */
struct FakeSynth {
  VornSynth parent_instance;
};
struct FakeSynthClass { VornSynthClass parent_class; };

G_DEFINE_TYPE (FakeSynth, fake_synth, VORN_TYPE_SYNTH)

std::atomic<guint> frames_done{ 0 };

/* Channel 0 counts frames, channel 1 mirrors it: gaps, repeats and channel
 * mix-ups all show in the capture. */
void
fake_render_interleaved (VornSynth *, float *out, guint frames)
{
  guint at = frames_done.fetch_add (frames);
  for (guint i = 0; i < frames; i++)
    {
      out[2 * i] = float ((at + i) % 100000);
      out[2 * i + 1] = -float ((at + i) % 100000);
    }
}

void fake_synth_class_init (FakeSynthClass *klass) { VORN_SYNTH_CLASS (klass)->render_interleaved = fake_render_interleaved; }
void fake_synth_init (FakeSynth *) {}

/* A home whose ALSA default PCM is a capture file. */
class AudioTest : public ::testing::Test {
protected:
  void SetUp () override
  {
    old_home = g_getenv ("HOME") ? g_getenv ("HOME") : "";
    g_setenv ("HOME", dir.path, TRUE);
    g_setenv ("XDG_CONFIG_HOME", dir.path, TRUE);
    const std::string text = "pcm.!default {\n  type file\n  slave.pcm \"null\"\n  file \""
                             + dir.file ("out.raw") + "\"\n  format \"raw\"\n}\n";
    ASSERT_TRUE (g_file_set_contents (dir.file (".asoundrc").c_str (), text.c_str (), -1, nullptr));
  }

  void TearDown () override
  {
    g_setenv ("HOME", old_home.c_str (), TRUE);
    g_unsetenv ("XDG_CONFIG_HOME");
  }

  std::vector<float> captured ()
  {
    const std::string data = vorn_test::read_text (dir.file ("out.raw"));
    const auto *samples = reinterpret_cast<const float *> (data.data ());
    return std::vector<float> (samples, samples + data.size () / sizeof (float));
  }

  template <typename Pred> static bool wait_for (Pred pred)
  {
    for (int i = 0; i < 2000 && !pred (); i++)
      std::this_thread::sleep_for (std::chrono::milliseconds (5));
    return pred ();
  }

  vorn_test::TempDir dir;
  std::string old_home;
};

} // namespace

/* The callback renders into interleaved channels with nothing lost;
 * restarting and finalising are safe. */
TEST_F (AudioTest, CallbackFeedsTheSynthContinuously)
{
  g_autoptr (VornSynth) synth = VORN_SYNTH (g_object_new (fake_synth_get_type (), nullptr));

  g_autoptr (VornAudioDriver) driver = vorn_audio_driver_new (VORN_AUDIO_DRIVER_PORTAUDIO, synth);
  g_object_set (driver, "frames", 256, "speaker-count", 5u, "sample-rate", 8000.0, nullptr);
  g_autoptr (GError) error = nullptr;
  ASSERT_TRUE (vorn_audio_driver_start (driver, &error)) << error->message;

  guint speakers = 0;
  double rate = 0;
  g_object_get (driver, "speaker-count", &speakers, "sample-rate", &rate, nullptr);
  EXPECT_TRUE (speakers == 2 && rate == 48000.0) << "taken from the synthesizer at start";

  ASSERT_TRUE (wait_for ([] { return frames_done.load () >= 48000; }));
  vorn_audio_driver_stop (driver);
  EXPECT_FALSE (vorn_audio_driver_is_running (driver));

  std::vector<float> raw = captured ();
  /* PortAudio primes the device with silence before the first callback. */
  size_t start = 0;
  while (start < raw.size () && raw[start] == 0.0f)
    start += 2;
  ASSERT_GE (start, 2u);
  start -= 2;
  ASSERT_GE (raw.size () - start, 2u * 48000);
  size_t bad = 0;
  for (size_t i = start; i + 1 < raw.size (); i += 2)
    bad += raw[i] != float (((i - start) / 2) % 100000) || raw[i + 1] != -raw[i];
  EXPECT_EQ (bad, 0u) << "every frame arrives once, in order, both channels";

  /* Starting a running driver restarts it; finalising stops the stream. */
  ASSERT_TRUE (vorn_audio_driver_start (driver, &error));
  ASSERT_TRUE (vorn_audio_driver_start (driver, &error));
  const guint before = frames_done.load ();
  ASSERT_TRUE (wait_for ([before] { return frames_done.load () >= before + 8 * 256; }));
  g_clear_object (&driver);
  const guint after = frames_done.load ();
  g_usleep (100000);
  EXPECT_EQ (frames_done.load (), after) << "no callback after finalising";
}
