/* zelm-value-text.h: numbers as the user reads and types them, in the unit
 * of the property they belong to, free of any display */
#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

/**
 * ZelmValueUnit:
 * @ZELM_VALUE_UNIT_NONE: a plain number (counts, ids, note numbers)
 * @ZELM_VALUE_UNIT_FACTOR: a plain factor; also takes "x" and "%"
 * @ZELM_VALUE_UNIT_HZ: a frequency or rate in Hz; a typed time gives its
 *   reciprocal ("10 ms" is 100 Hz)
 * @ZELM_VALUE_UNIT_SECONDS: a time in seconds, shown in s or ms
 * @ZELM_VALUE_UNIT_DB: a level that is itself in decibels
 * @ZELM_VALUE_UNIT_GAIN: a linear gain, shown in decibels; takes a plain
 *   factor or "-6 dB"
 * @ZELM_VALUE_UNIT_SEMITONES: an interval in semitones; also takes octaves
 *
 * What a numeric property's value means, for showing and typing it.
 */
typedef enum {
  ZELM_VALUE_UNIT_NONE,
  ZELM_VALUE_UNIT_FACTOR,
  ZELM_VALUE_UNIT_HZ,
  ZELM_VALUE_UNIT_SECONDS,
  ZELM_VALUE_UNIT_DB,
  ZELM_VALUE_UNIT_GAIN,
  ZELM_VALUE_UNIT_SEMITONES,
} ZelmValueUnit;

#define ZELM_VALUE_UNIT_LAST ZELM_VALUE_UNIT_SEMITONES

/**
 * zelm_value_text_format:
 * @value: the value
 * @unit: its unit
 * @integer: the value is a whole number (shown without decimals)
 * @digits: significant digits (at least 1; 4 reads well, 10 keeps a
 *   double's worth for editing)
 *
 * Returns: (transfer full): @value as text in @unit: "440 Hz", "2 kHz",
 *   "25 ms", "-6.02 dB", "12 st", "0.707".
 */
char *zelm_value_text_format (double value, ZelmValueUnit unit, gboolean integer, int digits);

/**
 * zelm_value_text_parse:
 * @text: what the user typed: a number ("300", "1.5e3", "-0.25") with an
 *   optional metric prefix ("2k", "5m") and unit ("2 kHz", "-6 dB")
 * @unit: the unit of the value it is for
 * @integer: the value must be a whole number
 * @min, @max: the value's range
 * @value: (out): the value, set only on success
 * @error: (out) (optional) (transfer full): why the text is refused, one
 *   short sentence for the user, set only on failure
 *
 * Returns: TRUE when @text gives a value within @min..@max.
 */
gboolean zelm_value_text_parse (const char *text, ZelmValueUnit unit, gboolean integer,
                                double min, double max, double *value, char **error);

/**
 * zelm_value_unit_for:
 * @object: an object being edited (a node or anything else)
 * @property: the name of one of its numeric properties
 *
 * The unit of @property: a table keyed by node type and property name
 * settles it, partly from the node's own attributes (a wave writing volume
 * by multiplication works in dB, one whose output feeds a filter's cutoff
 * in Hz).
 */
ZelmValueUnit zelm_value_unit_for (GObject *object, const char *property);

/**
 * zelm_value_text_attrib_label:
 * @attrib: a #VornAttribType value
 * @context: (nullable): the node whose attribute choice is shown, a #VornNode
 *
 * Returns: (transfer full): the attribute's name, and for the
 *   general-purpose effects what reads them within @context's instrument,
 *   other than @context itself: "Effect 1 → Filter cutoff"; the plain name
 *   when nothing reads it.
 */
char *zelm_value_text_attrib_label (int attrib, GObject *context);

G_END_DECLS
