/* test-synth-cpu-threads.cpp: core and format changes while playing */
#include "test-synth-cpu.h"

using namespace synth_test;

static void
play_chord (Synth &s)
{
  int chan = 0;
  for (guint8 n : { 48, 55, 60, 64, 67, 71, 74 })
    s.note_on (n, chan++ % 3);
}

TEST (SynthCpuThreads, CoreChangeKeepsVoicesFormatChangeReleasesThem)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 100, 3);
  play_chord (s);
  s.render (4800);
  VornQueue *master = nullptr, *now = nullptr;
  g_object_get (s.synth, "master-queue", &master, nullptr);

  for (guint cores : { 2u, 1u })
    {
      g_object_set (s.synth, "cores", cores, nullptr);
      EXPECT_GT (peak (s.render (4800)), 0.1f);
      EXPECT_EQ (s.active (), 7u);
    }
  g_object_get (s.synth, "master-queue", &now, nullptr);
  EXPECT_EQ (now, master);
  g_clear_object (&now);
  EXPECT_TRUE (s.drain ().voices.empty ());

  g_object_set (s.synth, "audio-format", VORN_FORMAT_DOUBLE, nullptr);
  s.render (64);
  EXPECT_EQ (s.active (), 0u);
  EXPECT_EQ (s.drain ().voices.size (), 7u);
  g_object_get (s.synth, "master-queue", &now, nullptr);
  ASSERT_NE (now, master);
  EXPECT_EQ (now->format, VORN_FORMAT_DOUBLE);
  g_clear_object (&now);
  g_clear_object (&master);

  /* New voices are compiled in the new format and play. */
  play_chord (s);
  EXPECT_GT (peak (s.render (4800)), 0.1f);
  EXPECT_EQ (s.active (), 7u);
}
