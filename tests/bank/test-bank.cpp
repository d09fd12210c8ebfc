/* The built-in bank as the application embeds it: the file's form, and how
 * every instrument sounds when played through the engine (each in
 * its place, under its name). */
#include "vorn-test-audio.h"
#include "vorn-test-log.h"
#include "vorn-test-model.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

namespace {

using namespace vorn_test;

constexpr int RATE = AUDIO_RATE;
constexpr int SPEAKERS = AUDIO_SPEAKERS;

/* Each instrument in bank order, and whether it has a pitch to check. */
struct Spec {
  const char *name;
  bool pitched = true;
};

const std::vector<Spec> &
specs ()
{
  static const std::vector<Spec> table = {
    { "In The Beginning" }, { "Vox Humina" }, { "Vox Humina Filtered" }, { "Organic" },
    { "Steel Drum Synth" }, { "FM Wanna Be Square" }, { "Pan Synth" }, { "Zweikatzenorgel" },
    { "Electric Piano" }, { "Accordion" }, { "Eisenmorph" }, { "KickNBrass" }, { "Big Bee" },
    { "Big Bee LPF" }, { "Trigon" }, { "Desert Night" }, { "Desert Sunrise" }, { "Ode To Empire" },
    { "Distortion Flute" }, { "Eternity" }, { "Toggle" },
    { "Bass Drum", false }, { "Noise Cymbal", false },
  };
  return table;
}

std::string
bank_path ()
{
  const char *p = g_getenv ("BANK_VVI");
  return p ? p : "";
}

VornFile *
load_bank ()
{
  g_autoptr (GError) error = nullptr;
  VornFile *file = vorn_file_load (bank_path ().c_str (), &error);
  EXPECT_NE (file, nullptr) << (error ? error->message : "");
  return file;
}

TEST (BankFile, LoadAndSaveGiveTheSameBytes)
{
  g_autoptr (VornFile) file = load_bank ();
  ASSERT_NE (file, nullptr);
  TempDir dir;
  const std::string out = dir.file ("bank.vvi");
  g_autoptr (GError) error = nullptr;
  ASSERT_TRUE (vorn_file_save (file, out.c_str (), &error)) << error->message;

  std::string before = read_text (bank_path ()), after = read_text (out);
  EXPECT_FALSE (before.empty ());
  EXPECT_TRUE (before == after) << "the saved bank differs from the committed one";
}

/* The largest sample-to-sample step over frames [from, to), either speaker;
 * the sample before frame 0 is silence. */
double
max_step (const std::vector<float> &x, size_t from, size_t to)
{
  double step = 0;
  to = std::min (to, x.size () / SPEAKERS);
  for (size_t i = from; i < to; i++)
    for (int s = 0; s < SPEAKERS; s++)
      {
        double prev = i ? x[(i - 1) * SPEAKERS + s] : 0.0;
        step = std::max (step, std::fabs (x[i * SPEAKERS + s] - prev));
      }
  return step;
}

/* The frequency of the partial near @expect in the mono sum over [t0, t1) s:
 * the signal is shifted down by @expect, low-passed by two moving averages
 * over eight periods (which null every other harmonic of @expect), and the
 * remaining phase drift is fitted with a line.  A vibrato averages out; the
 * result is the note's mean fundamental, far finer than an FFT bin. */
double
measure_cents (const std::vector<float> &x, double expect, double t0, double t1)
{
  const size_t len = size_t (std::lround (8 * RATE / expect));
  const size_t a = size_t (t0 * RATE) - 2 * len, b = size_t (t1 * RATE) + 2 * len;
  if (a > b || b * SPEAKERS > x.size ())
    return NAN;
  std::vector<std::complex<double>> z (b - a);
  const double w = -2 * M_PI * expect / RATE;
  for (size_t n = a; n < b; n++)
    {
      double mono = x[n * SPEAKERS] + x[n * SPEAKERS + 1];
      z[n - a] = mono * std::polar (1.0, w * double (n));
    }
  for (int pass = 0; pass < 2; pass++)
    {
      std::vector<std::complex<double>> sum (z.size () + 1), avg (z.size ());
      for (size_t i = 0; i < z.size (); i++)
        sum[i + 1] = sum[i] + z[i];
      for (size_t i = len; i < z.size (); i++)
        avg[i] = (sum[i + 1] - sum[i + 1 - len]) / double (len);
      z = avg;
    }
  /* Least squares of the unwrapped phase against time. */
  double st = 0, sp = 0, stt = 0, stp = 0, last = 0, turn = 0;
  int count = 0;
  for (size_t n = size_t (t0 * RATE); n < size_t (t1 * RATE); n += 64)
    {
      double ph = std::arg (z[n - a + len]);
      if (count)
        turn += std::round ((last - ph) / (2 * M_PI));
      last = ph;
      double p = ph + turn * 2 * M_PI, t = double (n) / RATE;
      st += t, sp += p, stt += t * t, stp += t * p;
      count++;
    }
  double slope = (count * stp - st * sp) / (count * stt - st * st);
  return 1200 * std::log2 ((expect + slope / (2 * M_PI)) / expect);
}

double
note_freq (int note)
{
  return 440.0 * std::pow (2.0, (note - 69) / 12.0);
}

constexpr double HOLD = 1.5;       /* seconds a test note is held */
constexpr double ONSET = 0.001;    /* the note-on window checked for a click */
constexpr double OFFSET = 0.02;    /* the note-off window checked for a click */

VornInst *
nth_inst (VornFile *file, size_t index)
{
  VornNode *n = VORN_NODE (file)->children;
  for (size_t i = 0; n && i < index; i++)
    n = n->next;
  return VORN_INST (n);
}

/* Note 60 at full velocity held for HOLD seconds, then released and rendered
 * until no voice sounds or 10 s have passed; @sounding receives the voices
 * still sounding at the end. */
std::vector<float>
play_note (VornInst *inst, guint *sounding)
{
  Player player (inst);
  std::vector<float> out;
  player.on (60);
  player.render (out, HOLD);
  player.off (60);
  for (double after = 0; player.sounding () > 0 && after < 10.0; after += 0.1)
    player.render (out, 0.1);
  *sounding = player.sounding ();
  return out;
}

class Instrument : public ::testing::TestWithParam<size_t>
{
protected:
  static void SetUpTestSuite () { file = load_bank (); }
  static void TearDownTestSuite () { g_clear_object (&file); }
  VornInst *inst () { return nth_inst (file, GetParam ()); }
  static inline VornFile *file = nullptr;
};

/* One note of every instrument at full velocity: heard, unclipped (sharp
 * edges overshoot once band-limited), finite, centred on zero, in tune,
 * started and ended without a click, and over within 10 s of the key's
 * release. */
TEST_P (Instrument, PlaysOneNoteCleanly)
{
  ASSERT_NE (inst (), nullptr);
  EXPECT_EQ (get_string (inst ()), specs ()[GetParam ()].name);
  EXPECT_EQ (GetParam () + 1 == specs ().size (), VORN_NODE (inst ())->next == nullptr) << "bank size";
  guint sounding = 0;
  std::vector<float> out = play_note (inst (), &sounding);
  EXPECT_EQ (sounding, 0u) << "voices still sound 10 s after note-off";

  for (float v : out)
    ASSERT_TRUE (std::isfinite (v));
  EXPECT_GT (db (peak (out)), -30.0);
  EXPECT_LT (peak (out), 1.0) << "clipped";
  for (int s = 0; s < SPEAKERS; s++)
    {
      double sum = 0;
      for (size_t i = s; i < out.size (); i += SPEAKERS)
        sum += out[i];
      EXPECT_LT (std::fabs (sum / double (out.size () / SPEAKERS)), 1e-3) << "speaker " << s;
    }

  /* A click is a step larger than any the instrument makes while it plays. */
  const size_t onset = size_t (ONSET * RATE), off = size_t (HOLD * RATE);
  double steady = max_step (out, onset, off);
  EXPECT_LE (max_step (out, 0, onset), steady) << "click at note-on";
  EXPECT_LE (max_step (out, off, off + size_t (OFFSET * RATE)), steady) << "click at note-off";

  /* After the attack and any pitch or filter sweep have settled, before the
   * release reaches the measure. */
  if (specs ()[GetParam ()].pitched)
    {
      EXPECT_LT (std::fabs (measure_cents (out, note_freq (60), 0.7, HOLD - 0.1)), 1.0) << "out of tune";
    }
}

INSTANTIATE_TEST_SUITE_P (Bank, Instrument, ::testing::Range<size_t> (0, specs ().size ()),
                          [] (const ::testing::TestParamInfo<size_t> &info) {
                            std::string name;
                            for (const char *c = specs ()[info.param].name; *c; c++)
                              if (g_ascii_isalnum (*c))
                                name += *c;
                            return name;
                          });

} // namespace
