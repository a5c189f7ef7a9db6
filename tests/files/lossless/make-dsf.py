# Writes a DSF (DSD stream file) of a 1 kHz tone: a first-order sigma-delta
# modulation at DSD64 (2,822,400 Hz, 1 bit), mono, LSB first.
import math, struct, sys
rate = 2822400
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 0.1
samples = int(rate * seconds)
bits = []
acc = 0.0
for n in range(samples):
    x = 0.5 * math.sin(2 * math.pi * 1000 * n / rate)
    y = 1.0 if acc >= 0 else -1.0
    bits.append(1 if y > 0 else 0)
    acc += x - y
data = bytearray()
for i in range(0, samples, 8):
    b = 0
    for k, bit in enumerate(bits[i:i + 8]):
        b |= bit << k
    data.append(b)
block = 4096
data += bytes((-len(data)) % block)
fmt = b'fmt ' + struct.pack('<QIIIIIIQII', 52, 1, 0, 1, 1, rate, 1, samples, block, 0)
body = b'data' + struct.pack('<Q', 12 + len(data)) + bytes(data)
total = 28 + len(fmt) + len(body)
out = b'DSD ' + struct.pack('<QQQ', 28, total, 0) + fmt + body
open(sys.argv[1], 'wb').write(out)
