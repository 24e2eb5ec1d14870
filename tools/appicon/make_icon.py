#!/usr/bin/env python3
"""Writes the program's icon (resource 101) and the resource list that embeds it.

The icon holds a 32 x 32 and a 16 x 16 picture, 32-bit with alpha: a film frame in the
program's colours (a rounded orange square with a dark strip of sprocket holes on each
side and a green play triangle). Usage: make_icon.py OUTPUT_DIR
"""
import os
import struct
import sys


def pixel(size, x, y):
    """BGRA of the picture at (x, y), y counted from the top."""
    s = size / 32.0
    margin = 1 * s
    if x < margin or y < margin or x >= size - margin or y >= size - margin:
        return (0, 0, 0, 0)
    strip = 6 * s
    if x < strip or x >= size - strip:
        # Sprocket holes: light squares on the dark strips.
        hole = int(y / (4 * s)) % 2 == 1 and (2 * s <= (x if x < strip else x - (size - strip)) < 4 * s)
        return (230, 230, 230, 255) if hole else (40, 40, 48, 255)
    cx, cy = size / 2.0, size / 2.0
    # Play triangle pointing right.
    tx = x - (cx - 5 * s)
    ty = abs(y + 0.5 - cy)
    if 0 <= tx <= 11 * s and ty <= (11 * s - tx) * 0.6:
        return (80, 198, 45, 255)
    return (0, 127, 247, 255)


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        row = b"".join(bytes(pixel(size, x, y)) for x in range(size))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    images = [image(32), image(16)]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for size, data in zip((32, 16), images):
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(os.path.join(out, "program.ico"), "wb") as f:
        f.write(directory + b"".join(images))
    with open(os.path.join(out, "resources.list"), "w") as f:
        f.write("; The program's icon, written by tools/appicon/make_icon.py\nICON #101 0 program.ico\n")


if __name__ == "__main__":
    main()
