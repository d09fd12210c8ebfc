/* Golden renders: a few instruments of the built-in bank, played offline on
 * one core in every audio format and instruction set this processor has,
 * must match reference measurements kept in golden/bank.txt: the RMS level
 * of every block of 1024 frames (within 0.05 dB) and the third-octave band
 * levels of the whole render (within 0.5 dB).  The variants are compared
 * with each other elsewhere; this catches a change in shared kernel or
 * curve code that moves them all alike.
 *
 * After an intended change of sound, regenerate the reference with
 *   ZELM_GOLDEN_REGENERATE=1 meson test -C build golden
 * (it is measured from the single-precision SSE2 render) and review the
 * difference of golden/bank.txt before committing it. */
#include "vorn-test-audio.h"
#include "vorn-test-log.h"

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace vorn_test;

namespace {

constexpr size_t BLOCK = 1024;
constexpr double HOLD = 1.0, TAIL = 0.25;   /* seconds held, then after release */
constexpr double FLOOR = -120.0;            /* dB: quieter counts as silence */
constexpr double RMS_TOL = 0.05, BAND_TOL = 0.5;

/* A plain saw, the same through a low-pass, a morphing shape, noise
 * through a high-pass, and an organ of pure partials. */
const struct { const char *inst; std::vector<int> notes; } PLAYED[] = {
  { "Big Bee", { 48, 72 } },
  { "Big Bee LPF", { 48, 72 } },
  { "Eisenmorph", { 48, 72 } },
  { "Noise Cymbal", { 60 } },
  { "Organic", { 48, 72 } },
};

struct Measures
{
  std::vector<double> rms, bands;
};

double
floored (double level)
{
  return std::max (std::round (level * 1000) / 1000, FLOOR);
}

Measures
measure (VornInst *inst, int note, VornFormat format, VornSimd simd)
{
  Player player (inst, format, simd, 1);
  EXPECT_EQ (player.simd (), simd);
  std::vector<float> out;
  player.on (note);
  player.render (out, HOLD);
  player.off (note);
  player.render (out, TAIL);

  Measures m;
  const size_t frames = out.size () / AUDIO_SPEAKERS;
  for (size_t b = 0; b + BLOCK <= frames; b += BLOCK)
    {
      double sum = 0;
      for (size_t i = b * AUDIO_SPEAKERS; i < (b + BLOCK) * AUDIO_SPEAKERS; i++)
        sum += double (out[i]) * out[i];
      m.rms.push_back (floored (10 * std::log10 (sum / double (BLOCK * AUDIO_SPEAKERS) + 1e-30)));
    }
  /* Third-octave bands around 1 kHz * 2^(k/3), 31.5 Hz to 16 kHz. */
  const std::vector<double> power = power_spectrum (mono (out, 0, frames));
  for (int k = -15; k <= 12; k++)
    {
      const double centre = 1000.0 * std::exp2 (k / 3.0);
      double e = 1e-30;
      for (size_t bin = 1; bin < power.size (); bin++)
        {
          const double f = double (bin) * AUDIO_RATE / 4096;
          e += f >= centre * std::exp2 (-1.0 / 6) && f < centre * std::exp2 (1.0 / 6) ? power[bin] : 0;
        }
      m.bands.push_back (floored (10 * std::log10 (e)));
    }
  return m;
}

std::string
key (const char *inst, int note)
{
  return std::string (inst) + "|" + std::to_string (note);
}

/* One line per instrument and note: "name|note|rms levels|band levels". */
std::map<std::string, Measures>
read_reference (const std::string &path)
{
  std::map<std::string, Measures> ref;
  std::ifstream in (path);
  for (std::string line; std::getline (in, line);)
    {
      std::vector<std::string> fields;
      std::stringstream ss (line);
      for (std::string f; std::getline (ss, f, '|');)
        fields.push_back (f);
      if (fields.size () != 4)
        continue;
      Measures &m = ref[fields[0] + "|" + fields[1]];
      for (auto [text, out] : { std::pair (&fields[2], &m.rms), std::pair (&fields[3], &m.bands) })
        {
          std::istringstream values (*text);
          for (double v; values >> v;)
            out->push_back (v);
        }
    }
  return ref;
}

void
write_reference (const std::string &path, const std::map<std::string, Measures> &ref)
{
  std::ofstream out (path);
  for (const auto &[k, m] : ref)
    {
      out << k;
      for (const auto *values : { &m.rms, &m.bands })
        {
          out << "|";
          for (size_t i = 0; i < values->size (); i++)
            out << (i ? " " : "") << (*values)[i];
        }
      out << "\n";
    }
}

/* Where the levels differ by more than @tol: "index: got (want)" or "". */
std::string
differences (const std::vector<double> &got, const std::vector<double> &want, double tol)
{
  std::ostringstream text;
  if (got.size () != want.size ())
    text << got.size () << " values, " << want.size () << " expected; ";
  for (size_t i = 0; i < std::min (got.size (), want.size ()); i++)
    if (std::fabs (got[i] - want[i]) > tol)
      text << i << ": " << got[i] << " (" << want[i] << ") ";
  return text.str ();
}

VornInst *
find_inst (VornFile *file, const char *name)
{
  for (VornNode *n = VORN_NODE (file)->children; n; n = n->next)
    {
      g_autofree char *n_name = nullptr;
      g_object_get (n, "name", &n_name, nullptr);
      if (VORN_IS_INST (n) && g_strcmp0 (n_name, name) == 0)
        return VORN_INST (n);
    }
  return nullptr;
}

TEST (Golden, BankInstrumentsSoundAsRecorded)
{
  const char *bank = g_getenv ("BANK_VVI"), *data = g_getenv ("GOLDEN_DATA");
  ASSERT_TRUE (bank && data);
  g_autoptr (GError) error = nullptr;
  g_autoptr (VornFile) file = vorn_file_load (bank, &error);
  ASSERT_NE (file, nullptr) << error->message;

  std::map<std::string, Measures> ref;
  if (g_getenv ("ZELM_GOLDEN_REGENERATE"))
    {
      for (const auto &p : PLAYED)
        for (int note : p.notes)
          if (VornInst *inst = find_inst (file, p.inst))
            ref[key (p.inst, note)] = measure (inst, note, VORN_FORMAT_SINGLE, VORN_SIMD_SSE2);
      write_reference (data, ref);
    }
  ref = read_reference (data);

  for (VornFormat format : { VORN_FORMAT_SINGLE, VORN_FORMAT_DOUBLE })
    for (int s = VORN_SIMD_SSE2; s <= int (vorn_util_cpu_detect ()); s++)
      for (const auto &p : PLAYED)
        for (int note : p.notes)
          {
            SCOPED_TRACE (testing::Message () << p.inst << ", note " << note << ", "
                                              << (format == VORN_FORMAT_SINGLE ? "single" : "double")
                                              << ", instruction set " << s);
            VornInst *inst = find_inst (file, p.inst);
            ASSERT_NE (inst, nullptr);
            ASSERT_EQ (ref.count (key (p.inst, note)), 1u) << "no reference; regenerate it";
            const Measures &want = ref[key (p.inst, note)];
            const Measures got = measure (inst, note, format, VornSimd (s));
            EXPECT_EQ (differences (got.rms, want.rms, RMS_TOL), "") << "block RMS in dB";
            EXPECT_EQ (differences (got.bands, want.bands, BAND_TOL), "") << "band levels in dB";
          }
}

} // namespace
