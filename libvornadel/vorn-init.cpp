/* vorn-init.cpp: engine start-up: registers every class of every layer */
#include "vorn-init.h"
#include "vornadel.h"

void
vorn_init (const char *software)
{
  /* The string lives for the whole process; an earlier copy is leaked on
   * purpose because files created before the call may still point at it. */
  vorn_app_name = g_strdup (software ? software : "");

  /* Register every class up front so that JSON loading can find node types
   * by name before any instance of them has been created. */
  g_type_ensure (VORN_TYPE_ERROR);
  g_type_ensure (VORN_TYPE_NODE);
  g_type_ensure (VORN_TYPE_MIDI_DRIVER_TYPE);
  g_type_ensure (VORN_TYPE_MIDI_DRIVER_AVAILABLE);
  g_type_ensure (VORN_TYPE_MIDI_DRIVER);
  g_type_ensure (VORN_TYPE_MIDI_DRIVER_ALSA);
  g_type_ensure (VORN_TYPE_MIDI_DRIVER_JACK);
  g_type_ensure (VORN_TYPE_INPUT_MANAGER);
  g_type_ensure (VORN_TYPE_FILE);
  g_type_ensure (VORN_TYPE_LIST);
  g_type_ensure (VORN_TYPE_PARAM_SPEC_LIST);
  g_type_ensure (VORN_TYPE_SIMD);
  g_type_ensure (VORN_TYPE_CURVE);
  g_type_ensure (VORN_TYPE_CURVE_CACHE);
  g_type_ensure (VORN_TYPE_ATTRIB_TYPE);
  g_type_ensure (VORN_TYPE_ATTRIB_STATE);
  g_type_ensure (VORN_TYPE_FORMAT);
  g_type_ensure (VORN_TYPE_UNIT);
  g_type_ensure (VORN_TYPE_GEN_STATE);
  g_type_ensure (VORN_TYPE_GEN_TRACE_FLAGS);
  g_type_ensure (VORN_TYPE_WAVE_OP);
  g_type_ensure (VORN_TYPE_WAVE_TRIG_MODE);
  g_type_ensure (VORN_TYPE_WAVE_POS_MODE);
  g_type_ensure (VORN_TYPE_WAVE_PLAY_MODE);
  g_type_ensure (VORN_TYPE_WAVE_KIND);
  g_type_ensure (VORN_TYPE_WAVE_PRESET);
  g_type_ensure (VORN_TYPE_WAVE);
  g_type_ensure (VORN_TYPE_WAVE_GEN_TRANSFORM);
  g_type_ensure (VORN_TYPE_WAVE_GEN);
  g_type_ensure (VORN_TYPE_FILTER_RBJ_BANDPASS);
  g_type_ensure (VORN_TYPE_FILTER_RBJ_HIGHPASS);
  g_type_ensure (VORN_TYPE_FILTER_RBJ_LOWPASS);
  g_type_ensure (VORN_TYPE_FILTER_RBJ_BANDPASS_GEN);
  g_type_ensure (VORN_TYPE_FILTER_RBJ_HIGHPASS_GEN);
  g_type_ensure (VORN_TYPE_FILTER_RBJ_LOWPASS_GEN);
  g_type_ensure (VORN_TYPE_FILTER_NOISE_TYPE);
  g_type_ensure (VORN_TYPE_FILTER_NOISE);
  g_type_ensure (VORN_TYPE_FILTER_NOISE_GEN);
  g_type_ensure (VORN_TYPE_QUEUE);
  g_type_ensure (VORN_TYPE_QUEUE_TAP_MODE);
  g_type_ensure (VORN_TYPE_SYNTH);
  g_type_ensure (VORN_TYPE_SYNTH_CPU);
  g_type_ensure (VORN_TYPE_SYNTH_MSG_TYPE);
  g_type_ensure (VORN_TYPE_MIX);
  g_type_ensure (VORN_TYPE_MIX_GEN);
  g_type_ensure (VORN_TYPE_INST);
  g_type_ensure (VORN_TYPE_TAP);
  g_type_ensure (VORN_TYPE_AUDIO_DRIVER_TYPE);
  g_type_ensure (VORN_TYPE_AUDIO_DRIVER_AVAILABLE);
  g_type_ensure (VORN_TYPE_AUDIO_DRIVER);
  g_type_ensure (VORN_TYPE_AUDIO_DRIVER_PORT);
}
