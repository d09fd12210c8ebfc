/* zelm-splash.cpp: the splash screen over the main window */
#include "zelm-window-private.h"

#define SPLASH_MS 3000
/* Where the version is drawn on the splash image: the centre of the text. */
#define SPLASH_TEXT_X 485.0
#define SPLASH_TEXT_Y 220.0

static gboolean
splash_draw (GtkWidget *area, cairo_t *cr, GdkPixbuf *image)
{
  if (image)
    {
      gdk_cairo_set_source_pixbuf (cr, image, 0, 0);
      cairo_paint (cr);
    }
  else
    {
      cairo_set_source_rgb (cr, 0.05, 0.08, 0.16);
      cairo_paint (cr);
    }

  PangoLayout *layout = gtk_widget_create_pango_layout (area, ZELM_VERSION);
  PangoFontDescription *font = pango_font_description_from_string ("Arial");
  pango_font_description_set_absolute_size (font, 22 * PANGO_SCALE);
  pango_layout_set_font_description (layout, font);
  pango_layout_set_alignment (layout, PANGO_ALIGN_CENTER);
  int w = 0, h = 0;
  pango_layout_get_pixel_size (layout, &w, &h);
  cairo_set_source_rgb (cr, 1, 1, 1);
  cairo_move_to (cr, SPLASH_TEXT_X - w / 2.0, SPLASH_TEXT_Y - h / 2.0);
  pango_cairo_show_layout (cr, layout);
  pango_font_description_free (font);
  g_object_unref (layout);
  return TRUE;
}

static void
splash_close (ZelmWindow *self)
{
  if (self->splash)
    gtk_widget_destroy (self->splash);
}

static gboolean
splash_timeout (gpointer data)
{
  auto *self = static_cast<ZelmWindow *> (data);
  self->splash_timeout = 0;
  splash_close (self);
  return G_SOURCE_REMOVE;
}

/* How long the splash stays: ZELMORA_SPLASH_MS overrides it, for slow
 * remote displays and for tests that drive the splash on a loaded machine. */
static guint
splash_ms (void)
{
  const char *env = g_getenv ("ZELMORA_SPLASH_MS");
  guint64 ms = 0;
  if (env && g_ascii_string_to_unsigned (env, 10, 1, G_MAXUINT, &ms, nullptr))
    return guint (ms);
  return SPLASH_MS;
}

/* The start-up splash stays its full time on screen, counted from when it
 * appears: a slow start must not eat it up. */
static gboolean
splash_mapped (GtkWidget *, GdkEvent *, ZelmWindow *self)
{
  if (!self->splash_timeout)
    self->splash_timeout = g_timeout_add (splash_ms (), splash_timeout, self);
  return FALSE;
}

static void
splash_destroyed (GtkWidget *, ZelmWindow *self)
{
  self->splash = nullptr;
  g_clear_handle_id (&self->splash_timeout, g_source_remove);
}

static gboolean
splash_button_press (GtkWidget *, GdkEvent *, ZelmWindow *self)
{
  splash_close (self);
  return TRUE;
}

/* A key closes the splash and still plays: the first key after start makes
 * sound.  Its release reaches the main window, which finds it by key code. */
static gboolean
splash_key_press (GtkWidget *, GdkEvent *event, ZelmWindow *self)
{
  splash_close (self);
  /* Shortcuts such as Ctrl+Q still work while it is shown. */
  guint mods = event->key.state & gtk_accelerator_get_default_mod_mask ();
  if (mods & ~GDK_SHIFT_MASK)
    gtk_window_activate_key (GTK_WINDOW (self), &event->key);
  else
    zelm_window_key_event (self, &event->key);
  return TRUE;
}

void
zelm_window_toggle_splash (ZelmWindow *self, gboolean startup)
{
  g_return_if_fail (ZELM_IS_WINDOW (self));
  /* Asking again while one is shown closes it. */
  if (self->splash)
    {
      splash_close (self);
      return;
    }

  g_autofree char *path = zelm_app_get_resource_path (ZELM_APP (self->app), "ui/zelmora-splash.png");
  g_autoptr (GError) err = nullptr;
  GdkPixbuf *image = gdk_pixbuf_new_from_file (path, &err);
  if (!image)
    g_message ("Splash image missing: %s", err->message);

  GtkWidget *win = gtk_window_new (GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title (GTK_WINDOW (win), "Zelmora");
  gtk_window_set_decorated (GTK_WINDOW (win), FALSE);
  gtk_window_set_resizable (GTK_WINDOW (win), FALSE);
  gtk_window_set_modal (GTK_WINDOW (win), TRUE);
  gtk_window_set_type_hint (GTK_WINDOW (win), GDK_WINDOW_TYPE_HINT_SPLASHSCREEN);
  gtk_window_set_transient_for (GTK_WINDOW (win), GTK_WINDOW (self));
  gtk_window_set_position (GTK_WINDOW (win), GTK_WIN_POS_CENTER_ON_PARENT);

  GtkWidget *area = gtk_drawing_area_new ();
  gtk_widget_set_size_request (area, image ? gdk_pixbuf_get_width (image) : 600,
                               image ? gdk_pixbuf_get_height (image) : 340);
  /* The image lives as long as the drawing area. */
  g_signal_connect_data (area, "draw", G_CALLBACK (splash_draw), image,
                         reinterpret_cast<GClosureNotify> (+[] (gpointer data, GClosure *) {
                           if (data)
                             g_object_unref (data);
                         }),
                         GConnectFlags (0));
  gtk_container_add (GTK_CONTAINER (win), area);

  gtk_widget_add_events (win, GDK_BUTTON_PRESS_MASK | GDK_KEY_PRESS_MASK);
  g_signal_connect (win, "button-press-event", G_CALLBACK (splash_button_press), self);
  g_signal_connect (win, "key-press-event", G_CALLBACK (splash_key_press), self);
  g_signal_connect (win, "destroy", G_CALLBACK (splash_destroyed), self);
  if (startup)
    g_signal_connect (win, "map-event", G_CALLBACK (splash_mapped), self);

  self->splash = win;
  gtk_widget_show_all (win);
}
