#!/usr/bin/python3
"""Writes the built-in instrument bank from its description.

    bank-gen.py [-o FILE]        write the bank (standard output without -o)
    bank-gen.py --check FILE     exit 1 unless FILE is what would be written

The instruments themselves are described in bank-instruments.py, which is run
with the helpers of this file in its namespace.  The output is byte for byte
what the engine writes when it saves the loaded file: members in property
order, defaults left out, enumerations always written, doubles printed with
the fewest significant digits that read back the same, objects indented two
spaces per level, arrays of numbers on one line and no final newline.
"""

import argparse
import math
import os
import runpy
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# Coordinates are rounded to a binary grid so that every number has a short,
# exact decimal form and the file stays stable across platforms.
GRID = 8192.0


def q(v):
    v = round(v * GRID) / GRID
    return 0.0 if v == 0 else v


# --- curves ---------------------------------------------------------------

class Point:
    """An endpoint with its left and right handle (absolute coordinates)."""

    def __init__(self, x, y, lx=None, ly=None, rx=None, ry=None):
        self.x, self.y = q(x), q(y)
        self.lx = self.x if lx is None else q(lx)
        self.ly = self.y if ly is None else q(ly)
        self.rx = self.x if rx is None else q(rx)
        self.ry = self.y if ry is None else q(ry)


def coords(points):
    """The interleaved coordinate list of a curve: (x, y) per coordinate
    index, endpoints at 3i, left handles at 3i - 1, right handles at 3i + 1."""
    out = []
    last = len(points) - 1
    for i, p in enumerate(points):
        if i > 0:
            out.append((p.lx, p.ly))
        out.append((p.x, p.y))
        if i < last:
            out.append((p.rx, p.ry))
    return out


def sharp(*xy):
    """Straight segments through the given (x, y) points."""
    return [Point(x, y) for x, y in xy]


def smooth(*xy, periodic=True):
    """A C1 curve through the given points; handles sit a third of the
    neighbouring segment away so x stays monotonic.  Periodic curves take
    Catmull-Rom slopes (at both ends across the wrap); the others take
    monotone slopes (flat at the ends and at turning points), so an envelope
    never overshoots the values it passes through."""
    n = len(xy)
    pts = []
    for i, (x, y) in enumerate(xy):
        if 0 < i < n - 1 and not periodic:
            (x0, y0), (x1, y1) = xy[i - 1], xy[i + 1]
            s0, s1 = (y - y0) / (x - x0), (y1 - y) / (x1 - x)
            slope = 0.0 if s0 * s1 <= 0 else 2 / (1 / s0 + 1 / s1)
        elif 0 < i < n - 1:
            (x0, y0), (x1, y1) = xy[i - 1], xy[i + 1]
            slope = (y1 - y0) / (x1 - x0)
        elif periodic:
            (x0, y0), (x1, y1) = xy[-2], xy[1]
            slope = (y1 - y0) / (x1 - (x0 - 1.0))
        else:
            slope = 0.0
        hl = (x - xy[i - 1][0]) / 3 if i > 0 else 0
        hr = (xy[i + 1][0] - x) / 3 if i < n - 1 else 0
        pts.append(Point(x, y, x - hl, y - slope * hl, x + hr, y + slope * hr))
    return pts


def func(f, df, n):
    """One cycle of f over x in 0..1 as n cubic segments whose handles follow
    the derivative df (cubic Hermite in Bezier form)."""
    h = 1.0 / n
    pts = []
    for i in range(n + 1):
        x = i * h
        y, d = f(x), df(x)
        pts.append(Point(x, y, x - h / 3, y - d * h / 3, x + h / 3, y + d * h / 3))
    return pts


def harmonics(amps, n=16, phases=None):
    """A cycle made of sine partials: amps[k] is the amplitude of partial
    k + 1.  Sines only, so the cycle starts and ends at 0 and has no DC."""
    phases = phases or [0.0] * len(amps)
    tau = 2 * math.pi

    def f(x):
        return sum(a * math.sin(tau * (k + 1) * x + phases[k]) for k, a in enumerate(amps))

    def df(x):
        return sum(a * tau * (k + 1) * math.cos(tau * (k + 1) * x + phases[k])
                   for k, a in enumerate(amps))

    return func(f, df, n)


def env(*xy):
    """An envelope of straight segments (x = time in curve units)."""
    return sharp(*xy)


def smooth_env(*xy):
    """An envelope through the points with flat ends and smooth joints."""
    return smooth(*xy, periodic=False)


# --- morphs ---------------------------------------------------------------

def morph(base, *stops):
    """A morph from the base curve through further shapes: each stop is
    (position, points) with the same point count as base.  Every coordinate
    that differs in some stop gets its own morph curve of straight segments
    through its values at 0 and at each stop."""
    shapes = [(0.0, coords(base))] + [(p, coords(s)) for p, s in stops]
    n = len(shapes[0][1])
    for _, c in shapes:
        assert len(c) == n, "morph shapes need the same point count"
    entries = []
    for k in range(n):
        for horizontal in (True, False):
            axis = 0 if horizontal else 1
            vals = [(p, c[k][axis]) for p, c in shapes]
            if all(v == vals[0][1] for _, v in vals):
                continue
            entries.append((k, horizontal, sharp(*vals)))
    return entries


# --- nodes ----------------------------------------------------------------

class Node:
    def __init__(self, type_name, name, members, children=()):
        self.type_name = type_name
        self.name = name
        self.members = members
        self.children = list(children)


def _kind(y, dest, trig, play):
    routed = ("volume", "pitch", "balance", "morph")
    if y == "control":
        return {"volume": "ctrl-volume", "pitch": "ctrl-pitch", "balance": "ctrl-balance",
                "morph": "ctrl-morph", "time": "ctrl-time"}.get(dest, "undefined")
    if dest in routed:
        if play == "loop":
            return dest + "-mod"
        return dest + ("-release" if trig == "release" else "-attack")
    return "signal" if dest == "signal" else "undefined"


def wave(name, curve=None, x="pitch", y="volume", dest="signal", op="add", trig="press",
         play="loop", xs=1.0, ys=1.0, yo=0.0, init=0.0, morph=None, children=()):
    """A wave node; members follow the engine's property order and the
    defaults (x-scale and y-scale 1, y-ofs and init-value 0) are left out."""
    m = [("x-attrib", x), ("y-attrib", y), ("dest-attrib", dest), ("dest-op", op),
         ("trig-mode", trig), ("pos-mode", "relative"), ("play-mode", play)]
    for key, v, default in (("x-scale", xs, 1.0), ("y-scale", ys, 1.0), ("y-ofs", yo, 0.0),
                            ("init-value", init, 0.0)):
        if float(v) != default:
            m.append((key, float(v)))
    if curve is not None:
        m.append(("curve", {"points": [v for xy in coords(curve) for v in xy]}))
    if morph:
        m.append(("morph", {"type": "VornMorph", "points": [
            dict([("curve", {"points": [v for xy in coords(c) for v in xy]}), ("index", k)]
                 + ([("horizontal", True)] if h else []))
            for k, h, c in morph]}))
    m.append(("kind", _kind(y, dest, trig, play)))
    return Node("VornWave", name, m, children)


# Common waves.  Volume curves run in decibels (y-scale 96, y-ofs -96 maps
# the curve's 0..1 to -96..0 dB); pitch curves run in semitones.

def attack(seconds, curve=None):
    """"Volume Attack": -96 dB to 0 dB over the given time."""
    return wave("Volume Attack", curve or env((0, 0), (1, 1)), x="time", y="none",
                dest="volume", op="mul", play="once", xs=1.0 / seconds, ys=96.0, yo=-96.0)


def release(seconds, curve=None):
    """"Volume Release": 0 dB to -96 dB after note-off; its end ends the voice."""
    return wave("Volume Release", curve or env((0, 1), (1, 0)), x="time", y="none",
                dest="volume", op="mul", trig="release", play="stop", xs=1.0 / seconds,
                ys=96.0, yo=-96.0)


def vol_env(name, seconds, curve, db=96.0, play="once", trig="press"):
    """A volume envelope in decibels: curve y 0..1 maps to -db..0 dB."""
    return wave(name, curve, x="time", y="none", dest="volume", op="mul", trig=trig,
                play=play, xs=1.0 / seconds, ys=db, yo=-db)


def tremolo(name, rate, depth_db, curve=None):
    """A looping volume modulation of +-depth_db decibels."""
    return wave(name, curve or SINE, x="time", y="none", dest="volume", op="mul",
                xs=rate, ys=depth_db)


def vibrato(name, rate, semitones, curve=None):
    """A looping pitch modulation of +-semitones."""
    return wave(name, curve or SINE, x="time", y="none", dest="pitch", op="mul",
                xs=rate, ys=semitones)


def pitch_env(name, seconds, curve, semitones, trig="press"):
    """A pitch envelope in semitones (curve y 1 = +semitones), played once."""
    return wave(name, curve, x="time", y="none", dest="pitch", op="mul", trig=trig,
                play="once", xs=1.0 / seconds, ys=semitones)


def fm(name, ratio, index, curve=None):
    """Linear frequency modulation of the parent: pitch becomes
    pitch * (1 + index * curve) with the curve running at ratio times the
    note, so the mean pitch is kept as long as the curve has no DC."""
    return wave(name, curve or SINE, x="pitch", y="pitch", dest="pitch", op="add",
                xs=440.0 * ratio, ys=index)


# The engine evaluates a morph curve at positions below its end: at exactly
# 1 it leaves the curve and the wave falls back to its base shape.  Morph
# drivers therefore stop just short of 1.
MORPH_END = 0.999


def morph_env(name, seconds, curve, y="none", trig="press", play="once"):
    """Drives the morph position with a curve over time."""
    return wave(name, curve, x="time", y=y, dest="morph", op="set", trig=trig, play=play,
                xs=1.0 / seconds, ys=MORPH_END)


def morph_lfo(name, rate, curve=None):
    """Moves the morph position back and forth (0 -> 1 -> 0) in a loop."""
    return wave(name, curve or PEAK, x="time", y="none", dest="morph", op="set", xs=rate,
                ys=MORPH_END)


def balance_lfo(name, rate, width, curve=None):
    return wave(name, curve or SINE, x="time", y="none", dest="balance", op="add", xs=rate,
                ys=width)


def latitude_lfo(name, rate, width, curve=None):
    return wave(name, curve or SINE, x="time", y="none", dest="latitude", op="add", xs=rate,
                ys=width)


def osc(name, curve, ratio=1.0, level=1.0, morph=None, children=()):
    """An oscillator at ratio times the note (440 Hz at the root note)."""
    return wave(name, curve, xs=440.0 * ratio, ys=level, morph=morph, children=children)


def control(name, dest, value):
    """A control wave that sets an effect attribute for its parent filter."""
    return wave(name, None, x="none", y="control", dest=dest, op="set", init=value)


def lowpass(name, freq, q_attrib, children):
    return Node("VornFilterRbjLowpass", name, [("freq-attrib", freq), ("q-attrib", q_attrib),
                ("src-attrib", "signal"), ("dest-attrib", "signal")], children)


def highpass(name, freq, q_attrib, children):
    return Node("VornFilterRbjHighpass", name, [("freq-attrib", freq), ("q-attrib", q_attrib),
                ("src-attrib", "signal"), ("dest-attrib", "signal")], children)


def bandpass(name, freq, width_attrib, children):
    return Node("VornFilterRbjBandpass", name, [("freq-attrib", freq),
                ("width-attrib", width_attrib), ("src-attrib", "signal"),
                ("dest-attrib", "signal")], children)


def noise(name, level, seed=1, children=()):
    """White noise added to the signal.  The xorshift values carry their sign
    bit also in the top mantissa bit, so negative values are larger on
    average and the raw noise has a mean of -0.25; the offset cancels it."""
    m = [("noise-type", "xorshift64")]
    if seed != 1:
        m.append(("seed", seed))
    m += [("y-attrib", "volume"), ("dest-attrib", "signal"), ("dest-op", "add"),
          ("trig-mode", "press")]
    if float(level) != 1.0:
        m.append(("y-scale", float(level)))
    m.append(("y-ofs", 0.25 * level))
    return Node("VornFilterNoise", name, m, children)


def inst(name, *children):
    """An instrument with the default root note (69) and category
    ("Electronic"), which are therefore not written."""
    return Node("VornInst", name, [("sig-attrib", "signal"), ("bal-attrib", "balance"),
                ("lat-attrib", "latitude"), ("src-attrib", "speakers"),
                ("dest-attrib", "speakers")], children)


SINE = [Point(0, 0, rx=0, ry=0), Point(0.25, 1, 0.125, 1, 0.375, 1),
        Point(0.75, -1, 0.625, -1, 0.875, -1), Point(1, 0, lx=1, ly=0)]
TRIANGLE = sharp((0, 0), (0.25, 1), (0.75, -1), (1, 0))
SQUARE = sharp((0, -1), (0.5, -1), (0.5, 1), (1, 1))
SAW = sharp((0, 0), (0.5, 1), (0.5, -1), (1, 0))
PEAK = sharp((0, 0), (0.5, 1), (1, 0))

# --- writing --------------------------------------------------------------

FILE_MEMBERS = [
    ("name", "Zelmora bank"),
    ("format", "Vornadel:Waves"),
    ("format-version", "1.0"),
    ("software-created", "Zelmora 0.9.0"),
    ("software-edited", "Zelmora 0.9.0"),
    ("uuid", "5a1e3b0c-7d2f-4c8e-9b61-0e4f2a9d7c35"),
    ("author", "Zelmora"),
    ("license", "Public Domain"),
]


def number(v):
    s = next(t for t in ("%.*g" % (p, v) for p in range(1, 18)) if float(t) == v)
    if "." not in s and "e" not in s:
        s += ".0"
    return s


def emit(v, level, out):
    pad = "  " * level
    if isinstance(v, bool):
        out.append("true" if v else "false")
    elif isinstance(v, int):
        out.append(str(v))
    elif isinstance(v, float):
        assert math.isfinite(v) and (v == 0 or 1e-4 <= abs(v) < 1e15), v
        out.append(number(v))
    elif isinstance(v, str):
        assert all(32 <= ord(c) < 127 and c not in '"\\' for c in v), v
        out.append('"' + v + '"')
    elif isinstance(v, dict):
        out.append("{\n")
        items = list(v.items())
        for i, (key, val) in enumerate(items):
            out.append(pad + '  "' + key + '" : ')
            emit(val, level + 1, out)
            out.append(",\n" if i < len(items) - 1 else "\n")
        out.append(pad + "}")
    elif isinstance(v, list):
        assert v, "empty arrays are never written"
        if not any(isinstance(e, (dict, list)) for e in v):
            parts = []
            for e in v:
                emit(e, level + 1, parts)
            out.append("[" + ",".join(parts) + "]")
            return
        out.append("[\n")
        for i, val in enumerate(v):
            out.append(pad + "  ")
            emit(val, level + 1, out)
            out.append(",\n" if i < len(v) - 1 else "\n")
        out.append(pad + "]")
    else:
        raise TypeError(v)


def to_json(node, ids):
    d = {"type": node.type_name}
    ids[0] += 1
    d["id"] = ids[0]
    if node.name != "Untitled":
        d["name"] = node.name
    d.update(node.members)
    if node.children:
        d["nodes"] = [to_json(c, ids) for c in node.children]
    return d


def load_description(path=None):
    """Runs the description with the helpers of this file in scope and
    returns its namespace (INSTRUMENTS, DESCRIPTIONS, ...)."""
    path = path or os.path.join(HERE, "bank-instruments.py")
    helpers = {k: v for k, v in globals().items() if not k.startswith("_")}
    return runpy.run_path(path, init_globals=helpers)


def load_instruments(path=None):
    return load_description(path)["INSTRUMENTS"]


def build(instruments):
    ids = [0]
    nodes = [to_json(i, ids) for i in instruments]
    d = {"type": "VornFile"}
    d.update(FILE_MEMBERS)
    d["next-id"] = ids[0] + 1
    d["nodes"] = nodes
    out = []
    emit(d, 0, out)
    return "".join(out), ids[0]


def main():
    ap = argparse.ArgumentParser(description="Write the built-in instrument bank.")
    ap.add_argument("-o", "--output", help="file to write (default: standard output)")
    ap.add_argument("--check", metavar="FILE", help="compare with FILE instead of writing")
    args = ap.parse_args()

    text, count = build(load_instruments())
    if args.check:
        with open(args.check, "rb") as f:
            same = f.read() == text.encode("utf-8")
        print("%s %s the generated bank (%d nodes)" % (args.check, "matches" if same else
              "differs from", count))
        return 0 if same else 1
    if args.output:
        with open(args.output, "w", encoding="utf-8") as f:
            f.write(text)
    else:
        sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
