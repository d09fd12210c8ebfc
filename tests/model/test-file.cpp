/* Tests of instrument files: the saved form, loading, IDs, safe saving and
 * the handling of bad data. */
#include "vorn-test-alloc.h"
#include "vorn-test-log.h"
#include "vorn-test-model.h"

#include <json-glib/json-glib.h>

#include <string>
#include <vector>
#include <fcntl.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vorn_test;

namespace {

VornFile *
load_text (const std::string &text, GError **error)
{
  return vorn_file_load_from_data (text.data (), guint32 (text.size ()), error);
}

/* The counter as stored, without taking an ID from it. */
guint
next_id (VornFile *file)
{
  guint id = 0;
  g_object_get (file, "next-id", &id, nullptr);
  return id;
}

} // namespace

/* The saved form member by member is fixed by the bank test (the committed
 * bank saves to the same bytes); here what the bank cannot show: a new
 * document gets a UUID and keeps it, saving names the file, IDs and the
 * counter come back from disk while read-only members do not, a failed save
 * keeps the name, and a duplicate or a failed restore leaves identity and
 * content alone. */
TEST (File, SaveLoadDuplicateAndRestore)
{
  TempDir dir;
  g_autoptr (VornFile) file = vorn_file_new ();
  /* IDs 1..159 over a few levels, as a real bank would have. */
  for (int i = 0; i < 53; i++)
    add (add (add (VORN_NODE (file), named ("inst")), named ("wave")), named ("mod"));
  std::string path = dir.file ("ids.vvi");
  g_autoptr (GError) error = nullptr;
  ASSERT_TRUE (vorn_file_save (file, path.c_str (), &error)) << error->message;
  const std::string uuid = get_string (file, "uuid");
  EXPECT_TRUE (g_uuid_string_is_valid (uuid.c_str ()));
  EXPECT_EQ (get_string (file, "file-name"), path);
  ASSERT_TRUE (vorn_file_save (file, nullptr, &error));
  EXPECT_EQ (get_string (file, "uuid"), uuid);
  EXPECT_FALSE (vorn_file_save (file, dir.file ("no/such.vvi").c_str (), &error));
  g_clear_error (&error);
  EXPECT_EQ (get_string (file, "file-name"), path);

  g_autoptr (VornFile) loaded = vorn_file_load (path.c_str (), &error);
  ASSERT_NE (loaded, nullptr) << error->message;
  EXPECT_EQ (get_string (loaded, "file-name"), path);
  EXPECT_EQ (get_string (loaded, "software-edited"), "(null)") << "read-only members are not restored";
  guint32 expect = 1;
  bool in_order = true;
  for (VornNode *inst = VORN_NODE (loaded)->children; inst; inst = inst->next)
    {
      in_order &= inst->id == expect++;
      in_order &= inst->children->id == expect++;
      in_order &= inst->children->children->id == expect++;
    }
  EXPECT_TRUE (in_order);
  EXPECT_EQ (add (VORN_NODE (loaded), named ("new"))->id, 160u);

  g_object_set (loaded, "comments", "hi", nullptr);
  g_autoptr (VornNode) copy = vorn_node_duplicate (VORN_NODE (loaded));
  ASSERT_TRUE (VORN_IS_FILE (copy));
  EXPECT_EQ (get_string (copy, "uuid") + get_string (copy, "comments"), "(null)hi");
  EXPECT_EQ (next_id (VORN_FILE (copy)), 161u);
  EXPECT_EQ (copy->children->id, 0u);

  g_autofree char *before = vorn_file_to_data (loaded, nullptr);
  EXPECT_FALSE (vorn_file_restore (loaded, "{\"format\": 1}", 13, &error));
  EXPECT_NE (error, nullptr);
  g_autofree char *still = vorn_file_to_data (loaded, nullptr);
  EXPECT_STREQ (still, before);
}

namespace {

/* A file with one instrument whose children are @nodes (JSON objects). */
std::string
inst_file (const std::string &nodes)
{
  return R"({ "type" : "VornFile", "nodes" : [ { "type" : "VornInst", "id" : 1, "nodes" : [ )" + nodes
         + " ] } ] }";
}

std::string
wave (const std::string &members, const std::string &points = "0, 0, 0, 0, 1, 1, 1, 1")
{
  return R"({ "type" : "VornWave", )" + members + R"( "curve" : { "points" : [ )" + points
         + " ] } }";
}

/* @n copies of @item, comma separated. */
std::string
repeat (const std::string &item, guint n)
{
  std::string text;
  text.reserve ((item.size () + 1) * n);
  for (guint i = 0; i < n; i++)
    text += (i ? "," : "") + item;
  return text;
}

/* The count is checked before the entries are read. */
std::string
morph (guint entries)
{
  std::string text = R"("morph" : { "type" : "VornMorph", "points" : [ )";
  for (guint i = 0; i < entries; i++)
    text += i ? ",{}" : "{}";
  return text + " ] },";
}

} // namespace

/* Every kind of broken input fails with an error in the right domain; our own
 * errors are compared whole, parser errors by their start ("@" is the path).
 * Sizes, numbers and counts a file sets must be ones the engine can serve:
 * the values at the limits still load (no domain).  What is not a regular
 * file, or is over the size limit, is refused without reading (or blocking
 * on) it. */
TEST (FileLoad, RefusesBadInputWithClearErrors)
{
  enum From { DATA, FILE, MISSING, FIFO, HUGE };
  const struct {
    From from;
    std::string data;
    GQuark domain;
    const char *message;
  } cases[] = {
    { DATA, "   \n", VORN_ERROR, "Instrument file data must be a JSON object, not empty data" },
    { DATA, R"({ "type" : "VornFile", "nodes" : [ { "type" : "VornNode")", JSON_PARSER_ERROR, "<data>:1:" },
    { DATA, "[1, 2, 3]", VORN_ERROR, "Instrument file data must be a JSON object, not an array" },
    { DATA, R"({ "type" : "VornNode" })", VORN_ERROR,
      "Not an instrument file: the top-level object has type \"VornNode\"" },
    { DATA, R"({ "type" : "VornFile", "format" : "Other:Thing" })", VORN_ERROR,
      "Unsupported file format \"Other:Thing\" (expected \"Vornadel:Waves\")" },
    { DATA, R"({ "type" : "VornFile", "format-version" : "2.0" })", VORN_ERROR,
      "Unsupported file format version \"2.0\"" },
    { DATA, R"({ "type" : "VornFile", "name" : { "x" : 1 } })", VORN_ERROR,
      "Invalid member 'name' of node type 'VornFile': expected a string, found an object" },
    { DATA, R"({ "type" : "VornFile", "next-id" : "ten" })", VORN_ERROR,
      "Invalid member 'next-id' of node type 'VornFile': expected an integer, found a string" },
    { DATA, R"({ "type" : "VornFile", "nodes" : [ { "type" : "VornNode", "id" : 8589934592 } ] })",
      VORN_ERROR, "Value 8589934592 out of range for member 'id' of node type 'VornNode'" },
    { DATA, std::string (100000, '['), VORN_ERROR, "JSON data nested more than 256 levels deep" },
    { MISSING, "", G_FILE_ERROR, "" },
    { FILE, "", VORN_ERROR, "File '@' is empty" },
    { FILE, "{ \"type\" : ", JSON_PARSER_ERROR, "@: " },
    { FIFO, "", G_FILE_ERROR, "Cannot read '@': it is not a regular file" },
    { HUGE, "", VORN_ERROR, "File '@' is too large: instrument files are limited to 64 MiB" },
    { DATA, inst_file (R"({ "type" : "VornTap", "size" : 4194304 })"), 0, nullptr },
    { DATA, inst_file (R"({ "type" : "VornTap", "size" : 4194305 })"), VORN_ERROR,
      "Value 4194305 out of range for member 'size' of node type 'VornTap'" },
    { DATA, inst_file (R"({ "type" : "VornTap", "size" : 4194304 }, { "type" : "VornTap", "size" : 4194304 },
                   { "type" : "VornTap", "size" : 64 })"), VORN_ERROR,
      "The taps of node 'Untitled' of type 'VornInst' record 8388672 frames in all; at most 8388608 are supported" },
    { DATA, inst_file (wave (R"("x-scale" : 1e9, "y-scale" : -1e9, "y-ofs" : 1e-300,)")), 0, nullptr },
    { DATA, inst_file (wave (R"("x-scale" : 1e39,)")), VORN_ERROR,
      "Value 1e+39 out of range for member 'x-scale' of node type 'VornWave'" },
    { DATA, inst_file (wave (R"("init-value" : 10000000000,)")), VORN_ERROR,
      "Value 10000000000 out of range for member 'init-value' of node type 'VornWave'" },
    { DATA, inst_file (wave (R"("y-ofs" : 1e999,)")), VORN_ERROR,
      "Invalid member 'y-ofs' of node type 'VornWave': expected a finite number, found infinity" },
    { DATA, inst_file (wave ("", "0, 0, 0, 0, 1, 1, 1e999, 1")), VORN_ERROR,
      "Invalid member 'points' of type 'VornCurve': element 6 is infinity, outside the range -1e9 to 1e9" },
    { DATA, inst_file (wave ("", R"(0, 0, "0", 0, 1, 1, 1, 1)")), VORN_ERROR,
      "Invalid member 'points' of type 'VornCurve': element 2 is a string, not a number" },
    { DATA, inst_file (wave ("", "0, 0, 0, 0, 1, 1, 1, 1, 2, 2")), VORN_ERROR,
      "Invalid member 'points' of type 'VornCurve': 10 numbers do not make a curve (2 points need 8, each further point 6)" },
    { DATA, inst_file (wave (R"("morph" : { "type" : "VornMorph", "points" : [ { "index" : 1,
                     "curve" : { "points" : [0, 0, 0, 0, 1, -1e40, 1, 1] } } ] },)")), VORN_ERROR,
      "Invalid member 'points' of type 'VornCurve': element 5 is -1e+40, outside the range -1e9 to 1e9" },
    { DATA, inst_file (wave (morph (65536))), VORN_ERROR,
      "Invalid member 'morph' of node type 'VornWave': 65536 entries, at most 65535 are supported" },
    { DATA, inst_file (wave (R"("morph" : { "type" : "VornMorph", "points" : [
                     { "index" : 2, "curve" : { "points" : [0, 0, 0, 0, 1, 1, 1, 1] } },
                     { "index" : 2, "curve" : { "points" : [0, 0, 0, 0, 1, 1, 1, 1] } } ] },)")), VORN_ERROR,
      "Invalid member 'morph' of node type 'VornWave': two entries for vertical coordinate 2" },
    { DATA, inst_file (wave (R"("morph" : { "type" : "VornMorph", "points" : [ { "index" : 2 } ] },)")), VORN_ERROR,
      "Invalid member 'morph' of node type 'VornWave': entry 0 is not an object with an \"index\" and a \"curve\" of 2 or more points" },
    { DATA, inst_file (wave (R"("morph" : [],)")), VORN_ERROR,
      "Invalid member 'morph' of node type 'VornWave': expected an object of type \"VornMorph\" with an array \"points\"" },
    { DATA, R"({ "type" : "VornFile" } /* a comment */ )", VORN_ERROR,
      "Comments are not allowed in instrument files (one starts at byte 24)" },
    { DATA, R"({ "type" : /* never closed)", VORN_ERROR,
      "Comments are not allowed in instrument files (one starts at byte 11)" },
    { DATA, std::string ("\xff\xfe{\0}\0", 6), VORN_ERROR, "The file is UTF-16; instrument files are UTF-8" },
    { DATA, std::string ("\0{\0 \0}", 6), VORN_ERROR, "The file is UTF-16; instrument files are UTF-8" },
    { DATA, std::string ("{\0\0\0}\0\0\0", 8), VORN_ERROR, "The file is UTF-32; instrument files are UTF-8" },
    { DATA, std::string ("{ \"name\" : \"a\0\" }", 16), VORN_ERROR,
      "The file holds a NUL byte at byte 13; instrument files are UTF-8 text" },
    { DATA, "{ \"name\" : \"\xe9t\xe9\" }", VORN_ERROR,
      "The file is not valid UTF-8: byte 12 starts no UTF-8 character" },
    { DATA, R"({ "type" : "VornFile", "name" : "\ud83c\udfb9 \u00e9" })", 0, nullptr },
    { DATA, R"({ "type" : "VornFile", "name" : "a\udfb9" })", VORN_ERROR,
      "Invalid string escape at byte 34: \\udfb9 is half of a UTF-16 surrogate pair, without the other half" },
    { DATA, R"({ "type" : "VornFile", "name" : "\ud83c" })", VORN_ERROR,
      "Invalid string escape at byte 33: \\ud83c is half of a UTF-16 surrogate pair, without the other half" },
    { DATA, inst_file (wave ("\"x-scale\" : 1" + std::string (400, '0') + ",")), VORN_ERROR,
      "Value 10000000000000000000\u2026 (401 characters) out of range for member 'x-scale' of node type 'VornWave'" },
    { DATA, inst_file (wave ("\"id\" : 18446744073709551615,")), VORN_ERROR,
      "Value 18446744073709551615 out of range for member 'id' of node type 'VornWave'" },
    { DATA, inst_file (wave ("", "0, 0, 0, 0, 1, 1, -9223372036854775809, 1")), VORN_ERROR,
      "Value -9223372036854775809 out of range for member 'points'" },
    { DATA, inst_file (repeat ("{}", VORN_FILE_MAX_NODES)), VORN_ERROR,
      "Too many nodes: instrument files are limited to 150000 nodes" },
    { DATA, R"({ "type" : "VornFile", "future" : [)" + repeat ("0", VORN_FILE_MAX_VALUES) + "] }", VORN_ERROR,
      "Too many values: instrument files are limited to 8000000 JSON values" },
    { DATA, R"({ "type" : "VornFile" }{ "type" : "VornFile", "name" : "second" })", VORN_ERROR,
      "Unexpected data after the end of the instrument file, at byte 23" },
  };
  TempDir dir;
  const std::string paths[] = { "", dir.file ("bad.vvi"), dir.file ("no/such.vvi"),
                                dir.file ("fifo.vvi"), dir.file ("huge.vvi") };
  ASSERT_EQ (mkfifo (paths[FIFO].c_str (), 0600), 0);
  /* Sparse: no disk space is used, and a size check must come first. */
  int fd = open (paths[HUGE].c_str (), O_CREAT | O_WRONLY, 0600);
  ASSERT_EQ (ftruncate (fd, VORN_FILE_MAX_SIZE + 1), 0);
  close (fd);
  for (const auto &c : cases)
    {
      SCOPED_TRACE (c.data.substr (0, 200));
      const std::string &path = paths[c.from];
      if (c.from == FILE)
        g_file_set_contents (path.c_str (), c.data.data (), gssize (c.data.size ()), nullptr);
      g_autoptr (GError) error = nullptr;
      g_autoptr (VornFile) file = c.from == DATA ? load_text (c.data, &error)
                                                 : vorn_file_load (path.c_str (), &error);
      if (!c.domain)
        {
          EXPECT_NE (file, nullptr) << error->message;
          continue;
        }
      EXPECT_EQ (file, nullptr);
      ASSERT_NE (error, nullptr);
      EXPECT_TRUE (g_utf8_validate (error->message, -1, nullptr));
      EXPECT_EQ (error->domain, c.domain) << error->message;
      std::string want = c.message;
      if (auto at = want.find ('@'); at != std::string::npos)
        want.replace (at, 1, path);
      if (c.domain == VORN_ERROR)
        EXPECT_EQ (error->message, want);
      else
        EXPECT_TRUE (g_str_has_prefix (error->message, want.c_str ())) << error->message;
    }

  EXPECT_EQ (vorn_file_load_from_data (nullptr, 4, nullptr), nullptr);
  EXPECT_CRITICAL ("data != NULL");
}

/* Loaded IDs stay unique and the counter stays above them: duplicates and a
 * stale counter are repaired, and a counter near 2^32 renumbers the file
 * rather than wrap to 0. */
TEST (FileLoad, IdsStayUniqueAndTheCounterNeverWraps)
{
  const struct {
    const char *next_id;
    std::vector<guint32> ids;   /* 0: no "id" member */
    std::vector<guint32> loaded;
    guint32 next_after;         /* ID of a node inserted after loading */
    const char *warning;
  } cases[] = {
    { "10", { 4, 0, 9 }, { 4, 10, 9 }, 11, nullptr },
    { "2", { 10, 0 }, { 10, 11 }, 12, nullptr },
    { "0", { 3 }, { 3 }, 4, nullptr },
    { "8", { 5, 5, 7, 5 }, { 5, 8, 7, 9 }, 10, "Duplicate node ID 5 in the instrument file: 2 nodes renumbered" },
    { "4294967295", { 1, 2, 0 }, { 1, 2, 3 }, 4, nullptr },
    { "5", { 4294967295u, 7 }, { 1, 2 }, 3, nullptr },
    { "2147483647", { 2147483646u }, { 2147483646u }, 2147483647u, nullptr },
  };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (c.next_id);
      std::string nodes;
      for (guint32 id : c.ids)
        nodes += (nodes.empty () ? "" : ", ") + std::string (R"({ "type" : "VornNode")")
                 + (id ? R"(, "id" : )" + std::to_string (id) : "") + " }";
      /* A stored file name and members of later versions are ignored. */
      std::string text = R"({ "type" : "VornFile", "file-name" : "/elsewhere.vvi", "future" : [1],)"
                         R"( "next-id" : )" + std::string (c.next_id) + R"(, "nodes" : [ )" + nodes + " ] }";
      g_autoptr (GError) error = nullptr;
      g_autoptr (VornFile) file = load_text (text, &error);
      ASSERT_NE (file, nullptr) << error->message;
      EXPECT_EQ (get_string (file, "file-name"), "Untitled.vvi");
      if (c.warning)
        {
          EXPECT_WARNING (c.warning);
        }

      std::vector<guint32> loaded;
      for (VornNode *n = VORN_NODE (file)->children; n; n = n->next)
        loaded.push_back (n->id);
      EXPECT_EQ (loaded, c.loaded);
      EXPECT_EQ (add (VORN_NODE (file), named ("new"))->id, c.next_after);
    }

  /* An exhausted counter hands out 0 (no ID) instead of wrapping. */
  g_autoptr (VornFile) file = vorn_file_new ();
  g_object_set (file, "next-id", G_MAXUINT32, nullptr);
  const std::vector<guint32> handed = { vorn_file_get_next_id (file), vorn_file_get_next_id (file),
                                        vorn_file_get_next_id (file) };
  EXPECT_EQ (handed, (std::vector<guint32>{ G_MAXUINT32, 0, 0 }));
}

/* Loading grows linearly: appending a child does not walk its siblings,
 * and curve points do not go through a list grown one element at a time.
 * Counted, not timed (bench-load times it): beyond what parsing the JSON
 * costs, the heap allocations per node and per curve coordinate stay the
 * same as the file grows fourfold, and a coordinate costs next to nothing. */
TEST (FileLoad, LargeFilesCostTheSamePerNode)
{
  VORN_TEST_REQUIRE_ALLOC_COUNTER ();
  auto siblings = [] (int n) {
    std::string nodes;
    for (int i = 0; i < n; i++)
      nodes += i ? R"(, { "type" : "VornNode" })" : R"({ "type" : "VornNode" })";
    return inst_file (nodes);
  };
  auto curve = [] (int n) {
    std::string points;
    for (int k = 0; k < 3 * n - 2; k++)
      points += (k ? ", " : "") + std::to_string (k) + ", 0";
    return inst_file (wave ("", points));
  };
  /* Allocations of loading @text less those of parsing it alone. */
  auto cost = [] (const std::string &text) {
    std::size_t parsed = 0;
    {
      vorn_test::AllocationCounter counter;
      g_autoptr (JsonNode) json = json_from_string (text.c_str (), nullptr);
      parsed = counter.count ();
    }
    EXPECT_GT (parsed, 100u) << "the counter sees nothing";
    vorn_test::AllocationCounter counter;
    g_autoptr (VornFile) file = load_text (text, nullptr);
    EXPECT_NE (file, nullptr);
    return double (counter.count ()) - double (parsed);
  };

  const struct { std::string (*make) (int); double items, budget; } cases[] = {
    { +siblings, 1, 100 },
    { +curve, 6, 0.5 },   /* n points are about 6 n numbers */
  };
  for (const auto &c : cases)
    {
      const double base = cost (c.make (100)), small = cost (c.make (1000)),
                   large = cost (c.make (4000));
      const double per_small = (small - base) / (900 * c.items),
                   per_large = (large - base) / (3900 * c.items);
      EXPECT_NEAR (per_large, per_small, 0.01 * per_small + 0.2) << c.items;
      EXPECT_LT (per_small, c.budget) << c.items;
    }
}

/* Whatever loads saves into a file that loads again and saves to the same
 * bytes: a long curve and many sibling waves, written compactly by another
 * program.  Smaller than the limit here; the ratio of saved to compact size
 * shows that files of 1.1 million points or 100,000 waves (about 54 MiB and
 * 37 MB compact) save under the limit.  A file that would not is refused
 * before anything is written. */
TEST (File, WhatLoadsSavesIntoWhatLoads)
{
  TempDir dir;
  std::string points;
  for (guint k = 0; k < 8 + 6 * 9999; k++)
    points += (k ? "," : "") + std::to_string (g_random_double_range (-1, 1)).substr (0, 10);
  const struct { std::string text; double scale; } cases[] = {
    { inst_file (wave ("", points)), 1.1e6 / 1e4 },
    { inst_file (repeat (R"({"type":"VornWave","curve":{"points":[0,0,0,0.5,1,1,1,1]}})", 10000)), 10 },
  };
  for (const auto &c : cases)
    {
      const std::string path = dir.file ("big.vvi");
      ASSERT_TRUE (g_file_set_contents (path.c_str (), c.text.data (), gssize (c.text.size ()), nullptr));
      g_autoptr (GError) error = nullptr;
      g_autoptr (VornFile) file = vorn_file_load (path.c_str (), &error);
      ASSERT_NE (file, nullptr) << error->message;
      ASSERT_TRUE (vorn_file_save (file, nullptr, &error)) << error->message;
      g_autofree char *first = nullptr, *second = nullptr;
      gsize size = 0;
      ASSERT_TRUE (g_file_get_contents (path.c_str (), &first, &size, nullptr));
      EXPECT_LT (double (size) * c.scale, VORN_FILE_MAX_SIZE) << size << " bytes from " << c.text.size ();
      g_autoptr (VornFile) again = vorn_file_load (path.c_str (), &error);
      ASSERT_NE (again, nullptr) << error->message;
      ASSERT_TRUE (vorn_file_save (again, nullptr, &error)) << error->message;
      ASSERT_TRUE (g_file_get_contents (path.c_str (), &second, nullptr, nullptr));
      EXPECT_STREQ (first, second);
    }

  /* Names as long as the limit would make a file over it. */
  g_autoptr (VornFile) file = vorn_file_new ();
  const std::string name (VORN_FILE_MAX_SIZE, 'n');
  g_object_set (add (VORN_NODE (file), named ("inst")), "name", name.c_str (), nullptr);
  const std::string path = dir.file ("kept.vvi");
  ASSERT_TRUE (g_file_set_contents (path.c_str (), "old", 3, nullptr));
  g_autoptr (GError) error = nullptr;
  EXPECT_FALSE (vorn_file_save (file, path.c_str (), &error));
  ASSERT_NE (error, nullptr);
  EXPECT_TRUE (g_str_has_suffix (error->message, "instrument files are limited to 64 MiB")) << error->message;
  g_autofree char *kept = nullptr;
  ASSERT_TRUE (g_file_get_contents (path.c_str (), &kept, nullptr, nullptr));
  EXPECT_STREQ (kept, "old");
}
