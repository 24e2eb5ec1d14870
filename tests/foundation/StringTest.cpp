#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLString.h"
#include "foundation/SLTextConvert.h"
#include "tests/support/TestSupport.h"

namespace {

std::u16string Text(CSLStringWide& s) { return std::u16string(s.CStr(), s.GetLength()); }
std::string Text(CSLStringAnsi& s) { return std::string(s.CStr(), s.GetLength()); }

TEST(StringEditing, InPlaceOperations) {
  CSLStringAnsi a;
  a = " \t abc def \t";
  EXPECT_TRUE(a.Trim());
  EXPECT_EQ(Text(a), "abc def");
  a = "xxabcxx";
  a.TrimLeft("x");
  EXPECT_EQ(Text(a), "abcxx");
  a.TrimRight("x");
  EXPECT_EQ(Text(a), "abc");
  a = "a-b_c-d";
  a.ReplaceChars("-_", 0);
  EXPECT_EQ(Text(a), "abcd");
  EXPECT_EQ(a.GetLength(), 4u);
  a.ReplaceChars("bd", '.');
  EXPECT_EQ(Text(a), "a.c.");
  a = "0123456789";
  a.Mid(3, 4);
  EXPECT_EQ(Text(a), "3456");
  a.Mid(2, 100);
  EXPECT_EQ(Text(a), "56");
  a.Mid(9, 1);
  EXPECT_EQ(Text(a), "");
  a = "0123456789";
  a.Truncate(4);
  EXPECT_EQ(Text(a), "0123");
  a.Truncate(40);
  EXPECT_EQ(Text(a), "0123");

  CSLStringWide w;
  w = u"0123456789";
  w.Delete(2, 3);
  EXPECT_EQ(Text(w), u"0156789");
  w.Delete(5, 0xFFFFFFFFu);  // an overflowing count removes the rest
  EXPECT_EQ(Text(w), u"01567");
  w.Delete(99, 1);
  EXPECT_EQ(Text(w), u"01567");
  EXPECT_EQ(w.FindChar(u'6', 0) - w.CStr(), 3);
  EXPECT_EQ(w.FindChar(u'0', 1), nullptr);
  EXPECT_EQ(w.FindChar(u'0', 99), nullptr);
}

// Assigning or inserting a part of the string's own text.
TEST(StringOverlap, AssignAndInsertFromOwnBuffer) {
  CSLStringAnsi a;
  a = "hello world";
  ASSERT_TRUE(a.Assign(a.CStr() + 6, 5));
  EXPECT_EQ(Text(a), "world");
  a = "abcdef";
  ASSERT_TRUE(a.Insert(a.CStr() + 1, 3, 3));
  EXPECT_EQ(Text(a), "abcbcddef");
  ASSERT_TRUE(a.Append(a.CStr()));
  EXPECT_EQ(Text(a), "abcbcddefabcbcddef");
  ASSERT_TRUE(a.Assign(a.CStr()));
  EXPECT_EQ(Text(a), "abcbcddefabcbcddef");

  CSLStringWide w;
  std::u16string longText(300, u'q');
  longText += u"tail";
  w = longText.c_str();
  ASSERT_TRUE(w.Insert(w.CStr() + 300, 0, 4));
  EXPECT_EQ(Text(w), u"tail" + longText);
  ASSERT_TRUE(w.Assign(w.CStr() + 4, 304));
  EXPECT_EQ(Text(w), longText);
  CSLStringWide copy;
  copy = w;
  ASSERT_TRUE(w.InsertString(w, 1));
  EXPECT_EQ(w.GetLength(), 2 * longText.size());
}

TEST(StringArguments, LengthRules) {
  CSLStringAnsi a;
  ASSERT_TRUE(a.Assign("abc\0def", 7));  // a length of 1 to 31 stops at a NUL inside
  EXPECT_EQ(a.GetLength(), 3u);
  std::string withNul(40, 'x');
  withNul[5] = 0;
  ASSERT_TRUE(a.Assign(withNul.c_str(), 40));  // from 32 on the length is taken as given
  EXPECT_EQ(a.GetLength(), 40u);
  EXPECT_EQ(a.GetLength(true), 5u);  // a forced recount stops at the stored NUL
  a = "keep";
  SL_EXPECT_FAIL(a.Assign(nullptr, 3), SL_E_NULL_DATA);
  EXPECT_TRUE(a.Insert(nullptr, 0, SL_TEXT_TO_END));
  EXPECT_EQ(Text(a), "keep");
  EXPECT_TRUE(a.Assign(nullptr, SL_TEXT_TO_END));
  EXPECT_TRUE(a.IsEmpty());
  a = "12";
  ASSERT_TRUE(a.Insert("ab", 99));
  EXPECT_EQ(Text(a), "12ab");
  a = 'c';
  a += 'd';
  a += "ef";
  EXPECT_EQ(Text(a), "cdef");
}

TEST(StringConversion, BetweenWidthsAndCodePages) {
  CSLStringAnsi a;
  CSLStringWide w;
  w = u"Canción ñ";
  a = w;
  EXPECT_EQ(Text(a), "Canci\xF3n \xF1");
  ASSERT_TRUE(a.AppendW(u"!é"));
  EXPECT_EQ(Text(a), "Canci\xF3n \xF1!\xE9");
  ASSERT_TRUE(a.AssignW(u"5 €"));  // 8-bit text is Windows-1252
  EXPECT_EQ(Text(a), "5 \x80");
  ASSERT_TRUE(w.AssignA("\xE9t\xE9"));
  EXPECT_EQ(Text(w), u"été");
  ASSERT_TRUE(w.InsertA("\xF1", 1));
  EXPECT_EQ(Text(w), u"éñté");
  ASSERT_TRUE(w.AssignUtf8("\xC3\xA9", SL_TEXT_TO_END, false));
  EXPECT_EQ(Text(w), u"é");
  ASSERT_TRUE(w.AssignUtf8("x\xE2\x82\xAC", SL_TEXT_TO_END, true));
  EXPECT_EQ(Text(w), u"éx€");
  // A failed code-page assignment keeps what was converted before the failure.
  EXPECT_FALSE(w.AssignUtf8("ab\xC0\x80", SL_TEXT_TO_END, false));
  EXPECT_NE(SLGetLastError(), 0u);
  // A failed ANSI assignment leaves the string as it was.
  w = u"same";
  a = "same";
  std::string longText(4000, 'y');
  ASSERT_TRUE(w.AssignA(longText.c_str()));
  EXPECT_EQ(w.GetLength(), 4000u);
  ASSERT_TRUE(a.AssignW(w.CStr()));
  EXPECT_EQ(a.GetLength(), 4000u);
}

struct DetectCase {
  std::string data;
  u32 expected;
};

TEST(TextDetection, Cases) {
  const DetectCase cases[] = {
      {"abc", 0x01}, {"a\nb", 0x11}, {"\xEF\xBB\xBF" "a\r\nb", 0x02},
      {std::string("\xFF\xFE" "a\0\r\0b\0", 8), 0x23}, {"\xC3\xA9", 0x02},
      {std::string("a\0b\0c\0", 6), 0x01}, {"ab\xE9xyzw stuff", 0x01}, {"", 0x01},
      {"x", 0x01}, {"a\n\rb", 0x31}, {"a\rb", 0x21},
      {"a\r", 0x21}, {"a\n", 0x11},
      {"ab\xC3", 0x01},       // an invalid sequence that runs to the end
      {"\xC3\xA9\x80", 0x02},  // a stray byte at the very end
      {std::string("\xC3\xA9\x80x\0y\0z\0w\0", 12), 0x01}, {"\xC3\xA9\xE2\x82", 0x02},
      {std::string("\0a\0\xE9\0b\0c\0d\0\n", 12), 0x14}, {std::string("\xE9\0b\0c\0d\0\r\0\n\0", 12), 0x03},
      {"\xFE\xFF", 0x04},
  };
  for (const DetectCase& c : cases) {
    SCOPED_TRACE(c.data);
    EXPECT_EQ(SLDetectTextEncoding(c.data.data(), u32(c.data.size())), c.expected);
    EXPECT_EQ(SLGetLastError(), 0u);
  }
  SL_EXPECT_FAIL(SLDetectTextEncoding(nullptr, 3), SL_E_NULL_DATA);
}

std::string Convert(const std::string& source, SLTextEncoding from, SLTextEncoding to, bool bom, bool* ok = nullptr,
                    u32 capacity = 4096) {
  std::vector<char> target(capacity + 4, '#');
  u32 size = capacity;
  bool result = SLConvertText(target.data(), &size, to, source.data(), u32(source.size()), from, bom);
  if (ok) *ok = result;
  else EXPECT_TRUE(result) << std::hex << SLGetLastError();
  u32 measured = 0;
  if (result && capacity >= 64) {
    EXPECT_TRUE(SLConvertText(nullptr, &measured, to, source.data(), u32(source.size()), from, bom));
    EXPECT_EQ(measured, size);
  }
  return std::string(target.data(), size);
}

// Detection calls a text UTF-8 only when the UTF-8 decoder takes every sequence in it:
// overlong forms, encoded surrogates and code points the decoder refuses leave it 8-bit.
TEST(TextDetection, Utf8OnlyWhereTheDecoderAgrees) {
  const struct {
    const char* sequence;
    bool decodes;
  } cases[] = {
      {"\xC2\xA9", true},         {"\xE0\xA0\x80", true},     {"\xED\x9F\xBF", true},
      {"\xEE\x80\x80", true},     {"\xEF\xBF\xBD", true},     {"\xF0\x90\x80\x80", true},
      {"\xF4\x8F\xBF\xBF", true}, {"\xC0\x80", false},         {"\xC1\xBF", false},
      {"\xE0\x80\x80", false},    {"\xE0\x9F\xBF", false},    {"\xED\xA0\x80", false},
      {"\xED\xBF\xBF", false},    {"\xF0\x8F\xBF\xBF", false}, {"\xF4\x90\x80\x80", false},
      {"\xF5\x80\x80\x80", false}, {"\xEF\xBF\xBE", false},   {"\xF8\x88\x80\x80\x80", false},
  };
  for (const auto& c : cases) {
    std::string text = std::string("Caf\xC3\xA9 ") + c.sequence + " fin";
    SCOPED_TRACE(text);
    u32 units = 0;
    bool decoded = SLUtf8ToWide(nullptr, &units, text.data(), u32(text.size()), 0);
    EXPECT_EQ(decoded, c.decodes);
    EXPECT_EQ(SLDetectTextEncoding(text.data(), u32(text.size())), c.decodes ? 0x02u : 0x01u);
  }
  // A cut sequence at the very end still counts only when what is there is sound.
  EXPECT_EQ(SLDetectTextEncoding("\xC3\xA9\xE0\xA0", 4), 0x02u);
  EXPECT_EQ(SLDetectTextEncoding("\xC3\xA9\xED\xA0", 4), 0x01u);
  EXPECT_EQ(SLDetectTextEncoding("\xC3\xA9\xC0\x80", 4), 0x01u);
  // An 8-bit text holding "\xC2\xA9" (valid UTF-8 on its own) and "\xC0\x80" loads as 8-bit.
  std::string settings = "\xC2\xA9 2026 \xC0\x80\r\n";
  EXPECT_EQ(Convert(settings, SL_TEXT_DETECT, SL_TEXT_UTF8, false),
            "\xC3\x82\xC2\xA9 2026 \xC3\x80\xE2\x82\xAC\r\n");
}

TEST(TextConversion, EncodingsAndLineStyles) {
  EXPECT_EQ(Convert("a\r\nb\r\n", SL_TEXT_ANSI, SL_TEXT_UTF8 | SL_TEXT_LF, true), "\xEF\xBB\xBF" "a\nb\n");
  EXPECT_EQ(Convert("\xE9\nx", SL_TEXT_ANSI | SL_TEXT_LF, SL_TEXT_UTF16BE | SL_TEXT_LFCR, false),
            std::string("\0\xE9\0\n\0\r\0x", 8));
  EXPECT_EQ(Convert(std::string("\xFF\xFE\xE9\0\r\0", 6), SL_TEXT_DETECT, SL_TEXT_UTF8 | SL_TEXT_CR, false),
            "\xC3\xA9\r");
  EXPECT_EQ(Convert(std::string("\0a\0\n", 4), SL_TEXT_UTF16BE | SL_TEXT_LF, SL_TEXT_UTF16LE, false),
            std::string("a\0\r\0\n\0", 6));
  EXPECT_EQ(Convert("\xC3\xB1" "a", SL_TEXT_UTF8, SL_TEXT_ANSI, false), "\xF1" "a");
  // A surrogate pair that straddles a block boundary of the converter stays whole.
  std::u16string wide(255, u'a');
  wide += u"\U0001F600z";
  std::string bytes(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
  std::string utf8 = Convert(bytes, SL_TEXT_UTF16LE, SL_TEXT_UTF8, false);
  EXPECT_EQ(utf8, std::string(255, 'a') + "\xF0\x9F\x98\x80z");
  bool ok = true;
  Convert(std::string("a\0b", 3), SL_TEXT_ANSI, SL_TEXT_UTF8, false, &ok);
  SL_EXPECT_FAIL(ok, SL_E_TEXT_ZERO_CHAR);
}

TEST(TextConversion, ArgumentsAndCapacity) {
  char target[16];
  u32 size = 2;
  SL_EXPECT_FAIL(SLConvertText(target, &size, SL_TEXT_UTF8, "a", 1, SL_TEXT_ANSI, true), SL_E_OUTPUT_SIZE_ZERO);
  // A line that does not fit fails, whether it is copied or converted.
  bool ok = true;
  std::string out = Convert("abcdef", SL_TEXT_ANSI, SL_TEXT_ANSI, false, &ok, 4);
  SL_EXPECT_FAIL(ok, SL_E_BUFFER_TOO_SMALL);
  Convert("abcdef", SL_TEXT_ANSI, SL_TEXT_UTF16LE, false, &ok, 4);
  SL_EXPECT_FAIL(ok, SL_E_BUFFER_TOO_SMALL);
  // Lines that fit are written; a line break without room ends the text there.
  EXPECT_EQ(Convert("ab\r\ncd", SL_TEXT_ANSI, SL_TEXT_ANSI, false, &ok, 3), "ab");
  EXPECT_TRUE(ok);
  // The terminating NUL follows when room remains and is not counted.
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  size = 8;
  ASSERT_TRUE(SLConvertText(buffer, &size, SL_TEXT_ANSI, "xy", 2, SL_TEXT_ANSI, false));
  EXPECT_EQ(size, 2u);
  EXPECT_STREQ(buffer, "xy");
}

TEST(Tokens, SplitValues) {
  char token[32];
  const char* source = "A; B ;C";
  EXPECT_STREQ(SLGetTokenA(token, 32, source, 2, ";", nullptr, " ", false), "B");
  EXPECT_STREQ(SLGetTokenA(token, 32, "a b ; c", 1, ";", nullptr, " ", true), "a b");
  EXPECT_STREQ(SLGetTokenA(token, 32, "  a b  ;", 1, ";", nullptr, " ", true), "a b");
  EXPECT_STREQ(SLGetTokenA(token, 32, "'x;y';z", 1, ";", "'", nullptr, false), "x;y");
  EXPECT_STREQ(SLGetTokenA(token, 32, "'x;y';z", 2, ";", "'", nullptr, false), "z");
  EXPECT_STREQ(SLGetTokenA(token, 32, "a;b", 5, ";", nullptr, nullptr, false), "");
  EXPECT_EQ(SLGetLastError(), 0u);
  EXPECT_STREQ(SLGetTokenA(token, 32, "\"a\tb\";\tc\td\n", 2, ";", "\"'", "\t\n", true), "c\td");
  EXPECT_STREQ(SLGetTokenA(token, 32, "\"a\tb\";c", 1, ";", "\"'", "\t\n", true), "a\tb");
  EXPECT_STREQ(SLGetTokenA(token, 4, "abcdef;g", 1, ";", nullptr, nullptr, false), "abc");
  EXPECT_STREQ(SLGetTokenA(token, 1, "abc", 1, ";", nullptr, nullptr, false), "");
  EXPECT_STREQ(SLGetTokenA(token, 32, "a,b;c", 2, ",;", nullptr, nullptr, false), "b");

  SL_EXPECT_FAIL(SLGetTokenA(token, 32, "a", 0, ";", nullptr, nullptr, false), SL_E_INDEX);
}

TEST(BoundedSearch, StopsAtTheTextEnd) {
  const char* text = "abcabc";
  EXPECT_EQ(SLStrChrNA(text, 'c', 3), text + 2);
  EXPECT_EQ(SLStrChrNA(text, 'c', 2), nullptr);
  EXPECT_EQ(SLStrChrNA(text, 'a', 0), nullptr);
  const SLWChar wide[] = u"ab\0ab";
  EXPECT_EQ(SLStrChrNW(wide, u'b', 99), wide + 1);
  EXPECT_EQ(SLStrRChrW(wide, u'a', SL_TEXT_TO_END), wide);
  EXPECT_EQ(SLStrRChrW(wide, u'a', 1), wide);
  EXPECT_EQ(SLStrRChrW(wide, u'b', 1), nullptr);
  // A count beyond the text never reaches what lies after its terminator.
  EXPECT_EQ(SLStrRChrW(wide, u'a', 5), wide);
  const SLWChar* xyz = u"xyz";
  EXPECT_EQ(SLStrRChrW(xyz, u'z', 1000), xyz + 2);
}

}  // namespace

TEST(StringEditing, WithoutBufferEverythingSucceeds) {
  CSLStringWide wide;
  EXPECT_TRUE(wide.Truncate(3));
  EXPECT_TRUE(wide.Mid(1, 2));
  EXPECT_TRUE(wide.Trim());
  EXPECT_TRUE(wide.ReplaceChars(u"a", u'b'));
  EXPECT_TRUE(wide.Delete(0, 4));
  EXPECT_EQ(wide.GetCapacity(), 0u);
  EXPECT_EQ(wide.CStr()[0], 0);
  EXPECT_TRUE(wide.IsEmpty());
  EXPECT_EQ(wide.GetBufferTerminated(), nullptr);
  EXPECT_EQ(wide.FindChar(u'a', 0), nullptr);
}

TEST(StringEditing, HandedOutBufferIsRecounted) {
  CSLStringAnsi a;
  a = "abc";
  char* buffer = a.GetBufferTerminated();
  std::strcpy(buffer, "longer text");
  EXPECT_EQ(a.GetLength(), 11u);
  // Writing over the whole capacity cannot run past it: the last character becomes NUL.
  buffer = a.GetBufferTerminated();
  std::memset(buffer, 'z', a.GetCapacity());
  EXPECT_EQ(a.GetLength(), a.GetCapacity() - 1);
}

TEST(StringCopy, CopyToNeedsTheSameClass) {
  CSLStringWide w, other;
  w = u"value";
  EXPECT_TRUE(w.CopyTo(&other));
  EXPECT_EQ(Text(other), u"value");
  CSLStringAnsi a;
  SL_EXPECT_FAIL(w.CopyTo(&a), SL_E_NOT_SUPPORTED);
  a = "x";
  CSLStringAnsi b;
  EXPECT_TRUE(a.CopyTo(&b));
  EXPECT_EQ(Text(b), "x");
  char* detached = b.Detach();
  EXPECT_STREQ(detached, "x");
  EXPECT_EQ(b.GetCapacity(), 0u);
  SLFree(detached);
}
