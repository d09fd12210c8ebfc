/* Runs a fuzz target over files and directories of saved inputs, so the
 * seed corpus and any crash reproducers are part of the ordinary test run
 * without needing a fuzzing compiler. */
#include <glib.h>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t *data, size_t size);

static int
run_file (const char *path)
{
  g_autofree char *contents = nullptr;
  gsize length = 0;
  if (!g_file_get_contents (path, &contents, &length, nullptr))
    {
      fprintf (stderr, "cannot read %s\n", path);
      return 1;
    }
  LLVMFuzzerTestOneInput (reinterpret_cast<const uint8_t *> (contents), length);
  return 0;
}

int
main (int argc, char **argv)
{
  int failures = 0, count = 0;
  for (int i = 1; i < argc; i++)
    {
      if (!g_file_test (argv[i], G_FILE_TEST_IS_DIR))
        {
          failures += run_file (argv[i]);
          count++;
          continue;
        }
      g_autoptr (GDir) dir = g_dir_open (argv[i], 0, nullptr);
      while (const char *name = dir ? g_dir_read_name (dir) : nullptr)
        {
          g_autofree char *path = g_build_filename (argv[i], name, nullptr);
          failures += run_file (path);
          count++;
        }
    }
  printf ("%d inputs replayed\n", count);
  return failures || count == 0 ? 1 : 0;
}
