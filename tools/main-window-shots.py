#!/usr/bin/python3
"""Takes the README's main-window pictures: Zelmora on a private X server,
the organ chosen, a chord held on the computer keyboard, the Scope page
shown.  Usage: tools/main-window-shots.py BUILD-DIR OUT-DIR"""
import importlib.util, os, sys, time

build, out = sys.argv[1], sys.argv[2]
root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
spec = importlib.util.spec_from_file_location(
    'zelm_session', os.path.join(root, 'bench', 'startup', 'zelm-session.py'))
zs = importlib.util.module_from_spec(spec)
spec.loader.exec_module(zs)

work = zs.new_workdir('zelmora-shots-')
app = zs.Zelmora(os.path.join(build, 'zelmora', 'zelmora'), work)
try:
    if not app.wait_main_window() or not app.wait_splash_closed():
        sys.exit(f'zelmora did not show its window; see {app.stderr_path}')
    x = app.x
    time.sleep(0.3)
    win = app.main_window()

    def click(cx, cy):
        x.click(win.x + cx, win.y + cy)
        time.sleep(0.4)

    # The organ's row, its expander, its first drawbar, then the Scope tab.
    click(100, 199)
    click(24, 199)
    click(110, 291)
    click(469, 43)
    chord = ('q', 'e', 't')
    for key in chord:
        x.key(key, True)
        time.sleep(0.02)
    time.sleep(0.8)
    x.grab_window(app.main_window()).save_png(os.path.join(out, 'main-window-scope.png'))
    for key in chord:
        x.key(key, False)
    app.quit()
finally:
    app.close()
    zs.remove_workdir(work)
