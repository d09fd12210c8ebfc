/* test-lv2-plugin.cpp: the instrument plugin hosted through lilv, as Linux
 * hosts load it.  The worker runs synchronously after each run() call, so
 * every test is deterministic; blocks have random lengths of 1 to 8,192
 * frames. */
#include "vornadel.h"

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>
#include <smf.h>
#include <sndfile.h>

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr double RATE = 48000.0;
constexpr guint LATENCY = 64, MAX_BLOCK = 8192;

std::map<std::string, LV2_URID> uri_ids;
std::vector<const char *> uri_names;

LV2_URID
map_uri (LV2_URID_Map_Handle, const char *uri)
{
  auto [at, added] = uri_ids.emplace (uri, LV2_URID (uri_ids.size () + 1));
  if (added)
    uri_names.push_back (at->first.c_str ());
  return at->second;
}
const char *
unmap_uri (LV2_URID_Unmap_Handle, LV2_URID urid)
{
  return urid >= 1 && urid <= uri_names.size () ? uri_names[urid - 1] : nullptr;
}
LV2_URID_Map urid_map = { nullptr, map_uri };
LV2_URID_Unmap urid_unmap = { nullptr, unmap_uri };

LilvWorld *
world ()
{
  static LilvWorld *w = [] {
    LilvWorld *made = lilv_world_new ();
    lilv_world_load_all (made); /* LV2_PATH: the build tree */
    return made;
  }();
  return w;
}

const LilvPlugin *
plugin ()
{
  LilvNode *uri = lilv_new_uri (world (), "urn:zelmora:synth");
  const LilvPlugin *p = lilv_plugins_get_by_uri (lilv_world_get_all_plugins (world ()), uri);
  lilv_node_free (uri);
  return p;
}

struct Note {
  guint32 frame, length;
  guint8 key;
};

struct Output {
  std::vector<float> left, right;
};

/* One plugin instance with its ports, worker and options. */
class Host
{
public:
  explicit Host (guint32 seed) : rng (g_rand_new_with_seed (seed))
  {
    static int32_t max_block = MAX_BLOCK;
    options[0] = { LV2_OPTIONS_INSTANCE, 0, map_uri (nullptr, LV2_BUF_SIZE__maxBlockLength), sizeof max_block,
                   map_uri (nullptr, LV2_ATOM__Int), &max_block };
    options[1] = {};
    schedule = { this, schedule_work };
    inst = lilv_plugin_instantiate (plugin (), RATE, features);
    if (!inst)
      return;
    worker = static_cast<const LV2_Worker_Interface *> (lilv_instance_get_extension_data (inst, LV2_WORKER__interface));
    lilv_instance_connect_port (inst, 0, control.data ());
    lilv_instance_connect_port (inst, 1, notify.data ());
    lilv_instance_connect_port (inst, 2, left.data ());
    lilv_instance_connect_port (inst, 3, right.data ());
    lilv_instance_connect_port (inst, 4, &volume);
    for (guint i = 0; i < 8; i++)
      lilv_instance_connect_port (inst, 5 + i, &controls[i]);
    lilv_instance_connect_port (inst, 13, &latency);
    lilv_instance_activate (inst);
    lv2_atom_forge_init (&forge, &urid_map);
  }
  ~Host ()
  {
    if (inst)
      lilv_instance_deactivate (inst), lilv_instance_free (inst);
    g_rand_free (rng);
  }
  Host (const Host &) = delete;
  Host &operator= (const Host &) = delete;

  /* Chooses @path and instrument @index (at frame 0 of the next block) and
   * renders one fragment, so later notes keep the engine's fragment grid. */
  void choose (const char *path, int index)
  {
    patches.push_back ({ map_uri (nullptr, "urn:zelmora:synth#file"), std::string (path) + '\0' });
    patches.push_back ({ map_uri (nullptr, "urn:zelmora:synth#instrument"), std::string ((char *) &index, 4) });
    step (LATENCY, {});
  }
  /* Renders @frames frames with @notes (frames relative to now), in blocks
   * of random length, or all in one when @block is given. */
  Output play (const std::vector<Note> &notes, guint frames, guint block = 0)
  {
    Output out;
    for (guint done = 0; done < frames;)
      {
        const guint n = MIN (frames - done, block ? block : guint (g_rand_int_range (rng, 1, MAX_BLOCK + 1)));
        std::vector<std::pair<guint32, std::vector<guint8>>> midi;
        for (const Note &note : notes)
          for (int on = 1; on >= 0; on--)
            if (const guint32 f = note.frame + (on ? 0 : note.length); f >= done && f < done + n)
              midi.push_back ({ f - done, { guint8 (on ? 0x90 : 0x80), note.key, 100 } });
        std::sort (midi.begin (), midi.end (), [] (auto &a, auto &b) { return a.first < b.first; });
        step (n, midi);
        out.left.insert (out.left.end (), left.begin (), left.begin () + n);
        out.right.insert (out.right.end (), right.begin (), right.begin () + n);
        done += n;
      }
    return out;
  }
  LilvState *save ()
  {
    return lilv_state_new_from_instance (plugin (), inst, &urid_map, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features);
  }
  void restore (const LilvState *state) { lilv_state_restore (state, inst, nullptr, nullptr, 0, features); }

  LilvInstance *inst = nullptr;
  float latency = 0;

private:
  static LV2_Worker_Status schedule_work (LV2_Worker_Schedule_Handle h, uint32_t size, const void *data)
  {
    static_cast<Host *> (h)->jobs.emplace_back (static_cast<const char *> (data), size);
    return LV2_WORKER_SUCCESS;
  }
  static LV2_Worker_Status respond (LV2_Worker_Respond_Handle h, uint32_t size, const void *data)
  {
    static_cast<Host *> (h)->responses.emplace_back (static_cast<const char *> (data), size);
    return LV2_WORKER_SUCCESS;
  }
  void step (guint n, const std::vector<std::pair<guint32, std::vector<guint8>>> &midi)
  {
    lv2_atom_forge_set_buffer (&forge, reinterpret_cast<uint8_t *> (control.data ()), control.size () * 8);
    LV2_Atom_Forge_Frame seq, obj;
    lv2_atom_forge_sequence_head (&forge, &seq, 0);
    for (auto &[key, value] : patches)
      {
        const bool path = key == map_uri (nullptr, "urn:zelmora:synth#file");
        lv2_atom_forge_frame_time (&forge, 0);
        lv2_atom_forge_object (&forge, &obj, 0, map_uri (nullptr, LV2_PATCH__Set));
        lv2_atom_forge_key (&forge, map_uri (nullptr, LV2_PATCH__property));
        lv2_atom_forge_urid (&forge, key);
        lv2_atom_forge_key (&forge, map_uri (nullptr, LV2_PATCH__value));
        lv2_atom_forge_atom (&forge, uint32_t (value.size ()), map_uri (nullptr, path ? LV2_ATOM__Path : LV2_ATOM__Int));
        lv2_atom_forge_write (&forge, value.data (), uint32_t (value.size ()));
        lv2_atom_forge_pop (&forge, &obj);
      }
    patches.clear ();
    for (auto &[frame, bytes] : midi)
      {
        lv2_atom_forge_frame_time (&forge, frame);
        lv2_atom_forge_atom (&forge, uint32_t (bytes.size ()), map_uri (nullptr, LV2_MIDI__MidiEvent));
        lv2_atom_forge_write (&forge, bytes.data (), uint32_t (bytes.size ()));
      }
    lv2_atom_forge_pop (&forge, &seq);
    notify[0] = (notify.size () - 1) * 8; /* atom size: capacity, type Chunk */
    notify[1] = map_uri (nullptr, LV2_ATOM__Chunk);
    lilv_instance_run (inst, n);
    for (std::string &job : std::exchange (jobs, {}))
      worker->work (lilv_instance_get_handle (inst), respond, this, uint32_t (job.size ()), job.data ());
    for (std::string &r : std::exchange (responses, {}))
      worker->work_response (lilv_instance_get_handle (inst), uint32_t (r.size ()), r.data ());
  }

  GRand *rng;
  LV2_Options_Option options[2];
  LV2_Worker_Schedule schedule;
  LV2_Feature map_feature = { LV2_URID__map, &urid_map }, options_feature = { LV2_OPTIONS__options, options },
              schedule_feature = { LV2_WORKER__schedule, &schedule };
  const LV2_Feature *features[4] = { &map_feature, &options_feature, &schedule_feature, nullptr };
  const LV2_Worker_Interface *worker = nullptr;
  std::vector<uint64_t> control = std::vector<uint64_t> (1 << 13), notify = std::vector<uint64_t> (1 << 13);
  std::vector<float> left = std::vector<float> (MAX_BLOCK), right = std::vector<float> (MAX_BLOCK);
  float volume = 0, controls[8] = {};
  LV2_Atom_Forge forge;
  std::vector<std::pair<LV2_URID, std::string>> patches;
  std::vector<std::string> jobs, responses;
};

std::string
bank ()
{
  return g_getenv ("BANK_VVI");
}

/* zelmora-render's output for @notes on instrument @index of @file, through
 * a MIDI file whose ticks are frames at 48 kHz (24,000 ticks a quarter at
 * 120 beats a minute), interleaved stereo. */
std::vector<float>
render (const std::string &file, int index, const std::vector<Note> &notes, const char *dir)
{
  g_autofree char *mid = g_build_filename (dir, "notes.mid", nullptr);
  g_autofree char *wav = g_build_filename (dir, "notes.wav", nullptr);
  smf_t *smf = smf_new ();
  EXPECT_EQ (smf_set_ppqn (smf, 24000), 0);
  smf_track_t *track = smf_track_new ();
  smf_add_track (smf, track);
  for (const Note &n : notes)
    for (int on = 1; on >= 0; on--)
      smf_track_add_event_pulses (track, smf_event_new_from_bytes (on ? 0x90 : 0x80, n.key, 100),
                                  int (n.frame + (on ? 0 : n.length)));
  EXPECT_EQ (smf_save (smf, mid), 0);
  smf_delete (smf);
  g_autofree char *idx = g_strdup_printf ("%d", index);
  const char *argv[] = { g_getenv ("ZELMORA_RENDER"), "-q", "-i", idx, "-m", mid, file.c_str (), wav, nullptr };
  int status = -1;
  EXPECT_TRUE (g_spawn_sync (nullptr, (char **) argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr,
                             nullptr, &status, nullptr));
  EXPECT_EQ (status, 0);
  SF_INFO info = {};
  SNDFILE *snd = sf_open (wav, SFM_READ, &info);
  std::vector<float> out (size_t (info.frames) * 2);
  if (snd)
    sf_readf_float (snd, out.data (), info.frames), sf_close (snd);
  return out;
}

/* Frames from @from on where @a and @b differ by more than 1e-6 (both
 * channels), and the first of them in @first. */
size_t
differences (const Output &a, const Output &b, size_t *first = nullptr)
{
  size_t n = 0;
  for (size_t i = 0; i < MIN (a.left.size (), b.left.size ()); i++)
    if (std::fabs (a.left[i] - b.left[i]) > 1e-6f || std::fabs (a.right[i] - b.right[i]) > 1e-6f)
      if (n++ == 0 && first)
        *first = i;
  return n;
}

float
peak (const Output &o)
{
  float p = 0;
  for (size_t i = 0; i < o.left.size (); i++)
    p = std::isfinite (o.left[i]) ? MAX (p, std::fabs (o.left[i])) : INFINITY;
  return p;
}

class Lv2Plugin : public ::testing::Test
{
protected:
  void SetUp () override
  {
    ASSERT_NE (plugin (), nullptr) << "urn:zelmora:synth not found on LV2_PATH";
    dir = g_dir_make_tmp ("zelmora-lv2-XXXXXX", nullptr);
  }
  void TearDown () override
  {
    g_autoptr (GDir) d = g_dir_open (dir, 0, nullptr);
    while (const char *name = d ? g_dir_read_name (d) : nullptr)
      g_remove (g_build_filename (dir, name, nullptr));
    g_rmdir (dir);
    g_free (dir);
  }
  char *dir = nullptr;
};

TEST_F (Lv2Plugin, RendersAsTheRenderer)
{
  const struct {
    int index;
    std::vector<Note> notes;
  } cases[] = {
    { 0, { { 0, 30000, 60 }, { 777, 20000, 64 }, { 777, 9000, 67 }, { 20001, 8191, 72 } } },
    { 1, { { 5, 4000, 48 }, { 4100, 100, 50 }, { 8191, 24000, 52 }, { 8192, 3, 55 } } },
    { 12, { { 63, 10000, 40 }, { 64, 10000, 47 }, { 65, 10000, 52 } } },
  };
  for (const auto &c : cases)
    {
      SCOPED_TRACE (c.index);
      const std::vector<float> expect = render (bank (), c.index, c.notes, dir);
      Host host (guint32 (c.index + 1));
      host.choose (bank ().c_str (), c.index);
      const Output got = host.play (c.notes, guint (expect.size () / 2 + LATENCY));
      Output want;
      want.left.assign (LATENCY, 0.0f), want.right.assign (LATENCY, 0.0f);
      for (size_t i = 0; i < expect.size (); i += 2)
        want.left.push_back (expect[i]), want.right.push_back (expect[i + 1]);
      size_t first = 0;
      EXPECT_EQ (differences (got, want, &first), 0u) << "first at frame " << first;
      EXPECT_GT (peak (want), 0.01f);
      EXPECT_EQ (host.latency, float (LATENCY));
    }
}

/* The default instrument is a sine from phase 0: its first sample is 0. */
TEST_F (Lv2Plugin, OnsetAtItsFrame)
{
  for (guint frame : { 0u, 1u, 63u, 64u, 65u, 1000u, 8191u, 8192u, 20000u })
    {
      Host host (frame);
      const Output out = host.play ({ { frame, 2000, 69 } }, frame + 4000);
      size_t onset = 0;
      while (onset < out.left.size () && out.left[onset] == 0.0f)
        onset++;
      EXPECT_EQ (onset, frame + LATENCY + 1) << "note at " << frame;
    }
}

/* A state saved, written as Turtle (as a session file holds it), read back
 * and restored into a new instance plays the same; the document inside it
 * serves even when the file is gone. */
TEST_F (Lv2Plugin, StateRestoresTheSound)
{
  const std::vector<Note> notes = { { 100, 20000, 57 }, { 5000, 9000, 64 } };
  for (const bool gone : { false, true })
    {
      g_autofree char *copy = g_build_filename (dir, "copy.vvi", nullptr);
      g_autofree char *text = nullptr;
      gsize len = 0;
      ASSERT_TRUE (g_file_get_contents (bank ().c_str (), &text, &len, nullptr));
      ASSERT_TRUE (g_file_set_contents (copy, text, gssize (len), nullptr));
      Host saved (7), restored (8);
      saved.choose (copy, 4);
      LilvState *state = saved.save ();
      ASSERT_NE (state, nullptr);
      char *turtle = lilv_state_to_string (world (), &urid_map, &urid_unmap, state, "urn:zelmora:test", nullptr);
      lilv_state_free (state);
      if (gone)
        g_remove (copy);
      state = lilv_state_new_from_string (world (), &urid_map, turtle);
      ASSERT_NE (state, nullptr) << turtle;
      restored.restore (state);
      lilv_state_free (state);
      lilv_free (turtle);
      restored.play ({}, LATENCY);
      const Output a = saved.play (notes, 40000), b = restored.play (notes, 40000);
      EXPECT_EQ (differences (a, b), 0u) << (gone ? "file removed" : "file kept");
      EXPECT_GT (peak (a), 0.01f);
    }
}

/* Every preset restores and sounds, and hosts list them by the names of
 * the bank's instruments. */
TEST_F (Lv2Plugin, PresetsSound)
{
  LilvNode *preset_class = lilv_new_uri (world (), LV2_PRESETS__Preset);
  LilvNodes *presets = lilv_plugin_get_related (plugin (), preset_class);
  EXPECT_EQ (lilv_nodes_size (presets), 23u);
  LILV_FOREACH (nodes, i, presets)
    {
      const LilvNode *preset = lilv_nodes_get (presets, i);
      lilv_world_load_resource (world (), preset);
      LilvState *state = lilv_state_new_from_world (world (), &urid_map, preset);
      ASSERT_NE (state, nullptr) << lilv_node_as_uri (preset);
      Host host (3);
      host.restore (state);
      const Output out = host.play ({ { 64, 12000, 60 } }, 24000, 512);
      EXPECT_GT (peak (out), 1e-3f) << lilv_state_get_label (state);
      EXPECT_LT (peak (out), 16.0f) << lilv_state_get_label (state);
      lilv_state_free (state);
    }
  lilv_nodes_free (presets);
  lilv_node_free (preset_class);
}

/* Two instances in one process, run in turns with blocks of their own,
 * each play as they do alone. */
TEST_F (Lv2Plugin, InstancesIndependent)
{
  const std::vector<Note> notes[2] = { { { 10, 99999, 60 } }, { { 3000, 99999, 72 }, { 3001, 99999, 76 } } };
  const int index[2] = { 2, 9 };
  Output alone[2], together[2];
  for (int i = 0; i < 2; i++)
    {
      Host host (guint32 (40 + i));
      host.choose (bank ().c_str (), index[i]);
      alone[i] = host.play (notes[i], 30000);
    }
  Host a (50), b (51);
  a.choose (bank ().c_str (), index[0]);
  b.choose (bank ().c_str (), index[1]);
  for (guint done = 0; done < 30000; done += 1000)
    for (int i = 0; i < 2; i++)
      {
        std::vector<Note> due;
        for (Note n : notes[i])
          if (n.frame >= done && n.frame < done + 1000)
            n.frame -= done, due.push_back (n);
        const Output part = (i ? b : a).play (due, 1000, 100 + 300 * i);
        together[i].left.insert (together[i].left.end (), part.left.begin (), part.left.end ());
        together[i].right.insert (together[i].right.end (), part.right.begin (), part.right.end ());
      }
  for (int i = 0; i < 2; i++)
    EXPECT_EQ (differences (alone[i], together[i]), 0u) << "instance " << i;
  EXPECT_GT (differences (alone[0], alone[1]), 1000u);
}

/* The chosen file saved again while the plugin plays: within a second of
 * audio the plugin plays the new content (here: instrument 0 removed, so
 * index 0 is the bank's instrument 1). */
TEST_F (Lv2Plugin, ReloadsAChangedFile)
{
  g_autofree char *copy = g_build_filename (dir, "edited.vvi", nullptr);
  g_autoptr (VornFile) file = vorn_file_load (bank ().c_str (), nullptr);
  ASSERT_TRUE (file && vorn_file_save (file, copy, nullptr));
  const guint second = 48000 / LATENCY * LATENCY + LATENCY;
  const std::vector<Note> note = { { 0, 20000, 62 } };
  Host edited (60), switched (61), unchanged (62);
  edited.choose (copy, 0);
  edited.play ({}, second);
  vorn_node_unlink (VORN_NODE (file)->children);
  ASSERT_TRUE (vorn_file_save (file, copy, nullptr));
  edited.play ({}, second);
  /* The same history: a second of instrument 0, then instrument 1. */
  switched.choose (bank ().c_str (), 0);
  switched.play ({}, second);
  switched.choose (bank ().c_str (), 1);
  switched.play ({}, second - LATENCY);
  unchanged.choose (bank ().c_str (), 0);
  unchanged.play ({}, 2 * second);
  const Output got = edited.play (note, 30000), want = switched.play (note, 30000), old = unchanged.play (note, 30000);
  EXPECT_EQ (differences (got, want), 0u);
  EXPECT_GT (differences (got, old), 1000u);
}
} // namespace
