#!/usr/bin/env python3
"""Writes tests/foundation/data/printf_fixed.txt: doubles with their exact decimal
expansion at a given number of fraction digits, rounded half to even as python's Decimal
does. One case per line: the double's 64 bits in hex, the digit count N, the text of %.Nf."""
import decimal
import os
import random
import struct

decimal.getcontext().prec = 2000
decimal.getcontext().rounding = decimal.ROUND_HALF_EVEN


def bits_of(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def main():
    out = os.path.join(os.path.dirname(__file__), "..", "tests", "foundation", "data", "printf_fixed.txt")
    rng = random.Random(20261206)
    values = [0.5, 1.5, 2.5, 0.125, 0.35, 1e-10, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
              123456.789, 0.1, 1 / 3, 2 ** 53 + 2.0, 9.5, 0.05, 1e22, 1e23, 4.35, 0.015625]
    for _ in range(240):
        kind = rng.randrange(3)
        if kind == 0:
            x = rng.uniform(-1000, 1000)
        elif kind == 1:
            x = rng.uniform(-1, 1) * 10 ** rng.randrange(-30, 30)
        else:
            x = struct.unpack("<d", struct.pack("<Q", rng.getrandbits(63)))[0]
            if x != x or x in (float("inf"),):
                continue
            if abs(x) > 1e60 or (abs(x) < 1e-60 and x != 0):
                x = x * 0 + rng.uniform(0, 1) / 7
        values.append(x)
    lines = []
    for i, x in enumerate(values):
        n = [0, 1, 2, 6, 17, 20, 40, 60][i % 8] if i >= 19 else 60
        text = format(decimal.Decimal(x), ".%df" % n)
        if text.startswith("-") and decimal.Decimal(text) == 0 and x == 0:
            pass
        lines.append("%016x %d %s" % (bits_of(x), n, text))
        if i < 19:
            for m in (0, 1, 3, 20):
                lines.append("%016x %d %s" % (bits_of(x), m, format(decimal.Decimal(x), ".%df" % m)))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
