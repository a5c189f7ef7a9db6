#!/usr/bin/env python3
# Writes a small General MIDI piece: drums with cymbals and hi-hats (the high
# band), piano chords, strings and a brass line; seed picks the variation.
import struct, sys, random
out, seed, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
random.seed(seed)
tpq = 480; tempo = 500000  # 120 bpm: a beat is 0.5 s
events = []  # (tick, bytes)
def note(ch, tick, dur, key, vel):
    events.append((tick, bytes([0x90 | ch, key, vel])))
    events.append((tick + dur, bytes([0x80 | ch, key, 0])))
programs = {0: random.choice([0, 1, 4]), 1: random.choice([48, 49, 50]), 2: random.choice([56, 61, 65, 73])}
for ch, p in programs.items(): events.append((0, bytes([0xC0 | ch, p])))
beats = int(seconds * 2)
root = random.choice([48, 50, 53, 55])
for b in range(beats):
    t = b * tpq
    note(9, t, tpq // 2, 36 if b % 2 == 0 else 38, 100)
    for h in range(2): note(9, t + h * tpq // 2, tpq // 4, random.choice([42, 42, 46]), random.randint(60, 110))
    if b % 4 == 0: note(9, t, tpq * 2, random.choice([49, 57, 51, 52]), 100)
    if b % 2 == 0:
        chord = [root + random.choice([0, 5, 7]) + i for i in (0, 4, 7, 12)]
        for k in chord: note(0, t, tpq * 2 - 10, k, random.randint(60, 100))
    if b % 4 == 0:
        for k in (root - 12, root + 7): note(1, t, tpq * 4 - 10, k, 70)
    note(2, t, tpq - 20, root + 12 + random.choice([0, 2, 4, 7, 9, 12]), random.randint(70, 110))
events.sort(key=lambda e: (e[0], e[1][0] & 0xF0 == 0x90))
track = bytearray(b'\x00\xff\x51\x03' + tempo.to_bytes(3, 'big'))
last = 0
def vlq(n):
    s = [n & 0x7f]; n >>= 7
    while n: s.insert(0, (n & 0x7f) | 0x80); n >>= 7
    return bytes(s)
for t, data in events:
    track += vlq(t - last) + data; last = t
track += b'\x00\xff\x2f\x00'
with open(out, 'wb') as f:
    f.write(b'MThd' + struct.pack('>IHHH', 6, 0, 1, tpq))
    f.write(b'MTrk' + struct.pack('>I', len(track)) + track)
