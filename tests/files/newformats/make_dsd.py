#!/usr/bin/env python3
"""Writes small DSF and DSDIFF files: a 1 kHz sine through a second-order
one-bit delta-sigma modulator, so that ffmpeg decodes them to a real tone.

DSF (little-endian): "DSD " chunk (28 bytes), "fmt " chunk (52 bytes),
"data" chunk; samples in blocks of 4096 bytes per channel, least significant
bit first, the last block padded with zeros.
DSDIFF (big-endian): "FRM8"/"DSD " with "FVER", "PROP"/"SND " ("FS  ",
"CHNL", "CMPR"), and a "DSD " sound chunk with the channels' bytes
interleaved, most significant bit first.
"""
import math
import struct
import sys

BLOCK = 4096


def modulate(rate, count, channels):
    """One list of bits per channel."""
    out = []
    for ch in range(channels):
        bits, i1, i2, y = [], 0.0, 0.0, 0.0
        freq = 1000.0 * (ch + 1)
        for n in range(count):
            x = 0.5 * math.sin(2 * math.pi * freq * n / rate)
            i1 += x - y
            i2 += i1 - y
            bit = 1 if i2 >= 0 else 0
            y = 1.0 if bit else -1.0
            bits.append(bit)
        out.append(bits)
    return out


def pack(bits, lsb_first):
    data = bytearray()
    for k in range(0, len(bits), 8):
        byte = 0
        for j, b in enumerate(bits[k:k + 8]):
            byte |= b << (j if lsb_first else 7 - j)
        data.append(byte)
    return bytes(data)


def dsf(path, rate, count, channels, stated_count=None):
    chans = [pack(b, True) for b in modulate(rate, count, channels)]
    blocks = (len(chans[0]) + BLOCK - 1) // BLOCK
    data = bytearray()
    for blk in range(blocks):
        for c in chans:
            part = c[blk * BLOCK:(blk + 1) * BLOCK]
            data += part + bytes(BLOCK - len(part))
    channel_type = {1: 1, 2: 2}[channels]
    fmt = b"fmt " + struct.pack("<QIIIIIIQII", 52, 1, 0, channel_type, channels, rate, 1,
                                count if stated_count is None else stated_count, BLOCK, 0)
    body = fmt + b"data" + struct.pack("<Q", 12 + len(data)) + bytes(data)
    head = b"DSD " + struct.pack("<QQQ", 28, 28 + len(body), 0)
    with open(path, "wb") as f:
        f.write(head + body)


def chunk(cid, data):
    return cid + struct.pack(">Q", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def dff(path, rate, seconds, channels):
    count = int(rate * seconds)
    chans = [pack(b, False) for b in modulate(rate, count, channels)]
    sound = bytes(b for group in zip(*chans) for b in group)
    ids = [b"SLFT", b"SRGT"] if channels == 2 else [b"C   "]
    prop = b"SND " + chunk(b"FS  ", struct.pack(">I", rate)) \
        + chunk(b"CHNL", struct.pack(">H", channels) + b"".join(ids)) \
        + chunk(b"CMPR", b"DSD " + bytes([14]) + b"not compressed" + b"\0")
    form = b"DSD " + chunk(b"FVER", struct.pack(">I", 0x01050000)) + chunk(b"PROP", prop) + chunk(b"DSD ", sound)
    with open(path, "wb") as f:
        f.write(b"FRM8" + struct.pack(">Q", len(form)) + form)


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    # One whole block per channel (32768 samples), so that readers that
    # count the padding of the last block agree with the stated count.
    dsf(folder + "/dsd64-mono.dsf", 2822400, 32768, 1)
    dsf(folder + "/dsd128-stereo.dsf", 5644800, 32768, 2)
    dff(folder + "/dsd64-stereo.dff", 2822400, 0.01, 2)
