#!/usr/bin/env python3
"""Compares two WAV files sample by sample: same channels, rate and length, and no sample
differing by more than the tolerance (full scale = 1.0).
  compare-wav.py A.wav B.wav [TOLERANCE]      (default 1e-6; exit status 1 when they differ)
"""
import struct
import sys


def read_wav(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise SystemExit(f"{path}: not a WAV file")
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if tag == b"fmt ":
            kind, channels, rate = struct.unpack("<HHI", body[:8])
            bits = struct.unpack("<H", body[14:16])[0]
            if kind == 0xFFFE:
                kind = struct.unpack("<H", body[24:26])[0]
            fmt = (kind, channels, rate, bits)
        elif tag == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    if not fmt or samples is None:
        raise SystemExit(f"{path}: no format or data chunk")
    kind, channels, rate, bits = fmt
    n = len(samples) // (bits // 8)
    if kind == 3 and bits in (32, 64):
        values = struct.unpack(f"<{n}{'f' if bits == 32 else 'd'}", samples[:n * bits // 8])
    elif kind == 1 and bits in (16, 32):
        scale = float(1 << (bits - 1))
        values = [v / scale for v in struct.unpack(f"<{n}{'h' if bits == 16 else 'i'}",
                                                   samples[:n * bits // 8])]
    elif kind == 1 and bits == 24:
        values = [int.from_bytes(samples[i:i + 3], "little", signed=True) / 8388608.0
                  for i in range(0, n * 3, 3)]
    else:
        raise SystemExit(f"{path}: unsupported sample format {kind}/{bits}")
    return channels, rate, values


def main():
    if len(sys.argv) not in (3, 4):
        raise SystemExit(__doc__)
    tolerance = float(sys.argv[3]) if len(sys.argv) == 4 else 1e-6
    ca, ra, a = read_wav(sys.argv[1])
    cb, rb, b = read_wav(sys.argv[2])
    if (ca, ra, len(a)) != (cb, rb, len(b)):
        print(f"layout differs: {ca} ch {ra} Hz {len(a)} samples vs {cb} ch {rb} Hz {len(b)}")
        return 1
    worst, at = 0.0, 0
    for i, (x, y) in enumerate(zip(a, b)):
        d = abs(x - y)
        if d > worst:
            worst, at = d, i
    print(f"{len(a) // ca} frames x {ca} channels, largest difference {worst:.3g}"
          f" (frame {at // ca}), tolerance {tolerance:g}")
    return 0 if worst <= tolerance else 1


if __name__ == "__main__":
    sys.exit(main())
