/* zelm-piano-keys.cpp: which piano keys are lit, free of widgets */
#include "zelm-piano-keys.h"

#include <algorithm>
#include <vector>

struct _ZelmPianoKeys {
  guint64 lit[2];             /* one bit per MIDI note held by any source */
  std::vector<guint64> holds; /* packed (source, note) holds, newest last */
};

static guint64
pack_key (guint16 device, guint sub_id, int channel, guint8 note)
{
  return guint64 (note) | (guint64 (guint8 (channel)) << 8) |
         (guint64 (guint16 (device + 1)) << 16) | (guint64 (sub_id) << 32);
}

static void
set_lit (ZelmPianoKeys *keys, int note, bool on)
{
  const guint64 bit = guint64 (1) << (note & 63);
  if (on)
    keys->lit[note >> 6] |= bit;
  else
    keys->lit[note >> 6] &= ~bit;
}

ZelmPianoKeys *
zelm_piano_keys_new (void)
{
  return new ZelmPianoKeys ();
}

void
zelm_piano_keys_free (ZelmPianoKeys *keys)
{
  delete keys;
}

gboolean
zelm_piano_keys_lit (const ZelmPianoKeys *keys, int note)
{
  g_return_val_if_fail (keys != nullptr, FALSE);
  return note >= 0 && note < 128 && ((keys->lit[note >> 6] >> (note & 63)) & 1);
}

gboolean
zelm_piano_keys_press (ZelmPianoKeys *keys, guint16 device, guint sub_id, int channel,
                       guint8 note)
{
  g_return_val_if_fail (keys != nullptr, FALSE);
  keys->holds.push_back (pack_key (device, sub_id, channel, note));
  if (note >= 128 || zelm_piano_keys_lit (keys, note))
    return FALSE;
  set_lit (keys, note, true);
  return TRUE;
}

gboolean
zelm_piano_keys_release (ZelmPianoKeys *keys, guint16 device, guint sub_id, int channel,
                         guint8 note)
{
  g_return_val_if_fail (keys != nullptr, FALSE);
  std::vector<guint64> &list = keys->holds;
  auto it = std::find (list.rbegin (), list.rend (), pack_key (device, sub_id, channel, note));
  if (it == list.rend ())
    return FALSE;
  list.erase (std::next (it).base ());
  if (note >= 128 || std::any_of (list.begin (), list.end (),
                                  [note] (guint64 key) { return (key & 0xff) == note; }))
    return FALSE;
  set_lit (keys, note, false);
  return TRUE;
}

gboolean
zelm_piano_keys_release_all (ZelmPianoKeys *keys)
{
  g_return_val_if_fail (keys != nullptr, FALSE);
  if (keys->holds.empty ())
    return FALSE;
  keys->holds.clear ();
  keys->lit[0] = keys->lit[1] = 0;
  return TRUE;
}
