#!/usr/bin/env python3
"""Writes crafted TGA, BMP, PSD, PNG and GIF files that no image tool writes, built field by
field with struct and zlib, into the directory given, with manifest.txt listing what each
must read as. Usage: make_image_fixtures.py OUTDIR [STREAM ...]; each STREAM (a JPEG or
PNG file) is also wrapped into NAME.file.bmp (file header with a data offset) and
NAME.bare.bmp (a bare info header), compression 4 or 5, for the BMP reader's tests.

One manifest line per file, fields separated by tabs: the file name, the expected error
code in hex (0 when the file reads), then one field per image read:
    format width height dpiX dpiY key pixels palette
where key is the transparent colour in hex or "-", pixels are the image's rows in its own
layout (no row padding) in hex, and palette is "-" or the first palette entries expected,
four bytes (red, green, blue, alpha) each, in hex."""
import os
import struct
import sys
import zlib

USAGE = "usage: make_image_fixtures.py OUTDIR [STREAM ...]"
if len(sys.argv) > 1 and sys.argv[1] in ("-h", "--help"):
    print(USAGE)
    sys.exit(0)
if len(sys.argv) < 2 or sys.argv[1].startswith("-"):
    sys.stderr.write("make_image_fixtures.py: OUTDIR is needed\n" + USAGE + "\n")
    sys.exit(2)
OUT = sys.argv[1]
manifest = []


class Image:
    def __init__(self, fmt, width, height, pixels, dpi=(96, 96), key=None, palette=None):
        self.fmt, self.width, self.height, self.pixels = fmt, width, height, bytes(pixels)
        self.dpi, self.key, self.palette = dpi, key, palette
        assert len(self.pixels) == width * height * {1: 1, 3: 3, 5: 4, 12: 1, 14: 2}[fmt]

    def line(self):
        key = "-" if self.key is None else "%x" % self.key
        palette = "-" if not self.palette else bytes(b for e in self.palette for b in e).hex()
        return " ".join([str(self.fmt), str(self.width), str(self.height), str(self.dpi[0]), str(self.dpi[1]),
                         key, self.pixels.hex(), palette])


def fixture(name, data, code=0, images=()):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
    manifest.append("\t".join([name, "%x" % code] + [image.line() for image in images]))


def bgr(*colours):
    """Pixels of format 3 from (r, g, b) tuples."""
    return b"".join(bytes([b, g, r]) for r, g, b in colours)


def bgra(*colours):
    """Pixels of format 5 from (r, g, b, a) tuples."""
    return b"".join(bytes([b, g, r, a]) for r, g, b, a in colours)


GREY_RAMP = [(i, i, i, 255) for i in range(4)]

# ---- TGA ------------------------------------------------------------------------------


def tga(map_type, image_type, width, height, depth, descriptor, rest=b"", first=0, length=0, entry_bits=0):
    return struct.pack("<BBBHHBHHHHBB", 0, map_type, image_type, first, length, entry_bits, 0, 0, width, height,
                       depth, descriptor) + bytes(rest)


def tga_extension(data, key, attributes):
    """A version 2 footer naming an extension area with a key colour and an attributes type."""
    area = bytearray(495)
    area[470:474] = bytes([key >> 24 & 255, key & 255, key >> 8 & 255, key >> 16 & 255])
    area[494] = attributes
    return data + bytes(area) + struct.pack("<II", len(data), 0) + b"TRUEVISION-XFILE.\0"


def tga_fixtures():
    fixture("t16_attribute.tga", tga(0, 2, 2, 1, 16, 0x21, [0x1F, 0x80, 0xE0, 0x03]),
            images=[Image(3, 2, 1, bgr((0, 0, 0xF8), (0, 0xF8, 0)))])
    fixture("t16_565.tga", tga(0, 2, 2, 1, 16, 0x20, [0x1F, 0xF8, 0xE0, 0x07]),
            images=[Image(3, 2, 1, bgr((0xF8, 0, 0xF8), (0, 0xFC, 0)))])
    fixture("t15.tga", tga(0, 2, 1, 1, 15, 0x20, [0x00, 0x7C]), images=[Image(3, 1, 1, bgr((0xF8, 0, 0)))])
    fixture("t_right_to_left.tga", tga(0, 3, 2, 2, 8, 0x10, [1, 2, 3, 4]),
            images=[Image(1, 2, 2, [4, 3, 2, 1], palette=GREY_RAMP)])
    fixture("t_rle_rows.tga", tga(0, 11, 3, 2, 8, 0x20, [0x83, 9, 0x01, 5, 6]), images=[Image(1, 3, 2, [9, 9, 9, 9, 5, 6])])
    fixture("t_rle_past_end.tga", tga(0, 11, 2, 1, 8, 0x20, [0xFF, 7]), images=[Image(1, 2, 1, [7, 7])])
    # 257 entries need 24 bits; indices below the first entry or past the map are black.
    fixture("t_map257.tga", tga(1, 1, 3, 1, 16, 0x20, b"\x10" * 3 * 257 + bytes([2, 0, 1, 0, 3, 1]), 2, 257, 24),
            images=[Image(3, 3, 1, bgr((16, 16, 16), (0, 0, 0), (0, 0, 0)))])
    fixture("t_map_first.tga", tga(1, 1, 3, 1, 8, 0x20, [1, 2, 3, 4, 5, 6, 2, 0, 3], 1, 2, 24),
            images=[Image(1, 3, 1, [1, 0, 0], palette=[(3, 2, 1, 255), (6, 5, 4, 255), (0, 0, 0, 255)])])
    # Attribute types 0-2 make 32-bit pixels opaque, 3 keeps alpha, 4 undoes premultiplying.
    for attributes in range(4):
        fixture("t_attributes%d.tga" % attributes,
                tga_extension(tga(0, 2, 1, 1, 32, 0x28, [1, 2, 3, 4]), 0x00445566, attributes),
                images=[Image(5, 1, 1, bgra((3, 2, 1, 255 if attributes < 3 else 4)), key=0x445566)])
    fixture("t_premultiplied.tga",
            tga_extension(tga(0, 2, 2, 1, 32, 0x28, [40, 20, 10, 0x80, 9, 9, 9, 0]), 0x11223344, 4),
            images=[Image(5, 2, 1, bgra((10 * 255 // 128, 20 * 255 // 128, 40 * 255 // 128, 128), (0, 0, 0, 0)),
                          key=0x223344)])
    fixture("t_truncated.tga", tga(0, 3, 2, 2, 8, 0, [1, 2, 3]), 0x80020036)
    fixture("t_rle_truncated.tga", tga(0, 10, 2, 2, 24, 0, [0x81, 1, 2]), 0x80020036)
    fixture("t_interleaved.tga", tga(0, 3, 1, 1, 8, 0x40, [1]), 0x80020018)
    fixture("t_grey_map.tga", tga(1, 3, 1, 1, 8, 0, [1, 2, 3, 1], 0, 1, 24), 0x800D0002)
    fixture("t_empty_map.tga", tga(1, 1, 1, 1, 8, 0, [1], 0, 0, 24), 0x800D0002)
    fixture("t_depth12.tga", tga(0, 2, 1, 1, 12, 0, [1, 2]), 0x80020018)
    fixture("t_zero_width.tga", tga(0, 3, 0, 1, 8, 0), 0x8000100B)


# ---- BMP ------------------------------------------------------------------------------


def info_header(size, width, height, bits, compression, colours=0):
    return struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, compression, 0, 3779, 3779, colours, 0)


def file_header(offset):
    return b"BM" + struct.pack("<III", 0, 0, offset)


def le(*pairs):
    """Little-endian fields from (byte count, value) pairs."""
    return b"".join(value.to_bytes(8, "little")[:count] for count, value in pairs)


DPI = (95, 95)  # 3779 pixels per metre, truncated
TWO_COLOURS = le((4, 0x0000FF), (4, 0x00FF00))  # blue, green


def bmp_fixtures():
    fixture("b_bare_header.bmp", info_header(40, 2, 1, 24, 0) + le((3, 0x0000FF), (3, 0xFF0000), (2, 0)),
            images=[Image(3, 2, 1, bgr((0, 0, 255), (255, 0, 0)), DPI)])
    # The first pixel of an ordinary 24-bit file sits right after the 54 header bytes.
    fixture("b_offset54.bmp", file_header(54) + info_header(40, 1, 2, 24, 0) + le((4, 0x112233), (4, 0x445566)),
            images=[Image(3, 1, 2, bgr((0x44, 0x55, 0x66), (0x11, 0x22, 0x33)), DPI)])
    fixture("b_fields16_offset66.bmp",
            file_header(66) + info_header(40, 2, -1, 16, 3) + le((4, 0xF800), (4, 0x07E0), (4, 0x1F), (2, 0xF800),
                                                                  (2, 0x07FF)),
            images=[Image(14, 2, 1, le((2, 0xF800), (2, 0x07FF)), DPI)])
    fixture("b_rgb16.bmp", info_header(40, 1, 1, 16, 0) + le((2, 0x7C1F), (2, 0)),
            images=[Image(14, 1, 1, le((2, 0xF81F)), DPI)])
    fixture("b_rgb32_alpha0.bmp", info_header(40, 1, 1, 32, 0) + le((4, 0x00102030)),
            images=[Image(5, 1, 1, bgra((0x10, 0x20, 0x30, 0)), DPI)])
    fixture("b_wide_masks.bmp",
            file_header(70) + info_header(56, 1, 1, 32, 3) + le((4, 0xFFFF0000), (4, 0x0000FFFF), (4, 0), (4, 0xFF000000),
                                              (4, 0xABCD1234)),
            images=[Image(5, 1, 1, bgra((0xAB, 0x12, 0, 0xAB)), DPI)])
    fixture("b_os2.bmp", file_header(0) + le((4, 12), (2, 3), (2, 1), (2, 1), (2, 1), (3, 0x0000FF), (3, 0x00FF00),
                                             (4, 0xA0)),
            images=[Image(1, 3, 1, [1, 0, 1], palette=[(0, 0, 255, 255), (0, 255, 0, 255)])])
    # RLE4: a run cut at the row end, end of line, a literal, a delta past the last row.
    fixture("b_rle4.bmp", info_header(40, 3, 2, 4, 2, 2) + TWO_COLOURS + bytes([5, 0x10, 0, 0, 0, 3, 0x01, 0x10, 0, 2,
                                                                                 0, 9]),
            images=[Image(1, 3, 2, [0, 1, 1, 1, 0, 1], DPI)])
    fixture("b_rle8_end.bmp", info_header(40, 3, 1, 8, 1, 2) + TWO_COLOURS + bytes([2, 1, 0, 1]),
            images=[Image(1, 3, 1, [1, 1, 0], DPI)])
    fixture("b_offset_in_headers.bmp", file_header(20) + info_header(40, 1, 1, 24, 0) + bytes(4), 0x80020016)
    fixture("b_height_min.bmp", info_header(40, 1, -2**31, 24, 0), 0x80020018)
    fixture("b_row_overflow.bmp", info_header(40, 0x7FFFFFFF, 1, 32, 0), 0x8000100B)
    fixture("b_short_header.bmp", le((4, 20), (16, 0)), 0x80020016)
    fixture("b_fields8.bmp", info_header(40, 1, 1, 8, 3) + bytes(12), 0x80020016)
    fixture("b_jpeg_no_stream.bmp", info_header(40, 1, 1, 24, 4), 0x80000001)
    fixture("b_png_no_stream.bmp", info_header(40, 1, 1, 24, 5), 0x80020036)
    fixture("b_compression6.bmp", info_header(40, 1, 1, 24, 6), 0x80020018)
    fixture("b_colours257.bmp", info_header(40, 1, 1, 8, 0, 257), 0x80001001)


# ---- PSD ------------------------------------------------------------------------------


def packbits(data):
    """PackBits of one plane: runs of 3 or more repeat, the rest goes in literals."""
    out, i = bytearray(), 0
    while i < len(data):
        run = 1
        while i + run < len(data) and run < 128 and data[i + run] == data[i]:
            run += 1
        if run >= 3:
            out += bytes([257 - run, data[i]])
            i += run
            continue
        start = i
        while i < len(data) and i - start < 128 and not (i + 2 < len(data) and data[i] == data[i + 1] == data[i + 2]):
            i += 1
        out += bytes([i - start - 1]) + data[start:i]
    return bytes(out)


def resource(rid, data, name=b""):
    named = bytes([len(name)]) + name
    named += b"\0" * (len(named) & 1)
    return b"8BIM" + struct.pack(">H", rid) + named + struct.pack(">I", len(data)) + data + b"\0" * (len(data) & 1)


def resolution(x, y):
    return resource(1005, struct.pack(">IHHIHH", x, 1, 2, y, 1, 2))


def psd(mode, width, height, planes, compression=0, resources=b"", colour_data=b"", layers=b"", depth=8,
        channels=None, version=1, packed=None):
    channels = len(planes) if channels is None else channels
    head = b"8BPS" + struct.pack(">H6xHIIHH", version, channels, height, width, depth, mode)
    head += struct.pack(">I", len(colour_data)) + colour_data
    head += struct.pack(">I", len(resources)) + resources + struct.pack(">I", len(layers)) + layers
    head += struct.pack(">H", compression)
    if compression == 1:
        packed = packed if packed is not None else [packbits(plane) for plane in planes]
        return head + b"\0\1" * channels * height + b"".join(packed)
    return head + b"".join(planes)


def plane(seed, count):
    return bytes((seed * 37 + i * (seed + 3)) & 255 for i in range(count))


def psd_fixtures():
    w, h = 5, 3
    n = w * h
    p = [plane(c, n) for c in range(14)]
    rgba = lambda: bgra(*zip(p[0], p[1], p[2], p[3]))
    alpha = lambda c: Image(12, w, h, p[c])
    for compression in (0, 1):
        tag = "raw" if compression == 0 else "rle"
        fixture("p_rgb3_%s.psd" % tag, psd(3, w, h, p[:3], compression), images=[Image(3, w, h, bgr(*zip(*p[:3])))])
        fixture("p_rgb5_%s.psd" % tag, psd(3, w, h, p[:5], compression), images=[Image(5, w, h, rgba()), alpha(4)])
        # Channels past the eighth extra one are decoded and dropped.
        fixture("p_rgb14_%s.psd" % tag, psd(3, w, h, p[:14], compression),
                images=[Image(5, w, h, rgba())] + [alpha(c) for c in range(4, 12)])
        fixture("p_grey6_%s.psd" % tag, psd(1, w, h, p[:6], compression),
                images=[Image(5, w, h, bgra(*[(g, g, g, a) for g, a in zip(p[0], p[1])]))] +
                [alpha(c) for c in range(2, 6)])
    colours = bytes(range(256)), bytes(255 - i for i in range(256)), bytes(i * 7 & 255 for i in range(256))
    table = b"".join(colours)
    fixture("p_grey1.psd", psd(1, w, h, p[:1], 1), images=[Image(1, w, h, p[0], palette=GREY_RAMP)])
    fixture("p_indexed1.psd", psd(2, w, h, p[:1], 1, colour_data=table),
            images=[Image(1, w, h, p[0], palette=[(0, 255, 0, 255), (1, 254, 7, 255)])])
    fixture("p_indexed2.psd", psd(2, w, h, p[:2], 0, colour_data=table),
            images=[Image(5, w, h, bgra(*[(i, 255 - i, i * 7 & 255, a) for i, a in zip(p[0], p[1])]))])
    # A layer section and no-op headers (128) are passed over; runs cross row ends.
    one = bytes([9]) * n
    fixture("p_layers_noop.psd", psd(1, w, h, [one], 1, layers=b"junk" * 5, packed=[bytes([128, 257 - 15, 9])]),
            images=[Image(1, w, h, one, palette=GREY_RAMP)])

    # Resolutions: the 1005 resource after named ones, a stored 0, none, a stop signature.
    grey = [p[0]]
    image = lambda dpi: [Image(1, w, h, p[0], dpi)]
    named = resource(1000, b"abc", b"odd") + resource(1001, b"", b"ev")
    fixture("p_dpi72.psd", psd(1, w, h, grey, resources=named + resolution(72 << 16, 72 << 16)), images=image((72, 72)))
    fixture("p_dpi_fraction.psd", psd(1, w, h, grey, resources=resolution((300 << 16) + 0x8000, 150 << 16)),
            images=image((300, 150)))
    fixture("p_dpi_zero.psd", psd(1, w, h, grey, resources=resolution(0, 200 << 16)), images=image((72, 200)))
    fixture("p_dpi_none.psd", psd(1, w, h, grey, resources=resource(1000, b"x")), images=image((96, 96)))
    fixture("p_dpi_stop.psd", psd(1, w, h, grey, resources=b"MeSa" + resolution(50 << 16, 50 << 16)[4:]),
            images=image((96, 96)))
    fixture("p_dpi_short.psd", psd(1, w, h, grey, resources=resource(1005, bytes(12))), images=image((96, 96)))
    fixture("p_resource_ones.psd",
            psd(1, w, h, grey, resources=b"8BIM\x03\xed\0\0\xff\xff\xff\xff" + bytes(16)), 0x80020035)

    # Damaged and unsupported files.
    fixture("p_run_past_plane.psd", psd(1, w, h, grey, 1, packed=[bytes([257 - 16, 1])]), 0x80020016)
    fixture("p_literal_past_plane.psd", psd(1, w, h, grey, 1, packed=[bytes([15]) + bytes(16)]), 0x80020016)
    fixture("p_rgb1.psd", psd(3, w, h, p[:1]), 0x80020018)
    fixture("p_rgb2.psd", psd(3, w, h, p[:2]), 0x80020018)
    fixture("p_depth16.psd", psd(3, w, h, [p[0] * 2] * 3, depth=16), 0x800D0002)
    fixture("p_cmyk.psd", psd(4, w, h, p[:4]), 0x80020018)
    fixture("p_version2.psd", psd(3, w, h, p[:3], version=2), 0x800D0002)
    fixture("p_channels25.psd", psd(3, w, h, [], channels=25), 0x80020018)
    fixture("p_compression2.psd", psd(3, w, h, p[:3], compression=2), 0x80020018)
    fixture("p_indexed_no_table.psd", psd(2, w, h, p[:1]), 0x80020018)
    fixture("p_truncated.psd", psd(3, w, h, p[:3])[:-1], 0x80020036)


# PNG: chunks with their CRCs, rows filtered with filter 0.
PW, PH = 5, 3


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png(colour_type, depth, rows, extra=b"", width=PW, height=PH):
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + extra + chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


def pack(samples, depth):
    bits = "".join(format(s, "0%db" % depth) for s in samples)
    bits += "0" * (-len(bits) % 8)
    return [int(bits[i:i + 8], 2) for i in range(0, len(bits), 8)]


def png_fixtures():
    # Grey with a tRNS key: whole B, G, R, A pixels, R = G = B, the key transparent.
    for depth in (4, 8):
        top = (1 << depth) - 1
        key = top // 3
        samples = [[(x + y * 3) % (top + 1) for x in range(PW)] for y in range(PH)]
        pixels = b"".join(bytes([s * 255 // top] * 3 + [0 if s == key else 255]) for row in samples for s in row)
        fixture("n_grey%d_trns.png" % depth,
                png(0, depth, [pack(row, depth) for row in samples], chunk(b"tRNS", struct.pack(">H", key))),
                images=[Image(5, PW, PH, pixels)])
    # A palette with tRNS: B, G, R, A; entries past the tRNS list are opaque.
    colours, alphas = [(200, 10, 10), (10, 200, 10), (10, 10, 200), (250, 250, 0)], [0, 128]
    indexes = [[(x * y + x) % 4 for x in range(PW)] for y in range(PH)]
    extra = chunk(b"PLTE", b"".join(bytes(c) for c in colours)) + chunk(b"tRNS", bytes(alphas))
    fixture("n_palette_trns.png", png(3, 8, indexes, extra),
            images=[Image(5, PW, PH, bgra(*[colours[i] + ((alphas + [255, 255])[i],) for row in indexes for i in row]))])
    # A 2-bit palette without tRNS stays a palette image; pHYs of 3780 per metre is 96 dpi.
    fixture("n_palette2.png", png(3, 2, [pack(row, 2) for row in indexes], chunk(b"PLTE", bytes(12)) +
                                  chunk(b"pHYs", struct.pack(">IIB", 3780, 11811, 1))),
            images=[Image(1, PW, PH, [i for row in indexes for i in row], dpi=(96, 299), palette=[(0, 0, 0, 255)] * 4)])
    rgb = [[(x * 19 + y * 7 + c * 60) & 255 for x in range(PW) for c in range(3)] for y in range(PH)]
    good = png(2, 8, rgb)
    fixture("n_rgb.png", good, images=[Image(3, PW, PH, bgr(*[tuple(r[3 * x:3 * x + 3]) for r in rgb for x in range(PW)]))])
    idat = good.index(b"IDAT")
    crc_at = idat + 4 + struct.unpack(">I", good[idat - 4:idat])[0]
    fixture("n_bad_idat_crc.png", good[:crc_at] + bytes([good[crc_at] ^ 0x55]) + good[crc_at + 1:], 0x80002006)
    fixture("n_bad_ihdr_crc.png", good[:16] + b"\1" + good[17:], 0x80002006)
    fixture("n_cut_in_idat.png", good[:idat + 14], 0x80020036)
    fixture("n_cut_in_signature.png", good[:5], 0x80020036)
    # A text chunk claiming 1.6 GB is skipped unread: the data ends first.
    fixture("n_huge_text.png", good[:33] + b"\x61\x05\x00\x25tEXtdate:crea" + good[33:], 0x80020036)
    # 60000 x 60000 colour pixels: the header is sound, the image cannot hold it.
    fixture("n_huge_header.png", png(2, 8, rgb, width=60000, height=60000), 0x8000100B)
    # Bit depth 3 does not exist.
    fixture("n_depth3.png", png(0, 3, [pack(r, 3) for r in indexes]), 0x80002006)


def wrap_streams(paths):
    """BMP files around whole JPEG or PNG streams, with and without a file header."""
    for path in paths:
        with open(path, "rb") as f:
            stream = f.read()
        compression = 5 if stream.startswith(b"\x89PNG") else 4
        info = struct.pack("<IiiHHIIiiII", 40, 1, 1, 1, 0, compression, len(stream), 2835, 2835, 0, 0)
        offset = 14 + 40 + 6  # a few bytes between the headers and the stream
        base = os.path.join(OUT, os.path.splitext(os.path.basename(path))[0])
        with open(base + ".file.bmp", "wb") as f:
            f.write(b"BM" + struct.pack("<IHHI", offset + len(stream), 0, 0, offset) + info + bytes(6) + stream)
        with open(base + ".bare.bmp", "wb") as f:
            f.write(info + stream)


# ---- GIF ------------------------------------------------------------------------------

def lzw_codes(pixels, minimum, clear_every=None):
    """Codes of an uncompressed LZW stream: a clear code, then one code per pixel, with a
    clear again before the decoder's table would make the codes wider."""
    clear = 1 << minimum
    room = (1 << (minimum + 1)) - (clear + 2) - 1
    if clear_every:
        room = min(room, clear_every)
    codes, run = [clear], 0
    for p in pixels:
        if run == room:
            codes.append(clear)
            run = 0
        codes.append(p)
        run += 1
    return codes


def pack_codes(codes, minimum, widths=None):
    """Packs codes least significant bit first at the width a decoder expects: the codes
    here never grow the table past the first width."""
    acc, bits, out = 0, 0, bytearray()
    for i, c in enumerate(codes):
        w = widths[i] if widths else minimum + 1
        acc |= c << bits
        bits += w
        while bits >= 8:
            out.append(acc & 255)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 255)
    return bytes(out)


def sub_blocks(data, size=255, end=True):
    out = b"".join(bytes([len(data[i:i + size])]) + data[i:i + size] for i in range(0, len(data), size))
    return out + (b"\0" if end else b"")


def image_data(pixels, minimum=8, end=True, extra=b""):
    codes = lzw_codes(pixels, minimum) + ([(1 << minimum) + 1] if end else [])
    return bytes([minimum]) + sub_blocks(pack_codes(codes, minimum) + extra)


def gif_header(width, height, table=None, background=0, signature=b"GIF89a"):
    packed = 0x80 | ((len(table) // 3).bit_length() - 2) if table else 0
    return signature + struct.pack("<HHBBB", width, height, packed, background, 0) + (table or b"")


def gce(disposal=0, transparent=None, delay=0, size=4, terminator=0):
    packed = (disposal << 2) | (transparent is not None)
    return b"\x21\xf9" + struct.pack("<BBHBB", size, packed, delay, transparent or 0, terminator)


def descriptor(left, top, width, height, table=None, interlaced=False):
    packed = (0x40 if interlaced else 0) | (0x80 | ((len(table) // 3).bit_length() - 2) if table else 0)
    return b"\x2c" + struct.pack("<HHHHB", left, top, width, height, packed) + (table or b"")


def compose(width, height, frames, background):
    """Frames as GIF players show them: frame n starts from frame n-1 with that frame's
    disposal applied to its rectangle (2: its transparent index, else the background; 3:
    the screen from before it); transparent pixels are never drawn."""
    screen = [None]
    shown, before, last = [], None, None
    for n, (left, top, w, h, pixels, disposal, transparent) in enumerate(frames):
        if n == 0:
            screen = [background if transparent is None else transparent] * (width * height)
        else:
            screen = list(shown[-1])
            pl, pt, pw, ph, pdisp, ptrans = last
            for y in range(pt, pt + ph):
                for x in range(pl, pl + pw):
                    if pdisp == 2:
                        screen[y * width + x] = background if ptrans is None else ptrans
                    elif pdisp == 3:
                        screen[y * width + x] = before[y * width + x]
        before = list(screen)
        for i, p in enumerate(pixels):
            if p != transparent:
                screen[(top + i // w) * width + left + i % w] = p
        shown.append(screen)
        last = (left, top, w, h, disposal, transparent)
    return shown


RAMP4 = bytes([0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255])
RAMP4_PALETTE = [(0, 0, 0, 255), (255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 255)]


def gif_fixtures():
    w, h = 6, 5
    pixels = [(x * 3 + y) % 4 for y in range(h) for x in range(w)]
    one = lambda px, palette=RAMP4_PALETTE: Image(1, w, h, bytes(px), palette=palette)
    body = descriptor(0, 0, w, h) + image_data(pixels, 2)
    fixture("g_plain.gif", gif_header(w, h, RAMP4) + body + b"\x3b", images=[one(pixels)])
    fixture("g_87a_lowercase.gif", gif_header(w, h, RAMP4, signature=b"gif87a") + body + b"\x3b", images=[one(pixels)])
    fixture("g_no_trailer.gif", gif_header(w, h, RAMP4) + body, images=[one(pixels)])
    fixture("g_local_table.gif", gif_header(w, h) + descriptor(0, 0, w, h, RAMP4) + image_data(pixels, 2) + b"\x3b",
            images=[one(pixels)])
    # Code streams no common encoder writes: repeated clears, a first code past the table,
    # the widest minimum code size, codes left after the last pixel.
    clears = lzw_codes(pixels, 2, clear_every=2)
    clears = clears[:3] + [4, 4, 4] + clears[3:]
    fixture("g_clears.gif", gif_header(w, h, RAMP4) + descriptor(0, 0, w, h) +
            bytes([2]) + sub_blocks(pack_codes(clears + [5], 2)) + b"\x3b", images=[one(pixels)])
    first_past = [4, 7] + lzw_codes(pixels[1:], 2)[1:] + [5]
    fixture("g_first_past_table.gif", gif_header(w, h, RAMP4) + descriptor(0, 0, w, h) +
            bytes([2]) + sub_blocks(pack_codes(first_past, 2)) + b"\x3b", images=[one([0] + pixels[1:])])
    fixture("g_minimum9.gif", gif_header(w, h, RAMP4) + descriptor(0, 0, w, h) + image_data(pixels, 9) + b"\x3b",
            images=[one(pixels)])
    # Repeated strings: codes from the table and the code being defined (KwKwK).
    runs = [1] * 10 + [2] * 20
    kw = [4, 1, 6, 7, 8, 2, 10, 11, 12, 13, 14, 5]
    widths = [3, 3, 3, 3] + [4] * 8
    fixture("g_kwkwk.gif", gif_header(w, h, RAMP4) + descriptor(0, 0, w, h) +
            bytes([2]) + sub_blocks(pack_codes(kw, 2, widths)) + b"\x3b", images=[one(runs)])
    # Frames after one whose end code sits inside a sub-block, or that has codes past its
    # last pixel, are all read.
    second = [3 - p for p in pixels]
    two = lambda a, b: [one(a), one(b)]
    tail = descriptor(0, 0, w, h) + image_data(second, 2) + b"\x3b"
    fixture("g_end_inside_block.gif", gif_header(w, h, RAMP4) + descriptor(0, 0, w, h) +
            image_data(pixels, 2, extra=b"\xaa" * 40) + tail, images=two(pixels, second))
    fixture("g_codes_past_last_pixel.gif", gif_header(w, h, RAMP4) + descriptor(0, 0, w, h) +
            bytes([2]) + sub_blocks(pack_codes(lzw_codes(pixels + [1] * 30, 2), 2)) + tail,
            images=two(pixels, second))
    fixture("g_comment_between.gif", gif_header(w, h, RAMP4) + body + b"\x21\xfe" + sub_blocks(b"x" * 300) +
            b"\x21\xff\x0bNETSCAPE2.0\x03\x01\0\0\0" + tail, images=two(pixels, second))
    # Interlaced rows land in their rows.
    ih = 11
    rows = [[(x + y) % 4 for x in range(w)] for y in range(ih)]
    order = list(range(0, ih, 8)) + list(range(4, ih, 8)) + list(range(2, ih, 4)) + list(range(1, ih, 2))
    fixture("g_interlaced.gif", gif_header(w, ih, RAMP4) + descriptor(0, 0, w, ih, interlaced=True) +
            image_data([p for y in order for p in rows[y]], 2) + b"\x3b",
            images=[Image(1, w, ih, bytes(p for r in rows for p in r), palette=RAMP4_PALETTE)])

    # Composition of every disposal, with transparency, frames at offsets and the default
    # (whole-screen) size of 0.
    bg = 3
    frames = [
        (0, 0, w, h, pixels, 0, None),
        (1, 1, 3, 2, [0, 1, 0, 2, 0, 1], 2, 0),       # disposal 0 transparent: holes never punched
        (2, 0, 2, 3, [1, 1, 1, 1, 1, 1], 3, None),
        (0, 2, 4, 2, [2, 2, 2, 2, 0, 0, 0, 0], 1, 1),
        (0, 0, w, h, [1] * (w * h), 2, 1),           # all transparent; disposal 2 then clears to 1
        (4, 3, 2, 2, [0, 3, 3, 0], 0, None),
    ]
    data = gif_header(w, h, RAMP4, background=bg)
    for n, (left, top, fw, fh, px, disposal, transparent) in enumerate(frames):
        data += gce(disposal, transparent, delay=n)
        size = (0, 0) if (fw, fh) == (w, h) and n == 4 else (fw, fh)
        data += descriptor(left, top, *size) + image_data(px, 2)
    shown = compose(w, h, frames, bg)

    def palette_of(transparent):
        return [(r, g, b, 0 if i == transparent else 255) for i, (r, g, b, a) in enumerate(RAMP4_PALETTE)]
    fixture("g_disposals.gif", data + b"\x3b",
            images=[Image(1, w, h, bytes(s), palette=palette_of(f[6])) for s, f in zip(shown, frames)])

    # Damaged files.
    fixture("g_trailer_first.gif", gif_header(w, h, RAMP4) + b"\x3b", 0x80020016)
    fixture("g_frame_outside.gif", gif_header(w, h, RAMP4) + descriptor(1, 0, w, h) + image_data(pixels, 2), 0x80020016)
    fixture("g_minimum1.gif", gif_header(w, h, RAMP4) + descriptor(0, 0, w, h) + b"\x01\x01\x00\0", 0x80020016)
    fixture("g_minimum10.gif", gif_header(w, h, RAMP4) + descriptor(0, 0, w, h) + b"\x0a\x01\x00\0", 0x80020016)
    fixture("g_control_size5.gif", gif_header(w, h, RAMP4) + gce(size=5) + body, 0x80020016)
    fixture("g_control_terminator.gif", gif_header(w, h, RAMP4) + gce(terminator=1) + body, 0x80020016)
    fixture("g_signature.gif", b"GIF88a" + gif_header(w, h, RAMP4)[6:] + body, 0x80020016)
    fixture("g_ends_in_extension.gif", gif_header(w, h, RAMP4) + b"\x21\xfe\x10abc", 0x80020034)
    fixture("g_ends_in_data.gif", gif_header(w, h, RAMP4) + body[:16], 0x80020036)


os.makedirs(OUT, exist_ok=True)
tga_fixtures()
bmp_fixtures()
psd_fixtures()
png_fixtures()
wrap_streams(sys.argv[2:])
gif_fixtures()
with open(os.path.join(OUT, "manifest.txt"), "w") as f:
    f.write("\n".join(manifest) + "\n")
