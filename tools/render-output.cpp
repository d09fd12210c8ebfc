/* render-output.cpp: zelmora-render's WAV output and progress line */
#include "render-output.h"
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

/* Follows symbolic links from @path to the file they name.  *exists tells
 * whether it exists, and @st then describes it.  Returns false with errno
 * set when a link cannot be read or the chain is too long. */
bool
resolve_target (const char *path, std::string *target, struct stat *st, bool *exists)
{
  std::string current = path;
  for (int hops = 0; hops < 40; hops++)
    {
      if (lstat (current.c_str (), st) != 0)
        {
          *exists = false;
          *target = current;
          return errno == ENOENT;
        }
      if (!S_ISLNK (st->st_mode))
        {
          *exists = true;
          *target = current;
          return true;
        }
      g_autofree char *link = g_file_read_link (current.c_str (), nullptr);
      if (!link)
        return false;
      if (g_path_is_absolute (link))
        current = link;
      else
        {
          g_autofree char *dir = g_path_get_dirname (current.c_str ());
          g_autofree char *next = g_build_filename (dir, link, nullptr);
          current = next;
        }
    }
  errno = ELOOP;
  return false;
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
  if (!resolve_target (output, &target_, &st, &exists_))
    return *problem = errno_problem ("cannot write " + output_, errno), false;
  if (exists_ && S_ISDIR (st.st_mode))
    return *problem = output_ + " is a directory", false;
  direct_ = exists_ && !S_ISREG (st.st_mode);
  /* A file nobody may write stays as it is, even for root, as in an editor. */
  if (exists_ && !direct_ && ((st.st_mode & 0222) == 0 || access (target_.c_str (), W_OK) != 0))
    return *problem = output_ + " is read-only; choose another output file", false;
  mode_ = st.st_mode & 07777;
  uid_ = st.st_uid;
  gid_ = st.st_gid;

  if (direct_)
    {
      /* Opening a FIFO would wait for its reader and a device may not seek,
       * so the file is made complete elsewhere first. */
      GError *error = nullptr;
      fd_ = g_file_open_tmp (".zelmora-render-XXXXXX.wav", &path_, &error);
      if (fd_ < 0)
        {
          *problem = "cannot write " + output_ + ": " + error->message;
          g_error_free (error);
          return false;
        }
    }
  else
    {
      g_autofree char *dir = g_path_get_dirname (target_.c_str ());
      path_ = g_build_filename (dir, ".zelmora-render-XXXXXX", nullptr);
      fd_ = g_mkstemp_full (path_, O_RDWR | O_CLOEXEC, 0666);
      if (fd_ < 0)
        {
          const int err = errno;
          g_clear_pointer (&path_, g_free);
          return *problem = errno_problem ("cannot write " + output_, err), false;
        }
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
  if (written == sf_count_t (count))
    return true;
  *problem = "cannot write " + output_ + ": " + sf_strerror (file_);
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
  if (exists_ && (uid_ != geteuid () || gid_ != getegid ()))
    {
      /* Only a privileged user can give the file back to its owner; for
       * anyone else it was theirs already. */
      const int ignored = fchown (fd_, uid_, gid_);
      (void) ignored;
    }
  if ((exists_ && fchmod (fd_, mode_) != 0) || fsync (fd_) != 0 || close (std::exchange (fd_, -1)) != 0)
    return *problem = errno_problem ("cannot write " + output_, errno), false;
  if (g_rename (path_, target_.c_str ()) != 0)
    return *problem = errno_problem ("cannot replace " + output_, errno), false;
  g_clear_pointer (&path_, g_free);
  return true;
}

void
WavOutput::discard ()
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
