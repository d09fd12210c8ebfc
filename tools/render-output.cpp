/* render-output.cpp: zelmora-render's WAV output and progress line */
#include "render-output.h"
#include "vorn-file-replace.h"
#include "vorn-init.h"

#include <glib/gstdio.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

std::string
errno_problem (const std::string &what, int err)
{
  return what + ": " + g_strerror (err);
}

/* The nearest of the 2 * @steps + 1 levels from -1 to 1, as an integer. */
inline long
quantize (float x, double steps)
{
  const double v = x >= 1.0f ? 1.0 : x <= -1.0f ? -1.0 : x == x ? double (x) : 0.0;
  return std::lround (v * steps);
}

} // namespace

bool
WavOutput::open (const char *output, const SF_INFO &format, const char *title, std::string *problem)
{
  output_ = output;
  struct stat st;
  gboolean exists = FALSE;
  g_autoptr (GError) error = nullptr;
  g_autofree char *target = vorn_file_resolve_links (output, &exists, &st, &error);
  if (!target)
    return *problem = error->message, false;
  target_ = target;
  if (exists && S_ISDIR (st.st_mode))
    return *problem = output_ + " is a directory", false;
  direct_ = exists && !S_ISREG (st.st_mode);
  if (direct_)
    {
      /* Opening a FIFO would wait for its reader and a device may not seek,
       * so the file is made complete elsewhere first. */
      fd_ = g_file_open_tmp (".zelmora-render-XXXXXX.wav", &path_, &error);
      if (fd_ < 0)
        return *problem = "cannot write " + output_ + ": " + error->message, false;
    }
  else
    {
      replace_ = vorn_file_replace_begin (output, &error);
      if (!replace_)
        return *problem = error->message, false;
      fd_ = vorn_file_replace_get_fd (replace_);
    }
  SF_INFO info = format;
  file_ = sf_open_fd (fd_, SFM_WRITE, &info, SF_FALSE);
  if (!file_)
    return *problem = "cannot write " + output_ + ": " + sf_strerror (nullptr), false;
  subtype_ = format.format & SF_FORMAT_SUBMASK;
  channels_ = format.channels;
  /* The PEAK chunk holds the time of writing. */
  sf_command (file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  sf_set_string (file_, SF_STR_SOFTWARE, vorn_app_name);
  if (title && *title)
    sf_set_string (file_, SF_STR_TITLE, title);
  return true;
}

bool
WavOutput::write (const float *frames, guint count, std::string *problem)
{
  const size_t n = size_t (count) * size_t (channels_);
  sf_count_t written = 0;
  /* libsndfile truncates towards minus infinity when it converts. */
  if (subtype_ == SF_FORMAT_PCM_16)
    {
      shorts_.resize (n);
      for (size_t i = 0; i < n; i++)
        shorts_[i] = short (quantize (frames[i], 32767.0));
      written = sf_writef_short (file_, shorts_.data (), count);
    }
  else if (subtype_ == SF_FORMAT_PCM_24)
    {
      /* 24-bit samples go in the top bits of an int. */
      ints_.resize (n);
      for (size_t i = 0; i < n; i++)
        ints_[i] = int (quantize (frames[i], 8388607.0) * 256);
      written = sf_writef_int (file_, ints_.data (), count);
    }
  else
    written = sf_writef_float (file_, frames, count);
  const int err = errno;
  if (written == sf_count_t (count))
    return true;
  /* libsndfile's text for a failed write does not say why. */
  *problem = "cannot write " + output_ + ": "
             + (sf_error (file_) == SF_ERR_SYSTEM && err ? g_strerror (err) : sf_strerror (file_));
  return false;
}

bool
WavOutput::copy_to_target (std::string *problem)
{
  const int out = ::open (target_.c_str (), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (out < 0)
    {
      const int err = errno;
      return *problem = err == EINTR ? "interrupted" : errno_problem ("cannot write " + output_, err), false;
    }
  bool ok = lseek (fd_, 0, SEEK_SET) == 0;
  int err = errno;
  char buffer[65536];
  while (ok)
    {
      const gssize n = read (fd_, buffer, sizeof buffer);
      if (n <= 0)
        {
          ok = n == 0;
          err = errno;
          break;
        }
      for (gssize done = 0; ok && done < n;)
        {
          const gssize w = ::write (out, buffer + done, size_t (n - done));
          if (w > 0)
            done += w;
          else
            ok = false, err = w == 0 ? ENOSPC : errno;
        }
    }
  if (close (out) != 0 && ok)
    ok = false, err = errno;
  if (!ok)
    *problem = err == EINTR ? "interrupted" : errno_problem ("cannot write " + output_, err);
  return ok;
}

bool
WavOutput::commit (std::string *problem)
{
  const int closed = sf_close (std::exchange (file_, nullptr));
  if (closed != 0)
    return *problem = "cannot write " + output_ + ": " + sf_error_number (closed), false;
  if (direct_)
    {
      if (!copy_to_target (problem))
        return false;
      discard ();
      return true;
    }
  fd_ = -1;
  g_autoptr (GError) error = nullptr;
  if (!vorn_file_replace_commit (std::exchange (replace_, nullptr), &error))
    return *problem = error->message, false;
  return true;
}

void
WavOutput::discard ()
{
  if (file_)
    sf_close (std::exchange (file_, nullptr));
  if (replace_)
    vorn_file_replace_abort (std::exchange (replace_, nullptr));
  else if (fd_ >= 0)
    close (fd_);
  fd_ = -1;
  if (path_)
    g_unlink (path_);
  g_clear_pointer (&path_, g_free);
}

void
Progress::update (guint64 pos)
{
  const gint64 now = g_get_monotonic_time ();
  if (!enabled_ || double (pos) <= rate_ || now - last_ < G_USEC_PER_SEC / 10)
    return;
  last_ = now;
  static const char bar[] = "##############################";
  const int width = int (sizeof bar) - 1;
  const double done = notes_end_ ? std::min (1.0, double (pos) / double (notes_end_)) : 1.0;
  const int fill = int (done * width);
  char line[128];
  if (pos < notes_end_)
    g_snprintf (line, sizeof line, "[%.*s%*s] %3d%%  %.1f s of %.1f s", fill, bar, width - fill, "",
                int (done * 100), double (pos) / rate_, double (notes_end_) / rate_);
  else
    g_snprintf (line, sizeof line, "[%s] 100%%  %.1f s, release tail %.1f s", bar,
                double (notes_end_) / rate_, double (pos - notes_end_) / rate_);
  fprintf (stderr, "\r%-70s", line);
  shown_ = true;
}

void
Progress::finish ()
{
  if (shown_)
    fprintf (stderr, "\r%70s\r", "");
  shown_ = false;
}
