#!/usr/bin/env python3
"""Writes the text tables that are checked in as constexpr source.

  foundation/SLCaseTables.h          simple upper/lower case of every UTF-16 unit
  platform/kernel32/TextTables.h     code pages 1252, 437, 850 and 10000 with their byte case
                                     maps, CT_CTYPE1 classes, best-fit units (the symbol page
                                     42 and UTF-8 are rules in platform/kernel32/Text.cpp)

Sources: python3's codecs and Debian's unicode-data (/usr/share/unicode/UnicodeData.txt).
Run from anywhere: python3 tools/gen/gen_codepage_tables.py
"""
import os
import codecs
import sys

UNICODE_DATA = "/usr/share/unicode/UnicodeData.txt"
SCRIPT = "tools/gen/gen_codepage_tables.py"

# (code page number, python codec name)
CODE_PAGES = [(1252, "cp1252"), (437, "cp437"), (850, "cp850"), (10000, "mac_roman")]


def read_unicode_data():
    """Returns {code point: (category, decomposition, upper, lower)} for the BMP, ranges expanded."""
    records = {}
    range_start = None
    with open(UNICODE_DATA, encoding="ascii") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            cp = int(fields[0], 16)
            name, category, decomposition = fields[1], fields[2], fields[5]
            upper = int(fields[12], 16) if fields[12] else None
            lower = int(fields[13], 16) if fields[13] else None
            if name.endswith(", First>"):
                range_start = cp
                continue
            if name.endswith(", Last>"):
                for c in range(range_start, min(cp, 0xFFFF) + 1):
                    records[c] = (category, "", None, None)
                range_start = None
                continue
            if cp <= 0xFFFF:
                records[cp] = (category, decomposition, upper, lower)
    return records


def two_level(values):
    """Index of 256 block starts followed by the distinct 256-entry blocks."""
    blocks = []
    index = []
    for hi in range(256):
        block = tuple(values[hi * 256:(hi + 1) * 256])
        if block in blocks:
            start = 256 + blocks.index(block) * 256
        else:
            start = 256 + len(blocks) * 256
            blocks.append(block)
        index.append(start)
    out = list(index)
    for b in blocks:
        out.extend(b)
    return out


def c_array(name, ctype, values, per_line=16, fmt="0x{:04X}"):
    lines = ["inline constexpr %s %s[%d] = {" % (ctype, name, len(values))]
    for i in range(0, len(values), per_line):
        lines.append("    " + ", ".join(fmt.format(v) for v in values[i:i + per_line]) + ",")
    lines.append("};")
    return "\n".join(lines)


def case_tables(ucd):
    lower = [0] * 65536
    upper = [0] * 65536
    for c, (_, _, up, lo) in ucd.items():
        if 0xD800 <= c <= 0xDFFF:
            continue
        if lo is not None and lo <= 0xFFFF:
            lower[c] = (lo - c) & 0xFFFF
        if up is not None and up <= 0xFFFF:
            upper[c] = (up - c) & 0xFFFF
    return two_level(lower), two_level(upper)


# CT_CTYPE1 bits
C1_UPPER, C1_LOWER, C1_DIGIT, C1_SPACE, C1_PUNCT = 0x001, 0x002, 0x004, 0x008, 0x010
C1_CNTRL, C1_BLANK, C1_XDIGIT, C1_ALPHA, C1_DEFINED = 0x020, 0x040, 0x080, 0x100, 0x200


def ctype1(c, ucd):
    if c not in ucd:
        return 0
    cat = ucd[c][0]
    bits = C1_DEFINED
    if cat == "Lu" or cat == "Lt":
        bits |= C1_UPPER | C1_ALPHA
    elif cat == "Ll":
        bits |= C1_LOWER | C1_ALPHA
    elif cat in ("Lm", "Lo"):
        bits |= C1_ALPHA
    elif cat == "Nd":
        bits |= C1_DIGIT
    elif cat in ("Zs",):
        bits |= C1_SPACE | C1_BLANK
    elif cat in ("Zl", "Zp"):
        bits |= C1_SPACE
    elif cat == "Cc":
        bits |= C1_CNTRL
        if c in (0x09,):
            bits |= C1_SPACE | C1_BLANK
        elif c in (0x0A, 0x0B, 0x0C, 0x0D, 0x1C, 0x1D, 0x1E, 0x1F, 0x85):
            bits |= C1_SPACE
    elif cat[0] in "PS" or cat in ("No", "Nl"):
        bits |= C1_PUNCT
    if c < 0x80 and chr(c) in "0123456789abcdefABCDEF":
        bits |= C1_XDIGIT
    return bits


def best_fit(ucd):
    """Units outside Latin-1 whose decomposition begins with a Latin-1 character: that character."""
    pairs = []
    for c in sorted(ucd):
        if c < 0x100:
            continue
        seen = c
        for _ in range(8):
            decomposition = ucd.get(seen, ("", "", None, None))[1]
            if not decomposition:
                break
            parts = [p for p in decomposition.split() if not p.startswith("<")]
            if not parts:
                break
            seen = int(parts[0], 16)
            if seen < 0x100:
                break
        if seen != c and seen < 0x100 and seen >= 0x20:
            pairs.append((c, seen))
    return pairs


def code_page_tables(ucd):
    out = []
    for number, codec in CODE_PAGES:
        to_unit = []
        for b in range(256):
            try:
                u = bytes([b]).decode(codec)
                assert len(u) == 1
                to_unit.append(ord(u))
            except UnicodeDecodeError:
                # Undefined in the code page: the byte passes through as the C1 control of the
                # same value so that 8-bit data survives a round trip.
                to_unit.append(b)
        from_unit = sorted((u, b) for b, u in enumerate(to_unit) if u >= 0x80 or b >= 0x80)
        upper_bytes, lower_bytes = [], []
        encode = {u: b for b, u in enumerate(to_unit)}
        for b in range(256):
            u = to_unit[b]
            rec = ucd.get(u, ("", "", None, None))
            up = rec[2] if rec[2] is not None else u
            lo = rec[3] if rec[3] is not None else u
            upper_bytes.append(encode.get(up, b))
            lower_bytes.append(encode.get(lo, b))
        out.append((number, to_unit, from_unit, upper_bytes, lower_bytes))
    return out


def write(path, text):
    # Paths from the source tree's root, wherever the script is run from.
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", path)
    with open(path, "w", encoding="ascii") as f:
        f.write(text)


def main():
    ucd = read_unicode_data()
    lower, upper = case_tables(ucd)
    text = ["// Generated by %s: do not edit." % SCRIPT,
            "// Simple (one-to-one) case mapping of every UTF-16 unit as two-level delta tables:",
            "// entry [unit >> 8] is the start of a 256-entry block; entry [start + (unit & 0xFF)]",
            "// is added to the unit modulo 65536.",
            "#pragma once", "", '#include "foundation/SLTypes.h"', "",
            "namespace SLInternals {", "",
            c_array("g_slLowerCaseDelta", "u16", lower), "",
            c_array("g_slUpperCaseDelta", "u16", upper), "",
            "}  // namespace SLInternals", ""]
    write("foundation/SLCaseTables.h", "\n".join(text))

    classes = two_level([ctype1(c, ucd) for c in range(65536)])
    pages = code_page_tables(ucd)
    fits = best_fit(ucd)
    text = ["// Generated by %s: do not edit." % SCRIPT,
            "// Code pages 1252, 437, 850 and 10000 (byte to unit, sorted unit to byte pairs for the",
            "// upper half, byte case maps), CT_CTYPE1 classes of every unit (two-level table as in",
            "// foundation/SLCaseTables.h, values instead of deltas) and best-fit units.",
            "#pragma once", "", "#include <cstdint>", "",
            "namespace SLPlatformText {", "",
            "struct UnitByte {", "  std::uint16_t unit;", "  std::uint8_t byte;", "};", "",
            "struct UnitFit {", "  std::uint16_t unit;", "  std::uint16_t fit;", "};", ""]
    for number, to_unit, from_unit, upper_bytes, lower_bytes in pages:
        text.append(c_array("kCp%dToUnit" % number, "std::uint16_t", to_unit))
        text.append("")
        lines = ["inline constexpr UnitByte kCp%dFromUnit[%d] = {" % (number, len(from_unit))]
        for i in range(0, len(from_unit), 8):
            lines.append("    " + " ".join("{0x%04X, 0x%02X}," % p for p in from_unit[i:i + 8]))
        lines.append("};")
        text.append("\n".join(lines))
        text.append("")
        text.append(c_array("kCp%dUpper" % number, "std::uint8_t", upper_bytes, fmt="0x{:02X}"))
        text.append("")
        text.append(c_array("kCp%dLower" % number, "std::uint8_t", lower_bytes, fmt="0x{:02X}"))
        text.append("")
    text.append(c_array("kCType1", "std::uint16_t", classes))
    text.append("")
    lines = ["inline constexpr UnitFit kBestFit[%d] = {" % len(fits)]
    for i in range(0, len(fits), 6):
        lines.append("    " + " ".join("{0x%04X, 0x%04X}," % p for p in fits[i:i + 6]))
    lines.append("};")
    text.append("\n".join(lines))
    text += ["", "}  // namespace SLPlatformText", ""]
    write("platform/kernel32/TextTables.h", "\n".join(text))
    return 0


if __name__ == "__main__":
    sys.exit(main())
