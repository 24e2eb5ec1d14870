// C-string functions: one template per operation, instantiated for char and SLWChar.
#include "foundation/SLStr.h"

#include <cstring>

#include "foundation/SLCaseMap.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

namespace {

// Unsigned value of a character for comparisons.
inline u32 Unit(char c) { return u8(c); }
inline u32 Unit(SLWChar c) { return u16(c); }

inline u32 Upper(char c) { return SLToUpperA(u8(c)); }
inline u32 Upper(SLWChar c) { return SLToUpperW(c); }

template <class C>
u32 Length(const C* text) {
  const C* p = text;
#if !SL_SANITIZED
  // Up to a 4-byte boundary one character at a time, then whole aligned words: a word
  // never straddles a page, so reading past the terminator stays inside readable memory
  // (sanitizer builds, which rightly report such reads, scan unit by unit).
  while (reinterpret_cast<std::uintptr_t>(p) & 3) {
    if (*p == 0) return u32(p - text);
    ++p;
  }
  constexpr u32 ones = sizeof(C) == 1 ? 0x01010101u : 0x00010001u;
  constexpr u32 highs = sizeof(C) == 1 ? 0x80808080u : 0x80008000u;
  for (;;) {
    u32 word;
    std::memcpy(&word, p, 4);
    if ((word - ones) & ~word & highs) break;
    p += 4 / sizeof(C);
  }
#endif
  while (*p) ++p;
  return u32(p - text);
}

template <class C>
C* Copy(C* target, const C* source) {
  std::memmove(target, source, (std::size_t(Length(source)) + 1) * sizeof(C));
  return target;
}

template <class C>
C* CopyN(C* target, const C* source, u32 n) {
  u32 i = 0;
  for (; i < n && source[i]; ++i) target[i] = source[i];
  for (; i < n; ++i) target[i] = 0;
  return target;
}

template <class C>
C* Cat(C* target, const C* source) {
  Copy(target + Length(target), source);
  return target;
}

template <class C>
C* CatN(C* target, const C* source, u32 n) {
  C* p = target + Length(target);
  u32 i = 0;
  for (; i < n && source[i]; ++i) p[i] = source[i];
  p[i] = 0;
  return target;
}

inline int Sign(u32 a, u32 b) { return a < b ? -1 : (a > b ? 1 : 0); }

// Bounded compare; `n` of SL_TEXT_TO_END is unbounded in practice (a difference or both
// terminators end the scan first).
template <class C, bool IgnoreCase>
int Compare(const C* a, const C* b, u32 n) {
  for (u32 i = 0; i < n; ++i) {
    u32 x = Unit(a[i]);
    u32 y = Unit(b[i]);
    if (x != y) {
      if (!IgnoreCase) return Sign(x, y);
      // A terminator has no case; it stays the smallest character.
      u32 ux = x ? Upper(a[i]) : 0;
      u32 uy = y ? Upper(b[i]) : 0;
      if (ux != uy) return Sign(ux, uy);
    }
    if (x == 0) return 0;
  }
  return 0;
}

template <class C>
struct Blanks;
template <>
struct Blanks<char> {
  static constexpr char value[] = " \t";
};
template <>
struct Blanks<SLWChar> {
  static constexpr SLWChar value[] = u" \t";
};

template <class C>
bool InSet(C c, const C* set) {
  for (; *set; ++set)
    if (*set == c) return true;
  return false;
}

template <class C>
C* TrimLeft(C* target, const C* source, const C* set) {
  if (!set) set = Blanks<C>::value;
  const C* start = source;
  while (*start && InSet(*start, set)) ++start;
  if (start == source && target == source) return target;
  std::memmove(target, start, (std::size_t(Length(start)) + 1) * sizeof(C));
  return target;
}

template <class C>
C* TrimRight(C* target, const C* source, const C* set) {
  if (!set) set = Blanks<C>::value;
  u32 keep = Length(source);
  while (keep > 0 && InSet(source[keep - 1], set)) --keep;
  std::memmove(target, source, std::size_t(keep) * sizeof(C));
  target[keep] = 0;
  return target;
}

template <class C>
C* Trim(C* target, const C* source, const C* set) {
  TrimRight(target, source, set);
  return TrimLeft(target, target, set);
}

template <class C>
C* CopyCut(C* target, const C* source, u32 index, u32 count) {
  u32 length = Length(source);
  if (length <= index) return target == source ? target : Copy(target, source);
  // The cut ends at the text's end at the latest, however large index + count is.
  u32 cutEnd = count >= length - index ? length : index + count;
  if (target != source) std::memmove(target, source, std::size_t(index) * sizeof(C));
  std::memmove(target + index, source + cutEnd, (std::size_t(length - cutEnd) + 1) * sizeof(C));
  return target;
}

template <class C>
C* Alloc(u32 n) {
  u64 bytes;
  if (!SLCheckedMul(u64(n) + 1, sizeof(C), &bytes) || !SLFitsU32(bytes))
    return SLFail(SL_E_OUT_OF_MEMORY, static_cast<C*>(nullptr));
  C* text = static_cast<C*>(SLAlloc(u32(bytes)));
  if (text) text[0] = 0;
  return text;
}

template <class C>
C* Dup(const C* source, bool emptyForNull) {
  if (!source) {
    if (!emptyForNull) return SLSucceed(static_cast<C*>(nullptr));
    C* text = Alloc<C>(1);
    if (text) text[1] = 0;
    return text;
  }
  u32 length = Length(source);
  C* text = Alloc<C>(length);
  if (text) std::memcpy(text, source, (std::size_t(length) + 1) * sizeof(C));
  return text;
}

// 4294967295 / base and 4294967295 % base for the bases 2..36: a value can take one more
// digit d when it is below the quotient, or equal to it with d not above the remainder.
struct DigitLimits {
  u32 quotient[37];
  u32 remainder[37];
};
constexpr DigitLimits MakeDigitLimits() {
  DigitLimits limits{};
  for (u32 base = 2; base <= 36; ++base) {
    limits.quotient[base] = 0xFFFFFFFFu / base;
    limits.remainder[base] = 0xFFFFFFFFu % base;
  }
  return limits;
}
constexpr DigitLimits kDigitLimits = MakeDigitLimits();

inline u32 DigitValue(u32 c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  return 99;
}

// The integer conversions. Signed: magnitude up to 2^31 - 1 (positive) or 2^31 (negative).
template <class C, bool Signed>
u32 ToInteger(const C* text, u32 length, u32 base, const C** end) {
  using Result = u32;
  if (end) *end = text;
  if (!text && length != 0) return SLFail(SL_E_NULL_DATA, Result(0));
  if (base < 2 || base > 36) return SLFail(SL_E_INVALID_ARG, Result(0));
  if (!text) return SLSucceed(Result(0));
  const C* p = text;
  u32 left = length;
  auto skipBlanks = [&] {
    while (left && (*p == ' ' || *p == '\t')) ++p, --left;
  };
  skipBlanks();
  bool negative = false;
  if (left && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p, --left;
  }
  skipBlanks();
  if (!Signed && negative) return SLFail(SL_E_UNDERFLOW, Result(0));
  if (base == 16 && left >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2, left -= 2;
  u32 value = 0;
  bool overflow = false;
  while (left) {
    u32 digit = DigitValue(Unit(*p));
    if (digit >= base) break;
    if (value > kDigitLimits.quotient[base] ||
        (value == kDigitLimits.quotient[base] && digit > kDigitLimits.remainder[base])) {
      overflow = true;
      break;
    }
    value = value * base + digit;
    ++p, --left;
  }
  if (Signed && !overflow) overflow = value > (negative ? 0x80000000u : 0x7FFFFFFFu);
  if (end) *end = p;
  if (overflow) {
    SLSetLastError(SL_E_OVERFLOW);
    if (!Signed) return 0xFFFFFFFFu;
    return negative ? 0x80000000u : 0x7FFFFFFFu;
  }
  bool textLeft = left && *p != 0 && *p != ' ' && *p != '\t';
  SLSetLastError(textLeft ? u32(SL_E_TEXT_LEFT) : u32(SL_OK));
  return Signed && negative ? 0u - value : value;
}

}  // namespace

u32 SLStrLenA(const char* text) { return Length(text); }
u32 SLStrLenW(const SLWChar* text) { return Length(text); }
char* SLStrCopyA(char* target, const char* source) { return Copy(target, source); }
SLWChar* SLStrCopyW(SLWChar* target, const SLWChar* source) { return Copy(target, source); }
char* SLStrCopyNA(char* target, const char* source, u32 n) { return CopyN(target, source, n); }
SLWChar* SLStrCopyNW(SLWChar* target, const SLWChar* source, u32 n) { return CopyN(target, source, n); }
char* SLStrCatA(char* target, const char* source) { return Cat(target, source); }
SLWChar* SLStrCatW(SLWChar* target, const SLWChar* source) { return Cat(target, source); }
char* SLStrCatNA(char* target, const char* source, u32 n) { return CatN(target, source, n); }
SLWChar* SLStrCatNW(SLWChar* target, const SLWChar* source, u32 n) { return CatN(target, source, n); }

int SLStrCmpA(const char* a, const char* b) { return Compare<char, false>(a, b, SL_TEXT_TO_END); }
int SLStrCmpW(const SLWChar* a, const SLWChar* b) { return Compare<SLWChar, false>(a, b, SL_TEXT_TO_END); }
int SLStrICmpA(const char* a, const char* b) { return Compare<char, true>(a, b, SL_TEXT_TO_END); }
int SLStrICmpW(const SLWChar* a, const SLWChar* b) { return Compare<SLWChar, true>(a, b, SL_TEXT_TO_END); }
int SLStrNCmpA(const char* a, const char* b, u32 n) { return Compare<char, false>(a, b, n); }
int SLStrNCmpW(const SLWChar* a, const SLWChar* b, u32 n) { return Compare<SLWChar, false>(a, b, n); }
int SLStrNICmpA(const char* a, const char* b, u32 n) { return Compare<char, true>(a, b, n); }
int SLStrNICmpW(const SLWChar* a, const SLWChar* b, u32 n) { return Compare<SLWChar, true>(a, b, n); }

char* SLStrTrimLeftA(char* target, const char* source, const char* set) { return TrimLeft(target, source, set); }
SLWChar* SLStrTrimLeftW(SLWChar* target, const SLWChar* source, const SLWChar* set) {
  return TrimLeft(target, source, set);
}
char* SLStrTrimRightA(char* target, const char* source, const char* set) { return TrimRight(target, source, set); }
SLWChar* SLStrTrimRightW(SLWChar* target, const SLWChar* source, const SLWChar* set) {
  return TrimRight(target, source, set);
}
char* SLStrTrimA(char* target, const char* source, const char* set) { return Trim(target, source, set); }
SLWChar* SLStrTrimW(SLWChar* target, const SLWChar* source, const SLWChar* set) {
  return Trim(target, source, set);
}
char* SLStrCopyCutA(char* target, const char* source, u32 index, u32 count) {
  return CopyCut(target, source, index, count);
}
SLWChar* SLStrCopyCutW(SLWChar* target, const SLWChar* source, u32 index, u32 count) {
  return CopyCut(target, source, index, count);
}

char* SLStrAllocA(u32 n) { return Alloc<char>(n); }
SLWChar* SLStrAllocW(u32 n) { return Alloc<SLWChar>(n); }
char* SLStrDupA(const char* source, bool emptyForNull) { return Dup(source, emptyForNull); }
SLWChar* SLStrDupW(const SLWChar* source, bool emptyForNull) { return Dup(source, emptyForNull); }

i32 SLStrToIntA(const char* text, u32 length, u32 base, const char** end) {
  return i32(ToInteger<char, true>(text, length, base, end));
}
i32 SLStrToIntW(const SLWChar* text, u32 length, u32 base, const SLWChar** end) {
  return i32(ToInteger<SLWChar, true>(text, length, base, end));
}
u32 SLStrToUIntA(const char* text, u32 length, u32 base, const char** end) {
  return ToInteger<char, false>(text, length, base, end);
}
u32 SLStrToUIntW(const SLWChar* text, u32 length, u32 base, const SLWChar** end) {
  return ToInteger<SLWChar, false>(text, length, base, end);
}
