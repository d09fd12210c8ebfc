/* test-gen-view.cpp: generator outputs of an instrument, rendered offline and
 * laid out as wave tree rows, checked against a synthesizer playing the same
 * note */
#include "test-signal.h"
#include "vorn-test-log.h"
#include "vornadel.h"
#include "zelm-gen-view.h"
#include "zelm-gui-test.h"
#include "zelm-tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace zelm_test;

namespace {

constexpr guint8 NOTE = 69;
constexpr double HOLD = 0.25, LENGTH = 0.5;

ZelmWaveTreeNode *
row (GNode *n)
{
  return static_cast<ZelmWaveTreeNode *> (n->data);
}

/* A row's samples end to end as drawn (0 top, 1 bottom); NaN where the
 * generator did not render (blank segments). */
std::vector<double>
values (GNode *n)
{
  std::vector<double> out;
  for (guint i = 0; i < row (n)->segs->len; i++)
    {
      auto *s = static_cast<ZelmWaveTreeSeg *> (row (n)->segs->pdata[i]);
      for (guint32 k = 0; k < s->n_samples; k++)
        switch (s->type)
          {
          case ZELM_WAVE_TREE_SEG_TYPE_BUF_FLOAT:
            out.push_back (static_cast<float *> (s->data.buffer)[k]);
            break;
          case ZELM_WAVE_TREE_SEG_TYPE_BUF_DOUBLE:
            out.push_back (static_cast<double *> (s->data.buffer)[k]);
            break;
          default:
            EXPECT_EQ (s->line_color & 0xff, 0u) << "a constant that is not a blank";
            out.push_back (NAN);
          }
    }
  return out;
}

/* The left speaker of @note played on a started synthesizer as the audio
 * driver would, released after @hold seconds (on a fragment's start). */
std::vector<float>
play (VornFormat format, double rate, VornInst *inst, guint n)
{
  g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();
  g_object_set (synth, "audio-format", format, "sample-rate", rate, "cores", 1u, nullptr);
  vorn_synth_start (synth, nullptr);
  vorn_synth_set_inst (synth, 0, inst);
  vorn_synth_note_on (synth, 0, 0, 0, NOTE, 127, nullptr);
  const guint release = guint (std::lround (HOLD * rate / VORN_FRAGMENT_SIZE)) * VORN_FRAGMENT_SIZE;
  std::vector<float> both (2 * n);
  vorn_synth_render_interleaved (synth, both.data (), release);
  vorn_synth_note_off (synth, 0, 0, 0, NOTE, 127);
  vorn_synth_render_interleaved (synth, both.data () + 2 * release, n - release);
  vorn_synth_stop (synth);
  while (VornSynthMsg *msg = vorn_synth_get_message (synth))
    vorn_synth_msg_free (msg);
  return signal_test::channel (both, 0);
}

/* The rows under @r as an outline, one line per row: its name, icon and
 * whether it shows any output. */
void
outline_rows (GNode *r, int depth, std::string &out)
{
  const std::vector<double> v = values (r);
  const bool drawn = std::any_of (v.begin (), v.end (), [] (double x) { return std::isfinite (x); });
  const std::string label = row (r)->label;
  out += std::string (gsize (depth), ' ') + label.substr (0, label.find ("   ")) + " "
         + row (r)->icon_name + (drawn ? "\n" : " without output\n");
  for (GNode *c = r->children; c; c = c->next)
    outline_rows (c, depth + 1, out);
}

/* The same outline of @node's tree, every generator with output. */
void
outline_nodes (VornNode *node, int depth, std::string &out)
{
  out += std::string (gsize (depth), ' ') + name_of (node) + " " + zelm_tree_node_icon (node) + "\n";
  for (VornNode *k = node->children; k; k = k->next)
    outline_nodes (k, depth + 1, out);
}

class GenView : public ::testing::Test {
protected:
  GtkWidget *widget = GTK_WIDGET (g_object_ref_sink (zelm_wave_tree_new ()));
  ZelmWaveTree *tree = ZELM_WAVE_TREE (widget);

  ~GenView () override
  {
    gtk_widget_destroy (widget);
    g_object_unref (widget);
  }
  GNode *root () { return zelm_wave_tree_get_nodes (tree); }
};

/* The default instrument: its row is what the synthesizer plays; the sine
 * row has the sign of the sound; the release starts at the note-off.  The render takes rate and format from the given synthesizer. */
TEST_F (GenView, DefaultInstrumentMatchesTheSynthesizer)
{
  struct {
    VornFormat format;
    double rate;
    ZelmWaveTreeSegType seg_type;
  } cases[] = {
    { VORN_FORMAT_SINGLE, 48000, ZELM_WAVE_TREE_SEG_TYPE_BUF_FLOAT },
    { VORN_FORMAT_DOUBLE, 44100, ZELM_WAVE_TREE_SEG_TYPE_BUF_DOUBLE },
  };
  for (auto c : cases)
    {
      SCOPED_TRACE (c.rate);
      g_autoptr (VornInst) inst = vorn_inst_new_default ();
      g_autoptr (VornSynth) settings = vorn_synth_cpu_new ();
      g_object_set (settings, "audio-format", c.format, "sample-rate", c.rate, nullptr);

      const guint n = zelm_gen_view_fill (tree, settings, inst, NOTE, HOLD, LENGTH);
      const guint release = guint (std::lround (HOLD * c.rate / VORN_FRAGMENT_SIZE)) * 64;
      EXPECT_GT (n, release);
      EXPECT_LE (n, guint (LENGTH * c.rate) + 64);
      EXPECT_EQ (n % 64, 0u);

      /* The rows' nesting and labels are checked over the bank below. */
      GNode *top = root ()->children;
      GNode *rel = g_node_nth_child (top, 1), *sine = g_node_nth_child (top, 2);
      EXPECT_EQ (static_cast<ZelmWaveTreeSeg *> (row (sine)->segs->pdata[0])->type,
                 guint8 (c.seg_type));

      /* The instrument's row is the sound, scaled and upside down (larger
       * values are drawn higher): mix = b - k * left, k > 0. */
      const std::vector<float> left = play (c.format, c.rate, inst, n);
      const std::vector<double> mix = values (top);
      ASSERT_EQ (mix.size (), n);
      const auto lo = std::min_element (left.begin (), left.end ()) - left.begin ();
      const auto hi = std::max_element (left.begin (), left.end ()) - left.begin ();
      const double k = (mix[gsize (lo)] - mix[gsize (hi)]) / (left[gsize (hi)] - left[gsize (lo)]);
      EXPECT_GT (k, 0);
      for (guint i = 0; i < n; i++)
        ASSERT_NEAR (mix[i], mix[gsize (hi)] + k * (left[gsize (hi)] - left[i]), 1e-4) << i;

      /* The sine is positive (drawn above the middle) exactly where the
       * sound is; its pitch is checked through the window below. */
      const std::vector<double> s = values (sine);
      int disagree = 0;
      for (guint i = 0; i < n; i++)
        disagree += std::fabs (left[i]) > 1e-3 && (s[i] < 0.5) != (left[i] > 0);
      EXPECT_EQ (disagree, 0);

      /* The release waits for the note-off. */
      const std::vector<double> r = values (rel);
      size_t first = size_t (std::find_if (r.begin (), r.end (),
                                           [] (double v) { return !std::isnan (v); }) -
                             r.begin ());
      EXPECT_EQ (first, release);
    }
}

/* Every bank instrument: a row per node in tree order and depth, with the
 * node's name and tree icon, and output from every generator. */
TEST_F (GenView, BankInstrumentsMirrorTheirTrees)
{
  g_autoptr (VornFile) bank = load_bank ();
  ASSERT_TRUE (bank);
  int nested = 0;
  for (VornNode *inst = VORN_NODE (bank)->children; inst; inst = inst->next)
    {
      SCOPED_TRACE (name_of (inst));
      ASSERT_GT (zelm_gen_view_fill (tree, nullptr, VORN_INST (inst), 60, 0.2, 0.4), 0u);

      std::string rows, nodes;
      ASSERT_EQ (g_node_n_children (root ()), 1u);
      outline_rows (root ()->children, 0, rows);
      outline_nodes (VORN_NODE (inst), 0, nodes);
      EXPECT_EQ (rows, nodes);
      nested += rows.find ("\n  ") != std::string::npos;
    }
  EXPECT_GT (nested, 0) << "no nested generators in the bank";
}

/* The window renders the instrument's root note, and typing Up in its note
 * button renders an octave higher. */
TEST (GenViewWindow, NoteButtonRendersTheNewNote)
{
  g_autoptr (VornInst) inst = vorn_inst_new_default ();
  GtkWidget *win = zelm_gen_view_window_new (nullptr, nullptr, inst);
  wait_drawn (win);
  ZelmWaveTree *tree = zelm_gen_view_window_get_tree (win);
  GtkSpinButton *note = zelm_gen_view_window_get_note_button (win);
  EXPECT_EQ (gtk_spin_button_get_value_as_int (note), 69) << "the instrument's root note";

  auto pitch = [&] {
    /* The sine is the instrument's third node. */
    GNode *r = g_node_nth_child (zelm_wave_tree_get_nodes (tree)->children, 2);
    std::vector<float> up;
    for (double v : values (r))
      if (!std::isnan (v))
        up.push_back (float (0.5 - v));
    return signal_test::frequency (up, 48000.0, 0);
  };
  EXPECT_NEAR (pitch (), 440.0, 0.5);

  GtkAllocation a;
  gtk_widget_get_allocation (GTK_WIDGET (note), &a);
  click (GTK_WIDGET (note), 10, a.height / 2.0);
  for (int i = 0; i < 12; i++)
    key_tap (GDK_KEY_Up);
  EXPECT_TRUE (wait_for ([&] { return gtk_spin_button_get_value_as_int (note) == 81; }));
  EXPECT_NEAR (pitch (), 880.0, 1.0);

  gtk_widget_destroy (win);
}

} // namespace
