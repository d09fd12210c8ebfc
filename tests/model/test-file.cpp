/* Tests of instrument files: the saved form, loading, IDs, safe saving and
 * the handling of bad data. */
#include "vorn-test-log.h"
#include "vornadel.h"

#include <json-glib/json-glib.h>

#include <csignal>
#include <string>
#include <vector>
#include <sys/resource.h>

namespace {

struct TempDir {
  char *path;
  TempDir () { path = g_dir_make_tmp ("zelmora-file-XXXXXX", nullptr); }
  ~TempDir ()
  {
    g_autofree char *cmd = g_strdup_printf ("rm -rf '%s'", path);
    (void) system (cmd);
    g_free (path);
  }
  std::string file (const char *name) const { return std::string (path) + "/" + name; }
};

std::string
read_text (const std::string &path)
{
  g_autofree char *text = nullptr;
  return g_file_get_contents (path.c_str (), &text, nullptr, nullptr) ? text : "";
}

VornNode *
add (VornNode *parent, const char *name)
{
  VornNode *node = static_cast<VornNode *> (g_object_new (VORN_TYPE_NODE, "name", name, nullptr));
  vorn_node_insert (parent, node, -1);
  g_object_unref (node);
  return node;
}

std::string
get_string (gpointer object, const char *property)
{
  g_autofree char *value = nullptr;
  g_object_get (object, property, &value, nullptr);
  return value ? value : "(null)";
}

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

TEST (File, SavedTextHasTheDocumentedShape)
{
  TempDir dir;
  g_autoptr (VornFile) file = vorn_file_new ();
  g_object_set (file, "name", "Bank", "author", "Ann", nullptr);
  VornNode *inst = add (VORN_NODE (file), "Lead");
  add (inst, "Tone");

  std::string path = dir.file ("bank.vvi");
  g_autoptr (GError) error = nullptr;
  ASSERT_TRUE (vorn_file_save (file, path.c_str (), &error)) << error->message;

  const std::string uuid = get_string (file, "uuid");
  EXPECT_TRUE (g_uuid_string_is_valid (uuid.c_str ()));
  EXPECT_EQ (get_string (file, "file-name"), path);

  std::string expected = std::string ("{\n"
    "  \"type\" : \"VornFile\",\n"
    "  \"name\" : \"Bank\",\n"
    "  \"format\" : \"Vornadel:Waves\",\n"
    "  \"format-version\" : \"1.0\",\n"
    "  \"software-created\" : \"Zelmora 0.9.0\",\n"
    "  \"software-edited\" : \"Zelmora 0.9.0\",\n"
    "  \"uuid\" : \"") + uuid + "\",\n"
    "  \"author\" : \"Ann\",\n"
    "  \"next-id\" : 3,\n"
    "  \"nodes\" : [\n"
    "    {\n"
    "      \"type\" : \"VornNode\",\n"
    "      \"id\" : 1,\n"
    "      \"name\" : \"Lead\",\n"
    "      \"nodes\" : [\n"
    "        {\n"
    "          \"type\" : \"VornNode\",\n"
    "          \"id\" : 2,\n"
    "          \"name\" : \"Tone\"\n"
    "        }\n"
    "      ]\n"
    "    }\n"
    "  ]\n"
    "}";
  EXPECT_EQ (read_text (path), expected);

  /* Saving again keeps the identity of the document. */
  ASSERT_TRUE (vorn_file_save (file, nullptr, &error));
  EXPECT_EQ (get_string (file, "uuid"), uuid);
}

TEST (File, RoundTripKeepsIdsAndCounter)
{
  TempDir dir;
  g_autoptr (VornFile) file = vorn_file_new ();
  /* IDs 1..159 over a few levels, as a real bank would have. */
  for (int i = 0; i < 53; i++)
    {
      VornNode *inst = add (VORN_NODE (file), "inst");
      VornNode *wave = add (inst, "wave");
      add (wave, "mod");
    }
  ASSERT_EQ (next_id (file), 160u);
  std::string path = dir.file ("ids.vvi");
  ASSERT_TRUE (vorn_file_save (file, path.c_str (), nullptr));

  g_autoptr (GError) error = nullptr;
  g_autoptr (VornFile) loaded = vorn_file_load (path.c_str (), &error);
  ASSERT_NE (loaded, nullptr) << error->message;
  EXPECT_EQ (next_id (loaded), 160u);
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
  EXPECT_EQ (add (VORN_NODE (loaded), "new")->id, 160u);
}

TEST (File, LoadToleratesUnknownContent)
{
  const std::string text = R"({
    "type" : "VornFile", "format" : "Vornadel:Waves", "format-version" : "1.0",
    "file-name" : "/somewhere/else.vvi", "future-member" : [1, 2], "next-id" : 10,
    "nodes" : [
      { "type" : "VornNode", "id" : 4, "name" : "kept" },
      { "type" : "VornSpectralThing", "id" : 5, "name" : "dropped" },
      { "type" : "VornNode", "name" : "no id", "nodes" : [ { "type" : "VornNode" } ] },
      { "type" : "VornNode", "id" : 9, "name" : "also kept" }
    ] })";
  g_autoptr (GError) error = nullptr;
  g_autoptr (VornFile) file = load_text (text, &error);
  ASSERT_NE (file, nullptr) << error->message;

  EXPECT_EQ (get_string (file, "file-name"), "Untitled.vvi");
  VornNode *first = VORN_NODE (file)->children;
  ASSERT_NE (first, nullptr);
  ASSERT_EQ (get_string (first->next, "name"), "no id");
  /* Nodes without an ID are numbered from the counter as it stands when
   * they are attached. */
  const std::vector<guint32> ids{ first->id, first->next->id, first->next->children->id,
                                  first->next->next->id, next_id (file) };
  EXPECT_EQ (ids, (std::vector<guint32>{ 4, 10, 11, 9, 12 }));
  EXPECT_EQ (first->next->next->next, nullptr);
}

TEST (File, DuplicateIsANewDocument)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  g_object_set (file, "uuid", "0b5e2a3c-1111-4222-8333-444455556666", "comments", "hi",
                "license", "CC0", nullptr);
  add (add (VORN_NODE (file), "inst"), "w");
  g_autoptr (VornNode) copy = vorn_node_duplicate (VORN_NODE (file));
  ASSERT_TRUE (VORN_IS_FILE (copy));
  EXPECT_EQ (get_string (copy, "uuid") + get_string (copy, "comments") + get_string (copy, "license"),
            "(null)hiCC0");
  EXPECT_EQ (next_id (VORN_FILE (copy)), 3u);
  EXPECT_EQ (copy->children->id, 0u);
}

TEST (FileSave, FailureKeepsOldFileAndName)
{
  TempDir dir;
  std::string path = dir.file ("keep.vvi");
  g_autoptr (VornFile) file = vorn_file_new ();
  add (VORN_NODE (file), "original");
  ASSERT_TRUE (vorn_file_save (file, path.c_str (), nullptr));
  const std::string before = read_text (path);

  /* A directory that does not exist. */
  g_autoptr (GError) error = nullptr;
  std::string missing = dir.file ("no/such/dir.vvi");
  EXPECT_FALSE (vorn_file_save (file, missing.c_str (), &error));
  EXPECT_TRUE (error && error->domain == G_FILE_ERROR);
  EXPECT_EQ (get_string (file, "file-name"), path);
  g_clear_error (&error);

  /* A write that runs out of space half way: the file size limit makes the
   * write fail the way a full disk does, even for root. */
  for (int i = 0; i < 400; i++)
    add (VORN_NODE (file), "a node with a long enough name to need space");
  struct rlimit old_limit;
  getrlimit (RLIMIT_FSIZE, &old_limit);
  auto old_handler = signal (SIGXFSZ, SIG_IGN);
  struct rlimit small = { 4096, old_limit.rlim_max };
  setrlimit (RLIMIT_FSIZE, &small);
  gboolean saved = vorn_file_save (file, path.c_str (), &error);
  setrlimit (RLIMIT_FSIZE, &old_limit);
  signal (SIGXFSZ, old_handler);

  EXPECT_FALSE (saved);
  ASSERT_NE (error, nullptr);
  EXPECT_EQ (read_text (path), before);
  /* No temporary file is left beside it. */
  g_autoptr (GDir) listing = g_dir_open (dir.path, 0, nullptr);
  int entries = 0;
  while (g_dir_read_name (listing))
    entries++;
  EXPECT_EQ (entries, 1);
}

/* Every kind of broken input fails with an error in the right domain; our own
 * errors are compared whole, parser errors by their start ("@" is the path). */
TEST (FileLoad, BadInputFailsWithClearError)
{
  enum From { DATA, FILE, MISSING };
  const struct {
    From from;
    std::string data;
    GQuark domain;
    const char *message;
  } cases[] = {
    { DATA, "   \n", VORN_ERROR, "Instrument file data must be a JSON object, not empty data" },
    { DATA, R"({ "type" : "VornFile", "nodes" : [ { "type" : "VornNode")", JSON_PARSER_ERROR, "<data>:1:" },
    { DATA, "[1, 2, 3]", VORN_ERROR, "Instrument file data must be a JSON object, not an array" },
    { DATA, "\"VornFile\"", VORN_ERROR, "Instrument file data must be a JSON object, not a string" },
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
    { DATA, R"({ "type" : "VornFile", "next-id" : -1 })", VORN_ERROR,
      "Value -1 out of range for member 'next-id' of node type 'VornFile'" },
    { DATA, R"({ "type" : "VornFile", "nodes" : [ { "type" : "VornNode", "id" : 8589934592 } ] })",
      VORN_ERROR, "Value 8589934592 out of range for member 'id' of node type 'VornNode'" },
    { DATA, R"({ "nodes" : [ { "type" : "VornNode", "mute" : 1 } ] })", VORN_ERROR,
      "Invalid member 'mute' of node type 'VornNode': expected a boolean, found an integer" },
    { DATA, R"({ "type" : "VornFile", "nodes" : { "type" : "VornNode" } })", VORN_ERROR,
      "Invalid member 'nodes' of node type 'VornFile': expected an array, found an object" },
    { DATA, std::string (100000, '['), VORN_ERROR, "JSON data nested more than 256 levels deep" },
    { DATA, "{ \"type\" : \"VornFile\", \"name\" : \"\xff\xfe\" }", JSON_PARSER_ERROR, "" },
    { MISSING, "", G_FILE_ERROR, "" },
    { FILE, "", VORN_ERROR, "File '@' is empty" },
    { FILE, "{ \"type\" : ", JSON_PARSER_ERROR, "@: " },
  };
  TempDir dir;
  for (const auto &c : cases)
    {
      SCOPED_TRACE (c.data.substr (0, 60));
      std::string path = c.from == MISSING ? dir.file ("no/such.vvi") : dir.file ("bad.vvi");
      if (c.from == FILE)
        g_file_set_contents (path.c_str (), c.data.data (), gssize (c.data.size ()), nullptr);
      g_autoptr (GError) error = nullptr;
      g_autoptr (VornFile) file = c.from == DATA ? load_text (c.data, &error)
                                                 : vorn_file_load (path.c_str (), &error);
      EXPECT_EQ (file, nullptr);
      ASSERT_NE (error, nullptr);
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
