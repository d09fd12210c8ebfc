/* zelm-wave-editor.h: a wave's curve, its morph curves and its morph
 * position, edited side by side */
#pragma once

#include <gtk/gtk.h>

#include "vorn-wave.h"
#include "zelm-wave-canvas.h"

G_BEGIN_DECLS

/**
 * ZelmWaveEditorMorphMode:
 * @ZELM_WAVE_EDITOR_MORPH_MODE_AUTO: the morph widgets are shown when there
 *   is no wave or the wave has a morph
 * @ZELM_WAVE_EDITOR_MORPH_MODE_SHOW: always shown
 * @ZELM_WAVE_EDITOR_MORPH_MODE_HIDE: always hidden
 */
typedef enum {
  ZELM_WAVE_EDITOR_MORPH_MODE_AUTO = 0,
  ZELM_WAVE_EDITOR_MORPH_MODE_SHOW = 1,
  ZELM_WAVE_EDITOR_MORPH_MODE_HIDE = 2,
} ZelmWaveEditorMorphMode;

#define ZELM_TYPE_WAVE_EDITOR_MORPH_MODE (zelm_wave_editor_morph_mode_get_type ())
GType zelm_wave_editor_morph_mode_get_type (void);

#define ZELM_TYPE_WAVE_EDITOR (zelm_wave_editor_get_type ())
G_DECLARE_FINAL_TYPE (ZelmWaveEditor, zelm_wave_editor, ZELM, WAVE_EDITOR, GtkGrid)

/* Returns: (transfer floating): a new editor without a wave. */
GtkWidget *zelm_wave_editor_new (void);

/**
 * zelm_wave_editor_set_wave:
 * @editor: an editor
 * @wave: (nullable): the wave to edit; the editor takes a reference
 *
 * Shows @wave on every canvas and notifies "wave" when it changed.  A wave
 * without a curve is taken as none.  The selection is cleared.
 */
void zelm_wave_editor_set_wave (ZelmWaveEditor *editor, VornWave *wave);

/* Returns: (transfer none) (nullable): the wave being edited. */
VornWave *zelm_wave_editor_get_wave (ZelmWaveEditor *editor);

/**
 * zelm_wave_editor_get_canvas:
 * @editor: an editor
 *
 * The canvas of the curve itself.  It notifies "wave" whenever the wave's
 * data changed through any part of the editor.
 *
 * Returns: (transfer none): the main canvas.
 */
ZelmWaveCanvas *zelm_wave_editor_get_canvas (ZelmWaveEditor *editor);

/* Microseconds on the animation's clock. */
typedef gint64 (*ZelmWaveEditorClockFunc) (gpointer user_data);

/**
 * zelm_wave_editor_set_clock:
 * @editor: an editor
 * @func: (nullable): the time source, NULL for the frame clock's frame time
 * @user_data: passed to @func
 *
 * Replaces the time the morph animation reads at each frame (frames still
 * come from the frame clock), so that an animation can be replayed
 * exactly, e.g. by tests or when recording a video at a fixed rate.
 */
void zelm_wave_editor_set_clock (ZelmWaveEditor *editor, ZelmWaveEditorClockFunc func,
                                 gpointer user_data);

G_END_DECLS
