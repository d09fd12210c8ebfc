/* zelm-scale-private.h: the scale's state, shared by its events and its
 * drawing (not installed) */
#pragma once

#include "zelm-scale.h"
#include "zelm-value-text.h"
#include "zelm-widget-geometry.h"

/* Colour properties in PROP order, starting with PROP_BG_COLOR. */
enum {
  COLOR_BG,
  COLOR_FG,
  COLOR_CENTER,
  COLOR_SLIDE1,
  COLOR_SLIDE2,
  COLOR_COEFF,
  COLOR_EXP1,
  COLOR_EXP2,
  COLOR_ACTIVE,
  COLOR_INACTIVE,
  COLOR_HIGHLIGHT,
  N_COLORS
};

/* Buttons at the ends of the rows; 0 is none. */
enum {
  BUTTON_NONE,
  BUTTON_SLIDE_LEFT,
  BUTTON_SLIDE_RIGHT,
  BUTTON_PLUS,
  BUTTON_MINUS,
  BUTTON_EXP_DOWN,
  BUTTON_EXP_UP,
};

/* Geometry in pixels, from the allocation, the margin and the text. */
struct Layout : ZelmScaleLayout {
  int text_w;
};

struct _ZelmScale {
  GtkDrawingArea parent_instance;

  double value;
  double min_val;
  double max_val;
  int digits;
  double sens;
  double margin;
  double text_size;
  double slider_portion;
  guint32 colors[N_COLORS];

  int width, height;
  int drag_mode;
  int hover;
  double drag_x;           /* pointer x where the drag started */
  double drag_value;       /* value when the drag started */
  double last_x;           /* latest pointer x of the drag */
  gboolean control;        /* Control held during the drag */
  double stripe_offset;
  PangoLayout *text;       /* the printed value, kept across draws */
  Layout lay;
  ZelmValueUnit unit;
  double press_value;      /* value before the latest press */
  double pair_value;       /* ...and before the one ahead of it: a double-click's
                            * second press comes as a press of its own too */
  GtkWidget *popover;      /* the typing entry's, made on first use */
  GtkWidget *entry;
  GtkWidget *error;        /* why the typed text was refused */
};

/* zelm-scale.cpp */
/* Lays out the rows for the current size, margin, portion and text. */
const Layout &zelm_scale_update_layout (ZelmScale *scale);

/* zelm-scale-draw.cpp */
/* The draw vfunc: the three rows and the buttons at their ends. */
gboolean zelm_scale_draw (GtkWidget *widget, cairo_t *cr);
