/* test-synth-cpu-threads.cpp: notes from two threads at once while a third
 * renders */
#include "test-synth-cpu.h"
#include "vorn-synth-private.h"

#include <algorithm>
#include <atomic>
#include <thread>

using namespace synth_test;

/* A GUI thread and a MIDI thread play at once (same keys too, panics in
 * between) while a third thread renders as the audio callback does and the
 * main loop collects the outbox through its source.  Every voice id is
 * handed out once and every voice comes back exactly once. */
TEST (SynthCpuThreads, NotesFromTwoThreadsWhileRendering)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 64, 2);
  std::atomic<bool> stop_render{ false };
  std::thread audio ([&] {
    std::vector<float> buf (2 * 256);
    while (!stop_render.load ())
      vorn_synth_render_interleaved (s.synth, buf.data (), 256);
  });

  std::vector<guint> started[2];
  VornSynthPrivate *base = vorn_synth_get_private (s.synth);
  const guint in_cap = vorn_synth_ring_capacity (base->inbox);
  auto player = [&] (int who) {
    const guint16 device = guint16 (who + 1);
    for (int i = 0; i < 300; i++)
      {
        /* Played at a pace the renderer keeps up with (a slow sanitizer
         * build included): a flood would fill the inbox by design. */
        while (vorn_synth_ring_count (base->inbox) > in_cap / 4)
          g_usleep (100);
        const guint8 note = guint8 (48 + i % 12);
        /* Both threads share source 0 and channel 0 for half the notes:
         * the keys differ by device only, and a note-on may replace. */
        guint id = vorn_synth_note_on (s.synth, device, 0, i % 2, note, 100, nullptr);
        if (id)
          started[who].push_back (id);
        if (i % 3)
          vorn_synth_note_off (s.synth, device, 0, i % 2, note, 0);
        vorn_synth_set_inst_control (s.synth, VORN_QUEUE_CONTROL_BALANCE, i % 2, 0, 0.0,
                                     VORN_WAVE_OP_SET);
        if (i % 97 == 0)
          vorn_synth_panic (s.synth);
      }
  };

  std::vector<guint> returned;
  GMainContext *context = g_main_context_new ();
  GSource *source = vorn_synth_outbox_source_new (s.synth);
  g_source_set_callback (source, G_SOURCE_FUNC (+[] (VornSynth *, VornSynthMsg *msg, gpointer data) {
                           if (msg->type == VORN_SYNTH_MSG_START_VOICE)
                             static_cast<std::vector<guint> *> (data)->push_back (msg->start_voice.voice_id);
                           vorn_synth_msg_free (msg);
                           return gboolean (G_SOURCE_CONTINUE);
                         }),
                         &returned, nullptr);
  g_source_attach (source, context);

  std::thread gui (player, 0), midi (player, 1);
  gui.join ();
  midi.join ();
  vorn_synth_panic (s.synth);

  std::vector<guint> all (started[0]);
  all.insert (all.end (), started[1].begin (), started[1].end ());
  std::sort (all.begin (), all.end ());
  EXPECT_EQ (std::adjacent_find (all.begin (), all.end ()), all.end ()) << "a voice id twice";
  ASSERT_EQ (all.size (), 600u);

  /* The main loop wakes up for the outbox without any timer of ours. */
  const gint64 until = g_get_monotonic_time () + 10 * G_USEC_PER_SEC;
  while (returned.size () < all.size () && g_get_monotonic_time () < until)
    g_main_context_iteration (context, TRUE);
  stop_render = true;
  audio.join ();

  std::sort (returned.begin (), returned.end ());
  EXPECT_EQ (returned, all);
  EXPECT_EQ (s.active (), 0u);
  EXPECT_EQ (vorn_synth_get_dropped_messages (s.synth), 0u);

  g_source_destroy (source);
  g_source_unref (source);
  g_main_context_unref (context);
}
