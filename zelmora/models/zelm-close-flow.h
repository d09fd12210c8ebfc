/* zelm-close-flow.h: closing files that have unsaved changes: ask, save
 * each one (asking a name for those without a place on disk), then close */
#pragma once

#include "vornadel.h"

G_BEGIN_DECLS

typedef struct _ZelmCloseFlow ZelmCloseFlow;

typedef enum {
  ZELM_CLOSE_SAVE,    /* save every file, then close */
  ZELM_CLOSE_DISCARD, /* close without saving */
  ZELM_CLOSE_CANCEL,  /* close nothing */
} ZelmCloseAnswer;

/* What the flow asks of its owner (the window shows dialogs; tests script
 * the answers).  @ask and @save_as answer later, or at once, through
 * zelm_close_flow_answer and zelm_close_flow_saved. */
typedef struct {
  /* Ask whether to save @files (not empty) before closing them. */
  void (*ask) (ZelmCloseFlow *flow, GList *files, gpointer data);
  /* Whether @file still has unsaved changes (a save in between may have
   * cleared them). */
  gboolean (*modified) (VornFile *file, gpointer data);
  /* Save @file under its own name.  Returns: TRUE on success. */
  gboolean (*save) (VornFile *file, gpointer data);
  /* Ask a name for @file and save it there. */
  void (*save_as) (ZelmCloseFlow *flow, VornFile *file, gpointer data);
} ZelmCloseFlowIface;

/* Called once at the end: @go tells whether the close goes ahead. */
typedef void (*ZelmCloseDone) (gboolean go, gpointer data);

/* Starts closing @files (the flow keeps its own references): with none, or
 * none modified, @done gets TRUE at once; otherwise @iface->ask is asked.
 * The flow frees itself when it calls @done. */
void zelm_close_flow_start (GList *files, const ZelmCloseFlowIface *iface, gpointer data,
                            ZelmCloseDone done, gpointer done_data);

/* The answer to @iface->ask; @flow is gone after this call. */
void zelm_close_flow_answer (ZelmCloseFlow *flow, ZelmCloseAnswer answer);

/* The end of @iface->save_as: @saved FALSE (cancelled or failed) stops the
 * close.  @flow may be gone after this call. */
void zelm_close_flow_saved (ZelmCloseFlow *flow, gboolean saved);

/* Returns: TRUE when @file has a place on disk (an absolute file name). */
gboolean zelm_close_flow_has_path (VornFile *file);

G_END_DECLS
