/* zelm-wave-scope.h: one oscilloscope trace of recorded samples */
#pragma once

#include <gtk/gtk.h>

G_BEGIN_DECLS

#define ZELM_TYPE_WAVE_SCOPE (zelm_wave_scope_get_type ())
G_DECLARE_FINAL_TYPE (ZelmWaveScope, zelm_wave_scope, ZELM, WAVE_SCOPE, GtkDrawingArea)

/**
 * ZelmWaveScope:
 * @len: samples the scope shows at its width and x-zoom,
 *   (int) (width / x-zoom + 1.5); read only
 */
struct _ZelmWaveScope {
  GtkDrawingArea parent_instance;

  /*< public >*/
  int len;
};

/* Returns: (transfer floating): a new, empty scope. */
GtkWidget *zelm_wave_scope_new (void);

/**
 * zelm_wave_scope_get_buffer:
 * @scope: a scope
 * @len: (out) (optional): receives the buffer's length, the scope's @len
 *
 * Resizes the sample buffer to the scope's current length first (samples
 * marked valid beyond it are dropped).  Fill it, then call
 * zelm_wave_scope_update().
 *
 * Returns: (transfer none) (nullable): the buffer, owned by the scope and
 *   valid until the next call; NULL on a wrong argument.
 */
double *zelm_wave_scope_get_buffer (ZelmWaveScope *scope, int *len);

/**
 * zelm_wave_scope_update:
 * @scope: a scope
 * @count: samples of the buffer that are valid, from its start
 * @offset: samples between the scope's left edge and the first valid one
 *
 * Marks what the buffer holds and redraws.  Count 0 shows "no data".
 */
void zelm_wave_scope_update (ZelmWaveScope *scope, int count, int offset);

G_END_DECLS
