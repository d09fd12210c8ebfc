/* zelm-node-ctrl.cpp: an instrument's control waves as live sliders */
#include "zelm-node-ctrl.h"

#include "zelm-scale.h"
#include "zelm-value-text.h"

#include <new>
#include <vector>

namespace {

struct Control {
  VornWave *wave; /* referenced */
  GtkWidget *slider;
  GtkWidget *label;
  int id;
};

} // namespace

struct _ZelmNodeCtrl {
  GtkBox parent_instance;

  VornSynth *synth;
  VornNode *node;
  std::vector<Control> *controls;
};

enum { PROP_0, PROP_SYNTH, PROP_NODE, N_PROPS };
static GParamSpec *properties[N_PROPS];

G_DEFINE_FINAL_TYPE (ZelmNodeCtrl, zelm_node_ctrl, GTK_TYPE_BOX)

static void
slider_changed (ZelmScale *slider, double value, ZelmNodeCtrl *self)
{
  for (const Control &c : *self->controls)
    if (c.slider == GTK_WIDGET (slider))
      {
        g_object_set (c.wave, "init-value", value, nullptr);
        if (self->synth && self->node)
          vorn_synth_set_node_control (self->synth, self->node, guint16 (c.id), 65535, 1, value,
                                       VORN_WAVE_OP_SET);
        return;
      }
}

static void
clear_controls (ZelmNodeCtrl *self)
{
  for (Control &c : *self->controls)
    {
      gtk_widget_destroy (c.label);
      gtk_widget_destroy (c.slider);
      g_object_unref (c.wave);
    }
  self->controls->clear ();
}

struct Collect {
  ZelmNodeCtrl *self;
  VornNode *root;
};

static gboolean
collect_control (VornNode *node, gpointer data)
{
  /* Every return goes on with the walk: FALSE would end it. */
  auto *c = static_cast<Collect *> (data);
  if (!VORN_IS_WAVE (node))
    return TRUE;
  guint y_attrib = 0;
  g_object_get (node, "y-attrib", &y_attrib, nullptr);
  if (y_attrib != VORN_ATTRIB_TYPE_CONTROL)
    return TRUE;

  const int id = VORN_IS_INST (c->root)
      ? vorn_synth_inst_get_control_id (VORN_INST (c->root), VORN_WAVE (node))
      : vorn_queue_node_get_control_id (c->root, VORN_WAVE (node));
  if (id < 0)
    return TRUE;

  g_autofree char *name = nullptr;
  double init = 0;
  g_object_get (node, "name", &name, "init-value", &init, nullptr);
  ZelmNodeCtrl *self = c->self;
  GtkWidget *label = gtk_label_new (name ? name : "");
  gtk_label_set_xalign (GTK_LABEL (label), 0.0f);
  gtk_widget_set_margin_top (label, 2);
  gtk_widget_set_margin_start (label, 2);
  GtkWidget *slider = zelm_scale_new (-G_MAXDOUBLE, G_MAXDOUBLE, 6);
  g_object_set (slider, "unit", int (zelm_value_unit_for (G_OBJECT (node), "init-value")), nullptr);
  zelm_scale_set_value (ZELM_SCALE (slider), init);
  /* Named after its label, as the property editor's sliders are. */
  gtk_label_set_mnemonic_widget (GTK_LABEL (label), slider);
  atk_object_set_name (gtk_widget_get_accessible (slider), name && *name ? name : "Control");
  g_signal_connect (slider, "value-changed", G_CALLBACK (slider_changed), self);
  gtk_box_pack_start (GTK_BOX (self), label, FALSE, FALSE, 0);
  gtk_box_pack_start (GTK_BOX (self), slider, FALSE, FALSE, 0);
  gtk_widget_show (label);
  gtk_widget_show (slider);
  self->controls->push_back ({ VORN_WAVE (g_object_ref (node)), slider, label, id });
  return TRUE;
}

void
zelm_node_ctrl_set_node (ZelmNodeCtrl *self, VornNode *node)
{
  g_return_if_fail (ZELM_IS_NODE_CTRL (self));
  g_return_if_fail (!node || VORN_IS_NODE (node));

  clear_controls (self);
  const bool changed = g_set_object (&self->node, node);
  if (node)
    {
      Collect c = { self, node };
      vorn_node_post_traverse (node, collect_control, &c);
    }
  if (changed)
    g_object_notify_by_pspec (G_OBJECT (self), properties[PROP_NODE]);
}

GtkWidget *
zelm_node_ctrl_new (VornSynth *synth)
{
  return GTK_WIDGET (g_object_new (ZELM_TYPE_NODE_CTRL, "synth", synth, nullptr));
}

static void
zelm_node_ctrl_get_property (GObject *object, guint id, GValue *value, GParamSpec *pspec)
{
  ZelmNodeCtrl *self = ZELM_NODE_CTRL (object);
  switch (id)
    {
    case PROP_SYNTH: g_value_set_object (value, self->synth); break;
    case PROP_NODE: g_value_set_object (value, self->node); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID (object, id, pspec);
    }
}

static void
zelm_node_ctrl_set_property (GObject *object, guint id, const GValue *value, GParamSpec *pspec)
{
  ZelmNodeCtrl *self = ZELM_NODE_CTRL (object);
  switch (id)
    {
    case PROP_SYNTH: self->synth = VORN_SYNTH (g_value_dup_object (value)); break;
    case PROP_NODE: zelm_node_ctrl_set_node (self, VORN_NODE (g_value_get_object (value))); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID (object, id, pspec);
    }
}

static void
zelm_node_ctrl_dispose (GObject *object)
{
  ZelmNodeCtrl *self = ZELM_NODE_CTRL (object);
  for (Control &c : *self->controls)
    g_object_unref (c.wave);
  self->controls->clear ();
  g_clear_object (&self->node);
  g_clear_object (&self->synth);
  G_OBJECT_CLASS (zelm_node_ctrl_parent_class)->dispose (object);
}

static void
zelm_node_ctrl_finalize (GObject *object)
{
  ZelmNodeCtrl *self = ZELM_NODE_CTRL (object);
  self->controls->~vector ();
  g_free (self->controls);
  G_OBJECT_CLASS (zelm_node_ctrl_parent_class)->finalize (object);
}

static void
zelm_node_ctrl_class_init (ZelmNodeCtrlClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  object_class->get_property = zelm_node_ctrl_get_property;
  object_class->set_property = zelm_node_ctrl_set_property;
  object_class->dispose = zelm_node_ctrl_dispose;
  object_class->finalize = zelm_node_ctrl_finalize;

  properties[PROP_SYNTH] =
    g_param_spec_object ("synth", "Synth", "Synthesizer object", VORN_TYPE_SYNTH,
                         GParamFlags (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY | G_PARAM_STATIC_STRINGS));
  properties[PROP_NODE] =
    g_param_spec_object ("node", "Node", "Node object", VORN_TYPE_NODE,
                         GParamFlags (G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY | G_PARAM_STATIC_STRINGS));
  g_object_class_install_properties (object_class, N_PROPS, properties);
}

static void
zelm_node_ctrl_init (ZelmNodeCtrl *self)
{
  self->controls = new (g_malloc (sizeof (std::vector<Control>))) std::vector<Control> ();
  gtk_orientable_set_orientation (GTK_ORIENTABLE (self), GTK_ORIENTATION_VERTICAL);
}
