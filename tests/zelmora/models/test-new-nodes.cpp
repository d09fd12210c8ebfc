/* test-new-nodes.cpp: new nodes that sound, and the rules of the File menu:
 * which file Save acts on, the names files take, export and import. */
#include "vorn-test-audio.h"
#include "vorn-test-model.h"
#include "zelm-file-commands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

using namespace vorn_test;

namespace {

/* Level (dB of the mean power) of note 69 and the power above 4 kHz. */
std::pair<double, double>
listen (VornInst *inst)
{
  Player player (inst);
  std::vector<float> out;
  player.on (69);
  player.render (out, 0.6);
  const auto x = mono (out, AUDIO_RATE / 5, out.size () / AUDIO_SPEAKERS);
  const auto spectrum = power_spectrum (x);
  const double high = std::accumulate (spectrum.begin () + 4000 * 4096 / AUDIO_RATE, spectrum.end (), 0.0);
  return { 10 * std::log10 (std::inner_product (x.begin (), x.end (), x.begin (), 0.0) / x.size ()),
           10 * std::log10 (high) };
}

TEST (NewNodes, NewInstrumentSoundsAndANewLowpassChangesItsToneNotItsLevel)
{
  g_autoptr (VornNode) inst = zelm_node_new_of_kind ("instrument");
  EXPECT_GT (listen (VORN_INST (inst)).first, -20.0);
  g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
  ASSERT_NE (zelm_node_commands_new (inst, "saw-up", change), nullptr);
  const auto [level, high] = listen (VORN_INST (inst));

  VornNode *filter = zelm_node_commands_new (inst, "rbj-lowpass", change);
  ASSERT_NE (filter, nullptr);
  EXPECT_NE (filter->children, nullptr); /* its cutoff and Q, to see and edit */
  const auto [filtered, filtered_high] = listen (VORN_INST (inst));
  EXPECT_NEAR (filtered, level, 3.0);
  EXPECT_LT (filtered_high, high - 10.0);
}

TEST (FileMenu, SaveTargetsTheSelectionTheOnlyFileOrAsks)
{
  g_autoptr (VornFile) a = vorn_file_new ();
  g_autoptr (VornFile) b = vorn_file_new ();
  GList one = { a, nullptr, nullptr }, two = { a, nullptr, nullptr }, second = { b, nullptr, &two };
  two.next = &second;
  const struct { VornFile *selected; GList *files; ZelmSaveTarget target; VornFile *file; } cases[] = {
    { b, &two, ZELM_SAVE_TARGET_FILE, b }, { nullptr, &one, ZELM_SAVE_TARGET_FILE, a },
    { nullptr, &two, ZELM_SAVE_TARGET_ASK, nullptr }, { nullptr, nullptr, ZELM_SAVE_TARGET_NONE, nullptr },
  };
  for (const auto &c : cases)
    {
      VornFile *file = a;
      EXPECT_EQ (zelm_save_target (c.selected, c.files, &file), c.target);
      EXPECT_EQ (file, c.file);
    }

  /* The question: labels tell equal names apart, the last changed file is
   * offered first, only the first answer counts, freeing cancels. */
  g_object_set (b, "file-name", "/music/b.vvi", nullptr);
  std::vector<VornFile *> answers;
  auto record = [] (VornFile *f, gpointer data) { static_cast<std::vector<VornFile *> *> (data)->push_back (f); };
  g_autoptr (ZelmFileChoice) choice = zelm_file_choice_new (&two, b, record, &answers);
  g_autofree char *la = zelm_file_choice_label (choice, 0), *lb = zelm_file_choice_label (choice, 1);
  EXPECT_EQ (std::string (la) + ", " + lb, "Untitled (not saved yet), Untitled (/music/b.vvi)");
  EXPECT_EQ (zelm_file_choice_get_default (choice), 1u);
  zelm_file_choice_answer (choice, 0);
  zelm_file_choice_answer (choice, 1);
  zelm_file_choice_free (zelm_file_choice_new (&two, nullptr, record, &answers));
  EXPECT_EQ (answers, (std::vector<VornFile *>{ a, nullptr }));
}

TEST (FileMenu, FilesAreNamedAfterTheirPathAndInstrumentsMoveBetweenFiles)
{
  for (auto [path, name] : { std::pair ("/tmp/pluck.vvi", "pluck"), { "bass.v1.vvi", "bass.v1" },
                             { "/x/notes.txt", "notes.txt" }, { ".vvi", ".vvi" } })
    {
      g_autofree char *got = zelm_file_name_from_path (path);
      EXPECT_STREQ (got, name);
    }

  /* Exported alone, an instrument reopens in a file named after the path. */
  g_autoptr (VornFile) file = vorn_file_new ();
  g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
  VornNode *inst = zelm_node_commands_new (VORN_NODE (file), "instrument", change);
  g_object_set (inst, "name", "Pluck", nullptr);
  TempDir dir;
  const std::string path = dir.file ("pluck.vvi");
  g_autoptr (VornFile) alone = zelm_file_new_for_instrument (VORN_INST (inst), path.c_str ());
  ASSERT_TRUE (vorn_file_save (alone, path.c_str (), nullptr));
  g_autoptr (VornFile) back = vorn_file_load (path.c_str (), nullptr);
  ASSERT_NE (back, nullptr);
  g_autofree char *name = nullptr, *inst_name = nullptr;
  g_object_get (back, "name", &name, nullptr);
  g_object_get (VORN_NODE (back)->children, "name", &inst_name, nullptr);
  EXPECT_EQ (std::string (name) + "/" + inst_name, "pluck/Pluck");

  /* Imported: a copy appended, numbered in its new file, one step. */
  const guint next = vorn_file_get_next_id (file);
  g_autoptr (ZelmNodeChange) import = zelm_node_change_new ();
  EXPECT_EQ (zelm_file_import_instruments (file, back, import), 1u);
  ASSERT_EQ (std::pair (import->made->len, import->files->len), std::pair (1u, 1u));
  auto *copy = VORN_NODE (g_ptr_array_index (import->made, 0));
  EXPECT_EQ (copy, VORN_NODE (file)->children->next);
  EXPECT_GT (copy->id, next);
}

} // namespace
