// Helpers shared by the pack storage's attach and its entry and listing operations.
#pragma once

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The index of the first "/" or "\\" in text[from, length), or length when there is none.
// Eight units are compared at a time (SSE2 is part of every x86-64 processor); a last
// step shorter than eight units looks at the eight that end the text, and disregards
// those before `from`, so no load leaves text[0, length).
inline u32 FindSeparator(const SLWChar* text, u32 from, u32 length) {
  u32 i = from;
#if defined(__SSE2__)
  if (length >= 8) {
    const __m128i slashes = _mm_set1_epi16(i16(u'/')), backslashes = _mm_set1_epi16(i16(u'\\'));
    auto separators = [&](u32 at) {  // two mask bits per separator unit among text[at, at + 8)
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
      return u32(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(units, slashes), _mm_cmpeq_epi16(units, backslashes))));
    };
    for (; length - i >= 8; i += 8)
      if (const u32 mask = separators(i)) return i + u32(__builtin_ctz(mask)) / 2;
    if (i == length) return length;
    const u32 last = length - 8;
    const u32 mask = separators(last) & (0xFFFFu << (2 * (i - last)));
    return mask ? last + u32(__builtin_ctz(mask)) / 2 : length;
  }
#endif
  for (; i < length; ++i)
    if (SLIsPathSeparator(text[i])) return i;
  return length;
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
