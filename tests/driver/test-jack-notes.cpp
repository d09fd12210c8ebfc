/* Notes through JACK MIDI played at their frame: a probe client sends
 * note-ons at chosen frames of its periods and records the synthesizer's
 * output in the same process callback; every onset must sit at its note's
 * frame plus one constant latency. */
#include "test-signal.h"
#include "vorn-jack-server.h"
#include "vornadel.h"

#include <algorithm>
#include <chrono>
#include <thread>

using vorn_test::JackRecording;

namespace {

/* Runs the default main context (MIDI drivers and the outbox deliver
 * there) until @pred holds or 10 s pass. */
template <typename Pred>
bool
pump_until (Pred pred)
{
  for (int i = 0; i < 5000 && !pred (); i++)
    {
      while (g_main_context_iteration (nullptr, FALSE))
        ;
      std::this_thread::sleep_for (std::chrono::milliseconds (2));
    }
  return pred ();
}

} // namespace

TEST (JackNotes, OnsetSpreadIsAtMostOneFrame)
{
  VORN_TEST_REQUIRE_JACKD ();
  g_setenv ("JACK_DEFAULT_SERVER", "zelmora-test-no-such-server", TRUE);
  g_setenv ("JACK_NO_START_SERVER", "1", TRUE);

  for (guint period : { 128u, 1024u })
    {
      vorn_test::JackServer server;
      vorn_test::JackTestClient probe;
      std::string problem;
      ASSERT_TRUE (server.start (48000, period, &problem)) << problem;
      ASSERT_TRUE (probe.open (server.name (), 1, &problem)) << problem;

      g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();
      g_object_set (synth, "speaker-count", 1u, "sample-rate", 48000.0, nullptr);
      ASSERT_TRUE (vorn_synth_start (synth, nullptr));
      g_autoptr (VornInst) inst = vorn_inst_new_default ();
      vorn_synth_set_inst (synth, 0, inst);
      g_autoptr (GSource) outbox = vorn_synth_outbox_source_new (synth);
      g_source_attach (outbox, nullptr);

      g_autoptr (VornAudioDriver) audio = VORN_AUDIO_DRIVER (
        g_object_new (VORN_TYPE_AUDIO_DRIVER_JACK, "synth", synth, "server-name",
                      server.name ().c_str (), "auto-connect", FALSE, nullptr));
      g_autoptr (VornMidiDriver) midi = VORN_MIDI_DRIVER (g_object_new (
        VORN_TYPE_MIDI_DRIVER_JACK, "synth", synth, "server-name", server.name ().c_str (), nullptr));
      g_autoptr (GError) error = nullptr;
      ASSERT_TRUE (vorn_audio_driver_start (audio, &error)) << error->message;
      ASSERT_TRUE (vorn_midi_driver_start (midi, &error)) << error->message;
      ASSERT_TRUE (probe.connect_inputs ({ "Zelmora:out_1" }));
      ASSERT_TRUE (probe.connect_midi ("Zelmora MIDI:midi_in"));
      probe.record (4 * period);

      std::vector<double> delays;
      for (guint n = 0; n < 6; n++)
        {
          /* Offsets across the period, odd ones included. */
          const guint offset = n * period / 6 + n;
          probe.restart_recording ();
          probe.send ({ 0x90, 69, 127 }, offset);
          size_t at = 0;
          const JackRecording *rec = nullptr;
          ASSERT_TRUE (pump_until ([&] {
            rec = &probe.recording ();
            at = signal_test::first_sound (rec->channels[0], 0.0f);
            return at < rec->frames () && probe.last_sent_frame ();
          })) << "note " << n << " was not heard at a period of " << period;
          delays.push_back (double (rec->first_frame + at) - double (probe.last_sent_frame ()));

          probe.send ({ 0x80, 69, 0 });
          vorn_synth_panic (synth);
          ASSERT_TRUE (pump_until ([&] {
            guint active = 1;
            vorn_synth_voice_stats (synth, &active, nullptr, FALSE);
            return active == 0;
          }));
          probe.record (probe.recording ().frames () + 3 * period);
        }
      const auto [lo, hi] = std::minmax_element (delays.begin (), delays.end ());
      EXPECT_LE (*hi - *lo, 1.0) << "period " << period << ": onsets from " << *lo << " to "
                                 << *hi << " frames after their notes";
      EXPECT_EQ (vorn_synth_get_event_overflow (synth), 0u);

      vorn_midi_driver_stop (midi);
      vorn_audio_driver_stop (audio);
      g_source_destroy (outbox);
      vorn_synth_stop (synth);
      while (VornSynthMsg *msg = vorn_synth_get_message (synth))
        vorn_synth_msg_free (msg);
    }
}
