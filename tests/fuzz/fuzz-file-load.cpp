/* Fuzz target: instrument file loading from untrusted bytes.
 *
 * Any input must either load or fail with a GError; a crash, a sanitizer
 * report or a GLib critical (which means an engine call was misused on the
 * way) is a bug.  Files that load are also written back and duplicated, the
 * operations a user performs right after opening a file, and their first
 * instruments are played: compiled into voice queues and rendered for a few
 * fragments, so the render paths see what a file can set.  The rendered
 * output must be finite. */
#include "fuzz-synth.h"
#include "vornadel.h"

#include <json-glib/json-glib.h>

#include <glib/gstdio.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

/* Bounded work per input: a few instruments, a few fragments each. */
constexpr int MAX_INSTRUMENTS = 3;
constexpr guint HELD = 4, RELEASED = 2;

/* Plays a note on each of the first instruments of @file, in the sample
 * format the input picks. */
static void
play (VornFile *file, bool double_format)
{
  VornSynth *synth = fuzz::synth_new (double_format, 8u);

  int played = 0;
  for (VornNode *node = VORN_NODE (file)->children; node && played < MAX_INSTRUMENTS;
       node = node->next)
    {
      if (!VORN_IS_INST (node))
        continue;
      played++;
      vorn_synth_set_inst (synth, 0, VORN_INST (node));
      vorn_synth_note_on (synth, 0, 0, 0, 60, 100, nullptr);
      fuzz::render (synth, HELD);
      vorn_synth_note_off (synth, 0, 0, 0, 60, 64);
      fuzz::render (synth, RELEASED);
      vorn_synth_panic (synth);
      fuzz::render (synth, 1);
    }

  fuzz::synth_free (synth);
}

#ifdef VORN_FUZZ_REPLAY
/* Replaying saved inputs (not fuzzing) also saves every file that loads and
 * loads the saved file again: it must load, and write the same JSON (but for
 * "software-edited", which loading does not restore). */
static std::string
json_text (VornFile *file)
{
  g_autoptr (JsonNode) json = json_gobject_serialize (G_OBJECT (file));
  json_object_remove_member (json_node_get_object (json), "software-edited");
  g_autofree char *text = json_to_string (json, TRUE);
  return text;
}

static void
save_and_reload (VornFile *file)
{
  static char *dir = g_dir_make_tmp ("zelmora-fuzz-XXXXXX", nullptr);
  g_autofree char *path = g_build_filename (dir, "saved.vvi", nullptr);
  g_autoptr (GError) error = nullptr;
  if (!vorn_file_save (file, path, &error))
    fuzz::fail (error->message);
  g_autoptr (VornFile) again = vorn_file_load (path, &error);
  g_unlink (path);
  if (!again)
    fuzz::fail (error->message);
  if (json_text (again) != json_text (file))
    fuzz::fail ("a saved file loads differently");
}
#endif

extern "C" int
LLVMFuzzerTestOneInput (const uint8_t *data, size_t size)
{
  fuzz::init ();

  if (size == 0 || size > G_MAXUINT32)
    return 0;

  GError *error = nullptr;
  VornFile *file = vorn_file_load_from_data (reinterpret_cast<const char *> (data),
                                             guint32 (size), &error);
  if (!file)
    {
      if (!error || !error->message || !*error->message)
        abort ();   /* a failure must say why */
      if (!g_utf8_validate (error->message, -1, nullptr))
        fuzz::fail ("an error message is not UTF-8");
      g_error_free (error);
      return 0;
    }

  /* What loads writes text that loads again. */
  gsize length = 0;
  g_autofree char *text = vorn_file_to_data (file, &length);
  if (length <= VORN_FILE_MAX_SIZE)
    {
      VornFile *again = vorn_file_load_from_data (text, guint32 (length), &error);
      if (!again)
        fuzz::fail (error->message);
      g_object_unref (again);
    }

  VornNode *copy = vorn_node_duplicate (VORN_NODE (file));
  g_object_unref (copy);

  play (file, size % 2 == 1);
#ifdef VORN_FUZZ_REPLAY
  save_and_reload (file);
#endif
  g_object_unref (file);
  return 0;
}
