/* zelm-gui-enums.h: enumerations of the application's widgets */
#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

typedef enum {
  ZELM_PIANO_POINTER_PRIORITY_LOWEST = 0,
  ZELM_PIANO_POINTER_PRIORITY_LOWER = 40,
  ZELM_PIANO_POINTER_PRIORITY_LOW = 80,
  ZELM_PIANO_POINTER_PRIORITY_NORMAL = 120,
  ZELM_PIANO_POINTER_PRIORITY_HIGH = 160,
  ZELM_PIANO_POINTER_PRIORITY_HIGHER = 200,
  ZELM_PIANO_POINTER_PRIORITY_HIGHEST = 255,
} ZelmPianoPointerPriority;

#define ZELM_TYPE_PIANO_POINTER_PRIORITY (zelm_piano_pointer_priority_get_type ())
GType zelm_piano_pointer_priority_get_type (void);

G_END_DECLS
