/* test-lv2-plugin.cpp: the instrument plugin hosted through lilv, as Linux
 * hosts load it.  The worker runs synchronously after each run() call, so
 * every test is deterministic; blocks have random lengths of 1 to 8,192
 * frames unless a test fixes them. */
#include "vornadel.h"

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/presets/presets.h>
#include <lv2/worker/worker.h>
#include <smf.h>
#include <sndfile.h>

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <filesystem>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr guint LATENCY = VORN_SYNTH_EVENT_LATENCY, MAX_BLOCK = 8192;
/* What the plugin reports: the band-limited sine starts that much later. */
constexpr guint REPORTED = LATENCY + VORN_WAVE_ANTIALIAS_DELAY;
using Output = std::vector<float>; /* stereo, interleaved */

std::deque<std::string> uris; /* URID n is uris[n - 1] */

LV2_URID
urid (const char *uri)
{
  auto at = std::find (uris.begin (), uris.end (), uri);
  if (at == uris.end ())
    at = uris.insert (at, uri);
  return LV2_URID (at - uris.begin () + 1);
}
LV2_URID_Map urid_map = { nullptr, [] (void *, const char *uri) { return urid (uri); } };
LV2_URID_Unmap urid_unmap = { nullptr, [] (void *, LV2_URID id) {
                               return id && id <= uris.size () ? uris[id - 1].c_str () : nullptr; } };

LilvWorld *world = nullptr;
const LilvPlugin *plugin = nullptr;
const std::string bank = g_getenv ("BANK_VVI") ? g_getenv ("BANK_VVI") : "";

struct Note {
  gint64 frame, length; /* the frame may lie before the call that plays its note-off */
  guint8 key;
};

/* One plugin instance with its ports, a synchronous worker and options. */
class Host
{
public:
  explicit Host (guint32 seed) : rng (g_rand_new_with_seed (seed))
  {
    static int32_t max_block = MAX_BLOCK;
    options[0] = { LV2_OPTIONS_INSTANCE, 0, urid (LV2_BUF_SIZE__maxBlockLength), 4, urid (LV2_ATOM__Int),
                   &max_block };
    inst = lilv_plugin_instantiate (plugin, 48000.0, features);
    if (!inst)
      throw std::runtime_error ("urn:zelmora:synth did not instantiate"); /* gtest reports it */
    worker = static_cast<const LV2_Worker_Interface *> (lilv_instance_get_extension_data (inst, LV2_WORKER__interface));
    void *ports[14] = { control.data (), notify.data (), left, right, &volume, &controls[0], &controls[1], &controls[2],
                        &controls[3], &controls[4], &controls[5], &controls[6], &controls[7], &latency };
    for (guint i = 0; i < 14; i++)
      lilv_instance_connect_port (inst, i, ports[i]);
    lilv_instance_activate (inst);
    lv2_atom_forge_init (&forge, &urid_map);
  }
  ~Host () { lilv_instance_deactivate (inst), lilv_instance_free (inst), g_rand_free (rng); }

  /* Chooses @path and instrument @index at frame 0 of one fragment, so that
   * later notes keep the engine's fragment grid. */
  void choose (const std::string &path, int32_t index) { step (LATENCY, {}, &path, index); }
  /* @frames frames with @notes (frames relative to now), in blocks of
   * random length or of @block frames. */
  Output play (const std::vector<Note> &notes, guint frames, guint block = 0)
  {
    Output out;
    for (guint done = 0, n; done < frames; done += n)
      {
        n = std::min (frames - done, block ? block : guint (g_rand_int_range (rng, 1, MAX_BLOCK + 1)));
        std::vector<std::array<guint32, 2>> midi; /* frame, note-on << 8 | key */
        for (const Note &note : notes)
          for (guint32 on = 0; on < 2; on++)
            if (const gint64 f = note.frame + (on ? 0 : note.length); f >= done && f < done + n)
              midi.push_back ({ guint32 (f - done), on << 8 | note.key });
        std::sort (midi.begin (), midi.end ());
        step (n, midi);
        for (guint i = 0; i < n; i++)
          out.push_back (left[i]), out.push_back (right[i]);
      }
    return out;
  }
  void restore (const LilvState *state) { lilv_state_restore (state, inst, nullptr, nullptr, 0, features), step (LATENCY, {}); }

  LilvInstance *inst;
  const LV2_Feature *features[4] = { &map_feature, &options_feature, &schedule_feature, nullptr };
  float latency = 0;

private:
  template <std::vector<std::string> Host::*list>
  static LV2_Worker_Status push (void *host, uint32_t size, const void *data)
  {
    (static_cast<Host *> (host)->*list).emplace_back (static_cast<const char *> (data), size);
    return LV2_WORKER_SUCCESS;
  }
  void set (LV2_URID key, LV2_URID type, const void *value, uint32_t size)
  {
    LV2_Atom_Forge_Frame obj;
    lv2_atom_forge_frame_time (&forge, 0);
    lv2_atom_forge_object (&forge, &obj, 0, urid (LV2_PATCH__Set));
    lv2_atom_forge_key (&forge, urid (LV2_PATCH__property));
    lv2_atom_forge_urid (&forge, key);
    lv2_atom_forge_key (&forge, urid (LV2_PATCH__value));
    lv2_atom_forge_atom (&forge, size, type);
    lv2_atom_forge_write (&forge, value, size);
    lv2_atom_forge_pop (&forge, &obj);
  }
  void step (guint n, const std::vector<std::array<guint32, 2>> &midi, const std::string *path = nullptr,
             int32_t index = 0)
  {
    lv2_atom_forge_set_buffer (&forge, reinterpret_cast<uint8_t *> (control.data ()), control.size () * 8);
    LV2_Atom_Forge_Frame seq;
    lv2_atom_forge_sequence_head (&forge, &seq, 0);
    if (path)
      set (urid ("urn:zelmora:synth#file"), urid (LV2_ATOM__Path), path->c_str (), uint32_t (path->size () + 1)),
        set (urid ("urn:zelmora:synth#instrument"), urid (LV2_ATOM__Int), &index, 4);
    for (auto [frame, event] : midi)
      {
        const guint8 bytes[3] = { guint8 (event >> 8 ? 0x90 : 0x80), guint8 (event & 0x7f), 100 };
        lv2_atom_forge_frame_time (&forge, frame);
        lv2_atom_forge_atom (&forge, 3, urid (LV2_MIDI__MidiEvent));
        lv2_atom_forge_write (&forge, bytes, 3);
      }
    lv2_atom_forge_pop (&forge, &seq);
    notify[0] = (notify.size () - 1) * 8 | guint64 (urid (LV2_ATOM__Chunk)) << 32; /* capacity */
    /* run() flushes denormals on the host's thread and gives its mode back. */
    const guint mode = vorn_util_set_ftz_daz ();
    vorn_util_restore_fp_mode (mode);
    lilv_instance_run (inst, n);
    const guint after = vorn_util_set_ftz_daz ();
    vorn_util_restore_fp_mode (after);
    EXPECT_EQ (after, mode);
    for (std::string &job : std::exchange (jobs, {}))
      worker->work (lilv_instance_get_handle (inst), push<&Host::responses>, this, uint32_t (job.size ()), job.data ());
    for (std::string &r : std::exchange (responses, {}))
      worker->work_response (lilv_instance_get_handle (inst), uint32_t (r.size ()), r.data ());
  }

  GRand *rng;
  LV2_Options_Option options[2] = {};
  LV2_Worker_Schedule schedule = { this, push<&Host::jobs> };
  LV2_Feature map_feature = { LV2_URID__map, &urid_map }, options_feature = { LV2_OPTIONS__options, options },
              schedule_feature = { LV2_WORKER__schedule, &schedule };
  const LV2_Worker_Interface *worker;
  std::vector<guint64> control = std::vector<guint64> (1 << 13), notify = std::vector<guint64> (1 << 13);
  float left[MAX_BLOCK], right[MAX_BLOCK], volume = 0, controls[8] = { .5f, .5f, .5f, .5f, .5f, .5f, .5f, .5f };
  LV2_Atom_Forge forge;
  std::vector<std::string> jobs, responses;
};

/* zelmora-render's output for @notes on instrument @index of @file, through
 * a MIDI file whose ticks are frames at 48 kHz (24,000 a quarter note at
 * 120 beats a minute). */
Output
render (const std::string &file, int index, const std::vector<Note> &notes, const std::string &dir)
{
  const std::string mid = dir + "/notes.mid", wav = dir + "/notes.wav";
  smf_t *smf = smf_new ();
  EXPECT_EQ (smf_set_ppqn (smf, 24000), 0);
  smf_track_t *track = smf_track_new ();
  smf_add_track (smf, track);
  for (const Note &n : notes)
    for (int on = 1; on >= 0; on--)
      smf_track_add_event_pulses (track, smf_event_new_from_bytes (on ? 0x90 : 0x80, n.key, 100),
                                  int (n.frame + (on ? 0 : n.length)));
  EXPECT_EQ (smf_save (smf, mid.c_str ()), 0);
  smf_delete (smf);
  g_autofree char *idx = g_strdup_printf ("%d", index);
  const char *argv[] = { g_getenv ("ZELMORA_RENDER"), "-q", "-i", idx, "-m", mid.c_str (), file.c_str (), wav.c_str (),
                         nullptr };
  int status = -1;
  EXPECT_TRUE (g_spawn_sync (nullptr, (char **) argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr,
                             nullptr, &status, nullptr) && status == 0);
  SF_INFO info = {};
  SNDFILE *snd = sf_open (wav.c_str (), SFM_READ, &info);
  Output out (size_t (info.frames) * 2);
  if (snd)
    sf_readf_float (snd, out.data (), info.frames), sf_close (snd);
  return out;
}

/* Samples where @a and @b differ by more than 1e-6; the first in @first. */
size_t
differences (const Output &a, const Output &b, size_t *first = nullptr)
{
  size_t n = 0;
  for (size_t i = 0; i < MIN (a.size (), b.size ()); i++)
    if (std::fabs (a[i] - b[i]) > 1e-6f && n++ == 0 && first)
      *first = i / 2;
  return n;
}

float
peak (const Output &o) /* infinite when any sample is not finite */
{
  return std::accumulate (o.begin (), o.end (), 0.0f,
                          [] (float p, float v) { return std::isfinite (v) ? MAX (p, std::fabs (v)) : INFINITY; });
}

class Lv2Plugin : public ::testing::Test
{
protected:
  static void SetUpTestSuite ()
  {
    world = lilv_world_new ();
    lilv_world_load_all (world); /* LV2_PATH: the build tree */
    LilvNode *uri = lilv_new_uri (world, "urn:zelmora:synth");
    plugin = lilv_plugins_get_by_uri (lilv_world_get_all_plugins (world), uri);
    lilv_node_free (uri);
  }
  static void TearDownTestSuite () { lilv_world_free (world); }
  void SetUp () override { ASSERT_NE (plugin, nullptr) << "urn:zelmora:synth not on LV2_PATH"; }
  void TearDown () override { std::filesystem::remove_all (dir); }
  const std::string dir = std::unique_ptr<char, decltype (&g_free)> (g_dir_make_tmp ("zelmora-lv2-XXXXXX", nullptr),
                                                                      g_free).get ();
};

/* Three instances, each with an instrument of its own and run in turns,
 * play what zelmora-render makes of the same notes, @LATENCY frames late. */
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
  std::deque<Host> hosts;
  Output want[3], got[3];
  for (int c = 0; c < 3; c++)
    {
      want[c] = render (bank, cases[c].index, cases[c].notes, dir);
      want[c].insert (want[c].begin (), 2 * LATENCY, 0.0f);
      EXPECT_GT (peak (want[c]), 0.01f);
      hosts.emplace_back (guint32 (c)).choose (bank, cases[c].index);
    }
  for (size_t done = 0; done < 60000; done += 5000)
    for (int c = 0; c < 3; c++)
      {
        std::vector<Note> notes = cases[c].notes;
        for (Note &n : notes)
          n.frame -= gint64 (done);
        for (float v : hosts[size_t (c)].play (notes, 5000))
          got[c].push_back (v);
      }
  for (int c = 0; c < 3; c++)
    {
      size_t first = 0;
      EXPECT_EQ (differences (got[c], want[c], &first), 0u) << "instrument " << cases[c].index << ", frame " << first;
      EXPECT_EQ (hosts[size_t (c)].latency, float (REPORTED));
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
      while (onset < out.size () && out[onset] == 0.0f)
        onset++;
      EXPECT_EQ (onset / 2, frame + REPORTED + 1) << "note at " << frame;
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
      const std::string copy = dir + "/copy.vvi";
      g_autoptr (VornFile) file = vorn_file_load (bank.c_str (), nullptr);
      ASSERT_TRUE (file && vorn_file_save (file, copy.c_str (), nullptr));
      Host saved (7), restored (8);
      saved.choose (copy, 4);
      LilvState *state = lilv_state_new_from_instance (plugin, saved.inst, &urid_map, nullptr, nullptr, nullptr,
                                                       nullptr, nullptr, nullptr, 0, saved.features);
      char *turtle = lilv_state_to_string (world, &urid_map, &urid_unmap, state, "urn:zelmora:test", nullptr);
      lilv_state_free (state);
      if (gone)
        g_remove (copy.c_str ());
      state = lilv_state_new_from_string (world, &urid_map, turtle);
      ASSERT_NE (state, nullptr) << turtle;
      restored.restore (state);
      lilv_state_free (state);
      lilv_free (turtle);
      const Output a = saved.play (notes, 40000), b = restored.play (notes, 40000);
      EXPECT_EQ (differences (a, b), 0u) << (gone ? "file removed" : "file kept");
      EXPECT_GT (peak (a), 0.01f);
    }
}

/* Every preset restores and sounds; hosts list the 23 of the bank. */
TEST_F (Lv2Plugin, PresetsSound)
{
  LilvNode *preset_class = lilv_new_uri (world, LV2_PRESETS__Preset);
  LilvNodes *presets = lilv_plugin_get_related (plugin, preset_class);
  EXPECT_EQ (lilv_nodes_size (presets), 23u);
  LILV_FOREACH (nodes, i, presets)
    {
      const LilvNode *preset = lilv_nodes_get (presets, i);
      lilv_world_load_resource (world, preset);
      LilvState *state = lilv_state_new_from_world (world, &urid_map, preset);
      ASSERT_NE (state, nullptr) << lilv_node_as_uri (preset);
      Host host (3);
      host.restore (state);
      const float p = peak (host.play ({ { 0, 12000, 60 } }, 24000, 512));
      EXPECT_TRUE (p > 1e-3f && p < 16.0f) << lilv_state_get_label (state) << ": peak " << p;
      lilv_state_free (state);
    }
  lilv_nodes_free (presets);
  lilv_node_free (preset_class);
}

/* The chosen file saved again while the plugin plays: within a second of
 * audio the plugin plays the new content (instrument 0 removed, so index 0
 * is the bank's instrument 1), as if the host had chosen it. */
TEST_F (Lv2Plugin, ReloadsAChangedFile)
{
  const std::string copy = dir + "/edited.vvi";
  g_autoptr (VornFile) file = vorn_file_load (bank.c_str (), nullptr);
  ASSERT_TRUE (file && vorn_file_save (file, copy.c_str (), nullptr));
  const guint second = 48000 / LATENCY * LATENCY + LATENCY;
  Host edited (60), switched (61), unchanged (62);
  edited.choose (copy, 0);
  edited.play ({}, second);
  vorn_node_unlink (VORN_NODE (file)->children);
  ASSERT_TRUE (vorn_file_save (file, copy.c_str (), nullptr));
  edited.play ({}, second);
  switched.choose (bank, 0);
  switched.play ({}, second);
  switched.choose (bank, 1);
  switched.play ({}, second - LATENCY);
  unchanged.choose (bank, 0);
  unchanged.play ({}, 2 * second);
  const Output got = edited.play ({ { 10, 20000, 60 } }, 30000);
  EXPECT_EQ (differences (got, switched.play ({ { 10, 20000, 60 } }, 30000)), 0u);
  EXPECT_GT (differences (got, unchanged.play ({ { 10, 20000, 60 } }, 30000)), 1000u);
}
} // namespace
