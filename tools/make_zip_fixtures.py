#!/usr/bin/env python3
"""Writes the ZIP archives the ZIP storage tests read, into the directory given:
archives made by python's zipfile, Info-ZIP's zip and 7-Zip, and crafted ones built field
by field with struct (valid ZIP64 records, damaged headers, a deflate bomb). Beside them,
expected/<archive>/<path> holds each entry's content and manifest.txt lists what to expect."""
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib


def sample_files():
    rng = random.Random(2026)
    words = [b"el", b"personaje", b"camina", b"por", b"la", b"escena", b"y", b"habla", b"con", b"objeto"]
    text = b" ".join(rng.choice(words) for _ in range(40000))
    binary = bytes(rng.getrandbits(8) for _ in range(30000)) + text[:20000] * 3
    return {
        "texto.txt": text,
        "datos.bin": binary,
        "vacio.txt": b"",
        "Carpeta/Sub/profundo.txt": text[:5000],
        "Carpeta/uno.txt": b"uno\n" * 100,
    }


FILES = sample_files()
manifest = []


def expect(archive, path, data):
    target = os.path.join(OUT, "expected", archive, path)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with open(target, "wb") as f:
        f.write(data)
    manifest.append(f"{archive}\t{path}")


def python_archive(name, method, readable=True):
    path = os.path.join(OUT, name)
    with zipfile.ZipFile(path, "w", compression=method) as zf:
        for arcname, data in FILES.items():
            zf.writestr(arcname, data)
            if readable:
                expect(name, arcname, data)
    return path


def write_tree(root):
    for arcname, data in FILES.items():
        target = os.path.join(root, arcname)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)


def tool_archive(name, command):
    tree = os.path.join(OUT, "tree")
    if not os.path.isdir(tree):
        write_tree(tree)
    archive = os.path.join(OUT, name)
    subprocess.run(command + [archive] + sorted(FILES), cwd=tree, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for arcname, data in FILES.items():
        expect(name, arcname, data)


# ---- crafted archives ----------------------------------------------------------------

def local_header(name, data, method=0, crc=None, flags=0, extra=b"", packed=None):
    crc = zlib.crc32(data) if crc is None else crc
    packed = data if packed is None else packed
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, 0, 0, crc, len(packed),
                       len(data), len(name), len(extra)) + name + extra + packed


def central_header(name, data, offset, method=0, crc=None, flags=0, extra=b"", packed_size=None,
                   plain_size=None, disk=0, host=3, attributes=0o100644 << 16, offset_field=None):
    crc = zlib.crc32(data) if crc is None else crc
    packed_size = len(data) if packed_size is None else packed_size
    plain_size = len(data) if plain_size is None else plain_size
    offset_field = offset if offset_field is None else offset_field
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, (host << 8) | 20, 20, flags, method, 0, 0, crc,
                       packed_size, plain_size, len(name), len(extra), 0, disk, 0, attributes,
                       offset_field) + name + extra


def end_record(count, cd_size, cd_offset, comment=b"", comment_length=None, disk=0, cd_disk=0):
    comment_length = len(comment) if comment_length is None else comment_length
    return struct.pack("<IHHHHIIH", 0x06054B50, disk, cd_disk, count, count, cd_size, cd_offset,
                       comment_length) + comment


def simple_archive(entries, comment=b"", **end_kwargs):
    """entries: list of (name, data) stored entries."""
    body, central = b"", b""
    for name, data in entries:
        offset = len(body)
        body += local_header(name, data)
        central += central_header(name, data, offset)
    return body + central + end_record(len(entries), len(central), len(body), comment, **end_kwargs)


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def crafted():
    hello = b"hola mundo\n" * 20
    # A valid ZIP64 archive: every size and offset through the ZIP64 records.
    name = b"grande.txt"
    body = local_header(name, hello)
    extra = struct.pack("<HHQQQ", 1, 24, len(hello), len(hello), 0)
    central = central_header(name, hello, 0, extra=extra, packed_size=0xFFFFFFFF,
                             plain_size=0xFFFFFFFF, offset_field=0xFFFFFFFF)
    zip64_end_offset = len(body) + len(central)
    zip64_end = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 1, 1, len(central), len(body))
    locator = struct.pack("<IIQI", 0x07064B50, 0, zip64_end_offset, 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    write("crafted_zip64.zip", body + central + zip64_end + locator + end)
    expect("crafted_zip64.zip", "grande.txt", hello)

    # The ZIP64 field is too short for the offset its header asks for.
    short_extra = struct.pack("<HHQQ", 1, 16, len(hello), len(hello))
    central = central_header(name, hello, 0, extra=short_extra, packed_size=0xFFFFFFFF,
                             plain_size=0xFFFFFFFF, offset_field=0xFFFFFFFF)
    write("bad_zip64_short_field.zip", body + central + end_record(1, len(central), len(body)))
    # ... and a field whose length claims more than the extra area holds.
    long_extra = struct.pack("<HHQ", 1, 24, len(hello))
    central = central_header(name, hello, 0, extra=long_extra, packed_size=0xFFFFFFFF,
                             plain_size=0xFFFFFFFF, offset_field=0)
    write("bad_zip64_cut_field.zip", body + central + end_record(1, len(central), len(body)))

    # A comment length running past the end of the source: the comment is cut.
    write("comment_past_end.zip", simple_archive([(b"a.txt", hello)], comment=b"corto",
                                                 comment_length=60000))
    expect("comment_past_end.zip", "a.txt", hello)
    # An unknown extra field claiming more than is left is cut; the entry still reads.
    body = local_header(b"b.txt", hello)
    central = central_header(b"b.txt", hello, 0, extra=struct.pack("<HH", 0x7777, 500) + b"xyz")
    write("extra_past_end.zip", body + central + end_record(1, len(central), len(body)))
    expect("extra_past_end.zip", "b.txt", hello)

    write("tiny21.bin", b"PK\x05\x06" + b"\0" * 17)
    write("no_end_record.zip", b"PK\x03\x04" + b"\0" * 200)
    good = simple_archive([(b"c.txt", hello)])
    write("bad_offset.zip", good[:-6] + struct.pack("<IH", 0x7FFFFFFF, 0))
    write("bad_disk.zip", simple_archive([(b"c.txt", hello)], disk=1))
    zip64_no_locator = good[:-22] + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    write("zip64_no_locator.zip", zip64_no_locator)
    # A central header whose name runs past the end of the source.
    body = local_header(b"d.txt", hello)
    central = central_header(b"d.txt", hello, 0)
    central = central[:28] + struct.pack("<H", 1000) + central[30:]
    write("central_cut.zip", body + central + end_record(1, len(central), len(body)))
    # A central directory with a foreign signature in it.
    write("bad_signature.zip", body + b"JUNK" + central + end_record(1, len(central) + 4, len(body)))
    # A local header with a wrong signature: found in the listing, refused at open.
    body = b"XX\x03\x04" + local_header(b"e.txt", hello)[4:]
    central = central_header(b"e.txt", hello, 0)
    write("bad_local.zip", body + central + end_record(1, len(central), len(body)))
    # A local header offset beyond the source.
    central = central_header(b"f.txt", hello, 0, offset_field=0x7FFFFF00)
    write("local_beyond.zip", body + central + end_record(1, len(central), len(body)))
    # A wrong CRC in the central directory of a deflate entry.
    packed = zlib.compress(hello * 50)[2:-4]
    body = local_header(b"g.txt", hello * 50, method=8, packed=packed)
    central = central_header(b"g.txt", hello * 50, 0, method=8, crc=0x12345678, packed_size=len(packed))
    write("bad_crc.zip", body + central + end_record(1, len(central), len(body)))
    # A deflate entry whose stream ends before the size its headers give (what a wrong
    # password often decodes to): damaged data, not an early end.
    short = hello * 50
    packed = zlib.compress(short)[2:-4]
    body = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0, zlib.crc32(short), len(packed),
                       len(short) + 100, 7, 0) + b"short.t" + packed
    central = central_header(b"short.t", short, 0, method=8, packed_size=len(packed), plain_size=len(short) + 100)
    write("short_stream.zip", body + central + end_record(1, len(central), len(body)))
    # Strong encryption flag (bit 6).
    body = local_header(b"h.txt", hello, flags=0x41)
    central = central_header(b"h.txt", hello, 0, flags=0x41)
    write("strong.zip", body + central + end_record(1, len(central), len(body)))
    # Names with "\" separators, a leading "/", a drive part, a CP437 name, duplicates,
    # directory entries and DOS attributes.
    entries = [
        (b"\\win\\estilo.txt", b"barras invertidas", {}),
        (b"/lead/slash.txt", b"barra inicial", {}),
        (b"C:/drive/part.txt", b"unidad", {}),
        (b"caf\x82.txt", b"cp437", {}),
        (b"dup.txt", b"primero", {}),
        (b"dup.txt", b"segundo", {}),
        (b"solo/dir/", b"", {}),
        (b"oculto.txt", b"hidden", {"host": 0, "attributes": 0x2 | 0x20}),
        (b"escribible.txt", b"writable", {"host": 0, "attributes": 0x20}),
        (b"dosdir", b"", {"host": 0, "attributes": 0x10}),
    ]
    body, central = b"", b""
    for name, data, options in entries:
        offset = len(body)
        body += local_header(name, data)
        central += central_header(name, data, offset, **options)
    write("names.zip", body + central + end_record(len(entries), len(central), len(body)))
    for path, data in [("win/estilo.txt", b"barras invertidas"), ("lead/slash.txt", b"barra inicial"),
                       ("drive/part.txt", b"unidad"), ("caf\u00e9.txt", b"cp437"), ("dup.txt", b"primero")]:
        expect("names.zip", path, data)

    # A deflate bomb: 1 GB of zeros in about 1 MB, behind an entry that claims 1 GB.
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    chunk = b"\0" * (1 << 20)
    packed = b"".join(compressor.compress(chunk) for _ in range(1024)) + compressor.flush()
    plain_size = 1 << 30
    crc = 0
    for _ in range(1024):
        crc = zlib.crc32(chunk, crc)
    body = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0, crc, len(packed), plain_size, 8, 0) + b"bomb.bin" + packed
    central = central_header(b"bomb.bin", b"", 0, method=8, crc=crc, packed_size=len(packed), plain_size=plain_size)
    write("bomb.zip", body + central + end_record(1, len(central), len(body)))


def main():
    global OUT
    OUT = sys.argv[1]
    os.makedirs(OUT, exist_ok=True)
    python_archive("py_stored.zip", zipfile.ZIP_STORED)
    python_archive("py_deflate.zip", zipfile.ZIP_DEFLATED)
    python_archive("py_bzip2.zip", zipfile.ZIP_BZIP2)
    python_archive("py_lzma.zip", zipfile.ZIP_LZMA, readable=False)  # method 14

    # Forced ZIP64 local and central records, UTF-8 names and the longest comment.
    path = os.path.join(OUT, "py_zip64_utf8.zip")
    with zipfile.ZipFile(path, "w", compression=zipfile.ZIP_DEFLATED) as zf:
        for arcname, data in [("películas/canción.txt", FILES["texto.txt"]), ("ÁRBOL/ñandú.bin", FILES["datos.bin"])]:
            with zf.open(arcname, "w", force_zip64=True) as f:
                f.write(data)
            expect("py_zip64_utf8.zip", arcname, data)
        zf.comment = bytes((i * 7) % 251 + 1 for i in range(65535))

    if shutil.which("zip"):
        tool_archive("zip_default.zip", ["zip", "-q", "-r"])
        tool_archive("zip_force64.zip", ["zip", "-q", "-fz"])
        tool_archive("zip_encrypted.zip", ["zip", "-q", "-P", "secreto"])
        tool_archive("zip_encrypted_stored.zip", ["zip", "-q", "-0", "-P", "secreto"])
    if shutil.which("7zz"):
        tool_archive("7z_deflate64.zip", ["7zz", "a", "-tzip", "-mm=Deflate64"])
        tool_archive("7z_bzip2.zip", ["7zz", "a", "-tzip", "-mm=BZip2"])
        tool_archive("7z_deflate.zip", ["7zz", "a", "-tzip", "-mm=Deflate", "-mx=9"])
    crafted()
    with open(os.path.join(OUT, "manifest.txt"), "w", encoding="utf-8") as f:
        f.write("\n".join(manifest) + "\n")


if __name__ == "__main__":
    main()
