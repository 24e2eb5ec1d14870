#!/usr/bin/env python3
"""Writes MPEG audio layer I and II streams from the standard's bit-stream syntax, with
random legal allocations, scale factors and samples, and on request the damage a decoder
must survive: wrong CRCs, grouped codewords past their table, layer I allocation 15, a
header with reserved layer bits, junk between frames, a false first sync, a cut last
frame, a padded first frame, and an ID3v2 tag (200 KiB picture) in front.

make_mpa_streams.py OUT --layer 1|2 --rate HZ --kbps N --mode stereo|joint|dual|mono
    [--frames N] [--seed N] [--crc] [--bad-crc F,...] [--bad-group F] [--alloc15 F]
    [--reserved-layer F] [--junk F] [--false-sync] [--cut BYTES] [--pad-first]
    [--id3 3|4] [--footer]
Frame numbers F count from 0; the damage goes after (or into) that frame."""
import argparse
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_mpeg_tables import read_sections  # noqa: E402

RATES = {44100: (1, 0), 48000: (1, 1), 32000: (1, 2), 22050: (0, 0), 24000: (0, 1), 16000: (0, 2)}
KBPS = {(1, 1): [0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448],
        (1, 2): [0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384],
        (0, 1): [0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256],
        (0, 2): [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]}
MODES = {'stereo': 0, 'joint': 1, 'dual': 2, 'mono': 3}


class Bits:
    def __init__(self):
        self.fields = []

    def put(self, value, width):
        assert 0 <= value < (1 << width), (value, width)
        self.fields.append((value, width))

    def count(self):
        return sum(w for _, w in self.fields)

    def to_bytes(self, length):
        acc, n, out = 0, 0, bytearray()
        for value, width in self.fields:
            acc, n = (acc << width) | value, n + width
            while n >= 8:
                out.append((acc >> (n - 8)) & 0xFF)
                n -= 8
        if n:
            out.append((acc << (8 - n)) & 0xFF)
        assert len(out) <= length, (len(out), length)
        return bytes(out) + bytes(length - len(out))


def crc16(fields):
    reg = 0xFFFF
    for value, width in fields:
        for bit in range(width - 1, -1, -1):
            top = (reg >> 15) & 1
            reg = (reg << 1) & 0xFFFF
            if top != ((value >> bit) & 1):
                reg ^= 0x8005
    return reg


def allocation_table(tables, version, rate, kbps, channels):
    """Per subband: (allocation width, levels of each allocation value)."""
    if version == 0:
        rows, limit = tables['alloc lsf'], 30
    else:
        per = kbps // channels
        if per in (32, 48):
            rows, limit = tables['alloc low'], (12 if rate == 32000 else 8)
        elif rate == 48000 or per < 96:
            rows, limit = tables['alloc high'], 27
        else:
            rows, limit = tables['alloc high'], 30
    table = []
    for row in rows:
        first, last = (int(x) for x in row[0].split('-'))
        table += [(int(row[1]), [int(x) for x in row[2:]])] * (last - first + 1)
    return table[:limit]


def main():
    p = argparse.ArgumentParser()
    p.add_argument('out')
    p.add_argument('--layer', type=int, default=2)
    p.add_argument('--rate', type=int, default=44100)
    p.add_argument('--kbps', type=int, default=192)
    p.add_argument('--mode', default='stereo')
    p.add_argument('--frames', type=int, default=40)
    p.add_argument('--seed', type=int, default=1)
    p.add_argument('--crc', action='store_true')
    p.add_argument('--bad-crc', default='')
    p.add_argument('--bad-group', type=int, default=-1)
    p.add_argument('--alloc15', type=int, default=-1)
    p.add_argument('--reserved-layer', type=int, default=-1)
    p.add_argument('--junk', type=int, default=-1)
    p.add_argument('--false-sync', action='store_true')
    p.add_argument('--cut', type=int, default=0)
    p.add_argument('--pad-first', action='store_true')
    p.add_argument('--id3', type=int, default=0)
    p.add_argument('--footer', action='store_true')
    a = p.parse_args()

    tables = read_sections(os.path.join(os.path.dirname(os.path.abspath(__file__)), 'mpeg_tables.txt'))
    classes = {int(levels): (int(grouped), int(bits)) for levels, grouped, bits in tables['classes']}
    rng = random.Random(a.seed)
    # Damage draws from its own generator: the frames stay those of the clean stream.
    damage = random.Random(a.seed + 1)
    version, rate_index = RATES[a.rate]
    rates = KBPS[(version, min(a.layer, 2))]
    bitrate_index = rates.index(a.kbps)
    mode = MODES[a.mode]
    channels = 1 if mode == 3 else 2
    bad_crc = {int(x) for x in a.bad_crc.split(',') if x}
    out = bytearray()

    if a.id3:
        picture = bytes(damage.getrandbits(8) for _ in range(200 * 1024))  # false syncs included
        body = b'\0image/jpeg\0\x03\0' + picture
        size = len(body)
        if a.id3 == 4:
            size_bytes = bytes((size >> s) & 0x7F for s in (21, 14, 7, 0))
        else:
            size_bytes = size.to_bytes(4, 'big')
        frame = b'APIC' + size_bytes + b'\0\0' + body
        tag_size = len(frame)
        synchsafe = bytes((tag_size >> s) & 0x7F for s in (21, 14, 7, 0))
        flags = 0x10 if a.footer else 0
        out += b'ID3' + bytes([a.id3, 0, flags]) + synchsafe + frame
        if a.footer:
            out += b'3DI' + bytes([a.id3, 0, flags]) + synchsafe
    if a.false_sync:
        # A header of another sample rate whose "next frame" is junk.
        out += bytes([0xFF, 0xF0 | (version << 3) | ((4 - a.layer) << 1) | 1, 0x90 | ((rate_index + 1) % 3) << 2, 0])
        out += bytes(damage.randrange(0, 0xFF) for _ in range(700))

    for f in range(a.frames):
        padding = 1 if (a.pad_first and f == 0) else 0
        word = 0xFFF00000 | version << 19 | (4 - a.layer) << 17 | (0 if a.crc else 1) << 16
        word |= bitrate_index << 12 | rate_index << 10 | padding << 9 | mode << 6
        ext = rng.randrange(4) if mode == 1 else 0
        word |= ext << 4
        bitrate = a.kbps * 1000
        if a.layer == 1:
            length = (12 * bitrate // a.rate + padding) * 4
            limit, bound = 32, (4 * ext + 4 if mode == 1 else 32)
        else:
            length = 144 * bitrate // a.rate + padding
            table = allocation_table(tables, version, a.rate, a.kbps, channels)
            limit = len(table)
            bound = min(4 * ext + 4, limit) if mode == 1 else limit
        budget = length * 8 - 32 - (16 if a.crc else 0)
        protected = Bits()  # the fields the CRC covers
        body = Bits()
        shared = lambda sb: 1 if (sb >= bound or channels == 1) else channels  # noqa: E731

        if a.layer == 1:
            # Above the bound one allocation (channel 0's) serves both channels.
            alloc = [[0] * 32 for _ in range(channels)]
            users = lambda sb: 2 if (sb >= bound and channels == 2) else 1  # noqa: E731
            used = sum(4 * shared(sb) for sb in range(32))
            for _ in range(400):
                sb = rng.randrange(32)
                ch = rng.randrange(shared(sb))
                step = 12 if alloc[ch][sb] else 24 + 6 * users(sb)
                if alloc[ch][sb] >= 14 or used + step > budget:
                    continue
                alloc[ch][sb] += 1
                used += step
            for sb in range(32):
                for ch in range(shared(sb)):
                    value = alloc[ch][sb]
                    if f == a.alloc15 and value == 0 and sb == 31 and ch == 0:
                        value = 15
                    protected.put(value, 4)
            for sb in range(32):
                for ch in range(channels):
                    if alloc[ch if sb < bound else 0][sb]:
                        body.put(rng.randrange(6, 50), 6)
            for _ in range(12):
                for sb in range(32):
                    for ch in range(shared(sb)):
                        if alloc[ch][sb]:
                            nb = alloc[ch][sb] + 1
                            body.put(rng.randrange((1 << nb) - 1), nb)
        else:
            alloc = [[0] * limit for _ in range(channels)]
            scfsi = [[rng.randrange(4) for _ in range(limit)] for _ in range(channels)]
            counts = {0: 3, 1: 2, 2: 1, 3: 2}

            def cost(ch, sb, value):
                if value == 0:
                    return 0
                levels = table[sb][1][value - 1]
                grouped, bits = classes[levels]
                users = range(channels) if sb >= bound else [ch]
                return 12 * (bits if grouped else 3 * bits) + sum(2 + 6 * counts[scfsi[c][sb]] for c in users)

            used = sum(table[sb][0] * shared(sb) for sb in range(limit))
            for _ in range(600):
                sb = rng.randrange(limit)
                ch = rng.randrange(shared(sb))
                value = alloc[ch][sb]
                if value + 1 > len(table[sb][1]):
                    continue
                step = cost(ch, sb, value + 1) - cost(ch, sb, value)
                if used + step > budget or rng.random() < 0.3 * value / len(table[sb][1]):
                    continue
                alloc[ch][sb] = value + 1
                used += step
            for sb in range(limit):
                for ch in range(shared(sb)):
                    protected.put(alloc[ch][sb], table[sb][0])
            who = lambda sb, ch: alloc[ch if sb < bound else 0][sb]  # noqa: E731
            for sb in range(limit):
                for ch in range(channels):
                    if who(sb, ch):
                        protected.put(scfsi[ch][sb], 2)
            for sb in range(limit):
                for ch in range(channels):
                    if who(sb, ch):
                        for _ in range(counts[scfsi[ch][sb]]):
                            body.put(rng.randrange(4, 50), 6)
            damaged = False
            for _ in range(12):
                for sb in range(limit):
                    for ch in range(shared(sb)):
                        if not alloc[ch][sb]:
                            continue
                        levels = table[sb][1][alloc[ch][sb] - 1]
                        grouped, bits = classes[levels]
                        if grouped:
                            code = rng.randrange(levels ** 3)
                            if f == a.bad_group and not damaged:
                                code, damaged = levels ** 3 + damage.randrange((1 << bits) - levels ** 3), True
                            body.put(code, bits)
                        else:
                            for _ in range(3):
                                body.put(rng.randrange(levels), bits)

        header = Bits()
        header.put(word, 32)
        if a.crc:
            crc = crc16([(word & 0xFFFF, 16)] + protected.fields)
            if f in bad_crc:
                crc ^= 0x0101
            header.put(crc, 16)
        frame = Bits()
        frame.fields = header.fields + protected.fields + body.fields
        out += frame.to_bytes(length)
        if f == a.reserved_layer:
            out += bytes([word >> 24, (word >> 16) & 0xF9, (word >> 8) & 0xFF, word & 0xFF]) + bytes(20)
        if f == a.junk:
            out += bytes(damage.randrange(0, 0xFF) for _ in range(333))
    if a.cut:
        out = out[:-a.cut]
    with open(a.out, 'wb') as handle:
        handle.write(out)


if __name__ == '__main__':
    main()
