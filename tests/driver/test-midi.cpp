/* Tests of the MIDI driver base and of the input manager's control changes,
 * which reach the voices through the synthesizer's message path. */
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

  /* cc 77 addresses control 7: the default instrument has none, so nothing
   * changes and nothing breaks. */
  vorn_input_manager_midi_cc (manager, 0, 77, 3);
  s.render (64);
  EXPECT_EQ (s.drain ().others, 1);
  for (VornQueue *q : { a, b, other })
    g_object_unref (q);
}

/* A back-end whose start can be told to fail. */
typedef struct { VornMidiDriver parent_instance; gboolean fail; } TestMidi;
static int test_midi_stops;   /* outlives the instances */
typedef struct { VornMidiDriverClass parent_class; } TestMidiClass;
G_DEFINE_TYPE (TestMidi, test_midi, VORN_TYPE_MIDI_DRIVER)

static gboolean
test_midi_start (VornMidiDriver *driver, GError **err)
{
  auto *self = reinterpret_cast<TestMidi *> (driver);
  if (self->fail)
    g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "no device");
  return !self->fail;
}

static void test_midi_stop (VornMidiDriver *) { test_midi_stops++; }

static void test_midi_class_init (TestMidiClass *klass)
{
  VORN_MIDI_DRIVER_CLASS (klass)->start = test_midi_start;
  VORN_MIDI_DRIVER_CLASS (klass)->stop = test_midi_stop;
}
static void test_midi_init (TestMidi *) {}

TEST (MidiDriver, StartStopProtocolAndNoBackEnd)
{
  g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();
  EXPECT_EQ (vorn_midi_driver_new (VORN_MIDI_DRIVER_AUTO, synth), nullptr) << "no back-end is built";

  auto *driver = static_cast<VornMidiDriver *> (g_object_new (test_midi_get_type (), "synth", synth, nullptr));
  auto *self = reinterpret_cast<TestMidi *> (driver);
  g_autoptr (VornInputManager) manager = vorn_midi_driver_get_input_manager (driver);
  EXPECT_NE (manager, nullptr);

  EXPECT_TRUE (vorn_midi_driver_start (driver, nullptr));
  EXPECT_TRUE (vorn_midi_driver_start (driver, nullptr));
  EXPECT_EQ (test_midi_stops, 1) << "a running driver is stopped before it starts again";

  self->fail = TRUE;
  g_autoptr (GError) error = nullptr;
  EXPECT_FALSE (vorn_midi_driver_start (driver, &error));
  EXPECT_FALSE (vorn_midi_driver_is_running (driver));
  EXPECT_NE (error, nullptr);
  self->fail = FALSE;
  EXPECT_TRUE (vorn_midi_driver_start (driver, nullptr));
  int stops = test_midi_stops;
  g_object_unref (driver);   /* disposing a running driver stops it */
  EXPECT_EQ (test_midi_stops, stops + 1);
}
