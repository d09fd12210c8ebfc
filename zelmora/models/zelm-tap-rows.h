/* zelm-tap-rows.h: the tap recorder's bookkeeping, free of widgets: the
 * captured voices, the order of the rows, and the window of sample time a
 * paused recorder shows */
#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

/* The captured voices, newest first, at most @max of them.  Zero-filled is
 * an empty list keeping none; set @max before adding. */
typedef struct {
  GList *list; /* objects, each referenced by the list */
  GList *oldest;
  int count;
  int max;
} ZelmTapVoices;

/* Adds @voice (referenced) as the newest and drops the oldest beyond the
 * maximum. */
void zelm_tap_voices_add (ZelmTapVoices *voices, gpointer voice);

/* Keeps at most @max voices from now on, dropping the oldest. */
void zelm_tap_voices_set_max (ZelmTapVoices *voices, int max);

/* Drops every voice. */
void zelm_tap_voices_clear (ZelmTapVoices *voices);

/* Whether row @index of @n can move by @delta (up -1, down 1). */
gboolean zelm_tap_row_can_move (int n, int index, int delta);

/* Swaps element @index of @rows (@n long) with its neighbour @delta away.
 * Returns: FALSE, changing nothing, when either lies outside. */
gboolean zelm_tap_row_move (gpointer *rows, int n, int index, int delta);

/* Sample times [start, end) a row's tap holds. */
typedef struct {
  guint64 start, end;
} ZelmTapSpan;

/* The range over the @n @spans that hold data, as *@earliest .. *@latest;
 * 0 .. 0 when none does. */
void zelm_tap_spans_range (const ZelmTapSpan *spans, int n, guint64 *earliest,
                           guint64 *latest);

/**
 * zelm_tap_window:
 * @pos: sample time of the window's first column
 * @len: columns in the window
 * @span: the row's span
 * @oldest: sample time of the oldest frame the tap holds now (voice taps
 *   record on while paused, so it may be past @span's start)
 * @offset: (out): the first column with data
 * @frame: (out): that column's frame, counted from @oldest
 *
 * The part of a row a paused recorder shows in its window: every row over
 * the same sample times.
 *
 * Returns: the number of columns with data, 0 when none.
 */
int zelm_tap_window (guint64 pos, int len, ZelmTapSpan span, guint64 oldest, int *offset,
                     guint64 *frame);

G_END_DECLS
