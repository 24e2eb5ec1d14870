// The kernel32 stand-in's text functions called directly: conversion flags and their
// system errors, code-page facts, character types, case mapping, locale answers, and the
// user32 and oleaut32 text entries reached through the module registry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <string>

#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Locale.h"
#include "platform/kernel32/Modules.h"
#include "platform/kernel32/Text.h"

namespace {

TEST(PlatformText, MultiByteSizesTerminatorsAndErrors) {
  WCHAR units[8] = {};
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "ab\x80", -1, nullptr, 0), 4);  // the NUL counts
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "ab\x80", -1, units, 8), 4);
  EXPECT_EQ(std::u16string(units), u"ab\x20AC");
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", 3, units, 2), 0);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(MultiByteToWideChar(777, 0, "a", 1, units, 8), 0);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 0, units, 8), 0);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MultiByteToWideChar(CP_OEMCP, 0, "\x82", 1, units, 8), 1);
  EXPECT_EQ(units[0], 0x00E9);
  EXPECT_EQ(MultiByteToWideChar(CP_MACCP, 0, "\x8E", 1, units, 8), 1);
  EXPECT_EQ(units[0], 0x00E9);
}

TEST(PlatformText, Utf8InvalidSequencesBecomeReplacementOrFail) {
  WCHAR units[16] = {};
  // Each maximal invalid part becomes one U+FFFD; with MB_ERR_INVALID_CHARS the call fails.
  int n = MultiByteToWideChar(CP_UTF8, 0, "a\xE2\x82" "b\xC0\x80", 6, units, 16);
  EXPECT_EQ(std::u16string(units, n), u"a\xFFFD" u"b\xFFFD\xFFFD");
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xED\xA0\x80", 4, units, 16), 0);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xF0\x9F\x98\x80\xEF\xBB\xBF", 7, units, 16);
  EXPECT_EQ(std::u16string(units, n), u"\xD83D\xDE00\xFEFF");

  char bytes[16];
  n = WideCharToMultiByte(CP_UTF8, 0, u"\xDC00x\xD800", 3, bytes, 16, nullptr, nullptr);
  EXPECT_EQ(std::string(bytes, n), "\xEF\xBF\xBDx\xEF\xBF\xBD");
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, u"\xDC00", 1, bytes, 16, nullptr, nullptr), 0);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\x20AC", 1, bytes, 2, nullptr, nullptr), 0);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(PlatformText, DefaultCharacterBestFitAndUsedFlag) {
  char bytes[16];
  BOOL usedDefault = TRUE;
  int n = WideCharToMultiByte(1252, 0, u"\x00E9\x20AC", 2, bytes, 16, nullptr, &usedDefault);
  EXPECT_EQ(std::string(bytes, n), "\xE9\x80");
  EXPECT_FALSE(usedDefault);
  // Best fit maps A macron to A and the fullwidth digit to 1; the CJK unit has no fit.
  n = WideCharToMultiByte(1252, 0, u"\x0100\xFF11\x4E00", 3, bytes, 16, nullptr, &usedDefault);
  EXPECT_EQ(std::string(bytes, n), "A1?");
  EXPECT_TRUE(usedDefault);
  n = WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, u"\x0100", 1, bytes, 16, "*", &usedDefault);
  EXPECT_EQ(std::string(bytes, n), "*");
  EXPECT_TRUE(usedDefault);
  // A surrogate pair is one character: one default character.
  n = WideCharToMultiByte(437, 0, u"\xD83D\xDE00!", 3, bytes, 16, nullptr, nullptr);
  EXPECT_EQ(std::string(bytes, n), "?!");
  n = WideCharToMultiByte(1252, WC_COMPOSITECHECK | WC_DISCARDNS, u"e\x0301", 2, bytes, 16, nullptr, nullptr);
  EXPECT_EQ(std::string(bytes, n), "e");
  EXPECT_EQ(WideCharToMultiByte(CP_SYMBOL, 0, u"\xF041\x0009", 2, bytes, 16, nullptr, nullptr), 2);
  EXPECT_EQ(std::string(bytes, 2), "A\t");
}

TEST(PlatformText, CodePageFactsAndCharacterTypes) {
  CPINFO info;
  ASSERT_TRUE(GetCPInfo(1252, &info));
  EXPECT_EQ(info.MaxCharSize, 1u);
  EXPECT_EQ(info.DefaultChar[0], '?');
  EXPECT_EQ(info.LeadByte[0], 0);
  ASSERT_TRUE(GetCPInfo(CP_UTF8, &info));
  EXPECT_EQ(info.MaxCharSize, 4u);
  EXPECT_FALSE(GetCPInfo(932, &info));
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_PARAMETER);
  for (UINT page : {1252u, 437u, 850u, 10000u, 42u})
    for (int b = 0x80; b < 0x100; ++b) EXPECT_FALSE(IsDBCSLeadByteEx(page, BYTE(b)));

  WORD types[6];
  ASSERT_TRUE(GetStringTypeExW(0x0C0A, CT_CTYPE1, u"a\x00C9 5\x20AC\x4E00", 6, types));
  EXPECT_EQ(types[0], C1_LOWER | C1_ALPHA | C1_XDIGIT | C1_DEFINED);
  EXPECT_EQ(types[1], C1_UPPER | C1_ALPHA | C1_DEFINED);
  EXPECT_EQ(types[2], C1_SPACE | C1_BLANK | C1_DEFINED);
  EXPECT_EQ(types[3], C1_DIGIT | C1_XDIGIT | C1_DEFINED);
  EXPECT_EQ(types[4], C1_PUNCT | C1_DEFINED);
  EXPECT_EQ(types[5], C1_ALPHA | C1_DEFINED);
  EXPECT_FALSE(GetStringTypeExW(0x0C0A, 2, u"a", 1, types));
}

TEST(PlatformText, CaseMappingOfTheAnsiPage) {
  char out[8];
  EXPECT_EQ(LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, "a\xE9\xFF\xB5", 4, out, 8), 4);
  EXPECT_EQ(std::string(out, 4), "A\xC9\x9F\xB5");
  EXPECT_EQ(LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, "Z\xC9\x8C", -1, out, 8), 4);
  EXPECT_EQ(std::string(out, 4), std::string("z\xE9\x9C\0", 4));
  EXPECT_EQ(LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, "abc", 3, nullptr, 0), 3);
  EXPECT_EQ(LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, "abc", 3, out, 2), 0);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(PlatformText, TheSystemLocaleAnswers) {
  // The thread's locale is the environment's (see the locale tests); the code pages are
  // the system's whatever the locale.
  const char* old = std::getenv("LC_ALL");
  std::string saved = old ? old : "";
  setenv("LC_ALL", "es_ES.UTF-8", 1);
  EXPECT_EQ(GetThreadLocale(), 0x0C0Au);
  if (old)
    setenv("LC_ALL", saved.c_str(), 1);
  else
    unsetenv("LC_ALL");
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(GetOEMCP(), 437u);
  DWORD number = 0;
  EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                           reinterpret_cast<char*>(&number), 4),
            4);
  EXPECT_EQ(number, 1252u);
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTCODEPAGE | LOCALE_RETURN_NUMBER,
                           reinterpret_cast<WCHAR*>(&number), 2),
            2);
  EXPECT_EQ(number, 437u);
  EXPECT_EQ(GetLocaleInfoA(0x0C0A, LOCALE_IDEFAULTMACCODEPAGE | LOCALE_RETURN_NUMBER,
                           reinterpret_cast<char*>(&number), 4),
            4);
  EXPECT_EQ(number, 10000u);
  char text[16];
  EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, text, 16), 5);
  EXPECT_STREQ(text, "1252");
  WCHAR wide[16];
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, wide, 16), 2);
  EXPECT_EQ(std::u16string(wide), u",");
  EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, 1), 0);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(GetLocaleInfoA(0x0409, LOCALE_SDECIMAL, text, 16), 0);  // not this system's locale
}

TEST(PlatformText, User32AndOleaut32EntriesThroughTheRegistry) {
  HMODULE user32 = LoadLibraryA("user32.dll");
  ASSERT_NE(user32, nullptr);
  auto loadStringW = reinterpret_cast<PFN_LoadStringW>(SLPlatformFindExport(user32, "LoadStringW"));
  ASSERT_NE(loadStringW, nullptr);
  WCHAR buffer[8] = {u'x'};
  EXPECT_EQ(loadStringW(nullptr, 101, buffer, 8), 0);
  EXPECT_EQ(buffer[0], 0);
  ASSERT_NE(SLPlatformFindExport(user32, "LoadStringA"), nullptr);

  HMODULE oleaut32 = LoadLibraryA("oleaut32.dll");
  ASSERT_NE(oleaut32, nullptr);
  auto sysAlloc = reinterpret_cast<PFN_SysAllocString>(SLPlatformFindExport(oleaut32, "SysAllocString"));
  auto sysAllocLen = reinterpret_cast<PFN_SysAllocStringLen>(SLPlatformFindExport(oleaut32, "SysAllocStringLen"));
  auto sysLen = reinterpret_cast<PFN_SysStringLen>(SLPlatformFindExport(oleaut32, "SysStringLen"));
  auto sysFree = reinterpret_cast<PFN_SysFreeString>(SLPlatformFindExport(oleaut32, "SysFreeString"));
  ASSERT_TRUE(sysAlloc && sysAllocLen && sysLen && sysFree);
  BSTR text = sysAlloc(u"hola");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(sysLen(text), 4u);
  EXPECT_EQ(std::u16string(text), u"hola");
  sysFree(text);
  BSTR withNul = sysAllocLen(u"a\0b", 3);
  EXPECT_EQ(sysLen(withNul), 3u);
  EXPECT_EQ(withNul[2], u'b');
  EXPECT_EQ(withNul[3], 0);
  sysFree(withNul);
  EXPECT_EQ(sysAlloc(nullptr), nullptr);
  EXPECT_EQ(sysLen(nullptr), 0u);

  HMODULE kernel32 = LoadLibraryA("kernel32.dll");
  for (const char* name : {"MultiByteToWideChar", "WideCharToMultiByte", "GetCPInfo", "IsDBCSLeadByteEx",
                           "GetStringTypeExW", "LCMapStringA", "GetLocaleInfoA", "GetLocaleInfoW", "GetThreadLocale",
                           "GetACP", "GetOEMCP"})
    EXPECT_NE(SLPlatformFindExport(kernel32, name), nullptr) << name;
}

}  // namespace
