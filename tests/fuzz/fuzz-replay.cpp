/* Runs a fuzz target over files and directories of saved inputs, so the
 * seed corpus and any crash reproducers are part of the ordinary test run
 * without needing a fuzzing compiler.  Fails when an input cannot be read or
 * when not every file listed was run. */
#include <glib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t *data, size_t size);

int
main (int argc, char **argv)
{
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; i++)
    if (std::filesystem::is_directory (argv[i]))
      for (const auto &entry : std::filesystem::directory_iterator (argv[i]))
        inputs.push_back (entry.path ());
    else
      inputs.push_back (argv[i]);

  size_t replayed = 0;
  for (const std::string &path : inputs)
    {
      g_autofree char *contents = nullptr;
      gsize length = 0;
      if (!g_file_get_contents (path.c_str (), &contents, &length, nullptr))
        {
          fprintf (stderr, "cannot read %s\n", path.c_str ());
          return 1;
        }
      LLVMFuzzerTestOneInput (reinterpret_cast<const uint8_t *> (contents), length);
      replayed++;
    }
  printf ("%zu of %zu inputs replayed\n", replayed, inputs.size ());
  return replayed == inputs.size () && replayed > 0 ? 0 : 1;
}
