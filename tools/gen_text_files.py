#!/usr/bin/env python3
"""Writes the text files of the string-storage test into the directory given: one sample
text in ANSI (Windows-1252), UTF-8, UTF-16LE and UTF-16BE, each with the line ends CR LF,
LF, CR and LF CR, with and without a byte-order mark (ANSI has none). Names:
<encoding>_<style>_<bom|nobom>.txt, e.g. utf16be_lfcr_bom.txt."""
import os
import sys

LINES = ["[General]", "Nombre=Canción del ñandú", "Posición=10,20", "Precio=5 €", "", "Último=sí, señor"]
ENCODINGS = {"ansi": ("cp1252", b""), "utf8": ("utf-8", b"\xef\xbb\xbf"),
             "utf16le": ("utf-16-le", b"\xff\xfe"), "utf16be": ("utf-16-be", b"\xfe\xff")}
STYLES = {"crlf": "\r\n", "lf": "\n", "cr": "\r", "lfcr": "\n\r"}


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, (codec, bom) in ENCODINGS.items():
        for style, ending in STYLES.items():
            text = ending.join(LINES).encode(codec)
            for marked in (True, False):
                if marked and not bom:
                    continue
                data = (bom if marked else b"") + text
                with open(os.path.join(out, "%s_%s_%s.txt" % (name, style, "bom" if marked else "nobom")), "wb") as f:
                    f.write(data)


if __name__ == "__main__":
    main()
