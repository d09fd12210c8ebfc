/* vorn-init.h: engine start-up, error domain and property flags */
#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

/* User flag bits on the engine's GParamSpecs. */
/* Never shown by the property editor. */
#define VORN_PARAM_HIDDEN  (1 << G_PARAM_USER_SHIFT)
/* Takes effect only after the synthesizer is restarted. */
#define VORN_PARAM_RESTART (1 << (G_PARAM_USER_SHIFT + 1))
/* Saved to and loaded from the configuration file. */
#define VORN_PARAM_CONFIG  (1 << (G_PARAM_USER_SHIFT + 2))

/**
 * VornError:
 * @VORN_ERROR_GENERAL: a failure without a more specific code
 * @VORN_ERROR_INVALID_DATA: input data (JSON, files) could not be used
 *
 * Codes of the engine's error domain.
 */
typedef enum {
  VORN_ERROR_GENERAL = 0,
  VORN_ERROR_INVALID_DATA = 1,
} VornError;

#define VORN_ERROR (vorn_error_quark ())
#define VORN_TYPE_ERROR (vorn_error_get_type ())

GQuark vorn_error_quark (void);
GType vorn_error_get_type (void);

/* The software name and version given to vorn_init(); NULL before it. */
extern const char *vorn_app_name;

/**
 * vorn_init:
 * @software: software name and version, e.g. "Zelmora 0.9.0"
 *
 * Initialises the engine once per process: keeps a copy of @software (written
 * into the "software-created" and "software-edited" members of saved files)
 * and registers the engine's types.  Calling it again replaces the string.
 */
void vorn_init (const char *software);

G_END_DECLS
