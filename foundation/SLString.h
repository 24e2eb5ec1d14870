// The framework's growable strings: CSLStringAnsi (8-bit, ANSI code page) and
// CSLStringWide (UTF-16 units), the text-encoding code with its line-end style bits,
// whole-text detection and conversion between the four encodings, the value tokenizer
// and the bounded character searches.
#pragma once

#include <cstdarg>

#include <cstring>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLObject.h"
#include "foundation/SLTypes.h"

class CSLBaseStorage;
class CSLStringAnsi;
class CSLStringWide;

// Low four bits: the encoding (0 = detect where a source encoding is asked for);
// bits 4 and 5: the line-end style.
using SLTextEncoding = u32;
enum : u32 {
  SL_TEXT_DETECT = 0,
  SL_TEXT_ANSI = 1,
  SL_TEXT_UTF8 = 2,
  SL_TEXT_UTF16LE = 3,
  SL_TEXT_UTF16BE = 4,
  SL_TEXT_ENCODING_MASK = 0x0F,
  SL_TEXT_CRLF = 0x00,
  SL_TEXT_LF = 0x10,
  SL_TEXT_CR = 0x20,
  SL_TEXT_LFCR = 0x30,
  SL_TEXT_STYLE_MASK = 0x30,
};

// Error codes of the text functions beyond the general ones.
enum : u32 {
  SL_E_TEXT_ZERO_CHAR = 0x80001009,
};

// Largest text file the wide string loads (bigger claims are refused before allocating).
inline constexpr u64 SL_TEXT_FILE_MAX_SIZE = 64ull << 20;

namespace SLInternals {

// The length of a text given with a short count (below 32): the count, or the index of
// the first NUL inside it. Words that overlap at the end cover the count without reading
// past it; in a word, (w - 0x01..) & ~w & 0x80.. marks the lowest zero byte exactly.
inline u32 SLShortTextLength(const char* text, u32 n) {
  auto first = [](u64 zeros) { return u32(__builtin_ctzll(zeros) / 8); };
  if (n >= 8) {
    for (u32 at = 0;; at += 8) {
      if (at > n - 8) at = n - 8;
      u64 w;
      std::memcpy(&w, text + at, 8);
      if (u64 zeros = (w - 0x0101010101010101ull) & ~w & 0x8080808080808080ull) return at + first(zeros);
      if (at == n - 8) return n;
    }
  }
  if (n >= 4) {
    for (u32 at : {0u, n - 4}) {
      u32 w;
      std::memcpy(&w, text + at, 4);
      if (u32 zeros = (w - 0x01010101u) & ~w & 0x80808080u) return at + first(zeros);
    }
    return n;
  }
  for (u32 i = 0; i < n; ++i)
    if (!text[i]) return i;
  return n;
}
inline u32 SLShortTextLength(const SLWChar* text, u32 n) {
  for (u32 i = 0; i < n; ++i)
    if (!text[i]) return i;
  return n;
}

// State and operations both string classes share; Char is char or SLWChar.
template <class Char>
class TSLStringBase : public CSLObject {
 public:
  TSLStringBase() = default;
  ~TSLStringBase() override;

  u32 GetLength(bool force = false);
  Char* GetBufferTerminated();
  const Char* CStr();
  bool IsEmpty() const { return m_capacity == 0 || m_buffer[0] == 0; }
  bool Empty();
  u32 GetCapacity() const { return m_capacity; }

  bool Reserve(u32 count, bool force = false);
  bool EnsureCapacity(u32 count, bool doubling);

  bool Truncate(u32 count);
  bool Mid(u32 pos, u32 count);
  bool TrimLeft(const Char* set = nullptr);
  bool TrimRight(const Char* set = nullptr);
  bool Trim(const Char* set = nullptr);
  bool ReplaceChars(const Char* set, Char replacement);

  bool Assign(const Char* text, u32 length = SL_TEXT_TO_END);
  bool Insert(const Char* text, u32 pos, u32 length = SL_TEXT_TO_END);
  // Text is mostly built by many short appends, so the common case is inline: a short
  // text (count below 32) that fits behind a known length and does not lie in our own
  // buffer is copied there at once. Everything else (growth, a length stale since the
  // buffer was handed out, text from our own buffer) takes the general insert.
  bool Append(const Char* text, u32 length = SL_TEXT_TO_END) {
    const auto at = reinterpret_cast<std::uintptr_t>(text), own = reinterpret_cast<std::uintptr_t>(m_buffer);
    if (length < 32 && text && m_buffer && !m_dirty && u64(m_length) + length < m_capacity &&
        (at + length * sizeof(Char) <= own || at >= own + m_capacity * sizeof(Char))) {
      length = SLShortTextLength(text, length);
      SLCopyBytes(m_buffer + m_length, text, size_t(length) * sizeof(Char));
      m_length += length;
      m_buffer[m_length] = 0;
      return SLSucceed(true);
    }
    return Insert(text, SL_TEXT_TO_END, length);
  }

 protected:
  // The length, recounted when the buffer was handed out, without touching the error code.
  u32 CurrentLength();
  // Takes over a converter's block as the buffer (capacity in characters).
  void AdoptBlock(Char* block, u32 capacity, u32 length);
  bool CopyValueTo(CSLObject* target, const SLClassRecord* record) const;

  Char* m_buffer = nullptr;
  u32 m_length = 0;
  u32 m_capacity = 0;
  u32 m_dirty = 0;
  u32 m_encoding = 0;
  void* m_scratch = nullptr;
  u32 m_reserved[2] = {0, 0};
};

}  // namespace SLInternals

class CSLStringAnsi : public SLInternals::TSLStringBase<char> {
  SL_DECLARE_CLASS(CSLStringAnsi)
 public:
  CSLStringAnsi() = default;
  bool CopyTo(CSLObject* target) const override;

  char* Detach();
  bool AssignW(const SLWChar* text, u32 length = SL_TEXT_TO_END);
  bool InsertW(const SLWChar* text, u32 pos, u32 length = SL_TEXT_TO_END);
  bool AppendW(const SLWChar* text, u32 length = SL_TEXT_TO_END);

  CSLStringAnsi& operator=(const char* text) { Assign(text, SL_TEXT_TO_END); return *this; }
  CSLStringAnsi& operator=(char ch) { Assign(&ch, 1); return *this; }
  CSLStringAnsi& operator=(const SLWChar* text) { AssignW(text, SL_TEXT_TO_END); return *this; }
  CSLStringAnsi& operator=(CSLStringAnsi& other) { Assign(other.CStr(), other.GetLength()); return *this; }
  CSLStringAnsi& operator=(CSLStringWide& other);
  CSLStringAnsi& operator+=(const char* text) { Append(text, SL_TEXT_TO_END); return *this; }
  CSLStringAnsi& operator+=(char ch) { Append(&ch, 1); return *this; }
  CSLStringAnsi& operator+=(const SLWChar* text) { AppendW(text, SL_TEXT_TO_END); return *this; }
  CSLStringAnsi& operator+=(CSLStringAnsi& other) { Append(other.CStr(), other.GetLength()); return *this; }

  bool Format(const char* format, ...);
  bool FormatV(const char* format, va_list args);
  bool AppendFormat(const char* format, ...);
  bool AppendFormatV(const char* format, va_list args);
};

class CSLStringWide : public SLInternals::TSLStringBase<SLWChar> {
  SL_DECLARE_CLASS(CSLStringWide)
 public:
  CSLStringWide() = default;
  bool CopyTo(CSLObject* target) const override;

  SLTextEncoding GetEncoding() const { return m_encoding; }
  bool Delete(u32 pos, u32 count);
  const SLWChar* FindChar(SLWChar ch, u32 from);

  bool AssignA(const char* text, u32 length = SL_TEXT_TO_END);
  bool AssignCodePage(u32 codePage, const char* text, u32 length, bool append);
  bool AssignUtf8(const char* text, u32 length, bool append);
  bool InsertA(const char* text, u32 pos, u32 length = SL_TEXT_TO_END);
  bool InsertString(CSLStringWide& other, u32 pos);
  bool AppendA(const char* text, u32 length = SL_TEXT_TO_END);

  CSLStringWide& operator=(const char* text) { AssignA(text, SL_TEXT_TO_END); return *this; }
  CSLStringWide& operator=(const SLWChar* text) { Assign(text, SL_TEXT_TO_END); return *this; }
  CSLStringWide& operator=(SLWChar ch) { Assign(&ch, 1); return *this; }
  CSLStringWide& operator=(CSLStringAnsi& other) { AssignA(other.CStr(), other.GetLength()); return *this; }
  CSLStringWide& operator=(CSLStringWide& other) { Assign(other.CStr(), other.GetLength()); return *this; }
  CSLStringWide& operator+=(const SLWChar* text) { Append(text, SL_TEXT_TO_END); return *this; }
  CSLStringWide& operator+=(SLWChar ch) { Append(&ch, 1); return *this; }

  bool Format(const SLWChar* format, ...);
  bool FormatV(const SLWChar* format, va_list args);
  bool PrependFormat(const SLWChar* format, ...);
  bool PrependFormatV(const SLWChar* format, va_list args);

  // Whole text files (defined with the storage layer).
  bool LoadFromStorage(CSLBaseStorage* storage);
  bool SaveToStorage(CSLBaseStorage* storage, SLTextEncoding encoding);

 private:
  bool AssignConverted(u32 codePage, const char* text, u32 length, bool append, bool keepOnFailure);
  friend class CSLStringAnsi;
};

inline CSLStringAnsi& CSLStringAnsi::operator=(CSLStringWide& other) {
  AssignW(other.CStr(), other.GetLength());
  return *this;
}

// BOM of an encoding (low four bits); null and size 0 with 0x80001001 when it has none.
const u8* SLGetTextEncodingBOM(SLTextEncoding encoding);
u32 SLGetTextEncodingBOMSize(SLTextEncoding encoding);

SLTextEncoding SLDetectTextEncoding(const void* data, u32 size);
i32 SLReadTextCodePoint(SLTextEncoding encoding, const u8** data, u32* remaining);
bool SLConvertText(void* target, u32* size, SLTextEncoding targetEncoding, const void* source,
                   u32 sourceSize, SLTextEncoding sourceEncoding, bool writeBOM);

char* SLGetTokenA(char* target, u32 size, const char* source, u32 index, const char* separators,
                  const char* quotes, const char* blanks, bool keepInnerBlanks);

const char* SLStrChrNA(const char* text, char ch, u32 n);
const SLWChar* SLStrChrNW(const SLWChar* text, SLWChar ch, u32 n);
const SLWChar* SLStrRChrW(const SLWChar* text, SLWChar ch, u32 n);
