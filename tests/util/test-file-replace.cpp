/* Replacing a file: links followed, modes kept, refusals and failures that
 * leave the old file as it was and no temporary file behind. */
#include "vorn-file-replace.h"
#include "vorn-test-log.h"

#include <glib/gstdio.h>

#include <csignal>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class FileReplace : public ::testing::Test
{
protected:
  char *dir = g_dir_make_tmp ("zelmora-replace-XXXXXX", nullptr);

  ~FileReplace () override
  {
    g_autofree char *cmd = g_strdup_printf ("rm -rf '%s'", dir);
    (void) system (cmd);
    g_free (dir);
  }

  std::string path (const std::string &name) const { return std::string (dir) + "/" + name; }

  std::string read (const std::string &name) const
  {
    g_autofree char *text = nullptr;
    return g_file_get_contents (path (name).c_str (), &text, nullptr, nullptr) ? text : "(unreadable)";
  }

  void write (const std::string &name, const char *text, mode_t mode) const
  {
    ASSERT_TRUE (g_file_set_contents (path (name).c_str (), text, -1, nullptr));
    ASSERT_EQ (chmod (path (name).c_str (), mode), 0);
  }

  /* Temporary files are hidden; the tests make no other hidden file. */
  bool temp_left () const
  {
    g_autoptr (GDir) d = g_dir_open (dir, 0, nullptr);
    while (const char *name = g_dir_read_name (d))
      if (name[0] == '.')
        return true;
    return false;
  }
};

TEST_F (FileReplace, FollowsLinksAndKeepsModes)
{
  const mode_t mask = umask (0);
  umask (mask);
  const struct
  {
    const char *name, *link_to; /* link_to: @name is a link to it */
    const char *target;         /* the file replaced */
    mode_t mode;                /* of the existing target, 0 for none */
  } cases[] = {
    { "plain", nullptr, "plain", 0640 },
    { "link", "linked", "linked", 0604 },
    { "chain", "link", "linked", 0600 }, /* a link to the link above */
    { "absolute", nullptr, "linked", 0620 },
    { "dangling", "created", "created", 0 },
    { "new", nullptr, "new", 0 },
  };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (c.name);
      if (c.mode)
        write (c.target, "old", c.mode);
      /* "absolute" links to the chain above by its full name. */
      const std::string to = c.link_to ? c.link_to : g_str_equal (c.name, "absolute") ? path ("chain") : "";
      if (!to.empty ())
        {
          ASSERT_EQ (symlink (to.c_str (), path (c.name).c_str ()), 0);
        }

      g_autoptr (GError) error = nullptr;
      ASSERT_TRUE (vorn_file_replace_contents (path (c.name).c_str (), "new", 3, &error)) << error->message;
      EXPECT_EQ (read (c.target), "new");
      struct stat st;
      ASSERT_EQ (lstat (path (c.name).c_str (), &st), 0);
      EXPECT_EQ (S_ISLNK (st.st_mode), !g_str_equal (c.name, c.target));
      ASSERT_EQ (stat (path (c.target).c_str (), &st), 0);
      /* A new file gets the usual mode, as any program's output would. */
      EXPECT_EQ (st.st_mode & 07777, c.mode ? c.mode : 0666 & ~mask);
      EXPECT_FALSE (temp_left ());
    }
}

/* What must not be replaced is refused before anything is written (as
 * root too, for whom every file is writable). */
TEST_F (FileReplace, RefusesWhatItMustNotReplace)
{
  write ("read-only", "old", 0444);
  ASSERT_EQ (g_mkdir (path ("dir").c_str (), 0700), 0);
  ASSERT_EQ (mkfifo (path ("fifo").c_str (), 0600), 0);
  ASSERT_EQ (symlink ("loop", path ("loop").c_str ()), 0);
  const struct
  {
    const char *name;
    GFileError code;
    const char *message; /* after "Cannot save '<path>': " */
  } cases[] = {
    { "read-only", G_FILE_ERROR_ACCES, "the file is read-only" },
    { "dir", G_FILE_ERROR_ISDIR, "it is not a regular file" },
    { "fifo", G_FILE_ERROR_FAILED, "it is not a regular file" },
    { "loop", G_FILE_ERROR_LOOP, g_strerror (ELOOP) },
    { "no-such-dir/file", G_FILE_ERROR_NOENT, g_strerror (ENOENT) },
  };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (c.name);
      g_autoptr (GError) error = nullptr;
      EXPECT_FALSE (vorn_file_replace_contents (path (c.name).c_str (), "new", 3, &error));
      ASSERT_NE (error, nullptr);
      EXPECT_EQ (error->code, c.code);
      EXPECT_EQ (error->message, "Cannot save '" + path (c.name) + "': " + c.message);
    }
  EXPECT_EQ (read ("read-only"), "old");
  EXPECT_FALSE (temp_left ());
}

/* A write that fails half-way (here at the file size limit) and a rename
 * that fails both leave the old file and no temporary. */
TEST_F (FileReplace, FailuresLeaveTheOldFile)
{
  write ("target", "old content", 0644);
  struct rlimit saved;
  ASSERT_EQ (getrlimit (RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 4;
  auto *old_handler = signal (SIGXFSZ, SIG_IGN);
  ASSERT_EQ (setrlimit (RLIMIT_FSIZE, &small), 0);
  g_autoptr (GError) error = nullptr;
  const gboolean written = vorn_file_replace_contents (path ("target").c_str (), "longer than four", 16, &error);
  setrlimit (RLIMIT_FSIZE, &saved);
  signal (SIGXFSZ, old_handler);
  EXPECT_FALSE (written);
  ASSERT_NE (error, nullptr);
  EXPECT_EQ (error->message, "Cannot save '" + path ("target") + "': " + g_strerror (EFBIG));
  EXPECT_EQ (read ("target"), "old content");
  EXPECT_FALSE (temp_left ());

  /* The target became a directory meanwhile: a file cannot be renamed over
   * it, and the directory stays. */
  g_clear_error (&error);
  VornFileReplace *r = vorn_file_replace_begin (path ("target").c_str (), &error);
  ASSERT_NE (r, nullptr) << error->message;
  ASSERT_EQ (::write (vorn_file_replace_get_fd (r), "new", 3), 3);
  ASSERT_EQ (g_unlink (path ("target").c_str ()), 0);
  ASSERT_EQ (g_mkdir (path ("target").c_str (), 0700), 0);
  write ("target/inside", "kept", 0600);
  EXPECT_FALSE (vorn_file_replace_commit (r, &error));
  ASSERT_NE (error, nullptr);
  EXPECT_EQ (read ("target/inside"), "kept");
  EXPECT_FALSE (temp_left ());

  /* An aborted replacement changes nothing. */
  write ("other", "old", 0600);
  r = vorn_file_replace_begin (path ("other").c_str (), nullptr);
  ASSERT_NE (r, nullptr);
  ASSERT_EQ (::write (vorn_file_replace_get_fd (r), "new", 3), 3);
  vorn_file_replace_abort (r);
  EXPECT_EQ (read ("other"), "old");
  EXPECT_FALSE (temp_left ());
}

/* A save killed between writing its temporary and the rename leaves the
 * temporary; the next save of that file removes it, but not the temporary
 * of a save still running in another process. */
TEST_F (FileReplace, NextSaveRemovesTheTemporaryOfAKilledOne)
{
  write ("target", "old", 0644);
  const pid_t child = fork ();
  if (child == 0)
    {
      VornFileReplace *r = vorn_file_replace_begin (path ("target").c_str (), nullptr);
      if (r && ::write (vorn_file_replace_get_fd (r), "new", 3) == 3)
        raise (SIGKILL);
      _exit (1);
    }
  int status = 0;
  ASSERT_EQ (waitpid (child, &status, 0), child);
  ASSERT_TRUE (WIFSIGNALED (status));
  ASSERT_TRUE (temp_left ());
  const std::string live = ".target." + std::to_string (getppid ()) + ".abcdef";
  write (live, "running", 0600);

  ASSERT_TRUE (vorn_file_replace_contents (path ("target").c_str (), "newer", 5, nullptr));
  EXPECT_EQ (read ("target"), "newer");
  EXPECT_EQ (read (live), "running");
  ASSERT_EQ (g_unlink (path (live).c_str ()), 0);
  EXPECT_FALSE (temp_left ());
}

} // namespace
