/* The built-in bank as the application embeds it: the file's form, its
 * outline, and how every instrument sounds when played through the engine. */
#include "vorn-test-log.h"
#include "vornadel.h"

#include <glib/gstdio.h>
#include <json-glib/json-glib.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int RATE = 48000;
constexpr int SPEAKERS = 2;

/* The outline each instrument must keep: its name, the names its first
 * children start with, and whether it has a pitch to check. */
struct Spec {
  const char *name;
  std::vector<std::string> begins;
  bool pitched;
};

const std::vector<std::string> ENVELOPES = { "Volume Attack", "Volume Release" };

const std::vector<Spec> &
specs ()
{
  static const std::vector<Spec> table = {
    { "In The Beginning", ENVELOPES, true },
    { "Vox Humina", ENVELOPES, true },
    { "Vox Humina Filtered", ENVELOPES, true },
    { "Organic", ENVELOPES, true },
    { "Steel Drum Synth", ENVELOPES, true },
    { "FM Wanna Be Square", ENVELOPES, true },
    { "Pan Synth", ENVELOPES, true },
    { "Zweikatzenorgel", ENVELOPES, true },
    { "Electric Piano", ENVELOPES, true },
    { "Accordion", ENVELOPES, true },
    { "Eisenmorph", ENVELOPES, true },
    { "KickNBrass", ENVELOPES, true },
    { "Big Bee", ENVELOPES, true },
    { "Big Bee LPF", ENVELOPES, true },
    { "Trigon", ENVELOPES, true },
    { "Desert Night", ENVELOPES, true },
    { "Desert Sunrise", ENVELOPES, true },
    { "Ode To Empire", ENVELOPES, true },
    { "Distortion Flute", ENVELOPES, true },
    { "Eternity", ENVELOPES, true },
    { "Toggle", ENVELOPES, true },
    { "Bass Drum", { "Volume Attack", "Pitch Attack" }, false },
    { "Noise Cymbal", { "Volume Envelope", "White Noise", "Highpass Filter" }, false },
  };
  return table;
}

std::string
bank_path ()
{
  const char *p = g_getenv ("BANK_VVI");
  return p ? p : "";
}

std::string
node_name (VornNode *node)
{
  g_autofree char *name = nullptr;
  g_object_get (node, "name", &name, nullptr);
  return name ? name : "";
}

std::vector<VornNode *>
children (VornNode *node)
{
  std::vector<VornNode *> out;
  for (VornNode *c = node->children; c; c = c->next)
    out.push_back (c);
  return out;
}

VornFile *
load_bank ()
{
  g_autoptr (GError) error = nullptr;
  VornFile *file = vorn_file_load (bank_path ().c_str (), &error);
  EXPECT_NE (file, nullptr) << (error ? error->message : "");
  return file;
}

std::string
read_all (const std::string &path)
{
  g_autofree char *data = nullptr;
  gsize len = 0;
  if (!g_file_get_contents (path.c_str (), &data, &len, nullptr))
    return {};
  return std::string (data, len);
}

TEST (BankFile, LoadAndSaveGiveTheSameBytes)
{
  g_autoptr (VornFile) file = load_bank ();
  ASSERT_NE (file, nullptr);
  g_autofree char *dir = g_dir_make_tmp ("zelmora-bank-XXXXXX", nullptr);
  g_autofree char *out = g_build_filename (dir, "bank.vvi", nullptr);
  g_autoptr (GError) error = nullptr;
  ASSERT_TRUE (vorn_file_save (file, out, &error)) << error->message;

  std::string before = read_all (bank_path ()), after = read_all (out);
  EXPECT_FALSE (before.empty ());
  EXPECT_TRUE (before == after) << "the saved bank differs from the committed one";
  g_remove (out);
  g_rmdir (dir);
}

/* Pre-order walk collecting every node below the file. */
void
collect (VornNode *node, std::vector<VornNode *> &out)
{
  for (VornNode *c : children (node))
    {
      out.push_back (c);
      collect (c, out);
    }
}

int
count_waves (VornNode *node)
{
  int n = 0;
  for (VornNode *c : children (node))
    n += (VORN_IS_WAVE (c) ? 1 : 0) + count_waves (c);
  return n;
}

TEST (BankFile, Outline)
{
  g_autoptr (VornFile) file = load_bank ();
  ASSERT_NE (file, nullptr);

  std::vector<VornNode *> insts = children (VORN_NODE (file));
  ASSERT_EQ (insts.size (), specs ().size ());
  for (size_t i = 0; i < insts.size (); i++)
    {
      const Spec &spec = specs ()[i];
      SCOPED_TRACE (spec.name);
      ASSERT_TRUE (VORN_IS_INST (insts[i]));
      EXPECT_EQ (node_name (insts[i]), spec.name);

      double root = 0;
      g_autofree char *category = nullptr;
      g_object_get (insts[i], "root-note", &root, "category", &category, nullptr);
      EXPECT_EQ (root, 69.0);
      EXPECT_STREQ (category, "Electronic");

      std::vector<VornNode *> kids = children (insts[i]);
      ASSERT_GE (kids.size (), spec.begins.size ());
      for (size_t k = 0; k < spec.begins.size (); k++)
        EXPECT_EQ (node_name (kids[k]), spec.begins[k]);
      int waves = count_waves (insts[i]);
      EXPECT_GE (waves, 3);
      EXPECT_LE (waves, 11);
    }

  /* The envelopes really are what their names say. */
  auto kind = [] (VornNode *n) {
    VornWaveKind k = VORN_WAVE_KIND_UNDEFINED;
    if (VORN_IS_WAVE (n))
      g_object_get (n, "kind", &k, nullptr);
    return k;
  };
  for (size_t i = 0; i < 21; i++)
    {
      std::vector<VornNode *> kids = children (insts[i]);
      EXPECT_EQ (kind (kids[0]), VORN_WAVE_KIND_VOLUME_ATTACK) << specs ()[i].name;
      EXPECT_EQ (kind (kids[1]), VORN_WAVE_KIND_VOLUME_RELEASE) << specs ()[i].name;
    }
  std::vector<VornNode *> drum = children (insts[21]), cymbal = children (insts[22]);
  EXPECT_EQ (kind (drum[1]), VORN_WAVE_KIND_PITCH_ATTACK);
  EXPECT_TRUE (VORN_IS_FILTER_NOISE (cymbal[1]));
  EXPECT_EQ (G_OBJECT_TYPE (cymbal[2]), VORN_TYPE_FILTER_RBJ_HIGHPASS);

  /* Filters: a band-pass with two control waves in "Vox Humina Filtered",
   * a low-pass in "Big Bee LPF". */
  auto find_child = [] (VornNode *inst, GType type) -> VornNode * {
    for (VornNode *c : children (inst))
      if (G_OBJECT_TYPE (c) == type)
        return c;
    return nullptr;
  };
  VornNode *band = find_child (insts[2], VORN_TYPE_FILTER_RBJ_BANDPASS);
  ASSERT_NE (band, nullptr);
  int controls = 0;
  for (VornNode *c : children (band))
    controls += VORN_IS_WAVE (c) && VORN_WAVE (c)->y_attrib == VORN_ATTRIB_TYPE_CONTROL;
  EXPECT_EQ (controls, 2);
  EXPECT_NE (find_child (insts[13], VORN_TYPE_FILTER_RBJ_LOWPASS), nullptr);

  /* Ids 1..159 in file order, the counter right after them. */
  std::vector<VornNode *> all;
  collect (VORN_NODE (file), all);
  ASSERT_EQ (all.size (), 159u);
  for (size_t i = 0; i < all.size (); i++)
    EXPECT_EQ (all[i]->id, i + 1) << node_name (all[i]);
  guint next_id = 0;
  g_object_get (file, "next-id", &next_id, nullptr);
  EXPECT_EQ (next_id, 160u);
}

/* Members as written in the file, including the ones that load cannot
 * restore (software strings) and the mix attributes of every instrument. */
TEST (BankFile, Members)
{
  g_autoptr (JsonParser) parser = json_parser_new ();
  ASSERT_TRUE (json_parser_load_from_file (parser, bank_path ().c_str (), nullptr));
  JsonObject *root = json_node_get_object (json_parser_get_root (parser));
  const std::map<std::string, std::string> expected = {
    { "format", "Vornadel:Waves" },
    { "format-version", "1.0" },
    { "software-created", "Zelmora 0.9.0" },
    { "software-edited", "Zelmora 0.9.0" },
    { "license", "Public Domain" },
  };
  for (const auto &[member, value] : expected)
    EXPECT_STREQ (json_object_get_string_member_with_default (root, member.c_str (), ""),
                  value.c_str ())
        << member;
  EXPECT_TRUE (g_uuid_string_is_valid (json_object_get_string_member_with_default (root, "uuid", "")));
  EXPECT_EQ (json_object_get_int_member_with_default (root, "next-id", 0), 160);

  JsonArray *insts = json_object_get_array_member (root, "nodes");
  ASSERT_EQ (json_array_get_length (insts), 23u);
  for (guint i = 0; i < 23; i++)
    {
      JsonObject *inst = json_array_get_object_element (insts, i);
      for (const char *m : { "sig-attrib", "bal-attrib", "lat-attrib", "src-attrib", "dest-attrib" })
        EXPECT_TRUE (json_object_has_member (inst, m)) << specs ()[i].name << ": " << m;
    }
}

/* --- playing the instruments ------------------------------------------- */

/* One synthesizer playing one instrument of the bank on channel 0. */
class Player
{
public:
  Player (VornInst *inst)
  {
    synth = vorn_synth_cpu_new ();
    g_object_set (synth, "speaker-count", guint (SPEAKERS), nullptr);
    vorn_synth_start (synth);
    vorn_synth_set_inst (synth, 0, inst);
  }
  ~Player ()
  {
    drain ();
    vorn_synth_stop (synth);
    drain ();
    g_object_unref (synth);
  }

  void on (int note) { vorn_synth_note_on (synth, 0, 0, 0, guint8 (note), 127, nullptr); }
  void off (int note) { vorn_synth_note_off (synth, 0, 0, 0, guint8 (note), 0); }

  /* Appends @seconds of interleaved frames to out. */
  void render (std::vector<float> &out, double seconds)
  {
    size_t frames = size_t (seconds * RATE), at = out.size ();
    out.resize (at + frames * SPEAKERS);
    vorn_synth_render_interleaved (synth, out.data () + at, guint (frames));
    drain ();
  }

  guint sounding ()
  {
    guint active = 0;
    vorn_synth_voice_stats (synth, &active, nullptr, FALSE);
    return active;
  }

private:
  void drain ()
  {
    while (VornSynthMsg *msg = vorn_synth_get_message (synth))
      vorn_synth_msg_free (msg);
  }
  VornSynth *synth;
};

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

double
peak (const std::vector<float> &x)
{
  double p = 0;
  for (float v : x)
    p = std::max (p, double (std::fabs (v)));
  return p;
}

double
db (double v)
{
  return 20 * std::log10 (std::max (v, 1e-12));
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

/* Average spectrum of the held part of note 60 in bands one partial wide,
 * centred on the first 40 partials of the note (up to 10.5 kHz), in dB
 * relative to the loudest band and floored at -60 dB: the balance of an
 * instrument's partials, not its loudness.  Energy between the partials
 * (noise, inharmonic partials) lands in the nearest band. */
std::vector<double>
band_spectrum (const std::vector<float> &x, size_t from, size_t to)
{
  constexpr size_t N = 4096;
  std::vector<double> power (N / 2);
  size_t frames = 0;
  for (size_t start = from; start + N <= to; start += N / 2, frames++)
    {
      std::vector<std::complex<double>> f (N);
      for (size_t i = 0; i < N; i++)
        {
          double hann = 0.5 - 0.5 * std::cos (2 * M_PI * double (i) / N);
          f[i] = hann * (x[(start + i) * SPEAKERS] + x[(start + i) * SPEAKERS + 1]);
        }
      /* In-place radix-2 FFT. */
      for (size_t i = 1, j = 0; i < N; i++)
        {
          size_t bit = N >> 1;
          for (; j & bit; bit >>= 1)
            j ^= bit;
          j ^= bit;
          if (i < j)
            std::swap (f[i], f[j]);
        }
      for (size_t len = 2; len <= N; len <<= 1)
        {
          auto wl = std::polar (1.0, -2 * M_PI / double (len));
          for (size_t i = 0; i < N; i += len)
            {
              std::complex<double> wk = 1;
              for (size_t k = 0; k < len / 2; k++, wk *= wl)
                {
                  auto u = f[i + k], v = f[i + k + len / 2] * wk;
                  f[i + k] = u + v;
                  f[i + k + len / 2] = u - v;
                }
            }
        }
      for (size_t k = 0; k < N / 2; k++)
        power[k] += std::norm (f[k]);
    }
  std::vector<double> bands;
  const double f0 = note_freq (60);
  for (int partial = 1; partial <= 40; partial++)
    {
      double e = 1e-30;
      for (size_t k = 0; k < N / 2; k++)
        {
          double f = double (k) * RATE / N;
          if (f >= (partial - 0.5) * f0 && f < (partial + 0.5) * f0)
            e += power[k] / double (std::max<size_t> (frames, 1));
        }
      bands.push_back (10 * std::log10 (e));
    }
  double top = *std::max_element (bands.begin (), bands.end ());
  for (double &b : bands)
    b = std::max (b - top, -60.0);
  return bands;
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

/* One note of every instrument at full velocity: heard, finite, centred on
 * zero, started and ended without a click, and over within 10 s of the key's
 * release. */
TEST_P (Instrument, PlaysOneNoteCleanly)
{
  guint sounding = 0;
  std::vector<float> out = play_note (inst (), &sounding);
  EXPECT_EQ (sounding, 0u) << "voices still sound 10 s after note-off";

  for (float v : out)
    ASSERT_TRUE (std::isfinite (v));
  EXPECT_GT (db (peak (out)), -30.0);
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
}

/* A four-note chord held for three seconds (long enough for the slow pads
 * to swell) stays below -1 dBFS. */
TEST_P (Instrument, ChordDoesNotClip)
{
  Player player (inst ());
  std::vector<float> out;
  for (int note : { 60, 64, 67, 71 })
    player.on (note);
  player.render (out, 3.0);
  for (int note : { 60, 64, 67, 71 })
    player.off (note);
  player.render (out, 0.3);
  EXPECT_LE (db (peak (out)), -1.0);
}

TEST_P (Instrument, FundamentalIsInTune)
{
  if (!specs ()[GetParam ()].pitched)
    GTEST_SKIP () << "unpitched";
  for (int note : { 36, 60, 84 })
    {
      Player player (inst ());
      std::vector<float> out;
      player.on (note);
      player.render (out, 1.8);
      /* After the attack and any pitch or filter sweep have settled. */
      EXPECT_LT (std::fabs (measure_cents (out, note_freq (note), 0.7, 1.5)), 1.0)
          << "note " << note;
    }
}

INSTANTIATE_TEST_SUITE_P (Bank, Instrument, ::testing::Range<size_t> (0, 23),
                          [] (const ::testing::TestParamInfo<size_t> &info) {
                            std::string name;
                            for (const char *c = specs ()[info.param].name; *c; c++)
                              if (g_ascii_isalnum (*c))
                                name += *c;
                            return name;
                          });

/* Every pair of average spectra differs by more than 3 dB RMS over the 40
 * partial bands.  About 1 dB is the smallest level change of a partial a
 * listener notices, so 3 dB on average over every partial is a difference
 * in timbre no one mistakes; a copy of an instrument with a few partials
 * retouched would stay below it. */
TEST (BankSound, InstrumentsSoundDifferent)
{
  g_autoptr (VornFile) file = load_bank ();
  ASSERT_NE (file, nullptr);
  std::vector<std::vector<double>> s;
  for (size_t i = 0; i < specs ().size (); i++)
    {
      guint sounding = 0;
      std::vector<float> out = play_note (nth_inst (file, i), &sounding);
      s.push_back (band_spectrum (out, size_t (0.1 * RATE), size_t (HOLD * RATE)));
    }
  double closest = 1e9;
  std::string pair;
  for (size_t i = 0; i < s.size (); i++)
    for (size_t j = i + 1; j < s.size (); j++)
      {
        double d = 0;
        for (size_t k = 0; k < s[i].size (); k++)
          d += std::pow (s[i][k] - s[j][k], 2) / double (s[i].size ());
        d = std::sqrt (d);
        EXPECT_GT (d, 3.0) << specs ()[i].name << " / " << specs ()[j].name;
        if (g_getenv ("BANK_DISTANCES"))
          g_print ("%5.2f %s / %s\n", d, specs ()[i].name, specs ()[j].name);
        if (d < closest)
          closest = d, pair = std::string (specs ()[i].name) + " / " + specs ()[j].name;
      }
  g_print ("closest pair: %s, %.2f dB RMS\n", pair.c_str (), closest);
}

} // namespace
