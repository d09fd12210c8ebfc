/* zelm-lv2-state.cpp: the instrument plugin's worker and its state.
 *
 * Everything that allocates, parses or compiles happens here, on the host's
 * worker thread (loading, compiling voices ahead, freeing what the render
 * thread hands back) or on its main thread (state save and restore).  Both
 * take the instance's lock, which run() never does. */
#include "zelm-lv2-private.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

/* The file's modification time in nanoseconds and its size, or FALSE when
 * it cannot be read. */
gboolean
file_stamp (const char *path, gint64 *mtime, gint64 *size)
{
  struct stat st;
  if (stat (path, &st) != 0)
    return FALSE;
  *mtime = gint64 (st.st_mtim.tv_sec) * G_GINT64_CONSTANT (1000000000) + st.st_mtim.tv_nsec;
  *size = gint64 (st.st_size);
  return TRUE;
}

/* Loads the instrument file at @path and plays instrument @index of it.
 * Caller holds the lock. */
gboolean
play_path (ZelmLv2Plugin *self, const char *path, guint32 index, GError **error)
{
  gint64 mtime = 0, size = 0;
  const gboolean stamped = file_stamp (path, &mtime, &size);
  struct stat st;
  if (stat (path, &st) != 0)
    {
      const int err = errno;
      g_set_error (error, G_FILE_ERROR, g_file_error_from_errno (err), "%s: %s", path, g_strerror (err));
      return FALSE;
    }
  if (!S_ISREG (st.st_mode) || st.st_size > VORN_FILE_MAX_SIZE)
    {
      g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA, "%s is not an instrument file", path);
      return FALSE;
    }
  g_autofree char *data = nullptr;
  gsize len = 0;
  if (!g_file_get_contents (path, &data, &len, error))
    return FALSE;
  /* Whatever happens to this content, it is not read again until the file
   * changes. */
  self->have_stat = stamped;
  self->mtime = mtime;
  self->size = size;
  return zelm_lv2_play_document (self, data, len, path, index, error);
}

gboolean
collect_control (VornNode *node, gpointer data)
{
  auto *self = static_cast<ZelmLv2Plugin *> (data);
  if (self->n_waves < ZELM_LV2_CONTROLS && VORN_IS_WAVE (node) && !VORN_WAVE (node)->curve)
    {
      self->wave_base[self->n_waves] = VORN_WAVE (node)->init_value;
      self->waves[self->n_waves++] = VORN_WAVE (node);
    }
  return TRUE;
}

/* A control wave's value for control port position @port (0 to 1).  Control
 * values are in the instrument's own units (a cutoff in hertz, a
 * resonance), with no range recorded, so the port scales the instrument's
 * initial value: 0.5 leaves it, the ends divide or multiply it by 4 (two
 * octaves of a cutoff).  A control starting at 0 goes from -1 to 1. */
double
control_value (double base, float port)
{
  const double p = CLAMP (double (port), 0.0, 1.0);
  return base == 0.0 ? 2.0 * p - 1.0 : base * std::exp2 (4.0 * p - 2.0);
}

/* Applies control port @i at @port: through the control wave's initial
 * value to the voices compiled from now on and, unless the instrument was
 * just loaded, to the voices sounding now.  The document kept for the state
 * stays as loaded: the host keeps the port values. */
void
move_control (ZelmLv2Plugin *self, guint i, float port, gboolean sounding)
{
  self->applied[i] = port;
  if (i >= self->n_waves)
    return;
  VornWave *wave = self->waves[i];
  const double value = control_value (self->wave_base[i], port);
  g_object_set (wave, "init-value", value, nullptr);
  VornInst *inst = vorn_synth_get_inst (self->synth, 0);
  const int id = inst && sounding ? vorn_synth_inst_get_control_id (inst, wave) : -1;
  if (id >= 0 && id <= G_MAXUINT16)
    vorn_synth_set_node_control (self->synth, VORN_NODE (inst), guint16 (id), VORN_SYNTH_MSG_ALL_CHANNELS, 0,
                                 value, VORN_WAVE_OP_SET);
}

/* Frees what the render thread handed back, compiles voices ahead and
 * reports note events the render thread had to drop. */
void
service (ZelmLv2Plugin *self)
{
  while (VornSynthMsg *msg = vorn_synth_get_message (self->synth))
    vorn_synth_msg_free (msg);
  vorn_synth_prepare_voices (self->synth);
  const guint lost = vorn_synth_get_event_overflow (self->synth);
  if (lost != self->lost_reported)
    {
      lv2_log_warning (&self->logger, "Zelmora: %u note events lost (more at once than voices prepared)\n",
                       lost - self->lost_reported);
      self->lost_reported = lost;
    }
}

void
respond_loaded (ZelmLv2Plugin *self, LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle)
{
  auto *response = g_new0 (ZelmLv2Response, 1);
  response->type = ZELM_LV2_RESPONSE_LOADED;
  zelm_lv2_describe (self, &response->loaded);
  respond (handle, sizeof *response, response);
  g_free (response);
}

} // namespace

gboolean
zelm_lv2_play_document (ZelmLv2Plugin *self, const char *data, gsize size, const char *path, guint32 index,
                        GError **error)
{
  if (size > VORN_FILE_MAX_SIZE)
    {
      g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA, "the instrument document is too large");
      return FALSE;
    }
  g_autoptr (VornFile) file = vorn_file_load_from_data (data, guint32 (size), error);
  if (!file)
    return FALSE;
  guint n = 0;
  VornInst *inst = nullptr;
  for (VornNode *node = VORN_NODE (file)->children; node; node = node->next)
    if (VORN_IS_INST (node) && n++ == index)
      inst = VORN_INST (node);
  if (n == 0)
    {
      g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA, "%s holds no instrument",
                   path && *path ? path : "the document");
      return FALSE;
    }
  if (!inst)
    {
      g_set_error (error, VORN_ERROR, VORN_ERROR_INVALID_DATA, "%s has no instrument %u (it has %u)",
                   path && *path ? path : "the document", index, n);
      return FALSE;
    }

  /* Its control waves, set where the control ports stand. */
  self->n_waves = 0;
  vorn_node_post_traverse (VORN_NODE (inst), collect_control, self);
  for (guint i = 0; i < self->n_waves; i++)
    if (self->applied[i] != 0.5f)
      move_control (self, i, self->applied[i], FALSE);

  /* Every MIDI channel plays the instrument. */
  guint channels = 0;
  g_object_get (self->synth, "channel-count", &channels, nullptr);
  for (guint c = 0; c < MIN (channels, 16u); c++)
    vorn_synth_set_inst (self->synth, int (c), inst);
  service (self);

  /* @data and @path may be the ones held now. */
  char *new_path = g_strdup (path);
  auto *new_document = static_cast<char *> (g_malloc (size + 1));
  memcpy (new_document, data, size);
  new_document[size] = '\0';
  g_free (self->path);
  self->path = new_path;
  g_free (self->document);
  self->document = new_document;
  self->document_len = size;
  self->index = index;
  g_clear_object (&self->file);
  self->file = static_cast<VornFile *> (g_steal_pointer (&file));
  return TRUE;
}

void
zelm_lv2_describe (ZelmLv2Plugin *self, ZelmLv2Loaded *loaded)
{
  memset (loaded, 0, sizeof *loaded);
  loaded->index = self->index;
  if (VornInst *inst = vorn_synth_get_inst (self->synth, 0))
    {
      g_autofree char *name = nullptr;
      g_object_get (inst, "name", &name, nullptr);
      g_strlcpy (loaded->name, name ? name : "", sizeof loaded->name);
    }
  g_strlcpy (loaded->path, self->path ? self->path : "", sizeof loaded->path);
  for (guint i = 0; i < self->n_waves; i++)
    {
      g_autofree char *name = nullptr;
      g_object_get (self->waves[i], "name", &name, nullptr);
      g_strlcpy (loaded->names[i], name ? name : "", sizeof loaded->names[i]);
    }
}

void
zelm_lv2_model_clear (ZelmLv2Plugin *self)
{
  g_clear_object (&self->file);
  g_clear_pointer (&self->document, g_free);
  g_clear_pointer (&self->path, g_free);
  self->n_waves = 0;
}

LV2_Worker_Status
zelm_lv2_work (LV2_Handle instance, LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
               uint32_t size, const void *data)
{
  auto *self = static_cast<ZelmLv2Plugin *> (instance);
  ZelmLv2Job job;
  if (size < sizeof job)
    return LV2_WORKER_ERR_UNKNOWN;
  memcpy (&job, data, sizeof job);
  g_autoptr (GError) error = nullptr;
  g_mutex_lock (&self->lock);
  gboolean loaded = FALSE;
  switch (job.type)
    {
    case ZELM_LV2_JOB_LOAD:
      {
        const char *path = static_cast<const char *> (data) + sizeof job;
        if (size <= sizeof job || path[size - sizeof job - 1] != '\0')
          break;
        loaded = play_path (self, path, 0, &error);
        break;
      }
    case ZELM_LV2_JOB_INDEX:
      loaded = zelm_lv2_play_document (self, self->document, self->document_len, self->path, job.index, &error);
      break;
    case ZELM_LV2_JOB_SERVICE:
      for (guint i = 0; i < ZELM_LV2_CONTROLS; i++)
        if (job.moved & (1u << i))
          move_control (self, i, job.values[i], TRUE);
      if (job.check && self->path)
        {
          gint64 mtime = 0, fsize = 0;
          const gboolean stamped = file_stamp (self->path, &mtime, &fsize);
          if (stamped && (!self->have_stat || mtime != self->mtime || fsize != self->size))
            {
              g_autofree char *path = g_strdup (self->path);
              loaded = play_path (self, path, self->index, &error);
            }
        }
      service (self);
      break;
    }
  if (loaded)
    respond_loaded (self, respond, handle);
  g_mutex_unlock (&self->lock);
  if (error)
    lv2_log_error (&self->logger, "Zelmora: %s\n", error->message);
  if (job.type == ZELM_LV2_JOB_SERVICE)
    {
      const ZelmLv2ResponseType done = ZELM_LV2_RESPONSE_SERVICED;
      respond (handle, sizeof done, &done);
    }
  return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status
zelm_lv2_work_response (LV2_Handle instance, uint32_t size, const void *body)
{
  auto *self = static_cast<ZelmLv2Plugin *> (instance);
  ZelmLv2ResponseType type;
  if (size < sizeof type)
    return LV2_WORKER_ERR_UNKNOWN;
  memcpy (&type, body, sizeof type);
  if (type == ZELM_LV2_RESPONSE_SERVICED)
    self->service_pending = FALSE;
  else if (type == ZELM_LV2_RESPONSE_LOADED && size == sizeof (ZelmLv2Response))
    {
      memcpy (&self->loaded, &static_cast<const ZelmLv2Response *> (body)->loaded, sizeof self->loaded);
      self->send_state = TRUE;
    }
  return LV2_WORKER_SUCCESS;
}

/* The host's path mapping, when it gives one (either may be NULL). */
static void
path_features (const LV2_Feature *const *features, const LV2_State_Map_Path **map_path,
               const LV2_State_Free_Path **free_path)
{
  for (int i = 0; features && features[i]; i++)
    if (!strcmp (features[i]->URI, LV2_STATE__mapPath))
      *map_path = static_cast<const LV2_State_Map_Path *> (features[i]->data);
    else if (!strcmp (features[i]->URI, LV2_STATE__freePath))
      *free_path = static_cast<const LV2_State_Free_Path *> (features[i]->data);
}

LV2_State_Status
zelm_lv2_save (LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t,
               const LV2_Feature *const *features)
{
  auto *self = static_cast<ZelmLv2Plugin *> (instance);
  const LV2_State_Map_Path *map_path = nullptr;
  const LV2_State_Free_Path *free_path = nullptr;
  path_features (features, &map_path, &free_path);

  const uint32_t flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
  g_mutex_lock (&self->lock);
  /* The bytes as loaded (the host keeps the control ports' values). */
  LV2_State_Status status
    = store (handle, self->u.document, self->document, self->document_len + 1, self->u.atom_string, flags);
  const int32_t index = int32_t (self->index);
  if (status == LV2_STATE_SUCCESS)
    status = store (handle, self->u.instrument, &index, sizeof index, self->u.atom_int, flags);
  if (status == LV2_STATE_SUCCESS && self->path && *self->path)
    {
      char *abstract = map_path ? map_path->abstract_path (map_path->handle, self->path) : nullptr;
      const char *stored = abstract ? abstract : self->path;
      status = store (handle, self->u.file, stored, uint32_t (strlen (stored) + 1), self->u.atom_path, flags);
      if (abstract && free_path)
        free_path->free_path (free_path->handle, abstract);
      else
        free (abstract);
    }
  g_mutex_unlock (&self->lock);
  return status;
}

LV2_State_Status
zelm_lv2_restore (LV2_Handle instance, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle, uint32_t,
                  const LV2_Feature *const *features)
{
  auto *self = static_cast<ZelmLv2Plugin *> (instance);
  const LV2_State_Map_Path *map_path = nullptr;
  const LV2_State_Free_Path *free_path = nullptr;
  path_features (features, &map_path, &free_path);

  size_t size = 0;
  uint32_t type = 0, flags = 0;
  guint32 index = 0;
  const void *value = retrieve (handle, self->u.instrument, &size, &type, &flags);
  if (value && type == self->u.atom_int && size == sizeof (int32_t))
    index = guint32 (MAX (0, *static_cast<const int32_t *> (value)));

  g_autofree char *path = nullptr;
  value = retrieve (handle, self->u.file, &size, &type, &flags);
  if (value && size > 0)
    {
      g_autofree char *stored = g_strndup (static_cast<const char *> (value), size);
      char *absolute = map_path ? map_path->absolute_path (map_path->handle, stored) : nullptr;
      path = g_strdup (absolute ? absolute : stored);
      if (absolute && free_path)
        free_path->free_path (free_path->handle, absolute);
      else
        free (absolute);
    }

  /* A state of port values alone (a host's default state) keeps the
   * instrument playing. */
  value = retrieve (handle, self->u.document, &size, &type, &flags);
  if (!(value && size > 0) && !path)
    return LV2_STATE_SUCCESS;

  g_autoptr (GError) error = nullptr;
  gboolean ok = FALSE;
  g_mutex_lock (&self->lock);
  if (value && size > 0)
    {
      /* The document as saved plays, wherever the file went since. */
      const char *doc = static_cast<const char *> (value);
      const gsize len = doc[size - 1] == '\0' ? size - 1 : size;
      ok = zelm_lv2_play_document (self, doc, len, path, index, &error);
      self->have_stat = path && file_stamp (path, &self->mtime, &self->size);
    }
  else
    ok = play_path (self, path, index, &error);
  if (ok)
    {
      /* Not concurrent with run(), which reads these. */
      zelm_lv2_describe (self, &self->loaded);
      self->send_state = TRUE;
      self->since_check = 0;
    }
  g_mutex_unlock (&self->lock);
  if (!ok)
    {
      lv2_log_error (&self->logger, "Zelmora: cannot restore: %s\n", error->message);
      return LV2_STATE_ERR_UNKNOWN;
    }
  return LV2_STATE_SUCCESS;
}
