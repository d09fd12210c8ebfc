/* test-synth-cpu-threads.cpp: notes from two threads at once while a third
 * renders; voices spread over several cores sound as on one */
#include "test-synth-cpu.h"
#include "vorn-synth-private.h"
#include "vorn-test-limits.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace synth_test;

namespace {

constexpr guint8 NOTES = 48;

/* The newest master's thread pit, or NULL with one core. */
VornThreadPit *
pit_of (Synth &s)
{
  return vorn_queue_get_private (vorn_synth_get_private (s.synth)->master_queue)->pit;
}

/* Fragment @f of a score: a note-on every other fragment on three channels,
 * each released 20 to 60 fragments later, so that voices start and end all
 * along; then renders the fragment. */
std::vector<float>
play (Synth &s, int f)
{
  for (int i = 0; i < NOTES; i++)
    {
      const guint8 note = guint8 (36 + (i * 7) % 60);
      if (f == 2 * i)
        s.note_on (note, i % 3);
      if (f == 2 * i + 20 + (i % 5) * 10)
        vorn_synth_note_off (s.synth, 0, 0, i % 3, note, 0);
    }
  return s.render (VORN_FRAGMENT_SIZE);
}

} // namespace

/* Many cores sum the voices bit for bit as one core does (float sums change
 * with the order of the additions) and end voices in the same fragment,
 * whether every fragment is handed to the workers or the pit decides from
 * the cost, with voices stolen at a small voice limit too. */
TEST (SynthCpuThreads, ManyCoresSoundBitIdenticalToOne)
{
  const struct {
    VornFormat format;
    guint cores;
    bool every_fragment;
    guint max_voices;
  } cases[] = {
    { VORN_FORMAT_SINGLE, 2, true, 100 },
    { VORN_FORMAT_SINGLE, 4, true, 100 },
    { VORN_FORMAT_DOUBLE, 3, true, 100 },
    { VORN_FORMAT_SINGLE, 2, false, 100 },
    { VORN_FORMAT_SINGLE, 3, true, 9 },
  };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (testing::Message () << "cores " << c.cores << ", format " << c.format
                                        << ", max voices " << c.max_voices);
      Synth one (c.format, 1, c.max_voices, 3), many (c.format, c.cores, c.max_voices, 3);
      ASSERT_EQ (pit_of (one), nullptr);
      /* The render thread is one of the cores. */
      ASSERT_EQ (pit_of (many)->thread_count, int (c.cores) - 1);
      if (c.every_fragment)
        pit_of (many)->min_batch_ns = 0;
      guint most = 0;
      for (int f = 0; f < 1000; f++)
        {
          ASSERT_TRUE (same_bits (play (one, f), play (many, f))) << "fragment " << f;
          ASSERT_EQ (one.active (), many.active ()) << "fragment " << f;
          most = std::max (most, many.active ());
        }
      EXPECT_GE (most, std::min (c.max_voices, 20u));
      EXPECT_EQ (many.active (), 0u);
    }
}

/* The core count changes while a render thread plays: each change builds a
 * master that takes the voices over between fragments (in another order,
 * so the sums may round differently), and the sound stays that of one core:
 * no voice lost, doubled or cut short. */
TEST (SynthCpuThreads, CoreCountChangesWhileRendering)
{
  Synth one (VORN_FORMAT_SINGLE, 1, 100, 3), many (VORN_FORMAT_SINGLE, 2, 100, 3);
  std::atomic<int> fragments{ 0 }, bad{ 0 };
  std::thread audio ([&] {
    for (int f = 0; f < 400; f++)
      {
        const std::vector<float> a = play (one, f), b = play (many, f);
        for (gsize i = 0; i < a.size (); i++)
          bad += std::fabs (a[i] - b[i]) > 1e-5f;
        bad += one.active () != many.active ();
        fragments = f + 1;
      }
  });
  for (guint cores : { 3u, 1u, 4u, 2u, 0u, 3u, 2u })
    {
      const int from = fragments.load ();
      g_object_set (many.synth, "cores", cores, nullptr);
      while (fragments.load () < MIN (from + 20, 400))
        g_usleep (100);
      many.drain ();
    }
  audio.join ();
  EXPECT_EQ (bad.load (), 0);
  EXPECT_EQ (vorn_synth_get_dropped_messages (many.synth), 0u);
}

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

/* Render threads the system refuses: starting fails with the reason and
 * leaves the synthesizer stopped, and a pit reports it.  In a child
 * process whose address space has
 * room for the heap but not for a thread's stack.  Sanitizers map their
 * own memory for each thread and cannot run under such a limit. */
TEST (SynthCpuThreads, RefusedThreadsAreAnErrorNotAnAbort)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP () << "address-space limits do not apply under a sanitizer";
#endif
  /* Warm: the heap the start needs is mapped before the limit. */
  Synth s (VORN_FORMAT_SINGLE, 1);
  vorn_synth_stop (s.synth);
  s.drain ();
  /* More threads than the C library keeps stacks cached for. */
  g_object_set (s.synth, "cores", 64u, nullptr);

  const pid_t pid = fork ();
  ASSERT_GE (pid, 0);
  if (pid == 0)
    {
      if (!vorn_test_limit_address_space (4u << 20))
        _exit (11);

      GError *err = nullptr;
      if (vorn_synth_start (s.synth, &err) || !err || vorn_synth_is_started (s.synth))
        _exit (12);
      if (!strstr (err->message, "Cannot start render thread"))
        _exit (13);
      g_clear_error (&err);
      VornThreadPit *pit = vorn_thread_pit_new ([] (gpointer) -> gpointer { return nullptr; },
                                                nullptr, 64, 4, &err);
      _exit (pit || !err ? 14 : 0);
    }
  int status = 0;
  ASSERT_EQ (waitpid (pid, &status, 0), pid);
  ASSERT_TRUE (WIFEXITED (status)) << "the child died of signal " << WTERMSIG (status);
  EXPECT_EQ (WEXITSTATUS (status), 0) << "step " << WEXITSTATUS (status) << " failed";
}
