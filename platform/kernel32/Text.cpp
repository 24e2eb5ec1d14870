// The kernel32 stand-in's text functions over the generated code-page and character tables.
#include "platform/kernel32/Text.h"
#include "platform/kernel32/Locale.h"

#include <algorithm>
#include <cstring>

#include "platform/kernel32/Handles.h"
#include "platform/kernel32/TextTables.h"
#include "platform/toolbox.h"

namespace {

using namespace SLPlatformText;

constexpr DWORD kErrorInvalidFlags = 1004;
constexpr LCID kSystemLocale = 0x0C0A;  // Spanish (Spain, modern sort)
constexpr UINT kAnsiCodePage = 1252;
constexpr UINT kOemCodePage = 437;
constexpr UINT kMacCodePage = 10000;

struct SingleBytePage {
  UINT number;
  const std::uint16_t* toUnit;
  const UnitByte* fromUnit;
  std::size_t fromCount;
  const std::uint8_t* upper;
  const std::uint8_t* lower;
};

template <std::size_t N>
constexpr SingleBytePage Page(UINT number, const std::uint16_t* toUnit, const UnitByte (&fromUnit)[N],
                              const std::uint8_t* upper, const std::uint8_t* lower) {
  return {number, toUnit, fromUnit, N, upper, lower};
}

constexpr SingleBytePage kPages[] = {
    Page(1252, kCp1252ToUnit, kCp1252FromUnit, kCp1252Upper, kCp1252Lower),
    Page(437, kCp437ToUnit, kCp437FromUnit, kCp437Upper, kCp437Lower),
    Page(850, kCp850ToUnit, kCp850FromUnit, kCp850Upper, kCp850Lower),
    Page(10000, kCp10000ToUnit, kCp10000FromUnit, kCp10000Upper, kCp10000Lower),
};

// The code-page kinds 0..3 name the system's pages; the thread's page is the ANSI one.
UINT ResolveCodePage(UINT codePage) {
  switch (codePage) {
    case CP_ACP: return kAnsiCodePage;
    case CP_OEMCP: return kOemCodePage;
    case CP_MACCP: return kMacCodePage;
    case CP_THREAD_ACP: return kAnsiCodePage;
    default: return codePage;
  }
}

const SingleBytePage* FindPage(UINT codePage) {
  for (const SingleBytePage& page : kPages)
    if (page.number == codePage) return &page;
  return nullptr;
}

bool IsKnownCodePage(UINT codePage) {
  return FindPage(codePage) || codePage == CP_SYMBOL || codePage == CP_UTF8;
}

// The byte of a unit in a single-byte page, or -1: units below 0x100 (most text) through
// a direct table made once per page, the others by bisection of the sorted pairs.
struct LatinBytes {
  std::int16_t byte[std::size(kPages)][256];
};

const LatinBytes& Latin() {
  static const LatinBytes table = [] {
    LatinBytes t{};
    for (std::size_t p = 0; p < std::size(kPages); ++p) {
      for (int u = 0; u < 256; ++u) t.byte[p][u] = std::int16_t(u < 0x80 ? u : -1);
      for (std::size_t i = 0; i < kPages[p].fromCount; ++i)
        if (kPages[p].fromUnit[i].unit < 256) t.byte[p][kPages[p].fromUnit[i].unit] = kPages[p].fromUnit[i].byte;
    }
    return t;
  }();
  return table;
}

int EncodeInPage(const SingleBytePage& page, std::uint16_t unit) {
  if (unit < 0x100) return Latin().byte[&page - kPages][unit];
  const UnitByte* end = page.fromUnit + page.fromCount;
  const UnitByte* found =
      std::lower_bound(page.fromUnit, end, unit, [](const UnitByte& entry, std::uint16_t u) { return entry.unit < u; });
  return found != end && found->unit == unit ? found->byte : -1;
}

std::uint16_t BestFit(std::uint16_t unit) {
  const UnitFit* end = kBestFit + std::size(kBestFit);
  const UnitFit* found =
      std::lower_bound(kBestFit, end, unit, [](const UnitFit& entry, std::uint16_t u) { return entry.unit < u; });
  return found != end && found->unit == unit ? found->fit : 0;
}

// Output of a conversion: counts always, stores while capacity lasts (capacity 0 measures).
template <class T>
class Output {
 public:
  Output(T* target, int capacity) : m_target(target), m_capacity(capacity) {}
  bool Put(T value) {
    if (m_capacity > 0) {
      if (m_count >= m_capacity) return false;
      m_target[m_count] = value;
    }
    ++m_count;
    return true;
  }
  int Count() const { return m_count; }

 private:
  T* m_target;
  int m_capacity;
  int m_count = 0;
};

int Fail(DWORD error) {
  SLPlatformSetLastError(error);
  return 0;
}

// One UTF-8 sequence at `p` (n bytes available): the code point and its length, or -1
// with the length of the maximal invalid part (at least 1).
long DecodeUtf8(const std::uint8_t* p, int n, int* length) {
  std::uint8_t lead = p[0];
  *length = 1;
  if (lead < 0x80) return lead;
  int need;
  long code;
  std::uint8_t low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2, code = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3, code = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return -1;
  }
  for (int i = 1; i <= need; ++i) {
    if (i >= n) return -1;
    std::uint8_t c = p[i];
    if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF)) return -1;
    code = (code << 6) | (c & 0x3F);
    *length = i + 1;
  }
  return code;
}

int CountToNul(const char* text) { return int(std::strlen(text)) + 1; }
int CountToNul(const WCHAR* text) { return int(SLPlatformTextLength(text)) + 1; }

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int byteCount, LPWSTR units, int unitCount) {
  if (!bytes || byteCount == 0 || byteCount < -1 || unitCount < 0 || (unitCount > 0 && !units))
    return Fail(ERROR_INVALID_PARAMETER);
  codePage = ResolveCodePage(codePage);
  if (!IsKnownCodePage(codePage)) return Fail(ERROR_INVALID_PARAMETER);
  if (byteCount == -1) byteCount = CountToNul(bytes);
  const auto* in = reinterpret_cast<const std::uint8_t*>(bytes);
  Output<WCHAR> out(units, unitCount);
  // MB_PRECOMPOSED and MB_COMPOSITE: the tables hold precomposed characters only, so both
  // give the same units here. MB_USEGLYPHCHARS is accepted and the control characters stay
  // controls (the OEM glyph forms are not part of the tables).
  if (codePage == CP_UTF8) {
    for (int i = 0; i < byteCount;) {
      int length;
      long code = DecodeUtf8(in + i, byteCount - i, &length);
      i += length;
      if (code < 0) {
        if (flags & MB_ERR_INVALID_CHARS) return Fail(ERROR_NO_UNICODE_TRANSLATION);
        code = 0xFFFD;
      }
      if (code > 0xFFFF) {
        code -= 0x10000;
        if (!out.Put(WCHAR(0xD800 + (code >> 10))) || !out.Put(WCHAR(0xDC00 + (code & 0x3FF))))
          return Fail(ERROR_INSUFFICIENT_BUFFER);
      } else if (!out.Put(WCHAR(code))) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
      }
    }
  } else if (codePage == CP_SYMBOL) {
    for (int i = 0; i < byteCount; ++i)
      if (!out.Put(WCHAR(in[i] < 0x20 ? in[i] : 0xF000 + in[i]))) return Fail(ERROR_INSUFFICIENT_BUFFER);
  } else {
    const std::uint16_t* table = FindPage(codePage)->toUnit;
    if (unitCount > 0 && byteCount > unitCount) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (unitCount > 0)
      for (int i = 0; i < byteCount; ++i) units[i] = WCHAR(table[in[i]]);
    SLPlatformSetLastError(ERROR_SUCCESS);
    return byteCount;
  }
  SLPlatformSetLastError(ERROR_SUCCESS);
  return out.Count();
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR units, int unitCount, LPSTR bytes, int byteCount,
                        LPCSTR defaultChar, BOOL* usedDefault) {
  if (!units || unitCount == 0 || unitCount < -1 || byteCount < 0 || (byteCount > 0 && !bytes))
    return Fail(ERROR_INVALID_PARAMETER);
  codePage = ResolveCodePage(codePage);
  if (!IsKnownCodePage(codePage)) return Fail(ERROR_INVALID_PARAMETER);
  if (unitCount == -1) unitCount = CountToNul(units);
  if (usedDefault) *usedDefault = FALSE;
  Output<char> out(bytes, byteCount);
  const char fallback = defaultChar ? defaultChar[0] : '?';

  if (codePage == CP_UTF8) {
    // The default character does not apply to UTF-8: an unpaired surrogate becomes U+FFFD,
    // or fails the call with WC_ERR_INVALID_CHARS.
    for (int i = 0; i < unitCount; ++i) {
      std::uint32_t code = units[i];
      if (code >= 0xD800 && code <= 0xDFFF) {
        bool paired = code <= 0xDBFF && i + 1 < unitCount && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
        if (paired) {
          code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else {
          if (flags & WC_ERR_INVALID_CHARS) return Fail(ERROR_NO_UNICODE_TRANSLATION);
          code = 0xFFFD;
        }
      }
      bool ok;
      if (code < 0x80) {
        ok = out.Put(char(code));
      } else if (code < 0x800) {
        ok = out.Put(char(0xC0 | code >> 6)) && out.Put(char(0x80 | (code & 0x3F)));
      } else if (code < 0x10000) {
        ok = out.Put(char(0xE0 | code >> 12)) && out.Put(char(0x80 | ((code >> 6) & 0x3F))) &&
             out.Put(char(0x80 | (code & 0x3F)));
      } else {
        ok = out.Put(char(0xF0 | code >> 18)) && out.Put(char(0x80 | ((code >> 12) & 0x3F))) &&
             out.Put(char(0x80 | ((code >> 6) & 0x3F))) && out.Put(char(0x80 | (code & 0x3F)));
      }
      if (!ok) return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    SLPlatformSetLastError(ERROR_SUCCESS);
    return out.Count();
  }

  const SingleBytePage* page = FindPage(codePage);
  for (int i = 0; i < unitCount; ++i) {
    std::uint16_t unit = units[i];
    int byte;
    if (page) {
      byte = EncodeInPage(*page, unit);
      // Best fit: a character missing from the page may stand in for its base letter
      // (the first character of its Unicode decomposition), as "A" for U+0100.
      if (byte < 0 && !(flags & WC_NO_BEST_FIT_CHARS)) {
        std::uint16_t fit = BestFit(unit);
        if (fit) byte = EncodeInPage(*page, fit);
      }
    } else {  // symbol page
      byte = unit < 0x20 ? unit : (unit >= 0xF020 && unit <= 0xF0FF ? unit & 0xFF : -1);
    }
    if (byte < 0) {
      // Combining marks are not merged with their base here (the framework's text is
      // precomposed); WC_COMPOSITECHECK with WC_DISCARDNS drops them, otherwise they take
      // the default character like any other unit missing from the page.
      if ((flags & WC_COMPOSITECHECK) && (flags & WC_DISCARDNS) && unit >= 0x0300 && unit <= 0x036F) continue;
      // A surrogate pair is one character and takes one default character.
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < unitCount && units[i + 1] >= 0xDC00 &&
          units[i + 1] <= 0xDFFF)
        ++i;
      if (usedDefault) *usedDefault = TRUE;
      byte = std::uint8_t(fallback);
    }
    if (!out.Put(char(byte))) return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  SLPlatformSetLastError(ERROR_SUCCESS);
  return out.Count();
}

BOOL GetCPInfo(UINT codePage, CPINFO* info) {
  codePage = ResolveCodePage(codePage);
  if (!info || !IsKnownCodePage(codePage)) return Fail(ERROR_INVALID_PARAMETER);
  std::memset(info, 0, sizeof *info);
  info->MaxCharSize = codePage == CP_UTF8 ? 4 : 1;
  info->DefaultChar[0] = '?';
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL IsDBCSLeadByteEx(UINT codePage, BYTE) {
  // Every page the stand-in knows is single-byte (UTF-8 has no lead bytes in this sense).
  if (!IsKnownCodePage(ResolveCodePage(codePage))) return Fail(ERROR_INVALID_PARAMETER);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return FALSE;
}

BOOL GetStringTypeExW(LCID, DWORD infoType, LPCWSTR units, int count, WORD* types) {
  // One locale only: the classes are those of the Unicode character database for every locale.
  if (infoType != CT_CTYPE1) return Fail(kErrorInvalidFlags);
  if (!units || !types || count == 0 || count < -1) return Fail(ERROR_INVALID_PARAMETER);
  if (count == -1) count = CountToNul(units) - 1;
  for (int i = 0; i < count; ++i) {
    std::uint16_t unit = units[i];
    types[i] = kCType1[kCType1[unit >> 8] + (unit & 0xFF)];
  }
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}

int LCMapStringA(LCID, DWORD mapFlags, LPCSTR source, int sourceCount, LPSTR target, int targetCount) {
  // The locale's ANSI page (1252) decides; a byte keeps its value when its case partner
  // is not in the page.
  if (mapFlags != LCMAP_UPPERCASE && mapFlags != LCMAP_LOWERCASE) return Fail(kErrorInvalidFlags);
  if (!source || sourceCount == 0 || sourceCount < -1 || targetCount < 0 || (targetCount > 0 && !target))
    return Fail(ERROR_INVALID_PARAMETER);
  if (sourceCount == -1) sourceCount = CountToNul(source);
  if (targetCount == 0) {
    SLPlatformSetLastError(ERROR_SUCCESS);
    return sourceCount;
  }
  if (targetCount < sourceCount) return Fail(ERROR_INSUFFICIENT_BUFFER);
  const SingleBytePage* page = FindPage(kAnsiCodePage);
  const std::uint8_t* map = mapFlags == LCMAP_UPPERCASE ? page->upper : page->lower;
  for (int i = 0; i < sourceCount; ++i) target[i] = char(map[std::uint8_t(source[i])]);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return sourceCount;
}

namespace {

struct LocaleValue {
  LCTYPE type;
  const char* text;
  DWORD number;
};

constexpr LocaleValue kLocaleValues[] = {
    {LOCALE_ILANGUAGE, "0c0a", kSystemLocale},
    {LOCALE_IDEFAULTCODEPAGE, "437", kOemCodePage},
    {LOCALE_IDEFAULTANSICODEPAGE, "1252", kAnsiCodePage},
    {LOCALE_IDEFAULTMACCODEPAGE, "10000", kMacCodePage},
    {LOCALE_SDECIMAL, ",", 0},
    {LOCALE_STHOUSAND, ".", 0},
    {LOCALE_SENGLANGUAGE, "Spanish", 0},
    {LOCALE_SABBREVLANGNAME, "ESN", 0},
    {LOCALE_SENGCOUNTRY, "Spain", 0},
};

// The system has one locale's tables: the defaults, any Spanish locale and the locale of
// the environment (whose Western code pages are the same) answer with them.
bool IsKnownLocale(LCID locale) {
  return locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT || locale == 0 ||
         (locale & 0x3FF) == 0x0A || locale == SLPlatformEnvironmentLCID();
}

template <class C>
int LocaleInfo(LCID locale, LCTYPE type, C* data, int dataCount) {
  if (dataCount < 0 || (dataCount > 0 && !data) || !IsKnownLocale(locale)) return Fail(ERROR_INVALID_PARAMETER);
  bool asNumber = type & LOCALE_RETURN_NUMBER;
  type &= ~(LOCALE_RETURN_NUMBER | LOCALE_NOUSEROVERRIDE);
  const LocaleValue* value = nullptr;
  for (const LocaleValue& candidate : kLocaleValues)
    if (candidate.type == type) value = &candidate;
  if (!value || (asNumber && value->number == 0 && type != LOCALE_ILANGUAGE)) return Fail(kErrorInvalidFlags);
  if (asNumber) {
    int needed = int(sizeof(DWORD) / sizeof(C));
    if (dataCount == 0) return needed;
    if (dataCount < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(data, &value->number, sizeof(DWORD));
    SLPlatformSetLastError(ERROR_SUCCESS);
    return needed;
  }
  int needed = int(std::strlen(value->text)) + 1;
  if (dataCount == 0) {
    SLPlatformSetLastError(ERROR_SUCCESS);
    return needed;
  }
  if (dataCount < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  for (int i = 0; i < needed; ++i) data[i] = C(std::uint8_t(value->text[i]));
  SLPlatformSetLastError(ERROR_SUCCESS);
  return needed;
}

}  // namespace

int GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int dataCount) {
  return LocaleInfo(locale, type, data, dataCount);
}

int GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int dataCount) {
  return LocaleInfo(locale, type, data, dataCount);
}

// Linux threads have no locale of their own: every thread runs in the environment's
// locale (0 for one the system does not know).
LCID GetThreadLocale() { return SLPlatformEnvironmentLCID(); }
UINT GetACP() { return kAnsiCodePage; }
UINT GetOEMCP() { return kOemCodePage; }
