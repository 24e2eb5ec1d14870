#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "foundation/SLDateTime.h"
#include "foundation/SLError.h"
#include "foundation/SLPrintf.h"
#include "tests/support/TestSupport.h"

namespace {

template <class... Args>
std::string Fmt(const char* format, Args... args) {
  char buffer[2048];
  u32 n = SLSnprintfA(buffer, sizeof buffer, format, args...);
  EXPECT_LT(n, sizeof buffer);
  EXPECT_EQ(std::strlen(buffer), n) << format;
  return std::string(buffer, n);
}

template <class... Args>
std::u16string FmtW(const char16_t* format, Args... args) {
  SLWChar buffer[512];
  u32 n = SLSnprintfW(buffer, 512, format, args...);
  return std::u16string(buffer, n);
}

double Negate(double x) { return -x; }

TEST(Printf, IntegerTable) {
  EXPECT_EQ(Fmt("%5d|%-5d|%=5d", 42, 42, 42), "   42|42   | 42  ");
  EXPECT_EQ(Fmt("%=6d|%=7s|", 42, "ab"), "  42  |  ab   |");
  EXPECT_EQ(Fmt("%05d", -42), "-0042");
  EXPECT_EQ(Fmt("%.3d", 7), "007");
  EXPECT_EQ(Fmt("%.0d|%.0x|", 0, 0), "||");
  EXPECT_EQ(Fmt("%08.3d", 7), "     007");  // a precision turns zero fill into spaces
  EXPECT_EQ(Fmt("%,3d", 1234567), "1,234,567");
  EXPECT_EQ(Fmt("%,3.7d", 12345), "0,012,345");
  EXPECT_EQ(Fmt("%,2b", 5), "1,01");
  EXPECT_EQ(Fmt("%,0d|%,d", 1234, 1234), "1234|1234");
  EXPECT_EQ(Fmt("%#o|%#o|%#.0o|%#o", 8, 0, 0, 64), "010|00|0|0100");
  EXPECT_EQ(Fmt("%#,3o", 0123456), "0,123,456");
  EXPECT_EQ(Fmt("%#x|%X|%b|%#b", 255, 255, 5, 5), "ff|FF|101|101");
  EXPECT_EQ(Fmt("%+d|% d|%+u|% x|%+d", 5, 5, 5u, 5, -5), "+5| 5|5|5|-5");
  EXPECT_EQ(Fmt("%d|%u", INT32_MIN, 4294967295u), "-2147483648|4294967295");
  EXPECT_EQ(Fmt("%hd|%hu|%hx", 70000, 70000, -1), "4464|4464|ffff");
  EXPECT_EQ(Fmt("%ld|%lu", -9000000000L, 18000000000UL), "-9000000000|18000000000");
  EXPECT_EQ(Fmt("%I64d|%I64x|%I32d|%Id", INT64_MIN, UINT64_MAX, -1, 7), "-9223372036854775808|ffffffffffffffff|-1|7");
  EXPECT_EQ(Fmt("%*d|%-*d|%*d", 4, 1, 4, 2, -4, 3), "   1|2   |3   ");
  EXPECT_EQ(Fmt("%.*d|%.*d", 3, 1, -3, 2), "001|002");
  EXPECT_EQ(Fmt("%5.*d|", -3, 2), "002  |");  // a negative precision argument aligns left
  EXPECT_EQ(Fmt("%,*d|%.2,3d", 2, 123456, 1234), "12,34,56|1,234");
  // A group size from the arguments below 1 turns grouping off; it is not made positive.
  EXPECT_EQ(Fmt("%,*d|%,*d|%5,*d|", -3, 1234567, 0, 1234, -2, 123), "1234567|1234|  123|");
  EXPECT_EQ(Fmt("%,*.1f", -3, 1234.5), "1234.5");
}

TEST(Printf, PointersAndText) {
  EXPECT_EQ(Fmt("%p", nullptr), "(nil)");
  EXPECT_EQ(Fmt("%08p|%-7p|", nullptr, nullptr), "   (nil)|(nil)  |");
  EXPECT_EQ(Fmt("%8p", reinterpret_cast<void*>(0x1234)), "    1234");
  EXPECT_EQ(Fmt("%08p", reinterpret_cast<void*>(0x1234)), "00001234");
  EXPECT_EQ(Fmt("%p", reinterpret_cast<void*>(0xABCDEF0123ull)), "abcdef0123");
  EXPECT_EQ(Fmt("%s|%?s|%.2s|%5s|%-5s|", static_cast<const char*>(nullptr), static_cast<const char*>(nullptr),
                "abc", "ab", "ab"),
            "(null)||ab|   ab|ab   |");
  EXPECT_EQ(Fmt("%?5s|%.3s|", static_cast<const char*>(nullptr), static_cast<const char*>(nullptr)), "|(nu|");
  EXPECT_EQ(Fmt("%ls|%ws|%S", u"wide", u"w", u"\u00e9t\u00e9"), "wide|w|\xE9t\xE9");
  EXPECT_EQ(Fmt("%c%c|%3c|%-3c|%lc|%C", 'a', 'b', 'x', 'y', 0xE9, 0xE9), "ab|  x|y  |\xE9|\xE9");
  EXPECT_EQ(Fmt("abc%"), "abc%");
  EXPECT_EQ(Fmt("100%%"), "100%");
  int counted = -1;
  EXPECT_EQ(Fmt("abc%n|%d", &counted, 5), "abc|5");
  EXPECT_EQ(counted, 3);
  EXPECT_EQ(Fmt("%n", static_cast<int*>(nullptr)), "");
}

int TextCallback(const void** text, std::uintptr_t value) {
  static const char* kNames[] = {"zero", "one"};
  if (value > 2) return 0;
  *text = value < 2 ? kNames[value] : nullptr;
  return 1;
}

int WideCallback(const void** text, std::uintptr_t) {
  *text = u"w\u00f1";
  return 1;
}

TEST(Printf, FloatTable) {
  EXPECT_EQ(Fmt("%f", 0.5), "0.500000");
  EXPECT_EQ(Fmt("%.0f|%.0f|%.0f|%#.0f", 0.5, 1.5, 2.5, 2.5), "0|2|2|2.");
  EXPECT_EQ(Fmt("%.1f|%.1f", 0.25, 0.35), "0.2|0.3");
  EXPECT_EQ(Fmt("%,3.2f", 1234567.891), "1,234,567.89");
  EXPECT_EQ(Fmt("%,3e|%,1g", 12345.678, 1e6), "1.234568e+04|1e+06");
  EXPECT_EQ(Fmt("%e", 12345.678), "1.234568e+04");
  EXPECT_EQ(Fmt("%E|%.0e|%#.0e", 0.0, 9.5, 5.0), "0.000000E+00|1e+01|5.e+00");
  EXPECT_EQ(Fmt("%e|%e", 1e-300, 1e300), "1.000000e-300|1.000000e+300");
  EXPECT_EQ(Fmt("%g|%g|%#g", 0.0001, 0.00001, 1.0), "0.0001|1e-05|1.00000");
  EXPECT_EQ(Fmt("%g|%G|%g|%.0g|%g", 100000.0, 1e6, 123456789.0, 0.5, 0.0), "100000|1E+06|1.23457e+08|0.5|0");
  EXPECT_EQ(Fmt("%.3g|%.3g|%g", 9.9999, 0.00099999, 5e-324), "10|0.001|4.94066e-324");
  EXPECT_EQ(Fmt("%a|%A|%.1a", 1.0, -0.5, 1.03125), "0x1p+0|-0X1P-1|0x1.0p+0");
  EXPECT_EQ(Fmt("%a|%.0a|%.0a|%#a", 1024.0, 1.5, 2.5, 1.0), "0x1p+10|0x2p+0|0x1p+1|0x1.p+0");
  EXPECT_EQ(Fmt("%.1a|%.2a|%a", 1.96875, 0.0, 5e-324), "0x2.0p+0|0x0.00p+0|0x0.0000000000001p-1022");
  EXPECT_EQ(Fmt("%f|%05f|%-5f|%+f|% F", Negate(NAN), INFINITY, INFINITY, INFINITY, 1.0).substr(0, 22),
            "-nan|  inf|inf  |+inf|");
  EXPECT_EQ(Fmt("%E|%.1G|%A", NAN, -INFINITY, INFINITY), "NAN|-INF|INF");
  EXPECT_EQ(Fmt("%f|%+.1f|%08.2f|%-8.2f|%+08.1f", -0.0, 0.04, -1.5, 1.5, 2.25), "-0.000000|+0.0|-0001.50|1.50    |+00002.2");
  EXPECT_EQ(Fmt("%.3f", 1e22), "10000000000000000000000.000");
  EXPECT_EQ(Fmt("%.0f", 1.7976931348623157e308).size(), 309u);
  EXPECT_EQ(Fmt("%#x|%,1a|%,2.3f", 0, 4096.5, -12345.5), "0|0x1.0008p+12|-1,23,45.500");
}

TEST(Printf, UnknownConversionStops) {
  char buffer[32];
  memset(buffer, 'z', sizeof buffer);
  EXPECT_EQ(SLSnprintfA(buffer, 32, "ab%Fcd"), 2u);
  EXPECT_EQ(SLGetLastError(), SL_E_PRINTF_UNKNOWN_CONVERSION);
  EXPECT_STREQ(buffer, "ab");  // terminated all the same
  EXPECT_EQ(SLSnprintfA(buffer, 32, "xy%D"), 2u);
  EXPECT_EQ(SLGetLastError(), SL_E_PRINTF_UNKNOWN_CONVERSION);
  EXPECT_EQ(SLSnprintfA(buffer, 32, "xy%5"), 2u);
  EXPECT_EQ(SLGetLastError(), SL_E_PRINTF_UNKNOWN_CONVERSION);
  // An unclosed bracket stops at the end of the format instead of reading past it.
  EXPECT_EQ(SLSnprintfA(buffer, 32, "ab%[%d\\]"), 2u);
  EXPECT_EQ(SLGetLastError(), SL_E_PRINTF_UNKNOWN_CONVERSION);
  EXPECT_STREQ(buffer, "ab");
  SLWChar wide[8];
  EXPECT_EQ(SLSnprintfW(wide, 8, u"q%[abc"), 1u);
  EXPECT_EQ(SLGetLastError(), SL_E_PRINTF_UNKNOWN_CONVERSION);
}

// The buffer front ends always leave a terminated text inside the buffer and report the
// length when it fits, the size when it was cut.
TEST(Printf, SnprintfTruncationStaysTerminated) {
  char buffer[8];
  memset(buffer, 'z', sizeof buffer);
  EXPECT_EQ(SLSnprintfA(buffer, 4, "abc"), 3u);
  EXPECT_STREQ(buffer, "abc");
  memset(buffer, 'z', sizeof buffer);
  EXPECT_EQ(SLSnprintfA(buffer, 4, "abcd"), 4u);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], 'z');
  EXPECT_EQ(SLSnprintfA(buffer, 4, "%d", 123456789), 4u);
  EXPECT_STREQ(buffer, "123");
  memset(buffer, 'z', sizeof buffer);
  EXPECT_EQ(SLSnprintfA(buffer, 0, "abc"), 0u);
  EXPECT_EQ(buffer[0], 'z');
  EXPECT_EQ(SLSnprintfA(buffer, 1, "abc"), 1u);
  EXPECT_EQ(buffer[0], 0);
  SLWChar wide[4];
  EXPECT_EQ(SLSnprintfW(wide, 4, u"%s!", u"abcdef"), 4u);
  EXPECT_EQ(std::u16string(wide), u"abc");
}

TEST(Printf, Dates) {
  CSLDateTime date;
  ASSERT_TRUE(date.SetDateTime(2009, 3, 5, 14, 7, 9));
  EXPECT_EQ(Fmt("%t", &date), "2009-03-05 14:07:09");
  EXPECT_EQ(Fmt("%[%d\\]%m]t", &date), "05]03");
  EXPECT_EQ(Fmt("<%12[%H:%M]t>", &date), "<       14:07>");
  const CSLDateTime* none = nullptr;
  EXPECT_EQ(Fmt("%t|%?t|", none, none), "(null)||");
  SLDateFormatNamesA names{};
  names.months[2] = "March";
  EXPECT_EQ(Fmt("%#[%B %Y]t", &date, &names), "March 2009");
  EXPECT_EQ(FmtW(u"%[%A %d]t", &date), u"Jueves 05");
  EXPECT_EQ(FmtW(u"%t|%?t", none, none), u"(null)|");
}

// The exact decimal expansion of every fixture value matches python's Decimal.
TEST(Printf, FixedDigitsMatchPythonDecimal) {
  std::ifstream in(std::string(SL_SOURCE_DIR) + "/tests/foundation/data/printf_fixed.txt");
  ASSERT_TRUE(in.good());
  std::string line;
  u32 cases = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string hex, expected;
    int digits = 0;
    fields >> hex >> digits >> expected;
    u64 bits = std::stoull(hex, nullptr, 16);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    ASSERT_EQ(Fmt("%.*f", digits, value), expected) << line;
    ++cases;
  }
  EXPECT_GT(cases, 300u);
}

// Against glibc wherever the two grammars agree.
TEST(Printf, AgreesWithGlibc) {
  std::mt19937_64 rng(12345);
  const char* intLetters = "diuxXo";
  const char* floatLetters = "eEfgGaA";
  char ours[1024], theirs[1024], format[64];
  for (int round = 0; round < 40000; ++round) {
    bool isFloat = round % 2;
    std::string flags;
    for (char f : std::string("-+ 0#"))
      if (rng() % 4 == 0) flags += f;
    char letter = isFloat ? floatLetters[rng() % 7] : intLetters[rng() % 6];
    bool hasPrecision = rng() % 2;
    int precision = int(rng() % (isFloat ? 40 : 25));
    int width = rng() % 3 ? int(rng() % 30) : 0;
    std::string spec = "%" + flags + (width ? std::to_string(width) : "") +
                       (hasPrecision ? "." + std::to_string(precision) : "");
    if (isFloat) {
      double value;
      switch (rng() % 4) {
        case 0: value = double(i64(rng() % 2000000) - 1000000) / 1000.0; break;
        case 1: value = std::ldexp(double(rng() >> 11), int(rng() % 200) - 150) * (rng() % 2 ? 1 : -1); break;
        case 2: { u64 bits = rng(); std::memcpy(&value, &bits, 8); break; }
        default: value = double(rng() % 100) * std::pow(10.0, int(rng() % 40) - 20); break;
      }
      std::snprintf(format, sizeof format, "%s%c", spec.c_str(), letter);
      SLSnprintfA(ours, sizeof ours, format, value);
      std::snprintf(theirs, sizeof theirs, format, value);
      ASSERT_STREQ(ours, theirs) << format << " " << value;
    } else {
      // '#' differs for hexadecimal ("0x") and for octal with a precision or zero.
      bool wide = rng() % 3 == 0;
      u64 value = rng() >> (rng() % 64);
      if (rng() % 8 == 0) value = 0;
      if ((letter == 'x' || letter == 'X') && flags.find('#') != std::string::npos) continue;
      if (letter == 'o' && flags.find('#') != std::string::npos && (hasPrecision || value == 0)) continue;
      std::snprintf(format, sizeof format, "%s%s%c", spec.c_str(), wide ? "l" : "", letter);
      if (wide) {
        SLSnprintfA(ours, sizeof ours, format, long(value));
        std::snprintf(theirs, sizeof theirs, format, long(value));
      } else {
        SLSnprintfA(ours, sizeof ours, format, int(value));
        std::snprintf(theirs, sizeof theirs, format, int(value));
      }
      ASSERT_STREQ(ours, theirs) << format << " " << value;
    }
  }
}

TEST(Printf, StringFormatOperations) {
  CSLStringAnsi text;
  ASSERT_TRUE(text.Format("%d-%s", 7, "x"));
  EXPECT_STREQ(text.CStr(), "7-x");
  ASSERT_TRUE(text.AppendFormat("|%05.1f", 2.25));
  EXPECT_STREQ(text.CStr(), "7-x|002.2");
  // The string operations fail only when the string cannot grow: an unknown conversion
  // ends the text there and the operation succeeds with what came before it.
  SL_EXPECT_OK(text.Format("ab%Fcd"));
  EXPECT_STREQ(text.CStr(), "ab");
  SL_EXPECT_OK(text.AppendFormat("-%d%[x", 3));
  EXPECT_STREQ(text.CStr(), "ab-3");
  SL_EXPECT_FAIL(text.Format(nullptr), SL_E_INVALID_ARG);
  CSLStringWide wide;
  ASSERT_TRUE(wide.Format(u"%s=%d", u"k", 1));
  ASSERT_TRUE(wide.PrependFormat(u"[%c]", u'a'));
  EXPECT_EQ(std::u16string(wide.CStr()), u"[a]k=1");
  // A long text grows the string through many appends.
  std::string expected(3000, 'q');
  ASSERT_TRUE(text.Format("%s", expected.c_str()));
  EXPECT_EQ(text.GetLength(), 3000u);
}

}  // namespace

namespace {

// A precision keeps the engine inside a text that has no terminator within it.
TEST(Printf, PrecisionBoundsTheTextRead) {
  const char unterminated[3] = {'a', 'b', 'c'};
  EXPECT_EQ(Fmt("%.3s|%.2s", unterminated, unterminated), "abc|ab");
  char buffer[8];
  EXPECT_EQ(SLSnprintfA(buffer, 8, "x%.2147483647d", 5), 1u);
  EXPECT_EQ(SLGetLastError(), SL_E_OUT_OF_MEMORY);
}

}  // namespace

TEST(Printf, Callbacks) {
  EXPECT_EQ(Fmt("%k|%6k|%k|%?k|", &TextCallback, std::uintptr_t(1), &TextCallback, std::uintptr_t(0),
                &TextCallback, std::uintptr_t(2), &TextCallback, std::uintptr_t(2)),
            "one|  zero|(null)||");
  EXPECT_EQ(Fmt("%K", &WideCallback, std::uintptr_t(0)), "w\xF1");
  char buffer[32];
  SLSetLastError(0);
  EXPECT_EQ(SLSnprintfA(buffer, 32, "ab%k", &TextCallback, std::uintptr_t(9)), 2u);
  EXPECT_NE(SLGetLastError(), 0u);
  EXPECT_STREQ(buffer, "ab");
}
