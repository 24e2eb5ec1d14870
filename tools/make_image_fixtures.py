#!/usr/bin/env python3
"""Writes the image reader fixtures that ImageMagick does not write on request.

usage: make_image_fixtures.py OUTDIR [STREAM ...]

In OUTDIR: PNG files with a tRNS chunk (grey at 8 and 4 bits, palette), one whose IDAT
CRC is wrong, one cut inside its IDAT chunk; for each of them NAME.rgba holds the expected
decoding (R, G, B, A rows). Each STREAM (a .jpg or .png file) is also wrapped into
BMP files: NAME.file.bmp (file header with the data offset, compression 4 for JPEG and 5
for PNG) and NAME.bare.bmp (a bare 40-byte info header, the stream right after it).
Only zlib and struct: the bytes are exactly what is written here.
"""
import os
import struct
import sys
import zlib

WIDTH, HEIGHT = 13, 7


def chunk(kind, data):
    body = kind + data
    return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)


def png(color_type, depth, rows, extra=b'', interlace=0):
    """rows: lists of samples already packed for `depth` (one list per row, bytes values)."""
    raw = b''.join(b'\0' + bytes(row) for row in rows)
    header = struct.pack('>IIBBBBB', WIDTH, HEIGHT, depth, color_type, 0, 0, interlace)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + extra + chunk(b'IDAT', zlib.compress(raw, 9)) +
            chunk(b'IEND', b''))


def pack(samples, depth):
    out, bits, acc = [], 0, 0
    for s in samples:
        acc = (acc << depth) | s
        bits += depth
        if bits == 8:
            out.append(acc)
            bits, acc = 0, 0
    if bits:
        out.append(acc << (8 - bits))
    return out


def grey_trns(depth):
    top = (1 << depth) - 1
    key = top // 3
    samples = [[(x + y * 3) % (top + 1) for x in range(WIDTH)] for y in range(HEIGHT)]
    data = png(0, depth, [pack(row, depth) for row in samples], chunk(b'tRNS', struct.pack('>H', key)))
    expected = bytearray()
    for row in samples:
        for s in row:
            v = s * 255 // top
            expected += bytes((v, v, v, 0 if s == key else 255))
    return data, bytes(expected)


def palette_trns():
    colors = [(200, 10, 10), (10, 200, 10), (10, 10, 200), (250, 250, 0), (0, 0, 0)]
    alphas = [0, 128, 255]  # entries past the tRNS list are opaque
    indexes = [[(x * y + x) % len(colors) for x in range(WIDTH)] for y in range(HEIGHT)]
    extra = chunk(b'PLTE', b''.join(bytes(c) for c in colors)) + chunk(b'tRNS', bytes(alphas))
    data = png(3, 8, indexes, extra)
    expected = bytearray()
    for row in indexes:
        for i in row:
            expected += bytes(colors[i]) + bytes((alphas[i] if i < len(alphas) else 255,))
    return data, bytes(expected)


def rgb_plain():
    rows = [[(x * 19 + y * 7 + c * 60) & 255 for x in range(WIDTH) for c in range(3)] for y in range(HEIGHT)]
    return png(2, 8, rows)


def bad_idat_crc():
    data = bytearray(rgb_plain())
    idat = data.index(b'IDAT')
    length = struct.unpack('>I', data[idat - 4:idat])[0]
    data[idat + 4 + length] ^= 0x55  # first byte of the CRC
    return bytes(data)


def cut_in_idat():
    data = rgb_plain()
    idat = data.index(b'IDAT')
    return data[:idat + 4 + 10]


def wrap_bmp(stream, compression, file_header):
    info = struct.pack('<IiiHHIIiiII', 40, WIDTH, HEIGHT, 1, 0, compression, len(stream), 2835, 2835, 0, 0)
    if not file_header:
        return info + stream
    offset = 14 + 40 + 6  # a few bytes of padding between the headers and the stream
    header = b'BM' + struct.pack('<IHHI', offset + len(stream), 0, 0, offset)
    return header + info + b'\0' * 6 + stream


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    fixtures = {
        'grey8_trns': grey_trns(8),
        'grey4_trns': grey_trns(4),
        'palette_trns': palette_trns(),
    }
    for name, (data, expected) in fixtures.items():
        with open(os.path.join(out, name + '.png'), 'wb') as f:
            f.write(data)
        with open(os.path.join(out, name + '.rgba'), 'wb') as f:
            f.write(expected)
    with open(os.path.join(out, 'bad_idat_crc.png'), 'wb') as f:
        f.write(bad_idat_crc())
    with open(os.path.join(out, 'cut_in_idat.png'), 'wb') as f:
        f.write(cut_in_idat())
    for path in sys.argv[2:]:
        with open(path, 'rb') as f:
            stream = f.read()
        compression = 5 if stream.startswith(b'\x89PNG') else 4
        base = os.path.join(out, os.path.splitext(os.path.basename(path))[0])
        for kind, file_header in (('file', True), ('bare', False)):
            with open(base + '.' + kind + '.bmp', 'wb') as f:
                f.write(wrap_bmp(stream, compression, file_header))


if __name__ == '__main__':
    main()
