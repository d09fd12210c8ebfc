/* MIDI input threads hand their messages to the main context that made the
 * input manager and never wait for it.  Run under TSan too: a voice compiled
 * on an input thread would race with the instrument edits below. */
#include "vorn-test-log.h"
#include "test-synth-cpu.h"
#include "vornadel.h"

#include <atomic>
#include <thread>

using synth_test::Synth;

namespace {

void
send3 (VornInputManager *manager, guint8 status, guint8 d1, guint8 d2)
{
  const guint8 msg[3] = { status, d1, d2 };
  EXPECT_TRUE (vorn_input_manager_midi_event (manager, msg, sizeof msg));
}

} // namespace

TEST (InputManagerThreads, InputThreadsNeverWaitAndVoicesStartOnTheContextThread)
{
  /* Room for every voice of the burst: nothing renders while it applies. */
  Synth s (VORN_FORMAT_SINGLE, 1, 400, 16);
  g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);

  /* Two threads (channels 0-7 and 8-15) send while the context is not
   * iterated at all; each channel ends with its last note on. */
  auto burst = [&] (guint8 first) {
    for (int round = 0; round < 20; round++)
      for (guint8 chan = first; chan < first + 8; chan++)
        {
          send3 (manager, guint8 (0x90 | chan), 60, 100);
          send3 (manager, guint8 (0xe0 | chan), guint8 (round), 64);
          if (round < 19)
            send3 (manager, guint8 (0x80 | chan), 60, 0);
        }
  };
  std::thread low (burst, 0), high (burst, 8);
  low.join ();
  high.join ();
  s.render (64);
  EXPECT_EQ (s.active (), 0u) << "nothing applied before the context runs";
  while (g_main_context_iteration (nullptr, FALSE))
    ;
  s.render (64);
  EXPECT_EQ (s.active (), 320u);
  s.render (guint (1.5 * synth_test::RATE));
  EXPECT_EQ (s.active (), 16u);
  for (guint8 chan = 0; chan < 16; chan++)
    send3 (manager, guint8 (0xb0 | chan), 123, 0);

  /* Notes from a thread while this one edits the instrument and renders,
   * as the GUI thread and the audio callback do. */
  VornWave *wave = VORN_WAVE (VORN_NODE (s.inst)->children->next->next);
  std::atomic<bool> done { false };
  std::thread input ([&] {
    for (int i = 0; i < 2000; i++)
      {
        send3 (manager, 0x90, guint8 (48 + i % 24), 100);
        send3 (manager, 0xb0, 1, guint8 (i & 0x7f));
        send3 (manager, 0x80, guint8 (48 + i % 24), 0);
        if (i % 100 == 0)
          g_usleep (100);
      }
    done = true;
  });
  for (double scale = 0.5; !done.load (); scale = scale > 0.9 ? 0.5 : scale + 0.01)
    {
      g_main_context_iteration (nullptr, FALSE);
      g_object_set (wave, "y-scale", scale, nullptr);
      s.render (64);
      s.drain ();
    }
  input.join ();
  while (g_main_context_iteration (nullptr, FALSE))
    ;
  for (int i = 0; i < 300 && s.active (); i++)
    {
      s.render (480);
      s.drain ();
    }
  EXPECT_EQ (s.active (), 0u) << "every note off arrived after its note on";
}
