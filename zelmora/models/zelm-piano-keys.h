/* zelm-piano-keys.h: which piano keys are lit, free of widgets: a key
 * stays lit while any source (the pointer, the computer keyboard, a MIDI
 * device, on any channel) still holds its note */
#pragma once

#include <glib.h>

G_BEGIN_DECLS

typedef struct _ZelmPianoKeys ZelmPianoKeys;

/* Returns: (transfer full): no key held; free with zelm_piano_keys_free(). */
ZelmPianoKeys *zelm_piano_keys_new (void);

void zelm_piano_keys_free (ZelmPianoKeys *keys);

/* A source (@device, @sub_id, @channel) holds @note; it may hold it more
 * than once.  Returns: whether @note was not lit before. */
gboolean zelm_piano_keys_press (ZelmPianoKeys *keys, guint16 device, guint sub_id, int channel,
                                guint8 note);

/* Lets go of one hold of @note by that source; nothing when it holds none.
 * Returns: whether @note went dark. */
gboolean zelm_piano_keys_release (ZelmPianoKeys *keys, guint16 device, guint sub_id,
                                  int channel, guint8 note);

/* Lets go of everything.  Returns: whether anything was held. */
gboolean zelm_piano_keys_release_all (ZelmPianoKeys *keys);

/* Whether @note (notes beyond 127 never are) is lit. */
gboolean zelm_piano_keys_lit (const ZelmPianoKeys *keys, int note);

G_END_DECLS
