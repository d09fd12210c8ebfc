/* zelm-piano.cpp: the on-screen piano keyboard */
#include "zelm-piano-private.h"

#include "vorn-value.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

enum {
  PROP_0,
  PROP_SYNTH,
  PROP_OCTAVE_START,
  PROP_OCTAVE_COUNT,
  PROP_CHANNEL,
  PROP_BG_COLOR,
  PROP_WHITE_KEY_COLOR,
  PROP_WHITE_KEY_BORDER_COLOR,
  PROP_WHITE_KEY_SEL_COLOR,
  PROP_WHITE_KEY_BORDER_SEL_COLOR,
  PROP_BLACK_KEY_SIDE_COLOR,
  PROP_BLACK_KEY_TOP_COLOR,
  PROP_BLACK_KEY_FRONT_COLOR,
  PROP_BLACK_KEY_SIDE_SEL_COLOR,
  PROP_BLACK_KEY_TOP_SEL_COLOR,
  PROP_BLACK_KEY_FRONT_SEL_COLOR,
  PROP_POINTER_BAR_COLOR,
  PROP_ZOOM_BAR_COLOR,
  N_PROPS
};

static GParamSpec *properties[N_PROPS];

static const struct {
  const char *name, *nick, *blurb;
  guint32 def;
} color_props[N_COLORS] = {
  { "bg-color", "BgColor", "Background color", 0x000000FF },
  { "white-key-color", "WhiteKeyColor", "White key color", 0xFFFFFFFF },
  { "white-key-border-color", "WhiteKeyBorderColor", "White key border color", 0xB4B4B4FF },
  { "white-key-sel-color", "WhiteKeySelColor", "White key select color", 0x3078FFFF },
  { "white-key-border-sel-color", "WhiteKeyBorderSelColor", "White key border select color",
    0x1660DAFF },
  { "black-key-side-color", "BlackKeySideColor", "Black key side color", 0x383838FF },
  { "black-key-top-color", "BlackKeyTopColor", "Black key top color", 0x26262EFF },
  { "black-key-front-color", "BlackKeyFrontColor", "Black key front color", 0x0A0A10FF },
  { "black-key-side-sel-color", "BlackKeySideSelColor", "Black key side select color",
    0x245ECCFF },
  { "black-key-top-sel-color", "BlackKeyTopSelColor", "Black key top select color", 0x204EA4FF },
  { "black-key-front-sel-color", "BlackKeyFrontSelColor", "Black key front select color",
    0x1C2658FF },
  { "pointer-bar-color", "PointerBarColor", "Pointer bar color", 0x000000FF },
  { "zoom-bar-color", "ZoomBarColor", "Zoom bar color", 0x2B5489FF },
};

#define DEFAULT_START  3
#define DEFAULT_COUNT  5
#define VELOCITY       127

/* Layout units: one octave of seven white keys is 161.4 units wide. */
#define OCTAVE_UNITS     161.4
#define WHITE_UNITS      22.2
#define BLACK_UNITS      11.8
#define BLACK_TOP_UNITS  9.4
#define MISSING_UNITS    46.4 /* A and B (with their gaps) above note 127 */

G_DEFINE_FINAL_TYPE (ZelmPiano, zelm_piano, GTK_TYPE_DRAWING_AREA)

static void
update_geometry (ZelmPiano *piano)
{
  int s = piano->octave_start, c = piano->octave_count;
  if (s + c > OCTAVE_MAX)
    c = OCTAVE_MAX + 1 - s;
  piano->effective_count = c;

  double units = c * OCTAVE_UNITS + (c - 1);
  if (s + c == OCTAVE_MAX)
    units -= MISSING_UNITS;

  double w = (piano->width - 4) * OCTAVE_UNITS / units;
  piano->octave_width = w;
  piano->white_width = w * WHITE_UNITS / OCTAVE_UNITS;
  piano->gap = w / OCTAVE_UNITS;
  piano->black_width = w * BLACK_UNITS / OCTAVE_UNITS;
  piano->black_top_width = w * BLACK_TOP_UNITS / OCTAVE_UNITS;
  piano->black_height = (piano->height - 20) * 86.0 / 137.0;
}

/* Left edge of visible octave @i. */
static double
octave_x (ZelmPiano *piano, int i)
{
  return 2 + i * (piano->octave_width + piano->gap);
}

double
zelm_piano_white_x (ZelmPiano *piano, int i, int k)
{
  return octave_x (piano, i) + k * (piano->gap + piano->white_width);
}

double
zelm_piano_black_x (ZelmPiano *piano, int i, int b)
{
  return octave_x (piano, i) + black_keys[b].offset * piano->gap;
}

/* Queues a redraw of the column of one key, when it is visible. */
static void
redraw_key (ZelmPiano *piano, int note)
{
  int first = piano->octave_start * 12;
  /* Before the first allocation there is nothing to redraw. */
  if (piano->width <= 3 || piano->height <= 4 || note < first ||
      note >= first + piano->effective_count * 12)
    return;

  int i = (note - first) / 12, semitone = note % 12;
  double left, right;
  if (vorn_util_midi_note_is_white (guint8 (note)))
    {
      int k = int (std::find (white_semitones, white_semitones + 7, semitone) - white_semitones);
      left = zelm_piano_white_x (piano, i, k);
      right = left + piano->white_width;
    }
  else
    {
      int b = 0;
      while (black_keys[b].semitone != semitone)
        b++;
      left = zelm_piano_black_x (piano, i, b);
      right = left + piano->black_width;
    }
  int x = int (std::floor (left));
  gtk_widget_queue_draw_area (GTK_WIDGET (piano), x, int (STRIP_HEIGHT),
                              int (std::ceil (right)) - x, piano->height - 4);
}

/* Clamps and stores the visible range; TRUE when it changed. */
static gboolean
store_octave (ZelmPiano *piano, int *field, int value, int min, GParamSpec *pspec)
{
  value = CLAMP (value, min, OCTAVE_MAX);
  if (value == *field)
    return FALSE;
  *field = value;
  update_geometry (piano);
  g_object_notify_by_pspec (G_OBJECT (piano), pspec);
  return TRUE;
}

static void
set_octave_start (ZelmPiano *piano, int value)
{
  store_octave (piano, &piano->octave_start, value, 0, properties[PROP_OCTAVE_START]);
  gtk_widget_queue_draw (GTK_WIDGET (piano));
}

static void
set_octave_count (ZelmPiano *piano, int value)
{
  store_octave (piano, &piano->octave_count, value, 1, properties[PROP_OCTAVE_COUNT]);
  gtk_widget_queue_draw (GTK_WIDGET (piano));
}

static void
zelm_piano_init (ZelmPiano *piano)
{
  piano->keys = zelm_piano_keys_new ();
  new (&piano->pointers) std::vector<Pointer> ();
  piano->octave_start = DEFAULT_START;
  piano->octave_count = DEFAULT_COUNT;
  piano->mouse_note = -1;
  for (int i = 0; i < N_COLORS; i++)
    piano->colors[i] = color_props[i].def;

  gtk_widget_set_can_focus (GTK_WIDGET (piano), TRUE);
  atk_object_set_name (gtk_widget_get_accessible (GTK_WIDGET (piano)), "Piano keyboard");
  gtk_widget_add_events (GTK_WIDGET (piano),
                         GDK_POINTER_MOTION_MASK | GDK_BUTTON1_MOTION_MASK |
                           GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_SCROLL_MASK);
}

static void
free_pointer (Pointer &p)
{
  g_free (p.name);
  g_free (p.text);
  g_clear_object (&p.icon);
}

static void
stop_mouse_note (ZelmPiano *piano)
{
  if (piano->synth)
    vorn_synth_note_off (piano->synth, piano->device_id, 0, piano->mouse_channel,
                         guint8 (piano->mouse_note), VELOCITY);
  zelm_piano_note_off (piano, piano->device_id, 0, piano->mouse_channel,
                       guint8 (piano->mouse_note));
  piano->mouse_note = -1;
}

static void
start_mouse_note (ZelmPiano *piano, int note)
{
  piano->mouse_note = note;
  piano->mouse_channel = piano->channel;
  if (piano->synth)
    vorn_synth_note_on (piano->synth, piano->device_id, 0, piano->channel, guint8 (note),
                        VELOCITY, nullptr);
  zelm_piano_note_on (piano, piano->device_id, 0, piano->channel, guint8 (note));
}

static void
zelm_piano_finalize (GObject *object)
{
  ZelmPiano *piano = ZELM_PIANO (object);

  /* A voice started by a click must not outlive the widget that would stop it. */
  if (piano->mouse_note >= 0 && piano->synth)
    vorn_synth_note_off (piano->synth, piano->device_id, 0, piano->mouse_channel,
                         guint8 (piano->mouse_note), VELOCITY);
  for (Pointer &p : piano->pointers)
    free_pointer (p);
  piano->pointers.~vector ();
  zelm_piano_keys_free (piano->keys);
  g_clear_object (&piano->synth);
  G_OBJECT_CLASS (zelm_piano_parent_class)->finalize (object);
}

static void
zelm_piano_constructed (GObject *object)
{
  ZelmPiano *piano = ZELM_PIANO (object);

  G_OBJECT_CLASS (zelm_piano_parent_class)->constructed (object);
  if (piano->synth)
    piano->device_id = guint16 (vorn_synth_get_device_id (piano->synth));
  update_geometry (piano);
}

static void
zelm_piano_get_property (GObject *object, guint prop_id, GValue *value, GParamSpec *pspec)
{
  ZelmPiano *piano = ZELM_PIANO (object);

  switch (prop_id)
    {
    case PROP_SYNTH:
      g_value_set_object (value, piano->synth);
      break;
    case PROP_OCTAVE_START:
      g_value_set_int (value, piano->octave_start);
      break;
    case PROP_OCTAVE_COUNT:
      g_value_set_int (value, piano->octave_count);
      break;
    case PROP_CHANNEL:
      g_value_set_int (value, piano->channel);
      break;
    default:
      if (prop_id >= PROP_BG_COLOR && prop_id < N_PROPS)
        g_value_set_uint (value, piano->colors[prop_id - PROP_BG_COLOR]);
      else
        G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
zelm_piano_set_property (GObject *object, guint prop_id, const GValue *value, GParamSpec *pspec)
{
  ZelmPiano *piano = ZELM_PIANO (object);

  switch (prop_id)
    {
    case PROP_SYNTH:
      g_set_object (&piano->synth, static_cast<VornSynth *> (g_value_get_object (value)));
      break;
    case PROP_OCTAVE_START:
      set_octave_start (piano, g_value_get_int (value));
      break;
    case PROP_OCTAVE_COUNT:
      set_octave_count (piano, g_value_get_int (value));
      break;
    case PROP_CHANNEL:
      if (piano->channel != g_value_get_int (value))
        {
          piano->channel = g_value_get_int (value);
          g_object_notify_by_pspec (object, pspec);
        }
      break;
    default:
      if (prop_id >= PROP_BG_COLOR && prop_id < N_PROPS)
        {
          guint32 &color = piano->colors[prop_id - PROP_BG_COLOR];
          if (color != g_value_get_uint (value))
            {
              color = g_value_get_uint (value);
              g_object_notify_by_pspec (object, pspec);
            }
          gtk_widget_queue_draw (GTK_WIDGET (piano));
        }
      else
        G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
    }
}

static void
zelm_piano_size_allocate (GtkWidget *widget, GtkAllocation *allocation)
{
  ZelmPiano *piano = ZELM_PIANO (widget);

  GTK_WIDGET_CLASS (zelm_piano_parent_class)->size_allocate (widget, allocation);
  piano->width = allocation->width;
  piano->height = allocation->height;
  update_geometry (piano);
}

/* ---- the visible range, free of any display ------------------------------ */

void
zelm_piano_range_drag (int *start, int *count, int edge, int pos)
{
  pos = CLAMP (pos, 0, OCTAVE_MAX);
  const int s = *start, c = *count;
  if (edge == 1)
    {
      if (s + c - pos >= 1)
        *start = pos, *count = s + c - pos;
    }
  else if (pos - s >= 1)
    *count = pos - s;
}

void
zelm_piano_range_scroll (int *start, int *count, GdkScrollDirection dir, gboolean shift)
{
  const int s = *start, c = *count;
  if (shift && dir == GDK_SCROLL_UP)
    dir = GDK_SCROLL_LEFT;
  else if (shift && dir == GDK_SCROLL_DOWN)
    dir = GDK_SCROLL_RIGHT;

  switch (dir)
    {
    case GDK_SCROLL_UP:
      if (c > 2)
        *count = c - 1;
      break;
    case GDK_SCROLL_DOWN:
      if (s + c < OCTAVE_MAX)
        *count = c + 1;
      else if (s > 0)
        *start = s - 1, *count = c + 1;
      break;
    case GDK_SCROLL_LEFT:
      if (s > 0)
        *start = s - 1;
      break;
    case GDK_SCROLL_RIGHT:
      if (s + c <= OCTAVE_MAX - 1)
        *start = s + 1;
      break;
    default:
      break;
    }
}

/* Stores a new visible range, notifying both properties together. */
static void
set_range (ZelmPiano *piano, int start, int count)
{
  g_object_freeze_notify (G_OBJECT (piano));
  set_octave_start (piano, start);
  set_octave_count (piano, count);
  g_object_thaw_notify (G_OBJECT (piano));
}

static void
zoom_drag_to (ZelmPiano *piano, double x)
{
  int s = piano->octave_start, c = piano->octave_count;
  const int pos = int (std::lround (OCTAVE_MAX * x / piano->width));
  zelm_piano_range_drag (&s, &c, piano->zoom_drag, pos);
  set_range (piano, s, c);
}

static void
on_button_press (ZelmPiano *piano, GdkEventButton *event)
{
  if (event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_PRIMARY)
    return;

  if (event->y < STRIP_HEIGHT)
    {
      double left = piano->octave_start * double (piano->width) / OCTAVE_MAX;
      double right = (piano->octave_start + piano->octave_count) * double (piano->width) /
                     OCTAVE_MAX;
      piano->zoom_drag = std::fabs (event->x - left) < std::fabs (event->x - right) ? 1 : 2;
      return;
    }

  int note = zelm_piano_get_note_at (piano, event->x, event->y);
  if (note < 0)
    return;
  if (piano->mouse_note >= 0)
    stop_mouse_note (piano);
  start_mouse_note (piano, note);
  gtk_widget_grab_focus (GTK_WIDGET (piano));
}

static void
on_motion (ZelmPiano *piano, GdkEventMotion *event)
{
  if (piano->zoom_drag)
    {
      zoom_drag_to (piano, event->x);
      return;
    }
  if (piano->mouse_note < 0)
    return;

  /* Off the top or bottom edge the sweep follows the black keys, so a
   * glissando can be played along the edge. */
  double y = event->y;
  if (y < 0 || y >= piano->height)
    y = KEY_TOP;
  int note = zelm_piano_get_note_at (piano, event->x, y);
  if (note >= 0 && note != piano->mouse_note)
    {
      stop_mouse_note (piano);
      start_mouse_note (piano, note);
    }
}

static void
on_button_release (ZelmPiano *piano, GdkEventButton *event)
{
  if (event->button != GDK_BUTTON_PRIMARY)
    return;
  if (piano->mouse_note >= 0)
    stop_mouse_note (piano);
  else
    piano->zoom_drag = 0;
}

static void
on_scroll (ZelmPiano *piano, GdkEventScroll *event)
{
  int s = piano->octave_start, c = piano->octave_count;
  zelm_piano_range_scroll (&s, &c, event->direction, (event->state & GDK_SHIFT_MASK) != 0);
  set_range (piano, s, c);
}

static gboolean
zelm_piano_event (GtkWidget *widget, GdkEvent *event)
{
  ZelmPiano *piano = ZELM_PIANO (widget);

  switch (event->type)
    {
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
      on_button_press (piano, &event->button);
      return TRUE;
    case GDK_BUTTON_RELEASE:
      on_button_release (piano, &event->button);
      return TRUE;
    case GDK_MOTION_NOTIFY:
      on_motion (piano, &event->motion);
      return TRUE;
    case GDK_SCROLL:
      on_scroll (piano, &event->scroll);
      return TRUE;
    case GDK_GRAB_BROKEN:
      /* The release will never come: let go of what the button held. */
      if (piano->mouse_note >= 0)
        stop_mouse_note (piano);
      piano->zoom_drag = 0;
      return FALSE;
    default:
      return GTK_WIDGET_CLASS (zelm_piano_parent_class)->event
               ? GTK_WIDGET_CLASS (zelm_piano_parent_class)->event (widget, event)
               : FALSE;
    }
}

static void
zelm_piano_class_init (ZelmPianoClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);
  GtkWidgetClass *widget_class = GTK_WIDGET_CLASS (klass);

  object_class->constructed = zelm_piano_constructed;
  object_class->finalize = zelm_piano_finalize;
  object_class->get_property = zelm_piano_get_property;
  object_class->set_property = zelm_piano_set_property;
  widget_class->size_allocate = zelm_piano_size_allocate;
  widget_class->draw = zelm_piano_draw;
  widget_class->event = zelm_piano_event;

  const auto flags = GParamFlags (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                  G_PARAM_EXPLICIT_NOTIFY);
  properties[PROP_SYNTH] =
    g_param_spec_object ("synth", "Synth", "Synthesizer object", VORN_TYPE_SYNTH,
                         GParamFlags (G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY |
                                      G_PARAM_STATIC_STRINGS));
  /* Lax validation: writes outside the range are clamped, not refused. */
  const auto lax = GParamFlags (flags | G_PARAM_LAX_VALIDATION);
  properties[PROP_OCTAVE_START] =
    g_param_spec_int ("octave-start", "OctaveStart", "Start MIDI octave", 0, OCTAVE_MAX,
                      DEFAULT_START, lax);
  properties[PROP_OCTAVE_COUNT] =
    g_param_spec_int ("octave-count", "OctaveCount", "Count of octaves to show", 1, OCTAVE_MAX,
                      DEFAULT_COUNT, lax);
  properties[PROP_CHANNEL] =
    g_param_spec_int ("channel", "Channel", "MIDI channel to send events on", 0, 127, 0, flags);
  for (int i = 0; i < N_COLORS; i++)
    properties[PROP_BG_COLOR + i] =
      g_param_spec_uint (color_props[i].name, color_props[i].nick, color_props[i].blurb, 0,
                         G_MAXUINT32, color_props[i].def, flags);

  g_object_class_install_properties (object_class, N_PROPS, properties);
}

GtkWidget *
zelm_piano_new (VornSynth *synth)
{
  return GTK_WIDGET (g_object_new (ZELM_TYPE_PIANO, "synth", synth, nullptr));
}

void
zelm_piano_note_on (ZelmPiano *piano, guint16 device, guint sub_id, int channel, guint8 note)
{
  g_return_if_fail (ZELM_IS_PIANO (piano));

  if (zelm_piano_keys_press (piano->keys, device, sub_id, channel, note))
    redraw_key (piano, note);
}

void
zelm_piano_note_off (ZelmPiano *piano, guint16 device, guint sub_id, int channel, guint8 note)
{
  g_return_if_fail (ZELM_IS_PIANO (piano));

  if (zelm_piano_keys_release (piano->keys, device, sub_id, channel, note))
    redraw_key (piano, note);
}

void
zelm_piano_all_notes_off (ZelmPiano *piano)
{
  g_return_if_fail (ZELM_IS_PIANO (piano));

  if (zelm_piano_keys_release_all (piano->keys))
    gtk_widget_queue_draw (GTK_WIDGET (piano));
}

int
zelm_piano_get_note_at (ZelmPiano *piano, double x, double y)
{
  g_return_val_if_fail (ZELM_IS_PIANO (piano), -1);

  const double g = piano->gap, w = piano->octave_width;
  if (x < 2 - g || x >= piano->width + g - 2 || w <= 0)
    return -1;

  int i = int (std::floor ((x + g - 2) / (g + w)));
  if (i >= piano->effective_count)
    return -1;
  double p = 0.5 * g - i * (g + w) + (x - 2);

  /* Black keys above note 127 are not drawn; the white key shows there. */
  const int base = (piano->octave_start + i) * 12;
  int semitone = -1;
  if (y < KEY_TOP + piano->black_height)
    for (const auto &b : black_keys)
      {
        double o = b.offset * g;
        if (o <= p && p <= o + piano->black_width + g && base + b.semitone < 128)
          {
            semitone = b.semitone;
            break;
          }
      }
  if (semitone < 0)
    {
      int k = CLAMP (int (std::floor (p / (g + piano->white_width))), 0, 6);
      semitone = white_semitones[k];
    }

  int note = base + semitone;
  return note < 128 ? note : -1;
}

static Pointer *
find_pointer (ZelmPiano *piano, const char *name)
{
  for (Pointer &p : piano->pointers)
    if (strcmp (p.name, name) == 0)
      return &p;
  return nullptr;
}

void
zelm_piano_add_pointer (ZelmPiano *piano, const char *name, GdkPixbuf *icon, const char *text,
                        ZelmPianoPointerPriority priority, guint8 note)
{
  g_return_if_fail (ZELM_IS_PIANO (piano));
  g_return_if_fail (name != nullptr);
  g_return_if_fail (GDK_IS_PIXBUF (icon));

  piano->pointers.push_back ({ g_strdup (name), GDK_PIXBUF (g_object_ref (icon)),
                                g_strdup (text), guint8 (priority), note });
}

void
zelm_piano_remove_pointer (ZelmPiano *piano, const char *name)
{
  g_return_if_fail (ZELM_IS_PIANO (piano));
  g_return_if_fail (name != nullptr);

  Pointer *p = find_pointer (piano, name);
  if (!p)
    return;
  free_pointer (*p);
  piano->pointers.erase (piano->pointers.begin () + (p - piano->pointers.data ()));
}

void
zelm_piano_set_pointer (ZelmPiano *piano, const char *name, guint8 note)
{
  g_return_if_fail (ZELM_IS_PIANO (piano));
  g_return_if_fail (name != nullptr);

  if (Pointer *p = find_pointer (piano, name))
    p->note = note;
}

int
zelm_piano_get_pointer (ZelmPiano *piano, const char *name)
{
  g_return_val_if_fail (ZELM_IS_PIANO (piano), -1);
  g_return_val_if_fail (name != nullptr, -1);

  Pointer *p = find_pointer (piano, name);
  return p ? p->note : -1;
}

void
zelm_piano_note_name (int note, char *buf, gsize size)
{
  static const char *const names[12] = { "C", "C#", "D", "D#", "E", "F",
                                         "F#", "G", "G#", "A", "A#", "B" };
  if (note < 0 || note > 127)
    g_strlcpy (buf, "", size);
  else
    g_snprintf (buf, size, "%s%d", names[note % 12], note / 12 - 1);
}
