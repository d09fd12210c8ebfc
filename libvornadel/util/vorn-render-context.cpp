/* vorn-render-context.cpp: defaults and the owner link of render contexts */
#include "vorn-render-context.h"

G_DEFINE_QUARK (vorn-render-context, vorn_render_context)

void
vorn_render_context_init (VornRenderContext *ctx)
{
  g_return_if_fail (ctx != NULL);

  *ctx = VornRenderContext ();
  ctx->sample_rate = 48000.0;
  ctx->speaker_count = 2;
  ctx->max_voices = 100;
  ctx->cores = 1;
  ctx->format = VORN_FORMAT_SINGLE;
  ctx->simd = VORN_SIMD_SSE2;
}

void
vorn_render_context_attach (gpointer owner, const VornRenderContext *ctx)
{
  g_return_if_fail (G_IS_OBJECT (owner));

  g_object_set_qdata (G_OBJECT (owner), vorn_render_context_quark (),
                      const_cast<VornRenderContext *> (ctx));
}

const VornRenderContext *
vorn_render_context_lookup (gpointer owner)
{
  static const VornRenderContext *defaults = [] {
    static VornRenderContext ctx;
    vorn_render_context_init (&ctx);
    return &ctx;
  }();

  gpointer ctx = owner && G_IS_OBJECT (owner)
                   ? g_object_get_qdata (G_OBJECT (owner), vorn_render_context_quark ())
                   : nullptr;
  return ctx ? static_cast<const VornRenderContext *> (ctx) : defaults;
}

static guint edit_serial;

guint
vorn_util_edit_serial (void)
{
  return guint (g_atomic_int_get (reinterpret_cast<gint *> (&edit_serial)));
}

void
vorn_util_edit_serial_bump (void)
{
  g_atomic_int_inc (reinterpret_cast<gint *> (&edit_serial));
}
