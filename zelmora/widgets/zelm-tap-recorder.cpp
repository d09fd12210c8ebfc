/* zelm-tap-recorder.cpp: oscilloscope rows of the master output and voice taps */
#include "zelm-tap-recorder.h"

#include "vorn-inst.h"
#include "vorn-list.h"
#include "vorn-wave.h"
#include "zelm-tap-rows.h"
#include "zelm-tap-selector.h"
#include "zelm-wave-scope.h"

#include <algorithm>
#include <new>
#include <vector>

enum {
  PROP_0,
  PROP_SYNTH,
  PROP_PAUSE,
  PROP_MAX_VOICES,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

#define DEFAULT_MAX_VOICES 10
#define Y_ZOOM_DEFAULT 1.0

namespace {

/* One oscilloscope row and what it is bound to. */
struct ScopeRow {
  ZelmTapRecorder *recorder;
  guint id; /* survives reordering; dialogs find their row by it */
  GtkWidget *box;
  GtkWidget *scope;
  GtkWidget *label;
  GtkWidget *slider;
  GtkWidget *up, *down;
  guint64 start, end; /* sample times held, from the last info update */
  guint64 origin;     /* master rows: sample time of the tap's frame 0 */
  bool origin_known;
  VornQueue *queue;
  VornTapGen *gen;
  guint8 channel;
  bool follows_master; /* rebound when the synthesizer replaces its master */
};

} // namespace

struct _ZelmTapRecorder {
  GtkBox parent_instance;

  VornSynth *synth;
  gulong master_notify_id;
  VornQueue *master_queue;
  gint master_changed; /* atomic: set from any thread, cleared by process */

  std::vector<ScopeRow *> rows;
  guint next_row_id;
  GtkWidget *grid;
  GtkWidget *scrollbar;
  gulong scroll_handler;
  GtkWidget *pause_button;
  GtkWidget *status;
  GtkWidget *selector;
  guint selector_row;
  guint info_idle;

  ZelmTapVoices voices; /* voice queues */

  gboolean pause;  /* requested */
  gboolean paused; /* confirmed by the synthesizer */
  guint64 earliest, latest;
  int max_len;
};

G_DEFINE_FINAL_TYPE (ZelmTapRecorder, zelm_tap_recorder, GTK_TYPE_BOX)


/* The first tap generator of @queue (the master's is its speakers tap). */
static VornTapGen *
first_tap (VornQueue *queue)
{
  for (VornGen *gen = queue ? vorn_queue_get_gens (queue) : nullptr; gen; gen = gen->next)
    if (VORN_IS_TAP_GEN (gen))
      return VORN_TAP_GEN (gen);
  return nullptr;
}

static int
row_index (ZelmTapRecorder *recorder, const ScopeRow *row)
{
  auto it = std::find (recorder->rows.begin (), recorder->rows.end (), row);
  return it == recorder->rows.end () ? -1 : int (it - recorder->rows.begin ());
}

static bool
row_bound (const ScopeRow *row)
{
  return row->gen && row->channel < guint (row->gen->channels);
}

/* The master tap records, and will until the recorder hears otherwise. */
static bool
measuring (ZelmTapRecorder *recorder)
{
  return !recorder->paused && !recorder->pause;
}

static guint64
load_start_time (VornQueue *queue)
{
  return __atomic_load_n (&queue->start_time, __ATOMIC_ACQUIRE);
}

/* Sample time of the tap's frame 0.  A voice's tap starts with the voice,
 * whose start time the renderer sets on attachment.  The master's start
 * time is the time after the last render call instead, and its tap starts
 * over on every resume, so its origin is measured as start time minus
 * frames written while it records.  Reading the time first can only
 * underestimate (the render thread counts frames before it publishes the
 * time), so the largest measurement wins.  While a pause or resume is on
 * its way the tap may stand still as the time runs on: no measuring then. */
static guint64
row_origin (ScopeRow *row, bool measure)
{
  if (!row->queue)
    return 0;
  if (row->queue->voice_id)
    return load_start_time (row->queue);
  if (measure || !row->origin_known)
    {
      const guint64 now = load_start_time (row->queue);
      guint64 oldest = 0;
      const guint64 frames = vorn_tap_gen_get_data_size_time (row->gen, &oldest) + oldest;
      const guint64 origin = now > frames ? now - frames : 0;
      if (!measure)
        return origin; /* a guess, until a measurement can be made */
      if (!row->origin_known || origin > row->origin)
        row->origin = origin;
      row->origin_known = true;
    }
  return row->origin;
}

/* ---- display -------------------------------------------------------------- */

static void
update_label (ScopeRow *row)
{
  if (!row->gen)
    {
      gtk_label_set_text (GTK_LABEL (row->label), "No tap");
      return;
    }
  g_autofree char *node = nullptr;
  if (row->queue && VORN_IS_INST (row->queue->node))
    g_object_get (row->queue->node, "name", &node, nullptr);
  g_autofree char *wave = nullptr;
  VornNode *tap = row->gen->parent_instance.node;
  if (tap && VORN_IS_WAVE (tap->prev))
    g_object_get (tap->prev, "name", &wave, nullptr);

  GEnumClass *klass = G_ENUM_CLASS (g_type_class_ref (VORN_TYPE_ATTRIB_TYPE));
  const GEnumValue *attrib = g_enum_get_value (klass, int (row->gen->attrib));
  GString *text = g_string_new (nullptr);
  if (row->queue && row->queue->voice_id)
    g_string_append_printf (text, "Voice %u  ", row->queue->voice_id);
  g_string_append (text, node ? node : "Main");
  if (wave && *wave)
    g_string_append_printf (text, " · %s", wave);
  g_string_append_printf (text, " · %s · channel %u", attrib ? attrib->value_nick : "",
                          guint (row->channel));
  g_type_class_unref (klass);
  gtk_label_set_text (GTK_LABEL (row->label), text->str);
  g_string_free (text, TRUE);
}

/* The newest frames, right-aligned while the tap holds less than a scope. */
static void
live_update (ScopeRow *row)
{
  auto *scope = ZELM_WAVE_SCOPE (row->scope);
  int len = 0;
  double *buffer = zelm_wave_scope_get_buffer (scope, &len);
  if (!row_bound (row) || len <= 0)
    {
      zelm_wave_scope_update (scope, 0, 0);
      return;
    }
  row_origin (row, measuring (row->recorder));
  int count = vorn_tap_gen_read (row->gen, buffer, len, row->channel, -len, nullptr);
  int offset = 0;
  if (count == 0)
    {
      const int held =
        int (MIN (vorn_tap_gen_get_data_size_time (row->gen, nullptr), guint64 (len)));
      if (held > 0)
        count = vorn_tap_gen_read (row->gen, buffer, held, row->channel, -held, nullptr);
      offset = len - count;
    }
  zelm_wave_scope_update (scope, count, offset);
}

/* While paused: the window of sample times the scrollbar selects, the same
 * in every row. */
static void
paused_update (ZelmTapRecorder *recorder)
{
  GtkAdjustment *adj = gtk_range_get_adjustment (GTK_RANGE (recorder->scrollbar));
  const guint64 pos = recorder->earliest + guint64 (gtk_adjustment_get_value (adj) + 0.5);

  for (ScopeRow *row : recorder->rows)
    {
      auto *scope = ZELM_WAVE_SCOPE (row->scope);
      int len = 0;
      double *buffer = zelm_wave_scope_get_buffer (scope, &len);
      int count = 0, offset = 0;
      if (row_bound (row))
        {
          /* Voice taps keep recording during a pause, so their oldest
           * frame moves: address frames by absolute time, freshly. */
          guint64 oldest = 0, frame = 0;
          vorn_tap_gen_get_data_size_time (row->gen, &oldest);
          oldest += row_origin (row, false);
          count = zelm_tap_window (pos, len, { row->start, row->end }, oldest, &offset, &frame);
          if (count)
            count = vorn_tap_gen_read (row->gen, buffer, count, row->channel, int (frame),
                                       nullptr);
        }
      zelm_wave_scope_update (scope, count, offset);
    }
}

static void
data_update (ZelmTapRecorder *recorder)
{
  if (recorder->paused)
    paused_update (recorder);
  else
    for (ScopeRow *row : recorder->rows)
      live_update (row);
}

/* Sets the scrollbar without the data update its handler would run. */
static void
configure_scrollbar (ZelmTapRecorder *recorder, double value, double upper, double page)
{
  GtkAdjustment *adj = gtk_range_get_adjustment (GTK_RANGE (recorder->scrollbar));
  g_signal_handler_block (adj, recorder->scroll_handler);
  gtk_adjustment_configure (adj, value, 0, upper, page > 0 ? 1 : 0, page > 0 ? 10 : 0, page);
  g_signal_handler_unblock (adj, recorder->scroll_handler);
}

/* Spans of every row in sample time; the scrollbar then covers them all,
 * its page one scope wide, scrolled to the newest frames unless @keep. */
static void
info_update (ZelmTapRecorder *recorder, bool keep = false)
{
  recorder->max_len = 0;
  std::vector<ZelmTapSpan> spans;
  for (ScopeRow *row : recorder->rows)
    {
      recorder->max_len = MAX (recorder->max_len, ZELM_WAVE_SCOPE (row->scope)->len);
      row->start = row->end = 0;
      if (!row_bound (row))
        continue;
      guint64 oldest = 0;
      const guint64 held = vorn_tap_gen_get_data_size_time (row->gen, &oldest);
      row->start = oldest + row_origin (row, false);
      row->end = row->start + held;
      spans.push_back ({ row->start, row->end });
    }
  zelm_tap_spans_range (spans.data (), int (spans.size ()), &recorder->earliest,
                        &recorder->latest);

  if (recorder->paused)
    {
      const double span = double (recorder->latest - recorder->earliest);
      GtkAdjustment *adj = gtk_range_get_adjustment (GTK_RANGE (recorder->scrollbar));
      const double value = keep ? gtk_adjustment_get_value (adj) : span - recorder->max_len;
      configure_scrollbar (recorder, value, span, recorder->max_len);
    }
  data_update (recorder);
}

static gboolean
info_idle_cb (gpointer data)
{
  auto *recorder = static_cast<ZelmTapRecorder *> (data);
  recorder->info_idle = 0;
  if (recorder->paused)
    info_update (recorder, true);
  return G_SOURCE_REMOVE;
}

/* A resize while paused changes the window length: lay out again once the
 * allocation is complete. */
static void
scope_size_allocate (GtkWidget *, GdkRectangle *, ScopeRow *row)
{
  ZelmTapRecorder *recorder = row->recorder;
  if (recorder->paused && !recorder->info_idle)
    recorder->info_idle = g_idle_add (info_idle_cb, recorder);
}

static void
scrollbar_changed (GtkAdjustment *, ZelmTapRecorder *recorder)
{
  if (recorder->paused)
    paused_update (recorder);
}

/* ---- rows ----------------------------------------------------------------- */

static void
bind_row (ZelmTapRecorder *recorder, ScopeRow *row, VornQueue *queue, VornTapGen *gen,
          guint channel)
{
  g_set_object (&row->queue, queue);
  g_set_object (&row->gen, gen);
  row->channel = guint8 (MIN (channel, 255u));
  row->follows_master = queue && queue == recorder->master_queue;
  row->origin_known = false;
  if (row_bound (row))
    row_origin (row, measuring (recorder));
  update_label (row);
}

/* Grid positions and the sensitivity of the move buttons follow the order. */
static void
relayout_rows (ZelmTapRecorder *recorder)
{
  const int n = int (recorder->rows.size ());
  for (int i = 0; i < n; i++)
    {
      ScopeRow *row = recorder->rows[gsize (i)];
      gtk_container_child_set (GTK_CONTAINER (recorder->grid), row->box, "top-attach", i, nullptr);
      gtk_widget_set_sensitive (row->up, zelm_tap_row_can_move (n, i, -1));
      gtk_widget_set_sensitive (row->down, zelm_tap_row_can_move (n, i, 1));
    }
}

static void
free_row (ScopeRow *row)
{
  g_clear_object (&row->queue);
  g_clear_object (&row->gen);
  delete row;
}

static void
selector_response (GtkDialog *dialog, int response, ZelmTapRecorder *recorder)
{
  if (response == GTK_RESPONSE_OK)
    {
      VornQueue *queue = nullptr;
      guint channel = 0;
      VornTapGen *gen = zelm_tap_selector_get_selected_tap (ZELM_TAP_SELECTOR (dialog), &queue,
                                                            &channel);
      int index = -1;
      for (gsize i = 0; i < recorder->rows.size (); i++)
        if (recorder->rows[i]->id == recorder->selector_row)
          index = int (i);
      if (gen && index >= 0)
        zelm_tap_recorder_set_scope_tap (recorder, index, queue, gen, channel);
      g_clear_object (&queue);
      g_clear_object (&gen);
    }
  gtk_widget_destroy (GTK_WIDGET (dialog));
}

static void
selector_destroyed (GtkWidget *, ZelmTapRecorder *recorder)
{
  recorder->selector = nullptr;
}

static void
find_clicked (GtkButton *, ScopeRow *row)
{
  ZelmTapRecorder *recorder = row->recorder;
  if (recorder->selector)
    gtk_widget_destroy (recorder->selector);

  GList *list = vorn_list_duplicate (recorder->voices.list);
  if (recorder->master_queue)
    list = vorn_list_insert (list, recorder->master_queue, 0);
  GtkWidget *selector = zelm_tap_selector_new (list, row->gen, row->channel);
  vorn_list_free (list);

  GtkWidget *toplevel = gtk_widget_get_toplevel (GTK_WIDGET (recorder));
  if (GTK_IS_WINDOW (toplevel))
    gtk_window_set_transient_for (GTK_WINDOW (selector), GTK_WINDOW (toplevel));
  recorder->selector = selector;
  recorder->selector_row = row->id;
  g_signal_connect (selector, "response", G_CALLBACK (selector_response), recorder);
  g_signal_connect (selector, "destroy", G_CALLBACK (selector_destroyed), recorder);
  gtk_widget_show (selector);
}

static void
move_row (ScopeRow *row, int delta)
{
  ZelmTapRecorder *recorder = row->recorder;
  if (zelm_tap_row_move (reinterpret_cast<gpointer *> (recorder->rows.data ()),
                         int (recorder->rows.size ()), row_index (recorder, row), delta))
    relayout_rows (recorder);
}

static void
up_clicked (GtkButton *, ScopeRow *row)
{
  move_row (row, -1);
}

static void
down_clicked (GtkButton *, ScopeRow *row)
{
  move_row (row, 1);
}

static void
delete_clicked (GtkButton *, ScopeRow *row)
{
  zelm_tap_recorder_remove_scope (row->recorder, row_index (row->recorder, row));
}

static void
y_zoom_changed (GtkRange *range, ScopeRow *row)
{
  g_object_set (row->scope, "y-zoom", gtk_range_get_value (range), nullptr);
}

/* Screen readers say @name; left alone they would say the icon's or the
 * value's. */
static void
set_accessible_name (GtkWidget *widget, const char *name)
{
  atk_object_set_name (gtk_widget_get_accessible (widget), name);
}

static GtkWidget *
icon_button (const char *icon, const char *name, const char *tooltip)
{
  GtkWidget *button = gtk_button_new_from_icon_name (icon, GTK_ICON_SIZE_SMALL_TOOLBAR);
  set_accessible_name (button, name);
  gtk_widget_set_tooltip_text (button, tooltip);
  gtk_button_set_relief (GTK_BUTTON (button), GTK_RELIEF_NONE);
  gtk_widget_set_focus_on_click (button, FALSE);
  return button;
}

static ScopeRow *
new_row (ZelmTapRecorder *recorder)
{
  auto *row = new ScopeRow ();
  row->recorder = recorder;
  row->id = ++recorder->next_row_id;

  row->box = gtk_box_new (GTK_ORIENTATION_HORIZONTAL, 4);
  gtk_widget_set_name (row->box, "ScopeRow");
  gtk_widget_set_hexpand (row->box, TRUE);
  gtk_widget_set_vexpand (row->box, TRUE);

  GtkWidget *buttons = gtk_box_new (GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget *find = icon_button ("edit-find", "Choose tap", "Select the tap to show");
  row->up = icon_button ("go-up", "Move scope up", "Move this scope up");
  row->down = icon_button ("go-down", "Move scope down", "Move this scope down");
  GtkWidget *del = icon_button ("edit-delete", "Remove scope", "Remove this scope");
  g_signal_connect (find, "clicked", G_CALLBACK (find_clicked), row);
  g_signal_connect (row->up, "clicked", G_CALLBACK (up_clicked), row);
  g_signal_connect (row->down, "clicked", G_CALLBACK (down_clicked), row);
  g_signal_connect (del, "clicked", G_CALLBACK (delete_clicked), row);
  for (GtkWidget *b : { find, row->up, row->down, del })
    gtk_box_pack_start (GTK_BOX (buttons), b, FALSE, FALSE, 0);
  gtk_box_pack_start (GTK_BOX (row->box), buttons, FALSE, FALSE, 0);

  /* The binding is written over the trace's top left corner. */
  GtkWidget *overlay = gtk_overlay_new ();
  row->scope = zelm_wave_scope_new ();
  set_accessible_name (row->scope, "Oscilloscope");
  gtk_container_add (GTK_CONTAINER (overlay), row->scope);
  row->label = gtk_label_new (nullptr);
  gtk_widget_set_name (row->label, "ScopeLabel");
  gtk_widget_set_halign (row->label, GTK_ALIGN_START);
  gtk_widget_set_valign (row->label, GTK_ALIGN_START);
  gtk_widget_set_margin_start (row->label, 6);
  gtk_widget_set_margin_top (row->label, 3);
  gtk_style_context_add_class (gtk_widget_get_style_context (row->label), "dim-label");
  gtk_overlay_add_overlay (GTK_OVERLAY (overlay), row->label);
  gtk_overlay_set_overlay_pass_through (GTK_OVERLAY (overlay), row->label, TRUE);
  gtk_widget_set_hexpand (overlay, TRUE);
  gtk_box_pack_start (GTK_BOX (row->box), overlay, TRUE, TRUE, 0);
  g_signal_connect_after (row->scope, "size-allocate", G_CALLBACK (scope_size_allocate), row);

  row->slider = gtk_scale_new_with_range (GTK_ORIENTATION_VERTICAL, 0.1, 100.0, 1.0);
  gtk_range_set_inverted (GTK_RANGE (row->slider), TRUE);
  gtk_scale_set_digits (GTK_SCALE (row->slider), 1);
  gtk_scale_set_value_pos (GTK_SCALE (row->slider), GTK_POS_BOTTOM);
  gtk_widget_set_tooltip_text (row->slider, "Vertical zoom");
  set_accessible_name (row->slider, "Vertical zoom");
  g_signal_connect (row->slider, "value-changed", G_CALLBACK (y_zoom_changed), row);
  gtk_range_set_value (GTK_RANGE (row->slider), Y_ZOOM_DEFAULT);
  gtk_box_pack_start (GTK_BOX (row->box), row->slider, FALSE, FALSE, 0);

  update_label (row);
  gtk_widget_show_all (row->box);
  return row;
}

/* ---- toolbar and life cycle ---------------------------------------------- */

static void
master_queue_notify (GObject *, GParamSpec *, gpointer data)
{
  g_atomic_int_set (&static_cast<ZelmTapRecorder *> (data)->master_changed, 1);
}

static void
set_pause (ZelmTapRecorder *recorder, gboolean pause)
{
  pause = pause != FALSE;
  if (pause == recorder->pause)
    return;
  recorder->pause = pause;
  if (recorder->synth)
    vorn_synth_tap_pause (recorder->synth, pause);
  g_object_notify_by_pspec (G_OBJECT (recorder), properties[PROP_PAUSE]);
}

static void
add_clicked (GtkButton *, ZelmTapRecorder *recorder)
{
  zelm_tap_recorder_add_scope (recorder);
}

static void
pause_clicked (GtkButton *, ZelmTapRecorder *recorder)
{
  set_pause (recorder, !recorder->paused);
}

static void
zelm_tap_recorder_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmTapRecorder *recorder = ZELM_TAP_RECORDER (object);

  switch (prop_id)
    {
    case PROP_SYNTH:
      g_value_set_object (value, recorder->synth);
      break;
    case PROP_PAUSE:
      g_value_set_boolean (value, recorder->pause);
      break;
    case PROP_MAX_VOICES:
      g_value_set_int (value, recorder->voices.max);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
zelm_tap_recorder_set_property (GObject *object, guint prop_id, const GValue *value,
                                GParamSpec *pspec)
{
  ZelmTapRecorder *recorder = ZELM_TAP_RECORDER (object);

  switch (prop_id)
    {
    case PROP_SYNTH:
      recorder->synth = VORN_SYNTH (g_value_dup_object (value));
      if (recorder->synth)
        {
          g_object_get (recorder->synth, "master-queue", &recorder->master_queue, nullptr);
          recorder->master_notify_id =
            g_signal_connect (recorder->synth, "notify::master-queue",
                              G_CALLBACK (master_queue_notify), recorder);
        }
      break;
    case PROP_PAUSE:
      set_pause (recorder, g_value_get_boolean (value));
      break;
    case PROP_MAX_VOICES:
      {
        const int max = g_value_get_int (value);
        if (max == recorder->voices.max)
          break;
        zelm_tap_voices_set_max (&recorder->voices, max);
        g_object_notify_by_pspec (object, pspec);
      }
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
    }
}

static void
zelm_tap_recorder_constructed (GObject *object)
{
  ZelmTapRecorder *recorder = ZELM_TAP_RECORDER (object);

  G_OBJECT_CLASS (zelm_tap_recorder_parent_class)->constructed (object);
  zelm_tap_recorder_add_scope (recorder);
  zelm_tap_recorder_add_scope (recorder);
  if (VornTapGen *gen = first_tap (recorder->master_queue))
    {
      zelm_tap_recorder_set_scope_tap (recorder, 0, recorder->master_queue, gen, 0);
      zelm_tap_recorder_set_scope_tap (recorder, 1, recorder->master_queue, gen, 1);
    }
}

static void
zelm_tap_recorder_dispose (GObject *object)
{
  ZelmTapRecorder *recorder = ZELM_TAP_RECORDER (object);

  if (recorder->selector)
    gtk_widget_destroy (recorder->selector);
  g_clear_handle_id (&recorder->info_idle, g_source_remove);
  if (recorder->synth && recorder->master_notify_id)
    g_clear_signal_handler (&recorder->master_notify_id, recorder->synth);
  /* The row widgets go with the grid; their handlers hold row pointers, so
   * the rows are taken down first. */
  for (ScopeRow *row : recorder->rows)
    {
      g_signal_handlers_disconnect_by_data (row->scope, row);
      gtk_widget_destroy (row->box);
      free_row (row);
    }
  recorder->rows.clear ();
  zelm_tap_voices_clear (&recorder->voices);
  g_clear_object (&recorder->master_queue);
  g_clear_object (&recorder->synth);
  G_OBJECT_CLASS (zelm_tap_recorder_parent_class)->dispose (object);
}

static void
zelm_tap_recorder_finalize (GObject *object)
{
  ZELM_TAP_RECORDER (object)->rows.~vector ();
  G_OBJECT_CLASS (zelm_tap_recorder_parent_class)->finalize (object);
}

static void
zelm_tap_recorder_class_init (ZelmTapRecorderClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->get_property = zelm_tap_recorder_get_property;
  object_class->set_property = zelm_tap_recorder_set_property;
  object_class->constructed = zelm_tap_recorder_constructed;
  object_class->dispose = zelm_tap_recorder_dispose;
  object_class->finalize = zelm_tap_recorder_finalize;

  properties[PROP_SYNTH] =
    g_param_spec_object ("synth", "Synth", "Synthesizer", VORN_TYPE_SYNTH,
                         GParamFlags (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY
                                      | G_PARAM_STATIC_STRINGS));
  properties[PROP_PAUSE] =
    g_param_spec_boolean ("pause", "Pause", "Tap recording pause enable", FALSE,
                          GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY
                                       | G_PARAM_STATIC_STRINGS));
  properties[PROP_MAX_VOICES] =
    g_param_spec_int ("max-voices", "MaxVoices", "Max number of captured voices", 0, 100,
                      DEFAULT_MAX_VOICES,
                      GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY
                                   | G_PARAM_STATIC_STRINGS));
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
zelm_tap_recorder_init (ZelmTapRecorder *recorder)
{
  new (&recorder->rows) std::vector<ScopeRow *> ();
  recorder->voices.max = DEFAULT_MAX_VOICES;

  gtk_orientable_set_orientation (GTK_ORIENTABLE (recorder), GTK_ORIENTATION_VERTICAL);
  gtk_box_set_spacing (GTK_BOX (recorder), 4);

  GtkWidget *toolbar = gtk_box_new (GTK_ORIENTATION_HORIZONTAL, 2);
  GtkWidget *add = icon_button ("list-add", "Add scope", "Add a scope");
  recorder->pause_button = icon_button ("media-playback-pause", "Pause recording",
                                        "Pause recording");
  g_signal_connect (add, "clicked", G_CALLBACK (add_clicked), recorder);
  g_signal_connect (recorder->pause_button, "clicked", G_CALLBACK (pause_clicked), recorder);
  recorder->status = gtk_label_new (nullptr);
  gtk_style_context_add_class (gtk_widget_get_style_context (recorder->status), "dim-label");
  gtk_box_pack_start (GTK_BOX (toolbar), add, FALSE, FALSE, 0);
  gtk_box_pack_start (GTK_BOX (toolbar), recorder->pause_button, FALSE, FALSE, 0);
  gtk_box_pack_start (GTK_BOX (toolbar), recorder->status, FALSE, FALSE, 6);
  gtk_box_pack_start (GTK_BOX (recorder), toolbar, FALSE, FALSE, 0);

  recorder->grid = gtk_grid_new ();
  gtk_grid_set_row_homogeneous (GTK_GRID (recorder->grid), TRUE);
  gtk_grid_set_column_homogeneous (GTK_GRID (recorder->grid), TRUE);
  gtk_grid_set_row_spacing (GTK_GRID (recorder->grid), 4);
  gtk_widget_set_hexpand (recorder->grid, TRUE);
  gtk_widget_set_vexpand (recorder->grid, TRUE);
  gtk_box_pack_start (GTK_BOX (recorder), recorder->grid, TRUE, TRUE, 0);

  recorder->scrollbar = gtk_scrollbar_new (GTK_ORIENTATION_HORIZONTAL, nullptr);
  set_accessible_name (recorder->scrollbar, "Recorded time");
  recorder->scroll_handler =
    g_signal_connect (gtk_range_get_adjustment (GTK_RANGE (recorder->scrollbar)), "value-changed",
                      G_CALLBACK (scrollbar_changed), recorder);
  gtk_widget_set_sensitive (recorder->scrollbar, FALSE);
  gtk_box_pack_start (GTK_BOX (recorder), recorder->scrollbar, FALSE, FALSE, 0);
  gtk_widget_show_all (toolbar);
  gtk_widget_show (recorder->grid);
  gtk_widget_show (recorder->scrollbar);
}

/* ---- public --------------------------------------------------------------- */

GtkWidget *
zelm_tap_recorder_new (VornSynth *synth)
{
  return GTK_WIDGET (g_object_new (ZELM_TYPE_TAP_RECORDER, "synth", synth, nullptr));
}

void
zelm_tap_recorder_process (ZelmTapRecorder *recorder)
{
  g_return_if_fail (ZELM_IS_TAP_RECORDER (recorder));
  if (recorder->paused)
    return;

  if (g_atomic_int_compare_and_exchange (&recorder->master_changed, 1, 0) && recorder->synth)
    {
      VornQueue *master = nullptr;
      g_object_get (recorder->synth, "master-queue", &master, nullptr);
      g_clear_object (&recorder->master_queue);
      recorder->master_queue = master;
      VornTapGen *gen = first_tap (master);
      /* A stopped synthesizer has no master: the rows keep the old tap and
       * follow the next master. */
      if (gen)
        for (gsize i = 0; i < recorder->rows.size (); i++)
          if (recorder->rows[i]->follows_master)
            zelm_tap_recorder_set_scope_tap (recorder, int (i), master, gen,
                                             recorder->rows[i]->channel);
    }

  for (ScopeRow *row : recorder->rows)
    live_update (row);
}

void
zelm_tap_recorder_add_voice_queue (ZelmTapRecorder *recorder, VornQueue *queue)
{
  g_return_if_fail (ZELM_IS_TAP_RECORDER (recorder));
  g_return_if_fail (VORN_IS_QUEUE (queue));
  if (recorder->paused || !first_tap (queue))
    return;


  /* A row follows the newest voice of the tap it shows: the same generator
   * (a queue seen again) or the same tap node in a new voice. */
  for (gsize i = 0; i < recorder->rows.size (); i++)
    {
      ScopeRow *row = recorder->rows[i];
      if (!row->gen || row->follows_master)
        continue;
      for (VornGen *gen = vorn_queue_get_gens (queue); gen; gen = gen->next)
        if (VORN_IS_TAP_GEN (gen)
            && (gen == &row->gen->parent_instance
                || (gen->node && gen->node == row->gen->parent_instance.node)))
          {
            zelm_tap_recorder_set_scope_tap (recorder, int (i), queue, VORN_TAP_GEN (gen),
                                             row->channel);
            break;
          }
    }
  zelm_tap_voices_add (&recorder->voices, queue);
}

void
zelm_tap_recorder_pause_completed (ZelmTapRecorder *recorder, gboolean paused)
{
  g_return_if_fail (ZELM_IS_TAP_RECORDER (recorder));

  recorder->paused = paused != FALSE;
  if (recorder->pause != recorder->paused)
    {
      recorder->pause = recorder->paused;
      g_object_notify_by_pspec (G_OBJECT (recorder), properties[PROP_PAUSE]);
    }

  const char *icon = recorder->paused ? "media-playback-start" : "media-playback-pause";
  GtkWidget *image = gtk_image_new_from_icon_name (icon, GTK_ICON_SIZE_SMALL_TOOLBAR);
  gtk_button_set_image (GTK_BUTTON (recorder->pause_button), image);
  const char *what = recorder->paused ? "Resume recording" : "Pause recording";
  gtk_widget_set_tooltip_text (recorder->pause_button, what);
  set_accessible_name (recorder->pause_button, what);
  gtk_label_set_text (GTK_LABEL (recorder->status),
                      recorder->paused ? "Paused: scroll back with the bar below" : "");

  if (recorder->paused && !recorder->rows.empty ())
    {
      info_update (recorder);
      gtk_widget_set_sensitive (recorder->scrollbar, TRUE);
    }
  else
    {
      /* The master tap starts over after a pause. */
      for (ScopeRow *row : recorder->rows)
        row->origin_known = false;
      configure_scrollbar (recorder, 0, 0, 0);
      gtk_widget_set_sensitive (recorder->scrollbar, FALSE);
    }
}

void
zelm_tap_recorder_add_scope (ZelmTapRecorder *recorder)
{
  g_return_if_fail (ZELM_IS_TAP_RECORDER (recorder));

  ScopeRow *row = new_row (recorder);
  recorder->rows.push_back (row);
  gtk_grid_attach (GTK_GRID (recorder->grid), row->box, 0, int (recorder->rows.size ()) - 1, 1, 1);
  relayout_rows (recorder);
}

void
zelm_tap_recorder_remove_scope (ZelmTapRecorder *recorder, int index)
{
  g_return_if_fail (ZELM_IS_TAP_RECORDER (recorder));
  if (index < 0 || index >= int (recorder->rows.size ()))
    return;

  ScopeRow *row = recorder->rows[gsize (index)];
  recorder->rows.erase (recorder->rows.begin () + index);
  g_signal_handlers_disconnect_by_data (row->scope, row);
  gtk_widget_destroy (row->box);
  free_row (row);
  relayout_rows (recorder);
  info_update (recorder);
}

void
zelm_tap_recorder_set_scope_tap (ZelmTapRecorder *recorder, int index, VornQueue *queue,
                                 VornTapGen *tapGen, guint channel)
{
  g_return_if_fail (ZELM_IS_TAP_RECORDER (recorder));
  g_return_if_fail (!queue || VORN_IS_QUEUE (queue));
  g_return_if_fail ((!queue && !tapGen) || VORN_IS_TAP_GEN (tapGen));
  if (index < 0 || index >= int (recorder->rows.size ()))
    return;

  bind_row (recorder, recorder->rows[gsize (index)], queue, tapGen, channel);
  info_update (recorder);
}
