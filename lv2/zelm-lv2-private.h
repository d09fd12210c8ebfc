/* zelm-lv2-private.h: the instrument plugin's instance, shared by its render
 * side (zelm-lv2-plugin.cpp) and its worker and state side
 * (zelm-lv2-state.cpp) */
#pragma once

#include "vornadel.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/log/logger.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#define ZELM_LV2_URI "urn:zelmora:synth"
#define ZELM_LV2_PREFIX ZELM_LV2_URI "#"

/* Control ports for the selected instrument's control waves. */
constexpr guint ZELM_LV2_CONTROLS = 8;
/* Longest path the plugin takes from a host, terminator included: a job
 * or a response must fit the 4,096-byte rings common hosts give the worker. */
constexpr guint ZELM_LV2_PATH_MAX = 2048;
/* Longest control wave name sent back to the host, terminator included. */
constexpr guint ZELM_LV2_NAME_MAX = 48;

enum ZelmLv2Port : guint32 {
  ZELM_LV2_PORT_CONTROL = 0,
  ZELM_LV2_PORT_NOTIFY,
  ZELM_LV2_PORT_OUT_LEFT,
  ZELM_LV2_PORT_OUT_RIGHT,
  ZELM_LV2_PORT_VOLUME,
  ZELM_LV2_PORT_CONTROL_1,
  ZELM_LV2_PORT_LATENCY = ZELM_LV2_PORT_CONTROL_1 + ZELM_LV2_CONTROLS,
};

struct ZelmLv2Urids {
  LV2_URID atom_path, atom_int, atom_string, atom_object, atom_urid;
  LV2_URID midi_event;
  LV2_URID patch_set, patch_get, patch_property, patch_value;
  LV2_URID file, instrument, document;
  LV2_URID control_name[ZELM_LV2_CONTROLS], instrument_name;
  LV2_URID max_block, nominal_block;
};

/* What the worker tells run() after loading: the instrument now playing. */
struct ZelmLv2Loaded {
  guint32 index;
  char name[ZELM_LV2_NAME_MAX];
  char names[ZELM_LV2_CONTROLS][ZELM_LV2_NAME_MAX];
  char path[ZELM_LV2_PATH_MAX];
};

/* One plugin instance.  Fields are grouped by the thread that owns them. */
struct ZelmLv2Plugin {
  /* Set at instantiate, read-only afterwards. */
  LV2_URID_Map *map;
  LV2_Worker_Schedule *schedule;
  LV2_Log_Logger logger;
  ZelmLv2Urids u;
  double rate;
  VornSynth *synth;

  /* Render side: run() and the worker's responses (same thread). */
  const LV2_Atom_Sequence *control_port;
  LV2_Atom_Sequence *notify_port;
  float *out[2];
  const float *volume;
  const float *controls[ZELM_LV2_CONTROLS];
  float *latency;
  LV2_Atom_Forge forge;
  VornSynthEvent *events;
  guint events_cap;
  float gain, gain_step;
  guint gain_ramp;
  float volume_seen;
  float controls_seen[ZELM_LV2_CONTROLS];
  gboolean started;
  gboolean service_pending;
  guint64 since_service, since_check;
  gboolean send_state;
  gboolean release_all;
  ZelmLv2Loaded loaded;

  /* Worker, state save and restore: the instrument model, under @lock (the
   * host may save while the worker loads). */
  GMutex lock;
  VornFile *file;
  char *document;
  gsize document_len;
  char *path;
  guint32 index;
  gboolean have_stat;
  gint64 mtime;
  gint64 size;
  VornWave *waves[ZELM_LV2_CONTROLS];
  double wave_base[ZELM_LV2_CONTROLS]; /* their initial values as loaded */
  float applied[ZELM_LV2_CONTROLS];     /* the control ports' last values */
  guint n_waves;
  guint lost_reported;
};

/* Jobs run() hands to the worker. */
enum ZelmLv2JobType : guint32 {
  /* Load the file of the path that follows the header. */
  ZELM_LV2_JOB_LOAD,
  /* Play instrument @index of the current file. */
  ZELM_LV2_JOB_INDEX,
  /* Drain the outbox, compile voices ahead, apply moved controls and, when
   * @check, reload the file if it changed on disk. */
  ZELM_LV2_JOB_SERVICE,
};

struct ZelmLv2Job {
  ZelmLv2JobType type;
  guint32 index;
  gboolean check;
  guint32 moved;  /* bit i: control i moved to values[i] */
  float values[ZELM_LV2_CONTROLS];
};

/* Responses of the worker. */
enum ZelmLv2ResponseType : guint32 {
  ZELM_LV2_RESPONSE_SERVICED,
  ZELM_LV2_RESPONSE_LOADED,
};

struct ZelmLv2Response {
  ZelmLv2ResponseType type;
  ZelmLv2Loaded loaded;
};

/* zelm-lv2-state.cpp */

/* Plays @data (an instrument document of @size bytes), instrument @index of
 * it, remembering @path (nullable) as where it came from.  Caller holds
 * @self->lock.  Returns FALSE with @error set when @data does not load or
 * holds no instrument; the instrument playing stays. */
gboolean zelm_lv2_play_document (ZelmLv2Plugin *self, const char *data, gsize size, const char *path,
                                 guint32 index, GError **error);

/* Fills @loaded from what plays now.  Caller holds @self->lock. */
void zelm_lv2_describe (ZelmLv2Plugin *self, ZelmLv2Loaded *loaded);

/* Frees the model side of @self (file, document, path). */
void zelm_lv2_model_clear (ZelmLv2Plugin *self);

LV2_Worker_Status zelm_lv2_work (LV2_Handle instance, LV2_Worker_Respond_Function respond,
                                 LV2_Worker_Respond_Handle handle, uint32_t size, const void *data);
LV2_Worker_Status zelm_lv2_work_response (LV2_Handle instance, uint32_t size, const void *body);
LV2_State_Status zelm_lv2_save (LV2_Handle instance, LV2_State_Store_Function store,
                                LV2_State_Handle handle, uint32_t flags, const LV2_Feature *const *features);
LV2_State_Status zelm_lv2_restore (LV2_Handle instance, LV2_State_Retrieve_Function retrieve,
                                   LV2_State_Handle handle, uint32_t flags, const LV2_Feature *const *features);
