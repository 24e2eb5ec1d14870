// Transcoders and the conversion entry points: code pages against python's codecs, UTF-8
// against python and its edge vectors, case tables against UnicodeData.txt, states and
// codes, double-byte lead bytes, threads, and wildcards against a reference matcher.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/SLCaseMap.h"
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLStr.h"
#include "foundation/SLStrApiLoader.h"
#include "foundation/SLTextConvert.h"
#include "foundation/SLTranscoder.h"
#include "foundation/SLTranscoderSet.h"
#include "foundation/SLWildcard.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

// A file in this program's temporary folder (ctest runs the cases side by side).
std::string TempPath(const char* name) {
  static const TempDir dir;
  return dir.Host(name);
}

std::string ToUtf8(const std::u16string& text, bool* ok = nullptr) {
  u32 size = 0;
  bool measured = SLWideToUtf8(nullptr, &size, text.c_str(), u32(text.size()), 0);
  if (ok) *ok = measured;
  if (!measured) return {};
  std::string out(size, '\0');
  u32 capacity = size;
  EXPECT_TRUE(SLWideToUtf8(out.data(), &capacity, text.c_str(), u32(text.size()), 0));
  EXPECT_EQ(capacity, size);
  return out;
}

bool FromUtf8(const std::string& bytes, std::u16string* out) {
  u32 size = 0;
  if (!SLUtf8ToWide(nullptr, &size, bytes.c_str(), u32(bytes.size()), 0)) return false;
  out->assign(size, u'\0');
  u32 capacity = size;
  return SLUtf8ToWide(out->data(), &capacity, bytes.c_str(), u32(bytes.size()), 0);
}

TEST(Utf8, EdgeVectorsAndLoneSurrogates) {
  EXPECT_EQ(ToUtf8(u"\u00E9"), "\xC3\xA9");
  EXPECT_EQ(ToUtf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(ToUtf8(u"\xD83D\xDE00" u"A"), "\xF0\x9F\x98\x80" "A");
  bool ok = true;
  ToUtf8(u"ab\xD83D", &ok);  // the high half waits for a low half that never comes
  SL_EXPECT_FAIL(ok, SL_E_BAD_CHARACTER);
  // A lone low surrogate has no UTF-8 form that the decoder would take back; nor have
  // U+FEFF and U+FFFE, which the decoder refuses inside a text.
  for (const char16_t* text : {u"\xDC00", u"a\xDFFF" u"b", u"\xD800\xD800\xDC00", u"a\xFEFF" u"b", u"\xFFFE"}) {
    ok = true;
    ToUtf8(text, &ok);
    SL_EXPECT_FAIL(ok, SL_E_BAD_CHARACTER);
  }

  const char* const rejected[] = {"\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                  "\xEF\xBB\xBF", "\x80", "\xE2\x82", "\xC3(", "\xF8\x88\x80\x80\x80",
                                  "\xEF\xBF\xBE", "\xC1\xBF"};
  for (const char* bytes : rejected) {
    std::u16string out;
    SL_EXPECT_FAIL(FromUtf8(bytes, &out), SL_E_BAD_CHARACTER) << bytes;
  }
  std::u16string out;
  ASSERT_TRUE(FromUtf8("\xF0\x9F\x98\x80\xE2\x82\xAC" "A\xF4\x8F\xBF\xBF", &out));
  EXPECT_EQ(out, u"\xD83D\xDE00\x20AC" u"A\xDBFF\xDFFF");
}

TEST(Utf8, AgreesWithPythonOverTheWholeRange) {
  // Every unit of the BMP but NUL, the surrogates and the two refused noncharacters, then
  // a sample of supplementary characters.
  std::u16string text;
  for (u32 c = 1; c < 0x10000; ++c)
    if ((c < 0xD800 || c > 0xDFFF) && c != 0xFEFF && c != 0xFFFE) text += char16_t(c);
  for (u32 c = 0x10000; c < 0x110000; c += 0x3F1) {
    text += char16_t(0xD800 + ((c - 0x10000) >> 10));
    text += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
  }
  std::string ours = ToUtf8(text);
  std::string path = TempPath("utf16.bin");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  std::string expected = SLTestRunPython("import sys\nsys.stdout.buffer.write(open('" + path +
                                   "','rb').read().decode('utf-16-le').encode('utf-8'))\n");
  ASSERT_FALSE(expected.empty());
  EXPECT_TRUE(ours == expected);
  std::u16string back;
  ASSERT_TRUE(FromUtf8(expected, &back));
  EXPECT_TRUE(back == text);
}

// Texts of ASCII runs of every length around the eight-byte step, mixed with longer
// sequences and now and then a broken byte, decoded whole and byte by byte through the
// stream: the same units, the same outcome and code. The buffer form also gets the text
// cut short by a capacity.
TEST(Utf8, WholeTextsDecodeAsTheByteByByteStream) {
  const char* const pieces[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xE0\x80", "\x80", "\xFF", "\xED\xA0\x80"};
  std::mt19937 rng(3);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (int part = 0, parts = 1 + int(rng() % 6); part < parts; ++part) {
      for (u32 n = rng() % 40; n; --n) text += char(1 + rng() % 127);
      u32 pick = rng() % 40;
      if (pick < 7) text += pieces[pick < 3 || rng() % 8 == 0 ? pick : pick % 3];
    }
    struct Stream {
      const std::string* bytes;
      std::size_t position;
      std::u16string units;
    } stream{&text, 0, {}};
    const bool streamOk = SLMultiByteToWideStream(
        65001,
        [](SLWChar unit, void* context) {
          static_cast<Stream*>(context)->units += unit;
          return true;
        },
        [](u8* byte, void* context) {
          auto* s = static_cast<Stream*>(context);
          if (s->position == s->bytes->size()) return false;
          *byte = u8((*s->bytes)[s->position++]);
          return true;
        },
        &stream, 0);
    const u32 streamCode = SLGetLastError();
    std::u16string whole(text.size() + 8, u'\0');
    u32 size = u32(whole.size());
    const bool wholeOk = SLUtf8ToWide(whole.data(), &size, text.data(), u32(text.size()), 0);
    ASSERT_EQ(wholeOk, streamOk) << round;
    ASSERT_EQ(SLGetLastError(), streamCode) << round;
    if (streamOk) {
      ASSERT_EQ(whole.substr(0, size), stream.units) << round;
      if (size > 3) {  // one unit short: the buffer is too small, and what fits is kept
        std::u16string cut(size - 1, u'\0');
        u32 capacity = size - 1;
        EXPECT_FALSE(SLUtf8ToWide(cut.data(), &capacity, text.data(), u32(text.size()), 0));
        EXPECT_EQ(SLGetLastError(), SL_E_BUFFER_TOO_SMALL);
      }
    }
  }
}

// For each code page: python's unit for every byte, -1 where the codec has none.
std::vector<long> PythonDecodes(const char* codec) {
  std::string output = SLTestRunPython(std::string("for b in range(256):\n"
                                             "  try: print(ord(bytes([b]).decode('") +
                                 codec + "')))\n  except UnicodeDecodeError: print(-1)\n");
  std::vector<long> units;
  std::istringstream lines(output);
  long unit;
  while (lines >> unit) units.push_back(unit);
  return units;
}

TEST(CodePages, RoundTripsEqualPythonForEveryByte) {
  struct Page {
    u32 number;
    const char* codec;
  } pages[] = {{1252, "cp1252"}, {437, "cp437"}, {850, "cp850"}, {10000, "mac_roman"}};
  for (const Page& page : pages) {
    std::vector<long> expected = PythonDecodes(page.codec);
    ASSERT_EQ(expected.size(), 256u) << page.codec;
    for (u32 b = 1; b < 256; ++b) {
      char byte = char(b);
      SLWChar unit = 0;
      u32 size = 1;
      ASSERT_TRUE(SLMultiByteToWide(page.number, &unit, &size, &byte, 1, 0)) << page.codec << " " << b;
      ASSERT_EQ(size, 1u);
      // Bytes the codec leaves undefined pass through as the C1 control of the same value.
      EXPECT_EQ(long(unit), expected[b] >= 0 ? expected[b] : long(b)) << page.codec << " byte " << b;
      char back[2] = {0, 0};
      size = 2;
      ASSERT_TRUE(SLWideToMultiByte(page.number, back, &size, &unit, 1, 0x10));
      EXPECT_EQ(size, 1u);
      EXPECT_EQ(u8(back[0]), b) << page.codec << " byte " << b;
    }
  }
  // The ANSI page through the chained transcoder: OEM 0x82 is e acute, ANSI 0xE9.
  char ansi[4];
  u32 size = sizeof ansi;
  ASSERT_TRUE(SLMultiByteToAnsi(437, ansi, &size, "\x82x", 2, 0));
  EXPECT_EQ(std::string(ansi, size), "\xE9x");
  EXPECT_EQ(ansi[2], 0);
  size = sizeof ansi;
  ASSERT_TRUE(SLAnsiToMultiByte(437, ansi, &size, "\xE9", 1, 0));
  EXPECT_EQ(std::string(ansi, size), "\x82");
  size = sizeof ansi;
  ASSERT_TRUE(SLUtf8ToAnsi(ansi, &size, "\xC3\xA9\xE2\x82\xAC", SL_TEXT_TO_END, 0));
  EXPECT_EQ(std::string(ansi, size), "\xE9\x80");
  size = sizeof ansi;
  ASSERT_TRUE(SLAnsiToUtf8(ansi, &size, "\x80", SL_TEXT_TO_END, 0));
  EXPECT_EQ(std::string(ansi, size), "\xE2\x82\xAC");
}

TEST(CodePages, SymbolsDefaultCharacterAndBestFit) {
  SLWChar unit = 0;
  u32 size = 1;
  ASSERT_TRUE(SLMultiByteToWide(42, &unit, &size, "\x41", 1, 0));
  EXPECT_EQ(unit, 0xF041);
  char byte = 0;
  size = 1;
  ASSERT_TRUE(SLWideToMultiByte(42, &byte, &size, u"\xF041", 1, 0));
  EXPECT_EQ(byte, 0x41);
  size = 1;
  ASSERT_TRUE(SLMultiByteToWide(42, &unit, &size, "\x0D", 1, 0));
  EXPECT_EQ(unit, 0x000D);
  size = 1;
  SL_EXPECT_FAIL(SLWideToMultiByte(42, &byte, &size, u"A", 1, 0), SL_E_BAD_CHARACTER);

  char text[8];
  size = sizeof text;
  ASSERT_TRUE(SLWideToAnsi(text, &size, u"\x4E00\x0100", SL_TEXT_TO_END, 0));
  EXPECT_EQ(std::string(text, size), "?A");  // no such character; best fit of A macron
  size = sizeof text;
  ASSERT_TRUE(SLWideToMultiByte(0, text, &size, u"\x0100", SL_TEXT_TO_END, 0x10));
  EXPECT_EQ(std::string(text, size), "?");  // best fit refused
}

TEST(CaseTables, SimpleMappingsEqualUnicodeDataForEveryUnit) {
  std::ifstream data("/usr/share/unicode/UnicodeData.txt");
  ASSERT_TRUE(data.good());
  std::vector<u32> upper(65536), lower(65536);
  for (u32 c = 0; c < 65536; ++c) upper[c] = lower[c] = c;
  std::string line;
  while (std::getline(data, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    std::string field;
    while (std::getline(split, field, ';')) fields.push_back(field);
    fields.resize(15);
    u32 c = std::stoul(fields[0], nullptr, 16);
    if (c > 0xFFFF) continue;
    if (!fields[12].empty()) upper[c] = std::stoul(fields[12], nullptr, 16);
    if (!fields[13].empty()) lower[c] = std::stoul(fields[13], nullptr, 16);
  }
  int mismatches = 0;
  for (u32 c = 0; c < 65536 && mismatches < 10; ++c) {
    if (SLToUpperW(SLWChar(c)) != upper[c] || SLToLowerW(SLWChar(c)) != lower[c]) {
      ++mismatches;
      ADD_FAILURE() << std::hex << c;
    }
  }
  EXPECT_EQ(SLToLowerW(0x0130), 0x0069);
  EXPECT_EQ(SLToLowerW(0x1E9E), 0x00DF);
  EXPECT_EQ(SLToLowerW(0x10A0), 0x2D00);
  EXPECT_EQ(SLToUpperW(0x0131), 0x0049);
  EXPECT_EQ(SLToLowerW(0x24B6), 0x24D0);
  SLWChar text[] = u"\x00C9T\x00C9 \x0130";
  EXPECT_EQ(std::u16string(SLStrLowerW(text)), u"\x00E9t\x00E9 i");
}

TEST(CaseTables, AnsiBytesKeepTheirValueWithoutAOneBytePartner) {
  EXPECT_EQ(SLToUpperA(0xE9), 0xC9);
  EXPECT_EQ(SLToLowerA(0xC9), 0xE9);
  EXPECT_EQ(SLToUpperA(0xFF), 0x9F);  // y diaeresis: its capital sits in the 0x80 row
  // Micro sign and sharp s have no capital in the page: they stay, instead of turning
  // into the default character and comparing equal to "?".
  EXPECT_EQ(SLToUpperA(0xB5), 0xB5);
  EXPECT_EQ(SLToUpperA(0xDF), 0xDF);
  EXPECT_NE(SLStrICmpA("\xB5", "?"), 0);
  EXPECT_NE(SLStrICmpA("a\xDF", "A?"), 0);
  EXPECT_EQ(SLStrICmpA("\xE9t\xE9", "\xC9T\xC9"), 0);
  char text[] = "caf\xE9 \x9C";
  EXPECT_STREQ(SLStrUpperA(text), "CAF\xC9 \x8C");
  EXPECT_STREQ(SLStrLowerA(text), "caf\xE9 \x9C");
  // Python's view of the page agrees for every byte (full mappings of one character only).
  std::string expected = SLTestRunPython(
      "import sys\nout=bytearray()\nfor b in range(256):\n"
      "  try: c=bytes([b]).decode('cp1252')\n  except UnicodeDecodeError: out.append(b); continue\n"
      "  u=c.upper()\n  try: e=u.encode('cp1252') if len(u)==1 else b'..'\n  except UnicodeEncodeError: e=b'..'\n"
      "  out.append(e[0] if len(e)==1 else b)\nsys.stdout.buffer.write(bytes(out))\n");
  ASSERT_EQ(expected.size(), 256u);
  for (u32 b = 1; b < 256; ++b) EXPECT_EQ(SLToUpperA(u8(b)), u8(expected[b])) << b;
}

// A double-byte page faked in the loader: lead bytes 0x81..0x9F; (0x82, 0xA0) is U+3042.
PFN_MultiByteToWideChar g_realMultiByteToWideChar;
PFN_IsDBCSLeadByteEx g_realIsDBCSLeadByteEx;
PFN_GetCPInfo g_realGetCPInfo;
constexpr UINT kFakeDoubleBytePage = 932;

int FakeMultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int count, LPWSTR units, int unitCount) {
  if (codePage != kFakeDoubleBytePage) return g_realMultiByteToWideChar(codePage, flags, bytes, count, units, unitCount);
  u8 first = u8(bytes[0]);
  if (first < 0x80 && count == 1) {
    units[0] = first;
    return 1;
  }
  if (count == 2 && first == 0x82 && u8(bytes[1]) == 0xA0) {
    units[0] = 0x3042;
    return 1;
  }
  units[0] = 0x30FB;  // what a lead byte alone turns into
  return 1;
}
BOOL FakeIsDBCSLeadByteEx(UINT codePage, BYTE byte) {
  if (codePage != kFakeDoubleBytePage) return g_realIsDBCSLeadByteEx(codePage, byte);
  return byte >= 0x81 && byte <= 0x9F;
}
BOOL FakeGetCPInfo(UINT codePage, CPINFO* info) {
  if (codePage != kFakeDoubleBytePage) return g_realGetCPInfo(codePage, info);
  std::memset(info, 0, sizeof *info);
  info->MaxCharSize = 2;
  info->LeadByte[0] = 0x81;
  info->LeadByte[1] = 0x9F;
  return TRUE;
}

TEST(Transcoders, DoubleBytePagesDecodeLeadAndTrailTogether) {
  SLInternals::CMXStrAPILoader* api = SLInternals::SLGetStrAPI();
  ASSERT_NE(api, nullptr);
  g_realMultiByteToWideChar = api->m_pMultiByteToWideChar;
  g_realIsDBCSLeadByteEx = api->m_pIsDBCSLeadByteEx;
  g_realGetCPInfo = api->m_pGetCPInfo;
  api->m_pMultiByteToWideChar = &FakeMultiByteToWideChar;
  api->m_pIsDBCSLeadByteEx = &FakeIsDBCSLeadByteEx;
  api->m_pGetCPInfo = &FakeGetCPInfo;

  SLWChar units[8];
  u32 size = 8;
  bool ok = SLMultiByteToWide(kFakeDoubleBytePage, units, &size, "A\x82\xA0" "B", SL_TEXT_TO_END, 0);
  std::u16string text(units, ok ? size : 0);
  size = 8;
  bool truncated = SLMultiByteToWide(kFakeDoubleBytePage, units, &size, "A\x82", SL_TEXT_TO_END, 0);
  u32 truncatedCode = SLGetLastError();

  api->m_pMultiByteToWideChar = g_realMultiByteToWideChar;
  api->m_pIsDBCSLeadByteEx = g_realIsDBCSLeadByteEx;
  api->m_pGetCPInfo = g_realGetCPInfo;
  ASSERT_TRUE(ok);
  EXPECT_EQ(text, u"A\x3042" u"B");
  EXPECT_FALSE(truncated);
  EXPECT_EQ(truncatedCode, SL_E_BAD_CHARACTER);
}

TEST(Transcoders, EightThreadsConvertingAtOnceAgree) {
  std::vector<std::u16string> texts;
  std::mt19937 random(8);
  for (int i = 0; i < 64; ++i) {
    std::u16string text;
    int length = 1 + random() % 200;
    for (int k = 0; k < length; ++k) {
      u32 c = 1 + random() % 0x2FF;
      text += char16_t(c == 0xFEFF ? 'x' : c);
    }
    texts.push_back(text);
  }
  auto convert = [&](const std::u16string& text) {
    std::string result = ToUtf8(text);
    char bytes[512];
    u32 size = sizeof bytes;
    SLWideToMultiByte(850, bytes, &size, text.c_str(), u32(text.size()), 0);
    result.append(bytes, size);
    size = sizeof bytes;
    SLMultiByteToAnsi(437, bytes, &size, result.c_str(), u32(result.size()), 0);
    result.append(bytes, size);
    for (char& c : result) c = char(SLToUpperA(u8(c)));
    return result;
  };
  // The threads start together, so that the first of them build the per-thread
  // transcoders, the code-page cache and the ANSI tables while the others wait for them.
  std::atomic<int> ready{0};
  std::vector<std::vector<std::string>> results(8);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      ++ready;
      while (ready.load() < 8) std::this_thread::yield();
      for (int round = 0; round < 20; ++round)
        for (std::size_t i = 0; i < texts.size(); ++i) {
          std::string result = convert(texts[(i + t) % texts.size()]);
          if (round == 0) results[t].push_back(result);
          else if (result != results[t][i]) results[t][i] = "changed between rounds";
        }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 8; ++t)
    for (std::size_t i = 0; i < texts.size(); ++i)
      EXPECT_EQ(results[t][i], convert(texts[(i + t) % texts.size()])) << "thread " << t << " text " << i;
}

// The reference: plain recursion over the two texts.
bool ReferenceMatch(const char* pattern, const char* text, bool ignoreCase) {
  if (!*pattern) return !*text;
  if (*pattern == '*') return ReferenceMatch(pattern + 1, text, ignoreCase) || (*text && ReferenceMatch(pattern, text + 1, ignoreCase));
  if (!*text) return false;
  bool same = *pattern == '?' ? *text != '.'
                              : (ignoreCase ? std::tolower(u8(*pattern)) == std::tolower(u8(*text)) : *pattern == *text);
  return same && ReferenceMatch(pattern + 1, text + 1, ignoreCase);
}

TEST(Wildcards, CasesAndAgreementWithAReferenceMatcher) {
  struct Case {
    const char* pattern;
    const char* text;
    bool ignoreCase;
    bool match;
  } cases[] = {
      {"*.txt", "info.txt", false, true}, {"*.txt", "INFO.TXT", true, true}, {"*.txt", "INFO.TXT", false, false},
      {"a?c", "abc", false, true},        {"a?c", "a.c", false, false},     {"*", "", false, true},
      {"ab", "abc", false, false},        {"ab*", "ab", false, true},       {"a**", "a", false, true},
      {"a*?*", "a", false, false},        {"**", "", false, true},          {"*a*b", "xaxxb", false, true},
      {"", "", false, true},              {"", "a", false, false},          {"?", "", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SLWildcardMatchA(c.pattern, c.text, c.ignoreCase), c.match) << c.pattern << " " << c.text;
    EXPECT_EQ(SLGetLastError(), c.match ? 0u : u32(SL_E_NO_MATCH));
    std::u16string pattern(c.pattern, c.pattern + std::strlen(c.pattern));
    std::u16string text(c.text, c.text + std::strlen(c.text));
    EXPECT_EQ(SLWildcardMatchW(pattern.c_str(), text.c_str(), c.ignoreCase), c.match) << c.pattern;
  }
  std::mt19937 random(9);
  const char alphabet[] = "aAb.*?";
  for (int i = 0; i < 100000; ++i) {
    std::string pattern, text;
    int patternLength = random() % 7, textLength = random() % 8;
    for (int k = 0; k < patternLength; ++k) pattern += alphabet[random() % 6];
    for (int k = 0; k < textLength; ++k) text += alphabet[random() % 4];
    bool ignoreCase = random() % 2;
    ASSERT_EQ(SLWildcardMatchA(pattern.c_str(), text.c_str(), ignoreCase),
              ReferenceMatch(pattern.c_str(), text.c_str(), ignoreCase))
        << pattern << " / " << text << " " << ignoreCase;
  }
}

}  // namespace

TEST(Transcoders, MissingConversionEntryFailsWithSystemError120) {
  SLInternals::CMXStrAPILoader* api = SLInternals::SLGetStrAPI();
  ASSERT_NE(api, nullptr);
  PFN_WideCharToMultiByte real = api->m_pWideCharToMultiByte;
  api->m_pWideCharToMultiByte = nullptr;
  char out[4];
  int n = api->WideCharToMultiByte(1252, 0, u"a", 1, out, 4, nullptr, nullptr);
  u32 systemError = SLGetSystemLastError();
  u32 size = 4;
  bool ok = SLWideToAnsi(out, &size, u"a", 1, 0);
  api->m_pWideCharToMultiByte = real;
  EXPECT_EQ(n, 0);
  EXPECT_EQ(systemError, ERROR_CALL_NOT_IMPLEMENTED);
  EXPECT_FALSE(ok);
}
