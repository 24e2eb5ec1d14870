// Small text helpers of the path, archive and listing code, for 8-bit and UTF-16 names.
// None of them touches the error code, and the length reads one unit at a time, so a
// name may end at the very end of its block.
#pragma once

#include <cstring>

#include "foundation/SLMemory.h"
#include "foundation/SLTypes.h"

// Units before the terminator; a null text has none.
template <class Char>
inline u32 SLTextLength(const Char* text) {
  if (text == nullptr) return 0;
  const Char* p = text;
  while (*p != 0) ++p;
  return u32(p - text);
}

// Both "\" and "/" separate the parts of a path.
template <class Char>
constexpr bool SLIsPathSeparator(Char c) {
  return c == Char('\\') || c == Char('/');
}

// "." or ".." (the directory entries a listing leaves out or answers itself).
template <class Char>
inline bool SLIsDotName(const Char* name) {
  return name[0] == Char('.') && (name[1] == 0 || (name[1] == Char('.') && name[2] == 0));
}
template <class Char>
inline bool SLIsDotName(const Char* name, u32 length) {
  return (length == 1 && name[0] == Char('.')) || (length == 2 && name[0] == Char('.') && name[1] == Char('.'));
}

// The same, also true for the empty name (archive and pack listings skip entries without
// a name of their own, such as the root).
template <class Char>
inline bool SLIsDotOrEmptyName(const Char* name) {
  return name[0] == 0 || SLIsDotName(name);
}
template <class Char>
inline bool SLIsDotOrEmptyName(const Char* name, u32 length) {
  return length == 0 || SLIsDotName(name, length);
}

// A terminated copy of text[0, length) in an SLAlloc block, null when it does not fit.
// The block is rounded up to whole 8-byte words and zero-filled past the terminator, so
// word-at-a-time scans of the copy stay inside it.
template <class Char>
inline Char* SLDuplicateText(const Char* text, u32 length) {
  u64 bytes;
  if (!SLCheckedMul(u64(length) + 1, sizeof(Char), &bytes) || !SLCheckedRoundUp(bytes, 8, &bytes) ||
      !SLFitsU32(bytes)) {
    return nullptr;
  }
  auto* copy = static_cast<Char*>(SLAllocZero(u32(bytes)));
  if (copy == nullptr) return nullptr;
  if (length != 0) std::memcpy(copy, text, length * sizeof(Char));
  return copy;
}
