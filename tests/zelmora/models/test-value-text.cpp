/* test-value-text.cpp: typed values in their units, values shown in them,
 * and which unit and label each node property gets */
#include "vornadel.h"
#include "zelm-value-text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr ZelmValueUnit NONE = ZELM_VALUE_UNIT_NONE, FACTOR = ZELM_VALUE_UNIT_FACTOR,
                        HZ = ZELM_VALUE_UNIT_HZ, SEC = ZELM_VALUE_UNIT_SECONDS,
                        DB = ZELM_VALUE_UNIT_DB, GAIN = ZELM_VALUE_UNIT_GAIN,
                        ST = ZELM_VALUE_UNIT_SEMITONES;

/* Text, unit and the value it gives; metric prefixes, unit words and what
 * converts between them. */
TEST (ValueText, ParsesNumbersPrefixesAndUnits)
{
  static const struct { const char *text; ZelmValueUnit unit; double value; } cases[] = {
    { "300", HZ, 300 },         { " 2k ", HZ, 2000 },      { "1.5e3", HZ, 1500 },
    { "-0.25", FACTOR, -0.25 }, { "2 kHz", HZ, 2000 },     { "2khz", HZ, 2000 },
    { "1.2MHz", HZ, 1.2e6 },    { "10 ms", HZ, 100 },      /* a period gives its rate */
    { "25 ms", SEC, 0.025 },    { "1.5 s", SEC, 1.5 },     { "300u", SEC, 3e-4 },
    { "-6 dB", DB, -6 },        { "-6", DB, -6 },          { "-6 db", GAIN, std::pow (10, -0.3) },
    { "0.5", GAIN, 0.5 },       { "50%", GAIN, 0.5 },      { "1.5x", FACTOR, 1.5 },
    { "7 st", ST, 7 },          { "-1 oct", ST, -12 },     { "+3", ST, 3 },
    { ".5", FACTOR, 0.5 },      { "5m", FACTOR, 0.005 },   { "42", NONE, 42 },
  };
  for (const auto &c : cases)
    {
      double v = -999;
      g_autofree char *why = nullptr;
      EXPECT_TRUE (zelm_value_text_parse (c.text, c.unit, FALSE, -1e9, 1e9, &v, &why))
        << c.text << ": " << (why ? why : "");
      EXPECT_DOUBLE_EQ (v, c.value) << c.text;
    }
}

/* Refused text leaves the value alone and says why, naming the problem. */
TEST (ValueText, RefusesWithAReason)
{
  /* Text, unit, whole number only, part of the reason. */
  static const struct { const char *text; ZelmValueUnit unit; gboolean integer; const char *why; }
  cases[] = {
    { "", HZ, FALSE, "Type a number" },         { "abc", HZ, FALSE, "not a number" },
    { "nan", FACTOR, FALSE, "not a number" },   { "inf", FACTOR, FALSE, "not a number" },
    { "0x10", NONE, FALSE, "not a number" },    { "1,5", FACTOR, FALSE, "point" },
    { "3 furlongs", HZ, FALSE, "Unknown unit" }, { "-6 dB", HZ, FALSE, "frequency" },
    { "2 kHz", SEC, FALSE, "time" },            { "5 st", GAIN, FALSE, "level" },
    { "1 s", DB, FALSE, "level" },              { "0 ms", HZ, FALSE, "frequency" },
    { "2.5", NONE, TRUE, "whole" },             { "2e400", FACTOR, FALSE, "too large" },
    { "200", FACTOR, FALSE, "Out of range: -100 to 100" },
  };
  for (const auto &c : cases)
    {
      double v = 7;
      g_autofree char *why = nullptr;
      EXPECT_FALSE (zelm_value_text_parse (c.text, c.unit, c.integer, -100, 100, &v, &why))
        << c.text;
      EXPECT_EQ (v, 7) << c.text;
      ASSERT_NE (why, nullptr) << c.text;
      EXPECT_NE (std::string (why).find (c.why), std::string::npos) << c.text << ": " << why;
    }
}

/* Four significant digits, the readable multiple of the unit, no trailing
 * zeros; ten digits give the value back through parsing. */
TEST (ValueText, FormatsInTheUnit)
{
  /* Plain numbers here are whole ones. */
  static const struct { double value; ZelmValueUnit unit; const char *text; } cases[] = {
    { 299.711815562, HZ, "299.7 Hz" }, { 2000, HZ, "2 kHz" },      { 12500, HZ, "12.5 kHz" },
    { 0.5, HZ, "0.5 Hz" },             { 0.025, SEC, "25 ms" },    { 1.5, SEC, "1.5 s" },
    { -6.0206, DB, "-6.02 dB" },       { -96, DB, "-96 dB" },      { 0.5, GAIN, "-6.02 dB" },
    { 1, GAIN, "0 dB" },               { 0, GAIN, "0" },           { -0.5, GAIN, "-0.5" },
    { 12, ST, "12 st" },               { 0.70710678, FACTOR, "0.7071" }, { -0.0, FACTOR, "0" },
    { 1.5e12, FACTOR, "1.5e12" },      { 2e-7, FACTOR, "2e-7" },   { 42, NONE, "42" },
  };
  for (const auto &c : cases)
    {
      g_autofree char *text = zelm_value_text_format (c.value, c.unit, c.unit == NONE, 4);
      EXPECT_STREQ (text, c.text) << c.value;
    }
  for (double v : { 299.711815562, 0.0123456789, -440.0, 1.25e-3 })
    for (ZelmValueUnit u : { HZ, SEC, FACTOR, ST })
      {
        g_autofree char *text = zelm_value_text_format (v, u, FALSE, 10);
        double back = 0;
        ASSERT_TRUE (zelm_value_text_parse (text, u, FALSE, -1e9, 1e9, &back, nullptr)) << text;
        EXPECT_NEAR (back, v, std::fabs (v) * 1e-9) << text;
      }
}

/* An instrument with a low-pass whose cutoff reads effect 1 and whose Q
 * reads effect 2, fed by control waves; an oscillator and a volume
 * envelope. */
TEST (ValueUnits, FollowTheNodeAndWhatItFeeds)
{
  g_autoptr (VornInst) inst = vorn_inst_new ();
  VornFilterRbjLowpass *lp = vorn_filter_rbj_lowpass_new ();
  g_object_set (lp, "freq-attrib", VORN_ATTRIB_TYPE_EFFECT1, "q-attrib", VORN_ATTRIB_TYPE_EFFECT2,
                nullptr);
  VornWave *cutoff =
    vorn_wave_new_control ("Cutoff", VORN_ATTRIB_TYPE_EFFECT1, VORN_WAVE_OP_SET, 2000);
  VornWave *q = vorn_wave_new_control ("Q", VORN_ATTRIB_TYPE_EFFECT2, VORN_WAVE_OP_SET, 0.707);
  VornWave *osc = vorn_wave_new_from_preset (VORN_WAVE_PRESET_SIGNAL_SINE);
  VornWave *env = vorn_wave_new_from_preset (VORN_WAVE_PRESET_VOLUME_ATTACK);
  VornWave *vib = vorn_wave_new_from_preset (VORN_WAVE_PRESET_PITCH_ATTACK);
  for (gpointer n : { (gpointer) cutoff, (gpointer) q, (gpointer) osc, (gpointer) env,
                      (gpointer) vib, (gpointer) lp })
    {
      vorn_node_insert (VORN_NODE (inst), VORN_NODE (n), -1);
      g_object_unref (n);
    }

  const struct { gpointer node; const char *property; ZelmValueUnit unit; } cases[] = {
    { cutoff, "init-value", HZ }, { cutoff, "y-scale", HZ }, { q, "init-value", FACTOR },
    { osc, "x-scale", HZ }, { osc, "y-scale", GAIN }, { osc, "y-ofs", FACTOR },
    { env, "y-scale", DB }, { env, "y-ofs", DB }, { env, "x-scale", HZ }, { vib, "y-scale", ST },
  };
  for (const auto &c : cases)
    EXPECT_EQ (zelm_value_unit_for (G_OBJECT (c.node), c.property), c.unit) << c.property;
  EXPECT_EQ (zelm_value_unit_for (G_OBJECT (inst), "root-note"), NONE);

  /* Effect choices name their readers other than the node asking. */
  const struct { int attrib; GObject *context; const char *label; } labels[] = {
    { VORN_ATTRIB_TYPE_EFFECT1, G_OBJECT (cutoff), "Effect 1 → Filter cutoff" },
    { VORN_ATTRIB_TYPE_EFFECT2, G_OBJECT (cutoff), "Effect 2 → Filter Q" },
    { VORN_ATTRIB_TYPE_EFFECT1, G_OBJECT (lp), "Effect 1" },
    { VORN_ATTRIB_TYPE_SIGNAL, G_OBJECT (osc), "Signal" }, /* named by its type */
    { VORN_ATTRIB_TYPE_EFFECT4, G_OBJECT (cutoff), "Effect 4" }, { 99, nullptr, "" },
  };
  for (const auto &l : labels)
    {
      g_autofree char *text = zelm_value_text_attrib_label (l.attrib, l.context);
      EXPECT_STREQ (text, l.label);
    }

  /* Pointing the cutoff elsewhere takes its unit away. */
  g_object_set (lp, "freq-attrib", VORN_ATTRIB_TYPE_EFFECT3, nullptr);
  EXPECT_EQ (zelm_value_unit_for (G_OBJECT (cutoff), "init-value"), NONE);
}

} // namespace
