// The inflater's fast path: decodes a block's symbols straight from the caller's buffers with
// a 64-bit bit accumulator, refilled eight bytes at a time. It runs only while at least 16
// input bytes and 260 output bytes are left (up to two literals, then a longest match), so
// no symbol can run out of either; it leaves
// at a symbol boundary and hands whole unused bytes back, so the stream stands exactly where
// the byte-at-a-time decoder would stand after the same symbols.
#include <cstring>

#include "foundation/SLByteOrder.h"
#include "storage/SLInflateInternal.h"

namespace SLInflate {
namespace {

// Copies a match whose source lies `distance` bytes back in the output; source and
// destination overlap when the distance is shorter than the length, which repeats the
// last `distance` bytes.
inline u8* CopyFromOutput(u8* out, unsigned distance, unsigned length) {
  const u8* from = out - distance;
  if (distance >= 8 && length >= 8) {
    u8* const end = out + length;
    do {
      std::memcpy(out, from, 8);
      out += 8;
      from += 8;
    } while (end - out >= 8);
    // The last, shorter piece: an 8-byte copy ending at `end`, rewriting a few bytes with
    // the values they already hold.
    if (out != end) std::memcpy(end - 8, end - 8 - distance, 8);
    return end;
  }
  if (distance == 1) {
    std::memset(out, *from, length);
    return out + length;
  }
  while (length-- != 0) *out++ = *from++;
  return out;
}

template <bool kDeflate64>
void DecodeFast(z_stream* strm, unsigned start) {
  // Length bases carry their extra-bit count in the low 4 bits (op 16 + e) or, with the
  // Deflate64 tables, in the low 5 bits (op 128 + e).
  constexpr unsigned kBaseFlag = kDeflate64 ? 128 : 16;
  constexpr unsigned kLengthExtraMask = kDeflate64 ? 31 : 15;
  // Bits one length and distance can still need after their length code.
  constexpr unsigned kMatchBits = kDeflate64 ? 16 + 15 + 14 : 5 + 15 + 13;

  SLInflateState* state = strm->state;
  const u8* in = strm->next_in;
  const u8* const inStart = in;
  const u8* const inEnd = in + strm->avail_in;
  const u8* const inLimit = inEnd - (kFastMinInput - 1);
  u8* out = strm->next_out;
  u8* const outStart = out - (start - strm->avail_out);  // output of this inflate call
  u8* const outEnd = out + strm->avail_out;
  u8* const outLimit = outEnd - (kFastMinOutput - 1);
  const unsigned wsize = state->wsize;
  const unsigned whave = state->whave;
  const unsigned wnext = state->wnext;
  const u8* const window = state->window;
  const SLInflateCode* const lcode = state->lencode;
  const SLInflateCode* const dcode = state->distcode;
  const u64 lmask = (1ull << state->lenbits) - 1;
  const u64 dmask = (1ull << state->distbits) - 1;
  u64 hold = state->hold;
  unsigned bits = state->bits;

  // Tops the accumulator up to 56..63 bits; the bytes above the count are the next input
  // bytes, so a later refill ORs in the same values.
  auto refill = [&] {
    hold |= SLLoadLE64(in) << bits;
    in += (63 - bits) >> 3;
    bits |= 56;
  };
  auto decode = [&](const SLInflateCode* table, u64 mask) {
    SLInflateCode entry = table[hold & mask];
    if (entry.op != 0 && (entry.op & 0xf0) == 0) {
      hold >>= entry.bits;
      bits -= entry.bits;
      entry = table[entry.val + (hold & ((1u << entry.op) - 1))];
    }
    hold >>= entry.bits;
    bits -= entry.bits;
    return entry;
  };

  while (in < inLimit && out < outLimit) {
    refill();
    // Up to three literals fit the bits of one refill.
    SLInflateCode here = decode(lcode, lmask);
    if (here.op == 0) {
      *out++ = static_cast<u8>(here.val);
      here = decode(lcode, lmask);
      if (here.op == 0) {
        *out++ = static_cast<u8>(here.val);
        here = decode(lcode, lmask);
        if (here.op == 0) {
          *out++ = static_cast<u8>(here.val);
          continue;
        }
      }
    }
    unsigned op = here.op;
    if (!(op & kBaseFlag)) {
      if (op & 32) {
        state->mode = TYPE;
      } else {
        strm->msg = "invalid literal/length code";
        state->mode = BAD;
      }
      break;
    }
    unsigned length = here.val;
    if (bits < kMatchBits) refill();
    unsigned extra = op & kLengthExtraMask;
    if (extra != 0) {
      length += static_cast<unsigned>(hold & ((1u << extra) - 1));
      hold >>= extra;
      bits -= extra;
    }
    here = decode(dcode, dmask);
    op = here.op;
    if (!(op & kBaseFlag)) {
      strm->msg = "invalid distance code";
      state->mode = BAD;
      break;
    }
    unsigned distance = here.val;
    extra = op & 15;
    if (extra != 0) {
      distance += static_cast<unsigned>(hold & ((1u << extra) - 1));
      hold >>= extra;
      bits -= extra;
    }
    if (kDeflate64 && length > static_cast<unsigned>(outEnd - out)) {
      // A Deflate64 match longer than the room left: the general decoder copies it.
      state->length = length;
      state->offset = distance;
      state->mode = MATCH;
      break;
    }
    const unsigned produced = static_cast<unsigned>(out - outStart);
    if (distance > produced) {
      const unsigned back = distance - produced;  // bytes to go back into the window
      if (back > whave) {
        strm->msg = "invalid distance too far back";
        state->mode = BAD;
        break;
      }
      // The window's oldest bytes sit above wnext, its newest below it.
      const u8* from;
      unsigned run;
      if (back > wnext) {
        run = back - wnext;
        from = window + wsize - run;
      } else {
        run = back;
        from = window + wnext - back;
      }
      unsigned part = run < length ? run : length;
      std::memcpy(out, from, part);
      out += part;
      length -= part;
      if (length != 0 && back > wnext) {
        part = wnext < length ? wnext : length;
        std::memcpy(out, window, part);
        out += part;
        length -= part;
      }
      if (length != 0) out = CopyFromOutput(out, distance, length);
    } else {
      out = CopyFromOutput(out, distance, length);
    }
  }

  // Hand back the whole bytes not used; fewer than 8 bits stay held.
  unsigned unused = bits >> 3;
  const unsigned taken = static_cast<unsigned>(in - inStart);
  if (unused > taken) unused = taken;
  in -= unused;
  bits -= unused << 3;
  hold &= (1ull << bits) - 1;

  strm->next_in = in;
  strm->avail_in = static_cast<unsigned>(inEnd - in);
  strm->next_out = out;
  strm->avail_out = static_cast<unsigned>(outEnd - out);
  state->hold = hold;
  state->bits = bits;
}

}  // namespace

void InflateFast(z_stream* strm, unsigned start) {
  if (strm->state->deflate64) {
    DecodeFast<true>(strm, start);
  } else {
    DecodeFast<false>(strm, start);
  }
}

}  // namespace SLInflate
