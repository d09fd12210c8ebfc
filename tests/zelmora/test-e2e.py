#!/usr/bin/python3
"""The installed program, end to end: install the build into a temporary
root, run that zelmora on a private X server with a capturing ALSA device,
play a note from the computer keyboard, quit with Ctrl+Q, and check what a
user would see and hear.  TAP output.

usage: test-e2e.py MESON BUILDDIR LOGDIR"""

import importlib.util
import os
import sys
import time

from zelm_install import install_and_run

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location(
    'zelm_session', os.path.join(HERE, '..', '..', 'bench', 'startup', 'zelm-session.py'))
zs = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(zs)

NOTE_48_HZ = 440.0 * 2 ** ((48 - 69) / 12)   # key "z" on the lower manual
LIT_KEY = (48, 120, 255)      # a held key on the piano
METER_GREEN = (0, 255, 0)     # the level meter's low segment
INFO_BAR_AMBER = (0x5a, 0x44, 0x18)  # warning info bar background


def session(audio, play, heard=None):
    """A case that runs the installed zelmora with @audio ('capture' or
    'missing'), calls play(t, app, window) once the splash has closed, quits
    with Ctrl+Q and calls heard(t, app) once the program has ended; returns
    the case's body(t, staged).  Its directory (program output, captured
    audio) is kept when the case fails."""
    def body(t, s):
        work = zs.new_workdir('zelmora-e2e-')
        try:
            app = zs.Zelmora(s.dir('bindir', 'zelmora'), work, audio=audio,
                             extra_env={'LD_LIBRARY_PATH': s.dir('libdir')})
            try:
                win = app.wait_main_window()
                if not t.check(win, 'the main window is shown'):
                    return
                t.check(app.wait_splash_closed(), 'the splash closes by itself')
                time.sleep(0.3)
                play(t, app, win)
                rc = app.quit()
                t.check(rc == 0, f'Ctrl+Q ends the program with status 0 (got {rc})')
                problems = zs.glib_problems(app.stderr_text())
                t.check(not problems, 'no GLib/GTK warnings or criticals on stderr: ' + ' | '.join(problems))
            finally:
                app.close()
            if heard:
                heard(t, app)
        finally:
            if t.problems or sys.exc_info()[0]:
                print(f'# kept for inspection: {work}')
            else:
                zs.remove_workdir(work)
    return body


def piano_lit(image, win):
    # The piano is the bottom band of the window, under the level meter.
    return zs.count_color(image, LIT_KEY, rows=range(win.height - 100, win.height - 10))


def plays_the_key(t, app, win):
    t.check(piano_lit(app.x.grab_window(win), win) == 0, 'no piano key is lit before a key is pressed')
    app.x.key('z', True)
    time.sleep(0.7)
    held = app.x.grab_window(win)
    held.save_png(os.path.join(LOGDIR, 'e2e-main-window.png'))
    time.sleep(0.3)
    app.x.key('z', False)
    t.check(piano_lit(held, win) > 500, f'the held key is lit on the piano ({piano_lit(held, win)} pixels)')
    meter = zs.count_color(held, METER_GREEN, rows=range(win.height - 160, win.height - 100))
    t.check(meter > 200, f'the level meter shows the sound ({meter} pixels)')
    amber = zs.count_color(held, INFO_BAR_AMBER, tolerance=6)
    t.check(amber < 200, f'no audio warning when the device works ({amber} pixels)')
    time.sleep(1.0)  # the release fades out
    t.check(piano_lit(app.x.grab_window(win), win) == 0, 'the key goes dark when released')


def heard_the_key(t, app):
    samples = app.capture.samples()
    seconds = len(samples) / zs.CHANNELS / zs.RATE
    t.check(seconds > 2.0, f'the stream ran while the program did ({seconds:.1f} s captured)')
    part, rms = zs.loudest_part(samples)
    peak = max((abs(v) for v in samples), default=0.0)
    part_s = len(part) / zs.RATE
    t.check(0.5 <= part_s <= 2.0, f'one note about as long as the key was held ({part_s:.2f} s)')
    t.check(0.01 < rms and peak <= 1.0, f'a sensible level: RMS {rms:.3f}, peak {peak:.3f} (full scale 1.0)')
    hz = zs.pitch(part)
    t.check(hz and abs(hz - NOTE_48_HZ) / NOTE_48_HZ < 0.01,
            f'the note of key "z" is {NOTE_48_HZ:.2f} Hz (measured {hz})')
    right = max((abs(v) for v in samples[1::2]), default=0.0)
    t.check(right > 0.5 * max((abs(v) for v in samples[0::2]), default=0.0), 'both channels carry the note')


def warns_of_missing_device(t, app, win):
    image = app.x.grab_window(win)
    image.save_png(os.path.join(LOGDIR, 'e2e-audio-off.png'))
    # The bar spans the window's width under the menu bar.
    amber = zs.count_color(image, INFO_BAR_AMBER, tolerance=6, rows=range(0, 150))
    t.check(amber > 10 * win.width, f'the amber "Audio output is off" bar is shown at the top ({amber} pixels)')


if __name__ == '__main__':
    meson, build_root, LOGDIR = sys.argv[1:4]
    os.makedirs(LOGDIR, exist_ok=True)
    sys.exit(install_and_run([
        ('the installed program plays the key held and quits with Ctrl+Q',
         session('capture', plays_the_key, heard_the_key)),
        ('without an audio device it opens, says so, and quits cleanly',
         session('missing', warns_of_missing_device)),
    ], meson=meson, build_root=build_root, rebuild=False))
