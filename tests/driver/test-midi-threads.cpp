/* MIDI input threads hand their messages to the main context that made the
 * input manager; they never wait for it.  Run under TSan too: a voice
 * compiled on the input thread would race with the instrument edits below. */
#include "vorn-test-log.h"
#include "test-synth-cpu.h"
#include "vornadel.h"

#include <atomic>
#include <thread>

using synth_test::Synth;

namespace {

void
pump ()
{
  while (g_main_context_iteration (nullptr, FALSE))
    ;
}

gboolean
send3 (VornInputManager *manager, guint8 status, guint8 d1, guint8 d2)
{
  const guint8 msg[3] = { status, d1, d2 };
  return vorn_input_manager_midi_event (manager, msg, sizeof msg);
}

} // namespace

TEST (InputManagerThreads, InputThreadNeverWaitsForTheMainContext)
{
  /* Room for every voice and message of the burst: nothing renders
   * while it is applied. */
  Synth s (VORN_FORMAT_SINGLE, 1, 400, 16);
  g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);

  /* The main context is not iterated while two threads send (channels 0
   * to 7 and 8 to 15): they must get through all of it regardless. */
  auto sender = [&] (guint8 first) {
    for (int round = 0; round < 20; round++)
      for (guint8 chan = first; chan < first + 8; chan++)
        {
          EXPECT_TRUE (send3 (manager, guint8 (0x90 | chan), 60, 100));
          EXPECT_TRUE (send3 (manager, guint8 (0xe0 | chan), guint8 (round), 64));
          if (round < 19)
            {
              EXPECT_TRUE (send3 (manager, guint8 (0x80 | chan), 60, 0));
            }
        }
  };
  std::thread low (sender, 0), high (sender, 8);
  low.join ();
  high.join ();
  s.render (64);
  EXPECT_EQ (s.active (), 0u) << "nothing applied before the context runs";

  /* In order: each channel ends with its last note on. */
  pump ();
  s.render (64);
  EXPECT_EQ (s.active (), 320u);
  s.render (guint (1.5 * synth_test::RATE));
  EXPECT_EQ (s.active (), 16u);
  s.drain ();
}

TEST (InputManagerThreads, VoicesStartOnTheContextThreadWhileTheTreeIsEdited)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 100, 2);
  VornWave *wave = VORN_WAVE (VORN_NODE (s.inst)->children->next->next);
  ASSERT_TRUE (VORN_IS_WAVE (wave));
  g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);

  std::atomic<bool> done { false };
  std::thread input ([&] {
    for (int i = 0; i < 2000; i++)
      {
        const guint8 note = guint8 (48 + i % 24);
        send3 (manager, 0x90, note, 100);
        send3 (manager, 0xb0, 1, guint8 (i & 0x7f));
        send3 (manager, 0x80, note, 0);
        if (i % 100 == 0)
          g_usleep (100);
      }
    done = true;
  });

  /* The GUI thread's share: edit the instrument, render, free returns. */
  double scale = 1.0;
  while (!done.load ())
    {
      g_main_context_iteration (nullptr, FALSE);
      scale = scale > 0.9 ? 0.5 : scale + 0.01;
      g_object_set (wave, "y-scale", scale, nullptr);
      s.render (64);
      s.drain ();
    }
  input.join ();
  pump ();
  guint frames = 0;
  while (s.active () && frames < 3 * 48000)
    {
      s.render (480);
      s.drain ();
      frames += 480;
    }
  EXPECT_EQ (s.active (), 0u) << "every note off arrived after its note on";
}
