/* test-tap-rows.cpp: the tap recorder's voices, row order and paused window */
#include "zelm-tap-rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

/* Captured voices stay newest first and at most the maximum; dropped ones
 * lose the list's reference. */
TEST (TapRows, VoicesNewestFirstAndAtMostMax)
{
  ZelmTapVoices voices {};
  GObject *made[7];
  auto add = [&] (int from, int to) {
    for (int i = from; i < to; i++)
      zelm_tap_voices_add (&voices, made[i] = G_OBJECT (g_object_new (G_TYPE_OBJECT, nullptr)));
  };
  auto kept = [&] {
    std::vector<int> out;
    for (GList *l = voices.list; l; l = l->next)
      out.push_back (int (std::find (made, made + 7, l->data) - made));
    return out;
  };
  voices.max = 3;
  add (0, 5);
  EXPECT_EQ (kept (), (std::vector<int> { 4, 3, 2 }));
  zelm_tap_voices_set_max (&voices, 1);
  EXPECT_EQ (kept (), (std::vector<int> { 4 }));
  zelm_tap_voices_set_max (&voices, 2);
  add (5, 7);
  EXPECT_EQ (kept (), (std::vector<int> { 6, 5 }));
  EXPECT_EQ (made[4]->ref_count, 1u) << "a dropped voice is still referenced";
  zelm_tap_voices_clear (&voices);
  for (GObject *o : made)
    {
      EXPECT_EQ (o->ref_count, 1u);
      g_object_unref (o);
    }
}

TEST (TapRows, MovesStayInside)
{
  static const struct {
    int index, delta;
    bool moved;
    const char *after;
  } cases[] = {
    { 0, -1, false, "abc" }, { 0, 1, true, "bac" },  { 2, -1, true, "acb" },
    { 2, 1, false, "abc" },  { 1, -1, true, "bac" }, { 3, -1, false, "abc" },
    { -1, 1, false, "abc" },
  };
  for (const auto &tc : cases)
    {
      char row[3] = { 'a', 'b', 'c' };
      gpointer rows[3] = { &row[0], &row[1], &row[2] };
      EXPECT_EQ (bool (zelm_tap_row_can_move (3, tc.index, tc.delta)), tc.moved);
      EXPECT_EQ (bool (zelm_tap_row_move (rows, 3, tc.index, tc.delta)), tc.moved);
      std::string order;
      for (gpointer p : rows)
        order += *static_cast<char *> (p);
      EXPECT_EQ (order, tc.after) << tc.index << " by " << tc.delta;
    }
}

/* Every row is shown over the same sample times: the range covers the rows
 * holding data, and a window shows each row's part of it. */
TEST (TapRows, PausedWindow)
{
  const ZelmTapSpan spans[] = { { 100, 900 }, { 0, 0 }, { 300, 1200 }, { 50, 50 } };
  guint64 earliest = 1, latest = 1;
  zelm_tap_spans_range (spans, 4, &earliest, &latest);
  EXPECT_EQ (earliest, 100u);
  EXPECT_EQ (latest, 1200u);
  zelm_tap_spans_range (spans + 1, 1, &earliest, &latest);
  EXPECT_EQ (earliest + latest, 0u) << "no data";

  static const struct {
    guint64 pos;
    int len;
    guint64 start, end, oldest;
    int count, offset;
    guint64 frame;
  } cases[] = {
    { 400, 100, 300, 1200, 300, 100, 0, 100 },  /* inside */
    { 200, 200, 300, 1200, 300, 100, 100, 0 },  /* across the start */
    { 1150, 100, 300, 1200, 300, 50, 0, 850 },  /* across the end */
    { 1200, 100, 300, 1200, 300, 0, 0, 0 },     /* after */
    { 100, 200, 300, 1200, 300, 0, 0, 0 },      /* before */
    { 400, 100, 300, 1200, 450, 50, 50, 0 },    /* recorded past the start */
    { 400, 100, 300, 1200, 600, 0, 0, 0 },      /* all of it recorded over */
    { 400, 0, 300, 1200, 300, 0, 0, 0 },
  };
  for (const auto &tc : cases)
    {
      int offset = -1;
      guint64 frame = 1;
      EXPECT_EQ (zelm_tap_window (tc.pos, tc.len, { tc.start, tc.end }, tc.oldest, &offset,
                                  &frame),
                 tc.count)
        << "window at " << tc.pos << " oldest " << tc.oldest;
      EXPECT_EQ (offset, tc.offset) << tc.pos;
      EXPECT_EQ (frame, tc.frame) << tc.pos;
    }
}

} // namespace
