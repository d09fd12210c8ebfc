"""Runs zelmora the way a user would, without a desktop or a sound card.

A private Xvfb, a temporary HOME whose ALSA default device writes what the
program plays into a named pipe (read back at the real-time rate, so the
audio thread is paced as by a sound card), real key events through XTest,
and screenshots read back from the X server.  Used by the end-to-end test,
the start-up benchmark and scripts/run; Python's standard library plus
libX11/libXtst through ctypes, so no extra packages are needed.
"""

import array
import ctypes
import ctypes.util
import math
import os
import select
import shutil
import struct
import subprocess
import tempfile
import threading
import time
import wave
import zlib

RATE = 48000          # the synthesizer's default sample rate
CHANNELS = 2          # its default speaker count
FRAME_BYTES = 4 * CHANNELS  # float32 interleaved


# --- X11 through ctypes --------------------------------------------------------

class _XWindowAttributes(ctypes.Structure):
    _fields_ = [('x', ctypes.c_int), ('y', ctypes.c_int),
                ('width', ctypes.c_int), ('height', ctypes.c_int),
                ('border_width', ctypes.c_int), ('depth', ctypes.c_int),
                ('visual', ctypes.c_void_p), ('root', ctypes.c_ulong),
                ('class_', ctypes.c_int), ('bit_gravity', ctypes.c_int),
                ('win_gravity', ctypes.c_int), ('backing_store', ctypes.c_int),
                ('backing_planes', ctypes.c_ulong), ('backing_pixel', ctypes.c_ulong),
                ('save_under', ctypes.c_int), ('colormap', ctypes.c_ulong),
                ('map_installed', ctypes.c_int), ('map_state', ctypes.c_int),
                ('all_event_masks', ctypes.c_long), ('your_event_mask', ctypes.c_long),
                ('do_not_propagate_mask', ctypes.c_long),
                ('override_redirect', ctypes.c_int), ('screen', ctypes.c_void_p)]


class _XImage(ctypes.Structure):
    # Only the leading fields are read; the rest stays opaque.
    _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int),
                ('xoffset', ctypes.c_int), ('format', ctypes.c_int),
                ('data', ctypes.POINTER(ctypes.c_ubyte)),
                ('byte_order', ctypes.c_int), ('bitmap_unit', ctypes.c_int),
                ('bitmap_bit_order', ctypes.c_int), ('bitmap_pad', ctypes.c_int),
                ('depth', ctypes.c_int), ('bytes_per_line', ctypes.c_int),
                ('bits_per_pixel', ctypes.c_int)]


IS_VIEWABLE = 2
Z_PIXMAP = 2
ALL_PLANES = 0xffffffff


class Window:
    """A top-level window as the X server sees it."""

    def __init__(self, xid, name, x, y, width, height):
        self.xid, self.name = xid, name
        self.x, self.y, self.width, self.height = x, y, width, height

    def __repr__(self):
        return (f'Window(0x{self.xid:x}, {self.name!r}, '
                f'{self.width}x{self.height}+{self.x}+{self.y})')


class Image:
    """RGB pixels, row-major, 3 bytes each."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.rgb[i:i + 3])

    def save_png(self, path):
        raw = bytearray()
        stride = 3 * self.width
        for y in range(self.height):
            raw.append(0)
            raw += self.rgb[y * stride:(y + 1) * stride]

        def chunk(kind, data):
            body = kind + data
            return (struct.pack('>I', len(data)) + body +
                    struct.pack('>I', zlib.crc32(body) & 0xffffffff))

        with open(path, 'wb') as f:
            f.write(b'\x89PNG\r\n\x1a\n')
            f.write(chunk(b'IHDR', struct.pack('>IIBBBBB', self.width, self.height, 8, 2, 0, 0, 0)))
            f.write(chunk(b'IDAT', zlib.compress(bytes(raw), 6)))
            f.write(chunk(b'IEND', b''))


class XDisplay:
    """A connection to an X server: window queries, pixels, XTest keys."""

    def __init__(self, name):
        self._x = ctypes.CDLL(ctypes.util.find_library('X11') or 'libX11.so.6')
        self._xtst = ctypes.CDLL(ctypes.util.find_library('Xtst') or 'libXtst.so.6')
        x = self._x
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                 ctypes.POINTER(ctypes.c_uint)]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                           ctypes.POINTER(_XWindowAttributes)]
        x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                 ctypes.POINTER(ctypes.c_char_p)]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XGetWindowProperty.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
            ctypes.c_int, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
        x.XGetImage.restype = ctypes.POINTER(_XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
        x.XStringToKeysym.restype = ctypes.c_ulong
        x.XStringToKeysym.argtypes = [ctypes.c_char_p]
        x.XKeysymToKeycode.restype = ctypes.c_ubyte
        x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XAutoRepeatOn.argtypes = [ctypes.c_void_p]
        x.XAutoRepeatOff.argtypes = [ctypes.c_void_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self._xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                 ctypes.c_ulong]
        self._xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                    ctypes.c_int, ctypes.c_ulong]
        self._xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                    ctypes.c_ulong]
        # Windows come and go while they are listed (the splash closes on a
        # timer): a request about a window that is already gone must not end
        # this process, which is what Xlib's default error handler does.
        handler_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
        self._error_handler = handler_type(lambda display, event: 0)
        x.XSetErrorHandler.restype = ctypes.c_void_p
        x.XSetErrorHandler.argtypes = [handler_type]
        x.XSetErrorHandler(self._error_handler)
        self._dpy = x.XOpenDisplay(name.encode())
        if not self._dpy:
            raise RuntimeError(f'cannot open X display {name}')
        self._root = x.XDefaultRootWindow(self._dpy)
        self._net_wm_name = x.XInternAtom(self._dpy, b'_NET_WM_NAME', 0)
        self._utf8_string = x.XInternAtom(self._dpy, b'UTF8_STRING', 0)

    def _utf8_title(self, xid):
        """The window's _NET_WM_NAME: titles beyond Latin-1 (the main window's
        em dash) are only there, WM_NAME holds them as compound text."""
        x = self._x
        kind, fmt = ctypes.c_ulong(), ctypes.c_int()
        count, after = ctypes.c_ulong(), ctypes.c_ulong()
        data = ctypes.c_void_p()
        if x.XGetWindowProperty(self._dpy, xid, self._net_wm_name, 0, 4096, 0,
                                self._utf8_string, ctypes.byref(kind), ctypes.byref(fmt),
                                ctypes.byref(count), ctypes.byref(after),
                                ctypes.byref(data)) != 0 or not data.value:
            return None
        try:
            if kind.value != self._utf8_string or fmt.value != 8:
                return None
            return ctypes.string_at(data.value, count.value).decode(errors='replace')
        finally:
            x.XFree(data)

    def close(self):
        if self._dpy:
            self._x.XCloseDisplay(self._dpy)
            self._dpy = None

    def windows(self):
        """The viewable children of the root window (no window manager runs,
        so these are the programs' top-level windows)."""
        x = self._x
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children = ctypes.POINTER(ctypes.c_ulong)()
        count = ctypes.c_uint()
        if not x.XQueryTree(self._dpy, self._root, ctypes.byref(root), ctypes.byref(parent),
                            ctypes.byref(children), ctypes.byref(count)):
            return []
        ids = [children[i] for i in range(count.value)]
        if children:
            x.XFree(children)
        out = []
        for xid in ids:
            attrs = _XWindowAttributes()
            if not x.XGetWindowAttributes(self._dpy, xid, ctypes.byref(attrs)):
                continue
            if attrs.map_state != IS_VIEWABLE:
                continue
            name = ctypes.c_char_p()
            title = self._utf8_title(xid)
            if title is None and x.XFetchName(self._dpy, xid, ctypes.byref(name)) \
                    and name.value is not None:
                title = name.value.decode(errors='replace')
                x.XFree(name)
            out.append(Window(xid, title, attrs.x, attrs.y, attrs.width, attrs.height))
        return out

    def find_window(self, title, min_width=0, min_height=0):
        """The largest viewable top-level window called @title, or whose title
        ends in " — @title" (the main window names its file first), or None."""
        found = [w for w in self.windows()
                 if w.name and (w.name == title or w.name.endswith(' \u2014 ' + title))
                 and w.width >= min_width and w.height >= min_height]
        return max(found, key=lambda w: w.width * w.height, default=None)

    def grab(self, x, y, width, height):
        """The root window's pixels in a rectangle (what is on screen)."""
        img = self._x.XGetImage(self._dpy, self._root, x, y, width, height, ALL_PLANES, Z_PIXMAP)
        if not img:
            raise RuntimeError('XGetImage failed')
        try:
            im = img.contents
            if im.bits_per_pixel != 32:
                raise RuntimeError(f'unexpected {im.bits_per_pixel} bits per pixel')
            stride = im.bytes_per_line
            data = ctypes.string_at(im.data, stride * im.height)
        finally:
            self._x.XDestroyImage(img)
        rgb = bytearray(width * height * 3)
        for row in range(height):
            line = data[row * stride:row * stride + 4 * width]
            # BGRX in memory on a little-endian server
            rgb[row * width * 3 + 0:(row + 1) * width * 3:3] = line[2::4]
            rgb[row * width * 3 + 1:(row + 1) * width * 3:3] = line[1::4]
            rgb[row * width * 3 + 2:(row + 1) * width * 3:3] = line[0::4]
        return Image(width, height, rgb)

    def grab_window(self, win):
        return self.grab(win.x, win.y, win.width, win.height)

    def key(self, keysym, press):
        """A real key event through XTest, as a keyboard would send it."""
        code = self._x.XKeysymToKeycode(self._dpy, self._x.XStringToKeysym(keysym.encode()))
        if not code:
            raise ValueError(f'no key code for {keysym}')
        self._xtst.XTestFakeKeyEvent(self._dpy, code, 1 if press else 0, 0)
        self._x.XSync(self._dpy, 0)

    def click(self, x, y, button=1):
        """Moves the pointer to (x, y) on the screen and clicks there, through
        XTest as a mouse would."""
        self._xtst.XTestFakeMotionEvent(self._dpy, -1, int(x), int(y), 0)
        self._x.XSync(self._dpy, 0)
        time.sleep(0.05)
        for press in (1, 0):
            self._xtst.XTestFakeButtonEvent(self._dpy, button, press, 0)
            self._x.XSync(self._dpy, 0)
            time.sleep(0.03)

    def move(self, x, y):
        """Moves the pointer to (x, y) on the screen, through XTest."""
        self._xtst.XTestFakeMotionEvent(self._dpy, -1, int(x), int(y), 0)
        self._x.XSync(self._dpy, 0)

    def set_autorepeat(self, on):
        """The server's key repeat; off, a held key sends one press only."""
        (self._x.XAutoRepeatOn if on else self._x.XAutoRepeatOff)(self._dpy)
        self._x.XSync(self._dpy, 0)

    def tap(self, *keysyms, hold=0.05):
        """Presses @keysyms in order (modifiers first) and releases them in
        reverse: tap('Control_L', 'q') is Ctrl+Q."""
        for k in keysyms:
            self.key(k, True)
        time.sleep(hold)
        for k in reversed(keysyms):
            self.key(k, False)


# --- Xvfb --------------------------------------------------------------------------

class Xvfb:
    """A private X server on a free display number."""

    def __init__(self, screen='1280x860x24'):
        rfd, wfd = os.pipe()
        self.proc = subprocess.Popen(
            ['Xvfb', '-displayfd', str(wfd), '-screen', '0', screen, '-nolisten', 'tcp',
             '-noreset', '-br'],
            pass_fds=[wfd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(wfd)
        number = b''
        ready, _, _ = select.select([rfd], [], [], 20)
        if ready:
            while not number.endswith(b'\n'):
                piece = os.read(rfd, 16)
                if not piece:
                    break
                number += piece
        os.close(rfd)
        if not number.strip():
            self.stop()
            raise RuntimeError('Xvfb did not start')
        self.display = ':' + number.decode().strip()
        self.x = XDisplay(self.display)

    def stop(self):
        if getattr(self, 'x', None):
            self.x.close()
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


# --- ALSA capture ------------------------------------------------------------------

class Capture:
    """A named pipe that the ALSA "file" plugin writes raw frames into, read
    at RATE frames per second: ALSA's "null" device never waits, so without
    the pacing the audio thread would render as fast as the CPU allows."""

    def __init__(self, fifo, out_path, lead_seconds=0.1):
        self.fifo, self.out_path = fifo, out_path
        os.mkfifo(fifo)
        self.bytes = 0
        self._lead = int(lead_seconds * RATE) * FRAME_BYTES
        self._stop = threading.Event()
        # Read-write, so opening never waits for the program and the pipe
        # never reports end-of-file between the program's opens.
        self._fd = os.open(fifo, os.O_RDWR | os.O_NONBLOCK)
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        bps = RATE * FRAME_BYTES
        start = None
        with open(self.out_path, 'wb') as out:
            while not self._stop.is_set():
                if start is None:
                    allowed = self._lead
                else:
                    allowed = int((time.monotonic() - start) * bps) + self._lead - self.bytes
                if allowed < FRAME_BYTES:
                    time.sleep(0.005)
                    continue
                ready, _, _ = select.select([self._fd], [], [], 0.05)
                if not ready:
                    continue
                try:
                    data = os.read(self._fd, min(allowed - allowed % FRAME_BYTES, 65536))
                except BlockingIOError:
                    continue
                if start is None:
                    start = time.monotonic()
                out.write(data)
                self.bytes += len(data)

    def stop(self):
        self._stop.set()
        self._thread.join()
        os.close(self._fd)

    def samples(self):
        """The captured float frames, interleaved."""
        a = array.array('f')
        with open(self.out_path, 'rb') as f:
            data = f.read()
        a.frombytes(data[:len(data) - len(data) % FRAME_BYTES])
        return a


def write_wav(samples, path):
    """16-bit PCM WAV of interleaved float samples (clipped to [-1, 1])."""
    pcm = array.array('h', (int(max(-1.0, min(1.0, s)) * 32767) for s in samples))
    with wave.open(path, 'wb') as w:
        w.setnchannels(CHANNELS)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm.tobytes())


# --- the program -------------------------------------------------------------------

ALSA_CAPTURE = '''pcm.!default {{
  type file
  slave.pcm "null"
  file "{fifo}"
  format "raw"
}}
'''

ALSA_MISSING = '''pcm.!default {
  type hw
  card "NoSuchCard"
}
'''


class Zelmora:
    """zelmora in a fresh HOME on its own X server.

    audio: 'capture' (the default device writes to a paced capture),
    'missing' (the default device names a card that does not exist)."""

    def __init__(self, exe, workdir, audio='capture', screen='1280x860x24', args=(),
                 extra_env=None, xvfb=None):
        """@xvfb: a running server to share (left running by close())."""
        self.workdir = workdir
        self.home = os.path.join(workdir, 'home')
        os.makedirs(self.home, exist_ok=True)
        self.capture = None
        if audio == 'capture':
            self.capture = Capture(os.path.join(workdir, 'audio.fifo'),
                                   os.path.join(workdir, 'audio.raw'))
            asound = ALSA_CAPTURE.format(fifo=self.capture.fifo)
        else:
            asound = ALSA_MISSING
        with open(os.path.join(self.home, '.asoundrc'), 'w') as f:
            f.write(asound)

        self._own_xvfb = xvfb is None
        self.xvfb = xvfb or Xvfb(screen)
        self.x = self.xvfb.x
        env = {k: v for k, v in os.environ.items()
               if k not in ('ZELMORA_RESOURCE_DIR', 'WAYLAND_DISPLAY', 'ALSA_CONFIG_PATH')}
        env.update({
            'HOME': self.home,
            'XDG_CONFIG_HOME': os.path.join(self.home, '.config'),
            'XDG_CACHE_HOME': os.path.join(self.home, '.cache'),
            'XDG_DATA_HOME': os.path.join(self.home, '.local', 'share'),
            'DISPLAY': self.xvfb.display,
            'GDK_BACKEND': 'x11',
            # No session bus: the program must not find (or start) a running
            # instance elsewhere, nor an accessibility bus.
            'DBUS_SESSION_BUS_ADDRESS': 'unix:path=' + os.path.join(workdir, 'no-bus'),
            'NO_AT_BRIDGE': '1',
        })
        if extra_env:
            env.update(extra_env)
        self.stdout_path = os.path.join(workdir, 'stdout.txt')
        self.stderr_path = os.path.join(workdir, 'stderr.txt')
        self._out = open(self.stdout_path, 'wb')
        self._err = open(self.stderr_path, 'wb')
        self.start_time = time.monotonic()
        self.proc = subprocess.Popen([exe, *args], env=env, stdin=subprocess.DEVNULL,
                                     stdout=self._out, stderr=self._err)

    def wait_for(self, pred, timeout=20.0, interval=0.02):
        end = time.monotonic() + timeout
        while True:
            value = pred()
            if value or time.monotonic() > end or self.proc.poll() is not None:
                return value
            time.sleep(interval)

    def splash(self):
        """The splash window (undecorated 600x340, titled like the main one)."""
        return next((w for w in self.x.windows()
                     if w.name == 'Zelmora' and (w.width, w.height) == (600, 340)), None)

    def main_window(self):
        win = self.x.find_window('Zelmora', min_width=700, min_height=400)
        return win

    def wait_main_window(self, timeout=20.0):
        return self.wait_for(self.main_window, timeout)

    def wait_splash_closed(self, timeout=10.0):
        """Waits for the start-up splash to come and go.  The splash is modal:
        keys sent while it is up (or about to map) never reach the main
        window, so it must have been seen before its absence means anything."""
        self.wait_for(lambda: self.splash() is not None, 5.0)
        return self.wait_for(lambda: self.splash() is None, timeout)

    def click_in(self, win, x, y, button=1, settle=0.4):
        """Clicks at (x, y) of @win (a Window) and lets the program answer."""
        self.x.click(win.x + x, win.y + y, button)
        time.sleep(settle)

    def quit(self, timeout=10.0):
        """Ctrl+Q, as a user quits; the exit status, or None if it hung."""
        if self.proc.poll() is None:
            self.x.tap('Control_L', 'q')
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def cpu_ticks(self, main_thread_only=False):
        """utime + stime in clock ticks, of the process or its main thread."""
        path = (f'/proc/{self.proc.pid}/task/{self.proc.pid}/stat' if main_thread_only
                else f'/proc/{self.proc.pid}/stat')
        with open(path) as f:
            fields = f.read().rsplit(')', 1)[1].split()
        return int(fields[11]) + int(fields[12])

    def cpu_ns(self, main_thread_only=False):
        """CPU time in nanoseconds from the scheduler's own accounting
        (/proc/.../schedstat), of the process (all threads) or its main thread;
        None where the kernel does not provide it."""
        tasks = ([str(self.proc.pid)] if main_thread_only
                 else os.listdir(f'/proc/{self.proc.pid}/task'))
        total = 0
        for tid in tasks:
            try:
                with open(f'/proc/{self.proc.pid}/task/{tid}/schedstat') as f:
                    total += int(f.read().split()[0])
            except FileNotFoundError:
                if main_thread_only:
                    return None
        return total

    def stderr_text(self):
        self._err.flush()
        with open(self.stderr_path, errors='replace') as f:
            return f.read()

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self._out.close()
        self._err.close()
        if self.capture:
            self.capture.stop()
        if self._own_xvfb:
            self.xvfb.stop()


# --- checks ------------------------------------------------------------------------

# Messages of GLib's log functions ("(zelmora:123): Gtk-WARNING **: ..." or,
# with structured logging, "** (zelmora:123): WARNING **: ...").  ALSA's,
# PortAudio's and JACK's probe noise has other shapes and is let through.
def glib_problems(stderr):
    bad = []
    for line in stderr.splitlines():
        if ('-CRITICAL **' in line or '-WARNING **' in line or 'CRITICAL **:' in line
                or 'WARNING **:' in line or '-ERROR **' in line or 'ERROR **:' in line):
            bad.append(line)
    return bad


def loudest_part(samples, channel=0, block=RATE // 20):
    """Left (or @channel) samples of the longest run of blocks louder than
    half the loudest block's RMS, and that RMS."""
    mono = samples[channel::CHANNELS]
    rms = []
    for i in range(0, len(mono) - block + 1, block):
        b = mono[i:i + block]
        rms.append(math.sqrt(sum(v * v for v in b) / block))
    if not rms or max(rms) == 0.0:
        return array.array('f'), 0.0
    top = max(rms)
    best, run_start = (0, 0), None
    for i, r in enumerate(rms + [0.0]):
        if r >= top / 2 and run_start is None:
            run_start = i
        elif r < top / 2 and run_start is not None:
            if i - run_start > best[1] - best[0]:
                best = (run_start, i)
            run_start = None
    return mono[best[0] * block:best[1] * block], top


def pitch(mono, lo=40.0, window=8192):
    """Fundamental frequency by autocorrelation: past the correlation's
    first fall below zero, the first peak that comes close to the highest
    one, refined between samples.  None when there is no clear period."""
    longest = int(RATE / lo) + 2
    seg = list(mono[:window + longest])
    if len(seg) < window + longest:
        return None
    head = seg[:window]
    r = [sum(map(float.__mul__, head, seg[lag:lag + window])) for lag in range(longest)]
    start = next((lag for lag in range(longest) if r[lag] <= 0.0), None)
    if start is None:
        return None
    best = max(r[start:])
    if best <= 0.0:
        return None
    for lag in range(start + 1, longest - 1):
        if r[lag] >= 0.85 * best and r[lag] >= r[lag - 1] and r[lag] >= r[lag + 1]:
            a, b, c = r[lag - 1], r[lag], r[lag + 1]
            denom = a - 2 * b + c
            shift = 0.5 * (a - c) / denom if denom else 0.0
            return RATE / (lag + shift)
    return None


def count_color(image, color, tolerance=12, rows=None):
    """How many pixels of @image (in @rows, a range) are within @tolerance of
    @color in every channel."""
    rows = rows if rows is not None else range(image.height)
    n = 0
    r0, g0, b0 = color
    rgb = image.rgb
    w = image.width
    for y in rows:
        base = 3 * y * w
        for i in range(base, base + 3 * w, 3):
            if (abs(rgb[i] - r0) <= tolerance and abs(rgb[i + 1] - g0) <= tolerance
                    and abs(rgb[i + 2] - b0) <= tolerance):
                n += 1
    return n


def new_workdir(prefix='zelmora-'):
    return tempfile.mkdtemp(prefix=prefix)


def remove_workdir(path):
    shutil.rmtree(path, ignore_errors=True)
