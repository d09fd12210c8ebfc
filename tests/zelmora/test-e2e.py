#!/usr/bin/python3
"""The installed program, end to end: install the build into a temporary
root, run that zelmora on a private X server with a capturing ALSA device,
play a note from the computer keyboard, quit with Ctrl+Q, and check what a
user would see and hear.  TAP output.

usage: test-e2e.py MESON BUILDDIR BINDIR LIBDIR LOGDIR
(BINDIR and LIBDIR absolute, as configured)
"""

import importlib.util
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location(
    'zelm_session', os.path.join(HERE, '..', '..', 'bench', 'startup', 'zelm-session.py'))
zs = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(zs)

NOTE_48_HZ = 440.0 * 2 ** ((48 - 69) / 12)   # key "z" on the lower manual
LIT_KEY = (48, 120, 255)      # a held key on the piano
METER_GREEN = (0, 255, 0)     # the level meter's low segment
INFO_BAR_AMBER = (0x5a, 0x44, 0x18)  # warning info bar background

results = []


def check(ok, what):
    """Records one expectation; the case fails if any does."""
    results.append((bool(ok), what))
    if not ok:
        print(f'# FAILED: {what}')
    return ok


def run_case(number, title, body):
    """Runs body(workdir); the directory (program output, captured audio) is
    kept when the case fails."""
    del results[:]
    work = zs.new_workdir('zelmora-e2e-')
    try:
        body(work)
    except Exception as e:  # a crash of the harness fails the case, not the run
        check(False, f'{type(e).__name__}: {e}')
    ok = bool(results) and all(r[0] for r in results)
    if ok:
        zs.remove_workdir(work)
    else:
        print(f'# kept for inspection: {work}')
    print(f'{"ok" if ok else "not ok"} {number} - {title}', flush=True)
    return ok


def install(meson, builddir, destdir):
    subprocess.run([meson, 'install', '-C', builddir, '--destdir', destdir, '--no-rebuild',
                    '--quiet'], check=True, stdout=subprocess.DEVNULL)


def piano_rows(win):
    # The piano is the bottom band of the window, under the level meter.
    return range(win.height - 100, win.height - 10)


def case_plays_and_quits(exe, env, logdir, work):
    app = zs.Zelmora(exe, work, audio='capture', extra_env=env)
    try:
        win = app.wait_main_window()
        if not check(win, 'the main window is shown'):
            return
        print(f'# main window: {win}')
        check(app.wait_splash_closed(), 'the splash closes by itself')
        time.sleep(0.3)

        before = app.x.grab_window(win)
        check(zs.count_color(before, LIT_KEY, rows=piano_rows(win)) == 0,
              'no piano key is lit before a key is pressed')

        app.x.key('z', True)
        time.sleep(0.7)
        held = app.x.grab_window(win)
        shot = os.path.join(logdir, 'e2e-main-window.png')
        held.save_png(shot)
        print(f'# screenshot of the main window, key "z" held: {shot}')
        time.sleep(0.3)
        app.x.key('z', False)

        lit = zs.count_color(held, LIT_KEY, rows=piano_rows(win))
        check(lit > 500, f'the held key is lit on the piano ({lit} pixels)')
        meter = zs.count_color(held, METER_GREEN, rows=range(win.height - 160, win.height - 100))
        check(meter > 200, f'the level meter shows the sound ({meter} pixels)')
        amber = zs.count_color(held, INFO_BAR_AMBER, tolerance=6)
        check(amber < 200, f'no audio warning when the device works ({amber} pixels)')

        time.sleep(1.0)  # the release fades out
        released = app.x.grab_window(win)
        check(zs.count_color(released, LIT_KEY, rows=piano_rows(win)) == 0,
              'the key goes dark when released')

        rc = app.quit()
        check(rc == 0, f'Ctrl+Q ends the program with status 0 (got {rc})')
        problems = zs.glib_problems(app.stderr_text())
        check(not problems, 'no GLib/GTK warnings or criticals on stderr: ' + ' | '.join(problems))
    finally:
        app.close()

    samples = app.capture.samples()
    seconds = len(samples) / zs.CHANNELS / zs.RATE
    check(seconds > 2.0, f'the stream ran while the program did ({seconds:.1f} s captured)')
    part, rms = zs.loudest_part(samples)
    peak = max((abs(v) for v in samples), default=0.0)
    part_s = len(part) / zs.RATE
    check(0.5 <= part_s <= 2.0, f'one note about as long as the key was held ({part_s:.2f} s)')
    check(0.01 < rms and peak <= 1.0,
          f'a sensible level: RMS {rms:.3f}, peak {peak:.3f} (full scale 1.0)')
    hz = zs.pitch(part)
    check(hz and abs(hz - NOTE_48_HZ) / NOTE_48_HZ < 0.01,
          f'the note of key "z" is {NOTE_48_HZ:.2f} Hz (measured {hz})')
    right = max((abs(v) for v in samples[1::2]), default=0.0)
    check(right > 0.5 * max((abs(v) for v in samples[0::2]), default=0.0),
          'both channels carry the note')


def case_missing_device(exe, env, logdir, work):
    app = zs.Zelmora(exe, work, audio='missing', extra_env=env)
    try:
        win = app.wait_main_window()
        if not check(win, 'the main window is shown without a working audio device'):
            return
        check(app.wait_splash_closed(), 'the splash closes by itself')
        time.sleep(0.3)
        image = app.x.grab_window(win)
        shot = os.path.join(logdir, 'e2e-audio-off.png')
        image.save_png(shot)
        print(f'# screenshot with the audio device missing: {shot}')
        # The bar spans the window's width under the menu bar.
        amber = zs.count_color(image, INFO_BAR_AMBER, tolerance=6, rows=range(0, 150))
        check(amber > 10 * win.width,
              f'the amber "Audio output is off" bar is shown at the top ({amber} pixels)')
        rc = app.quit()
        check(rc == 0, f'Ctrl+Q ends the program with status 0 (got {rc})')
        problems = zs.glib_problems(app.stderr_text())
        check(not problems, 'no GLib/GTK warnings or criticals on stderr: ' + ' | '.join(problems))
    finally:
        app.close()


def main():
    meson, builddir, bindir, libdir, logdir = sys.argv[1:6]
    os.makedirs(logdir, exist_ok=True)
    print('1..2', flush=True)
    root = zs.new_workdir('zelmora-install-')
    try:
        install(meson, builddir, root)
        exe = root + os.path.join(bindir, 'zelmora')
        # The binary's run path names the real prefix, not this temporary root.
        env = {'LD_LIBRARY_PATH': root + libdir}
        passed = run_case(1, 'the installed program plays the key held and quits with Ctrl+Q',
                          lambda work: case_plays_and_quits(exe, env, logdir, work))
        passed &= run_case(2, 'without an audio device it opens, says so, and quits cleanly',
                           lambda work: case_missing_device(exe, env, logdir, work))
    finally:
        zs.remove_workdir(root)
    return 0 if passed else 1


if __name__ == '__main__':
    sys.exit(main())
