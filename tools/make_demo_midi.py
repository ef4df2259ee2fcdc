#!/usr/bin/env python3
"""Writes the demo phrase: two bars of a 16th-note bass line in A minor at 120 bpm, then a held
chord, as a format-0 Standard MIDI File. Usage: make_demo_midi.py OUT.mid"""
import struct
import sys

TICKS = 480
SIXTEENTH = TICKS // 4


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, (n & 0x7F) | 0x80)
        n >>= 7
    return bytes(out)


def main(path):
    events = []  # (tick, order, bytes)
    line = [45, 45, 57, 45, 48, 45, 55, 45, 43, 43, 55, 43, 50, 52, 55, 57]
    accents = [110, 70, 100, 70, 95, 70, 100, 70, 110, 70, 100, 70, 95, 80, 100, 90]
    for bar in range(2):
        for i, (note, vel) in enumerate(zip(line, accents)):
            t = (bar * 16 + i) * SIXTEENTH
            events.append((t, 1, bytes([0x90, note, vel])))
            events.append((t + SIXTEENTH - 30, 0, bytes([0x80, note, 0])))
    start = 32 * SIXTEENTH
    for note in (57, 60, 64, 67):
        events.append((start, 1, bytes([0x90, note, 96])))
        events.append((start + 8 * SIXTEENTH, 0, bytes([0x80, note, 0])))
    events.sort()

    track = vlq(0) + bytes([0xFF, 0x51, 3]) + (500000).to_bytes(3, "big")
    now = 0
    for tick, _, data in events:
        track += vlq(tick - now) + data
        now = tick
    track += vlq(0) + bytes([0xFF, 0x2F, 0])
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, TICKS))
        f.write(b"MTrk" + struct.pack(">I", len(track)) + track)


if __name__ == "__main__":
    main(sys.argv[1])
