/* test-gen-view.cpp: generator outputs of an instrument, rendered offline and
 * laid out as wave tree rows, checked against a synthesizer playing the same
 * note */
#include "test-signal.h"
#include "vorn-test-log.h"
#include "vornadel.h"
#include "zelm-gen-view.h"
#include "zelm-gui-test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

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

/* The default instrument: its row is what the synthesizer plays.  The render
 * takes rate and format from the given synthesizer. */
TEST (GenView, DefaultInstrumentMatchesTheSynthesizer)
{
  GtkWidget *widget = GTK_WIDGET (g_object_ref_sink (zelm_wave_tree_new ()));
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

      const guint n = zelm_gen_view_fill (ZELM_WAVE_TREE (widget), settings, inst, NOTE, HOLD, LENGTH);
      GNode *top = zelm_wave_tree_get_nodes (ZELM_WAVE_TREE (widget))->children;
      EXPECT_EQ (static_cast<ZelmWaveTreeSeg *> (row (g_node_nth_child (top, 2))->segs->pdata[0])->type,
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
    }
  gtk_widget_destroy (widget);
  g_object_unref (widget);
}

} // namespace
