#!/usr/bin/env python3
"""Rewrites the layer III frames of an MP3 file (lame's output) with changed side
information, for decoding tests of what encoders do not write.

Usage: mutate_mp3_frames.py MUTATION IN.mp3 OUT.mp3

Every granule's scale factors and Huffman bits are taken out of the bit reservoir and
written again, one frame per input frame, at the highest bit rate of the version so
that each frame holds its own main data (main_data_begin 0, no CRC, no tag frame).
Mutations that keep the stream valid:
  copy       nothing changed
  mixed      short-block granules become mixed blocks (long scale factors for the first
             bands, the short ones from band 3 as they were)
  intensity  joint-stereo frames switch intensity stereo on (at the lower sample rates
             the right channel's scale factors are rewritten under the intensity rules)
Mutations out of the standard's ranges:
  bigvalues  big_values 511          regions  region counts 15 and 7
  tables     table_select 4 and 14   count1   part2_3_length 3 bits short
  reservoir  main_data_begin 511 in the first frame
  linbits    granules of pairs 15 15 in table 31 with all 13 linbits set
Prints the number of granules changed."""
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
RATES = {3: (44100, 48000, 32000), 2: (22050, 24000, 16000)}
KBPS = {3: (0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320),
        2: (0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160)}
SLEN = ((0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4), (0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3))
PARTITIONS = (((6, 5, 5, 5), (9, 9, 9, 9), (6, 9, 9, 9)), ((6, 5, 7, 3), (9, 9, 12, 6), (6, 9, 12, 6)),
              ((11, 10, 0, 0), (18, 18, 0, 0), (15, 18, 0, 0)), ((7, 7, 7, 0), (12, 12, 12, 0), (6, 15, 12, 0)))


class Bits:
    def __init__(self, data, pos=0):
        self.data, self.pos = data, pos

    def get(self, n):
        value = 0
        for _ in range(n):
            byte = self.data[self.pos >> 3] if (self.pos >> 3) < len(self.data) else 0
            value = value << 1 | (byte >> (7 - (self.pos & 7))) & 1
            self.pos += 1
        return value

    def take(self, n):
        return ''.join(str(self.get(1)) for _ in range(n))


def field(value, n):
    return format(value, '0%db' % n) if n else ''


def code_table(number):
    """(hlen, hcod) of x, y in the table's code set, from the tables' data file."""
    rows, name, wanted = {}, None, ('hlen %d' % number, 'hcod %d' % number)
    for line in open(os.path.join(HERE, 'mpeg_tables.txt')):
        line = line.split('#', 1)[0].strip()
        if line.startswith('['):
            name = line[1:-1]
        elif line and name in wanted:
            rows.setdefault(name, []).append([int(v) for v in line.split()])
    return rows[wanted[0]], rows[wanted[1]]


def granule_fields(lsf):
    return [('part23', 12), ('big', 9), ('gain', 8), ('sfc', 9 if lsf else 4), ('ws', 1)]


def read_side(bits, lsf, channels):
    side = {'mdb': bits.get(8 if lsf else 9)}
    bits.get((1 if channels == 1 else 2) if lsf else (5 if channels == 1 else 3))
    side['scfsi'] = [[bits.get(1) for _ in range(4)] for _ in range(channels)] if not lsf else [[0] * 4] * channels
    side['gr'] = []
    for _ in range(1 if lsf else 2):
        chans = []
        for _ in range(channels):
            g = {name: bits.get(n) for name, n in granule_fields(lsf)}
            if g['ws']:
                g['bt'], g['mixed'] = bits.get(2), bits.get(1)
                g['tables'] = [bits.get(5), bits.get(5)]
                g['sbg'] = [bits.get(3) for _ in range(3)]
            else:
                g['tables'] = [bits.get(5) for _ in range(3)]
                g['r0'], g['r1'] = bits.get(4), bits.get(3)
            g['preflag'] = 0 if lsf else bits.get(1)
            g['scale'], g['c1'] = bits.get(1), bits.get(1)
            chans.append(g)
        side['gr'].append(chans)
    return side


def write_side(side, lsf, channels):
    out = field(side['mdb'], 8 if lsf else 9) + field(0, (1 if channels == 1 else 2) if lsf else (5 if channels == 1 else 3))
    if not lsf:
        out += ''.join(field(b, 1) for ch in side['scfsi'] for b in ch)
    for chans in side['gr']:
        for g in chans:
            out += ''.join(field(g[name], n) for name, n in granule_fields(lsf))
            if g['ws']:
                out += field(g['bt'], 2) + field(g['mixed'], 1) + field(g['tables'][0], 5) + field(g['tables'][1], 5)
                out += ''.join(field(s, 3) for s in g['sbg'])
            else:
                out += ''.join(field(t, 5) for t in g['tables']) + field(g['r0'], 4) + field(g['r1'], 3)
            if not lsf:
                out += field(g['preflag'], 1)
            out += field(g['scale'], 1) + field(g['c1'], 1)
    return out


def lsf_slen(sfc):
    if sfc < 400:
        return [(sfc >> 4) // 5, (sfc >> 4) % 5, (sfc & 15) >> 2, sfc & 3], 0
    if sfc < 500:
        c = sfc - 400
        return [(c >> 2) // 5, (c >> 2) % 5, c & 3, 0], 1
    c = sfc - 500
    return [c // 3, c % 3, 0, 0], 2


def read_scale_factors(bits, g, lsf, granule, scfsi):
    """The scale factors as (value, width) in stream order."""
    short = g['ws'] and g['bt'] == 2
    if lsf:
        slen, rule = lsf_slen(g['sfc'])
        kind = (2 if g['mixed'] else 1) if short else 0
        return [(bits.get(slen[p]), slen[p]) for p in range(4) for _ in range(PARTITIONS[rule][kind][p])]
    s1, s2 = SLEN[0][g['sfc']], SLEN[1][g['sfc']]
    if short:
        out = [(bits.get(s1), s1) for _ in range(8)] if g['mixed'] else []
        for sfb in range(3 if g['mixed'] else 0, 12):
            out += [(bits.get(s1 if sfb < 6 else s2), s1 if sfb < 6 else s2) for _ in range(3)]
        return out
    out = []
    for group, (a, b) in enumerate(((0, 6), (6, 11), (11, 16), (16, 21))):
        if granule == 0 or not scfsi[group]:
            out += [(bits.get(s1 if group < 2 else s2), s1 if group < 2 else s2) for _ in range(b - a)]
    return out


def parse(data):
    pos = 0
    if data[:3] == b'ID3':
        pos = 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9])
    frames, reservoir = [], bytearray()
    while pos + 4 <= len(data):
        word = int.from_bytes(data[pos:pos + 4], 'big')
        version, layer = (word >> 19) & 3, (word >> 17) & 3
        if (word >> 21) != 0x7FF or layer != 1 or version not in (2, 3) or (word >> 10) & 3 == 3:
            pos += 1
            continue
        lsf, channels = version == 2, 1 if (word >> 6) & 3 == 3 else 2
        rate, kbps = RATES[version][(word >> 10) & 3], KBPS[version][(word >> 12) & 15]
        length = (72 if lsf else 144) * kbps * 1000 // rate + ((word >> 9) & 1)
        crc = 0 if (word >> 16) & 1 else 2
        side_size = (9 if channels == 1 else 17) if lsf else (17 if channels == 1 else 32)
        body = data[pos + 4:pos + length]
        frame = {'word': word, 'lsf': lsf, 'channels': channels, 'rate': rate}
        frame['side'] = read_side(Bits(body, crc * 8), lsf, channels)
        tag = body[crc + side_size - 2:crc + side_size + 6]
        main = body[crc + side_size:]
        start = len(reservoir) - frame['side']['mdb']
        reservoir += main
        pos += length
        if b'Xing' in tag or b'Info' in tag:
            continue
        bits = Bits(reservoir, start * 8)
        frame['parts'] = []
        for gr, chans in enumerate(frame['side']['gr']):
            for ch, g in enumerate(chans):
                begin = bits.pos
                factors = read_scale_factors(bits, g, lsf, gr, frame['side']['scfsi'][ch])
                part3 = bits.take(g['part23'] - (bits.pos - begin))
                frame['parts'].append([factors, part3])
        frames.append(frame)
    return frames


def mutate(frames, name):
    rng, changed = random.Random(7), 0
    first = True
    for frame in frames:
        lsf, side = frame['lsf'], frame['side']
        granules = [g for chans in side['gr'] for g in chans]
        side['mdb'] = 0
        if name == 'reservoir' and first:
            side['mdb'], changed = 511, 1
        first = False
        if name == 'intensity' and (frame['word'] >> 6) & 3 == 1:
            frame['word'] |= 1 << 4
            changed += 1
            if lsf:
                g = side['gr'][0][1]
                short = g['ws'] and g['bt'] == 2
                kind = (2 if g['mixed'] else 1) if short else 0
                g['sfc'] = 2 * (3 * 36 + 3 * 6 + 3) + 1  # slen 3 3 3 under the intensity rules
                frame['parts'][1][0] = [(rng.randrange(8), 3) for p in range(3) for _ in range(PARTITIONS[3][kind][p])]
        for index, g in enumerate(granules):
            part = frame['parts'][index]
            if name == 'mixed' and g['ws'] and g['bt'] == 2 and not g['mixed']:
                longs = 6 if lsf else 8
                width = part[0][0][1] if part[0] else 0
                part[0] = [(part[0][i][0], width) for i in range(longs)] + part[0][9:]
                g['mixed'] = 1
                changed += 1
            elif name == 'bigvalues':
                g['big'], changed = 511, changed + 1
            elif name == 'regions' and not g['ws']:
                g['r0'], g['r1'], changed = 15, 7, changed + 1
            elif name == 'tables':
                g['tables'][0], g['tables'][1], changed = 4, 14, changed + 1
            elif name == 'count1' and len(part[1]) > 3:
                part[1], changed = part[1][:-3], changed + 1
            elif name == 'linbits' and not g['ws'] and index % 2 == 0:
                lengths, codes = code_table(24)
                pair = field(codes[15][15], lengths[15][15]) + ('1' * 13 + '0') * 2
                g['big'], g['tables'][0], g['r0'], g['r1'] = 8, 31, 15, 7
                part[1], changed = pair * 8, changed + 1
    return changed


def emit(frames):
    out = bytearray()
    for frame in frames:
        lsf, channels, side = frame['lsf'], frame['channels'], frame['side']
        granules = [g for chans in side['gr'] for g in chans]
        main = ''
        for g, (factors, part3) in zip(granules, frame['parts']):
            part2 = ''.join(field(v, n) for v, n in factors)
            g['part23'] = len(part2) + len(part3)
            assert g['part23'] < 4096
            main += part2 + part3
        main += '0' * (-len(main) % 8)
        word = (frame['word'] & ~0x1F200) | (14 << 12) | (1 << 16)  # top bit rate, no CRC, no padding
        length = (72 if lsf else 144) * KBPS[3 if not lsf else 2][14] * 1000 // frame['rate']
        head = field(word, 32) + write_side(side, lsf, channels)
        bits = head + main
        assert len(bits) <= length * 8, 'a frame does not fit'
        bits += '0' * (length * 8 - len(bits))
        out += int(bits, 2).to_bytes(length, 'big')
    return out


def main():
    name, source, target = sys.argv[1:4]
    frames = parse(open(source, 'rb').read())
    changed = mutate(frames, name)
    open(target, 'wb').write(emit(frames))
    print(changed)


if __name__ == '__main__':
    main()
