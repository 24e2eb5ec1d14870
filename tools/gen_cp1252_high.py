#!/usr/bin/env python3
"""Prints the UTF-16 units of Windows-1252 bytes 0x80-0x9F for platform/kernel32/FilePath.cpp.

The five bytes the code page leaves undefined map to the C1 control of the same value,
as the system's converter does."""
units = []
for b in range(0x80, 0xA0):
    try:
        units.append(ord(bytes([b]).decode("cp1252")))
    except UnicodeDecodeError:
        units.append(b)
print("constexpr char16_t kCp1252High[32] = {")
for i in range(0, 32, 8):
    print("    " + ", ".join("0x%04X" % u for u in units[i:i + 8]) + ",")
print("};")
