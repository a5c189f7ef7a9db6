#!/usr/bin/python3
# Debugging aid for the lossless check (needs numpy and ffmpeg): per file, the
# lowest frequency F(p) from which everything up to the Nyquist frequency's
# last 250 Hz lies at the 16-bit quantisation floor in at least p% of the busy
# windows (4,096-point Hann windows whose 11-15.5 kHz band is above -80 dB).
#   bench/losslesscheck/topempty.py FILE...     (files named LABEL__NAME.flac)
import sys, os, collections
import numpy as np
from decoded import load, frames, floor_db, band_db

N = 4096


floor = floor_db(N)
margin = float(os.environ.get("MARGIN", "4"))
step = 250
res = collections.defaultdict(list)
for path in sys.argv[1:]:
    rate, x = load(path)
    binhz = rate / N
    P = np.concatenate([frames(c, N) for c in x])
    def band(p, lo, hi):
        return band_db(p, binhz, lo, hi)
    busy = band(P, 11000, 15500) > -80
    top = rate // 2 - step
    starts = list(range(15000, top, step))
    levels = np.stack([band(P[busy], f, f + step) for f in starts], axis=1)   # windows x bands
    empty = levels < floor + margin
    # allempty[:, i]: every band from starts[i] to the top is empty
    allempty = np.flip(np.cumprod(np.flip(empty, axis=1), axis=1), axis=1).astype(bool)
    frac = allempty.mean(axis=0) if busy.sum() else np.zeros(len(starts))
    def F(p):
        ok = [s for s, fr in zip(starts, frac) if fr >= p / 100]
        return ok[0] / 1000 if ok else 0
    name = os.path.basename(path)
    label = name.split("__")[0]
    r = (F(50), F(75), F(90), F(95), busy.sum())
    res[label].append((name, r))
    print("%-40s F50 %.2f F75 %.2f F90 %.2f F95 %.2f busy %d" % ((name,) + r), flush=True)
