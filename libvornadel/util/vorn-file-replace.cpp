/* vorn-file-replace.cpp: replacing a file by renaming a temporary over it */
#include "vorn-file-replace.h"

#include <glib/gstdio.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

struct _VornFileReplace {
  char *path;   /* as the caller named it, for messages */
  char *target; /* the file it names, links followed */
  char *temp;
  int fd;
  gboolean exists;
  struct stat st;
};

static void
set_errno_error (GError **error, int err, const char *path)
{
  g_set_error (error, G_FILE_ERROR, g_file_error_from_errno (err), "Cannot save '%s': %s", path,
               g_strerror (err));
}

char *
vorn_file_resolve_links (const char *path, gboolean *exists, struct stat *st, GError **error)
{
  g_return_val_if_fail (path && exists && st, nullptr);

  g_autofree char *current = g_strdup (path);
  for (int hops = 0; hops < 40; hops++)
    {
      if (lstat (current, st) != 0)
        {
          if (errno != ENOENT)
            {
              set_errno_error (error, errno, path);
              return nullptr;
            }
          *exists = FALSE;
          return g_steal_pointer (&current);
        }
      if (!S_ISLNK (st->st_mode))
        {
          *exists = TRUE;
          return g_steal_pointer (&current);
        }
      g_autofree char *link = g_file_read_link (current, nullptr);
      if (!link)
        {
          set_errno_error (error, errno, path);
          return nullptr;
        }
      if (g_path_is_absolute (link))
        g_free (std::exchange (current, g_steal_pointer (&link)));
      else
        {
          g_autofree char *dir = g_path_get_dirname (current);
          g_free (std::exchange (current, g_build_filename (dir, link, nullptr)));
        }
    }
  set_errno_error (error, ELOOP, path);
  return nullptr;
}

/* Temporaries are named ".BASE.PID.XXXXXX": the process that made one is
 * known, so a save can remove what a killed save of the same file left
 * without touching another process's save in progress. */
static void
remove_stale_temps (const char *dir, const char *base)
{
  g_autoptr (GDir) d = g_dir_open (dir, 0, nullptr);
  if (!d)
    return;
  const gsize base_len = strlen (base);
  while (const char *name = g_dir_read_name (d))
    {
      if (name[0] != '.' || strncmp (name + 1, base, base_len) != 0 || name[1 + base_len] != '.')
        continue;
      const char *digits = name + 2 + base_len;
      char *end = nullptr;
      errno = 0;
      const unsigned long pid = strtoul (digits, &end, 10);
      if (end == digits || errno || pid == 0 || pid > G_MAXINT || *end != '.' || strlen (end + 1) != 6)
        continue;
      /* EPERM: it lives, under another user. */
      if (kill (pid_t (pid), 0) == 0 || errno != ESRCH)
        continue;
      g_autofree char *stale = g_build_filename (dir, name, nullptr);
      g_unlink (stale);
    }
}

VornFileReplace *
vorn_file_replace_begin (const char *path, GError **error)
{
  g_return_val_if_fail (path, nullptr);
  g_return_val_if_fail (!error || !*error, nullptr);

  g_autoptr (VornFileReplace) r = g_new0 (VornFileReplace, 1);
  r->fd = -1;
  r->path = g_strdup (path);
  r->target = vorn_file_resolve_links (path, &r->exists, &r->st, error);
  if (!r->target)
    return nullptr;
  if (r->exists && !S_ISREG (r->st.st_mode))
    {
      g_set_error (error, G_FILE_ERROR, S_ISDIR (r->st.st_mode) ? G_FILE_ERROR_ISDIR : G_FILE_ERROR_FAILED,
                   "Cannot save '%s': it is not a regular file", path);
      return nullptr;
    }
  if (r->exists && ((r->st.st_mode & 0222) == 0 || access (r->target, W_OK) != 0))
    {
      g_set_error (error, G_FILE_ERROR, G_FILE_ERROR_ACCES, "Cannot save '%s': the file is read-only", path);
      return nullptr;
    }

  /* Beside the target, so that the rename stays on one file system. */
  g_autofree char *dir = g_path_get_dirname (r->target);
  g_autofree char *base = g_path_get_basename (r->target);
  remove_stale_temps (dir, base);
  g_autofree char *name = g_strdup_printf (".%s.%ld.XXXXXX", base, long (getpid ()));
  r->temp = g_build_filename (dir, name, nullptr);
  r->fd = g_mkstemp_full (r->temp, O_RDWR | O_CLOEXEC, 0666);
  if (r->fd < 0)
    {
      set_errno_error (error, errno, path);
      g_clear_pointer (&r->temp, g_free);
      return nullptr;
    }
  return g_steal_pointer (&r);
}

int
vorn_file_replace_get_fd (VornFileReplace *replace)
{
  g_return_val_if_fail (replace, -1);
  return replace->fd;
}

gboolean
vorn_file_replace_commit (VornFileReplace *replace, GError **error)
{
  g_return_val_if_fail (replace, FALSE);
  g_autoptr (VornFileReplace) r = replace;

  bool ok = true;
  if (r->exists)
    {
      ok = fchmod (r->fd, r->st.st_mode & 07777) == 0;
      /* Only a privileged caller can give the file back to its owner; for
       * anyone else the file was theirs already, and a failure is ignored. */
      if (ok && (r->st.st_uid != geteuid () || r->st.st_gid != getegid ()))
        {
          int ignored = fchown (r->fd, r->st.st_uid, r->st.st_gid);
          (void) ignored;
        }
    }
  /* The old content goes only once the new is on the disk. */
  ok = ok && fsync (r->fd) == 0;
  int err = ok ? 0 : errno;
  if (close (std::exchange (r->fd, -1)) != 0 && ok)
    ok = false, err = errno;
  if (ok && rename (r->temp, r->target) != 0)
    ok = false, err = errno;
  if (!ok)
    {
      set_errno_error (error, err ? err : EIO, r->path);
      return FALSE;
    }
  g_clear_pointer (&r->temp, g_free);
  return TRUE;
}

void
vorn_file_replace_abort (VornFileReplace *replace)
{
  if (!replace)
    return;
  if (replace->fd >= 0)
    close (replace->fd);
  if (replace->temp)
    g_unlink (replace->temp);
  g_free (replace->temp);
  g_free (replace->target);
  g_free (replace->path);
  g_free (replace);
}

static bool
write_all (int fd, const char *data, gsize length)
{
  while (length > 0)
    {
      gssize n = write (fd, data, length);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        {
          if (n == 0)
            errno = ENOSPC;
          return false;
        }
      data += n;
      length -= gsize (n);
    }
  return true;
}

gboolean
vorn_file_replace_contents (const char *path, const char *data, gsize length, GError **error)
{
  g_return_val_if_fail (path && (data || !length), FALSE);

  g_autoptr (VornFileReplace) r = vorn_file_replace_begin (path, error);
  if (!r)
    return FALSE;
  if (!write_all (r->fd, data, length))
    {
      set_errno_error (error, errno, path);
      return FALSE;
    }
  return vorn_file_replace_commit (g_steal_pointer (&r), error);
}
