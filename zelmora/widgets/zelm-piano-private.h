/* zelm-piano-private.h: the piano's state and key geometry, shared by its
 * events and its drawing (not installed) */
#pragma once

#include "zelm-piano.h"

#include "zelm-piano-keys.h"

#include <vector>

/* Colour properties in PROP order, starting with PROP_BG_COLOR. */
enum {
  COLOR_BG,
  COLOR_WHITE,
  COLOR_WHITE_BORDER,
  COLOR_WHITE_SEL,
  COLOR_WHITE_BORDER_SEL,
  COLOR_BLACK_SIDE,
  COLOR_BLACK_TOP,
  COLOR_BLACK_FRONT,
  COLOR_BLACK_SIDE_SEL,
  COLOR_BLACK_TOP_SEL,
  COLOR_BLACK_FRONT_SEL,
  COLOR_POINTER_BAR,
  COLOR_ZOOM_BAR,
  N_COLORS
};

#define OCTAVE_MAX     11 /* MIDI octaves 0..10 hold notes 0..127 */
#define STRIP_HEIGHT   16.0 /* the top strip with the zoom bar */
#define KEY_TOP        18.0 /* where black keys and notches are measured from */

/* Black keys C#, D#, F#, G#, A#: start offset in units and semitone. */
static const struct {
  double offset;
  int semitone;
} black_keys[5] = { { 14.4, 1 }, { 42.4, 3 }, { 82.8, 6 }, { 109.6, 8 }, { 136.4, 10 } };

/* Semitone of each white key C..B. */
static const int white_semitones[7] = { 0, 2, 4, 5, 7, 9, 11 };

struct Pointer {
  char *name;
  GdkPixbuf *icon;
  char *text;
  guint8 priority;
  guint8 note;
};

struct _ZelmPiano {
  GtkDrawingArea parent_instance;

  VornSynth *synth;
  guint16 device_id;
  int octave_start;
  int octave_count;
  int channel;
  guint32 colors[N_COLORS];

  ZelmPianoKeys *keys;             /* the lit keys */
  int mouse_note;                  /* held by the mouse, or -1 */
  int mouse_channel;
  int zoom_drag;                   /* 0 none, 1 left edge, 2 right edge */
  std::vector<Pointer> pointers;

  /* Geometry in pixels, from the allocation and the visible octaves. */
  int effective_count;
  int width, height;
  double octave_width, white_width, gap, black_width, black_top_width, black_height;
};

/* zelm-piano.cpp */
/* Left edge of white key @k (0..6) of visible octave @i, in pixels. */
double zelm_piano_white_x (ZelmPiano *piano, int i, int k);
/* Left edge of black key @b (0..4, as in black_keys) of visible octave @i. */
double zelm_piano_black_x (ZelmPiano *piano, int i, int b);

/* zelm-piano-draw.cpp */
/* The draw vfunc: the keys, lit or not, their octave names and the zoom bar. */
gboolean zelm_piano_draw (GtkWidget *widget, cairo_t *cr);
