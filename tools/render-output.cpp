/* render-output.cpp: zelmora-render's WAV output and progress line */
#include "render-output.h"
#include "vorn-init.h"

#include <glib/gstdio.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

bool
TempWav::open (const char *output, const SF_INFO &format, const char *title, std::string *problem)
{
  if (g_file_test (output, G_FILE_TEST_IS_DIR))
    return *problem = std::string (output) + " is a directory", false;
  g_autofree char *dir = g_path_get_dirname (output);
  path_ = g_build_filename (dir, ".zelmora-render-XXXXXX", nullptr);
  fd_ = g_mkstemp_full (path_, O_RDWR | O_CLOEXEC, 0666);
  if (fd_ < 0)
    {
      const int err = errno;
      g_clear_pointer (&path_, g_free);
      return *problem = std::string ("cannot write ") + output + ": " + g_strerror (err), false;
    }
  SF_INFO info = format;
  file_ = sf_open_fd (fd_, SFM_WRITE, &info, SF_FALSE);
  if (!file_)
    return *problem = std::string ("cannot write ") + output + ": " + sf_strerror (nullptr), false;
  sf_command (file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  sf_set_string (file_, SF_STR_SOFTWARE, vorn_app_name);
  if (title && *title)
    sf_set_string (file_, SF_STR_TITLE, title);
  return true;
}

bool
TempWav::write (const float *frames, guint count, std::string *problem)
{
  if (sf_writef_float (file_, frames, count) == sf_count_t (count))
    return true;
  *problem = std::string ("writing failed: ") + sf_strerror (file_);
  return false;
}

bool
TempWav::commit (const char *output, std::string *problem)
{
  const int closed = sf_close (std::exchange (file_, nullptr));
  if (closed != 0)
    return *problem = std::string ("writing failed: ") + sf_error_number (closed), false;
  if (fsync (fd_) != 0 || close (std::exchange (fd_, -1)) != 0)
    return *problem = std::string ("writing failed: ") + g_strerror (errno), false;
  if (g_rename (path_, output) != 0)
    return *problem = std::string ("cannot replace ") + output + ": " + g_strerror (errno), false;
  g_clear_pointer (&path_, g_free);
  return true;
}

void
TempWav::discard ()
{
  if (file_)
    sf_close (std::exchange (file_, nullptr));
  if (fd_ >= 0)
    close (std::exchange (fd_, -1));
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
