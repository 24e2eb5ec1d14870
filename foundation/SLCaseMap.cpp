// Case mapping of UTF-16 units (generated delta tables) and of ANSI bytes (tables built
// once from the system's code-page conversion), ANSI characters to units and their classes.
// These per-character functions cannot fail and leave the error code alone.
#include "foundation/SLCaseMap.h"

#include <atomic>

#include "foundation/SLCaseTables.h"
#include "foundation/SLError.h"
#include "foundation/SLStrApiLoader.h"
#include "foundation/SLSync.h"

namespace {

inline SLWChar MapThrough(const u16* table, SLWChar unit) {
  u16 start = table[u16(unit) >> 8];
  return SLWChar(u16(unit + table[start + (u16(unit) & 0xFF)]));
}

// Built once by the first thread that needs them; others sleep 1 ms and look again.
class OnceTable {
 public:
  template <class Build>
  void Ensure(Build build) {
    if (m_done.load(std::memory_order_acquire)) return;
    while (m_busy.exchange(1, std::memory_order_acquire)) SLSleep(1);
    if (!m_done.load(std::memory_order_relaxed)) {
      SLErrorKeeper keep;
      build();
      m_done.store(1, std::memory_order_release);
    }
    m_busy.store(0, std::memory_order_release);
  }

 private:
  std::atomic<u32> m_busy{0};
  std::atomic<u32> m_done{0};
};

// The units of the ANSI bytes 128..255 (their own value when a byte converts to nothing)
// and whether the ANSI page has lead bytes at all.
OnceTable g_ansiUnitsOnce;
SLWChar g_ansiUnits[128];
bool g_ansiHasLeadBytes = false;

void BuildAnsiUnits() {
  SLInternals::CMXStrAPILoader* api = SLInternals::SLGetStrAPI();
  u32 ansi = SLGetCodePageCached(0);
  CPINFO info{};
  if (api && api->GetCPInfo(ansi, &info)) g_ansiHasLeadBytes = info.LeadByte[0] != 0;
  for (u32 b = 128; b < 256; ++b) {
    char byte = char(b);
    SLWChar unit = SLWChar(b);
    if (!api || api->MultiByteToWideChar(ansi, MB_PRECOMPOSED, &byte, 1, &unit, 1) != 1) unit = SLWChar(b);
    g_ansiUnits[b - 128] = unit;
  }
}

OnceTable g_ansiCaseOnce;
u8 g_ansiUpper[128];
u8 g_ansiLower[128];

void BuildAnsiCase() {
  SLInternals::CMXStrAPILoader* api = SLInternals::SLGetStrAPI();
  u32 ansi = SLGetCodePageCached(0);
  for (u32 b = 128; b < 256; ++b) {
    u8 upper = u8(b), lower = u8(b);
    char byte = char(b);
    SLWChar unit;
    if (api && api->MultiByteToWideChar(ansi, MB_PRECOMPOSED, &byte, 1, &unit, 1) == 1) {
      // The case partner counts only when it is exactly one byte of the page: a default
      // character or a two-byte character would make unrelated names compare equal.
      auto back = [&](SLWChar mapped, u8* entry) {
        char bytes[4];
        BOOL usedDefault = FALSE;
        int n = api->WideCharToMultiByte(ansi, WC_NO_BEST_FIT_CHARS, &mapped, 1, bytes, sizeof bytes, nullptr,
                                         &usedDefault);
        if (n == 1 && !usedDefault) *entry = u8(bytes[0]);
      };
      back(SLToUpperW(unit), &upper);
      back(SLToLowerW(unit), &lower);
    } else if (api) {
      char mapped;
      if (api->LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, &byte, 1, &mapped, 1) == 1) upper = u8(mapped);
      if (api->LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, &byte, 1, &mapped, 1) == 1) lower = u8(mapped);
    }
    g_ansiUpper[b - 128] = upper;
    g_ansiLower[b - 128] = lower;
  }
}

}  // namespace

SLWChar SLToLowerW(SLWChar unit) { return MapThrough(SLInternals::g_slLowerCaseDelta, unit); }
SLWChar SLToUpperW(SLWChar unit) { return MapThrough(SLInternals::g_slUpperCaseDelta, unit); }

SLWChar* SLStrLowerW(SLWChar* text) {
  for (SLWChar* p = text; *p; ++p) *p = SLToLowerW(*p);
  return text;
}

u8 SLToLowerA(u8 byte) {
  if (byte < 128) return u8(SLToLowerW(byte));
  g_ansiCaseOnce.Ensure(BuildAnsiCase);
  return g_ansiLower[byte - 128];
}

u8 SLToUpperA(u8 byte) {
  if (byte < 128) return u8(SLToUpperW(byte));
  g_ansiCaseOnce.Ensure(BuildAnsiCase);
  return g_ansiUpper[byte - 128];
}

namespace {

template <u8 (*Map)(u8)>
char* MapAnsiText(char* text) {
  const u32 ansi = SLGetCodePageCached(0);
  for (char* p = text; *p; ++p) {
    u8 byte = u8(*p);
    if (byte >= 128 && SLIsDBCSLeadByte(byte, ansi)) {
      if (!*++p) break;  // a lead byte before the NUL ends the walk
      continue;
    }
    *p = char(Map(byte));
  }
  return text;
}

}  // namespace

char* SLStrLowerA(char* text) { return MapAnsiText<SLToLowerA>(text); }
char* SLStrUpperA(char* text) { return MapAnsiText<SLToUpperA>(text); }

bool SLIsDBCSLeadByte(u8 byte, u32 codePage) {
  if (byte < 128) return false;
  if (codePage == SLGetCodePageCached(0)) {
    g_ansiUnitsOnce.Ensure(BuildAnsiUnits);
    if (!g_ansiHasLeadBytes) return false;
  }
  SLInternals::CMXStrAPILoader* api = SLInternals::SLGetStrAPI();
  return api && api->IsDBCSLeadByteEx(codePage, byte);
}

SLWChar SLAnsiCharToWide(u8 lead, u8 trail) {
  if (lead < 128) return lead;
  g_ansiUnitsOnce.Ensure(BuildAnsiUnits);
  if (!g_ansiHasLeadBytes) return g_ansiUnits[lead - 128];
  SLInternals::CMXStrAPILoader* api = SLInternals::SLGetStrAPI();
  u32 ansi = SLGetCodePageCached(0);
  char bytes[2] = {char(lead), char(trail)};
  int count = api && api->IsDBCSLeadByteEx(ansi, lead) ? 2 : 1;
  SLWChar unit;
  if (api && api->MultiByteToWideChar(ansi, MB_PRECOMPOSED, bytes, count, &unit, 1) == 1) return unit;
  return lead;
}

u32 SLCharClassA(u8 lead, u8 trail) {
  SLWChar unit = SLAnsiCharToWide(lead, trail);
  SLInternals::CMXStrAPILoader* api = SLInternals::SLGetStrAPI();
  WORD type = 0;
  if (!api || !api->GetStringTypeExW(LOCALE_USER_DEFAULT, CT_CTYPE1, &unit, 1, &type)) return 0;
  return type;
}
