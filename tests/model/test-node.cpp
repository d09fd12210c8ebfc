/* Tests of the node tree: links, insertion, IDs, traversals, duplication and
 * the JSON form every node class inherits. */
#include "vorn-test-log.h"
#include "vorn-test-model.h"

#include <string>
#include <vector>

using namespace vorn_test;

namespace {

/* Child names in order, after checking every link of the list both ways. */
std::string
children_of (VornNode *parent)
{
  std::string out;
  VornNode *prev = nullptr;
  for (VornNode *c = parent->children; c; prev = c, c = c->next)
    {
      EXPECT_EQ (c->prev, prev) << "back link of " << get_string (c);
      EXPECT_EQ (c->parent, parent) << "parent of " << get_string (c);
      out += (out.empty () ? "" : ",") + get_string (c);
    }
  return out;
}

} // namespace

TEST (Node, InsertPositionsAndRefusals)
{
  g_autoptr (VornNode) p = vorn_node_new ();
  add (p, named ("a"));
  add (p, named ("b"), 0);     /* 0 puts it first */
  add (p, named ("c"), 5);     /* past the end appends */
  add (p, named ("d"), 1);     /* after the first child */
  add (p, named ("e"), -7);    /* any other negative value: first */
  add (p, named ("f"), -1);
  EXPECT_EQ (children_of (p), "e,b,d,a,c,f");

  /* A second parent and cycles are refused. */
  g_autoptr (VornNode) q = vorn_node_new ();
  VornNode *child = p->children;
  VornNode *grandchild = add (child, named ("grandchild"));

  vorn_node_insert (q, child, -1);
  EXPECT_CRITICAL ("node->parent == NULL");
  vorn_node_insert (grandchild, p, -1);
  EXPECT_CRITICAL ("!is_ancestor_or_self (node, parent)");
  vorn_node_insert (p, p, -1);
  EXPECT_CRITICAL ("!is_ancestor_or_self (node, parent)");
  EXPECT_EQ (children_of (p), "e,b,d,a,c,f");
  EXPECT_EQ (q->children, nullptr);
}

TEST (Node, UnlinkAndFinalizeKeepLinksConsistent)
{
  g_autoptr (VornNode) p = vorn_node_new ();
  for (const char *n : { "a", "b", "c", "d" })
    add (p, named (n));

  VornNode *gone = p->children->next;
  g_object_add_weak_pointer (G_OBJECT (gone), reinterpret_cast<gpointer *> (&gone));
  vorn_node_unlink (gone);
  EXPECT_EQ (gone, nullptr) << "the parent's reference was the last one";
  EXPECT_EQ (children_of (p), "a,c,d");

  g_autoptr (VornNode) first = VORN_NODE (g_object_ref (p->children));
  vorn_node_unlink (first);
  EXPECT_EQ (first->parent, nullptr);
  EXPECT_EQ (first->next, nullptr);
  EXPECT_EQ (children_of (p), "c,d");

  /* A child that outlives its parent is detached from it. */
  VornNode *parent = vorn_node_new ();
  g_autoptr (VornNode) kept = VORN_NODE (g_object_ref (add (parent, named ("kept"))));
  add (parent, named ("other"));
  g_object_unref (parent);
  EXPECT_EQ (kept->parent, nullptr);
  EXPECT_EQ (kept->next, nullptr);
}

TEST (Node, QueriesAndTraversals)
{
  /* r(a(a1(a11), a2), b(b1)), a1 an instrument */
  g_autoptr (VornNode) r = named ("r");
  VornNode *a = add (r, named ("a"));
  VornNode *a1 = add (a, named ("a1", VORN_TYPE_INST));
  VornNode *a11 = add (a1, named ("a11"));
  add (a, named ("a2"));
  VornNode *b = add (r, named ("b"));
  add (b, named ("b1"));

  EXPECT_EQ (vorn_node_get_root (a11), r);
  EXPECT_EQ (std::pair (vorn_node_position (b), vorn_node_position (r)), std::pair (1, -1));
  EXPECT_EQ (vorn_node_level (a11), 3u);
  EXPECT_EQ (vorn_node_get_parent_by_type (a11, VORN_TYPE_MIX), a1) << "subclasses match";
  EXPECT_EQ (vorn_node_get_parent_by_type (a11, VORN_TYPE_NODE), a11);
  EXPECT_EQ (vorn_node_get_parent_by_type (a, VORN_TYPE_FILE), nullptr);

  /* A post-order walk stops before any ancestor of the stop node runs. */
  const struct { bool pre; const char *stop, *want; } walks[] = {
    { true, "", "r a a1 a11 a2 b b1" }, { false, "", "a11 a1 a2 a b1 b r" },
    { true, "a11", "r a a1 a11" },      { true, "r", "r" },
    { false, "a2", "a11 a1 a2" },
  };
  for (const auto &w : walks)
    {
      std::pair<std::string, std::string> walk{ "", w.stop };   /* seen, stop at */
      auto record = +[] (VornNode *node, gpointer data) -> gboolean {
        auto *walk = static_cast<std::pair<std::string, std::string> *> (data);
        walk->first += (walk->first.empty () ? "" : " ") + get_string (node);
        return get_string (node) != walk->second;
      };
      (w.pre ? vorn_node_pre_traverse : vorn_node_post_traverse) (r, record, &walk);
      EXPECT_EQ (walk.first, w.want) << (w.pre ? "pre" : "post") << " stop " << w.stop;
    }
}

TEST (Node, FileNumbersSubtreesInPreOrderAsTheyJoin)
{
  g_autoptr (VornFile) file = vorn_file_new ();

  /* Built outside the file: nothing is numbered until it joins. */
  g_autoptr (VornNode) inst = named ("inst");
  VornNode *w1 = add (inst, named ("w1"));
  VornNode *w1c = add (w1, named ("w1c"));
  VornNode *w2 = add (inst, named ("w2"));
  w2->id = 77;   /* an ID from elsewhere is kept */
  VornNode *w2c = add (w2, named ("w2c"));
  EXPECT_EQ (w1->id, 0u);

  vorn_node_insert (VORN_NODE (file), inst, -1);
  const std::vector<guint32> ids{ inst->id, w1->id, w1c->id, w2->id, w2c->id };
  EXPECT_EQ (ids, (std::vector<guint32>{ 1, 2, 3, 77, 4 }));

  /* Deep insertion below an instrument still reaches the file. */
  EXPECT_EQ (add (w1c, named ("late"))->id, 5u);

  /* Runtime-only nodes and their children take no IDs. */
  VornNode *tap = named ("tap", VORN_TYPE_TAP);
  VornNode *under_tap = add (tap, named ("under"));
  add (inst, tap);
  EXPECT_EQ (tap->id, 0u);
  EXPECT_EQ (under_tap->id, 0u);

  /* Children stolen from outside the file are numbered as they join, and
   * survive their old parent. */
  VornNode *src = named ("src");
  VornNode *s1 = add (src, named ("s1"));
  add (s1, named ("s1a"));
  vorn_node_steal_children (w1, src);
  EXPECT_EQ (src->children, nullptr);
  g_object_unref (src);
  EXPECT_EQ (children_of (w1), "w1c,s1");
  EXPECT_EQ (std::pair (s1->id, s1->children->id), std::pair (6u, 7u));
}

TEST (Node, DuplicateCopiesShapeNotIds)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  VornNode *top = add (VORN_NODE (file), named ("top"));
  VornNode *inst = add (top, named ("inst", VORN_TYPE_INST));
  g_object_set (inst, "root-note", 60.0, "mute", TRUE, nullptr);
  inst->attach_point = TRUE;
  add (inst, named ("deep"));

  g_autoptr (VornNode) copy = vorn_node_duplicate (top);
  EXPECT_EQ (copy->parent, nullptr);
  EXPECT_EQ (children_of (copy), "inst");
  EXPECT_EQ (copy->children->children->id, 0u);
  /* Every member but the IDs. */
  std::string ids_gone = json_text (top);
  for (size_t at; (at = ids_gone.find ("\"id\":")) != std::string::npos;)
    ids_gone.erase (at, ids_gone.find (',', at) + 1 - at);
  EXPECT_EQ (json_text (copy), ids_gone);
}

TEST (Node, NotifiesOnlyOnChange)
{
  g_autoptr (VornNode) node = vorn_node_new ();
  int notified = 0;
  g_signal_connect_swapped (node, "notify", G_CALLBACK (+[] (int *n) { (*n)++; }), &notified);
  for (int i = 0; i < 2; i++)
    g_object_set (node, "name", "Lead", "mute", TRUE, "attach-point", TRUE, "id", 3u, nullptr);
  EXPECT_EQ (notified, 4);
}

/* ---- JSON -------------------------------------------------------------- */

TEST (NodeJson, RuntimeOnlyChildrenStayOut)
{
  /* Runtime-only nodes keep their children out of files; enums at their
   * default are still written (what else is left out the bank shows). */
  g_autoptr (VornNode) tap = named ("tap", VORN_TYPE_TAP);
  add (tap, named ("hidden"));
  EXPECT_EQ (json_text (tap), R"({"type":"VornTap","name":"tap","attrib":"signal"})");
}

TEST (NodeJson, LoadSkipsUnknownTypesAndRepairsEnums)
{
  const char *text = R"({
    "type" : "VornInst", "name" : "root", "src-attrib" : "pitch",
    "nodes" : [
      { "type" : "VornNode", "name" : "first" },
      { "type" : "NoSuchNodeClass", "name" : "unknown" },
      { "name" : "untyped" },
      42,
      { "type" : "GObject", "name" : "not a node" },
      { "type" : "VornTap", "name" : "bad enum", "attrib" : "sideways" },
      { "type" : "VornTap", "name" : "number enum", "attrib" : 3 },
      { "type" : "VornNode", "name" : "last", "nodes" : [ { "type" : "VornNode", "name" : "inner" } ] }
    ] })";
  g_autoptr (JsonNode) json = json_from_string (text, nullptr);
  ASSERT_NE (json, nullptr);
  g_autoptr (GObject) obj = json_gobject_deserialize (VORN_TYPE_INST, json);
  VornNode *root = VORN_NODE (obj);

  EXPECT_EQ (VORN_MIX (root)->src_attrib, VORN_ATTRIB_TYPE_PITCH);
  EXPECT_EQ (children_of (root), "first,bad enum,number enum,last");
  EXPECT_WARNING ("Invalid JSON enum value '\"sideways\"' for property 'attrib' of node type 'VornTap'");
  EXPECT_WARNING ("Invalid JSON enum value '3' for property 'attrib' of node type 'VornTap'");
  EXPECT_EQ (json_text (root->children->next), R"({"type":"VornTap","name":"bad enum","attrib":"signal"})")
      << "default restored";
  EXPECT_EQ (children_of (root->children->next->next->next), "inner");
}

/* Appending goes after the current last child whatever changed the list
 * before: every operation that moves children keeps the end right. */
TEST (Node, AppendAfterEveryListChange)
{
  const struct {
    const char *change;
    std::string children;
  } cases[] = {
    { "unlink last", "a,b,x" },
    { "unlink children", "x" },
    { "steal into", "a,b,c,s1,s2,x" },
    { "set nodes", "s1,s2,x" },
    { "duplicate", "a,b,c,x" },
  };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (c.change);
      g_autoptr (VornNode) p = vorn_node_new ();
      VornNode *kids[] = { add (p, named ("a")), add (p, named ("b")), add (p, named ("c")) };
      g_autoptr (VornNode) src = vorn_node_new ();
      add (src, named ("s1"));
      add (src, named ("s2"));
      g_autoptr (VornNode) target = VORN_NODE (g_object_ref (p));
      const std::string change = c.change;

      if (change == "unlink last")
        vorn_node_unlink (kids[2]);
      else if (change == "unlink children")
        vorn_node_unlink_children (p);
      else if (change == "steal into")
        vorn_node_steal_children (p, src);
      else if (change == "set nodes")
        g_object_set (p, "nodes", src, nullptr);
      else if (change == "duplicate")
        {
          g_object_unref (target);
          target = vorn_node_duplicate (p);
        }

      add (target, named ("x"));
      EXPECT_EQ (children_of (target), c.children);
      if (change == "steal into" || change == "set nodes")
        {
          add (src, named ("y"));
          EXPECT_EQ (children_of (src), "y");
        }
    }
}
