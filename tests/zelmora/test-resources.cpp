/* test-resources.cpp: the resource directory as the program uses it: the
 * bundled icon theme, the artwork, and the GTK theme drawn on the X server */
#include "zelm-gui-test.h"

#include "vorn-test-log.h"

#include <algorithm>
#include <string>

using namespace zelm_test;

namespace {

/* Every icon name of our own that the program asks for: node kinds, tree and
 * menu entries, the curve editor's toolbar and its enumeration menus. */
const char *const OWN_ICONS[] = {
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
};

/* Standard names the program uses; the bundled theme or one it inherits
 * must have them. */
const char *const STANDARD_ICONS[] = {
  "audio-x-generic", "audio-volume-muted", "media-record", "insert-object", "insert-text",
  "go-up", "go-down", "edit-copy", "edit-paste", "edit-cut", "edit-delete", "edit-find",
  "list-add", "list-remove", "media-playback-start", "media-playback-pause",
};

/* Menus show icons at 16 pixels, the toolbar's menu buttons at 24. */
const int ICON_SIZES[] = { 16, 24 };

std::string
resource (const char *rel)
{
  const char *dir = g_getenv ("ZELMORA_RESOURCE_DIR");
  return std::string (dir ? dir : "") + "/" + rel;
}

int
luma (guint8 r, guint8 g, guint8 b)
{
  return (2126 * r + 7152 * g + 722 * b) / 10000;
}

int
luma (Rgb p)
{
  return luma (p.r, p.g, p.b);
}

/* A fresh icon theme set up the way the program sets up the default one. */
GtkIconTheme *
bundled_icon_theme ()
{
  GtkIconTheme *theme = gtk_icon_theme_new ();
  gtk_icon_theme_prepend_search_path (theme, resource ("themes/icons").c_str ());
  gtk_icon_theme_set_custom_theme (theme, "elementary-Zelmora");
  return theme;
}

struct InkStats {
  int inked = 0;    /* pixels with alpha of at least a half */
  int mean_luma = 0; /* over the inked pixels */
};

InkStats
ink (GdkPixbuf *pb)
{
  InkStats s;
  if (gdk_pixbuf_get_n_channels (pb) != 4)
    return s;
  const guint8 *px = gdk_pixbuf_read_pixels (pb);
  int stride = gdk_pixbuf_get_rowstride (pb);
  long sum = 0;
  for (int y = 0; y < gdk_pixbuf_get_height (pb); y++)
    for (int x = 0; x < gdk_pixbuf_get_width (pb); x++)
      {
        const guint8 *p = px + y * stride + x * 4;
        if (p[3] < 128)
          continue;
        s.inked++;
        sum += luma (p[0], p[1], p[2]);
      }
  s.mean_luma = s.inked ? int (sum / s.inked) : 0;
  return s;
}

TEST (Resources, OwnIconsComeFromTheBundledThemeAndReadOnDark)
{
  g_autoptr (GtkIconTheme) theme = bundled_icon_theme ();
  const std::string dir = resource ("themes/icons/elementary-Zelmora/");
  for (const char *name : OWN_ICONS)
    for (int size : ICON_SIZES)
      {
        SCOPED_TRACE (std::string (name) + " at " + std::to_string (size));
        g_autoptr (GtkIconInfo) info
            = gtk_icon_theme_lookup_icon (theme, name, size, GtkIconLookupFlags (0));
        ASSERT_NE (info, nullptr);
        EXPECT_EQ (std::string (gtk_icon_info_get_filename (info)).rfind (dir, 0), 0u)
            << gtk_icon_info_get_filename (info);
        g_autoptr (GError) error = nullptr;
        g_autoptr (GdkPixbuf) pb = gtk_icon_info_load_icon (info, &error);
        ASSERT_NE (pb, nullptr) << error->message;
        EXPECT_EQ (gdk_pixbuf_get_width (pb), size);
        EXPECT_EQ (gdk_pixbuf_get_height (pb), size);
        /* Something is drawn, and in a light tone: the theme is dark. */
        InkStats s = ink (pb);
        EXPECT_GE (s.inked, size * size / 20);
        EXPECT_GE (s.mean_luma, 140);
      }
}

TEST (Resources, StandardIconsResolve)
{
  g_autoptr (GtkIconTheme) theme = bundled_icon_theme ();
  for (const char *name : STANDARD_ICONS)
    {
      SCOPED_TRACE (name);
      g_autoptr (GtkIconInfo) info
          = gtk_icon_theme_lookup_icon (theme, name, 16, GtkIconLookupFlags (0));
      ASSERT_NE (info, nullptr);
      g_autoptr (GdkPixbuf) pb = gtk_icon_info_load_icon (info, nullptr);
      ASSERT_NE (pb, nullptr);
      EXPECT_GT (ink (pb).inked, 0);
    }
}

TEST (Resources, ArtworkSizes)
{
  static const struct {
    const char *path;
    int width, height;
  } images[] = {
    { "ui/zelmora-splash.png", 600, 340 },
    { "ui/zelmora-header.png", 480, 120 },
  };
  for (const auto &img : images)
    {
      SCOPED_TRACE (img.path);
      g_autoptr (GError) error = nullptr;
      g_autoptr (GdkPixbuf) pb = gdk_pixbuf_new_from_file (resource (img.path).c_str (), &error);
      ASSERT_NE (pb, nullptr) << error->message;
      EXPECT_EQ (gdk_pixbuf_get_width (pb), img.width);
      EXPECT_EQ (gdk_pixbuf_get_height (pb), img.height);
    }
}

TEST (Resources, SplashLeavesTheVersionAreaDark)
{
  /* The program writes "0.9.0" in white, 22 px, centred at (485, 220). */
  g_autoptr (GdkPixbuf) pb
      = gdk_pixbuf_new_from_file (resource ("ui/zelmora-splash.png").c_str (), nullptr);
  ASSERT_NE (pb, nullptr);
  int brightest = 0;
  for (int y = 220 - 16; y <= 220 + 16; y++)
    for (int x = 485 - 60; x <= 485 + 60; x++)
      brightest = std::max (brightest, luma (pixel (pb, x, y)));
  EXPECT_LT (brightest, 80);
}

void
count_error (GtkCssProvider *, GtkCssSection *section, GError *error, gpointer data)
{
  ADD_FAILURE () << "gtk.css line " << gtk_css_section_get_start_line (section) + 1 << ": "
                 << error->message;
  ++*static_cast<int *> (data);
}

/* The providers the main window installs for the whole screen. */
class Theme : public ::testing::Test {
protected:
  void SetUp () override
  {
    gtk_css_provider_load_from_data (unset, "* { all: unset; }", -1, nullptr);
    g_signal_connect (theme, "parsing-error", G_CALLBACK (count_error), &errors);
    g_autoptr (GError) error = nullptr;
    loaded = gtk_css_provider_load_from_path (
        theme, resource ("themes/BlueSky-Dark-Zelmora/gtk-3.0/gtk.css").c_str (), &error);
    GdkScreen *screen = gdk_screen_get_default ();
    gtk_style_context_add_provider_for_screen (screen, GTK_STYLE_PROVIDER (unset), 599);
    gtk_style_context_add_provider_for_screen (screen, GTK_STYLE_PROVIDER (theme), 600);
  }
  void TearDown () override
  {
    GdkScreen *screen = gdk_screen_get_default ();
    gtk_style_context_remove_provider_for_screen (screen, GTK_STYLE_PROVIDER (theme));
    gtk_style_context_remove_provider_for_screen (screen, GTK_STYLE_PROVIDER (unset));
    g_clear_object (&theme);
    g_clear_object (&unset);
  }

  GtkCssProvider *unset = gtk_css_provider_new ();
  GtkCssProvider *theme = gtk_css_provider_new ();
  int errors = 0;
  gboolean loaded = FALSE;
};

TEST_F (Theme, ParsesCleanly)
{
  EXPECT_TRUE (loaded);
  EXPECT_EQ (errors, 0);
}

/* Counts pixels of @pb close to the theme's accent blue. */
int
accent_pixels (GdkPixbuf *pb)
{
  int n = 0;
  for (int y = 0; y < gdk_pixbuf_get_height (pb); y++)
    for (int x = 0; x < gdk_pixbuf_get_width (pb); x++)
      {
        Rgb p = pixel (pb, x, y);
        n += p.b >= 180 && p.b >= p.r + 80;
      }
  return n;
}

/* After "all: unset" nothing has a size or a colour unless the theme gives it
 * one: text, indicators and scrollbar sliders must come back visibly. */
TEST_F (Theme, WidgetsAreDrawnReadably)
{
  GtkWidget *box = gtk_box_new (GTK_ORIENTATION_VERTICAL, 6);
  GtkWidget *label = gtk_label_new ("Zelmora Zelmora");
  GtkWidget *off = gtk_check_button_new_with_label ("Off");
  GtkWidget *on = gtk_check_button_new_with_label ("On");
  gtk_toggle_button_set_active (GTK_TOGGLE_BUTTON (on), TRUE);
  GtkWidget *sw = gtk_scrolled_window_new (nullptr, nullptr);
  gtk_scrolled_window_set_policy (GTK_SCROLLED_WINDOW (sw), GTK_POLICY_ALWAYS, GTK_POLICY_ALWAYS);
  gtk_scrolled_window_set_overlay_scrolling (GTK_SCROLLED_WINDOW (sw), FALSE);
  GtkWidget *big = gtk_label_new ("content");
  gtk_widget_set_size_request (big, 800, 800);
  gtk_container_add (GTK_CONTAINER (sw), big);
  gtk_widget_set_size_request (sw, 160, 160);
  for (GtkWidget *w : { label, off, on, sw })
    gtk_box_pack_start (GTK_BOX (box), w, FALSE, FALSE, 0);
  GtkWidget *win = show_in_window (box, 200, 300);

  /* dark window, light text */
  g_autoptr (GdkPixbuf) whole = grab (box);
  Rgb bg = pixel (whole, 199, 299);
  EXPECT_LT (luma (bg), 60);
  EXPECT_GT (bg.b, bg.r);
  g_autoptr (GdkPixbuf) text = grab (label);
  int brightest = 0;
  for (int y = 0; y < gdk_pixbuf_get_height (text); y++)
    for (int x = 0; x < gdk_pixbuf_get_width (text); x++)
      brightest = std::max (brightest, luma (pixel (text, x, y)));
  EXPECT_GT (brightest - luma (bg), 130);

  /* a set check box is filled with the accent colour, a clear one is not */
  g_autoptr (GdkPixbuf) pb_on = grab (on);
  g_autoptr (GdkPixbuf) pb_off = grab (off);
  EXPECT_GE (accent_pixels (pb_on), 60);
  EXPECT_EQ (accent_pixels (pb_off), 0);

  /* both scrollbars are there, and their sliders stand out of the trough */
  for (GtkWidget *bar : { gtk_scrolled_window_get_vscrollbar (GTK_SCROLLED_WINDOW (sw)),
                          gtk_scrolled_window_get_hscrollbar (GTK_SCROLLED_WINDOW (sw)) })
    {
      GtkAllocation a;
      gtk_widget_get_allocation (bar, &a);
      ASSERT_GE (std::min (a.width, a.height), 8);
      g_autoptr (GdkPixbuf) pb = grab (bar);
      bool vertical = a.height > a.width;
      int lo = 255, hi = 0;
      for (int i = 0; i < (vertical ? a.height : a.width); i++)
        {
          int l = luma (vertical ? pixel (pb, a.width / 2, i) : pixel (pb, i, a.height / 2));
          lo = std::min (lo, l);
          hi = std::max (hi, l);
        }
      EXPECT_GT (hi - lo, 50) << (vertical ? "vertical" : "horizontal");
    }
  gtk_widget_destroy (win);
}

} // namespace
