/* zelmora-render, run as a program: rendered notes, MIDI timing, WAV formats
 * and sample values, outputs that are not plain files, and failures that
 * leave no file behind. */
#include "test-signal.h"
#include "tool-test.h"
#include "vorn-test-log.h"
#include "vornadel.h"

#include <glib/gstdio.h>
#include <sndfile.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using signal_test::frequency;
using signal_test::peak;
using tool_test::Result;

constexpr int RATE = 48000;
constexpr int FRAG = VORN_FRAGMENT_SIZE;

struct Wav {
  SF_INFO info = {};
  std::vector<std::vector<float>> speakers;
};

class Render : public tool_test::ToolTest
{
protected:
  static void SetUpTestSuite ()
  {
    make_folder ("ZELMORA_RENDER");
    /* The tool's own temporary files (for outputs it cannot replace) go
     * here too, where temp_left() sees them beside those of replaced
     * outputs; both are hidden. */
    g_setenv ("TMPDIR", dir, TRUE);
    ASSERT_EQ (mkfifo (path ("in.fifo").c_str (), 0600), 0);
  }

  static Wav read (const std::string &name)
  {
    Wav w;
    SNDFILE *f = sf_open (path (name).c_str (), SFM_READ, &w.info);
    EXPECT_NE (f, nullptr) << name;
    std::vector<float> frames (size_t (w.info.frames * w.info.channels));
    if (f)
      {
        EXPECT_EQ (sf_readf_float (f, frames.data (), w.info.frames), w.info.frames);
        sf_close (f);
      }
    for (int s = 0; s < w.info.channels; s++)
      w.speakers.push_back (signal_test::channel (frames, s, w.info.channels));
    return w;
  }

  static std::string contents (const std::string &name)
  {
    g_autofree char *text = nullptr;
    gsize length = 0;
    if (!g_file_get_contents (path (name).c_str (), &text, &length, nullptr))
      return "(unreadable)";
    return std::string (text, length);
  }

  static void write_file (const std::string &name, const std::string &bytes)
  {
    ASSERT_TRUE (g_file_set_contents (path (name).c_str (), bytes.data (), gssize (bytes.size ()), nullptr));
  }

  static bool temp_left ()
  {
    g_autoptr (GDir) d = g_dir_open (dir, 0, nullptr);
    while (const char *name = g_dir_read_name (d))
      if (name[0] == '.')
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
  EXPECT_NEAR (w.info.frames, RATE / 2 + RATE, FRAG);
  EXPECT_NEAR (frequency (w.speakers[0], RATE, RATE / 10, RATE / 2), 440.0, 0.05);
  EXPECT_NEAR (peak (w.speakers[0], RATE / 10, RATE / 2), 0.5, 1e-3);

  /* The tail limit cuts the release at its own frame. */
  r = run ({ "bank.vvi", "cut.wav", "-n", "69:0:0.5", "-t", "0.25", "-q" });
  ASSERT_EQ (r.status, 0) << r.err;
  EXPECT_EQ (r.out, "");
  EXPECT_EQ (read ("cut.wav").info.frames, RATE / 2 + RATE / 4);
}

TEST_F (Render, MidiFollowsTempoChannelsAndNoteOrder)
{
  /* 96 pulses per quarter.  At 120 bpm channel 1 holds note 69 for 0.5 s
   * while channel 2's note 69 ends at 0.25 s; at pulse 192 (1 s) the tempo
   * drops to 60 bpm, so note 81 starts at 2 s and its note-on with velocity
   * 0 ends it at 3 s. */
  const guint8 midi[] = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 0, 42,
    0, 0xff, 0x51, 3, 0x07, 0xa1, 0x20, 0, 0x90, 69, 127, 0, 0x91, 69, 127,
    48, 0x81, 69, 64, 48, 0x80, 69, 64, 96, 0xff, 0x51, 3, 0x0f, 0x42, 0x40,
    96, 0x90, 81, 100, 96, 0x90, 81, 0, 0, 0xff, 0x2f, 0,
  };
  write_file ("song.mid", std::string (reinterpret_cast<const char *> (midi), sizeof midi));
  Result r = run ({ "bank.vvi", "song.wav", "-m", "song.mid", "-q" });
  ASSERT_EQ (r.status, 0) << r.err;
  const std::vector<float> x = read ("song.wav").speakers[0];
  /* Channel 1's note releases at 0.5 s (not at channel 2's 0.25 s), so the
   * first sound lasts until 1.5 s; note 81 is silent until 2 s. */
  EXPECT_NE (x[RATE + RATE / 2 - 4 * FRAG], 0.0f);
  size_t onset = RATE + RATE / 2 + FRAG;
  while (onset < x.size () && x[onset] == 0.0f)
    onset++;
  EXPECT_NEAR (onset, 2 * RATE, FRAG);
  EXPECT_NEAR (frequency (x, RATE, 2 * RATE + RATE / 10, 3 * RATE), 880.0, 0.1);
  EXPECT_NEAR (x.size (), 4 * RATE, FRAG);

  r = run ({ "bank.vvi", "ch2.wav", "-m", "song.mid", "--channel", "2", "-q" });
  ASSERT_EQ (r.status, 0) << r.err;
  EXPECT_NEAR (read ("ch2.wav").info.frames, RATE / 4 + RATE, FRAG);

  /* 120 bpm, 96 pulses per quarter: note 69 at 0 s and struck again at
   * 0.25 s; its note-offs at 0.5 s and 1.5 s end the notes in the order
   * they started, so the second sounds until its release ends at 2.5 s.
   * A note-off with nothing to end (note 70) changes nothing. */
  const guint8 overlap[] = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 0, 25,
    0, 0x90, 69, 127, 48, 0x90, 69, 127, 48, 0x80, 69, 64, 0, 0x80, 70, 64,
    0x81, 0x40, 0x80, 69, 64, 0, 0xff, 0x2f, 0,
  };
  write_file ("again.mid", std::string (reinterpret_cast<const char *> (overlap), sizeof overlap));
  r = run ({ "bank.vvi", "again.wav", "-m", "again.mid", "-s", "1", "-q" });
  ASSERT_EQ (r.status, 0) << r.err;
  const std::vector<float> y = read ("again.wav").speakers[0];
  EXPECT_NEAR (y.size (), 5 * RATE / 2, 2 * FRAG);
  /* The second note is still held (at full level) just before 1.5 s. */
  EXPECT_GT (peak (y, RATE + RATE / 4, RATE + RATE / 2 - FRAG), 0.49f);

  /* A MIDI note sounds from its own frame, not from a fragment boundary:
   * one pulse (250 frames) later than the same note at 0. */
  auto first = [&] (guint8 delay) {
    const guint8 one[] = {
      'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 0, 12,
      delay, 0x90, 69, 127, 96, 0x80, 69, 64, 0, 0xff, 0x2f, 0,
    };
    write_file ("one.mid", std::string (reinterpret_cast<const char *> (one), sizeof one));
    Result res = run ({ "bank.vvi", "one.wav", "-m", "one.mid", "-s", "1", "-q" });
    EXPECT_EQ (res.status, 0) << res.err;
    const std::vector<float> z = read ("one.wav").speakers[0];
    return std::find_if (z.begin (), z.end (), [] (float v) { return v != 0.0f; }) - z.begin ();
  };
  EXPECT_EQ (first (1) - first (0), 250);
}

/* Float samples, four speakers, another rate, the second instrument by
 * name, double precision on two cores (integer formats: below). */
TEST_F (Render, FloatWavWithEveryOption)
{
  Result r = run ({ "bank.vvi", "fmt.wav", "-n", "69:0:0.2", "-b", "32f", "-s", "4", "-r", "44100", "-i", "High",
                    "-f", "double", "-c", "2", "-q" });
  ASSERT_EQ (r.status, 0) << r.err;
  Wav w = read ("fmt.wav");
  EXPECT_EQ (w.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  EXPECT_EQ (w.info.channels, 4);
  EXPECT_EQ (w.info.samplerate, 44100);
  EXPECT_NEAR (frequency (w.speakers[0], 44100, 44100 / 20), 880.0, 1.0);
  for (int s = 0; s < w.info.channels; s++)
    EXPECT_GT (peak (w.speakers[size_t (s)]), 0.05f) << "speaker " << s;
}

TEST_F (Render, FailuresLeaveNoFile)
{
  /* A track cut short in its first event. */
  const char cut[] = "MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\x2a\0\x90\x45";
  write_file ("garbage.mid", std::string (cut, sizeof cut - 1));
  const struct
  {
    std::vector<std::string> args; /* input, output, options */
    const char *message;
  } cases[] = {
    { { "missing.vvi", "out.wav", "-n", "60" }, "missing.vvi" },
    { { "empty.vvi", "out.wav", "-n", "60" }, "holds no instrument" },
    { { "bank.vvi", "out.wav", "-n", "60", "-i", "Organ" }, "available: 0 \"Plain\", 1 \"High\"" },
    { { "bank.vvi", "out.wav" }, "no notes given" },
    { { "bank.vvi", "out.wav", "-m", "garbage.mid" }, "not a valid MIDI file" },
    { { "bank.vvi", "out.wav", "-n", "128" }, "0-127" },
    { { "bank.vvi", "out.wav", "-n", "60", "-r", "999" }, "--sample-rate" },
    { { "bank.vvi", "out.wav", "-n", "60", "-s", "257" }, "--speakers" },
    { { "bank.vvi", "out.wav", "-n", "60", "-b", "8" }, "--bits" },
    { { "bank.vvi", "out.wav", "-n", "60", "--simd", "mmx" }, "--simd" },
    { { "bank.vvi", "bank.vvi", "-n", "60" }, "bank.vvi is an input" },
    { { "bank.vvi", "./garbage.mid", "-m", "garbage.mid" }, "garbage.mid is an input" },
    /* Inputs that would block or never end are refused before reading. */
    { { "bank.vvi", "out.wav", "-m", "in.fifo" }, "in.fifo: not a regular file" },
    { { "bank.vvi", "out.wav", "-m", "/dev/zero" }, "/dev/zero: not a regular file" },
    { { "bank.vvi", "out.wav", "-m", "huge.mid" }, "huge.mid: too large" },
  };
  write_file ("huge.mid", "");
  ASSERT_EQ (truncate (path ("huge.mid").c_str (), 17 << 20), 0); /* sparse */
  for (size_t i = 0; i < G_N_ELEMENTS (cases); i++)
    {
      const auto &c = cases[i];
      SCOPED_TRACE (c.args[1] + " " + c.message);
      /* Every other failure happens over an earlier render. */
      const std::string output = path (c.args[1]);
      g_unlink (path ("out.wav").c_str ());
      if (i % 2)
        g_file_set_contents (path ("out.wav").c_str (), "an earlier render", -1, nullptr);
      g_autofree char *before = nullptr, *after = nullptr;
      g_file_get_contents (output.c_str (), &before, nullptr, nullptr);
      Result r = run (c.args);
      EXPECT_EQ (r.status, 1);
      EXPECT_TRUE (g_str_has_prefix (r.err.c_str (), "zelmora-render: ")) << r.err;
      EXPECT_NE (r.err.find (c.message), std::string::npos) << r.err;
      g_file_get_contents (output.c_str (), &after, nullptr, nullptr);
      EXPECT_STREQ (after, before);
    }
  EXPECT_FALSE (temp_left ());

  /* Past the file size limit the write fails and says so. */
  struct rlimit saved, small;
  ASSERT_EQ (getrlimit (RLIMIT_FSIZE, &saved), 0);
  small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ (setrlimit (RLIMIT_FSIZE, &small), 0);
  Result r = run ({ "bank.vvi", "big.wav", "-n", "60", "-q" });
  setrlimit (RLIMIT_FSIZE, &saved);
  EXPECT_EQ (r.status, 1);
  EXPECT_NE (r.err.find ("cannot write big.wav: File too large"), std::string::npos) << r.err;
  EXPECT_FALSE (temp_left ());
}

TEST_F (Render, InterruptKeepsTheOldFile)
{
  ASSERT_TRUE (g_file_set_contents (path ("long.wav").c_str (), "old", -1, nullptr));
  GPid pid = 0;
  run ({ "bank.vvi", "long.wav", "-n", "60:0:3000", "-s", "1", "-b", "16", "-q" }, &pid);
  for (int i = 0; i < 1000 && !temp_left (); i++) /* until it writes its temporary file */
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

TEST_F (Render, IntegerSamplesAreClippedAndRounded)
{
  /* Four notes in phase peak at 2.0, so the integer files clip; every
   * sample must be the float render's value rounded to the nearest step. */
  const std::vector<std::string> notes = { "-n", "69:0:0.1", "-n", "69:0:0.1", "-n", "69:0:0.1",
                                           "-n", "69:0:0.1", "-s", "1", "-t", "0.05", "-q" };
  auto with = [&] (std::vector<std::string> args) {
    args.insert (args.end (), notes.begin (), notes.end ());
    return args;
  };
  ASSERT_EQ (run (with ({ "bank.vvi", "float.wav" })).status, 0);
  const std::vector<float> x = read ("float.wav").speakers[0];
  ASSERT_GT (peak (x), 1.5f);
  ASSERT_EQ (run (with ({ "bank.vvi", "float2.wav" })).status, 0);
  EXPECT_TRUE (contents ("float.wav") == contents ("float2.wav")) << "renders are byte-identical";

  const struct
  {
    const char *bits;
    double steps;
    int shift; /* where sf_readf_int puts the sample */
    int subtype;
  } cases[] = { { "16", 32767.0, 16, SF_FORMAT_PCM_16 }, { "24", 8388607.0, 8, SF_FORMAT_PCM_24 } };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (c.bits);
      ASSERT_EQ (run (with ({ "bank.vvi", "int.wav", "-b", c.bits })).status, 0);
      SF_INFO info = {};
      SNDFILE *f = sf_open (path ("int.wav").c_str (), SFM_READ, &info);
      ASSERT_NE (f, nullptr);
      EXPECT_EQ (info.format, SF_FORMAT_WAV | c.subtype);
      ASSERT_EQ (info.frames, sf_count_t (x.size ()));
      std::vector<int> got (x.size ());
      sf_readf_int (f, got.data (), info.frames);
      sf_close (f);
      size_t wrong = 0, clipped = 0, first = SIZE_MAX;
      for (size_t i = 0; i < x.size (); i++)
        {
          const long want = std::lround (std::clamp (double (x[i]), -1.0, 1.0) * c.steps);
          clipped += std::fabs (x[i]) > 1.0f;
          if ((got[i] >> c.shift) != want && wrong++ == 0)
            first = i;
        }
      EXPECT_GT (clipped, 0u);
      EXPECT_EQ (wrong, 0u) << "first at " << first << ": " << x[first] << " -> " << (got[first] >> c.shift);
    }
}

/* A player reads the FIFO: all of it, or one byte before it hangs up.  It
 * gives up after 20 s, so a FIFO replaced by a file fails the test instead
 * of hanging it. */
TEST_F (Render, FifoOutputIsFilledNotReplaced)
{
  ASSERT_EQ (mkfifo (path ("out.fifo").c_str (), 0600), 0);
  for (const char *reader : { "exec timeout 20 cat out.fifo > from-fifo.wav",
                              "exec timeout 20 head -c 1 out.fifo > /dev/null" })
    {
      SCOPED_TRACE (reader);
      const char *argv[] = { "sh", "-c", reader, nullptr };
      GPid pid = 0;
      ASSERT_TRUE (g_spawn_async (dir, const_cast<char **> (argv), nullptr,
                                  GSpawnFlags (G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
                                  nullptr, &pid, nullptr));
      Result r = run ({ "bank.vvi", "out.fifo", "-n", "69:0:1:127", "-s", "1", "-q" });
      waitpid (pid, nullptr, 0);
      g_spawn_close_pid (pid);
      struct stat st;
      ASSERT_EQ (lstat (path ("out.fifo").c_str (), &st), 0);
      EXPECT_TRUE (S_ISFIFO (st.st_mode));
      EXPECT_FALSE (temp_left ());
      if (g_str_has_prefix (reader, "exec timeout 20 head"))
        {
          EXPECT_EQ (r.status, 1);
          EXPECT_NE (r.err.find ("cannot write out.fifo: "), std::string::npos) << r.err;
          continue;
        }
      ASSERT_EQ (r.status, 0) << r.err;
      Wav w = read ("from-fifo.wav");
      ASSERT_EQ (w.speakers.size (), 1u);
      EXPECT_NEAR (w.info.frames, 2 * RATE, FRAG);
      EXPECT_NEAR (peak (w.speakers[0], 0, RATE), 0.5, 1e-3);
    }
}

} // namespace
