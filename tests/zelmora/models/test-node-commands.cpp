/* test-node-commands.cpp: the node tree's editing commands and drop rules on
 * the built-in bank, without a display.  The bank's first instrument holds
 * Volume Attack (ID 2), Volume Release (3), Slow Drift (4) and Pad Wave (5)
 * with Morph Attack (6) and Morph Release (7); new nodes count from 160. */
#include "vorn-test-log.h"
#include "zelm-node-commands.h"
#include "zelm-test-waves.h"
#include "zelm-tree.h"

#include <gtest/gtest.h>

#include <functional>

using namespace zelm_test;

namespace {

/* The children of @parent by ID, "t" for a tap, "!" after a muted node,
 * descendants in parentheses. */
std::string
shape (VornNode *parent)
{
  std::string s;
  for (VornNode *n = parent->children; n; n = n->next)
    {
      s += s.empty () ? "" : " ";
      s += VORN_IS_TAP (n) ? "t" : std::to_string (n->id) + (n->mute ? "!" : "");
      if (n->children && !VORN_IS_TAP (n))
        s += '(' + shape (n) + ')';
    }
  return s;
}
const char *const FIRST = "2 3 4 5(6 7)";

class NodeCommands : public ::testing::Test {
protected:
  ZelmApp *app = zelm_app_new ();
  VornNode *bank = nullptr;
  ZelmClipboard *clip = zelm_clipboard_new ();

  void SetUp () override
  {
    g_autoptr (GError) error = nullptr;
    g_autoptr (VornFile) file = vorn_file_load (ZELM_TEST_BANK, &error);
    ASSERT_NE (file, nullptr) << error->message;
    bank = VORN_NODE (file);
    zelm_app_add_file (app, file);
  }
  void TearDown () override
  {
    zelm_clipboard_free (clip);
    g_object_unref (app);
  }
  VornNode *inst (int i = 0)
  {
    VornNode *n = bank->children;
    for (; n && i > 0; i--)
      n = n->next;
    return n;
  }
  VornNode *find (const char *name) { return find_node (inst (), name); }
  GPtrArray *named (const char *names) { return named_nodes (inst (), names); }
  static GPtrArray *of (VornNode *node)
  {
    GPtrArray *array = g_ptr_array_new ();
    g_ptr_array_add (array, node);
    return array;
  }
};

} // namespace

/* Every kind makes its node before the target node (at the end of a target
 * instrument), numbered by the file and named as its menu entry; a file
 * only takes an instrument, at its end. */
TEST_F (NodeCommands, NewNodeOfEveryKind)
{
  struct Case {
    const char *kind, *type, *icon, *name; /* name nullptr: the preset's own */
  } cases[] = {
    { "sine", "VornWave", "zelm-signal-sine", "Sine Wave" }, { "saw-down", "VornWave", "zelm-signal-sine", nullptr },
    { "volume-attack", "VornWave", "zelm-vol-attack", nullptr }, { "volume-modulation", "VornWave", "zelm-vol-mod", nullptr },
    { "pitch-release", "VornWave", "zelm-pitch-release", nullptr }, { "balance-modulation", "VornWave", "zelm-balance-mod", nullptr },
    { "morph-attack", "VornWave", "zelm-morph-attack", nullptr }, { "morph-modulation", "VornWave", "zelm-morph-mod", nullptr },
    { "control-volume", "VornWave", "zelm-ctrl-vol", "Volume Control" }, { "control-time", "VornWave", "zelm-ctrl-time", "Time Control" },
    { "rbj-bandpass", "VornFilterRbjBandpass", "audio-x-generic", "RBJ Bandpass" },
    { "rbj-lowpass", "VornFilterRbjLowpass", "audio-x-generic", "RBJ Lowpass" },
    { "rbj-highpass", "VornFilterRbjHighpass", "audio-x-generic", "RBJ Highpass" },
    { "noise", "VornFilterNoise", "audio-x-generic", "White Noise" },
  };
  VornNode *drift = find ("Slow Drift");
  guint id = 160;
  for (const auto &c : cases)
    {
      SCOPED_TRACE (c.kind);
      g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
      VornNode *made = zelm_node_commands_new (drift, c.kind, change);
      ASSERT_EQ (drift->prev, made);
      EXPECT_STREQ (G_OBJECT_TYPE_NAME (made), c.type);
      EXPECT_EQ (made->id, id);
      id += made->children ? 3 : 1; /* a filter comes with its cutoff and Q waves */
      EXPECT_STREQ (zelm_tree_node_icon (made), c.icon);
      EXPECT_EQ (name_of (made), c.name ? c.name : name_of (made));
      EXPECT_EQ (change->files->len, 1u);
    }
  g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
  EXPECT_TRUE (VORN_IS_FILTER_NOISE (zelm_node_commands_new (inst (1), "noise", change)));
  EXPECT_EQ (VORN_NODE (change->made->pdata[0])->next, nullptr);
  EXPECT_EQ (zelm_node_commands_new (bank, "sine", change), nullptr);
  EXPECT_EQ (zelm_node_commands_new (drift, "no-such-kind", change), nullptr);
  VornNode *made = zelm_node_commands_new (drift, "instrument", change);
  ASSERT_TRUE (VORN_IS_INST (made));
  EXPECT_EQ (made->parent, bank);
  EXPECT_EQ (made->next, nullptr);
  EXPECT_EQ (change->made->len, 2u);
}

/* The editing commands one after another on the first instrument: moves
 * at the ends change nothing, a tap stays after its node through moves,
 * deleting a node takes its tap along. */
TEST_F (NodeCommands, EditSequence)
{
  auto move = [this] (gboolean up) {
    return [this, up] (GPtrArray *n, ZelmNodeChange *c) { zelm_node_commands_move (G_OBJECT (app), n, up, c); };
  };
  auto paste = [this] (gboolean within) {
    return [this, within] (GPtrArray *n, ZelmNodeChange *c) {
      zelm_node_commands_paste (clip, VORN_NODE (n->pdata[0]), within, c);
    };
  };
  auto copy = [this] (GPtrArray *n, ZelmNodeChange *) { zelm_clipboard_copy (clip, n); };
  auto del = [this] (GPtrArray *n, ZelmNodeChange *c) { zelm_node_commands_delete (G_OBJECT (app), n, c); };
  auto mute = [] (GPtrArray *n, ZelmNodeChange *c) { zelm_node_commands_mute (n, c); };
  auto rec = [] (GPtrArray *n, ZelmNodeChange *c) { zelm_node_commands_toggle_recording (n, c); };
  struct Step {
    const char *rows;
    std::function<void (GPtrArray *, ZelmNodeChange *)> cmd;
    const char *after;
    guint files;
  } steps[] = {
    { "Slow Drift", move (TRUE), "2 4 3 5(6 7)", 1 },
    { "Volume Attack", move (FALSE), "4 2 3 5(6 7)", 1 },
    { "Slow Drift", move (TRUE), "4 2 3 5(6 7)", 0 },
    { "Morph Release", move (FALSE), "4 2 3 5(6 7)", 0 },
    { "Slow Drift", copy, "4 2 3 5(6 7)", 0 },
    { "Pad Wave", paste (FALSE), "4 2 3 160 5(6 7)", 1 },
    { "Pad Wave", paste (TRUE), "4 2 3 160 5(6 7 161)", 1 },
    { "Volume Attack", del, "4 3 160 5(6 7 161)", 1 },
    { "Morph Attack", paste (FALSE), "4 3 160 5(162 6 7 161)", 1 },
    { "Volume Release", mute, "4 3! 160 5(162 6 7 161)", 1 },
    { "Volume Release", mute, "4 3 160 5(162 6 7 161)", 1 },
    { "Volume Release", rec, "4 3 t 160 5(162 6 7 161)", 1 },
    { "Volume Release", move (FALSE), "4 160 3 t 5(162 6 7 161)", 1 },
    { "Pad Wave", move (TRUE), "4 160 5(162 6 7 161) 3 t", 1 },
    /* before a tap is after it: the tap stays with its node */
    { "Volume Release", rec, "4 160 5(162 6 7 161) 3", 1 },
    { "Volume Release", rec, "4 160 5(162 6 7 161) 3 t", 1 },
    { "Volume Release", paste (FALSE), "4 160 5(162 6 7 161) 165 3 t", 1 },
    { "Volume Release", del, "4 160 5(162 6 7 161) 165", 1 },
    /* several rows: a block moves as one and stays at the end; each is
     * muted; a node deleted with its parent is not deleted again */
    { "Morph Attack,Morph Release", move (FALSE), "4 160 5(162 161 6 7) 165", 1 },
    { "Morph Attack,Morph Release", move (FALSE), "4 160 5(162 161 6 7) 165", 0 },
    { "Pad Wave,Morph Attack", mute, "4 160 5!(162 161 6! 7) 165", 1 },
    { "Pad Wave,Morph Release", del, "4 160 165", 1 },
  };
  ASSERT_EQ (shape (inst ()), FIRST);
  for (size_t i = 0; i < std::size (steps); i++)
    {
      SCOPED_TRACE (std::string (steps[i].rows) + " step " + std::to_string (i));
      g_autoptr (GPtrArray) nodes = named (steps[i].rows);
      g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
      steps[i].cmd (nodes, change);
      EXPECT_EQ (change->files->len, steps[i].files);
      EXPECT_EQ (shape (inst ()), steps[i].after);
    }
}

/* Where each clipboard node goes for each target: into, before, or not. */
TEST_F (NodeCommands, PasteRules)
{
  VornNode *drift = find ("Slow Drift");
  struct Case {
    VornNode *copied, *target;
    gboolean within;
    const char *result; /* "into", "before", "none" */
  } cases[] = {
    { inst (), bank, FALSE, "into" },       { inst (), inst (1), FALSE, "before" },
    { inst (), drift, TRUE, "none" },       { drift, bank, TRUE, "none" },
    { drift, inst (1), FALSE, "into" },     { drift, find ("Pad Wave"), FALSE, "before" },
    { drift, find ("Pad Wave"), TRUE, "into" }, { bank, inst (), FALSE, "none" },
  };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (name_of (c.copied) + " onto " + name_of (c.target));
      g_autoptr (GPtrArray) nodes = of (c.copied);
      zelm_clipboard_copy (clip, nodes);
      g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
      zelm_node_commands_paste (clip, c.target, c.within, change);
      VornNode *made = change->made->len ? VORN_NODE (change->made->pdata[0]) : nullptr;
      std::string result = !made ? "none"
          : made->parent == c.target && !made->next ? "into"
          : made->next == c.target ? "before" : "elsewhere";
      EXPECT_EQ (result, c.result);
    }
}

/* The drop rules for files, instruments and nodes at each position. */
TEST_F (NodeCommands, DropRules)
{
  g_autoptr (VornFile) other = vorn_file_new ();
  VornNode *file = VORN_NODE (other), *drift = find ("Slow Drift"), *pad = find ("Pad Wave");
  g_autoptr (VornTap) tap = vorn_tap_new (VORN_ATTRIB_TYPE_SIGNAL, 0);
  vorn_node_insert (inst (), VORN_NODE (tap), -1);
  const auto B = ZELM_DROP_BEFORE, A = ZELM_DROP_AFTER, I = ZELM_DROP_INTO;
  struct Case {
    VornNode *node, *dest;
    ZelmDropPosition where;
    gboolean allowed;
  } cases[] = {
    { bank, file, B, TRUE },    { bank, file, A, TRUE },      { bank, file, I, FALSE },
    { bank, inst (), B, FALSE }, { inst (1), inst (), A, TRUE }, { inst (1), inst (), I, FALSE },
    { inst (1), file, I, TRUE }, { inst (1), file, B, FALSE },  { inst (1), drift, B, FALSE },
    { drift, pad, B, TRUE },    { drift, pad, I, TRUE },       { drift, inst (1), I, TRUE },
    { drift, inst (1), B, FALSE }, { drift, file, I, FALSE },  { drift, VORN_NODE (tap), I, FALSE },
    { pad, find ("Morph Attack"), I, FALSE }, { pad, pad, A, FALSE },
  };
  for (const auto &c : cases)
    EXPECT_EQ (zelm_node_drop_allowed (c.node, c.dest, c.where), c.allowed)
        << name_of (c.node) << " at " << c.where << " of " << name_of (c.dest);
}

/* Drops copy the nodes there (the source deletes the originals after): a
 * tap goes along, after a node with a tap is after the tap, a dragged
 * node's descendants go with it, refused nodes are skipped, files move;
 * a file moves up in the list, and deleting it closes it. */
TEST_F (NodeCommands, Drops)
{
  g_autoptr (GPtrArray) rec = named ("Volume Release");
  g_autoptr (ZelmNodeChange) tapped = zelm_node_change_new ();
  zelm_node_commands_toggle_recording (rec, tapped);
  /* The tap records the node's attribute, numbered like any node (160). */
  VornNode *release = VORN_NODE (rec->pdata[0]);
  ASSERT_TRUE (VORN_IS_TAP (release->next));
  EXPECT_EQ (VORN_TAP (release->next)->attrib, VORN_ATTRIB_TYPE_VOLUME);
  EXPECT_EQ (tapped->restatus->pdata[0], release);
  struct Step {
    const char *rows, *dest;
    ZelmDropPosition where;
    const char *after;
  } steps[] = {
    { "Slow Drift", "Volume Attack", ZELM_DROP_BEFORE, "161 2 3 t 4 5(6 7)" },
    { "Slow Drift", "Volume Release", ZELM_DROP_AFTER, "161 2 3 t 162 4 5(6 7)" },
    { "Volume Release", "Pad Wave", ZELM_DROP_INTO, "161 2 3 t 162 4 5(6 7 163 t)" },
    { "Pad Wave,Morph Attack,Volume Attack", "Volume Release", ZELM_DROP_AFTER,
      "161 2 3 t 165(166 167 168 t) 170 162 4 5(6 7 163 t)" },
  };
  for (const auto &s : steps)
    {
      SCOPED_TRACE (s.rows);
      g_autoptr (GPtrArray) nodes = named (s.rows);
      g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
      EXPECT_TRUE (zelm_node_commands_drop (G_OBJECT (app), nodes, find (s.dest), s.where, change));
      EXPECT_EQ (shape (inst ()), s.after);
      EXPECT_EQ (change->files->len, 1u);
    }

  /* A refused instrument changes nothing; a second file moves in place. */
  g_autoptr (GPtrArray) nodes = of (inst (1));
  g_autoptr (ZelmNodeChange) change = zelm_node_change_new ();
  EXPECT_FALSE (zelm_node_commands_drop (G_OBJECT (app), nodes, inst (2), ZELM_DROP_INTO, change));
  EXPECT_EQ (change->made->len, 0u);
  g_autoptr (VornFile) other = vorn_file_new ();
  zelm_app_add_file (app, other);
  g_ptr_array_index (nodes, 0) = other;
  EXPECT_TRUE (zelm_node_commands_drop (G_OBJECT (app), nodes, bank, ZELM_DROP_BEFORE, change));
  EXPECT_EQ (zelm_app_get_files_no_copy (app)->data, static_cast<gpointer> (other));
  EXPECT_EQ (change->kept->pdata[0], static_cast<gpointer> (other));
  EXPECT_TRUE (change->files_reordered);

  g_ptr_array_index (nodes, 0) = bank;
  g_autoptr (ZelmNodeChange) moved = zelm_node_change_new ();
  zelm_node_commands_move (G_OBJECT (app), nodes, TRUE, moved);
  EXPECT_EQ (zelm_app_get_files_no_copy (app)->data, static_cast<gpointer> (bank));
  zelm_node_commands_delete (G_OBJECT (app), nodes, moved);
  EXPECT_EQ (g_list_length (zelm_app_get_files_no_copy (app)), 1u);
  EXPECT_EQ (moved->closed->pdata[0], static_cast<gpointer> (bank));
}
