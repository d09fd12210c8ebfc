/* zelm-gen-view.cpp: what every generator of an instrument produces for one
 * note, rendered offline and laid out as rows of a wave tree */
#include "zelm-gen-view.h"

#include "vorn-queue-private.h"
#include "zelm-tree.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

#define HOLD_SECONDS     0.5
#define INITIAL_HSCALE   (1.0 / 32)  /* a second at 48 kHz in 1500 pixels */
#define LENGTH_SECONDS   1.0
#define ROW_MARGIN       0.1        /* of the row height, above and below the range */
#define BLANK_COLOR      0x00000000u /* fragments a generator did not render */
#define RELEASE_FILL     0x1c2233ffu /* behind what follows the note-off */

namespace {

/* What one generator wrote, fragment by fragment. */
struct Capture {
  VornNode *node;           /* borrowed from the instrument, which outlives the capture */
  VornGenRenderFunc render; /* the generator's own render function */
  std::vector<double> samples;
  std::vector<guint8> rendered; /* per fragment */
};

struct Recording {
  std::unordered_map<VornGen *, Capture> captures;
  guint frag = 0;
};

/* The render in progress on this thread; the render runs on the caller's
 * thread (one core), so the captures need no locking. */
thread_local Recording *recording;

/* Copies @gen's first destination record into its capture. */
void
store (Capture &c, VornGen *gen, guint frag)
{
  const VornAttribVal *v = gen->dest_count ? gen->attrib_vals[gen->src_count] : nullptr;
  if (!v || v->state == VORN_ATTRIB_STATE_UNSET)
    return;
  double *out = c.samples.data () + gsize (frag) * VORN_FRAGMENT_SIZE;
  const bool dbl = v->format == VORN_FORMAT_DOUBLE;
  if (v->state == VORN_ATTRIB_STATE_DYNAMIC && v->buffer)
    for (int i = 0; i < VORN_FRAGMENT_SIZE; i++)
      out[i] = dbl ? static_cast<const double *> (v->buffer)[i]
                   : double (static_cast<const float *> (v->buffer)[i]);
  else
    std::fill (out, out + VORN_FRAGMENT_SIZE, dbl ? v->value.d : double (v->value.f));
  c.rendered[frag] = TRUE;
}

/* Stands in for every generator's render function while recording. */
gboolean
capture_render (VornGen *gen)
{
  auto it = recording->captures.find (gen);
  const gboolean result = it->second.render (gen);
  store (it->second, gen, recording->frag);
  return result;
}

struct Settings {
  double rate = 48000.0;
  guint speakers = 2;
  VornFormat format = VORN_FORMAT_SINGLE;
};

/* Plays @note on a private synthesizer and records every generator of the
 * voice.  Returns: fragments rendered. */
guint
record_note (Recording &rec, const Settings &set, VornInst *inst, guint8 note, double hold,
             double length)
{
  g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();
  g_object_set (synth, "audio-format", set.format, "sample-rate", set.rate, "speaker-count",
                set.speakers, "cores", 1u, nullptr);
  vorn_synth_start (synth, nullptr);
  vorn_synth_set_inst (synth, 0, inst);

  VornQueue *queue = nullptr;
  vorn_synth_note_on (synth, 0, 0, 0, note, 127, &queue);
  guint frags = 0;
  if (queue)
    {
      const guint total = guint (std::ceil (length * set.rate / VORN_FRAGMENT_SIZE));
      const guint release = guint (std::lround (hold * set.rate / VORN_FRAGMENT_SIZE));
      for (VornGen *gen = vorn_queue_get_gens (queue); gen; gen = gen->next)
        {
          Capture &c = rec.captures[gen];
          c.node = gen->node;
          c.render = gen->render;
          c.samples.assign (gsize (total) * VORN_FRAGMENT_SIZE, 0.0);
          c.rendered.assign (total, FALSE);
          gen->render = capture_render;
        }

      std::vector<float> out (gsize (VORN_FRAGMENT_SIZE) * set.speakers);
      recording = &rec;
      for (frags = 0; frags < total;)
        {
          if (frags == release)
            vorn_synth_note_off (synth, 0, 0, 0, note, 127);
          rec.frag = frags;
          vorn_synth_render_interleaved (synth, out.data (), VORN_FRAGMENT_SIZE);
          /* A generator that settled on a constant leaves the chain but
           * keeps its record; a waiting one has no output yet. */
          for (auto &[gen, c] : rec.captures)
            if (!c.rendered[frags] && queue->active && gen->state == VORN_GEN_STATE_ACTIVE)
              {
                const VornAttribVal *v = gen->dest_count ? gen->attrib_vals[gen->src_count]
                                                         : nullptr;
                if (v && (v->state == VORN_ATTRIB_STATE_CONST ||
                          v->state == VORN_ATTRIB_STATE_FIXED))
                  store (c, gen, frags);
              }
          while (VornSynthMsg *msg = vorn_synth_get_message (synth))
            vorn_synth_msg_free (msg);
          frags++;
          if (!queue->active)
            break; /* the voice ended */
        }
      recording = nullptr;
      for (auto &[gen, c] : rec.captures)
        gen->render = c.render;
    }

  vorn_synth_stop (synth);
  while (VornSynthMsg *msg = vorn_synth_get_message (synth))
    vorn_synth_msg_free (msg);
  g_clear_object (&queue);
  return frags;
}

/* Lays out one node's capture as segments: rendered runs as buffers scaled
 * to the row, the rest blank; what follows the note-off on a tinted ground.
 * Returns: the row's label. */
char *
fill_row (ZelmWaveTree *tree, GNode *row, const char *name, const Capture *c, guint frags,
          guint release, VornFormat format)
{
  if (!c)
    return g_strdup_printf ("%s   (no generator)", name);

  double lo = G_MAXDOUBLE, hi = -G_MAXDOUBLE;
  for (guint f = 0; f < frags; f++)
    if (c->rendered[f])
      for (int i = 0; i < VORN_FRAGMENT_SIZE; i++)
        {
          const double v = c->samples[gsize (f) * VORN_FRAGMENT_SIZE + i];
          if (std::isfinite (v))
            {
              lo = std::min (lo, v);
              hi = std::max (hi, v);
            }
        }
  if (lo > hi)
    return g_strdup_printf ("%s   (no output)", name);

  const double span = hi - lo;
  auto map = [&] (double v) {
    if (!std::isfinite (v))
      return 0.5;
    return span > 1e-12 * std::max (1.0, std::fabs (hi))
             ? ROW_MARGIN + (1 - 2 * ROW_MARGIN) * (hi - v) / span
             : 0.5;
  };

  for (guint f = 0; f < frags;)
    {
      guint end = f + 1;
      while (end < frags && c->rendered[end] == c->rendered[f] && end != release)
        end++;
      const guint32 n = (end - f) * VORN_FRAGMENT_SIZE;
      ZelmWaveTreeSeg *seg;
      if (!c->rendered[f])
        {
          seg = zelm_wave_tree_insert_seg_const (tree, row, -1, 0.5, n);
          seg->line_color = BLANK_COLOR;
        }
      else if (format == VORN_FORMAT_DOUBLE)
        {
          seg = zelm_wave_tree_insert_seg_buf_double (tree, row, -1, nullptr, n);
          auto *buf = static_cast<double *> (seg->data.buffer);
          for (guint32 i = 0; i < n; i++)
            buf[i] = map (c->samples[gsize (f) * VORN_FRAGMENT_SIZE + i]);
        }
      else
        {
          seg = zelm_wave_tree_insert_seg_buf_float (tree, row, -1, nullptr, n);
          auto *buf = static_cast<float *> (seg->data.buffer);
          for (guint32 i = 0; i < n; i++)
            buf[i] = float (map (c->samples[gsize (f) * VORN_FRAGMENT_SIZE + i]));
        }
      if (f >= release)
        seg->fill_color = RELEASE_FILL;
      f = end;
    }
  return g_strdup_printf ("%s   %.4g \u2026 %.4g", name, lo, hi);
}

struct Layout {
  ZelmWaveTree *tree;
  std::unordered_map<VornNode *, const Capture *> by_node;
  guint frags, release;
  VornFormat format;
};

GNode *
add_rows (Layout &l, VornNode *node, GNode *parent, GNode *after)
{
  g_autofree char *name = nullptr;
  g_object_get (node, "name", &name, nullptr);
  GNode *row = zelm_wave_tree_insert_wave (l.tree, parent, after, nullptr,
                                           zelm_tree_node_icon (node), FALSE);
  auto it = l.by_node.find (node);
  auto *data = static_cast<ZelmWaveTreeNode *> (row->data);
  data->label = fill_row (l.tree, row, name ? name : G_OBJECT_TYPE_NAME (node),
                          it == l.by_node.end () ? nullptr : it->second, l.frags, l.release,
                          l.format);
  GNode *prev = nullptr;
  /* A recording tap copies its neighbour's output for the Scope page: a
   * row of its own would only repeat that one. */
  for (VornNode *child = node->children; child; child = child->next)
    if (!VORN_IS_TAP (child))
      prev = add_rows (l, child, row, prev);
  return row;
}

} // namespace

guint
zelm_gen_view_fill (ZelmWaveTree *tree, VornSynth *settings, VornInst *inst, guint8 note,
                    double hold, double length)
{
  g_return_val_if_fail (ZELM_IS_WAVE_TREE (tree), 0);
  g_return_val_if_fail (!settings || VORN_IS_SYNTH (settings), 0);
  g_return_val_if_fail (VORN_IS_INST (inst), 0);

  Settings set;
  if (settings)
    vorn_synth_get_render_props (settings, &set.rate, &set.speakers, &set.format);
  set.speakers = std::max (set.speakers, 1u);

  GNode *root = zelm_wave_tree_get_nodes (tree);
  while (root->children)
    zelm_wave_tree_remove_wave (tree, root->children);

  Recording rec;
  const guint frags = record_note (rec, set, inst, note, std::max (hold, 0.0),
                                   std::max (length, 0.0));
  Layout l { tree, {}, frags, guint (std::lround (hold * set.rate / VORN_FRAGMENT_SIZE)),
             set.format };
  /* The generators are gone by now; their nodes are the instrument's. */
  for (auto &[gen, c] : rec.captures)
    l.by_node.emplace (c.node, &c);
  add_rows (l, VORN_NODE (inst), nullptr, nullptr);
  gtk_widget_queue_draw (GTK_WIDGET (tree));
  return frags * VORN_FRAGMENT_SIZE;
}

namespace {

struct View {
  VornInst *inst;
  VornSynth *settings;
  ZelmWaveTree *tree;
  GtkSpinButton *note;
};

void
view_free (gpointer data)
{
  auto *v = static_cast<View *> (data);
  g_clear_object (&v->inst);
  g_clear_object (&v->settings);
  g_free (v);
}

void
render_view (View *v)
{
  zelm_gen_view_fill (v->tree, v->settings, v->inst,
                      guint8 (gtk_spin_button_get_value_as_int (v->note)), HOLD_SECONDS,
                      LENGTH_SECONDS);
}

void
on_note_changed (GtkSpinButton *, gpointer data)
{
  render_view (static_cast<View *> (data));
}

void
on_refresh (GtkButton *, gpointer data)
{
  render_view (static_cast<View *> (data));
}

/* Escape and Ctrl+W close it, as they close a dialog. */
gboolean
on_key_press (GtkWidget *window, GdkEventKey *event, gpointer)
{
  const guint mods = event->state & gtk_accelerator_get_default_mod_mask ();
  if ((event->keyval == GDK_KEY_Escape && !mods)
      || (gdk_keyval_to_lower (event->keyval) == GDK_KEY_w && mods == GDK_CONTROL_MASK))
    {
      gtk_widget_destroy (window);
      return TRUE;
    }
  return FALSE;
}

View *
view_of (GtkWidget *window)
{
  return static_cast<View *> (g_object_get_data (G_OBJECT (window), "zelm-gen-view"));
}

} // namespace

GtkWidget *
zelm_gen_view_window_new (GtkWindow *parent, VornSynth *settings, VornInst *inst)
{
  g_return_val_if_fail (!parent || GTK_IS_WINDOW (parent), nullptr);
  g_return_val_if_fail (!settings || VORN_IS_SYNTH (settings), nullptr);
  g_return_val_if_fail (VORN_IS_INST (inst), nullptr);

  GtkWidget *win = gtk_window_new (GTK_WINDOW_TOPLEVEL);
  g_autofree char *name = nullptr;
  g_object_get (inst, "name", &name, nullptr);
  gtk_window_set_title (GTK_WINDOW (win), "Generator Outputs");
  gtk_window_set_default_size (GTK_WINDOW (win), 960, 640);
  if (parent)
    {
      gtk_window_set_transient_for (GTK_WINDOW (win), parent);
      gtk_window_set_destroy_with_parent (GTK_WINDOW (win), TRUE);
    }

  auto *v = g_new0 (View, 1);
  v->inst = VORN_INST (g_object_ref (inst));
  v->settings = settings ? VORN_SYNTH (g_object_ref (settings)) : nullptr;
  g_object_set_data_full (G_OBJECT (win), "zelm-gen-view", v, view_free);

  GtkWidget *box = gtk_box_new (GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget *bar = gtk_box_new (GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_container_set_border_width (GTK_CONTAINER (bar), 6);

  GtkWidget *title = gtk_label_new (name);
  gtk_widget_set_margin_end (title, 12);
  gtk_box_pack_start (GTK_BOX (bar), title, FALSE, FALSE, 0);

  GtkWidget *label = gtk_label_new_with_mnemonic ("_Note");
  GtkWidget *spin = gtk_spin_button_new_with_range (0, 127, 1);
  const double root = std::round (vorn_inst_get_root_note (inst));
  gtk_spin_button_set_value (GTK_SPIN_BUTTON (spin), std::clamp (root, 0.0, 127.0));
  gtk_label_set_mnemonic_widget (GTK_LABEL (label), spin);
  gtk_box_pack_start (GTK_BOX (bar), label, FALSE, FALSE, 0);
  gtk_box_pack_start (GTK_BOX (bar), spin, FALSE, FALSE, 0);

  GtkWidget *refresh = gtk_button_new_from_icon_name ("view-refresh", GTK_ICON_SIZE_BUTTON);
  gtk_widget_set_tooltip_text (refresh, "Render again (after editing the instrument)");
  gtk_box_pack_start (GTK_BOX (bar), refresh, FALSE, FALSE, 0);

  GtkWidget *hint = gtk_label_new ("Wheel: rows \u00b7 Shift+Wheel: time \u00b7 Ctrl+Wheel: zoom");
  gtk_style_context_add_class (gtk_widget_get_style_context (hint), "dim-label");
  gtk_box_pack_end (GTK_BOX (bar), hint, FALSE, FALSE, 0);

  GtkWidget *tree = zelm_wave_tree_new ();
  gtk_widget_set_hexpand (tree, TRUE);
  gtk_widget_set_vexpand (tree, TRUE);
  gtk_box_pack_start (GTK_BOX (box), bar, FALSE, FALSE, 0);
  gtk_box_pack_start (GTK_BOX (box), tree, TRUE, TRUE, 0);
  gtk_container_add (GTK_CONTAINER (win), box);

  v->tree = ZELM_WAVE_TREE (tree);
  /* Whole notes at first; Control + wheel zooms in to the samples. */
  zelm_wave_tree_set_hscale (v->tree, INITIAL_HSCALE);
  v->note = GTK_SPIN_BUTTON (spin);
  render_view (v);
  g_signal_connect (spin, "value-changed", G_CALLBACK (on_note_changed), v);
  g_signal_connect (refresh, "clicked", G_CALLBACK (on_refresh), v);
  g_signal_connect (win, "key-press-event", G_CALLBACK (on_key_press), nullptr);

  gtk_widget_show_all (win);
  return win;
}

ZelmWaveTree *
zelm_gen_view_window_get_tree (GtkWidget *window)
{
  g_return_val_if_fail (GTK_IS_WINDOW (window), nullptr);
  View *v = view_of (window);
  return v ? v->tree : nullptr;
}

GtkSpinButton *
zelm_gen_view_window_get_note_button (GtkWidget *window)
{
  g_return_val_if_fail (GTK_IS_WINDOW (window), nullptr);
  View *v = view_of (window);
  return v ? v->note : nullptr;
}
