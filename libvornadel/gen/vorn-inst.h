/* vorn-inst.h: an instrument, the playable subtree of an instrument file */
#pragma once

#include <glib-object.h>

#include "vorn-mix.h"

G_BEGIN_DECLS

#define VORN_TYPE_INST            (vorn_inst_get_type ())
#define VORN_INST(obj)            (G_TYPE_CHECK_INSTANCE_CAST ((obj), VORN_TYPE_INST, VornInst))
#define VORN_INST_CLASS(klass)    (G_TYPE_CHECK_CLASS_CAST ((klass), VORN_TYPE_INST, VornInstClass))
#define VORN_IS_INST(obj)         (G_TYPE_CHECK_INSTANCE_TYPE ((obj), VORN_TYPE_INST))
#define VORN_IS_INST_CLASS(klass) (G_TYPE_CHECK_CLASS_TYPE ((klass), VORN_TYPE_INST))
#define VORN_INST_GET_CLASS(obj)  (G_TYPE_INSTANCE_GET_CLASS ((obj), VORN_TYPE_INST, VornInstClass))

typedef struct _VornInst VornInst;
typedef struct _VornInstClass VornInstClass;

/**
 * VornInst:
 *
 * A speaker mix whose children are the waves and filters of one playable
 * sound.  Properties "root-note" (the MIDI note that plays at the waves' own
 * pitch, default 69.0) and "category" (default "Electronic").
 */
struct _VornInst {
  VornMix parent_instance;
};

struct _VornInstClass {
  VornMixClass parent_class;
};

GType vorn_inst_get_type (void);

/* Returns: (transfer full): a new instrument without children. */
VornInst *vorn_inst_new (void);

/* Returns: (transfer full): a new instrument holding the "volume-attack",
 * "volume-release" and "signal-sine" preset waves, in this order. */
VornInst *vorn_inst_new_default (void);

/* Returns: the "root-note" of @inst, 69.0 on a wrong argument. */
double vorn_inst_get_root_note (VornInst *inst);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (VornInst, g_object_unref)

G_END_DECLS
