/* test-piano-keys.cpp: which piano keys are lit as sources press and let go */
#include "zelm-piano-keys.h"

#include <gtest/gtest.h>

namespace {

/* A key stays lit until every source holding it, as often as it holds it,
 * has let go; a release by another key, source or channel changes nothing. */
TEST (PianoKeys, LitUntilEverySourceLetsGo)
{
  enum { ON, OFF, ALL };
  static const struct {
    int op;
    guint16 device;
    guint sub;
    int channel;
    guint8 note;
    bool changed, lit; /* the result and the note's state after */
  } steps[] = {
    { ON, 0, 0, 0, 60, true, true },    /* the pointer */
    { ON, 9, 38, 0, 60, false, true },  /* the computer keyboard, same note */
    { ON, 9, 38, 0, 60, false, true },  /* ... twice */
    { OFF, 0, 0, 0, 60, false, true },
    { OFF, 9, 40, 0, 60, false, true }, /* another key of that source */
    { OFF, 9, 38, 1, 60, false, true }, /* another channel */
    { OFF, 8, 38, 0, 60, false, true }, /* another device */
    { OFF, 9, 38, 0, 60, false, true },
    { OFF, 9, 38, 0, 60, true, false },
    { OFF, 9, 38, 0, 60, false, false }, /* nothing left to release */
    { ON, 0xffff, 1, 15, 127, true, true },
    { ON, 1, 0, 0, 200, false, false },  /* beyond the keys */
    { ALL, 0, 0, 0, 127, true, false },
    { ALL, 0, 0, 0, 127, false, false },
  };
  ZelmPianoKeys *keys = zelm_piano_keys_new ();
  int i = 0;
  for (const auto &s : steps)
    {
      gboolean changed = FALSE;
      if (s.op == ON)
        changed = zelm_piano_keys_press (keys, s.device, s.sub, s.channel, s.note);
      else if (s.op == OFF)
        changed = zelm_piano_keys_release (keys, s.device, s.sub, s.channel, s.note);
      else
        changed = zelm_piano_keys_release_all (keys);
      EXPECT_EQ (bool (changed), s.changed) << "step " << i;
      EXPECT_EQ (bool (zelm_piano_keys_lit (keys, s.note)), s.lit) << "step " << i;
      EXPECT_FALSE (zelm_piano_keys_lit (keys, 59)) << "step " << i;
      i++;
    }
  zelm_piano_keys_free (keys);
}

} // namespace
