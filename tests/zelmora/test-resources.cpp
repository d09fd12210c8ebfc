/* test-resources.cpp: the resource directory as the program uses it: the
 * icons it names, its artwork, its GTK theme, and a run without them */
#include "vorn-test-log.h"
#include "zelm-app-run.h"
#include "zelm-gui-test.h"

#include <algorithm>
#include <string>

using namespace zelm_test;

namespace {

/* Every icon name the program asks for.  Its own (zelm-) come from the
 * bundled theme, the standard ones from it or a theme it inherits. */
const char *const ICONS[] = {
  "zelm-file-vvi", "zelm-inst",
  "zelm-ctrl-vol", "zelm-ctrl-pitch", "zelm-ctrl-balance", "zelm-ctrl-morph", "zelm-ctrl-time",
  "zelm-vol-attack", "zelm-vol-release", "zelm-vol-mod",
  "zelm-pitch-attack", "zelm-pitch-release", "zelm-pitch-mod",
  "zelm-balance-attack", "zelm-balance-release", "zelm-balance-mod",
  "zelm-morph-attack", "zelm-morph-release", "zelm-morph-mod",
  "zelm-signal-sine", "zelm-signal-triangle", "zelm-signal-square",
  "zelm-signal-saw-up", "zelm-signal-saw-down",
  "zelm-polarity-auto", "zelm-polarity-uni", "zelm-polarity-bi",
  "zelm-morph-auto", "zelm-morph-show", "zelm-morph-hide",
  "zelm-ping-pong",
  "audio-x-generic", "audio-volume-muted", "media-record", "insert-object", "insert-text",
  "go-up", "go-down", "edit-copy", "edit-paste", "edit-cut", "edit-delete", "edit-find",
  "list-add", "list-remove", "media-playback-start", "media-playback-pause", "view-refresh",
};

std::string
resource (const char *rel)
{
  const char *dir = g_getenv ("ZELMORA_RESOURCE_DIR");
  return std::string (dir ? dir : "") + "/" + rel;
}

int
luma (Rgb p)
{
  return (2126 * p.r + 7152 * p.g + 722 * p.b) / 10000;
}

} // namespace

/* At the sizes menus (16) and the toolbar's menu buttons (24) show them:
 * found, loaded at that size, something drawn; our own in a light tone, as
 * the theme is dark. */
TEST (Resources, IconsLoad)
{
  g_autoptr (GtkIconTheme) theme = gtk_icon_theme_new ();
  gtk_icon_theme_prepend_search_path (theme, resource ("themes/icons").c_str ());
  gtk_icon_theme_set_custom_theme (theme, "elementary-Zelmora");
  const std::string own_dir = resource ("themes/icons/elementary-Zelmora/");
  for (const char *name : ICONS)
    for (int size : { 16, 24 })
      {
        SCOPED_TRACE (std::string (name) + " at " + std::to_string (size));
        const bool own = g_str_has_prefix (name, "zelm-");
        g_autoptr (GtkIconInfo) info
            = gtk_icon_theme_lookup_icon (theme, name, size, GtkIconLookupFlags (0));
        ASSERT_NE (info, nullptr);
        EXPECT_TRUE (!own || g_str_has_prefix (gtk_icon_info_get_filename (info), own_dir.c_str ()))
            << gtk_icon_info_get_filename (info);
        g_autoptr (GError) error = nullptr;
        g_autoptr (GdkPixbuf) pb = gtk_icon_info_load_icon (info, &error);
        ASSERT_NE (pb, nullptr) << error->message;
        /* A standard theme may offer the next size up instead. */
        if (own)
          {
            EXPECT_EQ (gdk_pixbuf_get_width (pb), size);
            EXPECT_EQ (gdk_pixbuf_get_height (pb), size);
          }
        ASSERT_EQ (gdk_pixbuf_get_n_channels (pb), 4);
        const guint8 *px = gdk_pixbuf_read_pixels (pb);
        int inked = 0;
        long sum = 0;
        for (int y = 0; y < gdk_pixbuf_get_height (pb); y++)
          for (int x = 0; x < gdk_pixbuf_get_width (pb); x++)
            if (px[y * gdk_pixbuf_get_rowstride (pb) + x * 4 + 3] >= 128)
              {
                inked++;
                sum += luma (pixel (pb, x, y));
              }
        EXPECT_GE (inked, own ? size * size / 20 : 1);
        EXPECT_GE (own && inked ? sum / inked : 255, 140);
      }
}

/* The artwork at the size the program lays out, and dark where the program
 * writes on it (the splash's version, white, centred at (485, 220)). */
TEST (Resources, ArtworkRenders)
{
  static const struct {
    const char *path;
    int width, height;
    GdkRectangle dark;
  } images[] = {
    { "ui/zelmora-splash.png", 600, 340, { 485 - 60, 220 - 16, 121, 33 } },
    { "ui/zelmora-header.png", 480, 120, { 0, 0, 0, 0 } },
  };
  for (const auto &img : images)
    {
      SCOPED_TRACE (img.path);
      g_autoptr (GError) error = nullptr;
      g_autoptr (GdkPixbuf) pb = gdk_pixbuf_new_from_file (resource (img.path).c_str (), &error);
      ASSERT_NE (pb, nullptr) << error->message;
      EXPECT_EQ (gdk_pixbuf_get_width (pb), img.width);
      EXPECT_EQ (gdk_pixbuf_get_height (pb), img.height);
      int brightest = 0;
      for (int y = img.dark.y; y < img.dark.y + img.dark.height; y++)
        for (int x = img.dark.x; x < img.dark.x + img.dark.width; x++)
          brightest = std::max (brightest, luma (pixel (pb, x, y)));
      EXPECT_LT (brightest, 80);
    }
}

/* Without its resource directory the program still runs and says which
 * file it missed. */
TEST (Resources, MissingDirectoryReported)
{
  const std::string real = g_getenv ("ZELMORA_RESOURCE_DIR");
  const std::string missing = scratch_dir () + "/no-such-dir";
  g_setenv ("ZELMORA_RESOURCE_DIR", missing.c_str (), TRUE);
  auto run = run_app ({ "--disable-audio" }, [] (ZelmAppGui *) {});
  g_setenv ("ZELMORA_RESOURCE_DIR", real.c_str (), TRUE);
  EXPECT_EQ (run.status, 0);
  EXPECT_WARNING (("Failed to load theme '" + missing + "/themes/").c_str ());
}
