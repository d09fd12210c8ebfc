/* vorn-audio-driver-port.cpp: audio output through PortAudio's default device */
#include "vorn-audio-driver-port.h"

#include "vorn-init.h"

#include <portaudio.h>

#include <cstring>

enum {
  PROP_0,
  PROP_FRAMES,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];


struct _VornAudioDriverPort {
  VornAudioDriver parent_instance;

  PaStream *stream;
  double sample_rate;
  guint channel_count;
  int frames;

  /* Copied at start for the callback, which must not call into GObject. */
  VornSynth *synth;
};

G_DEFINE_FINAL_TYPE (VornAudioDriverPort, vorn_audio_driver_port, VORN_TYPE_AUDIO_DRIVER)

/* PortAudio's thread: the synthesizer's render thread while the stream runs. */
static int
port_callback (const void *, void *output, unsigned long frames, const PaStreamCallbackTimeInfo *,
               PaStreamCallbackFlags, void *user_data)
{
  auto *self = static_cast<VornAudioDriverPort *> (user_data);
  auto *out = static_cast<float *> (output);

  if (!self->synth)
    memset (out, 0, frames * self->channel_count * sizeof (float));
  else
    vorn_synth_render_interleaved (self->synth, out, guint (frames));
  return paContinue;
}

static gboolean
port_start (VornAudioDriver *driver, GError **err)
{
  auto *self = VORN_AUDIO_DRIVER_PORT (driver);

  g_object_get (driver, "speaker-count", &self->channel_count, "sample-rate", &self->sample_rate,
                nullptr);
  self->synth = vorn_audio_driver_get_synth (driver);

  PaError code = Pa_Initialize ();
  if (code != paNoError)
    {
      g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Error initializing PortAudio: %s",
                   Pa_GetErrorText (code));
      return FALSE;
    }

  /* On failure PortAudio stays initialised: only a start that succeeded is
   * paired with the Pa_Terminate of its stop. */
  code = Pa_OpenDefaultStream (&self->stream, 0, int (self->channel_count), paFloat32,
                               self->sample_rate, (unsigned long) self->frames, port_callback,
                               self);
  if (code != paNoError)
    {
      self->stream = nullptr;
      g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Error opening PortAudio stream: %s",
                   Pa_GetErrorText (code));
      return FALSE;
    }

  code = Pa_StartStream (self->stream);
  if (code != paNoError)
    {
      /* A stream that never started is closed here so that the next start
       * does not leak it; PortAudio itself stays initialised as above. */
      Pa_CloseStream (self->stream);
      self->stream = nullptr;
      g_set_error (err, VORN_ERROR, VORN_ERROR_GENERAL, "Error starting PortAudio stream: %s",
                   Pa_GetErrorText (code));
      return FALSE;
    }
  return TRUE;
}

static void
port_stop (VornAudioDriver *driver)
{
  auto *self = VORN_AUDIO_DRIVER_PORT (driver);

  if (self->stream)
    {
      PaError code = Pa_CloseStream (self->stream);
      self->stream = nullptr;
      if (code != paNoError)
        g_critical ("Error closing PortAudio stream: %s", Pa_GetErrorText (code));
    }

  PaError code = Pa_Terminate ();
  if (code != paNoError)
    g_critical ("Error terminating PortAudio: %s", Pa_GetErrorText (code));
}

static void
vorn_audio_driver_port_get_property (GObject *object, guint prop_id, GValue *value,
                                     GParamSpec *pspec)
{
  auto *self = VORN_AUDIO_DRIVER_PORT (object);

  if (prop_id == PROP_FRAMES)
    g_value_set_int (value, self->frames);
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
vorn_audio_driver_port_set_property (GObject *object, guint prop_id, const GValue *value,
                                     GParamSpec *pspec)
{
  auto *self = VORN_AUDIO_DRIVER_PORT (object);

  if (prop_id != PROP_FRAMES)
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
  else if (self->frames != g_value_get_int (value))
    {
      /* Takes effect at the next start. */
      self->frames = g_value_get_int (value);
      g_object_notify_by_pspec (object, pspec);
    }
}

static void
vorn_audio_driver_port_class_init (VornAudioDriverPortClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  VornAudioDriverClass *driver_class = VORN_AUDIO_DRIVER_CLASS (klass);

  object_class->get_property = vorn_audio_driver_port_get_property;
  object_class->set_property = vorn_audio_driver_port_set_property;
  driver_class->start = port_start;
  driver_class->stop = port_stop;

  properties[PROP_FRAMES] =
    g_param_spec_int ("frames", "Frames", "Audio frames per buffer (0 for auto)", 0, 16384, 0,
                      GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY
                                   | G_PARAM_STATIC_STRINGS));
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
vorn_audio_driver_port_init (VornAudioDriverPort *)
{
}
