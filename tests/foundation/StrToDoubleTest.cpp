// Text to double: bitwise agreement with glibc's strtod on generated texts, the codes and
// end positions of the range cases, and the long-mantissa, signed-zero and rounding-overflow
// behaviour.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdarg>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <random>
#include <string>

#include "foundation/SLError.h"
#include "foundation/SLStr.h"

namespace {

#if SL_SANITIZED
constexpr int kGeneratedCount = 200000;  // the instrumented build is ~15x slower
#else
constexpr int kGeneratedCount = 1000000;
#endif

u64 Bits(double value) {
  u64 bits;
  std::memcpy(&bits, &value, 8);
  return bits;
}

double FromBits(u64 bits) {
  double value;
  std::memcpy(&value, &bits, 8);
  return value;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[4000];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

// The exact decimal expansion of the point halfway between x and the next double up
// (54 significant bits: exact in x87 long double, printed exactly by glibc).
std::string Halfway(double x, int digits) {
  long double mid = (static_cast<long double>(x) + std::nextafter(x, INFINITY)) / 2;
  return Format("%.*Le", digits, mid);
}

// True when the mantissa of a generated text has a non-zero digit.
bool MantissaNonZero(const std::string& text) {
  bool hex = text.find_first_of("xX") != std::string::npos;
  size_t start = hex ? text.find_first_of("xX") + 1 : 0;
  size_t stop = text.find_first_of(hex ? "pP" : "eE", start);
  for (size_t i = start; i < text.size() && i < stop; ++i)
    if (std::isxdigit(u8(text[i])) && text[i] != '0') return true;
  return false;
}

// glibc's strtod, except for hexadecimal texts with a denormal result: there glibc 2.36
// rounds some ties-above wrongly (0x1.ebd1d9e39c6758p-1023 gives ...675, not ...676), so
// the reference is the exact decimal expansion (through the 64-bit long double, exact for
// up to 16 hexadecimal digits) read back by strtod's decimal path.
double Reference(const std::string& text, char** end) {
  double value = std::strtod(text.c_str(), end);
  if (text.find_first_of("xX") == std::string::npos || std::fabs(value) >= DBL_MIN) return value;
  long double exact = std::strtold(text.c_str(), nullptr);
  return std::strtod(Format("%.1200Le", exact).c_str(), nullptr);
}

class Generator {
 public:
  explicit Generator(u32 seed) : m_random(seed) {}

  std::string Next() {
    switch (m_random() % 16) {
      case 0: case 1: case 2:
        return Format("%.17g", RandomDouble());
      case 3: case 4:
        return Format("%.*e", int(m_random() % 20), RandomDouble());
      case 5:
        return Format("%a", RandomDouble());
      case 6: {  // denormals
        double d = FromBits(m_random64() & 0x000FFFFFFFFFFFFFull);
        return m_random() % 2 ? Format("%.*e", int(m_random() % 25), d) : Format("%a", d);
      }
      case 7: case 8: {  // random digits with an exponent anywhere near the range
        std::string text = Digits(1 + m_random() % 25);
        if (m_random() % 2) text.insert(1 + m_random() % text.size(), ".");
        return text + "e" + std::to_string(int(m_random() % 680) - 350);
      }
      case 9: {  // halfway points, exact and nudged by one in the last place
        double x = RandomDouble();
        if (std::isinf(std::nextafter(x, INFINITY))) x = 1.0;
        std::string text = Halfway(std::fabs(x), 780);
        size_t e = text.find('e');
        size_t last = text.find_last_not_of('0', e - 1);
        std::string mantissa = text.substr(0, last + 1), exponent = text.substr(e);
        switch (m_random() % 3) {
          case 0: return mantissa + exponent;
          case 1: return mantissa + "000000001" + exponent;
          default: {
            std::string below = mantissa;
            size_t i = below.size() - 1;
            while (below[i] == '0' || below[i] == '.') {
              if (below[i] == '0') below[i] = '9';
              --i;
            }
            below[i] -= 1;
            return below + "999" + exponent;
          }
        }
      }
      case 10: {  // very long mantissas around 800 digits and beyond
        std::string text = Digits(700 + m_random() % 500);
        text.insert(1 + m_random() % 40, ".");
        return text + "e" + std::to_string(int(m_random() % 640) - 330);
      }
      case 11: {  // near the top and the bottom of the range
        static const char* const edges[] = {
            "1.7976931348623157e308", "1.7976931348623158e308", "1.7976931348623159e308",
            "1.797693134862315807937e308", "1.797693134862315807936e308", "2.2250738585072011e-308",
            "2.2250738585072014e-308", "4.9406564584124654e-324", "2.4703282292062327e-324",
            "2.4703282292062328e-324", "1e-323", "0x1.fffffffffffffp1023", "0x1.fffffffffffff8p1023",
            "0x1.fffffffffffff7ffp1023", "0x1p-1074", "0x1p-1075", "0x1.0000000000001p-1075",
            "0x0.fffffffffffff8p-1022", "1e308", "1e309", "1e-324", "123456789012345678901234567890"};
        return edges[m_random() % (sizeof edges / sizeof edges[0])];
      }
      case 12: {  // hexadecimal mantissas of any length
        std::string text = "0x";
        int count = 1 + m_random() % 16;
        for (int i = 0; i < count; ++i) text += "0123456789abcdefABCDEF"[m_random() % 22];
        if (m_random() % 2) text.insert(2 + m_random() % count, ".");
        return text + "p" + std::to_string(int(m_random() % 2200) - 1100);
      }
      case 13:
        return Digits(1 + m_random() % 19);
      case 14:
        return "0." + std::string(m_random() % 330, '0') + Digits(1 + m_random() % 20);
      default:
        return Format("%.*g", int(1 + m_random() % 17), RandomDouble());
    }
  }

 private:
  double RandomDouble() {
    for (;;) {
      double d = FromBits(m_random64());
      if (std::isfinite(d)) return d;
    }
  }
  std::string Digits(u32 count) {
    std::string text;
    for (u32 i = 0; i < count; ++i) text += char('0' + m_random() % 10);
    return text;
  }

  std::mt19937 m_random;
  std::mt19937_64 m_random64{99};
};

TEST(StrToDouble, BitwiseEqualToStrtodOnGeneratedTexts) {
  Generator generator(2024);
  int failures = 0;
  for (int i = 0; i < kGeneratedCount && failures < 20; ++i) {
    std::string text = generator.Next();
    char* peerEnd = nullptr;
    double expected = Reference(text, &peerEnd);
    const char* end = nullptr;
    SLSetLastError(0x1234);
    double value = SLStrToDoubleA(text.c_str(), SL_TEXT_TO_END, nullptr, &end);
    u32 code = SLGetLastError();
    u32 expectedCode = 0;
    if (std::isinf(expected))
      expectedCode = SL_E_OVERFLOW;
    else if (expected == 0 && MantissaNonZero(text))
      expectedCode = SL_E_UNDERFLOW;
    bool ok = Bits(value) == Bits(expected) && end == peerEnd && code == expectedCode;
    if (!ok) {
      ++failures;
      ADD_FAILURE() << text.substr(0, 200) << (text.size() > 200 ? "..." : "") << "\n  ours "
                    << Format("%a", value) << " end " << (end - text.c_str()) << " code " << std::hex << code
                    << "\n  peer " << Format("%a", expected) << " end " << std::dec << (peerEnd - text.c_str());
    }
  }
}

TEST(StrToDouble, RangeCodesAndSignedZero) {
  struct Case {
    const char* text;
    u64 bits;
    u32 code;
    int endOffset;
  } cases[] = {
      {"1e400", 0x7FF0000000000000ull, SL_E_OVERFLOW, 5}, {"-1e400", 0xFFF0000000000000ull, SL_E_OVERFLOW, 6},
      {"1e-400", 0, SL_E_UNDERFLOW, 6},
      // Deep underflow keeps the sign of the text, whichever step finds it.
      {"-1e-400", 0x8000000000000000ull, SL_E_UNDERFLOW, 7}, {"-1e-330", 0x8000000000000000ull, SL_E_UNDERFLOW, 7},
      {"-2.4e-324", 0x8000000000000000ull, SL_E_UNDERFLOW, 9},
      {"-0x1p-1076", 0x8000000000000000ull, SL_E_UNDERFLOW, 10}, {"-0e-99999", 0x8000000000000000ull, 0, 9},
      {"0e99999", 0, 0, 7},
      // Overflow found only by rounding up past the largest double.
      {"1.7976931348623159e308", 0x7FF0000000000000ull, SL_E_OVERFLOW, 22},
      {"-0x1.fffffffffffff8p1023", 0xFFF0000000000000ull, SL_E_OVERFLOW, 24},
      {"1.7976931348623158e308", 0x7FEFFFFFFFFFFFFFull, 0, 22}, {"4.9406564584124654e-324", 1, 0, 23},
      {"-nan", 0xFFF8000000000000ull, 0, 4}, {"NaN", 0x7FF8000000000000ull, 0, 3},
      {"-Inf", 0xFFF0000000000000ull, 0, 4}, {"infinity", 0x7FF0000000000000ull, SL_E_TEXT_LEFT, 3},
      {"0x1p-1", 0x3FE0000000000000ull, 0, 6}, {"2.5e", 0x4004000000000000ull, 0, 4},
      {"2.5e+", 0x4004000000000000ull, 0, 5}, {" \t+ 1.5x", 0x3FF8000000000000ull, SL_E_TEXT_LEFT, 7},
      {"1.5 ", 0x3FF8000000000000ull, 0, 3}, {".", 0, 0, 1},
      {"", 0, 0, 0},
  };
  for (const Case& c : cases) {
    const char* end = nullptr;
    SLSetLastError(0x1234);
    double value = SLStrToDoubleA(c.text, SL_TEXT_TO_END, nullptr, &end);
    EXPECT_EQ(Bits(value), c.bits) << c.text;
    EXPECT_EQ(SLGetLastError(), c.code) << c.text;
    EXPECT_EQ(end - c.text, c.endOffset) << c.text;
  }
}

TEST(StrToDouble, LongMantissasStayExactWithoutDeepStacks) {
  // 2^53 + 1 is halfway between two doubles: the tie goes to the even 2^53 unless any
  // later digit, however far away, is non-zero.
  std::string halfway = "9007199254740993";
  EXPECT_EQ(SLStrToDoubleA(halfway.c_str(), SL_TEXT_TO_END, nullptr, nullptr), 9007199254740992.0);
  std::string above = halfway + "." + std::string(5000, '0') + "1";
  EXPECT_EQ(SLStrToDoubleA(above.c_str(), SL_TEXT_TO_END, nullptr, nullptr), 9007199254740994.0);
  // A million digits: far more than any stack array could hold.
  std::string huge(1000000, '3');
  huge += "e-999990";
  char* peerEnd = nullptr;
  double expected = std::strtod(huge.c_str(), &peerEnd);
  const char* end = nullptr;
  EXPECT_EQ(Bits(SLStrToDoubleA(huge.c_str(), SL_TEXT_TO_END, nullptr, &end)), Bits(expected));
  EXPECT_EQ(end, peerEnd);
  std::string tiny = "0." + std::string(400000, '0') + std::string(400000, '7') + "e400300";
  expected = std::strtod(tiny.c_str(), nullptr);
  EXPECT_EQ(Bits(SLStrToDoubleA(tiny.c_str(), SL_TEXT_TO_END, nullptr, nullptr)), Bits(expected));
}

}  // namespace
