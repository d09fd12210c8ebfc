/* zelm-tap-rows.cpp: the tap recorder's bookkeeping, free of widgets */
#include "zelm-tap-rows.h"

#include "vorn-list.h"

#include <utility>

void
zelm_tap_voices_add (ZelmTapVoices *voices, gpointer voice)
{
  g_return_if_fail (voices != nullptr && G_IS_OBJECT (voice));
  voices->list = vorn_list_insert (voices->list, voice, 0);
  if (!voices->oldest)
    voices->oldest = voices->list;
  voices->count++;
  zelm_tap_voices_set_max (voices, voices->max);
}

void
zelm_tap_voices_set_max (ZelmTapVoices *voices, int max)
{
  g_return_if_fail (voices != nullptr);
  voices->max = MAX (max, 0);
  /* Whoever shows a dropped voice holds its own reference. */
  while (voices->count > voices->max && voices->oldest)
    {
      GList *newer = voices->oldest->prev;
      voices->list = vorn_list_delete_link (voices->list, voices->oldest);
      voices->oldest = newer;
      voices->count--;
    }
}

void
zelm_tap_voices_clear (ZelmTapVoices *voices)
{
  g_return_if_fail (voices != nullptr);
  g_clear_pointer (&voices->list, vorn_list_free);
  voices->oldest = nullptr;
  voices->count = 0;
}

gboolean
zelm_tap_row_can_move (int n, int index, int delta)
{
  return index >= 0 && index < n && index + delta >= 0 && index + delta < n;
}

gboolean
zelm_tap_row_move (gpointer *rows, int n, int index, int delta)
{
  if (!zelm_tap_row_can_move (n, index, delta))
    return FALSE;
  std::swap (rows[index], rows[index + delta]);
  return TRUE;
}

void
zelm_tap_spans_range (const ZelmTapSpan *spans, int n, guint64 *earliest, guint64 *latest)
{
  *earliest = G_MAXUINT64;
  *latest = 0;
  for (int i = 0; i < n; i++)
    if (spans[i].end > spans[i].start)
      {
        *earliest = MIN (*earliest, spans[i].start);
        *latest = MAX (*latest, spans[i].end);
      }
  if (*latest == 0)
    *earliest = 0;
}

int
zelm_tap_window (guint64 pos, int len, ZelmTapSpan span, guint64 oldest, int *offset,
                 guint64 *frame)
{
  *offset = 0;
  *frame = 0;
  if (len <= 0 || pos >= span.end || span.start >= pos + guint64 (len))
    return 0;
  const guint64 begin = MAX (MAX (pos, span.start), oldest);
  const guint64 end = MIN (pos + guint64 (len), span.end);
  if (begin >= end)
    return 0;
  *offset = int (begin - pos);
  *frame = begin - oldest;
  return int (end - begin);
}
