# Shared by the lossless check's debugging aids (needs numpy and ffmpeg): a
# file decoded to float per channel, and its Hann-windowed spectra with 50%
# overlap, scaled as the check scales them (a full-scale sine at 0 dB).
import subprocess
import numpy as np


def load(path):
    """(sample rate, channels x samples) of a file, decoded by ffmpeg."""
    info = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                           "stream=sample_rate,channels", "-of", "csv=p=0", path],
                          capture_output=True, text=True).stdout.strip().split(",")
    rate, ch = int(info[0]), int(info[1])
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "f32le", "-"], capture_output=True).stdout
    return rate, np.frombuffer(raw, dtype=np.float32).reshape(-1, ch).T.astype(np.float64)


def spectra(x, n):
    """The complex spectra of x's n-point Hann windows, one row per window."""
    hop = n // 2
    count = (len(x) - n) // hop + 1
    idx = np.arange(n)[None, :] + hop * np.arange(count)[:, None]
    w = 0.5 - 0.5 * np.cos(2 * np.pi * np.arange(n) / n)
    return np.fft.rfft(x[idx] * w, axis=1)


def frames(x, n):
    """The power of x's n-point Hann windows, one row per window."""
    return (np.abs(spectra(x, n)) ** 2) * 16.0 / (n * n)


def floor_db(n, bits=16):
    """The level per bin of bits-bit rounding noise under an n-point Hann window."""
    return 10 * np.log10((2.0 ** (1 - bits)) ** 2 / 12 * 6 / n)


def band_db(p, binhz, lo, hi):
    """The mean power of the bins from lo to hi Hz (bins binhz apart) of each row of p, in dB."""
    a, b = int(np.ceil(lo / binhz)), int(np.ceil(hi / binhz))
    return 10 * np.log10(np.maximum(p[..., a:b].mean(axis=-1), 1e-30))
