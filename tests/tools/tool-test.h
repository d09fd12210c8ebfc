/* tool-test.h: the command-line tool tests' scratch folder, holding
 * bank.vvi (instruments "Plain" and "High", an octave above it) and
 * empty.vvi (none), and running a tool there */
#pragma once

#include "vornadel.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>
#include <vector>

namespace tool_test {

struct Result {
  int status = -1;
  std::string out, err;
};

class ToolTest : public ::testing::Test
{
protected:
  static inline char *dir = nullptr;
  static inline const char *program = nullptr;

  /* Makes the folder; @program_env names the variable holding the tool. */
  static void make_folder (const char *program_env)
  {
    program = g_getenv (program_env);
    dir = g_dir_make_tmp ("zelmora-tool-XXXXXX", nullptr);
    g_autoptr (VornFile) file = vorn_file_new ();
    for (const char *name : { "Plain", "High" })
      {
        VornInst *inst = vorn_inst_new_default ();
        g_object_set (inst, "name", name, nullptr);
        if (g_str_equal (name, "High"))
          g_object_set (inst, "root-note", 57.0, nullptr);
        vorn_node_insert (VORN_NODE (file), VORN_NODE (inst), -1);
        g_object_unref (inst);
      }
    ASSERT_TRUE (vorn_file_save (file, path ("bank.vvi").c_str (), nullptr));
    g_autoptr (VornFile) empty = vorn_file_new ();
    ASSERT_TRUE (vorn_file_save (empty, path ("empty.vvi").c_str (), nullptr));
  }

  static void TearDownTestSuite ()
  {
    g_autofree char *cmd = g_strdup_printf ("rm -rf '%s'", dir);
    EXPECT_EQ (system (cmd), 0);
    g_clear_pointer (&dir, g_free);
  }

  static std::string path (const std::string &name) { return std::string (dir) + "/" + name; }

  /* The tool's command line; @args must outlive it. */
  static std::vector<char *> argv_of (std::vector<std::string> &args)
  {
    args.insert (args.begin (), program);
    std::vector<char *> argv;
    for (std::string &a : args)
      argv.push_back (a.data ());
    argv.push_back (nullptr);
    return argv;
  }

  /* Runs the tool in the folder; with @pid it returns at once and leaves
   * the child to the caller. */
  static Result run (std::vector<std::string> args, GPid *pid = nullptr)
  {
    std::vector<char *> argv = argv_of (args);
    g_autofree char *out = nullptr, *err = nullptr;
    int wait = 0;
    if (pid)
      EXPECT_TRUE (g_spawn_async (dir, argv.data (), nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, pid,
                                  nullptr));
    else
      EXPECT_TRUE (g_spawn_sync (dir, argv.data (), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err, &wait,
                                 nullptr));
    return { WIFEXITED (wait) ? WEXITSTATUS (wait) : -1, out ? out : "", err ? err : "" };
  }
};

} // namespace tool_test
