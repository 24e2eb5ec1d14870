// The printf engine's walk over the format, its conversions and writers.
//
// One of the text files that know each other (SLString, SLPrintf, SLTextConvert,
// SLTranscoderSet, SLTranscoder): strings convert through the transcoders, the code-page
// transcoder collects its text in strings, and strings format through the printf engine,
// which keeps its number and date formats in strings. The headers form no loop.
#include "foundation/SLPrintf.h"

#include "foundation/SLDateTime.h"
#include "foundation/SLError.h"
#include "foundation/SLStr.h"

namespace {

enum class Align { Right, Left, Centre };

struct Spec {
  Align align = Align::Right;
  bool plus = false;
  bool space = false;
  bool zeroFill = false;
  bool alternate = false;
  bool quiet = false;  // '?': nothing at all for a null argument
  i64 width = 0;
  i64 precision = -1;
  i64 group = -1;
  const void* bracketBegin = nullptr;
  const void* bracketEnd = nullptr;
  enum Size { None, H, L, W, I, I32, I64 } size = None;
  u32 conversion = 0;
};

SLThreadDataSlot s_helperSlot;

template <class Char>
u32 Length(const Char* text) {
  if constexpr (sizeof(Char) == 1)
    return SLStrLenA(text);
  else
    return SLStrLenW(text);
}

template <class Char>
class Engine {
 public:
  using OtherChar = std::conditional_t<sizeof(Char) == 1, SLWChar, char>;
  using OutString = std::conditional_t<sizeof(Char) == 1, CSLStringAnsi, CSLStringWide>;

  Engine(SLInternals::CMXSPrintfHelper* helper, SLPrintfDispatchFunc dispatch, SLPrintfWriter writer,
         void* context, va_list* args)
      : m_helper(helper), m_dispatch(dispatch), m_writer(writer), m_context(context), m_args(args) {}

  u32 Run(const Char* format) {
    const Char* p = format;
    while (*p) {
      if (*p != Char('%')) {
        if (!Put(*p++)) return Stopped();
        continue;
      }
      ++p;
      if (!*p) {
        // A lone '%' at the very end stands as it is.
        if (!Put(Char('%'))) return Stopped();
        break;
      }
      if (*p == Char('%')) {
        ++p;
        if (!Put(Char('%'))) return Stopped();
        continue;
      }
      Spec spec;
      if (!Parse(p, &spec)) return SLFail(SL_E_PRINTF_UNKNOWN_CONVERSION, m_count);
      Result result = Convert(spec);
      if (result == Result::Refused) return Stopped();
      if (result == Result::Failed) return m_count;  // the failing step set the code
    }
    m_dispatch(m_writer, 0, m_context);
    return SLSucceed(m_count);
  }

 private:
  enum class Result { Done, Refused, Failed };

  u32 Stopped() { return SLSucceed(m_count); }

  bool Put(Char ch) {
    if (!m_dispatch(m_writer, u32(std::make_unsigned_t<Char>(ch)), m_context)) return false;
    ++m_count;
    return true;
  }

  template <class T>
  bool PutText(const T* text, u32 length) {
    for (u32 i = 0; i < length; ++i)
      if (!Put(Char(text[i]))) return false;
    return true;
  }

  bool PutRepeated(Char ch, i64 count) {
    for (i64 i = 0; i < count; ++i)
      if (!Put(ch)) return false;
    return true;
  }

  i64 ReadCount(const Char*& p) {
    i64 value = 0;
    while (*p >= Char('0') && *p <= Char('9')) {
      if (value < 0x7FFFFFFF) value = value * 10 + (*p - Char('0'));
      ++p;
    }
    return value > 0x7FFFFFFF ? 0x7FFFFFFF : value;
  }

  // Reads flags, width, precision and group fields, bracket text, size prefix and the
  // letter; false for an unknown letter (an unclosed bracket ends there too).
  bool Parse(const Char*& p, Spec* spec) {
    for (;; ++p) {
      Char c = *p;
      if (c == Char('-')) spec->align = Align::Left;
      else if (c == Char('=')) spec->align = Align::Centre;
      else if (c == Char('+')) spec->plus = true;
      else if (c == Char(' ')) spec->space = true;
      else if (c == Char('0')) spec->zeroFill = true;
      else if (c == Char('#')) spec->alternate = true;
      else if (c == Char('?')) spec->quiet = true;
      else break;
    }
    if (*p == Char('*')) {
      ++p;
      i64 width = va_arg(*m_args, int);
      if (width < 0) {
        spec->align = Align::Left;
        width = -width;
      }
      spec->width = width;
    } else {
      spec->width = ReadCount(p);
    }
    while (*p == Char('.') || *p == Char(',')) {
      bool precision = *p == Char('.');
      ++p;
      i64 value;
      if (*p == Char('*')) {
        ++p;
        value = va_arg(*m_args, int);
        // A negative precision counts by its size and aligns left; a negative group
        // size is below 1 and so turns grouping off.
        if (value < 0 && precision) {
          value = -value;
          spec->align = Align::Left;
        }
      } else {
        value = ReadCount(p);
      }
      if (precision)
        spec->precision = value;
      else
        spec->group = value < 1 ? -1 : value;
    }
    if (*p == Char('[')) {
      const Char* begin = ++p;
      while (*p && !(*p == Char(']') && p[-1] != Char('\\'))) ++p;
      if (!*p) return false;
      spec->bracketBegin = begin;
      spec->bracketEnd = p++;
    }
    if (*p == Char('h')) {
      spec->size = Spec::H;
      ++p;
    } else if (*p == Char('l')) {
      spec->size = Spec::L;
      ++p;
    } else if (*p == Char('w')) {
      spec->size = Spec::W;
      ++p;
    } else if (*p == Char('I')) {
      ++p;
      spec->size = Spec::I;
      if (p[0] == Char('3') && p[1] == Char('2')) {
        spec->size = Spec::I32;
        p += 2;
      } else if (p[0] == Char('6') && p[1] == Char('4')) {
        spec->size = Spec::I64;
        p += 2;
      }
    }
    u32 letter = u32(std::make_unsigned_t<Char>(*p));
    if (!letter) return false;
    ++p;
    bool otherWidth = sizeof(Char) == 1 ? (spec->size == Spec::L || spec->size == Spec::W) : spec->size == Spec::H;
    if (otherWidth && (letter == 'c' || letter == 's' || letter == 'k')) letter -= 'a' - 'A';
    spec->conversion = letter;
    switch (letter) {
      case 'd': case 'i': case 'u': case 'o': case 'x': case 'X': case 'b': case 'p':
      case 'c': case 'C': case 's': case 'S': case 'k': case 'K': case 't': case 'n':
      case 'e': case 'E': case 'f': case 'g': case 'G': case 'a': case 'A':
        return true;
      default:
        return false;
    }
  }

  // Prefix, fill and text, the last step of every conversion.
  template <class T>
  Result Emit(const Spec& spec, const char* prefix, const T* text, u32 length, bool zeroAllowed) {
    u32 prefixLength = 0;
    while (prefix[prefixLength]) ++prefixLength;
    i64 fill = spec.width - i64(length) - prefixLength;
    if (fill < 0) fill = 0;
    bool zeros = zeroAllowed && spec.zeroFill && spec.align == Align::Right;
    i64 before = spec.align == Align::Right ? fill : spec.align == Align::Centre ? fill / 2 : 0;
    i64 after = fill - before;
    if (zeros) {
      if (!PutText(prefix, prefixLength) || !PutRepeated(Char('0'), before)) return Result::Refused;
    } else if (!PutRepeated(Char(' '), before) || !PutText(prefix, prefixLength)) {
      return Result::Refused;
    }
    if (!PutText(text, length) || !PutRepeated(Char(' '), after)) return Result::Refused;
    return Result::Done;
  }

  Result Convert(const Spec& spec) {
    switch (spec.conversion) {
      case 'd': case 'i': case 'u': case 'o': case 'x': case 'X': case 'b': case 'p':
        return Integer(spec);
      case 'e': case 'E': case 'f': case 'g': case 'G': case 'a': case 'A':
        return Float(spec);
      case 'n': {
        int* target = va_arg(*m_args, int*);
        if (target) *target = int(m_count);
        return Result::Done;
      }
      case 't':
        return Date(spec);
      default:
        return Text(spec);
    }
  }

  Result Integer(const Spec& spec) {
    u32 letter = spec.conversion;
    bool isSigned = letter == 'd' || letter == 'i';
    u64 value;
    bool negative = false;
    if (letter == 'p') {
      value = reinterpret_cast<std::uintptr_t>(va_arg(*m_args, void*));
      if (!value) {
        Spec nil = spec;
        nil.zeroFill = false;
        return Emit(nil, "", "(nil)", 5, false);
      }
    } else if (spec.size == Spec::I64 || spec.size == Spec::L) {
      u64 raw = spec.size == Spec::L ? u64(va_arg(*m_args, long)) : u64(va_arg(*m_args, long long));
      value = raw;
      if (isSigned && i64(raw) < 0) {
        negative = true;
        value = 0 - raw;
      }
    } else {
      u32 raw = u32(va_arg(*m_args, int));
      if (spec.size == Spec::H) raw = isSigned ? u32(i32(i16(raw))) : u32(u16(raw));
      value = raw;
      if (isSigned && i32(raw) < 0) {
        negative = true;
        value = 0 - u64(i64(i32(raw)));
      }
    }
    u32 base = letter == 'o' ? 8 : letter == 'b' ? 2 : (letter == 'x' || letter == 'X' || letter == 'p') ? 16 : 10;
    const char* digitsOf = (letter == 'x' || letter == 'p') ? "0123456789abcdef" : "0123456789ABCDEF";
    i64 precision = spec.precision < 0 ? 1 : spec.precision;
    i64 group = spec.group;
    // Digits come out least significant first, with the group commas, and are reversed.
    u64 bound = u64(precision) + 66;
    if (group > 0) bound += bound / u64(group) + 1;
    if (bound > 0x7FFFFFF0u) {
      SLSetLastError(SL_E_OUT_OF_MEMORY);
      return Failed();
    }
    if (!m_helper->m_numberA.Reserve(u32(bound) + 2)) return Failed();
    char* text = m_helper->m_numberA.GetBufferTerminated();
    u32 length = 0, digits = 0, inGroup = 0;
    while (value || i64(digits) < precision) {
      if (group > 0 && inGroup == u64(group)) {
        text[length++] = ',';
        inGroup = 0;
      }
      text[length++] = digitsOf[value % base];
      value /= base;
      ++digits;
      ++inGroup;
    }
    if (letter == 'o' && spec.alternate) {
      if (group > 0 && inGroup == u64(group)) text[length++] = ',';
      text[length++] = '0';
    }
    for (u32 i = 0; i < length / 2; ++i) {
      char t = text[i];
      text[i] = text[length - 1 - i];
      text[length - 1 - i] = t;
    }
    const char* prefix = "";
    if (isSigned) prefix = negative ? "-" : spec.plus ? "+" : spec.space ? " " : "";
    return Emit(spec, prefix, text, length, spec.precision < 0);
  }

  Result Float(const Spec& spec) {
    double value = va_arg(*m_args, double);
    u32 letter = spec.conversion;
    bool upper = letter == 'A' || letter == 'E' || letter == 'G';
    u64 bits = 0;
    __builtin_memcpy(&bits, &value, sizeof bits);
    bool signBit = (bits >> 63) != 0;
    const char* signPrefix = signBit ? "-" : spec.plus ? "+" : spec.space ? " " : "";
    if (value != value || value - value != value - value) {
      const char* text = value != value ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
      return Emit(spec, signPrefix, text, 3, false);
    }
    SLFloatRequest request{&m_helper->m_numberA, 1, value, spec.alternate ? 1u : 0u,
                           spec.precision > 0x7FFFFFFF ? 0x7FFFFFFF : i32(spec.precision), letter, 0};
    bool hex = letter == 'a' || letter == 'A';
    bool ok = hex ? SLFormatFloatHex(&request) : SLFormatFloatDecimal(&request);
    if (ok && spec.group > 0) ok = SLGroupFloatDigits(&request, i32(spec.group), hex);
    if (!ok) return Result::Failed;
    char prefix[4] = {0, 0, 0, 0};
    u32 n = 0;
    if (*signPrefix) prefix[n++] = *signPrefix;
    if (hex) {
      prefix[n++] = '0';
      prefix[n++] = upper ? 'X' : 'x';
    }
    CSLStringAnsi& number = m_helper->m_numberA;
    return Emit(spec, prefix, number.CStr(), number.GetLength(), true);
  }

  Result Null(const Spec& spec) {
    if (spec.quiet) return Result::Done;
    Spec text = spec;
    text.zeroFill = false;
    static const char kNull[] = "(null)";
    u32 length = 6;
    if (spec.precision >= 0 && spec.precision < length) length = u32(spec.precision);
    return Emit(text, "", kNull, length, false);
  }

  template <class T>
  Result EmitCut(const Spec& spec, const T* text, u32 length) {
    if (spec.precision >= 0 && spec.precision < length) length = u32(spec.precision);
    return Emit(spec, "", text, length, false);
  }

  // Text of the other width, converted into this width's number text.
  Result Converted(const Spec& spec, const OtherChar* text, u32 length) {
    OutString& number = NumberText();
    bool ok;
    if constexpr (sizeof(Char) == 1)
      ok = number.AssignW(text, length);
    else
      ok = number.AssignA(text, length);
    if (!ok) return Result::Failed;
    return EmitCut(spec, number.CStr(), number.GetLength());
  }

  OutString& NumberText() {
    if constexpr (sizeof(Char) == 1)
      return m_helper->m_numberA;
    else
      return m_helper->m_numberW;
  }

  Result Text(const Spec& spec) {
    switch (spec.conversion) {
      case 'c': {
        Char ch = Char(va_arg(*m_args, int));
        return Emit(spec, "", &ch, 1, false);
      }
      case 'C': {
        OtherChar ch = OtherChar(va_arg(*m_args, int));
        return Converted(spec, &ch, 1);
      }
      case 's': {
        const Char* text = va_arg(*m_args, const Char*);
        if (!text) return Null(spec);
        return EmitCut(spec, text, BoundedLength(text, spec.precision));
      }
      case 'S': {
        const OtherChar* text = va_arg(*m_args, const OtherChar*);
        if (!text) return Null(spec);
        return Converted(spec, text, SL_TEXT_TO_END);
      }
      default: {  // k, K
        auto callback = va_arg(*m_args, SLPrintfTextCallback);
        std::uintptr_t value = va_arg(*m_args, std::uintptr_t);
        const void* text = nullptr;
        if (!callback || !callback(&text, value)) {
          if (!SLGetLastError(false)) SLSetLastError(SL_E_INVALID_ARG);
          return Result::Failed;
        }
        if (!text) return Null(spec);
        if (spec.conversion == 'k') {
          const Char* own = static_cast<const Char*>(text);
          return EmitCut(spec, own, BoundedLength(own, spec.precision));
        }
        return Converted(spec, static_cast<const OtherChar*>(text), SL_TEXT_TO_END);
      }
    }
  }

  Result Date(const Spec& spec) {
    const CSLDateTime* date = va_arg(*m_args, const CSLDateTime*);
    const void* extra = spec.alternate ? va_arg(*m_args, const void*) : nullptr;
    if (!date) return Null(spec);
    // The bracket text with its backslashes removed is the date format.
    OutString& format = DateFormat();
    format.Empty();
    const Char* begin = static_cast<const Char*>(spec.bracketBegin);
    const Char* end = static_cast<const Char*>(spec.bracketEnd);
    for (const Char* c = begin; c && c < end; ++c)
      if (*c != Char('\\') && !format.Append(c, 1)) return Result::Failed;
    if (format.IsEmpty()) {
      static const char kDefault[] = "%Y-%m-%d %H:%M:%S";
      for (const char* c = kDefault; *c; ++c) {
        Char ch = Char(*c);
        if (!format.Append(&ch, 1)) return Result::Failed;
      }
    }
    OutString& number = NumberText();
    bool ok;
    if constexpr (sizeof(Char) == 1)
      ok = date->FormatA(&number, format.CStr(), static_cast<const SLDateFormatNamesA*>(extra), nullptr);
    else
      ok = date->FormatW(&number, format.CStr(), static_cast<const SLDateFormatNamesW*>(extra), nullptr);
    if (!ok) return Result::Failed;
    return EmitCut(spec, number.CStr(), number.GetLength());
  }

  OutString& DateFormat() {
    if constexpr (sizeof(Char) == 1)
      return m_helper->m_dateFormatA;
    else
      return m_helper->m_dateFormatW;
  }

  Result Failed() { return Result::Failed; }

  // A precision limits how far a text is read, not only how much of it is printed.
  static u32 BoundedLength(const Char* text, i64 precision) {
    if (precision < 0) return Length(text);
    u32 n = 0;
    while (n < precision && text[n]) ++n;
    return n;
  }

  SLInternals::CMXSPrintfHelper* m_helper;
  SLPrintfDispatchFunc m_dispatch;
  SLPrintfWriter m_writer;
  void* m_context;
  va_list* m_args;
  u32 m_count = 0;
};

// The buffer writer of the snprintf front ends.
template <class Char>
struct BufferWriter {
  Char* buffer;
  u32 size;
  u32 used;

  static u32 Write(u32 ch, void* context) {
    auto* self = static_cast<BufferWriter*>(context);
    if (self->used >= self->size) return 0;
    self->buffer[self->used++] = Char(ch);
    return 1;
  }
};

template <class Char>
u32 BufferFormat(Char* buffer, u32 size, const Char* format, va_list args) {
  if (!buffer && size) return SLFail(SL_E_INVALID_ARG, 0u);
  SLInternals::CMXSPrintfHelper* helper = SLInternals::CMXSPrintfHelper::Get();
  if (!helper) return 0;
  BufferWriter<Char> writer{buffer, size, 0};
  u32 result = helper->Format(sizeof(Char), &SLPrintfDispatch, &BufferWriter<Char>::Write, &writer, format, args);
  // Whatever happened, the text ends inside the buffer.
  if (size) buffer[result < size ? result : size - 1] = 0;
  return result;
}

}  // namespace

u32 SLPrintfDispatch(SLPrintfWriter writer, u32 ch, void* context) { return writer(ch, context); }

namespace SLInternals {

CSLBaseThreadData* CMXSPrintfHelper::CreateInstance() { return new CMXSPrintfHelper(); }

CMXSPrintfHelper* CMXSPrintfHelper::Get() {
  return static_cast<CMXSPrintfHelper*>(SLGetThreadData(&s_helperSlot, &CreateInstance));
}

u32 CMXSPrintfHelper::Format(u32 charSize, SLPrintfDispatchFunc dispatch, SLPrintfWriter writer, void* context,
                             const void* format, va_list args) {
  if (!writer || !format || !dispatch) return SLFail(SL_E_INVALID_ARG, 0u);
  va_list copy;
  va_copy(copy, args);
  u32 result;
  if (charSize == 2)
    result = Engine<SLWChar>(this, dispatch, writer, context, &copy).Run(static_cast<const SLWChar*>(format));
  else
    result = Engine<char>(this, dispatch, writer, context, &copy).Run(static_cast<const char*>(format));
  va_end(copy);
  return result;
}

}  // namespace SLInternals

u32 SLVFormatA(SLPrintfWriter writer, void* context, const char* format, va_list args) {
  SLInternals::CMXSPrintfHelper* helper = SLInternals::CMXSPrintfHelper::Get();
  if (!helper) return 0;
  return helper->Format(1, &SLPrintfDispatch, writer, context, format, args);
}

u32 SLVFormatW(SLPrintfWriter writer, void* context, const SLWChar* format, va_list args) {
  SLInternals::CMXSPrintfHelper* helper = SLInternals::CMXSPrintfHelper::Get();
  if (!helper) return 0;
  return helper->Format(2, &SLPrintfDispatch, writer, context, format, args);
}

u32 SLVsnprintfA(char* buffer, u32 size, const char* format, va_list args) {
  return BufferFormat(buffer, size, format, args);
}

u32 SLSnprintfA(char* buffer, u32 size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  u32 result = BufferFormat(buffer, size, format, args);
  va_end(args);
  return result;
}

u32 SLVsnprintfW(SLWChar* buffer, u32 size, const SLWChar* format, va_list args) {
  return BufferFormat(buffer, size, format, args);
}

u32 SLSnprintfW(SLWChar* buffer, u32 size, const SLWChar* format, ...) {
  va_list args;
  va_start(args, format);
  u32 result = BufferFormat(buffer, size, format, args);
  va_end(args);
  return result;
}
