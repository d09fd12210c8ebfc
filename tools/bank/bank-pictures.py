#!/usr/bin/python3
"""Draws a waveform and a spectrogram of every instrument of the bank.

    bank-pictures.py --render PATH/zelmora-render --bank bank.vvi --output DOCS

Plays note 60 (middle C) at full velocity for 2.5 s on each instrument with
zelmora-render, writes DOCS/bank/NN-name.png and the page DOCS/bank.md with
each instrument's one-line description.  Needs numpy and matplotlib.
"""

import argparse
import importlib.util
import os
import struct
import subprocess
import sys
import tempfile

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
HOLD = 2.5
RATE = 48000


def read_wav(path):
    """The float frames of a 32-bit float WAV file as (frames, channels)."""
    with open(path, "rb") as f:
        data = f.read()
    pos, channels = 12, 1
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if cid == b"fmt ":
            channels = struct.unpack("<H", data[pos + 10:pos + 12])[0]
        elif cid == b"data":
            return np.frombuffer(data[pos + 8:pos + 8 + size], dtype="<f4").reshape(-1, channels)
        pos += 8 + size + (size & 1)
    raise ValueError("%s has no data chunk" % path)


def slug(name):
    return "".join(c if c.isalnum() else "-" for c in name.lower()).strip("-")


def draw(frames, name, path):
    t = np.arange(len(frames)) / RATE
    fig, (wave_ax, spec_ax) = plt.subplots(2, 1, figsize=(9, 5.2), sharex=True,
                                           gridspec_kw={"height_ratios": [1, 1.4]})
    wave_ax.plot(t, frames[:, 0], lw=0.3, color="#1f5fa8", label="left")
    wave_ax.plot(t, frames[:, 1], lw=0.3, color="#d0602a", alpha=0.6, label="right")
    wave_ax.axvline(HOLD, color="#777777", lw=0.8, ls="--")
    wave_ax.set_ylabel("amplitude")
    wave_ax.set_title("%s: note 60, velocity 127, released at %.1f s" % (name, HOLD))
    wave_ax.legend(loc="upper right", fontsize=7)
    mono = frames.mean(axis=1)
    spec_ax.specgram(mono, NFFT=2048, Fs=RATE, noverlap=1536, cmap="magma", vmin=-140,
                     scale="dB")
    spec_ax.set_ylim(0, 8000)
    spec_ax.set_ylabel("Hz")
    spec_ax.set_xlabel("seconds")
    fig.tight_layout()
    fig.savefig(path, dpi=90)
    plt.close(fig)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--render", required=True, help="the zelmora-render program")
    ap.add_argument("--bank", required=True, help="the bank file")
    ap.add_argument("--output", required=True, help="the docs directory")
    args = ap.parse_args()

    spec = importlib.util.spec_from_file_location("bank_gen", os.path.join(HERE, "bank-gen.py"))
    gen = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(gen)
    description = gen.load_description()
    instruments, descriptions = description["INSTRUMENTS"], description["DESCRIPTIONS"]

    os.makedirs(os.path.join(args.output, "bank"), exist_ok=True)
    lines = ["# The built-in bank", "",
             "The 23 instruments every start of Zelmora loads.  Each picture shows middle C "
             "played at full velocity for %.1f s and its release: the waveform of both "
             "speakers above, the spectrogram (up to 8 kHz) below." % HOLD, "",
             "The bank is generated from `tools/bank/bank-instruments.py` "
             "(`ninja bank-vvi`); these pictures come from `ninja bank-pictures`.", ""]
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "note.wav")
        for i, node in enumerate(instruments):
            subprocess.run([args.render, "-q", "-i", str(i), "-t", "8",
                            "-n", "60:0:%g:127" % HOLD, args.bank, wav], check=True)
            png = "%02d-%s.png" % (i + 1, slug(node.name))
            draw(read_wav(wav), node.name, os.path.join(args.output, "bank", png))
            lines += ["## %d. %s" % (i + 1, node.name), "", descriptions[node.name], "",
                      "![%s](bank/%s)" % (node.name, png), ""]
    with open(os.path.join(args.output, "bank.md"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
