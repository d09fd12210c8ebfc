/* vorn-error.cpp: the engine's error domain and the software name kept for
 * saved files; bottom layer, so that every part of the engine can use them */
#include "vorn-init.h"

const char *vorn_app_name = nullptr;

G_DEFINE_QUARK (libvornadel-error-quark, vorn_error)

G_DEFINE_ENUM_TYPE (VornError, vorn_error,
  G_DEFINE_ENUM_VALUE (VORN_ERROR_GENERAL, "general"),
  G_DEFINE_ENUM_VALUE (VORN_ERROR_INVALID_DATA, "invalid-data"))
