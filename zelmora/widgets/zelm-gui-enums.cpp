/* zelm-gui-enums.cpp: enumerations of the application's widgets */
#include "zelm-gui-enums.h"

GType
zelm_piano_pointer_priority_get_type (void)
{
  static gsize type_id = 0;
  if (g_once_init_enter (&type_id))
    {
      static const GEnumValue values[] = {
        { ZELM_PIANO_POINTER_PRIORITY_LOWEST, "ZELM_PIANO_POINTER_PRIORITY_LOWEST", "lowest" },
        { ZELM_PIANO_POINTER_PRIORITY_LOWER, "ZELM_PIANO_POINTER_PRIORITY_LOWER", "lower" },
        { ZELM_PIANO_POINTER_PRIORITY_LOW, "ZELM_PIANO_POINTER_PRIORITY_LOW", "low" },
        { ZELM_PIANO_POINTER_PRIORITY_NORMAL, "ZELM_PIANO_POINTER_PRIORITY_NORMAL", "normal" },
        { ZELM_PIANO_POINTER_PRIORITY_HIGH, "ZELM_PIANO_POINTER_PRIORITY_HIGH", "high" },
        { ZELM_PIANO_POINTER_PRIORITY_HIGHER, "ZELM_PIANO_POINTER_PRIORITY_HIGHER", "higher" },
        { ZELM_PIANO_POINTER_PRIORITY_HIGHEST, "ZELM_PIANO_POINTER_PRIORITY_HIGHEST", "highest" },
        { 0, nullptr, nullptr },
      };
      GType t = g_enum_register_static ("ZelmPianoPointerPriority", values);
      g_once_init_leave (&type_id, t);
    }
  return type_id;
}
