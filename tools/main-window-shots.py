#!/usr/bin/python3
"""Takes the documentation's pictures of the running program: Zelmora on a
private X server in a fresh HOME, driven with XTest clicks and keys as a
user would.  tools/docs-shots/docs-shots runs it with the other pictures.

Usage: tools/main-window-shots.py BUILD-DIR OUT-DIR [PICTURE...]"""
import importlib.util
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_spec = importlib.util.spec_from_file_location(
    'zelm_session', os.path.join(ROOT, 'bench', 'startup', 'zelm-session.py'))
zs = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(zs)

# Window coordinates of rows in the tree as the bank opens: "In The
# Beginning" expanded, one row every 23 pixels.
SLOW_DRIFT_ROW = (100, 107)
ORGAN_ROW = (100, 199)


def _held(x, keys):
    for key in keys:
        x.key(key, True)
        time.sleep(0.02)


def _released(x, keys):
    for key in keys:
        x.key(key, False)


def _rows_offset(app, win):
    """Height of the message bar under the menu bar (none: 0), which pushes
    the tree's rows down."""
    image = app.x.grab(win.x, win.y, win.width, 120)
    top = image.pixel(600, 30)
    if top[0] - top[2] < 40:   # the bar is brown; the notebook's tabs are not
        return 0
    start = next(y for y in range(30) if image.pixel(600, y) == top)
    end = 30
    while end < image.height and image.pixel(600, end) == top:
        end += 1
    return end - start + 1   # the bar and its one-pixel edge


def main_window(app, out):
    """The wave "Slow Drift" on the Curve page, a fifth held on the lower
    manual long enough for the pad to swell."""
    win = app.main_window()
    app.click_in(win, *SLOW_DRIFT_ROW)
    chord = ('z', 'b')
    _held(app.x, chord)
    time.sleep(6.0)
    app.x.grab_window(app.main_window()).save_png(os.path.join(out, 'main-window.png'))
    _released(app.x, chord)


def main_window_scope(app, out):
    """The organ playing a chord, its first drawbar selected, the Scope page."""
    win = app.main_window()
    app.click_in(win, *ORGAN_ROW)
    app.click_in(win, 24, ORGAN_ROW[1])   # its expander
    app.click_in(win, 110, 291)           # its first drawbar
    app.click_in(win, 469, 43)            # the Scope tab
    chord = ('q', 'e', 't')
    _held(app.x, chord)
    time.sleep(0.8)
    app.x.grab_window(app.main_window()).save_png(os.path.join(out, 'main-window-scope.png'))
    _released(app.x, chord)


def tree_menu(app, out):
    """The tree's context menu on "Slow Drift", its New Signal submenu open."""
    win = app.main_window()
    x, y = 89, SLOW_DRIFT_ROW[1] + _rows_offset(app, win)
    app.click_in(win, x, y)
    app.click_in(win, x, y, button=3)
    # "New Signal" is the menu's second entry; hovering opens its submenu.
    app.x.move(win.x + x + 60, win.y + y + 40)
    time.sleep(0.8)
    app.x.grab(0, 0, 900, 860).save_png(os.path.join(out, 'tree-menu.png'))
    app.x.tap('Escape')
    app.x.tap('Escape')


def prefs(app, out):
    """Edit > Preferences (Ctrl+comma) as it opens."""
    app.x.tap('Control_L', 'comma')
    win = app.wait_for(lambda: app.x.find_window('Preferences'), 10.0)
    if not win:
        raise RuntimeError('the preferences window did not open')
    # Without a window manager the keyboard follows the pointer: over the
    # window, it has the focus and shows it.
    win = app.x.find_window('Preferences')
    app.x.move(win.x + 10, win.y + win.height - 10)
    time.sleep(0.6)
    app.x.grab_window(win).save_png(os.path.join(out, 'prefs.png'))
    app.x.tap('Escape')


# picture -> (how to take it, command-line arguments of the program)
PICTURES = {
    'main-window': (main_window, ()),
    'main-window-scope': (main_window_scope, ()),
    'tree-menu': (tree_menu, ('--disable-audio',)),
    'prefs': (prefs, ()),
}


def take(build, out, names=None):
    """Takes @names (all when None) from the program built in @build."""
    for name in names or PICTURES:
        how, args = PICTURES[name]
        work = zs.new_workdir('zelmora-shots-')
        app = zs.Zelmora(os.path.join(build, 'zelmora', 'zelmora'), work, args=args)
        try:
            if not app.wait_main_window() or not app.wait_splash_closed():
                sys.exit(f'zelmora did not show its window; see {app.stderr_path}')
            time.sleep(0.3)
            how(app, out)
            print(os.path.join(out, name + '.png'))
            app.quit()
        finally:
            app.close()
            zs.remove_workdir(work)


if __name__ == '__main__':
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    take(sys.argv[1], sys.argv[2], sys.argv[3:] or None)
