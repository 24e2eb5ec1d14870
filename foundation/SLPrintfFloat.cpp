// Exact conversion of doubles to decimal and hexadecimal text for the printf engine.
//
// A finite double is m x 2^e with a 53-bit integer m. Its integer part is turned into
// decimal digits by repeated division by 10^9; its fraction is kept as a multi-limb
// number scaled so that the binary point sits on a limb boundary: multiplying it by 10
// then carries exactly the next decimal digit out of the top limb. Every digit is
// therefore exact, and rounding looks at the true remainder.
#include <cstring>

#include "foundation/SLError.h"
#include "foundation/SLPrintf.h"

namespace {

// 2^1024 needs 33 limbs, a fraction of 2^-1074 needs 34 (plus the scaling shift).
constexpr u32 kMaxLimbs = 36;

struct Decomposed {
  u64 mantissa;
  i32 exponent;  // value = mantissa x 2^exponent
  bool negative;
};

Decomposed Decompose(double value) {
  u64 bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  Decomposed d;
  d.negative = (bits >> 63) != 0;
  u32 field = u32(bits >> 52) & 0x7FF;
  u64 fraction = bits & ((u64(1) << 52) - 1);
  if (field == 0) {
    d.mantissa = fraction;
    d.exponent = -1074;
  } else {
    d.mantissa = fraction | (u64(1) << 52);
    d.exponent = i32(field) - 1075;
  }
  return d;
}

// The decimal expansion of |value|, read digit by digit from the first integer digit on.
class DigitStream {
 public:
  explicit DigitStream(const Decomposed& d) {
    u64 m = d.mantissa;
    i32 e = d.exponent;
    if (e >= 0) {
      MakeIntegerDigits(m, u32(e));
    } else {
      u32 s = u32(-e);
      u64 integer = s >= 64 ? 0 : m >> s;
      u64 fraction = s >= 64 ? m : m & ((u64(1) << s) - 1);
      MakeIntegerDigits(integer, 0);
      // Scale the fraction so that its binary point lies after the top limb.
      m_fracLimbs = (s + 31) / 32;
      u32 shift = m_fracLimbs * 32 - s;
      unsigned __int128 placed = (unsigned __int128)fraction << shift;
      std::memset(m_frac, 0, sizeof m_frac);
      for (u32 i = 0; i < 4 && i < m_fracLimbs; ++i) m_frac[i] = u32(placed >> (32 * i));
      // The fraction's low limbs come first; when it is wider than 128 bits the value
      // sits in the low limbs already (s >= 64 means m < 2^s fits below the point).
    }
  }

  u32 IntegerDigitCount() const { return m_intCount; }

  u32 Next() {
    if (m_intPos < m_intCount) return u32(m_intDigits[m_intPos++] - '0');
    if (!m_fracLimbs) return 0;
    u64 carry = 0;
    for (u32 i = 0; i < m_fracLimbs; ++i) {
      u64 product = u64(m_frac[i]) * 10 + carry;
      m_frac[i] = u32(product);
      carry = product >> 32;
    }
    return u32(carry);
  }

  bool RestNonZero() const {
    for (u32 i = m_intPos; i < m_intCount; ++i)
      if (m_intDigits[i] != '0') return true;
    for (u32 i = 0; i < m_fracLimbs; ++i)
      if (m_frac[i]) return true;
    return false;
  }

 private:
  // Decimal digits of m x 2^shift (no leading zeros; none for 0).
  void MakeIntegerDigits(u64 m, u32 shift) {
    m_intCount = m_intPos = 0;
    if (m == 0) return;
    char reversed[340];
    u32 count = 0;
    if (shift == 0) {
      while (m) {
        reversed[count++] = char('0' + m % 10);
        m /= 10;
      }
    } else {
      u32 limbs[kMaxLimbs] = {};
      u32 n = shift / 32 + 3;
      unsigned __int128 placed = (unsigned __int128)m << (shift % 32);
      for (u32 i = 0; i < 3; ++i) limbs[shift / 32 + i] = u32(placed >> (32 * i));
      while (n && !limbs[n - 1]) --n;
      while (n) {
        u64 remainder = 0;
        for (u32 i = n; i-- > 0;) {
          u64 current = (remainder << 32) | limbs[i];
          limbs[i] = u32(current / 1000000000u);
          remainder = current % 1000000000u;
        }
        while (n && !limbs[n - 1]) --n;
        for (u32 k = 0; k < 9; ++k) {
          reversed[count++] = char('0' + remainder % 10);
          remainder /= 10;
          if (!n && !remainder) break;
        }
      }
    }
    while (count > 1 && reversed[count - 1] == '0') --count;
    for (u32 i = 0; i < count; ++i) m_intDigits[i] = reversed[count - 1 - i];
    m_intCount = count;
  }

  char m_intDigits[340];
  u32 m_intCount = 0;
  u32 m_intPos = 0;
  u32 m_frac[kMaxLimbs] = {};
  u32 m_fracLimbs = 0;
};

// Rounds digits[0..count) (values 0-9) at their end, ties to even; true when the carry
// ran out of the first digit (the digits are then all 0).
bool RoundDigits(u8* digits, u32 count, u32 next, bool rest) {
  u32 last = count ? digits[count - 1] : 0;
  bool up = next > 5 || (next == 5 && (rest || (last & 1)));
  if (!up) return false;
  for (u32 i = count; i-- > 0;) {
    if (digits[i] < 9) {
      ++digits[i];
      return false;
    }
    digits[i] = 0;
  }
  return true;
}

template <class Char>
class TextOut {
 public:
  TextOut(Char* buffer) : m_buffer(buffer) {}
  void Put(char ch) { m_buffer[m_count++] = Char(u8(ch)); }
  u32 Count() const { return m_count; }
  Char* Data() { return m_buffer; }

 private:
  Char* m_buffer;
  u32 m_count = 0;
};

// e form with `precision` fraction digits; returns the decimal exponent.
i32 SignificantDigits(DigitStream& stream, bool zero, u8* digits, u32 count) {
  i32 exponent = 0;
  u32 first = 0;
  if (zero) {
    std::memset(digits, 0, count);
    return 0;
  }
  if (stream.IntegerDigitCount()) {
    exponent = i32(stream.IntegerDigitCount()) - 1;
    first = stream.Next();
  } else {
    do {
      first = stream.Next();
      --exponent;
    } while (first == 0);
  }
  digits[0] = u8(first);
  for (u32 i = 1; i < count; ++i) digits[i] = u8(stream.Next());
  u32 next = stream.Next();
  if (RoundDigits(digits, count, next, stream.RestNonZero())) {
    digits[0] = 1;
    ++exponent;
  }
  return exponent;
}

template <class Char>
void WriteExponent(TextOut<Char>& out, char letter, i32 exponent, u32 minDigits) {
  out.Put(letter);
  out.Put(exponent < 0 ? '-' : '+');
  u32 magnitude = u32(exponent < 0 ? -exponent : exponent);
  char text[12];
  u32 n = 0;
  do {
    text[n++] = char('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  while (n < minDigits) text[n++] = '0';
  while (n) out.Put(text[--n]);
}

template <class Char>
void WriteE(TextOut<Char>& out, const Decomposed& d, u32 precision, bool alternate, bool upper, u8* digits) {
  DigitStream stream(d);
  i32 exponent = SignificantDigits(stream, d.mantissa == 0, digits, precision + 1);
  out.Put(char('0' + digits[0]));
  if (precision || alternate) out.Put('.');
  for (u32 i = 1; i <= precision; ++i) out.Put(char('0' + digits[i]));
  WriteExponent(out, upper ? 'E' : 'e', exponent, 2);
}

template <class Char>
void WriteF(TextOut<Char>& out, const Decomposed& d, u32 precision, bool alternate, u8* digits) {
  DigitStream stream(d);
  u32 intCount = stream.IntegerDigitCount();
  u32 intLength = intCount ? intCount : 1;
  // digits[0] stays free for a carry out of the first digit.
  u8* body = digits + 1;
  for (u32 i = 0; i < intLength + precision; ++i) body[i] = u8(intCount || i >= 1 ? stream.Next() : 0);
  u32 next = stream.Next();
  u8* start = body;
  if (RoundDigits(body, intLength + precision, next, stream.RestNonZero())) {
    start = digits;
    start[0] = 1;
    ++intLength;
  }
  for (u32 i = 0; i < intLength; ++i) out.Put(char('0' + start[i]));
  if (precision || alternate) out.Put('.');
  for (u32 i = 0; i < precision; ++i) out.Put(char('0' + start[intLength + i]));
}

// Removes trailing fraction zeros, then a trailing point, from text[begin..end).
template <class Char>
u32 StripZeros(Char* text, u32 end) {
  u32 point = end;
  for (u32 i = 0; i < end; ++i)
    if (text[i] == Char('.')) point = i;
  if (point == end) return end;
  while (end > point + 1 && text[end - 1] == Char('0')) --end;
  if (end == point + 1) --end;
  return end;
}

template <class String, class Char>
Char* ReserveText(SLFloatRequest* request, u64 bound) {
  String* out = static_cast<String*>(request->output);
  if (bound >= 0x7FFFFFF0u) {
    SLSetLastError(SL_E_OUT_OF_MEMORY);
    return nullptr;
  }
  if (!out->Reserve(u32(bound) + 1)) return nullptr;
  return out->GetBufferTerminated();
}

template <class String, class Char>
bool FormatDecimal(SLFloatRequest* request) {
  Decomposed d = Decompose(request->value);
  request->sign = d.negative ? -1 : 1;
  u32 conversion = request->conversion;
  bool alternate = request->alternate != 0;
  i64 precision = request->precision < 0 ? 6 : request->precision;
  bool upper = conversion == 'E' || conversion == 'G';
  // Digits of the widest form: 309 integer digits, the fraction, a carry and the exponent.
  u64 bound = u64(precision) + 330;
  Char* buffer = ReserveText<String, Char>(request, bound * 2 + 32);
  if (!buffer) return false;
  u8* digits = reinterpret_cast<u8*>(buffer) + (bound + 8) * sizeof(Char);
  TextOut<Char> out(buffer);
  if (conversion == 'f') {
    WriteF(out, d, u32(precision), alternate, digits);
  } else if (conversion == 'e' || conversion == 'E') {
    WriteE(out, d, u32(precision), alternate, upper, digits);
  } else {
    u32 significant = precision == 0 ? 1 : u32(precision);
    DigitStream probe(d);
    i32 exponent = SignificantDigits(probe, d.mantissa == 0, digits, significant);
    if (exponent < -4 || exponent >= i32(significant)) {
      WriteE(out, d, significant - 1, alternate, upper, digits);
      if (!alternate) {
        // Strip before the exponent, then move the exponent down.
        Char* text = out.Data();
        u32 e = 0;
        while (text[e] != Char(upper ? 'E' : 'e')) ++e;
        u32 kept = StripZeros(text, e);
        u32 total = out.Count();
        for (u32 i = e; i < total; ++i) text[kept + i - e] = text[i];
        out = TextOut<Char>(text);
        for (u32 i = 0; i < kept + total - e; ++i) out.Put(char(text[i]));
      }
    } else {
      WriteF(out, d, u32(i32(significant) - 1 - exponent), alternate, digits);
      if (!alternate) {
        u32 kept = StripZeros(out.Data(), out.Count());
        Char* text = out.Data();
        out = TextOut<Char>(text);
        for (u32 i = 0; i < kept; ++i) out.Put(char(text[i]));
      }
    }
  }
  String* string = static_cast<String*>(request->output);
  buffer[out.Count()] = 0;
  string->GetLength(true);
  return SLSucceed(true);
}

template <class String, class Char>
bool FormatHex(SLFloatRequest* request) {
  u64 bits = 0;
  std::memcpy(&bits, &request->value, sizeof bits);
  request->sign = (bits >> 63) ? -1 : 1;
  u32 field = u32(bits >> 52) & 0x7FF;
  u64 fraction = bits & ((u64(1) << 52) - 1);
  u32 lead = field ? 1 : 0;
  i32 exponent = field ? i32(field) - 1023 : (fraction ? -1022 : 0);
  const char* hex = request->conversion == 'A' ? "0123456789ABCDEF" : "0123456789abcdef";
  u8 digits[13];
  for (u32 i = 0; i < 13; ++i) digits[i] = u8((fraction >> (48 - 4 * i)) & 0xF);
  u32 count = 13;
  while (count && !digits[count - 1]) --count;
  i64 precision = request->precision < 0 ? count : request->precision;
  if (precision < count) {
    u32 keep = u32(precision);
    u32 dropped = digits[keep];
    bool further = false;
    for (u32 i = keep + 1; i < count; ++i) further |= digits[i] != 0;
    u32 last = keep ? digits[keep - 1] : lead;
    if (dropped > 8 || (dropped == 8 && (further || (last & 1)))) {
      u32 i = keep;
      while (i > 0 && digits[i - 1] == 15) digits[--i] = 0;
      if (i > 0)
        ++digits[i - 1];
      else
        ++lead;
    }
    count = keep;
  }
  Char* buffer = ReserveText<String, Char>(request, u64(precision) + 32);
  if (!buffer) return false;
  TextOut<Char> out(buffer);
  out.Put(hex[lead]);
  if (precision > 0 || request->alternate) out.Put('.');
  for (i64 i = 0; i < precision; ++i) out.Put(i < count ? hex[digits[i]] : '0');
  WriteExponent(out, request->conversion == 'A' ? 'P' : 'p', exponent, 1);
  String* string = static_cast<String*>(request->output);
  buffer[out.Count()] = 0;
  string->GetLength(true);
  return SLSucceed(true);
}

template <class String, class Char>
bool GroupDigits(SLFloatRequest* request, i32 groupSize, bool hexadecimal) {
  if (groupSize < 1) return SLSucceed(true);
  String* string = static_cast<String*>(request->output);
  u32 length = string->GetLength();
  const Char* text = string->CStr();
  const char* ends = hexadecimal ? ".Pp" : ".EFGefg";
  u32 integerEnd = 0;
  while (integerEnd < length) {
    bool stop = false;
    for (const char* e = ends; *e; ++e) stop |= text[integerEnd] == Char(*e);
    if (stop) break;
    ++integerEnd;
  }
  u32 separators = integerEnd ? (integerEnd - 1) / u32(groupSize) : 0;
  if (!separators) return SLSucceed(true);
  if (!string->Reserve(length + separators + 1)) return false;
  Char* buffer = string->GetBufferTerminated();
  // Move from the end so that the text can widen in place.
  u32 write = length + separators;
  buffer[write] = 0;
  for (u32 read = length; read > integerEnd;) buffer[--write] = buffer[--read];
  u32 inGroup = 0;
  for (u32 read = integerEnd; read > 0;) {
    if (inGroup == u32(groupSize)) {
      buffer[--write] = Char(',');
      inGroup = 0;
    }
    buffer[--write] = buffer[--read];
    ++inGroup;
  }
  string->GetLength(true);
  return SLSucceed(true);
}

}  // namespace

bool SLFormatFloatDecimal(SLFloatRequest* request) {
  if (!request || !request->output) return SLFail(SL_E_INVALID_ARG, false);
  return request->charSize == 2 ? FormatDecimal<CSLStringWide, SLWChar>(request)
                                : FormatDecimal<CSLStringAnsi, char>(request);
}

bool SLFormatFloatHex(SLFloatRequest* request) {
  if (!request || !request->output) return SLFail(SL_E_INVALID_ARG, false);
  return request->charSize == 2 ? FormatHex<CSLStringWide, SLWChar>(request)
                                : FormatHex<CSLStringAnsi, char>(request);
}

bool SLGroupFloatDigits(SLFloatRequest* request, i32 groupSize, bool hexadecimal) {
  if (!request || !request->output) return SLFail(SL_E_INVALID_ARG, false);
  return request->charSize == 2 ? GroupDigits<CSLStringWide, SLWChar>(request, groupSize, hexadecimal)
                                : GroupDigits<CSLStringAnsi, char>(request, groupSize, hexadecimal);
}
