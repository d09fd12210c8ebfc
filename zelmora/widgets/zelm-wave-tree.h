/* zelm-wave-tree.h: a read-only tree of signal rows, each a strip of
 * buffers, curves and constant levels laid end to end */
#pragma once

#include <gtk/gtk.h>

#include "vorn-curve.h"

G_BEGIN_DECLS

typedef enum {
  ZELM_WAVE_TREE_SEG_TYPE_BUF_DOUBLE = 0,
  ZELM_WAVE_TREE_SEG_TYPE_BUF_FLOAT = 1,
  ZELM_WAVE_TREE_SEG_TYPE_CURVE = 2,
  ZELM_WAVE_TREE_SEG_TYPE_CONST = 3,
} ZelmWaveTreeSegType;

typedef enum {
  ZELM_WAVE_TREE_NODE_STATE_EXPANDED = 0,
  ZELM_WAVE_TREE_NODE_STATE_COLLAPSED = 1,
} ZelmWaveTreeNodeState;

#define ZELM_TYPE_WAVE_TREE_SEG_TYPE (zelm_wave_tree_seg_type_get_type ())
GType zelm_wave_tree_seg_type_get_type (void);
#define ZELM_TYPE_WAVE_TREE_NODE_STATE (zelm_wave_tree_node_state_get_type ())
GType zelm_wave_tree_node_state_get_type (void);

/* Fill colour that means "no fill", and the default line colour. */
#define ZELM_WAVE_TREE_NO_FILL    0x000000ffu
#define ZELM_WAVE_TREE_LINE_COLOR 0x0064ffffu

/**
 * ZelmWaveTreeSeg:
 * @type: #ZelmWaveTreeSegType
 * @owns_buffer: TRUE when the widget allocated @data.buffer and frees it
 * @fill_color: 0xRRGGBBAA behind the segment; %ZELM_WAVE_TREE_NO_FILL for none
 * @line_color: 0xRRGGBBAA of the trace
 * @data: the samples (doubles or floats), the curve (referenced) or the
 *   constant level
 * @n_samples: length in samples (curves use their own width instead)
 *
 * One piece of a row.  Values are drawn unflipped: 0 at the row's top, 1 at
 * its bottom.
 */
typedef struct {
  guint8 type;
  guint8 owns_buffer;
  guint32 fill_color;
  guint32 line_color;
  union {
    gpointer buffer;
    VornCurve *curve;
    double value;
  } data;
  guint32 n_samples;
} ZelmWaveTreeSeg;

/**
 * ZelmWaveTreeNode:
 * @segs: the row's #ZelmWaveTreeSeg records, in drawing order (owned)
 * @label: (nullable): text at the row's top left (owned)
 * @icon_name: (nullable): icon at the row's top left (owned)
 * @hscale: free for the caller (1.0; the widget does not use it)
 * @vscale: free for the caller (1.0; the widget does not use it)
 * @collapsed: TRUE: the row is a 1-pixel line and its children are hidden
 *
 * The data of every #GNode of a wave tree.
 */
typedef struct {
  GPtrArray *segs;
  char *label;
  char *icon_name;
  double hscale;
  double vscale;
  guint8 collapsed;
} ZelmWaveTreeNode;

#define ZELM_TYPE_WAVE_TREE (zelm_wave_tree_get_type ())
G_DECLARE_FINAL_TYPE (ZelmWaveTree, zelm_wave_tree, ZELM, WAVE_TREE, GtkDrawingArea)

/* Returns: (transfer floating): an empty wave tree. */
GtkWidget *zelm_wave_tree_new (void);

/* Returns: (transfer full): an empty row record (no segments, scales 1.0);
 * free it with zelm_wave_tree_node_free(). */
ZelmWaveTreeNode *zelm_wave_tree_node_new (void);

/* Frees @row with its strings and segments, releasing curves and the
 * buffers the widget allocated.  NULL is ignored. */
void zelm_wave_tree_node_free (ZelmWaveTreeNode *row);

/**
 * zelm_wave_tree_insert_wave:
 * @tree: a wave tree
 * @parent: (nullable): the parent row, NULL for the top level
 * @sibling: (nullable): the row to insert after, NULL to insert first
 * @label: (nullable): text of the row (copied)
 * @icon_name: (nullable): icon of the row (copied)
 * @collapsed: whether the row starts collapsed
 *
 * Returns: (transfer none): the new row's node, owned by @tree; NULL on a
 *   wrong argument.
 */
GNode *zelm_wave_tree_insert_wave (ZelmWaveTree *tree, GNode *parent, GNode *sibling,
                                   const char *label, const char *icon_name, gboolean collapsed);

/* Frees the row of @node and of all its descendants and destroys them. */
void zelm_wave_tree_remove_wave (ZelmWaveTree *tree, GNode *node);

/* Returns: (transfer none): the root node (it carries no row); every row is
 * a #ZelmWaveTreeNode in its node's data. */
GNode *zelm_wave_tree_get_nodes (ZelmWaveTree *tree);

/**
 * zelm_wave_tree_insert_seg_buf_double:
 * @tree: a wave tree
 * @node: a row of @tree
 * @index: position among the row's segments; -1 or beyond the end appends
 * @buffer: (nullable): @n_samples doubles the caller keeps alive for as long
 *   as the segment exists; NULL: the widget allocates zeroed ones and owns
 *   them
 * @n_samples: length
 *
 * Returns: (transfer none): the stored segment, for filling the buffer or
 *   changing colours (queue a redraw after later changes); NULL on a wrong
 *   argument.
 */
ZelmWaveTreeSeg *zelm_wave_tree_insert_seg_buf_double (ZelmWaveTree *tree, GNode *node, int index,
                                                       double *buffer, guint32 n_samples);

/* As zelm_wave_tree_insert_seg_buf_double() with floats. */
ZelmWaveTreeSeg *zelm_wave_tree_insert_seg_buf_float (ZelmWaveTree *tree, GNode *node, int index,
                                                      float *buffer, guint32 n_samples);

/* A curve segment (the segment takes a reference); otherwise as above. */
ZelmWaveTreeSeg *zelm_wave_tree_insert_seg_curve (ZelmWaveTree *tree, GNode *node, int index,
                                                  VornCurve *curve);

/* A constant level @value over @n_samples; otherwise as above. */
ZelmWaveTreeSeg *zelm_wave_tree_insert_seg_const (ZelmWaveTree *tree, GNode *node, int index,
                                                  double value, guint32 n_samples);

/* Scroll offsets in pixels, as the mouse wheel sets them (vertical wheel,
 * Shift + wheel horizontal; clamped so the content stays in view). */
void zelm_wave_tree_get_scroll (ZelmWaveTree *tree, double *x, double *y);

/* Horizontal scale in pixels per sample (1.0 at first; 1/1024 to 64).
 * Control + wheel halves or doubles it around the pointer; setting it keeps
 * the sample at the left edge of the traces in place. */
void zelm_wave_tree_set_hscale (ZelmWaveTree *tree, double pixels_per_sample);
double zelm_wave_tree_get_hscale (ZelmWaveTree *tree);

/**
 * ZelmWaveTreeView:
 * @hscale: pixels per sample
 * @hscroll: horizontal offset, pixels
 * @vscroll: vertical offset, pixels
 * @trace_width: the trace area's width: the widget's less the nesting bars
 * @height: the widget's height
 * @samples: the widest visible row's length in samples
 * @rows_height: the visible rows' height with their separators
 * @row_step: a row and its separator, one notch of the wheel
 *
 * The scrolling state of a wave tree with the geometry it depends on, for
 * the wheel arithmetic without a display.
 */
typedef struct {
  double hscale, hscroll, vscroll;
  double trace_width, height, samples, rows_height, row_step;
} ZelmWaveTreeView;

/* Keeps the offsets where content is still in view.  Returns: TRUE when
 * they moved. */
gboolean zelm_wave_tree_view_clamp (ZelmWaveTreeView *view);

/* Sets the scale (clamped to 1/1024 .. 64) keeping the sample @anchor
 * pixels into the trace area in place. */
void zelm_wave_tree_view_zoom (ZelmWaveTreeView *view, double hscale, double anchor);

/* A wheel movement of @dx, @dy notches (down and right positive) with the
 * modifiers @state, the pointer @anchor pixels into the trace area: a notch
 * scrolls a row step down or a quarter of the trace area across, Shift
 * turns vertical into horizontal, Control zooms by an octave per notch (up
 * zooms in) around the pointer. */
void zelm_wave_tree_view_wheel (ZelmWaveTreeView *view, double dx, double dy,
                                GdkModifierType state, double anchor);

G_END_DECLS
