#!/usr/bin/python3
"""Plays a note through the engine's introspection data, as a Python front
end would: the typelib is loaded with PyGObject, a CPU synthesizer renders
offline through the public render API, and the output is measured."""
import array
import math
import os
import sys
import unittest

SKIP = 77

typelib = os.environ.get('VORN_TYPELIB', '')
if not typelib or not os.path.exists(typelib):
    print('SKIP: the build made no typelib (introspection disabled, '
          'g-ir-scanner missing, or a sanitizer build)')
    sys.exit(SKIP)

import gi  # noqa: E402

gi.require_version('Vornadel', '0.9')
from gi.repository import GLib, Vornadel  # noqa: E402

Vornadel.init('Zelmora 0.9.0')


def rising_crossings(samples, rate):
    """Times in seconds of the upward zero crossings, linearly interpolated."""
    times = []
    for i in range(1, len(samples)):
        a, b = samples[i - 1], samples[i]
        if a < 0.0 <= b:
            times.append((i - 1 + a / (a - b)) / rate)
    return times


class NoteThroughTypelib(unittest.TestCase):
    def make_synth(self, rate, speakers):
        synth = Vornadel.SynthCpu.new()
        self.assertIsInstance(synth, Vornadel.SynthCpu)
        synth.set_property('sample-rate', float(rate))
        synth.set_property('speaker-count', speakers)
        synth.start()
        self.addCleanup(synth.stop)
        self.assertTrue(synth.is_started())
        inst = Vornadel.Inst.new_default()
        synth.set_inst(0, inst)
        self.assertIs(synth.get_inst(0), inst)
        return synth

    def render(self, synth, frames, speakers):
        data = synth.render_interleaved_bytes(frames)
        self.assertIsInstance(data, GLib.Bytes)
        samples = array.array('f', data.get_data())
        self.assertEqual(len(samples), frames * speakers)
        return samples

    def test_a4_frequency_and_level(self):
        # The pitch must not depend on the sample rate or on how many
        # speakers the frames interleave.
        for rate, speakers in ((48000, 2), (44100, 4), (96000, 1)):
            with self.subTest(rate=rate, speakers=speakers):
                synth = self.make_synth(rate, speakers)

                silence = self.render(synth, 256, speakers)
                self.assertEqual(max(abs(s) for s in silence), 0.0,
                                 'output before any note')

                device = synth.get_device_id()
                voice, queue = synth.note_on(device, 0, 0, 69, 127)
                self.assertGreater(voice, 0)
                self.assertIsInstance(queue, Vornadel.Queue)

                # Skip the attack; measure the steady part.
                self.render(synth, rate // 10, speakers)
                steady = self.render(synth, rate // 2, speakers)
                frames = len(steady) // speakers
                for spk in range(speakers):
                    chan = steady[spk::speakers]
                    peak = max(abs(s) for s in chan)
                    self.assertGreater(peak, 0.05, f'speaker {spk} nearly silent')
                    self.assertLessEqual(peak, 1.0, f'speaker {spk} clips')
                    rms = math.sqrt(sum(s * s for s in chan) / frames)
                    # A steady sine: RMS is peak / sqrt(2).
                    self.assertAlmostEqual(rms / peak, 1 / math.sqrt(2), delta=0.02)

                times = rising_crossings(steady[0::speakers], rate)
                self.assertGreater(len(times), 100)
                freq = (len(times) - 1) / (times[-1] - times[0])
                self.assertAlmostEqual(freq, 440.0, delta=1.0)

                active, _ = synth.voice_stats(False)
                self.assertEqual(active, 1)

    def test_render_needs_a_started_synth(self):
        synth = Vornadel.SynthCpu.new()
        self.assertIsNone(synth.render_interleaved_bytes(64))
        synth.start()
        self.assertEqual(len(synth.render_interleaved_bytes(0).get_data() or b''), 0)
        synth.stop()
        self.assertIsNone(synth.render_interleaved_bytes(64))

    def test_note_frequency_helper(self):
        for note, freq in ((69, 440.0), (57, 220.0), (81, 880.0), (60, 261.6256)):
            with self.subTest(note=note):
                self.assertAlmostEqual(Vornadel.util_midi_note_freq(note), freq, places=3)


if __name__ == '__main__':
    unittest.main(verbosity=2)
