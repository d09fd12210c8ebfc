/* test-resources.cpp: the resource directory as the program uses it: the
 * icons it names, and a run without them */
#include "vorn-test-log.h"
#include "zelm-app-run.h"
#include "zelm-gui-test.h"

#include <string>

using namespace zelm_test;

namespace {

/* Every icon name the program asks for that the bundled theme provides. */
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
  "list-add", "list-remove", "media-playback-start", "media-playback-pause",
};

std::string
resource (const char *rel)
{
  const char *dir = g_getenv ("ZELMORA_RESOURCE_DIR");
  return std::string (dir ? dir : "") + "/" + rel;
}

} // namespace

/* At the size menus show them: found in the bundled theme, loaded at that
 * size, something drawn. */
TEST (Resources, IconsLoad)
{
  g_autoptr (GtkIconTheme) theme = gtk_icon_theme_new ();
  gtk_icon_theme_prepend_search_path (theme, resource ("themes/icons").c_str ());
  gtk_icon_theme_set_custom_theme (theme, "elementary-Zelmora");
  const std::string own_dir = resource ("themes/icons/elementary-Zelmora/");
  for (const char *name : ICONS)
    {
      SCOPED_TRACE (name);
      g_autoptr (GtkIconInfo) info = gtk_icon_theme_lookup_icon (theme, name, 16, GtkIconLookupFlags (0));
      ASSERT_NE (info, nullptr);
      EXPECT_TRUE (g_str_has_prefix (gtk_icon_info_get_filename (info), own_dir.c_str ()))
          << gtk_icon_info_get_filename (info);
      g_autoptr (GError) error = nullptr;
      g_autoptr (GdkPixbuf) pb = gtk_icon_info_load_icon (info, &error);
      ASSERT_NE (pb, nullptr) << error->message;
      EXPECT_EQ (gdk_pixbuf_get_width (pb), 16);
      EXPECT_EQ (gdk_pixbuf_get_height (pb), 16);
      ASSERT_EQ (gdk_pixbuf_get_n_channels (pb), 4);
      int inked = 0, luma = 0;
      for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
          if (gdk_pixbuf_read_pixels (pb)[y * gdk_pixbuf_get_rowstride (pb) + x * 4 + 3] >= 128)
            {
              const Rgb p = pixel (pb, x, y);
              inked++;
              luma += (2126 * p.r + 7152 * p.g + 722 * p.b) / 10000;
            }
      EXPECT_GE (inked, 16 * 16 / 20);
      /* Our own (zelm-) in a light tone, as the theme is dark. */
      EXPECT_GE (g_str_has_prefix (name, "zelm-") && inked ? luma / inked : 255, 140);
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
