// CSLStringAnsi and CSLStringWide: storage, editing, conversion and formatting.
//
// One of the text files that know each other (SLString, SLPrintf, SLTextConvert,
// SLTranscoderSet, SLTranscoder): strings convert through the transcoders, the code-page
// transcoder collects its text in strings, and strings format through the printf engine,
// which keeps its number and date formats in strings. The headers form no loop.
#include "foundation/SLString.h"

#include <cstring>

#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLStr.h"
#include "foundation/SLTextConvert.h"
#include "foundation/SLWideText.h"

SL_IMPLEMENT_CLASS(CSLStringAnsi, CSLObject)
SL_IMPLEMENT_CLASS(CSLStringWide, CSLObject)

namespace {

// Checks a (text, length) argument: all ones runs to the NUL, 1 to 31 stop at a NUL
// inside, 32 and more are taken as given; a null text is empty only with 0 or all ones.
template <class Char>
bool NormaliseLength(const Char* text, u32* length) {
  if (!text) {
    if (*length == 0 || *length == SL_TEXT_TO_END) {
      *length = 0;
      return true;
    }
    return SLFail(SL_E_NULL_DATA, false);
  }
  if (*length == SL_TEXT_TO_END) {
    *length = SLTextLength(text);
  } else if (*length < 32) {
    *length = SLInternals::SLShortTextLength(text, *length);
  }
  return true;
}

// The smallest multiple of 256 above `count`, when it and its byte size fit 32 bits.
template <class Char>
bool RoundCapacity(u32 count, u32* capacity) {
  u64 rounded = (u64(count) / 256 + 1) * 256;
  if (!SLFitsU32(rounded) || !SLFitsU32(rounded * sizeof(Char))) return SLFail(SL_E_OUT_OF_MEMORY, false);
  *capacity = u32(rounded);
  return true;
}

template <class Char>
bool InSet(Char ch, const Char* set) {
  for (; *set; ++set)
    if (*set == ch) return true;
  return false;
}

template <class Char>
const Char* DefaultBlanks() {
  static const Char kBlanks[] = {Char(' '), Char('\t'), Char(0)};
  return kBlanks;
}

bool Overlaps(const void* a, u64 aBytes, const void* b, u64 bBytes) {
  auto x = reinterpret_cast<std::uintptr_t>(a), y = reinterpret_cast<std::uintptr_t>(b);
  return x < y + bBytes && y < x + aBytes;
}

}  // namespace

namespace SLInternals {

template <class Char>
TSLStringBase<Char>::~TSLStringBase() {
  SLErrorKeeper keep;
  if (m_scratch) SLFree(m_scratch);
  if (m_buffer) SLFree(m_buffer);
}

template <class Char>
u32 TSLStringBase<Char>::GetLength(bool force) {
  if (m_buffer && (m_dirty || force)) {
    m_buffer[m_capacity - 1] = 0;
    m_length = SLTextLength(m_buffer);
    m_dirty = 0;
  }
  SLSetLastError(SL_OK);
  return m_buffer ? m_length : 0;
}

template <class Char>
u32 TSLStringBase<Char>::CurrentLength() {
  if (!m_buffer) return 0;
  if (m_dirty) {
    m_buffer[m_capacity - 1] = 0;
    m_length = SLTextLength(m_buffer);
    m_dirty = 0;
  }
  return m_length;
}

template <class Char>
Char* TSLStringBase<Char>::GetBufferTerminated() {
  SLSetLastError(SL_OK);
  if (!m_buffer) return nullptr;
  m_buffer[m_capacity - 1] = 0;
  m_dirty = 1;
  return m_buffer;
}

template <class Char>
const Char* TSLStringBase<Char>::CStr() {
  static const Char kEmpty[1] = {0};
  Char* buffer = GetBufferTerminated();
  return buffer ? buffer : kEmpty;
}

template <class Char>
bool TSLStringBase<Char>::Empty() {
  if (m_buffer) SLFree(m_buffer);
  m_buffer = nullptr;
  m_length = m_capacity = m_dirty = m_encoding = 0;
  SLSetLastError(SL_OK);
  return true;
}

template <class Char>
bool TSLStringBase<Char>::Reserve(u32 count, bool force) {
  if (!force && count <= m_capacity) return SLSucceed(true);
  if (force && count == 0) return Empty();
  u32 capacity = 0;
  if (!RoundCapacity<Char>(count, &capacity)) return false;
  u32 keep = m_buffer ? GetLength() : 0;
  if (keep > capacity - 1) keep = capacity - 1;
  // The allocator's realloc keeps the text without a copy where it can (a block that
  // grows in place, a mapping that grows in its reservation) and copies it otherwise.
  Char* block = static_cast<Char*>(SLRealloc(m_buffer, u32(capacity * sizeof(Char))));
  if (!block) return SLFail(SL_E_OUT_OF_MEMORY, false);
  block[keep] = 0;
  u32 encoding = m_encoding;
  m_buffer = block;
  m_capacity = capacity;
  m_length = keep;
  m_dirty = 0;
  m_encoding = encoding;
  return SLSucceed(true);
}

template <class Char>
bool TSLStringBase<Char>::EnsureCapacity(u32 count, bool doubling) {
  if (count < m_capacity) return SLSucceed(true);
  // The 8-bit string grows from at least 128 characters; the wide one from the need.
  u32 base = sizeof(Char) == 1 && count < 128 ? 128 : count;
  if (doubling && base <= 0x7FFFFFFFu && base * 2 > m_capacity && Reserve(base * 2)) return true;
  return Reserve(base);
}

template <class Char>
bool TSLStringBase<Char>::Truncate(u32 count) {
  if (!m_buffer) return SLSucceed(true);
  u32 length = GetLength();
  if (count < length) {
    m_buffer[count] = 0;
    m_length = count;
  }
  return SLSucceed(true);
}

template <class Char>
bool TSLStringBase<Char>::Mid(u32 pos, u32 count) {
  if (!m_buffer) return SLSucceed(true);
  u32 length = GetLength();
  if (pos > length) pos = length;
  if (count > length - pos) count = length - pos;
  if (pos && count) SLMemMove(m_buffer, m_buffer + pos, u32(count * sizeof(Char)));
  m_buffer[count] = 0;
  m_length = count;
  return SLSucceed(true);
}

template <class Char>
bool TSLStringBase<Char>::TrimLeft(const Char* set) {
  if (!m_buffer) return SLSucceed(true);
  if (!set) set = DefaultBlanks<Char>();
  u32 length = GetLength();
  u32 skip = 0;
  while (skip < length && InSet(m_buffer[skip], set)) ++skip;
  if (skip) {
    SLMemMove(m_buffer, m_buffer + skip, u32((length - skip + 1) * sizeof(Char)));
    m_length = length - skip;
  }
  return SLSucceed(true);
}

template <class Char>
bool TSLStringBase<Char>::TrimRight(const Char* set) {
  if (!m_buffer) return SLSucceed(true);
  if (!set) set = DefaultBlanks<Char>();
  u32 length = GetLength();
  while (length && InSet(m_buffer[length - 1], set)) --length;
  m_buffer[length] = 0;
  m_length = length;
  return SLSucceed(true);
}

template <class Char>
bool TSLStringBase<Char>::Trim(const Char* set) {
  TrimRight(set);
  return TrimLeft(set);
}

template <class Char>
bool TSLStringBase<Char>::ReplaceChars(const Char* set, Char replacement) {
  if (!m_buffer || !set || !set[0]) return SLSucceed(true);
  u32 length = GetLength();
  u32 out = 0;
  for (u32 i = 0; i < length; ++i) {
    Char ch = m_buffer[i];
    if (!InSet(ch, set))
      m_buffer[out++] = ch;
    else if (replacement)
      m_buffer[out++] = replacement;
  }
  m_buffer[out] = 0;
  m_length = out;
  return SLSucceed(true);
}

template <class Char>
bool TSLStringBase<Char>::Assign(const Char* text, u32 length) {
  if (!NormaliseLength(text, &length)) return false;
  if (length == 0) return Empty();
  if (text == m_buffer && m_buffer && length == CurrentLength()) return SLSucceed(true);
  if (m_buffer && Overlaps(m_buffer, u64(m_capacity) * sizeof(Char), text, u64(length) * sizeof(Char))) {
    // The text lives in our own buffer: copy it into a fresh block before letting go.
    u32 capacity = 0;
    if (length == SL_TEXT_TO_END || !RoundCapacity<Char>(length + 1, &capacity)) return SLFail(SL_E_OUT_OF_MEMORY, false);
    Char* block = static_cast<Char*>(SLAlloc(u32(capacity * sizeof(Char))));
    if (!block) return SLFail(SL_E_OUT_OF_MEMORY, false);
    SLMemCopy(block, text, u32(length * sizeof(Char)));
    SLFree(m_buffer);
    m_buffer = block;
    m_capacity = capacity;
  } else {
    Empty();
    if (length == SL_TEXT_TO_END) return SLFail(SL_E_OUT_OF_MEMORY, false);
    bool grown = sizeof(Char) == 1 ? EnsureCapacity(length + 1, true) : Reserve(length + 1);
    if (!grown) return false;
    SLMemCopy(m_buffer, text, u32(length * sizeof(Char)));
  }
  m_buffer[length] = 0;
  m_length = length;
  m_dirty = 0;
  return SLSucceed(true);
}

template <class Char>
bool TSLStringBase<Char>::Insert(const Char* text, u32 pos, u32 length) {
  if (!NormaliseLength(text, &length)) return false;
  if (length == 0) return SLSucceed(true);
  u32 oldLength = CurrentLength();
  if (pos > oldLength) pos = oldLength;
  u64 newLength = u64(oldLength) + length;
  if (newLength + 1 > 0xFFFFFFFFu) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (m_buffer && Overlaps(m_buffer, u64(m_capacity) * sizeof(Char), text, u64(length) * sizeof(Char))) {
    // Prefix, text and suffix are built in a new block, so the source stays intact.
    u32 capacity = 0;
    if (!RoundCapacity<Char>(u32(newLength + 1), &capacity)) return false;
    Char* block = static_cast<Char*>(SLAlloc(u32(capacity * sizeof(Char))));
    if (!block) return SLFail(SL_E_OUT_OF_MEMORY, false);
    SLMemCopy(block, m_buffer, u32(pos * sizeof(Char)));
    SLMemCopy(block + pos, text, u32(length * sizeof(Char)));
    SLMemCopy(block + pos + length, m_buffer + pos, u32((oldLength - pos) * sizeof(Char)));
    SLFree(m_buffer);
    m_buffer = block;
    m_capacity = capacity;
  } else {
    if (newLength + 1 > m_capacity) {
      bool grown = sizeof(Char) == 1 ? EnsureCapacity(u32(newLength + 1), true) : Reserve(u32(newLength + 1));
      if (!grown) return false;
    }
    if (pos < oldLength) SLMemMove(m_buffer + pos + length, m_buffer + pos, u32((oldLength - pos) * sizeof(Char)));
    SLCopyBytes(m_buffer + pos, text, size_t(length) * sizeof(Char));
  }
  m_length = u32(newLength);
  m_buffer[m_length] = 0;
  m_dirty = 0;
  return SLSucceed(true);
}

template <class Char>
void TSLStringBase<Char>::AdoptBlock(Char* block, u32 capacity, u32 length) {
  if (m_buffer) SLFree(m_buffer);
  m_buffer = block;
  m_capacity = capacity;
  m_length = length;
  m_dirty = 0;
  m_buffer[length] = 0;
}

template <class Char>
bool TSLStringBase<Char>::CopyValueTo(CSLObject* target, const SLClassRecord* record) const {
  if (!target || !target->IsKindOf(record)) return SLFail(SL_E_NOT_SUPPORTED, false);
  if (target == this) return SLSucceed(true);
  u32 length = 0;
  if (m_buffer) {
    if (m_dirty)
      while (length + 1 < m_capacity && m_buffer[length]) ++length;
    else
      length = m_length;
  }
  return static_cast<TSLStringBase<Char>*>(target)->Assign(m_buffer, length);
}

template class TSLStringBase<char>;
template class TSLStringBase<SLWChar>;

}  // namespace SLInternals

// ---- conversions ----------------------------------------------------------------------

namespace {

// Growable block the streaming converters push into: 240 characters at first, then the
// byte size doubles; when doubling overflows, 1024 bytes (2048 for UTF-16) are added,
// then 128 (256), and past that the push fails.
template <class Out, class In>
struct ConversionContext {
  const In* source = nullptr;
  u32 remaining = 0;
  Out* block = nullptr;
  u32 count = 0;
  u32 capacity = 0;

  bool Push(Out ch) {
    if (!block) {
      block = static_cast<Out*>(SLAlloc(u32(240 * sizeof(Out))));
      if (!block) return SLFail(SL_E_OUT_OF_MEMORY, false);
      capacity = 240;
    } else if (count >= capacity - 1) {
      u64 bytes = u64(capacity) * sizeof(Out);
      u64 steps[3] = {bytes * 2, bytes + 1024 * sizeof(Out), bytes + 128 * sizeof(Out)};
      u64 grown = 0;
      for (u64 step : steps)
        if (step <= 0xFFFFFFFFu) {
          grown = step;
          break;
        }
      if (!grown) return SLFail(SL_E_OUT_OF_MEMORY, false);
      Out* bigger = static_cast<Out*>(SLRealloc(block, u32(grown)));
      if (!bigger) return SLFail(SL_E_OUT_OF_MEMORY, false);
      block = bigger;
      capacity = u32(grown / sizeof(Out));
    }
    block[count++] = ch;
    return true;
  }
  bool Pull(In* ch) {
    if (!remaining || !*source) return false;
    *ch = *source++;
    --remaining;
    return true;
  }
  ~ConversionContext() { SLInternals::SLFreeKeepingError(block); }
};

using WideToBytes = ConversionContext<char, SLWChar>;
using BytesToWide = ConversionContext<SLWChar, char>;

bool ConvertToBytes(u32 codePage, const SLWChar* text, u32 length, WideToBytes* context) {
  context->source = text;
  context->remaining = length;
  return SLWideToMultiByteStream(
      codePage, [](u8 byte, void* c) { return static_cast<WideToBytes*>(c)->Push(char(byte)); },
      [](SLWChar* unit, void* c) { return static_cast<WideToBytes*>(c)->Pull(unit); }, context, 0);
}

bool ConvertToWide(u32 codePage, const char* text, u32 length, BytesToWide* context) {
  context->source = text;
  context->remaining = length;
  return SLMultiByteToWideStream(
      codePage, [](SLWChar unit, void* c) { return static_cast<BytesToWide*>(c)->Push(unit); },
      [](u8* byte, void* c) {
        char ch = 0;
        if (!static_cast<BytesToWide*>(c)->Pull(&ch)) return false;
        *byte = u8(ch);
        return true;
      },
      context, 0);
}

}  // namespace

bool CSLStringAnsi::CopyTo(CSLObject* target) const { return CopyValueTo(target, &s_classRecord); }

char* CSLStringAnsi::Detach() {
  char* buffer = m_buffer;
  m_buffer = nullptr;
  m_length = m_capacity = m_dirty = m_encoding = 0;
  SLSetLastError(SL_OK);
  return buffer;
}

bool CSLStringAnsi::AssignW(const SLWChar* text, u32 length) {
  if (!NormaliseLength(text, &length)) return false;
  if (length == 0) return Empty();
  WideToBytes context;
  if (!ConvertToBytes(0, text, length, &context)) return false;
  if (!context.block) return Empty();
  AdoptBlock(context.block, context.capacity, context.count);
  context.block = nullptr;
  return SLSucceed(true);
}

bool CSLStringAnsi::InsertW(const SLWChar* text, u32 pos, u32 length) {
  if (!NormaliseLength(text, &length)) return false;
  if (length == 0) return SLSucceed(true);
  WideToBytes context;
  if (!ConvertToBytes(0, text, length, &context)) return false;
  if (!context.block) return SLSucceed(true);
  return Insert(context.block, pos, context.count);
}

bool CSLStringAnsi::AppendW(const SLWChar* text, u32 length) { return InsertW(text, SL_TEXT_TO_END, length); }

bool CSLStringWide::CopyTo(CSLObject* target) const { return CopyValueTo(target, &s_classRecord); }

bool CSLStringWide::Delete(u32 pos, u32 count) {
  if (!m_buffer) return SLSucceed(true);
  u32 length = GetLength();
  if (pos > length) pos = length;
  if (count > length - pos) count = length - pos;
  SLMemMove(m_buffer + pos, m_buffer + pos + count, u32((length - pos - count + 1) * sizeof(SLWChar)));
  m_length = length - count;
  return SLSucceed(true);
}

const SLWChar* CSLStringWide::FindChar(SLWChar ch, u32 from) {
  u32 length = GetLength();
  for (u32 i = from < length ? from : length; i < length; ++i)
    if (m_buffer[i] == ch) return m_buffer + i;
  return nullptr;
}

// Converts 8-bit text of a code page; `keepOnFailure` leaves what was converted before a
// failure in the string (the code-page assignments), otherwise the string stays as it was.
bool CSLStringWide::AssignConverted(u32 codePage, const char* text, u32 length, bool append,
                                    bool keepOnFailure) {
  if (!NormaliseLength(text, &length)) return false;
  if (length == 0) return append ? SLSucceed(true) : Empty();
  BytesToWide context;
  bool ok = ConvertToWide(codePage, text, length, &context);
  u32 code = SLGetLastError(false);
  if (!ok && !keepOnFailure) return false;
  if (append) {
    if (context.block && !Append(context.block, context.count)) return false;
  } else if (context.block) {
    AdoptBlock(context.block, context.capacity, context.count);
    context.block = nullptr;
  } else {
    Empty();
  }
  return ok ? SLSucceed(true) : SLFail(code, false);
}

bool CSLStringWide::AssignA(const char* text, u32 length) { return AssignConverted(0, text, length, false, false); }

bool CSLStringWide::AssignCodePage(u32 codePage, const char* text, u32 length, bool append) {
  return AssignConverted(codePage, text, length, append, true);
}

bool CSLStringWide::AssignUtf8(const char* text, u32 length, bool append) {
  return AssignConverted(65001, text, length, append, true);
}

bool CSLStringWide::InsertA(const char* text, u32 pos, u32 length) {
  if (!NormaliseLength(text, &length)) return false;
  if (length == 0) return SLSucceed(true);
  BytesToWide context;
  if (!ConvertToWide(0, text, length, &context)) return false;
  if (!context.block) return SLSucceed(true);
  return Insert(context.block, pos, context.count);
}

bool CSLStringWide::AppendA(const char* text, u32 length) { return InsertA(text, SL_TEXT_TO_END, length); }

bool CSLStringWide::InsertString(CSLStringWide& other, u32 pos) {
  return Insert(other.CStr(), pos, other.GetLength());
}

// ---- formatting -----------------------------------------------------------------------

namespace {

template <class String>
struct AppendSink {
  String* target;
  u32 code;
};

template <class String, class Char>
u32 AppendOne(u32 ch, void* context) {
  auto* sink = static_cast<AppendSink<String>*>(context);
  if (ch == 0) return 1;  // the engine's final terminator
  Char c = Char(ch);
  if (sink->target->Append(&c, 1)) return 1;
  sink->code = SLGetLastError(false);
  return 0;
}

template <class String, class Char>
bool RunFormat(String* target, const Char* format, va_list args) {
  if (!format) return SLFail(SL_E_INVALID_ARG, false);
  AppendSink<String> sink{target, 0};
  if constexpr (sizeof(Char) == 1)
    SLVFormatA(&AppendOne<String, Char>, &sink, format, args);
  else
    SLVFormatW(&AppendOne<String, Char>, &sink, format, args);
  // Only a failing append fails the operation: what the engine itself reports (an
  // unknown conversion, say) leaves the text written so far as the result.
  SLSetLastError(sink.code);
  return (sink.code & 0x80000000u) == 0;
}

}  // namespace

bool CSLStringAnsi::FormatV(const char* format, va_list args) {
  if (!format) return SLFail(SL_E_INVALID_ARG, false);
  Empty();
  return RunFormat(this, format, args);
}

bool CSLStringAnsi::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool ok = FormatV(format, args);
  va_end(args);
  return ok;
}

bool CSLStringAnsi::AppendFormatV(const char* format, va_list args) { return RunFormat(this, format, args); }

bool CSLStringAnsi::AppendFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool ok = AppendFormatV(format, args);
  va_end(args);
  return ok;
}

bool CSLStringWide::FormatV(const SLWChar* format, va_list args) {
  if (!format) return SLFail(SL_E_INVALID_ARG, false);
  Empty();
  return RunFormat(this, format, args);
}

bool CSLStringWide::Format(const SLWChar* format, ...) {
  va_list args;
  va_start(args, format);
  bool ok = FormatV(format, args);
  va_end(args);
  return ok;
}

bool CSLStringWide::PrependFormatV(const SLWChar* format, va_list args) {
  if (!format) return SLFail(SL_E_INVALID_ARG, false);
  CSLStringWide prefix;
  if (!prefix.FormatV(format, args)) return false;
  return InsertString(prefix, 0);
}

bool CSLStringWide::PrependFormat(const SLWChar* format, ...) {
  va_list args;
  va_start(args, format);
  bool ok = PrependFormatV(format, args);
  va_end(args);
  return ok;
}
