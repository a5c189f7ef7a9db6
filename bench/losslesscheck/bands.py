#!/usr/bin/python3
# Debugging aid for the lossless check (needs numpy and ffmpeg): the long-term
# spectrum of a file in 100 Hz bands from 14 kHz up, and per 250 Hz band the
# share of busy windows in which the band lies at the 16-bit quantisation floor.
#   bench/losslesscheck/bands.py FILE...
import subprocess, sys
import numpy as np

N = 4096
def load(path):
    info = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                           "stream=sample_rate,channels", "-of", "csv=p=0", path],
                          capture_output=True, text=True).stdout.strip().split(",")
    rate, ch = int(info[0]), int(info[1])
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "f32le", "-"], capture_output=True).stdout
    return rate, np.frombuffer(raw, dtype=np.float32).reshape(-1, ch).T.astype(np.float64)

def frames(x, n):
    hop = n // 2
    count = (len(x) - n) // hop + 1
    idx = np.arange(n)[None, :] + hop * np.arange(count)[:, None]
    w = 0.5 - 0.5 * np.cos(2 * np.pi * np.arange(n) / n)
    return (np.abs(np.fft.rfft(x[idx] * w, axis=1)) ** 2) * 16.0 / (n * n)

floor = 10 * np.log10((2.0 ** -15) ** 2 / 12 * 6 / N)
for path in sys.argv[1:]:
    rate, x = load(path)
    binhz = rate / N
    P = np.concatenate([frames(c, N) for c in x])
    avg = P.mean(axis=0)
    def band(p, lo, hi):
        a, b = int(np.ceil(lo / binhz)), int(np.ceil(hi / binhz))
        return 10 * np.log10(np.maximum(p[..., a:b].mean(axis=-1), 1e-30))
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
