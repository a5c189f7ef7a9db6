#!/usr/bin/env python3
"""Lowers global_gain of every granule of every Layer III frame by a step,
as MP3Gain does: the side information is edited in place, nothing else.
Usage: gain_edit.py IN OUT STEPS. The first frame (Xing/LAME) is left alone."""
import sys

RATES = {3: [44100, 48000, 32000], 2: [22050, 24000, 16000], 0: [11025, 12000, 8000]}
BITRATES_V1 = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
BITRATES_V2 = [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]


class Bits:
    def __init__(self, data, start):
        self.data, self.pos = data, start * 8

    def read(self, n):
        v = 0
        for _ in range(n):
            v = (v << 1) | ((self.data[self.pos >> 3] >> (7 - (self.pos & 7))) & 1)
            self.pos += 1
        return v

    def write(self, n, v):
        for k in range(n - 1, -1, -1):
            byte, bit = self.pos >> 3, 7 - (self.pos & 7)
            self.data[byte] = (self.data[byte] & ~(1 << bit)) | (((v >> k) & 1) << bit)
            self.pos += 1


def main():
    data = bytearray(open(sys.argv[1], 'rb').read())
    steps = int(sys.argv[3])
    at = 0
    if data[:3] == b'ID3':
        at = 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9])
    first = True
    while at + 4 <= len(data) and data[at] == 0xFF and (data[at + 1] & 0xE0) == 0xE0:
        version = (data[at + 1] >> 3) & 3
        protected = not (data[at + 1] & 1)
        br = (data[at + 2] >> 4) & 15
        sr = (data[at + 2] >> 2) & 3
        padding = (data[at + 2] >> 1) & 1
        mono = (data[at + 3] >> 6) == 3
        rate = RATES[version][sr]
        if version == 3:
            size = 144000 * BITRATES_V1[br] // rate + padding
        else:
            size = 72000 * BITRATES_V2[br] // rate + padding
        if not first:
            bits = Bits(data, at + 4 + (2 if protected else 0))
            channels = 1 if mono else 2
            if version == 3:
                bits.read(9 + (5 if mono else 3) + 4 * channels)
                granules = 2
            else:
                bits.read(8 + (1 if mono else 2))
                granules = 1
            for _ in range(granules):
                for _ in range(channels):
                    bits.read(12 + 9)
                    gain = Bits(data, 0)
                    gain.pos = bits.pos
                    value = bits.read(8)
                    gain.write(8, max(0, value - steps))
                    # scalefac_compress, window_switching_flag, 22 bits of block or
                    # table fields, then preflag (MPEG-1), scalefac_scale, count1table_select
                    bits.read(4 + 1 + 22 + 3 if version == 3 else 9 + 1 + 22 + 2)
        first = False
        at += size
    open(sys.argv[2], 'wb').write(data)


main()
