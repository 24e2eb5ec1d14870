// The system's text functions bound by name (each missing one falls back on its own) and
// the system code pages asked through them once.
#include "foundation/SLStrApiLoader.h"

#include <atomic>

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLSync.h"

namespace SLInternals {

CMXStrAPILoader::CMXStrAPILoader()
    : m_kernel32(nullptr),
      m_user32(nullptr),
      m_oleaut32(nullptr),
      m_pLoadStringA(nullptr),
      m_pLoadStringW(nullptr),
      m_pGetVersion(nullptr),
      m_pGetModuleHandleA(nullptr),
      m_pGetModuleHandleW(nullptr),
      m_pMultiByteToWideChar(nullptr),
      m_pWideCharToMultiByte(nullptr),
      m_pGetLocaleInfoA(nullptr),
      m_pGetLocaleInfoW(nullptr),
      m_pGetThreadLocale(nullptr),
      m_pGetCPInfo(nullptr),
      m_pIsDBCSLeadByteEx(nullptr),
      m_pGetStringTypeExW(nullptr),
      m_pLCMapStringA(nullptr),
      m_pSysAllocString(nullptr),
      m_pSysAllocStringLen(nullptr),
      m_pSysFreeString(nullptr),
      m_pSysStringLen(nullptr) {}

CMXStrAPILoader::~CMXStrAPILoader() {
  SLErrorKeeper keep;
  if (m_kernel32) SLFreeLibrary(m_kernel32);
  if (m_user32) SLFreeLibrary(m_user32);
  if (m_oleaut32) SLFreeLibrary(m_oleaut32);
}

bool CMXStrAPILoader::Initialize() {
  // Every module and entry point is optional: a missing one only makes its users fall back.
  m_user32 = SLLoadLibrary(u"user32.dll");
  if (m_user32) {
    SLBindProc(m_user32, u"LoadStringA", &m_pLoadStringA);
    SLBindProc(m_user32, u"LoadStringW", &m_pLoadStringW);
  }
  m_kernel32 = SLLoadLibrary(u"kernel32.dll");
  if (m_kernel32) {
    SLBindProc(m_kernel32, u"GetVersion", &m_pGetVersion);
    SLBindProc(m_kernel32, u"GetModuleHandleA", &m_pGetModuleHandleA);
    SLBindProc(m_kernel32, u"GetModuleHandleW", &m_pGetModuleHandleW);
    SLBindProc(m_kernel32, u"MultiByteToWideChar", &m_pMultiByteToWideChar);
    SLBindProc(m_kernel32, u"WideCharToMultiByte", &m_pWideCharToMultiByte);
    SLBindProc(m_kernel32, u"GetLocaleInfoA", &m_pGetLocaleInfoA);
    SLBindProc(m_kernel32, u"GetLocaleInfoW", &m_pGetLocaleInfoW);
    SLBindProc(m_kernel32, u"GetThreadLocale", &m_pGetThreadLocale);
    SLBindProc(m_kernel32, u"GetCPInfo", &m_pGetCPInfo);
    SLBindProc(m_kernel32, u"IsDBCSLeadByteEx", &m_pIsDBCSLeadByteEx);
    SLBindProc(m_kernel32, u"GetStringTypeExW", &m_pGetStringTypeExW);
    SLBindProc(m_kernel32, u"LCMapStringA", &m_pLCMapStringA);
  }
  m_oleaut32 = SLLoadLibrary(u"oleaut32.dll");
  if (m_oleaut32) {
    SLBindProc(m_oleaut32, u"SysAllocString", &m_pSysAllocString);
    SLBindProc(m_oleaut32, u"SysAllocStringLen", &m_pSysAllocStringLen);
    SLBindProc(m_oleaut32, u"SysFreeString", &m_pSysFreeString);
    SLBindProc(m_oleaut32, u"SysStringLen", &m_pSysStringLen);
  }
  return true;
}

int CMXStrAPILoader::MultiByteToWideChar(UINT codePage, DWORD flags, const char* bytes, int byteCount,
                                         SLWChar* units, int unitCount) {
  if (!m_pMultiByteToWideChar) {
    SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  return m_pMultiByteToWideChar(codePage, flags, bytes, byteCount, units, unitCount);
}

int CMXStrAPILoader::WideCharToMultiByte(UINT codePage, DWORD flags, const SLWChar* units, int unitCount,
                                         char* bytes, int byteCount, const char* defaultChar, BOOL* usedDefault) {
  if (!m_pWideCharToMultiByte) {
    SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  return m_pWideCharToMultiByte(codePage, flags, units, unitCount, bytes, byteCount, defaultChar, usedDefault);
}

LCID CMXStrAPILoader::GetThreadLocale() { return m_pGetThreadLocale ? m_pGetThreadLocale() : LOCALE_USER_DEFAULT; }

BOOL CMXStrAPILoader::GetCPInfo(UINT codePage, CPINFO* info) {
  return m_pGetCPInfo ? m_pGetCPInfo(codePage, info) : FALSE;
}

BOOL CMXStrAPILoader::IsDBCSLeadByteEx(UINT codePage, BYTE byte) {
  return m_pIsDBCSLeadByteEx ? m_pIsDBCSLeadByteEx(codePage, byte) : FALSE;
}

BOOL CMXStrAPILoader::GetStringTypeExW(LCID locale, DWORD infoType, const SLWChar* units, int count, WORD* types) {
  return m_pGetStringTypeExW ? m_pGetStringTypeExW(locale, infoType, units, count, types) : FALSE;
}

int CMXStrAPILoader::LCMapStringA(LCID locale, DWORD flags, const char* source, int sourceCount, char* target,
                                  int targetCount) {
  return m_pLCMapStringA ? m_pLCMapStringA(locale, flags, source, sourceCount, target, targetCount) : 0;
}

u32 CMXStrAPILoader::GetLocaleNumber(LCID locale, LCTYPE type) {
  DWORD value = 0;
  if (m_pGetLocaleInfoA) {
    if (m_pGetLocaleInfoA(locale, type | LOCALE_RETURN_NUMBER, reinterpret_cast<char*>(&value), sizeof value) > 0)
      return value;
  } else if (m_pGetLocaleInfoW) {
    if (m_pGetLocaleInfoW(locale, type | LOCALE_RETURN_NUMBER, reinterpret_cast<SLWChar*>(&value),
                          sizeof value / sizeof(SLWChar)) > 0)
      return value;
  }
  return 0;
}

namespace {
CMXStrAPILoader* g_strApi = nullptr;
}  // namespace

CMXStrAPILoader* SLGetStrAPI() {
  CMXStrAPILoader* api = SLGetStaticSingleton(g_strApi, SL_OOD_PRIORITY_STR_API);
  if (!api) SLSetLastError(SL_E_OUT_OF_MEMORY);
  return api;
}

}  // namespace SLInternals

// ---------------------------------------------------------------------------------------
// Cached system code pages

namespace {

SLFastLock g_codePageLock;
std::atomic<u32> g_codePagesReady{0};
u32 g_codePages[3] = {1252, 437, 10000};

// A code page from the locale, kept when the system knows it.
u32 AskCodePage(SLInternals::CMXStrAPILoader* api, LCID locale, LCTYPE type) {
  u32 codePage = api->GetLocaleNumber(locale, type);
  CPINFO info;
  return codePage && api->GetCPInfo(codePage, &info) ? codePage : 0;
}

}  // namespace

u32 SLGetCodePageCached(u32 kind) {
  if (kind > 3) return kind;
  SLInternals::CMXStrAPILoader* api = SLInternals::SLGetStrAPI();
  if (!g_codePagesReady.load(std::memory_order_acquire) && api) {
    CSLAutoFastMutex lock(&g_codePageLock);
    if (!g_codePagesReady.load(std::memory_order_relaxed)) {
      const LCTYPE types[3] = {LOCALE_IDEFAULTANSICODEPAGE, LOCALE_IDEFAULTCODEPAGE, LOCALE_IDEFAULTMACCODEPAGE};
      for (int i = 0; i < 3; ++i)
        if (u32 codePage = AskCodePage(api, LOCALE_USER_DEFAULT, types[i])) g_codePages[i] = codePage;
      g_codePagesReady.store(1, std::memory_order_release);
    }
  }
  if (kind == 3) {
    u32 codePage = api ? AskCodePage(api, api->GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE) : 0;
    return codePage ? codePage : g_codePages[0];
  }
  return g_codePages[kind];
}
