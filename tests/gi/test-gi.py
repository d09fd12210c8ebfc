#!/usr/bin/python3
"""Plays a note through the engine's introspection data, as a Python front
end would: the typelib is loaded with PyGObject, a CPU synthesizer renders
offline through the public render API, and the output is measured."""
import array
import math
import os
import sys
import unittest

typelib = os.environ.get('VORN_TYPELIB', '')
if not typelib or not os.path.exists(typelib):
    print('SKIP: the build made no typelib (introspection disabled, '
          'g-ir-scanner missing, or a sanitizer build)')
    sys.exit(77)

import gi  # noqa: E402

gi.require_version('Vornadel', '0.9')
from gi.repository import GLib, Vornadel  # noqa: E402

Vornadel.init('Zelmora 0.9.0')


class NoteThroughTypelib(unittest.TestCase):
    def test_calls_a_front_end_makes(self):
        synth, inst = Vornadel.SynthCpu.new(), Vornadel.Inst.new_default()
        # In order: (call, what it gives); each needs an annotation right.
        for n, (call, expected) in enumerate([
                (lambda: synth.render_interleaved_bytes(64), None),     # nullable: not started
                (synth.start, True),
                (synth.is_started, True),
                (lambda: synth.render_interleaved_bytes(0).get_data() or b'', b''),
                (lambda: synth.set_inst(0, inst), None),
                (lambda: synth.get_inst(0) is inst, True),              # transfer none
                (lambda: isinstance(synth.note_on(synth.get_device_id(), 0, 0, 69, 127)[1], Vornadel.Queue),
                 True),  # out argument
                (lambda: round(Vornadel.util_midi_note_freq(57), 3), 220.0),
                (synth.stop, None),
                (lambda: synth.render_interleaved_bytes(64), None)]):
            self.assertEqual(call(), expected, f'call {n}')

    def test_a4_frequency_and_level(self):
        # The interleaved length and the pitch must not depend on the sample
        # rate or on how many speakers the frames interleave.
        for rate, speakers in ((48000, 2), (44100, 4), (96000, 1)):
            with self.subTest(rate=rate, speakers=speakers):
                synth = Vornadel.SynthCpu.new()
                synth.set_property('sample-rate', float(rate))
                synth.set_property('speaker-count', speakers)
                synth.start()
                self.addCleanup(synth.stop)
                synth.set_inst(0, Vornadel.Inst.new_default())

                def render(frames):
                    data = synth.render_interleaved_bytes(frames)
                    self.assertIsInstance(data, GLib.Bytes)
                    samples = array.array('f', data.get_data())
                    self.assertEqual(len(samples), frames * speakers)
                    return samples

                self.assertEqual(max(abs(s) for s in render(256)), 0.0, 'output before any note')
                voice, _ = synth.note_on(synth.get_device_id(), 0, 0, 69, 127)
                self.assertGreater(voice, 0)
                render(rate // 10)  # the attack
                steady = render(rate // 2)
                for spk in range(speakers):
                    chan = steady[spk::speakers]
                    peak = max(abs(s) for s in chan)
                    self.assertTrue(0.05 < peak <= 1.0, f'speaker {spk}: peak {peak}')
                    # A steady sine: RMS is peak / sqrt(2).
                    rms = math.sqrt(sum(s * s for s in chan) / len(chan))
                    self.assertAlmostEqual(rms / peak, 1 / math.sqrt(2), delta=0.02)

                # Upward zero crossings, linearly interpolated.
                chan = steady[0::speakers]
                times = [(i - 1 + chan[i - 1] / (chan[i - 1] - chan[i])) / rate
                         for i in range(1, len(chan)) if chan[i - 1] < 0.0 <= chan[i]]
                self.assertEqual(synth.voice_stats(False)[0], 1)
                self.assertGreater(len(times), 100)
                self.assertAlmostEqual((len(times) - 1) / (times[-1] - times[0]), 440.0, delta=1.0)


if __name__ == '__main__':
    unittest.main(verbosity=2)
