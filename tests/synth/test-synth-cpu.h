/* test-synth-cpu.h: a started CPU synthesizer driven as the audio driver does */
#pragma once

#include "vorn-inst.h"
#include "vorn-queue-private.h"
#include "vorn-synth-cpu.h"
#include "test-signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace synth_test {

using signal_test::channel;
using signal_test::peak;

constexpr double RATE = 48000.0;

/* Renders equal to the bit, NaN and signed zero included. */
inline bool
same_bits (const std::vector<float> &a, const std::vector<float> &b)
{
  return a.size () == b.size () && memcmp (a.data (), b.data (), a.size () * sizeof (float)) == 0;
}

struct Returned {
  std::vector<guint> voices; /* voice ids of returned start-voice messages */
  int others = 0;
};

/* Started, default instrument on the first `channels` channels, two speakers. */
struct Synth {
  VornSynth *synth = vorn_synth_cpu_new ();
  VornInst *inst = vorn_inst_new_default ();

  explicit Synth (VornFormat format = VORN_FORMAT_SINGLE, guint cores = 1, guint max_voices = 100,
                  guint channels = 1, VornSimd simd = VORN_SIMD_AUTO)
  {
    g_object_set (synth, "audio-format", format, "cores", cores, "max-voices", max_voices,
                  "simd", simd, nullptr);
    vorn_synth_start (synth, nullptr);
    for (guint c = 0; c < channels; c++)
      vorn_synth_set_inst (synth, int (c), inst);
  }
  ~Synth ()
  {
    vorn_synth_stop (synth);
    drain ();
    g_object_unref (inst);
    g_object_unref (synth);
  }

  /* Interleaved frames, as the audio callback asks for them. */
  std::vector<float> render (guint frames)
  {
    std::vector<float> out (frames * 2 + 1, NAN);
    vorn_synth_render_interleaved (synth, out.data (), frames);
    EXPECT_TRUE (std::isnan (out.back ())) << "render wrote past the buffer";
    out.pop_back ();
    return out;
  }
  guint note_on (guint8 note, int chan = 0, VornQueue **queue = nullptr)
  {
    return vorn_synth_note_on (synth, 0, 0, chan, note, 127, queue);
  }
  guint active ()
  {
    guint n = 0;
    vorn_synth_voice_stats (synth, &n, nullptr, FALSE);
    return n;
  }
  /* Takes every message out of the outbox and frees it. */
  Returned drain ()
  {
    Returned r;
    while (VornSynthMsg *msg = vorn_synth_get_message (synth))
      {
        if (msg->type == VORN_SYNTH_MSG_START_VOICE)
          r.voices.push_back (msg->start_voice.voice_id);
        r.others += msg->type != VORN_SYNTH_MSG_START_VOICE;
        vorn_synth_msg_free (msg);
      }
    return r;
  }
};

} // namespace synth_test
