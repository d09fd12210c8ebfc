/* test-close-flow.cpp: closing files with unsaved changes, with scripted
 * answers in place of the dialogs */
#include "zelm-close-flow.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

/* The owner of a flow: which files are modified, what the question and the
 * chooser answer, and what happened. */
struct Script {
  std::set<VornFile *> modified;
  ZelmCloseAnswer answer = ZELM_CLOSE_SAVE;
  std::set<std::string> failing;   /* saves of these fail, by name */
  bool save_as_accepts = true;     /* the chooser saves (else is cancelled) */
  std::vector<std::string> log;    /* "ask 2", "save A", "save-as B", "done 1" */

  static std::string name (VornFile *file)
  {
    g_autofree char *n = nullptr;
    g_object_get (file, "name", &n, nullptr);
    return n;
  }
  static const ZelmCloseFlowIface iface;
};

const ZelmCloseFlowIface Script::iface = {
  [] (ZelmCloseFlow *flow, GList *files, gpointer data) {
    auto *s = static_cast<Script *> (data);
    s->log.push_back ("ask " + std::to_string (g_list_length (files)));
    zelm_close_flow_answer (flow, s->answer);
  },
  [] (VornFile *file, gpointer data) -> gboolean {
    return static_cast<Script *> (data)->modified.count (file) > 0;
  },
  [] (VornFile *file, gpointer data) -> gboolean {
    auto *s = static_cast<Script *> (data);
    s->log.push_back ("save " + name (file));
    if (s->failing.count (name (file)))
      return FALSE;
    s->modified.erase (file);
    return TRUE;
  },
  [] (ZelmCloseFlow *flow, VornFile *file, gpointer data) {
    auto *s = static_cast<Script *> (data);
    s->log.push_back ("save-as " + name (file));
    if (s->save_as_accepts)
      s->modified.erase (file);
    zelm_close_flow_saved (flow, s->save_as_accepts);
  },
};

VornFile *
file (const char *name, const char *path)
{
  VornFile *f = vorn_file_new ();
  g_object_set (f, "name", name, "file-name", path, nullptr);
  return f;
}

/* Runs a close of files A (on disk), B (never saved) and C (on disk), those
 * named in @modified being modified. */
std::vector<std::string>
run (Script &s, const std::string &modified = "AB")
{
  g_autoptr (VornFile) a = file ("A", "/tmp/a.vvi");
  g_autoptr (VornFile) b = file ("B", nullptr);
  g_autoptr (VornFile) c = file ("C", "/tmp/c.vvi");
  for (VornFile *f : { a, b, c })
    if (modified.find (Script::name (f)) != std::string::npos)
      s.modified.insert (f);
  GList *files = g_list_append (g_list_append (g_list_append (nullptr, a), b), c);
  zelm_close_flow_start (files, &Script::iface, &s,
                         [] (gboolean go, gpointer data) {
                           static_cast<Script *> (data)->log.push_back (go ? "done 1" : "done 0");
                         },
                         &s);
  g_list_free (files);
  return s.log;
}

using Log = std::vector<std::string>;

} // namespace

/* Each answer does what it says: Save saves every modified file in order,
 * asking a name for the one without; Close without Saving closes; Cancel
 * keeps everything. */
TEST (CloseFlow, EachAnswerDoesWhatItSays)
{
  Script save;
  EXPECT_EQ (run (save), (Log{ "ask 2", "save A", "save-as B", "done 1" }));
  Script discard;
  discard.answer = ZELM_CLOSE_DISCARD;
  EXPECT_EQ (run (discard), (Log{ "ask 2", "done 1" }));
  Script cancel;
  cancel.answer = ZELM_CLOSE_CANCEL;
  EXPECT_EQ (run (cancel), (Log{ "ask 2", "done 0" }));
  Script three;
  EXPECT_EQ (run (three, "ABC"), (Log{ "ask 3", "save A", "save-as B", "save C", "done 1" }));
}

/* A failed save or a cancelled chooser stops the close there: later files
 * are not saved and nothing closes. */
TEST (CloseFlow, AFailedOrCancelledSaveClosesNothing)
{
  Script failing;
  failing.failing = { "A" };
  EXPECT_EQ (run (failing, "ABC"), (Log{ "ask 3", "save A", "done 0" }));
  Script cancelled;
  cancelled.save_as_accepts = false;
  EXPECT_EQ (run (cancelled, "ABC"), (Log{ "ask 3", "save A", "save-as B", "done 0" }));
}

/* Nothing modified: no question, the close goes ahead at once. */
TEST (CloseFlow, NothingModifiedClosesWithoutAsking)
{
  Script s;
  EXPECT_EQ (run (s, ""), (Log{ "done 1" }));
  g_autoptr (VornFile) a = file ("A", "/tmp/a.vvi");
  EXPECT_TRUE (zelm_close_flow_has_path (a));
  g_autoptr (VornFile) relative = file ("R", "bank.vvi");
  EXPECT_FALSE (zelm_close_flow_has_path (relative)) << "the built-in bank has no place on disk";
}
