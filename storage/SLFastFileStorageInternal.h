// Helpers shared by the pack storage's attach and its entry and listing operations.
#pragma once

#include <cstddef>
#include <cstring>

#include "foundation/SLArray.h"
#include "foundation/SLCaseMap.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "foundation/SLWideText.h"
#include "storage/SLArchivePath.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLPath.h"

namespace SLInternals::SLFastPack {

inline constexpr u8 kMagic[CSLFastFileStorage::kMagicLength] = {'F', 'a', 's', 't', ' ', 'D', 'a', 't',
                                                                'a', ' ', 'F', 'i', 'l', 'e', '.', 0x1A};
inline constexpr u32 kCrcBlock = 8192;
inline constexpr u32 kReadBlock = 65536;
inline constexpr u32 kDirectoryBuffer = 65536;
inline constexpr u32 kTreeBlock = 65536;
// While attach entries are fast, the clock is read for every this many entry reports.
inline constexpr u32 kProgressClockEvery = 64;
inline constexpr SLWChar kSlash = u'/';

inline SLFastPackNode* NodeOf(SLFastPackLink* link) {
  return SLListElement<SLFastPackNode>(link, offsetof(SLFastPackNode, link));
}

// The index of the first "/" or "\" in text[from, length), or length when there is none.
// Four units are tested at a time: a 16-bit lane of w ^ pattern is zero where the unit
// equals the pattern's, and (v - 1) & ~v & 0x8000 per lane finds whether any lane is zero.
inline u32 FindSeparator(const SLWChar* text, u32 from, u32 length) {
  constexpr u64 kOnes = 0x0001000100010001ull, kHighs = 0x8000800080008000ull;
  constexpr u64 kSlashes = kOnes * u'/', kBackslashes = kOnes * u'\\';
  u32 i = from;
  for (; length - i >= 4; i += 4) {
    u64 word;
    std::memcpy(&word, text + i, 8);
    const u64 a = word ^ kSlashes, b = word ^ kBackslashes;
    if (((a - kOnes) & ~a & kHighs) | ((b - kOnes) & ~b & kHighs)) break;
  }
  for (; i < length; ++i)
    if (SLIsPathSeparator(text[i])) return i;
  return length;
}

// The same `n` units in both (names of directories are short): words that overlap at the
// end instead of a call to memcmp.
inline bool SameUnits(const SLWChar* a, const SLWChar* b, u32 n) {
  const auto* x = reinterpret_cast<const u8*>(a);
  const auto* y = reinterpret_cast<const u8*>(b);
  const size_t bytes = size_t(n) * sizeof(SLWChar);
  auto word = [](const u8* p) {
    u64 w;
    std::memcpy(&w, p, 8);
    return w;
  };
  if (bytes >= 8) {
    for (size_t i = 0; i + 8 < bytes; i += 8)
      if (word(x + i) != word(y + i)) return false;
    return word(x + bytes - 8) == word(y + bytes - 8);
  }
  // Up to three units: one by one (a copy of a variable length into a word would be a
  // library call and a stalled load).
  for (u32 i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// Equal without regard to case. Names that are equal as stored (the usual case in a pack
// written by one tool) need no case mapping; otherwise the rest after the common prefix
// decides, which gives the same answer as comparing the whole names.
inline bool EqualNoCase(const SLWChar* a, const SLWChar* b) {
  while (*a && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b || SLStrICmpW(a, b) == 0;
}

// The same for names of known length (no zero units inside); case mapping is unit by unit,
// so names of different lengths are never equal.
inline bool EqualNoCase(const SLWChar* a, u32 aLength, const SLWChar* b, u32 bLength) {
  if (aLength != bLength) return false;
  for (u32 i = 0; i < aLength; ++i)
    if (a[i] != b[i] && SLToUpperW(a[i]) != SLToUpperW(b[i])) return false;
  return true;
}

// Room for `length` units and a terminator.
inline SLWChar* AllocWide(u64 length) {
  u64 bytes;
  if (!SLCheckedMul(length + 1, sizeof(SLWChar), &bytes) || !SLFitsU32(bytes)) return nullptr;
  return static_cast<SLWChar*>(SLAlloc(u32(bytes)));
}

}  // namespace SLInternals::SLFastPack
