/* render-midi.cpp: note events from --note options and Standard MIDI Files */
#include "render-midi.h"

#include <glib/gstdio.h>
#include <smf.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

/* Reads a variable-length quantity of at most four bytes. */
bool
read_vlq (const guint8 *d, gsize n, gsize *i, guint32 *value)
{
  *value = 0;
  for (int k = 0; k < 4 && *i < n; k++)
    {
      const guint8 b = d[(*i)++];
      *value = (*value << 7) | (b & 0x7f);
      if (!(b & 0x80))
        return true;
    }
  return false;
}

void
put_vlq (GByteArray *out, guint32 value)
{
  guint8 bytes[4];
  int k = 0;
  do
    bytes[k++] = value & 0x7f, value >>= 7;
  while (value && k < 4);
  while (k > 1)
    {
      const guint8 b = bytes[--k] | 0x80;
      g_byte_array_append (out, &b, 1);
    }
  g_byte_array_append (out, bytes, 1);
}

void
put_be (GByteArray *out, guint32 value, int bytes)
{
  while (bytes--)
    {
      const guint8 b = guint8 (value >> (8 * bytes));
      g_byte_array_append (out, &b, 1);
    }
}

/* Appends one track chunk holding only the channel messages, tempo and time
 * signature events of the track @d, every status written out and an end of
 * track at the end.  Returns what is wrong with the track, or nullptr. */
const char *
copy_track (const guint8 *d, gsize n, GByteArray *out)
{
  GByteArray *track = g_byte_array_new ();
  gsize i = 0;
  guint8 running = 0;
  guint64 delta = 0, total = 0;
  const char *problem = nullptr;
  while (i < n && !problem)
    {
      guint32 step = 0, length = 0;
      if (!read_vlq (d, n, &i, &step) || i >= n)
        {
          problem = "an event is cut short";
          break;
        }
      delta += step;
      total += step;
      /* Running status, which may outlive meta events in files in the
       * wild, applies to channel messages only. */
      const guint8 status = d[i] & 0x80 ? d[i++] : running;
      if (status >= 0x80 && status < 0xf0)
        {
          length = (status & 0xe0) == 0xc0 ? 1 : 2;
          if (i + length > n || (d[i] & 0x80) || (length == 2 && (d[i + 1] & 0x80)))
            problem = "a channel message is malformed";
          else
            {
              put_vlq (track, guint32 (delta));
              g_byte_array_append (track, &status, 1);
              g_byte_array_append (track, d + i, length);
              delta = 0;
              running = status;
            }
        }
      else if (status == 0xff)
        {
          const guint8 type = i < n ? d[i++] : 0xff;
          if (type & 0x80 || !read_vlq (d, n, &i, &length) || length > n - i)
            problem = "a meta event is malformed";
          else if (type == 0x2f)
            break;
          else if ((type == 0x51 && length == 3) || (type == 0x58 && length == 4))
            {
              put_vlq (track, guint32 (delta));
              const guint8 head[] = { 0xff, type, guint8 (length) };
              g_byte_array_append (track, head, 3);
              g_byte_array_append (track, d + i, length);
              delta = 0;
            }
        }
      else if (status == 0xf0 || status == 0xf7)
        {
          if (!read_vlq (d, n, &i, &length) || length > n - i)
            problem = "a system exclusive event is malformed";
        }
      else
        problem = status ? "an event has an unknown status" : "a data byte has no status";
      i += length;
      if (total > G_MAXINT32 / 2)
        problem = "the track is too long";
    }
  if (!problem)
    {
      put_vlq (track, guint32 (delta));
      const guint8 end[] = { 0xff, 0x2f, 0x00 };
      g_byte_array_append (track, end, 3);
      g_byte_array_append (out, reinterpret_cast<const guint8 *> ("MTrk"), 4);
      put_be (out, track->len, 4);
      g_byte_array_append (out, track->data, track->len);
    }
  g_byte_array_unref (track);
  return problem;
}

/* The library asserts on some malformed files (and misreads long meta
 * events) instead of failing, so it only ever sees a cleaned copy: the
 * header and the tracks rebuilt by copy_track().  Returns what is wrong
 * with the file, or nullptr. */
const char *
clean_smf (const guint8 *d, gsize n, GByteArray *out)
{
  if (n < 14 || memcmp (d, "MThd", 4) != 0)
    return "no MIDI file header";
  const guint32 header = guint32 (d[4]) << 24 | guint32 (d[5]) << 16 | d[6] << 8 | d[7];
  if (header < 6 || header > n - 8)
    return "the header is malformed";
  /* Headers the library refuses are refused here, as it leaks when it
   * fails. */
  const guint format = guint (d[8]) << 8 | d[9], tracks = guint (d[10]) << 8 | d[11];
  if (format > 1)
    return format == 2 ? "format 2 (independent sequences) is not supported" : "the header is malformed";
  if (d[12] & 0x80)
    return "SMPTE time division is not supported";
  if ((d[12] | d[13]) == 0)
    return "the header is malformed";
  g_byte_array_append (out, d, 14);
  out->data[7] = 6;
  out->data[4] = out->data[5] = out->data[6] = 0;

  guint found = 0;
  for (gsize pos = 8 + header; found < tracks && pos < n;)
    {
      if (n - pos < 8)
        return "the file is cut short";
      const guint32 length = guint32 (d[pos + 4]) << 24 | guint32 (d[pos + 5]) << 16 | d[pos + 6] << 8 | d[pos + 7];
      if (length > n - pos - 8)
        return "the file is cut short";
      /* Chunks of other kinds are skipped. */
      if (memcmp (d + pos, "MTrk", 4) == 0)
        {
          if (const char *problem = copy_track (d + pos + 8, length, out))
            return problem;
          found++;
        }
      pos += 8 + gsize (length);
    }
  if (found == 0)
    return "it has no tracks";
  out->data[10] = guint8 (found >> 8);
  out->data[11] = guint8 (found);
  return nullptr;
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
render_parse_midi (const guint8 *data, gsize size, const char *name, int channel, double rate,
                   std::vector<RenderEvent> &events, GError **error)
{
  if (size > gsize (G_MAXINT))
    {
      g_set_error (error, G_FILE_ERROR, G_FILE_ERROR_INVAL, "%s: file too large for a MIDI file", name);
      return FALSE;
    }
  g_autoptr (GByteArray) clean = g_byte_array_new ();
  if (const char *problem = clean_smf (data, size, clean))
    {
      g_set_error (error, G_FILE_ERROR, G_FILE_ERROR_INVAL, "%s: not a valid MIDI file: %s", name, problem);
      return FALSE;
    }

  g_autoptr (GString) complaints = g_string_new (nullptr);
  GLogFunc previous = g_log_set_default_handler (collect_log, complaints);
  smf_t *smf = smf_load_from_memory (clean->data, int (clean->len));
  g_log_set_default_handler (previous, nullptr);
  if (!smf)
    {
      g_set_error (error, G_FILE_ERROR, G_FILE_ERROR_INVAL, "%s: not a valid MIDI file%s%s", name,
                   complaints->len ? ": " : "", complaints->str);
      return FALSE;
    }
  if (complaints->len)
    g_printerr ("zelmora-render: %s: %s\n", name, complaints->str);

  /* The sources of the sounding notes of each channel and pitch, oldest
   * first (from index `first` on), so that overlapping notes of one pitch
   * are separate voices that each end at their own note-off. */
  struct Held
  {
    std::vector<guint> sources;
    size_t first = 0;
  };
  std::vector<Held> held (16 * 128);
  guint next_source = 1;
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
      Held &h = held[chan * 128u + note];
      guint source;
      if (on)
        h.sources.push_back (source = next_source++);
      else if (h.first < h.sources.size ())
        {
          source = h.sources[h.first++];
          if (h.first == h.sources.size ())
            h.sources.clear (), h.first = 0;
        }
      else
        continue;
      events.push_back ({ to_frame (event->time_seconds, rate), source, chan, note, velocity, on, true });
    }

  /* A file may end with notes still held; they are released where it ends,
   * as a player does when it stops. */
  const guint64 end = to_frame (smf_get_length_seconds (smf), rate);
  for (guint i = 0; i < held.size (); i++)
    for (size_t k = held[i].first; k < held[i].sources.size (); k++)
      events.push_back ({ end, held[i].sources[k], guint8 (i / 128), guint8 (i % 128), 64, false, true });

  smf_delete (smf);
  return TRUE;
}

gboolean
render_read_midi (const char *path, int channel, double rate, std::vector<RenderEvent> &events,
                  GError **error)
{
  /* Opened without blocking and checked before reading: a FIFO or a device
   * would hang or never end, and a huge file would fill the memory. */
  const int fd = g_open (path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
  if (fd < 0)
    {
      const int err = errno;
      g_set_error (error, G_FILE_ERROR, g_file_error_from_errno (err), "%s: %s", path, g_strerror (err));
      return FALSE;
    }
  static const char too_large[] = "too large for a MIDI file (the limit is 16 MiB)";
  struct stat st;
  const char *problem = nullptr;
  if (fstat (fd, &st) != 0)
    problem = g_strerror (errno);
  else if (!S_ISREG (st.st_mode))
    problem = "not a regular file";
  else if (st.st_size > RENDER_MIDI_MAX_SIZE)
    problem = too_large;

  /* One byte more than the limit is read, to notice a file that grew. */
  std::vector<guint8> data;
  if (!problem)
    {
      data.resize (gsize (st.st_size) + 1);
      gsize used = 0;
      while (used < data.size ())
        {
          const gssize n = read (fd, data.data () + used, data.size () - used);
          if (n < 0 && errno == EINTR)
            continue;
          if (n <= 0)
            {
              if (n < 0)
                problem = g_strerror (errno);
              break;
            }
          used += gsize (n);
          if (used == data.size () && used <= RENDER_MIDI_MAX_SIZE)
            data.resize (MIN (2 * used, gsize (RENDER_MIDI_MAX_SIZE) + 1));
        }
      data.resize (used);
      if (used > RENDER_MIDI_MAX_SIZE)
        problem = too_large;
    }
  close (fd);
  if (problem)
    {
      g_set_error (error, G_FILE_ERROR, G_FILE_ERROR_INVAL, "%s: %s", path, problem);
      return FALSE;
    }
  return render_parse_midi (data.data (), data.size (), path, channel, rate, events, error);
}
