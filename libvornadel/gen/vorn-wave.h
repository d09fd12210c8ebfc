/* vorn-wave.h: the curve-driven wave node (oscillator, envelope, modulator or
 * control) and its factory presets */
#pragma once

#include <glib-object.h>

#include "vorn-attrib.h"
#include "vorn-curve.h"
#include "vorn-gen.h"
#include "vorn-morph.h"
#include "vorn-node.h"

G_BEGIN_DECLS

/**
 * VornWaveTrigMode:
 * @VORN_WAVE_TRIG_MODE_PRESS: plays from the voice's start, ignoring note-off
 * @VORN_WAVE_TRIG_MODE_PRESSED: plays until note-off, then holds its value
 * @VORN_WAVE_TRIG_MODE_RELEASE: waits for note-off, then plays
 */
typedef enum {
  VORN_WAVE_TRIG_MODE_PRESS = 0,
  VORN_WAVE_TRIG_MODE_PRESSED = 1,
  VORN_WAVE_TRIG_MODE_RELEASE = 2,
} VornWaveTrigMode;

/**
 * VornWavePosMode:
 *
 * Playback position mode; stored and saved, no rendering depends on it.
 */
typedef enum {
  VORN_WAVE_POS_MODE_RELATIVE = 0,
  VORN_WAVE_POS_MODE_ABSOLUTE = 1,
} VornWavePosMode;

/**
 * VornWavePlayMode:
 * @VORN_WAVE_PLAY_MODE_ONCE: runs the curve once, then holds its end value
 * @VORN_WAVE_PLAY_MODE_STOP: runs the curve once, then ends the voice
 * @VORN_WAVE_PLAY_MODE_LOOP: wraps around at the end of the curve
 */
typedef enum {
  VORN_WAVE_PLAY_MODE_ONCE = 0,
  VORN_WAVE_PLAY_MODE_STOP = 1,
  VORN_WAVE_PLAY_MODE_LOOP = 2,
} VornWavePlayMode;

/**
 * VornWaveKind:
 *
 * What a wave does, derived from its y attribute, destination attribute,
 * trigger mode and play mode (read-only "kind" property).
 */
typedef enum {
  VORN_WAVE_KIND_UNDEFINED = 0,
  VORN_WAVE_KIND_CTRL_VOLUME = 1,
  VORN_WAVE_KIND_CTRL_PITCH = 2,
  VORN_WAVE_KIND_CTRL_BALANCE = 3,
  VORN_WAVE_KIND_CTRL_MORPH = 4,
  VORN_WAVE_KIND_CTRL_TIME = 5,
  VORN_WAVE_KIND_VOLUME_ATTACK = 6,
  VORN_WAVE_KIND_VOLUME_RELEASE = 7,
  VORN_WAVE_KIND_VOLUME_MOD = 8,
  VORN_WAVE_KIND_PITCH_ATTACK = 9,
  VORN_WAVE_KIND_PITCH_RELEASE = 10,
  VORN_WAVE_KIND_PITCH_MOD = 11,
  VORN_WAVE_KIND_BALANCE_ATTACK = 12,
  VORN_WAVE_KIND_BALANCE_RELEASE = 13,
  VORN_WAVE_KIND_BALANCE_MOD = 14,
  VORN_WAVE_KIND_MORPH_ATTACK = 15,
  VORN_WAVE_KIND_MORPH_RELEASE = 16,
  VORN_WAVE_KIND_MORPH_MOD = 17,
  VORN_WAVE_KIND_SIGNAL = 18,
} VornWaveKind;

/**
 * VornWavePreset:
 *
 * The factory waves the editor offers; the registered nicks ("signal-sine",
 * "volume-attack", ...) name them in code and configuration.
 */
typedef enum {
  VORN_WAVE_PRESET_SIGNAL_SINE = 0,
  VORN_WAVE_PRESET_SIGNAL_TRIANGLE = 1,
  VORN_WAVE_PRESET_SIGNAL_SQUARE = 2,
  VORN_WAVE_PRESET_SIGNAL_SAW_UP = 3,
  VORN_WAVE_PRESET_SIGNAL_SAW_DOWN = 4,
  VORN_WAVE_PRESET_VOLUME_ATTACK = 5,
  VORN_WAVE_PRESET_VOLUME_RELEASE = 6,
  VORN_WAVE_PRESET_VOLUME_MODULATION = 7,
  VORN_WAVE_PRESET_PITCH_ATTACK = 8,
  VORN_WAVE_PRESET_PITCH_RELEASE = 9,
  VORN_WAVE_PRESET_PITCH_MODULATION = 10,
  VORN_WAVE_PRESET_BALANCE_ATTACK = 11,
  VORN_WAVE_PRESET_BALANCE_RELEASE = 12,
  VORN_WAVE_PRESET_BALANCE_MODULATION = 13,
  VORN_WAVE_PRESET_MORPH_ATTACK = 14,
  VORN_WAVE_PRESET_MORPH_RELEASE = 15,
  VORN_WAVE_PRESET_MORPH_MODULATION = 16,
} VornWavePreset;

#define VORN_WAVE_PRESET_COUNT 17

/* A band-limited oscillator (property "anti-alias") sounds this many frames
 * later than its raw curve would: the corrections of a jump reach as far
 * before it as after it. */
#define VORN_WAVE_ANTIALIAS_DELAY 16

#define VORN_TYPE_WAVE_TRIG_MODE (vorn_wave_trig_mode_get_type ())
#define VORN_TYPE_WAVE_POS_MODE  (vorn_wave_pos_mode_get_type ())
#define VORN_TYPE_WAVE_PLAY_MODE (vorn_wave_play_mode_get_type ())
#define VORN_TYPE_WAVE_KIND      (vorn_wave_kind_get_type ())
#define VORN_TYPE_WAVE_PRESET    (vorn_wave_preset_get_type ())

GType vorn_wave_trig_mode_get_type (void);
GType vorn_wave_pos_mode_get_type (void);
GType vorn_wave_play_mode_get_type (void);
GType vorn_wave_kind_get_type (void);
GType vorn_wave_preset_get_type (void);

#define VORN_TYPE_WAVE            (vorn_wave_get_type ())
#define VORN_WAVE(obj)            (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_WAVE, VornWave))
#define VORN_WAVE_CLASS(klass)    (G_TYPE_CHECK_CLASS_CAST ((klass), VORN_TYPE_WAVE, VornWaveClass))
#define VORN_IS_WAVE(obj)         (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_WAVE))
#define VORN_IS_WAVE_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), VORN_TYPE_WAVE))
#define VORN_WAVE_GET_CLASS(obj)  (G_TYPE_INSTANCE_GET_CLASS ((obj), VORN_TYPE_WAVE, VornWaveClass))

typedef struct _VornWave VornWave;
typedef struct _VornWaveClass VornWaveClass;

/**
 * VornWave:
 * @curve: (nullable): the waveform; NULL for a control wave
 * @morph: (nullable): morph curves of single coordinates of @curve (owned);
 *   when both are set, @morph->curve is @curve
 * @x_scale: "x-scale"
 * @y_scale: "y-scale"
 * @y_ofs: "y-ofs"
 * @init_value: "init-value", the initial value of a control input
 * @x_attrib: "x-attrib", the attribute that advances the position
 * @y_attrib: "y-attrib", the amplitude attribute
 * @dest_attrib: "dest-attrib", the attribute written
 * @trig_mode: "trig-mode", a #VornWaveTrigMode
 * @pos_mode: "pos-mode", a #VornWavePosMode
 * @play_mode: "play-mode", a #VornWavePlayMode
 * @dest_op: "dest-op", a #VornWaveOp
 * @kind: "kind", derived
 * @anti_alias: "anti-alias": an oscillator (a wave whose x input is the
 *   pitch) plays band-limited
 *
 * The fields are readable by generators and editors; change them through
 * the properties and functions below so that notifications and the derived
 * kind stay right.
 */
struct _VornWave {
  VornNode parent_instance;

  VornCurve *curve;
  VornMorph *morph;
  double x_scale;
  double y_scale;
  double y_ofs;
  double init_value;
  VornAttribType x_attrib;
  VornAttribType y_attrib;
  VornAttribType dest_attrib;
  guint8 trig_mode;
  guint8 pos_mode;
  guint8 play_mode;
  guint8 dest_op;
  VornWaveKind kind;
  gboolean anti_alias;
};

struct _VornWaveClass {
  VornNodeClass parent_class;
};

GType vorn_wave_get_type (void);

/**
 * vorn_wave_new:
 * @n_points: number of points of the new curve
 *
 * Returns: (transfer full): a new wave holding the only reference to a new
 *   curve of @n_points points whose coordinates the caller sets
 */
VornWave *vorn_wave_new (guint n_points);

/**
 * vorn_wave_new_from_curve:
 * @curve: the waveform; the wave takes its own reference
 *
 * Returns: (transfer full): a new wave with @curve, NULL when @curve is not a
 *   curve
 */
VornWave *vorn_wave_new_from_curve (VornCurve *curve);

/**
 * vorn_wave_new_control:
 * @name: the wave's name
 * @dest_attrib: attribute the control acts on
 * @dest_op: how the control's value combines with @dest_attrib
 * @init_value: initial control value
 *
 * Returns: (transfer full): a new curveless wave whose y input is a control
 *   and which has no x input
 */
VornWave *vorn_wave_new_control (const char *name, VornAttribType dest_attrib,
                                 VornWaveOp dest_op, double init_value);

/**
 * vorn_wave_new_control_default:
 * @name: the wave's name
 * @dest_attrib: attribute the control acts on
 *
 * vorn_wave_new_control() with the natural neutral setting: multiply by 1.0
 * for time, pitch and volume, add 0.0 for every other attribute.
 *
 * Returns: (transfer full): a new control wave
 */
VornWave *vorn_wave_new_control_default (const char *name, VornAttribType dest_attrib);

/**
 * vorn_wave_new_from_preset:
 * @preset: a #VornWavePreset
 *
 * Returns: (transfer full) (nullable): a new wave set up as @preset and named
 *   after it, NULL for an unknown preset
 */
VornWave *vorn_wave_new_from_preset (VornWavePreset preset);

/* Returns: (transfer none): the display name of @preset ("Sine Wave"), NULL
 * for an unknown preset. */
const char *vorn_wave_preset_get_name (VornWavePreset preset);

/* Returns: (transfer none): the short identifier of @preset ("sine-wave"),
 * NULL for an unknown preset. */
const char *vorn_wave_preset_get_nick (VornWavePreset preset);

/**
 * vorn_wave_insert_point:
 * @wave: a wave with a curve
 * @x: X of the new point, inside the curve
 * @y: Y of the new point
 *
 * Inserts a sharp curve point and moves the morph entries of the
 * coordinates that follow it along.
 *
 * Returns: the index of the new point, or -1
 */
int vorn_wave_insert_point (VornWave *wave, double x, double y);

/**
 * vorn_wave_insert_point_by_index:
 * @wave: a wave with a curve
 * @pointIndex: the point before which a zeroed point is inserted
 *
 * As vorn_curve_insert_point_by_index(), keeping the morph entries on their
 * coordinates.
 */
void vorn_wave_insert_point_by_index (VornWave *wave, int pointIndex);

/**
 * vorn_wave_delete_point:
 * @wave: a wave whose curve has more than 2 points
 * @endpointIndex: an interior point index
 *
 * Deletes the point with its handles and their morph entries; the morph
 * entries of later coordinates move down with them.
 */
void vorn_wave_delete_point (VornWave *wave, int endpointIndex);

/**
 * vorn_wave_insert_morph_point:
 * @wave: a wave with a curve
 * @pointIndex: coordinate index in the curve
 * @horizontal: TRUE to morph the X coordinate, FALSE for Y
 * @morphX: morph position, 0 < @morphX <= 1
 * @morphY: coordinate value at @morphX
 * @point_out: (out) (optional): the morph entry
 *
 * Adds a point to the coordinate's morph curve (creating the wave's morph
 * and the entry as needed) and notifies "morph" on success.
 *
 * Returns: the point's index in the morph curve, or -1
 */
int vorn_wave_insert_morph_point (VornWave *wave, guint pointIndex, gboolean horizontal,
                                  double morphX, double morphY,
                                  VornMorphPoint **point_out);

/* Removes a point of a coordinate's morph curve (vorn_morph_remove_point());
 * notifies "morph" when something was removed. */
void vorn_wave_remove_morph_point (VornWave *wave, guint index, gboolean horizontal,
                                   guint point);

/* Removes a coordinate's morph entry; notifies "morph" when there was one. */
void vorn_wave_remove_morph_point_curve (VornWave *wave, guint index, gboolean horizontal);

/* Drops the whole morph; notifies "morph" when there was one. */
void vorn_wave_remove_morph (VornWave *wave);

/**
 * vorn_wave_find_morph_point:
 * @wave: a wave
 * @index: coordinate index
 * @horizontal: the coordinate's X (TRUE) or Y (FALSE) morph
 *
 * Returns: (transfer none) (nullable): the coordinate's morph entry, NULL
 *   when there is none or the wave has no morph.
 */
VornMorphPoint *vorn_wave_find_morph_point (VornWave *wave, guint index, gboolean horizontal);

/* vorn_morph_find_point_index() on the wave's morph; FALSE without one. */
gboolean vorn_wave_find_morph_point_index (VornWave *wave, guint index, gboolean horizontal,
                                           guint point, VornMorphPoint **point_out);

/* vorn_morph_find_point_position() on the wave's morph; -1 without one. */
int vorn_wave_find_morph_point_position (VornWave *wave, guint index, gboolean horizontal,
                                         double position, VornMorphPoint **point_out);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornWave, g_object_unref)

G_END_DECLS
