#!/usr/bin/python3
# Debugging aid for the lossless check (needs numpy and ffmpeg): per 250 Hz
# band from 16 kHz up, the share (%) of loud windows (11-15.5 kHz band at least
# LOUD dB above the 16-bit floor) in which the band lies at the floor (within
# MARGIN dB). Prints one line per file, bands joined by spaces.
#   bench/losslesscheck/holes.py FILE...
import sys, os
import numpy as np
from decoded import load, frames, floor_db, band_db
N = int(os.environ.get("N", "4096"))
floor = floor_db(N)
margin = float(os.environ.get("MARGIN", "3")); loud = float(os.environ.get("LOUD", "50"))
for path in sys.argv[1:]:
    rate, x = load(path)
    binhz = rate / N
    P = np.concatenate([frames(c, N) for c in x])
    def band(p, lo, hi):
        return band_db(p, binhz, lo, hi)
    L = band(P, 11000, 15500) > floor + loud
    fr = []
    for f in range(16000, rate // 2 - 250, 250):
        e = (band(P[L], f, f + 250) < floor + margin)
        fr.append(round(100 * e.mean()) if L.sum() else -1)
    print("%-36s loud %4d  %s" % (os.path.basename(path), L.sum(), " ".join("%2d" % v for v in fr)), flush=True)
