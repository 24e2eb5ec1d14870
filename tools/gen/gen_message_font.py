#!/usr/bin/env python3
"""Writes platform/user32/MessageFont.h: the small antialiased font of the platform's own
message window (the one shown when the desktop has no message box of its own). The glyphs
are DejaVu Sans as FreeType renders it with its normal hinting, for Latin-1 (U+0020-U+007E
and U+00A0-U+00FF), with each pixel's coverage kept in four bits, two pixels to a byte.

A glyph keeps where the typeface puts its ink (the left bearing and the rows above the
baseline) and its advance in 1/64 pixel, unrounded: at 14 pixels DejaVu's advances are
fractions, and rounding each letter's would drift a word by up to half a pixel a letter.
The kerning table's pairs come along in the same unit. The window's text drawing
(platform/user32/MessageText.cpp) moves its pen by these and puts each glyph at the pixel
nearest the pen, as FreeType's own text layout does.

FreeType is reached through ctypes (no Python binding of it is installed here), with its
structures declared as far as the fields read; the script runs by hand, so the program
itself never needs FreeType.

usage: gen_message_font.py [FONT.ttf] [PIXELS]
"""
import ctypes
import ctypes.util
import os
import sys

FONT = '/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf'
PIXELS = 14
CODES = list(range(0x20, 0x7F)) + list(range(0xA0, 0x100))

FT_LOAD_RENDER = 1 << 2
FT_LOAD_TARGET_NORMAL = 0
FT_KERNING_UNFITTED = 1
FT_PIXEL_MODE_GRAY = 2


class Generic(ctypes.Structure):
    _fields_ = [('data', ctypes.c_void_p), ('finalizer', ctypes.c_void_p)]


class Vector(ctypes.Structure):
    _fields_ = [('x', ctypes.c_long), ('y', ctypes.c_long)]


class Bitmap(ctypes.Structure):
    _fields_ = [('rows', ctypes.c_uint), ('width', ctypes.c_uint), ('pitch', ctypes.c_int),
                ('buffer', ctypes.POINTER(ctypes.c_ubyte)), ('num_grays', ctypes.c_ushort),
                ('pixel_mode', ctypes.c_ubyte), ('palette_mode', ctypes.c_ubyte), ('palette', ctypes.c_void_p)]


class GlyphSlot(ctypes.Structure):
    _fields_ = [('library', ctypes.c_void_p), ('face', ctypes.c_void_p), ('next', ctypes.c_void_p),
                ('glyph_index', ctypes.c_uint), ('generic', Generic), ('metrics', ctypes.c_long * 8),
                ('linearHoriAdvance', ctypes.c_long), ('linearVertAdvance', ctypes.c_long),
                ('advance', Vector), ('format', ctypes.c_uint), ('bitmap', Bitmap),
                ('bitmap_left', ctypes.c_int), ('bitmap_top', ctypes.c_int)]


class SizeMetrics(ctypes.Structure):
    _fields_ = [('x_ppem', ctypes.c_ushort), ('y_ppem', ctypes.c_ushort), ('x_scale', ctypes.c_long),
                ('y_scale', ctypes.c_long), ('ascender', ctypes.c_long), ('descender', ctypes.c_long),
                ('height', ctypes.c_long), ('max_advance', ctypes.c_long)]


class Size(ctypes.Structure):
    _fields_ = [('face', ctypes.c_void_p), ('generic', Generic), ('metrics', SizeMetrics)]


class Face(ctypes.Structure):
    _fields_ = [('num_faces', ctypes.c_long), ('face_index', ctypes.c_long), ('face_flags', ctypes.c_long),
                ('style_flags', ctypes.c_long), ('num_glyphs', ctypes.c_long), ('family_name', ctypes.c_char_p),
                ('style_name', ctypes.c_char_p), ('num_fixed_sizes', ctypes.c_int),
                ('available_sizes', ctypes.c_void_p), ('num_charmaps', ctypes.c_int), ('charmaps', ctypes.c_void_p),
                ('generic', Generic), ('bbox', ctypes.c_long * 4), ('units_per_EM', ctypes.c_ushort),
                ('ascender', ctypes.c_short), ('descender', ctypes.c_short), ('height', ctypes.c_short),
                ('max_advance_width', ctypes.c_short), ('max_advance_height', ctypes.c_short),
                ('underline_position', ctypes.c_short), ('underline_thickness', ctypes.c_short),
                ('glyph', ctypes.POINTER(GlyphSlot)), ('size', ctypes.POINTER(Size))]


def open_face(path, pixels):
    ft = ctypes.CDLL(ctypes.util.find_library('freetype') or 'libfreetype.so.6')
    library = ctypes.c_void_p()
    face = ctypes.POINTER(Face)()
    if ft.FT_Init_FreeType(ctypes.byref(library)) or \
            ft.FT_New_Face(library, path.encode(), ctypes.c_long(0), ctypes.byref(face)) or \
            ft.FT_Set_Pixel_Sizes(face, ctypes.c_uint(0), ctypes.c_uint(pixels)):
        sys.exit('gen_message_font: cannot open %s at %d pixels' % (path, pixels))
    return ft, face


def quantize(value):
    return (value * 15 + 127) // 255


def render(ft, face, code):
    """The glyph's 4-bit coverage rows trimmed to its ink, the ink's first column from the
    pen and first row above the baseline, and its advance in 1/64 pixel."""
    if ft.FT_Get_Char_Index(face, ctypes.c_ulong(code)) == 0 or \
            ft.FT_Load_Char(face, ctypes.c_ulong(code), ctypes.c_int(FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL)):
        sys.exit('gen_message_font: no glyph for U+%04X' % code)
    slot = face.contents.glyph.contents
    bitmap = slot.bitmap
    assert bitmap.pixel_mode == FT_PIXEL_MODE_GRAY or bitmap.rows == 0
    rows = [[quantize(bitmap.buffer[row * bitmap.pitch + column]) for column in range(bitmap.width)]
            for row in range(bitmap.rows)]
    left, top = slot.bitmap_left, slot.bitmap_top
    # Coverage too faint for four bits leaves empty edges; they go, so a glyph's width is its ink.
    while rows and not any(rows[0]):
        rows.pop(0)
        top -= 1
    while rows and not any(rows[-1]):
        rows.pop()
    while rows and not any(line[0] for line in rows):
        rows = [line[1:] for line in rows]
        left += 1
    while rows and not any(line[-1] for line in rows):
        rows = [line[:-1] for line in rows]
    if not rows:
        left = top = 0
    advance = (slot.linearHoriAdvance + 512) >> 10  # 16.16 to 26.6
    return rows, left, top, advance


def main():
    font = sys.argv[1] if len(sys.argv) > 1 else FONT
    pixels = int(sys.argv[2]) if len(sys.argv) > 2 else PIXELS
    ft, face = open_face(font, pixels)
    metrics = face.contents.size.contents.metrics
    ascent = metrics.ascender >> 6
    height = (metrics.ascender - metrics.descender) >> 6

    records, ink = {}, []
    for code in CODES:
        rows, left, top, advance = render(ft, face, code)
        width = len(rows[0]) if rows else 0
        assert -128 <= left < 128 and -128 <= top < 128 and advance < 65536
        records[code] = (len(ink), left, top, width, len(rows), advance)
        for line in rows:
            line = line + [0] * (width % 2)
            ink.extend(line[i] << 4 | line[i + 1] for i in range(0, width, 2))
    assert len(ink) < 65536

    ft.FT_Get_Kerning.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_uint, ctypes.c_uint,
                                  ctypes.POINTER(Vector)]
    index = {code: ft.FT_Get_Char_Index(face, ctypes.c_ulong(code)) for code in CODES}
    pairs = []
    for first in CODES:
        for second in CODES:
            delta = Vector()
            if ft.FT_Get_Kerning(face, index[first], index[second], FT_KERNING_UNFITTED, ctypes.byref(delta)) == 0 \
                    and delta.x:
                pairs.append((first, second, delta.x))

    here = os.path.dirname(os.path.abspath(__file__))
    target = os.path.join(here, '..', '..', 'platform', 'user32', 'MessageFont.h')
    name = face.contents.family_name.decode()
    with open(target, 'w') as f:
        f.write('// Generated by tools/gen/gen_message_font.py (%s, %d pixels); do not edit.\n' % (name, pixels))
        f.write('#pragma once\n\nnamespace SLUser32::MessageFont {\n\n')
        f.write('// Lines are kHeight pixels apart, the baseline kAscent below a line\'s top.\n')
        f.write('inline constexpr int kHeight = %d;\n' % height)
        f.write('inline constexpr int kAscent = %d;\n\n' % ascent)
        f.write('// Latin-1 from U+0020: the offset of the glyph\'s rows in kInk, its ink\'s first column\n'
                '// from the pen and first row above the baseline, the ink\'s columns and rows, and how\n'
                '// far the pen moves after it, in 1/64 pixel.\n')
        f.write('struct Glyph {\n  unsigned short first;\n  signed char left, top;\n'
                '  unsigned char width, rows;\n  unsigned short advance;\n};\n\n')
        f.write('inline constexpr char16_t kFirstCode = 0x20;\n')
        f.write('inline constexpr Glyph kGlyphs[] = {\n')
        question = records[ord('?')]
        for code in range(0x20, 0x100):
            f.write('    {%d, %d, %d, %d, %d, %d},  // U+%04X\n' % (records.get(code, question) + (code,)))
        f.write('};\n\n')
        f.write('// The typeface\'s kerning: the pen moves `adjust` (1/64 pixel) more between the two\n'
                '// glyphs. Sorted by the pair.\n')
        f.write('struct KerningPair {\n  char16_t first, second;\n  short adjust;\n};\n\n')
        f.write('inline constexpr KerningPair kKerning[] = {\n')
        for i in range(0, len(pairs), 6):
            f.write('    ' + ' '.join('{0x%02X, 0x%02X, %d},' % pair for pair in pairs[i:i + 6]) + '\n')
        f.write('};\n\n')
        f.write('// Each glyph\'s rows, (width + 1) / 2 bytes a row: coverage 0-15, left pixel high.\n')
        f.write('inline constexpr unsigned char kInk[] = {\n')
        for i in range(0, len(ink), 24):
            f.write('    ' + ', '.join('0x%02x' % b for b in ink[i:i + 24]) + ',\n')
        f.write('};\n\n}  // namespace SLUser32::MessageFont\n')


if __name__ == '__main__':
    main()
