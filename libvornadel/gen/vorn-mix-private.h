/* vorn-mix-private.h: the panning curves of speaker layouts, shared by the
 * speaker mix and the synthesizer that caches them (not installed) */
#pragma once

#include "vorn-curve.h"

G_BEGIN_DECLS

/**
 * vorn_mix_speaker_curve_new:
 * @speaker_count: speakers of the layout (1 or more)
 * @speaker: index below @speaker_count
 * @latitude: TRUE for the latitude curve, FALSE for the balance curve
 *
 * Returns: (transfer full): the panning curve of @speaker in a layout of
 *   @speaker_count speakers; NULL (with a critical) when @speaker is out of
 *   range.
 */
VornCurve *vorn_mix_speaker_curve_new (guint speaker_count, guint speaker, gboolean latitude);

G_END_DECLS
