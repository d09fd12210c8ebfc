/* zelmora-render, run as a program: pitch, level and length of a rendered
 * note, an instrument with noise and a filter, MIDI timing across a tempo
 * change, WAV formats, and failures that leave no file behind. */
#include "vorn-test-log.h"
#include "vornadel.h"

#include <glib/gstdio.h>
#include <sndfile.h>

#include <sys/wait.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr int RATE = 48000;
constexpr int FRAG = VORN_FRAGMENT_SIZE;

struct Result
{
  int status = -1;
  std::string out, err;
};

struct Wav
{
  SF_INFO info = {};
  std::vector<float> data; /* interleaved */

  float at (sf_count_t frame, int chan = 0) const { return data[frame * info.channels + chan]; }
  /* First frame from @from on whose first channel is not 0. */
  sf_count_t onset (sf_count_t from) const
  {
    while (from < info.frames && at (from) == 0.0f)
      from++;
    return from;
  }
  /* Frequency from the rising zero crossings of the first channel. */
  double frequency (sf_count_t from, sf_count_t to) const
  {
    double first = -1, last = -1;
    int n = 0;
    for (sf_count_t i = from + 1; i < to; i++)
      if (at (i - 1) < 0 && at (i) >= 0)
        {
          last = double (i - 1) + at (i - 1) / double (at (i - 1) - at (i));
          first = first < 0 ? last : first;
          n++;
        }
    return n > 1 ? (n - 1) * RATE / (last - first) : 0.0;
  }
};

class Render : public ::testing::Test
{
protected:
  static inline char *dir = nullptr;

  /* One file with a plain instrument and one with noise and a low-pass
   * whose cutoff and Q come from control waves. */
  static void SetUpTestSuite ()
  {
    dir = g_dir_make_tmp ("zelmora-render-XXXXXX", nullptr);
    g_autoptr (VornFile) file = vorn_file_new ();
    g_autoptr (VornInst) plain = vorn_inst_new_default ();
    g_autoptr (VornInst) noisy = vorn_inst_new_default ();
    g_object_set (plain, "name", "Plain", nullptr);
    g_object_set (noisy, "name", "Noisy", nullptr);
    g_autoptr (VornFilterNoise) noise = vorn_filter_noise_new ();
    g_object_set (noise, "y-scale", 0.3, nullptr);
    g_autoptr (VornFilterRbjLowpass) lowpass = vorn_filter_rbj_lowpass_new ();
    g_object_set (lowpass, "freq-attrib", VORN_ATTRIB_TYPE_EFFECT1, "q-attrib", VORN_ATTRIB_TYPE_EFFECT2, nullptr);
    g_autoptr (VornWave) cutoff = vorn_wave_new_control ("Cutoff", VORN_ATTRIB_TYPE_EFFECT1, VORN_WAVE_OP_SET, 2000.0);
    g_autoptr (VornWave) q = vorn_wave_new_control ("Q", VORN_ATTRIB_TYPE_EFFECT2, VORN_WAVE_OP_SET, 0.7);
    vorn_node_insert (VORN_NODE (lowpass), VORN_NODE (cutoff), -1);
    vorn_node_insert (VORN_NODE (lowpass), VORN_NODE (q), -1);
    vorn_node_insert (VORN_NODE (noisy), VORN_NODE (noise), -1);
    vorn_node_insert (VORN_NODE (noisy), VORN_NODE (lowpass), -1);
    vorn_node_insert (VORN_NODE (file), VORN_NODE (plain), -1);
    vorn_node_insert (VORN_NODE (file), VORN_NODE (noisy), -1);
    ASSERT_TRUE (vorn_file_save (file, path ("bank.vvi").c_str (), nullptr));
    g_autoptr (VornFile) empty = vorn_file_new ();
    ASSERT_TRUE (vorn_file_save (empty, path ("empty.vvi").c_str (), nullptr));
  }
  static void TearDownTestSuite ()
  {
    g_autoptr (GDir) d = g_dir_open (dir, 0, nullptr);
    while (const char *name = g_dir_read_name (d))
      g_unlink (path (name).c_str ());
    g_rmdir (dir);
    g_clear_pointer (&dir, g_free);
  }

  static std::string path (const std::string &name) { return std::string (dir) + "/" + name; }

  static Result run (std::vector<std::string> args)
  {
    args.insert (args.begin (), g_getenv ("ZELMORA_RENDER"));
    std::vector<char *> argv;
    for (std::string &a : args)
      argv.push_back (a.data ());
    argv.push_back (nullptr);
    Result r;
    g_autofree char *out = nullptr, *err = nullptr;
    int wait = 0;
    EXPECT_TRUE (g_spawn_sync (dir, argv.data (), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err,
                               &wait, nullptr));
    r.status = WIFEXITED (wait) ? WEXITSTATUS (wait) : -1;
    r.out = out ? out : "";
    r.err = err ? err : "";
    return r;
  }

  static Wav read (const std::string &name)
  {
    Wav w;
    SNDFILE *f = sf_open (path (name).c_str (), SFM_READ, &w.info);
    EXPECT_NE (f, nullptr) << name;
    if (f)
      {
        w.data.resize (size_t (w.info.frames * w.info.channels));
        EXPECT_EQ (sf_readf_float (f, w.data.data (), w.info.frames), w.info.frames);
        sf_close (f);
      }
    return w;
  }

  /* Whether a render left a temporary file in the directory. */
  static bool temp_left ()
  {
    g_autoptr (GDir) d = g_dir_open (dir, 0, nullptr);
    while (const char *name = g_dir_read_name (d))
      if (g_str_has_prefix (name, ".zelmora-render-"))
        return true;
    return false;
  }
};

TEST_F (Render, NoteHasPitchLevelAndReleaseLength)
{
  /* Note 69 on root 69 plays 440 Hz at the master volume 0.5; the default
   * release envelope lasts one second after the note-off at 0.5 s. */
  Result r = run ({ "bank.vvi", "a4.wav", "-n", "69:0:0.5:127", "-s", "1" });
  ASSERT_EQ (r.status, 0) << r.err;
  EXPECT_NE (r.out.find ("72000 frames"), std::string::npos) << r.out;
  Wav w = read ("a4.wav");
  EXPECT_EQ (w.info.channels, 1);
  EXPECT_NEAR (w.info.frames, RATE / 2 + RATE, FRAG);
  EXPECT_NEAR (w.frequency (RATE / 10, RATE / 2), 440.0, 0.05);
  float peak = 0;
  for (sf_count_t i = RATE / 10; i < RATE / 2; i++)
    peak = std::max (peak, std::fabs (w.at (i)));
  EXPECT_NEAR (peak, 0.5, 1e-3);

  /* The tail limit cuts the release at its own frame. */
  r = run ({ "bank.vvi", "cut.wav", "-n", "69:0:0.5", "-t", "0.25", "-q" });
  ASSERT_EQ (r.status, 0) << r.err;
  EXPECT_EQ (r.out, "");
  EXPECT_EQ (read ("cut.wav").info.frames, RATE / 2 + RATE / 4);
}

TEST_F (Render, NoiseAndFilterInstrument)
{
  Result r = run ({ "bank.vvi", "noisy.wav", "-i", "Noisy", "-n", "60:0:0.5", "-f", "double", "-c", "2" });
  ASSERT_EQ (r.status, 0) << r.err;
  Wav w = read ("noisy.wav");
  float peak = 0;
  double power = 0, slope = 0;
  for (sf_count_t i = 0; i < w.info.frames; i++)
    {
      ASSERT_TRUE (std::isfinite (w.at (i)));
      peak = std::max (peak, std::fabs (w.at (i)));
      power += w.at (i) * w.at (i);
      slope += i ? (w.at (i) - w.at (i - 1)) * (w.at (i) - w.at (i - 1)) : 0.0;
    }
  EXPECT_GT (peak, 0.05f);
  EXPECT_LE (peak, 1.0f);
  /* The low-pass at 2 kHz takes its controls: unfiltered white noise would
   * change from sample to sample about as much as its own level. */
  EXPECT_LT (std::sqrt (slope / power), 0.2);
}

TEST_F (Render, MidiFollowsTempoAndChannels)
{
  /* 96 pulses per quarter.  At 120 bpm channel 1 holds note 69 for 0.5 s
   * while channel 2's note 69 ends at 0.25 s; at pulse 192 (1 s) the tempo
   * drops to 60 bpm, so note 81 starts at 2 s and its note-on with velocity
   * 0 ends it at 3 s. */
  const guint8 midi[] = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
    'M', 'T', 'r', 'k', 0, 0, 0, 42,
    0, 0xff, 0x51, 3, 0x07, 0xa1, 0x20,
    0, 0x90, 69, 127,
    0, 0x91, 69, 127,
    48, 0x81, 69, 64,
    48, 0x80, 69, 64,
    96, 0xff, 0x51, 3, 0x0f, 0x42, 0x40,
    96, 0x90, 81, 100,
    96, 0x90, 81, 0,
    0, 0xff, 0x2f, 0,
  };
  ASSERT_TRUE (g_file_set_contents (path ("song.mid").c_str (), reinterpret_cast<const char *> (midi),
                                    sizeof midi, nullptr));
  Result r = run ({ "bank.vvi", "song.wav", "-m", "song.mid", "-q" });
  ASSERT_EQ (r.status, 0) << r.err;
  Wav w = read ("song.wav");
  /* Channel 1's note releases at 0.5 s (not at channel 2's 0.25 s), the
   * first sound ends a second later and note 81 is silent until 2 s. */
  EXPECT_NE (w.at (RATE + RATE / 2 - 4 * FRAG), 0.0f);
  EXPECT_NEAR (w.onset (RATE + RATE / 2 + FRAG), 2 * RATE, FRAG);
  EXPECT_NEAR (w.frequency (2 * RATE + RATE / 10, 3 * RATE), 880.0, 0.1);
  EXPECT_NEAR (w.info.frames, 4 * RATE, FRAG);

  r = run ({ "bank.vvi", "ch2.wav", "-m", "song.mid", "--channel", "2", "-q" });
  ASSERT_EQ (r.status, 0) << r.err;
  EXPECT_NEAR (read ("ch2.wav").info.frames, RATE / 4 + RATE, FRAG);
}

TEST_F (Render, WavFormats)
{
  const struct
  {
    const char *bits, *speakers, *rate;
    int subtype;
  } cases[] = {
    { "16", "1", "48000", SF_FORMAT_PCM_16 },
    { "24", "4", "44100", SF_FORMAT_PCM_24 },
    { "32f", "2", "96000", SF_FORMAT_FLOAT },
    { "32f", "4", "48000", SF_FORMAT_FLOAT },
  };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (std::string (c.bits) + " bits, " + c.speakers + " speakers");
      Result r = run ({ "bank.vvi", "fmt.wav", "-n", "69:0:0.1", "-b", c.bits, "-s", c.speakers, "-r", c.rate, "-q" });
      ASSERT_EQ (r.status, 0) << r.err;
      Wav w = read ("fmt.wav");
      EXPECT_EQ (w.info.format, SF_FORMAT_WAV | c.subtype);
      EXPECT_EQ (w.info.channels, atoi (c.speakers));
      EXPECT_EQ (w.info.samplerate, atoi (c.rate));
      for (int s = 0; s < w.info.channels; s++)
        {
          float peak = 0;
          for (sf_count_t i = 0; i < w.info.frames; i++)
            peak = std::max (peak, std::fabs (w.at (i, s)));
          EXPECT_GT (peak, 0.05f) << "speaker " << s;
        }
    }
}

TEST_F (Render, FailuresLeaveNoFile)
{
  ASSERT_TRUE (g_file_set_contents (path ("garbage.vvi").c_str (), "not json", -1, nullptr));
  ASSERT_TRUE (g_file_set_contents (path ("garbage.mid").c_str (), "MThd", -1, nullptr));
  const struct
  {
    std::vector<std::string> args;
    const char *message;
  } cases[] = {
    { { "missing.vvi", "-n", "60" }, "missing.vvi" },
    { { "garbage.vvi", "-n", "60" }, "" },
    { { "empty.vvi", "-n", "60" }, "holds no instrument" },
    { { "bank.vvi", "-n", "60", "-i", "Organ" }, "available: 0 \"Plain\", 1 \"Noisy\"" },
    { { "bank.vvi", "-n", "60", "-i", "2" }, "no instrument \"2\"" },
    { { "bank.vvi" }, "no notes given" },
    { { "bank.vvi", "-m", "garbage.mid" }, "not a valid MIDI file" },
    { { "bank.vvi", "-m", "missing.mid" }, "missing.mid" },
    { { "bank.vvi", "-n", "128" }, "0-127" },
    { { "bank.vvi", "-n", "60:-1" }, "start" },
    { { "bank.vvi", "-n", "60:0:1:0" }, "velocity" },
    { { "bank.vvi", "-n", "60", "-r", "999" }, "--sample-rate" },
    { { "bank.vvi", "-n", "60", "-s", "257" }, "--speakers" },
    { { "bank.vvi", "-n", "60", "-f", "half" }, "--format" },
    { { "bank.vvi", "-n", "60", "-b", "8" }, "--bits" },
    { { "bank.vvi", "-n", "60", "--simd", "mmx" }, "--simd" },
    { { "bank.vvi", "-n", "60", "--cores", "-1" }, "--cores" },
  };
  const std::string kept = "an earlier render";
  for (const auto &c : cases)
    {
      for (const bool existing : { false, true })
        {
          SCOPED_TRACE (c.args[0] + " " + c.message + (existing ? " over a file" : ""));
          g_unlink (path ("out.wav").c_str ());
          if (existing)
            {
              ASSERT_TRUE (g_file_set_contents (path ("out.wav").c_str (), kept.c_str (), -1, nullptr));
            }
          std::vector<std::string> args = c.args;
          args.insert (args.begin () + 1, "out.wav");
          Result r = run (args);
          EXPECT_EQ (r.status, 1);
          EXPECT_TRUE (g_str_has_prefix (r.err.c_str (), "zelmora-render: ")) << r.err;
          EXPECT_NE (r.err.find (c.message), std::string::npos) << r.err;
          g_autofree char *left = nullptr;
          EXPECT_EQ (g_file_get_contents (path ("out.wav").c_str (), &left, nullptr, nullptr), existing);
          if (existing)
            {
              EXPECT_EQ (left, kept);
            }
        }
    }
  /* Outputs that cannot be written, or would destroy an input. */
  const std::vector<std::string> outputs[] = {
    { "bank.vvi", "no-such-dir/out.wav", "-n", "60" },
    { "bank.vvi", "bank.vvi", "-n", "60" },
    { "bank.vvi", "./garbage.mid", "-m", "garbage.mid" },
  };
  for (const auto &args : outputs)
    {
      Result r = run (args);
      EXPECT_EQ (r.status, 1);
      EXPECT_NE (r.err.find (args[1]), std::string::npos) << r.err;
    }
  EXPECT_FALSE (temp_left ());
  g_autoptr (VornFile) bank = vorn_file_load (path ("bank.vvi").c_str (), nullptr);
  EXPECT_NE (bank, nullptr);
}

TEST_F (Render, InterruptKeepsTheOldFile)
{
  ASSERT_TRUE (g_file_set_contents (path ("long.wav").c_str (), "old", -1, nullptr));
  std::string tool = g_getenv ("ZELMORA_RENDER");
  char *argv[] = { tool.data (), const_cast<char *> ("bank.vvi"), const_cast<char *> ("long.wav"),
                   const_cast<char *> ("-n"), const_cast<char *> ("60:0:3000"), const_cast<char *> ("-s"),
                   const_cast<char *> ("1"), const_cast<char *> ("-b"), const_cast<char *> ("16"),
                   const_cast<char *> ("-q"), nullptr };
  GPid pid = 0;
  ASSERT_TRUE (g_spawn_async (dir, argv, nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid, nullptr));
  /* Interrupt once the render is writing its temporary file. */
  for (int i = 0; i < 1000 && !temp_left (); i++)
    g_usleep (10000);
  EXPECT_TRUE (temp_left ());
  kill (pid, SIGINT);
  int wait = 0;
  waitpid (pid, &wait, 0);
  g_spawn_close_pid (pid);
  EXPECT_TRUE (WIFSIGNALED (wait) && WTERMSIG (wait) == SIGINT);
  EXPECT_FALSE (temp_left ());
  g_autofree char *left = nullptr;
  ASSERT_TRUE (g_file_get_contents (path ("long.wav").c_str (), &left, nullptr, nullptr));
  EXPECT_STREQ (left, "old");
}

TEST_F (Render, Help)
{
  Result r = run ({ "--help" });
  EXPECT_EQ (r.status, 0);
  EXPECT_NE (r.out.find ("INSTRUMENT-FILE OUTPUT.wav"), std::string::npos) << r.out;
  EXPECT_NE (r.out.find ("--note=NOTE[:START[:LENGTH[:VELOCITY]]]"), std::string::npos) << r.out;
}

} // namespace
