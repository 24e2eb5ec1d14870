// Inflater internals shared by the state machine and its fast decoding loop.
#pragma once

#include "storage/SLInflate.h"

namespace SLInflate {

// The modes of the decoder; a call may stop in any of them and resume there.
enum SLInflateMode : int {
  HEAD = 16180,  // zlib or gzip header (first two bytes)
  FLAGS,         // gzip method and flags
  TIME,          // gzip modification time
  OS,            // gzip extra flags and system
  EXLEN,         // gzip extra field length
  EXTRA,         // gzip extra field
  NAME,          // gzip file name
  COMMENT,       // gzip comment
  HCRC,          // gzip header CRC
  DICTID,        // zlib preset dictionary id
  DICT,          // waiting for a preset dictionary
  TYPE,          // block header (stop point for Z_BLOCK)
  TYPEDO,        // block header, no stop
  STORED,        // stored block lengths
  COPY_,         // stored block data (stop point for Z_TREES)
  COPY,          // stored block data
  TABLE,         // dynamic block counts
  LENLENS,       // code-length code lengths
  CODELENS,      // literal/length and distance code lengths
  LEN_,          // decoding start (stop point for Z_TREES)
  LEN,           // literal/length code
  LENEXT,        // length extra bits
  DIST,          // distance code
  DISTEXT,       // distance extra bits
  MATCH,         // copying a match
  LIT,           // writing a literal
  CHECK,         // adler32 or crc32 trailer
  LENGTH,        // gzip length trailer
  DONE,          // stream ended
  BAD,           // data error
  MEM,           // window could not be allocated
  SYNC           // unused: there is no inflateSync
};

struct SLInflateState {
  z_stream* strm;       // the stream this state belongs to
  SLInflateMode mode;
  int last;             // the current block is the last
  int wrap;             // bit 0 zlib, bit 1 gzip accepted
  int havedict;
  int flags;            // gzip header flags (0 for zlib)
  unsigned dmax;
  unsigned long check;  // running adler32 or crc32
  unsigned long total;  // output bytes, for the gzip length trailer
  bool deflate64;       // 64 KB window, Deflate64 alphabets and tables
  // sliding window
  unsigned wbits;
  unsigned wsize;
  unsigned whave;
  unsigned wnext;
  u8* window;
  // bit accumulator: `bits` valid low bits, everything above them zero
  u64 hold;
  unsigned bits;
  // stored length, match length or gzip extra length; match distance; extra bits wanted
  unsigned length;
  unsigned offset;
  unsigned extra;
  // current decoding tables
  const SLInflateCode* lencode;
  const SLInflateCode* distcode;
  unsigned lenbits;
  unsigned distbits;
  // dynamic block header
  unsigned ncode;
  unsigned nlen;
  unsigned ndist;
  unsigned have;
  SLInflateCode* next;
  u16 lens[320];
  u16 work[288];
  SLInflateCode codes[kTableArea];
  int sane;
  int back;
  unsigned was;
};

// Decodes literal/length and distance symbols straight from memory while at least 16 input
// bytes and 260 output bytes are left (two literals and a longest match); stops at a symbol boundary (mode LEN), the end of the
// block (TYPE), a data error (BAD) or a Deflate64 match longer than the output room (MATCH),
// with fewer than 8 bits held, exactly where the general decoder would be. `start` is the
// output room at the start of the inflate call.
void InflateFast(z_stream* strm, unsigned start);

inline constexpr unsigned kFastMinInput = 16;
inline constexpr unsigned kFastMinOutput = 260;

}  // namespace SLInflate
