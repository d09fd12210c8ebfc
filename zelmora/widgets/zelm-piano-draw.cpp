/* zelm-piano-draw.cpp: drawing the keys, their octave names and the zoom bar */
#include "zelm-piano-private.h"

#include "zelm-util.h"

#define FACE_DEPTH 0.8470588 /* where a black key's top face meets its front */

/* Black key left of white key k (-1: none) and right of it. */
static const int black_left_of[7] = { -1, 0, 1, -1, 2, 3, 4 };
static const int black_right_of[7] = { 0, 1, -1, 2, 3, 4, -1 };

static gboolean
is_held (ZelmPiano *piano, int note)
{
  return zelm_piano_keys_lit (piano->keys, note);
}

/* Adds the outline of white key @k of visible octave @i, inset by half a
 * gap so that its stroke stays inside the key. */
static void
white_key_path (ZelmPiano *piano, cairo_t *cr, int i, int k, int note)
{
  const double g = piano->gap, r = g / 2;
  const double left = zelm_piano_white_x (piano, i, k) + r;
  const double right = left + piano->white_width - g;
  const double top = STRIP_HEIGHT - r;
  const double notch_y = KEY_TOP + piano->black_height + g;
  const double bottom_cy = piano->height - 2 - 1.5 * g;
  const int bl = black_left_of[k], br = note == 127 ? -1 : black_right_of[k];

  cairo_new_sub_path (cr);
  if (bl >= 0)
    {
      double nx = zelm_piano_black_x (piano, i, bl) + piano->black_width + g;
      cairo_move_to (cr, nx, top);
    }
  else
    cairo_move_to (cr, left, top);

  if (br >= 0)
    {
      double nx = zelm_piano_black_x (piano, i, br) - g;
      cairo_line_to (cr, nx, top);
      cairo_arc_negative (cr, nx + r, notch_y - r, r, G_PI, G_PI / 2);
      cairo_arc (cr, right - r, notch_y + r, r, -G_PI / 2, 0);
    }
  else
    cairo_line_to (cr, right, top);

  cairo_arc (cr, right - g, bottom_cy, g, 0, G_PI / 2);
  cairo_arc (cr, left + g, bottom_cy, g, G_PI / 2, G_PI);

  if (bl >= 0)
    {
      double nx = zelm_piano_black_x (piano, i, bl) + piano->black_width + g;
      cairo_arc (cr, left + r, notch_y + r, r, G_PI, 3 * G_PI / 2);
      cairo_arc_negative (cr, nx - r, notch_y - r, r, G_PI / 2, 0);
    }
  cairo_close_path (cr);
}

static void
black_key_path (ZelmPiano *piano, cairo_t *cr, int i, int b)
{
  const double r = piano->gap / 2;
  const double left = zelm_piano_black_x (piano, i, b), right = left + piano->black_width;
  const double bottom = KEY_TOP + piano->black_height;

  cairo_new_sub_path (cr);
  cairo_move_to (cr, left, STRIP_HEIGHT);
  cairo_line_to (cr, right, STRIP_HEIGHT);
  cairo_arc (cr, right - r, bottom - r, r, 0, G_PI / 2);
  cairo_arc (cr, left + r, bottom - r, r, G_PI / 2, G_PI);
  cairo_close_path (cr);
}

/* The top face of a black key: narrower than the key at the top, widening
 * to the full key at its front edge. */
static void
black_face_path (ZelmPiano *piano, cairo_t *cr, int i, int b)
{
  const double left = zelm_piano_black_x (piano, i, b), right = left + piano->black_width;
  const double centre = left + piano->black_width / 2, half = piano->black_top_width / 2;
  const double bottom = KEY_TOP + piano->black_height;
  const double front = KEY_TOP + FACE_DEPTH * piano->black_height;

  cairo_move_to (cr, centre - half, STRIP_HEIGHT);
  cairo_line_to (cr, centre + half, STRIP_HEIGHT);
  cairo_line_to (cr, centre + half, front);
  cairo_line_to (cr, right, bottom);
  cairo_line_to (cr, left, bottom);
  cairo_line_to (cr, centre - half, front);
  cairo_close_path (cr);
}

/* Calls @fn (octave index, key index, note) for every visible key of one
 * colour whose held state is @held. */
template <typename Fn>
static void
for_each_key (ZelmPiano *piano, gboolean white, gboolean held, Fn fn)
{
  for (int i = 0; i < piano->effective_count; i++)
    {
      int base = (piano->octave_start + i) * 12;
      for (int k = 0; k < (white ? 7 : 5); k++)
        {
          int note = base + (white ? white_semitones[k] : black_keys[k].semitone);
          if (note <= 127 && is_held (piano, note) == held)
            fn (i, k, note);
        }
    }
}

static void
draw_keys (ZelmPiano *piano, cairo_t *cr, gboolean held)
{
  const guint32 *c = piano->colors;

  cairo_new_path (cr);
  for_each_key (piano, TRUE, held, [&] (int i, int k, int note) {
    white_key_path (piano, cr, i, k, note);
  });
  zelm_util_set_rgba_uint (cr, c[held ? COLOR_WHITE_SEL : COLOR_WHITE]);
  cairo_fill_preserve (cr);
  cairo_set_line_width (cr, piano->gap);
  zelm_util_set_rgba_uint (cr, c[held ? COLOR_WHITE_BORDER_SEL : COLOR_WHITE_BORDER]);
  cairo_stroke (cr);

  bool any = false;
  for_each_key (piano, FALSE, held, [&] (int i, int b, int) {
    black_key_path (piano, cr, i, b);
    any = true;
  });
  if (!any)
    return;
  zelm_util_set_rgba_uint (cr, c[held ? COLOR_BLACK_SIDE_SEL : COLOR_BLACK_SIDE]);
  cairo_save (cr);
  cairo_fill_preserve (cr);
  cairo_clip (cr);
  for_each_key (piano, FALSE, held, [&] (int i, int b, int) { black_face_path (piano, cr, i, b); });
  const double bottom = KEY_TOP + piano->black_height;
  cairo_pattern_t *gradient = cairo_pattern_create_linear (0, 2, 0, bottom);
  guint32 top = c[held ? COLOR_BLACK_TOP_SEL : COLOR_BLACK_TOP];
  guint32 front = c[held ? COLOR_BLACK_FRONT_SEL : COLOR_BLACK_FRONT];
  zelm_util_add_color_stop_rgba (gradient, 0, top);
  zelm_util_add_color_stop_rgba (gradient, 216.0 / 255.0, top);
  zelm_util_add_color_stop_rgba (gradient, 249.0 / 255.0, front);
  zelm_util_add_color_stop_rgba (gradient, 1, front);
  cairo_set_source (cr, gradient);
  cairo_fill (cr);
  cairo_pattern_destroy (gradient);
  cairo_restore (cr);
}

/* "C2", "C3"...: the name of each octave on its C key, where it fits. */
static void
draw_octave_labels (ZelmPiano *piano, cairo_t *cr)
{
  PangoLayout *layout = gtk_widget_create_pango_layout (GTK_WIDGET (piano), nullptr);
  PangoFontDescription *font = pango_font_description_copy (
      pango_context_get_font_description (pango_layout_get_context (layout)));
  pango_font_description_set_absolute_size (font, 9 * PANGO_SCALE);
  pango_layout_set_font_description (layout, font);
  pango_font_description_free (font);
  zelm_util_set_rgba_uint (cr, piano->colors[COLOR_BLACK_SIDE]);
  for (int i = 0; i < piano->effective_count; i++)
    {
      char name[8];
      zelm_piano_note_name ((piano->octave_start + i) * 12, name, sizeof name);
      pango_layout_set_text (layout, name, -1);
      int w, h;
      pango_layout_get_pixel_size (layout, &w, &h);
      if (w + 2 > piano->white_width || h + KEY_TOP + piano->black_height > piano->height)
        continue;
      cairo_move_to (cr, zelm_piano_white_x (piano, i, 0) + (piano->white_width - w) / 2,
                     piano->height - 4 - piano->gap - h);
      pango_cairo_show_layout (cr, layout);
    }
  g_object_unref (layout);
}

gboolean
zelm_piano_draw (GtkWidget *widget, cairo_t *cr)
{
  ZelmPiano *piano = ZELM_PIANO (widget);
  const double width = piano->width;

  zelm_util_set_rgba_uint (cr, piano->colors[COLOR_BG]);
  cairo_paint (cr);
  if (piano->width <= 3)
    return TRUE;

  draw_keys (piano, cr, FALSE);
  draw_keys (piano, cr, TRUE);
  draw_octave_labels (piano, cr);

  zelm_util_set_rgba_uint (cr, piano->colors[COLOR_POINTER_BAR]);
  cairo_rectangle (cr, 0, 0, width, STRIP_HEIGHT);
  cairo_fill (cr);
  zelm_util_set_rgba_uint (cr, piano->colors[COLOR_ZOOM_BAR]);
  cairo_rectangle (cr, piano->octave_start * width / OCTAVE_MAX, 0,
                   piano->octave_count * width / OCTAVE_MAX, STRIP_HEIGHT);
  cairo_fill (cr);
  return TRUE;
}
