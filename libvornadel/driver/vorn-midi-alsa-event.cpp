/* vorn-midi-alsa-event.cpp: ALSA sequencer events as MIDI bytes */
#include "vorn-midi-alsa-event.h"

static inline bool
data_byte (int v)
{
  return v >= 0 && v <= 127;
}

gsize
vorn_midi_alsa_event_to_bytes (const snd_seq_event_t *ev, guint8 out[3])
{
  if (!ev || !out)
    return 0;

  guint8 status;
  int d1, d2 = -1;
  guint8 chan;
  switch (ev->type)
    {
    case SND_SEQ_EVENT_NOTEON:
    case SND_SEQ_EVENT_NOTEOFF:
    case SND_SEQ_EVENT_KEYPRESS:
      status = ev->type == SND_SEQ_EVENT_NOTEON ? 0x90 : ev->type == SND_SEQ_EVENT_NOTEOFF ? 0x80 : 0xa0;
      chan = ev->data.note.channel;
      d1 = ev->data.note.note;
      d2 = ev->data.note.velocity;
      break;
    case SND_SEQ_EVENT_CONTROLLER:
      status = 0xb0;
      chan = ev->data.control.channel;
      if (ev->data.control.param > 127)
        return 0;
      d1 = int (ev->data.control.param);
      d2 = ev->data.control.value;
      break;
    case SND_SEQ_EVENT_PGMCHANGE:
    case SND_SEQ_EVENT_CHANPRESS:
      status = ev->type == SND_SEQ_EVENT_PGMCHANGE ? 0xc0 : 0xd0;
      chan = ev->data.control.channel;
      d1 = ev->data.control.value;
      break;
    case SND_SEQ_EVENT_PITCHBEND:
      {
        status = 0xe0;
        chan = ev->data.control.channel;
        const int v = ev->data.control.value;
        if (v < -8192 || v > 8191)
          return 0;
        const int bend = v + 8192;
        d1 = bend & 0x7f;
        d2 = bend >> 7;
      }
      break;
    default:
      return 0;
    }

  if (chan > 15 || !data_byte (d1) || (d2 >= 0 && !data_byte (d2))
      || (d2 < 0 && status != 0xc0 && status != 0xd0))
    return 0;
  out[0] = guint8 (status | chan);
  out[1] = guint8 (d1);
  if (d2 < 0)
    return 2;
  out[2] = guint8 (d2);
  return 3;
}
