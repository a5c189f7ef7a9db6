#!/usr/bin/python3
# Debugging aid for the lossless check (needs numpy and ffmpeg): per 1 kHz band
# from 8 kHz up, the side-to-mid power ratio (dB) of a stereo file, and the
# magnitude-squared coherence of its channels.
#   bench/losslesscheck/stereo.py FILE...
import sys, os
import numpy as np
from decoded import load, spectra
N = 4096
for path in sys.argv[1:]:
    rate, x = load(path)
    if len(x) < 2:
        print(path, "is not stereo")
        continue
    L, R = spectra(x[0], N), spectra(x[1], N)
    M, S = (L + R) / 2, (L - R) / 2
    out = []
    for f in range(8000, rate // 2 - 500, 1000):
        a, b = int(f * N / rate), int(min(f + 1000, rate / 2 - 100) * N / rate)
        pm = (np.abs(M[:, a:b]) ** 2).sum(); ps = (np.abs(S[:, a:b]) ** 2).sum()
        coh = np.abs((L[:, a:b] * np.conj(R[:, a:b])).sum(axis=0)) ** 2 / ((np.abs(L[:, a:b]) ** 2).sum(axis=0) * (np.abs(R[:, a:b]) ** 2).sum(axis=0) + 1e-30)
        out.append("%d:%+.0f/%.2f" % (f // 1000, 10 * np.log10((ps + 1e-30) / (pm + 1e-30)), coh.mean()))
    print("%-34s %s" % (os.path.basename(path), " ".join(out)), flush=True)
