/* zelm-lv2-plugin.cpp: the instrument plugin's descriptor, its life cycle
 * and run(), the render thread.
 *
 * run() only renders, reads its ports and hands jobs to the host's worker:
 * loading, compiling voices ahead and freeing what the render thread hands
 * back all happen in zelm-lv2-state.cpp, on the worker thread. */
#include "zelm-lv2-private.h"

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>

#include <cmath>
#include <cstring>
#include <mutex> /* std::call_once: the engine starts once per process */

namespace {

/* Frames between two services of the worker when nothing else asks for
 * one: the outbox is drained and voices compiled again at least this often. */
constexpr guint64 SERVICE_FRAMES = 4096;
/* Frames of the master volume's ramp after the port moved. */
constexpr guint GAIN_RAMP = 64;
/* Room for the note events of one render call; more split the call. */
constexpr guint EVENTS_CAP = 1024;
/* Voices compiled ahead per channel: a chord of this many notes in one
 * block loses none before the worker compiles more. */
constexpr guint PREPARED_VOICES = 32;

std::once_flag engine_once;

LV2_URID
map_uri (LV2_URID_Map *map, const char *uri)
{
  return map->map (map->handle, uri);
}

void
map_urids (LV2_URID_Map *map, ZelmLv2Urids *u)
{
  u->atom_path = map_uri (map, LV2_ATOM__Path);
  u->atom_int = map_uri (map, LV2_ATOM__Int);
  u->atom_string = map_uri (map, LV2_ATOM__String);
  u->atom_object = map_uri (map, LV2_ATOM__Object);
  u->atom_urid = map_uri (map, LV2_ATOM__URID);
  u->midi_event = map_uri (map, LV2_MIDI__MidiEvent);
  u->patch_set = map_uri (map, LV2_PATCH__Set);
  u->patch_get = map_uri (map, LV2_PATCH__Get);
  u->patch_property = map_uri (map, LV2_PATCH__property);
  u->patch_value = map_uri (map, LV2_PATCH__value);
  u->file = map_uri (map, ZELM_LV2_PREFIX "file");
  u->instrument = map_uri (map, ZELM_LV2_PREFIX "instrument");
  u->document = map_uri (map, ZELM_LV2_PREFIX "document");
  u->instrument_name = map_uri (map, ZELM_LV2_PREFIX "instrument_name");
  for (guint i = 0; i < ZELM_LV2_CONTROLS; i++)
    {
      g_autofree char *uri = g_strdup_printf (ZELM_LV2_PREFIX "control_%u_name", i + 1);
      u->control_name[i] = map_uri (map, uri);
    }
  u->max_block = map_uri (map, LV2_BUF_SIZE__maxBlockLength);
  u->nominal_block = map_uri (map, LV2_BUF_SIZE__nominalBlockLength);
}

/* A new instrument file holding the default instrument: what an instance
 * plays until the host chooses a file or restores a state. */
gboolean
play_default (ZelmLv2Plugin *self, GError **error)
{
  g_autoptr (VornFile) file = vorn_file_new ();
  g_autoptr (VornInst) inst = vorn_inst_new_default ();
  vorn_node_insert (VORN_NODE (file), VORN_NODE (inst), -1);
  gsize len = 0;
  g_autofree char *data = vorn_file_to_data (file, &len);
  return zelm_lv2_play_document (self, data, len, nullptr, 0, error);
}

void cleanup (LV2_Handle instance);

LV2_Handle
instantiate (const LV2_Descriptor *, double rate, const char *, const LV2_Feature *const *features)
{
  /* A host that links the engine itself may have started it already. */
  std::call_once (engine_once, [] {
    if (!vorn_app_name)
      vorn_init ("Zelmora 0.9.0");
  });
  auto *self = g_new0 (ZelmLv2Plugin, 1);
  g_mutex_init (&self->lock);
  const LV2_Options_Option *options = nullptr;
  for (int i = 0; features && features[i]; i++)
    {
      const char *uri = features[i]->URI;
      if (!strcmp (uri, LV2_URID__map))
        self->map = static_cast<LV2_URID_Map *> (features[i]->data);
      else if (!strcmp (uri, LV2_WORKER__schedule))
        self->schedule = static_cast<LV2_Worker_Schedule *> (features[i]->data);
      else if (!strcmp (uri, LV2_LOG__log))
        self->logger.log = static_cast<LV2_Log_Log *> (features[i]->data);
      else if (!strcmp (uri, LV2_OPTIONS__options))
        options = static_cast<const LV2_Options_Option *> (features[i]->data);
    }
  lv2_log_logger_set_map (&self->logger, self->map);
  /* The engine's own limits are wider; these are the rates it is made for. */
  if (!(rate >= 22050.0 && rate <= 384000.0))
    {
      lv2_log_error (&self->logger, "Zelmora: a sample rate of %g Hz is not supported (22,050 to 384,000)\n", rate);
      cleanup (self);
      return nullptr;
    }
  if (!self->map || !self->schedule)
    {
      lv2_log_error (&self->logger, "Zelmora needs the host features urid:map and worker:schedule\n");
      cleanup (self);
      return nullptr;
    }
  map_urids (self->map, &self->u);
  lv2_atom_forge_init (&self->forge, self->map);
  self->rate = rate;

  /* The render call takes any block length; the longest one the host
   * announces only sizes nothing here, but a nonsensical one is refused. */
  for (const LV2_Options_Option *o = options; o && o->key; o++)
    if ((o->key == self->u.max_block || o->key == self->u.nominal_block) && o->type == self->u.atom_int
        && *static_cast<const int32_t *> (o->value) <= 0)
      {
        lv2_log_error (&self->logger, "Zelmora: block length %d is not usable\n",
                       *static_cast<const int32_t *> (o->value));
        cleanup (self);
        return nullptr;
      }

  /* Control ports at 0.5 leave the instrument's own values. */
  for (guint i = 0; i < ZELM_LV2_CONTROLS; i++)
    self->controls_seen[i] = self->applied[i] = 0.5f;
  self->synth = vorn_synth_cpu_new ();
  g_object_set (self->synth, "sample-rate", rate, "speaker-count", 2u, "cores", 1u, "max-voices", 256u,
                "prepared-voices", PREPARED_VOICES, nullptr);
  g_autoptr (GError) error = nullptr;
  gboolean ok = vorn_synth_start (self->synth, &error);
  if (ok)
    {
      g_mutex_lock (&self->lock);
      ok = play_default (self, &error);
      zelm_lv2_describe (self, &self->loaded);
      g_mutex_unlock (&self->lock);
    }
  if (!ok)
    {
      lv2_log_error (&self->logger, "Zelmora: %s\n", error->message);
      cleanup (self);
      return nullptr;
    }
  self->events = g_new (VornSynthEvent, EVENTS_CAP);
  self->events_cap = EVENTS_CAP;
  self->gain = 1.0f;
  self->volume_seen = 0.0f;
  self->send_state = TRUE;
  return self;
}

void
connect_port (LV2_Handle instance, uint32_t port, void *data)
{
  auto *self = static_cast<ZelmLv2Plugin *> (instance);
  switch (port)
    {
    case ZELM_LV2_PORT_CONTROL: self->control_port = static_cast<const LV2_Atom_Sequence *> (data); break;
    case ZELM_LV2_PORT_NOTIFY: self->notify_port = static_cast<LV2_Atom_Sequence *> (data); break;
    case ZELM_LV2_PORT_OUT_LEFT: self->out[0] = static_cast<float *> (data); break;
    case ZELM_LV2_PORT_OUT_RIGHT: self->out[1] = static_cast<float *> (data); break;
    case ZELM_LV2_PORT_VOLUME: self->volume = static_cast<const float *> (data); break;
    case ZELM_LV2_PORT_LATENCY: self->latency = static_cast<float *> (data); break;
    default:
      if (port >= ZELM_LV2_PORT_CONTROL_1 && port < ZELM_LV2_PORT_CONTROL_1 + ZELM_LV2_CONTROLS)
        self->controls[port - ZELM_LV2_PORT_CONTROL_1] = static_cast<const float *> (data);
      break;
    }
}

void
activate (LV2_Handle instance)
{
  auto *self = static_cast<ZelmLv2Plugin *> (instance);
  /* The host asks for the state it shows again after a reactivation, and
   * notes held when it deactivated must not sound on. */
  self->send_state = TRUE;
  self->release_all = TRUE;
}

/* The linear gain of the volume port: its floor is silence. */
float
volume_gain (float db)
{
  if (!std::isfinite (db) || db <= -60.0f)
    return 0.0f;
  return std::pow (10.0f, std::fmin (db, 12.0f) / 20.0f);
}

/* Applies the master volume to @frames frames from @offset, ramping for
 * GAIN_RAMP frames after the port moved so that automation never clicks.
 * At unity gain the output is left bit for bit as the engine made it. */
void
apply_gain (ZelmLv2Plugin *self, guint offset, guint frames)
{
  float *left = self->out[0] + offset, *right = self->out[1] + offset;
  guint i = 0;
  for (; i < frames && self->gain_ramp; i++, self->gain_ramp--)
    {
      self->gain += self->gain_step;
      left[i] *= self->gain;
      right[i] *= self->gain;
    }
  if (self->gain_ramp == 0)
    self->gain = volume_gain (self->volume_seen);
  if (self->gain == 1.0f)
    return;
  for (; i < frames; i++)
    {
      left[i] *= self->gain;
      right[i] *= self->gain;
    }
}

/* Renders from @*done up to @frame, playing the gathered events that fall
 * before @frame; later ones stay for the next stretch.  Event frames are
 * kept relative to the block until they are handed over. */
void
render_to (ZelmLv2Plugin *self, guint *done, guint frame, guint *n_events)
{
  if (frame <= *done)
    return;
  guint take = 0;
  while (take < *n_events && self->events[take].frame < frame)
    self->events[take++].frame -= *done;
  float *out[2] = { self->out[0] + *done, self->out[1] + *done };
  vorn_synth_render_events_split (self->synth, out, frame - *done, self->events, take);
  apply_gain (self, *done, frame - *done);
  memmove (self->events, self->events + take, (*n_events - take) * sizeof *self->events);
  *n_events -= take;
  *done = frame;
}

void
write_set (ZelmLv2Plugin *self, LV2_URID key, LV2_URID type, const void *body, uint32_t size)
{
  LV2_Atom_Forge *forge = &self->forge;
  LV2_Atom_Forge_Frame frame;
  lv2_atom_forge_frame_time (forge, 0);
  lv2_atom_forge_object (forge, &frame, 0, self->u.patch_set);
  lv2_atom_forge_key (forge, self->u.patch_property);
  lv2_atom_forge_urid (forge, key);
  lv2_atom_forge_key (forge, self->u.patch_value);
  lv2_atom_forge_atom (forge, size, type);
  lv2_atom_forge_write (forge, body, size);
  lv2_atom_forge_pop (forge, &frame);
}

/* Tells the host which file and instrument play, the instrument's name and
 * the names of its control waves (read-only string parameters, one per
 * control port: port names are fixed, so generic host controls show these
 * beside them). */
void
notify_state (ZelmLv2Plugin *self)
{
  const ZelmLv2Loaded &l = self->loaded;
  const int32_t index = int32_t (l.index);
  write_set (self, self->u.file, self->u.atom_path, l.path, uint32_t (strlen (l.path) + 1));
  write_set (self, self->u.instrument, self->u.atom_int, &index, sizeof index);
  write_set (self, self->u.instrument_name, self->u.atom_string, l.name, uint32_t (strlen (l.name) + 1));
  for (guint i = 0; i < ZELM_LV2_CONTROLS; i++)
    write_set (self, self->u.control_name[i], self->u.atom_string, l.names[i],
               uint32_t (strlen (l.names[i]) + 1));
}

/* A patch:Set or patch:Get from the host. */
void
handle_patch (ZelmLv2Plugin *self, const LV2_Atom_Object *obj)
{
  if (obj->body.otype == self->u.patch_get)
    {
      self->send_state = TRUE;
      return;
    }
  if (obj->body.otype != self->u.patch_set)
    return;
  const LV2_Atom *property = nullptr, *value = nullptr;
  lv2_atom_object_get (obj, self->u.patch_property, &property, self->u.patch_value, &value, 0);
  if (!property || property->type != self->u.atom_urid || !value)
    return;
  const LV2_URID key = reinterpret_cast<const LV2_Atom_URID *> (property)->body;
  if (key == self->u.file && value->size > 0 && value->size < ZELM_LV2_PATH_MAX)
    {
      /* The path travels right behind the job header. */
      alignas (8) char job[sizeof (ZelmLv2Job) + ZELM_LV2_PATH_MAX];
      ZelmLv2Job header = {};
      header.type = ZELM_LV2_JOB_LOAD;
      memcpy (job, &header, sizeof header);
      memcpy (job + sizeof header, LV2_ATOM_BODY_CONST (value), value->size);
      job[sizeof header + value->size] = '\0';
      self->schedule->schedule_work (self->schedule->handle, uint32_t (sizeof header + value->size + 1), job);
    }
  else if (key == self->u.instrument && value->type == self->u.atom_int)
    {
      ZelmLv2Job job = {};
      job.type = ZELM_LV2_JOB_INDEX;
      job.index = guint32 (MAX (0, reinterpret_cast<const LV2_Atom_Int *> (value)->body));
      self->schedule->schedule_work (self->schedule->handle, sizeof job, &job);
    }
}

/* Hands the worker its regular job when one is due and none is running. */
void
schedule_service (ZelmLv2Plugin *self, gboolean played, guint frames)
{
  self->since_service += frames;
  self->since_check += frames;
  ZelmLv2Job job = {};
  job.type = ZELM_LV2_JOB_SERVICE;
  for (guint i = 0; i < ZELM_LV2_CONTROLS; i++)
    {
      const float v = self->controls[i] ? *self->controls[i] : 0.5f;
      if (v != self->controls_seen[i])
        job.moved |= 1u << i, job.values[i] = v;
    }
  if (self->service_pending)
    return;
  job.check = self->loaded.path[0] && self->since_check >= guint64 (self->rate);
  if (!played && !job.moved && !job.check && self->since_service < SERVICE_FRAMES)
    return;
  if (self->schedule->schedule_work (self->schedule->handle, sizeof job, &job) != LV2_WORKER_SUCCESS)
    return;
  for (guint i = 0; i < ZELM_LV2_CONTROLS; i++)
    if (job.moved & (1u << i))
      self->controls_seen[i] = job.values[i];
  self->service_pending = TRUE;
  self->since_service = 0;
  if (job.check)
    self->since_check = 0;
}

void
run (LV2_Handle instance, uint32_t n_frames)
{
  auto *self = static_cast<ZelmLv2Plugin *> (instance);
  /* The host's thread: its floating-point mode goes back as it was. */
  const guint host_fp = vorn_util_set_ftz_daz ();

  const float volume = self->volume ? *self->volume : 0.0f;
  if (!self->started)
    {
      self->volume_seen = volume;
      self->gain = volume_gain (volume);
      self->started = TRUE;
    }
  if (volume != self->volume_seen)
    {
      self->volume_seen = volume;
      self->gain_step = (volume_gain (volume) - self->gain) / float (GAIN_RAMP);
      self->gain_ramp = GAIN_RAMP;
    }
  /* Notes start their voices one fragment late, and band-limited
   * oscillators sound a little later still: hosts line up the usual sound. */
  if (self->latency)
    *self->latency = float (VORN_SYNTH_EVENT_LATENCY + VORN_WAVE_ANTIALIAS_DELAY);

  const uint32_t notify_capacity = self->notify_port ? self->notify_port->atom.size : 0;
  LV2_Atom_Forge_Frame notify_seq;
  if (self->notify_port)
    {
      lv2_atom_forge_set_buffer (&self->forge, reinterpret_cast<uint8_t *> (self->notify_port),
                                 notify_capacity);
      lv2_atom_forge_sequence_head (&self->forge, &notify_seq, 0);
    }

  guint done = 0, n_events = 0;
  gboolean played = FALSE;
  if (self->release_all && n_frames > 0)
    {
      /* Pedal up and all sound off on every channel: the render thread
       * releases every key. */
      for (guint8 chan = 0; chan < 16; chan++)
        for (guint8 cc : { guint8 (64), guint8 (120) })
          self->events[n_events++] = { 0, 3, { guint8 (0xb0 | chan), cc, 0 } };
      self->release_all = FALSE;
      played = TRUE;
    }
  if (self->control_port && n_frames > 0)
    LV2_ATOM_SEQUENCE_FOREACH (self->control_port, ev)
      {
        const guint frame = guint (CLAMP (ev->time.frames, 0, gint64 (n_frames) - 1));
        if (ev->body.type == self->u.midi_event)
          {
            const auto *msg = static_cast<const guint8 *> (LV2_ATOM_BODY_CONST (&ev->body));
            if (ev->body.size < 1 || ev->body.size > 3 || msg[0] < 0x80 || msg[0] >= 0xf0)
              continue;
            if (n_events == self->events_cap)
              render_to (self, &done, frame, &n_events);
            if (n_events == self->events_cap)
              continue;
            VornSynthEvent &e = self->events[n_events++];
            e = {};
            e.frame = frame;
            e.size = guint8 (ev->body.size);
            memcpy (e.data, msg, ev->body.size);
            played = TRUE;
          }
        else if (ev->body.type == self->u.atom_object)
          handle_patch (self, reinterpret_cast<const LV2_Atom_Object *> (&ev->body));
      }
  render_to (self, &done, n_frames, &n_events);

  if (self->notify_port)
    {
      if (self->send_state)
        notify_state (self);
      self->send_state = FALSE;
      lv2_atom_forge_pop (&self->forge, &notify_seq);
    }
  schedule_service (self, played, n_frames);
  vorn_util_restore_fp_mode (host_fp);
}

void
deactivate (LV2_Handle)
{
}

void
cleanup (LV2_Handle instance)
{
  auto *self = static_cast<ZelmLv2Plugin *> (instance);
  if (self->synth)
    {
      vorn_synth_stop (self->synth);
      while (VornSynthMsg *msg = vorn_synth_get_message (self->synth))
        vorn_synth_msg_free (msg);
      g_object_unref (self->synth);
    }
  zelm_lv2_model_clear (self);
  g_free (self->events);
  g_mutex_clear (&self->lock);
  g_free (self);
}

const void *
extension_data (const char *uri)
{
  static const LV2_Worker_Interface worker = { zelm_lv2_work, zelm_lv2_work_response, nullptr };
  static const LV2_State_Interface state = { zelm_lv2_save, zelm_lv2_restore };
  if (!strcmp (uri, LV2_WORKER__interface))
    return &worker;
  if (!strcmp (uri, LV2_STATE__interface))
    return &state;
  return nullptr;
}

const LV2_Descriptor descriptor = {
  ZELM_LV2_URI, instantiate, connect_port, activate, run, deactivate, cleanup, extension_data,
};

} // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor *
lv2_descriptor (uint32_t index)
{
  return index == 0 ? &descriptor : nullptr;
}
