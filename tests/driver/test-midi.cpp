/* Input manager control changes reach voices through the synth's message path. */
#include "vorn-test-log.h"
#include "test-synth-cpu.h"
#include "vornadel.h"

using synth_test::Synth;

namespace {

float
control (VornQueue *queue, int id)
{
  return vorn_queue_get_private (queue)->controls[id].value.f;
}

} // namespace

TEST (InputManager, RelativeEncodersStepEveryVoiceOfTheChannel)
{
  Synth s (VORN_FORMAT_SINGLE, 1, 100, 2);
  VornQueue *a = nullptr, *b = nullptr, *other = nullptr;
  s.note_on (60, 0, &a);
  s.note_on (64, 0, &b);
  s.note_on (60, 1, &other);
  s.render (64);
  const float volume = control (a, 1), pitch_a = control (a, 0);

  g_autoptr (VornInputManager) manager = vorn_input_manager_new (s.synth);
  vorn_input_manager_midi_cc (manager, 0, 71, 1);    /* Volume +1/64 */
  vorn_input_manager_midi_cc (manager, 0, 70, 127);  /* Pitch -1/64 */
  s.render (64);
  EXPECT_FLOAT_EQ (control (a, 1), volume + 0.015625f);
  EXPECT_FLOAT_EQ (control (b, 1), volume + 0.015625f);
  EXPECT_FLOAT_EQ (control (other, 1), volume) << "channel 1 is not addressed";
  EXPECT_FLOAT_EQ (control (a, 0), pitch_a - 0.015625f);

  vorn_input_manager_midi_cc (manager, 0, 71, 64);   /* -1.0 */
  s.render (64);
  EXPECT_FLOAT_EQ (control (a, 1), volume + 0.015625f - 1.0f);

  /* Neighbouring controllers and the step scale send nothing. */
  s.drain ();
  vorn_input_manager_midi_cc (manager, 0, 69, 5);
  vorn_input_manager_midi_cc (manager, 0, 79, 5);
  vorn_input_manager_midi_cc (manager, 0, 78, 127);
  s.render (64);
  EXPECT_EQ (s.drain ().others, 0);
  EXPECT_NEAR (vorn_input_manager_get_step_scale (manager), 10.0, 1e-12);
  vorn_input_manager_midi_cc (manager, 0, 78, 0);
  EXPECT_NEAR (vorn_input_manager_get_step_scale (manager), 0.001, 1e-15);

  /* cc 77 addresses control 7, which the default instrument lacks: harmless. */
  vorn_input_manager_midi_cc (manager, 0, 77, 3);
  s.render (64);
  EXPECT_EQ (s.drain ().others, 1);
  for (VornQueue *q : { a, b, other })
    g_object_unref (q);
}

