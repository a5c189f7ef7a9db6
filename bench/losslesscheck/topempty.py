#!/usr/bin/python3
# Debugging aid for the lossless check (needs numpy and ffmpeg): per file, the
# lowest frequency F(p) from which everything up to the Nyquist frequency's
# last 250 Hz lies at the 16-bit quantisation floor in at least p% of the busy
# windows (4,096-point Hann windows whose 11-15.5 kHz band is above -80 dB).
#   bench/losslesscheck/topempty.py FILE...     (files named LABEL__NAME.flac)
import subprocess, sys, os, collections
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
margin = float(os.environ.get("MARGIN", "4"))
step = 250
res = collections.defaultdict(list)
for path in sys.argv[1:]:
    rate, x = load(path)
    binhz = rate / N
    P = np.concatenate([frames(c, N) for c in x])
    def band(p, lo, hi):
        a, b = int(np.ceil(lo / binhz)), int(np.ceil(hi / binhz))
        return 10 * np.log10(np.maximum(p[..., a:b].mean(axis=-1), 1e-30))
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
