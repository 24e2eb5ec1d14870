// C-string functions: measuring, copying, comparing, trimming, cutting and the integer
// conversions with their codes and end positions.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "tests/support/TestSupport.h"

namespace {

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

TEST(StrLength, MatchesStrlenAtEveryAlignmentAndContent) {
  // High bytes (0x80, 0xFF) and bytes just above 0 must not be taken for terminators by
  // the word-at-a-time scan; every start alignment and terminator position is tried.
  alignas(16) char buffer[80];
  alignas(16) SLWChar wide[80];
  const u8 fillers[] = {0x01, 0x80, 0xFF, 0x7F, 'a'};
  for (u8 filler : fillers) {
    for (int start = 0; start < 8; ++start) {
      for (int length = 0; length < 40; ++length) {
        std::memset(buffer, filler, sizeof buffer);
        buffer[start + length] = 0;
        EXPECT_EQ(SLStrLenA(buffer + start), u32(length)) << int(filler) << " " << start;
        for (auto& unit : wide) unit = SLWChar(filler == 0x01 ? 0x0100 : filler * 0x101);
        wide[start + length] = 0;
        EXPECT_EQ(SLStrLenW(wide + start), u32(length)) << int(filler) << " " << start;
      }
    }
  }
}

TEST(StrCopy, BoundedCopyPadsOrLeavesUnterminated) {
  char target[8];
  std::memset(target, 'x', sizeof target);
  SLStrCopyNA(target, "ab", 5);
  EXPECT_EQ(std::string(target, 6), std::string("ab\0\0\0x", 6));
  std::memset(target, 'x', sizeof target);
  SLStrCopyNA(target, "abcdef", 3);
  EXPECT_EQ(std::string(target, 4), "abcx");
  char joined[16] = "ab";
  SLStrCatNA(joined, "cdef", 2);
  SLStrCatA(joined, "!");
  EXPECT_STREQ(joined, "abcd!");
}

TEST(StrCompare, OrderMatchesStrcmpOnRandomTexts) {
  std::mt19937 random(7);
  for (int i = 0; i < 20000; ++i) {
    std::string a, b;
    int length = random() % 6;
    for (int k = 0; k < length; ++k) a += char(1 + random() % 3 + (random() % 2) * 0x80);
    b = a;
    if (random() % 3) {
      b.resize(random() % (length + 1));
      int extra = random() % 3;
      for (int k = 0; k < extra; ++k) b += char(1 + random() % 3 + (random() % 2) * 0x80);
    }
    EXPECT_EQ(SLStrCmpA(a.c_str(), b.c_str()), Sign(std::strcmp(a.c_str(), b.c_str())));
    u32 n = random() % 7;
    EXPECT_EQ(SLStrNCmpA(a.c_str(), b.c_str(), n), Sign(std::strncmp(a.c_str(), b.c_str(), n)));
    std::u16string wa(a.begin(), a.end()), wb(b.begin(), b.end());
    for (auto& unit : wa) unit = SLWChar(u8(unit) * 0x101);  // above 0x7FFF too
    for (auto& unit : wb) unit = SLWChar(u8(unit) * 0x101);
    EXPECT_EQ(SLStrCmpW(wa.c_str(), wb.c_str()), Sign(std::strcmp(a.c_str(), b.c_str())));
  }
}

TEST(StrCompare, CaseInsensitiveFormsAndBounds) {
  EXPECT_EQ(SLStrNCmpA("ab", "abc", 2), 0);
  EXPECT_EQ(SLStrNCmpA("ab", "abc", 3), -1);
  EXPECT_EQ(SLStrICmpA("abc", "ABD"), -1);
  EXPECT_EQ(SLStrICmpA("Info.TXT", "info.txt"), 0);
  EXPECT_EQ(SLStrICmpA("abc", "AB"), 1);
  EXPECT_EQ(SLStrICmpA("", ""), 0);
  // '_' (0x5F) lies between the upper and the lower letters: upper forms decide.
  EXPECT_EQ(SLStrICmpA("a", "_"), -1);
  EXPECT_EQ(SLStrNICmpA("GIF87a-rest", "gif87A", 6), 0);
  EXPECT_EQ(SLStrNICmpA("GIF8", "gif87A", 6), -1);
  EXPECT_EQ(SLStrICmpW(u"\u00E9t\u00E9", u"\u00C9T\u00C9"), 0);
  EXPECT_EQ(SLStrICmpW(u"\u0434\u043E\u043C", u"\u0414\u041E\u041C"), 0);  // Cyrillic
  EXPECT_EQ(SLStrNICmpW(u"ABCx", u"abcy", 3), 0);
  EXPECT_EQ(SLStrNICmpW(u"ABCx", u"abcy", 4), -1);
}

TEST(StrTrim, RemovesSetCharactersInPlaceAndBetweenArrays) {
  char text[32] = " \t a b \t";
  SLStrTrimA(text, text, nullptr);
  EXPECT_STREQ(text, "a b");
  char target[32];
  SLStrTrimLeftA(target, "xxyhixy", "xy");
  EXPECT_STREQ(target, "hixy");
  SLStrTrimRightA(target, "xxyhixy", "xy");
  EXPECT_STREQ(target, "xxyhi");
  SLWChar wide[16] = u"  wide\t ";
  SLStrTrimW(wide, wide, nullptr);
  EXPECT_EQ(std::u16string(wide), u"wide");
}

TEST(StrCopyCut, RemovesRunAndSaturatesAtTheEnd) {
  struct Case {
    const char* source;
    u32 index, count;
    const char* expected;
  } cases[] = {
      {"abcdefg", 2, 3, "abfg"},     {"abcdefg", 10, 3, "abcdefg"}, {"abcdefg", 7, 1, "abcdefg"},
      {"abcdefg", 6, 5, "abcdef"},   {"abcdefg", 0, 0, "abcdefg"},  {"abcdefg", 0, 7, ""},
      // index + count past 2^32: the cut runs to the end instead of wrapping around.
      {"abcdefg", 2, 0xFFFFFFFFu, "ab"}, {"abcdefg", 5, 0xFFFFFFFCu, "abcde"},
      {"a\r\nb", 1, 2, "ab"},
  };
  for (const Case& c : cases) {
    char inPlace[16];
    std::strcpy(inPlace, c.source);
    SLStrCopyCutA(inPlace, inPlace, c.index, c.count);
    EXPECT_STREQ(inPlace, c.expected) << c.source << " " << c.index << " " << c.count;
    char other[16];
    std::memset(other, 'x', sizeof other);
    SLStrCopyCutA(other, c.source, c.index, c.count);
    EXPECT_STREQ(other, c.expected);
  }
  SLWChar wide[16] = u"abcdefg";
  SLStrCopyCutW(wide, wide, 1, 0xFFFFFFFFu);
  EXPECT_EQ(std::u16string(wide), u"a");
}

TEST(StrAlloc, DuplicatesAndEmptyForNull) {
  char* empty = SLStrDupA(nullptr, true);
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
  SLFree(empty);
  EXPECT_EQ(SLStrDupA(nullptr, false), nullptr);
  SL_EXPECT_FAIL(SLStrAllocA(0xFFFFFFFFu), SL_E_OUT_OF_MEMORY);
}

struct IntCase {
  const char* text;
  u32 length;
  u32 base;
  i64 value;  // signed result for SLStrToIntA, or unsigned for the U forms
  u32 code;
  int endOffset;
};

TEST(StrToInt, SignedValuesCodesAndEnds) {
  const IntCase cases[] = {
      {" -12x", 5, 10, -12, SL_E_TEXT_LEFT, 4}, {"2147483648", SL_TEXT_TO_END, 10, 2147483647, SL_E_OVERFLOW, 10},
      {"-2147483648", SL_TEXT_TO_END, 10, -2147483648LL, 0, 11},
      {"-2147483649", SL_TEXT_TO_END, 10, -2147483648LL, SL_E_OVERFLOW, 11},
      {"99999999999", SL_TEXT_TO_END, 10, 2147483647, SL_E_OVERFLOW, 9},  // stops at the digit
      {"0x1F", SL_TEXT_TO_END, 16, 31, 0, 4}, {"0x1F", SL_TEXT_TO_END, 10, 0, SL_E_TEXT_LEFT, 1},
      {"12", SL_TEXT_TO_END, 1, 0, SL_E_INVALID_ARG, 0}, {"12", SL_TEXT_TO_END, 37, 0, SL_E_INVALID_ARG, 0},
      {"12345", 3, 10, 123, 0, 3}, {"  + \t7 ", SL_TEXT_TO_END, 10, 7, 0, 6},
      {"zZ", SL_TEXT_TO_END, 36, 35 * 36 + 35, 0, 2}, {"102", SL_TEXT_TO_END, 2, 2, SL_E_TEXT_LEFT, 2},
      {"abc", SL_TEXT_TO_END, 10, 0, SL_E_TEXT_LEFT, 0}, {"", SL_TEXT_TO_END, 10, 0, 0, 0},
      {"-", SL_TEXT_TO_END, 10, 0, 0, 1},
  };
  for (const IntCase& c : cases) {
    const char* end = nullptr;
    SLSetLastError(0x1234);
    EXPECT_EQ(SLStrToIntA(c.text, c.length, c.base, &end), c.value) << c.text;
    EXPECT_EQ(SLGetLastError(), c.code) << c.text;
    EXPECT_EQ(end - c.text, c.endOffset) << c.text;
    std::u16string wide(c.text, c.text + std::strlen(c.text));
    const SLWChar* wideEnd = nullptr;
    EXPECT_EQ(SLStrToIntW(wide.c_str(), c.length, c.base, &wideEnd), c.value) << c.text;
    EXPECT_EQ(wideEnd - wide.c_str(), c.endOffset) << c.text;
  }
  SLSetLastError(0);
  SL_EXPECT_FAIL(SLStrToIntA(nullptr, 3, 10, nullptr), SL_E_NULL_DATA);
  SL_EXPECT_FAIL(SLStrToIntA(nullptr, 0, 10, nullptr), 0u);
}

TEST(StrToInt, UnsignedValuesCodesAndEnds) {
  const IntCase cases[] = {
      {"-1", SL_TEXT_TO_END, 10, 0, SL_E_UNDERFLOW, 0},
      {"4294967296", SL_TEXT_TO_END, 10, 4294967295LL, SL_E_OVERFLOW, 9},
      {"4294967295", SL_TEXT_TO_END, 10, 4294967295LL, 0, 10}, {"FFFFFFFF", SL_TEXT_TO_END, 16, 4294967295LL, 0, 8},
      {"0X100000000", SL_TEXT_TO_END, 16, 4294967295LL, SL_E_OVERFLOW, 10}, {"+17 ", SL_TEXT_TO_END, 8, 15, 0, 3},
      {"17\t", SL_TEXT_TO_END, 10, 17, 0, 2},
      {"0x", 1, 16, 0, 0, 1},  // only one character: no prefix, the 0 is the number
  };
  for (const IntCase& c : cases) {
    const char* end = nullptr;
    SLSetLastError(0x1234);
    EXPECT_EQ(SLStrToUIntA(c.text, c.length, c.base, &end), u32(c.value)) << c.text;
    EXPECT_EQ(SLGetLastError(), c.code) << c.text;
    EXPECT_EQ(end - c.text, c.endOffset) << c.text;
    std::u16string wide(c.text, c.text + std::strlen(c.text));
    const SLWChar* wideEnd = nullptr;
    SLSetLastError(0x1234);
    EXPECT_EQ(SLStrToUIntW(wide.c_str(), c.length, c.base, &wideEnd), u32(c.value)) << c.text;
    EXPECT_EQ(SLGetLastError(), c.code) << c.text;
    EXPECT_EQ(wideEnd - wide.c_str(), c.endOffset) << c.text;
  }
}

TEST(StrToInt, AgreesWithStrtoulOnRandomDigits) {
  std::mt19937 random(11);
  for (int i = 0; i < 50000; ++i) {
    u32 base = 2 + random() % 35;
    std::string text;
    int digits = 1 + random() % 12;
    for (int k = 0; k < digits; ++k) text += "0123456789abcdefghijklmnopqrstuvwxyz"[random() % base];
    unsigned long long expected = std::strtoull(text.c_str(), nullptr, int(base));
    u32 value = SLStrToUIntA(text.c_str(), SL_TEXT_TO_END, base, nullptr);
    if (expected > 0xFFFFFFFFull) {
      EXPECT_EQ(value, 0xFFFFFFFFu);
      EXPECT_EQ(SLGetLastError(), SL_E_OVERFLOW);
    } else {
      EXPECT_EQ(value, u32(expected)) << text << " base " << base;
      EXPECT_EQ(SLGetLastError(), 0u);
    }
  }
}

}  // namespace
