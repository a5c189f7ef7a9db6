#!/usr/bin/python3
"""Measures the 512-tap window of the MPEG audio polyphase synthesis filterbank
from a black-box decoder (FFmpeg's mp1float), and prints it as C++ constants.

It builds MPEG-1 Layer I frames by hand (mono, 48 kHz, 384 kbps: 384-byte
frames) in which every subband sample is zero except one, in one subband k,
decodes them to 32-bit float and reads off that subband's impulse response.
The synthesis is cosine-modulated: subband k's response is

    h_k[n] = D[n] * cos((16 + n mod 64) * (2k + 1) * pi / 64),  n = 0..511,

so the window D follows from all 32 responses by least squares. At
n = 16 mod 64 every cosine is zero: those taps never count, in synthesis or in
analysis, and are printed as 0. The check: every response rebuilt
from D matches the decoded one to the decoder's float precision (about 1e-5).

Usage: measure-mpeg-window.py [--check]   (needs ffmpeg and numpy)
"""
import math
import subprocess
import sys
import tempfile

import numpy as np

SUBBANDS = 32
TAPS = 512
FRAME_SAMPLES = 12          # subband samples per subband in a Layer I frame
RATE = 48000
FRAME_BYTES = 12 * 384000 // RATE * 4   # 384: no padding slot at 48 kHz
NB = 7                      # bits per sample: allocation code 6 (the frame holds 12 * 32 * 7 bits)
SCALE_INDEX = 3             # scalefactor 2 * 2^(-3/3) = 1.0
CODE = 2 ** (NB - 1) - 1 + 32     # decodes to 2 * 32 / (2^7 - 1)


class Bits:
    def __init__(self):
        self.bits = []

    def put(self, value, width):
        for i in range(width - 1, -1, -1):
            self.bits.append((value >> i) & 1)

    def bytes(self, size):
        bits = self.bits + [0] * (size * 8 - len(self.bits))
        assert len(bits) == size * 8
        return bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8))


def layer1_frame(impulse):
    b = Bits()
    b.put(0xFFF, 12)
    b.put(1, 1)        # ID: MPEG-1
    b.put(3, 2)        # layer code 11: Layer I
    b.put(1, 1)        # protection bit set: no CRC
    b.put(12, 4)       # bitrate index 12: 384 kbps in Layer I
    b.put(1, 2)        # sampling frequency 01: 48 kHz
    b.put(0, 1)        # padding
    b.put(0, 1)        # private
    b.put(3, 2)        # single channel
    b.put(0, 2)        # mode extension
    b.put(0, 1)        # copyright
    b.put(0, 1)        # original
    b.put(0, 2)        # emphasis
    for _ in range(SUBBANDS):
        b.put(NB - 1, 4)
    for _ in range(SUBBANDS):
        b.put(SCALE_INDEX, 6)
    zero = 2 ** (NB - 1) - 1
    for s in range(FRAME_SAMPLES):
        for k in range(SUBBANDS):
            b.put(CODE if impulse == (k, s) else zero, NB)
    return b.bytes(FRAME_BYTES)


def sample_value():
    # Layer I requantisation: invert the code's top bit, read it as a two's
    # complement fraction f, then s = 2^nb / (2^nb - 1) * (f + 2^(1 - nb)),
    # times the scalefactor 2 * 2^(-index/3).
    c = CODE ^ (1 << (NB - 1))
    if c & (1 << (NB - 1)):
        c -= 1 << NB
    f = c / 2 ** (NB - 1)
    s = 2 ** NB / (2 ** NB - 1) * (f + 2 ** (1 - NB))
    return s * 2.0 * 2 ** (-SCALE_INDEX / 3)


def decode(data, workdir):
    path = workdir + "/in.mp1"
    with open(path, "wb") as f:
        f.write(data)
    out = subprocess.run(["ffmpeg", "-v", "error", "-f", "mp3", "-c:a", "mp1float", "-i", path,
                          "-f", "f32le", "-c:a", "pcm_f32le", "-"], check=True, capture_output=True).stdout
    return np.frombuffer(out, dtype="<f4").astype(np.float64)


def modulation(k):
    n = np.arange(TAPS)
    return np.cos((16 + n % 64) * (2 * k + 1) * math.pi / 64)


def main():
    frames_before = 2
    silent = layer1_frame(None)
    responses = []
    value = sample_value()
    with tempfile.TemporaryDirectory() as workdir:
        zero = decode(silent * 6, workdir)
        assert np.all(zero == 0.0), "silent frames do not decode to silence"
        for k in range(SUBBANDS):
            data = silent * frames_before + layer1_frame((k, 0)) + silent * 3
            out = decode(data, workdir)
            responses.append(out)
    # The decoder's output delay: the offset at which the responses fit the
    # modulated window best (0 for this decoder: a subband sample decoded in
    # slot t starts to sound at output sample 32 t).
    expected = frames_before * FRAME_SAMPLES * SUBBANDS
    m = np.array([modulation(k) for k in range(SUBBANDS)])
    best = None
    for delay in range(-64, 65):
        h = np.array([r[expected + delay:expected + delay + TAPS] for r in responses]) / value
        weight = (m * m).sum(axis=0)
        seen = weight > 1e-9
        window = np.where(seen, (h * m).sum(axis=0) / np.where(seen, weight, 1), 0.0)
        # What the window does not explain: the misfit, and any response outside the 512 taps.
        outside = max(max(np.abs(r[:expected + delay]).max(initial=0), np.abs(r[expected + delay + TAPS:]).max(initial=0))
                      for r in responses) / value
        error = max(np.abs(window * m - h).max(), outside)
        if best is None or error < best[0]:
            best = (error, delay, window)
    error, delay, window = best
    print(f"// output delay {delay} samples; largest error of the 32 rebuilt responses {error:.3g}",
          file=sys.stderr)
    # The decoder computes in 32-bit float: its responses match the model to
    # about 1e-5 (the window peaks near 1.14).
    assert error < 3e-5, "the responses are not this cosine modulation of one window"
    if "--check" in sys.argv:
        return
    print("// D[0..511]: the synthesis window, measured (see measure-mpeg-window.py).")
    print("inline constexpr std::array<double, 512> kMpegSynthesisWindow{")
    for i in range(0, TAPS, 4):
        print("    " + " ".join(f"{window[j]:.9f}," for j in range(i, i + 4)))
    print("};")


if __name__ == "__main__":
    main()
