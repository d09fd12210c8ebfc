# The built-in instrument bank: the 23 instruments in their order.
#
# bank-gen.py runs this file with its helpers in scope (wave, osc, attack,
# release, morph, harmonics, smooth, ...) and writes INSTRUMENTS as the bank;
# node ids follow from the order here, so edit shapes and values freely and
# regenerate.  Levels are chosen so that one note at full velocity peaks
# around -15 dBFS and a four-note chord stays below -1 dBFS.
#
# Conventions of the helpers: osc(name, curve, ratio, level) plays its curve
# at ratio times the note; volume envelopes run in decibels over their curve's
# 0..1 (attack and release: -96..0 dB); pitch envelopes and vibratos run in
# semitones; a wave's children modulate only that wave.

import math

TAU = 2 * math.pi

# --- shapes ---------------------------------------------------------------

SMOOTH_PEAK = smooth((0, 0), (0.5, 1), (1, 0))      # 0 -> 1 -> 0 without corners
RISE = smooth_env((0, 0), (1, 1))                    # eased 0 -> 1
FALL = smooth_env((0, 1), (1, 0))                    # eased 1 -> 0

# A fast rise in decibels that then creeps up to full level: a pad whose
# swell is heard for seconds without staying inaudible at first.
SWELL = smooth_env((0, 0), (0.15, 0.72), (0.5, 0.93), (1, 1))

PURE = harmonics([1.0])
PURE_20 = harmonics([1.0], n=20)
PAD_DARK = harmonics([1.0, 0.3, 0.1, 0.05])
PAD_BRIGHT = harmonics([1.0, 0.6, 0.45, 0.35, 0.28, 0.22, 0.18])

# Two vowels as harmonic spectra at the voice's middle range: an open "ah"
# with its energy around partials 3 to 5, a round "oo" close to the bottom.
VOWEL_AH = harmonics([0.6, 0.5, 1.0, 0.7, 0.8, 0.3, 0.2, 0.1], n=20)
VOWEL_OO = harmonics([1.0, 0.8, 0.25, 0.35, 0.1, 0.05, 0.03, 0.02], n=20)

BODY_BRIGHT = harmonics([1.0, 0.6, 0.5, 0.45, 0.3, 0.3, 0.2], n=20)
EP_BRIGHT = harmonics([1.0, 0.45, 0.25, 0.15, 0.1])

# A rounded square and a hard one with the same points, so the morph can
# sharpen the edges (the corners move sideways as well as up).
ROUND_SQUARE = smooth((0, 0), (0.1, 0.8), (0.25, 1), (0.4, 0.8), (0.5, 0), (0.6, -0.8),
                      (0.75, -1), (0.9, -0.8), (1, 0))
HARD_SQUARE = sharp((0, 0), (0.02, 1), (0.25, 1), (0.48, 1), (0.5, 0), (0.52, -1),
                    (0.75, -1), (0.98, -1), (1, 0))

# A quarter-duty pulse (every fourth partial missing) and a hollow,
# square-like spectrum of odd partials.
LEAD_PULSE = harmonics([abs(math.sin(math.pi * k / 4)) / k for k in range(1, 11)], n=28)
LEAD_HOLLOW = harmonics([1.0 / k if k % 2 else 0.05 / k for k in range(1, 11)], n=28)

ORGAN = harmonics([1.0, 0.5, 0.3, 0.2, 0.0, 0.1])

REED = harmonics([1.0, 0.9, 0.85, 0.8, 0.7, 0.65, 0.6, 0.5, 0.45, 0.4, 0.35, 0.3], n=32)
REED_SOFT = harmonics([1.0, 0.5, 0.3, 0.2, 0.15, 0.1, 0.08, 0.06, 0.05, 0.04, 0.03, 0.02], n=32)

IRON_A = harmonics([1.0, 0.0, 0.5, 0.0, 0.3, 0.2, 0.0, 0.35], n=20)
IRON_B = harmonics([1.0, 0.6, 0.0, 0.45, 0.0, 0.1, 0.4, 0.0], n=20)
IRON_C = harmonics([0.8, 0.2, 0.6, 0.1, 0.5, 0.0, 0.1, 0.3], n=20)

BRASS_DARK = harmonics([1.0, 0.4, 0.2, 0.1, 0.05, 0.03, 0.02, 0.01, 0.0, 0.0], n=28)
BRASS_BRIGHT = harmonics([1.0, 0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.35, 0.3, 0.25], n=28)

# A triangle whose peaks slide outwards: still zero on average, but with a
# steep flank like a saw.
TRIANGLE_SKEWED = sharp((0, 0), (0.12, 1), (0.88, -1), (1, 0))

NIGHT_A = harmonics([1.0, 0.25, 0.12, 0.05])
NIGHT_B = harmonics([1.0, 0.1, 0.3, 0.02])
SUN_BRIGHT = harmonics([1.0, 0.6, 0.5, 0.4, 0.35, 0.3, 0.25, 0.2])

FLUTE = harmonics([1.0, 0.12, 0.05])
DRIVE = 3.0
FLUTE_DRIVEN = func(lambda x: math.tanh(DRIVE * math.sin(TAU * x)) / math.tanh(DRIVE),
                    lambda x: DRIVE * TAU * math.cos(TAU * x)
                    / math.cosh(DRIVE * math.sin(TAU * x)) ** 2 / math.tanh(DRIVE), 16)

ETERNAL_A = harmonics([1.0, 0.5, 0.0, 0.25, 0.0, 0.12])
ETERNAL_B = harmonics([1.0, 0.0, 0.45, 0.0, 0.3, 0.0])
ETERNAL_C = harmonics([1.0, 0.3, 0.3, 0.3, 0.2, 0.2])

# Two square-like shapes with equal areas above and below zero: a plain
# square and one with steps, which the toggle flips between.
TOGGLE_A = sharp((0, 1), (0.25, 1), (0.25, 1), (0.5, 1), (0.5, -1), (0.75, -1), (0.75, -1),
                 (1, -1))
TOGGLE_B = sharp((0, 1), (0.25, 1), (0.25, 0.3), (0.5, 0.3), (0.5, -1), (0.75, -1),
                 (0.75, -0.3), (1, -0.3))
FLIP = sharp((0, 0), (0.5, 0), (0.5, 1), (1, 1))


def vox(level):
    return [attack(0.12), release(0.5),
            vibrato("Vibrato", 5.2, 0.1),
            osc("Voice", VOWEL_AH, level=level, morph=morph(VOWEL_AH, (1.0, VOWEL_OO)),
                children=[morph_lfo("Vowel Change", 0.35, SMOOTH_PEAK)])]


def bee(level):
    return [attack(0.015), release(0.2),
            vibrato("Buzz", 7.0, 0.07),
            tremolo("Wing Flutter", 23.0, 1.5),
            osc("Bee Saw", SAW, level=level)]


INSTRUMENTS = [
    # A pad that opens from a dark to a bright spectrum over five seconds and
    # closes again when released, drifting slowly between the speakers.
    inst("In The Beginning",
         attack(2.0, SWELL), release(2.5),
         balance_lfo("Slow Drift", 0.13, 0.35),
         osc("Pad Wave", PAD_DARK, level=0.188, morph=morph(PAD_DARK, (1.0, PAD_BRIGHT)),
             children=[morph_env("Morph Attack", 5.0, RISE),
                       morph_env("Morph Release", 2.5, FALL, y="morph", trig="release")])),

    inst("Vox Humina", *vox(0.158)),

    inst("Vox Humina Filtered", *vox(0.25),
         bandpass("Formant Filter", "effect1", "effect2", [
             control("Center", "effect1", 900.0),
             control("Width", "effect2", 2.5),
             wave("Center Sweep", SINE, x="time", y="none", dest="effect1", op="add",
                  xs=0.15, ys=300.0)])),

    # Drawbars 8', 4', 2 2/3' and 2' with a slow rotor tremolo; the attack is
    # a few milliseconds, the level stays until the key is released.
    inst("Organic",
         attack(0.004), release(0.06),
         tremolo("Rotor", 6.5, 1.0),
         osc("Drawbar 8'", PURE, 1.0, 0.229),
         osc("Drawbar 4'", PURE, 2.0, 0.164),
         osc("Drawbar 2 2/3'", PURE, 3.0, 0.131)),

    # A bright strike that mellows within a quarter second, with a slightly
    # stretched octave that fades faster than the body.
    inst("Steel Drum Synth",
         attack(0.002), release(0.25),
         vol_env("Decay", 1.6, smooth_env((0, 1), (0.15, 0.8), (1, 0.35))),
         osc("Pan Body", BODY_BRIGHT, level=0.26, morph=morph(BODY_BRIGHT, (1.0, PURE_20)),
             children=[morph_env("Strike", 0.4, RISE)]),
         osc("Overtone", PURE, ratio=2.013, level=0.104,
             children=[vol_env("Overtone Decay", 0.5, env((0, 1), (1, 0.5)))])),

    # Linear FM of a rounded square at twice the note; the edges sharpen with
    # the played volume as the envelope and the velocity raise the morph.
    inst("FM Wanna Be Square",
         attack(0.003), release(0.12),
         osc("FM Square", ROUND_SQUARE, level=0.456,
             morph=morph(ROUND_SQUARE, (1.0, HARD_SQUARE)),
             children=[fm("Modulator", 2.0, 0.35),
                       wave("Velocity Edge", env((0, 0.3), (1, 1)), x="time", y="volume",
                            dest="morph", op="set", play="once", ys=MORPH_END, xs=12.5)])),

    inst("Pan Synth",
         attack(0.01), release(0.3),
         balance_lfo("Pan Sweep", 0.4, 0.8),
         osc("Lead", LEAD_PULSE, level=0.246, morph=morph(LEAD_PULSE, (1.0, LEAD_HOLLOW)),
             children=[morph_lfo("Lead Morph", 0.4, SMOOTH_PEAK)])),

    # Two organ voices a slightly sharp octave apart, each wobbling in its
    # own way under a common tremolo.
    inst("Zweikatzenorgel",
         attack(0.02), release(0.2),
         tremolo("Wobble", 4.5, 1.5),
         osc("Katze Eins", ORGAN, level=0.213),
         osc("Katze Zwei", ORGAN, ratio=2 * 2 ** (9 / 1200), level=0.119,
             children=[vibrato("Zwei Wobble", 4.3, 0.2)])),

    inst("Electric Piano",
         attack(0.002), release(0.35),
         vol_env("Decay", 4.0, smooth_env((0, 1), (0.1, 0.9), (1, 0.62))),
         osc("Tine", PURE, ratio=7.0, level=0.217,
             children=[vol_env("Tine Decay", 0.4, env((0, 1), (1, 0.4)))]),
         osc("Body", EP_BRIGHT, level=0.334, morph=morph(EP_BRIGHT, (1.0, PURE)),
             children=[morph_env("Body Mellow", 1.2, RISE)])),

    inst("Accordion",
         attack(0.04), release(0.12),
         tremolo("Bellows Tremolo", 5.5, 1.2),
         osc("Reed", REED_SOFT, level=0.0957, morph=morph(REED_SOFT, (1.0, REED)),
             children=[morph_env("Bellows", 0.3, RISE)])),

    # A partial-rich cycle moving through three shapes and back, over an
    # inharmonic ring at 2.76 times the note.
    inst("Eisenmorph",
         attack(0.005), release(0.6),
         osc("Iron", IRON_A, level=0.229, morph=morph(IRON_A, (0.5, IRON_B), (1.0, IRON_C)),
             children=[morph_lfo("Shape Cycle", 0.7, SMOOTH_PEAK)]),
         osc("Ring", PURE, ratio=2.76, level=0.172)),

    # A brass stab that starts an octave high and drops into place within
    # 80 ms while its bright attack darkens.
    inst("KickNBrass",
         attack(0.003), release(0.25),
         pitch_env("Pitch Drop", 0.08, FALL, 12.0),
         vol_env("Stab", 0.5, smooth_env((0, 1), (0.3, 0.85), (1, 0.8))),
         osc("Brass", BRASS_BRIGHT, level=0.175, morph=morph(BRASS_BRIGHT, (1.0, BRASS_DARK)),
             children=[morph_env("Brass Fall", 0.4, RISE)])),

    inst("Big Bee", *bee(0.416)),

    inst("Big Bee LPF", *bee(0.216),
         lowpass("Lowpass", "effect1", "effect2", [
             control("Cutoff", "effect1", 1400.0),
             control("Resonance", "effect2", 3.0),
             wave("Cutoff Envelope", FALL, x="time", y="none", dest="effect1", op="add",
                  play="once", xs=1 / 0.6, ys=2500.0)])),

    inst("Trigon",
         attack(0.02), release(0.25),
         osc("Triangle", TRIANGLE, level=0.472, morph=morph(TRIANGLE, (1.0, TRIANGLE_SKEWED)),
             children=[vibrato("Vibrato", 5.0, 0.06),
                       wave("Velocity Skew", env((0, 0), (1, 0.5)), x="time", y="volume",
                            dest="morph", op="set", play="once", ys=MORPH_END, xs=1 / 0.15)])),

    inst("Desert Night",
         attack(1.2, SWELL), release(2.0),
         latitude_lfo("Night Wind", 0.09, 0.6),
         osc("Night", NIGHT_A, level=0.393, morph=morph(NIGHT_A, (1.0, NIGHT_B)),
             children=[morph_lfo("Dune Shift", 0.15, SMOOTH_PEAK)]),
         osc("Night Air", PURE, ratio=2 * 2 ** (4 / 1200), level=0.09)),

    inst("Desert Sunrise",
         attack(1.0, SWELL), release(2.0),
         balance_lfo("Warm Drift", 0.11, 0.4),
         osc("Sunrise", NIGHT_A, level=0.157, morph=morph(NIGHT_A, (1.0, SUN_BRIGHT)),
             children=[morph_env("Dawn", 6.0, RISE)]),
         osc("Glare", PURE, ratio=4.0, level=0.088)),

    inst("Ode To Empire",
         attack(0.09), release(0.6),
         vibrato("Ensemble Vibrato", 5.0, 0.07),
         osc("Brass Section", BRASS_DARK, level=0.148,
             morph=morph(BRASS_DARK, (1.0, BRASS_BRIGHT)),
             children=[morph_env("Swell", 0.8, smooth_env((0, 0), (1, 0.8)))]),
         osc("String Section", SAW, level=0.066,
             children=[vibrato("Bowing", 5.7, 0.08)])),

    # A flute whose cycle is pushed towards a clipped sine as the breath
    # builds up, with a little noise for the air.
    inst("Distortion Flute",
         attack(0.06), release(0.2),
         vibrato("Flute Vibrato", 4.8, 0.08),
         noise("Breath", 0.0196),
         osc("Flute", FLUTE, level=0.425, morph=morph(FLUTE, (1.0, FLUTE_DRIVEN)),
             children=[wave("Overdrive", env((0, 0), (0.3, 1), (1, 0.7)), x="time",
                            y="volume", dest="morph", op="set", play="once", ys=MORPH_END, xs=2.0)])),

    inst("Eternity",
         attack(3.0, SWELL), release(5.0),
         latitude_lfo("Orbit", 0.05, 0.7),
         osc("Drone", ETERNAL_A, level=0.257,
             morph=morph(ETERNAL_A, (0.5, ETERNAL_B), (1.0, ETERNAL_C)),
             children=[morph_lfo("Evolve", 1 / 14, SMOOTH_PEAK)]),
         osc("Overtone Drone", PURE, ratio=3.0, level=0.077)),

    inst("Toggle",
         attack(0.005), release(0.15),
         osc("Toggle Wave", TOGGLE_A, level=0.46, morph=morph(TOGGLE_A, (1.0, TOGGLE_B)),
             children=[morph_lfo("Flip", 3.0, FLIP)])),

    # A sine that falls two octaves in 120 ms under a one-shot envelope that
    # ends the voice after 0.6 s whatever the key does.
    inst("Bass Drum",
         wave("Volume Attack", smooth_env((0, 0), (0.005, 1), (0.3, 0.7), (1, 0)), x="time",
              y="none", dest="volume", op="mul", play="stop", xs=1 / 0.6, ys=96.0, yo=-96.0),
         pitch_env("Pitch Attack", 0.12, FALL, 24.0),
         osc("Kick", PURE, ratio=0.84, level=0.475),
         noise("Beater", 0.063, children=[
             vol_env("Beater Click", 0.015, env((0, 1), (1, 0)), db=60.0)])),

    inst("Noise Cymbal",
         wave("Volume Envelope", smooth_env((0, 0), (0.002, 1), (0.15, 0.75), (1, 0)),
              x="time", y="none", dest="volume", op="mul", play="stop", xs=1 / 1.8, ys=96.0,
              yo=-96.0),
         noise("White Noise", 0.167),
         highpass("Highpass Filter", "effect1", "effect2", [
             control("Cutoff", "effect1", 6500.0),
             control("Resonance", "effect2", 0.8)])),
]

# One line each for the bank's page in the documentation (docs/bank.md).
DESCRIPTIONS = {
    "In The Beginning": "A slow, wide pad that opens up over seconds through a morph attack "
                        "and closes again on release.",
    "Vox Humina": "A vowel-like voice; the morph moves between an open \"ah\" and a round "
                  "\"oo\".",
    "Vox Humina Filtered": "The same voice through a band-pass whose centre and width are "
                           "control waves, the centre swaying slowly.",
    "Organic": "A drawbar organ (8', 4', 2 2/3') with a rotor tremolo: instant attack, no "
               "decay.",
    "Steel Drum Synth": "A bright, slightly inharmonic strike that mellows and decays fast.",
    "FM Wanna Be Square": "A frequency-modulated rounded square whose edges sharpen with the "
                          "played volume.",
    "Pan Synth": "A lead that sweeps across the speakers while its shape morphs.",
    "Zweikatzenorgel": "A detuned, wobbly two-voice organ.",
    "Electric Piano": "A bell-like tine over a body that mellows and decays.",
    "Accordion": "Reedy, brightening as the bellows push, with a gentle tremolo.",
    "Eisenmorph": "A metallic tone whose shape morphs continuously through three cycles, over "
                  "an inharmonic ring.",
    "KickNBrass": "A brass stab that drops an octave into pitch at the start.",
    "Big Bee": "A buzzing saw lead with a fast flutter.",
    "Big Bee LPF": "The same bee through a resonant low-pass that closes after the attack.",
    "Trigon": "A soft triangle lead that leans towards a saw when played hard.",
    "Desert Night": "A dark pad drifting front to back.",
    "Desert Sunrise": "The related bright pad: its spectrum rises over six seconds.",
    "Ode To Empire": "A broad brass and strings ensemble.",
    "Distortion Flute": "A breathy flute whose cycle is driven into a clipped edge.",
    "Eternity": "A long evolving drone that moves through three shapes and orbits the room.",
    "Toggle": "A square lead that flips between two shapes three times a second.",
    "Bass Drum": "A pitched kick: a one-shot volume attack and a two-octave pitch drop.",
    "Noise Cymbal": "High-passed white noise under one volume envelope.",
}
