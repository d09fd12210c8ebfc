/* zelm-tap-selector.cpp: dialog that picks a tap (queue, generator, channel) */
#include "zelm-tap-selector.h"

#include "vorn-inst.h"
#include "zelm-piano.h"

enum {
  PROP_0,
  PROP_QUEUE_LIST,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

struct _ZelmTapSelector {
  GtkDialog parent_instance;

  GList *queue_list; /* VornList of VornQueue */
  GtkListStore *store;
  GtkWidget *view;
};

G_DEFINE_FINAL_TYPE (ZelmTapSelector, zelm_tap_selector, GTK_TYPE_DIALOG)

static const char *
attrib_nick (VornAttribType attrib)
{
  GEnumClass *klass = G_ENUM_CLASS (g_type_class_ref (VORN_TYPE_ATTRIB_TYPE));
  const GEnumValue *value = g_enum_get_value (klass, int (attrib));
  /* Nicks are static strings of the registered type: valid after unref. */
  const char *nick = value ? value->value_nick : "";
  g_type_class_unref (klass);
  return nick;
}

static void
add_queue_rows (ZelmTapSelector *selector, VornQueue *queue)
{
  /* A voice says what plays: the instrument and the note. */
  g_autofree char *node_name = nullptr;
  if (VORN_IS_INST (queue->node))
    {
      g_autofree char *inst_name = nullptr;
      g_object_get (queue->node, "name", &inst_name, nullptr);
      char note[8];
      zelm_piano_note_name (queue->note, note, sizeof note);
      node_name = g_strdup_printf ("%s, %s", inst_name ? inst_name : "", note);
    }
  else
    node_name = g_strdup ("Main");

  for (VornGen *gen = vorn_queue_get_gens (queue); gen; gen = gen->next)
    {
      if (!VORN_IS_TAP_GEN (gen))
        continue;
      VornTapGen *tap = VORN_TAP_GEN (gen);

      /* A tap placed right after a node of an instrument (a wave, a
       * filter...) records it; the master's records the whole mix. */
      g_autofree char *wave_name = nullptr;
      if (VORN_IS_INST (queue->node) && gen->node && gen->node->prev)
        g_object_get (gen->node->prev, "name", &wave_name, nullptr);

      const int channels = tap->attrib == VORN_ATTRIB_TYPE_SPEAKERS ? MIN (tap->channels, 2) : 1;
      for (int c = 0; c < channels; c++)
        gtk_list_store_insert_with_values (
          selector->store, nullptr, -1, ZELM_TAP_SELECTOR_COL_VOICE_ID, int (queue->voice_id),
          ZELM_TAP_SELECTOR_COL_NODE, node_name ? node_name : "", ZELM_TAP_SELECTOR_COL_WAVE,
          wave_name ? wave_name : "", ZELM_TAP_SELECTOR_COL_ATTRIB, attrib_nick (tap->attrib),
          ZELM_TAP_SELECTOR_COL_QUEUE, queue, ZELM_TAP_SELECTOR_COL_TAP_GEN, tap,
          ZELM_TAP_SELECTOR_COL_CHANNEL, c, -1);
    }
}

static void
zelm_tap_selector_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmTapSelector *selector = ZELM_TAP_SELECTOR (object);

  if (prop_id == PROP_QUEUE_LIST)
    vorn_value_set_list (value, selector->queue_list);
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
zelm_tap_selector_set_property (GObject *object, guint prop_id, const GValue *value,
                                GParamSpec *pspec)
{
  ZelmTapSelector *selector = ZELM_TAP_SELECTOR (object);

  if (prop_id == PROP_QUEUE_LIST)
    {
      vorn_list_free (selector->queue_list);
      selector->queue_list = vorn_value_dup_list (value);
    }
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
zelm_tap_selector_constructed (GObject *object)
{
  ZelmTapSelector *selector = ZELM_TAP_SELECTOR (object);

  G_OBJECT_CLASS (zelm_tap_selector_parent_class)->constructed (object);
  for (GList *l = selector->queue_list; l; l = l->next)
    if (VORN_IS_QUEUE (l->data))
      add_queue_rows (selector, VORN_QUEUE (l->data));
}

static void
zelm_tap_selector_dispose (GObject *object)
{
  ZelmTapSelector *selector = ZELM_TAP_SELECTOR (object);

  g_clear_pointer (&selector->queue_list, vorn_list_free);
  g_clear_object (&selector->store);
  G_OBJECT_CLASS (zelm_tap_selector_parent_class)->dispose (object);
}

static void
row_activated (GtkTreeView *, GtkTreePath *, GtkTreeViewColumn *, ZelmTapSelector *selector)
{
  gtk_dialog_response (GTK_DIALOG (selector), GTK_RESPONSE_OK);
}

static void
zelm_tap_selector_class_init (ZelmTapSelectorClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->get_property = zelm_tap_selector_get_property;
  object_class->set_property = zelm_tap_selector_set_property;
  object_class->constructed = zelm_tap_selector_constructed;
  object_class->dispose = zelm_tap_selector_dispose;

  properties[PROP_QUEUE_LIST] =
    vorn_param_spec_list ("queue-list", "QueueList", "Voice queue list with tap recorders",
                          VORN_TYPE_QUEUE,
                          GParamFlags (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY
                                       | G_PARAM_STATIC_STRINGS));
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
zelm_tap_selector_init (ZelmTapSelector *selector)
{
  GtkWindow *window = GTK_WINDOW (selector);
  gtk_window_set_title (window, "Select tap recorder");
  gtk_window_set_modal (window, TRUE);
  gtk_window_set_default_size (window, 520, 320);
  gtk_window_set_destroy_with_parent (window, TRUE);
  gtk_dialog_add_button (GTK_DIALOG (selector), "Cancel", GTK_RESPONSE_CANCEL);
  gtk_dialog_add_button (GTK_DIALOG (selector), "OK", GTK_RESPONSE_OK);
  gtk_dialog_set_default_response (GTK_DIALOG (selector), GTK_RESPONSE_OK);

  selector->store = gtk_list_store_new (ZELM_TAP_SELECTOR_N_COLUMNS, G_TYPE_INT, G_TYPE_STRING,
                                        G_TYPE_STRING, G_TYPE_STRING, VORN_TYPE_QUEUE,
                                        VORN_TYPE_TAP_GEN, G_TYPE_INT);
  selector->view = gtk_tree_view_new_with_model (GTK_TREE_MODEL (selector->store));
  GtkTreeView *view = GTK_TREE_VIEW (selector->view);
  static const struct {
    const char *title;
    int column;
  } columns[] = {
    { "ID", ZELM_TAP_SELECTOR_COL_VOICE_ID },      { "Voice", ZELM_TAP_SELECTOR_COL_NODE },
    { "Wave", ZELM_TAP_SELECTOR_COL_WAVE },        { "Attribute", ZELM_TAP_SELECTOR_COL_ATTRIB },
    { "Channel", ZELM_TAP_SELECTOR_COL_CHANNEL },
  };
  for (const auto &c : columns)
    {
      GtkTreeViewColumn *column = gtk_tree_view_column_new_with_attributes (
        c.title, gtk_cell_renderer_text_new (), "text", c.column, nullptr);
      gtk_tree_view_column_set_resizable (column, TRUE);
      gtk_tree_view_column_set_expand (column, c.column == ZELM_TAP_SELECTOR_COL_NODE
                                                 || c.column == ZELM_TAP_SELECTOR_COL_WAVE);
      gtk_tree_view_append_column (view, column);
    }
  gtk_tree_selection_set_mode (gtk_tree_view_get_selection (view), GTK_SELECTION_BROWSE);
  g_signal_connect (view, "row-activated", G_CALLBACK (row_activated), selector);

  GtkWidget *scrolled = gtk_scrolled_window_new (nullptr, nullptr);
  gtk_scrolled_window_set_policy (GTK_SCROLLED_WINDOW (scrolled), GTK_POLICY_NEVER,
                                  GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type (GTK_SCROLLED_WINDOW (scrolled), GTK_SHADOW_IN);
  gtk_widget_set_vexpand (scrolled, TRUE);
  gtk_container_add (GTK_CONTAINER (scrolled), selector->view);
  GtkWidget *content = gtk_dialog_get_content_area (GTK_DIALOG (selector));
  gtk_container_set_border_width (GTK_CONTAINER (scrolled), 6);
  gtk_box_pack_start (GTK_BOX (content), scrolled, TRUE, TRUE, 0);
  gtk_widget_show_all (scrolled);
}

GtkWidget *
zelm_tap_selector_new (GList *queue_list, VornTapGen *tap_gen, guint channel)
{
  auto *selector = ZELM_TAP_SELECTOR (
    g_object_new (ZELM_TYPE_TAP_SELECTOR, "queue-list", queue_list, nullptr));

  GtkTreeModel *model = GTK_TREE_MODEL (selector->store);
  GtkTreeIter iter;
  for (gboolean ok = gtk_tree_model_get_iter_first (model, &iter); ok && tap_gen;
       ok = gtk_tree_model_iter_next (model, &iter))
    {
      g_autoptr (VornTapGen) gen = nullptr;
      int chan = 0;
      gtk_tree_model_get (model, &iter, ZELM_TAP_SELECTOR_COL_TAP_GEN, &gen,
                          ZELM_TAP_SELECTOR_COL_CHANNEL, &chan, -1);
      if (gen == tap_gen && guint (chan) == channel)
        {
          g_autoptr (GtkTreePath) path = gtk_tree_model_get_path (model, &iter);
          gtk_tree_view_set_cursor (GTK_TREE_VIEW (selector->view), path, nullptr, FALSE);
          gtk_tree_view_scroll_to_cell (GTK_TREE_VIEW (selector->view), path, nullptr, FALSE, 0,
                                        0);
          break;
        }
    }
  return GTK_WIDGET (selector);
}

VornTapGen *
zelm_tap_selector_get_selected_tap (ZelmTapSelector *selector, VornQueue **queue, guint *channel)
{
  if (queue)
    *queue = nullptr;
  g_return_val_if_fail (ZELM_IS_TAP_SELECTOR (selector), nullptr);

  GtkTreeModel *model = nullptr;
  GtkTreeIter iter;
  GtkTreeSelection *selection = gtk_tree_view_get_selection (GTK_TREE_VIEW (selector->view));
  if (!gtk_tree_selection_get_selected (selection, &model, &iter))
    return nullptr;

  VornTapGen *gen = nullptr;
  VornQueue *q = nullptr;
  int chan = 0;
  gtk_tree_model_get (model, &iter, ZELM_TAP_SELECTOR_COL_TAP_GEN, &gen,
                      ZELM_TAP_SELECTOR_COL_QUEUE, &q, ZELM_TAP_SELECTOR_COL_CHANNEL, &chan, -1);
  if (queue)
    *queue = q;
  else if (q)
    g_object_unref (q);
  if (channel)
    *channel = guint (chan);
  return gen;
}
