#!/usr/bin/env python3
"""Rewrites an AVI file into the index layouts and damages the AVI parser must handle.

    make_avi_variants.py SOURCE.avi OUTDIR      writes OUTDIR/<variant>.avi for every variant
    make_avi_variants.py --synthetic OUTDIR     writes the one-hour benchmark files

The source is read as RIFF: the header list, the INFO list and the movie chunks with the
key flags of its idx1. Every variant keeps the chunks' payloads and their order, so a
parser's entries for a variant can be checked against its entries for the source.

Variants:
  idx1rel, idx1abs    idx1 with offsets from "movi" / from the file's start
  opendml2, opendml3  "indx" super indexes and "ix##" standard indexes of 2 / 3 longs per
                      entry, the chunks split over a RIFF "AVI " and a RIFF "AVIX" part
  noindex             neither idx1 nor OpenDML indexes
  avixnoindex         the two RIFF parts of opendml2 without their super indexes
  oddnopad            odd chunks written without their pad byte (absolute idx1)
  junk                JUNK chunks and stray bytes between the movie chunks, no index
  rec                 the movie chunks grouped in "rec " lists, no index
  info                INFO texts (one over 4,096 bytes), a tag outside INFO, CSET and segm
  rate0               rate and scale 0 in every stream header and 0 microseconds per frame
Damaged files (bad_*.avi) that must be refused:
  bad_selfsuper       a super index whose entry names the super index itself
  bad_multiplied      every super entry names the same standard index
  bad_overlapping     super entries name standard indexes 8 bytes apart, each claiming the
                      rest of the file as its entries
  bad_strf4g          a "strf" claiming 4 GiB
  bad_listbeyond      a stream list whose size runs past the end of the file
"""
import os
import struct
import sys


def u16(v):
    return struct.pack('<H', v)


def u32(v):
    return struct.pack('<I', v & 0xFFFFFFFF)


def u64(v):
    return struct.pack('<Q', v)


def chunk(cid, payload, pad=True):
    out = cid + u32(len(payload)) + payload
    if pad and len(payload) & 1:
        out += b'\0'
    return out


def lst(kind, body, tag=b'LIST'):
    return tag + u32(len(body) + 4) + kind + body


class Source:
    """The parts of an AVI file the variants are made of."""

    def __init__(self, path):
        data = open(path, 'rb').read()
        if data[:4] != b'RIFF' or data[8:12] != b'AVI ':
            raise SystemExit('not an AVI file: ' + path)
        self.avih = None
        self.strls = []  # per stream: list of (id, payload)
        self.chunks = []  # movie chunks: [id, payload, key]
        self.info = []
        offsets = {}
        idx1 = None
        movi_data = 0
        pos = 12
        while pos + 8 <= len(data):
            cid = data[pos:pos + 4]
            size = struct.unpack_from('<I', data, pos + 4)[0]
            body = data[pos + 8:pos + 8 + size]
            if cid == b'LIST' and body[:4] == b'hdrl':
                self._read_hdrl(body[4:])
            elif cid == b'LIST' and body[:4] == b'INFO':
                self.info = self._children(body[4:])
            elif cid == b'LIST' and body[:4] == b'movi':
                movi_data = pos + 12
                self._read_movi(data, pos + 12, pos + 8 + size, offsets)
            elif cid == b'idx1':
                idx1 = body
            pos += 8 + size + (size & 1)
        if idx1:
            relative = struct.unpack_from('<I', idx1, 8)[0] < movi_data
            for i in range(0, len(idx1) - 15, 16):
                flags, offset = struct.unpack_from('<II', idx1, i + 4)
                at = offset + movi_data - 4 if relative else offset
                if at in offsets:
                    self.chunks[offsets[at]][2] = bool(flags & 0x10)

    @staticmethod
    def _children(body):
        out, pos = [], 0
        while pos + 8 <= len(body):
            cid = body[pos:pos + 4]
            size = struct.unpack_from('<I', body, pos + 4)[0]
            out.append((cid, body[pos + 8:pos + 8 + size]))
            pos += 8 + size + (size & 1)
        return out

    def _read_hdrl(self, body):
        for cid, payload in self._children(body):
            if cid == b'avih':
                self.avih = payload
            elif cid == b'LIST' and payload[:4] == b'strl':
                self.strls.append([c for c in self._children(payload[4:]) if c[0] in (b'strh', b'strf', b'strn')])

    def _read_movi(self, data, pos, end, offsets):
        while pos + 8 <= end:
            cid = data[pos:pos + 4]
            size = struct.unpack_from('<I', data, pos + 4)[0]
            if cid == b'LIST':
                pos += 12
                continue
            if cid[:2] != b'ix' and cid != b'JUNK':
                offsets[pos] = len(self.chunks)
                self.chunks.append([cid, data[pos + 8:pos + 8 + size], True])
            pos += 8 + size + (size & 1)

    def stream_of(self, cid):
        return int(cid[:2], 16)


class Writer:
    """Lays a file out, remembering where each movie chunk's header went."""

    def __init__(self, src):
        self.src = src
        self.out = bytearray()
        self.positions = []

    def tell(self):
        return len(self.out)

    def header_list(self, strl_extra=None, avih=None, strh_patch=None, extra=b''):
        strls = b''
        for n, children in enumerate(self.src.strls):
            body = b''
            for cid, payload in children:
                if cid == b'strh' and strh_patch:
                    payload = strh_patch(payload)
                body += chunk(cid, payload)
            if strl_extra:
                body += strl_extra(n)
            strls += lst(b'strl', body)
        return lst(b'hdrl', chunk(b'avih', avih if avih is not None else self.src.avih) + strls + extra)

    def info_list(self):
        return lst(b'INFO', b''.join(chunk(c, p) for c, p in self.src.info)) if self.src.info else b''

    def movi(self, chunks, pad=True, between=None):
        """Appends a movi list of the given chunk numbers; returns the position of its type."""
        start = self.tell()
        self.out += b'LIST' + u32(0) + b'movi'
        for k, i in enumerate(chunks):
            if between:
                self.out += between(k)
            cid, payload, _ = self.src.chunks[i]
            self.positions[i] = self.tell()
            self.out += chunk(cid, payload, pad)
        return start + 8

    def close_list(self, type_position):
        size = self.tell() - type_position
        struct.pack_into('<I', self.out, type_position - 4, size)
        if size & 1:
            self.out += b'\0'

    def idx1(self, movi_type, absolute):
        records = []
        for i, (cid, payload, key) in enumerate(self.src.chunks):
            offset = self.positions[i] if absolute else self.positions[i] - movi_type
            records.append(cid + u32(0x10 if key else 0) + u32(offset) + u32(len(payload)))
        self.out += chunk(b'idx1', b''.join(records))

    def start_riff(self, kind):
        start = self.tell()
        self.out += b'RIFF' + u32(0) + kind
        return start + 8

    def save(self, path):
        open(path, 'wb').write(bytes(self.out))


def simple(src, absolute=True, index=True, pad=True, between=None, strh_patch=None, avih=None,
           extra_hdrl=b'', extra_top=b'', rec=False):
    w = Writer(src)
    w.positions = [0] * len(src.chunks)
    riff = w.start_riff(b'AVI ')
    w.out += w.header_list(avih=avih, strh_patch=strh_patch, extra=extra_hdrl) + w.info_list() + extra_top
    if rec:
        movi = w.tell() + 8
        w.out += b'LIST' + u32(0) + b'movi'
        for i in range(0, len(src.chunks), 3):
            rec_start = w.tell() + 8
            w.out += b'LIST' + u32(0) + b'rec '
            for j in range(i, min(i + 3, len(src.chunks))):
                cid, payload, _ = src.chunks[j]
                w.positions[j] = w.tell()
                w.out += chunk(cid, payload)
            w.close_list(rec_start)
    else:
        movi = w.movi(range(len(src.chunks)), pad, between)
    w.close_list(movi)
    if index:
        w.idx1(movi, absolute)
    w.close_list(riff)
    return w


SUPER_ENTRIES = 4


def opendml(src, longs, damage=None):
    """OpenDML layout: the chunks split in two RIFF parts, each movi ending with one
    standard index per stream; the super indexes are patched in when the file is laid out."""
    w = Writer(src)
    w.positions = [0] * len(src.chunks)
    streams = len(src.strls)
    super_size = 24 + 16 * SUPER_ENTRIES
    super_at = {}

    def indx_placeholder(n):
        return chunk(b'indx', bytes(super_size))

    riff = w.start_riff(b'AVI ')
    hdrl = w.header_list(strl_extra=indx_placeholder)
    # Find where each placeholder landed (in stream order).
    hdrl_start = w.tell()
    w.out += hdrl
    search = hdrl_start
    for n in range(streams):
        search = w.out.index(b'indx' + u32(super_size), search)
        super_at[n] = search + 8
        search += 8
    w.out += w.info_list()
    half = len(src.chunks) // 2
    parts = [range(0, half), range(half, len(src.chunks))]
    sub_indexes = {n: [] for n in range(streams)}  # (chunk offset, chunk size, entries)
    for p, numbers in enumerate(parts):
        if p == 1:
            w.close_list(riff)
            riff = w.start_riff(b'AVIX')
        movi = w.movi(numbers)
        for n in range(streams):
            mine = [i for i in numbers if src.stream_of(src.chunks[i][0]) == n]
            base = movi - 4
            body = []
            for i in mine:
                cid, payload, key = src.chunks[i]
                body.append(u32(w.positions[i] + 8 - base) + u32(len(payload) | (0 if key else 0x80000000)))
                if longs == 3:
                    body.append(u32(0))
            body = b''.join(body)
            cid = src.chunks[mine[0]][0] if mine else b'%02dxx' % n
            header = u16(longs) + bytes([1 if longs == 3 else 0, 1]) + u32(len(mine)) + cid + u64(base) + u32(0)
            at = w.tell()
            w.out += chunk(b'ix%02d' % n, header + body)
            sub_indexes[n].append((at, 8 + len(header) + len(body), len(mine)))
        w.close_list(movi)
    w.close_list(riff)
    for n in range(streams):
        entries = sub_indexes[n]
        if damage == 'selfsuper':
            entries = [(super_at[n] - 8, super_size + 8, 1)]
        elif damage == 'multiplied':
            entries = [entries[0]] * SUPER_ENTRIES
        elif damage == 'overlapping':
            # Each entry's standard index starts 8 bytes after the previous one's, inside
            # the first; every header claims the largest count the file can hold.
            first = entries[0][0]
            entries = [(first + 8 * k, 0, 0) for k in range(SUPER_ENTRIES)]
        body = b''.join(u64(o) + u32(s) + u32(d) for o, s, d in entries[:SUPER_ENTRIES])
        body += bytes(16 * (SUPER_ENTRIES - len(entries[:SUPER_ENTRIES])))
        first_id = next((c[0] for c in src.chunks if src.stream_of(c[0]) == n), b'%02dxx' % n)
        header = u16(4) + bytes([0, 0]) + u32(min(len(entries), SUPER_ENTRIES)) + first_id
        header += bytes(12)
        w.out[super_at[n]:super_at[n] + super_size] = header + body
    if damage == 'noindex':
        for n in range(streams):
            w.out[super_at[n] - 8:super_at[n] - 4] = b'JUNK'
    if damage == 'overlapping':
        first = sub_indexes[0][0][0]
        for k in range(SUPER_ENTRIES):
            payload = first + 8 * k + 8
            remaining = (len(w.out) - payload - 24) // 8
            struct.pack_into('<HBBI', w.out, payload, 2, 0, 1, remaining)
    return w


def strh_zero_rate(payload):
    payload = bytearray(payload)
    struct.pack_into('<II', payload, 20, 0, 0)
    return bytes(payload)


def write_variants(source, outdir):
    src = Source(source)
    os.makedirs(outdir, exist_ok=True)

    def save(name, w):
        w.save(os.path.join(outdir, name + '.avi'))

    save('idx1rel', simple(src, absolute=False))
    save('idx1abs', simple(src, absolute=True))
    save('opendml2', opendml(src, 2))
    save('opendml3', opendml(src, 3))
    save('noindex', simple(src, index=False))
    save('avixnoindex', opendml(src, 2, 'noindex'))
    save('oddnopad', simple(src, absolute=True, pad=False))
    stray = b'\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a'
    save('junk', simple(src, index=False,
                        between=lambda k: chunk(b'JUNK', bytes(k % 5)) + (stray[:k % 11] if k % 3 == 0 else b'')))
    save('rec', simple(src, index=False, rec=True))
    long_name = bytes((65 + i % 26) for i in range(5000))
    info = lst(b'INFO', chunk(b'INAM', long_name + b'\0') + chunk(b'ICMT', b'comentario\0') +
               chunk(b'IXYZ', b'not a text tag\0'))
    top = info + chunk(b'CSET', u16(1252) + u16(34) + u16(0x0A) + u16(3)) + chunk(b'segm', b'segmento\0')
    save('info', simple(src, extra_hdrl=chunk(b'IART', b'outside the INFO list\0'), extra_top=top))
    avih = bytearray(src.avih)
    struct.pack_into('<I', avih, 0, 0)
    save('rate0', simple(src, strh_patch=strh_zero_rate, avih=bytes(avih)))
    save('bad_selfsuper', opendml(src, 2, 'selfsuper'))
    save('bad_multiplied', opendml(src, 2, 'multiplied'))
    save('bad_overlapping', opendml(src, 2, 'overlapping'))
    w = simple(src)
    at = w.out.index(b'strf')
    struct.pack_into('<I', w.out, at + 4, 0xFFFFFFF0)
    save('bad_strf4g', w)
    w = simple(src)
    at = w.out.index(b'strl') - 4
    struct.pack_into('<I', w.out, at, len(w.out) * 4)
    save('bad_listbeyond', w)


def write_synthetic(outdir):
    """One hour at 25 frames per second with 10 audio chunks per second: 90,000 video and
    36,000 audio chunks of a few dozen bytes, as idx1, OpenDML and unindexed files; and a
    minute of PCM for the sample reads."""
    os.makedirs(outdir, exist_ok=True)
    src = Source.__new__(Source)
    src.avih = u32(40000) + bytes(52)
    video_strh = b'vids' + b'FMP4' + bytes(12) + u32(1) + u32(25) + bytes(28)
    video_strf = u32(40) + u32(64) + u32(48) + u16(1) + u16(24) + b'FMP4' + bytes(20)
    audio_strh = b'auds' + bytes(16) + u32(4) + u32(176400) + bytes(16) + u32(4) + bytes(8)
    audio_strf = u16(1) + u16(2) + u32(44100) + u32(176400) + u16(4) + u16(16)
    src.strls = [[(b'strh', video_strh), (b'strf', video_strf)], [(b'strh', audio_strh), (b'strf', audio_strf)]]
    src.info = []
    src.chunks = []
    for second in range(3600):
        for frame in range(25):
            size = 40 + (second * 25 + frame) % 23
            src.chunks.append([b'00dc', bytes([frame]) * size, frame == 0])
            if frame % 5 in (1, 3):
                src.chunks.append([b'01wb', bytes(64), True])
    simple(src).save(os.path.join(outdir, 'hour_idx1.avi'))
    opendml(src, 2).save(os.path.join(outdir, 'hour_opendml.avi'))
    simple(src, index=False).save(os.path.join(outdir, 'hour_noindex.avi'))
    # One minute of 16-bit stereo PCM in chunks of 1/25 s beside tiny video chunks.
    src.chunks = []
    for frame in range(60 * 25):
        src.chunks.append([b'00dc', bytes([frame & 255]) * 32, frame % 25 == 0])
        src.chunks.append([b'01wb', bytes((frame * 7 + i) & 255 for i in range(7056)), True])
    simple(src).save(os.path.join(outdir, 'minute_pcm.avi'))


if __name__ == '__main__':
    if len(sys.argv) == 3 and sys.argv[1] == '--synthetic':
        write_synthetic(sys.argv[2])
    elif len(sys.argv) == 3:
        write_variants(sys.argv[1], sys.argv[2])
    else:
        sys.exit(__doc__)
