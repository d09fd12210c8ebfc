/* zelm-wave-editor.cpp: a wave's curve, its morph curves and its morph
 * position, edited side by side */
#include "zelm-wave-editor.h"

#include "zelm-ctrl.h"
#include "zelm-morph-canvas.h"
#include "zelm-morph-position.h"

#include <cmath>
#include <initializer_list>

enum {
  PROP_0,
  PROP_WAVE,
  PROP_MORPH_MODE,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

#define RATE_STEP    0.01
#define RATE_WIDTH   100
#define GRID_SPACING 2
#define MORPH_SIDE   150 /* width of the vmorph column */
#define MORPH_BELOW  110 /* height of the hmorph row */
#define ENTRY_CHARS  8
#define ZOOM_FACTOR  1.25

struct _ZelmWaveEditor {
  GtkGrid parent_instance;

  VornWave *wave;
  /* Children, owned by the grid. */
  GtkWidget *canvas;  /* the curve */
  GtkWidget *hmorph;  /* horizontal morph curves, below the curve */
  GtkWidget *vmorph;  /* vertical morph curves, beside the curve */
  GtkWidget *morph;   /* the morph position, in the corner */
  GtkWidget *ping_pong;
  GtkWidget *polarity_button, *mode_button; /* bound to properties */
  GtkWidget *placeholder; /* says what to select while there is no wave */
  GtkWidget *x_entry, *y_entry; /* the selected coordinate, typed */

  /* Morph animation. */
  ZelmMorphAnim anim;
  double rate;       /* positions per second */
  gint64 last_time;  /* microseconds; -1 until the first frame */
  guint tick_id;     /* 0 while not animating */
  ZelmWaveEditorClockFunc clock_func;
  gpointer clock_data;

  ZelmWaveEditorMorphMode morph_mode;
};

G_DEFINE_FINAL_TYPE (ZelmWaveEditor, zelm_wave_editor, GTK_TYPE_GRID)

GType
zelm_wave_editor_morph_mode_get_type (void)
{
  static gsize type_id = 0;
  if (g_once_init_enter (&type_id))
    {
      static const GEnumValue values[] = {
        { ZELM_WAVE_EDITOR_MORPH_MODE_AUTO, "ZELM_WAVE_EDITOR_MORPH_MODE_AUTO", "Auto" },
        { ZELM_WAVE_EDITOR_MORPH_MODE_SHOW, "ZELM_WAVE_EDITOR_MORPH_MODE_SHOW", "Show" },
        { ZELM_WAVE_EDITOR_MORPH_MODE_HIDE, "ZELM_WAVE_EDITOR_MORPH_MODE_HIDE", "Hide" },
        { 0, nullptr, nullptr },
      };
      g_once_init_leave (&type_id,
                         g_enum_register_static ("ZelmWaveEditorMorphMode", values));
    }
  return type_id;
}

/* ---- keeping the widgets in step --------------------------------------- */

static void on_canvas_wave (GObject *canvas, GParamSpec *, ZelmWaveEditor *self);

static void
block_wave_relay (ZelmWaveEditor *self, gboolean block)
{
  for (GtkWidget *w : { self->canvas, self->hmorph, self->vmorph })
    if (block)
      g_signal_handlers_block_by_func (w, gpointer (on_canvas_wave), self);
    else
      g_signal_handlers_unblock_by_func (w, gpointer (on_canvas_wave), self);
}

static void
update_morph_visibility (ZelmWaveEditor *self)
{
  gboolean shown;
  switch (self->morph_mode)
    {
    case ZELM_WAVE_EDITOR_MORPH_MODE_SHOW:
      shown = TRUE;
      break;
    case ZELM_WAVE_EDITOR_MORPH_MODE_HIDE:
      shown = FALSE;
      break;
    default:
      shown = self->wave && self->wave->morph;
      break;
    }
  for (GtkWidget *w : { self->hmorph, self->vmorph, self->morph })
    gtk_widget_set_visible (w, shown);
  gtk_widget_set_visible (self->canvas, self->wave != nullptr);
  gtk_widget_set_visible (self->placeholder, self->wave == nullptr);
}

/* ---- typed coordinates ------------------------------------------------- */

static void
show_selected_value (ZelmWaveEditor *self)
{
  double x, y;
  const gboolean any =
    zelm_wave_canvas_get_selected_value (ZELM_WAVE_CANVAS (self->canvas), &x, &y);
  GtkWidget *entries[2] = { self->x_entry, self->y_entry };
  const double values[2] = { x, y };
  for (int i = 0; i < 2; i++)
    {
      gtk_widget_set_sensitive (entries[i], any);
      /* Text being typed stays until it is applied or left. */
      if (gtk_widget_has_focus (entries[i]))
        continue;
      char text[G_ASCII_DTOSTR_BUF_SIZE] = "";
      if (any)
        g_snprintf (text, sizeof text, "%.6g", values[i]);
      gtk_entry_set_text (GTK_ENTRY (entries[i]), text);
    }
}

/* Enter in either entry moves the selected coordinate through the canvas's
 * session, an edit like a drag (and undone like one). */
static void
on_entry_activate (GtkEntry *, ZelmWaveEditor *self)
{
  double x, y;
  if (!zelm_wave_canvas_get_selected_value (ZELM_WAVE_CANVAS (self->canvas), &x, &y))
    return;
  double *values[2] = { &x, &y };
  GtkWidget *entries[2] = { self->x_entry, self->y_entry };
  for (int i = 0; i < 2; i++)
    {
      const char *text = gtk_entry_get_text (GTK_ENTRY (entries[i]));
      char *end = nullptr;
      const double v = g_ascii_strtod (text, &end);
      const gboolean valid = end != text && *end == '\0' && std::isfinite (v);
      if (valid)
        *values[i] = v;
      GtkStyleContext *style = gtk_widget_get_style_context (entries[i]);
      if (valid)
        gtk_style_context_remove_class (style, GTK_STYLE_CLASS_ERROR);
      else
        gtk_style_context_add_class (style, GTK_STYLE_CLASS_ERROR);
    }
  zelm_wave_canvas_set_selected_value (ZELM_WAVE_CANVAS (self->canvas), x, y);
  for (GtkWidget *e : entries)
    if (!gtk_style_context_has_class (gtk_widget_get_style_context (e), GTK_STYLE_CLASS_ERROR))
      {
        /* Show what the curve took (x stays between the neighbours). */
        double nx, ny;
        if (zelm_wave_canvas_get_selected_value (ZELM_WAVE_CANVAS (self->canvas), &nx, &ny))
          {
            char text[G_ASCII_DTOSTR_BUF_SIZE];
            g_snprintf (text, sizeof text, "%.6g", e == self->x_entry ? nx : ny);
            gtk_entry_set_text (GTK_ENTRY (e), text);
          }
      }
}

static gboolean
on_entry_focus_out (GtkWidget *, GdkEvent *, ZelmWaveEditor *self)
{
  show_selected_value (self);
  return FALSE;
}

/* One canvas changed the wave's data: the others rebuild their pictures. */
static void
on_canvas_wave (GObject *canvas, GParamSpec *, ZelmWaveEditor *self)
{
  VornWave *wave = zelm_wave_canvas_get_wave (ZELM_WAVE_CANVAS (canvas));
  block_wave_relay (self, TRUE);
  for (GtkWidget *w : { self->canvas, self->hmorph, self->vmorph })
    if (G_OBJECT (w) != canvas)
      zelm_wave_canvas_set_wave (ZELM_WAVE_CANVAS (w), wave);
  /* Whoever watches the main canvas (to refresh what is rendered from the
   * wave) hears of edits made in the morph canvases too. */
  if (canvas != G_OBJECT (self->canvas))
    g_object_notify (G_OBJECT (self->canvas), "wave");
  block_wave_relay (self, FALSE);
  zelm_morph_canvas_set_wave (ZELM_MORPH_CANVAS (self->morph), wave);
  /* An edit may have given the wave its first morph curve. */
  update_morph_visibility (self);
  show_selected_value (self);
}

static void
on_selected_point (GObject *canvas, GParamSpec *, ZelmWaveEditor *self)
{
  int point = -1;
  g_object_get (canvas, "selected-point", &point, nullptr);
  for (GtkWidget *w : { self->hmorph, self->vmorph, self->morph })
    g_object_set (w, "curve-point", point, nullptr);
  show_selected_value (self);
}

static void
on_morph_position (GObject *morph, GParamSpec *, ZelmWaveEditor *self)
{
  double pos = 0.0;
  g_object_get (morph, "morph-position", &pos, nullptr);
  for (GtkWidget *w : { self->canvas, self->hmorph, self->vmorph })
    g_object_set (w, "morph-position", pos, nullptr);
}

/* The vmorph canvas shares the main canvas's value axis. */
static void
on_polarity (GObject *canvas, GParamSpec *, ZelmWaveEditor *self)
{
  ZelmWaveCanvasPolarity polarity = ZELM_WAVE_CANVAS_POLARITY_AUTO;
  g_object_get (canvas, "polarity", &polarity, nullptr);
  zelm_wave_canvas_set_polarity (ZELM_WAVE_CANVAS (self->vmorph), polarity);
}

/* ---- morph animation --------------------------------------------------- */

static void
set_morph_position (ZelmWaveEditor *self, double pos)
{
  for (GtkWidget *w : { self->canvas, self->hmorph, self->vmorph, self->morph })
    g_object_set (w, "morph-position", pos, nullptr);
}

static gint64
clock_time (ZelmWaveEditor *self, GdkFrameClock *clock)
{
  if (self->clock_func)
    return self->clock_func (self->clock_data);
  return clock ? gdk_frame_clock_get_frame_time (clock) : -1;
}

static gboolean
animation_tick (GtkWidget *, GdkFrameClock *clock, gpointer data)
{
  ZelmWaveEditor *self = ZELM_WAVE_EDITOR (data);
  const gint64 now = clock_time (self, clock);
  if (self->last_time < 0)
    {
      self->last_time = now;
      return G_SOURCE_CONTINUE;
    }

  zelm_morph_anim_advance (&self->anim, self->rate, now - self->last_time,
                           gtk_toggle_tool_button_get_active (
                             GTK_TOGGLE_TOOL_BUTTON (self->ping_pong)));
  self->last_time = now;
  set_morph_position (self, self->anim.pos);
  return G_SOURCE_CONTINUE;
}

static void
stop_animation (ZelmWaveEditor *self)
{
  if (self->tick_id)
    {
      gtk_widget_remove_tick_callback (GTK_WIDGET (self), self->tick_id);
      self->tick_id = 0;
    }
}

static void
on_playback_toggled (GtkToggleToolButton *, ZelmWaveEditor *self)
{
  set_morph_position (self, 0.0);
  if (self->tick_id)
    {
      stop_animation (self);
      return;
    }
  self->anim = ZelmMorphAnim { 0.0, FALSE };
  self->last_time = clock_time (self, gtk_widget_get_frame_clock (GTK_WIDGET (self)));
  self->tick_id = gtk_widget_add_tick_callback (GTK_WIDGET (self), animation_tick, self, nullptr);
}

static void
on_rate_changed (GtkRange *range, ZelmWaveEditor *self)
{
  self->rate = gtk_range_get_value (range);
}

/* ---- building ---------------------------------------------------------- */

static void
set_accessible_name (GtkWidget *w, const char *name)
{
  atk_object_set_name (gtk_widget_get_accessible (w), name);
}

static GtkToolItem *
add_tool_item (GtkWidget *toolbar, GtkToolItem *item, const char *tooltip,
               const char *name = nullptr)
{
  gtk_tool_item_set_tooltip_text (item, tooltip);
  gtk_toolbar_insert (GTK_TOOLBAR (toolbar), item, -1);
  set_accessible_name (GTK_WIDGET (item), name ? name : tooltip);
  /* Assistive tools see the button inside a tool button. */
  if (GTK_IS_BIN (item))
    if (GtkWidget *child = gtk_bin_get_child (GTK_BIN (item)))
      set_accessible_name (child, name ? name : tooltip);
  return item;
}

static GtkToolItem *
add_icon_button (GtkWidget *toolbar, const char *icon, const char *tooltip, const char *name,
                 GCallback callback, gpointer data)
{
  GtkToolItem *item = gtk_tool_button_new (nullptr, name);
  gtk_tool_button_set_icon_name (GTK_TOOL_BUTTON (item), icon);
  g_signal_connect_swapped (item, "clicked", callback, data);
  return add_tool_item (toolbar, item, tooltip, name);
}

static void
zoom_in (ZelmWaveEditor *self)
{
  zelm_wave_canvas_zoom (ZELM_WAVE_CANVAS (self->canvas), ZOOM_FACTOR);
}

static void
zoom_out (ZelmWaveEditor *self)
{
  zelm_wave_canvas_zoom (ZELM_WAVE_CANVAS (self->canvas), 1.0 / ZOOM_FACTOR);
}

static void
zoom_fit (ZelmWaveEditor *self)
{
  zelm_wave_canvas_fit (ZELM_WAVE_CANVAS (self->canvas));
}

static GtkWidget *
add_value_entry (ZelmWaveEditor *self, GtkWidget *toolbar, const char *label, const char *name)
{
  GtkWidget *box = gtk_box_new (GTK_ORIENTATION_HORIZONTAL, 4);
  GtkWidget *caption = gtk_label_new_with_mnemonic (label);
  GtkWidget *entry = gtk_entry_new ();
  gtk_entry_set_width_chars (GTK_ENTRY (entry), ENTRY_CHARS);
  gtk_label_set_mnemonic_widget (GTK_LABEL (caption), entry);
  gtk_box_pack_start (GTK_BOX (box), caption, FALSE, FALSE, 0);
  gtk_box_pack_start (GTK_BOX (box), entry, FALSE, FALSE, 0);
  g_signal_connect (entry, "activate", G_CALLBACK (on_entry_activate), self);
  g_signal_connect (entry, "focus-out-event", G_CALLBACK (on_entry_focus_out), self);
  GtkToolItem *item = add_tool_item (toolbar, gtk_tool_item_new (), name);
  gtk_container_add (GTK_CONTAINER (item), box);
  set_accessible_name (entry, name);
  gtk_widget_set_sensitive (entry, FALSE);
  return entry;
}

static GtkWidget *
build_toolbar (ZelmWaveEditor *self)
{
  GtkWidget *toolbar = gtk_toolbar_new ();
  gtk_toolbar_set_style (GTK_TOOLBAR (toolbar), GTK_TOOLBAR_ICONS);

  GtkToolItem *polarity = add_tool_item (toolbar, gtk_menu_tool_button_new (nullptr, nullptr),
                                         "Curve display amplitude polarity",
                                         "Amplitude polarity");
  zelm_ctrl_connect (GTK_WIDGET (polarity), self->canvas, "polarity");

  GtkToolItem *mode = add_tool_item (toolbar, gtk_menu_tool_button_new (nullptr, nullptr),
                                     "Morph editor interface mode", "Morph canvases");
  zelm_ctrl_connect (GTK_WIDGET (mode), self, "morph-mode");
  self->polarity_button = GTK_WIDGET (polarity);
  self->mode_button = GTK_WIDGET (mode);

  GtkToolItem *play =
    add_tool_item (toolbar, gtk_toggle_tool_button_new (), "Morph animation playback",
                   "Play morph");
  gtk_tool_button_set_icon_name (GTK_TOOL_BUTTON (play), "media-playback-start");
  g_signal_connect (play, "toggled", G_CALLBACK (on_playback_toggled), self);

  GtkToolItem *ping_pong =
    add_tool_item (toolbar, gtk_toggle_tool_button_new (), "Morph animation ping-pong",
                   "Ping-pong");
  gtk_tool_button_set_icon_name (GTK_TOOL_BUTTON (ping_pong), "zelm-ping-pong");
  gtk_toggle_tool_button_set_active (GTK_TOGGLE_TOOL_BUTTON (ping_pong), TRUE);
  self->ping_pong = GTK_WIDGET (ping_pong);

  GtkWidget *scale = gtk_scale_new_with_range (GTK_ORIENTATION_HORIZONTAL,
                                               ZELM_MORPH_ANIM_RATE_MIN,
                                               ZELM_MORPH_ANIM_RATE_MAX, RATE_STEP);
  gtk_scale_set_draw_value (GTK_SCALE (scale), FALSE);
  gtk_widget_set_size_request (scale, RATE_WIDTH, -1);
  gtk_range_set_value (GTK_RANGE (scale), self->rate);
  g_signal_connect (scale, "value-changed", G_CALLBACK (on_rate_changed), self);
  GtkToolItem *rate = add_tool_item (toolbar, gtk_tool_item_new (), "Morph animation speed");
  gtk_container_add (GTK_CONTAINER (rate), scale);
  set_accessible_name (scale, "Morph animation speed");

  gtk_toolbar_insert (GTK_TOOLBAR (toolbar), gtk_separator_tool_item_new (), -1);
  add_icon_button (toolbar, "zoom-in", "Zoom in (Ctrl+wheel, Ctrl++)", "Zoom in",
                   G_CALLBACK (zoom_in), self);
  add_icon_button (toolbar, "zoom-out", "Zoom out (Ctrl+wheel, Ctrl+-)", "Zoom out",
                   G_CALLBACK (zoom_out), self);
  add_icon_button (toolbar, "zoom-fit-best", "Show the whole curve (Ctrl+0)", "Fit",
                   G_CALLBACK (zoom_fit), self);
  GtkToolItem *snap = add_tool_item (toolbar, gtk_toggle_tool_button_new (),
                                     "Snap dragged points to the grid (hold Alt to drag freely)",
                                     "Snap to grid");
  gtk_tool_button_set_icon_name (GTK_TOOL_BUTTON (snap), "view-grid-symbolic");
  g_object_bind_property (self->canvas, "snap", snap, "active",
                          GBindingFlags (G_BINDING_BIDIRECTIONAL | G_BINDING_SYNC_CREATE));

  gtk_toolbar_insert (GTK_TOOLBAR (toolbar), gtk_separator_tool_item_new (), -1);
  self->x_entry = add_value_entry (self, toolbar, "_x", "Selected point x");
  self->y_entry = add_value_entry (self, toolbar, "_y", "Selected point y");

  gtk_widget_set_hexpand (toolbar, TRUE);
  gtk_widget_show_all (toolbar);
  return toolbar;
}

static GtkWidget *
expanding (GtkWidget *w)
{
  gtk_widget_set_hexpand (w, TRUE);
  gtk_widget_set_vexpand (w, TRUE);
  return w;
}

static void
zelm_wave_editor_init (ZelmWaveEditor *self)
{
  GtkGrid *grid = GTK_GRID (self);
  self->rate = 1.0;
  self->last_time = -1;

  gtk_grid_set_row_spacing (grid, GRID_SPACING);
  gtk_grid_set_column_spacing (grid, GRID_SPACING);

  /* The curve takes the page; the morph canvases keep a strip beside and
   * below it. */
  self->canvas = expanding (zelm_wave_canvas_new ());
  self->hmorph = GTK_WIDGET (g_object_new (ZELM_TYPE_WAVE_CANVAS, "mode",
                                           ZELM_WAVE_CANVAS_MODE_HMORPH, "y-zoom", 1.0, "y-ofs",
                                           0.0, nullptr));
  gtk_widget_set_hexpand (self->hmorph, TRUE);
  gtk_widget_set_size_request (self->hmorph, -1, MORPH_BELOW);
  self->vmorph = GTK_WIDGET (
    g_object_new (ZELM_TYPE_WAVE_CANVAS, "mode", ZELM_WAVE_CANVAS_MODE_VMORPH, nullptr));
  gtk_widget_set_vexpand (self->vmorph, TRUE);
  gtk_widget_set_size_request (self->vmorph, MORPH_SIDE, -1);
  self->morph = zelm_morph_canvas_new ();
  gtk_widget_set_size_request (self->morph, MORPH_SIDE, MORPH_BELOW);
  set_accessible_name (self->canvas, "Wave curve");
  set_accessible_name (self->hmorph, "Horizontal morph curves");
  set_accessible_name (self->vmorph, "Vertical morph curves");
  set_accessible_name (self->morph, "Morph position");

  self->placeholder = expanding (gtk_label_new ("Select a wave in the tree to edit its curve.\n"
                                                "Instruments, filters and other nodes have no "
                                                "curve of their own: their waves are among "
                                                "their children."));
  gtk_label_set_line_wrap (GTK_LABEL (self->placeholder), TRUE);
  gtk_label_set_max_width_chars (GTK_LABEL (self->placeholder), 48);
  gtk_label_set_justify (GTK_LABEL (self->placeholder), GTK_JUSTIFY_CENTER);
  gtk_widget_set_sensitive (self->placeholder, FALSE);

  gtk_grid_attach (grid, build_toolbar (self), 0, 0, 2, 1);
  gtk_grid_attach (grid, self->canvas, 0, 1, 1, 1);
  gtk_grid_attach (grid, self->vmorph, 1, 1, 1, 1);
  gtk_grid_attach (grid, self->hmorph, 0, 2, 1, 1);
  gtk_grid_attach (grid, self->morph, 1, 2, 1, 1);
  gtk_grid_attach (grid, self->placeholder, 0, 3, 2, 1);
  /* Their visibility follows the wave and the morph mode: a show_all
   * around the editor must not override it. */
  for (GtkWidget *w : { self->canvas, self->placeholder, self->hmorph, self->vmorph, self->morph })
    gtk_widget_set_no_show_all (w, TRUE);
  update_morph_visibility (self);

  for (GtkWidget *w : { self->canvas, self->hmorph, self->vmorph })
    g_signal_connect (w, "notify::wave", G_CALLBACK (on_canvas_wave), self);
  g_signal_connect (self->canvas, "notify::selected-point", G_CALLBACK (on_selected_point), self);
  g_signal_connect (self->canvas, "notify::polarity", G_CALLBACK (on_polarity), self);
  g_signal_connect (self->morph, "notify::morph-position", G_CALLBACK (on_morph_position), self);
}

static void
zelm_wave_editor_dispose (GObject *object)
{
  ZelmWaveEditor *self = ZELM_WAVE_EDITOR (object);

  stop_animation (self);
  /* The bindings end before the objects they watch are torn down (the
   * canvases may go first), and the one on the editor itself before it
   * holds the editor alive any longer. */
  for (GtkWidget **w : { &self->polarity_button, &self->mode_button })
    if (*w)
      {
        zelm_ctrl_uninstall (*w);
        *w = nullptr;
      }
  /* The children may outlive this dispose for a moment; they must not
   * call back into an editor being torn down. */
  for (GtkWidget **w : { &self->canvas, &self->hmorph, &self->vmorph, &self->morph })
    if (*w)
      {
        g_signal_handlers_disconnect_by_data (*w, self);
        *w = nullptr;
      }
  G_OBJECT_CLASS (zelm_wave_editor_parent_class)->dispose (object);
}

static void
zelm_wave_editor_finalize (GObject *object)
{
  ZelmWaveEditor *self = ZELM_WAVE_EDITOR (object);

  g_clear_object (&self->wave);
  G_OBJECT_CLASS (zelm_wave_editor_parent_class)->finalize (object);
}

static void
set_morph_mode (ZelmWaveEditor *self, ZelmWaveEditorMorphMode mode)
{
  if (self->morph_mode == mode)
    return;
  self->morph_mode = mode;
  if (self->canvas)
    update_morph_visibility (self);
  g_object_notify_by_pspec (G_OBJECT (self), properties[PROP_MORPH_MODE]);
}

static void
zelm_wave_editor_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmWaveEditor *self = ZELM_WAVE_EDITOR (object);

  switch (prop_id)
    {
    case PROP_WAVE:
      g_value_set_object (value, self->wave);
      break;
    case PROP_MORPH_MODE:
      g_value_set_enum (value, self->morph_mode);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
zelm_wave_editor_set_property (GObject *object, guint prop_id, const GValue *value,
                               GParamSpec *pspec)
{
  ZelmWaveEditor *self = ZELM_WAVE_EDITOR (object);

  switch (prop_id)
    {
    case PROP_WAVE:
      zelm_wave_editor_set_wave (self, static_cast<VornWave *> (g_value_get_object (value)));
      break;
    case PROP_MORPH_MODE:
      set_morph_mode (self, ZelmWaveEditorMorphMode (g_value_get_enum (value)));
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
zelm_wave_editor_class_init (ZelmWaveEditorClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  object_class->dispose = zelm_wave_editor_dispose;
  object_class->finalize = zelm_wave_editor_finalize;
  object_class->get_property = zelm_wave_editor_get_property;
  object_class->set_property = zelm_wave_editor_set_property;

  const auto flags = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                  G_PARAM_EXPLICIT_NOTIFY);
  properties[PROP_WAVE] =
    g_param_spec_object ("wave", "Wave", "Waveform", VORN_TYPE_WAVE, flags);
  properties[PROP_MORPH_MODE] =
    g_param_spec_enum ("morph-mode", "MorphMode", "Morph interface mode",
                       ZELM_TYPE_WAVE_EDITOR_MORPH_MODE, ZELM_WAVE_EDITOR_MORPH_MODE_AUTO, flags);
  static const char *const mode_icons[] = { "zelm-morph-auto", "zelm-morph-show",
                                            "zelm-morph-hide", nullptr };
  g_param_spec_set_qdata (properties[PROP_MORPH_MODE], g_quark_from_static_string ("zelm-icons"),
                          const_cast<char **> (mode_icons));

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

GtkWidget *
zelm_wave_editor_new (void)
{
  return GTK_WIDGET (g_object_new (ZELM_TYPE_WAVE_EDITOR, nullptr));
}

void
zelm_wave_editor_set_wave (ZelmWaveEditor *editor, VornWave *wave)
{
  g_return_if_fail (ZELM_IS_WAVE_EDITOR (editor));
  g_return_if_fail (!wave || VORN_IS_WAVE (wave));

  if (wave && !wave->curve)
    wave = nullptr;
  if (editor->wave == wave)
    return;

  g_set_object (&editor->wave, wave);
  update_morph_visibility (editor);
  block_wave_relay (editor, TRUE);
  for (GtkWidget *w : { editor->canvas, editor->hmorph, editor->vmorph })
    zelm_wave_canvas_set_wave (ZELM_WAVE_CANVAS (w), wave);
  block_wave_relay (editor, FALSE);
  zelm_morph_canvas_set_wave (ZELM_MORPH_CANVAS (editor->morph), wave);
  /* A point index of the old wave means nothing in the new one. */
  g_object_set (editor->canvas, "selected-point", -1, nullptr);
  g_object_notify_by_pspec (G_OBJECT (editor), properties[PROP_WAVE]);
}

VornWave *
zelm_wave_editor_get_wave (ZelmWaveEditor *editor)
{
  g_return_val_if_fail (ZELM_IS_WAVE_EDITOR (editor), nullptr);
  return editor->wave;
}

ZelmWaveCanvas *
zelm_wave_editor_get_canvas (ZelmWaveEditor *editor)
{
  g_return_val_if_fail (ZELM_IS_WAVE_EDITOR (editor), nullptr);
  return ZELM_WAVE_CANVAS (editor->canvas);
}

void
zelm_wave_editor_set_clock (ZelmWaveEditor *editor, ZelmWaveEditorClockFunc func,
                            gpointer user_data)
{
  g_return_if_fail (ZELM_IS_WAVE_EDITOR (editor));
  editor->clock_func = func;
  editor->clock_data = user_data;
}
