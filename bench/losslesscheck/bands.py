#!/usr/bin/python3
# Debugging aid for the lossless check (needs numpy and ffmpeg): the long-term
# spectrum of a file in 100 Hz bands from 14 kHz up, and per 250 Hz band the
# share of busy windows in which the band lies at the 16-bit quantisation floor.
#   bench/losslesscheck/bands.py FILE...
import sys
import numpy as np
from decoded import load, frames, floor_db, band_db

N = 4096


floor = floor_db(N)
for path in sys.argv[1:]:
    rate, x = load(path)
    binhz = rate / N
    P = np.concatenate([frames(c, N) for c in x])
    avg = P.mean(axis=0)
    def band(p, lo, hi):
        return band_db(p, binhz, lo, hi)
    print("==", path, rate, "floor %.1f" % floor)
    print(" avg 100Hz bands 14k..:", " ".join("%d" % round(band(avg, f, f + 100) - floor)
                                            for f in range(14000, rate // 2 - 100, 100)))
    ref = band(P, 11000, 15500)
    busy = ref > -80
    out = []
    for f in range(15000, rate // 2 - 250, 250):
        lv = band(P, f, f + 250)
        empty = (lv < floor + 3) & busy
        out.append("%.1f:%d" % (f / 1000, round(100 * empty.sum() / max(busy.sum(), 1))))
    print(" empty%% per 250Hz band (busy %d/%d):" % (busy.sum(), len(busy)), " ".join(out))
