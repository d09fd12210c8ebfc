/* test-wave-tree.cpp: the wave tree's rows and segments, as drawn on the X
 * server and scrolled with the real mouse wheel */
#include "vorn-test-log.h"
#include "vornadel.h"
#include "zelm-gui-test.h"
#include "zelm-wave-tree.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace zelm_test;

namespace {

constexpr int WIDTH = 400, HEIGHT = 240;
constexpr Rgb BLACK { 0, 0, 0 }, WHITE { 0xff, 0xff, 0xff }, RED { 0xff, 0, 0 };
constexpr Rgb LINE { 0x00, 0x64, 0xff }, GREEN { 0, 0xff, 0 };
constexpr Rgb BAR[4] = { { 0x55, 0x99, 0xff }, { 0x80, 0xff, 0xb3 }, { 0xff, 0x55, 0x55 },
                         { 0xff, 0xdd, 0x55 } };

/* A level whose 1-pixel line covers exactly pixel row @px of a row at @top. */
double
level_at (int px)
{
  return (px + 0.5) / 64.0;
}

std::string
label (GNode *n)
{
  return static_cast<ZelmWaveTreeNode *> (n->data)->label;
}

ZelmWaveTreeSeg *
seg (GNode *n, guint i)
{
  return static_cast<ZelmWaveTreeSeg *> (static_cast<ZelmWaveTreeNode *> (n->data)->segs->pdata[i]);
}

class WaveTree : public ::testing::Test {
protected:
  GtkWidget *widget = zelm_wave_tree_new ();
  ZelmWaveTree *tree = ZELM_WAVE_TREE (widget);
  GtkWidget *win = nullptr;

  ~WaveTree () override
  {
    if (win)
      gtk_widget_destroy (win);
    else
      gtk_widget_destroy (g_object_ref_sink (widget)), g_object_unref (widget);
  }

  void show () { win = show_in_window (widget, WIDTH, HEIGHT); }

  /* Eight rows of 2000 samples: row i filled with red (i + 1) * 20, its
   * second 1000 samples with green 0xc8 as well. */
  void eight_rows ()
  {
    for (int i = 7; i >= 0; i--)
      {
        GNode *row = zelm_wave_tree_insert_wave (tree, nullptr, nullptr, nullptr, nullptr, FALSE);
        const guint32 red = guint32 ((i + 1) * 20) << 24;
        zelm_wave_tree_insert_seg_const (tree, row, -1, 0.5, 1000)->fill_color = red | 0xff;
        zelm_wave_tree_insert_seg_const (tree, row, -1, 0.5, 1000)->fill_color = red | 0xc800ff;
      }
    show ();
  }
  std::pair<double, double> offsets ()
  {
    double x, y;
    zelm_wave_tree_get_scroll (tree, &x, &y);
    return { x, y };
  }
  GdkPixbuf *shot () { return grab_drawn (widget); }
};

TEST_F (WaveTree, RowsAndSegmentsGoWhereTheyAreInserted)
{
  char text[] = "first";
  GNode *x = zelm_wave_tree_insert_wave (tree, nullptr, nullptr, text, nullptr, FALSE);
  text[0] = 'F'; /* labels are copies */
  GNode *y = zelm_wave_tree_insert_wave (tree, nullptr, nullptr, "goes first", nullptr, FALSE);
  zelm_wave_tree_insert_wave (tree, nullptr, x, "after first", nullptr, FALSE);
  GNode *root = zelm_wave_tree_get_nodes (tree);
  std::vector<std::string> order;
  for (GNode *n = root->children; n; n = n->next)
    order.push_back (label (n));
  EXPECT_EQ (order, (std::vector<std::string> { "goes first", "first", "after first" }));

  /* Index -1 and indexes past the end append; others insert before. */
  struct {
    double value;
    int index;
  } inserts[] = { { 1, -1 }, { 2, -1 }, { 0, 0 }, { 3, 99 }, { 1.5, 2 } };
  for (auto in : inserts)
    zelm_wave_tree_insert_seg_const (tree, y, in.index, in.value, 10);
  std::vector<double> values;
  for (guint i = 0; i < 5; i++)
    values.push_back (seg (y, i)->data.value);
  EXPECT_EQ (values, (std::vector<double> { 0, 1, 1.5, 2, 3 }));

  g_autoptr (VornNode) not_a_curve = vorn_node_new ();
  EXPECT_EQ (zelm_wave_tree_insert_seg_curve (tree, y, -1, reinterpret_cast<VornCurve *> (
                                                             not_a_curve)),
             nullptr);
  EXPECT_CRITICAL ("VORN_IS_CURVE (curve)");
  zelm_wave_tree_remove_wave (tree, nullptr);
  EXPECT_CRITICAL ("node != NULL");
}

/* Removing a row frees what the widget allocated for it and its children
 * (the leak checker of the sanitizer build sees the rest), releases curves,
 * and leaves the caller's buffers alone. */
TEST_F (WaveTree, RemovingARowFreesOnlyWhatTheWidgetOwns)
{
  std::vector<double> mine (500, 0.25);
  g_autoptr (VornCurve) curve = vorn_curve_new (2);
  for (bool owned : { false, true })
    {
      GNode *row = zelm_wave_tree_insert_wave (tree, nullptr, nullptr, "row", "icon", FALSE);
      ZelmWaveTreeSeg *s = zelm_wave_tree_insert_seg_buf_double (tree, row, -1,
                                                                 owned ? nullptr : mine.data (), 500);
      EXPECT_EQ (s->owns_buffer, owned);
      for (guint i = 0; owned && i < 500; i++)
        EXPECT_EQ (static_cast<double *> (s->data.buffer)[i], 0.0);
      GNode *child = zelm_wave_tree_insert_wave (tree, row, nullptr, "child", nullptr, FALSE);
      zelm_wave_tree_insert_seg_buf_float (tree, child, -1, nullptr, 300);
      zelm_wave_tree_insert_seg_curve (tree, child, -1, curve);
      EXPECT_EQ (G_OBJECT (curve)->ref_count, 2u);
      zelm_wave_tree_remove_wave (tree, row);
      EXPECT_EQ (G_OBJECT (curve)->ref_count, 1u);
    }
  EXPECT_EQ (g_node_n_children (zelm_wave_tree_get_nodes (tree)), 0u);
  /* The caller's buffer is intact and still ours (a sanitizer would catch a
   * free here). */
  for (double &v : mine)
    {
      EXPECT_EQ (v, 0.25);
      v = 1;
    }
}

/* One scene checks the geometry of drawing: separators, nesting bars in
 * their colours, segments laid end to end at one pixel per sample from the
 * margin, clipping, fills, and a collapsed row as a 1-pixel line hiding
 * its children. */
TEST_F (WaveTree, DrawsRowsSegmentsBarsAndCollapsedRows)
{
  use_app_theme ();

  /* A: 0..63 | sep 64 | B (child of A): 65..128 | sep 129 | C collapsed: 130
   * | sep 131 | E: 132..195.  The deepest row has two bars: margin 20. */
  GNode *a = zelm_wave_tree_insert_wave (tree, nullptr, nullptr, "Alpha", nullptr, FALSE);
  ZelmWaveTreeSeg *s = zelm_wave_tree_insert_seg_const (tree, a, -1, level_at (30), 100);
  s->fill_color = 0xff0000ff;
  std::vector<double> buf (50, level_at (50));
  s = zelm_wave_tree_insert_seg_buf_double (tree, a, -1, buf.data (), 50);
  s->line_color = 0x00ff00ff;

  GNode *b = zelm_wave_tree_insert_wave (tree, a, nullptr, "Beta", "zelm-inst", FALSE);
  g_autoptr (VornCurve) curve = vorn_curve_new (2);
  const double xs[4] = { 0, 33, 67, 100 };
  for (int i = 0; i < 4; i++)
    curve->xcoords[i] = xs[i], curve->ycoords[i] = level_at (32);
  zelm_wave_tree_insert_seg_curve (tree, b, -1, curve);

  GNode *c = zelm_wave_tree_insert_wave (tree, nullptr, a, "Gamma", nullptr, TRUE);
  zelm_wave_tree_insert_seg_const (tree, c, -1, 0.5, 300)->fill_color = 0xffffffff;
  GNode *d = zelm_wave_tree_insert_wave (tree, c, nullptr, "Delta", nullptr, FALSE);
  zelm_wave_tree_insert_seg_const (tree, d, -1, 0.5, 300)->fill_color = 0x00ff00ff;
  zelm_wave_tree_insert_wave (tree, nullptr, c, nullptr, nullptr, FALSE);
  show ();

  g_autoptr (GdkPixbuf) pb = shot ();
  struct {
    int x, y;
    Rgb want;
    const char *what;
  } expect[] = {
    { 5, 40, BAR[0], "A: level-0 bar left" },
    { 15, 40, BLACK, "A: margin of the deeper rows" },
    { 20, 30, LINE, "A: first pixel of the segment area" },
    { 119, 30, LINE, "A: the constant spans its 100 samples" },
    { 15, 30, BLACK, "A: clipped at the margin" },
    { 60, 29, RED, "A: fill above the line" },
    { 168, 50, GREEN, "A: last buffer segment ends at its last sample" },
    { 169, 50, BLACK, "A: ... which is 49 pixels after its first" },
    { 125, 40, BLACK, "A: no fill behind the buffer" },
    { 200, 64, WHITE, "separator A/B" },
    { 15, 100, BAR[1], "B: level-1 bar" },
    { WIDTH - 15, 100, BAR[1], "B: level-1 bar right" },
    { 60, 97, LINE, "B: curve" },
    { 130, 97, BLACK, "B: curve ends at its width" },
    { 5, 130, BAR[0], "C: collapsed row is a 1-pixel line with its bar" },
    { 200, 130, BLACK, "C: collapsed row draws no segments" },
    { 200, 131, WHITE, "separator C/E right after the collapsed row" },
    { 15, 150, BLACK, "E: one bar only" },
  };
  for (auto e : expect)
    EXPECT_EQ (pixel (pb, e.x, e.y), e.want) << e.what << " at " << e.x << "," << e.y;

  auto count = [&] (int x0, int x1, int y0, int y1, auto pred) {
    int n = 0;
    for (int y = y0; y < y1; y++)
      for (int x = x0; x < x1; x++)
        n += pred (pixel (pb, x, y));
    return n;
  };
  EXPECT_EQ (count (0, WIDTH, 132, HEIGHT, [] (Rgb p) { return p == GREEN; }), 0)
      << "hidden child drawn";
}

/* A view of eight 2000-sample rows (64 pixels and a separator each) in a
 * 400 x 240 window with one nesting bar: 380 pixels of trace. */
TEST (WaveTreeView, WheelScrollsAndZooms)
{
  constexpr auto NONE = GdkModifierType (0), SHIFT = GDK_SHIFT_MASK, CTRL = GDK_CONTROL_MASK;
  const double max_v = 8 * 64 + 7 - HEIGHT, max_h = 1999 - (WIDTH - 20);
  static const struct {
    double hscale, h, v, dx, dy;
    GdkModifierType state;
    double anchor, new_hscale, new_h, new_v;
  } cases[] = {
    { 1, 0, 0, 0, 1, NONE, 0, 1, 0, 65 },          /* a row per notch */
    { 1, 0, 65, 0, -2, NONE, 0, 1, 0, 0 },         /* stops at the top */
    { 1, 0, 0, 0, 10, NONE, 0, 1, 0, max_v },      /* ... and the bottom */
    { 1, 0, 0, 0, 9, SHIFT, 0, 1, 855, 0 },        /* Shift: a quarter across */
    { 1, 760, 0, 1, 0, NONE, 0, 1, 855, 0 },       /* the horizontal wheel */
    { 1, 0, 0, 0.5, 0, NONE, 0, 1, 47.5, 0 },      /* smooth deltas */
    { 1, 0, 0, 0, 30, SHIFT, 0, 1, max_h, 0 },     /* stops at the end */
    { 1, 0, 0, 0, -1, CTRL, 100, 2, 100, 0 },      /* sample 100 stays at 100 */
    { 1, 0, 0, 0, 1, CTRL, 190, 0.5, 0, 0 },       /* would go negative */
    { 1, 500, 0, 0, 2, CTRL, 0, 0.25, 119.75, 0 }, /* clamped as the content narrows */
    { 64, 0, 0, 0, -1, CTRL, 0, 64, 0, 0 },        /* the largest scale */
    { 1.0 / 1024, 0, 0, 0, 1, CTRL, 0, 1.0 / 1024, 0, 0 },
  };
  for (const auto &c : cases)
    {
      ZelmWaveTreeView view = { c.hscale, c.h, c.v, WIDTH - 20, HEIGHT, 1999, 8 * 65 - 1, 65 };
      zelm_wave_tree_view_wheel (&view, c.dx, c.dy, c.state, c.anchor);
      EXPECT_EQ (std::tuple (view.hscale, view.hscroll, view.vscroll),
                 std::tuple (c.new_hscale, c.new_h, c.new_v))
        << c.hscale << " " << c.h << "," << c.v << " by " << c.dx << "," << c.dy << " state "
        << c.state;
    }
}

/* The real wheel reaches that arithmetic with the widget's geometry:
 * Control zooms around the pointer past the nesting bar, and the drawing
 * follows the scale and the offsets (sample 1000, where the green half
 * starts, at x 10 + 1000 / 4; the content reaching the window's bottom and
 * the right margin once scrolled to the end). */
TEST_F (WaveTree, WheelScrollsAndZoomsTheDrawing)
{
  eight_rows ();
  auto wheel = [&] (guint modifier, GdkScrollDirection dir, int notches, double x) {
    if (modifier)
      key_press (modifier);
    for (int i = 0; i < notches; i++)
      scroll (widget, x, HEIGHT / 2, dir);
    if (modifier)
      key_release (modifier);
  };
  wheel (GDK_KEY_Control_L, GDK_SCROLL_UP, 1, 110);
  EXPECT_TRUE (wait_for ([&] { return zelm_wave_tree_get_hscale (tree) == 2; }));
  EXPECT_EQ (offsets (), std::pair (100.0, 0.0));
  wheel (GDK_KEY_Control_L, GDK_SCROLL_DOWN, 3, 200);
  EXPECT_TRUE (wait_for ([&] { return zelm_wave_tree_get_hscale (tree) == 0.25; }));
  g_autoptr (GdkPixbuf) zoomed = shot ();
  EXPECT_EQ (pixel (zoomed, 258, 10), (Rgb { 20, 0, 0 }));
  EXPECT_EQ (pixel (zoomed, 262, 10), (Rgb { 20, 0xc8, 0 }));

  wheel (GDK_KEY_Shift_L, GDK_SCROLL_DOWN, 3, WIDTH / 2);
  wheel (0, GDK_SCROLL_DOWN, 10, WIDTH / 2);
  EXPECT_TRUE (wait_for ([&] { return offsets () == std::pair (1999 * 0.25 - (WIDTH - 20), 8.0 * 65 - 1 - HEIGHT); }));
  g_autoptr (GdkPixbuf) pb = shot ();
  EXPECT_EQ (pixel (pb, WIDTH - 12, HEIGHT - 1), (Rgb { 160, 0xc8, 0 }));
  EXPECT_EQ (pixel (pb, WIDTH - 10, HEIGHT - 20), BAR[0]);
}

} // namespace
