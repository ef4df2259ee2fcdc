#!/usr/bin/env python3
"""Writes the VRO Drubbel factory bank from sound-design recipes.

    tools/make_factory_bank.py [--levels tools/factory_bank_levels.txt] [--out resources/FactoryBank.xml]

Every program is a recipe of its category (acid, sub, analog, pluck and wobble basses; leads; poly
pads, keys, brass, strings and gated chords; arpeggios and sequences; percussion and effects) plus
a named variation. Recipes speak in musical terms (cutoff in hertz, times in knob positions,
"1/16" clock, "UP" arpeggio, patterns as notes and rhythms) and are encoded here into the
document's normalised values.

The bank is a version 1.1 document, as the plug-in expects of its factory content: its programs
carry no "path", no frequency-modulation settings, no swing and no noise floor (the reader gives
those their defaults), and the percussion programs also no "portamentolinear". Because the reader
converts 1.1 values, arpeggiator modes and synced LFO rates are written in the 1.1 encoding.

Levels: the output volume is applied after everything else, so it scales a program's loudness
exactly. The levels file holds, per program, the loudness and peak measured by the sound check and
the volume it was measured at; with it, each program's volume is set so that its loudness meets
the target of its group within the peak limit. Without it, the recipes' volumes stand. To measure
a bank file without rebuilding the plug-in:

    VRO_FACTORY_BANK_FILE=/tmp/bank.xml VRO_FACTORY_LEVELS=tools/factory_bank_levels.txt \
        build/tests/core_tests --gtest_filter=FactoryBank.*
"""

import argparse
import math
import os
import sys

# ----------------------------------------------------------------------------- encodings

VERSION = "1.1"

KEY_ORDER = [
    "dcolfovalue", "dcopwmvalue", "dcopwmmode", "dcorange", "dcolfovaluesnap", "pulsevolume", "sawvolume",
    "suboscvolume", "noisevolume", "suboscmode", "whitenoiseenabled", "filtercutoff", "filterresonance",
    "filterenvelopevalue", "filtermodulationvalue", "filterkeyboardvalue", "filterenvelopevaluefullrange",
    "filtervolumecorrection", "volume", "masterfinetune", "octavetranspose", "polymode", "vcamode", "adsrmode",
    "adsrattack", "adsrdecay", "adsrsustain", "adsrrelease", "adsrdecklick", "lforate", "lfotrigger", "lfosync",
    "lfowaveform", "lfoinverted", "controlvelocityvolume", "controlvelocityenvelope", "controlbenderfilter",
    "controlbenderdco", "controlbendermodulation", "portamentointensity", "portamentomode", "portamentolinear",
    "fmpulse", "fmsaw", "fmsubosc", "fmnoise", "fmintensity", "arpseqsyncenabled", "arpseqtempo", "arpenabled",
    "seqenabled", "arpmode", "arpseqsyncmode", "arpseqlength", "arpseqshuffle", "arpseqhold", "mainsyncmode",
    "noisefloor",
]
# Keys that did not exist in version 1.1.
NOT_IN_1_1 = {"fmpulse", "fmsaw", "fmsubosc", "fmnoise", "fmintensity", "arpseqshuffle", "noisefloor"}

RANGE = {-24: 0.0, -12: 1 / 3, 0: 2 / 3, 12: 1.0}
TRANSPOSE = {-12: 0.0, 0: 0.5, 12: 1.0}
SUB_MODE = {"pulse": 0.0, "square2": 0.5, "square1": 1.0}      # 25 % pulse two octaves down, square two / one octave down
PWM_MODE = {"env": 0.0, "manual": 0.5, "lfo": 1.0}
LFO_WAVE = {"tri": 0.0, "square": 1 / 3, "sh": 2 / 3, "noise": 1.0}
ADSR_MODE = {"lfo": 0.0, "legato": 0.5, "retrig": 1.0}
PORTA_MODE = {"legato": 0.0, "off": 0.5, "always": 1.0}
CLOCK = {"1/8": 0.0, "1/16": 1 / 3, "1/32": 2 / 3, "1/64": 1.0}
FEEL = {"straight": 0.0, "triplet": 0.5, "dotted": 1.0}
# Arpeggiator modes as 1.1 knew them: six modes, read back as floor(5v + 0.5) / 6.
ARP_MODE = {"up": 0, "updown": 1, "updown2": 2, "down": 3, "asplayed-rev": 4, "random": 5}
# Synced LFO rates as 1.1 knew them: trunc(13 v) picks one of fourteen note values.
LFO_SYNC = ["2/1", "1/1", "1/2", "1/4", "1/8", "1/16", "1/2T", "1/4T", "1/8T", "1/16T", "1/2.", "1/4.", "1/8.", "1/16."]


def clamp(v, lo=0.0, hi=1.0):
    return max(lo, min(hi, v))


def cutoff_value(hz):
    """The cutoff knob spans 5500^(v + 0.15) Hz: about 3.6 Hz to 20 kHz."""
    return clamp(math.log(hz) / math.log(5500.0) - 0.15)


def lfo_free_value(hz):
    """Free LFO rate: (30^v - 1) x 29.98 / 29 + 0.02 Hz."""
    return clamp(math.log((hz - 0.02) * 29.0 / 29.98 + 1.0) / math.log(30.0))


def lfo_sync_value(name):
    k = LFO_SYNC.index(name)
    return 1.0 if k == 13 else (k + 0.5) / 13.0


def steps_value(n):
    """"SEQ Steps" gives floor(96 v) steps; a quarter step of margin survives six-digit text."""
    return (n + 0.25) / 96.0


def bend_value(semitones):
    return 1.0 if semitones >= 12 else (semitones + 0.5) / 12.0


def volume_value(gain):
    """Inverse of the output gain (20^v - 1) x 7.2."""
    return clamp(math.log(gain / 7.2 + 1.0) / math.log(20.0))


def volume_gain(v):
    return (20.0 ** v - 1.0) * 7.2


def fmt(v):
    """At most six significant digits, as the plug-in writes numbers."""
    text = "%g" % v
    return "0" if text == "-0" else text


# ----------------------------------------------------------------------------- patterns

NOTE = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}


class Step:
    __slots__ = ("offset", "pause", "slide", "slide_adsr", "velocity", "length")

    def __init__(self, offset=0, pause=False, slide=False, slide_adsr=False, velocity=0.5, length=1.0):
        self.offset, self.pause, self.slide, self.slide_adsr = offset, pause, slide, slide_adsr
        self.velocity, self.length = velocity, length


def pattern(text, length=0.5, velocity=0.6):
    """Steps from a line of tokens, written from the root C (the held key transposes them):
         C Eb G Bb    notes; ' raises and , lowers an octave (C' is the octave above the root)
         -            a rest (the step pauses)
         x            a step for the arpeggiator, which plays the held notes itself
       suffixes: > accent, ? ghost, ~ slide into the note (the note before is tied into it and
                 the envelopes keep running, as on the classic bass line machines),
                 ^ keep the envelopes running, _ tied into the next step, . short."""
    steps = []
    for token in text.split():
        if token == "-":
            steps.append(Step(pause=True, velocity=velocity, length=length))
            continue
        s = Step(velocity=velocity, length=length)
        body = token
        while body and body[-1] in ">?~^_.":
            mark = body[-1]
            body = body[:-1]
            if mark == ">":
                s.velocity = 1.0
            elif mark == "?":
                s.velocity = 0.3
            elif mark == "~":
                s.slide = True
                s.slide_adsr = True
                if steps and not steps[-1].pause:
                    steps[-1].length = 1.0
            elif mark == "^":
                s.slide_adsr = True
            elif mark == "_":
                s.length = 1.0
            elif mark == ".":
                s.length = 0.25
        if body != "x":
            offset = NOTE[body[0]]
            rest = body[1:]
            while rest and rest[0] in "#b":
                offset += 1 if rest[0] == "#" else -1
                rest = rest[1:]
            for mark in rest:
                offset += 12 if mark == "'" else -12 if mark == "," else 0
                if mark not in "',":
                    raise ValueError("bad token " + token)
            s.offset = offset
        steps.append(s)
    return steps


def repeat(text, times):
    return " ".join([text] * times)


# Lines the non-sequenced programs carry, so that switching the sequencer on plays something
# that suits the sound. All written from C.
BASSLINES = [
    pattern("C, - C - Eb C, - G, Bb, - C - F, - G, Bb,"),
    pattern("C, C, - C, Eb, - C, F, - C, G, - Bb, - C Bb,"),
    pattern("C, - - C, - - C, - Eb, - - Eb, - - F, G,"),
    pattern("C, C C, C Bb, Bb Bb, Bb Ab, Ab Ab, Ab G, G G, G"),
    pattern("C,> - G, C - C, Bb, - C,> - G, C Eb - C Bb,"),
]
ACID_LINES = [
    pattern("C,> C Eb~ C, - Bb, C~> G, C, Eb> - C~ Bb,~ G, C C,>"),
    pattern("C, C,> C~ - Eb, F,~ G,> - C, C~ Bb,~ G,> - F, Eb,~ C,"),
    pattern("C,> - C,~ C Bb,~ - G,> F,~ C, - C,> Eb~ D~ C - C'>"),
    pattern("C, Eb,> F,~ Gb,~ G,> - Bb, C~> C,> - C, Bb,~ G,> F, Eb,~ C,"),
]
LEAD_LINES = [
    pattern("C_ - Eb G Bb_ - G Eb F_ - G Eb D_ - Bb, C", length=0.7),
    pattern("G_ G F Eb_ - D Eb F_ - Eb D C_ - - -", length=0.8),
    pattern("C' Bb G Eb C' Bb G Eb D' C' Bb F D' C' Bb F", length=0.6),
]
CHORD_LINES = [
    pattern("C_ - - - Eb_ - - - G_ - - - Bb_ - - -", length=1.0),
    pattern("C_ - C - G,_ - G, - Ab,_ - Ab, - Bb,_ - Bb, -", length=1.0),
]
DEFAULT_LINE = pattern(repeat("C", 16), length=0.5)
# Programs that keep their envelopes running between overlapping notes do so between steps too:
# their lines are tied throughout and never rest, or the first released step would end the phrase.
LEGATO_LINES = [
    pattern("C_ Eb_ G_ Bb_ G_ Eb_ F_ G_ C'_ Bb_ G_ F_ Eb_ D_ Bb,_ C_"),
    pattern("C,_ C,_ G,_ Bb,_ C_ C_ Bb,_ G,_ F,_ F,_ G,_ Bb,_ C_ Bb,_ G,_ Eb,_"),
]

# Gates and accents for the arpeggiator (it plays the held notes; the steps shape them).
ARP_RHYTHMS = {
    "straight": pattern(repeat("x", 16), length=0.5),
    "accent4": pattern(repeat("x> x x x", 4), length=0.45),
    "offbeat": pattern(repeat("x? x>", 8), length=0.4),
    "gallop": pattern(repeat("x> x x -", 4), length=0.5),
    "tresillo": pattern("x> x x x> x x x> x x> x x x> x x x> x", length=0.45),
    "legato": pattern(repeat("x_", 16)),
    "staccato": pattern(repeat("x.", 16)),
    "skip": pattern(repeat("x> - x x - x x -", 2), length=0.5),
    "glide": pattern(repeat("x x~ x x~", 4), length=0.7),
    "broken": pattern("x> x - x x> - x x x> x - x x> x x -", length=0.4),
    "swell": pattern("x? x? x x x x x> x> x? x? x x x x x> x>", length=0.55),
    "pulse8": pattern(repeat("x> x", 8), length=0.3),
}


# ----------------------------------------------------------------------------- patches

BASE = dict(
    range=-12, transpose=0, saw=1.0, pulse=0.0, sub=0.0, sub_mode="square2", noise=0.0, white=False,
    pwm=0.0, pwm_mode="lfo", vco_mod=0.0, snap=False,
    cutoff=1200.0, res=0.0, env=0.0, env_full=False, lfo_filter=0.0, keytrack=0.5, vol_comp=False,
    vca="env", adsr="retrig", a=0.0, d=0.35, s=0.6, r=0.2, declick=True,
    lfo_hz=4.0, lfo_sync=None, lfo_wave="tri", lfo_trigger=False, lfo_invert=False,
    vel_vol=0.3, vel_env=0.0, bend_filter=0.0, bend=2, wheel=0.03,
    glide=0.0, glide_mode="off", glide_linear=False,
    poly=False, volume=0.45, fine=0.5,
    arp=False, seq=False, arp_mode="up", clock="1/16", clock_sync=True, feel="straight", hold=False,
    free_rate=0.5, main_sync=0, steps=16, line=None, step_count=96,
)


def encode(p, category):
    """The 1.1 attributes of a patch, in written order."""
    sync_lfo = p["lfo_sync"] is not None
    values = {
        "dcolfovalue": p["vco_mod"],
        "dcopwmvalue": p["pwm"],
        "dcopwmmode": PWM_MODE[p["pwm_mode"]],
        "dcorange": RANGE[p["range"]],
        "dcolfovaluesnap": 1.0 if p["snap"] else 0.0,
        "pulsevolume": p["pulse"],
        "sawvolume": p["saw"],
        "suboscvolume": p["sub"],
        "noisevolume": p["noise"],
        "suboscmode": SUB_MODE[p["sub_mode"]],
        "whitenoiseenabled": 1.0 if p["white"] else 0.0,
        "filtercutoff": cutoff_value(p["cutoff"]),
        "filterresonance": p["res"],
        "filterenvelopevalue": p["env"],
        "filtermodulationvalue": p["lfo_filter"],
        "filterkeyboardvalue": p["keytrack"],
        "filterenvelopevaluefullrange": 1.0 if p["env_full"] else 0.0,
        "filtervolumecorrection": 1.0 if p["vol_comp"] else 0.0,
        "volume": p["volume"],
        "masterfinetune": p["fine"],
        "octavetranspose": TRANSPOSE[p["transpose"]],
        "polymode": 1.0 if p["poly"] else 0.0,
        "vcamode": 1.0 if p["vca"] == "env" else 0.0,
        "adsrmode": ADSR_MODE[p["adsr"]],
        "adsrattack": p["a"],
        "adsrdecay": p["d"],
        "adsrsustain": p["s"],
        "adsrrelease": p["r"],
        "adsrdecklick": 1.0 if p["declick"] else 0.0,
        "lforate": lfo_sync_value(p["lfo_sync"]) if sync_lfo else lfo_free_value(p["lfo_hz"]),
        "lfotrigger": 1.0 if p["lfo_trigger"] else 0.0,
        "lfosync": 1.0 if sync_lfo else 0.0,
        "lfowaveform": LFO_WAVE[p["lfo_wave"]],
        "lfoinverted": 1.0 if p["lfo_invert"] else 0.0,
        "controlvelocityvolume": p["vel_vol"],
        "controlvelocityenvelope": p["vel_env"],
        "controlbenderfilter": p["bend_filter"],
        "controlbenderdco": bend_value(p["bend"]),
        "controlbendermodulation": p["wheel"],
        "portamentointensity": p["glide"],
        "portamentomode": PORTA_MODE[p["glide_mode"]],
        "portamentolinear": 1.0 if p["glide_linear"] else 0.0,
        "arpseqsyncenabled": 1.0 if p["clock_sync"] else 0.0,
        "arpseqtempo": CLOCK[p["clock"]] if p["clock_sync"] else p["free_rate"],
        "arpenabled": 1.0 if p["arp"] else 0.0,
        "seqenabled": 1.0 if p["seq"] else 0.0,
        "arpmode": ARP_MODE[p["arp_mode"]] / 5.0,
        "arpseqsyncmode": FEEL[p["feel"]],
        "arpseqlength": steps_value(p["steps"]),
        "arpseqhold": 1.0 if p["hold"] else 0.0,
        "mainsyncmode": p["main_sync"] / 3.0,
    }
    keys = [k for k in KEY_ORDER if k not in NOT_IN_1_1]
    if category == "FX\\Percussion":
        keys.remove("portamentolinear")  # programs from before the linear glide switch
    return [(k, fmt(values[k])) for k in keys]


# ----------------------------------------------------------------------------- recipes

class Bank:
    def __init__(self):
        self.programs = []  # (category, name, patch)

    def add(self, category, base, variations):
        for name, changes in variations:
            patch = dict(BASE)
            patch.update(base)
            patch.update(changes)
            self.programs.append((category, name, patch))


def lines(options, i):
    return options[i % len(options)]


def build():
    bank = Bank()

    # ---------------------------------------------------------------- Bass
    # Acid: the amplifier is a plain gate, the filter envelope does the talking; accents open the
    # filter through velocity, and overlapping notes glide.
    acid = dict(range=-12, vca="gate", adsr="retrig", a=0.0, s=0.0, r=0.05, env_full=True, keytrack=0.4,
                vel_env=0.25, glide=0.3, glide_mode="legato", vel_vol=0.2, wheel=0.0)
    bank.add("Bass\\Acid", acid, [
        ("Classic Squelch", dict(cutoff=180, res=0.78, env=0.62, d=0.32, line=ACID_LINES[0])),
        ("Square Acid", dict(saw=0.0, pulse=1.0, cutoff=160, res=0.8, env=0.6, d=0.3, line=ACID_LINES[1])),
        ("Rubber Duck", dict(cutoff=260, res=0.7, env=0.45, d=0.22, glide=0.38, line=ACID_LINES[2])),
        ("Night Shift 303", dict(cutoff=140, res=0.84, env=0.7, d=0.4, vel_env=0.35, line=ACID_LINES[3])),
        ("Hollow Tube", dict(saw=0.0, pulse=1.0, pwm=0.35, pwm_mode="manual", cutoff=220, res=0.74, env=0.5, d=0.28,
                             line=ACID_LINES[0])),
        ("Acid Rain", dict(cutoff=120, res=0.88, env=0.75, d=0.45, vol_comp=True, line=ACID_LINES[1])),
        ("Bubbling Pot", dict(cutoff=300, res=0.8, env=0.35, d=0.18, keytrack=0.7, line=ACID_LINES[2])),
        ("Slow Burn", dict(cutoff=150, res=0.76, env=0.55, d=0.6, glide=0.45, line=ACID_LINES[3])),
        ("Resonant Chirp", dict(cutoff=200, res=0.9, env=0.55, d=0.15, vol_comp=True, line=ACID_LINES[0])),
        ("Deep Acid", dict(range=-24, cutoff=260, res=0.72, env=0.6, d=0.35, sub=0.3, line=ACID_LINES[1])),
        ("High Acid", dict(range=0, cutoff=250, res=0.78, env=0.55, d=0.25, line=ACID_LINES[2])),
        ("Wobble Acid", dict(cutoff=200, res=0.76, env=0.45, d=0.3, lfo_filter=0.35, lfo_sync="1/8", lfo_trigger=True,
                             line=ACID_LINES[3])),
        ("Distant Siren", dict(cutoff=170, res=0.86, env=0.5, d=0.5, vco_mod=0.08, lfo_hz=5.5, line=ACID_LINES[0])),
        ("Tight Acid", dict(cutoff=230, res=0.7, env=0.5, d=0.12, vel_env=0.4, line=ACID_LINES[1])),
        ("Screaming 909 Night", dict(cutoff=190, res=0.92, env=0.78, d=0.36, vol_comp=True, vel_env=0.3,
                                     line=ACID_LINES[2])),
        ("Pulse Acid", dict(saw=0.3, pulse=0.8, pwm=0.5, pwm_mode="env", cutoff=200, res=0.75, env=0.55, d=0.3,
                            line=ACID_LINES[3])),
        ("Linear Slide", dict(cutoff=210, res=0.8, env=0.58, d=0.3, glide=0.42, glide_linear=True, line=ACID_LINES[0])),
        ("Noisy Acid", dict(cutoff=190, res=0.78, env=0.6, d=0.3, noise=0.15, line=ACID_LINES[1])),
    ])

    # Sub: the sub-oscillator and a closed filter; the envelope only shapes the level.
    sub = dict(range=-12, saw=0.15, sub=1.0, sub_mode="square1", cutoff=140, res=0.0, keytrack=1.0,
               a=0.0, d=0.5, s=0.85, r=0.18, env=0.05, vel_vol=0.2, wheel=0.0)
    bank.add("Bass\\Sub", sub, [
        ("Foundation", dict()),
        ("Round Sub", dict(saw=0.0, cutoff=110)),
        ("Sub Thump", dict(d=0.25, s=0.45, env=0.25, cutoff=120)),
        ("Deep Square", dict(sub_mode="square2", range=0, cutoff=160)),
        ("Low End Theory", dict(saw=0.3, cutoff=180, res=0.15)),
        ("Subway", dict(sub_mode="pulse", range=0, cutoff=150, saw=0.0)),
        ("Soft Floor", dict(a=0.06, r=0.3, cutoff=100)),
        ("Gliding Sub", dict(glide=0.4, glide_mode="legato", adsr="legato")),
        ("Warm Cushion", dict(saw=0.35, cutoff=300, res=0.1, vol_comp=True, a=0.08, s=1.0, r=0.4)),
        ("808ish", dict(d=0.55, s=0.0, r=0.35, env=0.2, glide=0.3, glide_mode="always")),
        ("Sine Wave Club", dict(saw=0.0, range=0, cutoff=90, keytrack=1.0, res=0.05)),
        ("Pressure Drop", dict(vco_mod=0.3, lfo_wave="tri", lfo_hz=0.5, lfo_trigger=True, lfo_invert=True, cutoff=130,
                               d=0.6, s=0.3)),
    ])

    # Analog: saw and sub through a moderate filter envelope, the everyday synth bass.
    analog = dict(range=-12, saw=1.0, sub=0.6, sub_mode="square2", cutoff=380, res=0.25, env=0.42, keytrack=0.5,
                  a=0.0, d=0.3, s=0.35, r=0.15, vel_env=0.15, vel_vol=0.3, wheel=0.0)
    bank.add("Bass\\Analog", analog, [
        ("Workhorse", dict()),
        ("Fat Eighties", dict(pulse=0.6, pwm=0.3, pwm_mode="lfo", lfo_hz=0.8, cutoff=450)),
        ("Punchy", dict(d=0.18, s=0.25, env=0.55, cutoff=300)),
        ("Round and Warm", dict(cutoff=260, res=0.1, env=0.3, s=0.6)),
        ("Growler", dict(res=0.55, cutoff=320, env=0.5, vol_comp=True)),
        ("Square Bass", dict(saw=0.0, pulse=1.0, sub=0.5, cutoff=420)),
        ("Funk Machine", dict(d=0.22, s=0.2, env=0.58, res=0.45, vel_env=0.35, cutoff=280)),
        ("Disco Octaves", dict(line=BASSLINES[3], d=0.2, s=0.3, cutoff=500)),
        ("Moog-ish", dict(res=0.35, cutoff=240, env=0.48, vol_comp=True, glide=0.2, glide_mode="legato")),
        ("Detuned Bite", dict(pulse=0.7, vco_mod=0.05, lfo_hz=6.0, cutoff=520, res=0.3)),
        ("Electro Bass", dict(saw=0.0, pulse=1.0, pwm=0.6, pwm_mode="env", d=0.25, s=0.3, cutoff=350, env=0.5)),
        ("Soft Pick", dict(d=0.4, s=0.15, r=0.25, cutoff=340, env=0.35, res=0.15)),
        ("Velvet", dict(a=0.03, cutoff=300, res=0.05, env=0.2, s=0.7, r=0.3)),
        ("Overdriven", dict(pulse=0.8, noise=0.08, cutoff=600, res=0.4, vol_comp=True)),
        ("Tape Bass", dict(cutoff=330, res=0.2, env=0.4, vco_mod=0.04, lfo_hz=0.7, d=0.35)),
        ("Hard Sync Fake", dict(saw=1.0, sub=0.0, pulse=0.5, res=0.7, cutoff=500, env=0.5, d=0.2, env_full=True)),
    ])

    # Pluck: everything decays to silence, the amplifier and the filter alike.
    pluck = dict(range=-12, saw=1.0, sub=0.4, cutoff=300, res=0.3, env=0.55, keytrack=0.6,
                 a=0.0, d=0.28, s=0.0, r=0.22, vel_env=0.2, vel_vol=0.4, wheel=0.0)
    bank.add("Bass\\Pluck", pluck, [
        ("Finger Bass", dict()),
        ("Short Pluck", dict(d=0.18, r=0.12)),
        ("Rubber Band", dict(res=0.55, env=0.45, d=0.24, glide=0.25, glide_mode="always")),
        ("Muted String", dict(saw=0.6, pulse=0.5, cutoff=220, env=0.4, res=0.15)),
        ("Marimba Low", dict(saw=0.0, pulse=1.0, sub=0.0, range=0, cutoff=400, env=0.35, d=0.3, res=0.2)),
        ("Clicky", dict(noise=0.2, white=True, d=0.2, env=0.65)),
        ("Wooden", dict(saw=0.0, pulse=0.8, pwm=0.5, pwm_mode="manual", cutoff=280, env=0.5, d=0.25)),
        ("Bright Pick", dict(cutoff=500, env=0.6, res=0.35, env_full=True)),
        ("Dub Pluck", dict(d=0.42, r=0.35, cutoff=200, res=0.45, env=0.4)),
        ("Slap Lite", dict(d=0.15, env=0.75, res=0.4, vel_env=0.4)),
        ("Harp Bass", dict(saw=0.7, pulse=0.4, range=0, cutoff=350, env=0.45, d=0.45, r=0.45, sub=0.0)),
        ("Rounded Pluck", dict(res=0.0, env=0.45, cutoff=250, d=0.35)),
    ])

    # Wobble: an LFO locked to the tempo opens and closes the filter.
    wobble = dict(range=-12, saw=1.0, sub=0.7, cutoff=260, res=0.5, env=0.0, lfo_filter=0.72, lfo_trigger=True,
                  lfo_wave="tri", lfo_sync="1/8", keytrack=0.4, vca="env", a=0.0, d=0.5, s=1.0, r=0.12,
                  vol_comp=True, wheel=0.0)
    bank.add("Bass\\Wobble", wobble, [
        ("Eighth Wobble", dict()),
        ("Quarter Wub", dict(lfo_sync="1/4")),
        ("Triplet Wobble", dict(lfo_sync="1/8T")),
        ("Fast Womp", dict(lfo_sync="1/16", lfo_filter=0.65)),
        ("Dotted Growl", dict(lfo_sync="1/8.", res=0.62)),
        ("Square Chop", dict(lfo_wave="square", lfo_sync="1/16", lfo_filter=0.6)),
        ("Random Steps", dict(lfo_wave="sh", lfo_sync="1/16", lfo_filter=0.6)),
        ("Half Time", dict(lfo_sync="1/2", lfo_filter=0.78)),
        ("Inverted Yoy", dict(lfo_invert=True, lfo_sync="1/8", pulse=0.6)),
        ("Talking Bass", dict(lfo_sync="1/4T", res=0.7, cutoff=320)),
    ])

    # ---------------------------------------------------------------- Lead
    lead = dict(range=0, saw=1.0, sub=0.0, cutoff=2400, res=0.25, env=0.3, keytrack=0.7,
                a=0.0, d=0.45, s=0.75, r=0.25, vel_vol=0.35, vel_env=0.1, wheel=0.04, bend=2)
    bank.add("Lead", lead, [
        ("Everyday Lead", dict(line=LEAD_LINES[0])),
        ("Bright Saw", dict(cutoff=4200, res=0.15, line=LEAD_LINES[1])),
        ("Square Lead", dict(saw=0.0, pulse=1.0, cutoff=3000, line=LEAD_LINES[2])),
        ("Octave Stack", dict(sub=0.6, sub_mode="square1", pulse=0.3, cutoff=1800, res=0.35, line=LEAD_LINES[0])),
        ("Whistle", dict(saw=0.0, pulse=0.6, cutoff=900, res=0.6, keytrack=1.0, vco_mod=0.09, lfo_hz=5.2,
                         line=LEAD_LINES[1])),
        ("Brassy Lead", dict(a=0.06, env=0.55, cutoff=900, d=0.4, s=0.6, line=LEAD_LINES[2])),
        ("Funky Clav", dict(saw=0.0, pulse=1.0, pwm=0.5, pwm_mode="manual", d=0.25, s=0.2, env=0.5, cutoff=1500,
                            line=LEAD_LINES[0])),
        ("Rave Stab", dict(pulse=0.7, d=0.22, s=0.0, env=0.55, res=0.35, cutoff=1400, line=LEAD_LINES[1])),
        ("Chiptune", dict(saw=0.0, pulse=1.0, pwm=0.47, pwm_mode="manual", cutoff=12000, res=0.0, vca="gate",
                          line=LEAD_LINES[2])),
        ("Eastern Reed", dict(pulse=0.8, pwm=0.6, pwm_mode="manual", cutoff=1600, res=0.5, vco_mod=0.1, lfo_hz=6.2,
                              line=LEAD_LINES[0])),
    ])

    mono = dict(lead)
    bank.add("Lead\\Mono", mono, [
        ("Solo Saw", dict(cutoff=1500, env=0.5, res=0.2, d=0.55, s=0.5, line=LEAD_LINES[0])),
        ("Solo Square", dict(saw=0.0, pulse=1.0, line=LEAD_LINES[1])),
        ("Thick Solo", dict(range=-12, pulse=0.8, sub=0.5, sub_mode="square1", cutoff=2000, line=LEAD_LINES[2])),
        ("Filter Solo", dict(cutoff=700, env=0.55, res=0.4, d=0.5, s=0.5, line=LEAD_LINES[0])),
        ("Bite", dict(cutoff=1200, env=0.6, d=0.2, s=0.55, res=0.35, vel_env=0.3, line=LEAD_LINES[1])),
        ("Mellow Mono", dict(cutoff=1100, res=0.1, env=0.15, a=0.04, line=LEAD_LINES[2])),
        ("Nasal", dict(saw=0.0, pulse=1.0, pwm=0.8, pwm_mode="manual", cutoff=1800, res=0.3, line=LEAD_LINES[0])),
        ("Vibrato Lead", dict(pulse=0.5, vco_mod=0.1, lfo_hz=5.5, cutoff=1800, res=0.3, line=LEAD_LINES[1])),
        ("Wide Vibrato", dict(saw=0.0, pulse=1.0, vco_mod=0.16, lfo_hz=4.2, lfo_trigger=True, cutoff=2000,
                              line=LEAD_LINES[2])),
        ("Hard Lead", dict(pulse=0.7, res=0.45, cutoff=3000, vol_comp=True, line=LEAD_LINES[0])),
        ("Legato Lead", dict(adsr="legato", line=LEAD_LINES[1])),
        ("High Solo", dict(transpose=12, cutoff=3500, res=0.2, line=LEAD_LINES[2])),
        ("Dark Solo", dict(range=-12, cutoff=800, res=0.35, env=0.35, line=LEAD_LINES[0])),
        ("Pick Solo", dict(d=0.3, s=0.4, env=0.5, cutoff=1600, line=LEAD_LINES[1])),
    ])

    glide = dict(lead, glide=0.35, glide_mode="legato", adsr="legato")
    bank.add("Lead\\Glide", glide, [
        ("Portamento Saw", dict(line=LEAD_LINES[0])),
        ("Always Glide", dict(glide_mode="always", glide=0.3, pulse=0.6, saw=0.6, cutoff=1900, line=LEAD_LINES[1])),
        ("Slow Slide", dict(glide=0.5, env=0.5, d=0.6, s=0.4, cutoff=1000, line=LEAD_LINES[2])),
        ("Linear Rise", dict(glide_linear=True, glide=0.35, glide_mode="always", range=-12, cutoff=900, res=0.4,
                             line=LEAD_LINES[0])),
        ("Glide Square", dict(saw=0.0, pulse=1.0, line=LEAD_LINES[1])),
        ("Liquid", dict(cutoff=1300, res=0.55, keytrack=1.0, glide=0.4, line=LEAD_LINES[2])),
        ("Theremin-ish", dict(saw=0.0, pulse=0.5, cutoff=700, res=0.3, glide=0.55, glide_mode="always",
                              vco_mod=0.1, lfo_hz=6.0, a=0.12, r=0.4, line=LEAD_LINES[0])),
        ("Gliding Fifths", dict(sub=0.5, sub_mode="square1", pulse=0.4, line=LEAD_LINES[1])),
        ("Rubber Lead", dict(res=0.5, env=0.5, d=0.3, s=0.5, line=LEAD_LINES[2])),
        ("Slide Guitar", dict(pulse=0.6, cutoff=1600, glide=0.42, glide_linear=True, vco_mod=0.06, lfo_hz=4.5,
                              line=LEAD_LINES[0])),
        ("Wet Glide", dict(res=0.65, cutoff=1100, keytrack=0.9, vol_comp=True, line=LEAD_LINES[1])),
        ("Quick Slip", dict(glide=0.22, transpose=12, saw=0.5, pulse=0.7, cutoff=3000, line=LEAD_LINES[2])),
    ])

    pwm = dict(lead, saw=0.0, pulse=1.0, pwm=0.75, pwm_mode="lfo", lfo_hz=0.9, cutoff=2600, res=0.15)
    bank.add("Lead\\PWM", pwm, [
        ("Pulse Width Lead", dict(line=LEAD_LINES[0])),
        ("Fast PWM", dict(lfo_hz=5.0, pwm=0.6, line=LEAD_LINES[1])),
        ("Envelope PWM", dict(pwm_mode="env", pwm=0.9, d=0.4, line=LEAD_LINES[2])),
        ("Thin Pulse", dict(pwm_mode="manual", pwm=0.95, cutoff=3200, line=LEAD_LINES[0])),
        ("Chorus Pulse", dict(lfo_hz=0.5, saw=0.5, line=LEAD_LINES[1])),
        ("Sync PWM", dict(lfo_sync="1/4", pwm=0.85, line=LEAD_LINES[2])),
        ("Buzzy Reed", dict(pwm_mode="manual", pwm=0.88, res=0.35, cutoff=900, range=-12, line=LEAD_LINES[0])),
        ("Hollow Flute", dict(pwm=0.4, cutoff=900, res=0.2, a=0.08, vco_mod=0.07, line=LEAD_LINES[1])),
        ("PWM Sub Lead", dict(range=-12, sub=0.6, sub_mode="square1", line=LEAD_LINES[2])),
        ("Wavering", dict(lfo_wave="sh", lfo_hz=6.0, pwm=0.5, line=LEAD_LINES[0])),
    ])

    scream = dict(lead, cutoff=1100, res=0.82, env=0.4, keytrack=1.0, vol_comp=True, d=0.5, s=0.6)
    bank.add("Lead\\Screamer", scream, [
        ("Screamer", dict(line=LEAD_LINES[0])),
        ("Feedback Whine", dict(res=0.9, cutoff=1400, line=LEAD_LINES[1])),
        ("Acid Lead", dict(vca="gate", env=0.6, env_full=True, d=0.3, s=0.0, res=0.85, cutoff=600, line=LEAD_LINES[2])),
        ("Resonant Square", dict(saw=0.0, pulse=1.0, res=0.8, line=LEAD_LINES[0])),
        ("Howling Wind", dict(noise=0.4, saw=0.4, res=0.88, cutoff=1600, lfo_filter=0.2, lfo_hz=0.4,
                              line=LEAD_LINES[1])),
        ("Vowel Lead", dict(lfo_filter=0.25, lfo_hz=1.5, res=0.78, line=LEAD_LINES[2])),
        ("Sirens", dict(vco_mod=0.2, lfo_hz=1.2, res=0.85, line=LEAD_LINES[0])),
        ("Piercing", dict(transpose=12, res=0.8, cutoff=2000, line=LEAD_LINES[1])),
        ("Wah Lead", dict(env=0.55, d=0.4, s=0.3, res=0.8, cutoff=500, line=LEAD_LINES[2])),
        ("Laser Lead", dict(env=0.7, env_full=True, d=0.15, s=0.55, res=0.86, line=LEAD_LINES[0])),
        ("Screaming Glide", dict(glide=0.38, glide_mode="legato", adsr="legato", line=LEAD_LINES[1])),
        ("Distorted Formant", dict(pulse=0.8, noise=0.1, res=0.75, cutoff=900, lfo_filter=0.15, lfo_hz=3.0,
                                   line=LEAD_LINES[2])),
    ])

    soft = dict(lead, saw=0.4, pulse=0.6, cutoff=800, res=0.05, env=0.12, keytrack=1.0, a=0.08, d=0.5, s=0.8,
                r=0.35, vco_mod=0.07, lfo_hz=5.0, vel_vol=0.5)
    bank.add("Lead\\Soft", soft, [
        ("Soft Lead", dict(line=LEAD_LINES[0])),
        ("Flute", dict(saw=0.0, pulse=0.7, noise=0.06, cutoff=700, line=LEAD_LINES[1])),
        ("Ocarina", dict(saw=0.0, pulse=0.6, pwm=0.3, pwm_mode="manual", cutoff=600, vco_mod=0.05, transpose=12,
                         line=LEAD_LINES[2])),
        ("Breathy", dict(noise=0.2, cutoff=900, line=LEAD_LINES[0])),
        ("Recorder", dict(saw=0.0, pulse=1.0, pwm=0.7, pwm_mode="manual", cutoff=1000, a=0.05, line=LEAD_LINES[1])),
        ("Warm Sine", dict(saw=0.0, pulse=0.5, cutoff=350, res=0.2, line=LEAD_LINES[2])),
        ("Gentle Saw", dict(saw=1.0, pulse=0.0, cutoff=1000, line=LEAD_LINES[0])),
        ("Slow Swell", dict(a=0.3, r=0.45, line=LEAD_LINES[1])),
        ("Glass Whistle", dict(res=0.5, cutoff=1500, keytrack=1.0, transpose=12, line=LEAD_LINES[2])),
        ("Lullaby", dict(glide=0.3, glide_mode="legato", adsr="legato", cutoff=650, line=LEAD_LINES[0])),
    ])

    # ---------------------------------------------------------------- Poly
    pad = dict(poly=True, range=0, saw=0.8, pulse=0.6, pwm=0.6, pwm_mode="lfo", lfo_hz=0.6, cutoff=1800,
               res=0.12, env=0.15, keytrack=0.5, a=0.55, d=0.6, s=0.8, r=0.6, vel_vol=0.2, wheel=0.03,
               line=CHORD_LINES[0])
    bank.add("Poly\\Pad", pad, [
        ("Warm Pad", dict()),
        ("Dark Pad", dict(cutoff=700, res=0.2)),
        ("Bright Pad", dict(cutoff=4000, res=0.05)),
        ("Slow Bloom", dict(a=0.7, env=0.4, cutoff=500)),
        ("Breathing Pad", dict(lfo_filter=0.2, lfo_hz=0.25, cutoff=1200)),
        ("Hollow Pad", dict(saw=0.0, pulse=1.0, pwm=0.8, cutoff=1400)),
        ("Choir-ish", dict(saw=0.3, pulse=0.8, res=0.45, cutoff=900, vco_mod=0.06, lfo_hz=4.5, pwm=0.4)),
        ("Glass Pad", dict(res=0.55, cutoff=2500, keytrack=1.0, transpose=12)),
        ("Low Drone", dict(range=-12, sub=0.6, sub_mode="square1", cutoff=600, a=0.6)),
        ("Airy", dict(noise=0.15, cutoff=3000, res=0.2)),
        ("Evolving", dict(lfo_filter=0.3, lfo_wave="tri", lfo_hz=0.12, res=0.35, cutoff=900)),
        ("Pulse Pad", dict(saw=0.0, pwm_mode="lfo", lfo_hz=2.5, pwm=0.9)),
        ("Cathedral", dict(a=0.65, r=0.8, s=0.9, cutoff=1500, sub=0.3)),
        ("Frozen Lake", dict(white=True, noise=0.08, res=0.6, cutoff=2200, keytrack=1.0, a=0.6)),
    ])

    keys = dict(poly=True, range=0, saw=0.7, pulse=0.5, cutoff=900, res=0.15, env=0.35, keytrack=0.7,
                a=0.0, d=0.45, s=0.25, r=0.3, vel_vol=0.55, vel_env=0.25, wheel=0.02, line=CHORD_LINES[1])
    bank.add("Poly\\Keys", keys, [
        ("Poly Keys", dict()),
        ("Electric Piano-ish", dict(saw=0.0, pulse=1.0, pwm=0.5, pwm_mode="manual", cutoff=700, d=0.55, s=0.15)),
        ("Clavinet-ish", dict(saw=0.0, pulse=1.0, pwm=0.8, pwm_mode="manual", d=0.25, s=0.1, cutoff=1600, res=0.3)),
        ("Organ-ish", dict(vca="gate", saw=0.0, pulse=0.8, sub=0.7, sub_mode="square1", cutoff=2500, env=0.0)),
        ("Harpsichord-ish", dict(d=0.3, s=0.0, r=0.35, cutoff=1800, res=0.25, env=0.4)),
        ("Soft Keys", dict(cutoff=600, env=0.2, d=0.6, s=0.4)),
        ("Bright Keys", dict(cutoff=2000, env=0.4)),
        ("Mallets", dict(saw=0.0, pulse=0.8, sub=0.0, d=0.35, s=0.0, cutoff=1200, res=0.4, keytrack=1.0)),
        ("Toy Piano", dict(transpose=12, saw=0.0, pulse=1.0, pwm=0.3, pwm_mode="manual", d=0.22, s=0.0, res=0.3)),
        ("Stab Chord", dict(d=0.2, s=0.0, env=0.6, res=0.35, cutoff=700)),
        ("Funky Poly", dict(env=0.5, d=0.28, s=0.1, res=0.45, vel_env=0.4)),
        ("Music Box", dict(transpose=12, saw=0.0, pulse=0.6, sub=0.0, d=0.5, s=0.0, r=0.5, res=0.5, keytrack=1.0,
                           cutoff=2000)),
    ])

    brass = dict(poly=True, range=0, saw=1.0, pulse=0.3, cutoff=450, res=0.15, env=0.5, keytrack=0.6,
                 a=0.16, d=0.45, s=0.65, r=0.25, vel_vol=0.3, vel_env=0.3, wheel=0.03, line=CHORD_LINES[1])
    bank.add("Poly\\Brass", brass, [
        ("Poly Brass", dict()),
        ("Soft Horns", dict(a=0.24, cutoff=350, env=0.38)),
        ("Bright Brass", dict(cutoff=700, env=0.6, res=0.2)),
        ("Brass Stab", dict(a=0.05, d=0.3, s=0.3, env=0.6)),
        ("Synth Fanfare", dict(pulse=0.8, a=0.08, env=0.7, cutoff=380, res=0.25, transpose=12)),
        ("Low Brass", dict(range=-12, sub=0.4, cutoff=300)),
        ("Swell Brass", dict(a=0.4, env=0.7, cutoff=250)),
        ("Eighties Brass", dict(pulse=0.6, pwm=0.4, pwm_mode="lfo", lfo_hz=0.8, cutoff=550)),
        ("Muted Trumpets", dict(cutoff=800, res=0.45, env=0.25, keytrack=1.0)),
        ("Brass Section", dict(vco_mod=0.04, lfo_hz=5.5, cutoff=500, s=0.75)),
    ])

    strings = dict(poly=True, range=0, saw=1.0, pulse=0.5, pwm=0.5, pwm_mode="lfo", lfo_hz=4.5, vco_mod=0.05,
                   cutoff=2800, res=0.05, env=0.05, keytrack=0.6, a=0.35, d=0.5, s=1.0, r=0.45, vel_vol=0.3,
                   wheel=0.03, line=CHORD_LINES[0])
    bank.add("Poly\\Strings", strings, [
        ("String Machine", dict()),
        ("Violins", dict(transpose=12, cutoff=3500)),
        ("Cellos", dict(range=-12, cutoff=1500, a=0.3)),
        ("Slow Strings", dict(a=0.6, r=0.65)),
        ("Pizzicato", dict(a=0.0, d=0.25, s=0.0, r=0.2, env=0.4, cutoff=1200)),
        ("Dark Strings", dict(cutoff=1000, res=0.15)),
        ("Ensemble", dict(lfo_hz=6.5, vco_mod=0.07, pwm=0.8, cutoff=4500, a=0.5)),
        ("Tremolo Strings", dict(lfo_filter=0.15, lfo_hz=7.0, cutoff=1800)),
        ("Solina Dream", dict(saw=0.6, pulse=1.0, pwm=0.9, cutoff=2200, r=0.55)),
        ("Orchestra Hit", dict(a=0.0, d=0.32, s=0.0, r=0.35, env=0.55, cutoff=900, sub=0.5, sub_mode="square1")),
    ])

    # Gated: ADSR mode 0 restarts the envelopes on every rising swing of the LFO.
    gated = dict(poly=True, range=0, saw=0.9, pulse=0.5, cutoff=1500, res=0.25, env=0.3, keytrack=0.5,
                 adsr="lfo", lfo_sync="1/16", a=0.0, d=0.22, s=0.35, r=0.12, vel_vol=0.2, line=CHORD_LINES[0])
    bank.add("Poly\\Gated", gated, [
        ("Trance Gate", dict()),
        ("Eighth Gate", dict(lfo_sync="1/8")),
        ("Triplet Gate", dict(lfo_sync="1/8T")),
        ("Dotted Gate", dict(lfo_sync="1/8.", d=0.3)),
        ("Quarter Pump", dict(lfo_sync="1/4", d=0.4, s=0.5, r=0.25)),
        ("Choppy Strings", dict(pwm=0.6, pwm_mode="lfo", cutoff=2500, s=0.5)),
        ("Gated Pad", dict(a=0.05, cutoff=900, s=0.7, r=0.25)),
        ("Pluck Gate", dict(s=0.0, d=0.18, env=0.5, res=0.35)),
        ("Sixteenth Triplets", dict(lfo_sync="1/16T", d=0.15)),
        ("Slow Pulse Chords", dict(lfo_sync="1/2", d=0.6, s=0.4, r=0.4)),
    ])

    # ---------------------------------------------------------------- Sequence
    # Sequences are written from C; the held key transposes them.
    seq_sound = dict(range=-12, saw=1.0, sub=0.4, cutoff=420, res=0.35, env=0.45, keytrack=0.5, a=0.0, d=0.28,
                     s=0.2, r=0.12, vel_env=0.2, vel_vol=0.35, seq=True, clock="1/16", wheel=0.0)
    starters = [
        ("Minor Groove", pattern(repeat("C, - C Eb, - G, Bb, - C, C - Eb - G, F, -", 2)), 32, {}),
        ("Major Walk", pattern("C E G A G E C E F A C' A G E D B,"), 16, dict(range=0)),
        ("Octave Pump", pattern(repeat("C,> C C,> C", 8)), 32, dict(d=0.2, s=0.0)),
        ("Dorian Riff", pattern(repeat("C, C, D, Eb, - F, - G, A, - Bb, - C C, - -", 4)), 64, {}),
        ("Phrygian Run", pattern(repeat("C Db C Bb, Ab, G, - C - Db - Eb Db C Bb, Ab,", 2)), 32, dict(range=0, res=0.5)),
        ("Blues Shuffle", pattern("C, - Eb, E, G, - A, Bb, G, - Eb, E, C, - G,, Bb,,", length=0.7), 16, dict(feel="triplet")),
        ("Pentatonic Bounce", pattern(repeat("C Eb F G Bb C' Bb G", 8)), 64, dict(range=0, d=0.2)),
        ("Harmonic Minor", pattern("C D Eb F G Ab B C' B Ab G F Eb D C B,"), 16, dict(range=0, cutoff=700)),
        ("Mixolydian Hook", pattern(repeat("C, - E, G, Bb, - C - Bb, G, - E, F, - G, -", 2)), 32, {}),
        ("Slow Steps", pattern(repeat("C_ - G,_ - Bb,_ - F,_ -", 2), length=1.0), 16, dict(clock="1/8", d=0.5, s=0.5)),
        ("Triplet Climb", pattern(repeat("C, Eb, G, C Eb G", 8)), 48, dict(feel="triplet", range=0)),
        ("Minimal Pulse", pattern(repeat("C, - - C, - - C, -", 8)), 64, dict(d=0.15, s=0.0, res=0.5)),
        ("Long Journey", pattern(" ".join(["C, C Eb, G,", "Bb, C Eb, G,", "Ab, C Eb, Ab,", "G, B, D, G,"] * 4)), 64, {}),
    ]
    bank.add("Sequence", seq_sound, [
        (name, dict(line=line, steps=n, step_count=64, **extra)) for name, line, n, extra in starters
    ])

    arp = dict(range=0, saw=0.8, pulse=0.5, cutoff=1400, res=0.3, env=0.4, keytrack=0.6, a=0.0, d=0.25, s=0.1,
               r=0.15, vel_env=0.2, vel_vol=0.35, arp=True, clock="1/16", wheel=0.02)
    arps = [
        ("Up Sixteenths", "up", "straight", {}),
        ("Down Sixteenths", "down", "straight", {}),
        ("Up and Down", "updown", "accent4", {}),
        ("Bounce Arp", "updown2", "offbeat", {}),
        ("As Played", "asplayed-rev", "straight", dict(cutoff=1800)),
        ("Random Sparkle", "random", "staccato", dict(transpose=12, d=0.15, res=0.45)),
        ("Eighth Arp", "up", "straight", dict(clock="1/8", d=0.4, s=0.3)),
        ("Triplet Arp", "up", "straight", dict(feel="triplet")),
        ("Dotted Arp", "updown", "straight", dict(feel="dotted", d=0.35)),
        ("Thirty-Second Rush", "up", "straight", dict(clock="1/32", d=0.12, s=0.0)),
        ("Gallop Arp", "up", "gallop", dict(pulse=0.8)),
        ("Tresillo Arp", "updown", "tresillo", dict(res=0.45)),
        ("Legato Arp", "up", "legato", dict(glide=0.25, glide_mode="legato", d=0.5, s=0.6)),
        ("Staccato Arp", "down", "staccato", dict(d=0.1, s=0.0)),
        ("Skipping Arp", "updown2", "skip", {}),
        ("Gliding Arp", "up", "glide", dict(glide=0.3, glide_mode="always")),
        ("Broken Arp", "random", "broken", dict(cutoff=1100, res=0.5)),
        ("Swelling Arp", "up", "swell", dict(vel_vol=0.8, vel_env=0.4)),
        ("Bass Arp", "up", "accent4", dict(range=-12, cutoff=600, sub=0.5)),
        ("Pluck Arp", "updown", "straight", dict(saw=0.0, pulse=1.0, s=0.0, d=0.2, res=0.4)),
        ("Bell Arp", "up", "staccato", dict(transpose=12, saw=0.0, pulse=0.7, res=0.55, keytrack=1.0, d=0.3, s=0.0,
                                              r=0.35)),
        ("Acid Arp", "updown", "accent4", dict(vca="gate", env=0.6, env_full=True, res=0.8, cutoff=250, d=0.25, s=0.0,
                                               range=-12)),
        ("Eighth Pulse Arp", "down", "pulse8", dict(clock="1/8", feel="dotted")),
        ("Hold Chords Arp", "asplayed-rev", "accent4", dict(hold=True)),
    ]
    bank.add("Sequence\\Arp", arp, [
        (name, dict(arp_mode=mode, line=ARP_RHYTHMS[rhythm], **extra)) for name, mode, rhythm, extra in arps
    ])

    acid_seq = dict(acid, seq=True, clock="1/16", cutoff=190, res=0.8, env=0.6, d=0.3)
    acid_lines = [
        ("Squelch Line", ACID_LINES[0], {}),
        ("Climbing Acid", ACID_LINES[1], dict(res=0.84)),
        ("Octave Acid", ACID_LINES[2], {}),
        ("Chromatic Acid", ACID_LINES[3], dict(cutoff=160)),
        ("Phuture Line", pattern("C,> C,~ C, C~ C,> - C, Eb,~ C, C,> - C~ Bb,~ G, C,> C,"), {}),
        ("Hypnotic", pattern(repeat("C, C,> C,~ Eb,", 4)), dict(d=0.4, res=0.86)),
        ("Rolling 303", pattern("C, C C, Bb, C, G, C, C~> C, C Eb, C, F, C, G,~ C,"), {}),
        ("Acid House", pattern("C,> - C - C,~ C,> - Bb, - C, C~ - G,> - Bb,~ C,"), dict(vel_env=0.4)),
        ("Minor Slides", pattern("C,~ Eb,~ G,~ Bb,~ C~> Bb,~ G,~ Eb,~ C,> - C, - C,> - - -"), {}),
        ("Dub Acid", pattern("C,> - - C,~ - - Eb, - - G,~ - - F, Eb,~ - -"), dict(d=0.5, res=0.75)),
        ("Fast Acid", pattern(repeat("C, C,> Eb, C, C~ C, Bb, C,>", 2)), dict(d=0.15)),
        ("Lazy Acid", pattern("C,_ - C~ - Bb,_ - G,~ - Eb,_ - F,~ - G,_ - Bb,~ -"), dict(clock="1/8", d=0.5)),
        ("Stabbing Acid", pattern(repeat("C,> - - C,> - C,> - -", 2)), dict(d=0.12, vel_env=0.5)),
        ("Question Answer", pattern("C, Eb, G, Bb,~> - - - - C Bb, G, Eb,~> - - - -"), {}),
        ("Wandering", pattern("C, D,~ Eb, F,~ G, Ab,~ G, F,~ Eb, D,~ C, B,,~ C, G,,~ C,> -"), dict(res=0.82)),
        ("Triplet Acid", pattern(repeat("C,> C Eb,~", 4)), dict(feel="triplet", steps=12)),
        ("Square Sequence", ACID_LINES[0], dict(saw=0.0, pulse=1.0)),
        ("Deep Sequence", ACID_LINES[1], dict(range=-24, sub=0.3)),
        ("Resonance Ride", ACID_LINES[2], dict(res=0.9, vol_comp=True)),
        ("Accent Storm", pattern(repeat("C,> C,? C,> C,?", 4)), dict(vel_env=0.55)),
    ]
    bank.add("Sequence\\Acid Line", acid_seq, [
        (name, dict(dict(line=line, steps=len(line)), **extra)) for name, line, extra in acid_lines
    ])

    bassline = dict(analog, seq=True, clock="1/16", step_count=64)
    basslines = [
        ("House Octaves", pattern(repeat("- C, - C", 4)), 16, dict(d=0.2, s=0.1)),
        ("Techno Rumble", pattern(repeat("- C, C, C,", 4)), 16, dict(cutoff=250, d=0.15, s=0.0, res=0.4)),
        ("Electro Funk", pattern("C,> - - C, - - Eb, - F, - - F, G, - Bb, -"), 16, dict(saw=0.0, pulse=1.0)),
        ("Disco Run", pattern(repeat("C, C Bb, Bb Ab, Ab G, G", 2)), 16, dict(d=0.18, s=0.2)),
        ("Dub Steps", pattern("C,_ - - - - - G,,_ - Bb,,_ - - - C,_ - - -", length=1.0), 16, dict(cutoff=200, s=0.8)),
        ("Funk Walk", pattern("C, - C - Bb, - G, - F, - G, Bb, C - Eb -"), 16, dict(res=0.45, vel_env=0.3)),
        ("Rolling Sixteenths", pattern(repeat("C, C, C, C, Eb, Eb, F, F,", 2)), 16, dict(d=0.12, s=0.0)),
        ("Syncopated", pattern("C,> - - C, - - C, - - C, - - Bb,, - C, -"), 16, {}),
        ("Two Bar Groove", pattern("C, - C, Eb, - C, - G,, Bb,, - C, - Eb, F, - G,"), 16, {}),
        ("Minor Bass Song", pattern(" ".join([repeat("C, - C, -", 2), repeat("Ab,, - Ab,, -", 2),
                                             repeat("Eb, - Eb, -", 2), repeat("Bb,, - Bb,, -", 2)])), 32, {}),
        ("Berlin School", pattern(repeat("C, G, C Eb C G, Bb, G,", 4)), 32, dict(d=0.2, s=0.0, res=0.5)),
        ("Reggae One Drop", pattern("- - - - C,_ - - - G,,_ - - - Bb,, C, - -"), 16, dict(cutoff=180, s=0.7)),
        ("Motorik", pattern(repeat("C, C, G, C,", 4)), 16, dict(d=0.25, s=0.3)),
        ("Gospel Walk", pattern("C, E, G, A, Bb, A, G, E, F, A, C Eb D C Bb, G,"), 16, {}),
        ("Afro Groove", pattern("C,> - C, - - C, - Eb, - F, - - G, - Eb, -"), 16, dict(feel="straight")),
        ("Latin Tumbao", pattern("- - - C, - - G, - - - - C, - - G, -"), 16, dict(d=0.3, s=0.2)),
        ("Sixty-Four Steps", pattern(" ".join([repeat("C, - C Bb,", 4), repeat("Ab,, - Ab, G,,", 4),
                                               repeat("F,, - F, Eb,", 4), repeat("G,, - G, B,,", 4)])), 64, {}),
        ("Industrial", pattern(repeat("C,> C,> - C, C,> - C, -", 2)), 16, dict(noise=0.2, res=0.5, cutoff=300)),
        ("Trance Rolling", pattern(repeat("- C, C, C,", 4)), 16, dict(d=0.14, s=0.0, cutoff=350)),
        ("Slow Jam", pattern("C,_ - - Eb,_ - F,_ - - G,_ - - Bb,_ - - G, -", length=1.0), 16, dict(clock="1/8")),
    ]
    bank.add("Sequence\\Bassline", bassline, [
        (name, dict(line=line, steps=n, **extra)) for name, line, n, extra in basslines
    ])

    melodic = dict(range=0, saw=0.6, pulse=0.6, cutoff=1500, res=0.3, env=0.35, keytrack=0.7, a=0.0, d=0.3, s=0.2,
                   r=0.2, vel_env=0.2, vel_vol=0.35, seq=True, clock="1/16", wheel=0.02)
    melodies = [
        ("Dorian Sunrise", pattern("C D Eb F G A Bb C' Bb A G F Eb D C -"), {}),
        ("Lydian Sky", pattern("C E F# G B C' B G F# E D C - G, C -"), dict(transpose=12)),
        ("Phrygian Dust", pattern("C Db Eb - C Db Bb, - C Db Eb F Eb Db C -"), dict(res=0.45)),
        ("Aeolian Steps", pattern("C - Eb - G - Ab G F - Eb - D - Bb, -"), {}),
        ("Pentatonic Bells", pattern("C' A G E D C D E G A C' D' C' A G E"), dict(saw=0.0, pulse=0.8, res=0.5,
                                                                                   keytrack=1.0, s=0.0)),
        ("Arabic Scale", pattern("C Db E F G Ab B C' B Ab G F E Db C -"), dict(res=0.4)),
        ("Whole Tone Dream", pattern("C D E F# G# A# C' A# G# F# E D C - - -"), dict(glide=0.2, glide_mode="always")),
        ("Minor Arpeggios", pattern(repeat("C Eb G C'", 2) + " " + repeat("Ab, C Eb Ab", 2)), {}),
        ("Major Sevenths", pattern(repeat("C E G B", 2) + " " + repeat("F A C' E'", 2)), dict(d=0.35)),
        ("Canon Line", pattern("E' D' C' B A G A B C' B A G F E F D"), dict(transpose=0, cutoff=2200)),
        ("Minimal Motif", pattern("C - G - Eb - - Bb, - C - - G - F -"), dict(d=0.4, s=0.3)),
        ("Triplet Melody", pattern("C Eb G Bb G Eb F Ab C' Ab F Eb"), dict(feel="triplet", steps=12)),
        ("Call and Response", pattern("C' Bb G - - - - - G A Bb C' - - - -"), dict(d=0.45, s=0.4)),
        ("Chromatic Tension", pattern("C C# D D# E - E D# D C# C - B, C - -"), dict(res=0.5)),
    ]
    bank.add("Sequence\\Melodic", melodic, [
        (name, dict(dict(line=line, steps=len(line)), **extra)) for name, line, extra in melodies
    ])

    # ---------------------------------------------------------------- FX
    # Percussion: the resonance rings like a drum head, the envelope sweeps it down.
    perc = dict(range=0, saw=0.0, pulse=0.0, sub=0.0, noise=0.0, cutoff=60, res=0.0, env=0.0, keytrack=0.0,
                vca="env", a=0.0, d=0.25, s=0.0, r=0.2, vel_vol=0.6, wheel=0.0, bend=0)
    bank.add("FX\\Percussion", perc, [
        ("Analog Kick", dict(sub=1.0, saw=0.3, sub_mode="square1", range=-12, cutoff=70, res=0.6, env=0.55,
                             env_full=True, d=0.22, vol_comp=True)),
        ("Ping Kick", dict(noise=0.05, cutoff=45, res=0.95, env=0.5, env_full=True, d=0.25)),
        ("Boom", dict(sub=1.0, saw=0.2, sub_mode="square1", range=-24, cutoff=90, res=0.5, env=0.4, d=0.4, r=0.3,
                      vol_comp=True)),
        ("Snare", dict(noise=0.9, white=True, saw=0.3, cutoff=2500, res=0.3, env=0.3, d=0.18)),
        ("Tight Snare", dict(noise=1.0, white=True, cutoff=4000, res=0.2, env=0.2, d=0.12)),
        ("Clap", dict(noise=1.0, white=True, cutoff=1800, res=0.5, d=0.15, lfo_wave="square", lfo_hz=40.0,
                      lfo_filter=0.2, lfo_trigger=True)),
        ("Closed Hat", dict(noise=1.0, white=True, cutoff=9000, res=0.3, d=0.07, r=0.05, keytrack=0.0)),
        ("Open Hat", dict(noise=1.0, white=True, cutoff=8000, res=0.35, d=0.3, r=0.3)),
        ("Tom Low", dict(sub=0.5, range=-12, cutoff=100, res=0.85, env=0.3, d=0.3, keytrack=1.0)),
        ("Tom High", dict(sub=0.5, range=0, cutoff=200, res=0.85, env=0.3, d=0.25, keytrack=1.0)),
        ("Rimshot", dict(pulse=0.6, noise=0.4, white=True, cutoff=1500, res=0.7, d=0.08, r=0.06)),
        ("Cowbell-ish", dict(pulse=1.0, pwm=0.3, pwm_mode="manual", range=12, cutoff=900, res=0.6, d=0.18)),
        ("Shaker", dict(noise=1.0, white=True, cutoff=6000, res=0.1, a=0.05, d=0.12, r=0.08)),
        ("Zap Drum", dict(saw=0.5, sub=0.5, range=-12, cutoff=80, res=0.8, env=0.7, env_full=True, d=0.18)),
        ("Wood Block", dict(pulse=0.8, range=12, cutoff=1200, res=0.8, d=0.06, r=0.05, keytrack=1.0)),
    ])

    noise = dict(range=0, saw=0.0, pulse=0.0, sub=0.0, noise=1.0, cutoff=1500, res=0.3, keytrack=0.3,
                 a=0.2, d=0.6, s=0.8, r=0.5, vel_vol=0.2, wheel=0.0)
    bank.add("FX\\Noise", noise, [
        ("Wind", dict(lfo_filter=0.35, lfo_wave="noise", lfo_hz=0.6, res=0.55, cutoff=900)),
        ("Ocean Waves", dict(white=True, lfo_filter=0.45, lfo_hz=0.12, cutoff=700, a=0.6, r=0.8)),
        ("Rain", dict(white=True, lfo_filter=0.2, lfo_wave="sh", lfo_hz=25.0, cutoff=3000)),
        ("Radio Static", dict(white=True, lfo_filter=0.3, lfo_wave="sh", lfo_hz=9.0, res=0.6, cutoff=2000)),
        ("Steam", dict(white=True, cutoff=6000, a=0.05, d=0.5, s=0.3, res=0.2)),
        ("Breath", dict(cutoff=1200, a=0.3, s=0.6, res=0.4, lfo_filter=0.12, lfo_hz=0.3)),
        ("Engine Room", dict(saw=0.5, range=-24, cutoff=300, res=0.5, lfo_filter=0.2, lfo_hz=8.0)),
        ("Whistling Wind", dict(res=0.88, cutoff=1200, keytrack=1.0, lfo_filter=0.2, lfo_wave="noise", lfo_hz=0.4,
                                vol_comp=True)),
    ])

    sweep = dict(range=0, saw=1.0, pulse=0.4, sub=0.3, noise=0.2, cutoff=80, res=0.55, env=0.9, env_full=True,
                 keytrack=0.3, a=0.85, d=0.8, s=1.0, r=0.6, vel_vol=0.2, wheel=0.0)
    bank.add("FX\\Sweep", sweep, [
        ("Riser", dict()),
        ("Noise Riser", dict(saw=0.0, pulse=0.0, sub=0.0, noise=1.0, white=True)),
        ("Falling", dict(a=0.0, d=0.85, s=0.0, cutoff=8000, env=0.0, lfo_filter=0.0, vco_mod=0.45, lfo_hz=0.3,
                         lfo_trigger=True, lfo_invert=True, lfo_wave="tri")),
        ("Slow Sweep", dict(lfo_filter=0.5, lfo_hz=0.08, env=0.0, a=0.3, cutoff=400)),
        ("Vortex", dict(lfo_filter=0.6, lfo_hz=0.5, res=0.75, env=0.0, a=0.2, cutoff=500)),
        ("Uplifter", dict(vco_mod=0.6, lfo_hz=0.1, lfo_trigger=True, lfo_wave="tri", a=0.6)),
        ("Rising Tide", dict(white=True, noise=0.6, lfo_filter=0.25, lfo_hz=0.15, a=0.9)),
        ("Tension", dict(vco_mod=0.15, lfo_hz=7.0, a=0.7, res=0.7)),
    ])

    zap = dict(range=0, saw=1.0, pulse=0.0, sub=0.0, cutoff=200, res=0.85, env=0.9, env_full=True, keytrack=0.5,
               vca="env", a=0.0, d=0.2, s=0.0, r=0.15, vel_vol=0.3, vol_comp=True, wheel=0.0)
    bank.add("FX\\Zap", zap, [
        ("Laser", dict()),
        ("Pew", dict(d=0.12, transpose=12)),
        ("Blaster", dict(noise=0.3, d=0.25, res=0.8)),
        ("Bleep", dict(saw=0.0, pulse=1.0, env=0.0, res=0.0, cutoff=8000, d=0.1, s=0.0, transpose=12)),
        ("Robot Chatter", dict(lfo_wave="sh", lfo_hz=14.0, vco_mod=0.4, snap=True, d=0.5, s=0.6, env=0.3)),
        ("Descending Zap", dict(vco_mod=0.5, lfo_hz=2.0, lfo_trigger=True, lfo_invert=True, d=0.3)),
        ("Alarm", dict(saw=0.0, pulse=1.0, res=0.3, env=0.3, lfo_wave="square", lfo_hz=3.0, vco_mod=0.3, snap=True,
                       d=0.6, s=0.8)),
    ])
    # Programs without a line of their own get one that suits their group.
    for i, (category, name, patch) in enumerate(bank.programs):
        if patch["adsr"] == "legato":
            patch["line"] = LEGATO_LINES[0 if patch["range"] >= 0 else 1]
        if patch["line"] is None:
            group = category.split("\\")[0]
            patch["line"] = (BASSLINES[i % len(BASSLINES)] if group == "Bass"
                             else CHORD_LINES[i % len(CHORD_LINES)] if group == "Poly"
                             else LEAD_LINES[i % len(LEAD_LINES)] if group == "Lead"
                             else DEFAULT_LINE)
    return bank


# ----------------------------------------------------------------------------- writing

def step_elements(p):
    line = p["line"] or DEFAULT_LINE
    count = p["step_count"]
    steps = []
    for i in range(count):
        if i < len(line):
            steps.append(line[i])
        else:
            steps.append(Step())
    return steps


def wrap_attributes(indent, tag, attributes, width=100):
    """One element's start tag, its attribute list wrapped as the framework's writer does."""
    head = " " * indent + "<" + tag
    lines_ = []
    current = head
    for name, value in attributes:
        item = ' %s="%s"' % (name, value)
        if len(current) + len(item) > width and current != head:
            lines_.append(current)
            current = " " * (len(head)) + item
        else:
            current += item
    lines_.append(current)
    return "\n".join(lines_)


def xml_escape(text):
    return text.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;").replace(">", "&gt;")


# Loudness targets (dBFS, the loudest 50 ms of the test render) per top-level group: basses a
# little hotter, pads (which are played as chords) and effects a little lower, as a mix wants them,
# with headroom for the player's own chords and velocities.
TARGET_DB = {"Bass": -16.0, "Lead": -17.0, "Poly": -19.0, "Sequence": -17.0, "FX": -18.0}
PEAK_LIMIT_DB = -3.0


def write(bank, out_path, levels):
    parts = ['<?xml version="1.0" encoding="UTF-8"?>', "", '<vro curprogram="0" version="%s">' % VERSION, "  <programs>"]
    seen = set()
    for category, name, patch in bank.programs:
        key = (category, name)
        if key in seen:
            raise SystemExit("duplicate program %s\\%s" % key)
        seen.add(key)
        patch = dict(patch)
        patch["volume"] = calibrated_volume(category, name, patch, levels)
        attributes = [("programname", xml_escape(name)), ("category", xml_escape(category))] + encode(patch, category)
        parts.append(wrap_attributes(4, "program", attributes) + ">")
        steps = step_elements(patch)
        parts.append('      <sequencer numberofsteps="%d">' % patch["steps"])
        for s in steps:
            parts.append('        <step noteoffset="%d" pause="%d" slide="%d" slideadsr="%d" velocity="%s" length="%s"/>'
                         % (s.offset, s.pause, s.slide, s.slide_adsr, fmt(s.velocity), fmt(s.length)))
        parts.append("      </sequencer>")
        parts.append("    </program>")
    parts.append("  </programs>")
    parts.append("  <midimap>")
    for controller, param in [(3, 38), (4, 37), (20, 27), (21, 28), (22, 29), (23, 32), (24, 36)]:
        parts.append('    <map param="%d" controllernumber="%d"/>' % (param, controller))
    parts.append("  </midimap>")
    parts.append("</vro>")
    text = "\n".join(parts) + "\n"
    with open(out_path + ".tmp", "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    os.replace(out_path + ".tmp", out_path)


def calibrated_volume(category, name, patch, levels):
    """Scales the output gain so the measured loudness meets the group's target, within the peak
    limit. The gain is linear, so a measurement at any volume tells the gain for the target."""
    entry = levels.get(category + "\\" + name)
    if entry is None:
        return patch["volume"]
    loudness_db, peak_db, measured_volume = entry
    if loudness_db < -90.0:
        return patch["volume"]  # silent when measured: leave it for the sound check to report
    target = TARGET_DB[category.split("\\")[0]]
    change_db = min(target - loudness_db, PEAK_LIMIT_DB - peak_db)
    gain = volume_gain(measured_volume) * 10.0 ** (change_db / 20.0)
    return round(volume_value(gain), 4)


def load_levels_file(path):
    levels = {}
    if path and os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            for line in f:
                line = line.rstrip("\n")
                if not line or line.startswith("#"):
                    continue
                key, loudness, peak, volume = line.split("\t")
                levels[key] = (float(loudness), float(peak), float(volume))
    return levels


def check(bank):
    """The bank's shape, as the plug-in and its tests expect it."""
    programs = bank.programs
    categories = {c for c, _, _ in programs}
    tops = {c.split("\\")[0] for c in categories}
    one_level = [c for c in categories if "\\" not in c]
    problems = []
    if len(programs) != 321:
        problems.append("%d programs, not 321" % len(programs))
    if len(categories) != 25 or len(tops) != 5 or len(one_level) != 2:
        problems.append("%d category paths, %d groups, %d one-level" % (len(categories), len(tops), len(one_level)))
    short = sum(1 for _, _, p in programs if p["step_count"] == 64)
    if short != 33:
        problems.append("%d programs with 64 steps, not 33" % short)
    for c, n, p in programs:
        if p["steps"] > p["step_count"]:
            problems.append("%s\\%s plays %d of %d steps" % (c, n, p["steps"], p["step_count"]))
    # Every program must be a sound of its own, not a copy with another name: the same settings
    # only count as different when the sequencer or arpeggiator plays different steps.
    sounds = {}
    for c, n, p in programs:
        fingerprint = tuple(encode(p, "")) + ((tuple((s.offset, s.pause, s.slide, s.slide_adsr, s.velocity, s.length)
                                                      for s in p["line"][:p["steps"]]),) if p["arp"] or p["seq"] else ())
        if fingerprint in sounds:
            problems.append("%s\\%s is a copy of %s" % (c, n, sounds[fingerprint]))
        sounds[fingerprint] = c + "\\" + n
    if problems:
        raise SystemExit("bank shape: " + "; ".join(problems))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", default=os.path.join(here, "..", "resources", "FactoryBank.xml"))
    parser.add_argument("--levels", default=os.path.join(here, "factory_bank_levels.txt"),
                        help="measured loudness per program (written by the core tests)")
    args = parser.parse_args()
    bank = build()
    check(bank)
    levels = load_levels_file(args.levels)
    write(bank, args.out, levels)
    print("wrote %d programs to %s (%d calibrated levels)" % (len(bank.programs), args.out, len(levels)))


if __name__ == "__main__":
    sys.exit(main())
