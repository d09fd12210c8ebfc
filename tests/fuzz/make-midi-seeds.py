#!/usr/bin/python3
"""Writes the seed corpus of the MIDI file fuzz target: small files of the
kinds found in the wild (format 0 and 1, running status, tempo changes,
overlapping notes of one pitch, system exclusive and meta events).

Usage: make-midi-seeds.py DIRECTORY"""
import struct
import sys
from pathlib import Path


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, 0x80 | (n & 0x7F))
        n >>= 7
    return bytes(out)


def meta(kind, data):
    return bytes([0xFF, kind]) + vlq(len(data)) + data


def tempo(bpm):
    return meta(0x51, (60_000_000 // bpm).to_bytes(3, "big"))


END = meta(0x2F, b"")


def track(*events):
    """events: (delta, bytes) pairs; an end of track is added."""
    body = b"".join(vlq(d) + e for d, e in events)
    if not body.endswith(END):
        body += vlq(0) + END
    return b"MTrk" + struct.pack(">I", len(body)) + body


def smf(fmt, division, *tracks, extra=b""):
    return b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks), division) + extra + b"".join(tracks)


def note(ch, n, v=100):
    return bytes([0x90 | ch, n, v])


def off(ch, n):
    return bytes([0x80 | ch, n, 64])


SEEDS = {
    # One track; note-offs as note-ons of velocity 0 under running status.
    "format0-running-status.mid": smf(0, 96, track(
        (0, meta(0x03, b"Scale")), (0, tempo(120)), (0, meta(0x58, bytes([4, 2, 24, 8]))),
        (0, meta(0x59, bytes([0, 0]))), (0, note(0, 60)), (48, bytes([60, 0])),
        (0, bytes([62, 90])), (48, bytes([62, 0])), (0, bytes([64, 80])), (96, bytes([64, 0])))),
    # A tempo track and two instrument tracks on channels 1 and 2.
    "format1-tracks.mid": smf(1, 480,
        track((0, tempo(100)), (1920, tempo(140)), (1920, tempo(60))),
        track((0, meta(0x03, b"Lead")), (0, note(0, 72)), (960, off(0, 72)), (0, note(0, 74)),
              (2880, off(0, 74))),
        track((0, bytes([0xC1, 5])), (0, note(1, 48, 70)), (3840, off(1, 48)))),
    # A pitch struck again before its note-off, and a note left held.
    "overlapping-notes.mid": smf(0, 96, track(
        (0, note(0, 69)), (24, note(0, 69, 80)), (24, off(0, 69)), (48, off(0, 69)),
        (0, note(0, 57)), (12, note(0, 57)), (12, note(0, 57)), (24, off(0, 57)),
        (0, note(2, 40)))),
    # Tempo changes while notes sound, at an odd division.
    "tempo-changes.mid": smf(0, 7, track(
        (0, tempo(60)), (0, note(0, 60)), (3, tempo(240)), (3, tempo(33)), (1, off(0, 60)),
        (0, note(0, 61)), (7, tempo(500)), (7, off(0, 61)))),
    # System exclusive (whole and in packets) and controller messages
    # between notes, a controller under running status.
    "sysex-controllers.mid": smf(0, 96, track(
        (0, bytes([0xF0, 5, 0x7E, 0x7F, 9, 1, 0xF7])), (0, bytes([0xB0, 7, 100])),
        (0, bytes([10, 64])), (0, bytes([0xE0, 0, 0x40])), (0, note(0, 64)),
        (10, bytes([0xF0, 2, 0x43, 0x10])), (10, bytes([0xF7, 2, 0x4C, 0xF7])),
        (0, bytes([0xD0, 90])), (20, bytes([0xA0, 64, 30])), (20, off(0, 64)))),
    # Text, marker, lyric, copyright, sequencer-specific and unknown meta
    # events, and an unknown chunk before the track.
    "meta-events.mid": smf(1, 192, track(
        (0, meta(0x01, b"text")), (0, meta(0x02, b"(c) nobody")), (0, meta(0x05, b"la")),
        (0, meta(0x06, b"verse")), (0, meta(0x7F, bytes([0, 0, 0x41, 1]))), (0, meta(0x21, bytes([0]))),
        (0, meta(0x60, b"?")), (0, note(9, 36, 127)), (96, off(9, 36)), (0, note(9, 38, 100)),
        (96, off(9, 38))), extra=b"XFIH" + struct.pack(">I", 4) + b"\0\0\0\0"),
    # Chords on every channel, all released at once.
    "chords.mid": smf(0, 96, track(
        *[(0, note(c, 48 + 2 * c, 40 + 5 * c)) for c in range(16)],
        (192, off(0, 48)), *[(0, off(c, 48 + 2 * c)) for c in range(1, 16)])),
}

if __name__ == "__main__":
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for name, data in SEEDS.items():
        (out / name).write_bytes(data)
