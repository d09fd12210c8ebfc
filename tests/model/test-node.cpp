/* Tests of the node tree: links, insertion, IDs, traversals, duplication and
 * the JSON form every node class inherits. */
#include "vorn-test-log.h"
#include "vornadel.h"

#include <json-glib/json-glib.h>

#include <string>
#include <vector>

/* ---- test node classes ------------------------------------------------- */

/* A leaf with an enum and a double, so the JSON ordering rules have
 * something to order. */
typedef struct {
  VornNode parent_instance;
  int attrib;
  double level;
} TestLeaf;
typedef struct {
  VornNodeClass parent_class;
} TestLeafClass;

G_DEFINE_TYPE (TestLeaf, test_leaf, VORN_TYPE_NODE)

static void
test_leaf_get_property (GObject *object, guint id, GValue *value, GParamSpec *)
{
  auto *leaf = reinterpret_cast<TestLeaf *> (object);
  if (id == 1)
    g_value_set_enum (value, leaf->attrib);
  else
    g_value_set_double (value, leaf->level);
}

static void
test_leaf_set_property (GObject *object, guint id, const GValue *value, GParamSpec *)
{
  auto *leaf = reinterpret_cast<TestLeaf *> (object);
  if (id == 1)
    leaf->attrib = g_value_get_enum (value);
  else
    leaf->level = g_value_get_double (value);
}

static VornNode *
test_leaf_duplicate (VornNode *node)
{
  VornNode *copy = VORN_NODE_CLASS (test_leaf_parent_class)->duplicate (node);
  reinterpret_cast<TestLeaf *> (copy)->attrib = reinterpret_cast<TestLeaf *> (node)->attrib;
  reinterpret_cast<TestLeaf *> (copy)->level = reinterpret_cast<TestLeaf *> (node)->level;
  return copy;
}

static VornGen *
test_leaf_create_gen (VornNode *, VornQueue *queue)
{
  return reinterpret_cast<VornGen *> (queue);   /* echo: proves the dispatch */
}

static void
test_leaf_class_init (TestLeafClass *klass)
{
  GObjectClass *oc = G_OBJECT_CLASS (klass);
  oc->get_property = test_leaf_get_property;
  oc->set_property = test_leaf_set_property;
  VORN_NODE_CLASS (klass)->duplicate = test_leaf_duplicate;
  VORN_NODE_CLASS (klass)->create_gen = test_leaf_create_gen;
  g_object_class_install_property (
    oc, 1, g_param_spec_enum ("dest-attrib", "DestAttrib", "Destination", VORN_TYPE_ATTRIB_TYPE,
                              VORN_ATTRIB_TYPE_SIGNAL, G_PARAM_READWRITE));
  g_object_class_install_property (
    oc, 2, g_param_spec_double ("level", "Level", "Level", -10, 10, 0, G_PARAM_READWRITE));
}

static void
test_leaf_init (TestLeaf *leaf)
{
  leaf->attrib = VORN_ATTRIB_TYPE_SIGNAL;
}

/* A runtime-only node class. */
typedef struct { VornNode parent_instance; } TestTransient;
typedef struct { VornNodeClass parent_class; } TestTransientClass;
G_DEFINE_TYPE (TestTransient, test_transient, VORN_TYPE_NODE)
static void test_transient_class_init (TestTransientClass *klass) { VORN_NODE_CLASS (klass)->transient = 1; }
static void test_transient_init (TestTransient *) {}

/* ---- helpers ----------------------------------------------------------- */

static VornNode *
named (const char *name, GType type = VORN_TYPE_NODE)
{
  return static_cast<VornNode *> (g_object_new (type, "name", name, nullptr));
}

static std::string
name_of (VornNode *node)
{
  g_autofree char *name = nullptr;
  g_object_get (node, "name", &name, nullptr);
  return name ? name : "(null)";
}

/* Child names in order, after checking every link of the list both ways. */
static std::string
children_of (VornNode *parent)
{
  std::string out;
  VornNode *prev = nullptr;
  for (VornNode *c = parent->children; c; prev = c, c = c->next)
    {
      EXPECT_EQ (c->prev, prev) << "back link of " << name_of (c);
      EXPECT_EQ (c->parent, parent) << "parent of " << name_of (c);
      out += (out.empty () ? "" : ",") + name_of (c);
    }
  return out;
}

/* Inserts and drops the caller's reference, as tree builders do. */
static VornNode *
add (VornNode *parent, VornNode *child, int position = -1)
{
  vorn_node_insert (parent, child, position);
  g_object_unref (child);
  return child;
}

static std::string
json_text (gpointer object)
{
  g_autoptr (JsonNode) json = json_gobject_serialize (G_OBJECT (object));
  g_autofree char *text = json_to_string (json, FALSE);
  return text;
}

/* ---- tests ------------------------------------------------------------- */

TEST (Node, InsertPositions)
{
  g_autoptr (VornNode) p = vorn_node_new ();
  add (p, named ("a"));
  add (p, named ("b"), 0);     /* 0 puts it first */
  EXPECT_EQ (children_of (p), "b,a");
  add (p, named ("c"), 5);     /* past the end appends */
  add (p, named ("d"), 1);     /* after the first child */
  add (p, named ("e"), -7);    /* any other negative value: first */
  add (p, named ("f"), -1);
  EXPECT_EQ (children_of (p), "e,b,d,a,c,f");
}

TEST (Node, InsertRefusesSecondParentAndCycles)
{
  g_autoptr (VornNode) p = vorn_node_new ();
  g_autoptr (VornNode) q = vorn_node_new ();
  VornNode *child = add (p, named ("child"));
  VornNode *grandchild = add (child, named ("grandchild"));

  vorn_node_insert (q, child, -1);
  EXPECT_CRITICAL ("node->parent == NULL");
  vorn_node_insert (grandchild, p, -1);
  EXPECT_CRITICAL ("!is_ancestor_or_self (node, parent)");
  vorn_node_insert (p, p, -1);
  EXPECT_CRITICAL ("!is_ancestor_or_self (node, parent)");
  EXPECT_EQ (children_of (p), "child");
  EXPECT_EQ (q->children, nullptr);
}

TEST (Node, UnlinkKeepsListConsistentAndDropsReference)
{
  g_autoptr (VornNode) p = vorn_node_new ();
  for (const char *n : { "a", "b", "c", "d" })
    add (p, named (n));

  VornNode *b = p->children->next;
  VornNode *gone = b;
  g_object_add_weak_pointer (G_OBJECT (b), reinterpret_cast<gpointer *> (&gone));
  vorn_node_unlink (b);
  EXPECT_EQ (gone, nullptr) << "the parent's reference was the last one";
  EXPECT_EQ (children_of (p), "a,c,d");

  g_autoptr (VornNode) first = VORN_NODE (g_object_ref (p->children));
  vorn_node_unlink (first);
  EXPECT_EQ (first->parent, nullptr);
  EXPECT_EQ (first->next, nullptr);
  EXPECT_EQ (children_of (p), "c,d");

  vorn_node_unlink (p);
  EXPECT_CRITICAL ("node->parent != NULL");
  EXPECT_EQ (children_of (p), "c,d");
}

TEST (Node, FinalizeDetachesSurvivingChildren)
{
  VornNode *p = vorn_node_new ();
  g_autoptr (VornNode) kept = VORN_NODE (g_object_ref (add (p, named ("kept"))));
  add (p, named ("other"));
  g_object_unref (p);
  EXPECT_EQ (kept->parent, nullptr);
  EXPECT_EQ (kept->next, nullptr);
}

TEST (Node, QueriesOnTheTree)
{
  g_autoptr (VornNode) root = vorn_node_new ();
  VornNode *a = add (root, named ("a"));
  VornNode *leaf = add (a, named ("leaf", test_leaf_get_type ()));
  VornNode *deep = add (leaf, named ("deep"));
  add (root, named ("b"));

  EXPECT_EQ (vorn_node_get_root (deep), root);
  EXPECT_EQ (vorn_node_get_root (root), root);
  EXPECT_EQ (vorn_node_position (a), 0);
  EXPECT_EQ (vorn_node_position (root->children->next), 1);
  EXPECT_EQ (vorn_node_position (root), -1);
  EXPECT_EQ (vorn_node_level (root), 0u);
  EXPECT_EQ (vorn_node_level (deep), 3u);
  EXPECT_EQ (vorn_node_get_parent_by_type (deep, test_leaf_get_type ()), leaf);
  EXPECT_EQ (vorn_node_get_parent_by_type (leaf, test_leaf_get_type ()), leaf);
  EXPECT_EQ (vorn_node_get_parent_by_type (deep, VORN_TYPE_NODE), deep);
  EXPECT_EQ (vorn_node_get_parent_by_type (a, VORN_TYPE_FILE), nullptr);

  EXPECT_EQ (vorn_node_get_root (nullptr), nullptr);
  EXPECT_CRITICAL ("VORN_IS_NODE (node)");
  EXPECT_EQ (vorn_node_position (nullptr), -1);
  EXPECT_CRITICAL ("VORN_IS_NODE (node)");
  EXPECT_EQ (vorn_node_level (nullptr), G_MAXUINT);
  EXPECT_CRITICAL ("VORN_IS_NODE (node)");
  vorn_node_insert (nullptr, a, 0);
  EXPECT_CRITICAL ("VORN_IS_NODE (parent)");
  vorn_node_steal_children (root, nullptr);
  EXPECT_CRITICAL ("VORN_IS_NODE (src)");
  vorn_node_steal_children (nullptr, root);
  EXPECT_CRITICAL ("VORN_IS_NODE (dest)");
}

struct Walk {
  std::vector<std::string> seen;
  std::string stop_at;
};

static gboolean
record (VornNode *node, gpointer data)
{
  auto *walk = static_cast<Walk *> (data);
  walk->seen.push_back (name_of (node));
  return walk->seen.back () != walk->stop_at;
}

static std::string
joined (const std::vector<std::string> &v)
{
  std::string s;
  for (const auto &x : v)
    s += (s.empty () ? "" : " ") + x;
  return s;
}

TEST (Node, TraversalOrdersAndEarlyStop)
{
  /* r(a(a1(a11), a2), b(b1)) */
  g_autoptr (VornNode) r = named ("r");
  VornNode *a = add (r, named ("a"));
  VornNode *a1 = add (a, named ("a1"));
  add (a1, named ("a11"));
  add (a, named ("a2"));
  VornNode *b = add (r, named ("b"));
  add (b, named ("b1"));

  /* Pre or post order, stopping where the callback says so; a post-order
   * walk stops before any ancestor of the stop node runs. */
  const struct { bool pre; const char *stop, *want; } walks[] = {
    { true, "", "r a a1 a11 a2 b b1" }, { false, "", "a11 a1 a2 a b1 b r" },
    { true, "a11", "r a a1 a11" },      { true, "r", "r" },
    { false, "a2", "a11 a1 a2" },
  };
  for (const auto &w : walks)
    {
      Walk walk{ {}, w.stop };
      (w.pre ? vorn_node_pre_traverse : vorn_node_post_traverse) (r, record, &walk);
      EXPECT_EQ (joined (walk.seen), w.want) << (w.pre ? "pre" : "post") << " stop " << w.stop;
    }

  vorn_node_pre_traverse (r, nullptr, nullptr);
  EXPECT_CRITICAL ("func != NULL");
}

TEST (Node, FileNumbersSubtreesInPreOrder)
{
  g_autoptr (VornFile) file = vorn_file_new ();

  /* Built outside the file: nothing is numbered yet. */
  g_autoptr (VornNode) inst = named ("inst");
  VornNode *w1 = add (inst, named ("w1"));
  VornNode *w1c = add (w1, named ("w1c"));
  VornNode *w2 = add (inst, named ("w2"));
  w2->id = 77;   /* an ID from elsewhere is kept */
  VornNode *w2c = add (w2, named ("w2c"));
  EXPECT_EQ (w1->id, 0u);

  vorn_node_insert (VORN_NODE (file), inst, -1);
  EXPECT_EQ (inst->id, 1u);
  EXPECT_EQ (w1->id, 2u);
  EXPECT_EQ (w1c->id, 3u);
  EXPECT_EQ (w2->id, 77u);
  EXPECT_EQ (w2c->id, 4u);

  /* Deep insertion below an instrument still reaches the file. */
  VornNode *late = add (w1c, named ("late"));
  EXPECT_EQ (late->id, 5u);

  /* Runtime-only nodes and their children take no IDs. */
  VornNode *tap = named ("tap", test_transient_get_type ());
  VornNode *under_tap = add (tap, named ("under"));
  add (inst, tap);
  EXPECT_EQ (tap->id, 0u);
  EXPECT_EQ (under_tap->id, 0u);
  EXPECT_EQ (vorn_file_get_next_id (file), 6u);
}

TEST (Node, StealChildrenMovesReferencesAndNumbers)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  VornNode *inst = add (VORN_NODE (file), named ("inst"));
  add (inst, named ("x"));

  VornNode *src = named ("src");
  add (src, named ("s1"));
  VornNode *s2 = add (src, named ("s2"));
  add (s2, named ("s2a"));

  vorn_node_steal_children (inst, src);
  EXPECT_EQ (children_of (inst), "x,s1,s2");
  EXPECT_EQ (src->children, nullptr);
  g_object_unref (src);   /* the moved children must survive their old parent */
  EXPECT_EQ (children_of (inst), "x,s1,s2");
  EXPECT_EQ (inst->children->next->id, 3u);
  EXPECT_EQ (s2->id, 4u);
  EXPECT_EQ (s2->children->id, 5u);
}

TEST (Node, DuplicateCopiesShapeNotIds)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  VornNode *inst = add (VORN_NODE (file), named ("inst"));
  VornNode *leaf = add (inst, named ("leaf", test_leaf_get_type ()));
  g_object_set (leaf, "dest-attrib", VORN_ATTRIB_TYPE_PITCH, "level", 2.5, "mute", TRUE, nullptr);
  leaf->attach_point = TRUE;
  add (leaf, named ("deep"));

  g_autoptr (VornNode) copy = vorn_node_duplicate (inst);
  EXPECT_EQ (copy->parent, nullptr);
  EXPECT_EQ (children_of (copy), "leaf");
  EXPECT_EQ (json_text (copy), R"({"type":"VornNode","name":"inst","nodes":[{"type":"TestLeaf",)"
                               R"("name":"leaf","mute":true,"attach-point":true,)"
                               R"("dest-attrib":"pitch","level":2.5,"nodes":[)"
                               R"({"type":"VornNode","name":"deep"}]}]})");
  EXPECT_EQ (vorn_node_duplicate (nullptr), nullptr);
  EXPECT_CRITICAL ("VORN_IS_NODE (node)");
}

TEST (Node, CreateGenDispatchesToTheClass)
{
  g_autoptr (VornNode) plain = vorn_node_new ();
  g_autoptr (VornNode) leaf = named ("leaf", test_leaf_get_type ());
  g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();
  g_autoptr (VornQueue) queue = vorn_queue_new (plain, synth);

  EXPECT_FALSE (vorn_node_can_gen (plain));
  EXPECT_TRUE (vorn_node_can_gen (leaf));
  EXPECT_EQ (vorn_node_create_gen (plain, queue), nullptr);
  EXPECT_EQ (vorn_node_create_gen (leaf, queue), reinterpret_cast<VornGen *> (queue));
  EXPECT_EQ (vorn_node_create_gen (leaf, reinterpret_cast<VornQueue *> (synth)), nullptr);
  EXPECT_CRITICAL ("VORN_IS_QUEUE (queue)");
  EXPECT_EQ (vorn_node_create_gen (nullptr, queue), nullptr);
  EXPECT_CRITICAL ("VORN_IS_NODE (node)");
}

TEST (Node, NotifiesOnlyOnChange)
{
  g_autoptr (VornNode) node = vorn_node_new ();
  int notified = 0;
  g_signal_connect_swapped (node, "notify::name", G_CALLBACK (+[] (int *n) { (*n)++; }), &notified);
  g_object_set (node, "name", "Lead", nullptr);
  g_object_set (node, "name", "Lead", nullptr);
  EXPECT_EQ (notified, 1);
}

/* ---- JSON -------------------------------------------------------------- */

TEST (NodeJson, MemberOrderAndOmissions)
{
  /* A new node: default name (omitted), no ID, not muted, no children. */
  g_autoptr (VornNode) plain = vorn_node_new ();
  EXPECT_EQ (name_of (plain), "Untitled");
  EXPECT_EQ (json_text (plain), R"({"type":"VornNode"})");
  g_autofree char *type = nullptr;
  g_object_get (plain, "type", &type, nullptr);
  EXPECT_STREQ (type, "VornNode");

  /* Default enum still written (as its nick); default double omitted. */
  g_autoptr (VornNode) leaf = named ("leaf", test_leaf_get_type ());
  EXPECT_EQ (json_text (leaf), R"({"type":"TestLeaf","name":"leaf","dest-attrib":"signal"})");
  g_object_set (leaf, "level", 1.5, "mute", TRUE, nullptr);
  add (leaf, named ("child"));
  EXPECT_EQ (json_text (leaf), R"({"type":"TestLeaf","name":"leaf","mute":true,)"
                               R"("dest-attrib":"signal","level":1.5,"nodes":[)"
                               R"({"type":"VornNode","name":"child"}]})");

  /* Runtime-only nodes keep their children out of files. */
  g_autoptr (VornNode) tap = named ("tap", test_transient_get_type ());
  add (tap, named ("hidden"));
  EXPECT_EQ (json_text (tap), R"({"type":"TestTransient","name":"tap"})");
}

TEST (NodeJson, LoadSkipsUnknownTypesAndRepairsEnums)
{
  const char *text = R"({
    "type" : "TestLeaf", "name" : "root", "dest-attrib" : "pitch",
    "nodes" : [
      { "type" : "VornNode", "name" : "first" },
      { "type" : "NoSuchNodeClass", "name" : "unknown" },
      { "name" : "untyped" },
      42,
      { "type" : "GObject", "name" : "not a node" },
      { "type" : "TestLeaf", "name" : "bad enum", "dest-attrib" : "sideways" },
      { "type" : "TestLeaf", "name" : "number enum", "dest-attrib" : 3 },
      { "type" : "VornNode", "name" : "last", "nodes" : [ { "type" : "VornNode", "name" : "inner" } ] }
    ] })";
  g_autoptr (JsonNode) json = json_from_string (text, nullptr);
  ASSERT_NE (json, nullptr);
  g_autoptr (GObject) obj = json_gobject_deserialize (test_leaf_get_type (), json);
  VornNode *root = VORN_NODE (obj);

  EXPECT_EQ (reinterpret_cast<TestLeaf *> (root)->attrib, VORN_ATTRIB_TYPE_PITCH);
  EXPECT_EQ (children_of (root), "first,bad enum,number enum,last");
  EXPECT_WARNING ("Invalid JSON enum value '\"sideways\"' for property 'dest-attrib' of node type 'TestLeaf'");
  EXPECT_WARNING ("Invalid JSON enum value '3' for property 'dest-attrib' of node type 'TestLeaf'");
  VornNode *bad = root->children->next;
  EXPECT_EQ (reinterpret_cast<TestLeaf *> (bad)->attrib, VORN_ATTRIB_TYPE_SIGNAL) << "default restored";
  EXPECT_EQ (children_of (root->children->next->next->next), "inner");
}

TEST (NodeJson, RoundTripKeepsTreeAndValues)
{
  g_autoptr (VornNode) root = named ("root");
  VornNode *leaf = add (root, named ("leaf", test_leaf_get_type ()));
  g_object_set (leaf, "level", -0.1, "dest-attrib", VORN_ATTRIB_TYPE_MORPH, nullptr);
  add (leaf, named ("x"));
  add (root, named ("tail"));

  g_autoptr (JsonNode) json = json_gobject_serialize (G_OBJECT (root));
  g_autoptr (GObject) back = json_gobject_deserialize (VORN_TYPE_NODE, json);
  EXPECT_EQ (children_of (VORN_NODE (back)), "leaf,tail");
  EXPECT_EQ (json_text (back), json_text (root));
}
