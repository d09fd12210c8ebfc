#!/usr/bin/python3
"""Takes the documentation's picture of the LV2 plugin in a host: jalv.gtk3
showing its generic controls, on a private X server and a private JACK
server (dummy backend), the bundle from the build tree.
tools/docs-shots/docs-shots runs it with the other pictures.

Usage: tools/lv2-host-shots.py BUILD-DIR OUT-DIR [PLUGIN-URI]"""
import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_spec = importlib.util.spec_from_file_location(
    'zelm_session', os.path.join(ROOT, 'bench', 'startup', 'zelm-session.py'))
zs = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(zs)

PLUGIN = 'urn:zelmora:synth'
# "Big Bee LPF" of the bank: its control waves name two of the controls.
PRESET = 'urn:zelmora:synth:preset:14'
PICTURES = ['lv2-jalv']


def _jack_server(env):
    """A dummy-backend jackd under a name no other program uses."""
    name = f'zelmora-shots-{os.getpid()}'
    proc = subprocess.Popen(['jackd', '--no-realtime', '-n', name, '-d', 'dummy',
                             '-r', '48000', '-p', '256'],
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if subprocess.run(['jack_wait', '-s', name, '-w', '-t', '10'], env=env,
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
        proc.kill()
        proc.wait()
        raise RuntimeError('jackd did not start')
    return name, proc


def _stop(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def take(build, out, uri=PLUGIN):
    """jalv.gtk3 hosting @uri with PRESET loaded, into OUT/lv2-jalv.png."""
    home = tempfile.mkdtemp(prefix='zelmora-lv2-shots-')
    env = {k: v for k, v in os.environ.items() if k not in ('WAYLAND_DISPLAY',)}
    env.update({'HOME': home, 'XDG_CONFIG_HOME': os.path.join(home, '.config'),
                'GDK_BACKEND': 'x11', 'NO_AT_BRIDGE': '1',
                'DBUS_SESSION_BUS_ADDRESS': 'unix:path=' + os.path.join(home, 'no-bus'),
                'LV2_PATH': os.path.join(os.path.abspath(build), 'lv2') + ':/usr/lib/lv2',
                'JACK_NO_START_SERVER': '1'})
    xvfb = zs.Xvfb('1280x860x24')
    jack, jalv = None, None
    try:
        name, jack = _jack_server(env)
        env.update({'DISPLAY': xvfb.display, 'JACK_DEFAULT_SERVER': name})
        log = open(os.path.join(home, 'jalv.log'), 'wb')
        # stdin kept open: the host reads commands there and quits at its end.
        jalv = subprocess.Popen(['jalv.gtk3', '--jack-name', 'Zelmora', '--preset', PRESET, uri], env=env,
                                stdin=subprocess.PIPE, stdout=log, stderr=log)
        end = time.monotonic() + 20
        win = None
        while time.monotonic() < end and jalv.poll() is None:
            wins = [w for w in xvfb.x.windows() if w.name and w.width > 100 and w.height > 100]
            if wins:
                win = max(wins, key=lambda w: w.width * w.height)
                break
            time.sleep(0.1)
        if not win:
            with open(os.path.join(home, 'jalv.log'), errors='replace') as f:
                sys.exit(f'jalv.gtk3 showed no window for {uri}:\n{f.read()}')
        time.sleep(1.0)   # drawn, and the window's size settled
        win = max((w for w in xvfb.x.windows() if w.name and w.width > 100),
                  key=lambda w: w.width * w.height)
        path = os.path.join(out, 'lv2-jalv.png')
        xvfb.x.grab_window(win).save_png(path)
        print(path)
    finally:
        if jalv:
            jalv.stdin.close()
            _stop(jalv)
        if jack:
            _stop(jack)
        xvfb.stop()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == '__main__':
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    take(sys.argv[1], sys.argv[2], *sys.argv[3:4])
