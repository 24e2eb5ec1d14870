// Whole-text handling: byte-order marks, encoding detection, code-point reading and the
// line-by-line converter between ANSI, UTF-8, UTF-16LE and UTF-16BE; the value tokenizer
// and the bounded character searches.
#include <cstring>

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLString.h"
#include "foundation/SLTextConvert.h"

namespace {

constexpr u8 kBomUtf8[3] = {0xEF, 0xBB, 0xBF};
constexpr u8 kBomUtf16LE[2] = {0xFF, 0xFE};
constexpr u8 kBomUtf16BE[2] = {0xFE, 0xFF};

bool ValidEncoding(SLTextEncoding encoding) {
  u32 kind = encoding & SL_TEXT_ENCODING_MASK;
  return (encoding & ~u32(SL_TEXT_ENCODING_MASK | SL_TEXT_STYLE_MASK)) == 0 && kind >= SL_TEXT_ANSI &&
         kind <= SL_TEXT_UTF16BE;
}

bool IsWide(SLTextEncoding encoding) {
  u32 kind = encoding & SL_TEXT_ENCODING_MASK;
  return kind == SL_TEXT_UTF16LE || kind == SL_TEXT_UTF16BE;
}

bool StartsWith(const u8* data, u32 size, const u8* prefix, u32 prefixSize) {
  return size >= prefixSize && std::memcmp(data, prefix, prefixSize) == 0;
}

// Bytes of the UTF-8 sequence starting at data[i] when the UTF-8 decoder takes it: no
// overlong form, no surrogate, nothing past U+10FFFF, neither U+FFFE nor U+FEFF. 0 when it
// is refused; *cut then tells a sequence that is sound so far but cut short by the end.
u32 Utf8SequenceLength(const u8* data, u32 size, u32 i, bool* cut) {
  *cut = false;
  u8 lead = data[i];
  u32 length = 0;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4;
  if (!length) return 0;
  for (u32 k = 1; k < length; ++k) {
    if (i + k >= size) {
      *cut = true;
      return 0;
    }
    u8 next = data[i + k];
    if ((next & 0xC0) != 0x80) return 0;
    if (k == 1 && ((lead == 0xE0 && next < 0xA0) || (lead == 0xED && next >= 0xA0) ||
                   (lead == 0xF0 && next < 0x90) || (lead == 0xF4 && next >= 0x90)))
      return 0;
  }
  if (length == 3) {
    u32 code = (lead & 0x0Fu) << 12 | (data[i + 1] & 0x3Fu) << 6 | (data[i + 2] & 0x3Fu);
    if (code == 0xFFFE || code == 0xFEFF) return 0;
  }
  return length;
}

}  // namespace

const u8* SLGetTextEncodingBOM(SLTextEncoding encoding) {
  switch (encoding & SL_TEXT_ENCODING_MASK) {
    case SL_TEXT_UTF8: return SLSucceed(kBomUtf8);
    case SL_TEXT_UTF16LE: return SLSucceed(kBomUtf16LE);
    case SL_TEXT_UTF16BE: return SLSucceed(kBomUtf16BE);
    default: return SLFail(SL_E_INVALID_ARG, static_cast<const u8*>(nullptr));
  }
}

u32 SLGetTextEncodingBOMSize(SLTextEncoding encoding) {
  switch (encoding & SL_TEXT_ENCODING_MASK) {
    case SL_TEXT_UTF8: return SLSucceed(3u);
    case SL_TEXT_UTF16LE:
    case SL_TEXT_UTF16BE: return SLSucceed(2u);
    default: return SLFail(SL_E_INVALID_ARG, 0u);
  }
}

i32 SLReadTextCodePoint(SLTextEncoding encoding, const u8** data, u32* remaining) {
  if (!data || !*data || !remaining || !*remaining) return -1;
  const u8* p = *data;
  switch (encoding & SL_TEXT_ENCODING_MASK) {
    case SL_TEXT_ANSI:
      ++*data;
      --*remaining;
      return p[0];
    case SL_TEXT_UTF8: {
      u8 lead = p[0];
      if (lead < 0x80) {
        ++*data;
        --*remaining;
        return lead;
      }
      static const u8 kMasks[4] = {0x00, 0xC0, 0xE0, 0xF0};
      u32 ones = 0;
      while (ones < 8 && (lead & (0x80 >> ones))) ++ones;
      if (ones < 2 || ones > 4 || *remaining < ones) return -1;
      i32 value = lead & ~kMasks[ones - 1] & 0xFF;
      u32 used = 1;
      for (; used < ones; ++used) {
        u8 next = p[used];
        if (next == 0 || (next & 0xC0) != 0x80) {
          ++used;  // the byte that ended the sequence stays consumed
          break;
        }
        value = value * 64 + (next & 0x3F);
      }
      *data += used;
      *remaining -= used;
      return value;
    }
    case SL_TEXT_UTF16LE:
    case SL_TEXT_UTF16BE: {
      if (*remaining < 2) return -1;
      bool little = (encoding & SL_TEXT_ENCODING_MASK) == SL_TEXT_UTF16LE;
      i32 unit = little ? SLLoadLE16(p) : SLLoadBE16(p);
      *data += 2;
      *remaining -= 2;
      return unit;
    }
    default:
      return -1;
  }
}

SLTextEncoding SLDetectTextEncoding(const void* data, u32 size) {
  if (!data && size) return SLFail(SL_E_NULL_DATA, 0u);
  const u8* bytes = static_cast<const u8*>(data);
  SLTextEncoding found = 0;
  u32 skip = 0;
  if (StartsWith(bytes, size, kBomUtf8, 3)) {
    found = SL_TEXT_UTF8;
    skip = 3;
  } else if (StartsWith(bytes, size, kBomUtf16LE, 2)) {
    found = SL_TEXT_UTF16LE;
    skip = 2;
  } else if (StartsWith(bytes, size, kBomUtf16BE, 2)) {
    found = SL_TEXT_UTF16BE;
    skip = 2;
  } else if (size < 2) {
    found = SL_TEXT_ANSI;
  } else {
    bool multiByte = false;
    bool decided = false;
    for (u32 i = 0; i < size;) {
      if (bytes[i] < 0x80) {
        ++i;
        continue;
      }
      bool cut;
      u32 length = Utf8SequenceLength(bytes, size, i, &cut);
      if (length) {
        multiByte = true;
        i += length;
        continue;
      }
      // A sequence cut short by the end, or a stray byte that is the last one, still lets
      // the text count as scanned; anything the decoder would refuse goes to the zero count.
      u32 ones = 0;
      while (ones < 8 && (bytes[i] & (0x80 >> ones))) ++ones;
      bool reachesEnd = cut || ((ones < 2 || ones > 4) && i + 1 == size);
      if (!reachesEnd) {
        u32 even = 0, odd = 0;
        for (u32 k = 0; k < size; ++k)
          if (!bytes[k]) ++((k & 1) ? odd : even);
        u32 threshold = size / 2 * 7 / 10;
        found = odd > threshold ? SL_TEXT_UTF16LE : even > threshold ? SL_TEXT_UTF16BE : SL_TEXT_ANSI;
        decided = true;
      }
      break;
    }
    if (!decided) found = multiByte ? SL_TEXT_UTF8 : SL_TEXT_ANSI;
  }

  // The first CR or LF of the text decides the line-end style.
  const u8* p = bytes + skip;
  u32 remaining = size - skip;
  u32 style = SL_TEXT_CRLF;
  while (remaining) {
    i32 ch = SLReadTextCodePoint(found, &p, &remaining);
    if (ch < 0) {
      if (found != SL_TEXT_UTF8 || !remaining) break;
      ++p;  // an invalid UTF-8 byte is passed over
      --remaining;
      continue;
    }
    if (ch != '\r' && ch != '\n') continue;
    const u8* peek = p;
    u32 left = remaining;
    i32 next = SLReadTextCodePoint(found, &peek, &left);
    if (ch == '\r')
      style = next == '\n' ? SL_TEXT_CRLF : SL_TEXT_CR;
    else
      style = next == '\r' ? SL_TEXT_LFCR : SL_TEXT_LF;
    break;
  }
  SLSetLastError(SL_OK);
  return found | style;
}

namespace {

void SwapUnits(u8* bytes, u32 count) {
  for (u32 i = 0; i + 1 < count; i += 2) {
    u8 t = bytes[i];
    bytes[i] = bytes[i + 1];
    bytes[i + 1] = t;
  }
}

// Output of the converter: counts every byte, stores while the capacity allows.
struct Output {
  u8* target;
  u64 capacity;  // unlimited without a target
  u64 used = 0;

  u64 Room() const { return capacity - used; }
  void Put(const void* bytes, u32 count) {
    if (target) std::memcpy(target + used, bytes, count);
    used += count;
  }
};

// Converts one line (without its line end); false with the error code set.
bool ConvertLine(Output& out, SLTextEncoding from, SLTextEncoding to, const u8* line, u32 size) {
  u32 source = from & SL_TEXT_ENCODING_MASK;
  u32 target = to & SL_TEXT_ENCODING_MASK;
  if (!size) return true;
  if (source == target) {
    u32 count = IsWide(to) ? size & ~1u : size;
    // A line that does not fit is an error, as for a converted one.
    if (count > out.Room()) return SLFail(SL_E_BUFFER_TOO_SMALL, false);
    out.Put(line, count);
    return true;
  }
  if (IsWide(from) && IsWide(to)) {
    u32 count = size & ~1u;
    if (count > out.Room()) return SLFail(SL_E_BUFFER_TOO_SMALL, false);
    u8 block[1024];
    for (u32 done = 0; done < count;) {
      u32 part = count - done < sizeof block ? count - done : u32(sizeof block);
      std::memcpy(block, line + done, part);
      SwapUnits(block, part);
      out.Put(block, part);
      done += part;
    }
    return true;
  }
  if (IsWide(from)) {
    // UTF-16 to bytes in blocks of at most 256 units, never splitting a surrogate pair.
    u32 codePage = target == SL_TEXT_UTF8 ? 65001 : 0;
    u32 units = size / 2;
    SLWChar block[256];
    for (u32 done = 0; done < units;) {
      u32 part = units - done < 256 ? units - done : 256;
      std::memcpy(block, line + done * 2, part * 2);
      if (source == SL_TEXT_UTF16BE) SwapUnits(reinterpret_cast<u8*>(block), part * 2);
      if (part > 1 && part == 256 && block[part - 1] >= 0xD800 && block[part - 1] <= 0xDBFF) --part;
      u32 produced = 0;
      if (out.target) {
        produced = out.Room() > 0xFFFFFFFFu ? 0xFFFFFFFFu : u32(out.Room());
        if (!SLWideToMultiByte(codePage, reinterpret_cast<char*>(out.target + out.used), &produced, block, part, 0))
          return false;
      } else if (!SLWideToMultiByte(codePage, nullptr, &produced, block, part, 0)) {
        return false;
      }
      out.used += produced;
      done += part;
    }
    return true;
  }
  if (!IsWide(to)) {
    // Between ANSI and UTF-8.
    u32 produced = out.target ? (out.Room() > 0xFFFFFFFFu ? 0xFFFFFFFFu : u32(out.Room())) : 0;
    char* place = out.target ? reinterpret_cast<char*>(out.target + out.used) : nullptr;
    const char* text = reinterpret_cast<const char*>(line);
    bool ok = source == SL_TEXT_UTF8 ? SLMultiByteToAnsi(65001, place, &produced, text, size, 0)
                                     : SLAnsiToMultiByte(65001, place, &produced, text, size, 0);
    if (!ok) return false;
    out.used += produced;
    return true;
  }
  // Bytes to UTF-16: measure, then convert into an aligned block and copy it out.
  u32 codePage = source == SL_TEXT_UTF8 ? 65001 : 0;
  const char* text = reinterpret_cast<const char*>(line);
  u32 units = 0;
  if (!SLMultiByteToWide(codePage, nullptr, &units, text, size, 0)) return false;
  u64 bytes = u64(units) * 2;
  if (!out.target) {
    out.used += bytes;
    return true;
  }
  if (bytes > out.Room()) return SLFail(SL_E_BUFFER_TOO_SMALL, false);
  SLWChar* block = static_cast<SLWChar*>(SLAlloc(u32(bytes + 2)));
  if (!block) return false;
  TSLAutoPtr<SLWChar> blockOwner(block);
  u32 made = units + 1;
  bool ok = SLMultiByteToWide(codePage, block, &made, text, size, 0);
  if (ok) {
    if (target == SL_TEXT_UTF16BE) SwapUnits(reinterpret_cast<u8*>(block), made * 2);
    out.Put(block, made * 2);
  }
  return ok;
}

// Writes the target style's line end; false when it does not fit.
bool PutLineBreak(Output& out, SLTextEncoding to) {
  u32 chars[2];
  u32 count = 0;
  switch (to & SL_TEXT_STYLE_MASK) {
    case SL_TEXT_CRLF: chars[count++] = '\r'; chars[count++] = '\n'; break;
    case SL_TEXT_LF: chars[count++] = '\n'; break;
    case SL_TEXT_CR: chars[count++] = '\r'; break;
    default: chars[count++] = '\n'; chars[count++] = '\r'; break;
  }
  u8 bytes[4];
  u32 n = 0;
  for (u32 i = 0; i < count; ++i) {
    if ((to & SL_TEXT_ENCODING_MASK) == SL_TEXT_UTF16LE) {
      bytes[n++] = u8(chars[i]);
      bytes[n++] = 0;
    } else if ((to & SL_TEXT_ENCODING_MASK) == SL_TEXT_UTF16BE) {
      bytes[n++] = 0;
      bytes[n++] = u8(chars[i]);
    } else {
      bytes[n++] = u8(chars[i]);
    }
  }
  if (n > out.Room()) return false;
  out.Put(bytes, n);
  return true;
}

}  // namespace

bool SLConvertText(void* target, u32* size, SLTextEncoding targetEncoding, const void* source, u32 sourceSize,
                   SLTextEncoding sourceEncoding, bool writeBOM) {
  if (!size) return SLFail(SL_E_INVALID_ARG, false);
  Output out{static_cast<u8*>(target), target ? *size : ~u64(0)};
  *size = 0;
  if (!ValidEncoding(targetEncoding)) return SLFail(SL_E_BAD_TARGET_FORMAT, false);
  u32 terminatorSize = IsWide(targetEncoding) ? 2 : 1;
  if (target && out.capacity) std::memset(target, 0, out.capacity >= terminatorSize ? terminatorSize : 1);
  if (!source && sourceSize) return SLFail(SL_E_NULL_DATA, false);
  if (sourceEncoding == SL_TEXT_DETECT) sourceEncoding = SLDetectTextEncoding(source, sourceSize);
  if (!ValidEncoding(sourceEncoding)) return SLFail(SL_E_BAD_FORMAT, false);

  const u8* p = static_cast<const u8*>(source);
  u32 remaining = sourceSize;
  u32 sourceBom = (sourceEncoding & SL_TEXT_ENCODING_MASK) == SL_TEXT_ANSI ? 0 : SLGetTextEncodingBOMSize(sourceEncoding);
  if (sourceBom && StartsWith(p, remaining, SLGetTextEncodingBOM(sourceEncoding), sourceBom)) {
    p += sourceBom;
    remaining -= sourceBom;
  }
  if (writeBOM && (targetEncoding & SL_TEXT_ENCODING_MASK) != SL_TEXT_ANSI) {
    u32 bomSize = SLGetTextEncodingBOMSize(targetEncoding);
    if (bomSize > out.Room()) return SLFail(SL_E_OUTPUT_SIZE_ZERO, false);
    out.Put(SLGetTextEncodingBOM(targetEncoding), bomSize);
  }

  u32 style = sourceEncoding & SL_TEXT_STYLE_MASK;
  bool more = remaining > 0;
  while (more) {
    const u8* lineStart = p;
    const u8* lineEnd = p;
    i32 ending = -1;
    while (true) {
      const u8* before = p;
      i32 ch = SLReadTextCodePoint(sourceEncoding, &p, &remaining);
      if (ch < 0) {
        lineEnd = before;
        more = false;
        break;
      }
      if (ch == 0) return SLFail(SL_E_TEXT_ZERO_CHAR, false);
      if (ch == '\r' || ch == '\n') {
        lineEnd = before;
        ending = ch;
        break;
      }
    }
    if (!ConvertLine(out, sourceEncoding, targetEncoding, lineStart, u32(lineEnd - lineStart))) {
      *size = u32(out.used);
      return false;
    }
    if (ending < 0) break;

    // Is this CR or LF a line break of the source's style? The character after a
    // dropped one is never consumed; CR LF text also takes a bare LF as a line break.
    const u8* peek = p;
    u32 left = remaining;
    bool isBreak = false;
    if (style == SL_TEXT_CRLF || style == SL_TEXT_LFCR) {
      i32 first = style == SL_TEXT_CRLF ? '\r' : '\n';
      i32 second = style == SL_TEXT_CRLF ? '\n' : '\r';
      if (ending == first) {
        i32 next = SLReadTextCodePoint(sourceEncoding, &peek, &left);
        if (next == 0) return SLFail(SL_E_TEXT_ZERO_CHAR, false);
        if (next == second) {
          isBreak = true;
          p = peek;
          remaining = left;
        }
      } else if (style == SL_TEXT_CRLF && ending == '\n') {
        isBreak = true;
      }
    } else {
      isBreak = ending == (style == SL_TEXT_LF ? '\n' : '\r');
    }
    if (isBreak && !PutLineBreak(out, targetEncoding)) break;
    more = remaining > 0;
  }
  if (out.target && out.Room() >= terminatorSize) std::memset(out.target + out.used, 0, terminatorSize);
  *size = u32(out.used > 0xFFFFFFFFu ? 0xFFFFFFFFu : out.used);
  return SLSucceed(true);
}

// ---- tokens and bounded searches -------------------------------------------------------

namespace {
bool Contains(const char* set, char ch) {
  for (; set && *set; ++set)
    if (*set == ch) return true;
  return false;
}
}  // namespace

char* SLGetTokenA(char* target, u32 size, const char* source, u32 index, const char* separators, const char* quotes,
                  const char* blanks, bool keepInnerBlanks) {
  if (!source) return SLFail(SL_E_NULL_DATA, static_cast<char*>(nullptr));
  if (index == 0) return SLFail(SL_E_INDEX, static_cast<char*>(nullptr));
  if (!target) return SLFail(SL_E_NULL_OUTPUT, static_cast<char*>(nullptr));
  if (size == 0) return SLFail(SL_E_OUTPUT_SIZE_ZERO, static_cast<char*>(nullptr));
  if (!separators) return SLFail(SL_E_INVALID_ARG, static_cast<char*>(nullptr));
  target[0] = 0;
  if (size == 1) return SLSucceed(target);

  const char* p = source;
  bool quoted = false;
  for (u32 token = 1; token < index; ++p) {
    if (!*p) return SLSucceed(target);
    if (quoted) {
      if (Contains(quotes, *p)) quoted = false;
    } else if (Contains(separators, *p)) {
      ++token;
    } else if (Contains(quotes, *p)) {
      quoted = true;
    }
  }
  u32 copied = 0;
  quoted = false;
  for (; *p && copied < size - 1; ++p) {
    char ch = *p;
    if (quoted) {
      if (Contains(quotes, ch))
        quoted = false;
      else
        target[copied++] = ch;
    } else if (Contains(separators, ch)) {
      break;
    } else if (Contains(quotes, ch)) {
      quoted = true;
    } else if (Contains(blanks, ch)) {
      if (keepInnerBlanks && copied) target[copied++] = ch;
    } else {
      target[copied++] = ch;
    }
  }
  if (keepInnerBlanks)
    while (copied && Contains(blanks, target[copied - 1])) --copied;
  target[copied] = 0;
  return SLSucceed(target);
}

namespace {
template <class Char>
const Char* FindForward(const Char* text, Char ch, u32 n) {
  if (!text) return nullptr;
  for (u32 i = 0; i < n && text[i]; ++i)
    if (text[i] == ch) return text + i;
  return nullptr;
}
}  // namespace

const char* SLStrChrNA(const char* text, char ch, u32 n) { return FindForward(text, ch, n); }
const SLWChar* SLStrChrNW(const SLWChar* text, SLWChar ch, u32 n) { return FindForward(text, ch, n); }

// The count is clamped to the text's length, so the search never starts past its end.
const SLWChar* SLStrRChrW(const SLWChar* text, SLWChar ch, u32 n) {
  if (!text) return nullptr;
  u32 length = 0;
  while (length < n && text[length]) ++length;
  for (u32 i = length; i-- > 0;)
    if (text[i] == ch) return text + i;
  return nullptr;
}
