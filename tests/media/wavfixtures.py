#!/usr/bin/env python3
"""craft DIR: writes the hand-made WAV files of CRAFTED into DIR. ref IN OUT: writes IN's
frames to OUT as the reader hands them out, each sample widened to 1, 2, 4 or 8 bytes and
left-justified (python's wave module refuses the WAVE_FORMAT_EXTENSIBLE that sox and
ffmpeg write for 24 and 32 bits, so this walks the chunks itself)."""
import struct
import sys

PCM_GUID = bytes.fromhex("0100000000001000800000aa00389b71")
FLOAT_GUID = bytes.fromhex("0300000000001000800000aa00389b71")


def pattern(n):
    return bytes((i * 37 + 11 + (i >> 8)) & 0xFF for i in range(n))


def chunk(tag, payload, pad=True):
    body = tag + struct.pack("<I", len(payload)) + payload
    return body + (b"\0" if pad and len(payload) % 2 else b"")


def riff(*chunks):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def fmt(tag=1, channels=1, rate=8000, bits=8, align=None, extra=None, size=None):
    if align is None:
        align = max(1, (bits + 7) // 8) * channels
    payload = struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits)
    if extra is not None:
        payload += struct.pack("<H", len(extra)) + extra
    if size is not None:
        payload = (payload + b"\0" * 64)[:size]
    return chunk(b"fmt ", payload)


LIST_ODD = b"INFOISFT" + struct.pack("<I", 5) + b"test\0"  # 17 bytes

CRAFTED = {
    # name: file bytes
    "fmt14.wav": riff(fmt(size=14), chunk(b"data", pattern(100))),
    "fmt15.wav": riff(fmt(size=15), chunk(b"data", pattern(100))),
    "fmt16.wav": riff(fmt(1, 2, 22050, 16), chunk(b"data", pattern(400))),
    # An extra-bytes count beyond the chunk is lowered to what the chunk holds.
    "fmt20big.wav": riff(chunk(b"fmt ", struct.pack("<HHIIHHH", 1, 1, 22050, 44100, 2, 16, 500) + b"\0\0"),
                         chunk(b"data", pattern(400))),
    "fmt40.wav": riff(fmt(0xFFFE, 2, 48000, 24, 6, struct.pack("<HI", 24, 3) + PCM_GUID), chunk(b"data", pattern(600))),
    "fmt40float.wav": riff(fmt(0xFFFE, 2, 48000, 32, 8, struct.pack("<HI", 32, 3) + FLOAT_GUID),
                           chunk(b"data", pattern(600))),
    "listpadded.wav": riff(fmt(1, 1, 11025, 16), chunk(b"LIST", LIST_ODD), chunk(b"data", pattern(300))),
    "listunpadded.wav": riff(fmt(1, 1, 11025, 16), chunk(b"LIST", LIST_ODD, pad=False),
                             chunk(b"data", pattern(300))),
    "factodd.wav": riff(fmt(1, 1, 11025, 16), chunk(b"fact", b"\x96\0\0\0\x01"), chunk(b"data", pattern(300))),
    "datafirst.wav": riff(chunk(b"data", pattern(100)), fmt()),
    "databeyond.wav": riff(fmt(1, 1, 8000, 16), b"data" + struct.pack("<I", 100000) + pattern(1000)),
    "dataempty.wav": riff(fmt(), chunk(b"data", b"")),
    "factshort.wav": riff(fmt(0x11, 1, 8000, 4, 256), chunk(b"fact", b"\1\2"), chunk(b"data", pattern(512))),
    "adpcmnofact.wav": riff(fmt(0x11, 1, 8000, 4, 256, extra=b"\xf9\x01"), chunk(b"data", pattern(512))),
    "adpcmfact.wav": riff(fmt(0x11, 1, 8000, 4, 256, extra=b"\xf9\x01"), chunk(b"fact", struct.pack("<I", 1010)),
                          chunk(b"data", pattern(512))),
    "mp3short.wav": riff(fmt(0x55, 1, 22050, 0, 1, extra=b"\0" * 4), chunk(b"data", pattern(512))),
    "rate0.wav": riff(fmt(1, 1, 0, 16), chunk(b"data", pattern(100))),
    "bytesrate.wav": riff(fmt(1, 65535, 20000, 32, 65535), chunk(b"data", pattern(100))),  # > 2^32 bytes/s
    "facthuge.wav": riff(fmt(1, 1, 8000, 16), b"fact" + struct.pack("<I", 0xFFFFFF00) + pattern(8)),
    "channels0.wav": riff(fmt(1, 0, 8000, 16, 2), chunk(b"data", pattern(100))),
    "bits0.wav": riff(fmt(1, 1, 8000, 0, 1), chunk(b"data", pattern(100))),
    "bits33.wav": riff(fmt(1, 1, 8000, 33, 5), chunk(b"data", pattern(100))),
    "align0.wav": riff(fmt(1, 1, 8000, 16, 0), chunk(b"data", pattern(100))),
    "notwave.wav": b"RIFF" + struct.pack("<I", 4) + b"AVI " + fmt(),
    "short.wav": b"RIFF\x04\0",
    # 65,535 channels of 64-bit samples in one-byte slots: a frame widens to 524,280 bytes.
    "wide64.wav": riff(fmt(0xFFFE, 65535, 1, 64, 65535, struct.pack("<HI", 64, 0) + PCM_GUID),
                       b"data" + struct.pack("<I", 0xFFFFFFF0) + pattern(16)),
    # 24-bit stereo packed in 6-byte frames, then a chunk the reads must not reach.
    "packed24.wav": riff(fmt(1, 2, 44100, 24, 6), chunk(b"data", pattern(6 * 333)),
                         chunk(b"LIST", b"\xee" * 64)),
    # 12-bit mono in 2-byte slots with a 2-byte gap per frame (block alignment 4).
    "align4.wav": riff(fmt(1, 1, 8000, 12, 4), chunk(b"data", pattern(4 * 100 + 3)),
                       chunk(b"junk", b"\xee" * 8)),
}


def is_id(tag):
    return len(tag) == 4 and all(32 <= b < 127 for b in tag)


def read_pcm(path):
    """The frames of a PCM WAV, widened."""
    data = open(path, "rb").read()
    assert data[:4] == b"RIFF" and data[8:12] == b"WAVE"
    pos, fmtc, body = 12, None, None
    while pos + 8 <= len(data):
        tag, size = struct.unpack_from("<4sI", data, pos)
        if tag == b"fmt " and fmtc is None:
            fmtc = data[pos + 8:pos + 8 + size]
        elif tag == b"data":
            body = data[pos + 8:pos + 8 + size]
            break
        nxt = pos + 8 + size
        if size % 2:  # the pad byte, unless its writer left it out (then the id is text)
            padded_fits = is_id(data[nxt + 1:nxt + 5]) and nxt + 9 + struct.unpack_from(
                "<I", data + b"\0" * 8, nxt + 5)[0] <= len(data)
            nxt += 0 if not padded_fits and is_id(data[nxt:nxt + 4]) else 1
        pos = nxt
    _, channels, _, _, align, bits = struct.unpack_from("<HHIIHH", fmtc + b"\0" * 16)
    if len(fmtc) < 16:
        bits = 8
    out_bytes = 1 if bits <= 8 else 2 if bits <= 16 else 4 if bits <= 32 else 8
    slot = align // channels
    frames = []
    for f in range(len(body) // align):
        frame = body[f * align:(f + 1) * align]
        for c in range(channels):
            s = frame[c * slot:(c + 1) * slot]
            if out_bytes == 1:
                frames.append(s[:1])
            elif slot >= out_bytes:
                frames.append(s[slot - out_bytes:])
            else:
                frames.append(b"\0" * (out_bytes - slot) + s)
    return b"".join(frames)


if sys.argv[1] == "craft":
    for name, content in CRAFTED.items():
        open(f"{sys.argv[2]}/{name}", "wb").write(content)
else:
    open(sys.argv[3], "wb").write(read_pcm(sys.argv[2]))
