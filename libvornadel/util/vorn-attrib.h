/* vorn-attrib.h: attribute kinds, value states, sample formats and the
 * per-fragment value record that flows between generators */
#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

/* Samples per fragment: every generator renders this many per call. */
#define VORN_FRAGMENT_SIZE 64

typedef enum {
  VORN_ATTRIB_TYPE_NONE = 0,
  VORN_ATTRIB_TYPE_TIME = 1,
  VORN_ATTRIB_TYPE_PITCH = 2,
  VORN_ATTRIB_TYPE_VOLUME = 3,
  VORN_ATTRIB_TYPE_SIGNAL = 4,
  VORN_ATTRIB_TYPE_EFFECT1 = 5,
  VORN_ATTRIB_TYPE_EFFECT2 = 6,
  VORN_ATTRIB_TYPE_EFFECT3 = 7,
  VORN_ATTRIB_TYPE_EFFECT4 = 8,
  VORN_ATTRIB_TYPE_BALANCE = 9,
  VORN_ATTRIB_TYPE_LATITUDE = 10,
  VORN_ATTRIB_TYPE_SPEAKERS = 11,
  VORN_ATTRIB_TYPE_MORPH = 12,
  VORN_ATTRIB_TYPE_CONTROL = 13,
} VornAttribType;

#define VORN_ATTRIB_TYPE_COUNT 14

typedef enum {
  VORN_ATTRIB_STATE_UNSET = 0,
  VORN_ATTRIB_STATE_CONST = 1,
  VORN_ATTRIB_STATE_FIXED = 2,
  VORN_ATTRIB_STATE_DYNAMIC = 3,
} VornAttribState;

typedef enum {
  VORN_FORMAT_SINGLE = 0,
  VORN_FORMAT_DOUBLE = 1,
} VornFormat;

typedef enum {
  VORN_UNIT_BIPOLAR = 0,
  VORN_UNIT_UNIPOLAR = 1,
  VORN_UNIT_MSECS = 2,
  VORN_UNIT_RADIANS = 3,
} VornUnit;

#define VORN_TYPE_ATTRIB_TYPE (vorn_attrib_type_get_type ())
#define VORN_TYPE_ATTRIB_STATE (vorn_attrib_state_get_type ())
#define VORN_TYPE_FORMAT (vorn_format_get_type ())
#define VORN_TYPE_UNIT (vorn_unit_get_type ())

GType vorn_attrib_type_get_type (void);
GType vorn_attrib_state_get_type (void);
GType vorn_format_get_type (void);
GType vorn_unit_get_type (void);

/**
 * VornAttribVal:
 * @buffer: one fragment of samples in @format (64-byte aligned), or NULL for
 *   records that never hold per-sample data
 * @value: the constant value: a float in the first 4 bytes (single) or a double
 * @format: #VornFormat of @buffer and @value
 * @state: #VornAttribState; only DYNAMIC means the samples are in @buffer
 * @group_rest: for speaker groups, how many records of the group follow
 *
 * One attribute's value for one fragment.  Plain data: queues keep these in
 * contiguous arrays and generators hold bare pointers to them.
 */
typedef struct {
  gpointer buffer;
  union {
    float f;
    double d;
    guint64 bits;
  } value;
  guint8 format;
  guint8 state;
  guint8 group_rest;
} VornAttribVal;

/* Stores @value as a float; the state is DYNAMIC with a @buffer, else CONST. */
void vorn_attrib_val_init_float (VornAttribVal *val, gpointer buffer, float value);

/* Stores @value as a double; the state is DYNAMIC with a @buffer, else CONST. */
void vorn_attrib_val_init_double (VornAttribVal *val, gpointer buffer, double value);

/**
 * vorn_attrib_get_default_value:
 * @type: attribute type below %VORN_ATTRIB_TYPE_COUNT
 * @format: %VORN_FORMAT_DOUBLE selects the double table, anything else single
 *
 * Returns: (transfer none): the shared, read-only default record of @type
 *   (state FIXED), or NULL for an invalid @type.
 */
const VornAttribVal *vorn_attrib_get_default_value (VornAttribType type, VornFormat format);

G_END_DECLS
