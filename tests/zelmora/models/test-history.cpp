/* test-history.cpp: undo and redo of instrument files */
#include "vorn-test-log.h"
#include "zelm-history.h"

#include <random>
#include <string>
#include <vector>

namespace {

std::string
text (VornFile *file)
{
  g_autofree char *data = vorn_file_to_data (file, nullptr);
  return data;
}

VornFile *
new_file ()
{
  VornFile *file = vorn_file_new ();
  for (int i = 0; i < 3; i++)
    {
      g_autoptr (VornInst) inst = vorn_inst_new_default ();
      vorn_node_insert (VORN_NODE (file), VORN_NODE (inst), -1);
    }
  return file;
}

/* Every node below @root, in pre-order. */
std::vector<VornNode *>
nodes (VornNode *root)
{
  std::vector<VornNode *> all;
  vorn_node_pre_traverse (
      root,
      [] (VornNode *n, gpointer data) {
        static_cast<std::vector<VornNode *> *> (data)->push_back (n);
        return gboolean (TRUE);
      },
      &all);
  all.erase (all.begin ());
  return all;
}

/* One random change of the kinds the editors make: a property, a curve
 * point, a node inserted, removed or moved. */
void
random_edit (VornFile *file, std::mt19937 &rng)
{
  auto all = nodes (VORN_NODE (file));
  VornNode *node = all[rng () % all.size ()];
  switch (rng () % 5)
    {
    case 0:
      {
        g_autofree char *name = g_strdup_printf ("n%u", guint (rng () % 1000));
        g_object_set (node, "name", name, nullptr);
        break;
      }
    case 1:
      g_object_set (node, "mute", !node->mute, nullptr);
      break;
    case 2:
      if (VORN_IS_WAVE (node) && VORN_WAVE (node)->curve)
        {
          double y = double (rng () % 200) / 100.0 - 1.0;
          vorn_curve_set_start_point (VORN_WAVE (node)->curve, 0.0, y, 0.1, y);
          break;
        }
      [[fallthrough]];
    case 3:
      {
        g_autoptr (VornWave) wave = vorn_wave_new_from_preset (
            VornWavePreset (rng () % (VORN_WAVE_PRESET_MORPH_MODULATION + 1)));
        VornNode *inst = VORN_NODE (file)->children;
        vorn_node_insert (inst, VORN_NODE (wave), 0);
        break;
      }
    default:
      if (node->parent != VORN_NODE (file))
        {
          VornNode *parent = node->parent;
          g_object_ref (node);
          vorn_node_unlink (node);
          if (rng () % 2)
            vorn_node_insert (parent, node, 0);
          g_object_unref (node);
        }
      else
        g_object_set (node, "name", "renamed", nullptr);
    }
}

} // namespace

/* Undo walks back through exactly the texts the edits produced, redo
 * forward again, and the file object stays the one everybody holds. */
TEST (History, UndoAndRedoGiveBackEveryStateExactly)
{
  g_autoptr (VornFile) file = new_file ();
  g_autoptr (ZelmHistory) history = zelm_history_new (file);
  std::mt19937 rng (17);
  std::vector<std::string> states { text (file) };
  while (states.size () < 151)
    {
      random_edit (file, rng);
      if (zelm_history_commit (history))
        states.push_back (text (file));
      else
        EXPECT_EQ (text (file), states.back ()) << "a change was not recorded";
    }

  for (size_t i = states.size () - 1; i > 0; i--)
    {
      ASSERT_TRUE (zelm_history_undo (history, nullptr));
      ASSERT_EQ (text (file), states[i - 1]) << "undo to state " << i - 1;
    }
  EXPECT_FALSE (zelm_history_undo (history, nullptr));
  EXPECT_FALSE (zelm_history_get_modified (history));
  for (size_t i = 1; i < states.size (); i++)
    {
      ASSERT_TRUE (zelm_history_redo (history, nullptr));
      ASSERT_EQ (text (file), states[i]) << "redo to state " << i;
    }
  EXPECT_FALSE (zelm_history_redo (history, nullptr));
  EXPECT_FALSE (zelm_history_commit (history)) << "nothing changed since the last step";
}

/* The modified flag follows the saved state through undo, redo, a new
 * branch that drops it, and trimming; notifications come only on change. */
TEST (History, ModifiedFollowsTheSavedStateAndStepsAreBounded)
{
  g_autoptr (VornFile) file = new_file ();
  g_autoptr (ZelmHistory) history = zelm_history_new (file);
  int notified = 0;
  g_signal_connect_swapped (history, "notify::modified", G_CALLBACK (+[] (int *n) { ++*n; }),
                            &notified);
  auto rename = [&] (const char *name) {
    g_object_set (VORN_NODE (file)->children, "name", name, nullptr);
    return zelm_history_commit (history);
  };

  EXPECT_FALSE (zelm_history_can_undo (history));
  ASSERT_TRUE (rename ("a"));
  ASSERT_TRUE (rename ("b"));
  EXPECT_TRUE (zelm_history_get_modified (history));
  EXPECT_EQ (notified, 1);

  zelm_history_set_saved (history); /* at "b" */
  EXPECT_FALSE (zelm_history_get_modified (history));
  ASSERT_TRUE (zelm_history_undo (history, nullptr));
  EXPECT_TRUE (zelm_history_get_modified (history));
  ASSERT_TRUE (zelm_history_redo (history, nullptr));
  EXPECT_FALSE (zelm_history_get_modified (history));
  EXPECT_EQ (notified, 4);

  /* A new step after undoing drops the redo states, the saved one with
   * them: no state is the disk's any more. */
  ASSERT_TRUE (zelm_history_undo (history, nullptr));
  ASSERT_TRUE (rename ("c"));
  EXPECT_FALSE (zelm_history_can_redo (history));
  ASSERT_TRUE (zelm_history_undo (history, nullptr));
  ASSERT_TRUE (zelm_history_undo (history, nullptr));
  EXPECT_TRUE (zelm_history_get_modified (history));

  /* Bounded: with three steps kept, the fourth undo finds nothing. */
  g_object_set (history, "max-steps", 3u, nullptr);
  for (const char *name : { "d", "e", "f", "g", "h" })
    ASSERT_TRUE (rename (name));
  int undone = 0;
  while (zelm_history_undo (history, nullptr))
    undone++;
  EXPECT_EQ (undone, 3);
  EXPECT_EQ (text (file).find ("\"e\"") != std::string::npos, true);
}
