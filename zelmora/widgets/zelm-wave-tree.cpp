/* zelm-wave-tree.cpp: a read-only tree of signal rows */
#include "zelm-wave-tree.h"

#include "zelm-util.h"

#include <algorithm>
#include <cmath>

#define BAR_WIDTH     10.0
#define ICON_SIZE     16
#define FONT_SIZE     16.0
#define ROW_HEIGHT    64.0
#define BG_COLOR      0x000000ffu
#define TEXT_COLOR    0xffffffffu
#define SEP_COLOR     0xffffffffu

/* Nesting bar colours by ancestor level, repeating. */
static const guint32 bar_colors[4] = { 0x5599ffffu, 0x80ffb3ffu, 0xff5555ffu, 0xffdd55ffu };

struct _ZelmWaveTree {
  GtkDrawingArea parent_instance;

  GNode *root;        /* carries no row */
  int max_depth;      /* greatest row depth: nesting bars of the deepest row */
  double font_size;   /* pixels */
  double hscale;      /* pixels per sample */
  double hscroll;     /* pixels */
  double vscroll;     /* pixels */
  double row_height;  /* pixels */
  int width, height;
  gboolean dirty;     /* max_depth needs recomputing */
};

G_DEFINE_FINAL_TYPE (ZelmWaveTree, zelm_wave_tree, GTK_TYPE_DRAWING_AREA)

GType
zelm_wave_tree_seg_type_get_type (void)
{
  static gsize type_id = 0;
  if (g_once_init_enter (&type_id))
    {
      static const GEnumValue values[] = {
        { ZELM_WAVE_TREE_SEG_TYPE_BUF_DOUBLE, "ZELM_WAVE_TREE_SEG_TYPE_BUF_DOUBLE", "buf-double" },
        { ZELM_WAVE_TREE_SEG_TYPE_BUF_FLOAT, "ZELM_WAVE_TREE_SEG_TYPE_BUF_FLOAT", "buf-float" },
        { ZELM_WAVE_TREE_SEG_TYPE_CURVE, "ZELM_WAVE_TREE_SEG_TYPE_CURVE", "curve" },
        { ZELM_WAVE_TREE_SEG_TYPE_CONST, "ZELM_WAVE_TREE_SEG_TYPE_CONST", "const" },
        { 0, nullptr, nullptr },
      };
      g_once_init_leave (&type_id, g_enum_register_static ("ZelmWaveTreeSegType", values));
    }
  return type_id;
}

GType
zelm_wave_tree_node_state_get_type (void)
{
  static gsize type_id = 0;
  if (g_once_init_enter (&type_id))
    {
      static const GEnumValue values[] = {
        { ZELM_WAVE_TREE_NODE_STATE_EXPANDED, "ZELM_WAVE_TREE_NODE_STATE_EXPANDED", "expanded" },
        { ZELM_WAVE_TREE_NODE_STATE_COLLAPSED, "ZELM_WAVE_TREE_NODE_STATE_COLLAPSED",
          "collapsed" },
        { 0, nullptr, nullptr },
      };
      g_once_init_leave (&type_id, g_enum_register_static ("ZelmWaveTreeNodeState", values));
    }
  return type_id;
}

static void
seg_free (gpointer data)
{
  auto *seg = static_cast<ZelmWaveTreeSeg *> (data);
  if (seg->type == ZELM_WAVE_TREE_SEG_TYPE_CURVE)
    g_clear_object (&seg->data.curve);
  else if (seg->type != ZELM_WAVE_TREE_SEG_TYPE_CONST && seg->owns_buffer)
    g_free (seg->data.buffer);
  g_free (seg);
}

ZelmWaveTreeNode *
zelm_wave_tree_node_new (void)
{
  ZelmWaveTreeNode *row = g_new0 (ZelmWaveTreeNode, 1);
  row->segs = g_ptr_array_new_with_free_func (seg_free);
  row->hscale = 1.0;
  row->vscale = 1.0;
  return row;
}

void
zelm_wave_tree_node_free (ZelmWaveTreeNode *row)
{
  if (!row)
    return;
  g_ptr_array_unref (row->segs);
  g_free (row->label);
  g_free (row->icon_name);
  g_free (row);
}

static gboolean
free_row (GNode *node, gpointer)
{
  zelm_wave_tree_node_free (static_cast<ZelmWaveTreeNode *> (node->data));
  node->data = nullptr;
  return FALSE;
}

static ZelmWaveTreeNode *
row_of (GNode *node)
{
  return static_cast<ZelmWaveTreeNode *> (node->data);
}

static void
zelm_wave_tree_init (ZelmWaveTree *tree)
{
  tree->root = g_node_new (nullptr);
  tree->font_size = FONT_SIZE;
  tree->hscale = 1.0;
  tree->row_height = ROW_HEIGHT;

  gtk_widget_set_can_focus (GTK_WIDGET (tree), TRUE);
  gtk_widget_add_events (GTK_WIDGET (tree),
                         GDK_POINTER_MOTION_MASK | GDK_BUTTON1_MOTION_MASK |
                           GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_KEY_PRESS_MASK |
                           GDK_KEY_RELEASE_MASK | GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK |
                           GDK_SCROLL_MASK);
}

static void
zelm_wave_tree_finalize (GObject *object)
{
  ZelmWaveTree *tree = ZELM_WAVE_TREE (object);

  g_node_traverse (tree->root, G_PRE_ORDER, G_TRAVERSE_ALL, -1, free_row, nullptr);
  g_node_destroy (tree->root);
  G_OBJECT_CLASS (zelm_wave_tree_parent_class)->finalize (object);
}

static void
zelm_wave_tree_get_property (GObject *object, guint prop_id, GValue *, GParamSpec *pspec)
{
  G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
zelm_wave_tree_set_property (GObject *object, guint prop_id, const GValue *, GParamSpec *pspec)
{
  G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
}

static void
update_depth (ZelmWaveTree *tree)
{
  if (!tree->dirty)
    return;
  tree->max_depth = int (g_node_max_height (tree->root)) - 1;
  tree->dirty = FALSE;
}

static void
changed (ZelmWaveTree *tree)
{
  tree->dirty = TRUE;
  gtk_widget_queue_draw (GTK_WIDGET (tree));
}

/* Pixel width of a segment; the last one of a row ends at its last sample. */
static double
seg_width (ZelmWaveTree *tree, const ZelmWaveTreeSeg *seg, gboolean last)
{
  if (seg->type == ZELM_WAVE_TREE_SEG_TYPE_CURVE)
    return vorn_curve_get_width (seg->data.curve) * tree->hscale;
  double n = seg->n_samples;
  if (last && n > 0)
    n -= 1;
  return n * tree->hscale;
}

static double
row_width (ZelmWaveTree *tree, const ZelmWaveTreeNode *row)
{
  double w = 0;
  for (guint i = 0; i < row->segs->len; i++)
    w += seg_width (tree, static_cast<ZelmWaveTreeSeg *> (row->segs->pdata[i]),
                    i + 1 == row->segs->len);
  return w;
}

/* Calls @fn (node) for every visible row in drawing order: pre-order,
 * skipping the children of collapsed rows. */
template <typename Fn>
static void
for_each_visible (GNode *parent, Fn &fn)
{
  for (GNode *n = parent->children; n; n = n->next)
    {
      fn (n);
      if (!row_of (n)->collapsed)
        for_each_visible (n, fn);
    }
}

/* How far the content reaches: total height of the visible rows and the
 * widest row. */
static void
content_extent (ZelmWaveTree *tree, double *width, double *height)
{
  double w = 0, h = 0;
  gboolean first = TRUE;
  auto fn = [&] (GNode *n) {
    ZelmWaveTreeNode *row = row_of (n);
    h += (first ? 0 : 1) + (row->collapsed ? 1 : tree->row_height);
    first = FALSE;
    if (!row->collapsed)
      w = std::max (w, row_width (tree, row));
  };
  for_each_visible (tree->root, fn);
  *width = w;
  *height = h;
}

gboolean
zelm_wave_tree_view_clamp (ZelmWaveTreeView *view)
{
  const double hs = std::clamp (view->hscroll, 0.0,
                                std::max (0.0, view->samples * view->hscale - view->trace_width));
  const double vs = std::clamp (view->vscroll, 0.0, std::max (0.0, view->rows_height - view->height));
  const gboolean moved = hs != view->hscroll || vs != view->vscroll;
  view->hscroll = hs;
  view->vscroll = vs;
  return moved;
}

#define HSCALE_MIN (1.0 / 1024)
#define HSCALE_MAX 64.0

void
zelm_wave_tree_view_zoom (ZelmWaveTreeView *view, double hscale, double anchor)
{
  hscale = std::clamp (hscale, HSCALE_MIN, HSCALE_MAX);
  if (hscale == view->hscale)
    return;
  view->hscroll = (anchor + view->hscroll) / view->hscale * hscale - anchor;
  view->hscale = hscale;
  zelm_wave_tree_view_clamp (view);
}

void
zelm_wave_tree_view_wheel (ZelmWaveTreeView *view, double dx, double dy, GdkModifierType state,
                           double anchor)
{
  /* Control + wheel zooms the time axis by octaves around the pointer. */
  if (state & GDK_CONTROL_MASK)
    {
      zelm_wave_tree_view_zoom (view, view->hscale * std::exp2 (-dy), anchor);
      return;
    }
  if (state & GDK_SHIFT_MASK)
    {
      dx += dy;
      dy = 0;
    }
  /* A notch moves by one row down, or a quarter of the trace area across. */
  view->hscroll += dx * std::max (1.0, view->trace_width / 4);
  view->vscroll += dy * view->row_step;
  zelm_wave_tree_view_clamp (view);
}

/* The widget's scroll state and geometry as a view. */
static ZelmWaveTreeView
view_of (ZelmWaveTree *tree)
{
  update_depth (tree);
  double cw, ch;
  content_extent (tree, &cw, &ch);
  return { tree->hscale, tree->hscroll, tree->vscroll,
           tree->width - 2 * BAR_WIDTH * tree->max_depth, double (tree->height),
           cw / tree->hscale, ch, tree->row_height + 1 };
}

static void
set_view (ZelmWaveTree *tree, const ZelmWaveTreeView &view)
{
  tree->hscale = view.hscale;
  tree->hscroll = view.hscroll;
  tree->vscroll = view.vscroll;
}

/* Keeps the offsets where content is still in view. */
static void
clamp_scroll (ZelmWaveTree *tree)
{
  ZelmWaveTreeView view = view_of (tree);
  zelm_wave_tree_view_clamp (&view);
  set_view (tree, view);
}

static void
zelm_wave_tree_size_allocate (GtkWidget *widget, GtkAllocation *allocation)
{
  ZelmWaveTree *tree = ZELM_WAVE_TREE (widget);

  GTK_WIDGET_CLASS (zelm_wave_tree_parent_class)->size_allocate (widget, allocation);
  tree->width = allocation->width;
  tree->height = allocation->height;
  clamp_scroll (tree);
}

/* Adds a vertex to the path: the first one of a path starts it. */
static void
path_to (cairo_t *cr, double x, double y)
{
  if (cairo_has_current_point (cr))
    cairo_line_to (cr, x, y);
  else
    cairo_move_to (cr, x, y);
}

static void
draw_segments (ZelmWaveTree *tree, cairo_t *cr, ZelmWaveTreeNode *row, double top)
{
  const double rh = tree->row_height, hs = tree->hscale;
  const double margin = BAR_WIDTH * tree->max_depth;
  double x = margin - tree->hscroll;
  gboolean have_color = FALSE;
  guint32 color = 0;

  cairo_save (cr);
  cairo_rectangle (cr, margin, 0, tree->width - 2 * margin, tree->height);
  cairo_clip (cr);
  cairo_new_path (cr);
  cairo_set_line_width (cr, 1.0);

  for (guint i = 0; i < row->segs->len; i++)
    {
      auto *seg = static_cast<ZelmWaveTreeSeg *> (row->segs->pdata[i]);
      const double w = seg_width (tree, seg, i + 1 == row->segs->len);

      if (have_color && seg->line_color != color && cairo_has_current_point (cr))
        {
          zelm_util_set_rgba_uint (cr, color);
          cairo_stroke (cr);
        }
      have_color = TRUE;
      color = seg->line_color;

      if (seg->fill_color != ZELM_WAVE_TREE_NO_FILL)
        {
          /* Filling would consume the trace built so far: set it aside. */
          cairo_path_t *path = cairo_copy_path (cr);
          cairo_new_path (cr);
          cairo_rectangle (cr, x, top, w, rh);
          zelm_util_set_rgba_uint (cr, seg->fill_color);
          cairo_fill (cr);
          cairo_append_path (cr, path);
          cairo_path_destroy (path);
        }

      switch (seg->type)
        {
        case ZELM_WAVE_TREE_SEG_TYPE_BUF_DOUBLE:
          {
            const double *v = static_cast<const double *> (seg->data.buffer);
            for (guint32 k = 0; k < seg->n_samples; k++)
              path_to (cr, x + k * hs, v[k] * rh + top);
            break;
          }
        case ZELM_WAVE_TREE_SEG_TYPE_BUF_FLOAT:
          {
            const float *v = static_cast<const float *> (seg->data.buffer);
            for (guint32 k = 0; k < seg->n_samples; k++)
              path_to (cr, x + k * hs, double (v[k]) * rh + top);
            break;
          }
        case ZELM_WAVE_TREE_SEG_TYPE_CURVE:
          {
            VornCurve *c = seg->data.curve;
            if (c->count < 1)
              break;
            const double x_first = c->xcoords[0];
            auto px = [&] (int k) { return x + (c->xcoords[k] - x_first) * hs; };
            auto py = [&] (int k) { return c->ycoords[k] * rh + top; };
            path_to (cr, px (0), py (0));
            for (int k = 0; k + 3 < VORN_CURVE_COORD_LENGTH (c); k += 3)
              cairo_curve_to (cr, px (k + 1), py (k + 1), px (k + 2), py (k + 2), px (k + 3),
                              py (k + 3));
            break;
          }
        case ZELM_WAVE_TREE_SEG_TYPE_CONST:
          path_to (cr, x, seg->data.value * rh + top);
          path_to (cr, x + w, seg->data.value * rh + top);
          break;
        default:
          break;
        }
      x += w;
    }
  if (have_color && cairo_has_current_point (cr))
    {
      zelm_util_set_rgba_uint (cr, color);
      cairo_stroke (cr);
    }
  cairo_restore (cr);
}

static void
draw_icon (GtkWidget *widget, cairo_t *cr, const char *name, double top)
{
  GtkIconTheme *theme = gtk_icon_theme_get_for_screen (gtk_widget_get_screen (widget));
  cairo_surface_t *surface =
    gtk_icon_theme_load_surface (theme, name, ICON_SIZE, gtk_widget_get_scale_factor (widget),
                                 gtk_widget_get_window (widget), GTK_ICON_LOOKUP_FORCE_SIZE,
                                 nullptr);
  if (!surface)
    return;
  cairo_set_source_surface (cr, surface, 0, top);
  cairo_paint (cr);
  cairo_surface_destroy (surface);
}

static gboolean
zelm_wave_tree_draw (GtkWidget *widget, cairo_t *cr)
{
  ZelmWaveTree *tree = ZELM_WAVE_TREE (widget);
  const double width = tree->width;

  zelm_util_set_rgba_uint (cr, BG_COLOR);
  cairo_paint (cr);

  PangoLayout *layout = pango_cairo_create_layout (cr);
  PangoFontDescription *font = pango_font_description_from_string ("Arial");
  pango_font_description_set_absolute_size (font, tree->font_size * PANGO_SCALE);
  pango_layout_set_font_description (layout, font);
  pango_font_description_free (font);
  update_depth (tree);

  double y = -tree->vscroll;
  gboolean first = TRUE;
  auto draw_row = [&] (GNode *node) {
    ZelmWaveTreeNode *row = row_of (node);
    const double h = row->collapsed ? 1.0 : tree->row_height;
    if (!first)
      {
        zelm_util_set_rgba_uint (cr, SEP_COLOR);
        cairo_rectangle (cr, 0, y, width, 1);
        cairo_fill (cr);
        y += 1;
      }
    first = FALSE;

    /* Rows outside the window only advance the position. */
    if (y < tree->height && y + h > 0)
      {
        const int depth = int (g_node_depth (node));
        for (int i = 0; i <= depth - 2; i++)
          {
            zelm_util_set_rgba_uint (cr, bar_colors[i % 4]);
            cairo_rectangle (cr, BAR_WIDTH * i, y, BAR_WIDTH, h);
            cairo_rectangle (cr, width - BAR_WIDTH - BAR_WIDTH * i, y, BAR_WIDTH, h);
            cairo_fill (cr);
          }
        if (!row->collapsed)
          {
            draw_segments (tree, cr, row, y);
            if (row->icon_name)
              draw_icon (widget, cr, row->icon_name, y);
            if (row->label)
              {
                /* Beside the icon, one pixel clear of it. */
                zelm_util_set_rgba_uint (cr, TEXT_COLOR);
                cairo_move_to (cr, row->icon_name ? ICON_SIZE + 1 : 0, y);
                pango_layout_set_text (layout, row->label, -1);
                pango_cairo_show_layout (cr, layout);
                cairo_new_path (cr);
              }
          }
      }
    y += h;
  };
  for_each_visible (tree->root, draw_row);
  g_object_unref (layout);
  return TRUE;
}

static gboolean
zelm_wave_tree_scroll_event (GtkWidget *widget, GdkEventScroll *event)
{
  ZelmWaveTree *tree = ZELM_WAVE_TREE (widget);
  double dx = 0, dy = 0;
  switch (event->direction)
    {
    case GDK_SCROLL_UP:
      dy = -1;
      break;
    case GDK_SCROLL_DOWN:
      dy = 1;
      break;
    case GDK_SCROLL_LEFT:
      dx = -1;
      break;
    case GDK_SCROLL_RIGHT:
      dx = 1;
      break;
    case GDK_SCROLL_SMOOTH:
      gdk_event_get_scroll_deltas (reinterpret_cast<GdkEvent *> (event), &dx, &dy);
      break;
    default:
      if (!(event->state & GDK_CONTROL_MASK))
        return FALSE;
    }
  ZelmWaveTreeView view = view_of (tree);
  zelm_wave_tree_view_wheel (&view, dx, dy, GdkModifierType (event->state),
                             event->x - BAR_WIDTH * tree->max_depth);
  set_view (tree, view);
  gtk_widget_queue_draw (widget);
  return TRUE;
}

static void
zelm_wave_tree_class_init (ZelmWaveTreeClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  GtkWidgetClass *widget_class = GTK_WIDGET_CLASS (klass);

  object_class->finalize = zelm_wave_tree_finalize;
  object_class->get_property = zelm_wave_tree_get_property;
  object_class->set_property = zelm_wave_tree_set_property;
  widget_class->draw = zelm_wave_tree_draw;
  widget_class->size_allocate = zelm_wave_tree_size_allocate;
  widget_class->scroll_event = zelm_wave_tree_scroll_event;
}

GtkWidget *
zelm_wave_tree_new (void)
{
  return GTK_WIDGET (g_object_new (ZELM_TYPE_WAVE_TREE, nullptr));
}

GNode *
zelm_wave_tree_insert_wave (ZelmWaveTree *tree, GNode *parent, GNode *sibling, const char *label,
                            const char *icon_name, gboolean collapsed)
{
  g_return_val_if_fail (ZELM_IS_WAVE_TREE (tree), nullptr);
  if (!parent)
    parent = tree->root;
  g_return_val_if_fail (!sibling || sibling->parent == parent, nullptr);

  ZelmWaveTreeNode *row = zelm_wave_tree_node_new ();
  row->label = g_strdup (label);
  row->icon_name = g_strdup (icon_name);
  row->collapsed = collapsed ? TRUE : FALSE;
  GNode *node = sibling ? g_node_insert_after (parent, sibling, g_node_new (row))
                        : g_node_prepend (parent, g_node_new (row));
  changed (tree);
  return node;
}

void
zelm_wave_tree_remove_wave (ZelmWaveTree *tree, GNode *node)
{
  g_return_if_fail (ZELM_IS_WAVE_TREE (tree));
  g_return_if_fail (node != NULL);
  g_return_if_fail (node != tree->root);

  g_node_traverse (node, G_PRE_ORDER, G_TRAVERSE_ALL, -1, free_row, nullptr);
  g_node_destroy (node);
  changed (tree);
  clamp_scroll (tree);
}

GNode *
zelm_wave_tree_get_nodes (ZelmWaveTree *tree)
{
  g_return_val_if_fail (ZELM_IS_WAVE_TREE (tree), nullptr);
  return tree->root;
}

static ZelmWaveTreeSeg *
insert_seg (ZelmWaveTree *tree, GNode *node, int index, ZelmWaveTreeSegType type)
{
  ZelmWaveTreeNode *row = row_of (node);
  auto *seg = g_new0 (ZelmWaveTreeSeg, 1);
  seg->type = guint8 (type);
  seg->fill_color = ZELM_WAVE_TREE_NO_FILL;
  seg->line_color = ZELM_WAVE_TREE_LINE_COLOR;
  if (index < 0 || guint (index) >= row->segs->len)
    g_ptr_array_add (row->segs, seg);
  else
    g_ptr_array_insert (row->segs, index, seg);
  changed (tree);
  return seg;
}

#define CHECK_ROW(tree, node)                                                                     \
  G_STMT_START                                                                                    \
  {                                                                                               \
    g_return_val_if_fail (ZELM_IS_WAVE_TREE (tree), nullptr);                                     \
    g_return_val_if_fail (node != NULL, nullptr);                                                 \
    g_return_val_if_fail (node->data != NULL, nullptr);                                           \
  }                                                                                               \
  G_STMT_END

ZelmWaveTreeSeg *
zelm_wave_tree_insert_seg_buf_double (ZelmWaveTree *tree, GNode *node, int index, double *buffer,
                                      guint32 n_samples)
{
  CHECK_ROW (tree, node);
  ZelmWaveTreeSeg *seg = insert_seg (tree, node, index, ZELM_WAVE_TREE_SEG_TYPE_BUF_DOUBLE);
  seg->owns_buffer = buffer == nullptr;
  seg->data.buffer = buffer ? buffer : g_new0 (double, n_samples);
  seg->n_samples = n_samples;
  return seg;
}

ZelmWaveTreeSeg *
zelm_wave_tree_insert_seg_buf_float (ZelmWaveTree *tree, GNode *node, int index, float *buffer,
                                     guint32 n_samples)
{
  CHECK_ROW (tree, node);
  ZelmWaveTreeSeg *seg = insert_seg (tree, node, index, ZELM_WAVE_TREE_SEG_TYPE_BUF_FLOAT);
  seg->owns_buffer = buffer == nullptr;
  seg->data.buffer = buffer ? buffer : g_new0 (float, n_samples);
  seg->n_samples = n_samples;
  return seg;
}

ZelmWaveTreeSeg *
zelm_wave_tree_insert_seg_curve (ZelmWaveTree *tree, GNode *node, int index, VornCurve *curve)
{
  CHECK_ROW (tree, node);
  g_return_val_if_fail (VORN_IS_CURVE (curve), nullptr);
  ZelmWaveTreeSeg *seg = insert_seg (tree, node, index, ZELM_WAVE_TREE_SEG_TYPE_CURVE);
  seg->data.curve = VORN_CURVE (g_object_ref (curve));
  return seg;
}

ZelmWaveTreeSeg *
zelm_wave_tree_insert_seg_const (ZelmWaveTree *tree, GNode *node, int index, double value,
                                 guint32 n_samples)
{
  CHECK_ROW (tree, node);
  ZelmWaveTreeSeg *seg = insert_seg (tree, node, index, ZELM_WAVE_TREE_SEG_TYPE_CONST);
  seg->data.value = value;
  seg->n_samples = n_samples;
  return seg;
}

void
zelm_wave_tree_set_hscale (ZelmWaveTree *tree, double pixels_per_sample)
{
  g_return_if_fail (ZELM_IS_WAVE_TREE (tree));
  ZelmWaveTreeView view = view_of (tree);
  zelm_wave_tree_view_zoom (&view, pixels_per_sample, 0);
  set_view (tree, view);
  gtk_widget_queue_draw (GTK_WIDGET (tree));
}

double
zelm_wave_tree_get_hscale (ZelmWaveTree *tree)
{
  g_return_val_if_fail (ZELM_IS_WAVE_TREE (tree), 1.0);
  return tree->hscale;
}

void
zelm_wave_tree_get_scroll (ZelmWaveTree *tree, double *x, double *y)
{
  g_return_if_fail (ZELM_IS_WAVE_TREE (tree));
  if (x)
    *x = tree->hscroll;
  if (y)
    *y = tree->vscroll;
}
