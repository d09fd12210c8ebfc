/* zelmora-vvi: inspect and create instrument files from the command line.
 *
 *   zelmora-vvi show FILE.vvi              print the node tree of an instrument file
 *   zelmora-vvi demo FILE.vvi              write a small example bank
 *   zelmora-vvi play FILE.vvi [INST [NOTE]]
 *                                         play a note of an instrument offline
 *                                         and report what came out
 */
#include "vornadel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

static gboolean
print_node (VornNode *node, gpointer)
{
  g_autofree char *name = nullptr;
  g_object_get (node, "name", &name, nullptr);
  guint level = vorn_node_level (node);
  g_print ("%*s%s \"%s\"", int (level * 2), "", G_OBJECT_TYPE_NAME (node), name);
  if (node->id)
    g_print (" #%u", node->id);
  if (node->mute)
    g_print (" (muted)");
  g_print ("\n");
  return TRUE;
}

static int
show (const char *path)
{
  g_autoptr (GError) error = nullptr;
  g_autoptr (VornFile) file = vorn_file_load (path, &error);
  if (!file)
    {
      g_printerr ("zelmora-vvi: %s\n", error->message);
      return 1;
    }

  g_autofree char *format = nullptr, *version = nullptr, *created = nullptr, *uuid = nullptr;
  guint next_id = 0;
  g_object_get (file, "format", &format, "format-version", &version, "software-created", &created,
                "uuid", &uuid, "next-id", &next_id, nullptr);
  g_print ("%s: %s %s, created by %s, uuid %s, next id %u\n", path, format, version,
           created ? created : "?", uuid ? uuid : "none", next_id);
  vorn_node_pre_traverse (VORN_NODE (file), print_node, nullptr);
  return 0;
}

static int
demo (const char *path)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  g_object_set (file, "name", "Zelmora bank", "author", "Zelmora", "license", "Public Domain",
                nullptr);

  /* The default instrument (attack, release, sine) with its signal wave
   * replaced and, for some, a modulation wave added. */
  static const struct {
    const char *name;
    double root;
    VornWavePreset signal;
    int modulation; /* a VornWavePreset, or -1 */
  } insts[] = {
    { "Soft sine", 69.0, VORN_WAVE_PRESET_SIGNAL_SINE, -1 },
    { "Low sine", 57.0, VORN_WAVE_PRESET_SIGNAL_SINE, -1 },
    { "Triangle lead", 69.0, VORN_WAVE_PRESET_SIGNAL_TRIANGLE, -1 },
    { "Square organ", 69.0, VORN_WAVE_PRESET_SIGNAL_SQUARE, VORN_WAVE_PRESET_VOLUME_MODULATION },
    { "Saw lead", 69.0, VORN_WAVE_PRESET_SIGNAL_SAW_UP, -1 },
  };
  for (const auto &spec : insts)
    {
      g_autoptr (VornInst) inst = vorn_inst_new_default ();
      g_object_set (inst, "name", spec.name, "root-note", spec.root, nullptr);
      VornNode *signal = VORN_NODE (inst)->children;
      while (signal && signal->next)
        signal = signal->next;
      if (signal && spec.signal != VORN_WAVE_PRESET_SIGNAL_SINE)
        {
          vorn_node_unlink (signal);
          g_autoptr (VornWave) wave = vorn_wave_new_from_preset (spec.signal);
          vorn_node_insert (VORN_NODE (inst), VORN_NODE (wave), -1);
        }
      if (spec.modulation >= 0)
        {
          g_autoptr (VornWave) mod = vorn_wave_new_from_preset (VornWavePreset (spec.modulation));
          vorn_node_insert (VORN_NODE (inst), VORN_NODE (mod), 2);
        }
      vorn_node_insert (VORN_NODE (file), VORN_NODE (inst), -1);
    }

  g_autoptr (GError) error = nullptr;
  if (!vorn_file_save (file, path, &error))
    {
      g_printerr ("zelmora-vvi: %s\n", error->message);
      return 1;
    }
  g_print ("wrote %s\n", path);
  return 0;
}

/* Renders a note held for half a second and two seconds of its release through the
 * engine's interleaved render path, as the audio driver would call it. */
static int
play (const char *path, int inst_index, int note)
{
  g_autoptr (GError) error = nullptr;
  g_autoptr (VornFile) file = vorn_file_load (path, &error);
  if (!file)
    {
      g_printerr ("zelmora-vvi: %s\n", error->message);
      return 1;
    }
  VornNode *inst = VORN_NODE (file)->children;
  for (int i = 0; inst && i < inst_index; i++)
    inst = inst->next;
  if (!inst || !VORN_IS_INST (inst))
    {
      g_printerr ("zelmora-vvi: %s has no instrument %d\n", path, inst_index);
      return 1;
    }
  if (note < 0 || note > 127)
    {
      g_printerr ("zelmora-vvi: note %d is outside 0..127\n", note);
      return 2;
    }

  g_autoptr (VornSynth) synth = vorn_synth_cpu_new ();
  g_object_set (synth, "speaker-count", 1u, nullptr);
  g_autoptr (GError) start_err = nullptr;
  if (!vorn_synth_start (synth, &start_err))
    {
      g_printerr ("zelmora-vvi: cannot start the synthesizer: %s\n", start_err->message);
      return 1;
    }
  vorn_synth_set_inst (synth, 0, VORN_INST (inst));

  auto render = [&] (float *out, guint frames) { vorn_synth_render_interleaved (synth, out, frames); };

  const guint rate = 48000;
  std::vector<float> out (rate * 5 / 2);
  vorn_synth_note_on (synth, 0, 0, 0, guint8 (note), 127, nullptr);
  render (out.data (), rate / 2);
  vorn_synth_note_off (synth, 0, 0, 0, guint8 (note), 0);
  render (out.data () + rate / 2, rate * 2);

  /* Frequency from the rising zero crossings of the held part, peak overall. */
  double first = -1, last = -1;
  int crossings = 0;
  float peak = 0;
  for (guint i = 1; i < out.size (); i++)
    {
      peak = std::max (peak, std::fabs (out[i]));
      if (i < rate / 2 && out[i - 1] < 0 && out[i] >= 0)
        {
          double t = (i - 1) + out[i - 1] / double (out[i - 1] - out[i]);
          if (first < 0)
            first = t;
          last = t;
          crossings++;
        }
    }
  g_autofree char *name = nullptr;
  g_object_get (inst, "name", &name, nullptr);
  guint active = 0, most = 0;
  vorn_synth_voice_stats (synth, &active, &most, FALSE);
  g_print ("%s: note %d, peak %.3f (%.1f dBFS), frequency %.2f Hz, voices sounding after release: %u\n",
           name, note, peak, 20 * std::log10 (std::max (peak, 1e-9f)),
           crossings > 1 ? (crossings - 1) * rate / (last - first) : 0.0, active);

  while (VornSynthMsg *msg = vorn_synth_get_message (synth))
    vorn_synth_msg_free (msg);
  vorn_synth_stop (synth);
  return 0;
}

int
main (int argc, char **argv)
{
  vorn_init ("Zelmora 0.9.0");

  if (argc == 3 && strcmp (argv[1], "show") == 0)
    return show (argv[2]);
  if (argc == 3 && strcmp (argv[1], "demo") == 0)
    return demo (argv[2]);
  if (argc >= 3 && argc <= 5 && strcmp (argv[1], "play") == 0)
    return play (argv[2], argc > 3 ? atoi (argv[3]) : 0, argc > 4 ? atoi (argv[4]) : 69);

  g_printerr ("Usage: zelmora-vvi show FILE.vvi\n"
              "       zelmora-vvi demo FILE.vvi\n"
              "       zelmora-vvi play FILE.vvi [INSTRUMENT-INDEX [NOTE]]\n");
  return argc == 2 && (strcmp (argv[1], "--help") == 0 || strcmp (argv[1], "-h") == 0) ? 0 : 2;
}
