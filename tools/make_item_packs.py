#!/usr/bin/env python3
"""Writes background item packs: for each item a folder with "fondo.tga", an optional
"frente.tga" and "info.txt", packed with slpack into NAME.DAT beside it. Prints one line
per item: its name and its identity (SHA-1 over the bytes below 0x80 of the "Nombre"
and then the "Clase" value in Windows-1252, a character outside it counting as "?").
Usage: make_item_packs.py OUTDIR SLPACK < ITEMS, where ITEMS is a python list of tuples
    (name, fondo, frente, info, codec[, version, key])
info is the text of "info.txt", written with the python codec named ("cp1252",
"utf-8-sig", "utf-16"); version 2 or 3 and the key are slpack's.

Pictures (fondo, frente): 664x372 uncompressed Targa, top row first, blue x, green y,
red 3x (each modulo 256) and an alpha that gives the stage mask:
    rising   32-bit, alpha 10 at the top rising to 200 at the bottom, rows 100-119 at 0
    clear    32-bit, alpha 0;  opaque  32-bit, alpha 255
    rgb24    24-bit;           narrow  rising at 663x372
    magick32 rising rewritten by ImageMagick (bottom row first), magick24 the same at 24 bits,
    magickrle the same run-length coded
    broken   rising cut off in the middle of its pixels
    ""       no file"""
import ast
import hashlib
import os
import re
import struct
import subprocess
import sys

W, H = 664, 372


def rising_alpha(y):
    return 0 if 100 <= y < 120 else 10 + 190 * y // 371


def targa(kind, cache={}):
    if kind not in cache:
        width = 663 if kind == 'narrow' else W
        n = 3 if kind == 'rgb24' else 4
        alpha = {'clear': lambda y: 0, 'opaque': lambda y: 255}.get(kind, rising_alpha)
        out = bytearray(struct.pack('<BBBHHBHHHHBB', 0, 0, 2, 0, 0, 0, 0, 0, width, H, 8 * n, 0x28 if n == 4 else 0x20))
        row = bytearray(width * n)
        row[0::n] = bytes(x & 255 for x in range(width))
        row[2::n] = bytes((3 * x) & 255 for x in range(width))
        for y in range(H):
            row[1::n] = bytes([y & 255]) * width
            if n == 4:
                row[3::n] = bytes([alpha(y)]) * width
            out += row
        cache[kind] = bytes(out)
    return cache[kind]


def write_picture(path, kind):
    if kind.startswith('magick'):
        with open(path + '.src', 'wb') as f:
            f.write(targa('rising'))
        depth = ['-alpha', 'off', '-type', 'TrueColor'] if kind == 'magick24' else ['-type', 'TrueColorAlpha']
        coding = ['-compress', 'RLE' if kind == 'magickrle' else 'none']
        subprocess.check_call(['convert', 'TGA:' + path + '.src'] + coding + depth + ['TGA:' + path])
        os.remove(path + '.src')
    elif kind:
        with open(path, 'wb') as f:
            f.write(targa('rising')[:500000] if kind == 'broken' else targa(kind))


def identity(info):
    values = dict(re.findall(r'^(Clase|Nombre)=(.*?)\r?$', info, re.M))
    text = (values.get('Nombre', '') + values.get('Clase', '')).encode('cp1252', 'replace')
    return hashlib.sha1(bytes(b for b in text if b < 0x80)).hexdigest()


def main():
    out, slpack = sys.argv[1], sys.argv[2]
    for item in ast.literal_eval(sys.stdin.read()):
        name, fondo, frente, info, codec = item[:5]
        version = item[5] if len(item) > 5 else 2
        key = item[6] if len(item) > 6 else 0
        folder = os.path.join(out, name)
        os.makedirs(folder, exist_ok=True)
        write_picture(os.path.join(folder, 'fondo.tga'), fondo)
        write_picture(os.path.join(folder, 'frente.tga'), frente)
        with open(os.path.join(folder, 'info.txt'), 'wb') as f:
            f.write(info.encode(codec))
        subprocess.check_call([slpack, '-%d' % version, '-k', str(key), folder, os.path.join(out, name + '.DAT')],
                              stdout=subprocess.DEVNULL)
        print(name, identity(info))


if __name__ == '__main__':
    main()
