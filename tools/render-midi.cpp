/* render-midi.cpp: note events from --note options and Standard MIDI Files */
#include "render-midi.h"

#include <smf.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

guint64
to_frame (double seconds, double rate)
{
  return guint64 (std::llround (CLAMP (seconds, 0.0, RENDER_MAX_SECONDS) * rate));
}

/* An empty field keeps *value. */
bool
parse_seconds (const char *field, double *value)
{
  if (!*field)
    return true;
  char *end = nullptr;
  const double v = g_ascii_strtod (field, &end);
  if (*end || !std::isfinite (v) || v < 0.0 || v > RENDER_MAX_SECONDS)
    return false;
  *value = v;
  return true;
}

bool
parse_int (const char *field, gint64 min, gint64 max, int *value)
{
  if (!*field)
    return true;
  gint64 v = 0;
  if (!g_ascii_string_to_signed (field, 10, min, max, &v, nullptr))
    return false;
  *value = int (v);
  return true;
}

/* Collects the library's complaints about a file, which it logs instead of
 * returning them. */
void
collect_log (const char *, GLogLevelFlags level, const char *message, gpointer data)
{
  if (!(level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)))
    return;
  GString *text = static_cast<GString *> (data);
  if (text->len)
    g_string_append (text, "; ");
  g_string_append (text, message);
}

} // namespace

gboolean
render_parse_note (const char *spec, guint source, double rate, std::vector<RenderEvent> &events,
                   GError **error)
{
  g_auto (GStrv) fields = g_strsplit (spec, ":", 0);
  const guint count = g_strv_length (fields);
  int note = -1, velocity = 100;
  double start = 0.0, length = 1.0;
  const char *problem = nullptr;

  if (count == 0 || count > 4)
    problem = "expected NOTE[:START[:LENGTH[:VELOCITY]]]";
  else if (!*fields[0] || !parse_int (fields[0], 0, 127, &note))
    problem = "the note must be a MIDI note number 0-127";
  else if (count > 1 && !parse_seconds (fields[1], &start))
    problem = "the start must be a number of seconds, 0 or more";
  else if (count > 2 && !parse_seconds (fields[2], &length))
    problem = "the length must be a number of seconds, 0 or more";
  else if (count > 3 && !parse_int (fields[3], 1, 127, &velocity))
    problem = "the velocity must be 1-127";
  else if (start + length > RENDER_MAX_SECONDS)
    problem = "the note ends too late";
  if (problem)
    {
      g_set_error (error, G_OPTION_ERROR, G_OPTION_ERROR_BAD_VALUE, "--note=%s: %s", spec, problem);
      return FALSE;
    }

  RenderEvent on = { to_frame (start, rate), source, 0, guint8 (note), guint8 (velocity), true, false };
  RenderEvent off = on;
  off.frame = to_frame (start + length, rate);
  off.velocity = 64;
  off.on = false;
  events.push_back (on);
  events.push_back (off);
  return TRUE;
}

gboolean
render_read_midi (const char *path, int channel, double rate, std::vector<RenderEvent> &events,
                  GError **error)
{
  g_autofree char *data = nullptr;
  gsize size = 0;
  if (!g_file_get_contents (path, &data, &size, error))
    return FALSE;
  if (size > gsize (G_MAXINT))
    {
      g_set_error (error, G_FILE_ERROR, G_FILE_ERROR_INVAL, "%s: file too large for a MIDI file", path);
      return FALSE;
    }

  g_autoptr (GString) complaints = g_string_new (nullptr);
  GLogFunc previous = g_log_set_default_handler (collect_log, complaints);
  smf_t *smf = smf_load_from_memory (data, int (size));
  g_log_set_default_handler (previous, nullptr);
  if (!smf)
    {
      g_set_error (error, G_FILE_ERROR, G_FILE_ERROR_INVAL, "%s: not a valid MIDI file%s%s", path,
                   complaints->len ? ": " : "", complaints->str);
      return FALSE;
    }
  if (complaints->len)
    g_printerr ("zelmora-render: %s: %s\n", path, complaints->str);

  bool held[16][128] = {};
  smf_rewind (smf);
  while (smf_event_t *event = smf_get_next_event (smf))
    {
      if (smf_event_is_metadata (event) || event->midi_buffer_length < 3)
        continue;
      const guint8 status = event->midi_buffer[0], kind = status & 0xf0, chan = status & 0x0f;
      if ((kind != 0x80 && kind != 0x90) || (channel && chan != channel - 1))
        continue;
      const guint8 note = event->midi_buffer[1] & 0x7f, velocity = event->midi_buffer[2] & 0x7f;
      const bool on = kind == 0x90 && velocity > 0;
      events.push_back ({ to_frame (event->time_seconds, rate), 0, chan, note, velocity, on, true });
      held[chan][note] = on;
    }

  /* A file may end with notes still held; they are released where it ends,
   * as a player does when it stops. */
  const guint64 end = to_frame (smf_get_length_seconds (smf), rate);
  for (guint8 c = 0; c < 16; c++)
    for (guint8 n = 0; n < 128; n++)
      if (held[c][n])
        events.push_back ({ end, 0, c, n, 64, false, true });

  smf_delete (smf);
  return TRUE;
}
