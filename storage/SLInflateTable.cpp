// Canonical Huffman decoding tables for the inflater: a root table indexed by the next
// `root` bits of input (least significant bit first, so codes are stored bit-reversed),
// with second-level tables for the longer codes. Short codes fill every root slot whose
// low bits equal the code; a second-level table is sized to hold exactly the codes that
// share its prefix, which keeps the total inside the bound the state reserves.
#include <cstring>

#include "storage/SLInflateTables.h"

namespace SLInflate {
namespace {

constexpr unsigned kMaxBits = 15;

struct SLAlphabet {
  const u16* lengthBase;
  const u8* lengthExtra;
  u8 baseOp;  // 16 for deflate tables, 128 for Deflate64 tables
  bool allDistances;
};

constexpr SLAlphabet kDeflate{kLengthBase, kLengthExtra, 16, false};
constexpr SLAlphabet kDeflate64{kLengthBase64, kLengthExtra64, 128, true};

SLInflateCode EntryFor(SLCodeType type, unsigned symbol, const SLAlphabet& alphabet) {
  SLInflateCode entry{0, 0, 0};
  switch (type) {
    case CODES:
      entry.val = static_cast<u16>(symbol);
      break;
    case LENS:
      if (symbol < 256) {
        entry.val = static_cast<u16>(symbol);
      } else if (symbol == 256) {
        entry.op = 96;
      } else if (symbol < 286) {
        entry.op = static_cast<u8>(alphabet.baseOp + alphabet.lengthExtra[symbol - 257]);
        entry.val = alphabet.lengthBase[symbol - 257];
      } else {
        entry.op = 64;
      }
      break;
    case DISTS:
      if (symbol < 30 || (alphabet.allDistances && symbol < 32)) {
        entry.op = static_cast<u8>(alphabet.baseOp + kDistExtra[symbol]);
        entry.val = kDistBase[symbol];
      } else {
        entry.op = 64;
      }
      break;
  }
  return entry;
}

unsigned ReverseBits(unsigned code, unsigned length) {
  unsigned reversed = 0;
  for (unsigned i = 0; i < length; ++i) {
    reversed = (reversed << 1) | (code & 1);
    code >>= 1;
  }
  return reversed;
}

int BuildTable(SLCodeType type, const u16* lens, unsigned codes, SLInflateCode** table,
               unsigned* bits, u16* work, unsigned room, const SLAlphabet& alphabet) {
  unsigned count[kMaxBits + 1] = {};
  for (unsigned sym = 0; sym < codes; ++sym) {
    if (lens[sym] > kMaxBits) return -1;
    count[lens[sym]]++;
  }

  unsigned root = *bits;
  unsigned max = kMaxBits;
  while (max >= 1 && count[max] == 0) --max;
  if (root > max) root = max;
  if (max == 0) {
    // No codes at all: a one-bit table of invalid entries, so that decoding reports the
    // error where the code is used.
    if (room < 2) return 1;
    const SLInflateCode invalid{64, 1, 0};
    (*table)[0] = invalid;
    (*table)[1] = invalid;
    *table += 2;
    *bits = 1;
    return 0;
  }
  unsigned min = 1;
  while (min < max && count[min] == 0) ++min;
  if (root < min) root = min;

  // An over-subscribed set is never valid; an incomplete one only as a single one-bit
  // literal/length or distance code.
  int left = 1;
  for (unsigned len = 1; len <= kMaxBits; ++len) {
    left <<= 1;
    left -= static_cast<int>(count[len]);
    if (left < 0) return -1;
  }
  if (left > 0 && (type == CODES || max != 1)) return -1;

  // Symbols sorted by code length, then by value: the canonical code order.
  unsigned offsets[kMaxBits + 2];
  offsets[1] = 0;
  for (unsigned len = 1; len <= kMaxBits; ++len) offsets[len + 1] = offsets[len] + count[len];
  for (unsigned sym = 0; sym < codes; ++sym) {
    if (lens[sym] != 0) work[offsets[lens[sym]]++] = static_cast<u16>(sym);
  }
  unsigned nextCode[kMaxBits + 1];
  unsigned code = 0;
  nextCode[0] = 0;
  for (unsigned len = 1; len <= kMaxBits; ++len) {
    code = (code + (len > 1 ? count[len - 1] : 0)) << 1;
    nextCode[len] = code;
  }

  const unsigned rootSize = 1u << root;
  if (rootSize > room) return 1;
  SLInflateCode* rootTable = *table;
  // Slots no code reaches (only in the one-bit incomplete case) decode as invalid.
  for (unsigned i = 0; i < rootSize; ++i) rootTable[i] = SLInflateCode{64, static_cast<u8>(root), 0};
  unsigned used = rootSize;

  unsigned remaining[kMaxBits + 1];
  std::memcpy(remaining, count, sizeof(remaining));
  const unsigned symbols = offsets[kMaxBits + 1];
  unsigned currentPrefix = ~0u;
  unsigned subBits = 0;
  SLInflateCode* subTable = nullptr;
  for (unsigned i = 0; i < symbols; ++i) {
    const unsigned sym = work[i];
    const unsigned len = lens[sym];
    const unsigned reversed = ReverseBits(nextCode[len]++, len);
    SLInflateCode entry = EntryFor(type, sym, alphabet);
    if (len <= root) {
      entry.bits = static_cast<u8>(len);
      for (unsigned slot = reversed; slot < rootSize; slot += 1u << len) rootTable[slot] = entry;
    } else {
      const unsigned prefix = reversed & (rootSize - 1);
      if (prefix != currentPrefix) {
        // Size the new second-level table by the codes still to come: grow it while the
        // codes of the next length cannot fill it.
        unsigned curr = len - root;
        int slots = 1 << curr;
        while (curr + root < max) {
          slots -= static_cast<int>(remaining[curr + root]);
          if (slots <= 0) break;
          ++curr;
          slots <<= 1;
        }
        if (used + (1u << curr) > room) return 1;
        subTable = rootTable + used;
        rootTable[prefix] = SLInflateCode{static_cast<u8>(curr), static_cast<u8>(root),
                                          static_cast<u16>(used)};
        used += 1u << curr;
        currentPrefix = prefix;
        subBits = curr;
      }
      entry.bits = static_cast<u8>(len - root);
      for (unsigned slot = reversed >> root; slot < (1u << subBits); slot += 1u << (len - root)) {
        subTable[slot] = entry;
      }
    }
    remaining[len]--;
  }
  *table += used;
  *bits = root;
  return 0;
}

}  // namespace

int inflate_table(SLCodeType type, const u16* lens, unsigned codes, SLInflateCode** table,
                  unsigned* bits, u16* work, unsigned room) {
  return BuildTable(type, lens, codes, table, bits, work, room, kDeflate);
}

int inflate_table9(SLCodeType type, const u16* lens, unsigned codes, SLInflateCode** table,
                   unsigned* bits, u16* work, unsigned room) {
  return BuildTable(type, lens, codes, table, bits, work, room, kDeflate64);
}

}  // namespace SLInflate
