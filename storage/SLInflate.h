// The framework's own inflater: zlib's streaming inflate interface and behaviour (stream
// record, return codes, flush values, zlib and gzip wrappers, check values, messages), plus
// Deflate64 (ZIP method 9): a 64 KB window, length code 285 with 16 extra bits and the
// distance codes 30 and 31. It lives in its own namespace beside the system zlib, whose
// deflate, crc32 and adler32 it shares but whose inflate it does not use.
#pragma once

#include <zlib.h>

#include "foundation/SLTypes.h"

namespace SLInflate {

// One decoding-table entry. op: 0 literal; bit 5 set: end of block; bit 6 set (bit 5
// clear): invalid code; high nibble 0 (non-zero): link to a second-level table of `op`
// index bits at offset `val`; anything else: a length or distance base `val` whose
// extra-bit count sits in the low 4 bits (deflate tables, op 16 + e) or the low 5 bits
// (Deflate64 tables, op 128 + e). bits: the code's length in this table level.
struct SLInflateCode {
  u8 op;
  u8 bits;
  u16 val;
};

enum SLCodeType { CODES, LENS, DISTS };

// Room for the largest code-length, literal/length and distance tables the two builders
// can make with 7, 9 and 6 root bits for 286 length and 32 distance codes; the builders
// check against it as they fill.
inline constexpr unsigned kTableArea = 2048;

// Canonical Huffman table builders: 0 success, -1 over-subscribed or incomplete set, 1 no
// room. `table` advances past the tables made; `bits` gives the root bits wanted and
// returns those used. `work` holds 288 entries. `room` is the number of entries free at
// *table.
int inflate_table(SLCodeType type, const u16* lens, unsigned codes, SLInflateCode** table,
                  unsigned* bits, u16* work, unsigned room = kTableArea);
// The same for the Deflate64 alphabets and entry encoding (all 32 distance codes valid).
int inflate_table9(SLCodeType type, const u16* lens, unsigned codes, SLInflateCode** table,
                   unsigned* bits, u16* work, unsigned room = kTableArea);

using alloc_func = void* (*)(void* opaque, unsigned items, unsigned size);
using free_func = void (*)(void* opaque, void* address);

struct SLInflateState;

// The stream record: the caller's side of one inflate stream, field for field zlib's.
struct z_stream {
  const u8* next_in;
  unsigned avail_in;
  unsigned long total_in;
  u8* next_out;
  unsigned avail_out;
  unsigned long total_out;
  const char* msg;
  SLInflateState* state;
  alloc_func zalloc;
  free_func zfree;
  void* opaque;
  int data_type;
  unsigned long adler;
  unsigned long reserved;
};

// Default allocators, installed where the stream has none.
void* zcalloc(void* opaque, unsigned items, unsigned size);
void zcfree(void* opaque, void* address);

// Window bits: 8..15 zlib, 0 zlib with the header's size, 24..31 gzip, 32 or 40..47 zlib or
// gzip detected, -8..-15 raw deflate, 16 or -16 raw Deflate64 with a 64 KB window.
int inflateInit2_(z_stream* strm, int windowBits, const char* version, int streamSize);
int inflateInit_(z_stream* strm, const char* version, int streamSize);
int inflateReset2(z_stream* strm, int windowBits);
int inflateReset(z_stream* strm);
int inflate(z_stream* strm, int flush);
int inflateEnd(z_stream* strm);

}  // namespace SLInflate
