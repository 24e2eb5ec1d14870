// The inflater's general decoder: a state machine that can stop at any bit of input and any
// byte of output and resume there on the next call. Literal/length symbols inside a block go
// through InflateFast while plenty of input and output room is left; it stops exactly where
// this machine would be, so results never depend on how the data was split.
#include <cstring>
#include <new>

#include "foundation/SLByteOrder.h"
#include "foundation/SLMemory.h"
#include "storage/SLInflateInternal.h"
#include "storage/SLInflateTables.h"

namespace SLInflate {

void* zcalloc(void* /*opaque*/, unsigned items, unsigned size) {
  u64 bytes = 0;
  if (!SLCheckedMul(items, size, &bytes) || !SLFitsU32(bytes)) return nullptr;
  return SLAllocRaw(static_cast<u32>(bytes));
}

void zcfree(void* /*opaque*/, void* address) { SLFreeRaw(address); }

namespace {

// A state is usable only when it belongs to this stream and its mode is one of ours, so a
// stale or foreign pointer is refused instead of followed further.
bool StateInvalid(z_stream* strm) {
  if (strm == nullptr || strm->zalloc == nullptr || strm->zfree == nullptr) return true;
  SLInflateState* state = strm->state;
  return state == nullptr || state->strm != strm || state->mode < HEAD || state->mode > SYNC;
}

void InstallFixedTables(SLInflateState* state) {
  state->lencode = state->deflate64 ? kFixedLengths64 : kFixedLengths;
  state->lenbits = 9;
  state->distcode = state->deflate64 ? kFixedDistances64 : kFixedDistances;
  state->distbits = 5;
}

// Keeps the last wsize bytes of output (this call's `written` bytes ending at `end`) for
// matches that reach back into earlier calls. The window is allocated on first use.
bool UpdateWindow(z_stream* strm, const u8* end, unsigned written) {
  SLInflateState* state = strm->state;
  if (state->window == nullptr) {
    state->window = static_cast<u8*>(strm->zalloc(strm->opaque, 1u << state->wbits, 1));
    if (state->window == nullptr) return false;
  }
  if (state->wsize == 0) {
    state->wsize = 1u << state->wbits;
    state->wnext = 0;
    state->whave = 0;
  }
  if (written >= state->wsize) {
    std::memcpy(state->window, end - state->wsize, state->wsize);
    state->wnext = 0;
    state->whave = state->wsize;
    return true;
  }
  unsigned part = state->wsize - state->wnext;
  if (part > written) part = written;
  std::memcpy(state->window + state->wnext, end - written, part);
  const unsigned rest = written - part;
  if (rest != 0) {
    std::memcpy(state->window, end - rest, rest);
    state->wnext = rest;
    state->whave = state->wsize;
  } else {
    state->wnext += part;
    if (state->wnext == state->wsize) state->wnext = 0;
    if (state->whave < state->wsize) state->whave += part;
  }
  return true;
}

unsigned long UpdateCheck(const SLInflateState* state, unsigned long check, const u8* data,
                          unsigned length) {
  return state->flags ? crc32(check, data, length) : adler32(check, data, length);
}

// The gzip header CRC covers the header bytes as they arrived: the low bytes of `hold`.
unsigned long Crc2(unsigned long check, u64 hold) {
  u8 bytes[2];
  SLStoreLE16(bytes, u16(hold));
  return crc32(check, bytes, 2);
}

unsigned long Crc4(unsigned long check, u64 hold) {
  u8 bytes[4];
  SLStoreLE32(bytes, u32(hold));
  return crc32(check, bytes, 4);
}

// Order in which the code-length code lengths arrive.
constexpr u16 kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

}  // namespace

int inflateReset(z_stream* strm) {
  if (StateInvalid(strm)) return Z_STREAM_ERROR;
  SLInflateState* state = strm->state;
  strm->total_in = strm->total_out = 0;
  state->total = 0;
  strm->msg = nullptr;
  strm->adler = 1;
  state->mode = HEAD;
  state->last = 0;
  state->havedict = 0;
  state->flags = 0;
  state->dmax = 32768u;
  state->wsize = 0;
  state->whave = 0;
  state->wnext = 0;
  state->hold = 0;
  state->bits = 0;
  state->length = 0;
  state->offset = 0;
  state->extra = 0;
  state->lencode = state->distcode = state->next = state->codes;
  state->sane = 1;
  state->back = -1;
  return Z_OK;
}

int inflateReset2(z_stream* strm, int windowBits) {
  if (StateInvalid(strm)) return Z_STREAM_ERROR;
  SLInflateState* state = strm->state;
  int wrap = 0;
  bool deflate64 = false;
  if (windowBits == 16 || windowBits == -16) {
    deflate64 = true;
    windowBits = 16;
  } else if (windowBits < 0) {
    if (windowBits < -15) return Z_STREAM_ERROR;
    windowBits = -windowBits;
  } else {
    wrap = (windowBits >> 4) + 1;
    if (windowBits < 48) windowBits &= 15;
  }
  if (!deflate64 && windowBits != 0 && (windowBits < 8 || windowBits > 15)) return Z_STREAM_ERROR;
  if (state->window != nullptr && state->wbits != static_cast<unsigned>(windowBits)) {
    strm->zfree(strm->opaque, state->window);
    state->window = nullptr;
  }
  state->wrap = wrap;
  state->wbits = static_cast<unsigned>(windowBits);
  state->deflate64 = deflate64;
  return inflateReset(strm);
}

int inflateInit2_(z_stream* strm, int windowBits, const char* version, int streamSize) {
  if (version == nullptr || version[0] != '1' || streamSize != static_cast<int>(sizeof(z_stream))) {
    return Z_VERSION_ERROR;
  }
  if (strm == nullptr) return Z_STREAM_ERROR;
  strm->msg = nullptr;
  if (strm->zalloc == nullptr) {
    strm->zalloc = zcalloc;
    strm->opaque = nullptr;
  }
  if (strm->zfree == nullptr) strm->zfree = zcfree;
  void* block = strm->zalloc(strm->opaque, 1, sizeof(SLInflateState));
  if (block == nullptr) return Z_MEM_ERROR;
  SLInflateState* state = new (block) SLInflateState();
  strm->state = state;
  state->strm = strm;
  state->window = nullptr;
  state->mode = HEAD;
  const int result = inflateReset2(strm, windowBits);
  if (result != Z_OK) {
    state->~SLInflateState();
    strm->zfree(strm->opaque, block);
    strm->state = nullptr;
  }
  return result;
}

int inflateInit_(z_stream* strm, const char* version, int streamSize) {
  return inflateInit2_(strm, 15, version, streamSize);
}

int inflateEnd(z_stream* strm) {
  if (StateInvalid(strm)) return Z_STREAM_ERROR;
  SLInflateState* state = strm->state;
  if (state->window != nullptr) strm->zfree(strm->opaque, state->window);
  state->~SLInflateState();
  strm->zfree(strm->opaque, state);
  strm->state = nullptr;
  return Z_OK;
}

// inflate: the state machine. Each mode below is a point where a call may run out of
// input or output and return; the next call re-enters the switch at state->mode with the
// bit accumulator (hold, bits) exactly as it was left. The modes and their successors:
//
//   header      HEAD -> (zlib) DICTID? -> DICT? -> TYPE
//               HEAD -> (gzip) FLAGS -> TIME -> OS -> EXLEN -> EXTRA -> NAME -> COMMENT -> HCRC
//                    -> TYPE
//   blocks      TYPE -> TYPEDO -> STORED -> COPY_ -> COPY -> TYPE              (stored)
//                            -> LEN_ -> LEN ...                           (fixed Huffman)
//                            -> TABLE -> LENLENS -> CODELENS -> LEN_ -> LEN ...   (dynamic)
//   symbols     LEN -> LIT -> LEN                                               (a literal)
//               LEN -> LENEXT -> DIST -> DISTEXT -> MATCH -> LEN                (a match)
//               LEN -> TYPE                                            (end-of-block code)
//   trailer     TYPEDO (after the last block) -> CHECK -> LENGTH -> DONE
//   ends        BAD (data error, kept until the stream is reset), MEM (no window)
//
// The gzip modes pass over the fields whose flag is clear; raw deflate data (no wrapping)
// goes from HEAD straight to TYPEDO, and CHECK and LENGTH read nothing then. TYPE is a stop point for Z_BLOCK and TYPE,
// COPY_ and LEN_ for Z_TREES; the modes without the underscore are the same without the
// stop. In LEN, while at least kFastMinInput bytes of input and kFastMinOutput bytes of
// room are left, InflateFast decodes whole symbols at once and leaves the machine in LEN,
// TYPE or BAD exactly where this loop would have left it. On the way out the output of
// the call is copied into the sliding window that later matches read back from.
int inflate(z_stream* strm, int flush) {
  if (StateInvalid(strm) || strm->next_out == nullptr ||
      (strm->next_in == nullptr && strm->avail_in != 0)) {
    return Z_STREAM_ERROR;
  }
  SLInflateState* state = strm->state;
  if (state->mode == TYPE) state->mode = TYPEDO;  // a Z_BLOCK stop is not repeated

  // Working copies of the stream and bit accumulator; written back on every exit.
  u8* put = strm->next_out;
  unsigned left = strm->avail_out;
  const u8* next = strm->next_in;
  unsigned have = strm->avail_in;
  u64 hold = state->hold;
  unsigned bits = state->bits;
  const unsigned in = have;
  unsigned out = left;
  int ret = Z_OK;
  SLInflateCode here;
  SLInflateCode last;
  unsigned copy;
  unsigned len;

#define SL_LOAD()             \
  do {                        \
    put = strm->next_out;     \
    left = strm->avail_out;   \
    next = strm->next_in;     \
    have = strm->avail_in;    \
    hold = state->hold;       \
    bits = state->bits;       \
  } while (0)
#define SL_RESTORE()          \
  do {                        \
    strm->next_out = put;     \
    strm->avail_out = left;   \
    strm->next_in = next;     \
    strm->avail_in = have;    \
    state->hold = hold;       \
    state->bits = bits;       \
  } while (0)
#define SL_PULLBYTE()                         \
  do {                                        \
    if (have == 0) goto leave;                \
    have--;                                   \
    hold += static_cast<u64>(*next++) << bits; \
    bits += 8;                                \
  } while (0)
#define SL_NEEDBITS(n)                                        \
  do {                                                        \
    while (bits < static_cast<unsigned>(n)) SL_PULLBYTE();    \
  } while (0)
#define SL_BITS(n) static_cast<unsigned>(hold & ((1ull << (n)) - 1))
#define SL_DROPBITS(n)                  \
  do {                                  \
    hold >>= (n);                       \
    bits -= static_cast<unsigned>(n);   \
  } while (0)
#define SL_INITBITS() \
  do {                \
    hold = 0;         \
    bits = 0;         \
  } while (0)
#define SL_BYTEBITS()     \
  do {                    \
    hold >>= bits & 7;    \
    bits -= bits & 7;     \
  } while (0)
#define SL_FAIL(text)                \
  do {                               \
    strm->msg = text;                \
    state->mode = BAD;               \
  } while (0)

  for (;;) {
    switch (state->mode) {
      case HEAD:
        if (state->wrap == 0) {
          state->mode = TYPEDO;
          break;
        }
        SL_NEEDBITS(16);
        if ((state->wrap & 2) && hold == 0x8b1f) {
          if (state->wbits == 0) state->wbits = 15;
          state->check = crc32(0L, Z_NULL, 0);
          state->check = Crc2(state->check, hold);
          SL_INITBITS();
          state->mode = FLAGS;
          break;
        }
        state->flags = 0;
        if (!(state->wrap & 1) || ((SL_BITS(8) << 8) + (hold >> 8)) % 31 != 0) {
          SL_FAIL("incorrect header check");
          break;
        }
        if (SL_BITS(4) != Z_DEFLATED) {
          SL_FAIL("unknown compression method");
          break;
        }
        SL_DROPBITS(4);
        len = SL_BITS(4) + 8;
        if (state->wbits == 0) state->wbits = len;
        // Windows above 32 KB do not exist in the zlib format; refusing them here keeps a
        // header from asking for a window of up to 8 MB.
        if (len > 15 || len > state->wbits) {
          SL_FAIL("invalid window size");
          break;
        }
        state->dmax = 1u << len;
        strm->adler = state->check = adler32(0L, Z_NULL, 0);
        state->mode = (hold & 0x200) ? DICTID : TYPE;
        SL_INITBITS();
        break;
      case FLAGS:
        SL_NEEDBITS(16);
        state->flags = static_cast<int>(hold);
        if ((state->flags & 0xff) != Z_DEFLATED) {
          SL_FAIL("unknown compression method");
          break;
        }
        if (state->flags & 0xe000) {
          SL_FAIL("unknown header flags set");
          break;
        }
        if (state->flags & 0x0200) state->check = Crc2(state->check, hold);
        SL_INITBITS();
        state->mode = TIME;
        [[fallthrough]];
      case TIME:
        SL_NEEDBITS(32);
        if (state->flags & 0x0200) state->check = Crc4(state->check, hold);
        SL_INITBITS();
        state->mode = OS;
        [[fallthrough]];
      case OS:
        SL_NEEDBITS(16);
        if (state->flags & 0x0200) state->check = Crc2(state->check, hold);
        SL_INITBITS();
        state->mode = EXLEN;
        [[fallthrough]];
      case EXLEN:
        if (state->flags & 0x0400) {
          SL_NEEDBITS(16);
          state->length = static_cast<unsigned>(hold);
          if (state->flags & 0x0200) state->check = Crc2(state->check, hold);
          SL_INITBITS();
        }
        state->mode = EXTRA;
        [[fallthrough]];
      case EXTRA:
        if (state->flags & 0x0400) {
          copy = state->length;
          if (copy > have) copy = have;
          if (copy != 0) {
            if (state->flags & 0x0200) state->check = crc32(state->check, next, copy);
            have -= copy;
            next += copy;
            state->length -= copy;
          }
          if (state->length != 0) goto leave;
        }
        state->length = 0;
        state->mode = NAME;
        [[fallthrough]];
      case NAME:
      case COMMENT: {
        const int flag = state->mode == NAME ? 0x0800 : 0x1000;
        if (state->flags & flag) {
          if (have == 0) goto leave;
          copy = 0;
          do {
            len = next[copy++];
          } while (len != 0 && copy < have);
          if (state->flags & 0x0200) state->check = crc32(state->check, next, copy);
          have -= copy;
          next += copy;
          if (len != 0) goto leave;
        }
        state->mode = state->mode == NAME ? COMMENT : HCRC;
        break;
      }
      case HCRC:
        if (state->flags & 0x0200) {
          SL_NEEDBITS(16);
          if (hold != (state->check & 0xffff)) {
            SL_FAIL("header crc mismatch");
            break;
          }
          SL_INITBITS();
        }
        strm->adler = state->check = crc32(0L, Z_NULL, 0);
        state->mode = TYPE;
        break;
      case DICTID:
        SL_NEEDBITS(32);
        strm->adler = state->check = SLSwapBytes32(u32(hold));
        SL_INITBITS();
        state->mode = DICT;
        [[fallthrough]];
      case DICT:
        if (state->havedict == 0) {
          SL_RESTORE();
          return Z_NEED_DICT;
        }
        strm->adler = state->check = adler32(0L, Z_NULL, 0);
        state->mode = TYPE;
        [[fallthrough]];
      case TYPE:
        if (flush == Z_BLOCK || flush == Z_TREES) goto leave;
        [[fallthrough]];
      case TYPEDO:
        if (state->last) {
          SL_BYTEBITS();
          state->mode = CHECK;
          break;
        }
        SL_NEEDBITS(3);
        state->last = static_cast<int>(SL_BITS(1));
        SL_DROPBITS(1);
        switch (SL_BITS(2)) {
          case 0:
            state->mode = STORED;
            break;
          case 1:
            InstallFixedTables(state);
            state->mode = LEN_;
            if (flush == Z_TREES) {
              SL_DROPBITS(2);
              goto leave;
            }
            break;
          case 2:
            state->mode = TABLE;
            break;
          default:
            SL_FAIL("invalid block type");
            break;
        }
        SL_DROPBITS(2);
        break;
      case STORED:
        SL_BYTEBITS();
        SL_NEEDBITS(32);
        if ((hold & 0xffff) != (((hold >> 16) & 0xffff) ^ 0xffff)) {
          SL_FAIL("invalid stored block lengths");
          break;
        }
        state->length = static_cast<unsigned>(hold) & 0xffff;
        SL_INITBITS();
        state->mode = COPY_;
        if (flush == Z_TREES) goto leave;
        [[fallthrough]];
      case COPY_:
        state->mode = COPY;
        [[fallthrough]];
      case COPY:
        copy = state->length;
        if (copy != 0) {
          if (copy > have) copy = have;
          if (copy > left) copy = left;
          if (copy == 0) goto leave;
          std::memcpy(put, next, copy);
          have -= copy;
          next += copy;
          left -= copy;
          put += copy;
          state->length -= copy;
          break;
        }
        state->mode = TYPE;
        break;
      case TABLE:
        SL_NEEDBITS(14);
        state->nlen = SL_BITS(5) + 257;
        SL_DROPBITS(5);
        state->ndist = SL_BITS(5) + 1;
        SL_DROPBITS(5);
        state->ncode = SL_BITS(4) + 4;
        SL_DROPBITS(4);
        if (state->nlen > 286 || (state->ndist > 30 && !state->deflate64)) {
          SL_FAIL("too many length or distance symbols");
          break;
        }
        state->have = 0;
        state->mode = LENLENS;
        [[fallthrough]];
      case LENLENS: {
        while (state->have < state->ncode) {
          SL_NEEDBITS(3);
          state->lens[kCodeLengthOrder[state->have++]] = static_cast<u16>(SL_BITS(3));
          SL_DROPBITS(3);
        }
        while (state->have < 19) state->lens[kCodeLengthOrder[state->have++]] = 0;
        state->next = state->codes;
        state->lencode = state->next;
        state->lenbits = 7;
        const int built = state->deflate64
                              ? inflate_table9(CODES, state->lens, 19, &state->next, &state->lenbits,
                                               state->work)
                              : inflate_table(CODES, state->lens, 19, &state->next, &state->lenbits,
                                              state->work);
        if (built != 0) {
          SL_FAIL("invalid code lengths set");
          break;
        }
        state->have = 0;
        state->mode = CODELENS;
      }
        [[fallthrough]];
      case CODELENS: {
        while (state->have < state->nlen + state->ndist) {
          for (;;) {
            here = state->lencode[SL_BITS(state->lenbits)];
            if (here.bits <= bits) break;
            SL_PULLBYTE();
          }
          if (here.val < 16) {
            SL_DROPBITS(here.bits);
            state->lens[state->have++] = here.val;
            continue;
          }
          if (here.val == 16) {
            SL_NEEDBITS(here.bits + 2u);
            SL_DROPBITS(here.bits);
            if (state->have == 0) {
              SL_FAIL("invalid bit length repeat");
              break;
            }
            len = state->lens[state->have - 1];
            copy = 3 + SL_BITS(2);
            SL_DROPBITS(2);
          } else if (here.val == 17) {
            SL_NEEDBITS(here.bits + 3u);
            SL_DROPBITS(here.bits);
            len = 0;
            copy = 3 + SL_BITS(3);
            SL_DROPBITS(3);
          } else {
            SL_NEEDBITS(here.bits + 7u);
            SL_DROPBITS(here.bits);
            len = 0;
            copy = 11 + SL_BITS(7);
            SL_DROPBITS(7);
          }
          if (state->have + copy > state->nlen + state->ndist) {
            SL_FAIL("invalid bit length repeat");
            break;
          }
          while (copy-- != 0) state->lens[state->have++] = static_cast<u16>(len);
        }
        if (state->mode == BAD) break;
        if (state->lens[256] == 0) {
          SL_FAIL("invalid code -- missing end-of-block");
          break;
        }
        auto build = state->deflate64 ? inflate_table9 : inflate_table;
        state->next = state->codes;
        state->lencode = state->next;
        state->lenbits = 9;
        const unsigned lengthRoom = kTableArea;
        if (build(LENS, state->lens, state->nlen, &state->next, &state->lenbits, state->work,
                  lengthRoom) != 0) {
          SL_FAIL("invalid literal/lengths set");
          break;
        }
        state->distcode = state->next;
        state->distbits = 6;
        const unsigned distanceRoom =
            kTableArea - static_cast<unsigned>(state->next - state->codes);
        if (build(DISTS, state->lens + state->nlen, state->ndist, &state->next, &state->distbits,
                  state->work, distanceRoom) != 0) {
          SL_FAIL("invalid distances set");
          break;
        }
        state->mode = LEN_;
        if (flush == Z_TREES) goto leave;
      }
        [[fallthrough]];
      case LEN_:
        state->mode = LEN;
        [[fallthrough]];
      case LEN:
        if (have >= kFastMinInput && left >= kFastMinOutput) {
          SL_RESTORE();
          InflateFast(strm, out);
          SL_LOAD();
          if (state->mode == TYPE) state->back = -1;
          break;
        }
        state->back = 0;
        for (;;) {
          here = state->lencode[SL_BITS(state->lenbits)];
          if (here.bits <= bits) break;
          SL_PULLBYTE();
        }
        if (here.op != 0 && (here.op & 0xf0) == 0) {
          last = here;
          for (;;) {
            here = state->lencode[last.val + (SL_BITS(last.bits + last.op) >> last.bits)];
            if (static_cast<unsigned>(last.bits + here.bits) <= bits) break;
            SL_PULLBYTE();
          }
          SL_DROPBITS(last.bits);
          state->back += last.bits;
        }
        SL_DROPBITS(here.bits);
        state->back += here.bits;
        state->length = here.val;
        if (here.op == 0) {
          state->mode = LIT;
          break;
        }
        if (here.op & 32) {
          state->back = -1;
          state->mode = TYPE;
          break;
        }
        if (here.op & 64) {
          SL_FAIL("invalid literal/length code");
          break;
        }
        state->extra = here.op & (state->deflate64 ? 31u : 15u);
        state->mode = LENEXT;
        [[fallthrough]];
      case LENEXT:
        if (state->extra != 0) {
          SL_NEEDBITS(state->extra);
          state->length += SL_BITS(state->extra);
          SL_DROPBITS(state->extra);
          state->back += state->extra;
        }
        state->was = state->length;
        state->mode = DIST;
        [[fallthrough]];
      case DIST:
        for (;;) {
          here = state->distcode[SL_BITS(state->distbits)];
          if (here.bits <= bits) break;
          SL_PULLBYTE();
        }
        if ((here.op & 0xf0) == 0) {
          last = here;
          for (;;) {
            here = state->distcode[last.val + (SL_BITS(last.bits + last.op) >> last.bits)];
            if (static_cast<unsigned>(last.bits + here.bits) <= bits) break;
            SL_PULLBYTE();
          }
          SL_DROPBITS(last.bits);
          state->back += last.bits;
        }
        SL_DROPBITS(here.bits);
        state->back += here.bits;
        if (here.op & 64) {
          SL_FAIL("invalid distance code");
          break;
        }
        state->offset = here.val;
        state->extra = here.op & 15u;
        state->mode = DISTEXT;
        [[fallthrough]];
      case DISTEXT:
        if (state->extra != 0) {
          SL_NEEDBITS(state->extra);
          state->offset += SL_BITS(state->extra);
          SL_DROPBITS(state->extra);
          state->back += state->extra;
        }
        state->mode = MATCH;
        [[fallthrough]];
      case MATCH: {
        if (left == 0) goto leave;
        const u8* from;
        copy = out - left;  // bytes written in this call
        if (state->offset > copy) {
          copy = state->offset - copy;  // bytes to go back into the window
          if (copy > state->whave) {
            SL_FAIL("invalid distance too far back");
            break;
          }
          if (copy > state->wnext) {
            copy -= state->wnext;
            from = state->window + (state->wsize - copy);
          } else {
            from = state->window + (state->wnext - copy);
          }
          if (copy > state->length) copy = state->length;
        } else {
          from = put - state->offset;
          copy = state->length;
        }
        if (copy > left) copy = left;
        left -= copy;
        state->length -= copy;
        do {
          *put++ = *from++;
        } while (--copy != 0);
        if (state->length == 0) state->mode = LEN;
        break;
      }
      case LIT:
        if (left == 0) goto leave;
        *put++ = static_cast<u8>(state->length);
        left--;
        state->mode = LEN;
        break;
      case CHECK:
        if (state->wrap) {
          SL_NEEDBITS(32);
          out -= left;
          strm->total_out += out;
          state->total += out;
          if (out != 0) strm->adler = state->check = UpdateCheck(state, state->check, put - out, out);
          out = left;
          const unsigned long trailer = static_cast<unsigned long>(hold & 0xffffffffu);
          if ((state->flags ? trailer : SLSwapBytes32(u32(trailer))) != state->check) {
            SL_FAIL("incorrect data check");
            break;
          }
          SL_INITBITS();
        }
        state->mode = LENGTH;
        [[fallthrough]];
      case LENGTH:
        if (state->wrap && state->flags) {
          SL_NEEDBITS(32);
          if ((hold & 0xffffffffu) != (state->total & 0xffffffffu)) {
            SL_FAIL("incorrect length check");
            break;
          }
          SL_INITBITS();
        }
        state->mode = DONE;
        [[fallthrough]];
      case DONE:
        ret = Z_STREAM_END;
        goto leave;
      case BAD:
        ret = Z_DATA_ERROR;
        goto leave;
      case MEM:
        return Z_MEM_ERROR;
      case SYNC:
      default:
        return Z_STREAM_ERROR;
    }
  }

leave:
  SL_RESTORE();
  if (state->wsize != 0 || (state->mode < CHECK && out != strm->avail_out)) {
    if (!UpdateWindow(strm, strm->next_out, out - strm->avail_out)) {
      state->mode = MEM;
      return Z_MEM_ERROR;
    }
  }
  const unsigned consumed = in - strm->avail_in;
  const unsigned produced = out - strm->avail_out;
  strm->total_in += consumed;
  strm->total_out += produced;
  state->total += produced;
  if (state->wrap && produced != 0) {
    strm->adler = state->check =
        UpdateCheck(state, state->check, strm->next_out - produced, produced);
  }
  strm->data_type = static_cast<int>(state->bits) + (state->last ? 64 : 0) +
                    (state->mode == TYPE ? 128 : 0) +
                    (state->mode == LEN_ || state->mode == COPY_ ? 256 : 0);
  if (((consumed == 0 && produced == 0) || flush == Z_FINISH) && ret == Z_OK) ret = Z_BUF_ERROR;
  return ret;

#undef SL_LOAD
#undef SL_RESTORE
#undef SL_PULLBYTE
#undef SL_NEEDBITS
#undef SL_BITS
#undef SL_DROPBITS
#undef SL_INITBITS
#undef SL_BYTEBITS
#undef SL_FAIL
}

}  // namespace SLInflate
