// Exact text-to-double conversion (decimal and hexadecimal), and the functions that take
// a binary64 apart and build one.
#include <cstring>

#include "foundation/SLError.h"
#include "foundation/SLMpn.h"
#include "foundation/SLStr.h"

void SLSplitDouble(double value, u32* negative, u32* fractionLow, u32* fractionHigh, i32* exponent) {
  u64 bits;
  std::memcpy(&bits, &value, 8);
  if (negative) *negative = u32(bits >> 63);
  if (fractionLow) *fractionLow = u32(bits);
  if (fractionHigh) *fractionHigh = u32(bits >> 32) & 0xFFFFFu;
  if (exponent) *exponent = i32((bits >> 52) & 0x7FF) - 1023;
}

double SLMakeDouble(u32 negative, u32 fractionLow, u32 fractionHigh, i32 exponent) {
  u64 bits = (u64(negative ? 1 : 0) << 63) | (u64(u32(exponent + 1023) & 0x7FF) << 52) |
             (u64(fractionHigh & 0xFFFFFu) << 32) | fractionLow;
  double value;
  std::memcpy(&value, &bits, 8);
  return value;
}

int SLIsInfinite(double value) {
  u32 negative, low, high;
  i32 exponent;
  SLSplitDouble(value, &negative, &low, &high, &exponent);
  if (exponent != 1024 || low || high) return 0;
  return negative ? -1 : 1;
}

int SLIsNaN(double value) {
  u32 negative, low, high;
  i32 exponent;
  SLSplitDouble(value, &negative, &low, &high, &exponent);
  if (exponent != 1024 || (!low && !high)) return 0;
  return negative ? -1 : 1;
}

namespace {

// More significant digits than this never change the rounding: a binary64 rounding
// boundary (a halfway point) has at most 767 significant decimal digits, so digits past
// the 800th only tell whether the value lies above the kept ones (the sticky bit).
constexpr u32 kMaxDigits = 800;
// Limbs for the numbers of the conversion: 800 digits (84 limbs) shifted by up to the
// size of 5^1124 (82 limbs) plus a few.
constexpr u32 kMaxLimbs = 200;

// 5^(2^i) for i = 0..10 as limb arrays: 10^(2^i) = 5^(2^i) * 2^(2^i), the binary factor
// going into the exponent.
struct PowerTable {
  u32 limbs[11][80];
  u32 count[11];
};

constexpr PowerTable MakePowerTable() {
  PowerTable table{};
  table.limbs[0][0] = 5;
  table.count[0] = 1;
  for (int i = 1; i < 11; ++i) {
    const u32* a = table.limbs[i - 1];
    u32 n = table.count[i - 1];
    u32* r = table.limbs[i];
    for (u32 x = 0; x < n; ++x) {
      u64 carry = 0;
      for (u32 y = 0; y < n; ++y) {
        u64 t = u64(a[x]) * a[y] + r[x + y] + carry;
        r[x + y] = u32(t);
        carry = t >> 32;
      }
      r[x + n] = u32(carry);
    }
    u32 count = 2 * n;
    while (count > 1 && r[count - 1] == 0) --count;
    table.count[i] = count;
  }
  return table;
}
constexpr PowerTable kPowersOfFive = MakePowerTable();

constexpr u32 kSmallPowersOfFive[14] = {1,      5,       25,       125,       625,        3125,       15625,
                                        78125,  390625,  1953125,  9765625,   48828125,   244140625,  1220703125};
constexpr double kExactPowersOfTen[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A natural number in a fixed stack array.
struct Number {
  u32 limbs[kMaxLimbs];
  u32 count = 0;
  void Trim() {
    while (count > 0 && limbs[count - 1] == 0) --count;
  }
  u32 Bits() const { return count ? count * 32 - SLMpnCountLeadingZeros(limbs[count - 1]) : 0; }
};

// r = 5^k (k up to ~1200).
void PowerOfFive(Number& r, u32 k) {
  if (k < 14) {
    r.limbs[0] = kSmallPowersOfFive[k];
    r.count = 1;
    return;
  }
  r.limbs[0] = 1;
  r.count = 1;
  Number product;
  for (u32 i = 0; i < 11 && k; ++i, k >>= 1) {
    if (!(k & 1)) continue;
    const u32* p = kPowersOfFive.limbs[i];
    u32 pn = kPowersOfFive.count[i];
    if (r.count >= pn)
      SLMpnMul(product.limbs, r.limbs, r.count, p, pn);
    else
      SLMpnMul(product.limbs, p, pn, r.limbs, r.count);
    product.count = r.count + pn;
    product.Trim();
    std::memcpy(r.limbs, product.limbs, std::size_t(product.count) * 4);
    r.count = product.count;
  }
}

// r <<= bits (r has room).
void ShiftLeft(Number& r, u32 bits) {
  u32 words = bits / 32;
  bits %= 32;
  if (bits) {
    u32 out = SLMpnLShift(r.limbs, r.limbs, r.count, bits);
    if (out) r.limbs[r.count++] = out;
  }
  if (words) {
    std::memmove(r.limbs + words, r.limbs, std::size_t(r.count) * 4);
    std::memset(r.limbs, 0, std::size_t(words) * 4);
    r.count += words;
  }
}

// The top 64 bits of a number with at least one bit; *exponent2 receives the binary
// exponent of the lowest kept bit and *sticky is set when a lower bit is 1.
u64 TopBits(const Number& n, i64* exponent2, bool* sticky) {
  u32 bits = n.Bits();
  u64 top = 0;
  i64 shift = i64(bits) - 64;  // bits below the kept 64
  if (shift <= 0) {
    for (u32 i = n.count; i-- > 0;) top = (top << 32) | n.limbs[i];
    top <<= -shift;
  } else {
    u32 word = u32(shift / 32);
    u32 bit = u32(shift % 32);
    // 96 bits from limb `word` up, then the wanted 64.
    u32 w0 = n.limbs[word];
    u32 w1 = word + 1 < n.count ? n.limbs[word + 1] : 0;
    u32 w2 = word + 2 < n.count ? n.limbs[word + 2] : 0;
    unsigned __int128 window = (unsigned __int128)w2 << 64 | (unsigned __int128)w1 << 32 | w0;
    top = u64(window >> bit);
    if (bit && (w0 & ((1u << bit) - 1))) *sticky = true;
    for (u32 i = 0; i < word && !*sticky; ++i)
      if (n.limbs[i]) *sticky = true;
  }
  *exponent2 = shift;
  return top;
}

// Rounds m * 2^exponent2 (plus something below when sticky) to the nearest double, ties
// to even. Range failures set *code.
double RoundToDouble(u64 m, i64 exponent2, bool sticky, u32 negative, u32* code) {
  int leading = __builtin_clzll(m);
  m <<= leading;
  exponent2 -= leading;
  i64 unbiased = exponent2 + 63;  // m is now 1.xxx * 2^unbiased
  auto infinity = [&] {
    *code = SL_E_OVERFLOW;
    return SLMakeDouble(negative, 0, 0, 1024);
  };
  auto zero = [&] {
    *code = SL_E_UNDERFLOW;
    return SLMakeDouble(negative, 0, 0, -1023);
  };
  if (unbiased > 1023) return infinity();
  i64 shift = 11;
  bool denormal = unbiased < -1022;
  if (denormal) shift += -1022 - unbiased;
  if (shift > 64) return zero();
  u64 kept = shift == 64 ? 0 : m >> shift;
  bool roundBit = (m >> (shift - 1)) & 1;
  bool below = sticky || (m & ((u64(1) << (shift - 1)) - 1)) != 0;
  if (roundBit && (below || (kept & 1))) ++kept;
  u32 limbs[2];
  if (denormal) {
    if (kept == 0) return zero();
    // A carry into bit 52 gives the smallest normal number, which the same encoding holds.
    limbs[0] = u32(kept);
    limbs[1] = u32(kept >> 32);
    return SLMpnConstructDouble(limbs, -1074, negative);
  }
  if (kept >> 53) {
    kept >>= 1;
    ++unbiased;
    if (unbiased > 1023) return infinity();  // overflow found by rounding
  }
  limbs[0] = u32(kept);
  limbs[1] = u32(kept >> 32);
  return SLMpnConstructDouble(limbs, i32(unbiased - 52), negative);
}

template <class C>
struct Literals;
template <>
struct Literals<char> {
  static constexpr const char* point = ".";
  static constexpr const char* inf = "inf";
  static constexpr const char* nan = "nan";
  static int NICmp(const char* a, const char* b, u32 n) { return SLStrNICmpA(a, b, n); }
  static u32 Len(const char* a) { return SLStrLenA(a); }
};
template <>
struct Literals<SLWChar> {
  static constexpr const SLWChar* point = u".";
  static constexpr const SLWChar* inf = u"inf";
  static constexpr const SLWChar* nan = u"nan";
  static int NICmp(const SLWChar* a, const SLWChar* b, u32 n) { return SLStrNICmpW(a, b, n); }
  static u32 Len(const SLWChar* a) { return SLStrLenW(a); }
};

inline u32 HexValue(u32 c) {
  if (c >= '0' && c <= '9') return c - '0';
  c |= 0x20;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 99;
}

// The significant digits of the mantissa: from `first` (a non-zero digit) over `count`
// digits, stepping over the decimal point (`point`, `pointLength` characters) once.
template <class C>
struct DigitWalker {
  const C* p;
  const C* point;
  u32 pointLength;
  u32 Next(u32 base) {
    if (point && p == point) p += pointLength;
    u32 c = u32(*p++);
    return base == 10 ? c - '0' : HexValue(c);
  }
};

template <class C>
double DecimalValue(DigitWalker<C> walker, u32 digits, i64 exponent10, u32 negative, u32* code) {
  // value = 0.d1 d2 ... dn * 10^exponent10, within [10^(exponent10 - 1), 10^exponent10)
  if (exponent10 - 1 >= 309) {
    *code = SL_E_OVERFLOW;
    return SLMakeDouble(negative, 0, 0, 1024);
  }
  if (exponent10 <= -324) {  // below 10^-324, under half the smallest denormal
    *code = SL_E_UNDERFLOW;
    return SLMakeDouble(negative, 0, 0, -1023);
  }
  u32 kept = digits < kMaxDigits ? digits : kMaxDigits;
  bool sticky = digits > kept;  // the last digit, dropped, is not zero
  i64 scale = exponent10 - kept;  // value = D * 10^scale

  if (kept <= 15 && scale >= -22 && scale <= 22) {
    // D and 10^|scale| are exact doubles: one correctly rounded operation.
    u64 d = 0;
    for (u32 i = 0; i < kept; ++i) d = d * 10 + walker.Next(10);
    double value = scale >= 0 ? double(d) * kExactPowersOfTen[scale] : double(d) / kExactPowersOfTen[-scale];
    *code = SL_OK;
    return negative ? -value : value;
  }

  Number n;
  n.limbs[0] = 0;
  n.count = 1;
  for (u32 i = 0; i < kept;) {
    u32 group = 0;
    u32 size = 0;
    for (; size < 9 && i < kept; ++size, ++i) group = group * 10 + walker.Next(10);
    u32 carry = SLMpnMul1(n.limbs, n.limbs, n.count, kSmallPowersOfFive[size] << size);
    if (carry) n.limbs[n.count++] = carry;
    carry = SLMpnAdd1(n.limbs, n.limbs, n.count, group);
    if (carry) n.limbs[n.count++] = carry;
  }
  n.Trim();

  i64 exponent2 = 0;
  u64 top;
  if (scale >= 0) {
    // D * 5^scale * 2^scale
    Number power, product;
    PowerOfFive(power, u32(scale));
    if (n.count >= power.count)
      SLMpnMul(product.limbs, n.limbs, n.count, power.limbs, power.count);
    else
      SLMpnMul(product.limbs, power.limbs, power.count, n.limbs, n.count);
    product.count = n.count + power.count;
    product.Trim();
    top = TopBits(product, &exponent2, &sticky);
    exponent2 += scale;
  } else {
    // D * 2^s / 5^k * 2^(-s-k), with s chosen for a quotient of at least 65 bits.
    u32 k = u32(-scale);
    Number divisor, quotient;
    PowerOfFive(divisor, k);
    u32 normalise = SLMpnCountLeadingZeros(divisor.limbs[divisor.count - 1]);
    if (normalise) SLMpnLShift(divisor.limbs, divisor.limbs, divisor.count, normalise);
    i64 s = i64(divisor.Bits()) - i64(n.Bits()) + 66;
    if (s < 0) s = 0;
    ShiftLeft(n, u32(s) + normalise);
    if (n.count < divisor.count) n.limbs[n.count++] = 0;
    u32 qCount = n.count - divisor.count;
    u32 qTop = SLMpnDivRem(quotient.limbs, n.limbs, n.count, divisor.limbs, divisor.count);
    quotient.limbs[qCount] = qTop;
    quotient.count = qCount + 1;
    quotient.Trim();
    for (u32 i = 0; i < divisor.count && !sticky; ++i)
      if (n.limbs[i]) sticky = true;
    top = TopBits(quotient, &exponent2, &sticky);
    exponent2 -= s + i64(k);
  }
  *code = SL_OK;
  return RoundToDouble(top, exponent2, sticky, negative, code);
}

template <class C>
double HexValueOf(DigitWalker<C> walker, u32 digits, i64 exponent16, i64 exponent2, u32 negative, u32* code) {
  // value = 0.h1 h2 ... hn * 16^exponent16 * 2^exponent2; 16 digits fill 64 bits.
  u32 kept = digits < 16 ? digits : 16;
  u64 m = 0;
  for (u32 i = 0; i < kept; ++i) m = m << 4 | walker.Next(16);
  bool sticky = digits > kept;
  *code = SL_OK;
  return RoundToDouble(m, 4 * (exponent16 - kept) + exponent2, sticky, negative, code);
}

template <class C>
double ToDouble(const C* text, u32 length, const C* decimalPoint, const C** end) {
  using L = Literals<C>;
  if (end) *end = text;
  if (!text && length != 0) return SLFail(SL_E_NULL_DATA, 0.0);
  if (!text) return SLSucceed(0.0);
  if (!decimalPoint || !*decimalPoint) decimalPoint = L::point;
  u32 pointLength = L::Len(decimalPoint);

  const C* p = text;
  u32 left = length;
  auto skipBlanks = [&] {
    while (left && (*p == ' ' || *p == '\t')) ++p, --left;
  };
  auto isDigit = [](C c) { return c >= '0' && c <= '9'; };
  u32 code = SL_OK;
  double value = 0.0;

  skipBlanks();
  u32 negative = 0;
  if (left && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p, --left;
  }
  skipBlanks();

  if (left >= 3 && !isDigit(*p) && L::NICmp(p, L::inf, 3) == 0) {
    value = SLMakeDouble(negative, 0, 0, 1024);
    p += 3, left -= 3;
  } else if (left >= 3 && !isDigit(*p) && L::NICmp(p, L::nan, 3) == 0) {
    value = SLMakeDouble(negative, 0, 0x80000, 1024);  // quiet NaN, sign as written
    p += 3, left -= 3;
  } else {
    bool hex = false;
    if (left >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
      hex = true;
      p += 2, left -= 2;
    }
    const u32 base = hex ? 16 : 10;
    auto digitOf = [&](C c) { return hex ? HexValue(u32(c)) : (isDigit(c) ? u32(c - '0') : 99u); };
    while (left && *p == '0') ++p, --left;

    // Mantissa: integer digits (after the leading zeros), the point, fraction digits.
    const C* point = nullptr;
    const C* first = nullptr;  // first non-zero digit
    u64 integerDigits = 0;
    u64 leadingFractionZeros = 0;  // zeros after the point before the first non-zero digit
    u64 significant = 0;           // digits from `first` to the last non-zero one
    u64 sinceFirst = 0;            // digits from `first` to here
    while (left) {
      u32 digit = digitOf(*p);
      if (digit < base) {
        if (!point) ++integerDigits;
        if (!first && digit == 0) {
          ++leadingFractionZeros;
        } else {
          if (!first) first = p;
          ++sinceFirst;
          if (digit) significant = sinceFirst;
        }
        ++p, --left;
      } else if (!point && left >= pointLength && L::NICmp(p, decimalPoint, pointLength) == 0) {
        point = p;
        p += pointLength, left -= pointLength;
      } else {
        break;
      }
    }

    // Exponent: a power of 10 (decimal) or of 2 (hexadecimal).
    i64 exponent = 0;
    bool outOfRange = false;
    if (left && (hex ? (*p == 'p' || *p == 'P') : (*p == 'e' || *p == 'E'))) {
      ++p, --left;
      bool negativeExponent = false;
      if (left && (*p == '+' || *p == '-')) {
        negativeExponent = *p == '-';
        ++p, --left;
      }
      // Limits from the binary64 range given the digits already seen: past them the
      // value is certainly infinite or zero.
      i64 limit;
      if (!hex)
        limit = negativeExponent ? 360 + i64(integerDigits) : 309 + i64(leadingFractionZeros) - i64(integerDigits);
      else
        limit = negativeExponent ? 1074 + 4 * i64(integerDigits)
                                 : 1027 + 4 * (i64(leadingFractionZeros) - i64(integerDigits));
      while (left && isDigit(*p)) {
        exponent = exponent * 10 + (*p - '0');
        ++p, --left;
        if (exponent > limit) {
          outOfRange = true;
          break;
        }
      }
      if (outOfRange && significant == 0) {
        while (left && isDigit(*p)) ++p, --left;
        outOfRange = false;
        exponent = 0;
      }
      if (outOfRange) {
        if (end) *end = p;
        if (negativeExponent) return SLFail(SL_E_UNDERFLOW, SLMakeDouble(negative, 0, 0, -1023));
        return SLFail(SL_E_OVERFLOW, SLMakeDouble(negative, 0, 0, 1024));
      }
      if (negativeExponent) exponent = -exponent;
    }

    if (significant == 0) {
      value = SLMakeDouble(negative, 0, 0, -1023);
    } else {
      // The position of the first significant digit: 0.d1 d2 ... * base^position.
      i64 position = integerDigits ? i64(integerDigits) : -i64(leadingFractionZeros);
      DigitWalker<C> walker{first, point, pointLength};
      u32 digits = significant > 0xFFFFFFFFull ? 0xFFFFFFFFu : u32(significant);
      if (hex)
        value = HexValueOf(walker, digits, position, exponent, negative, &code);
      else
        value = DecimalValue(walker, digits, position + exponent, negative, &code);
    }
  }

  if (end) *end = p;
  if (code == SL_OK && left && *p != 0 && *p != ' ' && *p != '\t') code = SL_E_TEXT_LEFT;
  SLSetLastError(code);
  return value;
}

}  // namespace

double SLStrToDoubleA(const char* text, u32 length, const char* decimalPoint, const char** end) {
  return ToDouble(text, length, decimalPoint, end);
}

double SLStrToDoubleW(const SLWChar* text, u32 length, const SLWChar* decimalPoint, const SLWChar** end) {
  return ToDouble(text, length, decimalPoint, end);
}
