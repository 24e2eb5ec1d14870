#!/usr/bin/env python3
"""Bitmap font fixtures for the font tests, written with struct.

  make_font_fixtures.py OUTDIR          a hand-made font and its malformed variants
  make_font_fixtures.py --shuffle IN OUT  the same font with its glyph records reversed
  make_font_fixtures.py --stats IN        glyph count, line height of the lowest code, mean width

The hand-made font: space (3 wide, 10 high), "A" (7 wide, 12 high), "V" (6), "." (1),
stored out of code order with "A" twice; kerning (A, V) -1 and (., .) -4; one page.
"mono.fnt": every printable ASCII glyph 5 wide and 9 high (an advance of 7), kerning (A, V) -1.
"""
import struct
import sys

PAGE = 256 * 256 * 4


def font(version=2, glyphs=None, pages=1, kerning=None, page_bytes=None, signature=b"Font File.\x1a"):
    if glyphs is None:
        glyphs = [(ord("V"), 20, 0, 26, 12, 0), (ord("."), 30, 0, 31, 12, 0), (ord("A"), 10, 0, 17, 12, 0),
                  (ord(" "), 0, 0, 3, 10, 0), (ord("A"), 10, 0, 17, 12, 0)]
    if kerning is None:
        kerning = [(ord("."), ord("."), -4), (ord("A"), ord("V"), -1)]
    data = signature + struct.pack("<HHII", version, len(glyphs), 0xFF00FF, pages)
    for glyph in glyphs:
        data += struct.pack("<6H", *glyph)
    data += struct.pack("<H", len(kerning))
    for first, second, adjustment in kerning:
        data += struct.pack("<HHh", first, second, adjustment)
    if page_bytes is None:
        page_bytes = bytes([0xFF, 0x00, 0xFF, 0x00]) * (256 * 256) * pages
    return data + page_bytes


def write_all(directory):
    variants = {
        "good.fnt": font(),
        "version3.fnt": font(version=3),
        "right257.fnt": font(glyphs=[(ord("A"), 250, 0, 257, 12, 0)], kerning=[]),
        "kerning_without_glyph.fnt": font(kerning=[(ord("A"), ord("Z"), -1)]),
        "zero_glyphs.fnt": font(glyphs=[]),
        "zero_pages.fnt": font(pages=0, page_bytes=b""),
        "short_page.fnt": font(page_bytes=bytes(PAGE - 1)),
        "bad_signature.fnt": font(signature=b"Font File.\x00"),
        "code_below_32.fnt": font(glyphs=[(31, 0, 0, 3, 10, 0)], kerning=[]),
        "page_out_of_range.fnt": font(glyphs=[(ord("A"), 0, 0, 3, 10, 1)], kerning=[]),
        "empty_rectangle.fnt": font(glyphs=[(ord("A"), 5, 0, 5, 10, 0)], kerning=[]),
        "short_header.fnt": font()[:14],
        "mono.fnt": font(glyphs=[(code, (code - 32) % 51 * 5, (code - 32) // 51 * 9, (code - 32) % 51 * 5 + 5,
                                  (code - 32) // 51 * 9 + 9, 0) for code in range(32, 127)],
                         kerning=[(ord("A"), ord("V"), -1)]),
    }
    for name, data in variants.items():
        with open(f"{directory}/{name}", "wb") as out:
            out.write(data)


def glyph_table(data):
    count = struct.unpack_from("<H", data, 13)[0]
    return count, [struct.unpack_from("<6H", data, 23 + 12 * i) for i in range(count)]


def shuffle(source, target):
    data = open(source, "rb").read()
    count, glyphs = glyph_table(data)
    body = b"".join(struct.pack("<6H", *g) for g in reversed(glyphs))
    open(target, "wb").write(data[:23] + body + data[23 + 12 * count:])


def stats(source):
    count, glyphs = glyph_table(open(source, "rb").read())
    lowest = min(glyphs, key=lambda g: g[0])
    print(count, lowest[4] - lowest[2], sum(g[3] - g[1] for g in glyphs) // count)


if __name__ == "__main__":
    if sys.argv[1] == "--shuffle":
        shuffle(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "--stats":
        stats(sys.argv[2])
    else:
        write_all(sys.argv[1])
